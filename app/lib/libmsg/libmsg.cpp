#include "libmsg.h"

#include "vesk_msgq_client.h"

#include <errno.h>
#include <pthread.h>
#include <stdio.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>

/* The one client state of sightd. */
typedef struct {
    int sendmsgid;    /* queue 12345 */
    int recvmsgid;    /* queue 54321 */
    long qelmsg_type; /* the mtype this process reads */
    QelMsgEventCallback callback;
} _Qel_MsgNode;

static _Qel_MsgNode s_node = {-1, -1, 0, NULL};
static pthread_t s_listener;
static int s_listener_started;

/* Gap between two frames sent by one thread: paces bursts such as the boot
 * push so that a peer reading at its own pace keeps up. */
#define QEL_SEND_PACE_NS 10000000L

static QelMsgEventCallback load_callback(void) { return __atomic_load_n(&s_node.callback, __ATOMIC_ACQUIRE); }

/* The callback is cleared at deinit while the listener may still be
 * between two records. */
static void deliver(Qel_MsgText *text, void *ctx)
{
    (void)ctx;
    QelMsgEventCallback cb = load_callback();
    if (cb != NULL) cb(text, NULL);
}

static void *PthreadMsgEventListen(void *arg)
{
    (void)arg;
    prctl(PR_SET_NAME, "MsgEventListen", 0, 0, 0);
    vesk_msgq_listener listener;
    memset(&listener, 0, sizeof(listener));
    listener.queue = s_node.recvmsgid;
    listener.mtype = s_node.qelmsg_type;
    listener.deliver = deliver;
    vesk_msgq_listen(&listener);
    return NULL;
}

int Qel_InitMsgEvent(QelMsgEventCallback callback, long mtype)
{
    printf("<MsgEvent> init msg client event!\n");
    if (s_listener_started) {
        printf("<MsgEvent> already initialised\n");
        return -1;
    }
    int sendid = msgget(MSGQ_KEY_TO_PEERS, IPC_CREAT | MSGQ_PERMS);
    int recvid = sendid < 0 ? -1 : msgget(MSGQ_KEY_TO_APP, IPC_CREAT | MSGQ_PERMS);
    if (sendid < 0 || recvid < 0) {
        printf("[ERROR] msg get error!\n");
        return -1;
    }
    s_node.sendmsgid = sendid;
    s_node.recvmsgid = recvid;
    s_node.qelmsg_type = mtype;
    __atomic_store_n(&s_node.callback, callback, __ATOMIC_RELEASE);
    if (pthread_create(&s_listener, NULL, PthreadMsgEventListen, NULL) != 0) {
        printf("<MsgEvent> PthreadMsgEventListen create error!\n");
        Qel_DeinitMsgEvent();
        return -1;
    }
    s_listener_started = 1;
    return 0;
}

/* When this thread's last frame went out (monotonic ns, 0 for none). The
 * gap is kept before the next frame rather than slept after each one: a
 * thread that sends one frame and turns to other work (the report router
 * taking the GUI's answer to a key report) is not held, while a burst from
 * one thread still leaves the same gap between its frames. */
static __thread int64_t t_last_send_ns;

static int64_t mono_ns(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * 1000000000L + ts.tv_nsec;
}

static void pace_before_send(void)
{
    if (t_last_send_ns == 0) return;
    const int64_t due = t_last_send_ns + QEL_SEND_PACE_NS;
    struct timespec at = {(time_t)(due / 1000000000L), (long)(due % 1000000000L)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, NULL) == EINTR) {}
}

int Qel_SendMsgEvent(long mtype, uint8_t type, uint8_t command, const void *data, uint32_t length)
{
    if (length > MSGQ_CONTEXT_SIZE) {
        errno = EINVAL;
        return -1;
    }
    pace_before_send();
    if (vesk_msgq_send(s_node.sendmsgid, mtype, type, command, data, length) != 0) return -1;
    t_last_send_ns = mono_ns();
    return 0;
}

int Qel_DeinitMsgEvent(void)
{
    printf("<MsgEvent> deinit msg client event!\n");
    if (s_node.sendmsgid >= 0) msgctl(s_node.sendmsgid, IPC_RMID, NULL);
    if (s_node.recvmsgid >= 0) msgctl(s_node.recvmsgid, IPC_RMID, NULL);
    __atomic_store_n(&s_node.callback, (QelMsgEventCallback)NULL, __ATOMIC_RELEASE);
    /* The removal wakes the listener with EIDRM; waiting for it means no
     * callback runs once deinit has returned. */
    if (s_listener_started && !pthread_equal(pthread_self(), s_listener)) pthread_join(s_listener, NULL);
    s_listener_started = 0;
    s_node.sendmsgid = -1;
    s_node.recvmsgid = -1;
    return 0;
}

int Qel_MsgEvent_SendQueue(void) { return s_node.sendmsgid; }
