// The main menu: its key table (wrap with and without the second page,
// left on each row, the media browser refused while recording, back from a
// sub-menu, the reticle-menu switch) and its screens.
#include "menu_test.h"
#include "page_screenshot.h"

#include "home_page.h"
#include "ui_events.h"

using namespace menu_test;
using sightui_test::EventTap;
using sightui_test::in_gui_child;

namespace {

void open_main(int32_t row)
{
    boot_to_home();
    menu_index = row;
    open("main_menu");
    ASSERT_EQ(top(), "main_menu");
}

} // namespace

TEST(MainMenu, UpAndDownWrapOverTheRowsTheSwitchAllows)
{
    struct Row {
        int switch_on;
        int32_t from;
        char key;
        int32_t to;
        bool page2;
    } rows[] = {
        {0, 6, '5', 1, false}, {0, 1, '3', 6, false}, {0, 3, '5', 4, false}, {0, 4, '3', 3, false},
        {1, 6, '5', 7, true},  {1, 8, '5', 1, false}, {1, 1, '3', 8, true},  {1, 7, '3', 6, false},
    };
    for (const Row &r : rows) {
        in_gui_child([&] {
            stDevStatus.s8ReticleMenuSwitch = (char)r.switch_on;
            open_main(r.from);
            press((uint32_t)r.key);
            EXPECT_EQ(menu_index, r.to) << r.from << " " << r.key;
            EXPECT_EQ(node("view_page2").visible, r.page2);
            EXPECT_EQ(node("view_page1").visible, !r.page2);
            EXPECT_EQ(node("image_page").visible, r.switch_on == 1);
            EXPECT_EQ(node("image_page").image, r.page2 ? "ic_page2" : "ic_page1");
            EXPECT_TRUE(sent_hex().empty());
        });
    }
}

TEST(MainMenu, LeftDoesNothingOnLinkRowsAndTogglesWifi)
{
    for (int32_t row = 1; row <= 8; row++) {
        in_gui_child([&] {
            stDevStatus.s8ReticleMenuSwitch = 1;
            stDevStatus.s8WiFiSwitch = 0;
            open_main(row);
            press('[');
            EXPECT_EQ(top(), "main_menu") << row;
            std::vector<std::string> sent = sent_hex();
            if (row == 2) {
                ASSERT_EQ(sent.size(), 1u);
                EXPECT_EQ(sent[0], request_hex(5, 0, 0xFF, {1}));
                EXPECT_EQ(stDevStatus.s8WiFiSwitch, 1);
                EXPECT_EQ(node("lable_menu_WIFI_switch").text, "ON");
            } else {
                EXPECT_TRUE(sent.empty()) << row;
            }
        });
    }
}

TEST(MainMenu, WifiNameShowsOnlyOnTheWifiRowWithWifiOn)
{
    in_gui_child([] {
        stDevStatus.s8WiFiSwitch = 1;
        memcpy(stUIStatus.WifiName, "VeskNV-0042", 12);
        open_main(1);
        EXPECT_FALSE(node("lable_menu_WIFI_name").visible);
        press('5');
        EXPECT_TRUE(node("lable_menu_WIFI_name").visible);
        EXPECT_EQ(node("lable_menu_WIFI_name").text, "VeskNV-0042");
        EXPECT_EQ(node("label_menu_title").text, "Wi-Fi");
        /* A new name while the menu is open; the mirror keeps 31 bytes. */
        sightui_test::deliver(sightui_test::report(5, 5, 0xFF, bytes(32, 'N')));
        EXPECT_EQ(node("lable_menu_WIFI_name").text, std::string(31, 'N'));
        press(',');
        EXPECT_EQ(stDevStatus.s8WiFiSwitch, 0);
        EXPECT_FALSE(node("lable_menu_WIFI_name").visible);
    });
}

