#include "vesk_lifecycle.h"

#include <errno.h>
#include <pthread.h>
#include <stdint.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/reboot.h>
#include <time.h>
#include <unistd.h>

#include "vesk_clock.h"
#include "vesk_fault.h"
#include "vesk_frame.h"
#include "vesk_lifecycle_internal.h"
#include "vesk_log.h"
#include "vesk_msg.h"
#include "vesk_persist.h"
#include "vesk_signal.h"

#define TAG VESK_LIFECYCLE_TAG

enum {
    IDLE_WAIT_MS = 200,              /* the exit-signal poll */
    TICK_MS = 20,                    /* every status poll */
    SAFETY_WINDOW_MS = 2000,         /* a safety request powers off this soon */
    PREPARE_WINDOW_MS = 2000,        /* persistence's own prepare deadline */
    PREPARE_STATUS_MARGIN_MS = 1000, /* beyond it the status loop gives up */
    MEDIA_PAUSE_WINDOW_MS = 2000,
    FORCED_WINDOW_MS = 5000,
    FLUSH_WINDOW_MS = 250,
    FINAL_SYNC_WINDOW_MS = 10000,
    UPDATE_NOTICE_MS = 200,
    HTTP_RESULT_UPDATING = 10,
    MEDIA_MODE_POWER_OFF = 1,
    MEDIA_MODE_OTHER = 2,
};

typedef struct {
    vesk_persist_request request;
    uint64_t admitted_ms;
} vesk_lifecycle_admitted;

/* One voluntary request at a time and one safety request waiting. */
static struct {
    pthread_mutex_t mtx;
    pthread_cond_t cond;
    int owner;
    int has_pending;
    vesk_lifecycle_admitted pending;
    int has_safety;
    vesk_lifecycle_admitted safety;
    int stop;
} mailbox = {PTHREAD_MUTEX_INITIALIZER, PTHREAD_COND_INITIALIZER, 0, 0, {}, 0, {}, 0};

/* sync() runs on its own thread so that a slow card never holds the
 * coordinator past a deadline; tickets say which call covered a request. */
static struct {
    pthread_mutex_t mtx;
    pthread_cond_t cond;
    int started;
    uint64_t requested;
    uint64_t running;
    uint64_t completed;
} syncer = {PTHREAD_MUTEX_INITIALIZER, PTHREAD_COND_INITIALIZER, 0, 0, 0, 0};

/* End of the forced power-off window; read and written by the coordinator
 * thread only. */
static uint64_t forced_until_ms;
static pthread_t coordinator;
static int running;
static int boot_rc;
static vesk_lifecycle_calls calls;

void vesk_lifecycle_set_calls(const vesk_lifecycle_calls *table)
{
    if (table != NULL)
        calls = *table;
    else
        memset(&calls, 0, sizeof calls);
}

const vesk_lifecycle_calls *vesk_lifecycle_calls_get(void) { return &calls; }

/* ---- frames ------------------------------------------------------------ */

enum { LIFECYCLE_RESULT_ITEM = 0x2A, LIFECYCLE_RESULT_SIZE = 11, MEDIA_SHUTDOWN_ITEM = 0x0D, MEDIA_FRAME_SIZE = 10 };

size_t vesk_lifecycle_result_frame(uint8_t out[11], int reason, int outcome)
{
    const uint8_t payload[2] = {(uint8_t)reason, (uint8_t)outcome};
    return vesk_frame_build(out, LIFECYCLE_RESULT_SIZE, SUB_NOTIFIER_IMAGE, 0, LIFECYCLE_RESULT_ITEM,
                            VESK_FRAME_FLAG_REPORT, payload, sizeof payload);
}

size_t vesk_lifecycle_media_frame(uint8_t out[10], int mode)
{
    const uint8_t payload = (uint8_t)mode;
    return vesk_frame_build(out, MEDIA_FRAME_SIZE, SUB_NOTIFIER_IMAGE, 0, MEDIA_SHUTDOWN_ITEM, VESK_FRAME_FLAG_REQUEST,
                            &payload, 1);
}

/* Every result is logged; the end of the process is not the GUI's news.
 * Restored profiles are no fault of the lifecycle: the store logs, as an
 * error, why it restored them, and the boot state is sent again when the
 * GUI says it is ready, so at error level a first boot would log it twice. */
static void send_result(int reason, int outcome)
{
    vesk_log_printf(outcome == VESK_LIFECYCLE_PROFILES_RESTORED ? VESK_LOG_DETAIL : VESK_LOG_ERROR, TAG,
                    "reason=%d outcome=%d", reason, outcome);
    if (reason == VESK_PERSIST_PROCESS_EXIT) return;
    uint8_t frame[LIFECYCLE_RESULT_SIZE];
    size_t n = vesk_lifecycle_result_frame(frame, reason, outcome);
    (void)vesk_msg_send_quiet(VESK_MSG_TO_GUI, frame, (uint32_t)n);
}

