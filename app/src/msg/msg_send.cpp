#include <errno.h>
#include <stdio.h>
#include <sys/ipc.h>
#include <sys/msg.h>

#include "vesk_log.h"
#include "vesk_msg.h"

static int length_ok(const uint8_t *frame, uint32_t length)
{
    return length <= VESK_FRAME_MAX && (frame != NULL || length == 0);
}

static void print_bytes(const char *format, const uint8_t *frame, uint32_t length)
{
    for (uint32_t i = 0; frame != NULL && i < length; i++) printf(format, frame[i]);
    printf("\n");
}

/* Queue 12345 is shared by every reader. Records for a peer that is not
 * running (the HTTP daemon and the BLE service are often absent) would stay
 * there until the queue is full and the GUI's own frames fail. So while the
 * queue is more than half full, each new record for such a peer first takes
 * out that peer's oldest waiting record: its records can never hold more
 * than half the queue, a peer that drains loses nothing, and one that comes
 * up late still finds the most recent reports. */
typedef struct {
    long mtype;
    const char *name;
    int evicting; /* logged once per run of evictions */
} vesk_msg_absent_peer;

static vesk_msg_absent_peer s_http = {MSG_TYPE_FOR_HTTPD, "HTTP daemon", 0};
static vesk_msg_absent_peer s_ble = {MSG_TYPE_FOR_BLE, "BLE service", 0};

static void make_room_for(vesk_msg_absent_peer *peer)
{
    const int id = Qel_MsgEvent_SendQueue();
    struct msqid_ds ds;
    if (id < 0 || msgctl(id, IPC_STAT, &ds) != 0) return;
    if (ds.msg_cbytes + MSGQ_TEXT_SIZE <= ds.msg_qbytes / 2) {
        __atomic_store_n(&peer->evicting, 0, __ATOMIC_RELAXED);
        return;
    }
    Qel_MsgEvent oldest;
    if (msgrcv(id, &oldest, MSGQ_TEXT_SIZE, peer->mtype, IPC_NOWAIT | MSG_NOERROR) < 0) return;
    /* An absent peer is the usual case (no phone daemon or BLE service on
     * a bench, or not yet started): no error, only a note in debug mode. */
    if (__atomic_exchange_n(&peer->evicting, 1, __ATOMIC_RELAXED) == 0)
        vesk_log_printf(VESK_LOG_DETAIL, "ipc", "%s is not reading its records: dropping its oldest to keep room",
                        peer->name);
}

/* 1 when the record for a possibly absent peer was queued. */
static int send_to_peer(vesk_msg_absent_peer *peer, uint8_t type, uint32_t length, const uint8_t *frame)
{
    if (!length_ok(frame, length)) return 0;
    make_room_for(peer);
    return Qel_SendMsgEvent(peer->mtype, type, MSGQ_COMMAND_BY_APP, frame, length) == 0;
}

int Msgtext_App_To_Ui(uint8_t type, uint32_t length, const uint8_t *frame)
{
    int rc = -1;
    int err = EINVAL;
    if (length_ok(frame, length)) {
        rc = Qel_SendMsgEvent(MSG_TYPE_FOR_QTMENU, type, MSGQ_COMMAND_BY_APP, frame, length);
        err = errno;
    }
    vesk_log_ipc(vesk_msg_tags[VESK_MSG_TO_GUI], frame, length, rc);
    vesk_msg_note_send(VESK_MSG_TO_GUI, type, frame, length, rc != 0, err);
    return rc == 0 ? 1 : -1;
}

int Msgtext_App_To_Media(uint8_t type, uint32_t length, const uint8_t *frame)
{
    if (length_ok(frame, length) && Qel_SendMsgEvent(MSG_TYPE_FOR_MEDIA, type, MSGQ_COMMAND_BY_APP, frame, length) == 0)
        return 1;
    printf("APP to Media Send failed");
    print_bytes("[%02x] ", frame, length > VESK_FRAME_MAX ? 0 : length);
    return -1;
}

int Msgtext_App_To_Http(uint8_t type, uint32_t length, const uint8_t *frame)
{
    if (send_to_peer(&s_http, type, length, frame)) return 1;
    /* Items 2 and 3 carry the Wi-Fi name and passphrase. */
    if (frame != NULL && length > 4 && (frame[VESK_FRAME_OFF_ITEM] == 2 || frame[VESK_FRAME_OFF_ITEM] == 3)) {
        printf("APP to Http Send failed cmd=0x%02x len=%u (password payload redacted)\n", frame[VESK_FRAME_OFF_ITEM],
               length);
    } else {
        printf("APP to Http Send failed");
        print_bytes("[+%02x+] ", frame, length > VESK_FRAME_MAX ? 0 : length);
    }
    return -1;
}

/* The phone side's result frame, for either link peer. */
static int send_result(int (*sender)(uint8_t, uint32_t, const uint8_t *), uint8_t type, uint8_t cmd,
                       const uint8_t *data, size_t n)
{
    uint8_t frame[VESK_FRAME_BUILD_MAX];
    size_t size = vesk_frame_build(frame, sizeof(frame), SUB_NOTIFIER_HTTP, 0, cmd, VESK_FRAME_FLAG_REQUEST, data, n);
    if (size == 0) return -1;
    return sender(type, (uint32_t)size, frame);
}

int sendResultToHTTP(uint8_t cmd, const uint8_t *data, size_t n)
{
    return send_result(Msgtext_App_To_Http, MSGQ_COMMAND_APP_TO_HTTP, cmd, data, n);
}

int sendResultToBLE(uint8_t cmd, const uint8_t *data, size_t n)
{
    return send_result(Msgtext_App_To_BLE, MSGQ_COMMAND_APP_TO_BLE, cmd, data, n);
}

int Msgtext_App_To_BLE(uint8_t type, uint32_t length, const uint8_t *frame)
{
    if (send_to_peer(&s_ble, type, length, frame)) return 1;
    printf("APP to BLE Send failed");
    print_bytes("[+%02x+] ", frame, length > VESK_FRAME_MAX ? 0 : length);
    return -1;
}
