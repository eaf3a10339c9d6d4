// The calculation cycle and its result frames, with our calculator library
// behind the binding and the senders and the profiles lock played here.
#include <gtest/gtest.h>
#include <math.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "ballistic_fbc.h"
#include "ballistic_thread.h"
#include "qel_dev_status.h"

static int g_lock_depth;
static int g_lock_taken;
struct Sent {
    int to_media;
    uint8_t type;
    std::vector<uint8_t> frame;
};
static std::vector<Sent> g_sent;

void vesk_profiles_lock(void)
{
    EXPECT_EQ(0, g_lock_depth);
    g_lock_depth++;
    g_lock_taken++;
}
void vesk_profiles_unlock(void) { g_lock_depth--; }
int vesk_debug_enabled(void) { return 0; }
int vesk_dynamic_bc_get(void) { return 0; }
int Msgtext_App_To_Ui(uint8_t type, uint32_t length, const uint8_t *frame)
{
    g_sent.push_back({0, type, std::vector<uint8_t>(frame, frame + length)});
    return 1;
}
int Msgtext_App_To_Media(uint8_t type, uint32_t length, const uint8_t *frame)
{
    g_sent.push_back({1, type, std::vector<uint8_t>(frame, frame + length)});
    return 1;
}

namespace {

Info_ballistics profile()
{
    Info_ballistics b = {};
    b.ballistics_sw = 1;
    b.target.range = 3000;
    b.target.shootingAngle = 2.5;
    b.wind = {0, 0};
    b.atmosphere = {0, 760, 15, 0};
    b.gun.bullet = {31.2, 7.82, 175, 0.243, G7, 792.48, {0, 760, 15, 0}, 0, MOA, 0, 0, 0, 0};
    b.gun.scope = {100, 109, 38.1, MOA, 0.25, 0.25};
    b.gun.riflingRange = 10;
    b.gun.direction = RIGHT;
    b.corioliseffect = {0, 215.5, 0};
    return b;
}

Info_ballistics profile_with_wind(double speed)
{
    Info_ballistics b = profile();
    b.wind = {90, speed};
    return b;
}

float f32_at(const std::vector<uint8_t> &f, size_t off)
{
    float v;
    memcpy(&v, &f[off], 4);
    return v;
}

// The frame as a peer checks it: layout, checksum and trailer.
void expect_result_frame(const std::vector<uint8_t> &f, float moaV, float moaH, float distance, float pitch,
                         float azimuth)
{
    ASSERT_EQ(29u, f.size());
    const uint8_t head[] = {0xAA, 0x1A, 0x1B, 0x0A, 0x00, 0x80};
    EXPECT_EQ(0, memcmp(head, f.data(), sizeof(head)));
    unsigned sum = 0;
    for (int i = 0; i < 26; i++) sum += f[i];
    EXPECT_EQ((uint8_t)sum, f[26]);
    EXPECT_EQ(0xEB, f[27]);
    EXPECT_EQ(0xAA, f[28]);
    EXPECT_FLOAT_EQ(moaV, f32_at(f, 6));
    EXPECT_FLOAT_EQ(moaH, f32_at(f, 10));
    EXPECT_FLOAT_EQ(distance, f32_at(f, 14));
    EXPECT_FLOAT_EQ(pitch, f32_at(f, 18));
    EXPECT_FLOAT_EQ(azimuth, f32_at(f, 22));
}

class BallisticThread : public testing::Test {
protected:
    void SetUp() override
    {
        g_sent.clear();
        g_lock_taken = 0;
        memset(&qel_ballistics, 0, sizeof(qel_ballistics));
        for (Info_ballistics &b : qel_ballistics.ballistics) b = profile();
        qel_dev_status.ballistics_refresh = 0;
        qel_dev_status.s8CompassAutoAngleSwitch = 0;
        vesk_lrf_ballistics_from_lrf = 0;
        FBC_params_init();
    }
    // The hold the library gives for a profile and live inputs.
    void library_hold(Info_ballistics b, int range, double angle, double azimuth, double *drop, double *windage)
    {
        ASSERT_EQ(0, Qel_ballistics_FBC_Calculator(b, range, -1, angle, azimuth, drop, windage));
    }
};

TEST_F(BallisticThread, RangefinderDistanceGivesTheLibrarysHold)
{
    qel_ballistics.u8CurrentBallistics = 2;
    qel_ballistics.ballistics[2].wind = {270, 4}; // from the left: drifts right
    qel_dev_status.distance_now = 4567;
    qel_dev_status.ballistics_refresh = 1;
    vesk_lrf_ballistics_from_lrf = 1;
    EXPECT_EQ(1, vesk_ballistics_cycle(3.25f, 77.0f));
    EXPECT_EQ(0, qel_dev_status.ballistics_refresh);
    EXPECT_EQ(0, vesk_lrf_ballistics_from_lrf);
    double drop, windage;
    library_hold(qel_ballistics.ballistics[2], 4567, 3.25f, -1, &drop, &windage);
    EXPECT_LT(drop, -5.0) << "the impact lies low";
    EXPECT_LT(windage, -0.5) << "the drift to the right is held left";
    ASSERT_EQ(2u, g_sent.size());
    EXPECT_EQ(0, g_sent[0].to_media);
    EXPECT_EQ(MSGQ_COMMAND_APP_TO_UI, g_sent[0].type);
    EXPECT_EQ(1, g_sent[1].to_media);
    EXPECT_EQ(MSGQ_COMMAND_APP_TO_MEDIA, g_sent[1].type);
    expect_result_frame(g_sent[0].frame, (float)drop, (float)-windage, 456.7f, 3.25f, 215.5f);
    EXPECT_EQ(g_sent[0].frame, g_sent[1].frame);
    EXPECT_FLOAT_EQ(456.7f, qel_dev_status.f_distance_4ballistics);
    EXPECT_EQ(drop, g_ballistics_result.moaV);
    EXPECT_EQ(-windage, g_ballistics_result.moaH);
    EXPECT_EQ(0, g_ballistics_result.mradV);
    EXPECT_EQ(0, g_lock_depth);
}

TEST_F(BallisticThread, CompassAzimuthOnlyWithCoriolisAndAutoAngle)
{
    struct Row {
        char coriolis;
        char auto_angle;
        float azimuth;
    };
    const Row rows[] = {{1, 1, 77.0f}, {1, 0, 215.5f}, {0, 1, 215.5f}};
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << int(r.coriolis) << int(r.auto_angle));
        g_sent.clear();
        qel_ballistics.ballistics[0].corioliseffect.CoriolisEffectSwitch = r.coriolis;
        qel_dev_status.s8CompassAutoAngleSwitch = r.auto_angle;
        qel_dev_status.distance_now = 8000;
        qel_dev_status.ballistics_refresh = 1;
        vesk_lrf_ballistics_from_lrf = 1;
        ASSERT_EQ(1, vesk_ballistics_cycle(-1.5f, 77.0f));
        ASSERT_EQ(2u, g_sent.size());
        EXPECT_FLOAT_EQ(r.azimuth, f32_at(g_sent[0].frame, 22));
        EXPECT_FLOAT_EQ(800.0f, f32_at(g_sent[0].frame, 14));
        EXPECT_FLOAT_EQ(-1.5f, f32_at(g_sent[0].frame, 18));
    }
}

