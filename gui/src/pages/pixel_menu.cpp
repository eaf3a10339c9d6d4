// Bad-pixel correction. "pixel_menu" clears the display of its overlays,
// turns the thermal core's cursor on and lets the shooter move it onto a
// dead pixel and mark it, or run the automatic search, and saves the pixel
// map on the way out. While the core is busy (search, save, cursor off)
// the keys are ignored and a fallback timer makes sure the page never
// waits for a report that does not come. "pixel_child" offers the same
// repair, search and save as a four-row list.
#include <stdio.h>
#include <string.h>

#include "home_page.h"
#include "list_menu.h"
#include "navigator.h"
#include "page_state.h"
#include "pages.h"
#include "ui_events.h"
#include "ui_keys.h"
#include "ui_senders.h"
#include "ui_status.h"
#include "vesk_page.h"

#define PIXEL_FEEDBACK_MS 200
#define PIXEL_STEP_MS 500
#define PIXEL_AUTO_FALLBACK_MS 30000
#define PIXEL_SAVE_FALLBACK_MS 1000
#define PIXEL_CLOSE_FALLBACK_MS 500
#define PIXEL_BG_SEL "ic_key_bg_sel"
#define PIXEL_BG_DEF "ic_key_bg_def"

typedef enum {
    BLIND_OP_IDLE = 0,
    BLIND_OP_AUTO_FIXING = 1,
    BLIND_OP_SAVING = 2,
    BLIND_OP_CLOSING_SAVE = 3,
    BLIND_OP_CLOSING_DIRECT = 4,
} _blind_op_state_t;

typedef enum {
    PIXEL_MENU_BTN_EXIT = 0,
    PIXEL_MENU_BTN_AUTO = 1,
    PIXEL_MENU_BTN_LEFT = 2,
    PIXEL_MENU_BTN_RIGHT = 3,
    PIXEL_MENU_BTN_UP = 4,
    PIXEL_MENU_BTN_DOWN = 5,
    PIXEL_MENU_BTN_FIX = 6,
    PIXEL_MENU_BTN_COUNT = 7,
} _pixel_menu_btn_index_t;

typedef struct {
    const char *img_name;
    const char *img_asset;
    const char *view_name;
    const char *view_bg;
    widget_t *img_widget;
    widget_t *view_widget;
} pixel_menu_btn_state_t;

static const pixel_menu_btn_state_t s_pixel_menu_btn_list[PIXEL_MENU_BTN_COUNT] = {
    {"image_btn_exit", "ic_exit_def", "view_btn_exit", "ic_key_bg_long", NULL, NULL},
    {"image_btn_auto", "ic_badpix_auto_def", "view_btn_auto", "ic_key_bg_long", NULL, NULL},
    {"image_btn_left", "ic_move_left_def", "view_btn_left", "ic_key_bg_def", NULL, NULL},
    {"image_btn_right", "ic_move_right_def", "view_btn_right", "ic_key_bg_def", NULL, NULL},
    {"image_btn_up", "ic_move_up_def", "view_btn_up", "ic_key_bg_def", NULL, NULL},
    {"image_btn_down", "ic_move_down_def", "view_btn_down", "ic_key_bg_def", NULL, NULL},
    {"image_btn_fix", "ic_badpix_fix_def", "view_btn_fix", "ic_key_bg_def", NULL, NULL},
};

/* The correction page's working state, its window's; its timers' context.
 * The buttons are the table above with the widgets found at opening. */
typedef struct pixel_page_t {
    widget_t *win;
    pixel_menu_btn_state_t buttons[PIXEL_MENU_BTN_COUNT];
    _blind_op_state_t op_state = BLIND_OP_IDLE;
    uint8_t key_disabled;
    uint32_t exit_target_key;
    uint32_t tm_id_fallback = TK_INVALID_ID;
    uint32_t step_timer_id = TK_INVALID_ID;
    int step_direction;
    uint32_t feedback_timer_id = TK_INVALID_ID;
    int feedback_btn = -1;
} pixel_page_t;
#define PIXEL_PAGE_KEY "pixel_page"

static pixel_page_t *pixel_page_of(widget_t *win) { return page_state_of<pixel_page_t>(win, PIXEL_PAGE_KEY); }

/* The button's selected image: a trailing "def" becomes "sel", any other
 * name gets "_sel" behind it. */
static void selected_image(const char *def, char *out, size_t size)
{
    size_t n = strlen(def);
    if (n >= 4 && strcmp(def + n - 3, "def") == 0)
        snprintf(out, size, "%.*ssel", (int)(n - 3), def);
    else
        snprintf(out, size, "%s_sel", def);
}

