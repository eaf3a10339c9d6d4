// scope-sim from the build's bin/, as the tests run it the way a person
// does: arguments, a script on its standard input, its standard output
// read back.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct scope_result {
    int status = -1; /* the exit status; -1 when it did not start or did not exit */
    std::string out;
};

/* Starts scope-sim with these arguments, standard input from in and output
 * to out; its standard error is the test's own, or /dev/null when quiet.
 * Its pid, or -1. */
pid_t scope_sim_spawn(const std::vector<std::string> &args, int in, int out, bool quiet = false);

/* scope-sim with these arguments and a script on standard input, run to its
 * end: its standard output, and its exit status. */
scope_result scope_sim(const std::vector<std::string> &args, const std::string &script, bool quiet = false);
