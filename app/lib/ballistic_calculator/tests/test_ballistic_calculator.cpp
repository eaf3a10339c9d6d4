// The calculator against published trajectories, its physical properties,
// its refusals and its two builds.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <math.h>

#include "CustBallisticCalculator.h"
#include "fbc_solver.h"

namespace {

const double kMoaPerRad = 10800.0 / M_PI;
const double kYard = 0.9144;

double moa_of_inches(double inches, double yards) { return atan(inches / (yards * 36.0)) * kMoaPerRad; }

// One complete set of records, in the units of the interface, with plain
// defaults that each case changes.
struct Shot {
    CustAmmunition ammo = {4.2, 792.48, 5.69, 22.0, 0.365, G1};
    CustSight sight = {63.5, 0.25, 0.25, 60.0, 12.0};
    CustRifling rifling = {254.0, 1.0};
    CustAtmosphere air = {0.0, 101.325, 15.0, 0.0};
    CustAtmosphere zero_air = {0.0, 101.325, 15.0, 0.0};
    CustZeroing zero = {100 * kYard, &ammo, &zero_air};
    CustShotParameters shot = {1000 * kYard, 0.0, 300.0, 3000.0};
    CustWind wind = {0.0, 0.0};
    bool has_wind = true;
    double wind_length = 1.0;
    CustBallisticCalculationOption option = {false, false, 0.0, 0.0};
    CustBallisticCalculationResult result = {-1, -1, -1, -1, -1};

    Shot() = default;
    Shot(const Shot &o) { *this = o; }
    Shot &operator=(const Shot &o)
    {
        ammo = o.ammo;
        sight = o.sight;
        rifling = o.rifling;
        air = o.air;
        zero_air = o.zero_air;
        zero = {o.zero.Distance, &ammo, &zero_air};
        shot = o.shot;
        wind = o.wind;
        has_wind = o.has_wind;
        wind_length = o.wind_length;
        option = o.option;
        result = o.result;
        return *this;
    }

    int run()
    {
        return SingleCustBallisticCalculation(&result, &ammo, &sight, &rifling, &zero, &air, &shot, &wind, has_wind,
                                              wind_length, &option);
    }
    int run_dynamic(int dynamic)
    {
        return VeskSingleCustBallisticCalculation(&result, &ammo, &sight, &rifling, &zero, &air, &shot, &wind, has_wind,
                                                  wind_length, &option, dynamic);
    }
    void at_yards(double yards) { shot.ShootDistance = yards * kYard; }
};

// The two published loads, with the weather that each was computed in.
Shot g1_load()
{
    Shot s;
    s.ammo = {65 / 15.432358, 2600 * 0.3048, 5.69, 20.0, 0.365, G1};
    s.sight.SightHeight = 2.5 * 25.4;
    s.air = s.zero_air = {0.0, 29.92 * 3.386389, 15.0, 0.78};
    return s;
}

Shot g7_load()
{
    Shot s;
    s.ammo = {175 / 15.432358, 2600 * 0.3048, 7.82, 31.2, 0.243, G7};
    s.sight.SightHeight = 1.5 * 25.4;
    s.air = s.zero_air = {0.0, 101.325, 15.0, 0.0};
    return s;
}

struct Reference {
    const char *name;
    Shot (*load)();
    double yards;
    double drop_inches;
    double time; // s, 0 where none was published
};

const Reference kReferences[] = {
    {"G1 500 yd", g1_load, 500, 68.8, 0},
    {"G1 1000 yd", g1_load, 1000, 534.8, 2.018},
    {"G7 500 yd", g7_load, 500, 64.4, 0},
    {"G7 1000 yd", g7_load, 1000, 432.0, 1.791},
};

TEST(BallisticCalculatorPhysics, MatchesPublishedTrajectoriesWithinFiveHundredthsMoa)
{
    for (const Reference &r : kReferences) {
        SCOPED_TRACE(r.name);
        Shot s = r.load();
        s.at_yards(r.yards);
        ASSERT_EQ(CUSTBC_OK, s.run());
        // Published as inches of drop; the library gives the impact's height.
        EXPECT_NEAR(-moa_of_inches(r.drop_inches, r.yards), s.result.DropAdjustment, 0.05);
        EXPECT_NEAR(0.0, s.result.WindageAdjustment, 0.05);
        if (r.time > 0) {
            EXPECT_NEAR(r.time, s.result.Time, 0.005);
        }
    }
}

TEST(BallisticCalculatorPhysics, RemainingVelocityAtThousandYards)
{
    struct Row {
        const char *name;
        Shot (*load)();
        double fps;
    };
    const Row rows[] = {{"G1", g1_load, 984.7}, {"G7", g7_load, 1088.0}};
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        Shot s = r.load();
        fbc_air air;
        fbc_air_make(s.air.Temperature, s.air.Pressure, s.air.Humidity, &air);
        fbc_shot shot = {};
        fbc_load_make(fbc_drag_table_get(s.ammo.TableId), s.ammo.BallisticCoefficientValue, s.ammo.MuzzleVelocity,
                      false, &air, &shot.load);
        shot.air = air;
        shot.sight_height = s.sight.SightHeight / 1000;
        shot.distance = 1000 * kYard;
        double time;
        ASSERT_EQ(0, fbc_zero(&shot.load, &air, shot.sight_height, s.zero.Distance, &shot.bore_angle, &time));
        fbc_impact hit;
        ASSERT_EQ(0, fbc_fly(&shot, &hit));
        EXPECT_NEAR(r.fps, hit.speed / 0.3048, 2.0);
    }
}

