// The zeroing pages: the zero distance typed digit by digit and held to
// 11..1500 m, the movement panel's sub-pixel steps, held steps and limits,
// the old zero mark, the slot list that never selects a slot a group does
// not have, the range-mark mover, and their screens.
#include "menu_test.h"
#include "page_screenshot.h"

#include "pages.h"
#include "ui_events.h"
#include "utils_common.h"
#include "zero_pages.h"

using namespace menu_test;
using sightui_test::cat;
using sightui_test::f32;
using sightui_test::in_gui_child;
using sightui_test::le16;

namespace {

const std::string k_save_all = request_hex(16, 3, 0, {0});

Qel_Cursor_Zero &slot() { return *ui_current_zero_point(); }

/* The style of the named widget of the top window. */
std::string style_of(const std::string &name)
{
    char *dump = awtk_host_dump_tree();
    std::string text = dump != nullptr ? dump : "";
    free(dump);
    size_t at = text.rfind(" name=\"" + name + "\"");
    if (at == std::string::npos) return "";
    size_t start = text.rfind('\n', at);
    start = start == std::string::npos ? 0 : start + 1;
    return sim_tree_field(text.substr(start, text.find('\n', at) - start), "style");
}

std::string position_hex(int x, int y) { return request_hex(22, 3, 0xFF, cat({le16(x), le16(y)})); }

std::string offset_hex(int item, float v) { return request_hex(22, (uint8_t)item, 0xFF, f32(v)); }

/* The home page, the current group 2 with its second slot current. */
void zero_home(int zoom = 100)
{
    boot_to_home();
    stUIStatus.s8IRZoom = (int16_t)zoom;
    stUIStatus.CursorZoomX = 639;
    stUIStatus.CursorZoomY = 639;
    IR_Cursor.u8CurrentGroup = 2;
    IR_Cursor.group[2].u8CurrentZero = 1;
}

} // namespace

TEST(ZeroPages, InitWithoutAWindowIsRefused)
{
    for (page_init_t init : {QZ_shortcut_menu_init, QZ_reticle_zero_init, QZ_reticle_zero_dist_init,
                             QZ_reticle_zero_child_init, QZ_range_move_init, reticle_move_init, lrf_reticle_move_init})
        EXPECT_EQ(init(nullptr, nullptr), RET_BAD_PARAMS);
}

TEST(ZeroPages, ConversionsKeepFractionsAndLimits)
{
    struct Split {
        float offset;
        int value;
        int ret;
        float offset_after;
        int value_after;
    } splits[] = {{1.0f, 0, 0, 1.0f, 0},
                  {-1.0f, 3, 0, -1.0f, 3},
                  {1.5f, 2, 1, 0.5f, 3},
                  {-2.25f, 0, 1, -0.25f, -2},
                  {0.7f, -4, 0, 0.7f, -4},
                  /* A damaged slot: the whole part is held to a coordinate
                   * (the clamp then ends at the panel's limit), never an
                   * int conversion out of range. */
                  {3e9f, 0, 1, 3e9f - VESK_COORD_LIMIT, VESK_COORD_LIMIT},
                  {-1e30f, 5, 1, -1e30f, 5 - VESK_COORD_LIMIT}};
    for (const Split &s : splits) {
        float o = s.offset;
        int v = s.value;
        EXPECT_EQ(splitFloat(&o, &v), s.ret) << s.offset;
        EXPECT_FLOAT_EQ(o, s.offset_after) << s.offset;
        EXPECT_EQ(v, s.value_after) << s.offset;
    }
    struct Clamp {
        int value;
        float offset;
        int value_after;
        float offset_after;
    } clamps[] = {{-200, -0.5f, -200, 0}, {199, 0.5f, 199, 0.5f}, {200, 0.75f, 200, 0}, {-210, 0, -200, 0}};
    for (const Clamp &c : clamps) {
        int v = c.value;
        float o = c.offset;
        EXPECT_EQ(clamp_offset(&v, &o), c.value_after);
        EXPECT_FLOAT_EQ(o, c.offset_after);
    }
    float o = -0.7f;
    set_b_when_a_zero(0, &o, 0.3f);
    EXPECT_EQ(o, 0.0f);
    o = 0.4f;
    set_b_when_a_zero(0, &o, 0.3f);
    EXPECT_FLOAT_EQ(o, 0.4f);
    EXPECT_FLOAT_EQ(calc_pix2mm(100, 1), 10.0f);
    EXPECT_FLOAT_EQ(calc_pix2mm(100, 2), 5.0f);
    /* No zoom yet: the factory 1.00x, never a division by zero. */
    EXPECT_FLOAT_EQ(calc_pix2mm(100, 0), 10.0f);
}

