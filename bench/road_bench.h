// What the benchmarks on the home road share: the road booted with debug
// mode on (sightui's DETAIL records are the clock), and the latency
// figures of a run.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "home_road.h"

/* Both programs up to the home page with debug mode on; false after
 * telling the benchmark why. */
inline bool road_bench_start(HomeRoad &road, benchmark::State &state)
{
    HomeRoadImage image;
    image.debug = true;
    if (road.start(image, 1ull << 30)) return true;
    state.SkipWithError(("no road: " + road.why).c_str());
    return false;
}

/* Median, 99th percentile and largest latency in ms, and the misses. */
inline void road_bench_report(benchmark::State &state, std::vector<double> samples, int missed)
{
    if (samples.empty()) return;
    std::sort(samples.begin(), samples.end());
    state.counters["median_ms"] = samples[samples.size() / 2];
    state.counters["p99_ms"] = samples[std::min(samples.size() - 1, (size_t)(samples.size() * 0.99))];
    state.counters["max_ms"] = samples.back();
    state.counters["missed"] = missed;
}
