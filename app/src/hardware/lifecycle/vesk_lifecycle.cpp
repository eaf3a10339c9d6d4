#include "vesk_lifecycle.h"

#include <errno.h>
#include <pthread.h>
#include <stdint.h>
#include <string.h>
#include <sys/prctl.h>
#include <time.h>

#include "vesk_clock.h"
#include "vesk_frame.h"
#include "vesk_log.h"
#include "vesk_msg.h"
#include "vesk_persist.h"
#include "vesk_signal.h"

#define LIFECYCLE_POLL_MS 200

typedef struct {
    vesk_persist_reason reason;
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
} mailbox = {PTHREAD_MUTEX_INITIALIZER, PTHREAD_COND_INITIALIZER, 0, 0, {}, 0};

static pthread_t coordinator;
static int running;
static int boot_rc;

static void lifecycle_send_result(int reason, int outcome);

static void run_request(const lifecycle_request *req)
{
    if (req->reason == VESK_PERSIST_PROCESS_EXIT) __atomic_store_n(&quit, 1, __ATOMIC_SEQ_CST);
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
            vesk_deadline_in(&deadline, LIFECYCLE_POLL_MS);
            pthread_cond_timedwait(&mailbox.cond, &mailbox.mtx, &deadline);
            if (mailbox.has_pending || mailbox.owner || mailbox.stop) continue;
            if (!is_signal_exit() && vesk_signal_consume_exit()) {
                mailbox.pending.reason = VESK_PERSIST_PROCESS_EXIT;
                mailbox.pending.admitted_ms = vesk_mono_ms();
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
    pthread_cond_destroy(&mailbox.cond);
    int rc = vesk_cond_init_monotonic(&mailbox.cond);
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

enum { LIFECYCLE_RESULT_ITEM = 0x2A, LIFECYCLE_RESULT_SIZE = 11 };

size_t vesk_lifecycle_result_frame(uint8_t out[11], int reason, int outcome)
{
    const uint8_t payload[2] = {(uint8_t)reason, (uint8_t)outcome};
    return vesk_frame_build(out, LIFECYCLE_RESULT_SIZE, SUB_NOTIFIER_IMAGE, 0, LIFECYCLE_RESULT_ITEM,
                            VESK_FRAME_FLAG_REPORT, payload, sizeof payload);
}

/* Every result is logged; the end of the process is not the GUI's news. */
static void lifecycle_send_result(int reason, int outcome)
{
    vesk_log_printf(VESK_LOG_ERROR, "lifecycle", "reason=%d outcome=%d", reason, outcome);
    if (reason == VESK_PERSIST_PROCESS_EXIT) return;
    uint8_t frame[LIFECYCLE_RESULT_SIZE];
    size_t n = vesk_lifecycle_result_frame(frame, reason, outcome);
    (void)vesk_msg_send_quiet(VESK_MSG_TO_GUI, frame, (uint32_t)n);
}

int vesk_lifecycle_request_prepublish(const vesk_persist_request *request, void (*prepublish)(void *context),
                                      void *context)
{
    if (request == NULL) return -EINVAL;
    pthread_mutex_lock(&mailbox.mtx);
    const int refused = mailbox.owner || mailbox.has_pending;
    if (!refused) {
        mailbox.owner = 1;
        /* Under the lock: the state is published before the coordinator
         * can act on the request. */
        if (prepublish != NULL) prepublish(context);
        mailbox.pending.reason = request->vesk_reason;
        mailbox.pending.admitted_ms = vesk_mono_ms();
        mailbox.has_pending = 1;
        pthread_cond_signal(&mailbox.cond);
    }
    pthread_mutex_unlock(&mailbox.mtx);
    if (refused) {
        lifecycle_send_result((int)request->vesk_reason, VESK_LIFECYCLE_CANCELLED_SAVE);
        return -EBUSY;
    }
    vesk_log_printf(VESK_LOG_DETAIL, "lifecycle", "request admitted reason=%d", (int)request->vesk_reason);
    return 0;
}

int vesk_lifecycle_request(const vesk_persist_request *request)
{
    return vesk_lifecycle_request_prepublish(request, NULL, NULL);
}

int vesk_lifecycle_publish_boot_state(void)
{
    vesk_persist_status status;
    memset(&status, 0, sizeof status);
    (void)vesk_persist_get_status(&status);
    if (status.vesk_phase == VESK_PERSIST_RECOVERY_REQUIRED) {
        lifecycle_send_result((int)status.vesk_token.vesk_reason, VESK_LIFECYCLE_RECOVERY_REQUIRED);
        return boot_rc == 0;
    }
    if (boot_rc != 0) {
        lifecycle_send_result(VESK_LIFECYCLE_REASON_BOOT, VESK_LIFECYCLE_RECOVERY_REQUIRED);
        return 0;
    }
    if (status.vesk_profiles_recovered)
        lifecycle_send_result(VESK_LIFECYCLE_REASON_BOOT, VESK_LIFECYCLE_PROFILES_RESTORED);
    return 1;
}
