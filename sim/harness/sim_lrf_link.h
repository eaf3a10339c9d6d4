// The simulated rangefinder module (lrf_sim.h) behind a sandbox's
// /dev/ttyS5. The module plays a pseudo-terminal of its own and follows the
// sandbox's board log for its power; a relay thread carries the bytes
// between that terminal and the master of the line sightd opens. The
// harness attaches it (sim_harness::lrf).
#pragma once

#include "lrf_sim.h"
#include "sim.h"

struct sim_lrf_link;

/* Starts the module and the relay; null when either cannot start. Detach
 * it before the sandbox is destroyed. */
sim_lrf_link *sim_lrf_attach(const sim_sandbox *sb);
/* The module, for lrf_sim_command and lrf_sim_get_stats. */
lrf_sim *sim_lrf_module(sim_lrf_link *link);
void sim_lrf_detach(sim_lrf_link *link);
