// The app role's primary thread: writes every line to the Media files,
// takes the GUI's lines from the log socket, and serves barriers (FLUSH,
// PAUSE_MEDIA) for the callers that must know the log is on the card or
// the card is free.
#include "vesk_debug.h"
#include "vesk_log_internal.h"

#include <errno.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

typedef struct {
    uint64_t noted_epoch;
    int discard_pass; /* GUI lines in flight when debug mode changed are not written */
    uint64_t seen_media_epoch;
    int peer_fd;
    int peer_epoch_known;
    uint64_t peer_epoch;
    uint64_t serving_ticket;
    int cutoff_sent;
    int cutoff_acked;
    vesk_log_wire_packet pkt;
    vesk_log_line gui_line;
} vesk_log_app;

static vesk_log_app vesk_log_app_st;

/* ---- wire, shared with the GUI role ---- */

void vesk_log_wire_init(vesk_log_wire_packet *pkt, int kind, int stream, uint64_t epoch, uint32_t line_len)
{
    memset(pkt, 0, VESK_LOG_WIRE_HEAD);
    pkt->magic = VESK_LOG_WIRE_MAGIC;
    pkt->version = VESK_LOG_WIRE_VERSION;
    pkt->kind = (uint16_t)kind;
    pkt->stream = (uint16_t)stream;
    pkt->epoch = epoch;
    pkt->line_len = line_len;
}

int vesk_log_wire_send(int fd, const vesk_log_wire_packet *pkt)
{
    for (;;) {
        ssize_t n = send(fd, pkt, VESK_LOG_WIRE_HEAD + pkt->line_len, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n >= 0) return 0;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS) return -EAGAIN;
        return -errno;
    }
}

int vesk_log_wire_recv(int fd, vesk_log_wire_packet *pkt)
{
    for (;;) {
        ssize_t n = recv(fd, pkt, sizeof(*pkt), MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
        if (n <= 0) return -EPIPE;
        /* The packet's tail padding arrives too, so the message size alone
         * lets line_len run a few bytes past the line: bound it by the line
         * buffer it is copied from and into as well. */
        if ((size_t)n < VESK_LOG_WIRE_HEAD || pkt->magic != VESK_LOG_WIRE_MAGIC ||
            pkt->version != VESK_LOG_WIRE_VERSION || pkt->line_len > (size_t)n - VESK_LOG_WIRE_HEAD ||
            pkt->line_len > sizeof(pkt->line))
            return -EBADMSG;
        return 1;
    }
}

void vesk_log_wire_buffers(int fd)
{
    int size = VESK_LOG_SOCK_BUF;
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof(size));
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof(size));
}

/* ---- lines to the files ---- */

static int vesk_log_app_sink(void *ctx, const vesk_log_line *line)
{
    return vesk_log_media_put(line, vesk_log_pri.now_ms, ctx == NULL);
}

/* ---- the GUI peer ---- */

static void vesk_log_app_drop_peer(void)
{
    vesk_log_app *a = &vesk_log_app_st;
    if (a->peer_fd >= 0) close(a->peer_fd);
    a->peer_fd = -1;
    vesk_log_set_int(&vesk_log_cnt.peer_connected, 0);
}

/* True when a connection waits. An accept with none waiting still makes
 * and throws away a socket in the kernel, every pass: asking first is far
 * cheaper while no GUI comes. */
static bool vesk_log_app_connection_waits(int listen_fd)
{
    struct pollfd p = {listen_fd, POLLIN, 0};
    int rc;
    do rc = poll(&p, 1, 0);
    while (rc < 0 && errno == EINTR);
    return rc != 0; /* a failed poll leaves it to accept to say */
}

static void vesk_log_app_accept(void)
{
    vesk_log_app *a = &vesk_log_app_st;
    if (vesk_log_g.listen_fd < 0 || !vesk_log_app_connection_waits(vesk_log_g.listen_fd)) return;
    for (;;) {
        int fd = accept4(vesk_log_g.listen_fd, NULL, NULL, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR) continue;
            return;
        }
        /* A GUI that restarted comes back on a new connection: the newest wins. */
        vesk_log_app_drop_peer();
        a->peer_fd = fd;
        a->peer_epoch_known = 0;
        a->cutoff_sent = 0;
        vesk_log_wire_buffers(fd);
        vesk_log_set_int(&vesk_log_cnt.peer_connected, 1);
    }
}

/* A GUI line is one finished line; anything after its first line feed
 * would forge further lines, so it ends there. */
static void vesk_log_app_gui_line(const vesk_log_wire_packet *pkt, uint64_t epoch)
{
    vesk_log_app *a = &vesk_log_app_st;
    vesk_log_line *line = &a->gui_line;
    static_assert(sizeof(line->text) == sizeof(pkt->line), "a GUI line fits the line it becomes");
    const size_t avail = pkt->line_len < sizeof(pkt->line) ? pkt->line_len : sizeof(pkt->line);
    const char *lf = (const char *)memchr(pkt->line, '\n', avail);
    size_t len = lf != NULL ? (size_t)(lf - pkt->line) + 1 : avail;
    if (lf == NULL && len > sizeof(line->text) - 1) len = sizeof(line->text) - 1;
    memcpy(line->text, pkt->line, len);
    if (lf == NULL) line->text[len++] = '\n';
    line->len = len;
    line->stream = (vesk_log_stream)pkt->stream;
    line->epoch = epoch;
    vesk_log_media_put(line, vesk_log_pri.now_ms, 1);
}

