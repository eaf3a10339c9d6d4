// The "VeskLogs" files on the Media card (app role): two slot files per
// stream that take turns, each opened by a segment header naming its
// generation, so the newer slot is known after any power loss. Everything
// here runs on the app writer thread alone.
#include "vesk_board.h"
#include "vesk_debug.h"
#include "vesk_log_internal.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <string_view>

#define VESK_LOG_DIR_NAME "VeskLogs"
#define VESK_LOG_FAT_MAGIC 0x4D44
#define VESK_LOG_ROOT_MAX 299

typedef struct {
    int fd[2];
    uint64_t generation[2];
    int generation_known;
    int current; /* -1 while closed */
    uint64_t size;
    int dirty[2];
    dev_t dev[2];
    ino_t ino[2];
    char batch[VESK_LOG_BATCH_SIZE];
    size_t batch_len;
    uint64_t batch_records;
    uint64_t batch_epoch;
    uint64_t last_sync_mono_ms;
} vesk_log_stream_state;

typedef struct {
    char root[VESK_LOG_ROOT_MAX + 2];
    int require_vfat;
    const vesk_log_identity *id;
    int dir_fd;
    dev_t dir_dev;
    ino_t dir_ino;
    int paused;
    int open_failed;
    uint64_t last_check_mono_ms;
    uint64_t last_dir_sync_mono_ms;
    int dir_dirty;
    uint64_t last_health_mono_ms;
    uint64_t health_ticket;
    unsigned change_reports;
    int change_pending;
    char change_object[16];
    const char *change_reason;
    vesk_log_stream_state streams[VESK_LOG_STREAM_COUNT];
} vesk_log_media;

static vesk_log_media vesk_log_med;

static const uint64_t vesk_log_sync_period_ms[VESK_LOG_STREAM_COUNT] = {30000, 30000, 5000};

static void vesk_log_media_errno(int err) { vesk_log_set_int(&vesk_log_cnt.media_errno, err); }

static void vesk_log_sink_drop(int stream, uint64_t lines, uint64_t bytes)
{
    vesk_log_count(&vesk_log_cnt.sink_drops[stream], lines);
    vesk_log_count(&vesk_log_cnt.sink_drop_bytes[stream], bytes);
}

static void vesk_log_slot_name(int stream, int slot, char *out, size_t size)
{
    snprintf(out, size, "%s%d.log", vesk_log_stream_name(stream), slot);
}

void vesk_log_media_setup(const char *root, int require_vfat, const vesk_log_identity *id)
{
    vesk_log_media *m = &vesk_log_med;
    memset(m, 0, sizeof(*m));
    snprintf(m->root, sizeof(m->root), "%s", root);
    m->require_vfat = require_vfat;
    m->id = id;
    m->dir_fd = -1;
    for (auto &st : m->streams) {
        st.fd[0] = st.fd[1] = -1;
        st.current = -1;
    }
}

/* ---- folder ---- */

int vesk_log_media_root_check(int root_fd, const char *root)
{
    struct statfs fs;
    int rc = vesk_board_fstatfs(root_fd, &fs);
    if (rc != 0) return -errno;
    if ((unsigned long)fs.f_type != VESK_LOG_FAT_MAGIC) return -ENOTBLK;
    /* A card that is not mounted leaves its empty mount folder behind, on
     * the parent's file system: never write there. */
    char parent[VESK_LOG_ROOT_MAX + 8];
    snprintf(parent, sizeof(parent), "%s/..", root);
    struct stat self_st;
    struct stat parent_st;
    if (fstat(root_fd, &self_st) != 0 || stat(parent, &parent_st) != 0) return -errno;
    if (self_st.st_dev == parent_st.st_dev) return -ENOTBLK;
    return 0;
}