TEST(BallisticCalculatorPhysics, StandardAtmosphere)
{
    // ICAO sea level: 1.2250 kg/m3 and 340.29 m/s at 15 C, 101.325 kPa, dry.
    fbc_air air;
    fbc_air_make(15.0, 101.325, 0.0, &air);
    EXPECT_NEAR(1.2250, air.density, 0.0005);
    EXPECT_NEAR(340.29, air.sound, 0.05);
    // Water vapour is lighter than air and carries sound faster.
    fbc_air humid;
    fbc_air_make(15.0, 101.325, 0.78, &humid);
    EXPECT_LT(humid.density, air.density * 0.997);
    EXPECT_GT(humid.sound, air.sound);
    // Cold dense air: -20 C at the same pressure.
    fbc_air cold;
    fbc_air_make(-20.0, 101.325, 0.0, &cold);
    EXPECT_NEAR(1.3943, cold.density, 0.001);
    EXPECT_NEAR(319.1, cold.sound, 0.2);
}

TEST(BallisticCalculatorPhysics, DragTablesAreOrderedAndComplete)
{
    const int published[] = {G1, G2, G5, G6, G7, G8, GI, GS};
    for (int id : published) {
        SCOPED_TRACE(id);
        const fbc_drag_table *t = fbc_drag_table_get(id);
        ASSERT_NE(nullptr, t);
        ASSERT_GT(t->count, 70u);
        EXPECT_EQ(0.0, t->points[0].mach);
        EXPECT_GE(t->points[t->count - 1].mach, 4.0);
        for (size_t i = 1; i < t->count; i++) {
            EXPECT_GT(t->points[i].mach, t->points[i - 1].mach) << "row " << i;
            EXPECT_GT(t->points[i].cd, 0.1);
            EXPECT_LT(t->points[i].cd, 1.1);
        }
    }
    EXPECT_EQ(nullptr, fbc_drag_table_get(GC));
    EXPECT_EQ(nullptr, fbc_drag_table_get(9));
    EXPECT_EQ(nullptr, fbc_drag_table_get(-1));
    // Spot values of the two tables that matter most, between rows too.
    size_t hint = 0;
    EXPECT_DOUBLE_EQ(0.4805, fbc_drag_cd(fbc_drag_table_get(G1), 1.0, &hint));
    EXPECT_DOUBLE_EQ(0.3803, fbc_drag_cd(fbc_drag_table_get(G7), 1.0, &hint));
    EXPECT_NEAR((0.5934 + 0.5867) / 2, fbc_drag_cd(fbc_drag_table_get(G1), 2.025, &hint), 1e-12);
    EXPECT_DOUBLE_EQ(0.1618, fbc_drag_cd(fbc_drag_table_get(G7), 6.0, &hint));
}

