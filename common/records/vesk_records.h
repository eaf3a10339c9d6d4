// The records that cross between sightd and sightui as raw byte images: the
// boot status, the zero store and one ballistic profile. Both programs and
// every peer that reads a frame payload rely on these exact layouts (natural
// C layout of a 64-bit little-endian machine, padding included), so every
// offset is pinned below. Plain char is unsigned 8-bit in both programs.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define VESK_PROFILE_COUNT 6 /* ballistic profiles, and zero groups */
#define VESK_ZERO_COUNT 2    /* zero points per group */
#define VESK_VERSION_TEXT "v1.0.4"

typedef enum { MOA = 0, MRAD = 1 } ScopeUnit;
typedef enum { LEFT = 0, RIGHT = 1 } RiflingDirection;

/* The types and colours of the range, picture-in-picture, laser and
 * ballistic marks: seven bytes in this order in the boot image below and in
 * sightd's settings record, which the image copies one for one. */
#define VESK_MARK_STYLE_FIELDS(X)                                                                                      \
    X(s8RangeReticleType)                                                                                              \
    X(s8RangeReticleColor)                                                                                             \
    X(s8PIPReticleType)                                                                                                \
    X(s8PIPReticleColor)                                                                                               \
    X(s8LaserReticleType)                                                                                              \
    X(s8LaserReticleColor)                                                                                             \
    X(s8BallisticReticleColor)
#define VESK_CHAR_FIELD(name) char name;

/* The 96-byte settings image sent once at boot. */
typedef struct {
    char s8UseMode;
    char s8VideoMode;
    char s8ConciseMode;
    char s8IrPolarity;
    char s8IrBrightness;
    char s8IrContrast;
    char s8CorrectType;
    char s8Redhotthreshold;
    char s8IrEnchance;
    char s8IrScene;
    char s8Stronglight_protect;
    char s8IrSize;
    char s8VisiBrightness;
    char s8VisiContrast;
    char s8FuMode;
    char s8FuBrightness;
    char s8FuContrast;
    char s8PipMode;
    char s8ReticleMenuSwitch;
    char s8ReticleColour;
    char s8ReticleSwitch;
    char s8ReticleBrightness;
    char s8ReticleType;
    short s16ReticlePositionX;
    short s16ReticlePositionY;
    short s16RangeOffsetX;
    short s16RangeOffsetY;
    short s16LaserIndicatX;
    short s16LaserIndicatY;
    char s8VideoOut;
    char s8ScreenBrightness;
    char s8ScreenHue;
    char s8Language;
    char s8SortType;
    char s8FillLightSwitch;
    char s8FillLightBright;
    short s16FushionX;
    short s16FushionY;
    short s16CompassMagnetic;
    short s16CliponPositionX;
    short s16CliponPositionY;
    char s8DistanceUint;
    char s8RangeType;
    char s8CompassSwitch;
    char s8HotTrack;
    char s8AutoShutter;
    char s8RecoilBefore;
    char s8RecoilAfter;
    char s8RecoilState;
    char s8MicroSwitch;
    char s8BallisticReticle;
    char s8RangeSwitch;
    char s8RecoilSensitivity;
    VESK_MARK_STYLE_FIELDS(VESK_CHAR_FIELD)
    char s8ScreenOff;
    char s8LaserRangeType;
    char s8WiFiSwitch;
    char s8ShotZoomSwitch;
    char s8LanguageType;
    char s8CompassAutoAngleSwitch;
    char version[16];
} UI_DevStatus;

/* One zero point: zeroing distance and the aim-mark position for it. */
typedef struct {
    short u16IrCursorDistance;   /* metric unit */
    short u16IrCursorDistanceYD; /* the same in yards */
    short s8IrCursorCurrentX;
    short s8IrCursorCurrentY;
    float flIrCursorOffsetX;
    float flIrCursorOffsetY;
} Qel_Cursor_Zero;

typedef struct {
    uint8_t u8CurrentZero; /* 0 or 1 */
    uint8_t u8TempZero;
    Qel_Cursor_Zero zero[VESK_ZERO_COUNT];
} Qel_Cursor_Group;

/* The zero store: six groups of two zero points (220-byte cursor frame). */
typedef struct {
    uint8_t u8CurrentGroup; /* 0..5 */
    Qel_Cursor_Group group[VESK_PROFILE_COUNT];
} Qel_IR_Cursor;

typedef struct {
    short range;
    short range_yard;
    double shootingAngle;
} Info_target;

/* The yard figure stored beside a distance in metres (range_yard,
 * zeroRange_yard, u16IrCursorDistanceYD; tenths beside tenths): truncated
 * toward zero and held at the 16-bit ends. A millionth keeps a whole number
 * the factor lands just below (1250 m, 1367 yd). */