static int vesk_log_media_try_dir(void)
{
    vesk_log_media *m = &vesk_log_med;
    if (strlen(m->root) > VESK_LOG_ROOT_MAX) return -ENAMETOOLONG;
    int root_fd = open(m->root, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root_fd < 0) return -errno;
    int rc = m->require_vfat ? vesk_log_media_root_check(root_fd, m->root) : 0;
    if (rc == 0 && mkdirat(root_fd, VESK_LOG_DIR_NAME, 0755) == 0) m->dir_dirty = 1;
    int dir_fd = -1;
    if (rc == 0) {
        dir_fd = openat(root_fd, VESK_LOG_DIR_NAME, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir_fd < 0) rc = -errno;
    }
    close(root_fd);
    struct stat st;
    if (rc == 0 && fstat(dir_fd, &st) != 0) rc = -errno;
    if (rc != 0) {
        if (dir_fd >= 0) close(dir_fd);
        return rc;
    }
    m->dir_fd = dir_fd;
    m->dir_dev = st.st_dev;
    m->dir_ino = st.st_ino;
    return 0;
}

/* Opens the folder on demand; after a failure at most once every 5000 ms
 * unless forced. */
static int vesk_log_media_open_dir(uint64_t now_ms, int force)
{
    vesk_log_media *m = &vesk_log_med;
    if (m->paused) return -EBUSY;
    if (m->dir_fd >= 0) return 0;
    if (m->open_failed && !force && now_ms - m->last_check_mono_ms < VESK_LOG_MEDIA_RETRY_MS) return -EAGAIN;
    int rc = vesk_log_media_try_dir();
    m->open_failed = rc != 0;
    m->last_check_mono_ms = now_ms;
    vesk_log_media_errno(-rc);
    return rc;
}

/* ---- slot files ---- */

