// The routers as the GUI stand-in and the modules on the app bus see them.
#include "notifier.h"

#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

#include <functional>
#include <mutex>
#include <vector>

#include "qel_dev_status.h"
#include "sim_peer.h"
#include "vesk_msg.h"

namespace {

typedef std::vector<uint8_t> bytes;

class RouterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(sim_peer_private_ipc(), 0); }
    void SetUp() override
    {
        memset(&qel_dev_status, 0, sizeof(qel_dev_status));
        ASSERT_EQ(Qel_MsgEvent_Init(nullptr), 0);
        gui = sim_peer_start(SIM_PEER_GUI, nullptr);
        ASSERT_NE(gui, nullptr);
    }
    void TearDown() override
    {
        sim_peer_stop(gui);
        Qel_MsgEvent_Deinit();
    }
    /* What the GUI receives for one module event: nothing, or one frame.
     * A marker frame sent after it shows that nothing else came first. */
    std::vector<bytes> gui_frames_for(const bytes &event, int evtype = MAIN_NOTIFIER_UI)
    {
        return gui_frames_of([&] { notifier_ui(nullptr, nullptr, evtype, event.data(), (int)event.size()); });
    }
    std::vector<bytes> gui_frames_of(const std::function<void()> &act)
    {
        sim_peer_clear(gui);
        act();
        const bytes marker = sim_frame(8, 0xEE, 0xEE, 0x80);
        Msgtext_App_To_Ui(33, (uint32_t)marker.size(), marker.data());
        std::vector<bytes> out;
        for (int i = 0; i < 2000; i++) {
            auto got = sim_peer_received(gui);
            if (!got.empty() && got.back().frame == marker) {
                for (size_t k = 0; k + 1 < got.size(); k++) {
                    EXPECT_EQ(got[k].type, 33u);
                    out.push_back(got[k].frame);
                }
                return out;
            }
            usleep(1000);
        }
        ADD_FAILURE() << "marker never arrived";
        return out;
    }
    sim_peer *gui = nullptr;
};

struct report_row {
    const char *what;
    bytes event;
    bytes frame; /* empty: no frame */
    int compass_switch;
};

TEST_F(RouterTest, ModuleReportsBecomeGuiFrames)
{
    const report_row rows[] = {
        {"image", {0, 1, 2, 9}, sim_frame(0, 1, 2, 0x80, {9, 0}), 0},
        {"infrared", {1, 3, 4, 5}, sim_frame(1, 3, 4, 0x80, {5}), 0},
        {"bad pixel", {24, 1, 2, 3}, sim_frame(24, 1, 2, 0x80, {3}), 0},
        {"lid", {25, 0, 1, 1}, sim_frame(25, 0, 1, 0x80, {1}), 0},
        {"range", {4, 1, 2, 0x10, 0x27, 0, 0}, sim_frame(4, 1, 2, 0x80, {0x10, 0x27, 0, 0}), 0},
        {"range without payload", {4, 1, 2}, sim_frame(4, 1, 2, 0x80), 0},
        {"compass", {6, 0, 7, 1, 2, 3, 4}, sim_frame(6, 0, 7, 0x80, {1, 2, 3, 4}), 1},
        {"compass, display off", {6, 0, 7, 1, 2, 3, 4}, {}, 0},
        {"compass, sub 1", {6, 1, 7, 1, 2, 3, 4}, {}, 1},
        {"compass, short event", {6, 0, 7, 1, 2}, {}, 1},
        {"gps, counted", {10, 5, 1, 2, 0x33, 0x44}, sim_frame(10, 1, 2, 0x80, {0x33, 0x44}), 0},
        {"self test, no payload", {11, 3, 5, 2}, sim_frame(11, 5, 2, 0x80), 0},
        {"update, counted", {26, 4, 1, 0, 99}, sim_frame(26, 1, 0, 0x80, {99}), 0},
        {"counted, n below 3", {26, 2, 1, 0}, {}, 0},
        {"counted, n past the event", {26, 9, 1, 0, 1}, {}, 0},
        {"battery", {15, 0x20, 0x03, 0}, sim_frame(15, 0, 0, 0x80, {0x20, 0x03, 0, 0}), 0},
        {"usb", {15, 1, 0, 1}, sim_frame(15, 0, 1, 0x80, {1, 0, 0, 0}), 0},
        {"six-byte voltage", {15, 1, 2, 3, 4, 5}, sim_frame(15, 0, 3, 0x80, {1, 2, 4, 5}), 0},
        {"zoom ring as infrared", {245, 1, 16, 0x90, 0x01}, sim_frame(1, 1, 16, 0x80, {0x90, 0x01}), 0},
        {"zoom ring, short", {245, 1, 16, 0x90}, {}, 0},
        {"image, short", {0, 1, 2}, {}, 0},
        {"unrouted object", {3, 1, 2, 3}, {}, 0},
        {"unrouted state", {8, 1, 2, 3}, {}, 0},
    };
    for (const report_row &r : rows) {
        qel_dev_status.s8CompassSwitch = (char)r.compass_switch;
        auto got = gui_frames_for(r.event);
        if (r.frame.empty()) {
            EXPECT_TRUE(got.empty()) << r.what;
        } else {
            ASSERT_EQ(got.size(), 1u) << r.what;
            EXPECT_EQ(got[0], r.frame) << r.what;
        }
    }
}

TEST_F(RouterTest, OnlyEventBitOneIsRouted)
{
    const bytes image = {0, 1, 2, 9};
    EXPECT_TRUE(gui_frames_for(image, MAIN_NOTIFIER_APP).empty());
    EXPECT_TRUE(gui_frames_for(image, -1).empty());
    EXPECT_EQ(gui_frames_for(image, MAIN_NOTIFIER_UI | MAIN_NOTIFIER_APP).size(), 1u);
}