TEST(ZeroEditor, DistanceDigitsAreHeldToTheirLimits)
{
    struct Row {
        int unit;
        const char *keys; /* after ',' on the distance row, from 0100 */
        int want;
        const char *shown;
    } rows[] = {
        {0, "]5]]33333,", 11, "0011"},        /* 0005 */
        {1, "5]33333333]5]5,", 1500, "1500"}, /* 9999 yd */
        {0, "5,", 1500, "1500"},              /* the thousands digit wraps to 8 in metres: 8100 */
        {0, "]3]3]3.", 211, "0211"},          /* long OK commits too */
    };
    for (const Row &r : rows) {
        in_gui_child([&] {
            zero_home();
            stDevStatus.s8DistanceUint = (char)r.unit;
            slot().u16IrCursorDistance = 100;
            slot().u16IrCursorDistanceYD = 109;
            info[2].gun.scope.zeroRange_yard = 109;
            open("QZ_reticle_zero_child", (intptr_t)1);
            press(',');
            EXPECT_TRUE(node("view_distance_val").visible);
            press(r.keys);
            EXPECT_EQ(top(), "QZ_reticle_zero_child") << r.keys;
            EXPECT_EQ(slot().u16IrCursorDistance, r.want) << r.keys;
            EXPECT_EQ(info[2].gun.scope.zeroRange, r.want) << r.keys;
            EXPECT_EQ(IR_Cursor.group[2].zero[0].u16IrCursorDistance, 100) << "the other slot keeps its distance";
            std::string shown;
            for (const char *l :
                 {"distance_value_dig_4", "distance_value_dig_3", "distance_value_dig_2", "distance_value_dig_1"})
                shown += node(l).text;
            EXPECT_EQ(shown, r.shown) << r.keys;
            EXPECT_FALSE(node("view_distance_val").visible);
            /* The yards follow the metres. */
            const int yd = (int)(r.want * 1.0936 + 1e-6);
            EXPECT_EQ(slot().u16IrCursorDistanceYD, yd);
            EXPECT_EQ(info[2].gun.scope.zeroRange_yard, yd);
            EXPECT_EQ(sent_hex(), (std::vector<std::string>{
                                      request_hex(22, 10, 0xFF, cat({le16(r.want), le16(yd)})),
                                      request_hex(27, 5, 1, cat({le16(r.want), le16(yd)})),
                                  }))
                << r.keys;
        });
    }
}

TEST(ZeroEditor, RowsKeysAndLeaving)
{
    in_gui_child([] {
        zero_home();
        slot().u16IrCursorDistance = 100;
        info[0].ballistics_sw = 1;
        open("QZ_reticle_zero_child", (intptr_t)2);
        EXPECT_EQ(node("view_zero_child_sel").rect.substr(0, 5), "0,56,");
        EXPECT_EQ(style_of("label_movement"), "00E6BB_28_Medium_left");
        EXPECT_EQ(style_of("label_arrow"), "00E6BB_28_Medium_right");
        expect_resolved("QZ_reticle_zero_child");
        EXPECT_TRUE(page_screenshot::matches("QZ_reticle_zero_child_movement"));
        press('5');
        EXPECT_EQ(node("view_zero_child_sel").rect.substr(0, 4), "0,0,");
        /* Power while editing commits first. */
        press(",]3");
        press('1');
        EXPECT_EQ(top(), "QZ_home_page_1");
        EXPECT_EQ(slot().u16IrCursorDistance, 200);
        std::vector<std::string> sent = sent_hex();
        ASSERT_EQ(sent.size(), 3u);
        EXPECT_EQ(sent[2], request_hex(27, 0, 1, {1, 0, 0, 0})) << "the close asks for a new solution";

        /* Long OK while idle saves everything and returns to the reticle
         * menu's movement row. */
        open("QZ_reticle_zero_child", (intptr_t)7);
        EXPECT_EQ(node("view_zero_child_sel").rect.substr(0, 4), "0,0,");
        reticle_menu_index = 1;
        press('.');
        EXPECT_EQ(top(), "reticle_menu");
        EXPECT_EQ(reticle_menu_index, RETICLE_MENU_MOVEMENT_ROW);
        sent = sent_hex();
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent[0], k_save_all);

        /* The movement row leads on to the panel. */
        open("QZ_reticle_zero_child", (intptr_t)2);
        press(']');
        EXPECT_EQ(top(), "QZ_reticle_zero_dist");
    });
}

