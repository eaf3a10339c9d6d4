#include "fuzz_handler_frame.h"

#include "fuzz_sightd.h"
#include "fuzz_support.h"

void fuzz_handler_frame_take(const uint8_t *data, size_t size, fuzz_handler_frame *out)
{
    static bool ready;
    if (!ready) {
        fuzz_sightd_setup();
        fuzz_settings_store_start();
        ready = true;
    }
    fuzz_reader in(data, size);
    out->target = in.byte();
    out->size = fuzz_frame(in, out->bytes);
}
