// The road from the range key to the hold-over, both real programs in the
// sandbox: sightui's range key makes sightd measure with the simulated
// rangefinder, sightd solves with the ballistic library, and the home page
// shows the range and the hold-over, in its widget tree and on screen.
#include "home_road.h"

#include <gtest/gtest.h>

#include <math.h>
#include <png.h>
#include <string.h>

#include <chrono>
#include <string>
#include <thread>

#include "ballistic_fbc.h"
#include "ballistic_units.h"
#include "sim_factory.h"

/* The binding reads these of sightd's settings; here they are those of the
 * factory image the road boots with. */
static int g_dynamic_bc = 1;
int vesk_dynamic_bc_get(void) { return g_dynamic_bc; }
int vesk_debug_enabled(void) { return 0; }

namespace {

const double MOA_PER_MRAD = 3.44;

float f32_at(const std::vector<uint8_t> &f, size_t off)
{
    float v;
    memcpy(&v, f.data() + off, 4);
    return v;
}

/* What the home page shows for a hold of moa: "%.02f" of its size in mil. */
std::string mil_text(float moa)
{
    char text[32];
    snprintf(text, sizeof text, "%.02f", fabs(moa / MOA_PER_MRAD));
    return text;
}

/* The hold-over the library gives for profile 0 of the factory image at
 * this range (decimetres) and shot angle, as sightd turns it into MOA. */
void library_hold(int range_dm, double angle, double *moa_v, double *moa_h)
{
    Info_ballistics profiles[VESK_PROFILE_COUNT];
    Qel_IR_Cursor cursor;
    sim_factory_profiles(profiles, &cursor);
    Info_ballistics b = profiles[0];
    b.ballistics_sw = 1;
    Qel_ballistics_Init_FBC();
    double drop = 0, windage = 0;
    ASSERT_EQ(Qel_ballistics_FBC_Calculator(b, range_dm, -1.0, angle, -1.0, &drop, &windage), 0);
    const Info_bullet &u = b.gun.bullet;
    *moa_v = getVerticalMOAOrigin(u.zeroOffsetUnit, u.zeroOffsetVerticalMOA, u.zeroOffsetVerticalMRAD, drop);
    *moa_h = -getHorizontalMOAOrigin(u.zeroOffsetUnit, u.zeroOffsetHorizontalMOA, u.zeroOffsetHorizontalMRAD, windage);
}

/* Lit pixels (any channel above 128) of a PNG inside a rectangle. */
int lit_pixels(const std::string &png, int x0, int y0, int w, int h)
{
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return -1;
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> px(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, px.data(), 0, nullptr)) return -1;
    int lit = 0;
    for (int y = y0; y < y0 + h && y < (int)image.height; y++)
        for (int x = x0; x < x0 + w && x < (int)image.width; x++) {
            const uint8_t *p = &px[((size_t)y * image.width + (size_t)x) * 4];
            if (p[0] > 128 || p[1] > 128 || p[2] > 128) lit++;
        }
    return lit;
}

/* Screen rectangle of a widget inside the ballistic box or range view. */
struct Rect {
    int x, y, w, h;
};
Rect screen_rect(const std::string &dump, const char *parent, const char *child)
{
    Rect r = {0, 0, 0, 0};
    int px, py, pw, ph, cx, cy, cw, ch;
    if (sscanf(sim_tree_widget(dump, parent).rect.c_str(), "%d,%d,%d,%d", &px, &py, &pw, &ph) == 4 &&
        sscanf(sim_tree_widget(dump, child).rect.c_str(), "%d,%d,%d,%d", &cx, &cy, &cw, &ch) == 4)
        r = {px + cx, py + cy, cw, ch};
    return r;
}

/* In a TEST body: the road up to the home page, or a failure saying why. */
#define ROAD_TO_HOME(road, image, media_bytes) ASSERT_TRUE((road).start((image), (media_bytes))) << (road).why

/* The dynamic-coefficient setting of the factory image. */
int image_dynamic_bc()
{
    std::string why;
    for (const sim_file &f : home_road_image(HomeRoadImage{}, &why)) {
        size_t at = f.data.find("vesk_dynamic_bc");
        size_t eq = at == std::string::npos ? at : f.data.find('=', at);
        if (eq != std::string::npos) return atoi(f.data.c_str() + eq + 1);
    }
    return 1;
}

/* Presses the range key and takes snapshots until the read-out shows the
 * range; the last dump and picture. */
bool range_and_wait(HomeRoad &road, const char *shown, std::string *dump, std::string *png)
{
    return road.key("range") &&
           road.wait_tree([&](const std::string &t) { return sim_tree_widget(t, "label_RngeValue").text == shown; },
                          10000 * SIM_SLOW, dump, png);
}

