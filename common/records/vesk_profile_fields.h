// Every field of one ballistic profile (Info_ballistics) and where each of
// its users keeps it: the request frame of object 27 that the GUI sends and
// sightd's router applies, the column of the "ballistics" table in the
// profile database, the line of the phone's exchange file, and the mirror
// profile the GUI's sender reads. One row per field; each user walks the
// rows in its own order (the database by column, the router by sub and
// item, the exchange file in the order of the rows).
//
// A user that does not map a field has no code for it in its row (no wire
// code, no column, no key): the users do not all map the same fields, and
// each keeps what it does today.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <type_traits>
#include <utility>

#include "vesk_records.h"

/* How a field is stored in the record. */
typedef enum {
    VESK_PF_U8,   /* uint8_t or char */
    VESK_PF_S16,  /* short */
    VESK_PF_I32,  /* int */
    VESK_PF_ENUM, /* a 32-bit enum (ScopeUnit, RiflingDirection) */
    VESK_PF_F32,  /* float */
    VESK_PF_F64,  /* double */
} vesk_pf_type;

/* Which profiles a change from the GUI or the phone writes; the export
 * reads a current-profile field from the current profile and every other
 * field from profile 0. */
typedef enum {
    VESK_PF_UNWRITTEN, /* nothing writes it at run time */
    VESK_PF_PROFILE0,  /* profile 0 only (the ballistics master switch) */
    VESK_PF_CURRENT,   /* the current profile */
    VESK_PF_ALL_SIX,   /* all six profiles */
} vesk_pf_scope;

/* The value of a request frame of object 27 (payload bytes 6..9). */
typedef enum {
    VESK_PF_WIRE_NONE,  /* not on the wire by itself */
    VESK_PF_WIRE_BYTE,  /* byte 6 */
    VESK_PF_WIRE_FLOAT, /* bytes 6..9, a little-endian float */
    VESK_PF_WIRE_WORDS, /* bytes 6..7 into this field, 8..9 into the next short */
} vesk_pf_wire;

/* Which of the GUI's mirror profiles its sender reads the field from. */
typedef enum {
    VESK_PF_GUI_NONE,     /* the sender sends zeros for it */
    VESK_PF_GUI_PROFILE0, /* profile 0, whichever group is current */
    VESK_PF_GUI_GROUP,    /* the current group's profile */
} vesk_pf_gui;

/* How the exchange file writes the value. */
typedef enum {
    VESK_PF_X_NONE,
    VESK_PF_X_DECIMAL,     /* a decimal number */
    VESK_PF_X_SWITCH,      /* import: "false" or "0" off, any other token on; export: the number */
    VESK_PF_X_TENTHS,      /* import: metres, stored x 10; export: the field / 10 */
    VESK_PF_X_WIND,        /* -180..180 in the file, 0..360 in the field */
    VESK_PF_X_LEFT_RIGHT,  /* import: "left" 0, "right" 1; export: the number */
    VESK_PF_X_GRAMS,       /* grams in the file, grains in the field */
    VESK_PF_X_DRAG,        /* a drag model name */
    VESK_PF_X_FALSE_TRUE,  /* import: "false" 0, "true" 1; export: the number */
    VESK_PF_X_OFFSET_UNIT, /* import: "moa" 0, "mrad" 1; export: always 0 */
    VESK_PF_X_OFFSET,      /* a zero offset in the offset unit; held in its MOA and MRAD field */
    VESK_PF_X_WHOLE,       /* a whole number, rounded on import */
    VESK_PF_X_SCOPE_UNIT,  /* import: any token, the unit follows the offset unit; export: always 0 */
    VESK_PF_X_CORIOLIS,    /* a decimal number, exported as 0 while the Coriolis switch is off */
} vesk_pf_xchg;

/* Where a row's limit is applied (bits). */
enum { VESK_PF_LIMIT_XCHG_IMPORT = 1 };

/* The fields, in the order of the exchange file, then those it does not
 * name. */
