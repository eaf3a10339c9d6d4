// The PC tool's line: bytes arrive in reads of any length, are cut into
// frames by the receive ring, and each frame is handled against a running
// settings store (edit sections, the EEPROM record, the GUI and media
// queues). Replies go to a closed line.
#include <string.h>

#include <cstdlib>

#include "boardcast.h"
#include "fuzz_sightd.h"
#include "fuzz_support.h"
#include "qel_dev_status.h"
#include "upper.h"

static event_handle *bus;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    (void)argc;
    (void)argv;
    fuzz_sightd_setup();
    fuzz_settings_store_start();
    if (event_create(&bus, 30, NULL) != 0) abort();
    fuzz_app_bus_sink(bus);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_reader in(data, size);
    /* Recording or not, then reads: a byte before each whose low five bits
     * give the length (1 to 32) and whose top three the quiet time before
     * it, in steps of 25 ms, so that torn frames are given up. */
    const uint8_t flags = in.byte();
    qel_dev_status.video_status = flags & 1;
    qel_dev_status.shot_video_status = (flags >> 1) & 1;
    static vesk_upper_rx rx;
    vesk_upper_rx_init(&rx);
    uint8_t frame[VESK_UPPER_FRAME_MAX];
    uint64_t now = 0;
    while (in.left() > 0) {
        size_t got;
        const uint8_t lead = in.byte();
        now += (uint64_t)(lead >> 5) * 25u;
        const uint8_t *piece = in.take((size_t)(lead % 32) + 1, &got);
        for (size_t at = 0; at < got;) {
            at += vesk_upper_rx_put(&rx, piece + at, got - at, now);
            int n;
            while ((n = vesk_upper_rx_step(&rx, frame)) != 0) {
                if (vesk_upper_rx_used(&rx) > VESK_UPPER_RX_HOLD) abort();
                if (n < 0) continue;
                if (n < VESK_UPPER_FRAME_MIN || n > VESK_UPPER_FRAME_MAX || frame[0] != VESK_UPPER_HEAD) abort();
                Upper_Handler(frame, n, bus);
            }
        }
    }
    return 0;
}
