// Conversions, offsets, word readers and profile limits, each against its
// own table of cases.
#include <gtest/gtest.h>
#include <math.h>

#include "ballistic_units.h"

namespace {

struct Conversion {
    const char *name;
    double (*fn)(double);
    double in;
    double out;
};

const Conversion kConversions[] = {
    {"m to ft", convertMeterToFeet, 100, 328.08},
    {"m to yd", convertMeterToYard, 100, 109.39},
    {"yd to m", convertYardToMeter, 100, 91.44},
    {"cm to in", convertCMToInch, 10, 3.937},
    {"m/s to mph", convertMeterPerSecondToFeetPerHour, 10, 22.369},
    {"mm to cm", convertMMToCM, 25, 2.5},
    {"cm to mm", convertCMToMM, 2.5, 25},
    {"in to mm", convertInchToMM, 10, 254},
    {"mmHg to inHg", convertmmHgToinHg, 760, 29.944},
    {"inHg to mmHg", convertinHgTommHg, 29.92, 759.968},
    {"mmHg to kPa", convertmmHgTokPa, 760, 101.308},
    {"F to C", convertTemperatureFToC, 59, 15},
    {"F to C below zero", convertTemperatureFToC, -40, -40},
    {"gr to g", convertGrToG, 175, 11.34},
    {"g to gr", convertGToGr, 10, 154.32},
    {"wind 0 to 360", convertWindTo360, 0, 0},
    {"wind -90 to 360", convertWindTo360, -90, 270},
    {"wind -180 to 360", convertWindTo360, -180, 180},
    {"wind 45 to 360", convertWindTo360, 45, 45},
    {"wind 0 to 180", convertWindTo180, 0, 0},
    {"wind 180 to 180", convertWindTo180, 180, -180},
    {"wind 359.9 to 180", convertWindTo180, 359.9, -0.1},
    {"wind 270 to 180", convertWindTo180, 270, -90},
    {"wind 179 to 180", convertWindTo180, 179, 179},
    {"mrad to MOA", mrad2Moa, 1, 3.44},
    {"MOA to mrad", moa2Mrad, 3.44, 1},
};

TEST(BallisticUnits, Conversions)
{
    for (const Conversion &c : kConversions) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(c.out, c.fn(c.in), 1e-9);
        EXPECT_TRUE(isnan(c.fn(NAN)));
    }
    convertMeterPerSecondToFeetPerHour(3);
    EXPECT_NEAR(6.7107, g_convert_speed_last, 1e-12);
}

struct Origin {
    const char *name;
    ScopeUnit unit;
    double moa;
    double mrad;
    double hold;
    double out;
};

const Origin kOrigins[] = {
    {"MOA pair", MOA, 2.0, 0.58, 5.0, 3.0},           {"MOA, one field 0", MOA, 2.0, 0.0, 5.0, 5.0},
    {"MOA, other field 0", MOA, 0.0, 0.58, 5.0, 5.0}, {"MRAD pair", MRAD, 1.0, 1.0, 5.0, 1.56},
    {"MRAD, one field 0", MRAD, 3.44, 0.0, 5.0, 5.0}, {"negative offset", MOA, -1.5, -0.44, -2.0, -0.5},
};

TEST(BallisticUnits, ZeroOffsetRemoval)
{
    for (const Origin &o : kOrigins) {
        SCOPED_TRACE(o.name);
        EXPECT_NEAR(o.out, getVerticalMOAOrigin(o.unit, o.moa, o.mrad, o.hold), 1e-12);
        EXPECT_NEAR(o.out, getHorizontalMOAOrigin(o.unit, o.moa, o.mrad, o.hold), 1e-12);
    }
    EXPECT_NEAR(5.0 / 3.44 - 1.0, getVerticalMRADOrigin(MOA, 3.44, 5.0), 1e-12);
    EXPECT_NEAR(5.0 / 3.44 - 0.5, getHorizontalMRADOrigin(MRAD, 0.5, 5.0), 1e-12);
    EXPECT_NEAR(5.0 / 3.44, getVerticalMRADOrigin(MRAD, 0.0, 5.0), 1e-12);
}

struct Word {
    const char *name;
    int (*fn)(const char *);
    const char *text;
    int out;
};

const Word kWords[] = {
    {"weather false", getisOpenzeroWeather, "false", 0},
    {"weather F", getisOpenzeroWeather, "F", 0},
    {"weather empty", getisOpenzeroWeather, "", 0},
    {"weather true", getisOpenzeroWeather, "true", 1},
    {"weather falsey", getisOpenzeroWeather, "falsey", 1},
    {"weather null", getisOpenzeroWeather, nullptr, 0},
    {"unit MO", getzeroOffsetUnit, "MO", 0},
    {"unit mrad", getzeroOffsetUnit, "mrad", 1},
    {"unit null", getzeroOffsetUnit, nullptr, 0},
    {"twist empty", getRiflingDirection, "", 0},
    {"twist LEFT", getRiflingDirection, "LEFT", 0},
    {"twist right", getRiflingDirection, "right", 1},
    {"twist null", getRiflingDirection, nullptr, 1},
    {"spin fal", getspinOption, "fal", 0},
    {"spin true", getspinOption, "true", 1},
    {"spin null", getspinOption, nullptr, 1},
    {"drag G7", getBallisticdragFunction, "G7", G7},
    {"drag gs", getBallisticdragFunction, "gs", GS},
    {"drag g", getBallisticdragFunction, "g", G1},
    {"drag empty", getBallisticdragFunction, "", G1},
    {"drag g9", getBallisticdragFunction, "g9", G1},
    {"drag null", getBallisticdragFunction, nullptr, G1},
};

