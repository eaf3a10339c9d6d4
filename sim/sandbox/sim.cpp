// The sandbox library: builds the board's file tree and stand-ins in a fresh
// folder, starts bubblewrap with the agent as its main process and talks to
// the agent over the control channel of sim_ctl.h.
#include "sim.h"
#include "sim_factory.h"

#include "sim_ctl.h"
#include "sim_tools.h"
#include "vesk_clock.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <limits.h>
#include <linux/input.h>
#include <poll.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <mutex>

extern char **environ;

#ifndef VESK_SIM_BIN_DIR
#error "VESK_SIM_BIN_DIR names the build's bin/ folder"
#endif

enum { SIM_REPLY_TIMEOUT_MS = 10000, SIM_STOP_TIMEOUT_MS = 5000 };
/* Enough for the iio and GPIO files and the EEPROM. */
static const uint64_t SIM_SYS_BYTES = 8ull << 20;

enum sim_mount_kind { SIM_MOUNT_BIND, SIM_MOUNT_RO, SIM_MOUNT_RO_TRY, SIM_MOUNT_DEV, SIM_MOUNT_TMPFS };

struct sim_mount {
    sim_mount_kind kind;
    std::string host; /* for a tmpfs: the agent's descriptor, once known */
    std::string inside;
    uint64_t size;
};

struct sim_pty_line {
    const char *name;
    int master;
    int slave;
};

struct sim_sandbox {
    std::string dir;
    bool fresh = false; /* made by sim_create: removed unless kept */
    bool keep = false;
    std::string bin_dir;
    std::string lib_dir;
    std::vector<sim_mount> mounts;
    sim_pty_line ptys[3] = {{"/dev/ttyS2", -1, -1}, {"/dev/ttyS4", -1, -1}, {"/dev/ttyS5", -1, -1}};
    int key_fd = -1;
    int iio_fd[3] = {-1, -1, -1};
    int ctl = -1;
    pid_t bwrap = -1;
    int pidfd = -1;
    int media_fd = -1;
    int sys_fd = -1;
    std::vector<std::string> env; /* defaults for every program */
    std::mutex lock;
    bool ended = false;
    int bwrap_status = 0;
};

/* The sysfs files the programs use, with the values of a healthy board at
 * rest: 8.00 V battery, zoom ring at its 1x end, no samples enabled. */
static const struct {
    const char *path;
    const char *data;
} sim_sys_files[] = {
    {"/sys/bus/iio/devices/iio:device0/in_voltage2_raw", "13913\n"},
    {"/sys/bus/iio/devices/iio:device0/in_voltage1_raw", "12000\n"},
    {"/sys/bus/iio/devices/iio:device1/trigger/current_trigger", "\n"},
    {"/sys/bus/iio/devices/iio:device1/scan_elements/in_accel_x_en", "0\n"},
    {"/sys/bus/iio/devices/iio:device1/scan_elements/in_accel_y_en", "0\n"},
    {"/sys/bus/iio/devices/iio:device1/scan_elements/in_accel_z_en", "0\n"},
    {"/sys/bus/iio/devices/iio:device1/buffer/length", "0\n"},
    {"/sys/bus/iio/devices/iio:device1/buffer/enable", "0\n"},
    {"/sys/bus/iio/devices/iio:device2/trigger/current_trigger", "\n"},
    {"/sys/bus/iio/devices/iio:device2/scan_elements/in_magn_x_en", "0\n"},
    {"/sys/bus/iio/devices/iio:device2/scan_elements/in_magn_y_en", "0\n"},
    {"/sys/bus/iio/devices/iio:device2/scan_elements/in_magn_z_en", "0\n"},
    {"/sys/bus/iio/devices/iio:device2/buffer/length", "0\n"},
    {"/sys/bus/iio/devices/iio:device2/buffer/enable", "0\n"},
    {"/sys/bus/iio/devices/trigger1/sampling_frequency", "0\n"},
    {"/sys/bus/iio/devices/trigger2/sampling_frequency", "0\n"},
    {"/sys/class/gpio/export", ""},
    {"/sys/class/gpio/unexport", ""},
};

/* The sandbox's namespaces and its one capability: the programs' own
 * reboot() must work, nothing else of the host may be touched. */
static const char *const sim_namespace_args[] = {
    "--unshare-user", "--uid",         "0",          "--gid", "0",         "--unshare-ipc", "--unshare-pid",
    "--unshare-net",  "--unshare-uts", "--cap-drop", "ALL",   "--cap-add", "CAP_SYS_BOOT"};

/* Host files the host's own tools need to run inside. */
static const char *const sim_host_etc[] = {"/etc/alternatives", "/etc/ld.so.cache", "/etc/fonts", "/etc/passwd",
                                           "/etc/group"};

/* Sandbox folders bound from <dir>, in mount order. */
static const char *const sim_folders[] = {"/factory", "/factory2", "/usrdata", "/tmp", "/var", "/etc", "/sim"};

static int sim_err(std::string *error, int rc, const std::string &what)
{
    if (error) *error = what + ": " + strerror(-rc);
    return rc;
}

static int sim_mkdirs(const std::string &path)
{
    std::string p;
    size_t at = 0;
    while (at != std::string::npos) {
        at = path.find('/', at + 1);
        p = path.substr(0, at);
        if (!p.empty() && mkdir(p.c_str(), 0755) != 0 && errno != EEXIST) return -errno;
    }
    return 0;
}

