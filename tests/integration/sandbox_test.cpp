// The sandbox and scope-sim, checked from outside with sandbox-probe running
// inside: what the programs find there, how runs end, and every way a peer
// reaches them (serial lines, keys, sensors, files, the board log).
#include "sim.h"
#include "sim_harness.h" /* its deadlines */

#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <linux/input.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "scope_sim_run.h"
#include "vesk_clock.h"

#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

extern char **environ;

namespace {

std::string temp_dir()
{
    const char *tmp = getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/vesk-sandbox-test-XXXXXX";
    return mkdtemp(&dir[0]) ? dir : "";
}

int remove_entry(const char *path, const struct stat *, int, struct FTW *) { return remove(path); }

void remove_tree(const std::string &dir) { nftw(dir.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS); }

bool exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::map<std::string, std::string> facts_of(const std::string &text)
{
    std::map<std::string, std::string> facts;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        size_t eq = line.find('=');
        if (eq != std::string::npos) facts[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return facts;
}

/* A program's standard output, read as it comes. */
struct Output {
    int fd = -1;
    std::string text;

    /* Reads what is there, waiting up to ms for more. false at the end. */
    bool pump(int ms)
    {
        struct pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, ms) <= 0) return true;
        char buf[4096];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0) text.append(buf, (size_t)n);
        return n > 0;
    }

    /* Takes what is there now; daemons a probe started may hold the pipe
     * open after the probe has ended. */
    void drain()
    {
        struct pollfd p = {fd, POLLIN, 0};
        while (poll(&p, 1, 0) > 0 && pump(0))
            ;
    }

    bool wait_for(const std::string &what, int ms)
    {
        long long deadline = (long long)vesk_mono_ms() + ms;
        while (text.find(what) == std::string::npos && (long long)vesk_mono_ms() < deadline)
            if (!pump(50)) break;
        return text.find(what) != std::string::npos;
    }

    ~Output()
    {
        if (fd >= 0) close(fd);
    }
};

class Sandbox : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string why;
        ASSERT_TRUE(sim_available(&why)) << "no sandbox on this machine: " << why;
    }

    void TearDown() override
    {
        sim_destroy(sb);
        for (sim_sandbox *other : others) sim_destroy(other);
    }

    sim_sandbox *make(const sim_options &o = sim_options())
    {
        std::string error;
        sim_sandbox *made = nullptr;
        int rc = sim_create(o, &made, &error);
        EXPECT_EQ(rc, 0) << error;
        if (!sb)
            sb = made;
        else if (made)
            others.push_back(made);
        return made;
    }

    /* Starts the probe with its output on a pipe; its pid. */
    int start(sim_sandbox *in, const std::vector<std::string> &args, Output *out)
    {
        int pipefd[2];
        EXPECT_EQ(pipe2(pipefd, O_CLOEXEC), 0);
        sim_spawn_args a;
        a.argv = {"sandbox-probe"};
        a.argv.insert(a.argv.end(), args.begin(), args.end());
        a.stdout_fd = pipefd[1];
        int pid = sim_spawn(in, a);
        close(pipefd[1]);
        out->fd = pipefd[0];
        EXPECT_GT(pid, 1) << strerror(-pid);
        return pid;
    }

    /* Runs the probe to its end; its outcome, its output in *text. */
    sim_outcome run(sim_sandbox *in, const std::vector<std::string> &args, std::string *text = nullptr)
    {
        Output out;
        int pid = start(in, args, &out);
        sim_outcome outcome;
        long long deadline = (long long)vesk_mono_ms() + 20000;
        int rc;
        /* Read while waiting: a full pipe must not hold the probe up. */
        while ((rc = sim_wait(in, pid, 20, &outcome)) == -ETIMEDOUT && (long long)vesk_mono_ms() < deadline)
            out.pump(0);
        EXPECT_EQ(rc, 0) << "the probe did not end: " << strerror(-rc);
        out.drain();
        if (text) *text = out.text;
        return outcome;
    }

    sim_outcome run(const std::vector<std::string> &args, std::string *text = nullptr) { return run(sb, args, text); }

    /* The probe's shell: the exit status of the command. */
    int shell(const std::string &command, std::string *text = nullptr)
    {
        sim_outcome o = run({"sh", command}, text);
        EXPECT_EQ(o.end, SIM_EXITED) << sim_outcome_text(o);
        return o.code;
    }

    sim_sandbox *sb = nullptr;
    std::vector<sim_sandbox *> others;
};

// --- what a program finds inside ---