// Vacuum hold for the same zero: the bore is raised so that the parabola
// crosses the line of sight at the zero distance.
double vacuum_hold_moa(double v0, double h, double zero, double d)
{
    const double g = 9.80665;
    // y(x) = -h + x t - g x^2 (1 + t^2) / (2 v0^2), solved for t at y(zero) = 0.
    double a = g * zero * zero / (2 * v0 * v0);
    double t = (zero - sqrt(zero * zero - 4 * a * (a + h))) / (2 * a);
    double y = -h + d * t - g * d * d * (1 + t * t) / (2 * v0 * v0);
    return atan2(-y, d) * kMoaPerRad;
}

TEST(BallisticCalculatorPhysics, LargeCoefficientApproachesVacuum)
{
    Shot s = g7_load();
    double vacuum =
        vacuum_hold_moa(s.ammo.MuzzleVelocity, s.sight.SightHeight / 1000, s.zero.Distance, s.shot.ShootDistance);
    double last_gap = INFINITY;
    for (double bc : {0.25, 1.0, 4.0, 10.0}) {
        SCOPED_TRACE(bc);
        s.ammo.BallisticCoefficientValue = bc;
        ASSERT_EQ(CUSTBC_OK, s.run());
        double gap = -s.result.DropAdjustment - vacuum;
        EXPECT_GT(gap, 0.0);
        EXPECT_LT(gap, last_gap);
        last_gap = gap;
    }
    EXPECT_LT(last_gap, 0.02 * vacuum);
}

TEST(BallisticCalculatorPhysics, HoldAtTheZeroDistanceIsNil)
{
    struct Row {
        DragTableId table;
        double bc;
        double zero;
        double sight_mm;
        double celsius;
    };
    const Row rows[] = {
        {G1, 0.365, 91.44, 63.5, 15}, {G7, 0.243, 300, 38.1, -20}, {G5, 0.3, 50, 90, 35}, {G2, 0.5, 200, 45, 0},
        {G6, 0.25, 100, 50, 10},      {G8, 0.4, 600, 60, 25},      {GI, 0.3, 150, 40, 5}, {GS, 0.1, 25, 30, 15},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.table);
        Shot s;
        s.ammo.TableId = r.table;
        s.ammo.BallisticCoefficientValue = r.bc;
        s.zero.Distance = r.zero;
        s.sight.SightHeight = r.sight_mm;
        s.air.Temperature = s.zero_air.Temperature = r.celsius;
        s.option.SpinDrift_option = true;
        s.shot.ShootDistance = r.zero;
        ASSERT_EQ(CUSTBC_OK, s.run());
        EXPECT_NEAR(0.0, s.result.DropAdjustment, 0.01);
        EXPECT_NEAR(0.0, s.result.WindageAdjustment, 0.01);
    }
}

TEST(BallisticCalculatorPhysics, SpinDriftFollowsTheTwist)
{
    Shot right = g7_load();
    right.option.SpinDrift_option = true;
    right.rifling = {10 * 25.4, 1.0};
    Shot left = right;
    left.rifling.Direction = 0.0;
    ASSERT_EQ(CUSTBC_OK, right.run());
    ASSERT_EQ(CUSTBC_OK, left.run());
    // A .308 175 gr at 1000 yd drifts some inches, a fraction of an MOA
    // to a little over one; a right-hand twist drifts right, held left.
    EXPECT_LT(right.result.WindageAdjustment, -0.3);
    EXPECT_GT(right.result.WindageAdjustment, -2.0);
    EXPECT_NEAR(-right.result.WindageAdjustment, left.result.WindageAdjustment, 1e-9);
    // A slower twist means less stability and less drift.
    Shot slow = right;
    slow.rifling.RiflingStep = 12 * 25.4;
    ASSERT_EQ(CUSTBC_OK, slow.run());
    EXPECT_GT(slow.result.WindageAdjustment, right.result.WindageAdjustment);
    EXPECT_NEAR(right.result.DropAdjustment, slow.result.DropAdjustment, 1e-9);
}

