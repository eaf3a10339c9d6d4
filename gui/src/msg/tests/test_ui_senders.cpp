// Every sender's exact bytes on queue 54321 and the user events it raises,
// read back from the mirror values a page would have written first.
#include <gtest/gtest.h>
#include <sys/ipc.h>
#include <sys/msg.h>

#include <functional>
#include <thread>

#include "awtk_host.h"
#include "navigator.h"
#include "qel_msg.h"
#include "sightui_test.h"
#include "ui_senders.h"
#include "ui_status.h"
#include "vesk_debug_gui.h"
#include "vesk_dynamic_bc_gui.h"
#include "vesk_frame.h"
#include "vesk_lrf_ui.h"

using namespace sightui_test;

namespace {

struct SenderRow {
    const char *name;
    std::function<void()> setup;
    std::function<void()> send;
    std::vector<std::string> frames;
    std::vector<int> events;
};

/* Group 3 current, its zero slot 1 current and set. */
void set_current_zero()
{
    IR_Cursor.u8CurrentGroup = 3;
    IR_Cursor.group[3].u8CurrentZero = 1;
    Qel_Cursor_Zero *z = &IR_Cursor.group[3].zero[1];
    z->s8IrCursorCurrentX = 639;
    z->s8IrCursorCurrentY = 512;
    z->u16IrCursorDistance = 100;
    z->u16IrCursorDistanceYD = 109;
    z->flIrCursorOffsetX = 1.5f;
    z->flIrCursorOffsetY = -0.25f;
}

/* Group 2 current; its profile and profile 0 hold different values, so a
 * frame shows which of the two the sender read. */
void set_ballistic_profiles()
{
    IR_Cursor.u8CurrentGroup = 2;
    Info_ballistics *g = &info[2], *c = &info[0];
    g->gun.bullet.length = 1.25;
    g->gun.bullet.diameter = 0.308;
    g->gun.bullet.weight = 175;
    g->gun.bullet.ballisticsCoef = 0.505;
    g->gun.bullet.dragFunction = 7;
    g->gun.bullet.velocity = 800;
    g->gun.riflingRange = 10;
    g->gun.direction = RIGHT;
    g->gun.bullet.isOpenAtmosphere = 1;
    g->gun.bullet.atmosphere.temperature = 15;
    g->gun.bullet.atmosphere.barometer = 1013;
    g->gun.bullet.atmosphere.relative_humidity = 50;
    g->gun.bullet.zeroOffsetUnit = MRAD;
    g->gun.bullet.zeroOffsetVerticalMOA = 1.5;
    g->gun.bullet.zeroOffsetHorizontalMOA = -2;
    g->gun.bullet.zeroOffsetVerticalMRAD = 0.25;
    g->gun.bullet.zeroOffsetHorizontalMRAD = -0.5;
    g->gun.scope.sightHeightOverBore = 1.5;
    g->gun.scope.zeroRange = 100;
    g->gun.scope.zeroRange_yard = 109;
    c->atmosphere.temperature = -5;
    c->atmosphere.barometer = 990;
    c->atmosphere.relative_humidity = 80;
    c->wind.angle = 90;
    c->wind.speed = 3.5;
    g->wind.angle = 45;
    g->wind.speed = 9;
    c->target.range = 300;
    c->target.range_yard = 328;
    c->target.shootingAngle = -5;
    c->corioliseffect.CoriolisEffectSwitch = 1;
    c->corioliseffect.lat = 45.5;
    c->corioliseffect.angle = 30;
    c->spinDriftOpt = 1;
    c->ballistics_sw = 1;
    g->ballistics_sw = 0;
    stDevStatus.s8BallisticReticle = 3;
    stDevStatus.s8BallisticReticleColor = 2;
}

const std::vector<SenderRow> &sender_rows()
{
    static const std::vector<SenderRow> rows = {
        {"basic_concise",
         [] { stDevStatus.s8ConciseMode = 2; },
         [] { GUI_SEND_BASIC_FUNCTION_MSG(6); },
         {"AA 07 00 00 06 00 02 B9 EB AA"},
         {}},
        {"basic_screen_light",
         [] { stDevStatus.s8ScreenBrightness = 3; },
         [] { GUI_SEND_BASIC_FUNCTION_MSG(7); },
         {"AA 07 00 00 07 00 03 BB EB AA"},
         {}},
        {"basic_video_out",
         [] { stDevStatus.s8VideoOut = 1; },
         [] { GUI_SEND_BASIC_FUNCTION_MSG(8); },
         {"AA 07 00 00 08 00 01 BA EB AA"},
         {}},
        {"basic_reset", [] {}, [] { GUI_SEND_BASIC_FUNCTION_MSG(11); }, {"AA 07 00 00 0B 00 01 BD EB AA"}, {}},
        {"basic_format", [] {}, [] { GUI_SEND_BASIC_FUNCTION_MSG(12); }, {"AA 07 00 00 0C 00 01 BE EB AA"}, {}},
        {"basic_auto_screen",
         [] { stDevStatus.s8ScreenOff = 4; },
         [] { GUI_SEND_BASIC_FUNCTION_MSG(14); },
         {"AA 07 00 00 0E 00 04 C3 EB AA"},
         {}},
        {"basic_language",
         [] { stDevStatus.s8Language = 5; },
         [] { GUI_SEND_BASIC_FUNCTION_MSG(16); },
         {"AA 07 00 00 10 00 05 C6 EB AA"},
         {}},
        {"basic_file_order",
         [] { stDevStatus.s8SortType = 1; },
         [] { GUI_SEND_BASIC_FUNCTION_MSG(17); },
         {"AA 07 00 00 11 00 01 C3 EB AA"},
         {}},
        {"basic_usb",
         [] { stUIStatus.s8UsbMode = 2; },
         [] { GUI_SEND_BASIC_FUNCTION_MSG(18); },
         {"AA 07 00 00 12 00 02 C5 EB AA"},
         {68}},
        {"basic_power_supply",
         [] { stUIStatus.s8PowerSwitch = 1; },
         [] { GUI_SEND_BASIC_FUNCTION_MSG(19); },
         {"AA 07 00 00 13 00 01 C5 EB AA"},
         {}},
        {"basic_use_mode",
         [] { stDevStatus.s8UseMode = 3; },
         [] { GUI_SEND_BASIC_FUNCTION_MSG(21); },
         {"AA 07 00 00 15 00 03 C9 EB AA"},
         {}},
        {"basic_laser",
         [] { stUIStatus.s8LaserSwitch = 1; },
         [] { GUI_SEND_BASIC_FUNCTION_MSG(22); },
         {"AA 07 00 00 16 00 01 C8 EB AA"},
         {37}},
        {"basic_fill_switch",
         [] { stDevStatus.s8FillLightSwitch = 1; },
         [] { GUI_SEND_BASIC_FUNCTION_MSG(23); },
         {"AA 07 00 00 17 00 01 C9 EB AA"},
         {}},
        {"basic_fill_light",
         [] { stDevStatus.s8FillLightBright = 6; },
         [] { GUI_SEND_BASIC_FUNCTION_MSG(24); },
         {"AA 07 00 00 18 00 06 CF EB AA"},
         {}},
        {"basic_micro",
         [] { stDevStatus.s8MicroSwitch = 1; },
         [] { GUI_SEND_BASIC_FUNCTION_MSG(26); },
         {"AA 07 00 00 1A 00 01 CC EB AA"},
         {53}},
        {"basic_range_laser_save",
         [] {},
         [] { GUI_SEND_BASIC_FUNCTION_MSG(30); },
         {"AA 07 00 1E FF 00 00 CE EB AA"},
         {}},
        {"basic_reboot", [] {}, [] { GUI_SEND_BASIC_FUNCTION_MSG(32); }, {"AA 07 00 00 20 00 01 D2 EB AA"}, {}},
        {"basic_compass",
         [] { stDevStatus.s8CompassSwitch = 1; },
         [] { GUI_SEND_BASIC_FUNCTION_MSG(33); },
         {"AA 07 00 00 21 00 01 D3 EB AA"},
         {36}},
        {"basic_wind",
         [] {
             stUIStatus.s8WindSwitch = 1;
             stUIStatus.s16WindSpeed = 9;
         },
         [] {
             GUI_SEND_BASIC_FUNCTION_MSG(34);
             EXPECT_EQ(stUIStatus.s16WindSpeed, 0);
         },
         {"AA 07 00 00 22 00 01 D4 EB AA"},
         {51}},
        {"basic_wind_count",
         [] { stUIStatus.s8WindCountSwitch = 1; },
         [] { GUI_SEND_BASIC_FUNCTION_MSG(35); },
         {"AA 07 00 00 23 00 01 D5 EB AA"},
         {51}},
        {"basic_range_type",
         [] { stDevStatus.s8RangeType = 2; },
         [] { GUI_SEND_BASIC_FUNCTION_MSG(36); },
         {"AA 07 00 00 24 00 02 D7 EB AA"},
         {}},
        {"basic_distance_unit",
         [] { stDevStatus.s8DistanceUint = 1; },
         [] { GUI_SEND_BASIC_FUNCTION_MSG(37); },
         {"AA 07 00 00 25 00 01 D7 EB AA"},
         {30}},
        {"basic_menu_level",
         [] { stUIStatus.s8CurrentMenu = 1; },
         [] { GUI_SEND_BASIC_FUNCTION_MSG(39); },
         {"AA 07 00 00 27 00 01 D9 EB AA"},
         {}},
        {"basic_auto_angle",
         [] { stDevStatus.s8CompassAutoAngleSwitch = 1; },
         [] { GUI_SEND_BASIC_FUNCTION_MSG(40); },
         {"AA 07 00 00 28 00 01 DA EB AA"},
         {}},
        {"basic_unlisted",
         [] {},
         [] {
             for (int item : {1, 2, 3, 4, 5, 9, 10, 13, 20, 25, 38, 41, 42, 43, 255}) GUI_SEND_BASIC_FUNCTION_MSG(item);
         },
         {},
         {}},
        {"shutdown_request", [] {}, [] { vesk_gui_request_shutdown(3); }, {"AA 07 00 00 0D 00 03 C1 EB AA"}, {}},
        {"debug_request", [] {}, [] { vesk_debug_gui_request(255); }, {"AA 07 00 00 29 00 FF D9 EB AA"}, {}},
        {"dynamic_bc_request", [] {}, [] { vesk_dynamic_bc_gui_request(1); }, {"AA 07 00 00 2B 00 01 DD EB AA"}, {}},
        {"ir_correct",
         [] { stDevStatus.s8CorrectType = 2; },
         [] { GUI_SEND_INFRARED_MSG(0); },
         {"AA 08 01 0F 00 00 02 00 C4 EB AA"},
         {49}},
        {"ir_correct_frozen",
         [] {
             stDevStatus.s8CorrectType = 1;
             stUIStatus.s8Irfreeze = 1;
         },
         [] { GUI_SEND_INFRARED_MSG(0); },
         {"AA 08 01 0F 00 00 01 00 C3 EB AA"},
         {49, 62}},
        {"ir_brightness",
         [] { stDevStatus.s8IrBrightness = 5; },
         [] { GUI_SEND_INFRARED_MSG(1); },
         {"AA 08 01 01 01 00 05 00 BA EB AA"},
         {}},
        {"ir_contrast",
         [] { stDevStatus.s8IrContrast = 6; },
         [] { GUI_SEND_INFRARED_MSG(2); },
         {"AA 08 01 01 02 00 06 00 BC EB AA"},
         {}},
        {"ir_enhance",
         [] { stDevStatus.s8IrEnchance = 2; },
         [] { GUI_SEND_INFRARED_MSG(3); },
         {"AA 08 01 01 03 00 02 00 B9 EB AA"},
         {}},
        {"ir_polarity",
         [] { stDevStatus.s8IrPolarity = 1; },
         [] { GUI_SEND_INFRARED_MSG(4); },
         {"AA 08 01 01 04 00 01 00 B9 EB AA"},
         {38}},
        {"ir_correct_type",
         [] { stDevStatus.s8CorrectType = 1; },
         [] { GUI_SEND_INFRARED_MSG(5); },
         {"AA 08 01 01 05 00 01 00 BA EB AA"},
         {}},
        {"ir_strong_light",
         [] { stDevStatus.s8Stronglight_protect = 1; },
         [] { GUI_SEND_INFRARED_MSG(8); },
         {"AA 08 01 01 08 00 01 00 BD EB AA"},
         {}},
        {"ir_scene",
         [] { stDevStatus.s8IrScene = 3; },
         [] { GUI_SEND_INFRARED_MSG(9); },
         {"AA 08 01 01 09 00 03 00 C0 EB AA"},
         {}},
        {"ir_hot_track",
         [] { stDevStatus.s8HotTrack = 1; },
         [] { GUI_SEND_INFRARED_MSG(12); },
         {"AA 08 01 01 0C 00 01 00 C1 EB AA"},
         {}},
        {"ir_zoom",
         [] { stUIStatus.s8IRZoom = 0x0104; },
         [] { GUI_SEND_INFRARED_MSG(16); },
         {"AA 08 01 01 10 00 04 00 C8 EB AA"},
         {35, 56}},
        {"ir_unlisted",
         [] {},
         [] {
             for (int item : {6, 7, 11, 14, 15, 17}) GUI_SEND_INFRARED_MSG(item);
         },
         {},
         {}},
        {"range_switch",
         [] { stDevStatus.s8RangeSwitch = 0; },
         [] {
             GUI_SEND_DISTANCE_FUNCTION_MSG(0, 2);
             EXPECT_EQ(stDevStatus.s8RangeSwitch, 2);
         },
         {"AA 07 04 07 FF 00 02 BD EB AA"},
         {66, 50}},
        {"range_switch_3",
         [] { stDevStatus.s8RangeSwitch = 1; },
         [] {
             GUI_SEND_DISTANCE_FUNCTION_MSG(0, 3);
             EXPECT_EQ(stDevStatus.s8RangeSwitch, 1);
         },
         {"AA 07 04 07 FF 00 03 BE EB AA"},
         {66, 50}},
        {"range_continuous",
         [] {},
         [] {
             GUI_SEND_DISTANCE_FUNCTION_MSG(1, 3);
             EXPECT_EQ(stUIStatus.s8RangeMode, 3);
         },
         {"AA 07 04 00 FF 00 03 B7 EB AA"},
         {48}},
        {"range_stop",
         [] { stUIStatus.s8RangeMode = 3; },
         [] {
             GUI_SEND_DISTANCE_FUNCTION_MSG(1, 4);
             EXPECT_EQ(stUIStatus.s8RangeMode, 0);
         },
         {"AA 07 04 00 FF 00 04 B8 EB AA"},
         {48}},
        {"range_single",
         [] {},
         [] {
             GUI_SEND_DISTANCE_FUNCTION_MSG(1, 1);
             EXPECT_EQ(stUIStatus.s8RangeMode, 1);
         },
         {"AA 07 04 00 FF 00 01 B5 EB AA"},
         {}},
        {"reticle_colour",
         [] { stDevStatus.s8ReticleColour = 2; },
         [] { GUI_SEND_RETICLE_MSG(0); },
         {"AA 07 16 00 FF 00 02 C8 EB AA"},
         {42, 63, 60}},
        {"reticle_switch",
         [] { stDevStatus.s8ReticleSwitch = 1; },
         [] { GUI_SEND_RETICLE_MSG(1); },
         {"AA 07 16 01 FF 00 01 C8 EB AA"},
         {2}},
        {"reticle_type",
         [] { stDevStatus.s8ReticleType = 3; },
         [] { GUI_SEND_RETICLE_MSG(2); },
         {"AA 07 16 02 FF 00 03 CB EB AA"},
         {46, 35}},
        {"reticle_menu_switch",
         [] { stDevStatus.s8ReticleMenuSwitch = 1; },
         [] { GUI_SEND_RETICLE_MSG(4); },
         {"AA 07 16 04 FF 00 01 CB EB AA"},
         {25}},
        {"reticle_light",
         [] { stDevStatus.s8ReticleBrightness = 7; },
         [] { GUI_SEND_RETICLE_MSG(5); },
         {"AA 07 16 05 FF 00 07 D2 EB AA"},
         {43}},
        {"reticle_group",
         [] { IR_Cursor.u8CurrentGroup = 2; },
         [] { GUI_SEND_RETICLE_MSG(6); },
         {"AA 07 16 06 FF 00 02 CE EB AA"},
         {52, 35, 48}},
        {"reticle_zero",
         [] {
             IR_Cursor.u8CurrentGroup = 2;
             IR_Cursor.group[2].u8CurrentZero = 1;
         },
         [] { GUI_SEND_RETICLE_MSG(7); },
         {"AA 07 16 07 FF 00 01 CE EB AA"},
         {52, 35}},
        {"laser_mark_colour",
         [] {
             stUIStatus.s8ReticleTypeColorChoose = 3;
             stDevStatus.s8LaserReticleColor = 4;
             stDevStatus.s8LaserReticleType = 5;
         },
         [] { GUI_SEND_RETICLE_MSG(8); },
         {"AA 07 16 08 03 00 04 D6 EB AA"},
         {65}},
        {"laser_mark_type",
         [] {
             stUIStatus.s8ReticleTypeColorChoose = 1;
             stDevStatus.s8LaserReticleColor = 4;
             stDevStatus.s8LaserReticleType = 5;
         },
         [] { GUI_SEND_RETICLE_MSG(8); },
         {"AA 07 16 08 01 00 05 D5 EB AA"},
         {65}},
        {"range_mark_colour",
         [] {
             stUIStatus.s8ReticleTypeColorChoose = 3;
             stDevStatus.s8RangeReticleColor = 2;
             stDevStatus.s8RangeReticleType = 6;
         },
         [] { GUI_SEND_RETICLE_MSG(9); },
         {"AA 07 16 09 03 00 02 D5 EB AA"},
         {64}},
        {"range_mark_type",
         [] {
             stUIStatus.s8ReticleTypeColorChoose = 0;
             stDevStatus.s8RangeReticleColor = 2;
             stDevStatus.s8RangeReticleType = 6;
         },
         [] { GUI_SEND_RETICLE_MSG(9); },
         {"AA 07 16 09 00 00 06 D6 EB AA"},
         {64}},
        {"reticle_enter_move",
         [] { stUIStatus.s8Enter_reticle_move = 1; },
         [] { GUI_SEND_RETICLE_MSG(11); },
         {"AA 07 16 0B FF 00 01 D2 EB AA"},
         {}},
        {"pip_mark",
         [] {
             stUIStatus.s8ReticleTypeColorChoose = 3;
             stDevStatus.s8PIPReticleColor = 5;
             stDevStatus.s8PIPReticleType = 1;
         },
         [] { GUI_SEND_RETICLE_MSG(12); },
         {"AA 07 16 0C 03 00 05 DB EB AA"},
         {}},
        {"reticle_unlisted",
         [] {},
         [] {
             for (int item : {3, 10, 13, 14, 254}) GUI_SEND_RETICLE_MSG(item);
         },
         {},
         {}},
        {"position_zero",
         set_current_zero,
         [] { GUI_SEND_RETICLE_POSITION_MSG(3); },
         {"AA 0A 16 03 FF 00 7F 02 00 02 4F EB AA"},
         {}},
        {"position_laser",
         [] {
             stDevStatus.s16LaserIndicatX = 700;
             stDevStatus.s16LaserIndicatY = 600;
         },
         [] { GUI_SEND_RETICLE_POSITION_MSG(8); },
         {"AA 0A 16 08 FF 00 BC 02 58 02 E9 EB AA"},
         {34, 35}},
        {"position_range_low",
         [] {
             stDevStatus.s16RangeOffsetX = -5;
             stDevStatus.s16RangeOffsetY = -20;
         },
         [] {
             GUI_SEND_RETICLE_POSITION_MSG(9);
             EXPECT_EQ(stDevStatus.s16RangeOffsetX, 0);
         },
         {"AA 0A 16 09 FF 00 00 00 EC FF BD EB AA"},
         {35}},
        {"position_range_high",
         [] {
             stDevStatus.s16RangeOffsetX = 1300;
             stDevStatus.s16RangeOffsetY = 2000;
         },
         [] {
             GUI_SEND_RETICLE_POSITION_MSG(9);
             EXPECT_EQ(stDevStatus.s16RangeOffsetX, 1280);
         },
         {"AA 0A 16 09 FF 00 00 05 D0 07 AE EB AA"},
         {35}},
        {"position_distance",
         set_current_zero,
         [] { GUI_SEND_RETICLE_POSITION_MSG(10); },
         {"AA 0A 16 0A FF 00 64 00 6D 00 A4 EB AA"},
         {52}},
        {"position_offset_x",
         set_current_zero,
         [] { GUI_SEND_RETICLE_POSITION_MSG(13); },
         {"AA 0A 16 0D FF 00 00 00 C0 3F D5 EB AA"},
         {31}},
        {"position_offset_y",
         set_current_zero,
         [] { GUI_SEND_RETICLE_POSITION_MSG(14); },
         {"AA 0A 16 0E FF 00 00 00 80 BE 15 EB AA"},
         {31}},
        {"position_back_zero_child", [] {}, [] { GUI_SEND_RETICLE_POSITION_MSG(254); }, {}, {47}},
        {"ballistic_switch",
         set_ballistic_profiles,
         [] { GUI_SEND_BALLISTIC_PARM_MSG(0, 0); },
         {"AA 0A 1B 00 00 00 01 00 00 00 D0 EB AA"},
         {48}},
        {"ballistic_calculate",
         set_ballistic_profiles,
         [] { GUI_SEND_BALLISTIC_PARM_MSG(0, 1); },
         {"AA 0A 1B 00 01 00 01 00 00 00 D1 EB AA"},
         {}},
        {"ballistic_reticle",
         set_ballistic_profiles,
         [] { GUI_SEND_BALLISTIC_PARM_MSG(0, 2); },
         {"AA 0A 1B 00 02 00 03 00 00 00 D4 EB AA"},
         {59}},
        {"ballistic_reticle_colour",
         set_ballistic_profiles,
         [] { GUI_SEND_BALLISTIC_PARM_MSG(0, 3); },
         {"AA 0A 1B 00 03 00 02 00 00 00 D4 EB AA"},
         {60, 63}},
        {"ballistic_open_unlisted",
         set_ballistic_profiles,
         [] { GUI_SEND_BALLISTIC_PARM_MSG(0, 9); },
         {"AA 0A 1B 00 09 00 00 00 00 00 D8 EB AA"},
         {}},
        {"bullet_of_current_group",
         set_ballistic_profiles,
         [] {
             for (int sub = 0; sub < 6; sub++) GUI_SEND_BALLISTIC_PARM_MSG(1, sub);
         },
         {"AA 0A 1B 01 00 00 00 00 A0 3F AF EB AA", "AA 0A 1B 01 01 00 2D B2 9D 3E 8B EB AA",
          "AA 0A 1B 01 02 00 00 00 2F 43 44 EB AA", "AA 0A 1B 01 03 00 AE 47 01 3F 08 EB AA",
          "AA 0A 1B 01 04 00 00 00 E0 40 F4 EB AA", "AA 0A 1B 01 05 00 00 00 48 44 61 EB AA"},
         {}},
        {"bullet_unlisted_repeats_last_float",
         set_ballistic_profiles,
         [] {
             GUI_SEND_BALLISTIC_PARM_MSG(1, 3);
             GUI_SEND_BALLISTIC_PARM_MSG(1, 9);
         },
         {"AA 0A 1B 01 03 00 AE 47 01 3F 08 EB AA", "AA 0A 1B 01 09 00 AE 47 01 3F 0E EB AA"},
         {}},
        {"twist",
         set_ballistic_profiles,
         [] {
             GUI_SEND_BALLISTIC_PARM_MSG(2, 0);
             GUI_SEND_BALLISTIC_PARM_MSG(2, 1);
         },
         {"AA 0A 1B 02 00 00 00 00 20 41 32 EB AA", "AA 0A 1B 02 01 00 01 00 00 00 D3 EB AA"},
         {}},
        {"zero_weather_and_offsets",
         set_ballistic_profiles,
         [] {
             for (int sub = 0; sub < 9; sub++) GUI_SEND_BALLISTIC_PARM_MSG(3, sub);
         },
         {"AA 0A 1B 03 00 00 01 00 00 00 D3 EB AA", "AA 0A 1B 03 01 00 00 00 70 41 84 EB AA",
          "AA 0A 1B 03 02 00 00 40 7D 44 D5 EB AA", "AA 0A 1B 03 03 00 00 00 48 42 5F EB AA",
          "AA 0A 1B 03 04 00 01 00 00 00 D7 EB AA", "AA 0A 1B 03 05 00 00 00 C0 3F D6 EB AA",
          "AA 0A 1B 03 06 00 00 00 00 C0 98 EB AA", "AA 0A 1B 03 07 00 00 00 80 3E 97 EB AA",
          "AA 0A 1B 03 08 00 00 00 00 BF 99 EB AA"},
         {}},
        {"shooting_weather_of_profile_0",
         set_ballistic_profiles,
         [] {
             for (int sub = 0; sub < 3; sub++) GUI_SEND_BALLISTIC_PARM_MSG(4, sub);
         },
         {"AA 0A 1B 04 00 00 00 00 A0 C0 33 EB AA", "AA 0A 1B 04 01 00 00 80 77 44 0F EB AA",
          "AA 0A 1B 04 02 00 00 00 A0 42 B7 EB AA"},
         {}},
        {"scope",
         set_ballistic_profiles,
         [] {
             GUI_SEND_BALLISTIC_PARM_MSG(5, 0);
             GUI_SEND_BALLISTIC_PARM_MSG(5, 1);
         },
         {"AA 0A 1B 05 00 00 00 00 C0 3F D3 EB AA", "AA 0A 1B 05 01 00 64 00 6D 00 A6 EB AA"},
         {52}},
        {"wind_of_profile_0",
         set_ballistic_profiles,
         [] {
             GUI_SEND_BALLISTIC_PARM_MSG(6, 0);
             GUI_SEND_BALLISTIC_PARM_MSG(6, 1);
         },
         {"AA 0A 1B 06 00 00 00 00 B4 42 CB EB AA", "AA 0A 1B 06 01 00 00 00 60 40 76 EB AA"},
         {}},
        {"target",
         set_ballistic_profiles,
         [] {
             GUI_SEND_BALLISTIC_PARM_MSG(7, 0);
             GUI_SEND_BALLISTIC_PARM_MSG(7, 1);
         },
         {"AA 0A 1B 07 00 00 2C 01 48 01 4C EB AA", "AA 0A 1B 07 01 00 00 00 A0 C0 37 EB AA"},
         {}},
        {"coriolis",
         set_ballistic_profiles,
         [] {
             for (int sub = 0; sub < 3; sub++) GUI_SEND_BALLISTIC_PARM_MSG(8, sub);
         },
         {"AA 0A 1B 08 00 00 01 00 00 00 D8 EB AA", "AA 0A 1B 08 01 00 00 00 36 42 50 EB AA",
          "AA 0A 1B 08 02 00 00 00 F0 41 0A EB AA"},
         {}},
        {"spin_drift",
         set_ballistic_profiles,
         [] { GUI_SEND_BALLISTIC_PARM_MSG(9, 0); },
         {"AA 0A 1B 09 00 00 01 00 00 00 D9 EB AA"},
         {}},
        {"ballistic_unlisted_index",
         set_ballistic_profiles,
         [] {
             GUI_SEND_BALLISTIC_PARM_MSG(10, 0);
             GUI_SEND_BALLISTIC_PARM_MSG(255, 1);
         },
         {},
         {}},
        {"save_all",
         [] {},
         [] {
             GUI_SEND_PARAM_FUNCTION_MSG(3);
             GUI_SEND_PARAM_FUNCTION_MSG(2);
         },
         {"AA 07 10 03 00 00 00 C4 EB AA"},
         {}},
        {"ui_ready",
         [] { stUIStatus.event_distrubut_reday = 1; },
         [] {
             GUI_SEND_UI_READY_MSG(0);
             EXPECT_EQ(stUIStatus.event_distrubut_reday, 0);
         },
         {"AA 07 08 00 00 00 00 B9 EB AA"},
         {}},
        {"wifi_switch",
         [] { stDevStatus.s8WiFiSwitch = 1; },
         [] {
             GUI_SEND_WIFI_MSG(0);
             GUI_SEND_WIFI_MSG(1);
         },
         {"AA 07 05 00 FF 00 01 B6 EB AA"},
         {40}},
        {"declination_west",
         [] { stDevStatus.s16CompassMagnetic = -123; },
         [] {
             GUI_SEND_COMPASS_MSG(0);
             GUI_SEND_COMPASS_MSG(1);
         },
         {"AA 0A 06 01 00 00 01 0C 00 03 CB EB AA"},
         {}},
        {"declination_east",
         [] { stDevStatus.s16CompassMagnetic = 3057; },
         [] { GUI_SEND_COMPASS_MSG(0); },
         {"AA 0A 06 01 00 00 00 31 01 07 F4 EB AA"},
         {}},
        {"compass_calibration_step",
         [] {},
         [] {
             GUI_SEND_COMPASS_CORRECT(3);
             GUI_SEND_COMPASS_CORRECT(6);
             GUI_SEND_COMPASS_CORRECT(-1);
         },
         {"AA 07 06 06 00 00 03 C0 EB AA"},
         {}},
        {"bad_pixel",
         [] {
             stUIStatus.s8BlindSwitch = 1;
             stUIStatus.s8BlindPosition = 2;
             stUIStatus.s8BlindType = 3;
             stUIStatus.s8BlindTenPosition = 4;
         },
         [] {
             for (int c = 0; c < 6; c++) GUI_SEND_BLIND_MSG(c);
         },
         {"AA 07 18 00 FF 00 01 C9 EB AA", "AA 07 18 01 FF 00 02 CB EB AA", "AA 07 18 02 FF 00 03 CD EB AA",
          "AA 07 18 03 FF 00 00 CB EB AA", "AA 07 18 04 FF 00 04 D0 EB AA"},
         {}},
        {"recoil",
         [] {
             stDevStatus.s8RecoilState = 1;
             stDevStatus.s8RecoilBefore = 2;
             stDevStatus.s8RecoilAfter = 3;
             stDevStatus.s8RecoilSensitivity = 4;
             stDevStatus.s8ShotZoomSwitch = 1;
         },
         [] {
             for (int c = 0; c < 9; c++) GUI_SEND_RECOIL_MSG(c);
         },
         {"AA 07 1C 00 FF 00 01 CD EB AA", "AA 07 1C 01 FF 00 02 CF EB AA", "AA 07 1C 02 FF 00 03 D1 EB AA",
          "AA 07 1C 03 FF 00 04 D3 EB AA", "AA 07 1C 06 FF 00 01 D3 EB AA", "AA 07 1C 07 FF 00 01 D4 EB AA"},
         {58}},
        {"update_answers",
         [] {
             stUIStatus.s8Updata_confirm = 1;
             stUIStatus.s8Updata_check = 3;
         },
         [] {
             GUI_SEND_UPDATA_MSG(1);
             GUI_SEND_UPDATA_MSG(2);
             GUI_SEND_UPDATA_MSG(0);
         },
         {"AA 07 1A 01 FF 00 01 CC EB AA", "AA 07 1A 02 FF 00 03 CF EB AA"},
         {}},
        {"tap_record",
         [] {},
         [] { GUI_SEND_TAP_VIDEO_MSG(0, 2, "ignored"); },
         {"AA 1F 17 01 00 00 02 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 E3 EB AA"},
         {}},
        {"tap_replay_named",
         [] {},
         [] { GUI_SEND_TAP_VIDEO_MSG(1, 3, "20261210_120000_0001.mp4.extra"); },
         {"AA 1F 17 01 01 00 03 32 30 32 36 31 32 31 30 5F 31 32 30 30 30 30 5F 30 30 30 31 2E 6D 70 34 54 EB AA"},
         {}},
        {"tap_replay_short_name",
         [] {},
         [] { GUI_SEND_TAP_VIDEO_MSG(1, 4, "a.mp4"); },
         {"AA 1F 17 01 01 00 04 61 2E 6D 70 34 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 86 EB AA"},
         {}},
        {"tap_replay_unnamed",
         [] {},
         [] {
             GUI_SEND_TAP_VIDEO_MSG(1, 1, "a.mp4");
             GUI_SEND_TAP_VIDEO_MSG(1, 5, "a.mp4");
             GUI_SEND_TAP_VIDEO_MSG(2, 0, NULL);
         },
         {"AA 1F 17 01 01 00 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 E3 EB AA"},
         {}},
        {"video_seek",
         [] { stUIStatus.u64VideoForwardFrames = 0x0102030405ull; },
         [] {
             GUI_SEND_VIDEO_FRAME_MSG(3);
             GUI_SEND_VIDEO_FRAME_MSG(2);
         },
         {"AA 0E 17 01 03 00 05 04 03 02 01 00 00 00 E2 EB AA"},
         {}},
        {"visible_camera",
         [] {
             stDevStatus.s8VisiBrightness = 1;
             stDevStatus.s8VisiContrast = 2;
             stUIStatus.s8VisiZoom = 3;
             stUIStatus.s8VisiMode = 4;
         },
         [] {
             for (int c = 0; c < 6; c++) GUI_SEND_VISI_MSG(c);
         },
         {"AA 08 02 00 FF 00 01 00 B4 EB AA", "AA 08 02 01 FF 00 02 00 B6 EB AA", "AA 08 02 03 FF 00 03 00 B9 EB AA",
          "AA 08 02 05 FF 00 04 00 BC EB AA"},
         {}},
        {"fusion",
         [] {
             stDevStatus.s8FuBrightness = 1;
             stDevStatus.s8FuContrast = 2;
             stDevStatus.s8FuMode = 3;
             stUIStatus.s8FuZoom = 4;
             stDevStatus.s16FushionX = -3;
             stDevStatus.s16FushionY = 300;
         },
         [] {
             for (int c = 0; c < 5; c++) GUI_SEND_FUSION_MSG(c);
             GUI_SEND_FUSION_POSITION_MSG(4);
             GUI_SEND_FUSION_POSITION_MSG(0);
         },
         {"AA 08 14 00 FF 00 01 00 C6 EB AA", "AA 08 14 01 FF 00 02 00 C8 EB AA", "AA 08 14 02 FF 00 03 00 CA EB AA",
          "AA 08 14 03 FF 00 04 00 CC EB AA", "AA 0A 14 04 FF 00 FD FF 2C 01 F4 EB AA"},
         {}},
        {"pip",
         [] { stDevStatus.s8PipMode = 2; },
         [] {
             GUI_SEND_PIP_MSG(0);
             GUI_SEND_PIP_MSG(1);
         },
         {"AA 08 15 00 FF 00 02 00 C8 EB AA"},
         {}},
        {"gg",
         [] {},
         [] {
             for (int c = 0; c < 4; c++) GUI_SEND_GG_MSG(c);
         },
         {"AA 07 19 00 FF 00 00 C9 EB AA", "AA 07 19 01 FF 00 00 CA EB AA", "AA 07 19 02 FF 00 00 CB EB AA"},
         {}},
        {"clip_on",
         [] {
             stDevStatus.s16CliponPositionX = 10;
             stDevStatus.s16CliponPositionY = -10;
         },
         [] {
             GUI_SEND_CLIPON_POSITION_MSG(20);
             GUI_SEND_CLIPON_POSITION_MSG(0);
         },
         {"AA 0A 00 00 14 00 0A 00 F6 FF C7 EB AA"},
         {}},
        {"lrf_settings_max",
         [] {},
         [] { vesk_lrf_ui_send_settings(4, 20000); },
         {"AA 0A 04 08 FF 00 04 4E 20 00 31 EB AA"},
         {}},
        {"lrf_settings_target",
         [] {},
         [] {
             vesk_lrf_ui_send_settings(1, 2);
             vesk_lrf_ui_send_settings(9, 7);
         },
         {"AA 0A 04 08 FF 00 01 02 00 00 C2 EB AA", "AA 0A 04 08 FF 00 09 00 00 00 C8 EB AA"},
         {}},
        {"lrf_query", [] {}, [] { vesk_lrf_ui_send_query(); }, {"AA 0A 04 08 FF 00 00 00 00 00 BF EB AA"}, {}},
        {"lrf_accept",
         [] {},
         [] { vesk_lrf_ui_send_accept(1, 12345); },
         {"AA 0A 04 09 FF 00 01 04 D2 05 9C EB AA"},
         {}},
    };
    return rows;
}

class SenderTable : public ::testing::TestWithParam<size_t> {};

TEST_P(SenderTable, SendsExactlyTheseFramesAndRaisesTheseEvents)
{
    const SenderRow &row = sender_rows()[GetParam()];
    in_gui_child([&] {
        start_queues();
        row.setup();
        EventTap tap;
        row.send();
        awtk_test_pump();
        std::vector<std::string> got;
        for (const bytes &f : sent_frames()) got.push_back(hex(f));
        EXPECT_EQ(got, row.frames);
        EXPECT_EQ(tap.take(), row.events);
    });
}

INSTANTIATE_TEST_SUITE_P(Senders, SenderTable, ::testing::Range<size_t>(0, sender_rows().size()),
                         [](const ::testing::TestParamInfo<size_t> &info) { return sender_rows()[info.param].name; });

TEST(Senders, VideoModeIsSentWithTheValueCurrentWhenItsTimerFires)
{
    in_gui_child([] {
        start_queues();
        EventTap tap;
        stDevStatus.s8VideoMode = 1;
        GUI_SEND_BASIC_FUNCTION_MSG(0);
        awtk_test_step(40);
        stDevStatus.s8VideoMode = 2;
        GUI_SEND_BASIC_FUNCTION_MSG(0);
        awtk_test_pump();
        EXPECT_TRUE(sent_frames().empty());
        EXPECT_EQ(tap.take(), (std::vector<int>{35, 35}));
        stDevStatus.s8VideoMode = 3;
        awtk_test_step(60);
        std::vector<bytes> first = sent_frames();
        ASSERT_EQ(first.size(), 1u);
        EXPECT_EQ(hex(first[0]), "AA 07 00 00 00 00 03 B4 EB AA");
        stDevStatus.s8VideoMode = 4;
        awtk_test_step(40);
        std::vector<bytes> second = sent_frames();
        ASSERT_EQ(second.size(), 1u);
        EXPECT_EQ(hex(second[0]), "AA 07 00 00 00 00 04 B5 EB AA");
    });
}

TEST(Senders, FreezePausesHotTrackingAndItsReleaseResumesIt)
{
    in_gui_child([] {
        start_queues();
        stDevStatus.s8HotTrack = 1;
        stUIStatus.s8Irfreeze = 1;
        GUI_SEND_INFRARED_MSG(INFRARED_FREEZE);
        EXPECT_EQ(stDevStatus.s8HotTrack, 0);
        stUIStatus.s8Irfreeze = 0;
        GUI_SEND_INFRARED_MSG(INFRARED_FREEZE);
        EXPECT_EQ(stDevStatus.s8HotTrack, 1);
        /* Hot tracking that was off before the freeze stays off. */
        stDevStatus.s8HotTrack = 0;
        stUIStatus.s8Irfreeze = 1;
        GUI_SEND_INFRARED_MSG(INFRARED_FREEZE);
        stUIStatus.s8Irfreeze = 0;
        GUI_SEND_INFRARED_MSG(INFRARED_FREEZE);
        std::vector<std::string> got;
        for (const bytes &f : sent_frames()) got.push_back(hex(f));
        EXPECT_EQ(got,
                  (std::vector<std::string>{"AA 08 01 01 0A 00 01 00 BF EB AA", "AA 08 01 01 0C 00 00 00 C0 EB AA",
                                            "AA 08 01 01 0A 00 00 00 BE EB AA", "AA 08 01 01 0C 00 01 00 C1 EB AA",
                                            "AA 08 01 01 0A 00 01 00 BF EB AA", "AA 08 01 01 0A 00 00 00 BE EB AA"}));
    });
}

TEST(Senders, AutoShutterCorrectsAtOnceAndThenEveryPeriodWarningThreeSecondsBefore)
{
    in_gui_child([] {
        start_queues();
        ASSERT_EQ(navigator_to("main_menu"), RET_OK);
        stDevStatus.s8AutoShutter = 1;
        stDevStatus.s8CorrectType = 2;
        EventTap tap;
        GUI_SEND_INFRARED_MSG(INFRARED_AUTOSHUTTER);
        awtk_test_pump();
        std::vector<std::string> got;
        for (const bytes &f : sent_frames()) got.push_back(hex(f));
        EXPECT_EQ(got,
                  (std::vector<std::string>{"AA 08 01 01 0D 00 01 00 C2 EB AA", "AA 08 01 0F 00 00 00 00 C2 EB AA"}));
        EXPECT_EQ(tap.take(), (std::vector<int>{69, 49}));
        awtk_test_step(56000);
        EXPECT_TRUE(sent_frames().empty());
        EXPECT_EQ(tap.take(), std::vector<int>{});
        awtk_test_step(1000);
        EXPECT_EQ(tap.take(), std::vector<int>{49});
        awtk_test_step(2000);
        EXPECT_EQ(tap.take(), (std::vector<int>{49, 49}));
        EXPECT_TRUE(sent_frames().empty());
        awtk_test_step(1000);
        ASSERT_EQ(sent_frames().size(), 1u) << "the correction at 60 s";
        EXPECT_EQ(tap.take(), std::vector<int>{49});

        /* The count pauses while the compass is calibrated. The page itself
         * starts the calibration on the compass object; that frame is its own. */
        ASSERT_EQ(navigator_to("compass_correction"), RET_OK);
        awtk_test_pump();
        std::vector<bytes> opened = sent_frames();
        ASSERT_EQ(opened.size(), 1u);
        EXPECT_EQ(opened[0][VESK_FRAME_OFF_OBJ], MSGQ_TYPE_COMPASS) << hex(opened[0]);
        tap.take();
        awtk_test_step(120000);
        EXPECT_TRUE(sent_frames().empty()) << "no correction while the compass is calibrated";
        EXPECT_EQ(tap.take(), std::vector<int>{});
        EXPECT_EQ(ui_auto_shutter_count(), 0u);

        stDevStatus.s8AutoShutter = 0;
        GUI_SEND_INFRARED_MSG(INFRARED_AUTOSHUTTER);
        EXPECT_FALSE(ui_auto_shutter_running());
    });
}

TEST(Senders, FailedSendsAreCountedAndTheEventsStillRaised)
{
    in_gui_child([] {
        /* No queue client: every send fails. */
        EventTap tap;
        stUIStatus.s8LaserSwitch = 1;
        uint64_t drops = 0;
        std::string log = error_log_of(
            [] {
                EXPECT_EQ(BasicFunctionHandlerToApp(0, 0, BASIC_LASER_SWITCH, 1), -1);
                GUI_SEND_BASIC_FUNCTION_MSG(BASIC_LASER_SWITCH);
                vesk_debug_gui_request(1);
                awtk_test_pump();
            },
            &drops);
        /* One line opens the burst; the two failures after it are counted
         * for the window's summary, not logged one by one. On a loaded
         * machine the logger may drop the line, and then it says so. */
        const std::string opening = "send failed type=1 len=10 errno=22 suppressed=0";
        EXPECT_TRUE(log.find(opening) != std::string::npos || drops > 0) << log;
        EXPECT_EQ(log.find("send failed", log.find(opening) + 1), std::string::npos) << log;
        EXPECT_EQ(tap.take(), std::vector<int>{37});
        EXPECT_EQ(stUIStatus.s8LaserSwitch, 1);
    });
}

/* Fills sightd's queue with records nobody reads; returns how many. */
int fill_sightd_queue()
{
    int q = msgget(MSGQ_KEY_TO_APP, 0);
    Qel_MsgEvent filler;
    memset(&filler, 0, sizeof(filler));
    filler.msg_type = MSG_TYPE_FOR_SERVER;
    filler.msg_text.type = MSGQ_COMMAND_UI_TO_APP;
    filler.msg_text.command = MSGQ_COMMAND_BY_UI;
    int n = 0;
    while (msgsnd(q, &filler, MSGQ_TEXT_SIZE, IPC_NOWAIT) == 0) n++;
    return n;
}

TEST(Senders, ARequestOnAFullQueueWaitsForRoomAndIsGivenUpOnlyAfterItsBound)
{
    in_gui_child([] {
        start_queues();
        ASSERT_GT(fill_sightd_queue(), 0);
        /* sightd takes one record 50 ms later: the shooter's request gets in. */
        std::thread reader([] {
            usleep(50000);
            Qel_MsgEvent taken;
            msgrcv(msgget(MSGQ_KEY_TO_APP, 0), &taken, MSGQ_TEXT_SIZE, MSG_TYPE_FOR_SERVER, IPC_NOWAIT);
        });
        EXPECT_EQ(BasicFunctionHandlerToApp(0, 0, BASIC_LASER_SWITCH, 1), 1);
        reader.join();

        /* Nobody reads: after its bound the request is given up, and the
         * failures are logged once and counted. */
        uint64_t drops = 0;
        std::string log = error_log_of(
            [] {
                EXPECT_EQ(BasicFunctionHandlerToApp(0, 0, BASIC_LASER_SWITCH, 1), -1);
                EXPECT_EQ(BasicFunctionHandlerToApp(0, 0, BASIC_LASER_SWITCH, 0), -1);
            },
            &drops);
        const std::string opening = "send failed type=1 len=10 errno=11 suppressed=0";
        EXPECT_TRUE(log.find(opening) != std::string::npos || drops > 0) << log;
        EXPECT_EQ(log.find("send failed", log.find(opening) + 1), std::string::npos) << log;
        std::vector<bytes> sent = sent_frames();
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(hex(sent.back()), "AA 07 00 00 16 00 01 C8 EB AA") << "the request that waited is the newest";
    });
}

} // namespace
