// The storage, reset and power pages.
#include "storage_pages.h"

#include <stdio.h>
#include <string.h>

#include "home_page.h"
#include "list_menu.h"
#include "navigator.h"
#include "pages.h"
#include "setting_menu.h"
#include "ui_events.h"
#include "ui_keys.h"
#include "ui_senders.h"
#include "ui_status.h"
#include "utils_common.h"
#include "vesk_page.h"

uint8_t emory_index;
uint8_t QZ_format_index;
uint8_t QZ_reset_index;
uint32_t vesk_format_timer_id;
uint32_t vesk_reset_timer_id;

/* Operation of the recording request (kind 0) that ends a recording. */
#define TAP_RECORD_STOP 1
/* Persistence reasons of the power-off requests. */
#define VESK_REASON_LOW_BATTERY 3
#define VESK_REASON_LOW_TEMPERATURE 4
/* Lifecycle outcome and the reason that marks the boot report. */
#define VESK_OUTCOME_RECOVERY_REQUIRED 2
#define VESK_REASON_BOOT 9
#define FORMAT_DELAY_MS 200
#define RESET_DELAY_MS 1000
#define COUNTDOWN_TICK_MS 1000
#define TIP_MS 2000

/* ---- two-choice pages ---- */

typedef struct {
    uint8_t *index;
    const char *yes_view, *yes_label;
    void (*on_yes)(void);
    void (*on_cancel)(void);
} two_choice_t;

static void draw_choice(widget_t *win, const two_choice_t *page)
{
    bool_t yes = *page->index == 1;
    vesk_page_set_state(win, page->yes_view, yes ? WIDGET_STATE_FOCUSED : WIDGET_STATE_NORMAL);
    vesk_page_set_state(win, page->yes_label, yes ? WIDGET_STATE_FOCUSED : WIDGET_STATE_NORMAL);
    vesk_page_set_state(win, "view_Cancel", yes ? WIDGET_STATE_NORMAL : WIDGET_STATE_FOCUSED);
    vesk_page_set_state(win, "label_Cancel", yes ? WIDGET_STATE_NORMAL : WIDGET_STATE_FOCUSED);
}

static ret_t two_choice_key(widget_t *win, const two_choice_t *page, uint32_t key)
{
    switch (key) {
    case GUI_KEY_FOCUS_UP_S:
    case GUI_KEY_FOCUS_DOWN_S:
    case GUI_KEY_LEFT_S:
    case GUI_KEY_RIGHT_S:
        *page->index = *page->index ? 0 : 1;
        draw_choice(win, page);
        break;
    case GUI_KEY_MID_S:
        if (*page->index == 1)
            page->on_yes();
        else
            page->on_cancel();
        break;
    case GUI_KEY_MID_L:
        page->on_cancel();
        break;
    case GUI_KEY_POWER_S:
        vesk_page_go_home();
        break;
    default:
        return RET_OK;
    }
    return RET_STOP;
}

static void open_format_confirmation(void) { navigator_to("memory_format_sel"); }

static void back_to_format_row(void) { list_menu_replace("setting_menu", SETTING_ROW_FORMAT); }

static void open_formatting(void) { navigator_to("memory_format_restart"); }

static void back_to_storage(void) { navigator_back(); }

static void open_restoring(void) { navigator_to("restoring"); }

static void back_to_reset_row(void) { list_menu_replace("setting_menu", SETTING_ROW_RESET); }

static const two_choice_t s_memory_menu = {&emory_index, "view_Format", "label_Format", open_format_confirmation,
                                           back_to_format_row};
static const two_choice_t s_format_sel = {&QZ_format_index, "view_OK", "label_OK", open_formatting, back_to_storage};
static const two_choice_t s_restore = {&QZ_reset_index, "view_OK", "label_OK", open_restoring, back_to_reset_row};

static ret_t on_memory_menu_key(void *ctx, event_t *e)
{
    key_event_t *key = key_event_cast(e);
    return key != NULL ? two_choice_key(WIDGET(ctx), &s_memory_menu, key->key) : RET_OK;
}

static ret_t on_format_sel_key(void *ctx, event_t *e)
{
    key_event_t *key = key_event_cast(e);
    return key != NULL ? two_choice_key(WIDGET(ctx), &s_format_sel, key->key) : RET_OK;
}

static ret_t on_restore_key(void *ctx, event_t *e)
{
    key_event_t *key = key_event_cast(e);
    return key != NULL ? two_choice_key(WIDGET(ctx), &s_restore, key->key) : RET_OK;
}

static ret_t open_two_choice(widget_t *win, const two_choice_t *page, event_func_t on_key)
{
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    *page->index = 0;
    draw_choice(win, page);
    vesk_page_bind_named_keys(win, on_key);
    return RET_OK;
}

