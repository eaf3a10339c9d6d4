// The home page: what it shows and when it redraws.
#include "home_page.h"

#include <math.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "home_page_internal.h"
#include "media_list.h"
#include "navigator.h"
#include "pages.h"
#include "ui_events.h"
#include "ui_senders.h"
#include "ui_status.h"
#include "utils_common.h"
#include "vesk_log.h"
#include "vesk_lrf_ui.h"
#include "vesk_page.h"

record record_status;
uint8_t is_range_info_visible = 1;
uint8_t is_corner_info_visible = 1;
uint8_t vesk_non_operational;
int32_t menu_index = 1;

/* Timers of the page (0: not running), as full ids: the toolkit's ids keep
 * growing, and a 16-bit copy would name another timer after some hours. */
static uint32_t timer_id_RAV;
static int16_t Rav_count;
static uint32_t timer_id_record_1;
static uint32_t timer_id_range_2;
static uint32_t vesk_save_error_timer_id;
static uint32_t s_watch_timer_id;
static uint32_t s_range_blink_timer_id;
static uint32_t s_shutter_timer_id;
static bool_t s_rav_blink;

/* Zoom and positions. */
static float ballistic_zoom_value;
static float ballistic_pip_zoom_value;
static int reticle_value_x, reticle_value_y;
static int ballistic_value_x, ballistic_value_y;
static int rangeX, rangeY;

/* The compass and menu-level watch compares with its previous tick. */
static bool_t s_watch_first = TRUE;
static char s_watch_occlusion;
static char s_watch_menu;

/* Windows that handle a lifecycle outcome themselves. */
static const char *const vesk_recovery_aware_windows[] = {
    "QZ_SHUT_DOWN", "restoring",           "memory_format_restart", "QZ_format_restart",
    "QZ_updata",    "shut_down_low_power", "shut_down_low_temp",    "Boot_logo",
};

#define HOME_RETICLE_NAME "general_reticle"
#define HOME_RETICLE_RESOLUTION 1000
/* The reticle widget is 1680 pixels square: its centre, 839, lies on the
 * zero position. */
#define HOME_RETICLE_HALF 839
/* Half sizes of the marks moved over the picture. */
#define HOME_MARK_HALF 7
#define HOME_LASER_HALF 22
#define HOME_PIP_HALF 19
#define HOME_SCREEN_CENTRE 639
#define HOME_BATTERY_LOW_POWER 570
#define HOME_BATTERY_NO_RANGE 568
#define HOME_RECORD_LIMIT_S 28799

int home_rav_running(void) { return timer_id_RAV != 0; }

/* ---- small helpers ---- */

widget_t *home_widget(widget_t *win, const char *name) { return vesk_page_widget(win, name); }
void home_set_visible(widget_t *win, const char *name, bool_t visible) { vesk_page_set_visible(win, name, visible); }
void home_set_text(widget_t *win, const char *name, const char *text) { vesk_page_set_text(win, name, text); }
void home_set_image(widget_t *win, const char *name, const char *image) { vesk_page_set_image(win, name, image); }

static void home_move(widget_t *win, const char *name, int x, int y)
{
    widget_t *w = home_widget(win, name);
    if (w != NULL) widget_move(w, x, y);
}

static void home_move_resize(widget_t *win, const char *name, int x, int y, int w, int h)
{
    widget_t *widget = home_widget(win, name);
    if (widget != NULL) widget_move_resize(widget, x, y, w, h);
}

/* A number through tk_snprintf_float into a widget. */
static void home_set_number(widget_t *win, const char *name, const char *format, double value)
{
    char text[32];
    tk_snprintf_float(text, sizeof text, format, value);
    home_set_text(win, name, text);
}

static bool_t home_is_pip(void) { return stDevStatus.s8VideoMode == HOME_VIDEO_PIP; }

static int name_in(const char *name, const char *const *list, size_t n)
{
    for (size_t i = 0; name != NULL && i < n; i++) {
        if (strcmp(name, list[i]) == 0) return 1;
    }
    return 0;
}

static void remove_global_timer(uint32_t *id)
{
    if (*id != TK_INVALID_ID && timer_find(*id) != NULL) timer_remove(*id);
    *id = TK_INVALID_ID;
}

static void remove_window_timer(widget_t *win, uint32_t *id)
{
    if (*id != TK_INVALID_ID) widget_remove_timer(win, *id);
    *id = TK_INVALID_ID;
}

/* ---- pure helpers of the page ---- */

int tk_snprintf_float(char *buffer, size_t size, const char *format, double value)
{
    if (buffer == NULL || size == 0 || format == NULL) return 0;
    tk_snprintf(buffer, size, format, value);
    size_t len = strlen(buffer);
    if (buffer[0] == '-' && strpbrk(buffer + 1, "123456789") == NULL) {
        memmove(buffer, buffer + 1, len);
        len--;
    }
    return (int)len;
}

/* Both coordinates of a mark: a coordinate that is no number or lies
 * beyond any screen takes the limit (never a wrapped int), and the result
 * says so. */
static int home_mark_coords(int *x, int *y, double vx, double vy, int (*convert)(double, int *))
{
    int okx = convert(vx, x), oky = convert(vy, y);
    return okx == 0 && oky == 0 ? 0 : -1;
}

int Set_ZoomRangeMove(int *x, int *y, int range_x, int range_y, int cursor_x, int cursor_y, float zoom)
{
    int bounded = home_mark_coords(x, y, cursor_x + (range_x - cursor_x) * zoom, cursor_y + (range_y - cursor_y) * zoom,
                                   vesk_trunc_coord);
    *x -= HOME_MARK_HALF;
    *y -= HOME_MARK_HALF;
    if (bounded != 0 || *x < 0 || *y < 0) {
        printf("newRange (%d x %d) limit < 0,error!!!!!!! \n", *x, *y);
        return -1;
    }
    return 1;
}

int Set_ZoomBallisticMove(int *x, int *y, int cursor_x, int cursor_y, float zoom, float ballistic_x, float ballistic_y,
                          float offset_x, float offset_y)
{
    int bounded =
        home_mark_coords(x, y, (ballistic_x + offset_x) * zoom, (ballistic_y + offset_y) * zoom, vesk_round_coord);
    *x += cursor_x - HOME_MARK_HALF;
    *y += cursor_y - HOME_MARK_HALF;
    if (bounded != 0 || *x < 0 || *y < 0) {
        printf("newBallistic (%d x %d) limit < 0,error!!!!!!! \n", *x, *y);
        return -1;
    }
    return 1;
}

