// Records, rings and the calls every thread makes. A producer builds its
// record on its own stack and copies it into a ring slot under a try-lock:
// a busy or full ring costs a counted drop, never a wait.
#include "vesk_debug.h"
#include "vesk_log_internal.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include "vesk_clock.h"

vesk_log_state vesk_log_g;
vesk_log_counters vesk_log_cnt;
__thread int vesk_log_stripe_id = -1;

unsigned vesk_log_stripe_assign(void)
{
    static unsigned next;
    unsigned id = __atomic_fetch_add(&next, 1, __ATOMIC_RELAXED) % VESK_LOG_STRIPES;
    vesk_log_stripe_id = (int)id;
    return id;
}

static const char *const vesk_log_stream_names[VESK_LOG_STREAM_COUNT] = {"app", "gui", "errors"};

const char *vesk_log_stream_name(int stream)
{
    if (stream < 0 || stream >= VESK_LOG_STREAM_COUNT) return "-";
    return vesk_log_stream_names[stream];
}

uint64_t vesk_log_mono_ms(void) { return vesk_mono_ms(); }

int vesk_log_wall_ms(int64_t *wall_ms)
{
    struct timespec ts;
    if (clock_gettime(CLOCK_REALTIME, &ts) != 0) {
        *wall_ms = 0;
        return 0;
    }
    *wall_ms = (int64_t)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
    return 1;
}

uint64_t vesk_log_next_seq(void) { return __atomic_add_fetch(&vesk_log_g.seq, 1, __ATOMIC_RELAXED); }

/* ---- rings ---- */

void vesk_log_ring_init(vesk_log_ring *ring, vesk_log_record *slots, uint32_t capacity, pthread_cond_t *wake,
                        sem_t *drain)
{
    /* The consumer's lock spins a little before it sleeps: producers hold
     * the lock for one copy, never longer. */
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_ADAPTIVE_NP);
    pthread_mutex_init(&ring->lock, &attr);
    pthread_mutexattr_destroy(&attr);
    ring->wake = wake;
    ring->drain = drain;
    ring->drain_asked = 0;
    ring->slots = slots;
    ring->capacity = capacity;
    ring->head = 0;
    ring->count = 0;
    ring->pushed = 0;
    ring->popped = 0;
}

void vesk_log_ring_destroy(vesk_log_ring *ring) { pthread_mutex_destroy(&ring->lock); }

static void vesk_log_record_copy(vesk_log_record *dst, const vesk_log_record *src)
{
    memcpy(dst, src, VESK_LOG_RECORD_HEAD + src->len);
}

static inline void vesk_log_cpu_relax(void)
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    __asm__ __volatile__("yield");
#endif
}

int vesk_log_ring_try_push(vesk_log_ring *ring, const vesk_log_record *rec)
{
    /* A producer meeting a logger thread or another producer at the lock
     * would otherwise lose its record; a holder keeps the lock for one copy,
     * so spinning through it gets in, and the push still never sleeps. */
    int tries = 0;
    while (pthread_mutex_trylock(&ring->lock) != 0) {
        if (++tries == VESK_LOG_PUSH_TRIES) return -EBUSY;
        for (int i = 0; i < 2; i++) vesk_log_cpu_relax();
    }
    if (ring->count == ring->capacity) {
        pthread_mutex_unlock(&ring->lock);
        return -ENOSPC;
    }
    vesk_log_record_copy(&ring->slots[(ring->head + ring->count) % ring->capacity], rec);
    ring->count++;
    ring->pushed++;
    /* The one consumer sleeps only on an empty ring and empties it before
     * sleeping again, so only the first record needs to wake it. */
    int wake = ring->wake != NULL && ring->count == 1;
    /* Under load the primary thread must not sleep out its pass interval
     * while the ring overflows: a quarter full calls it early, once until
     * it looks. */
    int drain = ring->drain != NULL && !ring->drain_asked && ring->count >= ring->capacity / 4;
    if (drain) ring->drain_asked = 1;
    pthread_mutex_unlock(&ring->lock);
    /* Waking a thread can take a system call: not while others wait for the lock. */
    if (wake) pthread_cond_signal(ring->wake);
    if (drain) sem_post(ring->drain);
    return 0;
}

