#include "ballistic_units.h"

#include <math.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

double g_convert_speed_last;

double convertMeterToFeet(double v)
{
    double ret = v * 3.2808;
    printf("val = %f  ret = %f\n", v, ret);
    return ret;
}

double convertMeterToYard(double v) { return v * 1.0939; }
double convertYardToMeter(double v) { return v * 0.9144; }
double convertCMToInch(double v) { return v * 0.3937; }

double convertMeterPerSecondToFeetPerHour(double v)
{
    g_convert_speed_last = v * 2.2369;
    printf("speed val = %f  ret = %f\n", v, g_convert_speed_last);
    return g_convert_speed_last;
}

double convertMMToCM(double v) { return v / 10; }
double convertCMToMM(double v) { return v * 10; }
double convertInchToMM(double v) { return v * 25.4; }
double convertmmHgToinHg(double v) { return v * 0.0394; }
double convertinHgTommHg(double v) { return v * 25.4; }
double convertmmHgTokPa(double v) { return v * 0.1333; }
double convertTemperatureFToC(double v) { return (v - 32) / 1.8; }
double convertGrToG(double v) { return v * 0.0648; }
double convertGToGr(double v) { return v * 15.432; }

double convertWindTo360(double v)
{
    if (v == 0) return 0;
    if (v > 0) return v;
    return v + 360;
}

double convertWindTo180(double v)
{
    if (v == 0) return 0;
    if (v < 180) return v;
    return -(360 - v);
}

double mrad2Moa(double v) { return v * 3.44; }
double moa2Mrad(double v) { return v / 3.44; }

// An offset counts only when both fields of its pair are set: the offset
// page and the exchange files always write the pair together.
static double moa_origin(ScopeUnit unit, double offset_moa, double offset_mrad, double moa, int verbose)
{
    double result = moa;
    if (offset_moa != 0 && offset_mrad != 0) {
        if (unit == MOA) {
            result = moa - offset_moa;
            if (verbose) printf("111resultMoa  = %f ,zeroOffsetVertical = %f\n", result, offset_moa);
        } else if (unit == MRAD) {
            result = moa - mrad2Moa(offset_mrad);
        }
    }
    return result;
}

double getVerticalMOAOrigin(ScopeUnit zeroOffsetUnit, double zeroOffsetVerticalMoa, double zeroOffsetVerticalMrad,
                            double MoaV)
{
    double result = moa_origin(zeroOffsetUnit, zeroOffsetVerticalMoa, zeroOffsetVerticalMrad, MoaV, 1);
    printf("getVerticalMOAOrigin = %f\n", result);
    return result;
}

double getHorizontalMOAOrigin(ScopeUnit zeroOffsetUnit, double zeroOffsetHorizontalMoa, double zeroOffsetHorizontalMrad,
                              double MoaH)
{
    return moa_origin(zeroOffsetUnit, zeroOffsetHorizontalMoa, zeroOffsetHorizontalMrad, MoaH, 0);
}

static double mrad_origin(ScopeUnit unit, double offset, double moa)
{
    double result = moa2Mrad(moa);
    if (offset != 0) {
        if (unit == MOA)
            result -= moa2Mrad(offset);
        else if (unit == MRAD)
            result -= offset;
    }
    return result;
}

double getVerticalMRADOrigin(ScopeUnit zeroOffsetUnit, double zeroOffsetVertical, double MoaV)
{
    return mrad_origin(zeroOffsetUnit, zeroOffsetVertical, MoaV);
}

double getHorizontalMRADOrigin(ScopeUnit zeroOffsetUnit, double zeroOffsetHorizontal, double MoaH)
{
    return mrad_origin(zeroOffsetUnit, zeroOffsetHorizontal, MoaH);
}

// The whole text against the start of the keyword: "f", "FAL" and "" all
// match "false"; "falsey" does not.
static int word_prefixes(const char *text, const char *keyword)
{
    size_t n = strlen(text);
    return n <= strlen(keyword) && strncasecmp(text, keyword, n) == 0;
}

