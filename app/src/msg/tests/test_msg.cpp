// Frame check, queue client, senders and the send-failure limiter, against
// the simulated peers on queues of a private IPC namespace.
#include "vesk_msg.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string.h>
#include <sys/msg.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "log_capture.h"
#include "sim_peer.h"
#include "vesk_log.h"

namespace {

using ::testing::HasSubstr;

/* ---- frame check ---- */

std::vector<uint8_t> key_frame() { return sim_frame(7, 0, 0, 0x80, {35}); }

TEST(ProtocolParse, ChecksInOrderAndNamesTheFirstFault)
{
    struct row {
        const char *what;
        std::vector<std::pair<size_t, uint8_t>> edits; /* byte, new value */
        int size_delta;
        int result;
        const char *logged; /* null: nothing logged */
    };
    const row rows[] = {
        {"sound", {}, 0, 0, nullptr},
        {"bad header", {{0, 0xAB}}, 0, -1, "CMD_HEADER_0 ERROR"},
        {"bad header and checksum", {{0, 0xAB}, {7, 0}}, 0, -1, "CMD_HEADER_0 ERROR"},
        {"bad checksum", {{7, 0}}, 0, -1, "CMD_END_CHECK ERROR"},
        {"bad checksum and trailer", {{7, 0}, {8, 0}}, 0, -1, "CMD_END_CHECK ERROR"},
        {"bad first trailer", {{8, 0xEA}}, 0, -1, "CMD_END_SEC ERROR"},
        {"bad last trailer", {{9, 0xAB}}, 0, -1, "CMD_END_FIR ERROR"},
        {"length byte off by one", {{1, 8}}, 0, -1, nullptr},
        {"size one short", {}, -1, -1, nullptr},
    };
    for (const row &r : rows) {
        log_capture_clear();
        auto f = key_frame();
        for (auto e : r.edits) f[e.first] = e.second;
        EXPECT_EQ(Protocol_parse(f.data(), (int)f.size() + r.size_delta), r.result) << r.what;
        auto lines = log_capture_lines();
        if (r.logged == nullptr) {
            EXPECT_TRUE(lines.empty()) << r.what;
        } else {
            ASSERT_EQ(lines.size(), 1u) << r.what;
            EXPECT_EQ(lines[0].tag, "ipc.parse");
            EXPECT_EQ(lines[0].level, VESK_LOG_ERROR);
            EXPECT_EQ(lines[0].text, r.logged);
        }
    }
}

TEST(ProtocolParse, SizeLimits)
{
    EXPECT_EQ(Protocol_parse(sim_frame(0x1C, 8, 0xFF, 0x80).data(), 9), 0);
    EXPECT_EQ(Protocol_parse(sim_frame(0, 0, 0, 0, std::vector<uint8_t>(249)).data(), 258), 0);
    std::vector<uint8_t> big(513, 0);
    EXPECT_EQ(Protocol_parse(big.data(), 513), -1);
    EXPECT_EQ(Protocol_parse(nullptr, 10), -1);
    EXPECT_EQ(Protocol_parse(key_frame().data(), -1), -1);
}

/* ---- send-failure limiter ---- */

class LimiterTest : public ::testing::Test {
protected:
    void SetUp() override { log_capture_clear(); }
    /* Each test uses its own clock far from the others' so windows left
     * open by an earlier test have long expired. */
    uint64_t base()
    {
        static uint64_t next = 1000000;
        next += 1000000;
        return next;
    }
    std::vector<std::string> lines(const char *tag)
    {
        std::vector<std::string> out;
        for (auto &l : log_capture_lines())
            if (l.tag == tag) out.push_back(l.text);
        return out;
    }
    void close_window(vesk_msg_direction d, uint64_t at) { vesk_msg_note_send_at(d, 33, nullptr, 0, 0, 0, at); }
};

TEST_F(LimiterTest, FirstFailureThenOneSummaryPerSecond)
{
    const uint64_t t0 = base();
    uint8_t f[10] = {0xAA, 7, 7};
    /* A burst of 3000 failures over 2.5 s, one per 0.83 ms. */
    for (int i = 0; i < 3000; i++)
        vesk_msg_note_send_at(VESK_MSG_TO_GUI, 33, f, 10, 1, EAGAIN, t0 + (uint64_t)i * 5 / 6);
    vesk_msg_note_send_at(VESK_MSG_TO_GUI, 33, f, 10, 0, 0, t0 + 3600);
    auto got = lines("ipc.app_to_gui");
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0], "send failed type=33 len=10 errno=11 suppressed=0");
    EXPECT_EQ(got[1], "send failed type=33 len=10 errno=11 suppressed=1199");
    EXPECT_EQ(got[2], "send failed type=33 len=10 errno=11 suppressed=1199");
    EXPECT_EQ(got[3], "send failed suppressed=599 window_ms=1000 last type=33 len=10 errno=11");
    EXPECT_TRUE(lines("ipc.app_to_media").empty());
}

