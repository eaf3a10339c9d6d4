// The host board layer: what it answers and what it writes to the board log,
// read back the way the simulated peers and the integration tests read it.
#include "vesk_board.h"

#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <linux/input.h>
#include <linux/magic.h>
#include <linux/rtc.h>
#include <sched.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

typedef std::map<std::string, std::string> Fields;

Fields parse_line(const std::string &line)
{
    Fields fields;
    std::istringstream in(line);
    std::string word;
    while (in >> word) {
        size_t eq = word.find('=');
        if (eq != std::string::npos) fields[word.substr(0, eq)] = word.substr(eq + 1);
    }
    return fields;
}

int remove_entry(const char *path, const struct stat *, int, struct FTW *) { return remove(path); }

class BoardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *tmp = getenv("TMPDIR");
        root = std::string(tmp && *tmp ? tmp : "/tmp") + "/vesk-board-XXXXXX";
        ASSERT_NE(mkdtemp(&root[0]), nullptr);
        ASSERT_EQ(mkdir((root + "/dev").c_str(), 0755), 0);
        ASSERT_EQ(mkdir((root + "/dev/input").c_str(), 0755), 0);
        for (const char *node : {"/dev/hardware", "/dev/uart_switch", "/dev/rtc0"})
            close(open((root + node).c_str(), O_CREAT | O_WRONLY, 0644));
        ASSERT_EQ(mkfifo((root + "/dev/input/event0").c_str(), 0644), 0);
        log = root + "/board.log";
        setenv("VESK_BOARD_ROOT", root.c_str(), 1);
        setenv("VESK_BOARD_LOG", log.c_str(), 1);
    }

    void TearDown() override
    {
        for (int fd : fds) close(fd);
        unsetenv("VESK_BOARD_ROOT");
        unsetenv("VESK_BOARD_LOG");
        nftw(root.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
    }

    int node(const char *inside)
    {
        int fd = open((root + inside).c_str(), O_RDWR | O_NONBLOCK);
        EXPECT_GE(fd, 0) << inside;
        fds.push_back(fd);
        return fd;
    }

    std::vector<std::string> lines()
    {
        std::ifstream in(log);
        std::vector<std::string> all;
        for (std::string line; std::getline(in, line);) all.push_back(line);
        return all;
    }

    Fields last()
    {
        std::vector<std::string> all = lines();
        return all.empty() ? Fields() : parse_line(all.back());
    }

    std::string root;
    std::string log;
    std::vector<int> fds;
};

// --- ioctl on the power-control device and the serial switch ---

enum ArgKind { POINTER_TO_INT, VALUE, NULL_ARG };

struct IoctlCase {
    const char *node;
    unsigned long request;
    ArgKind kind;
    int value;
    int rc;
    int error;
    const char *req_hex;
    const char *field; /* "key=value" expected in the line */
};

std::ostream &operator<<(std::ostream &out, const IoctlCase &c)
{
    return out << c.node << " req " << c.req_hex << " " << c.field;
}

class BoardIoctl : public BoardTest, public ::testing::WithParamInterface<IoctlCase> {};

TEST_P(BoardIoctl, AnswersAndLogsOneLine)
{
    const IoctlCase &c = GetParam();
    int fd = node(c.node);
    int value = c.value;
    void *arg = c.kind == POINTER_TO_INT ? (void *)&value : c.kind == VALUE ? (void *)(intptr_t)c.value : nullptr;
    errno = 1234;
    int rc = vesk_board_ioctl(fd, c.request, arg);
    EXPECT_EQ(rc, c.rc);
    EXPECT_EQ(errno, c.rc < 0 ? c.error : 1234) << "errno is the call's error, or kept on success";

    ASSERT_EQ(lines().size(), 1u);
    Fields f = last();
    EXPECT_EQ(f["call"], "ioctl");
    EXPECT_EQ(f["node"], c.node);
    EXPECT_EQ(f["req"], c.req_hex);
    EXPECT_EQ(f["pid"], std::to_string(getpid()));
    EXPECT_EQ(f["rc"], std::to_string(c.rc));
    EXPECT_EQ(f["errno"], std::to_string(c.rc < 0 ? c.error : 0));
    std::string field = c.field;
    size_t eq = field.find('=');
    EXPECT_EQ(f[field.substr(0, eq)], field.substr(eq + 1));
}

