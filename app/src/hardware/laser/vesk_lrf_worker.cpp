#include "vesk_lrf_worker.h"

#include <errno.h>
#include <string.h>

#include "ballistic_request.h"
#include "iniparser_handler.h"
#include "laser.h"
#include "qel_dev_status.h"
#include "uart.h"
#include "vesk_clock.h"
#include "vesk_debug.h"
#include "vesk_log.h"
#include "vesk_persist.h"

#define LRF_TAG_CORE "lrf.core"
#define LRF_TAG_WORKER "lrf.worker"
#define LRF_TAG_TX "lrf.tx"
#define LRF_TAG_POWER "lrf.power"
#define LRF_UI_EVENT 1 /* module report for the report router */
#define LRF_UI_POST_MS 500

static vesk_lrf_worker g_worker = {.uart_fd = -1};
static vesk_lrf_ui_outbox g_outbox;
static vesk_lrf_worker_ops g_ops = {laser_enable};

/* Locks and conditions are made once, before any thread can touch them:
 * the app bus may deliver a GUI frame before the service has started. */
static void lrf_worker_init_sync(void)
{
    static pthread_once_t once = PTHREAD_ONCE_INIT;
    pthread_once(&once, [] {
        pthread_mutex_init(&g_worker.lock, NULL);
        vesk_cond_init_monotonic(&g_worker.cond);
        pthread_mutex_init(&g_outbox.lock, NULL);
        pthread_cond_init(&g_outbox.cond, NULL);
    });
}

void vesk_lrf_set_ops(const vesk_lrf_worker_ops *ops) { g_ops = ops ? *ops : vesk_lrf_worker_ops{laser_enable}; }

int vesk_lrf_post(const vesk_lrf_event *ev)
{
    lrf_worker_init_sync();
    pthread_mutex_lock(&g_worker.lock);
    if (!g_worker.running) {
        pthread_mutex_unlock(&g_worker.lock);
        return -ESHUTDOWN;
    }
    vesk_lrf_queue_result r = vesk_lrf_queue_event(&g_worker, ev);
    if (r == VESK_LRF_QUEUED || r == VESK_LRF_REPLACED) pthread_cond_signal(&g_worker.cond);
    pthread_mutex_unlock(&g_worker.lock);
    if (r == VESK_LRF_DROPPED_FULL) {
        vesk_log_printf(VESK_LOG_ERROR, LRF_TAG_WORKER, "queue full, dropping critical event kind=%d", (int)ev->kind);
        return -ENOSPC;
    }
    if (r == VESK_LRF_DROPPED_RESERVE) {
        vesk_log_printf(VESK_LOG_DETAIL, LRF_TAG_WORKER, "queue reserve, dropping event kind=%d", (int)ev->kind);
        return -ENOSPC;
    }
    return 0;
}

/* ---- the outbox ---------------------------------------------------------- */

void vesk_lrf_ui_publish(const uint8_t *payload, size_t length)
{
    lrf_worker_init_sync();
    pthread_mutex_lock(&g_outbox.lock);
    if (!g_outbox.started) {
        pthread_mutex_unlock(&g_outbox.lock);
        return;
    }
    int evicted = vesk_lrf_outbox_queue(&g_outbox, payload, length);
    pthread_cond_signal(&g_outbox.cond);
    pthread_mutex_unlock(&g_outbox.lock);
    if (evicted >= 0)
        vesk_log_printf(VESK_LOG_DETAIL, LRF_TAG_WORKER, "ui outbox full, dropping queued UI message (sub=%u)",
                        (unsigned)evicted);
}

static void *lrf_outbox_thread(void *arg)
{
    (void)arg;
    pthread_mutex_lock(&g_outbox.lock);
    for (;;) {
        while (g_outbox.running && g_outbox.queue_count == 0) pthread_cond_wait(&g_outbox.cond, &g_outbox.lock);
        if (!g_outbox.running) break;
        vesk_lrf_ui_msg msg;
        vesk_lrf_outbox_take(&g_outbox, &msg);
        pthread_mutex_unlock(&g_outbox.lock);
        event_broadcast_send(g_outbox.ui_handle, LRF_UI_EVENT, msg.bytes, msg.len, LRF_UI_POST_MS);
        pthread_mutex_lock(&g_outbox.lock);
    }
    g_outbox.queue_count = 0;
    pthread_mutex_unlock(&g_outbox.lock);
    return NULL;
}