static inline short vesk_yards_of_metres(double metres)
{
    double yards = metres * 1.0936;
    if (yards != yards) return 0; /* NaN */
    yards += yards >= 0 ? 1e-6 : -1e-6;
    if (yards >= INT16_MAX) return INT16_MAX;
    if (yards <= INT16_MIN) return INT16_MIN;
    return (short)yards;
}

typedef struct {
    double angle;
    double speed;
} Info_wind;

typedef struct {
    double lat;
    double angle;
    char CoriolisEffectSwitch;
} Info_CoriolisEffect;

typedef struct {
    float altitude;
    float barometer;
    float temperature;
    float relative_humidity;
} Info_atmosphere;

typedef struct {
    double length;
    double diameter;
    double weight;
    double ballisticsCoef;
    int dragFunction;
    double velocity;
    Info_atmosphere atmosphere; /* the zeroing weather */
    int isOpenAtmosphere;       /* zeroing weather in use */
    ScopeUnit zeroOffsetUnit;
    double zeroOffsetVerticalMOA;
    double zeroOffsetHorizontalMOA;
    double zeroOffsetVerticalMRAD;
    double zeroOffsetHorizontalMRAD;
} Info_bullet;

typedef struct {
    short zeroRange;
    short zeroRange_yard;
    double sightHeightOverBore;
    ScopeUnit unit;
    double verticalUnitPerCard;
    double horizontalUnitPerCard;
} Info_scope;

typedef struct {
    Info_bullet bullet;
    Info_scope scope;
    double riflingRange;
    RiflingDirection direction;
} Info_gun;

/* One ballistic profile (248-byte ballistics frame, one per index 0..5). */
typedef struct {
    uint8_t ballistics_sw;
    ScopeUnit unit;
    uint8_t spinDriftOpt;
    Info_target target;
    Info_wind wind;
    Info_CoriolisEffect corioliseffect;
    Info_atmosphere atmosphere; /* the shooting weather */
    Info_gun gun;
} Info_ballistics;

#define VESK_RECORD_AT(type, field, off) static_assert(offsetof(type, field) == (off), #type "." #field)

static_assert(sizeof(char) == 1 && (char)-1 > 0, "plain char must be unsigned 8-bit (-funsigned-char)");
static_assert(sizeof(short) == 2 && sizeof(int) == 4 && sizeof(float) == 4 && sizeof(double) == 8,
              "record field widths");
static_assert(sizeof(ScopeUnit) == 4 && sizeof(RiflingDirection) == 4, "enums are 32-bit");