TEST(MainMenu, FileIsRefusedWhileRecordingAndStopsContinuousRanging)
{
    in_gui_child([] {
        open_main(4);
        stUIStatus.s8RecordingState = 1;
        EventTap tap;
        press(',');
        EXPECT_EQ(top(), "main_menu");
        std::vector<int> seen = tap.take();
        EXPECT_NE(std::find(seen.begin(), seen.end(), (int)UI_EV_RECORDING_TIP), seen.end());

        stUIStatus.s8RecordingState = 0;
        stUIStatus.s8RangeMode = 3;
        sent_hex();
        press(']');
        EXPECT_EQ(top(), "file_menu");
        std::vector<std::string> sent = sent_hex();
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent[0], request_hex(4, 0, 0xFF, {0}));
        /* On top of the menu, which stays open. */
        EXPECT_NE(navigator_find_window("main_menu"), nullptr);
    });
}

TEST(MainMenu, BackFromTheSettingsMenuSelectsItsRow)
{
    in_gui_child([] {
        open_main(6);
        press(',');
        EXPECT_EQ(top(), "setting_menu");
        EXPECT_EQ(navigator_find_window("main_menu"), nullptr);
        press('.');
        EXPECT_EQ(top(), "main_menu");
        EXPECT_EQ(menu_index, 6);
        EXPECT_EQ(node("image_menu_set").image, "ic_menu1_setting_sel");
        EXPECT_EQ(node("image_menu_set_enter").image, "ic_menu1_arrow_sel");
        EXPECT_EQ(node("label_menu_title").text, "Settings");
        press('1');
        EXPECT_EQ(top(), "QZ_home_page_1");
    });
}

TEST(MainMenu, ReticleMenuSwitchTurnsBallisticsAndRecoilVideoOffInOrder)
{
    in_gui_child([] {
        stDevStatus.s8ReticleMenuSwitch = 1;
        stDevStatus.s8RecoilState = 1;
        info[0].ballistics_sw = 1;
        open_main(3);
        press('P');
        EXPECT_EQ(top(), "QZ_home_page_1");
        EXPECT_EQ(stDevStatus.s8ReticleMenuSwitch, 0);
        EXPECT_EQ(info[0].ballistics_sw, 0);
        EXPECT_EQ(stDevStatus.s8RecoilState, 0);
        std::vector<std::string> want = {request_hex(27, 0, 0, {0, 0, 0, 0}), request_hex(22, 4, 0xFF, {0}),
                                         request_hex(28, 0, 0xFF, {0})};
        std::vector<std::string> sent = sent_hex();
        EXPECT_EQ(sent, want);
    });
    in_gui_child([] {
        /* Off to on: only the switch itself. */
        stDevStatus.s8ReticleMenuSwitch = 0;
        stDevStatus.s8RecoilState = 1;
        info[0].ballistics_sw = 1;
        open_main(1);
        press('P');
        EXPECT_EQ(sent_hex(), std::vector<std::string>{request_hex(22, 4, 0xFF, {1})});
        EXPECT_EQ(info[0].ballistics_sw, 1);
    });
}

TEST(MainMenu, Screens)
{
    struct Shot {
        const char *name;
        int32_t row;
        int wifi;
    } shots[] = {{"main_menu_row1", 1, 0}, {"main_menu_wifi_on", 2, 1}, {"main_menu_page2", 7, 0}};
    for (const Shot &s : shots) {
        in_gui_child([&] {
            stDevStatus.s8ReticleMenuSwitch = 1;
            stDevStatus.s8WiFiSwitch = (char)s.wifi;
            /* The name a unit takes at first, whole below its row. */
            snprintf(stUIStatus.WifiName, sizeof stUIStatus.WifiName, "VeskNV_SN_NuraxPRO520_LRF");
            open_main(s.row);
            expect_resolved("main_menu");
            EXPECT_EQ(page_screenshot::clipped(navigator_find_window("main_menu")), "");
            EXPECT_TRUE(page_screenshot::matches(s.name));
        });
    }
}
