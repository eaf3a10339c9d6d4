// sightd's power-state changes in the sandbox, seen from outside: a setting
// made just before the change is on disk afterwards, the run ends as a
// power-off, a reboot or an exit as asked, and the kept folder boots again.
#include "home_road.h"
#include "scope_e2e.h"
#include "sim_iio.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace {

const sim_head lifecycle_result = {0x00, 0x00, 0x2A, 0x80};
const sim_head media_shutdown = {0x00, 0x00, 0x0D, 0x00};
/* A lifecycle result other than the boot state (reason 9). */
bool not_boot(const sim_bytes &f) { return lifecycle_result(f) && f[6] != 9; }

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

/* A power-state change asked for from the GUI saves first, tells the
 * media process what comes, reports nothing and ends the run as asked;
 * the kept folder then boots on what was saved. */
TEST(Lifecycle, AGuiRequestSavesEndsTheRunAsAskedAndTheKeptFolderBootsAgain)
{
    const struct {
        const char *name;
        uint8_t item, value; /* the basic-function request */
        int brightness;
        sim_end end;
        uint8_t media_mode;
    } rows[] = {
        {"low battery (safety sequence)", 0x0D, 3, 3, SIM_POWER_OFF, 1},
        {"reboot", 0x20, 1, 6, SIM_REBOOT, 2},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        std::string dir;
        {
            sim_harness run;
            sim_options keep;
            keep.keep = true;
            SCOPE_START(run, {"media", "gui"}, keep);
            dir = sim_dir(run.sb);
            ASSERT_TRUE(run.boot_sightd()) << run.why;
            ASSERT_TRUE(set_brightness(run, row.brightness));
            ASSERT_TRUE(run.send("gui", scope_request(0x00, 0x00, row.item, row.value)));
            sim_outcome out = wait_end(run, SIM_REPLY_MS);
            run.sightd = -1;
            EXPECT_EQ(out.end, row.end) << sim_outcome_text(out);
            EXPECT_EQ(brightness(run), std::to_string(row.brightness));
            std::vector<sim_bytes> told = run.frames("media", media_shutdown);
            ASSERT_EQ(told.size(), 1u);
            EXPECT_EQ(told[0][6], row.media_mode);
            EXPECT_TRUE(run.frames("gui", not_boot).empty()) << "a change that happened is no news";
        }
        sim_harness again;
        sim_options kept;
        kept.dir = dir;
        SCOPE_START(again, {"media", "gui"}, kept);
        ASSERT_TRUE(again.boot_sightd()) << again.why;
        EXPECT_EQ(brightness(again), std::to_string(row.brightness));
        /* A sound boot: no recovery outcome. */
        for (const sim_bytes &f : again.frames("gui", lifecycle_result)) EXPECT_NE(f[7], 2);
        scope_stop_sightd(again);
    }
}

/* A low-battery request while a voluntary shutdown is held inside its
 * prepare: the coordinator leaves the voluntary run for the safety
 * sequence, which saves and powers off; no result reaches the GUI. */
TEST(Lifecycle, LowBatteryPreemptsAVoluntaryShutdownInItsPrepare)
{
    sim_harness run;
    SCOPE_START(run, {"media", "gui"});
    ASSERT_TRUE(run.start_sightd({"VESK_PERSIST_TEST_PAUSE_AT=lifecycle:preparing",
                                  "VESK_PERSIST_TEST_READY_FILE=/tmp/lifecycle.held",
                                  "VESK_PERSIST_TEST_RESUME_FILE=/tmp/lifecycle.go"}))
        << run.why;
    ASSERT_FALSE(run.wait_frames("gui", sim_boot_done, 1, SIM_BOOT_MS).empty()) << "no boot push";
    ASSERT_TRUE(set_brightness(run, 4));
    ASSERT_TRUE(run.send("gui", scope_request(0x00, 0x00, 0x0D, 1)));
    ASSERT_TRUE(run.wait(SIM_REPLY_MS, [&] { return run.exists("/tmp/lifecycle.held"); }))
        << "the voluntary run never reached its prepare";
    /* The router takes the GUI's frames in order: once the reboot behind
     * the low-battery request is refused, the low-battery one is admitted. */
    ASSERT_TRUE(run.send("gui", scope_request(0x00, 0x00, 0x0D, 3)));
    ASSERT_TRUE(run.send("gui", scope_request(0x00, 0x00, 0x20, 1)));
    sim_bytes refused;
    ASSERT_TRUE(run.take("gui", not_boot, SIM_REPLY_MS, &refused));
    EXPECT_EQ(refused, sim_frame(0x00, 0x00, 0x2A, 0x80, {2, 1}));
    EXPECT_EQ(run.ended(run.sightd), false) << "nothing powers off while the voluntary run is held";
    ASSERT_EQ(sim_write_file(run.sb, "/tmp/lifecycle.go", ""), 0);
    sim_outcome out = wait_end(run, SIM_REPLY_MS);
    run.sightd = -1;
    EXPECT_EQ(out.end, SIM_POWER_OFF) << sim_outcome_text(out);
    EXPECT_EQ(brightness(run), "4");
    std::vector<sim_bytes> told = run.frames("media", media_shutdown);
    ASSERT_EQ(told.size(), 1u) << "the media process is told once";
    EXPECT_EQ(told[0][6], 1);
    EXPECT_TRUE(run.take_all("gui", not_boot).empty()) << "a pre-empted shutdown reports nothing";
}

