// What the home page lays over the picture for a while: the recording
// and ranging-refused tips, and the banners of the power lifecycle with
// the recovery state they may bring.
#include "home_page_internal.h"
#include "navigator.h"
#include "ui_status.h"
#include "vesk_page.h"

#define HOME_BATTERY_NO_RANGE 568
#define HOME_TIP_MS 2000
#define HOME_BANNER_MS 5000

/* Windows that handle a lifecycle outcome themselves. */
static const char *const vesk_recovery_aware_windows[] = {
    "QZ_SHUT_DOWN", "restoring",           "memory_format_restart", "QZ_format_restart",
    "QZ_updata",    "shut_down_low_power", "shut_down_low_temp",    "Boot_logo",
};

/* ---- tips ---- */

/* Each tip hides when its timer fires; the timer's id lives in its own
 * slot of the page's state. */
static const struct {
    const char *widget;
    uint32_t home_state_t::*timer_id;
} s_tips[] = {
    {"label_image_correct_tips", &home_state_t::bg_image_reset_timer_id},
    {"view_bright_progress_bar", &home_state_t::bright_progress_reset_timer_id},
    {"image_photo", &home_state_t::photo_timer_id},
    {"view_tip_record", &home_state_t::timer_id_record_1},
    {"view_tip_forbid_range", &home_state_t::timer_id_range_2},
};

static ret_t on_tip_timer(const timer_info_t *timer)
{
    widget_t *win = WIDGET(timer->ctx);
    home_state_t *home = home_state_of(win);
    if (home == NULL) return RET_REMOVE;
    for (size_t i = 0; i < ARRAY_SIZE(s_tips); i++) {
        uint32_t *id = &(home->*s_tips[i].timer_id);
        if (*id == timer->id) {
            *id = TK_INVALID_ID;
            home_set_visible(win, s_tips[i].widget, FALSE);
        }
    }
    return RET_REMOVE;
}

void home_show_tip(home_state_t *home, home_tip_t tip, uint32_t ms, bool_t restart)
{
    uint32_t *id = &(home->*s_tips[tip].timer_id);
    if (restart) home_remove_window_timer(home->win, id);
    home_set_visible(home->win, s_tips[tip].widget, TRUE);
    if (*id == TK_INVALID_ID) *id = widget_add_timer(home->win, on_tip_timer, ms);
}

void home_show_record_tip(home_state_t *home) { home_show_tip(home, HOME_TIP_RECORD, HOME_TIP_MS, FALSE); }

void home_redraw_laser_switch(home_state_t *home)
{
    if (stUIStatus.s16BatteryValue <= HOME_BATTERY_NO_RANGE && stUIStatus.s8BatteryType == 0 &&
        home->timer_id_range_2 == TK_INVALID_ID)
        home_show_tip(home, HOME_TIP_FORBID_RANGE, HOME_TIP_MS, FALSE);
    home_set_visible(home->win, "image_reticle_laser", stUIStatus.s8LaserSwitch != 0);
}

/* ---- lifecycle banners ---- */

static ret_t on_banner_timer(const timer_info_t *timer)
{
    widget_t *win = WIDGET(timer->ctx);
    home_state_t *home = home_state_of(win);
    if (home != NULL) home->vesk_save_error_timer_id = TK_INVALID_ID;
    if (vesk_non_operational) {
        widget_t *label = home_widget(win, "vesk_label_save_error");
        if (label != NULL) {
            widget_set_tr_text(label, "vesk_recovery_required");
            widget_set_visible(label, TRUE);
        }
    } else {
        home_set_visible(win, "vesk_label_save_error", FALSE);
    }
    return RET_REMOVE;
}

void vesk_home_show_lifecycle_text(widget_t *win, const char *key, uint32_t ms)
{
    home_state_t *home = home_state_of(win);
    if (home != NULL) home_remove_window_timer(win, &home->vesk_save_error_timer_id);
    widget_t *label = home_widget(win, "vesk_label_save_error");
    if (label == NULL) return;
    widget_set_style_str(label, "normal:font_name", vesk_page_text_font());
    widget_set_tr_text(label, key);
    widget_set_visible(label, TRUE);
    if (ms != 0 && home != NULL) home->vesk_save_error_timer_id = widget_add_timer(win, on_banner_timer, ms);
}

void vesk_home_apply_recovery(widget_t *win)
{
    vesk_non_operational = 1;
    vesk_home_show_lifecycle_text(win, "vesk_recovery_required", 0);
    home_state_t *home = home_state_of(win);
    if (home == NULL) return;
    home_hide_ballistic_box(home);
    home_show_ballistic_point(home);
}

void vesk_home_raise(widget_t *win, int all)
{
    widget_t *top = window_manager_get_top_window(window_manager());
    if (top == NULL || top == win) return;
    if (!all && home_name_in(top->name, vesk_recovery_aware_windows, ARRAY_SIZE(vesk_recovery_aware_windows))) return;
    navigator_back_to_home();
}

/* What an outcome shows, and whether it closes the windows above. */
static void show_outcome(widget_t *win, int status)
{
    switch (status) {
    case 1: /* cancelled save */
        if (!vesk_non_operational) vesk_home_show_lifecycle_text(win, "vesk_save_failed", HOME_BANNER_MS);
        break;
    case 2: /* recovery required */
        vesk_home_apply_recovery(win);
        vesk_home_raise(win, 0);
        break;
    case 3: /* retry unsaved */
        vesk_home_show_lifecycle_text(win, "vesk_unsaved_retry", HOME_BANNER_MS);
        vesk_home_raise(win, 0);
        break;
    case 4: /* powering off unsaved */
        vesk_home_show_lifecycle_text(win, "vesk_unsaved_poweroff", 0);
        vesk_home_raise(win, 0);
        break;
    case 5: /* profiles restored */
        if (!vesk_non_operational) vesk_home_show_lifecycle_text(win, "vesk_profiles_restored", HOME_BANNER_MS);
        break;
    default:
        break;
    }
}

void home_on_lifecycle_outcome(home_state_t *home)
{
    if (stUIStatus.vesk_recovery_latched && !vesk_non_operational) {
        vesk_home_apply_recovery(home->win);
        vesk_home_raise(home->win, 0);
    }
    show_outcome(home->win, stUIStatus.vesk_lifecycle_status);
}

void home_on_unsaved_power_off(home_state_t *home)
{
    vesk_home_show_lifecycle_text(home->win, "vesk_unsaved_poweroff", 0);
    vesk_home_raise(home->win, 1);
}
