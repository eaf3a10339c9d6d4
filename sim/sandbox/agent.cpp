// vesk-sim-agent: the sandbox's main process. It starts the programs the
// library asks for, all in the sandbox's one set of namespaces, passes
// signals to them and reports how each ended. See sim_ctl.h for the channel.
//
// The agent is the PID namespace's first process (bwrap --as-pid-1): it
// reaps the orphans of the programs (daemons started with "&"), a reboot()
// inside ends it with the kernel's SIGHUP (power-off: SIGINT), and when it
// exits the kernel kills every other process before bwrap reports the end,
// so nothing of the sandbox runs on once the library sees it ended.
#include "sim_ctl.h"
#include "vesk_board.h"
#include "vesk_clock.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <vector>

/* A child's end is told only this long after it was reaped. A process that
 * calls reboot() ends with status 0 while the kernel kills the namespace;
 * the grace lets that kill reach the agent first, so the library sees a
 * reboot and not an exit. */
enum { AGENT_END_GRACE_MS = 50 };

struct agent_child {
    pid_t pid;
    int ended;
    int kind;
    int code;
    long long ended_ms;
};

struct agent_waiter {
    int fd;
    pid_t pid;
};

static std::vector<agent_child> g_children;
static std::vector<agent_waiter> g_waiters;

static void agent_reply(int fd, int status, pid_t pid, int kind, int code)
{
    sim_ctl_reply r = {status, pid, kind, code};
    sim_ctl_send(fd, &r, sizeof r, nullptr, 0);
}

static agent_child *agent_find(pid_t pid)
{
    for (agent_child &c : g_children)
        if (c.pid == pid) return &c;
    return nullptr;
}

static int agent_released(const agent_child &c, long long now)
{
    return c.ended && now >= c.ended_ms + AGENT_END_GRACE_MS;
}

/* Starts one program: its own session, the given descriptors as 0, 1, 2. */
static int agent_spawn(const std::vector<std::string> &strings, int argc, const int *stdio, pid_t *out)
{
    if (argc < 1 || (size_t)argc + 1 > strings.size()) return -EINVAL;
    const std::string &cwd = strings[0];
    std::vector<char *> argv;
    for (int i = 0; i < argc; i++) argv.push_back(const_cast<char *>(strings[1 + i].c_str()));
    argv.push_back(nullptr);
    std::vector<char *> envp;
    for (size_t i = 1 + argc; i < strings.size(); i++) envp.push_back(const_cast<char *>(strings[i].c_str()));
    envp.push_back(nullptr);

    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return -errno;
    pid_t pid = fork();
    if (pid < 0) {
        int e = errno;
        close(report[0]);
        close(report[1]);
        return -e;
    }
    if (pid == 0) {
        sigset_t all;
        sigemptyset(&all);
        sigprocmask(SIG_SETMASK, &all, nullptr);
        signal(SIGPIPE, SIG_DFL);
        setsid();
        int err = 0;
        for (int i = 0; i < 3 && !err; i++) {
            int fd = stdio[i] >= 0 ? stdio[i] : open("/dev/null", i == 0 ? O_RDONLY : O_WRONLY);
            if (fd < 0 || dup2(fd, i) < 0) err = errno;
        }
        if (!err && chdir(cwd.c_str()) != 0) err = errno;
        if (!err) {
            environ = envp.data();
            execvp(argv[0], argv.data());
            err = errno;
        }
        ssize_t w = write(report[1], &err, sizeof err);
        (void)w;
        _exit(127);
    }
    close(report[1]);
    int err = 0;
    ssize_t n;
    do n = read(report[0], &err, sizeof err);
    while (n < 0 && errno == EINTR);
    close(report[0]);
    if (n == (ssize_t)sizeof err) {
        waitpid(pid, nullptr, 0);
        return -err;
    }
    g_children.push_back({pid, 0, 0, 0, 0});
    *out = pid;
    return 0;
}

static void agent_reap(void)
{
    int status;
    pid_t pid;
    while ((pid = waitpid(-1, &status, WNOHANG)) > 0) {
        agent_child *c = agent_find(pid);
        if (!c) continue;
        c->ended = 1;
        c->ended_ms = (long long)vesk_mono_ms();
        c->kind = WIFSIGNALED(status) ? SIM_CTL_SIGNALED : SIM_CTL_EXITED;
        c->code = WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status);
    }
}

/* Answers the waiters whose child has ended; returns the poll timeout until
 * the next end becomes due, or -1. */
static int agent_answer_waiters(void)
{
    long long now = (long long)vesk_mono_ms();
    int timeout = -1;
    for (size_t i = 0; i < g_waiters.size();) {
        agent_child *c = agent_find(g_waiters[i].pid);
        if (c && agent_released(*c, now)) {
            agent_reply(g_waiters[i].fd, 0, c->pid, c->kind, c->code);
            close(g_waiters[i].fd);
            g_waiters.erase(g_waiters.begin() + (long)i);
            continue;
        }
        if (c && c->ended) {
            int due = (int)(c->ended_ms + AGENT_END_GRACE_MS - now);
            if (timeout < 0 || due < timeout) timeout = due < 0 ? 0 : due;
        }
        i++;
    }
    return timeout;
}