TEST(BallisticUnits, ExchangeFileWords)
{
    for (const Word &w : kWords) {
        SCOPED_TRACE(w.name);
        EXPECT_EQ(w.out, w.fn(w.text));
    }
    const char *names[] = {"g1", "g2", "g5", "g6", "g7", "g8", "gi", "gs", "gc"};
    for (int i = 0; i < 9; i++) EXPECT_STREQ(names[i], setBallisticdragFunction(i));
    EXPECT_STREQ("g1", setBallisticdragFunction(9));
    EXPECT_STREQ("g1", setBallisticdragFunction(-1));
}

struct Clamp {
    double v, min, max, out;
};

const Clamp kClamps[] = {
    {-100, -90, 90, -90},   {95, -90, 90, 90},      {-5, 0, 30, 0},      {400, 0, 359.9, 359.9},
    {0.5, 225, 825.1, 225}, {500, 225, 825.1, 500}, {-95, -90, 90, -90}, {12, 0, 30, 12},
    {5, -10, -1, 5},        {5, 10, 1, 5},          {0, 0, 30, 0},       {-0.5, 0.05, 2, 0.05},
};

TEST(BallisticUnits, Clamp)
{
    for (const Clamp &c : kClamps) {
        SCOPED_TRACE(testing::Message() << c.v << " in " << c.min << ".." << c.max);
        EXPECT_EQ(c.out, getDoubleParamsLimit(c.v, c.min, c.max));
    }
    EXPECT_TRUE(isnan(getDoubleParamsLimit(NAN, -90, 90)));
    EXPECT_TRUE(isnan(getDoubleParamsLimit(NAN, 0, 30)));
}

Info_ballistics sound_profile()
{
    Info_ballistics b = {};
    b.target.range = 4567;
    b.target.shootingAngle = 5;
    b.wind = {90, 3};
    b.atmosphere = {0, 760, 15, 50};
    b.gun.bullet = {31.2, 7.82, 175, 0.243, G7, 800, {0, 750, 10, 40}, 1, MOA, 1.0, -0.5, 0.29, -0.145};
    b.gun.scope = {100, 109, 38, MOA, 0.25, 0.25};
    b.gun.riflingRange = 10;
    b.gun.direction = RIGHT;
    b.corioliseffect = {48, 120, 1};
    return b;
}

struct Limit {
    const char *name;
    void (*spoil)(Info_ballistics &);
    bool (*holds)(const Info_ballistics &);
};

#define LIMIT(name, spoil, holds)                                                                                      \
    {                                                                                                                  \
        name, [](Info_ballistics &b) { spoil; }, [](const Info_ballistics &b) -> bool { return holds; }                \
    }

