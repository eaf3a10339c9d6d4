// scope-sim's command for the USB port: a host or charger plugged or not.
#include "scope_sim.h"

#include <string.h>

#include "sim_usb.h"

static int cmd_usb(scope_run *run, int, char **argv)
{
    const bool plugged = strcmp(argv[1], "plugged") == 0 || strcmp(argv[1], "on") == 0;
    if (!plugged && strcmp(argv[1], "unplugged") != 0 && strcmp(argv[1], "off") != 0) {
        scope_error("usb: plugged or unplugged");
        return SCOPE_FAIL;
    }
    if (sim_usb_set(run->h->sb, plugged) != 0) {
        scope_error("usb: the controller registers could not be written");
        return SCOPE_FAIL;
    }
    return SCOPE_OK;
}

static const scope_command usb_commands[] = {
    {"usb", "plugged|unplugged", "plug a USB host or charger in, or pull it", 1, 1, cmd_usb},
};

SCOPE_COMMANDS(usb_commands);