TEST(BallisticCalculatorPhysics, SpinStabilityByMiller)
{
    // 175 gr .308, 1.24 in long, 1:10 twist: 32.47 calibres a turn, 4.026
    // calibres long, so 30 * 175 / (32.47^2 * 0.308^3 * 4.026 * 17.21) =
    // 2.460, times (2600 / 2800)^(1/3) = 0.9756 for the velocity: 2.400.
    fbc_air air;
    fbc_air_make(15.0, 101.325, 0.0, &air);
    EXPECT_NEAR(2.400, fbc_stability(175, 0.308, 1.24, 10, 2600, &air), 0.005);
    // Thinner air at 5000 ft (84.3 kPa, 5 C) spins it up: * 0.965 * 1.202.
    fbc_air_make(5.0, 84.3, 0.0, &air);
    EXPECT_NEAR(2.400 * (41 + 460) / 519.0 * 29.92 / (84.3 / 3.386389), fbc_stability(175, 0.308, 1.24, 10, 2600, &air),
                0.005);
    EXPECT_NEAR(1.25 * (2.0 + 1.2) * pow(1.5, 1.83) * 0.0254, fbc_spin_drift(2.0, 1.5), 1e-12);
}

TEST(BallisticCalculatorPhysics, CoriolisChangesSignBetweenHemispheres)
{
    Shot north = g7_load();
    north.option = {false, true, 45.0, 0.0};
    Shot south = north;
    south.option.Latitude = -45.0;
    ASSERT_EQ(CUSTBC_OK, north.run());
    ASSERT_EQ(CUSTBC_OK, south.run());
    // Deflected right in the north, held left.
    EXPECT_LT(north.result.WindageAdjustment, -0.05);
    EXPECT_GT(south.result.WindageAdjustment, 0.05);
    // Alike but for the small part that the vertical velocity adds through
    // the northward component of the rotation.
    EXPECT_NEAR(north.result.WindageAdjustment, -south.result.WindageAdjustment,
                0.03 * fabs(north.result.WindageAdjustment));
    // On the equator the horizontal part vanishes and firing east lifts the
    // bullet (Eotvos), firing west lowers it.
    Shot east = g7_load(), west = g7_load(), off = g7_load();
    east.option = {false, true, 0.0, 90.0};
    west.option = {false, true, 0.0, 270.0};
    ASSERT_EQ(CUSTBC_OK, east.run());
    ASSERT_EQ(CUSTBC_OK, west.run());
    ASSERT_EQ(CUSTBC_OK, off.run());
    EXPECT_NEAR(0.0, east.result.WindageAdjustment, 1e-3);
    EXPECT_GT(east.result.DropAdjustment, off.result.DropAdjustment + 0.05);
    EXPECT_LT(west.result.DropAdjustment, off.result.DropAdjustment - 0.05);
}

TEST(BallisticCalculatorPhysics, WindFromEachSide)
{
    struct Row {
        double from;
        int side;   // sign of the windage: held right against a wind from the right
        int height; // sign of the change in the impact's height against no wind
    };
    const Row rows[] = {{90, 1, 0}, {-90, -1, 0}, {0, 0, -1}, {180, 0, 1}, {45, 1, -1}, {-135, -1, 1}};
    Shot calm = g1_load();
    ASSERT_EQ(CUSTBC_OK, calm.run());
    for (const Row &r : rows) {
        SCOPED_TRACE(r.from);
        Shot s = g1_load();
        s.wind = {4.4704, r.from}; // 10 mph
        ASSERT_EQ(CUSTBC_OK, s.run());
        double w = s.result.WindageAdjustment;
        double d = s.result.DropAdjustment - calm.result.DropAdjustment;
        EXPECT_EQ(r.side, w > 0.01 ? 1 : w < -0.01 ? -1 : 0) << w;
        EXPECT_EQ(r.height, d > 0.01 ? 1 : d < -0.01 ? -1 : 0) << d;
    }
    // A 10 mph full-value wind moves this load several MOA at 1000 yd, and
    // half the path carries less than all of it.
    Shot full = g1_load(), half = g1_load(), none = g1_load();
    full.wind = half.wind = none.wind = {4.4704, 90};
    half.wind_length = 0.5;
    none.has_wind = false;
    ASSERT_EQ(CUSTBC_OK, full.run());
    ASSERT_EQ(CUSTBC_OK, half.run());
    ASSERT_EQ(CUSTBC_OK, none.run());
    EXPECT_GT(full.result.WindageAdjustment, 5.0);
    EXPECT_LT(half.result.WindageAdjustment, full.result.WindageAdjustment);
    EXPECT_GT(half.result.WindageAdjustment, 0.5 * full.result.WindageAdjustment);
    EXPECT_EQ(0.0, none.result.WindageAdjustment);
}

