// The worker's queue and outbox rules, kept apart from the threads so that
// they can be walked case by case.
#include <string.h>

#include "vesk_lrf_worker.h"

/* ---- the event queue ---------------------------------------------------- */

static int lrf_is_stop(vesk_lrf_ev_kind k)
{
    return k == VESK_LRF_EV_REQ_STOP_ACCEPT || k == VESK_LRF_EV_REQ_STOP_CANCEL;
}
static int lrf_is_critical(vesk_lrf_ev_kind k) { return lrf_is_stop(k) || k == VESK_LRF_EV_REQ_SETTINGS; }
static int lrf_same_class(vesk_lrf_ev_kind a, vesk_lrf_ev_kind b)
{
    return (lrf_is_stop(a) && lrf_is_stop(b)) || a == b;
}

static size_t lrf_slot(const vesk_lrf_worker *w, size_t i) { return (w->queue_head + i) % VESK_LRF_QUEUE_CAP; }

static void lrf_append(vesk_lrf_worker *w, const vesk_lrf_event *ev)
{
    w->queue[w->queue_tail] = *ev;
    w->queue_tail = (w->queue_tail + 1) % VESK_LRF_QUEUE_CAP;
    w->queue_count++;
}

/* A stop makes every measurement request queued behind it moot. */
static void lrf_replace_stop(vesk_lrf_worker *w, size_t match, const vesk_lrf_event *ev)
{
    vesk_lrf_event kept[VESK_LRF_QUEUE_CAP];
    size_t n = 0;
    for (size_t i = 0; i < w->queue_count; i++) {
        const vesk_lrf_event *e = &w->queue[lrf_slot(w, i)];
        if (i > match && (e->kind == VESK_LRF_EV_REQ_SINGLE || e->kind == VESK_LRF_EV_REQ_SCAN)) continue;
        kept[n++] = i == match ? *ev : *e;
    }
    memcpy(w->queue, kept, n * sizeof kept[0]);
    w->queue_head = 0;
    w->queue_tail = n % VESK_LRF_QUEUE_CAP;
    w->queue_count = n;
}

vesk_lrf_queue_result vesk_lrf_queue_event(vesk_lrf_worker *w, const vesk_lrf_event *ev)
{
    if (lrf_is_critical(ev->kind)) {
        for (size_t i = 0; i < w->queue_count; i++) {
            vesk_lrf_event *e = &w->queue[lrf_slot(w, i)];
            if (!lrf_same_class(e->kind, ev->kind)) continue;
            if (lrf_is_stop(ev->kind)) {
                lrf_replace_stop(w, i, ev);
            } else {
                *e = *ev;
            }
            return VESK_LRF_REPLACED;
        }
        if (w->queue_count >= VESK_LRF_QUEUE_CAP) return VESK_LRF_DROPPED_FULL;
    } else if (w->queue_count + VESK_LRF_QUEUE_RESERVE > VESK_LRF_QUEUE_CAP) {
        return VESK_LRF_DROPPED_RESERVE;
    }
    lrf_append(w, ev);
    return VESK_LRF_QUEUED;
}

int vesk_lrf_queue_take(vesk_lrf_worker *w, vesk_lrf_event *out)
{
    if (w->queue_count == 0) return 0;
    *out = w->queue[w->queue_head];
    w->queue_head = (w->queue_head + 1) % VESK_LRF_QUEUE_CAP;
    w->queue_count--;
    return 1;
}

/* ---- the outbox --------------------------------------------------------- */

static int lrf_msg_sub(const vesk_lrf_ui_msg *m) { return m->len >= 2 ? m->bytes[1] : 0xFF; }

static int lrf_is_result(const vesk_lrf_ui_msg *m) { return lrf_msg_sub(m) == VESK_LRF_UI_SUB_RESULT && m->len > 4; }

static vesk_lrf_ui_msg *lrf_box_at(vesk_lrf_ui_outbox *box, size_t i)
{
    return &box->queue[(box->queue_head + i) % VESK_LRF_QUEUE_CAP];
}

/* Which queued payload gives way: a scan reading first (the next one
 * supersedes it), then any result, then the oldest. */
static size_t lrf_box_victim(vesk_lrf_ui_outbox *box)
{
    for (size_t i = 0; i < box->queue_count; i++) {
        const vesk_lrf_ui_msg *m = lrf_box_at(box, i);
        if (lrf_is_result(m) && (m->bytes[4] & VESK_LRF_SESSION_SCAN) && !(m->bytes[4] & VESK_LRF_SESSION_RESENT))
            return i;
    }
    for (size_t i = 0; i < box->queue_count; i++) {
        if (lrf_is_result(lrf_box_at(box, i))) return i;
    }
    return 0;
}

int vesk_lrf_outbox_queue(vesk_lrf_ui_outbox *box, const uint8_t *payload, size_t length)
{
    vesk_lrf_ui_msg msg;
    memset(&msg, 0, sizeof msg);
    msg.len = (uint8_t)(length > VESK_LRF_ACTION_BYTES ? VESK_LRF_ACTION_BYTES : length);
    memcpy(msg.bytes, payload, msg.len);
    int sub = lrf_msg_sub(&msg);
    if (sub == VESK_LRF_UI_SUB_STATE || sub == VESK_LRF_UI_SUB_SETTINGS) {
        /* Only the latest state and settings matter to the GUI. */
        for (size_t i = 0; i < box->queue_count; i++) {
            vesk_lrf_ui_msg *m = lrf_box_at(box, i);
            if (m->len > 1 && m->bytes[1] == sub) {
                *m = msg;
                return -1;
            }
        }
    }
    int evicted = -1;
    if (box->queue_count == VESK_LRF_QUEUE_CAP) {
        size_t victim = lrf_box_victim(box);
        evicted = lrf_msg_sub(lrf_box_at(box, victim));
        for (size_t i = victim; i + 1 < box->queue_count; i++) *lrf_box_at(box, i) = *lrf_box_at(box, i + 1);
        box->queue_count--;
        box->queue_tail = (box->queue_head + box->queue_count) % VESK_LRF_QUEUE_CAP;
    }
    box->queue[box->queue_tail] = msg;
    box->queue_tail = (box->queue_tail + 1) % VESK_LRF_QUEUE_CAP;
    box->queue_count++;
    return evicted;
}

int vesk_lrf_outbox_take(vesk_lrf_ui_outbox *box, vesk_lrf_ui_msg *out)
{
    if (box->queue_count == 0) return 0;
    *out = box->queue[box->queue_head];
    box->queue_head = (box->queue_head + 1) % VESK_LRF_QUEUE_CAP;
    box->queue_count--;
    return 1;
}
