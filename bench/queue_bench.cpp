// Frames per second from queue 54321 through sightd's listener and the main
// bus to a router consumer, with the count of frames lost on the way. The
// producer plays the GUI on its own thread; queues live in a private IPC
// namespace so the bench meets no running programs.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "notifier.h"
#include "sim_peer.h"
#include "vesk_msg.h"

namespace {

std::atomic<uint64_t> g_consumed{0};

void consumer(event_handle *, void *, int evtype, const void *, int)
{
    if (evtype & MAIN_NOTIFIER_APP) g_consumed.fetch_add(1, std::memory_order_relaxed);
}

void BM_QueueToRouter(benchmark::State &state)
{
    const int batch = (int)state.range(0);
    event_handle *bus = nullptr;
    if (event_create(&bus, NOTIFIER_BUS_DEPTH, nullptr) != 0 || event_receive_register(bus, consumer, nullptr) != 0 ||
        Qel_MsgEvent_Init(bus) != 0) {
        state.SkipWithError("set-up");
        return;
    }
    const auto frame = sim_frame(SUB_NOTIFIER_IMAGE, 0, 7, 0, {5});
    uint64_t sent = 0, lost = 0;
    for (auto _ : state) {
        const uint64_t before = g_consumed.load();
        for (int i = 0; i < batch; i++) {
            /* A full queue means the listener is behind: wait for it. */
            while (sim_peer_send_record(MSGQ_COMMAND_UI_TO_APP, frame, (uint32_t)frame.size()) != 0) sched_yield();
        }
        sent += (uint64_t)batch;
        /* Let the tail drain; a frame still missing after 1 s is lost. */
        for (int waited = 0; g_consumed.load() - before < (uint64_t)batch && waited < 1000; waited++) usleep(1000);
        lost += (uint64_t)batch - (g_consumed.load() - before);
    }
    state.SetItemsProcessed((int64_t)sent);
    state.counters["lost"] = (double)lost;
    Qel_MsgEvent_Deinit();
    event_destroy(&bus);
}
BENCHMARK(BM_QueueToRouter)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    if (sim_peer_private_ipc() != 0) {
        fprintf(stderr, "queue_bench: no private IPC namespace\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
