// sightd's half of the debug switch: the GUI sets or queries it with one
// frame (object 0, sub 0, item 0x29) and the choice is stored in the
// settings as "vesk_debug".
#pragma once

#include <stddef.h>
#include <stdint.h>

#define VESK_DEBUG_ITEM 0x29
#define VESK_DEBUG_QUERY 255

/* Switches debug mode and the ballistic calculator's own log together.
 * on must be 0 or 1. Returns the result of vesk_debug_set. */
int vesk_debug_app_apply(int on);
/* 1 when the frame is a debug request (consumed, acted on only when sound),
 * 0 when it is some other object-0 frame. */
int vesk_debug_app_handle_ui(const uint8_t *frame, size_t size);
/* Sends the current state to the GUI. */
void vesk_debug_app_publish(void);
/* The reply frame AA 07 00 00 29 80 s CHK EB AA; returns its size (10). */
size_t vesk_debug_app_reply(uint8_t out[10], int on);