TEST(ZeroPanel, FineStepsAtTwoTimesMoveHalfPixels)
{
    in_gui_child([] {
        zero_home(200);
        slot().s8IrCursorCurrentX = 639;
        slot().flIrCursorOffsetX = 0;
        open("QZ_reticle_zero_dist");
        sent_hex();
        press(']');
        EXPECT_EQ(sent_hex(), std::vector<std::string>{offset_hex(13, 0.5f)});
        EXPECT_EQ(node("image_btn_right").image, "ic_move_right_sel");
        awtk_test_step(200);
        EXPECT_EQ(node("image_btn_right").image, "ic_move_right_def");
        /* Exactly one whole pixel stays in the fraction. */
        press(']');
        EXPECT_EQ(sent_hex(), std::vector<std::string>{offset_hex(13, 1.0f)});
        press(']');
        EXPECT_EQ(sent_hex(), (std::vector<std::string>{position_hex(640, 639), offset_hex(13, 0.5f)}));
        EXPECT_EQ(slot().s8IrCursorCurrentX, 640);
        EXPECT_FLOAT_EQ(slot().flIrCursorOffsetX, 0.5f);
        EXPECT_EQ(node("label_x_cur_mm_value").text, "15.00 mm");
        EXPECT_EQ(node("label_x_diff_mil_value").text, "0.15 mil");
        /* Up is '3': the vertical read-outs count up as positive. */
        press('3');
        EXPECT_EQ(sent_hex(), std::vector<std::string>{offset_hex(14, -0.5f)});
        EXPECT_EQ(node("label_y_diff_mil_value").text, "0.05 mil");
    });
}

TEST(ZeroPanel, AStepAcrossTheCentreDropsTheFraction)
{
    in_gui_child([] {
        zero_home(100);
        slot().s8IrCursorCurrentX = 639;
        slot().flIrCursorOffsetX = 0.3f;
        open("QZ_reticle_zero_dist");
        sent_hex();
        press('[');
        EXPECT_EQ(sent_hex(), std::vector<std::string>{offset_hex(13, 0.0f)});
        EXPECT_EQ(slot().flIrCursorOffsetX, 0.0f);
        EXPECT_EQ(node("label_x_cur_mm_value").text, "0.00 mm");
    });
}

TEST(ZeroPanel, HeldKeyStepsTenPixelsEvery500MsAndStopsAtTheLimit)
{
    in_gui_child([] {
        zero_home(100);
        slot().s8IrCursorCurrentX = 639 - 175;
        open("QZ_reticle_zero_dist");
        sent_hex();
        press('<');
        EXPECT_EQ(slot().s8IrCursorCurrentX, 639 - 185);
        EXPECT_EQ(node("image_btn_left").image, "ic_move_left_sel");
        awtk_test_step(499);
        EXPECT_EQ(slot().s8IrCursorCurrentX, 639 - 185);
        awtk_test_step(1);
        EXPECT_EQ(slot().s8IrCursorCurrentX, 639 - 195);
        awtk_test_step(500);
        EXPECT_EQ(slot().s8IrCursorCurrentX, 639 - 200);
        awtk_test_step(500);
        EXPECT_EQ(slot().s8IrCursorCurrentX, 639 - 200) << "the total stops at -200";
        EXPECT_EQ(node("image_btn_left").image, "ic_move_left_sel");
        press('k');
        EXPECT_EQ(node("image_btn_left").image, "ic_move_left_def");
        sent_hex();
        awtk_test_step(2000);
        EXPECT_TRUE(sent_hex().empty());
        /* Centre: both axes back to 639, both fractions sent. */
        press(',');
        EXPECT_EQ(sent_hex(), (std::vector<std::string>{position_hex(639, 639), offset_hex(13, 0), offset_hex(14, 0)}));
    });
}

TEST(ZeroPanel, BeforeAnyZoomReportTheFactoryZoomApplies)
{
    in_gui_child([] {
        zero_home(100);
        stUIStatus.s8IRZoom = 0;
        slot().s8IrCursorCurrentX = 639;
        slot().flIrCursorOffsetX = 0.5f;
        open("QZ_reticle_zero_dist");
        EXPECT_EQ(node("label_curr_mil").text, "/0.1000 mil");
        EXPECT_EQ(node("label_curr_mm").text, "10.0000 mm");
        sent_hex();
        press(']');
        EXPECT_EQ(sent_hex(), (std::vector<std::string>{position_hex(640, 639), offset_hex(13, 0.5f)}));
    });
}

