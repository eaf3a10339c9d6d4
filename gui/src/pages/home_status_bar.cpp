// The home page's status icons and read-outs: battery and the low-power
// page, storage, the recording and its clock, palette, zero group,
// shutter countdown, USB mode, recoil video and the plain on/off icons.
#include "home_page_internal.h"
#include "navigator.h"
#include "ui_senders.h"
#include "ui_status.h"
#include "utils_common.h"

#define HOME_BATTERY_LOW_POWER 570
#define HOME_RECORD_LIMIT_S 28799

/* ---- battery and storage ---- */

static const char *battery_icon(int value)
{
    static const struct {
        int from;
        const char *icon;
    } levels[] = {{791, "ic_status_battery4"},
                  {745, "ic_status_battery3"},
                  {666, "ic_status_battery2"},
                  {607, "ic_status_battery1"},
                  {INT32_MIN, "ic_status_battery0"}};
    for (size_t i = 0; i < ARRAY_SIZE(levels); i++) {
        if (value >= levels[i].from) return levels[i].icon;
    }
    return NULL;
}

void home_redraw_battery(home_state_t *home)
{
    int value = stUIStatus.s16BatteryValue;
    home_redraw_usb_connect(home);
    const char *icon = battery_icon(value);
    if (icon != NULL) home_set_image(home->win, "lable_QZ_battery_value", icon);
    /* 0 is no reading yet (the page may open before the first battery
     * report), not a flat battery: it must not power the scope off. */
    if (value == 0 || value > HOME_BATTERY_LOW_POWER || stUIStatus.s8BatteryType != 0) return;
    static const char *const busy[] = {"restoring", "memory_format_restart", "QZ_SHUT_DOWN", "shut_down_low_power"};
    if (home_name_in(ui_top_window_name(), busy, ARRAY_SIZE(busy)) || home->timer_id_RAV != 0) return;
    navigator_to("shut_down_low_power");
}

int home_storage_full(void)
{
    int used = 0, total = 0;
    return Get_StorageData(&used, &total) == 1;
}

void home_check_storage(home_state_t *home)
{
    if (!home_storage_full()) {
        home_set_visible(home->win, "image_sd_full", FALSE);
        return;
    }
    if (stDevStatus.s8RecoilState == 1) {
        stDevStatus.s8RecoilState = 0;
        GUI_SEND_RECOIL_MSG(RECOIL_SWITCH);
    }
    home_set_visible(home->win, "image_sd_full", TRUE);
    if (home->record_status.status == 1) home_record_stop(home);
}

/* ---- recording ---- */

static void set_two_digits(widget_t *win, const char *name, int32_t value)
{
    char text[16];
    tk_snprintf(text, sizeof text, "%02d", value);
    home_set_text(win, name, text);
}

static ret_t home_record_clock(const timer_info_t *timer)
{
    home_state_t *home = home_state_of(WIDGET(timer->ctx));
    if (home == NULL) return RET_REMOVE;
    record *rec = &home->record_status;
    int64_t elapsed = (int64_t)time_now_s() - rec->time_start;
    rec->hour = (int32_t)(elapsed / 3600);
    rec->minute = (int32_t)((elapsed - rec->hour * 3600) / 60);
    rec->second = (int32_t)(elapsed % 60);
    rec->time_record = elapsed;
    if (elapsed > HOME_RECORD_LIMIT_S) {
        /* This timer ends by its result, not by removal. */
        rec->timer_id = TK_INVALID_ID;
        home_record_stop(home);
        return RET_REMOVE;
    }
    set_two_digits(home->win, "second", rec->second);
    set_two_digits(home->win, "minute", rec->minute);
    set_two_digits(home->win, "hour", rec->hour);
    return RET_REPEAT;
}

void home_record_start(home_state_t *home)
{
    widget_t *win = home->win;
    record *rec = &home->record_status;
    rec->hour = 0;
    rec->minute = 0;
    rec->second = 0;
    rec->status = 1;
    home_set_text(win, "hour", "00");
    home_set_text(win, "minute", "00");
    home_set_text(win, "second", "00");
    home_set_visible(win, "video_view", TRUE);
    rec->time_start = (int64_t)time_now_s();
    rec->timer_id = (int32_t)widget_add_timer(win, home_record_clock, HOME_RECORD_TICK_MS);
    GUI_SEND_TAP_VIDEO_MSG(TAP_VIDEO_RECORD, 0, NULL);
    stUIStatus.s8RecordingState = rec->status;
}

void home_record_stop(home_state_t *home)
{
    record *rec = &home->record_status;
    home_remove_window_timer(home->win, (uint32_t *)&rec->timer_id);
    rec->time_record = 0;
    home_set_visible(home->win, "video_view", FALSE);
    rec->status = 0;
    GUI_SEND_TAP_VIDEO_MSG(TAP_VIDEO_RECORD, 1, NULL);
    stUIStatus.s8RecordingState = rec->status;
}

/* ---- palette, zero group, shutter, USB ---- */

void home_redraw_palette(home_state_t *home)
{
    static const char *const icons[] = {"ic_status_whitehot_def", "ic_status_blackhot_def", "ic_status_redhot_def",
                                        "ic_status_red_def", "ic_status_green_def"};
    uint8_t polarity = (uint8_t)stDevStatus.s8IrPolarity;
    if (polarity < ARRAY_SIZE(icons)) home_set_image(home->win, "image_QZ_colormap", icons[polarity]);
}

