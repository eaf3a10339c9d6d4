#include "ballistic_request.h"

#include <errno.h>
#include <pthread.h>

#include "qel_dev_status.h"
#include "vesk_clock.h"
#include "vesk_persist.h"

volatile int vesk_lrf_ballistics_from_lrf;

/* A request count rather than a bare signal, so that a request made while
 * the thread was solving is not lost: the thread sleeps only while the
 * count it last saw is still current. */
static pthread_mutex_t s_lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t s_wake;
static pthread_once_t s_once = PTHREAD_ONCE_INIT;
static unsigned long s_requests;
static unsigned long s_seen;

/* The wait runs on the monotonic clock, so that setting the date (the PC
 * link and the phone may) neither stretches nor cuts it. */
static void init_wake(void) { vesk_cond_init_monotonic(&s_wake); }

static void wake_thread(void)
{
    pthread_once(&s_once, init_wake);
    pthread_mutex_lock(&s_lock);
    s_requests++;
    pthread_cond_signal(&s_wake);
    pthread_mutex_unlock(&s_lock);
}

void vesk_ballistics_request(vesk_ballistics_cause cause)
{
    if (cause == VESK_BALLISTICS_RECALC) {
        qel_dev_status.ballistics_refresh = 1;
        wake_thread();
        return;
    }
    /* The rangefinder's flag and the refresh go up together under the
     * profiles lock, against a switch turned off between them. */
    vesk_profiles_lock();
    const int on = qel_ballistics.ballistics[0].ballistics_sw != 0;
    if (on) {
        if (cause == VESK_BALLISTICS_NEW_DISTANCE) vesk_lrf_ballistics_from_lrf = 1;
        qel_dev_status.ballistics_refresh = 1;
    }
    vesk_profiles_unlock();
    if (on) wake_thread();
}

void vesk_ballistics_wait_request(int ms)
{
    pthread_once(&s_once, init_wake);
    struct timespec deadline;
    vesk_deadline_in(&deadline, ms > 0 ? (uint64_t)ms : 0);
    pthread_mutex_lock(&s_lock);
    int rc = 0;
    while (s_seen == s_requests && rc != ETIMEDOUT) rc = pthread_cond_timedwait(&s_wake, &s_lock, &deadline);
    s_seen = s_requests;
    pthread_mutex_unlock(&s_lock);
}
