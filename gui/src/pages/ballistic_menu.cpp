// The full profile editor: ballistics switch, ballistic reticle, target
// distance, sight height, shooting angle, wind, zero distance, the links to
// the weather, bullet, zeroing-weather and offset-unit pages, and OK.
#include <stdint.h>

#include "ballistic_limits.h"
#include "ballistic_rows.h"
#include "navigator.h"
#include "pages.h"
#include "ui_keys.h"
#include "ui_senders.h"
#include "ui_status.h"

typedef enum {
    BALLISTIC_MENU_SWITCH = 1,
    BALLISTIC_MENU_RETICLE_TYPE,
    BALLISTIC_MENU_RETICLE_COLOR,
    BALLISTIC_MENU_DISTANCE,
    BALLISTIC_MENU_SCOPE_HEIGHT,
    BALLISTIC_MENU_SHOOTING_ANGLE,
    BALLISTIC_MENU_WIND,
    BALLISTIC_MENU_WEATHER,
    BALLISTIC_MENU_ZERO_DISTANCE,
    BALLISTIC_MENU_BULLET,
    BALLISTIC_MENU_ZERO_WEATHER,
    BALLISTIC_MENU_LENS,
    BALLISTIC_MENU_CALCULATE,
    BALLISTIC_MENU_MIN = BALLISTIC_MENU_SWITCH,
    BALLISTIC_MENU_MAX = BALLISTIC_MENU_CALCULATE,
} ballistic_menu_item_t;

static digit_param_t PARAM_DIST = DIGIT_PLAIN(
    BALLISTIC_MENU_DISTANCE, 4, 4, 0, false, 0, 3000, "dist", "label_dist_unit",
    DIGIT_LIST("label_dist_four", "label_dist_three", "label_dist_two", "label_dist_one"), DIGIT_LIST(0, 16, 32, 48));
/* The hundreds digit starts the number's box like every other row's first
 * digit: a position left of the box would be clipped away with its cursor. */
static digit_param_t PARAM_SCOPE_HEIGHT = DIGIT_PLAIN(
    BALLISTIC_MENU_SCOPE_HEIGHT, 5, 3, 2, false, 0, 250, "scope", NULL,
    DIGIT_LIST("label_scope_three", "label_scope_two", "label_scope_one", "label_scope_point1", "label_scope_point2"),
    DIGIT_LIST(0, 16, 32, 64, 80));
static digit_param_t PARAM_SHOOTING_ANGLE =
    DIGIT_PLAIN(BALLISTIC_MENU_SHOOTING_ANGLE, 3, 2, 0, true, -90, 90, "angle", NULL,
                DIGIT_LIST("label_angle_sign", "label_angle_two", "label_angle_one"), DIGIT_LIST(0, 16, 32));
static digit_param_t PARAM_WIND = BALLISTIC_PARAM_WIND(
    BALLISTIC_MENU_WIND, 0, true, -180, 180,
    DIGIT_LIST("label_winddir_two", "label_winddir_one", "label_windir_point1", "label_windrate_sign",
               "label_windrate_three", "label_windrate_two", "label_windrate_one"),
    DIGIT_LIST(0, 16, 48, 176, 192, 208, 224));
static digit_param_t PARAM_ZERO_DIST = DIGIT_PLAIN(
    BALLISTIC_MENU_ZERO_DISTANCE, 4, 4, 0, false, 11, 1500, "zero_dist", "label_zero_dist_unit",
    DIGIT_LIST("label_zero_dist_four", "label_zero_dist_three", "label_zero_dist_two", "label_zero_dist_one"),
    DIGIT_LIST(0, 16, 32, 48));

/* ---- zero distance, current group ---- */

static void zero_distance_load(int, double *v1, double *)
{
    const Info_scope *s = &ui_current_profile()->gun.scope;
    *v1 = stDevStatus.s8DistanceUint != 0 ? s->zeroRange_yard : s->zeroRange;
}

static int zero_distance_store(int, double v1, double)
{
    Info_ballistics *p = row_editor_group_profile();
    if (p == NULL) return -1;
    Info_scope *s = &p->gun.scope;
    ballistic_store_distance(v1, &s->zeroRange, &s->zeroRange_yard);
    /* 11 yd is 10 m: sightd would not keep a zero that close. */
    s->zeroRange = (short)ui_limit(UI_LIMIT_ZERO_RANGE, s->zeroRange);
    GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_LENS_INFO, 1);
    return 0;
}

/* ---- handlers ---- */

