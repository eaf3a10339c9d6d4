/* Dialogs: windows placed by their own geometry above the window under them.
 * dialog_modal runs a nested main loop until the dialog quits or closes. */
#pragma once

#include "base/window_manager.h"

BEGIN_C_DECLS

typedef enum _dialog_quit_code_t {
  DIALOG_QUIT_NONE = 0,
  DIALOG_QUIT_OK = 1,
  DIALOG_QUIT_YES = 1,
  DIALOG_QUIT_CANCEL = 2,
  DIALOG_QUIT_NO = 2,
  DIALOG_QUIT_OTHER
} dialog_quit_code_t;

widget_t* dialog_create(widget_t* parent, xy_t x, xy_t y, wh_t w, wh_t h);
widget_t* dialog_cast(widget_t* widget);
widget_t* dialog_open(const char* name);
/* Returns the code given to dialog_quit (DIALOG_QUIT_NONE when the dialog
 * was closed otherwise or the main loop quit). */
dialog_quit_code_t dialog_modal(widget_t* widget);
/* Ends the modal loop with code and closes the dialog. */
ret_t dialog_quit(widget_t* widget, uint32_t code);
bool_t dialog_is_modal(widget_t* widget);
bool_t dialog_is_quited(widget_t* widget);
const widget_vtable_t* dialog_get_widget_vtable(void);
widget_t* dialog_title_create(widget_t* parent, xy_t x, xy_t y, wh_t w, wh_t h);
widget_t* dialog_client_create(widget_t* parent, xy_t x, xy_t y, wh_t w, wh_t h);

END_C_DECLS
