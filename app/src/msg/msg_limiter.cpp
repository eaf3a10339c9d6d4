#include <time.h>

#include "vesk_clock.h"
#include "vesk_log.h"
#include "vesk_msg.h"

const char *const vesk_msg_tags[VESK_MSG_DIRECTIONS] = {"ipc.app_to_gui", "ipc.app_to_media"};

/* One failure window per direction. Only atomic operations touch these, so
 * two failing threads log at most one opening line per window and the
 * limiter never blocks a sender. */
typedef struct {
    volatile uint64_t start_ms;   /* limiter time the window opened, 0 when none */
    volatile uint64_t suppressed; /* failures not logged in this window */
    volatile uint64_t last;       /* type | length << 8 | errno << 32 */
} vesk_msg_error_window;

static vesk_msg_error_window s_windows[VESK_MSG_DIRECTIONS];

#define VESK_MSG_WINDOW_MS 1000u

uint64_t vesk_msg_clock_ms(void)
{
    /* Plus one: 0 means "no window open". */
    return vesk_mono_ms() + 1u;
}

int vesk_msg_is_compass(const uint8_t *frame, uint32_t length)
{
    return frame != NULL && length == 13 && frame[VESK_FRAME_OFF_HEAD] == VESK_FRAME_HEAD &&
           frame[VESK_FRAME_OFF_OBJ] == SUB_NOTIFIER_COMPASS && frame[VESK_FRAME_OFF_SUB] == 0;
}

static uint64_t pack_last(uint8_t type, uint32_t length, int err)
{
    return (uint64_t)type | ((uint64_t)(length & 0xFFFFFFu) << 8) | ((uint64_t)(uint32_t)err << 32);
}

void vesk_msg_note_send_at(vesk_msg_direction direction, uint8_t type, const uint8_t *frame, uint32_t length,
                           int failed, int err, uint64_t now)
{
    if ((unsigned)direction >= VESK_MSG_DIRECTIONS) return;
    if (failed && vesk_msg_is_compass(frame, length)) failed = 0;
    vesk_msg_error_window *w = &s_windows[direction];
    const char *tag = vesk_msg_tags[direction];
    for (;;) {
        uint64_t start = __atomic_load_n(&w->start_ms, __ATOMIC_ACQUIRE);
        if (start != 0 && now >= start + VESK_MSG_WINDOW_MS) {
            uint64_t next = failed ? now : 0;
            if (!__atomic_compare_exchange_n(&w->start_ms, &start, next, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE))
                continue; /* another thread closed it; look again */
            uint64_t count = __atomic_exchange_n(&w->suppressed, 0, __ATOMIC_ACQ_REL);
            if (failed) {
                vesk_log_printf(VESK_LOG_ERROR, tag, "send failed type=%u len=%u errno=%d suppressed=%llu", type,
                                length, err, (unsigned long long)count);
            } else if (count != 0) {
                uint64_t last = __atomic_load_n(&w->last, __ATOMIC_ACQUIRE);
                vesk_log_printf(VESK_LOG_ERROR, tag,
                                "send failed suppressed=%llu window_ms=%u last type=%u len=%u errno=%d",
                                (unsigned long long)count, VESK_MSG_WINDOW_MS, (unsigned)(last & 0xFF),
                                (unsigned)((last >> 8) & 0xFFFFFF), (int)(uint32_t)(last >> 32));
            }
            return;
        }
        if (!failed) return; /* no window, or one younger than a second */
        if (start == 0) {
            uint64_t expected = 0;
            if (__atomic_compare_exchange_n(&w->start_ms, &expected, now, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
                vesk_log_printf(VESK_LOG_ERROR, tag, "send failed type=%u len=%u errno=%d suppressed=0", type, length,
                                err);
                return;
            }
        }
        __atomic_store_n(&w->last, pack_last(type, length, err), __ATOMIC_RELEASE);
        __atomic_add_fetch(&w->suppressed, 1, __ATOMIC_ACQ_REL);
        return;
    }
}

void vesk_msg_note_send(vesk_msg_direction direction, uint8_t type, const uint8_t *frame, uint32_t length, int failed,
                        int err)
{
    vesk_msg_note_send_at(direction, type, frame, length, failed, err, vesk_msg_clock_ms());
}
