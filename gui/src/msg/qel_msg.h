// sightui's queue client: receives sightd's reports on queue 12345, hands
// each frame to the GUI thread through the toolkit's idle queue, validates
// it there and dispatches it by object code; sends requests on queue 54321.
#pragma once

#include <stdint.h>

#include "awtk.h"
#include "vesk_frame.h"
#include "vesk_msgq.h"

/* The GUI's names for the object codes (frame byte 2). */
typedef enum {
    MSGQ_TYPE_BAISC = 0,
    MSGQ_TYPE_INFRARED = 1,
    MSGQ_TYPE_VISIBLE = 2,
    MSGQ_TYPE_LLL = 3,
    MSGQ_TYPE_DISTANCE = 4,
    MSGQ_TYPE_WIFI = 5,
    MSGQ_TYPE_COMPASS = 6,
    MSGQ_TYPE_KEY = 7,
    MSGQ_TYPE_READY = 8,
    MSGQ_TYPE_METHOD = 9,
    MSGQ_TYPE_GPS = 10,
    MSGQ_TYPE_CHECK = 11,
    MSGQ_TYPE_CURSOR_AXIS = 12,
    MSGQ_TYPE_POWER_MANAGE = 13,
    MSGQ_TYPE_MOTOR_FOCUS = 14,
    MSGQ_TYPE_BATTERY_VALUE = 15,
    MSGQ_TYPE_PARAMETER_INIT = 16,
    MSGQ_TYPE_VOICE = 17,
    MSGQ_TYPE_REMOTE = 19,
    MSGQ_TYPE_FUSHION = 20,
    MSGQ_TYPE_PIP = 21,
    MSGQ_TYPE_RETICLE = 22,
    MSGQ_TYPE_TAP = 23,
    MSGQ_TYPE_BLIND = 24,
    MSGQ_TYPE_GG = 25,
    MSGQ_TYPE_UPDATA = 26,
    MSGQ_TYPE_BALLISTIC = 27,
    MSGQ_TYPE_RECOIL = 28,
    MSGQ_WIND_INFO = 29,
    MSGQ_TYPE_TRANSPARENT = 68,
    MSGQ_APP_TO_UI_EMPTY = 255,
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
