#include "zero_pages.h"

#include <stdio.h>

#include "digit_editor.h"
#include "navigator.h"
#include "page_state.h"
#include "pages.h"
#include "ui_keys.h"
#include "ui_senders.h"
#include "ui_status.h"
#include "utils_common.h"
#include "vesk_page.h"

#define ZERO_STYLE_ROW "FFFFFF_28_Regular_left"
#define ZERO_STYLE_ROW_SEL "00E6BB_28_Medium_left"
#define ZERO_STYLE_ARROW "FFFFFF_28_Regular_right"
#define ZERO_STYLE_ARROW_SEL "00E6BB_28_Medium_right"
#define ZERO_STYLE_UNUSED "c5c5c5_28_Regular_left"
#define ZERO_ROW_HEIGHT 56
#define ZERO_OFFSET_LIMIT 200

/* ---- conversions ---- */

float calc_pix2mm(float distance, float zoom)
{
    if (!(zoom > 0)) zoom = VESK_FACTORY_IR_ZOOM * 0.01f;
    return distance * 7680 / 60 / zoom / 1280;
}

float calc_pix2mil(void) { return 0.1f; }

int splitFloat(float *offset, int *value)
{
    if (!(*offset > 1 || *offset < -1)) return 0;
    /* The offset comes from a stored zero slot and may hold anything; the
     * clamp that follows brings a huge one back to the panel's limits. */
    int whole = 0;
    vesk_trunc_coord(*offset, &whole);
    *value += whole;
    *offset -= (float)whole;
    return 1;
}

int clamp_offset(int *value, float *offset)
{
    float s = (float)*value + *offset;
    if (s < -ZERO_OFFSET_LIMIT) {
        *value = -ZERO_OFFSET_LIMIT;
        *offset = 0;
    } else if (s > ZERO_OFFSET_LIMIT) {
        *value = ZERO_OFFSET_LIMIT;
        *offset = 0;
    }
    return *value;
}

void set_b_when_a_zero(int value, float *offset, float last)
{
    if (((float)value + *offset) * last < 0) *offset = 0;
}

/* ---- the zero editor ---- */

typedef ret_t (*zero_child_key_t)(widget_t *win, int key);
typedef ret_t (*zero_child_ui_t)(widget_t *win, int row, int key);

typedef struct {
    int item_id;
    const char *label_name;
    const char *arrow_name;
    digit_param_t *digit_cfg;
    zero_child_key_t on_key_event;
    zero_child_ui_t on_update_ui;
} zero_child_item_config_t;

/* The current row stays the module's named global, which the reticle menu
 * sets; the number being edited is the window's (row editor state). */
int32_t QZ_reticle_zero_child_index = RETICLE_ZERO_CHILD_DISTANCE;

static digit_param_t PARAM_ZERO_CHILD_DIST = {
    RETICLE_ZERO_CHILD_DISTANCE,
    4,
    4,
    0,
    false,
    false,
    false,
    11,
    1500,
    false,
    0,
    0,
    false,
    0,
    0,
    "view_distance_val",
    NULL,
    NULL,
    NULL,
    NULL,
    {"distance_value_dig_4", "distance_value_dig_3", "distance_value_dig_2", "distance_value_dig_1"},
    {241, 259, 277, 295},
    {0},
    {0}};

static ret_t on_key_distance(widget_t *win, int key);
static ret_t on_key_movement(widget_t *win, int key);
static ret_t update_digit_zero_child_item_ui(widget_t *win, int row, int key);
static ret_t on_update_movement_ui(widget_t *win, int row, int key);

static const zero_child_item_config_t s_zero_child_menu_table[] = {
    {RETICLE_ZERO_CHILD_DISTANCE, "label_distance", "view_distance_val", &PARAM_ZERO_CHILD_DIST, on_key_distance,
     update_digit_zero_child_item_ui},
    {RETICLE_ZERO_CHILD_MOVEMENT, "label_movement", "label_arrow", NULL, on_key_movement, on_update_movement_ui},
};
#define ZERO_CHILD_ROWS ((int)ARRAY_SIZE(s_zero_child_menu_table))

static const zero_child_item_config_t *zero_child_row(int row)
{
    return row >= 1 && row <= ZERO_CHILD_ROWS ? &s_zero_child_menu_table[row - 1] : NULL;
}

