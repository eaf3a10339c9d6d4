// Key frames from sightd: the mapping to the pages' key letters with the
// trace line of each, and the rules of the whole GUI around the power key.
#include <gtest/gtest.h>

#include "awtk_host.h"
#include "navigator.h"
#include "qel_msg.h"
#include "sightui_test.h"
#include "ui_keys.h"
#include "ui_status.h"

using namespace sightui_test;

namespace {

bytes key(uint8_t code) { return report(7, 0, 0, {code}); }

/* A window of no page: keys reach it and nothing reacts to them. */
widget_t *probe_window(const char *name = "probe")
{
    widget_t *win = window_create(NULL, 0, 0, 1280, 1024);
    widget_set_name(win, name);
    awtk_test_pump();
    return win;
}

struct KeyRow {
    uint8_t device;
    const char *trace;
    uint32_t gui;
};

/* Written from the key table: device code, trace line, key letter. */
const KeyRow key_rows[] = {
    {0, "up short", '3'},
    {1, "up long", '4'},
    {2, "up long pop", 'W'},
    {3, "down short", '5'},
    {4, "down long", '6'},
    {5, "down long pop", 'R'},
    {6, "power short", '1'},
    {8, "power long pop", 'O'},
    {9, "photo short", '9'},
    {10, "photo long", '0'},
    {11, "photo long pop", 'T'},
    {12, "fuction short", '7'},
    {13, "fuction long", '8'},
    {14, "fuction long pop", 'I'},
    {15, "range short", 'a'},
    {16, "range long", 'b'},
    {17, "range long POP", 'U'},
    {18, "range fuction short", 'e'},
    {19, "POWER_CLICK_DOUBLE", 'd'},
    {20, "range photo short", 'c'},
    {21, "up down long pop", 'P'},
    {22, "UP POWER short", 'S'},
    {23, "left short", '['},
    {24, "left long", '<'},
    {25, "left long pop", 'k'},
    {32, "right short", ']'},
    {33, "right long", '>'},
    {34, "right long pop", 'l'},
    {35, "mid short", ','},
    {36, "mid long", '.'},
    {37, "mid long pop", '/'},
    {38, "range double", 'A'},
};

TEST(KeyMapping, EachDeviceKeyBecomesItsLetterWithItsTraceLine)
{
    in_gui_child([] {
        stUIStatus.s8InterfaceState = INTERFACE_OBSERVE;
        KeyTap tap(probe_window());
        for (const KeyRow &row : key_rows) {
            std::string out = stdout_of([&] { deliver(key(row.device)); });
            EXPECT_EQ(out, std::string(row.trace) + "\n") << int(row.device);
            EXPECT_EQ(tap.take(), std::vector<uint32_t>{row.gui}) << int(row.device);
            EXPECT_EQ(ui_key_gui_code(row.device), row.gui);
        }
        /* Codes without a key: nothing printed, nothing injected. */
        for (int code : {26, 27, 28, 29, 30, 31, 39, 40, 100, 255}) {
            std::string out = stdout_of([&] { deliver(key((uint8_t)code)); });
            EXPECT_EQ(out, "") << code;
            EXPECT_EQ(tap.take(), std::vector<uint32_t>{}) << code;
        }
    });
}

TEST(KeyMapping, ShortKeyFrameIsIgnored)
{
    in_gui_child([] {
        stUIStatus.s8InterfaceState = INTERFACE_AOD;
        deliver(report(7, 0, 0, {}));
        EXPECT_EQ(stUIStatus.s8InterfaceState, INTERFACE_AOD);
    });
}

TEST(KeyRules, FirstKeyOnlyWakesTheScreen)
{
    in_gui_child([] {
        start_queues();
        stDevStatus.s8ScreenOff = 2;
        KeyTap tap(probe_window());
        deliver(key(KEY_FOCUS_UP_S));
        EXPECT_EQ(tap.take(), std::vector<uint32_t>{});
        EXPECT_EQ(stUIStatus.s8InterfaceState, INTERFACE_OBSERVE);
        std::vector<bytes> sent = sent_frames();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(hex(sent[0]), "AA 07 00 00 0E 00 02 C1 EB AA");
        deliver(key(KEY_FOCUS_UP_S));
        EXPECT_EQ(tap.take(), std::vector<uint32_t>{'3'});
    });
}

TEST(KeyRules, LowPowerPagesTakeNoKey)
{
    for (const char *page : {"shut_down_low_power", "shut_down_low_temp"}) {
        in_gui_child([&] {
            stUIStatus.s8InterfaceState = INTERFACE_OBSERVE;
            ASSERT_EQ(navigator_to(page), RET_OK);
            awtk_test_pump();
            KeyTap tap(navigator_find_window(page));
            for (uint8_t code : {KEY_POWER_S, KEY_POWER_L, KEY_FOCUS_MID_S}) deliver(key(code));
            EXPECT_EQ(tap.take(), std::vector<uint32_t>{});
            EXPECT_EQ(top_name(), page);
        });
    }
}

TEST(KeyRules, PowerLongOpensTheCountdownAndReachesIt)
{
    in_gui_child([] {
        stUIStatus.s8InterfaceState = INTERFACE_OBSERVE;
        ASSERT_EQ(navigator_to("main_menu"), RET_OK);
        awtk_test_pump();
        deliver(key(KEY_POWER_L));
        EXPECT_EQ(top_name(), VESK_SHUTDOWN_PAGE);
        EXPECT_STREQ(stUIStatus.temp_window, "main_menu");
    });
}

TEST(KeyRules, CountdownTakesTheLongPressAndCancelsOnOtherKeysWhileEarly)
{
    struct Case {
        uint8_t code;
        int count;
        bool cancels;
    };
    const Case cases[] = {
        {KEY_FOCUS_UP_S, 0, true}, {KEY_FOCUS_UP_S, 2, true},   {KEY_FOCUS_UP_S, 3, false},
        {KEY_POWER_S, 1, true},    {KEY_POWER_L_POP, 0, false}, {KEY_POWER_L_POP, 2, false},
    };
    for (const Case &c : cases) {
        in_gui_child([&] {
            stUIStatus.s8InterfaceState = INTERFACE_OBSERVE;
            ASSERT_EQ(navigator_to("main_menu"), RET_OK);
            awtk_test_pump();
            KeyTap menu_keys(navigator_find_window("main_menu"));
            deliver(key(KEY_POWER_L));
            ASSERT_EQ(top_name(), VESK_SHUTDOWN_PAGE);
            KeyTap countdown_keys(navigator_find_window(VESK_SHUTDOWN_PAGE));
            stUIStatus.shutdown_count = (char)c.count;
            deliver(key(c.code));
            EXPECT_EQ(top_name(), c.cancels ? "main_menu" : VESK_SHUTDOWN_PAGE) << int(c.code) << "/" << c.count;
            if (c.cancels) {
                EXPECT_EQ(stUIStatus.shutdown_count, 0);
                EXPECT_EQ(navigator_find_window(VESK_SHUTDOWN_PAGE), nullptr);
            }
            EXPECT_EQ(menu_keys.take(), std::vector<uint32_t>{});
            EXPECT_EQ(countdown_keys.take(), std::vector<uint32_t>{});
        });
    }
}

TEST(KeyRules, PowerLongWhereNoCountdownMayOpenStillInjects)
{
    for (const char *page : {"Boot_logo", "QZ_updata", "restoring", "memory_format_restart"}) {
        in_gui_child([&] {
            stUIStatus.s8InterfaceState = INTERFACE_OBSERVE;
            ASSERT_EQ(navigator_to(page), RET_OK);
            awtk_test_pump();
            KeyTap tap(navigator_find_window(page));
            deliver(key(KEY_POWER_L));
            EXPECT_EQ(top_name(), page);
            EXPECT_EQ(tap.take(), std::vector<uint32_t>{'2'}) << page;
        });
    }
}

TEST(KeyRules, DoublePowerSendsTheShutterCorrectionBeforeThePageSeesIt)
{
    in_gui_child([] {
        start_queues();
        stUIStatus.s8InterfaceState = INTERFACE_OBSERVE;
        stDevStatus.s8CorrectType = 2;
        KeyTap tap(probe_window());
        bytes f = key(KEY_POWER_CLICK_DOUBLE);
        uiOperationControl(f.data(), (int)f.size());
        std::vector<bytes> sent = sent_frames();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(hex(sent[0]), "AA 08 01 0F 00 00 00 00 C2 EB AA");
        EXPECT_EQ(tap.take(), std::vector<uint32_t>{});
        awtk_test_pump();
        EXPECT_EQ(tap.take(), std::vector<uint32_t>{'d'});
    });
}

TEST(KeyRules, FunctionLongAlsoSavesEverything)
{
    in_gui_child([] {
        start_queues();
        stUIStatus.s8InterfaceState = INTERFACE_OBSERVE;
        KeyTap tap(probe_window());
        deliver(key(KEY_FUCTION_L));
        EXPECT_EQ(tap.take(), std::vector<uint32_t>{'8'});
        std::vector<bytes> sent = sent_frames();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(hex(sent[0]), "AA 07 10 03 00 00 00 C4 EB AA");
    });
}

/* ---- the unsaved power-off window, on the virtual clock ---- */

const char *const kShutdownVoluntary = "AA 07 00 00 0D 00 01 BF EB AA";

TEST(UnsavedPowerOff, LongPressInsideTheWindowPowersOffWithoutCountdown)
{
    in_gui_child([] {
        start_queues();
        stUIStatus.s8InterfaceState = INTERFACE_OBSERVE;
        ASSERT_EQ(navigator_to("main_menu"), RET_OK);
        awtk_test_pump();
        KeyTap tap(navigator_find_window("main_menu"));
        deliver(report(0, 0, 42, {1, 3}));
        awtk_test_step(4000);
        EventTap events;
        bytes f = key(KEY_POWER_L);
        uiOperationControl(f.data(), (int)f.size());
        EXPECT_EQ(events.take(), std::vector<int>{78}) << "dispatched at once, not queued";
        awtk_test_pump();
        EXPECT_EQ(top_name(), "main_menu");
        EXPECT_EQ(tap.take(), std::vector<uint32_t>{});
        std::vector<bytes> sent = sent_frames();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(hex(sent[0]), kShutdownVoluntary);
        EXPECT_EQ(vesk_gui_force_until_ms, 0u);
    });
}

TEST(UnsavedPowerOff, AfterTheWindowTheCountdownOpensAsUsual)
{
    in_gui_child([] {
        start_queues();
        stUIStatus.s8InterfaceState = INTERFACE_OBSERVE;
        ASSERT_EQ(navigator_to("main_menu"), RET_OK);
        deliver(report(0, 0, 42, {1, 3}));
        awtk_test_step(4999);
        awtk_test_step(1);
        EventTap events;
        deliver(key(KEY_POWER_L));
        EXPECT_EQ(top_name(), VESK_SHUTDOWN_PAGE);
        EXPECT_EQ(events.take(), std::vector<int>{});
        EXPECT_TRUE(sent_frames().empty());
    });
}

TEST(UnsavedPowerOff, RecoveryLatchPowersOffOnEveryLongPressWithoutTheEvent)
{
    in_gui_child([] {
        start_queues();
        stUIStatus.s8InterfaceState = INTERFACE_OBSERVE;
        ASSERT_EQ(navigator_to("main_menu"), RET_OK);
        deliver(report(0, 0, 42, {5, 2}));
        EventTap events;
        for (int i = 0; i < 2; i++) {
            awtk_test_step(60000);
            deliver(key(KEY_POWER_L));
            EXPECT_EQ(top_name(), "main_menu");
            std::vector<bytes> sent = sent_frames();
            ASSERT_EQ(sent.size(), 1u);
            EXPECT_EQ(hex(sent[0]), kShutdownVoluntary);
        }
        EXPECT_EQ(events.take(), std::vector<int>{});
    });
}

TEST(UnsavedPowerOff, LongPressDuringTheCountdownStopsItsTimer)
{
    in_gui_child([] {
        start_queues();
        stUIStatus.s8InterfaceState = INTERFACE_OBSERVE;
        ASSERT_EQ(navigator_to("main_menu"), RET_OK);
        deliver(key(KEY_POWER_L));
        ASSERT_EQ(top_name(), VESK_SHUTDOWN_PAGE);
        stUIStatus.timer_id_shutdown = timer_add([](const timer_info_t *) { return RET_REPEAT; }, NULL, 1000);
        stUIStatus.shutdown_count = 4;
        deliver(report(0, 0, 42, {2, 3}));
        deliver(key(KEY_POWER_L));
        EXPECT_EQ(stUIStatus.timer_id_shutdown, 0u);
        EXPECT_EQ(stUIStatus.shutdown_count, 0);
        EXPECT_EQ(timer_count(), 0u);
        std::vector<bytes> sent = sent_frames();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(hex(sent[0]), kShutdownVoluntary);
    });
}

} // namespace
