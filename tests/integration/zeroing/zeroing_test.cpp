// Zeroing and the aim mark end to end, both real programs in the sandbox:
// the shooter's keys move the reticle of the current zero slot on the
// movement panel and the rangefinder's aim mark on its page; the home page
// draws the new reticle, and sightd keeps both through a restart (the zero
// in its profile database, the aim mark in its settings).
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "home_road.h"

namespace {

/* Left and right held past the five seconds that open the aim-mark page. */
const int AIM_MARK_HOLD_MS = 5600;

std::string dump_of(HomeRoad &road)
{
    std::string dump;
    return road.snapshot(&dump) ? dump : "";
}

/* x of a widget's rect in the tree. */
int rect_x(const std::string &tree, const std::string &name) { return atoi(sim_tree_widget(tree, name).rect.c_str()); }

/* x and distance of every zero point sightd's database holds. */
std::vector<std::pair<int, int>> db_zero_points(HomeRoad &road)
{
    std::vector<std::pair<int, int>> out;
    sqlite3 *db = nullptr;
    std::string path = sim_path(road.sb, "/factory/ballistics_config.db");
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT x, distance FROM zero_point ORDER BY id;", -1, &st, nullptr) == SQLITE_OK)
            while (sqlite3_step(st) == SQLITE_ROW)
                out.push_back({sqlite3_column_int(st, 0), sqlite3_column_int(st, 1)});
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return out;
}

std::string zero_text(HomeRoad &road)
{
    std::string out;
    for (const auto &z : db_zero_points(road)) out += std::to_string(z.first) + "/" + std::to_string(z.second) + " ";
    return out;
}

bool db_has_zero(HomeRoad &road, int x, int distance)
{
    return road.wait(SIM_REPLY_MS * 2, [&] {
        for (const auto &z : db_zero_points(road))
            if (z.first == x && z.second == distance) return true;
        return false;
    });
}

/* Short presses in order on the key device, "down*6" for six. */
bool keys(HomeRoad &road, const std::vector<std::string> &presses)
{
    for (const std::string &p : presses) {
        size_t star = p.find('*');
        std::string name = p.substr(0, star);
        int times = star == std::string::npos ? 1 : atoi(p.c_str() + star + 1);
        for (int i = 0; i < times; i++)
            if (!road.key(name)) return false;
    }
    return true;
}

} // namespace