TEST(BallisticCalculatorPhysics, UphillAndDownhillNeedLessHold)
{
    Shot level = g7_load();
    level.at_yards(600);
    ASSERT_EQ(CUSTBC_OK, level.run());
    for (double angle : {-30.0, 30.0}) {
        SCOPED_TRACE(angle);
        Shot s = level;
        s.shot.ShotAngle = angle;
        ASSERT_EQ(CUSTBC_OK, s.run());
        // The rifleman's rule puts it near cos(angle) of the level hold.
        EXPECT_GT(s.result.DropAdjustment, level.result.DropAdjustment);
        EXPECT_NEAR(level.result.DropAdjustment * cos(angle * M_PI / 180), s.result.DropAdjustment, 0.6);
    }
}

TEST(BallisticCalculatorPhysics, ResultFieldsAgree)
{
    Shot s = g1_load();
    s.wind = {3, 60};
    ASSERT_EQ(CUSTBC_OK, s.run());
    // 12 um pixels behind 60 mm: 0.2 mrad per pixel, y downwards.
    double pixel_moa = 0.2e-3 * kMoaPerRad;
    EXPECT_NEAR(-s.result.DropAdjustment / pixel_moa, s.result.AimY, 1e-9);
    EXPECT_NEAR(-s.result.WindageAdjustment / pixel_moa, s.result.AimX, 1e-9);
    s.sight.ObjectiveLense_FocalLength = 0;
    ASSERT_EQ(CUSTBC_OK, s.run());
    EXPECT_EQ(0.0, s.result.AimX);
    EXPECT_EQ(0.0, s.result.AimY);
}

TEST(BallisticCalculatorPhysics, ZeroAngleFollowsTheZeroingWeather)
{
    // The same shot after zeroing in cold air and in warm air: the cached
    // zero must not survive a change of the zeroing weather.
    Shot warm = g1_load(), cold = g1_load();
    cold.zero_air.Temperature = -25.0;
    ASSERT_EQ(CUSTBC_OK, warm.run());
    double warm_hold = warm.result.DropAdjustment;
    ASSERT_EQ(CUSTBC_OK, cold.run());
    EXPECT_GT(fabs(cold.result.DropAdjustment - warm_hold), 0.02);
    ASSERT_EQ(CUSTBC_OK, warm.run());
    EXPECT_DOUBLE_EQ(warm_hold, warm.result.DropAdjustment);
    // Zeroed with another load: a slower one needs a higher bore.
    Shot other = g1_load();
    CustAmmunition slow = other.ammo;
    slow.MuzzleVelocity = 700;
    other.zero.pZeroingAmmunition = &slow;
    ASSERT_EQ(CUSTBC_OK, other.run());
    EXPECT_GT(other.result.DropAdjustment, warm_hold);
}

