// A key on a menu to the menu it leads to drawn on screen, both programs in
// the sandbox on the real clock, sightui on a display (SDL under Xvfb): from
// the key device event that makes sightd report the key (the release of a
// short press, the third auto-repeat of a long one) to the next window's
// first paint done (or the same menu's repaint for a row move). The start
// is CLOCK_MONOTONIC just before that event is written; the end is
// sightui's own DETAIL record of the paint (debug mode is on from the first
// boot), on the same clock in whole ms. The key's road through sightd, the
// queue, sightui's wake-up and the paint are all in the figure.
#include <benchmark/benchmark.h>

#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "home_road.h"
#include "road_bench.h"
#include "sim_keys.h"
#include "sim_xvfb.h"

namespace {

double mono_ms()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

/* The first "<next> drawn" logged at or after since_ms: its time, or -1. */
long long drawn_at(HomeRoad &road, const std::string &next, double since_ms)
{
    for (const std::string &line : road.log_lines("gui", " tag=menu ")) {
        long long t = sim_log_ms(line);
        if (t >= (long long)since_ms && line.find(next + " drawn") != std::string::npos) return t;
    }
    return -1;
}

/* A short press (100 ms) or a long one (1 s) of one key; *sent: the time
 * just before the event that makes sightd report it. */
bool press(HomeRoad &road, uint16_t code, bool long_press, double *sent)
{
    std::vector<sim_key_step> steps = sim_keys_hold({code}, long_press ? 1000 : 100, sim_keys_repeat(road.sb));
    size_t trigger = steps.size();
    int repeats = 0;
    for (size_t i = 0; i < steps.size() && trigger == steps.size(); i++) {
        if (long_press ? steps[i].value == 2 && ++repeats == 3 : steps[i].value == 0) trigger = i;
    }
    if (trigger == steps.size()) return false;
    std::vector<sim_key_step> before(steps.begin(), steps.begin() + (long)trigger);
    std::vector<sim_key_step> after(steps.begin() + (long)trigger + 1, steps.end());
    if (sim_keys_play(road.sb, before) != 0) return false;
    /* sim_keys_play times its steps from its own start. */
    const int since_start = before.empty() ? 0 : before.back().t_ms;
    if (steps[trigger].t_ms > since_start)
        std::this_thread::sleep_for(std::chrono::milliseconds(steps[trigger].t_ms - since_start));
    *sent = mono_ms();
    if (sim_key_event(road.sb, steps[trigger].code, steps[trigger].value) != 0) return false;
    for (sim_key_step &a : after) a.t_ms -= steps[trigger].t_ms;
    return sim_keys_play(road.sb, after) == 0;
}

/* One key and its next page: the latency in ms, or -1 after 5 s. */
double one_key(HomeRoad &road, uint16_t code, bool long_press, const std::string &next)
{
    double sent = 0;
    if (!press(road, code, long_press, &sent)) return -1;
    for (int waited = 0; waited < 5000; waited += 10) {
        long long t = drawn_at(road, next, sent);
        if (t >= 0) return std::max(0.0, (double)t - sent);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

void BM_MenuKeyToNextPageDrawn(benchmark::State &state)
{
    std::string display;
    /* Headless, sightui paints only for snapshots: the figure needs it on
     * a display. */
    pid_t xvfb = sim_xvfb_start("1280x1024x24", &display);
    if (xvfb < 0) {
        state.SkipWithError("no Xvfb");
        return;
    }
    HomeRoad road;
    HomeRoadImage image;
    image.debug = true;
    image.ballistics = false;
    sim_options options;
    options.media_bytes = 256ull << 20;
    options.display = display;
    options.files = home_road_image(image, &road.why);
    if (options.files.empty() || !road.create(options) || !road.start_peer("media") || !road.start_sightd() ||
        !road.start_sightui({}, "sdl") || !road.wait_top("QZ_home_page_1")) {
        state.SkipWithError(("no scope: " + road.why).c_str());
        sim_xvfb_stop(xvfb);
        return;
    }
    /* The main menu on its settings row. */
    road.key("ok", "long");
    road.wait_top("main_menu");
    for (int i = 1; i < 6; i++) road.key("down");

    /* Into the settings menu, a row down, back to the main menu: a window
     * opened, a row moved, a window opened. */
    struct Step {
        uint16_t code;
        bool long_press;
        const char *next;
    } steps[] = {
        {SIM_KEY_OK, false, "setting_menu"}, {SIM_KEY_DOWN, false, "setting_menu"}, {SIM_KEY_OK, true, "main_menu"}};
    std::vector<double> samples;
    int missed = 0;
    size_t i = 0;
    for (auto _ : state) {
        const Step &s = steps[i++ % 3];
        double l = one_key(road, s.code, s.long_press, s.next);
        if (l < 0) {
            fprintf(stderr, "menu_bench: key %u (%s) did not draw %s within 5 s; top %s; the menus last logged:\n",
                    s.code, s.long_press ? "long" : "short", s.next, road.top_window().c_str());
            std::vector<std::string> lines = road.log_lines("gui", " tag=menu ");
            for (size_t k = lines.size() > 3 ? lines.size() - 3 : 0; k < lines.size(); k++)
                fprintf(stderr, "  %s\n", lines[k].c_str());
            if (++missed > 3) {
                state.SkipWithError("more than 3 keys without their page");
                break;
            }
            state.SetIterationTime(0);
            continue;
        }
        samples.push_back(l);
        state.SetIterationTime(l / 1000.0);
    }
    sim_xvfb_stop(xvfb);
    road_bench_report(state, samples, missed);
}

BENCHMARK(BM_MenuKeyToNextPageDrawn)->UseManualTime()->Iterations(150)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