TEST(ZeroPanel, TheOldZeroMarkIsShownOnlyInsideThePicture)
{
    struct Row {
        int x, y, zoom, video_mode;
        bool visible;
        const char *at;
    } rows[] = {
        {639, 639, 100, 0, true, "637,637,"},
        {639, 639 - 520, 100, 0, false, "637,117,"},
        {639, 639 + 513, 100, 0, true, "637,1150,"},
        {639, 639 + 514, 100, 0, false, "637,1151,"},
        {639 + 600, 639 + 300, 100, 0, false, "1237,937,"},
        {639 + 300, 639, 200, 0, true, "1237,637,"},
        {639 + 330, 639, 200, 0, false, "1297,637,"},
    };
    for (const Row &r : rows) {
        in_gui_child([&] {
            zero_home(r.zoom);
            stDevStatus.s8VideoMode = (char)r.video_mode;
            slot().s8IrCursorCurrentX = (short)r.x;
            slot().s8IrCursorCurrentY = (short)r.y;
            open("QZ_reticle_zero_dist");
            sim_widget mark = node("image_temp_reticle");
            EXPECT_EQ(mark.visible, r.visible) << r.x << "," << r.y << " at " << r.zoom;
            EXPECT_EQ(mark.rect.substr(0, strlen(r.at)), r.at) << r.x << "," << r.y;
        });
    }
}

/* The largest figures the panel can show (a 1500 m zero, the reticle 200
 * pixels out on both axes) stay whole in every language; a zero of 1000 m
 * and more used to read "100.0000 mr". */
TEST(ZeroPanel, EveryFigureFitsItsLabelInEveryLanguage)
{
    const struct {
        const char *language, *country;
    } locales[] = {{"en", "US"}, {"ru", "RU"}, {"zh", "CN"}};
    for (const auto &l : locales) {
        in_gui_child([&] {
            zero_home(100);
            locale_info_change(locale_info(), l.language, l.country);
            slot().u16IrCursorDistance = 1500;
            slot().s8IrCursorCurrentX = 639 - 200;
            slot().s8IrCursorCurrentY = 639 + 200;
            open("QZ_reticle_zero_dist");
            EXPECT_EQ(node("label_curr_mm").text, "150.0000 mm");
            EXPECT_EQ(node("label_x_set_mm_value").text, "-30000.00 mm");
            EXPECT_EQ(node("label_y_set_mm_value").text, "-30000.00 mm");
            EXPECT_EQ(page_screenshot::clipped(navigator_find_window("QZ_reticle_zero_dist")), "") << l.language;
            /* Both axes back to the centre: the shift is the whole way. */
            press(',');
            EXPECT_EQ(node("label_y_diff_mil_value").text, "20.00 mil");
            EXPECT_EQ(page_screenshot::clipped(navigator_find_window("QZ_reticle_zero_dist")), "") << l.language;
        });
    }
}

TEST(ZeroPanel, EntryLeavesPictureInPictureAndFreezeEndsWithThePage)
{
    in_gui_child([] {
        zero_home(100);
        stDevStatus.s8VideoMode = 3;
        info[0].ballistics_sw = 1;
        stDevStatus.s8ReticleColour = 3;
        open("QZ_reticle_zero_dist");
        EXPECT_EQ(node("image_temp_reticle").image, "ballistics_reticle_red_5px");
        EXPECT_EQ(stDevStatus.s8VideoMode, 0);
        EXPECT_EQ(info[0].ballistics_sw, 0);
        awtk_test_step(100);
        std::vector<std::string> sent = sent_hex();
        EXPECT_NE(std::find(sent.begin(), sent.end(), request_hex(27, 0, 0, {0, 0, 0, 0})), sent.end());
        EXPECT_NE(std::find(sent.begin(), sent.end(), request_hex(0, 0, 0, {0})), sent.end());
        EXPECT_FALSE(node("label_Calibration_Text_value").visible);
        expect_resolved("QZ_reticle_zero_dist");
        EXPECT_TRUE(page_screenshot::matches("QZ_reticle_zero_dist"));
        press('a');
        EXPECT_EQ(node("image_btn_freeze").image, "ic_freeze");
        EXPECT_EQ(sent_hex(), std::vector<std::string>{request_hex(1, 1, 10, {1, 0})});
        /* The device released the freeze. */
        event_distrubution(UI_EVT(UI_EV_FREEZE_RELEASED));
        awtk_test_pump();
        EXPECT_EQ(node("image_btn_freeze").image, "ic_freeze_un");
        press('a');
        sent_hex();
        press('7');
        EXPECT_EQ(top(), "QZ_reticle_zero_child");
        EXPECT_EQ(node("view_zero_child_sel").rect.substr(0, 5), "0,56,");
        EXPECT_EQ(stUIStatus.s8Irfreeze, 0);
        EXPECT_EQ(sent_hex(), std::vector<std::string>{request_hex(1, 1, 10, {0, 0})});
    });
}

