// The thermal core's receive side: bytes from the serial line arrive in
// reads of any length (longer than the ring too), are cut into the core's
// frames, and every frame handed out is checked against the layout: whole
// inside the ring, head 55, LEN + 4 bytes, tail EB AA; every text taken
// from it stops before its checksum and is terminated.
#include <stdlib.h>
#include <string.h>

#include "fpga_proto.h"
#include "fuzz_support.h"

static void on_frame(void *ctx, const fpga_rx_frame *f)
{
    (void)ctx;
    if (f->size < 4 || f->size > FPGA_RX_RING) abort();
    if ((size_t)f->bytes[1] + 4 != f->size) abort();
    if (f->bytes[0] != FPGA_HEAD_RX || f->bytes[f->size - 2] != FPGA_TAIL1 || f->bytes[f->size - 1] != FPGA_TAIL2)
        abort();
    (void)fpga_rx_sound(f);
    (void)fpga_rx_command(f);
    const size_t froms[] = {5, 6};
    for (size_t from : froms) {
        char text[FPGA_RX_RING];
        memset(text, 0x7F, sizeof text);
        size_t n = fpga_rx_text(f, from, text, sizeof text);
        if (n >= sizeof text || text[n] != '\0' || strlen(text) > n) abort();
        if (n > 0 && from + n > f->size - 3) abort();
        char shown[16];
        get_show_version(text, shown, sizeof shown);
        if (strlen(shown) >= sizeof shown) abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_reader in(data, size);
    static fpga_rx rx;
    fpga_rx_init(&rx);
    /* A length byte before each read: 1 to 509 bytes; 0xFF instead lets
     * 60 ms pass on a quiet line, so that a torn frame is given up. */
    uint64_t now = 0;
    while (in.left() > 0) {
        const uint8_t lead = in.byte();
        if (lead == 0xFF) {
            now += 60;
            fpga_rx_feed(&rx, nullptr, 0, now, on_frame, nullptr);
            continue;
        }
        size_t want = (size_t)lead * 2 + 1, got;
        const uint8_t *piece = in.take(want, &got);
        fpga_rx_feed(&rx, piece, got, now, on_frame, nullptr);
        if (rx.count > FPGA_RX_RING || fpga_rx_room(&rx) == 0) abort();
    }
    return 0;
}