static void btn_show(pixel_page_t *pm, int btn, bool_t selected, bool_t with_bg)
{
    pixel_menu_btn_state_t *b = &pm->buttons[btn];
    char sel[64];
    selected_image(b->img_asset, sel, sizeof sel);
    if (b->img_widget != NULL) image_base_set_image(b->img_widget, selected ? sel : b->img_asset);
    if (with_bg && b->view_widget != NULL)
        widget_set_style_str(b->view_widget, "bg_image", selected ? PIXEL_BG_SEL : PIXEL_BG_DEF);
}

static void btn_restore(pixel_page_t *pm, int btn)
{
    pixel_menu_btn_state_t *b = &pm->buttons[btn];
    if (b->img_widget != NULL) image_base_set_image(b->img_widget, b->img_asset);
    if (b->view_widget != NULL) widget_set_style_str(b->view_widget, "bg_image", b->view_bg);
}

static void feedback_stop(pixel_page_t *pm)
{
    if (pm->feedback_timer_id != TK_INVALID_ID) timer_remove(pm->feedback_timer_id);
    pm->feedback_timer_id = TK_INVALID_ID;
    pm->feedback_btn = -1;
}

static ret_t on_feedback_end(const timer_info_t *timer)
{
    pixel_page_t *pm = (pixel_page_t *)timer->ctx;
    pm->feedback_timer_id = TK_INVALID_ID;
    if (pm->feedback_btn >= 0) btn_show(pm, pm->feedback_btn, FALSE, TRUE);
    pm->feedback_btn = -1;
    return RET_REMOVE;
}

/* A short press shows its button selected for a moment; a new press ends
 * the previous one first. */
static void feedback(pixel_page_t *pm, int btn, bool_t with_bg)
{
    if (pm->feedback_btn >= 0 && pm->feedback_btn != btn) btn_show(pm, pm->feedback_btn, FALSE, TRUE);
    feedback_stop(pm);
    btn_show(pm, btn, TRUE, with_bg);
    pm->feedback_btn = btn;
    pm->feedback_timer_id = timer_add(on_feedback_end, pm, PIXEL_FEEDBACK_MS);
}

static const int s_direction_btn[4] = {PIXEL_MENU_BTN_UP, PIXEL_MENU_BTN_DOWN, PIXEL_MENU_BTN_LEFT,
                                       PIXEL_MENU_BTN_RIGHT};

static void step_stop(pixel_page_t *pm)
{
    if (pm->step_timer_id != TK_INVALID_ID) timer_remove(pm->step_timer_id);
    pm->step_timer_id = TK_INVALID_ID;
    pm->step_direction = 0;
    for (int d = 0; d < 4; d++) btn_show(pm, s_direction_btn[d], FALSE, TRUE);
}

static ret_t on_step(const timer_info_t *timer)
{
    const pixel_page_t *pm = (const pixel_page_t *)timer->ctx;
    stUIStatus.s8BlindTenPosition = (char)pm->step_direction;
    GUI_SEND_BLIND_MSG(BLIND_MOVE_TENPOSITION);
    return RET_REPEAT;
}

static void step_start(pixel_page_t *pm, int direction)
{
    step_stop(pm);
    feedback_stop(pm);
    btn_show(pm, s_direction_btn[direction], TRUE, TRUE);
    pm->step_direction = direction;
    stUIStatus.s8BlindTenPosition = (char)direction;
    GUI_SEND_BLIND_MSG(BLIND_MOVE_TENPOSITION);
    pm->step_timer_id = timer_add(on_step, pm, PIXEL_STEP_MS);
}

static void fallback_stop(pixel_page_t *pm)
{
    if (pm->tm_id_fallback != TK_INVALID_ID) timer_remove(pm->tm_id_fallback);
    pm->tm_id_fallback = TK_INVALID_ID;
}

static ret_t on_fallback(const timer_info_t *timer);

static void fallback_start(pixel_page_t *pm, uint32_t ms)
{
    fallback_stop(pm);
    pm->tm_id_fallback = timer_add(on_fallback, pm, ms);
}

static void set_waiting(pixel_page_t *pm, _blind_op_state_t state, uint32_t key, uint32_t ms)
{
    step_stop(pm);
    pm->exit_target_key = key;
    pm->op_state = state;
    pm->key_disabled = 1;
    vesk_page_set_visible(pm->win, "view_waiting", TRUE);
    fallback_start(pm, ms);
}

