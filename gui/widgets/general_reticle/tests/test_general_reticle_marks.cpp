// The rectangles of every mark type, written out by hand from the mark
// definitions for a 1280 x 1024 widget (centre 639, 511; half sizes 640,
// 512) at resolution 1000, that is 10 pixels a unit at zoom 100.
#include "general_reticle_marks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Rects = std::vector<general_reticle_rect_t>;

struct Case {
    int type;
    int zoom;
    Rects expect;
};

Rects marks(int type, int zoom, int rx = 1000, int ry = 0, int w = 1280, int h = 1024)
{
    general_reticle_geometry_t g = {type, zoom, rx, ry, w, h};
    general_reticle_rect_t out[GENERAL_RETICLE_MARKS_MAX];
    int n = general_reticle_marks(&g, out, GENERAL_RETICLE_MARKS_MAX);
    return Rects(out, out + n);
}

std::string show(const Rects &rs)
{
    std::string s;
    for (const auto &r : rs)
        s += "(" + std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.w) + "," +
             std::to_string(r.h) + ") ";
    return s;
}

bool same(const Rects &a, const Rects &b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++)
        if (a[i].x != b[i].x || a[i].y != b[i].y || a[i].w != b[i].w || a[i].h != b[i].h) return false;
    return true;
}

const general_reticle_rect_t DOT = {639, 511, 2, 2};

/* Dots or ticks listed by their offsets from the centre. */
Rects at(std::initializer_list<std::pair<int, int>> offsets, int w = 2, int h = 2, int dx = 0, int dy = 0)
{
    Rects rs;
    for (auto [x, y] : offsets) rs.push_back({639 + x + dx, 511 + y + dy, w, h});
    return rs;
}

Rects cat(std::initializer_list<Rects> parts)
{
    Rects rs;
    for (const Rects &p : parts) rs.insert(rs.end(), p.begin(), p.end());
    return rs;
}

/* Types 0 to 2 share their arms and posts right, left and down (arm, then
 * post); type 0 adds the upper arm and post, type 2 three bars at 2, 3, 4
 * units down, half widths of a quarter and a half unit, at least 1. */
struct Cross {
    int zoom;
    Rects right_left_down, up, bars;
};

const Cross CROSSES[] = {
    {0,
     {{639, 511, 1, 2}, {640, 510, 0, 4}, {639, 511, 1, 2}, {639, 510, 0, 4}, {639, 511, 2, 1}, {638, 512, 4, 0}},
     {{639, 511, 2, 1}, {638, 511, 4, 0}},
     {{639, 511, 2, 2}, {639, 511, 2, 2}, {639, 511, 2, 2}}},
    {100,
     {{649, 511, 91, 2}, {740, 510, 50, 4}, {539, 511, 91, 2}, {489, 510, 50, 4}, {639, 521, 2, 91}, {638, 612, 4, 50}},
     {{639, 411, 2, 91}, {638, 361, 4, 50}},
     {{638, 531, 4, 2}, {638, 541, 4, 2}, {635, 551, 10, 2}}},
    {250,
     {{664, 511, 226, 2},
      {890, 510, 125, 4},
      {389, 511, 226, 2},
      {264, 510, 125, 4},
      {639, 536, 2, 226},
      {638, 762, 4, 125}},
     {{639, 261, 2, 226}, {638, 136, 4, 125}},
     {{634, 561, 12, 2}, {634, 586, 12, 2}, {628, 611, 24, 2}}},
};

const Case OTHER_CASES[] = {
    /* Type 3: five dots each side, ten below, three above. */
    {3, 0, Rects(24, DOT)},
    {3, 100,
     cat({at({{10, 0}, {-10, 0}, {20, 0}, {-20, 0}, {30, 0}, {-30, 0}, {40, 0}, {-40, 0}, {50, 0}, {-50, 0}}),
          at({{0, 10}, {0, 20}, {0, 30}, {0, 40}, {0, 50}, {0, 60}, {0, 70}, {0, 80}, {0, 90}, {0, 100}}),
          at({{0, -10}, {0, -20}, {0, -30}}),
          {DOT}})},
    {3, 250,
     cat({at({{25, 0}, {-25, 0}, {50, 0}, {-50, 0}, {75, 0}, {-75, 0}, {100, 0}, {-100, 0}, {125, 0}, {-125, 0}}),
          at({{0, 25}, {0, 50}, {0, 75}, {0, 100}, {0, 125}, {0, 150}, {0, 175}, {0, 200}, {0, 225}, {0, 250}}),
          at({{0, -25}, {0, -50}, {0, -75}}),
          {DOT}})},
    /* Type 4: ticks 2t high at 1..5 units each side, ticks 2k wide at 1..11
     * units down. */
    {4, 0, Rects(22, DOT)},
    {4, 100,
     cat({at({{10, 0}, {-10, 0}, {20, 0}, {-20, 0}, {30, 0}, {-30, 0}, {40, 0}, {-40, 0}, {50, 0}, {-50, 0}}, 2, 4, 0,
             -1),
          at({{0, 10}, {0, 20}, {0, 30}, {0, 40}, {0, 50}, {0, 60}, {0, 70}, {0, 80}, {0, 90}, {0, 100}, {0, 110}}, 4,
             2, -1, 0),
          {DOT}})},
    {4, 250,
     cat({at({{25, 0}, {-25, 0}, {50, 0}, {-50, 0}, {75, 0}, {-75, 0}, {100, 0}, {-100, 0}, {125, 0}, {-125, 0}}, 2, 12,
             0, -5),
          at({{0, 25},
              {0, 50},
              {0, 75},
              {0, 100},
              {0, 125},
              {0, 150},
              {0, 175},
              {0, 200},
              {0, 225},
              {0, 250},
              {0, 275}},
             12, 2, -5, 0),
          {DOT}})},
    /* Type 5: a plain cross and no centre dot. */
    {5, 0, {{640, 511, 0, 2}, {639, 512, 2, 0}}},
    {5, 100, {{630, 511, 20, 2}, {639, 502, 2, 20}}},
    {5, 250, {{615, 511, 50, 2}, {639, 487, 2, 50}}},
    /* Any other type draws nothing. */
    {6, 100, {}},
    {-1, 100, {}},
};

