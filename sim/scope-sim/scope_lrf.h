// scope-sim's rangefinder module: the simulated module of sim/lrf answering
// sightd on /dev/ttyS5, powered as the board log says.
#pragma once

#include "scope_sim.h"

/* lrf LINE...: the first call puts the module on the serial line; every
 * call hands LINE to it (range D [D2 [D3]], queue ..., silent on|off,
 * delay MS ... as lrf_sim.h lists them). */
int scope_cmd_lrf(scope_run *run, int argc, char **argv);
