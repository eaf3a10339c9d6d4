// Durable writes. The fault switches sit exactly where a real failure of
// the same call would surface, so a test can fail each step of a write.
#include "vesk_io.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "vesk_fault.h"
#include "vesk_log.h"

#define FSYNC_TAG "persist.fsync"

/* Makes step move the length bytes in as many calls as it takes: a call cut
 * short by a signal is made again, and one that moves nothing means the
 * file or device ended early. step(done, left) moves some of the bytes from
 * offset done on and returns how many, or -1 with errno set. */
template <typename Step> static int move_all(size_t length, Step step)
{
    size_t done = 0;
    while (done < length) {
        ssize_t n = step(done, length - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -errno;
        }
        if (n == 0) return -EIO;
        done += (size_t)n;
    }
    return 0;
}

int vesk_io_write_all(int fd, const void *data, size_t length)
{
    const char *p = (const char *)data;
    if (vesk_fault_should_fail("write")) return -vesk_fault_errno();
    bool shorten = length >= 2 && vesk_fault_should_fail("shortwrite");
    bool interrupt = vesk_fault_should_fail("eintr");
    return move_all(length, [&](size_t done, size_t left) -> ssize_t {
        vesk_test_delay_point("io:write");
        size_t chunk = shorten ? 1 : left;
        shorten = false;
        if (interrupt) {
            interrupt = false;
            errno = EINTR;
            return -1;
        }
        return write(fd, p + done, chunk);
    });
}

int vesk_io_read_exact(int fd, void *buffer, size_t length)
{
    char *p = (char *)buffer;
    if (vesk_fault_should_fail("read")) return -vesk_fault_errno();
    return move_all(length, [&](size_t done, size_t left) { return read(fd, p + done, left); });
}

int vesk_io_read_file(const char *path, char **out_data, size_t *out_length)
{
    if (path == NULL || out_data == NULL || out_length == NULL) return -EINVAL;
    struct stat st;
    if (stat(path, &st) != 0) return -errno;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -errno;
    size_t size = st.st_size > 0 ? (size_t)st.st_size : 0;
    char *data = (char *)malloc(size + 1);
    if (data == NULL) {
        close(fd);
        return -ENOMEM;
    }
    int rc = size > 0 ? vesk_io_read_exact(fd, data, size) : 0;
    close(fd);
    if (rc < 0) {
        free(data);
        return rc;
    }
    data[size] = '\0';
    *out_data = data;
    *out_length = size;
    return 0;
}

static void dir_of(const char *path, char *dir, size_t cap)
{
    const char *slash = strrchr(path, '/');
    if (slash == NULL) {
        snprintf(dir, cap, ".");
    } else if (slash == path) {
        snprintf(dir, cap, "/");
    } else {
        snprintf(dir, cap, "%.*s", (int)(slash - path), path);
    }
}

int vesk_io_fsync_dir(const char *dir)
{
    vesk_log_printf(VESK_LOG_DETAIL, FSYNC_TAG, "dir=%s start", dir);
    int rc = 0;
    int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        rc = -errno;
    } else {
        if (vesk_fault_should_fail("dirfsync")) {
            rc = -vesk_fault_errno();
        } else if (fsync(fd) != 0) {
            rc = -errno;
        }
        close(fd);
    }
    if (rc < 0) {
        vesk_log_printf(VESK_LOG_ERROR, FSYNC_TAG, "dir=%s failed errno=%d", dir, -rc);
        return rc;
    }
    vesk_log_printf(VESK_LOG_DETAIL, FSYNC_TAG, "dir=%s done", dir);
    return 0;
}

int vesk_io_fsync_dir_of(const char *path)
{
    char dir[PATH_MAX];
    dir_of(path, dir, sizeof dir);
    return vesk_io_fsync_dir(dir);
}

static void checkpoint(const char *tag, const char *step)
{
    char name[256];
    snprintf(name, sizeof name, "%s:%s", tag, step);
    vesk_test_checkpoint(name);
}

