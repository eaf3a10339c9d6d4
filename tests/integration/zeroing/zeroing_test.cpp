// Zeroing and the aim mark end to end, both real programs in the sandbox:
// the shooter's keys move the reticle of the current zero slot on the
// movement panel and the rangefinder's aim mark on its page; the home page
// draws the new reticle, and sightd keeps both through a restart (the zero
// in its profile database, the aim mark in its settings).
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "home_road.h"

namespace {

std::string dump_of(HomeRoad &road)
{
    std::string dump;
    return road.snapshot(&dump) ? dump : "";
}

bool keys(HomeRoad &road, const std::string &name, int times)
{
    for (int i = 0; i < times; i++)
        if (!road.key(name)) return false;
    return true;
}

}  // namespace

TEST(ZeroingRoad, TheAimMarkMovedOnItsPageIsSavedWhenThePageCloses)
{
    HomeRoad road;
    HomeRoadImage image;
    ASSERT_TRUE(road.start(image, 256ull << 20)) << road.why;
    /* The aim mark is adjusted while the rangefinder measures on. */
    ASSERT_TRUE(road.key("range", "long"));
    ASSERT_TRUE(road.key("left+right"));
    ASSERT_TRUE(road.wait_top("lrf_reticle_move")) << road.why << "\n" << dump_of(road);
    std::string tree;
    ASSERT_TRUE(road.wait_tree([](const std::string &t) { return sim_tree_widget(t, "label_x_set_mm_value").found; },
                               SIM_REPLY_MS, &tree));
    const int x0 = atoi(sim_tree_widget(tree, "label_x_set_mm_value").text.c_str() + 2);
    ASSERT_TRUE(keys(road, "right", 5));
    const std::string want = "X:" + std::to_string(x0 + 5);
    ASSERT_TRUE(road.wait_tree([&](const std::string &t) { return sim_tree_widget(t, "label_x_set_mm_value").text == want; },
                               SIM_REPLY_MS, &tree))
        << tree;
    ASSERT_TRUE(road.key("ok", "long"));
    ASSERT_TRUE(road.wait_top("QZ_home_page_1")) << road.why;
    ASSERT_TRUE(road.restart()) << road.why;
    ASSERT_TRUE(road.key("range", "long"));
    ASSERT_TRUE(road.key("left+right"));
    ASSERT_TRUE(road.wait_top("lrf_reticle_move")) << road.why;
    EXPECT_TRUE(road.wait_tree([&](const std::string &t) { return sim_tree_widget(t, "label_x_set_mm_value").text == want; },
                               SIM_REPLY_MS, &tree))
        << "the mark came back from sightd's settings\n"
        << tree;
}
