// One input of a target that hands a frame to sightd's handlers as they take
// it off the app bus, on a running settings store: a byte that picks the
// handler, then the frame (sealed or not, as fuzz_frame builds it).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "vesk_frame.h"

struct fuzz_handler_frame {
    uint8_t target; /* which handler; the target reads it as it needs */
    uint8_t bytes[VESK_FRAME_MAX];
    size_t size;
};

/* The first call sets up the sandbox and starts the settings store; every
 * call then reads the input into out. */
void fuzz_handler_frame_take(const uint8_t *data, size_t size, fuzz_handler_frame *out);
