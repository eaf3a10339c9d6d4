// The rangefinder worker: it owns the state machine, queues the events of
// the GUI and the receive thread, runs the machine's three deadlines and
// carries out its actions. A second thread sends the GUI payloads through a
// small coalescing outbox so that the worker never waits on the bus.
#pragma once

#include <pthread.h>
#include <stddef.h>
#include <stdint.h>
#include <time.h>

#include "boardcast.h"
#include "vesk_lrf_core.h"

#define VESK_LRF_QUEUE_CAP 16
/* Slots a non-critical event must leave free, so stops and settings always
 * find room. */
#define VESK_LRF_QUEUE_RESERVE 5

typedef struct {
    pthread_t thread;
    pthread_mutex_t lock;
    pthread_cond_t cond; /* on the monotonic clock */
    int started;
    int running;
    vesk_lrf_event queue[VESK_LRF_QUEUE_CAP];
    size_t queue_head;
    size_t queue_tail;
    size_t queue_count;
    int stop_write_failed;
    int uart_fd;
    struct timespec op_deadline;
    int op_armed;
    struct timespec set_deadline;
    int set_armed;
    struct timespec idle_deadline;
    int idle_armed;
    vesk_lrf_settings settings_cache;
    vesk_lrf_core core;
} vesk_lrf_worker;

typedef struct {
    uint8_t bytes[VESK_LRF_ACTION_BYTES];
    uint8_t len;
} vesk_lrf_ui_msg;

typedef struct {
    pthread_t thread;
    pthread_mutex_t lock;
    pthread_cond_t cond;
    int started;
    int running;
    event_handle *ui_handle;
    vesk_lrf_ui_msg queue[VESK_LRF_QUEUE_CAP];
    size_t queue_head;
    size_t queue_tail;
    size_t queue_count;
} vesk_lrf_ui_outbox;

int vesk_lrf_start(int uart_fd, event_handle *ui_handle, const vesk_lrf_settings *initial);
void vesk_lrf_stop(void);
/* 0 queued or merged; -ENOSPC dropped; -ESHUTDOWN when not running. */
int vesk_lrf_post(const vesk_lrf_event *ev);
void vesk_lrf_request_from_gui(const uint8_t *frame, size_t length);
void vesk_lrf_settings_from_config(vesk_lrf_settings *out);
void vesk_lrf_persist_settings(const vesk_lrf_settings *old_settings, const vesk_lrf_settings *new_settings);
void vesk_lrf_ui_publish(const uint8_t *payload, size_t length);

/* The queue and outbox rules alone, on a caller's record and without
 * locking, so they can be checked row by row. */
typedef enum {
    VESK_LRF_QUEUED = 0,
    VESK_LRF_REPLACED = 1,
    VESK_LRF_DROPPED_FULL = 2,    /* critical event, queue full */
    VESK_LRF_DROPPED_RESERVE = 3, /* other event, reserve reached */
} vesk_lrf_queue_result;
vesk_lrf_queue_result vesk_lrf_queue_event(vesk_lrf_worker *w, const vesk_lrf_event *ev);
/* Takes the oldest event; 0 when there is none. */
int vesk_lrf_queue_take(vesk_lrf_worker *w, vesk_lrf_event *out);
/* Returns the sub of the payload it evicted to make room, or -1. */
int vesk_lrf_outbox_queue(vesk_lrf_ui_outbox *box, const uint8_t *payload, size_t length);
int vesk_lrf_outbox_take(vesk_lrf_ui_outbox *box, vesk_lrf_ui_msg *out);

/* What the worker needs from the hardware; the service's own power
 * sequence unless a test puts another in. */
typedef struct {
    int (*power)(int on);
} vesk_lrf_worker_ops;
void vesk_lrf_set_ops(const vesk_lrf_worker_ops *ops);
