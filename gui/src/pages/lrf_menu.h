// "lrf_menu", the rangefinder's settings (target mode, processing, minimum
// and maximum distance, stepped by 10 m or typed digit by digit), and
// "vesk_lrf_select", the choice among the distances of a multi-target
// measurement. Both show sightd's values as its reports give them and send
// every change; sightd stores them.
#pragma once

#include <stdint.h>

/* The selected row of the rangefinder menu, 1-based. */
extern int32_t lrf_menu_index;

enum {
    VESK_LRF_ROW_TARGET = 1,
    VESK_LRF_ROW_PROCESSING = 2,
    VESK_LRF_ROW_MIN = 3,
    VESK_LRF_ROW_MAX = 4,
};

/* The minimum or maximum bound brought into range: the minimum into
 * [10, maximum or 20000], the maximum into [minimum or 10, 20000]. */
int vesk_lrf_clamp_bound(int is_min, int value);
