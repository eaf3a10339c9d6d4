#include "vesk_lifecycle.h"

#include <errno.h>
#include <pthread.h>
#include <stdint.h>
#include <string.h>
#include <sys/prctl.h>
#include <time.h>

#include "vesk_log.h"
#include "vesk_signal.h"

/* Why a power-state change is requested; 8 is the end of the process. */
enum { LIFECYCLE_REASON_PROCESS_EXIT = 8 };

#define LIFECYCLE_POLL_MS 200

typedef struct {
    int reason;
    uint64_t admitted_ms;
} lifecycle_request;

/* One voluntary request at a time; the thread also turns a consumed exit
 * signal into such a request. */
static struct {
    pthread_mutex_t mtx;
    pthread_cond_t cond;
    int owner;
    int has_pending;
    lifecycle_request pending;
    int stop;
} mailbox = {PTHREAD_MUTEX_INITIALIZER, PTHREAD_COND_INITIALIZER, 0, 0, {0, 0}, 0};

static pthread_t coordinator;
static int running;
static int boot_rc;

static uint64_t now_ms(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000u + (uint64_t)ts.tv_nsec / 1000000u;
}

static void deadline_in(struct timespec *ts, int ms)
{
    clock_gettime(CLOCK_MONOTONIC, ts);
    ts->tv_nsec += (long)ms * 1000000L;
    ts->tv_sec += ts->tv_nsec / 1000000000L;
    ts->tv_nsec %= 1000000000L;
}

static void run_request(const lifecycle_request *req)
{
    vesk_log_printf(VESK_LOG_DETAIL, "lifecycle", "request admitted reason=%d", req->reason);
    if (req->reason == LIFECYCLE_REASON_PROCESS_EXIT) __atomic_store_n(&quit, 1, __ATOMIC_SEQ_CST);
}

static void *vesk_lifecycle_coordinator_main(void *arg)
{
    (void)arg;
    prctl(PR_SET_NAME, "vesk_lifecycle", 0, 0, 0);
    for (;;) {
        lifecycle_request req;
        pthread_mutex_lock(&mailbox.mtx);
        while (!mailbox.has_pending && !mailbox.stop) {
            struct timespec deadline;
            deadline_in(&deadline, LIFECYCLE_POLL_MS);
            pthread_cond_timedwait(&mailbox.cond, &mailbox.mtx, &deadline);
            if (mailbox.has_pending || mailbox.owner || mailbox.stop) continue;
            if (!is_signal_exit() && vesk_signal_consume_exit()) {
                mailbox.pending.reason = LIFECYCLE_REASON_PROCESS_EXIT;
                mailbox.pending.admitted_ms = now_ms();
                mailbox.has_pending = 1;
                mailbox.owner = 1;
            }
        }
        if (!mailbox.has_pending) { /* stop flag, nothing taken */
            pthread_mutex_unlock(&mailbox.mtx);
            return NULL;
        }
        req = mailbox.pending;
        mailbox.has_pending = 0;
        pthread_mutex_unlock(&mailbox.mtx);

        run_request(&req);

        pthread_mutex_lock(&mailbox.mtx);
        mailbox.owner = 0;
        pthread_mutex_unlock(&mailbox.mtx);
    }
}

int vesk_lifecycle_start(void)
{
    if (running) return 0;
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    int rc = pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    if (rc == 0) {
        pthread_cond_destroy(&mailbox.cond);
        rc = pthread_cond_init(&mailbox.cond, &attr);
    }
    pthread_condattr_destroy(&attr);
    if (rc != 0) {
        vesk_log_printf(VESK_LOG_ERROR, "lifecycle", "vesk_lifecycle_start: monotonic condvar failed: %d", rc);
        return -rc;
    }
    mailbox.stop = 0;
    rc = pthread_create(&coordinator, NULL, vesk_lifecycle_coordinator_main, NULL);
    if (rc != 0) {
        vesk_log_printf(VESK_LOG_ERROR, "lifecycle", "vesk_lifecycle_start: pthread_create failed: %d", rc);
        return -rc;
    }
    running = 1;
    return 0;
}

void vesk_lifecycle_stop(void)
{
    if (!running) return;
    pthread_mutex_lock(&mailbox.mtx);
    mailbox.stop = 1;
    pthread_cond_signal(&mailbox.cond);
    pthread_mutex_unlock(&mailbox.mtx);
    pthread_join(coordinator, NULL);
    running = 0;
}

void vesk_lifecycle_note_boot(int rc)
{
    boot_rc = rc;
}
