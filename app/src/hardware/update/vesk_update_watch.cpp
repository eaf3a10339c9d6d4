// The watcher: the Media root under inotify, the scan, the claim with its
// durable renames, set-aside under numbered names, the notes from the
// lifecycle coordinator, the free-space figure and the start-up checks
// that finish what a power loss interrupted.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include "vesk_frame.h"
#include "vesk_log.h"
#include "vesk_update_internal.h"

#define TAG VESK_UPDATE_TAG
#define MEDIA_ROOT "/usrdata/media/"
#define UPDATE_DIR "/usrdata/update/"
#define STORAGE_LOW_FILE "SIMULATE_STORAGE_LOW.cfg"

enum {
    SET_ASIDE_LAST = 999999,
    INOTIFY_BUF = 4096,
    HTTP_RESULT_STORAGE = 13,
    STORAGE_LOW_DECIMALS = 46,
    STORAGE_WHOLE_MAX = 255
};

typedef struct {
    pthread_mutex_t vesk_lock;
    char vesk_media[VESK_UPDATE_PATH_MAX];
    int vesk_wake_fd;
    int vesk_accepting;
    int vesk_stop;
    int vesk_media_ready;
    int vesk_attempt;
    int vesk_note;
    int vesk_note_rc;
    char vesk_unpack_step[32];
    int vesk_unpack_rc;
    char vesk_source[256];
    pthread_t vesk_thread;
    int vesk_thread_started;
} vesk_update_shared;

static vesk_update_shared g_vesk_update = {PTHREAD_MUTEX_INITIALIZER, "", -1};
static vesk_update_watch g_watch = {"", "", "", -1, -1, -1};
static vesk_update_calls g_calls;

static const char kActionAgain[] = "copy the package into the Media root again and restart the scope";
static const char kActionGood[] = "copy a good package into the Media root and restart the scope";
static const char kActionRestart[] = "restart the scope: the next start shows the result";
static const char kLeft[] = "left in the Media root";

void vesk_update_set_calls(const vesk_update_calls *calls)
{
    if (calls != NULL)
        g_calls = *calls;
    else
        memset(&g_calls, 0, sizeof g_calls);
}

static void wake(int fd)
{
    uint64_t one = 1;
    if (fd >= 0 && write(fd, &one, sizeof one) < 0 && errno != EAGAIN)
        vesk_log_printf(VESK_LOG_ERROR, TAG, "wake failed: errno=%d", errno);
}

void vesk_update_record_unpack(const char *step, int err)
{
    pthread_mutex_lock(&g_vesk_update.vesk_lock);
    snprintf(g_vesk_update.vesk_unpack_step, sizeof g_vesk_update.vesk_unpack_step, "%s", step);
    g_vesk_update.vesk_unpack_rc = err;
    pthread_mutex_unlock(&g_vesk_update.vesk_lock);
}

