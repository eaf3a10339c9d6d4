// The rangefinder menu and the target choice.
#include "lrf_menu.h"

#include <stdio.h>
#include <string.h>

#include "home_page.h"
#include "list_menu.h"
#include "navigator.h"
#include "page_state.h"
#include "pages.h"
#include "setting_menu.h"
#include "ui_events.h"
#include "ui_keys.h"
#include "vesk_lrf_ui.h"
#include "vesk_page.h"

int32_t lrf_menu_index = 1;

/* Keys of vesk_lrf_ui_send_settings. */
enum { LRF_KEY_TARGET = 1, LRF_KEY_PROCESSING = 2, LRF_KEY_MIN = 3, LRF_KEY_MAX = 4 };
enum { LRF_TARGET_FIRST = 1, LRF_TARGET_LAST = 2, LRF_TARGET_MULTI = 3 };

#define LRF_ROWS 4
#define LRF_ROW_H 56
#define LRF_STEP_M 10
#define LRF_BOUND_LOW 10
#define LRF_BOUND_HIGH 20000
#define LRF_DIGITS 5
#define LRF_DIGIT_Y_MIN 126
#define LRF_DIGIT_Y_MAX 182
#define LRF_UNIT_X 482
#define LRF_CURSOR_W 16
#define LRF_CURSOR_H 28

typedef struct {
    int row_id;
    const char *name_widget;
    const char *value_widget;
    void (*on_key_event)(widget_t *win, uint32_t key);
    void (*on_update)(widget_t *win);
} vesk_lrf_row_config_t;

/* The digit editor of a bound, the menu window's: mode (0 or 1), which
 * bound (1 the minimum, 0 the maximum), cursor 0..4, and the five digits,
 * most significant first. */
typedef struct {
    uint8_t vesk_lrf_edit_mode;
    uint8_t vesk_lrf_edit_is_min;
    uint8_t vesk_lrf_edit_index;
    uint8_t vesk_lrf_edit_digits[LRF_DIGITS];
} vesk_lrf_editor_t;
#define LRF_EDITOR_KEY "lrf_editor"

static vesk_lrf_editor_t *lrf_editor_of(widget_t *win) { return page_state_of<vesk_lrf_editor_t>(win, LRF_EDITOR_KEY); }
static const int s_vesk_lrf_digit_offsets[LRF_DIGITS] = {390, 408, 426, 444, 462};

static void tr_text(widget_t *win, const char *name, const char *key)
{
    vesk_page_set_text(win, name, locale_info_tr(locale_info(), key));
}

static void update_target(widget_t *win)
{
    static const char *const names[] = {"First target", "First target", "Last target", "Multi target"};
    uint8_t t = vesk_lrf_ui.set_target;
    tr_text(win, "vesk_label_target_value", names[t <= LRF_TARGET_MULTI ? t : 0]);
}

static void update_processing(widget_t *win)
{
    tr_text(win, "vesk_label_proc_value", vesk_lrf_ui.set_processing == 1 ? "Median of 3" : "Normal");
}

static void write_bound(widget_t *win, const char *name, uint16_t metres)
{
    if (metres == 0) {
        tr_text(win, name, "Not set");
        return;
    }
    char text[16];
    snprintf(text, sizeof text, "%u m", (unsigned)metres);
    vesk_page_set_text(win, name, text);
}

static void update_min(widget_t *win) { write_bound(win, "vesk_label_min_value", vesk_lrf_ui.min_m); }

static void update_max(widget_t *win) { write_bound(win, "vesk_label_max_value", vesk_lrf_ui.max_m); }

static void key_target(widget_t *win, uint32_t key)
{
    (void)win;
    int t = vesk_lrf_ui.set_target, next;
    if (key == GUI_KEY_RIGHT_S)
        next = t == 0 ? LRF_TARGET_LAST : (t >= LRF_TARGET_MULTI ? LRF_TARGET_FIRST : t + 1);
    else if (key == GUI_KEY_LEFT_S)
        next = t == 0 ? LRF_TARGET_MULTI : (t <= LRF_TARGET_FIRST ? LRF_TARGET_MULTI : t - 1);
    else
        return;
    vesk_lrf_ui_send_settings(LRF_KEY_TARGET, next);
}

/* One reading per target in multi-target mode: no median to choose. */
static void key_processing(widget_t *win, uint32_t key)
{
    (void)win;
    if (vesk_lrf_ui.set_target == LRF_TARGET_MULTI) return;
    if (key != GUI_KEY_LEFT_S && key != GUI_KEY_RIGHT_S) return;
    vesk_lrf_ui_send_settings(LRF_KEY_PROCESSING, vesk_lrf_ui.set_processing ? 0 : 1);
}

