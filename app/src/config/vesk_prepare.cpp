// The prepare and commit protocol of power-state changes. The calls only
// change the phase under the mutex; the prepare and the commit themselves
// run on the persistence worker, and the caller polls for their outcome.
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "vesk_device_db.h"
#include "vesk_fault.h"
#include "vesk_log.h"
#include "vesk_persist_internal.h"

#define PREPARE_STEP_MS 20

static vesk_persist_state *const s = &g_vesk_persist;

static void apply_deadline_now(void) { vesk_persist_apply_deadline_locked(vesk_persist_mono_ms()); }

static unsigned long long ull(uint64_t v) { return (unsigned long long)v; }

int vesk_persist_prepare(const vesk_persist_request *request, uint64_t deadline_mono_ms, vesk_persist_token *out_token)
{
    if (request == NULL || out_token == NULL) return -EINVAL;
    if (request->vesk_reason < VESK_PERSIST_SHUTDOWN_VOLUNTARY || request->vesk_reason > VESK_PERSIST_PROCESS_EXIT)
        return -EINVAL;
    int reason = (int)request->vesk_reason;
    vesk_persist_lock();
    apply_deadline_now();
    int rc = 0;
    if (!s->started) {
        vesk_log_printf(VESK_LOG_ERROR, "persist.prepare", "rejected: not started reason=%d", reason);
        rc = -ENODEV;
    } else if (s->abandoned) {
        vesk_log_printf(VESK_LOG_ERROR, "persist.prepare", "rejected: settings abandoned reason=%d", reason);
        rc = -ECANCELED;
    } else if (s->phase != VESK_PERSIST_RUNNING) {
        vesk_log_printf(VESK_LOG_ERROR, "persist.prepare", "rejected: busy phase=%d reason=%d", (int)s->phase, reason);
        rc = -EBUSY;
    } else {
        s->phase = VESK_PERSIST_PREPARING;
        s->epoch++;
        s->request = *request;
        s->reason = request->vesk_reason;
        s->prepare_deadline_ms = deadline_mono_ms;
        s->lifecycle_error = 0;
        s->commit_queued = 0;
        out_token->vesk_epoch = s->epoch;
        out_token->vesk_reason = s->reason;
        vesk_log_printf(VESK_LOG_DETAIL, "persist.prepare", "admitted epoch=%llu reason=%d deadline_ms=%llu",
                        ull(s->epoch), reason, ull(deadline_mono_ms));
        vesk_persist_broadcast();
    }
    vesk_persist_unlock();
    return rc;
}

int vesk_persist_prepare_status(const vesk_persist_token *token)
{
    if (token == NULL) return -EINVAL;
    vesk_persist_lock();
    apply_deadline_now();
    int rc;
    if (token->vesk_epoch != s->epoch)
        rc = -ESTALE;
    else if (s->phase == VESK_PERSIST_PREPARING)
        rc = 0;
    else if (s->phase == VESK_PERSIST_PREPARED || s->phase == VESK_PERSIST_COMMITTING ||
             s->phase == VESK_PERSIST_COMMITTED)
        rc = 1;
    else
        rc = s->lifecycle_error ? s->lifecycle_error : -ESTALE;
    vesk_persist_unlock();
    return rc;
}

int vesk_persist_commit(const vesk_persist_token *token)
{
    if (token == NULL) return -EINVAL;
    vesk_persist_lock();
    apply_deadline_now();
    int rc = 0;
    if (token->vesk_epoch == s->epoch && s->phase == VESK_PERSIST_PREPARED && token->vesk_reason == s->reason) {
        s->phase = VESK_PERSIST_COMMITTING;
        s->commit_queued = 1;
        vesk_persist_broadcast();
        vesk_log_printf(VESK_LOG_DETAIL, "persist.commit", "admitted epoch=%llu reason=%d", ull(s->epoch),
                        (int)s->reason);
    } else {
        vesk_log_printf(VESK_LOG_ERROR, "persist.commit", "rejected: stale epoch=%llu reason=%d phase=%d",
                        ull(token->vesk_epoch), (int)token->vesk_reason, (int)s->phase);
        rc = -ESTALE;
    }
    vesk_persist_unlock();
    return rc;
}

