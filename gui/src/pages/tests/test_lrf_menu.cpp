// The rangefinder menu and the target choice: the "Not set" rules of the
// bounds, typed bounds clamped against the other one, the processing row
// in multi-target mode, the target row's wrap and the choice of a target.
#include "menu_test.h"

#include "home_page.h"
#include "lrf_menu.h"
#include "vesk_lrf_ui.h"

using namespace menu_test;
using sightui_test::in_gui_child;

namespace {

std::string settings_request(uint8_t key, int value)
{
    if (key == 3 || key == 4) return request_hex(4, 8, 0xFF, {key, (uint8_t)(value >> 8), (uint8_t)value, 0});
    return request_hex(4, 8, 0xFF, {key, (uint8_t)value, 0, 0});
}

void open_lrf(uint8_t target, uint16_t min_m, uint16_t max_m, int32_t row)
{
    vesk_lrf_ui.set_target = target;
    vesk_lrf_ui.min_m = min_m;
    vesk_lrf_ui.max_m = max_m;
    boot_to_home();
    lrf_menu_index = row;
    open("lrf_menu");
    ASSERT_EQ(top(), "lrf_menu");
    EXPECT_EQ(sent_hex(), std::vector<std::string>{settings_request(0, 0)});
}

} // namespace

TEST(LrfMenu, BoundKeysAndNotSet)
{
    struct Row {
        int32_t row;
        uint16_t min_m, max_m;
        const char *keys;
        std::vector<std::string> want;
    } rows[] = {
        {3, 10, 0, "[", {settings_request(3, 0)}},
        {3, 0, 0, "[", {}},
        {3, 0, 0, "]", {settings_request(3, 10)}},
        {3, 120, 0, "[", {settings_request(3, 110)}},
        {3, 500, 500, "]", {settings_request(3, 500)}},
        {4, 300, 0, "]", {settings_request(4, 300)}},
        {4, 0, 0, "]", {settings_request(4, 10)}},
        {4, 0, 20000, "]", {settings_request(4, 20000)}},
        {4, 300, 310, "[", {settings_request(4, 300)}},
        {4, 0, 10, "[", {settings_request(4, 0)}},
        /* typed: 00900 against a maximum of 500; 00005; 00000; 90000; 00100 under the minimum */
        {3, 0, 500, ",]]5.", {settings_request(3, 500)}},
        {3, 0, 500, ",[33333,", {settings_request(3, 10)}},
        {3, 120, 500, ",]]5]55,", {settings_request(3, 0)}},
        {4, 300, 0, ",5.", {settings_request(4, 20000)}},
        {4, 300, 0, ",]]3,", {settings_request(4, 300)}},
    };
    for (const Row &r : rows) {
        in_gui_child([&] {
            open_lrf(1, r.min_m, r.max_m, r.row);
            press(r.keys);
            EXPECT_EQ(sent_hex(), r.want) << r.row << " " << r.min_m << " " << r.max_m << " " << r.keys;
            EXPECT_FALSE(node("vesk_label_digit_0").visible);
        });
    }
}

TEST(LrfMenu, TypingShowsTheDigitsAndHidesTheValue)
{
    in_gui_child([] {
        open_lrf(1, 0, 1234, 4);
        EXPECT_EQ(node("vesk_label_max_value").text, "1234 m");
        EXPECT_EQ(node("vesk_label_min_value").text, "Not set");
        press(',');
        EXPECT_FALSE(node("vesk_label_max_value").visible);
        EXPECT_TRUE(node("vesk_label_min_value").visible);
        const char *digits = "01234";
        for (int d = 0; d < 5; d++) {
            sim_widget w = node("vesk_label_digit_" + std::to_string(d));
            EXPECT_TRUE(w.visible);
            EXPECT_EQ(w.text, std::string(1, digits[d]));
            EXPECT_EQ(w.rect.substr(0, w.rect.find(',', w.rect.find(',') + 1)), std::to_string(390 + 18 * d) + ",182");
        }
        press(']');
        EXPECT_EQ(node("vesk_view_digit_sel").rect, "408,182,16,28");
        EXPECT_TRUE(node("vesk_label_digit_unit").visible);
        /* Up and down work the digit, not the rows. */
        press('3');
        EXPECT_EQ(node("vesk_label_digit_1").text, "2");
        EXPECT_EQ(lrf_menu_index, 4);
        /* Home commits first. */
        press('1');
        EXPECT_EQ(sent_hex(), std::vector<std::string>{settings_request(4, 2234)});
        EXPECT_EQ(top(), "QZ_home_page_1");
    });
}

