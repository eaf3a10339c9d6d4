// The compass and inclinometer: an accelerometer and a magnetometer read
// through the kernel's industrial-I/O buffers give the bore's pitch, the
// cant (roll) and the magnetic azimuth every 40 ms. They are published in
// AngelDispVal for the ballistic thread and reported on the main bus; the
// GUI sets the declination and drives a two-stage hard-iron calibration.
#pragma once

#include <pthread.h>
#include <stdint.h>

#include "boardcast.h"

// The ballistic thread reads AngelDispVal without a lock: each field is a
// plain float written whole by the compass calculation thread.
typedef struct {
    float Pitch_display;   /* degrees, bore inclination */
    float Roll_display;    /* degrees, cant */
    float Azimuth_display; /* degrees, magnetic heading */
    float Rad_pitch;
    float Rad_roll;
} Qel_Angle_Value;

extern Qel_Angle_Value AngelDispVal;
/* The normalised accelerations (-1..1) the heading is tilt-compensated with. */
extern float Acc_x, Acc_y, Acc_z;

/* Report items (byte 2) and the GUI's command subs. */
enum { COMPASS_ITEM_AZIMUTH = 0, COMPASS_ITEM_PITCH = 1, COMPASS_ITEM_ROLL = 2 };
enum { COMPASS_OFFESET_PARAM = 1, COMPASS_CORRECT = 6 };
#define COMPASS_REPORT_SIZE 7
#define COMPASS_ACC_RING 5
#define COMPASS_MAG_RING 20

/* Raw samples (x, y, z) as the sampling threads store them, under calc_mutex_t. */
extern int16_t accel_raw[3];
extern int16_t magn_raw[3];
extern pthread_mutex_t calc_mutex_t;
/* Magnetometer offsets subtracted from the filtered field. */
extern int16_t AdjustParams[3];
/* Calibration state: 0 idle, 1 collecting, 2 finish (xy and z). */
extern volatile int mag_cali_start, mag_cali_xy, mag_cali_z, mag_cali_clean;

/* Starts the two sampling threads and the calculation thread, reporting on
 * main_bus, and registers notifier_compass on app_bus. 0 or -1. */
int Qel_CompassInit(const char *device, event_handle *main_bus, event_handle *app_bus);
/* Stops and joins the three threads. */
void Qel_CompassExit(void);
/* App-bus callback for object 6 (declination, calibration). */
void notifier_compass(event_handle *handle, void *cb_data, int evtype, const void *evdata, int size);

/* The steps of the calculation thread, one each 40 ms, under calc_mutex_t;
 * exposed with the filters for tests on fixed samples. */
void compass_calc_bind(event_handle *main_bus);
void compass_load_params(void);
void get_accelerometer_calculate_angle(const int16_t acc[3]);
void QMC5883L_Get_Mag(const int16_t mag[3]);
/* Sum of 5 minus largest and smallest, / 3; the middle 16 of 20 sorted, / 16. */
int AdFilter_Acce(const int ring[COMPASS_ACC_RING]);
int AdFilter2(const int16_t ring[COMPASS_MAG_RING]);
/* One buffer sample as the iio device delivers it: three int16, low byte first. */
void compass_decode_sample(const unsigned char bytes[6], int16_t out[3]);