int Set_Zoom_Pip_BallisticMove(int *x, int *y, float ballistic_x, float ballistic_y, float zoom)
{
    int bounded = home_mark_coords(x, y, ballistic_x * zoom * 2 + 639, ballistic_y * zoom * 2 + 235, vesk_trunc_coord);
    *x -= HOME_PIP_HALF;
    *y -= HOME_PIP_HALF;
    return bounded == 0 ? 1 : -1;
}

float Keep_decimal_place(float value)
{
    /* The 16-bit step holds the zooms of the scope; anything outside it
     * would not convert at all. */
    double tenths = (value + 0.05) * 10;
    if (!(tenths >= 0)) tenths = 0;
    if (tenths > UINT16_MAX) tenths = UINT16_MAX;
    return (float)(uint16_t)tenths / 10;
}

/* Mark colour words by colour number; 5 follows the temporary colour. */
static const char *mark_colour_word(int colour, int temporary)
{
    static const char *const words[] = {"white", "black", "green", "red", "blue"};
    if (colour >= 0 && colour < (int)ARRAY_SIZE(words)) return words[colour];
    if (colour == 5) return temporary ? "black" : "white";
    return "white"; /* the menus set no other colour */
}

const char *getReticleImgName(const char *folder)
{
    static char name[128];
    static const char *const colours[] = {"white", "black", "red", "green"};
    int colour = stDevStatus.s8ReticleColour;
    int zoom = home_is_pip() ? 1 : stUIStatus.s8IRZoom;
    tk_snprintf(name, sizeof name, "%s/Reticle%d_%dx_%s.png", folder != NULL ? folder : "",
                stDevStatus.s8ReticleType + 1, zoom, colour < (int)ARRAY_SIZE(colours) ? colours[colour] : "white");
    return name;
}

int vesk_ballistics_hidden(void)
{
    return vesk_lrf_ui.state == 2 || stUIStatus.s8RangeMode == 3 || vesk_non_operational;
}

/* ---- compass ---- */

/* The azimuth strip is 1220 pixels a turn with 0 degrees 365 pixels from
 * its left end. Its labels are a pool of widgets over it, one every 15
 * degrees: a window 480 pixels wide shows at most ten of them. */
#define AZIMUTH_PX_PER_TURN 1220
#define AZIMUTH_ZERO_X 365
#define AZIMUTH_LABEL_STEP 15
#define AZIMUTH_LABEL_POOL 10

/* Every 45 degrees a direction, from north clockwise, English and Russian. */
static const char *azimuth_label_text(int degrees, char *buf, size_t size)
{
    static const char *const en[] = {"N", "NE", "E", "SE", "S", "SW", "W", "NW"};
    static const char *const ru[] = {"С", "СВ", "В", "ЮВ", "Ю", "ЮЗ", "З", "СЗ"};
    const char *const *directions = stDevStatus.s8Language == 2 ? ru : en;
    if (degrees % 45 == 0) return directions[degrees / 45];
    tk_snprintf(buf, size, "%d", degrees);
    return buf;
}

/* Each label is made as wide as its text and centred on its tick; one
 * whose text would cross an edge of the window is hidden whole, since a
 * cut "15" reads as "5". */
static void place_azimuth_labels(widget_t *win, int strip_x)
{
    widget_t *view = home_widget(win, "compass_azimuth");
    canvas_t *c = widget_get_canvas(win);
    if (c == NULL) c = widget_get_canvas(window_manager());
    if (view == NULL || c == NULL) return;
    /* The first labelled degree, counted from the strip's zero, left of the window. */
    double px_per_degree = AZIMUTH_PX_PER_TURN / 360.0;
    int first = (int)floor(-(strip_x + AZIMUTH_ZERO_X) / px_per_degree / AZIMUTH_LABEL_STEP) * AZIMUTH_LABEL_STEP;
    for (int i = 0; i < AZIMUTH_LABEL_POOL; i++) {
        char name[32], number[8];
        tk_snprintf(name, sizeof name, "azimuth_label_%d", i);
        widget_t *label = home_widget(win, name);
        if (label == NULL) continue;
        int degrees = first + (i + 1) * AZIMUTH_LABEL_STEP;
        const char *text = azimuth_label_text(((degrees % 360) + 360) % 360, number, sizeof number);
        canvas_set_font(c, widget_get_style_str(label, STYLE_ID_FONT_NAME, NULL),
                        (uint16_t)widget_get_style_int(label, STYLE_ID_FONT_SIZE, 13));
        int w = (int)ceil(canvas_measure_utf8(c, text));
        int tick = (int)lround(strip_x + AZIMUTH_ZERO_X + degrees * px_per_degree);
        int x = tick - w / 2;
        widget_set_text_utf8(label, text);
        widget_move_resize(label, (xy_t)x, label->y, (wh_t)w, label->h);
        widget_set_visible(label, x >= 0 && x + w <= view->w);
    }
}

static void redraw_azimuth(widget_t *win)
{
    float azimuth = stUIStatus.s16CompassAzimuth;
    home_set_number(win, "label_azimuth", "%.1f°", azimuth);
    int strip_x = -(int)(azimuth * AZIMUTH_PX_PER_TURN / 360 + 125);
    home_move_resize(win, "azimuth_scale", strip_x, 0, 1830, 28);
    place_azimuth_labels(win, strip_x);
}

static void redraw_pitch(widget_t *win)
{
    float pitch = stUIStatus.s16CompassPitch;
    home_set_number(win, "label_pitch", "%.1f°", pitch);
    home_move_resize(win, "pitch_scale", 0, (int)(pitch * 9.95) - 787, 84, 1892);
}

static void redraw_slant(widget_t *win)
{
    float slant = stUIStatus.s16CompassSlant;
    home_set_number(win, "label_slant", "%.1f°", slant);
    home_move_resize(win, "roll_scale", 40, (int)(slant * 9.95) - 1684, 96, 3686);
}

void home_redraw_compass_visibility(widget_t *win)
{
    bool_t on = stDevStatus.s8CompassSwitch == 1 && stUIStatus.s8CompassTempOcclusion == 0;
    home_set_visible(win, "compass_azimuth", on);
    home_set_visible(win, "compass_pitch", on);
    home_set_visible(win, "compass_slant", on);
}

/* The compass shows only over the home page and the compass pages; the
 * device learns whether a menu is open. */
