// The crash table: the watcher killed (SIGKILL) before each system call
// that changes a file during a claim, a set-aside and an unpack, for N = 1,
// 2, ... until a run finishes untouched. After every kill the next start
// must leave no package lost (still in the Media root, set aside with a
// report, or published whole) and never a half-written "device_upgrade".
#include <errno.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stddef.h>
#include <stdlib.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "update_fixture.h"
#include "update_zip.h"

static const long kChanging[] = {
    SYS_openat,    SYS_write,  SYS_pwrite64, SYS_fsync, SYS_fdatasync, SYS_rename, SYS_renameat,
    SYS_renameat2, SYS_unlink, SYS_unlinkat, SYS_mkdir, SYS_mkdirat,   SYS_rmdir,  SYS_ftruncate,
};

static bool changing(long nr)
{
    return std::find(std::begin(kChanging), std::end(kChanging), nr) != std::end(kChanging);
}

/* Runs the probe traced and kills it at the entry of the kill_at-th
 * changing call; true when it was killed, false when it ended first. */
static bool run_killed_at(const std::vector<std::string> &args, int kill_at, int *status)
{
    pid_t pid = fork();
    if (pid == 0) {
        std::vector<char *> argv;
        for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        /* LeakSanitizer stops the world with ptrace at exit, which a
         * process traced already cannot. */
        const char *asan = getenv("ASAN_OPTIONS");
        std::string options =
            asan != nullptr && *asan != '\0' ? std::string(asan) + ":detect_leaks=0" : "detect_leaks=0";
        setenv("ASAN_OPTIONS", options.c_str(), 1);
        ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        raise(SIGSTOP);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    ptrace(PTRACE_SETOPTIONS, pid, nullptr, (void *)(long)(PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL));
    int count = 0, sig = 0;
    bool killed = false;
    for (;;) {
        ptrace(PTRACE_SYSCALL, pid, nullptr, (void *)(long)sig);
        sig = 0;
        if (waitpid(pid, &st, 0) < 0) break;
        if (WIFEXITED(st) || WIFSIGNALED(st)) break;
        if (!WIFSTOPPED(st)) continue;
        if (WSTOPSIG(st) != (SIGTRAP | 0x80)) {
            if (WSTOPSIG(st) != SIGTRAP && WSTOPSIG(st) != SIGSTOP) sig = WSTOPSIG(st);
            continue;
        }
        struct __ptrace_syscall_info info;
        if (ptrace(PTRACE_GET_SYSCALL_INFO, pid, (void *)sizeof info, &info) <= 0) continue;
        if (info.op != PTRACE_SYSCALL_INFO_ENTRY || !changing((long)info.entry.nr)) continue;
        if (++count == kill_at) {
            kill(pid, SIGKILL);
            killed = true;
        }
    }
    *status = st;
    return killed;
}

static int run_plain(const std::vector<std::string> &args)
{
    pid_t pid = fork();
    if (pid == 0) {
        std::vector<char *> argv;
        for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    return st;
}

struct crash_row {
    const char *mode, *name;
    bool published_at_end; /* an untouched run publishes the package */
};

static void check_after_restart(const update_dirs &d, const std::string &name, const std::string &zip,
                                const std::vector<update_zip_entry> &pkg, int n)
{
    std::string published = d.update_path("device_upgrade");
    bool whole = update_exists(published);
    if (whole) {
        for (const update_zip_entry &e : pkg) {
            if (e.name.back() == '/') continue;
            std::string member = e.name.substr(e.name.find('/') + 1);
            EXPECT_EQ(update_read(published + "/" + member), e.data) << "kill " << n << ": " << member;
        }
        EXPECT_EQ(sim_folder_names(published).size(), pkg.size() - 1) << "kill " << n;
    }
    for (const std::string &f : sim_folder_names(d.update))
        EXPECT_EQ(f.rfind("vesk-unpack-", 0), std::string::npos) << "kill " << n << ": " << f;
    EXPECT_FALSE(update_exists(d.media_path("VeskUpdate/device_upgrade_claimed.zip"))) << "kill " << n;
    bool in_root = update_read(d.media_path(name)) == zip;
    bool aside = update_read(d.media_path("VeskUpdate/vesk_failed_000001.zip.failed")) == zip;
    std::string report = update_read(d.media_path("vesk_update_failed.txt"));
    EXPECT_TRUE(whole || in_root || aside) << "kill " << n << ": the package is lost";
    /* The report naming the set-aside is written before the move. */
    if (aside) {
        EXPECT_NE(report.find("VeskUpdate/vesk_failed_000001.zip.failed"), std::string::npos) << "kill " << n;
    }
    if (!report.empty()) {
        EXPECT_EQ(report.rfind("VESK NURAX PRO: ", 0), 0u) << "kill " << n;
        EXPECT_NE(report.find("\ninstaller_report="), std::string::npos) << "kill " << n << ": torn report";
    }
}

TEST(UpdateCrash, EveryKillDuringClaimSetAsideAndUnpackIsReconciled)
{
    static const crash_row rows[] = {
        {"claim", "device_upgrade_v3.zip", true},
        {"refuse", "device_upgrade_v3.zip", false},
        {"claim", "device_upgrade_v 3.zip", false},
    };
    for (const crash_row &r : rows) {
        std::vector<update_zip_entry> pkg = update_zip_package("device_upgrade_v3", update_zip_single);
        std::string zip = update_zip_bytes(pkg);
        int n = 1;
        for (;; n++) {
            update_dirs d;
            ASSERT_TRUE(update_write(d.media_path(r.name), zip));
            int st = 0;
            bool killed = run_killed_at({UPDATE_PROBE, r.mode, d.media, d.update}, n, &st);
            if (!killed) {
                ASSERT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << r.mode << " status " << st;
                EXPECT_EQ(update_exists(d.update_path("device_upgrade")), r.published_at_end) << r.mode;
            }
            int next = run_plain({UPDATE_PROBE, "start", d.media, d.update});
            ASSERT_TRUE(WIFEXITED(next) && WEXITSTATUS(next) == 0) << r.mode << " kill " << n;
            check_after_restart(d, r.name, zip, pkg, n);
            if (!killed) break;
        }
        EXPECT_GT(n, 5) << r.mode << ": too few steps seen to trust the sweep";
    }
}
