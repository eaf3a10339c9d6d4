// The solver's own step choice against plain half-metre steps of the same
// physics: zero solved, flight flown, over shots that cross the sound
// barrier, climb, dive, stall or run in wind, heat, cold and thin air.
#include <gtest/gtest.h>
#include <math.h>

#include "CustBallisticCalculator.h"
#include "fbc_solver.h"

namespace {

const double kMoaPerRad = 10800.0 / M_PI;
const double kFineStep = 0.5; // m

struct Case {
    const char *name;
    int table;
    double bc;       // lb/in2
    double velocity; // m/s at the muzzle
    double distance; // m along the line of sight
    double zero;     // m
    double angle;    // degrees above the horizontal
    double celsius, kpa, humidity;
    double wind_right, wind_forward; // m/s
    double wind_share;               // of the distance
    double latitude;                 // degrees; 99 for no Coriolis
};

/* ctest lists a parameter by its printout: the case's name, not its bytes. */
void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

const Case kCases[] = {
    {"G7_308_1000m_cold_wind", G7, 0.243, 792.5, 1000, 100, 5, 0, 98, 0.6, 2.0, -3.5, 1.0, 99},
    {"G1_223_100m", G1, 0.242, 990, 100, 91.44, 0, 15, 101.325, 0.5, 0, 0, 1.0, 99},
    {"G1_223_600m_hot_humid", G1, 0.242, 990, 600, 91.44, 0, 45, 100, 1.0, 4.5, 0, 1.0, 99},
    {"G1_300m_zero_800m", G1, 0.45, 850, 800, 300, 0, 15, 101.325, 0.0, -3, 0, 0.5, 99},
    {"G1_1500m_transonic", G1, 0.45, 850, 1500, 100, 0, 15, 101.325, 0.5, 3, 2, 1.0, 99},
    {"G7_1500m_uphill_thin_air", G7, 0.25, 800, 1500, 100, 30, -5, 70, 0.2, 3, 0, 0.7, 99},
    {"G7_1200m_downhill_45", G7, 0.3, 900, 1200, 100, -45, 15, 101.325, 0.5, -6, 0, 1.0, 99},
    {"G7_2000m_cold_subsonic_end", G7, 0.3, 850, 2000, 100, 0, -20, 101.325, 0.3, 3, 0, 1.0, 99},
    {"G7_800m_high_altitude", G7, 0.2, 850, 800, 100, 0, -10, 60, 0.1, 0, 5, 1.0, 99},
    {"G1_3000m_heavy", G1, 0.6, 950, 3000, 200, 0, 15, 101.325, 0.5, 3, 0, 1.0, 99},
    {"G1_fast_1500m_hot", G1, 0.5, 1500, 1500, 100, 0, 45, 90, 0.5, 3, 0, 1.0, 99},
    {"G1_subsonic_start_400m", G1, 0.1, 330, 400, 50, 0, 15, 101.325, 0.5, 3, 0, 1.0, 99},
    {"G1_slow_downhill_30", G1, 0.2, 600, 300, 100, -30, 35, 80, 0.5, 3, 0, 1.0, 99},
    {"G1_dive_85_speeding_up_to_the_sound_barrier", G1, 3.0, 300, 1500, 100, -85, 15, 101.325, 0.5, 3, 0, 1.0, 99},
    {"G1_steep_climb_80", G1, 0.3, 500, 1000, 100, 80, 15, 101.325, 0.5, 3, 0, 1.0, 99},
    {"GS_ball_200m", GS, 0.05, 100, 200, 25, 0, 15, 101.325, 0.5, 3, 0, 1.0, 99},
    {"G7_1000m_coriolis_north", G7, 0.243, 792.5, 1000, 100, 0, 15, 101.325, 0.5, 0, 0, 1.0, 60},
    {"G7_1000m_coriolis_south_headwind", G7, 0.243, 792.5, 1000, 100, 10, 15, 101.325, 0.5, 0, -8, 1.0, -45},
    {"G2_700m", G2, 0.3, 800, 700, 100, 0, 15, 101.325, 0.5, 3, 0, 1.0, 99},
    {"G8_1000m", G8, 0.35, 820, 1000, 100, 0, 15, 101.325, 0.5, 3, 0, 1.0, 99},
};

struct Solution {
    int rc;
    double bore_angle;
    fbc_impact hit;
};

// Zero and flight with the given steps (0: the solver's own).
Solution solve(const Case &c, double step)
{
    fbc_air air;
    fbc_air_make(c.celsius, c.kpa, c.humidity, &air);
    fbc_shot shot = {};
    fbc_load_make(fbc_drag_table_get(c.table), c.bc, c.velocity, false, &air, &shot.load);
    shot.air = air;
    shot.sight_height = 0.045;
    Solution s = {};
    double time;
    s.rc = step > 0 ? fbc_zero_fixed_step(&shot.load, &air, shot.sight_height, c.zero, step, &s.bore_angle, &time)
                    : fbc_zero(&shot.load, &air, shot.sight_height, c.zero, &s.bore_angle, &time);
    if (s.rc != 0) return s;
    shot.bore_angle = s.bore_angle;
    shot.shot_angle = c.angle * M_PI / 180;
    shot.distance = c.distance;
    shot.wind_right = c.wind_right;
    shot.wind_forward = c.wind_forward;
    shot.wind_end = c.wind_share * c.distance;
    if (c.latitude != 99) {
        const double earth = 7.292115e-5;
        double lat = c.latitude * M_PI / 180;
        shot.omega[0] = earth * cos(lat);
        shot.omega[1] = earth * sin(lat);
    }
    shot.fixed_step = step;
    s.rc = fbc_fly(&shot, &s.hit);
    return s;
}

class StepChoice : public testing::TestWithParam<Case> {};

TEST_P(StepChoice, HoldsWithinThreeHundredthsMoaOfHalfMetreSteps)
{
    const Case &c = GetParam();
    Solution fine = solve(c, kFineStep);
    Solution fast = solve(c, 0.0);
    ASSERT_EQ(0, fine.rc);
    ASSERT_EQ(0, fast.rc);
    EXPECT_NEAR(fine.bore_angle * kMoaPerRad, fast.bore_angle * kMoaPerRad, 0.03);
    EXPECT_NEAR(atan2(fine.hit.below, c.distance) * kMoaPerRad, atan2(fast.hit.below, c.distance) * kMoaPerRad, 0.03);
    EXPECT_NEAR(atan2(fine.hit.right, c.distance) * kMoaPerRad, atan2(fast.hit.right, c.distance) * kMoaPerRad, 0.03);
    EXPECT_NEAR(fine.hit.time, fast.hit.time, 5e-4);
    // Steps near the target are longer: the speed there moves no hold.
    EXPECT_NEAR(fine.hit.speed, fast.hit.speed, 0.5);
}

INSTANTIATE_TEST_SUITE_P(Shots, StepChoice, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case> &info) { return std::string(info.param.name); });

// A bullet that cannot reach the target stops short under either stepping,
// after bounded work, instead of landing somewhere.
TEST(StepChoiceStall, StopsShortAlike)
{
    const Case rows[] = {
        {"straight_up_past_its_peak", G1, 0.3, 300, 5000, 100, 90, 15, 101.325, 0.5, 0, 0, 1.0, 99},
        {"steep_climb_beyond_reach", G7, 0.2, 400, 9000, 100, 60, 15, 101.325, 0.5, 0, 0, 1.0, 99},
    };
    for (const Case &c : rows) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(-1, solve(c, kFineStep).rc);
        EXPECT_EQ(-1, solve(c, 0.0).rc);
    }
}

} // namespace
