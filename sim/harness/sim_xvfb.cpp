#include "sim_xvfb.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

pid_t sim_xvfb_start(const char *screen, std::string *display)
{
    int fds[2];
    if (pipe(fds) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::string fd = std::to_string(fds[1]);
        execl(SIM_XVFB, "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten", "tcp", (char *)NULL);
        _exit(127);
    }
    close(fds[1]);
    /* Xvfb writes the display number and a line end once it takes clients. */
    std::string num;
    char ch;
    while (pid > 0 && read(fds[0], &ch, 1) == 1 && ch != '\n') num.push_back(ch);
    close(fds[0]);
    if (pid < 0 || num.empty()) {
        sim_xvfb_stop(pid);
        return -1;
    }
    *display = ":" + num;
    return pid;
}

void sim_xvfb_stop(pid_t pid)
{
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, NULL, 0);
}