typedef enum {
    VESK_PF_SPIN_DRIFT,
    VESK_PF_TARGET_RANGE,
    VESK_PF_TARGET_ANGLE,
    VESK_PF_WIND_ANGLE,
    VESK_PF_WIND_SPEED,
    VESK_PF_CORIOLIS_LAT,
    VESK_PF_CORIOLIS_AZIMUTH,
    VESK_PF_WEATHER_TEMPERATURE,
    VESK_PF_WEATHER_PRESSURE,
    VESK_PF_WEATHER_HUMIDITY,
    VESK_PF_TWIST_RATE,
    VESK_PF_TWIST_DIRECTION,
    VESK_PF_BULLET_LENGTH,
    VESK_PF_BULLET_DIAMETER,
    VESK_PF_BULLET_WEIGHT,
    VESK_PF_BULLET_COEFFICIENT,
    VESK_PF_DRAG_FUNCTION,
    VESK_PF_MUZZLE_VELOCITY,
    VESK_PF_ZERO_WEATHER_TEMPERATURE,
    VESK_PF_ZERO_WEATHER_PRESSURE,
    VESK_PF_ZERO_WEATHER_HUMIDITY,
    VESK_PF_ZERO_WEATHER_ON,
    VESK_PF_OFFSET_UNIT,
    VESK_PF_OFFSET_VERTICAL_MOA,
    VESK_PF_OFFSET_HORIZONTAL_MOA,
    VESK_PF_ZERO_RANGE,
    VESK_PF_SCOPE_HEIGHT,
    VESK_PF_SCOPE_UNIT,
    VESK_PF_UNIT_PER_CARD_VERTICAL,
    VESK_PF_UNIT_PER_CARD_HORIZONTAL,
    VESK_PF_SWITCH,
    VESK_PF_UNIT,
    VESK_PF_TARGET_RANGE_YARD,
    VESK_PF_ZERO_RANGE_YARD,
    VESK_PF_OFFSET_VERTICAL_MRAD,
    VESK_PF_OFFSET_HORIZONTAL_MRAD,
    VESK_PF_CORIOLIS_SWITCH,
    VESK_PF_ALTITUDE,
    VESK_PF_ZERO_WEATHER_ALTITUDE,
    VESK_PF_COUNT
} vesk_pf_id;

typedef struct {
    vesk_pf_id id;     /* its own index, checked below */
    const char *name;  /* the member path in Info_ballistics */
    uint16_t offset;   /* in Info_ballistics */
    vesk_pf_type type; /* as stored there */
    vesk_pf_scope scope;
    /* request frame of object 27: sub (byte 3) and item (byte 4); the
     * GUI's sender takes them as its index and sub */
    uint8_t wire_sub, wire_item;
    vesk_pf_wire wire;
    vesk_pf_gui gui;
    /* profile database: position in the "ballistics" table (-1: not
     * stored), its name and its type as declared there */
    int8_t db_column;
    const char *db_name;
    const char *db_type;
    /* exchange file: the key an import line begins with, the key of the
     * export line (null: none) and the form of the value */
    const char *xchg_import;
    const char *xchg_export;
    vesk_pf_xchg xchg;
    /* a range the field is held in, where limit_in says */
    double lo, hi;
    uint8_t limit_in;
} vesk_profile_field;

/* A field's type as the record declares it. */
template <typename T> constexpr vesk_pf_type vesk_pf_type_of()
{
    static_assert(sizeof(T) == 1 || std::is_same_v<T, short> || sizeof(T) == 4 || std::is_same_v<T, double>,
                  "a field type the table knows");
    if constexpr (std::is_same_v<T, double>)
        return VESK_PF_F64;
    else if constexpr (std::is_same_v<T, float>)
        return VESK_PF_F32;
    else if constexpr (std::is_same_v<T, short>)
        return VESK_PF_S16;
    else if constexpr (std::is_same_v<T, int>)
        return VESK_PF_I32;
    else if constexpr (std::is_enum_v<T>)
        return VESK_PF_ENUM;
    else
        return VESK_PF_U8;
}

/* The name, offset and type of a member of Info_ballistics. */
// clang-format off
#define VESK_PF_FIELD(member) \
    #member, (uint16_t)offsetof(Info_ballistics, member), \
    vesk_pf_type_of<decltype(std::declval<Info_ballistics &>().member)>()
// clang-format on
#define VESK_PF_NO_WIRE 0xFF, 0xFF, VESK_PF_WIRE_NONE, VESK_PF_GUI_NONE
#define VESK_PF_NO_DB -1, NULL, NULL
#define VESK_PF_NO_XCHG NULL, NULL, VESK_PF_X_NONE
#define VESK_PF_NO_LIMIT 0.0, 0.0, 0