TEST(BallisticCalculatorPhysics, DynamicCoefficient)
{
    Shot g1 = g1_load(), g7 = g7_load();
    ASSERT_EQ(CUSTBC_OK, g1.run_dynamic(0));
    double g1_off = g1.result.DropAdjustment;
    ASSERT_EQ(CUSTBC_OK, g1.run());
    EXPECT_DOUBLE_EQ(g1_off, g1.result.DropAdjustment);
    // A G1 coefficient taken at the muzzle, with the drag following the G7
    // shape downrange: the hold changes.
    ASSERT_EQ(CUSTBC_OK, g1.run_dynamic(1));
    EXPECT_GT(fabs(g1.result.DropAdjustment - g1_off), 0.2);
    ASSERT_EQ(CUSTBC_OK, g7.run_dynamic(0));
    double g7_off = g7.result.DropAdjustment;
    ASSERT_EQ(CUSTBC_OK, g7.run_dynamic(1));
    EXPECT_DOUBLE_EQ(g7_off, g7.result.DropAdjustment);
    EXPECT_EQ(CUSTBC_E_RANGE, g7.run_dynamic(2));
    EXPECT_EQ(CUSTBC_E_RANGE, g7.run_dynamic(-1));
}

struct Refusal {
    const char *name;
    void (*spoil)(Shot &);
    int code;
};

const Refusal kRefusals[] = {
    {"NaN velocity", [](Shot &s) { s.ammo.MuzzleVelocity = NAN; }, CUSTBC_E_NOT_FINITE},
    {"infinite coefficient", [](Shot &s) { s.ammo.BallisticCoefficientValue = INFINITY; }, CUSTBC_E_NOT_FINITE},
    {"NaN pressure", [](Shot &s) { s.air.Pressure = NAN; }, CUSTBC_E_NOT_FINITE},
    {"NaN zeroing temperature", [](Shot &s) { s.zero_air.Temperature = NAN; }, CUSTBC_E_NOT_FINITE},
    {"NaN distance", [](Shot &s) { s.shot.ShootDistance = NAN; }, CUSTBC_E_NOT_FINITE},
    {"NaN wind", [](Shot &s) { s.wind.Velocity = NAN; }, CUSTBC_E_NOT_FINITE},
    {"NaN wind length", [](Shot &s) { s.wind_length = NAN; }, CUSTBC_E_NOT_FINITE},
    {"NaN latitude", [](Shot &s) { s.option.Latitude = NAN; }, CUSTBC_E_NOT_FINITE},
    {"NaN sight height", [](Shot &s) { s.sight.SightHeight = -NAN; }, CUSTBC_E_NOT_FINITE},
    {"zero velocity", [](Shot &s) { s.ammo.MuzzleVelocity = 0; }, CUSTBC_E_RANGE},
    {"negative coefficient", [](Shot &s) { s.ammo.BallisticCoefficientValue = -0.3; }, CUSTBC_E_RANGE},
    {"zero distance", [](Shot &s) { s.shot.ShootDistance = 0; }, CUSTBC_E_RANGE},
    {"beyond the maximum", [](Shot &s) { s.shot.ShootDistance = 3000.5; }, CUSTBC_E_RANGE},
    {"shot angle 99", [](Shot &s) { s.shot.ShotAngle = 99; }, CUSTBC_E_RANGE},
    {"humidity over 1", [](Shot &s) { s.air.Humidity = 1.5; }, CUSTBC_E_RANGE},
    {"wind from 270", [](Shot &s) { s.wind.Direction = 270; }, CUSTBC_E_RANGE},
    {"wind length 2", [](Shot &s) { s.wind_length = 2; }, CUSTBC_E_RANGE},
    {"zeroing distance 0", [](Shot &s) { s.zero.Distance = 0; }, CUSTBC_E_RANGE},
    {"twist direction 2", [](Shot &s) { s.rifling.Direction = 2; }, CUSTBC_E_RANGE},
    {"no twist with spin drift",
     [](Shot &s) {
         s.rifling.RiflingStep = 0;
         s.option.SpinDrift_option = true;
     },
     CUSTBC_E_RANGE},
    {"custom drag curve", [](Shot &s) { s.ammo.TableId = GC; }, CUSTBC_E_DRAG_TABLE},
    {"table 9", [](Shot &s) { s.ammo.TableId = (DragTableId)9; }, CUSTBC_E_DRAG_TABLE},
    {"table -1", [](Shot &s) { s.ammo.TableId = (DragTableId)-1; }, CUSTBC_E_DRAG_TABLE},
    {"zeroing load on GC",
     [](Shot &s) {
         static CustAmmunition other;
         other = s.ammo;
         other.TableId = GC;
         s.zero.pZeroingAmmunition = &other;
     },
     CUSTBC_E_DRAG_TABLE},
    {"zero out of reach",
     [](Shot &s) {
         s.ammo = {2.6, 330, 5.6, 15, 0.12, G1};
         s.zero.Distance = 2500;
     },
     CUSTBC_E_ZERO},
    {"stops short going up",
     [](Shot &s) {
         s.ammo = {2.6, 330, 5.6, 15, 0.12, G1};
         s.zero.Distance = 25;
         s.shot.ShotAngle = 90;
         s.shot.ShootDistance = 2500;
     },
     CUSTBC_E_FALLS_SHORT},
    {"null zeroing load", [](Shot &s) { s.zero.pZeroingAmmunition = nullptr; }, CUSTBC_E_NULL},
    {"null zeroing weather", [](Shot &s) { s.zero.pZeroingAtmosphere = nullptr; }, CUSTBC_E_NULL},
};