static_assert(sizeof(UI_DevStatus) == 96, "UI_DevStatus is 96 bytes");
VESK_RECORD_AT(UI_DevStatus, s8UseMode, 0);
VESK_RECORD_AT(UI_DevStatus, s8VideoMode, 1);
VESK_RECORD_AT(UI_DevStatus, s8ConciseMode, 2);
VESK_RECORD_AT(UI_DevStatus, s8IrPolarity, 3);
VESK_RECORD_AT(UI_DevStatus, s8IrBrightness, 4);
VESK_RECORD_AT(UI_DevStatus, s8IrContrast, 5);
VESK_RECORD_AT(UI_DevStatus, s8CorrectType, 6);
VESK_RECORD_AT(UI_DevStatus, s8Redhotthreshold, 7);
VESK_RECORD_AT(UI_DevStatus, s8IrEnchance, 8);
VESK_RECORD_AT(UI_DevStatus, s8IrScene, 9);
VESK_RECORD_AT(UI_DevStatus, s8Stronglight_protect, 10);
VESK_RECORD_AT(UI_DevStatus, s8IrSize, 11);
VESK_RECORD_AT(UI_DevStatus, s8VisiBrightness, 12);
VESK_RECORD_AT(UI_DevStatus, s8VisiContrast, 13);
VESK_RECORD_AT(UI_DevStatus, s8FuMode, 14);
VESK_RECORD_AT(UI_DevStatus, s8FuBrightness, 15);
VESK_RECORD_AT(UI_DevStatus, s8FuContrast, 16);
VESK_RECORD_AT(UI_DevStatus, s8PipMode, 17);
VESK_RECORD_AT(UI_DevStatus, s8ReticleMenuSwitch, 18);
VESK_RECORD_AT(UI_DevStatus, s8ReticleColour, 19);
VESK_RECORD_AT(UI_DevStatus, s8ReticleSwitch, 20);
VESK_RECORD_AT(UI_DevStatus, s8ReticleBrightness, 21);
VESK_RECORD_AT(UI_DevStatus, s8ReticleType, 22);
VESK_RECORD_AT(UI_DevStatus, s16ReticlePositionX, 24);
VESK_RECORD_AT(UI_DevStatus, s16ReticlePositionY, 26);
VESK_RECORD_AT(UI_DevStatus, s16RangeOffsetX, 28);
VESK_RECORD_AT(UI_DevStatus, s16RangeOffsetY, 30);
VESK_RECORD_AT(UI_DevStatus, s16LaserIndicatX, 32);
VESK_RECORD_AT(UI_DevStatus, s16LaserIndicatY, 34);
VESK_RECORD_AT(UI_DevStatus, s8VideoOut, 36);
VESK_RECORD_AT(UI_DevStatus, s8ScreenBrightness, 37);
VESK_RECORD_AT(UI_DevStatus, s8ScreenHue, 38);
VESK_RECORD_AT(UI_DevStatus, s8Language, 39);
VESK_RECORD_AT(UI_DevStatus, s8SortType, 40);
VESK_RECORD_AT(UI_DevStatus, s8FillLightSwitch, 41);
VESK_RECORD_AT(UI_DevStatus, s8FillLightBright, 42);
VESK_RECORD_AT(UI_DevStatus, s16FushionX, 44);
VESK_RECORD_AT(UI_DevStatus, s16FushionY, 46);
VESK_RECORD_AT(UI_DevStatus, s16CompassMagnetic, 48);
VESK_RECORD_AT(UI_DevStatus, s16CliponPositionX, 50);
VESK_RECORD_AT(UI_DevStatus, s16CliponPositionY, 52);
VESK_RECORD_AT(UI_DevStatus, s8DistanceUint, 54);
VESK_RECORD_AT(UI_DevStatus, s8RangeType, 55);
VESK_RECORD_AT(UI_DevStatus, s8CompassSwitch, 56);
VESK_RECORD_AT(UI_DevStatus, s8HotTrack, 57);
VESK_RECORD_AT(UI_DevStatus, s8AutoShutter, 58);
VESK_RECORD_AT(UI_DevStatus, s8RecoilBefore, 59);
VESK_RECORD_AT(UI_DevStatus, s8RecoilAfter, 60);
VESK_RECORD_AT(UI_DevStatus, s8RecoilState, 61);
VESK_RECORD_AT(UI_DevStatus, s8MicroSwitch, 62);
VESK_RECORD_AT(UI_DevStatus, s8BallisticReticle, 63);
VESK_RECORD_AT(UI_DevStatus, s8RangeSwitch, 64);
VESK_RECORD_AT(UI_DevStatus, s8RecoilSensitivity, 65);
VESK_RECORD_AT(UI_DevStatus, s8RangeReticleType, 66);
VESK_RECORD_AT(UI_DevStatus, s8RangeReticleColor, 67);
VESK_RECORD_AT(UI_DevStatus, s8PIPReticleType, 68);
VESK_RECORD_AT(UI_DevStatus, s8PIPReticleColor, 69);
VESK_RECORD_AT(UI_DevStatus, s8LaserReticleType, 70);
VESK_RECORD_AT(UI_DevStatus, s8LaserReticleColor, 71);
VESK_RECORD_AT(UI_DevStatus, s8BallisticReticleColor, 72);
VESK_RECORD_AT(UI_DevStatus, s8ScreenOff, 73);
VESK_RECORD_AT(UI_DevStatus, s8LaserRangeType, 74);
VESK_RECORD_AT(UI_DevStatus, s8WiFiSwitch, 75);
VESK_RECORD_AT(UI_DevStatus, s8ShotZoomSwitch, 76);
VESK_RECORD_AT(UI_DevStatus, s8LanguageType, 77);
VESK_RECORD_AT(UI_DevStatus, s8CompassAutoAngleSwitch, 78);
VESK_RECORD_AT(UI_DevStatus, version, 79);

static_assert(sizeof(Qel_Cursor_Zero) == 16, "Qel_Cursor_Zero is 16 bytes");
VESK_RECORD_AT(Qel_Cursor_Zero, u16IrCursorDistance, 0);
VESK_RECORD_AT(Qel_Cursor_Zero, u16IrCursorDistanceYD, 2);
VESK_RECORD_AT(Qel_Cursor_Zero, s8IrCursorCurrentX, 4);
VESK_RECORD_AT(Qel_Cursor_Zero, s8IrCursorCurrentY, 6);
VESK_RECORD_AT(Qel_Cursor_Zero, flIrCursorOffsetX, 8);
VESK_RECORD_AT(Qel_Cursor_Zero, flIrCursorOffsetY, 12);
static_assert(sizeof(Qel_Cursor_Group) == 36, "Qel_Cursor_Group is 36 bytes");
VESK_RECORD_AT(Qel_Cursor_Group, u8CurrentZero, 0);
VESK_RECORD_AT(Qel_Cursor_Group, u8TempZero, 1);
VESK_RECORD_AT(Qel_Cursor_Group, zero, 4);
static_assert(sizeof(Qel_IR_Cursor) == 220, "Qel_IR_Cursor is 220 bytes");
VESK_RECORD_AT(Qel_IR_Cursor, u8CurrentGroup, 0);
VESK_RECORD_AT(Qel_IR_Cursor, group, 4);

