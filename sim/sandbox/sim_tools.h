// The board's shell tools that the sandbox stands in for. Each name is a
// link to the one program vesk-sim-tool (a link keeps the name, so that
// pidof and ps find a running stand-in daemon as the board would).
#pragma once

struct sim_tool_place {
    const char *name;
    const char *folder; /* inside folder holding the link */
};

static const sim_tool_place sim_tool_places[] = {
    {"insmod", "/sim/tools"},         {"hostapd", "/sim/tools"},  {"udhcpd", "/sim/tools"},
    {"mkfs.vfat", "/sim/tools"},      {"mount", "/sim/tools"},    {"umount", "/sim/tools"},
    {"umtprd", "/sim/tools"},         {"ifconfig", "/sim/tools"}, {"ar_boardinfo", "/sim/tools"},
    {"ar_boardinfo", "/usrdata/bin"}, {"umtprd", "/usrdata/bin"},
};
