#include "boardcast.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>

/* Handle and context are one allocation. */
typedef struct {
    event_handle handle;
    event_ctx ctx;
} event_bus_block;

static event_ctx *ctx_of(event_handle *handle) { return handle ? (event_ctx *)handle->private_ : NULL; }

static void dispatch_one(event_handle *handle, event_ctx *ctx, const event_queue_data *item)
{
    pthread_mutex_lock(&ctx->cb_mutex);
    for (event_cb_list *node = ctx->cb_list_first; node != NULL; node = node->next) {
        if (node->cb != NULL) node->cb(handle, node->cb_data, item->evtype, item->evdata, item->size);
    }
    pthread_mutex_unlock(&ctx->cb_mutex);
}

static void *dispatch_thread(void *arg)
{
    event_handle *handle = (event_handle *)arg;
    event_ctx *ctx = ctx_of(handle);
    prctl(PR_SET_NAME, "event_dispatch", 0, 0, 0);
    while (ctx->dispatch_enable) {
        event_queue_data item;
        if (queue_buf_pop_wait(ctx->queue, &item, 10000) != 0) continue;
        if (item.evtype == EVENT_TYPE_STOP) {
            free(item.evdata);
            break;
        }
        dispatch_one(handle, ctx, &item);
        free(item.evdata);
        if (!ctx->dispatch_enable) break;
    }
    return NULL;
}

int event_create(event_handle **handle, int depth, void *user_data)
{
    if (handle == NULL) return -1;
    *handle = NULL;
    event_bus_block *block = (event_bus_block *)calloc(1, sizeof(*block));
    if (block == NULL) {
        printf("malloc event_handle faild\n");
        return -1;
    }
    event_ctx *ctx = &block->ctx;
    block->handle.private_ = ctx;
    block->handle.user_data = user_data;
    ctx->queue = queue_buf_alloc(depth, (int)sizeof(event_queue_data));
    if (ctx->queue == NULL) {
        free(block);
        return -1;
    }
    ctx->cb_list_first = (event_cb_list *)calloc(1, sizeof(event_cb_list));
    if (ctx->cb_list_first == NULL) {
        queue_buf_free(ctx->queue);
        free(block);
        return -1;
    }
    pthread_mutex_init(&ctx->cb_mutex, NULL);
    ctx->dispatch_enable = 1;
    if (pthread_create(&ctx->thread, NULL, dispatch_thread, &block->handle) != 0) {
        pthread_mutex_destroy(&ctx->cb_mutex);
        free(ctx->cb_list_first);
        queue_buf_free(ctx->queue);
        free(block);
        return -1;
    }
    *handle = &block->handle;
    return 0;
}

int event_broadcast_send(event_handle *handle, int evtype, const void *data, int size, int timeout_ms)
{
    const event_payload one = {data, size};
    return event_broadcast_send_all(handle, evtype, &one, 1, timeout_ms) == 1 ? 0 : -1;
}

int event_broadcast_send_all(event_handle *handle, int evtype, const event_payload *payloads, int count,
                             int timeout_ms)
{
    enum { BATCH_MAX = 8 };
    event_ctx *ctx = ctx_of(handle);
    if (ctx == NULL || payloads == NULL || count < 0 || count > BATCH_MAX) return -1;
    event_queue_data items[BATCH_MAX];
    for (int i = 0; i < count; i++) {
        const event_payload *p = &payloads[i];
        items[i] = {evtype, p->size, NULL};
        bool bad = p->size < 0 || (p->size != 0 && p->data == NULL);
        if (!bad && p->size != 0) {
            items[i].evdata = malloc((size_t)p->size);
            if (items[i].evdata == NULL)
                printf("malloc evdata faild\n");
            else
                memcpy(items[i].evdata, p->data, (size_t)p->size);
            bad = items[i].evdata == NULL;
        }
        if (bad) {
            while (i-- > 0) free(items[i].evdata);
            return -1;
        }
    }
    const int pushed = queue_buf_push_all(ctx->queue, items, count, timeout_ms);
    for (int i = pushed < 0 ? 0 : pushed; i < count; i++) free(items[i].evdata);
    return pushed;
}

int event_receive_register(event_handle *handle, event_cb_t cb, void *cb_data)
{
    event_ctx *ctx = ctx_of(handle);
    if (ctx == NULL || cb == NULL || !ctx->dispatch_enable) return -1;
    pthread_mutex_lock(&ctx->cb_mutex);
    for (event_cb_list *node = ctx->cb_list_first; node != NULL; node = node->next) {
        if (node->cb == cb) {
            pthread_mutex_unlock(&ctx->cb_mutex);
            return -1;
        }
    }
    event_cb_list *node = (event_cb_list *)calloc(1, sizeof(*node));
    if (node == NULL) {
        pthread_mutex_unlock(&ctx->cb_mutex);
        return -1;
    }
    node->cb = cb;
    node->cb_data = cb_data;
    node->next = ctx->cb_list_first;
    ctx->cb_list_first = node;
    pthread_mutex_unlock(&ctx->cb_mutex);
    return 0;
}

int event_receive_unregister(event_handle *handle, event_cb_t cb)
{
    event_ctx *ctx = ctx_of(handle);
    if (ctx == NULL || cb == NULL || !ctx->dispatch_enable) return -1;
    pthread_mutex_lock(&ctx->cb_mutex);
    for (event_cb_list **link = &ctx->cb_list_first; *link != NULL; link = &(*link)->next) {
        if ((*link)->cb == cb) {
            event_cb_list *gone = *link;
            *link = gone->next;
            free(gone);
            pthread_mutex_unlock(&ctx->cb_mutex);
            return 0;
        }
    }
    pthread_mutex_unlock(&ctx->cb_mutex);
    return -1;
}

int event_destroy(event_handle **handle)
{
    if (handle == NULL) return -1;
    event_ctx *ctx = ctx_of(*handle);
    if (ctx == NULL) return -1;
    ctx->dispatch_enable = 0;
    /* The stop event may not fit into a full queue; the dispatch thread then
     * sees dispatch_enable cleared after the event it is working on. */
    event_broadcast_send(*handle, EVENT_TYPE_STOP, NULL, 0, 100);
    pthread_join(ctx->thread, NULL);

    pthread_mutex_lock(&ctx->cb_mutex);
    event_cb_list *node = ctx->cb_list_first;
    while (node != NULL) {
        event_cb_list *next = node->next;
        free(node);
        node = next;
    }
    ctx->cb_list_first = NULL;
    pthread_mutex_unlock(&ctx->cb_mutex);

    event_queue_data item;
    while (queue_buf_pop_wait(ctx->queue, &item, 10) == 0) free(item.evdata);
    queue_buf_free(ctx->queue);
    pthread_mutex_destroy(&ctx->cb_mutex);
    free(*handle); /* the handle is the first member of its block */
    *handle = NULL;
    return 0;
}
