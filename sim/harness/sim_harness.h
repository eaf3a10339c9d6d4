// The one way tests, benchmarks and scope-sim start the scope in a sandbox
// and watch it from outside, as its peers would: the sandbox, the queue
// peers, sightd, sightui (ready only once it takes snapshot requests), the
// rangefinder module and any other device peer, frames sent and expected,
// snapshots with the widget tree and the top window, the scope's keys, the
// log records and the board log. Every wait has a deadline, stretched in
// sanitizer builds; nothing here relies on timing.
//
// A test:
//     sim_harness h;
//     ASSERT_TRUE(h.create()) << h.why;        // fails, never skips
//     ASSERT_TRUE(h.start_peer("media")) << h.why;
//     ASSERT_TRUE(h.boot_sightd()) << h.why;   // up to the end of the boot push
//     ASSERT_TRUE(h.start_sightui()) << h.why;
//     ASSERT_TRUE(h.wait_top("QZ_home_page_1")) << h.why;
// Calls that can fail return false (or an empty result) and leave the
// reason in why.
#pragma once

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "lrf_sim.h"
#include "sim.h"
#include "sim_peer.h"
#include "sim_tree.h"

/* Sanitizer builds run several times slower; deadlines stretch by this. */
#if defined(__SANITIZE_ADDRESS__)
#define SIM_SLOW 4
#else
#define SIM_SLOW 1
#endif
/* Generous bounds for things that must happen, never speed checks. */
#define SIM_BOOT_MS (40000 * SIM_SLOW)
#define SIM_REPLY_MS (10000 * SIM_SLOW)

#define SIM_PEER_DIR "/sim/peers"
#define SIM_SNAPSHOT_DIR "/tmp/gui-snapshots"
#define SIM_LOG_DIR "/usrdata/media/VeskLogs"
/* The video plane sightui is shown over, once a device peer writes it
 * (the thermal scene, sim/devices/thermal_core). */
#define SIM_VIDEO_PLANE "/tmp/video-plane.rgba"

typedef std::vector<uint8_t> sim_bytes;

/* A frame header to match: object, sub, item, flag; -1 matches any. */
struct sim_head {
    int obj = -1, sub = -1, item = -1, flag = -1;
    bool operator()(const sim_bytes &frame) const;
};
/* Any test of a frame (a sim_head is one). */
typedef std::function<bool(const sim_bytes &)> sim_match;
/* The last frame of sightd's boot push: the dynamic-coefficient state. */
extern const sim_head sim_boot_done;

/* A record's CLOCK_MONOTONIC milliseconds, -1 when it has none. */
long long sim_log_ms(const std::string &line);

/* Waits until done() or the deadline; pause(ms) runs between polls (it
 * returns false to give up early, e.g. when a run ends). */
typedef std::function<bool(int ms)> sim_pause_fn;
bool sim_wait_for(int timeout_ms, const std::function<bool()> &done, const sim_pause_fn &pause = nullptr);

struct sim_lrf_link;

struct sim_harness {
    sim_sandbox *sb = nullptr;
    int sightd = -1;
    int sightui = -1;
    std::string why;      /* what the last failing call could not do */
    bool console = false; /* sightd and sightui write to our standard output
                           * and error (scope-sim); else to /dev/null */

    sim_harness() = default;
    sim_harness(const sim_harness &) = delete;
    sim_harness &operator=(const sim_harness &) = delete;
    /* Device peers detach (last first), then the sandbox goes. */
    ~sim_harness();

    /* The sandbox; false with why (naming what this machine lacks). A
     * fresh sandbox gets the firmware image's factory templates. */
    bool create(const sim_options &options = sim_options());
    /* Used between polls by every wait; scope-sim passes signals on there. */
    void set_pause(const sim_pause_fn &pause) { pause_ = pause; }
    bool wait(int timeout_ms, const std::function<bool()> &done) const;

    /* Any program inside; its pid, or -1 with why. quiet: its output goes
     * to /dev/null rather than to ours. */
    int spawn(const std::vector<std::string> &argv, const std::vector<std::string> &env = {}, bool quiet = false,
              const std::string &cwd = "/");
    /* A program that must end by itself with status 0 within timeout_ms;
     * what it wrote on its standard output in *output when given. */
    bool run(const std::vector<std::string> &argv, int timeout_ms, std::string *output = nullptr);

