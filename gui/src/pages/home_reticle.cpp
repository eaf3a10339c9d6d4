// The home page's reticle and the marks that go with it: the reticle's
// properties, brightness, switches, position and zoom, the range mark, the
// picture-in-picture reticle and the laser mark.
#include "home_page_internal.h"
#include "ui_status.h"
#include "utils_common.h"
#include "vesk_lrf_ui.h"

#define HOME_RETICLE_RESOLUTION 1000
/* The reticle widget is 1680 pixels square: its centre, 839, lies on the
 * zero position. */
#define HOME_RETICLE_HALF 839
#define HOME_LASER_HALF 22
#define HOME_SCREEN_CENTRE 639

const char *home_mark_colour_word(int colour, int temporary)
{
    static const char *const words[] = {"white", "black", "green", "red", "blue"};
    if (colour >= 0 && colour < (int)ARRAY_SIZE(words)) return words[colour];
    if (colour == 5) return temporary ? "black" : "white";
    return "white"; /* the menus set no other colour */
}

/* The range mark and the picture-in-picture reticle follow the ballistic
 * mark's colour while ballistics are on, else the reticle's. */
static void range_mark_colour(int *colour, int *temporary)
{
    if (info[0].ballistics_sw == 1) {
        *colour = stDevStatus.s8BallisticReticleColor;
        *temporary = stUIStatus.s8TempBallReticleColor;
    } else {
        *colour = stDevStatus.s8ReticleColour;
        *temporary = stUIStatus.s8TempReticleColor;
    }
}

void home_redraw_range_mark(home_state_t *home)
{
    int colour, temporary;
    range_mark_colour(&colour, &temporary);
    char image[32];
    tk_snprintf(image, sizeof image, "LRF_reticle_%s", home_mark_colour_word(colour, temporary));
    home_set_image(home->win, "image_reticle_range", image);
}

void home_redraw_pip_reticle(home_state_t *home)
{
    static const rgba_t colours[] = {
        {255, 255, 255, 255}, {0, 0, 0, 0}, {0, 255, 0, 255}, {255, 17, 0, 255}, {0, 0, 255, 255},
    };
    int colour, temporary;
    range_mark_colour(&colour, &temporary);
    rgba_t c = colours[0];
    if (colour >= 0 && colour < (int)ARRAY_SIZE(colours))
        c = colours[colour];
    else if (colour == 5 && temporary)
        c = colours[1];
    color_t value = color_init(c.r, c.g, c.b, c.a);
    static const char *const borders[] = {"view_pip_reticle_1_1", "view_pip_reticle_2_1", "view_pip_reticle_2_2"};
    for (size_t i = 0; i < ARRAY_SIZE(borders); i++) {
        widget_t *w = home_widget(home->win, borders[i]);
        if (w != NULL) widget_set_style_color(w, "normal:border_color", value.color);
    }
}

void home_redraw_laser_image(home_state_t *home)
{
    static const char *const letters[] = {"w", "r", "g"};
    int colour = stDevStatus.s8LaserReticleColor;
    char image[32];
    tk_snprintf(image, sizeof image, "laser_%d_%s.png", stDevStatus.s8LaserReticleType + 1,
                colour < (int)ARRAY_SIZE(letters) ? letters[colour] : "w");
    home_set_image(home->win, "image_reticle_laser", image);
}

void home_redraw_laser_position(home_state_t *home)
{
    home_move(home->win, "image_reticle_laser", stDevStatus.s16LaserIndicatX - HOME_LASER_HALF,
              stDevStatus.s16LaserIndicatY - HOME_LASER_HALF);
}

void home_redraw_reticle_properties(home_state_t *home)
{
    widget_t *reticle = home_widget(home->win, HOME_RETICLE_NAME);
    if (reticle != NULL) {
        int colour = stDevStatus.s8ReticleColour;
        if (colour == 5) colour = stUIStatus.s8TempReticleColor != 0 ? 1 : 0;
        widget_set_prop_int(reticle, "zoom", home_is_pip() ? 100 : stUIStatus.s8IRZoom);
        widget_set_prop_int(reticle, "reticle_color", colour);
        widget_set_prop_int(reticle, "reticle_type", stDevStatus.s8ReticleType);
        widget_set_prop_int(reticle, "resolution_x", HOME_RETICLE_RESOLUTION);
        widget_set_prop_int(reticle, "resolution_y", HOME_RETICLE_RESOLUTION);
        widget_invalidate(reticle, NULL);
    }
    home_redraw_range_mark(home);
}

void home_redraw_reticle_brightness(home_state_t *home)
{
    static const uint8_t opacity[] = {50, 100, 150, 200, 255};
    widget_t *reticle = home_widget(home->win, HOME_RETICLE_NAME);
    uint8_t level = (uint8_t)stDevStatus.s8ReticleBrightness;
    if (reticle != NULL && level < ARRAY_SIZE(opacity)) widget_set_opacity(reticle, opacity[level]);
}

bool_t home_ballistic_box_shown(void)
{
    return is_corner_info_visible && stDevStatus.s8ReticleMenuSwitch && info[0].ballistics_sw == 1 &&
           !vesk_ballistics_hidden();
}

bool_t home_several_targets(void) { return vesk_lrf_ui.status == 0 && vesk_lrf_ui.count > 1; }

