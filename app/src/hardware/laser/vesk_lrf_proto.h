// The frame spoken with the rangefinder module, both directions:
//   EE 16 L 03 cmd p0..p(L-3) sum      (L = parameters + 2, sum over 03..last p)
// and the distance as the module and the GUI carry it.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "vesk_rx_silence.h"

#define VESK_LRF_HEAD0 0xEE
#define VESK_LRF_HEAD1 0x16
#define VESK_LRF_ADDR 0x03
#define VESK_LRF_MAX_PARAMS 5
#define VESK_LRF_MIN_LEN 2
#define VESK_LRF_MAX_LEN 7
/* Header (4), command and checksum around at most 5 parameters. */
#define VESK_LRF_FRAME_MAX (VESK_LRF_MAX_PARAMS + 6)

/* Module commands (frame byte 4). */
enum {
    VESK_LRF_CMD_SINGLE = 0x02,
    VESK_LRF_CMD_TARGET_MODE = 0x03,
    VESK_LRF_CMD_SCAN = 0x04,
    VESK_LRF_CMD_STOP = 0x05,
    VESK_LRF_CMD_ANOMALY = 0x06,
    VESK_LRF_CMD_SETUP = 0xA1,
    VESK_LRF_CMD_SET_MIN = 0xA2,
    VESK_LRF_CMD_GET_MIN = 0xA3,
    VESK_LRF_CMD_SET_MAX = 0xA4,
    VESK_LRF_CMD_GET_MAX = 0xA5,
};

/* Low nibble of a measurement reply's flags byte. */
#define VESK_LRF_FLAG_NO_TARGET 0x04
#define VESK_LRF_FLAG_MORE 0x02

typedef struct {
    uint8_t cmd;
    uint8_t params[VESK_LRF_MAX_PARAMS];
    uint8_t nparams; /* 0..5 */
} vesk_lrf_frame;

typedef struct {
    uint16_t m; /* whole metres */
    uint8_t dm; /* tenths of a metre, 0..9 */
} vesk_lrf_distance;

static inline uint32_t vesk_lrf_dm(vesk_lrf_distance d) { return (uint32_t)d.m * 10u + d.dm; }
static inline vesk_lrf_distance vesk_lrf_distance_split(uint32_t dm)
{
    vesk_lrf_distance d;
    d.m = (uint16_t)(dm / 10u);
    d.dm = (uint8_t)(dm % 10u);
    return d;
}

/* Writes the frame into out (at least VESK_LRF_FRAME_MAX bytes) and returns
 * its length, count + 6; 0 for more than 5 parameters. */
size_t vesk_lrf_frame_build(uint8_t cmd, const uint8_t *params, size_t count, uint8_t *out);

/* 1: a frame, *consumed = its length. 0: more bytes needed. -1: the first
 * byte cannot start a frame, *consumed = 1. Reads at most length bytes. */
int vesk_lrf_frame_parse(const uint8_t *buffer, size_t length, vesk_lrf_frame *out, size_t *consumed);

/* The receive thread's assembly buffer: bytes are read into buf + count,
 * then handed over with vesk_lrf_rx_commit, which cuts every complete frame
 * out of the front and drops one byte for each that cannot start a frame. */
#define VESK_LRF_RX_SIZE 256
typedef struct {
    uint8_t buf[VESK_LRF_RX_SIZE];
    size_t count;
    vesk_rx_silence silence; /* a frame held across a quiet line is dropped */
} vesk_lrf_rx;

typedef void (*vesk_lrf_rx_cb)(void *ctx, const vesk_lrf_frame *frame, const uint8_t *raw, size_t len);

/* Room for the next read. A full buffer (which parsing never leaves behind,
 * but a resync must not rely on that) loses its first byte and makes room
 * for one; *forced says so. */
size_t vesk_lrf_rx_room(vesk_lrf_rx *rx, int *forced);
/* Takes n new bytes at buf + count, read at now_ms (the monotonic clock, in
 * ms), and calls cb for each frame, in order; the number of frames. n may be
 * 0 on a quiet line: a partial frame held since before a silence is then
 * given up (vesk_rx_silence.h). */
size_t vesk_lrf_rx_commit(vesk_lrf_rx *rx, size_t n, uint64_t now_ms, vesk_lrf_rx_cb cb, void *ctx);
