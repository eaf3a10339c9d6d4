// scope-sim's commands for the queue peers and the rangefinder module: start
// the peers, send a frame as one of them, show what one received or wait
// for a frame, and script the module on /dev/ttyS5.
//
// Each peer's received frames are taken once each, in any order: expect
// takes the oldest matching frame not yet taken, received shows all not
// yet taken. A frame that came in before the command ran is still seen,
// frames that travel on independent threads (a distance report and its
// hold-over) may be expected in either order, and none is shown twice.
#include "scope_peers.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "scope_lrf.h"
#include "sim_peer.h"

#define SCOPE_PEER_DIR "/sim/peers"

static const char *const scope_roles[] = {"media", "http", "ble", "gui"};
enum { SCOPE_ROLES = 4 };

struct scope_peer_state {
    bool started[SCOPE_ROLES];
    std::vector<bool> taken[SCOPE_ROLES]; /* frames of each peer already shown or matched */
    scope_lrf *lrf;
};

static void scope_peers_end(scope_run *run)
{
    scope_lrf_detach(run->peer_state->lrf);
    delete run->peer_state;
    run->peer_state = nullptr;
}

static scope_peer_state *scope_state(scope_run *run)
{
    if (run->peer_state == nullptr) {
        run->peer_state = new scope_peer_state();
        scope_at_end(run, scope_peers_end);
    }
    return run->peer_state;
}

static int scope_role(const char *name)
{
    for (int i = 0; i < SCOPE_ROLES; i++)
        if (strcmp(scope_roles[i], name) == 0) return i;
    return -1;
}

static std::string scope_peer_file(int role, const char *suffix)
{
    return std::string(SCOPE_PEER_DIR "/") + scope_roles[role] + suffix;
}

/* A role that has been started; else an error naming the command. */
static int scope_started_role(scope_run *run, const char *command, const char *name)
{
    int role = scope_role(name);
    if (role < 0) {
        scope_error("%s: no peer '%s' (media http ble gui)", command, name);
        return -1;
    }
    if (!scope_state(run)->started[role]) {
        scope_error("%s: start the %s peer first (peers %s)", command, name, name);
        return -1;
    }
    return role;
}

/* A byte in hex, with or without 0x. */
static int scope_hex_byte(const char *text)
{
    char *end;
    long v = strtol(text, &end, 16);
    return (*text != '\0' && *end == '\0' && v >= 0 && v <= 255) ? (int)v : -1;
}

/* What the system's two best-known reports say, for a person reading. */
static std::string scope_describe(const std::vector<uint8_t> &f)
{
    char text[160];
    auto f32 = [&](size_t at) {
        float v;
        memcpy(&v, &f[at], 4);
        return (double)v;
    };
    if (f.size() == 25 && f[2] == 0x04 && f[3] == 0x02) {
        static const char *const status[] = {"ok", "no target", "out of gate", "module anomaly", "time-out",
                                             "median failed", "malformed reply"};
        const char *what = f[6] < 7 ? status[f[6]] : "status ?";
        if (f[10] == 0) return std::string(" (distance: ") + what + ")";
        snprintf(text, sizeof text, " (distance %u.%u m%s)", f[11] << 8 | f[12], f[13], f[10] > 1 ? " and more" : "");
        return text;
    }
    if (f.size() == 29 && f[2] == 0x1B && f[3] == 0x0A) {
        snprintf(text, sizeof text, " (hold %.2f MOA vertical, %.2f MOA horizontal at %.1f m, pitch %.1f, azimuth %.1f)",
                 f32(6), f32(10), f32(14), f32(18), f32(22));
        return text;
    }
    return "";
}

static void scope_show(int role, const std::vector<uint8_t> &frame)
{
    scope_say("%s received %s%s", scope_roles[role], sim_hex(frame).c_str(), scope_describe(frame).c_str());
}

static std::vector<sim_peer_record> scope_records(scope_run *run, int role)
{
    return sim_peer_read_log(sim_path(run->sb, scope_peer_file(role, ".rx")));
}

int scope_cmd_peers(scope_run *run, int argc, char **argv)
{
    static const char *const usual[] = {"media", "http", "ble"};
    std::vector<const char *> names(usual, usual + 3);
    if (argc > 1) names.assign(argv + 1, argv + argc);
    scope_peer_state *st = scope_state(run);
    if (sim_write_file(run->sb, SCOPE_PEER_DIR "/.made", "") < 0) {
        scope_error("peers: no folder " SCOPE_PEER_DIR);
        return SCOPE_FAIL;
    }
    for (const char *name : names) {
        int role = scope_role(name);
        if (role < 0) {
            scope_error("peers: no peer '%s' (media http ble gui)", name);
            return SCOPE_FAIL;
        }
        if (st->started[role]) continue;
        if (role == 3 && run->gui_pid > 0)
            scope_say("peers: sightui runs too; it and the GUI stand-in now share the GUI's frames");
        sim_spawn_args args;
        args.argv = {"sim-peer", "--role", name, "--dir", SCOPE_PEER_DIR};
        int pid = sim_spawn(run->sb, args);
        std::string ready;
        for (int waited = 0; pid > 0 && sim_read_file(run->sb, scope_peer_file(role, ".ready"), &ready) != 0;
             waited += 20)
            if (waited >= 5000 || scope_pause(run, 20)) pid = -1;
        if (pid < 0) {
            scope_error("peers: the %s peer did not start", name);
            return SCOPE_FAIL;
        }
        st->started[role] = true;
        scope_say("started the %s peer (pid %d)", name, pid);
    }
    return SCOPE_OK;
}

