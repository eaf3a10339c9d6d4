// The ballistic editors on screen, against reference PNGs: each page with
// a profile of known values, and the states that change how it is drawn
// (a master switch off, a digit under the cursor, a digit being stepped).
#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <functional>
#include <string>

#include "awtk_host.h"
#include "navigator.h"
#include "page_screenshot.h"
#include "sightui_test.h"
#include "ui_status.h"

using namespace sightui_test;

namespace {

/* One profile of round values, every group alike. */
void profile()
{
    stUIStatus.event_distrubut_reday = 1;
    for (Info_ballistics &p : info) {
        memset(&p, 0, sizeof p);
        p.ballistics_sw = 1;
        p.target.range = 4567;
        p.target.range_yard = 4994;
        p.target.shootingAngle = -12.5;
        p.wind = {270, 4.5};
        p.corioliseffect = {-45, 123.4, 1};
        p.atmosphere = {0, 760, 15, 50};
        p.gun.bullet.ballisticsCoef = 0.462;
        p.gun.bullet.dragFunction = 4;
        p.gun.bullet.velocity = 792;
        p.gun.bullet.length = 31.2;
        p.gun.bullet.diameter = 7.82;
        p.gun.bullet.weight = 175;
        p.gun.bullet.atmosphere = {0, 745.5, 8, 65};
        p.gun.bullet.zeroOffsetUnit = MRAD;
        p.gun.bullet.zeroOffsetVerticalMOA = 1.72;
        p.gun.bullet.zeroOffsetVerticalMRAD = 0.5;
        p.gun.bullet.zeroOffsetHorizontalMOA = -0.69;
        p.gun.bullet.zeroOffsetHorizontalMRAD = -0.2;
        p.gun.scope.zeroRange = 100;
        p.gun.scope.zeroRange_yard = 109;
        p.gun.scope.sightHeightOverBore = 42.5;
        p.gun.riflingRange = 10;
        p.gun.direction = RIGHT;
    }
    stDevStatus.s8DistanceUint = 0;
    stDevStatus.s8BallisticReticle = 1;
    stDevStatus.s8BallisticReticleColor = 2;
}

struct Screen {
    const char *name; /* of the reference PNG */
    const char *page;
    intptr_t ctx;
    std::function<void()> setup;
    const char *keys;
};

const Screen k_screens[] = {
    {"ballistic_menu", "ballistic_menu", 0, nullptr, "55"},
    {"ballistic_menu_off", "ballistic_menu", 0, [] { info[0].ballistics_sw = 0; }, ""},
    {"ballistic_menu_stepping", "ballistic_menu", 0, nullptr, "555,]3"},
    {"ballistic_quickmenu", "ballistic_quickmenu", 0, nullptr, ""},
    {"ballistic_quickmenu_cursor", "ballistic_quickmenu", 0, nullptr, "555,]]]]"},
    {"ballistic_setting_menu", "ballistic_setting_menu", 0, nullptr, "5"},
    {"ballistic_bullet", "ballistic_bullet", 0, nullptr, "55"},
    {"ballistic_group_info", "ballistic_group_info", 0, nullptr, "5]"},
    {"ballistic_coriolis", "ballistic_coriolis", 0, nullptr, "5,]]"},
    {"ballistic_weather", "ballistic_weather", 0, nullptr, "5"},
    {"ballistic_zeroweather_off", "ballistic_zeroweather", 0, nullptr, ""},
    {"bullistic_lens", "bullistic_lens", 0, nullptr, "5,3"},
};

TEST(BallisticScreens, EachPageDrawsAsItsReference)
{
    for (const Screen &s : k_screens) {
        SCOPED_TRACE(s.name);
        in_gui_child([&s] {
            profile();
            if (s.setup) s.setup();
            ASSERT_EQ(navigator_to("DataTime"), RET_OK);
            ASSERT_EQ(navigator_to_with_context(s.page, (void *)s.ctx), RET_OK);
            awtk_test_pump();
            for (const char *k = s.keys; *k != '\0'; k++) {
                awtk_test_key((uint32_t)(unsigned char)*k);
                awtk_test_pump();
            }
            EXPECT_TRUE(page_screenshot::matches(s.name));
            EXPECT_EQ(page_screenshot::unresolved(navigator_find_window(s.page)), "");
        });
    }
}

TEST(BallisticScreens, TheQuickMenuInRussianAndChinese)
{
    for (const char *lang : {"ru", "zh"}) {
        SCOPED_TRACE(lang);
        in_gui_child([lang] {
            profile();
            locale_info_change(locale_info(), lang, strcmp(lang, "ru") == 0 ? "RU" : "CN");
            ASSERT_EQ(navigator_to("ballistic_quickmenu"), RET_OK);
            awtk_test_pump();
            EXPECT_TRUE(page_screenshot::matches(std::string("ballistic_quickmenu_") + lang));
            EXPECT_EQ(page_screenshot::unresolved(navigator_find_window("ballistic_quickmenu")), "");
        });
    }
}

} // namespace
