// The record that carries one frame through the System V queues between
// sightd and its peers (GUI, media process, HTTP daemon, BLE service).
// Both programs and every peer send and receive exactly this image.
#pragma once

#include <stddef.h>
#include <stdint.h>

/* sightd sends on the first and reads the second; sightui does the opposite. */
#define MSGQ_KEY_TO_PEERS 12345
#define MSGQ_KEY_TO_APP 54321
#define MSGQ_PERMS 0777

/* Message types: each reader selects its own records by mtype. */
enum {
    MSG_TYPE_FOR_MEDIA = 3,  /* media process, on 12345 */
    MSG_TYPE_FOR_QTMENU = 4, /* GUI program, on 12345 */
    MSG_TYPE_FOR_SERVER = 5, /* sightd, on 54321 */
    MSG_TYPE_FOR_HTTPD = 6,  /* HTTP daemon, on 12345 */
    MSG_TYPE_FOR_BLE = 7,    /* BLE service, on 12345 */
    MSG_TYPE_COUNT = 255,    /* never sent */
};

#define MSGQ_CONTEXT_SIZE 512
/* The command byte: no receiver reads it, but each sender marks itself. */
#define MSGQ_COMMAND_BY_APP 0
#define MSGQ_COMMAND_BY_UI 255

typedef struct {
    uint8_t type;    /* MSGQ_COMMAND: who sent the frame and for whom */
    uint8_t command; /* 0 from sightd, 255 from sightui */
    uint8_t padding[2];
    uint32_t length;                    /* frame size in bytes */
    uint8_t context[MSGQ_CONTEXT_SIZE]; /* the frame, zero-padded */
} Qel_MsgText;

typedef struct {
    long msg_type; /* mtype */
    Qel_MsgText msg_text;
} Qel_MsgEvent;

/* The size passed to every msgsnd and msgrcv. */
#define MSGQ_TEXT_SIZE sizeof(Qel_MsgText)

static_assert(sizeof(Qel_MsgText) == 520, "queue record text is 520 bytes");
static_assert(offsetof(Qel_MsgText, type) == 0, "type at 0");
static_assert(offsetof(Qel_MsgText, command) == 1, "command at 1");
static_assert(offsetof(Qel_MsgText, length) == 4, "length at 4");
static_assert(offsetof(Qel_MsgText, context) == 8, "frame at 8");
static_assert(sizeof(Qel_MsgEvent) == 528, "queue record is 528 bytes");
static_assert(offsetof(Qel_MsgEvent, msg_text) == 8, "text follows the mtype");
