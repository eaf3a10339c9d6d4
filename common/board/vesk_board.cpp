// Board layer: the real calls on the board, the sandbox's answers on a host.
#include "vesk_board.h"

#include <errno.h>
#include <sys/ioctl.h>
#include <sys/statfs.h>
#include <sys/time.h>

#ifdef VESK_BOARD_DEVICE

int vesk_board_ioctl(int fd, unsigned long request, void *arg) { return ioctl(fd, request, arg); }

int vesk_board_settimeofday(const struct timeval *tv) { return settimeofday(tv, nullptr); }

int vesk_board_fstatfs(int fd, struct statfs *buf) { return fstatfs(fd, buf); }

#else /* host build: log the call and answer as the board would */

#include <fcntl.h>
#include <limits.h>
#include <linux/input.h>
#include <linux/rtc.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

/* The key codes of the board's key device (middle .. power). */
enum { BOARD_KEY_FIRST = 1, BOARD_KEY_LAST = 8 };
enum { BOARD_LINE_MAX = 4096, BOARD_FIELDS_MAX = 512 };

typedef struct {
    char *text;
    size_t size;
    size_t used;
} board_fields;

static void board_add(board_fields *f, const char *format, ...) __attribute__((format(printf, 2, 3)));

static void board_add(board_fields *f, const char *format, ...)
{
    if (f->used >= f->size) return;
    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(f->text + f->used, f->size - f->used, format, ap);
    va_end(ap);
    if (n > 0) f->used = f->used + (size_t)n < f->size ? f->used + (size_t)n : f->size - 1;
}

size_t vesk_board_log_escape(char *out, size_t size, const char *text)
{
    if (size == 0) return 0;
    size_t n = 0;
    for (const unsigned char *p = (const unsigned char *)text; *p; p++) {
        if (*p > ' ' && *p < 0x7F && *p != '\\') {
            if (n + 1 >= size) break;
            out[n++] = (char)*p;
        } else {
            if (n + 4 >= size) break;
            snprintf(out + n, 5, "\\x%02x", *p);
            n += 4;
        }
    }
    out[n] = '\0';
    return n;
}

static const char *board_log_path(void)
{
    const char *path = getenv("VESK_BOARD_LOG");
    return path && *path ? path : "/sim/board.log";
}

void vesk_board_log_line(const char *call, const char *fields)
{
    int saved = errno;
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    char line[BOARD_LINE_MAX];
    int n = snprintf(line, sizeof line, "t=%lld.%06ld pid=%d call=%s%s%s\n", (long long)now.tv_sec, now.tv_nsec / 1000,
                     (int)getpid(), call, fields && *fields ? " " : "", fields ? fields : "");
    if (n < 0) n = 0;
    if ((size_t)n >= sizeof line) {
        n = (int)sizeof line - 1;
        line[n - 1] = '\n';
    }
    int fd = open(board_log_path(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        /* One write per line: O_APPEND places it whole after every other
         * process's lines. */
        ssize_t w = write(fd, line, (size_t)n);
        (void)w;
        close(fd);
    }
    errno = saved;
}

/* The path of the node behind fd, as the sandbox names it. */
static void board_node_of(int fd, char *node, size_t size)
{
    char link[64];
    char path[PATH_MAX];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, path, sizeof path - 1);
    if (n < 0) {
        snprintf(node, size, "fd:%d", fd);
        return;
    }
    path[n] = '\0';
    const char *inside = path;
    const char *root = getenv("VESK_BOARD_ROOT");
    size_t root_len = root ? strlen(root) : 0;
    if (root_len > 0 && strncmp(path, root, root_len) == 0 && path[root_len] == '/') inside = path + root_len;
    vesk_board_log_escape(node, size, inside);
}

static int board_fail(int error)
{
    errno = error;
    return -1;
}

/* /dev/hardware: the power-control device. Every request is a write of an
 * int value behind the pointer. */
static int board_hardware(unsigned long request, void *arg, board_fields *f)
{
    if (_IOC_TYPE(request) != VESK_BOARD_HW_GROUP || _IOC_DIR(request) != _IOC_WRITE || _IOC_SIZE(request) != 8) {
        board_add(f, "arg=0x%lx", (unsigned long)(uintptr_t)arg);
        return board_fail(ENOTTY);
    }
    if (!arg) {
        board_add(f, "value=null");
        return board_fail(EFAULT);
    }
    board_add(f, "value=%d", *(const int *)arg);
    switch (_IOC_NR(request)) {
    case VESK_BOARD_HW_LASER_SWITCH:
    case VESK_BOARD_HW_LRF_SERIAL_POWER:
    case VESK_BOARD_HW_LRF_LASER_POWER:
        return 0;
    default:
        return board_fail(ENOTTY);
    }
}

