// The board module as its peers see it: the zoom ring's table, dead band
// and limits, the USB state from the controller's registers, the factory
// reset's access-point names and hooks, and the basic commands.
#include "qel_other.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include <string>
#include <vector>

#include "bus_capture.h"
#include "qel_dev_status.h"
#include "qel_power.h"
#include "sim_peer.h"
#include "vesk_frame.h"
#include "vesk_lifecycle.h"
#include "vesk_msg.h"

namespace {

typedef std::vector<int> Ints;
typedef std::vector<uint8_t> Bytes;

TEST(ZoomRing, TableOfTheRing)
{
    vesk_zoom_map map;
    ASSERT_EQ(vesk_zoom_limits(1000, 4500, &map), 0);
    const struct {
        int rev, zoom;
    } rows[] = {
        {4600, 800}, {4500, 800}, {4499, 799}, {4300, 700}, {4100, 600}, {3800, 500}, {3400, 400}, {2800, 300},
        {2000, 200}, {1800, 180}, {1500, 150}, {1010, 101}, {1000, 100}, {999, 100},  {0, 100},
    };
    for (const auto &r : rows) EXPECT_EQ(vesk_zoom_of(&map, r.rev), r.zoom) << "rev " << r.rev;
}

TEST(ZoomRing, LimitsAreOrderedClampedOrRefused)
{
    const struct {
        int min, max, ok, want_min, want_max;
    } rows[] = {
        {1000, 4500, 1, 1000, 4500},
        {4500, 1000, 1, 1000, 4500},
        {200, 20000, 1, 1000, 12000},
        {1000, 1349, 0, 0, 0},
        {1000, 1350, 1, 1000, 1350},
        {5000, 5000, 0, 0, 0},
        {0, 0, 0, 0, 0},
        {13000, 14000, 0, 0, 0},
    };
    for (const auto &r : rows) {
        vesk_zoom_map map = {0, 0};
        EXPECT_EQ(vesk_zoom_limits(r.min, r.max, &map) == 0, (bool)r.ok) << r.min << ".." << r.max;
        if (!r.ok) continue;
        EXPECT_EQ(map.min, r.want_min);
        EXPECT_EQ(map.max, r.want_max);
    }
}

/* A date set on the clock reads back as the same fields in any zone: both
 * programs read it with gmtime, so the seconds handed to the board must be
 * those of the fields taken as UTC. */
TEST(Clock, ADateSetReadsBackUnchangedInAnyZone)
{
    char dir[] = "/tmp/clock-test-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string log = std::string(dir) + "/board.log";
    setenv("VESK_BOARD_LOG", log.c_str(), 1);
    const char *old_tz = getenv("TZ");
    const std::string kept = old_tz ? old_tz : "";
    const struct {
        int year, month, day, hour, minute, second;
    } dates[] = {{2024, 2, 29, 23, 59, 59}, {2023, 1, 1, 0, 0, 0}, {2099, 12, 31, 12, 30, 5}, {2026, 7, 1, 2, 30, 0}};
    for (const char *zone : {"UTC", "UTC-9", "UTC+5", "EST5EDT,M3.2.0,M11.1.0"}) {
        setenv("TZ", zone, 1);
        tzset();
        for (const auto &d : dates) {
            SCOPED_TRACE(testing::Message() << zone << " " << d.year << "-" << d.month << "-" << d.day << " " << d.hour
                                            << ":" << d.minute << ":" << d.second);
            unlink(log.c_str());
            ASSERT_EQ(sys_set_time(d.hour, d.minute, d.second, d.year, d.month, d.day), 0);
            std::ifstream in(log);
            std::stringstream text;
            text << in.rdbuf();
            const size_t at = text.str().find("call=settimeofday sec=");
            ASSERT_NE(at, std::string::npos) << text.str();
            const time_t sec = (time_t)atoll(text.str().c_str() + at + strlen("call=settimeofday sec="));
            struct tm back;
            ASSERT_NE(gmtime_r(&sec, &back), nullptr);
            EXPECT_EQ(back.tm_year + 1900, d.year);
            EXPECT_EQ(back.tm_mon + 1, d.month);
            EXPECT_EQ(back.tm_mday, d.day);
            EXPECT_EQ(back.tm_hour, d.hour);
            EXPECT_EQ(back.tm_min, d.minute);
            EXPECT_EQ(back.tm_sec, d.second);
        }
    }
    if (old_tz) {
        setenv("TZ", kept.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
    unsetenv("VESK_BOARD_LOG");
    unlink(log.c_str());
    rmdir(dir);
}

class Board : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(sim_peer_private_ipc(), 0); }
    BusCapture capture;
    sim_peer *media = nullptr, *http = nullptr, *ble = nullptr, *gui = nullptr;

    void SetUp() override
    {
        memset(&qel_dev_status, 0, sizeof qel_dev_status);
        ASSERT_EQ(Qel_MsgEvent_Init(nullptr), 0);
        media = sim_peer_start(SIM_PEER_MEDIA, nullptr);
        http = sim_peer_start(SIM_PEER_HTTP, nullptr);
        ble = sim_peer_start(SIM_PEER_BLE, nullptr);
        gui = sim_peer_start(SIM_PEER_GUI, nullptr);
        ASSERT_TRUE(media && http && ble && gui);
        vesk_zoom_reset(capture.bus());
        vesk_usb_reset(capture.bus());
        qel_dev_status.s16RangeMinScale = 1000;
        qel_dev_status.s16RangeMaxScale = 4500;
    }
    void TearDown() override
    {
        vesk_zoom_reset(nullptr);
        vesk_usb_reset(nullptr);
        for (sim_peer *p : {media, http, ble, gui}) sim_peer_stop(p);
        Qel_MsgEvent_Deinit();
    }
    /* Frames a peer got, after a marker sent the same way shows all are in. */
    std::vector<Bytes> frames(sim_peer *peer, size_t at_least)
    {
        EXPECT_TRUE(sim_peer_wait(peer, at_least, 5000));
        usleep(20 * 1000); /* a frame more than expected would be in by now */
        std::vector<Bytes> out;
        for (auto &r : sim_peer_received(peer)) out.push_back(r.frame);
        sim_peer_clear(peer);
        return out;
    }
};

TEST_F(Board, ZoomGoesToTheMediaFirstAndToTheGuiOnceReady)
{
    /* raw = min + max - rev: 1000 + 4500 - rev */
    get_zoom_by_voltage(5500 - 4300); /* x7 */
    EXPECT_EQ(frames(media, 1), (std::vector<Bytes>{sim_frame(1, 1, 0xF0, 0, {0xBC, 0x02})}));
    get_zoom_by_voltage(5500 - 2000);
    EXPECT_TRUE(capture.take_payloads().empty()) << "nothing to the GUI before it is ready";

    qel_dev_status.ui_ready = 1;
    get_zoom_by_voltage(5500 - 2000); /* x2 */
    EXPECT_EQ(capture.take_payloads(), (std::vector<Ints>{{245, 1, 16, 200, 0}}));
    EXPECT_EQ(qel_dev_status.zoom_current, 200);
    EXPECT_EQ(qel_dev_status.zoom_send_state, 1);
    auto m = frames(media, 1);
    ASSERT_FALSE(m.empty());
    EXPECT_EQ(m.back(), sim_frame(1, 1, 0x10, 0, {200, 0}));

    /* Within 100 counts of the last reported reading: nothing at all. */
    for (int d : {-100, -50, 40, 100}) get_zoom_by_voltage(5500 - 2000 + d);
    EXPECT_TRUE(capture.take_payloads().empty());
    get_zoom_by_voltage(5500 - 2000 - 101 - 400); /* rev 2501: x2.62 */
    EXPECT_EQ(capture.take_payloads(), (std::vector<Ints>{{245, 1, 16, 0x06, 0x01}}));
}

TEST_F(Board, NarrowLimitsAreRefusedAndTheLastGoodMappingKept)
{
    qel_dev_status.ui_ready = 1;
    qel_dev_status.zoom_send_media = 1;
    get_zoom_by_voltage(5500 - 4300);
    EXPECT_EQ(capture.take_payloads(), (std::vector<Ints>{{245, 1, 16, 0xBC, 0x02}}));
    /* The PC link stores a span of 300 counts: s would be 0. */
    qel_dev_status.s16RangeMinScale = 2000;
    qel_dev_status.s16RangeMaxScale = 2300;
    get_zoom_by_voltage(5500 - 1500); /* with 1000..4500 still: x1.5 */
    EXPECT_EQ(capture.take_payloads(), (std::vector<Ints>{{245, 1, 16, 150, 0}}));
    qel_dev_status.s16RangeMinScale = 1000;
    qel_dev_status.s16RangeMaxScale = 8000; /* sound again: s = 20 */
    get_zoom_by_voltage(9000 - 8000);
    EXPECT_EQ(capture.take_payloads(), (std::vector<Ints>{{245, 1, 16, 0x20, 0x03}}));
}

/* Controller registers: the status word at 0, the charger line at 2056. */
struct Regs {
    alignas(4) uint8_t bytes[VESK_USB_REG_BYTES] = {};
    void set(size_t off, uint32_t v) { memcpy(bytes + off, &v, 4); }
};

Regs *g_regs;
int g_line;
void line_moves(int) { g_regs->set(2056, (uint32_t)(++g_line) << 8); }
void line_still(int) {}

TEST_F(Board, UsbStateFromTheRegisters)
{
    Regs regs;
    g_regs = &regs;
    EXPECT_EQ(vesk_usb_state(regs.bytes, line_still), 0);
    regs.set(0, 0x40000);
    regs.set(2056, 0x1234500);
    EXPECT_EQ(vesk_usb_state(regs.bytes, line_still), 1);
    regs.set(0, 0x80000 | 0x3);
    EXPECT_EQ(vesk_usb_state(regs.bytes, line_moves), 2);
    regs.set(0, 0x3FFFF);
    EXPECT_EQ(vesk_usb_state(regs.bytes, line_moves), 0);
}

TEST_F(Board, UsbChangesReachTheGuiAndThePhone)
{
    vesk_usb_step(1);
    EXPECT_TRUE(capture.take_payloads().empty()) << "nothing before the GUI is ready";
    EXPECT_EQ(qel_dev_status.usb_state_current, 1);
    qel_dev_status.ui_ready = 1;
    vesk_usb_step(1);
    vesk_usb_step(1);
    vesk_usb_step(2); /* still a supply */
    vesk_usb_step(0); /* unplugged: the battery first */
    auto got = capture.take_payloads();
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0], (Ints{15, 1, 0, 1}));
    EXPECT_EQ(got[1], (Ints{15, 1, 0, 1}));
    EXPECT_EQ(got[2][0], 15);
    EXPECT_EQ(got[2][3], 0) << "a battery report";
    EXPECT_EQ(got[3], (Ints{15, 0, 0, 1}));
    EXPECT_EQ(qel_dev_status.usb_send_state, 1);
    EXPECT_EQ(qel_dev_status.battery_refresh, 1);
    auto h = frames(http, 4);
    ASSERT_EQ(h.size(), 4u);
    EXPECT_EQ(h[0], sim_frame(244, 0, 11, 0, {1}));
    EXPECT_EQ(h[2][4], 12);
    EXPECT_EQ(h[3], sim_frame(244, 0, 11, 0, {0}));
}

