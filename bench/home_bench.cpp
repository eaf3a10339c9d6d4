// Range key to hold-over on the home page, both programs in the sandbox on
// the real clock: from the home page taking the range key to the home page
// showing the hold-over that sightd solved for the range the simulated
// rangefinder answered. Both moments are sightui's own DETAIL log records
// (debug mode is on from the first boot), so the figure is the GUI's clock
// with nothing of the measuring in it. The ballistic thread is woken by
// the rangefinder's request, wherever it is in its wait of at most 100 ms.
#include <benchmark/benchmark.h>

#include <stdio.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "road_bench.h"
#include "vesk_clock.h"

namespace {

/* The shown line for distance d after the range key at or after since_ms:
 * the latency in ms, or -1 when it has not been logged yet. */
long long latency_ms(HomeRoad &road, const std::string &distance, long long since_ms)
{
    long long key_ms = -1;
    for (const std::string &line : road.log_lines("gui", " tag=home ")) {
        long long t = sim_log_ms(line);
        if (t < since_ms) continue;
        if (line.find("range key: single measurement") != std::string::npos && key_ms < 0)
            key_ms = t;
        else if (key_ms >= 0 && line.find("mil at " + distance + " m shown") != std::string::npos)
            return t - key_ms;
    }
    return -1;
}

/* Ranges once at distance d and waits for its hold-over: the latency, or
 * -1 after 5 s. */
long long one_range(HomeRoad &road, double d)
{
    char distance[16];
    snprintf(distance, sizeof distance, "%.1f", d);
    long long since = (long long)vesk_mono_ms();
    if (!road.lrf_command(std::string("range ") + distance) || !road.key("range")) return -1;
    for (int waited = 0; waited < 5000; waited += 20) {
        long long l = latency_ms(road, distance, since);
        if (l >= 0) return l;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

void BM_RangeKeyToHoldOverShown(benchmark::State &state)
{
    HomeRoad road;
    if (!road_bench_start(road, state)) return;
    /* The first measurement also powers the module up. */
    one_range(road, 250.0);

    std::vector<double> samples;
    int missed = 0;
    int i = 0;
    unsigned seed = 12345;
    for (auto _ : state) {
        /* A pause of 0 to 150 ms first, so that the key meets the ballistic
         * thread anywhere in its wait of at most 100 ms, not just after a
         * result. */
        seed = seed * 1103515245u + 12345u;
        std::this_thread::sleep_for(std::chrono::milliseconds((seed >> 16) % 151));
        double d = 300.0 + 0.7 * (i++ % 900);
        long long l = one_range(road, d);
        if (l < 0) {
            /* Say what the GUI last logged, then go on: a lost measurement
             * is counted, not timed. */
            std::vector<std::string> lines = road.log_lines("gui", " tag=home ");
            fprintf(stderr, "home_bench: no hold-over for %.1f m within 5 s; the GUI last logged:\n", d);
            for (size_t k = lines.size() > 4 ? lines.size() - 4 : 0; k < lines.size(); k++)
                fprintf(stderr, "  %s\n", lines[k].c_str());
            if (++missed > 3) {
                state.SkipWithError("more than 3 measurements without a hold-over");
                break;
            }
            state.SetIterationTime(0);
            continue;
        }
        samples.push_back((double)l);
        state.SetIterationTime((double)l / 1000.0);
    }
    road_bench_report(state, samples, missed);
}

BENCHMARK(BM_RangeKeyToHoldOverShown)->UseManualTime()->Iterations(200)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
