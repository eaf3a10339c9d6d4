#include "sim_harness.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <thread>

#include "sim_keys.h"
#include "sim_lrf_link.h"

const sim_head sim_boot_done = {0x00, 0x00, 0x2B, 0x80};

bool sim_head::operator()(const sim_bytes &f) const
{
    return f.size() >= 9 && (obj < 0 || f[2] == obj) && (sub < 0 || f[3] == sub) && (item < 0 || f[4] == item) &&
           (flag < 0 || f[5] == flag);
}

long long sim_log_ms(const std::string &line)
{
    size_t at = line.find("mono_ms=");
    return at == std::string::npos ? -1 : atoll(line.c_str() + at + 8);
}

bool sim_wait_for(int timeout_ms, const std::function<bool()> &done, const sim_pause_fn &pause)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        if (pause) {
            if (!pause(10)) return done();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    return true;
}

/* ---- the harness ---- */

static const char *const sim_roles[] = {"media", "http", "ble", "gui"};

static int sim_role_index(const std::string &role)
{
    for (int i = 0; i < 4; i++)
        if (role == sim_roles[i]) return i;
    return -1;
}

bool sim_harness::fail(const std::string &what)
{
    why = what;
    return false;
}

bool sim_harness::wait(int timeout_ms, const std::function<bool()> &done) const
{
    return sim_wait_for(timeout_ms, done, pause_);
}

sim_harness::~sim_harness()
{
    while (!at_end_.empty()) {
        std::function<void()> detach = at_end_.back();
        at_end_.pop_back();
        detach();
    }
    if (sb != nullptr) sim_destroy(sb);
}

void sim_harness::at_end(const std::function<void()> &detach) { at_end_.push_back(detach); }

bool sim_harness::create(const sim_options &options)
{
    std::string error;
    if (!sim_available(&error))
        return fail("no sandbox on this machine: " + error +
                    " (bubblewrap must be installed and unprivileged user namespaces allowed)");
    int rc = sim_create(options, &sb, &error);
    if (rc != 0) return fail("no sandbox: " + error);
    taken_.assign(4, {});
    /* The peers keep their record files here, read from outside. */
    if (sim_write_file(sb, SIM_PEER_DIR "/.made", "") != 0) return fail("no folder " SIM_PEER_DIR);
    return true;
}

int sim_harness::spawn(const std::vector<std::string> &argv, const std::vector<std::string> &env, bool quiet,
                       const std::string &cwd)
{
    sim_spawn_args args;
    args.argv = argv;
    args.env = env;
    args.cwd = cwd;
    if (quiet) args.stdout_fd = args.stderr_fd = -1;
    int pid = sim_spawn(sb, args);
    if (pid < 0) {
        fail(argv[0] + " did not start: " + strerror(-pid));
        return -1;
    }
    return pid;
}

bool sim_harness::run(const std::vector<std::string> &argv, int timeout_ms, std::string *output)
{
    int out[2] = {-1, -1};
    /* Only our end reads without waiting: the program's end blocks, or a
     * writer faster than the drain (cat of a large file) fails with EAGAIN. */
    if (output != nullptr && (pipe2(out, O_CLOEXEC) != 0 || fcntl(out[0], F_SETFL, O_NONBLOCK) != 0))
        return fail(std::string("pipe: ") + strerror(errno));
    sim_spawn_args args;
    args.argv = argv;
    if (output != nullptr) args.stdout_fd = out[1];
    int pid = sim_spawn(sb, args);
    if (out[1] >= 0) close(out[1]);
    auto drain = [&] {
        char buf[4096];
        ssize_t n;
        while (out[0] >= 0 && (n = ::read(out[0], buf, sizeof buf)) > 0) output->append(buf, (size_t)n);
    };
    sim_outcome end;
    bool done = pid > 0 && wait(timeout_ms, [&] {
                    drain();
                    return ended(pid, &end);
                });
    drain();
    if (out[0] >= 0) close(out[0]);
    if (pid < 0) return fail(argv[0] + " did not start: " + strerror(-pid));
    if (!done) {
        sim_kill(sb, pid, SIGKILL);
        return fail(argv[0] + " still runs after " + std::to_string(timeout_ms) + " ms");
    }
    if (end.end != SIM_EXITED || end.code != 0) return fail(argv[0] + " ended: " + sim_outcome_text(end));
    return true;
}