int vesk_lrf_clamp_bound(int is_min, int value)
{
    int low = is_min ? LRF_BOUND_LOW : (vesk_lrf_ui.min_m != 0 ? vesk_lrf_ui.min_m : LRF_BOUND_LOW);
    int high = is_min ? (vesk_lrf_ui.max_m != 0 ? vesk_lrf_ui.max_m : LRF_BOUND_HIGH) : LRF_BOUND_HIGH;
    if (value < low) return low;
    return value > high ? high : value;
}

static void lrf_menu_draw(widget_t *win);

static void key_bound(widget_t *win, uint32_t key, int is_min)
{
    int bound = is_min ? vesk_lrf_ui.min_m : vesk_lrf_ui.max_m;
    int send_key = is_min ? LRF_KEY_MIN : LRF_KEY_MAX;
    if (key == GUI_KEY_LEFT_S) {
        if (bound == 0) return;
        vesk_lrf_ui_send_settings(send_key,
                                  bound > LRF_BOUND_LOW ? vesk_lrf_clamp_bound(is_min, bound - LRF_STEP_M) : 0);
    } else if (key == GUI_KEY_RIGHT_S) {
        vesk_lrf_ui_send_settings(send_key, vesk_lrf_clamp_bound(is_min, bound + LRF_STEP_M));
    } else if (key == GUI_KEY_MID_S) {
        vesk_lrf_editor_t *ed = lrf_editor_of(win);
        if (ed == NULL) return;
        ed->vesk_lrf_edit_mode = 1;
        ed->vesk_lrf_edit_index = 0;
        ed->vesk_lrf_edit_is_min = (uint8_t)is_min;
        for (int d = LRF_DIGITS - 1; d >= 0; d--, bound /= 10) ed->vesk_lrf_edit_digits[d] = (uint8_t)(bound % 10);
        lrf_menu_draw(win);
    }
}

static void key_min(widget_t *win, uint32_t key) { key_bound(win, key, 1); }

static void key_max(widget_t *win, uint32_t key) { key_bound(win, key, 0); }

static const vesk_lrf_row_config_t s_vesk_lrf_rows[LRF_ROWS] = {
    {VESK_LRF_ROW_TARGET, "vesk_label_target_name", "vesk_label_target_value", key_target, update_target},
    {VESK_LRF_ROW_PROCESSING, "vesk_label_proc_name", "vesk_label_proc_value", key_processing, update_processing},
    {VESK_LRF_ROW_MIN, "vesk_label_min_name", "vesk_label_min_value", key_min, update_min},
    {VESK_LRF_ROW_MAX, "vesk_label_max_name", "vesk_label_max_value", key_max, update_max},
};

static void draw_editor(widget_t *win)
{
    const vesk_lrf_editor_t *ed = lrf_editor_of(win);
    if (ed == NULL) return;
    int y = ed->vesk_lrf_edit_is_min ? LRF_DIGIT_Y_MIN : LRF_DIGIT_Y_MAX;
    for (int d = 0; d < LRF_DIGITS; d++) {
        char name[24], text[4];
        snprintf(name, sizeof name, "vesk_label_digit_%d", d);
        snprintf(text, sizeof text, "%d", ed->vesk_lrf_edit_digits[d]);
        widget_t *w = vesk_page_widget(win, name);
        if (w == NULL) continue;
        widget_set_text_utf8(w, text);
        widget_move(w, (xy_t)s_vesk_lrf_digit_offsets[d], (xy_t)y);
        widget_set_visible(w, ed->vesk_lrf_edit_mode != 0);
        widget_use_style(w, d == ed->vesk_lrf_edit_index ? LIST_MENU_LABEL_SEL : LIST_MENU_LABEL_DEF);
    }
    vesk_page_move_resize(win, "vesk_view_digit_sel", s_vesk_lrf_digit_offsets[ed->vesk_lrf_edit_index % LRF_DIGITS], y,
                          LRF_CURSOR_W, LRF_CURSOR_H);
    vesk_page_set_visible(win, "vesk_view_digit_sel", ed->vesk_lrf_edit_mode != 0);
    widget_t *unit = vesk_page_widget(win, "vesk_label_digit_unit");
    if (unit != NULL) {
        widget_move(unit, LRF_UNIT_X, (xy_t)y);
        widget_set_visible(unit, ed->vesk_lrf_edit_mode != 0);
    }
    vesk_page_set_visible(win, "vesk_label_min_value", !(ed->vesk_lrf_edit_mode && ed->vesk_lrf_edit_is_min));
    vesk_page_set_visible(win, "vesk_label_max_value", !(ed->vesk_lrf_edit_mode && !ed->vesk_lrf_edit_is_min));
}

