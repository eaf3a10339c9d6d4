// The library writes the board's real sysfs paths, so the test process
// gives itself a private mount namespace with a scratch /sys/class in which
// the GPIO files are plain files it can read back.
#include "gpio.h"
#include "sim_ns.h"

#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <stdio.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

namespace {

bool g_private_sys = false;

bool write_file(const char *path, const char *text)
{
    FILE *f = fopen(path, "w");
    if (f == NULL) return false;
    fputs(text, f);
    return fclose(f) == 0;
}

/* Runs before main, while the process has one thread, so that a user
 * namespace can still be entered when the test does not run as root. */
__attribute__((constructor)) void enter_private_sys()
{
    if (sim_private_ns(CLONE_NEWNS) != 0) return;
    if (mount(NULL, "/", NULL, MS_REC | MS_PRIVATE, NULL) != 0) return;
    if (mount("tmpfs", "/sys/class", "tmpfs", 0, "mode=0755") != 0) return;
    g_private_sys = mkdir("/sys/class/gpio", 0755) == 0;
}

std::string read_file(const char *path)
{
    std::string text;
    FILE *f = fopen(path, "r");
    if (f == NULL) return "<missing>";
    int c;
    while ((c = fgetc(f)) != EOF) text += (char)c;
    fclose(f);
    return text;
}

class Gpio : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(g_private_sys) << "no private mount namespace for /sys/class";
        /* A fresh pin folder per case, as the kernel makes on export. */
        system("rm -rf /sys/class/gpio/*");
        ASSERT_TRUE(write_file("/sys/class/gpio/export", ""));
        ASSERT_TRUE(write_file("/sys/class/gpio/unexport", ""));
        ASSERT_EQ(mkdir("/sys/class/gpio/gpio113", 0755), 0);
        ASSERT_TRUE(write_file("/sys/class/gpio/gpio113/direction", ""));
        ASSERT_TRUE(write_file("/sys/class/gpio/gpio113/value", ""));
    }
};

TEST_F(Gpio, WritesEachNodeInTheKernelsText)
{
    struct Row {
        int (*call)(int, int);
        int pin, arg;
        const char *path, *text;
    } rows[] = {
        {[](int p, int) { return gpio_export(p); }, 113, 0, "/sys/class/gpio/export", "113"},
        {[](int p, int) { return gpio_unexport(p); }, 114, 0, "/sys/class/gpio/unexport", "114"},
        {gpio_set_direction, 113, 1, "/sys/class/gpio/gpio113/direction", "out"},
        {gpio_set_direction, 113, 0, "/sys/class/gpio/gpio113/direction", "in"},
        /* No clamping: the kernel, not the library, judges the value. */
        {gpio_set_value, 113, 5, "/sys/class/gpio/gpio113/value", "5"},
        {gpio_set_value, 113, -1, "/sys/class/gpio/gpio113/value", "-1"},
    };
    for (const Row &r : rows) {
        ASSERT_TRUE(write_file(r.path, ""));
        EXPECT_EQ(r.call(r.pin, r.arg), (int)strlen(r.text)) << r.path;
        EXPECT_EQ(read_file(r.path), r.text) << r.path;
    }
}

TEST_F(Gpio, ReadsTheFirstCharacterOfTheValue)
{
    const struct {
        const char *content;
        int expect;
    } rows[] = {{"1\n", 1}, {"0\n", 0}, {"", 0}};
    for (const auto &r : rows) {
        ASSERT_TRUE(write_file("/sys/class/gpio/gpio113/value", r.content));
        EXPECT_EQ(gpio_get_value(113), r.expect) << "content '" << r.content << "'";
    }
    EXPECT_EQ(gpio_get_value(200), -1);
}

TEST_F(Gpio, FailuresKeepTheWritesErrno)
{
    errno = 0;
    EXPECT_EQ(gpio_set_value(200, 1), -1);
    EXPECT_EQ(errno, ENOENT);
    errno = 0;
    EXPECT_EQ(gpio_write_node("/dev/full", "1", 1), -1);
    EXPECT_EQ(errno, ENOSPC);
}

} // namespace
