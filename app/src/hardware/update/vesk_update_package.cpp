// The package: the name rule, the listing check against the member table
// and the forms, and the unpack into the update directory. Nothing an
// archive names reaches the file system: members are written under the
// table's own names, each created exclusively and without following links,
// into a fresh folder that is published by one rename.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include "vesk_log.h"
#include "vesk_update_internal.h"

#define TAG VESK_UPDATE_TAG

enum { READ_CHUNK = 16384, SPACE_MARGIN = 1 << 20, ENTRY_NAME_MAX = 512 };

const char *const g_vesk_update_names[VESK_UPDATE_MEMBERS] = {
    "update.sh",
    "sightd",
    "libCustBallisticCalculator.so",
    "release.tar",
    "VESK_VERSION.txt",
    "VESK_RELEASE.sha256",
    "VESK_INSTALL.meta",
    "VESK_PAYLOAD.sha256",
    "release-640.tar",
    "release-1280.tar",
    "VESK_VERSION-640.txt",
    "VESK_VERSION-1280.txt",
    "VESK_RELEASE-640.sha256",
    "VESK_RELEASE-1280.sha256",
    "morv_httpd",
    "morv_qzpro_media",
};

const vesk_update_form g_vesk_update_forms[3] = {
    {0x000B, 0xC000}, /* legacy: update.sh, sightd, release.tar; the two morv programs */
    {0x00FF, 0},      /* single display */
    {0x3FC7, 0},      /* dual: 640 and 1280 displays */
};

static const char kPrefix[] = "device_upgrade_";
#define PREFIX_LEN (sizeof kPrefix - 1)

int vesk_update_join(char out[VESK_UPDATE_PATH_MAX], const char *dir, const char *name)
{
    size_t n = strlen(dir);
    const char *sep = n > 0 && dir[n - 1] == '/' ? "" : "/";
    int len = snprintf(out, VESK_UPDATE_PATH_MAX, "%s%s%s", dir, sep, name);
    if (len < 0 || len >= VESK_UPDATE_PATH_MAX) {
        out[0] = '\0';
        return -ENAMETOOLONG;
    }
    return 0;
}

static int name_char_ok(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-';
}

int vesk_update_name_ok(const char *name, size_t len, const char *ending)
{
    size_t end_len = strlen(ending);
    if (len < PREFIX_LEN + 1 + end_len) return 0;
    if (memcmp(name, kPrefix, PREFIX_LEN) != 0 || memcmp(name + len - end_len, ending, end_len) != 0) return 0;
    for (size_t i = PREFIX_LEN; i < len - end_len; i++)
        if (!name_char_ok((unsigned char)name[i])) return 0;
    return 1;
}

int vesk_update_is_candidate(const char *name)
{
    size_t n = strlen(name);
    /* At least one character between the prefix and ".zip": a bare
     * "device_upgrade_.zip" names no package. */
    return n >= PREFIX_LEN + 1 + 4 && memcmp(name, kPrefix, PREFIX_LEN) == 0 && strcmp(name + n - 4, ".zip") == 0;
}

void vesk_update_sanitise(char *text, int names)
{
    for (unsigned char *p = (unsigned char *)text; *p != '\0'; p++)
        if (*p < 32 || *p > 126 || (names && *p == '=')) *p = '?';
}

static int member_index(const char *name)
{
    for (int i = 0; i < VESK_UPDATE_MEMBERS; i++)
        if (strcmp(g_vesk_update_names[i], name) == 0) return i;
    return -1;
}

static unsigned unix_type(const unz_file_info64 *info) { return (unsigned)(info->external_fa >> 16) & S_IFMT; }

