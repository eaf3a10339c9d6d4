// The logger's own threads: the console echo, the primary thread's common
// work (records to lines, stitched output, loss reports, pacing), and the
// capture of standard output and error.
#include "vesk_debug.h"
#include "vesk_log_internal.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

/* ---- console ---- */

static int vesk_log_console_sink(void *ctx, const vesk_log_line *line)
{
    (void)ctx;
    const char *p = line->text;
    size_t left = line->len;
    while (left > 0) {
        ssize_t n = write(vesk_log_g.console_fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -errno;
        p += n;
        left -= (size_t)n;
    }
    return 0;
}

static void *vesk_log_console_main(void *arg)
{
    (void)arg;
    pthread_setname_np(pthread_self(), "vesk_log_cons");
    static vesk_log_line line;
    static vesk_log_record rec;
    vesk_log_emitter em = {&vesk_log_g.id, vesk_log_g.role, 0, vesk_log_console_sink, NULL, &line};
    while (vesk_log_ring_wait_pop(&vesk_log_g.console_ring, &rec, &vesk_log_g.running)) vesk_log_emit_record(&em, &rec);
    return NULL;
}

/* ---- standard output and error ---- */

static ssize_t vesk_log_stdio_write(void *cookie, const char *buf, size_t size)
{
    int which = (int)(intptr_t)cookie; /* 0 standard output, 1 standard error */
    if (size == 0 || !vesk_log_is_started()) return (ssize_t)size;
    int saved_errno = errno;
    vesk_log_level level = which ? VESK_LOG_ERROR : VESK_LOG_DETAIL;
    vesk_log_record rec;
    if (vesk_log_record_begin(&rec, level, VESK_LOG_REC_STDIO, which ? "stderr" : "stdout") == 0) {
        size_t keep = size < VESK_LOG_PAYLOAD_SIZE ? size : VESK_LOG_PAYLOAD_SIZE;
        if (keep < size) {
            vesk_log_count(&vesk_log_cnt.input_drop_bytes[level], size - keep);
            rec.flags |= VESK_LOG_FLAG_TRUNCATED;
        }
        memcpy(rec.payload, buf, keep);
        rec.len = (uint32_t)keep;
        rec.orig_len = (uint32_t)(size > UINT32_MAX ? UINT32_MAX : size);
        if (buf[size - 1] != '\n') rec.flags |= VESK_LOG_FLAG_PARTIAL;
        int *gap = &vesk_log_g.stdio_gap[which];
        if (__atomic_exchange_n(gap, 0, __ATOMIC_ACQ_REL)) rec.flags |= VESK_LOG_FLAG_GAP;
        if (vesk_log_admit(&rec) != 0) __atomic_store_n(gap, 1, __ATOMIC_RELEASE);
    }
    errno = saved_errno;
    /* The writer is never told of a loss: the loss is counted and reported here. */
    return (ssize_t)size;
}

/* Made once per process and never closed: a thread still inside printf at
 * stop keeps a valid stream, whose writes then go nowhere. */
static FILE *vesk_log_cap_out;
static FILE *vesk_log_cap_err;

int vesk_log_stdio_capture(void)
{
    vesk_log_state *g = &vesk_log_g;
    if (vesk_log_cap_out == NULL || vesk_log_cap_err == NULL) {
        cookie_io_functions_t io;
        memset(&io, 0, sizeof(io));
        io.write = vesk_log_stdio_write;
        if (vesk_log_cap_out == NULL) vesk_log_cap_out = fopencookie((void *)(intptr_t)0, "w", io);
        if (vesk_log_cap_err == NULL) vesk_log_cap_err = fopencookie((void *)(intptr_t)1, "w", io);
        if (vesk_log_cap_out == NULL || vesk_log_cap_err == NULL) return -ENOMEM;
        setvbuf(vesk_log_cap_out, NULL, _IONBF, 0);
        setvbuf(vesk_log_cap_err, NULL, _IONBF, 0);
    }
    int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null_fd < 0) return -errno;
    int saved_fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (saved_fd < 0) {
        int rc = -errno;
        close(null_fd);
        return rc;
    }
    fflush(stdout);
    fflush(stderr);
    g->orig_stdout = stdout;
    g->orig_stderr = stderr;
    g->saved_stdout_fd = saved_fd;
    stdout = vesk_log_cap_out;
    stderr = vesk_log_cap_err;
    /* Children inherit descriptors 1 and 2: they write nowhere rather than
     * into a pipe nobody reads. */
    dup2(null_fd, STDOUT_FILENO);
    dup2(null_fd, STDERR_FILENO);
    close(null_fd);
    g->stdio_captured = 1;
    return 0;
}