TEST(FactoryReset, AccessPointNames)
{
    const struct {
        const char *sn, *ssid;
    } rows[] = {
        {"AB-12_x9", "VeskNV_AB-12_x9_NuraxPRO520_LRF"},
        {"123456789", "VeskNV_123456789_NuraxPRO520_LRF"},
        {"1234567890", "VeskNV_SN_NuraxPRO520_LRF"}, /* 33 characters: too long */
        {"AB 12", "VeskNV_SN_NuraxPRO520_LRF"},
        {"", "VeskNV_SN_NuraxPRO520_LRF"},
        {"A/B", "VeskNV_SN_NuraxPRO520_LRF"},
        {"Ab\xC3\xA9", "VeskNV_SN_NuraxPRO520_LRF"},
    };
    for (const auto &r : rows) {
        char ssid[64];
        vesk_other_reset_ssid(r.sn, ssid, sizeof ssid);
        EXPECT_STREQ(ssid, r.ssid) << r.sn;
        EXPECT_LE(strlen(ssid), (size_t)VESK_SSID_MAX);
    }
    char ssid[64];
    vesk_other_reset_ssid(nullptr, ssid, sizeof ssid);
    EXPECT_STREQ(ssid, "VeskNV_SN_NuraxPRO520_LRF");
}

