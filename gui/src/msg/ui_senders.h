// Every request of the GUI to sightd. A page writes the new value into a
// mirror first; the sender reads it back from there, builds one frame
// (flag 0x00), sends it and raises the events that make pages redraw.
#pragma once

#include <stdint.h>

#include "vesk_lifecycle_codes.h"

typedef enum {
    BASIC_VIDEO_MODE = 0,
    BASIC_INFO_DISPLAY_MODE = 6,
    BASIC_SCREEN_LIGHT = 7,
    BASIC_CVBS_MODE = 8,
    BASIC_RESET_MODE = 11,
    BASIC_STORAGE_FORMAT = 12,
    BASIC_SHUT_DOWN = 13,
    BASIC_AUTO_SCREEN = 14,
    BASIC_LANGUAGE = 16,
    BASIC_FILE_ORDER = 17,
    BASIC_USB_TYPE = 18,
    BASIC_POWER_SUPPLY = 19,
    BASIC_CLIPON_POSITION = 20,
    BASIC_USE_MODE = 21,
    BASIC_LASER_SWITCH = 22,
    BASIC_FILL_SWITCH = 23,
    BASIC_FILL_LIGHT = 24,
    BASIC_OVERHEAT = 25,
    BASIC_MICRO = 26,
    BASIC_RANGE_LASER_SAVE = 30,
    BASIC_REBOOT = 32,
    BASIC_COMPASS_SWITCH = 33,
    BASIC_WIND_SWITCH = 34,
    BASIC_WIND_COUNT_SWITCH = 35,
    BASIC_RANGE_TYPE = 36,
    BASIC_DISTANCE_UINT = 37,
    BASIC_WIND_SPEED = 38,
    BASIC_MENU_LEVEL = 39,
    BASIC_COMPASS_AUTO_ANGLE_SWITCH = 40,
    BASIC_DEBUG_MODE = 41,
    BASIC_LIFECYCLE = 42,
    BASIC_DYNAMIC_BC = 43,
    BASIC_NULL = 255,
} _BASIC_FUNCTION;

typedef enum {
    INFRARED_CORRECT = 0,
    INFRARED_LIGHT = 1,
    INFRARED_CONTRACT = 2,
    INFRARED_ENHANCE = 3,
    INFRARED_POLARITY = 4,
    INFRARED_CORRECT_TYPE_CHOOSE = 5,
    INFRARED_LIGHTPAOTECT = 8,
    INFRARED_SCENE = 9,
    INFRARED_FREEZE = 10,
    INFRARED_HOTTRACK = 12,
    INFRARED_AUTOSHUTTER = 13,
    INFRARED_ZOOM = 16,
} _INFRARED_FUNCTION;

typedef enum { DISTANCE_RANGE_SWITCH = 0, DISTANCE_RANGE_OPERATION = 1 } _DISTANCE_FUNCTION;

typedef enum {
    RETICLE_COLOR = 0,
    RETICLE_SWITCH = 1,
    RETICLE_TYPE = 2,
    RETICLE_POSITION = 3,
    RETICLE_MENU_SWITCH = 4,
    RETICLE_LIGHT = 5,
    RETICLE_GROUP = 6,
    RETICLE_ZERO = 7,
    RETICLE_LASER_POSITION = 8,
    RETICLE_RANGE_POSITION = 9,
    RETICLE_DISTANCE = 10,
    RETICLE_ENTER_RETICLE_MOVE = 11,
    RETICLE_PIP_EVENT = 12,
    RETICLE_POSITION_OFFSET_X = 13,
    RETICLE_POSITION_OFFSET_Y = 14,
    RETICLE_BACK_RETICLE_ZERO_CHILD = 254,
} _RETICLE_FUNCTION;

typedef enum {
    BALLISTIC_OPEN_CALCU = 0,
    BALLISTIC_BULLET_INFO = 1,
    BALLISTIC_TWIST_INFO = 2,
    BALLISTIC_ZEROWEATHER_LENSOFFSET = 3,
    BALLISTIC_WEATHER = 4,
    BALLISTIC_LENS_INFO = 5,
    BALLISTIC_WIND_INFO = 6,
    BALLISTIC_TARGET_INFO = 7,
    BALLISTIC_CORIOLIS_INFO = 8,
    BALLISTIC_SPINDRIFT_INFO = 9,
} BALLISTIC_SEND_PARM_INDEX;

typedef enum { SAVE_ALLPARAM = 3 } _PARAM_FUNCTION;

