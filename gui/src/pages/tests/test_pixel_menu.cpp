// Bad-pixel correction: what the page clears and restores, the cursor
// moves and held steps, the automatic search that locks the keys for at
// most 30 s, every way out with and without the save report, and the list
// page. Timers run on the virtual clock.
#include "image_pages_test.h"

#include "home_page.h"

using namespace image_pages_test;

namespace {

const request cursor_on = {24, 0, 0xFF, 1};
const request cursor_off = {24, 0, 0xFF, 0};
const request save = {24, 3, 0xFF, 0};
const request reticle_on = {22, 1, 0xFF, 1};

/* The home page first, then the state the case sets, then the page. */
void open_pixel(const std::function<void()> &setup = [] {})
{
    boot_to_home();
    setup();
    open("pixel_menu");
    ASSERT_EQ(top(), "pixel_menu");
    sent();
}

void step(uint32_t ms)
{
    awtk_test_step(ms);
    awtk_test_pump();
}

void save_report()
{
    sightui_test::deliver(sightui_test::report(24, 3, 0xFF, {1}));
    awtk_test_pump();
}

} // namespace

TEST(PixelMenu, OpeningClearsTheDisplayAndTurnsTheCursorOn)
{
    in_gui_child([] {
        boot_to_home();
        info[0].ballistics_sw = 1;
        stDevStatus.s8VideoMode = 3;
        stUIStatus.s8LaserSwitch = 1;
        stDevStatus.s8RangeSwitch = 1;
        stUIStatus.s8RangeMode = 3;
        stDevStatus.s8ReticleMenuSwitch = 1;
        stUIStatus.s8WindSwitch = 1;
        open("pixel_menu");
        step(150);
        std::vector<request> got = sent();
        std::vector<request> want = {{27, 0, 0, 0},    {0, 0, 22, 0}, {4, 0, 0xFF, 0}, {4, 7, 0xFF, 0},
                                     {22, 1, 0xFF, 0}, {0, 0, 34, 0}, cursor_on,       {0, 0, 0, 0}};
        EXPECT_EQ(got, want);
        EXPECT_EQ(is_corner_info_visible, 0);
        EXPECT_FALSE(node("view_waiting").visible);
        EXPECT_EQ(node("image_btn_exit").image, "ic_exit_def");
        EXPECT_NE(field("view_btn_exit", "overrides").find("bg_image=ic_key_bg_long"), std::string::npos);
    });
}

TEST(PixelMenu, MovesMarksAndHeldSteps)
{
    in_gui_child([] {
        open_pixel();
        press("35[]");
        EXPECT_EQ(sent(),
                  (std::vector<request>{{24, 1, 0xFF, 0}, {24, 1, 0xFF, 1}, {24, 1, 0xFF, 2}, {24, 1, 0xFF, 3}}));
        EXPECT_EQ(node("image_btn_right").image, "ic_move_right_sel");
        EXPECT_NE(field("view_btn_right", "overrides").find("bg_image=ic_key_bg_sel"), std::string::npos);
        step(200);
        EXPECT_EQ(node("image_btn_right").image, "ic_move_right_def");
        press(',');
        EXPECT_EQ(sent(), (std::vector<request>{{24, 2, 0xFF, 1}}));
        EXPECT_EQ(node("image_btn_fix").image, "ic_badpix_fix_sel");

        press('<');
        EXPECT_EQ(sent(), (std::vector<request>{{24, 4, 0xFF, 2}}));
        EXPECT_EQ(node("image_btn_left").image, "ic_move_left_sel");
        step(500);
        step(500);
        EXPECT_EQ(sent(), (std::vector<request>{{24, 4, 0xFF, 2}, {24, 4, 0xFF, 2}}));
        press('k');
        EXPECT_EQ(node("image_btn_left").image, "ic_move_left_def");
        step(1500);
        EXPECT_TRUE(sent().empty());
    });
}

TEST(PixelMenu, KeysWaitForTheSearchReportOrThirtySeconds)
{
    for (bool report : {true, false}) {
        in_gui_child([&] {
            open_pixel();
            press('a');
            EXPECT_EQ(sent(), (std::vector<request>{{24, 2, 0xFF, 0}}));
            EXPECT_TRUE(node("view_waiting").visible);
            EXPECT_EQ(node("image_btn_auto").image, "ic_badpix_auto_sel");
            step(20000);
            press("3,.1");
            EXPECT_TRUE(sent().empty());
            EXPECT_EQ(top(), "pixel_menu");
            if (report)
                save_report();
            else
                step(10000);
            EXPECT_FALSE(node("view_waiting").visible);
            EXPECT_EQ(top(), "pixel_menu");
            press('3');
            EXPECT_EQ(sent(), (std::vector<request>{{24, 1, 0xFF, 0}})) << report;
        });
    }
}

