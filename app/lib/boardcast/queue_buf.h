// A fixed ring of equal-sized items in one allocation, with waits on the
// monotonic clock so a wall-clock change never stretches a time-out.
#pragma once

#include <pthread.h>
#include <stddef.h>

typedef struct queue_buf {
    int item_num; /* capacity */
    int item_size;
    int item_cnt;
    int wr;
    int rd;
    pthread_mutex_t mutex;
    pthread_cond_t pop_cond;
    pthread_cond_t push_cond;
    unsigned char data_buf[]; /* item_num * item_size bytes */
} queue_buf_t;

queue_buf_t *queue_buf_alloc(int item_num, int item_size);
void queue_buf_free(queue_buf_t *q);
/* 0, or -1 when the deadline passes first. */
int queue_buf_push_wait(queue_buf_t *q, const void *item, int timeout_ms);
/* Pushes count contiguous items in order, each waiting for room until the
 * one deadline, and wakes the consumer once: how many were pushed (-1 on a
 * bad argument). */
int queue_buf_push_all(queue_buf_t *q, const void *items, int count, int timeout_ms);
int queue_buf_pop_wait(queue_buf_t *q, void *item, int timeout_ms);
/* Non-waiting forms: 0, or -1 when full (push) or empty (pop, get). */
int queue_buf_push(queue_buf_t *q, const void *item);
int queue_buf_pop(queue_buf_t *q, void *item);
/* Copies the oldest item without removing it. */
int queue_buf_get(queue_buf_t *q, void *item);
int queue_buf_get_wait(queue_buf_t *q, void *item, int timeout_ms);
int queue_buf_item_num(queue_buf_t *q);
int queue_buf_item_cnt(queue_buf_t *q);
