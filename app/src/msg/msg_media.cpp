#include <stdio.h>
#include <unistd.h>

#include "msg_media.h"
#include "qel_dev_status.h"
#include "vesk_msg.h"

#define MEDIA_BUS_TIMEOUT_MS 100

/* Commands to the media process carry flag 0. */
static int to_media(uint8_t obj, uint8_t sub, uint8_t item, const uint8_t *payload, size_t n)
{
    uint8_t frame[VESK_FRAME_BUILD_MAX];
    size_t size = vesk_frame_build(frame, sizeof(frame), obj, sub, item, VESK_FRAME_FLAG_REQUEST, payload, n);
    if (size == 0) return -1;
    return Msgtext_App_To_Media(MSGQ_COMMAND_APP_TO_MEDIA, (uint32_t)size, frame);
}

static int to_bus(event_handle *bus, int evtype, uint8_t obj, uint8_t sub, uint8_t item, const uint8_t *payload,
                  size_t n)
{
    uint8_t frame[VESK_FRAME_BUILD_MAX];
    size_t size = vesk_frame_build(frame, sizeof(frame), obj, sub, item, VESK_FRAME_FLAG_REQUEST, payload, n);
    if (size == 0) return -1;
    return event_broadcast_send(bus, evtype, frame, (int)size, MEDIA_BUS_TIMEOUT_MS);
}

int ir_MsgTextSend(event_handle *bus, uint8_t sub, uint8_t item, uint8_t a, uint8_t b)
{
    const uint8_t p[2] = {a, b};
    return to_bus(bus, SUB_NOTIFIER_IR, SUB_NOTIFIER_IR, sub, item, p, 2);
}

int pip_MsgTextSend(event_handle *bus, uint8_t sub, uint8_t item, uint8_t a, uint8_t b)
{
    (void)bus;
    const uint8_t p[2] = {a, b};
    return to_media(SUB_NOTIFIER_PIP, sub, item, p, 2);
}

int reticle_MsgTextSend(event_handle *bus, uint8_t sub, uint8_t item, uint8_t a, uint8_t b)
{
    (void)bus;
    const uint8_t p[2] = {a, b};
    return to_media(SUB_NOTIFIER_RETICLE, sub, item, p, 2);
}

int ballistics_reticle_color_MsgTextSend(event_handle *bus)
{
    (void)bus;
    const uint8_t p[2] = {(uint8_t)qel_dev_status.s8BallisticReticleColor, 0};
    return to_media(SUB_NOTIFIER_BALLISTICS, 0, 3, p, 2);
}

int reticle_point_MsgTextSend(event_handle *bus, uint8_t sub, uint8_t item, const uint8_t data[12])
{
    (void)bus;
    return to_media(SUB_NOTIFIER_RETICLE, sub, item, data, 12);
}

int usual_MsgTextSend(event_handle *bus, uint8_t item, uint8_t value)
{
    return to_bus(bus, MAIN_NOTIFIER_APP, SUB_NOTIFIER_IMAGE, 0, item, &value, 1);
}

int video_MsgTextSend(uint8_t item, uint8_t value) { return to_media(SUB_NOTIFIER_IMAGE, 0, item, &value, 1); }

int uvc_MsgTextSend(uint8_t value) { return video_MsgTextSend(8, value); }

int irState_MsgTextSend(void)
{
    const uint8_t value = 2;
    return to_media(SUB_NOTIFIER_STATE, 0, 0, &value, 1);
}

int BalState_MsgTextSend(uint8_t sub, uint8_t value) { return to_media(SUB_NOTIFIER_BALLISTICS, sub, 0, &value, 1); }

int shotVideo_MsgTextSend(uint8_t sub, uint8_t value)
{
    return to_media(SUB_NOTIFIER_SHOOT, sub, VESK_FRAME_NONE, &value, 1);
}

int shotThreshold_MsgTextSend(int16_t threshold)
{
    uint8_t p[2];
    vesk_put_u16(p, (uint16_t)threshold); /* two's complement on the wire */
    return to_media(SUB_NOTIFIER_SHOOT, 3, VESK_FRAME_NONE, p, 2);
}

int waterMark_MsgTextSend(uint8_t value) { return to_media(SUB_NOTIFIER_HTTP, 0, 0x13, &value, 1); }

/* Which stored image parameter goes with which thermal-core item. */
static const struct {
    uint8_t item;
    uint8_t ir_index;
} init_ir_rows[] = {{9, 6}, {4, 3}, {1, 0}, {2, 1}, {3, 2}, {8, 4}};

#define INIT_CORE_WAIT_TRIES 10
#define INIT_CORE_WAIT_US 200000

void init_MsgTextSet(event_handle *bus)
{
    const vesk_msg_hooks *hooks = vesk_msg_get_hooks();
    printf("init_MsgTextSet\n");
    /* The version answers the self-check that the video link's ready mark
     * starts; without that mark nobody asked for it, and the boot push has
     * already waited its whole link wait for the media process. */
    for (int i = 0; i < INIT_CORE_WAIT_TRIES && voUartInitFinished; i++) {
        if (hooks->vesk_core_version_ready != NULL && hooks->vesk_core_version_ready()) break;
        usleep(INIT_CORE_WAIT_US);
    }
    const Qel_DevStatus *s = &qel_dev_status;
    for (const auto &row : init_ir_rows) ir_MsgTextSend(bus, 1, row.item, (uint8_t)s->irParam[row.ir_index], 0);
    if (hooks->vesk_core_shutter_close != NULL) hooks->vesk_core_shutter_close();
    reticle_MsgTextSend(bus, 0, VESK_FRAME_NONE, (uint8_t)s->reticleParam[0], 0);
    ballistics_reticle_color_MsgTextSend(bus);
    video_MsgTextSend(7, (uint8_t)s->s8ScreenBrightness);
    uvc_MsgTextSend((uint8_t)s->s8VideoOut);
    irState_MsgTextSend();
    video_MsgTextSend(26, (uint8_t)s->s8MicSwitch);
    shotVideo_MsgTextSend(1, (uint8_t)s->s8ShotFrontTime);
    shotVideo_MsgTextSend(2, (uint8_t)s->s8ShotBackTime);
    shotThreshold_MsgTextSend(s->s16ShotThreshold);
    waterMark_MsgTextSend((uint8_t)s->s8WaterMarkClosed);
}