TEST(BallisticCalculatorRefusal, EachBadInputIsRefusedAndTheResultKept)
{
    for (const Refusal &r : kRefusals) {
        SCOPED_TRACE(r.name);
        Shot s = g1_load();
        r.spoil(s);
        EXPECT_EQ(r.code, s.run());
        EXPECT_EQ(-1.0, s.result.DropAdjustment);
        EXPECT_EQ(-1.0, s.result.WindageAdjustment);
        EXPECT_EQ(-1.0, s.result.Time);
    }
}

TEST(BallisticCalculatorRefusal, NullRecords)
{
    Shot s = g1_load();
    CustBallisticCalculationResult r;
    EXPECT_EQ(CUSTBC_E_NULL, SingleCustBallisticCalculation(nullptr, &s.ammo, &s.sight, &s.rifling, &s.zero, &s.air,
                                                            &s.shot, &s.wind, true, 1.0, &s.option));
    EXPECT_EQ(CUSTBC_E_NULL, SingleCustBallisticCalculation(&r, nullptr, &s.sight, &s.rifling, &s.zero, &s.air, &s.shot,
                                                            &s.wind, true, 1.0, &s.option));
    EXPECT_EQ(CUSTBC_E_NULL, SingleCustBallisticCalculation(&r, &s.ammo, nullptr, &s.rifling, &s.zero, &s.air, &s.shot,
                                                            &s.wind, true, 1.0, &s.option));
    EXPECT_EQ(CUSTBC_E_NULL, SingleCustBallisticCalculation(&r, &s.ammo, &s.sight, nullptr, &s.zero, &s.air, &s.shot,
                                                            &s.wind, true, 1.0, &s.option));
    EXPECT_EQ(CUSTBC_E_NULL, SingleCustBallisticCalculation(&r, &s.ammo, &s.sight, &s.rifling, nullptr, &s.air, &s.shot,
                                                            &s.wind, true, 1.0, &s.option));
    EXPECT_EQ(CUSTBC_E_NULL, SingleCustBallisticCalculation(&r, &s.ammo, &s.sight, &s.rifling, &s.zero, nullptr,
                                                            &s.shot, &s.wind, true, 1.0, &s.option));
    EXPECT_EQ(CUSTBC_E_NULL, SingleCustBallisticCalculation(&r, &s.ammo, &s.sight, &s.rifling, &s.zero, &s.air, nullptr,
                                                            &s.wind, true, 1.0, &s.option));
    EXPECT_EQ(CUSTBC_E_NULL, SingleCustBallisticCalculation(&r, &s.ammo, &s.sight, &s.rifling, &s.zero, &s.air, &s.shot,
                                                            nullptr, true, 1.0, &s.option));
    EXPECT_EQ(CUSTBC_E_NULL, SingleCustBallisticCalculation(&r, &s.ammo, &s.sight, &s.rifling, &s.zero, &s.air, &s.shot,
                                                            &s.wind, true, 1.0, nullptr));
}

