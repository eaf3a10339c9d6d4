// The aim-mark page ("lrf_reticle_move"): the rangefinder's aim mark moved
// to where the laser really hits, live on the picture, saved once when the
// page closes. And "reticle_move", the older reticle-position page that no
// menu opens: it shows the current zero and steps the thermal zoom.
#include "move_panel.h"
#include "navigator.h"
#include "page_state.h"
#include "pages.h"
#include "ui_keys.h"
#include "ui_senders.h"
#include "ui_status.h"
#include "vesk_page.h"

#define AIM_MIN 127
#define AIM_MAX 1151
#define AIM_CENTRE 639
#define AIM_STYLE_ON "00E6BB_24_Medium_left"
#define AIM_STYLE_OFF "FFFFFF_24_Regular_left"

typedef move_panel_btn_state_t lrf_reticle_move_btn_state_t;

/* The aim-mark page's working state, its window's. */
typedef struct {
    move_panel_t panel;
    int32_t x_value, y_value;
    int active_axis; /* 0 none, 1 X, 2 Y, 3 both */
} aim_page_t;
#define AIM_PAGE_KEY "aim_page"

static int32_t clamp_aim(int32_t v) { return v < AIM_MIN ? AIM_MIN : v > AIM_MAX ? AIM_MAX : v; }

static void draw_position(widget_t *win, const aim_page_t *a)
{
    char text[24];
    tk_snprintf(text, sizeof text, "X:%d", a->x_value);
    vesk_page_set_text(win, "label_x_set_mm_value", text);
    tk_snprintf(text, sizeof text, "Y:%d", a->y_value);
    vesk_page_set_text(win, "label_y_set_mm_value", text);
    bool_t x_on = a->active_axis == 1 || a->active_axis == 3;
    bool_t y_on = a->active_axis == 2 || a->active_axis == 3;
    vesk_page_set_style(win, "label_x_set_mm_value", x_on ? AIM_STYLE_ON : AIM_STYLE_OFF);
    vesk_page_set_style(win, "label_y_set_mm_value", y_on ? AIM_STYLE_ON : AIM_STYLE_OFF);
}

static void update_reticle_position(widget_t *win, const aim_page_t *a)
{
    stDevStatus.s16RangeOffsetX = (short)a->x_value;
    stDevStatus.s16RangeOffsetY = (short)a->y_value;
    GUI_SEND_RETICLE_POSITION_MSG(RETICLE_RANGE_POSITION);
    draw_position(win, a);
}

static void aim_move(widget_t *win, int dx, int dy)
{
    aim_page_t *a = page_state_of<aim_page_t>(win, AIM_PAGE_KEY);
    if (a == NULL) return;
    if (dx != 0) {
        a->active_axis = 1;
        a->x_value = clamp_aim(a->x_value + dx);
    } else {
        a->active_axis = 2;
        a->y_value = clamp_aim(a->y_value + dy);
    }
    update_reticle_position(win, a);
}

/* Stopping the held steps brings every key back but the freeze key. */
static void aim_stop(move_panel_t *panel)
{
    bool_t was_held = panel->step_timer_id != 0 || panel->step_dx != 0 || panel->step_dy != 0;
    move_panel_stop(panel);
    if (!was_held) return;
    for (int b = 0; b < MOVE_BTN_COUNT; b++)
        if (b != MOVE_BTN_FREEZE) move_panel_restore(panel, b, NULL);
}

static ret_t on_aim_key(void *ctx, event_t *e)
{
    widget_t *win = WIDGET(ctx);
    key_event_t *ke = key_event_cast(e);
    aim_page_t *a = page_state_of<aim_page_t>(win, AIM_PAGE_KEY);
    if (ke == NULL || a == NULL) return RET_OK;
    move_key_t k = move_panel_key(ke->key);
    if (k.kind == MOVE_KEY_RELEASE) {
        aim_stop(&a->panel);
        return RET_OK;
    }
    aim_stop(&a->panel);
    move_panel_end_flash(&a->panel);
    switch (k.kind) {
    case MOVE_KEY_FINE:
        move_panel_flash(&a->panel, k.button);
        aim_move(win, k.dx, k.dy);
        break;
    case MOVE_KEY_HELD:
        move_panel_hold(&a->panel, k.button, k.dx, k.dy);
        break;
    case MOVE_KEY_CENTRE:
        move_panel_flash(&a->panel, MOVE_BTN_CENTRE);
        a->x_value = a->y_value = AIM_CENTRE;
        a->active_axis = 3;
        update_reticle_position(win, a);
        break;
    case MOVE_KEY_FREEZE:
        move_panel_toggle_freeze(&a->panel);
        a->active_axis = 0;
        draw_position(win, a);
        break;
    default:
        move_panel_leave(k, NULL, 0);
        break;
    }
    return RET_OK;
}

/* However the page closes, the image is released first and the mark is
 * then saved. */
static ret_t on_aim_close(void *ctx, event_t *e)
{
    (void)e;
    aim_page_t *a = page_state_of<aim_page_t>(WIDGET(ctx), AIM_PAGE_KEY);
    if (a != NULL) move_panel_close(&a->panel);
    GUI_SEND_BASIC_FUNCTION_MSG(BASIC_RANGE_LASER_SAVE);
    return RET_OK;
}