static ret_t on_watch_timer(const timer_info_t *timer)
{
    static const char *const compass_windows[] = {VESK_HOME_PAGE, "compass_menu", "magnetic_declination",
                                                  "compass_correction"};
    static const char *const home_windows[] = {VESK_HOME_PAGE, "standby"};
    widget_t *win = WIDGET(timer->ctx);
    const char *top = ui_top_window_name();

    stUIStatus.s8CompassTempOcclusion = name_in(top, compass_windows, ARRAY_SIZE(compass_windows)) ? 0 : 1;
    if (s_watch_first || stUIStatus.s8CompassTempOcclusion != s_watch_occlusion) home_redraw_compass_visibility(win);
    s_watch_occlusion = stUIStatus.s8CompassTempOcclusion;

    stUIStatus.s8CurrentMenu = name_in(top, home_windows, ARRAY_SIZE(home_windows)) ? 0 : 1;
    if (stUIStatus.s8CurrentMenu != s_watch_menu) GUI_SEND_BASIC_FUNCTION_MSG(BASIC_MENU_LEVEL);
    s_watch_menu = stUIStatus.s8CurrentMenu;
    s_watch_first = FALSE;
    return RET_REPEAT;
}

/* ---- marks ---- */

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

static void redraw_range_mark(widget_t *win)
{
    int colour, temporary;
    range_mark_colour(&colour, &temporary);
    char image[32];
    tk_snprintf(image, sizeof image, "LRF_reticle_%s", mark_colour_word(colour, temporary));
    home_set_image(win, "image_reticle_range", image);
}

static void redraw_ballistic_mark(widget_t *win)
{
    static const char *const shapes[] = {"tip", "cross", "point"};
    int shape = stDevStatus.s8BallisticReticle;
    char image[40];
    tk_snprintf(image, sizeof image, "reticle_%s_%s.png", shape < (int)ARRAY_SIZE(shapes) ? shapes[shape] : "tip",
                mark_colour_word(stDevStatus.s8BallisticReticleColor, stUIStatus.s8TempBallReticleColor));
    home_set_image(win, "image_ballistic_reticle", image);
    redraw_range_mark(win);
}

static void redraw_pip_reticle(widget_t *win)
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
        widget_t *w = home_widget(win, borders[i]);
        if (w != NULL) widget_set_style_color(w, "normal:border_color", value.color);
    }
}

static void redraw_laser_image(widget_t *win)
{
    static const char *const letters[] = {"w", "r", "g"};
    int colour = stDevStatus.s8LaserReticleColor;
    char image[32];
    tk_snprintf(image, sizeof image, "laser_%d_%s.png", stDevStatus.s8LaserReticleType + 1,
                colour < (int)ARRAY_SIZE(letters) ? letters[colour] : "w");
    home_set_image(win, "image_reticle_laser", image);
}

/* ---- reticle ---- */

static void redraw_reticle_properties(widget_t *win)
{
    widget_t *reticle = home_widget(win, HOME_RETICLE_NAME);
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
    redraw_range_mark(win);
}

static void redraw_reticle_brightness(widget_t *win)
{
    static const uint8_t opacity[] = {50, 100, 150, 200, 255};
    widget_t *reticle = home_widget(win, HOME_RETICLE_NAME);
    uint8_t level = (uint8_t)stDevStatus.s8ReticleBrightness;
    if (reticle != NULL && level < ARRAY_SIZE(opacity)) widget_set_opacity(reticle, opacity[level]);
}

/* The ballistic point marks where the bullet goes: it shows only for a
 * hold that is on the screen (ballistics on, a solution, no scan), and
 * only where its centre lies on the picture; a point placed at the edge or
 * beyond would show an aim point that is not there. */
static bool_t s_point_on_screen;

static void show_ballistic_point(widget_t *win)
{
    home_set_visible(win, "image_point",
                     s_point_on_screen && info[0].ballistics_sw == 1 && stDevStatus.s8ReticleMenuSwitch != 0 &&
                         !vesk_result_refused && !vesk_ballistics_hidden());
}

static bool_t ballistic_box_shown(void)
{
    return is_corner_info_visible && stDevStatus.s8ReticleMenuSwitch && info[0].ballistics_sw == 1 &&
           !vesk_ballistics_hidden();
}

static bool_t several_targets(void) { return vesk_lrf_ui.status == 0 && vesk_lrf_ui.count > 1; }

static void redraw_reticle_switch(widget_t *win)
{
    bool_t menu = stDevStatus.s8ReticleMenuSwitch != 0;
    home_set_visible(win, HOME_RETICLE_NAME, menu);
    home_set_visible(win, "view_ballistics", ballistic_box_shown());
    home_set_visible(win, "view_position_diff_mil", menu);
    home_set_visible(win, "view_pip_reticle", home_is_pip() && stDevStatus.s8ReticleMenuSwitch == 1);
    show_ballistic_point(win);
}

void home_redraw_temp_switch(widget_t *win)
{
    bool_t on = stDevStatus.s8ReticleSwitch != 0;
    home_set_visible(win, HOME_RETICLE_NAME, on);
    home_set_visible(win, "view_position_diff_mil", on);
    home_set_visible(win, "image_reticle_range", on && is_range_info_visible);
    home_set_visible(win, "Range", on && is_range_info_visible);
    home_set_visible(win, "vesk_range_multi", on && is_range_info_visible && several_targets());
}

static void redraw_corner_info(widget_t *win)
{
    bool_t range = is_corner_info_visible && is_range_info_visible;
    home_set_visible(win, "view_ballistics", ballistic_box_shown());
    home_set_visible(win, "Range", range);
    home_set_visible(win, "image_reticle_range", range);
    home_set_visible(win, "vesk_range_multi", range && several_targets());
    home_set_visible(win, "view_position_diff_mil", is_corner_info_visible);
}

/* The reticle's centre at the cursor plus a shift of the zoomed picture; a
 * zero slot's fraction is below a pixel by design, so a shift that is no
 * number or beyond any screen comes from a damaged slot and moves nothing. */
static void move_reticle(widget_t *win, int cursor_x, int cursor_y, float shift_x, float shift_y)
{
    int dx = 0, dy = 0;
    if (vesk_round_coord(shift_x, &dx) != 0) dx = 0;
    if (vesk_round_coord(shift_y, &dy) != 0) dy = 0;
    reticle_value_x = cursor_x + dx - HOME_RETICLE_HALF;
    reticle_value_y = cursor_y + dy - HOME_RETICLE_HALF;
    home_move(win, HOME_RETICLE_NAME, reticle_value_x, reticle_value_y);
}

