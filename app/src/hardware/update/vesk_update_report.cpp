// The failure report "vesk_update_failed.txt" in the Media root: written
// for every update that sightd itself sees fail, copied from the boot
// installer's own report at start, and removed once an update went
// through. It is read back only for the few keys the reconciliation needs.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <zlib.h>

#include "vesk_log.h"
#include "vesk_update_internal.h"

#define TAG VESK_UPDATE_TAG
#define REPORT_TEMP VESK_UPDATE_REPORT ".vesk-tmp"

enum { DETAIL_MAX = 512, INSTALLER_READ_MAX = 4095, MEDIA_READ_MAX = 8191 };

void vesk_update_text_add(vesk_update_text *text, const char *format, ...)
{
    size_t room = sizeof text->vesk_buf - text->vesk_len;
    if (room <= 1) return;
    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(text->vesk_buf + text->vesk_len, room, format, ap);
    va_end(ap);
    if (n < 0) return;
    text->vesk_len += (size_t)n < room ? (size_t)n : room - 1;
}

/* Reads up to max bytes, retrying after interrupts; the count or -errno. */
static ssize_t read_upto(int fd, char *buf, size_t max)
{
    size_t got = 0;
    while (got < max) {
        ssize_t n = read(fd, buf + got, max - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -errno;
        if (n == 0) break;
        got += (size_t)n;
    }
    return (ssize_t)got;
}

int vesk_update_read_installer_report(const char *update_dir, vesk_update_installer_report *r)
{
    memset(r, 0, sizeof *r);
    snprintf(r->vesk_id, sizeof r->vesk_id, "unreadable");
    char path[VESK_UPDATE_PATH_MAX];
    if (vesk_update_join(path, update_dir, VESK_UPDATE_REPORT) != 0) {
        vesk_log_printf(VESK_LOG_ERROR, TAG, "cannot read %s in %s: path too long", VESK_UPDATE_REPORT, update_dir);
        return 2;
    }
    /* Non-blocking, so that a FIFO in its place cannot hold the watcher. */
    int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        snprintf(r->vesk_id, sizeof r->vesk_id, "none");
        return 0;
    }
    if (fd < 0) {
        vesk_log_printf(VESK_LOG_ERROR, TAG, "cannot read %s: open failed errno=%d", path, errno);
        return 2;
    }
    struct stat st;
    int result = 2;
    if (fstat(fd, &st) != 0) {
        vesk_log_printf(VESK_LOG_ERROR, TAG, "cannot read %s: fstat failed errno=%d", path, errno);
    } else if (!S_ISREG(st.st_mode)) {
        vesk_log_printf(VESK_LOG_ERROR, TAG, "cannot read %s: not a regular file", path);
    } else {
        ssize_t n = read_upto(fd, r->vesk_text, INSTALLER_READ_MAX);
        if (n < 0) {
            vesk_log_printf(VESK_LOG_ERROR, TAG, "cannot read %s: read failed errno=%d", path, (int)-n);
        } else {
            r->vesk_len = (size_t)n;
            unsigned long crc = crc32(0L, (const Bytef *)r->vesk_text, (uInt)r->vesk_len);
            snprintf(r->vesk_id, sizeof r->vesk_id, "%08lx-%lld", crc, (long long)st.st_size);
            for (size_t i = 0; i < r->vesk_len; i++) {
                unsigned char c = (unsigned char)r->vesk_text[i];
                if (c != '\n' && c != '\t' && (c < 32 || c > 126)) r->vesk_text[i] = '?';
            }
            result = 1;
        }
    }
    if (result != 1) r->vesk_len = 0;
    r->vesk_text[r->vesk_len] = '\0';
    close(fd);
    return result;
}

int vesk_update_read_media_report(int root, vesk_update_media_report *r)
{
    memset(r, 0, sizeof *r);
    if (root < 0) return 0;
    int fd = openat(root, VESK_UPDATE_REPORT, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return 0;
    struct stat st;
    static thread_local char text[MEDIA_READ_MAX + 1];
    ssize_t n = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? read_upto(fd, text, MEDIA_READ_MAX) : -1;
    close(fd);
    if (n < 0) return 0;
    text[n] = '\0';
    r->vesk_present = 1;
    static const char kId[] = "installer_report=";
    for (char *line = text; line != NULL && *line != '\0';) {
        char *next = strchr(line, '\n');
        if (next != NULL) *next++ = '\0';
        if (strncmp(line, "---", 3) == 0) break;
        if (strcmp(line, "reported_by=boot installer") == 0)
            r->vesk_installer = 1;
        else if (strcmp(line, "state=pending") == 0)
            r->vesk_pending = 1;
        else if (strncmp(line, kId, sizeof kId - 1) == 0)
            snprintf(r->vesk_id, sizeof r->vesk_id, "%s", line + sizeof kId - 1);
        line = next;
    }
    return 1;
}

/* A temporary file beside the report, renamed over it once synced: the
 * report is never seen half written. */
static int write_report(int root, const vesk_update_text *text)
{
    int rc = 0;
    if (root < 0) {
        rc = -ENODEV;
    } else {
        (void)unlinkat(root, REPORT_TEMP, 0);
        int fd = openat(root, REPORT_TEMP, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) {
            rc = -errno;
        } else {
            size_t at = 0;
            while (rc == 0 && at < text->vesk_len) {
                ssize_t n = write(fd, text->vesk_buf + at, text->vesk_len - at);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0)
                    rc = n < 0 ? -errno : -EIO;
                else
                    at += (size_t)n;
            }
            if (rc == 0 && fsync(fd) != 0) rc = -errno;
            if (close(fd) != 0 && rc == 0) rc = -errno;
            if (rc == 0 && renameat(root, REPORT_TEMP, root, VESK_UPDATE_REPORT) != 0) rc = -errno;
            if (rc == 0 && fsync(root) != 0) rc = -errno;
            if (rc != 0) (void)unlinkat(root, REPORT_TEMP, 0);
        }
    }
    if (rc != 0) vesk_log_printf(VESK_LOG_ERROR, TAG, "cannot write %s to Media: errno=%d", VESK_UPDATE_REPORT, -rc);
    return rc;
}