ret_t lrf_reticle_move_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    aim_page_t *a = page_state_new<aim_page_t>(win, AIM_PAGE_KEY);
    move_panel_open(&a->panel, win, aim_move);
    a->x_value = stDevStatus.s16RangeOffsetX;
    a->y_value = stDevStatus.s16RangeOffsetY;
    draw_position(win, a);
    move_panel_bind(win, on_aim_key, on_aim_close);
    return RET_OK;
}

/* ---- the reticle-position page ---- */

#define RETICLE_MOVE_ZOOM_ROW 1

/* The zoom level outlives the page: its init does not reset it. */
static int s_zoom_level = 1;

/* The page's working state, its window's. */
typedef struct reticle_move_page_t {
    int row = RETICLE_MOVE_ZOOM_ROW;
    int axis_x_switch, axis_y_switch;
    float zero_x, zero_y; /* the current zero, pixels from the centre */
} reticle_move_page_t;
#define RETICLE_MOVE_PAGE_KEY "reticle_move_page"

static void reticle_move_zoom_text(widget_t *win)
{
    char text[16];
    tk_snprintf(text, sizeof text, "%dX", s_zoom_level * 3);
    vesk_page_set_text(win, "label_zoom_value", text);
}

/* The zoom request carries the level (1, 2, 4, 8) in one byte; the zoom
 * mirror keeps the percentage that zoom reports give it, so it holds the
 * level only while the request is built. */
static void send_zoom_level(void)
{
    int16_t reported = stUIStatus.s8IRZoom;
    stUIStatus.s8IRZoom = (int16_t)s_zoom_level;
    GUI_SEND_INFRARED_MSG(INFRARED_ZOOM);
    stUIStatus.s8IRZoom = reported;
}

static ret_t on_reticle_move_key(void *ctx, event_t *e)
{
    widget_t *win = WIDGET(ctx);
    key_event_t *ke = key_event_cast(e);
    const reticle_move_page_t *page = page_state_of<reticle_move_page_t>(win, RETICLE_MOVE_PAGE_KEY);
    if (ke == NULL || page == NULL) return RET_OK;
    switch (ke->key) {
    case GUI_KEY_MID_S:
        if (page->row != RETICLE_MOVE_ZOOM_ROW) break;
        s_zoom_level = s_zoom_level >= 8 ? 1 : s_zoom_level * 2;
        reticle_move_zoom_text(win);
        send_zoom_level();
        break;
    case GUI_KEY_MID_L:
        vesk_page_set_text(win, "label_freeze_switch", "");
        navigator_back();
        navigator_to("reticle_menu");
        break;
    case GUI_KEY_UP_L_Release:
    case GUI_KEY_DOWN_L_Release:
    default:
        break;
    }
    return RET_OK;
}

static ret_t on_reticle_move_zoom(void *ctx, event_t *e)
{
    (void)e;
    widget_t *win = WIDGET(ctx);
    const reticle_move_page_t *page = page_state_of<reticle_move_page_t>(win, RETICLE_MOVE_PAGE_KEY);
    if (page != NULL) move_panel_place_mark(win, "view_temp_reticle", page->zero_x, page->zero_y, move_panel_zoom(), 1);
    return RET_OK;
}

static ret_t on_reticle_move_freeze(void *ctx, event_t *e)
{
    (void)e;
    vesk_page_set_text(WIDGET(ctx), "label_freeze_switch", locale_info_tr(locale_info(), "OFF"));
    return RET_OK;
}

ret_t reticle_move_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    reticle_move_page_t *page = page_state_new<reticle_move_page_t>(win, RETICLE_MOVE_PAGE_KEY);
    stUIStatus.s8Irfreeze = 0;
    move_panel_leave_pip();
    const Qel_Cursor_Zero *zero = ui_current_zero_point();
    char text[16];
    tk_snprintf(text, sizeof text, "%d", zero->s8IrCursorCurrentX - 640);
    vesk_page_set_text(win, "label_x_value", text);
    tk_snprintf(text, sizeof text, "%d", zero->s8IrCursorCurrentY - 640);
    vesk_page_set_text(win, "label_y_value", text);
    vesk_page_set_text(win, "label_freeze_switch", locale_info_tr(locale_info(), "OFF"));
    reticle_move_zoom_text(win);
    page->zero_x = (float)(zero->s8IrCursorCurrentX - AIM_CENTRE);
    page->zero_y = (float)(zero->s8IrCursorCurrentY - AIM_CENTRE);
    move_panel_place_mark(win, "view_temp_reticle", page->zero_x, page->zero_y, 1.0f, 1);
    static const char *const colours[] = {"#FFFFFF", "#000000", "#00FF00", "#FF0000", "#0080FF"};
    int colour = stDevStatus.s8ReticleColour;
    widget_t *mark = vesk_page_widget(win, "view_temp_reticle");
    if (mark != NULL)
        widget_set_style_str(mark, "normal:bg_color", colour < (int)ARRAY_SIZE(colours) ? colours[colour] : "#FFFFFF");
    widget_on(win, EVT_KEY_DOWN, on_reticle_move_key, win);
    vesk_page_bind_close(win, NULL);
    static const int zoom_events[] = {UI_EV_IR_ZOOM};
    vesk_page_subscribe(win, zoom_events, ARRAY_SIZE(zoom_events), on_reticle_move_zoom);
    static const int freeze_events[] = {UI_EV_FREEZE_RELEASED};
    vesk_page_subscribe(win, freeze_events, ARRAY_SIZE(freeze_events), on_reticle_move_freeze);
    return RET_OK;
}
