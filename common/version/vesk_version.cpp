#include "vesk_version.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>

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

/* The line as it is written: at most VESK_VERSION_LINE_MAX characters and a
 * line feed into out; its length. */
static size_t clean_line(const char *line, char *out)
{
    size_t n = 0;
    for (; line[n] != '\0' && n < VESK_VERSION_LINE_MAX; n++) {
        unsigned char c = (unsigned char)line[n];
        /* The tab is part of the line format; any other control byte is not. */
        out[n] = (c < 0x20 && c != '\t') || c == 0x7F ? '?' : (char)c;
    }
    out[n++] = '\n';
    return n;
}

int vesk_version_append(const char *path, const char *line)
{
    char out[VESK_VERSION_LINE_MAX + 1];
    if (path == NULL || line == NULL) return -EINVAL;
    const size_t n = clean_line(line, out);

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

int vesk_version_replace(const char *path, const char *label, const char *line)
{
    if (path == NULL || label == NULL || line == NULL || *label == '\0') return -EINVAL;
    char fresh[VESK_VERSION_LINE_MAX + 1];
    const size_t fresh_len = clean_line(line, fresh);
    std::string text, out;
    if (FILE *in = fopen(path, "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, in)) > 0) text.append(buf, n);
        fclose(in);
    }
    const std::string head = std::string(label) + ":";
    bool replaced = false;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        if (text.compare(at, head.size(), head) == 0) {
            out.append(fresh, fresh_len);
            replaced = true;
        } else {
            out.append(text, at, end - at);
            if (out.back() != '\n') out += '\n'; /* a cut last line stays a line of its own */
        }
        at = end;
    }
    if (!replaced) out.append(fresh, fresh_len);
    const std::string tmp = std::string(path) + ".tmp";
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return -errno;
    size_t done = 0;
    int err = 0;
    while (done < out.size() && err == 0) {
        ssize_t w = write(fd, out.data() + done, out.size() - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0)
            err = w < 0 ? errno : EIO;
        else
            done += (size_t)w;
    }
    if (close(fd) != 0 && err == 0) err = errno;
    if (err == 0 && rename(tmp.c_str(), path) != 0) err = errno;
    if (err != 0) unlink(tmp.c_str());
    return -err;
}

const char *vesk_version_basename(const char *argv0)
{
    if (argv0 == NULL) return "";
    const char *slash = strrchr(argv0, '/');
    return slash ? slash + 1 : argv0;
}