TEST_F(BallisticThread, ProfileEditUsesTheProfilesOwnValues)
{
    qel_dev_status.ballistics_refresh = 1;
    EXPECT_EQ(1, vesk_ballistics_cycle(9.0f, 10.0f));
    double drop, windage;
    library_hold(profile(), -1, 100, -1, &drop, &windage);
    ASSERT_EQ(2u, g_sent.size());
    expect_result_frame(g_sent[0].frame, (float)drop, (float)-windage, 300.0f, 2.5f, 215.5f);
    // Nothing to do until the next refresh.
    g_sent.clear();
    EXPECT_EQ(0, vesk_ballistics_cycle(9.0f, 10.0f));
    EXPECT_TRUE(g_sent.empty());
}

TEST_F(BallisticThread, SwitchOfProfileZeroRules)
{
    qel_ballistics.ballistics[0].ballistics_sw = 0;
    qel_ballistics.u8CurrentBallistics = 2;
    qel_dev_status.ballistics_refresh = 1;
    vesk_lrf_ballistics_from_lrf = 1;
    EXPECT_EQ(0, vesk_ballistics_cycle(0, 0));
    EXPECT_EQ(0, qel_dev_status.ballistics_refresh);
    EXPECT_EQ(0, vesk_lrf_ballistics_from_lrf);
    EXPECT_TRUE(g_sent.empty());
    // A calculation whose switch reads off when it ends sends nothing.
    Qel_ballistics_CalcResult_FBC(profile(), 5000, -1, 100, -1);
    EXPECT_TRUE(g_sent.empty());
    EXPECT_NE(0, g_ballistics_result.moaV);
}

