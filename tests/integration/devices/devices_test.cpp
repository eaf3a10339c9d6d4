// sightd's devices as its peers see them: the key device's input events,
// the accelerometer, the battery and zoom-ring ADC channels and the USB
// registers played in the sandbox, the GUI stand-in, the media process and
// the rangefinder on the other side, and the board log for the board's
// controls.
#include <math.h>
#include <stdlib.h>
#include <unistd.h>

#include "scope_e2e.h"
#include "sim_iio.h"
#include "sim_usb.h"

namespace {

/* Report frames for the GUI. */
const sim_head key_frame = {0x07, 0x00, 0x00, 0x80};
const sim_head battery_frame = {0x0F, 0x00, 0x00, 0x80};
const sim_head usb_frame = {0x0F, 0x00, 0x01, 0x80};
const sim_head zoom_frame = {0x01, 0x01, 0x10, 0x80};
/* Zoom frames for the media process: the first at boot, then changes. */
const sim_head media_first_zoom = {0x01, 0x01, 0xF0, 0x00};
const sim_head media_zoom = {0x01, 0x01, 0x10, 0x00};
const sim_head result_frame = {0x1B, 0x0A, 0x00, 0x80};

/* The ring's factory ends (1000 and 12000 counts): a reading of c counts
 * is the reversed value 13000 - c on the ring's table. */
int ring_counts_for(int rev) { return 13000 - rev; }

struct Devices : ::testing::Test {
    sim_harness h;

    void SetUp() override { SCOPE_START(h, {"media", "gui"}); }
    SCOPE_STOP_AT_END(h)

