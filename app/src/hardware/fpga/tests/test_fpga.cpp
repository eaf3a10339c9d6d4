// The thermal-core link as its peers see it: commands on the app bus become
// bytes on a pseudo-terminal, the core's frames written there become
// reports on the main bus, and the media process (a queue peer) receives
// what is passed on. The settings setters and edit sections are stand-ins
// that write their calls down.
#include "fpga.h"
#include "fpga_test_frames.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "qel_dev_status.h"
#include "sim_peer.h"
#include "vesk_msg.h"

/* ---- stand-ins ---- */

static std::mutex g_lock;
static std::vector<std::string> g_calls;
static int g_edit_result = 0;

static void note(const std::string &s)
{
    std::lock_guard<std::mutex> g(g_lock);
    g_calls.push_back(s);
}

int vesk_persist_edit_begin(void) { return g_edit_result; }
void vesk_persist_edit_end(void) { note("edit_end"); }
void tevi_ir_save(int value, int index, int to_defaults)
{
    note("tevi_ir_save " + std::to_string(value) + " " + std::to_string(index) + " " + std::to_string(to_defaults));
}
void Qel_DevStatusSet(const char *key, int value, int to_defaults)
{
    note(std::string("Qel_DevStatusSet ") + key + " " + std::to_string(value) + " " + std::to_string(to_defaults));
}
int fpga_version_info_init(const char *label, const char *name, const char *value)
{
    note(std::string("version ") + label + " " + name + " '" + value + "'");
    return 1;
}

