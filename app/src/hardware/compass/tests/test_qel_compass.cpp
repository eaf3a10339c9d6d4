// The inclinometer and heading steps on fixed samples, the declination and
// calibration commands through notifier_compass, with the real settings
// store in a temporary unit folder.
#include <gtest/gtest.h>

#include <math.h>
#include <unistd.h>

#include <vector>

#include "bus_capture.h"
#include "iniparser_handler.h"
#include "persist_fixture.h"
#include "qel_compass.h"
#include "qel_dev_status.h"
#include "vesk_frame.h"
#include "vesk_persist.h"

namespace {

typedef std::vector<int> Bytes;

class Compass : public ::testing::Test {
public:
    PersistDir dir;
    vesk_persist_profiles profiles;
    BusCapture capture;

    void SetUp() override
    {
        dir.create();
        vesk_persist_paths paths = dir.paths();
        static const vesk_persist_hooks hooks = {nullptr, nullptr, nullptr};
        memset(&profiles, 0, sizeof profiles);
        ASSERT_EQ(vesk_persist_start(&paths, &hooks, &qel_dev_status, &profiles), 0);
        qel_dev_status.f_zero_pitch = qel_dev_status.f_zero_slant = qel_dev_status.f_zero_azimuth = 0;
        qel_dev_status.compassParam[0] = 0;
        for (int i = 1; i < 4; i++) qel_dev_status.compassParam[i] = 0;
        compass_calc_bind(capture.bus());
        compass_load_params();
        mag_cali_start = mag_cali_xy = mag_cali_z = mag_cali_clean = 0;
    }
    void TearDown() override
    {
        compass_calc_bind(nullptr);
        vesk_persist_stop(2000);
        dir.remove();
    }

    std::vector<Bytes> take() { return capture.take_payloads(); }

    /* Enough steps for every filter ring to hold only this sample. */
    void settle(const int16_t acc[3], const int16_t mag[3])
    {
        for (int i = 0; i < COMPASS_MAG_RING; i++) {
            get_accelerometer_calculate_angle(acc);
            QMC5883L_Get_Mag(mag);
        }
    }

    /* The last report of an item. */
    Bytes last(const std::vector<Bytes> &events, int item)
    {
        Bytes found;
        for (const Bytes &e : events)
            if (e.size() == 7 && e[0] == 6 && e[2] == item) found = e;
        return found;
    }

