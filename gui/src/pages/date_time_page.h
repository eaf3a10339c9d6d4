// "DataTime", the scope's clock: year, month, day, hour, minute and second
// stepped with up and down; leaving the page writes the hardware clock and
// the system clock. Its init function DataTime_init is in pages.h.
#pragma once

#include <stdint.h>

/* Days of month in year (February 29 in leap years). */
int vesk_days_in_month(int year, int month);
/* Writes the fields to the hardware clock, then the system clock. */
void save_datetime(void);
