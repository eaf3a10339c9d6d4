#include "sim_ns.h"
#include "utils_common.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <limits>
#include <string>
#include <vector>

namespace {

/* The folders made here, removed with all they hold when the program ends,
 * whatever a failed test left in them; only by the process that made them,
 * never by a forked child on its way out. */
std::vector<std::string> g_made_dirs;
pid_t g_made_by;

void remove_made_dirs()
{
    if (getpid() != g_made_by) return;
    std::error_code ignored;
    for (const std::string &dir : g_made_dirs) std::filesystem::remove_all(dir, ignored);
}

std::string make_temp_dir()
{
    char dir[] = "/tmp/vesk-gui-utils-XXXXXX";
    EXPECT_NE(mkdtemp(dir), nullptr);
    if (g_made_dirs.empty()) {
        g_made_by = getpid();
        atexit(remove_made_dirs);
    }
    g_made_dirs.push_back(dir);
    return dir;
}

void write_file(const std::string &path, const std::string &text)
{
    FILE *f = fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr) << path;
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
}

/* ---- storage figures from a tmpfs of a chosen size ---- */

struct StorageAnswer {
    int mounted;
    int rc;
    int used;
    int total;
};

/* In a child of its own mount namespace: a tmpfs of size_mib on a fresh
 * folder with fill_mib of it taken, and the storage figures of it. */
StorageAnswer storage_of_tmpfs(unsigned size_mib, unsigned fill_mib)
{
    StorageAnswer answer = {0, -9, -9, -9};
    std::string dir = make_temp_dir();
    int fds[2];
    if (pipe(fds) != 0) return answer;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        StorageAnswer a = {0, -9, -9, -9};
        char options[32];
        snprintf(options, sizeof options, "size=%um", size_mib);
        if (sim_private_ns(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
            mount("tmpfs", dir.c_str(), "tmpfs", 0, options) == 0) {
            a.mounted = 1;
            std::string fill = dir + "/fill";
            int fd = open(fill.c_str(), O_WRONLY | O_CREAT, 0644);
            if (fill_mib == 0 || (fd >= 0 && posix_fallocate(fd, 0, (off_t)fill_mib << 20) == 0))
                a.rc = vesk_storage_data_at(dir.c_str(), &a.used, &a.total);
            if (fd >= 0) close(fd);
        }
        ssize_t w = write(fds[1], &a, sizeof a);
        _exit(w == (ssize_t)sizeof a ? 0 : 1);
    }
    close(fds[1]);
    ssize_t r = read(fds[0], &answer, sizeof answer);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    rmdir(dir.c_str());
    if (r != (ssize_t)sizeof answer) answer.mounted = 0;
    return answer;
}

TEST(UtilsCommon, StorageCodesAndSizesFromTmpfsOfChosenSize)
{
    struct Row {
        unsigned size_mib;
        unsigned fill_mib;
        int rc;
        int used;
        int total;
    } rows[] = {
        {150, 0, 1, 0, 14},      /* under 200 MiB free, even on a tiny card */
        {220, 30, 1, 2, 21},     /* 190 MiB free */
        {300, 0, 2, 0, 29},      /* under 500 MiB free */
        {520, 30, 2, 2, 50},     /* 490 MiB free */
        {1024, 0, 0, 0, 100},    /* 1 GiB, all free */
        {65535, 0, 0, 0, 6399},  /* just under 64 GiB */
        {65536, 0, -1, 0, 6400}, /* 64 GiB: beyond the device's cards */
    };
    for (const Row &row : rows) {
        StorageAnswer a = storage_of_tmpfs(row.size_mib, row.fill_mib);
        ASSERT_TRUE(a.mounted) << "no private mount namespace for the tmpfs";
        EXPECT_EQ(a.rc, row.rc) << row.size_mib << " MiB with " << row.fill_mib << " taken";
        EXPECT_EQ(a.used, row.used) << row.size_mib;
        EXPECT_EQ(a.total, row.total) << row.size_mib;
    }
}

TEST(UtilsCommon, StorageOfNoFileSystemIsAnErrorWithZeroSizes)
{
    int used = 7, total = 7;
    EXPECT_EQ(vesk_storage_data_at("/nonexistent/vesk/media/", &used, &total), -1);
    EXPECT_EQ(used, 0);
    EXPECT_EQ(total, 0);
    EXPECT_EQ(Get_StorageData(nullptr, &total), -1);
    EXPECT_EQ(Get_StorageData(&used, nullptr), -1);
}

/* ---- clocks ---- */

std::string slurp(const std::string &path)
{
    std::string text;
    FILE *f = fopen(path.c_str(), "r");
    if (f == nullptr) return text;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    fclose(f);
    return text;
}

