#include "fpga_proto.h"

#include <string.h>

uint8_t fpga_check(const uint8_t *bytes, size_t total)
{
    uint8_t sum = 0;
    for (size_t i = 0; i + 3 < total; i++) sum = (uint8_t)(sum + bytes[i]);
    return sum;
}

int fpga_frame_build(fpga_tx_frame *out, uint16_t cmd, uint8_t kind, const uint8_t *params, size_t n)
{
    if (out == NULL || n > FPGA_PARAMS_MAX || (n > 0 && params == NULL)) return -1;
    const size_t total = FPGA_FRAME_OVERHEAD + n;
    const fpga_tx_head head = {FPGA_HEAD_TX, (uint8_t)(total - 4), (uint8_t)(cmd >> 8), (uint8_t)cmd, kind};
    memcpy(out->bytes, &head, sizeof head);
    if (n > 0) memcpy(out->bytes + sizeof head, params, n);
    out->bytes[total - 3] = fpga_check(out->bytes, total);
    out->bytes[total - 2] = FPGA_TAIL1;
    out->bytes[total - 1] = FPGA_TAIL2;
    out->size = total;
    return 0;
}

static uint8_t clamp_level(uint8_t v, uint8_t top) { return v < 1 ? 1 : v > top ? top : v; }

static uint8_t on_off(uint8_t v) { return v != 0 ? 1 : 0; }

/* The image parameters that travel under one command with a selector byte:
 * level c becomes step * c + base. */
static const struct {
    uint8_t key;
    uint8_t selector;
    uint8_t top;
    uint8_t step, base;
} image_levels[] = {
    {FPGA_PARAM_IR_BRIGHTNESS, 0x00, 10, 5, 39},
    {FPGA_PARAM_IR_CONTRAST, 0x01, 10, 6, 34},
    {FPGA_PARAM_IR_ENHANCE, 0x03, 5, 20, 14},
};

/* Keys whose one parameter is a switch. */
static const struct {
    uint8_t key;
    uint16_t cmd;
} image_switches[] = {
    {FPGA_PARAM_IR_CALIBRATE, FPGA_CMD_CALIBRATE},
    {FPGA_PARAM_IR_HIGHLIGHT, FPGA_CMD_HIGHLIGHT},
    {FPGA_PARAM_IR_FREEZE, FPGA_CMD_FREEZE},
    {FPGA_PARAM_IR_HOTPOINT, FPGA_CMD_HOTPOINT},
};

int irUartSet_frame(uint8_t key, uint8_t v, fpga_tx_frame *out)
{
    for (const auto &row : image_levels) {
        if (row.key != key) continue;
        const uint8_t p[2] = {row.selector, (uint8_t)(row.step * clamp_level(v, row.top) + row.base)};
        return fpga_frame_build(out, FPGA_CMD_IMAGE, FPGA_KIND_SET, p, 2) == 0;
    }
    for (const auto &row : image_switches) {
        if (row.key != key) continue;
        const uint8_t p = on_off(v);
        return fpga_frame_build(out, row.cmd, FPGA_KIND_SET, &p, 1) == 0;
    }
    if (key == FPGA_PARAM_IR_POLARITY) {
        /* Only black-hot inverts the core's output; the palettes are the
         * media process's. */
        const uint8_t p = v == 1 ? 1 : 0;
        return fpga_frame_build(out, FPGA_CMD_POLARITY, FPGA_KIND_SET, &p, 1) == 0;
    }
    return 0;
}

void fpga_scene_params(int scene, uint8_t *t1, uint8_t *t2)
{
    static const uint8_t first[4] = {0, 1, 2, 9};
    static const uint8_t second[4] = {0, 0, 1, 0};
    const int i = scene >= 1 && scene <= 4 ? scene - 1 : 0;
    *t1 = first[i];
    *t2 = second[i];
}

void get_show_version(const char *text, char *out, size_t out_size)
{
    if (out == NULL || out_size == 0) return;
    out[0] = '\0';
    if (text == NULL) return;
    size_t n = strcspn(text, "-");
    if (n > out_size - 1) n = out_size - 1;
    memcpy(out, text, n);
    out[n] = '\0';
    if (out[0] == 'v') out[0] = 'V';
}

