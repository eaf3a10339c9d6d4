// The recoil-activated video menus: "rav_menu" switches the feature and
// sets the seconds kept before and after the shot and the recoil
// sensitivity; "recoil_menu" is the same settings as a five-row page with
// an exit row, whose time rows stand disabled while the feature is off.
// sightd passes every change on to the media process, which records.
#include <stdio.h>

#include "list_menu.h"
#include "pages.h"
#include "ui_keys.h"
#include "ui_senders.h"
#include "ui_status.h"
#include "utils_common.h"
#include "vesk_page.h"

#define RAV_ROW_H 56
#define RAV_BAR_W 364
/* Get_StorageData's answer for less than 200 MiB free. */
#define RAV_STORAGE_FULL 1
#define RAV_TIME_STEPS 3
#define RAV_SENSITIVITY_MAX 5

/* The switch goes on only with room for the clips. */
static void recoil_switch_on_if_room(void)
{
    int used = 0, total = 0;
    if (stDevStatus.s8RecoilState == 1 && Get_StorageData(&used, &total) == RAV_STORAGE_FULL)
        stDevStatus.s8RecoilState = 0;
}

/* Seconds before or after the shot: 5, 10 or 15 (stored 0..2). */
static void write_seconds(widget_t *value, char stored, const char *format)
{
    if (value == NULL) return;
    int v = (uint8_t)stored;
    char text[16];
    snprintf(text, sizeof text, format, 5 * v + 5);
    widget_set_text_utf8(value, text);
}

static void write_number(widget_t *value, char stored)
{
    if (value == NULL) return;
    char text[8];
    snprintf(text, sizeof text, "%d", (int)(uint8_t)stored);
    widget_set_text_utf8(value, text);
}

static void write_switch(widget_t *value)
{
    if (value != NULL) widget_set_text_utf8(value, list_menu_switch_text(stDevStatus.s8RecoilState == 1));
}

/* ---- rav_menu ---- */

typedef void (*rav_menu_key_t)(widget_t *win, widget_t *value, uint32_t key);
typedef void (*rav_menu_init_t)(widget_t *win, widget_t *value);

typedef struct {
    const char *label_name;
    const char *value_name;
    rav_menu_key_t on_key_event;
    rav_menu_init_t on_init;
} rav_menu_item_t;

#define RAV_MENU_ROWS 4

static int32_t rav_menu_index = 1;

static void rav_key_switch(widget_t *win, widget_t *value, uint32_t key)
{
    (void)win, (void)value, (void)key;
    stDevStatus.s8RecoilState = stDevStatus.s8RecoilState == 1 ? 0 : 1;
    recoil_switch_on_if_room();
    GUI_SEND_RECOIL_MSG(RECOIL_SWITCH);
}

/* '[' one back, ']' and ',' one on, over 0..2 with wrap. */
static void step_seconds(char *stored, int item, uint32_t key)
{
    uint8_t v = (uint8_t)*stored;
    if (key == GUI_KEY_LEFT_S)
        v = v == 0 || v >= RAV_TIME_STEPS ? RAV_TIME_STEPS - 1 : (uint8_t)(v - 1);
    else
        v = v < RAV_TIME_STEPS - 1 ? (uint8_t)(v + 1) : 0;
    *stored = (char)v;
    GUI_SEND_RECOIL_MSG(item);
}

static void rav_key_before(widget_t *win, widget_t *value, uint32_t key)
{
    (void)win, (void)value;
    step_seconds(&stDevStatus.s8RecoilBefore, RECOIL_BEFORE, key);
}

static void rav_key_after(widget_t *win, widget_t *value, uint32_t key)
{
    (void)win, (void)value;
    step_seconds(&stDevStatus.s8RecoilAfter, RECOIL_AFTER, key);
}

static void rav_key_sensitivity(widget_t *win, widget_t *value, uint32_t key)
{
    (void)win, (void)value;
    uint8_t v = (uint8_t)stDevStatus.s8RecoilSensitivity;
    if (key == GUI_KEY_LEFT_S)
        v = v < 2 || v > RAV_SENSITIVITY_MAX ? RAV_SENSITIVITY_MAX : (uint8_t)(v - 1);
    else
        v = v < RAV_SENSITIVITY_MAX ? (uint8_t)(v + 1) : 1;
    stDevStatus.s8RecoilSensitivity = (char)v;
    GUI_SEND_RECOIL_MSG(RECOIL_SENSITIVITY);
}

