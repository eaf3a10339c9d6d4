#include "scope_factory.h"

#include <string.h>

#include <iniparser.h>

#include "sim_factory.h"

static wire_atmosphere weather(const Info_atmosphere &a)
{
    return {a.altitude, a.barometer, a.temperature, a.relative_humidity};
}

wire_profile scope_factory_profile(int i)
{
    Info_ballistics image[VESK_PROFILE_COUNT];
    Qel_IR_Cursor zeros;
    sim_factory_profiles(image, &zeros);
    const Info_ballistics &f = image[i];
    wire_profile p;
    memset(&p, 0, sizeof p);
    p.ballistics_sw = f.ballistics_sw;
    p.unit = f.unit;
    p.spinDriftOpt = f.spinDriftOpt;
    p.target.range = f.target.range;
    p.target.range_yard = f.target.range_yard;
    p.target.shootingAngle = f.target.shootingAngle;
    p.wind.angle = f.wind.angle;
    p.wind.speed = f.wind.speed;
    p.corioliseffect.lat = f.corioliseffect.lat;
    p.corioliseffect.angle = f.corioliseffect.angle;
    p.corioliseffect.CoriolisEffectSwitch = f.corioliseffect.CoriolisEffectSwitch;
    p.atmosphere = weather(f.atmosphere);
    const Info_bullet &fb = f.gun.bullet;
    wire_bullet &b = p.gun.bullet;
    b.length = fb.length;
    b.diameter = fb.diameter;
    b.weight = fb.weight;
    b.ballisticsCoef = fb.ballisticsCoef;
    b.dragFunction = fb.dragFunction;
    b.velocity = fb.velocity;
    b.atmosphere = weather(fb.atmosphere);
    b.isOpenAtmosphere = fb.isOpenAtmosphere;
    b.zeroOffsetUnit = fb.zeroOffsetUnit;
    b.zeroOffsetVerticalMOA = fb.zeroOffsetVerticalMOA;
    b.zeroOffsetHorizontalMOA = fb.zeroOffsetHorizontalMOA;
    b.zeroOffsetVerticalMRAD = fb.zeroOffsetVerticalMRAD;
    b.zeroOffsetHorizontalMRAD = fb.zeroOffsetHorizontalMRAD;
    const Info_scope &fs = f.gun.scope;
    p.gun.scope.zeroRange = fs.zeroRange;
    p.gun.scope.zeroRange_yard = fs.zeroRange_yard;
    p.gun.scope.sightHeightOverBore = fs.sightHeightOverBore;
    p.gun.scope.unit = fs.unit;
    p.gun.scope.verticalUnitPerCard = fs.verticalUnitPerCard;
    p.gun.scope.horizontalUnitPerCard = fs.horizontalUnitPerCard;
    p.gun.riflingRange = f.gun.riflingRange;
    p.gun.direction = f.gun.direction;
    return p;
}

wire_cursor scope_factory_cursor(void)
{
    Info_ballistics image[VESK_PROFILE_COUNT];
    Qel_IR_Cursor f;
    sim_factory_profiles(image, &f);
    wire_cursor c;
    memset(&c, 0, sizeof c);
    c.current_group = f.u8CurrentGroup;
    for (int g = 0; g < SCOPE_PROFILES; g++) {
        c.group[g].current_zero = f.group[g].u8CurrentZero;
        c.group[g].temp_zero = f.group[g].u8TempZero;
        for (int z = 0; z < 2; z++) {
            const Qel_Cursor_Zero &fz = f.group[g].zero[z];
            c.group[g].zero[z] = {fz.u16IrCursorDistance, fz.u16IrCursorDistanceYD, fz.s8IrCursorCurrentX,
                                  fz.s8IrCursorCurrentY,  fz.flIrCursorOffsetX,     fz.flIrCursorOffsetY};
        }
    }
    return c;
}

std::vector<uint8_t> scope_factory_status_image(void)
{
    std::vector<uint8_t> s(96, 0);
    auto put16 = [&](size_t at, int v) {
        s[at] = (uint8_t)v;
        s[at + 1] = (uint8_t)(v >> 8);
    };
    s[4] = 5;  /* IR brightness */
    s[5] = 5;  /* IR contrast */
    s[7] = 3;  /* red-hot threshold */
    s[8] = 3;  /* enhancement */
    s[9] = 1;  /* scene */
    s[19] = 5; /* reticle colour */
    s[21] = 2; /* reticle brightness */
    const wire_zero &zero = scope_factory_cursor().group[0].zero[0];
    put16(24, zero.x); /* the reticle starts at zero point 0 of group 0 */
    put16(26, zero.y);
    for (size_t at = 28; at < 36; at += 2) put16(at, 639); /* range offset and laser mark: EEPROM defaults */
    s[37] = 5;                                             /* screen brightness */
    s[54] = 1;                                             /* distance unit */
    s[55] = 1;                                             /* range type */
    s[58] = 5;                                             /* auto shutter */
    s[65] = 3;                                             /* recoil sensitivity */
    s[67] = 1;                                             /* range reticle colour */
    s[71] = 2;                                             /* laser reticle colour */
    s[72] = 1;                                             /* ballistic reticle colour */
    memcpy(&s[79], "v1.0.4", 6);
    return s;
}

bool scope_ini_get(const std::string &host_path, const std::string &key, std::string *value)
{
    dictionary *d = iniparser_load(host_path.c_str());
    if (d == nullptr) return false;
    const char *v = iniparser_getstring(d, key.c_str(), nullptr);
    if (v != nullptr) *value = v;
    iniparser_freedict(d);
    return v != nullptr;
}
