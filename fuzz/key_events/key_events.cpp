// The key device's byte stream: input events in reads of any length, each
// EV_KEY event stepping the key state machine of the eight keys, with the
// power-key thread's 10 ms ticks and the clock the input picks between
// reads.
#include <stdlib.h>
#include <string.h>

#include "fuzz_support.h"
#include "qel_key.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_reader in(data, size);
    key_state_table table[8];
    memset(table, 0, sizeof table);
    for (int i = 0; i < 8; i++) {
        table[i].key_code = i + 1;
        table[i].need_double = i + 1 == KEY_CODE_POWER;
    }
    CombKey_Init(table, 8);
    vesk_key_bind(table, 8, NULL);
    vesk_key_reader reader = {{0}, 0};
    uint64_t now = 0;
    /* A read: a length byte (1 to 64), the clock's step, the bytes. */
    while (in.left() > 0) {
        size_t want = (size_t)(in.byte() % 64) + 1, got;
        now += in.byte();
        for (int t = in.byte() % 8; t > 0; t--) vesk_key_double_tick();
        const uint8_t *piece = in.take(want, &got);
        vesk_key_feed(&reader, piece, got, now);
        if (reader.used >= sizeof reader.buf) abort();
        for (const key_state_table &k : table) {
            if (k.key_state < 0 || k.key_state > 2 || k.key_long_repet < 0 || k.key_long_repet > 3) abort();
            if (k.time_count < 0 || k.time_count > 5000) abort();
        }
        if (g_key_power_state < 0 || g_key_power_state > 2) abort();
    }
    vesk_key_bind(NULL, 0, NULL);
    return 0;
}
