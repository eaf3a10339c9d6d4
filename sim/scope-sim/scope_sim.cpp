// scope-sim: starts sightd in a fresh sandbox, runs a script of commands
// against it, passes SIGINT and SIGTERM on and reports how the run ended.
#include "scope_sim.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <time.h>
#include <unistd.h>

#include "boot_installer_sim.h"
#include "vesk_clock.h"

#include <string>
#include <thread>
#include <vector>

/* Exit statuses of scope-sim besides the program's own. */
enum { SCOPE_EXIT_REBOOT = 200, SCOPE_EXIT_POWER_OFF = 201, SCOPE_EXIT_FAILED = 125 };

static const char scope_usage[] = "usage: scope-sim [OPTIONS] [SCRIPT] [-- ARGS...]\n"
                                  "\n"
                                  "Starts sightd (from the build's bin/ folder) in a fresh sandbox, runs the\n"
                                  "commands of SCRIPT (a file; \"-\" or none: standard input) and reports how\n"
                                  "the run ended. SIGINT and SIGTERM to scope-sim are passed on to sightd.\n"
                                  "ARGS go to the program.\n"
                                  "\n"
                                  "Options:\n"
                                  "  --keep DIR          make the sandbox in DIR and leave it there; a DIR kept\n"
                                  "                      by an earlier run boots again with its files\n"
                                  "  --media-size SIZE   size of the Media partition (bytes, or with K, M, G)\n"
                                  "  --file INSIDE=HOST  put a copy of the host file HOST at INSIDE before the\n"
                                  "                      program starts (e.g. /factory/config.ini=my.ini)\n"
                                  "  --display DISPLAY   let the programs use this X display (e.g. :99)\n"
                                  "  --xauthority FILE   X authority file for that display\n"
                                  "  --program NAME      run NAME from bin/ in place of sightd\n"
                                  "  --run COMMAND       run this command before the script (may be given\n"
                                  "                      more than once; a failure ends the run)\n"
                                  "  --help              this text\n"
                                  "\n"
                                  "Script: one command per line; words are separated by blanks, \"double\n"
                                  "quotes\" keep blanks in a word, and # starts a comment. The end of the\n"
                                  "script (of a file, a pipe, or Ctrl-D at a terminal) ends the run as stop\n"
                                  "does; \"wait\" first lets the program end by itself. When the program\n"
                                  "ends, the rest of the script is left. A failing command ends the run\n"
                                  "(exit 125), except when the commands come from a terminal: there each\n"
                                  "line gets a prompt, a failed command is reported and the run goes on.\n"
                                  "Ctrl-C (SIGINT) is passed on to the program, whose end ends the run.\n"
                                  "Commands:\n";

static const char scope_epilogue[] = "\n"
                                     "Report: the last line on standard output is \"scope-sim: <program> ended:\n"
                                     "<how>\", how being \"exit N\", \"signal N\", \"reboot\", \"power-off\" or\n"
                                     "\"stopped\".\n"
                                     "Exit status: the program's exit status; 128+N when signal N ended it;\n"
                                     "200 for a reboot, 201 for a power-off; 0 when stopped; 125 when scope-sim\n"
                                     "itself failed (no sandbox, a bad script).\n";

static void scope_line(FILE *to, const char *format, va_list ap)
{
    fputs("scope-sim: ", to);
    vfprintf(to, format, ap);
    fputc('\n', to);
    fflush(to);
}

void scope_say(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    scope_line(stdout, format, ap);
    va_end(ap);
}

void scope_error(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    scope_line(stderr, format, ap);
    va_end(ap);
}

int scope_seconds_ms(const char *text)
{
    char *end;
    errno = 0;
    double s = strtod(text, &end);
    if (errno || end == text || *end != '\0' || s < 0 || s > 86400.0 * 365) return -1;
    return (int)(s * 1000 + 0.5);
}

/* Every registered table, in the order the files registered them. Made
 * on first use, as the tables register before main. */
static std::vector<std::pair<const scope_command *, size_t>> &scope_tables(void)
{
    static std::vector<std::pair<const scope_command *, size_t>> tables;
    return tables;
}

int scope_register(const scope_command *rows, size_t count)
{
    scope_tables().emplace_back(rows, count);
    return 0;
}