    void boot_ready()
    {
        ASSERT_TRUE(h.boot_sightd()) << h.why;
        ASSERT_TRUE(h.send("gui", sim_gui_ready()));
    }
    /* The next frame of this kind at the GUI stand-in; empty after the deadline. */
    scope_frame next(const sim_head &head, int timeout_ms = SIM_REPLY_MS)
    {
        scope_frame f;
        if (!h.take("gui", head, timeout_ms, &f)) return {};
        return f;
    }
};

TEST_F(Devices, NothingReachesTheGuiBeforeItIsReady)
{
    ASSERT_TRUE(h.boot_sightd()) << h.why;
    ASSERT_TRUE(h.key("range")) << h.why;
    ASSERT_EQ(sim_usb_set(h.sb, true), 0);
    ASSERT_EQ(sim_adc_set_zoom_counts(h.sb, ring_counts_for(1000 + 100 * 31)), 0); /* x2: s = 31 */
    /* The media process has the first zoom (x1.0 at the ring's end) at once. */
    auto first = h.wait_frames("media", media_first_zoom, 1);
    ASSERT_EQ(first.size(), 1u) << h.why;
    EXPECT_EQ(first[0], sim_frame(1, 1, 0xF0, 0, {100, 0}));
    /* Keys are not held back: once the second key is in, the GUI has
     * had every report sightd sent before it. */
    ASSERT_TRUE(h.key("up")) << h.why;
    EXPECT_EQ(h.wait_frames("gui", key_frame, 2).size(), 2u);
    for (const sim_head &head : {battery_frame, usb_frame, zoom_frame})
        EXPECT_TRUE(h.frames("gui", head).empty()) << "a report before READY";
    EXPECT_TRUE(h.frames("media", media_zoom).empty());

    ASSERT_TRUE(h.send("gui", sim_gui_ready()));
    EXPECT_EQ(next(usb_frame), sim_frame(15, 0, 1, 0x80, {1, 0, 0, 0}));
    EXPECT_EQ(next(battery_frame), sim_frame(15, 0, 0, 0x80, {0x20, 0x03, 0, 0})); /* 8.00 V */
    EXPECT_EQ(next(zoom_frame), sim_frame(1, 1, 16, 0x80, {200, 0}));
    auto media = h.wait_frames("media", media_zoom, 1);
    ASSERT_EQ(media.size(), 1u);
    EXPECT_EQ(media[0], sim_frame(1, 1, 0x10, 0, {200, 0}));
}

TEST_F(Devices, KeysOnTheKeyDeviceReachTheGuiAsItsCodes)
{
    boot_ready();
    const struct {
        const char *name, *kind;
        int hold_ms;
        std::vector<int> codes;
    } rows[] = {
        {"range", "short", 0, {15}},        {"up", "short", 0, {0}},          {"ok", "long", 1500, {36, 37}},
        {"fn", "long", 1200, {13, 14}},     {"left+down", "short", 0, {18}},  {"up+ok+down", "short", 0, {21}},
        {"left+right", "long", 5600, {20}}, {"left+right", "long", 3000, {}}, /* let go before 5 s */
        {"power", "short", 0, {6}},         {"power", "double", 0, {19}},     {"power", "long", 1500, {7, 8}},
        {"down", "double", 0, {3, 3}}, /* two presses of another key */
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(std::string(r.name) + " " + r.kind);
        h.take_all("gui", key_frame);
        ASSERT_TRUE(h.key(r.name, r.kind, r.hold_ms)) << h.why;
        /* A single short press of the power key is known only once no
         * second one came within 400 ms. */
        if (strcmp(r.name, "power") == 0) usleep(600 * 1000);
        /* A marker key after the gesture: everything before it is in. */
        ASSERT_TRUE(h.key("right")) << h.why;
        std::vector<int> got;
        for (;;) {
            scope_frame f = next(key_frame);
            ASSERT_FALSE(f.empty()) << "the marker key never came";
            if (f[6] == 32) break; /* right, short */
            got.push_back(f[6]);
        }
        EXPECT_EQ(got, r.codes);
    }
}

TEST_F(Devices, TheZoomRingMovesTheMagnification)
{
    boot_ready();
    ASSERT_EQ(next(zoom_frame), sim_frame(1, 1, 16, 0x80, {100, 0}));
    const struct {
        int rev, zoom;
    } rows[] = {{13000 - 1000, 800}, {1000 + 180 * 31, 300}, {1000 + 150 * 31, 262}}; /* s = 11000 / 350 = 31 */
    for (const auto &r : rows) {
        SCOPED_TRACE(r.rev);
        ASSERT_EQ(sim_adc_set_zoom_counts(h.sb, ring_counts_for(r.rev)), 0);
        EXPECT_EQ(next(zoom_frame), sim_frame(1, 1, 16, 0x80, {(uint8_t)r.zoom, (uint8_t)(r.zoom >> 8)}));
        scope_frame m;
        ASSERT_TRUE(h.take("media", media_zoom, SIM_REPLY_MS, &m));
        EXPECT_EQ(m, sim_frame(1, 1, 0x10, 0, {(uint8_t)r.zoom, (uint8_t)(r.zoom >> 8)}));
    }
    /* 100 counts or less from the last reported reading: no news. */
    ASSERT_EQ(sim_adc_set_zoom_counts(h.sb, ring_counts_for(1000 + 150 * 31) + 100), 0);
    ASSERT_TRUE(h.key("up")) << h.why;
    ASSERT_FALSE(next(key_frame).empty());
    EXPECT_TRUE(h.take_all("gui", zoom_frame).empty());
}

TEST_F(Devices, BatteryAndUsb)
{
    boot_ready();
    EXPECT_EQ(next(usb_frame), sim_frame(15, 0, 1, 0x80, {0, 0, 0, 0}));
    EXPECT_EQ(next(battery_frame), sim_frame(15, 0, 0, 0x80, {0x20, 0x03, 0, 0}));
    /* A low battery reaches the GUI as its average of five readings. */
    ASSERT_EQ(sim_adc_set_battery(h.sb, 5.5), 0);
    scope_frame low = next(battery_frame, 30000 * SIM_SLOW);
    ASSERT_FALSE(low.empty());
    EXPECT_NEAR(low[6] | low[7] << 8, 550, 1);
    /* Plugged: reported; unplugged: the battery first, then the USB state. */
    ASSERT_EQ(sim_usb_set(h.sb, true), 0);
    EXPECT_EQ(next(usb_frame), sim_frame(15, 0, 1, 0x80, {1, 0, 0, 0}));
    h.take_all("gui");
    ASSERT_EQ(sim_usb_set(h.sb, false), 0);
    EXPECT_EQ(next(usb_frame), sim_frame(15, 0, 1, 0x80, {0, 0, 0, 0}));
    auto order = h.frames("gui", [](const scope_frame &f) { return f.size() > 6 && f[2] == 0x0F; });
    size_t unplugged = order.size();
    for (size_t i = 0; i < order.size(); i++)
        if (usb_frame(order[i]) && order[i][6] == 0) unplugged = i;
    ASSERT_TRUE(unplugged > 0 && unplugged < order.size());
    EXPECT_TRUE(battery_frame(order[unplugged - 1])) << "the battery before the USB state";
}

TEST_F(Devices, ATiltChangesTheShotAngleOfTheHoldOver)
{
    ASSERT_NE(h.lrf(), nullptr) << h.why;
    boot_ready();
    ASSERT_TRUE(h.send("gui", scope_request(0x1B, 0x00, 0x00, 0x01))); /* ballistics on */
    auto hold_at = [&](float pitch_deg, const char *range) {
        EXPECT_EQ(sim_iio_set_attitude(h.sb, pitch_deg, 0, 0), 0);
        /* The compass reports the pitch only when its display is on; the
         * ballistic thread reads it directly, so give the filters time by
         * watching the result frames for the pitch. */
        const float distance = (float)atof(range);
        scope_frame f;
        for (int tries = 0; tries < 20; tries++) {
            EXPECT_TRUE(h.lrf_command(std::string("range ") + range));
            auto at_range = [&](const scope_frame &x) {
                return result_frame(x) && x.size() == 29 && fabsf(scope_float_at(x, 14) - distance) < 0.05f;
            };
            const size_t before = h.frames("gui", at_range).size();
            EXPECT_TRUE(h.send("gui", scope_request(0x04, 0x00, 0xFF, 0x01)));
            auto r = h.wait_frames("gui", at_range, before + 1);
            f = r.empty() ? scope_frame() : r.back();
            if (!f.empty() && fabsf(scope_float_at(f, 18) - pitch_deg) < 0.2f) break;
        }
        return f;
    };
    scope_frame level = hold_at(0, "456.7");
    scope_frame up = hold_at(20, "456.8");
    ASSERT_EQ(level.size(), 29u);
    ASSERT_EQ(up.size(), 29u);
    EXPECT_NEAR(scope_float_at(level, 18), 0.0, 0.1);
    EXPECT_NEAR(scope_float_at(up, 18), 20.0, 0.1);
    /* Shooting uphill the bullet drops less than on the level: its impact,
     * below the line of sight (negative), lies higher. */
    EXPECT_GT(scope_float_at(up, 6), scope_float_at(level, 6) + 0.3f);
}

TEST_F(Devices, BoardControlsReachTheBoard)
{
    ASSERT_TRUE(h.boot_sightd()) << h.why;
    /* At start: the serial line routed to 0 (no card file). */
    auto uart = [&] {
        std::vector<std::string> values;
        for (const std::string &l : h.board_log("ioctl"))
            if (sim_log_field(l, "node") == "/dev/uart_switch") values.push_back(sim_log_field(l, "value"));
        return values;
    };
    EXPECT_TRUE(h.wait(SIM_REPLY_MS, [&] { return !uart().empty(); }));
    EXPECT_EQ(uart(), (std::vector<std::string>{"0"}));
    /* The aiming laser, from the GUI: an 8-byte write of 1, then of 0. */
    ASSERT_TRUE(h.send("gui", scope_request(0x00, 0x00, 22, 1)));
    ASSERT_TRUE(h.send("gui", scope_request(0x00, 0x00, 22, 7)));
    auto laser = [&] {
        std::vector<std::string> out;
        for (const std::string &l : h.board_log("ioctl"))
            if (sim_log_field(l, "node") == "/dev/hardware" && sim_log_field(l, "nr") == "3")
                out.push_back(sim_log_field(l, "size") + ":" + sim_log_field(l, "value"));
        return out;
    };
    EXPECT_TRUE(h.wait(SIM_REPLY_MS, [&] { return laser().size() >= 2; }));
    EXPECT_EQ(laser(), (std::vector<std::string>{"8:1", "8:0"}));
    /* The serial-line switch from the GUI. */
    ASSERT_TRUE(h.send("gui", scope_request(0x00, 0x00, 18, 2)));
    EXPECT_TRUE(h.wait(SIM_REPLY_MS, [&] { return uart().size() >= 2; }));
    EXPECT_EQ(uart(), (std::vector<std::string>{"0", "2"}));
    /* The clocks: 2024-02-29 13:05:09. */
    ASSERT_TRUE(h.run({"board-probe", "rtc", "13", "5", "9", "2024", "2", "29"}, SIM_REPLY_MS)) << h.why;
    ASSERT_TRUE(h.run({"board-probe", "clock", "13", "5", "9", "2024", "2", "29"}, SIM_REPLY_MS)) << h.why;
    std::string rtc, clock;
    for (const std::string &l : h.board_log("ioctl"))
        if (sim_log_field(l, "node") == "/dev/rtc0") rtc = l;
    for (const std::string &l : h.board_log("settimeofday")) clock = l;
    for (const char *field :
         {"year=124", "mon=1", "mday=29", "hour=13", "min=5", "sec=9", "wday=0", "yday=0", "isdst=0", "rc=0"})
        EXPECT_NE(rtc.find(field), std::string::npos) << field << " in " << rtc;
    EXPECT_EQ(sim_log_field(clock, "sec"), "1709211909") << clock; /* UTC: the sandbox has no local zone */
    EXPECT_EQ(sim_log_field(clock, "usec"), "0");
}

TEST_F(Devices, TheCardFileRoutesTheSerialLineToTheArmSide)
{
    ASSERT_EQ(sim_write_file(h.sb, "/usrdata/media/UART_SWITCH_ARM.cfg", ""), 0);
    ASSERT_TRUE(h.boot_sightd()) << h.why;
    EXPECT_TRUE(h.wait(SIM_REPLY_MS, [&] {
        for (const std::string &l : h.board_log("ioctl"))
            if (sim_log_field(l, "node") == "/dev/uart_switch") return sim_log_field(l, "value") == "2";
        return false;
    }));
}

} // namespace
