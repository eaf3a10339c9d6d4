// The home page's keys: the shooter's everyday actions while looking
// through the scope.
#include <stdio.h>

#include "home_page.h"
#include "home_page_internal.h"
#include "navigator.h"
#include "ui_keys.h"
#include "ui_senders.h"
#include "ui_status.h"
#include "vesk_log.h"

static uint32_t bg_image_reset_timer_id;        /* shutter correction tip */
static uint32_t bright_progress_reset_timer_id; /* screen brightness bar */
static uint32_t s_photo_timer_id;               /* photo taken */

/* Rangefinder operations of the range keys. */
enum { VESK_LRF_OP_STOP_CANCEL = 0, VESK_LRF_OP_SINGLE = 1, VESK_LRF_OP_SCAN = 3, VESK_LRF_OP_STOP_ACCEPT = 4 };

#define HOME_BRIGHTNESS_MAX 10

/* The next value of a setting that wraps from last to 0. */
static char next_wrapping(char value, int last) { return (char)(value >= last ? 0 : value + 1); }

/* Hides a widget when its timer fires; the timer's id lives in the
 * timer's own slot, found by the widget's name. */
typedef struct {
    const char *widget;
    uint32_t *timer_id;
} home_hide_t;

static const home_hide_t s_hides[] = {
    {"label_image_correct_tips", &bg_image_reset_timer_id},
    {"view_bright_progress_bar", &bright_progress_reset_timer_id},
    {"image_photo", &s_photo_timer_id},
};

static ret_t on_hide_timer(const timer_info_t *timer)
{
    for (size_t i = 0; i < ARRAY_SIZE(s_hides); i++) {
        if (*s_hides[i].timer_id == timer->id) {
            *s_hides[i].timer_id = TK_INVALID_ID;
            home_set_visible(WIDGET(timer->ctx), s_hides[i].widget, FALSE);
        }
    }
    return RET_REMOVE;
}

/* Shows the widget and (re)starts the timer that hides it. */
static void show_for(widget_t *win, const home_hide_t *hide, uint32_t ms)
{
    if (*hide->timer_id != TK_INVALID_ID) widget_remove_timer(win, *hide->timer_id);
    home_set_visible(win, hide->widget, TRUE);
    *hide->timer_id = widget_add_timer(win, on_hide_timer, ms);
}

static void toggle_recording(widget_t *win)
{
    if (record_status.status != 0) {
        home_record_stop(win);
        return;
    }
    if (home_storage_full()) return;
    record_status.hour = 0;
    record_status.minute = 0;
    record_status.second = 0;
    record_status.status = 1;
    home_set_text(win, "hour", "00");
    home_set_text(win, "minute", "00");
    home_set_text(win, "second", "00");
    home_set_visible(win, "video_view", TRUE);
    record_status.time_start = (int64_t)time_now_s();
    record_status.timer_id = (int32_t)widget_add_timer(win, home_record_clock, HOME_RECORD_TICK_MS);
    GUI_SEND_TAP_VIDEO_MSG(TAP_VIDEO_RECORD, 0, NULL);
    stUIStatus.s8RecordingState = record_status.status;
}

static void range_operation(int operation) { GUI_SEND_DISTANCE_FUNCTION_MSG(DISTANCE_RANGE_OPERATION, operation); }

