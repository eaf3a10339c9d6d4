// The menus end to end: sightd and sightui in the sandbox, worked with the
// scope's keys as the shooter would, checked as a peer sees them (widget
// tree, settings file, board log, the Media partition).
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>

#include "home_road.h"
#include "media_files.h"
#include "media_replay.h"
#include "scope_factory.h"

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
    return road.wait_tree([&](const std::string &t) { return sim_tree_widget(t, widget).text == text; }, SIM_REPLY_MS,
                          tree);
}

/* Down from row 1 to row `row` of the menu on top. */
bool to_row(HomeRoad &road, int row)
{
    for (int i = 1; i < row; i++)
        if (!road.key("down")) return false;
    return true;
}

/* From the home page into row `row` of the main menu (OK on it), which
 * opens `page`. */
bool open_main_row(HomeRoad &road, int row, const std::string &page)
{
    return road.key("ok", "long") && road.wait_top("main_menu") && to_row(road, row) && road.key("ok") &&
           road.wait_top(page);
}

/* From the home page to row `row` of the settings menu. */
bool to_settings_row(HomeRoad &road, int row) { return open_main_row(road, 6, "setting_menu") && to_row(road, row); }

/* On a two-choice page, which opens on Cancel: the other choice, taken. */
bool choose_other(HomeRoad &road) { return road.key("up") && road.key("ok"); }

/* A setting of the settings file ("" when missing). */
std::string setting(const sim_harness &h, const std::string &key)
{
    std::string value;
    scope_ini_get(sim_path(h.sb, "/factory/config.ini"), "qeldevstatus:" + key, &value);
    return value;
}

bool wait_setting(const sim_harness &h, const std::string &key, const std::string &want)
{
    return h.wait(SIM_REPLY_MS, [&] { return setting(h, key) == want; });
}

/* How the run ended, once sightd's end is seen. */
sim_outcome wait_end(sim_harness &h, int timeout_ms)
{
    sim_outcome out;
    h.wait(timeout_ms, [&] { return h.ended(h.sightd, &out); });
    h.sightd = -1;
    return out;
}

/* Photos and videos on the Media partition as the media process leaves
 * them, each with its thumbnail. */
sim_file photo(const std::string &name)
{
    std::vector<uint8_t> bmp = sim_media_bmp(640, 512, 200, 60, 60);
    return {"/usrdata/media/Picture/" + name + ".bmp", std::string(bmp.begin(), bmp.end()), 0644};
}
sim_file video(const std::string &name, uint64_t frames)
{
    return {"/usrdata/media/Video/" + name + ".mp4", sim_media_fixture_video(frames, 300), 0644};
}
sim_file thumbnail(const std::string &name)
{
    std::vector<uint8_t> jpg = sim_media_jpeg(256, 200, 200, 60, 60);
    return {"/usrdata/media/.thumbnails/" + name + ".jpg", std::string(jpg.begin(), jpg.end()), 0644};
}

} // namespace

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

/* The automatic shutter interval and the rangefinder's minimum distance,
 * changed in their menus, land in the settings file and are shown again
 * after sightd and sightui start anew from the kept folder. */
TEST(Menus, SettingsAndRangefinderValuesSurviveARestart)
{
    std::string dir, shutter;
    {
        HomeRoad road;
        TO_HOME(road, {}, "", true);
        dir = sim_dir(road.sb);
        ASSERT_TRUE(to_settings_row(road, 2)) << road.why;
        std::string tree;
        ASSERT_TRUE(road.snapshot(&tree));
        const int before = atoi(sim_tree_widget(tree, "label_auto_shutter_switch").text.c_str());
        shutter = std::to_string(before >= 30 ? 0 : before - before % 5 + 5);
        ASSERT_TRUE(road.key("right"));
        ASSERT_TRUE(wait_text(road, "label_auto_shutter_switch", shutter, &tree)) << tree;
        EXPECT_TRUE(wait_setting(road, "s8autoshutter", shutter)) << setting(road, "s8autoshutter");

        ASSERT_TRUE(to_row(road, 9));
        ASSERT_TRUE(road.key("ok"));
        ASSERT_TRUE(road.wait_top("lrf_menu")) << road.why;
        ASSERT_TRUE(to_row(road, 3)); /* the minimum, "Not set" on a new scope */
        ASSERT_TRUE(road.key("right"));
        EXPECT_TRUE(wait_setting(road, "vesk_lrf_min_m", "10")) << setting(road, "vesk_lrf_min_m");
        ASSERT_TRUE(road.wait_tree(
            [](const std::string &t) {
                return sim_tree_widget(t, "vesk_label_min_value").text.find("10") != std::string::npos;
            },
            SIM_REPLY_MS, &tree))
            << tree;
        sim_outcome out = road.stop_sightd();
        EXPECT_EQ(out.end, SIM_EXITED) << sim_outcome_text(out);
    }
    HomeRoad road;
    TO_HOME(road, {}, dir);
    ASSERT_TRUE(to_settings_row(road, 2)) << road.why;
    std::string tree;
    EXPECT_TRUE(wait_text(road, "label_auto_shutter_switch", shutter, &tree)) << tree;
    ASSERT_TRUE(to_row(road, 9));
    ASSERT_TRUE(road.key("ok"));
    ASSERT_TRUE(road.wait_top("lrf_menu")) << road.why;
    EXPECT_TRUE(road.wait_tree(
        [](const std::string &t) {
            return sim_tree_widget(t, "vesk_label_min_value").text.find("10") != std::string::npos;
        },
        SIM_REPLY_MS, &tree))
        << tree;
}

