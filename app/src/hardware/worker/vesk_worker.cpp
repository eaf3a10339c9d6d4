#include "vesk_worker.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdint.h>
#include <time.h>
#include <unistd.h>

static int64_t now_ms(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

int vesk_worker_open(vesk_worker *w)
{
    w->stop = 0;
    if (pipe2(w->wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        w->wake[0] = w->wake[1] = -1;
        return -1;
    }
    return 0;
}

void vesk_worker_stop(vesk_worker *w)
{
    __atomic_store_n(&w->stop, 1, __ATOMIC_SEQ_CST);
    if (w->wake[1] >= 0) {
        const char one = 1;
        ssize_t n = write(w->wake[1], &one, 1);
        (void)n; /* a full pipe already says stop */
    }
}

void vesk_worker_close(vesk_worker *w)
{
    for (int &fd : w->wake) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
}

int vesk_worker_stopping(const vesk_worker *w) { return __atomic_load_n(&w->stop, __ATOMIC_SEQ_CST); }

/* One poll of fd (or none, -1) and the wake pipe until the deadline (none
 * for a negative ms); a signal restarts it for the time that is left. */
static int worker_poll(vesk_worker *w, int fd, int ms)
{
    const bool forever = ms < 0;
    const int64_t deadline = now_ms() + ms;
    for (;;) {
        if (vesk_worker_stopping(w)) return -1;
        struct pollfd fds[2] = {{w->wake[0], POLLIN, 0}, {fd, POLLIN, 0}};
        int64_t left = forever ? -1 : deadline - now_ms();
        if (!forever && left < 0) left = 0;
        int rc = poll(fds, fd >= 0 ? 2 : 1, (int)left);
        if (rc < 0) {
            if (errno == EINTR) continue;
            return -2;
        }
        if (fds[0].revents != 0) return -1;
        if (fd >= 0 && fds[1].revents != 0) {
            if (fds[1].revents & POLLNVAL) {
                errno = EBADF;
                return -2;
            }
            return 1;
        }
        if (!forever && (rc == 0 || now_ms() >= deadline)) return 0;
    }
}

int vesk_worker_sleep(vesk_worker *w, int ms) { return worker_poll(w, -1, ms) == -1; }

int vesk_worker_wait(vesk_worker *w, int fd, int ms) { return worker_poll(w, fd, ms); }