static int lrf_outbox_start(event_handle *ui_handle)
{
    pthread_mutex_lock(&g_outbox.lock);
    g_outbox.ui_handle = ui_handle;
    g_outbox.queue_head = g_outbox.queue_tail = g_outbox.queue_count = 0;
    g_outbox.running = 1;
    g_outbox.started = 1;
    pthread_mutex_unlock(&g_outbox.lock);
    if (pthread_create(&g_outbox.thread, NULL, lrf_outbox_thread, NULL) != 0) {
        pthread_mutex_lock(&g_outbox.lock);
        g_outbox.running = g_outbox.started = 0;
        pthread_mutex_unlock(&g_outbox.lock);
        return -1;
    }
    pthread_setname_np(g_outbox.thread, "vesk_lrf_ui_tx");
    return 0;
}

static void lrf_outbox_stop(void)
{
    pthread_mutex_lock(&g_outbox.lock);
    int was_started = g_outbox.started;
    g_outbox.running = 0;
    g_outbox.started = 0;
    pthread_cond_broadcast(&g_outbox.cond);
    pthread_mutex_unlock(&g_outbox.lock);
    if (was_started) pthread_join(g_outbox.thread, NULL);
}

/* ---- deadlines ---------------------------------------------------------- */

static void vesk_lrf_arm(struct timespec *deadline, int *armed, uint32_t ms)
{
    if (ms == 0) {
        *armed = 0;
        return;
    }
    vesk_deadline_in(deadline, ms);
    *armed = 1;
}

static int lrf_before(const struct timespec *a, const struct timespec *b)
{
    return a->tv_sec < b->tv_sec || (a->tv_sec == b->tv_sec && a->tv_nsec < b->tv_nsec);
}

/* The first deadline that has passed, in the order op, set, idle. */
static int lrf_take_deadline(vesk_lrf_worker *w, const struct timespec *now, vesk_lrf_event *out)
{
    struct {
        struct timespec *at;
        int *armed;
        vesk_lrf_ev_kind kind;
    } timers[] = {
        {&w->op_deadline, &w->op_armed, VESK_LRF_EV_TIMER_OP},
        {&w->set_deadline, &w->set_armed, VESK_LRF_EV_TIMER_SET},
        {&w->idle_deadline, &w->idle_armed, VESK_LRF_EV_TIMER_IDLE},
    };
    for (auto &t : timers) {
        if (*t.armed && !lrf_before(now, t.at)) {
            *t.armed = 0;
            memset(out, 0, sizeof *out);
            out->kind = t.kind;
            return 1;
        }
    }
    return 0;
}

static const struct timespec *lrf_earliest(const vesk_lrf_worker *w)
{
    const struct timespec *best = NULL;
    if (w->op_armed) best = &w->op_deadline;
    if (w->set_armed && (!best || lrf_before(&w->set_deadline, best))) best = &w->set_deadline;
    if (w->idle_armed && (!best || lrf_before(&w->idle_deadline, best))) best = &w->idle_deadline;
    return best;
}

/* ---- actions ------------------------------------------------------------ */

static void lrf_run_actions(const vesk_lrf_actions *list);

/* Steps the core with one event and carries out what it asks. */
static void lrf_step(const vesk_lrf_event *ev)
{
    vesk_lrf_core *core = &g_worker.core;
    core->vesk_preconfig_readback = (uint8_t)(vesk_debug_enabled() != 0);
    uint8_t before = core->state;
    vesk_lrf_actions list;
    vesk_lrf_core_step(core, ev, &list);
    vesk_log_printf(VESK_LOG_DETAIL, LRF_TAG_CORE, "event=%d state=%s->%s", (int)ev->kind,
                    vesk_lrf_core_state_name(before), vesk_lrf_core_state_name(core->state));
    lrf_run_actions(&list);
}

static int lrf_is_stop_frame(const vesk_lrf_action *a) { return a->len == 6 && a->bytes[4] == VESK_LRF_CMD_STOP; }

static void lrf_do_power_on(void)
{
    vesk_lrf_event ev;
    memset(&ev, 0, sizeof ev);
    int rc = g_ops.power(1);
    if (rc != 0) {
        vesk_log_printf(VESK_LOG_ERROR, LRF_TAG_POWER, "laser_enable(1) failed: %d", rc);
        /* Half a power sequence may have left the laser powered. */
        if (g_ops.power(0) != 0)
            vesk_log_printf(VESK_LOG_ERROR, LRF_TAG_POWER, "safety laser_enable(0) after failed ON also failed");
        qel_dev_status.s8LaserEnable = 0;
        ev.kind = VESK_LRF_EV_POWER_FAILED;
    } else {
        qel_dev_status.s8LaserEnable = 1;
        ev.kind = VESK_LRF_EV_POWER_READY;
    }
    pthread_mutex_lock(&g_worker.lock);
    int running = g_worker.running;
    pthread_mutex_unlock(&g_worker.lock);
    if (running) lrf_step(&ev);
}