// clang-format off
inline constexpr vesk_profile_field vesk_profile_fields[VESK_PF_COUNT] = {
    {VESK_PF_SPIN_DRIFT, VESK_PF_FIELD(spinDriftOpt), VESK_PF_ALL_SIX,
     9, 0, VESK_PF_WIRE_BYTE, VESK_PF_GUI_PROFILE0, 31, "spindrift_enable", "int",
     "spinDrift", "spinDrift", VESK_PF_X_SWITCH, VESK_PF_NO_LIMIT},
    /* The phone's distance is held within 3000 m (stored in tenths). */
    {VESK_PF_TARGET_RANGE, VESK_PF_FIELD(target.range), VESK_PF_ALL_SIX,
     7, 0, VESK_PF_WIRE_WORDS, VESK_PF_GUI_PROFILE0, 3, "distance", "text",
     "target_distance", "target_distance", VESK_PF_X_TENTHS, 0.0, 30000.0, VESK_PF_LIMIT_XCHG_IMPORT},
    {VESK_PF_TARGET_ANGLE, VESK_PF_FIELD(target.shootingAngle), VESK_PF_ALL_SIX,
     7, 1, VESK_PF_WIRE_FLOAT, VESK_PF_GUI_PROFILE0, 5, "ei_angle", "text",
     "target_angle", "target_angle", VESK_PF_X_DECIMAL, VESK_PF_NO_LIMIT},
    {VESK_PF_WIND_ANGLE, VESK_PF_FIELD(wind.angle), VESK_PF_ALL_SIX,
     6, 0, VESK_PF_WIRE_FLOAT, VESK_PF_GUI_PROFILE0, 7, "wind_direction", "text",
     "wind_direction", "wind_direction", VESK_PF_X_WIND, VESK_PF_NO_LIMIT},
    {VESK_PF_WIND_SPEED, VESK_PF_FIELD(wind.speed), VESK_PF_ALL_SIX,
     6, 1, VESK_PF_WIRE_FLOAT, VESK_PF_GUI_PROFILE0, 6, "wind_velocity", "text",
     "wind_speed", "wind_speed", VESK_PF_X_DECIMAL, VESK_PF_NO_LIMIT},
    {VESK_PF_CORIOLIS_LAT, VESK_PF_FIELD(corioliseffect.lat), VESK_PF_ALL_SIX,
     8, 1, VESK_PF_WIRE_FLOAT, VESK_PF_GUI_PROFILE0, 33, "latitude", "text",
     "coriolisEffect_lat", "coriolisEffect_lat", VESK_PF_X_CORIOLIS, VESK_PF_NO_LIMIT},
    {VESK_PF_CORIOLIS_AZIMUTH, VESK_PF_FIELD(corioliseffect.angle), VESK_PF_ALL_SIX,
     8, 2, VESK_PF_WIRE_FLOAT, VESK_PF_GUI_PROFILE0, 34, "azimuth", "text",
     "coriolisEffect_azimuth", "coriolisEffect_azimuth", VESK_PF_X_CORIOLIS, VESK_PF_NO_LIMIT},
    {VESK_PF_WEATHER_TEMPERATURE, VESK_PF_FIELD(atmosphere.temperature),
     VESK_PF_ALL_SIX, 4, 0, VESK_PF_WIRE_FLOAT, VESK_PF_GUI_PROFILE0, 8, "weather_temperature", "text",
     "weather_temperature", "weather_temperature", VESK_PF_X_DECIMAL, VESK_PF_NO_LIMIT},
    {VESK_PF_WEATHER_PRESSURE, VESK_PF_FIELD(atmosphere.barometer),
     VESK_PF_ALL_SIX, 4, 1, VESK_PF_WIRE_FLOAT, VESK_PF_GUI_PROFILE0, 9, "weather_pressure", "text",
     "weather_airPressure", "weather_airPressure", VESK_PF_X_DECIMAL, VESK_PF_NO_LIMIT},
    {VESK_PF_WEATHER_HUMIDITY, VESK_PF_FIELD(atmosphere.relative_humidity),
     VESK_PF_ALL_SIX, 4, 2, VESK_PF_WIRE_FLOAT, VESK_PF_GUI_PROFILE0, 10, "weather_humidity", "text",
     "weather_humidity", "weather_humidity", VESK_PF_X_DECIMAL, VESK_PF_NO_LIMIT},
    {VESK_PF_TWIST_RATE, VESK_PF_FIELD(gun.riflingRange), VESK_PF_ALL_SIX,
     2, 0, VESK_PF_WIRE_FLOAT, VESK_PF_GUI_GROUP, 16, "twist_rate", "text",
     "gun_riflingRange", "gun_riflingRange", VESK_PF_X_DECIMAL, VESK_PF_NO_LIMIT},
    {VESK_PF_TWIST_DIRECTION, VESK_PF_FIELD(gun.direction), VESK_PF_ALL_SIX,
     2, 1, VESK_PF_WIRE_BYTE, VESK_PF_GUI_GROUP, 17, "twist_direction", "int",
     "gun_riflingDirection", "gun_riflingDirection", VESK_PF_X_LEFT_RIGHT, VESK_PF_NO_LIMIT},
    {VESK_PF_BULLET_LENGTH, VESK_PF_FIELD(gun.bullet.length), VESK_PF_CURRENT,
     1, 0, VESK_PF_WIRE_FLOAT, VESK_PF_GUI_GROUP, 18, "bullet_length", "text",
     "gun_bullet_length", "gun_bullet_length", VESK_PF_X_DECIMAL, VESK_PF_NO_LIMIT},
    {VESK_PF_BULLET_DIAMETER, VESK_PF_FIELD(gun.bullet.diameter), VESK_PF_CURRENT,
     1, 1, VESK_PF_WIRE_FLOAT, VESK_PF_GUI_GROUP, 20, "bullet_diameter", "text",
     "gun_bullet_diameter", "gun_bullet_diameter", VESK_PF_X_DECIMAL, VESK_PF_NO_LIMIT},
    {VESK_PF_BULLET_WEIGHT, VESK_PF_FIELD(gun.bullet.weight), VESK_PF_CURRENT,
     1, 2, VESK_PF_WIRE_FLOAT, VESK_PF_GUI_GROUP, 19, "bullet_weight", "text",
     "gun_bullet_weight", "gun_bullet_weight", VESK_PF_X_GRAMS, VESK_PF_NO_LIMIT},
    {VESK_PF_BULLET_COEFFICIENT, VESK_PF_FIELD(gun.bullet.ballisticsCoef),
     VESK_PF_CURRENT, 1, 3, VESK_PF_WIRE_FLOAT, VESK_PF_GUI_GROUP, 13, "bullet_coefficient", "text",
     "gun_bullet_coefficient", "gun_bullet_coefficient", VESK_PF_X_DECIMAL, VESK_PF_NO_LIMIT},
    {VESK_PF_DRAG_FUNCTION, VESK_PF_FIELD(gun.bullet.dragFunction),
     VESK_PF_CURRENT, 1, 4, VESK_PF_WIRE_FLOAT, VESK_PF_GUI_GROUP, 14, "bullet_dragmodel", "int",
     "gun_bullet_dragModel", "gun_bullet_dragModel", VESK_PF_X_DRAG, VESK_PF_NO_LIMIT},
    {VESK_PF_MUZZLE_VELOCITY, VESK_PF_FIELD(gun.bullet.velocity), VESK_PF_CURRENT,
     1, 5, VESK_PF_WIRE_FLOAT, VESK_PF_GUI_GROUP, 15, "muzzie_velocity", "int",
     "gun_bullet_muzzleVelocity", "gun_bullet_muzzleVelocity", VESK_PF_X_DECIMAL, VESK_PF_NO_LIMIT},
    {VESK_PF_ZERO_WEATHER_TEMPERATURE, VESK_PF_FIELD(gun.bullet.atmosphere.temperature), VESK_PF_CURRENT,
     3, 1, VESK_PF_WIRE_FLOAT, VESK_PF_GUI_GROUP, 22, "zero_weather_temperature", "text",
     "gun_bullet_zeroingWeather_temperature", "gun_bullet_zeroingWeather_temperature", VESK_PF_X_DECIMAL,
     VESK_PF_NO_LIMIT},
    {VESK_PF_ZERO_WEATHER_PRESSURE, VESK_PF_FIELD(gun.bullet.atmosphere.barometer), VESK_PF_CURRENT, 3, 2, VESK_PF_WIRE_FLOAT, VESK_PF_GUI_GROUP, 23, "zero_weather_pressure", "text",
     "gun_bullet_zeroingWeather_airPressure", "gun_bullet_zeroingWeather_airPressure", VESK_PF_X_DECIMAL,
     VESK_PF_NO_LIMIT},
    {VESK_PF_ZERO_WEATHER_HUMIDITY, VESK_PF_FIELD(gun.bullet.atmosphere.relative_humidity), VESK_PF_CURRENT,
     3, 3, VESK_PF_WIRE_FLOAT, VESK_PF_GUI_GROUP, 24, "zero_weather_humidity", "text",
     "gun_bullet_zeroingWeather_humidity", "gun_bullet_zeroingWeather_humidity", VESK_PF_X_DECIMAL,
     VESK_PF_NO_LIMIT},
    {VESK_PF_ZERO_WEATHER_ON, VESK_PF_FIELD(gun.bullet.isOpenAtmosphere),
     VESK_PF_CURRENT, 3, 0, VESK_PF_WIRE_BYTE, VESK_PF_GUI_GROUP, 21, "zero_weather_enable", "int",
     "gun_bullet_isOpenzeroingWeather", "gun_bullet_isOpenzeroingWeather", VESK_PF_X_FALSE_TRUE, VESK_PF_NO_LIMIT},
    {VESK_PF_OFFSET_UNIT, VESK_PF_FIELD(gun.bullet.zeroOffsetUnit),
     VESK_PF_ALL_SIX, 3, 4, VESK_PF_WIRE_BYTE, VESK_PF_GUI_GROUP, 25, "offset_unit", "int",
     "gun_bullet_zeroOffsetUnit", "gun_bullet_zeroOffsetUnit", VESK_PF_X_OFFSET_UNIT, VESK_PF_NO_LIMIT},
    {VESK_PF_OFFSET_VERTICAL_MOA, VESK_PF_FIELD(gun.bullet.zeroOffsetVerticalMOA), VESK_PF_ALL_SIX, 3, 5, VESK_PF_WIRE_FLOAT, VESK_PF_GUI_GROUP, 26, "offset_vertial", "text",
     "gun_bullet_zeroOffsetVertical", "gun_bullet_zeroOffsetVertical", VESK_PF_X_OFFSET, VESK_PF_NO_LIMIT},
    /* The import's key is a prefix of the export's: an export reads back. */
    {VESK_PF_OFFSET_HORIZONTAL_MOA, VESK_PF_FIELD(gun.bullet.zeroOffsetHorizontalMOA), VESK_PF_ALL_SIX,
     3, 6, VESK_PF_WIRE_FLOAT, VESK_PF_GUI_GROUP, 28, "offset_horiazontal", "text",
     "gun_bullet_zeroOffsetHorizontal", "gun_bullet_zeroOffsetHorizontalMOA", VESK_PF_X_OFFSET, VESK_PF_NO_LIMIT},
    {VESK_PF_ZERO_RANGE, VESK_PF_FIELD(gun.scope.zeroRange), VESK_PF_CURRENT,
     5, 1, VESK_PF_WIRE_WORDS, VESK_PF_GUI_GROUP, 11, "zero_distance", "text",
     "gun_scope_zeroingDistance", "gun_scope_zeroingDistance", VESK_PF_X_WHOLE, VESK_PF_NO_LIMIT},
    {VESK_PF_SCOPE_HEIGHT, VESK_PF_FIELD(gun.scope.sightHeightOverBore),
     VESK_PF_CURRENT, 5, 0, VESK_PF_WIRE_FLOAT, VESK_PF_GUI_GROUP, 30, "scope_height", "text",
     "gun_scope_height", "gun_scope_height", VESK_PF_X_DECIMAL, VESK_PF_NO_LIMIT},
    /* The GUI never sends the scope unit; sightd takes it when it comes. */
    {VESK_PF_SCOPE_UNIT, VESK_PF_FIELD(gun.scope.unit), VESK_PF_ALL_SIX,
     5, 2, VESK_PF_WIRE_BYTE, VESK_PF_GUI_NONE, VESK_PF_NO_DB,
     "gun_scope_unit", "gun_scope_unit", VESK_PF_X_SCOPE_UNIT, VESK_PF_NO_LIMIT},
    {VESK_PF_UNIT_PER_CARD_VERTICAL, VESK_PF_FIELD(gun.scope.verticalUnitPerCard), VESK_PF_UNWRITTEN, VESK_PF_NO_WIRE, VESK_PF_NO_DB,
     NULL, "gun_scope_verticalUnitPerCard", VESK_PF_X_DECIMAL, VESK_PF_NO_LIMIT},
    {VESK_PF_UNIT_PER_CARD_HORIZONTAL, VESK_PF_FIELD(gun.scope.horizontalUnitPerCard), VESK_PF_UNWRITTEN, VESK_PF_NO_WIRE, VESK_PF_NO_DB,
     NULL, "gun_scope_horizontalUnitPerCard", VESK_PF_X_DECIMAL, VESK_PF_NO_LIMIT},
    /* The switch's request also asks for a recalculation and goes on to the
     * media process: the router handles it by hand. */
    {VESK_PF_SWITCH, VESK_PF_FIELD(ballistics_sw), VESK_PF_PROFILE0,
     0, 0, VESK_PF_WIRE_BYTE, VESK_PF_GUI_PROFILE0, 2, "switch", "int", VESK_PF_NO_XCHG, VESK_PF_NO_LIMIT},
    {VESK_PF_UNIT, VESK_PF_FIELD(unit), VESK_PF_UNWRITTEN, VESK_PF_NO_WIRE, VESK_PF_NO_DB,
     VESK_PF_NO_XCHG, VESK_PF_NO_LIMIT},
    /* The yard figures travel as the second word of their metre field's
     * frame; the import derives them from the metres. */
    {VESK_PF_TARGET_RANGE_YARD, VESK_PF_FIELD(target.range_yard), VESK_PF_ALL_SIX,
     VESK_PF_NO_WIRE, 4, "distance_yard", "text", VESK_PF_NO_XCHG, VESK_PF_NO_LIMIT},
    {VESK_PF_ZERO_RANGE_YARD, VESK_PF_FIELD(gun.scope.zeroRange_yard),
     VESK_PF_CURRENT, VESK_PF_NO_WIRE, 12, "zero_distance_yard", "text", VESK_PF_NO_XCHG, VESK_PF_NO_LIMIT},
    /* The import fills the MRAD offsets beside the MOA ones. */
    {VESK_PF_OFFSET_VERTICAL_MRAD, VESK_PF_FIELD(gun.bullet.zeroOffsetVerticalMRAD), VESK_PF_ALL_SIX,
     3, 7, VESK_PF_WIRE_FLOAT, VESK_PF_GUI_GROUP, 27, "offset_vertial_mrad", "text", VESK_PF_NO_XCHG,
     VESK_PF_NO_LIMIT},
    {VESK_PF_OFFSET_HORIZONTAL_MRAD, VESK_PF_FIELD(gun.bullet.zeroOffsetHorizontalMRAD), VESK_PF_ALL_SIX,
     3, 8, VESK_PF_WIRE_FLOAT, VESK_PF_GUI_GROUP, 29, "offset_horiazontal_mrad", "text", VESK_PF_NO_XCHG,
     VESK_PF_NO_LIMIT},
    /* The import derives the switch from the latitude and azimuth. */
    {VESK_PF_CORIOLIS_SWITCH, VESK_PF_FIELD(corioliseffect.CoriolisEffectSwitch), VESK_PF_ALL_SIX,
     8, 0, VESK_PF_WIRE_BYTE, VESK_PF_GUI_PROFILE0, 32, "corioliseffect_enable", "int", VESK_PF_NO_XCHG,
     VESK_PF_NO_LIMIT},
    {VESK_PF_ALTITUDE, VESK_PF_FIELD(atmosphere.altitude), VESK_PF_UNWRITTEN,
     VESK_PF_NO_WIRE, 35, "remark", "text", VESK_PF_NO_XCHG, VESK_PF_NO_LIMIT},
    {VESK_PF_ZERO_WEATHER_ALTITUDE, VESK_PF_FIELD(gun.bullet.atmosphere.altitude), VESK_PF_UNWRITTEN, VESK_PF_NO_WIRE, VESK_PF_NO_DB, VESK_PF_NO_XCHG, VESK_PF_NO_LIMIT},
};
// clang-format on

