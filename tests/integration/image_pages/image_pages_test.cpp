// The image, bad-pixel, compass and recoil-video pages end to end: sightd
// and sightui in the sandbox, worked with the scope's keys, checked as the
// thermal core, the magnetometer, the media process and the settings file
// see them.
#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "home_road.h"
#include "scope_factory.h"
#include "sim.h"
#include "sim_iio.h"
#include "sim_thermal.h"

namespace {

/* The media process's word that video runs, which the boot push waits for. */
const sim_bytes video_ready = sim_frame(1, 19, 0xFF, 0x00);

std::vector<thermal_core_record> core_took(thermal_core *core, uint16_t cmd)
{
    return thermal_core_received(core, cmd);
}

/* The scope from its factory image with the thermal core, up to the home
 * page; the reticle menu switch as asked. */
bool start_scope(HomeRoad &h, thermal_core **core, bool reticle_menu = false)
{
    HomeRoadImage image;
    image.ballistics = false;
    image.reticle_menu = reticle_menu;
    sim_options options;
    options.media_bytes = 256ull << 20;
    options.files = home_road_image(image, &h.why);
    if (options.files.empty() || !h.create(options) || !h.start_peer("media")) return false;
    *core = sim_thermal_core(h);
    return *core != nullptr && h.send("media", video_ready) && h.start_sightd() && h.start_sightui() &&
           h.wait_top("QZ_home_page_1");
}

/* From the home page through row `row` of the main menu into its page. */
bool open_main_row(HomeRoad &h, int row, const char *page)
{
    if (!h.key("ok", "long") || !h.wait_top("main_menu")) return false;
    for (int i = 1; i < row; i++)
        if (!h.key("down")) return false;
    return h.key("ok") && h.wait_top(page);
}

bool wait_widget(HomeRoad &h, const std::string &name, const std::function<bool(const sim_widget &)> &pred,
                 std::string *tree)
{
    return h.wait_tree([&](const std::string &t) { return pred(sim_tree_widget(t, name)); }, SIM_REPLY_MS, tree);
}

std::string ini(HomeRoad &h, const std::string &key)
{
    std::string value;
    scope_ini_get(sim_path(h.sb, SCOPE_CURRENT_INI), key, &value);
    return value;
}

} // namespace

TEST(ImagePages, ABrightnessStepReachesTheCoreByteForByte)
{
    HomeRoad h;
    thermal_core *core = nullptr;
    ASSERT_TRUE(start_scope(h, &core)) << h.why;
    ASSERT_TRUE(open_main_row(h, 1, "image_menu")) << h.why;
    std::string tree;
    ASSERT_TRUE(h.snapshot(&tree));
    const int before = atoi(sim_tree_widget(tree, "label_bright_value").text.c_str());
    const int want = before >= 10 ? 1 : before + 1;
    const size_t sent = core_took(core, 0x0309).size();

    ASSERT_TRUE(h.key("down") && h.key("down") && h.key("right")) << h.why;
    ASSERT_TRUE(wait_widget(
        h, "label_bright_value", [&](const sim_widget &w) { return w.text == std::to_string(want); }, &tree))
        << tree;
    ASSERT_TRUE(h.wait(SIM_REPLY_MS, [&] { return core_took(core, 0x0309).size() > sent; }));
    /* Selector 0 (brightness), level l as 5 l + 39. */
    EXPECT_EQ(core_took(core, 0x0309).back().frame,
              thermal_core_frame(0xAA, 0x0309, 0x01, {0x00, (uint8_t)(5 * want + 39)}));
    thermal_core_image im;
    thermal_core_get_image(core, &im);
    EXPECT_EQ(im.brightness, want);
    EXPECT_EQ(im.bad_frames, 0u);
    ASSERT_TRUE(h.wait(SIM_REPLY_MS, [&] { return ini(h, "irparam:s8irbrightness") == std::to_string(want); }))
        << ini(h, "irparam:s8irbrightness");
}