TEST(UtilsCommon, SystemClockIsSetFromUtcThroughTheBoardWhateverTheZone)
{
    std::string dir = make_temp_dir();
    std::string log = dir + "/board.log";
    setenv("VESK_BOARD_LOG", log.c_str(), 1);
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(sys_set_time(0, 0, 0, 2023, 1, 1), 0);
    EXPECT_NE(slurp(log).find("call=settimeofday sec=1672531200 usec=0 rc=0"), std::string::npos) << slurp(log);
    setenv("TZ", "UTC-2", 1); /* two hours east: the fields still mean UTC */
    tzset();
    EXPECT_EQ(sys_set_time(0, 0, 0, 2023, 1, 2), 0);
    EXPECT_NE(slurp(log).find("sec=1672617600 usec=0"), std::string::npos) << slurp(log);
    unsetenv("TZ");
    tzset();
    unsetenv("VESK_BOARD_LOG");
    unlink(log.c_str());
    rmdir(dir.c_str());

    struct tm *now = nullptr;
    ASSERT_EQ(sys_get_time(&now), 0);
    ASSERT_NE(now, nullptr);
    time_t t = time(nullptr);
    EXPECT_EQ(now->tm_year, gmtime(&t)->tm_year);
    EXPECT_EQ(sys_get_time(nullptr), -1);
}

TEST(UtilsCommon, HardwareClockResults)
{
    /* A /dev of our own in a private mount namespace, with an RTC node the
     * board layer answers for. */
    std::string dir = make_temp_dir();
    std::string log = dir + "/board.log";
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        int rc[4] = {-9, -9, -9, -9};
        if (sim_private_ns(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
            mount("tmpfs", "/dev", "tmpfs", 0, "size=1m") == 0) {
            setenv("VESK_BOARD_LOG", log.c_str(), 1);
            rc[0] = rtc_set_time(1, 2, 3, 2023, 1, 1); /* no node */
            close(open(VESK_RTC_DEVICE, O_WRONLY | O_CREAT, 0600));
            rc[1] = rtc_set_time(1, 2, 3, 2023, 1, 1);
            rc[2] = rtc_set_time(1, 2, 3, 2023, 2, 30); /* no such day */
            rc[3] = 0;
        }
        ssize_t w = write(fds[1], rc, sizeof rc);
        _exit(w == (ssize_t)sizeof rc ? 0 : 1);
    }
    close(fds[1]);
    int rc[4] = {-9, -9, -9, -9};
    ssize_t r = read(fds[0], rc, sizeof rc);
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    std::string text = slurp(log);
    unlink(log.c_str());
    rmdir(dir.c_str());
    ASSERT_EQ(r, (ssize_t)sizeof rc);
    ASSERT_EQ(rc[3], 0) << "no private mount namespace for /dev";
    EXPECT_EQ(rc[0], -1);
    EXPECT_EQ(rc[1], 0);
    EXPECT_EQ(rc[2], -2);
    EXPECT_NE(text.find("node=/dev/rtc0"), std::string::npos) << text;
    EXPECT_NE(text.find("sec=3 min=2 hour=1 mday=1 mon=0 year=123"), std::string::npos) << text;
}

/* ---- version values ---- */

class VersionFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = make_temp_dir();
        path = dir + "/apps.version";
        for (int i = 0; i < QZ_VER_COUNT; i++) snprintf(QZ_verArr[i], QZ_VER_LEN, "old%d", i);
    }
    void TearDown() override
    {
        unlink(path.c_str());
        rmdir(dir.c_str());
    }
    std::string dir, path;
};