TEST_F(RouterTest, NoFrameLongerThanItsLengthByte)
{
    /* A range event of 252 bytes makes a 258-byte frame; 253 would wrap. */
    bytes event(252, 0x11);
    event[0] = 4;
    auto got = gui_frames_for(event);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].size(), 258u);
    EXPECT_TRUE(sim_frame_sound(got[0]));
    event.push_back(0x11);
    EXPECT_TRUE(gui_frames_for(event).empty());
}

/* The key report table: key code, then the GUI codes of short, long and
 * long-release presses. */
struct key_row {
    uint8_t key;
    uint8_t shortp, longp, release;
};
const key_row kKeys[] = {
    {2, 0, 1, 2},    {3, 3, 4, 5},    {8, 6, 7, 8},     {6, 12, 13, 14}, {7, 15, 16, 17},  {4, 23, 24, 25},
    {5, 32, 33, 34}, {1, 35, 36, 37}, {10, 18, 18, 18}, {9, 20, 20, 20}, {11, 21, 21, 21},
};

bytes key_frame(uint8_t code) { return sim_frame(7, 0, 0, 0x80, {code}); }

TEST_F(RouterTest, KeyTable)
{
    for (const key_row &k : kKeys) {
        const struct {
            uint8_t press;
            uint8_t code;
        } presses[] = {{0, k.shortp}, {1, k.shortp}, {2, k.longp}, {3, k.release}, {7, k.shortp}};
        for (auto p : presses) {
            auto got = gui_frames_for({7, k.key, p.press, 0});
            ASSERT_EQ(got.size(), 1u) << "key " << (int)k.key << " press " << (int)p.press;
            EXPECT_EQ(got[0], key_frame(p.code)) << "key " << (int)k.key << " press " << (int)p.press;
        }
        /* A double press is the power key's own code, 255 for any other. */
        auto twice = gui_frames_for({7, k.key, 0, 1});
        ASSERT_EQ(twice.size(), 1u);
        EXPECT_EQ(twice[0], key_frame(k.key == 8 ? 19 : 255)) << "key " << (int)k.key;
    }
    testing::internal::CaptureStdout();
    auto unknown = gui_frames_for({7, 12, 0, 0});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "keyHandlerToUi: key code 12 not found.\n");
    EXPECT_TRUE(unknown.empty());
}

TEST_F(RouterTest, FactoryModePassesOnlyPowerHoldAndRelease)
{
    qel_dev_status.is_factory = 1;
    const struct {
        bytes event;
        int code; /* -1: dropped */
    } rows[] = {
        {{7, 8, 0, 0}, -1}, {{7, 8, 2, 0}, 7},  {{7, 8, 3, 0}, 8},   {{7, 8, 2, 1}, -1},
        {{7, 2, 2, 0}, -1}, {{7, 1, 0, 0}, -1}, {{7, 10, 2, 0}, -1},
    };
    for (auto &r : rows) {
        auto got = gui_frames_for(r.event);
        if (r.code < 0) {
            EXPECT_TRUE(got.empty()) << (int)r.event[1] << "/" << (int)r.event[2];
        } else {
            ASSERT_EQ(got.size(), 1u);
            EXPECT_EQ(got[0], key_frame((uint8_t)r.code));
        }
    }
}

TEST_F(RouterTest, VirtualKeysSendNothing)
{
    /* No key source on this scope reports virtual keys: whatever the event,
     * the GUI gets no key frame from it. */
    const bytes events[] = {{7, 8, 0, 0}, {7, 2, 2, 0}, {7, 8, 0, 1}, {7, 99, 0, 0}, {7}};
    for (const bytes &e : events) {
        auto got = gui_frames_of([&] { virtualKeyHandlerToUi(e.data(), (int)e.size()); });
        EXPECT_TRUE(got.empty()) << sim_hex(e);
    }
    EXPECT_TRUE(gui_frames_of([] { virtualKeyHandlerToUi(nullptr, 0); }).empty());
}

/* ---- the link peers' routers ---- */

std::mutex g_lock;
std::vector<std::pair<int, bytes>> g_app;

void on_app_bus(event_handle *, void *, int evtype, const void *data, int size)
{
    std::lock_guard<std::mutex> g(g_lock);
    const uint8_t *p = (const uint8_t *)data;
    g_app.push_back({evtype, bytes(p, p + size)});
}

TEST(LinkRouters, HttpAndBleFramesReachTheirModule)
{
    event_handle *main_bus = nullptr, *app_bus = nullptr;
    ASSERT_EQ(notifier_init(&main_bus, &app_bus), 0);
    ASSERT_EQ(event_receive_register(app_bus, on_app_bus, nullptr), 0);
    auto phone = sim_http_command(8, {1});
    auto wind = sim_ble_wind(300);
    auto bad = phone;
    bad[bad.size() - 3] ^= 1;
    const struct {
        int evtype;
        bytes frame;
        int app_event; /* 0: dropped */
    } rows[] = {
        {MAIN_NOTIFIER_HTTP, phone, 244}, {MAIN_NOTIFIER_HTTP, wind, 0}, {MAIN_NOTIFIER_HTTP, bad, 0},
        {MAIN_NOTIFIER_BLE, wind, 29},    {MAIN_NOTIFIER_BLE, phone, 0}, {MAIN_NOTIFIER_APP, phone, 0},
    };
    const bytes marker = sim_ble_state(1);
    size_t expected = 0;
    for (auto &r : rows) {
        event_broadcast_send(main_bus, r.evtype, r.frame.data(), (int)r.frame.size(), 100);
        event_broadcast_send(main_bus, MAIN_NOTIFIER_BLE, marker.data(), (int)marker.size(), 100);
        expected += r.app_event ? 2 : 1;
        for (int i = 0; i < 2000; i++) {
            std::lock_guard<std::mutex> g(g_lock);
            if (g_app.size() >= expected) break;
            usleep(1000);
        }
        std::lock_guard<std::mutex> g(g_lock);
        ASSERT_EQ(g_app.size(), expected);
        if (r.app_event) {
            EXPECT_EQ(g_app[expected - 2].first, r.app_event);
            EXPECT_EQ(g_app[expected - 2].second, r.frame);
        }
    }
    notifier_unregister(main_bus);
    /* With the routers gone nothing reaches the app bus. */
    event_broadcast_send(main_bus, MAIN_NOTIFIER_BLE, marker.data(), (int)marker.size(), 100);
    usleep(20000);
    {
        std::lock_guard<std::mutex> g(g_lock);
        EXPECT_EQ(g_app.size(), expected);
    }
    event_destroy(&main_bus);
    event_destroy(&app_bus);
}

} // namespace

