#include "sim_lrf_link.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <thread>

struct sim_lrf_link {
    lrf_sim *module;
    int line; /* the sandbox's master of /dev/ttyS5 (the sandbox owns it) */
    int far;  /* our own open of the module's terminal */
    int wake[2];
    std::thread relay;
};

static bool relay_write(int fd, const uint8_t *bytes, ssize_t n)
{
    while (n > 0) {
        ssize_t w = write(fd, bytes, (size_t)n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        bytes += w;
        n -= w;
    }
    return true;
}

static void relay_run(sim_lrf_link *link)
{
    for (;;) {
        struct pollfd p[3] = {{link->line, POLLIN, 0}, {link->far, POLLIN, 0}, {link->wake[0], POLLIN, 0}};
        if (poll(p, 3, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (p[2].revents) return;
        for (int i = 0; i < 2; i++) {
            if (!(p[i].revents & POLLIN)) continue;
            uint8_t buf[512];
            ssize_t n = read(p[i].fd, buf, sizeof buf);
            if (n > 0) relay_write(p[1 - i].fd, buf, n);
        }
        /* A terminal nobody holds open reports a hang-up until it is
         * opened again; wait for that instead of spinning. */
        if ((p[0].revents | p[1].revents) & POLLHUP) {
            const struct timespec pause = {0, 5 * 1000 * 1000};
            nanosleep(&pause, nullptr);
        }
    }
}

sim_lrf_link *sim_lrf_attach(const sim_sandbox *sb)
{
    sim_lrf_link *link = new sim_lrf_link{nullptr, sim_pty(sb, "/dev/ttyS5"), -1, {-1, -1}, {}};
    link->module = lrf_sim_start(sim_path(sb, SIM_BOARD_LOG).c_str());
    if (link->line >= 0 && link->module != nullptr)
        link->far = open(lrf_sim_slave_path(link->module), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (link->far < 0 || pipe2(link->wake, O_CLOEXEC) != 0) {
        sim_lrf_detach(link);
        return nullptr;
    }
    link->relay = std::thread(relay_run, link);
    return link;
}

lrf_sim *sim_lrf_module(sim_lrf_link *link) { return link->module; }

void sim_lrf_detach(sim_lrf_link *link)
{
    if (link == nullptr) return;
    if (link->relay.joinable()) {
        /* Our own empty pipe: the byte always fits. */
        const char one = 1;
        ssize_t w = write(link->wake[1], &one, 1);
        (void)w;
        link->relay.join();
    }
    for (int fd : {link->far, link->wake[0], link->wake[1]})
        if (fd >= 0) close(fd);
    if (link->module != nullptr) lrf_sim_stop(link->module);
    delete link;
}
