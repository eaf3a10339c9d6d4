// The PC or factory tool on the serial line "/dev/ttyS2": one receive
// thread cuts the tool's frames out of the line (upper_codec.h) and handles
// each at once: identity and calibration values read and written, the
// clock set, key presses passed to the GUI, the battery voltage, the
// serial-line routing and the factory reset. Read requests are answered on
// the same line. Functions return 0 or -1.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "boardcast.h"
#include "upper_codec.h"

#define VESK_UPPER_DEVICE "/dev/ttyS2"

extern volatile int upperUartInitFinished; /* the line is configured */

/* Opens and configures the line and starts PthreadRcvUpperData; the main
 * bus takes the factory-reset request. The app bus is kept for the calling
 * form; nothing is registered on it. */
int Qel_UpperComputerInit(const char *device, event_handle *main_bus, event_handle *app_bus);
/* Ends and joins the receive thread and closes the line. */
void Qel_UpperComputerExit(void);

/* One frame from the tool (checked again here); main_bus as at init. */
void Upper_Handler(const uint8_t *frame, int len, event_handle *main_bus);

/* Sends the reply of len bytes in buffer (of size bytes): bytes 2..4 and
 * the data from byte 6 are the caller's; head, length, direction byte,
 * checksum and trailer are filled here. -1 when len is outside 9..255 or
 * beyond the buffer (nothing sent), or the write failed. */
int Upper_UartSendData(uint8_t *buffer, size_t size, int len);

/* The clock from a 0x1B frame: bytes 6-7 the year, then month, day, hour,
 * minute, second. 0, or -1 when a field is out of its range or a clock
 * refused the time. */
int set_date_and_time_by_upper(const uint8_t *frame, int len);

/* AA 08 1C 03 FF 00 value CHK EB AA to the media process. */
int inner_SendShotThreshold(int16_t value);

/* What a new serial number sets off besides the EEPROM record: the access
 * point's default name staged from qel_dev_status.sn (0 or an error). The
 * Wi-Fi module fills it at start-up (_setWiFiSSIDBySN); until then a new
 * serial number stages no name, which is logged. */
void vesk_upper_set_sn_hook(int (*stage_ssid_from_sn)(void));