static void load_distance_digits(void)
{
    digit_param_t *cfg = &PARAM_ZERO_CHILD_DIST;
    value_to_draft(cfg->int_digits, cfg->frac_digits, cfg->has_sign, cfg->draft_val1,
                   ui_current_zero_point()->u16IrCursorDistance);
}

static void zero_child_highlight(widget_t *win)
{
    for (const zero_child_item_config_t &r : s_zero_child_menu_table) {
        bool_t current = r.item_id == QZ_reticle_zero_child_index;
        vesk_page_set_style(win, r.label_name, current ? ZERO_STYLE_ROW_SEL : ZERO_STYLE_ROW);
        if (r.item_id == RETICLE_ZERO_CHILD_MOVEMENT)
            vesk_page_set_style(win, r.arrow_name, current ? ZERO_STYLE_ARROW_SEL : ZERO_STYLE_ARROW);
    }
    vesk_page_set_visible(win, "view_zero_child_sel", TRUE);
    vesk_page_move_resize(win, "view_zero_child_sel", 0,
                          QZ_reticle_zero_child_index * ZERO_ROW_HEIGHT - ZERO_ROW_HEIGHT, 364, ZERO_ROW_HEIGHT);
}

static ret_t update_digit_zero_child_item_ui(widget_t *win, int row, int key)
{
    (void)key;
    digit_param_t *cfg = &PARAM_ZERO_CHILD_DIST;
    for (int p = 0; p < cfg->bit_count; p++) {
        char text[4];
        tk_snprintf(text, sizeof text, "%d", cfg->draft_val1[p]);
        vesk_page_set_text(win, cfg->labels[p], text);
        vesk_page_set_style(win, cfg->labels[p], ZERO_STYLE_ROW);
    }
    const row_editor_state_t *st = row_editor_state(win);
    bool_t editing = st != NULL && row == QZ_reticle_zero_child_index && st->edit_mode != 0 && st->edit_index >= 0 &&
                     st->edit_index < cfg->bit_count;
    vesk_page_set_visible(win, cfg->sel_view, editing);
    if (editing) {
        vesk_page_move_resize(win, cfg->sel_view, cfg->offsets[st->edit_index], 14, 16, 28);
        vesk_page_set_style(win, cfg->labels[st->edit_index], ZERO_STYLE_ROW_SEL);
    }
    return RET_OK;
}

static ret_t on_update_movement_ui(widget_t *win, int row, int key)
{
    (void)win, (void)row, (void)key;
    return RET_OK;
}

/* The four digits become the slot's zero distance and the group's zero
 * range, within 11..1500 m. */
static void save_distance(row_editor_state_t *st)
{
    digit_param_t *cfg = &PARAM_ZERO_CHILD_DIST;
    st->edit_mode = 0;
    double v = draft_to_value(cfg->draft_val1, cfg->int_digits, cfg->frac_digits, cfg->has_sign);
    int value = (int)(v < cfg->min_val ? cfg->min_val : v > cfg->max_val ? cfg->max_val : v);
    value_to_draft(cfg->int_digits, cfg->frac_digits, cfg->has_sign, cfg->draft_val1, value);
    /* The yard figure goes with the metres it is shown for (the slot list
     * and the ballistic menu show it in yards), as the ballistic menu
     * keeps the pair. */
    short yards = vesk_yards_of_metres(value);
    Qel_Cursor_Zero *slot = ui_current_zero_point();
    slot->u16IrCursorDistance = (short)value;
    slot->u16IrCursorDistanceYD = yards;
    GUI_SEND_RETICLE_POSITION_MSG(RETICLE_DISTANCE);
    Info_scope *scope = &ui_current_profile()->gun.scope;
    scope->zeroRange = (short)value;
    scope->zeroRange_yard = yards;
    GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_LENS_INFO, 1);
}