static void place_ballistic_point(widget_t *win, int cursor_x, int cursor_y, float z, float ox, float oy)
{
    Set_ZoomBallisticMove(&ballistic_value_x, &ballistic_value_y, cursor_x, cursor_y, z, result_ball.moveX,
                          -result_ball.moveY, ox, oy);
    /* A coordinate that could not be converted lies beyond every screen. */
    int cx = ballistic_value_x + HOME_MARK_HALF, cy = ballistic_value_y + HOME_MARK_HALF;
    s_point_on_screen = cx >= 0 && cy >= 0 && cx < win->w && cy < win->h;
    if (s_point_on_screen) home_move(win, "image_point", ballistic_value_x, ballistic_value_y);
    show_ballistic_point(win);
}

static void redraw_reticle_position(widget_t *win)
{
    float z = stUIStatus.s8IRZoom * 0.01f;
    const Qel_Cursor_Zero *zero = ui_current_zero_point();
    float ox = zero->flIrCursorOffsetX, oy = zero->flIrCursorOffsetY;
    int X = zero->s8IrCursorCurrentX, Y = zero->s8IrCursorCurrentY;
    int cx = stUIStatus.CursorZoomX, cy = stUIStatus.CursorZoomY;

    move_reticle(win, cx, cy, z * (X - cx + ox), z * (Y - cy + oy));
    place_ballistic_point(win, cx, cy, z, X - cx + ox, Y - cy + oy);
    home_set_number(win, "label_x_diff_mil_value", "%.2f mil", (X + ox - HOME_SCREEN_CENTRE) * 0.1);
    home_set_number(win, "label_y_diff_mil_value", "%.2f mil", -((Y + oy - HOME_SCREEN_CENTRE) * 0.1));
}

static void redraw_zoom(widget_t *win)
{
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
    redraw_reticle_properties(win);
    ballistic_zoom_value = z;
    ballistic_pip_zoom_value = b;

    const Qel_Cursor_Zero *zero = ui_current_zero_point();
    int X = zero->s8IrCursorCurrentX, Y = zero->s8IrCursorCurrentY;
    float ox = zero->flIrCursorOffsetX, oy = zero->flIrCursorOffsetY;
    stUIStatus.CursorZoomX = (int16_t)X;
    stUIStatus.CursorZoomY = (int16_t)Y;
    move_reticle(win, X, Y, z * ox, z * oy);
    Set_ZoomRangeMove(&rangeX, &rangeY, stDevStatus.s16RangeOffsetX, stDevStatus.s16RangeOffsetY, X, Y, z);
    home_move(win, "image_reticle_range", rangeX, rangeY);
    place_ballistic_point(win, X, Y, z, ox, oy);
}

/* ---- targets of the last measurement ---- */

/* The target whose distance the range read-out shows: the first of a new
 * measurement, then the one a hold-over was solved for (the shooter chose
 * it among several), so that the read-out and the ballistic box never
 * name two distances. The box of the other targets lists the rest. */
static int s_readout_target;

static void redraw_targets(widget_t *win)
{
    const vesk_lrf_ui_state *r = &vesk_lrf_ui;
    int count = r->count < 3 ? r->count : 3;
    char text[32];
    vesk_lrf_ui_format_dm(r->dm[s_readout_target], text, sizeof text);
    home_set_text(win, "label_RngeValue", text);
    if (count < 2) return;
    static const char *const others[] = {"label_vesk_range_2", "label_vesk_range_3"};
    int shown = 0;
    for (int i = 0; i < count; i++) {
        if (i == s_readout_target) continue;
        vesk_lrf_ui_format_dm(r->dm[i], text, sizeof text);
        home_set_text(win, others[shown++], text);
    }
    for (; shown < (int)ARRAY_SIZE(others); shown++) home_set_text(win, others[shown], "");
}

static void follow_solved_target(widget_t *win)
{
    const vesk_lrf_ui_state *r = &vesk_lrf_ui;
    if (!r->has_result || r->status != 0 || vesk_result_refused) return;
    uint32_t solved_dm = (uint32_t)lround(result_ball.distanche * 10);
    for (int i = 0; i < r->count && i < 3; i++) {
        if (r->dm[i] != solved_dm) continue;
        if (i != s_readout_target) {
            s_readout_target = i;
            redraw_targets(win);
        }
        return;
    }
}

/* ---- ballistic result ---- */

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

static void redraw_ballistic_result(widget_t *win)
{
    redraw_range_mark(win);
    redraw_pip_reticle(win);
    show_ballistic_point(win);
    if (vesk_ballistics_hidden()) {
        home_set_visible(win, "view_ballistics", FALSE);
        home_set_visible(win, "view_bg_ballistic", FALSE);
        return;
    }
    bool_t on = info[0].ballistics_sw != 0;
    home_set_visible(win, "view_ballistics", on);
    home_set_visible(win, "view_bg_ballistic", on);
    if (vesk_result_refused) {
        redraw_no_solution(win);
        return;
    }

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
    follow_solved_target(win);
    /* With debug mode on, the moment a hold-over reaches the screen. */
    vesk_log_printf(VESK_LOG_DETAIL, HOME_LOG_TAG, "hold-over %.2f %.2f mil at %.1f m shown", result_ball.mradV,
                    result_ball.mradH, result_ball.distanche);
}

/* ---- range ---- */

void home_range_reset(widget_t *win)
{
    home_set_text(win, "label_RngeValue", stDevStatus.s8DistanceUint != 0 ? "---- yd" : "---- m");
}

static ret_t on_range_blink(const timer_info_t *timer)
{
    s_range_blink_timer_id = TK_INVALID_ID;
    home_set_visible(WIDGET(timer->ctx), "image_Rnage", TRUE);
    return RET_REMOVE;
}

static void redraw_distance(widget_t *win)
{
    home_set_number(win, "label_RngeValue", "%.1f m", stUIStatus.s16Distance * 0.1);
    if (stDevStatus.s8RangeType == 1 && stUIStatus.s8RangeMode == 3) {
        home_set_visible(win, "image_Rnage", FALSE);
        remove_global_timer(&s_range_blink_timer_id);
        s_range_blink_timer_id = timer_add(on_range_blink, win, 160);
    }
}