/* The "ballistics" table: "id" and "device_id", then one column per row
 * that names one. */
#define VESK_PF_DB_COLUMNS 36

/* ---- reading and writing a field ---- */

static inline size_t vesk_pf_size(vesk_pf_type t)
{
    return t == VESK_PF_U8 ? 1 : t == VESK_PF_S16 ? 2 : t == VESK_PF_F64 ? 8 : 4;
}

/* The number a value of type t at `at` holds. */
static inline double vesk_pf_number_at(const void *at, vesk_pf_type t)
{
    switch (t) {
    case VESK_PF_U8:
        return *(const unsigned char *)at;
    case VESK_PF_S16: {
        int16_t v;
        memcpy(&v, at, sizeof v);
        return v;
    }
    case VESK_PF_I32:
    case VESK_PF_ENUM: {
        int32_t v;
        memcpy(&v, at, sizeof v);
        return v;
    }
    case VESK_PF_F32: {
        float v;
        memcpy(&v, at, sizeof v);
        return v;
    }
    case VESK_PF_F64: {
        double v;
        memcpy(&v, at, sizeof v);
        return v;
    }
    }
    return 0;
}

/* The field as a double (an integer field as its number). */
static inline double vesk_pf_get(const Info_ballistics *b, const vesk_profile_field *f)
{
    return vesk_pf_number_at((const unsigned char *)b + f->offset, f->type);
}

