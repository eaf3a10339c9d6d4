// The USB controller's registers in the file behind /dev/mem: the status
// word (supply bits 0xC0000) and the charger line's word at offset 2056.
#pragma once

#include <stdint.h>

struct sim_sandbox;

#define SIM_USB_STATUS_OFFSET 0
#define SIM_USB_LINE_OFFSET 2056
#define SIM_USB_SUPPLY 0x40000u /* a host or charger on VBUS */

/* Plugged or not; a plugged line reads steady. 0 or a negative errno. */
int sim_usb_set(sim_sandbox *sb, bool plugged);
