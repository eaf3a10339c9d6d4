// The two weather editors: the shooting weather of profile 0, common to
// every group, and the weather the current group was zeroed at, with the
// switch that says whether that weather is used.
#include <stdint.h>

#include "ballistic_limits.h"
#include "ballistic_rows.h"
#include "navigator.h"
#include "pages.h"
#include "ui_senders.h"
#include "ui_status.h"

/* The fields are floats: a commit stores a float and the draft is rebuilt
 * from it. */
static float *weather_field(Info_atmosphere *a, int which)
{
    return which == 0 ? &a->temperature : which == 1 ? &a->barometer : &a->relative_humidity;
}

static const ui_limit_field weather_limits[] = {UI_LIMIT_TEMPERATURE, UI_LIMIT_BAROMETER, UI_LIMIT_HUMIDITY};

/* The record a page edits: profile 0's shooting weather, or the zeroing
 * weather of the current group, which is refused (NULL) for storing while
 * the group is not one of the six. */
static Info_atmosphere *shooting_weather(bool for_store)
{
    (void)for_store;
    return &info[0].atmosphere;
}

static Info_atmosphere *zeroing_weather(bool for_store)
{
    if (!for_store) return &ui_current_profile()->gun.bullet.atmosphere;
    Info_ballistics *p = row_editor_group_profile();
    return p != NULL ? &p->gun.bullet.atmosphere : NULL;
}

/* Field which (0 temperature, 1 pressure, 2 humidity) of a page's record,
 * sent as (index, sub). */
static int store_weather(Info_atmosphere *a, int which, double v, int index, int sub)
{
    if (a == NULL) return -1;
    *weather_field(a, which) = (float)ui_limit(weather_limits[which], v);
    GUI_SEND_BALLISTIC_PARM_MSG(index, sub);
    return 0;
}

/* ======== shooting weather ("ballistic_weather") ======== */

typedef enum {
    BALLISTIC_WEATHER_TEMP = 1,
    BALLISTIC_WEATHER_PRESS,
    BALLISTIC_WEATHER_HUMI,
    BALLISTIC_WEATHER_MENU_MIN = BALLISTIC_WEATHER_TEMP,
    BALLISTIC_WEATHER_MENU_MAX = BALLISTIC_WEATHER_HUMI,
} ballistic_weather_menu_item_t;

namespace weather_page {

static digit_param_t PARAM_TEMP = BALLISTIC_PARAM_TEMP(BALLISTIC_WEATHER_TEMP);
static digit_param_t PARAM_PRESS = BALLISTIC_PARAM_PRESS(BALLISTIC_WEATHER_PRESS);
static digit_param_t PARAM_HUMI = BALLISTIC_PARAM_HUMI(BALLISTIC_WEATHER_HUMI);

/* Rows 1 to 3 are the fields 0 to 2, items 0 to 2 of the weather section. */
static void number_load(int row, double *v1, double *)
{
    *v1 = *weather_field(shooting_weather(false), row - BALLISTIC_WEATHER_TEMP);
}

static int number_store(int row, double v1, double)
{
    int which = row - BALLISTIC_WEATHER_TEMP;
    return store_weather(shooting_weather(true), which, v1, BALLISTIC_WEATHER, which);
}

ROW_EDITOR_DECLARE
ROW_EDITOR_NUMBER_KEY(on_key_temp, BALLISTIC_WEATHER_TEMP)
ROW_EDITOR_NUMBER_KEY(on_key_press, BALLISTIC_WEATHER_PRESS)
ROW_EDITOR_NUMBER_KEY(on_key_humi, BALLISTIC_WEATHER_HUMI)
ROW_EDITOR_NUMBER_UI(update_digit_weather_item_ui)

static const weather_menu_item_config_t s_weather_menu_table[] = {
    {BALLISTIC_WEATHER_TEMP, "label_temp", NULL, &PARAM_TEMP, on_key_temp, update_digit_weather_item_ui, number_load,
     number_store},
    {BALLISTIC_WEATHER_PRESS, "label_press", NULL, &PARAM_PRESS, on_key_press, update_digit_weather_item_ui,
     number_load, number_store},
    {BALLISTIC_WEATHER_HUMI, "label_humi", NULL, &PARAM_HUMI, on_key_humi, update_digit_weather_item_ui, number_load,
     number_store},
};

static const row_editor_t s_editor = {s_weather_menu_table, BALLISTIC_WEATHER_MENU_MAX, "ballistic_quickmenu", 1};

ROW_EDITOR_HANDLERS(s_editor)

} // namespace weather_page

ret_t ballistic_weather_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    return row_editor_open(&weather_page::s_editor, win, BALLISTIC_WEATHER_TEMP, weather_page::on_key_pressed_event,
                           weather_page::on_window_close);
}