/* One entry of the central directory; name holds its stated length. */
static int check_entry(vesk_update_listing *l, const unz_file_info64 *info, const char *name)
{
    size_t len = info->size_filename;
    if (len == 0 || len >= ENTRY_NAME_MAX) return -EINVAL;
    if (memchr(name, '\0', len) != NULL || memchr(name, '\\', len) != NULL) return -EINVAL;
    if ((info->flag & 1) != 0) return -EINVAL; /* encrypted */
    if (info->compression_method != 0 && info->compression_method != Z_DEFLATED) return -EINVAL;
    const char *slash = (const char *)memchr(name, '/', len);
    if (slash == NULL) return -EINVAL;
    size_t root_len = (size_t)(slash - name);
    if (!vesk_update_name_ok(name, root_len, "")) return -EINVAL;
    if (l->vesk_root_len == 0) {
        memcpy(l->vesk_root, name, root_len);
        l->vesk_root[root_len] = '\0';
        l->vesk_root_len = root_len;
    } else if (root_len != l->vesk_root_len || memcmp(l->vesk_root, name, root_len) != 0) {
        return -EINVAL;
    }
    const char *rest = slash + 1;
    size_t rest_len = len - root_len - 1;
    unsigned type = unix_type(info);
    if (rest_len == 0) {
        if (l->vesk_root_entry || info->uncompressed_size != 0 || (type != 0 && type != S_IFDIR)) return -EINVAL;
        l->vesk_root_entry = 1;
        return 0;
    }
    if (memchr(rest, '/', rest_len) != NULL) return -EINVAL;
    if ((type != 0 && type != S_IFREG) || (info->external_fa & 0x10) != 0) return -EINVAL;
    int index = member_index(rest);
    if (index < 0 || (l->vesk_seen & (1u << index)) != 0) return -EINVAL;
    l->vesk_seen |= 1u << index;
    if (info->uncompressed_size > UINT64_MAX - l->vesk_total) return -EFBIG;
    l->vesk_total += info->uncompressed_size;
    return 0;
}

static int form_matches(uint32_t seen)
{
    for (const vesk_update_form &f : g_vesk_update_forms)
        if ((seen & f.vesk_required) == f.vesk_required && (seen & ~(f.vesk_required | f.vesk_optional)) == 0) return 1;
    return 0;
}

/* The entry's name, and for a member its index in the table (-1 for the
 * top folder). */
static int current_entry(unzFile zip, unz_file_info64 *info, char name[ENTRY_NAME_MAX])
{
    if (unzGetCurrentFileInfo64(zip, info, name, ENTRY_NAME_MAX, NULL, 0, NULL, 0) != UNZ_OK) return -EINVAL;
    if (info->size_filename < ENTRY_NAME_MAX) name[info->size_filename] = '\0';
    return 0;
}

int vesk_update_check_listing(unzFile zip, vesk_update_listing *l)
{
    memset(l, 0, sizeof *l);
    unz_global_info64 global;
    if (unzGetGlobalInfo64(zip, &global) != UNZ_OK) return -EINVAL;
    if (global.number_entry < 1 || global.number_entry > VESK_UPDATE_ENTRIES_MAX) return -EINVAL;
    int step = unzGoToFirstFile(zip);
    for (ZPOS64_T i = 0; i < global.number_entry; i++) {
        if (step != UNZ_OK) return -EINVAL;
        unz_file_info64 info;
        char name[ENTRY_NAME_MAX];
        int rc = current_entry(zip, &info, name);
        if (rc == 0) rc = check_entry(l, &info, name);
        if (rc != 0) return rc;
        step = unzGoToNextFile(zip);
    }
    return form_matches(l->vesk_seen) ? 0 : -EINVAL;
}

static int check_space(const char *dir, uint64_t total)
{
    struct statfs fs;
    if (statfs(dir, &fs) != 0) return -errno;
    uint64_t blocks = (uint64_t)fs.f_bavail, size = (uint64_t)fs.f_frsize;
    if (total > UINT64_MAX - SPACE_MARGIN) return -ENOSPC;
    /* A product too large to count is more than any package needs. */
    if (size != 0 && blocks > UINT64_MAX / size) return 0;
    return blocks * size >= total + SPACE_MARGIN ? 0 : -ENOSPC;
}

