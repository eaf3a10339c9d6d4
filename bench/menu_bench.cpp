// A key on a menu to the menu it leads to drawn on screen, both programs in
// the sandbox on the real clock: from the list menu taking the key to the
// next window's first paint done (or the same menu's repaint for a row
// move). Both moments are sightui's own DETAIL log records (debug mode is on
// from the first boot), so the figure is the GUI's clock with nothing of the
// key injection in it.
#include <benchmark/benchmark.h>

#include <stdio.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "home_road.h"

namespace {

long long mono_ms()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

/* The latency of the first key logged at or after since_ms to "<next>
 * drawn", or -1 when not logged yet. */
long long latency_ms(HomeRoad &road, const std::string &next, long long since_ms)
{
    long long key_ms = -1;
    for (const std::string &line : road.log_lines("gui", " tag=menu ")) {
        long long t = sim_log_ms(line);
        if (t < since_ms) continue;
        if (key_ms < 0 && line.find(" key ") != std::string::npos) key_ms = t;
        else if (key_ms >= 0 && line.find(next + " drawn") != std::string::npos) return t - key_ms;
    }
    return -1;
}

/* One key and its next page: the latency, or -1 after 5 s. */
long long one_key(HomeRoad &road, const std::string &key, const std::string &kind, const std::string &next)
{
    long long since = mono_ms();
    if (!road.key(key, kind)) return -1;
    for (int waited = 0; waited < 5000; waited += 10) {
        long long l = latency_ms(road, next, since);
        if (l >= 0) return l;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

void BM_MenuKeyToNextPageDrawn(benchmark::State &state)
{
    HomeRoad road;
    HomeRoadImage image;
    image.debug = true;
    image.ballistics = false;
    if (!road.start(image, 256ull << 20)) {
        state.SkipWithError(("no scope: " + road.why).c_str());
        return;
    }
    /* The main menu on its settings row. */
    road.key("ok", "long");
    road.wait_top("main_menu");
    for (int i = 1; i < 6; i++) road.key("down");

    /* Into the settings menu, a row down, back to the main menu: a window
     * opened, a row moved, a window opened. */
    struct Step {
        const char *key, *kind, *next;
    } steps[] = {{"ok", "short", "setting_menu"}, {"down", "short", "setting_menu"}, {"ok", "long", "main_menu"}};
    std::vector<double> samples;
    int missed = 0;
    size_t i = 0;
    for (auto _ : state) {
        const Step &s = steps[i++ % 3];
        long long l = one_key(road, s.key, s.kind, s.next);
        if (l < 0) {
            fprintf(stderr, "menu_bench: %s %s did not draw %s within 5 s\n", s.key, s.kind, s.next);
            if (++missed > 3) {
                state.SkipWithError("more than 3 keys without their page");
                break;
            }
            state.SetIterationTime(0);
            continue;
        }
        samples.push_back((double)l);
        state.SetIterationTime((double)l / 1000.0);
    }
    if (samples.empty()) return;
    std::sort(samples.begin(), samples.end());
    state.counters["median_ms"] = samples[samples.size() / 2];
    state.counters["p99_ms"] = samples[std::min(samples.size() - 1, (size_t)(samples.size() * 0.99))];
    state.counters["max_ms"] = samples.back();
    state.counters["missed"] = missed;
}

BENCHMARK(BM_MenuKeyToNextPageDrawn)->UseManualTime()->Iterations(150)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
