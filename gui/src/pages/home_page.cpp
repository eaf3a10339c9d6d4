// The home page's frame: the values it shares with other pages, its state
// record and the window that owns it, init, and which handler each user
// event reaches. What the page shows is drawn by the home_*.cpp beside it;
// its keys are in home_page_keys.cpp.
#include "home_page.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "home_page_internal.h"
#include "media_list.h"
#include "navigator.h"
#include "page_state.h"
#include "pages.h"
#include "ui_events.h"
#include "ui_senders.h"
#include "ui_status.h"
#include "utils_common.h"
#include "vesk_lrf_ui.h"
#include "vesk_page.h"

/* Shared with other pages, so they outlive any one home window: the
 * bad-pixel page writes the corner switch, the rangefinder menu reads the
 * recovery state, and the main menu opens at menu_index. */
uint8_t is_corner_info_visible = 1;
uint8_t vesk_non_operational;
int32_t menu_index = 1;

/* The window property that holds the page's state. */
#define HOME_STATE_PROP "home_state"

/* ---- the state and its window ---- */

home_state_t *home_state_of(widget_t *win)
{
    if (win == NULL || win->name == NULL || strcmp(win->name, VESK_HOME_PAGE) != 0) return NULL;
    return page_state_of<home_state_t>(win, HOME_STATE_PROP);
}

home_state_t *home_state_current(void) { return home_state_of(navigator_find_window(VESK_HOME_PAGE)); }

home_state_t::~home_state_t()
{
    home_remove_global_timer(&watch_timer_id);
    home_remove_global_timer(&range_blink_timer_id);
    home_remove_global_timer(&shutter_timer_id);
    widget_set_prop_pointer(win, HOME_STATE_PROP, NULL);
}

static home_state_t *home_state_create(widget_t *win)
{
    home_state_t *home = page_state_new<home_state_t>(win, HOME_STATE_PROP);
    home->win = win;
    return home;
}

/* A closed home page must not hear the user events any more. */
static ret_t on_home_close(void *ctx, event_t *e)
{
    (void)e;
    home_state_t *home = home_state_of(WIDGET(ctx));
    if (home != NULL) widget_off_by_ctx(window_manager(), home);
    return RET_OK;
}

/* ---- small helpers ---- */

widget_t *home_widget(widget_t *win, const char *name) { return vesk_page_widget(win, name); }
void home_set_visible(widget_t *win, const char *name, bool_t visible) { vesk_page_set_visible(win, name, visible); }
void home_set_text(widget_t *win, const char *name, const char *text) { vesk_page_set_text(win, name, text); }
void home_set_image(widget_t *win, const char *name, const char *image) { vesk_page_set_image(win, name, image); }

void home_move(widget_t *win, const char *name, int x, int y)
{
    widget_t *w = home_widget(win, name);
    if (w != NULL) widget_move(w, x, y);
}

void home_move_resize(widget_t *win, const char *name, int x, int y, int w, int h)
{
    widget_t *widget = home_widget(win, name);
    if (widget != NULL) widget_move_resize(widget, x, y, w, h);
}

void home_set_number(widget_t *win, const char *name, const char *format, double value)
{
    char text[32];
    tk_snprintf_float(text, sizeof text, format, value);
    home_set_text(win, name, text);
}

bool_t home_is_pip(void) { return stDevStatus.s8VideoMode == HOME_VIDEO_PIP; }

int home_name_in(const char *name, const char *const *list, size_t n)
{
    for (size_t i = 0; name != NULL && i < n; i++) {
        if (strcmp(name, list[i]) == 0) return 1;
    }
    return 0;
}

void home_remove_global_timer(uint32_t *id)
{
    if (*id != TK_INVALID_ID && timer_find(*id) != NULL) timer_remove(*id);
    *id = TK_INVALID_ID;
}

void home_remove_window_timer(widget_t *win, uint32_t *id)
{
    if (*id != TK_INVALID_ID) widget_remove_timer(win, *id);
    *id = TK_INVALID_ID;
}

/* ---- user events ---- */

typedef void (*home_redraw_t)(home_state_t *home);

