// The home page's compass: the azimuth, pitch and slant scales with their
// read-outs, and the watch that hides the compass under the menus and
// tells the device whether a menu is open.
#include <math.h>

#include "home_page_internal.h"
#include "ui_senders.h"
#include "ui_status.h"
#include "vesk_page.h"

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

/* One label of the pool, as wide as its text and centred on its tick; a
 * label whose text would cross an edge of the window is hidden whole,
 * since a cut "15" reads as "5". */
static void place_azimuth_label(canvas_t *c, widget_t *view, widget_t *label, int degrees, int tick)
{
    char number[8];
    const char *text = azimuth_label_text(((degrees % 360) + 360) % 360, number, sizeof number);
    canvas_set_font(c, widget_get_style_str(label, STYLE_ID_FONT_NAME, NULL),
                    (uint16_t)widget_get_style_int(label, STYLE_ID_FONT_SIZE, 13));
    int w = (int)ceil(canvas_measure_utf8(c, text));
    int x = tick - w / 2;
    widget_set_text_utf8(label, text);
    widget_move_resize(label, (xy_t)x, label->y, (wh_t)w, label->h);
    widget_set_visible(label, x >= 0 && x + w <= view->w);
}

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
        char name[32];
        tk_snprintf(name, sizeof name, "azimuth_label_%d", i);
        widget_t *label = home_widget(win, name);
        if (label == NULL) continue;
        int degrees = first + (i + 1) * AZIMUTH_LABEL_STEP;
        int tick = (int)lround(strip_x + AZIMUTH_ZERO_X + degrees * px_per_degree);
        place_azimuth_label(c, view, label, degrees, tick);
    }
}

void home_redraw_azimuth(home_state_t *home)
{
    float azimuth = stUIStatus.s16CompassAzimuth;
    home_set_number(home->win, "label_azimuth", "%.1f°", azimuth);
    int strip_x = -(int)(azimuth * AZIMUTH_PX_PER_TURN / 360 + 125);
    home_move_resize(home->win, "azimuth_scale", strip_x, 0, 1830, 28);
    place_azimuth_labels(home->win, strip_x);
}

void home_redraw_pitch(home_state_t *home)
{
    float pitch = stUIStatus.s16CompassPitch;
    home_set_number(home->win, "label_pitch", "%.1f°", pitch);
    home_move_resize(home->win, "pitch_scale", 0, (int)(pitch * 9.95) - 787, 84, 1892);
}

void home_redraw_slant(home_state_t *home)
{
    float slant = stUIStatus.s16CompassSlant;
    home_set_number(home->win, "label_slant", "%.1f°", slant);
    home_move_resize(home->win, "roll_scale", 40, (int)(slant * 9.95) - 1684, 96, 3686);
}

void home_redraw_compass_visibility(home_state_t *home)
{
    widget_t *win = home->win;
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
    home_state_t *home = (home_state_t *)timer->ctx;
    const char *top = ui_top_window_name();

    stUIStatus.s8CompassTempOcclusion = home_name_in(top, compass_windows, ARRAY_SIZE(compass_windows)) ? 0 : 1;
    if (home->watch_first || stUIStatus.s8CompassTempOcclusion != home->watch_occlusion)
        home_redraw_compass_visibility(home);
    home->watch_occlusion = stUIStatus.s8CompassTempOcclusion;

    stUIStatus.s8CurrentMenu = home_name_in(top, home_windows, ARRAY_SIZE(home_windows)) ? 0 : 1;
    if (stUIStatus.s8CurrentMenu != home->watch_menu) GUI_SEND_BASIC_FUNCTION_MSG(BASIC_MENU_LEVEL);
    home->watch_menu = stUIStatus.s8CurrentMenu;
    home->watch_first = FALSE;
    return RET_REPEAT;
}

/* One watch for the life of the program, bound to the newest home window:
 * the watch of any older one stops. */
void home_start_watch(home_state_t *home)
{
    widget_t *wm = window_manager();
    WIDGET_FOR_EACH_CHILD_BEGIN(wm, iter, i)
    home_state_t *older = home_state_of(iter);
    if (older != NULL && older != home) home_remove_global_timer(&older->watch_timer_id);
    WIDGET_FOR_EACH_CHILD_END()
    home_remove_global_timer(&home->watch_timer_id);
    home->watch_first = TRUE;
    home->watch_menu = 0;
    home->watch_timer_id = timer_add(on_watch_timer, home, 100);
}
