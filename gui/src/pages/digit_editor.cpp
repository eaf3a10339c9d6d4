#include "digit_editor.h"

#include <math.h>
#include <stdint.h>
#include <stdio.h>

#include "navigator.h"
#include "page_state.h"
#include "ui_events.h"
#include "ui_keys.h"
#include "ui_senders.h"
#include "ui_status.h"
#include "utils_common.h"
#include "vesk_log.h"
#include "vesk_page.h"

#define EDITOR_LOG_TAG "ballistic"

#define STYLE_ROW "FFFFFF_28_Regular_left"
#define STYLE_ROW_VALUE "FFFFFF_28_Regular_right"
#define STYLE_ROW_GREY "c5c5c5_28_Regular_left"
#define STYLE_ROW_VALUE_GREY "c5c5c5_28_Regular_right"
#define STYLE_OK "FFFFFF_36_Regular_center"
#define STYLE_ROW_CURRENT "00E6BB_28_Medium_left"
#define STYLE_ROW_VALUE_CURRENT "00E6BB_28_Regular_right"
#define STYLE_OK_CURRENT "00E6BB_36_Regular_center"
#define STYLE_DIGIT STYLE_ROW
#define STYLE_DIGIT_CURSOR STYLE_ROW_CURRENT

#define ROW_HEIGHT 64
#define ROW_WIDTH 600

/* ---- the digit editor ---- */

void value_to_draft(int int_digits, int frac_digits, bool has_sign, uint8_t *draft, double value)
{
    int at = 0;
    if (has_sign) draft[at++] = value >= 0 ? 0 : 1;
    double scale = 1;
    for (int i = 0; i < frac_digits; i++) scale *= 10;
    double magnitude = floor(fabs(value) * scale + 0.5);
    /* Digits that do not fit are dropped, as the display can only show the
     * lower ones; a value too large for the count keeps its low digits. */
    uint64_t n = isfinite(magnitude) && magnitude < 1e18 ? (uint64_t)magnitude : 0;
    for (int i = at + int_digits + frac_digits - 1; i >= at; i--) {
        draft[i] = (uint8_t)(n % 10);
        n /= 10;
    }
}

double draft_to_value(const uint8_t *draft, int int_digits, int frac_digits, bool has_sign)
{
    int at = has_sign ? 1 : 0;
    double v = 0;
    for (int i = 0; i < int_digits + frac_digits; i++) v = v * 10 + draft[at + i];
    for (int i = 0; i < frac_digits; i++) v /= 10;
    /* "-0" is zero: a negative zero would reach sightd as a float whose
     * sign bit is set. */
    return has_sign && draft[0] == 1 && v != 0 ? -v : v;
}

void modify_draft_bit(uint8_t *draft, int position, int largest, int key)
{
    draft[position] = (uint8_t)getIndexVal(key, 0, largest, draft[position], 1);
}

/* Where display position p of a record lives: the draft, the byte in it,
 * and whether that byte is a sign. */
typedef struct {
    uint8_t *draft;
    int byte;
    bool sign;
} digit_slot_t;

static digit_slot_t digit_slot(digit_param_t *cfg, int p)
{
    digit_slot_t s = {cfg->draft_val1, p, cfg->has_sign && p == 0};
    if (cfg->sign_at_end) {
        bool last = p == cfg->bit_count - 1;
        s.byte = last ? 0 : p + 1;
        s.sign = last;
    } else if (cfg->is_dual) {
        int w = (cfg->has_sign ? 1 : 0) + cfg->int_digits + cfg->frac_digits;
        if (p >= w) {
            s.draft = cfg->draft_val2;
            s.byte = p - w;
            s.sign = cfg->has_sign2 && p == w;
        }
    }
    return s;
}

