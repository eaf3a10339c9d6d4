// "QZ_home_page_1", the viewing screen over the thermal video: reticle,
// rangefinder mark and read-out, ballistic hold-over, compass scales, zoom,
// battery, storage, recording and status icons, and the banners of the
// power lifecycle. It is opened once by the boot page, stays at the bottom
// of the window stack and is never closed while the program runs. Its init
// function QZ_home_page_1_init is declared with every page's in pages.h.
#pragma once

#include <stdint.h>

#include "awtk.h"

/* The corner information is shown; written by the bad-pixel page, which
 * raises user event 70. */
extern uint8_t is_corner_info_visible;
/* Set once recovery is required; never cleared while the program runs. */
extern uint8_t vesk_non_operational;
/* The main menu's current row (1-based), set before it opens. */
extern int32_t menu_index;

/* The recoil-video timer runs: a recoil video is being recorded. */
int home_rav_running(void);

/* Lifecycle banner: the translated text key, for ms milliseconds (0: until
 * replaced). */
void vesk_home_show_lifecycle_text(widget_t *win, const char *key, uint32_t ms);
/* Recovery required: no keys, no ballistic box, no automatic target. */
void vesk_home_apply_recovery(widget_t *win);
/* Closes every window above the home page; with all 0 a window that
 * handles lifecycle outcomes itself stays. */
void vesk_home_raise(widget_t *win, int all);
/* The recoil-video blink runs (a recoil video is being recorded). */
int vesk_home_rav_running(void);
/* The hold-over is not shown: scanning, continuous ranging or recovery. */
int vesk_ballistics_hidden(void);

/* tk_snprintf, then a leading '-' goes when no digit 1..9 follows it (a
 * minus zero such as -0.0 loses its sign, -0.05 keeps it). The length
 * written; the text is always cut to the buffer and terminated. */
int tk_snprintf_float(char *buffer, size_t size, const char *format, double value);
/* Screen position of the 14-pixel range mark at a zoom: 1, or -1 when a
 * coordinate is negative (stored all the same) or was no number or beyond
 * any screen before the conversion (the nearer VESK_COORD_LIMIT is stored,
 * so the mark can be hidden instead of placed at a wrapped position). */
int Set_ZoomRangeMove(int *x, int *y, int range_x, int range_y, int cursor_x, int cursor_y, float zoom);
/* Screen position of the 14-pixel ballistic point: 1, or -1 as above. */
int Set_ZoomBallisticMove(int *x, int *y, int cursor_x, int cursor_y, float zoom, float ballistic_x, float ballistic_y,
                          float offset_x, float offset_y);
/* Position of the point in the picture-in-picture inset: 1, or -1 when a
 * coordinate was no number or beyond any screen. */
int Set_Zoom_Pip_BallisticMove(int *x, int *y, float ballistic_x, float ballistic_y, float zoom);
/* One decimal: (float)(uint16)((value + 0.05) * 10) / 10. */
float Keep_decimal_place(float value);
/* "<folder>/Reticle<type+1>_<zoom>x_<colour>.png" in a static buffer. */
const char *getReticleImgName(const char *folder);
