// The board's small device controls: the power-control device, the
// serial-line switch, power-off, the real-time clock and the system clock,
// and the display controls. Each board call goes through the board layer.
#pragma once

#include <time.h>

#include "vesk_board.h"

#define POWER_HW_DEVICE "/dev/hardware"
#define POWER_UART_DEVICE "/dev/uart_switch"
#define POWER_RTC_DEVICE "/dev/rtc0"
#define POWER_LCD_DEVICE "/dev/lcd_ctl"
/* The debug UART goes to the ARM side (mode 2) when this file is on the card. */
#define POWER_UART_SWITCH_FILE "/usrdata/media/UART_SWITCH_ARM.cfg"

/* A write of value to the power-control device (VESK_BOARD_HW_REQUEST(nr)):
 * the ioctl's result, or -1 when the device does not open. */
int Power_Ctrl_IO(unsigned long request, int value);
/* Routes the serial lines: 0, -1 when the device does not open, or the
 * ioctl's failing result. */
int Power_Ctrl_UART(int value);
/* Powers the board off: 0 or the negative errno. */
int Power_Off(void);

/* 1 when every field names a real calendar time from 1970 to 2099
 * (month 1..12, the month's days, 24-hour clock), else 0. Callers with
 * clock fields from outside check them before setting either clock. */
int vesk_time_fields_valid(int year, int month, int day, int hour, int minute, int second);

/* The real-time clock: 0; -1 when the device does not open; -ENOENT when
 * the clock refuses the time. */
int rtc_set_time(int hour, int minute, int second, int year, int month, int day);
/* The system clock, from UTC fields (as sys_get_time reads it): 0, or -1. */
int sys_set_time(int hour, int minute, int second, int year, int month, int day);
/* The current time as gmtime gives it, in out; out. */
struct tm *sys_get_time(struct tm *out);

/* The display's power and brightness: the ioctl's result, or -1. */
int Power_Ctrl_LCD(int on);
int Brightness_Ctrl_LCD(int level);