static int vesk_log_write_fd(int fd, const char *p, size_t len)
{
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

uint64_t vesk_log_media_parse_generation(const char *text, size_t len, int stream)
{
    const char *end = (const char *)memchr(text, '\n', len);
    std::string_view line(text, end != NULL ? (size_t)(end - text) : len);
    char want[32];
    snprintf(want, sizeof(want), "stream=%s ", vesk_log_stream_name(stream));
    if (line.find("tag=logger.segment") == line.npos || line.find("version=1 ") == line.npos ||
        line.find(want) == line.npos)
        return 0;
    size_t at = line.find("generation=");
    if (at == line.npos) return 0;
    at += strlen("generation=");
    uint64_t value = 0;
    size_t digits = 0;
    while (at + digits < line.size() && line[at + digits] >= '0' && line[at + digits] <= '9') {
        value = value * 10 + (uint64_t)(line[at + digits] - '0');
        digits++;
    }
    return digits > 0 ? value : 0;
}

static uint64_t vesk_log_read_generation(int fd, int stream)
{
    char head[1024];
    ssize_t n;
    do {
        n = pread(fd, head, sizeof(head), 0);
    } while (n < 0 && errno == EINTR);
    return n > 0 ? vesk_log_media_parse_generation(head, (size_t)n, stream) : 0;
}

static void vesk_log_media_close_stream(vesk_log_stream_state *st, int stream, int card_change)
{
    if (st->batch_len > 0) vesk_log_sink_drop(stream, st->batch_records, st->batch_len);
    st->batch_len = 0;
    st->batch_records = 0;
    st->batch_epoch = 0;
    for (int s = 0; s < 2; s++) {
        if (st->fd[s] >= 0) close(st->fd[s]);
        st->fd[s] = -1;
        st->dirty[s] = 0;
    }
    st->current = -1;
    if (card_change) st->generation_known = 0;
}

void vesk_log_media_close(int card_change)
{
    vesk_log_media *m = &vesk_log_med;
    for (int i = 0; i < VESK_LOG_STREAM_COUNT; i++) vesk_log_media_close_stream(&m->streams[i], i, card_change);
    if (m->dir_fd >= 0) close(m->dir_fd);
    m->dir_fd = -1;
    m->dir_dirty = 0;
}

static int vesk_log_media_fail(int rc)
{
    vesk_log_media_errno(-rc);
    vesk_log_media_close(0);
    return rc;
}

/* Truncates the slot and writes its segment header. */
static int vesk_log_media_start_segment(int stream, int slot, uint64_t generation)
{
    vesk_log_media *m = &vesk_log_med;
    vesk_log_stream_state *st = &m->streams[stream];
    static vesk_log_line header;
    char msg[64];
    int n = snprintf(msg, sizeof(msg), "version=1 stream=%s generation=%llu", vesk_log_stream_name(stream),
                     (unsigned long long)generation);
    vesk_log_prefix_ctx ctx;
    ctx.mono_ms = vesk_log_mono_ms();
    ctx.wall_valid = vesk_log_wall_ms(&ctx.wall_ms);
    ctx.seq = vesk_log_next_seq();
    ctx.level = VESK_LOG_DETAIL;
    ctx.tag = "logger.segment";
    ctx.flags = 0;
    ctx.epoch = 0;
    vesk_log_line_build(m->id, &ctx, msg, (size_t)n, 0, &header);
    if (ftruncate(st->fd[slot], 0) != 0) return -errno;
    int rc = vesk_log_write_fd(st->fd[slot], header.text, header.len);
    if (rc != 0) return rc;
    st->generation[slot] = generation;
    st->current = slot;
    st->size = header.len;
    st->dirty[slot] = 1;
    m->dir_dirty = 1;
    return 0;
}

static int vesk_log_media_open_slot(int stream, int slot)
{
    vesk_log_media *m = &vesk_log_med;
    vesk_log_stream_state *st = &m->streams[stream];
    char name[32];
    vesk_log_slot_name(stream, slot, name, sizeof(name));
    int fd = openat(m->dir_fd, name, O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
        m->dir_dirty = 1;
    } else if (errno == EEXIST) {
        fd = openat(m->dir_fd, name, O_RDWR | O_APPEND | O_CLOEXEC);
    }
    if (fd < 0) return -errno;
    struct stat sb;
    if (fstat(fd, &sb) != 0) {
        int rc = -errno;
        close(fd);
        return rc;
    }
    st->fd[slot] = fd;
    st->dev[slot] = sb.st_dev;
    st->ino[slot] = sb.st_ino;
    return 0;
}

static int vesk_log_media_open_stream(int stream, uint64_t now_ms, int force)
{
    vesk_log_media *m = &vesk_log_med;
    vesk_log_stream_state *st = &m->streams[stream];
    if (st->current >= 0 && m->dir_fd >= 0) return 0;
    int rc = vesk_log_media_open_dir(now_ms, force);
    if (rc != 0) return rc;
    for (int s = 0; s < 2 && rc == 0; s++) {
        if (st->fd[s] < 0) rc = vesk_log_media_open_slot(stream, s);
    }
    if (rc != 0) return vesk_log_media_fail(rc);
    if (!st->generation_known) {
        st->generation[0] = vesk_log_read_generation(st->fd[0], stream);
        st->generation[1] = vesk_log_read_generation(st->fd[1], stream);
        st->generation_known = 1;
    }
    if (st->generation[0] == 0 && st->generation[1] == 0) {
        rc = vesk_log_media_start_segment(stream, 0, 1);
        if (rc != 0) return vesk_log_media_fail(rc);
    } else {
        int slot = st->generation[1] > st->generation[0] ? 1 : 0;
        struct stat sb;
        if (fstat(st->fd[slot], &sb) != 0) return vesk_log_media_fail(-errno);
        st->current = slot;
        st->size = (uint64_t)sb.st_size;
    }
    st->last_sync_mono_ms = now_ms;
    return 0;
}

int vesk_log_media_open_all(uint64_t now_ms, int force)
{
    for (int i = 0; i < VESK_LOG_STREAM_COUNT; i++) {
        int rc = vesk_log_media_open_stream(i, now_ms, force);
        if (rc != 0) return rc;
    }
    return 0;
}

/* ---- batches ---- */

/* Writes the stream's batch to its current slot. 0; -EAGAIN when debug mode
 * changed under a batch of DETAIL lines (dropped as suppressed); another
 * negative errno when the card failed (all files closed). */
static int vesk_log_media_write_batch(int stream)
{
    vesk_log_stream_state *st = &vesk_log_med.streams[stream];
    if (st->batch_len == 0) return 0;
    int rc = 0;
    if (st->batch_epoch != 0 && st->batch_epoch != vesk_debug_epoch()) {
        rc = -EAGAIN;
    } else {
        const char *p = st->batch;
        size_t left = st->batch_len;
        while (left > 0) {
            ssize_t n = write(st->fd[st->current], p, left);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                rc = -errno;
                break;
            }
            p += n;
            left -= (size_t)n;
            st->size += (uint64_t)n;
            st->dirty[st->current] = 1;
            if (left > 0 && st->batch_epoch != 0 && st->batch_epoch != vesk_debug_epoch()) {
                rc = -EAGAIN;
                break;
            }
        }
    }
    if (rc == -EAGAIN) vesk_log_count(&vesk_log_cnt.suppressed, st->batch_records);
    if (rc == 0 || rc == -EAGAIN) {
        st->batch_len = 0;
        st->batch_records = 0;
        st->batch_epoch = 0;
        return rc;
    }
    return vesk_log_media_fail(rc);
}

