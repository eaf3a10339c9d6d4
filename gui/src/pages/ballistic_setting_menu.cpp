// The switches of the ballistic feature: ballistics, ballistic reticle
// type and colour, spin drift, the dynamic ballistic coefficient, the link
// to the Coriolis page, and OK.
#include <stdint.h>

#include "ballistic_rows.h"
#include "navigator.h"
#include "pages.h"
#include "ui_events.h"
#include "ui_keys.h"
#include "ui_senders.h"
#include "ui_status.h"
#include "vesk_dynamic_bc_gui.h"
#include "vesk_page.h"

typedef enum {
    BALLISTIC_SETTING_SWITCH = 1,
    BALLISTIC_SETTING_RETICLE_TYPE,
    BALLISTIC_SETTING_RETICLE_COLOR,
    BALLISTIC_SETTING_SPIN_DRIFT,
    VESK_BALLISTIC_SETTING_DYNAMIC_BC,
    BALLISTIC_SETTING_CORIOLIS,
    BALLISTIC_SETTING_CALCULATE,
    BALLISTIC_SETTING_MENU_MIN = BALLISTIC_SETTING_SWITCH,
    BALLISTIC_SETTING_MENU_MAX = BALLISTIC_SETTING_CALCULATE,
} ballistic_setting_menu_item_t;

ROW_EDITOR_DECLARE
ROW_EDITOR_LINK(on_key_coriolis, "ballistic_coriolis")
BALLISTIC_SWITCH_RETICLE_ROWS

static ret_t on_update_spin_drift_ui(widget_t *win, int row, int key)
{
    (void)row;
    (void)key;
    row_editor_show_on_off(win, "label_spin_drift_state", info[0].spinDriftOpt);
    return RET_OK;
}

static ret_t on_key_spin_drift(widget_t *win, int key)
{
    if (!row_editor_toggle_key(key)) return RET_OK;
    info[0].spinDriftOpt = info[0].spinDriftOpt == 1 ? 0 : 1;
    on_update_spin_drift_ui(win, BALLISTIC_SETTING_SPIN_DRIFT, key);
    GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_SPINDRIFT_INFO, 0);
    return RET_OK;
}

static ret_t on_update_dynamic_bc_ui(widget_t *win, int row, int key)
{
    (void)row;
    (void)key;
    int value = vesk_dynamic_bc_gui_value();
    if (value < 0)
        row_editor_set_text(win, "vesk_label_dynamic_bc_value", "\xE2\x80\x94");
    else if (!vesk_dynamic_bc_gui_supported())
        row_editor_set_tr_text(win, "vesk_label_dynamic_bc_value", "vesk_dynamic_bc_unavailable");
    else
        row_editor_show_on_off(win, "vesk_label_dynamic_bc_value", value);
    return RET_OK;
}

/* The row changes when sightd's reply raises 8192 + 77, not on the key. */
static ret_t on_key_dynamic_bc(widget_t *win, int key)
{
    (void)win;
    int value = vesk_dynamic_bc_gui_value();
    if (!row_editor_toggle_key(key) || value < 0 || !vesk_dynamic_bc_gui_supported()) return RET_OK;
    vesk_dynamic_bc_gui_request(value == 1 ? 0 : 1);
    return RET_OK;
}

static ret_t on_vesk_dynamic_bc_changed_event(void *ctx, event_t *e)
{
    (void)e;
    on_update_dynamic_bc_ui(WIDGET(ctx), VESK_BALLISTIC_SETTING_DYNAMIC_BC, DIGIT_KEY_NONE);
    return RET_OK;
}

static const setting_menu_item_config_t s_setting_menu_table[] = {
    BALLISTIC_SWITCH_RETICLE_ITEMS(BALLISTIC_SETTING_SWITCH, BALLISTIC_SETTING_RETICLE_TYPE,
                                   BALLISTIC_SETTING_RETICLE_COLOR),
    {BALLISTIC_SETTING_SPIN_DRIFT, "label_spin_drift", "label_spin_drift_state", NULL, on_key_spin_drift,
     on_update_spin_drift_ui, NULL, NULL},
    {VESK_BALLISTIC_SETTING_DYNAMIC_BC, "vesk_label_dynamic_bc", "vesk_label_dynamic_bc_value", NULL, on_key_dynamic_bc,
     on_update_dynamic_bc_ui, NULL, NULL},
    {BALLISTIC_SETTING_CORIOLIS, "label_coriolis", "label_arrow_coriolis", NULL, on_key_coriolis,
     row_editor_draw_nothing, NULL, NULL},
    {BALLISTIC_SETTING_CALCULATE, "label_OK", NULL, NULL, row_editor_ok_closes, row_editor_draw_nothing, NULL, NULL},
};

static const row_editor_t s_editor = {
    s_setting_menu_table, BALLISTIC_SETTING_MENU_MAX,  NULL, 0,
    ballistic_switch_on,  BALLISTIC_SETTING_CALCULATE, 0,    ballistic_reticle_images};

ROW_EDITOR_HANDLERS(s_editor)

ret_t ballistic_setting_menu_init(widget_t *win, void *ctx)
{
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    int row = (intptr_t)ctx == 5 ? BALLISTIC_SETTING_CORIOLIS : BALLISTIC_SETTING_SWITCH;
    ret_t ret = row_editor_open(&s_editor, win, row, on_key_pressed_event, on_window_close);
    if (ret != RET_OK) return ret;
    static const int events[] = {UI_EV_DYNAMIC_BC};
    vesk_page_subscribe(win, events, 1, on_vesk_dynamic_bc_changed_event);
    vesk_dynamic_bc_gui_request(255);
    return RET_OK;
}
