// The settings menu: the rows its openers select, the automatic shutter
// steps, left on link and switch rows, the language switch, the busy rule
// of the date page and the screens.
#include "menu_test.h"

#include <algorithm>

#include "lrf_menu.h"
#include "setting_menu.h"
#include "ui_events.h"

using namespace menu_test;
using sightui_test::EventTap;
using sightui_test::in_gui_child;

namespace {

void open_settings(intptr_t ctx)
{
    boot_to_home();
    open("setting_menu", ctx);
    ASSERT_EQ(top(), "setting_menu");
    /* The debug-state query of the opening. */
    EXPECT_EQ(sent_hex(), std::vector<std::string>{request_hex(0, 0, 41, {255})});
}

void select_row(int row)
{
    while (setting_menu_index != row) press('5');
}

} // namespace

TEST(SettingMenu, OpeningContextSelectsTheRowItsPageCameFrom)
{
    struct Row {
        intptr_t ctx;
        int row;
        bool page2;
        const char *bar;
    } rows[] = {
        {0, 1, false, "0,0,364,56"},    {7, 1, false, "0,0,364,56"},  {5, 5, false, "0,224,364,56"},
        {6, 6, false, "0,280,364,56"},  {8, 8, true, "0,140,364,56"}, {9, 9, true, "0,196,364,56"},
        {10, 10, true, "0,252,364,56"}, {11, 1, false, "0,0,364,56"},
    };
    for (const Row &r : rows) {
        in_gui_child([&] {
            open_settings(r.ctx);
            EXPECT_EQ(setting_menu_index, r.row) << r.ctx;
            EXPECT_EQ(node("view_page2").visible, r.page2) << r.ctx;
            EXPECT_EQ(node("view_setting_sel").rect, r.bar) << r.ctx;
            EXPECT_EQ(node("image_page").image, r.page2 ? "ic_page2" : "ic_page1");
            EXPECT_EQ(node("image_page").rect, r.page2 ? "223,838,42,12" : "223,810,42,12");
        });
    }
}

TEST(SettingMenu, UpAndDownWrapOverElevenRows)
{
    in_gui_child([] {
        open_settings(0);
        press('3');
        EXPECT_EQ(setting_menu_index, 11);
        press('5');
        EXPECT_EQ(setting_menu_index, 1);
    });
}

TEST(SettingMenu, AutomaticShutterStepsByFiveOverZeroToThirty)
{
    struct Row {
        uint8_t stored;
        char key;
        int want;
    } rows[] = {{7, ']', 10}, {7, '[', 0},   {40, '[', 25}, {0, '[', 30}, {30, ']', 0},
                {30, ',', 0}, {25, ']', 30}, {255, ']', 0}, {5, '[', 0}};
    for (const Row &r : rows) {
        in_gui_child([&] {
            stDevStatus.s8AutoShutter = (char)r.stored;
            open_settings(0);
            press('5');
            press((uint32_t)r.key);
            EXPECT_EQ((uint8_t)stDevStatus.s8AutoShutter, r.want) << (int)r.stored << r.key;
            std::vector<std::string> sent = sent_hex();
            ASSERT_FALSE(sent.empty());
            EXPECT_EQ(sent[0], request_hex(1, 1, 13, {(uint8_t)r.want, 0}));
            EXPECT_EQ(node("label_auto_shutter_switch").text, std::to_string(r.want));
        });
    }
}

TEST(SettingMenu, LeftDoesNothingOnLinkRowsAndTogglesSwitchRows)
{
    struct Row {
        int row;
        const char *value;
        std::string frame;
    } rows[] = {
        {1, "label_video_switch", request_hex(0, 0, 8, {1})},
        {3, "label_microphone_switch", request_hex(0, 0, 26, {1})},
        {4, "label_ir_protection_switch", request_hex(1, 1, 8, {1, 0})},
        {5, nullptr, ""},
        {6, nullptr, ""},
        {8, nullptr, ""},
        {9, nullptr, ""},
        {10, nullptr, ""},
        {11, nullptr, request_hex(0, 0, 41, {1})},
    };
    for (const Row &r : rows) {
        in_gui_child([&] {
            open_settings(0);
            select_row(r.row);
            press('[');
            EXPECT_EQ(top(), "setting_menu") << r.row;
            std::vector<std::string> sent = sent_hex();
            if (r.frame.empty()) {
                EXPECT_TRUE(sent.empty()) << r.row;
                return;
            }
            ASSERT_FALSE(sent.empty()) << r.row;
            EXPECT_EQ(sent[0], r.frame) << r.row;
            if (r.value != nullptr) {
                EXPECT_EQ(node(r.value).text, "ON") << r.row;
            }
        });
    }
}

