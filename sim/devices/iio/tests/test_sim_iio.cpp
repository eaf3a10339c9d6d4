// The sensors' readings for a known attitude, checked against the physics
// rather than against the program that reads them.
#include "sim_iio.h"

#include <gtest/gtest.h>
#include <math.h>

namespace {

TEST(SimIio, GravityAndFieldInTheBody)
{
    int16_t a[3];
    sim_iio_accel_raw(0, 0, a);
    EXPECT_EQ(a[0], 0);
    EXPECT_EQ(a[1], 0);
    EXPECT_EQ(a[2], -16384);
    sim_iio_accel_raw(30, 0, a);
    EXPECT_EQ(a[0], -8192);
    EXPECT_EQ(a[2], -14189);
    /* Whatever the attitude, 1 g and the field's strength stay. */
    for (double p : {-60.0, -5.0, 0.0, 12.5, 45.0})
        for (double r : {-170.0, -30.0, 0.0, 20.0, 90.0}) {
            sim_iio_accel_raw(p, r, a);
            EXPECT_NEAR(sqrt(a[0] * a[0] + a[1] * a[1] + (double)a[2] * a[2]), 16384, 2);
            int16_t m[3];
            sim_iio_magn_raw(123, p, r, m);
            EXPECT_NEAR(sqrt(m[0] * m[0] + m[1] * m[1] + (double)m[2] * m[2]), sqrt(1000.0 * 1000 + 400 * 400), 2);
        }
    int16_t m[3];
    sim_iio_magn_raw(0, 0, 0, m); /* north, level: along the chip's y */
    EXPECT_EQ(m[0], 0);
    EXPECT_EQ(m[1], 1000);
    EXPECT_EQ(m[2], 400);
    sim_iio_magn_raw(90, 0, 0, m); /* east: the field comes from the left */
    EXPECT_EQ(m[0], 1000);
    EXPECT_EQ(m[1], 0);
    /* The chip's own offset adds to every reading; the bore straight up
     * brings the horizontal field onto the chip's z. */
    const int16_t hard_iron[3] = {120, -80, 45};
    sim_iio_magn_raw(90, 0, 0, m, hard_iron);
    EXPECT_EQ(m[0], 1120);
    EXPECT_EQ(m[1], -80);
    EXPECT_EQ(m[2], 445);
    sim_iio_magn_raw(0, 90, 0, m, hard_iron);
    EXPECT_EQ(m[2], 1045);
    sim_iio_magn_raw(0, -90, 0, m, hard_iron);
    EXPECT_EQ(m[2], -955);
}

TEST(SimIio, AdcCounts)
{
    EXPECT_EQ(sim_adc_battery_counts(8.0), 13912);
    EXPECT_EQ(sim_adc_counts(1.5), 11999);
    EXPECT_EQ(sim_adc_counts(-1), 0);
    EXPECT_EQ(sim_adc_counts(10), 32766);
}

} // namespace
