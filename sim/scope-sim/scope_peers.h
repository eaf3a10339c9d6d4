// scope-sim's commands for the queue peers and the rangefinder module
// (scope_peers.cpp); their rows stand in scope_commands.
#pragma once

#include "scope_sim.h"

int scope_cmd_peers(scope_run *run, int argc, char **argv);
int scope_cmd_send(scope_run *run, int argc, char **argv);
int scope_cmd_received(scope_run *run, int argc, char **argv);
int scope_cmd_expect(scope_run *run, int argc, char **argv);
int scope_cmd_lrf(scope_run *run, int argc, char **argv);
