// scope-sim's commands for the phone app (through the HTTP daemon's peer),
// the Bluetooth wind meter (through the BLE service's peer) and the access
// point the phone reaches the scope through (as the board log shows the
// stand-in daemons).
//
// The phone's command frame: AA L F4 00 cmd 00 payload CHK EB AA; the
// meter's: AA L 1D state|wind FF 00 data CHK EB AA.
#include "scope_sim.h"

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#define PHONE_OBJECT 0xF4
#define METER_OBJECT 0x1D

static bool peer_ready(scope_run *run, const char *command, const char *role)
{
    if (!run->h->peer_started(role) && !run->h->start_peer(role)) {
        scope_error("%s: the %s peer did not start: %s", command, role, run->h->why.c_str());
        return false;
    }
    return true;
}

static int send_frame(scope_run *run, const char *command, const char *role, const sim_bytes &frame)
{
    if (!peer_ready(run, command, role)) return SCOPE_FAIL;
    if (!run->h->send(role, frame)) {
        scope_error("%s: %s", command, run->h->why.c_str());
        return SCOPE_FAIL;
    }
    scope_say("%s sent %s", role, sim_hex(frame).c_str());
    return SCOPE_OK;
}

static const struct {
    const char *name;
    int cmd;
    bool text; /* takes a text argument */
    const char *what;
} phone_rows[] = {
    {"ssid", 0, true, "set the network name"},
    {"get-ssid", 1, false, "ask for the network name (result 1)"},
    {"passwd", 2, true, "set the passphrase"},
    {"get-passwd", 3, false, "ask for the passphrase (result 3)"},
    {"info", 6, false, "ask for free space and device information (results 13 and 6)"},
    {"profiles-in", 8, false, "apply the exchange file the phone left"},
    {"profiles-out", 9, false, "have the exchange file written for the phone"},
    {"time", 14, true, "set the clock: YYYYMMDDhhmmss"},
};

static int cmd_phone(scope_run *run, int argc, char **argv)
{
    std::vector<uint8_t> payload;
    int cmd = -1;
    if (strcmp(argv[1], "raw") == 0) {
        char *end;
        long v = argc > 2 ? strtol(argv[2], &end, 0) : -1;
        if (argc < 3 || *end != '\0' || v < 0 || v > 255) {
            scope_error("phone raw: give CMD (0..255) and optional payload bytes in hex");
            return SCOPE_FAIL;
        }
        cmd = (int)v;
        for (int i = 3; i < argc; i++) {
            long b = strtol(argv[i], &end, 16);
            if (*end != '\0' || b < 0 || b > 255) {
                scope_error("phone raw: '%s' is no byte in hex", argv[i]);
                return SCOPE_FAIL;
            }
            payload.push_back((uint8_t)b);
        }
    }
    for (const auto &r : phone_rows) {
        if (strcmp(r.name, argv[1]) != 0) continue;
        if (r.text != (argc == 3)) {
            scope_error("phone %s: %s", r.name, r.text ? "give one text argument" : "takes no argument");
            return SCOPE_FAIL;
        }
        cmd = r.cmd;
        if (r.text) payload.assign(argv[2], argv[2] + strlen(argv[2]));
    }
    if (cmd < 0) {
        std::string names = "raw";
        for (const auto &r : phone_rows) names += std::string(" ") + r.name;
        scope_error("phone: no command '%s' (%s)", argv[1], names.c_str());
        return SCOPE_FAIL;
    }
    return send_frame(run, "phone", "http", sim_frame(PHONE_OBJECT, 0, (uint8_t)cmd, 0x00, payload));
}

static int cmd_wind(scope_run *run, int argc, char **argv)
{
    (void)argc;
    char *end;
    long v = strtol(argv[2], &end, 0);
    if (strcmp(argv[1], "state") == 0 && *end == '\0' && v >= 0 && v <= 255)
        return send_frame(run, "wind", "ble", sim_frame(METER_OBJECT, 1, 0xFF, 0x00, {(uint8_t)v}));
    if (strcmp(argv[1], "speed") == 0 && *end == '\0' && v >= 0 && v <= 65535)
        return send_frame(run, "wind", "ble",
                          sim_frame(METER_OBJECT, 2, 0xFF, 0x00, {(uint8_t)(v & 0xFF), (uint8_t)(v >> 8)}));
    scope_error("wind: give state N (0..255) or speed N (0..65535, m/s)");
    return SCOPE_FAIL;
}

/* The last hostapd start the board log holds, and how many there were. */
static int last_hostapd(scope_run *run, std::string *last)
{
    int starts = 0;
    for (const std::string &line : run->h->board_log("config")) {
        if (sim_log_field(line, "name") != "hostapd") continue;
        starts++;
        *last = line;
    }
    return starts;
}

/* The access point as the stand-in daemons saw it; with SECONDS and NAME,
 * first wait until hostapd was started with that name. */
static int cmd_wifi(scope_run *run, int argc, char **argv)
{
    std::string last;
    if (argc == 3) {
        int ms = scope_seconds_ms(argv[1]);
        if (ms < 0) {
            scope_error("wifi: give SECONDS and NAME");
            return SCOPE_FAIL;
        }
        const std::string name = argv[2];
        if (!run->h->wait(ms, [&] { return last_hostapd(run, &last) > 0 && sim_log_field(last, "ssid") == name; })) {
            scope_error("wifi: hostapd did not start with the name %s within %s s", argv[2], argv[1]);
            return SCOPE_FAIL;
        }
    }
    const int starts = last_hostapd(run, &last);
    /* Each stop takes the interface down first. */
    int stops = 0;
    for (const std::string &line : run->h->board_log("tool"))
        if (sim_log_field(line, "name") == "ifconfig" && line.find(" arg=down") != std::string::npos) stops++;
    if (starts == 0) {
        scope_say("wifi: hostapd never started (stopped %d times)", stops);
        return SCOPE_OK;
    }
    scope_say("wifi: hostapd started %d times, stopped %d, last with %s ssid=%s wpa_passphrase=%s", starts, stops,
              sim_log_field(last, "file").c_str(), sim_log_field(last, "ssid").c_str(),
              sim_log_field(last, "wpa_passphrase").c_str());
    return SCOPE_OK;
}

static const scope_command phone_commands[] = {
    {"phone", "WHAT [TEXT]",
     "a phone command through the HTTP peer: ssid NAME, passwd TEXT, get-ssid, get-passwd, "
     "info, profiles-in, profiles-out, time YYYYMMDDhhmmss, raw CMD [HEX...]",
     1, -1, cmd_phone},
    {"wind", "state|speed N", "the wind meter through the BLE peer: its state byte, or a wind speed", 2, 2, cmd_wind},
    {"wifi", "[SECONDS NAME]",
     "how the access point's daemons were started (from the board log); with SECONDS "
     "and NAME, once hostapd has started with that name",
     0, 2, cmd_wifi},
};

SCOPE_COMMANDS(phone_commands);
