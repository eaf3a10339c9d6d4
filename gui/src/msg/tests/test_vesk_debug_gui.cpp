// The GUI half of the debug switch: sightd's reply switches the logger and
// the toolkit's log level; only toolkit errors reach the log.
#include <gtest/gtest.h>

#include "sightui_test.h"
#include "vesk_debug.h"
#include "vesk_debug_gui.h"

using namespace sightui_test;

namespace {

TEST(DebugGui, ReplySwitchesTheLoggerAndTheToolkitLevel)
{
    in_gui_child([] {
        vesk_debug_init();
        EventTap tap;
        deliver(report(0, 0, 41, {1}));
        EXPECT_EQ(vesk_debug_enabled(), 1);
        EXPECT_EQ(log_get_log_level(), LOG_LEVEL_DEBUG);
        deliver(report(0, 0, 41, {0}));
        EXPECT_EQ(vesk_debug_enabled(), 0);
        EXPECT_EQ(log_get_log_level(), LOG_LEVEL_ERROR);
        EXPECT_EQ(tap.take(), (std::vector<int>{75, 75}));
    });
}

TEST(DebugGui, OtherRepliesAreIgnored)
{
    in_gui_child([] {
        vesk_debug_init();
        EventTap tap;
        deliver(report(0, 0, 41, {2}));
        deliver(report(0, 0, 41, {1, 0}));
        deliver(report(0, 1, 41, {1}));
        deliver(frame(0, 0, 41, 0x00, {1}));
        EXPECT_EQ(vesk_debug_enabled(), 0);
        EXPECT_EQ(tap.take(), std::vector<int>{});
    });
}

TEST(DebugGui, ApplyBeforeTheLoggerStartsChangesNothing)
{
    in_gui_child([] {
        log_set_log_level(LOG_LEVEL_WARN);
        EXPECT_NE(vesk_debug_gui_apply(1), 0);
        EXPECT_EQ(log_get_log_level(), LOG_LEVEL_WARN);
    });
}

TEST(DebugGui, OnlyToolkitErrorsReachTheLog)
{
    in_gui_child([] {
        std::string log = error_log_of([] {
            log_set_hook(vesk_debug_gui_awtk_log_hook, NULL);
            log_set_log_level(LOG_LEVEL_DEBUG);
            log_notify(LOG_LEVEL_WARN, "warned %d\n", 1);
            log_notify(LOG_LEVEL_ERROR, "failed %d\n", 2);
        });
        EXPECT_EQ(log.find("warned"), std::string::npos) << log;
        EXPECT_NE(log.find("failed 2"), std::string::npos) << log;
        EXPECT_NE(log.find("awtk"), std::string::npos) << log;
    });
}

} // namespace