/* What each user event of on_home_event redraws. */
static const struct {
    int event;
    home_redraw_t redraw;
} s_home_redraws[] = {
    {UI_EV_AZIMUTH, home_redraw_azimuth},
    {UI_EV_PITCH, home_redraw_pitch},
    {UI_EV_SLANT, home_redraw_slant},
    {UI_EV_COMPASS_SWITCH, home_redraw_compass_visibility},
    {UI_EV_DISTANCE_UNIT, home_redraw_distance},
    {UI_EV_LRF_RESULT, home_redraw_lrf_result},
    {UI_EV_LRF_STATE, home_redraw_lrf_state},
    {UI_EV_ZERO_OFFSET, home_redraw_reticle_position},
    {UI_EV_REDRAW, home_redraw_zoom},
    {UI_EV_RETICLE_MENU_SWITCH, home_redraw_reticle_switch},
    {UI_EV_RETICLE_SWITCH, home_redraw_temp_switch},
    {UI_EV_RETICLE_COLOR, home_redraw_reticle_properties},
    {UI_EV_RETICLE_TYPE, home_redraw_reticle_properties},
    {UI_EV_RETICLE_LIGHT, home_redraw_reticle_brightness},
    {UI_EV_LASER_INDICATOR, home_redraw_laser_position},
    {UI_EV_LASER_SWITCH, home_redraw_laser_switch},
    {UI_EV_LASER_RETICLE, home_redraw_laser_image},
    {UI_EV_BATTERY_TYPE, home_redraw_usb_connect},
    {UI_EV_POLARITY, home_redraw_palette},
    {UI_EV_WIFI_SWITCH, home_redraw_wifi},
    {UI_EV_SHUTTER, home_redraw_shutter_countdown},
    {UI_EV_AUTO_SHUTTER, home_redraw_auto_shutter},
    {UI_EV_MICRO, home_redraw_micro},
    {UI_EV_RECORDING, home_redraw_recoil_recording},
    {UI_EV_RECOIL, home_redraw_recoil_icon},
    {UI_EV_BATTERY, home_redraw_battery},
    {UI_EV_BALLISTIC, home_redraw_ballistic_result},
    {UI_EV_RECORDING_TIP, home_show_record_tip},
    {UI_EV_BALL_RETICLE_TYPE, home_redraw_ballistic_mark},
    {UI_EV_BALL_RETICLE_COLOR, home_redraw_ballistic_mark},
    {UI_EV_AUTO_SCREEN, home_redraw_standby},
    {UI_EV_PIP_RETICLE_COLOR, home_redraw_pip_reticle},
    {UI_EV_USB_MODE, home_redraw_usb_mode},
    {UI_EV_CORNER_INFO, home_redraw_corner_info},
    {UI_EV_LIFECYCLE, home_on_lifecycle_outcome},
    {UI_EV_UNSAVED_POWER_OFF, home_on_unsaved_power_off},
};

/* ctx is the page's state. */
static ret_t on_home_event(void *ctx, event_t *e)
{
    int event = (int)e->type - (int)EVT_USER_START;
    for (size_t i = 0; i < ARRAY_SIZE(s_home_redraws); i++) {
        if (s_home_redraws[i].event == event) {
            s_home_redraws[i].redraw((home_state_t *)ctx);
            break;
        }
    }
    return RET_OK;
}

/* The group label's events: the group's zero, and the reticle switch it
 * shows with. */
static ret_t on_group_event(void *ctx, event_t *e)
{
    home_state_t *home = (home_state_t *)ctx;
    if ((int)e->type == UI_EVT(UI_EV_GROUP_DATA))
        home_redraw_group_label(home);
    else
        home_redraw_group_visibility(home);
    return RET_OK;
}

/* Another group's zero moves the reticle too. */
static ret_t on_reticle_group_event(void *ctx, event_t *e)
{
    (void)e;
    home_redraw_reticle_position((home_state_t *)ctx);
    return RET_OK;
}

/* Which widget of the window brings which user events: a window resource
 * without the widget gets no redraws for it. */