TEST(LrfMenu, ProcessingRowInMultiTargetModeIsDisabledButReachable)
{
    in_gui_child([] {
        open_lrf(3, 0, 0, 1);
        EXPECT_EQ(node("vesk_label_target_value").text, "Multi target");
        press('5');
        EXPECT_EQ(lrf_menu_index, 2);
        EXPECT_EQ(node("vesk_label_proc_name").rect.empty(), false);
        char *dump = awtk_host_dump_tree();
        std::string text = dump;
        free(dump);
        EXPECT_NE(text.find("name=\"vesk_label_proc_value\" visible=1 state=disable"), std::string::npos);
        EXPECT_NE(text.find("name=\"vesk_label_proc_name\" visible=1 state=disable"), std::string::npos);
        press("[],");
        EXPECT_TRUE(sent_hex().empty());
    });
    in_gui_child([] {
        vesk_lrf_ui.set_processing = 1;
        open_lrf(2, 0, 0, 2);
        press(']');
        EXPECT_EQ(sent_hex(), std::vector<std::string>{settings_request(2, 0)});
    });
}

TEST(LrfMenu, TargetRowWrapsAndStartsFromUnknown)
{
    struct Row {
        uint8_t target;
        char key;
        int want;
    } rows[] = {{1, ']', 2}, {2, ']', 3}, {3, ']', 1}, {1, '[', 3}, {3, '[', 2}, {0, ']', 2}, {0, '[', 3}};
    for (const Row &r : rows) {
        in_gui_child([&] {
            open_lrf(r.target, 0, 0, 1);
            press((uint32_t)r.key);
            EXPECT_EQ(sent_hex(), std::vector<std::string>{settings_request(1, r.want)}) << (int)r.target << r.key;
        });
    }
}

TEST(LrfMenu, SettingsReportRedrawsAndBackSelectsTheRangefinderRow)
{
    in_gui_child([] {
        open_lrf(1, 0, 0, 1);
        /* sightd's settings report: multi target, median, 50 m to 800 m. */
        sightui_test::deliver(sightui_test::report(4, 8, 0xFF, {3, 1, 0, 50, 3, 0x20, 0, 50, 3, 0x20, 0}));
        EXPECT_EQ(node("vesk_label_target_value").text, "Multi target");
        EXPECT_EQ(node("vesk_label_proc_value").text, "Median of 3");
        EXPECT_EQ(node("vesk_label_min_value").text, "50 m");
        EXPECT_EQ(node("vesk_label_max_value").text, "800 m");
        press('.');
        EXPECT_EQ(top(), "setting_menu");
        EXPECT_EQ(node("view_setting_sel").rect, "0,252,364,56");
    });
}

TEST(LrfSelect, OffersAtMostThreeAndSendsTheChosenDistance)
{
    in_gui_child([] {
        boot_to_home();
        vesk_lrf_ui.count = 4;
        vesk_lrf_ui.dm[0] = 1234;
        vesk_lrf_ui.dm[1] = 12345;
        vesk_lrf_ui.dm[2] = 99;
        open("vesk_lrf_select");
        EXPECT_EQ(node("label_vesk_row_0").text, "1: 123.4 m");
        EXPECT_EQ(node("label_vesk_row_1").text, "2: 1234.5 m");
        EXPECT_EQ(node("label_vesk_row_2").text, "3: 9.9 m");
        EXPECT_TRUE(node("view_vesk_row_2").visible);
        expect_resolved("vesk_lrf_select");
        EXPECT_TRUE(page_screenshot::matches("vesk_lrf_select"));
        press('3');
        press('3');
        press(',');
        EXPECT_EQ(sent_hex(), std::vector<std::string>{request_hex(4, 9, 0xFF, {1, 0x04, 0xD2, 5})});
        EXPECT_EQ(top(), "QZ_home_page_1");
    });
    in_gui_child([] {
        boot_to_home();
        vesk_lrf_ui.count = 0;
        vesk_lrf_ui.dm[0] = 500;
        open("vesk_lrf_select");
        EXPECT_TRUE(node("view_vesk_row_0").visible);
        EXPECT_FALSE(node("view_vesk_row_1").visible);
        press('5');
        press('b');
        EXPECT_TRUE(sent_hex().empty());
        EXPECT_EQ(top(), "QZ_home_page_1");
    });
}

TEST(LrfSelect, NewResultClosesTheChoiceAndRecoveryBlocksTheAccept)
{
    in_gui_child([] {
        boot_to_home();
        vesk_lrf_ui.count = 2;
        open("vesk_lrf_select");
        uint8_t p[] = {0, 2, 3, 0, 2, 0, 100, 0, 0, 200, 0, 0, 0, 0, 0, 0};
        sightui_test::deliver(sightui_test::report(4, 2, 0xFF, bytes(p, p + sizeof p)));
        EXPECT_EQ(navigator_find_window("vesk_lrf_select"), nullptr);
    });
    in_gui_child([] {
        boot_to_home();
        vesk_lrf_ui.count = 2;
        vesk_non_operational = 1;
        open("vesk_lrf_select");
        press(',');
        EXPECT_TRUE(sent_hex().empty());
        EXPECT_EQ(navigator_find_window("vesk_lrf_select"), nullptr);
    });
}

TEST(LrfMenu, Screens)
{
    in_gui_child([] {
        open_lrf(3, 50, 0, 3);
        expect_resolved("lrf_menu");
        EXPECT_TRUE(page_screenshot::matches("lrf_menu_multi"));
        press(',');
        press(']');
        EXPECT_TRUE(page_screenshot::matches("lrf_menu_typing"));
    });
}