/* /dev/uart_switch: the routing value travels as the argument itself. */
static int board_uart_switch(unsigned long request, void *arg, board_fields *f)
{
    if (request != VESK_BOARD_UART_SWITCH) {
        board_add(f, "arg=0x%lx", (unsigned long)(uintptr_t)arg);
        return board_fail(ENOTTY);
    }
    board_add(f, "value=%d", (int)(intptr_t)arg);
    return 0;
}

static int board_days_in_month(int month, int year)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return days[month] + (month == 1 && leap);
}

/* /dev/rtc0: the kernel's RTC core refuses a time that is not a calendar
 * time from 1970 on, before the chip sees it. */
static int board_rtc(unsigned long request, void *arg, board_fields *f)
{
    if (request != RTC_SET_TIME) {
        board_add(f, "arg=0x%lx", (unsigned long)(uintptr_t)arg);
        return board_fail(ENOTTY);
    }
    if (!arg) {
        board_add(f, "fields=null");
        return board_fail(EFAULT);
    }
    const struct rtc_time *tm = (const struct rtc_time *)arg;
    board_add(f, "sec=%d min=%d hour=%d mday=%d mon=%d year=%d wday=%d yday=%d isdst=%d", tm->tm_sec, tm->tm_min,
              tm->tm_hour, tm->tm_mday, tm->tm_mon, tm->tm_year, tm->tm_wday, tm->tm_yday, tm->tm_isdst);
    if (tm->tm_year < 70 || tm->tm_year > INT_MAX - 1900 || tm->tm_mon < 0 || tm->tm_mon > 11 || tm->tm_mday < 1 ||
        tm->tm_mday > board_days_in_month(tm->tm_mon, tm->tm_year + 1900) || tm->tm_hour < 0 || tm->tm_hour > 23 ||
        tm->tm_min < 0 || tm->tm_min > 59 || tm->tm_sec < 0 || tm->tm_sec > 59)
        return board_fail(EINVAL);
    return 0;
}

/* Bytes of each capability bitmap the input core hands out: whole longs
 * covering the type's highest code. */
static const struct {
    int ev;
    size_t bytes;
} board_ev_bitmaps[] = {
    {0, (EV_MAX / 64 + 1) * 8},       {EV_KEY, (KEY_MAX / 64 + 1) * 8}, {EV_REL, (REL_MAX / 64 + 1) * 8},
    {EV_ABS, (ABS_MAX / 64 + 1) * 8}, {EV_MSC, (MSC_MAX / 64 + 1) * 8}, {EV_SW, (SW_MAX / 64 + 1) * 8},
    {EV_LED, (LED_MAX / 64 + 1) * 8}, {EV_SND, (SND_MAX / 64 + 1) * 8}, {EV_FF, (FF_MAX / 64 + 1) * 8},
};

static void board_set_bit(unsigned char *bitmap, size_t bytes, int bit)
{
    if ((size_t)bit / 8 < bytes) bitmap[bit / 8] |= (unsigned char)(1u << (bit % 8));
}

/* The key device: a gpio-keys device with auto-repeat and keys 1 to 8. */
static int board_keys(unsigned long request, void *arg, board_fields *f)
{
    if (_IOC_TYPE(request) == 'E' && _IOC_DIR(request) == _IOC_READ && _IOC_NR(request) >= 0x20 &&
        _IOC_NR(request) < 0x20 + EV_CNT) {
        int ev = (int)_IOC_NR(request) - 0x20;
        size_t len = _IOC_SIZE(request);
        board_add(f, "ev=%d len=%zu", ev, len);
        size_t max = 0;
        for (const auto &row : board_ev_bitmaps)
            if (row.ev == ev) max = row.bytes;
        if (max == 0) return board_fail(EINVAL);
        if (!arg) return board_fail(EFAULT);
        size_t n = len < max ? len : max;
        unsigned char *bitmap = (unsigned char *)arg;
        memset(bitmap, 0, n);
        if (ev == 0) {
            board_set_bit(bitmap, n, EV_SYN);
            board_set_bit(bitmap, n, EV_KEY);
            board_set_bit(bitmap, n, EV_REP);
        } else if (ev == EV_KEY) {
            for (int code = BOARD_KEY_FIRST; code <= BOARD_KEY_LAST; code++) board_set_bit(bitmap, n, code);
        }
        return (int)n;
    }
    if (request == EVIOCSREP) {
        if (!arg) {
            board_add(f, "fields=null");
            return board_fail(EFAULT);
        }
        const unsigned int *rep = (const unsigned int *)arg;
        board_add(f, "delay=%u period=%u", rep[0], rep[1]);
        return 0;
    }
    board_add(f, "arg=0x%lx", (unsigned long)(uintptr_t)arg);
    return board_fail(EINVAL);
}