/* ---- the command router ---- */

#include <math.h>

#include <functional>
#include <string>

#include "iniparser_handler.h"
#include "msg_media.h"
#include "save_handlers.h"
#include "vesk_persist.h"

/* The persistence service and the settings setters as the router meets
 * them: each call is written down, edit sections can be refused. */
static std::mutex g_calls_lock;
static std::vector<std::string> g_calls;
static int g_edit_result = 0;
static int g_edits_open = 0;
static std::recursive_mutex g_profiles;
static std::vector<vesk_persist_profiles> g_staged;

static void note(const std::string &call)
{
    std::lock_guard<std::mutex> g(g_calls_lock);
    g_calls.push_back(call);
}
static std::string frame_call(const char *name, const uint8_t *f, size_t n)
{
    return std::string(name) + " " + sim_hex(std::vector<uint8_t>(f, f + n));
}
int vesk_persist_edit_begin(void)
{
    if (g_edit_result == 0) g_edits_open++;
    return g_edit_result;
}
void vesk_persist_edit_end(void) { g_edits_open--; }
void vesk_profiles_lock(void) { g_profiles.lock(); }
void vesk_profiles_unlock(void) { g_profiles.unlock(); }
int vesk_persist_stage_profiles(const vesk_persist_profiles *snapshot)
{
    EXPECT_EQ(g_edits_open, 1) << "staged outside an edit section";
    g_staged.push_back(*snapshot);
    return 0;
}
int vesk_persist_checkpoint(void)
{
    note("checkpoint");
    return 0;
}
/* What the settings handlers answer: -1 stands for a value out of range. */
static int g_save_result = 0;
int usualSaveSet(const uint8_t *frame, size_t size)
{
    note(frame_call("usualSaveSet", frame, size));
    return g_save_result;
}
int shootSaveSet(const uint8_t *frame, size_t size)
{
    note(frame_call("shootSaveSet", frame, size));
    return g_save_result;
}
int reticleSaveSet(const uint8_t *frame, size_t size)
{
    note(frame_call("reticleSaveSet", frame, size));
    return g_save_result;
}
void Qel_DevStatusSet(const char *key, int value, int to_defaults)
{
    note(std::string("Qel_DevStatusSet ") + key + " " + std::to_string(value) + " " + std::to_string(to_defaults));
}
void tevi_ir_save(int value, int index, int to_defaults)
{
    note("tevi_ir_save " + std::to_string(value) + " " + std::to_string(index) + " " + std::to_string(to_defaults));
}
void Qel_EEPROMParam_Save(void) { note("Qel_EEPROMParam_Save"); }