static void go_idle(pixel_page_t *pm)
{
    pm->op_state = BLIND_OP_IDLE;
    pm->key_disabled = 0;
    vesk_page_set_visible(pm->win, "view_waiting", FALSE);
}

static void cursor_off(void)
{
    stUIStatus.s8BlindSwitch = 0;
    GUI_SEND_BLIND_MSG(BLIND_CURSOR_SWITCH);
}

/* The reticle comes back only where the reticle menu lets it show. */
static void restore_reticle(void)
{
    if (stDevStatus.s8ReticleMenuSwitch == 1 && stDevStatus.s8ReticleSwitch == 0) {
        stDevStatus.s8ReticleSwitch = 1;
        GUI_SEND_RETICLE_MSG(RETICLE_SWITCH);
    }
}

static void final_exit(const pixel_page_t *pm)
{
    restore_reticle();
    if (pm->exit_target_key == GUI_KEY_POWER_S) {
        navigator_back_to_home();
    } else {
        navigator_back();
        navigator_to("main_menu");
    }
}

static ret_t on_fallback(const timer_info_t *timer)
{
    pixel_page_t *pm = (pixel_page_t *)timer->ctx;
    pm->tm_id_fallback = TK_INVALID_ID;
    vesk_page_set_visible(pm->win, "view_waiting", FALSE);
    _blind_op_state_t state = pm->op_state;
    go_idle(pm);
    /* The search is given up; the page stays. */
    if (state == BLIND_OP_AUTO_FIXING) return RET_REMOVE;
    if (state == BLIND_OP_SAVING) cursor_off();
    final_exit(pm);
    return RET_REMOVE;
}

static ret_t on_blind_save(void *ctx, event_t *e)
{
    (void)e;
    widget_t *win = WIDGET(ctx);
    pixel_page_t *pm = pixel_page_of(win);
    if (pm == NULL) return RET_OK;
    switch (pm->op_state) {
    case BLIND_OP_AUTO_FIXING:
        fallback_stop(pm);
        go_idle(pm);
        break;
    case BLIND_OP_SAVING:
        fallback_stop(pm);
        vesk_page_set_visible(win, "view_waiting", FALSE);
        pm->op_state = BLIND_OP_CLOSING_SAVE;
        fallback_start(pm, PIXEL_CLOSE_FALLBACK_MS);
        cursor_off();
        break;
    case BLIND_OP_CLOSING_SAVE:
    case BLIND_OP_CLOSING_DIRECT:
        fallback_stop(pm);
        go_idle(pm);
        final_exit(pm);
        break;
    default:
        break;
    }
    return RET_OK;
}

static int direction_of(uint32_t key, const uint32_t keys[4])
{
    for (int d = 0; d < 4; d++)
        if (keys[d] == key) return d;
    return -1;
}

static ret_t on_pixel_key(void *ctx, event_t *e)
{
    widget_t *win = WIDGET(ctx);
    key_event_t *key = key_event_cast(e);
    pixel_page_t *pm = pixel_page_of(win);
    if (key == NULL || pm == NULL || pm->key_disabled) return RET_STOP;
    static const uint32_t short_keys[4] = {GUI_KEY_FOCUS_UP_S, GUI_KEY_FOCUS_DOWN_S, GUI_KEY_LEFT_S, GUI_KEY_RIGHT_S};
    static const uint32_t held_keys[4] = {GUI_KEY_FOCUS_UP_L, GUI_KEY_FOCUS_DOWN_L, GUI_KEY_LEFT_L, GUI_KEY_RIGHT_L};
    static const uint32_t release_keys[4] = {GUI_KEY_UP_L_Release, GUI_KEY_DOWN_L_Release, GUI_KEY_LEFT_L_POP,
                                             GUI_KEY_RIGHT_L_POP};
    int d;
    if ((d = direction_of(key->key, short_keys)) >= 0) {
        step_stop(pm);
        feedback(pm, s_direction_btn[d], TRUE);
        stUIStatus.s8BlindPosition = (char)d;
        GUI_SEND_BLIND_MSG(BLIND_MOVE_POSITION);
    } else if ((d = direction_of(key->key, held_keys)) >= 0) {
        step_start(pm, d);
    } else if ((d = direction_of(key->key, release_keys)) >= 0) {
        step_stop(pm);
        btn_restore(pm, s_direction_btn[d]);
    } else if (key->key == GUI_KEY_MID_S) {
        feedback(pm, PIXEL_MENU_BTN_FIX, TRUE);
        stUIStatus.s8BlindType = 1;
        GUI_SEND_BLIND_MSG(BLIND_REPAIR);
    } else if (key->key == GUI_KEY_RANGE_S) {
        feedback(pm, PIXEL_MENU_BTN_AUTO, FALSE);
        set_waiting(pm, BLIND_OP_AUTO_FIXING, 0, PIXEL_AUTO_FALLBACK_MS);
        stUIStatus.s8BlindType = 0;
        GUI_SEND_BLIND_MSG(BLIND_REPAIR);
    } else if (key->key == GUI_KEY_MID_L || key->key == GUI_KEY_FUCTION_S) {
        if (key->key == GUI_KEY_FUCTION_S) feedback(pm, PIXEL_MENU_BTN_EXIT, TRUE);
        set_waiting(pm, BLIND_OP_SAVING, key->key, PIXEL_SAVE_FALLBACK_MS);
        GUI_SEND_BLIND_MSG(BLIND_SAVE);
    } else if (key->key == GUI_KEY_POWER_S) {
        step_stop(pm);
        pm->exit_target_key = GUI_KEY_POWER_S;
        pm->op_state = BLIND_OP_CLOSING_DIRECT;
        pm->key_disabled = 1;
        vesk_page_set_visible(win, "view_waiting", FALSE);
        fallback_start(pm, PIXEL_CLOSE_FALLBACK_MS);
        cursor_off();
    }
    return RET_STOP;
}