static void vesk_log_app_packet(const vesk_log_wire_packet *pkt)
{
    vesk_log_app *a = &vesk_log_app_st;
    uint64_t local = vesk_debug_epoch();
    switch (pkt->kind) {
    case VESK_LOG_WIRE_CONTROL:
        a->peer_epoch = pkt->epoch;
        a->peer_epoch_known = 1;
        if (local != 0) {
            vesk_log_emit_now(&vesk_log_pri.em, VESK_LOG_GUI_STREAM, VESK_LOG_DETAIL, "logger.gui", local,
                              "gui connected epoch=%llu", (unsigned long long)pkt->epoch);
        } else {
            vesk_log_count(&vesk_log_cnt.suppressed, 1);
        }
        break;
    case VESK_LOG_WIRE_LINE:
        if (pkt->line_len == 0) break;
        if (pkt->stream == VESK_LOG_ERRORS_STREAM) {
            vesk_log_app_gui_line(pkt, 0);
        } else if (pkt->stream == VESK_LOG_GUI_STREAM) {
            if (local == 0 || a->discard_pass || (a->peer_epoch_known && a->peer_epoch != pkt->epoch)) {
                vesk_log_count(&vesk_log_cnt.suppressed, 1);
            } else {
                vesk_log_app_gui_line(pkt, local);
            }
        }
        break;
    case VESK_LOG_WIRE_CUTOFF_ACK:
        if (a->cutoff_sent && pkt->epoch == a->serving_ticket) a->cutoff_acked = 1;
        break;
    default:
        break;
    }
}

/* Bounded, so a GUI that never stops talking cannot starve the files. */
#define VESK_LOG_RECV_PER_PASS 4096

static void vesk_log_app_receive(void)
{
    vesk_log_app *a = &vesk_log_app_st;
    for (int i = 0; i < VESK_LOG_RECV_PER_PASS && a->peer_fd >= 0; i++) {
        int rc = vesk_log_wire_recv(a->peer_fd, &a->pkt);
        if (rc == 0) break;
        if (rc == -EPIPE) vesk_log_app_drop_peer();
        if (rc == 1) vesk_log_app_packet(&a->pkt);
    }
    a->discard_pass = 0;
}

/* ---- barriers ---- */

static void vesk_log_barrier_finish(uint64_t ticket, int kind, int rc)
{
    vesk_log_barrier *b = &vesk_log_g.barrier;
    vesk_log_app *a = &vesk_log_app_st;
    pthread_mutex_lock(&b->lock);
    if (b->active_ticket == ticket) {
        /* A resume that came in while this pause was served cancels it. */
        if (kind == VESK_LOG_PAUSE_MEDIA && b->media_epoch == a->seen_media_epoch) vesk_log_media_pause(1);
        if (rc == 0) {
            b->done = 1;
        } else {
            b->failed = 1;
        }
    }
    pthread_mutex_unlock(&b->lock);
}

static void vesk_log_app_serve_barrier(void)
{
    vesk_log_app *a = &vesk_log_app_st;
    vesk_log_barrier *b = &vesk_log_g.barrier;
    pthread_mutex_lock(&b->lock);
    uint64_t ticket = b->active_ticket;
    int kind = b->kind;
    uint64_t deadline = b->deadline_ms;
    int finished = b->done || b->failed;
    pthread_mutex_unlock(&b->lock);
    if (ticket == 0 || finished || vesk_log_pri.now_ms >= deadline) return;
    if (ticket != a->serving_ticket) {
        a->serving_ticket = ticket;
        a->cutoff_sent = 0;
        a->cutoff_acked = 0;
    }
    vesk_log_ipc_tick(1);
    vesk_log_primary_take_all();
    vesk_log_primary_flush_stitches(1);
    if (a->peer_fd >= 0 && !a->cutoff_acked) {
        if (!a->cutoff_sent) {
            vesk_log_wire_init(&a->pkt, VESK_LOG_WIRE_CUTOFF, 0, ticket, 0);
            int rc = vesk_log_wire_send(a->peer_fd, &a->pkt);
            if (rc == 0) {
                a->cutoff_sent = 1;
            } else if (rc != -EAGAIN) {
                vesk_log_app_drop_peer();
            }
        }
        if (a->peer_fd >= 0) return;
    }
    uint64_t now = vesk_log_pri.now_ms;
    int rc;
    if (kind == VESK_LOG_FLUSH) {
        /* Lines that never reached a card are not durable: without a card
         * the barrier stays pending and ends at its deadline. */
        if (!vesk_log_media_is_paused() && vesk_log_media_open_all(now, 1) != 0) return;
        rc = vesk_log_media_checkpoint(1, now);
    } else {
        rc = vesk_log_media_checkpoint(1, now);
        vesk_log_media_close(0);
    }
    vesk_log_barrier_finish(ticket, kind, rc);
}

