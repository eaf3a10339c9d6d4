// The GUI's copies of the device state and its own volatile state, and the
// report handlers that turn sightd's frames into mirror changes and user
// events. Everything here belongs to the GUI thread.
#pragma once

#include <stdint.h>

#include "ui_events.h"
#include "vesk_records.h"

typedef enum { INTERFACE_AOD = 0, INTERFACE_OBSERVE = 1, INTERFACE_MENU = 2 } INTERFACE_STATE;

/* The last ballistic result, as the pages read it. */
typedef struct {
    double moaV;
    double moaH;
    double mradV;
    double mradH;
    double clicksV;
    double clicksH;
    float moveX;
    float moveY;
    float distanche;
    float fl_angle;
    float azimuth;
} Result_ballistics;

/* Field names are the program's own, also where a prefix does not match
 * the width. Plain char is unsigned. */
typedef struct {
    int16_t s8IRZoom;
    char s8VisiZoom;
    char s8VisiMode;
    char s8FuZoom;
    char s8WifiSwitch;
    char s8WifiConnection;
    char s8BluetoochSwitch;
    char s8UsbMode;
    char s8PowerSwitch;
    char s8LaserSwitch;
    char s8FirstLanguageFlag;
    char s8LightOverheat;
    char s8ShutDownStatus;
    char s8BlindSwitch;
    char s8BlindPosition;
    char s8BlindTenPosition;
    char s8BlindType;
    char s8BlindSaveStatus;
    char s8GGClearStatus;
    char s8GGGetStatus;
    char s8GGSaveStatus;
    char s8BatteryType;
    int16_t s16BatteryValue;
    float s16CompassAzimuth;
    float s16CompassPitch;
    float s16CompassSlant;
    uint64_t u64VideoCurrentFrames;
    uint64_t u64VideoTotalFrames;
    uint64_t u64VideoForwardFrames;
    uint16_t u8VideoCurrentFrames;
    char s8InterfaceState;
    char s8RangeMode;
    char s8RangeState;
    uint16_t s16Distance;
    char s8RangeTargetMode;
    char s8RangeFirstOrLast;
    char s8RangeValueFlag;
    int16_t s16WindSpeed;
    char s8AnemometerSwitch;
    char s8AnemometeCountSwitch;
    char s8CompassTempOcclusion;
    char s8RecordingState;
    char unload_file_name[128];
    char s8Irfreeze;
    char event_distrubut_reday;
    char s8Enter_reticle_move;
    char s8IrBrightLight;
    char s8IrTemperature;
    char s8WindSwitch;
    char s8WindCountSwitch;
    char temp_window[32];
    char low_battery_shutdown;
    char wind_connect_state;
    char s8Updata_confirm;
    char s8Updata_check;
    char s8Updata_state;
    char s8Updata_result;
    char s8CurrentMenu;
    char s8ReticleTypeColorChoose;
    uint32_t timer_id_shutdown;
    char shutdown_count;
    char vesk_lifecycle_status;
    char vesk_lifecycle_reason;
    char vesk_recovery_latched;
    char Range_countdown;
    char Autoscreen;
    char s8CompassSwitchTemp;
    char s8Record_start_end;
    char s8Record_prepare;
    char WifiName[32];
    char s8TempReticleColor;
    int16_t CursorZoomX;
    int16_t CursorZoomY;
    char s8TempBallReticleColor;
} Qel_UIStatus;

extern UI_DevStatus stDevStatus;
extern Qel_IR_Cursor IR_Cursor;
extern Info_ballistics info[VESK_PROFILE_COUNT];
extern Result_ballistics result_ball;
/* 1 while the last result frame held no solution (a hold beyond a right
 * angle, a value that is not a number, ...): result_ball is then all zero
 * and no hold, distance or mark may be shown for it. */
extern uint8_t vesk_result_refused;
/* A right angle in milliradians: no hold points further from the line of
 * sight. */
#define UI_HOLD_MAX_MRAD 1570.796
/* The farthest distance the rangefinder takes, in metres. */
#define UI_DISTANCE_MAX_M 20000
extern Qel_UIStatus stUIStatus;
/* End of the unsaved power-off window on the toolkit clock; 0: none. */
extern uint64_t vesk_gui_force_until_ms;

#define VESK_HOME_PAGE "QZ_home_page_1"
#define VESK_FIRST_LANGUAGE_FILE "/usrdata/release/first_language.txt"

/* The current group and its current zero slot, always inside the tables
 * whatever a report or a page left in IR_Cursor. */
uint8_t ui_current_group(void);
uint8_t ui_current_zero(void);
Qel_Cursor_Zero *ui_current_zero_point(void);
Info_ballistics *ui_current_profile(void);
/* The thermal zoom in percent for conversions that divide by it: the
 * factory 100 (1.00x) until a zoom report has given one above 0. */
#define VESK_FACTORY_IR_ZOOM 100
int ui_ir_zoom_percent(void);

/* Name of the top window, or NULL when none is open. */
const char *ui_top_window_name(void);
/* 1 when the top window is one of the ten ballistic editors. */
int ui_top_is_ballistic_editor(void);

/* Report handlers (frame bytes and length). */
void basic_func(const uint8_t *frame, int length);
void IrInfo_func(const uint8_t *frame, int length);
void wifi_func(const uint8_t *frame, int length);
void compass_func(const uint8_t *frame, int length);
void battery_func(const uint8_t *frame, int length);
void parameter_func(const uint8_t *frame, int length);
void Reticle_PositionSet_func(const uint8_t *frame, int length);
void tap_func(const uint8_t *frame, int length);
void blind_func(const uint8_t *frame, int length);
void gg_func(const uint8_t *frame, int length);
void updata_func(const uint8_t *frame, int length);
void ballistic_func(const uint8_t *frame, int length);
void rav_func(const uint8_t *frame, int length);
void wind_info_func(const uint8_t *frame, int length);
void RangeSwitch_func(const uint8_t *frame, int length);

/* No caller in the system. */
int Set_RunStatusPara(int command);
int Get_RunStatusPara(int command);
void uiEventNotif(int command, const uint8_t *frame);