static void lrf_arm_timer(vesk_lrf_act_kind kind, uint32_t ms)
{
    pthread_mutex_lock(&g_worker.lock);
    switch (kind) {
    case VESK_LRF_ACT_TIMER_OP:
        vesk_lrf_arm(&g_worker.op_deadline, &g_worker.op_armed, ms);
        break;
    case VESK_LRF_ACT_TIMER_SET:
        vesk_lrf_arm(&g_worker.set_deadline, &g_worker.set_armed, ms);
        break;
    default:
        vesk_lrf_arm(&g_worker.idle_deadline, &g_worker.idle_armed, ms);
        break;
    }
    pthread_mutex_unlock(&g_worker.lock);
}

static void lrf_do_ui(const vesk_lrf_action *a)
{
    vesk_lrf_ui_publish(a->bytes, a->len);
    uint8_t sub = a->len >= 2 ? a->bytes[1] : 0xFF;
    if (sub == VESK_LRF_UI_SUB_STATE && a->len >= VESK_LRF_UI_STATE_LEN) {
        static const char ranging[4] = {0, 1, 2, 0}; /* by wire state */
        uint8_t wire = a->bytes[3];
        if (wire < 4) qel_dev_status.s8LaserRanging = ranging[wire];
        uint8_t reason = a->bytes[4];
        if (reason == 4 || reason == 6 || reason == 8)
            vesk_log_printf(VESK_LOG_ERROR, LRF_TAG_CORE, "state reason=%u", (unsigned)reason);
    } else if (sub == VESK_LRF_UI_SUB_RESULT && a->len >= 4) {
        uint8_t status = a->bytes[3];
        if (status == 4 || status == 6 || status == 8)
            vesk_log_printf(VESK_LOG_ERROR, LRF_TAG_CORE, "result status=%u", (unsigned)status);
    }
}

static void lrf_do_ballistics(uint32_t dm)
{
    qel_dev_status.distance_now = (int)dm;
    /* The ballistic thread reads the distance once it sees the flag. */
    __sync_synchronize();
    vesk_ballistics_request(VESK_BALLISTICS_NEW_DISTANCE);
}

static void vesk_lrf_execute(const vesk_lrf_action *a)
{
    switch (a->kind) {
    case VESK_LRF_ACT_UART:
        vesk_log_hex(LRF_TAG_TX, a->bytes, a->len, 0);
        if (uart_write(g_worker.uart_fd, a->bytes, a->len) != (int)a->len) {
            vesk_log_printf(VESK_LOG_ERROR, LRF_TAG_TX, "uart_write failed len=%u", (unsigned)a->len);
            if (lrf_is_stop_frame(a)) g_worker.stop_write_failed = 1;
        }
        break;
    case VESK_LRF_ACT_POWER_ON:
        lrf_do_power_on();
        break;
    case VESK_LRF_ACT_POWER_OFF:
        if (g_ops.power(0) != 0) vesk_log_printf(VESK_LOG_ERROR, LRF_TAG_POWER, "laser_enable(0) failed");
        qel_dev_status.s8LaserEnable = 0;
        break;
    case VESK_LRF_ACT_TIMER_OP:
    case VESK_LRF_ACT_TIMER_SET:
    case VESK_LRF_ACT_TIMER_IDLE:
        lrf_arm_timer(a->kind, a->ms);
        break;
    case VESK_LRF_ACT_UI:
        lrf_do_ui(a);
        break;
    case VESK_LRF_ACT_BALLISTICS:
        lrf_do_ballistics(a->dm);
        break;
    case VESK_LRF_ACT_LOG:
        vesk_log_printf(VESK_LOG_DETAIL, LRF_TAG_CORE, "%s", a->log);
        break;
    }
}

static int lrf_is_urgent(vesk_lrf_act_kind k) { return k <= VESK_LRF_ACT_TIMER_IDLE; }

/* Serial writes, power and timers before the GUI hears of the change. */
static void lrf_run_actions(const vesk_lrf_actions *list)
{
    for (int urgent = 1; urgent >= 0; urgent--) {
        for (size_t i = 0; i < list->count; i++) {
            if (lrf_is_urgent(list->items[i].kind) == urgent) vesk_lrf_execute(&list->items[i]);
        }
    }
}