bool sim_harness::ended(int pid, sim_outcome *out) const
{
    sim_outcome o;
    bool done = sim_wait(sb, pid, 0, &o) == 0;
    if (out != nullptr) *out = o;
    return done;
}

bool sim_harness::peer_started(const std::string &role) const
{
    return std::find(peers_.begin(), peers_.end(), role) != peers_.end();
}

bool sim_harness::start_peer(const std::string &role)
{
    if (sim_role_index(role) < 0) return fail("no peer '" + role + "' (media http ble gui)");
    if (peer_started(role)) return true;
    int pid = spawn({"sim-peer", "--role", role, "--dir", SIM_PEER_DIR});
    if (pid < 0) return false;
    if (!wait(SIM_REPLY_MS, [&] { return exists(SIM_PEER_DIR "/" + role + ".ready") || ended(pid); }) ||
        !exists(SIM_PEER_DIR "/" + role + ".ready"))
        return fail("the " + role + " peer did not start");
    peers_.push_back(role);
    return true;
}

bool sim_harness::start_sightd(const std::vector<std::string> &env, const std::vector<std::string> &argv)
{
    sightd = spawn(argv, env, !console);
    return sightd > 0;
}

bool sim_harness::boot_sightd()
{
    if (!peer_started("gui") && !start_peer("gui")) return false;
    size_t before = frames("gui", sim_boot_done).size();
    if (!start_sightd()) return false;
    if (wait_frames("gui", sim_boot_done, before + 1, SIM_BOOT_MS).size() <= before) {
        sim_outcome out;
        return fail(ended(sightd, &out) ? "sightd ended during its boot: " + sim_outcome_text(out)
                                        : "sightd's boot push did not end");
    }
    return true;
}

size_t sim_harness::modules_up() const
{
    size_t n = 0;
    for (const std::string &line : board_log("ioctl"))
        if (sim_log_field(line, "node") == "/dev/uart_switch") n++;
    return n;
}

bool sim_harness::boot_all_modules()
{
    const size_t before = modules_up();
    if (!boot_sightd()) return false;
    return wait(SIM_REPLY_MS, [&] { return modules_up() > before; }) ||
           fail("sightd's modules never all started: no serial-line switch after the boot push");
}

sim_outcome sim_harness::stop_sightd(int timeout_ms)
{
    sim_outcome out;
    sim_kill(sb, sightd, SIGTERM);
    sim_wait(sb, sightd, timeout_ms, &out);
    if (out.end != SIM_RUNNING) sightd = -1;
    return out;
}

static size_t sim_count(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}

/* sightui appends its build line once the toolkit is up, after it
 * installed the snapshot signal: before that SIGUSR1 would end it. */
#define SIM_UI_LINE "UI:\t <qel_menu>"

