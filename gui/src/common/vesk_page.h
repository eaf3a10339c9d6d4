// What every page shares: subscriptions to the GUI's user events that end
// with the window, the common key reactions, and a plain page that knows
// only those reactions.
#pragma once

#include "awtk.h"

/* Subscribes handler (context: the window) to user events N of events on
 * the window manager. */
ret_t vesk_page_subscribe(widget_t *win, const int *events, uint32_t count, event_func_t handler);
/* Ends every window-manager subscription whose context is the window. */
ret_t vesk_page_unsubscribe(widget_t *win);
/* Binds the close handler that ends the window's subscriptions first and
 * then runs on_close (may be NULL). */
ret_t vesk_page_bind_close(widget_t *win, event_func_t on_close);
/* '1': every window above the home page closes. */
ret_t vesk_page_go_home(void);
/* Binds handler (context: the window) to the key-down events of the window
 * and of every widget in it that has a name. A key reaches only the window
 * and its focus chain, so the handler runs once per key; it returns
 * RET_STOP so that it does. */
ret_t vesk_page_bind_named_keys(widget_t *win, event_func_t handler);
/* Binds the common reactions: '.' back, '1' home. */
ret_t vesk_page_bind_plain_keys(widget_t *win);

/* The face for a text a page styles itself: the Latin face has no Chinese
 * glyphs, so Chinese takes the default face. */
const char *vesk_page_text_font(void);

/* The named widget of a window, anywhere below it; NULL for none. The
 * setters below do nothing for a missing widget. */
widget_t *vesk_page_widget(widget_t *win, const char *name);
void vesk_page_set_style(widget_t *win, const char *name, const char *style);
void vesk_page_set_text(widget_t *win, const char *name, const char *text);
void vesk_page_set_visible(widget_t *win, const char *name, bool_t visible);
void vesk_page_set_image(widget_t *win, const char *name, const char *image);
void vesk_page_set_state(widget_t *win, const char *name, const char *state);
void vesk_page_move_resize(widget_t *win, const char *name, int x, int y, int w, int h);