static ret_t on_key_distance(widget_t *win, int key)
{
    digit_param_t *cfg = &PARAM_ZERO_CHILD_DIST;
    row_editor_state_t *st = row_editor_state(win);
    if (st == NULL) return RET_OK;
    if (st->edit_mode == 0) {
        if (key != GUI_KEY_MID_S) return RET_OK;
        st->edit_mode = 1;
        st->edit_index = 0;
        load_distance_digits();
    } else if (key == GUI_KEY_MID_S || key == GUI_KEY_MID_L) {
        save_distance(st);
    } else if (key == GUI_KEY_FOCUS_UP_S || key == GUI_KEY_FOCUS_DOWN_S) {
        /* In metres the thousands digit goes no higher than 8. */
        int largest = st->edit_index == 0 && stDevStatus.s8DistanceUint == 0 ? 8 : 9;
        modify_draft_bit(cfg->draft_val1, st->edit_index, largest, key);
        st->edit_mode = 2;
    } else if (key == GUI_KEY_LEFT_S || key == GUI_KEY_RIGHT_S) {
        int step = key == GUI_KEY_LEFT_S ? cfg->bit_count - 1 : 1;
        st->edit_index = (st->edit_index + step) % cfg->bit_count;
        st->edit_mode = 1;
    }
    return update_digit_zero_child_item_ui(win, RETICLE_ZERO_CHILD_DISTANCE, key);
}

static ret_t on_key_movement(widget_t *win, int key)
{
    (void)win;
    if (key == GUI_KEY_MID_S || key == GUI_KEY_RIGHT_S) {
        navigator_back();
        navigator_to("QZ_reticle_zero_dist");
    }
    return RET_OK;
}

static ret_t zero_child_row_key(widget_t *win, int key)
{
    const zero_child_item_config_t *r = zero_child_row(QZ_reticle_zero_child_index);
    return r != NULL && r->on_key_event != NULL ? r->on_key_event(win, key) : RET_OK;
}

static ret_t on_zero_child_key(void *ctx, event_t *e)
{
    widget_t *win = WIDGET(ctx);
    key_event_t *ke = key_event_cast(e);
    row_editor_state_t *st = row_editor_state(win);
    if (ke == NULL || st == NULL) return RET_OK;
    int key = (int)ke->key;
    bool editing = st->edit_mode != 0;
    switch (key) {
    case GUI_KEY_MID_S:
    case GUI_KEY_LEFT_S:
    case GUI_KEY_RIGHT_S:
        zero_child_row_key(win, key);
        break;
    case GUI_KEY_MID_L:
        if (editing) {
            zero_child_row_key(win, key);
            break;
        }
        GUI_SEND_PARAM_FUNCTION_MSG(SAVE_ALLPARAM);
        navigator_back();
        reticle_menu_index = RETICLE_MENU_MOVEMENT_ROW;
        navigator_to("reticle_menu");
        break;
    case GUI_KEY_POWER_S:
        if (editing) save_distance(st);
        vesk_page_go_home();
        break;
    case GUI_KEY_FOCUS_UP_S:
    case GUI_KEY_FOCUS_DOWN_S:
        if (editing) {
            zero_child_row_key(win, key);
            break;
        }
        QZ_reticle_zero_child_index = getIndexVal(key, 1, ZERO_CHILD_ROWS, QZ_reticle_zero_child_index, 0);
        zero_child_highlight(win);
        break;
    default:
        break;
    }
    return RET_OK;
}

static ret_t on_zero_child_close(void *ctx, event_t *e)
{
    (void)e;
    row_editor_state_t *st = row_editor_state(WIDGET(ctx));
    if (st != NULL) st->edit_mode = 0;
    if (info[0].ballistics_sw == 1) GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_OPEN_CALCU, 1);
    return RET_OK;
}

ret_t QZ_reticle_zero_child_init(widget_t *win, void *ctx)
{
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    intptr_t c = (intptr_t)ctx;
    QZ_reticle_zero_child_index =
        c == RETICLE_ZERO_CHILD_MOVEMENT ? RETICLE_ZERO_CHILD_MOVEMENT : RETICLE_ZERO_CHILD_DISTANCE;
    return_value_if_fail(row_editor_state_new(win) != NULL, RET_OOM);
    load_distance_digits();
    update_digit_zero_child_item_ui(win, RETICLE_ZERO_CHILD_DISTANCE, DIGIT_KEY_NONE);
    zero_child_highlight(win);
    vesk_page_set_text(win, "label_distance_unit", "m");
    widget_on(win, EVT_KEY_DOWN, on_zero_child_key, win);
    vesk_page_bind_close(win, on_zero_child_close);
    static const int events[] = {UI_EV_PROFILE_ARRIVED};
    vesk_page_subscribe(win, events, ARRAY_SIZE(events), on_go_back);
    return RET_OK;
}

/* ---- the zero slot list ---- */

/* Rows 1 to 5 name zero slots, row 6 leaves. A group has two slots: rows 3
 * to 5 stand for none, show "--" and are passed over. */