static ret_t on_pixel_key_up(void *ctx, event_t *e)
{
    (void)ctx, (void)e;
    return RET_OK;
}

/* Every timer ends with the page: their context is the page's state,
 * which goes with the window. */
static ret_t on_pixel_close(void *ctx, event_t *e)
{
    (void)e;
    pixel_page_t *pm = pixel_page_of(WIDGET(ctx));
    if (pm != NULL) {
        fallback_stop(pm);
        if (pm->step_timer_id != TK_INVALID_ID) timer_remove(pm->step_timer_id);
        pm->step_timer_id = TK_INVALID_ID;
        pm->step_direction = 0;
        feedback_stop(pm);
        for (int b = 0; b < PIXEL_MENU_BTN_COUNT; b++) btn_restore(pm, b);
        pm->op_state = BLIND_OP_IDLE;
        pm->key_disabled = 0;
    }
    is_corner_info_visible = 1;
    event_distrubution(UI_EVT(UI_EV_CORNER_INFO));
    return RET_OK;
}

/* Nothing may stand over the pixels being looked at. */
static void clear_display(void)
{
    if (info[0].ballistics_sw == 1) {
        info[0].ballistics_sw = 0;
        GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_OPEN_CALCU, 0);
    }
    if (stDevStatus.s8VideoMode == 3) {
        stDevStatus.s8VideoMode = 0;
        GUI_SEND_BASIC_FUNCTION_MSG(BASIC_VIDEO_MODE);
    }
    if (stUIStatus.s8LaserSwitch == 1) {
        stUIStatus.s8LaserSwitch = 0;
        GUI_SEND_BASIC_FUNCTION_MSG(BASIC_LASER_SWITCH);
    }
    if (stDevStatus.s8RangeSwitch == 1) {
        if (stUIStatus.s8RangeMode == 3) GUI_SEND_DISTANCE_FUNCTION_MSG(DISTANCE_RANGE_OPERATION, 0);
        GUI_SEND_DISTANCE_FUNCTION_MSG(DISTANCE_RANGE_SWITCH, 0);
    }
    if (stDevStatus.s8ReticleMenuSwitch == 1) {
        stDevStatus.s8ReticleSwitch = 0;
        GUI_SEND_RETICLE_MSG(RETICLE_SWITCH);
    }
    if (stUIStatus.s8WindSwitch == 1) {
        stUIStatus.s8WindSwitch = 0;
        GUI_SEND_BASIC_FUNCTION_MSG(BASIC_WIND_SWITCH);
    }
}

