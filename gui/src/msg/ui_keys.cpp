#include "ui_keys.h"

#include <stdio.h>
#include <string.h>

#include "ui_pages.h"
#include "ui_senders.h"
#include "ui_status.h"

static const struct {
    uint8_t device;
    const char *trace;
    uint32_t gui;
} ui_key_map[] = {
    {KEY_FOCUS_UP_S, "up short", GUI_KEY_FOCUS_UP_S},
    {KEY_FOCUS_UP_L, "up long", GUI_KEY_FOCUS_UP_L},
    {KEY_FOCUS_UP_L_POP, "up long pop", GUI_KEY_UP_L_Release},
    {KEY_FOCUS_DOWN_S, "down short", GUI_KEY_FOCUS_DOWN_S},
    {KEY_FOCUS_DOWN_L, "down long", GUI_KEY_FOCUS_DOWN_L},
    {KEY_FOCUS_DOWN_L_POP, "down long pop", GUI_KEY_DOWN_L_Release},
    {KEY_POWER_S, "power short", GUI_KEY_POWER_S},
    {KEY_POWER_L, "power long", GUI_KEY_POWER_L},
    {KEY_POWER_L_POP, "power long pop", GUI_KEY_POWER_L_POP},
    {KEY_PHOTO_S, "photo short", GUI_KEY_PHOTO_S},
    {KEY_PHOTO_L, "photo long", GUI_KEY_PHOTO_L},
    {KEY_PHOTO_L_POP, "photo long pop", GUI_KEY_PHOTO_L_POP},
    {KEY_FUCTION_S, "fuction short", GUI_KEY_FUCTION_S},
    {KEY_FUCTION_L, "fuction long", GUI_KEY_FUCTION_L},
    {KEY_FUCTION_L_POP, "fuction long pop", GUI_KEY_FUCTION_L_POP},
    {KEY_RANGE_S, "range short", GUI_KEY_RANGE_S},
    {KEY_RANGE_L, "range long", GUI_KEY_RANGE_L},
    {KEY_RANGE_L_POP, "range long POP", GUI_KEY_RANGE_L_POP},
    {KEY_LEFT_DOWN_S, "range fuction short", GUI_KEY_LEFT_DOWN_S},
    {KEY_POWER_CLICK_DOUBLE, "POWER_CLICK_DOUBLE", GUI_KEY_POWER_CLICK_DOUBLE},
    {KEY_LEFT_RIGHT_S, "range photo short", GUI_KEY_LEFT_RIGHT_S},
    {KEY_UP_DOWN_MID_L, "up down long pop", GUI_KEY_UP_DOWN_FUCTION},
    {KEY_RANGE_POWER_S, "UP POWER short", GUI_KEY_RANGE_POWER_S},
    {KEY_FOCUS_LEFT_S, "left short", GUI_KEY_LEFT_S},
    {KEY_FOCUS_LEFT_L, "left long", GUI_KEY_LEFT_L},
    {KEY_FOCUS_LEFT_L_POP, "left long pop", GUI_KEY_LEFT_L_POP},
    {KEY_FOCUS_RIGHT_S, "right short", GUI_KEY_RIGHT_S},
    {KEY_FOCUS_RIGHT_L, "right long", GUI_KEY_RIGHT_L},
    {KEY_FOCUS_RIGHT_L_POP, "right long pop", GUI_KEY_RIGHT_L_POP},
    {KEY_FOCUS_MID_S, "mid short", GUI_KEY_MID_S},
    {KEY_FOCUS_MID_L, "mid long", GUI_KEY_MID_L},
    {KEY_FOCUS_MID_L_POP, "mid long pop", GUI_KEY_MID_L_POP},
    {KEY_RANGE_DOUBLE, "range double", GUI_KEY_RANGE_DOUBLE},
};

/* Pages the power long press never leaves for the countdown. */
static const char *const ui_no_countdown_pages[] = {"shut_down_low_power", "shut_down_low_temp", "Boot_logo"};
/* Pages whose work must not be interrupted: no countdown, but the key
 * still reaches them. */
static const char *const ui_busy_pages[] = {"memory_format_restart", "QZ_format_restart", "restoring", "QZ_updata"};