TEST(ZeroList, OnlyTheGroupsTwoSlotsCanBeChosen)
{
    struct Row {
        uint8_t current; /* as a report may leave it */
        const char *keys;
        int row_y;
    } rows[] = {{0, "", 0}, {1, "", 56}, {7, "", 56}, {1, "5", 280}, {0, "3", 280}, {1, "53", 56}, {0, "55", 280}};
    for (const Row &r : rows) {
        in_gui_child([&] {
            zero_home();
            IR_Cursor.group[2].u8CurrentZero = r.current;
            IR_Cursor.group[2].zero[0].u16IrCursorDistance = 50;
            IR_Cursor.group[2].zero[1].u16IrCursorDistance = 300;
            open("QZ_reticle_zero");
            press(r.keys);
            EXPECT_EQ(node("view_zero_sel").rect.substr(0, std::to_string(r.row_y).size() + 3),
                      "0," + std::to_string(r.row_y) + ",")
                << (int)r.current << r.keys;
            EXPECT_EQ(node("label_zero1").text, "50 m");
            EXPECT_EQ(node("label_zero2").text, "300 m");
            EXPECT_EQ(node("label_zero4").text, "--");
        });
    }
    in_gui_child([] {
        zero_home();
        IR_Cursor.group[2].u8CurrentZero = 1;
        stDevStatus.s8DistanceUint = 1;
        IR_Cursor.group[2].zero[0].u16IrCursorDistanceYD = 55;
        open("QZ_reticle_zero");
        EXPECT_EQ(node("label_zero1").text, "55 yd");
        expect_resolved("QZ_reticle_zero");
        EXPECT_TRUE(page_screenshot::matches("QZ_reticle_zero"));
        press("3,");
        EXPECT_EQ(IR_Cursor.group[2].u8CurrentZero, 0);
        EXPECT_EQ(top(), "QZ_reticle_zero_child");
        EXPECT_EQ(sent_hex()[0], request_hex(22, 7, 0xFF, {0}));
        open("QZ_reticle_zero");
        press("3,");
        EXPECT_EQ(top(), "reticle_menu");
    });
}

TEST(RangeMove, StepsEitherAxisWithoutLimitsAndSavesOnLeaving)
{
    in_gui_child([] {
        zero_home();
        stDevStatus.s16RangeOffsetX = 639;
        stDevStatus.s16RangeOffsetY = 639;
        open("QZ_range_move");
        EXPECT_EQ(node("label_X_Y_axis").text, "Y");
        EXPECT_EQ(node("image_up").image, "arrow_up_disabled");
        expect_resolved("QZ_range_move");
        EXPECT_TRUE(page_screenshot::matches("QZ_range_move"));
        sent_hex();
        press('3');
        EXPECT_EQ(stDevStatus.s16RangeOffsetX, 638);
        EXPECT_EQ(node("image_left").image, "arrow_left_sel");
        EXPECT_EQ(node("last_range_pos").rect.substr(0, 8), "636,637,");
        press('8');
        EXPECT_EQ(node("label_X_Y_axis").text, "X");
        EXPECT_EQ(node("image_left").image, "arrow_left_disabled");
        press('5');
        EXPECT_EQ(stDevStatus.s16RangeOffsetY, 640);
        EXPECT_EQ(node("image_down").image, "arrow_down_sel");
        press('4');
        awtk_test_step(500);
        EXPECT_EQ(stDevStatus.s16RangeOffsetY, 630);
        press('4'); /* the timer already runs */
        awtk_test_step(500);
        EXPECT_EQ(stDevStatus.s16RangeOffsetY, 620);
        press('W');
        awtk_test_step(1000);
        EXPECT_EQ(stDevStatus.s16RangeOffsetY, 620);
        std::vector<std::string> sent = sent_hex();
        ASSERT_EQ(sent.size(), 4u);
        EXPECT_EQ(sent[3], request_hex(22, 9, 0xFF, cat({le16(638), le16(620)})));
        press('7');
        EXPECT_EQ(top(), "QZ_home_page_1");
        EXPECT_EQ(sent_hex(), std::vector<std::string>{request_hex(0, 30, 0xFF, {0})});
    });
}