TEST_F(Sandbox, LooksLikeTheBoardInside)
{
    sim_options o;
    o.media_bytes = 8 << 20;
    ASSERT_TRUE(make(o));
    std::string text;
    sim_outcome end = run({"facts"}, &text);
    ASSERT_EQ(end.end, SIM_EXITED);
    ASSERT_EQ(end.code, 0) << text;
    std::map<std::string, std::string> f = facts_of(text);
    const std::map<std::string, std::string> want = {
        {"uid", "0"},
        {"capeff", "0000000000400000"}, /* CAP_SYS_BOOT alone */
        {"parent", "vesk-sim-agent"},
        {"netdevs", "lo"},
        {"usr_writable", "0"},
        {"media_mount", "1"},
        {"media_bytes", std::to_string(8 << 20)},
        {"media_board_type", "0x4d44"},
        {"dev:/dev/ttyS2", "chr"},
        {"dev:/dev/ttyS4", "chr"},
        {"dev:/dev/ttyS5", "chr"},
        {"dev:/dev/input/event0", "fifo"},
        {"dev:/dev/iio:device1", "fifo"},
        {"dev:/dev/iio:device2", "fifo"},
        {"dev:/dev/hardware", "reg"},
        {"dev:/dev/uart_switch", "reg"},
        {"dev:/dev/rtc0", "reg"},
        {"dev:/dev/mem", "reg"},
        {"mem_size", std::to_string(SIM_USB_REG_BASE + 4096)},
        {"battery", "13913"},
        {"zoom", "12000"},
        {"eeprom_size", "4096"},
        {"gpio113", "reg"},
        {"gpio_export", "reg"},
        {"ar_boardinfo", "reg"},
    };
    for (const auto &w : want) EXPECT_EQ(f[w.first], w.second) << w.first;
    for (const char *dir :
         {"/factory", "/factory2", "/usrdata", "/usrdata/media", "/tmp", "/etc/wifi", "/var", "/sim", "/sys"})
        EXPECT_EQ(f[std::string("writable:") + dir], "1") << dir;
    for (const char *tool : {"insmod", "hostapd", "udhcpd", "mkfs.vfat", "mount", "umount", "umtprd", "ifconfig"})
        EXPECT_EQ(f[std::string("tool:") + tool], std::string(SIM_TOOLS_DIR "/") + tool);
    EXPECT_LT(atoi(f["pid"].c_str()), 100) << "a PID namespace of its own";
}

// --- how a run ends ---

struct EndCase {
    std::vector<std::string> args;
    sim_end end;
    int code;
};

std::ostream &operator<<(std::ostream &out, const EndCase &c)
{
    for (const std::string &a : c.args) out << a << " ";
    return out;
}

class SandboxEnd : public Sandbox, public ::testing::WithParamInterface<EndCase> {};

TEST_P(SandboxEnd, OutcomeOfTheProgramAndTheSandbox)
{
    ASSERT_TRUE(make());
    sim_outcome o = run(GetParam().args);
    EXPECT_EQ(o.end, GetParam().end) << sim_outcome_text(o);
    EXPECT_EQ(o.code, GetParam().code);
    sim_outcome whole;
    bool board_down = GetParam().end == SIM_REBOOT || GetParam().end == SIM_POWER_OFF;
    EXPECT_EQ(sim_wait_end(sb, board_down ? 5000 : 200, &whole), board_down ? 0 : -ETIMEDOUT);
    if (board_down) {
        EXPECT_EQ(whole.end, GetParam().end);
        sim_spawn_args again;
        again.argv = {"sandbox-probe", "exit", "0"};
        EXPECT_LT(sim_spawn(sb, again), 0) << "nothing starts on a board that went down";
    }
}

INSTANTIATE_TEST_SUITE_P(Ends, SandboxEnd,
                         ::testing::Values(EndCase{{"exit", "0"}, SIM_EXITED, 0}, EndCase{{"exit", "3"}, SIM_EXITED, 3},
                                           EndCase{{"reboot"}, SIM_REBOOT, 0}, EndCase{{"poweroff"}, SIM_POWER_OFF, 0},
                                           EndCase{{"raise", "9"}, SIM_SIGNALED, 9},
                                           EndCase{{"raise", "1"}, SIM_SIGNALED, 1}));

TEST_F(Sandbox, SignalReachesTheProgram)
{
    ASSERT_TRUE(make());
    Output out;
    int pid = start(sb, {"wait-term"}, &out);
    ASSERT_TRUE(out.wait_for("ready\n", SIM_REPLY_MS));
    sim_outcome o;
    EXPECT_EQ(sim_wait(sb, pid, 100, &o), -ETIMEDOUT);
    EXPECT_EQ(o.end, SIM_RUNNING);
    ASSERT_EQ(sim_kill(sb, pid, SIGTERM), 0);
    ASSERT_EQ(sim_wait(sb, pid, 5000, &o), 0);
    EXPECT_EQ(o.end, SIM_EXITED);
    EXPECT_EQ(o.code, 0);
    EXPECT_TRUE(out.wait_for("got SIGTERM\n", SIM_REPLY_MS));
    EXPECT_EQ(sim_kill(sb, 1, SIGTERM), -EINVAL) << "the agent is not a target";
}