int vesk_persist_completion(const vesk_persist_token *token)
{
    if (token == NULL) return -EINVAL;
    vesk_persist_lock();
    apply_deadline_now();
    int rc;
    if (token->vesk_epoch == s->epoch && s->phase == VESK_PERSIST_COMMITTED)
        rc = 1;
    else if (token->vesk_epoch == s->epoch && s->phase == VESK_PERSIST_COMMITTING)
        rc = 0;
    else if (token->vesk_epoch == s->epoch && s->phase == VESK_PERSIST_RECOVERY_REQUIRED)
        rc = -EIO;
    else
        rc = s->lifecycle_error ? s->lifecycle_error : -ESTALE;
    vesk_persist_unlock();
    return rc;
}

/* Drops a stage the prepare built; the worker removes its directory. */
static void drop_stage_locked(void)
{
    if (s->stage.active || s->stage.dir[0] != '\0') memcpy(s->reset_cleanup, s->stage.dir, sizeof s->reset_cleanup);
    memset(&s->stage, 0, sizeof s->stage);
}

/* The commit of a power-off or reboot changes nothing on disk, so the
 * scope may go on working when the power did not go off after all. */
static int commit_wrote_nothing(vesk_persist_reason reason)
{
    return reason == VESK_PERSIST_SHUTDOWN_VOLUNTARY || reason == VESK_PERSIST_REBOOT ||
           reason == VESK_PERSIST_SHUTDOWN_LOW_BATTERY || reason == VESK_PERSIST_SHUTDOWN_LOW_TEMP;
}

int vesk_persist_resume(const vesk_persist_token *token)
{
    if (token == NULL) return -EINVAL;
    vesk_persist_lock();
    apply_deadline_now();
    int rc = 0;
    int reason = (int)s->reason;
    if (token->vesk_epoch != s->epoch) {
        rc = -ESTALE;
    } else if (s->phase == VESK_PERSIST_PREPARING || s->phase == VESK_PERSIST_PREPARED ||
               (s->phase == VESK_PERSIST_COMMITTED && commit_wrote_nothing(s->reason))) {
        if (s->phase != VESK_PERSIST_COMMITTED) drop_stage_locked();
        s->phase = VESK_PERSIST_RUNNING;
        s->epoch++;
        s->lifecycle_error = 0;
        vesk_persist_broadcast();
        vesk_log_printf(VESK_LOG_DETAIL, "persist.resume", "epoch=%llu reason=%d resumed", ull(token->vesk_epoch),
                        reason);
    } else {
        vesk_log_printf(VESK_LOG_ERROR, "persist.resume", "epoch=%llu reason=%d rejected: past point of no return",
                        ull(token->vesk_epoch), reason);
        rc = -1;
    }
    vesk_persist_unlock();
    return rc;
}

void vesk_persist_abandon_pending(void)
{
    vesk_persist_lock();
    s->abandoned = 1;
    vesk_persist_broadcast();
    vesk_persist_unlock();
    vesk_log_printf(VESK_LOG_ERROR, "persist", "pending settings abandoned: powering off without saving");
}

/* ---- the prepare, on the worker --------------------------------------- */

static int in_drain_set(int store, vesk_persist_reason reason)
{
    return reason != VESK_PERSIST_RESET || store == VESK_PERSIST_EEPROM;
}

/* Ends a failed prepare when it is still the current one. */
static void prepare_failed(uint64_t epoch, int reason, int rc)
{
    vesk_persist_lock();
    if (s->epoch == epoch && s->phase == VESK_PERSIST_PREPARING) {
        s->phase = VESK_PERSIST_RUNNING;
        s->epoch++;
        s->lifecycle_error = rc;
        drop_stage_locked();
        vesk_persist_broadcast();
        vesk_log_printf(VESK_LOG_ERROR, "persist.prepare", "epoch=%llu reason=%d failed rc=%d", ull(epoch), reason, rc);
    }
    vesk_persist_unlock();
}