// A zero offset is a hold in the library's own signs, taken off the
// solution: one that equals the solution leaves the mark on the reticle
// centre, half of it leaves half the hold on the same side, in either unit.
TEST_F(BallisticThread, AZeroOffsetTakesOffTheHoldOnItsOwnSide)
{
    Info_ballistics b = profile();
    b.wind = {270, 4}; // from the left
    double drop, windage;
    library_hold(b, -1, 100, -1, &drop, &windage);
    ASSERT_LT(drop, -1.0) << "low at 300 m";
    ASSERT_LT(windage, -0.2) << "held left";
    const struct {
        const char *name;
        ScopeUnit unit;
        double part; // of the solution set as offset
    } rows[] = {{"all, in MOA", MOA, 1.0},
                {"half, in MOA", MOA, 0.5},
                {"all, in mrad", MRAD, 1.0},
                {"half, in mrad", MRAD, 0.5}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        g_sent.clear();
        Info_bullet &u = b.gun.bullet;
        u.zeroOffsetUnit = r.unit;
        u.zeroOffsetVerticalMOA = r.part * drop;
        u.zeroOffsetHorizontalMOA = r.part * windage;
        u.zeroOffsetVerticalMRAD = r.part * drop / 3.44;
        u.zeroOffsetHorizontalMRAD = r.part * windage / 3.44;
        Qel_ballistics_CalcResult_FBC(b, -1, -1, 100, -1);
        ASSERT_EQ(2u, g_sent.size());
        EXPECT_NEAR((1 - r.part) * drop, f32_at(g_sent[0].frame, 6), 1e-4);
        EXPECT_NEAR(-(1 - r.part) * windage, f32_at(g_sent[0].frame, 10), 1e-4);
    }
}

TEST_F(BallisticThread, ZeroOffsetRemovedAndFailuresSilent)
{
    Info_ballistics b = profile();
    double drop, windage;
    library_hold(b, -1, 100, -1, &drop, &windage);
    b.gun.bullet.zeroOffsetVerticalMOA = 1.0;
    b.gun.bullet.zeroOffsetVerticalMRAD = 0.29;
    b.gun.bullet.zeroOffsetHorizontalMOA = 0.5;
    b.gun.bullet.zeroOffsetHorizontalMRAD = 0.145;
    Qel_ballistics_CalcResult_FBC(b, -1, -1, 100, -1);
    ASSERT_EQ(2u, g_sent.size());
    EXPECT_FLOAT_EQ((float)(drop - 1.0), f32_at(g_sent[0].frame, 6));
    EXPECT_FLOAT_EQ((float)-(windage - 0.5), f32_at(g_sent[0].frame, 10));
    // A profile the library refuses: no frame, the last result stays.
    Result_ballistics before;
    Qel_ballistics_getResult_FBC(&before);
    g_sent.clear();
    b.gun.bullet.dragFunction = GC;
    Qel_ballistics_CalcResult_FBC(b, -1, -1, 100, -1);
    EXPECT_TRUE(g_sent.empty());
    Result_ballistics after;
    Qel_ballistics_getResult_FBC(&after);
    EXPECT_EQ(0, memcmp(&before, &after, sizeof(after)));
    EXPECT_EQ(0, Qel_ballistics_getResult_FBC(nullptr));
}

TEST_F(BallisticThread, PhoneResultUsesTheWorkingProfile)
{
    Info_ballistics working = profile();
    working.target.range = 6543;
    working.target.shootingAngle = -7;
    working.corioliseffect.angle = 33;
    Qel_ballistics_paramsSave_FBC(&working);
    Result_ballistics r = {1.5, 2.5, 0.4, 0.7, 0, 0, 0, 0};
    set_ballistics_result_from_mobile_app(&r);
    ASSERT_EQ(2u, g_sent.size());
    expect_result_frame(g_sent[0].frame, 1.5f, 2.5f, 654.3f, -7.0f, 33.0f);
    g_sent.clear();
    qel_ballistics.ballistics[0].ballistics_sw = 0;
    set_ballistics_result_from_mobile_app(&r);
    EXPECT_TRUE(g_sent.empty());
}

TEST_F(BallisticThread, CurrentProfileCopy)
{
    Info_ballistics out;
    qel_ballistics.u8CurrentBallistics = 5;
    qel_ballistics.ballistics[5].target.range = 777;
    EXPECT_EQ(1, Qel_ballistics_getParams_FBC(&out));
    EXPECT_EQ(777, out.target.range);
    qel_ballistics.u8CurrentBallistics = 6;
    EXPECT_EQ(0, Qel_ballistics_getParams_FBC(&out));
    EXPECT_EQ(0, Qel_ballistics_getParams_FBC(nullptr));
    EXPECT_EQ(0, g_lock_depth);
}

} // namespace