const scope_command *scope_find(const char *name)
{
    for (const auto &table : scope_tables())
        for (size_t i = 0; i < table.second; i++)
            if (strcmp(table.first[i].name, name) == 0) return &table.first[i];
    return nullptr;
}

void scope_list(FILE *to)
{
    for (const auto &table : scope_tables())
        for (size_t i = 0; i < table.second; i++)
            fprintf(to, "  %-10s %-22s %s\n", table.first[i].name, table.first[i].args, table.first[i].help);
}

/* Passes the signals that reached scope-sim on to the program. */
static void scope_forward_signals(scope_run *run)
{
    struct signalfd_siginfo info;
    while (read(run->signal_fd, &info, sizeof info) == (ssize_t)sizeof info)
        if (!run->ended) sim_kill(run->h->sb, run->pid, (int)info.ssi_signo);
}

/* Waits for one of fds (or the time-out), passing signals on meanwhile.
 * Returns 1 once the program has ended, else 0; *ready tells whether the
 * extra descriptor became readable. */
static int scope_poll(scope_run *run, int extra, int ms, bool *ready)
{
    long long deadline = (long long)vesk_mono_ms() + ms;
    if (ready) *ready = false;
    for (;;) {
        struct pollfd p[3] = {{run->end_fd, POLLIN, 0}, {run->signal_fd, POLLIN, 0}, {extra, POLLIN, 0}};
        int left = ms < 0 ? -1 : (int)(deadline - (long long)vesk_mono_ms());
        if (ms >= 0 && left < 0) left = 0;
        int n = poll(p, extra >= 0 ? 3 : 2, left);
        if (n < 0 && errno != EINTR) return run->ended;
        if (p[1].revents & POLLIN) scope_forward_signals(run);
        if (p[0].revents & POLLIN) return 1;
        if (extra >= 0 && (p[2].revents & (POLLIN | POLLHUP | POLLERR))) {
            *ready = true;
            return 0;
        }
        if (n == 0) return 0;
    }
}

int scope_pause(scope_run *run, int ms) { return scope_poll(run, -1, ms, nullptr); }

/* Splits a line into words: blanks separate, double quotes group, # ends. */
static std::vector<std::string> scope_words(const std::string &line, bool *ok)
{
    std::vector<std::string> words;
    *ok = true;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) i++;
        if (i >= line.size() || line[i] == '#') break;
        std::string word;
        bool quoted = false;
        while (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t' && line[i] != '\r'))) {
            if (line[i] == '"')
                quoted = !quoted;
            else
                word += line[i];
            i++;
        }
        if (quoted) *ok = false;
        words.push_back(word);
    }
    return words;
}

static int scope_run_line(scope_run *run, const std::string &line, int number)
{
    bool ok;
    std::vector<std::string> words = scope_words(line, &ok);
    /* number 0: a --run command */
    std::string where = number > 0 ? "line " + std::to_string(number) : "--run";
    if (!ok) {
        scope_error("%s: a quote is not closed", where.c_str());
        return SCOPE_FAIL;
    }
    if (words.empty()) return SCOPE_OK;
    const scope_command *c = scope_find(words[0].c_str());
    if (c == nullptr) {
        scope_error("%s: no command '%s' (try help)", where.c_str(), words[0].c_str());
        return SCOPE_FAIL;
    }
    int nargs = (int)words.size() - 1;
    if (nargs < c->min_args || (c->max_args >= 0 && nargs > c->max_args)) {
        scope_error("%s: usage: %s %s", where.c_str(), c->name, c->args);
        return SCOPE_FAIL;
    }
    std::vector<char *> argv;
    for (std::string &w : words) argv.push_back(&w[0]);
    argv.push_back(nullptr);
    return c->run(run, (int)words.size(), argv.data());
}

/* Runs the script until it ends, a command ends it or the program ends.
 * SCOPE_FAIL when a command failed and the script is no terminal. At a
 * terminal each line gets a prompt, a failed command is reported and the
 * run goes on. The caller stops a program that outlives the script: a
 * script that simply ends must not leave the run waiting for ever. */
