// scope-sim's command for the rangefinder module on /dev/ttyS5.
#include "scope_sim.h"

#include <string>

static int cmd_lrf(scope_run *run, int argc, char **argv)
{
    if (run->h->lrf() == nullptr) {
        scope_error("lrf: %s", run->h->why.c_str());
        return SCOPE_FAIL;
    }
    std::string line;
    for (int i = 1; i < argc; i++) line += std::string(i > 1 ? " " : "") + argv[i];
    if (line == "on") return SCOPE_OK;
    if (!run->h->lrf_command(line)) {
        scope_error("lrf: %s", run->h->why.c_str());
        return SCOPE_FAIL;
    }
    return SCOPE_OK;
}

static const scope_command lrf_commands[] = {
    {"lrf", "LINE...",
     "script the rangefinder module on /dev/ttyS5 (range D [D2 D3], queue, silent on|off, "
     "badsum on|off, readback N|off, noise N, anomaly B0..B3, period MS, delay MS; on: just start it)",
     1, -1, cmd_lrf},
};

SCOPE_COMMANDS(lrf_commands);
