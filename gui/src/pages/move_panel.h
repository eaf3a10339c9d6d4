// The seven-key panel of the pages that move a mark over the picture (the
// zero movement panel and the aim-mark page): exit, freeze, four arrows and
// centre, each an icon on a key background. A short press lights its key
// for 200 ms; a held arrow keeps it lit and steps a page callback at once
// and then every 500 ms until its release. The zoom rules the pages share
// (the old zero mark placed by the zoom) live here too.
#pragma once

#include <stdint.h>

#include "awtk.h"

typedef enum {
    MOVE_BTN_EXIT,
    MOVE_BTN_FREEZE,
    MOVE_BTN_LEFT,
    MOVE_BTN_RIGHT,
    MOVE_BTN_UP,
    MOVE_BTN_DOWN,
    MOVE_BTN_CENTRE,
    MOVE_BTN_COUNT,
} move_panel_button_t;

/* One key: icon widget, its default image, background widget, its default
 * background, and the two widgets found when the page opens. */
typedef struct {
    const char *img_name;
    const char *img_asset;
    const char *view_name;
    const char *view_bg;
    widget_t *img;
    widget_t *view;
} move_panel_btn_state_t;

/* One held step of (dx, dy) pixels (±10 or 0). */
typedef void (*move_panel_step_t)(widget_t *win, int dx, int dy);

typedef struct {
    move_panel_btn_state_t buttons[MOVE_BTN_COUNT];
    widget_t *win;
    move_panel_step_t on_step;
    /* The lit key: its icon, the image to restore, its background, and the
     * 200 ms timer of a short press (0 while none runs). */
    widget_t *icon_sel_target;
    char icon_sel_def_name[64];
    widget_t *bg_sel_view;
    uint32_t icon_sel_timer_id;
    int step_dx, step_dy;
    uint32_t step_timer_id;
} move_panel_t;

/* What a key is to the panel: an arrow press, a held arrow, a release, or
 * one of the keys every panel page reads: ',' centre, 'a' freeze, '.' or
 * '7' close, '1' home. */
typedef enum {
    MOVE_KEY_NONE,
    MOVE_KEY_FINE,
    MOVE_KEY_HELD,
    MOVE_KEY_RELEASE,
    MOVE_KEY_CENTRE,
    MOVE_KEY_FREEZE,
    MOVE_KEY_CLOSE,
    MOVE_KEY_HOME,
} move_key_kind_t;
typedef struct {
    move_key_kind_t kind;
    int button;
    int dx, dy; /* fine: ±1, held: ±10 */
} move_key_t;
move_key_t move_panel_key(uint32_t key);

/* Finds the widgets, gives every key its default icon and background and
 * the freeze key the icon of the picture's state. */
void move_panel_open(move_panel_t *p, widget_t *win, move_panel_step_t on_step);
/* Binds on_key (context: the window) to the window's key-down events,
 * on_close as its close handler, and the device's freeze release (user
 * event 62), which clears the freeze mirror and its icon. */
void move_panel_bind(widget_t *win, event_func_t on_key, event_func_t on_close);
/* "ic_freeze" while the picture is frozen, else "ic_freeze_un". */
void move_panel_show_freeze(move_panel_t *p);
/* Freezes or releases the picture: mirror, icon, request. */
void move_panel_set_freeze(move_panel_t *p, int frozen);
/* The freeze key: the picture's freeze inverted. */
void move_panel_toggle_freeze(move_panel_t *p);
/* The selected form of an image name: a final "def" becomes "sel",
 * otherwise "_sel" is added. */
void move_panel_sel_name(const char *def_name, char *out, size_t size);
/* Lights a key for 200 ms (ending a running short highlight first). */
void move_panel_flash(move_panel_t *p, int button);
/* Ends the short highlight, restoring its key. */
void move_panel_end_flash(move_panel_t *p);
/* Lights the key without time limit, steps once and then every 500 ms. */
void move_panel_hold(move_panel_t *p, int button, int dx, int dy);
/* Ends the held stepping (dx, dy 0). */
void move_panel_stop(move_panel_t *p);
/* The key's default icon with background bg (its own default when NULL). */
void move_panel_restore(move_panel_t *p, int button, const char *bg);
/* The leaving keys of every panel page: close goes back and then opens
 * reopen (context ctx) when it is named, home goes home. Other keys do
 * nothing. */
void move_panel_leave(move_key_t k, const char *reopen, intptr_t ctx);
/* The page's close: a frozen picture is released (mirror, icon, request),
 * then both timers end. */
void move_panel_close(move_panel_t *p);

/* What the adjustment pages do first: picture-in-picture ends (video mode
 * 3 becomes 0 and is sent), and the ballistic calculation is switched off
 * while the reticle moves, so no hold-over shifts under the shooter. */
void move_panel_leave_pip(void);
void move_panel_calculation_off(void);

/* The thermal zoom as a factor (1 in picture-in-picture). */
float move_panel_zoom(void);
/* Puts the mark widget (less shift pixels) where the zoom shows a point at
 * (tx, ty) pixels from the centre, about the zoom centre; it is shown only
 * inside the picture's circle of 640 pixels and rows 128..1152. */
void move_panel_place_mark(widget_t *win, const char *name, float tx, float ty, float z, int shift);