TEST_F(BallisticThread, TheHoldOverUsesTheProfilesWindWhateverTheWindMeterSays)
{
    // The meter's reading has no unit and no direction: the solution takes
    // the profile's own wind, the switch on or off, a reading or none.
    for (Info_ballistics &b : qel_ballistics.ballistics) b.wind = {90, 2}; // from the right, 2 m/s in the profile
    double drop, windage;
    ASSERT_EQ(0, Qel_ballistics_FBC_Calculator(profile_with_wind(2), 6000, -1, 0.0, -1, &drop, &windage));
    ASSERT_GT(fabs(windage), 0.1) << "the profile's wind moves the bullet";
    struct Row {
        char wind_switch;
        int meter;
        int from_lrf;
    };
    const Row rows[] = {{0, 9, 1}, {1, 9, 1}, {1, 0, 1}, {1, 45, 1}, {1, -3, 1}, {1, 9, 0}};
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << "switch " << int(r.wind_switch) << ", meter " << r.meter << ", range "
                                        << (r.from_lrf ? "measured" : "of the profile"));
        g_sent.clear();
        qel_dev_status.s8WindBalSwitch = r.wind_switch;
        qel_dev_status.wind_speed_now = r.meter;
        qel_dev_status.distance_now = 6000;
        qel_dev_status.ballistics_refresh = 1;
        vesk_lrf_ballistics_from_lrf = r.from_lrf;
        for (Info_ballistics &b : qel_ballistics.ballistics) {
            b.target.range = 6000; // the range and angle of the calculation above
            b.target.shootingAngle = 0;
        }
        ASSERT_EQ(1, vesk_ballistics_cycle(0.0f, 0.0f));
        ASSERT_EQ(2u, g_sent.size());
        EXPECT_FLOAT_EQ((float)-windage, f32_at(g_sent[0].frame, 10));
    }
}

// Who may raise a recalculation, and what the thread then solves for.
TEST_F(BallisticThread, RequestsRaiseTheRefreshAsTheirCauseAllows)
{
    const struct {
        const char *what;
        vesk_ballistics_cause cause;
        int switch_on;
        int refresh, from_lrf;
    } rows[] = {
        {"setting, switch off", VESK_BALLISTICS_RECALC, 0, 1, 0},
        {"setting, switch on", VESK_BALLISTICS_RECALC, 1, 1, 0},
        {"wind, switch off", VESK_BALLISTICS_RECALC_IF_ON, 0, 0, 0},
        {"wind, switch on", VESK_BALLISTICS_RECALC_IF_ON, 1, 1, 0},
        {"distance, switch off", VESK_BALLISTICS_NEW_DISTANCE, 0, 0, 0},
        {"distance, switch on", VESK_BALLISTICS_NEW_DISTANCE, 1, 1, 1},
    };
    for (const auto &r : rows) {
        qel_dev_status.ballistics_refresh = 0;
        vesk_lrf_ballistics_from_lrf = 0;
        qel_ballistics.ballistics[0].ballistics_sw = (char)r.switch_on;
        vesk_ballistics_request(r.cause);
        EXPECT_EQ(r.refresh, qel_dev_status.ballistics_refresh) << r.what;
        EXPECT_EQ(r.from_lrf, vesk_lrf_ballistics_from_lrf) << r.what;
        EXPECT_EQ(0, g_lock_depth) << r.what;
    }
}

// The thread's wait ends on a request, also one made while it was solving,
// long before its own limit; the bound here is generous, never a speed check.
TEST_F(BallisticThread, AWaitEndsOnARequest)
{
    const int never_ms = 600000;
    vesk_ballistics_wait_request(0); /* forget requests of earlier tests */
    for (int made_before : {0, 1}) {
        if (made_before) vesk_ballistics_request(VESK_BALLISTICS_RECALC);
        auto waited = std::async(std::launch::async, [&] { vesk_ballistics_wait_request(never_ms); });
        if (!made_before) vesk_ballistics_request(VESK_BALLISTICS_RECALC);
        EXPECT_EQ(std::future_status::ready, waited.wait_for(std::chrono::seconds(30)))
            << (made_before ? "request before the wait" : "request during the wait");
        if (waited.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
            vesk_ballistics_request(VESK_BALLISTICS_RECALC); /* let it end */
        }
        waited.get();
    }
}