bool sim_harness::start_sightui(const std::vector<std::string> &args, const std::string &backend,
                                const std::vector<std::string> &env)
{
    if (sightui > 0 && !ended(sightui)) return fail("sightui already runs");
    /* A folder per start: each sightui numbers its snapshots from 1. */
    snapshot_dir_ = SIM_SNAPSHOT_DIR "/" + std::to_string(++gui_starts_);
    if (sim_write_file(sb, snapshot_dir_ + "/.made", "") != 0) return fail("no folder " + snapshot_dir_);
    shots_ = 0;
    std::vector<std::string> argv = {"sightui"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> all_env = {"VESK_GUI_SNAPSHOT_DIR=" + snapshot_dir_, "VESK_GUI_BACKEND=" + backend,
                                        "VESK_VIDEO_PLANE=" SIM_VIDEO_PLANE};
    all_env.insert(all_env.end(), env.begin(), env.end());
    size_t lines = sim_count(read("/tmp/apps.version"), SIM_UI_LINE);
    /* sightui reads its resources from ./res, beside the program. */
    sightui = spawn(argv, all_env, !console, SIM_INSIDE_BIN);
    if (sightui < 0) return false;
    bool up = wait(10000 * SIM_SLOW,
                   [&] { return ended(sightui) || sim_count(read("/tmp/apps.version"), SIM_UI_LINE) > lines; });
    sim_outcome out;
    if (ended(sightui, &out)) return fail("sightui ended at its start: " + sim_outcome_text(out));
    if (!up) return fail("sightui wrote no build line: its toolkit did not start");
    return true;
}

/* ---- frames ---- */

std::vector<sim_peer_record> sim_harness::received(const std::string &role) const
{
    return sim_peer_read_log(sim_path(sb, SIM_PEER_DIR "/" + role + ".rx"));
}

std::vector<sim_bytes> sim_harness::frames(const std::string &role, const sim_match &head) const
{
    std::vector<sim_bytes> out;
    for (const sim_peer_record &r : received(role))
        if (head(r.frame)) out.push_back(r.frame);
    return out;
}

std::vector<sim_bytes> sim_harness::wait_frames(const std::string &role, const sim_match &head, size_t n,
                                                int timeout_ms) const
{
    std::vector<sim_bytes> got;
    wait(timeout_ms, [&] {
        got = frames(role, head);
        return got.size() >= n;
    });
    return got;
}

bool sim_harness::take(const std::string &role, const sim_match &head, int timeout_ms, sim_bytes *frame)
{
    int index = sim_role_index(role);
    if (index < 0) return fail("no peer '" + role + "' (media http ble gui)");
    std::vector<bool> &taken = taken_[index];
    bool got = wait(timeout_ms, [&] {
        std::vector<sim_peer_record> records = received(role);
        taken.resize(records.size(), false);
        for (size_t i = 0; i < records.size(); i++) {
            if (taken[i] || !head(records[i].frame)) continue;
            taken[i] = true;
            *frame = records[i].frame;
            return true;
        }
        return false;
    });
    return got ? true : fail("no such frame reached the " + role + " peer");
}

std::vector<sim_bytes> sim_harness::take_all(const std::string &role, const sim_match &head)
{
    std::vector<sim_bytes> out;
    int index = sim_role_index(role);
    if (index < 0) return out;
    std::vector<sim_peer_record> records = received(role);
    std::vector<bool> &taken = taken_[index];
    taken.resize(records.size(), false);
    for (size_t i = 0; i < records.size(); i++) {
        if (taken[i]) continue;
        taken[i] = true;
        if (head(records[i].frame)) out.push_back(records[i].frame);
    }
    return out;
}

bool sim_harness::send(const std::string &role, const sim_bytes &frame)
{
    if (!peer_started(role)) return fail("start the " + role + " peer first");
    int rc = sim_peer_write_tx(sim_path(sb, SIM_PEER_DIR "/" + role + ".tx"), frame);
    return rc == 0 ? true : fail(role + " could not send: " + strerror(-rc));
}

/* ---- snapshots ---- */

bool sim_harness::snapshot(std::string *tree, std::string *png)
{
    if (sightui <= 0 || ended(sightui)) return fail("sightui does not run");
    char seq[16];
    snprintf(seq, sizeof seq, "%04d", shots_ + 1);
    std::string base = snapshot_dir_ + "/qel_menu-" + seq;
    int rc = sim_kill(sb, sightui, SIGUSR1);
    if (rc != 0) return fail(std::string("sightui: ") + strerror(-rc));
    std::string image, dump;
    /* The tree is written first, the picture after it. */
    if (!wait(SIM_REPLY_MS,
              [&] {
                  return ended(sightui) || (sim_read_file(sb, base + ".png", &image) == 0 &&
                                            sim_read_file(sb, base + ".txt", &dump) == 0);
              }) ||
        ended(sightui))
        return fail("sightui wrote no snapshot");
    shots_++;
    last_png_ = base + ".png";
    if (tree != nullptr) *tree = dump;
    if (png != nullptr) *png = image;
    return true;
}

std::string sim_harness::top_window()
{
    std::string tree;
    return snapshot(&tree) ? sim_tree_top(tree) : "";
}

bool sim_harness::wait_tree(const std::function<bool(const std::string &)> &pred, int timeout_ms, std::string *tree,
                            std::string *png)
{
    std::string dump, image;
    bool ok = false;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        if (!snapshot(&dump, png != nullptr ? &image : nullptr)) break;
        if ((ok = pred(dump))) break;
        if (std::chrono::steady_clock::now() >= end) {
            fail("the GUI did not reach the state within " + std::to_string(timeout_ms) + " ms");
            break;
        }
        /* Each snapshot costs the GUI thread a full render. */
        if (pause_ ? !pause_(100) : (std::this_thread::sleep_for(std::chrono::milliseconds(100)), false)) break;
    }
    if (tree != nullptr) *tree = dump;
    if (png != nullptr) *png = image;
    return ok;
}

