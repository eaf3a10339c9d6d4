// The ballistic profile editors against the widget-tree dump and the queue:
// key sequences, what they leave in the mirrors and the frames they send,
// byte for byte.
#include <gtest/gtest.h>

#include <math.h>
#include <stdint.h>
#include <string.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "awtk_host.h"
#include "digit_editor.h"
#include "navigator.h"
#include "pages.h"
#include "sightui_test.h"
#include "sim_tree.h"
#include "ui_status.h"
#include "vesk_dynamic_bc_gui.h"

using namespace sightui_test;

namespace {

/* ---- frames, built here from the wire layout ---- */

bytes wire(uint8_t obj, uint8_t cmd, uint8_t item, const bytes &payload)
{
    bytes f;
    for (uint8_t b : {(uint8_t)0xAA, (uint8_t)(payload.size() + 6), obj, cmd, item, (uint8_t)0x00}) f.push_back(b);
    for (uint8_t b : payload) f.push_back(b);
    uint8_t sum = 0;
    for (uint8_t b : f) sum = (uint8_t)(sum + b);
    f.push_back(sum);
    f.push_back(0xEB);
    f.push_back(0xAA);
    return f;
}

bytes le_f32(float v)
{
    uint32_t u;
    memcpy(&u, &v, 4);
    return {(uint8_t)u, (uint8_t)(u >> 8), (uint8_t)(u >> 16), (uint8_t)(u >> 24)};
}

bytes pair16(int a, int b) { return {(uint8_t)a, (uint8_t)(a >> 8), (uint8_t)b, (uint8_t)(b >> 8)}; }

/* Ballistic-parameter requests: section, item, the four payload bytes. */
bytes bal_f(int index, int sub, float v) { return wire(27, (uint8_t)index, (uint8_t)sub, le_f32(v)); }
bytes bal_b(int index, int sub, uint8_t v) { return wire(27, (uint8_t)index, (uint8_t)sub, {v, 0, 0, 0}); }
bytes bal_pair(int index, int sub, int a, int b) { return wire(27, (uint8_t)index, (uint8_t)sub, pair16(a, b)); }
const bytes k_save_all = wire(16, 3, 0, {0});
const bytes k_calculate = bal_b(0, 1, 1);
const bytes k_dynamic_bc_query = wire(0, 0, 43, {0xFF});

std::string hexes(const std::vector<bytes> &frames)
{
    std::string out;
    for (const bytes &f : frames) out += hex(f) + "\n";
    return out;
}

/* ---- the page ---- */

sim_widget node(const std::string &name)
{
    char *dump = awtk_host_dump_tree();
    std::string text = dump != nullptr ? dump : "";
    free(dump);
    return sim_tree_widget(text, name);
}

std::string text_of(const std::vector<const char *> &labels)
{
    std::string out;
    for (const char *l : labels) out += node(l).text;
    return out;
}

std::string style_of(const std::string &name)
{
    char *dump = awtk_host_dump_tree();
    std::string text = dump != nullptr ? dump : "";
    free(dump);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (line.find(" name=\"" + name + "\"") != std::string::npos) return sim_tree_field(line, "style");
    return "";
}

/* A device after the boot push: metres, group 0, ballistics on, a profile
 * inside every limit. */
void defaults()
{
    stUIStatus.event_distrubut_reday = 1;
    for (Info_ballistics &p : info) {
        memset(&p, 0, sizeof p);
        p.ballistics_sw = 1;
        p.atmosphere = {0, 760, 15, 50};
        p.gun.bullet = {};
        p.gun.bullet.ballisticsCoef = 0.5;
        p.gun.bullet.velocity = 800;
        p.gun.bullet.length = 30;
        p.gun.bullet.diameter = 7.82;
        p.gun.bullet.weight = 175;
        p.gun.bullet.atmosphere = {0, 760, 15, 50};
        p.gun.scope.zeroRange = 100;
        p.gun.scope.zeroRange_yard = 109;
        p.gun.scope.sightHeightOverBore = 40;
        p.gun.riflingRange = 10;
        p.gun.direction = RIGHT;
    }
    stDevStatus.s8DistanceUint = 0;
    IR_Cursor.u8CurrentGroup = 0;
}

void keys(const char *sequence)
{
    for (const char *k = sequence; *k != '\0'; k++) {
        awtk_test_key((uint32_t)(unsigned char)*k);
        awtk_test_pump();
    }
}

/* Opens the page with its context on the queues and drops the frames its
 * opening sent. */
void open(const char *page, intptr_t ctx = 0)
{
    ASSERT_EQ(navigator_to_with_context(page, (void *)ctx), RET_OK);
    awtk_test_pump();
    ASSERT_EQ(top_name(), page);
    sent_frames();
}

/* The row the highlight bar stands on (0: hidden). */
int bar_row()
{
    sim_widget bar = node("hightlight");
    if (!bar.found || !bar.visible) return 0;
    int x, y, w, h;
    sscanf(bar.rect.c_str(), "%d,%d,%d,%d", &x, &y, &w, &h);
    return y / 64 + 1;
}

/* ---- the digit editor's conversions ---- */

struct DraftRow {
    int ints, fracs;
    bool sign;
    double value;
    std::vector<uint8_t> draft; /* as value_to_draft writes it */
    double back;                /* draft_to_value of it */
};

TEST(DigitEditor, ValueAndDraftConvertBothWaysAsTheDisplayShowsThem)
{
    const DraftRow rows[] = {
        {4, 0, false, 1234, {1, 2, 3, 4}, 1234},
        {4, 1, false, 123.4f, {0, 1, 2, 3, 4}, 123.4},
        {2, 1, true, -12.35, {1, 1, 2, 4}, -12.4}, /* halves away from zero */
        {2, 0, true, -0.0, {0, 0, 0}, 0},          /* a signed zero is "+" */
        {2, 0, true, 0.4, {0, 0, 0}, 0},
        {3, 1, false, 825.1f, {8, 2, 5, 1}, 825.1},    /* the float's 825.09998 */
        {2, 2, false, 12345.678, {4, 5, 6, 8}, 45.68}, /* digits that do not fit are dropped */
        {1, 3, false, 0.05, {0, 0, 5, 0}, 0.05},
    };
    for (const DraftRow &r : rows) {
        uint8_t draft[8] = {0};
        value_to_draft(r.ints, r.fracs, r.sign, draft, r.value);
        std::vector<uint8_t> got(draft, draft + r.draft.size());
        EXPECT_EQ(got, r.draft) << r.value;
        EXPECT_NEAR(draft_to_value(draft, r.ints, r.fracs, r.sign), r.back, 1e-9) << r.value;
    }
}

TEST(DigitEditor, AStepWrapsAtTheLargestDigitAndASignStepsOnlyBetweenTwo)
{
    struct Step {
        uint8_t before;
        int largest;
        int key;
        uint8_t after;
    } steps[] = {{9, 9, '3', 0}, {0, 9, '5', 9}, {4, 9, '3', 5}, {1, 1, '3', 0}, {0, 1, '5', 1}, {0, 1, '3', 1}};
    for (const Step &s : steps) {
        uint8_t d[1] = {s.before};
        modify_draft_bit(d, 0, s.largest, s.key);
        EXPECT_EQ(d[0], s.after) << (int)s.before << " " << (char)s.key;
    }
}

/* ---- the digit editor on a page ---- */

TEST(DigitEditor, AllNinesOnARowLimitedTo3000CommitThe3000ItShows)
{
    in_gui_child([] {
        defaults();
        start_queues();
        open("ballistic_menu");
        keys("555,5]5]5]5."); /* distance row, 9999 */
        EXPECT_EQ(info[0].target.range, 30000);
        /* range_yard holds its largest count: 3000 m is 32808 tenths of a
         * yard, which a 16-bit count cannot hold. */
        EXPECT_EQ(info[0].target.range_yard, 32767);
        EXPECT_EQ(text_of({"label_dist_four", "label_dist_three", "label_dist_two", "label_dist_one"}), "3000");
        EXPECT_EQ(hexes(sent_frames()), hexes({bal_pair(7, 0, 30000, 32767)}));
    });
}

TEST(DigitEditor, RangeYardSaturatesAboveTheLargestCountOnEveryPageThatStoresIt)
{
    in_gui_child([] {
        defaults();
        start_queues();
        open("ballistic_quickmenu");
        keys(",33]5]5]5]5,"); /* 2999.9 m: 32806.9 tenths of a yard */
        EXPECT_EQ(info[0].target.range, 29999);
        EXPECT_EQ(info[0].target.range_yard, 32767);
        EXPECT_EQ(hexes(sent_frames()), hexes({bal_pair(7, 0, 29999, 32767)}));
    });
}

TEST(DigitEditor, ASignedZeroCommitsAsZeroAndShowsPlus)
{
    in_gui_child([] {
        defaults();
        start_queues();
        open("ballistic_menu");
        keys("55555,3."); /* shooting angle: sign to "-", digits 0 */
        EXPECT_EQ(info[0].target.shootingAngle, 0);
        EXPECT_FALSE(signbit(info[0].target.shootingAngle));
        EXPECT_EQ(node("label_angle_sign").text, "+");
        EXPECT_EQ(hexes(sent_frames()), hexes({bal_f(7, 1, 0.0f)}));
    });
}

TEST(DigitEditor, TheCursorWrapsAtBothEndsAndRowsStayWhileEditing)
{
    in_gui_child([] {
        defaults();
        start_queues();
        open("ballistic_menu");
        keys("555,");
        EXPECT_TRUE(node("view_dist_sel").visible);
        EXPECT_EQ(node("view_dist_sel").rect, "-2,4,20,40");
        keys("[");
        EXPECT_EQ(node("view_dist_sel").rect, "46,4,20,40"); /* the last position, x 48 */
        EXPECT_EQ(style_of("label_dist_one"), "00E6BB_28_Medium_left");
        keys("]");
        EXPECT_EQ(node("view_dist_sel").rect, "-2,4,20,40");
        /* Up and down step the digit, not the row. */
        keys("3");
        EXPECT_TRUE(node("view_dist_arrow").visible);
        EXPECT_EQ(node("view_dist_arrow").rect, "2,-3,12,54");
        EXPECT_EQ(node("image_dist_up").image, "hold_menu_arrow_up_sel");
        EXPECT_EQ(node("image_dist_down").image, "hold_menu_arrow_down_def");
        keys("5");
        EXPECT_EQ(node("image_dist_up").image, "hold_menu_arrow_up_def");
        EXPECT_EQ(node("image_dist_down").image, "hold_menu_arrow_down_sel");
        EXPECT_EQ(bar_row(), 4);
        EXPECT_TRUE(sent_frames().empty()) << "nothing is sent while a number is edited";
        keys(".");
        EXPECT_FALSE(node("view_dist_sel").visible);
        EXPECT_FALSE(node("view_dist_arrow").visible);
    });
}

TEST(DigitEditor, HomeDropsTheDraftAndTheFieldKeepsItsValue)
{
    in_gui_child([] {
        defaults();
        info[0].target.range = 5000;
        start_queues();
        ASSERT_EQ(navigator_to(VESK_HOME_PAGE), RET_OK);
        awtk_test_pump();
        open("ballistic_menu");
        keys("555,3333");
        keys("1");
        EXPECT_EQ(top_name(), VESK_HOME_PAGE);
        EXPECT_EQ(info[0].target.range, 5000);
        std::vector<bytes> sent = sent_frames();
        for (const bytes &f : sent) EXPECT_NE(f[2], 27) << "no ballistic value sent: " << hex(f);
    });
}

TEST(DigitEditor, AMasterSwitchThatIsOffHoldsTheRowUntilItIsTurnedOn)
{
    in_gui_child([] {
        defaults();
        info[0].ballistics_sw = 0;
        start_queues();
        open("ballistic_menu");
        EXPECT_EQ(style_of("label_type"), "c5c5c5_28_Regular_left");
        EXPECT_EQ(style_of("label_arrow_weather"), "c5c5c5_28_Regular_right");
        keys("5353");
        EXPECT_EQ(bar_row(), 1);
        keys(",");
        EXPECT_EQ(info[0].ballistics_sw, 1);
        EXPECT_EQ(node("label_ballistic_sw_state").text, "ON");
        EXPECT_EQ(style_of("label_type"), "FFFFFF_28_Regular_left");
        EXPECT_EQ(hexes(sent_frames()), hexes({bal_b(0, 0, 1)}));
        keys("5");
        EXPECT_EQ(bar_row(), 2);
        EXPECT_EQ(style_of("label_type"), "00E6BB_28_Medium_left");
        EXPECT_EQ(node("image_ballistic_reticle").image, "LRF_reticle_arrow_sel");
    });
}

TEST(DigitEditor, ClosingAndReopeningLeavesOneSubscriptionThatGoesBackOnce)
{
    in_gui_child([] {
        start_queues();
        ASSERT_EQ(navigator_to(VESK_HOME_PAGE), RET_OK);
        awtk_test_pump();
        for (const char *page :
             {"ballistic_quickmenu", "ballistic_bullet", "ballistic_setting_menu", "bullistic_lens"}) {
            defaults();
            open("DataTime");
            open(page);
            ASSERT_EQ(navigator_back(), RET_OK);
            awtk_test_pump();
            open(page);
            /* A profile frame under the editor: exactly one window closes. */
            deliver(report(16, 2, 0, bytes(248, 0)));
            EXPECT_EQ(top_name(), "DataTime") << page;
            ASSERT_EQ(navigator_back_to_home(), RET_OK);
            awtk_test_pump();
        }
    });
}

/* ---- each page's edge cases: keys -> mirrors -> frames ---- */

struct PageCase {
    const char *what;
    const char *page;
    intptr_t ctx;
    std::function<void()> setup; /* after the defaults */
    const char *keys;
    std::function<void()> check; /* mirrors and widgets after the keys */
    std::vector<bytes> frames;   /* sent by the keys, in order */
};

const float k_mrad_150 = (float)(-1.5 / 3.4377);

const PageCase k_cases[] = {
    /* ---- ballistic menu ---- */
    {"menu: 1234 m stores range 12340 and range_yard 13495",
     "ballistic_menu",
     0,
     nullptr,
     "555,3]33]333]3333.",
     [] {
         EXPECT_EQ(info[0].target.range, 12340);
         EXPECT_EQ(info[0].target.range_yard, 13495);
         EXPECT_EQ(text_of({"label_dist_four", "label_dist_three", "label_dist_two", "label_dist_one"}), "1234");
     },
     {bal_pair(7, 0, 12340, 13495)}},
    {"menu: ',' while editing changes nothing, '.' commits",
     "ballistic_menu",
     0,
     nullptr,
     "555,3,,]3",
     [] {
         EXPECT_EQ(info[0].target.range, 0);
         EXPECT_EQ(node("view_dist_arrow").rect, "18,-3,12,54"); /* still editing, cursor on position 1 */
         keys(".");
         EXPECT_EQ(info[0].target.range, 11000);
     },
     {bal_pair(7, 0, 11000, 12029)}},
    {"menu: zero distance 100 yd stores 100 yd and 91 m",
     "ballistic_menu",
     0,
     [] {
         stDevStatus.s8DistanceUint = 1;
         info[0].gun.scope.zeroRange_yard = 0;
     },
     "55555555,]3.",
     [] {
         EXPECT_EQ(info[0].gun.scope.zeroRange_yard, 100);
         EXPECT_EQ(info[0].gun.scope.zeroRange, 91);
         EXPECT_EQ(node("label_zero_dist_unit").text, "yd");
     },
     {bal_pair(5, 1, 91, 100)}},
    {"menu: zero distance 11 yd keeps sightd's 11 m",
     "ballistic_menu",
     0,
     [] {
         stDevStatus.s8DistanceUint = 1;
         info[0].gun.scope.zeroRange_yard = 0;
     },
     "55555555,]]3]3.",
     [] { EXPECT_EQ(info[0].gun.scope.zeroRange, 11); },
     {bal_pair(5, 1, 11, 11)}},
    {"menu: wind 35 / -200 stores 30 and -180, as the clock direction 180",
     "ballistic_menu",
     0,
     nullptr,
     "555555,333]33333]]3]33.",
     [] {
         EXPECT_EQ(info[0].wind.speed, 30);
         EXPECT_EQ(info[0].wind.angle, 180);
         EXPECT_EQ(text_of({"label_winddir_two", "label_winddir_one", "label_windir_point1"}), "300");
         EXPECT_EQ(text_of({"label_windrate_sign", "label_windrate_three", "label_windrate_two", "label_windrate_one"}),
                   "-180");
     },
     {bal_f(6, 0, 180), bal_f(6, 1, 30)}},
    {"menu: a west wind typed -90 is kept as 270",
     "ballistic_menu",
     0,
     nullptr,
     "555555,]]]3]]5.",
     [] {
         EXPECT_EQ(info[0].wind.angle, 270);
         EXPECT_EQ(text_of({"label_windrate_sign", "label_windrate_three", "label_windrate_two", "label_windrate_one"}),
                   "-090");
     },
     {bal_f(6, 0, 270), bal_f(6, 1, 0)}},
    {"menu: '[' on type 0 gives point",
     "ballistic_menu",
     0,
     nullptr,
     "5[",
     [] {
         EXPECT_EQ(stDevStatus.s8BallisticReticle, 2);
         EXPECT_EQ(node("image_ballistic_reticle").image, "LRF_reticle_point_sel");
     },
     {bal_b(0, 2, 2)}},
    {"menu: colour ']' on invert wraps to white",
     "ballistic_menu",
     0,
     [] { stDevStatus.s8BallisticReticleColor = 5; },
     "55]",
     [] { EXPECT_EQ(node("image_reticle_color").image, "hold_ic_reticle_white_sel"); },
     {bal_b(0, 3, 0)}},
    {"menu: sight height 123.45 of group 2",
     "ballistic_menu",
     0,
     [] { IR_Cursor.u8CurrentGroup = 2; },
     "5555,3]55]333]3333]33333.",
     [] {
         EXPECT_DOUBLE_EQ(info[2].gun.scope.sightHeightOverBore, 123.45);
         EXPECT_DOUBLE_EQ(info[0].gun.scope.sightHeightOverBore, 40);
     },
     {bal_f(5, 0, 123.45f)}},
    {"menu: context 2 selects the bullet row", "ballistic_menu", 2, nullptr, "", [] { EXPECT_EQ(bar_row(), 10); }, {}},
    {"menu: context 7 selects row 1", "ballistic_menu", 7, nullptr, "", [] { EXPECT_EQ(bar_row(), 1); }, {}},
    {"menu: OK asks for a calculation and closes, nothing else on close",
     "ballistic_menu",
     0,
     nullptr,
     "3,",
     [] { EXPECT_NE(top_name(), "ballistic_menu"); },
     {k_calculate}},
    {"menu: the weather link returns to the quick menu's weather row",
     "ballistic_menu",
     1,
     nullptr,
     ",.",
     [] {
         EXPECT_EQ(top_name(), "ballistic_quickmenu");
         EXPECT_EQ(bar_row(), 5);
     },
     {k_save_all, k_calculate}},
    {"menu: the lens link returns to the lens row",
     "ballistic_menu",
     4,
     nullptr,
     "].",
     [] {
         EXPECT_EQ(top_name(), "ballistic_menu");
         EXPECT_EQ(bar_row(), 12);
     },
     {}},
    {"menu: the bullet link returns to the bullet row",
     "ballistic_menu",
     2,
     nullptr,
     ",.",
     [] {
         EXPECT_EQ(top_name(), "ballistic_menu");
         EXPECT_EQ(bar_row(), 10);
     },
     {k_save_all, k_calculate}},

    /* ---- quick menu ---- */
    {"quick: 0123.4 stores range 1234 and range_yard 1349",
     "ballistic_quickmenu",
     0,
     nullptr,
     ",]3]33]333]3333,",
     [] {
         EXPECT_EQ(info[0].target.range, 1234);
         EXPECT_EQ(info[0].target.range_yard, 1349);
     },
     {bal_pair(7, 0, 1234, 1349)}},
    {"quick: range 1234 shows 0123.4",
     "ballistic_quickmenu",
     0,
     [] { info[0].target.range = 1234; },
     "",
     [] {
         EXPECT_EQ(
             text_of({"label_dist_four", "label_dist_three", "label_dist_two", "label_dist_one", "label_dist_point1"}),
             "01234");
     },
     {}},
    {"quick: in yards 0100.0 stores range_yard 1000 and range 914",
     "ballistic_quickmenu",
     0,
     [] { stDevStatus.s8DistanceUint = 1; },
     ",]3.",
     [] {
         EXPECT_EQ(info[0].target.range_yard, 1000);
         EXPECT_EQ(info[0].target.range, 914);
     },
     {bal_pair(7, 0, 914, 1000)}},
    {"quick: Coriolis azimuth 999.9 stores 359.9",
     "ballistic_quickmenu",
     0,
     nullptr,
     "55,5]5]5]5,",
     [] { EXPECT_DOUBLE_EQ(info[0].corioliseffect.angle, 359.9); },
     {bal_f(8, 2, 359.9f)}},
    {"quick: shooting angle -12.5",
     "ballistic_quickmenu",
     0,
     nullptr,
     "5,3]3]33]33333.",
     [] { EXPECT_DOUBLE_EQ(info[0].target.shootingAngle, -12.5); },
     {bal_f(7, 1, -12.5f)}},
    {"quick: a wind kept signed (-90) shows and commits as 270.0",
     "ballistic_quickmenu",
     0,
     [] { info[0].wind.angle = -90; },
     "555,.",
     [] {
         EXPECT_EQ(
             text_of({"label_windrate_three", "label_windrate_two", "label_windrate_one", "label_windrate_point1"}),
             "2700");
         EXPECT_EQ(info[0].wind.angle, 270);
     },
     {bal_f(6, 0, 270), bal_f(6, 1, 0)}},
    {"quick: wind direction 999.9 stores 359.9",
     "ballistic_quickmenu",
     0,
     nullptr,
     "555,]]]5]5]5]5,",
     [] { EXPECT_DOUBLE_EQ(info[0].wind.angle, 359.9); },
     {bal_f(6, 0, 359.9f), bal_f(6, 1, 0)}},
    {"quick: context 1 selects the weather row",
     "ballistic_quickmenu",
     1,
     nullptr,
     "",
     [] { EXPECT_EQ(bar_row(), 5); },
     {}},
    {"quick: OK with ballistics off sends the save-all only",
     "ballistic_quickmenu",
     0,
     [] { info[0].ballistics_sw = 0; },
     "3,",
     [] { EXPECT_NE(top_name(), "ballistic_quickmenu"); },
     {k_save_all}},
    {"quick: OK with ballistics on saves and asks for a calculation",
     "ballistic_quickmenu",
     0,
     nullptr,
     "3,",
     nullptr,
     {k_save_all, k_calculate}},
    {"quick: the weather row opens the weather page",
     "ballistic_quickmenu",
     1,
     nullptr,
     "]",
     [] { EXPECT_EQ(top_name(), "ballistic_weather"); },
     {k_save_all, k_calculate}},

    /* ---- settings menu ---- */
    {"settings: ']' on type 2 gives arrow",
     "ballistic_setting_menu",
     0,
     [] { stDevStatus.s8BallisticReticle = 2; },
     "5]",
     [] { EXPECT_EQ(node("image_ballistic_reticle").image, "LRF_reticle_arrow_sel"); },
     {bal_b(0, 2, 0)}},
    {"settings: spin drift toggles",
     "ballistic_setting_menu",
     0,
     nullptr,
     "555,",
     [] {
         EXPECT_EQ(info[0].spinDriftOpt, 1);
         EXPECT_EQ(node("label_spin_drift_state").text, "ON");
     },
     {bal_b(9, 0, 1)}},
    {"settings: before any reply the coefficient row shows a dash and sends nothing",
     "ballistic_setting_menu",
     0,
     nullptr,
     "5555,[]",
     [] { EXPECT_EQ(node("vesk_label_dynamic_bc_value").text, "\xE2\x80\x94"); },
     {}},
    {"settings: switch off, '5' stays; context 5 opens on the Coriolis row, which still opens",
     "ballistic_setting_menu",
     5,
     [] { info[0].ballistics_sw = 0; },
     "5",
     [] {
         EXPECT_EQ(bar_row(), 6);
         EXPECT_EQ(style_of("label_coriolis"), "00E6BB_28_Medium_left");
         keys(",");
         EXPECT_EQ(top_name(), "ballistic_coriolis");
     },
     {k_save_all}},

    /* ---- bullet ---- */
    {"bullet: coefficient 0.000 stores 0.05 and shows 0.050",
     "ballistic_bullet",
     0,
     nullptr,
     ",]55555,",
     [] {
         EXPECT_DOUBLE_EQ(info[0].gun.bullet.ballisticsCoef, 0.05);
         EXPECT_EQ(text_of({"label_coef_one", "label_coef_point1", "label_coef_point2", "label_coef_point3"}), "0050");
     },
     {bal_f(1, 3, 0.05f)}},
    {"bullet: weight 9999.99 stores 3086.47",
     "ballistic_bullet",
     0,
     [] { info[0].gun.bullet.weight = 0; },
     "3,5]5]5]5]5]5,",
     [] {
         EXPECT_DOUBLE_EQ(info[0].gun.bullet.weight, 3086.47);
         EXPECT_EQ(text_of({"label_weight_four", "label_weight_three", "label_weight_two", "label_weight_one",
                            "label_weight_point1", "label_weight_point2"}),
                   "308647");
     },
     {bal_f(1, 2, 3086.47f)}},
    {"bullet: '[' on G1 gives G8, ']' on G8 gives G1",
     "ballistic_bullet",
     0,
     nullptr,
     "5[",
     [] {
         EXPECT_EQ(info[0].gun.bullet.dragFunction, 5);
         EXPECT_EQ(node("label_model_setval").text, "G8");
         keys("]");
         EXPECT_EQ(info[0].gun.bullet.dragFunction, 0);
         EXPECT_EQ(node("label_model_setval").text, "G1");
     },
     {bal_f(1, 4, 5), bal_f(1, 4, 0)}},
    {"bullet: velocity 0750 of group 3",
     "ballistic_bullet",
     0,
     [] { IR_Cursor.u8CurrentGroup = 3; },
     "55,]5]33333,",
     [] {
         EXPECT_DOUBLE_EQ(info[3].gun.bullet.velocity, 750);
         EXPECT_DOUBLE_EQ(info[0].gun.bullet.velocity, 800);
     },
     {bal_f(1, 5, 750)}},
    {"bullet: twist 10.00 in, left",
     "ballistic_bullet",
     0,
     nullptr,
     "5555,",
     [] {
         EXPECT_EQ(info[0].gun.direction, LEFT);
         EXPECT_EQ(node("label_twist_setval").text, "Left");
     },
     {bal_b(2, 1, 0)}},
    {"bullet: a group outside the six refuses the edit",
     "ballistic_bullet",
     0,
     [] { IR_Cursor.u8CurrentGroup = 7; },
     ",5555,5[",
     [] {
         for (const Info_ballistics &p : info) EXPECT_DOUBLE_EQ(p.gun.bullet.ballisticsCoef, 0.5);
         EXPECT_EQ(info[5].gun.bullet.dragFunction, 0);
     },
     {}},
    {"bullet: opened by the ballistic menu, '.' returns to its bullet row",
     "ballistic_bullet",
     0,
     [] { ballistic_bullet_enable = 1; },
     ".",
     [] {
         EXPECT_EQ(top_name(), "ballistic_menu");
         EXPECT_EQ(bar_row(), 10);
     },
     {k_save_all, k_calculate}},
    {"bullet: opened by the group page, '.' returns to its bullet row",
     "ballistic_bullet",
     0,
     [] { ballistic_bullet_enable = 0; },
     ".",
     [] {
         EXPECT_EQ(top_name(), "ballistic_group_info");
         EXPECT_EQ(bar_row(), 1);
     },
     {k_save_all, k_calculate}},

    /* ---- group information ---- */
    {"group: ']' enters the sight height on the hundreds digit",
     "ballistic_group_info",
     0,
     nullptr,
     "5]",
     [] {
         EXPECT_TRUE(node("view_scope_sel").visible);
         EXPECT_EQ(node("view_scope_sel").rect, "30,4,20,40");
     },
     {}},
    {"group: sight height 999 stores 250",
     "ballistic_group_info",
     0,
     nullptr,
     "5]5]5]5,",
     [] {
         EXPECT_DOUBLE_EQ(info[0].gun.scope.sightHeightOverBore, 250);
         EXPECT_EQ(text_of({"label_scope_three", "label_scope_two", "label_scope_one"}), "250");
     },
     {bal_f(5, 0, 250)}},
    {"group: '.' opens the reticle menu on its ballistic row",
     "ballistic_group_info",
     0,
     [] { reticle_menu_index = 1; },
     ".",
     [] {
         EXPECT_EQ(top_name(), "reticle_menu");
         EXPECT_EQ(reticle_menu_index, 6);
     },
     {k_save_all, k_calculate}},
    {"group: back from the zeroing weather selects row 3",
     "ballistic_group_info",
     0,
     nullptr,
     "3,.",
     [] {
         EXPECT_EQ(top_name(), "ballistic_group_info");
         EXPECT_EQ(bar_row(), 3);
     },
     {k_save_all, k_calculate, k_save_all, k_calculate}},
    {"group: back from the bullet page selects row 1",
     "ballistic_group_info",
     3,
     nullptr,
     "5,.",
     [] {
         EXPECT_EQ(top_name(), "ballistic_group_info");
         EXPECT_EQ(bar_row(), 1);
     },
     {k_save_all, k_calculate, k_save_all, k_calculate}},

    /* ---- Coriolis ---- */
    {"coriolis: latitude -45 shows 4 5 S; N commits 45",
     "ballistic_coriolis",
     0,
     [] {
         info[0].corioliseffect.CoriolisEffectSwitch = 1;
         info[0].corioliseffect.lat = -45;
     },
     "5",
     [] {
         EXPECT_EQ(text_of({"label_lat_two", "label_lat_one", "label_lat_sign"}), "45S");
         keys(",[3.");
         EXPECT_DOUBLE_EQ(info[0].corioliseffect.lat, 45);
         EXPECT_EQ(text_of({"label_lat_two", "label_lat_one", "label_lat_sign"}), "45N");
     },
     {bal_f(8, 1, 45)}},
    {"coriolis: 99 with S stores -90",
     "ballistic_coriolis",
     0,
     [] { info[0].corioliseffect.CoriolisEffectSwitch = 1; },
     "5,5]5]3,",
     [] {
         EXPECT_DOUBLE_EQ(info[0].corioliseffect.lat, -90);
         EXPECT_EQ(text_of({"label_lat_two", "label_lat_one", "label_lat_sign"}), "90S");
     },
     {bal_f(8, 1, -90)}},
    {"coriolis: off holds row 1; ',' turns it on and rows 2 and 3 turn white",
     "ballistic_coriolis",
     0,
     nullptr,
     "5",
     [] {
         EXPECT_EQ(bar_row(), 1);
         EXPECT_EQ(style_of("label_lat"), "c5c5c5_28_Regular_left");
         keys(",");
         EXPECT_EQ(style_of("label_lat"), "FFFFFF_28_Regular_left");
         EXPECT_EQ(style_of("label_auto_angle_state"), "FFFFFF_28_Regular_right");
         EXPECT_EQ(node("label_coriolis_sw_state").text, "ON");
         keys("55]");
         EXPECT_EQ(stDevStatus.s8CompassAutoAngleSwitch, 1);
         EXPECT_EQ(node("label_auto_angle_state").text, "ON");
     },
     {bal_b(8, 0, 1), wire(0, 0, 40, {1})}},
    {"coriolis: '.' returns to the settings menu's Coriolis row",
     "ballistic_coriolis",
     0,
     nullptr,
     ".",
     [] {
         EXPECT_EQ(top_name(), "ballistic_setting_menu");
         EXPECT_EQ(bar_row(), 6);
     },
     {k_save_all, k_calculate, k_dynamic_bc_query}},

    /* ---- weather ---- */
    {"weather: -99 stores -40 and shows - 4 0",
     "ballistic_weather",
     0,
     [] { info[0].atmosphere.temperature = 0; },
     ",3]5]5,",
     [] {
         EXPECT_EQ(info[0].atmosphere.temperature, -40.0f);
         EXPECT_EQ(text_of({"label_temp_sign", "label_temp_two", "label_temp_one"}), "-40");
     },
     {bal_f(4, 0, -40)}},
    {"weather: pressure 000.0 stores 225.0",
     "ballistic_weather",
     0,
     nullptr,
     "5,333]3333,",
     [] {
         EXPECT_EQ(info[0].atmosphere.barometer, 225.0f);
         EXPECT_EQ(text_of({"label_press_three", "label_press_two", "label_press_one", "label_press_point1"}), "2250");
     },
     {bal_f(4, 1, 225)}},
    {"weather: pressure 999.9 stores 825.1",
     "ballistic_weather",
     0,
     nullptr,
     "5,33]333]5]5,",
     [] {
         EXPECT_EQ(info[0].atmosphere.barometer, 825.1f);
         EXPECT_EQ(text_of({"label_press_three", "label_press_two", "label_press_one", "label_press_point1"}), "8251");
     },
     {bal_f(4, 1, 825.1f)}},
    {"weather: humidity 99 of profile 0 whichever group",
     "ballistic_weather",
     0,
     [] { IR_Cursor.u8CurrentGroup = 4; },
     "55,3333]5,",
     [] {
         EXPECT_EQ(info[0].atmosphere.relative_humidity, 99.0f);
         EXPECT_EQ(info[4].atmosphere.relative_humidity, 50.0f);
     },
     {bal_f(4, 2, 99)}},
    {"weather: '.' returns to the quick menu's weather row",
     "ballistic_weather",
     0,
     nullptr,
     ".",
     [] {
         EXPECT_EQ(top_name(), "ballistic_quickmenu");
         EXPECT_EQ(bar_row(), 5);
     },
     {k_save_all, k_calculate}},

    /* ---- zeroing weather ---- */
    {"zeroweather: humidity on group 3 changes profile 3 only and is sent as (3, 3)",
     "ballistic_zeroweather",
     0,
     [] {
         IR_Cursor.u8CurrentGroup = 3;
         info[3].gun.bullet.isOpenAtmosphere = 1;
     },
     "555,3]3,",
     [] {
         EXPECT_EQ(info[3].gun.bullet.atmosphere.relative_humidity, 61.0f);
         for (int g : {0, 1, 2, 4, 5}) EXPECT_EQ(info[g].gun.bullet.atmosphere.relative_humidity, 50.0f) << g;
     },
     {bal_f(3, 3, 61)}},
    {"zeroweather: off holds row 1; ',' turns it on",
     "ballistic_zeroweather",
     0,
     nullptr,
     "5,",
     [] {
         EXPECT_EQ(info[0].gun.bullet.isOpenAtmosphere, 1);
         EXPECT_EQ(bar_row(), 1);
         EXPECT_EQ(node("label_weather_switch_value").text, "ON");
         EXPECT_EQ(style_of("label_temp"), "FFFFFF_28_Regular_left");
     },
     {bal_b(3, 0, 1)}},
    {"zeroweather: '.' returns to the group page's zeroing-weather row",
     "ballistic_zeroweather",
     0,
     nullptr,
     ".",
     [] {
         EXPECT_EQ(top_name(), "ballistic_group_info");
         EXPECT_EQ(bar_row(), 3);
     },
     {k_save_all, k_calculate}},

    /* ---- offset unit ---- */
    {"lens: MOA 1.25 shows; the unit row switches to MRAD 0.40",
     "bullistic_lens",
     0,
     [] {
         info[0].gun.bullet.zeroOffsetVerticalMOA = 1.25;
         info[0].gun.bullet.zeroOffsetVerticalMRAD = 0.40;
     },
     "",
     [] {
         EXPECT_EQ(node("label_unit_sel").text, "MOA");
         EXPECT_EQ(
             text_of({"label_vert_sign", "label_vert_two", "label_vert_one", "label_vert_point1", "label_vert_point2"}),
             "+0125");
         keys(",");
         EXPECT_EQ(info[0].gun.bullet.zeroOffsetUnit, MRAD);
         EXPECT_EQ(node("label_unit_sel").text, "MRAD");
         EXPECT_EQ(node("label_vert_unit").text, "MRAD");
         EXPECT_EQ(
             text_of({"label_vert_sign", "label_vert_two", "label_vert_one", "label_vert_point1", "label_vert_point2"}),
             "+0040");
     },
     {bal_b(3, 4, 1)}},
    {"lens: -1.50 MOA horizontal keeps its conversion in MRAD",
     "bullistic_lens",
     0,
     nullptr,
     "55,3]]3]33333.",
     [] {
         EXPECT_DOUBLE_EQ(info[0].gun.bullet.zeroOffsetHorizontalMOA, -1.5);
         EXPECT_NEAR(info[0].gun.bullet.zeroOffsetHorizontalMRAD, -0.43634, 1e-5);
     },
     {bal_f(3, 6, -1.5f), bal_f(3, 8, k_mrad_150)}},
    {"lens: 1.00 MRAD vertical keeps 3.4377 MOA",
     "bullistic_lens",
     0,
     [] { info[0].gun.bullet.zeroOffsetUnit = MRAD; },
     "5,]]3.",
     [] {
         EXPECT_DOUBLE_EQ(info[0].gun.bullet.zeroOffsetVerticalMRAD, 1.0);
         EXPECT_DOUBLE_EQ(info[0].gun.bullet.zeroOffsetVerticalMOA, 3.4377);
     },
     {bal_f(3, 5, 3.4377f), bal_f(3, 7, 1.0f)}},
    {"lens: -99.99 MOA commits as it is",
     "bullistic_lens",
     0,
     nullptr,
     "5,3]5]5]5]5.",
     [] {
         EXPECT_DOUBLE_EQ(info[0].gun.bullet.zeroOffsetVerticalMOA, -99.99);
         EXPECT_EQ(
             text_of({"label_vert_sign", "label_vert_two", "label_vert_one", "label_vert_point1", "label_vert_point2"}),
             "-9999");
     },
     {bal_f(3, 5, -99.99f), bal_f(3, 7, (float)(-99.99 / 3.4377))}},
    {"lens: 99.99 MRAD is held where its MOA twin stays in range",
     "bullistic_lens",
     0,
     [] { info[0].gun.bullet.zeroOffsetUnit = MRAD; },
     "5,]5]5]5]5.",
     [] {
         EXPECT_DOUBLE_EQ(info[0].gun.bullet.zeroOffsetVerticalMRAD, 29.08);
         EXPECT_LE(info[0].gun.bullet.zeroOffsetVerticalMOA, 99.99);
     },
     {bal_f(3, 5, (float)(29.08 * 3.4377)), bal_f(3, 7, 29.08f)}},
    {"lens: ',' does not commit; '.' returns to the ballistic menu's lens row without saving",
     "bullistic_lens",
     0,
     nullptr,
     "5,]3,",
     [] {
         EXPECT_EQ(info[0].gun.bullet.zeroOffsetVerticalMOA, 0);
         keys("..");
         EXPECT_EQ(top_name(), "ballistic_menu");
         EXPECT_EQ(bar_row(), 12);
     },
     {bal_f(3, 5, 10), bal_f(3, 7, (float)(10 / 3.4377))}},
};

TEST(BallisticEditors, EachPageStoresAndSendsWhatItsKeysCommit)
{
    /* BALLISTIC_CASE=<part of a name> runs only the matching cases. */
    const char *only = getenv("BALLISTIC_CASE");
    for (const PageCase &c : k_cases) {
        if (only != nullptr && strstr(c.what, only) == nullptr) continue;
        SCOPED_TRACE(c.what);
        in_gui_child([&c] {
            SCOPED_TRACE(c.what);
            defaults();
            if (c.setup) c.setup();
            start_queues();
            /* A page below the editor, as the editors are always opened
             * from another page. */
            ASSERT_EQ(navigator_to("DataTime"), RET_OK);
            awtk_test_pump();
            open(c.page, c.ctx);
            keys(c.keys);
            if (c.check) c.check();
            EXPECT_EQ(hexes(sent_frames()), hexes(c.frames));
        });
    }
}

TEST(BallisticEditors, ACoefficientReplyRedrawsItsRowAndAKeyAsksForTheOtherValue)
{
    in_gui_child([] {
        defaults();
        start_queues();
        open("ballistic_setting_menu");
        EXPECT_EQ(hexes(sent_frames()), "") << "the query went out when the page opened";
        deliver(report(0, 0, 43, {0x00, 0x00}));
        EXPECT_EQ(node("vesk_label_dynamic_bc_value").text, "OFF");
        keys("5555,");
        std::vector<bytes> sent = sent_frames();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0][4], 43);
        EXPECT_EQ(sent[0][6], 1);
        EXPECT_EQ(node("vesk_label_dynamic_bc_value").text, "OFF") << "until the reply";
        deliver(report(0, 0, 43, {0x01, 0x00}));
        EXPECT_EQ(node("vesk_label_dynamic_bc_value").text, "ON");
    });
}

TEST(BallisticEditors, AnInitWithoutWindowLogsItsConditionAndBindsNothing)
{
    in_gui_child([] {
        const page_init_t inits[] = {ballistic_menu_init,    ballistic_quickmenu_init,   ballistic_setting_menu_init,
                                     ballistic_bullet_init,  ballistic_group_info_init,  ballistic_coriolis_init,
                                     ballistic_weather_init, ballistic_zeroweather_init, bullistic_lens_init};
        for (page_init_t init : inits) {
            std::string out = stdout_of([&] { EXPECT_EQ(init(nullptr, nullptr), RET_BAD_PARAMS); });
            EXPECT_NE(out.find("_init:"), std::string::npos) << out;
            EXPECT_NE(out.find("condition(win != NULL) failed!"), std::string::npos) << out;
        }
    });
}

} // namespace