int vesk_update_published_waits(const char *update_dir)
{
    char path[VESK_UPDATE_PATH_MAX];
    struct stat st;
    if (vesk_update_join(path, update_dir, VESK_UPDATE_PUBLISHED) != 0) return 1;
    return lstat(path, &st) == 0 || errno != ENOENT;
}

/* minizip opens by name; this open refuses a link in the last component. */
static voidpf ZCALLBACK open_nofollow(voidpf opaque, const void *filename, int mode)
{
    (void)opaque;
    (void)mode;
    int fd = open((const char *)filename, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return NULL;
    FILE *f = fdopen(fd, "rb");
    if (f == NULL) close(fd);
    return f;
}

unzFile vesk_update_open_zip(const char *path)
{
    zlib_filefunc64_def io;
    fill_fopen64_filefunc(&io);
    io.zopen64_file = open_nofollow;
    errno = 0;
    unzFile zip = unzOpen2_64(path, &io);
    if (zip == NULL && errno == 0) errno = EINVAL;
    return zip;
}

static int unpack_failed(const char *path, const char *step, int err)
{
    vesk_log_printf(VESK_LOG_ERROR, TAG, "%s: %s failed errno=%d; nothing published, ZIP kept",
                    path != NULL ? path : "(none)", step, err);
    vesk_update_record_unpack(step, err);
    return -ECANCELED;
}

static int write_all(int fd, const char *p, size_t n)
{
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return w < 0 ? -errno : -EIO;
        p += w, n -= (size_t)w;
    }
    return 0;
}

/* The current entry into dir as name; *budget is what the listing's sum
 * still allows. */