void storage_show_usage(widget_t *win, const char *used_label, const char *total_label, const char *unit)
{
    int used = 0, total = 0;
    Get_StorageData(&used, &total);
    char text[32];
    snprintf(text, sizeof text, "%.1f%s", used / 100.0, unit);
    vesk_page_set_text(win, used_label, text);
    snprintf(text, sizeof text, "%.1f%s", total / 100.0, unit);
    vesk_page_set_text(win, total_label, text);
    widget_t *bar = vesk_page_widget(win, "progress_bar");
    if (bar != NULL) widget_set_value(bar, total > 0 ? (float)used / (float)total * 100.0f : 0.0f);
}

ret_t memory_menu_init(widget_t *win, void *ctx)
{
    (void)ctx;
    ret_t ret = open_two_choice(win, &s_memory_menu, on_memory_menu_key);
    if (ret != RET_OK) return ret;
    storage_show_usage(win, "label_storage_used", "label_storage_total", "G");
    return RET_OK;
}

ret_t memory_format_sel_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return open_two_choice(win, &s_format_sel, on_format_sel_key);
}

ret_t restore_factory_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return open_two_choice(win, &s_restore, on_restore_key);
}

/* ---- formatting and resetting ---- */

static void stop_recording(void)
{
    if (stUIStatus.s8RecordingState == 1) GUI_SEND_TAP_VIDEO_MSG(TAP_VIDEO_RECORD, TAP_RECORD_STOP, NULL);
}

static ret_t on_format_timer(const timer_info_t *timer)
{
    (void)timer;
    vesk_format_timer_id = 0;
    GUI_SEND_BASIC_FUNCTION_MSG(BASIC_STORAGE_FORMAT);
    return RET_REMOVE;
}

static ret_t on_reset_timer(const timer_info_t *timer)
{
    (void)timer;
    vesk_reset_timer_id = 0;
    GUI_SEND_BASIC_FUNCTION_MSG(BASIC_RESET_MODE);
    return RET_REMOVE;
}

/* The device answers a format or reset with a lifecycle report: anything
 * but a failed save (or the report of a new boot) ends the wait. */
static void on_lifecycle_report(widget_t *win, uint32_t *pending)
{
    if (stUIStatus.vesk_lifecycle_status != VESK_OUTCOME_RECOVERY_REQUIRED ||
        stUIStatus.vesk_lifecycle_reason == VESK_REASON_BOOT) {
        if (*pending != 0) widget_remove_timer(win, *pending);
        *pending = 0;
        navigator_back_to_home();
        return;
    }
    vesk_page_set_text(win, "lable_restoring", locale_info_tr(locale_info(), "vesk_save_failed"));
}

static ret_t on_format_lifecycle(void *ctx, event_t *e)
{
    (void)e;
    on_lifecycle_report(WIDGET(ctx), &vesk_format_timer_id);
    return RET_OK;
}

static ret_t on_reset_lifecycle(void *ctx, event_t *e)
{
    (void)e;
    on_lifecycle_report(WIDGET(ctx), &vesk_reset_timer_id);
    return RET_OK;
}

/* The request timers are the window's: a page that goes sends nothing. */
static ret_t on_format_close(void *ctx, event_t *e)
{
    (void)ctx, (void)e;
    vesk_format_timer_id = 0;
    return RET_OK;
}

static ret_t on_reset_close(void *ctx, event_t *e)
{
    (void)ctx, (void)e;
    vesk_reset_timer_id = 0;
    return RET_OK;
}

ret_t memory_format_restart_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    stop_recording();
    GUI_SEND_PARAM_FUNCTION_MSG(SAVE_ALLPARAM);
    vesk_format_timer_id = widget_add_timer(win, on_format_timer, FORMAT_DELAY_MS);
    static const int events[] = {UI_EV_LIFECYCLE};
    vesk_page_subscribe(win, events, ARRAY_SIZE(events), on_format_lifecycle);
    vesk_page_bind_close(win, on_format_close);
    return RET_OK;
}

ret_t restoring_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    stop_recording();
    if (home_rav_running()) GUI_SEND_RECOIL_MSG(RECOIL_BREAKOUT);
    GUI_SEND_PARAM_FUNCTION_MSG(SAVE_ALLPARAM);
    vesk_reset_timer_id = widget_add_timer(win, on_reset_timer, RESET_DELAY_MS);
    static const int events[] = {UI_EV_LIFECYCLE};
    vesk_page_subscribe(win, events, ARRAY_SIZE(events), on_reset_lifecycle);
    vesk_page_bind_close(win, on_reset_close);
    return RET_OK;
}

/* ---- automatic power-off ---- */

static const char *const s_power_off_pages[] = {"shut_down_low_power", "shut_down_low_temp"};