static void lrf_menu_draw(widget_t *win)
{
    int i = lrf_menu_index;
    widget_t *bar = vesk_page_widget(win, "view_lrf_sel");
    if (bar != NULL) widget_move(bar, bar->x, (xy_t)((i - 1) * LRF_ROW_H));
    for (int r = 0; r < LRF_ROWS; r++) {
        const vesk_lrf_row_config_t *row = &s_vesk_lrf_rows[r];
        row->on_update(win);
        const char *state = row->row_id == i ? WIDGET_STATE_FOCUSED : WIDGET_STATE_NORMAL;
        if (row->row_id == VESK_LRF_ROW_PROCESSING && vesk_lrf_ui.set_target == LRF_TARGET_MULTI)
            state = WIDGET_STATE_DISABLE;
        vesk_page_set_state(win, row->name_widget, state);
        vesk_page_set_state(win, row->value_widget, state);
    }
    draw_editor(win);
}

static void commit_editor(widget_t *win, vesk_lrf_editor_t *ed)
{
    int value = 0;
    for (int d = 0; d < LRF_DIGITS; d++) value = value * 10 + ed->vesk_lrf_edit_digits[d];
    int is_min = ed->vesk_lrf_edit_is_min;
    vesk_lrf_ui_send_settings(is_min ? LRF_KEY_MIN : LRF_KEY_MAX, value == 0 ? 0 : vesk_lrf_clamp_bound(is_min, value));
    ed->vesk_lrf_edit_mode = 0;
    lrf_menu_draw(win);
}

/* While a bound is typed the keys work its digits. */
static ret_t editor_key(widget_t *win, uint32_t key)
{
    vesk_lrf_editor_t *ed = lrf_editor_of(win);
    if (ed == NULL || !ed->vesk_lrf_edit_mode) return RET_NOT_FOUND;
    uint8_t *digit = &ed->vesk_lrf_edit_digits[ed->vesk_lrf_edit_index % LRF_DIGITS];
    switch (key) {
    case GUI_KEY_FOCUS_UP_S:
        *digit = (uint8_t)(*digit >= 9 ? 0 : *digit + 1);
        break;
    case GUI_KEY_FOCUS_DOWN_S:
        *digit = (uint8_t)(*digit == 0 ? 9 : *digit - 1);
        break;
    case GUI_KEY_LEFT_S:
        ed->vesk_lrf_edit_index =
            (uint8_t)(ed->vesk_lrf_edit_index == 0 ? LRF_DIGITS - 1 : ed->vesk_lrf_edit_index - 1);
        break;
    case GUI_KEY_RIGHT_S:
        ed->vesk_lrf_edit_index =
            (uint8_t)(ed->vesk_lrf_edit_index >= LRF_DIGITS - 1 ? 0 : ed->vesk_lrf_edit_index + 1);
        break;
    case GUI_KEY_MID_S:
    case GUI_KEY_MID_L:
        commit_editor(win, ed);
        return RET_OK;
    case GUI_KEY_POWER_S:
        return RET_NOT_FOUND; /* committed before home */
    default:
        return RET_OK;
    }
    lrf_menu_draw(win);
    return RET_OK;
}

static void commit_before_home(widget_t *win)
{
    vesk_lrf_editor_t *ed = lrf_editor_of(win);
    if (ed != NULL && ed->vesk_lrf_edit_mode) commit_editor(win, ed);
}

static uint32_t lrf_menu_rows(void) { return LRF_ROWS; }

static void lrf_menu_row_key(widget_t *win, uint32_t key)
{
    int i = lrf_menu_index;
    if (i >= 1 && i <= LRF_ROWS) s_vesk_lrf_rows[i - 1].on_key_event(win, key);
}

static const list_menu_t s_lrf_menu = {
    NULL, &lrf_menu_index, lrf_menu_rows,  lrf_menu_row_key, lrf_menu_draw,      FALSE,
    NULL, editor_key,      "setting_menu", SETTING_ROW_LRF,  commit_before_home,
};

static ret_t on_lrf_settings(void *ctx, event_t *e)
{
    (void)e;
    lrf_menu_draw(WIDGET(ctx));
    return RET_OK;
}

ret_t lrf_menu_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    page_state_new<vesk_lrf_editor_t>(win, LRF_EDITOR_KEY);
    lrf_menu_draw(win);
    list_menu_bind(win, &s_lrf_menu);
    static const int events[] = {UI_EV_LRF_SETTINGS};
    vesk_page_subscribe(win, events, ARRAY_SIZE(events), on_lrf_settings);
    vesk_page_bind_close(win, NULL);
    vesk_lrf_ui_send_query();
    return RET_OK;
}