/* A photo of the Media partition opened full screen from the browser and
 * then deleted: the file and its thumbnail are gone. */
TEST(Menus, APhotoOpensFullScreenAndIsDeletedWithItsThumbnail)
{
    HomeRoad road;
    TO_HOME(road, {photo("IMG_0001"), thumbnail("IMG_0001")});
    ASSERT_TRUE(open_main_row(road, 4, "file_menu")) << road.why;
    ASSERT_TRUE(road.key("right")); /* the photo tab */
    ASSERT_TRUE(road.key("ok"));    /* into the grid */
    ASSERT_TRUE(road.key("ok"));    /* the pop-up: view */
    ASSERT_TRUE(road.key("ok"));
    ASSERT_TRUE(road.wait_top("file_image")) << road.why;
    ASSERT_TRUE(road.key("ok"));
    ASSERT_TRUE(road.wait_top("file_menu")) << road.why;
    ASSERT_TRUE(road.key("down")); /* the pop-up is still up: its delete row */
    ASSERT_TRUE(road.key("ok"));   /* the confirmation, on OK */
    ASSERT_TRUE(road.key("ok"));
    /* The photo goes first, then its thumbnail. */
    EXPECT_TRUE(road.wait(SIM_REPLY_MS, [&] { return !road.exists("/usrdata/media/.thumbnails/IMG_0001.jpg"); }))
        << "its thumbnail is still there";
    EXPECT_FALSE(road.exists("/usrdata/media/Picture/IMG_0001.bmp")) << "the photo is still there";
    /* It was the only photo: the tab shows its empty picture. */
    std::string tree;
    EXPECT_TRUE(road.wait_tree(
        [](const std::string &t) {
            sim_widget empty = sim_tree_widget(t, "image_no_file");
            return empty.visible && empty.image == "QZ_img_empty";
        },
        SIM_REPLY_MS, &tree))
        << tree;
}

/* A video played against the media process: its length shows, OK pauses
 * and continues, right seeks forward from the reported position, and a
 * long OK stops it and returns to the browser. */
TEST(Menus, AVideoIsPlayedPausedAndSoughtAgainstTheMediaProcess)
{
    HomeRoad road;
    TO_HOME(road, {video("VID_0001", 1800), thumbnail("VID_0001")}); /* one minute */
    ASSERT_TRUE(open_main_row(road, 4, "file_menu")) << road.why;
    ASSERT_TRUE(road.key("ok")); /* into the video grid: its length is asked for */
    std::string tree;
    ASSERT_TRUE(wait_text(road, "label_Time_value", "01:00", &tree)) << tree;
    ASSERT_TRUE(road.key("ok"));
    ASSERT_TRUE(road.key("ok")); /* play */
    ASSERT_TRUE(road.wait_top("file_video")) << road.why;
    EXPECT_TRUE(wait_text(road, "label_total_time", "/01:00", &tree)) << tree;
    const sim_head replay = {23, 1, 1, 0x00}, seek = {23, 1, 3, 0x00};
    auto replay_value = [&](uint8_t v) {
        return road.wait_frames(
            "media", [&](const sim_bytes &f) { return replay(f) && f[6] == v; }, 1);
    };
    EXPECT_FALSE(replay_value(3).empty()) << "no start reached the media process";
    /* The position moves as the media process reports it. */
    ASSERT_TRUE(
        road.wait_tree([](const std::string &t) { return sim_tree_widget(t, "label_play_time").text >= "00:03"; },
                       SIM_REPLY_MS, &tree))
        << tree;
    ASSERT_TRUE(road.key("ok"));
    EXPECT_FALSE(replay_value(0).empty()) << "no pause";
    ASSERT_TRUE(road.key("ok"));
    EXPECT_FALSE(replay_value(1).empty()) << "no continue";
    ASSERT_TRUE(road.key("right"));
    std::vector<sim_bytes> sought = road.wait_frames("media", seek, 1);
    ASSERT_FALSE(sought.empty()) << "no seek";
    uint64_t to = 0;
    for (int i = 7; i >= 0; i--) to = to << 8 | sought[0][6 + i];
    EXPECT_GT(to, 30u) << "a step forward from a position past the first second";
    EXPECT_LE(to, 1800u);
    ASSERT_TRUE(road.key("ok", "long"));
    EXPECT_TRUE(road.wait_top("file_menu")) << road.why;
    EXPECT_FALSE(replay_value(2).empty()) << "no stop";
}

