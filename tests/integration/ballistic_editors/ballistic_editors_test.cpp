// The ballistic editors end to end, both real programs in the sandbox: keys
// pressed on the key device edit the profile on its pages, sightd keeps the
// values in its profile database, solves with them, and the home page shows
// the new hold-over; the values come back after both programs restart.
#include <gtest/gtest.h>

#include <math.h>
#include <sqlite3.h>
#include <string.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "ballistic_fbc.h"
#include "ballistic_units.h"
#include "home_road.h"
#include "sim_factory.h"

/* The binding reads these of sightd's settings; here those of the factory
 * image the road boots with. */
int vesk_dynamic_bc_get(void) { return 1; }
int vesk_debug_enabled(void) { return 0; }

namespace {

/* The scope's keys, pressed on the key device: name and kind. */
const std::string UP = "up", DOWN = "down", DOWN_LONG = "down long", RIGHT = "right", OK = "ok", OK_LONG = "ok long";

const double MOA_PER_MRAD = 3.44;

bool wait_until(int timeout_ms, const std::function<bool()> &done) { return sim_wait_for(timeout_ms, done); }

/* Several keys, one after the other. */
bool press(HomeRoad &road, const std::vector<std::string> &keys)
{
    for (const std::string &k : keys) {
        size_t space = k.find(' ');
        if (!road.key(k.substr(0, space), space == std::string::npos ? "short" : k.substr(space + 1))) return false;
    }
    return true;
}

std::string dump_of(HomeRoad &road)
{
    std::string dump;
    return road.snapshot(&dump) ? dump : "";
}

bool wait_top(HomeRoad &road, const std::string &window) { return road.wait_top(window, SIM_REPLY_MS * 2); }

/* Types want (one digit per label, in display order) into the number under
 * edit, from what its labels show: up presses for each digit, right to the
 * next. The cursor is on the first label when this starts. */
bool type_digits(HomeRoad &road, const std::vector<std::string> &labels, const std::string &want)
{
    std::string dump = dump_of(road);
    std::vector<std::string> codes;
    for (size_t i = 0; i < labels.size(); i++) {
        std::string shown = sim_tree_widget(dump, labels[i]).text;
        if (shown.size() != 1 || want.size() != labels.size()) return false;
        int steps = ((want[i] - shown[0]) % 10 + 10) % 10;
        for (int s = 0; s < steps; s++) codes.push_back(UP);
        codes.push_back(RIGHT);
    }
    codes.pop_back();
    return press(road, codes);
}

std::string shown(const std::string &dump, const std::vector<std::string> &labels)
{
    std::string out;
    for (const std::string &l : labels) out += sim_tree_widget(dump, l).text;
    return out;
}

const std::vector<std::string> k_distance = {"label_dist_four", "label_dist_three", "label_dist_two", "label_dist_one",
                                             "label_dist_point1"};
const std::vector<std::string> k_wind_speed = {"label_winddir_two", "label_winddir_one", "label_windir_point1"};
const std::vector<std::string> k_wind_direction = {"label_windrate_three", "label_windrate_two", "label_windrate_one",
                                                   "label_windrate_point1"};

float f32_at(const std::vector<uint8_t> &f, size_t off)
{
    float v;
    memcpy(&v, f.data() + off, 4);
    return v;
}

/* The newest 29-byte result the media process got for a distance. */
bool result_at(HomeRoad &road, float distance, std::vector<uint8_t> *frame, size_t after = 0)
{
    return wait_until(SIM_REPLY_MS * 2, [&] {
        std::vector<sim_bytes> all = road.frames("media", sim_head{27, -1, -1, -1});
        for (size_t i = all.size(); i > after; i--)
            if (all[i - 1].size() == 29 && f32_at(all[i - 1], 14) == distance) {
                *frame = all[i - 1];
                return true;
            }
        return false;
    });
}

/* The hold the library gives for profile 0 as changed here, as sightd
 * turns it into MOA. */
void library_hold(const Info_ballistics &b, int range_dm, double angle, double *moa_v, double *moa_h)
{
    Qel_ballistics_Init_FBC();
    double drop = 0, windage = 0;
    ASSERT_EQ(Qel_ballistics_FBC_Calculator(b, range_dm, -1.0, angle, -1.0, &drop, &windage), 0);
    const Info_bullet &u = b.gun.bullet;
    *moa_v = getVerticalMOAOrigin(u.zeroOffsetUnit, u.zeroOffsetVerticalMOA, u.zeroOffsetVerticalMRAD, drop);
    *moa_h = -getHorizontalMOAOrigin(u.zeroOffsetUnit, u.zeroOffsetHorizontalMOA, u.zeroOffsetHorizontalMRAD, windage);
}

std::string mil_text(double moa)
{
    char text[32];
    snprintf(text, sizeof text, "%.02f", fabs(moa / MOA_PER_MRAD));
    return text;
}

/* Columns of every profile row of sightd's database, "" when unreadable. */
std::vector<std::string> db_column(HomeRoad &road, const char *column)
{
    std::vector<std::string> out;
    sqlite3 *db = nullptr;
    std::string path = sim_path(road.sb, "/factory/ballistics_config.db");
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        std::string sql = std::string("SELECT ") + column + " FROM ballistics ORDER BY id;";
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK)
            while (sqlite3_step(st) == SQLITE_ROW) {
                const unsigned char *t = sqlite3_column_text(st, 0);
                out.push_back(t != nullptr ? (const char *)t : "");
            }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return out;
}

