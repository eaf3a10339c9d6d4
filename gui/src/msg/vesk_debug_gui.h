// The GUI half of the debug switch: the logging library in its GUI role,
// the toolkit's log level that follows the switch, and the request sender.
#pragma once

#include "awtk.h"
#include "vesk_log.h"

/* Starts the logger in the GUI role (config may be NULL); on success the
 * toolkit's errors go into the log. 0 or a negative errno. */
int vesk_debug_gui_init(const vesk_log_config *config);
void vesk_debug_gui_awtk_log_hook(void *ctx, log_level_t level, const char *format, va_list ap);
/* Switches debug mode; the toolkit then logs everything, or errors only. */
int vesk_debug_gui_apply(int enabled);
/* Basic item 41: 0 off, 1 on, 255 query. */
int vesk_debug_gui_request(int value);
