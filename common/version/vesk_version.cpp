#include "vesk_version.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "vesk_build_ident.h"

const char *vesk_build_date(void) { return __DATE__; }
const char *vesk_build_time(void) { return __TIME__; }
const char *vesk_build_revision(void) { return VESK_BUILD_REVISION; }
const char *vesk_build_branch(void) { return VESK_BUILD_BRANCH; }

void vesk_version_program_line(char *buf, size_t cap, const char *role, const char *name)
{
    snprintf(buf, cap, "%s:\t <%s>\t (%s,%s) [%s] on {%s}", role, name, vesk_build_date(), vesk_build_time(),
             vesk_build_revision(), vesk_build_branch());
}

void vesk_version_component_line(char *buf, size_t cap, const char *label, const char *name, const char *value)
{
    snprintf(buf, cap, "%s:\t <%s>\t (%s,%s) [%s]", label, name, vesk_build_date(), vesk_build_time(), value);
}

int vesk_version_append(const char *path, const char *line)
{
    char out[VESK_VERSION_LINE_MAX + 1];
    size_t n = 0;
    if (path == NULL || line == NULL) return -EINVAL;
    for (; line[n] != '\0' && n < VESK_VERSION_LINE_MAX; n++) {
        unsigned char c = (unsigned char)line[n];
        /* The tab is part of the line format; any other control byte is not. */
        out[n] = (c < 0x20 && c != '\t') || c == 0x7F ? '?' : (char)c;
    }
    out[n++] = '\n';

    int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return -errno;
    ssize_t w;
    do {
        w = write(fd, out, n);
    } while (w < 0 && errno == EINTR);
    int err = w < 0 ? errno : (size_t)w != n ? EIO : 0;
    close(fd);
    return -err;
}

const char *vesk_version_basename(const char *argv0)
{
    if (argv0 == NULL) return "";
    const char *slash = strrchr(argv0, '/');
    return slash ? slash + 1 : argv0;
}
