// Deadlines keep their nanoseconds below a second whatever the carry, and a
// condition variable on the monotonic clock times out at the deadline the
// helpers computed, not at a wall-clock time.
#include "vesk_clock.h"

#include <errno.h>
#include <gtest/gtest.h>

namespace {

TEST(Clock, AbsoluteDeadlinesSplitIntoSecondsAndNanoseconds)
{
    const struct {
        uint64_t at_ms;
        time_t sec;
        long nsec;
    } rows[] = {
        {0, 0, 0},
        {999, 0, 999000000L},
        {1000, 1, 0},
        {86400123, 86400, 123000000L},
        {UINT64_C(1) << 40, (time_t)((UINT64_C(1) << 40) / 1000), (long)(((UINT64_C(1) << 40) % 1000) * 1000000)},
    };
    for (const auto &r : rows) {
        struct timespec ts;
        vesk_deadline_at(&ts, r.at_ms);
        EXPECT_EQ(ts.tv_sec, r.sec) << r.at_ms;
        EXPECT_EQ(ts.tv_nsec, r.nsec) << r.at_ms;
    }
}

TEST(Clock, RelativeDeadlinesCarryIntoTheSeconds)
{
    for (uint64_t ms : {0ull, 1ull, 999ull, 1000ull, 1999ull, 61001ull}) {
        struct timespec before, deadline, after;
        clock_gettime(CLOCK_MONOTONIC, &before);
        vesk_deadline_in(&deadline, ms);
        clock_gettime(CLOCK_MONOTONIC, &after);
        EXPECT_GE(deadline.tv_nsec, 0) << ms;
        EXPECT_LT(deadline.tv_nsec, 1000000000L) << ms;
        const long double lo = before.tv_sec + before.tv_nsec / 1e9L + ms / 1e3L;
        const long double hi = after.tv_sec + after.tv_nsec / 1e9L + ms / 1e3L;
        const long double got = deadline.tv_sec + deadline.tv_nsec / 1e9L;
        EXPECT_GE(got, lo - 1e-9L) << ms;
        EXPECT_LE(got, hi + 1e-9L) << ms;
    }
}

TEST(Clock, MonotonicWaitEndsAtTheDeadline)
{
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t cond;
    ASSERT_EQ(vesk_cond_init_monotonic(&cond), 0);
    const uint64_t start = vesk_mono_ms();
    struct timespec deadline;
    vesk_deadline_at(&deadline, start + 20);
    pthread_mutex_lock(&lock);
    int rc = 0;
    while (rc == 0) rc = pthread_cond_timedwait(&cond, &lock, &deadline);
    pthread_mutex_unlock(&lock);
    EXPECT_EQ(rc, ETIMEDOUT);
    EXPECT_GE(vesk_mono_ms(), start + 20);
    pthread_cond_destroy(&cond);
}

} // namespace