static int vesk_log_ring_take(vesk_log_ring *ring, vesk_log_record *rec)
{
    if (ring->count == 0) return 0;
    vesk_log_record_copy(rec, &ring->slots[ring->head]);
    ring->head = (ring->head + 1) % ring->capacity;
    ring->count--;
    ring->popped++;
    return 1;
}

int vesk_log_ring_pop_many(vesk_log_ring *ring, vesk_log_record *recs, int max)
{
    pthread_mutex_lock(&ring->lock);
    int n = 0;
    while (n < max && vesk_log_ring_take(ring, &recs[n])) n++;
    pthread_mutex_unlock(&ring->lock);
    return n;
}

int vesk_log_ring_pop(vesk_log_ring *ring, vesk_log_record *rec)
{
    pthread_mutex_lock(&ring->lock);
    int got = vesk_log_ring_take(ring, rec);
    pthread_mutex_unlock(&ring->lock);
    return got;
}

int vesk_log_ring_wait_pop(vesk_log_ring *ring, vesk_log_record *rec, const int *running)
{
    pthread_mutex_lock(&ring->lock);
    while (ring->count == 0 && __atomic_load_n(running, __ATOMIC_ACQUIRE) && ring->wake != NULL) {
        pthread_cond_wait(ring->wake, &ring->lock);
    }
    int got = vesk_log_ring_take(ring, rec);
    pthread_mutex_unlock(&ring->lock);
    return got;
}

int vesk_log_ring_rearm(vesk_log_ring *ring)
{
    pthread_mutex_lock(&ring->lock);
    ring->drain_asked = 0;
    int busy = ring->count > 0;
    pthread_mutex_unlock(&ring->lock);
    return busy;
}

uint64_t vesk_log_ring_pushed(vesk_log_ring *ring)
{
    pthread_mutex_lock(&ring->lock);
    uint64_t pushed = ring->pushed;
    pthread_mutex_unlock(&ring->lock);
    return pushed;
}

/* ---- admission ---- */

int vesk_log_record_begin(vesk_log_record *rec, vesk_log_level level, vesk_log_rec_kind kind, const char *tag)
{
    uint64_t epoch = 0;
    if (level == VESK_LOG_DETAIL) {
        epoch = vesk_debug_epoch();
        if (epoch == 0) {
            vesk_log_count(&vesk_log_cnt.suppressed, 1);
            return -1;
        }
    }
    rec->mono_ms = vesk_log_mono_ms();
    rec->wall_valid = (uint8_t)vesk_log_wall_ms(&rec->wall_ms);
    rec->kind = (uint8_t)kind;
    rec->level = (uint8_t)level;
    rec->flags = 0;
    rec->epoch = epoch;
    rec->hex_result = 0;
    rec->orig_len = 0;
    rec->len = 0;
    size_t tag_len = tag != NULL ? strnlen(tag, VESK_LOG_TAG_SIZE - 1) : 0;
    memcpy(rec->tag, tag != NULL ? tag : "", tag_len);
    rec->tag[tag_len] = '\0';
    return 0;
}

int vesk_log_admit(vesk_log_record *rec)
{
    int level = rec->level;
    vesk_log_ring *ring = level == VESK_LOG_DETAIL ? &vesk_log_g.detail_ring : &vesk_log_g.error_ring;
    int rc = vesk_log_ring_try_push(ring, rec);
    if (rc != 0) {
        vesk_log_count(&vesk_log_cnt.input_drops[level], 1);
        vesk_log_count(&vesk_log_cnt.input_drop_bytes[level], rec->len);
    }
    if (level == VESK_LOG_ERROR && vesk_log_ring_try_push(&vesk_log_g.console_ring, rec) != 0) {
        vesk_log_count(&vesk_log_cnt.console_drops, 1);
    }
    return rc;
}

static int vesk_log_level_ok(int level) { return level == VESK_LOG_DETAIL || level == VESK_LOG_ERROR; }

