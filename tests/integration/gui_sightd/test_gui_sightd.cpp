// sightui beside the real sightd in the sandbox: the boot push makes the GUI
// ready and the boot page gives way to the home page; the scope's keys then
// reach the pages through the GUI's key rules.
#include <gtest/gtest.h>

#include "sim_harness.h"

namespace {

TEST(GuiWithSightd, BootPushOpensTheHomePageAndKeysReachThePages)
{
    sim_harness h;
    ASSERT_TRUE(h.create()) << h.why;
    /* The media process drains its records; without it they fill queue
     * 12345 and sightd's reports to the GUI fail. */
    ASSERT_TRUE(h.start_peer("media")) << h.why;
    ASSERT_TRUE(h.start_sightd()) << h.why;
    ASSERT_TRUE(h.start_sightui()) << h.why;
    EXPECT_EQ(h.top_window(), "Boot_logo");

    /* sightd waits for its video links before the push; the GUI is ready
     * after the last profile block (or a recovery report). */
    ASSERT_TRUE(h.wait_top("QZ_home_page_1")) << h.why;

    /* Power long: the countdown opens and takes the long press. */
    ASSERT_TRUE(h.key("power", "long")) << h.why;
    EXPECT_TRUE(h.wait_top("QZ_SHUT_DOWN", SIM_REPLY_MS)) << h.why;
    /* Any other key early in the countdown returns to the page it left. */
    ASSERT_TRUE(h.key("up")) << h.why;
    EXPECT_TRUE(h.wait_top("QZ_home_page_1", SIM_REPLY_MS)) << h.why;

    sim_outcome out = h.stop_sightd();
    EXPECT_EQ(out.end, SIM_EXITED) << sim_outcome_text(out);
    std::string versions = h.read("/tmp/apps.version");
    EXPECT_NE(versions.find("UI:\t <qel_menu>"), std::string::npos) << versions;
    EXPECT_NE(versions.find("APP:\t <sightd>"), std::string::npos) << versions;
}

} // namespace