// One exchange-file word: the keyword, what a match and a miss give, and
// what a missing text gives.
struct word_reader {
    const char *name;
    const char *keyword;
    int on_match;
    int on_miss;
    int on_null;
    int echo; // print the text read
};

static int read_word(const word_reader *r, const char *text)
{
    if (text == NULL) {
        printf("%s PARAMS NULL failed!\n", r->name);
        return r->on_null;
    }
    if (r->echo) printf("%s value = %s\n", r->name, text);
    return word_prefixes(text, r->keyword) ? r->on_match : r->on_miss;
}

int getisOpenzeroWeather(const char *text)
{
    static const word_reader r = {"getisOpenzeroWeather", "false", 0, 1, 0, 1};
    return read_word(&r, text);
}

int getzeroOffsetUnit(const char *text)
{
    static const word_reader r = {"getzeroOffsetUnit", "moa", MOA, MRAD, MOA, 0};
    return read_word(&r, text);
}

int getRiflingDirection(const char *text)
{
    static const word_reader r = {"getRiflingDirection", "left", LEFT, RIGHT, RIGHT, 0};
    return read_word(&r, text);
}

int getspinOption(const char *text)
{
    static const word_reader r = {"getspinOption", "false", 0, 1, 1, 1};
    return read_word(&r, text);
}

const char *const bc_str[9] = {"g1", "g2", "g5", "g6", "g7", "g8", "gi", "gs", "gc"};

const char *setBallisticdragFunction(int index)
{
    if (index < G1 || index > GC) index = G1;
    return bc_str[index];
}

int getBallisticdragFunction(const char *text)
{
    if (text == NULL) {
        printf("PARAMS NULL failed!\n");
        return G1;
    }
    for (int i = 0; i < (int)(sizeof(bc_str) / sizeof(bc_str[0])); i++)
        if (word_prefixes(text, bc_str[i])) {
            printf("return bc = %d\n", i);
            return i;
        }
    return G1;
}

double getDoubleParamsLimit(double paramsval, double minlimit, double maxlimit)
{
    double v = paramsval;
    if (minlimit < 0 && maxlimit > 0) {
        if (v < 0 && fabs(v) > fabs(minlimit))
            v = minlimit;
        else if (v >= 0 && v > maxlimit)
            v = maxlimit;
    } else if (minlimit >= 0 && maxlimit >= 0 && minlimit <= maxlimit) {
        if (v < 0) {
            v = minlimit;
        } else {
            if (fabs(v) > maxlimit) v = maxlimit;
            if (fabs(v) < minlimit) v = minlimit;
        }
    }
    return v;
}

