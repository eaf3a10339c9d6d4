// sightd's power-state changes in the sandbox, seen from outside: a setting
// made just before the change is on disk afterwards, the run ends as a
// power-off, a reboot or an exit as asked, and the kept folder boots again.
#include "scope_e2e.h"

#include <unistd.h>

namespace {

const sim_head lifecycle_result = {0x00, 0x00, 0x2A, 0x80};
const sim_head media_shutdown = {0x00, 0x00, 0x0D, 0x00};

std::string brightness(const sim_harness &run)
{
    std::string value;
    scope_ini_get(sim_path(run.sb, SCOPE_CURRENT_INI), "qeldevstatus:s8screenbrightness", &value);
    return value;
}

/* Screen brightness (basic item 7) from the GUI, as a page changes it. */
bool set_brightness(sim_harness &run, int value)
{
    return run.send("gui", scope_request(0x00, 0x00, 0x07, (uint8_t)value));
}

/* How the sandbox ended, once sightd's end is seen. */
sim_outcome wait_end(sim_harness &run, int timeout_ms)
{
    sim_outcome out;
    run.wait(timeout_ms, [&] { return run.ended(run.sightd, &out); });
    return out;
}

/* A SIGTERM right after a setting from the GUI: the exit saves it first,
 * whatever the delay, and sightd ends with status 0 telling the GUI
 * nothing. */
TEST(Lifecycle, ASettingBeforeSigtermIsSavedForEveryDelay)
{
    const struct {
        int delay_ms;
        int value;
    } rows[] = {{0, 1}, {50, 2}, {100, 3}, {200, 4}, {300, 6}, {400, 7}, {500, 8}, {600, 9}};
    sim_harness run;
    SCOPE_START(run, {"media", "gui"});
    for (const auto &row : rows) {
        SCOPED_TRACE("delay " + std::to_string(row.delay_ms) + " ms");
        ASSERT_TRUE(run.boot_sightd()) << run.why;
        ASSERT_TRUE(set_brightness(run, row.value));
        usleep((useconds_t)row.delay_ms * 1000);
        sim_outcome out = run.stop_sightd();
        run.sightd = -1;
        EXPECT_EQ(out.end, SIM_EXITED) << sim_outcome_text(out);
        EXPECT_EQ(out.code, 0);
        EXPECT_EQ(brightness(run), std::to_string(row.value));
    }
    for (const sim_bytes &f : run.frames("gui", lifecycle_result)) EXPECT_NE(f[6], 8) << "an exit is never news";
}

/* Low battery from the GUI: the safety sequence saves, tells the media
 * process that power goes, and powers off; the kept folder then boots on
 * what was saved. */
TEST(Lifecycle, LowBatteryPowersOffSavedAndTheKeptFolderBootsAgain)
{
    std::string dir;
    {
        sim_harness run;
        sim_options keep;
        keep.keep = true;
        SCOPE_START(run, {"media", "gui"}, keep);
        dir = sim_dir(run.sb);
        ASSERT_TRUE(run.boot_sightd()) << run.why;
        ASSERT_TRUE(set_brightness(run, 3));
        ASSERT_TRUE(run.send("gui", scope_request(0x00, 0x00, 0x0D, 3)));
        sim_outcome out = wait_end(run, SIM_REPLY_MS);
        run.sightd = -1;
        EXPECT_EQ(out.end, SIM_POWER_OFF) << sim_outcome_text(out);
        EXPECT_EQ(brightness(run), "3");
        std::vector<sim_bytes> told = run.frames("media", media_shutdown);
        ASSERT_EQ(told.size(), 1u);
        EXPECT_EQ(told[0][6], 1) << "power goes off";
        EXPECT_TRUE(run.frames("gui", [](const sim_bytes &f) { return lifecycle_result(f) && f[6] == 3; }).empty());
    }
    sim_harness again;
    sim_options kept;
    kept.dir = dir;
    SCOPE_START(again, {"media", "gui"}, kept);
    ASSERT_TRUE(again.boot_sightd()) << again.why;
    EXPECT_EQ(brightness(again), "3");
    /* A sound boot: no recovery outcome. */
    for (const sim_bytes &f : again.frames("gui", lifecycle_result)) EXPECT_NE(f[7], 2);
    scope_stop_sightd(again);
}

}  // namespace
