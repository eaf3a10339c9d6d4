// The signs of the calculator's answer, judged from the physics of the
// shot: the drop is the height of the point of impact over the line of
// sight (negative when the bullet falls below it), the windage the hold to
// the right that answers the drift (negative when the wind from the left
// carries the bullet right). The device's screen is built on these signs:
// it draws the vertical value as it comes and the windage turned round.
#include <gtest/gtest.h>
#include <math.h>

#include <string>

#include "CustBallisticCalculator.h"

namespace {

const double kMoaPerRad = 10800.0 / M_PI;
const double kGravity = 9.80665;

/* A .308 168 gr load on G1 at 790 m/s, the sight 50 mm over the bore,
 * zeroed at 91 m in standard air. */
struct Rifle {
    CustAmmunition ammo = {168 * 0.0647989, 790.0, 7.82, 31.2, 0.462, G1};
    CustSight sight = {50.0, 0.25, 0.25, 60.0, 12.0};
    CustRifling rifling = {254.0, 1.0};
    CustAtmosphere air = {0.0, 101.325, 15.0, 0.5};
    CustZeroing zero = {91.0, &ammo, &air};
    CustBallisticCalculationOption option = {false, false, 0.0, 0.0};
};

/* How far (rad) a bullet in vacuum strikes below the line of sight: the
 * least any real one falls, drag only slowing it. */
double vacuum_low(const Rifle &r, double d, double slope_deg)
{
    const double v = r.ammo.MuzzleVelocity, h = r.sight.SightHeight / 1000, z = r.zero.Distance;
    const double bore = (h + kGravity * z * z / (2 * v * v)) / z;
    return (h + kGravity * cos(slope_deg * M_PI / 180) * d * d / (2 * v * v) - d * bore) / d;
}

struct Case {
    double range;
    double slope;
    double wind_from; /* degrees: -90 from the left, 90 from the right */
    int entry;        /* 0 the plain entry, 1 and 2 the extended one with the dynamic switch off and on */
};

std::string case_name(const testing::TestParamInfo<Case> &i)
{
    const Case &c = i.param;
    char name[96];
    snprintf(name, sizeof name, "%dm_%s_WindFrom%s_%s", (int)c.range, c.slope == 0 ? "Level" : "Uphill",
             c.wind_from < 0 ? "Left" : "Right",
             c.entry == 0   ? "Plain"
             : c.entry == 1 ? "Extended"
                            : "Dynamic");
    return name;
}

/* ctest lists a parameter by its printout: the case's name, not its bytes. */
void PrintTo(const Case &c, std::ostream *os) { *os << case_name(testing::TestParamInfo<Case>(c, 0)); }

struct Signs : testing::TestWithParam<Case> {};

TEST_P(Signs, TheAnswerPointsWherePhysicsPutsTheBullet)
{
    const Case &c = GetParam();
    Rifle r;
    CustShotParameters shot = {c.range, c.slope, 300.0, 3000.0};
    CustWind wind = {5.0, c.wind_from};
    CustBallisticCalculationResult out = {};
    const int rc = c.entry == 0
                       ? SingleCustBallisticCalculation(&out, &r.ammo, &r.sight, &r.rifling, &r.zero, &r.air, &shot,
                                                        &wind, true, 1.0, &r.option)
                       : VeskSingleCustBallisticCalculation(&out, &r.ammo, &r.sight, &r.rifling, &r.zero, &r.air, &shot,
                                                            &wind, true, 1.0, &r.option, c.entry - 1);
    ASSERT_EQ(rc, CUSTBC_OK);

    /* Vertical: beyond the zero a bullet falls at least as far as in
     * vacuum, below the line of sight: a negative height. Just past the
     * zero, uphill, gravity across the line is weaker by cos(slope) and the
     * bullet is still over the line: a small positive height. */
    const double vacuum = vacuum_low(r, c.range, c.slope) * kMoaPerRad;
    if (c.range > 200) {
        EXPECT_LT(out.DropAdjustment, -vacuum) << "vacuum " << vacuum << " MOA low";
    } else if (c.slope == 0) {
        EXPECT_LT(out.DropAdjustment, 0.0);
        EXPECT_GT(out.DropAdjustment, -0.5);
    } else {
        EXPECT_GT(out.DropAdjustment, 0.0);
        EXPECT_LT(out.DropAdjustment, 0.5);
    }

    /* Horizontal: the bullet lags the air's speed by the time it loses to
     * drag (Didion's rule), so a wind from the left carries it right by
     * wind * (t - d / v0): the hold is to the left, negative. */
    const double lag = out.Time - c.range / r.ammo.MuzzleVelocity;
    ASSERT_GT(lag, 0.0);
    const double drift = -sin(c.wind_from * M_PI / 180) * 5.0 * lag; /* metres to the right */
    const double want = -atan2(drift, c.range) * kMoaPerRad;
    EXPECT_NEAR(out.WindageAdjustment, want, 0.1 * fabs(want));
    EXPECT_EQ(out.WindageAdjustment < 0, c.wind_from < 0) << out.WindageAdjustment;

    /* On the image sensor, x right and y down, the impact lies opposite to
     * both values. */
    EXPECT_EQ(out.AimX > 0, c.wind_from < 0);
    EXPECT_EQ(out.AimY > 0, out.DropAdjustment < 0);
}

std::vector<Case> all_cases()
{
    std::vector<Case> cases;
    for (double range : {100.0, 523.4, 1000.0})
        for (double slope : {0.0, 30.0})
            for (double from : {-90.0, 90.0})
                for (int entry : {0, 1, 2}) cases.push_back({range, slope, from, entry});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Shots, Signs, testing::ValuesIn(all_cases()), case_name);

/* Spin drift of a right-hand twist and the northern hemisphere's Coriolis
 * deflection both carry the bullet right: held left, negative. */
TEST(Signs, RightwardDriftsAreHeldLeft)
{
    const struct {
        const char *name;
        bool spin;
        bool coriolis;
        double latitude;
    } rows[] = {{"spin drift, right-hand twist", true, false, 0}, {"Coriolis, 60 N", false, true, 60}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        Rifle r;
        r.option = {row.spin, row.coriolis, row.latitude, 0.0};
        CustShotParameters shot = {1000.0, 0.0, 300.0, 3000.0};
        CustWind calm = {0.0, 0.0};
        CustBallisticCalculationResult out = {};
        ASSERT_EQ(SingleCustBallisticCalculation(&out, &r.ammo, &r.sight, &r.rifling, &r.zero, &r.air, &shot, &calm,
                                                 true, 1.0, &r.option),
                  CUSTBC_OK);
        EXPECT_LT(out.WindageAdjustment, -0.05);
    }
}

} // namespace