TEST_F(LimiterTest, SummaryCarriesTheLastSuppressedFailure)
{
    const uint64_t t0 = base();
    uint8_t f[105] = {0xAA};
    vesk_msg_note_send_at(VESK_MSG_TO_MEDIA, 32, f, 9, 1, EAGAIN, t0);
    vesk_msg_note_send_at(VESK_MSG_TO_MEDIA, 32, f, 11, 1, EIDRM, t0 + 10);
    vesk_msg_note_send_at(VESK_MSG_TO_MEDIA, 33, f, 105, 1, EINVAL, t0 + 999);
    vesk_msg_note_send_at(VESK_MSG_TO_MEDIA, 32, f, 9, 0, 0, t0 + 500); /* young window: nothing */
    EXPECT_EQ(lines("ipc.app_to_media").size(), 1u);
    vesk_msg_note_send_at(VESK_MSG_TO_MEDIA, 32, f, 9, 0, 0, t0 + 1000);
    auto got = lines("ipc.app_to_media");
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1], "send failed suppressed=2 window_ms=1000 last type=33 len=105 errno=22");
    /* The window is closed: a later success says nothing, a failure opens anew. */
    vesk_msg_note_send_at(VESK_MSG_TO_MEDIA, 32, f, 9, 0, 0, t0 + 3000);
    vesk_msg_note_send_at(VESK_MSG_TO_MEDIA, 32, f, 9, 1, EAGAIN, t0 + 3001);
    got = lines("ipc.app_to_media");
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[2], "send failed type=32 len=9 errno=11 suppressed=0");
    close_window(VESK_MSG_TO_MEDIA, t0 + 10000);
}

TEST_F(LimiterTest, SuccessAfterAQuietWindowLogsNothing)
{
    const uint64_t t0 = base();
    uint8_t f[9] = {0xAA};
    vesk_msg_note_send_at(VESK_MSG_TO_GUI, 33, f, 9, 1, EAGAIN, t0);
    vesk_msg_note_send_at(VESK_MSG_TO_GUI, 33, f, 9, 0, 0, t0 + 1500);
    EXPECT_EQ(lines("ipc.app_to_gui").size(), 1u);
}

TEST_F(LimiterTest, CompassFailuresAreNeverLogged)
{
    const uint64_t t0 = base();
    auto compass = sim_frame(6, 0, 1, 0x80, {1, 2, 3, 4});
    ASSERT_EQ(compass.size(), 13u);
    ASSERT_TRUE(vesk_msg_is_compass(compass.data(), 13));
    for (int i = 0; i < 50; i++)
        vesk_msg_note_send_at(VESK_MSG_TO_GUI, 33, compass.data(), 13, 1, EAGAIN, t0 + i * 100);
    EXPECT_TRUE(lines("ipc.app_to_gui").empty());
    /* Other compass-like frames are not the periodic report. */
    auto sub1 = sim_frame(6, 1, 1, 0x80, {1, 2, 3, 4});
    EXPECT_FALSE(vesk_msg_is_compass(sub1.data(), 13));
    EXPECT_FALSE(vesk_msg_is_compass(compass.data(), 12));
}

TEST_F(LimiterTest, RacingFailuresOpenOneWindow)
{
    const uint64_t t0 = base();
    uint8_t f[9] = {0xAA};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; t++)
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; i++) vesk_msg_note_send_at(VESK_MSG_TO_GUI, 33, f, 9, 1, EAGAIN, t0 + 1);
        });
    for (auto &t : threads) t.join();
    vesk_msg_note_send_at(VESK_MSG_TO_GUI, 33, f, 9, 0, 0, t0 + 1001);
    auto got = lines("ipc.app_to_gui");
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], "send failed type=33 len=9 errno=11 suppressed=0");
    EXPECT_EQ(got[1], "send failed suppressed=7999 window_ms=1000 last type=33 len=9 errno=11");
}