const IoctlCase ioctl_cases[] = {
    {"/dev/hardware", VESK_BOARD_HW_REQUEST(3), POINTER_TO_INT, 1, 0, 0, "0x40081703", "value=1"},
    {"/dev/hardware", VESK_BOARD_HW_REQUEST(9), POINTER_TO_INT, 1, 0, 0, "0x40081709", "value=1"},
    {"/dev/hardware", VESK_BOARD_HW_REQUEST(10), POINTER_TO_INT, 1, 0, 0, "0x4008170a", "value=1"},
    {"/dev/hardware", VESK_BOARD_HW_REQUEST(10), POINTER_TO_INT, 0, 0, 0, "0x4008170a", "nr=10"},
    {"/dev/hardware", VESK_BOARD_HW_REQUEST(4), POINTER_TO_INT, 1, -1, ENOTTY, "0x40081704", "value=1"},
    {"/dev/hardware", _IOW(0x17, 10, int), POINTER_TO_INT, 1, -1, ENOTTY, "0x4004170a", "size=4"},
    {"/dev/hardware", VESK_BOARD_HW_REQUEST(10), NULL_ARG, 0, -1, EFAULT, "0x4008170a", "value=null"},
    {"/dev/uart_switch", VESK_BOARD_UART_SWITCH, VALUE, 2, 0, 0, "0x40047501", "value=2"},
    {"/dev/uart_switch", VESK_BOARD_UART_SWITCH, VALUE, 0, 0, 0, "0x40047501", "type=0x75"},
    {"/dev/uart_switch", _IOW('u', 2, int), VALUE, 2, -1, ENOTTY, "0x40047502", "arg=0x2"},
    {"/dev/rtc0", RTC_RD_TIME, NULL_ARG, 0, -1, ENOTTY, "0x80247009", "dir=R"},
};

INSTANTIATE_TEST_SUITE_P(Nodes, BoardIoctl, ::testing::ValuesIn(ioctl_cases));

TEST_F(BoardTest, PowerValueReadsAsTheLogSays)
{
    // The simulated rangefinder decides from these fields alone.
    int fd = node("/dev/hardware");
    int on = 1;
    ASSERT_EQ(vesk_board_ioctl(fd, VESK_BOARD_HW_REQUEST(VESK_BOARD_HW_LRF_LASER_POWER), &on), 0);
    Fields f = last();
    EXPECT_EQ(f["dir"], "W");
    EXPECT_EQ(f["type"], "0x17");
    EXPECT_EQ(f["nr"], "10");
    EXPECT_EQ(f["size"], "8");
    EXPECT_EQ(f["value"], "1");
    EXPECT_EQ(lines().back().rfind("t=", 0), 0u);
}

TEST_F(BoardTest, UnknownNodeGetsTheRealCall)
{
    int pipefd[2];
    ASSERT_EQ(pipe(pipefd), 0);
    fds.push_back(pipefd[0]);
    fds.push_back(pipefd[1]);
    ASSERT_EQ(write(pipefd[1], "abc", 3), 3);
    int pending = 0;
    ASSERT_EQ(vesk_board_ioctl(pipefd[0], FIONREAD, &pending), 0);
    EXPECT_EQ(pending, 3);
    Fields f = last();
    EXPECT_EQ(f["node"].rfind("pipe:", 0), 0u);
    EXPECT_NE(f["arg"], "");

    errno = 0;
    EXPECT_EQ(vesk_board_ioctl(node("/dev/hardware"), TCGETS, &pending), -1);
    EXPECT_EQ(errno, ENOTTY);
}