namespace {

struct seen {
    std::vector<bytes> media, gui, http;
    std::vector<std::pair<int, bytes>> app;
    std::vector<std::string> calls;
};

class CommandTest : public RouterTest {
protected:
    void SetUp() override
    {
        RouterTest::SetUp();
        media = sim_peer_start(SIM_PEER_MEDIA, nullptr);
        http = sim_peer_start(SIM_PEER_HTTP, nullptr);
        ASSERT_EQ(event_create(&app_bus, 30, nullptr), 0);
        ASSERT_EQ(event_receive_register(app_bus, on_app_bus, nullptr), 0);
        vesk_dev_status_defaults(&qel_dev_status);
        memset(&qel_ir_cursor, 0, sizeof(qel_ir_cursor));
        memset(&qel_ballistics, 0, sizeof(qel_ballistics));
        g_edit_result = 0;
        g_save_result = 0;
        g_staged.clear();
        vesk_msg_hooks hooks = {};
        hooks.vesk_core_self_check = [] { note("self_check"); };
        hooks.vesk_core_save_config = [] { note("save_config"); };
        hooks.vesk_core_set_scene = [](int scene) { note("scene " + std::to_string(scene)); };
        hooks.vesk_boot_state_publish = [] {
            note("boot_state");
            return 1;
        };
        hooks.vesk_lifecycle_request_kind = [](int kind) { note("lifecycle " + std::to_string(kind)); };
        hooks.vesk_debug_handle_ui = [](const uint8_t *f, size_t n) { return n > 4 && f[4] == 0x29 ? 1 : 0; };
        hooks.vesk_debug_publish = [] { note("debug_publish"); };
        hooks.vesk_dynamic_bc_publish = [] { note("dynamic_bc_publish"); };
        vesk_msg_set_hooks(&hooks);
    }
    void TearDown() override
    {
        vesk_msg_set_hooks(nullptr);
        voUartInitFinished = 0;
        event_destroy(&app_bus);
        sim_peer_stop(media);
        sim_peer_stop(http);
        RouterTest::TearDown();
    }
    /* Everything one frame from the GUI causes, up to a marker on every path. */
    seen route(const bytes &frame)
    {
        return observe([&] { notifier_app(nullptr, app_bus, MAIN_NOTIFIER_APP, frame.data(), (int)frame.size()); });
    }
    seen observe(const std::function<void()> &act)
    {
        sim_peer_clear(media);
        sim_peer_clear(gui);
        sim_peer_clear(http);
        {
            std::lock_guard<std::mutex> g(g_lock);
            g_app.clear();
        }
        {
            std::lock_guard<std::mutex> g(g_calls_lock);
            g_calls.clear();
        }
        act();
        const bytes marker = sim_frame(8, 0xEE, 0xEE, 0x80);
        Msgtext_App_To_Ui(33, (uint32_t)marker.size(), marker.data());
        Msgtext_App_To_Media(32, (uint32_t)marker.size(), marker.data());
        Msgtext_App_To_Http(48, (uint32_t)marker.size(), marker.data());
        event_broadcast_send(app_bus, 255, marker.data(), (int)marker.size(), 100);
        seen s;
        s.media = until_marker(media, marker);
        s.gui = until_marker(gui, marker);
        s.http = until_marker(http, marker);
        for (int i = 0; i < 2000; i++) {
            std::lock_guard<std::mutex> g(g_lock);
            if (!g_app.empty() && g_app.back().first == 255) {
                s.app.assign(g_app.begin(), g_app.end() - 1);
                break;
            }
            usleep(0);
        }
        std::lock_guard<std::mutex> g(g_calls_lock);
        s.calls = g_calls;
        return s;
    }
    std::vector<bytes> until_marker(sim_peer *p, const bytes &marker)
    {
        for (int i = 0; i < 2000; i++) {
            auto got = sim_peer_received(p);
            if (!got.empty() && got.back().frame == marker) {
                std::vector<bytes> out;
                for (size_t k = 0; k + 1 < got.size(); k++) out.push_back(got[k].frame);
                return out;
            }
            usleep(1000);
        }
        ADD_FAILURE() << "marker never arrived";
        return {};
    }
    event_handle *app_bus = nullptr;
    sim_peer *media = nullptr, *http = nullptr;
};

bytes req(uint8_t obj, uint8_t sub, uint8_t item, const bytes &payload)
{
    return sim_frame(obj, sub, item, 0, payload);
}
bytes f32(float f)
{
    uint8_t b[4];
    memcpy(b, &f, 4);
    return bytes(b, b + 4);
}
std::string call(const char *name, const bytes &f) { return name + std::string(" ") + sim_hex(f); }

struct route_row {
    const char *what;
    bytes frame;
    std::vector<bytes> media, gui, http;
    int app_event; /* -1: none; the app bus gets the frame itself */
    std::vector<std::string> calls;
};

TEST_F(CommandTest, EachObjectGoesWhereItBelongs)
{
    const bytes image7 = req(0, 0, 7, {5});
    const bytes image3 = req(0, 0, 3, {5});
    const bytes ir = req(1, 1, 2, {5, 0});
    const bytes ir16 = req(1, 1, 16, {1, 0});
    const bytes visible_low = req(2, 0, 1, {0, 0});
    const bytes visible_high = req(2, 1, 1, {15, 0});
    const bytes visible_other = req(2, 2, 1, {15, 0});
    const bytes pip = req(21, 0, 1, {1, 0});
    const bytes tap_rec = req(23, 0, 0, {0});
    const bytes tap_stop = req(23, 0, 0, {1});
    const bytes tap_frames = sim_media_replay_frames(2, 300);
    const bytes shot_trigger = sim_media_shot_trigger();
    const bytes shot_done = sim_media_shot_done();
    const bytes shot_req6 = req(28, 6, 0xFF, {0});
    const bytes shot_front = req(28, 1, 0xFF, {2});
    const bytes shot_thresh = req(28, 3, 0xFF, {4});
    const bytes reticle_report = sim_media_reticle_report(3, 0xFF, {1, 2, 3, 4});
    const route_row rows[] = {
        {"image, stored and passed on", image7, {image7}, {}, {}, 0, {call("usualSaveSet", image7)}},
        {"image, stored only", image3, {}, {}, {}, 0, {call("usualSaveSet", image3)}},
        {"image, short", req(0, 0, 7, {}), {}, {}, {}, -1, {}},
        {"image, eeprom", req(0, 30, 0xFF, {}), {}, {}, {}, -1, {"Qel_EEPROMParam_Save"}},
        {"debug request is the debug switch's", req(0, 0, 0x29, {1}), {}, {}, {}, -1, {}},
        {"infrared to the core", ir, {}, {}, {}, 1, {}},
        {"infrared item 16", ir16, {ir16}, {}, {}, -1, {}},
        {"video link ready", sim_media_video_ready(), {}, {}, {}, -1, {"self_check"}},
        {"strong-light protection", req(1, 5, 8, {1}), {}, {}, {}, -1, {"tevi_ir_save 1 4 0"}},
        {"visible, clamped up", visible_low, {req(2, 0, 1, {1, 0})}, {}, {}, -1, {}},
        {"visible, clamped down", visible_high, {req(2, 1, 1, {10, 0})}, {}, {}, -1, {}},
        {"visible, other sub", visible_other, {visible_other}, {}, {}, -1, {}},
        {"low light dropped", req(3, 0, 0, {1}), {}, {}, {}, -1, {}},
        {"key dropped", req(7, 0, 0, {1}), {}, {}, {}, -1, {}},
        {"audio dropped", req(17, 0, 0, {1}), {}, {}, {}, -1, {}},
        {"rangefinder", req(4, 1, 0, {1}), {}, {}, {}, 4, {}},
        {"wi-fi", req(5, 1, 0, {1}), {}, {}, {}, 5, {}},
        {"compass", req(6, 2, 0, {1}), {}, {}, {}, 6, {}},
        {"bad pixel to the core", req(24, 1, 0, {1}), {}, {}, {}, 1, {}},
        {"lid to the core", req(25, 1, 0, {1}), {}, {}, {}, 1, {}},
        {"update", req(26, 1, 0, {1}), {}, {}, {}, 26, {}},
        {"picture in picture", pip, {pip}, {}, {}, -1, {}},
        {"reticle report from media", reticle_report, {}, {reticle_report}, {}, -1, {}},
        {"recording starts", tap_rec, {tap_rec}, {}, {sim_frame(244, 0, 15, 0, {1})}, -1, {}},
        {"recording stops", tap_stop, {tap_stop}, {}, {sim_frame(244, 0, 15, 0, {0})}, -1, {}},
        {"replay frame count", tap_frames, {}, {tap_frames}, {}, -1, {}},
        {"shot trigger", shot_trigger, {}, {shot_trigger}, {sim_frame(244, 0, 16, 0, {1})}, -1, {}},
        {"shot done", shot_done, {}, {}, {sim_frame(244, 0, 16, 0, {0})}, -1, {}},
        {"shot video request", shot_req6, {shot_req6}, {}, {}, -1, {}},
        {"shot setting", shot_front, {shot_front}, {}, {}, -1, {call("shootSaveSet", shot_front)}},
        {"shot threshold",
         shot_thresh,
         {sim_frame(28, 3, 0xFF, 0, {150, 0})},
         {},
         {},
         -1,
         {call("shootSaveSet", shot_thresh)}},
        {"bluetooth from the GUI dropped", sim_ble_wind(3), {}, {}, {}, -1, {}},
        {"phone object from the GUI dropped", sim_http_command(8, {}), {}, {}, {}, -1, {}},
    };
    for (const route_row &r : rows) {
        seen s = route(r.frame);
        EXPECT_EQ(s.media, r.media) << r.what;
        EXPECT_EQ(s.gui, r.gui) << r.what;
        EXPECT_EQ(s.http, r.http) << r.what;
        EXPECT_EQ(s.calls, r.calls) << r.what;
        if (r.app_event < 0) {
            EXPECT_TRUE(s.app.empty()) << r.what;
        } else {
            ASSERT_EQ(s.app.size(), 1u) << r.what;
            EXPECT_EQ(s.app[0].first, r.app_event) << r.what;
            EXPECT_EQ(s.app[0].second, r.frame) << r.what;
        }
    }
    EXPECT_EQ(voUartInitFinished, 1);
    EXPECT_EQ(qel_dev_status.irParam[4], 1);
}

TEST_F(CommandTest, UnsoundFramesAreDropped)
{
    auto bad = req(0, 0, 7, {5});
    bad[bad.size() - 3] ^= 0xFF;
    seen s = route(bad);
    EXPECT_TRUE(s.media.empty() && s.calls.empty() && s.app.empty());
    /* Only event 4 is this router's. */
    auto good = req(0, 0, 7, {5});
    notifier_app(nullptr, app_bus, MAIN_NOTIFIER_HTTP, good.data(), (int)good.size());
    notifier_app(nullptr, app_bus, MAIN_NOTIFIER_APP, good.data(), -1);
    s = route(bytes{});
    EXPECT_TRUE(s.media.empty() && s.calls.empty());
}

TEST_F(CommandTest, ReadyPublishesTheGuiState)
{
    const bytes ready = sim_gui_ready();
    seen s = route(ready);
    EXPECT_EQ(qel_dev_status.ui_ready, 1);
    EXPECT_EQ(s.media, std::vector<bytes>{ready});
    EXPECT_EQ(s.calls, (std::vector<std::string>{"debug_publish", "boot_state", "dynamic_bc_publish"}));
}

TEST_F(CommandTest, VideoModeSetsTheSceneAndTheReticle)
{
    qel_dev_status.irParam[6] = 1;
    qel_dev_status.s16ReticlePositionX = 700; /* differs from what the media process has */
    const struct {
        int zoom;
        uint8_t mode;
        const char *scene;
    } rows[] = {{100, 0, "scene 1"}, {400, 0, "scene 4"}, {400, 1, "scene 1"}};
    for (auto r : rows) {
        qel_dev_status.zoom_current = r.zoom;
        const bytes f = req(0, 0, 0, {r.mode});
        seen s = route(f);
        EXPECT_EQ(s.calls,
                  (std::vector<std::string>{call("usualSaveSet", f),
                                            "Qel_DevStatusSet s8VideoMode " + std::to_string(r.mode) + " 0", r.scene}));
        EXPECT_EQ(qel_dev_status.s8VideoMode, r.mode);
        ASSERT_FALSE(s.media.empty());
        EXPECT_EQ(s.media.back(), f);
    }
}

TEST_F(CommandTest, LifecycleRequests)
{
    const struct {
        bytes frame;
        std::vector<std::string> calls;
    } rows[] = {
        {req(0, 0, 13, {3}), {"lifecycle 3"}},
        {req(0, 0, 13, {4}), {"lifecycle 4"}},
        {sim_frame(0, 0, 13, 0x80, {3}), {}},
        {req(0, 0, 13, {3, 0}), {}},
        {req(0, 0, 13, {0}), {}},
        {req(0, 0, 13, {5}), {}},
        {req(0, 0, 13, {1}), {call("usualSaveSet", req(0, 0, 13, {1}))}},
    };
    for (auto &r : rows) EXPECT_EQ(route(r.frame).calls, r.calls) << sim_hex(r.frame);
}

TEST_F(CommandTest, SaveAllStagesAndForcesTheWrite)
{
    seen s = route(req(16, 3, 0xFF, {}));
    EXPECT_EQ(s.calls, (std::vector<std::string>{"save_config", "checkpoint"}));
    EXPECT_EQ(g_staged.size(), 1u);
    g_edit_result = -EBUSY;
    s = route(req(16, 3, 0xFF, {}));
    EXPECT_EQ(s.calls, (std::vector<std::string>{"save_config", "checkpoint"}));
    EXPECT_EQ(g_staged.size(), 1u);
    EXPECT_TRUE(route(req(16, 2, 0xFF, {})).calls.empty());
}

TEST_F(CommandTest, ReticlePositionsAndZeroOffsets)
{
    Qel_DevStatus *s = &qel_dev_status;
    qel_ir_cursor.u8CurrentGroup = 2;
    route(req(22, 3, 1, {0x40, 0x01}));
    EXPECT_EQ(s->s16ReticlePositionX, 0x140);
    route(req(22, 3, 2, {0xF0, 0x00}));
    EXPECT_EQ(s->s16ReticlePositionY, 0xF0);
    route(req(22, 3, 0xFF, {0x10, 0x00, 0xFE, 0xFF}));
    EXPECT_EQ(s->s16ReticlePositionX, 16);
    EXPECT_EQ(s->s16ReticlePositionY, -2);
    route(req(22, 8, 0xFF, {1, 2, 3, 4}));
    EXPECT_EQ(s->s16LaserIndicatX, 0x201);
    EXPECT_EQ(s->s16LaserIndicatY, 0x403);
    route(req(22, 9, 0xFF, {5, 0, 6, 0}));
    EXPECT_EQ(s->s16RangeOffsetX, 5);
    EXPECT_EQ(s->s16RangeOffsetY, 6);
    /* Short frames change nothing and are not stored. */
    seen short_one = route(req(22, 3, 0xFF, {0x20, 0x00}));
    EXPECT_TRUE(short_one.calls.empty());
    EXPECT_EQ(s->s16ReticlePositionX, 16);

    testing::internal::CaptureStdout();
    const bytes ox = req(22, 13, 0xFF, f32(1.5f));
    seen r = route(ox);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "reticle_data.x_offset = 1.500000\n");
    EXPECT_EQ(r.calls, std::vector<std::string>{call("reticleSaveSet", ox)});
    EXPECT_EQ(qel_ir_cursor.group[2].zero[0].flIrCursorOffsetX, 1.5f);
    EXPECT_EQ(s->f32ReticleOffsetX, 1.5f);
    route(req(22, 14, 0xFF, f32(-0.25f)));
    EXPECT_EQ(qel_ir_cursor.group[2].zero[0].flIrCursorOffsetY, -0.25f);
    ASSERT_EQ(g_staged.size(), 2u);
    EXPECT_EQ(g_staged[1].vesk_cursor.group[2].zero[0].flIrCursorOffsetY, -0.25f);