int vesk_io_atomic_replace(const char *tag, const char *path, const void *data, size_t length, mode_t mode)
{
    if (tag == NULL || path == NULL || (data == NULL && length > 0)) return -EINVAL;
    char tmp[PATH_MAX];
    if (snprintf(tmp, sizeof tmp, "%s.tmp-%d-%lu", path, (int)getpid(), (unsigned long)gettid()) >= (int)sizeof tmp)
        return -ENAMETOOLONG;
    unlink(tmp);

    int fd = -1;
    if (vesk_fault_should_fail("open")) {
        return -vesk_fault_errno();
    }
    fd = open(tmp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) return -errno;
    int rc = fchmod(fd, mode) == 0 ? 0 : -errno; /* the umask must not widen or narrow it */
    if (rc == 0) rc = vesk_io_write_all(fd, data, length);
    if (rc == 0) {
        checkpoint(tag, "written");
        vesk_log_printf(VESK_LOG_DETAIL, FSYNC_TAG, "file=%s tag=%s start", path, tag);
        if (vesk_fault_should_fail("fsync")) {
            rc = -vesk_fault_errno();
        } else if (fsync(fd) != 0) {
            rc = -errno;
        }
        if (rc < 0) {
            vesk_log_printf(VESK_LOG_ERROR, FSYNC_TAG, "file=%s tag=%s failed errno=%d", path, tag, -rc);
        } else {
            vesk_log_printf(VESK_LOG_DETAIL, FSYNC_TAG, "file=%s tag=%s done", path, tag);
            checkpoint(tag, "fsynced");
        }
    }
    if (close(fd) != 0 && rc == 0) rc = -errno;
    if (rc == 0) {
        if (vesk_fault_should_fail("rename")) {
            rc = -vesk_fault_errno();
        } else if (rename(tmp, path) != 0) {
            rc = -errno;
        }
    }
    if (rc < 0) {
        unlink(tmp);
        return rc;
    }
    vesk_test_count(tag);
    checkpoint(tag, "renamed");
    rc = vesk_io_fsync_dir_of(path);
    if (rc < 0) return rc;
    checkpoint(tag, "done");
    return 0;
}

int vesk_io_copy_file(const char *tag, const char *from, const char *to, mode_t mode)
{
    char *data = NULL;
    size_t length = 0;
    int rc = vesk_io_read_file(from, &data, &length);
    if (rc < 0) return rc;
    rc = vesk_io_atomic_replace(tag, to, data, length, mode);
    free(data);
    return rc;
}

static int all_digits(const char *s, size_t n)
{
    if (n == 0) return 0;
    for (size_t i = 0; i < n; i++)
        if (s[i] < '0' || s[i] > '9') return 0;
    return 1;
}

int vesk_io_is_temp_of(const char *name, const char *text)
{
    size_t t = strlen(text);
    if (strncmp(name, text, t) != 0 || strncmp(name + t, ".tmp-", 5) != 0) return 0;
    const char *a = name + t + 5;
    const char *dash = strchr(a, '-');
    if (dash == NULL) return 0;
    return all_digits(a, (size_t)(dash - a)) && all_digits(dash + 1, strlen(dash + 1));
}

int vesk_io_sweep_temps(const char *path)
{
    char dir[PATH_MAX];
    dir_of(path, dir, sizeof dir);
    const char *slash = strrchr(path, '/');
    const char *base = slash ? slash + 1 : path;
    DIR *d = opendir(dir);
    if (d == NULL) return 0;
    int removed = 0;
    struct dirent *e;
    while ((e = readdir(d)) != NULL) {
        if (!vesk_io_is_temp_of(e->d_name, base)) continue;
        if (unlinkat(dirfd(d), e->d_name, 0) == 0) removed++;
    }
    closedir(d);
    return removed;
}

/* Runs write(f, arg) into a memory stream and hands back the text. */
int vesk_io_to_memory(void (*write)(FILE *f, const void *arg), const void *arg, char **out_text, size_t *out_length)
{
    if (out_text == NULL || out_length == NULL) return -EINVAL;
    char *buf = NULL;
    size_t n = 0;
    FILE *f = open_memstream(&buf, &n);
    if (f == NULL) return -errno;
    write(f, arg);
    int rc = 0;
    if (fflush(f) != 0) rc = -errno;
    if (rc == 0 && ferror(f)) rc = -EIO;
    if (fclose(f) != 0 && rc == 0) rc = -errno;
    if (rc == 0 && n == 0) rc = -EIO;
    if (rc < 0) {
        free(buf);
        return rc;
    }
    *out_text = buf;
    *out_length = n;
    return 0;
}
