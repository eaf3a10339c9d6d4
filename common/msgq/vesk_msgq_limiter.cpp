#include <stdbool.h>

#include "vesk_clock.h"
#include "vesk_log.h"
#include "vesk_msgq_client.h"

uint64_t vesk_msgq_clock_ms(void) { return vesk_mono_ms() + 1u; }

static uint64_t pack_last(uint8_t type, uint32_t length, int err)
{
    return (uint64_t)type | ((uint64_t)(length & 0xFFFFFFu) << 8) | ((uint64_t)(uint32_t)err << 32);
}

void vesk_msgq_note_send(vesk_msgq_window *w, const char *tag, uint8_t type, uint32_t length, int failed, int err,
                         uint64_t now)
{
    for (;;) {
        uint64_t start = __atomic_load_n(&w->start_ms, __ATOMIC_ACQUIRE);
        if (start != 0 && now >= start + VESK_MSGQ_WINDOW_MS) {
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
                                (unsigned long long)count, VESK_MSGQ_WINDOW_MS, (unsigned)(last & 0xFF),
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
