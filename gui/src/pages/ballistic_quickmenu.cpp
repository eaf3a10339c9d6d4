// The values of the shot at hand, opened from the home page: target
// distance, shooting angle, Coriolis azimuth, wind, a link to the weather
// page and OK. Everything here lives in profile 0.
#include <stdint.h>

#include "ballistic_rows.h"
#include "navigator.h"
#include "pages.h"
#include "ui_keys.h"
#include "ui_senders.h"
#include "ui_status.h"

typedef enum {
    BALLISTIC_QUICK_DISTANCE = 1,
    BALLISTIC_QUICK_SHOOTING_ANGLE,
    BALLISTIC_QUICK_CORIOLIS_ANGLE,
    BALLISTIC_QUICK_WIND,
    BALLISTIC_QUICK_WEATHER,
    BALLISTIC_QUICK_CALCULATE,
    BALLISTIC_QUICK_MENU_MIN = BALLISTIC_QUICK_DISTANCE,
    BALLISTIC_QUICK_MENU_MAX = BALLISTIC_QUICK_CALCULATE,
} ballistic_quickmenu_item_t;

static digit_param_t PARAM_DIST = DIGIT_PLAIN(
    BALLISTIC_QUICK_DISTANCE, 5, 4, 1, false, 0, 3000, "dist", "label_dist_unit",
    DIGIT_LIST("label_dist_four", "label_dist_three", "label_dist_two", "label_dist_one", "label_dist_point1"),
    DIGIT_LIST(0, 16, 32, 48, 80));
static digit_param_t PARAM_SHOOTING_ANGLE =
    DIGIT_PLAIN(BALLISTIC_QUICK_SHOOTING_ANGLE, 4, 2, 1, true, -90, 90, "angle", NULL,
                DIGIT_LIST("label_angle_sign", "label_angle_two", "label_angle_one", "label_angle_point1"),
                DIGIT_LIST(0, 16, 32, 64));
static digit_param_t PARAM_CORIOLIS_ANGLE =
    DIGIT_PLAIN(BALLISTIC_QUICK_CORIOLIS_ANGLE, 4, 3, 1, false, 0, 359.9, "coriolis_angle", NULL,
                DIGIT_LIST("label_coriolis_angle_three", "label_coriolis_angle_two", "label_coriolis_angle_one",
                           "label_coriolis_angle_point1"),
                DIGIT_LIST(0, 16, 32, 64));
static digit_param_t PARAM_WIND = BALLISTIC_PARAM_WIND(
    BALLISTIC_QUICK_WIND, 1, false, 0, 359.9,
    DIGIT_LIST("label_winddir_two", "label_winddir_one", "label_windir_point1", "label_windrate_three",
               "label_windrate_two", "label_windrate_one", "label_windrate_point1"),
    DIGIT_LIST(0, 16, 48, 176, 192, 208, 240));

static void coriolis_angle_load(int, double *v1, double *) { *v1 = info[0].corioliseffect.angle; }

/* Stored as committed: the row limits the azimuth to 0 .. 359.9. */
static int coriolis_angle_store(int, double v1, double)
{
    info[0].corioliseffect.angle = v1;
    GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_CORIOLIS_INFO, 2);
    return 0;
}

ROW_EDITOR_DECLARE
ROW_EDITOR_LINK(on_key_nav_weather, "ballistic_weather")
ROW_EDITOR_NUMBER_KEY(on_key_distance, BALLISTIC_QUICK_DISTANCE)
ROW_EDITOR_NUMBER_KEY(on_key_angle, BALLISTIC_QUICK_SHOOTING_ANGLE)
ROW_EDITOR_NUMBER_KEY(on_key_coriolis_angle, BALLISTIC_QUICK_CORIOLIS_ANGLE)
ROW_EDITOR_NUMBER_KEY(on_key_wind, BALLISTIC_QUICK_WIND)
ROW_EDITOR_NUMBER_UI(update_digit_quickmenu_item_ui)

static const quickmenu_item_config_t s_quickmenu_item_table[] = {
    {BALLISTIC_QUICK_DISTANCE, "label_distance", NULL, &PARAM_DIST, on_key_distance, update_digit_quickmenu_item_ui,
     ballistic_distance_load, ballistic_distance_store},
    {BALLISTIC_QUICK_SHOOTING_ANGLE, "label_angle", NULL, &PARAM_SHOOTING_ANGLE, on_key_angle,
     update_digit_quickmenu_item_ui, ballistic_angle_load, ballistic_angle_store},
    {BALLISTIC_QUICK_CORIOLIS_ANGLE, "label_coriolis_angle", NULL, &PARAM_CORIOLIS_ANGLE, on_key_coriolis_angle,
     update_digit_quickmenu_item_ui, coriolis_angle_load, coriolis_angle_store},
    {BALLISTIC_QUICK_WIND, "label_wind", NULL, &PARAM_WIND, on_key_wind, update_digit_quickmenu_item_ui,
     ballistic_wind_load_clock, ballistic_wind_store},
    {BALLISTIC_QUICK_WEATHER, "label_weather", "label_arrow_weather", NULL, on_key_nav_weather, row_editor_draw_nothing,
     NULL, NULL},
    {BALLISTIC_QUICK_CALCULATE, "label_OK", NULL, NULL, row_editor_ok_closes, row_editor_draw_nothing, NULL, NULL},
};

static const row_editor_t s_editor = {s_quickmenu_item_table,   BALLISTIC_QUICK_MENU_MAX, NULL, 0, NULL,
                                      BALLISTIC_QUICK_CALCULATE};

ROW_EDITOR_HANDLERS(s_editor)

ret_t ballistic_quickmenu_init(widget_t *win, void *ctx)
{
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    int row = (intptr_t)ctx == 1 ? BALLISTIC_QUICK_WEATHER : BALLISTIC_QUICK_DISTANCE;
    return row_editor_open(&s_editor, win, row, on_key_pressed_event, on_window_close);
}