/* ---- both programs: the power key and the shutdown countdown ----------- */

std::string reticle_colour(const sim_harness &run)
{
    std::string value;
    scope_ini_get(sim_path(run.sb, SCOPE_CURRENT_INI), "reticleparam:s8reticlecolour", &value);
    return value;
}

/* A setting changed on the home page, then the power key held: the
 * countdown runs, the setting is saved and the run ends as a power-off. */
TEST(LifecycleScope, ALongPowerPressCountsDownSavesAndPowersOff)
{
    HomeRoad road;
    ASSERT_TRUE(road.start(HomeRoadImage{}, 64ull << 20)) << road.why;
    const std::string before = reticle_colour(road);
    ASSERT_TRUE(road.key("up")) << road.why; /* the next reticle colour */
    ASSERT_TRUE(road.key("power", "long")) << road.why;
    EXPECT_TRUE(road.wait_top("QZ_SHUT_DOWN", SIM_REPLY_MS)) << road.why;
    sim_outcome out = wait_end(road, SIM_REPLY_MS * 2);
    road.sightd = -1;
    EXPECT_EQ(out.end, SIM_POWER_OFF) << sim_outcome_text(out);
    EXPECT_NE(reticle_colour(road), before) << "the colour chosen before the power key was saved";
    std::vector<sim_bytes> told = road.frames("media", media_shutdown);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0][6], 1) << "power goes off";
}

/* A battery run flat: the home page opens the low-power page, whose
 * countdown asks for the low-battery power-off; sightd saves through the
 * safety sequence and powers off. */
TEST(LifecycleScope, AFlatBatteryPowersOffThroughTheLowPowerPage)
{
    HomeRoad road;
    ASSERT_TRUE(road.start(HomeRoadImage{}, 64ull << 20)) << road.why;
    const std::string before = reticle_colour(road);
    ASSERT_TRUE(road.key("up")) << road.why;
    ASSERT_EQ(sim_adc_set_battery(road.sb, 5.5), 0);
    /* The battery module averages its readings before it reports. */
    EXPECT_TRUE(road.wait_top("shut_down_low_power", 20000 * SIM_SLOW)) << road.why;
    sim_outcome out = wait_end(road, SIM_REPLY_MS * 2);
    road.sightd = -1;
    EXPECT_EQ(out.end, SIM_POWER_OFF) << sim_outcome_text(out);
    EXPECT_NE(reticle_colour(road), before);
    std::vector<sim_bytes> told = road.frames("media", media_shutdown);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0][6], 1);
}

/* A key early in the countdown cancels it and returns to the page that
 * was on top; nothing powers off and sightd stops as usual. */
TEST(LifecycleScope, AKeyEarlyInTheCountdownReturnsToThePageOnTop)
{
    HomeRoad road;
    ASSERT_TRUE(road.start(HomeRoadImage{}, 64ull << 20)) << road.why;
    ASSERT_TRUE(road.key("ok", "long")) << road.why;
    ASSERT_TRUE(road.wait_top("main_menu", SIM_REPLY_MS)) << road.why;
    ASSERT_TRUE(road.key("power", "long")) << road.why;
    ASSERT_TRUE(road.wait_top("QZ_SHUT_DOWN", SIM_REPLY_MS)) << road.why;
    ASSERT_TRUE(road.key("up")) << road.why;
    EXPECT_TRUE(road.wait_top("main_menu", SIM_REPLY_MS)) << road.why;
    EXPECT_TRUE(road.frames("media", media_shutdown).empty());
    scope_stop_sightd(road);
}

/* ---- the format hook with the board's tools ---------------------------- */

struct FormatRun {
    std::string result;             /* "rc=N paused=N" */
    std::vector<std::string> tools; /* "name arg arg" per call */
    std::string errors;             /* the errors stream on the Media partition afterwards */
};

