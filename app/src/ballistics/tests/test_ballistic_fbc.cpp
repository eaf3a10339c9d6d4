// The binding against a recording stand-in calculator: what reaches the
// library's records for a profile and the live inputs, and which answers
// are taken.
#include <gtest/gtest.h>
#include <math.h>

#include "ballistic_fbc.h"
#include "fbc_recorder.h"

// The settings and the debug switch, as this test sets them.
static int g_debug_on;
static int g_dynamic_setting = 1;
int vesk_debug_enabled(void) { return g_debug_on; }
int vesk_dynamic_bc_get(void) { return g_dynamic_setting; }

namespace {

Info_ballistics profile()
{
    Info_ballistics b = {};
    b.ballistics_sw = 1;
    b.spinDriftOpt = 1;
    b.target.range = 5230;
    b.target.shootingAngle = 4.5;
    b.wind = {270, 3.5};
    b.atmosphere = {0, 750, 12, 60};
    b.gun.bullet = {31.2, 7.82, 175, 0.243, G7, 800, {0, 700, -5, 30}, 0, MOA, 0, 0, 0, 0};
    b.gun.scope = {100, 109, 38, MOA, 0.25, 0.5};
    b.gun.riflingRange = 10;
    b.gun.direction = LEFT;
    b.corioliseffect = {48, 200, 1};
    return b;
}

struct Live {
    int range;
    double wind;
    double angle;
    double azimuth;
};

const Live kFromProfile = {-1, -1.0, 100.0, -1.0};

struct Row {
    const char *name;
    void (*edit)(Info_ballistics &);
    Live live;
    void (*check)(const fbc_recorded_call &);
};

#define ROW(name, edit, live, check)                                                                                   \
    {                                                                                                                  \
        name, [](Info_ballistics &b) { edit; }, live, [](const fbc_recorded_call &r) { check; }                        \
    }

const Row kRows[] = {
    ROW("profile as it stands", (void)b, kFromProfile,
        {
            EXPECT_NEAR(175 * 0.0647989, r.ammunition.Weight, 1e-12);
            EXPECT_EQ(800, r.ammunition.MuzzleVelocity);
            EXPECT_EQ(7.82, r.ammunition.BulletDiameter);
            EXPECT_EQ(31.2, r.ammunition.BulletLength);
            EXPECT_EQ(0.243, r.ammunition.BallisticCoefficientValue);
            EXPECT_EQ(G7, r.ammunition.TableId);
            EXPECT_EQ(38, r.sight.SightHeight);
            EXPECT_EQ(0.25, r.sight.VerticalClick);
            EXPECT_EQ(0.5, r.sight.HorizontalClick);
            EXPECT_EQ(60, r.sight.ObjectiveLense_FocalLength);
            EXPECT_EQ(12, r.sight.ImagesensorPixel_Size);
            EXPECT_NEAR(254, r.rifling.RiflingStep, 1e-12);
            EXPECT_EQ(0, r.rifling.Direction);
            EXPECT_NEAR(750 * 0.1333, r.atmosphere.Pressure, 1e-9);
            EXPECT_EQ(12, r.atmosphere.Temperature);
            EXPECT_NEAR(0.6, r.atmosphere.Humidity, 1e-9);
            EXPECT_EQ(100, r.zeroing.Distance);
            EXPECT_EQ(0, memcmp(&r.atmosphere, &r.zeroing_atmosphere, sizeof(r.atmosphere)));
            EXPECT_EQ(0, memcmp(&r.ammunition, &r.zeroing_ammunition, sizeof(r.ammunition)));
            EXPECT_DOUBLE_EQ(523.0, r.shot.ShootDistance);
            EXPECT_EQ(4.5, r.shot.ShotAngle);
            EXPECT_EQ(300, r.shot.Step);
            EXPECT_EQ(3000, r.shot.MaximumDistance);
            EXPECT_EQ(3.5, r.wind.Velocity);
            EXPECT_EQ(-90, r.wind.Direction);
            EXPECT_TRUE(r.has_wind);
            EXPECT_EQ(1.0, r.wind_length);
            EXPECT_TRUE(r.option.SpinDrift_option);
            EXPECT_TRUE(r.option.CoriolisEffect_option);
            EXPECT_EQ(48, r.option.Latitude);
            EXPECT_EQ(200, r.option.Azimuth);
        }),
    ROW("live range 4567", (void)b, (Live{4567, -1, 100, -1}), EXPECT_DOUBLE_EQ(456.7, r.shot.ShootDistance)),
    ROW("live range 0", (void)b, (Live{0, -1, 100, -1}), EXPECT_DOUBLE_EQ(523.0, r.shot.ShootDistance)),
    ROW("live wind 0", (void)b, (Live{-1, 0.0, 100, -1}), EXPECT_EQ(0.0, r.wind.Velocity)),
    ROW("live wind -0.5", (void)b, (Live{-1, -0.5, 100, -1}), EXPECT_EQ(3.5, r.wind.Velocity)),
    ROW("live angle 99", (void)b, (Live{-1, -1, 99.0, -1}), EXPECT_EQ(4.5, r.shot.ShotAngle)),
    ROW("live angle 98.9", (void)b, (Live{-1, -1, 98.9, -1}), EXPECT_EQ(98.9, r.shot.ShotAngle)),
    ROW("live angle NaN", (void)b, (Live{-1, -1, NAN, -1}), EXPECT_EQ(4.5, r.shot.ShotAngle)),
    ROW("live azimuth 0", (void)b, (Live{-1, -1, 100, 0.0}), EXPECT_EQ(0.0, r.option.Azimuth)),
    ROW("wind from 180", b.wind.angle = 180, kFromProfile, EXPECT_EQ(-180, r.wind.Direction)),
    ROW("wind from 90", b.wind.angle = 90, kFromProfile, EXPECT_EQ(90, r.wind.Direction)),
    ROW("wind already folded", b.wind.angle = -45, kFromProfile, EXPECT_EQ(-45, r.wind.Direction)),
    ROW("click 0 takes the default", b.gun.scope.verticalUnitPerCard = 0, kFromProfile,
        EXPECT_EQ(0.1, r.sight.VerticalClick)),
    ROW("click 0 in MRAD", (b.gun.scope.verticalUnitPerCard = 0, b.gun.scope.unit = MRAD), kFromProfile,
        {
            EXPECT_NEAR(0.344, r.sight.VerticalClick, 1e-12);
            EXPECT_NEAR(1.72, r.sight.HorizontalClick, 1e-12);
        }),
    ROW("horizontal click 0 stays 0", b.gun.scope.horizontalUnitPerCard = 0, kFromProfile,
        EXPECT_EQ(0.0, r.sight.HorizontalClick)),
    ROW("Coriolis off, live azimuth 120", b.corioliseffect.CoriolisEffectSwitch = 0, (Live{-1, -1, 100, 120}),
        {
            EXPECT_FALSE(r.option.CoriolisEffect_option);
            EXPECT_EQ(0, r.option.Latitude);
            EXPECT_EQ(120, r.option.Azimuth);
        }),
    ROW("spin drift off", b.spinDriftOpt = 0, kFromProfile, EXPECT_FALSE(r.option.SpinDrift_option)),
    ROW("zeroing weather of its own", b.gun.bullet.isOpenAtmosphere = 1, kFromProfile,
        {
            EXPECT_NEAR(700 * 0.1333, r.zeroing_atmosphere.Pressure, 1e-9);
            EXPECT_EQ(-5, r.zeroing_atmosphere.Temperature);
            EXPECT_NEAR(0.3, r.zeroing_atmosphere.Humidity, 1e-7);
            EXPECT_NEAR(750 * 0.1333, r.atmosphere.Pressure, 1e-9);
        }),
};

class BallisticBinding : public testing::Test {
protected:
    void SetUp() override
    {
        fbc_recorder_reset();
        g_debug_on = 0;
        g_dynamic_setting = 1;
    }
    int run(const Info_ballistics &b, const Live &l)
    {
        return Qel_ballistics_FBC_Calculator(b, l.range, l.wind, l.angle, l.azimuth, &drop, &windage);
    }
    double drop = -7, windage = -7;
};

TEST_F(BallisticBinding, ProfileAndLiveInputsReachTheRecords)
{
    for (const Row &row : kRows) {
        SCOPED_TRACE(row.name);
        fbc_recorder_reset();
        Info_ballistics b = profile();
        row.edit(b);
        Info_ballistics stored = b;
        ASSERT_EQ(0, run(b, row.live));
        ASSERT_EQ(1, fbc_recorder_last()->calls);
        row.check(*fbc_recorder_last());
        EXPECT_EQ(0, memcmp(&stored, &b, sizeof(b))) << "the caller's profile is never written";
    }
}

TEST_F(BallisticBinding, AnswerTakenOrRefused)
{
    fbc_recorder_answer(0, 12.5, -1.25);
    ASSERT_EQ(0, run(profile(), kFromProfile));
    EXPECT_EQ(12.5, drop);
    EXPECT_EQ(-1.25, windage);

    struct Answer {
        int rc;
        double drop, windage;
        int expected;
    };
    const Answer refused[] = {
        {0, NAN, 1.0, -1},       {0, 1.0, -NAN, -1}, {0, INFINITY, 1.0, -1},
        {0, 1.0, -INFINITY, -1}, {5, 1.0, 1.0, 5},   {-3, 1.0, 1.0, -3},
    };
    for (const Answer &a : refused) {
        SCOPED_TRACE(a.rc);
        drop = windage = -7;
        fbc_recorder_answer(a.rc, a.drop, a.windage);
        EXPECT_EQ(a.expected, run(profile(), kFromProfile));
        EXPECT_EQ(-7, drop);
        EXPECT_EQ(-7, windage);
    }
    fbc_recorder_answer(0, 1, 1);
    EXPECT_EQ(-1, Qel_ballistics_FBC_Calculator(profile(), -1, -1, 100, -1, nullptr, &windage));
    EXPECT_EQ(-1, Qel_ballistics_FBC_Calculator(profile(), -1, -1, 100, -1, &drop, nullptr));
}

TEST_F(BallisticBinding, BadProfilesNeverReachTheLibrary)
{
    struct Bad {
        const char *name;
        void (*spoil)(Info_ballistics &);
    };
    const Bad bad[] = {
        {"drag 9", [](Info_ballistics &b) { b.gun.bullet.dragFunction = 9; }},
        {"drag -1", [](Info_ballistics &b) { b.gun.bullet.dragFunction = -1; }},
        {"NaN coefficient", [](Info_ballistics &b) { b.gun.bullet.ballisticsCoef = NAN; }},
        {"NaN velocity", [](Info_ballistics &b) { b.gun.bullet.velocity = NAN; }},
        {"infinite temperature", [](Info_ballistics &b) { b.atmosphere.temperature = INFINITY; }},
        {"NaN zeroing pressure",
         [](Info_ballistics &b) {
             b.gun.bullet.isOpenAtmosphere = 1;
             b.gun.bullet.atmosphere.barometer = NAN;
         }},
        {"NaN wind angle", [](Info_ballistics &b) { b.wind.angle = NAN; }},
        {"NaN latitude", [](Info_ballistics &b) { b.corioliseffect.lat = NAN; }},
        {"NaN click", [](Info_ballistics &b) { b.gun.scope.horizontalUnitPerCard = NAN; }},
    };
    for (const Bad &c : bad) {
        SCOPED_TRACE(c.name);
        fbc_recorder_reset();
        Info_ballistics b = profile();
        c.spoil(b);
        EXPECT_EQ(-1, run(b, kFromProfile));
        EXPECT_EQ(0, fbc_recorder_last()->calls);
        EXPECT_EQ(-7, drop);
    }
    // Without Coriolis the latitude is not handed over, so it may be anything.
    Info_ballistics b = profile();
    b.corioliseffect = {NAN, NAN, 0};
    EXPECT_EQ(0, run(b, kFromProfile));
}

TEST_F(BallisticBinding, ExtendedEntryCarriesTheDynamicSetting)
{
    ASSERT_EQ(1, vesk_dynamic_bc_supported());
    for (int setting : {0, 1}) {
        g_dynamic_setting = setting;
        ASSERT_EQ(0, run(profile(), kFromProfile));
        EXPECT_EQ(1, fbc_recorder_last()->extended);
        EXPECT_EQ(setting, fbc_recorder_last()->dynamic);
    }
}

TEST_F(BallisticBinding, StartUpAndDebugSwitch)
{
    g_debug_on = 1;
    testing::internal::CaptureStdout();
    Qel_ballistics_Init_FBC();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("FBC_lib_version = recorder 0.1\n"));
    EXPECT_EQ(1, fbc_recorder_last()->log_on);
    EXPECT_EQ(91.44, M855_Zeroing.Distance);
    EXPECT_EQ(nullptr, M855_Zeroing.pZeroingAmmunition);
    EXPECT_EQ(G1, M855_Ammunition.TableId);
    Qel_ballistics_DebugLogSet(0);
    EXPECT_EQ(0, fbc_recorder_last()->log_on);
    Qel_ballistics_DebugLogSet(7);
    EXPECT_EQ(1, fbc_recorder_last()->log_on);
    testing::internal::CaptureStdout();
    run(profile(), kFromProfile);
    out = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("range_current = -1.000000, wind_speed = -1.000000, ShotAngle = 4.500000\n"));
}

TEST_F(BallisticBinding, WorkingProfileCopies)
{
    Info_ballistics b = profile(), out = {};
    b.target.range = 1234;
    EXPECT_EQ(0, Qel_ballistics_paramsSave_FBC(&b));
    vesk_ballistics_working_get(&out);
    EXPECT_EQ(0, memcmp(&b, &out, sizeof(b)));
}

} // namespace