int vesk_log_request(vesk_log_barrier_kind kind, uint64_t deadline_ms, uint64_t *ticket)
{
    if (ticket == NULL || (kind != VESK_LOG_FLUSH && kind != VESK_LOG_PAUSE_MEDIA)) return -EINVAL;
    if (vesk_log_is_started() && vesk_log_g.role == VESK_LOG_GUI) return -EOPNOTSUPP;
    if (!vesk_log_is_started()) return -ENODEV;
    vesk_log_barrier *b = &vesk_log_g.barrier;
    pthread_mutex_lock(&b->lock);
    if (b->active_ticket != 0) {
        pthread_mutex_unlock(&b->lock);
        return -EBUSY;
    }
    b->next_ticket++;
    if (b->next_ticket == 0) b->next_ticket = 1;
    b->active_ticket = b->next_ticket;
    b->kind = kind;
    b->deadline_ms = deadline_ms;
    b->done = 0;
    b->failed = 0;
    *ticket = b->active_ticket;
    pthread_mutex_unlock(&b->lock);
    vesk_log_kick();
    return 0;
}

int vesk_log_poll(uint64_t ticket)
{
    if (ticket == 0) return -EINVAL;
    if (!vesk_log_is_started()) return -ENODEV;
    vesk_log_barrier *b = &vesk_log_g.barrier;
    pthread_mutex_lock(&b->lock);
    int rc;
    if (ticket != b->active_ticket) {
        rc = -ESTALE;
    } else if (b->done) {
        rc = 1;
    } else if (b->failed) {
        rc = -EIO;
    } else if (vesk_log_mono_ms() >= b->deadline_ms) {
        rc = -ETIMEDOUT;
    } else {
        rc = 0;
    }
    if (rc != 0 && rc != -ESTALE) b->active_ticket = 0;
    pthread_mutex_unlock(&b->lock);
    return rc;
}

void vesk_log_resume_media(void)
{
    if (!vesk_log_is_started() || vesk_log_g.role != VESK_LOG_APP) return;
    vesk_log_barrier *b = &vesk_log_g.barrier;
    pthread_mutex_lock(&b->lock);
    b->media_epoch++;
    if (b->active_ticket != 0 && b->kind == VESK_LOG_PAUSE_MEDIA) b->active_ticket = 0;
    pthread_mutex_unlock(&b->lock);
    vesk_log_kick();
}

/* ---- the loop ---- */

static void vesk_log_app_pass(void)
{
    vesk_log_app *a = &vesk_log_app_st;
    vesk_log_primary *p = &vesk_log_pri;
    vesk_log_barrier *b = &vesk_log_g.barrier;

    uint64_t epoch = vesk_debug_epoch();
    if (epoch != a->noted_epoch) {
        a->noted_epoch = epoch;
        if (epoch != vesk_debug_first_epoch()) a->discard_pass = 1;
    }

    pthread_mutex_lock(&b->lock);
    uint64_t media_epoch = b->media_epoch;
    uint64_t ticket = b->active_ticket;
    pthread_mutex_unlock(&b->lock);
    if (media_epoch != a->seen_media_epoch) {
        a->seen_media_epoch = media_epoch;
        vesk_log_media_pause(0);
    }

    char report[160];
    if (vesk_log_media_health(p->now_ms, ticket, report, sizeof(report))) {
        vesk_log_printf(VESK_LOG_ERROR, "logger.media", "%s", report);
    }
    vesk_log_app_accept();
    vesk_log_app_receive();
    vesk_log_ipc_tick(0);
    vesk_log_primary_take(&vesk_log_g.error_ring, VESK_LOG_ERROR_SLOTS, NULL);
    vesk_log_primary_take(&vesk_log_g.detail_ring, VESK_LOG_DETAIL_SLOTS, NULL);
    vesk_log_primary_flush_stitches(0);
    vesk_log_app_serve_barrier();
    vesk_log_primary_loss_reports(1);
    vesk_log_media_checkpoint(0, p->now_ms);
}

void vesk_log_app_run(void)
{
    vesk_log_app *a = &vesk_log_app_st;
    memset(a, 0, sizeof(*a));
    a->peer_fd = -1;
    vesk_log_primary_init(vesk_log_app_sink);
    vesk_log_media_setup(vesk_log_g.config.vesk_media_root, vesk_log_g.config.vesk_require_vfat, &vesk_log_g.id);
    do {
        vesk_log_app_pass();
    } while (vesk_log_primary_pace());
    vesk_log_ipc_tick(1);
    vesk_log_primary_take_all();
    vesk_log_primary_flush_stitches(1);
    vesk_log_pri.now_ms = vesk_log_mono_ms();
    vesk_log_pri.last_loss_ms = 0;
    vesk_log_primary_loss_reports(1);
    vesk_log_media_checkpoint(1, vesk_log_pri.now_ms);
    vesk_log_media_close(0);
    vesk_log_app_drop_peer();
}