ret_t pixel_menu_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    pixel_page_t *pm = page_state_new<pixel_page_t>(win, PIXEL_PAGE_KEY);
    pm->win = win;
    for (int b = 0; b < PIXEL_MENU_BTN_COUNT; b++) {
        pixel_menu_btn_state_t *btn = &pm->buttons[b];
        *btn = s_pixel_menu_btn_list[b];
        btn->img_widget = vesk_page_widget(win, btn->img_name);
        btn->view_widget = vesk_page_widget(win, btn->view_name);
        btn_restore(pm, b);
    }
    vesk_page_set_visible(win, "view_waiting", FALSE);
    clear_display();
    stUIStatus.s8BlindSwitch = 1;
    GUI_SEND_BLIND_MSG(BLIND_CURSOR_SWITCH);
    is_corner_info_visible = 0;
    event_distrubution(UI_EVT(UI_EV_CORNER_INFO));
    widget_on(win, EVT_KEY_DOWN, on_pixel_key, win);
    widget_on(win, EVT_KEY_UP, on_pixel_key_up, win);
    static const int events[] = {UI_EV_BLIND_SAVE};
    vesk_page_subscribe(win, events, ARRAY_SIZE(events), on_blind_save);
    vesk_page_bind_close(win, on_pixel_close);
    return RET_OK;
}

/* ---- pixel_child ---- */

enum { PIXEL_CHILD_REPAIR = 1, PIXEL_CHILD_AUTO, PIXEL_CHILD_SAVE, PIXEL_CHILD_EXIT };
#define PIXEL_CHILD_ROWS 4
#define PIXEL_CHILD_ROW_H 64
#define PIXEL_CHILD_BAR_W 196
#define PIXEL_CHILD_BAR_H 56
#define PIXEL_CHILD_SETTLE_MS 300

/* The list's selected row, its window's. */
#define PIXEL_CHILD_KEY "pixel_child_row"
static const char *const s_pixel_child_labels[PIXEL_CHILD_ROWS] = {"label_repair", "label_auto", "label_save",
                                                                   "label_exit"};

static void pixel_child_draw(widget_t *win, int32_t i)
{
    vesk_page_move_resize(win, "view_pix_sel", 0, (i - 1) * PIXEL_CHILD_ROW_H, PIXEL_CHILD_BAR_W, PIXEL_CHILD_BAR_H);
    for (int r = 0; r < PIXEL_CHILD_ROWS; r++)
        vesk_page_set_style(win, s_pixel_child_labels[r], r + 1 == i ? LIST_MENU_LABEL_SEL : LIST_MENU_LABEL_DEF);
}

/* It stands over the correction page: leaving for the main menu closes
 * both. */
static void pixel_child_leave_to_menu(void)
{
    navigator_back();
    if (navigator_find_window("pixel_menu") != NULL) navigator_close("pixel_menu");
    navigator_to("main_menu");
}

static ret_t on_pixel_child_key(void *ctx, event_t *e)
{
    widget_t *win = WIDGET(ctx);
    key_event_t *key = key_event_cast(e);
    int32_t *row = page_state_of<int32_t>(win, PIXEL_CHILD_KEY);
    if (key == NULL || row == NULL) return RET_STOP;
    switch (key->key) {
    case GUI_KEY_FOCUS_UP_S:
        *row = *row <= 1 ? PIXEL_CHILD_ROWS : *row - 1;
        pixel_child_draw(win, *row);
        break;
    case GUI_KEY_FOCUS_DOWN_S:
        *row = *row >= PIXEL_CHILD_ROWS ? 1 : *row + 1;
        pixel_child_draw(win, *row);
        break;
    case GUI_KEY_MID_S:
        if (*row == PIXEL_CHILD_REPAIR || *row == PIXEL_CHILD_AUTO) {
            stUIStatus.s8BlindType = *row == PIXEL_CHILD_REPAIR ? 1 : 0;
            GUI_SEND_BLIND_MSG(BLIND_REPAIR);
        } else if (*row == PIXEL_CHILD_SAVE) {
            GUI_SEND_BLIND_MSG(BLIND_SAVE);
            stUIStatus.s8BlindSwitch = 0;
            restore_reticle();
            /* The core writes its map before anything else reaches it. */
            sleep_ms(PIXEL_CHILD_SETTLE_MS);
            pixel_child_leave_to_menu();
        } else {
            cursor_off();
            pixel_child_leave_to_menu();
            restore_reticle();
        }
        break;
    case GUI_KEY_MID_L:
        navigator_back();
        break;
    case GUI_KEY_POWER_S:
        cursor_off();
        restore_reticle();
        sleep_ms(PIXEL_CHILD_SETTLE_MS);
        vesk_page_go_home();
        break;
    default:
        break;
    }
    return RET_STOP;
}

ret_t pixel_child_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    int32_t *row = page_state_new<int32_t>(win, PIXEL_CHILD_KEY);
    *row = PIXEL_CHILD_REPAIR;
    pixel_child_draw(win, *row);
    vesk_page_bind_named_keys(win, on_pixel_child_key);
    vesk_page_bind_close(win, NULL);
    return RET_OK;
}
