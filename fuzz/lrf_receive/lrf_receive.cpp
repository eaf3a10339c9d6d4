// The rangefinder's receive side: bytes from the serial line arrive in
// reads of any length, are cut into module frames, and each frame steps
// the state machine, in a state the input picks.
#include <stdlib.h>
#include <string.h>

#include "fuzz_support.h"
#include "vesk_lrf_core.h"
#include "vesk_lrf_proto.h"

static void on_frame(void *ctx, const vesk_lrf_frame *frame, const uint8_t *raw, size_t len)
{
    if (len < 6 || len > VESK_LRF_FRAME_MAX || raw[0] != VESK_LRF_HEAD0) abort();
    if (frame->nparams > VESK_LRF_MAX_PARAMS) abort();
    vesk_lrf_core *core = (vesk_lrf_core *)ctx;
    vesk_lrf_event ev;
    memset(&ev, 0, sizeof(ev));
    ev.kind = VESK_LRF_EV_FRAME;
    ev.frame = *frame;
    vesk_lrf_actions out;
    vesk_lrf_core_step(core, &ev, &out);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_reader in(data, size);
    /* The core's state and settings, then the reads: a byte before each
     * piece of the line whose low four bits give its length (1 to 16) and
     * whose high four the quiet time before it, in steps of 10 ms. */
    vesk_lrf_settings settings;
    settings.target = (uint8_t)(in.byte() % 4);
    settings.processing = in.byte() & 1;
    settings.min_m = 0;
    settings.max_m = 0;
    vesk_lrf_core core;
    vesk_lrf_core_init(&core, vesk_lrf_settings_valid(&settings) ? &settings : NULL);
    core.state = (uint8_t)(in.byte() % 9);
    core.cfg_step = (uint8_t)(in.byte() % 9);
    static vesk_lrf_rx rx;
    rx = vesk_lrf_rx{};
    uint64_t now = 0;
    while (in.left() > 0) {
        int forced = 0;
        size_t room = vesk_lrf_rx_room(&rx, &forced);
        const uint8_t lead = in.byte();
        now += (uint64_t)(lead >> 4) * 10u;
        size_t want = (size_t)(lead % 16) + 1, got;
        if (want > room) want = room;
        const uint8_t *piece = in.take(want, &got);
        memcpy(rx.buf + rx.count, piece, got);
        vesk_lrf_rx_commit(&rx, got, now, on_frame, &core);
        if (rx.count > VESK_LRF_RX_SIZE) abort();
    }
    return 0;
}