TEST(ImagePages, ABadPixelMarkedAndSavedReachesTheCore)
{
    HomeRoad h;
    thermal_core *core = nullptr;
    ASSERT_TRUE(start_scope(h, &core)) << h.why;
    ASSERT_TRUE(open_main_row(h, 5, "pixel_menu")) << h.why;
    /* The cursor comes on at the middle of the sensor. */
    ASSERT_TRUE(h.wait(SIM_REPLY_MS, [&] {
        thermal_core_image im;
        thermal_core_get_image(core, &im);
        return im.badpix_mode == 1 && im.cursor_x == 320 && im.cursor_y == 256;
    }));
    ASSERT_TRUE(h.key("right") && h.key("up")) << h.why;
    ASSERT_TRUE(h.wait(SIM_REPLY_MS, [&] {
        thermal_core_image im;
        thermal_core_get_image(core, &im);
        return im.cursor_x == 321 && im.cursor_y == 255;
    }));
    ASSERT_TRUE(h.key("ok")) << h.why;
    ASSERT_TRUE(h.wait(SIM_REPLY_MS, [&] { return core_took(core, 0x0508).size() == 1; }));
    EXPECT_EQ(core_took(core, 0x0508)[0].frame, thermal_core_frame(0xAA, 0x0508, 0x01, {0x00}));

    /* Back saves; the core's save report lets the page turn the cursor off
     * and leave for the main menu. */
    ASSERT_TRUE(h.key("ok", "long")) << h.why;
    ASSERT_TRUE(h.wait_top("main_menu")) << h.why;
    std::vector<thermal_core_record> repairs = core_took(core, 0x0508);
    ASSERT_EQ(repairs.size(), 2u);
    EXPECT_EQ(repairs[1].frame, thermal_core_frame(0xAA, 0x0508, 0x01, {0x02}));
    thermal_core_image im;
    thermal_core_get_image(core, &im);
    EXPECT_EQ(im.saves, 1u);
    EXPECT_EQ(im.saved_marks, 1u);
    EXPECT_EQ(im.mark_x, 321);
    EXPECT_EQ(im.mark_y, 255);
    EXPECT_EQ(im.badpix_mode, 0);
}

TEST(ImagePages, TheAutomaticSearchWaitsForTheCoresReport)
{
    HomeRoad h;
    thermal_core *core = nullptr;
    ASSERT_TRUE(start_scope(h, &core)) << h.why;
    /* The core reports the search's end only when told to. */
    ASSERT_EQ(thermal_core_command(core, "answers off"), 0);
    ASSERT_TRUE(open_main_row(h, 5, "pixel_menu")) << h.why;
    ASSERT_TRUE(h.key("range")) << h.why;
    ASSERT_TRUE(h.wait(SIM_REPLY_MS, [&] { return !core_took(core, 0x0509).empty(); }));
    EXPECT_EQ(core_took(core, 0x0509)[0].frame, thermal_core_frame(0xAA, 0x0509, 0x01, {0x08}));
    std::string tree;
    ASSERT_TRUE(wait_widget(
        h, "view_waiting", [](const sim_widget &w) { return w.visible; }, &tree))
        << tree;

    ASSERT_EQ(thermal_core_command(core, "notice repair"), 0);
    ASSERT_TRUE(wait_widget(
        h, "view_waiting", [](const sim_widget &w) { return !w.visible; }, &tree))
        << tree;
    const size_t moves = core_took(core, 0x0405).size();
    ASSERT_TRUE(h.key("right")) << h.why;
    EXPECT_TRUE(h.wait(SIM_REPLY_MS, [&] { return core_took(core, 0x0405).size() > moves; }))
        << "keys work again after the report";
}

