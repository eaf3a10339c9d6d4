// scope-sim's command for the scope's keys: input events on the key
// device, read by sightd's key threads like the board's own keys.
#include "scope_sim.h"

#include <string.h>

static int cmd_key(scope_run *run, int argc, char **argv)
{
    const char *kind = argc > 2 ? argv[2] : "short";
    int hold_ms = argc > 3 ? scope_seconds_ms(argv[3]) : 1000;
    if (hold_ms < 0) {
        scope_error("key: '%s' is no number of seconds", argv[3]);
        return SCOPE_FAIL;
    }
    if (!run->h->key(argv[1], kind, hold_ms)) {
        scope_error("key: %s", run->h->why.c_str());
        return SCOPE_FAIL;
    }
    return SCOPE_OK;
}

static const scope_command key_commands[] = {
    {"key", "NAME [short|long|double] [S]",
     "press a scope key on the key device: ok up down left right fn range power, or a combination "
     "(left+down, left+right, up+ok+down); long holds S seconds (1), double presses twice",
     1, 3, cmd_key},
};

SCOPE_COMMANDS(key_commands);