TEST_F(VersionFile, ValuesOfEachKeyBetweenTheBracketsAfterIt)
{
    struct Row {
        const char *text;
        const char *slots[QZ_VER_COUNT];
    } rows[] = {
        /* The lines both programs append. */
        {"APP:\t <sightd>\t (Dec 10 2025,08:00:00) [1a2b3c] on {main}\n"
         "FPA1:\t <core>\t (Dec 10 2025,08:00:00) [V1.20]\n"
         "FPA2:\t <sensor>\t (Dec 10 2025,08:00:00) [S640]\n"
         "PN:\t <pn>\t (Dec 10 2025,08:00:00) [PN-0042]\n"
         "SN:\t <sn>\t (Dec 10 2025,08:00:00) [SN77]\n"
         "UI:\t <qel_menu>\t (Dec 10 2025,08:00:00) [1a2b3c] on {main}\n",
         {"PN-0042", "SN77", "V1.20", "S640", "old4"}},
        /* A missing key and a key with no closing bracket keep their slots. */
        {"SN:\t <sn>\t (d,t) [X9]\nFPA1:\t <core>\t (d,t) [open\n", {"old0", "X9", "old2", "old3", "old4"}},
        /* The first occurrence counts; a value too long for its slot is cut. */
        {"DeviceVersion:\t <dev>\t (d,t) [0123456789abcdefghijklmn]\nDeviceVersion [late]\n",
         {"old0", "old1", "old2", "old3", "0123456789abcdefghi"}},
        /* An empty value is a value. */
        {"PN []\n", {"", "old1", "old2", "old3", "old4"}},
        /* A serial number in Cyrillic is cut before the letter that does not fit whole (18 of 19 bytes). */
        {"SN [\xD0\xA1\xD0\xB2\xD0\xB5\xD1\x80\xD1\x85\xD1\x87\xD1\x91\xD1\x82\xD0\xBA\xD0\xBE]\n",
         {"old0", "\xD0\xA1\xD0\xB2\xD0\xB5\xD1\x80\xD1\x85\xD1\x87\xD1\x91\xD1\x82\xD0\xBA", "old2", "old3", "old4"}},
    };
    for (const Row &row : rows) {
        SetUp();
        write_file(path, row.text);
        EXPECT_EQ(get_version(path.c_str()), 0);
        for (int i = 0; i < QZ_VER_COUNT; i++)
            EXPECT_STREQ(QZ_verArr[i], row.slots[i]) << QZ_vername[i] << " in " << row.text;
    }
}

TEST_F(VersionFile, MissingEmptyAndOverlongFiles)
{
    EXPECT_EQ(get_version(path.c_str()), -1);
    write_file(path, "");
    EXPECT_EQ(get_version(path.c_str()), 0);
    EXPECT_STREQ(QZ_verArr[0], "old0");
    /* Only the first 1023 bytes are read. */
    write_file(path, std::string(1020, ' ') + "SN [late]\n");
    EXPECT_EQ(get_version(path.c_str()), 0);
    EXPECT_STREQ(QZ_verArr[1], "old1");
    write_file(path, std::string(1000, ' ') + "SN [early]\n");
    EXPECT_EQ(get_version(path.c_str()), 0);
    EXPECT_STREQ(QZ_verArr[1], "early");
}

/* ---- index stepping ---- */

TEST(UtilsCommon, IndexSteppingWrapsByKeyAndDirection)
{
    struct Row {
        int key, minimum, maximum, current, direction, expect;
    } rows[] = {
        {'3', 1, 8, 8, 1, 1},
        {'5', 1, 8, 8, 1, 7},
        {'4', 1, 8, 3, 1, 4},
        {'6', 1, 8, 1, 1, 8},
        {'5', 1, 8, 8, 0, 1},
        {'6', 1, 8, 2, 0, 3},
        {'3', 1, 8, 1, 0, 8},
        {',', 1, 8, 4, 0, 3},
        {'3', 0, 9, 9, 1, 0},
        {'5', 0, 1, 0, 1, 1},
        /* Outside the range: stepped all the same, never overflowing. */
        {'3', 1, 8, 12, 1, 1},
        {'5', 1, 8, -3, 1, 8},
        {'3', 1, 8, -3, 1, -2},
        {'3', 0, INT32_MAX, INT32_MAX, 1, 0},
        {'5', INT32_MIN, 0, INT32_MIN, 1, 0},
        /* An empty range. */
        {'3', 5, 2, 3, 1, 5},
    };
    for (const Row &r : rows)
        EXPECT_EQ(getIndexVal(r.key, r.minimum, r.maximum, r.current, r.direction), r.expect)
            << (char)r.key << " " << r.minimum << ".." << r.maximum << " at " << r.current << " dir " << r.direction;
}

/* ---- folders ---- */

