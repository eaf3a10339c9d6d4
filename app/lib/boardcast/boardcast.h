// An event bus: a bounded queue of typed events drained by one dispatch
// thread that calls every registered callback in turn. The bus copies each
// payload, so a sender may reuse its buffer at once. Callbacks run on the
// bus thread, one at a time, newest registration first; a callback must not
// register or unregister on its own bus.
#pragma once

#include <pthread.h>

#include "queue_buf.h"

typedef struct event_handle event_handle;

typedef void (*event_cb_t)(event_handle *handle, void *cb_data, int evtype, const void *evdata, int size);

struct event_handle {
    void *private_; /* the bus context, allocated with the handle */
    void *user_data;
};

typedef struct event_cb_list {
    struct event_cb_list *next;
    event_cb_t cb; /* null on the list's terminating node */
    void *cb_data;
} event_cb_list;

typedef struct {
    int evtype;
    int size;
    void *evdata; /* heap copy owned by the bus, null when size is 0 */
} event_queue_data;

typedef struct {
    queue_buf_t *queue;
    event_cb_list *cb_list_first;
    pthread_mutex_t cb_mutex;
    volatile int dispatch_enable;
    pthread_t thread;
} event_ctx;

/* Event type that ends the dispatch loop. */
#define EVENT_TYPE_STOP (-1)

int event_create(event_handle **handle, int depth, void *user_data);
/* 0, or -1 when the queue stayed full for timeout_ms (the event is lost). */
int event_broadcast_send(event_handle *handle, int evtype, const void *data, int size, int timeout_ms);
/* One payload of a batch. */
typedef struct {
    const void *data;
    int size;
} event_payload;
/* Sends up to 8 events of one type in order, waking the dispatch thread
 * once for all of them, so that a module reporting several values each
 * cycle costs one hand-off rather than one per value. How many were queued
 * (those after a full-queue time-out are lost, as with single sends), or
 * -1 on a bad argument (nothing queued). */
int event_broadcast_send_all(event_handle *handle, int evtype, const event_payload *payloads, int count,
                             int timeout_ms);
int event_receive_register(event_handle *handle, event_cb_t cb, void *cb_data);
int event_receive_unregister(event_handle *handle, event_cb_t cb);
int event_destroy(event_handle **handle);