int vesk_log_record_fill(vesk_log_record *rec, vesk_log_level level, vesk_log_rec_kind kind, const char *tag,
                         const void *data, size_t length, size_t limit, int result)
{
    if (vesk_log_record_begin(rec, level, kind, tag) != 0) return -1;
    if (data == NULL) length = 0;
    rec->orig_len = (uint32_t)(length > UINT32_MAX ? UINT32_MAX : length);
    rec->hex_result = result;
    if (length > limit) {
        vesk_log_count(&vesk_log_cnt.truncated_bytes[level], length - limit);
        length = limit;
        rec->flags |= VESK_LOG_FLAG_TRUNCATED;
    }
    if (length > 0) memcpy(rec->payload, data, length);
    rec->len = (uint32_t)length;
    return 0;
}

static void vesk_log_admit_bytes(vesk_log_level level, vesk_log_rec_kind kind, const char *tag, const void *data,
                                 size_t length, size_t limit, int result)
{
    vesk_log_record rec;
    if (vesk_log_record_fill(&rec, level, kind, tag, data, length, limit, result) == 0) vesk_log_admit(&rec);
}

void vesk_log_vprintf(vesk_log_level level, const char *tag, const char *format, va_list ap)
{
    if (!vesk_log_is_started() || !vesk_log_level_ok(level) || format == NULL) return;
    int saved_errno = errno;
    vesk_log_record rec;
    if (vesk_log_record_begin(&rec, level, VESK_LOG_REC_TEXT, tag) == 0) {
        int n = vsnprintf((char *)rec.payload, VESK_LOG_PAYLOAD_SIZE, format, ap);
        if (n < 0) {
            /* Nothing printable came out; still a message the caller lost. */
            vesk_log_count(&vesk_log_cnt.input_drops[level], 1);
        } else {
            size_t keep = (size_t)n;
            if (keep > VESK_LOG_PAYLOAD_SIZE - 1) {
                vesk_log_count(&vesk_log_cnt.truncated_bytes[level], keep - (VESK_LOG_PAYLOAD_SIZE - 1));
                keep = VESK_LOG_PAYLOAD_SIZE - 1;
            }
            rec.orig_len = (uint32_t)n;
            rec.len = (uint32_t)keep;
            vesk_log_admit(&rec);
        }
    }
    errno = saved_errno;
}

void vesk_log_write(vesk_log_level level, const char *tag, const char *text, size_t length)
{
    if (!vesk_log_is_started() || !vesk_log_level_ok(level)) return;
    int saved_errno = errno;
    vesk_log_admit_bytes(level, VESK_LOG_REC_TEXT, tag, text, length, VESK_LOG_PAYLOAD_SIZE, 0);
    errno = saved_errno;
}

void vesk_log_hex(const char *tag, const void *bytes, size_t length, int result)
{
    if (!vesk_log_is_started()) return;
    int saved_errno = errno;
    vesk_log_admit_bytes(VESK_LOG_DETAIL, VESK_LOG_REC_HEX, tag, bytes, length, VESK_LOG_HEX_KEEP, result);
    errno = saved_errno;
}

/* ---- IPC trace aggregation ---- */

#define VESK_LOG_COMPASS_OBJECT 6