/* A format from the storage page runs through sightd's coordinator: the
 * Media partition is emptied, its folders made again, the scope reboots
 * and the kept folder boots to the home page. */
TEST(Menus, AFormatFromTheStoragePageEmptiesTheMediaPartitionAndReboots)
{
    std::string dir;
    {
        HomeRoad road;
        TO_HOME(road, {photo("IMG_0001"), thumbnail("IMG_0001")}, "", true);
        dir = sim_dir(road.sb);
        ASSERT_TRUE(to_settings_row(road, 9)) << road.why;
        ASSERT_TRUE(road.key("ok"));
        ASSERT_TRUE(road.wait_top("memory_menu")) << road.why;
        ASSERT_TRUE(choose_other(road)); /* Format */
        ASSERT_TRUE(road.wait_top("memory_format_sel")) << road.why;
        ASSERT_TRUE(choose_other(road)); /* OK */
        sim_outcome out = wait_end(road, SIM_REPLY_MS * 2);
        EXPECT_EQ(out.end, SIM_REBOOT) << sim_outcome_text(out);
        bool formatted = false;
        for (const std::string &l : road.board_log("tool"))
            formatted = formatted || sim_log_field(l, "name") == "mkfs.vfat";
        EXPECT_TRUE(formatted) << "mkfs.vfat never ran";
        EXPECT_FALSE(road.exists("/usrdata/media/Picture/IMG_0001.bmp"));
        for (const char *d : {"/usrdata/media/Picture", "/usrdata/media/Video", "/usrdata/media/.thumbnails"})
            EXPECT_TRUE(road.exists(d)) << d;
        EXPECT_FALSE(road.log_lines("app").empty()) << "the log files resume on the new partition";
    }
    HomeRoad road;
    TO_HOME(road, {}, dir);
}

/* A factory reset from the settings menu reboots, and the next boot has
 * the factory settings again. */
TEST(Menus, AFactoryResetRebootsToTheFactorySettings)
{
    std::string dir, factory;
    {
        HomeRoad road;
        TO_HOME(road, {}, "", true);
        dir = sim_dir(road.sb);
        factory = setting(road, "s8autoshutter");
        ASSERT_TRUE(to_settings_row(road, 2)) << road.why;
        ASSERT_TRUE(road.key("right"));
        ASSERT_TRUE(road.wait(SIM_REPLY_MS, [&] { return setting(road, "s8autoshutter") != factory; }));
        ASSERT_TRUE(to_row(road, 5)); /* reset */
        ASSERT_TRUE(road.key("ok"));
        ASSERT_TRUE(road.wait_top("restore_factory")) << road.why;
        ASSERT_TRUE(choose_other(road)); /* OK */
        sim_outcome out = wait_end(road, SIM_REPLY_MS * 2);
        EXPECT_EQ(out.end, SIM_REBOOT) << sim_outcome_text(out);
    }
    HomeRoad road;
    TO_HOME(road, {}, dir);
    EXPECT_EQ(setting(road, "s8autoshutter"), factory);
    ASSERT_TRUE(to_settings_row(road, 2)) << road.why;
    std::string tree;
    EXPECT_TRUE(wait_text(road, "label_auto_shutter_switch", factory, &tree)) << tree;
}