static void redraw_lrf_result(widget_t *win)
{
    const vesk_lrf_ui_state *r = &vesk_lrf_ui;
    if (r->status != 0) {
        home_range_reset(win);
        home_set_visible(win, "vesk_range_multi", FALSE);
    } else {
        s_readout_target = 0;
        redraw_targets(win);
        home_set_visible(win, "vesk_range_multi",
                         r->count >= 2 && stDevStatus.s8ReticleSwitch && is_corner_info_visible &&
                             is_range_info_visible);
    }
    if (vesk_non_operational) return;
    /* A fresh run (bit 0 clear) or a final answer (bit 7) of a multiple
     * target measurement while ballistics are on needs a target. */
    bool_t choosing = (r->session & 0x01) == 0 || (r->session & 0x80) != 0;
    if (r->status == 0 && r->target == 3 && info[0].ballistics_sw == 1 && choosing) {
        if (r->count == 1)
            vesk_lrf_ui_send_accept(0, r->dm[0]);
        else if (r->count > 1)
            navigator_to("vesk_lrf_select");
    }
}

static void redraw_lrf_state(widget_t *win)
{
    uint8_t state = vesk_lrf_ui.state;
    if (state == 0 || state == 1 || state == 3) {
        stUIStatus.s8RangeMode = 0;
        home_set_visible(win, "image_Rnage", TRUE);
    } else if (state == 2) {
        stUIStatus.s8RangeMode = 3;
    }
    if (state == 2 || stUIStatus.s8RangeMode == 3) {
        home_set_visible(win, "view_ballistics", FALSE);
        home_set_visible(win, "view_bg_ballistic", FALSE);
        show_ballistic_point(win);
    } else {
        redraw_ballistic_result(win);
    }
}

/* ---- battery, storage, status icons ---- */

static void redraw_battery(widget_t *win)
{
    static const struct {
        int from;
        const char *icon;
    } levels[] = {{791, "ic_status_battery4"},
                  {745, "ic_status_battery3"},
                  {666, "ic_status_battery2"},
                  {607, "ic_status_battery1"},
                  {INT32_MIN, "ic_status_battery0"}};
    int value = stUIStatus.s16BatteryValue;
    home_set_visible(win, "image_QZ_usb_connect", stUIStatus.s8BatteryType == 1);
    for (size_t i = 0; i < ARRAY_SIZE(levels); i++) {
        if (value >= levels[i].from) {
            home_set_image(win, "lable_QZ_battery_value", levels[i].icon);
            break;
        }
    }
    /* 0 is no reading yet (the page may open before the first battery
     * report), not a flat battery: it must not power the scope off. */
    if (value == 0 || value > HOME_BATTERY_LOW_POWER || stUIStatus.s8BatteryType != 0) return;
    static const char *const busy[] = {"restoring", "memory_format_restart", "QZ_SHUT_DOWN", "shut_down_low_power"};
    if (name_in(ui_top_window_name(), busy, ARRAY_SIZE(busy)) || timer_id_RAV != 0) return;
    navigator_to("shut_down_low_power");
}

int home_storage_full(void)
{
    int used = 0, total = 0;
    return Get_StorageData(&used, &total) == 1;
}

static void check_storage(widget_t *win)
{
    if (!home_storage_full()) {
        home_set_visible(win, "image_sd_full", FALSE);
        return;
    }
    if (stDevStatus.s8RecoilState == 1) {
        stDevStatus.s8RecoilState = 0;
        GUI_SEND_RECOIL_MSG(RECOIL_SWITCH);
    }
    home_set_visible(win, "image_sd_full", TRUE);
    if (record_status.status == 1) home_record_stop(win);
}

static ret_t on_storage_timer(const timer_info_t *timer)
{
    check_storage(WIDGET(timer->ctx));
    return RET_REPEAT;
}

void home_record_stop(widget_t *win)
{
    remove_window_timer(win, (uint32_t *)&record_status.timer_id);
    record_status.time_record = 0;
    home_set_visible(win, "video_view", FALSE);
    record_status.status = 0;
    GUI_SEND_TAP_VIDEO_MSG(TAP_VIDEO_RECORD, 1, NULL);
    stUIStatus.s8RecordingState = record_status.status;
}

ret_t home_record_clock(const timer_info_t *timer)
{
    widget_t *win = WIDGET(timer->ctx);
    int64_t elapsed = (int64_t)time_now_s() - record_status.time_start;
    record_status.hour = (int32_t)(elapsed / 3600);
    record_status.minute = (int32_t)((elapsed - record_status.hour * 3600) / 60);
    record_status.second = (int32_t)(elapsed % 60);
    record_status.time_record = elapsed;
    if (elapsed > HOME_RECORD_LIMIT_S) {
        /* This timer ends by its result, not by removal. */
        record_status.timer_id = TK_INVALID_ID;
        home_record_stop(win);
        return RET_REMOVE;
    }
    char text[16];
    tk_snprintf(text, sizeof text, "%02d", record_status.second);
    home_set_text(win, "second", text);
    tk_snprintf(text, sizeof text, "%02d", record_status.minute);
    home_set_text(win, "minute", text);
    tk_snprintf(text, sizeof text, "%02d", record_status.hour);
    home_set_text(win, "hour", text);
    return RET_REPEAT;
}

static void redraw_palette(widget_t *win)
{
    static const char *const icons[] = {"ic_status_whitehot_def", "ic_status_blackhot_def", "ic_status_redhot_def",
                                        "ic_status_red_def", "ic_status_green_def"};
    uint8_t polarity = (uint8_t)stDevStatus.s8IrPolarity;
    if (polarity < ARRAY_SIZE(icons)) home_set_image(win, "image_QZ_colormap", icons[polarity]);
}

static void redraw_group_label(widget_t *win)
{
    static const char letters[] = "ABCDEF";
    uint8_t group = IR_Cursor.u8CurrentGroup;
    char text[32];
    tk_snprintf(text, sizeof text, "%c%dm", group < VESK_PROFILE_COUNT ? letters[group] : '?',
                ui_current_zero_point()->u16IrCursorDistance);
    home_set_text(win, "label_group_value", text);
}

static ret_t on_shutter_timer(const timer_info_t *timer)
{
    widget_t *win = WIDGET(timer->ctx);
    s_shutter_timer_id = TK_INVALID_ID;
    uint32_t a = (uint32_t)stDevStatus.s8AutoShutter * 60;
    home_set_visible(win, "image_QZ_shutter", FALSE);
    if (ui_auto_shutter_count() + 3 < a && stDevStatus.s8AutoShutter != 0) {
        home_set_image(win, "image_QZ_shutter", "ic_stat_auto");
        home_set_visible(win, "image_QZ_shutter", TRUE);
    }
    return RET_REMOVE;
}

