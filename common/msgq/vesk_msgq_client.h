// The one client of the two System V queues that sightd and sightui share:
// building and sending a record, the receive loop that hands each complete
// record to its owner, and the send-failure limiter. Each program keeps its
// own entry points (Qel_*) around it; the queues and records are the same.
#pragma once

#include <signal.h>
#include <stdint.h>

#include "vesk_msgq.h"

/* Builds one record (context zero-padded) and queues it without waiting.
 * 0, or -1 with errno: EINVAL for a frame longer than the record holds or
 * missing bytes, otherwise as msgsnd left it (EAGAIN on a full queue). */
int vesk_msgq_send(int queue, long mtype, uint8_t type, uint8_t command, const void *frame, uint32_t length);

typedef void (*vesk_msgq_deliver)(Qel_MsgText *text, void *ctx);

/* One reader of one message type on one queue. */
typedef struct {
    int queue;
    long mtype;
    vesk_msgq_deliver deliver;
    void *ctx;
    /* Tested before each receive when set: the GUI stops its reports on a
     * termination signal. */
    const volatile sig_atomic_t *stop;
    /* A pause after each delivery, in microseconds (0: none). */
    unsigned pause_us;
    /* Records taken out and dropped, counted with atomic adds. */
    uint64_t oversized;  /* longer than a record: drained so the queue moves on */
    uint64_t incomplete; /* shorter than their own length field */
} vesk_msgq_listener;

/* Receives and delivers until the queue is removed or *stop is set. A record
 * longer than the buffer would stay at the head and fail every later receive
 * (E2BIG), so it is taken out truncated and dropped; a record shorter than
 * its length field is dropped; any other failure but EINTR backs off 10 ms
 * and receives again. Neither kind of drop ends the listener. */
void vesk_msgq_listen(vesk_msgq_listener *listener);

/* The send-failure limiter: the first failure of a burst is logged, then one
 * summary per window with the count and the last failure. Its three words
 * change only by atomic operations, so it never blocks a sender. */
typedef struct {
    volatile uint64_t start_ms;   /* limiter time the window opened, 0 when none */
    volatile uint64_t suppressed; /* failures not logged in this window */
    volatile uint64_t last;       /* type | length << 8 | errno << 32 */
} vesk_msgq_window;

#define VESK_MSGQ_WINDOW_MS 1000u

/* Notes one send at limiter time now_ms (vesk_msgq_clock_ms), logging under
 * tag at ERROR level. */
void vesk_msgq_note_send(vesk_msgq_window *window, const char *tag, uint8_t type, uint32_t length, int failed, int err,
                         uint64_t now_ms);
/* Monotonic milliseconds plus one: 0 stands for "no window open". */
uint64_t vesk_msgq_clock_ms(void);
