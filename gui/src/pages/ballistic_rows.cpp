#include "ballistic_rows.h"

#include <math.h>
#include <stdint.h>

#include "ballistic_limits.h"
#include "pages.h"
#include "ui_keys.h"
#include "ui_senders.h"
#include "ui_status.h"

/* ---- switch and reticle ---- */

int ballistic_switch_on(void) { return info[0].ballistics_sw; }

void ballistic_switch_draw(widget_t *win)
{
    row_editor_show_on_off(win, "label_ballistic_sw_state", info[0].ballistics_sw);
}

void ballistic_switch_key(const row_editor_t *page, widget_t *win, int key)
{
    if (!row_editor_toggle_key(key)) return;
    info[0].ballistics_sw = info[0].ballistics_sw == 1 ? 0 : 1;
    ballistic_switch_draw(win);
    row_editor_rehighlight(page, win);
    GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_OPEN_CALCU, 0);
}

static const char *const reticle_types[] = {"arrow", "cross", "point"};
static const char *const reticle_colors[] = {"white", "black", "green", "red", "blue", "invert"};

void ballistic_reticle_images(widget_t *win, int current_row)
{
    char name[64];
    bool on = info[0].ballistics_sw == 1;
    unsigned type = (unsigned char)stDevStatus.s8BallisticReticle;
    unsigned color = (unsigned char)stDevStatus.s8BallisticReticleColor;
    tk_snprintf(name, sizeof name, "LRF_reticle_%s_%s", reticle_types[type > 2 ? 2 : type],
                current_row == 2 && on ? "sel" : "def");
    row_editor_set_image(win, "image_ballistic_reticle", name);
    tk_snprintf(name, sizeof name, "hold_ic_reticle_%s_%s", reticle_colors[color > 5 ? 5 : color],
                current_row == 3 && on ? "sel" : "def");
    row_editor_set_image(win, "image_reticle_color", name);
}

/* '[' steps back, ']' and ',' forward, wrapping over count values. */
static bool cycle(char *value, int count, int key)
{
    unsigned v = (unsigned char)*value;
    if (key == GUI_KEY_LEFT_S)
        v = (v + (unsigned)count - 1) % (unsigned)count;
    else if (key == GUI_KEY_RIGHT_S || key == GUI_KEY_MID_S)
        v = (v + 1) % (unsigned)count;
    else
        return false;
    *value = (char)v;
    return true;
}

void ballistic_reticle_key(widget_t *win, int current_row, int key)
{
    if (!cycle(&stDevStatus.s8BallisticReticle, 3, key)) return;
    GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_OPEN_CALCU, 2);
    ballistic_reticle_images(win, current_row);
}

void ballistic_color_key(widget_t *win, int current_row, int key)
{
    if (!cycle(&stDevStatus.s8BallisticReticleColor, 6, key)) return;
    GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_OPEN_CALCU, 3);
    ballistic_reticle_images(win, current_row);
}

void ballistic_bullet_link(int key, int32_t return_to_menu)
{
    if (!row_editor_link_key(key)) return;
    ballistic_bullet_enable = return_to_menu;
    row_editor_link("ballistic_bullet");
}

/* ---- target and wind, profile 0 ---- */

static bool in_yards(void) { return stDevStatus.s8DistanceUint != 0; }

void ballistic_store_distance(double typed, short *metres, short *yards)
{
    if (in_yards()) {
        *yards = row_editor_trunc16(typed);
        *metres = row_editor_trunc16(typed * 0.9144);
    } else {
        *metres = row_editor_trunc16(typed);
        *yards = vesk_yards_of_metres(typed);
    }
}

void ballistic_distance_load(int, double *v1, double *)
{
    const Info_target *t = &info[0].target;
    *v1 = (float)((in_yards() ? t->range_yard : t->range) / 10.0f);
}

int ballistic_distance_store(int, double v1, double)
{
    Info_target *t = &info[0].target;
    /* range_yard is a 16-bit count too: beyond 2996.2 m it holds its
     * largest value rather than wrapping to a negative distance. */
    ballistic_store_distance(v1 * 10, &t->range, &t->range_yard);
    t->range = (short)ui_limit(UI_LIMIT_TARGET_RANGE, t->range);
    GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_TARGET_INFO, 0);
    return 0;
}

void ballistic_angle_load(int, double *v1, double *) { *v1 = info[0].target.shootingAngle; }

int ballistic_angle_store(int, double v1, double)
{
    info[0].target.shootingAngle = ui_limit(UI_LIMIT_SHOOTING_ANGLE, v1);
    GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_TARGET_INFO, 1);
    return 0;
}

/* Any stored direction as a clock direction 0 .. 359.9: older records and
 * other writers may hold a signed angle. */
static double wind_clock(double angle)
{
    if (!isfinite(angle)) return 0;
    double a = fmod(angle, 360.0);
    if (a < 0) a += 360.0;
    return ui_limit(UI_LIMIT_WIND_ANGLE, a);
}

void ballistic_wind_load_clock(int, double *speed, double *angle)
{
    *speed = info[0].wind.speed;
    *angle = wind_clock(info[0].wind.angle);
}

void ballistic_wind_load_signed(int, double *speed, double *angle)
{
    *speed = info[0].wind.speed;
    double a = wind_clock(info[0].wind.angle);
    /* The signed page shows whole degrees: round first, so that 359.6
     * reads as 0 and not as a signed zero. */
    a = floor(a + 0.5);
    *angle = a < 180 ? a : a - 360;
}

int ballistic_wind_store(int, double speed, double angle)
{
    info[0].wind.speed = ui_limit(UI_LIMIT_WIND_SPEED, speed);
    info[0].wind.angle = wind_clock(angle);
    GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_WIND_INFO, 0);
    GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_WIND_INFO, 1);
    return 0;
}

/* ---- sight height, current group ---- */

void ballistic_sight_height_load(int, double *v1, double *)
{
    *v1 = ui_current_profile()->gun.scope.sightHeightOverBore;
}

int ballistic_sight_height_store(int, double v1, double)
{
    Info_ballistics *p = row_editor_group_profile();
    if (p == NULL) return -1;
    p->gun.scope.sightHeightOverBore = ui_limit(UI_LIMIT_SIGHT_HEIGHT, v1);
    GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_LENS_INFO, 0);
    return 0;
}