    /* Refused: not finite, a group that does not exist, a refused edit. */
    route(req(22, 13, 0xFF, f32(NAN)));
    route(req(22, 13, 0xFF, f32(INFINITY)));
    qel_ir_cursor.u8CurrentGroup = 6;
    route(req(22, 13, 0xFF, f32(2.0f)));
    qel_ir_cursor.u8CurrentGroup = 2;
    g_edit_result = -EBUSY;
    route(req(22, 13, 0xFF, f32(3.0f)));
    EXPECT_EQ(qel_ir_cursor.group[2].zero[0].flIrCursorOffsetX, 1.5f);
    EXPECT_EQ(g_staged.size(), 2u);
}

TEST_F(CommandTest, GroupChangeReseedsTheReticle)
{
    Qel_DevStatus *s = &qel_dev_status;
    qel_ir_cursor.u8CurrentGroup = 4;
    qel_ir_cursor.group[4].zero[0] = {100, 109, 650, 620, 0.5f, -0.25f};
    qel_ir_cursor.group[4].zero[1] = {200, 218, 1, 1, 9.0f, 9.0f};
    s->zoom_current = 0x0190;
    const bytes f = req(22, 6, 0xFF, {4});
    seen r = route(f);
    EXPECT_EQ(s->s16ReticlePositionX, 650);
    EXPECT_EQ(s->s16ReticlePositionY, 620);
    EXPECT_EQ(s->f32ReticleOffsetY, -0.25f);
    const bytes point = sim_frame(22, 3, 0xFF, 0, {0x8A, 0x02, 0x6C, 0x02, 0, 0, 0, 0x3F, 0, 0, 0x80, 0xBE});
    EXPECT_EQ(r.media, (std::vector<bytes>{point, sim_frame(1, 1, 0xF0, 0, {0x90, 0x01})}));
    /* Entering the reticle move fixes the zoom at 100; leaving restores it. */
    r = route(req(22, 11, 0xFF, {1}));
    EXPECT_EQ(r.media, std::vector<bytes>{sim_frame(1, 1, 0xF0, 0, {100, 0})});
    EXPECT_EQ(s->temp_one_flag, 1);
    r = route(req(22, 11, 0xFF, {0}));
    EXPECT_EQ(r.media, std::vector<bytes>{sim_frame(1, 1, 0xF0, 0, {0x90, 0})});
    EXPECT_EQ(s->temp_one_flag, 0);
    r = route(req(22, 0, 0xFF, {3}));
    EXPECT_EQ(r.media, std::vector<bytes>{req(22, 0, 0xFF, {3})});
}

