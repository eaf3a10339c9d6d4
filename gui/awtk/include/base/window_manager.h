/* The window manager: the stack of open windows (its children, bottom to
 * top), key routing to the top window, and painting.
 *
 * Opening puts a window on top at once; EVT_WINDOW_TO_BACKGROUND (to the
 * window below), EVT_WINDOW_WILL_OPEN and EVT_WINDOW_OPEN follow on the
 * loop's next turn, after the opener's handler (a page's init) has returned.
 * Closing takes a window off the stack at once and sends EVT_WINDOW_CLOSE,
 * then EVT_WINDOW_TO_FOREGROUND to a newly revealed top window; the closed
 * window is freed later in the loop, so a handler may close its own window.
 * Handlers registered on window_manager() receive events dispatched on it
 * (the GUI's user events), not keys. */
#pragma once

#include "base/widget.h"

BEGIN_C_DECLS

widget_t* window_manager(void);
widget_t* window_manager_get_top_window(widget_t* widget);
widget_t* window_manager_get_top_main_window(widget_t* widget);
widget_t* window_manager_get_prev_window(widget_t* widget);
ret_t window_manager_open_window(widget_t* widget, widget_t* window);
ret_t window_manager_close_window(widget_t* widget, widget_t* window);
ret_t window_manager_close_window_force(widget_t* widget, widget_t* window);
/* Closes the top window (a modal dialog quits with DIALOG_QUIT_NONE). */
ret_t window_manager_back(widget_t* widget);
/* Closes every window above the topmost window named target;
 * RET_NOT_FOUND (nothing closed) when no open window has that name. */
ret_t window_manager_back_to(widget_t* widget, const char* target);
/* Closes every window above the bottom-most normal window. */
ret_t window_manager_back_to_home(widget_t* widget);
/* Raises target_win (which must be open) to the top; closes curr_win when
 * close is TRUE. Fails when a running modal dialog other than a closing
 * curr_win lies above target_win. */
ret_t window_manager_switch_to(widget_t* widget, widget_t* curr_win, widget_t* target_win, bool_t close);
ret_t window_manager_close_all(widget_t* widget);
/* Cursor image (from the image manager) drawn at the pointer in a desktop
 * window; headless runs have no pointer. */
ret_t window_manager_set_cursor(widget_t* widget, const char* cursor);
ret_t window_manager_paint(widget_t* widget);
ret_t window_manager_dispatch_input_event(widget_t* widget, event_t* e);

END_C_DECLS