TEST_F(BoardTest, NodeNamesAreEscaped)
{
    close(open((root + "/dev/odd name\\1").c_str(), O_CREAT | O_WRONLY, 0644));
    int value = 1;
    vesk_board_ioctl(node("/dev/odd name\\1"), VESK_BOARD_HW_REQUEST(3), &value);
    EXPECT_EQ(last()["node"], "/dev/odd\\x20name\\x5c1");

    struct Row {
        const char *text;
        size_t size;
        const char *out;
    } rows[] = {
        {"plain", 64, "plain"}, {"a b", 64, "a\\x20b"}, {"\t\n", 64, "\\x09\\x0a"},
        {"\xff", 64, "\\xff"},  {"ab cd", 6, "ab"}, /* an escape that does not fit is left out whole */
        {"abc", 3, "ab"},
    };
    for (const Row &r : rows) {
        char out[64];
        size_t n = vesk_board_log_escape(out, r.size, r.text);
        EXPECT_STREQ(out, r.out) << r.text;
        EXPECT_EQ(n, strlen(r.out));
    }
}

// --- the real-time clock ---

struct RtcCase {
    int year, mon, mday, hour, min, sec;
    int rc;
};

std::ostream &operator<<(std::ostream &out, const RtcCase &c)
{
    return out << c.year + 1900 << "-" << c.mon + 1 << "-" << c.mday << " " << c.hour << ":" << c.min << ":" << c.sec;
}

class BoardRtc : public BoardTest, public ::testing::WithParamInterface<RtcCase> {};

TEST_P(BoardRtc, ChecksTheCalendarAndLogsEveryField)
{
    const RtcCase &c = GetParam();
    struct rtc_time tm = {};
    tm.tm_year = c.year;
    tm.tm_mon = c.mon;
    tm.tm_mday = c.mday;
    tm.tm_hour = c.hour;
    tm.tm_min = c.min;
    tm.tm_sec = c.sec;
    errno = 0;
    EXPECT_EQ(vesk_board_ioctl(node("/dev/rtc0"), RTC_SET_TIME, &tm), c.rc);
    if (c.rc < 0) {
        EXPECT_EQ(errno, EINVAL);
    }
    Fields f = last();
    EXPECT_EQ(f["req"], "0x4024700a");
    EXPECT_EQ(f["year"], std::to_string(c.year));
    EXPECT_EQ(f["mon"], std::to_string(c.mon));
    EXPECT_EQ(f["mday"], std::to_string(c.mday));
    EXPECT_EQ(f["hour"], std::to_string(c.hour));
    EXPECT_EQ(f["min"], std::to_string(c.min));
    EXPECT_EQ(f["sec"], std::to_string(c.sec));
    EXPECT_EQ(f["wday"], "0");
    EXPECT_EQ(f["yday"], "0");
    EXPECT_EQ(f["isdst"], "0");
}

const RtcCase rtc_cases[] = {
    {124, 1, 29, 13, 5, 9, 0},    /* 2024-02-29 13:05:09 */
    {123, 0, 1, 0, 0, 0, 0},      /* 2023-01-01 00:00:00 */
    {199, 11, 31, 23, 59, 59, 0}, /* 2099-12-31 23:59:59 */
    {123, 1, 29, 0, 0, 0, -1},    /* 2023 is no leap year */
    {100, 1, 29, 0, 0, 0, 0},     /* 2000 is */
    {200, 1, 29, 0, 0, 0, -1},    /* 2100 is not */
    {124, 12, 1, 0, 0, 0, -1},    {124, 3, 31, 0, 0, 0, -1}, {124, 0, 0, 0, 0, 0, -1}, {124, 0, 1, 24, 0, 0, -1},
    {124, 0, 1, 0, 60, 0, -1},    {124, 0, 1, 0, 0, 60, -1}, {69, 0, 1, 0, 0, 0, -1},
};

INSTANTIATE_TEST_SUITE_P(Dates, BoardRtc, ::testing::ValuesIn(rtc_cases));

TEST_F(BoardTest, RtcWithoutTimeIsAFault)
{
    errno = 0;
    EXPECT_EQ(vesk_board_ioctl(node("/dev/rtc0"), RTC_SET_TIME, nullptr), -1);
    EXPECT_EQ(errno, EFAULT);
    EXPECT_EQ(last()["fields"], "null");
}

// --- the key device ---

bool bit(const unsigned char *bitmap, int n) { return bitmap[n / 8] & (1u << (n % 8)); }

