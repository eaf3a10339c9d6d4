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
/* The field in the sensor's axes for a magnetic heading, at that attitude. */
void sim_iio_magn_raw(double heading_deg, double pitch_deg, double roll_deg, int16_t out[3]);
/* Channel counts for a battery voltage and for a voltage on channel 1. */
int sim_adc_battery_counts(double volts);
int sim_adc_counts(double volts);

/* Sets the attitude (both sensors): enough samples for every filter to
 * settle on it. 0 or a negative errno. */
int sim_iio_set_attitude(sim_sandbox *sb, double pitch_deg, double roll_deg, double heading_deg);
/* The ADC channels: a voltage, or raw counts. */
int sim_adc_set_battery(sim_sandbox *sb, double volts);
int sim_adc_set_zoom_counts(sim_sandbox *sb, int counts);
