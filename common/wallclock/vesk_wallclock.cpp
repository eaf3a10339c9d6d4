#include "vesk_wallclock.h"

#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/time.h>

#include "vesk_board.h"

/* The RTC's record is the first nine fields of struct tm, in its order. */
static_assert(sizeof(struct rtc_time) == 9 * sizeof(int) && offsetof(struct tm, tm_isdst) == 8 * sizeof(int),
              "rtc_time matches the head of struct tm");

struct tm vesk_wallclock_fields(int hour, int minute, int second, int year, int month, int day)
{
    struct tm tm;
    memset(&tm, 0, sizeof tm);
    tm.tm_sec = second;
    tm.tm_min = minute;
    tm.tm_hour = hour;
    tm.tm_mday = day;
    tm.tm_mon = month - 1;
    tm.tm_year = year - 1900;
    return tm;
}

struct rtc_time vesk_wallclock_rtc_fields(int hour, int minute, int second, int year, int month, int day)
{
    struct tm fields = vesk_wallclock_fields(hour, minute, second, year, month, day);
    struct rtc_time rtc;
    memcpy(&rtc, &fields, sizeof rtc);
    return rtc;
}

int vesk_wallclock_set_system(int hour, int minute, int second, int year, int month, int day)
{
    struct tm tm = vesk_wallclock_fields(hour, minute, second, year, month, day);
    struct timeval tv;
    tv.tv_sec = timegm(&tm);
    tv.tv_usec = 0;
    if (tv.tv_sec == (time_t)-1 || vesk_board_settimeofday(&tv) != 0) {
        printf("settimeofday failed\n");
        return -1;
    }
    return 0;
}