TEST(PixelMenu, EveryWayOutWithAndWithoutTheSaveReport)
{
    struct Case {
        char key;
        bool first_report, second_report;
        uint32_t wait_ms; /* before the page may leave at the latest */
        std::vector<request> want;
        const char *top;
    } cases[] = {
        {'.', true, true, 0, {save, cursor_off, reticle_on}, "main_menu"},
        {'7', true, false, 500, {save, cursor_off, reticle_on}, "main_menu"},
        {'.', false, false, 1000, {save, cursor_off, reticle_on}, "main_menu"},
        {'1', true, false, 0, {cursor_off, reticle_on}, "QZ_home_page_1"},
        {'1', false, false, 500, {cursor_off, reticle_on}, "QZ_home_page_1"},
    };
    for (const Case &c : cases) {
        in_gui_child([&] {
            stDevStatus.s8ReticleMenuSwitch = 1;
            open_pixel();
            press((uint32_t)c.key);
            EXPECT_EQ(top(), "pixel_menu");
            EXPECT_EQ(node("view_waiting").visible, c.key != '1');
            if (c.first_report) save_report();
            if (c.second_report) save_report();
            if (c.wait_ms > 0) {
                step(c.wait_ms - 10);
                EXPECT_EQ(top(), "pixel_menu") << c.key;
                step(10);
            }
            EXPECT_EQ(top(), c.top) << c.key << c.first_report << c.second_report;
            EXPECT_EQ(sent(), c.want) << c.key << c.first_report << c.second_report;
            EXPECT_EQ(is_corner_info_visible, 1);
            EXPECT_EQ(stDevStatus.s8ReticleSwitch, 1);
        });
    }
    in_gui_child([] {
        /* Without the reticle menu the reticle stays off. */
        open_pixel([] {
            stDevStatus.s8ReticleMenuSwitch = 0;
            stDevStatus.s8ReticleSwitch = 0;
        });
        press('1');
        step(500);
        EXPECT_EQ(sent(), (std::vector<request>{cursor_off}));
        EXPECT_EQ(stDevStatus.s8ReticleSwitch, 0);
    });
}

TEST(PixelChild, RepairsSavesAndLeavesForTheMainMenu)
{
    in_gui_child([] {
        boot_to_home();
        stDevStatus.s8ReticleMenuSwitch = 1;
        stDevStatus.s8ReticleSwitch = 0;
        open("pixel_child");
        EXPECT_EQ(field("view_pix_sel", "rect"), "0,0,196,56");
        press(',');
        press('5');
        EXPECT_EQ(field("view_pix_sel", "rect"), "0,64,196,56");
        press(',');
        EXPECT_EQ(sent(), (std::vector<request>{{24, 2, 0xFF, 1}, {24, 2, 0xFF, 0}}));
        press('5');
        press(',');
        EXPECT_EQ(sent(), (std::vector<request>{save, reticle_on}));
        EXPECT_EQ(stUIStatus.s8BlindSwitch, 0);
        EXPECT_EQ(top(), "main_menu");
    });
    in_gui_child([] {
        boot_to_home();
        open("pixel_child");
        press('3');
        press(',');
        EXPECT_EQ(sent(), (std::vector<request>{cursor_off}));
        EXPECT_EQ(top(), "main_menu");
        open("pixel_child");
        press('.');
        EXPECT_EQ(top(), "main_menu");
        open("pixel_child");
        press('1');
        EXPECT_EQ(top(), "QZ_home_page_1");
    });
}

TEST(PixelPages, Screens)
{
    struct Shot {
        const char *window, *name, *keys;
    } shots[] = {{"pixel_menu", "pixel_menu", ""},
                 {"pixel_menu", "pixel_menu_searching", "a"},
                 {"pixel_child", "pixel_child_save", "55"}};
    for (const Shot &s : shots) {
        in_gui_child([&] {
            boot_to_home();
            open(s.window);
            press(s.keys);
            expect_resolved(s.window);
            EXPECT_TRUE(page_screenshot::matches(s.name));
        });
    }
}
