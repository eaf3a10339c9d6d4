// Between the board module's command side and its two sampling threads.
#pragma once

#include "boardcast.h"

/* 0, or -1 when the thread could not be started. */
int vesk_zoom_start(event_handle *main_bus);
int vesk_usb_start(event_handle *main_bus);
/* Stops and joins both. */
void vesk_zoom_usb_stop(void);