static int scope_run_script(scope_run *run, int fd)
{
    bool interactive = isatty(fd);
    std::string pending;
    int number = 0;
    bool at_end = false;
    while (!at_end) {
        size_t nl;
        if (interactive && pending.find('\n') == std::string::npos) {
            fputs("scope> ", stdout);
            fflush(stdout);
        }
        while ((nl = pending.find('\n')) == std::string::npos) {
            bool ready;
            if (scope_poll(run, fd, -1, &ready)) return SCOPE_OK;
            char buf[4096];
            ssize_t n = read(fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                at_end = true;
                pending += '\n';
                break;
            }
            pending.append(buf, (size_t)n);
        }
        nl = pending.find('\n');
        std::string line = pending.substr(0, nl);
        pending.erase(0, nl + 1);
        number++;
        if (at_end && interactive) fputs("\n", stdout);
        int rc = scope_run_line(run, line, number);
        if (rc == SCOPE_STOP || run->ended) return SCOPE_OK;
        if (rc == SCOPE_FAIL && !interactive) return SCOPE_FAIL;
    }
    return SCOPE_OK;
}

/* The --run commands, before the script: any failure ends the run. */
static int scope_run_first(scope_run *run, const std::vector<std::string> &lines)
{
    for (size_t i = 0; i < lines.size(); i++) {
        int rc = scope_run_line(run, lines[i], 0);
        if (rc == SCOPE_STOP || run->ended) return SCOPE_STOP;
        if (rc == SCOPE_FAIL) return SCOPE_FAIL;
    }
    return SCOPE_OK;
}

static int scope_size(const char *text, uint64_t *out)
{
    char *end;
    errno = 0;
    unsigned long long n = strtoull(text, &end, 10);
    uint64_t unit = *end == 'K' ? 1ull << 10 : *end == 'M' ? 1ull << 20 : *end == 'G' ? 1ull << 30 : 1;
    if (unit > 1) end++;
    if (errno || end == text || *end != '\0' || n == 0) return -1;
    *out = n * unit;
    return 0;
}

/* --file INSIDE=HOST: the host file's contents at INSIDE before boot. */
static int scope_file_option(const char *text, sim_options *options)
{
    const char *eq = strchr(text, '=');
    if (!eq || eq == text || eq[1] == '\0') {
        scope_error("--file: '%s' is not INSIDE=HOST", text);
        return -1;
    }
    FILE *f = fopen(eq + 1, "rb");
    if (!f) {
        scope_error("--file: %s: %s", eq + 1, strerror(errno));
        return -1;
    }
    sim_file file;
    file.path.assign(text, (size_t)(eq - text));
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) file.data.append(buf, n);
    fclose(f);
    options->files.push_back(file);
    return 0;
}

static void scope_help(void)
{
    fputs(scope_usage, stdout);
    scope_list(stdout);
    fputs(scope_epilogue, stdout);
}

static int scope_exit_status(const scope_run &run)
{
    if (run.stopped) return 0;
    switch (run.outcome.end) {
    case SIM_EXITED:
        return run.outcome.code;
    case SIM_SIGNALED:
        return 128 + run.outcome.code;
    case SIM_REBOOT:
        return SCOPE_EXIT_REBOOT;
    case SIM_POWER_OFF:
        return SCOPE_EXIT_POWER_OFF;
    default:
        return SCOPE_EXIT_FAILED;
    }
}

/* What the command line asks for. */
struct scope_args {
    sim_options options;
    std::string program = "sightd";
    const char *script = nullptr;
    std::vector<std::string> program_args;
    std::vector<std::string> first; /* --run commands */
};

/* 1 to go on, 0 when done (--help), -1 on a bad command line (said). */
static int scope_parse_args(int argc, char **argv, scope_args *args)
{
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        bool has_value = i + 1 < argc;
        if (a == "--help") {
            scope_help();
            return 0;
        } else if (a == "--") {
            args->program_args.assign(argv + i + 1, argv + argc);
            break;
        } else if (a == "--keep" && has_value) {
            args->options.dir = argv[++i];
        } else if (a == "--media-size" && has_value) {
            if (scope_size(argv[++i], &args->options.media_bytes) != 0) {
                scope_error("--media-size: '%s' is no size", argv[i]);
                return -1;
            }
        } else if (a == "--display" && has_value) {
            args->options.display = argv[++i];
        } else if (a == "--xauthority" && has_value) {
            args->options.xauthority = argv[++i];
        } else if (a == "--file" && has_value) {
            if (scope_file_option(argv[++i], &args->options) != 0) return -1;
        } else if (a == "--run" && has_value) {
            args->first.push_back(argv[++i]);
        } else if (a == "--program" && has_value) {
            args->program = argv[++i];
        } else if (a[0] == '-' && a != "-") {
            scope_error("unknown or incomplete option '%s' (try --help)", argv[i]);
            return -1;
        } else if (!args->script) {
            args->script = argv[i];
        } else {
            scope_error("one script only (try --help)");
            return -1;
        }
    }
    return 1;
}

