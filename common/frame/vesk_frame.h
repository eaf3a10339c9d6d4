// The byte frame every program and peer exchanges:
//   AA L obj sub item flag payload... chk EB AA      (9..512 bytes, L = size-3)
// and the two code spaces a frame and its queue record carry.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define VESK_FRAME_HEAD 0xAA
#define VESK_FRAME_TAIL1 0xEB
#define VESK_FRAME_TAIL2 0xAA
#define VESK_FRAME_MIN 9
#define VESK_FRAME_MAX 512
/* The length byte is one byte, so no sound frame is longer than 255 + 3. */
#define VESK_FRAME_BUILD_MAX 258
#define VESK_FRAME_OVERHEAD 9 /* header(6) + checksum + two trailer bytes */
#define VESK_FRAME_FLAG_REQUEST 0x00
#define VESK_FRAME_FLAG_REPORT 0x80
#define VESK_FRAME_NONE 0xFF

/* Byte offsets inside a frame. */
enum {
    VESK_FRAME_OFF_HEAD = 0,
    VESK_FRAME_OFF_LEN = 1,
    VESK_FRAME_OFF_OBJ = 2,
    VESK_FRAME_OFF_SUB = 3,
    VESK_FRAME_OFF_ITEM = 4,
    VESK_FRAME_OFF_FLAG = 5,
    VESK_FRAME_OFF_PAYLOAD = 6,
};

/* Object codes: frame byte 2 and the event type on the app bus. */
typedef enum {
    SUB_NOTIFIER_IMAGE = 0,
    SUB_NOTIFIER_IR = 1,
    SUB_NOTIFIER_VISIBLE = 2,
    SUB_NOTIFIER_LLL = 3,
    SUB_NOTIFIER_DISTANCE = 4,
    SUB_NOTIFIER_WIFI = 5,
    SUB_NOTIFIER_COMPASS = 6,
    SUB_NOTIFIER_KEY = 7,
    SUB_NOTIFIER_STATE = 8,
    SUB_NOTIFIER_RECOG = 9,
    SUB_NOTIFIER_GPS = 10,
    SUB_NOTIFIER_SELF = 11,
    SUB_NOTIFIER_AXIS = 12,
    SUB_NOTIFIER_LOWMODE = 13,
    SUB_NOTIFIER_MOTOR = 14,
    SUB_NOTIFIER_VOLTAGE = 15,
    SUB_NOTIFIER_PARAMETER_INIT = 16,
    SUB_NOTIFIER_AUDIO = 17,
    /* there is no 18 */
    SUB_NOTIFIER_REMOTE = 19,
    SUB_NOTIFIER_FUSHION = 20,
    SUB_NOTIFIER_PIP = 21,
    SUB_NOTIFIER_RETICLE = 22,
    SUB_NOTIFIER_TAP = 23,
    SUB_NOTIFIER_BADPIX = 24,
    SUB_NOTIFIER_LID = 25,
    SUB_NOTIFIER_UPGRADE = 26,
    SUB_NOTIFIER_BALLISTICS = 27,
    SUB_NOTIFIER_SHOOT = 28,
    SUB_NOTIFIER_BLUETOOTH = 29,
    SUB_NOTIFIER_UARTTRANS = 68,
    SUB_NOTIFIER_HTTP = 244,
    SUB_NOTIFIER_RING = 245,
    SUB_NOTIFIER_DEBUG = 254,
    SUB_NOTIFIER_EMPTY = 255,
} _COMMAND_OBJECT;

/* The type byte of a queue record: who sent the frame and for whom. */
typedef enum {
    MSGQ_COMMAND_UI_TO_APP = 1,
    MSGQ_COMMAND_MEDIA_TO_APP = 17,
    MSGQ_COMMAND_APP_TO_MEDIA = 32,
    MSGQ_COMMAND_APP_TO_UI = 33,
    MSGQ_COMMAND_APP_TO_HTTP = 48,
    MSGQ_COMMAND_HTTP_TO_APP = 49,
    MSGQ_COMMAND_APP_TO_BLE = 64,
    MSGQ_COMMAND_BLE_TO_APP = 65,
    MSGQ_COMMAND_EMPTY = 255,
} MSGQ_COMMAND;

/* Floats travel as their four little-endian IEEE-754 bytes. */
typedef union {
    float f_data;
    uint8_t byte[4];
} _union_float_data;

/* Sum of the first size-3 bytes, modulo 256. */
uint8_t msg_check_num(const uint8_t *data, size_t size);

/* Nonzero when frame is not null, 9 <= size <= 512 and byte 1 == size-3.
 * Logs nothing. */
int vesk_control_size_valid(const uint8_t *frame, size_t size);

/* Why a frame fails its check, in the order the checks run. */
typedef enum {
    VESK_FRAME_SOUND = 0,
    VESK_FRAME_BAD_SIZE,  /* size outside 9..512, no bytes, or byte 1 != size-3 */
    VESK_FRAME_BAD_HEAD,  /* byte 0 not 0xAA */
    VESK_FRAME_BAD_CHECK, /* byte size-3 not the sum of the bytes before it */
    VESK_FRAME_BAD_TAIL1, /* byte size-2 not 0xEB */
    VESK_FRAME_BAD_TAIL2, /* byte size-1 not 0xAA */
} vesk_frame_fault;

/* The one frame check every receiver runs. Logs nothing: each program names
 * the fault under its own tag. */
vesk_frame_fault vesk_frame_check(const uint8_t *frame, size_t size);
/* "CMD_HEADER_0 ERROR" and its siblings, the names both programs log. */
const char *vesk_frame_fault_name(vesk_frame_fault fault);

/* Fills header, length, object, sub, item, flag, copies the payload and
 * seals the frame. Returns the frame size, or 0 when the payload does not
 * fit in cap bytes or the frame would exceed what its length byte can
 * describe (258 bytes). */
size_t vesk_frame_build(uint8_t *out, size_t cap, uint8_t obj, uint8_t sub, uint8_t item, uint8_t flag,
                        const void *payload, size_t payload_len);

/* Writes checksum and trailer of a frame whose bytes 0..size-4 are filled. */
void vesk_frame_seal(uint8_t *frame, size_t size);

/* Little-endian field access for payload builders and readers. */
static inline void vesk_put_u16(uint8_t *p, uint16_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}
static inline void vesk_put_u32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; i++) p[i] = (uint8_t)(v >> (8 * i));
}
static inline void vesk_put_f32(uint8_t *p, float f)
{
    _union_float_data u;
    u.f_data = f;
    for (int i = 0; i < 4; i++) p[i] = u.byte[i];
}
static inline uint16_t vesk_get_u16(const uint8_t *p) { return (uint16_t)(p[0] | (p[1] << 8)); }
static inline uint32_t vesk_get_u32(const uint8_t *p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
static inline float vesk_get_f32(const uint8_t *p)
{
    _union_float_data u;
    for (int i = 0; i < 4; i++) u.byte[i] = p[i];
    return u.f_data;
}
