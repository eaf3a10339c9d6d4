// The home page's hold-over: the ballistic mark's image, the ballistic
// point where the bullet goes, and the ballistic box with the holds, the
// distance and the shot's conditions.
#include <math.h>
#include <string.h>

#include "home_page_internal.h"
#include "ui_status.h"
#include "vesk_log.h"
#include "vesk_lrf_ui.h"

int vesk_ballistics_hidden(void)
{
    return vesk_lrf_ui.state == 2 || stUIStatus.s8RangeMode == 3 || vesk_non_operational;
}

void home_redraw_ballistic_mark(home_state_t *home)
{
    static const char *const shapes[] = {"tip", "cross", "point"};
    int shape = stDevStatus.s8BallisticReticle;
    char image[40];
    tk_snprintf(image, sizeof image, "reticle_%s_%s.png", shape < (int)ARRAY_SIZE(shapes) ? shapes[shape] : "tip",
                home_mark_colour_word(stDevStatus.s8BallisticReticleColor, stUIStatus.s8TempBallReticleColor));
    home_set_image(home->win, "image_ballistic_reticle", image);
    home_redraw_range_mark(home);
}

/* The ballistic point marks where the bullet goes: it shows only for a
 * hold that is on the screen (ballistics on, a solution, no scan), and
 * only where its centre lies on the picture; a point placed at the edge or
 * beyond would show an aim point that is not there. */
void home_show_ballistic_point(home_state_t *home)
{
    home_set_visible(home->win, "image_point",
                     home->point_on_screen && info[0].ballistics_sw == 1 && stDevStatus.s8ReticleMenuSwitch != 0 &&
                         !vesk_result_refused && !vesk_ballistics_hidden());
}

void home_place_ballistic_point(home_state_t *home, int cursor_x, int cursor_y, float z, float ox, float oy)
{
    widget_t *win = home->win;
    Set_ZoomBallisticMove(&home->ballistic_value_x, &home->ballistic_value_y, cursor_x, cursor_y, z, result_ball.moveX,
                          -result_ball.moveY, ox, oy);
    /* A coordinate that could not be converted lies beyond every screen. */
    int cx = home->ballistic_value_x + HOME_MARK_HALF, cy = home->ballistic_value_y + HOME_MARK_HALF;
    home->point_on_screen = cx >= 0 && cy >= 0 && cx < win->w && cy < win->h;
    if (home->point_on_screen) home_move(win, "image_point", home->ballistic_value_x, home->ballistic_value_y);
    home_show_ballistic_point(home);
}

void home_hide_ballistic_box(home_state_t *home)
{
    home_set_visible(home->win, "view_ballistics", FALSE);
    home_set_visible(home->win, "view_bg_ballistic", FALSE);
}

static void redraw_hold(widget_t *win, const char *label, const char *arrow, double hold, const char *positive,
                        const char *negative)
{
    char text[32];
    tk_snprintf_float(text, sizeof text, "%.02f", fabs(hold));
    home_set_text(win, label, text);
    if (strcmp(text, "0.00") == 0) {
        home_set_visible(win, arrow, FALSE);
        return;
    }
    home_set_image(win, arrow, hold > 0 ? positive : negative);
    home_set_visible(win, arrow, TRUE);
}

/* The box of a result that held no solution: no number at all, rather
 * than one no shooter can hold or the last hold for another distance. */
static void redraw_no_solution(widget_t *win)
{
    home_set_text(win, "label_MOA_V", "----");
    home_set_visible(win, "image_ballistic_result_v", FALSE);
    home_set_text(win, "label_MOA_H", "----");
    home_set_visible(win, "image_ballistic_result_h", FALSE);
    home_set_text(win, "label_distance_ballistic", "----m");
    home_set_text(win, "label_pitch_ballistic", "----°");
    home_set_text(win, "label_ballistic_lat", " ");
    home_set_number(win, "label_ballistic_wind_v", "%.1fm/s", 0.0);
    home_set_number(win, "label_ballistic_wind_dir", "%.1f°", 0.0);
}

/* The box of a solution: holds, distance, angle, latitude and wind. */
static void redraw_solution(widget_t *win)
{
    redraw_hold(win, "label_MOA_V", "image_ballistic_result_v", result_ball.mradV, "ic_down_sel", "ic_up_sel");
    redraw_hold(win, "label_MOA_H", "image_ballistic_result_h", result_ball.mradH, "ic_left_sel", "ic_right_sel");
    home_set_number(win, "label_distance_ballistic", "%.01fm", result_ball.distanche);
    home_set_number(win, "label_pitch_ballistic", "%.01f°", result_ball.fl_angle);
    if (info[0].corioliseffect.CoriolisEffectSwitch)
        home_set_number(win, "label_ballistic_lat", "%.1f°", result_ball.azimuth);
    else
        home_set_text(win, "label_ballistic_lat", " ");
    bool_t ranged = result_ball.distanche != 0;
    home_set_number(win, "label_ballistic_wind_v", "%.1fm/s", ranged ? info[0].wind.speed : 0.0);
    home_set_number(win, "label_ballistic_wind_dir", "%.1f°", ranged ? info[0].wind.angle : 0.0);
}

void home_redraw_ballistic_result(home_state_t *home)
{
    widget_t *win = home->win;
    home_redraw_range_mark(home);
    home_redraw_pip_reticle(home);
    home_show_ballistic_point(home);
    if (vesk_ballistics_hidden()) {
        home_hide_ballistic_box(home);
        return;
    }
    bool_t on = info[0].ballistics_sw != 0;
    home_set_visible(win, "view_ballistics", on);
    home_set_visible(win, "view_bg_ballistic", on);
    if (vesk_result_refused) {
        redraw_no_solution(win);
        return;
    }
    redraw_solution(win);
    home_follow_solved_target(home);
    /* With debug mode on, the moment a hold-over reaches the screen. */
    vesk_log_printf(VESK_LOG_DETAIL, HOME_LOG_TAG, "hold-over %.2f %.2f mil at %.1f m shown", result_ball.mradV,
                    result_ball.mradH, result_ball.distanche);
}