/* One power-off countdown at a time, whichever rule opened it: each page is
 * single-instance (its resource says so), and the other power-off page is
 * closed with its timer, so two countdowns never share timer_id_shutdown
 * and the device is asked to power off once. */
static void start_countdown(widget_t *win, timer_func_t tick)
{
    for (size_t i = 0; i < ARRAY_SIZE(s_power_off_pages); i++) {
        widget_t *other = navigator_find_window(s_power_off_pages[i]);
        if (other != NULL && other != win) window_close_force(other);
    }
    stUIStatus.shutdown_count = 0;
    stUIStatus.timer_id_shutdown = widget_add_timer(win, tick, COUNTDOWN_TICK_MS);
}

static ret_t on_power_off_close(void *ctx, event_t *e)
{
    (void)ctx, (void)e;
    /* The window's timer ends with it. */
    stUIStatus.timer_id_shutdown = 0;
    return RET_OK;
}

static ret_t on_low_power_tick(const timer_info_t *timer)
{
    widget_t *win = WIDGET(timer->ctx);
    stUIStatus.shutdown_count++;
    switch (stUIStatus.shutdown_count) {
    case 1:
        vesk_page_set_image(win, "image_shutdown", "pic_countdown_2s");
        GUI_SEND_PARAM_FUNCTION_MSG(SAVE_ALLPARAM);
        return RET_REPEAT;
    case 2:
        vesk_page_set_image(win, "image_shutdown", "pic_countdown_1s");
        return RET_REPEAT;
    case 3:
        stop_recording();
        if (home_rav_running()) {
            GUI_SEND_RECOIL_MSG(RECOIL_BREAKOUT);
            sleep_ms(1000);
        }
        sleep_ms(100);
        stUIStatus.timer_id_shutdown = 0;
        vesk_gui_request_shutdown(VESK_REASON_LOW_BATTERY);
        return RET_REMOVE;
    default:
        return RET_REPEAT;
    }
}

static ret_t on_low_temp_tick(const timer_info_t *timer)
{
    (void)timer;
    stUIStatus.shutdown_count++;
    switch (stUIStatus.shutdown_count) {
    case 1:
        GUI_SEND_PARAM_FUNCTION_MSG(SAVE_ALLPARAM);
        return RET_REPEAT;
    case 2:
        stop_recording();
        if (home_rav_running()) GUI_SEND_RECOIL_MSG(RECOIL_BREAKOUT);
        return RET_REPEAT;
    case 3:
        stUIStatus.timer_id_shutdown = 0;
        vesk_gui_request_shutdown(VESK_REASON_LOW_TEMPERATURE);
        return RET_REMOVE;
    default:
        return RET_REPEAT;
    }
}

ret_t shut_down_low_power_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    start_countdown(win, on_low_power_tick);
    vesk_page_bind_close(win, on_power_off_close);
    return RET_OK;
}

ret_t shut_down_low_temp_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    widget_t *view = vesk_page_widget(win, "view_low_temp");
    if (view != NULL) widget_move(view, stDevStatus.s8Language == 0 ? 262 : 184, 586);
    start_countdown(win, on_low_temp_tick);
    vesk_page_bind_close(win, on_power_off_close);
    return RET_OK;
}

/* ---- standby and the ballistic tip ---- */

ret_t standby_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    return RET_OK;
}

/* Editors that the tip must not reopen: it goes home instead. */
static const char *const s_tip_no_return[] = {"ballistic_bullet", "ballistic_menu", "ballistic_weather",
                                              "ballistic_zeroweather", "bullistic_lens"};

static ret_t on_tip_timer(const timer_info_t *timer)
{
    (void)timer;
    char back[sizeof(stUIStatus.temp_window) + 1];
    memcpy(back, stUIStatus.temp_window, sizeof(stUIStatus.temp_window));
    back[sizeof(stUIStatus.temp_window)] = '\0';
    for (size_t i = 0; i < ARRAY_SIZE(s_tip_no_return); i++) {
        if (strcmp(back, s_tip_no_return[i]) == 0) {
            navigator_back();
            vesk_page_go_home();
            return RET_REMOVE;
        }
    }
    navigator_switch_to(back, TRUE);
    return RET_REMOVE;
}

static ret_t on_tip_key(void *ctx, event_t *e)
{
    (void)ctx;
    key_event_t *key = key_event_cast(e);
    if (key == NULL || key->key != GUI_KEY_POWER_S) return RET_OK;
    vesk_page_go_home();
    return RET_STOP;
}

ret_t tip_ballistic_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    vesk_page_bind_named_keys(win, on_tip_key);
    widget_add_timer(win, on_tip_timer, TIP_MS);
    return RET_OK;
}
