// sightui with no sightd: it creates both queues, leaves its READY frame in
// queue 54321, shows the boot page at the size its arguments give, and
// keeps running through a termination signal.
#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <libgen.h>
#include <sched.h>
#include <signal.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/mount.h>
#include <sys/msg.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "vesk_msgq.h"

namespace {

std::string read_text(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool wait_for(const std::function<bool()> &done, int ms)
{
    for (int i = 0; i < ms / 10; i++) {
        if (done()) return true;
        usleep(10000);
    }
    return done();
}

struct BootRun {
    std::vector<std::string> args;
    int w, h;
};

/* In the child: own IPC and mount namespaces with a fresh /tmp. Returns
 * normally only in the child, with sightui started; the caller checks and
 * _exits. */
pid_t start_sightui(const std::vector<std::string> &args)
{
    /* Program and resources are reached before /tmp is covered, in case the
     * build tree lies under it. */
    std::string bin = SIGHTUI_BIN;
    std::string dir = bin.substr(0, bin.rfind('/'));
    int exe = open(bin.c_str(), O_RDONLY | O_CLOEXEC);
    if (exe < 0 || chdir(dir.c_str()) != 0) return -1;
    if (unshare(CLONE_NEWIPC | CLONE_NEWNS) != 0) return -1;
    if (mount(NULL, "/", NULL, MS_REC | MS_PRIVATE, NULL) != 0) return -1;
    if (mount("tmpfs", "/tmp", "tmpfs", 0, "size=16m") != 0) return -1;
    mkdir("/tmp/snap", 0755);
    pid_t pid = fork();
    if (pid == 0) {
        setenv("VESK_GUI_SNAPSHOT_DIR", "/tmp/snap", 1);
        unsetenv("VESK_GUI_BACKEND");
        int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, STDOUT_FILENO);
        dup2(devnull, STDERR_FILENO);
        std::vector<char *> argv;
        argv.push_back((char *)"sightui");
        for (const std::string &a : args) argv.push_back((char *)a.c_str());
        argv.push_back(NULL);
        fexecve(exe, argv.data(), environ);
        _exit(127);
    }
    close(exe);
    return pid;
}

void check_boot(const BootRun &run)
{
    pid_t gui = start_sightui(run.args);
    ASSERT_GT(gui, 0) << strerror(errno);

    /* The READY frame waits in queue 54321 for sightd. */
    int q = -1;
    ASSERT_TRUE(wait_for([&] { return (q = msgget(MSGQ_KEY_TO_APP, 0)) >= 0; }, 5000));
    Qel_MsgEvent ev;
    ASSERT_TRUE(wait_for([&] { return msgrcv(q, &ev, MSGQ_TEXT_SIZE, MSG_TYPE_FOR_SERVER, IPC_NOWAIT) > 0; }, 5000));
    EXPECT_EQ(ev.msg_text.type, 1);
    EXPECT_EQ(ev.msg_text.command, 255);
    ASSERT_EQ(ev.msg_text.length, 10u);
    const uint8_t ready[10] = {0xAA, 0x07, 0x08, 0x00, 0x00, 0x00, 0x00, 0xB9, 0xEB, 0xAA};
    EXPECT_EQ(memcmp(ev.msg_text.context, ready, 10), 0);
    EXPECT_GE(msgget(MSGQ_KEY_TO_PEERS, 0), 0) << "the report queue exists too";

    /* The top window, from a snapshot of the running program. */
    const std::string dump = "/tmp/snap/qel_menu-0001.txt";
    ASSERT_TRUE(wait_for([&] {
        kill(gui, SIGUSR1);
        return wait_for([&] { return access(dump.c_str(), F_OK) == 0; }, 300);
    }, 5000));
    std::string tree = read_text(dump);
    std::string last_window;
    std::istringstream lines(tree);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("window ", 0) == 0) last_window = line;
    EXPECT_NE(last_window.find("name=\"Boot_logo\""), std::string::npos) << tree;
    char rect[64];
    snprintf(rect, sizeof(rect), "rect=0,0,%d,%d", run.w, run.h);
    EXPECT_NE(last_window.find(rect), std::string::npos) << tree;
    EXPECT_NE(read_text("/tmp/apps.version").find("UI:\t <qel_menu>"), std::string::npos);

    /* A termination signal stops the reports, not the program. */
    kill(gui, SIGTERM);
    usleep(200000);
    int status = 0;
    EXPECT_EQ(waitpid(gui, &status, WNOHANG), 0) << "sightui ended on SIGTERM";
    kill(gui, SIGKILL);
    waitpid(gui, &status, 0);
}

class GuiBoot : public ::testing::TestWithParam<BootRun> {};

TEST_P(GuiBoot, ReadyFrameWaitsAndTheBootPageShowsAtTheGivenSize)
{
    BootRun run = GetParam();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        check_boot(run);
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "failures in the child are printed above";
}

INSTANTIATE_TEST_SUITE_P(Sizes, GuiBoot,
                         ::testing::Values(BootRun{{}, 1280, 1024}, BootRun{{"640"}, 640, 1024},
                                           BootRun{{"640", "480"}, 640, 480},
                                           BootRun{{"800", "600", "1", "ignored"}, 800, 600}),
                         [](const ::testing::TestParamInfo<BootRun> &info) {
                             return std::to_string(info.param.args.size()) + "_args_" +
                                    std::to_string(info.param.w) + "x" + std::to_string(info.param.h);
                         });

}  // namespace