TEST_F(Sandbox, StopEndsEveryProgram)
{
    ASSERT_TRUE(make());
    Output a, b;
    int first = start(sb, {"wait-term"}, &a);
    int second = start(sb, {"wait-term"}, &b);
    ASSERT_TRUE(a.wait_for("ready", SIM_REPLY_MS));
    sim_outcome o;
    sim_stop(sb, &o);
    EXPECT_EQ(o.end, SIM_ENDED);
    for (int pid : {first, second}) {
        ASSERT_EQ(sim_wait(sb, pid, 2000, &o), 0);
        EXPECT_EQ(o.end, SIM_ENDED);
    }
}

TEST_F(Sandbox, InheritableDescriptorsStayOutside)
{
    int p[2];
    ASSERT_EQ(pipe(p), 0); /* inheritable, as a careless caller leaves it */
    ASSERT_TRUE(make());
    EXPECT_EQ(run({"sh", "sleep 0.1"}).code, 0);
    close(p[1]);
    struct pollfd w = {p[0], POLLIN, 0};
    ASSERT_EQ(poll(&w, 1, 2000), 1) << "no process of the sandbox holds the write end";
    char c;
    EXPECT_EQ(read(p[0], &c, 1), 0);
    close(p[0]);
}

// --- one set of namespaces per sandbox ---

TEST_F(Sandbox, ProgramsShareQueuesAndSandboxesDoNot)
{
    sim_sandbox *a = make();
    sim_sandbox *b = make();
    ASSERT_TRUE(a && b);
    Output got;
    int receiver = start(a, {"queue", "recv", "12345"}, &got);
    EXPECT_EQ(run(a, {"queue", "send", "12345", "from-a"}).code, 0);
    sim_outcome o;
    ASSERT_EQ(sim_wait(a, receiver, 5000, &o), 0);
    EXPECT_EQ(o.code, 0);
    EXPECT_TRUE(got.wait_for("from-a\n", SIM_REPLY_MS));
    EXPECT_EQ(run(b, {"queue", "absent", "12345"}).code, 0) << "the other sandbox sees no queue 12345";
}

TEST_F(Sandbox, ManySandboxesRunSideBySide)
{
    const int count = 4;
    std::vector<sim_sandbox *> all;
    for (int i = 0; i < count; i++) all.push_back(make());
    for (int i = 0; i < count; i++) {
        ASSERT_TRUE(all[i]);
        EXPECT_EQ(run(all[i], {"queue", "send", "54321", "box" + std::to_string(i)}).code, 0);
    }
    for (int i = 0; i < count; i++) {
        std::string text;
        EXPECT_EQ(run(all[i], {"queue", "recv", "54321"}, &text).code, 0);
        EXPECT_EQ(text, "box" + std::to_string(i) + "\n");
    }
}

// --- serial lines ---

class SandboxSerial : public Sandbox, public ::testing::WithParamInterface<const char *> {};

TEST_P(SandboxSerial, BytesPassUnchangedBothWays)
{
    ASSERT_TRUE(make());
    int master = sim_pty(sb, GetParam());
    ASSERT_GE(master, 0);
    /* Bytes a cooked line would change or act on. */
    const std::string frame("\xEE\x16\x02\x03\x05\x08\r\n\x11\x13\x03\x04\x7f\x00", 14);
    Output out;
    int pid = start(sb, {"tty-echo", GetParam(), std::to_string(frame.size())}, &out);
    ASSERT_TRUE(out.wait_for("open\n", SIM_REPLY_MS));
    ASSERT_EQ(write(master, frame.data(), frame.size()), (ssize_t)frame.size());
    std::string back;
    long long deadline = (long long)vesk_mono_ms() + 5000;
    while (back.size() < frame.size() && (long long)vesk_mono_ms() < deadline) {
        struct pollfd p = {master, POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char buf[64];
            ssize_t n = read(master, buf, sizeof buf);
            if (n > 0) back.append(buf, (size_t)n);
        }
    }
    EXPECT_EQ(back, frame);
    sim_outcome o;
    ASSERT_EQ(sim_wait(sb, pid, 5000, &o), 0);
    EXPECT_EQ(o.code, 0);
}

INSTANTIATE_TEST_SUITE_P(Lines, SandboxSerial, ::testing::Values("/dev/ttyS2", "/dev/ttyS4", "/dev/ttyS5"));

TEST_F(Sandbox, OnlyTheThreeLinesHavePtys)
{
    ASSERT_TRUE(make());
    EXPECT_EQ(sim_pty(sb, "/dev/ttyS6"), -1);
    EXPECT_EQ(sim_pty(sb, nullptr), -1);
}