int main(int argc, char **argv)
{
    scope_args args;
    const int parsed = scope_parse_args(argc, argv, &args);
    if (parsed <= 0) return parsed == 0 ? 0 : SCOPE_EXIT_FAILED;
    sim_options &options = args.options;
    const std::string &program = args.program;
    const char *script = args.script;

    int script_fd = 0;
    if (script && strcmp(script, "-") != 0) {
        script_fd = open(script, O_RDONLY | O_CLOEXEC);
        if (script_fd < 0) {
            scope_error("%s: %s", script, strerror(errno));
            return SCOPE_EXIT_FAILED;
        }
    }
    /* A closed standard output must not end the run before the sandbox
     * folder is cleaned up. */
    signal(SIGPIPE, SIG_IGN);
    /* Blocked before any thread starts, so every thread leaves them to the
     * signal descriptor. */
    sigset_t passed;
    sigemptyset(&passed);
    sigaddset(&passed, SIGINT);
    sigaddset(&passed, SIGTERM);
    sigprocmask(SIG_BLOCK, &passed, nullptr);

    sim_harness harness;
    harness.console = true;
    scope_run run = {};
    run.h = &harness;
    run.program = program.c_str();
    run.signal_fd = signalfd(-1, &passed, SFD_CLOEXEC | SFD_NONBLOCK);
    run.end_fd = eventfd(0, EFD_CLOEXEC);
    if (!harness.create(options)) {
        scope_error("%s", harness.why.c_str());
        return SCOPE_EXIT_FAILED;
    }
    /* The board's boot runs the installer before the programs start. */
    std::vector<std::string> installed;
    if (!boot_installer_boot(harness, &installed)) scope_error("boot installer: %s", harness.why.c_str());
    for (const std::string &line : installed) scope_say("boot installer: %s", line.c_str());
    /* Every wait of a command passes signals on and ends with the program. */
    harness.set_pause([&run](int ms) { return scope_pause(&run, ms) == 0; });
    std::vector<std::string> argv_program = {program};
    argv_program.insert(argv_program.end(), args.program_args.begin(), args.program_args.end());
    run.modules_before = harness.modules_up();
    if (!harness.start_sightd({}, argv_program)) {
        scope_error("%s", harness.why.c_str());
        return SCOPE_EXIT_FAILED;
    }
    run.pid = harness.sightd;
    scope_say("sandbox %s: %s started (pid %d)", sim_dir(harness.sb).c_str(), program.c_str(), run.pid);

    std::thread watcher([&run] {
        sim_outcome outcome;
        while (sim_wait(run.h->sb, run.pid, -1, &outcome) != 0)
            ;
        run.outcome = outcome;
        run.ended = true;
        uint64_t one = 1;
        ssize_t w = write(run.end_fd, &one, sizeof one);
        (void)w;
    });

    int status = scope_run_first(&run, args.first);
    if (status == SCOPE_OK) status = scope_run_script(&run, script_fd);
    /* A failed command, or the end of the script (as stop does). */
    if (!run.ended) {
        run.stopped = true;
        sim_stop(harness.sb, nullptr);
    }
    scope_pause(&run, -1);
    watcher.join();
    scope_say("%s ended: %s", program.c_str(), run.stopped ? "stopped" : sim_outcome_text(run.outcome).c_str());
    if (!options.dir.empty()) scope_say("sandbox kept in %s", options.dir.c_str());
    return status == SCOPE_FAIL ? SCOPE_EXIT_FAILED : scope_exit_status(run);
}
