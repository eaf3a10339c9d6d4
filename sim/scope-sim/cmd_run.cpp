// scope-sim's commands for the run itself: pauses, signals, the end, files
// and further programs in the sandbox.
#include "scope_sim.h"

#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

static std::string scope_join(int argc, char **argv, int from)
{
    std::string text;
    for (int i = from; i < argc; i++) text += std::string(i > from ? " " : "") + argv[i];
    return text;
}

static int scope_signal_number(const char *name)
{
    char *end;
    long n = strtol(name, &end, 10);
    if (*end == '\0' && n > 0 && n < NSIG) return (int)n;
    if (strncmp(name, "SIG", 3) == 0) name += 3;
    for (int sig = 1; sig < NSIG; sig++) {
        const char *abbrev = sigabbrev_np(sig);
        if (abbrev && strcmp(abbrev, name) == 0) return sig;
    }
    return -1;
}

static int cmd_sleep(scope_run *run, int, char **argv)
{
    int ms = scope_seconds_ms(argv[1]);
    if (ms < 0) {
        scope_error("sleep: '%s' is no number of seconds", argv[1]);
        return SCOPE_FAIL;
    }
    scope_pause(run, ms);
    return SCOPE_OK;
}

static int cmd_wait(scope_run *run, int argc, char **argv)
{
    int ms = argc > 1 ? scope_seconds_ms(argv[1]) : -1;
    if (argc > 1 && ms < 0) {
        scope_error("wait: '%s' is no number of seconds", argv[1]);
        return SCOPE_FAIL;
    }
    if (scope_pause(run, ms)) return SCOPE_STOP;
    scope_error("wait: %s still runs after %s s", run->program, argv[1]);
    return SCOPE_FAIL;
}

/* sightd's boot push ends before its late modules (ballistics, update
 * watcher, PC link, Wi-Fi, Bluetooth) take frames; a frame for one of them
 * sent before is lost, as it would be on the scope. */
static int cmd_ready(scope_run *run, int argc, char **argv)
{
    int ms = argc > 1 ? scope_seconds_ms(argv[1]) : SIM_REPLY_MS;
    if (ms < 0) {
        scope_error("ready: '%s' is no number of seconds", argv[1]);
        return SCOPE_FAIL;
    }
    if (run->h->wait(ms, [run] { return run->h->modules_up() > run->modules_before; })) {
        scope_say("%s: every module is up", run->program);
        return SCOPE_OK;
    }
    scope_error("ready: %s has not started all its modules", run->program);
    return SCOPE_FAIL;
}

static int cmd_signal(scope_run *run, int, char **argv)
{
    int sig = scope_signal_number(argv[1]);
    if (sig < 0) {
        scope_error("signal: no signal is called '%s'", argv[1]);
        return SCOPE_FAIL;
    }
    int rc = sim_kill(run->h->sb, run->pid, sig);
    if (rc < 0 && !run->ended) {
        scope_error("signal: %s: %s", argv[1], strerror(-rc));
        return SCOPE_FAIL;
    }
    return SCOPE_OK;
}

static int cmd_stop(scope_run *run, int, char **)
{
    run->stopped = true;
    sim_stop(run->h->sb, nullptr);
    scope_pause(run, -1);
    return SCOPE_STOP;
}

static int cmd_echo(scope_run *, int argc, char **argv)
{
    printf("%s\n", scope_join(argc, argv, 1).c_str());
    fflush(stdout);
    return SCOPE_OK;
}

static int cmd_write(scope_run *run, int argc, char **argv)
{
    int rc = sim_write_file(run->h->sb, argv[1], scope_join(argc, argv, 2) + "\n");
    if (rc < 0) {
        scope_error("write: %s: %s", argv[1], strerror(-rc));
        return SCOPE_FAIL;
    }
    return SCOPE_OK;
}

static int cmd_spawn(scope_run *run, int argc, char **argv)
{
    int pid = run->h->spawn(std::vector<std::string>(argv + 1, argv + argc));
    if (pid < 0) {
        scope_error("spawn: %s", run->h->why.c_str());
        return SCOPE_FAIL;
    }
    scope_say("started %s (pid %d)", argv[1], pid);
    return SCOPE_OK;
}

static int cmd_help(scope_run *, int, char **)
{
    scope_list(stdout);
    fflush(stdout);
    return SCOPE_OK;
}

static const scope_command run_commands[] = {
    {"sleep", "SECONDS", "pause the script (decimals allowed)", 1, 1, cmd_sleep},
    {"wait", "[SECONDS]", "wait for the program to end; an error if it still runs after SECONDS", 0, 1, cmd_wait},
    {"ready", "[SECONDS]", "wait until every module of sightd is up and takes frames (the serial-line switch is set)",
     0, 1, cmd_ready},
    {"signal", "NAME|NUMBER", "send a signal (TERM, INT, HUP, USR1, 15 ...) to the program", 1, 1, cmd_signal},
    {"stop", "", "end the run now: every program in the sandbox is killed", 0, 0, cmd_stop},
    {"echo", "TEXT...", "print the text on standard output", 0, -1, cmd_echo},
    {"write", "PATH TEXT...", "replace a sandbox file (e.g. under /sys) with the text and a newline", 1, -1, cmd_write},
    {"spawn", "PROGRAM ARGS...", "start another program in the sandbox (e.g. a queue peer)", 1, -1, cmd_spawn},
    {"help", "", "list the commands", 0, 0, cmd_help},
};

SCOPE_COMMANDS(run_commands);
