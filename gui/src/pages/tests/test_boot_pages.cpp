// The boot page on the virtual clock: it gives way to the home page at the
// first 100 ms tick that finds it shown for 3 s and the GUI ready, the
// time shown read from the clock, not counted in ticks.
#include <gtest/gtest.h>

#include "awtk_host.h"
#include "navigator.h"
#include "pages.h"
#include "sightui_test.h"
#include "ui_status.h"

using namespace sightui_test;

namespace {

const int kNever = -1;

/* The sixth profile block of the boot push: it makes the GUI ready. */
bytes last_profile_block() { return report(16, 2, 5, bytes(248, 0)); }

/* Steps the clock in 50 ms steps from the boot page's opening, makes the
 * GUI ready at ready_ms, and returns when the home page came on top (or
 * -1 by until_ms). */
int home_opens_at(int ready_ms, int until_ms)
{
    for (int t = 0; t < until_ms; t += 50) {
        if (t == ready_ms) deliver(last_profile_block());
        awtk_test_step(50);
        if (top_name() == VESK_HOME_PAGE) return t + 50;
    }
    return -1;
}

struct BootCase {
    int ready_ms;
    int home_ms;
};

class BootTiming : public ::testing::TestWithParam<BootCase> {};

TEST_P(BootTiming, HomePageOpensAtTheFirstTickPastThreeSecondsAndReady)
{
    BootCase c = GetParam();
    in_gui_child([c] {
        ASSERT_EQ(navigator_to("Boot_logo"), RET_OK);
        awtk_test_pump();
        ASSERT_EQ(top_name(), "Boot_logo");
        EXPECT_EQ(home_opens_at(c.ready_ms, 10000), c.home_ms);
        if (c.home_ms != kNever) {
            /* Replaced, not stacked: nothing to go back to. */
            EXPECT_EQ(widget_count_children(window_manager()), 1);
        } else {
            EXPECT_EQ(top_name(), "Boot_logo");
            /* The timer still runs: readiness now opens home at the next tick. */
            deliver(last_profile_block());
            awtk_test_step(100);
            EXPECT_EQ(top_name(), VESK_HOME_PAGE);
        }
    });
}

/* The row as times, not bytes (ctest shows it in the test's name). */
void PrintTo(const BootCase &c, std::ostream *os)
{
    if (c.ready_ms < 0)
        *os << "never ready";
    else
        *os << "ready at " << c.ready_ms << " ms, home at " << c.home_ms << " ms";
}

INSTANTIATE_TEST_SUITE_P(ReadyAt, BootTiming,
                         ::testing::Values(BootCase{1000, 3000}, BootCase{0, 3000}, BootCase{2950, 3000},
                                           BootCase{3000, 3100}, BootCase{7250, 7300}, BootCase{kNever, kNever}),
                         [](const ::testing::TestParamInfo<BootCase> &info) {
                             return info.param.ready_ms < 0 ? std::string("never")
                                                            : "ms_" + std::to_string(info.param.ready_ms);
                         });

TEST(BootPages, AHeldUpGuiThreadDoesNotLengthenTheThreeSeconds)
{
    in_gui_child([] {
        ASSERT_EQ(navigator_to("Boot_logo"), RET_OK);
        awtk_test_pump();
        deliver(last_profile_block());
        awtk_test_step(500);
        /* Two seconds in which no tick runs, as a busy GUI thread has them. */
        sleep_ms(2000);
        int t = 2500;
        while (t < 10000 && top_name() != VESK_HOME_PAGE) {
            awtk_test_step(50);
            t += 50;
        }
        EXPECT_EQ(t, 3000);
    });
}

TEST(BootPages, BootLogoPutsTheGuiIntoItsStartingState)
{
    in_gui_child([] {
        stUIStatus.s8InterfaceState = INTERFACE_AOD;
        stUIStatus.s8RangeMode = 3;
        stUIStatus.s8RangeFirstOrLast = 1;
        stUIStatus.s8Record_prepare = 1;
        stDevStatus.s8ReticleMenuSwitch = 0;
        stDevStatus.s8DistanceUint = 1;
        stDevStatus.s8ScreenOff = 2;
        stDevStatus.s8LaserRangeType = 0;
        ASSERT_EQ(navigator_to("Boot_logo"), RET_OK);
        EXPECT_EQ(stUIStatus.s8InterfaceState, INTERFACE_OBSERVE);
        EXPECT_EQ(stUIStatus.s8RangeMode, 0);
        EXPECT_EQ(stUIStatus.s8RangeFirstOrLast, 0);
        EXPECT_EQ(stUIStatus.s8Record_prepare, 0);
        EXPECT_EQ(stDevStatus.s8ReticleMenuSwitch, 1);
        EXPECT_EQ(stDevStatus.s8DistanceUint, 0);
        EXPECT_EQ(stDevStatus.s8ScreenOff, 0);
        EXPECT_EQ(stDevStatus.s8LaserRangeType, 1);
        widget_t *image = widget_child(navigator_find_window("Boot_logo"), "image");
        ASSERT_NE(image, nullptr);
        EXPECT_STREQ(widget_get_prop_str(image, WIDGET_PROP_IMAGE, ""), "Boot_logo1");
    });
}

TEST(BootPages, BootImageIsDrawnOnTheScreen)
{
    in_gui_child([] {
        ASSERT_EQ(navigator_to("Boot_logo"), RET_OK);
        awtk_test_pump();
        ASSERT_EQ(awtk_host_render(), RET_OK);
        wh_t w = 0, h = 0;
        const uint8_t *fb = awtk_host_framebuffer(&w, &h);
        ASSERT_NE(fb, nullptr);
        ASSERT_EQ(w, 1280);
        ASSERT_EQ(h, 1024);
        /* Black border, the warm centre of the emblem, the accent ring. */
        auto px = [&](int x, int y) { return fb + 4 * ((size_t)y * (size_t)w + (size_t)x); };
        EXPECT_LT(px(20, 20)[0] + px(20, 20)[1] + px(20, 20)[2], 30);
        const uint8_t *centre = px(640 + 60, 420 + 60);
        EXPECT_GT(centre[0], 200);
        EXPECT_LT(centre[2], 120);
    });
}

TEST(BootPages, WindowWithoutImageChildStillStartsTheTimer)
{
    in_gui_child([] {
        widget_t *win = window_create(NULL, 0, 0, 1280, 1024);
        widget_set_name(win, "Boot_logo");
        ASSERT_EQ(Boot_logo_init(win, NULL), RET_OK);
        deliver(last_profile_block());
        awtk_test_step(3000);
        EXPECT_EQ(top_name(), VESK_HOME_PAGE);
    });
}

TEST(BootPages, HdpInitClearsTheReadyFlag)
{
    in_gui_child([] {
        deliver(last_profile_block());
        ASSERT_EQ(stUIStatus.event_distrubut_reday, 1);
        ASSERT_EQ(navigator_to("HDP_Init"), RET_OK);
        EXPECT_EQ(stUIStatus.event_distrubut_reday, 0);
        EXPECT_EQ(stUIStatus.u8VideoCurrentFrames, 500);
    });
}

TEST(BootPages, InitWithoutWindowIsRefused)
{
    in_gui_child([] {
        EXPECT_EQ(Boot_logo_init(NULL, NULL), RET_BAD_PARAMS);
        EXPECT_EQ(HDP_Init_init(NULL, NULL), RET_BAD_PARAMS);
        EXPECT_EQ(main_menu_init(NULL, NULL), RET_BAD_PARAMS);
        EXPECT_EQ(timer_count(), 0u);
    });
}

} // namespace
