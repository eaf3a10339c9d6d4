// The init function of every page the navigator knows: it binds the
// page's handlers to its newly opened window. RET_BAD_PARAMS for a NULL
// window.
#pragma once

#include <stddef.h>

#include "awtk.h"
#include "navigator.h"

/* Every page of the program, in the navigator's lookup order: the table
 * the application hands to the navigator (navigator_set_pages). */
extern const navigator_page_t pages_registry[];
extern const size_t pages_registry_count;

ret_t Boot_logo_init(widget_t *win, void *ctx);
ret_t HDP_Init_init(widget_t *win, void *ctx);
ret_t QZ_home_page_1_init(widget_t *win, void *ctx);
ret_t QZ_shortcut_menu_init(widget_t *win, void *ctx);
ret_t QZ_reticle_zero_init(widget_t *win, void *ctx);
ret_t QZ_reticle_zero_dist_init(widget_t *win, void *ctx);
ret_t QZ_reticle_zero_child_init(widget_t *win, void *ctx);
ret_t QZ_range_move_init(widget_t *win, void *ctx);
ret_t QZ_updata_init(widget_t *win, void *ctx);
ret_t QZ_SHUT_DOWN_init(widget_t *win, void *ctx);
ret_t DataTime_init(widget_t *win, void *ctx);
ret_t Info_menu_init(widget_t *win, void *ctx);
ret_t standby_init(widget_t *win, void *ctx);
ret_t shut_down_low_power_init(widget_t *win, void *ctx);
ret_t shut_down_low_temp_init(widget_t *win, void *ctx);
ret_t ballistic_menu_init(widget_t *win, void *ctx);
ret_t ballistic_quickmenu_init(widget_t *win, void *ctx);
ret_t ballistic_setting_menu_init(widget_t *win, void *ctx);
ret_t ballistic_bullet_init(widget_t *win, void *ctx);
ret_t ballistic_group_info_init(widget_t *win, void *ctx);
ret_t ballistic_coriolis_init(widget_t *win, void *ctx);
ret_t ballistic_weather_init(widget_t *win, void *ctx);
ret_t ballistic_zeroweather_init(widget_t *win, void *ctx);
ret_t bullistic_lens_init(widget_t *win, void *ctx);
ret_t tip_ballistic_init(widget_t *win, void *ctx);
ret_t main_menu_init(widget_t *win, void *ctx);
ret_t setting_menu_init(widget_t *win, void *ctx);
ret_t image_menu_init(widget_t *win, void *ctx);
ret_t reticle_menu_init(widget_t *win, void *ctx);
ret_t rav_menu_init(widget_t *win, void *ctx);
ret_t recoil_menu_init(widget_t *win, void *ctx);
ret_t lrf_menu_init(widget_t *win, void *ctx);
ret_t vesk_lrf_select_init(widget_t *win, void *ctx);
ret_t compass_menu_init(widget_t *win, void *ctx);
ret_t compass_correction_init(widget_t *win, void *ctx);
ret_t compass_level_init(widget_t *win, void *ctx);
ret_t magnetic_declination_init(widget_t *win, void *ctx);
ret_t reticle_move_init(widget_t *win, void *ctx);
ret_t lrf_reticle_move_init(widget_t *win, void *ctx);
ret_t pixel_menu_init(widget_t *win, void *ctx);
ret_t pixel_child_init(widget_t *win, void *ctx);
ret_t file_menu_init(widget_t *win, void *ctx);
ret_t file_image_init(widget_t *win, void *ctx);
ret_t file_video_init(widget_t *win, void *ctx);
ret_t memory_menu_init(widget_t *win, void *ctx);
ret_t memory_format_sel_init(widget_t *win, void *ctx);
ret_t memory_format_restart_init(widget_t *win, void *ctx);
ret_t restore_factory_init(widget_t *win, void *ctx);
ret_t restoring_init(widget_t *win, void *ctx);

/* Set by the bullet page's openers: 1 the ballistic menu, 0 the group
 * information page, to which the page returns. */
extern int32_t ballistic_bullet_enable;
/* The reticle menu's selected row, which the pages it opens set for its
 * return. */
extern int32_t reticle_menu_index;

/* The boot page's 100 ms timer. */
ret_t on_open_home_page(const timer_info_t *timer);