static const struct {
    const char *widget;
    int event;
    event_func_t handler;
} s_home_subscriptions[] = {
    {"azimuth_scale", UI_EV_AZIMUTH, on_home_event},
    {"azimuth_scale", UI_EV_COMPASS_SWITCH, on_home_event},
    {"pitch_scale", UI_EV_PITCH, on_home_event},
    {"roll_scale", UI_EV_SLANT, on_home_event},
    {"label_RngeValue", UI_EV_DISTANCE_UNIT, on_home_event},
    {"label_RngeValue", UI_EV_LRF_RESULT, on_home_event},
    {"label_RngeValue", UI_EV_LRF_STATE, on_home_event},
    {HOME_RETICLE_NAME, UI_EV_ZERO_OFFSET, on_home_event},
    {HOME_RETICLE_NAME, UI_EV_GROUP_DATA, on_reticle_group_event},
    {HOME_RETICLE_NAME, UI_EV_REDRAW, on_home_event},
    {HOME_RETICLE_NAME, UI_EV_RETICLE_MENU_SWITCH, on_home_event},
    {HOME_RETICLE_NAME, UI_EV_RETICLE_SWITCH, on_home_event},
    {HOME_RETICLE_NAME, UI_EV_RETICLE_COLOR, on_home_event},
    {HOME_RETICLE_NAME, UI_EV_RETICLE_TYPE, on_home_event},
    {HOME_RETICLE_NAME, UI_EV_RETICLE_LIGHT, on_home_event},
    {"image_reticle_laser", UI_EV_LASER_INDICATOR, on_home_event},
    {"image_reticle_laser", UI_EV_LASER_SWITCH, on_home_event},
    {"image_reticle_laser", UI_EV_LASER_RETICLE, on_home_event},
    {"image_QZ_usb_connect", UI_EV_BATTERY_TYPE, on_home_event},
    {"image_QZ_colormap", UI_EV_POLARITY, on_home_event},
    {"image_QZ_wifi", UI_EV_WIFI_SWITCH, on_home_event},
    {"image_QZ_shutter", UI_EV_SHUTTER, on_home_event},
    {"image_QZ_shutter", UI_EV_AUTO_SHUTTER, on_home_event},
    {"image_QZ_mic", UI_EV_MICRO, on_home_event},
    {"image_QZ_RAV", UI_EV_RECORDING, on_home_event},
    {"image_QZ_RAV", UI_EV_RECOIL, on_home_event},
    {"lable_QZ_battery_value", UI_EV_BATTERY, on_home_event},
    {"image_point", UI_EV_BALLISTIC, on_home_event},
    {"label_group_value", UI_EV_GROUP_DATA, on_group_event},
    {"label_group_value", UI_EV_RETICLE_MENU_SWITCH, on_group_event},
    {"view_tip_record", UI_EV_RECORDING_TIP, on_home_event},
    {"image_ballistic_reticle", UI_EV_BALL_RETICLE_TYPE, on_home_event},
    {"image_ballistic_reticle", UI_EV_BALL_RETICLE_COLOR, on_home_event},
    {"view_standby", UI_EV_AUTO_SCREEN, on_home_event},
    {"view_pip_reticle", UI_EV_PIP_RETICLE_COLOR, on_home_event},
    {"label_current_USB", UI_EV_USB_MODE, on_home_event},
};

/* The child visitor; ctx is the page's state. */
static ret_t home_visit(void *ctx, const void *data)
{
    const widget_t *w = (const widget_t *)data;
    if (w == NULL || w->name == NULL || w->name[0] == '\0') return RET_OK;
    for (size_t i = 0; i < ARRAY_SIZE(s_home_subscriptions); i++) {
        if (strcmp(w->name, s_home_subscriptions[i].widget) == 0)
            widget_on(window_manager(), (uint32_t)UI_EVT(s_home_subscriptions[i].event),
                      s_home_subscriptions[i].handler, ctx);
    }
    return RET_OK;
}

/* ---- init ---- */

