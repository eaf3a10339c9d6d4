#include "sim_lrf_line.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdint.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <thread>

struct sim_lrf_line {
    lrf_sim *module;
    int line;       /* the sandbox's master of the serial line */
    int module_end; /* the module's terminal, raw */
    int stop;       /* eventfd that ends the relay */
    std::thread relay;
};

/* Copies what one side has into the other; false when a side is gone. */
static bool relay_once(int from, int to)
{
    char buf[256];
    ssize_t n = read(from, buf, sizeof buf);
    if (n < 0)
        return errno == EINTR || errno == EAGAIN || errno == EIO;
    if (n == 0)
        return false;
    for (ssize_t done = 0; done < n;) {
        ssize_t w = write(to, buf + done, (size_t)(n - done));
        if (w < 0 && errno == EINTR)
            continue;
        if (w < 0)
            return false;
        done += w;
    }
    return true;
}

static void relay(sim_lrf_line *l)
{
    for (;;) {
        struct pollfd p[3] = {{l->line, POLLIN, 0}, {l->module_end, POLLIN, 0}, {l->stop, POLLIN, 0}};
        if (poll(p, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (p[2].revents)
            return;
        if ((p[0].revents & POLLIN) && !relay_once(l->line, l->module_end))
            return;
        if ((p[1].revents & POLLIN) && !relay_once(l->module_end, l->line))
            return;
        /* A hang-up on the line only means the program has it closed for
         * now; look again a little later. */
        if ((p[0].revents & POLLHUP) && !(p[0].revents & POLLIN))
            usleep(10000);
    }
}

sim_lrf_line *sim_lrf_line_start(sim_sandbox *sb, const char *tty)
{
    int line = sim_pty(sb, tty);
    if (line < 0) {
        errno = ENOENT;
        return NULL;
    }
    sim_lrf_line *l = new sim_lrf_line();
    l->line = line;
    l->module_end = l->stop = -1;
    std::string board_log = sim_path(sb, SIM_BOARD_LOG);
    l->module = lrf_sim_start(board_log.c_str());
    if (l->module != NULL)
        l->module_end = open(lrf_sim_slave_path(l->module), O_RDWR | O_NOCTTY | O_CLOEXEC);
    l->stop = eventfd(0, EFD_CLOEXEC);
    struct termios t;
    if (l->module == NULL || l->module_end < 0 || l->stop < 0 || tcgetattr(l->module_end, &t) != 0) {
        int saved = errno;
        sim_lrf_line_stop(l);
        errno = saved;
        return NULL;
    }
    cfmakeraw(&t);
    tcsetattr(l->module_end, TCSANOW, &t);
    l->relay = std::thread(relay, l);
    return l;
}

lrf_sim *sim_lrf_line_module(sim_lrf_line *line)
{
    return line != NULL ? line->module : NULL;
}

void sim_lrf_line_stop(sim_lrf_line *l)
{
    if (l == NULL)
        return;
    uint64_t one = 1;
    if (l->stop >= 0 && write(l->stop, &one, sizeof one) < 0) {
        /* The relay then ends with the module's terminal below. */
    }
    if (l->module != NULL)
        lrf_sim_stop(l->module);
    if (l->relay.joinable())
        l->relay.join();
    if (l->module_end >= 0)
        close(l->module_end);
    if (l->stop >= 0)
        close(l->stop);
    delete l;
}