/* ======== zeroing weather ("ballistic_zeroweather") ======== */

typedef enum {
    BALLISTIC_ZEROWEATHER_SWITCH = 1,
    BALLISTIC_ZEROWEATHER_TEMP,
    BALLISTIC_ZEROWEATHER_PRESS,
    BALLISTIC_ZEROWEATHER_HUMI,
    BALLISTIC_ZEROWEATHER_MENU_MIN = BALLISTIC_ZEROWEATHER_SWITCH,
    BALLISTIC_ZEROWEATHER_MENU_MAX = BALLISTIC_ZEROWEATHER_HUMI,
} ballistic_zeroweather_menu_item_t;

namespace zeroweather_page {

static digit_param_t PARAM_TEMP = BALLISTIC_PARAM_TEMP(BALLISTIC_ZEROWEATHER_TEMP);
static digit_param_t PARAM_PRESS = BALLISTIC_PARAM_PRESS(BALLISTIC_ZEROWEATHER_PRESS);
static digit_param_t PARAM_HUMI = BALLISTIC_PARAM_HUMI(BALLISTIC_ZEROWEATHER_HUMI);

/* Rows 2 to 4 are the fields 0 to 2, items 1 to 3 of section 3 (item 0 is
 * the switch). */
static void number_load(int row, double *v1, double *)
{
    *v1 = *weather_field(zeroing_weather(false), row - BALLISTIC_ZEROWEATHER_TEMP);
}

static int number_store(int row, double v1, double)
{
    int which = row - BALLISTIC_ZEROWEATHER_TEMP;
    return store_weather(zeroing_weather(true), which, v1, BALLISTIC_ZEROWEATHER_LENSOFFSET, which + 1);
}

static int zeroweather_on(void) { return ui_current_profile()->gun.bullet.isOpenAtmosphere; }

ROW_EDITOR_DECLARE
ROW_EDITOR_NUMBER_KEY(on_key_zeroweather_temp, BALLISTIC_ZEROWEATHER_TEMP)
ROW_EDITOR_NUMBER_KEY(on_key_zeroweather_press, BALLISTIC_ZEROWEATHER_PRESS)
ROW_EDITOR_NUMBER_KEY(on_key_zeroweather_humi, BALLISTIC_ZEROWEATHER_HUMI)
ROW_EDITOR_NUMBER_UI(update_digit_zeroweather_item_ui)

static ret_t on_update_zeroweather_switch_ui(widget_t *win, int row, int key)
{
    (void)row;
    (void)key;
    row_editor_show_on_off(win, "label_weather_switch_value", ui_current_profile()->gun.bullet.isOpenAtmosphere);
    return RET_OK;
}

static ret_t on_key_zeroweather_switch(widget_t *win, int key)
{
    if (!row_editor_toggle_key(key)) return RET_OK;
    Info_ballistics *p = row_editor_group_profile();
    if (p == NULL) return RET_OK;
    p->gun.bullet.isOpenAtmosphere = p->gun.bullet.isOpenAtmosphere == 1 ? 0 : 1;
    on_update_zeroweather_switch_ui(win, BALLISTIC_ZEROWEATHER_SWITCH, key);
    row_editor_rehighlight(this_editor(), win);
    GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_ZEROWEATHER_LENSOFFSET, 0);
    return RET_OK;
}

static const zeroweather_menu_item_config_t s_zeroweather_menu_table[] = {
    {BALLISTIC_ZEROWEATHER_SWITCH, "label_weather_switch", "label_weather_switch_value", NULL,
     on_key_zeroweather_switch, on_update_zeroweather_switch_ui, NULL, NULL},
    {BALLISTIC_ZEROWEATHER_TEMP, "label_temp", NULL, &PARAM_TEMP, on_key_zeroweather_temp,
     update_digit_zeroweather_item_ui, number_load, number_store},
    {BALLISTIC_ZEROWEATHER_PRESS, "label_press", NULL, &PARAM_PRESS, on_key_zeroweather_press,
     update_digit_zeroweather_item_ui, number_load, number_store},
    {BALLISTIC_ZEROWEATHER_HUMI, "label_humi", NULL, &PARAM_HUMI, on_key_zeroweather_humi,
     update_digit_zeroweather_item_ui, number_load, number_store},
};

static const row_editor_t s_editor = {s_zeroweather_menu_table, BALLISTIC_ZEROWEATHER_MENU_MAX, "ballistic_group_info",
                                      3, zeroweather_on};

ROW_EDITOR_HANDLERS(s_editor)

} // namespace zeroweather_page

ret_t ballistic_zeroweather_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    return row_editor_open(&zeroweather_page::s_editor, win, BALLISTIC_ZEROWEATHER_SWITCH,
                           zeroweather_page::on_key_pressed_event, zeroweather_page::on_window_close);
}
