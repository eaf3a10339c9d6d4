// The GUI's copy of the profile limits, against the clamp rules sightd
// applies and the field ranges it keeps.
#include <gtest/gtest.h>

#include <math.h>

#include "ballistic_limits.h"

TEST(BallisticLimits, TheClampWorksOnMagnitudesAsSightdDoes)
{
    struct Row {
        double v, lo, hi, want;
    } rows[] = {
        {-100, -90, 90, -90},   {95, -90, 90, 90},   {-5, 0, 30, 0},     {400, 0, 359.9, 359.9},
        {0.5, 225, 825.1, 225}, {-45, -90, 90, -45}, {10, -20, -10, 10}, /* both limits negative: unchanged */
        {5, 9, 3, 5},                                                    /* minimum above maximum: unchanged */
    };
    for (const Row &r : rows)
        EXPECT_DOUBLE_EQ(ui_params_limit(r.v, r.lo, r.hi), r.want) << r.v << " in " << r.lo << ".." << r.hi;
    EXPECT_TRUE(isnan(ui_params_limit(NAN, 0, 1)));
}

TEST(BallisticLimits, EachFieldKeepsSightdsRangeAndANonNumberTakesItsMinimum)
{
    struct Row {
        ui_limit_field f;
        double v, want;
    } rows[] = {
        {UI_LIMIT_TARGET_RANGE, 32000, 30000}, {UI_LIMIT_WIND_ANGLE, 360, 359.9},
        {UI_LIMIT_WIND_SPEED, 35, 30},         {UI_LIMIT_BAROMETER, 999.9, 825.1},
        {UI_LIMIT_TEMPERATURE, -99, -40},      {UI_LIMIT_BULLET_WEIGHT, 9999.99, 3086.47},
        {UI_LIMIT_BULLET_COEF, 0, 0.05},       {UI_LIMIT_ZERO_RANGE, 10, 11},
        {UI_LIMIT_SIGHT_HEIGHT, 999, 250},     {UI_LIMIT_ZERO_OFFSET_MOA, -343.7, -99.99},
        {UI_LIMIT_RIFLING, 30, 24.02},         {UI_LIMIT_BULLET_VELOCITY, INFINITY, 100},
    };
    for (const Row &r : rows) EXPECT_DOUBLE_EQ(ui_limit(r.f, r.v), r.want) << r.f << ": " << r.v;
}