static void change_locale(const char *locale)
{
    char language[3] = {0};
    char country[3] = {0};
    if (sscanf(locale, "%2[a-z]_%2[A-Z]", language, country) == 2) locale_info_change(locale_info(), language, country);
}

static void check_clock(void)
{
    struct tm *now = NULL;
    if (sys_get_time(&now) != 0 || now == NULL) return;
    int year = now->tm_year + 1900;
    if (year >= 2023 && year <= 2099) return;
    if (rtc_set_time(0, 0, 0, 2023, 1, 1) == 0) printf("rtc time_set_successful!\n");
    if (sys_set_time(0, 0, 0, 2023, 1, 1) == 0) printf("sys time_set_successful!\n");
}

static void apply_language(void)
{
    switch (stDevStatus.s8Language) {
    case 1:
        change_locale("zh_CN");
        printf("change language to Chinese!\n");
        break;
    case 2:
        change_locale("ru_RU");
        printf("change language to Russian!\n");
        break;
    default:
        change_locale("en_US");
        printf("change language to English!\n");
        break;
    }
}

static ret_t on_storage_timer(const timer_info_t *timer)
{
    home_state_t *home = home_state_of(WIDGET(timer->ctx));
    if (home != NULL) home_check_storage(home);
    return RET_REPEAT;
}

static void paint_all(home_state_t *home)
{
    home_redraw_azimuth(home);
    home_redraw_pitch(home);
    home_redraw_slant(home);
    home_redraw_zoom(home);
    home_redraw_reticle_properties(home);
    home_redraw_reticle_brightness(home);
    home_redraw_reticle_position(home);
    home_redraw_reticle_switch(home);
    home_redraw_palette(home);
    /* Drawn once: no event redraws the enhancement icon. */
    home_set_visible(home->win, "image_QZ_enchane", stDevStatus.s8IrEnchance == 1);
    home_redraw_battery(home);
    home_check_storage(home);
    home_redraw_group_label(home);
    home_redraw_micro(home);
    home_redraw_group_visibility(home);
    home_redraw_recoil_icon(home);
    home_redraw_ballistic_mark(home);
    home_redraw_wifi(home);
    get_file_list_info();
    home_redraw_ballistic_result(home);
    home_redraw_range_mark(home);
    home_redraw_pip_reticle(home);
    home_redraw_auto_shutter(home);
}

/* What the page shows at its opening that no widget redraws: the
 * lifecycle state it may have missed, and the compass. */
static void show_opening_state(home_state_t *home)
{
    widget_t *win = home->win;
    if (stUIStatus.vesk_recovery_latched)
        vesk_home_apply_recovery(win);
    else if (stUIStatus.vesk_lifecycle_status == 5 && stUIStatus.vesk_lifecycle_reason == 9)
        vesk_home_show_lifecycle_text(win, "vesk_profiles_restored", 5000);

    stDevStatus.s8RangeSwitch = 0;
    widget_add_timer(win, on_storage_timer, 30000);
    stUIStatus.s8CompassTempOcclusion = 0;
    home_redraw_compass_visibility(home);
    home_start_watch(home);
}

ret_t QZ_home_page_1_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    printf("enter QZ_home_page_1!!!\n");
    home_state_t *home = home_state_create(win);
    return_value_if_fail(home != NULL, RET_OOM);

    widget_foreach(win, home_visit, home);
    check_clock();
    stDevStatus.s8DistanceUint = 0;
    apply_language();
    show_opening_state(home);
    paint_all(home);

    if (!vesk_non_operational) GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_OPEN_CALCU, 1);
    vesk_lrf_ui_send_query();

    static const int events[] = {UI_EV_CORNER_INFO, UI_EV_LIFECYCLE, UI_EV_UNSAVED_POWER_OFF};
    for (size_t i = 0; i < ARRAY_SIZE(events); i++)
        widget_on(window_manager(), (uint32_t)UI_EVT(events[i]), on_home_event, home);
    vesk_page_bind_close(win, on_home_close);
    widget_on(win, EVT_KEY_DOWN, home_on_key, home);
    printf("QZ_home_page_1 INIT END!\n");
    return RET_OK;
}