TEST(HomeRoad, RangeKeyShowsTheRangeAndTheHoldOverOfTheLibrary)
{
    HomeRoad road;
    ROAD_TO_HOME(road, HomeRoadImage{}, 1ull << 30);
    ASSERT_TRUE(road.lrf_command("range 523.4"));

    std::string dump, png;
    ASSERT_TRUE(range_and_wait(road, "523.4 m", &dump, &png)) << dump;
    /* The hold-over follows the range within the ballistic thread's poll. */
    road.wait_tree([](const std::string &t) { return sim_tree_widget(t, "label_distance_ballistic").text == "523.4m"; },
                   SIM_REPLY_MS, &dump, &png);
    EXPECT_EQ(sim_tree_widget(dump, "label_distance_ballistic").text, "523.4m") << dump;

    /* sightd's result frame, as the media process received it after the GUI. */
    std::vector<std::vector<uint8_t>> results = road.frames("media", sim_head{27});
    ASSERT_FALSE(results.empty());
    const std::vector<uint8_t> &frame = results.back();
    ASSERT_EQ(frame.size(), 29u);
    EXPECT_FLOAT_EQ(f32_at(frame, 14), 523.4f);
    double moa_v = 0, moa_h = 0;
    g_dynamic_bc = image_dynamic_bc();
    library_hold(5234, f32_at(frame, 18), &moa_v, &moa_h);
    EXPECT_NEAR(f32_at(frame, 6), moa_v, 1e-3 * fabs(moa_v) + 1e-4);
    EXPECT_NEAR(f32_at(frame, 10), moa_h, 1e-3 * fabs(moa_h) + 1e-4);

    sim_widget v = sim_tree_widget(dump, "label_MOA_V");
    sim_widget h = sim_tree_widget(dump, "label_MOA_H");
    EXPECT_EQ(v.text, mil_text((float)moa_v));
    EXPECT_EQ(h.text, mil_text((float)moa_h));
    EXPECT_LT(moa_v, 0) << "a .308 zeroed at 91 m drops at 523 m: the impact lies below, held up";
    EXPECT_EQ(sim_tree_widget(dump, "image_ballistic_result_v").image, "ic_up_sel");
    EXPECT_TRUE(sim_tree_widget(dump, "image_ballistic_result_v").visible);
    EXPECT_TRUE(sim_tree_widget(dump, "view_ballistics").visible);

    /* And on screen: the read-outs are drawn where the tree has them. */
    Rect range = screen_rect(dump, "Range", "label_RngeValue");
    Rect hold = screen_rect(dump, "view_ballistics", "label_MOA_V");
    EXPECT_GT(lit_pixels(png, range.x, range.y, range.w, range.h), 50);
    EXPECT_GT(lit_pixels(png, hold.x, hold.y, hold.w, hold.h), 50);
}

TEST(HomeRoad, WithBallisticsOffTheRangeShowsAlone)
{
    HomeRoad road;
    HomeRoadImage image;
    image.ballistics = false;
    ROAD_TO_HOME(road, image, 1ull << 30);
    ASSERT_TRUE(road.lrf_command("range 523.4"));
    std::string dump, png;
    ASSERT_TRUE(range_and_wait(road, "523.4 m", &dump, &png)) << dump;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_TRUE(road.snapshot(&dump, &png));
    EXPECT_EQ(sim_tree_widget(dump, "label_RngeValue").text, "523.4 m");
    EXPECT_FALSE(sim_tree_widget(dump, "view_ballistics").visible);
    EXPECT_FALSE(sim_tree_widget(dump, "view_bg_ballistic").visible);
    for (const std::vector<uint8_t> &f : road.frames("media", sim_head{27}))
        EXPECT_NE(f.size(), 29u) << "no result is sent while the calculation is off";
    Rect range = screen_rect(dump, "Range", "label_RngeValue");
    EXPECT_GT(lit_pixels(png, range.x, range.y, range.w, range.h), 50);
}

TEST(HomeRoad, RecordingDoesNotStartWithTooLittleFreeSpace)
{
    HomeRoad road;
    /* 150 MiB: under the 200 MiB a recording needs. */
    ROAD_TO_HOME(road, HomeRoadImage{}, 150ull << 20);
    std::string dump;
    ASSERT_TRUE(road.snapshot(&dump));
    EXPECT_TRUE(sim_tree_widget(dump, "image_sd_full").visible);
    ASSERT_TRUE(road.key("left", "long")) << road.why; /* record */
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_TRUE(road.snapshot(&dump));
    EXPECT_FALSE(sim_tree_widget(dump, "video_view").visible);
    EXPECT_EQ(sim_tree_widget(dump, "hour").text, "00");
}

/* A setting changed on a page leaves sightui as one request and lands in
 * the settings file through sightd's debounced save: the right key on the
 * home page steps the screen brightness. */
TEST(HomeRoad, ASettingChangedOnThePageLandsInTheSettingsFile)
{
    HomeRoad road;
    ROAD_TO_HOME(road, HomeRoadImage{}, 1ull << 30);
    auto brightness = [&]() {
        std::string ini;
        if (sim_read_file(road.sb, "/factory/config.ini", &ini) != 0) return -1;
        size_t at = ini.find("s8screenbrightness");
        size_t eq = at == std::string::npos ? at : ini.find('=', at);
        return eq == std::string::npos ? -1 : atoi(ini.c_str() + eq + 1);
    };
    const int before = brightness();
    ASSERT_GE(before, 1) << "the factory settings name a brightness";
    ASSERT_TRUE(road.key("right")) << road.why;
    const int want = before + 1 <= 10 ? before + 1 : 1;
    road.wait(SIM_REPLY_MS, [&] { return brightness() == want; });
    EXPECT_EQ(brightness(), want);
}

} // namespace