void vesk_log_stdio_release(void)
{
    vesk_log_state *g = &vesk_log_g;
    if (!g->stdio_captured) return;
    stdout = g->orig_stdout;
    stderr = g->orig_stderr;
    dup2(g->saved_stdout_fd, STDOUT_FILENO);
    dup2(g->console_fd, STDERR_FILENO);
    close(g->saved_stdout_fd);
    g->saved_stdout_fd = -1;
    g->stdio_captured = 0;
}

/* ---- primary thread, both roles ---- */

vesk_log_primary vesk_log_pri;

void vesk_log_primary_init(vesk_log_line_sink sink)
{
    vesk_log_primary *p = &vesk_log_pri;
    static int loss_marker;
    memset(p, 0, sizeof(*p));
    vesk_log_emitter em = {&vesk_log_g.id, vesk_log_g.role, 1, sink, NULL, &p->line};
    p->em = em;
    em.copy_errors = 0;
    em.sink_ctx = &loss_marker; /* a non-null context: the sink does not count this line's loss */
    p->loss_em = em;
    p->stitch[0].level = VESK_LOG_DETAIL;
    p->stitch[1].level = VESK_LOG_ERROR;
    p->now_ms = vesk_log_mono_ms();
}

static void vesk_log_primary_one(const vesk_log_record *rec)
{
    vesk_log_primary *p = &vesk_log_pri;
    if (rec->kind == VESK_LOG_REC_STDIO) {
        vesk_log_stitch_feed(&p->em, &p->stitch[rec->level == VESK_LOG_ERROR], rec);
    } else {
        vesk_log_emit_record(&p->em, rec);
    }
}

void vesk_log_primary_take(vesk_log_ring *ring, int max, const int *blocked)
{
    vesk_log_primary *p = &vesk_log_pri;
    if (blocked != NULL) {
        for (int i = 0; i < max && !*blocked && vesk_log_ring_pop(ring, &p->rec); i++) vesk_log_primary_one(&p->rec);
        return;
    }
    /* One hold of the lock per batch leaves the producers more of it. */
    for (int taken = 0; taken < max;) {
        int want = max - taken < VESK_LOG_TAKE_BATCH ? max - taken : VESK_LOG_TAKE_BATCH;
        int n = vesk_log_ring_pop_many(ring, p->batch, want);
        for (int i = 0; i < n; i++) vesk_log_primary_one(&p->batch[i]);
        taken += n;
        if (n < want) break;
    }
}

void vesk_log_primary_take_all(void)
{
    vesk_log_ring *rings[] = {&vesk_log_g.error_ring, &vesk_log_g.detail_ring};
    for (vesk_log_ring *ring : rings) {
        /* Only this thread pops, so popped needs no lock here. */
        uint64_t cut = vesk_log_ring_pushed(ring);
        while (ring->popped < cut) {
            uint64_t left = cut - ring->popped;
            uint64_t before = ring->popped;
            vesk_log_primary_take(ring, left < VESK_LOG_TAKE_BATCH ? (int)left : VESK_LOG_TAKE_BATCH, NULL);
            if (ring->popped == before) break;
        }
    }
}

void vesk_log_primary_flush_stitches(int force)
{
    vesk_log_primary *p = &vesk_log_pri;
    for (auto &st : p->stitch) vesk_log_stitch_flush(&p->em, &st, p->now_ms, force);
}

/* One report line per counter that grew; a line that is not taken leaves
 * the counter to be reported on a later round. */
static void vesk_log_loss_line(uint64_t *reported, uint64_t total, const char *stage)
{
    if (total <= *reported) return;
    vesk_log_primary *p = &vesk_log_pri;
    int rc = vesk_log_emit_now(&p->loss_em, VESK_LOG_ERRORS_STREAM, VESK_LOG_ERROR, "logger.loss", 0,
                               "origin=%s %s delta=%llu total=%llu", vesk_log_g.id.src, stage,
                               (unsigned long long)(total - *reported), (unsigned long long)total);
    if (rc == 0) *reported = total;
}

