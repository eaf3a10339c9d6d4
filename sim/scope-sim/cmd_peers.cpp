// scope-sim's commands for the queue peers: start them, send a frame as one
// of them, show what one received or wait for a frame.
//
// Each peer's received frames are taken once each, in any order: expect
// takes the oldest matching frame not yet taken, received shows all not
// yet taken. A frame that came in before the command ran is still seen,
// frames that travel on independent threads (a distance report and its
// hold-over) may be expected in either order, and none is shown twice.
#include "scope_sim.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

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
        static const char *const status[] = {"ok",       "no target",     "out of gate",    "module anomaly",
                                             "time-out", "median failed", "malformed reply"};
        const char *what = f[6] < 7 ? status[f[6]] : "status ?";
        if (f[10] == 0) return std::string(" (distance: ") + what + ")";
        snprintf(text, sizeof text, " (distance %u.%u m%s)", f[11] << 8 | f[12], f[13], f[10] > 1 ? " and more" : "");
        return text;
    }
    if (f.size() == 29 && f[2] == 0x1B && f[3] == 0x0A) {
        snprintf(text, sizeof text,
                 " (hold %.2f MOA vertical, %.2f MOA horizontal at %.1f m, pitch %.1f, azimuth %.1f)", f32(6), f32(10),
                 f32(14), f32(18), f32(22));
        return text;
    }
    return "";
}

static void scope_show(const char *role, const std::vector<uint8_t> &frame)
{
    scope_say("%s received %s%s", role, sim_hex(frame).c_str(), scope_describe(frame).c_str());
}

/* A peer that has been started; else an error naming the command. */
static bool scope_started(scope_run *run, const char *command, const char *role)
{
    if (run->h->peer_started(role)) return true;
    if (strcmp(role, "media") && strcmp(role, "http") && strcmp(role, "ble") && strcmp(role, "gui"))
        scope_error("%s: no peer '%s' (media http ble gui)", command, role);
    else
        scope_error("%s: start the %s peer first (peers %s)", command, role, role);
    return false;
}

static int cmd_peers(scope_run *run, int argc, char **argv)
{
    std::vector<std::string> names = {"media", "http", "ble"};
    if (argc > 1) names.assign(argv + 1, argv + argc);
    for (const std::string &name : names) {
        if (run->h->peer_started(name)) continue;
        if (name == "gui" && run->h->sightui > 0)
            scope_say("peers: sightui runs too; it and the GUI stand-in now share the GUI's frames");
        if (!run->h->start_peer(name)) {
            scope_error("peers: %s", run->h->why.c_str());
            return SCOPE_FAIL;
        }
        scope_say("started the %s peer", name.c_str());
    }
    return SCOPE_OK;
}

static int cmd_send(scope_run *run, int argc, char **argv)
{
    if (!scope_started(run, "send", argv[1])) return SCOPE_FAIL;
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
    if (!run->h->send(argv[1], frame)) {
        scope_error("send: %s", run->h->why.c_str());
        return SCOPE_FAIL;
    }
    scope_say("%s sent %s", argv[1], sim_hex(frame).c_str());
    return SCOPE_OK;
}

/* The frame header a script names: OBJ [SUB [ITEM]] in hex. */
static bool scope_header(int argc, char **argv, int from, sim_head *head)
{
    int *fields[3] = {&head->obj, &head->sub, &head->item};
    for (int i = from; i < argc && i < from + 3; i++)
        if ((*fields[i - from] = scope_hex_byte(argv[i])) < 0) return false;
    return argc <= from + 3;
}

static int cmd_received(scope_run *run, int argc, char **argv)
{
    sim_head head;
    if (!scope_started(run, "received", argv[1])) return SCOPE_FAIL;
    if (!scope_header(argc, argv, 2, &head)) {
        scope_error("received: give OBJ [SUB [ITEM]] in hex");
        return SCOPE_FAIL;
    }
    for (const sim_bytes &f : run->h->take_all(argv[1], head)) scope_show(argv[1], f);
    return SCOPE_OK;
}

static int cmd_expect(scope_run *run, int argc, char **argv)
{
    int ms = scope_seconds_ms(argv[2]);
    sim_head head;
    if (!scope_started(run, "expect", argv[1])) return SCOPE_FAIL;
    if (ms < 0 || !scope_header(argc, argv, 3, &head)) {
        scope_error("expect: give SECONDS and OBJ [SUB [ITEM]] in hex");
        return SCOPE_FAIL;
    }
    sim_bytes frame;
    if (!run->h->take(argv[1], head, ms, &frame)) {
        scope_error("expect: no such frame reached the %s peer within %s s", argv[1], argv[2]);
        return SCOPE_FAIL;
    }
    scope_show(argv[1], frame);
    return SCOPE_OK;
}

static const scope_command peer_commands[] = {
    {"peers", "[ROLE...]", "start queue peers: media http ble (the default) and gui, a GUI stand-in", 0, 4, cmd_peers},
    {"send", "ROLE BYTES...",
     "send a frame as a peer: OBJ SUB ITEM FLAG [PAYLOAD...] in hex (framed and "
     "summed), or a whole frame AA ... EB AA",
     2, -1, cmd_send},
    {"received", "ROLE [OBJ [SUB [ITEM]]]",
     "print the frames the peer received that no received or expect "
     "took yet, those with this header (hex)",
     1, 4, cmd_received},
    {"expect", "ROLE SECONDS OBJ [SUB [ITEM]]",
     "wait for the oldest such frame not yet taken and print it; an "
     "error after SECONDS",
     3, 5, cmd_expect},
};

SCOPE_COMMANDS(peer_commands);