/* Emits the slot's summary as one DETAIL TEXT record and empties it. */
static void vesk_log_ipc_summary(vesk_log_ipc_slot *slot)
{
    vesk_log_record rec;
    rec.mono_ms = vesk_log_mono_ms();
    rec.wall_valid = (uint8_t)vesk_log_wall_ms(&rec.wall_ms);
    rec.kind = VESK_LOG_REC_TEXT;
    rec.level = VESK_LOG_DETAIL;
    rec.flags = 0;
    rec.epoch = slot->epoch;
    rec.hex_result = 0;
    memcpy(rec.tag, slot->tag, sizeof(rec.tag));

    char *out = (char *)rec.payload;
    size_t cap = VESK_LOG_PAYLOAD_SIZE;
    size_t pos = 0;
    /* Each piece goes in whole or the summary stops: it is cut at the record size. */
#define VESK_LOG_PUT(...)                                                                                              \
    do {                                                                                                               \
        if (pos < cap) {                                                                                               \
            int n_ = snprintf(out + pos, cap - pos, __VA_ARGS__);                                                      \
            pos = n_ < 0 ? cap : (size_t)n_ >= cap - pos ? cap : pos + n_;                                             \
        }                                                                                                              \
    } while (0)
    VESK_LOG_PUT("summary sub=%02X frames=%llu last=", VESK_LOG_COMPASS_OBJECT, (unsigned long long)slot->pending);
    int first = 1;
    for (int k = 0; k < VESK_LOG_IPC_LAST; k++) {
        const vesk_log_ipc_entry *e = &slot->last[k];
        if (!e->used) continue;
        if (!first) VESK_LOG_PUT(" ");
        first = 0;
        if (e->has_axis) {
            VESK_LOG_PUT("[%02X", e->axis);
        } else {
            VESK_LOG_PUT("[--");
        }
        VESK_LOG_PUT(" n=%zu rc=%d:", e->orig_len, e->result);
        for (size_t i = 0; i < e->len; i++) VESK_LOG_PUT(" %02X", e->bytes[i]);
        VESK_LOG_PUT("]");
    }
#undef VESK_LOG_PUT
    /* snprintf leaves its NUL inside the buffer: the text proper ends before it. */
    if (pos >= cap) pos = cap - 1;
    rec.orig_len = (uint32_t)pos;
    rec.len = (uint32_t)pos;
    vesk_log_admit(&rec);
    slot->pending = 0;
    memset(slot->last, 0, sizeof(slot->last));
}

static vesk_log_ipc_slot *vesk_log_ipc_find(const char *tag)
{
    char key[VESK_LOG_TAG_SIZE];
    size_t n = tag != NULL ? strnlen(tag, VESK_LOG_TAG_SIZE - 1) : 0;
    memcpy(key, tag != NULL ? tag : "", n);
    key[n] = '\0';
    vesk_log_ipc_slot *free_slot = NULL;
    for (int i = 0; i < VESK_LOG_IPC_SLOTS; i++) {
        vesk_log_ipc_slot *slot = &vesk_log_g.ipc[i];
        if (slot->in_use) {
            if (strcmp(slot->tag, key) == 0) return slot;
        } else if (free_slot == NULL) {
            free_slot = slot;
        }
    }
    if (free_slot != NULL) {
        memset(free_slot, 0, sizeof(*free_slot));
        free_slot->in_use = 1;
        memcpy(free_slot->tag, key, n + 1);
    }
    return free_slot;
}

void vesk_log_ipc(const char *tag, const void *frame, size_t length, int result)
{
    if (!vesk_log_is_started()) return;
    int saved_errno = errno;
    uint64_t epoch = vesk_debug_epoch();
    const uint8_t *bytes = (const uint8_t *)frame;
    if (epoch == 0) {
        vesk_log_count(&vesk_log_cnt.suppressed, 1);
    } else if (bytes == NULL || length < 3 || bytes[2] != VESK_LOG_COMPASS_OBJECT ||
               pthread_mutex_trylock(&vesk_log_g.ipc_lock) != 0) {
        vesk_log_admit_bytes(VESK_LOG_DETAIL, VESK_LOG_REC_HEX, tag, frame, length, VESK_LOG_HEX_KEEP, result);
    } else {
        uint64_t now = vesk_log_mono_ms();
        vesk_log_ipc_slot *slot = NULL;
        if (vesk_debug_epoch() != epoch) {
            vesk_log_count(&vesk_log_cnt.suppressed, 1);
        } else if ((slot = vesk_log_ipc_find(tag)) == NULL) {
            vesk_log_admit_bytes(VESK_LOG_DETAIL, VESK_LOG_REC_HEX, tag, frame, length, VESK_LOG_HEX_KEEP, result);
        } else if (slot->epoch == epoch && now - slot->last_seen_ms <= VESK_LOG_IPC_WINDOW_MS) {
            int k = length >= 5 && bytes[4] <= 2 ? bytes[4] : 3;
            vesk_log_ipc_entry *e = &slot->last[k];
            e->used = 1;
            e->has_axis = length >= 5;
            e->axis = length >= 5 ? bytes[4] : 0;
            e->result = result;
            e->orig_len = length;
            e->len = length < VESK_LOG_IPC_KEEP ? length : VESK_LOG_IPC_KEEP;
            memcpy(e->bytes, bytes, e->len);
            slot->pending++;
            if (now - slot->window_start_ms >= VESK_LOG_IPC_WINDOW_MS) {
                vesk_log_ipc_summary(slot);
                slot->window_start_ms = now;
            }
            slot->last_seen_ms = now;
        } else {
            if (slot->pending > 0) {
                if (slot->epoch == epoch) {
                    vesk_log_ipc_summary(slot);
                } else {
                    vesk_log_count(&vesk_log_cnt.suppressed, 1);
                    slot->pending = 0;
                    memset(slot->last, 0, sizeof(slot->last));
                }
            }
            slot->window_start_ms = now;
            slot->epoch = epoch;
            vesk_log_admit_bytes(VESK_LOG_DETAIL, VESK_LOG_REC_HEX, tag, frame, length, VESK_LOG_HEX_KEEP, result);
            slot->last_seen_ms = now;
        }
        pthread_mutex_unlock(&vesk_log_g.ipc_lock);
    }
    errno = saved_errno;
}

