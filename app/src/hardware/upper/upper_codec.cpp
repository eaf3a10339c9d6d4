#include "upper_codec.h"

#include <string.h>

#include "version.h"
#include "vesk_frame.h"

void vesk_upper_rx_init(vesk_upper_rx *rx) { memset(rx, 0, sizeof *rx); }

unsigned vesk_upper_rx_used(const vesk_upper_rx *rx) { return (rx->write - rx->read) & 0xFFu; }

unsigned vesk_upper_rx_room(const vesk_upper_rx *rx) { return VESK_UPPER_RX_HOLD - vesk_upper_rx_used(rx); }

size_t vesk_upper_rx_put(vesk_upper_rx *rx, const uint8_t *bytes, size_t n, uint64_t now_ms)
{
    vesk_rx_silence_arrive(&rx->silence, now_ms, vesk_upper_rx_used(rx), n);
    size_t room = vesk_upper_rx_room(rx);
    if (n > room) n = room;
    for (size_t i = 0; i < n; i++) rx->ring[(rx->write++) & 0xFFu] = bytes[i];
    rx->write &= 0xFFu;
    return n;
}

static uint8_t peek(const vesk_upper_rx *rx, unsigned at) { return rx->ring[(rx->read + at) & 0xFFu]; }

static void drop(vesk_upper_rx *rx, unsigned n)
{
    rx->read = (rx->read + n) & 0xFFu;
    vesk_rx_silence_dropped(&rx->silence, n);
}

/* A length byte that can start a frame: never the reply head 0x55 nor the
 * frame head 0xCC, so a stray head byte is never taken for a length. */
static int length_plausible(uint8_t len)
{
    const unsigned total = (unsigned)len + 3;
    return len != VESK_UPPER_REPLY_HEAD && len != VESK_UPPER_HEAD && total >= VESK_UPPER_FRAME_MIN &&
           total <= VESK_UPPER_FRAME_MAX;
}

int vesk_upper_rx_step(vesk_upper_rx *rx, uint8_t *out)
{
    const unsigned used = vesk_upper_rx_used(rx);
    if (used < 2) return 0;
    const uint8_t len = peek(rx, 1);
    if (peek(rx, 0) == VESK_UPPER_HEAD && length_plausible(len)) {
        const unsigned total = (unsigned)len + 3;
        if (vesk_rx_silence_torn(&rx->silence, total)) {
            drop(rx, 1);
            return -1;
        }
        if (used < total) return 0;
        if (peek(rx, len + 1) == VESK_UPPER_TAIL1 && peek(rx, len + 2) == VESK_UPPER_TAIL2) {
            for (unsigned i = 0; i < total; i++) out[i] = peek(rx, i);
            drop(rx, total);
            return (int)total;
        }
    }
    drop(rx, 1);
    return -1;
}

uint8_t upper_check(const uint8_t *frame, int len) { return len < 3 ? 0 : msg_check_num(frame, (size_t)len); }

int vesk_upper_frame_sound(const uint8_t *frame, int len)
{
    if (frame == NULL || len < VESK_UPPER_FRAME_MIN || len > VESK_UPPER_FRAME_MAX) return 0;
    if (frame[0] != VESK_UPPER_HEAD || frame[1] != len - 3) return 0;
    if (frame[len - 2] != VESK_UPPER_TAIL1 || frame[len - 1] != VESK_UPPER_TAIL2) return 0;
    return frame[len - 3] == upper_check(frame, len);
}

int vesk_upper_take_text(char *dst, const uint8_t *src, int n)
{
    if (dst == NULL || n < 0 || n > VESK_UPPER_TEXT_MAX || (n > 0 && src == NULL)) return -1;
    if (n > 0) memcpy(dst, src, (size_t)n);
    dst[n] = '\0';
    n = rm_start_end_ch(dst, n, ' ');
    n = rm_start_end_ch(dst, n, '\n');
    for (int i = 0; i < n; i++)
        if (dst[i] == '\0' || dst[i] == '\r' || dst[i] == '\n') return -1;
    dst[n] = '\0';
    return n;
}

int vesk_upper_sn_valid(const char *text)
{
    if (text == NULL || *text == '\0') return 0;
    for (const char *p = text; *p; p++) {
        const char c = *p;
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-'))
            return 0;
    }
    return 1;
}

int vesk_upper_pn_valid(const char *text)
{
    if (text == NULL) return 0;
    for (const char *p = text; *p; p++) {
        const unsigned char c = (unsigned char)*p;
        /* The record's reader ends a value at ';' or '#' and takes a leading
         * quote as quoting; its writer would store any of them, or a byte
         * outside printable ASCII, as '_' and the number would come back
         * changed after the next boot. */
        if (c < 0x20 || c > 0x7E || c == ';' || c == '#' || c == '"' || c == '\'') return 0;
    }
    return 1;
}

/* Key bytes the tool may send and the GUI key code each stands for. */
static const struct {
    uint8_t from_tool;
    uint8_t to_gui;
} key_table[] = {
    {0, 0},     {1, 1},     {3, 3},     {4, 4},     {6, 6},     {7, 7},     {8, 8},
    {12, 12},   {13, 13},   {15, 15},   {16, 16},   {0x27, 23}, {0x28, 24}, {0x29, 32},
    {0x2A, 33}, {0x2C, 20}, {0x33, 35}, {0x34, 36}, {0x35, 18}, {0x36, 21}, {0x37, 19},
};

int vesk_upper_key_map(uint8_t key)
{
    for (const auto &row : key_table)
        if (row.from_tool == key) return row.to_gui;
    return -1;
}
