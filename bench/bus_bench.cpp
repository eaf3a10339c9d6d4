// Event bus latency: from event_broadcast_send to the callback on the
// dispatch thread.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "boardcast.h"

namespace {

std::atomic<int> delivered{0};

void on_event(event_handle *, void *, int, const void *, int) { delivered.fetch_add(1, std::memory_order_release); }

void BM_BusPostToCallback(benchmark::State &state)
{
    event_handle *bus = nullptr;
    if (event_create(&bus, 30, nullptr) != 0 || event_receive_register(bus, on_event, nullptr) != 0) {
        state.SkipWithError("bus");
        return;
    }
    unsigned char frame[64] = {0xAA};
    for (auto _ : state) {
        int before = delivered.load(std::memory_order_acquire);
        auto t0 = std::chrono::steady_clock::now();
        event_broadcast_send(bus, 4, frame, sizeof frame, 100);
        while (delivered.load(std::memory_order_acquire) == before) std::this_thread::yield();
        auto dt = std::chrono::steady_clock::now() - t0;
        state.SetIterationTime(std::chrono::duration<double>(dt).count());
    }
    event_destroy(&bus);
}
BENCHMARK(BM_BusPostToCallback)
    ->UseManualTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