FormatRun run_format(sim_harness &h, const char *mode)
{
    FormatRun r;
    int pid = h.spawn({"lifecycle-format-probe", mode}, {}, true);
    sim_outcome out;
    EXPECT_TRUE(h.wait(SIM_REPLY_MS * 4, [&] { return h.ended(pid, &out); })) << "the probe never ended";
    EXPECT_EQ(out.end, SIM_EXITED);
    EXPECT_EQ(out.code, 0);
    r.result = h.read("/tmp/format.result");
    for (const std::string &line : h.board_log("tool")) {
        std::string call = sim_log_field(line, "name");
        for (size_t at = line.find(" arg="); at != std::string::npos; at = line.find(" arg=", at + 1)) {
            size_t end = line.find(' ', at + 1);
            call += " " + line.substr(at + 5, end == std::string::npos ? std::string::npos : end - at - 5);
        }
        r.tools.push_back(call);
    }
    for (const std::string &line : h.log_lines("errors")) r.errors += line + "\n";
    return r;
}

bool is_folder(const sim_harness &h, const std::string &inside)
{
    struct stat st;
    return stat(sim_path(h.sb, inside).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool has(const std::vector<std::string> &calls, const std::string &call)
{
    return std::find(calls.begin(), calls.end(), call) != calls.end();
}

/* A format empties the Media partition, recreates its folders and the log
 * files resume on it; the MTP responder is stopped and left for the reboot. */
TEST(FormatHook, EmptiesTheMediaPartitionAndTheLogResumesThere)
{
    sim_harness h;
    SCOPE_START(h, {});
    ASSERT_EQ(sim_write_file(h.sb, "/usrdata/media/Picture/old.jpg", "jpeg"), 0);
    ASSERT_GT(h.spawn({"/usrdata/bin/umtprd"}, {}, true), 0);
    FormatRun r = run_format(h, "pause");
    EXPECT_EQ(r.result, "rc=0 paused=0\n");
    EXPECT_TRUE(has(r.tools, "umount /usrdata/media/"));
    EXPECT_TRUE(has(r.tools, "mkfs.vfat /dev/mmcblk0p9"));
    EXPECT_TRUE(has(r.tools, "mount /dev/mmcblk0p9 /usrdata/media/"));
    EXPECT_FALSE(h.exists("/usrdata/media/Picture/old.jpg"));
    for (const char *d : {"/usrdata/media/Video", "/usrdata/media/Picture", "/usrdata/media/.thumbnails"})
        EXPECT_TRUE(is_folder(h, d)) << d;
    EXPECT_NE(r.errors.find("after format"), std::string::npos) << "the log resumed on the new file system";
    EXPECT_EQ(r.errors.find("before format"), std::string::npos) << "the old log went with the format";
    EXPECT_FALSE(h.run({"/bin/sh", "-c", "pidof umtprd"}, SIM_REPLY_MS)) << "the responder was stopped";
}

/* The hook's failures: what it answers, whether the Media log resumes and
 * what it leaves on the card. */
TEST(FormatHook, FailuresLeaveTheCardOrTheLogAsTheySay)
{
    const struct {
        const char *name;
        const char *mode;
        const char *failing_tool; /* nullptr: none */
        const char *result;
        bool card_kept;
        bool log_resumed;
        bool responder_running;
    } rows[] = {
        {"media log still open", "nopause", nullptr, "rc=-16 paused=0\n", true, true, true},
        {"umount fails", "pause", "umount", "rc=-16 paused=0\n", true, true, true},
        {"mkfs fails", "pause", "mkfs.vfat", "rc=-5 paused=1\n", true, false, false},
        {"mount fails", "pause", "mount", "rc=-5 paused=1\n", false, false, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        sim_harness h;
        SCOPE_START(h, {});
        ASSERT_EQ(sim_write_file(h.sb, "/usrdata/media/Picture/old.jpg", "jpeg"), 0);
        ASSERT_GT(h.spawn({"/usrdata/bin/umtprd"}, {}, true), 0);
        if (row.failing_tool != nullptr) {
            ASSERT_EQ(sim_tool_status(h.sb, row.failing_tool, 1), 0);
        }
        FormatRun r = run_format(h, row.mode);
        EXPECT_EQ(r.result, row.result);
        EXPECT_EQ(h.exists("/usrdata/media/Picture/old.jpg"), row.card_kept);
        EXPECT_EQ(r.errors.find("after format") != std::string::npos, row.log_resumed);
        if (row.failing_tool != nullptr) {
            ASSERT_EQ(sim_tool_status(h.sb, row.failing_tool, -1), 0);
        }
        EXPECT_EQ(h.run({"/bin/sh", "-c", "pidof umtprd"}, SIM_REPLY_MS), row.responder_running)
            << "the responder is restarted only when this format stopped it and the card stays";
        if (std::string(row.mode) == "nopause") {
            EXPECT_FALSE(has(r.tools, "umount /usrdata/media/"));
        }
    }
}

} // namespace
