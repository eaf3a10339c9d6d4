// The scope's devices end to end with both programs: events written on the
// key device, the ADC channels and the USB registers move sightui's home
// page through sightd, as on the scope.
#include <gtest/gtest.h>

#include "home_road.h"
#include "sim_iio.h"
#include "sim_usb.h"

namespace {

const sim_head media_zoom = {0x01, 0x01, 0x10, 0x00};

struct HomeDevices : ::testing::Test {
    HomeRoad road;
    std::string tree;

    void SetUp() override { ASSERT_TRUE(road.start(HomeRoadImage{}, 256ull << 20)) << road.why; }

    bool shows(const char *widget, const std::function<bool(const sim_widget &)> &pred)
    {
        return road.wait_tree([&](const std::string &t) { return pred(sim_tree_widget(t, widget)); }, 20000 * SIM_SLOW,
                              &tree);
    }
};

TEST_F(HomeDevices, TheRangeKeyOnTheKeyDeviceRangesAndShowsTheRange)
{
    ASSERT_TRUE(road.lrf_command("range 523.4"));
    lrf_sim_stats before = road.lrf_stats();
    ASSERT_TRUE(road.key("range")) << road.why;
    EXPECT_TRUE(shows("label_RngeValue", [](const sim_widget &w) { return w.text == "523.4 m"; })) << tree;
    EXPECT_GT(road.lrf_stats().singles, before.singles) << "no range request reached the module";
}

TEST_F(HomeDevices, TheZoomRingSetsTheMagnificationAndTheMediaZoom)
{
    /* 1000 + 180 steps of 31 counts from the ring's end: x3. */
    ASSERT_EQ(sim_adc_set_zoom_counts(road.sb, 13000 - (1000 + 180 * 31)), 0);
    EXPECT_TRUE(shows("label_zoom_value", [](const sim_widget &w) { return w.text == "9.0X"; })) << tree;
    EXPECT_FALSE(road.wait_frames(
                         "media",
                         [](const sim_bytes &f) {
                             return media_zoom(f) && f == sim_frame(1, 1, 0x10, 0, {0x2C, 0x01});
                         },
                         1)
                     .empty());
}

TEST_F(HomeDevices, UsbAndALowBatteryShowOnTheHomePage)
{
    ASSERT_EQ(sim_usb_set(road.sb, true), 0);
    EXPECT_TRUE(shows("image_QZ_usb_connect", [](const sim_widget &w) { return w.visible; })) << tree;
    ASSERT_EQ(sim_usb_set(road.sb, false), 0);
    EXPECT_TRUE(shows("image_QZ_usb_connect", [](const sim_widget &w) { return w.found && !w.visible; })) << tree;
    ASSERT_EQ(sim_adc_set_battery(road.sb, 5.8), 0);
    EXPECT_TRUE(shows("lable_QZ_battery_value", [](const sim_widget &w) { return w.image == "ic_status_battery0"; }))
        << tree;
}

TEST_F(HomeDevices, ALongPowerPressOpensTheShutdownCountdown)
{
    ASSERT_TRUE(road.key("power", "long", 1500)) << road.why;
    EXPECT_TRUE(road.wait_top("QZ_SHUT_DOWN", 10000 * SIM_SLOW)) << road.why;
}

} // namespace
