// The recoil-video menus: the switch refused without room for the clips,
// the before and after wraps, the sensitivity wraps, and the five-row page
// whose settings rows stay out of reach while the feature is off.
#include <sys/mount.h>

#include "image_pages_test.h"

using namespace image_pages_test;

namespace {

/* A Media partition of the given size, so the storage check sees it. */
void media_of(const char *size)
{
    private_root();
    std::string opts = std::string("size=") + size;
    ASSERT_EQ(mount("tmpfs", "/usrdata/media", "tmpfs", 0, opts.c_str()), 0);
}

void open_page(const char *name, int32_t row)
{
    boot_to_home();
    open(name);
    ASSERT_EQ(top(), name);
    for (int32_t r = 1; r < row; r++) press('5');
    sent();
}

} // namespace

TEST(RavMenu, TheSwitchStaysOffWithoutRoomAndIsSentEitherWay)
{
    struct Case {
        const char *media;
        int from, want;
    } cases[] = {{"100m", 0, 0}, {"1g", 0, 1}, {"100m", 1, 0}, {"1g", 1, 0}};
    for (const Case &c : cases) {
        in_gui_child([&] {
            media_of(c.media);
            stDevStatus.s8RecoilState = (char)c.from;
            open_page("rav_menu", 1);
            press(',');
            EXPECT_EQ(stDevStatus.s8RecoilState, c.want) << c.media << " " << c.from;
            EXPECT_EQ(sent(), (std::vector<request>{{28, 0, 0xFF, c.want}})) << c.media << " " << c.from;
            EXPECT_EQ(node("label_compass_Switch_value").text, c.want ? "ON" : "OFF");
        });
    }
}

TEST(RavMenu, TimesAndSensitivityWrap)
{
    struct Case : value_step {
        const char *widget, *shown;
    } cases[] = {
        {2, &stDevStatus.s8RecoilBefore, 2, ']', 0, "label_time_before_recoil_value", "5s"},
        {2, &stDevStatus.s8RecoilBefore, 1, ',', 2, "label_time_before_recoil_value", "15s"},
        {3, &stDevStatus.s8RecoilAfter, 0, '[', 2, "label_time_after_recoil_value", "15s"},
        {3, &stDevStatus.s8RecoilAfter, 2, '[', 1, "label_time_after_recoil_value", "10s"},
        {4, &stDevStatus.s8RecoilSensitivity, 5, ']', 1, "label_sensitivity_value", "1"},
        {4, &stDevStatus.s8RecoilSensitivity, 1, '[', 5, "label_sensitivity_value", "5"},
        {4, &stDevStatus.s8RecoilSensitivity, 0, '[', 5, "label_sensitivity_value", "5"},
        {4, &stDevStatus.s8RecoilSensitivity, 3, ',', 4, "label_sensitivity_value", "4"},
    };
    for (const Case &c : cases) {
        in_gui_child([&] {
            *c.field = (char)c.stored;
            open_page("rav_menu", c.row);
            press((uint32_t)c.key);
            EXPECT_EQ(*c.field, c.want) << c.widget << " " << c.stored << c.key;
            EXPECT_EQ(sent(), (std::vector<request>{{28, c.row - 1, 0xFF, c.want}})) << c.widget;
            EXPECT_EQ(node(c.widget).text, c.shown);
        });
    }
}

TEST(RavMenu, OpensOnTheSwitchRowAndGoesBackToTheMainMenu)
{
    in_gui_child([] {
        open_page("rav_menu", 3);
        press('.');
        EXPECT_EQ(top(), "main_menu");
        open("rav_menu");
        EXPECT_EQ(image_pages_test::field("label_compass_Switch_name", "style"), "00E6BB_28_Medium_left");
        EXPECT_EQ(image_pages_test::field("view_rav_sel", "rect"), "0,0,364,56");
        press('3');
        press('1');
        EXPECT_EQ(top(), "QZ_home_page_1");
    });
}

TEST(RecoilMenu, SettingsRowsAreOutOfReachWhileTheFeatureIsOff)
{
    in_gui_child([] {
        media_of("1g");
        stDevStatus.s8RecoilState = 0;
        stDevStatus.s8RecoilBefore = 2;
        open_page("recoil_menu", 1);
        EXPECT_EQ(node("label_before_time").text, "15 s");
        /* Off: down jumps to exit and back. */
        press('5');
        press(',');
        EXPECT_EQ(top(), "main_menu");
        open("recoil_menu");
        press('3');
        press('3');
        press(',');
        EXPECT_EQ(stDevStatus.s8RecoilState, 1);
        EXPECT_EQ(sent(), (std::vector<request>{{28, 0, 0xFF, 1}}));
        /* On: every row in turn. */
        press('5');
        press(',');
        EXPECT_EQ(stDevStatus.s8RecoilBefore, 0);
        EXPECT_EQ(node("label_before_time").text, "5 s");
        press('5');
        press('5');
        stDevStatus.s8RecoilSensitivity = 5;
        press(',');
        EXPECT_EQ(stDevStatus.s8RecoilSensitivity, 1);
        EXPECT_EQ(sent(), (std::vector<request>{{28, 1, 0xFF, 0}, {28, 3, 0xFF, 1}}));
        press('[');
        press(']');
        EXPECT_TRUE(sent().empty());
    });
    in_gui_child([] {
        media_of("100m");
        stDevStatus.s8RecoilState = 0;
        open_page("recoil_menu", 1);
        press(',');
        EXPECT_EQ(stDevStatus.s8RecoilState, 0);
        EXPECT_EQ(sent(), (std::vector<request>{{28, 0, 0xFF, 0}}));
    });
}

TEST(RavMenus, Screens)
{
    struct Shot {
        const char *window, *name;
        int on;
        int32_t row;
    } shots[] = {{"rav_menu", "rav_menu_before", 1, 2},
                 {"recoil_menu", "recoil_menu_off", 0, 1},
                 {"recoil_menu", "recoil_menu_on", 1, 3}};
    for (const Shot &s : shots) {
        in_gui_child([&] {
            stDevStatus.s8RecoilState = (char)s.on;
            stDevStatus.s8RecoilBefore = 1;
            stDevStatus.s8RecoilAfter = 2;
            stDevStatus.s8RecoilSensitivity = 3;
            open_page(s.window, s.row);
            expect_resolved(s.window);
            EXPECT_TRUE(page_screenshot::matches(s.name));
        });
    }
}
