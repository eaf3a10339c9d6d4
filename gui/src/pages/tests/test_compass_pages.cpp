// The compass pages: the switch and the shot angle, the links that switch
// the compass on and stop ranging, the two calibration stages and every
// way out of them, the declination editor, the level page, and the screens.
#include "image_pages_test.h"

#include "main_menu.h"

using namespace image_pages_test;

namespace {

/* As the main menu opens it (row 1), or as the pages below return to it. */
void open_compass(int32_t row)
{
    boot_to_home();
    compass_menu_index = 1;
    menu_test::open("compass_menu", row == 1 ? 0 : (intptr_t)row);
    ASSERT_EQ(top(), "compass_menu");
    sent();
}

const request angle_zero = {27, 7, 1, 0};
const request compass_on = {0, 0, 33, 1};
const request compass_off = {0, 0, 33, 0};

request correct(int step) { return {6, 6, 0, step}; }

} // namespace

TEST(CompassMenu, TheSwitchZeroesTheShotAngleFirstWhenItMatters)
{
    struct Case {
        int from, ballistics;
        std::vector<request> want;
    } cases[] = {
        {0, 0, {angle_zero, compass_on}},
        {0, 1, {angle_zero, compass_on}},
        {1, 1, {angle_zero, compass_off}},
        {1, 0, {compass_off}},
    };
    for (const Case &c : cases) {
        in_gui_child([&] {
            stDevStatus.s8CompassSwitch = (char)c.from;
            info[0].ballistics_sw = (char)c.ballistics;
            info[0].target.shootingAngle = 12.5;
            open_compass(1);
            press('[');
            EXPECT_EQ(stDevStatus.s8CompassSwitch, c.from ? 0 : 1);
            EXPECT_EQ(sent(), c.want) << c.from << " " << c.ballistics;
            EXPECT_EQ(info[0].target.shootingAngle, c.want.size() == 2 ? 0.0 : 12.5);
            EXPECT_EQ(node("label_compass_Switch_State").text, c.from ? "OFF" : "ON");
        });
    }
}

TEST(CompassMenu, LinksSwitchTheCompassOnAndCalibrationStopsRanging)
{
    struct Case {
        int32_t row;
        char key;
        int compass, range_mode;
        const char *top;
        std::vector<request> want;
    } cases[] = {
        {2, ',', 0, 3, "compass_correction", {compass_on, {4, 0, 0xFF, 0}, correct(0)}},
        {2, ']', 1, 0, "compass_correction", {correct(0)}},
        {2, '[', 0, 3, "compass_menu", {}},
        {3, ',', 0, 3, "magnetic_declination", {compass_on}},
        {3, '[', 1, 0, "compass_menu", {}},
    };
    for (const Case &c : cases) {
        in_gui_child([&] {
            stDevStatus.s8CompassSwitch = (char)c.compass;
            stUIStatus.s8RangeMode = (char)c.range_mode;
            open_compass(c.row);
            press((uint32_t)c.key);
            EXPECT_EQ(top(), c.top) << c.row << c.key;
            EXPECT_EQ(sent(), c.want) << c.row << c.key;
        });
    }
}

TEST(CompassCorrection, WalksBothStagesAndEveryWayOutCancels)
{
    in_gui_child([] {
        stDevStatus.s8CompassSwitch = 1;
        open_compass(2);
        press(',');
        ASSERT_EQ(top(), "compass_correction");
        EXPECT_EQ(sent(), (std::vector<request>{correct(0)}));
        EXPECT_TRUE(node("view_level").visible);
        EXPECT_FALSE(node("view_vert").visible);
        press('5');
        press('[');
        EXPECT_TRUE(sent().empty());
        press(',');
        EXPECT_FALSE(node("view_level").visible);
        EXPECT_TRUE(node("view_vert").visible);
        EXPECT_EQ(sent(), (std::vector<request>{correct(1), correct(2)}));
        press(',');
        EXPECT_EQ(sent(), (std::vector<request>{correct(3)}));
        EXPECT_EQ(top(), "compass_menu");
        EXPECT_EQ(compass_menu_index, 2);
        EXPECT_EQ(field("view_compass_sel", "rect"), "0,56,364,56");
    });
    for (char out : {'.', '1'}) {
        in_gui_child([&] {
            stDevStatus.s8CompassSwitch = 1;
            open_compass(2);
            press(',');
            press(',');
            sent();
            press((uint32_t)out);
            EXPECT_EQ(sent(), (std::vector<request>{correct(4)})) << out;
            EXPECT_EQ(top(), out == '.' ? "compass_menu" : "QZ_home_page_1");
            if (out == '.') {
                EXPECT_EQ(compass_menu_index, 2);
            }
        });
    }
}

