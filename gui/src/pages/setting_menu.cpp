// The settings menu.
#include "setting_menu.h"

#include <stdio.h>
#include <string.h>

#include "home_page.h"
#include "list_menu.h"
#include "lrf_menu.h"
#include "navigator.h"
#include "pages.h"
#include "ui_events.h"
#include "ui_keys.h"
#include "ui_senders.h"
#include "ui_status.h"
#include "vesk_debug.h"
#include "vesk_debug_gui.h"
#include "vesk_page.h"

uint8_t setting_menu_index = 1;

typedef void (*qz_settings_enter_t)(widget_t *win, widget_t *value, uint32_t key);
typedef void (*qz_settings_init_t)(widget_t *win, widget_t *value);

typedef struct {
    const char *label_name;
    const char *value_name;
    qz_settings_enter_t on_enter;
    qz_settings_init_t on_init;
} qz_settings_item_t;

#define SETTING_ROWS 11
#define SETTING_PAGE_ROWS 6
#define SETTING_ROW_H 56
#define SETTING_BAR_W 364
/* Page 2 starts lower: its bar is offset by this much. */
#define SETTING_PAGE2_Y 84
#define AUTO_SHUTTER_STEP 5
#define AUTO_SHUTTER_MAX 30

static void write_switch(widget_t *value, char flag)
{
    if (value != NULL) widget_set_text_utf8(value, list_menu_switch_text(flag == 1));
}

/* A switch row: any of its keys inverts the flag and sends it. */
static void toggle(widget_t *value, char *flag, void (*send)(void))
{
    *flag = *flag == 1 ? 0 : 1;
    send();
    write_switch(value, *flag);
}

static void send_video_out(void) { GUI_SEND_BASIC_FUNCTION_MSG(BASIC_CVBS_MODE); }
static void send_micro(void) { GUI_SEND_BASIC_FUNCTION_MSG(BASIC_MICRO); }
static void send_protect(void) { GUI_SEND_INFRARED_MSG(INFRARED_LIGHTPAOTECT); }

static void init_video(widget_t *win, widget_t *value)
{
    (void)win;
    write_switch(value, stDevStatus.s8VideoOut);
}
static void enter_video(widget_t *win, widget_t *value, uint32_t key)
{
    (void)win, (void)key;
    toggle(value, &stDevStatus.s8VideoOut, send_video_out);
}

static void init_auto_shutter(widget_t *win, widget_t *value)
{
    (void)win;
    char text[8];
    snprintf(text, sizeof text, "%d", (int)(uint8_t)stDevStatus.s8AutoShutter);
    if (value != NULL) widget_set_text_utf8(value, text);
}

int setting_auto_shutter_step(uint8_t stored, uint32_t key)
{
    int v = stored - stored % AUTO_SHUTTER_STEP;
    if (v > AUTO_SHUTTER_MAX) v = AUTO_SHUTTER_MAX;
    if (key == GUI_KEY_LEFT_S) return v == 0 ? AUTO_SHUTTER_MAX : v - AUTO_SHUTTER_STEP;
    return v == AUTO_SHUTTER_MAX ? 0 : v + AUTO_SHUTTER_STEP;
}

static void enter_auto_shutter(widget_t *win, widget_t *value, uint32_t key)
{
    stDevStatus.s8AutoShutter = (char)setting_auto_shutter_step((uint8_t)stDevStatus.s8AutoShutter, key);
    GUI_SEND_INFRARED_MSG(INFRARED_AUTOSHUTTER);
    init_auto_shutter(win, value);
}

static void init_micro(widget_t *win, widget_t *value)
{
    (void)win;
    write_switch(value, stDevStatus.s8MicroSwitch);
}
static void enter_micro(widget_t *win, widget_t *value, uint32_t key)
{
    (void)win, (void)key;
    toggle(value, &stDevStatus.s8MicroSwitch, send_micro);
}

static void init_protect(widget_t *win, widget_t *value)
{
    (void)win;
    write_switch(value, stDevStatus.s8Stronglight_protect);
}
static void enter_protect(widget_t *win, widget_t *value, uint32_t key)
{
    (void)win, (void)key;
    toggle(value, &stDevStatus.s8Stronglight_protect, send_protect);
}

static void init_nothing(widget_t *win, widget_t *value) { (void)win, (void)value; }

/* Setting the clock while a video is written would cut its time line. */
static void enter_date_time(widget_t *win, widget_t *value, uint32_t key)
{
    (void)win, (void)value;
    if (!list_menu_is_link_key(key)) return;
    if (stUIStatus.s8RecordingState == 1 || home_rav_running()) {
        event_distrubution(UI_EVT(UI_EV_RECORDING_TIP));
        return;
    }
    list_menu_replace("DataTime", 0);
}

static void enter_reset(widget_t *win, widget_t *value, uint32_t key)
{
    (void)win, (void)value;
    if (list_menu_is_link_key(key)) list_menu_replace("restore_factory", 0);
}

static void init_language(widget_t *win, widget_t *value)
{
    (void)win;
    if (value != NULL) widget_set_text_utf8(value, stDevStatus.s8Language == 0 ? "English" : "Русский");
}

static void init_all(widget_t *win);

static void enter_language(widget_t *win, widget_t *value, uint32_t key)
{
    (void)key;
    const char *lang = locale_info()->language;
    if (strcmp(lang, "en") == 0) {
        locale_info_change(locale_info(), "ru", "RU");
        stDevStatus.s8Language = 2;
    } else if (strcmp(lang, "ru") == 0) {
        locale_info_change(locale_info(), "en", "US");
        stDevStatus.s8Language = 0;
    } else {
        log_debug("change language fail\n");
    }
    GUI_SEND_BASIC_FUNCTION_MSG(BASIC_LANGUAGE);
    init_language(win, value);
    /* The switch texts are translated when written. */
    init_all(win);
}

