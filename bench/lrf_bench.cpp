// Rangefinder latency: from the module's reply (its last byte written on
// the pseudo-terminal by the simulated module) to the distance frame on the
// GUI's queue. The service runs whole (receive thread, worker, outbox);
// the main-bus consumer frames each report as the report router does and
// puts it on a private System V queue, which the benchmark reads.
#include <benchmark/benchmark.h>

#include <errno.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <time.h>

#include <algorithm>
#include <vector>

#include "laser.h"
#include "lrf_host_doubles.h"
#include "lrf_sim.h"
#include "qel_dev_status.h"
#include "vesk_frame.h"
#include "vesk_lrf_worker.h"

namespace {

struct gui_msg {
    long mtype;
    uint8_t frame[VESK_FRAME_MAX];
};

int g_queue = -1;

uint64_t now_ns()
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint64_t)t.tv_sec * 1000000000ull + (uint64_t)t.tv_nsec;
}

void to_gui_queue(event_handle *, void *, int evtype, const void *data, int size)
{
    const uint8_t *p = (const uint8_t *)data;
    if (evtype != 1 || size < 3 || p[0] != SUB_NOTIFIER_DISTANCE) return;
    gui_msg m;
    m.mtype = 33;
    size_t n =
        vesk_frame_build(m.frame, sizeof m.frame, p[0], p[1], p[2], VESK_FRAME_FLAG_REPORT, p + 3, (size_t)size - 3);
    msgsnd(g_queue, &m, n, IPC_NOWAIT);
}

int no_power(int) { return 0; }

void BM_LrfReplyToGuiQueue(benchmark::State &state)
{
    lrf_sim *sim = lrf_sim_start(NULL);
    event_handle *main_bus = nullptr, *app_bus = nullptr;
    g_queue = msgget(IPC_PRIVATE, IPC_CREAT | 0600);
    static const vesk_lrf_worker_ops ops = {no_power};
    vesk_lrf_set_ops(&ops);
    memset(&qel_dev_status, 0, sizeof qel_dev_status);
    qel_dev_status.vesk_lrf_target = 1;
    if (sim == NULL || g_queue < 0 || event_create(&main_bus, 30, NULL) != 0 || event_create(&app_bus, 30, NULL) != 0 ||
        event_receive_register(main_bus, to_gui_queue, NULL) != 0 ||
        Qel_LaserInit(lrf_sim_slave_path(sim), main_bus, app_bus) != 0) {
        state.SkipWithError("set-up");
        return;
    }
    lrf_sim_command(sim, "range 321.5");
    vesk_lrf_event single;
    memset(&single, 0, sizeof single);
    single.kind = VESK_LRF_EV_REQ_SINGLE;

    std::vector<double> us;
    gui_msg m;
    /* Waits for the next result frame; 0 on time-out. */
    auto next_result = [&](uint64_t *at) {
        for (;;) {
            ssize_t n = msgrcv(g_queue, &m, sizeof m.frame, 0, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return 0;
            *at = now_ns();
            if (n > 3 && m.frame[3] == 0x02) return 1;
        }
    };
    uint64_t at;
    vesk_lrf_post(&single); /* the first request powers and configures */
    next_result(&at);
    for (auto _ : state) {
        vesk_lrf_post(&single);
        if (!next_result(&at)) {
            state.SkipWithError("no result");
            break;
        }
        lrf_sim_stats st;
        lrf_sim_get_stats(sim, &st);
        double dt = (double)(at - st.last_reply_ns) / 1e9;
        state.SetIterationTime(dt);
        us.push_back(dt * 1e6);
    }
    if (!us.empty()) {
        std::sort(us.begin(), us.end());
        state.counters["p50_us"] = us[us.size() / 2];
        state.counters["p99_us"] = us[std::min(us.size() - 1, us.size() * 99 / 100)];
        state.counters["max_us"] = us.back();
    }
    Qel_laserExit();
    event_destroy(&app_bus);
    event_destroy(&main_bus);
    msgctl(g_queue, IPC_RMID, NULL);
    lrf_sim_stop(sim);
    vesk_lrf_set_ops(NULL);
}
BENCHMARK(BM_LrfReplyToGuiQueue)->UseManualTime()->Iterations(2000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
