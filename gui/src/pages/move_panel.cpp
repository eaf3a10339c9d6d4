#include "move_panel.h"

#include <math.h>
#include <string.h>

#include "navigator.h"
#include "ui_events.h"
#include "ui_keys.h"
#include "ui_senders.h"
#include "ui_status.h"
#include "utils_common.h"
#include "vesk_page.h"

#define MOVE_FLASH_MS 200
#define MOVE_STEP_MS 500
#define MOVE_BG_DEF "ic_key_bg_def"
#define MOVE_BG_SEL "ic_key_bg_sel"
#define MOVE_SCREEN_CENTRE 639
#define MOVE_PICTURE_RADIUS2 409600 /* 640 pixels */
#define MOVE_PICTURE_TOP 128
#define MOVE_PICTURE_BOTTOM 1152

static const move_panel_btn_state_t s_panel_buttons[MOVE_BTN_COUNT] = {
    {"image_btn_exit", "ic_exit_def", "view_btn_exit", "ic_key_bg_long", NULL, NULL},
    {"image_btn_freeze", "ic_freeze_un", "view_btn_freeze", "ic_key_bg_long", NULL, NULL},
    {"image_btn_left", "ic_move_left_def", "view_btn_left", MOVE_BG_DEF, NULL, NULL},
    {"image_btn_right", "ic_move_right_def", "view_btn_right", MOVE_BG_DEF, NULL, NULL},
    {"image_btn_up", "ic_move_up_def", "view_btn_up", MOVE_BG_DEF, NULL, NULL},
    {"image_btn_down", "ic_move_down_def", "view_btn_down", MOVE_BG_DEF, NULL, NULL},
    {"image_btn_centralinfo", "ic_centralinfo_def", "view_btn_centralinfo", MOVE_BG_DEF, NULL, NULL},
};

static const struct {
    uint32_t key;
    move_key_t what;
} s_panel_keys[] = {
    {GUI_KEY_FOCUS_UP_S, {MOVE_KEY_FINE, MOVE_BTN_UP, 0, -1}},
    {GUI_KEY_FOCUS_DOWN_S, {MOVE_KEY_FINE, MOVE_BTN_DOWN, 0, 1}},
    {GUI_KEY_LEFT_S, {MOVE_KEY_FINE, MOVE_BTN_LEFT, -1, 0}},
    {GUI_KEY_RIGHT_S, {MOVE_KEY_FINE, MOVE_BTN_RIGHT, 1, 0}},
    {GUI_KEY_FOCUS_UP_L, {MOVE_KEY_HELD, MOVE_BTN_UP, 0, -10}},
    {GUI_KEY_FOCUS_DOWN_L, {MOVE_KEY_HELD, MOVE_BTN_DOWN, 0, 10}},
    {GUI_KEY_LEFT_L, {MOVE_KEY_HELD, MOVE_BTN_LEFT, -10, 0}},
    {GUI_KEY_RIGHT_L, {MOVE_KEY_HELD, MOVE_BTN_RIGHT, 10, 0}},
    {GUI_KEY_UP_L_Release, {MOVE_KEY_RELEASE, MOVE_BTN_UP, 0, 0}},
    {GUI_KEY_DOWN_L_Release, {MOVE_KEY_RELEASE, MOVE_BTN_DOWN, 0, 0}},
    {GUI_KEY_LEFT_L_POP, {MOVE_KEY_RELEASE, MOVE_BTN_LEFT, 0, 0}},
    {GUI_KEY_RIGHT_L_POP, {MOVE_KEY_RELEASE, MOVE_BTN_RIGHT, 0, 0}},
    {GUI_KEY_MID_S, {MOVE_KEY_CENTRE, MOVE_BTN_CENTRE, 0, 0}},
    {GUI_KEY_RANGE_S, {MOVE_KEY_FREEZE, MOVE_BTN_FREEZE, 0, 0}},
    {GUI_KEY_MID_L, {MOVE_KEY_CLOSE, MOVE_BTN_EXIT, 0, 0}},
    {GUI_KEY_FUCTION_S, {MOVE_KEY_CLOSE, MOVE_BTN_EXIT, 0, 0}},
    {GUI_KEY_POWER_S, {MOVE_KEY_HOME, -1, 0, 0}},
};

