// Stoppable waits: a stop ends them at once, a signal never does.
#include "vesk_worker.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

void on_usr1(int) {}

long long ms_since(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
}

TEST(Worker, ASignalDoesNotEndAWait)
{
    struct sigaction sa = {};
    sa.sa_handler = on_usr1; /* no SA_RESTART: poll returns EINTR */
    ASSERT_EQ(sigaction(SIGUSR1, &sa, nullptr), 0);
    vesk_worker w = VESK_WORKER_INIT;
    ASSERT_EQ(vesk_worker_open(&w), 0);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::atomic<int> result{99};
    std::atomic<bool> waiting{false};
    std::thread t([&] {
        waiting = true;
        result = vesk_worker_wait(&w, fds[0], 5000);
    });
    while (!waiting) usleep(1000);
    for (int i = 0; i < 5; i++) {
        usleep(20 * 1000);
        pthread_kill(t.native_handle(), SIGUSR1);
    }
    EXPECT_EQ(result.load(), 99) << "a signal ended the wait";
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    t.join();
    EXPECT_EQ(result.load(), 1);

    /* A sleep broken into by signals still lasts its time. */
    auto t0 = std::chrono::steady_clock::now();
    std::atomic<bool> slept{false};
    std::thread s([&] {
        vesk_worker_sleep(&w, 200);
        slept = true;
    });
    usleep(30 * 1000);
    pthread_kill(s.native_handle(), SIGUSR1);
    s.join();
    EXPECT_GE(ms_since(t0), 195);
    close(fds[0]);
    close(fds[1]);
    vesk_worker_close(&w);
}

TEST(Worker, AStopEndsWaitsAndSleepsAtOnce)
{
    vesk_worker w = VESK_WORKER_INIT;
    ASSERT_EQ(vesk_worker_open(&w), 0);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::atomic<int> waited{99}, slept{99};
    std::thread a([&] { waited = vesk_worker_wait(&w, fds[0], 60000); });
    std::thread b([&] { slept = vesk_worker_sleep(&w, 60000); });
    usleep(50 * 1000);
    auto t0 = std::chrono::steady_clock::now();
    vesk_worker_stop(&w);
    a.join();
    b.join();
    EXPECT_LT(ms_since(t0), 5000);
    EXPECT_EQ(waited.load(), -1);
    EXPECT_EQ(slept.load(), 1);
    EXPECT_TRUE(vesk_worker_stopping(&w));
    EXPECT_EQ(vesk_worker_sleep(&w, 10), 1);
    close(fds[0]);
    close(fds[1]);
    vesk_worker_close(&w);
}

TEST(Worker, AWaitWithoutTimeOutEndsOnInputOrStop)
{
    vesk_worker w = VESK_WORKER_INIT;
    ASSERT_EQ(vesk_worker_open(&w), 0);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::atomic<int> waited{99};
    std::thread reader([&] { waited = vesk_worker_wait(&w, fds[0], -1); });
    usleep(50 * 1000);
    EXPECT_EQ(waited.load(), 99); /* still waiting: no time-out */
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    reader.join();
    EXPECT_EQ(waited.load(), 1);
    char c;
    ASSERT_EQ(read(fds[0], &c, 1), 1);
    std::thread stopped([&] { waited = vesk_worker_wait(&w, fds[0], -1); });
    usleep(20 * 1000);
    vesk_worker_stop(&w);
    stopped.join();
    EXPECT_EQ(waited.load(), -1);
    close(fds[0]);
    close(fds[1]);
    vesk_worker_close(&w);
}

TEST(Worker, TimeOutAndBadDescriptor)
{
    vesk_worker w = VESK_WORKER_INIT;
    ASSERT_EQ(vesk_worker_open(&w), 0);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    EXPECT_EQ(vesk_worker_wait(&w, fds[0], 20), 0);
    close(fds[0]);
    EXPECT_EQ(vesk_worker_wait(&w, fds[0], 20), -2);
    close(fds[1]);
    vesk_worker_close(&w);
}

} // namespace