namespace {

enum field_kind { F64, F32 };

// One clamped field of a profile. A value that is not a number would pass
// the clamp unchanged and end up in the profile store and the calculator,
// so it takes the row's fallback: the standard atmosphere for weather, 0
// for angles, speeds and offsets, the lower limit for the bullet and gun.
struct field_limit {
    size_t offset;
    field_kind kind;
    double min;
    double max;
    double fallback;
};

#define FIELD(kind, member, min, max, fallback)                                                                        \
    {                                                                                                                  \
        offsetof(Info_ballistics, member), kind, min, max, fallback                                                    \
    }

const field_limit k_limits[] = {
    FIELD(F64, target.shootingAngle, -90, 90, 0),
    FIELD(F64, wind.angle, 0, 359.9, 0),
    FIELD(F64, wind.speed, 0, 30, 0),
    FIELD(F32, atmosphere.altitude, 0, 1, 0),
    FIELD(F32, atmosphere.barometer, 225, 825.1, 760),
    FIELD(F32, atmosphere.relative_humidity, 0, 99, 0),
    FIELD(F32, atmosphere.temperature, -40, 50, 15),
    FIELD(F64, gun.bullet.length, 5, 80, 5),
    FIELD(F64, gun.bullet.diameter, 2.54, 20.3, 2.54),
    FIELD(F64, gun.bullet.weight, 1.55, 3086.47, 1.55),
    FIELD(F64, gun.bullet.ballisticsCoef, 0.05, 2, 0.05),
    FIELD(F64, gun.bullet.velocity, 100, 1500, 100),
    FIELD(F32, gun.bullet.atmosphere.altitude, 0, 1, 0),
    FIELD(F32, gun.bullet.atmosphere.barometer, 225, 825.1, 760),
    FIELD(F32, gun.bullet.atmosphere.relative_humidity, 0, 99, 0),
    FIELD(F32, gun.bullet.atmosphere.temperature, -40, 50, 15),
    FIELD(F64, gun.bullet.zeroOffsetVerticalMOA, -99.99, 99.99, 0),
    FIELD(F64, gun.bullet.zeroOffsetHorizontalMOA, -99.99, 99.99, 0),
    FIELD(F64, gun.scope.sightHeightOverBore, 0, 250, 0),
    FIELD(F64, gun.riflingRange, 3.94, 24.02, 3.94),
};

// Fields the limits leave alone but that must still be numbers.
const size_t k_numbers_only[] = {
    offsetof(Info_ballistics, corioliseffect.lat),
    offsetof(Info_ballistics, corioliseffect.angle),
    offsetof(Info_ballistics, gun.bullet.zeroOffsetVerticalMRAD),
    offsetof(Info_ballistics, gun.bullet.zeroOffsetHorizontalMRAD),
    offsetof(Info_ballistics, gun.scope.verticalUnitPerCard),
    offsetof(Info_ballistics, gun.scope.horizontalUnitPerCard),
};

double read_field(const unsigned char *base, size_t offset, field_kind kind)
{
    if (kind == F32) {
        float f;
        memcpy(&f, base + offset, sizeof(f));
        return f;
    }
    double d;
    memcpy(&d, base + offset, sizeof(d));
    return d;
}

void write_field(unsigned char *base, size_t offset, field_kind kind, double v)
{
    if (kind == F32) {
        float f = (float)v;
        memcpy(base + offset, &f, sizeof(f));
    } else {
        memcpy(base + offset, &v, sizeof(v));
    }
}

void write_u32(void *field, uint32_t v) { memcpy(field, &v, sizeof(v)); }

} // namespace

unsigned vesk_enum_value(const void *field)
{
    uint32_t v;
    memcpy(&v, field, sizeof(v));
    return v;
}

void Info_ballistics_valid(Info_ballistics *info)
{
    if (info == NULL) return;
    unsigned char *base = (unsigned char *)info;
    if (info->target.range < 0) info->target.range = 0;
    if (info->target.range > 30000) info->target.range = 30000;
    for (const field_limit &f : k_limits) {
        double v = read_field(base, f.offset, f.kind);
        v = isfinite(v) ? getDoubleParamsLimit(v, f.min, f.max) : f.fallback;
        write_field(base, f.offset, f.kind, v);
    }
    if (info->gun.bullet.dragFunction < G1 || info->gun.bullet.dragFunction > GC) info->gun.bullet.dragFunction = G1;
    if (vesk_enum_value(&info->gun.bullet.zeroOffsetUnit) > 1) write_u32(&info->gun.bullet.zeroOffsetUnit, MOA);
    if (info->gun.scope.zeroRange < 11) info->gun.scope.zeroRange = 11;
    if (info->gun.scope.zeroRange > 1500) info->gun.scope.zeroRange = 1500;
    if (vesk_enum_value(&info->gun.direction) > 1) write_u32(&info->gun.direction, RIGHT);
    for (size_t offset : k_numbers_only)
        if (!isfinite(read_field(base, offset, F64))) write_field(base, offset, F64, 0.0);
}
