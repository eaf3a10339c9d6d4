// What the end-to-end tests share on top of ScopeRun: a sandbox made from
// the factory image, the simulated rangefinder on /dev/ttyS5, the frames a
// GUI stand-in sends, and waiting for what the peers received.
#pragma once

#include <string.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "scope_lrf.h"
#include "scope_factory.h"
#include "scope_run.h"

/* Sanitizer builds run several times slower; waits stretch by this much. */
#if defined(__SANITIZE_ADDRESS__)
#define SCOPE_SLOW 4
#else
#define SCOPE_SLOW 1
#endif

/* Generous bounds for things that must happen, never a speed check. */
#define SCOPE_BOOT_MS (40000 * SCOPE_SLOW)
#define SCOPE_REPLY_MS (5000 * SCOPE_SLOW)

typedef std::vector<uint8_t> scope_frame;

/* A GUI request with one value byte (10 bytes) or four payload bytes (13). */
inline scope_frame scope_request(uint8_t obj, uint8_t sub, uint8_t item, uint8_t value)
{
    return sim_frame(obj, sub, item, 0x00, {value});
}
inline scope_frame scope_request4(uint8_t obj, uint8_t sub, uint8_t item, const uint8_t bytes[4])
{
    return sim_frame(obj, sub, item, 0x00, {bytes[0], bytes[1], bytes[2], bytes[3]});
}
inline scope_frame scope_request_float(uint8_t obj, uint8_t sub, uint8_t item, float value)
{
    uint8_t b[4];
    memcpy(b, &value, 4); /* little-endian host, as on the board */
    return scope_request4(obj, sub, item, b);
}

inline float scope_float_at(const scope_frame &f, size_t at)
{
    float v;
    memcpy(&v, &f[at], 4);
    return v;
}

/* Frames of one peer that satisfy a test. */
template <typename Pred> std::vector<scope_frame> scope_select(const ScopeRun &run, const char *role, Pred pred)
{
    std::vector<scope_frame> out;
    for (const sim_peer_record &r : run.received(role))
        if (pred(r.frame)) out.push_back(r.frame);
    return out;
}

/* Waits until the peer holds at least n such frames; those frames. */
template <typename Pred>
std::vector<scope_frame> scope_wait(const ScopeRun &run, const char *role, size_t n, int timeout_ms, Pred pred)
{
    std::vector<scope_frame> got;
    ScopeRun::wait_until(
        [&] {
            got = scope_select(run, role, pred);
            return got.size() >= n;
        },
        timeout_ms);
    return got;
}

/* The frame header a peer matches on: object, sub, item, flag. */
struct scope_head {
    int obj, sub, item, flag;
    bool operator()(const scope_frame &f) const
    {
        return f.size() >= 9 && f[2] == obj && (sub < 0 || f[3] == sub) && (item < 0 || f[4] == item) &&
               (flag < 0 || f[5] == flag);
    }
};

/* The last frame of the boot push: the dynamic-coefficient state. */
static const scope_head scope_boot_done = {0x00, 0x00, 0x2B, 0x80};

/* A sandbox with the factory image (the sandbox's own), with the named
 * peers draining. */
inline bool scope_boot_sandbox(ScopeRun &run, const std::vector<const char *> &peers, sim_options options = {})
{
    options.factory_image = true;
    if (!run.create(options)) return false;
    for (const char *role : peers)
        if (!run.start_peer(role)) {
            ADD_FAILURE() << "peer " << role << " did not start";
            return false;
        }
    return true;
}

/* Starts sightd and waits for the end of its boot push at the GUI. */
inline bool scope_boot_sightd(ScopeRun &run)
{
    size_t before = scope_select(run, "gui", scope_boot_done).size();
    if (!run.start_sightd()) return false;
    return scope_wait(run, "gui", before + 1, SCOPE_BOOT_MS, scope_boot_done).size() > before;
}

/* A fixture's end: sightd, if it still runs, must stop cleanly too. */
#define SCOPE_STOP_AT_END(run)                                           \
    void TearDown() override                                             \
    {                                                                    \
        if ((run).sb != nullptr && (run).sightd > 0) scope_stop_sightd(run); \
    }

/* Stops sightd with SIGTERM: true when it ended with status 0 (in a
 * sanitizer build, also without a report). */
inline bool scope_stop_sightd(ScopeRun &run)
{
    sim_outcome out = run.stop_sightd(10000 * SCOPE_SLOW);
    run.sightd = -1;
    EXPECT_EQ(out.end, SIM_EXITED) << sim_outcome_text(out);
    EXPECT_EQ(out.code, 0);
    return out.end == SIM_EXITED && out.code == 0;
}

#define SCOPE_BOOT_OR_SKIP(run, ...)                                     \
    do {                                                                 \
        std::string why_;                                                \
        if (!sim_available(&why_)) GTEST_SKIP() << why_;                 \
        ASSERT_TRUE(scope_boot_sandbox((run), __VA_ARGS__));             \
    } while (0)

/* The simulated rangefinder module behind the sandbox's /dev/ttyS5
 * (scope_lrf.h). Declare it after the ScopeRun, so that it stops before the
 * sandbox goes. */
struct ScopeLrf {
    scope_lrf *link = nullptr;

    bool start(const ScopeRun &run) { return (link = scope_lrf_attach(run.sb)) != nullptr; }

    /* One script line of the module (lrf_sim.h). */
    bool command(const char *line) { return link != nullptr && lrf_sim_command(scope_lrf_module(link), line) == 0; }

    lrf_sim_stats stats()
    {
        lrf_sim_stats s;
        lrf_sim_get_stats(scope_lrf_module(link), &s);
        return s;
    }

    ~ScopeLrf() { scope_lrf_detach(link); }
};
