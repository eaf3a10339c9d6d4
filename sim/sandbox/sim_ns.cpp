#include "sim_ns.h"

#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

static int sim_ns_write(const char *path, const char *text)
{
    int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return -errno;
    ssize_t n = write(fd, text, strlen(text));
    int err = errno;
    close(fd);
    return n == (ssize_t)strlen(text) ? 0 : -err;
}

int sim_private_ns(int flags)
{
    if (unshare(flags) == 0) return 0;
    if (errno != EPERM) return -errno;
    uid_t uid = geteuid();
    gid_t gid = getegid();
    if (unshare(CLONE_NEWUSER | flags) != 0) return -errno;
    char map[64];
    /* The kernel takes a group map from an unprivileged writer only once
     * setgroups is denied. */
    int rc = sim_ns_write("/proc/self/setgroups", "deny");
    snprintf(map, sizeof map, "%u %u 1", (unsigned)uid, (unsigned)uid);
    if (rc == 0) rc = sim_ns_write("/proc/self/uid_map", map);
    snprintf(map, sizeof map, "%u %u 1", (unsigned)gid, (unsigned)gid);
    if (rc == 0) rc = sim_ns_write("/proc/self/gid_map", map);
    return rc;
}