static std::string sim_parent(const std::string &path)
{
    size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

static int sim_write_all(int fd, const void *data, size_t length)
{
    const char *p = (const char *)data;
    while (length > 0) {
        ssize_t n = write(fd, p, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? -errno : -EIO;
        p += n;
        length -= (size_t)n;
    }
    return 0;
}

/* Writes a host file whole; through a temporary name and rename when
 * atomic, so a reader sees the old or the new contents, never a part. */
static int sim_put(const std::string &path, const std::string &data, unsigned mode, bool atomic)
{
    int rc = sim_mkdirs(sim_parent(path));
    if (rc < 0) return rc;
    /* A hidden name beside it: a program listing the folder (the media
     * browser, the update watcher) takes it for no file of its own. */
    size_t slash = path.rfind('/');
    std::string target = atomic ? path.substr(0, slash + 1) + "." + path.substr(slash + 1) + ".sim-new" : path;
    int fd = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) return -errno;
    rc = sim_write_all(fd, data.data(), data.size());
    if (close(fd) != 0 && rc == 0) rc = -errno;
    if (rc == 0 && atomic && rename(target.c_str(), path.c_str()) != 0) rc = -errno;
    if (rc < 0 && atomic) unlink(target.c_str());
    return rc;
}

static int sim_remove_entry(const char *path, const struct stat *, int, struct FTW *ftw)
{
    return ftw->level == 0 ? 0 : remove(path);
}

/* Empties a folder, keeping the folder itself. */
static void sim_empty(const std::string &dir) { nftw(dir.c_str(), sim_remove_entry, 16, FTW_DEPTH | FTW_PHYS); }

static void sim_remove_tree(const std::string &dir)
{
    sim_empty(dir);
    rmdir(dir.c_str());
}

/* A fresh folder kept for a later boot in the same process (a restart in a
 * test) is removed when that process exits, so a run leaves nothing behind
 * in /tmp, passed or failed. Only the process that made it removes it: a
 * forked child's exit must not pull the folder from under its parent. */
static std::mutex sim_kept_lock;
static std::vector<std::pair<pid_t, std::string>> sim_kept_dirs;

static void sim_remove_kept(void)
{
    std::lock_guard<std::mutex> hold(sim_kept_lock);
    for (const auto &kept : sim_kept_dirs)
        if (kept.first == getpid()) sim_remove_tree(kept.second);
    sim_kept_dirs.clear();
}

static void sim_remove_at_exit(const std::string &dir)
{
    std::lock_guard<std::mutex> hold(sim_kept_lock);
    if (sim_kept_dirs.empty()) atexit(sim_remove_kept);
    sim_kept_dirs.emplace_back(getpid(), dir);
}

/* VESK_KEEP_SANDBOX (not "0") keeps every fresh folder for a person to
 * look at, with what the tmpfs mounts held at the end. */
static bool sim_keep_requested(void)
{
    const char *keep = getenv("VESK_KEEP_SANDBOX");
    return keep != nullptr && *keep != '\0' && strcmp(keep, "0") != 0;
}

/* Copies folders, regular files and links; sockets and FIFOs stay behind. */
static int sim_copy_tree(const std::string &from, const std::string &to)
{
    DIR *d = opendir(from.c_str());
    if (!d) return -errno;
    int rc = 0;
    for (struct dirent *e; (e = readdir(d)) != nullptr;) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
        std::string src = from + "/" + e->d_name;
        std::string dst = to + "/" + e->d_name;
        struct stat st;
        if (lstat(src.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            if (mkdir(dst.c_str(), st.st_mode & 07777) != 0 && errno != EEXIST)
                rc = -errno;
            else
                rc = sim_copy_tree(src, dst) ?: rc;
        } else if (S_ISLNK(st.st_mode)) {
            char target[PATH_MAX];
            ssize_t n = readlink(src.c_str(), target, sizeof target - 1);
            if (n >= 0) {
                target[n] = '\0';
                unlink(dst.c_str());
                if (symlink(target, dst.c_str()) != 0) rc = -errno;
            }
        } else if (S_ISREG(st.st_mode)) {
            int in = open(src.c_str(), O_RDONLY | O_CLOEXEC);
            int out = open(dst.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 07777);
            char buf[65536];
            ssize_t n = 0;
            while (in >= 0 && out >= 0 && (n = read(in, buf, sizeof buf)) > 0)
                if (sim_write_all(out, buf, (size_t)n) != 0) break;
            if (in < 0 || out < 0 || n != 0) rc = -EIO;
            if (in >= 0) close(in);
            if (out >= 0) close(out);
        }
    }
    closedir(d);
    return rc;
}

static void sim_close(int *fd)
{
    if (*fd >= 0) close(*fd);
    *fd = -1;
}

static std::string sim_default_bin_dir(void)
{
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        self[n] = '\0';
        std::string dir = sim_parent(self);
        if (access((dir + "/vesk-sim-agent").c_str(), X_OK) == 0) return dir;
    }
    return VESK_SIM_BIN_DIR;
}

/* --- the folder ---------------------------------------------------------- */

