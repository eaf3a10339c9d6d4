// sightui's queue client: receives sightd's reports on queue 12345, hands
// each frame to the GUI thread through the toolkit's idle queue, validates
// it there and dispatches it by object code; sends requests on queue 54321.
#pragma once

#include <stdint.h>

#include "awtk.h"
#include "vesk_frame.h"
#include "vesk_msgq.h"

/* The GUI's names for the object codes (frame byte 2): the same codes
 * sightd routes by, so the two programs cannot drift apart. */
typedef enum {
    MSGQ_TYPE_BAISC = SUB_NOTIFIER_IMAGE,
    MSGQ_TYPE_INFRARED = SUB_NOTIFIER_IR,
    MSGQ_TYPE_VISIBLE = SUB_NOTIFIER_VISIBLE,
    MSGQ_TYPE_LLL = SUB_NOTIFIER_LLL,
    MSGQ_TYPE_DISTANCE = SUB_NOTIFIER_DISTANCE,
    MSGQ_TYPE_WIFI = SUB_NOTIFIER_WIFI,
    MSGQ_TYPE_COMPASS = SUB_NOTIFIER_COMPASS,
    MSGQ_TYPE_KEY = SUB_NOTIFIER_KEY,
    MSGQ_TYPE_READY = SUB_NOTIFIER_STATE,
    MSGQ_TYPE_METHOD = SUB_NOTIFIER_RECOG,
    MSGQ_TYPE_GPS = SUB_NOTIFIER_GPS,
    MSGQ_TYPE_CHECK = SUB_NOTIFIER_SELF,
    MSGQ_TYPE_CURSOR_AXIS = SUB_NOTIFIER_AXIS,
    MSGQ_TYPE_POWER_MANAGE = SUB_NOTIFIER_LOWMODE,
    MSGQ_TYPE_MOTOR_FOCUS = SUB_NOTIFIER_MOTOR,
    MSGQ_TYPE_BATTERY_VALUE = SUB_NOTIFIER_VOLTAGE,
    MSGQ_TYPE_PARAMETER_INIT = SUB_NOTIFIER_PARAMETER_INIT,
    MSGQ_TYPE_VOICE = SUB_NOTIFIER_AUDIO,
    MSGQ_TYPE_REMOTE = SUB_NOTIFIER_REMOTE,
    MSGQ_TYPE_FUSHION = SUB_NOTIFIER_FUSHION,
    MSGQ_TYPE_PIP = SUB_NOTIFIER_PIP,
    MSGQ_TYPE_RETICLE = SUB_NOTIFIER_RETICLE,
    MSGQ_TYPE_TAP = SUB_NOTIFIER_TAP,
    MSGQ_TYPE_BLIND = SUB_NOTIFIER_BADPIX,
    MSGQ_TYPE_GG = SUB_NOTIFIER_LID,
    MSGQ_TYPE_UPDATA = SUB_NOTIFIER_UPGRADE,
    MSGQ_TYPE_BALLISTIC = SUB_NOTIFIER_BALLISTICS,
    MSGQ_TYPE_RECOIL = SUB_NOTIFIER_SHOOT,
    MSGQ_WIND_INFO = SUB_NOTIFIER_BLUETOOTH,
    MSGQ_TYPE_TRANSPARENT = SUB_NOTIFIER_UARTTRANS,
    MSGQ_APP_TO_UI_EMPTY = SUB_NOTIFIER_EMPTY,
} MSGQ_TYPE;

typedef void (*Qel_MsgCallback)(Qel_MsgText *msg, unsigned long ctx);

typedef struct {
    int smsgid; /* send queue, key 54321 */
    int rmsgid; /* receive queue, key 12345 */
    Qel_MsgCallback callback;
} Qel_MsgNode;

/* One frame on its way from the listener thread to the GUI thread. */
typedef struct {
    uint8_t *data;
    int length;
} ui_msg_packet_t;

/* Opens both queues and starts the listener thread: 0 or -1. */
int Qel_InitMsgEvent(Qel_MsgCallback callback);
/* Removes both queues; only for a listener that could not start. 0. */
int Qel_DeinitMsgEvent(void);
/* One record of mtype 5 to sightd, never waiting: 0 or -1. */
int Qel_SendMsgEvent(uint8_t type, uint8_t command, const uint8_t *frame, int length);
int Qel_SendMsgEventQuiet(uint8_t type, uint8_t command, const uint8_t *frame, int length);

void *PthreadMsgEventListen(void *node);
void msgEventCallback(Qel_MsgText *msg, unsigned long ctx);
ret_t on_ui_msg_idle(const idle_info_t *idle);

/* GUI thread: validate one frame and hand it to its handler. */
void uiOperationControl(const uint8_t *frame, int length);
/* 0 for a sound frame, -1 (and an "ipc.app_to_gui" line) otherwise. */
int Protocol_parse(const uint8_t *frame, int size);
/* 8-bit sum of the first length - 3 bytes. */
uint8_t check_num(const uint8_t *frame, int length);