/* ---- queue client, senders ---- */

struct bus_event {
    int type;
    std::vector<uint8_t> data;
};

std::mutex g_lock;
std::vector<bus_event> g_events;

void on_main_bus(event_handle *, void *, int evtype, const void *data, int size)
{
    std::lock_guard<std::mutex> g(g_lock);
    const uint8_t *p = (const uint8_t *)data;
    g_events.push_back({evtype, std::vector<uint8_t>(p, p + size)});
}

class QueueTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(sim_peer_private_ipc(), 0); }
    void SetUp() override
    {
        log_capture_clear();
        {
            std::lock_guard<std::mutex> g(g_lock);
            g_events.clear();
        }
        ASSERT_EQ(event_create(&bus, 30, nullptr), 0);
        ASSERT_EQ(event_receive_register(bus, on_main_bus, nullptr), 0);
        ASSERT_EQ(Qel_MsgEvent_Init(bus), 0);
        ASSERT_EQ(g_handle, bus);
    }
    void TearDown() override
    {
        Qel_MsgEvent_Deinit();
        EXPECT_EQ(g_handle, nullptr);
        event_destroy(&bus);
    }
    std::vector<bus_event> events()
    {
        std::lock_guard<std::mutex> g(g_lock);
        return g_events;
    }
    bool wait_events(size_t n)
    {
        for (int i = 0; i < 2000 && events().size() < n; i++) usleep(1000);
        return events().size() >= n;
    }
    event_handle *bus = nullptr;
};

TEST_F(QueueTest, RecordsReachTheMainBusByTypeAndLength)
{
    struct row {
        unsigned type;
        size_t length;
        int event; /* 0: never reaches the bus */
    };
    const row rows[] = {
        {1, 8, 0},    {1, 9, 4},   {1, 512, 4}, {1, 513, 0}, {17, 10, 4}, {49, 10, 8},
        {65, 10, 16}, {48, 10, 0}, {64, 10, 0}, {33, 10, 0}, {32, 10, 0}, {255, 10, 0},
    };
    /* Each row is followed by a marker record so a dropped row is seen as
     * the marker arriving without it. */
    const auto marker = sim_frame(8, 0, 0, 0, {0x5A});
    size_t expected = 0;
    for (const row &r : rows) {
        std::vector<uint8_t> bytes(r.length > 512 ? 512 : r.length, 0x11);
        ASSERT_EQ(sim_peer_send_record(r.type, bytes, (uint32_t)r.length), 0);
        ASSERT_EQ(sim_peer_send_record(1, marker, (uint32_t)marker.size()), 0);
        expected += r.event ? 2 : 1;
        ASSERT_TRUE(wait_events(expected)) << "type " << r.type << " length " << r.length;
        usleep(5000);
        auto ev = events();
        ASSERT_EQ(ev.size(), expected) << "type " << r.type << " length " << r.length;
        if (r.event) {
            EXPECT_EQ(ev[expected - 2].type, r.event);
            EXPECT_EQ(ev[expected - 2].data, bytes);
        }
        EXPECT_EQ(ev.back().data, marker);
    }
    /* GUI and media frames are traced as received. */
    EXPECT_EQ(log_capture_count("ipc.gui_to_app", nullptr), 12u + 2u); /* markers, 9 and 512 */
    EXPECT_EQ(log_capture_count("ipc.media_to_app", " result=10"), 1u);
}

TEST_F(QueueTest, CallbackChecksTheLengthItself)
{
    Qel_MsgText text;
    memset(&text, 0, sizeof(text));
    text.type = MSGQ_COMMAND_UI_TO_APP;
    const uint32_t lengths[] = {0, 8, 513, 0xFFFFFFFFu};
    for (uint32_t length : lengths) {
        text.length = length;
        msgEventCallback(&text, nullptr);
    }
    msgEventCallback(nullptr, nullptr);
    text.length = 9;
    msgEventCallback(&text, nullptr);
    ASSERT_TRUE(wait_events(1));
    usleep(10000);
    EXPECT_EQ(events().size(), 1u);
    EXPECT_EQ(events()[0].data.size(), 9u);
}

TEST_F(QueueTest, AWrongSizedRecordDoesNotStopTheListener)
{
    ASSERT_EQ(sim_peer_send_sized(1, std::vector<uint8_t>(600, 0xAA), 700, 600), 0);
    auto f = key_frame();
    ASSERT_EQ(sim_peer_send_record(1, f, (uint32_t)f.size()), 0);
    ASSERT_TRUE(wait_events(1));
    EXPECT_EQ(events()[0].data, f);
}