static int sim_make_folder(sim_sandbox *sb, std::string *error)
{
    for (const char *f : sim_folders) {
        int rc = sim_mkdirs(sb->dir + f);
        if (rc < 0) return sim_err(error, rc, "mkdir " + sb->dir + f);
    }
    for (const char *f :
         {"/usrdata/media", "/usrdata/bin", "/etc/wifi", "/var/log", "/dev/input", "/sys", SIM_TOOLS_DIR}) {
        int rc = sim_mkdirs(sb->dir + f);
        if (rc < 0) return sim_err(error, rc, "mkdir " + sb->dir + f);
    }
    /* /tmp does not outlive a boot on the board. */
    sim_empty(sb->dir + "/tmp");
    for (const char *f : {"/dev/hardware", "/dev/uart_switch", "/dev/rtc0"}) {
        int fd = open((sb->dir + f).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) return sim_err(error, -errno, "create " + sb->dir + f);
        close(fd);
    }
    /* Sparse: only the register page takes room. */
    int mem = open((sb->dir + "/dev/mem").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (mem < 0 || ftruncate(mem, (off_t)(SIM_USB_REG_BASE + 4096)) != 0)
        return sim_err(error, -errno, "create " + sb->dir + "/dev/mem");
    close(mem);
    for (const char *f : {SIM_KEY_DEVICE, "/dev/iio:device1", "/dev/iio:device2"}) {
        std::string p = sb->dir + f;
        struct stat st;
        if (lstat(p.c_str(), &st) == 0 && !S_ISFIFO(st.st_mode)) unlink(p.c_str());
        if (mkfifo(p.c_str(), 0644) != 0 && errno != EEXIST) return sim_err(error, -errno, "mkfifo " + p);
    }
    for (const sim_tool_place &t : sim_tool_places) {
        std::string link = sb->dir + t.folder + "/" + t.name;
        unlink(link.c_str());
        if (symlink(SIM_INSIDE_BIN "/vesk-sim-tool", link.c_str()) != 0)
            return sim_err(error, -errno, "symlink " + link);
    }
    for (const sim_tool_place &t : sim_tool_places) unlink((sb->dir + SIM_TOOLS_DIR "/" + t.name + ".status").c_str());
    return 0;
}

/* The outside ends of the device stand-ins: pty masters (with a slave held
 * open so that a master never reads EIO before the program opens its
 * line) and write ends of the FIFOs (held so a reader's open never blocks
 * and nothing written is lost before it opens). */
static int sim_open_stand_ins(sim_sandbox *sb, std::string *error)
{
    for (sim_pty_line &line : sb->ptys) {
        line.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[64];
        if (line.master < 0 || grantpt(line.master) != 0 || unlockpt(line.master) != 0 ||
            ptsname_r(line.master, name, sizeof name) != 0)
            return sim_err(error, -errno, std::string("pty for ") + line.name);
        line.slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (line.slave < 0) return sim_err(error, -errno, std::string("open ") + name);
        struct termios raw;
        if (tcgetattr(line.slave, &raw) == 0) {
            cfmakeraw(&raw);
            tcsetattr(line.slave, TCSANOW, &raw);
        }
        sb->mounts.push_back({SIM_MOUNT_DEV, name, line.name, 0});
    }
    sb->key_fd = open((sb->dir + SIM_KEY_DEVICE).c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (sb->key_fd < 0) return sim_err(error, -errno, "open the key FIFO");
    for (int i = 1; i <= 2; i++) {
        std::string p = sb->dir + "/dev/iio:device" + std::to_string(i);
        sb->iio_fd[i] = open(p.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (sb->iio_fd[i] < 0) return sim_err(error, -errno, "open " + p);
    }
    return 0;
}

static void sim_plan_mounts(sim_sandbox *sb, const sim_options &o)
{
    std::vector<sim_mount> &m = sb->mounts;
    for (const char *f : sim_folders) m.push_back({SIM_MOUNT_BIND, sb->dir + f, f, 0});
    for (const char *f : sim_host_etc) m.push_back({SIM_MOUNT_RO_TRY, f, f, 0});
    m.push_back({SIM_MOUNT_TMPFS, "", "/usrdata/media", o.media_bytes});
    m.push_back({SIM_MOUNT_TMPFS, "", "/sys", SIM_SYS_BYTES});
    for (const char *f : {SIM_KEY_DEVICE, "/dev/iio:device1", "/dev/iio:device2", "/dev/hardware", "/dev/uart_switch",
                          "/dev/rtc0", "/dev/mem"})
        m.push_back({SIM_MOUNT_BIND, sb->dir + f, f, 0});
    m.push_back({SIM_MOUNT_RO, sb->bin_dir, SIM_INSIDE_BIN, 0});
    m.push_back({SIM_MOUNT_RO_TRY, sb->lib_dir, SIM_INSIDE_LIB, 0});
    if (!o.display.empty()) {
        std::string number = o.display.substr(o.display.find(':') + 1);
        number = number.substr(0, number.find('.'));
        std::string socket = "/tmp/.X11-unix/X" + number;
        m.push_back({SIM_MOUNT_RO_TRY, socket, socket, 0});
        sb->env.push_back("DISPLAY=" + o.display);
    }
    if (!o.xauthority.empty()) {
        m.push_back({SIM_MOUNT_RO, o.xauthority, "/sim/xauthority", 0});
        sb->env.push_back("XAUTHORITY=/sim/xauthority");
    }
    for (const sim_bind &b : o.binds) m.push_back({b.writable ? SIM_MOUNT_BIND : SIM_MOUNT_RO, b.host, b.inside, 0});
}

/* The UTS namespace keeps the host's name: X authority entries name the
 * host, and nothing on the board reads its own name. */
static std::vector<std::string> sim_bwrap_args(const sim_sandbox *sb)
{
    std::vector<std::string> a = {"bwrap"};
    a.insert(a.end(), std::begin(sim_namespace_args), std::end(sim_namespace_args));
    a.insert(a.end(), {"--die-with-parent", "--as-pid-1", "--clearenv", "--setenv", "PATH",
                       "/usr/sbin:/usr/bin:/sbin:/bin", "--ro-bind", "/usr", "/usr"});
    /* The host's top-level links into /usr (or folders, on older layouts). */
    for (const char *top : {"/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32"}) {
        struct stat st;
        char target[PATH_MAX];
        if (lstat(top, &st) != 0) continue;
        if (S_ISLNK(st.st_mode)) {
            ssize_t n = readlink(top, target, sizeof target - 1);
            if (n > 0) {
                target[n] = '\0';
                a.insert(a.end(), {"--symlink", target, top});
            }
        } else if (S_ISDIR(st.st_mode)) {
            a.insert(a.end(), {"--ro-bind", top, top});
        }
    }
    a.insert(a.end(), {"--proc", "/proc", "--dev", "/dev"});
    static const char *const option[] = {"--bind", "--ro-bind", "--ro-bind-try", "--dev-bind"};
    for (const sim_mount &m : sb->mounts) {
        if (m.kind == SIM_MOUNT_TMPFS)
            a.insert(a.end(), {"--size", std::to_string(m.size), "--tmpfs", m.inside});
        else
            a.insert(a.end(), {option[m.kind], m.host, m.inside});
    }
    a.insert(a.end(), {"--chdir", "/", SIM_INSIDE_BIN "/vesk-sim-agent"});
    return a;
}

/* Passes the sanitizer settings of a sanitizer build on to the programs. */
static void sim_pass_env(std::vector<std::string> *env)
{
    for (const char *name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
        const char *value = getenv(name);
        if (value) env->push_back(std::string(name) + "=" + value);
    }
}

static int sim_start_bwrap(sim_sandbox *sb, std::string *error)
{
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return sim_err(error, -errno, "socketpair");
    sb->ctl = pair[0];
    /* A number above 3, so that dup2 onto 3 always makes a fresh,
     * inheritable descriptor. */
    int agent_end = fcntl(pair[1], F_DUPFD_CLOEXEC, 10);
    close(pair[1]);
    int err = open((sb->dir + "/sim/sandbox.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (agent_end < 0 || err < 0 || null < 0) {
        int e = errno;
        sim_close(&agent_end);
        sim_close(&err);
        sim_close(&null);
        return sim_err(error, -e, "descriptors for bwrap");
    }

    std::vector<std::string> args = sim_bwrap_args(sb);
    std::vector<char *> argv;
    for (std::string &s : args) argv.push_back(&s[0]);
    argv.push_back(nullptr);
    std::vector<std::string> envs;
    sim_pass_env(&envs);
    std::vector<std::string> outer;
    for (char **e = environ; *e; e++) outer.push_back(*e);
    std::vector<char *> envp;
    for (std::string &s : outer) envp.push_back(&s[0]);
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, null, 0);
    posix_spawn_file_actions_adddup2(&actions, err, 2);
    posix_spawn_file_actions_adddup2(&actions, agent_end, SIM_CTL_FD);
    /* Descriptors the caller left inheritable stay out of the sandbox:
     * a pipe end held there would never see its end. */
    posix_spawn_file_actions_addclosefrom_np(&actions, SIM_CTL_FD + 1);
    /* A process group of its own: a Ctrl-C at the caller's terminal is the
     * caller's to pass on in order, not a kill of the whole sandbox. */
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    int rc = posix_spawnp(&sb->bwrap, "bwrap", &actions, &attr, argv.data(), envp.data());
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    close(agent_end);
    close(err);
    close(null);
    if (rc != 0) {
        sb->bwrap = -1;
        return sim_err(error, -rc, "start bwrap");
    }
    sb->pidfd = (int)syscall(SYS_pidfd_open, sb->bwrap, 0);
    if (sb->pidfd < 0) return sim_err(error, -errno, "pidfd_open");
    return 0;
}

/* --- the sandbox's end ---------------------------------------------------- */

/* True once bwrap has ended; its status is then kept. */
static bool sim_reap(sim_sandbox *sb)
{
    std::lock_guard<std::mutex> hold(sb->lock);
    if (sb->ended || sb->bwrap < 0) return true;
    int status;
    pid_t r = waitpid(sb->bwrap, &status, WNOHANG);
    if (r == sb->bwrap || (r < 0 && errno == ECHILD)) {
        sb->ended = true;
        sb->bwrap_status = r == sb->bwrap ? status : 0;
    }
    return sb->ended;
}

/* bwrap exits 128 + the signal that ended the sandbox's first process: the
 * kernel's SIGHUP for a reboot, SIGINT for a power-off. */
static sim_outcome sim_end_outcome(int status)
{
    sim_outcome o;
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    o.end = code == 128 + SIGHUP ? SIM_REBOOT : code == 128 + SIGINT ? SIM_POWER_OFF : SIM_ENDED;
    o.code = o.end == SIM_ENDED ? code : 0;
    return o;
}

int sim_wait_end(sim_sandbox *sb, int timeout_ms, sim_outcome *out)
{
    long long deadline = (long long)vesk_mono_ms() + timeout_ms;
    while (!sim_reap(sb)) {
        int left = timeout_ms < 0 ? -1 : (int)(deadline - (long long)vesk_mono_ms());
        if (timeout_ms >= 0 && left <= 0) {
            *out = sim_outcome();
            return -ETIMEDOUT;
        }
        struct pollfd p = {sb->pidfd, POLLIN, 0};
        poll(&p, 1, left);
    }
    std::lock_guard<std::mutex> hold(sb->lock);
    *out = sim_end_outcome(sb->bwrap_status);
    return 0;
}

/* --- requests to the agent ------------------------------------------------ */

/* Sends one request and waits for its answer: 0, -ETIMEDOUT, or
 * -ECONNRESET when the agent is gone (the sandbox has ended). */
static int sim_request(sim_sandbox *sb, const sim_ctl_request &head, const std::vector<std::string> &strings,
                       const int *extra, int nextra, int timeout_ms, sim_ctl_reply *reply)
{
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return -errno;
    int fds[SIM_CTL_MAX_FDS] = {pair[1]};
    for (int i = 0; i < nextra && i + 1 < SIM_CTL_MAX_FDS; i++) fds[i + 1] = extra[i];
    std::vector<char> packet = sim_ctl_pack(head, strings);
    int rc = sim_ctl_send(sb->ctl, packet.data(), packet.size(), fds, 1 + nextra);
    close(pair[1]);
    if (rc < 0) {
        close(pair[0]);
        return rc == -EPIPE || rc == -ECONNREFUSED ? -ECONNRESET : rc;
    }
    long long deadline = (long long)vesk_mono_ms() + timeout_ms;
    for (;;) {
        int left = timeout_ms < 0 ? -1 : (int)(deadline - (long long)vesk_mono_ms());
        if (timeout_ms >= 0 && left < 0) left = 0;
        struct pollfd p = {pair[0], POLLIN, 0};
        int n = poll(&p, 1, left);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) {
            close(pair[0]);
            return -ETIMEDOUT;
        }
        break;
    }
    long got = sim_ctl_recv(pair[0], reply, sizeof *reply, nullptr, nullptr);
    close(pair[0]);
    if (got == (long)sizeof *reply) return 0;
    return got < 0 && got != -ECONNRESET ? (int)got : -ECONNRESET;
}

static int sim_hello(sim_sandbox *sb, std::string *error)
{
    struct pollfd p[2] = {{sb->ctl, POLLIN, 0}, {sb->pidfd, POLLIN, 0}};
    int n;
    do n = poll(p, 2, SIM_REPLY_TIMEOUT_MS);
    while (n < 0 && errno == EINTR);
    std::string why;
    if (n > 0 && (p[0].revents & POLLIN)) {
        sim_ctl_reply r;
        int fds[2];
        int nfds = 2;
        long got = sim_ctl_recv(sb->ctl, &r, sizeof r, fds, &nfds);
        if (got == (long)sizeof r && nfds == 2) {
            sb->media_fd = fds[0];
            sb->sys_fd = fds[1];
            return 0;
        }
        for (int i = 0; i < nfds; i++) close(fds[i]);
    }
    std::string err;
    sim_read_file(sb, "/sim/sandbox.err", &err);
    if (error) *error = "the sandbox did not start" + (err.empty() ? std::string(" in time") : ": " + err);
    return -ECHILD;
}

/* Gives the tmpfs mounts their outside paths: the agent's descriptors,
 * which stay valid after the sandbox has ended. */
static void sim_name_tmpfs(sim_sandbox *sb)
{
    for (sim_mount &m : sb->mounts) {
        if (m.kind != SIM_MOUNT_TMPFS) continue;
        int fd = m.inside == "/sys" ? sb->sys_fd : sb->media_fd;
        m.host = "/proc/" + std::to_string(getpid()) + "/fd/" + std::to_string(fd);
    }
}

static int sim_fill(sim_sandbox *sb, const sim_options &o, std::string *error)
{
    for (const auto &f : sim_sys_files) {
        int rc = sim_write_file(sb, f.path, f.data);
        if (rc < 0) return sim_err(error, rc, std::string("write ") + f.path);
    }
    for (int pin : o.gpio_pins) {
        std::string dir = "/sys/class/gpio/gpio" + std::to_string(pin);
        int rc = sim_write_file(sb, dir + "/direction", "in\n");
        if (rc == 0) rc = sim_write_file(sb, dir + "/value", "0\n");
        if (rc < 0) return sim_err(error, rc, "write " + dir);
    }
    /* An empty EEPROM: the size of the part, all zero. */
    int rc = sim_write_file(sb, SIM_EEPROM, std::string(4096, '\0'));
    if (rc < 0) return sim_err(error, rc, "write " SIM_EEPROM);
    /* The Media partition keeps its files from one boot to the next. */
    rc = sim_copy_tree(sb->dir + "/usrdata/media", sim_path(sb, "/usrdata/media"));
    if (rc < 0) return sim_err(error, rc, "copy the Media files in");
    for (const sim_file &f : o.files) {
        std::string host = sim_path(sb, f.path);
        rc = sim_write_file(sb, f.path, f.data);
        if (rc == 0 && chmod(host.c_str(), f.mode) != 0) rc = -errno;
        if (rc < 0) return sim_err(error, rc, "write " + f.path);
    }
    return 0;
}

/* --- public calls --------------------------------------------------------- */

int sim_available(std::string *why)
{
    static std::once_flag once;
    static int available = 0;
    static std::string reason;
    std::call_once(once, [] {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) {
            reason = "pipe failed";
            return;
        }
        std::vector<const char *> argv = {"bwrap"};
        argv.insert(argv.end(), std::begin(sim_namespace_args), std::end(sim_namespace_args));
        argv.insert(argv.end(), {"--ro-bind", "/usr", "/usr", "--symlink", "usr/bin", "/bin", "--symlink", "usr/lib",
                                 "/lib", "--symlink", "usr/lib64", "/lib64", "/usr/bin/true", nullptr});
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 2);
        pid_t pid;
        int rc = posix_spawnp(&pid, "bwrap", &actions, nullptr, const_cast<char **>(argv.data()), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        if (rc != 0) {
            close(out[0]);
            reason = std::string("bwrap cannot be run: ") + strerror(rc);
            return;
        }
        char buf[512];
        ssize_t n;
        while ((n = read(out[0], buf, sizeof buf)) > 0) reason.append(buf, (size_t)n);
        close(out[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        available = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (available)
            reason.clear();
        else
            reason = "bwrap cannot create the sandbox's namespaces here: " + reason;
    });
    if (why) *why = reason;
    return available;
}

int sim_create(const sim_options &o, sim_sandbox **out, std::string *error)
{
    *out = nullptr;
    sim_sandbox *sb = new sim_sandbox;
    sb->keep = o.keep || !o.dir.empty();
    sb->bin_dir = o.bin_dir.empty() ? sim_default_bin_dir() : o.bin_dir;
    sb->lib_dir = sim_parent(sb->bin_dir) + "/lib";
    int rc = 0;
    if (o.dir.empty()) {
        const char *tmp = getenv("TMPDIR");
        std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/vesk-sim-XXXXXX";
        if (!mkdtemp(&templ[0])) rc = sim_err(error, -errno, "mkdtemp " + templ);
        sb->dir = templ;
        sb->fresh = rc == 0;
        if (sb->fresh && sim_keep_requested()) {
            sb->keep = true;
            fprintf(stderr, "sandbox: %s is kept (VESK_KEEP_SANDBOX)\n", templ.c_str());
        } else if (sb->fresh && sb->keep) {
            sim_remove_at_exit(templ);
        }
    } else {
        sb->dir = o.dir;
        rc = sim_mkdirs(o.dir);
        if (rc < 0) sim_err(error, rc, "mkdir " + o.dir);
    }
    if (rc == 0 && access((sb->bin_dir + "/vesk-sim-agent").c_str(), X_OK) != 0)
        rc = sim_err(error, -ENOENT, "no vesk-sim-agent in " + sb->bin_dir);
    sb->env = {"PATH=" SIM_TOOLS_DIR ":/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin", "HOME=/tmp",
               "LD_LIBRARY_PATH=" SIM_INSIDE_LIB, "LANG=C"};
    sim_pass_env(&sb->env);
    if (rc == 0) rc = sim_make_folder(sb, error);
    if (rc == 0 && o.factory_image && access((sb->dir + "/usrdata/out_sightd/defconfig.ini").c_str(), F_OK) != 0)
        rc = sim_factory_image(sb->dir + "/usrdata", error);
    if (rc == 0 && o.factory_image) rc = sim_factory_wifi(sb->dir + "/etc/wifi", error);
    if (rc == 0) rc = sim_open_stand_ins(sb, error);
    if (rc == 0) {
        sim_plan_mounts(sb, o);
        rc = sim_start_bwrap(sb, error);
    }
    if (rc == 0) rc = sim_hello(sb, error);
    if (rc == 0) {
        sim_name_tmpfs(sb);
        rc = sim_fill(sb, o, error);
    }
    if (rc < 0) {
        sb->keep = sb->keep && !sb->fresh;
        sim_destroy(sb);
        return rc;
    }
    *out = sb;
    return 0;
}

void sim_stop(sim_sandbox *sb, sim_outcome *out)
{
    sim_outcome o;
    if (!sim_reap(sb)) {
        sim_ctl_request head = {SIM_CTL_STOP, 0, 0, 0};
        sim_ctl_reply r;
        sim_request(sb, head, {}, nullptr, 0, SIM_STOP_TIMEOUT_MS, &r);
        if (sim_wait_end(sb, SIM_STOP_TIMEOUT_MS, &o) != 0) {
            kill(sb->bwrap, SIGKILL);
            sim_wait_end(sb, -1, &o);
        }
    }
    sim_wait_end(sb, 0, &o);
    if (out) *out = o;
}

void sim_destroy(sim_sandbox *sb)
{
    if (!sb) return;
    if (sb->bwrap > 0) sim_stop(sb, nullptr);
    if (sb->keep) {
        /* What the tmpfs mounts held at the end stays in the folder. */
        const struct {
            int fd;
            const char *inside;
        } tmpfs[] = {{sb->media_fd, "/usrdata/media"}, {sb->sys_fd, "/sys"}};
        for (const auto &t : tmpfs) {
            if (t.fd < 0) continue;
            sim_empty(sb->dir + t.inside);
            sim_copy_tree(sim_path(sb, t.inside), sb->dir + t.inside);
        }
    }
    for (sim_pty_line &line : sb->ptys) {
        sim_close(&line.master);
        sim_close(&line.slave);
    }
    sim_close(&sb->key_fd);
    for (int &fd : sb->iio_fd) sim_close(&fd);
    sim_close(&sb->ctl);
    sim_close(&sb->pidfd);
    sim_close(&sb->media_fd);
    sim_close(&sb->sys_fd);
    if (sb->fresh && !sb->keep) sim_remove_tree(sb->dir);
    delete sb;
}

int sim_spawn(sim_sandbox *sb, const sim_spawn_args &args)
{
    if (args.argv.empty()) return -EINVAL;
    std::string program = args.argv[0];
    if (program.find('/') == std::string::npos && access((sb->bin_dir + "/" + program).c_str(), X_OK) == 0)
        program = SIM_INSIDE_BIN "/" + program;
    std::vector<std::string> strings = {args.cwd.empty() ? "/" : args.cwd, program};
    strings.insert(strings.end(), args.argv.begin() + 1, args.argv.end());
    /* The defaults, each replaced by a caller's entry of the same name. */
    for (const std::string &d : sb->env) {
        std::string name = d.substr(0, d.find('=') + 1);
        bool replaced = false;
        for (const std::string &e : args.env) replaced = replaced || e.compare(0, name.size(), name) == 0;
        if (!replaced) strings.push_back(d);
    }
    strings.insert(strings.end(), args.env.begin(), args.env.end());

    /* A sandbox that has ended starts nothing. */
    sim_outcome before;
    if (sim_wait_end(sb, 0, &before) == 0) return -ESRCH;
    int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null < 0) return -errno;
    int stdio[3] = {args.stdin_fd >= 0 ? args.stdin_fd : null, args.stdout_fd >= 0 ? args.stdout_fd : null,
                    args.stderr_fd >= 0 ? args.stderr_fd : null};
    sim_ctl_request head = {SIM_CTL_SPAWN, 0, (int32_t)args.argv.size(), 0};
    sim_ctl_reply r;
    int rc = sim_request(sb, head, strings, stdio, 3, SIM_REPLY_TIMEOUT_MS, &r);
    close(null);
    if (rc == -ECONNRESET) {
        /* A program that reboots or powers off at once can end the agent
         * before it answers: the program did start, and its wait reports
         * how the sandbox ended. */
        sim_outcome end;
        if (sim_wait_end(sb, SIM_REPLY_TIMEOUT_MS, &end) == 0 && (end.end == SIM_REBOOT || end.end == SIM_POWER_OFF))
            return SIM_PID_GONE;
    }
    if (rc < 0) return rc;
    return r.status < 0 ? r.status : r.pid;
}

int sim_kill(sim_sandbox *sb, int pid, int sig)
{
    sim_ctl_request head = {SIM_CTL_SIGNAL, pid, sig, 0};
    sim_ctl_reply r;
    int rc = sim_request(sb, head, {}, nullptr, 0, SIM_REPLY_TIMEOUT_MS, &r);
    return rc < 0 ? (rc == -ECONNRESET ? -ESRCH : rc) : r.status;
}

int sim_wait(sim_sandbox *sb, int pid, int timeout_ms, sim_outcome *out)
{
    long long start = (long long)vesk_mono_ms();
    sim_ctl_request head = {SIM_CTL_WAIT, pid, 0, 0};
    sim_ctl_reply r;
    int rc = sim_request(sb, head, {}, nullptr, 0, timeout_ms, &r);
    *out = sim_outcome();
    if (rc == 0 && r.status < 0) return r.status;
    if (rc == 0) {
        out->end = r.kind == SIM_CTL_SIGNALED ? SIM_SIGNALED : SIM_EXITED;
        out->code = r.code;
        return 0;
    }
    if (rc != -ECONNRESET) return rc;
    /* The agent is gone: every program ended with the sandbox. */
    int left = timeout_ms < 0 ? -1 : (int)(timeout_ms - ((long long)vesk_mono_ms() - start));
    return sim_wait_end(sb, left < 0 && timeout_ms >= 0 ? 0 : left, out);
}

std::string sim_outcome_text(const sim_outcome &o)
{
    switch (o.end) {
    case SIM_EXITED:
        return "exit " + std::to_string(o.code);
    case SIM_SIGNALED:
        return "signal " + std::to_string(o.code);
    case SIM_REBOOT:
        return "reboot";
    case SIM_POWER_OFF:
        return "power-off";
    case SIM_ENDED:
        return "ended " + std::to_string(o.code);
    default:
        return "running";
    }
}

const std::string &sim_dir(const sim_sandbox *sb) { return sb->dir; }

std::string sim_path(const sim_sandbox *sb, const std::string &inside)
{
    const sim_mount *best = nullptr;
    for (const sim_mount &m : sb->mounts) {
        size_t n = m.inside.size();
        bool under = inside.compare(0, n, m.inside) == 0 && (inside.size() == n || inside[n] == '/');
        if (under && !m.host.empty() && (!best || n >= best->inside.size())) best = &m;
    }
    return best ? best->host + inside.substr(best->inside.size()) : inside;
}

std::string sim_host_bin(const sim_sandbox *sb, const std::string &name) { return sb->bin_dir + "/" + name; }

int sim_pty(const sim_sandbox *sb, const char *tty)
{
    for (const sim_pty_line &line : sb->ptys)
        if (tty && strcmp(line.name, tty) == 0) return line.master;
    return -1;
}

static int sim_fifo_write(int fd, const void *data, size_t length)
{
    ssize_t n;
    do n = write(fd, data, length);
    while (n < 0 && errno == EINTR);
    if (n < 0) return -errno;
    return (size_t)n == length ? 0 : -EIO;
}

int sim_input_event(sim_sandbox *sb, uint16_t type, uint16_t code, int32_t value)
{
    struct input_event ev = {};
    gettimeofday(&ev.time, nullptr);
    ev.type = type;
    ev.code = code;
    ev.value = value;
    return sim_fifo_write(sb->key_fd, &ev, sizeof ev);
}

int sim_key_event(sim_sandbox *sb, uint16_t code, int32_t value)
{
    /* One write, so the reader never sees a key without its report. */
    struct input_event ev[2] = {};
    gettimeofday(&ev[0].time, nullptr);
    ev[0].type = EV_KEY;
    ev[0].code = code;
    ev[0].value = value;
    ev[1].time = ev[0].time;
    ev[1].type = EV_SYN;
    ev[1].code = SYN_REPORT;
    return sim_fifo_write(sb->key_fd, ev, sizeof ev);
}

int sim_iio_sample(sim_sandbox *sb, int device, int16_t x, int16_t y, int16_t z)
{
    if (device != 1 && device != 2) return -EINVAL;
    unsigned char sample[6];
    int16_t axes[3] = {x, y, z};
    for (int i = 0; i < 3; i++) {
        sample[2 * i] = (unsigned char)(axes[i] & 0xFF);
        sample[2 * i + 1] = (unsigned char)((uint16_t)axes[i] >> 8);
    }
    return sim_fifo_write(sb->iio_fd[device], sample, sizeof sample);
}

int sim_iio_unread(const sim_sandbox *sb, int device)
{
    if (device != 1 && device != 2) return -EINVAL;
    int n = 0;
    if (ioctl(sb->iio_fd[device], FIONREAD, &n) != 0) return -errno;
    return n;
}

static const sim_mount *sim_mount_of(const sim_sandbox *sb, const std::string &inside)
{
    const sim_mount *best = nullptr;
    for (const sim_mount &m : sb->mounts) {
        size_t n = m.inside.size();
        if (inside.compare(0, n, m.inside) == 0 && (inside.size() == n || inside[n] == '/') &&
            (!best || n >= best->inside.size()))
            best = &m;
    }
    return best;
}

int sim_write_file(sim_sandbox *sb, const std::string &inside, const std::string &data)
{
    const sim_mount *m = sim_mount_of(sb, inside);
    if (!m || m->kind == SIM_MOUNT_RO || m->kind == SIM_MOUNT_RO_TRY || m->host.empty()) return -EROFS;
    /* A device stand-in is one bound file: replacing it would leave the
     * sandbox on the old one. */
    bool in_place = m->inside == inside && m->kind != SIM_MOUNT_TMPFS;
    return sim_put(sim_path(sb, inside), data, 0644, !in_place);
}

int sim_write_attribute(sim_sandbox *sb, const std::string &inside, const std::string &text)
{
    const sim_mount *m = sim_mount_of(sb, inside);
    if (!m || m->kind == SIM_MOUNT_RO || m->kind == SIM_MOUNT_RO_TRY || m->host.empty()) return -EROFS;
    const std::string path = sim_path(sb, inside);
    int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? sim_put(path, text, 0644, true) : -errno;
    int rc = 0;
    ssize_t n;
    do n = pwrite(fd, text.data(), text.size(), 0);
    while (n < 0 && errno == EINTR);
    if (n != (ssize_t)text.size()) rc = n < 0 ? -errno : -EIO;
    if (rc == 0 && ftruncate(fd, (off_t)text.size()) != 0) rc = -errno;
    close(fd);
    return rc;
}

int sim_pwrite(sim_sandbox *sb, const std::string &inside, uint64_t offset, const void *data, size_t length)
{
    const sim_mount *m = sim_mount_of(sb, inside);
    if (!m || m->kind == SIM_MOUNT_RO || m->kind == SIM_MOUNT_RO_TRY) return -EROFS;
    int fd = open(sim_path(sb, inside).c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return -errno;
    const char *p = (const char *)data;
    int rc = 0;
    while (length > 0 && rc == 0) {
        ssize_t n = pwrite(fd, p, length, (off_t)offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            rc = n < 0 ? -errno : -EIO;
        else {
            p += n;
            length -= (size_t)n;
            offset += (uint64_t)n;
        }
    }
    close(fd);
    return rc;
}

int sim_read_file(const sim_sandbox *sb, const std::string &inside, std::string *data)
{
    data->clear();
    int fd = open(sim_path(sb, inside).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -errno;
    char buf[65536];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) != 0) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int e = errno;
            close(fd);
            return -e;
        }
        data->append(buf, (size_t)n);
    }
    close(fd);
    return 0;
}

int sim_tool_status(sim_sandbox *sb, const std::string &tool, int status)
{
    std::string path = SIM_TOOLS_DIR "/" + tool + ".status";
    if (status < 0) {
        int rc = unlink(sim_path(sb, path).c_str());
        return rc == 0 || errno == ENOENT ? 0 : -errno;
    }
    return sim_write_file(sb, path, std::to_string(status) + "\n");
}

std::vector<std::string> sim_board_log(const sim_sandbox *sb, const char *call)
{
    std::string text;
    std::vector<std::string> lines;
    sim_read_file(sb, SIM_BOARD_LOG, &text);
    std::string want = call ? std::string(" call=") + call + " " : "";
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) break; /* a line still being written */
        std::string line = text.substr(at, end - at);
        if (want.empty() || (line + " ").find(want) != std::string::npos) lines.push_back(line);
        at = end + 1;
    }
    return lines;
}

static std::string sim_unescape(const std::string &s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); i++) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x') {
            out += (char)strtol(s.substr(i + 2, 2).c_str(), nullptr, 16);
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

/* Every value of key in a line, in order. */
static std::vector<std::string> sim_log_values(const std::string &line, const std::string &key)
{
    std::vector<std::string> values;
    std::string want = key + "=";
    size_t at = 0;
    while (at < line.size()) {
        size_t end = line.find(' ', at);
        if (end == std::string::npos) end = line.size();
        if (line.compare(at, want.size(), want) == 0)
            values.push_back(sim_unescape(line.substr(at + want.size(), end - at - want.size())));
        at = end + 1;
    }
    return values;
}

std::string sim_log_field(const std::string &line, const std::string &key)
{
    std::vector<std::string> values = sim_log_values(line, key);
    return values.empty() ? "" : values[0];
}

std::vector<std::string> sim_log_args(const std::string &line) { return sim_log_values(line, "arg"); }