move_key_t move_panel_key(uint32_t key)
{
    for (const auto &k : s_panel_keys)
        if (k.key == key) return k.what;
    return move_key_t{MOVE_KEY_NONE, -1, 0, 0};
}

static const move_panel_btn_state_t *button_of(const move_panel_t *p, int button)
{
    return button >= 0 && button < MOVE_BTN_COUNT ? &p->buttons[button] : NULL;
}

static void set_bg(widget_t *view, const char *bg)
{
    if (view != NULL) widget_set_style_str(view, "bg_image", bg);
}

void move_panel_open(move_panel_t *p, widget_t *win, move_panel_step_t on_step)
{
    memset(p, 0, sizeof *p);
    memcpy(p->buttons, s_panel_buttons, sizeof p->buttons);
    p->win = win;
    p->on_step = on_step;
    for (move_panel_btn_state_t &b : p->buttons) {
        b.img = vesk_page_widget(win, b.img_name);
        b.view = vesk_page_widget(win, b.view_name);
        if (b.img != NULL) image_base_set_image(b.img, b.img_asset);
        set_bg(b.view, b.view_bg);
    }
    move_panel_show_freeze(p);
}

static void show_freeze(widget_t *img)
{
    if (img != NULL) image_base_set_image(img, stUIStatus.s8Irfreeze ? "ic_freeze" : "ic_freeze_un");
}

void move_panel_show_freeze(move_panel_t *p) { show_freeze(p->buttons[MOVE_BTN_FREEZE].img); }

static ret_t on_freeze_released(void *ctx, event_t *e)
{
    (void)e;
    stUIStatus.s8Irfreeze = 0;
    show_freeze(vesk_page_widget(WIDGET(ctx), s_panel_buttons[MOVE_BTN_FREEZE].img_name));
    return RET_OK;
}

void move_panel_bind(widget_t *win, event_func_t on_key, event_func_t on_close)
{
    widget_on(win, EVT_KEY_DOWN, on_key, win);
    vesk_page_bind_close(win, on_close);
    static const int events[] = {UI_EV_FREEZE_RELEASED};
    vesk_page_subscribe(win, events, ARRAY_SIZE(events), on_freeze_released);
}

void move_panel_set_freeze(move_panel_t *p, int frozen)
{
    stUIStatus.s8Irfreeze = (char)(frozen ? 1 : 0);
    move_panel_show_freeze(p);
    GUI_SEND_INFRARED_MSG(INFRARED_FREEZE);
}

void move_panel_toggle_freeze(move_panel_t *p) { move_panel_set_freeze(p, !stUIStatus.s8Irfreeze); }

void move_panel_sel_name(const char *def_name, char *out, size_t size)
{
    size_t n = strlen(def_name);
    if (n >= 4 && strcmp(def_name + n - 3, "def") == 0)
        tk_snprintf(out, size, "%.*ssel", (int)(n - 3), def_name);
    else
        tk_snprintf(out, size, "%s_sel", def_name);
}

/* Lights the key and remembers what to restore. */
static void light(move_panel_t *p, int button)
{
    const move_panel_btn_state_t *b = button_of(p, button);
    if (b == NULL) return;
    char sel[80];
    move_panel_sel_name(b->img_asset, sel, sizeof sel);
    if (b->img != NULL) image_base_set_image(b->img, sel);
    set_bg(b->view, MOVE_BG_SEL);
    p->icon_sel_target = b->img;
    tk_snprintf(p->icon_sel_def_name, sizeof p->icon_sel_def_name, "%s", b->img_asset);
    p->bg_sel_view = b->view;
}

void move_panel_end_flash(move_panel_t *p)
{
    if (p->icon_sel_timer_id == 0) return;
    timer_remove(p->icon_sel_timer_id);
    p->icon_sel_timer_id = 0;
    if (p->icon_sel_target != NULL) image_base_set_image(p->icon_sel_target, p->icon_sel_def_name);
    set_bg(p->bg_sel_view, MOVE_BG_DEF);
    p->icon_sel_target = NULL;
    p->bg_sel_view = NULL;
}

static ret_t on_flash_end(const timer_info_t *timer)
{
    move_panel_t *p = (move_panel_t *)timer->ctx;
    /* The timer ends itself: only the widgets come back. */
    p->icon_sel_timer_id = 0;
    if (p->icon_sel_target != NULL) image_base_set_image(p->icon_sel_target, p->icon_sel_def_name);
    set_bg(p->bg_sel_view, MOVE_BG_DEF);
    p->icon_sel_target = NULL;
    p->bg_sel_view = NULL;
    return RET_REMOVE;
}