typedef int (*board_ioctl_fn)(unsigned long request, void *arg, board_fields *f);

static const struct {
    const char *node;
    int prefix; /* 1: every node whose path starts so */
    board_ioctl_fn answer;
} board_nodes[] = {
    {"/dev/hardware", 0, board_hardware},
    {"/dev/uart_switch", 0, board_uart_switch},
    {"/dev/rtc0", 0, board_rtc},
    {"/dev/input/event", 1, board_keys},
};

static const char *board_dir_name(unsigned long request)
{
    static const char *const names[4] = {"none", "W", "R", "RW"};
    return names[_IOC_DIR(request) & 3];
}

int vesk_board_ioctl(int fd, unsigned long request, void *arg)
{
    int saved = errno;
    char node[PATH_MAX];
    board_node_of(fd, node, sizeof node);
    char text[BOARD_FIELDS_MAX];
    board_fields f = {text, sizeof text, 0};
    text[0] = '\0';
    board_add(&f, "node=%s req=0x%08lx dir=%s type=0x%02x nr=%u size=%u ", node, request, board_dir_name(request),
              (unsigned)_IOC_TYPE(request), (unsigned)_IOC_NR(request), (unsigned)_IOC_SIZE(request));

    board_ioctl_fn answer = nullptr;
    for (const auto &row : board_nodes)
        if (row.prefix ? strncmp(node, row.node, strlen(row.node)) == 0 : strcmp(node, row.node) == 0)
            answer = row.answer;
    int rc;
    if (answer) {
        errno = 0;
        rc = answer(request, arg, &f);
    } else {
        board_add(&f, "arg=0x%lx", (unsigned long)(uintptr_t)arg);
        errno = 0;
        rc = ioctl(fd, request, arg);
    }
    int error = rc < 0 ? errno : 0;
    board_add(&f, " rc=%d errno=%d", rc, error);
    vesk_board_log_line("ioctl", text);
    errno = rc < 0 ? error : saved;
    return rc;
}

int vesk_board_settimeofday(const struct timeval *tv)
{
    int saved = errno;
    char text[BOARD_FIELDS_MAX];
    board_fields f = {text, sizeof text, 0};
    text[0] = '\0';
    int rc = 0;
    int error = 0;
    if (!tv) {
        board_add(&f, "tv=null");
    } else {
        board_add(&f, "sec=%lld usec=%ld", (long long)tv->tv_sec, (long)tv->tv_usec);
        /* The kernel's own checks; the sandbox's clock is the host's and
         * stays as it is. */
        if (tv->tv_sec < 0 || tv->tv_usec < 0 || tv->tv_usec >= 1000000) {
            rc = -1;
            error = EINVAL;
        }
    }
    board_add(&f, " rc=%d errno=%d", rc, error);
    vesk_board_log_line("settimeofday", text);
    errno = rc < 0 ? error : saved;
    return rc;
}

/* The Media partition is a mount of its own; every file on it answers as
 * the FAT file system it is on the board. */
static int board_on_media(int fd)
{
    const char *root = getenv("VESK_BOARD_ROOT");
    char media[PATH_MAX];
    char parent[PATH_MAX];
    snprintf(media, sizeof media, "%s/usrdata/media", root ? root : "");
    snprintf(parent, sizeof parent, "%s/usrdata", root ? root : "");
    struct stat file, mount, above;
    if (fstat(fd, &file) != 0 || stat(media, &mount) != 0 || stat(parent, &above) != 0) return 0;
    return file.st_dev == mount.st_dev && mount.st_dev != above.st_dev;
}

int vesk_board_fstatfs(int fd, struct statfs *buf)
{
    int saved = errno;
    char node[PATH_MAX];
    board_node_of(fd, node, sizeof node);
    int rc = fstatfs(fd, buf);
    int error = rc < 0 ? errno : 0;
    int media = rc == 0 && board_on_media(fd);
    if (media) buf->f_type = VESK_BOARD_FAT_MAGIC;
    char text[BOARD_FIELDS_MAX];
    board_fields f = {text, sizeof text, 0};
    text[0] = '\0';
    board_add(&f, "node=%s f_type=0x%lx media=%d rc=%d errno=%d", node, rc == 0 ? (unsigned long)buf->f_type : 0ul,
              media, rc, error);
    vesk_board_log_line("fstatfs", text);
    errno = rc < 0 ? error : saved;
    return rc;
}

#endif
