// Where the home page puts the hold-over, both real programs in the sandbox,
// judged from the physics of the shot and not from the code that computes
// it: the range key on the key device makes sightd measure and solve, and
// the mark must sit on the point of impact relative to the reticle centre
// (below it for a drop, downwind of it for a crosswind), the arrows must
// show where the shooter holds (up against a drop, into the wind), and a
// hold-over the phone computed must be drawn the same way.
#include "home_road.h"

#include <gtest/gtest.h>

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "sim.h"
#include "sim_iio.h"
#include "sim_peer.h"

namespace {

/* The factory .308 load as the firmware image has it: 790 m/s, a sight
 * 50 mm over the bore, zeroed at 91 m, a level zero shot. */
const double kMuzzle = 790.0, kSightHeight = 0.050, kZero = 91.0, kGravity = 9.80665;
/* The home page draws 10 pixels per milliradian at zoom 1 (3.0X). */
const double kPixelsPerMrad = 10.0;
const sim_head kResult = {0x1B, 0x0A, 0x00, 0x80};

/* How far (mrad) a bullet without air would strike below the line of sight
 * at distance d on a slope: the least any real bullet drops, since drag
 * only slows it down. The bore is raised to meet the line of sight at the
 * zero distance on the level. */
double vacuum_low_mrad(double d, double slope_deg)
{
    const double bore = (kSightHeight + kGravity * kZero * kZero / (2 * kMuzzle * kMuzzle)) / kZero;
    const double fall = kGravity * cos(slope_deg * M_PI / 180) * d * d / (2 * kMuzzle * kMuzzle);
    return (kSightHeight + fall - d * bore) / d * 1000.0;
}

float f32_at(const std::vector<uint8_t> &f, size_t off)
{
    float v;
    memcpy(&v, f.data() + off, 4);
    return v;
}

/* The mark's centre against the reticle centre on screen, in pixels, x to
 * the right and y downwards; the page sets the reticle 839 pixels up and
 * left of its centre and the 14-pixel mark 7. */
struct Offset {
    int dx, dy;
    bool found;
};
Offset mark_offset(const std::string &dump)
{
    int rx, ry, rw, rh, mx, my, mw, mh;
    Offset o = {0, 0, false};
    if (sscanf(sim_tree_widget(dump, "general_reticle").rect.c_str(), "%d,%d,%d,%d", &rx, &ry, &rw, &rh) == 4 &&
        sscanf(sim_tree_widget(dump, "image_point").rect.c_str(), "%d,%d,%d,%d", &mx, &my, &mw, &mh) == 4)
        o = {(mx + 7) - (rx + 839), (my + 7) - (ry + 839), true};
    return o;
}

enum Side { LOW, NEAR_CENTRE };
enum Wind { FROM_LEFT = 270, FROM_RIGHT = 90 };

struct Shot {
    double range_m;
    double slope_deg;
    Side side; /* where physics puts the impact against the line of sight */
};

/* Past the zero a level shot strikes low. Uphill gravity pulls across the
 * line of sight by cos(slope) only, so at 100 m, just past the level zero,
 * the bullet is still over the line: high, by under a pixel. */
const Shot kShots[] = {
    {100.0, 0, NEAR_CENTRE},  {523.4, 0, LOW},  {1000.0, 0, LOW},
    {100.0, 30, NEAR_CENTRE}, {523.4, 30, LOW}, {1000.0, 30, LOW},
};

std::string shot_name(const Shot &s, int wind)
{
    char name[96];
    snprintf(name, sizeof name, "%.1f m %s, wind from the %s", s.range_m, s.slope_deg == 0 ? "level" : "uphill",
             wind == FROM_LEFT ? "left" : "right");
    return name;
}

struct HoldSide : ::testing::TestWithParam<int> {
    HomeRoad road;

    void SetUp() override
    {
        HomeRoadImage image;
        image.wind_speed = 5.0;
        image.wind_angle = GetParam();
        image.reticle_menu = true; /* the reticle and its mark on screen */
        ASSERT_TRUE(road.start(image, 1ull << 30)) << road.why;
    }

