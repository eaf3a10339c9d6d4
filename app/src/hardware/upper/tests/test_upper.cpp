// The PC tool's link as the tool sees it: frames cut out of a noisy line,
// every read answered byte for byte, writes that reach the settings, the
// EEPROM record, the GUI, the media process and the factory reset, and
// the identity and clock rules. Frames here are written from the line's
// layout, not with the module's codec.
#include "upper.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sched.h>
#include <string.h>
#include <sys/mount.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "bus_capture.h"
#include "iniparser_handler.h"
#include "persist_fixture.h"
#include "qel_dev_status.h"
#include "qel_power.h"
#include "sim_ns.h"
#include "sim_peer.h"
#include "version.h"
#include "vesk_msg.h"
#include "vesk_persist.h"

namespace {

typedef std::vector<uint8_t> Bytes;

uint8_t sum(const Bytes &b, size_t n)
{
    unsigned s = 0;
    for (size_t i = 0; i < n; i++) s += b[i];
    return (uint8_t)s;
}

Bytes framed(uint8_t head, uint8_t cls, uint8_t obj, uint8_t item, uint8_t dir, const Bytes &data)
{
    Bytes f = {head, (uint8_t)(data.size() + 6), cls, obj, item, dir};
    f.insert(f.end(), data.begin(), data.end());
    f.push_back(sum(f, f.size()));
    f.push_back(0xEB);
    f.push_back(0xAA);
    return f;
}
Bytes tool(uint8_t cls, uint8_t obj, uint8_t item, uint8_t dir, const Bytes &data = {})
{
    return framed(0xCC, cls, obj, item, dir, data);
}
Bytes answer(uint8_t cls, uint8_t obj, uint8_t item, const Bytes &data)
{
    return framed(0x55, cls, obj, item, 0x81, data);
}
Bytes gui(uint8_t obj, uint8_t sub, uint8_t item, uint8_t flag, const Bytes &data)
{
    return framed(0xAA, obj, sub, item, flag, data);
}
Bytes text(const std::string &s) { return Bytes(s.begin(), s.end()); }
Bytes le16(int v) { return {(uint8_t)(v & 0xFF), (uint8_t)((v >> 8) & 0xFF)}; }
Bytes cat(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

/* ---- the codec alone --------------------------------------------------- */

std::vector<Bytes> cut(const Bytes &line, size_t piece, int *dropped)
{
    vesk_upper_rx rx;
    vesk_upper_rx_init(&rx);
    std::vector<Bytes> frames;
    *dropped = 0;
    for (size_t at = 0; at < line.size();) {
        size_t n = std::min(piece, line.size() - at);
        at += vesk_upper_rx_put(&rx, line.data() + at, n, 0);
        uint8_t out[255];
        int got;
        while ((got = vesk_upper_rx_step(&rx, out)) != 0) {
            if (got < 0)
                (*dropped)++;
            else
                frames.push_back(Bytes(out, out + got));
        }
        EXPECT_LE(vesk_upper_rx_used(&rx), 255u);
    }
    return frames;
}

/* A frame-shaped run with this length byte and its trailer in place. */
Bytes shaped(uint8_t len)
{
    Bytes b(len + 3u, 0x00);
    b[0] = 0xCC;
    b[1] = len;
    b[len + 1u] = 0xEB;
    b[len + 2u] = 0xAA;
    return b;
}

TEST(UpperCodec, FramesAreCutOutOfTheLineAByteAtATime)
{
    const Bytes probe = tool(0, 0x1A, 0, 1, {0});
    Bytes bad_sum = probe;
    bad_sum[bad_sum.size() - 3] ^= 1;
    Bytes bad_tail = probe;
    bad_tail.back() = 0xAB;
    const struct {
        const char *name;
        Bytes line;
        std::vector<Bytes> frames;
        int dropped;
    } rows[] = {
        {"a frame alone", probe, {probe}, 0},
        {"garbage first", cat({0x00, 0x11, 0xCC, 0xCC, 0x55, 0xEB, 0xAA}, probe), {probe}, 7},
        {"length 0x55 is never taken", cat(shaped(0x55), probe), {probe}, 0x55 + 3},
        {"length 0xCC is never taken", cat(shaped(0xCC), probe), {probe}, 0xCC + 3},
        {"too short a length", cat({0xCC, 0x05, 0, 0, 0, 0xEB, 0xAA}, probe), {probe}, 7},
        {"a bad trailer", cat(bad_tail, probe), {probe}, (int)probe.size()},
        {"the checksum is left to the handler", bad_sum, {bad_sum}, 0},
        {"two frames back to back", cat(probe, tool(0x0F, 0, 0, 1)), {probe, tool(0x0F, 0, 0, 1)}, 0},
        {"the longest frame", shaped(252), {shaped(252)}, 0},
    };
    for (const auto &r : rows) {
        for (size_t piece : {(size_t)1, (size_t)7, (size_t)256}) {
            int dropped = 0;
            EXPECT_EQ(cut(r.line, piece, &dropped), r.frames) << r.name << ", pieces of " << piece;
            EXPECT_EQ(dropped, r.dropped) << r.name << ", pieces of " << piece;
        }
    }
    EXPECT_TRUE(vesk_upper_frame_sound(probe.data(), (int)probe.size()));
    EXPECT_FALSE(vesk_upper_frame_sound(bad_sum.data(), (int)bad_sum.size()));
}

/* Bursts of bytes as the line delivers them, each at its time in ms; an
 * empty burst is a quiet poll. The frames taken out, in order. */
struct Burst {
    uint64_t at_ms;
    Bytes bytes;
};
std::vector<Bytes> cut_timed(const std::vector<Burst> &line)
{
    vesk_upper_rx rx;
    vesk_upper_rx_init(&rx);
    std::vector<Bytes> frames;
    for (const Burst &b : line) {
        for (size_t at = 0; at < b.bytes.size() || at == 0;) {
            at += vesk_upper_rx_put(&rx, b.bytes.data() + at, b.bytes.size() - at, b.at_ms);
            uint8_t out[255];
            int got;
            while ((got = vesk_upper_rx_step(&rx, out)) != 0)
                if (got > 0) frames.push_back(Bytes(out, out + got));
            if (b.bytes.empty()) break;
        }
    }
    return frames;
}

TEST(UpperCodec, APartialFrameIsDroppedAfterASilenceOnTheLine)
{
    const Bytes probe = tool(0, 0x1A, 0, 1, {0});
    const Bytes head(probe.begin(), probe.begin() + 5), rest(probe.begin() + 5, probe.end());
    const Bytes longest = shaped(252), longest_head(longest.begin(), longest.begin() + 200);
    const struct {
        const char *name;
        std::vector<Burst> line;
        std::vector<Bytes> frames;
    } rows[] = {
        {"a stray start byte and a length, then the request", {{0, {0xCC, 0x20}}, {100, probe}}, {probe}},
        {"a lone stray start byte, then the request", {{0, {0xCC}}, {100, probe}}, {probe}},
        {"a garbage tail ending in a start byte", {{0, {0x12, 0x34, 0xEB, 0xCC}}, {60, probe}}, {probe}},
        {"a torn request, then the request again", {{0, head}, {50, probe}}, {probe}},
        {"a torn longest frame, then the request", {{0, longest_head}, {70, probe}}, {probe}},
        {"a request behind a stray start byte is taken when the line goes quiet",
         {{0, cat({0xCC, 0x30}, probe)}, {100, {}}},
         {probe}},
        {"a request whose halves come 49 ms apart is whole", {{0, head}, {49, rest}}, {probe}},
        {"a request whose halves come 50 ms apart is torn", {{0, head}, {50, rest}, {300, probe}}, {probe}},
        {"a quiet poll within the bound keeps a partial frame", {{0, head}, {30, {}}, {45, rest}}, {probe}},
        {"a quiet poll past the bound tears it", {{0, head}, {60, {}}, {70, rest}, {200, probe}}, {probe}},
        {"a request behind a stray start byte is taken when more comes",
         {{0, cat({0xCC, 0x30}, probe)}, {80, probe}},
         {probe, probe}},
    };
    for (const auto &r : rows) EXPECT_EQ(cut_timed(r.line), r.frames) << r.name;
}

TEST(UpperCodec, TheRingHoldsAtMost255Bytes)
{
    vesk_upper_rx rx;
    vesk_upper_rx_init(&rx);
    Bytes junk(300, 0x11);
    EXPECT_EQ(vesk_upper_rx_put(&rx, junk.data(), junk.size(), 0), 255u);
    EXPECT_EQ(vesk_upper_rx_room(&rx), 0u);
    uint8_t out[255];
    EXPECT_EQ(vesk_upper_rx_step(&rx, out), -1);
    EXPECT_EQ(vesk_upper_rx_used(&rx), 254u);
}

TEST(UpperCodec, IdentityTexts)
{
    const struct {
        std::string in;
        int len; /* -1: refused by the text rules */
        bool sn, pn;
    } rows[] = {
        {"SCOPE-0042_a", 12, true, true},
        {"  SN9 \n", 4, false, true},
        {"\nSN9\n", 3, true, true},
        {"AB CD", 5, false, true},
        {"VK-520 LRF/01 (B)+", 18, false, true},
        {"", 0, false, true},
        {"   ", 0, false, true},
        {"SN\r1", -1, false, false},
        {"SN\n1", -1, false, false},
        {std::string("S\0N", 3), -1, false, false},
        {"SN#1", 4, false, false},
        {"PN;2", 4, false, false},
        {"\"Q\"", 3, false, false},
        {"it's", 4, false, false},
        {"tab\tin", 6, false, false},
        {"DEL\x7F", 4, false, false},
        {"caf\xC3\xA9", 5, false, false},
        {std::string(127, 'A'), 127, true, true},
        {std::string(128, 'A'), -1, false, false},
    };
    for (const auto &r : rows) {
        char out[128];
        const Bytes in = text(r.in);
        int n = vesk_upper_take_text(out, in.data(), (int)in.size());
        EXPECT_EQ(n, r.len) << "'" << r.in << "'";
        if (n >= 0) {
            EXPECT_EQ(vesk_upper_sn_valid(out) == 1, r.sn) << "serial number '" << r.in << "'";
            EXPECT_EQ(vesk_upper_pn_valid(out) == 1, r.pn) << "part number '" << r.in << "'";
        }
    }
}

TEST(UpperCodec, KeyTable)
{
    const struct {
        int from, to;
    } rows[] = {{0, 0},     {1, 1},     {2, -1},    {3, 3},     {5, -1},    {6, 6},
                {0x27, 23}, {0x28, 24}, {0x29, 32}, {0x2A, 33}, {0x2B, -1}, {0x2C, 20},
                {0x33, 35}, {0x34, 36}, {0x35, 18}, {0x36, 21}, {0x37, 19}, {0xFF, -1}};
    for (const auto &r : rows) EXPECT_EQ(vesk_upper_key_map((uint8_t)r.from), r.to) << r.from;
}

TEST(UpperClock, EveryFieldIsRangeChecked)
{
    const struct {
        int y, mo, d, h, mi, s, ok;
    } rows[] = {
        {2024, 2, 29, 23, 59, 59, 1}, {2023, 2, 29, 0, 0, 0, 0},  {2024, 13, 1, 0, 0, 0, 0}, {2024, 0, 1, 0, 0, 0, 0},
        {2024, 4, 31, 0, 0, 0, 0},    {2024, 1, 0, 0, 0, 0, 0},   {2024, 1, 1, 24, 0, 0, 0}, {2024, 1, 1, 0, 60, 0, 0},
        {2024, 1, 1, 0, 0, 60, 0},    {1969, 12, 31, 0, 0, 0, 0}, {2100, 1, 1, 0, 0, 0, 0},  {2000, 2, 29, 0, 0, 0, 1},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(vesk_time_fields_valid(r.y, r.mo, r.d, r.h, r.mi, r.s), r.ok) << r.y << "-" << r.mo << "-" << r.d;
        if (r.ok) continue;
        /* A refused time never reaches a clock. */
        Bytes f = tool(0, 0x1B, 0, 0,
                       cat(le16(r.y), {(uint8_t)r.mo, (uint8_t)r.d, (uint8_t)r.h, (uint8_t)r.mi, (uint8_t)r.s}));
        EXPECT_EQ(set_date_and_time_by_upper(f.data(), (int)f.size()), -1);
    }
}

/* ---- the link on a pseudo-terminal ------------------------------------- */

int g_hook_calls;
std::string g_hook_sn;
int sn_hook(void)
{
    g_hook_calls++;
    g_hook_sn = qel_dev_status.sn;
    return 0;
}

/* Queues and mounts of the suite's own, with a fresh /tmp. */
void private_queues_and_tmp()
{
    ASSERT_EQ(sim_private_ns(CLONE_NEWIPC | CLONE_NEWNS), 0);
    ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    ASSERT_EQ(mount("tmpfs", "/tmp", "tmpfs", 0, "mode=1777"), 0);
}

class UpperLink : public ::testing::Test {
protected:
    /* A new serial number rewrites the build-identity file
     * "/tmp/apps.version". */
    static void SetUpTestSuite() { private_queues_and_tmp(); }
    PersistDir dir;
    vesk_persist_profiles profiles = {};
    BusCapture main_bus;
    sim_peer *gui_peer = nullptr, *media = nullptr;
    int master = -1, slave = -1;

    void SetUp() override
    {
        dir.create();
        vesk_persist_paths p = dir.paths();
        vesk_persist_hooks hooks = {};
        ASSERT_EQ(vesk_persist_start(&p, &hooks, &qel_dev_status, &profiles), 0);
        ASSERT_EQ(Qel_MsgEvent_Init(nullptr), 0);
        gui_peer = sim_peer_start(SIM_PEER_GUI, nullptr);
        media = sim_peer_start(SIM_PEER_MEDIA, nullptr);
        ASSERT_TRUE(gui_peer && media);
        char name[128];
        ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
        g_hook_calls = 0;
        g_hook_sn.clear();
        vesk_upper_set_sn_hook(sn_hook);
        ASSERT_EQ(Qel_UpperComputerInit(name, main_bus.bus(), nullptr), 0);
        EXPECT_EQ(upperUartInitFinished, 1);
    }
    void TearDown() override
    {
        Qel_UpperComputerExit();
        vesk_upper_set_sn_hook(nullptr);
        for (sim_peer *peer : {gui_peer, media}) sim_peer_stop(peer);
        Qel_MsgEvent_Deinit();
        vesk_persist_stop(2000);
        dir.remove();
        for (int fd : {master, slave})
            if (fd >= 0) close(fd);
    }

    void send(const Bytes &b) { ASSERT_EQ(write(master, b.data(), b.size()), (ssize_t)b.size()); }

    bool read_exact(uint8_t *out, size_t n)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (size_t got = 0; got < n;) {
            int left =
                (int)std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now())
                    .count();
            struct pollfd p = {master, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, left) <= 0) return false;
            ssize_t r = read(master, out + got, n - got);
            if (r <= 0) return false;
            got += (size_t)r;
        }
        return true;
    }
    /* The next reply on the line (empty when none came). */
    Bytes next_reply()
    {
        uint8_t head[2];
        if (!read_exact(head, 2)) return {};
        Bytes b(head, head + 2);
        b.resize(head[1] + 3u);
        if (!read_exact(b.data() + 2, b.size() - 2)) return {};
        return b;
    }
    Bytes ask(const Bytes &request)
    {
        send(request);
        return next_reply();
    }
    /* Everything sent before has been handled once the probe's answer is in. */
    void settle() { EXPECT_EQ(ask(tool(0, 0x1A, 0, 1, {0})), answer(0, 0x1A, 0, {5})); }
    std::vector<Bytes> gui_frames()
    {
        std::vector<Bytes> out;
        for (const auto &r : sim_peer_received(gui_peer)) out.push_back(r.frame);
        return out;
    }
    bool eeprom_holds(const std::string &line)
    {
        for (int i = 0; i < 500; i++) {
            if (read_text(dir.eeprom).find(line) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
};

TEST_F(UpperLink, EveryReadIsAnsweredByteForByte)
{
    Qel_DevStatus &s = qel_dev_status;
    s.s16RangeCurrentScale = 1234;
    s.s16RangeMinScale = 900;
    s.s16RangeMaxScale = 11000;
    s.s16ShotThreshold = 150;
    s.voltage_now = 7890;
    s.s16RangeOffsetX = 600;
    s.s16RangeOffsetY = -3;
    s.f_zero_azimuth = 1.5f;
    s.f_zero_pitch = -0.5f;
    s.f_zero_slant = 0.3f;
    const struct {
        const char *name;
        Bytes request, reply;
    } rows[] = {
        {"identity probe", tool(0, 0x1A, 0, 1, {0}), answer(0, 0x1A, 0, {5})},
        {"serial number", tool(0, 0x1A, 1, 1), answer(0, 0x1A, 1, text("SN-42"))},
        {"part number", tool(0, 0x1A, 2, 1), answer(0, 0x1A, 2, text("PN-7"))},
        {"current scale", tool(0, 0x22, 0, 1), answer(0, 0x22, 0, le16(1234))},
        {"min scale", tool(0, 0x22, 1, 1), answer(0, 0x22, 1, le16(900))},
        {"max scale", tool(0, 0x22, 2, 1), answer(0, 0x22, 2, le16(11000))},
        {"shot threshold", tool(0, 0x23, 0, 1), answer(0, 0x23, 0xFF, le16(150))},
        {"battery voltage", tool(0x0F, 0, 0, 1), answer(0x0F, 0, 0xFF, le16(7890))},
        {"zero azimuth", tool(6, 1, 1, 1), answer(6, 1, 1, {0, 15, 0})},
        {"zero pitch", tool(6, 1, 2, 1), answer(6, 1, 2, {1, 5, 0})},
        {"zero slant, rounded", tool(6, 1, 3, 1), answer(6, 1, 3, {0, 3, 0})},
        {"range offset X", tool(0x16, 9, 1, 1), answer(0x16, 9, 1, le16(600))},
        {"range offset Y", tool(0x16, 9, 2, 1), answer(0x16, 9, 2, le16(-3))},
    };
    for (const auto &r : rows) EXPECT_EQ(ask(r.request), r.reply) << r.name;
    EXPECT_EQ(ask(tool(0, 0x1A, 0, 1, {0})), (Bytes{0x55, 0x07, 0x00, 0x1A, 0x00, 0x81, 0x05, 0xFC, 0xEB, 0xAA}));
}

TEST_F(UpperLink, NoiseAndBadFramesAreAnsweredWithNothing)
{
    Bytes bad = tool(0x0F, 0, 0, 1);
    bad[bad.size() - 3] ^= 0x40;
    send({0x00, 0x11, 0xCC, 0xCC, 0x55});
    send(bad);
    send(shaped(0x55));
    send(tool(0x42, 0, 0, 1)); /* no such class */
    send(tool(0, 0x22, 1, 0)); /* a write without its value */
    settle();                  /* the first reply on the line is the probe's */
    EXPECT_EQ(qel_dev_status.s16RangeMinScale, 900);
}

TEST_F(UpperLink, ARequestAfterATornFrameIsAnswered)
{
    /* What a flood of hostile bytes leaves behind: a start byte and a
     * plausible length, then nothing; the tool asks again after a pause. */
    for (const Bytes &torn : {Bytes{0xCC, 0x20}, Bytes{0x12, 0xEB, 0xCC}, Bytes{0xCC, 0x07, 0x00, 0x1A}}) {
        send(torn);
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
        EXPECT_EQ(ask(tool(0, 0x1A, 0, 1, {0})), answer(0, 0x1A, 0, {5})) << "after " << torn.size() << " bytes";
    }
}

TEST_F(UpperLink, SerialNumberRules)
{
    const struct {
        Bytes data;
        const char *stored; /* null: refused, the old one stays */
    } rows[] = {
        {text("AB CD"), nullptr},     {text(""), nullptr},        {text("SN#7"), nullptr},
        {text("SN\r7"), nullptr},     {Bytes(128, 'A'), nullptr}, {text(" VK-520_0042\n"), "VK-520_0042"},
        {text("Scope-2"), "Scope-2"},
    };
    std::string now = "SN-42";
    int calls = 0;
    for (const auto &r : rows) {
        send(tool(0, 0x1A, 1, 0, r.data));
        settle();
        if (r.stored != nullptr) {
            now = r.stored;
            calls++;
            EXPECT_EQ(g_hook_sn, now) << "the access point's name is staged from the new number";
            EXPECT_TRUE(eeprom_holds("sn=" + now + "\n")) << read_text(dir.eeprom);
        }
        EXPECT_EQ(std::string(qel_dev_status.sn), now);
        EXPECT_EQ(std::string(g_stDeviceInfo.sn), now) << "the phone's device information follows";
        EXPECT_EQ(g_hook_calls, calls);
        EXPECT_EQ(ask(tool(0, 0x1A, 1, 1)), answer(0, 0x1A, 1, text(now)));
    }
}

TEST_F(UpperLink, PartNumberTakesAnyTextItsRecordCanHold)
{
    const struct {
        Bytes data;
        const char *stored; /* null: refused, the old one stays */
    } rows[] = {
        {text("VK 1"), "VK 1"},   {text("PN;7"), nullptr},
        {text("PN#7"), nullptr},  {text("\"PN\""), nullptr},
        {text("PN\r7"), nullptr}, {text(" VK-520 LRF/01 (B)\n"), "VK-520 LRF/01 (B)"},
        {text(""), ""},           {text("Rev.C, 2026"), "Rev.C, 2026"},
    };
    std::string now = "PN-7";
    for (const auto &r : rows) {
        send(tool(0, 0x1A, 2, 0, r.data));
        settle();
        if (r.stored != nullptr) {
            now = r.stored;
            EXPECT_TRUE(eeprom_holds("pn=" + now + "\n")) << read_text(dir.eeprom);
        }
        EXPECT_EQ(std::string(qel_dev_status.pn), now);
        EXPECT_EQ(std::string(g_stDeviceInfo.pn), now);
        EXPECT_EQ(ask(tool(0, 0x1A, 2, 1)), answer(0, 0x1A, 2, text(now)));
    }
    EXPECT_EQ(g_hook_calls, 0) << "a part number never renames the access point";
}

TEST_F(UpperLink, TheBuildIdentityFileFollowsANewNumber)
{
    fpga_version_info_init("PN", "pn", "PN-7");
    fpga_version_info_init("SN", "sn", "SN-42");
    send(tool(0, 0x1A, 1, 0, text("VK-2026-0099")));
    settle();
    const std::string file = read_text("/tmp/apps.version");
    EXPECT_NE(file.find("SN:\t <sn>"), std::string::npos) << file;
    EXPECT_NE(file.find("[VK-2026-0099]"), std::string::npos) << file;
    EXPECT_EQ(file.find("[SN-42]"), std::string::npos) << "the old number is gone: " << file;
    EXPECT_NE(file.find("[PN-7]"), std::string::npos) << file;
}

TEST_F(UpperLink, ZeroAnglesWrittenAndReadBack)
{
    send(tool(6, 1, 3, 0, {1, 25, 0}));
    EXPECT_EQ(ask(tool(6, 1, 3, 1)), answer(6, 1, 3, {1, 25, 0}));
    EXPECT_EQ(qel_dev_status.f_zero_slant, -2.5f);
    EXPECT_TRUE(eeprom_holds("f_zero_slant=-2.500000\n")) << read_text(dir.eeprom);
    send(tool(6, 1, 1, 0, {0, 0x39, 0x05})); /* 133.7 degrees */
    EXPECT_EQ(ask(tool(6, 1, 1, 1)), answer(6, 1, 1, {0, 0x39, 0x05}));
    EXPECT_FLOAT_EQ(qel_dev_status.f_zero_azimuth, 133.7f);
    send(tool(6, 1, 2, 0, {1, 0, 0})); /* minus zero reads back as zero */
    EXPECT_EQ(ask(tool(6, 1, 2, 1)), answer(6, 1, 2, {0, 0, 0}));
}

TEST_F(UpperLink, ScalesAndOffsetsAreSetInMemory)
{
    send(tool(0, 0x22, 1, 0, le16(800)));
    send(tool(0, 0x22, 2, 0, le16(-2)));
    EXPECT_EQ(ask(tool(0, 0x22, 1, 1)), answer(0, 0x22, 1, le16(800)));
    EXPECT_EQ(ask(tool(0, 0x22, 2, 1)), answer(0, 0x22, 2, le16(-2)));

    qel_dev_status.s16RangeOffsetX = 600;
    qel_dev_status.s16RangeOffsetY = 610;
    send(tool(0x16, 9, 1, 0, le16(528)));
    send(tool(0x16, 9, 3, 0, {3})); /* X + 1 */
    send(tool(0x16, 9, 3, 0, {0})); /* Y - 1 */
    send(tool(0x16, 9, 2, 0, le16(700)));
    send(tool(0x16, 9, 3, 0, {9})); /* no such step: nothing moves, Y is told as it is */
    settle();
    ASSERT_TRUE(sim_peer_wait(gui_peer, 5, 5000));
    EXPECT_EQ(gui_frames(), (std::vector<Bytes>{gui(0x16, 9, 1, 0x80, le16(528)), gui(0x16, 9, 1, 0x80, le16(529)),
                                                gui(0x16, 9, 2, 0x80, le16(609)), gui(0x16, 9, 2, 0x80, le16(700)),
                                                gui(0x16, 9, 2, 0x80, le16(700))}));
    EXPECT_EQ(qel_dev_status.s16RangeOffsetX, 529);
    EXPECT_EQ(qel_dev_status.s16RangeOffsetY, 700);
}

TEST_F(UpperLink, KeysReachTheGuiAsKeyFrames)
{
    send(tool(7, 0, 0, 0, {2})); /* not in the table */
    send(tool(7, 0, 0, 0, {3}));
    send(tool(7, 0, 0, 0, {0x27, 0x55, 0x66})); /* extra bytes do not move the checksum */
    send(tool(7, 0, 0, 0));                     /* no key at all */
    settle();
    ASSERT_TRUE(sim_peer_wait(gui_peer, 2, 5000));
    EXPECT_EQ(gui_frames(), (std::vector<Bytes>{gui(7, 0, 0, 0, {3}), gui(7, 0, 0, 0, {23})}));
}

TEST_F(UpperLink, FactoryResetAndMediaFrames)
{
    send(tool(0, 0x0B, 0, 0));
    send(tool(0, 0x08, 0, 0, {5}));
    settle();
    std::vector<BusEvent> events = main_bus.take();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, 4);
    const Bytes reset = gui(0, 0, 0x0B, 0, {2});
    EXPECT_EQ(events[0].bytes, std::vector<int>(reset.begin(), reset.end()));
    ASSERT_TRUE(sim_peer_wait(media, 1, 5000));
    EXPECT_EQ(sim_peer_received(media)[0].frame, gui(0, 0, 0x08, 0, {5}));
}

TEST_F(UpperLink, TheClockIsLeftAloneWhileRecording)
{
    qel_dev_status.shot_video_status = 1;
    const Bytes date = tool(0, 0x1B, 0, 0, cat(le16(2024), {2, 29, 23, 59, 59}));
    /* The handler returns before any clock is touched; the clock path
     * itself is played end to end in the sandbox. */
    testing::internal::CaptureStdout();
    send(date);
    settle();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.find("upper set time: hour="), std::string::npos) << out;
    EXPECT_NE(out.find("ignored while recording"), std::string::npos) << out;
    qel_dev_status.shot_video_status = 0;
}

