// Packets and passed descriptors of the sandbox control channel.
#include "sim_ctl.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

int sim_ctl_send(int sock, const void *data, size_t length, const int *fds, int nfds)
{
    if (nfds < 0 || nfds > SIM_CTL_MAX_FDS) return -EINVAL;
    struct iovec iov = {const_cast<void *>(data), length};
    struct msghdr msg = {};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(struct cmsghdr) char control[CMSG_SPACE(sizeof(int) * SIM_CTL_MAX_FDS)];
    if (nfds > 0) {
        memset(control, 0, sizeof control);
        msg.msg_control = control;
        msg.msg_controllen = CMSG_SPACE(sizeof(int) * nfds);
        struct cmsghdr *c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int) * nfds);
        memcpy(CMSG_DATA(c), fds, sizeof(int) * nfds);
    }
    ssize_t n;
    do n = sendmsg(sock, &msg, MSG_NOSIGNAL);
    while (n < 0 && errno == EINTR);
    if (n < 0) return -errno;
    return (size_t)n == length ? 0 : -EIO;
}

long sim_ctl_recv(int sock, void *data, size_t size, int *fds, int *nfds)
{
    int room = nfds ? *nfds : 0;
    if (nfds) *nfds = 0;
    struct iovec iov = {data, size};
    struct msghdr msg = {};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(struct cmsghdr) char control[CMSG_SPACE(sizeof(int) * SIM_CTL_MAX_FDS)];
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ssize_t n;
    do n = recvmsg(sock, &msg, MSG_CMSG_CLOEXEC);
    while (n < 0 && errno == EINTR);
    if (n < 0) return -errno;
    for (struct cmsghdr *c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
        int count = (int)((c->cmsg_len - CMSG_LEN(0)) / sizeof(int));
        for (int i = 0; i < count; i++) {
            int fd;
            memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
            if (nfds && *nfds < room)
                fds[(*nfds)++] = fd;
            else
                close(fd); /* more than the caller takes: never leak them */
        }
    }
    if (msg.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) return -EMSGSIZE;
    return (long)n;
}

std::vector<char> sim_ctl_pack(const sim_ctl_request &head, const std::vector<std::string> &strings)
{
    std::vector<char> packet(sizeof head);
    sim_ctl_request h = head;
    h.nstrings = (uint32_t)strings.size();
    memcpy(packet.data(), &h, sizeof h);
    for (const std::string &s : strings) packet.insert(packet.end(), s.c_str(), s.c_str() + s.size() + 1);
    return packet;
}

bool sim_ctl_unpack(const char *data, size_t length, sim_ctl_request *head, std::vector<std::string> *strings)
{
    if (length < sizeof *head) return false;
    memcpy(head, data, sizeof *head);
    strings->clear();
    size_t at = sizeof *head;
    for (uint32_t i = 0; i < head->nstrings; i++) {
        const void *end = memchr(data + at, '\0', length - at);
        if (!end) return false;
        size_t n = (size_t)((const char *)end - (data + at));
        strings->emplace_back(data + at, n);
        at += n + 1;
    }
    return at == length;
}