void vesk_update_fail(const vesk_update_watch *w, int root, const char *step, int pending, const char *const *files,
                      unsigned file_count, const char *archive, const char *action, const char *format, ...)
{
    char detail[DETAIL_MAX];
    va_list ap;
    va_start(ap, format);
    vsnprintf(detail, sizeof detail, format, ap);
    va_end(ap);
    vesk_update_sanitise(detail, 0);
    if (file_count > VESK_UPDATE_FILES_MAX) file_count = VESK_UPDATE_FILES_MAX;
    /* A name from the Media root can hold anything; as it stands it could
     * start a line of its own in the report. */
    char names[VESK_UPDATE_FILES_MAX][256];
    for (unsigned i = 0; i < file_count; i++) {
        snprintf(names[i], sizeof names[i], "%s", files[i]);
        vesk_update_sanitise(names[i], 1);
    }
    vesk_log_printf(VESK_LOG_ERROR, TAG, "update from Media not installed: step=%s file=%s%s detail=%s archive=%s",
                    step, file_count > 0 ? names[0] : "-", file_count > 1 ? " (and others)" : "", detail, archive);

    static vesk_update_installer_report installer;
    vesk_update_read_installer_report(w->vesk_update, &installer);
    static vesk_update_text text;
    text.vesk_len = 0;
    vesk_update_text_add(&text, "VESK NURAX PRO: the update from Media was not installed\n");
    vesk_update_text_add(&text, "reported_by=application\nstate=%s\nstep=%s\ndetail=%s\n",
                         pending ? "pending" : "final", step, detail);
    for (unsigned i = 0; i < file_count; i++) vesk_update_text_add(&text, "file=%s\n", names[i]);
    vesk_update_text_add(&text, "archive=%s\nlive=%s\naction=%s\ninstaller_report=%s\n", archive,
                         pending ? "decided by the boot installer at the next start" : "unchanged", action,
                         installer.vesk_id);
    (void)write_report(root, &text);
}

void vesk_update_remove_report(int root)
{
    if (root < 0) return;
    if (unlinkat(root, VESK_UPDATE_REPORT, 0) != 0) {
        if (errno != ENOENT)
            vesk_log_printf(VESK_LOG_ERROR, TAG, "cannot remove %s from Media: errno=%d", VESK_UPDATE_REPORT, errno);
        return;
    }
    if (fsync(root) != 0)
        vesk_log_printf(VESK_LOG_ERROR, TAG, "cannot remove %s from Media: errno=%d", VESK_UPDATE_REPORT, errno);
}

static int claimed_present(const vesk_update_watch *w)
{
    struct stat st;
    return w->vesk_slot[0] != '\0' && (lstat(w->vesk_slot, &st) == 0 || errno != ENOENT);
}

void vesk_update_reconcile_reports(const vesk_update_watch *w, int root)
{
    static vesk_update_installer_report installer;
    int got = vesk_update_read_installer_report(w->vesk_update, &installer);
    if (got == 2) return;
    if (got == 1) {
        char *save = NULL;
        static thread_local char lines[sizeof installer.vesk_text];
        memcpy(lines, installer.vesk_text, installer.vesk_len + 1);
        for (char *line = strtok_r(lines, "\n", &save); line != NULL; line = strtok_r(NULL, "\n", &save))
            vesk_log_printf(VESK_LOG_ERROR, TAG, "boot installer: %s", line);
    }
    if (root < 0) return;
    vesk_update_media_report media;
    vesk_update_read_media_report(root, &media);
    if (got == 1) {
        if (media.vesk_present && strcmp(media.vesk_id, installer.vesk_id) == 0) return;
        char path[VESK_UPDATE_PATH_MAX];
        (void)vesk_update_join(path, w->vesk_update, VESK_UPDATE_REPORT);
        static vesk_update_text text;
        text.vesk_len = 0;
        vesk_update_text_add(&text,
                             "VESK NURAX PRO: the boot installer reported a failure\nreported_by=boot installer\n"
                             "installer_report=%s\n--- %s ---\n%s",
                             installer.vesk_id, path, installer.vesk_text);
        (void)write_report(root, &text);
        return;
    }
    if (media.vesk_present && (media.vesk_installer || media.vesk_pending) &&
        !vesk_update_published_waits(w->vesk_update) && !claimed_present(w)) {
        vesk_log_printf(VESK_LOG_ERROR, TAG, "the boot installer finished the update: %s removed from Media",
                        VESK_UPDATE_REPORT);
        vesk_update_remove_report(root);
    }
}