static void *lrf_worker_thread(void *arg)
{
    (void)arg;
    pthread_mutex_lock(&g_worker.lock);
    for (;;) {
        vesk_lrf_event ev;
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (!lrf_take_deadline(&g_worker, &now, &ev) && !vesk_lrf_queue_take(&g_worker, &ev)) {
            if (!g_worker.running) break;
            const struct timespec *until = lrf_earliest(&g_worker);
            if (until != NULL) {
                struct timespec at = *until;
                pthread_cond_timedwait(&g_worker.cond, &g_worker.lock, &at);
            } else {
                pthread_cond_wait(&g_worker.cond, &g_worker.lock);
            }
            continue;
        }
        pthread_mutex_unlock(&g_worker.lock);
        lrf_step(&ev);
        pthread_mutex_lock(&g_worker.lock);
        if (g_worker.stop_write_failed) {
            /* The module may never see the stop: end it now, powered off. */
            g_worker.stop_write_failed = 0;
            clock_gettime(CLOCK_MONOTONIC, &g_worker.op_deadline);
            g_worker.op_armed = 1;
        }
    }
    pthread_mutex_unlock(&g_worker.lock);
    vesk_log_printf(VESK_LOG_DETAIL, LRF_TAG_WORKER, "thread exit!");
    return NULL;
}

int vesk_lrf_start(int uart_fd, event_handle *ui_handle, const vesk_lrf_settings *initial)
{
    lrf_worker_init_sync();
    pthread_mutex_lock(&g_worker.lock);
    g_worker.queue_head = g_worker.queue_tail = g_worker.queue_count = 0;
    g_worker.op_armed = g_worker.set_armed = g_worker.idle_armed = 0;
    g_worker.stop_write_failed = 0;
    g_worker.uart_fd = uart_fd;
    g_worker.settings_cache = *initial;
    g_worker.running = 1;
    vesk_lrf_core_init(&g_worker.core, initial);
    pthread_mutex_unlock(&g_worker.lock);

    if (lrf_outbox_start(ui_handle) != 0) {
        vesk_log_printf(VESK_LOG_ERROR, LRF_TAG_WORKER, "ui outbox pthread_create failed");
        pthread_mutex_lock(&g_worker.lock);
        g_worker.running = 0;
        pthread_mutex_unlock(&g_worker.lock);
        return -1;
    }
    if (pthread_create(&g_worker.thread, NULL, lrf_worker_thread, NULL) != 0) {
        vesk_log_printf(VESK_LOG_ERROR, LRF_TAG_WORKER, "pthread_create failed");
        pthread_mutex_lock(&g_worker.lock);
        g_worker.running = 0;
        pthread_mutex_unlock(&g_worker.lock);
        lrf_outbox_stop();
        return -1;
    }
    pthread_setname_np(g_worker.thread, "vesk_lrf_worker");
    g_worker.started = 1;
    return 0;
}

void vesk_lrf_stop(void)
{
    if (!g_worker.started) return;
    pthread_mutex_lock(&g_worker.lock);
    g_worker.running = 0;
    g_worker.queue_head = g_worker.queue_tail = g_worker.queue_count = 0;
    pthread_cond_broadcast(&g_worker.cond);
    pthread_mutex_unlock(&g_worker.lock);
    pthread_join(g_worker.thread, NULL);
    g_worker.started = 0;

    if (qel_dev_status.s8LaserEnable) {
        uint8_t stop[VESK_LRF_FRAME_MAX];
        size_t len = vesk_lrf_frame_build(VESK_LRF_CMD_STOP, NULL, 0, stop);
        vesk_log_hex(LRF_TAG_TX, stop, len, 0);
        if (uart_write(g_worker.uart_fd, stop, len) != (int)len)
            vesk_log_printf(VESK_LOG_ERROR, LRF_TAG_TX, "uart_write failed len=%zu (teardown STOP)", len);
    }
    if (g_ops.power(0) != 0) vesk_log_printf(VESK_LOG_ERROR, LRF_TAG_POWER, "laser_enable(0) failed during stop");
    qel_dev_status.s8LaserEnable = 0;
    lrf_outbox_stop();
}

/* ---- settings and GUI requests ------------------------------------------ */

void vesk_lrf_settings_from_config(vesk_lrf_settings *out)
{
    out->target = (uint8_t)qel_dev_status.vesk_lrf_target;
    out->processing = (uint8_t)qel_dev_status.vesk_lrf_processing;
    out->min_m = qel_dev_status.vesk_lrf_min_m;
    out->max_m = qel_dev_status.vesk_lrf_max_m;
}

