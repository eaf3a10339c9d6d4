// The range-mark mover ("QZ_range_move"): the rangefinder's aiming mark
// moved pixel by pixel, or by 10 while a key is held, on one axis at a time;
// the function key switches the axis. Leaving saves the mark.
#include "move_panel.h"
#include "navigator.h"
#include "page_state.h"
#include "pages.h"
#include "ui_keys.h"
#include "ui_senders.h"
#include "ui_status.h"
#include "vesk_page.h"

#define RANGE_MOVE_STEP_MS 500
#define RANGE_MOVE_FAST 10

/* The mover's working state, its window's, and its timer's context. */
typedef struct range_move_page_t {
    widget_t *win;
    int move_direction = 1; /* 1 horizontal, 0 vertical */
    int fastmovesta;        /* 0 none, 1 towards smaller values, 2 towards larger */
    uint32_t tm_id;         /* the held-key timer, 0 while none runs */
} range_move_page_t;
#define RANGE_MOVE_PAGE_KEY "range_move_page"

static range_move_page_t *range_move_of(widget_t *win)
{
    return page_state_of<range_move_page_t>(win, RANGE_MOVE_PAGE_KEY);
}

static void show_axis(widget_t *win, const range_move_page_t *rm)
{
    bool_t horizontal = rm->move_direction == 1;
    vesk_page_set_text(win, "label_X_Y_axis", horizontal ? "Y" : "X");
    vesk_page_set_image(win, "image_up", horizontal ? "arrow_up_disabled" : "arrow_up_def");
    vesk_page_set_image(win, "image_down", horizontal ? "arrow_down_disabled" : "arrow_down_def");
    vesk_page_set_image(win, "image_left", horizontal ? "arrow_left_def" : "arrow_left_disabled");
    vesk_page_set_image(win, "image_right", horizontal ? "arrow_right_def" : "arrow_right_disabled");
}

static void place_mark(widget_t *win)
{
    widget_t *mark = vesk_page_widget(win, "last_range_pos");
    if (mark != NULL)
        widget_move(mark, (xy_t)(stDevStatus.s16RangeOffsetX - 2), (xy_t)(stDevStatus.s16RangeOffsetY - 2));
}

/* Moves the active offset by step, lights the arrow of the direction and
 * sends the mark. The mover sets no limits of its own. */
static void range_step(widget_t *win, const range_move_page_t *rm, int step)
{
    bool_t smaller = step < 0;
    if (rm->move_direction == 1) {
        stDevStatus.s16RangeOffsetX = (short)(stDevStatus.s16RangeOffsetX + step);
        vesk_page_set_image(win, "image_left", smaller ? "arrow_left_sel" : "arrow_left_def");
        vesk_page_set_image(win, "image_right", smaller ? "arrow_right_def" : "arrow_right_sel");
    } else {
        stDevStatus.s16RangeOffsetY = (short)(stDevStatus.s16RangeOffsetY + step);
        vesk_page_set_image(win, "image_up", smaller ? "arrow_up_sel" : "arrow_up_def");
        vesk_page_set_image(win, "image_down", smaller ? "arrow_down_def" : "arrow_down_sel");
    }
    GUI_SEND_RETICLE_POSITION_MSG(RETICLE_RANGE_POSITION);
    place_mark(win);
}

static ret_t on_fast_move(const timer_info_t *timer)
{
    range_move_page_t *rm = (range_move_page_t *)timer->ctx;
    if (rm->fastmovesta == 0) {
        rm->tm_id = 0;
        return RET_REMOVE;
    }
    range_step(rm->win, rm, rm->fastmovesta == 1 ? -RANGE_MOVE_FAST : RANGE_MOVE_FAST);
    return RET_REPEAT;
}

static void stop_fast_move(range_move_page_t *rm)
{
    rm->fastmovesta = 0;
    if (rm->tm_id != 0) timer_remove(rm->tm_id);
    rm->tm_id = 0;
}

static ret_t on_range_move_key(void *ctx, event_t *e)
{
    widget_t *win = WIDGET(ctx);
    key_event_t *ke = key_event_cast(e);
    range_move_page_t *rm = range_move_of(win);
    if (ke == NULL || rm == NULL) return RET_OK;
    switch (ke->key) {
    case GUI_KEY_FOCUS_UP_S:
        range_step(win, rm, -1);
        break;
    case GUI_KEY_FOCUS_DOWN_S:
        range_step(win, rm, 1);
        break;
    case GUI_KEY_FUCTION_L:
        rm->move_direction = rm->move_direction == 1 ? 0 : 1;
        show_axis(win, rm);
        break;
    case GUI_KEY_FOCUS_UP_L:
    case GUI_KEY_FOCUS_DOWN_L:
        if (rm->tm_id == 0) {
            rm->fastmovesta = ke->key == GUI_KEY_FOCUS_UP_L ? 1 : 2;
            rm->tm_id = timer_add(on_fast_move, rm, RANGE_MOVE_STEP_MS);
        }
        break;
    case GUI_KEY_UP_L_Release:
    case GUI_KEY_DOWN_L_Release:
        stop_fast_move(rm);
        break;
    case GUI_KEY_POWER_S:
    case GUI_KEY_FUCTION_S:
        stop_fast_move(rm);
        GUI_SEND_BASIC_FUNCTION_MSG(BASIC_RANGE_LASER_SAVE);
        vesk_page_go_home();
        break;
    default:
        break;
    }
    return RET_OK;
}

static ret_t on_range_move_key_up(void *ctx, event_t *e)
{
    (void)ctx, (void)e;
    return RET_OK;
}

static ret_t on_range_move_close(void *ctx, event_t *e)
{
    (void)e;
    /* The timer is global: it must not tick into a closed window, nor
     * into the state that goes with it. */
    range_move_page_t *rm = range_move_of(WIDGET(ctx));
    if (rm != NULL) stop_fast_move(rm);
    return RET_OK;
}

ret_t QZ_range_move_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    range_move_page_t *rm = page_state_new<range_move_page_t>(win, RANGE_MOVE_PAGE_KEY);
    rm->win = win;
    move_panel_leave_pip();
    move_panel_calculation_off();
    show_axis(win, rm);
    place_mark(win);
    widget_on(win, EVT_KEY_DOWN, on_range_move_key, win);
    widget_on(win, EVT_KEY_UP, on_range_move_key_up, win);
    vesk_page_bind_close(win, on_range_move_close);
    return RET_OK;
}
