// The home page against the widget-tree dump: what sightd's reports make it
// show, and which frames each key sends.
#include <gtest/gtest.h>

#include <math.h>
#include <stdio.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "awtk_host.h"
#include "booted_device.h"
#include "general_reticle.h"
#include "home_page.h"
#include "navigator.h"
#include "sightui_test.h"
#include "sim_tree.h"
#include "page_screenshot.h"
#include "ui_status.h"
#include "vesk_lrf_ui.h"

using namespace sightui_test;

namespace {

/* The widget of that name in the home window, from a fresh dump. */
sim_widget node(const std::string &name) { return sim_tree_widget(tree_dump(), name); }

/* A device as the boot push leaves it: on battery, charged, 1x zoom, the
 * zero at the centre, reticle shown, ready. */
void device_defaults()
{
    booted_device_defaults();
    stUIStatus.s8BatteryType = 0;
    stDevStatus.s8ReticleMenuSwitch = 1;
    info[0].ballistics_sw = 1;
}

/* Opens the home page over defaults the caller may change first. */
void open_home()
{
    /* As the program's start-up does before the first window. */
    ASSERT_EQ(general_reticle_register(), RET_OK);
    ASSERT_EQ(navigator_to(VESK_HOME_PAGE), RET_OK);
    awtk_test_pump();
    ASSERT_EQ(top_name(), VESK_HOME_PAGE);
}

/* The home page with the queue client running and its first frames and
 * the menu-level watch's first look behind it. */
void open_home_on_queues()
{
    start_queues();
    open_home();
    awtk_test_step(100);
    sent_frames();
}

widget_t *home() { return navigator_find_window(VESK_HOME_PAGE); }

bytes ballistic_result(float moa_v, float moa_h, float distance)
{
    return report(27, 0, 0, cat({f32(moa_v), f32(moa_h), f32(distance), f32(0), f32(0)}));
}

/* A rangefinder result: status, session, target mode, targets in dm. */
bytes lrf_result(uint8_t status, uint8_t session, uint8_t target, std::vector<uint32_t> dm)
{
    bytes p = {status, session, target, 0, (uint8_t)dm.size()};
    for (int i = 0; i < 3; i++) {
        uint32_t d = i < (int)dm.size() ? dm[i] : 0;
        p.push_back((uint8_t)((d / 10) >> 8));
        p.push_back((uint8_t)(d / 10));
        p.push_back((uint8_t)(d % 10));
    }
    p.push_back(0);
    p.push_back(0);
    return report(4, 2, 0xFF, p);
}

void press(uint32_t key)
{
    awtk_test_key(key);
    awtk_test_pump();
}

/* ---- ballistic result ---- */

TEST(HomePage, BallisticResultShowsHoldsInMilWithTheirArrowsAndTheDistance)
{
    in_gui_child([] {
        device_defaults();
        open_home();
        deliver(ballistic_result(3.44f, -6.88f, 345.6f));
        EXPECT_EQ(node("label_MOA_V").text, "1.00");
        EXPECT_EQ(node("image_ballistic_result_v").image, "ic_down_sel");
        EXPECT_TRUE(node("image_ballistic_result_v").visible);
        EXPECT_EQ(node("label_MOA_H").text, "2.00");
        EXPECT_EQ(node("image_ballistic_result_h").image, "ic_right_sel");
        EXPECT_TRUE(node("image_ballistic_result_h").visible);
        EXPECT_EQ(node("label_distance_ballistic").text, "345.6m");
        EXPECT_TRUE(node("view_ballistics").visible);
        EXPECT_TRUE(node("view_bg_ballistic").visible);
    });
}

TEST(HomePage, HoldsRoundingToZeroHideTheirArrow)
{
    struct Row {
        double mrad;
        const char *text;
        bool arrow;
        const char *image;
    } rows[] = {
        {-0.004, "0.00", false, ""},       {0.005, "0.01", true, "ic_down_sel"}, {-0.0, "0.00", false, ""},
        {-1.5, "1.50", true, "ic_up_sel"}, {12.3, "12.30", true, "ic_down_sel"},
    };
    in_gui_child([&] {
        device_defaults();
        open_home();
        for (const Row &r : rows) {
            deliver(ballistic_result((float)(r.mrad * 3.44), 0, 100));
            EXPECT_EQ(node("label_MOA_V").text, r.text) << r.mrad;
            EXPECT_EQ(node("image_ballistic_result_v").visible, r.arrow) << r.mrad;
            if (r.arrow) {
                EXPECT_EQ(node("image_ballistic_result_v").image, r.image) << r.mrad;
            }
        }
    });
}

TEST(HomePage, BallisticBoxFollowsTheSwitchScanningAndRecovery)
{
    in_gui_child([] {
        device_defaults();
        info[0].ballistics_sw = 0;
        open_home();
        /* The ballistic point goes with the box: no point at the centre
         * while ballistics are off. */
        EXPECT_FALSE(node("image_point").visible);
        deliver(ballistic_result(3.44f, 0, 200));
        EXPECT_FALSE(node("view_ballistics").visible);
        EXPECT_FALSE(node("image_point").visible);
        info[0].ballistics_sw = 1;
        deliver(ballistic_result(3.44f, 0, 200));
        EXPECT_TRUE(node("view_ballistics").visible);
        EXPECT_TRUE(node("image_point").visible);
        /* Scanning hides it until the rangefinder stops. */
        deliver(report(4, 0, 0xFF, {2, 0}));
        EXPECT_FALSE(node("view_ballistics").visible);
        EXPECT_FALSE(node("image_point").visible);
        EXPECT_EQ(stUIStatus.s8RangeMode, 3);
        deliver(report(4, 0, 0xFF, {0, 0}));
        EXPECT_EQ(stUIStatus.s8RangeMode, 0);
        EXPECT_TRUE(node("view_ballistics").visible);
        EXPECT_TRUE(node("image_point").visible);
    });
}

/* A result frame with numbers no calculation gives (reachable from the
 * phone's exchange file) shows no number and no mark; before, 1e9 MOA read
 * "290697674.42" mil and put the mark at x = -2147483016. */
TEST(HomePage, ResultWithoutASolutionShowsNoHoldAndNoMark)
{
    const struct {
        const char *what;
        float moa_v, moa_h, distance;
    } rows[] = {
        {"a billion MOA", 1e9f, 0, 300},
        {"NaN hold", NAN, 0, 300},
        {"infinite windage", 0, -INFINITY, 300},
        {"NaN distance", 3.44f, 0, NAN},
    };
    in_gui_child([&] {
        device_defaults();
        open_home();
        for (const auto &r : rows) {
            deliver(ballistic_result(3.44f, 0, 200));
            ASSERT_TRUE(node("image_point").visible) << r.what;
            deliver(ballistic_result(r.moa_v, r.moa_h, r.distance));
            EXPECT_EQ(node("label_MOA_V").text, "----") << r.what;
            EXPECT_EQ(node("label_MOA_H").text, "----") << r.what;
            EXPECT_FALSE(node("image_ballistic_result_v").visible) << r.what;
            EXPECT_FALSE(node("image_ballistic_result_h").visible) << r.what;
            EXPECT_EQ(node("label_distance_ballistic").text, "----m") << r.what;
            EXPECT_FALSE(node("image_point").visible) << r.what;
            EXPECT_TRUE(node("view_ballistics").visible) << r.what;
        }
    });
}

/* The point marks where the bullet goes: where the hold puts it, hidden
 * when that lies off the screen (never at a wrapped position). */
TEST(HomePage, BallisticPointFollowsTheHoldAndHidesOffTheScreen)
{
    struct Row {
        const char *what;
        float mil_v, mil_h;
        int zoom;
        bool shown;
        const char *rect;
    } rows[] = {
        /* Ten pixels a mil at 1x, twenty at 2x, about the zero at the
         * centre: x + moveX, y - moveY. */
        {"centre", 0, 0, 100, true, "632,632,14,14"}, {"holds of 3 and 2 mil", 3, 2, 100, true, "652,602,14,14"},
        {"at 2x", 3, 2, 200, true, "672,572,14,14"},  {"off the top", 70, 0, 100, false, ""},
        {"off the top at 2x", 35, 0, 200, false, ""}, {"off the bottom", -40, 0, 100, false, ""},
        {"off the right", 0, 70, 100, false, ""},     {"off the left", 0, -70, 100, false, ""},
        {"far off", 1500, 1500, 250, false, ""},
    };
    in_gui_child([&] {
        device_defaults();
        open_home();
        for (const Row &r : rows) {
            deliver(report(1, 0, 16, le16(r.zoom)));
            deliver(ballistic_result(r.mil_v * 3.44f, r.mil_h * 3.44f, 300));
            sim_widget point = node("image_point");
            EXPECT_EQ(point.visible, r.shown) << r.what;
            if (r.shown) {
                EXPECT_EQ(point.rect, r.rect) << r.what;
            }
            int x = 0, y = 0;
            ASSERT_EQ(sscanf(point.rect.c_str(), "%d,%d", &x, &y), 2) << point.rect;
            EXPECT_TRUE(x > -100000 && x < 100000 && y > -100000 && y < 100000) << r.what << " " << point.rect;
        }

    });
}

/* ---- battery ---- */

TEST(HomePage, BatteryIconsAndTheLowPowerPage)
{
    struct Row {
        int value;
        int type;
        const char *icon;
        bool low_power;
    } rows[] = {
        {791, 0, "ic_status_battery4", false}, {790, 0, "ic_status_battery3", false},
        {745, 0, "ic_status_battery3", false}, {744, 0, "ic_status_battery2", false},
        {666, 0, "ic_status_battery2", false}, {665, 0, "ic_status_battery1", false},
        {607, 0, "ic_status_battery1", false}, {606, 0, "ic_status_battery0", false},
        {571, 0, "ic_status_battery0", false}, {570, 0, "ic_status_battery0", true},
        {500, 1, "ic_status_battery0", false}, /* on external power */
    };
    for (const Row &r : rows) {
        in_gui_child([&] {
            device_defaults();
            open_home();
            deliver(report(15, 0, 1, {(uint8_t)r.type}));
            deliver(report(15, 0, 0, le16(r.value)));
            awtk_test_pump();
            EXPECT_EQ(node("lable_QZ_battery_value").image, r.icon) << r.value;
            EXPECT_EQ(node("image_QZ_usb_connect").visible, r.type == 1) << r.value;
            EXPECT_EQ(top_name(), r.low_power ? "shut_down_low_power" : VESK_HOME_PAGE) << r.value;
        });
    }
}

TEST(HomePage, NoBatteryReadingYetDoesNotPowerOff)
{
    in_gui_child([] {
        device_defaults();
        stUIStatus.s16BatteryValue = 0;
        open_home();
        EXPECT_EQ(node("lable_QZ_battery_value").image, "ic_status_battery0");
        EXPECT_EQ(top_name(), VESK_HOME_PAGE);
    });
}

/* ---- zoom, reticle, marks ---- */

TEST(HomePage, ZoomTextAndReticleProperties)
{
    struct Row {
        int zoom;
        const char *text;
    } rows[] = {{0, "3.0X"},   {100, "3.0X"}, {101, "3.1X"}, {102, "3.1X"},
                {103, "3.1X"}, {104, "3.1X"}, {150, "4.5X"}, {250, "7.5X"}};
    in_gui_child([&] {
        device_defaults();
        stDevStatus.s8ReticleType = 2;
        stDevStatus.s8ReticleColour = 3;
        open_home();
        widget_t *reticle = widget_lookup(home(), "general_reticle", TRUE);
        ASSERT_NE(reticle, nullptr);
        for (const Row &r : rows) {
            deliver(report(1, 0, 16, le16(r.zoom)));
            EXPECT_EQ(node("label_zoom_value").text, r.text) << r.zoom;
            EXPECT_EQ(widget_get_prop_int(reticle, "zoom", -1), r.zoom);
        }
        EXPECT_EQ(widget_get_prop_int(reticle, "reticle_type", -1), 2);
        EXPECT_EQ(widget_get_prop_int(reticle, "reticle_color", -1), 3);
        EXPECT_EQ(widget_get_prop_int(reticle, "resolution_x", -1), 1000);
        EXPECT_EQ(widget_get_prop_int(reticle, "resolution_y", -1), 1000);
        /* The reticle's centre lies on the zero: (639, 639) less 839. */
        EXPECT_EQ(node("general_reticle").rect, "-200,-200,1680,1680");

        /* Colour 5 follows the temporary colour of the reticle report. */
        stDevStatus.s8ReticleColour = 5;
        deliver(report(22, 0, 0, {1}));
        EXPECT_EQ(widget_get_prop_int(reticle, "reticle_color", -1), 1);
        deliver(report(22, 0, 0, {0}));
        EXPECT_EQ(widget_get_prop_int(reticle, "reticle_color", -1), 0);
    });
}

TEST(HomePage, PictureInPictureZoomsTheReticleToOneAndShowsTheInset)
{
    in_gui_child([] {
        device_defaults();
        stDevStatus.s8VideoMode = 3;
        stUIStatus.s8IRZoom = 102;
        open_home();
        EXPECT_EQ(node("label_zoom_value").text, "3.0X");
        EXPECT_EQ(node("label_PIP_zoom_value").text, "6.2X"); /* (3.12 to one decimal) x 2 */
        EXPECT_TRUE(node("label_PIP_zoom_value").visible);
        EXPECT_TRUE(node("view_pip_border").visible);
        EXPECT_TRUE(node("view_pip_reticle").visible);
        EXPECT_EQ(widget_get_prop_int(widget_lookup(home(), "general_reticle", TRUE), "zoom", -1), 100);
    });
}

TEST(HomePage, ZeroOffsetAndRangeMarkMoveWithTheZoom)
{
    in_gui_child([] {
        device_defaults();
        Qel_Cursor_Zero &z = IR_Cursor.group[0].zero[0];
        z.s8IrCursorCurrentX = 650;
        z.s8IrCursorCurrentY = 630;
        z.flIrCursorOffsetX = 10.4f;
        z.flIrCursorOffsetY = -5.5f;
        stDevStatus.s16RangeOffsetX = 700;
        stDevStatus.s16RangeOffsetY = 600;
        stUIStatus.s8IRZoom = 200;
        open_home();
        /* 650 + [2 x 10.4] - 839 and 630 + [2 x -5.5] - 839. */
        EXPECT_EQ(node("general_reticle").rect, "-168,-220,1680,1680");
        /* 650 + (700 - 650) x 2 - 7 and 630 + (600 - 630) x 2 - 7. */
        EXPECT_EQ(node("image_reticle_range").rect, "743,563,14,14");
        EXPECT_EQ(node("label_x_diff_mil_value").text, "2.14 mil");
        EXPECT_EQ(node("label_y_diff_mil_value").text, "1.45 mil");
        EXPECT_EQ(node("label_group_value").text, "A100m");
    });
}

TEST(HomePage, MarkImagesByColourAndShape)
{
    in_gui_child([] {
        device_defaults();
        stDevStatus.s8BallisticReticleColor = 3;
        stDevStatus.s8BallisticReticle = 1;
        stDevStatus.s8ReticleColour = 4;
        open_home();
        EXPECT_EQ(node("image_ballistic_reticle").image, "reticle_cross_red.png");
        EXPECT_EQ(node("image_reticle_range").image, "LRF_reticle_red"); /* ballistics on */
        EXPECT_NE(node("view_pip_reticle_2_2").overrides.find("normal:border_color=#ff1100ff"), std::string::npos)
            << node("view_pip_reticle_2_2").overrides;
        info[0].ballistics_sw = 0;
        deliver(report(22, 0, 0, {0}));
        EXPECT_EQ(node("image_reticle_range").image, "LRF_reticle_blue");
    });
}

/* The rectangle of a widget on the screen. */
rect_t screen_rect(widget_t *w)
{
    rect_t r = rect_init(0, 0, w->w, w->h);
    for (widget_t *p = w; p != nullptr; p = p->parent) {
        r.x += p->x;
        r.y += p->y;
    }
    return r;
}

/* In black hot the sky is white: the status bar's white figures and icons
 * and the compass scale must stand out from it. The screen is laid over a
 * white picture (its colours are premultiplied by their alpha) and each
 * widget's lightest and darkest pixels must differ by a good part of the
 * range. */
TEST(HomePage, StatusBarAndCompassStayReadableOverAWhiteSky)
{
    in_gui_child([] {
        device_defaults();
        stDevStatus.s8CompassSwitch = 1;
        open_home();
        awtk_test_step(100);
        ASSERT_EQ(awtk_host_render(), RET_OK);
        wh_t w = 0, h = 0;
        const uint8_t *fb = awtk_host_framebuffer(&w, &h);
        ASSERT_NE(fb, nullptr);
        for (const char *name : {"label_zoom_value", "label_group_value", "lable_QZ_battery_value", "image_QZ_colormap",
                                 "label_azimuth", "azimuth_scale", "label_pitch"}) {
            widget_t *wd = widget_lookup(home(), name, TRUE);
            ASSERT_NE(wd, nullptr) << name;
            rect_t r = screen_rect(wd);
            int lightest = 0, darkest = 255;
            for (int y = r.y < 0 ? 0 : r.y; y < r.y + r.h && y < h; y++) {
                for (int x = r.x < 0 ? 0 : r.x; x < r.x + r.w && x < w; x++) {
                    const uint8_t *p = fb + ((size_t)y * w + x) * 4;
                    int sum = 0;
                    for (int c = 0; c < 3; c++) sum += p[c] + (255 - p[3]);
                    lightest = sum / 3 > lightest ? sum / 3 : lightest;
                    darkest = sum / 3 < darkest ? sum / 3 : darkest;
                }
            }
            EXPECT_GE(lightest - darkest, 96) << name << " over white: " << darkest << ".." << lightest;
        }
    });
}

/* The inset's zoom stands clear of the inset's frame lines. */
TEST(HomePage, PictureInPictureZoomStandsClearOfTheFrame)
{
    in_gui_child([] {
        device_defaults();
        stDevStatus.s8VideoMode = 3;
        open_home();
        rect_t frame = screen_rect(widget_lookup(home(), "view_pip_border", TRUE));
        rect_t label = screen_rect(widget_lookup(home(), "label_PIP_zoom_value", TRUE));
        const int clear = 6; /* the 2-pixel line and a margin */
        bool inside = label.x >= frame.x + clear && label.x + label.w <= frame.x + frame.w - clear &&
                      label.y >= frame.y + clear && label.y + label.h <= frame.y + frame.h - clear;
        bool outside = label.x >= frame.x + frame.w || label.x + label.w <= frame.x || label.y >= frame.y + frame.h ||
                       label.y + label.h <= frame.y;
        EXPECT_TRUE(inside || outside) << node("label_PIP_zoom_value").rect << " against "
                                       << node("view_pip_border").rect;
        EXPECT_EQ(page_screenshot::clipped(home()), "");
    });
}

/* ---- range ---- */

TEST(HomePage, RangeResultsAndTheTargetChoice)
{
    in_gui_child([] {
        device_defaults();
        start_queues();
        open_home();
        sent_frames();
        deliver(lrf_result(0, 0, 0, {5234}));
        EXPECT_EQ(node("label_RngeValue").text, "523.4 m");
        EXPECT_FALSE(node("vesk_range_multi").visible);

        /* Several targets: the others are listed. */
        deliver(lrf_result(0, 1, 1, {1500, 2250, 4010}));
        EXPECT_EQ(node("label_RngeValue").text, "150.0 m");
        EXPECT_EQ(node("label_vesk_range_2").text, "225.0 m");
        EXPECT_EQ(node("label_vesk_range_3").text, "401.0 m");
        EXPECT_TRUE(node("vesk_range_multi").visible);
        EXPECT_TRUE(sent_frames().empty());

        /* A failed measurement resets the read-out. */
        deliver(lrf_result(1, 0, 0, {}));
        EXPECT_EQ(node("label_RngeValue").text, "---- m");
        EXPECT_FALSE(node("vesk_range_multi").visible);

        /* Multiple-target mode with ballistics on: one target is accepted at
         * once, three open the choice. */
        deliver(lrf_result(0, 0, 3, {5234}));
        std::vector<bytes> sent = sent_frames();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(hex(sent[0]), hex(frame(4, 9, 0xFF, 0, {0, 0x02, 0x0B, 4})));
        EXPECT_EQ(top_name(), VESK_HOME_PAGE);
        deliver(lrf_result(0, 0x81, 3, {1500, 2250, 4010}));
        EXPECT_EQ(top_name(), "vesk_lrf_select");
    });
}

/* After the shooter chose the second of three targets, the read-out shows
 * the distance the new hold-over was solved for, as the ballistic box does,
 * and the box of the other targets lists the two left. */
TEST(HomePage, ChosenTargetIsTheDistanceTheReadOutShows)
{
    in_gui_child([] {
        device_defaults();
        start_queues();
        open_home();
        deliver(ballistic_result(1.0f, 0, 100));
        sent_frames();
        deliver(lrf_result(0, 0, 3, {1200, 3000, 5000}));
        ASSERT_EQ(top_name(), "vesk_lrf_select");
        EXPECT_EQ(node("label_RngeValue").text, "120.0 m");
        press('5');
        press(',');
        std::vector<bytes> sent = sent_frames();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(hex(sent[0]), hex(frame(4, 9, 0xFF, 0, {1, 0x01, 0x2C, 0})));
        EXPECT_EQ(top_name(), VESK_HOME_PAGE);

        /* sightd solves for 300 m. */
        deliver(ballistic_result(5.2f, 0.3f, 300.0f));
        EXPECT_EQ(node("label_distance_ballistic").text, "300.0m");
        EXPECT_EQ(node("label_RngeValue").text, "300.0 m");
        EXPECT_EQ(node("label_vesk_range_2").text, "120.0 m");
        EXPECT_EQ(node("label_vesk_range_3").text, "500.0 m");

        /* A hold for a distance that is none of the targets (the profile's
         * own) leaves the read-out on the measured one. */
        deliver(ballistic_result(5.2f, 0.3f, 250.0f));
        EXPECT_EQ(node("label_RngeValue").text, "300.0 m");

        /* A new measurement starts from its first target again. */
        deliver(lrf_result(0, 0, 1, {4321, 6000}));
        EXPECT_EQ(node("label_RngeValue").text, "432.1 m");
        EXPECT_EQ(node("label_vesk_range_2").text, "600.0 m");
        EXPECT_EQ(node("label_vesk_range_3").text, "");
    });
}

/* ---- keys ---- */

struct KeyCase {
    const char *what;
    uint32_t key;
    void (*setup)();
    std::vector<bytes> frames;
    const char *top;
};

bytes tap(uint8_t operation)
{
    bytes p(25, 0);
    p[0] = operation;
    return frame(23, 1, 0, 0, p);
}

const KeyCase KEY_CASES[] = {
    {"reticle colour", '3', [] { stDevStatus.s8ReticleColour = 2; }, {frame(22, 0, 0xFF, 0, {3})}, VESK_HOME_PAGE},
    {"reticle colour wraps",
     '3',
     [] { stDevStatus.s8ReticleColour = 5; },
     {frame(22, 0, 0xFF, 0, {0})},
     VESK_HOME_PAGE},
    {"palette wraps", '5', [] { stDevStatus.s8IrPolarity = 4; }, {frame(1, 1, 4, 0, {0, 0})}, VESK_HOME_PAGE},
    {"screen off", '1', [] {}, {frame(0, 0, 14, 0, {1})}, VESK_HOME_PAGE},
    {"screen stays on while scanning", '1', [] { stUIStatus.s8RangeMode = 3; }, {}, VESK_HOME_PAGE},
    {"brightness wraps", ']', [] { stDevStatus.s8ScreenBrightness = 10; }, {frame(0, 0, 7, 0, {1})}, VESK_HOME_PAGE},
    {"brightness from 0", ']', [] { stDevStatus.s8ScreenBrightness = 0; }, {frame(0, 0, 7, 0, {1})}, VESK_HOME_PAGE},
    {"shutter correction", '>', [] {}, {frame(1, 15, 0, 0, {1, 0})}, VESK_HOME_PAGE},
    {"single range", 'a', [] {}, {frame(4, 0, 0xFF, 0, {1})}, VESK_HOME_PAGE},
    {"range accepts a scan", 'a', [] { stUIStatus.s8RangeMode = 3; }, {frame(4, 0, 0xFF, 0, {4})}, VESK_HOME_PAGE},
    {"range hidden", 'a', [] { press('A'); }, {}, VESK_HOME_PAGE},
    {"scan", 'b', [] {}, {frame(4, 0, 0xFF, 0, {3})}, VESK_HOME_PAGE},
    {"scan cancelled", 'b', [] { stUIStatus.s8RangeMode = 3; }, {frame(4, 0, 0xFF, 0, {0})}, VESK_HOME_PAGE},
    {"read-out hidden cancels a scan",
     'A',
     [] { stUIStatus.s8RangeMode = 3; },
     {frame(4, 0, 0xFF, 0, {0})},
     VESK_HOME_PAGE},
    {"read-out hidden", 'A', [] {}, {}, VESK_HOME_PAGE},
    {"photo", '[', [] {}, {tap(2)}, VESK_HOME_PAGE},
    {"record", '<', [] {}, {tap(0)}, VESK_HOME_PAGE},
    {"usb mode wraps", 'e', [] { stUIStatus.s8UsbMode = 2; }, {frame(0, 0, 18, 0, {0})}, VESK_HOME_PAGE},
    {"range mark during a scan",
     'c',
     [] { stUIStatus.s8RangeMode = 3; },
     {frame(27, 0, 0, 0, {0, 0, 0, 0})},
     "lrf_reticle_move"},
    {"range mark needs a scan", 'c', [] {}, {}, VESK_HOME_PAGE},
    {"quick menu", ',', [] {}, {}, "QZ_shortcut_menu"},
    {"main menu", '.', [] {}, {}, "main_menu"},
    {"ballistic quick menu", '6', [] {}, {}, "ballistic_quickmenu"},
    {"ballistic quick menu off", '6', [] { stDevStatus.s8ReticleMenuSwitch = 0; }, {}, VESK_HOME_PAGE},
    /* The settings menu asks sightd about the dynamic coefficient. */
    {"ballistic settings", '7', [] {}, {frame(0, 0, 43, 0, {0xFF})}, "ballistic_setting_menu"},
    {"ballistic settings off", '7', [] { stDevStatus.s8ReticleMenuSwitch = 0; }, {}, VESK_HOME_PAGE},
    {"screen off ignores others", ',', [] { stDevStatus.s8ScreenOff = 1; }, {}, VESK_HOME_PAGE},
    {"recovery ignores keys", '3', [] { vesk_non_operational = 1; }, {}, VESK_HOME_PAGE},
    {"unlisted key", 'x', [] {}, {}, VESK_HOME_PAGE},
};

class HomeKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(HomeKeys, SendsTheFramesOfItsAction)
{
    const KeyCase &c = GetParam();
    in_gui_child([&] {
        device_defaults();
        open_home_on_queues();
        c.setup();
        press(c.key);
        std::vector<bytes> sent = sent_frames();
        ASSERT_EQ(sent.size(), c.frames.size()) << c.what;
        for (size_t i = 0; i < sent.size(); i++) EXPECT_EQ(hex(sent[i]), hex(c.frames[i])) << c.what;
        EXPECT_EQ(top_name(), c.top) << c.what;
    });
}

/* The row by its name, not its bytes (ctest shows it in the test's name). */
void PrintTo(const KeyCase &c, std::ostream *os) { *os << c.what; }

INSTANTIATE_TEST_SUITE_P(EveryKey, HomeKeys, ::testing::ValuesIn(KEY_CASES),
                         [](const ::testing::TestParamInfo<KeyCase> &info) {
                             std::string name;
                             for (const char *p = info.param.what; *p; p++)
                                 name += isalnum((unsigned char)*p) ? *p : '_';
                             return name;
                         });

TEST(HomePage, VideoModeKeyTogglesPictureInPicture)
{
    in_gui_child([] {
        device_defaults();
        open_home_on_queues();
        press('4');
        awtk_test_step(100); /* the sender waits for the media process */
        std::vector<bytes> sent = sent_frames();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(hex(sent[0]), hex(frame(0, 0, 0, 0, {3})));
        EXPECT_TRUE(node("view_pip_border").visible);
        press('4');
        awtk_test_step(100);
        sent = sent_frames();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(hex(sent[0]), hex(frame(0, 0, 0, 0, {0})));
    });
}

TEST(HomePage, RecordingClockRunsAndStops)
{
    in_gui_child([] {
        device_defaults();
        open_home_on_queues();
        press('<');
        EXPECT_TRUE(node("video_view").visible);
        EXPECT_EQ(stUIStatus.s8RecordingState, 1);
        awtk_test_step(61 * 1000 + 200);
        EXPECT_EQ(node("minute").text, "01");
        EXPECT_EQ(node("second").text, "01");
        EXPECT_EQ(node("hour").text, "00");
        press('<');
        EXPECT_FALSE(node("video_view").visible);
        EXPECT_EQ(stUIStatus.s8RecordingState, 0);
        std::vector<bytes> sent = sent_frames();
        ASSERT_GE(sent.size(), 2u);
        EXPECT_EQ(hex(sent.front()), hex(tap(0)));
        EXPECT_EQ(hex(sent.back()), hex(tap(1)));
    });
}

TEST(HomePage, RecordingEndsByItselfAfterEightHours)
{
    in_gui_child([] {
        device_defaults();
        open_home_on_queues();
        press('<');
        awtk_test_step(28799 * 1000);
        EXPECT_TRUE(node("video_view").visible);
        EXPECT_EQ(node("hour").text, "07");
        awtk_test_step(1400);
        EXPECT_FALSE(node("video_view").visible);
        EXPECT_EQ(stUIStatus.s8RecordingState, 0);
        std::vector<bytes> sent = sent_frames();
        ASSERT_EQ(sent.size(), 2u);
        EXPECT_EQ(hex(sent[1]), hex(tap(1)));
    });
}

TEST(HomePage, ScreenOffKeepsOnlyThePowerKey)
{
    in_gui_child([] {
        device_defaults();
        open_home();
        press('1');
        EXPECT_TRUE(node("view_standby").visible);
        press(',');
        EXPECT_EQ(top_name(), VESK_HOME_PAGE);
        press('1');
        EXPECT_FALSE(node("view_standby").visible);
        press(',');
        EXPECT_EQ(top_name(), "QZ_shortcut_menu");
    });
}

TEST(HomePage, ColourAndPaletteCycleBackToTheirStart)
{
    in_gui_child([] {
        device_defaults();
        stDevStatus.s8ReticleColour = 2;
        stDevStatus.s8IrPolarity = 1;
        open_home();
        for (int i = 0; i < 6; i++) press('3');
        EXPECT_EQ(stDevStatus.s8ReticleColour, 2);
        for (int i = 0; i < 5; i++) press('5');
        EXPECT_EQ(stDevStatus.s8IrPolarity, 1);
        EXPECT_EQ(node("image_QZ_colormap").image, "ic_status_blackhot_def");
    });
}

/* ---- lifecycle banners ---- */

const char *banner_key()
{
    widget_t *label = widget_lookup(home(), "vesk_label_save_error", TRUE);
    return label != nullptr && label->tr_text != nullptr ? label->tr_text : "";
}

bytes lifecycle(uint8_t reason, uint8_t outcome) { return report(0, 0, 42, {reason, outcome}); }

TEST(HomePage, LifecycleBannersAndRecovery)
{
    in_gui_child([] {
        device_defaults();
        open_home();
        deliver(lifecycle(1, 1));
        EXPECT_TRUE(node("vesk_label_save_error").visible);
        EXPECT_STREQ(banner_key(), "vesk_save_failed");
        awtk_test_step(5000);
        EXPECT_FALSE(node("vesk_label_save_error").visible);

        /* Powering off unsaved stays until another outcome replaces it. */
        deliver(lifecycle(1, 4));
        awtk_test_step(20000);
        EXPECT_TRUE(node("vesk_label_save_error").visible);

        /* Recovery: the box goes, keys are ignored, later banners too. */
        ASSERT_EQ(navigator_to("main_menu"), RET_OK);
        awtk_test_pump();
        deliver(lifecycle(5, 2));
        EXPECT_EQ(top_name(), VESK_HOME_PAGE);
        EXPECT_EQ(vesk_non_operational, 1);
        EXPECT_FALSE(node("view_ballistics").visible);
        deliver(lifecycle(1, 1));
        awtk_test_step(5000);
        EXPECT_TRUE(node("vesk_label_save_error").visible);
        EXPECT_STREQ(banner_key(), "vesk_recovery_required");
        press(',');
        EXPECT_EQ(top_name(), VESK_HOME_PAGE);
    });
}

TEST(HomePage, RecoveryAwareWindowsStayUnlessEveryWindowMustGo)
{
    in_gui_child([] {
        device_defaults();
        open_home();
        ASSERT_EQ(navigator_to("shut_down_low_power"), RET_OK);
        awtk_test_pump();
        deliver(lifecycle(1, 3));
        EXPECT_EQ(top_name(), "shut_down_low_power");
        widget_dispatch_simple_event(window_manager(), EVT_USER_START + 78);
        awtk_test_pump();
        EXPECT_EQ(top_name(), VESK_HOME_PAGE);
        EXPECT_TRUE(node("vesk_label_save_error").visible);
    });
}

/* ---- compass and other icons ---- */

TEST(HomePage, CompassScalesFollowTheReports)
{
    in_gui_child([] {
        device_defaults();
        stDevStatus.s8CompassSwitch = 1;
        open_home();
        awtk_test_step(100);
        EXPECT_TRUE(node("compass_azimuth").visible);
        /* Azimuth 90.5: int16 90 and 5 tenths. */
        deliver(report(6, 0, 0, cat({{0}, le16(90), {5}})));
        EXPECT_EQ(node("label_azimuth").text, "90.5°");
        EXPECT_EQ(node("azimuth_scale").rect, "-431,0,1830,28");
        deliver(report(6, 0, 1, cat({{1}, le16(12), {3}})));
        EXPECT_EQ(node("label_pitch").text, "-12.3°");
        EXPECT_EQ(node("pitch_scale").rect, "0,-909,84,1892");
        /* Over a menu the compass hides. */
        ASSERT_EQ(navigator_to("main_menu"), RET_OK);
        awtk_test_step(100);
        EXPECT_FALSE(node("compass_azimuth").visible);
    });
}

/* The azimuth scale's labels are widgets over the tick strip: a label at
 * an edge of the window is shown whole or not at all (a cut "15" reads as
 * "5"), each stands centred on its tick (1220 pixels a turn, 0 degrees 365
 * pixels from the strip's left end), every tick whose label has room has
 * it, and the one at the pointer names the heading's nearest labelled
 * direction. */
TEST(HomePage, AzimuthScaleLabelsAreWholeAndCentredOnTheirTicks)
{
    static const char *const en[] = {"N", "NE", "E", "SE", "S", "SW", "W", "NW"};
    static const char *const ru[] = {"С", "СВ", "В", "ЮВ", "Ю", "ЮЗ", "З", "СЗ"};
    struct Row {
        int degrees, tenths, language;
        const char *at_pointer;
    } rows[] = {{0, 0, 0, "N"}, {87, 0, 0, "E"}, {180, 0, 0, "S"}, {359, 9, 0, "N"}, {87, 0, 2, "В"}};
    for (const Row &row : rows) {
        in_gui_child([&] {
            device_defaults();
            stDevStatus.s8CompassSwitch = 1;
            stDevStatus.s8Language = (char)row.language;
            open_home();
            awtk_test_step(100);
            deliver(report(6, 0, 0, cat({{0}, le16((uint16_t)row.degrees), {(uint8_t)row.tenths}})));
            double heading = row.degrees + row.tenths / 10.0;
            char at[32];
            snprintf(at, sizeof at, "%.1f%s", heading, row.language == 2 ? " ru" : "");
            widget_t *view = widget_lookup(home(), "compass_azimuth", TRUE);
            widget_t *strip = widget_lookup(home(), "azimuth_scale", TRUE);
            widget_t *pointer = widget_lookup(home(), "azimuth_pointer", TRUE);
            ASSERT_TRUE(view != nullptr && strip != nullptr && pointer != nullptr);
            ASSERT_TRUE(view->visible);
            EXPECT_EQ(page_screenshot::clipped(view), "") << at;
            const char *const *directions = row.language == 2 ? ru : en;
            double px_per_degree = 1220 / 360.0, pointer_x = pointer->x + pointer->w / 2.0;
            std::map<int, std::string> shown; /* by tick x */
            std::string nearest;
            double nearest_off = 1e9;
            WIDGET_FOR_EACH_CHILD_BEGIN(view, w, i)
            if (!w->visible || w->name == nullptr || strncmp(w->name, "azimuth_label_", 14) != 0) continue;
            char text[16];
            widget_get_text_utf8(w, text, sizeof text);
            int label_degrees = -1;
            for (int d = 0; d < 8; d++)
                if (strcmp(text, directions[d]) == 0) label_degrees = d * 45;
            if (label_degrees < 0) {
                /* A number never stands where a direction belongs. */
                label_degrees = atoi(text);
                EXPECT_NE(label_degrees % 45, 0) << at << " \"" << text << "\"";
            }
            EXPECT_EQ(label_degrees % 15, 0) << at << " \"" << text << "\"";
            /* The tick of that label nearest the heading, on the strip. */
            double off = fmod(label_degrees - heading + 540, 360) - 180;
            double tick = strip->x + 365 + (heading + off) * px_per_degree;
            EXPECT_GE(w->x, 0) << at << " \"" << text << "\"";
            EXPECT_LE(w->x + w->w, view->w) << at << " \"" << text << "\"";
            EXPECT_NEAR(w->x + w->w / 2.0, tick, 1.0) << at << " \"" << text << "\"";
            shown[(int)lround(tick)] = text;
            if (fabs(w->x + w->w / 2.0 - pointer_x) < nearest_off) {
                nearest_off = fabs(w->x + w->w / 2.0 - pointer_x);
                nearest = text;
            }
            WIDGET_FOR_EACH_CHILD_END();
            EXPECT_EQ(nearest, row.at_pointer) << at;
            /* Every tick with room for the widest label ("255", under 30
             * pixels) carries its label. */
            for (int d = (int)heading - 90; d <= (int)heading + 90; d++) {
                if (((d % 15) + 15) % 15 != 0) continue;
                int tick = (int)lround(strip->x + 365 + d * px_per_degree);
                if (tick < 15 || tick > view->w - 15) continue;
                bool found = false;
                for (int dx = -1; dx <= 1; dx++) found = found || shown.count(tick + dx) != 0;
                EXPECT_TRUE(found) << at << ": no label at " << d << " (x " << tick << ")";
            }
        });
    }
}

TEST(HomePage, InitShowsTheDevicesStateAndAsksForACalculation)
{
    in_gui_child([] {
        device_defaults();
        stDevStatus.s8IrPolarity = 2;
        stDevStatus.s8IrEnchance = 1;
        stDevStatus.s8WiFiSwitch = 1;
        stDevStatus.s8MicroSwitch = 1;
        stDevStatus.s8AutoShutter = 1;
        stDevStatus.s8ReticleBrightness = 1;
        start_queues();
        open_home();
        EXPECT_EQ(node("image_QZ_colormap").image, "ic_status_redhot_def");
        EXPECT_TRUE(node("image_QZ_enchane").visible);
        EXPECT_TRUE(node("image_QZ_wifi").visible);
        EXPECT_TRUE(node("image_QZ_mic").visible);
        EXPECT_TRUE(node("image_QZ_shutter").visible);
        EXPECT_EQ(node("general_reticle").opacity, 100);
        std::vector<bytes> sent = sent_frames();
        ASSERT_EQ(sent.size(), 2u);
        EXPECT_EQ(hex(sent[0]), hex(frame(27, 0, 1, 0, {1, 0, 0, 0})));
        EXPECT_EQ(hex(sent[1]), hex(frame(4, 8, 0xFF, 0, {0, 0, 0, 0})));
        EXPECT_EQ(stDevStatus.s8DistanceUint, 0);
    });
}

/* ---- helpers ---- */

TEST(HomeHelpers, FloatTextLosesTheSignOfMinusZeroOnly)
{
    struct Row {
        const char *format;
        double value;
        const char *text;
    } rows[] = {{"%.1f", -0.04, "0.0"},   {"%.2f", -0.05, "-0.05"},   {"%.1f", -0.0, "0.0"},
                {"%.02f", -1.0, "-1.00"}, {"%.1f m", -0.01, "0.0 m"}, {"%.1f", 12.25, "12.2"}};
    for (const Row &r : rows) {
        char buf[32];
        int n = tk_snprintf_float(buf, sizeof buf, r.format, r.value);
        EXPECT_STREQ(buf, r.text) << r.format << " " << r.value;
        EXPECT_EQ(n, (int)strlen(r.text));
    }
    char small[4];
    EXPECT_EQ(tk_snprintf_float(small, sizeof small, "%.2f", -123.456), 3);
    EXPECT_STREQ(small, "-12");
    EXPECT_EQ(tk_snprintf_float(small, sizeof small, "%.2f", -0.001), 2);
    EXPECT_STREQ(small, "0.");
}

TEST(HomeHelpers, MarkPositionsAndDecimals)
{
    int x = 0, y = 0;
    EXPECT_EQ(Set_ZoomRangeMove(&x, &y, 700, 600, 650, 630, 2.0f), 1);
    EXPECT_EQ(x, 743);
    EXPECT_EQ(y, 563);
    EXPECT_EQ(Set_ZoomRangeMove(&x, &y, 0, 0, 0, 0, 1.0f), -1);
    EXPECT_EQ(x, -7);
    /* Halves round away from zero. */
    EXPECT_EQ(Set_ZoomBallisticMove(&x, &y, 639, 639, 1.0f, 2.5f, -2.5f, 0, 0), 1);
    EXPECT_EQ(x, 639 + 3 - 7);
    EXPECT_EQ(y, 639 - 3 - 7);
    EXPECT_EQ(Set_ZoomBallisticMove(&x, &y, 5, 5, 1.0f, -10, 0, 0, 0), -1);
    EXPECT_EQ(Set_Zoom_Pip_BallisticMove(&x, &y, 10, -5, 1.5f), 1);
    EXPECT_EQ(x, 639 + 30 - 19);
    EXPECT_EQ(y, 235 - 15 - 19);
    EXPECT_FLOAT_EQ(Keep_decimal_place(3.12f), 3.1f);
    EXPECT_FLOAT_EQ(Keep_decimal_place(3.15f), 3.2f);
}

} // namespace
