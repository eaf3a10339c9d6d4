// The routers as the GUI stand-in and the modules on the app bus see them.
#include "notifier.h"

#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

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
        sim_peer_clear(gui);
        notifier_ui(nullptr, nullptr, evtype, event.data(), (int)event.size());
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
    {2, 0, 1, 2},    {3, 3, 4, 5},    {8, 6, 7, 8},    {6, 12, 13, 14}, {7, 15, 16, 17}, {4, 23, 24, 25},
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
        {{7, 8, 0, 0}, -1}, {{7, 8, 2, 0}, 7}, {{7, 8, 3, 0}, 8}, {{7, 8, 2, 1}, -1},
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
        {MAIN_NOTIFIER_HTTP, phone, 244}, {MAIN_NOTIFIER_HTTP, wind, 0},  {MAIN_NOTIFIER_HTTP, bad, 0},
        {MAIN_NOTIFIER_BLE, wind, 29},    {MAIN_NOTIFIER_BLE, phone, 0},  {MAIN_NOTIFIER_APP, phone, 0},
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
