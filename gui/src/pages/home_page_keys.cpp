// The home page's keys: the shooter's everyday actions while looking
// through the scope, one action per key, found through a table.
#include <stdio.h>

#include "home_page.h"
#include "home_page_internal.h"
#include "navigator.h"
#include "ui_keys.h"
#include "ui_senders.h"
#include "ui_status.h"
#include "vesk_log.h"

/* Rangefinder operations of the range keys. */
enum { VESK_LRF_OP_STOP_CANCEL = 0, VESK_LRF_OP_SINGLE = 1, VESK_LRF_OP_SCAN = 3, VESK_LRF_OP_STOP_ACCEPT = 4 };

#define HOME_BRIGHTNESS_MAX 10

/* The next value of a setting that wraps from last to 0. */
static char next_wrapping(char value, int last) { return (char)(value >= last ? 0 : value + 1); }

static void toggle_recording(home_state_t *home)
{
    if (home->record_status.status != 0) {
        home_record_stop(home);
        return;
    }
    if (home_storage_full()) return;
    home_record_start(home);
}

static void range_operation(int operation) { GUI_SEND_DISTANCE_FUNCTION_MSG(DISTANCE_RANGE_OPERATION, operation); }

/* A continuous measurement runs. */
static bool_t continuous_ranging(void) { return stUIStatus.s8RangeMode == 3; }

/* ---- one action per key ---- */

static void key_shortcut_menu(home_state_t *) { navigator_to("QZ_shortcut_menu"); }

static void key_main_menu(home_state_t *home)
{
    stUIStatus.s8CompassTempOcclusion = 1;
    home_redraw_compass_visibility(home);
    menu_index = 1;
    navigator_to("main_menu");
}

static void key_screen(home_state_t *home)
{
    if (continuous_ranging() || stUIStatus.s8RecordingState == 1) return;
    stDevStatus.s8ScreenOff = !stDevStatus.s8ScreenOff;
    home_redraw_standby(home);
    GUI_SEND_BASIC_FUNCTION_MSG(BASIC_AUTO_SCREEN);
}

static void key_reticle_colour(home_state_t *)
{
    stDevStatus.s8ReticleColour = next_wrapping(stDevStatus.s8ReticleColour, 5);
    GUI_SEND_RETICLE_MSG(RETICLE_COLOR);
}

static void key_video_mode(home_state_t *)
{
    stDevStatus.s8VideoMode = stDevStatus.s8VideoMode == HOME_VIDEO_PIP ? 0 : HOME_VIDEO_PIP;
    GUI_SEND_BASIC_FUNCTION_MSG(BASIC_VIDEO_MODE);
}

static void key_palette(home_state_t *)
{
    stDevStatus.s8IrPolarity = next_wrapping(stDevStatus.s8IrPolarity, 4);
    GUI_SEND_INFRARED_MSG(INFRARED_POLARITY);
}

static void key_ballistic_quickmenu(home_state_t *)
{
    if (stDevStatus.s8ReticleMenuSwitch != 0) navigator_to("ballistic_quickmenu");
}

static void key_ballistic_settings(home_state_t *)
{
    if (stDevStatus.s8ReticleMenuSwitch != 0) navigator_to("ballistic_setting_menu");
}

static void key_shutter_correction(home_state_t *home)
{
    stDevStatus.s8CorrectType = 1;
    home_show_tip(home, HOME_TIP_CORRECT, 2000, TRUE);
    GUI_SEND_INFRARED_MSG(INFRARED_CORRECT);
}

static void key_range_readout(home_state_t *home)
{
    home->is_range_info_visible = !home->is_range_info_visible;
    home_redraw_temp_switch(home);
    if (!home->is_range_info_visible && continuous_ranging()) range_operation(VESK_LRF_OP_STOP_CANCEL);
}

static void key_photo(home_state_t *home)
{
    if (home_storage_full()) return;
    home_show_tip(home, HOME_TIP_PHOTO, 1000, TRUE);
    GUI_SEND_TAP_VIDEO_MSG(TAP_VIDEO_RECORD, 2, NULL);
}