ROW_EDITOR_DECLARE
ROW_EDITOR_LINK(on_key_nav_lens, "bullistic_lens")
ROW_EDITOR_LINK(on_key_nav_zero_weather, "ballistic_zeroweather")
ROW_EDITOR_LINK(on_key_nav_weather, "ballistic_weather")
BALLISTIC_SWITCH_RETICLE_ROWS
ROW_EDITOR_NUMBER_KEY(on_key_distance, BALLISTIC_MENU_DISTANCE)
ROW_EDITOR_NUMBER_KEY(on_key_scope, BALLISTIC_MENU_SCOPE_HEIGHT)
ROW_EDITOR_NUMBER_KEY(on_key_angle, BALLISTIC_MENU_SHOOTING_ANGLE)
ROW_EDITOR_NUMBER_KEY(on_key_wind, BALLISTIC_MENU_WIND)
ROW_EDITOR_NUMBER_KEY(on_key_zero_distance, BALLISTIC_MENU_ZERO_DISTANCE)
ROW_EDITOR_NUMBER_UI(update_digit_menu_item_ui)

static ret_t on_key_nav_bullet(widget_t *win, int key)
{
    (void)win;
    ballistic_bullet_link(key, 1);
    return RET_OK;
}

static ret_t on_key_execute_calc(widget_t *win, int key)
{
    (void)win;
    if (key != GUI_KEY_MID_S) return RET_OK;
    GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_OPEN_CALCU, 1);
    navigator_back();
    return RET_OK;
}

static const menu_item_config_t s_menu_item_table[] = {
    BALLISTIC_SWITCH_RETICLE_ITEMS(BALLISTIC_MENU_SWITCH, BALLISTIC_MENU_RETICLE_TYPE, BALLISTIC_MENU_RETICLE_COLOR),
    {BALLISTIC_MENU_DISTANCE, "label_distance", NULL, &PARAM_DIST, on_key_distance, update_digit_menu_item_ui,
     ballistic_distance_load, ballistic_distance_store},
    {BALLISTIC_MENU_SCOPE_HEIGHT, "label_scope", NULL, &PARAM_SCOPE_HEIGHT, on_key_scope, update_digit_menu_item_ui,
     ballistic_sight_height_load, ballistic_sight_height_store},
    {BALLISTIC_MENU_SHOOTING_ANGLE, "label_angle", NULL, &PARAM_SHOOTING_ANGLE, on_key_angle, update_digit_menu_item_ui,
     ballistic_angle_load, ballistic_angle_store},
    {BALLISTIC_MENU_WIND, "label_wind", NULL, &PARAM_WIND, on_key_wind, update_digit_menu_item_ui,
     ballistic_wind_load_signed, ballistic_wind_store},
    {BALLISTIC_MENU_WEATHER, "label_weather", "label_arrow_weather", NULL, on_key_nav_weather, row_editor_draw_nothing,
     NULL, NULL},
    {BALLISTIC_MENU_ZERO_DISTANCE, "label_zero_distance", NULL, &PARAM_ZERO_DIST, on_key_zero_distance,
     update_digit_menu_item_ui, zero_distance_load, zero_distance_store},
    {BALLISTIC_MENU_BULLET, "label_bullet", "label_arrow_bullet", NULL, on_key_nav_bullet, row_editor_draw_nothing,
     NULL, NULL},
    {BALLISTIC_MENU_ZERO_WEATHER, "label_zero_weather", "label_arrow_zero_weather", NULL, on_key_nav_zero_weather,
     row_editor_draw_nothing, NULL, NULL},
    {BALLISTIC_MENU_LENS, "label_lens", "label_arrow_lens", NULL, on_key_nav_lens, row_editor_draw_nothing, NULL, NULL},
    {BALLISTIC_MENU_CALCULATE, "label_OK", NULL, NULL, on_key_execute_calc, row_editor_draw_nothing, NULL, NULL},
};

static const row_editor_t s_editor = {s_menu_item_table,
                                      BALLISTIC_MENU_MAX,
                                      NULL,
                                      0,
                                      ballistic_switch_on,
                                      BALLISTIC_MENU_CALCULATE,
                                      ROW_EDITOR_DOT_COMMITS_ONLY | ROW_EDITOR_NO_SAVE,
                                      ballistic_reticle_images};

ROW_EDITOR_HANDLERS(s_editor)

ret_t ballistic_menu_init(widget_t *win, void *ctx)
{
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    static const int rows[] = {BALLISTIC_MENU_WEATHER, BALLISTIC_MENU_BULLET, BALLISTIC_MENU_ZERO_WEATHER,
                               BALLISTIC_MENU_LENS};
    intptr_t c = (intptr_t)ctx;
    int row = c >= 1 && c <= 4 ? rows[c - 1] : BALLISTIC_MENU_SWITCH;
    return row_editor_open(&s_editor, win, row, on_key_pressed_event, on_window_close);
}