static void tell_media(int mode)
{
    uint8_t frame[MEDIA_FRAME_SIZE];
    size_t n = vesk_lifecycle_media_frame(frame, mode);
    (void)vesk_msg_send_quiet(VESK_MSG_TO_MEDIA, frame, (uint32_t)n);
}

static void note_update(const vesk_persist_request *req, vesk_update_result result, int rc)
{
    if (req->vesk_reason != VESK_PERSIST_UPDATE || calls.vesk_update_note_result == NULL) return;
    calls.vesk_update_note_result(result, rc);
}

/* ---- board calls ------------------------------------------------------- */

static int power_off(void)
{
    if (calls.vesk_power_off != NULL) return calls.vesk_power_off();
    return reboot(RB_POWER_OFF) == 0 ? 0 : -errno;
}

static int reboot_now(void)
{
    if (calls.vesk_reboot != NULL) return calls.vesk_reboot();
    return reboot(RB_AUTOBOOT) == 0 ? 0 : -errno;
}

static void cancel_factory_state(int reason)
{
    if (calls.vesk_cancel_factory_state != NULL) calls.vesk_cancel_factory_state(reason);
}

/* ---- waiting ----------------------------------------------------------- */

/* Sleeps ms, resuming after a signal for the time that is left. */
static void sleep_ms(uint64_t ms)
{
    struct timespec left = {(time_t)(ms / 1000), (long)(ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {}
}

/* Until the deadline, but at most one tick. */
static void tick(uint64_t deadline)
{
    uint64_t now = vesk_mono_ms();
    if (now >= deadline) return;
    sleep_ms(deadline - now < (uint64_t)TICK_MS ? deadline - now : (uint64_t)TICK_MS);
}

/* Moves a waiting safety request into out; 1 when there was one. */
static int take_safety(vesk_lifecycle_admitted *out)
{
    pthread_mutex_lock(&mailbox.mtx);
    int taken = mailbox.has_safety;
    if (taken) {
        *out = mailbox.safety;
        mailbox.has_safety = 0;
    }
    pthread_mutex_unlock(&mailbox.mtx);
    return taken;
}

typedef int (*done_fn)(uint64_t ticket);

/* -1 pre-empted (the safety request is in preempt), 1 done, 0 deadline. */
static int wait_until(done_fn done, uint64_t ticket, uint64_t deadline, vesk_lifecycle_admitted *preempt)
{
    for (;;) {
        if (preempt != NULL && take_safety(preempt)) return -1;
        if (done(ticket)) return 1;
        if (vesk_mono_ms() >= deadline) return 0;
        tick(deadline);
    }
}

static int log_barrier_done(uint64_t ticket) { return vesk_log_poll(ticket) != 0; }

/* Everything logged so far made durable, or the deadline. */
static int flush_log(uint64_t deadline, vesk_lifecycle_admitted *preempt)
{
    uint64_t ticket = 0;
    if (vesk_log_request(VESK_LOG_FLUSH, deadline, &ticket) != 0)
        return preempt != NULL && take_safety(preempt) ? -1 : 0;
    return wait_until(log_barrier_done, ticket, deadline, preempt);
}

static void *sync_main(void *arg)
{
    (void)arg;
    prctl(PR_SET_NAME, "vesk_sync", 0, 0, 0);
    pthread_mutex_lock(&syncer.mtx);
    for (;;) {
        while (syncer.requested == syncer.running) pthread_cond_wait(&syncer.cond, &syncer.mtx);
        syncer.running = syncer.requested;
        pthread_mutex_unlock(&syncer.mtx);
        sync();
        pthread_mutex_lock(&syncer.mtx);
        syncer.completed = syncer.running;
    }
    return NULL;
}

static uint64_t sync_request(void)
{
    pthread_mutex_lock(&syncer.mtx);
    uint64_t ticket = ++syncer.requested;
    pthread_cond_signal(&syncer.cond);
    pthread_mutex_unlock(&syncer.mtx);
    return ticket;
}

static int sync_done(uint64_t ticket)
{
    pthread_mutex_lock(&syncer.mtx);
    int done = ticket <= syncer.completed;
    pthread_mutex_unlock(&syncer.mtx);
    return done;
}

/* 1 or 0 (the deadline passed first; callers go on as if finished), -1
 * pre-empted. */
static int final_sync(uint64_t deadline, int reason, vesk_lifecycle_admitted *preempt)
{
    int rc = wait_until(sync_done, sync_request(), deadline, preempt);
    if (rc == 0) vesk_log_printf(VESK_LOG_ERROR, TAG, "final sync not finished by the deadline reason=%d", reason);
    return rc;
}

/* ---- the safety sequence ----------------------------------------------- */

/* A safety power-off that did not happen: the scope runs on, so
 * persistence must take edits again (or say that it cannot). */
static void safety_power_off_failed(const vesk_persist_request *req, const vesk_persist_token *token, int prepared)
{
    int reason = (int)req->vesk_reason;
    if (prepared) {
        /* A commit of a power-off writes nothing; it ends at once. */
        uint64_t deadline = vesk_mono_ms() + SAFETY_WINDOW_MS;
        while (vesk_persist_completion(token) == 0 && vesk_mono_ms() < deadline) tick(deadline);
        (void)vesk_persist_resume(token);
    }
    vesk_persist_status status;
    memset(&status, 0, sizeof status);
    (void)vesk_persist_get_status(&status);
    if (status.vesk_phase == VESK_PERSIST_RECOVERY_REQUIRED) {
        send_result((int)status.vesk_token.vesk_reason, VESK_LIFECYCLE_RECOVERY_REQUIRED);
    } else if (status.vesk_phase != VESK_PERSIST_RUNNING && status.vesk_phase != VESK_PERSIST_STOPPED) {
        vesk_log_printf(VESK_LOG_ERROR, TAG, "safety reason=%d: persistence left in phase %d", reason,
                        (int)status.vesk_phase);
        send_result(reason, VESK_LIFECYCLE_RECOVERY_REQUIRED);
    } else {
        send_result(reason, VESK_LIFECYCLE_CANCELLED_SAVE);
    }
}

static void vesk_lifecycle_run_safety(const vesk_persist_request *req, uint64_t deadline)
{
    int reason = (int)req->vesk_reason;
    vesk_log_printf(VESK_LOG_DETAIL, TAG, "safety reason=%d begin", reason);
    tell_media(MEDIA_MODE_POWER_OFF);
    uint64_t ticket = sync_request();

    vesk_persist_token token;
    memset(&token, 0, sizeof token);
    int prepared = 0;
    if (vesk_persist_prepare(req, deadline, &token) == 0) {
        prepared = -1; /* admitted, not yet prepared */
        while (vesk_mono_ms() < deadline) {
            int st = vesk_persist_prepare_status(&token);
            if (st == 1) {
                prepared = 1;
                break;
            }
            if (st < 0) {
                prepared = 0;
                break;
            }
            tick(deadline);
        }
    }
    if (prepared == 1 && vesk_mono_ms() < deadline && vesk_persist_commit(&token) == 0) {
        while (vesk_mono_ms() < deadline && vesk_persist_completion(&token) == 0) tick(deadline);
    }
    if (wait_until(sync_done, ticket, deadline, NULL) != 1)
        vesk_log_printf(VESK_LOG_ERROR, TAG, "final sync not finished by the deadline reason=%d", reason);

    int rc = power_off();
    if (rc != 0) {
        vesk_log_printf(VESK_LOG_ERROR, TAG, "Power_Off syscall failed reason=%d", reason);
        safety_power_off_failed(req, &token, prepared != 0);
    }
}

static void run_safety_from(const vesk_lifecycle_admitted *safety)
{
    vesk_lifecycle_run_safety(&safety->request, safety->admitted_ms + SAFETY_WINDOW_MS);
}

/* ---- the forced power-off, cancel and terminal action ------------------ */

static void vesk_lifecycle_run_forced_poweroff(const vesk_persist_request *req, uint64_t deadline)
{
    int reason = (int)req->vesk_reason;
    vesk_log_printf(VESK_LOG_ERROR, TAG, "second poweroff within %u ms: powering off without saving",
                    (unsigned)FORCED_WINDOW_MS);
    vesk_persist_abandon_pending();
    send_result(reason, VESK_LIFECYCLE_POWERING_OFF_UNSAVED);
    tell_media(MEDIA_MODE_POWER_OFF);
    uint64_t flush_deadline = vesk_mono_ms() + FLUSH_WINDOW_MS;
    (void)flush_log(flush_deadline < deadline ? flush_deadline : deadline, NULL);
    (void)final_sync(deadline, reason, NULL);
    if (power_off() != 0) {
        vesk_log_printf(VESK_LOG_ERROR, TAG, "Power_Off syscall failed (forced)");
        send_result(reason, VESK_LIFECYCLE_CANCELLED_SAVE);
    }
}

static void vesk_lifecycle_cancelled(const vesk_persist_request *req, int code, int prepare_failed)
{
    int reason = (int)req->vesk_reason;
    vesk_persist_status status;
    memset(&status, 0, sizeof status);
    (void)vesk_persist_get_status(&status);
    if (reason == VESK_PERSIST_SHUTDOWN_VOLUNTARY || reason == VESK_PERSIST_REBOOT) {
        /* Another change is already being saved: nothing of this one was
         * tried, so it is plainly refused. */
        if (prepare_failed && code == -EBUSY &&
            (status.vesk_phase == VESK_PERSIST_PREPARING || status.vesk_phase == VESK_PERSIST_COMMITTING)) {
            send_result(reason, VESK_LIFECYCLE_CANCELLED_SAVE);
            return;
        }
        forced_until_ms = vesk_mono_ms() + FORCED_WINDOW_MS;
        vesk_log_printf(VESK_LOG_ERROR, TAG,
                        "reason=%d settings not saved (rc=%d phase=%d); a poweroff within %u ms powers off "
                        "without saving",
                        reason, code, (int)status.vesk_phase, (unsigned)FORCED_WINDOW_MS);
        send_result(reason, VESK_LIFECYCLE_RETRY_UNSAVED);
        return;
    }
    cancel_factory_state(reason);
    if (status.vesk_phase == VESK_PERSIST_RECOVERY_REQUIRED)
        send_result((int)status.vesk_token.vesk_reason, VESK_LIFECYCLE_RECOVERY_REQUIRED);
    else
        send_result(reason, VESK_LIFECYCLE_CANCELLED_SAVE);
}

static void set_quit(void) { __atomic_store_n(&quit, 1, __ATOMIC_SEQ_CST); }

/* A process exit cannot be refused: whoever sent the signal wants the
 * process gone. When the settings could not be saved it still leaves, with
 * the log flushed and the file systems synced. */
static void exit_unsaved(const vesk_persist_request *req, int code)
{
    vesk_log_printf(VESK_LOG_ERROR, TAG, "reason=%d settings not saved (rc=%d); the process ends all the same",
                    (int)req->vesk_reason, code);
    (void)flush_log(vesk_mono_ms() + FLUSH_WINDOW_MS, NULL);
    (void)final_sync(vesk_mono_ms() + FINAL_SYNC_WINDOW_MS, (int)req->vesk_reason, NULL);
    set_quit();
}

/* Cancel a voluntary request; a process exit ends the process anyway. */
static void cancel(const vesk_persist_request *req, int code, int prepare_failed)
{
    vesk_lifecycle_cancelled(req, code, prepare_failed);
    if (req->vesk_reason == VESK_PERSIST_PROCESS_EXIT) exit_unsaved(req, code);
}

static void vesk_lifecycle_run_terminal_action(const vesk_persist_request *req, const vesk_persist_token *token)
{
    int reason = (int)req->vesk_reason;
    int rc = 0;
    switch (req->vesk_reason) {
    case VESK_PERSIST_SHUTDOWN_VOLUNTARY:
    case VESK_PERSIST_REBOOT:
        rc = reason == VESK_PERSIST_REBOOT ? reboot_now() : power_off();
        if (rc != 0) {
            vesk_log_printf(VESK_LOG_ERROR, TAG, "terminal syscall failed reason=%d rc=%d", reason, rc);
            (void)vesk_persist_resume(token);
            send_result(reason, VESK_LIFECYCLE_CANCELLED_SAVE);
        }
        break;
    case VESK_PERSIST_RESET:
    case VESK_PERSIST_FORMAT:
    case VESK_PERSIST_UPDATE:
        rc = reboot_now();
        if (rc != 0) {
            vesk_log_printf(VESK_LOG_ERROR, TAG, "reboot syscall failed reason=%d rc=%d", reason, rc);
            send_result(reason, VESK_LIFECYCLE_RECOVERY_REQUIRED);
            note_update(req, VESK_UPDATE_RESULT_REBOOT_FAILED, rc);
        }
        break;
    case VESK_PERSIST_PROCESS_EXIT:
        set_quit();
        break;
    default:
        break;
    }
}

/* ---- the voluntary run ------------------------------------------------- */

static int needs_media_barrier(const vesk_persist_request *req)
{
    return req->vesk_reason == VESK_PERSIST_FORMAT ||
           (req->vesk_reason == VESK_PERSIST_RESET && req->vesk_format_media);
}

/* Releases the Media log files: 1 paused, 0 not, -1 pre-empted. */
static int pause_media(vesk_lifecycle_admitted *preempt)
{
    uint64_t deadline = vesk_mono_ms() + MEDIA_PAUSE_WINDOW_MS;
    uint64_t ticket = 0;
    if (vesk_log_request(VESK_LOG_PAUSE_MEDIA, deadline, &ticket) != 0) return 0;
    for (;;) {
        if (take_safety(preempt)) return -1;
        int rc = vesk_log_poll(ticket);
        if (rc == 1) return 1;
        if (rc < 0 || vesk_mono_ms() >= deadline) return 0;
        tick(deadline);
    }
}

/* A voluntary run is a table of phases. Each phase either completes (and,
 * when it has an undo, leaves something to take back), or ends the run
 * with an ending. The unwind runs the undo of every completed phase, in
 * reverse, exactly once, and then the ending; an ending past the point of
 * no return (a commit persistence could not roll back, or a safety run
 * that powers off) leaves what was done as it is. */

/* An ending the update watcher is not told of. */
static const vesk_update_result NO_NOTE = (vesk_update_result)0;

typedef enum {
    ENDING_NONE,      /* the run went to its terminal action, or was forced */
    ENDING_CANCEL,    /* cancelled: (reason, outcome) by the cancel rules */
    ENDING_SAFETY,    /* pre-empted: the safety sequence runs instead */
    ENDING_UNCERTAIN, /* the commit failed and persistence needs recovery */
} vesk_lifecycle_ending;

typedef struct {
    const vesk_persist_request *req;
    uint64_t admitted_ms;
    vesk_persist_token token;
    vesk_lifecycle_admitted safety; /* the pre-empting request */
    /* From the commit on the prepare is persistence's to end, whichever way
     * the commit goes. */
    int commit_issued;
    vesk_lifecycle_ending ending;
    int code;                /* the failure's code */
    int prepare_failed;      /* the prepare call itself was refused */
    vesk_update_result note; /* told the update watcher; 0 nothing */
    int unwind;              /* take back the completed phases first */
    int undo_self;           /* the failing phase did part of its work */
} vesk_lifecycle_run;

typedef enum { PHASE_DONE, PHASE_ENDED } vesk_lifecycle_step;

typedef struct {
    const char *name;
    vesk_lifecycle_step (*run)(vesk_lifecycle_run *r);
    void (*undo)(vesk_lifecycle_run *r); /* null: nothing to take back */
} vesk_lifecycle_phase;

static vesk_lifecycle_step end_run(vesk_lifecycle_run *r, vesk_lifecycle_ending ending, int code,
                                   vesk_update_result note, int unwind)
{
    r->ending = ending;
    r->code = code;
    r->note = note;
    r->unwind = unwind;
    return PHASE_ENDED;
}

/* Pre-empted before the commit: everything is taken back. */
static vesk_lifecycle_step preempted_before_commit(vesk_lifecycle_run *r)
{
    return end_run(r, ENDING_SAFETY, 0, VESK_UPDATE_RESULT_SAFETY_BEFORE_COMMIT, 1);
}

/* Pre-empted after the commit: the power goes off, what was done stays. */
static vesk_lifecycle_step preempted_after_commit(vesk_lifecycle_run *r)
{
    return end_run(r, ENDING_SAFETY, 0, VESK_UPDATE_RESULT_SAFETY_AFTER_COMMIT, 0);
}

static vesk_lifecycle_step phase_forced(vesk_lifecycle_run *r)
{
    const int forced = r->req->vesk_reason == VESK_PERSIST_SHUTDOWN_VOLUNTARY && r->admitted_ms < forced_until_ms;
    forced_until_ms = 0;
    if (!forced) return PHASE_DONE;
    vesk_lifecycle_run_forced_poweroff(r->req, r->admitted_ms + SAFETY_WINDOW_MS);
    return end_run(r, ENDING_NONE, 0, NO_NOTE, 0);
}

static vesk_lifecycle_step phase_prepare(vesk_lifecycle_run *r)
{
    const uint64_t prepare_deadline = vesk_mono_ms() + PREPARE_WINDOW_MS;
    int rc = vesk_persist_prepare(r->req, prepare_deadline, &r->token);
    if (rc != 0) {
        r->prepare_failed = 1;
        return end_run(r, ENDING_CANCEL, rc, VESK_UPDATE_RESULT_PREPARE_FAILED, 1);
    }
    /* Persistence ends a prepare at its deadline by itself; the margin
     * only keeps a persistence fault from holding the coordinator. */
    const uint64_t status_deadline = prepare_deadline + PREPARE_STATUS_MARGIN_MS;
    /* Lets a test hold a voluntary run inside its prepare while a safety
     * request comes in. */
    vesk_test_pause_point("lifecycle:preparing");
    for (;;) {
        if (take_safety(&r->safety)) {
            r->undo_self = 1;
            return preempted_before_commit(r);
        }
        rc = vesk_persist_prepare_status(&r->token);
        if (rc == 1) break;
        if (rc == 0 && vesk_mono_ms() >= status_deadline) {
            vesk_log_printf(VESK_LOG_ERROR, TAG, "prepare status still pending past its deadline reason=%d",
                            (int)r->req->vesk_reason);
            r->undo_self = 1;
            return end_run(r, ENDING_CANCEL, -ETIMEDOUT, VESK_UPDATE_RESULT_PREPARE_FAILED, 1);
        }
        /* A failed prepare persistence has ended itself. */
        if (rc < 0) return end_run(r, ENDING_CANCEL, rc, VESK_UPDATE_RESULT_PREPARE_FAILED, 1);
        sleep_ms(TICK_MS);
    }
    vesk_log_printf(VESK_LOG_DETAIL, TAG, "prepared reason=%d", (int)r->req->vesk_reason);
    vesk_test_checkpoint("lifecycle:prepared");
    return PHASE_DONE;
}

static void undo_prepare(vesk_lifecycle_run *r)
{
    if (!r->commit_issued) (void)vesk_persist_resume(&r->token);
}

/* A format must not find the Media log files open. */
static vesk_lifecycle_step phase_media_barrier(vesk_lifecycle_run *r)
{
    if (!needs_media_barrier(r->req)) return PHASE_DONE;
    int paused = pause_media(&r->safety);
    if (paused == 1) return PHASE_DONE;
    /* Also when the barrier request itself failed: the log may hold the
     * files released in part. */
    r->undo_self = 1;
    if (paused < 0) return preempted_before_commit(r);
    return end_run(r, ENDING_CANCEL, -ETIMEDOUT, NO_NOTE, 1);
}

static void undo_media_barrier(vesk_lifecycle_run *r)
{
    if (needs_media_barrier(r->req)) vesk_log_resume_media();
}

static vesk_lifecycle_step phase_commit(vesk_lifecycle_run *r)
{
    if (take_safety(&r->safety)) return preempted_before_commit(r);
    r->commit_issued = 1;
    int rc = vesk_persist_commit(&r->token);
    if (rc != 0) return end_run(r, ENDING_CANCEL, rc, VESK_UPDATE_RESULT_CANCELLED, 1);
    for (;;) {
        if (take_safety(&r->safety)) return preempted_after_commit(r);
        rc = vesk_persist_completion(&r->token);
        if (rc == 1) break;
        if (rc < 0) {
            const int reason = (int)r->req->vesk_reason;
            if (reason == VESK_PERSIST_SHUTDOWN_VOLUNTARY || reason == VESK_PERSIST_REBOOT)
                return end_run(r, ENDING_CANCEL, rc, NO_NOTE, 1);
            vesk_persist_status status;
            memset(&status, 0, sizeof status);
            (void)vesk_persist_get_status(&status);
            /* Rolled back: the scope runs on as before. Otherwise part of
             * the change may have happened, so nothing is taken back. */
            if (status.vesk_phase == VESK_PERSIST_RUNNING)
                return end_run(r, ENDING_CANCEL, rc, VESK_UPDATE_RESULT_CANCELLED, 1);
            return end_run(r, ENDING_UNCERTAIN, rc, VESK_UPDATE_RESULT_UNCERTAIN, 0);
        }
        sleep_ms(TICK_MS);
    }
    vesk_log_printf(VESK_LOG_DETAIL, TAG, "committed reason=%d", (int)r->req->vesk_reason);
    vesk_test_checkpoint("lifecycle:committed");
    return PHASE_DONE;
}

static vesk_lifecycle_step phase_tell_media(vesk_lifecycle_run *r)
{
    if (take_safety(&r->safety)) return preempted_after_commit(r);
    const vesk_persist_reason reason = r->req->vesk_reason;
    vesk_log_printf(VESK_LOG_DETAIL, TAG, "terminal-intent reason=%d", (int)reason);
    if (reason != VESK_PERSIST_PROCESS_EXIT)
        tell_media(reason == VESK_PERSIST_SHUTDOWN_VOLUNTARY ? MEDIA_MODE_POWER_OFF : MEDIA_MODE_OTHER);
    return PHASE_DONE;
}

/* The phone shows that an update is being installed before the reboot. */
static vesk_lifecycle_step phase_update_notice(vesk_lifecycle_run *r)
{
    if (r->req->vesk_reason != VESK_PERSIST_UPDATE) return PHASE_DONE;
    const uint8_t installing = 1;
    if (calls.vesk_send_http_result != NULL) (void)calls.vesk_send_http_result(HTTP_RESULT_UPDATING, &installing, 1);
    uint64_t deadline = vesk_mono_ms() + UPDATE_NOTICE_MS;
    int preempted = 0;
    while (vesk_mono_ms() < deadline && !(preempted = take_safety(&r->safety))) tick(deadline);
    return preempted ? preempted_after_commit(r) : PHASE_DONE;
}

static vesk_lifecycle_step phase_flush(vesk_lifecycle_run *r)
{
    if (flush_log(vesk_mono_ms() + FLUSH_WINDOW_MS, &r->safety) < 0) return preempted_after_commit(r);
    vesk_test_checkpoint("lifecycle:flushed");
    return PHASE_DONE;
}

static vesk_lifecycle_step phase_sync_and_act(vesk_lifecycle_run *r)
{
    if (final_sync(vesk_mono_ms() + FINAL_SYNC_WINDOW_MS, (int)r->req->vesk_reason, &r->safety) < 0)
        return preempted_after_commit(r);
    vesk_test_checkpoint("lifecycle:synced");
    if (take_safety(&r->safety)) return preempted_after_commit(r);
    vesk_lifecycle_run_terminal_action(r->req, &r->token);
    return end_run(r, ENDING_NONE, 0, NO_NOTE, 0);
}

/* In order; a phase whose work the request does not need completes at
 * once and has nothing to undo. */
static const vesk_lifecycle_phase voluntary_phases[] = {
    {"forced power-off", phase_forced, NULL},
    {"prepare", phase_prepare, undo_prepare},
    {"media barrier", phase_media_barrier, undo_media_barrier},
    {"commit", phase_commit, NULL},
    {"tell media", phase_tell_media, NULL},
    {"update notice", phase_update_notice, NULL},
    {"flush", phase_flush, NULL},
    {"sync and terminal action", phase_sync_and_act, NULL},
};
enum { VOLUNTARY_PHASE_COUNT = sizeof voluntary_phases / sizeof voluntary_phases[0] };

static void vesk_lifecycle_finish(vesk_lifecycle_run *r)
{
    const vesk_persist_request *req = r->req;
    switch (r->ending) {
    case ENDING_CANCEL:
        cancel(req, r->code, r->prepare_failed);
        break;
    case ENDING_SAFETY:
        run_safety_from(&r->safety);
        break;
    case ENDING_UNCERTAIN:
        send_result((int)req->vesk_reason, VESK_LIFECYCLE_RECOVERY_REQUIRED);
        break;
    case ENDING_NONE:
        return;
    }
    if (r->note != 0) note_update(req, r->note, r->code);
    if (r->ending == ENDING_UNCERTAIN && req->vesk_reason == VESK_PERSIST_PROCESS_EXIT) exit_unsaved(req, r->code);
}

static void vesk_lifecycle_run_voluntary(const vesk_persist_request *req, uint64_t admitted_ms)
{
    vesk_lifecycle_run r;
    memset(&r, 0, sizeof r);
    r.req = req;
    r.admitted_ms = admitted_ms;
    size_t done = 0;
    while (done < VOLUNTARY_PHASE_COUNT && voluntary_phases[done].run(&r) == PHASE_DONE) done++;
    if (done == VOLUNTARY_PHASE_COUNT) return;
    if (r.unwind) {
        if (r.undo_self && voluntary_phases[done].undo != NULL) voluntary_phases[done].undo(&r);
        while (done-- > 0)
            if (voluntary_phases[done].undo != NULL) voluntary_phases[done].undo(&r);
    }
    vesk_lifecycle_finish(&r);
}

/* ---- the coordinator thread and admission ------------------------------ */

static int is_safety(vesk_persist_reason reason)
{
    return reason == VESK_PERSIST_SHUTDOWN_LOW_BATTERY || reason == VESK_PERSIST_SHUTDOWN_LOW_TEMP;
}

static void *vesk_lifecycle_coordinator_main(void *arg)
{
    (void)arg;
    prctl(PR_SET_NAME, "vesk_lifecycle", 0, 0, 0);
    for (;;) {
        vesk_lifecycle_admitted taken;
        int kind = 0; /* 1 voluntary, 2 safety */
        pthread_mutex_lock(&mailbox.mtx);
        while (!mailbox.has_safety && !mailbox.has_pending && !mailbox.stop) {
            struct timespec deadline;
            vesk_deadline_in(&deadline, IDLE_WAIT_MS);
            pthread_cond_timedwait(&mailbox.cond, &mailbox.mtx, &deadline);
            if (mailbox.has_safety || mailbox.has_pending || mailbox.owner || mailbox.stop) continue;
            if (!is_signal_exit() && vesk_signal_consume_exit()) {
                memset(&mailbox.pending, 0, sizeof mailbox.pending);
                mailbox.pending.request.vesk_reason = VESK_PERSIST_PROCESS_EXIT;
                mailbox.pending.admitted_ms = vesk_mono_ms();
                mailbox.has_pending = 1;
                mailbox.owner = 1;
            }
        }
        /* A second power-off inside the forced window was asked for before
         * the safety request came: it already powers off, unsaved. */
        const int forced_first =
            mailbox.has_pending && mailbox.pending.request.vesk_reason == VESK_PERSIST_SHUTDOWN_VOLUNTARY &&
            mailbox.pending.admitted_ms < forced_until_ms && mailbox.pending.admitted_ms <= mailbox.safety.admitted_ms;
        if (mailbox.has_safety && !forced_first) {
            taken = mailbox.safety;
            mailbox.has_safety = 0;
            kind = 2;
        } else if (mailbox.has_pending) {
            taken = mailbox.pending;
            mailbox.has_pending = 0;
            kind = 1;
        }
        if (kind == 0) { /* stop flag, nothing taken */
            pthread_mutex_unlock(&mailbox.mtx);
            return NULL;
        }
        pthread_mutex_unlock(&mailbox.mtx);

        if (kind == 2) {
            run_safety_from(&taken);
            continue;
        }
        vesk_lifecycle_run_voluntary(&taken.request, taken.admitted_ms);
        pthread_mutex_lock(&mailbox.mtx);
        mailbox.owner = 0;
        pthread_mutex_unlock(&mailbox.mtx);
    }
}

static int admit(const vesk_persist_request *request, void (*publish)(void *context), void *context)
{
    if (request == NULL) return -EINVAL;
    const vesk_persist_reason reason = request->vesk_reason;
    if (reason < VESK_PERSIST_SHUTDOWN_VOLUNTARY || reason > VESK_PERSIST_PROCESS_EXIT) {
        vesk_log_printf(VESK_LOG_ERROR, TAG, "request refused: unknown reason=%d", (int)reason);
        return -EINVAL;
    }
    const uint64_t now = vesk_mono_ms();
    int refused = 0;
    pthread_mutex_lock(&mailbox.mtx);
    if (is_safety(reason)) {
        /* A second one while one waits changes nothing: the first powers
         * off anyway. */
        if (!mailbox.has_safety) {
            mailbox.safety.request = *request;
            mailbox.safety.admitted_ms = now;
            mailbox.has_safety = 1;
            pthread_cond_signal(&mailbox.cond);
        }
    } else if (mailbox.owner || mailbox.has_safety) {
        refused = 1;
    } else {
        mailbox.owner = 1;
        if (publish != NULL) publish(context);
        mailbox.pending.request = *request;
        mailbox.pending.admitted_ms = now;
        mailbox.has_pending = 1;
        pthread_cond_signal(&mailbox.cond);
    }
    pthread_mutex_unlock(&mailbox.mtx);
    if (refused) {
        send_result((int)reason, VESK_LIFECYCLE_CANCELLED_SAVE);
        return -EBUSY;
    }
    vesk_log_printf(VESK_LOG_DETAIL, TAG, "request admitted reason=%d", (int)reason);
    return 0;
}

int vesk_lifecycle_request(const vesk_persist_request *request) { return admit(request, NULL, NULL); }

int vesk_lifecycle_request_prepublish(const vesk_persist_request *request, void (*publish)(void *context),
                                      void *context)
{
    return admit(request, publish, context);
}

/* ---- start and stop ---------------------------------------------------- */

static int start_syncer(void)
{
    pthread_mutex_lock(&syncer.mtx);
    int rc = 0;
    if (!syncer.started) {
        pthread_t thread;
        rc = pthread_create(&thread, NULL, sync_main, NULL);
        if (rc == 0) {
            pthread_detach(thread);
            syncer.started = 1;
        }
    }
    pthread_mutex_unlock(&syncer.mtx);
    if (rc != 0) vesk_log_printf(VESK_LOG_ERROR, TAG, "sync helper: pthread_create failed: %d", rc);
    return -rc;
}

int vesk_lifecycle_start(void)
{
    if (running) return 0;
    int rc = start_syncer();
    if (rc != 0) return rc;
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    rc = pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    if (rc == 0) {
        pthread_cond_destroy(&mailbox.cond);
        rc = pthread_cond_init(&mailbox.cond, &attr);
    }
    pthread_condattr_destroy(&attr);
    if (rc != 0) {
        vesk_log_printf(VESK_LOG_ERROR, TAG, "vesk_lifecycle_start: monotonic condvar failed: %d", rc);
        return -rc;
    }
    forced_until_ms = 0;
    pthread_mutex_lock(&mailbox.mtx);
    mailbox.stop = 0;
    pthread_mutex_unlock(&mailbox.mtx);
    rc = pthread_create(&coordinator, NULL, vesk_lifecycle_coordinator_main, NULL);
    if (rc != 0) {
        vesk_log_printf(VESK_LOG_ERROR, TAG, "vesk_lifecycle_start: pthread_create failed: %d", rc);
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

/* ---- the boot state ---------------------------------------------------- */

void vesk_lifecycle_note_boot(int rc) { boot_rc = rc; }

int vesk_lifecycle_publish_boot_state(void)
{
    vesk_persist_status status;
    memset(&status, 0, sizeof status);
    (void)vesk_persist_get_status(&status);
    if (status.vesk_phase == VESK_PERSIST_RECOVERY_REQUIRED) {
        send_result((int)status.vesk_token.vesk_reason, VESK_LIFECYCLE_RECOVERY_REQUIRED);
        return boot_rc == 0;
    }
    if (boot_rc != 0) {
        send_result(VESK_LIFECYCLE_REASON_BOOT, VESK_LIFECYCLE_RECOVERY_REQUIRED);
        return 0;
    }
    if (status.vesk_profiles_recovered) send_result(VESK_LIFECYCLE_REASON_BOOT, VESK_LIFECYCLE_PROFILES_RESTORED);
    return 1;
}