TEST(ImagePages, ACompassCalibrationWalksBothStagesAndStoresTheOffsets)
{
    HomeRoad h;
    thermal_core *core = nullptr;
    ASSERT_TRUE(start_scope(h, &core)) << h.why;
    /* The chip's own field, in its axes; sightd reads the chip as (y, -x, z). */
    const int16_t hard_iron[3] = {-140, 210, 75};
    ASSERT_EQ(sim_iio_set_attitude(h.sb, 0, 0, 0, hard_iron), 0);
    ASSERT_TRUE(open_main_row(h, 3, "compass_menu")) << h.why;
    ASSERT_TRUE(h.key("down") && h.key("ok")) << h.why;
    ASSERT_TRUE(h.wait_top("compass_correction")) << h.why;

    /* sightd takes the GUI's commands in order on one bus: once an image
     * command sent after the calibration's start reaches the core, the
     * start has been taken too. */
    auto barrier = [&](uint8_t polarity) {
        const size_t n = core_took(core, 0x0305).size();
        return h.send("media", sim_frame(1, 1, 4, 0x00, {polarity, 0})) &&
               h.wait(SIM_REPLY_MS, [&] { return core_took(core, 0x0305).size() > n; });
    };
    ASSERT_TRUE(barrier(0)) << h.why;
    ASSERT_EQ(sim_iio_turn(h.sb, SIM_IIO_TURN_HORIZONTAL, hard_iron, SIM_BOOT_MS), 0);
    ASSERT_TRUE(h.key("ok")) << h.why;
    std::string tree;
    ASSERT_TRUE(wait_widget(
        h, "view_vert", [](const sim_widget &w) { return w.visible; }, &tree))
        << tree;
    ASSERT_TRUE(barrier(0)) << h.why;
    ASSERT_EQ(sim_iio_turn(h.sb, SIM_IIO_TURN_VERTICAL, hard_iron, SIM_BOOT_MS), 0);
    ASSERT_TRUE(h.key("ok")) << h.why;
    ASSERT_TRUE(h.wait_top("compass_menu")) << h.why;

    const std::string want[3] = {"210.00", "140.00", "75.00"};
    const char *const keys[3] = {"compassparam:f32ccompassyaw", "compassparam:f32compasspitch",
                                 "compassparam:f32compassroll"};
    EXPECT_TRUE(h.wait(SIM_REPLY_MS,
                       [&] {
                           for (int i = 0; i < 3; i++)
                               if (ini(h, keys[i]) != want[i]) return false;
                           return true;
                       }))
        << ini(h, keys[0]) << " " << ini(h, keys[1]) << " " << ini(h, keys[2]);
}

TEST(ImagePages, TheDeclinationEditedByKeysIsStored)
{
    HomeRoad h;
    thermal_core *core = nullptr;
    ASSERT_TRUE(start_scope(h, &core)) << h.why;
    ASSERT_TRUE(open_main_row(h, 3, "compass_menu")) << h.why;
    ASSERT_TRUE(h.key("down") && h.key("down") && h.key("ok")) << h.why;
    ASSERT_TRUE(h.wait_top("magnetic_declination")) << h.why;
    /* 0.0 opens as -00.0: the sign to +, the degrees to 3, the tenths to 9. */
    ASSERT_TRUE(h.key("up") && h.key("right") && h.key("right") && h.key("up") && h.key("up") && h.key("up") &&
                h.key("right") && h.key("down") && h.key("ok"))
        << h.why;
    ASSERT_TRUE(h.wait_top("compass_menu")) << h.why;
    EXPECT_TRUE(h.wait(SIM_REPLY_MS, [&] { return ini(h, "compassparam:f32compassdeclination") == "39.00"; }))
        << ini(h, "compassparam:f32compassdeclination");
}

TEST(ImagePages, RecoilVideoSettingsReachTheMediaProcess)
{
    HomeRoad h;
    thermal_core *core = nullptr;
    ASSERT_TRUE(start_scope(h, &core, true)) << h.why;
    /* sightd hands the media process the stored switch 5 s after its start:
     * once that is through, every switch frame after it is the page's. */
    ASSERT_EQ(h.wait_frames("media", sim_head{28, 0, 0xFF, 0x00}, 1, SIM_REPLY_MS * 3).size(), 1u);
    h.take_all("media");
    ASSERT_TRUE(open_main_row(h, 8, "rav_menu")) << h.why;
    std::string tree;
    ASSERT_TRUE(h.snapshot(&tree));
    const std::string before = sim_tree_widget(tree, "label_time_before_recoil_value").text;
    const uint8_t want = before == "5s" ? 1 : before == "10s" ? 2 : 0;

    /* The switch, with room enough on the Media partition, then a time. */
    ASSERT_TRUE(h.key("ok")) << h.why;
    ASSERT_TRUE(h.key("down") && h.key("right")) << h.why;
    const sim_bytes on = sim_frame(28, 0, 0xFF, 0x00, {1});
    const sim_bytes time = sim_frame(28, 1, 0xFF, 0x00, {want});
    EXPECT_EQ(h.wait_frames(
                   "media", [&](const sim_bytes &f) { return f == on; }, 1)
                  .size(),
              1u);
    EXPECT_EQ(h.wait_frames(
                   "media", [&](const sim_bytes &f) { return f == time; }, 1)
                  .size(),
              1u);
    EXPECT_TRUE(h.wait(SIM_REPLY_MS, [&] { return ini(h, "qeldevstatus:s8shotfronttime") == std::to_string(want); }))
        << ini(h, "qeldevstatus:s8shotfronttime");
}