TEST_F(BoardTest, KeyDeviceHasKeysOneToEight)
{
    int fd = node("/dev/input/event0");
    unsigned char keys[96];
    memset(keys, 0xAA, sizeof keys);
    ASSERT_EQ(vesk_board_ioctl(fd, EVIOCGBIT(EV_KEY, sizeof keys), keys), 96);
    for (int code = 0; code < 96 * 8; code++) EXPECT_EQ(bit(keys, code), code >= 1 && code <= 8) << "code " << code;
    Fields f = last();
    EXPECT_EQ(f["ev"], "1");
    EXPECT_EQ(f["len"], "96");
    EXPECT_EQ(f["rc"], "96");
    EXPECT_EQ(f["dir"], "R");

    // A larger buffer gets the bitmap the device has and nothing past it.
    unsigned char big[128];
    memset(big, 0xAA, sizeof big);
    ASSERT_EQ(vesk_board_ioctl(fd, EVIOCGBIT(EV_KEY, sizeof big), big), 96);
    EXPECT_EQ(big[96], 0xAA);

    unsigned char types[4];
    ASSERT_EQ(vesk_board_ioctl(fd, EVIOCGBIT(0, sizeof types), types), 4);
    for (int type = 0; type < 32; type++)
        EXPECT_EQ(bit(types, type), type == EV_SYN || type == EV_KEY || type == EV_REP) << "type " << type;

    unsigned char rel[8];
    ASSERT_EQ(vesk_board_ioctl(fd, EVIOCGBIT(EV_REL, sizeof rel), rel), 8);
    for (unsigned char b : rel) EXPECT_EQ(b, 0);

    errno = 0;
    EXPECT_EQ(vesk_board_ioctl(fd, EVIOCGBIT(EV_REP, 8), rel), -1);
    EXPECT_EQ(errno, EINVAL);
}

TEST_F(BoardTest, KeyRepeatIsLogged)
{
    int fd = node("/dev/input/event0");
    unsigned int rep[2] = {500, 200};
    ASSERT_EQ(vesk_board_ioctl(fd, EVIOCSREP, rep), 0);
    Fields f = last();
    EXPECT_EQ(f["delay"], "500");
    EXPECT_EQ(f["period"], "200");
    EXPECT_EQ(f["req"], "0x40084503");

    errno = 0;
    EXPECT_EQ(vesk_board_ioctl(fd, EVIOCGREP, rep), -1);
    EXPECT_EQ(errno, EINVAL);
}

// --- the system clock ---