// --- keys and sensors ---

TEST_F(Sandbox, KeysWrittenBeforeTheReaderOpensArrive)
{
    ASSERT_TRUE(make());
    ASSERT_EQ(sim_key_event(sb, 8, 1), 0);
    ASSERT_EQ(sim_key_event(sb, 8, 0), 0);
    std::string text;
    sim_outcome o = run({"keys", "4"}, &text);
    ASSERT_EQ(o.code, 0) << text;
    EXPECT_EQ(text, "keybits=96\n1 8 1\n0 0 0\n1 8 0\n0 0 0\n");
    std::vector<std::string> rep = sim_board_log(sb, "ioctl");
    ASSERT_EQ(rep.size(), 2u);
    EXPECT_EQ(sim_log_field(rep[0], "node"), SIM_KEY_DEVICE);
    EXPECT_EQ(sim_log_field(rep[0], "delay"), "500");
    EXPECT_EQ(sim_log_field(rep[0], "period"), "200");
    EXPECT_EQ(sim_log_field(rep[1], "rc"), "96");
}

TEST_F(Sandbox, RawInputEventsPassAsWritten)
{
    ASSERT_TRUE(make());
    ASSERT_EQ(sim_input_event(sb, EV_MSC, MSC_SCAN, -7), 0);
    std::string text;
    ASSERT_EQ(run({"keys", "1"}, &text).code, 0);
    EXPECT_EQ(text, "keybits=96\n4 4 -7\n");
}

TEST_F(Sandbox, IioSamplesArrive)
{
    ASSERT_TRUE(make());
    ASSERT_EQ(sim_iio_sample(sb, 1, 1, -2, -16384), 0);
    ASSERT_EQ(sim_iio_sample(sb, 2, 300, 32767, -32768), 0);
    EXPECT_EQ(sim_iio_sample(sb, 3, 0, 0, 0), -EINVAL);
    std::string accel, magn;
    EXPECT_EQ(run({"iio", "1", "1"}, &accel).code, 0);
    EXPECT_EQ(run({"iio", "2", "1"}, &magn).code, 0);
    EXPECT_EQ(accel, "1 -2 -16384\n");
    EXPECT_EQ(magn, "300 32767 -32768\n");
}

TEST_F(Sandbox, UsbRegistersInDevMem)
{
    ASSERT_TRUE(make());
    uint32_t supply = 0x000C0000;
    uint32_t line = 0x00123400;
    ASSERT_EQ(sim_pwrite(sb, "/dev/mem", SIM_USB_REG_BASE, &supply, sizeof supply), 0);
    ASSERT_EQ(sim_pwrite(sb, "/dev/mem", SIM_USB_REG_BASE + 2056, &line, sizeof line), 0);
    std::string text;
    ASSERT_EQ(run({"usb"}, &text).code, 0);
    EXPECT_EQ(text, "word0=0x000c0000 word2056=0x00123400\n");
}

TEST_F(Sandbox, SysfsValueIsNeverSeenHalfWritten)
{
    ASSERT_TRUE(make());
    Output out;
    int pid = start(sb, {"read-loop", SIM_BATTERY_RAW, "4000"}, &out);
    sim_outcome o;
    int writes = 0;
    while (sim_wait(sb, pid, 0, &o) == -ETIMEDOUT) {
        ASSERT_EQ(sim_write_file(sb, SIM_BATTERY_RAW, writes++ % 2 ? "13913\n" : "9000\n"), 0);
        out.pump(0);
    }
    out.drain();
    EXPECT_GT(writes, 10);
    std::istringstream in(out.text);
    for (std::string line; std::getline(in, line);)
        EXPECT_TRUE(line.rfind("seen [13913] ", 0) == 0 || line.rfind("seen [9000] ", 0) == 0) << line;
}

// --- files in and out ---

TEST_F(Sandbox, FilesArePutInPlaceBeforeAnythingRuns)
{
    sim_options o;
    o.files = {{"/factory/config.ini", "[a]\nb=1\n", 0644},
               {"/etc/wifi/hostapd_wpa2.conf", "ssid=x\n", 0600},
               {"/usrdata/media/UART_SWITCH_ARM.cfg", "", 0644},
               {SIM_BATTERY_RAW, "9000\n", 0644}};
    ASSERT_TRUE(make(o));
    std::string text;
    EXPECT_EQ(shell("cat /factory/config.ini /etc/wifi/hostapd_wpa2.conf " SIM_BATTERY_RAW
                    " && test -e /usrdata/media/UART_SWITCH_ARM.cfg && stat -c %a /etc/wifi/hostapd_wpa2.conf",
                    &text),
              0);
    EXPECT_EQ(text, "[a]\nb=1\nssid=x\n9000\n600\nstatus=0\n");

    sim_options bad;
    bad.files = {{"/usr/bin/oops", "x", 0644}};
    std::string error;
    sim_sandbox *none = nullptr;
    EXPECT_EQ(sim_create(bad, &none, &error), -EROFS);
    EXPECT_EQ(none, nullptr);
    EXPECT_NE(error.find("/usr/bin/oops"), std::string::npos) << error;
}

