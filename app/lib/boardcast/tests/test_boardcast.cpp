#include "boardcast.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A callback that records what it sees and can be held inside the
// dispatch thread until the test lets it go.
struct Probe {
    std::mutex m;
    std::condition_variable cv;
    bool hold = false;
    bool inside = false;
    std::vector<std::string> seen;

    void release()
    {
        std::lock_guard<std::mutex> lk(m);
        hold = false;
        cv.notify_all();
    }
    void wait_inside()
    {
        std::unique_lock<std::mutex> lk(m);
        cv.wait(lk, [&] { return inside; });
    }
    void wait_seen(size_t n)
    {
        std::unique_lock<std::mutex> lk(m);
        cv.wait_for(lk, std::chrono::seconds(5), [&] { return seen.size() >= n; });
    }
};

void record(Probe *p, const char *who, int evtype, const void *data, int size)
{
    std::unique_lock<std::mutex> lk(p->m);
    std::string s = std::string(who) + ":" + std::to_string(evtype) + ":" + std::to_string(size) + ":" +
                    (data ? std::string((const char *)data, (size_t)size) : std::string("null"));
    p->seen.push_back(s);
    p->inside = true;
    p->cv.notify_all();
    p->cv.wait(lk, [&] { return !p->hold; });
}

void cb_a(event_handle *, void *d, int t, const void *data, int size) { record((Probe *)d, "a", t, data, size); }
void cb_b(event_handle *, void *d, int t, const void *data, int size) { record((Probe *)d, "b", t, data, size); }
void cb_c(event_handle *, void *d, int t, const void *data, int size) { record((Probe *)d, "c", t, data, size); }

class Bus : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(event_create(&bus, 30, nullptr), 0); }
    void TearDown() override
    {
        probe.release();
        if (bus) {
            EXPECT_EQ(event_destroy(&bus), 0);
        }
        EXPECT_EQ(bus, nullptr);
    }
    event_handle *bus = nullptr;
    Probe probe;
};

TEST_F(Bus, CallbacksRunNewestRegistrationFirstAndSeeEveryEvent)
{
    ASSERT_EQ(event_receive_register(bus, cb_a, &probe), 0);
    ASSERT_EQ(event_receive_register(bus, cb_b, &probe), 0);
    ASSERT_EQ(event_receive_register(bus, cb_c, &probe), 0);
    char text[] = "xy";
    ASSERT_EQ(event_broadcast_send(bus, 4, text, 2, 100), 0);
    text[0] = 'Z'; // the bus keeps its own copy
    ASSERT_EQ(event_broadcast_send(bus, 7, nullptr, 0, 100), 0);
    probe.wait_seen(6);
    std::lock_guard<std::mutex> lk(probe.m);
    EXPECT_EQ(probe.seen,
              (std::vector<std::string>{"c:4:2:xy", "b:4:2:xy", "a:4:2:xy", "c:7:0:null", "b:7:0:null", "a:7:0:null"}));
}

TEST_F(Bus, RegistrationRules)
{
    Probe other;
    EXPECT_EQ(event_receive_register(bus, cb_a, &probe), 0);
    EXPECT_EQ(event_receive_register(bus, cb_a, &other), -1) << "same function, other data";
    EXPECT_EQ(event_receive_register(bus, nullptr, &probe), -1);
    EXPECT_EQ(event_receive_register(nullptr, cb_b, &probe), -1);
    EXPECT_EQ(event_receive_unregister(bus, cb_b), -1);
    EXPECT_EQ(event_receive_unregister(bus, cb_a), 0);
    EXPECT_EQ(event_receive_unregister(bus, cb_a), -1);
    EXPECT_EQ(event_broadcast_send(nullptr, 1, "x", 1, 100), -1);
}

