// sightd at idle: both programs up to the home page with every peer, then
// nobody touches the scope. The figure is the CPU time all of sightd's
// threads took over a fixed window, as a share of one core, and how often
// its threads were woken. The window is 15 s rather than a minute, so that a
// run stays short; the periodic threads (zoom ring, USB, battery, compass,
// ballistic wait) cycle at 2 s or faster, so 15 s holds many of each. The
// counters come from /proc inside the sandbox: each thread's schedstat (run
// time in ns) and its context switches. The busiest threads by switches go
// to standard error, to show where the rest goes.
#include <benchmark/benchmark.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "home_road.h"
#include "vesk_clock.h"

namespace {

#define IDLE_SETTLE_MS 7000 /* past the shot-video report 5 s after start */
#define IDLE_WINDOW_MS 15000

struct sightd_usage {
    double run_ns = 0;                       /* all threads' run time */
    double switches = 0;                     /* all threads' context switches */
    std::map<std::string, double> by_thread; /* "tid name": its switches */
    std::map<std::string, double> run_by_thread; /* "tid name": its run time */
};

/* The sum over sightd's threads now; false with why. */
bool usage(sim_harness &h, sightd_usage *out)
{
    const std::string task = "/proc/" + std::to_string(h.sightd) + "/task/";
    std::string text;
    const std::string script =
        "for t in " + task +
        "*; do echo \"T ${t##*/} $(cat $t/comm)\"; cat $t/schedstat; grep ctxt_switches $t/status; done";
    if (!h.run({"sh", "-c", script}, 30000, &text)) return false;
    std::istringstream lines(text);
    std::string line;
    *out = sightd_usage();
    std::string thread;
    while (std::getline(lines, line)) {
        if (line.compare(0, 2, "T ") == 0) {
            thread = line.substr(2);
        } else if (line.find("ctxt_switches:") != std::string::npos) {
            const double n = atof(line.substr(line.find(':') + 1).c_str());
            out->switches += n;
            out->by_thread[thread] += n;
        } else if (!line.empty()) {
            out->run_ns += atof(line.c_str());
            out->run_by_thread[thread] += atof(line.c_str());
        }
    }
    return out->run_ns > 0;
}

void BM_SightdIdleCpu(benchmark::State &state)
{
    HomeRoad road;
    HomeRoadImage image;
    if (!road.start(image, 1ull << 30)) {
        state.SkipWithError(("no road: " + road.why).c_str());
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(IDLE_SETTLE_MS));
    std::vector<double> cpu, wakes;
    for (auto _ : state) {
        sightd_usage a, b;
        const double t0 = (double)vesk_mono_ms();
        if (!usage(road, &a)) {
            state.SkipWithError(("no thread counters: " + road.why).c_str());
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(IDLE_WINDOW_MS));
        const double t1 = (double)vesk_mono_ms();
        if (!usage(road, &b)) {
            state.SkipWithError(("no thread counters: " + road.why).c_str());
            return;
        }
        const double window_s = (t1 - t0) / 1000.0;
        cpu.push_back((b.run_ns - a.run_ns) / 1e7 / window_s); /* percent of one core */
        wakes.push_back((b.switches - a.switches) / window_s);
        /* The busiest threads by run time, with how often each was woken. */
        std::vector<std::pair<double, std::string>> busiest;
        for (const auto &t : b.run_by_thread)
            busiest.push_back({(t.second - a.run_by_thread[t.first]) / 1e7 / window_s, t.first});
        std::sort(busiest.rbegin(), busiest.rend());
        for (size_t i = 0; i < busiest.size() && i < 8; i++) {
            const std::string &t = busiest[i].second;
            fprintf(stderr, "sightd_idle_bench: %6.3f %% %7.1f switches/s  %s\n", busiest[i].first,
                    (b.by_thread[t] - a.by_thread[t]) / window_s, t.c_str());
        }
        state.SetIterationTime(window_s);
    }
    std::sort(cpu.begin(), cpu.end());
    std::sort(wakes.begin(), wakes.end());
    state.counters["cpu_pct_median"] = cpu[cpu.size() / 2];
    state.counters["cpu_pct_max"] = cpu.back();
    state.counters["switches_per_s_median"] = wakes[wakes.size() / 2];
}

BENCHMARK(BM_SightdIdleCpu)->UseManualTime()->Iterations(3)->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
