#include "sim_keys.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <algorithm>

#include "sim.h"

#define SIM_KEY_GAP_MS 40
#define SIM_KEY_TAP_MS 80
#define SIM_KEY_RELEASE_GAP_MS 20
#define SIM_KEY_SHORT_MS 100
#define SIM_KEY_DOUBLE_GAP_MS 150

static const struct {
    const char *name;
    uint16_t code;
} sim_keys_table[] = {
    {"ok", SIM_KEY_OK},     {"middle", SIM_KEY_OK},   {"up", SIM_KEY_UP},
    {"down", SIM_KEY_DOWN}, {"left", SIM_KEY_LEFT},   {"right", SIM_KEY_RIGHT},
    {"fn", SIM_KEY_FN},     {"range", SIM_KEY_RANGE}, {"power", SIM_KEY_POWER},
};

std::vector<uint16_t> sim_keys_parse(const std::string &names)
{
    std::vector<uint16_t> codes;
    size_t at = 0;
    while (at <= names.size()) {
        size_t plus = names.find('+', at);
        std::string one = names.substr(at, plus == std::string::npos ? std::string::npos : plus - at);
        bool found = false;
        for (const auto &k : sim_keys_table)
            if (one == k.name && std::find(codes.begin(), codes.end(), k.code) == codes.end()) {
                codes.push_back(k.code);
                found = true;
            }
        if (!found) return {};
        if (plus == std::string::npos) break;
        at = plus + 1;
    }
    return codes;
}

std::vector<sim_key_step> sim_keys_hold(const std::vector<uint16_t> &codes, int hold_ms, const sim_key_repeat &rep)
{
    std::vector<sim_key_step> steps;
    if (codes.empty()) return steps;
    int t = 0;
    for (size_t i = 0; i < codes.size(); i++, t += SIM_KEY_GAP_MS) steps.push_back({t, codes[i], 1});
    const int last_press = t - SIM_KEY_GAP_MS;
    const int up = last_press + (hold_ms > 0 ? hold_ms : 1);
    /* The input core repeats only the key pressed last. */
    if (rep.period_ms > 0)
        for (int r = last_press + rep.delay_ms; r < up; r += rep.period_ms) steps.push_back({r, codes.back(), 2});
    t = up;
    for (size_t i = codes.size(); i-- > 0; t += SIM_KEY_RELEASE_GAP_MS) steps.push_back({t, codes[i], 0});
    return steps;
}

std::vector<sim_key_step> sim_keys_double(uint16_t code, int gap_ms)
{
    return {{0, code, 1},
            {SIM_KEY_TAP_MS, code, 0},
            {SIM_KEY_TAP_MS + gap_ms, code, 1},
            {2 * SIM_KEY_TAP_MS + gap_ms, code, 0}};
}

sim_key_repeat sim_keys_repeat(const sim_sandbox *sb)
{
    sim_key_repeat rep;
    for (const std::string &line : sim_board_log(sb, "ioctl")) {
        if (sim_log_field(line, "node").compare(0, 16, "/dev/input/event") != 0) continue;
        const std::string delay = sim_log_field(line, "delay"), period = sim_log_field(line, "period");
        if (delay.empty() || period.empty() || sim_log_field(line, "rc") != "0") continue;
        rep.delay_ms = atoi(delay.c_str());
        rep.period_ms = atoi(period.c_str());
    }
    return rep;
}

static void sim_keys_sleep_until(const struct timespec &start, int t_ms)
{
    struct timespec at = start;
    at.tv_sec += t_ms / 1000;
    at.tv_nsec += (long)(t_ms % 1000) * 1000000L;
    if (at.tv_nsec >= 1000000000L) {
        at.tv_sec++;
        at.tv_nsec -= 1000000000L;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {}
}

int sim_keys_play(sim_sandbox *sb, const std::vector<sim_key_step> &steps)
{
    std::vector<sim_key_step> sorted = steps;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const sim_key_step &a, const sim_key_step &b) { return a.t_ms < b.t_ms; });
    struct timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (const sim_key_step &s : sorted) {
        sim_keys_sleep_until(start, s.t_ms);
        int rc = sim_key_event(sb, s.code, s.value);
        if (rc != 0) return rc;
    }
    return 0;
}

bool sim_keys_press(sim_sandbox *sb, const std::string &names, const std::string &kind, int hold_ms, std::string *why)
{
    const std::vector<uint16_t> codes = sim_keys_parse(names);
    if (codes.empty()) {
        *why = "no key '" + names + "' (" SIM_KEYS_NAMES ")";
        return false;
    }
    std::vector<sim_key_step> steps;
    if (kind == "short") {
        steps = sim_keys_hold(codes, SIM_KEY_SHORT_MS, sim_keys_repeat(sb));
    } else if (kind == "long" && hold_ms >= 0) {
        steps = sim_keys_hold(codes, hold_ms, sim_keys_repeat(sb));
    } else if (kind == "double" && codes.size() == 1) {
        steps = sim_keys_double(codes[0], SIM_KEY_DOUBLE_GAP_MS);
    } else {
        *why = "no " + kind + " press of " + names + " (short, long or double of one key)";
        return false;
    }
    int rc = sim_keys_play(sb, steps);
    if (rc != 0) {
        *why = "the key device took no event: " + std::string(strerror(-rc));
        return false;
    }
    return true;
}
