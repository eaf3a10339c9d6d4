// The dynamic ballistic coefficient switch, device half: the GUI asks for
// it, turns it on or off, and learns whether the installed calculator has
// the extended entry that takes it.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define VESK_DYNAMIC_BC_ITEM 0x2B
#define VESK_DYNAMIC_BC_REQUEST_SIZE 10
#define VESK_DYNAMIC_BC_REPLY_SIZE 11
#define VESK_DYNAMIC_BC_QUERY 255

/* 0 when the frame is not a dynamic-coefficient frame (the router goes on
 * with it), 1 when it was consumed, answered or dropped. */
int vesk_dynamic_bc_handle_ui(const uint8_t *frame, size_t size);
/* The reply with the current value and support, unasked (GUI ready). */
void vesk_dynamic_bc_publish(void);
void vesk_dynamic_bc_send(int value, int unsupported);
/* Fills out with the 11-byte reply; returns its size. */
size_t vesk_dynamic_bc_build_reply(uint8_t *out, int value, int unsupported);
