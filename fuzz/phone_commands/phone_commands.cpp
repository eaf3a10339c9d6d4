// The phone's command frames and the wind meter's frames as their handlers
// take them off the app bus, sealed or not, on a running settings store:
// the phone frame's parser must refuse every frame whose payload would not
// leave room for its terminator.
#include <stdlib.h>
#include <string.h>

#include "fuzz_sightd.h"
#include "fuzz_support.h"
#include "qel_irsearch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int ready;
    if (!ready) {
        fuzz_sightd_setup();
        fuzz_settings_store_start();
        ready = 1;
    }
    fuzz_reader in(data, size);
    const uint8_t target = in.byte();
    uint8_t frame[512];
    const size_t n = fuzz_frame(in, frame);
    vesk_phone_command c;
    if (vesk_phone_command_parse(frame, (int)n, &c) == 0) {
        if (c.length > VESK_PHONE_PAYLOAD_MAX || c.payload[c.length] != '\0') abort();
        if (n < c.length + VESK_FRAME_OVERHEAD) abort();
    }
    if (target & 1)
        notifier_bluetooth(NULL, NULL, 29, frame, (int)n);
    else
        notifier_irsearch(NULL, NULL, 244, frame, (int)n);
    return 0;
}