/* Each profile row of the ballistic object, from its own reading of the
 * table: where the value lands and whether all six profiles take it. */
enum { ALL = 1, CUR = 0 };
struct bal_case {
    uint8_t sub, item;
    bool all_six;
    char kind; /* 'f' float, 'b' byte, 'w' two words */
    std::function<double(const Info_ballistics &)> read;
    std::function<double(const Info_ballistics &)> read2; /* the second word */
};

const bal_case kBallistic[] = {
    {1, 0, CUR, 'f', [](const Info_ballistics &p) { return p.gun.bullet.length; }, nullptr},
    {1, 1, CUR, 'f', [](const Info_ballistics &p) { return p.gun.bullet.diameter; }, nullptr},
    {1, 2, CUR, 'f', [](const Info_ballistics &p) { return p.gun.bullet.weight; }, nullptr},
    {1, 3, CUR, 'f', [](const Info_ballistics &p) { return p.gun.bullet.ballisticsCoef; }, nullptr},
    {1, 4, CUR, 'i', [](const Info_ballistics &p) { return p.gun.bullet.dragFunction; }, nullptr},
    {1, 5, CUR, 'f', [](const Info_ballistics &p) { return p.gun.bullet.velocity; }, nullptr},
    {2, 0, ALL, 'f', [](const Info_ballistics &p) { return p.gun.riflingRange; }, nullptr},
    {2, 1, ALL, 'b', [](const Info_ballistics &p) { return p.gun.direction; }, nullptr},
    {3, 0, CUR, 'b', [](const Info_ballistics &p) { return p.gun.bullet.isOpenAtmosphere; }, nullptr},
    {3, 1, CUR, 'f', [](const Info_ballistics &p) { return p.gun.bullet.atmosphere.temperature; }, nullptr},
    {3, 2, CUR, 'f', [](const Info_ballistics &p) { return p.gun.bullet.atmosphere.barometer; }, nullptr},
    {3, 3, CUR, 'f', [](const Info_ballistics &p) { return p.gun.bullet.atmosphere.relative_humidity; }, nullptr},
    {3, 4, ALL, 'b', [](const Info_ballistics &p) { return p.gun.bullet.zeroOffsetUnit; }, nullptr},
    {3, 5, ALL, 'f', [](const Info_ballistics &p) { return p.gun.bullet.zeroOffsetVerticalMOA; }, nullptr},
    {3, 6, ALL, 'f', [](const Info_ballistics &p) { return p.gun.bullet.zeroOffsetHorizontalMOA; }, nullptr},
    {3, 7, ALL, 'f', [](const Info_ballistics &p) { return p.gun.bullet.zeroOffsetVerticalMRAD; }, nullptr},
    {3, 8, ALL, 'f', [](const Info_ballistics &p) { return p.gun.bullet.zeroOffsetHorizontalMRAD; }, nullptr},
    {4, 0, ALL, 'f', [](const Info_ballistics &p) { return p.atmosphere.temperature; }, nullptr},
    {4, 1, ALL, 'f', [](const Info_ballistics &p) { return p.atmosphere.barometer; }, nullptr},
    {4, 2, ALL, 'f', [](const Info_ballistics &p) { return p.atmosphere.relative_humidity; }, nullptr},
    {5, 0, CUR, 'f', [](const Info_ballistics &p) { return p.gun.scope.sightHeightOverBore; }, nullptr},
    {5, 1, CUR, 'w', [](const Info_ballistics &p) { return p.gun.scope.zeroRange; },
     [](const Info_ballistics &p) { return p.gun.scope.zeroRange_yard; }},
    {5, 2, ALL, 'b', [](const Info_ballistics &p) { return p.gun.scope.unit; }, nullptr},
    {6, 0, ALL, 'f', [](const Info_ballistics &p) { return p.wind.angle; }, nullptr},
    {6, 1, ALL, 'f', [](const Info_ballistics &p) { return p.wind.speed; }, nullptr},
    {7, 0, ALL, 'w', [](const Info_ballistics &p) { return p.target.range; },
     [](const Info_ballistics &p) { return p.target.range_yard; }},
    {7, 1, ALL, 'f', [](const Info_ballistics &p) { return p.target.shootingAngle; }, nullptr},
    {8, 0, ALL, 'b', [](const Info_ballistics &p) { return p.corioliseffect.CoriolisEffectSwitch; }, nullptr},
    {8, 1, ALL, 'f', [](const Info_ballistics &p) { return p.corioliseffect.lat; }, nullptr},
    {8, 2, ALL, 'f', [](const Info_ballistics &p) { return p.corioliseffect.angle; }, nullptr},
    {9, 0, ALL, 'b', [](const Info_ballistics &p) { return p.spinDriftOpt; }, nullptr},
};

