// The aim-mark page: single and held steps within 127..1151, centring, the
// freeze that ends before the save however the page closes, and the
// reticle-position page that no menu opens, with their screens.
#include "menu_test.h"

#include "ui_events.h"

using namespace menu_test;
using sightui_test::cat;
using sightui_test::in_gui_child;
using sightui_test::le16;

namespace {

std::string mark_hex(int x, int y) { return request_hex(22, 9, 0xFF, cat({le16(x), le16(y)})); }

void open_aim(int x, int y)
{
    boot_to_home();
    stDevStatus.s16RangeOffsetX = (short)x;
    stDevStatus.s16RangeOffsetY = (short)y;
    open("lrf_reticle_move");
    sent_hex();
}

} // namespace

TEST(AimMark, StepsStayWithinTheScreen)
{
    struct Row {
        int x, y;
        const char *keys;
        int steps; /* 500 ms ticks after the keys */
        int want_x, want_y;
        const char *x_text;
    } rows[] = {
        {1145, 639, ">", 0, 1151, 639, "X:1151"}, {1145, 639, ">", 2, 1151, 639, "X:1151"},
        {200, 639, "<", 1, 180, 639, "X:180"},    {639, 130, "4", 1, 639, 127, "X:639"},
        {639, 639, "3", 0, 639, 638, "X:639"},    {127, 639, "[", 0, 127, 639, "X:127"},
        {639, 639, "]]5", 0, 641, 640, "X:641"},  {639, 639, "6R", 3, 639, 649, "X:639"},
    };
    for (const Row &r : rows) {
        in_gui_child([&] {
            open_aim(r.x, r.y);
            press(r.keys);
            for (int i = 0; i < r.steps; i++) awtk_test_step(500);
            EXPECT_EQ(stDevStatus.s16RangeOffsetX, r.want_x) << r.keys;
            EXPECT_EQ(stDevStatus.s16RangeOffsetY, r.want_y) << r.keys;
            EXPECT_EQ(node("label_x_set_mm_value").text, r.x_text) << r.keys;
            std::vector<std::string> sent = sent_hex();
            ASSERT_FALSE(sent.empty()) << r.keys;
            EXPECT_EQ(sent.back(), mark_hex(r.want_x, r.want_y)) << r.keys;
        });
    }
}

TEST(AimMark, HeldKeyLightsItsButtonUntilTheRelease)
{
    in_gui_child([] {
        open_aim(639, 639);
        press('>');
        EXPECT_EQ(node("image_btn_right").image, "ic_move_right_sel");
        awtk_test_step(1000);
        EXPECT_EQ(node("image_btn_right").image, "ic_move_right_sel");
        EXPECT_EQ(stDevStatus.s16RangeOffsetX, 669);
        press('l');
        EXPECT_EQ(node("image_btn_right").image, "ic_move_right_def");
        awtk_test_step(1000);
        EXPECT_EQ(stDevStatus.s16RangeOffsetX, 669);
        /* A short press lights for 200 ms. */
        press('[');
        EXPECT_EQ(node("image_btn_left").image, "ic_move_left_sel");
        awtk_test_step(199);
        EXPECT_EQ(node("image_btn_left").image, "ic_move_left_sel");
        awtk_test_step(1);
        EXPECT_EQ(node("image_btn_left").image, "ic_move_left_def");
    });
}

TEST(AimMark, OkCentresAndLeavingUnfreezesBeforeTheSave)
{
    for (const char *leave : {".", "7", "1"}) {
        in_gui_child([&] {
            open_aim(700, 500);
            press(',');
            EXPECT_EQ(stDevStatus.s16RangeOffsetX, 639);
            EXPECT_EQ(stDevStatus.s16RangeOffsetY, 639);
            EXPECT_EQ(node("label_y_set_mm_value").text, "Y:639");
            EXPECT_EQ(node("image_btn_centralinfo").image, "ic_centralinfo_sel");
            if (strcmp(leave, ".") == 0) {
                expect_resolved("lrf_reticle_move");
                EXPECT_TRUE(page_screenshot::matches("lrf_reticle_move_centred"));
            }
            press('a');
            EXPECT_EQ(node("image_btn_freeze").image, "ic_freeze");
            sent_hex();
            press(leave);
            EXPECT_EQ(top(), "QZ_home_page_1") << leave;
            EXPECT_EQ(stUIStatus.s8Irfreeze, 0);
            EXPECT_EQ(sent_hex(),
                      (std::vector<std::string>{request_hex(1, 1, 10, {0, 0}), request_hex(0, 30, 0xFF, {0})}))
                << leave;
        });
    }
}

TEST(AimMark, AFreezeReportClearsTheIcon)
{
    in_gui_child([] {
        open_aim(639, 639);
        press('a');
        EXPECT_EQ(node("image_btn_freeze").image, "ic_freeze");
        event_distrubution(UI_EVT(UI_EV_FREEZE_RELEASED));
        awtk_test_pump();
        EXPECT_EQ(node("image_btn_freeze").image, "ic_freeze_un");
        EXPECT_EQ(stUIStatus.s8Irfreeze, 0);
        sent_hex();
        press('.');
        EXPECT_EQ(sent_hex(), std::vector<std::string>{request_hex(0, 30, 0xFF, {0})}) << "nothing to unfreeze";
    });
}

TEST(ReticleMove, ShowsTheZeroAndStepsTheZoomLevel)
{
    in_gui_child([] {
        boot_to_home();
        ui_current_zero_point()->s8IrCursorCurrentX = 650;
        ui_current_zero_point()->s8IrCursorCurrentY = 630;
        stDevStatus.s8VideoMode = 3;
        open("reticle_move");
        EXPECT_EQ(node("label_x_value").text, "10");
        EXPECT_EQ(node("label_y_value").text, "-10");
        EXPECT_EQ(node("label_freeze_switch").text, "OFF");
        EXPECT_EQ(node("view_temp_reticle").rect.substr(0, 8), "649,629,");
        EXPECT_EQ(stDevStatus.s8VideoMode, 0);
        expect_resolved("reticle_move");
        EXPECT_TRUE(page_screenshot::matches("reticle_move"));
        sent_hex();
        const char *texts[] = {"6X", "12X", "24X", "3X"};
        const uint8_t levels[] = {2, 4, 8, 1};
        for (int i = 0; i < 4; i++) {
            press(',');
            EXPECT_EQ(node("label_zoom_value").text, texts[i]);
            EXPECT_EQ(sent_hex(), std::vector<std::string>{request_hex(1, 1, 16, {levels[i], 0})});
            EXPECT_EQ(stUIStatus.s8IRZoom, 100) << "the mirror keeps the reported zoom";
        }
        press('.');
        EXPECT_EQ(top(), "reticle_menu");
    });
}
