// sightd's own device records: the live settings record, the profile set and
// the three process-wide globals every module of sightd shares. The GUI has
// none of these; it includes vesk_records.h only.
#pragma once

#include "vesk_records.h"

typedef struct {
    char s8VideoMode;
    char s8VideoOut;
    char s8UartOut;
    char s8ScreenBrightness;
    char s8ScreenHue;
    char s8Language;
    char s8SortType;
    char s8ShotVideoSwitch;
    char s8ShotFrontTime;
    char s8ShotBackTime;
    char s8RecoilSensitivity;
    char s8RangeType;
    char vesk_lrf_target;
    char vesk_lrf_processing;
    uint16_t vesk_lrf_min_m;
    uint16_t vesk_lrf_max_m;
    char s8DistanceUint;
    char s8CompassSwitch;
    char s8HotTrack;
    char s8AutoShutter;
    char s8BallisticReticle;
    char s8CommuType;
    short s16ReticlePositionX;
    short s16ReticlePositionY;
    float f32ReticleOffsetX;
    float f32ReticleOffsetY;
    short s16ReticlePositionXMedia;
    short s16ReticlePositionYMedia;
    float f32ReticleOffsetXMedia;
    float f32ReticleOffsetYMedia;
    short s16RangeOffsetX;
    short s16RangeOffsetY;
    short s16LaserIndicatX;
    short s16LaserIndicatY;
    short s16RangeMinScale;
    short s16RangeMaxScale;
    short s16ShotThreshold; /* 225 - 25 x s8RecoilSensitivity */
    short s16RangeCurrentScale;
    short s16RangeCurrentScaleMedia;
    VESK_MARK_STYLE_FIELDS(VESK_CHAR_FIELD)
    char s8BallisticGroup;
    int irParam[7];
    int reticleParam[7]; /* [5] selected group 0..5, [6] its zero slot 0..1 */
    float compassParam[4];
    char s8IrSize;
    int usb_state_current;
    int usb_send_state;
    int battery_send_state;
    char battery_refresh;
    int zoom_current;
    int zoom_send_state;
    int ui_ready;
    int temp_one_flag;
    int zoom_send_media;
    char s8MagnCaliStart;
    char s8MagnCaliXY;
    char s8MagnCaliZ;
    char s8MagnCaliClean;
    char s8WiFiSwitch;
    char s8WifiEncryptType;
    char mac[64];
    char wifi_ssid[64];
    char wifi_password[64];
    int voltage_now;
    char s8WindBalSwitch;
    int distance_now;
    int wind_speed_now;
    int ballistics_refresh;
    char video_status;
    char shot_video_status;
    char wait_transfer;
    char is_factory;
    char s8LaserSwitch;
    char s8MicSwitch;
    char s8RangeSwitch;
    char s8LaserRanging;
    int laser_power_off_timer_second;
    char s8LaserEnable;
    char s8FpgaReady;
    char s8WaterMarkClosed;
    char sn[128];
    char pn[128];
    char s8CompassAutoAngleSwitch;
    float f_zero_azimuth;
    float f_zero_pitch;
    float f_zero_slant;
    float f_distance_4ballistics;
    float f_pitch_4ballistics;
    float f_azimuth_4ballistics;
    char version[16];
    char s8IfInAutoBlind;
} Qel_DevStatus;

/* The six profiles; profile i belongs with zero group i. */
typedef struct {
    uint8_t u8CurrentBallistics; /* kept equal to Qel_IR_Cursor.u8CurrentGroup */
    Info_ballistics ballistics[VESK_PROFILE_COUNT];
} Qel_IR_Ballistics;

static_assert(sizeof(Qel_IR_Ballistics) == 8 + 6 * 248, "Qel_IR_Ballistics layout");

/* Process-wide records of sightd. qel_dev_status has no lock: each field is
 * written whole by one module. The other two are guarded by the profiles
 * lock of the persistence service. */
extern Qel_DevStatus qel_dev_status;
extern Qel_IR_Cursor qel_ir_cursor;
extern Qel_IR_Ballistics qel_ballistics;

/* A row of the constant key tables of the three parameter arrays. */
typedef struct {
    char key[64];
    int32_t def;
} vesk_ini_key_row;

#define VESK_IR_PARAM_COUNT 7
#define VESK_RETICLE_PARAM_COUNT 7
#define VESK_COMPASS_PARAM_COUNT 4
#define VESK_RETICLE_GROUP_INDEX 5 /* reticleParam index of the selected group */
#define VESK_RETICLE_ZERO_INDEX 6  /* reticleParam index of its zero slot */

extern const vesk_ini_key_row vesk_ir_keys[VESK_IR_PARAM_COUNT];           /* section "irparam" */
extern const vesk_ini_key_row vesk_reticle_keys[VESK_RETICLE_PARAM_COUNT]; /* "reticleparam" */
extern const vesk_ini_key_row vesk_compass_keys[VESK_COMPASS_PARAM_COUNT]; /* "compassparam" */

/* A persisted scalar or text field of Qel_DevStatus with its key (lower
 * case, within its section) and the value it takes when the key is missing. */
typedef enum {
    VESK_FIELD_CHAR = 0, /* unsigned 8 */
    VESK_FIELD_U16 = 1,
    VESK_FIELD_S16 = 2,
    VESK_FIELD_F32 = 3,
    VESK_FIELD_TEXT = 4, /* terminated, at most size - 1 characters */
} vesk_field_kind;

typedef struct {
    const char *key;
    uint16_t offset;
    uint8_t kind;
    uint8_t size;
    double def;
} vesk_dev_field;

#define VESK_DEV_FIELD_COUNT 32    /* section "qeldevstatus" */
#define VESK_EEPROM_FIELD_COUNT 11 /* section "info", in the EEPROM record's line order */

extern const vesk_dev_field vesk_dev_fields[VESK_DEV_FIELD_COUNT];
extern const vesk_dev_field vesk_eeprom_fields[VESK_EEPROM_FIELD_COUNT];

/* Stores a number (or, for a text field, the text) into the field of status. */
void vesk_dev_field_store(Qel_DevStatus *status, const vesk_dev_field *field, double value, const char *text);
/* Reads a numeric field back as a double (0 for a text field). */
double vesk_dev_field_value(const Qel_DevStatus *status, const vesk_dev_field *field);

/* 225 - 25 x sensitivity: the recoil threshold the shot detector uses. */
static inline short vesk_shot_threshold(int sensitivity) { return (short)(225 - 25 * sensitivity); }

/* The record as a unit with no stored settings and an empty EEPROM has it:
 * zero everywhere, every persisted field at its default, the derived
 * threshold and the version text. */
void vesk_dev_status_defaults(Qel_DevStatus *status);

/* Zeroes the 96 bytes of dst and fills the boot image from src. No lock. */
void Qel_Ui_Param_Init(const Qel_DevStatus *src, UI_DevStatus *dst);