static void redraw_shutter_countdown(widget_t *win)
{
    if (stDevStatus.s8CorrectType != 0) return;
    uint32_t a = (uint32_t)stDevStatus.s8AutoShutter * 60;
    uint32_t count = ui_auto_shutter_count();
    const char *icon = "ic_stat_manual";
    if (count + 3 == a)
        icon = "ic_stat_auto_3";
    else if (count + 2 == a)
        icon = "ic_stat_auto_2";
    else if (count + 1 == a)
        icon = "ic_stat_auto_1";
    home_set_image(win, "image_QZ_shutter", icon);
    home_set_visible(win, "image_QZ_shutter", TRUE);
    remove_global_timer(&s_shutter_timer_id);
    s_shutter_timer_id = timer_add(on_shutter_timer, win, 500);
}

static void redraw_usb_mode(widget_t *win)
{
    static const char *const texts[] = {NULL, "IR-Debug", "ARM-Debug"};
    uint8_t mode = (uint8_t)stUIStatus.s8UsbMode;
    widget_t *label = home_widget(win, "label_current_USB");
    if (label == NULL) return;
    if (mode == 0 || mode >= ARRAY_SIZE(texts)) {
        widget_set_visible(label, FALSE);
        return;
    }
    widget_set_tr_text(label, texts[mode]);
    widget_set_visible(label, TRUE);
}

/* ---- recoil video ---- */

static void show_recoil_icon(widget_t *win)
{
    if (stDevStatus.s8RecoilState != 0) home_set_visible(win, "image_QZ_RAV", TRUE);
}

static ret_t on_rav_blink(const timer_info_t *timer)
{
    widget_t *win = WIDGET(timer->ctx);
    Rav_count++;
    s_rav_blink = !s_rav_blink;
    home_set_visible(win, "image_QZ_RAV", s_rav_blink);
    if (Rav_count > stDevStatus.s8RecoilAfter * 10 + 20) {
        Rav_count = 0;
        timer_id_RAV = 0;
        stUIStatus.s8Record_start_end = 0;
        show_recoil_icon(win);
        return RET_REMOVE;
    }
    return RET_REPEAT;
}

int vesk_home_rav_running(void) { return timer_id_RAV != 0; }

static void redraw_recoil_recording(widget_t *win)
{
    if (stUIStatus.s8Record_start_end) {
        if (timer_id_RAV == 0) {
            Rav_count = 0;
            timer_id_RAV = widget_add_timer(win, on_rav_blink, 500);
        }
    } else if (timer_id_RAV != 0) {
        widget_remove_timer(win, timer_id_RAV);
        timer_id_RAV = 0;
        show_recoil_icon(win);
    }
}

static void redraw_recoil_icon(widget_t *win)
{
    home_set_image(win, "image_QZ_RAV", stUIStatus.s8Record_prepare ? "ic_status_rav" : "ic_status_ravprepare");
    home_set_visible(win, "image_QZ_RAV", stDevStatus.s8RecoilState != 0);
}

/* ---- tips ---- */

static ret_t on_record_tip_timer(const timer_info_t *timer)
{
    timer_id_record_1 = TK_INVALID_ID;
    home_set_visible(WIDGET(timer->ctx), "view_tip_record", FALSE);
    return RET_REMOVE;
}

static ret_t on_range_tip_timer(const timer_info_t *timer)
{
    timer_id_range_2 = TK_INVALID_ID;
    home_set_visible(WIDGET(timer->ctx), "view_tip_forbid_range", FALSE);
    return RET_REMOVE;
}

static void redraw_laser_switch(widget_t *win)
{
    if (stUIStatus.s16BatteryValue <= HOME_BATTERY_NO_RANGE && stUIStatus.s8BatteryType == 0 &&
        timer_id_range_2 == TK_INVALID_ID) {
        home_set_visible(win, "view_tip_forbid_range", TRUE);
        timer_id_range_2 = widget_add_timer(win, on_range_tip_timer, 2000);
    }
    home_set_visible(win, "image_reticle_laser", stUIStatus.s8LaserSwitch != 0);
}

/* ---- lifecycle banners ---- */

static ret_t on_banner_timer(const timer_info_t *timer)
{
    widget_t *win = WIDGET(timer->ctx);
    vesk_save_error_timer_id = TK_INVALID_ID;
    if (vesk_non_operational) {
        widget_t *label = home_widget(win, "vesk_label_save_error");
        if (label != NULL) {
            widget_set_tr_text(label, "vesk_recovery_required");
            widget_set_visible(label, TRUE);
        }
    } else {
        home_set_visible(win, "vesk_label_save_error", FALSE);
    }
    return RET_REMOVE;
}

void vesk_home_show_lifecycle_text(widget_t *win, const char *key, uint32_t ms)
{
    remove_window_timer(win, &vesk_save_error_timer_id);
    widget_t *label = home_widget(win, "vesk_label_save_error");
    if (label == NULL) return;
    widget_set_style_str(label, "normal:font_name", vesk_page_text_font());
    widget_set_tr_text(label, key);
    widget_set_visible(label, TRUE);
    if (ms != 0) vesk_save_error_timer_id = widget_add_timer(win, on_banner_timer, ms);
}

void vesk_home_apply_recovery(widget_t *win)
{
    vesk_non_operational = 1;
    vesk_home_show_lifecycle_text(win, "vesk_recovery_required", 0);
    home_set_visible(win, "view_ballistics", FALSE);
    home_set_visible(win, "view_bg_ballistic", FALSE);
    show_ballistic_point(win);
}

void vesk_home_raise(widget_t *win, int all)
{
    widget_t *top = window_manager_get_top_window(window_manager());
    if (top == NULL || top == win) return;
    if (!all && name_in(top->name, vesk_recovery_aware_windows, ARRAY_SIZE(vesk_recovery_aware_windows))) return;
    navigator_back_to_home();
}

static void on_lifecycle_outcome(widget_t *win)
{
    if (stUIStatus.vesk_recovery_latched && !vesk_non_operational) {
        vesk_home_apply_recovery(win);
        vesk_home_raise(win, 0);
    }
    switch (stUIStatus.vesk_lifecycle_status) {
    case 1: /* cancelled save */
        if (!vesk_non_operational) vesk_home_show_lifecycle_text(win, "vesk_save_failed", 5000);
        break;
    case 2: /* recovery required */
        vesk_home_apply_recovery(win);
        vesk_home_raise(win, 0);
        break;
    case 3: /* retry unsaved */
        vesk_home_show_lifecycle_text(win, "vesk_unsaved_retry", 5000);
        vesk_home_raise(win, 0);
        break;
    case 4: /* powering off unsaved */
        vesk_home_show_lifecycle_text(win, "vesk_unsaved_poweroff", 0);
        vesk_home_raise(win, 0);
        break;
    case 5: /* profiles restored */
        if (!vesk_non_operational) vesk_home_show_lifecycle_text(win, "vesk_profiles_restored", 5000);
        break;
    default:
        break;
    }
}

