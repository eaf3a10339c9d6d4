#include "utils_common.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/rtc.h>
#include <math.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/time.h>
#include <unistd.h>

#include "vesk_board.h"
#include "vesk_wallclock.h"

char QZ_verArr[QZ_VER_COUNT][QZ_VER_LEN];
const char *const QZ_vername[QZ_VER_COUNT] = {"PN", "SN", "FPA1", "FPA2", "DeviceVersion"};

enum {
    STORAGE_FULL_MIB = 200,
    STORAGE_LOW_MIB = 500,
    /* The device takes cards under 64 GiB; larger figures mean a misread. */
    STORAGE_LIMIT = 6400,
    VERSION_READ_MAX = 1023,
};

int vesk_storage_data_at(const char *path, int *used, int *total)
{
    if (path == NULL || used == NULL || total == NULL) return -1;
    struct statfs fs;
    if (statfs(path, &fs) != 0) {
        printf("ERROR: statfs %s: %s\n", path, strerror(errno));
        *used = 0;
        *total = 0;
        return -1;
    }
    uint64_t block = (uint64_t)fs.f_bsize;
    uint64_t all = block * (uint64_t)fs.f_blocks;
    uint64_t avail = block * (uint64_t)fs.f_bavail;
    uint64_t taken = all > avail ? all - avail : 0;
    /* Whole-number arithmetic truncates exactly where the real quotient
     * would; the products stay far below 2^64 for any card. */
    *used = (int)(taken * 100 / (1ull << 30));
    *total = (int)(all * 100 / (1ull << 30));
    uint64_t free_mib = avail / (1ull << 20);

    if (free_mib < STORAGE_FULL_MIB) return 1;
    if (free_mib < STORAGE_LOW_MIB) return 2;
    if (*used <= STORAGE_LIMIT - 1 && *total < STORAGE_LIMIT) return 0;
    printf("ERROR: disksize read error(%d:%d)\n", *used, *total);
    return -1;
}

int Get_StorageData(int *used, int *total) { return vesk_storage_data_at(VESK_MEDIA_ROOT, used, total); }

int rtc_set_time(int hour, int minute, int second, int year, int month, int day)
{
    struct rtc_time tm = vesk_wallclock_rtc_fields(hour, minute, second, year, month, day);
    int fd = open(VESK_RTC_DEVICE, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        printf("open rtc_dev failed!\n");
        return -1;
    }
    int rc = vesk_board_ioctl(fd, RTC_SET_TIME, &tm);
    close(fd);
    if (rc < 0) {
        printf("ioctl rtc_set_time failed!\n");
        return -2;
    }
    return 0;
}

int sys_set_time(int hour, int minute, int second, int year, int month, int day)
{
    return vesk_wallclock_set_system(hour, minute, second, year, month, day);
}

int sys_get_time(struct tm **out)
{
    if (out == NULL) return -1;
    struct timeval tv;
    *out = NULL;
    if (gettimeofday(&tv, NULL) != 0) return -1;
    time_t now = tv.tv_sec;
    *out = gmtime(&now);
    return *out != NULL ? 0 : -1;
}

/* The value between the first '[' after the key and the first ']' after
 * that, cut to the slot. */
static void version_take(const char *text, const char *key, char *slot)
{
    const char *at = strstr(text, key);
    if (at == NULL) return;
    const char *open = strchr(at + strlen(key), '[');
    if (open == NULL) return;
    const char *close = strchr(open + 1, ']');
    if (close == NULL) return;
    char value[VERSION_READ_MAX + 1];
    size_t n = (size_t)(close - open - 1);
    memcpy(value, open + 1, n);
    value[n] = '\0';
    vesk_utf8_copy(slot, QZ_VER_LEN, value);
}

int get_version(const char *path)
{
    if (path == NULL) return -1;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        printf("apps.version open error\n");
        return -1;
    }
    char text[VERSION_READ_MAX + 1];
    ssize_t n;
    do {
        n = read(fd, text, VERSION_READ_MAX);
    } while (n < 0 && errno == EINTR);
    close(fd);
    if (n <= 0) {
        printf("apps.version read size=%d\n", (int)n);
        return (int)n;
    }
    text[n] = '\0';
    for (int i = 0; i < QZ_VER_COUNT; i++) {
        version_take(text, QZ_vername[i], QZ_verArr[i]);
        printf("__%s : %s\n", QZ_vername[i], QZ_verArr[i]);
    }
    return 0;
}

int getIndexVal(int key, int minimum, int maximum, int current, int direction)
{
    if (current < minimum || current > maximum) {
        printf("!!!!!!!!!!para null error\n");
        if (minimum > maximum) printf("!!!!!!!!!!para minval(%d) > maxval(%d) error\n", minimum, maximum);
    }
    int up = direction ? (key == '3' || key == '4') : (key == '5' || key == '6');
    /* Compared before stepping, so that no value can overflow. */
    if (up) return current >= maximum ? minimum : current + 1;
    return current <= minimum ? maximum : current - 1;
}

int Qel_CreateDirectory(const char *path)
{
    if (path == NULL) return -1;
    char part[PATH_MAX];
    size_t len = strlen(path);
    if (len >= sizeof part) {
        printf("mkdir <%s> error\n", path);
        return -1;
    }
    for (size_t i = 0; i < len; i++) {
        part[i] = path[i];
        if (path[i] != '/' || i == 0) continue;
        part[i] = '\0';
        if (access(part, F_OK) != 0 && mkdir(part, 0755) != 0 && errno != EEXIST) {
            printf("mkdir <%s> error\n", part);
            return -1;
        }
        part[i] = '/';
    }
    return 0;
}

/* Bytes of the whole characters among the first n of s (n <= strlen(s)).
 * A lead byte whose sequence would run past n is dropped with the rest of
 * its sequence; stray continuation bytes stay where they are. */
static size_t utf8_whole(const char *s, size_t n)
{
    size_t at = n;
    size_t back = 0;
    while (at > 0 && back < 4 && ((unsigned char)s[at - 1] & 0xC0) == 0x80) {
        at--;
        back++;
    }
    if (at == 0 || back == 4) return n;
    unsigned char lead = (unsigned char)s[at - 1];
    size_t len = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (len == 1) return n;
    return back + 1 >= len ? n : at - 1;
}

size_t vesk_utf8_copy(char *dst, size_t size, const char *src)
{
    if (dst == NULL || size == 0) return 0;
    if (src == NULL) src = "";
    size_t n = strnlen(src, size);
    if (n >= size) n = utf8_whole(src, size - 1);
    memcpy(dst, src, n);
    dst[n] = '\0';
    return n;
}

size_t vesk_utf8_format(char *dst, size_t size, const char *format, ...)
{
    if (dst == NULL || size == 0) return 0;
    va_list ap;
    va_start(ap, format);
    int full = vsnprintf(dst, size, format, ap);
    va_end(ap);
    if (full < 0) {
        dst[0] = '\0';
        return 0;
    }
    if ((size_t)full < size) return (size_t)full;
    size_t n = utf8_whole(dst, size - 1);
    dst[n] = '\0';
    return n;
}

static int vesk_coord(double v, int *out)
{
    if (!(v >= -VESK_COORD_LIMIT && v <= VESK_COORD_LIMIT)) {
        *out = v > 0 ? VESK_COORD_LIMIT : -VESK_COORD_LIMIT;
        return -1;
    }
    *out = (int)v;
    return 0;
}

int vesk_trunc_coord(double v, int *out) { return vesk_coord(v, out); }

int vesk_round_coord(double v, int *out) { return vesk_coord(round(v), out); }
