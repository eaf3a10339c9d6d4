// sightui beside the real sightd in the sandbox: the boot push makes the GUI
// ready and the boot page gives way to the home page; the scope's keys then
// reach the pages through the GUI's key rules.
#include "scope_run.h"

#include <signal.h>
#include <stdio.h>

namespace {

#define SNAPSHOTS "/tmp/gui-snapshots"

struct GuiRun : ScopeRun {
    int gui = -1;
    int shots = 0;

    bool start_gui()
    {
        if (sim_write_file(sb, SNAPSHOTS "/.made", "") != 0) return false;
        sim_spawn_args args;
        args.argv = {"sightui"};
        args.cwd = SIM_INSIDE_BIN;
        args.env = {"VESK_GUI_SNAPSHOT_DIR=" SNAPSHOTS, "VESK_GUI_BACKEND=headless"};
        args.stdout_fd = -1;
        args.stderr_fd = -1;
        gui = sim_spawn(sb, args);
        /* Its build line follows the toolkit's start, which installs the
         * snapshot signal: before that SIGUSR1 would end it. */
        return gui > 0 && wait_until([&] { return read("/tmp/apps.version").find("UI:\t") != std::string::npos; },
                                     10000);
    }

    /* The widget tree of the next snapshot ("" when none came). */
    std::string snapshot()
    {
        char txt[64];
        snprintf(txt, sizeof txt, SNAPSHOTS "/qel_menu-%04d.txt", shots + 1);
        if (sim_kill(sb, gui, SIGUSR1) != 0) return "";
        std::string tree;
        if (wait_until([&] { return sim_read_file(sb, txt, &tree) == 0; }, 5000)) shots++;
        return tree;
    }

    /* Name of the top window in a tree dump. */
    static std::string top_window(const std::string &tree)
    {
        std::string top;
        size_t pos = 0;
        while ((pos = tree.find("window name=\"", pos)) != std::string::npos) {
            if (pos == 0 || tree[pos - 1] == '\n') {
                size_t start = pos + 13;
                top = tree.substr(start, tree.find('"', start) - start);
            }
            pos++;
        }
        return top;
    }

    /* Snapshots cost the GUI thread a full render: a few a second at most. */
    std::string top()
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        return top_window(snapshot());
    }

    bool keys(const std::vector<std::string> &codes)
    {
        sim_spawn_args args;
        args.argv = {"sightui-keys"};
        args.argv.insert(args.argv.end(), codes.begin(), codes.end());
        int pid = sim_spawn(sb, args);
        sim_outcome out;
        return pid > 0 && sim_wait(sb, pid, 10000, &out) == 0 && out.end == SIM_EXITED && out.code == 0;
    }
};

TEST(GuiWithSightd, BootPushOpensTheHomePageAndKeysReachThePages)
{
    GuiRun run;
    SCOPE_RUN_OR_SKIP(run);
    /* The media process drains its records; without it they fill queue
     * 12345 and sightd's reports to the GUI fail. */
    ASSERT_TRUE(run.start_peer("media"));
    ASSERT_TRUE(run.start_sightd());
    ASSERT_TRUE(run.start_gui());
    EXPECT_EQ(run.top(), "Boot_logo");

    /* sightd waits for its video links before the push; the GUI is ready
     * after the last profile block (or a recovery report). */
    std::string top;
    bool home = ScopeRun::wait_until([&] { return (top = run.top()) == "QZ_home_page_1"; }, 60000);
    if (!home) {
        sim_spawn_args ipcs;
        ipcs.argv = {"/bin/sh", "-c", "ipcs -q > /tmp/queues.txt"};
        sim_outcome done;
        sim_wait(run.sb, sim_spawn(run.sb, ipcs), 5000, &done);
    }
    ASSERT_TRUE(home) << top << run.read("/tmp/queues.txt");

    /* Power long: the countdown opens and takes the long press. */
    ASSERT_TRUE(run.keys({"7", "+300", "8"}));
    EXPECT_TRUE(ScopeRun::wait_until([&] { return run.top() == "QZ_SHUT_DOWN"; }, 5000));
    /* Any other key early in the countdown returns to the page it left. */
    ASSERT_TRUE(run.keys({"0"}));
    EXPECT_TRUE(ScopeRun::wait_until([&] { return run.top() == "QZ_home_page_1"; }, 5000));

    sim_outcome out = run.stop_sightd(10000);
    EXPECT_EQ(out.end, SIM_EXITED) << sim_outcome_text(out);
    std::string versions = run.read("/tmp/apps.version");
    EXPECT_NE(versions.find("UI:\t <qel_menu>"), std::string::npos) << versions;
    EXPECT_NE(versions.find("APP:\t <sightd>"), std::string::npos) << versions;
}

}  // namespace