TEST_F(Sandbox, HostPathsReachFilesWhileAndAfterTheRun)
{
    ASSERT_TRUE(make());
    EXPECT_EQ(shell("echo media > /usrdata/media/a && echo fac > /factory/b && echo sys > /sys/c"), 0);
    std::string text;
    ASSERT_EQ(sim_read_file(sb, "/usrdata/media/a", &text), 0);
    EXPECT_EQ(text, "media\n");
    EXPECT_EQ(sim_path(sb, "/factory/b"), sim_dir(sb) + "/factory/b");
    EXPECT_EQ(sim_path(sb, "/usr/bin/sh"), "/usr/bin/sh");
    EXPECT_EQ(sim_path(sb, "/opt/vesk/bin/sandbox-probe"), sim_host_bin(sb, "sandbox-probe"));
    EXPECT_EQ(run({"reboot"}).end, SIM_REBOOT);
    /* The board is down; its Media partition can still be read. */
    ASSERT_EQ(sim_read_file(sb, "/usrdata/media/a", &text), 0);
    EXPECT_EQ(text, "media\n");
    ASSERT_EQ(sim_read_file(sb, "/sys/c", &text), 0);
    EXPECT_EQ(text, "sys\n");
}

TEST_F(Sandbox, MediaHasTheChosenSize)
{
    sim_options o;
    o.media_bytes = 4 << 20;
    ASSERT_TRUE(make(o));
    EXPECT_NE(shell("head -c 5000000 /dev/zero > /usrdata/media/big"), 0) << "the Media partition is full";
    EXPECT_EQ(shell("head -c 3000000 /dev/zero > /tmp/big"), 0) << "/tmp is not on it";
}

TEST_F(Sandbox, FreshFolderIsRemovedUnlessKept)
{
    sim_sandbox *gone = make();
    ASSERT_TRUE(gone);
    std::string dir = sim_dir(gone);
    EXPECT_TRUE(exists(dir + "/sim/board.log"));
    sim_destroy(gone);
    sb = nullptr;
    EXPECT_FALSE(exists(dir));

    sim_options o;
    o.keep = true;
    sim_sandbox *kept = make(o);
    ASSERT_TRUE(kept);
    dir = sim_dir(kept);
    EXPECT_EQ(run(kept, {"sh", "echo v > /usrdata/media/Video.txt"}).code, 0);
    sim_destroy(kept);
    sb = nullptr;
    EXPECT_TRUE(exists(dir + "/usrdata/media/Video.txt")) << "the Media files are copied out";
    EXPECT_TRUE(exists(dir + "/sys/bus/nvmem/devices/5-00500/nvmem"));
    remove_tree(dir);
}

TEST_F(Sandbox, KeptFolderBootsAgainWithItsFiles)
{
    std::string dir = temp_dir();
    ASSERT_FALSE(dir.empty());
    sim_options o;
    o.dir = dir;
    ASSERT_TRUE(make(o));
    EXPECT_EQ(shell("echo one > /usrdata/media/boot.txt && echo t > /tmp/t && echo f > /factory/f"), 0);
    EXPECT_EQ(run({"reboot"}).end, SIM_REBOOT);
    sim_destroy(sb);
    sb = nullptr;

    ASSERT_TRUE(make(o));
    std::string text;
    EXPECT_EQ(shell("cat /usrdata/media/boot.txt /factory/f; test ! -e /tmp/t", &text), 0);
    EXPECT_EQ(text, "one\nf\nstatus=0\n") << "Media and /factory stay, /tmp starts empty";
    EXPECT_EQ(sim_board_log(sb, "boot").size(), 2u);
    sim_destroy(sb);
    sb = nullptr;
    remove_tree(dir);
}

// --- the board log and the stand-in tools ---

TEST_F(Sandbox, BoardCallsAreLoggedWithThePidInside)
{
    ASSERT_TRUE(make());
    Output out;
    int pid = start(sb, {"board"}, &out);
    sim_outcome o;
    ASSERT_EQ(sim_wait(sb, pid, 5000, &o), 0);
    EXPECT_EQ(o.code, 0);
    std::vector<std::string> all = sim_board_log(sb);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(sim_log_field(all[0], "call"), "boot");
    const struct {
        const char *call, *node, *key, *value;
    } want[] = {{"ioctl", "/dev/hardware", "nr", "10"},
                {"ioctl", "/dev/uart_switch", "value", "2"},
                {"settimeofday", "", "sec", "1700000000"}};
    for (size_t i = 0; i < 3; i++) {
        EXPECT_EQ(sim_log_field(all[i + 1], "call"), want[i].call);
        EXPECT_EQ(sim_log_field(all[i + 1], "node"), want[i].node);
        EXPECT_EQ(sim_log_field(all[i + 1], want[i].key), want[i].value);
        EXPECT_EQ(sim_log_field(all[i + 1], "pid"), std::to_string(pid));
        EXPECT_EQ(sim_log_field(all[i + 1], "rc"), "0");
    }
}

