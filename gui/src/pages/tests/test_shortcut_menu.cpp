// The quick image menu: values read from the mirrors with defaults for what
// is out of range, wrapping at both ends, one request per change, the
// title, and the screens.
#include "menu_test.h"

#include <functional>

#include "shortcut_menu.h"

using namespace menu_test;
using sightui_test::in_gui_child;

namespace {

/* From the home page with OK, after setup has written the mirrors. */
void open_quick(const std::function<void()> &setup = nullptr)
{
    boot_to_home();
    if (setup) setup();
    press(',');
    ASSERT_EQ(top(), "QZ_shortcut_menu");
}

} // namespace

TEST(ShortcutMenu, KeysWrapAndSendOneRequestEach)
{
    struct Row {
        const char *keys; /* row moves, then the change */
        int row;
        int before;
        int after;
        std::string sent;
        const char *title;
    } rows[] = {
        {"]", 1, 0, 2, request_hex(1, 1, 9, {2, 0}), "Mode"}, /* a stored 0 opens at Forest */
        {"[", 1, 1, 3, request_hex(1, 1, 9, {3, 0}), "Mode"},
        {"5]", 2, 4, 0, request_hex(1, 1, 4, {0, 0}), "White Hot"},
        {"5[", 2, 0, 4, request_hex(1, 1, 4, {4, 0}), "Green Monochrome"},
        {"55,", 3, 10, 1, request_hex(1, 1, 1, {1, 0}), "Bright"},
        {"555[", 4, 1, 10, request_hex(1, 1, 2, {10, 0}), "Contrast"},
        {"5555]", 5, 5, 1, request_hex(1, 1, 3, {1, 0}), "Enhance"},
        {"3,", 6, 10, 1, request_hex(0, 0, 7, {1}), "Screen Bright"},
    };
    for (const Row &r : rows) {
        in_gui_child([&] {
            char *fields[] = {&stDevStatus.s8IrScene,    &stDevStatus.s8IrPolarity, &stDevStatus.s8IrBrightness,
                              &stDevStatus.s8IrContrast, &stDevStatus.s8IrEnchance, &stDevStatus.s8ScreenBrightness};
            open_quick([&] { *fields[r.row - 1] = (char)r.before; });
            EXPECT_TRUE(sent_hex().empty()) << "opening sends nothing";
            press(r.keys);
            EXPECT_EQ(get_menu_value(r.row), r.after) << r.keys;
            EXPECT_EQ(*fields[r.row - 1], r.after) << r.keys;
            EXPECT_EQ(sent_hex(), std::vector<std::string>{r.sent}) << r.keys;
            EXPECT_EQ(node("label_menu_title").text, r.title) << r.keys;
        });
    }
}

TEST(ShortcutMenu, RowsOutsideTheTableReadNothing)
{
    in_gui_child([] {
        open_quick();
        set_menu_value(7, 3);
        set_menu_value(0, 3);
        EXPECT_EQ(get_menu_value(0), 0);
        EXPECT_EQ(get_menu_value(7), 0);
        send_menu_command(9);
        EXPECT_TRUE(sent_hex().empty());
    });
}

TEST(ShortcutMenu, ScreensAndLeaving)
{
    in_gui_child([] {
        open_quick([] {
            stDevStatus.s8IrScene = 3;
            stDevStatus.s8IrPolarity = 2;
        });
        EXPECT_EQ(node("label_mode_value").text, "Ultra Clear");
        EXPECT_EQ(node("image_mode").image, "ic_menuimage_scene_sel");
        expect_resolved("QZ_shortcut_menu");
        EXPECT_TRUE(page_screenshot::matches("QZ_shortcut_menu_row1"));
        press('5');
        EXPECT_EQ(node("image_palette_value").image, "palette_redhot_sel");
        EXPECT_EQ(node("image_mode").image, "ic_menuimage_scene_def");
        EXPECT_EQ(node("label_menu_title").text, "Red Hot");
        EXPECT_TRUE(page_screenshot::matches("QZ_shortcut_menu_row2"));
        press('.');
        EXPECT_EQ(top(), "QZ_home_page_1");
        press(',');
        EXPECT_EQ(top(), "QZ_shortcut_menu");
        EXPECT_EQ(node("image_mode").image, "ic_menuimage_scene_sel") << "each opening starts on row 1";
        press('1');
        EXPECT_EQ(top(), "QZ_home_page_1");
    });
}

/* Every scene name, in every language, stands whole under the Mode icon,
 * and every value is centred under its own icon. */
TEST(ShortcutMenu, ValuesStandWholeUnderTheirIcons)
{
    struct Lang {
        const char *language, *country;
        char setting; /* the home page applies s8Language as it opens */
    } langs[] = {{"en", "US", 0}, {"ru", "RU", 2}, {"zh", "CN", 1}};
    const char *const scenes[] = {"Forest", "Rainy", "Ultra Clear"};
    const char *const values[][2] = {
        {"label_mode_value", "image_mode"},
        {"label_bright_value", "image_bright"},
        {"label_contrast_value", "image_contrast"},
        {"label_enhance_value", "image_enhance"},
        {"label_screen_bright_value", "image_screen_bright"},
    };
    for (const Lang &l : langs) {
        for (int scene = 1; scene <= 3; scene++) {
            in_gui_child([&] {
                ASSERT_EQ(locale_info_change(locale_info(), l.language, l.country), RET_OK);
                stDevStatus.s8Language = l.setting;
                open_quick([&] {
                    stDevStatus.s8IrScene = (char)scene;
                    stDevStatus.s8IrBrightness = 10;
                });
                std::string where = std::string(l.language) + " " + scenes[scene - 1];
                EXPECT_TRUE(page_screenshot::translated(scenes[scene - 1])) << where;
                EXPECT_EQ(node("label_mode_value").text, locale_info_tr(locale_info(), scenes[scene - 1])) << where;
                widget_t *win = navigator_find_window("QZ_shortcut_menu");
                EXPECT_EQ(page_screenshot::clipped(win), "") << where;
                for (const auto &v : values) {
                    widget_t *label = widget_lookup(win, v[0], TRUE), *icon = widget_lookup(win, v[1], TRUE);
                    ASSERT_TRUE(label != nullptr && icon != nullptr) << v[0];
                    EXPECT_NEAR(label->x + label->w / 2.0, icon->x + icon->w / 2.0, 1.5) << where << " " << v[0];
                    EXPECT_LE(label->w, 160) << where << " " << v[0] << " stays in its column";
                }
            });
        }
    }
}