static void agent_close_fds(const int *fds, int n)
{
    for (int i = 0; i < n; i++)
        if (fds[i] >= 0) close(fds[i]);
}

/* One request from the library; returns 1 when the agent is to end. */
static int agent_request(int ctl)
{
    static std::vector<char> packet(SIM_CTL_MAX_PACKET);
    int fds[SIM_CTL_MAX_FDS];
    int nfds = SIM_CTL_MAX_FDS;
    long n = sim_ctl_recv(ctl, packet.data(), packet.size(), fds, &nfds);
    if (n == 0) return 1; /* the library is gone: so is the sandbox */
    if (n < 0) {
        agent_close_fds(fds, nfds);
        if (n == -EMSGSIZE) return 0;
        fprintf(stderr, "vesk-sim-agent: control channel: %s\n", strerror((int)-n));
        return 1;
    }
    sim_ctl_request head;
    std::vector<std::string> strings;
    if (nfds < 1 || !sim_ctl_unpack(packet.data(), (size_t)n, &head, &strings)) {
        if (nfds >= 1) agent_reply(fds[0], -EPROTO, 0, 0, 0);
        agent_close_fds(fds, nfds);
        return 0;
    }
    int reply = fds[0];
    switch (head.op) {
    case SIM_CTL_SPAWN: {
        int stdio[3] = {-1, -1, -1};
        for (int i = 1; i < nfds && i <= 3; i++) stdio[i - 1] = fds[i];
        pid_t pid = 0;
        int rc = agent_spawn(strings, head.value, stdio, &pid);
        agent_reply(reply, rc, pid, 0, 0);
        break;
    }
    case SIM_CTL_SIGNAL: {
        int rc = 0;
        if (head.pid == 0 || head.pid == 1 || head.pid == -1)
            rc = -EINVAL;
        else if (kill(head.pid, head.value) != 0)
            rc = -errno;
        agent_reply(reply, rc, head.pid, 0, 0);
        break;
    }
    case SIM_CTL_WAIT: {
        if (!agent_find(head.pid)) {
            agent_reply(reply, -ECHILD, head.pid, 0, 0);
            break;
        }
        g_waiters.push_back({reply, head.pid});
        agent_close_fds(fds + 1, nfds - 1);
        return 0; /* answered when the child has ended */
    }
    case SIM_CTL_STOP:
        agent_reply(reply, 0, 0, 0, 0);
        agent_close_fds(fds, nfds);
        return 1;
    default:
        agent_reply(reply, -EOPNOTSUPP, 0, 0, 0);
        break;
    }
    agent_close_fds(fds, nfds);
    return 0;
}

static int agent_hello(int ctl)
{
    int fds[2];
    fds[0] = open("/usrdata/media", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    fds[1] = open("/sys", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fds[0] < 0 || fds[1] < 0) {
        fprintf(stderr, "vesk-sim-agent: the sandbox has no /usrdata/media or /sys: %s\n", strerror(errno));
        return -1;
    }
    sim_ctl_reply r = {0, getpid(), 0, 0};
    int rc = sim_ctl_send(ctl, &r, sizeof r, fds, 2);
    close(fds[0]);
    close(fds[1]);
    return rc;
}

int main(void)
{
    int ctl = SIM_CTL_FD;
    fcntl(ctl, F_SETFD, FD_CLOEXEC);
    /* Only the channel and the standard descriptors belong to the sandbox. */
    close_range(SIM_CTL_FD + 1, ~0U, 0);
    signal(SIGPIPE, SIG_IGN);
    sigset_t chld;
    sigemptyset(&chld);
    sigaddset(&chld, SIGCHLD);
    sigprocmask(SIG_BLOCK, &chld, nullptr);
    int sigfd = signalfd(-1, &chld, SFD_CLOEXEC | SFD_NONBLOCK);
    if (sigfd < 0) return 1;
    /* A fresh board: whoever reads the log knows every power is off again.
     * Logged before the hello, so the line is there when sim_create returns. */
    vesk_board_log_line("boot", "");
    if (agent_hello(ctl) != 0) return 1;

    for (;;) {
        int timeout = agent_answer_waiters();
        std::vector<struct pollfd> fds = {{ctl, POLLIN, 0}, {sigfd, POLLIN, 0}};
        for (const agent_waiter &w : g_waiters) fds.push_back({w.fd, 0, 0}); /* only to see the library give up */
        int n = poll(fds.data(), fds.size(), timeout);
        if (n < 0 && errno != EINTR) {
            fprintf(stderr, "vesk-sim-agent: poll: %s\n", strerror(errno));
            return 1;
        }
        if (n <= 0) continue;
        if (fds[1].revents & POLLIN) {
            struct signalfd_siginfo info;
            while (read(sigfd, &info, sizeof info) == (ssize_t)sizeof info)
                ;
            agent_reap();
        }
        for (size_t i = 2; i < fds.size(); i++) {
            if (!(fds[i].revents & (POLLHUP | POLLERR))) continue;
            for (size_t k = 0; k < g_waiters.size(); k++)
                if (g_waiters[k].fd == fds[i].fd) {
                    close(g_waiters[k].fd);
                    g_waiters.erase(g_waiters.begin() + (long)k);
                    break;
                }
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR))
            if (agent_request(ctl)) return 0;
    }
}