TEST(FactoryReset, AnAbandonedResetRestoresTheImage)
{
    memset(&qel_dev_status, 0, sizeof qel_dev_status);
    const int before[7] = {9, 8, 3, 1, 1, 77, 2};
    memcpy(qel_dev_status.irParam, before, sizeof before);
    qel_dev_status.s8HotTrack = 1;
    vesk_other_reset_prepublish(nullptr);
    const int factory[7] = {5, 4, 1, 0, 0, 77, 1};
    EXPECT_EQ(0, memcmp(qel_dev_status.irParam, factory, sizeof factory));
    EXPECT_EQ(qel_dev_status.s8HotTrack, 0);
    EXPECT_EQ(qel_dev_status.is_factory, 1);
    vesk_other_cancel_factory_state(5);
    EXPECT_EQ(0, memcmp(qel_dev_status.irParam, before, sizeof before));
    EXPECT_EQ(qel_dev_status.s8HotTrack, 1);
    EXPECT_EQ(qel_dev_status.is_factory, 0);

    vesk_other_format_prepublish(nullptr);
    EXPECT_EQ(qel_dev_status.is_factory, 1);
    qel_dev_status.irParam[0] = 3;
    vesk_other_cancel_factory_state(6); /* a format: only the flag */
    EXPECT_EQ(qel_dev_status.is_factory, 0);
    EXPECT_EQ(qel_dev_status.irParam[0], 3);
    vesk_other_format_prepublish(nullptr);
    vesk_other_cancel_factory_state(1); /* not a reset or format: nothing */
    EXPECT_EQ(qel_dev_status.is_factory, 1);
}