/* An integer field's value (a byte field's byte, a short's or an int's
 * number). Not for the float fields. */
static inline int32_t vesk_pf_get_int(const Info_ballistics *b, const vesk_profile_field *f)
{
    return (int32_t)vesk_pf_get(b, f);
}

/* Stores an integer into an integer field, cut to the field's width as a
 * C assignment cuts it. */
static inline void vesk_pf_set_int(Info_ballistics *b, const vesk_profile_field *f, int32_t v)
{
    unsigned char *at = (unsigned char *)b + f->offset;
    switch (f->type) {
    case VESK_PF_U8:
        *at = (unsigned char)v;
        break;
    case VESK_PF_S16: {
        const int16_t s = (int16_t)v;
        memcpy(at, &s, sizeof s);
        break;
    }
    case VESK_PF_I32:
    case VESK_PF_ENUM:
        memcpy(at, &v, sizeof v);
        break;
    case VESK_PF_F32:
    case VESK_PF_F64:
        break;
    }
}

/* Stores a number into a float or double field. */
static inline void vesk_pf_set_real(Info_ballistics *b, const vesk_profile_field *f, double v)
{
    unsigned char *at = (unsigned char *)b + f->offset;
    if (f->type == VESK_PF_F32) {
        const float x = (float)v;
        memcpy(at, &x, sizeof x);
    } else if (f->type == VESK_PF_F64) {
        memcpy(at, &v, sizeof v);
    }
}