struct ToolCase {
    const char *command;
    int status;
    std::vector<std::string> logged; /* name, then the arguments */
};

std::ostream &operator<<(std::ostream &out, const ToolCase &c) { return out << c.command; }

class SandboxTool : public Sandbox, public ::testing::WithParamInterface<ToolCase> {};

TEST_P(SandboxTool, LogsItsArgumentsAndAnswers)
{
    sim_options o;
    o.files = {{"/etc/wifi/hostapd_wpa2.conf", "ssid=x\n", 0644}};
    ASSERT_TRUE(make(o));
    EXPECT_EQ(shell(GetParam().command), GetParam().status);
    std::vector<std::string> tools = sim_board_log(sb, "tool");
    ASSERT_EQ(tools.size(), 1u);
    std::vector<std::string> logged = {sim_log_field(tools[0], "name")};
    for (const std::string &a : sim_log_args(tools[0])) logged.push_back(a);
    EXPECT_EQ(logged, GetParam().logged);
}

INSTANTIATE_TEST_SUITE_P(
    Tools, SandboxTool,
    ::testing::Values(
        ToolCase{"insmod /mod/bcmdhd.ko \"firmware_path=/etc/wifi/fw_bcm43438a1.bin "
                 "nvram_path=/etc/wifi/nvram_ap6212a.txt\"",
                 0,
                 {"insmod", "/mod/bcmdhd.ko",
                  "firmware_path=/etc/wifi/fw_bcm43438a1.bin nvram_path=/etc/wifi/nvram_ap6212a.txt"}},
        ToolCase{"ifconfig wlan0 192.168.11.123", 0, {"ifconfig", "wlan0", "192.168.11.123"}},
        ToolCase{"/usrdata/bin/ar_boardinfo -M pinmux -W 113 1", 0, {"ar_boardinfo", "-M", "pinmux", "-W", "113", "1"}},
        ToolCase{"/usrdata/bin/ar_boardinfo -M pinmux -W 114 0", 0, {"ar_boardinfo", "-M", "pinmux", "-W", "114", "0"}},
        ToolCase{"/usrdata/bin/ar_boardinfo -M pinmux -W 114 7", 2, {"ar_boardinfo", "-M", "pinmux", "-W", "114", "7"}},
        ToolCase{"mount /dev/mmcblk0p9 /usrdata/media/", 0, {"mount", "/dev/mmcblk0p9", "/usrdata/media/"}},
        ToolCase{"umount /usrdata/media/", 0, {"umount", "/usrdata/media/"}},
        ToolCase{"mkfs.vfat /dev/mmcblk0p9", 0, {"mkfs.vfat", "/dev/mmcblk0p9"}},
        ToolCase{"hostapd /etc/wifi/missing.conf", 1, {"hostapd", "/etc/wifi/missing.conf"}},
        ToolCase{"udhcpd -S /etc/wifi/missing.conf", 1, {"udhcpd", "-S", "/etc/wifi/missing.conf"}}));

TEST_F(Sandbox, DaemonsStayUpUntilKilled)
{
    sim_options o;
    o.files = {{"/etc/wifi/hostapd_wpa2.conf", "ssid=x\n", 0644}, {"/etc/wifi/udhcpd.conf", "start 1\n", 0644}};
    ASSERT_TRUE(make(o));
    /* The board's own shell lines for the access point and the MTP responder. */
    EXPECT_EQ(shell("hostapd /etc/wifi/hostapd_wpa2.conf & udhcpd -S /etc/wifi/udhcpd.conf & /usrdata/bin/umtprd &"
                    " sleep 0.3;"
                    " pidof hostapd >/dev/null && pidof udhcpd >/dev/null && pidof umtprd >/dev/null &&"
                    " [ $(ps -A | grep hostapd | grep -v grep | wc -l) = 1 ] &&"
                    " kill -9 $(pidof hostapd) && sleep 0.1 && ! pidof hostapd >/dev/null"),
              0);
}

