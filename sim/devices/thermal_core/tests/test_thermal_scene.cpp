// The scene follows the image settings: each setting moves the picture the
// way a person looking at the scope would see it move.
#include "thermal_scene.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const int W = 320, H = 256;

struct picture {
    std::vector<uint8_t> px;
    picture(const thermal_scene_settings &s) : px((size_t)W * H * 4) { thermal_scene_render(&s, px.data(), W, H); }
    const uint8_t *at(float fx, float fy) const { return &px[((size_t)(fy * H) * W + (size_t)(fx * W)) * 4]; }
    double mean(int channel) const
    {
        double sum = 0;
        for (size_t i = (size_t)channel; i < px.size(); i += 4) sum += px[i];
        return sum / ((double)W * H);
    }
};

/* Points of the unzoomed view: the car's engine, the sky, a deer. */
const float ENGINE_X = 0.215f, ENGINE_Y = 0.752f, SKY_X = 0.5f, SKY_Y = 0.1f, DEER_X = 0.3f, DEER_Y = 0.62f;

TEST(ThermalScene, WarmTargetsStandOutOfACoolBackground)
{
    EXPECT_GT(thermal_scene_heat(ENGINE_X, ENGINE_Y), 0.9f);
    EXPECT_GT(thermal_scene_heat(DEER_X, DEER_Y), 0.7f);
    EXPECT_LT(thermal_scene_heat(SKY_X, SKY_Y), 0.15f);
    EXPECT_LT(thermal_scene_heat(0.9f, 0.9f), 0.5f);
    picture p(thermal_scene_defaults());
    EXPECT_GT(p.at(ENGINE_X, ENGINE_Y)[0], 200);
    EXPECT_LT(p.at(SKY_X, SKY_Y)[0], 60);
    for (size_t i = 3; i < p.px.size(); i += 4) ASSERT_EQ(p.px[i], 255);
}

TEST(ThermalScene, EachSettingMovesThePicture)
{
    const thermal_scene_settings base = thermal_scene_defaults();
    const picture plain(base);
    auto with = [&](void (*change)(thermal_scene_settings &)) {
        thermal_scene_settings s = base;
        change(s);
        return picture(s);
    };

    EXPECT_GT(with([](thermal_scene_settings &s) { s.brightness = 10; }).mean(0), plain.mean(0) + 20);
    EXPECT_LT(with([](thermal_scene_settings &s) { s.brightness = 1; }).mean(0), plain.mean(0) - 20);

    /* More contrast: the sky darker and the engine no dimmer. */
    picture contrast = with([](thermal_scene_settings &s) { s.contrast = 10; });
    EXPECT_LT(contrast.at(SKY_X, SKY_Y)[0], plain.at(SKY_X, SKY_Y)[0]);
    EXPECT_GE(contrast.at(ENGINE_X, ENGINE_Y)[0], plain.at(ENGINE_X, ENGINE_Y)[0]);

    /* Black hot: the engine dark, the sky light. */
    picture black = with([](thermal_scene_settings &s) { s.black_hot = 1; });
    EXPECT_LT(black.at(ENGINE_X, ENGINE_Y)[0], 60);
    EXPECT_GT(black.at(SKY_X, SKY_Y)[0], 190);

    /* Palettes: red hot turns the engine red, the monochromes tint all. */
    picture red_hot = with([](thermal_scene_settings &s) { s.palette = 2; });
    EXPECT_GT(red_hot.at(ENGINE_X, ENGINE_Y)[0], red_hot.at(ENGINE_X, ENGINE_Y)[2] + 100);
    EXPECT_EQ(red_hot.at(SKY_X, SKY_Y)[0], red_hot.at(SKY_X, SKY_Y)[2]);
    picture green = with([](thermal_scene_settings &s) { s.palette = 4; });
    EXPECT_GT(green.mean(1), green.mean(0) * 2);
    picture red = with([](thermal_scene_settings &s) { s.palette = 3; });
    EXPECT_GT(red.mean(0), red.mean(1) * 2);

    /* Enhancement sharpens edges: the picture changes, its mean hardly. */
    picture sharp = with([](thermal_scene_settings &s) { s.enhancement = 5; });
    size_t changed = 0;
    for (size_t i = 0; i < sharp.px.size(); i += 4) changed += sharp.px[i] != plain.px[i];
    EXPECT_GT(changed, (size_t)W * H / 50);
    EXPECT_NEAR(sharp.mean(0), plain.mean(0), 8);

    /* Zoom 4x: the middle of the scene fills the view; the man at the
     * centre grows, the engine leaves the view. */
    picture zoomed = with([](thermal_scene_settings &s) { s.zoom = 400; });
    auto warm = [](const picture &p) {
        size_t n = 0;
        for (size_t i = 0; i < p.px.size(); i += 4) n += p.px[i] > 180;
        return n;
    };
    EXPECT_GT(warm(zoomed), warm(plain) * 2);
    EXPECT_LT(zoomed.at(ENGINE_X, ENGINE_Y)[0], 180);
}

} // namespace
