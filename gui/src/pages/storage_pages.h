// Pages around the scope's irreversible and terminal actions: formatting
// the Media partition, the factory reset, the automatic power-off on a flat
// battery or low temperature, standby and the ballistic tip. Format and
// reset are carried out by sightd's lifecycle coordinator: these pages stop
// recording, ask for a save of everything, send the request and wait for
// the lifecycle report. Their init functions are in pages.h.
#pragma once

#include <stdint.h>

#include "awtk.h"

/* Chosen buttons: 1 Format or OK, 0 Cancel (chosen when a page opens). */
extern uint8_t emory_index;
extern uint8_t QZ_format_index;
extern uint8_t QZ_reset_index;
/* The pending one-shot request timers (0: none). */
extern uint32_t vesk_format_timer_id;
extern uint32_t vesk_reset_timer_id;

/* The Media partition's use: used and total in GiB ("%.1f" and then unit)
 * in the two labels, and the share used on "progress_bar". */
void storage_show_usage(widget_t *win, const char *used_label, const char *total_label, const char *unit);