void command(uint8_t item, uint8_t value)
{
    const Bytes frame = sim_frame(0, 0, item, 0, {value});
    notifier_other(nullptr, nullptr, SUB_NOTIFIER_IMAGE, frame.data(), (int)frame.size());
}

TEST_F(Board, CommandsToTheMediaAndTheWindMeter)
{
    command(26, 1);
    command(27, 0);
    EXPECT_EQ(frames(media, 2), (std::vector<Bytes>{sim_frame(0, 0, 26, 0, {1}), sim_frame(0, 0, 27, 0, {0})}));
    qel_dev_status.wind_speed_now = 7;
    command(34, 1);
    auto b = frames(ble, 1);
    ASSERT_EQ(b.size(), 1u);
    /* Ten bytes with the length byte 8 and the sum of the first seven. */
    EXPECT_EQ(b[0], (Bytes{0xAA, 0x08, 0x1D, 0x00, 0xFF, 0x00, 0x01, 0xCF, 0xEB, 0xAA}));
    EXPECT_EQ(qel_dev_status.s8WindBalSwitch, 1);
    EXPECT_EQ(qel_dev_status.wind_speed_now, 0);
    /* Too short for a value, another event type, an unknown item: nothing. */
    const Bytes bare = sim_frame(0, 0, 26, 0);
    notifier_other(nullptr, nullptr, SUB_NOTIFIER_IMAGE, bare.data(), (int)bare.size());
    const Bytes f = sim_frame(0, 0, 26, 0, {1});
    notifier_other(nullptr, nullptr, SUB_NOTIFIER_IR, f.data(), (int)f.size());
    command(99, 1);
    usleep(50 * 1000);
    EXPECT_EQ(sim_peer_count(media), 0u);
}

TEST_F(Board, FactoryResetAndFormatGoThroughTheLifecycle)
{
    ASSERT_EQ(vesk_lifecycle_start(), 0);
    qel_dev_status.irParam[0] = 9;
    command(11, 1); /* the reset hook runs once the request is admitted */
    EXPECT_EQ(qel_dev_status.irParam[0], 5);
    EXPECT_EQ(qel_dev_status.is_factory, 1);
    vesk_other_cancel_factory_state(5);
    EXPECT_EQ(qel_dev_status.irParam[0], 9);
    /* The coordinator takes one request at a time; the format hook runs
     * once it is free again. */
    for (int i = 0; i < 500 && qel_dev_status.is_factory == 0; i++) {
        command(12, 1);
        usleep(10 * 1000);
    }
    EXPECT_EQ(qel_dev_status.is_factory, 1);
    vesk_lifecycle_stop();
}

TEST_F(Board, SelfInspection)
{
    event_handle *app = nullptr;
    ASSERT_EQ(event_create(&app, 30, nullptr), 0);
    ASSERT_EQ(Qel_SelfInit(capture.bus(), app), 0);
    const Bytes storage = sim_frame(11, 0, 0, 0, {0});
    const Bytes repeat = sim_frame(11, 0, 0, 0, {3, 0x42});
    const Bytes other = sim_frame(11, 0, 0, 0, {9});
    for (const Bytes &f : {storage, repeat, other}) notifier_self(nullptr, nullptr, 11, f.data(), (int)f.size());
    const int media = access("/usrdata/media", F_OK) == 0 ? 1 : 2;
    EXPECT_EQ(capture.take_payloads(), (std::vector<Ints>{{11, 5, 0, 1, 7, media}, {11, 5, 0, 1, 3, 0x42}}));
    event_destroy(&app);
}

} // namespace