void vesk_log_ipc_tick(int force)
{
    pthread_mutex_lock(&vesk_log_g.ipc_lock);
    uint64_t epoch = vesk_debug_epoch();
    uint64_t now = vesk_log_mono_ms();
    for (int i = 0; i < VESK_LOG_IPC_SLOTS; i++) {
        vesk_log_ipc_slot *slot = &vesk_log_g.ipc[i];
        if (!slot->in_use || slot->pending == 0) continue;
        if (slot->epoch != epoch) {
            vesk_log_count(&vesk_log_cnt.suppressed, 1);
            slot->pending = 0;
            memset(slot->last, 0, sizeof(slot->last));
        } else if (force || now - slot->window_start_ms >= VESK_LOG_IPC_WINDOW_MS) {
            vesk_log_ipc_summary(slot);
            slot->window_start_ms = now;
        }
    }
    pthread_mutex_unlock(&vesk_log_g.ipc_lock);
}

/* ---- statistics ---- */

void vesk_log_get_stats(vesk_log_stats *stats)
{
    if (stats == NULL) return;
    memset(stats, 0, sizeof(*stats));
    if (!vesk_log_is_started()) return;
    const vesk_log_counters *c = &vesk_log_cnt;
    for (int i = 0; i < VESK_LOG_LEVEL_COUNT; i++) {
        stats->vesk_input_drops[i] = vesk_log_load(&c->input_drops[i]);
        stats->vesk_input_drop_bytes[i] = vesk_log_load(&c->input_drop_bytes[i]);
        stats->vesk_truncated_bytes[i] = vesk_log_load(&c->truncated_bytes[i]);
    }
    for (int i = 0; i < VESK_LOG_STREAM_COUNT; i++) {
        stats->vesk_sink_drops[i] = vesk_log_load(&c->sink_drops[i]);
        stats->vesk_sink_drop_bytes[i] = vesk_log_load(&c->sink_drop_bytes[i]);
    }
    stats->vesk_console_drops = vesk_log_load(&c->console_drops);
    stats->vesk_suppressed_records = vesk_log_load(&c->suppressed);
    stats->vesk_media_errno = __atomic_load_n(&c->media_errno, __ATOMIC_RELAXED);
    stats->vesk_media_paused = __atomic_load_n(&c->media_paused, __ATOMIC_RELAXED);
    stats->vesk_peer_connected = __atomic_load_n(&c->peer_connected, __ATOMIC_RELAXED);
}

/* ---- start and stop ---- */

static void vesk_log_read_boot_id(char *out, size_t size)
{
    snprintf(out, size, "unknown");
    int fd = open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    char buf[64];
    ssize_t n;
    do {
        n = read(fd, buf, sizeof(buf) - 1);
    } while (n < 0 && errno == EINTR);
    close(fd);
    if (n <= 0) return;
    while (n > 0 && (buf[n - 1] == '\n' || buf[n - 1] == '\r')) n--;
    if (n == 0) return;
    buf[n] = '\0';
    snprintf(out, size, "%s", buf);
}