TEST_F(Sandbox, DaemonsLogTheConfigurationTheyRead)
{
    sim_options o;
    o.files = {{"/etc/wifi/hostapd_wpa2.conf", "# made by hand\nssid=My Scope\nwpa_passphrase=a=b\nssid=again\n", 0644},
               {"/etc/wifi/udhcpd.conf", "start 192.168.11.100\n", 0644}};
    ASSERT_TRUE(make(o));
    EXPECT_EQ(shell("hostapd /etc/wifi/hostapd_wpa2.conf & udhcpd -S /etc/wifi/udhcpd.conf &"), 0);
    std::vector<std::string> lines;
    const long long deadline = (long long)vesk_mono_ms() + 10000;
    while ((lines = sim_board_log(sb, "config")).size() < 2 && (long long)vesk_mono_ms() < deadline) usleep(20000);
    ASSERT_EQ(lines.size(), 2u);
    std::map<std::string, std::string> by_tool;
    for (const std::string &line : lines) by_tool[sim_log_field(line, "name")] = line;
    const std::string &hostapd = by_tool["hostapd"];
    EXPECT_EQ(sim_log_field(hostapd, "file"), "/etc/wifi/hostapd_wpa2.conf");
    EXPECT_NE(hostapd.find(" ssid=My\\x20Scope wpa_passphrase=a=b ssid=again"), std::string::npos) << hostapd;
    EXPECT_EQ(hostapd.find("made"), std::string::npos) << "comments are no setting";
    EXPECT_EQ(sim_log_field(by_tool["udhcpd"], "line"), "start 192.168.11.100");
    EXPECT_EQ(shell("kill -9 $(pidof hostapd) $(pidof udhcpd)"), 0);
}

TEST_F(Sandbox, MkfsEmptiesTheMediaPartition)
{
    sim_options o;
    o.files = {{"/usrdata/media/Video/a.mp4", "x", 0644}, {"/usrdata/media/.thumbnails/a.jpg", "y", 0644}};
    ASSERT_TRUE(make(o));
    std::string text;
    EXPECT_EQ(shell("mkfs.vfat /dev/mmcblk0p9 && ls -A /usrdata/media | wc -l", &text), 0);
    EXPECT_EQ(text, "0\nstatus=0\n");
    EXPECT_EQ(facts_of(run({"facts"}, &text).code == 0 ? text : "")["media_mount"], "1");
}

TEST_F(Sandbox, InsmodOfTheWifiDriverBringsUpItsAddress)
{
    ASSERT_TRUE(make());
    std::string text;
    EXPECT_NE(shell("cat /sys/class/net/wlan0/address 2>/dev/null"), 0);
    EXPECT_EQ(shell("insmod /mod/bcmdhd.ko x && cat /sys/class/net/wlan0/address", &text), 0);
    EXPECT_EQ(text.size(), strlen("02:00:5e:10:00:01\nstatus=0\n")) << text;
}

TEST_F(Sandbox, ToolCanBeMadeToFail)
{
    ASSERT_TRUE(make());
    ASSERT_EQ(sim_tool_status(sb, "umount", 1), 0);
    EXPECT_EQ(shell("umount /usrdata/media/"), 1);
    ASSERT_EQ(sim_tool_status(sb, "hostapd", 3), 0);
    EXPECT_EQ(shell("hostapd /etc/wifi/hostapd_wpa2.conf"), 3) << "a failing daemon does not stay up";
    ASSERT_EQ(sim_tool_status(sb, "umount", -1), 0);
    EXPECT_EQ(shell("umount /usrdata/media/"), 0);
    EXPECT_EQ(sim_board_log(sb, "tool").size(), 3u) << "a failing tool still logs";
}

// --- scope-sim ---

class ScopeSim : public Sandbox {
protected:
    static std::string last_line(const std::string &text)
    {
        size_t end = text.find_last_not_of('\n');
        size_t start = text.rfind('\n', end);
        return text.substr(start == std::string::npos ? 0 : start + 1,
                           end - (start == std::string::npos ? 0 : start + 1) + 1);
    }
};

struct ScopeCase {
    const char *script;
    std::vector<std::string> probe;
    int status;
    const char *report; /* last line, after "scope-sim: sandbox-probe ended: " */
    const char *output; /* also printed, or "" */
};

/* The script on one line, its lines split by "; ", and the probe's
 * arguments (ctest shows it in the test's name, where a line end would cut
 * the name). */
std::ostream &operator<<(std::ostream &out, const ScopeCase &c)
{
    std::string line = c.script;
    for (size_t at = line.find('\n'); at != std::string::npos; at = line.find('\n', at))
        line.replace(at, 1, at + 1 < line.size() ? "; " : "");
    out << (line.empty() ? "(no script)" : line) << " (probe";
    for (const std::string &a : c.probe) out << " " << a;
    return out << ")";
}

class ScopeSimRun : public ScopeSim, public ::testing::WithParamInterface<ScopeCase> {};

