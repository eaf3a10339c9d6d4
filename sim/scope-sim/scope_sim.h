// scope-sim's commands: one row of scope_commands (commands.cpp) each.
// A command gets the run and its words (argv[0] is the command's name) and
// returns SCOPE_OK, SCOPE_FAIL (after printing why with scope_error) or
// SCOPE_STOP (end the script). Peers that scope-sim plays keep their state
// in scope_run; add a field there and a row to the table.
#pragma once

#include "sim.h"

#include <stddef.h>

#include <atomic>

enum { SCOPE_OK = 0, SCOPE_FAIL = -1, SCOPE_STOP = 1 };

struct scope_run;
typedef void (*scope_end_fn)(scope_run *run);

struct scope_run {
    sim_sandbox *sb;
    int pid;             /* the program's pid inside the sandbox (sightd's) */
    const char *program; /* its name, for messages */
    std::atomic<bool> ended; /* the program has ended; outcome says how */
    bool stopped;        /* ended by the stop command */
    sim_outcome outcome; /* written by the watcher before ended */
    int signal_fd;       /* SIGINT and SIGTERM to scope-sim, passed on */
    int end_fd;          /* readable once the program has ended */
    scope_end_fn at_end[16]; /* see scope_at_end */
    int at_end_count;
    int gui_pid;         /* sightui's pid inside, 0 before the gui command */
    int gui_shots;       /* snapshots sightui has written on request */
    struct scope_peer_state *peer_state; /* queue peers and rangefinder (scope_peers.cpp) */
};

typedef int (*scope_command_fn)(scope_run *run, int argc, char **argv);

struct scope_command {
    const char *name;
    const char *args; /* for the help text */
    const char *help;
    int min_args;     /* words after the name */
    int max_args;     /* -1: any number */
    scope_command_fn run;
};

extern const scope_command scope_commands[];
extern const size_t scope_command_count;

/* Waits up to ms (< 0: for ever), passing signals on; returns 1 as soon as
 * the program has ended, else 0. */
int scope_pause(scope_run *run, int ms);
/* A report line on standard output: "scope-sim: ...". */
void scope_say(const char *format, ...) __attribute__((format(printf, 1, 2)));
/* An error line on standard error: "scope-sim: ...". */
void scope_error(const char *format, ...) __attribute__((format(printf, 1, 2)));
/* Registers a function run once when the run is over, before the sandbox
 * goes: a peer that a command started (a thread on a serial line, say)
 * stops there. Last registered, first run. 0, or -1 when the table is full. */
int scope_at_end(scope_run *run, scope_end_fn fn);
/* Seconds as a decimal ("0.5") to ms; -1 when it is no number >= 0. */
int scope_seconds_ms(const char *text);
