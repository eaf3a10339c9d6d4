// The image and reticle menus: the value steps with their wraps and their
// out-of-range defaults, the palette title, the group choice with the
// ballistic switch behind it, the links, and the screens.
#include "image_pages_test.h"

#include "main_menu.h"

using namespace image_pages_test;

namespace {

void open_image(int32_t row)
{
    boot_to_home();
    open("image_menu");
    ASSERT_EQ(top(), "image_menu");
    for (int32_t r = 1; r < row; r++) press('5');
    sent();
}

void open_reticle(int32_t row)
{
    boot_to_home();
    reticle_menu_index = row;
    open("reticle_menu");
    ASSERT_EQ(top(), "reticle_menu");
    sent();
}

} // namespace

TEST(ImageMenu, StepsWrapAndOutOfRangeValuesCountAsTheDefault)
{
    struct Case : value_step {
        request req;
        const char *widget, *shown;
    } cases[] = {
        {1, &stDevStatus.s8IrScene, 7, '[', 3, {1, 1, 9, 3}, "label_mode_value", "Ultra Clear"},
        {1, &stDevStatus.s8IrScene, 7, ']', 2, {1, 1, 9, 2}, "label_mode_value", "Rainy"},
        {1, &stDevStatus.s8IrScene, 3, ',', 1, {1, 1, 9, 1}, "label_mode_value", "Forest"},
        {2, &stDevStatus.s8IrPolarity, 9, '[', 4, {1, 1, 4, 4}, "image_palette_value", "palette_green_sel"},
        {2, &stDevStatus.s8IrPolarity, 9, ']', 1, {1, 1, 4, 1}, "image_palette_value", "palette_blackhot_sel"},
        {3, &stDevStatus.s8IrBrightness, 1, '[', 10, {1, 1, 1, 10}, "label_bright_value", "10"},
        {4, &stDevStatus.s8IrContrast, 10, ']', 1, {1, 1, 2, 1}, "label_contrast_value", "1"},
        {5, &stDevStatus.s8IrEnchance, 5, ']', 1, {1, 1, 3, 1}, "label_enhance_value", "1"},
        {6, &stDevStatus.s8ScreenBrightness, 0, '[', 4, {0, 0, 7, 4}, "label_screen_bright_value", "4"},
        {6, &stDevStatus.s8ScreenBrightness, 0, ']', 6, {0, 0, 7, 6}, "label_screen_bright_value", "6"},
    };
    for (const Case &c : cases) {
        in_gui_child([&] {
            *c.field = (char)c.stored;
            open_image(c.row);
            press((uint32_t)c.key);
            EXPECT_EQ((uint8_t)*c.field, c.want) << c.widget << " " << c.stored << c.key;
            EXPECT_EQ(sent(), (std::vector<request>{c.req})) << c.widget << " " << c.stored << c.key;
            sim_widget w = node(c.widget);
            EXPECT_EQ(w.image.empty() ? w.text : w.image, c.shown);
        });
    }
}

TEST(ImageMenu, OpensOnModeAndThePaletteRowIsTitledByThePalette)
{
    in_gui_child([] {
        stDevStatus.s8IrPolarity = 2;
        boot_to_home();
        image_menu_index = 4;
        open("image_menu");
        EXPECT_EQ(image_menu_index, 1);
        EXPECT_EQ(node("label_menu_title").text, "Mode");
        press('5');
        EXPECT_EQ(node("label_menu_title").text, "Red Hot");
        EXPECT_EQ(node("image_palette_value").image, "palette_redhot_sel");
        press('5');
        EXPECT_EQ(node("label_menu_title").text, "Bright");
        EXPECT_EQ(node("image_palette_value").image, "palette_redhot_def");
        /* An unknown palette leaves the title as it was. */
        stDevStatus.s8IrPolarity = 9;
        press('3');
        EXPECT_EQ(node("label_menu_title").text, "Bright");
        press('3');
        press('3');
        EXPECT_EQ(image_menu_index, 6);
        EXPECT_EQ(node("label_menu_title").text, "Screen Bright");
        press('.');
        EXPECT_EQ(top(), "main_menu");
    });
}

