// sightd start to the home page shown, with every peer present: the media
// process (its video-ready mark already sent, as a running pipeline would
// have), the phone and Bluetooth services, the rangefinder module and the
// thermal core on their lines, and sightui started with sightd, as at the
// scope's power-on. The end is sightui's own DETAIL record of the boot page
// giving way to the home page (debug mode is on from the first boot), so
// the GUI's clock takes the figure; the start is the host's monotonic clock
// (the same clock) just before sightd is spawned. The boot push's end is
// sightd's own line about it. The boot page's 3 s minimum is the floor.
// The second case boots without the media process: its video-ready mark
// never comes, so sightd's boot push waits out its bounded link wait.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <string>
#include <vector>

#include "home_road.h"
#include "sim_harness.h"
#include "sim_thermal.h"
#include "vesk_clock.h"

namespace {

/* The first record of that stream holding what, at or after since: its
 * time, or -1. */
long long logged_at(const sim_harness &h, const char *stream, const std::string &what, long long since)
{
    for (const std::string &line : h.log_lines(stream, what)) {
        long long t = sim_log_ms(line);
        if (t >= since) return t;
    }
    return -1;
}

struct boot_times {
    long long push_ms = -1, home_ms = -1;
};

bool one_boot(bool media, boot_times *out, std::string *why)
{
    sim_harness h;
    HomeRoadImage image;
    image.debug = true;
    sim_options options;
    options.files = home_road_image(image, &h.why);
    bool ok = !options.files.empty() && h.create(options);
    for (const char *role : {"http", "ble"}) ok = ok && h.start_peer(role);
    if (media) ok = ok && h.start_peer("media") && h.send("media", sim_frame(1, 19, 0xFF, 0));
    ok = ok && sim_thermal_core(h) != nullptr && h.lrf() != nullptr;
    if (!ok) {
        *why = h.why;
        return false;
    }
    const long long t0 = (long long)vesk_mono_ms();
    if (!h.start_sightd() || !h.start_sightui()) {
        *why = h.why;
        return false;
    }
    const std::string shown = "close current window: Boot_logo";
    if (!h.wait(SIM_BOOT_MS, [&] { return logged_at(h, "gui", shown, t0) >= 0; })) {
        *why = "the home page never replaced the boot page";
        return false;
    }
    out->home_ms = logged_at(h, "gui", shown, t0) - t0;
    long long push = logged_at(h, "app", "APP send to UI: init param", t0);
    out->push_ms = push >= 0 ? push - t0 : -1;
    return true;
}

void BM_SightdStartToHomePageShown(benchmark::State &state)
{
    std::vector<double> home, push;
    for (auto _ : state) {
        boot_times t;
        std::string why;
        if (!one_boot(state.range(0) != 0, &t, &why)) {
            state.SkipWithError(why.c_str());
            return;
        }
        home.push_back((double)t.home_ms);
        if (t.push_ms >= 0) push.push_back((double)t.push_ms);
        state.SetIterationTime((double)t.home_ms / 1000.0);
    }
    std::sort(home.begin(), home.end());
    std::sort(push.begin(), push.end());
    state.counters["home_median_ms"] = home[home.size() / 2];
    state.counters["home_max_ms"] = home.back();
    if (!push.empty()) {
        state.counters["boot_push_median_ms"] = push[push.size() / 2];
        state.counters["boot_push_max_ms"] = push.back();
    }
}

/* Argument: 1 with the media process, 0 without it. */
BENCHMARK(BM_SightdStartToHomePageShown)
    ->ArgName("media")
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
