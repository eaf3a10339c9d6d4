// A muzzle velocity typed on the group information page's bullet page, as
// sightd solves it: the pages run headless and their requests, byte for
// byte as they left the GUI, go to sightd in the sandbox through a GUI
// stand-in. (No page on the scope opens the group information page yet
// other than the reticle menu, so sightui cannot be driven there by keys.)
#include <gtest/gtest.h>

#include <math.h>
#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "awtk_host.h"
#include "navigator.h"
#include "scope_e2e.h"
#include "scope_hold.h"
#include "sightui_test.h"
#include "ui_status.h"

namespace {

const sim_head result_frame = {0x1B, 0x0A, 0x00, 0x80};

/* The frames the group information and bullet pages send when the
 * shooter opens the bullet, types velocity and goes back twice, run in a
 * headless GUI of their own. */
std::vector<scope_frame> page_frames(double velocity_before, const char *typed)
{
    char path[] = "/tmp/vesk-velocity-XXXXXX";
    int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    close(fd);
    sightui_test::in_gui_child([&] {
        info[0].ballistics_sw = 1;
        info[0].gun.bullet.velocity = velocity_before;
        info[0].gun.bullet.ballisticsCoef = 0.5;
        IR_Cursor.u8CurrentGroup = 0;
        sightui_test::start_queues();
        ASSERT_EQ(navigator_to("reticle_menu"), RET_OK);
        ASSERT_EQ(navigator_to("ballistic_group_info"), RET_OK);
        awtk_test_pump();
        sightui_test::sent_frames();
        auto keys = [](const std::string &k) {
            for (char c : k) {
                awtk_test_key((uint32_t)(unsigned char)c);
                awtk_test_pump();
            }
        };
        keys(",");
        ASSERT_EQ(sightui_test::top_name(), "ballistic_bullet");
        keys("55,");
        /* Each digit from what the draft shows to the typed one. */
        char shown[5];
        snprintf(shown, sizeof shown, "%04d", (int)velocity_before);
        for (int i = 0; i < 4; i++) {
            int steps = ((typed[i] - shown[i]) % 10 + 10) % 10;
            keys(std::string((size_t)steps, '3') + (i < 3 ? "]" : ""));
        }
        keys(",..");
        ASSERT_EQ(sightui_test::top_name(), "reticle_menu");
        std::ofstream out(path);
        for (const sightui_test::bytes &f : sightui_test::sent_frames()) out << sightui_test::hex(f) << "\n";
    });
    std::vector<scope_frame> frames;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) frames.push_back(sightui_test::unhex(line.c_str()));
    unlink(path);
    return frames;
}

struct BulletVelocity : ::testing::Test {
    sim_harness run;
    int dynamic_bc = 1;
    wire_profile profile0 = scope_factory_profile(0);

    void SetUp() override
    {
        SCOPE_START(run, {"media", "gui"});
        ASSERT_TRUE(run.boot_sightd()) << run.why;
        /* The boot push says whether the coefficient follows the speed. */
        dynamic_bc = scope_boot_dynamic_bc(run);
        ASSERT_GE(dynamic_bc, 0) << "no single boot push";
    }

    SCOPE_STOP_AT_END(run)

    /* Waits for a result for 500.0 m whose drop is the library's for
     * profile p: results of earlier requests may still come first. */
    double drop_for(const wire_profile &p)
    {
        const double want = scope_library_hold(p, 5000, 0, dynamic_bc).drop;
        std::vector<scope_frame> got = run.wait_frames(
            "gui",
            [&](const scope_frame &f) {
                return result_frame(f) && f.size() == 29 && scope_float_at(f, 14) == 500.0f &&
                       fabs(scope_float_at(f, 6) - want) <= 1e-3 * fabs(want) + 1e-4;
            },
            1, SIM_REPLY_MS);
        EXPECT_FALSE(got.empty()) << "no result for 500 m with the drop " << want;
        return got.empty() ? NAN : scope_float_at(got.back(), 6);
    }
};

TEST_F(BulletVelocity, ASlowerBulletTypedOnThePagesDropsMoreAtTheSameRange)
{
    /* 500 m, ballistics on, as the quick menu and the settings menu send. */
    ASSERT_TRUE(run.send("gui", sim_frame(0x1B, 0x07, 0x00, 0x00, {0x88, 0x13, 0x5C, 0x15})));
    const uint8_t one[4] = {1, 0, 0, 0};
    ASSERT_TRUE(run.send("gui", scope_request4(0x1B, 0x00, 0x00, one)));
    ASSERT_TRUE(run.send("gui", scope_request4(0x1B, 0x00, 0x01, one)));
    profile0.target.range = 5000;
    const double before = drop_for(profile0);

    const double slower = profile0.gun.bullet.velocity - 200;
    char typed[8];
    snprintf(typed, sizeof typed, "%04d", (int)slower);
    std::vector<scope_frame> frames = page_frames(profile0.gun.bullet.velocity, typed);
    /* Each page's save-all and calculation as it closes, and between them
     * the velocity. */
    const scope_frame save = sim_frame(0x10, 0x03, 0x00, 0x00, {0});
    const scope_frame calc = scope_request4(0x1B, 0x00, 0x01, one);
    const std::vector<scope_frame> want = {save, calc, scope_request_float(0x1B, 0x01, 0x05, (float)slower), save, calc,
                                           save, calc};
    ASSERT_EQ(frames, want);
    for (const scope_frame &f : frames) ASSERT_TRUE(run.send("gui", f));
    profile0.gun.bullet.velocity = slower;
    const double after = drop_for(profile0);
    /* The impact lies below the line of sight: a negative height. */
    EXPECT_LT(after, before - 1.0) << "200 m/s slower drops more than a minute more at 500 m";

    /* The save-all leaves it in the profile database. */
    EXPECT_TRUE(run.wait(SIM_REPLY_MS * 2, [&] {
        sqlite3 *db = nullptr;
        std::string path = sim_path(run.sb, "/factory/ballistics_config.db");
        double v = 0;
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            sqlite3_stmt *st = nullptr;
            if (sqlite3_prepare_v2(db, "SELECT muzzie_velocity FROM ballistics ORDER BY id LIMIT 1;", -1, &st,
                                   nullptr) == SQLITE_OK &&
                sqlite3_step(st) == SQLITE_ROW)
                v = sqlite3_column_double(st, 0);
            sqlite3_finalize(st);
        }
        sqlite3_close(db);
        return v == slower;
    }));
}

} // namespace
