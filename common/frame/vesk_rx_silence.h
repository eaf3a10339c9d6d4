// When a serial receiver gives up on a partial frame. A stray start byte
// followed by a plausible length would otherwise swallow the peer's next
// frame (and leave it unanswered) until enough unrelated bytes came. The
// senders on these lines write each frame in one go, so a frame never pauses
// inside itself: bytes that were already held when the line fell silent for
// VESK_RX_SILENCE_MS are stale, and a frame that starts among stale bytes but
// needs bytes beyond them was torn. The receiver drops its start byte and
// looks for the next start byte, among the stale bytes first.
//
// The bound is a fixed 50 ms rather than a few character times (0.26 ms at
// 115200 baud): the receive threads and a loaded host's scheduler may wake
// tens of milliseconds late, and a byte read late must not tear a whole
// frame. The codecs stay pure: the caller passes the time of each arrival.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define VESK_RX_SILENCE_MS 50u

typedef struct {
    uint64_t last_ms; /* monotonic time of the last arrival */
    size_t stale;     /* held bytes, from the front, that came before a silence */
} vesk_rx_silence;

/* n new bytes (0 for a quiet poll) arrive at now_ms while held bytes wait
 * in the buffer. */
static inline void vesk_rx_silence_arrive(vesk_rx_silence *s, uint64_t now_ms, size_t held, size_t n)
{
    if (held > 0 && now_ms >= s->last_ms && now_ms - s->last_ms >= VESK_RX_SILENCE_MS) s->stale = held;
    if (n > 0) s->last_ms = now_ms;
}

/* n bytes left the front of the buffer. */
static inline void vesk_rx_silence_dropped(vesk_rx_silence *s, size_t n)
{
    s->stale = n >= s->stale ? 0 : s->stale - n;
}

/* 1 when a frame of total bytes starting at the front was torn by a
 * silence, or would have to wait for bytes after one. */
static inline int vesk_rx_silence_torn(const vesk_rx_silence *s, size_t total)
{
    return s->stale > 0 && total > s->stale;
}