void home_redraw_group_label(home_state_t *home)
{
    static const char letters[] = "ABCDEF";
    uint8_t group = IR_Cursor.u8CurrentGroup;
    char text[32];
    tk_snprintf(text, sizeof text, "%c%dm", group < VESK_PROFILE_COUNT ? letters[group] : '?',
                ui_current_zero_point()->u16IrCursorDistance);
    home_set_text(home->win, "label_group_value", text);
}

void home_redraw_group_visibility(home_state_t *home)
{
    home_set_visible(home->win, "label_group_value", stDevStatus.s8ReticleMenuSwitch != 0);
}

static ret_t on_shutter_timer(const timer_info_t *timer)
{
    home_state_t *home = (home_state_t *)timer->ctx;
    widget_t *win = home->win;
    home->shutter_timer_id = TK_INVALID_ID;
    uint32_t a = (uint32_t)stDevStatus.s8AutoShutter * 60;
    home_set_visible(win, "image_QZ_shutter", FALSE);
    if (ui_auto_shutter_count() + 3 < a && stDevStatus.s8AutoShutter != 0) {
        home_set_image(win, "image_QZ_shutter", "ic_stat_auto");
        home_set_visible(win, "image_QZ_shutter", TRUE);
    }
    return RET_REMOVE;
}

void home_redraw_shutter_countdown(home_state_t *home)
{
    if (stDevStatus.s8CorrectType != 0) return;
    uint32_t a = (uint32_t)stDevStatus.s8AutoShutter * 60;
    uint32_t count = ui_auto_shutter_count();
    const char *icon = "ic_stat_manual";
    if (count + 3 == a)
        icon = "ic_stat_auto_3";
    else if (count + 2 == a)
        icon = "ic_stat_auto_2";
    else if (count + 1 == a)
        icon = "ic_stat_auto_1";
    home_set_image(home->win, "image_QZ_shutter", icon);
    home_set_visible(home->win, "image_QZ_shutter", TRUE);
    home_remove_global_timer(&home->shutter_timer_id);
    home->shutter_timer_id = timer_add(on_shutter_timer, home, 500);
}

void home_redraw_usb_mode(home_state_t *home)
{
    static const char *const texts[] = {NULL, "IR-Debug", "ARM-Debug"};
    uint8_t mode = (uint8_t)stUIStatus.s8UsbMode;
    widget_t *label = home_widget(home->win, "label_current_USB");
    if (label == NULL) return;
    if (mode == 0 || mode >= ARRAY_SIZE(texts)) {
        widget_set_visible(label, FALSE);
        return;
    }
    widget_set_tr_text(label, texts[mode]);
    widget_set_visible(label, TRUE);
}

/* ---- recoil video ---- */

static void show_recoil_icon(widget_t *win)
{
    if (stDevStatus.s8RecoilState != 0) home_set_visible(win, "image_QZ_RAV", TRUE);
}

static ret_t on_rav_blink(const timer_info_t *timer)
{
    home_state_t *home = home_state_of(WIDGET(timer->ctx));
    if (home == NULL) return RET_REMOVE;
    home->Rav_count++;
    home->rav_blink = !home->rav_blink;
    home_set_visible(home->win, "image_QZ_RAV", home->rav_blink);
    if (home->Rav_count > stDevStatus.s8RecoilAfter * 10 + 20) {
        home->Rav_count = 0;
        home->timer_id_RAV = 0;
        stUIStatus.s8Record_start_end = 0;
        show_recoil_icon(home->win);
        return RET_REMOVE;
    }
    return RET_REPEAT;
}

void home_redraw_recoil_recording(home_state_t *home)
{
    if (stUIStatus.s8Record_start_end) {
        if (home->timer_id_RAV == 0) {
            home->Rav_count = 0;
            home->timer_id_RAV = widget_add_timer(home->win, on_rav_blink, 500);
        }
    } else if (home->timer_id_RAV != 0) {
        widget_remove_timer(home->win, home->timer_id_RAV);
        home->timer_id_RAV = 0;
        show_recoil_icon(home->win);
    }
}

void home_redraw_recoil_icon(home_state_t *home)
{
    home_set_image(home->win, "image_QZ_RAV", stUIStatus.s8Record_prepare ? "ic_status_rav" : "ic_status_ravprepare");
    home_set_visible(home->win, "image_QZ_RAV", stDevStatus.s8RecoilState != 0);
}

int home_rav_running(void)
{
    home_state_t *home = home_state_current();
    return home != NULL && home->timer_id_RAV != 0;
}

int vesk_home_rav_running(void) { return home_rav_running(); }

/* ---- icons that only show a switch ---- */

void home_redraw_usb_connect(home_state_t *home)
{
    home_set_visible(home->win, "image_QZ_usb_connect", stUIStatus.s8BatteryType == 1);
}

void home_redraw_wifi(home_state_t *home)
{
    home_set_visible(home->win, "image_QZ_wifi", stDevStatus.s8WiFiSwitch == 1);
}

void home_redraw_auto_shutter(home_state_t *home)
{
    home_set_visible(home->win, "image_QZ_shutter", stDevStatus.s8AutoShutter != 0);
}

void home_redraw_micro(home_state_t *home)
{
    home_set_visible(home->win, "image_QZ_mic", stDevStatus.s8MicroSwitch == 1);
}

void home_redraw_standby(home_state_t *home)
{
    home_set_visible(home->win, "view_standby", stDevStatus.s8ScreenOff == 1);
}
