// sightd as a peer sees it: start-up, build line, orderly stop on signals.
#include "scope_e2e.h"

#include <signal.h>

#include <chrono>

namespace {

size_t count_lines_starting(const std::string &text, const std::string &prefix)
{
    size_t n = 0, pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        if (text.compare(pos, prefix.size(), prefix) == 0) n++;
        pos = end + 1;
    }
    return n;
}

TEST(Sightd, TwoSignalsGiveOneOrderlyStopWithExitZero)
{
    sim_harness run;
    SCOPE_START(run, {});
    ASSERT_TRUE(run.start_peer("gui"));
    ASSERT_TRUE(run.start_sightd());
    // Booted: the GUI stand-in has the status image of the boot push.
    ASSERT_TRUE(run.wait(SIM_BOOT_MS, [&] { return !run.frames("gui", sim_head{16, 0}).empty(); }));

    sim_kill(run.sb, run.sightd, SIGTERM);
    sim_kill(run.sb, run.sightd, SIGTERM);
    auto t0 = std::chrono::steady_clock::now();
    sim_outcome out;
    ASSERT_EQ(sim_wait(run.sb, run.sightd, 10000 * SIM_SLOW, &out), 0);
    auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_EQ(out.end, SIM_EXITED) << sim_outcome_text(out);
    EXPECT_EQ(out.code, 0);
    EXPECT_LT(took, std::chrono::seconds(3));

    const std::string versions = run.read("/tmp/apps.version");
    EXPECT_EQ(count_lines_starting(versions, "APP:\t <sightd>\t ("), 1u) << versions;
}

TEST(Sightd, ASignalDuringStartUpStillEndsTheRunCleanly)
{
    sim_harness run;
    SCOPE_START(run, {});
    ASSERT_TRUE(run.start_sightd());
    /* Its first board call (the rangefinder's serial power off) comes right
     * after the signal handlers are in place; no GUI means no boot push, so
     * it is still starting up. */
    ASSERT_TRUE(run.wait(SIM_REPLY_MS, [&] {
        for (const std::string &line : run.board_log("ioctl"))
            if (sim_log_field(line, "node") == "/dev/hardware") return true;
        return false;
    }));
    sim_outcome out = run.stop_sightd();
    EXPECT_EQ(out.end, SIM_EXITED) << sim_outcome_text(out);
    EXPECT_EQ(out.code, 0);
}

} // namespace
