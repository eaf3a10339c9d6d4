// The logger's own threads: the console echo and the primary thread that
// turns the rings into lines for the role's sink.
#include "vesk_debug.h"
#include "vesk_log_internal.h"

#include <errno.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

/* ---- console ---- */

static int vesk_log_write_all(int fd, const void *data, size_t len)
{
    const char *p = (const char *)data;
    while (len > 0) {
        ssize_t n = write(fd, p, len);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -errno;
        }
        p += n;
        len -= (size_t)n;
    }
    return 0;
}

static int vesk_log_console_sink(void *ctx, const vesk_log_line *line)
{
    (void)ctx;
    return vesk_log_write_all(vesk_log_g.console_fd, line->text, line->len);
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

/* ---- primary thread ---- */

typedef struct {
    vesk_log_emitter em;
    vesk_log_line line;
    vesk_log_record rec;
} vesk_log_primary;

static vesk_log_primary vesk_log_pri;

static int vesk_log_unsent_sink(void *ctx, const vesk_log_line *line)
{
    (void)ctx;
    vesk_log_count(&vesk_log_cnt.sink_drops[line->stream], 1);
    vesk_log_count(&vesk_log_cnt.sink_drop_bytes[line->stream], line->len);
    return -EIO;
}

/* Moves up to max records of the ring into lines. */
static void vesk_log_drain(vesk_log_ring *ring, int max)
{
    vesk_log_primary *p = &vesk_log_pri;
    for (int i = 0; i < max && vesk_log_ring_pop(ring, &p->rec); i++) vesk_log_emit_record(&p->em, &p->rec);
}

static void vesk_log_pass(void)
{
    vesk_log_ipc_tick(0);
    vesk_log_drain(&vesk_log_g.error_ring, VESK_LOG_ERROR_SLOTS);
    vesk_log_drain(&vesk_log_g.detail_ring, VESK_LOG_DETAIL_SLOTS);
}

/* Sleeps one pass interval; a stop ends the sleep at once. */
static void vesk_log_pace(void)
{
    vesk_log_state *g = &vesk_log_g;
    struct timespec until;
    clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_nsec += VESK_LOG_PASS_MS * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec++;
        until.tv_nsec -= 1000000000L;
    }
    pthread_mutex_lock(&g->pace_lock);
    while (vesk_log_is_running()) {
        if (pthread_cond_timedwait(&g->pace_wake, &g->pace_lock, &until) == ETIMEDOUT) break;
    }
    pthread_mutex_unlock(&g->pace_lock);
}

static void *vesk_log_primary_main(void *arg)
{
    (void)arg;
    vesk_log_primary *p = &vesk_log_pri;
    pthread_setname_np(pthread_self(), vesk_log_g.role == VESK_LOG_APP ? "vesk_log_write" : "vesk_log_send");
    vesk_log_emitter em = {&vesk_log_g.id, vesk_log_g.role, 1, vesk_log_unsent_sink, NULL, &p->line};
    p->em = em;
    while (vesk_log_is_running()) {
        vesk_log_pass();
        vesk_log_pace();
    }
    vesk_log_ipc_tick(1);
    vesk_log_drain(&vesk_log_g.error_ring, VESK_LOG_ERROR_SLOTS);
    vesk_log_drain(&vesk_log_g.detail_ring, VESK_LOG_DETAIL_SLOTS);
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

static void vesk_log_wake_all(void)
{
    vesk_log_state *g = &vesk_log_g;
    pthread_mutex_lock(&g->console_ring.lock);
    pthread_cond_broadcast(&g->console_wake);
    pthread_mutex_unlock(&g->console_ring.lock);
    pthread_mutex_lock(&g->pace_lock);
    pthread_cond_broadcast(&g->pace_wake);
    pthread_mutex_unlock(&g->pace_lock);
}

void vesk_log_threads_stop(void)
{
    vesk_log_state *g = &vesk_log_g;
    __atomic_store_n(&g->running, 0, __ATOMIC_RELEASE);
    vesk_log_wake_all();
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
