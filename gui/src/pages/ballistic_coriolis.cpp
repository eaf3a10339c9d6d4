// The Coriolis correction: its switch, the shooter's latitude, and whether
// the compass azimuth is taken as the shooting direction.
#include <stdint.h>

#include "ballistic_rows.h"
#include "navigator.h"
#include "pages.h"
#include "ui_senders.h"
#include "ui_status.h"

typedef enum {
    BALLISTIC_CORIOLIS_SWITCH = 1,
    BALLISTIC_CORIOLIS_LAT,
    BALLISTIC_CORIOLIS_AUTO_ANGLE,
    BALLISTIC_CORIOLIS_MENU_MIN = BALLISTIC_CORIOLIS_SWITCH,
    BALLISTIC_CORIOLIS_MENU_MAX = BALLISTIC_CORIOLIS_AUTO_ANGLE,
} ballistic_coriolis_menu_item_t;

/* Two digits, then the hemisphere: "N" for 0, "S" (south, negative) for 1. */
static digit_param_t PARAM_CORIOLIS_LAT = {BALLISTIC_CORIOLIS_LAT,
                                           3,
                                           2,
                                           0,
                                           true,
                                           true,
                                           true,
                                           -90,
                                           90,
                                           false,
                                           0,
                                           0,
                                           false,
                                           0,
                                           0,
                                           "view_lat_sel",
                                           "view_lat_arrow",
                                           "image_lat_up",
                                           "image_lat_down",
                                           NULL,
                                           {"label_lat_two", "label_lat_one", "label_lat_sign"},
                                           {0, 16, 48},
                                           {0},
                                           {0}};

static void lat_load(int, double *v1, double *) { *v1 = info[0].corioliseffect.lat; }

static int lat_store(int, double v1, double)
{
    info[0].corioliseffect.lat = v1;
    GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_CORIOLIS_INFO, 1);
    return 0;
}

static int coriolis_on(void) { return info[0].corioliseffect.CoriolisEffectSwitch; }

ROW_EDITOR_DECLARE
ROW_EDITOR_NUMBER_KEY(on_key_coriolis_lat, BALLISTIC_CORIOLIS_LAT)
ROW_EDITOR_NUMBER_UI(update_digit_coriolis_item_ui)

static ret_t on_update_coriolis_switch_ui(widget_t *win, int row, int key)
{
    (void)row;
    (void)key;
    row_editor_show_on_off(win, "label_coriolis_sw_state", info[0].corioliseffect.CoriolisEffectSwitch);
    return RET_OK;
}

static ret_t on_key_coriolis_switch(widget_t *win, int key)
{
    if (!row_editor_toggle_key(key)) return RET_OK;
    char *sw = &info[0].corioliseffect.CoriolisEffectSwitch;
    *sw = *sw == 1 ? 0 : 1;
    on_update_coriolis_switch_ui(win, BALLISTIC_CORIOLIS_SWITCH, key);
    row_editor_rehighlight(this_editor(), win);
    GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_CORIOLIS_INFO, 0);
    return RET_OK;
}

static ret_t on_update_auto_angle_ui(widget_t *win, int row, int key)
{
    (void)row;
    (void)key;
    row_editor_show_on_off(win, "label_auto_angle_state", stDevStatus.s8CompassAutoAngleSwitch);
    return RET_OK;
}

static ret_t on_key_auto_angle(widget_t *win, int key)
{
    if (!row_editor_toggle_key(key)) return RET_OK;
    stDevStatus.s8CompassAutoAngleSwitch = stDevStatus.s8CompassAutoAngleSwitch == 0 ? 1 : 0;
    on_update_auto_angle_ui(win, BALLISTIC_CORIOLIS_AUTO_ANGLE, key);
    GUI_SEND_BASIC_FUNCTION_MSG(BASIC_COMPASS_AUTO_ANGLE_SWITCH);
    return RET_OK;
}

static const coriolis_menu_item_config_t s_coriolis_menu_table[] = {
    {BALLISTIC_CORIOLIS_SWITCH, "label_coriolis_switch", "label_coriolis_sw_state", NULL, on_key_coriolis_switch,
     on_update_coriolis_switch_ui, NULL, NULL},
    {BALLISTIC_CORIOLIS_LAT, "label_lat", NULL, &PARAM_CORIOLIS_LAT, on_key_coriolis_lat, update_digit_coriolis_item_ui,
     lat_load, lat_store},
    {BALLISTIC_CORIOLIS_AUTO_ANGLE, "label_auto_angle", "label_auto_angle_state", NULL, on_key_auto_angle,
     on_update_auto_angle_ui, NULL, NULL},
};

static const row_editor_t s_editor = {s_coriolis_menu_table, BALLISTIC_CORIOLIS_MENU_MAX, "ballistic_setting_menu", 5,
                                      coriolis_on};

ROW_EDITOR_HANDLERS(s_editor)

ret_t ballistic_coriolis_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    return row_editor_open(&s_editor, win, BALLISTIC_CORIOLIS_SWITCH, on_key_pressed_event, on_window_close);
}
