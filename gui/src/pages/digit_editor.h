// The row editors of the ballistic profile: a page is a const table of rows,
// one of them current, worked with the scope's keys. A row is a link, a
// toggle, a cycling choice, an OK row or a number that the digit editor
// edits digit by digit. This module is the part every editor page shares:
// the digit editor (drafts, steps, commit with clamping), the key dispatch,
// the drawing of number rows and of the highlight, and the init and close
// rules with the page's single set of subscriptions. A page adds its table
// and the handlers of its own rows.
#pragma once

#include <stdint.h>

#include "awtk.h"
#include "vesk_records.h"

#define DIGIT_MAX_POSITIONS 8
/* Key handed to on_update_ui when nothing was pressed. */
#define DIGIT_KEY_NONE 255

/* One edited number. The drafts hold one decimal digit per byte, most
 * significant first; with a sign, byte 0 is the sign (1 minus) and the
 * digits follow. A page keeps one static record per number. */
typedef struct {
    int32_t menu_index;
    int32_t bit_count;
    int32_t int_digits;
    int32_t frac_digits;
    bool has_sign;
    bool is_ns_sign;
    bool sign_at_end;
    double min_val, max_val;
    bool is_dual;
    int32_t int_digits2, frac_digits2;
    bool has_sign2;
    double min_val2, max_val2;
    const char *sel_view;
    const char *arrow_view;
    const char *up_img, *down_img;
    const char *unit_label;
    const char *labels[DIGIT_MAX_POSITIONS];
    int32_t offsets[DIGIT_MAX_POSITIONS];
    uint8_t draft_val1[DIGIT_MAX_POSITIONS];
    uint8_t draft_val2[DIGIT_MAX_POSITIONS];
} digit_param_t;

typedef ret_t (*row_key_handler_t)(widget_t *win, int key);
typedef ret_t (*row_update_handler_t)(widget_t *win, int row, int key);

/* One row. A number row also says how its stored field(s) read as the
 * draft's value(s) and how committed values are stored and sent; store
 * returns 0, or -1 when it refused the value (nothing stored or sent).
 * Both get the row's id, so that one pair can serve several rows. */
typedef struct {
    int item_id;
    const char *label_name;
    const char *arrow_name;
    digit_param_t *digit_cfg;
    row_key_handler_t on_key_event;
    row_update_handler_t on_update_ui;
    void (*load)(int row, double *v1, double *v2);
    int (*store)(int row, double v1, double v2);
} row_item_config_t;

typedef row_item_config_t bullet_menu_item_config_t;
typedef row_item_config_t coriolis_menu_item_config_t;
typedef row_item_config_t group_info_item_config_t;
typedef row_item_config_t menu_item_config_t;
typedef row_item_config_t quickmenu_item_config_t;
typedef row_item_config_t setting_menu_item_config_t;
typedef row_item_config_t weather_menu_item_config_t;
typedef row_item_config_t zeroweather_menu_item_config_t;
typedef row_item_config_t lens_menu_item_config_t;

/* Rules in which a page differs from the common row editor. */
enum {
    ROW_EDITOR_DOT_COMMITS_ONLY = 1, /* ',' does nothing while a number is edited */
    ROW_EDITOR_RIGHT_ENTERS = 2,     /* ']' enters editing as well as ',' */
    ROW_EDITOR_NO_SAVE = 4,          /* neither save-all nor calculation request on close */
};

/* The editing state of an open row editor, owned by its window: the
 * current row, and the number being edited (one at a time). */
typedef struct {
    int32_t current_row;
    int32_t edit_mode; /* 0 idle, 1 cursor moved or entered, 2 digit changed */
    int32_t edit_index;
} row_editor_state_t;

/* What a page is: its table and the few rules in which the pages differ;
 * what a page leaves out is the common case. */
typedef struct row_editor {
    const row_item_config_t *rows;
    int count;
    /* '.' while not editing: the page closes and back_to, when named,
     * opens in its place on the row that back_ctx selects. */
    const char *back_to;
    int back_ctx;
    int (*master_on)(void) = NULL; /* NULL: no master switch */
    int ok_row = 0;                /* the OK row's id, 0 when none */
    unsigned rules = 0;            /* ROW_EDITOR_... */
    /* Extra drawing after every highlight redraw (reticle images). */
    void (*after_highlight)(widget_t *win, int row) = NULL;
    /* In place of back_to, where the way back depends on the page's state. */
    ret_t (*on_back)(widget_t *win) = NULL;
} row_editor_t;

/* The digit editor's conversions and step. */
void value_to_draft(int int_digits, int frac_digits, bool has_sign, uint8_t *draft, double value);
double draft_to_value(const uint8_t *draft, int int_digits, int frac_digits, bool has_sign);
void modify_draft_bit(uint8_t *draft, int position, int largest, int key);

/* A fresh (idle) editing state owned by win, for an editor that opens
 * without row_editor_open; NULL when win is none. */
row_editor_state_t *row_editor_state_new(widget_t *win);
/* The state of the row editor open in win, or NULL when it has none. */
row_editor_state_t *row_editor_state(widget_t *win);
/* Its current row, 0 when win has no row editor. */
int row_editor_current_row(widget_t *win);

/* The record of a row id, or NULL. */
const row_item_config_t *row_editor_row(const row_editor_t *page, int row);

