// The commands of scope-sim's script language, one row each.
#include "scope_sim.h"
#include "scope_peers.h"

#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

static std::string scope_join(int argc, char **argv, int from)
{
    std::string text;
    for (int i = from; i < argc; i++)
        text += std::string(i > from ? " " : "") + argv[i];
    return text;
}

static int scope_signal_number(const char *name)
{
    char *end;
    long n = strtol(name, &end, 10);
    if (*end == '\0' && n > 0 && n < NSIG)
        return (int)n;
    if (strncmp(name, "SIG", 3) == 0)
        name += 3;
    for (int sig = 1; sig < NSIG; sig++) {
        const char *abbrev = sigabbrev_np(sig);
        if (abbrev && strcmp(abbrev, name) == 0)
            return sig;
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
    if (scope_pause(run, ms))
        return SCOPE_STOP;
    scope_error("wait: %s still runs after %s s", run->program, argv[1]);
    return SCOPE_FAIL;
}

static int cmd_signal(scope_run *run, int, char **argv)
{
    int sig = scope_signal_number(argv[1]);
    if (sig < 0) {
        scope_error("signal: no signal is called '%s'", argv[1]);
        return SCOPE_FAIL;
    }
    int rc = sim_kill(run->sb, run->pid, sig);
    if (rc < 0 && !run->ended) {
        scope_error("signal: %s: %s", argv[1], strerror(-rc));
        return SCOPE_FAIL;
    }
    return SCOPE_OK;
}

static int cmd_stop(scope_run *run, int, char **)
{
    run->stopped = true;
    sim_stop(run->sb, nullptr);
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
    int rc = sim_write_file(run->sb, argv[1], scope_join(argc, argv, 2) + "\n");
    if (rc < 0) {
        scope_error("write: %s: %s", argv[1], strerror(-rc));
        return SCOPE_FAIL;
    }
    return SCOPE_OK;
}

static int cmd_spawn(scope_run *run, int argc, char **argv)
{
    sim_spawn_args args;
    args.argv.assign(argv + 1, argv + argc);
    int pid = sim_spawn(run->sb, args);
    if (pid < 0) {
        scope_error("spawn: %s: %s", argv[1], strerror(-pid));
        return SCOPE_FAIL;
    }
    scope_say("started %s (pid %d)", argv[1], pid);
    return SCOPE_OK;
}

/* ---- sightui ---- */

#define SCOPE_GUI_SNAPSHOTS "/tmp/gui-snapshots"

static int cmd_gui(scope_run *run, int argc, char **argv)
{
    if (run->gui_pid > 0) {
        scope_error("gui: sightui already runs (pid %d)", run->gui_pid);
        return SCOPE_FAIL;
    }
    int first = 1;
    bool window = argc > 1 && strcmp(argv[1], "window") == 0;
    if (window) first = 2;
    if (argc - first != 0 && argc - first != 2) {
        scope_error("gui: give the screen as W H, or nothing for 1280 1024");
        return SCOPE_FAIL;
    }
    if (sim_write_file(run->sb, SCOPE_GUI_SNAPSHOTS "/.made", "") < 0) {
        scope_error("gui: no snapshot folder");
        return SCOPE_FAIL;
    }
    sim_spawn_args args;
    args.argv = {"sightui"};
    for (int i = first; i < argc; i++) args.argv.push_back(argv[i]);
    /* sightui reads its resources from ./res, beside the program. */
    args.cwd = SIM_INSIDE_BIN;
    args.env = {"VESK_GUI_SNAPSHOT_DIR=" SCOPE_GUI_SNAPSHOTS};
    args.env.push_back(window ? "VESK_GUI_BACKEND=sdl" : "VESK_GUI_BACKEND=headless");
    int pid = sim_spawn(run->sb, args);
    if (pid < 0) {
        scope_error("gui: sightui: %s", strerror(-pid));
        return SCOPE_FAIL;
    }
    run->gui_pid = pid;
    scope_say("started sightui (pid %d)%s", pid, window ? " in a window" : "");
    return SCOPE_OK;
}

static int cmd_screenshot(scope_run *run, int argc, char **argv)
{
    if (run->gui_pid <= 0) {
        scope_error("screenshot: start sightui first (gui)");
        return SCOPE_FAIL;
    }
    char png[96], txt[96];
    int seq = run->gui_shots + 1;
    snprintf(png, sizeof png, SCOPE_GUI_SNAPSHOTS "/qel_menu-%04d.png", seq);
    snprintf(txt, sizeof txt, SCOPE_GUI_SNAPSHOTS "/qel_menu-%04d.txt", seq);
    int rc = sim_kill(run->sb, run->gui_pid, SIGUSR1);
    if (rc < 0) {
        scope_error("screenshot: sightui: %s", strerror(-rc));
        return SCOPE_FAIL;
    }
    std::string image, tree;
    for (int waited = 0; sim_read_file(run->sb, png, &image) != 0 || sim_read_file(run->sb, txt, &tree) != 0;
         waited += 20) {
        if (waited >= 5000 || scope_pause(run, 20)) {
            scope_error("screenshot: sightui wrote no snapshot");
            return SCOPE_FAIL;
        }
    }
    run->gui_shots = seq;
    if (argc < 2) {
        scope_say("screenshot %s", sim_path(run->sb, png).c_str());
        return SCOPE_OK;
    }
    std::string tree_path = std::string(argv[1]) + ".txt";
    FILE *f = fopen(argv[1], "wb");
    FILE *t = fopen(tree_path.c_str(), "w");
    bool ok = f && t && fwrite(image.data(), 1, image.size(), f) == image.size() &&
              fwrite(tree.data(), 1, tree.size(), t) == tree.size();
    if (f) ok = fclose(f) == 0 && ok;
    if (t) ok = fclose(t) == 0 && ok;
    if (!ok) {
        scope_error("screenshot: %s: %s", argv[1], strerror(errno));
        return SCOPE_FAIL;
    }
    scope_say("screenshot %s", argv[1]);
    return SCOPE_OK;
}

/* The scope's keys by name with their device key codes: short, long,
 * release after long, double press (-1: none). */
static const struct {
    const char *name;
    int press, hold, release, twice;
} scope_keys[] = {
    {"up", 0, 1, 2, -1},          {"down", 3, 4, 5, -1},         {"power", 6, 7, 8, 19},
    {"photo", 9, 10, 11, -1},     {"fn", 12, 13, 14, -1},        {"range", 15, 16, 17, 38},
    {"left", 23, 24, 25, -1},     {"right", 32, 33, 34, -1},     {"ok", 35, 36, 37, -1},
    {"left+down", 18, -1, -1, -1}, {"left+right", 20, -1, -1, -1}, {"up+down+ok", 21, -1, -1, -1},
    {"range+power", 22, -1, -1, -1},
};

/* Until sightd reads the key device, keys go straight into sightui's key
 * injection, as the key frames sightd would send. */
static int cmd_key(scope_run *run, int argc, char **argv)
{
    const char *kind = argc > 2 ? argv[2] : "short";
    int hold_ms = argc > 3 ? scope_seconds_ms(argv[3]) : 1000;
    int row = -1;
    for (size_t i = 0; i < sizeof scope_keys / sizeof scope_keys[0]; i++)
        if (strcmp(scope_keys[i].name, argv[1]) == 0) row = (int)i;
    if (row < 0 || hold_ms < 0) {
        scope_error("key: no key '%s' (up down power photo fn range left right ok left+down left+right "
                    "up+down+ok range+power), or a bad hold time",
                    argv[1]);
        return SCOPE_FAIL;
    }
    sim_spawn_args args;
    args.argv = {"sightui-keys"};
    if (strcmp(kind, "short") == 0) {
        args.argv.push_back(std::to_string(scope_keys[row].press));
    } else if (strcmp(kind, "long") == 0 && scope_keys[row].hold >= 0) {
        args.argv.push_back(std::to_string(scope_keys[row].hold));
        args.argv.push_back("+" + std::to_string(hold_ms));
        args.argv.push_back(std::to_string(scope_keys[row].release));
    } else if (strcmp(kind, "double") == 0 && scope_keys[row].twice >= 0) {
        args.argv.push_back(std::to_string(scope_keys[row].twice));
    } else {
        scope_error("key: %s has no %s press", argv[1], kind);
        return SCOPE_FAIL;
    }
    int pid = sim_spawn(run->sb, args);
    sim_outcome out;
    if (pid < 0 || sim_wait(run->sb, pid, hold_ms + 5000, &out) != 0 || out.end != SIM_EXITED || out.code != 0) {
        scope_error("key: %s %s was not typed", argv[1], kind);
        return SCOPE_FAIL;
    }
    return SCOPE_OK;
}

static int cmd_help(scope_run *, int, char **)
{
    for (size_t i = 0; i < scope_command_count; i++)
        printf("  %-10s %-22s %s\n", scope_commands[i].name, scope_commands[i].args, scope_commands[i].help);
    fflush(stdout);
    return SCOPE_OK;
}

const scope_command scope_commands[] = {
    {"sleep", "SECONDS", "pause the script (decimals allowed)", 1, 1, cmd_sleep},
    {"wait", "[SECONDS]", "wait for the program to end; an error if it still runs after SECONDS", 0, 1, cmd_wait},
    {"signal", "NAME|NUMBER", "send a signal (TERM, INT, HUP, USR1, 15 ...) to the program", 1, 1, cmd_signal},
    {"stop", "", "end the run now: every program in the sandbox is killed", 0, 0, cmd_stop},
    {"echo", "TEXT...", "print the text on standard output", 0, -1, cmd_echo},
    {"write", "PATH TEXT...", "replace a sandbox file (e.g. under /sys) with the text and a newline", 1, -1,
     cmd_write},
    {"spawn", "PROGRAM ARGS...", "start another program in the sandbox (e.g. a queue peer)", 1, -1, cmd_spawn},
    {"gui", "[window] [W H]", "start sightui: headless (see screenshot) or in a window (needs --display)", 0, 3,
     cmd_gui},
    {"screenshot", "[FILE]", "sightui's screen as PNG (its widget tree in FILE.txt); no FILE: print where", 0, 1,
     cmd_screenshot},
    {"key", "NAME [short|long|double] [S]", "press a scope key (up down power photo fn range left right ok, "
     "left+down left+right up+down+ok range+power); long holds S seconds (1)", 1, 3, cmd_key},
    {"peers", "[ROLE...]", "start queue peers: media http ble (the default) and gui, a GUI stand-in", 0, 4,
     scope_cmd_peers},
    {"send", "ROLE BYTES...", "send a frame as a peer: OBJ SUB ITEM FLAG [PAYLOAD...] in hex (framed and "
     "summed), or a whole frame AA ... EB AA", 2, -1, scope_cmd_send},
    {"received", "ROLE [OBJ [SUB [ITEM]]]", "print the frames the peer received that no received or expect "
     "took yet, those with this header (hex)", 1, 4, scope_cmd_received},
    {"expect", "ROLE SECONDS OBJ [SUB [ITEM]]", "wait for the oldest such frame not yet taken and print it; an "
     "error after SECONDS", 3, 5, scope_cmd_expect},
    {"lrf", "LINE...", "script the rangefinder module on /dev/ttyS5 (range D [D2 D3], queue, silent on|off, "
     "badsum on|off, readback N|off, noise N, anomaly B0..B3, period MS, delay MS; on: just start it)", 1, -1,
     scope_cmd_lrf},
    {"help", "", "list the commands", 0, 0, cmd_help},
};

const size_t scope_command_count = sizeof scope_commands / sizeof scope_commands[0];