static void digit_text(digit_param_t *cfg, int p, char *out, size_t size)
{
    digit_slot_t s = digit_slot(cfg, p);
    uint8_t v = s.draft[s.byte];
    if (s.sign) {
        const char *text = cfg->is_ns_sign ? (v == 1 ? "S" : "N") : (v == 1 ? "-" : "+");
        tk_snprintf(out, size, "%s", text);
    } else {
        tk_snprintf(out, size, "%d", v);
    }
}

static double clamp(double v, double lo, double hi)
{
    if (v < lo) return lo;
    if (v > hi) return hi;
    return v;
}

void row_editor_load_draft(const row_item_config_t *item)
{
    if (item == NULL || item->digit_cfg == NULL || item->load == NULL) return;
    digit_param_t *cfg = item->digit_cfg;
    double v1 = 0, v2 = 0;
    item->load(item->item_id, &v1, &v2);
    value_to_draft(cfg->int_digits, cfg->frac_digits, cfg->has_sign, cfg->draft_val1, v1);
    if (cfg->is_dual) value_to_draft(cfg->int_digits2, cfg->frac_digits2, cfg->has_sign2, cfg->draft_val2, v2);
}

/* ---- widgets ---- */

static widget_t *find(widget_t *win, const char *name)
{
    return win != NULL && name != NULL ? widget_lookup(win, name, TRUE) : NULL;
}

void row_editor_set_text(widget_t *win, const char *name, const char *text)
{
    widget_t *w = find(win, name);
    if (w != NULL) widget_set_text_utf8(w, text);
}

void row_editor_set_tr_text(widget_t *win, const char *name, const char *key)
{
    row_editor_set_text(win, name, locale_info_tr(locale_info(), key));
}

void row_editor_set_image(widget_t *win, const char *name, const char *image)
{
    widget_t *w = find(win, name);
    if (w != NULL) image_base_set_image(w, image);
}

void row_editor_show_on_off(widget_t *win, const char *name, int value)
{
    row_editor_set_tr_text(win, name, value == 1 ? "ON" : "OFF");
}

static void use_style(widget_t *win, const char *name, const char *style)
{
    widget_t *w = find(win, name);
    if (w != NULL) widget_use_style(w, style);
}

static void set_visible(widget_t *win, const char *name, bool visible)
{
    widget_t *w = find(win, name);
    if (w != NULL) widget_set_visible(w, visible ? TRUE : FALSE);
}

/* ---- rows ---- */

#define ROW_EDITOR_STATE_KEY "row_editor_state"

row_editor_state_t *row_editor_state_new(widget_t *win)
{
    return page_state_new<row_editor_state_t>(win, ROW_EDITOR_STATE_KEY);
}

row_editor_state_t *row_editor_state(widget_t *win)
{
    return page_state_of<row_editor_state_t>(win, ROW_EDITOR_STATE_KEY);
}

int row_editor_current_row(widget_t *win)
{
    const row_editor_state_t *st = row_editor_state(win);
    return st != NULL ? st->current_row : 0;
}

const row_item_config_t *row_editor_row(const row_editor_t *page, int row)
{
    for (int i = 0; i < page->count; i++)
        if (page->rows[i].item_id == row) return &page->rows[i];
    return NULL;
}

Info_ballistics *row_editor_group_profile(void)
{
    if (IR_Cursor.u8CurrentGroup >= VESK_PROFILE_COUNT) {
        vesk_log_printf(VESK_LOG_ERROR, EDITOR_LOG_TAG, "profile group %u is not one of the %d: edit refused",
                        IR_Cursor.u8CurrentGroup, VESK_PROFILE_COUNT);
        return NULL;
    }
    return &info[IR_Cursor.u8CurrentGroup];
}

int16_t row_editor_trunc16(double v)
{
    if (isnan(v)) return 0;
    /* A count of tenths made from a decimal draft can land just below its
     * whole number (0.3 x 10); a millionth keeps it from losing one. */
    v += v >= 0 ? 1e-6 : -1e-6;
    if (v >= INT16_MAX) return INT16_MAX;
    if (v <= INT16_MIN) return INT16_MIN;
    return (int16_t)v;
}