static void vesk_log_copy_config(const vesk_log_config *config)
{
    vesk_log_config *c = &vesk_log_g.config;
    if (config == NULL) {
        snprintf(c->vesk_media_root, sizeof(c->vesk_media_root), "%s", "/usrdata/media");
        snprintf(c->vesk_socket_path, sizeof(c->vesk_socket_path), "%s", "/tmp/vesk-log.sock");
        c->vesk_require_vfat = 1;
        return;
    }
    *c = *config;
    c->vesk_media_root[sizeof(c->vesk_media_root) - 1] = '\0';
    c->vesk_socket_path[sizeof(c->vesk_socket_path) - 1] = '\0';
}

/* The app role's listener; failing to bind is not fatal: the GUI's lines
 * are then counted as its own sink drops. */
static void vesk_log_listen(void)
{
    vesk_log_g.listen_fd = -1;
    int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    struct sockaddr_un addr;
    memset(&addr, 0, sizeof(addr));
    addr.sun_family = AF_UNIX;
    snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", vesk_log_g.config.vesk_socket_path);
    unlink(addr.sun_path);
    if (bind(fd, (const struct sockaddr *)&addr, sizeof(addr)) != 0 || listen(fd, 1) != 0) {
        close(fd);
        return;
    }
    chmod(addr.sun_path, 0600);
    vesk_log_g.listen_fd = fd;
}

int vesk_log_start(vesk_log_role role, const vesk_log_config *config)
{
    if (vesk_log_is_started()) return 0;
    if (role != VESK_LOG_APP && role != VESK_LOG_GUI) return -EINVAL;
    vesk_log_state *g = &vesk_log_g;
    memset(g, 0, sizeof(*g));
    memset(&vesk_log_cnt, 0, sizeof(vesk_log_cnt));
    g->role = role;
    snprintf(g->id.src, sizeof(g->id.src), "%s", role == VESK_LOG_APP ? "app" : "gui");
    vesk_log_copy_config(config);
    vesk_debug_init();

    vesk_cond_init_monotonic(&g->console_wake);
    sem_init(&g->pace, 0, 0);
    vesk_log_ring_init(&g->detail_ring, g->detail_slots, VESK_LOG_DETAIL_SLOTS, NULL, &g->pace);
    vesk_log_ring_init(&g->error_ring, g->error_slots, VESK_LOG_ERROR_SLOTS, NULL, &g->pace);
    vesk_log_ring_init(&g->console_ring, g->console_slots, VESK_LOG_CONSOLE_SLOTS, &g->console_wake, NULL);
    pthread_mutex_init(&g->barrier.lock, NULL);
    pthread_mutex_init(&g->ipc_lock, NULL);
    g->listen_fd = -1;

    g->console_fd = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    if (g->console_fd < 0) return -errno;
    vesk_log_read_boot_id(g->id.boot, sizeof(g->id.boot));
    g->id.pid = (uint64_t)getpid();
    g->id.start_mono_ms = vesk_log_mono_ms();
    __atomic_store_n(&g->running, 1, __ATOMIC_RELEASE);
    if (role == VESK_LOG_APP) vesk_log_listen();

    int rc = vesk_log_threads_start();
    if (rc == 0) {
        rc = vesk_log_stdio_capture();
        if (rc != 0) vesk_log_threads_stop();
    }
    if (rc != 0) {
        if (g->listen_fd >= 0) close(g->listen_fd);
        g->listen_fd = -1;
        close(g->console_fd);
        g->console_fd = -1;
        return rc;
    }
    __atomic_store_n(&g->started, 1, __ATOMIC_RELEASE);
    return 0;
}

void vesk_log_stop(void)
{
    vesk_log_state *g = &vesk_log_g;
    if (!vesk_log_is_started()) return;
    vesk_log_stdio_release();
    vesk_log_threads_stop();
    __atomic_store_n(&g->started, 0, __ATOMIC_RELEASE);
    if (g->listen_fd >= 0) {
        close(g->listen_fd);
        unlink(g->config.vesk_socket_path);
        g->listen_fd = -1;
    }
    close(g->console_fd);
    g->console_fd = -1;
}
