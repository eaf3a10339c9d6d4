// The quick image menu end to end: OK on the home page opens it, a change
// on its palette row leaves sightui at once and reaches the thermal core as
// the core's own polarity command.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "home_road.h"
#include "sim_harness.h"
#include "sim_thermal.h"

namespace {

std::vector<thermal_core_record> core_took(thermal_core *core, uint16_t cmd)
{
    std::vector<thermal_core_record> out;
    for (const thermal_core_record &r : thermal_core_received(core))
        if (r.cmd == cmd) out.push_back(r);
    return out;
}

} // namespace

TEST(QuickImageMenuRoad, APaletteChangeReachesTheThermalCore)
{
    sim_harness h;
    HomeRoadImage image;
    image.ballistics = false;
    sim_options options;
    options.files = home_road_image(image, &h.why);
    ASSERT_FALSE(options.files.empty()) << h.why;
    ASSERT_TRUE(h.create(options) && h.start_peer("media")) << h.why;
    thermal_core *core = sim_thermal_core(h);
    ASSERT_NE(core, nullptr);
    /* The media process reports its video link up, which sightd waits for. */
    ASSERT_TRUE(h.send("media", sim_frame(1, 19, 0xFF, 0x00)));
    ASSERT_TRUE(h.start_sightd() && h.start_sightui() && h.wait_top("QZ_home_page_1")) << h.why;

    ASSERT_TRUE(h.key("ok"));
    ASSERT_TRUE(h.wait_top("QZ_shortcut_menu")) << h.why;
    size_t before = core_took(core, 0x0305).size();
    /* Palette row, one step: white hot becomes black hot. */
    ASSERT_TRUE(h.key("down"));
    ASSERT_TRUE(h.key("right"));
    ASSERT_TRUE(h.wait(SIM_REPLY_MS, [&] { return core_took(core, 0x0305).size() > before; }));
    EXPECT_EQ(core_took(core, 0x0305).back().frame, thermal_core_frame(0xAA, 0x0305, 0x01, {0x01}));
    std::string tree;
    ASSERT_TRUE(
        h.wait_tree([](const std::string &t) { return sim_tree_widget(t, "label_menu_title").text == "Black Hot"; },
                    SIM_REPLY_MS, &tree))
        << tree;
    ASSERT_TRUE(h.key("ok", "long"));
    ASSERT_TRUE(h.wait_top("QZ_home_page_1")) << h.why;
}
