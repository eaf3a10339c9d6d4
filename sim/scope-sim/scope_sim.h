// scope-sim's commands. Each file cmd_<group>.cpp of this folder holds a
// table of rows and registers it with SCOPE_COMMANDS(table); the build
// takes every such file, so a device peer adds its commands in a file of
// its own. A command gets the run and its words (argv[0] is the command's
// name) and returns SCOPE_OK, SCOPE_FAIL (after printing why with
// scope_error) or SCOPE_STOP (end the script). The scope itself is reached
// through run->h, the harness (sim_harness.h); a peer a command starts
// stops through h->at_end.
#pragma once

#include "sim_harness.h"

#include <stddef.h>
#include <stdio.h>

#include <atomic>

enum { SCOPE_OK = 0, SCOPE_FAIL = -1, SCOPE_STOP = 1 };

struct scope_run {
    sim_harness *h;          /* the sandbox and everything started in it */
    int pid;                 /* the program's pid inside the sandbox (sightd's) */
    const char *program;     /* its name, for messages */
    std::atomic<bool> ended; /* the program has ended; outcome says how */
    bool stopped;            /* ended by the stop command */
    sim_outcome outcome;     /* written by the watcher before ended */
    int signal_fd;           /* SIGINT and SIGTERM to scope-sim, passed on */
    int end_fd;              /* readable once the program has ended */
    size_t modules_before;   /* the harness's modules_up() before the program started */
};

typedef int (*scope_command_fn)(scope_run *run, int argc, char **argv);

struct scope_command {
    const char *name;
    const char *args; /* for the help text */
    const char *help;
    int min_args; /* words after the name */
    int max_args; /* -1: any number */
    scope_command_fn run;
};

/* Adds a table of commands; call through SCOPE_COMMANDS at file scope. */
int scope_register(const scope_command *rows, size_t count);
#define SCOPE_COMMANDS(rows) static const int rows##_registered = scope_register(rows, sizeof rows / sizeof rows[0])
/* The command of that name, or null. */
const scope_command *scope_find(const char *name);
/* Every command, a line each: "  name args  help". */
void scope_list(FILE *to);

/* Waits up to ms (< 0: for ever), passing signals on; returns 1 as soon as
 * the program has ended, else 0. */
int scope_pause(scope_run *run, int ms);
/* A report line on standard output: "scope-sim: ...". */
void scope_say(const char *format, ...) __attribute__((format(printf, 1, 2)));
/* An error line on standard error: "scope-sim: ...". */
void scope_error(const char *format, ...) __attribute__((format(printf, 1, 2)));
/* Seconds as a decimal ("0.5") to ms; -1 when it is no number >= 0. */
int scope_seconds_ms(const char *text);