/* Every type at zoom 0, 100 and 250, each ending in the centre dot but
 * type 5. */
std::vector<Case> all_cases()
{
    std::vector<Case> cases;
    for (const Cross &c : CROSSES) {
        cases.push_back({0, c.zoom, cat({c.right_left_down, c.up, {DOT}})});
        cases.push_back({1, c.zoom, cat({c.right_left_down, {DOT}})});
        cases.push_back({2, c.zoom, cat({c.right_left_down, c.bars, {DOT}})});
    }
    cases.insert(cases.end(), std::begin(OTHER_CASES), std::end(OTHER_CASES));
    return cases;
}

TEST(GeneralReticleMarks, EveryTypeAtZoomZeroHundredAndTwoFifty)
{
    for (const Case &c : all_cases()) {
        Rects got = marks(c.type, c.zoom);
        EXPECT_TRUE(same(got, c.expect)) << "type " << c.type << " zoom " << c.zoom << "\n got    " << show(got)
                                         << "\n expect " << show(c.expect);
    }
}

TEST(GeneralReticleMarks, VerticalUnitFollowsTheHorizontalUnlessPositive)
{
    for (int type = 0; type <= 5; type++) {
        EXPECT_TRUE(same(marks(type, 130, 700, 0), marks(type, 130, 700, 700))) << type;
        EXPECT_TRUE(same(marks(type, 130, 700, -5), marks(type, 130, 700, 700))) << type;
    }
    /* A vertical unit of its own stretches only the vertical marks. */
    EXPECT_TRUE(same(marks(5, 100, 1000, 500), Rects{{630, 511, 20, 2}, {639, 507, 2, 10}}));
}

TEST(GeneralReticleMarks, UnitsAreTruncatedForEachCountNotMultiplied)
{
    /* 5.5 pixels a unit at 1x: 1 unit is 5, 2 units 11, 3 units 16. */
    Rects got = marks(3, 100, 550);
    ASSERT_EQ(got.size(), 24u);
    EXPECT_EQ(got[0].x, 639 + 5);
    EXPECT_EQ(got[2].x, 639 + 11);
    EXPECT_EQ(got[4].x, 639 + 16);
    /* The scale is single precision: 104 % is a hair under 1.04, so 10
     * units of the default 5 pixels come to 51, not 52. */
    Rects cross = marks(0, 104, 500);
    EXPECT_EQ(cross[0].x, 639 + 5);
    EXPECT_EQ(cross[0].w, 51 - 5 + 1);
}

TEST(GeneralReticleMarks, OddSizesAndAbsurdValuesStayInRange)
{
    /* The centre is half the size less one, by integer division. */
    Rects odd = marks(5, 100, 1000, 0, 641, 481);
    EXPECT_TRUE(same(odd, Rects{{310, 239, 20, 2}, {319, 230, 2, 20}}));
    /* Values a window resource could carry never overflow a coordinate. */
    Rects huge = marks(0, INT32_MAX, INT32_MAX);
    ASSERT_EQ(huge.size(), 9u);
    for (const auto &r : huge) {
        EXPECT_GE(r.x, -2000000);
        EXPECT_LE(r.x, 2000000);
    }
    /* Fewer slots than rectangles: only that many are written. */
    general_reticle_geometry_t g = {3, 100, 1000, 0, 1280, 1024};
    general_reticle_rect_t out[4];
    EXPECT_EQ(general_reticle_marks(&g, out, 4), 4);
    EXPECT_EQ(general_reticle_marks(nullptr, out, 4), 0);
}

} // namespace