static int vesk_log_media_rotate(int stream)
{
    vesk_log_stream_state *st = &vesk_log_med.streams[stream];
    int rc = vesk_log_media_write_batch(stream);
    if (rc != 0 && rc != -EAGAIN) return rc;
    uint64_t top = st->generation[0] > st->generation[1] ? st->generation[0] : st->generation[1];
    rc = vesk_log_media_start_segment(stream, 1 - st->current, top + 1);
    return rc != 0 ? vesk_log_media_fail(rc) : 0;
}

/* A batch write that only dropped a stale batch is no failure here. */
static int vesk_log_media_write_out(int stream)
{
    int rc = vesk_log_media_write_batch(stream);
    return rc == -EAGAIN ? 0 : rc;
}

int vesk_log_media_put(const vesk_log_line *line, uint64_t now_ms, int counted)
{
    int stream = line->stream;
    size_t len = line->len < VESK_LOG_BATCH_SIZE ? line->len : VESK_LOG_BATCH_SIZE;
    vesk_log_stream_state *st = &vesk_log_med.streams[stream];
    int detail = line->epoch != 0;
    int rc = vesk_log_media_open_stream(stream, now_ms, 0);
    if (rc == 0 && st->batch_epoch != 0 && detail && line->epoch != st->batch_epoch) {
        rc = vesk_log_media_write_out(stream);
    }
    if (rc == 0 && st->batch_len + len > VESK_LOG_BATCH_SIZE) rc = vesk_log_media_write_out(stream);
    if (rc == 0 && detail && line->epoch != vesk_debug_epoch()) {
        vesk_log_count(&vesk_log_cnt.suppressed, 1);
        return 0;
    }
    if (rc == 0 && st->size + st->batch_len + len > VESK_LOG_SEGMENT_LIMIT) rc = vesk_log_media_rotate(stream);
    if (rc != 0) {
        if (counted) vesk_log_sink_drop(stream, 1, line->len);
        return rc;
    }
    memcpy(st->batch + st->batch_len, line->text, len);
    st->batch_len += len;
    st->batch_records++;
    if (detail && st->batch_epoch == 0) st->batch_epoch = line->epoch;
    return 0;
}

/* ---- synchronisation ---- */

int vesk_log_media_checkpoint(int force, uint64_t now_ms)
{
    vesk_log_media *m = &vesk_log_med;
    int rc = 0;
    for (int i = 0; i < VESK_LOG_STREAM_COUNT; i++) {
        int wr = vesk_log_media_write_batch(i);
        if (wr != 0 && wr != -EAGAIN) rc = -EIO;
    }
    for (int i = 0; i < VESK_LOG_STREAM_COUNT; i++) {
        vesk_log_stream_state *st = &m->streams[i];
        if (st->current < 0 || (!st->dirty[0] && !st->dirty[1])) continue;
        if (!force && now_ms - st->last_sync_mono_ms < vesk_log_sync_period_ms[i]) continue;
        for (int s = 0; s < 2; s++) {
            if (!st->dirty[s]) continue;
            if (fsync(st->fd[s]) != 0) {
                rc = -EIO;
                vesk_log_media_errno(errno);
            }
            st->dirty[s] = 0;
        }
        st->last_sync_mono_ms = now_ms;
    }
    if (m->dir_fd >= 0 && m->dir_dirty && (force || now_ms - m->last_dir_sync_mono_ms >= VESK_LOG_MEDIA_RETRY_MS)) {
        if (fsync(m->dir_fd) != 0 && errno != EINVAL && errno != EOPNOTSUPP) {
            rc = -EIO;
            vesk_log_media_errno(errno);
        }
        m->dir_dirty = 0;
        m->last_dir_sync_mono_ms = now_ms;
    }
    return rc;
}

