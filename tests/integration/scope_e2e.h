// What the end-to-end tests share on top of the harness (sim_harness.h):
// the GUI's request frames, reading floats out of frames, the access
// point's daemon starts, and a sightd that must stop cleanly at the end of
// each case.
#pragma once

#include <gtest/gtest.h>
#include <string.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "scope_factory.h"
#include "sim_harness.h"

typedef sim_bytes scope_frame;

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

/* The access point's first start loads the driver, then each daemon step
 * waits a second. */
#define SCOPE_AP_MS (60000 * SIM_SLOW)

/* The hostapd starts the board log holds, each with the configuration it
 * read (ssid, wpa_passphrase, ...). */
inline std::vector<std::string> scope_hostapd_starts(const sim_harness &h)
{
    std::vector<std::string> out;
    for (const std::string &line : h.board_log("config"))
        if (sim_log_field(line, "name") == "hostapd") out.push_back(line);
    return out;
}

/* Waits for a hostapd start after the first `after` with this name (and
 * this passphrase, unless empty); its line, or "" at the deadline. */
inline std::string scope_wait_hostapd(const sim_harness &h, size_t after, const std::string &ssid,
                                      const std::string &pass = "")
{
    std::string found;
    h.wait(SCOPE_AP_MS, [&] {
        const std::vector<std::string> starts = scope_hostapd_starts(h);
        for (size_t i = after; i < starts.size() && found.empty(); i++)
            if (sim_log_field(starts[i], "ssid") == ssid &&
                (pass.empty() || sim_log_field(starts[i], "wpa_passphrase") == pass))
                found = starts[i];
        return !found.empty();
    });
    return found;
}

/* The sandbox with the named queue peers draining; false with h.why. */
inline bool scope_start(sim_harness &h, const std::vector<const char *> &peers, const sim_options &options = {})
{
    if (!h.create(options)) return false;
    for (const char *role : peers)
        if (!h.start_peer(role)) return false;
    return true;
}
/* In a TEST body or SetUp: the sandbox and peers, or a failure saying why. */
#define SCOPE_START(h, ...) ASSERT_TRUE(scope_start((h), __VA_ARGS__)) << (h).why

/* Stops sightd with SIGTERM: true when it ended with status 0 (in a
 * sanitizer build, also without a report). */
inline bool scope_stop_sightd(sim_harness &h)
{
    sim_outcome out = h.stop_sightd();
    h.sightd = -1;
    EXPECT_EQ(out.end, SIM_EXITED) << sim_outcome_text(out);
    EXPECT_EQ(out.code, 0);
    return out.end == SIM_EXITED && out.code == 0;
}

/* A fixture's end: sightd, if it still runs, must stop cleanly too. */
#define SCOPE_STOP_AT_END(h)                                                                                           \
    void TearDown() override                                                                                           \
    {                                                                                                                  \
        if ((h).sb != nullptr && (h).sightd > 0) scope_stop_sightd(h);                                                 \
    }