/* ---- user events ---- */

/* One handler per user event; ctx is the home window. */
static ret_t on_home_event(void *ctx, event_t *e)
{
    widget_t *win = WIDGET(ctx);
    switch ((int)e->type - (int)EVT_USER_START) {
    case UI_EV_AZIMUTH:
        redraw_azimuth(win);
        break;
    case UI_EV_PITCH:
        redraw_pitch(win);
        break;
    case UI_EV_SLANT:
        redraw_slant(win);
        break;
    case UI_EV_COMPASS_SWITCH:
        home_redraw_compass_visibility(win);
        break;
    case UI_EV_DISTANCE_UNIT:
        redraw_distance(win);
        break;
    case UI_EV_LRF_RESULT:
        redraw_lrf_result(win);
        break;
    case UI_EV_LRF_STATE:
        redraw_lrf_state(win);
        break;
    case UI_EV_ZERO_OFFSET:
        redraw_reticle_position(win);
        break;
    case UI_EV_REDRAW:
        redraw_zoom(win);
        break;
    case UI_EV_RETICLE_MENU_SWITCH:
        redraw_reticle_switch(win);
        break;
    case UI_EV_RETICLE_SWITCH:
        home_redraw_temp_switch(win);
        break;
    case UI_EV_RETICLE_COLOR:
    case UI_EV_RETICLE_TYPE:
        redraw_reticle_properties(win);
        break;
    case UI_EV_RETICLE_LIGHT:
        redraw_reticle_brightness(win);
        break;
    case UI_EV_LASER_INDICATOR:
        home_move(win, "image_reticle_laser", stDevStatus.s16LaserIndicatX - HOME_LASER_HALF,
                  stDevStatus.s16LaserIndicatY - HOME_LASER_HALF);
        break;
    case UI_EV_LASER_SWITCH:
        redraw_laser_switch(win);
        break;
    case UI_EV_LASER_RETICLE:
        redraw_laser_image(win);
        break;
    case UI_EV_BATTERY_TYPE:
        home_set_visible(win, "image_QZ_usb_connect", stUIStatus.s8BatteryType == 1);
        break;
    case UI_EV_POLARITY:
        redraw_palette(win);
        break;
    case UI_EV_WIFI_SWITCH:
        home_set_visible(win, "image_QZ_wifi", stDevStatus.s8WiFiSwitch == 1);
        break;
    case UI_EV_SHUTTER:
        redraw_shutter_countdown(win);
        break;
    case UI_EV_AUTO_SHUTTER:
        home_set_visible(win, "image_QZ_shutter", stDevStatus.s8AutoShutter != 0);
        break;
    case UI_EV_MICRO:
        home_set_visible(win, "image_QZ_mic", stDevStatus.s8MicroSwitch == 1);
        break;
    case UI_EV_RECORDING:
        redraw_recoil_recording(win);
        break;
    case UI_EV_RECOIL:
        redraw_recoil_icon(win);
        break;
    case UI_EV_BATTERY:
        redraw_battery(win);
        break;
    case UI_EV_BALLISTIC:
        redraw_ballistic_result(win);
        break;
    case UI_EV_RECORDING_TIP:
        home_set_visible(win, "view_tip_record", TRUE);
        if (timer_id_record_1 == TK_INVALID_ID) timer_id_record_1 = widget_add_timer(win, on_record_tip_timer, 2000);
        break;
    case UI_EV_BALL_RETICLE_TYPE:
    case UI_EV_BALL_RETICLE_COLOR:
        redraw_ballistic_mark(win);
        break;
    case UI_EV_AUTO_SCREEN:
        home_set_visible(win, "view_standby", stDevStatus.s8ScreenOff == 1);
        break;
    case UI_EV_PIP_RETICLE_COLOR:
        redraw_pip_reticle(win);
        break;
    case UI_EV_USB_MODE:
        redraw_usb_mode(win);
        break;
    case UI_EV_CORNER_INFO:
        redraw_corner_info(win);
        break;
    case UI_EV_LIFECYCLE:
        on_lifecycle_outcome(win);
        break;
    case UI_EV_UNSAVED_POWER_OFF:
        vesk_home_show_lifecycle_text(win, "vesk_unsaved_poweroff", 0);
        vesk_home_raise(win, 1);
        break;
    default:
        break;
    }
    return RET_OK;
}

/* Events 52 and 25 redraw both the reticle and the group label. */
static ret_t on_group_event(void *ctx, event_t *e)
{
    widget_t *win = WIDGET(ctx);
    if ((int)e->type == UI_EVT(UI_EV_GROUP_DATA))
        redraw_group_label(win);
    else
        home_set_visible(win, "label_group_value", stDevStatus.s8ReticleMenuSwitch != 0);
    return RET_OK;
}

static ret_t on_reticle_group_event(void *ctx, event_t *e)
{
    (void)e;
    redraw_reticle_position(WIDGET(ctx));
    return RET_OK;
}

/* Which widget of the window brings which user events: a window resource
 * without the widget gets no redraws for it. */