const Limit kLimits[] = {
    LIMIT("range 32000", b.target.range = 32000, b.target.range == 30000),
    LIMIT("range -5", b.target.range = -5, b.target.range == 0),
    LIMIT("angle -100", b.target.shootingAngle = -100, b.target.shootingAngle == -90),
    LIMIT("angle NaN", b.target.shootingAngle = NAN, b.target.shootingAngle == 0),
    LIMIT("wind angle 400", b.wind.angle = 400, b.wind.angle == 359.9),
    LIMIT("wind angle -30", b.wind.angle = -30, b.wind.angle == 0),
    LIMIT("wind speed 31", b.wind.speed = 31, b.wind.speed == 30),
    LIMIT("wind speed inf", b.wind.speed = INFINITY, b.wind.speed == 0),
    LIMIT("altitude 5", b.atmosphere.altitude = 5, b.atmosphere.altitude == 1),
    LIMIT("barometer 0.5", b.atmosphere.barometer = 0.5f, b.atmosphere.barometer == 225),
    LIMIT("barometer 900", b.atmosphere.barometer = 900, b.atmosphere.barometer == 825.1f),
    LIMIT("barometer NaN", b.atmosphere.barometer = NAN, b.atmosphere.barometer == 760),
    LIMIT("humidity 120", b.atmosphere.relative_humidity = 120, b.atmosphere.relative_humidity == 99),
    LIMIT("temperature -60", b.atmosphere.temperature = -60, b.atmosphere.temperature == -40),
    LIMIT("temperature NaN", b.atmosphere.temperature = NAN, b.atmosphere.temperature == 15),
    LIMIT("length 100", b.gun.bullet.length = 100, b.gun.bullet.length == 80),
    LIMIT("diameter 1", b.gun.bullet.diameter = 1, b.gun.bullet.diameter == 2.54),
    LIMIT("weight 4000", b.gun.bullet.weight = 4000, b.gun.bullet.weight == 3086.47),
    LIMIT("coefficient 0", b.gun.bullet.ballisticsCoef = 0, b.gun.bullet.ballisticsCoef == 0.05),
    LIMIT("coefficient NaN", b.gun.bullet.ballisticsCoef = NAN, b.gun.bullet.ballisticsCoef == 0.05),
    LIMIT("drag 9", b.gun.bullet.dragFunction = 9, b.gun.bullet.dragFunction == G1),
    LIMIT("drag -1", b.gun.bullet.dragFunction = -1, b.gun.bullet.dragFunction == G1),
    LIMIT("drag GC kept", b.gun.bullet.dragFunction = GC, b.gun.bullet.dragFunction == GC),
    LIMIT("velocity 2000", b.gun.bullet.velocity = 2000, b.gun.bullet.velocity == 1500),
    LIMIT("zeroing altitude -3", b.gun.bullet.atmosphere.altitude = -3, b.gun.bullet.atmosphere.altitude == 0),
    LIMIT("zeroing barometer 1000", b.gun.bullet.atmosphere.barometer = 1000,
          b.gun.bullet.atmosphere.barometer == 825.1f),
    LIMIT("zeroing humidity -1", b.gun.bullet.atmosphere.relative_humidity = -1,
          b.gun.bullet.atmosphere.relative_humidity == 0),
    LIMIT("zeroing temperature 70", b.gun.bullet.atmosphere.temperature = 70,
          b.gun.bullet.atmosphere.temperature == 50),
    LIMIT("offset unit 5", b.gun.bullet.zeroOffsetUnit = (ScopeUnit)5, b.gun.bullet.zeroOffsetUnit == MOA),
    LIMIT("offset unit -1", b.gun.bullet.zeroOffsetUnit = (ScopeUnit)-1, b.gun.bullet.zeroOffsetUnit == MOA),
    LIMIT("vertical offset 150", b.gun.bullet.zeroOffsetVerticalMOA = 150,
          b.gun.bullet.zeroOffsetVerticalMOA == 99.99 && b.gun.bullet.zeroOffsetVerticalMRAD == 0.29),
    LIMIT("horizontal offset -150", b.gun.bullet.zeroOffsetHorizontalMOA = -150,
          b.gun.bullet.zeroOffsetHorizontalMOA == -99.99),
    LIMIT("MRAD offset kept", b.gun.bullet.zeroOffsetVerticalMRAD = 500, b.gun.bullet.zeroOffsetVerticalMRAD == 500),
    LIMIT("MRAD offset NaN", b.gun.bullet.zeroOffsetHorizontalMRAD = NAN, b.gun.bullet.zeroOffsetHorizontalMRAD == 0),
    LIMIT("sight height 300", b.gun.scope.sightHeightOverBore = 300, b.gun.scope.sightHeightOverBore == 250),
    LIMIT("zero range 0", b.gun.scope.zeroRange = 0, b.gun.scope.zeroRange == 11),
    LIMIT("zero range 2000", b.gun.scope.zeroRange = 2000, b.gun.scope.zeroRange == 1500),
    LIMIT("twist 30", b.gun.riflingRange = 30, b.gun.riflingRange == 24.02),
    LIMIT("twist 1", b.gun.riflingRange = 1, b.gun.riflingRange == 3.94),
    LIMIT("direction 3", b.gun.direction = (RiflingDirection)3, b.gun.direction == RIGHT),
    LIMIT("latitude NaN", b.corioliseffect.lat = NAN, b.corioliseffect.lat == 0),
    LIMIT("latitude 120 kept", b.corioliseffect.lat = 120, b.corioliseffect.lat == 120),
    LIMIT("click NaN", b.gun.scope.verticalUnitPerCard = NAN, b.gun.scope.verticalUnitPerCard == 0),
};

TEST(BallisticUnits, ProfileLimits)
{
    const Info_ballistics sound = sound_profile();
    Info_ballistics copy = sound;
    Info_ballistics_valid(&copy);
    EXPECT_EQ(0, memcmp(&sound, &copy, sizeof(copy))) << "a sound profile is left as it is";
    for (const Limit &l : kLimits) {
        SCOPED_TRACE(l.name);
        Info_ballistics b = sound;
        l.spoil(b);
        Info_ballistics_valid(&b);
        EXPECT_TRUE(l.holds(b));
        // The limits hold: applying them again changes nothing.
        Info_ballistics again = b;
        Info_ballistics_valid(&again);
        EXPECT_EQ(0, memcmp(&again, &b, sizeof(b)));
    }
    Info_ballistics_valid(nullptr);
}

} // namespace
