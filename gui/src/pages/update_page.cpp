// "QZ_updata": the update page. Every update frame of the device raises user
// event 57; the page then moves one step through its table and shows the
// step's picture. Steps that end the update wait for the function key,
// which asks the device to reboot three seconds later.
#include "update_page.h"

#include <stdio.h>
#include <string.h>

#include "navigator.h"
#include "pages.h"
#include "ui_events.h"
#include "ui_keys.h"
#include "ui_senders.h"
#include "ui_status.h"
#include "utils_common.h"
#include "vesk_page.h"

int16_t QZ_updata_index;
uint32_t vesk_reboot_timer_id;
widget_t *vesk_update_error_label;

#define UPDATE_REBOOT_MS 3000
/* Battery value (10 mV units) from which an update may run. */
#define UPDATE_BATTERY_ENOUGH 730
/* Get_StorageData's answer for less than 200 MiB free. */
#define UPDATE_STORAGE_LOW 1
/* The picture shown while the reboot is on its way. */
#define UPDATE_PICTURE_REBOOT 15
/* The check value the page starts with, before its own check. */
#define UPDATE_CHECK_INITIAL 5
/* Confirm values: go on, or give up and restart. */
#define UPDATE_CONFIRM_GO 0
#define UPDATE_CONFIRM_CANCEL 1
#define VESK_OUTCOME_RECOVERY_REQUIRED 2
#define VESK_REASON_BOOT 9
/* A state that matches any reported state. */
#define UPDATE_ANY_STATE (-1)

enum { STEP_CHECK = 0, STEP_CONFIRM = 6, STEP_INSTALL = 7, STEP_DONE = 14 };

/* The first check: the step and the check value sent, indexed by storage
 * low, then battery low. */
static const struct {
    int16_t step;
    char check;
} s_first_check[2][2] = {
    {{4, 0}, {2, 2}}, /* storage enough: battery enough, battery low */
    {{1, 1}, {3, 1}}, /* storage low: battery enough, battery low */
};

/* The steps that follow the device: from a step, the state that leads on. */
static const struct {
    int16_t step;
    int state;
    int16_t next;
} s_transitions[] = {
    {4, 0, 6},   {4, 1, 5},   {7, 2, 8},
    {7, 3, 9},   {8, 4, 10},  {8, 5, 11},
    {10, 6, 12}, {10, 7, 13}, {12, UPDATE_ANY_STATE, STEP_DONE},
};

/* Steps where the function key only restarts the scope: the update is over
 * or cannot run. */
static const int16_t s_reboot_steps[] = {1, 2, 3, 5, 9, 11, 13};

static void show_picture(widget_t *win, int index)
{
    char name[32];
    snprintf(name, sizeof name, "image_updata_%d", index);
    printf("updata_image_name ======%s\n", name);
    vesk_page_set_image(win, "image_updata", name);
}

static int storage_low(void)
{
    int used = 0, total = 0;
    return Get_StorageData(&used, &total) == UPDATE_STORAGE_LOW;
}

static void first_check(void)
{
    int low_storage = storage_low();
    int low_battery = stUIStatus.s16BatteryValue < UPDATE_BATTERY_ENOUGH;
    QZ_updata_index = s_first_check[low_storage][low_battery].step;
    stUIStatus.s8Updata_check = s_first_check[low_storage][low_battery].check;
    GUI_SEND_UPDATA_MSG(UPDATA_CHECK);
}

static void follow_state(void)
{
    for (size_t i = 0; i < ARRAY_SIZE(s_transitions); i++) {
        if (s_transitions[i].step != QZ_updata_index) continue;
        if (s_transitions[i].state != UPDATE_ANY_STATE && s_transitions[i].state != stUIStatus.s8Updata_state) continue;
        QZ_updata_index = s_transitions[i].next;
        return;
    }
}

ret_t QZ_updata_index_switch(void *ctx, event_t *e)
{
    (void)e;
    widget_t *win = WIDGET(ctx);
    if (QZ_updata_index == STEP_CHECK)
        first_check();
    else
        follow_state();
    show_picture(win, QZ_updata_index);
    return RET_OK;
}

static ret_t on_reboot_timer(const timer_info_t *timer)
{
    (void)timer;
    vesk_reboot_timer_id = 0;
    GUI_SEND_BASIC_FUNCTION_MSG(BASIC_REBOOT);
    return RET_REMOVE;
}

void vesk_arm_reboot_timer(widget_t *win)
{
    if (vesk_reboot_timer_id != 0) return;
    vesk_reboot_timer_id = widget_add_timer(win, on_reboot_timer, UPDATE_REBOOT_MS);
}

static void stop_reboot_timer(void)
{
    if (vesk_reboot_timer_id == 0) return;
    timer_remove(vesk_reboot_timer_id);
    vesk_reboot_timer_id = 0;
}

