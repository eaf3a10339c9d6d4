// Small helpers of the GUI's pages: how full the Media partition is, the
// hardware and system clocks, the version values that the programs wrote to
// the build-identity file, wrap-around menu stepping, folder creation and
// UTF-8 text cut to a buffer.
// Everything runs on the GUI thread and blocks it while it works on files.
#pragma once

#include <stddef.h>
#include <time.h>

#define VESK_MEDIA_ROOT "/usrdata/media/"
#define VESK_RTC_DEVICE "/dev/rtc0"

/* Used and total size of the Media partition in hundredths of a GiB.
 * 1: less than 200 MiB free; 2: less than 500 MiB free; 0: enough room on a
 * card under 64 GiB; -1: bad arguments, unreadable statistics or a size
 * outside what the device handles. The sizes are written for 0, 1 and 2. */
int Get_StorageData(int *used, int *total);
/* The same figures for the file system that holds path. */
int vesk_storage_data_at(const char *path, int *used, int *total);

/* Hardware clock: 0, -1 when the device does not open, -2 when the set-time
 * request fails. */
int rtc_set_time(int hour, int minute, int second, int year, int month, int day);
/* System clock from these fields read as UTC (as sys_get_time gives
 * them): 0 or -1. */
int sys_set_time(int hour, int minute, int second, int year, int month, int day);
/* The current time broken down as UTC, in the C library's static record:
 * 0, or -1 (and *out NULL) when it cannot be read. */
int sys_get_time(struct tm **out);

/* Version values read back from the build-identity file, one slot per key
 * of QZ_vername: "PN", "SN", "FPA1", "FPA2", "DeviceVersion". */
#define QZ_VER_COUNT 5
#define QZ_VER_LEN 20
extern char QZ_verArr[QZ_VER_COUNT][QZ_VER_LEN];
extern const char *const QZ_vername[QZ_VER_COUNT];
/* Fills QZ_verArr from path ("/tmp/apps.version"): 0; -1 when the file does
 * not open; the read's result (0 or -1) when nothing could be read. A key
 * that is missing, or whose value is not closed by ']', keeps its slot. A
 * value longer than a slot is cut to fit. */
int get_version(const char *path);

/* Next menu index after key. With direction set the up keys '3' and '4'
 * step up and any other key steps down; with it clear the down keys '5' and
 * '6' step up. Stepping wraps between minimum and maximum. */
int getIndexVal(int key, int minimum, int maximum, int current, int direction);

/* Creates each missing folder of path with mode 0755; only components
 * followed by '/' are folders, so a folder path ends with '/'. 0 or -1. */
int Qel_CreateDirectory(const char *path);

/* Text for a fixed buffer. Translated and user texts are UTF-8: a cut in
 * the middle of a character leaves a byte the font draws as a replacement
 * glyph, so these cut before the first character that does not fit whole.
 * Both return the bytes written, less the terminator; size 0 writes
 * nothing. */
size_t vesk_utf8_copy(char *dst, size_t size, const char *src);
size_t vesk_utf8_format(char *dst, size_t size, const char *format, ...) __attribute__((format(printf, 3, 4)));
/* Whole screen coordinates from a float that a frame or a mirror may have
 * filled with anything: converting a NaN or a number outside int's range to
 * int is undefined, so the value is first checked. *out gets v truncated
 * towards zero (vesk_trunc_coord) or rounded to the nearest whole with halves
 * away from zero (vesk_round_coord) and the result is 0 when v is a number
 * within VESK_COORD_LIMIT of 0; otherwise *out gets the nearer limit (the
 * lower one for NaN) and the result is -1. The limit lies far beyond any screen, so a
 * clamped coordinate is always off it. */
#define VESK_COORD_LIMIT 1048576
int vesk_trunc_coord(double v, int *out);
int vesk_round_coord(double v, int *out);
