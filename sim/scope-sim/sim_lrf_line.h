// The simulated rangefinder module (sim/lrf) on one of a sandbox's serial
// lines. The sandbox holds the master of the line and the module the master
// of a terminal of its own, so a relay thread copies bytes between the two:
// the module sees exactly what the program wrote, powered as the sandbox's
// board log says.
#pragma once

#include "lrf_sim.h"
#include "sim.h"

struct sim_lrf_line;

/* Starts the module and its relay on tty ("/dev/ttyS5"); NULL with errno
 * set when the line or the module cannot be had. */
sim_lrf_line *sim_lrf_line_start(sim_sandbox *sb, const char *tty);
/* The module, for lrf_sim_command and lrf_sim_get_stats. */
lrf_sim *sim_lrf_line_module(sim_lrf_line *line);
/* Stops the relay and the module; the sandbox may go afterwards. */
void sim_lrf_line_stop(sim_lrf_line *line);