static int is_reboot_step(int16_t step)
{
    for (size_t i = 0; i < ARRAY_SIZE(s_reboot_steps); i++)
        if (s_reboot_steps[i] == step) return 1;
    return 0;
}

static void send_confirm(char value)
{
    stUIStatus.s8Updata_confirm = value;
    GUI_SEND_UPDATA_MSG(UPDATA_CONFIRM);
}

static ret_t on_updata_key(void *ctx, event_t *e)
{
    widget_t *win = WIDGET(ctx);
    key_event_t *key = key_event_cast(e);
    if (key == NULL) return RET_OK;
    switch (key->key) {
    case GUI_KEY_FUCTION_S:
        if (is_reboot_step(QZ_updata_index)) {
            show_picture(win, UPDATE_PICTURE_REBOOT);
            vesk_arm_reboot_timer(win);
        } else if (QZ_updata_index == STEP_CONFIRM) {
            /* The picture of the next step follows with the device's
             * next state. */
            QZ_updata_index = STEP_INSTALL;
            send_confirm(UPDATE_CONFIRM_GO);
        }
        break;
    case GUI_KEY_POWER_S:
        if (QZ_updata_index == STEP_CONFIRM) {
            show_picture(win, UPDATE_PICTURE_REBOOT);
            send_confirm(UPDATE_CONFIRM_CANCEL);
            vesk_arm_reboot_timer(win);
        }
        break;
    case GUI_KEY_POWER_L:
        if (QZ_updata_index == STEP_DONE) {
            widget_t *top = window_manager_get_top_window(window_manager());
            snprintf(stUIStatus.temp_window, sizeof stUIStatus.temp_window, "%s",
                     top != NULL && top->name != NULL ? top->name : "");
            navigator_to("QZ_SHUT_DOWN");
        }
        break;
    default:
        break;
    }
    return RET_OK;
}

static void show_recovery_required(widget_t *win)
{
    if (vesk_update_error_label == NULL) {
        widget_t *label = label_create(win, 243, 308, 794, 160);
        return_if_fail(label != NULL);
        widget_set_name(label, "vesk_label_update_error");
        label_set_line_wrap(label, TRUE);
        label_set_word_wrap(label, TRUE);
        widget_set_style_int(label, "normal:text_align_h", ALIGN_H_CENTER);
        widget_set_style_int(label, "normal:font_size", 32);
        widget_set_style_color(label, "normal:text_color", color_init(0xFF, 0xFF, 0xFF, 0xFF).color);
        widget_set_style_color(label, "normal:bg_color", color_init(0x00, 0x00, 0x00, 0xFF).color);
        widget_set_style_int(label, "normal:round_radius", 8);
        vesk_update_error_label = label;
    }
    widget_set_style_str(vesk_update_error_label, "normal:font_name", vesk_page_text_font());
    widget_set_tr_text(vesk_update_error_label, "vesk_recovery_required");
    widget_set_visible(vesk_update_error_label, TRUE);
}

static ret_t on_updata_lifecycle(void *ctx, event_t *e)
{
    (void)e;
    if (stUIStatus.vesk_lifecycle_status != VESK_OUTCOME_RECOVERY_REQUIRED ||
        stUIStatus.vesk_lifecycle_reason == VESK_REASON_BOOT) {
        stop_reboot_timer();
        navigator_back_to_home();
        return RET_OK;
    }
    show_recovery_required(WIDGET(ctx));
    return RET_OK;
}

static ret_t updata_visit(void *ctx, const void *data)
{
    widget_t *w = WIDGET(data);
    if (w->name == NULL || strcmp(w->name, "image_updata") != 0) return RET_OK;
    image_base_set_image(w, "image_updata_0");
    static const int events[] = {UI_EV_UPDATE};
    vesk_page_subscribe(WIDGET(ctx), events, ARRAY_SIZE(events), QZ_updata_index_switch);
    return RET_OK;
}

/* The label goes with the window; a later opening makes its own. */
static ret_t on_updata_close(void *ctx, event_t *e)
{
    (void)ctx, (void)e;
    vesk_update_error_label = NULL;
    vesk_reboot_timer_id = 0;
    return RET_OK;
}

ret_t QZ_updata_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    vesk_reboot_timer_id = 0;
    vesk_update_error_label = NULL;
    widget_foreach(win, updata_visit, win);
    QZ_updata_index = STEP_CHECK;
    stUIStatus.s8Updata_check = UPDATE_CHECK_INITIAL;
    widget_on(win, EVT_KEY_DOWN, on_updata_key, win);
    static const int events[] = {UI_EV_LIFECYCLE};
    vesk_page_subscribe(win, events, ARRAY_SIZE(events), on_updata_lifecycle);
    vesk_page_bind_close(win, on_updata_close);
    return RET_OK;
}
