// Rows that several ballistic editors share: the ballistics switch and the
// ballistic reticle (ballistic menu, settings menu), the target distance,
// shooting angle and wind (ballistic menu, quick menu), sight height
// (ballistic menu, group information), the link to the bullet page (the
// same two), the metre and yard store of a distance, and the weather number
// layouts (weather and zeroing-weather pages). Each stores into the record
// the ballistic-parameter sender reads, within sightd's limits, and sends.
#pragma once

#include "digit_editor.h"

/* Profile 0's ballistics switch: the master switch of two pages. */
int ballistic_switch_on(void);

/* Ballistics switch row: toggles, shows ON/OFF, redraws the highlight,
 * sends (0, 0). */
void ballistic_switch_key(const row_editor_t *page, widget_t *win, int key);
void ballistic_switch_draw(widget_t *win);
/* Rows 1 to 3 of the ballistic menu and the settings menu: the handlers of
 * the switch, reticle type and reticle colour rows of the page (after its
 * ROW_EDITOR_DECLARE). */
#define BALLISTIC_SWITCH_RETICLE_ROWS                                                                                  \
    static ret_t on_key_switch(widget_t *win, int key)                                                                 \
    {                                                                                                                  \
        ballistic_switch_key(this_editor(), win, key);                                                                 \
        return RET_OK;                                                                                                 \
    }                                                                                                                  \
    static ret_t on_update_switch_ui(widget_t *win, int row, int key)                                                  \
    {                                                                                                                  \
        (void)row;                                                                                                     \
        (void)key;                                                                                                     \
        ballistic_switch_draw(win);                                                                                    \
        return RET_OK;                                                                                                 \
    }                                                                                                                  \
    static ret_t on_key_reticle(widget_t *win, int key)                                                                \
    {                                                                                                                  \
        ballistic_reticle_key(win, row_editor_current_row(win), key);                                                  \
        return RET_OK;                                                                                                 \
    }                                                                                                                  \
    static ret_t on_key_color(widget_t *win, int key)                                                                  \
    {                                                                                                                  \
        ballistic_color_key(win, row_editor_current_row(win), key);                                                    \
        return RET_OK;                                                                                                 \
    }                                                                                                                  \
    static ret_t on_update_reticle_ui(widget_t *win, int row, int key)                                                 \
    {                                                                                                                  \
        (void)row;                                                                                                     \
        (void)key;                                                                                                     \
        ballistic_reticle_images(win, row_editor_current_row(win));                                                    \
        return RET_OK;                                                                                                 \
    }
/* Their three records in the page's table. */
// clang-format off
#define BALLISTIC_SWITCH_RETICLE_ITEMS(switch_row, type_row, color_row)                                                \
    {switch_row, "label_ballistic_switch", "label_ballistic_sw_state", NULL, on_key_switch, on_update_switch_ui,       \
     NULL, NULL},                                                                                                      \
    {type_row, "label_type", NULL, NULL, on_key_reticle, on_update_reticle_ui, NULL, NULL},                            \
    {color_row, "label_color", NULL, NULL, on_key_color, on_update_reticle_ui, NULL, NULL}
// clang-format on

/* The bullet page's row on the ballistic menu and the group-information
 * page: ',' or ']' opens the bullet page in the opener's place, telling it
 * whether to return to the ballistic menu (1) or the group page (0). */
void ballistic_bullet_link(int key, int32_t return_to_menu);

/* Reticle type and colour rows: cycle, send (0, 2) / (0, 3), redraw. */
void ballistic_reticle_key(widget_t *win, int current_row, int key);
void ballistic_color_key(widget_t *win, int current_row, int key);
/* The two reticle images, "sel" on the current row while ballistics are on. */
void ballistic_reticle_images(widget_t *win, int current_row);

/* A distance typed in the unit shown, stored in both units: the other one
 * converted, each truncated toward zero into its 16-bit field. */
void ballistic_store_distance(double typed, short *metres, short *yards);
/* Target distance in the unit shown, tenths stored: (7, 0). */
void ballistic_distance_load(int row, double *v1, double *v2);
int ballistic_distance_store(int row, double v1, double v2);
/* Shooting angle: (7, 1). */
void ballistic_angle_load(int row, double *v1, double *v2);
int ballistic_angle_store(int row, double v1, double v2);
/* Wind speed and direction: (6, 0) then (6, 1). The direction is kept as
 * a clock direction 0 .. 359.9 whichever page typed it; the ballistic menu
 * shows it signed, -180 .. 179. */
void ballistic_wind_load_signed(int row, double *speed, double *angle);
void ballistic_wind_load_clock(int row, double *speed, double *angle);
int ballistic_wind_store(int row, double speed, double angle);
/* Sight height of the current group: (5, 0). */
void ballistic_sight_height_load(int row, double *v1, double *v2);
int ballistic_sight_height_store(int row, double v1, double v2);

/* The weather number layouts, one copy per page: temperature, pressure
 * and humidity with the widget stems temp, press and humi. */
#define BALLISTIC_PARAM_TEMP(row)                                                                                      \
    DIGIT_PLAIN(row, 3, 2, 0, true, -40, 50, "temp", NULL,                                                             \
                DIGIT_LIST("label_temp_sign", "label_temp_two", "label_temp_one"), DIGIT_LIST(0, 16, 32))
#define BALLISTIC_PARAM_PRESS(row)                                                                                     \
    DIGIT_PLAIN(row, 4, 3, 1, false, 225.0, 825.1, "press", NULL,                                                      \
                DIGIT_LIST("label_press_three", "label_press_two", "label_press_one", "label_press_point1"),           \
                DIGIT_LIST(0, 16, 32, 64))
#define BALLISTIC_PARAM_HUMI(row)                                                                                      \
    DIGIT_PLAIN(row, 2, 2, 0, false, 0, 99, "humi", NULL, DIGIT_LIST("label_humi_two", "label_humi_one"),              \
                DIGIT_LIST(16, 32))

/* The wind row of the two menus: the speed, 0 .. 30 with a tenth, then
 * the direction in three digits; the direction's fraction, sign and
 * limits, its labels and the offsets are the page's. */
#define BALLISTIC_PARAM_WIND(row, frac2, sign2, lo2, hi2, labels, offsets)                                             \
    {                                                                                                                  \
        row, 7, 2, 1, false, false, false, 0, 30, true, 3, frac2, sign2, lo2, hi2, "view_wind_sel", "view_wind_arrow", \
            "image_wind_up", "image_wind_down", NULL, labels, offsets, {0},                                            \
        {                                                                                                              \
            0                                                                                                          \
        }                                                                                                              \
    }