TEST_F(Bus, FullQueueTimesOutAndDropsThenAWaitingSenderGoesOnOncePopped)
{
    ASSERT_EQ(event_receive_register(bus, cb_a, &probe), 0);
    probe.hold = true;
    ASSERT_EQ(event_broadcast_send(bus, 1, "h", 1, 100), 0);
    probe.wait_inside(); // the dispatch thread is now held in the callback

    for (int i = 0; i < 30; i++) ASSERT_EQ(event_broadcast_send(bus, 2, "q", 1, 100), 0) << i;
    auto t0 = Clock::now();
    EXPECT_EQ(event_broadcast_send(bus, 3, "lost", 4, 100), -1);
    EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(95));

    // A sender waiting for room proceeds as soon as the thread pops again.
    std::atomic<int> late{1};
    std::thread sender([&] { late = event_broadcast_send(bus, 5, "late", 4, 5000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    probe.release();
    sender.join();
    EXPECT_EQ(late.load(), 0);
    probe.wait_seen(32);
    std::lock_guard<std::mutex> lk(probe.m);
    ASSERT_EQ(probe.seen.size(), 32u);
    EXPECT_EQ(probe.seen.back(), "a:5:4:late");
    for (const std::string &s : probe.seen) EXPECT_EQ(s.find("lost"), std::string::npos);
}

TEST_F(Bus, ABatchArrivesInOrderAndWaitsForRoomItemByItem)
{
    ASSERT_EQ(event_receive_register(bus, cb_a, &probe), 0);
    probe.hold = true;
    ASSERT_EQ(event_broadcast_send(bus, 1, "h", 1, 100), 0);
    probe.wait_inside();
    for (int i = 0; i < 28; i++) ASSERT_EQ(event_broadcast_send(bus, 2, "q", 1, 100), 0) << i;

    // Two slots are left: the batch fills them, then its time-out drops the rest.
    const event_payload batch[3] = {{"x", 1}, {"yy", 2}, {"zzz", 3}};
    EXPECT_EQ(event_broadcast_send_all(bus, 4, batch, 3, 50), 2);

    // With the thread taking events again, a whole batch goes through in order.
    std::atomic<int> pushed{-2};
    std::thread sender([&] { pushed = event_broadcast_send_all(bus, 6, batch, 3, 5000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    probe.release();
    sender.join();
    EXPECT_EQ(pushed.load(), 3);
    probe.wait_seen(34);
    std::lock_guard<std::mutex> lk(probe.m);
    ASSERT_EQ(probe.seen.size(), 34u);
    const std::vector<std::string> tail(probe.seen.end() - 5, probe.seen.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"a:4:1:x", "a:4:2:yy", "a:6:1:x", "a:6:2:yy", "a:6:3:zzz"}));
}

TEST_F(Bus, ABadPayloadInABatchQueuesNothing)
{
    ASSERT_EQ(event_receive_register(bus, cb_a, &probe), 0);
    const event_payload batch[2] = {{"ok", 2}, {nullptr, 3}};
    EXPECT_EQ(event_broadcast_send_all(bus, 7, batch, 2, 50), -1);
    ASSERT_EQ(event_broadcast_send(bus, 8, "after", 5, 50), 0);
    probe.wait_seen(1);
    std::lock_guard<std::mutex> lk(probe.m);
    EXPECT_EQ(probe.seen, (std::vector<std::string>{"a:8:5:after"}));
}

std::atomic<int> g_destroy_calls{0};
void cb_count(event_handle *, void *d, int, const void *, int)
{
    Probe *p = (Probe *)d;
    g_destroy_calls++;
    std::unique_lock<std::mutex> lk(p->m);
    p->inside = true;
    p->cv.notify_all();
    p->cv.wait(lk, [&] { return !p->hold; });
}

TEST_F(Bus, DestroyFreesQueuedEventsWithoutCallingAnyCallback)
{
    ASSERT_EQ(event_receive_register(bus, cb_count, &probe), 0);
    probe.hold = true;
    ASSERT_EQ(event_broadcast_send(bus, 1, "first", 5, 100), 0);
    probe.wait_inside();
    for (int i = 0; i < 20; i++) ASSERT_EQ(event_broadcast_send(bus, 2, "queued-payload", 14, 100), 0);
    // Destroy while the thread is held: it must finish the current event,
    // then stop without dispatching the 20 queued ones. ASan checks that
    // their payloads are freed.
    std::thread destroyer([&] { EXPECT_EQ(event_destroy(&bus), 0); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    probe.release();
    destroyer.join();
    EXPECT_EQ(bus, nullptr);
    EXPECT_EQ(g_destroy_calls.load(), 1);
    EXPECT_EQ(event_destroy(&bus), -1);
    EXPECT_EQ(event_destroy(nullptr), -1);
}

TEST(QueueBuf, RingKeepsOrderAcrossWrapAndPeekLeavesTheItem)
{
    queue_buf_t *q = queue_buf_alloc(3, sizeof(int));
    ASSERT_NE(q, nullptr);
    int v = 0;
    for (int round = 0; round < 4; round++) {
        for (int i = 0; i < 3; i++) {
            int x = round * 10 + i;
            ASSERT_EQ(queue_buf_push(q, &x), 0);
        }
        int extra = 99;
        EXPECT_EQ(queue_buf_push(q, &extra), -1);
        EXPECT_EQ(queue_buf_get(q, &v), 0);
        EXPECT_EQ(v, round * 10);
        EXPECT_EQ(queue_buf_item_cnt(q), 3);
        for (int i = 0; i < 3; i++) {
            ASSERT_EQ(queue_buf_pop(q, &v), 0);
            EXPECT_EQ(v, round * 10 + i);
        }
        EXPECT_EQ(queue_buf_pop(q, &v), -1);
    }
    EXPECT_EQ(queue_buf_pop_wait(q, &v, 10), -1);
    EXPECT_EQ(queue_buf_item_num(q), 3);
    queue_buf_free(q);
}

} // namespace
