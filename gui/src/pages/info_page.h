// "Info_menu", the scope's identity. Its init function Info_menu_init is
// in pages.h.
#pragma once

#include "awtk.h"

/* Puts the value label 10 pixels right of the name label's text. */
ret_t layout_info_row_pair(widget_t *win, const char *name_label, const char *value_label);
/* Lays out the five rows. */
void info_menu_update_all_labels(widget_t *win);