void vesk_lrf_persist_settings(const vesk_lrf_settings *old_settings, const vesk_lrf_settings *new_settings)
{
    if (old_settings->target != new_settings->target) {
        qel_dev_status.vesk_lrf_target = (char)new_settings->target;
        Qel_DevStatusSet("vesk_lrf_target", new_settings->target, 0);
    }
    if (old_settings->processing != new_settings->processing) {
        qel_dev_status.vesk_lrf_processing = (char)new_settings->processing;
        Qel_DevStatusSet("vesk_lrf_processing", new_settings->processing, 0);
    }
    if (old_settings->min_m != new_settings->min_m) {
        qel_dev_status.vesk_lrf_min_m = new_settings->min_m;
        Qel_DevStatusSet("vesk_lrf_min_m", new_settings->min_m, 0);
    }
    if (old_settings->max_m != new_settings->max_m) {
        qel_dev_status.vesk_lrf_max_m = new_settings->max_m;
        Qel_DevStatusSet("vesk_lrf_max_m", new_settings->max_m, 0);
    }
}

static void lrf_post_kind(vesk_lrf_ev_kind kind)
{
    vesk_lrf_event ev;
    memset(&ev, 0, sizeof ev);
    ev.kind = kind;
    vesk_lrf_post(&ev);
}

/* Applies key and value to s; 0 when the value is out of range. */
static int lrf_apply_key(vesk_lrf_settings *s, uint8_t key, const uint8_t *frame)
{
    uint16_t metres = (uint16_t)(frame[7] << 8 | frame[8]);
    switch (key) {
    case 1:
        if (frame[7] < 1 || frame[7] > 3) return 0;
        s->target = frame[7];
        break;
    case 2:
        if (frame[7] > 1) return 0;
        s->processing = frame[7];
        break;
    case 3:
        s->min_m = metres;
        break;
    case 4:
        s->max_m = metres;
        break;
    default:
        return 0;
    }
    if (s->target == 3) s->processing = 0;
    return 1;
}

static void lrf_request_settings(const uint8_t *frame)
{
    uint8_t key = frame[6];
    if (key == 0) {
        lrf_post_kind(VESK_LRF_EV_REQ_SETTINGS_QUERY);
        return;
    }
    lrf_worker_init_sync();
    int in_edit = vesk_persist_edit_begin() == 0;
    pthread_mutex_lock(&g_worker.lock);
    vesk_lrf_settings old_settings = g_worker.settings_cache;
    vesk_lrf_settings new_settings = old_settings;
    int applied = lrf_apply_key(&new_settings, key, frame);
    if (in_edit && applied && vesk_lrf_settings_valid(&new_settings)) {
        g_worker.settings_cache = new_settings;
        pthread_mutex_unlock(&g_worker.lock);
        vesk_lrf_persist_settings(&old_settings, &new_settings);
        vesk_persist_edit_end();
        vesk_lrf_event ev;
        memset(&ev, 0, sizeof ev);
        ev.kind = VESK_LRF_EV_REQ_SETTINGS;
        ev.settings = new_settings;
        vesk_lrf_post(&ev);
        return;
    }
    pthread_mutex_unlock(&g_worker.lock);
    if (in_edit) vesk_persist_edit_end();
    /* The GUI then shows the settings still in force. */
    lrf_post_kind(VESK_LRF_EV_REQ_SETTINGS_QUERY);
}

void vesk_lrf_request_from_gui(const uint8_t *frame, size_t length)
{
    static const vesk_lrf_ev_kind ops[] = {
        VESK_LRF_EV_REQ_STOP_CANCEL, VESK_LRF_EV_REQ_SINGLE,      (vesk_lrf_ev_kind)-1,
        VESK_LRF_EV_REQ_SCAN,        VESK_LRF_EV_REQ_STOP_ACCEPT,
    };
    if (frame == NULL || length < 4) return;
    switch (frame[3]) {
    case 0:
        if (length < 10 || frame[6] >= sizeof ops / sizeof ops[0] || ops[frame[6]] == (vesk_lrf_ev_kind)-1) return;
        lrf_post_kind(ops[frame[6]]);
        return;
    case 8:
        if (length < 13) return;
        lrf_request_settings(frame);
        return;
    case 9: {
        if (length < 13) return;
        vesk_lrf_event ev;
        memset(&ev, 0, sizeof ev);
        ev.kind = VESK_LRF_EV_REQ_ACCEPT;
        ev.accept_index = frame[6];
        ev.accept_d.m = (uint16_t)(frame[7] << 8 | frame[8]);
        ev.accept_d.dm = frame[9];
        vesk_lrf_post(&ev);
        return;
    }
    default:
        return;
    }
}
