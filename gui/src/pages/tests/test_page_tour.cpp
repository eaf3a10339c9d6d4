// The pages as the shooter meets them: reached by keys from the home page,
// in each of the three languages, laid over the thermal picture. Menus lie
// clear over the picture outside their panels, so a setting changed from a
// menu shows at once; every label holds its whole text; and each screen
// matches its reference (tour_<page>_<language>.png); the screen over the
// scene is written beside a failure.
#include "menu_test.h"

#include <string.h>

#include <functional>

#include "thermal_scene.h"
#include "vesk_lrf_ui.h"

using namespace menu_test;
using sightui_test::in_gui_child;

namespace {

struct Language {
    const char *language, *country;
    char setting; /* s8Language */
};

const Language k_languages[] = {{"en", "US", 0}, {"ru", "RU", 2}, {"zh", "CN", 1}};

/* The picture the core and the media process show for the mirrors. */
thermal_scene_settings scene_now()
{
    thermal_scene_settings s = thermal_scene_defaults();
    auto pick = [](char v, int lo, int hi, int def) { return v >= lo && v <= hi ? (int)v : def; };
    s.brightness = pick(stDevStatus.s8IrBrightness, 1, 10, s.brightness);
    s.contrast = pick(stDevStatus.s8IrContrast, 1, 10, s.contrast);
    s.enhancement = pick(stDevStatus.s8IrEnchance, 1, 5, s.enhancement);
    s.palette = pick(stDevStatus.s8IrPolarity, 0, 4, 0);
    return s;
}

void boot_in(const Language &l)
{
    ASSERT_EQ(locale_info_change(locale_info(), l.language, l.country), RET_OK);
    stDevStatus.s8Language = l.setting;
    boot_to_home();
    stDevStatus.s8ReticleMenuSwitch = 1;
    stDevStatus.s8IrScene = 3;
    stDevStatus.s8IrBrightness = 5;
    stDevStatus.s8IrContrast = 5;
    stDevStatus.s8IrEnchance = 3;
}

/* ---- menus lie clear over the picture ---- */

/* Edges of the screen, away from every panel and from the home page's
 * read-outs (the top right one below the status bar's band): the share of
 * them that lies clear. */
const int k_corners[][2] = {{0, 500}, {1264, 80}, {0, 1008}, {1264, 1008}};

/* The corners whose clear share is not want, with their share. */
std::string corners_not(double want)
{
    std::string out;
    for (const auto &c : k_corners) {
        double f = page_screenshot::clear_fraction(c[0], c[1], 16, 16);
        if (f != want) out += std::to_string(c[0]) + "," + std::to_string(c[1]) + " " + std::to_string(f) + "; ";
    }
    return out;
}

struct Window {
    const char *name;
    bool covers; /* meant to hide the picture */
};

const Window k_windows[] = {
    {"QZ_shortcut_menu", false},
    {"image_menu", false},
    {"reticle_menu", false},
    {"rav_menu", false},
    {"recoil_menu", false},
    {"setting_menu", false},
    {"lrf_menu", false},
    {"vesk_lrf_select", false},
    {"DataTime", false},
    {"Info_menu", false},
    {"memory_menu", false},
    {"memory_format_sel", false},
    {"restore_factory", false},
    {"file_menu", false},
    {"pixel_menu", false},
    {"ballistic_quickmenu", false},
    {"ballistic_setting_menu", false},
    {"ballistic_menu", false},
    {"ballistic_bullet", false},
    {"ballistic_group_info", false},
    {"ballistic_coriolis", false},
    {"ballistic_weather", false},
    {"ballistic_zeroweather", false},
    {"bullistic_lens", false},
    {"tip_ballistic", false},
    {"Boot_logo", true},
    {"HDP_Init", true},
    {"QZ_updata", true},
    {"standby", true},
    {"shut_down_low_power", true},
    {"shut_down_low_temp", true},
};

TEST(PageTour, MenusLieClearOverThePictureOutsideTheirPanels)
{
    for (const Window &w : k_windows) {
        in_gui_child([&w] {
            boot_in(k_languages[0]);
            ASSERT_EQ(corners_not(1), "") << "the home page alone leaves the corners clear";
            open(w.name);
            ASSERT_EQ(top(), w.name);
            if (w.covers)
                EXPECT_EQ(corners_not(0), "") << w.name << " covers the picture";
            else
                EXPECT_EQ(corners_not(1), "") << w.name << " hides the picture it lies over";
        });
    }
}

/* ---- the tour ---- */

struct Stop {
    const char *name;             /* of the reference, before the language */
    const char *keys;             /* from the home page */
    const char *page;             /* on top at the end */
    std::function<void()> setup;  /* after the keys */
    std::function<void()> before; /* before the keys */
};

/* The rangefinder's settings as its report leaves them. */
void lrf_settings(uint8_t target, uint8_t processing, uint16_t min_m, uint16_t max_m)
{
    vesk_lrf_ui.set_target = target;
    vesk_lrf_ui.set_processing = processing;
    vesk_lrf_ui.min_m = min_m;
    vesk_lrf_ui.max_m = max_m;
}

/* The date page shows the running clock: its fields get a fixed moment. */
void fixed_moment()
{
    widget_t *win = navigator_find_window("DataTime");
    const char *const fields[][2] = {{"label_year", "26"}, {"label_month", "03"},  {"label_day", "14"},
                                     {"label_hour", "09"}, {"label_minute", "30"}, {"label_second", "00"}};
    for (const auto &f : fields) widget_set_text_utf8(widget_lookup(win, f[0], TRUE), f[1]);
}

const Stop k_stops[] = {
    {"QZ_shortcut_menu_mode", ",", "QZ_shortcut_menu", nullptr},
    {"QZ_shortcut_menu_enhance", ",5555", "QZ_shortcut_menu", nullptr},
    {"QZ_shortcut_menu_palette", ",5]]", "QZ_shortcut_menu", nullptr},
    {"image_menu", ".,", "image_menu", nullptr},
    {"image_menu_palette", ".,5]]]", "image_menu", nullptr},
    {"file_menu", ".555,", "file_menu", nullptr},
    {"pixel_menu", ".5555,", "pixel_menu", nullptr},
    {"setting_menu", ".55555,", "setting_menu", nullptr},
    {"setting_menu_page2", ".55555,555555", "setting_menu", nullptr},
    {"DataTime", ".55555,5555,", "DataTime", fixed_moment},
    {"restore_factory", ".55555,55555,", "restore_factory", nullptr},
    {"Info_menu", ".55555,5555555,", "Info_menu", nullptr},
    {"memory_menu", ".55555,55555555,", "memory_menu", nullptr},
    {"lrf_menu", ".55555,33,", "lrf_menu", nullptr},
    {"lrf_menu_last_median", ".55555,33,", "lrf_menu", nullptr, [] { lrf_settings(2, 1, 10, 20000); }},
    {"lrf_menu_multi", ".55555,33,", "lrf_menu", nullptr, [] { lrf_settings(3, 1, 20000, 20000); }},
    {"reticle_menu", ".555555,", "reticle_menu", nullptr},
    {"ballistic_group_info", ".555555,55555,", "ballistic_group_info", nullptr},
    {"ballistic_bullet", ".555555,55555,,", "ballistic_bullet", nullptr},
    {"ballistic_zeroweather", ".555555,55555,3,", "ballistic_zeroweather", nullptr},
    {"rav_menu", ".5555555,", "rav_menu", nullptr},
    {"ballistic_quickmenu", "6", "ballistic_quickmenu", nullptr},
    {"ballistic_weather", "65555,", "ballistic_weather", nullptr},
    {"ballistic_setting_menu", "7", "ballistic_setting_menu", nullptr},
    {"vesk_lrf_select", "", "vesk_lrf_select",
     [] {
         /* A multi-target result, as the home page opens the choice for it. */
         vesk_lrf_ui.count = 3;
         vesk_lrf_ui.dm[0] = 2345;
         vesk_lrf_ui.dm[1] = 4120;
         vesk_lrf_ui.dm[2] = 6008;
         open("vesk_lrf_select");
     }},
};

TEST(PageTour, EachPageInEachLanguageHoldsItsTextsAndMatchesItsReference)
{
    for (const Language &l : k_languages) {
        for (const Stop &s : k_stops) {
            std::string ref = std::string("tour_") + s.name + "_" + l.language;
            SCOPED_TRACE(ref);
            in_gui_child([&] {
                private_root(); /* an empty Media partition of a known size */
                boot_in(l);
                if (s.before) s.before();
                press(s.keys);
                if (s.setup) s.setup();
                ASSERT_EQ(top(), s.page) << s.keys;
                widget_t *win = navigator_find_window(s.page);
                EXPECT_EQ(page_screenshot::clipped(win), "");
                EXPECT_EQ(page_screenshot::unresolved(win), "");
                EXPECT_TRUE(page_screenshot::matches_on_scene(ref, scene_now()));
            });
        }
    }
}

} // namespace