TEST_F(CommandTest, BallisticValuesReachTheirProfiles)
{
    for (const bal_case &c : kBallistic) {
        memset(&qel_ballistics, 0, sizeof(qel_ballistics));
        qel_ballistics.u8CurrentBallistics = 3;
        g_staged.clear();
        const std::string what = std::to_string(c.sub) + "/" + std::to_string(c.item);
        bytes payload;
        double want = 0, want2 = 0;
        if (c.kind == 'f' || c.kind == 'i') {
            payload = f32(c.kind == 'i' ? 7.9f : 12.25f);
            want = c.kind == 'i' ? 7 : 12.25; /* drag function truncated */
        } else if (c.kind == 'b') {
            payload = {1, 0, 0, 0};
            want = 1;
        } else {
            payload = {0x2C, 0x01, 0x48, 0x01}; /* 300 m, 328 yd */
            want = 300;
            want2 = 328;
        }
        seen s = route(req(27, c.sub, c.item, payload));
        EXPECT_TRUE(s.media.empty()) << what;
        ASSERT_EQ(g_staged.size(), 1u) << what;
        for (int i = 0; i < 6; i++) {
            const bool reached = c.all_six || i == 3;
            const Info_ballistics &p = qel_ballistics.ballistics[i];
            EXPECT_EQ(c.read(p), reached ? want : 0) << what << " profile " << i;
            if (c.read2) {
                EXPECT_EQ(c.read2(p), reached ? want2 : 0) << what << " profile " << i;
            }
            EXPECT_EQ(memcmp(&g_staged[0].vesk_ballistics.ballistics[i], &p, sizeof(p)), 0) << what;
        }
        /* A frame too short for a four-byte value is refused. */
        if (c.kind != 'b') {
            memset(&qel_ballistics, 0, sizeof(qel_ballistics));
            qel_ballistics.u8CurrentBallistics = 3;
            route(req(27, c.sub, c.item, {1}));
            EXPECT_EQ(c.read(qel_ballistics.ballistics[3]), 0) << what << " short";
            EXPECT_EQ(g_staged.size(), 1u) << what << " short";
        }
    }
}

TEST_F(CommandTest, BallisticValuesThatCannotBeStoredAreRefused)
{
    qel_ballistics.u8CurrentBallistics = 1;
    const bytes refused[] = {
        req(27, 6, 1, f32(NAN)),  req(27, 6, 1, f32(INFINITY)), req(27, 1, 2, f32(-INFINITY)),
        req(27, 1, 4, f32(3e9f)), req(27, 0, 4, {6, 0, 0, 0}),  req(27, 0, 4, {255, 0, 0, 0}),
        req(27, 0, 0, {}),        req(27, 1, 2, {1, 2, 3}),
    };
    for (auto &f : refused) {
        seen s = route(f);
        EXPECT_TRUE(s.calls.empty() && s.media.empty()) << sim_hex(f);
    }
    EXPECT_TRUE(g_staged.empty());
    EXPECT_EQ(qel_ballistics.u8CurrentBallistics, 1);
    /* A current profile index that is out of range refuses per-group values. */
    qel_ballistics.u8CurrentBallistics = 9;
    route(req(27, 1, 2, f32(150.0f)));
    EXPECT_TRUE(g_staged.empty());
    route(req(27, 6, 1, f32(3.0f))); /* all six needs no current profile */
    EXPECT_EQ(g_staged.size(), 1u);
}