namespace {

std::vector<std::string> calls()
{
    std::lock_guard<std::mutex> g(g_lock);
    return g_calls;
}

struct bus_event {
    int evtype;
    bytes data;
};
std::mutex g_reports_lock;
std::vector<bus_event> g_reports;

void on_main_bus(event_handle *, void *, int evtype, const void *evdata, int size)
{
    std::lock_guard<std::mutex> g(g_reports_lock);
    const uint8_t *p = (const uint8_t *)evdata;
    g_reports.push_back({evtype, bytes(p, p + size)});
}

std::vector<bus_event> reports()
{
    std::lock_guard<std::mutex> g(g_reports_lock);
    return g_reports;
}

bool wait_for(const std::function<bool()> &done, int ms = 5000)
{
    for (auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
         std::chrono::steady_clock::now() < until;) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done();
}

class FpgaLink : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(sim_peer_private_ipc(), 0); }

    void SetUp() override
    {
        vesk_dev_status_defaults(&qel_dev_status);
        g_edit_result = 0;
        {
            std::lock_guard<std::mutex> g(g_lock);
            g_calls.clear();
        }
        {
            std::lock_guard<std::mutex> g(g_reports_lock);
            g_reports.clear();
        }
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        struct termios t;
        ASSERT_EQ(tcgetattr(master, &t), 0);
        cfmakeraw(&t);
        ASSERT_EQ(tcsetattr(master, TCSANOW, &t), 0);
        ASSERT_EQ(Qel_MsgEvent_Init(nullptr), 0);
        media = sim_peer_start(SIM_PEER_MEDIA, nullptr);
        ASSERT_NE(media, nullptr);
        ASSERT_EQ(event_create(&main_bus, 30, nullptr), 0);
        ASSERT_EQ(event_create(&app_bus, 30, nullptr), 0);
        ASSERT_EQ(event_receive_register(main_bus, on_main_bus, nullptr), 0);
        ASSERT_EQ(Qel_FpgaInit(ptsname(master), main_bus, app_bus), 0);
        EXPECT_EQ(fpga_uart_ready(), 1);
    }

    void TearDown() override
    {
        Qel_FpgaExit();
        EXPECT_EQ(fpga_uart_ready(), 0);
        event_destroy(&app_bus);
        event_destroy(&main_bus);
        sim_peer_stop(media);
        Qel_MsgEvent_Deinit();
        close(master);
    }

    /* A GUI command as the router posts it: the whole frame as event 1. */
    void command(uint8_t obj, uint8_t sub, uint8_t item, uint8_t value)
    {
        const bytes f = sim_frame(obj, sub, item, 0x00, {value});
        /* Room on the bus may take a while on a loaded machine. */
        ASSERT_EQ(event_broadcast_send(app_bus, 1, f.data(), (int)f.size(), 5000), 0);
    }

    /* Everything on the line until `marker` (a frame the test sent last)
     * has arrived; the marker itself is left out. */
    bytes line_until(const bytes &marker, int ms = 5000)
    {
        bytes got;
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < until) {
            if (got.size() >= marker.size() && std::equal(marker.begin(), marker.end(), got.end() - marker.size()))
                return bytes(got.begin(), got.end() - marker.size());
            struct pollfd p = {master, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            uint8_t buf[256];
            ssize_t n = read(master, buf, sizeof buf);
            if (n > 0) got.insert(got.end(), buf, buf + n);
        }
        ADD_FAILURE() << "marker never reached the line; got " << sim_hex(got);
        return got;
    }

    /* What one GUI command puts on the line: the freeze command (never
     * stored) marks its end. */
    bytes line_for(uint8_t obj, uint8_t sub, uint8_t item, uint8_t value)
    {
        command(obj, sub, item, value);
        command(1, 15, 10, 1);
        return line_until(to_core(0x030A, {0x01, 0x01}));
    }

    void core_writes(const bytes &b) { ASSERT_EQ(write(master, b.data(), b.size()), (ssize_t)b.size()); }

    /* The main-bus reports that arrive before a bright-light marker. */
    std::vector<bytes> reports_for(const bytes &stream)
    {
        size_t before = reports().size();
        core_writes(cat({stream, from_core(0xDD00, {0x00})}));
        const bytes marker = {1, 1, 6, 1};
        std::vector<bytes> out;
        EXPECT_TRUE(wait_for([&] {
            auto r = reports();
            return r.size() > before && r.back().data == marker;
        })) << "no marker report";
        auto r = reports();
        for (size_t i = before; i + 1 < r.size(); i++) {
            EXPECT_EQ(r[i].evtype, 1);
            out.push_back(r[i].data);
        }
        return out;
    }

    std::vector<bytes> media_frames()
    {
        std::vector<bytes> out;
        for (const sim_peer_record &r : sim_peer_received(media)) out.push_back(r.frame);
        return out;
    }

    int master = -1;
    sim_peer *media = nullptr;
    event_handle *main_bus = nullptr;
    event_handle *app_bus = nullptr;
};

struct ir_row {
    const char *what;
    uint8_t sub, key, value;
    bytes line;
    std::vector<std::string> stored;
    bool to_media;
};

