// The GUI's device commands as the modules take them off the app bus: any
// frame as object 0 (the board module), 6 (the compass) or 11 (the
// self-inspection), sealed or not.
#include <stdlib.h>
#include <string.h>

#include "fuzz_sightd.h"
#include "fuzz_support.h"
#include "qel_compass.h"
#include "qel_dev_status.h"
#include "qel_other.h"

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
    switch (target % 3) {
    case 0:
        notifier_other(NULL, NULL, 0, frame, (int)n);
        break;
    case 1:
        notifier_compass(NULL, NULL, 6, frame, (int)n);
        break;
    default:
        notifier_self(NULL, NULL, 11, frame, (int)n);
        break;
    }
    if (mag_cali_xy < 0 || mag_cali_xy > 2 || mag_cali_z < 0 || mag_cali_z > 2) abort();
    return 0;
}
