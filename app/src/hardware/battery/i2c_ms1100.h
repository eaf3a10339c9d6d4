// The battery: ADC channel 2 read every 10 ms (every 2 s once reported),
// averaged and reported to the GUI and the phone side once the GUI is ready.
#pragma once

#include "boardcast.h"

#define BATTERY_ADC_RAW "/sys/bus/iio/devices/iio:device0/in_voltage2_raw"
#define ZOOM_ADC_RAW "/sys/bus/iio/devices/iio:device0/in_voltage1_raw"
#define BATTERY_VOLTAGE_START 800 /* hundredths of a volt, until a report */

/* An ADC sysfs value: the integer at the start of the file, -1 when it does
 * not open or holds no number. */
int read_adc_raw(const char *path);
/* A channel read often (the zoom ring, every 20 ms): its file stays open
 * and is read again from the start, one system call a reading instead of
 * three. fd is -1 until the first read. */
typedef struct {
    const char *path;
    int fd;
} vesk_adc_channel;
/* As read_adc_raw, on the channel's open file. */
int vesk_adc_channel_read(vesk_adc_channel *ch);
void vesk_adc_channel_close(vesk_adc_channel *ch);
/* The text of such a file, as the kernel writes it ("13913\n"): -1 when no
 * digits follow the optional blanks and sign. */
int vesk_adc_parse(const char *text, size_t length);
/* Volts from the battery channel's raw value. */
float vesk_battery_volts(int raw);

/* Starts the battery thread reporting on bus (the path is not used). 0 or -1. */
int i2c_Ms1100Init(const char *device, event_handle *bus);
/* Stops and joins the battery thread. */
void i2c_Ms1100Deinit(void);
/* The battery now, in hundredths of a volt, never below 0. */
int Qel_ReadBatData(int *out);

/* The battery thread's callback with one reading in volts; exposed for
 * tests that replay readings. */
typedef void (*Qel_i2c_callback)(float volts);
int Qel_i2c_RegisterCallback(Qel_i2c_callback callback);
void infI2cRecvCallback(float volts);
/* Forgets the averaging ring and the first-pass self-check (tests). */
void vesk_battery_reset(event_handle *bus);
/* The battery report, on the bus and to the phone side. */
void vesk_battery_report(int value);
