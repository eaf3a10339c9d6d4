// The PC or factory tool's frames on /dev/ttyS2, alone: the byte layout,
// the receive ring that cuts frames out of the line, the checksum, the
// identity-text rules and the key table. No thread, no global; the receive
// thread, the tests and the fuzz target share it.
//
//   from the tool:  CC L class object item dir data... chk EB AA
//   to the tool:    55 L class object item 81  data... chk EB AA
// L is the total length - 3 (9 to 255 bytes in all), chk the 8-bit sum of
// bytes 0 to L-1, values little-endian. dir is 1 for a read, 0 for a write.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "vesk_rx_silence.h"

#define VESK_UPPER_HEAD 0xCC
#define VESK_UPPER_REPLY_HEAD 0x55
#define VESK_UPPER_REPLY_DIR 0x81
#define VESK_UPPER_TAIL1 0xEB
#define VESK_UPPER_TAIL2 0xAA
#define VESK_UPPER_FRAME_MIN 9
#define VESK_UPPER_FRAME_MAX 255
#define VESK_UPPER_OVERHEAD 9 /* header(6) + checksum + trailer(2) */
#define VESK_UPPER_READ 1
#define VESK_UPPER_WRITE 0
#define VESK_UPPER_TEXT_MAX 127 /* an identity text, without its terminator */

typedef struct {
    uint8_t head; /* 0xCC from the tool, 0x55 in a reply */
    uint8_t len;  /* total length - 3 */
    uint8_t cls;  /* class */
    uint8_t object;
    uint8_t item;
    uint8_t direction; /* 1 read, 0 write; 0x81 in a reply */
} vesk_upper_head;

static_assert(sizeof(vesk_upper_head) == 6, "frame header is six bytes");
static_assert(offsetof(vesk_upper_head, len) == 1 && offsetof(vesk_upper_head, cls) == 2 &&
                  offsetof(vesk_upper_head, object) == 3 && offsetof(vesk_upper_head, item) == 4 &&
                  offsetof(vesk_upper_head, direction) == 5,
              "frame header offsets");
#define VESK_UPPER_OFF_DATA 6

/* The receive ring: read and write count bytes modulo 256; at most 255 are
 * held, so a full ring is never mistaken for an empty one. A partial frame
 * held across a silence on the line is dropped (vesk_rx_silence.h). */
typedef struct {
    uint8_t ring[256];
    unsigned read;
    unsigned write;
    vesk_rx_silence silence;
} vesk_upper_rx;

#define VESK_UPPER_RX_HOLD 255

void vesk_upper_rx_init(vesk_upper_rx *rx);
/* Bytes held, and the room left (255 - held). */
unsigned vesk_upper_rx_used(const vesk_upper_rx *rx);
unsigned vesk_upper_rx_room(const vesk_upper_rx *rx);
/* Appends at most the room left of n bytes read at now_ms (the monotonic
 * clock, in ms); the count taken. n may be 0: time passed on a quiet line,
 * so that a torn frame is given up before the next bytes come. */
size_t vesk_upper_rx_put(vesk_upper_rx *rx, const uint8_t *bytes, size_t n, uint64_t now_ms);
/* One step of taking a frame out: 0 when more bytes are needed, -1 when
 * one byte was dropped (call again), or the size of the frame copied into
 * out (its header, length and trailer are sound; its checksum is not
 * checked here). out holds at least VESK_UPPER_FRAME_MAX bytes. */
int vesk_upper_rx_step(vesk_upper_rx *rx, uint8_t *out);

/* The 8-bit sum of bytes 0 to len-4 of a frame of len bytes. */
uint8_t upper_check(const uint8_t *frame, int len);
/* 1 when frame is a whole frame from the tool: 9..255 bytes, head 0xCC,
 * L = len - 3, trailer and checksum right. */
int vesk_upper_frame_sound(const uint8_t *frame, int len);

/* Takes an identity text of data length n (0..127) into dst (128 bytes):
 * copied, terminated, blanks and then newlines stripped from both ends. Its
 * length, or -1 for a length out of range or a NUL, carriage return or
 * newline left inside. */
int vesk_upper_take_text(char *dst, const uint8_t *src, int n);
/* 1 for a text of one or more of A-Z a-z 0-9 '_' '-' (a serial number,
 * which also names the access point), else 0. */
int vesk_upper_sn_valid(const char *text);
/* 1 for a part number the EEPROM record carries as it is: printable ASCII
 * (empty too) without ';' '#' '"' '\'', which its INI line cannot hold;
 * else 0. */
int vesk_upper_pn_valid(const char *text);

/* The GUI's key code for a key byte from the tool, -1 for a key the table
 * does not hold. */
int vesk_upper_key_map(uint8_t key);