#define ZERO_LIST_SLOT_ROWS 5
#define ZERO_LIST_EXIT_ROW 6

/* The list's selected row, its window's. */
#define ZERO_LIST_ROW_KEY "zero_list_row"

static bool_t zero_list_row_usable(int row)
{
    return row == ZERO_LIST_EXIT_ROW || (row >= 1 && row <= VESK_ZERO_COUNT);
}

static void zero_list_draw(widget_t *win, int r)
{
    vesk_page_move_resize(win, "view_zero_sel", 0, r * ZERO_ROW_HEIGHT - ZERO_ROW_HEIGHT, 236, ZERO_ROW_HEIGHT);
    printf("index===%d\n", r);
    for (int i = 1; i <= ZERO_LIST_SLOT_ROWS; i++) {
        char label[16], enter[24];
        tk_snprintf(label, sizeof label, "label_zero%d", i);
        tk_snprintf(enter, sizeof enter, "label_zero%d_enter", i);
        const char *style = !zero_list_row_usable(i) ? ZERO_STYLE_UNUSED : i == r ? ZERO_STYLE_ROW_SEL : ZERO_STYLE_ROW;
        vesk_page_set_style(win, label, style);
        vesk_page_set_style(win, enter, i == r ? ZERO_STYLE_ROW_SEL : ZERO_STYLE_ROW);
    }
    vesk_page_set_style(win, "label_zero_exit", r == ZERO_LIST_EXIT_ROW ? ZERO_STYLE_ROW_SEL : ZERO_STYLE_ROW);
}

static void zero_list_texts(widget_t *win)
{
    const Qel_Cursor_Group *g = &IR_Cursor.group[ui_current_group()];
    for (int i = 1; i <= ZERO_LIST_SLOT_ROWS; i++) {
        char label[16], text[24];
        tk_snprintf(label, sizeof label, "label_zero%d", i);
        if (i > VESK_ZERO_COUNT)
            tk_snprintf(text, sizeof text, "--");
        else if (stDevStatus.s8DistanceUint != 0)
            tk_snprintf(text, sizeof text, "%d yd", g->zero[i - 1].u16IrCursorDistanceYD);
        else
            tk_snprintf(text, sizeof text, "%d m", g->zero[i - 1].u16IrCursorDistance);
        vesk_page_set_text(win, label, text);
        char enter[24];
        tk_snprintf(enter, sizeof enter, "label_zero%d_enter", i);
        vesk_page_set_visible(win, enter, zero_list_row_usable(i));
    }
}

static int zero_list_step(int r, int key)
{
    do r = getIndexVal(key, 1, ZERO_LIST_EXIT_ROW, r, 0);
    while (!zero_list_row_usable(r));
    return r;
}

static ret_t on_zero_list_key(void *ctx, event_t *e)
{
    widget_t *win = WIDGET(ctx);
    key_event_t *ke = key_event_cast(e);
    int32_t *row = page_state_of<int32_t>(win, ZERO_LIST_ROW_KEY);
    if (ke == NULL || row == NULL) return RET_STOP;
    switch (ke->key) {
    case GUI_KEY_MID_S:
        if (*row == ZERO_LIST_EXIT_ROW) {
            navigator_back();
            navigator_to("reticle_menu");
        } else if (zero_list_row_usable(*row)) {
            IR_Cursor.group[ui_current_group()].u8CurrentZero = (uint8_t)(*row - 1);
            GUI_SEND_RETICLE_MSG(RETICLE_ZERO);
            navigator_back();
            navigator_to("QZ_reticle_zero_child");
            printf("exit QZ_reticle_zero\n");
        }
        break;
    case GUI_KEY_MID_L:
        navigator_back();
        break;
    case GUI_KEY_POWER_S:
        vesk_page_go_home();
        break;
    case GUI_KEY_FOCUS_UP_S:
    case GUI_KEY_FOCUS_DOWN_S:
        *row = zero_list_step(*row, (int)ke->key);
        zero_list_draw(win, *row);
        break;
    default:
        break;
    }
    return RET_STOP;
}

ret_t QZ_reticle_zero_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    zero_list_texts(win);
    int32_t *row = page_state_new<int32_t>(win, ZERO_LIST_ROW_KEY);
    *row = ui_current_zero() + 1;
    zero_list_draw(win, *row);
    vesk_page_bind_named_keys(win, on_zero_list_key);
    vesk_page_bind_close(win, NULL);
    return RET_OK;
}
