// What a fresh scope boots from, in the byte layouts a peer reads out of
// sightd's boot frames.
//
// The sandbox plays the firmware image (sim_factory.h): its factory
// templates are the defaults sightd's first boot takes its settings and
// profiles from. Here those profiles are copied, field by field, into wire
// records: the natural 64-bit layouts of the shared device records written
// down a second time, so that a layout slip in sightd shows up as a byte
// difference in its frames.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#define SCOPE_PROFILES 6
#define SCOPE_CURRENT_INI "/factory/config.ini"
#define SCOPE_PROFILES_DB "/factory/ballistics_config.db"

struct wire_atmosphere {
    float altitude, barometer, temperature, relative_humidity; /* m, mmHg, deg C, % */
};

struct wire_bullet {
    double length, diameter, weight, ballisticsCoef; /* mm, mm, grains */
    int32_t dragFunction;
    int32_t pad0;
    double velocity;            /* m/s */
    wire_atmosphere atmosphere; /* the zeroing weather */
    int32_t isOpenAtmosphere;
    int32_t zeroOffsetUnit;
    double zeroOffsetVerticalMOA, zeroOffsetHorizontalMOA;
    double zeroOffsetVerticalMRAD, zeroOffsetHorizontalMRAD;
};

struct wire_scope {
    int16_t zeroRange, zeroRange_yard; /* m, yd */
    int32_t pad0;
    double sightHeightOverBore; /* mm */
    int32_t unit;
    int32_t pad1;
    double verticalUnitPerCard, horizontalUnitPerCard;
};

struct wire_gun {
    wire_bullet bullet;
    wire_scope scope;
    double riflingRange; /* inches per turn */
    int32_t direction;
    int32_t pad0;
};

/* One ballistic profile as it travels in a profile frame (248 bytes). */
struct wire_profile {
    uint8_t ballistics_sw;
    uint8_t pad0[3];
    int32_t unit;
    uint8_t spinDriftOpt;
    uint8_t pad1[7];
    struct {
        int16_t range, range_yard; /* decimetres, yards */
        int32_t pad0;
        double shootingAngle;
    } target;
    struct {
        double angle, speed; /* degrees clockwise, m/s */
    } wind;
    struct {
        double lat, angle;
        uint8_t CoriolisEffectSwitch;
        uint8_t pad0[7];
    } corioliseffect;
    wire_atmosphere atmosphere; /* the shooting weather */
    wire_gun gun;
};
static_assert(sizeof(wire_atmosphere) == 16, "atmosphere record");
static_assert(sizeof(wire_bullet) == 104, "bullet record");
static_assert(sizeof(wire_scope) == 40, "scope record");
static_assert(sizeof(wire_gun) == 160, "gun record");
static_assert(sizeof(wire_profile) == 248, "profile record");
static_assert(offsetof(wire_profile, target) == 16 && offsetof(wire_profile, wind) == 32 &&
                  offsetof(wire_profile, corioliseffect) == 48 && offsetof(wire_profile, atmosphere) == 72 &&
                  offsetof(wire_profile, gun) == 88,
              "profile offsets");

struct wire_zero {
    int16_t distance, distance_yard, x, y;
    float offset_x, offset_y;
};

struct wire_cursor {
    uint8_t current_group;
    uint8_t pad0[3];
    struct {
        uint8_t current_zero, temp_zero;
        uint8_t pad0[2];
        wire_zero zero[2];
    } group[SCOPE_PROFILES];
};
static_assert(sizeof(wire_zero) == 16, "zero point");
static_assert(sizeof(wire_cursor) == 220, "zero store");

/* The factory profile i and the zero store, as sightd holds them after the
 * first boot (every padding byte zero). */
wire_profile scope_factory_profile(int i);
wire_cursor scope_factory_cursor(void);

/* The 96-byte status image that sightd sends at boot with the factory
 * settings (and an empty EEPROM). */
std::vector<uint8_t> scope_factory_status_image(void);

/* A key ("section:key", lower case) of an INI file outside the sandbox,
 * read as sightd reads it; false when the file or the key is missing. */
bool scope_ini_get(const std::string &host_path, const std::string &key, std::string *value);

/* The raw bytes of a record, for comparing with a frame's payload. */
template <typename T> std::vector<uint8_t> scope_bytes(const T &record)
{
    const uint8_t *p = reinterpret_cast<const uint8_t *>(&record);
    return std::vector<uint8_t>(p, p + sizeof record);
}
