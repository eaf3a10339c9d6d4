// The simulated rangefinder module (lrf_sim.h) behind a sandbox's
// /dev/ttyS5. The module plays a pseudo-terminal of its own and follows the
// sandbox's board log for its power; a relay thread carries the bytes
// between that terminal and the master of the line sightd opens. Used by
// scope-sim's lrf command and by the integration tests.
#pragma once

#include "lrf_sim.h"
#include "sim.h"

struct scope_lrf;

/* Starts the module and the relay; null when either cannot start. Detach
 * it before the sandbox is destroyed. */
scope_lrf *scope_lrf_attach(const sim_sandbox *sb);
/* The module, for lrf_sim_command and lrf_sim_get_stats. */
lrf_sim *scope_lrf_module(scope_lrf *link);
void scope_lrf_detach(scope_lrf *link);
