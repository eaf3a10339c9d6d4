// The phone's command frames and the wind meter's frames as their handlers
// take them off the app bus, sealed or not, on a running settings store:
// the phone frame's parser must refuse every frame whose payload would not
// leave room for its terminator.
#include <stdlib.h>
#include <string.h>

#include "fuzz_handler_frame.h"
#include "qel_irsearch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_handler_frame in;
    fuzz_handler_frame_take(data, size, &in);
    uint8_t *const frame = in.bytes;
    const size_t n = in.size;
    vesk_phone_command c;
    if (vesk_phone_command_parse(frame, (int)n, &c) == 0) {
        if (c.length > VESK_PHONE_PAYLOAD_MAX || c.payload[c.length] != '\0') abort();
        if (n < c.length + VESK_FRAME_OVERHEAD) abort();
    }
    if (in.target & 1)
        notifier_bluetooth(NULL, NULL, 29, frame, (int)n);
    else
        notifier_irsearch(NULL, NULL, 244, frame, (int)n);
    return 0;
}