ret_t row_editor_draw_number(const row_editor_t *page, widget_t *win, int row, int key)
{
    const row_item_config_t *item = row_editor_row(page, row);
    if (item == NULL || item->digit_cfg == NULL) return RET_OK;
    digit_param_t *cfg = item->digit_cfg;
    if (cfg->unit_label != NULL)
        row_editor_set_text(win, cfg->unit_label, stDevStatus.s8DistanceUint == 0 ? "m" : "yd");
    int count = cfg->bit_count < DIGIT_MAX_POSITIONS ? cfg->bit_count : DIGIT_MAX_POSITIONS;
    for (int p = 0; p < count; p++) {
        char text[8];
        digit_text(cfg, p, text, sizeof text);
        row_editor_set_text(win, cfg->labels[p], text);
        use_style(win, cfg->labels[p], STYLE_DIGIT);
    }
    const row_editor_state_t *st = row_editor_state(win);
    int mode = st != NULL ? st->edit_mode : 0;
    int at = st != NULL ? st->edit_index : 0;
    if (st == NULL || row != st->current_row || mode == 0 || at < 0 || at >= count) {
        set_visible(win, cfg->sel_view, false);
        set_visible(win, cfg->arrow_view, false);
        return RET_OK;
    }
    int x = cfg->offsets[at];
    widget_t *sel = find(win, cfg->sel_view);
    widget_t *arrow = find(win, cfg->arrow_view);
    if (mode == 1) {
        if (arrow != NULL) widget_set_visible(arrow, FALSE);
        if (sel != NULL) {
            widget_set_visible(sel, TRUE);
            widget_move_resize(sel, (xy_t)(x - 2), 4, 20, 40);
        }
    } else if (arrow != NULL) {
        widget_set_visible(arrow, TRUE);
        widget_move_resize(arrow, (xy_t)(x + 2), -3, 12, 54);
        widget_t *up = find(arrow, cfg->up_img);
        widget_t *down = find(arrow, cfg->down_img);
        if (up != NULL && down != NULL && key == GUI_KEY_FOCUS_UP_S) {
            image_base_set_image(up, "hold_menu_arrow_up_sel");
            image_base_set_image(down, "hold_menu_arrow_down_def");
        } else if (up != NULL && down != NULL && key == GUI_KEY_FOCUS_DOWN_S) {
            image_base_set_image(up, "hold_menu_arrow_up_def");
            image_base_set_image(down, "hold_menu_arrow_down_sel");
        }
    }
    use_style(win, cfg->labels[at], STYLE_DIGIT_CURSOR);
    return RET_OK;
}

static void commit(row_editor_state_t *st, widget_t *win, const row_item_config_t *item, int key)
{
    digit_param_t *cfg = item->digit_cfg;
    st->edit_mode = 0;
    double v1 = draft_to_value(cfg->draft_val1, cfg->int_digits, cfg->frac_digits, cfg->has_sign);
    v1 = clamp(v1, cfg->min_val, cfg->max_val);
    double v2 = 0;
    if (cfg->is_dual) {
        v2 = draft_to_value(cfg->draft_val2, cfg->int_digits2, cfg->frac_digits2, cfg->has_sign2);
        v2 = clamp(v2, cfg->min_val2, cfg->max_val2);
    }
    if (item->store != NULL && item->store(item->item_id, v1, v2) != 0)
        vesk_log_printf(VESK_LOG_ERROR, EDITOR_LOG_TAG, "row %d: %g not stored", item->item_id, v1);
    /* From the stored field, so the row shows what is kept and sent. */
    row_editor_load_draft(item);
    if (item->on_update_ui != NULL) item->on_update_ui(win, item->item_id, key);
}