TEST_F(QueueTest, SendersUseTheirMessageTypeAndTrace)
{
    sim_peer *peers[4];
    for (int r = 0; r < 4; r++) ASSERT_NE(peers[r] = sim_peer_start((sim_peer_role)r, nullptr), nullptr);
    auto f = key_frame();
    EXPECT_EQ(Msgtext_App_To_Ui(33, (uint32_t)f.size(), f.data()), 1);
    EXPECT_EQ(Msgtext_App_To_Media(32, (uint32_t)f.size(), f.data()), 1);
    EXPECT_EQ(Msgtext_App_To_Http(48, (uint32_t)f.size(), f.data()), 1);
    EXPECT_EQ(Msgtext_App_To_BLE(64, (uint32_t)f.size(), f.data()), 1);
    const struct {
        sim_peer_role role;
        unsigned type;
    } rows[] = {{SIM_PEER_GUI, 33}, {SIM_PEER_MEDIA, 32}, {SIM_PEER_HTTP, 48}, {SIM_PEER_BLE, 64}};
    for (auto r : rows) {
        ASSERT_TRUE(sim_peer_wait(peers[r.role], 1, 2000)) << sim_peer_role_name(r.role);
        auto got = sim_peer_received(peers[r.role]);
        EXPECT_EQ(got[0].type, r.type);
        EXPECT_EQ(got[0].command, 0u);
        EXPECT_EQ(got[0].frame, f);
    }
    EXPECT_EQ(log_capture_count("ipc.app_to_gui", " result=0"), 1u);
    EXPECT_EQ(log_capture_count("ipc.app_to_media", nullptr), 0u);
    for (auto p : peers) sim_peer_stop(p);
}