bool sim_harness::wait_top(const std::string &name, int timeout_ms)
{
    std::string tree;
    if (wait_tree([&](const std::string &t) { return sim_tree_top(t) == name; }, timeout_ms, &tree)) return true;
    if (!tree.empty()) why = "the top window is " + sim_tree_top(tree) + ", not " + name;
    return false;
}

/* ---- keys ---- */

bool sim_harness::key(const std::string &name, const std::string &kind, int hold_ms)
{
    return sim_keys_press(sb, name, kind, hold_ms, &why);
}

bool sim_harness::key_codes(const std::vector<std::string> &codes)
{
    int hold = 0;
    for (const std::string &c : codes)
        if (c[0] == '+') hold += atoi(c.c_str() + 1);
    std::vector<std::string> argv = {"sightui-keys"};
    argv.insert(argv.end(), codes.begin(), codes.end());
    return run(argv, hold + SIM_REPLY_MS);
}

/* ---- logs and files ---- */

std::vector<std::string> sim_harness::log_lines(const std::string &stream, const std::string &match) const
{
    std::vector<std::string> out;
    /* A stream is written to two files in turn. */
    for (const char *n : {"1", "0"}) {
        std::string text;
        if (sim_read_file(sb, SIM_LOG_DIR "/" + stream + n + ".log", &text) != 0) continue;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);)
            if (line.find(match) != std::string::npos) out.push_back(line);
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const std::string &a, const std::string &b) { return sim_log_ms(a) < sim_log_ms(b); });
    return out;
}

std::vector<std::string> sim_harness::board_log(const char *call) const { return sim_board_log(sb, call); }

std::string sim_harness::read(const std::string &inside) const
{
    std::string data;
    sim_read_file(sb, inside, &data);
    return data;
}

bool sim_harness::exists(const std::string &inside) const
{
    struct stat st;
    return stat(sim_path(sb, inside).c_str(), &st) == 0;
}

/* ---- devices ---- */

lrf_sim *sim_harness::lrf()
{
    if (lrf_ == nullptr) {
        lrf_ = sim_lrf_attach(sb);
        if (lrf_ == nullptr) {
            fail("the rangefinder module did not start on /dev/ttyS5");
            return nullptr;
        }
        sim_lrf_link *link = lrf_;
        at_end([link] { sim_lrf_detach(link); });
    }
    return sim_lrf_module(lrf_);
}

bool sim_harness::lrf_command(const std::string &line)
{
    lrf_sim *m = lrf();
    if (m == nullptr) return false;
    return lrf_sim_command(m, line.c_str()) == 0 ? true : fail("the module does not know '" + line + "'");
}

lrf_sim_stats sim_harness::lrf_stats()
{
    lrf_sim_stats s = {};
    if (lrf() != nullptr) lrf_sim_get_stats(lrf(), &s);
    return s;
}