/* The page's init after its argument check: the window's editing state on
 * the given row, drafts, drawing, key, close and user-event 8192 + 67
 * bindings. The page's key-down and
 * close handlers are those ROW_EDITOR_HANDLERS defines. */
ret_t row_editor_open(const row_editor_t *page, widget_t *win, int row, event_func_t on_key_pressed_event,
                      event_func_t on_window_close);
/* The page's key-down handler and close handler bodies. */
ret_t row_editor_on_key(const row_editor_t *page, widget_t *win, event_t *e);
ret_t row_editor_on_close(const row_editor_t *page, widget_t *win);
/* User event 8192 + 67: a profile frame arrived under the page. */
ret_t on_go_back(void *ctx, event_t *e);

/* A number row's key handler and drawing. */
ret_t row_editor_number_key(const row_editor_t *page, widget_t *win, int row, int key);
ret_t row_editor_draw_number(const row_editor_t *page, widget_t *win, int row, int key);
/* Reloads a number row's draft from its stored field(s). */
void row_editor_load_draft(const row_item_config_t *item);
void row_editor_highlight(const row_editor_t *page, widget_t *win, int row);
/* The highlight redrawn on the current row (after a toggle greys rows). */
void row_editor_rehighlight(const row_editor_t *page, widget_t *win);

/* Rows whose update draws nothing (links, OK). */
ret_t row_editor_draw_nothing(widget_t *win, int row, int key);
/* Keys that open a link row (',' and ']'), and that flip a toggle (',',
 * '[' and ']'). */
bool row_editor_link_key(int key);
bool row_editor_toggle_key(int key);

/* A link row: the page closes and the child opens in its place. */
void row_editor_link(const char *child);
/* Back to the opener: the page closes and the opener opens on the row that
 * ctx selects. */
void row_editor_return(const char *parent, int ctx);
/* An OK row whose action is closing the page (its close handler sends
 * what the page sends). */
ret_t row_editor_ok_closes(widget_t *win, int key);

/* Small drawing helpers of the pages; a missing widget is skipped. */
void row_editor_set_text(widget_t *win, const char *name, const char *text);
void row_editor_set_tr_text(widget_t *win, const char *name, const char *key);
void row_editor_set_image(widget_t *win, const char *name, const char *image);
/* "ON" for 1, "OFF" otherwise, translated, into the label. */
void row_editor_show_on_off(widget_t *win, const char *name, int value);

/* The profile the per-group rows edit, or NULL (logged) while the current
 * group in the zero store is not one of the six: nothing is then stored. */
Info_ballistics *row_editor_group_profile(void);

/* 16-bit stored distances: truncated toward zero, held at the type's ends
 * instead of wrapping. */
int16_t row_editor_trunc16(double v);

/* A number record of the plain layout, its widgets named after one stem
 * (view_<stem>_sel, view_<stem>_arrow, image_<stem>_up, image_<stem>_down);
 * labels and offsets are DIGIT_LIST(...) in display order. */
#define DIGIT_LIST(...)                                                                                                \
    {                                                                                                                  \
        __VA_ARGS__                                                                                                    \
    }
#define DIGIT_PLAIN(row, count, ints, fracs, sign, lo, hi, stem, unit, labels, offsets)                                \
    {                                                                                                                  \
        row, count, ints, fracs, sign, false, false, lo, hi, false, 0, 0, false, 0, 0, "view_" stem "_sel",            \
            "view_" stem "_arrow", "image_" stem "_up", "image_" stem "_down", unit, labels, offsets, {0},             \
        {                                                                                                              \
            0                                                                                                          \
        }                                                                                                              \
    }

/* A link row's key handler. */
#define ROW_EDITOR_LINK(name, child)                                                                                   \
    static ret_t name(widget_t *win, int key)                                                                          \
    {                                                                                                                  \
        (void)win;                                                                                                     \
        if (row_editor_link_key(key)) row_editor_link(child);                                                          \
        return RET_OK;                                                                                                 \
    }

/* A page's handlers reach the page's record through this_editor(), which
 * ROW_EDITOR_DECLARE declares and ROW_EDITOR_HANDLERS (after the record)
 * defines: the row handlers can then stand before the table that names
 * them. ROW_EDITOR_HANDLERS also defines the key-down and close handlers,
 * and the number macros the handlers of number rows. */
#define ROW_EDITOR_DECLARE static const row_editor_t *this_editor(void);
#define ROW_EDITOR_HANDLERS(page)                                                                                      \
    static const row_editor_t *this_editor(void) { return &page; }                                                     \
    static ret_t on_key_pressed_event(void *ctx, event_t *e) { return row_editor_on_key(&page, WIDGET(ctx), e); }      \
    static ret_t on_window_close(void *ctx, event_t *e)                                                                \
    {                                                                                                                  \
        (void)e;                                                                                                       \
        return row_editor_on_close(&page, WIDGET(ctx));                                                                \
    }
#define ROW_EDITOR_NUMBER_KEY(name, row)                                                                               \
    static ret_t name(widget_t *win, int key) { return row_editor_number_key(this_editor(), win, row, key); }
#define ROW_EDITOR_NUMBER_UI(name)                                                                                     \
    static ret_t name(widget_t *win, int row, int key) { return row_editor_draw_number(this_editor(), win, row, key); }