void vesk_log_primary_loss_reports(int with_sink)
{
    vesk_log_primary *p = &vesk_log_pri;
    if (p->now_ms - p->last_loss_ms < VESK_LOG_LOSS_PERIOD_MS) return;
    p->last_loss_ms = p->now_ms;
    static const char *const input_stage[VESK_LOG_LEVEL_COUNT] = {"stage=input level=detail",
                                                                  "stage=input level=error"};
    static const char *const sink_stage[VESK_LOG_STREAM_COUNT] = {"stage=sink stream=app", "stage=sink stream=gui",
                                                                  "stage=sink stream=errors"};
    for (int i = 0; i < VESK_LOG_LEVEL_COUNT; i++) {
        vesk_log_loss_line(&p->reported_input[i], vesk_log_load(&vesk_log_cnt.input_drops[i]), input_stage[i]);
    }
    for (int i = 0; with_sink && i < VESK_LOG_STREAM_COUNT; i++) {
        vesk_log_loss_line(&p->reported_sink[i], vesk_log_load(&vesk_log_cnt.sink_drops[i]), sink_stage[i]);
    }
    vesk_log_loss_line(&p->reported_console, vesk_log_load(&vesk_log_cnt.console_drops), "stage=console");
}

/* Sleeps one pass interval; a stop, a barrier request or a filling ring
 * ends the sleep early. */
static void vesk_log_pace(void)
{
    int busy = vesk_log_ring_rearm(&vesk_log_g.error_ring);
    busy |= vesk_log_ring_rearm(&vesk_log_g.detail_ring);
    if (busy) return;
    struct timespec until;
    clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_nsec += VESK_LOG_PASS_MS * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec++;
        until.tv_nsec -= 1000000000L;
    }
    while (sem_clockwait(&vesk_log_g.pace, CLOCK_MONOTONIC, &until) != 0 && errno == EINTR) {}
}

void vesk_log_kick(void) { sem_post(&vesk_log_g.pace); }

int vesk_log_primary_pace(void)
{
    vesk_log_pace();
    vesk_log_pri.now_ms = vesk_log_mono_ms();
    return vesk_log_is_running();
}

static void *vesk_log_primary_main(void *arg)
{
    (void)arg;
    if (vesk_log_g.role == VESK_LOG_APP) {
        pthread_setname_np(pthread_self(), "vesk_log_write");
        vesk_log_app_run();
    } else {
        pthread_setname_np(pthread_self(), "vesk_log_send");
        vesk_log_gui_run();
    }
    return NULL;
}

/* ---- start and stop ---- */

static int vesk_log_spawn(pthread_t *thread, void *(*main_fn)(void *))
{
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, VESK_LOG_THREAD_STACK);
    int rc = pthread_create(thread, &attr, main_fn, NULL);
    pthread_attr_destroy(&attr);
    return -rc;
}

void vesk_log_threads_stop(void)
{
    vesk_log_state *g = &vesk_log_g;
    __atomic_store_n(&g->running, 0, __ATOMIC_RELEASE);
    pthread_mutex_lock(&g->console_ring.lock);
    pthread_cond_broadcast(&g->console_wake);
    pthread_mutex_unlock(&g->console_ring.lock);
    vesk_log_kick();
    if (g->primary_thread_up) pthread_join(g->primary_thread, NULL);
    if (g->console_thread_up) pthread_join(g->console_thread, NULL);
    g->primary_thread_up = 0;
    g->console_thread_up = 0;
}

int vesk_log_threads_start(void)
{
    vesk_log_state *g = &vesk_log_g;
    int rc = vesk_log_spawn(&g->console_thread, vesk_log_console_main);
    if (rc == 0) {
        g->console_thread_up = 1;
        rc = vesk_log_spawn(&g->primary_thread, vesk_log_primary_main);
    }
    if (rc == 0) {
        g->primary_thread_up = 1;
        return 0;
    }
    vesk_log_threads_stop();
    return rc;
}