TEST_F(QueueTest, SendersRefuseMoreThan512Bytes)
{
    sim_peer *gui = sim_peer_start(SIM_PEER_GUI, nullptr);
    std::vector<uint8_t> big(600, 0xAA);
    testing::internal::CaptureStdout();
    EXPECT_EQ(Msgtext_App_To_Ui(33, 513, big.data()), -1);
    EXPECT_EQ(Msgtext_App_To_Media(32, 513, big.data()), -1);
    EXPECT_EQ(Msgtext_App_To_Http(48, 513, big.data()), -1);
    EXPECT_EQ(Msgtext_App_To_BLE(64, 513, big.data()), -1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_THAT(out, HasSubstr("APP to Media Send failed"));
    EXPECT_THAT(out, HasSubstr("APP to BLE Send failed"));
    EXPECT_EQ(Msgtext_App_To_Ui(33, 512, big.data()), 1);
    ASSERT_TRUE(sim_peer_wait(gui, 1, 2000));
    EXPECT_EQ(sim_peer_received(gui)[0].length, 512u);
    sim_peer_stop(gui);
}

TEST_F(QueueTest, FailedHttpPasswordFramesAreNotPrinted)
{
    /* Fill the queue so that nothing more can be sent. */
    uint8_t filler[9] = {0xAA, 6};
    while (Qel_SendMsgEvent(MSG_TYPE_FOR_QTMENU, 33, 0, filler, 9) == 0) {}
    struct {
        uint8_t item;
        bool redacted;
    } rows[] = {{2, true}, {3, true}, {1, false}, {4, false}};
    for (auto r : rows) {
        auto f = sim_frame(244, 0, r.item, 0, {'s', 'e', 'c', 'r', 'e', 't'});
        testing::internal::CaptureStdout();
        EXPECT_EQ(Msgtext_App_To_Http(48, (uint32_t)f.size(), f.data()), -1);
        std::string out = testing::internal::GetCapturedStdout();
        if (r.redacted) {
            EXPECT_EQ(out, "APP to Http Send failed cmd=0x0" + std::to_string(r.item) +
                               " len=15 (password payload redacted)\n");
        } else {
            EXPECT_THAT(out, HasSubstr("APP to Http Send failed[+aa+] [+0c+] [+f4+] "));
            EXPECT_THAT(out, HasSubstr("[+73+] "));
        }
    }
}

TEST_F(QueueTest, AbsentHttpAndBleDoNotStarveTheGui)
{
    /* Only the GUI reads; the HTTP daemon and the BLE service are absent. */
    sim_peer *gui = sim_peer_start(SIM_PEER_GUI, nullptr);
    auto report = sim_frame(244, 0, 12, 0, {0x20, 0x03});
    auto ui = key_frame();
    const int rounds = 60; /* twice what the queue holds, per peer */
    for (int i = 0; i < rounds; i++) {
        EXPECT_EQ(Msgtext_App_To_Http(48, (uint32_t)report.size(), report.data()), 1) << i;
        EXPECT_EQ(Msgtext_App_To_BLE(64, (uint32_t)report.size(), report.data()), 1) << i;
        ASSERT_EQ(Msgtext_App_To_Ui(33, (uint32_t)ui.size(), ui.data()), 1) << i;
    }
    EXPECT_TRUE(sim_peer_wait(gui, rounds, 2000));
    EXPECT_EQ(log_capture_count("ipc", "HTTP daemon is not reading"), 1u);
    EXPECT_EQ(log_capture_count("ipc", "BLE service is not reading"), 1u);
    /* A late HTTP daemon finds the most recent reports waiting. */
    sim_peer *http = sim_peer_start(SIM_PEER_HTTP, nullptr);
    EXPECT_TRUE(sim_peer_wait(http, 5, 2000));
    usleep(20000);
    EXPECT_LE(sim_peer_count(http), 16u);
    sim_peer_stop(http);
    sim_peer_stop(gui);
}

TEST_F(QueueTest, ADrainingHttpDaemonLosesNothing)
{
    sim_peer *http = sim_peer_start(SIM_PEER_HTTP, nullptr);
    auto report = sim_frame(244, 0, 12, 0, {1});
    for (int i = 0; i < 40; i++) ASSERT_EQ(Msgtext_App_To_Http(48, (uint32_t)report.size(), report.data()), 1);
    EXPECT_TRUE(sim_peer_wait(http, 40, 2000));
    sim_peer_stop(http);
}

TEST_F(QueueTest, QuietSender)
{
    const struct {
        int target;
        size_t length;
        bool null_frame;
    } refused[] = {{0, 0, false}, {0, 513, false}, {2, 10, false}, {-1, 10, false}, {1, 10, true}};
    std::vector<uint8_t> buf(600, 0xAA);
    for (auto r : refused)
        EXPECT_EQ(vesk_msg_send_quiet(r.target, r.null_frame ? nullptr : buf.data(), (uint32_t)r.length), -EINVAL)
            << r.target << " " << r.length;
    sim_peer *gui = sim_peer_start(SIM_PEER_GUI, nullptr);
    sim_peer *media = sim_peer_start(SIM_PEER_MEDIA, nullptr);
    auto f = sim_frame(0, 0, 0x29, 0x80, {1});
    EXPECT_EQ(vesk_msg_send_quiet(0, f.data(), (uint32_t)f.size()), 0);
    EXPECT_EQ(vesk_msg_send_quiet(1, f.data(), (uint32_t)f.size()), 0);
    ASSERT_TRUE(sim_peer_wait(gui, 1, 2000));
    ASSERT_TRUE(sim_peer_wait(media, 1, 2000));
    EXPECT_EQ(sim_peer_received(gui)[0].type, 33u);
    EXPECT_EQ(sim_peer_received(media)[0].type, 32u);
    EXPECT_EQ(sim_peer_received(gui)[0].frame, f);
    EXPECT_EQ(log_capture_count("ipc.app_to_gui", " result=10"), 1u);
    EXPECT_EQ(log_capture_count("ipc.app_to_media", " result=10"), 1u);
    sim_peer_stop(gui);
    sim_peer_stop(media);
}

} // namespace

/* ---- media builders, reticle senders and the boot push ---- */

#include "msg_media.h"
#include "qel_dev_status.h"

/* Modules outside this one, as the boot push meets them. */
static std::mutex g_profiles;
void vesk_profiles_lock(void) { g_profiles.lock(); }
void vesk_profiles_unlock(void) { g_profiles.unlock(); }
static const std::vector<uint8_t> kDebugReply = sim_frame(0, 0, 0x29, 0x80, {0});