/* Caller holds the mutex: still the prepare of this epoch? */
static int still_current_locked(uint64_t epoch)
{
    apply_deadline_now();
    return s->epoch == epoch && s->phase == VESK_PERSIST_PREPARING;
}

static uint64_t step_until(void)
{
    uint64_t next = vesk_persist_mono_ms() + PREPARE_STEP_MS;
    return next < s->prepare_deadline_ms ? next : s->prepare_deadline_ms;
}

void vesk_persist_run_prepare(void)
{
    vesk_persist_lock();
    uint64_t epoch = s->epoch;
    vesk_persist_reason reason = s->reason;
    vesk_persist_request request = s->request;
    vesk_log_printf(VESK_LOG_DETAIL, "persist.prepare", "epoch=%llu reason=%d begin", ull(epoch), (int)reason);
    while (s->outstanding_edits > 0) {
        if (!still_current_locked(epoch)) {
            vesk_persist_unlock();
            return;
        }
        vesk_persist_wait_until(step_until());
    }
    if (!still_current_locked(epoch)) {
        vesk_persist_unlock();
        return;
    }
    vesk_persist_unlock();
    vesk_test_checkpoint("prepare:edits-drained");
    vesk_test_delay_point("prepare:edits-drained");

    vesk_persist_lock();
    for (int i = 0; i < VESK_PERSIST_STORE_COUNT; i++) {
        if (!in_drain_set(i, reason) || !vesk_persist_store_dirty_locked(i)) continue;
        s->stores[i].force = 1;
        s->stores[i].hold = 0;
    }
    vesk_persist_unlock();

    for (;;) {
        int attempted = 0;
        for (int i = 0; i < VESK_PERSIST_STORE_COUNT; i++) {
            if (!in_drain_set(i, reason)) continue;
            vesk_persist_lock();
            int due = vesk_persist_store_dirty_locked(i) && !s->stores[i].hold;
            vesk_persist_unlock();
            if (!due) continue;
            vesk_persist_attempt(i);
            attempted = 1;
        }
        vesk_persist_lock();
        if (!still_current_locked(epoch)) {
            vesk_persist_unlock();
            return;
        }
        int failed = 0, dirty = 0;
        for (int i = 0; i < VESK_PERSIST_STORE_COUNT; i++) {
            if (!in_drain_set(i, reason) || !vesk_persist_store_dirty_locked(i)) continue;
            dirty = 1;
            if (s->stores[i].error != 0 && failed == 0) failed = -s->stores[i].error;
        }
        if (failed == 0 && dirty && !attempted) vesk_persist_wait_until(step_until());
        vesk_persist_unlock();
        if (failed != 0) {
            prepare_failed(epoch, (int)reason, failed);
            return;
        }
        if (!dirty) break;
    }

    vesk_reset_stage stage;
    memset(&stage, 0, sizeof stage);
    if (reason == VESK_PERSIST_RESET) {
        int rc = vesk_reset_stage_build(&request, epoch, &stage);
        if (rc < 0) {
            vesk_reset_stage_remove(stage.dir);
            prepare_failed(epoch, (int)reason, rc);
            return;
        }
    }
    vesk_persist_lock();
    if (still_current_locked(epoch)) {
        s->stage = stage;
        s->phase = VESK_PERSIST_PREPARED;
        vesk_persist_broadcast();
        vesk_persist_unlock();
        vesk_test_checkpoint("prepare:prepared");
        vesk_log_printf(VESK_LOG_DETAIL, "persist.prepare", "epoch=%llu reason=%d prepared", ull(epoch), (int)reason);
        return;
    }
    vesk_persist_unlock();
    vesk_reset_stage_remove(stage.dir);
}

/* ---- the commit, on the worker ---------------------------------------- */

typedef enum { OUT_COMMITTED, OUT_CANCELLED, OUT_RECOVERY } commit_outcome;

