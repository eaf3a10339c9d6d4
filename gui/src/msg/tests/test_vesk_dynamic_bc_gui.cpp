// The dynamic-coefficient reply: only the 11-byte report with a value and a
// status of 0 or 1 is taken.
#include <gtest/gtest.h>

#include "sightui_test.h"
#include "vesk_dynamic_bc_gui.h"

using namespace sightui_test;

namespace {

TEST(DynamicBcGui, UnknownUntilAReplyIsTaken)
{
    in_gui_child([] {
        EventTap tap;
        EXPECT_EQ(vesk_dynamic_bc_gui_value(), -1);
        EXPECT_EQ(vesk_dynamic_bc_gui_supported(), 0);
        const bytes rejected[] = {
            report(0, 0, 43, {0, 2}),    report(0, 0, 43, {2, 0}), report(0, 0, 43, {1}),
            report(0, 0, 43, {1, 0, 0}), report(0, 1, 43, {1, 0}), frame(0, 0, 43, 0x00, {1, 0}),
        };
        for (const bytes &f : rejected) deliver(f);
        EXPECT_EQ(vesk_dynamic_bc_gui_value(), -1);
        EXPECT_EQ(tap.take(), std::vector<int>{});
    });
}

TEST(DynamicBcGui, StatusOneMeansNotAvailable)
{
    in_gui_child([] {
        EventTap tap;
        deliver(report(0, 0, 43, {1, 1}));
        EXPECT_EQ(vesk_dynamic_bc_gui_value(), 1);
        EXPECT_EQ(vesk_dynamic_bc_gui_supported(), 0);
        deliver(report(0, 0, 43, {0, 0}));
        EXPECT_EQ(vesk_dynamic_bc_gui_value(), 0);
        EXPECT_EQ(vesk_dynamic_bc_gui_supported(), 1);
        EXPECT_EQ(tap.take(), (std::vector<int>{77, 77}));
        bytes f = report(0, 0, 43, {1, 0});
        f[2] = 1;
        EXPECT_EQ(vesk_dynamic_bc_gui_on_reply(f.data(), (int)f.size()), -1);
    });
}

} // namespace