    /* Measures the range with the scope at that slope until sightd's
     * solution carries the inclinometer's angle; the frame, and the home
     * page once it shows that solution. */
    void shoot(const Shot &s, std::vector<uint8_t> *frame, std::string *dump, std::string *png)
    {
        ASSERT_EQ(sim_iio_set_attitude(road.sb, s.slope_deg, 0, 0), 0);
        char range[32];
        snprintf(range, sizeof range, "range %.1f", s.range_m);
        const float distance = (float)s.range_m;
        auto at_range = [&](const std::vector<uint8_t> &f) {
            return kResult(f) && f.size() == 29 && fabsf(f32_at(f, 14) - distance) < 0.05f;
        };
        frame->clear();
        /* The filters take some samples to settle on a new attitude. */
        for (int tries = 0; tries < 20 && frame->empty(); tries++) {
            ASSERT_TRUE(road.lrf_command(range));
            const size_t before = road.frames("media", at_range).size();
            ASSERT_TRUE(road.key("range")) << road.why;
            auto got = road.wait_frames("media", at_range, before + 1);
            if (!got.empty() && fabsf(f32_at(got.back(), 18) - (float)s.slope_deg) < 0.3f) *frame = got.back();
        }
        ASSERT_EQ(frame->size(), 29u) << "no solution at " << s.range_m << " m and " << s.slope_deg << " degrees";
        char shown_range[32], shown_angle[32];
        snprintf(shown_range, sizeof shown_range, "%.01fm", f32_at(*frame, 14));
        snprintf(shown_angle, sizeof shown_angle, "%.01f\xC2\xB0", f32_at(*frame, 18));
        const std::string want_angle = strcmp(shown_angle, "-0.0\xC2\xB0") == 0 ? "0.0\xC2\xB0" : shown_angle;
        ASSERT_TRUE(road.wait_tree(
            [&](const std::string &t) {
                return sim_tree_widget(t, "label_distance_ballistic").text == shown_range &&
                       sim_tree_widget(t, "label_pitch_ballistic").text == want_angle;
            },
            SIM_REPLY_MS, dump, png))
            << *dump;
    }
};

TEST_P(HoldSide, TheMarkSitsOnThePointOfImpactAndTheArrowsShowTheHold)
{
    const int wind = GetParam();
    for (const Shot &s : kShots) {
        SCOPED_TRACE(shot_name(s, wind));
        std::vector<uint8_t> frame;
        std::string dump, png;
        shoot(s, &frame, &dump, &png);
        if (HasFatalFailure()) return;
        ASSERT_EQ(sim_tree_widget(dump, "label_zoom_value").text, "3.0X") << "the factory zoom draws at scale 1";
        const Offset o = mark_offset(dump);
        ASSERT_TRUE(o.found) << dump;
        EXPECT_TRUE(sim_tree_widget(dump, "image_point").visible);
        const sim_widget v = sim_tree_widget(dump, "image_ballistic_result_v");
        const sim_widget h = sim_tree_widget(dump, "image_ballistic_result_h");
        const double shown_v = atof(sim_tree_widget(dump, "label_MOA_V").text.c_str());
        const double shown_h = atof(sim_tree_widget(dump, "label_MOA_H").text.c_str());

        /* Vertical: a drop is drawn below the centre, at least as far as a
         * bullet in vacuum would fall, and held up. */
        const double vacuum = vacuum_low_mrad(s.range_m, s.slope_deg);
        if (s.side == LOW) {
            EXPECT_GE(o.dy, (int)floor(kPixelsPerMrad * vacuum)) << "vacuum drop " << vacuum << " mrad\n" << dump;
            EXPECT_GE(shown_v, floor(vacuum * 100) / 100) << dump;
            EXPECT_TRUE(v.visible);
            EXPECT_EQ(v.image, "ic_up_sel") << "the shooter holds up against a drop";
        } else {
            /* Within a pixel of the line: the mark stays on the centre row,
             * and any arrow points against the side physics puts it on. */
            EXPECT_LE(abs(o.dy), 1) << dump;
            if (v.visible) {
                EXPECT_EQ(v.image, vacuum > 0 ? "ic_up_sel" : "ic_down_sel") << "vacuum " << vacuum;
            }
        }
        /* The mark's size agrees with the figure shown beside it. */
        EXPECT_NEAR(abs(o.dy), kPixelsPerMrad * shown_v, 1.0) << dump;
        EXPECT_NEAR(abs(o.dx), kPixelsPerMrad * shown_h, 1.0) << dump;

        /* Horizontal: the air carries the bullet downwind; the shooter
         * holds into the wind. */
        EXPECT_TRUE(h.visible) << "a 5 m/s crosswind moves the bullet at " << s.range_m << " m";
        if (wind == FROM_LEFT) {
            EXPECT_GT(o.dx, s.range_m > 200 ? 2 : 0) << "drawn right of the centre\n" << dump;
            EXPECT_EQ(h.image, "ic_left_sel") << "held left, into the wind";
        } else {
            EXPECT_LT(o.dx, s.range_m > 200 ? -2 : 0) << "drawn left of the centre\n" << dump;
            EXPECT_EQ(h.image, "ic_right_sel") << "held right, into the wind";
        }
        /* The frame to the video overlay says the same: moaV is the
         * impact's height (negative low), moaH its side (positive right). */
        if (s.side == LOW) {
            EXPECT_LT(f32_at(frame, 6), 0.0f);
        }
        EXPECT_EQ(f32_at(frame, 10) > 0, wind == FROM_LEFT);
    }
}

INSTANTIATE_TEST_SUITE_P(Wind, HoldSide, ::testing::Values((int)FROM_LEFT, (int)FROM_RIGHT),
                         [](const ::testing::TestParamInfo<int> &i) {
                             return std::string(i.param == FROM_LEFT ? "FromTheLeft" : "FromTheRight");
                         });

/* The phone's exchange file carries the hold the shooter applies, up and
 * right positive; sightd takes it in with the sign turned and the home page
 * draws it as its own solution: a hold up is a drop, drawn below; a hold
 * left is a wind from the left, drawn right. */
TEST(HoldSide, APhoneHoldOverIsDrawnOnThePointOfImpact)
{
    HomeRoad road;
    ASSERT_TRUE(road.start(HomeRoadImage{}, 1ull << 30, {"media", "http"})) << road.why;
    const struct {
        const char *name;
        double up_mrad, right_mrad; /* the phone's hold */
        int dx, dy;                 /* the mark against the centre */
        const char *arrow_v, *arrow_h;
    } rows[] = {
        {"a drop and a wind from the left", 4.49, -0.5, 5, 45, "ic_up_sel", "ic_left_sel"},
        {"short of the zero, a wind from the right", -0.3, 1.2, -12, -3, "ic_down_sel", "ic_right_sel"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        char file[320];
        snprintf(file, sizeof file,
                 "[bccal]\nresult_moaVertical=%.4f\nresult_moaHorizontal=%.4f\nresult_mradVertical=%.4f\n"
                 "result_mradHorizontal=%.4f\n",
                 r.up_mrad * 3.44, r.right_mrad * 3.44, r.up_mrad, r.right_mrad);
        ASSERT_EQ(sim_write_file(road.sb, "/usrdata/http_send_bccalfile.txt", file), 0);
        const size_t before = road.frames("media", kResult).size();
        ASSERT_TRUE(road.send("http", sim_http_command(8, {})));
        ASSERT_GT(road.wait_frames("media", kResult, before + 1).size(), before) << "no hold-over from the phone";
        char shown_v[16], shown_h[16];
        snprintf(shown_v, sizeof shown_v, "%.02f", fabs(r.up_mrad));
        snprintf(shown_h, sizeof shown_h, "%.02f", fabs(r.right_mrad));
        std::string dump, png;
        ASSERT_TRUE(road.wait_tree(
            [&](const std::string &t) {
                return sim_tree_widget(t, "label_MOA_V").text == shown_v &&
                       sim_tree_widget(t, "label_MOA_H").text == shown_h;
            },
            SIM_REPLY_MS, &dump, &png))
            << dump;
        const Offset o = mark_offset(dump);
        ASSERT_TRUE(o.found);
        EXPECT_EQ(o.dx, r.dx) << dump;
        EXPECT_EQ(o.dy, r.dy) << dump;
        EXPECT_EQ(sim_tree_widget(dump, "image_ballistic_result_v").image, r.arrow_v);
        EXPECT_EQ(sim_tree_widget(dump, "image_ballistic_result_h").image, r.arrow_h);
    }
}

} // namespace