TEST_F(FpgaLink, ImageCommandsReachTheCoreAndTheSettings)
{
    const ir_row rows[] = {
        {"brightness 0: level 1", 1, 1, 0, to_core(0x0309, {0x01, 0x00, 44}), {"tevi_ir_save 0 0 0", "edit_end"}, 0},
        {"brightness 20: level 10",
         1,
         1,
         20,
         to_core(0x0309, {0x01, 0x00, 89}),
         {"tevi_ir_save 20 0 0", "edit_end"},
         0},
        {"contrast 4", 1, 2, 4, to_core(0x0309, {0x01, 0x01, 58}), {"tevi_ir_save 4 1 0", "edit_end"}, 0},
        {"enhancement 2", 1, 3, 2, to_core(0x0309, {0x01, 0x03, 54}), {"tevi_ir_save 2 2 0", "edit_end"}, 0},
        {"polarity black hot", 1, 4, 1, to_core(0x0305, {0x01, 0x01}), {"tevi_ir_save 1 3 0", "edit_end"}, 1},
        {"highlight", 1, 8, 1, to_core(0x0306, {0x01, 0x01}), {"tevi_ir_save 1 4 0", "edit_end"}, 0},
        {"hot point", 1, 12, 1, to_core(0x030C, {0x01, 0x01}), {"Qel_DevStatusSet s8HotTrack 1 0", "edit_end"}, 0},
        {"auto shutter: stored, nothing sent", 1, 13, 5, {}, {"Qel_DevStatusSet s8AutoShutter 5 0", "edit_end"}, 0},
        {"shutter correction (sub 15): sent, not stored", 15, 0, 1, to_core(0x0503, {0x01, 0x01}), {}, 0},
        {"sub 2 brightness: sent, not stored", 2, 1, 3, to_core(0x0309, {0x01, 0x00, 54}), {}, 0},
    };
    for (const ir_row &r : rows) {
        {
            std::lock_guard<std::mutex> g(g_lock);
            g_calls.clear();
        }
        sim_peer_clear(media);
        EXPECT_EQ(line_for(1, r.sub, r.key, r.value), r.line) << r.what;
        EXPECT_EQ(calls(), r.stored) << r.what;
        if (r.to_media) {
            const bytes f = sim_frame(1, r.sub, r.key, 0x00, {r.value});
            EXPECT_TRUE(sim_peer_wait(media, 1, 5000)) << r.what;
            EXPECT_EQ(media_frames(), std::vector<bytes>{f}) << r.what;
        }
    }
    EXPECT_EQ(qel_dev_status.irParam[0], 20);
    EXPECT_EQ(qel_dev_status.irParam[1], 4);
    EXPECT_EQ(qel_dev_status.irParam[3], 1);
    EXPECT_EQ(qel_dev_status.s8HotTrack, 1);
    EXPECT_EQ(qel_dev_status.s8AutoShutter, 5);
}

TEST_F(FpgaLink, ARefusedEditStillSendsButStoresNothing)
{
    g_edit_result = -16;
    EXPECT_EQ(line_for(1, 1, 1, 7), to_core(0x0309, {0x01, 0x00, 74}));
    EXPECT_TRUE(calls().empty());
    EXPECT_NE(qel_dev_status.irParam[0], 7);
}

TEST_F(FpgaLink, ASceneIsSentOnlyWhenItChanges)
{
    qel_dev_status.zoom_current = 100;
    const struct {
        const char *what;
        uint8_t value;
        int zoom, video_mode;
        bytes line;
    } rows[] = {
        {"scene 2", 2, 100, 0, to_core(0x030B, {0x01, 0x01, 0x00})},
        {"scene 2 again: nothing", 2, 100, 0, {}},
        {"scene 3", 3, 100, 0, to_core(0x030B, {0x01, 0x02, 0x01})},
        {"scene 7 counts as 3: nothing", 7, 100, 0, {}},
        {"scene 1 at zoom 4x: scene 4", 1, 400, 0, to_core(0x030B, {0x01, 0x09, 0x00})},
        {"scene 1 at zoom 4x in another video mode: scene 1", 1, 400, 2, to_core(0x030B, {0x01, 0x00, 0x00})},
        {"scene 0 counts as 1: nothing", 0, 100, 0, {}},
    };
    for (const auto &r : rows) {
        qel_dev_status.zoom_current = r.zoom;
        qel_dev_status.s8VideoMode = (char)r.video_mode;
        EXPECT_EQ(line_for(1, 1, 9, r.value), r.line) << r.what;
    }
    /* The router's video-mode rule calls the same sender. */
    sendCmdDataSetScene(1);
    command(1, 15, 10, 1);
    EXPECT_EQ(line_until(to_core(0x030A, {0x01, 0x01})), bytes{});
    EXPECT_EQ(qel_dev_status.irParam[6], 0);
}

