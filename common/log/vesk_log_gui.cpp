// The GUI role's primary thread: sends every line over the log socket to
// the app role, which writes them to the Media files. At most one packet
// waits for a full or missing socket; what cannot wait is counted.
#include "vesk_debug.h"
#include "vesk_log_internal.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

typedef struct {
    int has_pending;
    size_t send_len;
    int uncounted; /* a loss report: its own loss is not counted */
    vesk_log_wire_packet pkt;
} vesk_log_pending_send;

typedef struct {
    int fd;
    int tried;
    uint64_t last_connect_ms;
    int sent_epoch_known;
    uint64_t sent_epoch;
    int cutoff_pending;
    uint64_t cutoff_ticket;
    uint64_t cutoff_cut[2]; /* records pushed to the error and detail rings before the cut-off */
    vesk_log_pending_send pending;
    vesk_log_wire_packet rx;
} vesk_log_gui;

static vesk_log_gui vesk_log_gui_st;

static void vesk_log_gui_drop(void)
{
    vesk_log_gui *s = &vesk_log_gui_st;
    if (s->fd >= 0) close(s->fd);
    s->fd = -1;
    vesk_log_set_int(&vesk_log_cnt.peer_connected, 0);
}

static void vesk_log_gui_connect(uint64_t now)
{
    vesk_log_gui *s = &vesk_log_gui_st;
    if (s->fd >= 0 || (s->tried && now - s->last_connect_ms < VESK_LOG_CONNECT_RETRY_MS)) return;
    s->tried = 1;
    s->last_connect_ms = now;
    int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    vesk_log_wire_buffers(fd);
    struct sockaddr_un addr;
    memset(&addr, 0, sizeof(addr));
    addr.sun_family = AF_UNIX;
    snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", vesk_log_g.config.vesk_socket_path);
    if (connect(fd, (const struct sockaddr *)&addr, sizeof(addr)) != 0) {
        close(fd);
        return;
    }
    s->fd = fd;
    s->sent_epoch_known = 0;
    vesk_log_set_int(&vesk_log_cnt.peer_connected, 1);
}

/* 0 sent, -EAGAIN to be tried again, else the socket broke (and is dropped). */
static int vesk_log_gui_send(const vesk_log_wire_packet *pkt)
{
    vesk_log_gui *s = &vesk_log_gui_st;
    if (s->fd < 0) return -EAGAIN;
    int rc = vesk_log_wire_send(s->fd, pkt);
    if (rc != 0 && rc != -EAGAIN) vesk_log_gui_drop();
    return rc;
}

static void vesk_log_gui_hold(const vesk_log_wire_packet *pkt, int uncounted)
{
    vesk_log_pending_send *p = &vesk_log_gui_st.pending;
    p->send_len = VESK_LOG_WIRE_HEAD + pkt->line_len;
    memcpy(&p->pkt, pkt, p->send_len);
    p->uncounted = uncounted;
    p->has_pending = 1;
}

/* Every line becomes a LINE packet; the first one that cannot go out
 * waits, and the rest of its record is counted as lost. */
static int vesk_log_gui_sink(void *ctx, const vesk_log_line *line)
{
    vesk_log_gui *s = &vesk_log_gui_st;
    int counted = ctx == NULL;
    if (s->pending.has_pending) {
        if (counted) {
            vesk_log_count(&vesk_log_cnt.sink_drops[line->stream], 1);
            vesk_log_count(&vesk_log_cnt.sink_drop_bytes[line->stream], line->len);
        }
        return -EAGAIN;
    }
    vesk_log_wire_packet *pkt = &s->rx; /* free between receive passes */
    vesk_log_wire_init(pkt, VESK_LOG_WIRE_LINE, line->stream, vesk_debug_epoch(), (uint32_t)line->len);
    memcpy(pkt->line, line->text, line->len);
    if (vesk_log_gui_send(pkt) != 0) vesk_log_gui_hold(pkt, !counted);
    return 0;
}