/* The clock path down to the board: a /dev of the suite's own, holding a
 * real-time clock or not, and the board log the clock calls leave. */
class UpperClockSet : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        private_queues_and_tmp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(mount("tmpfs", "/dev", "tmpfs", 0, "mode=755"), 0);
        setenv("VESK_BOARD_LOG", kLog, 1);
    }
    static void TearDownTestSuite()
    {
        unsetenv("VESK_BOARD_LOG");
        umount("/dev");
        umount("/tmp");
    }
    static constexpr const char *kLog = "/tmp/board.log";
};

TEST_F(UpperClockSet, BothClocksAreSetAndARefusingRtcLeavesTheSystemClockSet)
{
    const struct {
        const char *name;
        bool rtc_present, recording;
        bool rtc_written, system_set;
    } rows[] = {
        {"both clocks", true, false, true, true},
        {"no real-time clock", false, false, false, true},
        {"while recording", true, true, false, false},
    };
    const Bytes date = tool(0, 0x1B, 0, 0, cat(le16(2024), {2, 29, 13, 5, 9}));
    for (const auto &r : rows) {
        unlink(kLog);
        unlink("/dev/rtc0");
        if (r.rtc_present) write_text("/dev/rtc0", "");
        qel_dev_status.video_status = r.recording;
        Upper_Handler(date.data(), (int)date.size(), nullptr);
        qel_dev_status.video_status = 0;
        const std::string log = read_text(kLog);
        EXPECT_EQ(log.find("node=/dev/rtc0") != std::string::npos && log.find("year=124 ") != std::string::npos &&
                      log.find("mon=1 ") != std::string::npos && log.find("mday=29 ") != std::string::npos,
                  r.rtc_written)
            << r.name << ": " << log;
        EXPECT_EQ(log.find("call=settimeofday") != std::string::npos && log.find("usec=0 rc=0") != std::string::npos,
                  r.system_set)
            << r.name << ": " << log;
    }
}

} // namespace