TEST(BallisticCalculatorRefusal, LogNamesTheRefusedInput)
{
    Shot s = g1_load();
    s.air.Humidity = 3;
    testing::internal::CaptureStderr();
    Ballistic_Calculation_LogSet(true);
    s.run();
    Ballistic_Calculation_LogSet(false);
    s.run();
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, log.find("Humidity = 3"));
    EXPECT_EQ(log.find("Humidity"), log.rfind("Humidity"));
}

// The two builds, as a caller that resolves the entries at run time sees them.
struct Library {
    void *handle;
    explicit Library(const char *path) : handle(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {}
    ~Library()
    {
        if (handle) dlclose(handle);
    }
};

TEST(BallisticCalculatorBuilds, EntriesUnderTheirVersionNode)
{
    Library full(FBC_FULL_LIBRARY), basic(FBC_BASIC_LIBRARY);
    ASSERT_NE(nullptr, full.handle) << dlerror();
    ASSERT_NE(nullptr, basic.handle) << dlerror();
    for (const char *name : {"SingleCustBallisticCalculation", "GetThisLibVerion", "Ballistic_Calculation_LogSet"}) {
        SCOPED_TRACE(name);
        EXPECT_NE(nullptr, dlvsym(full.handle, name, "VESKNURAX"));
        EXPECT_NE(nullptr, dlvsym(basic.handle, name, "VESKNURAX"));
    }
    EXPECT_NE(nullptr, dlvsym(full.handle, "VeskSingleCustBallisticCalculation", "VESKNURAX"));
    dlerror();
    EXPECT_EQ(nullptr, dlsym(basic.handle, "VeskSingleCustBallisticCalculation"));
    EXPECT_NE(nullptr, dlerror());
    // Nothing of the solver leaks out of either build.
    EXPECT_EQ(nullptr, dlsym(full.handle, "fbc_fly"));
    EXPECT_EQ(nullptr, dlsym(basic.handle, "_Z7fbc_flyPK8fbc_shotP10fbc_impact"));
}

TEST(BallisticCalculatorBuilds, BothBuildsSolveAlike)
{
    Library full(FBC_FULL_LIBRARY), basic(FBC_BASIC_LIBRARY);
    ASSERT_NE(nullptr, basic.handle) << dlerror();
    typedef int (*single_fn)(CustBallisticCalculationResult *, const CustAmmunition *, const CustSight *,
                             const CustRifling *, const CustZeroing *, const CustAtmosphere *,
                             const CustShotParameters *, const CustWind *, bool, double,
                             const CustBallisticCalculationOption *);
    typedef const char *(*version_fn)(void);
    single_fn single = (single_fn)dlsym(basic.handle, "SingleCustBallisticCalculation");
    version_fn version = (version_fn)dlsym(basic.handle, "GetThisLibVerion");
    auto extended = (VeskSingleCustBallisticCalculation_fn)dlsym(full.handle, "VeskSingleCustBallisticCalculation");
    ASSERT_NE(nullptr, single);
    ASSERT_NE(nullptr, version);
    ASSERT_NE(nullptr, extended);
    EXPECT_LT(strlen(version()), 32u);
    EXPECT_LT(strlen(GetThisLibVerion()), 32u);
    EXPECT_STRNE(version(), GetThisLibVerion());

    Shot a = g7_load(), b = g7_load();
    a.option = b.option = {true, true, 52.0, 135.0};
    a.wind = b.wind = {5.0, -60};
    ASSERT_EQ(CUSTBC_OK, single(&a.result, &a.ammo, &a.sight, &a.rifling, &a.zero, &a.air, &a.shot, &a.wind, true, 1.0,
                                &a.option));
    ASSERT_EQ(CUSTBC_OK, extended(&b.result, &b.ammo, &b.sight, &b.rifling, &b.zero, &b.air, &b.shot, &b.wind, true,
                                  1.0, &b.option, 0));
    EXPECT_DOUBLE_EQ(a.result.DropAdjustment, b.result.DropAdjustment);
    EXPECT_DOUBLE_EQ(a.result.WindageAdjustment, b.result.WindageAdjustment);
    EXPECT_DOUBLE_EQ(a.result.Time, b.result.Time);
}

} // namespace