namespace {

typedef std::vector<uint8_t> bytes;

std::vector<bus_event> g_app_events;
void on_app_bus(event_handle *, void *, int evtype, const void *data, int size)
{
    std::lock_guard<std::mutex> g(g_lock);
    const uint8_t *p = (const uint8_t *)data;
    g_app_events.push_back({evtype, bytes(p, p + size)});
}

int g_boot_state = 1;
int g_self_checks = 0, g_shutter_closes = 0, g_dynamic_bc = 0;
const bytes kBootOutcome = sim_frame(13, 9, 5, 0x80); /* stands for the lifecycle's report */

class BootTest : public QueueTest {
protected:
    void SetUp() override
    {
        QueueTest::SetUp();
        {
            std::lock_guard<std::mutex> g(g_lock);
            g_app_events.clear();
        }
        ASSERT_EQ(event_create(&app_bus, 30, nullptr), 0);
        ASSERT_EQ(event_receive_register(app_bus, on_app_bus, nullptr), 0);
        media = sim_peer_start(SIM_PEER_MEDIA, nullptr);
        gui = sim_peer_start(SIM_PEER_GUI, nullptr);
        vesk_dev_status_defaults(&qel_dev_status);
        g_boot_state = 1;
        g_self_checks = g_shutter_closes = g_dynamic_bc = 0;
        vesk_msg_hooks hooks = {};
        hooks.vesk_core_uart_ready = [] { return 1; };
        hooks.vesk_core_version_ready = [] { return 1; };
        hooks.vesk_core_self_check = [] { g_self_checks++; };
        hooks.vesk_core_shutter_close = [] { g_shutter_closes++; };
        hooks.vesk_boot_state_publish = [] {
            vesk_msg_send_quiet(0, kBootOutcome.data(), (uint32_t)kBootOutcome.size());
            return g_boot_state;
        };
        hooks.vesk_dynamic_bc_publish = [] { g_dynamic_bc++; };
        hooks.vesk_debug_publish = [] { vesk_msg_send_quiet(0, kDebugReply.data(), (uint32_t)kDebugReply.size()); };
        vesk_msg_set_hooks(&hooks);
        voUartInitFinished = 1;
    }
    void TearDown() override
    {
        vesk_msg_set_hooks(nullptr);
        voUartInitFinished = 0;
        sim_peer_stop(media);
        sim_peer_stop(gui);
        event_destroy(&app_bus);
        QueueTest::TearDown();
    }
    std::vector<bytes> frames(sim_peer *p, size_t n)
    {
        EXPECT_TRUE(sim_peer_wait(p, n, 3000));
        usleep(30000);
        std::vector<bytes> out;
        for (auto &r : sim_peer_received(p)) out.push_back(r.frame);
        return out;
    }
    event_handle *app_bus = nullptr;
    sim_peer *media = nullptr, *gui = nullptr;
};

bytes header_of(const bytes &f) { return bytes(f.begin(), f.begin() + 6); }

TEST_F(BootTest, GuiSeesTheWholePushInOrder)
{
    qel_dev_status.ui_ready = qel_dev_status.usb_send_state = 1;
    qel_dev_status.zoom_send_state = qel_dev_status.battery_send_state = 1;
    qel_dev_status.s8VideoMode = 2;
    qel_dev_status.compassParam[0] = -2.9f;
    for (int i = 0; i < 6; i++) qel_ballistics.ballistics[i].gun.bullet.weight = 100.0 + i;
    qel_ir_cursor.u8CurrentGroup = 3;
    Qel_Ui_Param_Send(app_bus);

    auto got = frames(gui, 10);
    ASSERT_EQ(got.size(), 10u);
    EXPECT_EQ(got[0], kBootOutcome);
    EXPECT_EQ(header_of(got[1]), (bytes{0xAA, 0x66, 0x10, 0x00, 0x00, 0x80}));
    ASSERT_EQ(got[1].size(), 105u);
    EXPECT_EQ(got[1][6 + 1], 2);     /* s8VideoMode */
    EXPECT_EQ(got[1][6 + 48], 0xFE); /* -2.9 truncated toward zero, */
    EXPECT_EQ(got[1][6 + 49], 0xFF); /* as a 16-bit two's complement */
    EXPECT_EQ(memcmp(&got[1][6 + 79], "v1.0.4", 7), 0);
    EXPECT_EQ(header_of(got[2]), (bytes{0xAA, 0xE2, 0x10, 0x01, 0x00, 0x80}));
    ASSERT_EQ(got[2].size(), 229u);
    EXPECT_EQ(got[2][6], 3);
    EXPECT_EQ(memcmp(&got[2][6], &qel_ir_cursor, 220), 0);
    for (uint8_t i = 0; i < 6; i++) {
        const bytes &f = got[3 + i];
        EXPECT_EQ(header_of(f), (bytes{0xAA, 0xFE, 0x10, 0x02, i, 0x80}));
        ASSERT_EQ(f.size(), 257u);
        EXPECT_EQ(memcmp(&f[6], &qel_ballistics.ballistics[i], 248), 0) << (int)i;
    }
    EXPECT_EQ(got[9], kDebugReply);
    for (auto &f : got) EXPECT_TRUE(sim_frame_sound(f));
    EXPECT_EQ(g_dynamic_bc, 1);
    EXPECT_EQ(g_shutter_closes, 1);
    EXPECT_EQ(g_self_checks, 0); /* the version was already in */
}

TEST_F(BootTest, AFailedBootStateSendsOnlyTheStatus)
{
    g_boot_state = 0;
    Qel_Ui_Param_Send(app_bus);
    auto got = frames(gui, 3);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], kBootOutcome);
    EXPECT_EQ(got[1].size(), 105u);
    EXPECT_EQ(got[2], kDebugReply);
}

