// Power-key long press to the power-off, both programs in the sandbox on
// the real clock: a setting changed on the home page, then the power key
// held on the key device; the figure is the time from the key event that
// makes the press long (the third auto-repeat) to the sandbox powering off,
// less the countdown's own three seconds, so it is what the key threads,
// the key rules, the save and the coordinator add. Each iteration boots a fresh
// sandbox, since the power-off ends it; the setting is checked on disk.
#include <benchmark/benchmark.h>

#include <stdio.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "sim_harness.h"

namespace {

const int kHoldMs = 1000;
/* sightd sets the device's auto-repeat to 500 ms and then 200 ms; the
 * third repeat makes a long press. */
const int kLongAtMs = 500 + 2 * 200;
const int kCountdownMs = 3000;

long long mono_ms()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string reticle_colour(const sim_harness &h)
{
    std::string ini = h.read("/factory/config.ini");
    size_t at = ini.find("\ns8reticlecolour ");
    if (at == std::string::npos) return "";
    size_t eq = ini.find('=', at), end = ini.find('\n', at + 1);
    std::string v = ini.substr(eq + 1, end - eq - 1);
    v.erase(0, v.find_first_not_of(' '));
    return v;
}

/* One boot, one setting, one long press: ms beyond the hold and the
 * countdown, or -1 with why. */
long long one_power_off(std::string *why)
{
    sim_harness h;
    if (!h.create() || !h.start_peer("media") || !h.start_sightd() || !h.start_sightui() ||
        !h.wait_top("QZ_home_page_1")) {
        *why = h.why;
        return -1;
    }
    const std::string before = reticle_colour(h);
    /* Up short on the home page: the next reticle colour. */
    if (!h.key("up") || !h.wait(5000, [&] { return reticle_colour(h) != before; })) {
        *why = "the reticle colour did not change: " + h.why;
        return -1;
    }
    const std::string wanted = reticle_colour(h);
    long long t0 = mono_ms();
    if (!h.key("power", "long", kHoldMs)) {
        *why = h.why;
        return -1;
    }
    sim_outcome out;
    if (!h.wait(20000, [&] { return h.ended(h.sightd, &out); }) || out.end != SIM_POWER_OFF) {
        *why = "no power-off: " + sim_outcome_text(out);
        return -1;
    }
    long long took = mono_ms() - t0;
    if (reticle_colour(h) != wanted) {
        *why = "the setting was not saved";
        return -1;
    }
    return took - kLongAtMs - kCountdownMs;
}

void BM_PowerKeyToPowerOffSaved(benchmark::State &state)
{
    std::vector<double> samples;
    for (auto _ : state) {
        std::string why;
        long long ms = one_power_off(&why);
        if (ms < 0) {
            state.SkipWithError(why.c_str());
            break;
        }
        samples.push_back((double)ms);
        state.SetIterationTime((double)ms / 1000.0);
    }
    if (samples.empty()) return;
    std::sort(samples.begin(), samples.end());
    state.counters["median_ms"] = samples[samples.size() / 2];
    state.counters["max_ms"] = samples.back();
}

BENCHMARK(BM_PowerKeyToPowerOffSaved)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