    void command(uint8_t sub, uint8_t item, std::vector<uint8_t> payload)
    {
        uint8_t frame[64];
        size_t n =
            vesk_frame_build(frame, sizeof frame, SUB_NOTIFIER_COMPASS, sub, item, 0, payload.data(), payload.size());
        notifier_compass(nullptr, nullptr, SUB_NOTIFIER_COMPASS, frame, (int)n);
    }
};

const double kDeg = 3.14159265358979 / 180;

/* The persistence worker writes the file after a checkpoint: wait for it. */
bool file_holds(const std::string &path, const std::string &text)
{
    for (int i = 0; i < 1000; i++) {
        if (read_text(path).find(text) != std::string::npos) return true;
        usleep(5000);
    }
    return false;
}

int16_t g(double x) { return (int16_t)lround(x * 16384); }

struct AttitudeCase {
    const char *name;
    int16_t acc[3];
    float zero_pitch, zero_slant;
    float pitch, roll; /* displayed, degrees */
    Bytes pitch_report, roll_report;
};

TEST_F(Compass, PitchAndRollAsReported)
{
    const AttitudeCase cases[] = {
        {"level, upright", {0, 0, -16384}, 0, 0, 0.0f, 0.0f, {6, 0, 1, 0, 0, 0, 0}, {6, 0, 2, 0, 0, 0, 0}},
        {"pitch -0.02 keeps its sign",
         {0, 0, -16384},
         -0.02f,
         0,
         -0.02f,
         0.0f,
         {6, 0, 1, 1, 0, 0, 0},
         {6, 0, 2, 0, 0, 0, 0}},
        {"roll -0.02 loses its sign",
         {0, 0, -16384},
         0,
         -0.02f,
         0.0f,
         -0.02f,
         {6, 0, 1, 0, 0, 0, 0},
         {6, 0, 2, 0, 0, 0, 0}},
        {"muzzle up 10",
         {g(-sin(10 * kDeg)), 0, g(-cos(10 * kDeg))},
         0,
         0,
         10.0f,
         0.0f,
         {6, 0, 1, 0, 10, 0, 0},
         {6, 0, 2, 0, 0, 0, 0}},
        {"muzzle down 12.3",
         {g(sin(12.3 * kDeg)), 0, g(-cos(12.3 * kDeg))},
         0,
         0,
         -12.3f,
         0.0f,
         {6, 0, 1, 1, 12, 0, 3},
         {6, 0, 2, 0, 0, 0, 0}},
        {"steep, 60 up",
         {g(-sin(60 * kDeg)), 0, g(-cos(60 * kDeg))},
         0,
         0,
         60.0f,
         0.0f,
         {6, 0, 1, 0, 60, 0, 0},
         {6, 0, 2, 0, 0, 0, 0}},
        {"canted 30 right",
         {0, g(0.5), g(-cos(30 * kDeg))},
         0,
         0,
         0.0f,
         30.0f,
         {6, 0, 1, 0, 0, 0, 0},
         {6, 0, 2, 0, 30, 0, 0}},
        {"canted 30 left",
         {0, g(-0.5), g(-cos(30 * kDeg))},
         0,
         0,
         0.0f,
         -30.0f,
         {6, 0, 1, 0, 0, 0, 0},
         {6, 0, 2, 1, 30, 0, 0}},
        {"upside down, 150",
         {0, g(0.5), g(cos(30 * kDeg))},
         0,
         0,
         0.0f,
         150.0f,
         {6, 0, 1, 0, 0, 0, 0},
         {6, 0, 2, 0, 150, 0, 0}},
        {"on its side", {0, 16384, 0}, 0, 0, 0.0f, 90.0f, {6, 0, 1, 0, 0, 0, 0}, {6, 0, 2, 0, 90, 0, 0}},
        {"user zero past 180 wraps",
         {0, g(0.5), g(cos(30 * kDeg))},
         0,
         40.0f,
         0.0f,
         -170.0f,
         {6, 0, 1, 0, 0, 0, 0},
         {6, 0, 2, 1, 170, 0, 0}},
    };
    const int16_t mag[3] = {0, 300, 0};
    for (const AttitudeCase &c : cases) {
        SCOPED_TRACE(c.name);
        qel_dev_status.f_zero_pitch = c.zero_pitch;
        qel_dev_status.f_zero_slant = c.zero_slant;
        settle(c.acc, mag);
        std::vector<Bytes> events = take();
        EXPECT_NEAR(AngelDispVal.Pitch_display, c.pitch, 0.02);
        EXPECT_NEAR(AngelDispVal.Roll_display, c.roll, 0.02);
        EXPECT_EQ(last(events, COMPASS_ITEM_PITCH), c.pitch_report);
        EXPECT_EQ(last(events, COMPASS_ITEM_ROLL), c.roll_report);
    }
}

struct HeadingCase {
    const char *name;
    int mx, my;        /* the field after the axis swap: raw y and -raw x */
    float declination; /* tenths of a degree */
    float zero;
    float heading;
};

TEST_F(Compass, HeadingOnALevelScope)
{
    const HeadingCase cases[] = {
        {"north", 1000, 0, 0, 0, 0.0f},
        {"east quadrant", 1000, -1000, 0, 0, 45.0f},
        {"Xh 0, Yh < 0", 0, -500, 0, 0, 90.0f},
        {"south-east", -1000, -1000, 0, 0, 135.0f},
        {"south", -1000, 0, 0, 0, 180.0f},
        {"south-west", -1000, 1000, 0, 0, 225.0f},
        {"Xh 0, Yh > 0", 0, 500, 0, 0, 270.0f},
        {"north-west", 1000, 1000, 0, 0, 315.0f},
        {"359.7 shows as 0.0", 1000, 0, 0, -0.3f, 0.0f},
        {"359.4 stays", 1000, 0, 0, -0.6f, 359.4f},
        {"declination -3.5 from north", 1000, 0, -35, 0, 356.5f},
        {"declination -3.5 from 90", 0, -500, -35, 0, 86.5f},
        {"declination and user zero add up", 0, -500, 25, 1.0f, 93.5f},
    };
    const int16_t level[3] = {0, 0, -16384};
    for (const HeadingCase &c : cases) {
        SCOPED_TRACE(c.name);
        qel_dev_status.compassParam[0] = c.declination;
        qel_dev_status.f_zero_azimuth = c.zero;
        const int16_t mag[3] = {(int16_t)-c.my, (int16_t)c.mx, 0};
        settle(level, mag);
        std::vector<Bytes> events = take();
        EXPECT_NEAR(AngelDispVal.Azimuth_display, c.heading, 0.05);
        const int v = (int)lround(c.heading * 10);
        EXPECT_EQ(last(events, COMPASS_ITEM_AZIMUTH), (Bytes{6, 0, 0, 0, (v / 10) & 0xFF, (v / 10) >> 8, v % 10}));
    }
}

TEST_F(Compass, DeclinationCommandIsStored)
{
    command(COMPASS_OFFESET_PARAM, 0, {1, 3, 0, 5}); /* sign 1, 3 degrees, 5 tenths */
    EXPECT_FLOAT_EQ(qel_dev_status.compassParam[0], -35.0f);
    command(COMPASS_OFFESET_PARAM, 0, {0, 0x2C, 0x01, 2}); /* +300.2 degrees: 16-bit degrees */
    EXPECT_FLOAT_EQ(qel_dev_status.compassParam[0], 3002.0f);
    command(COMPASS_OFFESET_PARAM, 0, {1, 3}); /* short: refused */
    EXPECT_FLOAT_EQ(qel_dev_status.compassParam[0], 3002.0f);
    command(COMPASS_OFFESET_PARAM, 1, {1, 3, 0, 5}); /* another item: not the declination */
    EXPECT_FLOAT_EQ(qel_dev_status.compassParam[0], 3002.0f);
    ASSERT_EQ(vesk_persist_checkpoint(), 0);
    EXPECT_TRUE(file_holds(dir.current_ini, "3002.00")) << read_text(dir.current_ini);
}

/* Turns the scope through a field of the given x, y (and z) extremes. */
void sweep(Compass *t, int lo, int hi, bool z)
{
    const int16_t level[3] = {0, 0, -16384};
    for (int v : {lo, hi, (lo + hi) / 2}) {
        const int16_t mag[3] = {(int16_t)(z ? 0 : -v), (int16_t)(z ? 0 : v), (int16_t)(z ? v : 0)};
        t->settle(level, mag);
    }
}

TEST_F(Compass, TwoStageCalibrationStoresTheOffsets)
{
    const int16_t level[3] = {0, 0, -16384};
    const int16_t mag[3] = {0, 0, 0};
    command(COMPASS_CORRECT, 0, {0});
    EXPECT_EQ(qel_dev_status.s8MagnCaliStart, 1);
    EXPECT_EQ(qel_dev_status.s8MagnCaliXY, 1);
    sweep(this, -200, 400, false); /* x and y from -200 to 400 */
    command(COMPASS_CORRECT, 0, {1});
    settle(level, mag);
    EXPECT_EQ(qel_dev_status.s8MagnCaliXY, 0);
    command(COMPASS_CORRECT, 0, {2});
    sweep(this, -50, 150, true);
    command(COMPASS_CORRECT, 0, {3});
    settle(level, mag);
    EXPECT_EQ(mag_cali_start, 0);
    EXPECT_EQ(qel_dev_status.s8MagnCaliZ, 0);
    EXPECT_EQ(AdjustParams[0], 100);
    EXPECT_EQ(AdjustParams[1], 100);
    EXPECT_EQ(AdjustParams[2], 50);
    EXPECT_FLOAT_EQ(qel_dev_status.compassParam[3], 50.0f);
    ASSERT_EQ(vesk_persist_checkpoint(), 0);
    for (const std::string &path : {dir.current_ini, dir.defaults_ini})
        EXPECT_TRUE(file_holds(path, "= 100.00")) << path << "\n" << read_text(path);

    /* Calibrated: the offsets come off the field, so (100, 100) reads as
     * no field at all and (1100, 100) as north. */
    const int16_t north[3] = {-100, 1100, 50};
    settle(level, north);
    EXPECT_NEAR(AngelDispVal.Azimuth_display, 0.0, 0.05);
}

TEST_F(Compass, ACancelledCalibrationKeepsTheOffsets)
{
    AdjustParams[0] = 7, AdjustParams[1] = -8, AdjustParams[2] = 9;
    command(COMPASS_CORRECT, 0, {0});
    sweep(this, -900, 900, false);
    command(COMPASS_CORRECT, 0, {4});
    sweep(this, 0, 0, false);
    EXPECT_EQ(mag_cali_start, 0);
    EXPECT_EQ(AdjustParams[0], 7);
    EXPECT_EQ(AdjustParams[1], -8);
    EXPECT_EQ(AdjustParams[2], 9);
}

TEST_F(Compass, ACalibrationStartsFromFreshExtremes)
{
    const int16_t level[3] = {0, 0, -16384};
    const int16_t none[3] = {0, 0, 0};
    for (int run = 0; run < 2; run++) {
        /* First a wide turn, then a narrow one about (100, 100, 50). */
        const int lo = run == 0 ? -1000 : 0, hi = run == 0 ? 1000 : 200;
        command(COMPASS_CORRECT, 0, {0});
        sweep(this, lo, hi, false);
        command(COMPASS_CORRECT, 0, {1});
        settle(level, none);
        command(COMPASS_CORRECT, 0, {2});
        sweep(this, lo / 2, hi / 2, true);
        command(COMPASS_CORRECT, 0, {3});
        settle(level, none);
    }
    EXPECT_EQ(AdjustParams[0], 100);
    EXPECT_EQ(AdjustParams[1], 100);
    EXPECT_EQ(AdjustParams[2], 50);
}

TEST(CompassFilters, RingsAndSamples)
{
    const int acc[5] = {1, 2, 3, 4, 100};
    EXPECT_EQ(AdFilter_Acce(acc), 3);
    const int acc_neg[5] = {-10, -10, -11, 50, -100};
    EXPECT_EQ(AdFilter_Acce(acc_neg), -10); /* (-81 - 50 + 100) / 3, toward zero */
    int16_t mag[20];
    for (int i = 0; i < 20; i++) mag[i] = (int16_t)(i - 10);
    mag[0] = -30000, mag[19] = 30000;
    /* sorted: -30000, -9 .. 8, 30000; middle 16 are -8 .. 7 */
    EXPECT_EQ(AdFilter2(mag), (-8 + 7) * 8 / 16);
    const unsigned char bytes[6] = {0x00, 0xC0, 0x34, 0x12, 0xFF, 0x7F};
    int16_t out[3];
    compass_decode_sample(bytes, out);
    EXPECT_EQ(out[0], -16384);
    EXPECT_EQ(out[1], 0x1234);
    EXPECT_EQ(out[2], 32767);
}

} // namespace
