// "setting_menu", the device-wide settings: video output, automatic shutter,
// microphone, strong-light protection, date and time, factory reset,
// language, information, storage format, rangefinder and debug mode. The
// pages its link rows open come back with their row number as context.
#pragma once

#include <stdint.h>

/* The selected row, 1-based. */
extern uint8_t setting_menu_index;

/* Rows that the pages they open return to. */
enum {
    SETTING_ROW_DATE_TIME = 5,
    SETTING_ROW_RESET = 6,
    SETTING_ROW_INFO = 8,
    SETTING_ROW_FORMAT = 9,
    SETTING_ROW_LRF = 10,
};

/* Next automatic shutter interval (minutes, steps of 5 over 0..30) after
 * key: a stored value off the steps is rounded down to one first. */
int setting_auto_shutter_step(uint8_t stored, uint32_t key);