TEST(CompassLevel, TheHorizontalStageLeadsOnToTheVerticalOne)
{
    in_gui_child([] {
        stDevStatus.s8VideoMode = 3;
        boot_to_home();
        open("compass_level");
        EXPECT_TRUE(node("view_pip_border").visible);
        EXPECT_EQ(sent(), (std::vector<request>{correct(0)}));
        press(',');
        EXPECT_EQ(top(), "compass_correction");
        EXPECT_EQ(sent(), (std::vector<request>{correct(1), correct(2)}));
        EXPECT_TRUE(node("view_vert").visible);
        press(',');
        EXPECT_EQ(sent(), (std::vector<request>{correct(3)}));
        EXPECT_EQ(top(), "compass_menu");
    });
    in_gui_child([] {
        boot_to_home();
        open("compass_level");
        EXPECT_FALSE(node("view_pip_border").visible);
        sent();
        press('1');
        EXPECT_EQ(sent(), (std::vector<request>{correct(4)}));
        EXPECT_EQ(top(), "QZ_home_page_1");
    });
}

TEST(MagneticDeclination, EditsSignAndDigitsAndEveryWayOutSaves)
{
    struct Case {
        int stored;
        const char *keys;
        char out;
        int saved;
        const char *shown; /* sign and digits at opening */
    } cases[] = {
        {-125, "]5", ',', -25, "-125"},  {0, "", '.', 0, "-000"},     {35, "3", '1', -35, "+035"},
        {999, "]3]3]3", ',', 0, "+999"}, {-7, "[5", '.', -6, "-007"}, {-7, "[[[[3", ',', 7, "-007"},
    };
    for (const Case &c : cases) {
        in_gui_child([&] {
            stDevStatus.s16CompassMagnetic = (short)c.stored;
            boot_to_home();
            open("magnetic_declination");
            sent();
            std::string shown = node("label_signal").text + node("label_number1").text + node("label_number2").text +
                                node("label_number3").text;
            EXPECT_EQ(shown, c.shown) << c.stored;
            press(c.keys);
            press((uint32_t)c.out);
            EXPECT_EQ(stDevStatus.s16CompassMagnetic, c.saved) << c.stored << " " << c.keys;
            int mag = c.saved < 0 ? -c.saved : c.saved;
            std::vector<sightui_test::bytes> frames = sightui_test::sent_frames();
            ASSERT_EQ(frames.size(), 1u);
            EXPECT_EQ(frames[0],
                      sightui_test::frame(6, 1, 0, 0x00,
                                          {(uint8_t)(c.saved < 0), (uint8_t)(mag / 10), 0, (uint8_t)(mag % 10)}));
            EXPECT_EQ(top(), c.out == '1' ? "QZ_home_page_1" : "compass_menu");
            if (c.out != '1') {
                EXPECT_EQ(compass_menu_index, 3);
            }
        });
    }
}

TEST(MagneticDeclination, TheCursorCarriesTheHighlightAndTheSteppers)
{
    in_gui_child([] {
        stDevStatus.s16CompassMagnetic = 52;
        boot_to_home();
        open("magnetic_declination");
        EXPECT_EQ(field("view_sel", "rect"), "256,204,30,50");
        EXPECT_EQ(field("label_signal", "style"), "00E6BB_36_Regular_center");
        press('[');
        EXPECT_EQ(field("view_sel", "rect"), "364,204,30,50");
        EXPECT_EQ(field("view_arrow", "rect"), "367,177,20,104");
        EXPECT_EQ(field("label_number3", "style"), "00E6BB_36_Regular_center");
        EXPECT_EQ(field("label_signal", "style"), "FFFFFF_36_Regular_center");
        press('3');
        EXPECT_EQ(node("image_arrow_up").image, "ic_stepper2_up_sel");
        EXPECT_EQ(node("label_number3").text, "3");
        press('5');
        EXPECT_EQ(node("image_arrow_up").image, "ic_stepper2_up_def");
        EXPECT_EQ(node("image_arrow_down").image, "ic_stepper2_down_sel");
        press(']');
        EXPECT_EQ(node("image_arrow_down").image, "ic_stepper2_down_def");
        EXPECT_EQ(field("view_sel", "rect"), "256,204,30,50");
    });
}

TEST(CompassPages, Screens)
{
    struct Shot {
        const char *window, *name;
        int32_t row;
    } shots[] = {{"compass_menu", "compass_menu_switch", 1},
                 {"compass_menu", "compass_menu_declination", 3},
                 {"compass_correction", "compass_correction_level", 0},
                 {"magnetic_declination", "magnetic_declination", 0},
                 {"compass_level", "compass_level", 0}};
    for (const Shot &s : shots) {
        in_gui_child([&] {
            stDevStatus.s8CompassSwitch = 1;
            stDevStatus.s16CompassMagnetic = -125;
            if (s.row != 0) {
                open_compass(s.row);
            } else {
                boot_to_home();
                open(s.window);
            }
            expect_resolved(s.window);
            EXPECT_TRUE(page_screenshot::matches(s.name));
        });
    }
}
