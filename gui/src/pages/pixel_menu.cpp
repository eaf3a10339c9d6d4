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

static pixel_menu_btn_state_t s_pixel_menu_btn_list[PIXEL_MENU_BTN_COUNT] = {
    {"image_btn_exit", "ic_exit_def", "view_btn_exit", "ic_key_bg_long", NULL, NULL},
    {"image_btn_auto", "ic_badpix_auto_def", "view_btn_auto", "ic_key_bg_long", NULL, NULL},
    {"image_btn_left", "ic_move_left_def", "view_btn_left", "ic_key_bg_def", NULL, NULL},
    {"image_btn_right", "ic_move_right_def", "view_btn_right", "ic_key_bg_def", NULL, NULL},
    {"image_btn_up", "ic_move_up_def", "view_btn_up", "ic_key_bg_def", NULL, NULL},
    {"image_btn_down", "ic_move_down_def", "view_btn_down", "ic_key_bg_def", NULL, NULL},
    {"image_btn_fix", "ic_badpix_fix_def", "view_btn_fix", "ic_key_bg_def", NULL, NULL},
};

static _blind_op_state_t s_blind_op_state = BLIND_OP_IDLE;
static uint8_t s_pixel_key_disabled;
static uint32_t s_exit_target_key;
static uint32_t s_tm_id_fallback;
static uint32_t s_step_timer_id;
static int step_direction;
static uint32_t s_feedback_timer_id;
static int s_feedback_btn = -1;
static widget_t *s_pixel_win;

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

static void btn_show(int btn, bool_t selected, bool_t with_bg)
{
    pixel_menu_btn_state_t *b = &s_pixel_menu_btn_list[btn];
    char sel[64];
    selected_image(b->img_asset, sel, sizeof sel);
    if (b->img_widget != NULL) image_base_set_image(b->img_widget, selected ? sel : b->img_asset);
    if (with_bg && b->view_widget != NULL)
        widget_set_style_str(b->view_widget, "bg_image", selected ? PIXEL_BG_SEL : PIXEL_BG_DEF);
}

static void btn_restore(int btn)
{
    pixel_menu_btn_state_t *b = &s_pixel_menu_btn_list[btn];
    if (b->img_widget != NULL) image_base_set_image(b->img_widget, b->img_asset);
    if (b->view_widget != NULL) widget_set_style_str(b->view_widget, "bg_image", b->view_bg);
}

static void feedback_stop(void)
{
    if (s_feedback_timer_id != TK_INVALID_ID) timer_remove(s_feedback_timer_id);
    s_feedback_timer_id = TK_INVALID_ID;
    s_feedback_btn = -1;
}

static ret_t on_feedback_end(const timer_info_t *timer)
{
    (void)timer;
    s_feedback_timer_id = TK_INVALID_ID;
    if (s_feedback_btn >= 0) btn_show(s_feedback_btn, FALSE, TRUE);
    s_feedback_btn = -1;
    return RET_REMOVE;
}

/* A short press shows its button selected for a moment; a new press ends
 * the previous one first. */
static void feedback(int btn, bool_t with_bg)
{
    if (s_feedback_btn >= 0 && s_feedback_btn != btn) btn_show(s_feedback_btn, FALSE, TRUE);
    feedback_stop();
    btn_show(btn, TRUE, with_bg);
    s_feedback_btn = btn;
    s_feedback_timer_id = timer_add(on_feedback_end, NULL, PIXEL_FEEDBACK_MS);
}

static const int s_direction_btn[4] = {PIXEL_MENU_BTN_UP, PIXEL_MENU_BTN_DOWN, PIXEL_MENU_BTN_LEFT,
                                       PIXEL_MENU_BTN_RIGHT};

static void step_stop(void)
{
    if (s_step_timer_id != TK_INVALID_ID) timer_remove(s_step_timer_id);
    s_step_timer_id = TK_INVALID_ID;
    step_direction = 0;
    for (int d = 0; d < 4; d++) btn_show(s_direction_btn[d], FALSE, TRUE);
}

static ret_t on_step(const timer_info_t *timer)
{
    (void)timer;
    stUIStatus.s8BlindTenPosition = (char)step_direction;
    GUI_SEND_BLIND_MSG(BLIND_MOVE_TENPOSITION);
    return RET_REPEAT;
}