TEST_P(ScopeSimRun, ReportsHowTheRunEnded)
{
    const ScopeCase &c = GetParam();
    std::vector<std::string> args = {"--program", "sandbox-probe", "-", "--"};
    args.insert(args.end(), c.probe.begin(), c.probe.end());
    scope_result r = scope_sim(args, c.script);
    EXPECT_EQ(r.status, c.status) << r.out;
    EXPECT_EQ(last_line(r.out), std::string("scope-sim: sandbox-probe ended: ") + c.report) << r.out;
    EXPECT_NE(r.out.find(c.output), std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, ScopeSimRun,
    ::testing::Values(
        ScopeCase{"wait 5\n", {"exit", "4"}, 4, "exit 4", ""}, ScopeCase{"wait 5\n", {"reboot"}, 200, "reboot", ""},
        ScopeCase{"wait 5", {"poweroff"}, 201, "power-off", ""},
        ScopeCase{"wait 5\n", {"raise", "9"}, 137, "signal 9", ""},
        ScopeCase{"sleep 0.3\nsignal TERM\nwait 5\n", {"wait-term"}, 0, "exit 0", "got SIGTERM\n"},
        ScopeCase{"sleep 0.3\nsignal 15 # by number\nwait 5\n", {"wait-term"}, 0, "exit 0", "got SIGTERM\n"},
        /* The end of the script ends the run as stop does. */
        ScopeCase{"help\n", {"wait-term"}, 0, "stopped", "  stop"}, ScopeCase{"", {"wait-term"}, 0, "stopped", ""},
        ScopeCase{"echo \"two  words\"\nstop\necho never\n", {"wait-term"}, 0, "stopped", "two  words\n"},
        ScopeCase{"wait 0.2\n", {"wait-term"}, 125, "stopped", ""},
        ScopeCase{"bogus\n", {"wait-term"}, 125, "stopped", ""},
        ScopeCase{"signal NOPE\n", {"wait-term"}, 125, "stopped", ""},
        ScopeCase{"sleep\n", {"wait-term"}, 125, "stopped", ""},
        ScopeCase{"echo \"open\n", {"wait-term"}, 125, "stopped", ""},
        ScopeCase{"write " SIM_BATTERY_RAW " 9000\nwait 5\n",
                  {"sh", "sleep 0.5; cat " SIM_BATTERY_RAW},
                  0,
                  "exit 0",
                  "9000\n"},
        ScopeCase{"spawn sandbox-probe exit 0\nsleep 0.2\nsignal TERM\nwait 5\n",
                  {"wait-term"},
                  0,
                  "exit 0",
                  "scope-sim: started sandbox-probe (pid "}));

TEST_F(ScopeSim, PassesSigtermOn)
{
    int in[2], out[2];
    ASSERT_EQ(pipe2(in, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    pid_t pid = scope_sim_spawn({"--program", "sandbox-probe", "--", "wait-term"}, in[0], out[1]);
    ASSERT_GT(pid, 0);
    close(in[0]);
    close(out[1]);
    Output o;
    o.fd = out[0];
    ASSERT_TRUE(o.wait_for("ready\n", SIM_REPLY_MS)) << o.text;
    kill(pid, SIGTERM);
    EXPECT_TRUE(o.wait_for("ended: exit 0\n", SIM_REPLY_MS)) << o.text;
    EXPECT_NE(o.text.find("got SIGTERM"), std::string::npos);
    close(in[1]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(ScopeSim, PutsHostFilesInPlaceOnAMediaOfTheChosenSize)
{
    std::string dir = temp_dir();
    ASSERT_FALSE(dir.empty());
    FILE *f = fopen((dir + "/switch.cfg").c_str(), "w");
    ASSERT_TRUE(f);
    fputs("arm\n", f);
    fclose(f);
    scope_result r =
        scope_sim({"--media-size", "8M", "--file", "/usrdata/media/UART_SWITCH_ARM.cfg=" + dir + "/switch.cfg",
                   "--program", "sandbox-probe", "--", "sh",
                   "cat /usrdata/media/UART_SWITCH_ARM.cfg && echo $(($(stat -f -c '%b*%S' /usrdata/media)))"},
                  "wait 5\n");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("arm\n" + std::to_string(8 << 20) + "\n"), std::string::npos) << r.out;
    EXPECT_EQ(scope_sim({"--file", "/factory/x=" + dir + "/missing", "--program", "sandbox-probe"}, "").status, 125);
    remove_tree(dir);
}

TEST_F(ScopeSim, KeepLeavesTheFolder)
{
    std::string dir = temp_dir();
    ASSERT_FALSE(dir.empty());
    scope_result r = scope_sim({"--keep", dir, "--program", "sandbox-probe", "--", "board"}, "wait 5\n");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("scope-sim: sandbox kept in " + dir), std::string::npos);
    EXPECT_TRUE(exists(dir + "/sim/board.log"));
    EXPECT_TRUE(exists(dir + "/usrdata/media"));
    remove_tree(dir);
}

} // namespace
