// The hold-over for a measured range, as the GUI and the media process get
// it: the 29-byte result frame, checked against the ballistic library
// called here with the profile mapped as the binding maps it.
#include "scope_e2e.h"

#include <math.h>

#include "scope_hold.h"

namespace {

const sim_head result_frame = {0x1B, 0x0A, 0x00, 0x80};
const sim_head distance_report = {0x04, 0x02, 0xFF, 0x80};

struct Ballistics : ::testing::Test {
    sim_harness run;
    int dynamic_bc = 1;
    wire_profile profile0 = scope_factory_profile(0);

    void SetUp() override
    {
        SCOPE_START(run, {"media", "gui"});
        ASSERT_NE(run.lrf(), nullptr) << run.why;
        ASSERT_TRUE(run.boot_sightd()) << run.why;
        /* The boot push says whether the coefficient follows the speed. */
        dynamic_bc = scope_boot_dynamic_bc(run);
        ASSERT_GE(dynamic_bc, 0) << "no single boot push";
    }

    SCOPE_STOP_AT_END(run)

    std::vector<scope_frame> results(const char *role) const { return run.frames(role, result_frame); }

    /* A single measurement of the module's range; waits for its report. */
    void range(const char *distance)
    {
        ASSERT_TRUE(run.lrf_command((std::string("range ") + distance).c_str()));
        size_t before = run.frames("gui", distance_report).size();
        ASSERT_TRUE(run.send("gui", scope_request(0x04, 0x00, 0xFF, 0x01)));
        ASSERT_EQ(run.wait_frames("gui", distance_report, before + 1, SIM_REPLY_MS).size(), before + 1);
    }

    /* Waits for a result frame with this distance at a peer. */
    scope_frame result_at(const char *role, float distance)
    {
        auto got = run.wait_frames(
            role,
            [&](const scope_frame &f) {
                return result_frame(f) && f.size() == 29 && scope_float_at(f, 14) == distance;
            },
            1, SIM_REPLY_MS);
        return got.empty() ? scope_frame() : got[0];
    }

    void expect_hold(const scope_frame &f, int range_dm)
    {
        ASSERT_EQ(f.size(), 29u);
        EXPECT_TRUE(sim_frame_sound(f)) << sim_hex(f);
        EXPECT_EQ(scope_frame(f.begin(), f.begin() + 6), (scope_frame{0xAA, 0x1A, 0x1B, 0x0A, 0x00, 0x80}));
        const float pitch = scope_float_at(f, 18);
        /* No compass is sampled: level. The azimuth is the profile's. */
        EXPECT_EQ(pitch, 0.0f);
        EXPECT_EQ(scope_float_at(f, 22), 0.0f);
        scope_hold h = scope_library_hold(profile0, range_dm, pitch, dynamic_bc);
        /* No zero offset is set; the windage is sent with its sign turned. */
        EXPECT_NEAR(scope_float_at(f, 6), h.drop, 1e-4);
        EXPECT_NEAR(scope_float_at(f, 10), -h.windage, 1e-4);
        EXPECT_GT(fabs(h.windage), 0.1) << "the factory wind should push the bullet";
    }
};

TEST_F(Ballistics, ARangeWithBallisticsOnGivesTheLibrarysHoldToTheGuiAndTheMedia)
{
    /* A crosswind from the right for every profile, so that the hold has
     * a horizontal part. */
    ASSERT_TRUE(run.send("gui", scope_request_float(0x1B, 0x06, 0x01, 3.0f)));
    ASSERT_TRUE(run.send("gui", scope_request_float(0x1B, 0x06, 0x00, 90.0f)));
    profile0.wind.speed = 3.0;
    profile0.wind.angle = 90.0;

    /* Ballistics on (profile 0's switch): a first solution for the
     * profile's own distance. */
    const uint8_t on[4] = {1, 0, 0, 0};
    ASSERT_TRUE(run.send("gui", scope_request4(0x1B, 0x00, 0x00, on)));
    scope_frame from_profile = result_at("gui", (float)(profile0.target.range / 10.0));
    ASSERT_FALSE(from_profile.empty()) << "no solution after switching ballistics on";
    expect_hold(from_profile, profile0.target.range);

    range("456.7");
    scope_frame gui = result_at("gui", 456.7f);
    ASSERT_FALSE(gui.empty()) << "no solution for the measured range";
    expect_hold(gui, 4567);
    scope_frame media = result_at("media", 456.7f);
    EXPECT_EQ(media, gui) << "the media process draws another solution";
    /* Each result went to both, one frame each. */
    EXPECT_EQ(results("gui"), results("media"));
}

TEST_F(Ballistics, WithBallisticsOffARangeGivesNoSolution)
{
    range("456.7");
    range("512.3");
    /* The calculation thread looks every 100 ms; give it ample time. */
    std::this_thread::sleep_for(std::chrono::milliseconds(1000 * SIM_SLOW));
    EXPECT_TRUE(results("gui").empty()) << sim_hex(results("gui").front());
    EXPECT_TRUE(results("media").empty());
}

} // namespace