    /* A queue peer ("media", "http", "ble", "gui": a GUI stand-in), ready
     * to drain and send. Starting one twice is no error. */
    bool start_peer(const std::string &role);
    bool peer_started(const std::string &role) const;
    /* sightd (or another program in its place); does not wait. */
    bool start_sightd(const std::vector<std::string> &env = {}, const std::vector<std::string> &argv = {"sightd"});
    /* sightd, up to the end of its boot push at the GUI stand-in. */
    bool boot_sightd();
    /* sightd, up to its last module registering for frames. The boot push
     * can end before the late modules (ballistics, update watcher, PC link,
     * Wi-Fi, Bluetooth) are up, and a frame for one of them sent then is
     * lost; sightd sets the serial-line switch once they all are. */
    bool boot_all_modules();
    /* How often a sightd in this sandbox has set the serial-line switch,
     * which it does once all its modules are up. */
    size_t modules_up() const;
    /* SIGTERM, then how sightd ended. */
    sim_outcome stop_sightd(int timeout_ms = 10000 * SIM_SLOW);
    /* sightui from the build's bin/ with its resources; backend "headless"
     * or "sdl"; args such as "640 480". Returns once sightui takes
     * snapshot requests (before that a snapshot signal would end it). */
    bool start_sightui(const std::vector<std::string> &args = {}, const std::string &backend = "headless",
                       const std::vector<std::string> &env = {});
    /* 1 once the program with this pid has ended (how: *out), else 0. */
    bool ended(int pid, sim_outcome *out = nullptr) const;

    /* Frames a peer received, all or those matching head. */
    std::vector<sim_peer_record> received(const std::string &role) const;
    std::vector<sim_bytes> frames(const std::string &role, const sim_match &match = sim_head()) const;
    /* Waits until the peer holds at least n frames that match; them. */
    std::vector<sim_bytes> wait_frames(const std::string &role, const sim_match &match, size_t n,
                                       int timeout_ms = SIM_REPLY_MS) const;
    /* The oldest frame matching head that no take() returned yet, waiting
     * up to timeout_ms: frames on independent threads may come in either
     * order and none is taken twice. */
    bool take(const std::string &role, const sim_match &match, int timeout_ms, sim_bytes *frame);
    /* Every frame not taken yet (all of them now count as taken), those
     * matching head. */
    std::vector<sim_bytes> take_all(const std::string &role, const sim_match &match = sim_head());
    /* Sends a frame to sightd as the peer. */
    bool send(const std::string &role, const sim_bytes &frame);

    /* A snapshot of sightui: its widget tree and, if asked, the PNG. */
    bool snapshot(std::string *tree, std::string *png = nullptr);
    /* Where the last snapshot's PNG lies inside. */
    const std::string &last_png() const { return last_png_; }
    /* The top window of a fresh snapshot ("" with why when none came). */
    std::string top_window();
    /* Snapshots until the top window is name; a few a second at most, as
     * each costs the GUI thread a full render. */
    bool wait_top(const std::string &name, int timeout_ms = SIM_BOOT_MS);
    /* Snapshots until pred holds for the tree; the last tree in *tree. */
    bool wait_tree(const std::function<bool(const std::string &)> &pred, int timeout_ms, std::string *tree,
                   std::string *png = nullptr);

    /* A scope key pressed on the key device, where sightd's key threads
     * read it as on the board: names as sim_keys.h gives them ("range",
     * "left+down" ...), kind "short", "long" (held hold_ms) or "double".
     * Returns once the last event is written. */
    bool key(const std::string &name, const std::string &kind = "short", int hold_ms = 1000);
    /* Key frames straight into sightui's key injection, as sightd would
     * send them (device key codes of the GUI's key table, "+MS" a pause):
     * for a sightui that runs without sightd's key path, or a key frame
     * the key device has no key for (photo, range double). */
    bool key_codes(const std::vector<std::string> &codes);

    /* Lines of a log stream ("app", "gui", "errors") on the Media
     * partition holding match, in the order they were logged. */
    std::vector<std::string> log_lines(const std::string &stream, const std::string &match = "") const;
    /* Board-log lines, those of one call ("ioctl", "tool") when given. */
    std::vector<std::string> board_log(const char *call = nullptr) const;

    /* A file inside ("" when missing), and whether a file or folder exists. */
    std::string read(const std::string &inside) const;
    bool exists(const std::string &inside) const;

    /* The simulated rangefinder module on /dev/ttyS5 (attached on first
     * use, detached before the sandbox goes); null with why. */
    lrf_sim *lrf();
    /* One script line of the module (lrf_sim.h). */
    bool lrf_command(const std::string &line);
    /* What the module has seen and done. */
    lrf_sim_stats lrf_stats();

    /* A device peer (sim/devices/<device>) stays attached until the
     * harness ends: detach runs before the sandbox goes, last first. */
    void at_end(const std::function<void()> &detach);

private:
    sim_pause_fn pause_;
    std::vector<std::string> peers_;
    std::vector<std::vector<bool>> taken_;
    int shots_ = 0; /* snapshots the running sightui wrote */
    int gui_starts_ = 0;
    std::string snapshot_dir_;
    std::string last_png_;
    sim_lrf_link *lrf_ = nullptr;
    std::vector<std::function<void()>> at_end_;
    bool fail(const std::string &what);
};