static inline void vesk_pf_copy(Info_ballistics *to, const Info_ballistics *from, const vesk_profile_field *f)
{
    memcpy((unsigned char *)to + f->offset, (const unsigned char *)from + f->offset, vesk_pf_size(f->type));
}

/* ---- finding a row ---- */

/* The row a request frame of object 27 names, or null. */
static inline const vesk_profile_field *vesk_pf_by_wire(uint8_t sub, uint8_t item)
{
    for (const vesk_profile_field &f : vesk_profile_fields)
        if (f.wire != VESK_PF_WIRE_NONE && f.wire_sub == sub && f.wire_item == item) return &f;
    return NULL;
}

/* The second word of a word pair: the yard short right behind the row's
 * metres. */
static inline const vesk_profile_field *vesk_pf_yard_of(const vesk_profile_field *metres)
{
    for (const vesk_profile_field &f : vesk_profile_fields)
        if (f.offset == metres->offset + 2 && f.type == VESK_PF_S16) return &f;
    return NULL;
}

/* The row stored in column `column` of the "ballistics" table, or null. */
static inline const vesk_profile_field *vesk_pf_by_db_column(int column)
{
    for (const vesk_profile_field &f : vesk_profile_fields)
        if (f.db_column == column) return &f;
    return NULL;
}