ret_t row_editor_number_key(const row_editor_t *page, widget_t *win, int row, int key)
{
    const row_item_config_t *item = row_editor_row(page, row);
    row_editor_state_t *st = row_editor_state(win);
    if (item == NULL || item->digit_cfg == NULL || st == NULL) return RET_OK;
    digit_param_t *cfg = item->digit_cfg;
    int count = cfg->bit_count;
    if (count < 1 || count > DIGIT_MAX_POSITIONS) return RET_OK;
    if (st->edit_mode == 0) {
        if (key == GUI_KEY_MID_S || ((page->rules & ROW_EDITOR_RIGHT_ENTERS) && key == GUI_KEY_RIGHT_S)) {
            st->edit_mode = 1;
            st->edit_index = 0;
            row_editor_load_draft(item);
            item->on_update_ui(win, row, key);
        }
        return RET_OK;
    }
    if (key == GUI_KEY_LEFT_S || key == GUI_KEY_RIGHT_S) {
        int step = key == GUI_KEY_LEFT_S ? count - 1 : 1;
        st->edit_index = (st->edit_index + step) % count;
        st->edit_mode = 1;
        item->on_update_ui(win, row, key);
    } else if (key == GUI_KEY_FOCUS_UP_S || key == GUI_KEY_FOCUS_DOWN_S) {
        st->edit_mode = 2;
        digit_slot_t s = digit_slot(cfg, st->edit_index);
        modify_draft_bit(s.draft, s.byte, s.sign ? 1 : 9, key);
        item->on_update_ui(win, row, key);
    } else if (key == GUI_KEY_MID_L || (!(page->rules & ROW_EDITOR_DOT_COMMITS_ONLY) && key == GUI_KEY_MID_S)) {
        commit(st, win, item, key);
    }
    return RET_OK;
}

/* ---- the page ---- */

ret_t row_editor_draw_nothing(widget_t *win, int row, int key)
{
    (void)win;
    (void)row;
    (void)key;
    return RET_OK;
}

bool row_editor_link_key(int key) { return key == GUI_KEY_MID_S || key == GUI_KEY_RIGHT_S; }

void row_editor_link(const char *child)
{
    navigator_back();
    navigator_to(child);
}

void row_editor_return(const char *parent, int ctx)
{
    navigator_back();
    navigator_to_with_context(parent, (void *)(intptr_t)ctx);
}

ret_t row_editor_ok_closes(widget_t *win, int key)
{
    (void)win;
    if (key == GUI_KEY_MID_S) navigator_back();
    return RET_OK;
}

bool row_editor_toggle_key(int key) { return key == GUI_KEY_MID_S || key == GUI_KEY_LEFT_S || key == GUI_KEY_RIGHT_S; }

void row_editor_highlight(const row_editor_t *page, widget_t *win, int row)
{
    bool grey = page->master_on != NULL && page->master_on() != 1;
    for (int i = 0; i < page->count; i++) {
        const row_item_config_t *r = &page->rows[i];
        bool off = grey && r->item_id != 1;
        bool ok = r->item_id == page->ok_row;
        bool current = r->item_id == row;
        const char *title = ok ? STYLE_OK : off ? STYLE_ROW_GREY : STYLE_ROW;
        const char *value = off ? STYLE_ROW_VALUE_GREY : STYLE_ROW_VALUE;
        if (current) {
            title = ok ? STYLE_OK_CURRENT : STYLE_ROW_CURRENT;
            value = STYLE_ROW_VALUE_CURRENT;
        }
        use_style(win, r->label_name, title);
        use_style(win, r->arrow_name, value);
    }
    widget_t *bar = find(win, "hightlight");
    if (bar != NULL) {
        if (row_editor_row(page, row) == NULL || row == page->ok_row) {
            widget_set_visible(bar, FALSE);
        } else {
            widget_set_visible(bar, TRUE);
            widget_move_resize(bar, 0, (xy_t)((row - 1) * ROW_HEIGHT), ROW_WIDTH, ROW_HEIGHT);
        }
    }
    if (page->after_highlight != NULL) page->after_highlight(win, row);
}