/* ---- receive ---- */

void fpga_rx_init(fpga_rx *rx) { memset(rx, 0, sizeof *rx); }

size_t fpga_rx_room(const fpga_rx *rx) { return sizeof rx->ring - rx->count; }

static void rx_drop(fpga_rx *rx, size_t n)
{
    if (n > rx->count) n = rx->count;
    memmove(rx->ring, rx->ring + n, rx->count - n);
    rx->count -= n;
    vesk_rx_silence_dropped(&rx->silence, n);
}

static void rx_drop_byte(fpga_rx *rx)
{
    rx_drop(rx, 1);
    rx->dropped++;
    rx->state = 0;
}

/* One parser step; 0 when it must wait for more bytes. */
static int rx_step(fpga_rx *rx, fpga_rx_handler on_frame, void *ctx)
{
    switch (rx->state) {
    case 0:
        if (rx->count < 2) return 0;
        if (rx->ring[0] == FPGA_HEAD_RX && rx->ring[1] != FPGA_HEAD_RX)
            rx->state = 1;
        else
            rx_drop_byte(rx);
        return 1;
    case 1:
        rx->len = rx->ring[1];
        /* A length that promises more than the ring holds is no frame. */
        if (rx->len + 4 > sizeof rx->ring)
            rx_drop_byte(rx);
        else
            rx->state = 2;
        return 1;
    default: {
        const size_t size = rx->len + 4;
        if (vesk_rx_silence_torn(&rx->silence, size)) {
            rx_drop_byte(rx);
            return 1;
        }
        if (rx->count < size) return 0;
        if (rx->ring[rx->len + 2] != FPGA_TAIL1 || rx->ring[rx->len + 3] != FPGA_TAIL2) {
            rx_drop_byte(rx);
            return 1;
        }
        uint8_t copy[FPGA_RX_RING];
        memcpy(copy, rx->ring, size);
        rx_drop(rx, size);
        rx->state = 0;
        const fpga_rx_frame frame = {copy, size};
        if (on_frame != NULL) on_frame(ctx, &frame);
        return 1;
    }
    }
}

void fpga_rx_feed(fpga_rx *rx, const uint8_t *bytes, size_t n, uint64_t now_ms, fpga_rx_handler on_frame, void *ctx)
{
    if (rx == NULL || (bytes == NULL && n > 0)) return;
    vesk_rx_silence_arrive(&rx->silence, now_ms, rx->count, n);
    /* Parsing everything held always leaves room for one more byte, so a
     * long read goes in piece by piece and nothing is lost. */
    do {
        size_t take = fpga_rx_room(rx);
        if (take > n) take = n;
        if (take > 0) { /* a quiet poll passes no bytes at all */
            memcpy(rx->ring + rx->count, bytes, take);
            rx->count += take;
            bytes += take;
            n -= take;
        }
        while (rx_step(rx, on_frame, ctx)) {}
    } while (n > 0);
}

int fpga_rx_command(const fpga_rx_frame *frame)
{
    /* The command must stand before the checksum at LEN+1. */
    if (frame == NULL || frame->size < 7) return -1;
    return (frame->bytes[2] << 8) | frame->bytes[3];
}

int fpga_rx_sound(const fpga_rx_frame *frame)
{
    if (frame == NULL || frame->size < 4) return 0;
    return fpga_check(frame->bytes, frame->size) == frame->bytes[frame->size - 3];
}

size_t fpga_rx_text(const fpga_rx_frame *frame, size_t from, char *out, size_t out_size)
{
    if (out == NULL || out_size == 0) return 0;
    out[0] = '\0';
    if (frame == NULL || frame->size < 3) return 0;
    const size_t end = frame->size - 3; /* the checksum */
    size_t n = end > from ? end - from : 0;
    if (n > out_size - 1) n = out_size - 1;
    memcpy(out, frame->bytes + from, n);
    out[n] = '\0';
    return n;
}