static void enter_info(widget_t *win, widget_t *value, uint32_t key)
{
    (void)win, (void)value;
    if (list_menu_is_link_key(key)) list_menu_replace("Info_menu", 0);
}

static void enter_format(widget_t *win, widget_t *value, uint32_t key)
{
    (void)win, (void)value;
    if (list_menu_is_link_key(key)) list_menu_replace("memory_menu", 0);
}

static void enter_lrf(widget_t *win, widget_t *value, uint32_t key)
{
    (void)win, (void)value;
    if (!list_menu_is_link_key(key)) return;
    lrf_menu_index = 1;
    list_menu_replace("lrf_menu", 0);
}

static void init_debug(widget_t *win, widget_t *value)
{
    (void)win;
    write_switch(value, vesk_debug_enabled() ? 1 : 0);
}

/* The value follows the reply (user event 75), not the request. */
static void enter_debug(widget_t *win, widget_t *value, uint32_t key)
{
    (void)win, (void)value, (void)key;
    vesk_debug_gui_request(vesk_debug_enabled() ? 0 : 1);
}

static const qz_settings_item_t s_qz_settings_items[SETTING_ROWS] = {
    {"label_video", "label_video_switch", enter_video, init_video},
    {"label_auto_shutter", "label_auto_shutter_switch", enter_auto_shutter, init_auto_shutter},
    {"label_microphone", "label_microphone_switch", enter_micro, init_micro},
    {"label_ir_protection", "label_ir_protection_switch", enter_protect, init_protect},
    {"label_data_time", "label_data_time_enter", enter_date_time, init_nothing},
    {"label_reset", "label_reset_enter", enter_reset, init_nothing},
    {"label_language", "label_language_state", enter_language, init_language},
    {"label_Info", "label_Info_enter", enter_info, init_nothing},
    {"label_format", "label_format_enter", enter_format, init_nothing},
    {"label_lrf", "label_lrf_enter", enter_lrf, init_nothing},
    {"vesk_label_debug", "vesk_label_debug_value", enter_debug, init_debug},
};

static void init_all(widget_t *win)
{
    for (int r = 0; r < SETTING_ROWS; r++)
        s_qz_settings_items[r].on_init(win, vesk_page_widget(win, s_qz_settings_items[r].value_name));
}

static void setting_menu_draw(widget_t *win)
{
    int i = setting_menu_index;
    for (int r = 0; r < SETTING_ROWS; r++) {
        vesk_page_set_style(win, s_qz_settings_items[r].label_name, LIST_MENU_LABEL_DEF);
        vesk_page_set_style(win, s_qz_settings_items[r].value_name, LIST_MENU_VALUE_DEF);
    }
    bool_t first_page = i <= SETTING_PAGE_ROWS;
    vesk_page_set_visible(win, "view_page1", first_page);
    vesk_page_set_visible(win, "view_page2", !first_page);
    if (first_page) {
        vesk_page_move_resize(win, "view_setting_sel", 0, (i - 1) * SETTING_ROW_H, SETTING_BAR_W, SETTING_ROW_H);
        vesk_page_set_image(win, "image_page", "ic_page1");
        vesk_page_move_resize(win, "image_page", 223, 810, 42, 12);
    } else {
        vesk_page_move_resize(win, "view_setting_sel", 0,
                              ((i - 1) % SETTING_PAGE_ROWS) * SETTING_ROW_H + SETTING_PAGE2_Y, SETTING_BAR_W,
                              SETTING_ROW_H);
        vesk_page_set_image(win, "image_page", "ic_page2");
        vesk_page_move_resize(win, "image_page", 223, 838, 42, 12);
    }
    if (i >= 1 && i <= SETTING_ROWS) {
        vesk_page_set_style(win, s_qz_settings_items[i - 1].label_name, LIST_MENU_LABEL_SEL);
        vesk_page_set_style(win, s_qz_settings_items[i - 1].value_name, LIST_MENU_VALUE_SEL_REGULAR);
    }
}

static uint32_t setting_menu_rows(void) { return SETTING_ROWS; }

static void setting_menu_row_key(widget_t *win, uint32_t key)
{
    int i = setting_menu_index;
    if (i < 1 || i > SETTING_ROWS) return;
    const qz_settings_item_t *row = &s_qz_settings_items[i - 1];
    row->on_enter(win, vesk_page_widget(win, row->value_name), key);
}

static const list_menu_t s_setting_menu = {
    &setting_menu_index,
    NULL,
    setting_menu_rows,
    setting_menu_row_key,
    setting_menu_draw,
    FALSE,
    NULL,
    NULL,
    "main_menu",
    0,
    NULL,
};

static ret_t on_debug_mode(void *ctx, event_t *e)
{
    (void)e;
    widget_t *win = WIDGET(ctx);
    init_debug(win, vesk_page_widget(win, "vesk_label_debug_value"));
    return RET_OK;
}

ret_t setting_menu_init(widget_t *win, void *ctx)
{
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    init_all(win);
    intptr_t row = (intptr_t)ctx;
    bool_t returning = row == SETTING_ROW_DATE_TIME || row == SETTING_ROW_RESET || row == SETTING_ROW_INFO ||
                       row == SETTING_ROW_FORMAT || row == SETTING_ROW_LRF;
    setting_menu_index = returning ? (uint8_t)row : 1;
    setting_menu_draw(win);
    list_menu_bind(win, &s_setting_menu);
    static const int events[] = {UI_EV_DEBUG_MODE};
    vesk_page_subscribe(win, events, ARRAY_SIZE(events), on_debug_mode);
    vesk_page_bind_close(win, NULL);
    vesk_debug_gui_request(255);
    return RET_OK;
}