void home_redraw_reticle_switch(home_state_t *home)
{
    widget_t *win = home->win;
    bool_t menu = stDevStatus.s8ReticleMenuSwitch != 0;
    home_set_visible(win, HOME_RETICLE_NAME, menu);
    home_set_visible(win, "view_ballistics", home_ballistic_box_shown());
    home_set_visible(win, "view_position_diff_mil", menu);
    home_set_visible(win, "view_pip_reticle", home_is_pip() && stDevStatus.s8ReticleMenuSwitch == 1);
    home_show_ballistic_point(home);
}

void home_redraw_temp_switch(home_state_t *home)
{
    widget_t *win = home->win;
    bool_t on = stDevStatus.s8ReticleSwitch != 0;
    bool_t range = on && home->is_range_info_visible;
    home_set_visible(win, HOME_RETICLE_NAME, on);
    home_set_visible(win, "view_position_diff_mil", on);
    home_set_visible(win, "image_reticle_range", range);
    home_set_visible(win, "Range", range);
    home_set_visible(win, "vesk_range_multi", range && home_several_targets());
}

void home_redraw_corner_info(home_state_t *home)
{
    widget_t *win = home->win;
    bool_t range = is_corner_info_visible && home->is_range_info_visible;
    home_set_visible(win, "view_ballistics", home_ballistic_box_shown());
    home_set_visible(win, "Range", range);
    home_set_visible(win, "image_reticle_range", range);
    home_set_visible(win, "vesk_range_multi", range && home_several_targets());
    home_set_visible(win, "view_position_diff_mil", is_corner_info_visible);
}

/* The reticle's centre at the cursor plus a shift of the zoomed picture; a
 * zero slot's fraction is below a pixel by design, so a shift that is no
 * number or beyond any screen comes from a damaged slot and moves nothing. */
static void move_reticle(home_state_t *home, int cursor_x, int cursor_y, float shift_x, float shift_y)
{
    int dx = 0, dy = 0;
    if (vesk_round_coord(shift_x, &dx) != 0) dx = 0;
    if (vesk_round_coord(shift_y, &dy) != 0) dy = 0;
    home->reticle_value_x = cursor_x + dx - HOME_RETICLE_HALF;
    home->reticle_value_y = cursor_y + dy - HOME_RETICLE_HALF;
    home_move(home->win, HOME_RETICLE_NAME, home->reticle_value_x, home->reticle_value_y);
}

void home_redraw_reticle_position(home_state_t *home)
{
    float z = stUIStatus.s8IRZoom * 0.01f;
    const Qel_Cursor_Zero *zero = ui_current_zero_point();
    float ox = zero->flIrCursorOffsetX, oy = zero->flIrCursorOffsetY;
    int X = zero->s8IrCursorCurrentX, Y = zero->s8IrCursorCurrentY;
    int cx = stUIStatus.CursorZoomX, cy = stUIStatus.CursorZoomY;

    move_reticle(home, cx, cy, z * (X - cx + ox), z * (Y - cy + oy));
    home_place_ballistic_point(home, cx, cy, z, X - cx + ox, Y - cy + oy);
    home_set_number(home->win, "label_x_diff_mil_value", "%.2f mil", (X + ox - HOME_SCREEN_CENTRE) * 0.1);
    home_set_number(home->win, "label_y_diff_mil_value", "%.2f mil", -((Y + oy - HOME_SCREEN_CENTRE) * 0.1));
}

/* The zoom texts and the inset's parts; the zoom the marks move by. */
static float redraw_zoom_texts(home_state_t *home)
{
    widget_t *win = home->win;
    int zoom = stUIStatus.s8IRZoom;
    /* Below 101 % (and at 0, before the first zoom report) the picture is
     * at its base magnification. */
    float b = zoom < 101 ? 1.0f : zoom <= 103 ? 1.04f : zoom * 0.01f;
    float z = b;
    float p = 0;
    bool_t pip = home_is_pip();
    if (pip) {
        z = 1;
        p = Keep_decimal_place(b * 3) * 2;
    }
    home_set_visible(win, "label_PIP_zoom_value", pip);
    home_set_visible(win, "view_pip_border", pip);
    home_set_visible(win, "view_pip_reticle", pip && stDevStatus.s8ReticleMenuSwitch == 1);
    home_set_number(win, "label_PIP_zoom_value", "%0.1fX", p);
    home_set_number(win, "label_zoom_value", "%0.1fX", z * 3);
    home_redraw_reticle_properties(home);
    home->ballistic_zoom_value = z;
    home->ballistic_pip_zoom_value = b;
    return z;
}

void home_redraw_zoom(home_state_t *home)
{
    float z = redraw_zoom_texts(home);
    const Qel_Cursor_Zero *zero = ui_current_zero_point();
    int X = zero->s8IrCursorCurrentX, Y = zero->s8IrCursorCurrentY;
    float ox = zero->flIrCursorOffsetX, oy = zero->flIrCursorOffsetY;
    stUIStatus.CursorZoomX = (int16_t)X;
    stUIStatus.CursorZoomY = (int16_t)Y;
    move_reticle(home, X, Y, z * ox, z * oy);
    Set_ZoomRangeMove(&home->rangeX, &home->rangeY, stDevStatus.s16RangeOffsetX, stDevStatus.s16RangeOffsetY, X, Y, z);
    home_move(home->win, "image_reticle_range", home->rangeX, home->rangeY);
    home_place_ballistic_point(home, X, Y, z, ox, oy);
}