/* Queues removed and made again (sightd's peers restarted) leave the quiet
 * sender's cached identifier stale: the frame in hand still arrives. */
TEST_F(BootTest, AQuietSendReachesAQueueMadeAgain)
{
    ASSERT_EQ(vesk_msg_send_quiet(0, kDebugReply.data(), (uint32_t)kDebugReply.size()), 0);
    ASSERT_EQ(frames(gui, 1).size(), 1u);
    sim_peer_stop(gui);
    ASSERT_EQ(msgctl(msgget(MSGQ_KEY_TO_PEERS, 0), IPC_RMID, nullptr), 0);
    gui = sim_peer_start(SIM_PEER_GUI, nullptr);
    ASSERT_NE(gui, nullptr);

    EXPECT_EQ(vesk_msg_send_quiet(0, kBootOutcome.data(), (uint32_t)kBootOutcome.size()), 0);
    const std::vector<bytes> got = frames(gui, 1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], kBootOutcome);
}

TEST_F(BootTest, SelfCheckRunsUntilTheCoreVersionIsIn)
{
    static int polls;
    polls = 0;
    vesk_msg_hooks hooks = *vesk_msg_get_hooks();
    hooks.vesk_core_version_ready = [] { return ++polls > 3 ? 1 : 0; };
    vesk_msg_set_hooks(&hooks);
    g_boot_state = 0;
    Qel_Ui_Param_Send(app_bus);
    EXPECT_EQ(g_self_checks, 3);
}

/* The settings push waits for the core's version only once the video link's
 * mark has started the self-check that brings it; without the media process
 * nobody asked, and the push goes on at once. */
TEST_F(BootTest, SettingsPushWaitsForAVersionOnlyOnceOneWasAskedFor)
{
    static int polls;
    const struct {
        const char *what;
        int video_marked;
        int polls;
    } rows[] = {
        {"video link marked, version never comes", 1, 10},
        {"no video mark", 0, 0},
    };
    for (const auto &row : rows) {
        polls = 0;
        vesk_msg_hooks hooks = *vesk_msg_get_hooks();
        hooks.vesk_core_version_ready = [] { return ++polls, 0; };
        vesk_msg_set_hooks(&hooks);
        voUartInitFinished = row.video_marked;
        init_MsgTextSet(app_bus);
        EXPECT_EQ(polls, row.polls) << row.what;
        EXPECT_EQ(g_shutter_closes, 1) << row.what << ": the settings still go out";
        g_shutter_closes = 0;
    }
}

