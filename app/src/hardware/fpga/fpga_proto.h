// The thermal core's serial frames, apart from the service's thread and
// globals so that tests and the fuzz target drive them alone.
//
//   to the core:   AA LEN cmd_hi cmd_lo kind params... chk EB AA
//   from the core: 55 LEN cmd_hi cmd_lo ...           chk EB AA
//
// LEN is the total length minus 4; the checksum is the 8-bit sum of every
// byte before it (bytes 0..LEN). kind is 0x01 for a setting, 0x00 for a
// query.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "vesk_rx_silence.h"

#define FPGA_HEAD_TX 0xAA
#define FPGA_HEAD_RX 0x55
#define FPGA_TAIL1 0xEB
#define FPGA_TAIL2 0xAA
#define FPGA_KIND_SET 0x01
#define FPGA_KIND_QUERY 0x00
#define FPGA_FRAME_OVERHEAD 8 /* head, LEN, command (2), kind, checksum, tail (2) */
#define FPGA_PARAMS_MAX 4
#define FPGA_TX_MAX (FPGA_FRAME_OVERHEAD + FPGA_PARAMS_MAX)
#define FPGA_RX_RING 256

/* The fixed start of a frame to the core; parameters follow. */
typedef struct {
    uint8_t head;
    uint8_t len;
    uint8_t cmd_hi;
    uint8_t cmd_lo;
    uint8_t kind;
} fpga_tx_head;
static_assert(sizeof(fpga_tx_head) == 5, "five header bytes");
static_assert(offsetof(fpga_tx_head, len) == 1 && offsetof(fpga_tx_head, cmd_hi) == 2 &&
                  offsetof(fpga_tx_head, kind) == 4,
              "head, LEN, command high byte first, kind");

/* A frame to the core, built whole. */
typedef struct {
    uint8_t bytes[FPGA_TX_MAX];
    size_t size;
} fpga_tx_frame;

/* Commands to the core and the frames it sends. */
enum {
    FPGA_CMD_PART_NUMBER = 0x0102,
    FPGA_CMD_SERIAL_NUMBER = 0x0103,
    FPGA_CMD_VERSION = 0x0104, /* self test: the core answers with its version */
    FPGA_CMD_FIRST_VERSION = 0x00CE,
    FPGA_CMD_IMAGE = 0x0309, /* brightness, contrast, enhancement */
    FPGA_CMD_POLARITY = 0x0305,
    FPGA_CMD_HIGHLIGHT = 0x0306,
    FPGA_CMD_FREEZE = 0x030A,
    FPGA_CMD_SCENE = 0x030B,
    FPGA_CMD_HOTPOINT = 0x030C,
    FPGA_CMD_BADPIX_CURSOR = 0x0405,
    FPGA_CMD_BADPIX_MODE = 0x0408,
    FPGA_CMD_SHUTTER = 0x0502,
    FPGA_CMD_CALIBRATE = 0x0503,
    FPGA_CMD_BADPIX_REPAIR = 0x0508, /* manual repair and save; the core's save-done notice */
    FPGA_CMD_BADPIX_AUTO = 0x0509,   /* automatic repair; the core's repair-done notice */
    FPGA_CMD_CALIBRATE_DONE = 0x050A,
    FPGA_CMD_SAVE_CONFIG = 0x0603,
    FPGA_CMD_BRIGHT_OFF = 0xDC00,
    FPGA_CMD_BRIGHT_ON = 0xDD00,
};

/* Image parameter keys: frame byte 4 of an object-1 command. */
typedef enum {
    FPGA_PARAM_IR_CALIBRATE = 0,
    FPGA_PARAM_IR_BRIGHTNESS = 1,
    FPGA_PARAM_IR_CONTRAST = 2,
    FPGA_PARAM_IR_ENHANCE = 3,
    FPGA_PARAM_IR_POLARITY = 4,
    FPGA_PARAM_IR_HIGHLIGHT = 8,
    FPGA_PARAM_IR_SCENE = 9,
    FPGA_PARAM_IR_FREEZE = 10,
    FPGA_PARAM_IR_HOTPOINT = 12,
    FPGA_PARAM_IR_AUTOSHUTTER = 13,
} _FPGA_PARAM_SET;

/* Bad-pixel commands: frame byte 3 of an object-24 command. */
typedef enum {
    FPGA_BADPIX_ENABLE = 0,
    FPGA_BADPIX_MOVE = 1,
    FPGA_BADPIX_REPAIR = 2,
    FPGA_BADPIX_SAVE = 3,
    FPGA_BADPIX_MOVE_TEN = 4,
    FPGA_BADPIX_POINT = 15,
} _FPGA_BADPIX_SET;

/* Cover commands (object 25). */
typedef enum { FPGA_LID_CLEAR = 0, FPGA_LID_GET = 1, FPGA_LID_SAVE = 2 } _FPGA_LID_SET;

/* 8-bit sum of the first total-3 bytes. */
uint8_t fpga_check(const uint8_t *bytes, size_t total);

/* A frame to the core with its checksum and tail. 0, or -1 for more than
 * FPGA_PARAMS_MAX parameters. */
int fpga_frame_build(fpga_tx_frame *out, uint16_t cmd, uint8_t kind, const uint8_t *params, size_t n);

/* The frame an image parameter key with value v sends; 0 for a key that
 * sends nothing here (the scene has its own rule, see fpga_scene_params). */
int irUartSet_frame(uint8_t key, uint8_t v, fpga_tx_frame *out);

/* Scene 1..4 (others count as 1) to the core's two parameter bytes. */
void fpga_scene_params(int scene, uint8_t *t1, uint8_t *t2);

/* The version text as it is registered: cut at the first '-', a leading
 * 'v' made 'V'. Always terminated; out_size > 0. */
void get_show_version(const char *text, char *out, size_t out_size);

/* ---- receive ---- */

/* A frame the receive parser took whole, checksum not yet compared. */
typedef struct {
    const uint8_t *bytes;
    size_t size; /* LEN + 4 */
} fpga_rx_frame;

typedef void (*fpga_rx_handler)(void *ctx, const fpga_rx_frame *frame);

/* The parser's state across reads. */
typedef struct {
    uint8_t ring[FPGA_RX_RING];
    size_t count; /* bytes held, from ring[0] */
    int state;    /* 0 looking for 55 x (x != 55), 1 length, 2 body */
    size_t len;
    unsigned dropped;        /* bytes dropped while looking for a frame */
    vesk_rx_silence silence; /* a frame held across a quiet line is dropped */
} fpga_rx;

void fpga_rx_init(fpga_rx *rx);
/* Room left for the next read. */
size_t fpga_rx_room(const fpga_rx *rx);
/* Takes n bytes received at now_ms (the monotonic clock, in ms) and runs the
 * parser until it can go no further, calling on_frame for each frame whose
 * tail is right. n may be 0 on a quiet line: a partial frame held since
 * before a silence is then given up (vesk_rx_silence.h). */
void fpga_rx_feed(fpga_rx *rx, const uint8_t *bytes, size_t n, uint64_t now_ms, fpga_rx_handler on_frame, void *ctx);

/* A frame's command (bytes 2..3), or -1 for a frame too short to hold one. */
int fpga_rx_command(const fpga_rx_frame *frame);
/* 1 when the checksum at LEN+1 is right. */
int fpga_rx_sound(const fpga_rx_frame *frame);
/* The text of a frame from offset `from` up to the byte before the
 * checksum, at most out_size-1 bytes, always terminated; its length. */
size_t fpga_rx_text(const fpga_rx_frame *frame, size_t from, char *out, size_t out_size);
