// What the sensors' files give: an ADC sysfs value as text (battery and
// zoom ring, mapped through limits the input picks, as the PC link may
// store them) and the iio buffers' samples, whole or split, through both
// attitude steps.
#include <stdlib.h>
#include <string.h>

#include "fuzz_support.h"
#include "i2c_ms1100.h"
#include "qel_compass.h"
#include "qel_other.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_reader in(data, size);
    /* An ADC file: a length byte, then its text. */
    size_t n = in.byte(), got;
    const uint8_t *text = in.take(n, &got);
    const int raw = vesk_adc_parse((const char *)text, got);
    const int16_t lo = (int16_t)(in.byte() | in.byte() << 8), hi = (int16_t)(in.byte() | in.byte() << 8);
    vesk_zoom_map map;
    if (vesk_zoom_limits(lo, hi, &map) == 0 && raw >= 0) {
        int rev = map.min + map.max - raw;
        if (rev < 0) rev = 0;
        const int z = vesk_zoom_of(&map, rev);
        if (z < 100 || z > 800) abort();
    }
    (void)vesk_battery_volts(raw);
    /* Samples: accelerometer and magnetometer in turn, six bytes each. */
    static int bound;
    if (!bound) {
        compass_calc_bind(NULL);
        bound = 1;
    }
    while (in.left() >= 12) {
        int16_t acc[3], mag[3];
        compass_decode_sample(in.take(6, &got), acc);
        compass_decode_sample(in.take(6, &got), mag);
        get_accelerometer_calculate_angle(acc);
        QMC5883L_Get_Mag(mag);
        const float az = AngelDispVal.Azimuth_display;
        if (!(az >= 0 && az < 360)) abort();
        if (AngelDispVal.Pitch_display > 90 || AngelDispVal.Pitch_display < -90) abort();
        if (AngelDispVal.Roll_display > 180 || AngelDispVal.Roll_display < -180) abort();
    }
    return 0;
}
