// The menus end to end: sightd and sightui in the sandbox, worked with the
// scope's keys as the shooter would, checked as a peer sees them (widget
// tree, settings file, board log, the Media partition).
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>

#include "home_road.h"

namespace {

#define TO_HOME(road, ...) ASSERT_TRUE(start_scope((road), __VA_ARGS__)) << (road).why

/* The scope on its factory image (ballistics off), with extra files; in a
 * kept folder (a boot after a restart) when dir is given. */
bool start_scope(HomeRoad &road, const std::vector<sim_file> &extra = {}, const std::string &dir = "",
                 bool keep = false)
{
    sim_options options;
    options.media_bytes = 256ull << 20;
    options.dir = dir;
    options.keep = keep;
    HomeRoadImage image;
    image.ballistics = false;
    options.files = home_road_image(image, &road.why);
    if (options.files.empty()) return false;
    if (!dir.empty()) options.files.clear();
    options.files.insert(options.files.end(), extra.begin(), extra.end());
    return road.create(options) && road.start_peer("media") && road.start_sightd() && road.start_sightui() &&
           road.wait_top("QZ_home_page_1");
}

/* Waits for a widget of the top window to show text. */
bool wait_text(HomeRoad &road, const std::string &widget, const std::string &text, std::string *tree)
{
    return road.wait_tree([&](const std::string &t) { return sim_tree_widget(t, widget).text == text; },
                          SIM_REPLY_MS, tree);
}

/* From the home page to row `row` of the settings menu. */
bool to_settings_row(HomeRoad &road, int row)
{
    if (!road.key("ok", "long") || !road.wait_top("main_menu")) return false;
    for (int i = 1; i < 6; i++)
        if (!road.key("down")) return false;
    if (!road.key("ok") || !road.wait_top("setting_menu")) return false;
    for (int i = 1; i < row; i++)
        if (!road.key("down")) return false;
    return true;
}

}  // namespace

TEST(Menus, TheDateSetOnThePageReachesBothClocks)
{
    HomeRoad road;
    TO_HOME(road, {});
    ASSERT_TRUE(to_settings_row(road, 5)) << road.why;
    ASSERT_TRUE(road.key("ok"));
    ASSERT_TRUE(road.wait_top("DataTime")) << road.why;
    std::string tree;
    ASSERT_TRUE(road.snapshot(&tree));
    int year = atoi(sim_tree_widget(tree, "label_year").text.c_str());
    /* Up on the year, then leave: the page writes both clocks. */
    ASSERT_TRUE(road.key("up"));
    ASSERT_TRUE(road.key("ok"));
    ASSERT_TRUE(road.wait_top("setting_menu")) << road.why;
    char want[32];
    snprintf(want, sizeof want, "year=%d", (year == 99 ? 23 : year + 1) + 100);
    std::string rtc, clock;
    road.wait(SIM_REPLY_MS, [&] {
        for (const std::string &l : road.board_log()) {
            if (l.find("node=/dev/rtc0") != std::string::npos && l.find(want) != std::string::npos) rtc = l;
            if (l.find("call=settimeofday") != std::string::npos) clock = l;
        }
        return !rtc.empty() && !clock.empty();
    });
    EXPECT_NE(rtc, "") << "the hardware clock got the new year";
    EXPECT_NE(clock.find("rc=0"), std::string::npos) << clock;
}

TEST(Menus, TheInformationPageShowsTheSerialNumberOfTheEeprom)
{
    HomeRoad road;
    std::string eeprom = "[info]\npn=VK-520-LRF-01\nsn=SN20261234\ns16rangeoffsetx=639\ns16rangeoffsety=639\n"
                         "s16laserindicatx=639\ns16laserindicaty=639\ns16rangeminscale=1000\ns16rangemaxscale=12000\n"
                         "f_zero_azimuth=0.000000\nf_zero_pitch=0.000000\nf_zero_slant=0.000000\n";
    eeprom.resize(4096, '\0');
    TO_HOME(road, (std::vector<sim_file>{{SIM_EEPROM, eeprom, 0644}}));
    ASSERT_TRUE(to_settings_row(road, 8)) << road.why;
    ASSERT_TRUE(road.key("ok"));
    ASSERT_TRUE(road.wait_top("Info_menu")) << road.why;
    std::string tree;
    ASSERT_TRUE(wait_text(road, "SN_value", "SN20261234", &tree)) << road.why << "\n" << tree;
    EXPECT_EQ(sim_tree_widget(tree, "PN_value").text, "VK-520-LRF-01");
    ASSERT_TRUE(road.key("ok"));
    ASSERT_TRUE(road.wait_top("setting_menu")) << road.why;
}