static void step_start(int direction)
{
    step_stop();
    feedback_stop();
    btn_show(s_direction_btn[direction], TRUE, TRUE);
    step_direction = direction;
    stUIStatus.s8BlindTenPosition = (char)direction;
    GUI_SEND_BLIND_MSG(BLIND_MOVE_TENPOSITION);
    s_step_timer_id = timer_add(on_step, NULL, PIXEL_STEP_MS);
}

static void fallback_stop(void)
{
    if (s_tm_id_fallback != TK_INVALID_ID) timer_remove(s_tm_id_fallback);
    s_tm_id_fallback = TK_INVALID_ID;
}

static ret_t on_fallback(const timer_info_t *timer);

static void fallback_start(uint32_t ms)
{
    fallback_stop();
    s_tm_id_fallback = timer_add(on_fallback, NULL, ms);
}

static void set_waiting(widget_t *win, _blind_op_state_t state, uint32_t key, uint32_t ms)
{
    step_stop();
    s_exit_target_key = key;
    s_blind_op_state = state;
    s_pixel_key_disabled = 1;
    vesk_page_set_visible(win, "view_waiting", TRUE);
    fallback_start(ms);
}

static void go_idle(widget_t *win)
{
    s_blind_op_state = BLIND_OP_IDLE;
    s_pixel_key_disabled = 0;
    vesk_page_set_visible(win, "view_waiting", FALSE);
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

static void final_exit(void)
{
    restore_reticle();
    if (s_exit_target_key == GUI_KEY_POWER_S) {
        navigator_back_to_home();
    } else {
        navigator_back();
        navigator_to("main_menu");
    }
}

static ret_t on_fallback(const timer_info_t *timer)
{
    (void)timer;
    s_tm_id_fallback = TK_INVALID_ID;
    widget_t *win = s_pixel_win;
    vesk_page_set_visible(win, "view_waiting", FALSE);
    _blind_op_state_t state = s_blind_op_state;
    go_idle(win);
    /* The search is given up; the page stays. */
    if (state == BLIND_OP_AUTO_FIXING) return RET_REMOVE;
    if (state == BLIND_OP_SAVING) cursor_off();
    final_exit();
    return RET_REMOVE;
}

static ret_t on_blind_save(void *ctx, event_t *e)
{
    (void)e;
    widget_t *win = WIDGET(ctx);
    switch (s_blind_op_state) {
    case BLIND_OP_AUTO_FIXING:
        fallback_stop();
        go_idle(win);
        break;
    case BLIND_OP_SAVING:
        fallback_stop();
        vesk_page_set_visible(win, "view_waiting", FALSE);
        s_blind_op_state = BLIND_OP_CLOSING_SAVE;
        fallback_start(PIXEL_CLOSE_FALLBACK_MS);
        cursor_off();
        break;
    case BLIND_OP_CLOSING_SAVE:
    case BLIND_OP_CLOSING_DIRECT:
        fallback_stop();
        go_idle(win);
        final_exit();
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
    if (key == NULL || s_pixel_key_disabled) return RET_STOP;
    static const uint32_t short_keys[4] = {GUI_KEY_FOCUS_UP_S, GUI_KEY_FOCUS_DOWN_S, GUI_KEY_LEFT_S, GUI_KEY_RIGHT_S};
    static const uint32_t held_keys[4] = {GUI_KEY_FOCUS_UP_L, GUI_KEY_FOCUS_DOWN_L, GUI_KEY_LEFT_L, GUI_KEY_RIGHT_L};
    static const uint32_t release_keys[4] = {GUI_KEY_UP_L_Release, GUI_KEY_DOWN_L_Release, GUI_KEY_LEFT_L_POP,
                                             GUI_KEY_RIGHT_L_POP};
    int d;
    if ((d = direction_of(key->key, short_keys)) >= 0) {
        step_stop();
        feedback(s_direction_btn[d], TRUE);
        stUIStatus.s8BlindPosition = (char)d;
        GUI_SEND_BLIND_MSG(BLIND_MOVE_POSITION);
    } else if ((d = direction_of(key->key, held_keys)) >= 0) {
        step_start(d);
    } else if ((d = direction_of(key->key, release_keys)) >= 0) {
        step_stop();
        btn_restore(s_direction_btn[d]);
    } else if (key->key == GUI_KEY_MID_S) {
        feedback(PIXEL_MENU_BTN_FIX, TRUE);
        stUIStatus.s8BlindType = 1;
        GUI_SEND_BLIND_MSG(BLIND_REPAIR);
    } else if (key->key == GUI_KEY_RANGE_S) {
        feedback(PIXEL_MENU_BTN_AUTO, FALSE);
        set_waiting(win, BLIND_OP_AUTO_FIXING, 0, PIXEL_AUTO_FALLBACK_MS);
        stUIStatus.s8BlindType = 0;
        GUI_SEND_BLIND_MSG(BLIND_REPAIR);
    } else if (key->key == GUI_KEY_MID_L || key->key == GUI_KEY_FUCTION_S) {
        if (key->key == GUI_KEY_FUCTION_S) feedback(PIXEL_MENU_BTN_EXIT, TRUE);
        set_waiting(win, BLIND_OP_SAVING, key->key, PIXEL_SAVE_FALLBACK_MS);
        GUI_SEND_BLIND_MSG(BLIND_SAVE);
    } else if (key->key == GUI_KEY_POWER_S) {
        step_stop();
        s_exit_target_key = GUI_KEY_POWER_S;
        s_blind_op_state = BLIND_OP_CLOSING_DIRECT;
        s_pixel_key_disabled = 1;
        vesk_page_set_visible(win, "view_waiting", FALSE);
        fallback_start(PIXEL_CLOSE_FALLBACK_MS);
        cursor_off();
    }
    return RET_STOP;
}

static ret_t on_pixel_key_up(void *ctx, event_t *e)
{
    (void)ctx, (void)e;
    return RET_OK;
}

static ret_t on_pixel_close(void *ctx, event_t *e)
{
    (void)ctx, (void)e;
    fallback_stop();
    if (s_step_timer_id != TK_INVALID_ID) timer_remove(s_step_timer_id);
    s_step_timer_id = TK_INVALID_ID;
    step_direction = 0;
    feedback_stop();
    for (int b = 0; b < PIXEL_MENU_BTN_COUNT; b++) btn_restore(b);
    for (int b = 0; b < PIXEL_MENU_BTN_COUNT; b++) s_pixel_menu_btn_list[b].img_widget = NULL;
    for (int b = 0; b < PIXEL_MENU_BTN_COUNT; b++) s_pixel_menu_btn_list[b].view_widget = NULL;
    s_blind_op_state = BLIND_OP_IDLE;
    s_pixel_key_disabled = 0;
    s_pixel_win = NULL;
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
    s_pixel_win = win;
    s_blind_op_state = BLIND_OP_IDLE;
    s_pixel_key_disabled = 0;
    s_exit_target_key = 0;
    s_tm_id_fallback = TK_INVALID_ID;
    s_step_timer_id = TK_INVALID_ID;
    s_feedback_timer_id = TK_INVALID_ID;
    s_feedback_btn = -1;
    for (int b = 0; b < PIXEL_MENU_BTN_COUNT; b++) {
        pixel_menu_btn_state_t *btn = &s_pixel_menu_btn_list[b];
        btn->img_widget = vesk_page_widget(win, btn->img_name);
        btn->view_widget = vesk_page_widget(win, btn->view_name);
        btn_restore(b);
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

static int32_t s_pixel_child_index = PIXEL_CHILD_REPAIR;
static const char *const s_pixel_child_labels[PIXEL_CHILD_ROWS] = {"label_repair", "label_auto", "label_save",
                                                                   "label_exit"};

static void pixel_child_draw(widget_t *win)
{
    int32_t i = s_pixel_child_index;
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
    if (key == NULL) return RET_STOP;
    switch (key->key) {
    case GUI_KEY_FOCUS_UP_S:
        s_pixel_child_index = s_pixel_child_index <= 1 ? PIXEL_CHILD_ROWS : s_pixel_child_index - 1;
        pixel_child_draw(win);
        break;
    case GUI_KEY_FOCUS_DOWN_S:
        s_pixel_child_index = s_pixel_child_index >= PIXEL_CHILD_ROWS ? 1 : s_pixel_child_index + 1;
        pixel_child_draw(win);
        break;
    case GUI_KEY_MID_S:
        if (s_pixel_child_index == PIXEL_CHILD_REPAIR || s_pixel_child_index == PIXEL_CHILD_AUTO) {
            stUIStatus.s8BlindType = s_pixel_child_index == PIXEL_CHILD_REPAIR ? 1 : 0;
            GUI_SEND_BLIND_MSG(BLIND_REPAIR);
        } else if (s_pixel_child_index == PIXEL_CHILD_SAVE) {
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
    s_pixel_child_index = PIXEL_CHILD_REPAIR;
    pixel_child_draw(win);
    vesk_page_bind_named_keys(win, on_pixel_child_key);
    vesk_page_bind_close(win, NULL);
    return RET_OK;
}
