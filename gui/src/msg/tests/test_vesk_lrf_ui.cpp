// The rangefinder reports keep what they do not carry; a frame too short
// for its fields is rejected without an event.
#include <gtest/gtest.h>

#include "sightui_test.h"
#include "vesk_lrf_ui.h"

using namespace sightui_test;

namespace {

TEST(LrfUi, ShortReportsAreRejectedAndRaiseNothing)
{
    in_gui_child([] {
        EventTap tap;
        deliver(report(4, 2, 0xFF, bytes(12, 1)));
        deliver(report(4, 2, 0xFF, bytes(15, 1)));
        deliver(report(4, 8, 0xFF, bytes(10, 1)));
        deliver(report(4, 0, 0xFF, bytes(1, 1)));
        EXPECT_EQ(vesk_lrf_ui.has_result, 0);
        EXPECT_EQ(vesk_lrf_ui.set_target, 0);
        EXPECT_EQ(vesk_lrf_ui.state, 0);
        EXPECT_EQ(tap.take(), std::vector<int>{});
    });
}

TEST(LrfUi, ReportsLeaveOtherFieldsAsTheyWere)
{
    in_gui_child([] {
        deliver(report(4, 2, 0xFF, unhex("01 02 03 04 01 00 0A 03 00 00 00 00 00 00 00 00")));
        deliver(report(4, 0, 0xFF, {5, 6}));
        EXPECT_EQ(vesk_lrf_ui.has_result, 1);
        EXPECT_EQ(vesk_lrf_ui.dm[0], 103u);
        EXPECT_EQ(vesk_lrf_ui.state, 5);
        deliver(report(4, 2, 0xFF, unhex("01 03 03 04 00 00 00 00 00 00 00 00 00 00 00 00")));
        EXPECT_EQ(vesk_lrf_ui.count, 0);
        EXPECT_EQ(vesk_lrf_ui.state, 5);
    });
}

TEST(LrfUi, DistanceFormatsAsMetresAndTenths)
{
    char buf[16];
    vesk_lrf_ui_format_dm(1234, buf, sizeof(buf));
    EXPECT_STREQ(buf, "123.4 m");
    vesk_lrf_ui_format_dm(7, buf, sizeof(buf));
    EXPECT_STREQ(buf, "0.7 m");
    vesk_lrf_ui_format_dm(99999, buf, 5);
    EXPECT_STREQ(buf, "9999");
    vesk_lrf_ui_format_dm(1, NULL, 4);
    buf[0] = 'x';
    vesk_lrf_ui_format_dm(1, buf, 0);
    EXPECT_EQ(buf[0], 'x');
}

} // namespace
