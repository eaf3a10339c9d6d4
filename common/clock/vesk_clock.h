// The monotonic clock every timeout and deadline of the programs, the
// simulator and the tests is measured on, and the absolute deadlines the
// timed waits take. Wall-clock changes (the date page, the PC link) never
// move it.
#pragma once

#include <pthread.h>
#include <stdint.h>
#include <time.h>

#ifdef __cplusplus
extern "C" {
#endif

/* CLOCK_MONOTONIC in milliseconds. */
uint64_t vesk_mono_ms(void);

/* The absolute CLOCK_MONOTONIC time ms milliseconds from now. */
void vesk_deadline_in(struct timespec *deadline, uint64_t ms);
/* The absolute CLOCK_MONOTONIC time at_ms (a vesk_mono_ms value). */
void vesk_deadline_at(struct timespec *deadline, uint64_t at_ms);

/* Initialises cond to time its waits on CLOCK_MONOTONIC, the clock of the
 * deadlines above. 0 or an errno value. */
int vesk_cond_init_monotonic(pthread_cond_t *cond);

#ifdef __cplusplus
}
#endif
