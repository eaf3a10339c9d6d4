#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <unistd.h>

#include "qel_msg.h"
#include "vesk_log.h"
#include "vesk_msgq_client.h"

static Qel_MsgNode stMsgNodeCtx = {-1, -1, NULL};
/* Set only by the signal handler: the listener tests it before each receive. */
static volatile sig_atomic_t g_msg_listen_exit;

static void msg_listen_sig_handler(int sig)
{
    (void)sig;
    g_msg_listen_exit = 1;
}

int Qel_InitMsgEvent(Qel_MsgCallback callback)
{
    printf("<MsgEvent> init msg client event!\n");
    int smsgid = msgget(MSGQ_KEY_TO_APP, IPC_CREAT | MSGQ_PERMS);
    if (smsgid < 0) {
        vesk_log_printf(VESK_LOG_ERROR, "ipc.init", "msgget skey failed errno=%d", errno);
        return -1;
    }
    int rmsgid = msgget(MSGQ_KEY_TO_PEERS, IPC_CREAT | MSGQ_PERMS);
    if (rmsgid < 0) {
        vesk_log_printf(VESK_LOG_ERROR, "ipc.init", "msgget rkey failed errno=%d", errno);
        return -1;
    }
    stMsgNodeCtx.smsgid = smsgid;
    stMsgNodeCtx.rmsgid = rmsgid;
    stMsgNodeCtx.callback = callback;

    pthread_t tid;
    if (pthread_create(&tid, NULL, PthreadMsgEventListen, &stMsgNodeCtx) != 0) {
        vesk_log_printf(VESK_LOG_ERROR, "ipc.init", "PthreadMsgEventListen create error");
        Qel_DeinitMsgEvent();
        return -1;
    }
    pthread_detach(tid);
    return 0;
}

int Qel_DeinitMsgEvent(void)
{
    printf("<MsgEvent> deinit msg client event!\n");
    if (stMsgNodeCtx.smsgid >= 0) msgctl(stMsgNodeCtx.smsgid, IPC_RMID, NULL);
    if (stMsgNodeCtx.rmsgid >= 0) msgctl(stMsgNodeCtx.rmsgid, IPC_RMID, NULL);
    stMsgNodeCtx.callback = NULL;
    return 0;
}

/* Failures are left to the one exit above this client (Msgtext_Ui_To_App),
 * which counts them; errno tells it why. */
static int msg_send(uint8_t type, uint8_t command, const uint8_t *frame, int length)
{
    if (frame == NULL || length < 0) {
        errno = EINVAL;
        return -1;
    }
    return vesk_msgq_send(stMsgNodeCtx.smsgid, MSG_TYPE_FOR_SERVER, type, command, frame, (uint32_t)length);
}

int Qel_SendMsgEvent(uint8_t type, uint8_t command, const uint8_t *frame, int length)
{
    return msg_send(type, command, frame, length);
}

/* The same send: what the caller does with a failure differs. */
int Qel_SendMsgEventQuiet(uint8_t type, uint8_t command, const uint8_t *frame, int length)
{
    return msg_send(type, command, frame, length);
}

static void deliver(Qel_MsgText *text, void *ctx)
{
    Qel_MsgNode *node = (Qel_MsgNode *)ctx;
    Qel_MsgCallback cb = node->callback;
    if (cb != NULL) cb(text, 0);
}

void *PthreadMsgEventListen(void *arg)
{
    Qel_MsgNode *node = (Qel_MsgNode *)arg;
    if (node == NULL) return NULL;

    /* No SA_RESTART: a receive interrupted here returns EINTR and the flag is
     * tested again. The handlers are process-wide, so these signals no longer
     * end sightui; they only stop the reports. */
    struct sigaction sa;
    memset(&sa, 0, sizeof(sa));
    sa.sa_handler = msg_listen_sig_handler;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, NULL);
    sigaction(SIGINT, &sa, NULL);

    vesk_msgq_listener listener;
    memset(&listener, 0, sizeof(listener));
    listener.queue = node->rmsgid;
    listener.mtype = MSG_TYPE_FOR_QTMENU;
    listener.deliver = deliver;
    listener.ctx = node;
    listener.stop = &g_msg_listen_exit;
    listener.pause_us = 10;
    vesk_msgq_listen(&listener);
    return NULL;
}

void msgEventCallback(Qel_MsgText *msg, unsigned long ctx)
{
    (void)ctx;
    if (msg == NULL || msg->type != MSGQ_COMMAND_APP_TO_UI) return;
    if (msg->length < VESK_FRAME_MIN || msg->length > VESK_FRAME_MAX) return;

    ui_msg_packet_t *pkt = (ui_msg_packet_t *)malloc(sizeof(*pkt));
    if (pkt == NULL) return;
    pkt->data = (uint8_t *)malloc(msg->length);
    if (pkt->data == NULL) {
        free(pkt);
        return;
    }
    memcpy(pkt->data, msg->context, msg->length);
    pkt->length = (int)msg->length;
    if (idle_queue(on_ui_msg_idle, pkt) != RET_OK) {
        free(pkt->data);
        free(pkt);
    }
}

ret_t on_ui_msg_idle(const idle_info_t *idle)
{
    ui_msg_packet_t *pkt = (ui_msg_packet_t *)idle->ctx;
    if (pkt != NULL) {
        uiOperationControl(pkt->data, pkt->length);
        free(pkt->data);
        free(pkt);
    }
    return RET_REMOVE;
}