TEST(ZeroingRoad, TheMovedZeroMovesTheHomeReticleAndOutlivesARestart)
{
    HomeRoad road;
    HomeRoadImage image;
    image.reticle_menu = true;
    ASSERT_TRUE(road.start(image, 256ull << 20)) << road.why;
    std::string tree;
    ASSERT_TRUE(road.wait_tree([](const std::string &t) { return sim_tree_widget(t, "general_reticle").visible; },
                               SIM_REPLY_MS, &tree))
        << tree;
    const int reticle_x = rect_x(tree, "general_reticle");

    /* Main menu, its zero row, the reticle menu's movement row. */
    ASSERT_TRUE(road.key("ok", "long")) << road.why;
    ASSERT_TRUE(road.wait_top("main_menu")) << road.why;
    ASSERT_TRUE(keys(road, {"down*6", "ok"})) << road.why;
    ASSERT_TRUE(road.wait_top("reticle_menu")) << road.why;
    ASSERT_TRUE(keys(road, {"down*4", "ok"})) << road.why;
    ASSERT_TRUE(road.wait_top("QZ_reticle_zero_child"))
        << "the reticle menu's movement row opens the zero editor: " << road.why << "\n"
        << dump_of(road);

    /* The zero distance gains 100 m: the hundreds digit up once. */
    ASSERT_TRUE(road.snapshot(&tree));
    std::string digits;
    for (const char *l :
         {"distance_value_dig_4", "distance_value_dig_3", "distance_value_dig_2", "distance_value_dig_1"})
        digits += sim_tree_widget(tree, l).text;
    ASSERT_EQ(digits.size(), 4u) << tree;
    const int distance = atoi(digits.c_str()) + 100;
    ASSERT_LT(distance, 1000) << "the factory zero distance is below 900 m";
    ASSERT_TRUE(keys(road, {"ok", "right", "up", "ok"})) << road.why;
    /* Then on to the panel: four pixels right at the picture's 1.00x (a
     * whole pixel of fraction stays a fraction until the next step). */
    ASSERT_TRUE(keys(road, {"down", "ok"})) << road.why;
    ASSERT_TRUE(road.wait_top("QZ_reticle_zero_dist")) << road.why;
    ASSERT_TRUE(road.wait_tree([](const std::string &t) { return sim_tree_widget(t, "label_curr_mm").text != ""; },
                               SIM_REPLY_MS, &tree));
    ASSERT_TRUE(keys(road, {"right*4"})) << road.why;
    ASSERT_TRUE(road.wait_tree(
        [](const std::string &t) { return sim_tree_widget(t, "label_x_diff_mil_value").text == "0.40 mil"; },
        SIM_REPLY_MS, &tree))
        << tree;
    ASSERT_TRUE(road.key("power")) << road.why;
    ASSERT_TRUE(road.wait_top("QZ_home_page_1")) << road.why;
    ASSERT_TRUE(road.wait_tree([&](const std::string &t) { return rect_x(t, "general_reticle") == reticle_x + 4; },
                               SIM_REPLY_MS, &tree))
        << "the home reticle moved by the four pixels\n"
        << tree;

    /* sightd stages the zero for its database; it is there after both
     * programs start again, and the home page draws it there. */
    ASSERT_TRUE(db_has_zero(road, 643, distance)) << "zero points in the database: " << zero_text(road);
    ASSERT_TRUE(road.restart()) << road.why;
    EXPECT_TRUE(db_has_zero(road, 643, distance));
    EXPECT_TRUE(road.wait_tree([&](const std::string &t) { return rect_x(t, "general_reticle") == reticle_x + 4; },
                               SIM_REPLY_MS, &tree))
        << tree;
}

TEST(ZeroingRoad, TheAimMarkMovedOnItsPageIsSavedWhenThePageCloses)
{
    HomeRoad road;
    HomeRoadImage image;
    ASSERT_TRUE(road.start(image, 256ull << 20)) << road.why;
    /* The aim mark is adjusted while the rangefinder measures on. */
    ASSERT_TRUE(road.key("range", "long")) << road.why;
    /* The page opens on left and right held together for five seconds. */
    ASSERT_TRUE(road.key("left+right", "long", AIM_MARK_HOLD_MS)) << road.why;
    ASSERT_TRUE(road.wait_top("lrf_reticle_move")) << road.why << "\n" << dump_of(road);
    std::string tree;
    ASSERT_TRUE(road.wait_tree([](const std::string &t) { return sim_tree_widget(t, "label_x_set_mm_value").found; },
                               SIM_REPLY_MS, &tree));
    const int x0 = atoi(sim_tree_widget(tree, "label_x_set_mm_value").text.c_str() + 2);
    ASSERT_TRUE(keys(road, {"right*5"})) << road.why;
    const std::string want = "X:" + std::to_string(x0 + 5);
    ASSERT_TRUE(
        road.wait_tree([&](const std::string &t) { return sim_tree_widget(t, "label_x_set_mm_value").text == want; },
                       SIM_REPLY_MS, &tree))
        << tree;
    ASSERT_TRUE(road.key("ok", "long")) << road.why;
    ASSERT_TRUE(road.wait_top("QZ_home_page_1")) << road.why;
    ASSERT_TRUE(road.restart()) << road.why;
    ASSERT_TRUE(road.key("range", "long")) << road.why;
    ASSERT_TRUE(road.key("left+right", "long", AIM_MARK_HOLD_MS)) << road.why;
    ASSERT_TRUE(road.wait_top("lrf_reticle_move")) << road.why;
    EXPECT_TRUE(
        road.wait_tree([&](const std::string &t) { return sim_tree_widget(t, "label_x_set_mm_value").text == want; },
                       SIM_REPLY_MS, &tree))
        << "the mark came back from sightd's settings\n"
        << tree;
}
