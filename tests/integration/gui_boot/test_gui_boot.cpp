// sightui with no sightd in the sandbox: it creates both queues, leaves its
// READY frame in queue 54321, shows the boot page at the size its arguments
// give, and keeps running through a termination signal.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "sim_harness.h"

namespace {

struct BootRun {
    std::vector<std::string> args;
    int w, h;
};

class GuiBoot : public ::testing::TestWithParam<BootRun> {};

TEST_P(GuiBoot, ReadyFrameWaitsAndTheBootPageShowsAtTheGivenSize)
{
    const BootRun &run = GetParam();
    sim_harness h;
    ASSERT_TRUE(h.create()) << h.why;
    ASSERT_TRUE(h.start_sightui(run.args)) << h.why;

    /* The READY frame waits in queue 54321 for sightd (mtype 5). */
    std::string record;
    ASSERT_TRUE(h.run({"sandbox-probe", "record", "54321", "5"}, SIM_REPLY_MS, &record)) << h.why;
    EXPECT_EQ(record, "type=1 command=255 length=10 frame=AA070800000000B9EBAA\n");
    EXPECT_TRUE(h.run({"sandbox-probe", "queue", "present", "12345"}, SIM_REPLY_MS)) << "the report queue exists too";

    std::string tree;
    ASSERT_TRUE(h.snapshot(&tree)) << h.why;
    EXPECT_EQ(sim_tree_top(tree), "Boot_logo") << tree;
    char rect[64];
    snprintf(rect, sizeof(rect), "0,0,%d,%d", run.w, run.h);
    EXPECT_EQ(sim_tree_widget(tree, "Boot_logo").rect, rect) << tree;
    EXPECT_NE(h.read("/tmp/apps.version").find("UI:\t <qel_menu>"), std::string::npos);

    /* A termination signal stops the reports, not the program: a snapshot
     * asked for after it is still taken. */
    ASSERT_EQ(sim_kill(h.sb, h.sightui, SIGTERM), 0);
    EXPECT_TRUE(h.snapshot(nullptr)) << "sightui ended on SIGTERM: " << h.why;
}

/* The row as its arguments and size, not bytes (ctest shows it in the test's name). */
void PrintTo(const BootRun &r, std::ostream *os)
{
    *os << "sightui";
    for (const std::string &a : r.args) *os << " " << a;
    *os << ": " << r.w << "x" << r.h;
}

INSTANTIATE_TEST_SUITE_P(Sizes, GuiBoot,
                         ::testing::Values(BootRun{{}, 1280, 1024}, BootRun{{"640"}, 640, 1024},
                                           BootRun{{"640", "480"}, 640, 480},
                                           BootRun{{"800", "600", "1", "ignored"}, 800, 600}),
                         [](const ::testing::TestParamInfo<BootRun> &info) {
                             return std::to_string(info.param.args.size()) + "_args_" + std::to_string(info.param.w) +
                                    "x" + std::to_string(info.param.h);
                         });

} // namespace