typedef enum {
    COMPASS_HORIZONTAL_START = 0,
    COMPASS_HORIZONTAL_STOP = 1,
    COMPASS_VERTICAL_START = 2,
    COMPASS_VERTICAL_STOP = 3,
    COMPASS_CORRECT_INTERRUPT = 4,
    COMPASS_CORRECT_START = 5,
} _COMPASS_CORRECT_TYPE;

typedef enum {
    BLIND_CURSOR_SWITCH = 0,
    BLIND_MOVE_POSITION = 1,
    BLIND_REPAIR = 2,
    BLIND_SAVE = 3,
    BLIND_MOVE_TENPOSITION = 4,
} _BLIND_FUNCTION;

typedef enum {
    RECOIL_SWITCH = 0,
    RECOIL_BEFORE = 1,
    RECOIL_AFTER = 2,
    RECOIL_SENSITIVITY = 3,
    RECOIL_BREAKOUT = 6,
    RECOIL_ZOOMSWITCH = 7,
} _RECOIL_FUNCTION;

typedef enum { UPDATA_CONFIRM = 1, UPDATA_CHECK = 2 } _UPDATA_FUNCTION;

typedef enum { TAP_VIDEO_RECORD = 0, TAP_VIDEO_REPLAY = 1 } _TAP_VIDEO_KIND;
typedef enum { TAP_REWIND_FORWARD = 3 } _TAP_VIDEO_FRAME;

/* The one exit: record type 1, command byte 255. 1 when sent, -1 when not. */
int Msgtext_Ui_To_App(uint8_t type, int length, const uint8_t *frame);

/* Frame builders: object, command, item, payload; each sends its frame. */
int BasicFunctionHandlerToApp(uint8_t obj, uint8_t cmd, uint8_t item, uint8_t value);
int wifiHandlerToApp(uint8_t obj, uint8_t cmd, uint8_t item, uint8_t value);
int UIreadyToApp(uint8_t obj, uint8_t cmd, uint8_t item, uint8_t value);
int QelHandlerToApp(uint8_t obj, uint8_t cmd, uint8_t item, uint8_t value, uint8_t value2);
int VeskLrfHandlerToApp(uint8_t obj, uint8_t cmd, uint8_t item, const uint8_t payload[4]);
int TapVideoHandlerToApp(uint8_t obj, uint8_t cmd, uint8_t item, uint8_t operation, const uint8_t name[24]);
int VideoFrameHandlerToApp(uint8_t obj, uint8_t cmd, uint8_t item, uint64_t frames);

int GUI_SEND_BASIC_FUNCTION_MSG(int item);
int GUI_SEND_INFRARED_MSG(int item);
int GUI_SEND_DISTANCE_FUNCTION_MSG(int command, int operation);
int GUI_SEND_RETICLE_MSG(int item);
int GUI_SEND_RETICLE_POSITION_MSG(int item);
int GUI_SEND_BALLISTIC_PARM_MSG(int index, int sub);
int GUI_SEND_PARAM_FUNCTION_MSG(int command);
int GUI_SEND_UI_READY_MSG(int value);
int GUI_SEND_WIFI_MSG(int command);
int GUI_SEND_COMPASS_MSG(int command);
int GUI_SEND_COMPASS_CORRECT(int step);
int GUI_SEND_BLIND_MSG(int command);
int GUI_SEND_RECOIL_MSG(int command);
int GUI_SEND_UPDATA_MSG(int command);
int GUI_SEND_TAP_VIDEO_MSG(int kind, int operation, const char *name);
int GUI_SEND_VIDEO_FRAME_MSG(int command);
int GUI_SEND_VISI_MSG(int command);
int GUI_SEND_FUSION_MSG(int command);
int GUI_SEND_FUSION_POSITION_MSG(int command);
int GUI_SEND_PIP_MSG(int command);
int GUI_SEND_GG_MSG(int command);
int GUI_SEND_CLIPON_POSITION_MSG(int command);


/* Basic item 13 with the persistence reason (1 voluntary, 3 low battery,
 * 4 low temperature). */
int vesk_gui_request_shutdown(int reason);

/* The auto-shutter timer: started by the sixth profile block when the
 * setting is on, and by the auto-shutter sender. */
void ui_auto_shutter_start(void);
int ui_auto_shutter_running(void);
/* Seconds the auto-shutter timer has counted since the last correction. */
uint32_t ui_auto_shutter_count(void);
