// The wall clock as both programs set it from the calendar fields a person
// or a peer gives (sightui's date page, the PC link, the phone). The system
// clock and the hardware clock hold UTC: both programs read them back with
// gmtime, so fields read in a local zone would move a date by the zone's
// offset every time it is set.
#pragma once

#include <linux/rtc.h>
#include <time.h>

/* The fields (month 1..12, the year in full) as the C library counts them;
 * every other field is 0. */
struct tm vesk_wallclock_fields(int hour, int minute, int second, int year, int month, int day);
/* The same fields as the hardware clock's set-time request takes them. */
struct rtc_time vesk_wallclock_rtc_fields(int hour, int minute, int second, int year, int month, int day);
/* Sets the system clock to the fields read as UTC: 0, or -1 (said on
 * standard output) when they name no time or the clock refuses it. */
int vesk_wallclock_set_system(int hour, int minute, int second, int year, int month, int day);