static const struct {
    const char *widget;
    int event;
    event_func_t handler;
} s_home_subscriptions[] = {
    {"azimuth_scale", UI_EV_AZIMUTH, on_home_event},
    {"azimuth_scale", UI_EV_COMPASS_SWITCH, on_home_event},
    {"pitch_scale", UI_EV_PITCH, on_home_event},
    {"roll_scale", UI_EV_SLANT, on_home_event},
    {"label_RngeValue", UI_EV_DISTANCE_UNIT, on_home_event},
    {"label_RngeValue", UI_EV_LRF_RESULT, on_home_event},
    {"label_RngeValue", UI_EV_LRF_STATE, on_home_event},
    {HOME_RETICLE_NAME, UI_EV_ZERO_OFFSET, on_home_event},
    {HOME_RETICLE_NAME, UI_EV_GROUP_DATA, on_reticle_group_event},
    {HOME_RETICLE_NAME, UI_EV_REDRAW, on_home_event},
    {HOME_RETICLE_NAME, UI_EV_RETICLE_MENU_SWITCH, on_home_event},
    {HOME_RETICLE_NAME, UI_EV_RETICLE_SWITCH, on_home_event},
    {HOME_RETICLE_NAME, UI_EV_RETICLE_COLOR, on_home_event},
    {HOME_RETICLE_NAME, UI_EV_RETICLE_TYPE, on_home_event},
    {HOME_RETICLE_NAME, UI_EV_RETICLE_LIGHT, on_home_event},
    {"image_reticle_laser", UI_EV_LASER_INDICATOR, on_home_event},
    {"image_reticle_laser", UI_EV_LASER_SWITCH, on_home_event},
    {"image_reticle_laser", UI_EV_LASER_RETICLE, on_home_event},
    {"image_QZ_usb_connect", UI_EV_BATTERY_TYPE, on_home_event},
    {"image_QZ_colormap", UI_EV_POLARITY, on_home_event},
    {"image_QZ_wifi", UI_EV_WIFI_SWITCH, on_home_event},
    {"image_QZ_shutter", UI_EV_SHUTTER, on_home_event},
    {"image_QZ_shutter", UI_EV_AUTO_SHUTTER, on_home_event},
    {"image_QZ_mic", UI_EV_MICRO, on_home_event},
    {"image_QZ_RAV", UI_EV_RECORDING, on_home_event},
    {"image_QZ_RAV", UI_EV_RECOIL, on_home_event},
    {"lable_QZ_battery_value", UI_EV_BATTERY, on_home_event},
    {"image_point", UI_EV_BALLISTIC, on_home_event},
    {"label_group_value", UI_EV_GROUP_DATA, on_group_event},
    {"label_group_value", UI_EV_RETICLE_MENU_SWITCH, on_group_event},
    {"view_tip_record", UI_EV_RECORDING_TIP, on_home_event},
    {"image_ballistic_reticle", UI_EV_BALL_RETICLE_TYPE, on_home_event},
    {"image_ballistic_reticle", UI_EV_BALL_RETICLE_COLOR, on_home_event},
    {"view_standby", UI_EV_AUTO_SCREEN, on_home_event},
    {"view_pip_reticle", UI_EV_PIP_RETICLE_COLOR, on_home_event},
    {"label_current_USB", UI_EV_USB_MODE, on_home_event},
};

static ret_t home_visit(void *ctx, const void *data)
{
    widget_t *win = WIDGET(ctx);
    const widget_t *w = (const widget_t *)data;
    if (w == NULL || w->name == NULL || w->name[0] == '\0') return RET_OK;
    for (size_t i = 0; i < ARRAY_SIZE(s_home_subscriptions); i++) {
        if (strcmp(w->name, s_home_subscriptions[i].widget) == 0)
            widget_on(window_manager(), (uint32_t)UI_EVT(s_home_subscriptions[i].event),
                      s_home_subscriptions[i].handler, win);
    }
    return RET_OK;
}

/* ---- init ---- */

static void change_locale(const char *locale)
{
    char language[3] = {0};
    char country[3] = {0};
    if (sscanf(locale, "%2[a-z]_%2[A-Z]", language, country) == 2) locale_info_change(locale_info(), language, country);
}

static void check_clock(void)
{
    struct tm *now = NULL;
    if (sys_get_time(&now) != 0 || now == NULL) return;
    int year = now->tm_year + 1900;
    if (year >= 2023 && year <= 2099) return;
    if (rtc_set_time(0, 0, 0, 2023, 1, 1) == 0) printf("rtc time_set_successful!\n");
    if (sys_set_time(0, 0, 0, 2023, 1, 1) == 0) printf("sys time_set_successful!\n");
}

static void apply_language(void)
{
    switch (stDevStatus.s8Language) {
    case 1:
        change_locale("zh_CN");
        printf("change language to Chinese!\n");
        break;
    case 2:
        change_locale("ru_RU");
        printf("change language to Russian!\n");
        break;
    default:
        change_locale("en_US");
        printf("change language to English!\n");
        break;
    }
}

static void paint_all(widget_t *win)
{
    redraw_azimuth(win);
    redraw_pitch(win);
    redraw_slant(win);
    redraw_zoom(win);
    redraw_reticle_properties(win);
    redraw_reticle_brightness(win);
    redraw_reticle_position(win);
    redraw_reticle_switch(win);
    redraw_palette(win);
    home_set_visible(win, "image_QZ_enchane", stDevStatus.s8IrEnchance == 1);
    redraw_battery(win);
    check_storage(win);
    redraw_group_label(win);
    home_set_visible(win, "image_QZ_mic", stDevStatus.s8MicroSwitch == 1);
    home_set_visible(win, "label_group_value", stDevStatus.s8ReticleMenuSwitch != 0);
    redraw_recoil_icon(win);
    redraw_ballistic_mark(win);
    home_set_visible(win, "image_QZ_wifi", stDevStatus.s8WiFiSwitch == 1);
    get_file_list_info();
    redraw_ballistic_result(win);
    redraw_range_mark(win);
    redraw_pip_reticle(win);
    home_set_visible(win, "image_QZ_shutter", stDevStatus.s8AutoShutter != 0);
}

ret_t QZ_home_page_1_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    printf("enter QZ_home_page_1!!!\n");

    widget_foreach(win, home_visit, win);
    check_clock();
    stDevStatus.s8DistanceUint = 0;
    apply_language();

    if (stUIStatus.vesk_recovery_latched)
        vesk_home_apply_recovery(win);
    else if (stUIStatus.vesk_lifecycle_status == 5 && stUIStatus.vesk_lifecycle_reason == 9)
        vesk_home_show_lifecycle_text(win, "vesk_profiles_restored", 5000);

    stDevStatus.s8RangeSwitch = 0;
    widget_add_timer(win, on_storage_timer, 30000);
    stUIStatus.s8CompassTempOcclusion = 0;
    home_redraw_compass_visibility(win);
    /* One watch for the life of the program, bound to the newest window. */
    remove_global_timer(&s_watch_timer_id);
    s_watch_first = TRUE;
    s_watch_menu = 0;
    s_watch_timer_id = timer_add(on_watch_timer, win, 100);

    paint_all(win);

    if (!vesk_non_operational) GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_OPEN_CALCU, 1);
    vesk_lrf_ui_send_query();

    static const int events[] = {UI_EV_CORNER_INFO, UI_EV_LIFECYCLE, UI_EV_UNSAVED_POWER_OFF};
    for (size_t i = 0; i < ARRAY_SIZE(events); i++)
        widget_on(window_manager(), (uint32_t)UI_EVT(events[i]), on_home_event, win);
    /* A closed home page must not hear them any more. */
    vesk_page_bind_close(win, NULL);
    widget_on(win, EVT_KEY_DOWN, home_on_key, win);
    printf("QZ_home_page_1 INIT END!\n");
    return RET_OK;
}