/* ---- what the compiler checks of the table ---- */

namespace vesk_pf_check {
constexpr size_t size_of(vesk_pf_type t)
{
    return t == VESK_PF_U8 ? 1 : t == VESK_PF_S16 ? 2 : t == VESK_PF_F64 ? 8 : 4;
}

constexpr bool ids_in_order()
{
    for (int i = 0; i < VESK_PF_COUNT; i++)
        if (vesk_profile_fields[i].id != i) return false;
    return true;
}

/* Each field inside the record, on its own bytes. */
constexpr bool fields_apart()
{
    for (int i = 0; i < VESK_PF_COUNT; i++) {
        const vesk_profile_field &a = vesk_profile_fields[i];
        if (a.offset + size_of(a.type) > sizeof(Info_ballistics)) return false;
        for (int j = i + 1; j < VESK_PF_COUNT; j++) {
            const vesk_profile_field &b = vesk_profile_fields[j];
            if (a.offset < b.offset + size_of(b.type) && b.offset < a.offset + size_of(a.type)) return false;
        }
    }
    return true;
}

/* The fields fill the record but for its 37 bytes of padding: 3 after
 * ballistics_sw, 7 after spinDriftOpt, 4 after target.range_yard, 7 after
 * the Coriolis switch, 4 after the drag function, the zero distances, the
 * scope unit and the twist direction each. */
constexpr size_t field_bytes()
{
    size_t n = 0;
    for (const vesk_profile_field &f : vesk_profile_fields) n += size_of(f.type);
    return n;
}

/* Two rows on one frame code, or in one column, would hide each other. */
constexpr bool codes_unique()
{
    for (int i = 0; i < VESK_PF_COUNT; i++)
        for (int j = i + 1; j < VESK_PF_COUNT; j++) {
            const vesk_profile_field &a = vesk_profile_fields[i], &b = vesk_profile_fields[j];
            if (a.wire != VESK_PF_WIRE_NONE && b.wire != VESK_PF_WIRE_NONE && a.wire_sub == b.wire_sub &&
                a.wire_item == b.wire_item)
                return false;
            if (a.db_column >= 0 && a.db_column == b.db_column) return false;
        }
    return true;
}

/* Columns 2 up to the last are each some row's. */
constexpr bool columns_whole()
{
    for (int c = 2; c < VESK_PF_DB_COLUMNS; c++) {
        bool found = false;
        for (const vesk_profile_field &f : vesk_profile_fields)
            if (f.db_column == c && f.db_name != nullptr) found = true;
        if (!found) return false;
    }
    for (const vesk_profile_field &f : vesk_profile_fields)
        if (f.db_column >= VESK_PF_DB_COLUMNS || (f.db_column >= 0 && f.db_column < 2)) return false;
    return true;
}

/* A word pair's second word is the yard short right behind the metres. */
constexpr bool pairs_sound()
{
    for (const vesk_profile_field &f : vesk_profile_fields) {
        if (f.wire != VESK_PF_WIRE_WORDS) continue;
        bool next = false;
        for (const vesk_profile_field &g : vesk_profile_fields)
            if (g.offset == f.offset + 2 && g.type == VESK_PF_S16 && g.wire == VESK_PF_WIRE_NONE) next = true;
        if (f.type != VESK_PF_S16 || !next) return false;
    }
    return true;
}
} // namespace vesk_pf_check

static_assert(vesk_pf_check::ids_in_order(), "vesk_profile_fields: each row stands at its id");
static_assert(vesk_pf_check::fields_apart(), "vesk_profile_fields: rows overlap or leave the record");
static_assert(vesk_pf_check::field_bytes() + 37 == sizeof(Info_ballistics), "vesk_profile_fields: a field is missing");
static_assert(vesk_pf_check::codes_unique(), "vesk_profile_fields: a frame code or column is used twice");
static_assert(vesk_pf_check::columns_whole(), "vesk_profile_fields: the ballistics columns have a gap");
static_assert(vesk_pf_check::pairs_sound(), "vesk_profile_fields: a word pair has no yard field behind it");