/* ---- the target choice ---- */

#define LRF_SELECT_ROWS 3

/* The choice's rows, the window's: how many are offered, the selected one
 * (0-based) and the distances as offered at opening, in decimetres. */
typedef struct {
    int vesk_lrf_select_count;
    int vesk_lrf_select_index;
    uint32_t vesk_lrf_select_dm[LRF_SELECT_ROWS];
} vesk_lrf_select_t;
#define LRF_SELECT_KEY "lrf_select"

static void select_draw(widget_t *win, const vesk_lrf_select_t *sel)
{
    for (int r = 0; r < LRF_SELECT_ROWS; r++) {
        char view[24], label[24];
        snprintf(view, sizeof view, "view_vesk_row_%d", r);
        snprintf(label, sizeof label, "label_vesk_row_%d", r);
        const char *state = r == sel->vesk_lrf_select_index ? WIDGET_STATE_FOCUSED : WIDGET_STATE_NORMAL;
        vesk_page_set_state(win, view, state);
        vesk_page_set_state(win, label, state);
    }
}

static ret_t on_select_key(void *ctx, event_t *e)
{
    widget_t *win = WIDGET(ctx);
    key_event_t *key = key_event_cast(e);
    vesk_lrf_select_t *sel = page_state_of<vesk_lrf_select_t>(win, LRF_SELECT_KEY);
    if (key == NULL || sel == NULL) return RET_OK;
    int n = sel->vesk_lrf_select_count;
    switch (key->key) {
    case GUI_KEY_FOCUS_UP_S:
        sel->vesk_lrf_select_index = sel->vesk_lrf_select_index <= 0 ? n - 1 : sel->vesk_lrf_select_index - 1;
        select_draw(win, sel);
        break;
    case GUI_KEY_FOCUS_DOWN_S:
        sel->vesk_lrf_select_index = sel->vesk_lrf_select_index >= n - 1 ? 0 : sel->vesk_lrf_select_index + 1;
        select_draw(win, sel);
        break;
    case GUI_KEY_MID_S:
        if (!vesk_non_operational)
            vesk_lrf_ui_send_accept(sel->vesk_lrf_select_index, sel->vesk_lrf_select_dm[sel->vesk_lrf_select_index]);
        navigator_back();
        break;
    case GUI_KEY_MID_L:
    case GUI_KEY_POWER_S:
    case GUI_KEY_RANGE_S:
    case GUI_KEY_RANGE_L:
        navigator_back();
        break;
    default:
        break;
    }
    /* Bound on every child: one key must act once. */
    return RET_STOP;
}

/* A new measurement makes the offered distances stale. */
static ret_t on_new_result(void *ctx, event_t *e)
{
    (void)e;
    vesk_page_unsubscribe(WIDGET(ctx));
    navigator_back();
    return RET_OK;
}

ret_t vesk_lrf_select_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    vesk_lrf_select_t *sel = page_state_new<vesk_lrf_select_t>(win, LRF_SELECT_KEY);
    vesk_page_bind_named_keys(win, on_select_key);
    widget_t *title = vesk_page_widget(win, "label_vesk_select_title");
    if (title != NULL)
        widget_set_style_str(title, "normal:font_name",
                             strcmp(locale_info()->language, "zh") == 0 ? "default" : "Roboto_Medium");
    vesk_page_bind_close(win, NULL);
    static const int events[] = {UI_EV_LRF_RESULT};
    vesk_page_subscribe(win, events, ARRAY_SIZE(events), on_new_result);

    int n = vesk_lrf_ui.count;
    sel->vesk_lrf_select_count = n == 0 ? 1 : (n > LRF_SELECT_ROWS ? LRF_SELECT_ROWS : n);
    sel->vesk_lrf_select_index = 0;
    for (int r = 0; r < LRF_SELECT_ROWS; r++) {
        char view[24], label[24];
        snprintf(view, sizeof view, "view_vesk_row_%d", r);
        snprintf(label, sizeof label, "label_vesk_row_%d", r);
        bool_t offered = r < sel->vesk_lrf_select_count;
        vesk_page_set_visible(win, view, offered);
        vesk_page_set_visible(win, label, offered);
        if (!offered) continue;
        sel->vesk_lrf_select_dm[r] = vesk_lrf_ui.dm[r];
        char dist[24], text[40];
        vesk_lrf_ui_format_dm(sel->vesk_lrf_select_dm[r], dist, sizeof dist);
        snprintf(text, sizeof text, "%d: %s", r + 1, dist);
        vesk_page_set_text(win, label, text);
    }
    select_draw(win, sel);
    return RET_OK;
}