TEST(UtilsCommon, CreateDirectoryMakesOnlyComponentsFollowedBySlash)
{
    umask(022);
    std::string dir = make_temp_dir();
    std::string deep = dir + "/a/b/c/";
    EXPECT_EQ(Qel_CreateDirectory(deep.c_str()), 0);
    struct stat st;
    EXPECT_EQ(stat(deep.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    EXPECT_EQ(Qel_CreateDirectory(deep.c_str()), 0); /* all there already */

    std::string leaf = dir + "/x/y";
    EXPECT_EQ(Qel_CreateDirectory(leaf.c_str()), 0);
    EXPECT_EQ(stat((dir + "/x").c_str(), &st), 0);
    EXPECT_NE(stat(leaf.c_str(), &st), 0);

    write_file(dir + "/file", "");
    EXPECT_EQ(Qel_CreateDirectory((dir + "/file/sub/").c_str()), -1);
    EXPECT_EQ(Qel_CreateDirectory(nullptr), -1);
    EXPECT_EQ(Qel_CreateDirectory((std::string(5000, 'a') + "/").c_str()), -1);
    std::string rm = "rm -rf " + dir;
    ASSERT_EQ(system(rm.c_str()), 0);
}

/* ---- UTF-8 text in fixed buffers ---- */

/* Every case cuts to the buffer and never inside a character: what is
 * written is a whole prefix of the text. */
TEST(UtilsCommon, Utf8CutFallsOnACharacterBoundary)
{
    struct Row {
        const char *text;
        size_t size;
        const char *expect;
    } rows[] = {
        {"Forest", 16, "Forest"},
        {"Forest", 4, "For"},
        {"Forest", 1, ""},
        /* "Сверхчёткость": two bytes a letter; 16 bytes held 7.5 letters. */
        {"\xD0\xA1\xD0\xB2\xD0\xB5\xD1\x80\xD1\x85\xD1\x87\xD1\x91\xD1\x82\xD0\xBA", 16,
         "\xD0\xA1\xD0\xB2\xD0\xB5\xD1\x80\xD1\x85\xD1\x87\xD1\x91"},
        {"\xD0\xA1\xD0\xB2", 5, "\xD0\xA1\xD0\xB2"},
        {"\xD0\xA1\xD0\xB2", 4, "\xD0\xA1"},
        {"\xD0\xA1\xD0\xB2", 3, "\xD0\xA1"},
        {"\xD0\xA1\xD0\xB2", 2, ""},
        /* "超清": three bytes a character. */
        {"\xE8\xB6\x85\xE6\xB8\x85", 7, "\xE8\xB6\x85\xE6\xB8\x85"},
        {"\xE8\xB6\x85\xE6\xB8\x85", 6, "\xE8\xB6\x85"},
        {"\xE8\xB6\x85\xE6\xB8\x85", 5, "\xE8\xB6\x85"},
        {"\xE8\xB6\x85\xE6\xB8\x85", 4, "\xE8\xB6\x85"},
        /* A four-byte character. */
        {"a\xF0\x9F\x94\xA5", 5, "a"},
        {"a\xF0\x9F\x94\xA5", 6, "a\xF0\x9F\x94\xA5"},
        /* Bytes that are no UTF-8 are cut where they fall. */
        {"ab\x80\x80\x80\x80\x80", 5, "ab\x80\x80"},
    };
    for (const Row &r : rows) {
        char out[32];
        memset(out, 'x', sizeof out);
        size_t n = vesk_utf8_copy(out, r.size, r.text);
        EXPECT_STREQ(out, r.expect) << r.text << " in " << r.size;
        EXPECT_EQ(n, strlen(r.expect)) << r.text << " in " << r.size;
        EXPECT_EQ(out[r.size], 'x') << "wrote past the buffer: " << r.text << " in " << r.size;

        memset(out, 'x', sizeof out);
        n = vesk_utf8_format(out, r.size, "%s", r.text);
        EXPECT_STREQ(out, r.expect) << r.text << " formatted in " << r.size;
        EXPECT_EQ(n, strlen(r.expect)) << r.text << " formatted in " << r.size;
    }
    char one = 'x';
    EXPECT_EQ(vesk_utf8_copy(&one, 0, "abc"), 0u);
    EXPECT_EQ(one, 'x');
    char out[8];
    EXPECT_EQ(vesk_utf8_copy(out, sizeof out, nullptr), 0u);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(vesk_utf8_format(out, sizeof out, "%d: %s", 2, "\xD0\xA1\xD0\xB2\xD0\xB5"), 7u);
    EXPECT_STREQ(out, "2: \xD0\xA1\xD0\xB2");
}

TEST(UtilsCommon, ScreenCoordinatesOfAnyFloat)
{
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const struct {
        double v;
        int trunc, round, result;
    } rows[] = {
        {2.5, 2, 3, 0},
        {-2.5, -2, -3, 0},
        {-0.4, 0, 0, 0},
        {1048576.0, 1048576, 1048576, 0},
        /* A hold of 1e9 MOA times ten pixels a milliradian. */
        {2.9e9, VESK_COORD_LIMIT, VESK_COORD_LIMIT, -1},
        {-1e30, -VESK_COORD_LIMIT, -VESK_COORD_LIMIT, -1},
        {inf, VESK_COORD_LIMIT, VESK_COORD_LIMIT, -1},
        {-inf, -VESK_COORD_LIMIT, -VESK_COORD_LIMIT, -1},
        {nan, -VESK_COORD_LIMIT, -VESK_COORD_LIMIT, -1},
    };
    for (const auto &r : rows) {
        int t = 7, n = 7;
        EXPECT_EQ(vesk_trunc_coord(r.v, &t), r.result) << r.v;
        EXPECT_EQ(t, r.trunc) << r.v;
        EXPECT_EQ(vesk_round_coord(r.v, &n), r.result) << r.v;
        EXPECT_EQ(n, r.round) << r.v;
    }
}

} // namespace