void move_panel_flash(move_panel_t *p, int button)
{
    move_panel_end_flash(p);
    light(p, button);
    p->icon_sel_timer_id = timer_add(on_flash_end, p, MOVE_FLASH_MS);
}

static ret_t on_step_timer(const timer_info_t *timer)
{
    move_panel_t *p = (move_panel_t *)timer->ctx;
    if (p->step_dx == 0 && p->step_dy == 0) {
        p->step_timer_id = 0;
        return RET_REMOVE;
    }
    if (p->on_step != NULL) p->on_step(p->win, p->step_dx, p->step_dy);
    return RET_REPEAT;
}

void move_panel_stop(move_panel_t *p)
{
    if (p->step_timer_id != 0) timer_remove(p->step_timer_id);
    p->step_timer_id = 0;
    p->step_dx = 0;
    p->step_dy = 0;
}

void move_panel_hold(move_panel_t *p, int button, int dx, int dy)
{
    move_panel_end_flash(p);
    light(p, button);
    move_panel_stop(p);
    p->step_dx = dx;
    p->step_dy = dy;
    if (p->on_step != NULL) p->on_step(p->win, dx, dy);
    p->step_timer_id = timer_add(on_step_timer, p, MOVE_STEP_MS);
}

void move_panel_restore(move_panel_t *p, int button, const char *bg)
{
    const move_panel_btn_state_t *b = button_of(p, button);
    if (b == NULL) return;
    if (b->img != NULL) image_base_set_image(b->img, b->img_asset);
    set_bg(b->view, bg != NULL ? bg : b->view_bg);
    if (p->icon_sel_target == b->img && p->icon_sel_timer_id == 0) {
        p->icon_sel_target = NULL;
        p->bg_sel_view = NULL;
    }
}

void move_panel_close(move_panel_t *p)
{
    if (stUIStatus.s8Irfreeze) move_panel_set_freeze(p, 0);
    move_panel_stop(p);
    move_panel_end_flash(p);
}

void move_panel_leave_pip(void)
{
    if (stDevStatus.s8VideoMode != 3) return;
    stDevStatus.s8VideoMode = 0;
    GUI_SEND_BASIC_FUNCTION_MSG(BASIC_VIDEO_MODE);
}

void move_panel_calculation_off(void)
{
    if (info[0].ballistics_sw != 1) return;
    info[0].ballistics_sw = 0;
    GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_OPEN_CALCU, 0);
}

float move_panel_zoom(void) { return stDevStatus.s8VideoMode == 3 ? 1.0f : (float)ui_ir_zoom_percent() * 0.01f; }

void move_panel_place_mark(widget_t *win, const char *name, float tx, float ty, float z, int shift)
{
    int cx = stUIStatus.CursorZoomX, cy = stUIStatus.CursorZoomY;
    /* tx and ty come from a stored zero slot: one that is no number or lies
     * beyond any screen converts to a point outside the picture. */
    int b = 0, c = 0;
    vesk_round_coord((tx + MOVE_SCREEN_CENTRE - cx) * z, &b);
    vesk_round_coord((ty + MOVE_SCREEN_CENTRE - cy) * z, &c);
    b += cx;
    c += cy;
    widget_t *mark = vesk_page_widget(win, name);
    if (mark == NULL) return;
    widget_move(mark, (xy_t)(b - shift), (xy_t)(c - shift));
    long dx = b - MOVE_SCREEN_CENTRE, dy = c - MOVE_SCREEN_CENTRE;
    bool_t inside = dx * dx + dy * dy <= MOVE_PICTURE_RADIUS2 && c >= MOVE_PICTURE_TOP && c <= MOVE_PICTURE_BOTTOM;
    widget_set_visible(mark, inside);
}

void move_panel_leave(move_key_t k, const char *reopen, intptr_t ctx)
{
    if (k.kind == MOVE_KEY_CLOSE) {
        navigator_back();
        if (reopen != NULL) navigator_to_with_context(reopen, (void *)ctx);
    } else if (k.kind == MOVE_KEY_HOME) {
        vesk_page_go_home();
    }
}