static void vesk_log_gui_receive(void)
{
    vesk_log_gui *s = &vesk_log_gui_st;
    while (s->fd >= 0) {
        int rc = vesk_log_wire_recv(s->fd, &s->rx);
        if (rc == 0) break;
        if (rc == -EPIPE) vesk_log_gui_drop();
        if (rc != 1 || s->rx.kind != VESK_LOG_WIRE_CUTOFF) continue;
        s->cutoff_pending = 1;
        s->cutoff_ticket = s->rx.epoch;
        s->cutoff_cut[0] = vesk_log_ring_pushed(&vesk_log_g.error_ring);
        s->cutoff_cut[1] = vesk_log_ring_pushed(&vesk_log_g.detail_ring);
    }
}

static void vesk_log_gui_resend(void)
{
    vesk_log_gui *s = &vesk_log_gui_st;
    vesk_log_pending_send *p = &s->pending;
    if (!p->has_pending) return;
    if (p->pkt.kind == VESK_LOG_WIRE_LINE && p->pkt.stream == VESK_LOG_GUI_STREAM &&
        p->pkt.epoch != vesk_debug_epoch()) {
        vesk_log_count(&vesk_log_cnt.suppressed, 1);
        p->has_pending = 0;
        return;
    }
    if (vesk_log_gui_send(&p->pkt) != 0) return;
    if (p->pkt.kind == VESK_LOG_WIRE_CONTROL) {
        s->sent_epoch = p->pkt.epoch;
        s->sent_epoch_known = 1;
    }
    p->has_pending = 0;
}

static void vesk_log_gui_control(void)
{
    vesk_log_gui *s = &vesk_log_gui_st;
    uint64_t epoch = vesk_debug_epoch();
    if (s->pending.has_pending || (s->sent_epoch_known && s->sent_epoch == epoch)) return;
    vesk_log_wire_packet *pkt = &s->rx;
    vesk_log_wire_init(pkt, VESK_LOG_WIRE_CONTROL, 0, epoch, 0);
    if (vesk_log_gui_send(pkt) == 0) {
        s->sent_epoch = epoch;
        s->sent_epoch_known = 1;
    } else {
        vesk_log_gui_hold(pkt, 1);
    }
}

static void vesk_log_gui_ack(void)
{
    vesk_log_gui *s = &vesk_log_gui_st;
    if (!s->cutoff_pending || s->pending.has_pending) return;
    if (vesk_log_g.error_ring.popped < s->cutoff_cut[0] || vesk_log_g.detail_ring.popped < s->cutoff_cut[1]) return;
    if (s->fd < 0) {
        s->cutoff_pending = 0; /* the barrier's side has gone; a new connection gets a new cut-off */
        return;
    }
    vesk_log_wire_packet *pkt = &s->rx;
    vesk_log_wire_init(pkt, VESK_LOG_WIRE_CUTOFF_ACK, 0, s->cutoff_ticket, 0);
    int rc = vesk_log_gui_send(pkt);
    if (rc != -EAGAIN) s->cutoff_pending = 0;
}

static void vesk_log_gui_pass(void)
{
    vesk_log_gui *s = &vesk_log_gui_st;
    vesk_log_primary *p = &vesk_log_pri;
    const int *blocked = &s->pending.has_pending;
    vesk_log_gui_connect(p->now_ms);
    vesk_log_gui_receive();
    vesk_log_gui_resend();
    vesk_log_gui_control();
    vesk_log_ipc_tick(s->cutoff_pending);
    vesk_log_primary_take(&vesk_log_g.error_ring, VESK_LOG_ERROR_SLOTS, blocked);
    vesk_log_primary_take(&vesk_log_g.detail_ring, VESK_LOG_DETAIL_SLOTS, blocked);
    if (!*blocked) vesk_log_primary_flush_stitches(s->cutoff_pending);
    /* The GUI's own sink losses are reported too: nothing is lost unseen. */
    if (!*blocked) vesk_log_primary_loss_reports(1);
    vesk_log_gui_ack();
}

void vesk_log_gui_run(void)
{
    vesk_log_gui *s = &vesk_log_gui_st;
    memset(s, 0, sizeof(*s));
    s->fd = -1;
    vesk_log_primary_init(vesk_log_gui_sink);
    do {
        vesk_log_gui_pass();
    } while (vesk_log_primary_pace());
    /* Last words: what still fits goes out, the rest is counted. */
    vesk_log_gui_resend();
    vesk_log_ipc_tick(1);
    vesk_log_primary_take_all();
    vesk_log_primary_flush_stitches(1);
    vesk_log_gui_drop();
}