TEST_F(BoardTest, SettimeofdayIsLoggedNotApplied)
{
    struct timeval before;
    gettimeofday(&before, nullptr);
    struct timeval tv = {86400, 5};
    errno = 77;
    EXPECT_EQ(vesk_board_settimeofday(&tv), 0);
    EXPECT_EQ(errno, 77);
    struct timeval after;
    gettimeofday(&after, nullptr);
    EXPECT_GE(after.tv_sec, before.tv_sec);
    Fields f = last();
    EXPECT_EQ(f["call"], "settimeofday");
    EXPECT_EQ(f["sec"], "86400");
    EXPECT_EQ(f["usec"], "5");
    EXPECT_EQ(f["rc"], "0");

    struct timeval bad = {1, 1000000};
    EXPECT_EQ(vesk_board_settimeofday(&bad), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(last()["errno"], std::to_string(EINVAL));

    EXPECT_EQ(vesk_board_settimeofday(nullptr), 0);
    EXPECT_EQ(last()["tv"], "null");
}

// --- the Media file system ---

TEST_F(BoardTest, OrdinaryFileSystemIsReportedAsItIs)
{
    int fd = node("/dev/hardware");
    struct statfs real, board;
    ASSERT_EQ(fstatfs(fd, &real), 0);
    ASSERT_EQ(vesk_board_fstatfs(fd, &board), 0);
    EXPECT_EQ(board.f_type, real.f_type);
    Fields f = last();
    EXPECT_EQ(f["call"], "fstatfs");
    EXPECT_EQ(f["media"], "0");
    EXPECT_EQ(f["node"], "/dev/hardware");

    errno = 0;
    EXPECT_EQ(vesk_board_fstatfs(-1, &board), -1);
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(last()["rc"], "-1");
}

void write_text(const char *path, const std::string &text) { std::ofstream(path) << text; }

/* Root takes a mount namespace; anyone else first a user namespace that
 * maps the own ids, so that files can be made in the new mount. */
bool own_mount_namespace()
{
    if (geteuid() == 0) return unshare(CLONE_NEWNS) == 0;
    uid_t uid = geteuid();
    gid_t gid = getegid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
    write_text("/proc/self/setgroups", "deny");
    write_text("/proc/self/uid_map", std::to_string(uid) + " " + std::to_string(uid) + " 1");
    write_text("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1");
    return true;
}

TEST_F(BoardTest, MediaMountIsFat)
{
    std::string media = root + "/usrdata/media";
    ASSERT_EQ(mkdir((root + "/usrdata").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(media.c_str(), 0755), 0);
    // A folder that is not a mount of its own is not the Media partition.
    int plain = open(media.c_str(), O_RDONLY | O_DIRECTORY);
    fds.push_back(plain);
    struct statfs st;
    ASSERT_EQ(vesk_board_fstatfs(plain, &st), 0);
    EXPECT_NE(st.f_type, VESK_BOARD_FAT_MAGIC);

    // The mount happens in a child with mount namespaces of its own.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (!own_mount_namespace()) _exit(77);
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", media.c_str(), "tmpfs", 0, "size=1m") != 0)
            _exit(77);
        int dir = open(media.c_str(), O_RDONLY | O_DIRECTORY);
        int file = open((media + "/VeskLogs").c_str(), O_CREAT | O_RDWR, 0644);
        int above = open((root + "/usrdata").c_str(), O_RDONLY | O_DIRECTORY);
        struct statfs a, b, c;
        if (vesk_board_fstatfs(dir, &a) != 0 || a.f_type != VESK_BOARD_FAT_MAGIC) _exit(1);
        if (vesk_board_fstatfs(file, &b) != 0 || b.f_type != VESK_BOARD_FAT_MAGIC || b.f_blocks != a.f_blocks) _exit(2);
        if (vesk_board_fstatfs(above, &c) != 0 || c.f_type == VESK_BOARD_FAT_MAGIC) _exit(3);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(WEXITSTATUS(status), 77) << "no mount namespace for the test on this machine";
    ASSERT_EQ(WEXITSTATUS(status), 0);
    std::vector<std::string> all = lines();
    ASSERT_EQ(all.size(), 4u);
    Fields media_line = parse_line(all[1]);
    EXPECT_EQ(media_line["node"], "/usrdata/media");
    EXPECT_EQ(media_line["media"], "1");
    EXPECT_EQ(media_line["f_type"], "0x4d44");
    EXPECT_EQ(parse_line(all[2])["node"], "/usrdata/media/VeskLogs");
    EXPECT_EQ(parse_line(all[3])["media"], "0");
}

// --- one log, many writers ---

TEST_F(BoardTest, ConcurrentProcessesNeverTearALine)
{
    const int writers = 6;
    const int each = 300;
    std::vector<pid_t> children;
    for (int w = 0; w < writers; w++) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            int fd = open((root + "/dev/hardware").c_str(), O_RDWR);
            for (int i = 0; i < each; i++) {
                int value = i;
                vesk_board_ioctl(fd, VESK_BOARD_HW_REQUEST(9), &value);
            }
            _exit(0);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::vector<std::string> all = lines();
    ASSERT_EQ(all.size(), (size_t)writers * each);
    std::map<std::string, int> next; /* per writer, values arrive in order */
    for (const std::string &line : all) {
        Fields f = parse_line(line);
        ASSERT_EQ(line.rfind("t=", 0), 0u) << line;
        ASSERT_EQ(f["errno"], "0") << line;
        ASSERT_EQ(f["value"], std::to_string(next[f["pid"]]++)) << line;
    }
    EXPECT_EQ(next.size(), (size_t)writers);
}

} // namespace
