// The home page's range read-out: the distance, the targets of the last
// measurement, the target choice it opens, and the rangefinder's state.
#include <math.h>

#include "home_page_internal.h"
#include "navigator.h"
#include "ui_status.h"
#include "vesk_lrf_ui.h"

#define HOME_TARGETS_SHOWN 3

void home_range_reset(widget_t *win)
{
    home_set_text(win, "label_RngeValue", stDevStatus.s8DistanceUint != 0 ? "---- yd" : "---- m");
}

static ret_t on_range_blink(const timer_info_t *timer)
{
    home_state_t *home = (home_state_t *)timer->ctx;
    home->range_blink_timer_id = TK_INVALID_ID;
    home_set_visible(home->win, "image_Rnage", TRUE);
    return RET_REMOVE;
}

void home_redraw_distance(home_state_t *home)
{
    home_set_number(home->win, "label_RngeValue", "%.1f m", stUIStatus.s16Distance * 0.1);
    if (stDevStatus.s8RangeType == 1 && stUIStatus.s8RangeMode == 3) {
        home_set_visible(home->win, "image_Rnage", FALSE);
        home_remove_global_timer(&home->range_blink_timer_id);
        home->range_blink_timer_id = timer_add(on_range_blink, home, 160);
    }
}

/* The read-out names the target the page follows (the first of a new
 * measurement, then the one a hold-over was solved for, so that the
 * read-out and the ballistic box never name two distances); the box of
 * the other targets lists the rest. */
static void redraw_targets(home_state_t *home)
{
    const vesk_lrf_ui_state *r = &vesk_lrf_ui;
    int count = r->count < HOME_TARGETS_SHOWN ? r->count : HOME_TARGETS_SHOWN;
    char text[32];
    vesk_lrf_ui_format_dm(r->dm[home->readout_target], text, sizeof text);
    home_set_text(home->win, "label_RngeValue", text);
    if (count < 2) return;
    static const char *const others[] = {"label_vesk_range_2", "label_vesk_range_3"};
    int shown = 0;
    for (int i = 0; i < count; i++) {
        if (i == home->readout_target) continue;
        vesk_lrf_ui_format_dm(r->dm[i], text, sizeof text);
        home_set_text(home->win, others[shown++], text);
    }
    for (; shown < (int)ARRAY_SIZE(others); shown++) home_set_text(home->win, others[shown], "");
}

void home_follow_solved_target(home_state_t *home)
{
    const vesk_lrf_ui_state *r = &vesk_lrf_ui;
    if (!r->has_result || r->status != 0 || vesk_result_refused) return;
    uint32_t solved_dm = (uint32_t)lround(result_ball.distanche * 10);
    for (int i = 0; i < r->count && i < HOME_TARGETS_SHOWN; i++) {
        if (r->dm[i] != solved_dm) continue;
        if (i != home->readout_target) {
            home->readout_target = i;
            redraw_targets(home);
        }
        return;
    }
}

/* A fresh run (bit 0 clear) or a final answer (bit 7) of a multiple
 * target measurement while ballistics are on needs a target: one is taken
 * at once, several are the shooter's choice. */
static void choose_target(void)
{
    const vesk_lrf_ui_state *r = &vesk_lrf_ui;
    bool_t choosing = (r->session & 0x01) == 0 || (r->session & 0x80) != 0;
    if (r->status != 0 || r->target != 3 || info[0].ballistics_sw != 1 || !choosing) return;
    if (r->count == 1)
        vesk_lrf_ui_send_accept(0, r->dm[0]);
    else if (r->count > 1)
        navigator_to("vesk_lrf_select");
}

void home_redraw_lrf_result(home_state_t *home)
{
    const vesk_lrf_ui_state *r = &vesk_lrf_ui;
    if (r->status != 0) {
        home_range_reset(home->win);
        home_set_visible(home->win, "vesk_range_multi", FALSE);
    } else {
        home->readout_target = 0;
        redraw_targets(home);
        home_set_visible(home->win, "vesk_range_multi",
                         r->count >= 2 && stDevStatus.s8ReticleSwitch && is_corner_info_visible &&
                             home->is_range_info_visible);
    }
    if (!vesk_non_operational) choose_target();
}

void home_redraw_lrf_state(home_state_t *home)
{
    uint8_t state = vesk_lrf_ui.state;
    if (state == 0 || state == 1 || state == 3) {
        stUIStatus.s8RangeMode = 0;
        home_set_visible(home->win, "image_Rnage", TRUE);
    } else if (state == 2) {
        stUIStatus.s8RangeMode = 3;
    }
    if (state == 2 || stUIStatus.s8RangeMode == 3) {
        home_hide_ballistic_box(home);
        home_show_ballistic_point(home);
    } else {
        home_redraw_ballistic_result(home);
    }
}