/* ---- pause ---- */

void vesk_log_media_pause(int paused)
{
    vesk_log_media *m = &vesk_log_med;
    if (paused) vesk_log_media_close(0);
    m->paused = paused;
    m->open_failed = 0;
    vesk_log_set_int(&vesk_log_cnt.media_paused, paused);
}

int vesk_log_media_is_paused(void) { return vesk_log_med.paused; }

/* ---- card changes ---- */

/* "unlinked", "missing", "replaced" or null for the file behind fd, which
 * should be at name under dir_fd (or the path when dir_fd is AT_FDCWD). */
static const char *vesk_log_media_change_of(int fd, int dir_fd, const char *name, dev_t dev, ino_t ino)
{
    struct stat sb;
    if (fstat(fd, &sb) == 0 && sb.st_nlink == 0) return "unlinked";
    if (fstatat(dir_fd, name, &sb, 0) != 0) return errno == ENOENT || errno == ENOTDIR ? "missing" : NULL;
    if (sb.st_dev != dev || sb.st_ino != ino) return "replaced";
    return NULL;
}

static int vesk_log_media_find_change(void)
{
    vesk_log_media *m = &vesk_log_med;
    char path[sizeof(m->root) + sizeof(VESK_LOG_DIR_NAME) + 1];
    snprintf(path, sizeof(path), "%.*s/%s", (int)sizeof(m->root) - 1, m->root, VESK_LOG_DIR_NAME);
    const char *reason = vesk_log_media_change_of(m->dir_fd, AT_FDCWD, path, m->dir_dev, m->dir_ino);
    if (reason != NULL) {
        snprintf(m->change_object, sizeof(m->change_object), "%s", VESK_LOG_DIR_NAME);
        m->change_reason = reason;
        return 1;
    }
    for (int i = 0; i < VESK_LOG_STREAM_COUNT; i++) {
        vesk_log_stream_state *st = &m->streams[i];
        for (int s = 0; s < 2; s++) {
            if (st->fd[s] < 0) continue;
            char name[sizeof(m->change_object)];
            vesk_log_slot_name(i, s, name, sizeof(name));
            reason = vesk_log_media_change_of(st->fd[s], m->dir_fd, name, st->dev[s], st->ino[s]);
            if (reason != NULL) {
                snprintf(m->change_object, sizeof(m->change_object), "%s", name);
                m->change_reason = reason;
                return 1;
            }
        }
    }
    return 0;
}

int vesk_log_media_health(uint64_t now_ms, uint64_t barrier_ticket, char *report, size_t size)
{
    vesk_log_media *m = &vesk_log_med;
    int new_barrier = barrier_ticket != 0 && barrier_ticket != m->health_ticket;
    m->health_ticket = barrier_ticket;
    if (!m->change_pending && !new_barrier && now_ms - m->last_health_mono_ms < VESK_LOG_MEDIA_RETRY_MS) return 0;
    m->last_health_mono_ms = now_ms;
    if (m->dir_fd >= 0 && !m->paused && vesk_log_media_find_change()) {
        m->change_reports++;
        m->change_pending = 1;
        vesk_log_media_close(1);
    }
    if (!m->change_pending || m->paused) return 0;
    if (vesk_log_media_open_all(now_ms, 0) != 0) return 0;
    m->change_pending = 0;
    snprintf(report, size, "reopened after external change object=%s reason=%s changes=%u", m->change_object,
             m->change_reason, m->change_reports);
    return 1;
}
