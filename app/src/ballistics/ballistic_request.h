// The one hand-off to the ballistic thread: every module that changes what
// the hold-over depends on asks here, and the thread wakes at once instead
// of finding the flag at its next poll.
#pragma once

/* Set with ballistics_refresh when the rangefinder stored distance_now: the
 * thread then solves for that distance instead of the profile's. */
extern volatile int vesk_lrf_ballistics_from_lrf;

typedef enum {
    /* A ballistic setting, the current profile or the coefficient changed. */
    VESK_BALLISTICS_RECALC,
    /* As RECALC, but only while profile 0's switch is on, read under the
     * profiles lock (the caller must not hold it). */
    VESK_BALLISTICS_RECALC_IF_ON,
    /* The rangefinder stored a new distance_now: as RECALC_IF_ON, and the
     * thread takes that distance. */
    VESK_BALLISTICS_NEW_DISTANCE,
} vesk_ballistics_cause;

/* Raises ballistics_refresh (with the rangefinder's flag for a new
 * distance) and wakes the ballistic thread; from any thread. */
void vesk_ballistics_request(vesk_ballistics_cause cause);

/* The ballistic thread's wait: returns once a request came after the
 * previous call returned, or after at most ms. */
void vesk_ballistics_wait_request(int ms);
