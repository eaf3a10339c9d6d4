// How the messaging runtime gets a page opened. A report that calls for a
// page (the shutdown countdown, the low-temperature power-off, the update
// page) asks through these calls; the application installs the navigator
// in them at start-up, so msg/ depends on no page and on no navigator.
#pragma once

#include "awtk.h"

typedef struct {
    ret_t (*open)(const char *name);
    /* Raises an open window of that name, closing the current top one when
     * close_current; opens it when none is open. */
    ret_t (*switch_to)(const char *name, bool_t close_current);
} ui_page_calls;

/* Copies the table; NULL uninstalls it. */
void ui_set_page_calls(const ui_page_calls *calls);

/* RET_NOT_IMPL while nothing is installed: no page opens. */
ret_t ui_open_page(const char *name);
ret_t ui_switch_to_page(const char *name, bool_t close_current);