TEST(ReticleMenu, ValueStepsWrapAndStoreZeroBased)
{
    struct Case : value_step {
        request req;
    } cases[] = {
        {1, &stDevStatus.s8ReticleType, 0, '[', 5, {22, 2, 0xFF, 5}},
        {1, &stDevStatus.s8ReticleType, 9, ']', 1, {22, 2, 0xFF, 1}},
        {2, &stDevStatus.s8ReticleColour, 5, ',', 0, {22, 0, 0xFF, 0}},
        {2, &stDevStatus.s8ReticleColour, 0, '[', 5, {22, 0, 0xFF, 5}},
        {3, &stDevStatus.s8ReticleBrightness, 4, ']', 0, {22, 5, 0xFF, 0}},
        {3, &stDevStatus.s8ReticleBrightness, 0, '[', 4, {22, 5, 0xFF, 4}},
    };
    for (const Case &c : cases) {
        in_gui_child([&] {
            *c.field = (char)c.stored;
            open_reticle(c.row);
            press((uint32_t)c.key);
            EXPECT_EQ((uint8_t)*c.field, c.want) << c.row << " " << c.stored << c.key;
            EXPECT_EQ(sent(), (std::vector<request>{c.req})) << c.row << " " << c.stored << c.key;
        });
    }
    in_gui_child([] {
        /* Invert and ',' gives white: shown as its image, stored as 0. */
        stDevStatus.s8ReticleColour = 5;
        open_reticle(2);
        EXPECT_EQ(node("image_reticle_color_sel").image, "hold_ic_reticle_invert_sel");
        press(',');
        EXPECT_EQ(stDevStatus.s8ReticleColour, 0);
        EXPECT_EQ(node("image_reticle_color_sel").image, "hold_ic_reticle_white_sel");
        press('5');
        EXPECT_EQ(node("image_reticle_color_sel").image, "hold_ic_reticle_white_def");
        EXPECT_EQ(node("image_reticle_brightness").image, "ic_menureticle_bright_sel");
    });
}

TEST(ReticleMenu, GroupChoiceStartsOnTheFirstZeroAndRecalculatesWithBallisticsOn)
{
    for (int ballistics : {0, 1}) {
        in_gui_child([&] {
            info[0].ballistics_sw = (char)ballistics;
            IR_Cursor.u8CurrentGroup = 1;
            IR_Cursor.group[2].u8CurrentZero = 1;
            open_reticle(4);
            EXPECT_EQ(node("label_reticle_group_sel").text, "B");
            press(']');
            EXPECT_EQ(IR_Cursor.u8CurrentGroup, 2);
            EXPECT_EQ(IR_Cursor.group[2].u8CurrentZero, 0);
            EXPECT_EQ(node("label_reticle_group_sel").text, "C");
            EXPECT_NE(node("label_reticle_group_sel").overrides.find("#00E6BB"), std::string::npos);
            std::vector<request> want = {{22, 6, 0xFF, 2}};
            if (ballistics) want.push_back({27, 0, 1, 1});
            EXPECT_EQ(sent(), want) << ballistics;
        });
    }
    in_gui_child([] {
        IR_Cursor.u8CurrentGroup = 0;
        open_reticle(4);
        press('[');
        EXPECT_EQ(IR_Cursor.u8CurrentGroup, 5);
        EXPECT_EQ(node("label_reticle_group_sel").text, "F");
        press(',');
        EXPECT_EQ(IR_Cursor.u8CurrentGroup, 0);
    });
}

TEST(ReticleMenu, LinksOpenOnOkOrRightOnlyAndTheMenuOpensWhereItsOpenerChose)
{
    struct Case {
        int32_t row;
        char key;
        const char *top;
    } cases[] = {
        {5, '[', "reticle_menu"},
        {6, '[', "reticle_menu"},
        {5, ',', "QZ_reticle_zero_child"},
        {6, ']', "ballistic_group_info"},
    };
    for (const Case &c : cases) {
        in_gui_child([&] {
            open_reticle(c.row);
            EXPECT_EQ(node("label_menu_title").text, c.row == 5 ? "Movement" : "Ballistic");
            EXPECT_EQ(node(c.row == 5 ? "image_reticle_zero_enter" : "image_reticle_bullet_enter").image,
                      "ic_menu1_arrow_sel");
            press((uint32_t)c.key);
            EXPECT_EQ(top(), c.top) << c.row << c.key;
            EXPECT_TRUE(sent().empty());
            if (std::string(c.top) != "reticle_menu") {
                EXPECT_EQ(navigator_find_window("reticle_menu"), nullptr);
            }
        });
    }
}

TEST(ImageMenus, Screens)
{
    struct Shot {
        const char *window, *name;
        int32_t row;
    } shots[] = {{"image_menu", "image_menu_mode", 1},
                 {"image_menu", "image_menu_palette", 2},
                 {"reticle_menu", "reticle_menu_color", 2},
                 {"reticle_menu", "reticle_menu_group", 4}};
    for (const Shot &s : shots) {
        in_gui_child([&] {
            stDevStatus.s8IrScene = 2;
            stDevStatus.s8IrPolarity = 1;
            stDevStatus.s8IrBrightness = 7;
            stDevStatus.s8IrContrast = 4;
            stDevStatus.s8IrEnchance = 3;
            stDevStatus.s8ReticleType = 2;
            stDevStatus.s8ReticleColour = 3;
            stDevStatus.s8ReticleBrightness = 4;
            IR_Cursor.u8CurrentGroup = 2;
            if (std::string(s.window) == "image_menu")
                open_image(s.row);
            else
                open_reticle(s.row);
            expect_resolved(s.window);
            EXPECT_TRUE(page_screenshot::matches(s.name));
        });
    }
}
