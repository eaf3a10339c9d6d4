#include "vesk_msgq_client.h"

#include <errno.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <unistd.h>

/* Back-off after a receive failure that is neither the queue's removal nor a
 * bad record, so a persistent fault does not spin the listener. */
#define VESK_MSGQ_RECV_RETRY_US 10000

int vesk_msgq_send(int queue, long mtype, uint8_t type, uint8_t command, const void *frame, uint32_t length)
{
    if (length > MSGQ_CONTEXT_SIZE || (frame == NULL && length > 0)) {
        errno = EINVAL;
        return -1;
    }
    Qel_MsgEvent record;
    memset(&record, 0, sizeof(record));
    record.msg_type = mtype;
    record.msg_text.type = type;
    record.msg_text.command = command;
    record.msg_text.length = length;
    if (length > 0) memcpy(record.msg_text.context, frame, length);
    return msgsnd(queue, &record, MSGQ_TEXT_SIZE, IPC_NOWAIT) == 0 ? 0 : -1;
}

static void drain_oversized(vesk_msgq_listener *l, Qel_MsgEvent *record)
{
    ssize_t n = msgrcv(l->queue, record, MSGQ_TEXT_SIZE, l->mtype, MSG_NOERROR | IPC_NOWAIT);
    uint64_t count = __atomic_add_fetch(&l->oversized, 1, __ATOMIC_RELAXED);
    printf("<MsgEvent> dropped an oversized record (%s, %llu so far)\n", n < 0 ? strerror(errno) : "truncated",
           (unsigned long long)count);
}

/* A record shorter than its own length field would deliver bytes that were
 * never sent. */
static int record_complete(const Qel_MsgEvent *record, ssize_t n)
{
    const size_t head = offsetof(Qel_MsgText, context);
    if ((size_t)n < head) return 0;
    return record->msg_text.length <= (size_t)n - head;
}

void vesk_msgq_listen(vesk_msgq_listener *l)
{
    while (l->stop == NULL || !*l->stop) {
        Qel_MsgEvent record;
        memset(&record, 0, sizeof(record));
        ssize_t n = msgrcv(l->queue, &record, MSGQ_TEXT_SIZE, l->mtype, 0);
        if (n < 0) {
            const int err = errno;
            if (err == EINTR) continue;
            if (err == EIDRM || err == EINVAL) return; /* the queue is gone */
            if (err == E2BIG) {
                drain_oversized(l, &record);
                continue;
            }
            printf("<MsgEvent> receive failed: %s\n", strerror(err));
            usleep(VESK_MSGQ_RECV_RETRY_US);
            continue;
        }
        if (!record_complete(&record, n)) {
            uint64_t count = __atomic_add_fetch(&l->incomplete, 1, __ATOMIC_RELAXED);
            printf("<MsgEvent> dropped a short record (%zd bytes, %llu so far)\n", n, (unsigned long long)count);
            continue;
        }
        l->deliver(&record.msg_text, l->ctx);
        if (l->pause_us != 0) usleep(l->pause_us);
    }
}