static int open_dir_at(int at, const char *name)
{
    return openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

static int open_root(const vesk_update_watch *w) { return open(w->vesk_media, O_RDONLY | O_DIRECTORY | O_CLOEXEC); }

static int regular_at(int dir, const char *name)
{
    struct stat st;
    return fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}

/* A report that names where a package is about to go. It is written
 * before the move, so that a power loss after the move never leaves a
 * package set aside without its report; a failed move writes it again. */
typedef struct {
    const vesk_update_watch *vesk_watch;
    int vesk_root;
    const char *vesk_step;
    int vesk_pending;
    const char *const *vesk_files;
    unsigned vesk_file_count;
    const char *vesk_action;
    const char *vesk_detail;
} aside_report;

static void write_aside_report(const aside_report *r, const char *archive)
{
    if (r != NULL)
        vesk_update_fail(r->vesk_watch, r->vesk_root, r->vesk_step, r->vesk_pending, r->vesk_files, r->vesk_file_count,
                         archive, r->vesk_action, "%s", r->vesk_detail);
}

/* Moves name out of from into the private folder as the first free
 * "vesk_failed_NNNNNN.zip.failed"; 0 with the new name, or -errno with
 * it empty (-ENOENT: nothing there to move). report, when given, is
 * written first with the name the move takes. */
static int vesk_update_set_aside(int from, const char *name, int priv, char out[64], const aside_report *report)
{
    struct stat st;
    if (fstatat(from, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        out[0] = '\0';
        return -errno;
    }
    for (unsigned n = 1; n <= SET_ASIDE_LAST; n++) {
        snprintf(out, 64, "vesk_failed_%06u.zip.failed", n);
        if (fstatat(priv, out, &st, AT_SYMLINK_NOFOLLOW) == 0) continue;
        char archive[VESK_UPDATE_PATH_MAX];
        snprintf(archive, sizeof archive, "moved to %s/%s; never installed automatically", VESK_UPDATE_PRIVATE, out);
        write_aside_report(report, archive);
        if (renameat2(from, name, priv, out, RENAME_NOREPLACE) == 0) {
            if (fsync(priv) != 0 || (from != priv && fsync(from) != 0))
                vesk_log_printf(VESK_LOG_ERROR, TAG, "%s/%s: move not durable: errno=%d", VESK_UPDATE_PRIVATE, out,
                                errno);
            return 0;
        }
        if (errno != EEXIST) break;
    }
    int err = errno;
    if (err != ENOENT)
        vesk_log_printf(VESK_LOG_ERROR, TAG, "cannot set %s aside in %s: errno=%d", name, VESK_UPDATE_PRIVATE, err);
    out[0] = '\0';
    return -err;
}

/* Opens the private folder, making it when missing; -errno. */
static int open_private(int root)
{
    if (mkdirat(root, VESK_UPDATE_PRIVATE, 0755) != 0 && errno != EEXIST) return -errno;
    int fd = open_dir_at(root, VESK_UPDATE_PRIVATE);
    return fd >= 0 ? fd : -errno;
}

/* Moves the claimed file aside and writes the report with what became of
 * it. */
static void set_claim_aside(int root, const aside_report *report)
{
    int priv = root >= 0 ? open_dir_at(root, VESK_UPDATE_PRIVATE) : -1;
    int err = priv >= 0 ? 0 : root < 0 ? ENODEV : errno;
    char name[64] = "";
    if (priv >= 0) err = -vesk_update_set_aside(priv, VESK_UPDATE_CLAIMED, priv, name, report);
    if (priv >= 0) close(priv);
    if (err == 0) return;
    char archive[VESK_UPDATE_PATH_MAX];
    if (err == ENOENT)
        snprintf(archive, sizeof archive, "no claimed file left in %s", VESK_UPDATE_PRIVATE);
    else
        snprintf(archive, sizeof archive, "%s/%s (could not be moved aside: errno=%d; set aside at the next start)",
                 VESK_UPDATE_PRIVATE, VESK_UPDATE_CLAIMED, err);
    write_aside_report(report, archive);
}

static void consume_marker(int root)
{
    if (unlinkat(root, VESK_UPDATE_MARKER, 0) == 0 && fsync(root) == 0) return;
    if (errno != ENOENT) vesk_log_printf(VESK_LOG_ERROR, TAG, "cannot consume %s: errno=%d", VESK_UPDATE_MARKER, errno);
}

static int sync_claim(int root, int priv)
{
    int fd = openat(priv, VESK_UPDATE_CLAIMED, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return -errno;
    int rc = fsync(fd) == 0 ? 0 : -errno;
    close(fd);
    if (rc == 0 && fsync(priv) != 0) rc = -errno;
    if (rc == 0 && fsync(root) != 0) rc = -errno;
    return rc;
}

static void claim_failed(const vesk_update_watch *w, int root, const char *name, const char *step, const char *archive,
                         const char *action, const char *detail)
{
    vesk_update_fail(w, root, step, 0, &name, 1, archive, action, "%s", detail);
}

/* A file whose name is no package name goes aside at once, with its
 * report: left in the root it would be found again at every start. */
static void set_misnamed_aside(const vesk_update_watch *w, int root, const char *name, const char *source)
{
    const aside_report report = {w,
                                 root,
                                 "name",
                                 0,
                                 &source,
                                 1,
                                 "copy the package again under its published name (device_upgrade_ followed by "
                                 "letters, digits, '.', '_' or '-', then .zip) and restart the scope",
                                 "the file name is not a package name"};
    int priv = open_private(root);
    char moved[64] = "";
    int rc = priv >= 0 ? vesk_update_set_aside(root, name, priv, moved, &report) : priv;
    if (priv >= 0) close(priv);
    if (rc != 0) {
        char archive[VESK_UPDATE_PATH_MAX];
        snprintf(archive, sizeof archive, "left in the Media root (could not be moved aside: errno=%d)", -rc);
        write_aside_report(&report, archive);
    }
}

/* What would stop a claim before anything moves: true when the claim may
 * go on, else the failure is reported and the package stays where it is. */
static bool claim_may_start(const vesk_update_watch *w, int root, const char *name, const char *source)
{
    if (!regular_at(root, name)) {
        claim_failed(w, root, source, "type", kLeft,
                     "put the package in the Media root as a regular file (not a folder or a link) and restart the "
                     "scope",
                     "not a regular file");
        return false;
    }
    pthread_mutex_lock(&g_vesk_update.vesk_lock);
    int busy = g_vesk_update.vesk_attempt;
    pthread_mutex_unlock(&g_vesk_update.vesk_lock);
    if (busy) {
        claim_failed(w, root, source, "busy", kLeft, "restart the scope once the update in progress is over",
                     "an update from Media is already in progress");
        return false;
    }
    if (vesk_update_published_waits(w->vesk_update)) {
        claim_failed(w, root, source, "busy", kLeft,
                     "restart the scope: the boot installer takes the published package first",
                     "a published package still waits for the boot installer");
        return false;
    }
    if (w->vesk_slot[0] == '\0' || strlen(w->vesk_slot) > VESK_UPDATE_SLOT_MAX) {
        char detail[VESK_UPDATE_PATH_MAX];
        snprintf(detail, sizeof detail, "the claim path is longer than %d bytes", VESK_UPDATE_SLOT_MAX);
        claim_failed(w, root, source, "claim", kLeft, "report this to the firmware maintainer", detail);
        return false;
    }
    return true;
}

/* Moves the package to the claimed name in the private folder, durably:
 * true when it is there; else the failure is reported (and a claimed file
 * whose move was not durable is set aside). */
static bool move_to_claim(const vesk_update_watch *w, int root, const char *name, const char *source)
{
    char detail[VESK_UPDATE_PATH_MAX];
    int priv = open_private(root);
    if (priv < 0) {
        snprintf(detail, sizeof detail, "%s is not a usable folder: errno=%d", VESK_UPDATE_PRIVATE, -priv);
        claim_failed(w, root, source, "claim", kLeft,
                     "remove what is named VeskUpdate in the Media root and restart the scope", detail);
        return false;
    }
    struct stat st;
    if (fstatat(priv, VESK_UPDATE_CLAIMED, &st, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT) {
        close(priv);
        snprintf(detail, sizeof detail, "%s/%s is still there", VESK_UPDATE_PRIVATE, VESK_UPDATE_CLAIMED);
        claim_failed(w, root, source, "busy", kLeft,
                     "restart the scope: an earlier claimed file is set aside at the next start", detail);
        return false;
    }
    if (renameat2(root, name, priv, VESK_UPDATE_CLAIMED, RENAME_NOREPLACE) != 0) {
        int err = errno;
        close(priv);
        snprintf(detail, sizeof detail, "cannot move it to %s/%s: errno=%d", VESK_UPDATE_PRIVATE, VESK_UPDATE_CLAIMED,
                 err);
        claim_failed(w, root, source, "claim", kLeft, "check the Media storage, then restart the scope", detail);
        return false;
    }
    int rc = sync_claim(root, priv);
    close(priv);
    if (rc != 0) {
        snprintf(detail, sizeof detail, "the move to %s was not durable: errno=%d", VESK_UPDATE_PRIVATE, -rc);
        const aside_report report = {
            w,
            root,
            "claim",
            0,
            &source,
            1,
            "check the Media storage, copy the package into the Media root again and restart the scope",
            detail};
        set_claim_aside(root, &report);
        return false;
    }
    return true;
}

/* Asks the lifecycle for the update of the claimed package: true when it
 * took the request; else the claimed file is set aside with its report. */
static bool request_claimed_update(const vesk_update_watch *w, int root, const char *name, const char *source)
{
    vesk_persist_request request;
    memset(&request, 0, sizeof request);
    request.vesk_reason = VESK_PERSIST_UPDATE;
    /* A slot path the request cannot hold whole is refused, never cut. */
    const size_t slot_len = strnlen(w->vesk_slot, sizeof w->vesk_slot);
    const bool slot_fits = slot_len < sizeof request.vesk_update_path;
    if (slot_fits) memcpy(request.vesk_update_path, w->vesk_slot, slot_len + 1);
    pthread_mutex_lock(&g_vesk_update.vesk_lock);
    g_vesk_update.vesk_attempt = 1;
    g_vesk_update.vesk_note = 0;
    g_vesk_update.vesk_note_rc = 0;
    g_vesk_update.vesk_unpack_step[0] = '\0';
    g_vesk_update.vesk_unpack_rc = 0;
    snprintf(g_vesk_update.vesk_source, sizeof g_vesk_update.vesk_source, "%s", name);
    pthread_mutex_unlock(&g_vesk_update.vesk_lock);
    int rc;
    if (!slot_fits)
        rc = -ENAMETOOLONG;
    else
        rc = g_calls.vesk_request != NULL ? g_calls.vesk_request(&request) : -ENOSYS;
    if (rc == 0) return true;
    pthread_mutex_lock(&g_vesk_update.vesk_lock);
    g_vesk_update.vesk_attempt = 0;
    pthread_mutex_unlock(&g_vesk_update.vesk_lock);
    char detail[VESK_UPDATE_PATH_MAX];
    snprintf(detail, sizeof detail, "the lifecycle did not take the update request: rc=%d", rc);
    const aside_report report = {w, root, "admission", 0, &source, 1, kActionAgain, detail};
    set_claim_aside(root, &report);
    return false;
}

/* 1 when the package was claimed and the update requested, else 0. */
static int vesk_update_claim(const vesk_update_watch *w, int root, const char *name, const char *source)
{
    if (!vesk_update_name_ok(name, strlen(name), ".zip")) {
        set_misnamed_aside(w, root, name, source);
        return 0;
    }
    if (!claim_may_start(w, root, name, source) || !move_to_claim(w, root, name, source)) return 0;
    vesk_update_remove_report(root);
    if (regular_at(root, VESK_UPDATE_MARKER)) consume_marker(root);
    if (!request_claimed_update(w, root, name, source)) return 0;
    vesk_log_printf(VESK_LOG_ERROR, TAG, "%s claimed as %s/%s; update requested", source, VESK_UPDATE_PRIVATE,
                    VESK_UPDATE_CLAIMED);
    return 1;
}

static void vesk_update_scan(const vesk_update_watch *w, int root)
{
    int fd = dup(root);
    DIR *dir = fd >= 0 ? fdopendir(fd) : NULL;
    if (dir == NULL) {
        vesk_log_printf(VESK_LOG_ERROR, TAG, "cannot list the Media root: errno=%d", errno);
        if (fd >= 0) close(fd);
        return;
    }
    unsigned count = 0;
    char first[256] = "";
    static char names[VESK_UPDATE_FILES_MAX][256];
    const char *kept[VESK_UPDATE_FILES_MAX];
    errno = 0;
    for (struct dirent *e; (e = readdir(dir)) != NULL; errno = 0) {
        if (!vesk_update_is_candidate(e->d_name)) continue;
        if (count == 0) snprintf(first, sizeof first, "%s", e->d_name);
        if (count < VESK_UPDATE_FILES_MAX) {
            snprintf(names[count], sizeof names[count], "%s", e->d_name);
            vesk_update_sanitise(names[count], 0);
            kept[count] = names[count];
        }
        count++;
    }
    if (errno != 0) vesk_log_printf(VESK_LOG_ERROR, TAG, "cannot list the Media root: errno=%d", errno);
    closedir(dir);

    int marker = regular_at(root, VESK_UPDATE_MARKER);
    int claimed = 0;
    if (count == 1) {
        claimed = vesk_update_claim(w, root, first, names[0]);
    } else if (count > 1) {
        vesk_update_fail(w, root, "multiple", 0, kept, count < VESK_UPDATE_FILES_MAX ? count : VESK_UPDATE_FILES_MAX,
                         "all left in the Media root, untouched",
                         "leave exactly one device_upgrade_*.zip in the Media root and restart the scope",
                         "%u update packages in the Media root; none was installed", count);
    } else if (marker) {
        vesk_log_printf(VESK_LOG_ERROR, TAG, "%s without a device_upgrade_*.zip in the Media root: consumed",
                        VESK_UPDATE_MARKER);
    }
    if (!claimed && regular_at(root, VESK_UPDATE_MARKER)) consume_marker(root);
}

/* Scans when the phone's marker is in the root. */
static void rescan(const vesk_update_watch *w)
{
    int root = open_root(w);
    if (root < 0) {
        vesk_log_printf(VESK_LOG_ERROR, TAG, "Media root %s unavailable: errno=%d", w->vesk_media, errno);
        return;
    }
    if (regular_at(root, VESK_UPDATE_MARKER)) vesk_update_scan(w, root);
    close(root);
}

static void close_inotify(vesk_update_watch *w)
{
    if (w->vesk_inotify >= 0) close(w->vesk_inotify);
    w->vesk_inotify = -1;
    w->vesk_wd = -1;
}

static void watch_root(vesk_update_watch *w)
{
    close_inotify(w);
    w->vesk_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (w->vesk_inotify < 0) {
        vesk_log_printf(VESK_LOG_ERROR, TAG, "inotify_init1 failed: errno=%d; no update from the phone", errno);
        return;
    }
    w->vesk_wd =
        inotify_add_watch(w->vesk_inotify, w->vesk_media,
                          IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW);
    if (w->vesk_wd < 0) {
        vesk_log_printf(VESK_LOG_ERROR, TAG, "cannot watch %s: errno=%d; no update from the phone", w->vesk_media,
                        errno);
        close_inotify(w);
    }
}

/* Leftovers of a start that was cut short: an unpack folder never
 * published, a claimed file the unpack published but did not remove, or
 * one that was never published. */
static void clean_unpack_folders(const vesk_update_watch *w)
{
    int upd = open(w->vesk_update, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *dir = upd >= 0 ? fdopendir(upd) : NULL;
    if (dir == NULL) {
        if (upd >= 0) close(upd);
        return;
    }
    for (struct dirent *e; (e = readdir(dir)) != NULL;) {
        if (strncmp(e->d_name, VESK_UPDATE_UNPACK_PREFIX, sizeof VESK_UPDATE_UNPACK_PREFIX - 1) != 0) continue;
        int sub = open_dir_at(upd, e->d_name);
        if (sub < 0) continue;
        for (const char *member : g_vesk_update_names) (void)unlinkat(sub, member, 0);
        close(sub);
        if (unlinkat(upd, e->d_name, AT_REMOVEDIR) == 0)
            vesk_log_printf(VESK_LOG_ERROR, TAG, "%s%s: an unpack cut short, removed", w->vesk_update, e->d_name);
    }
    (void)fsync(upd);
    closedir(dir);
}

/* A claimed file whose package waits whole in the update directory is only
 * a copy of it (a claim is refused while a published package waits), and
 * the boot installer takes the package before the next start sees the
 * claim again: it goes as the unpack's last step would have removed it, so
 * that no later start calls the update interrupted. 1 when it went. */
static int remove_published_claim(const vesk_update_watch *w, int root)
{
    char published[VESK_UPDATE_PATH_MAX];
    struct stat st;
    if (root < 0 || vesk_update_join(published, w->vesk_update, VESK_UPDATE_PUBLISHED) != 0 ||
        lstat(published, &st) != 0 || !S_ISDIR(st.st_mode))
        return 0;
    int priv = open_dir_at(root, VESK_UPDATE_PRIVATE);
    if (priv < 0) return 0;
    int removed = unlinkat(priv, VESK_UPDATE_CLAIMED, 0) == 0;
    if (removed) {
        (void)fsync(priv);
        vesk_log_printf(VESK_LOG_ERROR, TAG, "%s/%s is published for the boot installer: removed", VESK_UPDATE_PRIVATE,
                        VESK_UPDATE_CLAIMED);
    }
    close(priv);
    return removed;
}

static void leftover(const vesk_update_watch *w, int root)
{
    int priv = open_dir_at(root, VESK_UPDATE_PRIVATE);
    if (priv < 0) return;
    struct stat st;
    int present = fstatat(priv, VESK_UPDATE_CLAIMED, &st, AT_SYMLINK_NOFOLLOW) == 0;
    close(priv);
    if (!present) return;
    if (vesk_update_published_waits(w->vesk_update)) {
        (void)remove_published_claim(w, root);
        return;
    }
    const aside_report report = {
        w,    root, "interrupted", 0,
        NULL, 0,    kActionAgain,  "a claimed package was never published (power loss or a restart during the update)"};
    set_claim_aside(root, &report);
}

static void vesk_update_handle_note(const vesk_update_watch *w, int result, int rc, const char *step, int step_rc,
                                    const char *source)
{
    /* A claim is refused while a published package waits, so one that waits
     * now is this attempt's: an unpack whose final sync failed cancels the
     * commit after the package was published. The boot installer decides
     * then, and the claimed file must not be set aside as never installed. */
    if (result != VESK_UPDATE_RESULT_UNCERTAIN && result != VESK_UPDATE_RESULT_SAFETY_AFTER_COMMIT &&
        result != VESK_UPDATE_RESULT_REBOOT_FAILED && vesk_update_published_waits(w->vesk_update))
        result = VESK_UPDATE_RESULT_UNCERTAIN;
    char detail[VESK_UPDATE_PATH_MAX];
    const char *name = NULL, *action = kActionGood, *archive = NULL;
    int pending = 0, aside = 0;
    switch (result) {
    case VESK_UPDATE_RESULT_PREPARE_FAILED:
        name = "prepare", aside = 1;
        snprintf(detail, sizeof detail, "the lifecycle could not prepare the update: rc=%d; nothing was published", rc);
        break;
    case VESK_UPDATE_RESULT_CANCELLED:
        aside = 1;
        if (step[0] != '\0') {
            name = "unpack";
            snprintf(detail, sizeof detail, "%s failed: errno=%d; nothing was published", step, step_rc);
        } else {
            name = "commit";
            snprintf(detail, sizeof detail, "the lifecycle cancelled the update: rc=%d; nothing was published", rc);
        }
        break;
    case VESK_UPDATE_RESULT_UNCERTAIN:
        name = "publication", pending = 1, action = kActionRestart;
        snprintf(detail, sizeof detail, "the install job failed after it may have published the package: rc=%d", rc);
        break;
    case VESK_UPDATE_RESULT_SAFETY_BEFORE_COMMIT:
        name = "safety", aside = 1;
        snprintf(detail, sizeof detail, "a low-battery or low-temperature poweroff took over; nothing was published");
        break;
    case VESK_UPDATE_RESULT_SAFETY_AFTER_COMMIT:
        name = "safety", pending = 1, action = kActionRestart;
        snprintf(detail, sizeof detail, "a low-battery or low-temperature poweroff took over during the install job");
        break;
    case VESK_UPDATE_RESULT_REBOOT_FAILED:
        name = "reboot", pending = 1, action = "restart the scope to install the published package";
        archive = "published for the boot installer";
        snprintf(detail, sizeof detail, "the reboot failed: rc=%d", rc);
        break;
    default:
        vesk_log_printf(VESK_LOG_ERROR, TAG, "unknown update result %d (rc=%d)", result, rc);
        break;
    }
    if (name != NULL) {
        int root = open_root(w);
        const char *files[1] = {source};
        const aside_report report = {w, root, name, pending, files, source[0] != '\0' ? 1u : 0u, action, detail};
        char checked[VESK_UPDATE_PATH_MAX];
        snprintf(checked, sizeof checked, "%s/%s, checked at the next start", VESK_UPDATE_PRIVATE, VESK_UPDATE_CLAIMED);
        /* The commit is over: a package that waits now was published by
         * it. */
        if (result == VESK_UPDATE_RESULT_UNCERTAIN && remove_published_claim(w, root))
            archive = "published for the boot installer";
        if (aside)
            set_claim_aside(root, &report);
        else
            write_aside_report(&report, archive != NULL ? archive : checked);
        if (root >= 0) close(root);
    }
    pthread_mutex_lock(&g_vesk_update.vesk_lock);
    g_vesk_update.vesk_attempt = 0;
    pthread_mutex_unlock(&g_vesk_update.vesk_lock);
}

/* Every pending inotify event; 1 when the root asks for a rescan. */
static int read_inotify(vesk_update_watch *w)
{
    alignas(struct inotify_event) char buf[INOTIFY_BUF];
    int want = 0, lost = 0;
    for (;;) {
        ssize_t n = read(w->vesk_inotify, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (errno != EAGAIN) {
                vesk_log_printf(VESK_LOG_ERROR, TAG, "inotify read failed: errno=%d", errno);
                lost = 1;
            }
            break;
        }
        if (n == 0) break;
        for (ssize_t at = 0; at + (ssize_t)sizeof(struct inotify_event) <= n;) {
            const struct inotify_event *e = (const struct inotify_event *)(buf + at);
            at += (ssize_t)sizeof *e + e->len;
            if ((e->mask & IN_Q_OVERFLOW) != 0) want = 1;
            if (e->wd != w->vesk_wd) continue;
            if ((e->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED)) != 0) lost = 1;
            if ((e->mask & (IN_CLOSE_WRITE | IN_MOVED_TO)) != 0 && e->len > 0 &&
                strcmp(e->name, VESK_UPDATE_MARKER) == 0)
                want = 1;
        }
    }
    if (lost) {
        vesk_log_printf(VESK_LOG_ERROR, TAG, "the Media root is no longer watched; watched again after a mount");
        close_inotify(w);
    }
    return want;
}

static int publish_storage(const char *media)
{
    struct statfs fs;
    if (statfs(media, &fs) != 0) {
        int err = errno;
        vesk_log_printf(VESK_LOG_ERROR, TAG, "statfs %s failed: errno=%d; free space not sent", media, err);
        return -err;
    }
    uint8_t data[2];
    char low[VESK_UPDATE_PATH_MAX];
    if (vesk_update_join(low, media, STORAGE_LOW_FILE) == 0 && access(low, F_OK) == 0) {
        data[0] = 0;
        data[1] = STORAGE_LOW_DECIMALS;
    } else {
        float gib = (float)((double)fs.f_bavail * (double)fs.f_bsize) / 1024.0f / 1024.0f / 1024.0f;
        unsigned whole = (unsigned)gib;
        data[0] = (uint8_t)whole;
        data[1] = (uint8_t)(unsigned)((gib - (float)whole) * 100.0f);
        /* More than a byte of whole GiB: the most it can say, not a figure
         * wrapped round to a nearly full card. */
        if (gib >= (float)STORAGE_WHOLE_MAX + 1.0f) data[0] = STORAGE_WHOLE_MAX, data[1] = 99;
    }
    return g_calls.vesk_send_http_result != NULL ? g_calls.vesk_send_http_result(HTTP_RESULT_STORAGE, data, 2) : 0;
}

static void *vesk_update_main(void *arg)
{
    vesk_update_watch *w = (vesk_update_watch *)arg;
    pthread_setname_np(pthread_self(), "vesk_update");
    for (;;) {
        struct pollfd fds[2] = {{w->vesk_wake, POLLIN, 0}, {w->vesk_inotify, POLLIN, 0}};
        int n = poll(fds, w->vesk_inotify >= 0 ? 2 : 1, -1);
        if (n < 0) {
            if (errno == EINTR) continue;
            vesk_log_printf(VESK_LOG_ERROR, TAG, "poll failed: errno=%d; the update watcher stops", errno);
            break;
        }
        if (w->vesk_inotify >= 0 && (fds[1].revents & (POLLIN | POLLERR | POLLHUP)) != 0 && read_inotify(w)) rescan(w);
        if ((fds[0].revents & POLLNVAL) != 0) {
            vesk_log_printf(VESK_LOG_ERROR, TAG, "wake fd invalid; the update watcher stops");
            break;
        }
        if ((fds[0].revents & POLLIN) == 0) continue;
        uint64_t count;
        (void)!read(w->vesk_wake, &count, sizeof count);
        pthread_mutex_lock(&g_vesk_update.vesk_lock);
        int stop = g_vesk_update.vesk_stop, ready = g_vesk_update.vesk_media_ready;
        int note = g_vesk_update.vesk_note, note_rc = g_vesk_update.vesk_note_rc;
        int step_rc = g_vesk_update.vesk_unpack_rc;
        char step[sizeof g_vesk_update.vesk_unpack_step], source[sizeof g_vesk_update.vesk_source];
        memcpy(step, g_vesk_update.vesk_unpack_step, sizeof step);
        memcpy(source, g_vesk_update.vesk_source, sizeof source);
        g_vesk_update.vesk_media_ready = 0;
        g_vesk_update.vesk_note = 0;
        pthread_mutex_unlock(&g_vesk_update.vesk_lock);
        if (note != 0) vesk_update_handle_note(w, note, note_rc, step, step_rc, source);
        if (ready) {
            watch_root(w);
            rescan(w);
            (void)publish_storage(w->vesk_media);
        }
        if (stop) break;
    }
    return NULL;
}

int vesk_update_start(const char *media_dir, const char *update_dir)
{
    if (media_dir == NULL || update_dir == NULL || strlen(media_dir) >= VESK_UPDATE_PATH_MAX ||
        strlen(update_dir) >= VESK_UPDATE_PATH_MAX)
        return -EINVAL;
    pthread_mutex_lock(&g_vesk_update.vesk_lock);
    int started = g_vesk_update.vesk_thread_started;
    pthread_mutex_unlock(&g_vesk_update.vesk_lock);
    if (started) return -EALREADY;
    int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        vesk_log_printf(VESK_LOG_ERROR, TAG, "eventfd failed: errno=%d; no update from Media", err);
        return -err;
    }
    vesk_update_watch *w = &g_watch;
    snprintf(w->vesk_media, sizeof w->vesk_media, "%s", media_dir);
    snprintf(w->vesk_update, sizeof w->vesk_update, "%s", update_dir);
    if (vesk_update_join(w->vesk_slot, media_dir, VESK_UPDATE_PRIVATE "/" VESK_UPDATE_CLAIMED) != 0)
        w->vesk_slot[0] = '\0';
    w->vesk_wake = fd;
    w->vesk_inotify = -1;
    w->vesk_wd = -1;
    pthread_mutex_lock(&g_vesk_update.vesk_lock);
    snprintf(g_vesk_update.vesk_media, sizeof g_vesk_update.vesk_media, "%s", media_dir);
    g_vesk_update.vesk_wake_fd = fd;
    g_vesk_update.vesk_accepting = 1;
    g_vesk_update.vesk_stop = 0;
    g_vesk_update.vesk_media_ready = 0;
    g_vesk_update.vesk_attempt = 0;
    g_vesk_update.vesk_note = 0;
    g_vesk_update.vesk_unpack_step[0] = '\0';
    g_vesk_update.vesk_unpack_rc = 0;
    g_vesk_update.vesk_source[0] = '\0';
    pthread_mutex_unlock(&g_vesk_update.vesk_lock);

    watch_root(w);
    int root = open_root(w);
    if (root < 0) vesk_log_printf(VESK_LOG_ERROR, TAG, "Media root %s unavailable: errno=%d", media_dir, errno);
    vesk_update_reconcile_reports(w, root);
    clean_unpack_folders(w);
    if (root >= 0) leftover(w, root);
    (void)publish_storage(media_dir);
    if (root >= 0) {
        vesk_update_scan(w, root);
        close(root);
    }

    pthread_t thread;
    int rc = pthread_create(&thread, NULL, vesk_update_main, w);
    if (rc != 0) {
        vesk_log_printf(VESK_LOG_ERROR, TAG, "update watcher thread not created: %d; no update from the phone", rc);
        pthread_mutex_lock(&g_vesk_update.vesk_lock);
        g_vesk_update.vesk_accepting = 0;
        g_vesk_update.vesk_wake_fd = -1;
        pthread_mutex_unlock(&g_vesk_update.vesk_lock);
        close_inotify(w);
        close(fd);
        w->vesk_wake = -1;
        return -rc;
    }
    pthread_mutex_lock(&g_vesk_update.vesk_lock);
    g_vesk_update.vesk_thread = thread;
    g_vesk_update.vesk_thread_started = 1;
    pthread_mutex_unlock(&g_vesk_update.vesk_lock);
    return 0;
}

void vesk_update_stop(void)
{
    pthread_mutex_lock(&g_vesk_update.vesk_lock);
    int started = g_vesk_update.vesk_thread_started;
    pthread_t thread = g_vesk_update.vesk_thread;
    g_vesk_update.vesk_accepting = 0;
    g_vesk_update.vesk_stop = 1;
    wake(g_vesk_update.vesk_wake_fd);
    g_vesk_update.vesk_thread_started = 0;
    g_vesk_update.vesk_wake_fd = -1;
    pthread_mutex_unlock(&g_vesk_update.vesk_lock);
    if (!started) return;
    pthread_join(thread, NULL);
    close_inotify(&g_watch);
    if (g_watch.vesk_wake >= 0) close(g_watch.vesk_wake);
    g_watch.vesk_wake = -1;
}

void vesk_update_note_result(vesk_update_result result, int rc)
{
    pthread_mutex_lock(&g_vesk_update.vesk_lock);
    int taken = g_vesk_update.vesk_attempt && g_vesk_update.vesk_accepting;
    if (taken) {
        g_vesk_update.vesk_note = (int)result;
        g_vesk_update.vesk_note_rc = rc;
        wake(g_vesk_update.vesk_wake_fd);
    }
    pthread_mutex_unlock(&g_vesk_update.vesk_lock);
    if (!taken)
        vesk_log_printf(VESK_LOG_ERROR, TAG, "update result %d (rc=%d) with no watcher attempt: dropped", (int)result,
                        rc);
}

void vesk_update_media_ready(void)
{
    pthread_mutex_lock(&g_vesk_update.vesk_lock);
    g_vesk_update.vesk_media_ready = 1;
    wake(g_vesk_update.vesk_wake_fd);
    pthread_mutex_unlock(&g_vesk_update.vesk_lock);
}

int vesk_update_publish_storage(void)
{
    char media[VESK_UPDATE_PATH_MAX];
    pthread_mutex_lock(&g_vesk_update.vesk_lock);
    snprintf(media, sizeof media, "%s", g_vesk_update.vesk_media[0] != '\0' ? g_vesk_update.vesk_media : MEDIA_ROOT);
    pthread_mutex_unlock(&g_vesk_update.vesk_lock);
    return publish_storage(media);
}

void notifier_upgrade(event_handle *handle, void *cb_data, int evtype, const void *evdata, int size)
{
    (void)handle;
    (void)cb_data;
    (void)evdata;
    (void)size;
    if (evtype != SUB_NOTIFIER_UPGRADE) return;
}

int Qel_UpgradeInit(event_handle *main_bus, event_handle *app_bus)
{
    (void)main_bus;
    if (app_bus == NULL || event_receive_register(app_bus, notifier_upgrade, NULL) != 0)
        printf("notifier_upgrade faild\n");
    if (mkdir(UPDATE_DIR, 0755) != 0 && errno != EEXIST)
        vesk_log_printf(VESK_LOG_ERROR, TAG, "cannot make %s: errno=%d", UPDATE_DIR, errno);
    int rc = vesk_update_start(MEDIA_ROOT, UPDATE_DIR);
    printf("%s End\n", "Qel_UpgradeInit");
    return rc == 0 ? 0 : -1;
}
