// Frames between sightd and its peers: the frame check, the queue client
// that posts received frames on the main bus, the four direction senders
// with their send-failure limiter, and the quiet sender.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "boardcast.h"
#include "libmsg.h"
#include "vesk_frame.h"

/* Event types on the main bus: which router consumer an event is for. The
 * queue client posts frames under these; the routers (notifier) consume
 * them. */
enum {
    MAIN_NOTIFIER_UI = 1, /* module reports, re-framed for the GUI */
    MAIN_NOTIFIER_HARDWARE = MAIN_NOTIFIER_UI,
    MAIN_NOTIFIER_MEDIA = 2,   /* never posted */
    MAIN_NOTIFIER_APP = 4,     /* frames from the GUI and the media process */
    MAIN_NOTIFIER_HTTP = 8,    /* frames from the HTTP daemon */
    MAIN_NOTIFIER_BLE = 16,    /* frames from the BLE service */
    MAIN_NOTIFIER_UNKNOW = 32, /* never posted */
};

/* 0 for a sound frame, -1 otherwise; a bad header, checksum or trailer is
 * logged under "ipc.parse", a bad size is not. */
int Protocol_parse(const uint8_t *frame, int size);

/* The main bus that received frames go to (null while the client is down). */
extern event_handle *g_handle;
/* Opens the queues and posts every received frame on main_bus. 0, or the
 * nonzero result of Qel_InitMsgEvent. */
int Qel_MsgEvent_Init(event_handle *main_bus);
int Qel_MsgEvent_Deinit(void);
/* The listener's callback: GUI and media frames go to the main bus as event
 * 4, HTTP frames as 8, BLE frames as 16; anything else is ignored. */
void msgEventCallback(Qel_MsgText *text, void *unused);

typedef enum { VESK_MSG_TO_GUI = 0, VESK_MSG_TO_MEDIA = 1, VESK_MSG_DIRECTIONS = 2 } vesk_msg_direction;
extern const char *const vesk_msg_tags[VESK_MSG_DIRECTIONS];

/* The send-failure limiter: logs the first failure of a burst, then one
 * summary per 1000 ms. err is the errno of a failure. Lock-free. */
void vesk_msg_note_send(vesk_msg_direction direction, uint8_t type, const uint8_t *frame, uint32_t length, int failed,
                        int err);
/* The same at a given limiter time (monotonic ms + 1), for replaying bursts. */
void vesk_msg_note_send_at(vesk_msg_direction direction, uint8_t type, const uint8_t *frame, uint32_t length,
                           int failed, int err, uint64_t now_ms);
uint64_t vesk_msg_clock_ms(void);
/* True for the periodic compass report, whose failures are never logged. */
int vesk_msg_is_compass(const uint8_t *frame, uint32_t length);

/* target 0 the GUI, 1 the media process. Never sleeps. 0 or -errno. */
int vesk_msg_send_quiet(int target, const uint8_t *frame, uint32_t length);

/* The direction senders: 1 when the record was queued, -1 otherwise. A
 * length above 512 is refused. */
int Msgtext_App_To_Ui(uint8_t type, uint32_t length, const uint8_t *frame);
int Msgtext_App_To_Media(uint8_t type, uint32_t length, const uint8_t *frame);
int Msgtext_App_To_Http(uint8_t type, uint32_t length, const uint8_t *frame);
int Msgtext_App_To_BLE(uint8_t type, uint32_t length, const uint8_t *frame);
/* The phone side's result frame AA n+6 F4 00 cmd 00 data CHK EB AA, to the
 * HTTP daemon: the sender's result, or -1 when n is too long. */
int sendResultToHTTP(uint8_t cmd, const uint8_t *data, size_t n);
/* The same frame for the BLE service. */
int sendResultToBLE(uint8_t cmd, const uint8_t *data, size_t n);
