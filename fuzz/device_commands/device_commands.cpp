// The GUI's device commands as the modules take them off the app bus: any
// frame as object 0 (the board module), 6 (the compass) or 11 (the
// self-inspection), sealed or not.
#include <stdlib.h>
#include <string.h>

#include "fuzz_handler_frame.h"
#include "qel_compass.h"
#include "qel_dev_status.h"
#include "qel_other.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_handler_frame in;
    fuzz_handler_frame_take(data, size, &in);
    uint8_t *const frame = in.bytes;
    const int n = (int)in.size;
    switch (in.target % 3) {
    case 0:
        notifier_other(NULL, NULL, 0, frame, n);
        break;
    case 1:
        notifier_compass(NULL, NULL, 6, frame, n);
        break;
    default:
        notifier_self(NULL, NULL, 11, frame, n);
        break;
    }
    if (mag_cali_xy < 0 || mag_cali_xy > 2 || mag_cali_z < 0 || mag_cali_z > 2) abort();
    return 0;
}