/* Whether a manifest might exist after its write failed. */
static int manifest_absent(void)
{
    const char *forced = getenv("VESK_PERSIST_TEST_MANIFEST_ACCESS_ERRNO");
    if (forced != NULL && *forced != '\0') return atoi(forced) == ENOENT;
    return access(s->paths.manifest, F_OK) != 0 && errno == ENOENT;
}

static commit_outcome commit_reset(vesk_reset_stage *stage, int *rc)
{
    if (!stage->active) {
        *rc = -EINVAL;
        return OUT_CANCELLED;
    }
    *rc = vesk_reset_manifest_write("commit:reset-intent", &stage->manifest);
    if (*rc < 0) return manifest_absent() ? OUT_CANCELLED : OUT_RECOVERY;
    vesk_test_checkpoint("commit:reset-intent-published");
    *rc = vesk_reset_run(&stage->manifest);
    return *rc == 0 ? OUT_COMMITTED : OUT_RECOVERY;
}

void vesk_persist_run_commit(void)
{
    vesk_persist_lock();
    uint64_t epoch = s->epoch;
    vesk_persist_reason reason = s->reason;
    vesk_persist_request request = s->request;
    vesk_persist_hooks hooks = s->hooks;
    vesk_reset_stage stage = s->stage;
    vesk_persist_unlock();
    vesk_log_printf(VESK_LOG_DETAIL, "persist.commit", "epoch=%llu reason=%d begin", ull(epoch), (int)reason);

    int rc = 0;
    commit_outcome out = OUT_COMMITTED;
    switch (reason) {
    case VESK_PERSIST_RESET:
        out = commit_reset(&stage, &rc);
        break;
    case VESK_PERSIST_FORMAT:
        rc = hooks.vesk_format_media ? hooks.vesk_format_media(hooks.vesk_context) : -ENOSYS;
        out = rc == 0 ? OUT_COMMITTED : (rc == -EBUSY || rc == -ENOSYS) ? OUT_CANCELLED : OUT_RECOVERY;
        break;
    case VESK_PERSIST_UPDATE:
        rc = hooks.vesk_install_update ? hooks.vesk_install_update(request.vesk_update_path, hooks.vesk_context)
                                       : -ENOSYS;
        out = rc == 0 ? OUT_COMMITTED : rc == -ECANCELED ? OUT_CANCELLED : OUT_RECOVERY;
        break;
    case VESK_PERSIST_PROCESS_EXIT:
        vesk_device_db_close();
        break;
    default:
        break; /* the prepare flushed every store */
    }
    if (reason == VESK_PERSIST_RESET && out != OUT_RECOVERY) vesk_reset_stage_remove(stage.dir);

    vesk_persist_lock();
    if (s->epoch == epoch) {
        if (reason == VESK_PERSIST_RESET && out != OUT_RECOVERY) memset(&s->stage, 0, sizeof s->stage);
        if (out == OUT_COMMITTED) {
            s->phase = VESK_PERSIST_COMMITTED;
            vesk_log_printf(VESK_LOG_DETAIL, "persist.commit", "epoch=%llu reason=%d durable", ull(epoch), (int)reason);
        } else if (out == OUT_CANCELLED) {
            s->phase = VESK_PERSIST_RUNNING;
            s->epoch++;
            s->lifecycle_error = rc;
            vesk_log_printf(VESK_LOG_ERROR, "persist.commit", "epoch=%llu reason=%d cancelled rc=%d", ull(epoch),
                            (int)reason, rc);
        } else {
            s->phase = VESK_PERSIST_RECOVERY_REQUIRED;
            s->lifecycle_error = rc < 0 ? rc : -EIO;
            vesk_log_printf(VESK_LOG_ERROR, "persist.commit", "epoch=%llu reason=%d recovery_required rc=%d",
                            ull(epoch), (int)reason, rc);
        }
        vesk_persist_broadcast();
    }
    vesk_persist_unlock();
}
