// "QZ_updata", the firmware update from the Media partition as the shooter
// goes through it: one full-screen picture per step on the image widget
// "image_updata". The page checks battery and storage, follows the update
// states the device reports, asks for confirmation and ends with a reboot
// request or the shutdown countdown. It is opened by the first update start
// notice of the device; its init function is in pages.h.
#pragma once

#include <stdint.h>

#include "awtk.h"

/* The current step, which is also the number of the picture shown. */
extern int16_t QZ_updata_index;
/* The 3000 ms reboot timer, 0 when none runs. */
extern uint32_t vesk_reboot_timer_id;
/* The label that says recovery is required, NULL until it is created. */
extern widget_t *vesk_update_error_label;

/* Handler of user event 57 (every update frame of the device); context: the
 * window. */
ret_t QZ_updata_index_switch(void *ctx, event_t *e);
/* Starts the reboot timer unless it runs; when it fires, the device is
 * asked to reboot. */
void vesk_arm_reboot_timer(widget_t *win);