static int name_in(const char *name, const char *const *list, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        if (strcmp(name, list[i]) == 0) return 1;
    }
    return 0;
}

static int find_key(int device_code)
{
    for (size_t i = 0; i < sizeof(ui_key_map) / sizeof(ui_key_map[0]); i++) {
        if (ui_key_map[i].device == device_code) return (int)i;
    }
    return -1;
}

uint32_t ui_key_gui_code(int device_code)
{
    int i = find_key(device_code);
    return i < 0 ? 0 : ui_key_map[i].gui;
}

static void inject(uint32_t key)
{
    main_loop_post_key_event(main_loop(), TRUE, key);
    main_loop_post_key_event(main_loop(), FALSE, key);
}

int vesk_gui_power_long_unsaved(widget_t *top)
{
    int open = vesk_gui_force_until_ms != 0 && time_now_ms() < vesk_gui_force_until_ms;
    if (!open && !stUIStatus.vesk_recovery_latched) return 0;
    vesk_gui_force_until_ms = 0;
    if (top != NULL && top->name != NULL && strcmp(top->name, VESK_SHUTDOWN_PAGE) == 0) {
        if (stUIStatus.timer_id_shutdown != 0) {
            timer_remove(stUIStatus.timer_id_shutdown);
            stUIStatus.timer_id_shutdown = 0;
        }
        stUIStatus.shutdown_count = 0;
    }
    if (open) {
        event_t e = event_init((uint32_t)UI_EVT(UI_EV_UNSAVED_POWER_OFF), NULL);
        widget_dispatch(window_manager(), &e);
    }
    vesk_gui_request_shutdown(1);
    return 1;
}

static widget_t *top_window(void) { return window_manager_get_top_window(window_manager()); }

void key_func(const uint8_t *frame, int length)
{
    if (length < 10) return;
    int code = frame[6];
    int i = find_key(code);
    if (i < 0) return;
    printf("%s\n", ui_key_map[i].trace);

    if (code == KEY_POWER_L) {
        widget_t *top = top_window();
        if (top != NULL && top->name != NULL && *top->name != '\0' &&
            !name_in(top->name, ui_no_countdown_pages,
                     sizeof(ui_no_countdown_pages) / sizeof(ui_no_countdown_pages[0]))) {
            if (vesk_gui_power_long_unsaved(top)) return;
            if (!name_in(top->name, ui_busy_pages, sizeof(ui_busy_pages) / sizeof(ui_busy_pages[0]))) {
                snprintf(stUIStatus.temp_window, sizeof(stUIStatus.temp_window), "%s", top->name);
                ui_open_page(VESK_SHUTDOWN_PAGE);
            }
        }
        inject(GUI_KEY_POWER_L);
        return;
    }
    if (code == KEY_POWER_CLICK_DOUBLE) {
        stDevStatus.s8CorrectType = 0;
        GUI_SEND_INFRARED_MSG(INFRARED_CORRECT);
    }
    inject(ui_key_map[i].gui);
    if (code == KEY_FUCTION_L) GUI_SEND_PARAM_FUNCTION_MSG(SAVE_ALLPARAM);
}

void ui_key_report(const uint8_t *frame, int length)
{
    if (length < 10) return;
    if (stUIStatus.s8InterfaceState == INTERFACE_AOD) {
        /* The first key only wakes the screen. */
        stUIStatus.s8InterfaceState = INTERFACE_OBSERVE;
        GUI_SEND_BASIC_FUNCTION_MSG(BASIC_AUTO_SCREEN);
        return;
    }
    widget_t *top = top_window();
    const char *name = top != NULL && top->name != NULL ? top->name : "";
    if (strcmp(name, "shut_down_low_power") == 0 || strcmp(name, "shut_down_low_temp") == 0) return;
    if (strcmp(name, VESK_SHUTDOWN_PAGE) == 0) {
        int code = frame[6];
        if (code == KEY_POWER_L && vesk_gui_power_long_unsaved(top)) return;
        if (code == KEY_POWER_L_POP || stUIStatus.shutdown_count > 2) return;
        stUIStatus.shutdown_count = 0;
        ui_switch_to_page(stUIStatus.temp_window, TRUE);
        printf("ret==========%d\n", (int)stUIStatus.timer_id_shutdown);
        return;
    }
    key_func(frame, length);
}
