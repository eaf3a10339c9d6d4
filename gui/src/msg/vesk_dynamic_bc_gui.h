// The GUI half of the dynamic ballistic coefficient: what sightd last
// reported and the request sender.
#pragma once

#include <stdint.h>

/* Basic item 43 with the value. */
int vesk_dynamic_bc_gui_request(int value);
/* 0 when the 11-byte reply was accepted, -1 otherwise. */
int vesk_dynamic_bc_gui_on_reply(const uint8_t *frame, int length);
/* -1 until a reply was accepted, then the last value. */
int vesk_dynamic_bc_gui_value(void);
/* 1 once a reply said the option is available. */
int vesk_dynamic_bc_gui_supported(void);
