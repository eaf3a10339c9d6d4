// A key on a menu to the menu it leads to drawn on screen, both programs in
// the sandbox on the real clock: from the list menu taking the key to the
// next window's first paint done (or the same menu's repaint for a row
// move). Both moments are sightui's own DETAIL log records (debug mode is on
// from the first boot), so the figure is the GUI's clock with nothing of the
// key injection in it.
#include <benchmark/benchmark.h>

#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "home_road.h"

namespace {

/* Headless, sightui paints only for snapshots: the figure needs it on a
 * display, here an Xvfb of its own. Its pid, the display in *display. */
pid_t start_xvfb(std::string *display)
{
    int fds[2];
    if (pipe(fds) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::string fd = std::to_string(fds[1]);
        execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
              (char *)NULL);
        _exit(127);
    }
    close(fds[1]);
    char buf[16] = {0};
    ssize_t n = read(fds[0], buf, sizeof buf - 1);
    close(fds[0]);
    if (n <= 0) return -1;
    *display = ":" + std::string(buf, strcspn(buf, "\n"));
    return pid;
}

long long mono_ms()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
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
        if (key_ms < 0 && line.find(" key ") != std::string::npos)
            key_ms = t;
        else if (key_ms >= 0 && line.find(next + " drawn") != std::string::npos)
            return t - key_ms;
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
    std::string display;
    pid_t xvfb = start_xvfb(&display);
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
        kill(xvfb, SIGTERM);
        waitpid(xvfb, nullptr, 0);
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
            fprintf(stderr, "menu_bench: %s %s did not draw %s within 5 s; top %s; the menus last logged:\n", s.key,
                    s.kind, s.next, road.top_window().c_str());
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
        samples.push_back((double)l);
        state.SetIterationTime((double)l / 1000.0);
    }
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);
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
