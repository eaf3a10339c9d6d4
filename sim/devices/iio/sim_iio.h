// The scope's analogue sensors as the kernel's industrial-I/O drivers show
// them: the accelerometer (iio:device1) and the magnetometer (iio:device2)
// through their buffers, three little-endian int16 per sample; the ADC
// (iio:device0) through sysfs, channel 2 the battery, channel 1 the zoom ring.
#pragma once

#include <stdint.h>

struct sim_sandbox;

/* 1 g on the accelerometer, and the field strength the magnetometer reads. */
#define SIM_IIO_ONE_G 16384
#define SIM_IIO_FIELD 1000
#define SIM_IIO_DIP 400 /* the field's vertical part */
/* The ADC: 15-bit counts over its 4.096 V reference; the battery reaches
 * channel 2 through a 4.6 : 1 divider. */
#define SIM_ADC_FULL_COUNTS 32766
#define SIM_ADC_REFERENCE_V 4.096
#define SIM_BATTERY_DIVIDER 4.6

/* The sensors' axes: x along the bore, z down through the body; an
 * upright, level scope reads (0, 0, -1 g). Pitch up and roll right in
 * degrees. */
void sim_iio_accel_raw(double pitch_deg, double roll_deg, int16_t out[3]);
/* The field in the sensor's axes for a magnetic heading, at that attitude,
 * plus the chip's own hard-iron offset (its axes; null for none). */
void sim_iio_magn_raw(double heading_deg, double pitch_deg, double roll_deg, int16_t out[3],
                      const int16_t *hard_iron = nullptr);
/* Channel counts for a battery voltage and for a voltage on channel 1. */
int sim_adc_battery_counts(double volts);
int sim_adc_counts(double volts);

/* Sets the attitude (both sensors): enough samples for every filter to
 * settle on it. 0 or a negative errno. */
int sim_iio_set_attitude(sim_sandbox *sb, double pitch_deg, double roll_deg, double heading_deg,
                         const int16_t *hard_iron = nullptr);

/* The turns of a compass calibration: round horizontally (level, heading
 * 0, 90, 180, 270 and 0 again), or vertically (heading 0, the bore
 * straight up, straight down, up and down again). Each position is held
 * for SIM_IIO_HOLD_SAMPLES samples of both sensors, long enough for the
 * heading filter to settle on it, and the next is given only once the
 * reader has taken them. Returns 0 when the reader has taken the whole
 * turn, -ETIMEDOUT after timeout_ms, or a negative errno. */
#define SIM_IIO_HOLD_SAMPLES 100
typedef enum { SIM_IIO_TURN_HORIZONTAL, SIM_IIO_TURN_VERTICAL } sim_iio_turn_kind;
int sim_iio_turn(sim_sandbox *sb, sim_iio_turn_kind kind, const int16_t *hard_iron, int timeout_ms);
/* The ADC channels: a voltage, or raw counts. */
int sim_adc_set_battery(sim_sandbox *sb, double volts);
int sim_adc_set_zoom_counts(sim_sandbox *sb, int counts);