TEST_F(BootTest, StoredSettingsGoToTheMediaProcessAndTheCore)
{
    Qel_DevStatus *s = &qel_dev_status;
    for (int i = 0; i < 7; i++) s->irParam[i] = 0x100 + 10 + i; /* only the low byte travels */
    s->reticleParam[0] = 4;
    s->s8BallisticReticleColor = 2;
    s->s8ScreenBrightness = 7;
    s->s8VideoOut = 1;
    s->s8MicSwitch = 1;
    s->s8ShotFrontTime = 2;
    s->s8ShotBackTime = 1;
    s->s16ShotThreshold = -2;
    s->s8WaterMarkClosed = 1;
    init_MsgTextSet(app_bus);
    const std::vector<bytes> media_expected = {
        sim_frame(22, 0, 0xFF, 0, {4, 0}), sim_frame(27, 0, 3, 0, {2, 0}), sim_frame(0, 0, 7, 0, {7}),
        sim_frame(0, 0, 8, 0, {1}),        sim_frame(8, 0, 0, 0, {2}),     sim_frame(0, 0, 26, 0, {1}),
        sim_frame(28, 1, 0xFF, 0, {2}),    sim_frame(28, 2, 0xFF, 0, {1}), sim_frame(28, 3, 0xFF, 0, {0xFE, 0xFF}),
        sim_frame(244, 0, 0x13, 0, {1}),
    };
    auto got = frames(media, media_expected.size());
    EXPECT_EQ(got, media_expected);
    for (auto &r : sim_peer_received(media)) EXPECT_EQ(r.type, 32u);
    /* The core's items, in order, as app-bus event 1. */
    const struct {
        uint8_t item, index;
    } core[] = {{9, 6}, {4, 3}, {1, 0}, {2, 1}, {3, 2}, {8, 4}};
    std::lock_guard<std::mutex> g(g_lock);
    ASSERT_EQ(g_app_events.size(), 6u);
    for (size_t i = 0; i < 6; i++) {
        EXPECT_EQ(g_app_events[i].type, 1);
        EXPECT_EQ(g_app_events[i].data, sim_frame(1, 1, core[i].item, 0, {(uint8_t)(10 + core[i].index), 0}));
    }
}

TEST_F(BootTest, ReticlePointOnlyWhenItChanged)
{
    Qel_DevStatus *s = &qel_dev_status;
    s->s16ReticlePositionX = 0x0140;
    s->s16ReticlePositionY = 0x00F0;
    s->f32ReticleOffsetX = 0.5f;
    s->f32ReticleOffsetY = -0.25f;
    const bytes point =
        sim_frame(22, 3, 0xFF, 0, {0x40, 0x01, 0xF0, 0x00, 0x00, 0x00, 0x00, 0x3F, 0x00, 0x00, 0x80, 0xBE});
    updateReticlePointToMedia(app_bus);
    updateReticlePointToMedia(app_bus); /* unchanged: nothing */
    s->f32ReticleOffsetY = -0.5f;
    updateReticlePointToMedia(app_bus);
    auto got = frames(media, 2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], point);
    EXPECT_EQ(got[1][17], 0xBF); /* -0.5 = 00 00 00 BF */
    EXPECT_EQ(s->f32ReticleOffsetYMedia, -0.5f);
}

TEST_F(BootTest, QuickPushSendsPointVideoModeAndBallisticSwitch)
{
    Qel_DevStatus *s = &qel_dev_status;
    s->s16ReticlePositionX = -3; /* negative positions as two's complement */
    s->s8VideoMode = 1;
    qel_ballistics.ballistics[0].ballistics_sw = 1;
    Qel_Media_Param_Send_Quick(app_bus);
    Qel_Media_Param_Send_Quick(app_bus); /* regardless of change */
    auto got = frames(media, 6);
    ASSERT_EQ(got.size(), 6u);
    EXPECT_EQ(header_of(got[0]), (bytes{0xAA, 0x12, 0x16, 0x03, 0xFF, 0x00}));
    EXPECT_EQ(got[0][6], 0xFD);
    EXPECT_EQ(got[0][7], 0xFF);
    EXPECT_EQ(got[1], sim_frame(0, 0, 0, 0, {1}));
    EXPECT_EQ(got[2], sim_frame(27, 0, 0, 0, {1}));
    EXPECT_EQ(got[3], got[0]);
}

TEST_F(BootTest, ShotVideoReadyAndBusBuilders)
{
    ASSERT_EQ(sendShotVideoReadyToUI(), 1);
    auto got = frames(gui, 1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], (bytes{0xAA, 0x06, 0x1C, 0x08, 0xFF, 0x80, 0x53, 0xEB, 0xAA}));
    EXPECT_EQ(sim_peer_received(gui)[0].type, 33u);
    /* The image request as if from the GUI goes to the main bus. */
    ASSERT_EQ(usual_MsgTextSend(bus, 14, 3), 0);
    ASSERT_TRUE(wait_events(1));
    EXPECT_EQ(events()[0].type, 4);
    EXPECT_EQ(events()[0].data, sim_frame(0, 0, 14, 0, {3}));
    ASSERT_EQ(pip_MsgTextSend(app_bus, 1, 2, 3, 4), 1);
    auto m = frames(media, 1);
    EXPECT_EQ(m[0], sim_frame(21, 1, 2, 0, {3, 4}));
}

} // namespace