TEST_F(FpgaLink, BadPixelEditorMovesTheCursorWithinTheSensor)
{
    const bytes centre = to_core(0x0405, {0x01, 0x40, 0x01, 0x00, 0x01});
    const struct {
        const char *what;
        uint8_t cmd, value;
        bytes line;
        int x, y;
    } rows[] = {
        {"enable: resume, centre, on", 0, 1,
         cat({to_core(0x0408, {0x01, 0x02}), centre, to_core(0x0408, {0x01, 0x01})}), 320, 256},
        {"right by one", 1, 3, to_core(0x0405, {0x01, 0x41, 0x01, 0x00, 0x01}), 321, 256},
        {"left by ten", 4, 2, to_core(0x0405, {0x01, 0x37, 0x01, 0x00, 0x01}), 311, 256},
        {"down by ten", 4, 1, to_core(0x0405, {0x01, 0x37, 0x01, 0x0A, 0x01}), 311, 266},
        {"up by one", 1, 0, to_core(0x0405, {0x01, 0x37, 0x01, 0x09, 0x01}), 311, 265},
        {"manual repair", 2, 1, to_core(0x0508, {0x01, 0x00}), 311, 265},
        {"save: save, then off", 3, 0, cat({to_core(0x0508, {0x01, 0x02}), to_core(0x0408, {0x01, 0x00})}), 311, 265},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(line_for(24, r.cmd, 0xFF, r.value), r.line) << r.what;
        EXPECT_EQ(bp_x, r.x) << r.what;
        EXPECT_EQ(bp_y, r.y) << r.what;
    }
    /* The cursor stops at the sensor's edges. */
    for (int i = 0; i < 40; i++) command(24, 4, 0xFF, 3);
    for (int i = 0; i < 60; i++) command(24, 4, 0xFF, 1);
    line_for(24, 1, 0xFF, 3);
    EXPECT_EQ(bp_x, 639);
    EXPECT_EQ(bp_y, 511);
    for (int i = 0; i < 70; i++) command(24, 4, 0xFF, 2);
    for (int i = 0; i < 60; i++) command(24, 4, 0xFF, 0);
    line_for(24, 1, 0xFF, 2);
    EXPECT_EQ(line_for(24, 1, 0xFF, 0), to_core(0x0405, {0x01, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(bp_x, 0);
    EXPECT_EQ(bp_y, 0);
}

TEST_F(FpgaLink, EnableAndMovesShowTheCursorToTheMediaProcess)
{
    line_for(24, 0, 0xFF, 1);
    line_for(24, 1, 0xFF, 3);
    ASSERT_TRUE(sim_peer_wait(media, 3, 5000));
    const std::vector<bytes> expected = {
        sim_frame(24, 15, 0xFF, 0x00, {0x40, 0x01, 0x00, 0x01}),
        sim_frame(24, 0, 0xFF, 0x00, {1}),
        sim_frame(24, 15, 0xFF, 0x00, {0x41, 0x01, 0x00, 0x01}),
    };
    EXPECT_EQ(media_frames(), expected);
    EXPECT_EQ(expected[0].size(), 13u);
    /* Enabling outside an automatic repair tells the GUI the editor is free. */
    bool reported = false;
    for (const bus_event &e : reports()) reported |= e.evtype == 1 && e.data == bytes({24, 3, 0xFF, 0});
    EXPECT_TRUE(reported);
}

TEST_F(FpgaLink, AutomaticRepairRunsUntilTheCoreSaysItIsDone)
{
    EXPECT_EQ(line_for(24, 2, 0xFF, 0), to_core(0x0509, {0x01, 0x08}));
    EXPECT_EQ(qel_dev_status.s8IfInAutoBlind, 1);
    /* An enable of 0 during the repair leaves the GUI's editor waiting. */
    size_t before = reports().size();
    EXPECT_EQ(line_for(24, 0, 0xFF, 0), to_core(0x0408, {0x01, 0x00}));
    EXPECT_EQ(reports().size(), before);
    EXPECT_EQ(reports_for(from_core(0x0509, {0x01})), std::vector<bytes>{bytes({24, 3, 0xFF, 0})});
    EXPECT_EQ(qel_dev_status.s8IfInAutoBlind, 0);
}

TEST_F(FpgaLink, TheCoresNoticesBecomeReports)
{
    bytes bad = from_core(0xDC00, {0x00});
    bad[bad.size() - 3] ^= 0xFF;
    /* A frame whose checksum is wrong, holding a whole sound notice
     * inside: dropped byte by byte, the inner notice would come out. */
    bytes hiding = from_core(0x0104, cat({{0x00}, from_core(0xDC00, {0x00})}));
    hiding[hiding.size() - 3] ^= 0xFF;
    const struct {
        const char *what;
        bytes stream;
        std::vector<bytes> reports;
    } rows[] = {
        {"save done", from_core(0x0508, {0x01, 0x01}), {{24, 3, 0xFF, 1}}},
        {"save failed", from_core(0x0508, {0x01, 0x00}), {{24, 3, 0xFF, 0}}},
        {"save notice without its result byte", from_core(0x0508, {0x01}), {{24, 3, 0xFF, 0}}},
        {"calibration done", from_core(0x050A, {0x00}), {{1, 1, 11, 0}}},
        {"bright light off", from_core(0xDC00, {0x00}), {{1, 1, 6, 0}}},
        {"bright light on", from_core(0xDD00, {0x00}), {{1, 1, 6, 1}}},
        {"a bad checksum", bad, {}},
        {"a bad checksum drops the whole frame", hiding, {}},
        {"55 55 ...: the frame starts at the second 0x55", cat({{0x55}, from_core(0xDC00, {0x00})}), {{1, 1, 6, 0}}},
        {"two notices in one write",
         cat({from_core(0xDC00, {0x00}), from_core(0x050A, {0x00})}),
         {{1, 1, 6, 0}, {1, 1, 11, 0}}},
        {"unknown command", from_core(0x0777, {0x00}), {}},
        {"no length room: LEN 3", {0x55, 0x03, 0x05, 0x08, 0x65, 0xEB, 0xAA}, {{24, 3, 0xFF, 0}}},
    };
    for (const auto &r : rows) EXPECT_EQ(reports_for(r.stream), r.reports) << r.what;
}

TEST_F(FpgaLink, VersionsAreRegisteredOnce)
{
    std::vector<std::string> want;
    core_writes(from_core(0x0102, {0x00, 'P', 'N', '1'}));
    core_writes(from_core(0x00CE, {0x00, 0x01, 'f', 'w', '7'}));
    want.push_back("version FPA1 fpa1 'fw7'");
    EXPECT_EQ(fpga_version_ready(), 0);
    core_writes(from_core(0x0104, {0x00, 'v', '1', '.', '2', '.', '3', '-', 'r', 'c'}));
    want.push_back("version FPA2 fpa2 'V1.2.3'");
    ASSERT_TRUE(wait_for([] { return fpga_version_ready() == 1; }));
    core_writes(from_core(0x0104, {0x00, 'v', '9'}));
    reports_for({});
    EXPECT_EQ(calls(), want);
}

TEST_F(FpgaLink, BootPushCallsSendTheirFrames)
{
    ir_self_inspection();
    ir_setAutoShutterClose();
    ir_save_config(); /* built, not sent */
    command(1, 15, 10, 1);
    EXPECT_EQ(line_until(to_core(0x030A, {0x01, 0x01})),
              cat({to_core(0x0104, {0x00}), to_core(0x0502, {0x01, 0x00, 0x00})}));
}

TEST_F(FpgaLink, CoverCommandsAndShortFramesSendNothing)
{
    command(25, 1, 0xFF, 1);
    const bytes bare = sim_frame(1, 1, 1, 0x00, {});
    ASSERT_EQ(event_broadcast_send(app_bus, 1, bare.data(), (int)bare.size(), 100), 0);
    const bytes other_event = sim_frame(1, 1, 1, 0x00, {5});
    ASSERT_EQ(event_broadcast_send(app_bus, 4, other_event.data(), (int)other_event.size(), 100), 0);
    EXPECT_EQ(line_for(25, 0, 0xFF, 0), bytes{});
}

} // namespace
