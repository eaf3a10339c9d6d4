// The queue client against the simulated peers, on the real keys inside a
// private IPC namespace.
#include "libmsg.h"

#include <gtest/gtest.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "sim_peer.h"

namespace {

std::mutex g_lock;
std::vector<Qel_MsgText> g_seen;
std::atomic<int> g_unused_nonnull{0};

void record_cb(Qel_MsgText *text, void *unused)
{
    if (unused != nullptr) g_unused_nonnull++;
    std::lock_guard<std::mutex> g(g_lock);
    g_seen.push_back(*text);
}

size_t seen_count()
{
    std::lock_guard<std::mutex> g(g_lock);
    return g_seen.size();
}

bool wait_seen(size_t n, int timeout_ms)
{
    for (int t = 0; t < timeout_ms; t++) {
        if (seen_count() >= n) return true;
        usleep(1000);
    }
    return seen_count() >= n;
}

class LibMsgTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(sim_peer_private_ipc(), 0); }
    void SetUp() override
    {
        {
            std::lock_guard<std::mutex> g(g_lock);
            g_seen.clear();
        }
        ASSERT_EQ(Qel_InitMsgEvent(record_cb, MSG_TYPE_FOR_SERVER), 0);
    }
    void TearDown() override { Qel_DeinitMsgEvent(); }
};

TEST_F(LibMsgTest, DeliversEveryCompleteRecordWithItsBytes)
{
    auto frame = sim_frame(22, 3, 255, 0, {1, 2, 3, 4});
    ASSERT_EQ(sim_peer_send_record(1, frame, (uint32_t)frame.size()), 0);
    ASSERT_TRUE(wait_seen(1, 2000));
    std::lock_guard<std::mutex> g(g_lock);
    EXPECT_EQ(g_seen[0].type, 1);
    EXPECT_EQ(g_seen[0].length, frame.size());
    EXPECT_EQ(memcmp(g_seen[0].context, frame.data(), frame.size()), 0);
    EXPECT_EQ(g_unused_nonnull.load(), 0);
}

TEST_F(LibMsgTest, BadRecordsDoNotStopTheListener)
{
    /* Each bad record is followed by a good one that must still arrive. */
    auto good = sim_frame(8, 0, 0, 0, {0});
    struct {
        const char *what;
        size_t record_size;
        uint32_t length;
    } rows[] = {
        {"longer than the record", 600, 10},
        {"much longer", 4000, 10},
        {"shorter than its length field", 100, 300},
        {"shorter than the header", 6, 0},
    };
    size_t expected = 0;
    for (auto row : rows) {
        std::vector<uint8_t> bytes(512, 0x55);
        ASSERT_EQ(sim_peer_send_sized(1, bytes, row.record_size, row.length), 0) << row.what;
        ASSERT_EQ(sim_peer_send_record(1, good, (uint32_t)good.size()), 0);
        expected++;
        ASSERT_TRUE(wait_seen(expected, 2000)) << row.what;
        usleep(20000);
        EXPECT_EQ(seen_count(), expected) << row.what;
    }
}

TEST_F(LibMsgTest, AfterDeinitNothingMoreIsDelivered)
{
    ASSERT_EQ(Qel_DeinitMsgEvent(), 0);
    /* The peer makes the queue again; nobody listens any more. */
    auto f = sim_frame(8, 0, 0, 0, {0});
    ASSERT_EQ(sim_peer_send_record(1, f, (uint32_t)f.size()), 0);
    usleep(50000);
    EXPECT_EQ(seen_count(), 0u);
    /* And the client comes back for the next test. */
    ASSERT_EQ(Qel_InitMsgEvent(record_cb, MSG_TYPE_FOR_SERVER), 0);
    ASSERT_TRUE(wait_seen(1, 2000));
}

TEST_F(LibMsgTest, SendPutsOneZeroPaddedRecordOnTheSendQueue)
{
    sim_peer *gui = sim_peer_start(SIM_PEER_GUI, nullptr);
    ASSERT_NE(gui, nullptr);
    const uint8_t frame[] = {0xAA, 0x06, 0x1C, 0x08, 0xFF, 0x80, 0x53, 0xEB, 0xAA};
    ASSERT_EQ(Qel_SendMsgEvent(MSG_TYPE_FOR_QTMENU, 33, 0, frame, sizeof(frame)), 0);
    ASSERT_TRUE(sim_peer_wait(gui, 1, 2000));
    auto got = sim_peer_received(gui);
    EXPECT_EQ(got[0].type, 33u);
    EXPECT_EQ(got[0].command, 0u);
    EXPECT_EQ(got[0].length, 9u);
    EXPECT_EQ(got[0].frame, std::vector<uint8_t>(frame, frame + sizeof(frame)));
    sim_peer_stop(gui);

    /* The record on the wire: 520 bytes, zero beyond the frame. */
    ASSERT_EQ(Qel_SendMsgEvent(MSG_TYPE_FOR_HTTPD, 48, 0, frame, sizeof(frame)), 0);
    struct {
        long mtype;
        uint8_t bytes[520];
    } raw;
    ASSERT_EQ(msgrcv(Qel_MsgEvent_SendQueue(), &raw, 520, MSG_TYPE_FOR_HTTPD, IPC_NOWAIT), 520);
    EXPECT_EQ(raw.bytes[0], 48);
    EXPECT_EQ(raw.bytes[2] | raw.bytes[3], 0);
    for (size_t i = 8 + sizeof(frame); i < 520; i++) ASSERT_EQ(raw.bytes[i], 0) << i;
}

TEST_F(LibMsgTest, SendRefusesMoreThanTheRecordHolds)
{
    std::vector<uint8_t> big(513, 0);
    errno = 0;
    EXPECT_EQ(Qel_SendMsgEvent(MSG_TYPE_FOR_QTMENU, 33, 0, big.data(), 513), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(Qel_SendMsgEvent(MSG_TYPE_FOR_QTMENU, 33, 0, big.data(), 512), 0);
}

/* Peers read at their own pace: the frames of one thread's burst stay at
 * least 10 ms apart, however the gap is kept. */
TEST_F(LibMsgTest, ABurstFromOneThreadKeepsItsGap)
{
    const uint8_t frame[9] = {0xAA, 6};
    auto now_ms = [] {
        struct timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
    };
    const int burst = 5;
    const double start = now_ms();
    for (int i = 0; i < burst; i++) ASSERT_EQ(Qel_SendMsgEvent(MSG_TYPE_FOR_HTTPD, 48, 0, frame, 9), 0);
    EXPECT_GE(now_ms() - start, (burst - 1) * 10.0);
    uint8_t raw[8 + 520];
    for (int i = 0; i < burst; i++) msgrcv(Qel_MsgEvent_SendQueue(), raw, 520, MSG_TYPE_FOR_HTTPD, IPC_NOWAIT);
}

TEST_F(LibMsgTest, AFullQueueFailsAtOnce)
{
    /* Nobody reads mtype 4 here: the queue fills after about 31 records. */
    uint8_t frame[9] = {0xAA, 6};
    int sent = 0;
    while (Qel_SendMsgEvent(MSG_TYPE_FOR_QTMENU, 33, 0, frame, 9) == 0 && sent < 100) sent++;
    EXPECT_EQ(errno, EAGAIN);
    EXPECT_GT(sent, 20);
    EXPECT_LT(sent, 100);
}

} // namespace
