// The monotonic clock and deadlines.
#include "vesk_clock.h"

#define NS_PER_MS 1000000ull
#define NS_PER_S 1000000000ull

uint64_t vesk_mono_ms(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (uint64_t)now.tv_sec * 1000u + (uint64_t)now.tv_nsec / NS_PER_MS;
}

void vesk_deadline_at(struct timespec *deadline, uint64_t at_ms)
{
    deadline->tv_sec = (time_t)(at_ms / 1000u);
    deadline->tv_nsec = (long)((at_ms % 1000u) * NS_PER_MS);
}

void vesk_deadline_in(struct timespec *deadline, uint64_t ms)
{
    clock_gettime(CLOCK_MONOTONIC, deadline);
    uint64_t ns = (uint64_t)deadline->tv_nsec + (ms % 1000u) * NS_PER_MS;
    deadline->tv_sec += (time_t)(ms / 1000u + ns / NS_PER_S);
    deadline->tv_nsec = (long)(ns % NS_PER_S);
}

int vesk_cond_init_monotonic(pthread_cond_t *cond)
{
    pthread_condattr_t attr;
    int rc = pthread_condattr_init(&attr);
    if (rc != 0) return rc;
    rc = pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    if (rc == 0) rc = pthread_cond_init(cond, &attr);
    pthread_condattr_destroy(&attr);
    return rc;
}