static void rav_init_switch(widget_t *win, widget_t *value)
{
    (void)win;
    write_switch(value);
}
static void rav_init_before(widget_t *win, widget_t *value)
{
    (void)win;
    write_seconds(value, stDevStatus.s8RecoilBefore, "%ds");
}
static void rav_init_after(widget_t *win, widget_t *value)
{
    (void)win;
    write_seconds(value, stDevStatus.s8RecoilAfter, "%ds");
}
static void rav_init_sensitivity(widget_t *win, widget_t *value)
{
    (void)win;
    write_number(value, stDevStatus.s8RecoilSensitivity);
}

static const rav_menu_item_t s_rav_menu_items[RAV_MENU_ROWS] = {
    {"label_compass_Switch_name", "label_compass_Switch_value", rav_key_switch, rav_init_switch},
    {"label_time_before_recoil_name", "label_time_before_recoil_value", rav_key_before, rav_init_before},
    {"label_time_after_recoil_name", "label_time_after_recoil_value", rav_key_after, rav_init_after},
    {"label_sensitivity_name", "label_sensitivity_value", rav_key_sensitivity, rav_init_sensitivity},
};

static void rav_menu_draw(widget_t *win)
{
    int32_t i = rav_menu_index;
    widget_t *bar = vesk_page_widget(win, "view_rav_sel");
    if (bar != NULL) widget_move(bar, bar->x, (i - 1) * RAV_ROW_H);
    for (int r = 0; r < RAV_MENU_ROWS; r++) {
        const rav_menu_item_t *row = &s_rav_menu_items[r];
        bool_t selected = r + 1 == i;
        row->on_init(win, vesk_page_widget(win, row->value_name));
        vesk_page_set_style(win, row->label_name, selected ? LIST_MENU_LABEL_SEL : LIST_MENU_LABEL_DEF);
        vesk_page_set_style(win, row->value_name, selected ? LIST_MENU_VALUE_SEL : LIST_MENU_VALUE_DEF);
    }
}

static uint32_t rav_menu_rows(void) { return RAV_MENU_ROWS; }

static void rav_menu_row_key(widget_t *win, uint32_t key)
{
    int32_t i = rav_menu_index;
    if (i < 1 || i > RAV_MENU_ROWS) return;
    const rav_menu_item_t *row = &s_rav_menu_items[i - 1];
    row->on_key_event(win, vesk_page_widget(win, row->value_name), key);
}

static const list_menu_t s_rav_menu = {
    NULL, &rav_menu_index, rav_menu_rows, rav_menu_row_key, rav_menu_draw, TRUE, NULL, NULL, "main_menu", 0, NULL,
};

ret_t rav_menu_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    rav_menu_index = 1;
    rav_menu_draw(win);
    list_menu_bind(win, &s_rav_menu);
    vesk_page_bind_close(win, NULL);
    return RET_OK;
}

/* ---- recoil_menu ---- */

enum { RECOIL_ROW_SWITCH = 1, RECOIL_ROW_BEFORE, RECOIL_ROW_AFTER, RECOIL_ROW_SENSITIVITY, RECOIL_ROW_EXIT };
#define RECOIL_MENU_ROWS 5

static int32_t recoil_menu_index = RECOIL_ROW_SWITCH;

typedef struct {
    const char *label_name;
    const char *value_name; /* NULL for the exit row */
} recoil_menu_item_t;

static const recoil_menu_item_t s_recoil_menu_items[RECOIL_MENU_ROWS] = {
    {"label_recoil_switch", "label_recoil_switch_state"},
    {"label_recoil_before", "label_before_time"},
    {"label_recoil_after", "label_after_time"},
    {"label_recoil_Sensitivity", "label_sensitivity"},
    {"label_recoil_Exit", NULL},
};