static_assert(sizeof(Info_target) == 16, "Info_target is 16 bytes");
VESK_RECORD_AT(Info_target, range, 0);
VESK_RECORD_AT(Info_target, range_yard, 2);
VESK_RECORD_AT(Info_target, shootingAngle, 8);
static_assert(sizeof(Info_wind) == 16, "Info_wind is 16 bytes");
VESK_RECORD_AT(Info_wind, angle, 0);
VESK_RECORD_AT(Info_wind, speed, 8);
static_assert(sizeof(Info_CoriolisEffect) == 24, "Info_CoriolisEffect is 24 bytes");
VESK_RECORD_AT(Info_CoriolisEffect, lat, 0);
VESK_RECORD_AT(Info_CoriolisEffect, angle, 8);
VESK_RECORD_AT(Info_CoriolisEffect, CoriolisEffectSwitch, 16);
static_assert(sizeof(Info_atmosphere) == 16, "Info_atmosphere is 16 bytes");
VESK_RECORD_AT(Info_atmosphere, altitude, 0);
VESK_RECORD_AT(Info_atmosphere, barometer, 4);
VESK_RECORD_AT(Info_atmosphere, temperature, 8);
VESK_RECORD_AT(Info_atmosphere, relative_humidity, 12);
static_assert(sizeof(Info_bullet) == 104, "Info_bullet is 104 bytes");
VESK_RECORD_AT(Info_bullet, length, 0);
VESK_RECORD_AT(Info_bullet, diameter, 8);
VESK_RECORD_AT(Info_bullet, weight, 16);
VESK_RECORD_AT(Info_bullet, ballisticsCoef, 24);
VESK_RECORD_AT(Info_bullet, dragFunction, 32);
VESK_RECORD_AT(Info_bullet, velocity, 40);
VESK_RECORD_AT(Info_bullet, atmosphere, 48);
VESK_RECORD_AT(Info_bullet, isOpenAtmosphere, 64);
VESK_RECORD_AT(Info_bullet, zeroOffsetUnit, 68);
VESK_RECORD_AT(Info_bullet, zeroOffsetVerticalMOA, 72);
VESK_RECORD_AT(Info_bullet, zeroOffsetHorizontalMOA, 80);
VESK_RECORD_AT(Info_bullet, zeroOffsetVerticalMRAD, 88);
VESK_RECORD_AT(Info_bullet, zeroOffsetHorizontalMRAD, 96);
static_assert(sizeof(Info_scope) == 40, "Info_scope is 40 bytes");
VESK_RECORD_AT(Info_scope, zeroRange, 0);
VESK_RECORD_AT(Info_scope, zeroRange_yard, 2);
VESK_RECORD_AT(Info_scope, sightHeightOverBore, 8);
VESK_RECORD_AT(Info_scope, unit, 16);
VESK_RECORD_AT(Info_scope, verticalUnitPerCard, 24);
VESK_RECORD_AT(Info_scope, horizontalUnitPerCard, 32);
static_assert(sizeof(Info_gun) == 160, "Info_gun is 160 bytes");
VESK_RECORD_AT(Info_gun, bullet, 0);
VESK_RECORD_AT(Info_gun, scope, 104);
VESK_RECORD_AT(Info_gun, riflingRange, 144);
VESK_RECORD_AT(Info_gun, direction, 152);
static_assert(sizeof(Info_ballistics) == 248, "Info_ballistics is 248 bytes");
VESK_RECORD_AT(Info_ballistics, ballistics_sw, 0);
VESK_RECORD_AT(Info_ballistics, unit, 4);
VESK_RECORD_AT(Info_ballistics, spinDriftOpt, 8);
VESK_RECORD_AT(Info_ballistics, target, 16);
VESK_RECORD_AT(Info_ballistics, wind, 32);
VESK_RECORD_AT(Info_ballistics, corioliseffect, 48);
VESK_RECORD_AT(Info_ballistics, atmosphere, 72);
VESK_RECORD_AT(Info_ballistics, gun, 88);