int scope_cmd_send(scope_run *run, int argc, char **argv)
{
    int role = scope_started_role(run, "send", argv[1]);
    if (role < 0) return SCOPE_FAIL;
    std::vector<uint8_t> bytes;
    for (int i = 2; i < argc; i++) {
        int b = scope_hex_byte(argv[i]);
        if (b < 0) {
            scope_error("send: '%s' is no byte in hex", argv[i]);
            return SCOPE_FAIL;
        }
        bytes.push_back((uint8_t)b);
    }
    std::vector<uint8_t> frame = bytes;
    if (bytes[0] != 0xAA) {
        if (bytes.size() < 4) {
            scope_error("send: give OBJ SUB ITEM FLAG [PAYLOAD...], or a whole frame from AA to EB AA");
            return SCOPE_FAIL;
        }
        frame = sim_frame(bytes[0], bytes[1], bytes[2], bytes[3], std::vector<uint8_t>(bytes.begin() + 4, bytes.end()));
    }
    int rc = sim_peer_write_tx(sim_path(run->sb, scope_peer_file(role, ".tx")), frame);
    if (rc < 0) {
        scope_error("send: %s: %s", argv[1], strerror(-rc));
        return SCOPE_FAIL;
    }
    scope_say("%s sent %s", argv[1], sim_hex(frame).c_str());
    return SCOPE_OK;
}

/* The frame header a script names: OBJ [SUB [ITEM]] in hex; -1 unnamed. */
static bool scope_header(int argc, char **argv, int from, int head[3])
{
    head[0] = head[1] = head[2] = -1;
    for (int i = from; i < argc && i < from + 3; i++)
        if ((head[i - from] = scope_hex_byte(argv[i])) < 0) return false;
    return argc <= from + 3;
}

static bool scope_matches(const std::vector<uint8_t> &f, const int head[3])
{
    for (int i = 0; i < 3; i++)
        if (head[i] >= 0 && (f.size() < 9 || f[2 + i] != head[i])) return false;
    return true;
}

int scope_cmd_received(scope_run *run, int argc, char **argv)
{
    int role = scope_started_role(run, "received", argv[1]);
    int head[3];
    if (role < 0) return SCOPE_FAIL;
    if (!scope_header(argc, argv, 2, head)) {
        scope_error("received: give OBJ [SUB [ITEM]] in hex");
        return SCOPE_FAIL;
    }
    scope_peer_state *st = scope_state(run);
    std::vector<sim_peer_record> records = scope_records(run, role);
    std::vector<bool> &taken = st->taken[role];
    taken.resize(records.size(), false);
    for (size_t i = 0; i < records.size(); i++) {
        if (taken[i]) continue;
        taken[i] = true;
        if (scope_matches(records[i].frame, head)) scope_show(role, records[i].frame);
    }
    return SCOPE_OK;
}

int scope_cmd_expect(scope_run *run, int argc, char **argv)
{
    int role = scope_started_role(run, "expect", argv[1]);
    int ms = scope_seconds_ms(argv[2]);
    int head[3];
    if (role < 0) return SCOPE_FAIL;
    if (ms < 0 || !scope_header(argc, argv, 3, head)) {
        scope_error("expect: give SECONDS and OBJ [SUB [ITEM]] in hex");
        return SCOPE_FAIL;
    }
    scope_peer_state *st = scope_state(run);
    for (int waited = 0;; waited += 20) {
        std::vector<sim_peer_record> records = scope_records(run, role);
        std::vector<bool> &taken = st->taken[role];
        taken.resize(records.size(), false);
        for (size_t i = 0; i < records.size(); i++) {
            if (taken[i] || !scope_matches(records[i].frame, head)) continue;
            taken[i] = true;
            scope_show(role, records[i].frame);
            return SCOPE_OK;
        }
        if (waited >= ms || scope_pause(run, 20)) break;
    }
    scope_error("expect: no such frame reached the %s peer within %s s", argv[1], argv[2]);
    return SCOPE_FAIL;
}

int scope_cmd_lrf(scope_run *run, int argc, char **argv)
{
    scope_peer_state *st = scope_state(run);
    if (st->lrf == nullptr && (st->lrf = scope_lrf_attach(run->sb)) == nullptr) {
        scope_error("lrf: the rangefinder module did not start");
        return SCOPE_FAIL;
    }
    std::string line;
    for (int i = 1; i < argc; i++) line += std::string(i > 1 ? " " : "") + argv[i];
    if (line == "on") return SCOPE_OK;
    if (lrf_sim_command(scope_lrf_module(st->lrf), line.c_str()) != 0) {
        scope_error("lrf: the module does not know '%s'", line.c_str());
        return SCOPE_FAIL;
    }
    return SCOPE_OK;
}