bool db_holds(HomeRoad &road, const char *column, double want)
{
    return wait_until(SIM_REPLY_MS * 2, [&] {
        std::vector<std::string> v = db_column(road, column);
        if (v.size() != 6) return false;
        for (const std::string &s : v)
            if (fabs(atof(s.c_str()) - want) > 1e-6) return false;
        return true;
    });
}

TEST(BallisticEditorsRoad, QuickMenuDistanceAndCrosswindReachTheProfilesTheHoldOverAndARestart)
{
    HomeRoad road;
    HomeRoadImage image;
    image.reticle_menu = true;
    ASSERT_TRUE(road.start(image, 1ull << 30)) << road.why;

    /* Down, long: the quick menu. */
    ASSERT_TRUE(press(road, {DOWN_LONG}));
    ASSERT_TRUE(wait_top(road, "ballistic_quickmenu")) << dump_of(road);

    /* Distance 0456.7 m, committed with OK. */
    ASSERT_TRUE(press(road, {OK}));
    ASSERT_TRUE(type_digits(road, k_distance, "04567"));
    ASSERT_TRUE(press(road, {OK}));
    /* Wind row: 05.0 m/s from 090.0 degrees, a full-value crosswind. */
    ASSERT_TRUE(press(road, {DOWN, DOWN, DOWN, OK}));
    std::vector<std::string> wind = k_wind_speed;
    wind.insert(wind.end(), k_wind_direction.begin(), k_wind_direction.end());
    ASSERT_TRUE(type_digits(road, wind, "0500900"));
    ASSERT_TRUE(press(road, {OK}));
    std::string dump = dump_of(road);
    EXPECT_EQ(shown(dump, k_distance), "04567") << dump;
    EXPECT_EQ(shown(dump, wind), "0500900") << dump;

    /* OK long closes the page: save-all and a calculation request. */
    size_t before = road.frames("media", sim_head{27, -1, -1, -1}).size();
    ASSERT_TRUE(press(road, {OK_LONG}));
    ASSERT_TRUE(wait_top(road, "QZ_home_page_1"));

    /* The profile database holds the values in all six profiles. */
    EXPECT_TRUE(db_holds(road, "distance", 4567)) << ::testing::PrintToString(db_column(road, "distance"));
    EXPECT_TRUE(db_holds(road, "wind_velocity", 5));
    EXPECT_TRUE(db_holds(road, "wind_direction", 90));

    /* sightd's next result solves the new shot. */
    std::vector<uint8_t> frame;
    ASSERT_TRUE(result_at(road, 456.7f, &frame, before)) << "no result for 456.7 m";
    Info_ballistics profiles[VESK_PROFILE_COUNT];
    Qel_IR_Cursor cursor;
    sim_factory_profiles(profiles, &cursor);
    Info_ballistics b = profiles[0];
    b.ballistics_sw = 1;
    b.target.range = 4567;
    b.wind.speed = 5;
    b.wind.angle = 90;
    double moa_v = 0, moa_h = 0;
    library_hold(b, 4567, f32_at(frame, 18), &moa_v, &moa_h);
    EXPECT_NEAR(f32_at(frame, 6), moa_v, 1e-3 * fabs(moa_v) + 1e-4);
    EXPECT_NEAR(f32_at(frame, 10), moa_h, 1e-3 * fabs(moa_h) + 1e-4);
    Info_ballistics calm = b;
    calm.wind.speed = 0;
    double calm_v = 0, calm_h = 0;
    library_hold(calm, 4567, f32_at(frame, 18), &calm_v, &calm_h);
    EXPECT_GT(fabs(moa_h - calm_h), 1.0) << "a 5 m/s crosswind moves the hold by more than a minute at 457 m";

    /* The home page shows that hold-over. */
    ASSERT_TRUE(wait_until(5000, [&] {
        dump = dump_of(road);
        return sim_tree_widget(dump, "label_MOA_H").text == mil_text(moa_h);
    })) << dump;
    EXPECT_EQ(sim_tree_widget(dump, "label_MOA_V").text, mil_text(moa_v));

    /* Both programs again: the quick menu shows what was typed, and
     * closing it solves the same shot. */
    ASSERT_TRUE(road.restart()) << road.why;
    before = road.frames("media", sim_head{27, -1, -1, -1}).size();
    ASSERT_TRUE(press(road, {DOWN_LONG}));
    ASSERT_TRUE(wait_top(road, "ballistic_quickmenu"));
    dump = dump_of(road);
    EXPECT_EQ(shown(dump, k_distance), "04567") << dump;
    EXPECT_EQ(shown(dump, wind), "0500900") << dump;
    ASSERT_TRUE(press(road, {OK_LONG}));
    ASSERT_TRUE(result_at(road, 456.7f, &frame, before));
    EXPECT_NEAR(f32_at(frame, 10), moa_h, 1e-3 * fabs(moa_h) + 1e-4);
    ASSERT_TRUE(wait_until(5000, [&] {
        dump = dump_of(road);
        return sim_tree_widget(dump, "label_MOA_H").text == mil_text(moa_h);
    })) << dump;
}

} // namespace
