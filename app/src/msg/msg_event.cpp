#include <errno.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/msg.h>

#include "vesk_log.h"
#include "vesk_msg.h"

event_handle *g_handle = NULL;

/* A full main bus for this long loses the frame rather than stall the
 * listener (and with it every later frame). */
#define MSG_BUS_TIMEOUT_MS 100

static void post(int evtype, const Qel_MsgText *text)
{
    event_handle *bus = __atomic_load_n(&g_handle, __ATOMIC_ACQUIRE);
    event_broadcast_send(bus, evtype, text->context, (int)text->length, MSG_BUS_TIMEOUT_MS);
}

void msgEventCallback(Qel_MsgText *text, void *unused)
{
    (void)unused;
    if (text == NULL) return;
    if (text->length < VESK_FRAME_MIN || text->length > VESK_FRAME_MAX) return;
    switch (text->type) {
    case MSGQ_COMMAND_UI_TO_APP:
        vesk_log_ipc("ipc.gui_to_app", text->context, text->length, (int)text->length);
        post(MAIN_NOTIFIER_APP, text);
        break;
    case MSGQ_COMMAND_MEDIA_TO_APP:
        vesk_log_ipc("ipc.media_to_app", text->context, text->length, (int)text->length);
        post(MAIN_NOTIFIER_APP, text);
        break;
    case MSGQ_COMMAND_HTTP_TO_APP:
        post(MAIN_NOTIFIER_HTTP, text);
        break;
    case MSGQ_COMMAND_BLE_TO_APP:
        post(MAIN_NOTIFIER_BLE, text);
        break;
    default: /* among them our own records 48 and 64 */
        break;
    }
}

int Qel_MsgEvent_Init(event_handle *main_bus)
{
    __atomic_store_n(&g_handle, main_bus, __ATOMIC_RELEASE);
    int ret = Qel_InitMsgEvent(msgEventCallback, MSG_TYPE_FOR_SERVER);
    if (ret != 0) vesk_log_printf(VESK_LOG_ERROR, "ipc", "Qel_MsgEvent_Init: Qel_InitMsgEvent failed, ret=%d", ret);
    return ret;
}

int Qel_MsgEvent_Deinit(void)
{
    __atomic_store_n(&g_handle, (event_handle *)NULL, __ATOMIC_RELEASE);
    return Qel_DeinitMsgEvent();
}

/* The quiet sender's own identifier of queue 12345. */
static int s_quiet_queue = -1;

typedef struct {
    long mtype;
    uint8_t type;
    vesk_msg_direction direction;
} quiet_target;

static const quiet_target quiet_targets[] = {
    {MSG_TYPE_FOR_QTMENU, MSGQ_COMMAND_APP_TO_UI, VESK_MSG_TO_GUI},
    {MSG_TYPE_FOR_MEDIA, MSGQ_COMMAND_APP_TO_MEDIA, VESK_MSG_TO_MEDIA},
};

int vesk_msg_send_quiet(int target, const uint8_t *frame, uint32_t length)
{
    if (target < 0 || target > 1) return -EINVAL;
    if (frame == NULL) return -EINVAL;
    if (length < 1 || length > VESK_FRAME_MAX) return -EINVAL;
    const quiet_target *t = &quiet_targets[target];
    const char *tag = vesk_msg_tags[t->direction];
    Qel_MsgEvent record;
    memset(&record, 0, sizeof(record));
    record.msg_type = t->mtype;
    record.msg_text.type = t->type;
    record.msg_text.command = MSGQ_COMMAND_BY_APP;
    record.msg_text.length = length;
    memcpy(record.msg_text.context, frame, length);

    /* The cached identifier goes stale when the queue is removed (sightd's
     * own shutdown, or a restart of the queues): look it up again and send
     * once more, so the frame in hand is not lost with the old queue. */
    for (int attempt = 0;; attempt++) {
        int id = __atomic_load_n(&s_quiet_queue, __ATOMIC_RELAXED);
        const bool cached = id >= 0;
        if (!cached) {
            id = msgget(MSGQ_KEY_TO_PEERS, IPC_CREAT | MSGQ_PERMS);
            if (id < 0) {
                const int err = errno;
                vesk_msg_note_send(t->direction, t->type, frame, length, 1, err);
                return -err;
            }
            __atomic_store_n(&s_quiet_queue, id, __ATOMIC_RELAXED);
        }
        if (msgsnd(id, &record, MSGQ_TEXT_SIZE, IPC_NOWAIT) == 0) break;
        const int err = errno;
        if ((err == EIDRM || err == EINVAL) && cached && attempt == 0) {
            __atomic_store_n(&s_quiet_queue, -1, __ATOMIC_RELAXED);
            continue;
        }
        vesk_log_ipc(tag, frame, length, -err);
        vesk_msg_note_send(t->direction, t->type, frame, length, 1, err);
        return -err;
    }
    vesk_log_ipc(tag, frame, length, (int)length);
    vesk_msg_note_send(t->direction, t->type, frame, length, 0, 0);
    return 0;
}
