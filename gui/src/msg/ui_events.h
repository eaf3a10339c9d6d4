// The GUI's user events: event type EVT_USER_START + N on the window
// manager. Reports and senders raise them; pages subscribe to redraw.
#pragma once

#include "awtk.h"

#define UI_EVT(n) ((int)EVT_USER_START + (int)(n))

enum {
    UI_EV_RETICLE_SWITCH = 2,
    UI_EV_FILE_LIST = 4, /* dispatched at once, never queued */
    UI_EV_RETICLE_POSITION = 5,
    UI_EV_AZIMUTH = 10,
    UI_EV_PITCH = 11,
    UI_EV_SLANT = 12,
    UI_EV_REPLAY_POSITION = 13,
    UI_EV_REPLAY_LENGTH = 14,
    UI_EV_BATTERY = 15,
    UI_EV_WIFI_CONNECTION = 19,
    UI_EV_BATTERY_TYPE = 21,
    UI_EV_BLIND_SAVE = 22,
    UI_EV_RETICLE_MENU_SWITCH = 25,
    UI_EV_OVERHEAT = 26,
    UI_EV_GG_CLEAR = 27,
    UI_EV_GG_GET = 28,
    UI_EV_GG_SAVE = 29,
    UI_EV_DISTANCE_UNIT = 30,
    UI_EV_ZERO_OFFSET = 31,
    UI_EV_LASER_INDICATOR = 34,
    UI_EV_REDRAW = 35,
    UI_EV_COMPASS_SWITCH = 36,
    UI_EV_LASER_SWITCH = 37,
    UI_EV_POLARITY = 38,
    UI_EV_WIFI_SWITCH = 40,
    UI_EV_RETICLE_COLOR = 42,
    UI_EV_RETICLE_LIGHT = 43,
    UI_EV_BRIGHT_LIGHT = 44,
    UI_EV_RETICLE_TYPE = 46,
    UI_EV_BACK_ZERO_CHILD = 47,
    UI_EV_BALLISTIC = 48,
    UI_EV_SHUTTER = 49,
    UI_EV_RANGE_SWITCH = 50,
    UI_EV_WIND_SPEED = 51,
    UI_EV_GROUP_DATA = 52,
    UI_EV_MICRO = 53,
    UI_EV_RECORDING = 54,
    UI_EV_RECORDING_TIP = 55,
    UI_EV_IR_ZOOM = 56,
    UI_EV_UPDATE = 57,
    UI_EV_RECOIL = 58,
    UI_EV_BALL_RETICLE_TYPE = 59,
    UI_EV_BALL_RETICLE_COLOR = 60,
    UI_EV_AUTO_SCREEN = 61,
    UI_EV_FREEZE_RELEASED = 62,
    UI_EV_PIP_RETICLE_COLOR = 63,
    UI_EV_RANGE_RETICLE = 64,
    UI_EV_LASER_RETICLE = 65,
    UI_EV_RANGE_STATE = 66,
    UI_EV_PROFILE_ARRIVED = 67,
    UI_EV_USB_MODE = 68,
    UI_EV_AUTO_SHUTTER = 69,
    UI_EV_CORNER_INFO = 70,
    UI_EV_WIFI_NAME = 71,
    UI_EV_LRF_RESULT = 72,
    UI_EV_LRF_STATE = 73,
    UI_EV_LRF_SETTINGS = 74,
    UI_EV_DEBUG_MODE = 75,
    UI_EV_LIFECYCLE = 76,
    UI_EV_DYNAMIC_BC = 77,
    UI_EV_UNSAVED_POWER_OFF = 78, /* dispatched at once, never queued */
};

/* Raises event (the full number EVT_USER_START + N) after the caller has
 * returned: events raised in one handler arrive in the order raised. */
void event_distrubution(int event);