static void key_brightness(home_state_t *home)
{
    char text[16];
    int value = stDevStatus.s8ScreenBrightness + 1;
    stDevStatus.s8ScreenBrightness = (char)(value <= HOME_BRIGHTNESS_MAX ? value : 1);
    home_show_tip(home, HOME_TIP_BRIGHTNESS, 2000, TRUE);
    tk_snprintf(text, sizeof text, "%d", stDevStatus.s8ScreenBrightness);
    home_set_text(home->win, "label_bright", text);
    GUI_SEND_BASIC_FUNCTION_MSG(BASIC_SCREEN_LIGHT);
}

/* The range keys work while the read-out shows; during a continuous
 * measurement they end it with the operation given, and say so. */
static bool_t range_key_ends_scan(home_state_t *home, int operation)
{
    if (!home->is_range_info_visible) return TRUE;
    if (!continuous_ranging()) return FALSE;
    range_operation(operation);
    return TRUE;
}

static void key_single_range(home_state_t *home)
{
    if (range_key_ends_scan(home, VESK_LRF_OP_STOP_ACCEPT)) return;
    home_range_reset(home->win);
    stDevStatus.s8RangeType = 0;
    vesk_log_printf(VESK_LOG_DETAIL, HOME_LOG_TAG, "range key: single measurement");
    range_operation(VESK_LRF_OP_SINGLE);
}

static void key_scan(home_state_t *home)
{
    if (range_key_ends_scan(home, VESK_LRF_OP_STOP_CANCEL)) return;
    stDevStatus.s8RangeType = 1;
    range_operation(VESK_LRF_OP_SCAN);
}

static void key_range_mark(home_state_t *)
{
    if (!continuous_ranging()) return;
    if (info[0].ballistics_sw == 1) {
        info[0].ballistics_sw = 0;
        GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_OPEN_CALCU, 0);
    }
    navigator_to("lrf_reticle_move");
}

static void key_usb_mode(home_state_t *)
{
    stUIStatus.s8UsbMode = next_wrapping(stUIStatus.s8UsbMode, 2);
    GUI_SEND_BASIC_FUNCTION_MSG(BASIC_USB_TYPE);
}

static const struct {
    uint32_t key;
    void (*action)(home_state_t *home);
} s_home_keys[] = {
    {GUI_KEY_MID_S, key_shortcut_menu},
    {GUI_KEY_MID_L, key_main_menu},
    {GUI_KEY_POWER_S, key_screen},
    {GUI_KEY_FOCUS_UP_S, key_reticle_colour},
    {GUI_KEY_FOCUS_UP_L, key_video_mode},
    {GUI_KEY_FOCUS_DOWN_S, key_palette},
    {GUI_KEY_FOCUS_DOWN_L, key_ballistic_quickmenu},
    {GUI_KEY_FUCTION_S, key_ballistic_settings},
    {GUI_KEY_LEFT_L, toggle_recording},
    {GUI_KEY_RIGHT_L, key_shutter_correction},
    {GUI_KEY_RANGE_DOUBLE, key_range_readout},
    {GUI_KEY_LEFT_S, key_photo},
    {GUI_KEY_RIGHT_S, key_brightness},
    {GUI_KEY_RANGE_S, key_single_range},
    {GUI_KEY_RANGE_L, key_scan},
    {GUI_KEY_LEFT_RIGHT_S, key_range_mark},
    {GUI_KEY_LEFT_DOWN_S, key_usb_mode},
};

ret_t home_on_key(void *ctx, event_t *e)
{
    home_state_t *home = (home_state_t *)ctx;
    key_event_t *key = key_event_cast(e);
    if (key == NULL || vesk_non_operational) return RET_OK;
    if (stDevStatus.s8ScreenOff != 0 && key->key != GUI_KEY_POWER_S) return RET_OK;
    for (size_t i = 0; i < ARRAY_SIZE(s_home_keys); i++) {
        if (s_home_keys[i].key == key->key) {
            s_home_keys[i].action(home);
            break;
        }
    }
    return RET_OK;
}
