// The information page: values read back from the build-identity file (or
// left as they were without it), the fixed product and software names, the
// value column after each name in every language, and its keys.
#include "menu_test.h"

#include "info_page.h"
#include "setting_menu.h"
#include "utils_common.h"

using namespace menu_test;
using sightui_test::in_gui_child;

namespace {

int right_of(const sim_widget &w)
{
    int x = 0, y = 0, width = 0, h = 0;
    sscanf(w.rect.c_str(), "%d,%d,%d,%d", &x, &y, &width, &h);
    return x + width;
}

int x_of(const sim_widget &w) { return atoi(w.rect.c_str()); }

const char k_version[] =
    "APP:\t <sightd>\t (2026-12-10 12:00:00) PN[VK-520-LRF-01] SN[SN20261234] FPA1[F1-2.3] FPA2[F2-4.5.6] "
    "DeviceVersion[DV-9]\nUI:\t <qel_menu>\t (2026-12-10 12:00:00)\n";

} // namespace

TEST(InfoMenu, ShowsTheIdentityFromTheBuildFile)
{
    in_gui_child([] {
        private_root();
        write_file("/tmp/apps.version", k_version);
        boot_to_home();
        open("Info_menu");
        EXPECT_EQ(node("PRODUCT_value").text, "VeskNV Nurax PRO 520 LRF");
        EXPECT_EQ(node("PN_value").text, "VK-520-LRF-01");
        EXPECT_EQ(node("SN_value").text, "SN20261234");
        EXPECT_EQ(node("FPA2_value").text, "F2-4.5.6");
        EXPECT_EQ(node("SW_value").text, "v1.0.10-Vesk-T4");
        for (const char *row : {"PRODUCT", "PN", "SN", "FPA2", "SW"}) {
            sim_widget name = node(std::string("label_") + row), value = node(std::string(row) + "_value");
            EXPECT_EQ(x_of(value), right_of(name) + 10) << row;
        }
        expect_resolved("Info_menu");
        EXPECT_TRUE(page_screenshot::matches("Info_menu"));
        press(',');
        EXPECT_EQ(top(), "setting_menu");
        EXPECT_EQ(setting_menu_index, SETTING_ROW_INFO);
    });
}

TEST(InfoMenu, WithoutTheBuildFileTheReadValuesStayAsTheyWere)
{
    in_gui_child([] {
        private_root();
        snprintf(QZ_verArr[1], QZ_VER_LEN, "%s", "kept");
        boot_to_home();
        open("Info_menu");
        EXPECT_EQ(node("SN_value").text, "kept");
        EXPECT_EQ(node("PN_value").text, "");
        EXPECT_EQ(node("PRODUCT_value").text, "VeskNV Nurax PRO 520 LRF");
        EXPECT_EQ(node("SW_value").text, "v1.0.10-Vesk-T4");
        press('.');
        EXPECT_EQ(top(), "setting_menu");
        press('1');
        EXPECT_EQ(top(), "QZ_home_page_1");
    });
}

TEST(InfoMenu, ValuesFollowTheTranslatedNames)
{
    in_gui_child([] {
        private_root();
        write_file("/tmp/apps.version", k_version);
        boot_to_home();
        open("Info_menu");
        int en = x_of(node("SN_value"));
        press('1');
        locale_info_change(locale_info(), "ru", "RU");
        open("Info_menu");
        sim_widget name = node("label_SN");
        EXPECT_EQ(name.text, "Серийный номер");
        EXPECT_EQ(x_of(node("SN_value")), right_of(name) + 10);
        EXPECT_NE(x_of(node("SN_value")), en);
        EXPECT_TRUE(page_screenshot::matches("Info_menu_ru"));
    });
}

TEST(InfoMenu, LayoutOfAMissingLabelIsRefused)
{
    in_gui_child([] {
        boot_to_home();
        open("Info_menu");
        EXPECT_EQ(layout_info_row_pair(navigator_find_window("Info_menu"), "label_PN", "no_such_value"),
                  RET_BAD_PARAMS);
    });
}