TEST(SettingMenu, DebugValueFollowsTheReplyNotTheRequest)
{
    in_gui_child([] {
        /* The switch is the logging library's: it runs here. */
        sightui_test::error_log_of([] {
            open_settings(11);
            press(',');
            EXPECT_EQ(node("vesk_label_debug_value").text, "OFF");
            sightui_test::deliver(sightui_test::report(0, 0, 41, {1}));
            EXPECT_EQ(node("vesk_label_debug_value").text, "ON");
            sightui_test::deliver(sightui_test::report(0, 0, 41, {0}));
        });
    });
}

TEST(SettingMenu, LanguageSwitchesBetweenEnglishAndRussianOnly)
{
    in_gui_child([] {
        open_settings(0);
        select_row(7);
        press(']');
        EXPECT_STREQ(locale_info()->language, "ru");
        EXPECT_EQ(stDevStatus.s8Language, 2);
        EXPECT_EQ(sent_hex(), std::vector<std::string>{request_hex(0, 0, 16, {2})});
        EXPECT_EQ(node("label_language_state").text, "Русский");
        EXPECT_EQ(node("label_video_switch").text, "ВЫКЛ");
        press(',');
        EXPECT_STREQ(locale_info()->language, "en");
        EXPECT_EQ(stDevStatus.s8Language, 0);
        EXPECT_EQ(node("label_video_switch").text, "OFF");
        EXPECT_EQ(node("label_language_state").text, "English");
    });
    in_gui_child([] {
        locale_info_change(locale_info(), "zh", "CN");
        stDevStatus.s8Language = 1;
        open_settings(0);
        select_row(7);
        press('[');
        EXPECT_STREQ(locale_info()->language, "zh");
        EXPECT_EQ(stDevStatus.s8Language, 1);
        EXPECT_EQ(sent_hex(), std::vector<std::string>{request_hex(0, 0, 16, {1})});
    });
}

TEST(SettingMenu, LinkRowsOpenTheirPagesAndDateWaitsForTheRecording)
{
    struct Row {
        int row;
        const char *page;
    } rows[] = {{5, "DataTime"}, {6, "restore_factory"}, {8, "Info_menu"}, {9, "memory_menu"}, {10, "lrf_menu"}};
    for (const Row &r : rows) {
        in_gui_child([&] {
            lrf_menu_index = 3;
            open_settings(0);
            select_row(r.row);
            press(']');
            EXPECT_EQ(top(), r.page);
            EXPECT_EQ(navigator_find_window("setting_menu"), nullptr);
            if (r.row == 10) {
                EXPECT_EQ(lrf_menu_index, 1);
            }
        });
    }
    in_gui_child([] {
        open_settings(5);
        stUIStatus.s8RecordingState = 1;
        EventTap tap;
        press(',');
        EXPECT_EQ(top(), "setting_menu");
        std::vector<int> seen = tap.take();
        EXPECT_NE(std::find(seen.begin(), seen.end(), (int)UI_EV_RECORDING_TIP), seen.end());
    });
}

TEST(SettingMenu, Screens)
{
    struct Shot {
        const char *name;
        intptr_t ctx;
        const char *lang;
    } shots[] = {{"setting_menu_page1", 0, "en"}, {"setting_menu_page2", 9, "en"}, {"setting_menu_ru", 0, "ru"}};
    for (const Shot &s : shots) {
        in_gui_child([&] {
            if (strcmp(s.lang, "ru") == 0) locale_info_change(locale_info(), "ru", "RU");
            stDevStatus.s8AutoShutter = 10;
            stDevStatus.s8MicroSwitch = 1;
            stDevStatus.s8Language = strcmp(s.lang, "ru") == 0 ? 2 : 0;
            open_settings(s.ctx);
            expect_resolved("setting_menu");
            EXPECT_TRUE(page_screenshot::matches(s.name));
        });
    }
}