void row_editor_rehighlight(const row_editor_t *page, widget_t *win)
{
    const row_editor_state_t *st = row_editor_state(win);
    if (st != NULL) row_editor_highlight(page, win, st->current_row);
}

static ret_t visit_nothing(void *ctx, const void *data)
{
    (void)ctx;
    (void)data;
    return RET_OK;
}

ret_t on_go_back(void *ctx, event_t *e)
{
    (void)ctx;
    (void)e;
    navigator_back();
    return RET_OK;
}

ret_t row_editor_open(const row_editor_t *page, widget_t *win, int row, event_func_t on_key_pressed_event,
                      event_func_t on_window_close)
{
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    row_editor_state_t *st = row_editor_state_new(win);
    return_value_if_fail(st != NULL, RET_OOM);
    st->current_row = row;
    for (int i = 0; i < page->count; i++) row_editor_load_draft(&page->rows[i]);
    for (int i = 0; i < page->count; i++)
        if (page->rows[i].on_update_ui != NULL) page->rows[i].on_update_ui(win, page->rows[i].item_id, DIGIT_KEY_NONE);
    row_editor_highlight(page, win, row);
    widget_foreach(win, visit_nothing, win);
    widget_on(win, EVT_KEY_DOWN, on_key_pressed_event, win);
    widget_on(win, EVT_WINDOW_CLOSE, on_window_close, win);
    static const int events[] = {UI_EV_PROFILE_ARRIVED};
    vesk_page_subscribe(win, events, 1, on_go_back);
    return RET_OK;
}

ret_t row_editor_on_key(const row_editor_t *page, widget_t *win, event_t *e)
{
    key_event_t *ke = key_event_cast(e);
    row_editor_state_t *st = row_editor_state(win);
    if (ke == NULL || st == NULL) return RET_OK;
    int key = (int)ke->key;
    bool editing = st->edit_mode != 0;
    const row_item_config_t *item = row_editor_row(page, st->current_row);
    switch (key) {
    case GUI_KEY_MID_S:
    case GUI_KEY_LEFT_S:
    case GUI_KEY_RIGHT_S:
        if (item != NULL && item->on_key_event != NULL) item->on_key_event(win, key);
        break;
    case GUI_KEY_MID_L:
        if (editing) {
            if (item != NULL && item->on_key_event != NULL) item->on_key_event(win, key);
        } else if (page->on_back != NULL) {
            page->on_back(win);
        } else if (page->back_to != NULL) {
            row_editor_return(page->back_to, page->back_ctx);
        } else {
            navigator_back();
        }
        break;
    case GUI_KEY_POWER_S:
        /* The draft is dropped; the field keeps its value. */
        st->edit_mode = 0;
        navigator_back_to_home();
        break;
    case GUI_KEY_FOCUS_UP_S:
    case GUI_KEY_FOCUS_DOWN_S:
        if (editing) {
            if (item != NULL && item->on_key_event != NULL) item->on_key_event(win, key);
        } else if (page->master_on == NULL || page->master_on() == 1) {
            st->current_row = getIndexVal(key, 1, page->count, st->current_row, 0);
            row_editor_highlight(page, win, st->current_row);
        }
        break;
    default:
        break;
    }
    return RET_OK;
}

ret_t row_editor_on_close(const row_editor_t *page, widget_t *win)
{
    if (!(page->rules & ROW_EDITOR_NO_SAVE)) {
        GUI_SEND_PARAM_FUNCTION_MSG(SAVE_ALLPARAM);
        if (info[0].ballistics_sw == 1) GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_OPEN_CALCU, 1);
    }
    row_editor_state_t *st = row_editor_state(win);
    if (st != NULL) st->edit_mode = 0;
    vesk_page_unsubscribe(win);
    return RET_OK;
}
