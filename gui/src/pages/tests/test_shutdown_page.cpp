// The shutdown countdown on the virtual clock: what it shows each second,
// the frames it sends and when, the cancel key, and the lifecycle outcomes
// that end it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "awtk_host.h"
#include "general_reticle.h"
#include "home_page.h"
#include "navigator.h"
#include "pages.h"
#include "sightui_test.h"
#include "sim_tree.h"
#include "ui_events.h"
#include "ui_keys.h"
#include "ui_status.h"

using namespace sightui_test;

namespace {

sim_widget node(const std::string &name) { return sim_tree_widget(tree_dump(), name); }

const bytes kSaveAll = frame(16, 3, 0, 0, {0});
const bytes kPowerOff = frame(0, 0, 13, 0, {1});

/* What the countdown sent: the home page's own menu-level reports (object
 * 0, item 39) are left out. */
std::vector<bytes> countdown_frames()
{
    std::vector<bytes> out;
    for (const bytes &f : sent_frames())
        if (!(f.size() >= 5 && f[2] == 0 && f[4] == 39)) out.push_back(f);
    return out;
}

bool is_recording_stop(const bytes &f) { return f.size() == 34 && f[2] == 23 && f[4] == 0 && f[6] == 1; }
bool is_recoil_stop(const bytes &f) { return f.size() == 10 && f[2] == 28 && f[3] == 6 && f[6] == 1; }

/* The home page, then a long press of power as sightd reports it: the
 * GUI's power-key rules open the countdown over the page on top. */
void open_countdown_over_home()
{
    start_queues();
    ASSERT_EQ(general_reticle_register(), RET_OK);
    ASSERT_EQ(navigator_to(VESK_HOME_PAGE), RET_OK);
    awtk_test_step(100);
    stUIStatus.s8InterfaceState = INTERFACE_OBSERVE;
    deliver(report(7, 0, 0, {KEY_POWER_L}));
    ASSERT_EQ(top_name(), "QZ_SHUT_DOWN");
    EXPECT_STREQ(stUIStatus.temp_window, VESK_HOME_PAGE);
    sent_frames();
}

TEST(ShutdownCountdown, SavesAtTheFirstSecondAndAsksForPowerOffAtTheThird)
{
    in_gui_child([] {
        ASSERT_NO_FATAL_FAILURE(open_countdown_over_home());
        EXPECT_EQ(node("image_shutdown").image, "pic_countdown_3s");
        awtk_test_step(999);
        EXPECT_TRUE(countdown_frames().empty());
        awtk_test_step(1);
        EXPECT_EQ(stUIStatus.shutdown_count, 1);
        EXPECT_EQ(node("image_shutdown").image, "pic_countdown_2s");
        EXPECT_EQ(countdown_frames(), std::vector<bytes>{kSaveAll});
        awtk_test_step(1000);
        EXPECT_EQ(node("image_shutdown").image, "pic_countdown_1s");
        EXPECT_TRUE(countdown_frames().empty());
        awtk_test_step(1000);
        EXPECT_EQ(countdown_frames(), std::vector<bytes>{kPowerOff});
        EXPECT_EQ(stUIStatus.timer_id_shutdown, 0u);
        awtk_test_step(3000);
        EXPECT_TRUE(countdown_frames().empty()) << "one request; the device powers off";
        EXPECT_EQ(top_name(), "QZ_SHUT_DOWN");
    });
}

/* A running recording is stopped before the request; a recoil video is
 * stopped and given a second more. */
TEST(ShutdownCountdown, StopsRecordingsBeforeThePowerOffRequest)
{
    struct Row {
        int recording;
        int recoil;
        uint64_t waited; /* ms the last tick holds the GUI */
    } rows[] = {{0, 0, 100}, {1, 0, 100}, {0, 1, 1100}, {1, 1, 1100}};
    for (const Row &row : rows) {
        SCOPED_TRACE("recording " + std::to_string(row.recording) + " recoil " + std::to_string(row.recoil));
        in_gui_child([&] {
            ASSERT_NO_FATAL_FAILURE(open_countdown_over_home());
            stUIStatus.s8RecordingState = (char)row.recording;
            if (row.recoil) {
                stUIStatus.s8Record_start_end = 1;
                event_distrubution(UI_EVT(UI_EV_RECORDING));
                awtk_test_pump();
                ASSERT_TRUE(vesk_home_rav_running());
            }
            awtk_test_step(2000);
            countdown_frames();
            uint64_t before = time_now_ms();
            awtk_test_step(1000);
            EXPECT_EQ(time_now_ms() - before, 1000 + row.waited);
            std::vector<bytes> sent = countdown_frames();
            ASSERT_FALSE(sent.empty());
            EXPECT_EQ(sent.back(), kPowerOff);
            size_t i = 0;
            if (row.recording) {
                EXPECT_TRUE(is_recording_stop(sent[i++]));
            }
            if (row.recoil) {
                EXPECT_TRUE(is_recoil_stop(sent[i++]));
            }
            EXPECT_EQ(sent.size(), i + 1);
        });
    }
}

TEST(ShutdownCountdown, FunctionKeyCancelsWithinTwoSecondsAndReturns)
{
    in_gui_child([] {
        ASSERT_NO_FATAL_FAILURE(open_countdown_over_home());
        awtk_test_step(1500);
        EXPECT_EQ(countdown_frames(), std::vector<bytes>{kSaveAll});
        awtk_test_key(GUI_KEY_FUCTION_S);
        awtk_test_pump();
        EXPECT_EQ(top_name(), VESK_HOME_PAGE);
        EXPECT_EQ(stUIStatus.shutdown_count, 0);
        EXPECT_EQ(stUIStatus.timer_id_shutdown, 0u);
        awtk_test_step(5000);
        EXPECT_TRUE(countdown_frames().empty());
    });
}

/* Any key of the device cancels through the GUI's key rules, back to the
 * page that was on top. */
TEST(ShutdownCountdown, ADeviceKeyReturnsToThePageOnTop)
{
    in_gui_child([] {
        start_queues();
        ASSERT_EQ(general_reticle_register(), RET_OK);
        ASSERT_EQ(navigator_to(VESK_HOME_PAGE), RET_OK);
        ASSERT_EQ(navigator_to("main_menu"), RET_OK);
        awtk_test_step(100);
        stUIStatus.s8InterfaceState = INTERFACE_OBSERVE;
        deliver(report(7, 0, 0, {KEY_POWER_L}));
        ASSERT_EQ(top_name(), "QZ_SHUT_DOWN");
        awtk_test_step(1900);
        deliver(report(7, 0, 0, {KEY_FOCUS_UP_S}));
        EXPECT_EQ(top_name(), "main_menu");
        countdown_frames();
        awtk_test_step(3000);
        for (const bytes &f : countdown_frames()) EXPECT_NE(f, kPowerOff);
    });
}

TEST(ShutdownCountdown, LifecycleOutcomes)
{
    struct Row {
        int reason, outcome;
        bool stays; /* with the save-failed tip */
    } rows[] = {{1, 3, false}, {1, 1, false}, {5, 2, true}, {9, 2, false}};
    for (const Row &row : rows) {
        SCOPED_TRACE(std::to_string(row.reason) + "/" + std::to_string(row.outcome));
        in_gui_child([&] {
            ASSERT_NO_FATAL_FAILURE(open_countdown_over_home());
            awtk_test_step(1200);
            deliver(report(0, 0, 42, {(uint8_t)row.reason, (uint8_t)row.outcome}));
            if (row.stays) {
                EXPECT_EQ(top_name(), "QZ_SHUT_DOWN");
                sim_widget tip = node("lable_shutdown_tip1");
                EXPECT_TRUE(tip.visible);
                EXPECT_EQ(tip.text, "Settings could not be saved");
                return;
            }
            EXPECT_EQ(top_name(), VESK_HOME_PAGE);
            EXPECT_EQ(stUIStatus.timer_id_shutdown, 0u);
            EXPECT_EQ(stUIStatus.shutdown_count, 0);
            countdown_frames();
            awtk_test_step(3000);
            for (const bytes &f : countdown_frames()) EXPECT_NE(f, kPowerOff);
        });
    }
}

TEST(ShutdownCountdown, OpeningTwiceLeavesOneSubscription)
{
    in_gui_child([] {
        ASSERT_NO_FATAL_FAILURE(open_countdown_over_home());
        ASSERT_EQ(navigator_to("QZ_SHUT_DOWN"), RET_OK);
        awtk_test_pump();
        EXPECT_EQ(QZ_SHUT_DOWN_init(nullptr, nullptr), RET_BAD_PARAMS);
        awtk_test_step(1000);
        EXPECT_EQ(countdown_frames(), std::vector<bytes>{kSaveAll}) << "one countdown runs";
    });
}

/* The screen as the shooter sees it, written beside the test for a look. */
TEST(ShutdownCountdown, RendersTheCountdownPanel)
{
    in_gui_child([] {
        ASSERT_NO_FATAL_FAILURE(open_countdown_over_home());
        ASSERT_EQ(awtk_host_screenshot("QZ_SHUT_DOWN-3s.png"), RET_OK);
        awtk_test_step(1000);
        ASSERT_EQ(awtk_host_screenshot("QZ_SHUT_DOWN-2s.png"), RET_OK);
        wh_t w = 0, h = 0;
        const uint8_t *fb = awtk_host_framebuffer(&w, &h);
        ASSERT_NE(fb, nullptr);
        /* The ring's top: the accent colour, 84 px above the image centre. */
        const uint8_t *p = fb + ((size_t)(292 + 120 + 100 - 84) * w + 640) * 4;
        EXPECT_EQ(p[0], 0x00);
        EXPECT_GT(p[1], 0xC0);
        EXPECT_GT(p[2], 0xA0);
    });
}

} // namespace
