#include "queue_buf.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "vesk_clock.h"

queue_buf_t *queue_buf_alloc(int item_num, int item_size)
{
    if (item_num <= 0 || item_size <= 0) return NULL;
    queue_buf_t *q = (queue_buf_t *)calloc(1, sizeof(queue_buf_t) + (size_t)item_num * (size_t)item_size);
    if (q == NULL) return NULL;
    q->item_num = item_num;
    q->item_size = item_size;
    pthread_mutex_init(&q->mutex, NULL);
    vesk_cond_init_monotonic(&q->pop_cond);
    vesk_cond_init_monotonic(&q->push_cond);
    return q;
}

void queue_buf_free(queue_buf_t *q)
{
    if (q == NULL) return;
    pthread_cond_destroy(&q->pop_cond);
    pthread_cond_destroy(&q->push_cond);
    pthread_mutex_destroy(&q->mutex);
    free(q);
}

static unsigned char *slot(queue_buf_t *q, int index) { return q->data_buf + (size_t)index * (size_t)q->item_size; }

/* Callers hold the mutex. */
static void put_quietly(queue_buf_t *q, const void *item)
{
    memcpy(slot(q, q->wr), item, (size_t)q->item_size);
    q->wr = (q->wr + 1) % q->item_num;
    q->item_cnt++;
}

static void put_locked(queue_buf_t *q, const void *item)
{
    put_quietly(q, item);
    pthread_cond_signal(&q->pop_cond);
}

static void take_locked(queue_buf_t *q, void *item)
{
    memcpy(item, slot(q, q->rd), (size_t)q->item_size);
    q->rd = (q->rd + 1) % q->item_num;
    q->item_cnt--;
    /* A producer waiting for room goes on at once. */
    pthread_cond_signal(&q->push_cond);
}

/* Waits, holding the mutex, until the queue has room: 0, or -1 once the
 * deadline has passed. */
static int wait_for_room(queue_buf_t *q, const struct timespec *deadline)
{
    while (q->item_cnt >= q->item_num) {
        printf("queue_buf_push_wait==================================================\n");
        if (pthread_cond_timedwait(&q->push_cond, &q->mutex, deadline) == ETIMEDOUT && q->item_cnt >= q->item_num)
            return -1;
    }
    return 0;
}

int queue_buf_push_wait(queue_buf_t *q, const void *item, int timeout_ms)
{
    return queue_buf_push_all(q, item, 1, timeout_ms) == 1 ? 0 : -1;
}

int queue_buf_push_all(queue_buf_t *q, const void *items, int count, int timeout_ms)
{
    if (q == NULL || items == NULL || count < 0) return -1;
    struct timespec deadline;
    vesk_deadline_in(&deadline, (uint64_t)timeout_ms);
    pthread_mutex_lock(&q->mutex);
    int pushed = 0;
    for (; pushed < count; pushed++) {
        if (q->item_cnt >= q->item_num) {
            /* The consumer must see what is queued to make room. */
            if (pushed > 0) pthread_cond_signal(&q->pop_cond);
            if (wait_for_room(q, &deadline) != 0) break;
        }
        put_quietly(q, (const unsigned char *)items + (size_t)pushed * (size_t)q->item_size);
    }
    /* One wake-up for the whole batch: the consumer then takes the items
     * without waiting, instead of being woken, and switched to, per item. */
    if (pushed > 0) pthread_cond_signal(&q->pop_cond);
    pthread_mutex_unlock(&q->mutex);
    return pushed;
}

/* Locks the queue and waits until it holds an item: 0 with the mutex
 * held, or -1 (unlocked) once the deadline has passed. */
static int lock_when_nonempty(queue_buf_t *q, int timeout_ms)
{
    struct timespec deadline;
    vesk_deadline_in(&deadline, (uint64_t)timeout_ms);
    pthread_mutex_lock(&q->mutex);
    while (q->item_cnt == 0) {
        if (pthread_cond_timedwait(&q->pop_cond, &q->mutex, &deadline) == ETIMEDOUT && q->item_cnt == 0) {
            pthread_mutex_unlock(&q->mutex);
            return -1;
        }
    }
    return 0;
}

int queue_buf_pop_wait(queue_buf_t *q, void *item, int timeout_ms)
{
    if (q == NULL || item == NULL || lock_when_nonempty(q, timeout_ms) != 0) return -1;
    take_locked(q, item);
    pthread_mutex_unlock(&q->mutex);
    return 0;
}

int queue_buf_push(queue_buf_t *q, const void *item)
{
    if (q == NULL || item == NULL) return -1;
    pthread_mutex_lock(&q->mutex);
    int ret = -1;
    if (q->item_cnt < q->item_num) {
        put_locked(q, item);
        ret = 0;
    }
    pthread_mutex_unlock(&q->mutex);
    return ret;
}

/* The oldest item, removed (take) or left in place. */
static int oldest(queue_buf_t *q, void *item, int take)
{
    if (q == NULL || item == NULL) return -1;
    pthread_mutex_lock(&q->mutex);
    int ret = -1;
    if (q->item_cnt > 0) {
        if (take)
            take_locked(q, item);
        else
            memcpy(item, slot(q, q->rd), (size_t)q->item_size);
        ret = 0;
    }
    pthread_mutex_unlock(&q->mutex);
    return ret;
}

int queue_buf_pop(queue_buf_t *q, void *item) { return oldest(q, item, 1); }

int queue_buf_get(queue_buf_t *q, void *item) { return oldest(q, item, 0); }

int queue_buf_get_wait(queue_buf_t *q, void *item, int timeout_ms)
{
    if (q == NULL || item == NULL || lock_when_nonempty(q, timeout_ms) != 0) return -1;
    memcpy(item, slot(q, q->rd), (size_t)q->item_size);
    /* The item stays; let another waiting reader see it too. */
    pthread_cond_signal(&q->pop_cond);
    pthread_mutex_unlock(&q->mutex);
    return 0;
}

int queue_buf_item_num(queue_buf_t *q) { return q ? q->item_num : 0; }

int queue_buf_item_cnt(queue_buf_t *q)
{
    if (q == NULL) return 0;
    pthread_mutex_lock(&q->mutex);
    int n = q->item_cnt;
    pthread_mutex_unlock(&q->mutex);
    return n;
}
