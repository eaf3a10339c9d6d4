// scope-sim's peer and rangefinder commands, run as a person runs them: the
// README's example script, and the errors a script gets for a wrong step.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "scope_sim_run.h"
#include "sim_harness.h"
#include "update_zip.h"

namespace {

/* scope-sim at a terminal: each input line is typed once the output so far
 * holds the text before it; then Ctrl-D. What the terminal showed, and the
 * exit status. */
scope_result scope_sim_tty(const std::vector<std::string> &args,
                           const std::vector<std::pair<std::string, std::string>> &after_type)
{
    scope_result r;
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return r;
    std::string slave = ptsname(master);
    pid_t pid = fork();
    if (pid == 0) {
        setsid();
        int fd = open(slave.c_str(), O_RDWR);
        dup2(fd, 0);
        dup2(fd, 1);
        dup2(fd, 2);
        std::vector<std::string> all = {std::string(VESK_BIN_DIR) + "/scope-sim"};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (std::string &a : all) argv.push_back(&a[0]);
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    auto read_until = [&](const std::string &what, int ms) {
        for (int waited = 0; r.out.find(what) == std::string::npos && waited < ms; waited += 20) {
            struct pollfd p = {master, POLLIN, 0};
            if (poll(&p, 1, 20) > 0) {
                char buf[4096];
                ssize_t n = read(master, buf, sizeof buf);
                if (n <= 0) return;
                r.out.append(buf, (size_t)n);
            }
        }
    };
    for (const auto &step : after_type) {
        read_until(step.first, SIM_BOOT_MS);
        if (write(master, step.second.data(), step.second.size()) < 0) break;
    }
    int status = 0;
    for (int waited = 0; waitpid(pid, &status, WNOHANG) == 0 && waited < SIM_BOOT_MS; waited += 20)
        read_until("\x01", 20);
    read_until("\x01", 100);
    close(master);
    if (WIFEXITED(status)) r.status = WEXITSTATUS(status);
    return r;
}

size_t count(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}

TEST(ScopeSim, TheRangeExampleShowsTheDistanceAndTheHoldOver)
{
    scope_result r = scope_sim({VESK_SOURCE_DIR "/sim/scope-sim/examples/range.scope"}, "", true);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(count(r.out, "scope-sim: gui received AA160402FF80000001000101C807"), 1u) << r.out;
    EXPECT_EQ(count(r.out, "(distance 456.7 m)"), 1u) << r.out;
    /* The solution for the range, at the GUI and then drawn on the video. */
    EXPECT_EQ(count(r.out, "at 456.7 m, pitch 0.0, azimuth 0.0)"), 2u) << r.out;
    EXPECT_EQ(count(r.out, "scope-sim: media received AA1A1B0A0080"), 2u) << r.out;
    EXPECT_NE(r.out.find("scope-sim: sightd ended: exit 0"), std::string::npos) << r.out;
}

TEST(ScopeSim, ThePhoneExampleRenamesTheAccessPoint)
{
    scope_result r = scope_sim({VESK_SOURCE_DIR "/sim/scope-sim/examples/phone.scope"}, "", true);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("ssid=VeskNV_phone wpa_passphrase=phonepass1"), std::string::npos) << r.out;
    /* The name the phone reads back, and the wind report for 7 m/s. */
    EXPECT_EQ(count(r.out, "scope-sim: http received AA12F40001005665736B4E565F70686F6E6567EBAA"), 1u) << r.out;
    EXPECT_EQ(count(r.out, "scope-sim: gui received AA080000268007005FEBAA"), 1u) << r.out;
    EXPECT_NE(r.out.find("scope-sim: sightd ended: exit 0"), std::string::npos) << r.out;
}

TEST(ScopeSim, ThePcToolExampleWritesTheSerialNumberAndAZeroAngle)
{
    scope_result r = scope_sim({VESK_SOURCE_DIR "/sim/scope-sim/examples/pc-tool.scope"}, "", true);
    EXPECT_EQ(r.status, 0) << r.out;
    const char *replies[] = {
        "scope-sim: pc reply 55 07 00 1A 00 81 05 FC EB AA value=5", /* the probe */
        "text=\"VK-2026-0099\"",                                     /* the serial number read back */
        "degrees=-2.5",                                              /* the zero slant read back */
        "scope-sim: gui received AA070700000003BBEBAA",              /* key 3, short */
    };
    for (const char *reply : replies) EXPECT_EQ(count(r.out, reply), 1u) << reply << "\n" << r.out;
}

TEST(ScopeSim, AWrongPeerStepEndsTheScript)
{
    const struct {
        const char *script;
        const char *why;
    } rows[] = {
        {"send gui 00 00 29 00 FF\n", "the peer was not started"},
        {"peers gui\nsend gui 00 00 29\n", "a frame without its flag"},
        {"peers gui\nsend gui 00 00 2G 00\n", "no hex byte"},
        {"peers sms\n", "no such peer"},
        {"peers gui\nexpect gui 0.5 04 02\n", "nothing ranged"},
        {"lrf fly away\n", "a line the module does not know"},
    };
    for (const auto &row : rows) {
        scope_result r = scope_sim({}, row.script, true);
        EXPECT_EQ(r.status, 125) << row.why << "\n" << r.out;
        EXPECT_NE(r.out.find("scope-sim: sightd ended: stopped"), std::string::npos) << row.why << "\n" << r.out;
    }
}

TEST(ScopeSim, AtATerminalABadCommandIsReportedAndCtrlDEndsTheRun)
{
    char dir[] = "/tmp/scope-sim-tty-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string png = std::string(dir) + "/s.png";
    scope_result r =
        scope_sim_tty({"--run", "peers media", "--run", "gui", "-"}, {{"scope> ", "key rnage\n"},
                                                                      {"no key 'rnage'", "screenshot " + png + "\n"},
                                                                      {"scope-sim: screenshot " + png, "\x04"}});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("scope-sim: key: no key 'rnage'"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("scope-sim: sightd ended: stopped"), std::string::npos) << r.out;
    /* sightui was up before the screenshot was asked for. */
    struct stat st;
    EXPECT_EQ(stat(png.c_str(), &st), 0) << r.out;
    EXPECT_GT(st.st_size, 0) << r.out;
    unlink(png.c_str());
    unlink((png + ".txt").c_str());
    rmdir(dir);
}

TEST(ScopeSim, AScriptEndsAtItsFirstBadCommand)
{
    scope_result r = scope_sim({"--run", "peers media"}, "key rnage\necho never\n", true);
    EXPECT_EQ(r.status, 125) << r.out;
    EXPECT_EQ(r.out.find("never"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("scope-sim: sightd ended: stopped"), std::string::npos) << r.out;
}

TEST(ScopeSim, APeerSendsAndTheGuiStandInSeesTheAnswer)
{
    /* The whole frame as bytes, and the same request framed by scope-sim. */
    scope_result r = scope_sim({},
                               "peers gui\n"
                               "expect gui 40 00 00 2B\n"
                               "received gui 00 00 29\n"
                               "send gui AA 07 00 00 29 00 01 DB EB AA\n"
                               "expect gui 5 00 00 29\n"
                               "send gui 00 00 29 00 FF\n"
                               "expect gui 5 00 00 29\n"
                               "received gui 00 00 29\n"
                               "signal TERM\nwait 10\n",
                               true);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(count(r.out, "scope-sim: gui received AA0700002980015BEBAA"), 2u) << r.out;
    /* The boot push's debug state is taken by the received before the
     * requests, so neither expect can mistake it for its answer. */
    EXPECT_EQ(count(r.out, "scope-sim: gui received AA0700002980005AEBAA"), 1u) << r.out;
}

/* An update played in scope-sim: the package dropped on the Media
 * partition ends the run in a reboot, and the kept folder's next boot
 * starts with the boot installer taking it. */
TEST(ScopeSim, AnUpdateDroppedOnMediaIsInstalledAtTheNextBoot)
{
    char templ[] = "/tmp/scope-sim-update-XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    std::string dir = templ, pkg = dir + "/device_upgrade_demo.zip", kept = dir + "/kept";
    ASSERT_TRUE(update_zip_file(pkg, update_zip_package("device_upgrade_demo", update_zip_legacy)));
    scope_result first = scope_sim({"--keep", kept}, "update " + pkg + "\nwait 60\n", true);
    EXPECT_EQ(first.status, 200) << first.out;
    EXPECT_NE(first.out.find("update: device_upgrade_demo.zip in the Media root"), std::string::npos) << first.out;
    scope_result again = scope_sim({"--keep", kept}, "stop\n", true);
    EXPECT_NE(again.out.find("boot installer: installed device_upgrade: release.tar sightd update.sh"),
              std::string::npos)
        << again.out;
    EXPECT_EQ(system(("rm -rf " + dir).c_str()), 0);
}

} // namespace