ret_t home_on_key(void *ctx, event_t *e)
{
    widget_t *win = WIDGET(ctx);
    key_event_t *key = key_event_cast(e);
    if (key == NULL || vesk_non_operational) return RET_OK;
    if (stDevStatus.s8ScreenOff != 0 && key->key != GUI_KEY_POWER_S) return RET_OK;
    bool_t continuous = stUIStatus.s8RangeMode == 3;

    switch (key->key) {
    case GUI_KEY_MID_S:
        navigator_to("QZ_shortcut_menu");
        break;
    case GUI_KEY_MID_L:
        stUIStatus.s8CompassTempOcclusion = 1;
        home_redraw_compass_visibility(win);
        menu_index = 1;
        navigator_to("main_menu");
        break;
    case GUI_KEY_POWER_S:
        if (continuous || stUIStatus.s8RecordingState == 1) break;
        stDevStatus.s8ScreenOff = !stDevStatus.s8ScreenOff;
        home_set_visible(win, "view_standby", stDevStatus.s8ScreenOff == 1);
        GUI_SEND_BASIC_FUNCTION_MSG(BASIC_AUTO_SCREEN);
        break;
    case GUI_KEY_FOCUS_UP_S:
        stDevStatus.s8ReticleColour = next_wrapping(stDevStatus.s8ReticleColour, 5);
        GUI_SEND_RETICLE_MSG(RETICLE_COLOR);
        break;
    case GUI_KEY_FOCUS_UP_L:
        stDevStatus.s8VideoMode = stDevStatus.s8VideoMode == HOME_VIDEO_PIP ? 0 : HOME_VIDEO_PIP;
        GUI_SEND_BASIC_FUNCTION_MSG(BASIC_VIDEO_MODE);
        break;
    case GUI_KEY_FOCUS_DOWN_S:
        stDevStatus.s8IrPolarity = next_wrapping(stDevStatus.s8IrPolarity, 4);
        GUI_SEND_INFRARED_MSG(INFRARED_POLARITY);
        break;
    case GUI_KEY_FOCUS_DOWN_L:
        if (stDevStatus.s8ReticleMenuSwitch != 0) navigator_to("ballistic_quickmenu");
        break;
    case GUI_KEY_FUCTION_S:
        if (stDevStatus.s8ReticleMenuSwitch != 0) navigator_to("ballistic_setting_menu");
        break;
    case GUI_KEY_LEFT_L:
        toggle_recording(win);
        break;
    case GUI_KEY_RIGHT_L:
        stDevStatus.s8CorrectType = 1;
        show_for(win, &s_hides[0], 2000);
        GUI_SEND_INFRARED_MSG(INFRARED_CORRECT);
        break;
    case GUI_KEY_RANGE_DOUBLE:
        is_range_info_visible = !is_range_info_visible;
        home_redraw_temp_switch(win);
        if (!is_range_info_visible && continuous) range_operation(VESK_LRF_OP_STOP_CANCEL);
        break;
    case GUI_KEY_LEFT_S:
        if (home_storage_full()) break;
        show_for(win, &s_hides[2], 1000);
        GUI_SEND_TAP_VIDEO_MSG(TAP_VIDEO_RECORD, 2, NULL);
        break;
    case GUI_KEY_RIGHT_S: {
        char text[16];
        int value = stDevStatus.s8ScreenBrightness + 1;
        stDevStatus.s8ScreenBrightness = (char)(value <= HOME_BRIGHTNESS_MAX ? value : 1);
        show_for(win, &s_hides[1], 2000);
        tk_snprintf(text, sizeof text, "%d", stDevStatus.s8ScreenBrightness);
        home_set_text(win, "label_bright", text);
        GUI_SEND_BASIC_FUNCTION_MSG(BASIC_SCREEN_LIGHT);
        break;
    }
    case GUI_KEY_RANGE_S:
        if (!is_range_info_visible) break;
        if (continuous) {
            range_operation(VESK_LRF_OP_STOP_ACCEPT);
        } else {
            home_range_reset(win);
            stDevStatus.s8RangeType = 0;
            vesk_log_printf(VESK_LOG_DETAIL, HOME_LOG_TAG, "range key: single measurement");
            range_operation(VESK_LRF_OP_SINGLE);
        }
        break;
    case GUI_KEY_RANGE_L:
        if (!is_range_info_visible) break;
        if (continuous) {
            range_operation(VESK_LRF_OP_STOP_CANCEL);
        } else {
            stDevStatus.s8RangeType = 1;
            range_operation(VESK_LRF_OP_SCAN);
        }
        break;
    case GUI_KEY_LEFT_RIGHT_S:
        if (!continuous) break;
        if (info[0].ballistics_sw == 1) {
            info[0].ballistics_sw = 0;
            GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_OPEN_CALCU, 0);
        }
        navigator_to("lrf_reticle_move");
        break;
    case GUI_KEY_LEFT_DOWN_S:
        stUIStatus.s8UsbMode = next_wrapping(stUIStatus.s8UsbMode, 2);
        GUI_SEND_BASIC_FUNCTION_MSG(BASIC_USB_TYPE);
        break;
    default:
        break;
    }
    return RET_OK;
}