static int extract_member(unzFile zip, int dir, const char *name, uint64_t stated, uint64_t *budget)
{
    int fd = openat(dir, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return -errno;
    int rc = unzOpenCurrentFile(zip) == UNZ_OK ? 0 : -EBADMSG;
    bool opened = rc == 0;
    uint64_t total = 0;
    static thread_local char buf[READ_CHUNK];
    while (rc == 0) {
        int n = unzReadCurrentFile(zip, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            rc = n == UNZ_ERRNO ? -EIO : -EBADMSG;
            break;
        }
        total += (uint64_t)n;
        if (total > stated || total > *budget)
            rc = -EBADMSG;
        else
            rc = write_all(fd, buf, (size_t)n);
    }
    if (opened && unzCloseCurrentFile(zip) != UNZ_OK && rc == 0) rc = -EBADMSG;
    if (rc == 0 && total != stated) rc = -EBADMSG;
    if (rc == 0 && fsync(fd) != 0) rc = -errno;
    if (close(fd) != 0 && rc == 0) rc = -errno;
    if (rc == 0) *budget -= total;
    return rc;
}

static int extract_all(unzFile zip, int dir, const vesk_update_listing *l, uint32_t *written)
{
    uint64_t budget = l->vesk_total;
    int step = unzGoToFirstFile(zip);
    while (step == UNZ_OK) {
        unz_file_info64 info;
        char name[ENTRY_NAME_MAX];
        if (current_entry(zip, &info, name) != 0) return -EBADMSG;
        const char *rest = strchr(name, '/');
        int index = rest != NULL ? member_index(rest + 1) : -1;
        if (rest == NULL || (index < 0 && rest[1] != '\0')) return -EBADMSG; /* changed since the check */
        if (index >= 0) {
            *written |= 1u << index;
            int rc = extract_member(zip, dir, g_vesk_update_names[index], info.uncompressed_size, &budget);
            if (rc != 0) return rc;
        }
        step = unzGoToNextFile(zip);
    }
    return step == UNZ_END_OF_LIST_OF_FILE ? 0 : -EBADMSG;
}

static void remove_members(int dir, uint32_t written)
{
    for (int i = 0; i < VESK_UPDATE_MEMBERS; i++)
        if ((written & (1u << i)) != 0) (void)unlinkat(dir, g_vesk_update_names[i], 0);
}

static int fsync_path(const char *dir)
{
    int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -errno;
    int rc = fsync(fd) == 0 ? 0 : -errno;
    close(fd);
    return rc;
}

static void remove_zip(const char *zip_path, const char *published)
{
    if (unlink(zip_path) != 0) {
        vesk_log_printf(VESK_LOG_ERROR, TAG, "%s published; ZIP not removed: errno=%d", published, errno);
        return;
    }
    char dir[VESK_UPDATE_PATH_MAX];
    snprintf(dir, sizeof dir, "%s", zip_path);
    char *slash = strrchr(dir, '/');
    if (slash == dir)
        slash[1] = '\0';
    else if (slash != NULL)
        *slash = '\0';
    else
        snprintf(dir, sizeof dir, ".");
    int rc = fsync_path(dir);
    if (rc != 0)
        vesk_log_printf(VESK_LOG_ERROR, TAG, "%s published; ZIP removal not durable: errno=%d", published, -rc);
}

int vesk_update_unpack(const char *zip_path, const char *update_dir)
{
    if (zip_path == NULL || update_dir == NULL) return unpack_failed(zip_path, "request", EINVAL);
    const char *base = strrchr(zip_path, '/');
    base = base != NULL ? base + 1 : zip_path;
    if (!vesk_update_name_ok(base, strlen(base), ".zip")) return unpack_failed(zip_path, "name check", EINVAL);
    struct stat st;
    if (lstat(zip_path, &st) != 0) return unpack_failed(zip_path, "stat", errno);
    if (!S_ISREG(st.st_mode)) return unpack_failed(zip_path, "regular file check", EINVAL);
    char temp[VESK_UPDATE_PATH_MAX], final_path[VESK_UPDATE_PATH_MAX];
    if (vesk_update_join(temp, update_dir, VESK_UPDATE_UNPACK_PREFIX "XXXXXX") != 0 ||
        vesk_update_join(final_path, update_dir, VESK_UPDATE_PUBLISHED) != 0)
        return unpack_failed(zip_path, "path", ENAMETOOLONG);

    unzFile zip = vesk_update_open_zip(zip_path);
    if (zip == NULL) return unpack_failed(zip_path, "ZIP open", errno);
    vesk_update_listing listing;
    int rc = vesk_update_check_listing(zip, &listing);
    if (rc == 0) rc = check_space(update_dir, listing.vesk_total);
    if (rc != 0) {
        unzClose(zip);
        return unpack_failed(zip_path, "package check", -rc);
    }
    if (mkdtemp(temp) == NULL) {
        int err = errno;
        unzClose(zip);
        return unpack_failed(zip_path, "mkdtemp", err);
    }
    int dir = open(temp, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) {
        int err = errno;
        (void)rmdir(temp);
        unzClose(zip);
        return unpack_failed(zip_path, "open unpack directory", err);
    }
    uint32_t written = 0;
    rc = extract_all(zip, dir, &listing, &written);
    unzClose(zip);
    if (rc == 0 && fsync(dir) != 0) rc = -errno;
    /* A non-empty "device_upgrade" makes the rename fail: an earlier
     * package is never replaced. */
    if (rc == 0 && rename(temp, final_path) != 0) rc = -errno;
    if (rc != 0) {
        remove_members(dir, written);
        close(dir);
        (void)rmdir(temp);
        return unpack_failed(zip_path, "unpack/rename", -rc);
    }
    close(dir);
    rc = fsync_path(update_dir);
    if (rc != 0) {
        vesk_log_printf(VESK_LOG_ERROR, TAG, "%s published but not durable: errno=%d", final_path, -rc);
        return -EIO;
    }
    remove_zip(zip_path, final_path);
    return 0;
}
