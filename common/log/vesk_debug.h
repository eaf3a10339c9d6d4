// The process-wide debug switch. Its value is the debug epoch: 0 is off,
// any other value names the current debug period, so that records of an
// earlier period can be recognised and discarded.
#pragma once

#include <stdint.h>

int vesk_debug_init(void);
/* on must be 0 or 1: -EINVAL otherwise, -ENODEV before vesk_debug_init. */
int vesk_debug_set(int on);
uint64_t vesk_debug_epoch(void);
int vesk_debug_enabled(void);
uint64_t vesk_debug_first_epoch(void);