static void recoil_menu_draw(widget_t *win)
{
    int32_t i = recoil_menu_index;
    vesk_page_move_resize(win, "view_recoil_menu_sel", 0, (i - 1) * RAV_ROW_H, RAV_BAR_W, RAV_ROW_H);
    write_switch(vesk_page_widget(win, "label_recoil_switch_state"));
    write_seconds(vesk_page_widget(win, "label_before_time"), stDevStatus.s8RecoilBefore, "%d s");
    write_seconds(vesk_page_widget(win, "label_after_time"), stDevStatus.s8RecoilAfter, "%d s");
    write_number(vesk_page_widget(win, "label_sensitivity"), stDevStatus.s8RecoilSensitivity);
    bool_t on = stDevStatus.s8RecoilState == 1;
    for (int r = 0; r < RECOIL_MENU_ROWS; r++) {
        const recoil_menu_item_t *row = &s_recoil_menu_items[r];
        bool_t timed = r + 1 >= RECOIL_ROW_BEFORE && r + 1 <= RECOIL_ROW_SENSITIVITY;
        const char *state = timed && !on ? WIDGET_STATE_DISABLE
                            : r + 1 == i ? WIDGET_STATE_FOCUSED
                                         : WIDGET_STATE_NORMAL;
        vesk_page_set_state(win, row->label_name, state);
        if (row->value_name != NULL) vesk_page_set_state(win, row->value_name, state);
    }
}

static uint32_t recoil_menu_rows(void) { return RECOIL_MENU_ROWS; }

/* With the feature off only the switch and the exit can be chosen. */
static ret_t recoil_menu_key_first(widget_t *win, uint32_t key)
{
    if (stDevStatus.s8RecoilState == 1) return RET_NOT_FOUND;
    if (key != GUI_KEY_FOCUS_UP_S && key != GUI_KEY_FOCUS_DOWN_S) return RET_NOT_FOUND;
    recoil_menu_index = recoil_menu_index == RECOIL_ROW_SWITCH ? RECOIL_ROW_EXIT : RECOIL_ROW_SWITCH;
    recoil_menu_draw(win);
    return RET_OK;
}

static void advance(char *stored, int count, int first, int item)
{
    uint8_t v = (uint8_t)*stored;
    *stored = (char)(v >= first && v < first + count - 1 ? v + 1 : first);
    GUI_SEND_RECOIL_MSG(item);
}

static void recoil_menu_row_key(widget_t *win, uint32_t key)
{
    (void)win;
    if (key != GUI_KEY_MID_S) return;
    switch (recoil_menu_index) {
    case RECOIL_ROW_SWITCH:
        stDevStatus.s8RecoilState = stDevStatus.s8RecoilState == 1 ? 0 : 1;
        recoil_switch_on_if_room();
        GUI_SEND_RECOIL_MSG(RECOIL_SWITCH);
        break;
    case RECOIL_ROW_BEFORE:
        advance(&stDevStatus.s8RecoilBefore, RAV_TIME_STEPS, 0, RECOIL_BEFORE);
        break;
    case RECOIL_ROW_AFTER:
        advance(&stDevStatus.s8RecoilAfter, RAV_TIME_STEPS, 0, RECOIL_AFTER);
        break;
    case RECOIL_ROW_SENSITIVITY:
        advance(&stDevStatus.s8RecoilSensitivity, RAV_SENSITIVITY_MAX, 1, RECOIL_SENSITIVITY);
        break;
    case RECOIL_ROW_EXIT:
        list_menu_replace("main_menu", 0);
        break;
    default:
        break;
    }
}

static const list_menu_t s_recoil_menu = {
    NULL,
    &recoil_menu_index,
    recoil_menu_rows,
    recoil_menu_row_key,
    recoil_menu_draw,
    TRUE,
    NULL,
    recoil_menu_key_first,
    "main_menu",
    0,
    NULL,
};

ret_t recoil_menu_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    recoil_menu_index = RECOIL_ROW_SWITCH;
    recoil_menu_draw(win);
    list_menu_bind(win, &s_recoil_menu);
    vesk_page_bind_close(win, NULL);
    return RET_OK;
}
