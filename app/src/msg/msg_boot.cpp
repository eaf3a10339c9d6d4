#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "msg_media.h"
#include "qel_dev_status.h"
#include "vesk_msg.h"
#include "vesk_persist.h"

volatile int voUartInitFinished = 0;

static vesk_msg_hooks s_hooks;

void vesk_msg_set_hooks(const vesk_msg_hooks *hooks)
{
    if (hooks == NULL)
        memset(&s_hooks, 0, sizeof(s_hooks));
    else
        s_hooks = *hooks;
}

const vesk_msg_hooks *vesk_msg_get_hooks(void) { return &s_hooks; }

/* The parameter-init object (16) carries the boot images: sub 0 the status,
 * 1 the zero store, 2 one profile (item = its index). */
static int param_frame_to_gui(uint8_t sub, uint8_t item, const void *image, size_t n)
{
    uint8_t frame[VESK_FRAME_BUILD_MAX];
    size_t size = vesk_frame_build(frame, sizeof(frame), SUB_NOTIFIER_PARAMETER_INIT, sub, item, VESK_FRAME_FLAG_REPORT,
                                   image, n);
    if (size == 0) return -1;
    if (Qel_SendMsgEvent(MSG_TYPE_FOR_QTMENU, MSGQ_COMMAND_APP_TO_UI, MSGQ_COMMAND_BY_APP, frame, (uint32_t)size) != 0)
        return -1;
    return (int)size;
}

int sendDevStatusToQtMenu(const UI_DevStatus *ui_status, int flags)
{
    if (ui_status == NULL) return -1;
    int size = param_frame_to_gui(0, 0, ui_status, sizeof(*ui_status));
    printf("ui init length = %d, flags = %d\n", size, flags);
    return size;
}

int sendCursorInfoToQtMenu(const Qel_IR_Cursor *cursor)
{
    if (cursor == NULL) return -1;
    int size = param_frame_to_gui(1, 0, cursor, sizeof(*cursor));
    printf("ui init CursorInfo length = %d\n", size);
    return size;
}

int sendBallisticsInfoToQtMenu(const Info_ballistics *profile, uint8_t index)
{
    if (profile == NULL || index >= VESK_PROFILE_COUNT) return -1;
    return param_frame_to_gui(2, index, profile, sizeof(*profile));
}

int sendShotVideoReadyToUI(void)
{
    uint8_t frame[VESK_FRAME_MIN];
    size_t size =
        vesk_frame_build(frame, sizeof(frame), SUB_NOTIFIER_SHOOT, 8, VESK_FRAME_NONE, VESK_FRAME_FLAG_REPORT, NULL, 0);
    return Qel_SendMsgEvent(MSG_TYPE_FOR_QTMENU, MSGQ_COMMAND_APP_TO_UI, MSGQ_COMMAND_BY_APP, frame, (uint32_t)size) ==
                   0
               ? 1
               : -1;
}

static int hook_true(int (*check)(void)) { return check != NULL && check(); }

#define LINK_WAIT_LIMIT 10    /* x 500 ms for both UARTs */
#define VERSION_WAIT_LIMIT 49 /* the same counter, then x 100 ms for the version */
#define GUI_STATE_TRIES 10    /* x 20 ms for the GUI's and the sensors' first reports */

static void wait_for_video_links(void)
{
    int c = 0;
    while (!(hook_true(s_hooks.vesk_core_uart_ready) && voUartInitFinished)) {
        usleep(500000);
        if (++c > LINK_WAIT_LIMIT) return;
    }
    while (!hook_true(s_hooks.vesk_core_version_ready)) {
        if (s_hooks.vesk_core_self_check != NULL) s_hooks.vesk_core_self_check();
        usleep(100000);
        if (++c > VERSION_WAIT_LIMIT) return;
    }
}

static int gui_state_known(void)
{
    const Qel_DevStatus *s = &qel_dev_status;
    return s->ui_ready && s->usb_send_state && s->zoom_send_state && s->battery_send_state;
}

void sendProfilesToQtMenu(void)
{
    /* Copies, so the lock is not held across the sends. */
    Qel_IR_Cursor cursor;
    Qel_IR_Ballistics profiles;
    vesk_profiles_lock();
    cursor = qel_ir_cursor;
    profiles = qel_ballistics;
    vesk_profiles_unlock();
    sendCursorInfoToQtMenu(&cursor);
    for (uint8_t i = 0; i < VESK_PROFILE_COUNT; i++) sendBallisticsInfoToQtMenu(&profiles.ballistics[i], i);
}

void Qel_Ui_Param_Send(event_handle *app_bus)
{
    UI_DevStatus ui;
    Qel_Ui_Param_Init(&qel_dev_status, &ui);
    wait_for_video_links();
    init_MsgTextSet(app_bus);
    for (int i = 0; i < GUI_STATE_TRIES && !gui_state_known(); i++) usleep(20000);

    /* No lifecycle module to ask counts as a sound boot. */
    const int sound = s_hooks.vesk_boot_state_publish != NULL ? s_hooks.vesk_boot_state_publish() : 1;
    sendDevStatusToQtMenu(&ui, sound);
    if (sound) {
        sendProfilesToQtMenu();
    }
    if (s_hooks.vesk_debug_publish != NULL) s_hooks.vesk_debug_publish();
    if (s_hooks.vesk_dynamic_bc_publish != NULL) s_hooks.vesk_dynamic_bc_publish();
    printf("%s APP send to UI: init param.\n", "Qel_Ui_Param_Send");
}

/* X, Y as LE 16-bit, then both offsets as LE floats. */
static void reticle_point_bytes(uint8_t out[12], short x, short y, float ox, float oy)
{
    vesk_put_u16(out, (uint16_t)x);
    vesk_put_u16(out + 2, (uint16_t)y);
    vesk_put_f32(out + 4, ox);
    vesk_put_f32(out + 8, oy);
}

static void send_reticle_point(event_handle *bus)
{
    Qel_DevStatus *s = &qel_dev_status;
    uint8_t data[12];
    reticle_point_bytes(data, s->s16ReticlePositionX, s->s16ReticlePositionY, s->f32ReticleOffsetX,
                        s->f32ReticleOffsetY);
    reticle_point_MsgTextSend(bus, 3, VESK_FRAME_NONE, data);
    s->s16ReticlePositionXMedia = s->s16ReticlePositionX;
    s->s16ReticlePositionYMedia = s->s16ReticlePositionY;
    s->f32ReticleOffsetXMedia = s->f32ReticleOffsetX;
    s->f32ReticleOffsetYMedia = s->f32ReticleOffsetY;
}

void updateReticlePointToMedia(event_handle *bus)
{
    const Qel_DevStatus *s = &qel_dev_status;
    if (s->s16ReticlePositionXMedia == s->s16ReticlePositionX &&
        s->s16ReticlePositionYMedia == s->s16ReticlePositionY && s->f32ReticleOffsetXMedia == s->f32ReticleOffsetX &&
        s->f32ReticleOffsetYMedia == s->f32ReticleOffsetY)
        return;
    send_reticle_point(bus);
}

void Qel_Media_Param_Send_Quick(event_handle *bus)
{
    send_reticle_point(bus);
    video_MsgTextSend(0, (uint8_t)qel_dev_status.s8VideoMode);
    vesk_profiles_lock();
    const uint8_t ballistics_on = qel_ballistics.ballistics[0].ballistics_sw;
    vesk_profiles_unlock();
    BalState_MsgTextSend(0, ballistics_on);
}
