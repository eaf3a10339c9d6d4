// Key release to the key handled by sightui, both programs in the sandbox
// on the real clock: the release of the range key written as an input
// event on the key device, through sightd's key thread, the report router
// and the queue, to sightui's home page taking the range key. The end is
// sightui's own DETAIL log record (debug mode is on from the first boot);
// the start is CLOCK_MONOTONIC just before the release is written, the
// same clock the log records carry (in whole ms).
#include <benchmark/benchmark.h>

#include <stdio.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "road_bench.h"
#include "sim_keys.h"

namespace {

double mono_ms()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

/* The first "range key" record at or after since: its mono_ms, or -1. */
long long key_taken_ms(HomeRoad &road, long long since)
{
    for (const std::string &line : road.log_lines("gui", " tag=home ")) {
        long long t = sim_log_ms(line);
        if (t >= since && line.find("range key: single measurement") != std::string::npos) return t;
    }
    return -1;
}

/* One short press of the range key: the latency from the release in ms,
 * or -1 when sightui did not take it within 5 s. */
double one_press(HomeRoad &road)
{
    if (sim_key_event(road.sb, SIM_KEY_RANGE, 1) != 0) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    const double released = mono_ms();
    if (sim_key_event(road.sb, SIM_KEY_RANGE, 0) != 0) return -1;
    for (int waited = 0; waited < 5000; waited += 5) {
        long long t = key_taken_ms(road, (long long)released);
        if (t >= 0) return std::max(0.0, (double)t - released);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
}

void BM_KeyReleaseToGui(benchmark::State &state)
{
    HomeRoad road;
    if (!road_bench_start(road, state)) return;
    road.lrf_command("range 250.0");
    one_press(road); /* the first measurement also powers the module up */

    std::vector<double> samples;
    int missed = 0;
    for (auto _ : state) {
        /* The range just measured must be shown before the next press,
         * else the home page takes the key as a stop; a second more keeps
         * the key clear of the redraw that follows the measurement. */
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        double l = one_press(road);
        if (l < 0) {
            if (++missed > 3) {
                state.SkipWithError("more than 3 presses sightui did not take");
                break;
            }
            state.SetIterationTime(0);
            continue;
        }
        samples.push_back(l);
        state.SetIterationTime(l / 1000.0);
    }
    road_bench_report(state, samples, missed);
}

BENCHMARK(BM_KeyReleaseToGui)->UseManualTime()->Iterations(100)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
