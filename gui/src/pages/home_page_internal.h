// Shared by the home page's two sources: what it shows (home_page.cpp) and
// what its keys do (home_page_keys.cpp).
#pragma once

#include "awtk.h"

#define HOME_RECORD_TICK_MS 200
#define HOME_LOG_TAG "home"
/* s8VideoMode of picture in picture. */
#define HOME_VIDEO_PIP 3

/* The named widget of the home window, or NULL when the resource has none;
 * the setters do nothing for a missing widget. */
widget_t *home_widget(widget_t *win, const char *name);
void home_set_visible(widget_t *win, const char *name, bool_t visible);
void home_set_text(widget_t *win, const char *name, const char *text);
void home_set_image(widget_t *win, const char *name, const char *image);

/* Less than 200 MiB free on the Media partition. */
int home_storage_full(void);
/* Ends a running recording: clock, read-out, request and state. */
void home_record_stop(widget_t *win);
/* The 200 ms recording clock, started by the record key. */
ret_t home_record_clock(const timer_info_t *timer);

void home_redraw_compass_visibility(widget_t *win);
void home_redraw_temp_switch(widget_t *win);
void home_range_reset(widget_t *win);

/* The key handler of the home window. */
ret_t home_on_key(void *ctx, event_t *e);
