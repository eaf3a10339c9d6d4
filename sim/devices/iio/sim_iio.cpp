#include "sim_iio.h"

#include <errno.h>
#include <math.h>

#include <chrono>
#include <string>
#include <thread>

#include "sim.h"

#define SIM_IIO_SETTLE_SAMPLES 25 /* more than the 20 the heading filter holds */

static const double sim_pi = 3.14159265358979323846;

static int16_t sim_clamp16(double v)
{
    long r = lround(v);
    return (int16_t)(r > 32767 ? 32767 : r < -32768 ? -32768 : r);
}

void sim_iio_accel_raw(double pitch_deg, double roll_deg, int16_t out[3])
{
    const double p = pitch_deg * sim_pi / 180, r = roll_deg * sim_pi / 180;
    /* Gravity seen from the body: nose up tips it towards -x, a right roll
     * towards +y; upright it points along -z. */
    out[0] = sim_clamp16(-sin(p) * SIM_IIO_ONE_G);
    out[1] = sim_clamp16(cos(p) * sin(r) * SIM_IIO_ONE_G);
    out[2] = sim_clamp16(-cos(p) * cos(r) * SIM_IIO_ONE_G);
}

void sim_iio_magn_raw(double heading_deg, double pitch_deg, double roll_deg, int16_t out[3], const int16_t *hard_iron)
{
    const double h = heading_deg * sim_pi / 180, p = pitch_deg * sim_pi / 180, r = roll_deg * sim_pi / 180;
    /* The field in the horizontal frame of the bore: forward, left, down. */
    const double fx = SIM_IIO_FIELD * cos(h), fy = -SIM_IIO_FIELD * sin(h), fz = SIM_IIO_DIP;
    /* Into the body: undo the pitch, then the roll. */
    const double a = fx * cos(p) - fz * sin(p), b = fy, c = fx * sin(p) + fz * cos(p);
    const double bx = a, by = b * cos(r) + c * sin(r), bz = -b * sin(r) + c * cos(r);
    /* The chip sits turned a quarter: its y along the bore, its x to the left. */
    const double chip[3] = {-by, bx, bz};
    for (int i = 0; i < 3; i++) out[i] = sim_clamp16(chip[i] + (hard_iron != nullptr ? hard_iron[i] : 0));
}

int sim_adc_counts(double volts)
{
    long c = lround(volts * SIM_ADC_FULL_COUNTS / SIM_ADC_REFERENCE_V);
    return (int)(c < 0 ? 0 : c > SIM_ADC_FULL_COUNTS ? SIM_ADC_FULL_COUNTS : c);
}

int sim_adc_battery_counts(double volts) { return sim_adc_counts(volts / SIM_BATTERY_DIVIDER); }

static int sim_iio_hold(sim_sandbox *sb, double pitch_deg, double roll_deg, double heading_deg,
                        const int16_t *hard_iron, int samples)
{
    int16_t acc[3], mag[3];
    sim_iio_accel_raw(pitch_deg, roll_deg, acc);
    sim_iio_magn_raw(heading_deg, pitch_deg, roll_deg, mag, hard_iron);
    for (int i = 0; i < samples; i++) {
        int rc = sim_iio_sample(sb, 1, acc[0], acc[1], acc[2]);
        if (rc == 0) rc = sim_iio_sample(sb, 2, mag[0], mag[1], mag[2]);
        if (rc != 0) return rc;
    }
    return 0;
}

int sim_iio_set_attitude(sim_sandbox *sb, double pitch_deg, double roll_deg, double heading_deg,
                         const int16_t *hard_iron)
{
    return sim_iio_hold(sb, pitch_deg, roll_deg, heading_deg, hard_iron, SIM_IIO_SETTLE_SAMPLES);
}

/* Waits until the reader has taken every sample of both sensors. */
static int sim_iio_drained(sim_sandbox *sb, std::chrono::steady_clock::time_point until)
{
    for (;;) {
        int accel = sim_iio_unread(sb, 1), magn = sim_iio_unread(sb, 2);
        if (accel < 0) return accel;
        if (magn < 0) return magn;
        if (accel == 0 && magn == 0) return 0;
        if (std::chrono::steady_clock::now() >= until) return -ETIMEDOUT;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

int sim_iio_turn(sim_sandbox *sb, sim_iio_turn_kind kind, const int16_t *hard_iron, int timeout_ms)
{
    /* pitch and heading of each position held */
    static const double horizontal[][2] = {{0, 0}, {0, 90}, {0, 180}, {0, 270}, {0, 0}};
    static const double vertical[][2] = {{90, 0}, {-90, 0}, {90, 0}, {-90, 0}, {0, 0}};
    const double(*turn)[2] = kind == SIM_IIO_TURN_HORIZONTAL ? horizontal : vertical;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (size_t i = 0; i < 5; i++) {
        int rc = sim_iio_hold(sb, turn[i][0], 0, turn[i][1], hard_iron, SIM_IIO_HOLD_SAMPLES);
        if (rc == 0) rc = sim_iio_drained(sb, until);
        if (rc != 0) return rc;
    }
    return 0;
}

int sim_adc_set_battery(sim_sandbox *sb, double volts)
{
    return sim_write_attribute(sb, SIM_BATTERY_RAW, std::to_string(sim_adc_battery_counts(volts)) + "\n");
}

int sim_adc_set_zoom_counts(sim_sandbox *sb, int counts)
{
    return sim_write_attribute(sb, SIM_ZOOM_RAW, std::to_string(counts) + "\n");
}