TEST_F(CommandTest, BallisticSwitchesAndGroup)
{
    Qel_DevStatus *s = &qel_dev_status;
    qel_ballistics.u8CurrentBallistics = 2;
    const bytes on = req(27, 0, 0, {1, 0, 0, 0});
    seen r = route(on);
    EXPECT_EQ(qel_ballistics.ballistics[0].ballistics_sw, 1);
    EXPECT_EQ(qel_ballistics.ballistics[2].ballistics_sw, 0);
    EXPECT_EQ(s->ballistics_refresh, 1);
    EXPECT_EQ(r.media, std::vector<bytes>{on});
    s->ballistics_refresh = 0;
    route(req(27, 0, 1, {0, 0, 0, 0}));
    EXPECT_EQ(s->ballistics_refresh, 1);
    r = route(req(27, 0, 2, {1, 0, 0, 0}));
    EXPECT_EQ(r.calls, std::vector<std::string>{"Qel_DevStatusSet s8BallisticReticle 1 0"});
    const bytes color = req(27, 0, 3, {2, 0, 0, 0});
    r = route(color);
    EXPECT_EQ(s->s8BallisticReticleColor, 2);
    EXPECT_EQ(r.media, std::vector<bytes>{color});
    r = route(req(27, 0, 4, {5, 0, 0, 0}));
    EXPECT_EQ(qel_ballistics.u8CurrentBallistics, 5);
    EXPECT_EQ(s->s8BallisticGroup, 5);
    EXPECT_EQ(r.calls, std::vector<std::string>{"Qel_DevStatusSet s8BallisticGroup 5 0"});
    /* Unlisted rows still stage the profiles. */
    size_t staged = g_staged.size();
    route(req(27, 12, 0, {0, 0, 0, 0}));
    EXPECT_EQ(g_staged.size(), staged + 1);
    /* A refused edit drops the change and the forward. */
    g_edit_result = -EBUSY;
    r = route(req(27, 0, 0, {0, 0, 0, 0}));
    EXPECT_EQ(qel_ballistics.ballistics[0].ballistics_sw, 1);
    EXPECT_TRUE(r.media.empty());
}

} // namespace

namespace {

TEST_F(CommandTest, AxisHandlerPassesAFrameToTheMediaProcess)
{
    const bytes axis = req(12, 1, 2, {3, 4});
    int rc = 0;
    seen s = observe([&] { rc = msg_axisHandler(axis.data(), (int)axis.size()); });
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(s.media, std::vector<bytes>{axis});
    EXPECT_TRUE(s.gui.empty() && s.app.empty() && s.calls.empty());
    /* Nothing that cannot be a frame leaves. */
    s = observe([&] {
        EXPECT_EQ(msg_axisHandler(nullptr, 9), -1);
        EXPECT_EQ(msg_axisHandler(axis.data(), 8), -1);
        EXPECT_EQ(msg_axisHandler(axis.data(), -1), -1);
    });
    EXPECT_TRUE(s.media.empty());
}

TEST_F(CommandTest, FloatsBeyondAnIntegerGoOnlyIntoFloatFields)
{
    /* -1.6e38 and 3.4e38 are finite floats: a float or double field keeps
     * them, the integer drag-function field refuses them before any
     * conversion. */
    const float huge[] = {-1.6e38f, 3.4e38f, -2147483904.0f, 2147483648.0f};
    for (float f : huge) {
        memset(&qel_ballistics, 0, sizeof(qel_ballistics));
        g_staged.clear();
        route(req(27, 6, 1, f32(f))); /* wind speed, a double */
        EXPECT_EQ(ballistics_data.f_data, f);
        for (int i = 0; i < 6; i++) EXPECT_EQ(qel_ballistics.ballistics[i].wind.speed, (double)f) << f;
        route(req(27, 4, 0, f32(f))); /* weather temperature, a float */
        EXPECT_EQ(qel_ballistics.ballistics[5].atmosphere.temperature, f) << f;
        route(req(27, 1, 4, f32(f))); /* drag function, an integer */
        EXPECT_EQ(qel_ballistics.ballistics[0].gun.bullet.dragFunction, 0) << f;
        EXPECT_EQ(g_staged.size(), 2u) << f;
    }
    /* The integer field's own edges. */
    route(req(27, 1, 4, f32(-2147483648.0f)));
    EXPECT_EQ(qel_ballistics.ballistics[0].gun.bullet.dragFunction, INT32_MIN);
    route(req(27, 1, 4, f32(-7.9f)));
    EXPECT_EQ(qel_ballistics.ballistics[0].gun.bullet.dragFunction, -7);
}

TEST_F(CommandTest, RefusedSettingsAreNotPassedOn)
{
    /* The settings handler refused the value (out of what its loader
     * keeps): no module, peer or media process hears of it. */
    g_save_result = -1;
    const bytes frames[] = {req(28, 1, 0xFF, {255}), req(0, 0, 7, {5}), req(0, 0, 0, {1}), req(22, 0, 0xFF, {3}),
                            req(22, 6, 0xFF, {9})};
    for (const bytes &f : frames) {
        seen s = route(f);
        EXPECT_TRUE(s.media.empty()) << sim_hex(f);
        EXPECT_TRUE(s.app.empty()) << sim_hex(f);
        EXPECT_TRUE(s.gui.empty()) << sim_hex(f);
        EXPECT_EQ(s.calls.size(), 1u) << sim_hex(f); /* the handler alone */
    }
}

} // namespace
