// One scope in a sandbox for an integration test: sightd, the simulated
// queue peers it talks to, and the plain-file handles a test uses to watch
// and drive them from outside, as a peer would.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "sim.h"
#include "sim_peer.h"

#define SCOPE_PEER_DIR "/sim/peers"

struct ScopeRun {
    sim_sandbox *sb = nullptr;
    int sightd = -1;

    /* Makes the sandbox and starts the peers; false (with a failed
     * assertion or a skip) when the sandbox cannot be made. */
    bool create(const sim_options &options = sim_options())
    {
        std::string why;
        if (!sim_available(&why)) return false;
        std::string error;
        int rc = sim_create(options, &sb, &error);
        EXPECT_EQ(rc, 0) << error;
        if (rc != 0) return false;
        /* The peers keep their record files here, read from outside. */
        return sim_write_file(sb, SCOPE_PEER_DIR "/.made", "") == 0;
    }

    bool start_peer(const char *role)
    {
        sim_spawn_args args;
        args.argv = {"sim-peer", "--role", role, "--dir", SCOPE_PEER_DIR};
        if (sim_spawn(sb, args) < 0) return false;
        return wait_until([&] { return file_exists(std::string(SCOPE_PEER_DIR "/") + role + ".ready"); }, 5000);
    }

    bool start_sightd(const std::vector<std::string> &env = {})
    {
        sim_spawn_args args;
        args.argv = {"sightd"};
        args.env = env;
        args.stdout_fd = -1;
        args.stderr_fd = -1;
        sightd = sim_spawn(sb, args);
        return sightd > 0;
    }

    /* SIGTERM, then the outcome within timeout_ms. */
    sim_outcome stop_sightd(int timeout_ms = 5000)
    {
        sim_outcome out;
        sim_kill(sb, sightd, SIGTERM);
        sim_wait(sb, sightd, timeout_ms, &out);
        return out;
    }

    std::vector<sim_peer_record> received(const char *role) const
    {
        return sim_peer_read_log(sim_path(sb, std::string(SCOPE_PEER_DIR "/") + role + ".rx"));
    }

    /* Frames the peer received whose object (and sub, when >= 0) match. */
    std::vector<std::vector<uint8_t>> frames(const char *role, int obj, int sub = -1, int item = -1) const
    {
        std::vector<std::vector<uint8_t>> out;
        for (const sim_peer_record &r : received(role)) {
            const std::vector<uint8_t> &f = r.frame;
            if (f.size() < 6 || f[2] != obj) continue;
            if (sub >= 0 && f[3] != sub) continue;
            if (item >= 0 && f[4] != item) continue;
            out.push_back(f);
        }
        return out;
    }

    int send(const char *role, const std::vector<uint8_t> &frame) const
    {
        return sim_peer_write_tx(sim_path(sb, std::string(SCOPE_PEER_DIR "/") + role + ".tx"), frame);
    }

    bool file_exists(const std::string &inside) const
    {
        std::string data;
        return sim_read_file(sb, inside, &data) == 0;
    }

    std::string read(const std::string &inside) const
    {
        std::string data;
        sim_read_file(sb, inside, &data);
        return data;
    }

    static bool wait_until(const std::function<bool()> &done, int timeout_ms)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (!done()) {
            if (std::chrono::steady_clock::now() >= end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

    ~ScopeRun()
    {
        if (sb != nullptr) sim_destroy(sb);
    }
};

/* In a TEST body: make the sandbox or skip when this machine cannot. */
#define SCOPE_RUN_OR_SKIP(run, ...)                                      \
    do {                                                                 \
        std::string why_;                                                \
        if (!sim_available(&why_)) GTEST_SKIP() << why_;                 \
        ASSERT_TRUE((run).create(__VA_ARGS__));                          \
    } while (0)
