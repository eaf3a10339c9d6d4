// The debug switch as the GUI stand-in sees it: each request answered with
// the state in force, malformed requests left unanswered, and the setting
// kept in the current settings file.
#include "scope_e2e.h"

namespace {

const sim_head debug_reply = {0x00, 0x00, 0x29, 0x80};

/* AA 07 00 00 29 80 s CHK EB AA */
scope_frame reply_for(uint8_t state)
{
    scope_frame f = {0xAA, 0x07, 0x00, 0x00, 0x29, 0x80, state, 0x00, 0xEB, 0xAA};
    f[7] = sim_frame_checksum(f.data(), f.size());
    return f;
}

scope_frame request(uint8_t value) { return scope_request(0x00, 0x00, 0x29, value); }

struct DebugSwitch : ::testing::Test {
    sim_harness run;

    void SetUp() override
    {
        SCOPE_START(run, {"media", "gui"});
        ASSERT_TRUE(run.boot_sightd()) << run.why;
        /* The boot push carries the state: off in the factory settings. */
        ASSERT_EQ(replies(), std::vector<scope_frame>{reply_for(0)});
    }

    SCOPE_STOP_AT_END(run)

    std::vector<scope_frame> replies() const { return run.frames("gui", debug_reply); }

    /* Sends a request and waits for the reply it must get. */
    scope_frame ask(const scope_frame &frame)
    {
        size_t before = replies().size();
        EXPECT_TRUE(run.send("gui", frame));
        std::vector<scope_frame> got = run.wait_frames("gui", debug_reply, before + 1, SIM_REPLY_MS);
        EXPECT_EQ(got.size(), before + 1) << "no reply to " << sim_hex(frame);
        return got.size() > before ? got[before] : scope_frame();
    }

    std::string stored() const
    {
        std::string value;
        scope_ini_get(sim_path(run.sb, SCOPE_CURRENT_INI), "qeldevstatus:vesk_debug", &value);
        return value;
    }
};

TEST_F(DebugSwitch, OnOffOnIsAnsweredWithEachStateAndTheLastOneIsStored)
{
    EXPECT_EQ(ask(request(1)), reply_for(1));
    EXPECT_EQ(ask(request(0)), reply_for(0));
    EXPECT_EQ(ask(request(1)), reply_for(1));
    /* A query changes nothing and is answered. */
    EXPECT_EQ(ask(request(0xFF)), reply_for(1));
    /* Asking for the state in force is answered too. */
    EXPECT_EQ(ask(request(1)), reply_for(1));

    EXPECT_TRUE(run.wait(SIM_REPLY_MS, [&] { return stored() == "1"; }))
        << "vesk_debug in " SCOPE_CURRENT_INI " reads '" << stored() << "'";

    /* The next boot starts with the stored state and says so. */
    ASSERT_TRUE(scope_stop_sightd(run));
    ASSERT_TRUE(run.boot_sightd()) << run.why;
    EXPECT_EQ(replies().back(), reply_for(1));
}

TEST_F(DebugSwitch, MalformedRequestsGetNoReplyAndChangeNothing)
{
    scope_frame bad_sum = request(1);
    bad_sum[7] ^= 0x01;
    scope_frame report_flag = request(1);
    report_flag[5] = 0x80;
    report_flag[7] = sim_frame_checksum(report_flag.data(), report_flag.size());
    const struct {
        const char *what;
        scope_frame frame;
    } rows[] = {
        {"wrong checksum", bad_sum},
        {"report flag", report_flag},
        {"value 2", request(2)},
        {"11 bytes", sim_frame(0x00, 0x00, 0x29, 0x00, {0x01, 0x00})},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        size_t before = replies().size();
        ASSERT_TRUE(run.send("gui", row.frame));
        /* Two sound requests behind it; frames are handled in order, so
         * once the second one's reply is in, any reply to the malformed
         * frame would be in too. */
        ASSERT_TRUE(run.send("gui", request(1)));
        ASSERT_TRUE(run.send("gui", request(0)));
        std::vector<scope_frame> got;
        ASSERT_TRUE(run.wait(SIM_REPLY_MS, [&] {
            got = replies();
            return got.size() >= before + 2 && got.back() == reply_for(0);
        }));
        std::vector<scope_frame> fresh(got.begin() + (long)before, got.end());
        EXPECT_EQ(fresh, (std::vector<scope_frame>{reply_for(1), reply_for(0)}));
    }
}

} // namespace
