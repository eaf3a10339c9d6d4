#include "vesk_lrf_proto.h"

#include <string.h>

static uint8_t vesk_lrf_sum(const uint8_t *bytes, size_t count)
{
    uint8_t sum = 0;
    for (size_t i = 0; i < count; i++) sum = (uint8_t)(sum + bytes[i]);
    return sum;
}

size_t vesk_lrf_frame_build(uint8_t cmd, const uint8_t *params, size_t count, uint8_t *out)
{
    if (count > VESK_LRF_MAX_PARAMS) return 0;
    out[0] = VESK_LRF_HEAD0;
    out[1] = VESK_LRF_HEAD1;
    out[2] = (uint8_t)(count + 2);
    out[3] = VESK_LRF_ADDR;
    out[4] = cmd;
    if (count > 0) memcpy(out + 5, params, count);
    out[5 + count] = vesk_lrf_sum(out + 3, count + 2);
    return count + 6;
}

int vesk_lrf_frame_parse(const uint8_t *buffer, size_t length, vesk_lrf_frame *out, size_t *consumed)
{
    *consumed = 0;
    if (length < 3) return 0;
    /* Every test that can refuse the first byte runs before the frame's
     * length is awaited, so a bad length byte never holds the stream. */
    size_t len = buffer[2];
    if (buffer[0] != VESK_LRF_HEAD0 || buffer[1] != VESK_LRF_HEAD1 || len < VESK_LRF_MIN_LEN ||
        len > VESK_LRF_MAX_LEN || (length > 3 && buffer[3] != VESK_LRF_ADDR)) {
        *consumed = 1;
        return -1;
    }
    if (length < len + 4) return 0;
    if (vesk_lrf_sum(buffer + 3, len) != buffer[len + 3]) {
        *consumed = 1;
        return -1;
    }
    out->cmd = buffer[4];
    out->nparams = (uint8_t)(len - 2);
    memset(out->params, 0, sizeof out->params);
    memcpy(out->params, buffer + 5, out->nparams);
    *consumed = len + 4;
    return 1;
}

size_t vesk_lrf_rx_room(vesk_lrf_rx *rx, int *forced)
{
    *forced = 0;
    if (rx->count < sizeof rx->buf) return sizeof rx->buf - rx->count;
    memmove(rx->buf, rx->buf + 1, rx->count - 1);
    rx->count--;
    vesk_rx_silence_dropped(&rx->silence, 1);
    *forced = 1;
    return 1;
}

size_t vesk_lrf_rx_commit(vesk_lrf_rx *rx, size_t n, uint64_t now_ms, vesk_lrf_rx_cb cb, void *ctx)
{
    if (n > sizeof rx->buf - rx->count) n = sizeof rx->buf - rx->count;
    vesk_rx_silence_arrive(&rx->silence, now_ms, rx->count, n);
    rx->count += n;
    size_t start = 0;
    size_t frames = 0;
    for (;;) {
        vesk_lrf_frame frame;
        size_t used = 0;
        int r = vesk_lrf_frame_parse(rx->buf + start, rx->count - start, &frame, &used);
        /* A frame still waiting needs at least one byte more than is held. */
        const size_t total = r == 0 ? rx->count - start + 1 : used;
        if (r >= 0 && vesk_rx_silence_torn(&rx->silence, total)) {
            r = -1;
            used = 1;
        }
        if (r == 0) break;
        if (r > 0) {
            cb(ctx, &frame, rx->buf + start, used);
            frames++;
        }
        start += used;
        vesk_rx_silence_dropped(&rx->silence, used);
    }
    memmove(rx->buf, rx->buf + start, rx->count - start);
    rx->count -= start;
    return frames;
}
