// The lifecycle coordinator against the real persistence service and the
// real logger, each case in a forked child with queues of its own: the GUI
// and the media process are queue peers that keep what they receive, the
// board's power-off and reboot are recorded instead of made.
#include "vesk_lifecycle.h"

#include <errno.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "iniparser_handler.h"
#include "log_test_support.h"
#include "persist_fixture.h"
#include "sim_peer.h"
#include "vesk_persist.h"
#include "vesk_signal.h"

using vesk_log_test::in_child;
using vesk_log_test::TempDir;

namespace {

uint64_t now() { return vesk_persist_mono_ms(); }

void sleep_ms(int ms) { usleep((useconds_t)ms * 1000); }

bool wait_for(const std::function<bool()> &done, int timeout_ms)
{
    uint64_t end = now() + (uint64_t)timeout_ms;
    while (!done()) {
        if (now() >= end) return false;
        sleep_ms(1);
    }
    return true;
}

/* ---- what the coordinator calls outside itself, recorded -------------- */

struct BoardCall {
    std::string what; /* "power_off" or "reboot" */
    uint64_t at;
};

std::mutex mu;
std::vector<BoardCall> board;
std::vector<int> factory_cancels;
std::vector<std::pair<int, int>> update_notes;
std::vector<std::vector<uint8_t>> http_results;
int power_rc;
int reboot_rc;

int fake_power_off()
{
    std::lock_guard<std::mutex> lock(mu);
    board.push_back({"power_off", now()});
    return power_rc;
}
int fake_reboot()
{
    std::lock_guard<std::mutex> lock(mu);
    board.push_back({"reboot", now()});
    return reboot_rc;
}
void fake_cancel(int reason)
{
    std::lock_guard<std::mutex> lock(mu);
    factory_cancels.push_back(reason);
}
void fake_note(vesk_update_result result, int rc)
{
    std::lock_guard<std::mutex> lock(mu);
    update_notes.push_back({(int)result, rc});
}
int fake_http(uint8_t cmd, const uint8_t *data, size_t n)
{
    std::lock_guard<std::mutex> lock(mu);
    std::vector<uint8_t> v{cmd};
    v.insert(v.end(), data, data + n);
    http_results.push_back(v);
    return 0;
}

std::vector<BoardCall> board_calls()
{
    std::lock_guard<std::mutex> lock(mu);
    return board;
}

/* The commit's format and update steps: they take as long as a test holds
 * them and answer what it asks. */
std::atomic<int> hook_hold{0};
std::atomic<int> hook_entered{0};
std::atomic<int> hook_rc{0};

int hook_format(void *)
{
    hook_entered++;
    while (hook_hold.load()) sleep_ms(1);
    return hook_rc.load();
}
int hook_update(const char *, void *) { return hook_format(nullptr); }

/* ---- undo calls, counted on their way to the real ones ---------------- */

/* The test binary is linked with --wrap for these, so every call the
 * coordinator makes is counted and then done as usual. */
std::atomic<int> persist_resumes{0};
std::atomic<int> media_resumes{0};
std::atomic<int> media_pauses{0}; /* Media log barriers asked for */

} // namespace

extern "C" int __real__Z19vesk_persist_resumePK18vesk_persist_token(const vesk_persist_token *token);
extern "C" int __wrap__Z19vesk_persist_resumePK18vesk_persist_token(const vesk_persist_token *token)
{
    persist_resumes++;
    return __real__Z19vesk_persist_resumePK18vesk_persist_token(token);
}
extern "C" int __real__Z16vesk_log_request21vesk_log_barrier_kindmPm(vesk_log_barrier_kind kind, uint64_t deadline,
                                                                     uint64_t *ticket);
extern "C" int __wrap__Z16vesk_log_request21vesk_log_barrier_kindmPm(vesk_log_barrier_kind kind, uint64_t deadline,
                                                                     uint64_t *ticket)
{
    if (kind == VESK_LOG_PAUSE_MEDIA) media_pauses++;
    return __real__Z16vesk_log_request21vesk_log_barrier_kindmPm(kind, deadline, ticket);
}
extern "C" void __real__Z21vesk_log_resume_mediav(void);
extern "C" void __wrap__Z21vesk_log_resume_mediav(void)
{
    media_resumes++;
    __real__Z21vesk_log_resume_mediav();
}

namespace {

/* ---- one scope: logger, persistence, coordinator, queue peers --------- */

struct Scope {
    TempDir media;
    PersistDir dir;
    vesk_persist_profiles profiles = {};
    sim_peer *gui = nullptr;
    sim_peer *mediap = nullptr;
    int log_peer = -1;

    ~Scope()
    {
        if (!dir.root.empty()) dir.remove();
    }

    void start()
    {
        ASSERT_EQ(sim_peer_private_ipc(), 0);
        vesk_log_config cfg;
        memset(&cfg, 0, sizeof cfg);
        snprintf(cfg.vesk_media_root, sizeof cfg.vesk_media_root, "%s", media.path.c_str());
        snprintf(cfg.vesk_socket_path, sizeof cfg.vesk_socket_path, "%s/log.sock", media.path.c_str());
        cfg.vesk_require_vfat = 0;
        ASSERT_EQ(vesk_log_start(VESK_LOG_APP, &cfg), 0);
        gui = sim_peer_start(SIM_PEER_GUI, nullptr);
        mediap = sim_peer_start(SIM_PEER_MEDIA, nullptr);
        ASSERT_NE(gui, nullptr);
        ASSERT_NE(mediap, nullptr);
        dir.create();
        vesk_persist_paths paths = dir.paths();
        static const vesk_persist_hooks hooks = {hook_format, hook_update, nullptr};
        ASSERT_EQ(vesk_persist_start(&paths, &hooks, &qel_dev_status, &profiles), 0);
        vesk_lifecycle_calls calls = {fake_power_off, fake_reboot, fake_cancel, fake_note, nullptr, nullptr, fake_http};
        vesk_lifecycle_set_calls(&calls);
        ASSERT_EQ(vesk_lifecycle_start(), 0);
    }

    /* A GUI connected to the log socket that never answers a barrier's
     * cut-off, so every barrier runs to its deadline. */
    void hold_barriers()
    {
        log_peer = socket(AF_UNIX, SOCK_SEQPACKET, 0);
        sockaddr_un a = {};
        a.sun_family = AF_UNIX;
        snprintf(a.sun_path, sizeof a.sun_path, "%s/log.sock", media.path.c_str());
        ASSERT_TRUE(wait_for([&] { return connect(log_peer, (sockaddr *)&a, sizeof a) == 0; }, 5000));
        vesk_log_stats st;
        ASSERT_TRUE(wait_for(
            [&] {
                vesk_log_get_stats(&st);
                return st.vesk_peer_connected != 0;
            },
            5000));
    }

    /* (reason, outcome) of every lifecycle result the GUI received. */
    std::vector<std::pair<int, int>> results()
    {
        std::vector<std::pair<int, int>> out;
        for (const auto &r : sim_peer_received(gui))
            if (r.frame.size() == 11 && r.frame[2] == 0 && r.frame[4] == 0x2A && r.frame[5] == 0x80)
                out.push_back({r.frame[6], r.frame[7]});
        return out;
    }
    bool wait_result(std::pair<int, int> want, int timeout_ms = 5000)
    {
        return wait_for(
            [&] {
                for (auto r : results())
                    if (r == want) return true;
                return false;
            },
            timeout_ms);
    }
    /* Media shutdown modes the media process received. */
    std::vector<int> media_modes()
    {
        std::vector<int> out;
        for (const auto &r : sim_peer_received(mediap))
            if (r.frame.size() == 10 && r.frame[4] == 0x0D) out.push_back(r.frame[6]);
        return out;
    }
    vesk_persist_status status()
    {
        vesk_persist_status st;
        vesk_persist_get_status(&st);
        return st;
    }
    bool wait_phase(vesk_persist_phase phase, int timeout_ms = 5000)
    {
        return wait_for([&] { return status().vesk_phase == phase; }, timeout_ms);
    }
    bool wait_board(size_t count, int timeout_ms = 8000)
    {
        return wait_for([&] { return board_calls().size() >= count; }, timeout_ms);
    }
};

vesk_persist_request req(int reason, int format = 0)
{
    vesk_persist_request r;
    memset(&r, 0, sizeof r);
    r.vesk_reason = (vesk_persist_reason)reason;
    r.vesk_format_media = format;
    snprintf(r.vesk_reset_ssid, sizeof r.vesk_reset_ssid, "VeskNV_SN_NuraxPRO520_LRF");
    snprintf(r.vesk_update_path, sizeof r.vesk_update_path, "/usrdata/media/.update/pkg.zip");
    return r;
}

int request(int reason, int format = 0)
{
    vesk_persist_request r = req(reason, format);
    return vesk_lifecycle_request(&r);
}

/* The run before has told its outcome and is just giving the coordinator
 * back: ask until it is free. */
int request_when_free(int reason)
{
    int rc = -EBUSY;
    wait_for([&] { return (rc = request(reason)) != -EBUSY; }, 2000);
    return rc;
}

/* The language in a settings file, -1 when it holds none. */
int saved_language(const std::string &path)
{
    std::string text = read_text(path);
    size_t at = text.find("\ns8language ");
    if (at == std::string::npos) return -1;
    size_t eq = text.find('=', at);
    return eq == std::string::npos ? -1 : atoi(text.c_str() + eq + 1);
}

/* A setting changed inside an edit section, as a router makes it. */
void change_setting(int value) { ASSERT_EQ(persist_action({"set", "s8language", std::to_string(value)}), 0); }

/* ---- frames ------------------------------------------------------------ */

TEST(LifecycleFrames, ResultAndMediaShutdownBytes)
{
    uint8_t out[11];
    ASSERT_EQ(vesk_lifecycle_result_frame(out, 3, 2), 11u);
    EXPECT_EQ(sim_hex(std::vector<uint8_t>(out, out + 11)), sim_hex(sim_frame(0, 0, 0x2A, 0x80, {3, 2})));
    ASSERT_EQ(vesk_lifecycle_media_frame(out, 1), 10u);
    EXPECT_EQ(sim_hex(std::vector<uint8_t>(out, out + 10)), sim_hex(sim_frame(0, 0, 0x0D, 0x00, {1})));
    EXPECT_TRUE(sim_frame_sound(std::vector<uint8_t>(out, out + 10)));
}

/* ---- admission and outcomes -------------------------------------------- */

/* Each reason run to its end: the terminal call, the media mode, the GUI's
 * news and what persistence is left in. */
TEST(LifecycleOutcomes, EveryReasonRunsToItsTerminalAction)
{
    struct Row {
        int reason;
        int format;
        const char *terminal; /* "" none */
        int media_mode;       /* 0 none */
        vesk_persist_phase phase;
    } rows[] = {
        {1, 0, "power_off", 1, VESK_PERSIST_COMMITTED}, {2, 0, "reboot", 2, VESK_PERSIST_COMMITTED},
        {3, 0, "power_off", 1, VESK_PERSIST_COMMITTED}, {4, 0, "power_off", 1, VESK_PERSIST_COMMITTED},
        {5, 0, "reboot", 2, VESK_PERSIST_COMMITTED},    {5, 1, "reboot", 2, VESK_PERSIST_COMMITTED},
        {6, 0, "reboot", 2, VESK_PERSIST_COMMITTED},    {7, 0, "reboot", 2, VESK_PERSIST_COMMITTED},
        {8, 0, "", 0, VESK_PERSIST_COMMITTED},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE("reason " + std::to_string(row.reason) + " format " + std::to_string(row.format));
        in_child([&] {
            Scope s;
            ASSERT_NO_FATAL_FAILURE(s.start());
            change_setting(7);
            ASSERT_EQ(request(row.reason, row.format), 0);
            if (row.reason == 8) {
                ASSERT_TRUE(wait_for([] { return is_signal_exit() == 1; }, 5000));
            } else {
                ASSERT_TRUE(s.wait_board(1));
                EXPECT_EQ(board_calls()[0].what, row.terminal);
            }
            EXPECT_TRUE(s.wait_phase(row.phase));
            EXPECT_EQ((int)s.status().vesk_token.vesk_reason, row.reason);
            /* The setting was saved before the power went. */
            if (row.reason != 5) {
                EXPECT_EQ(saved_language(s.dir.current_ini), 7);
            }
            sleep_ms(50);
            EXPECT_TRUE(s.results().empty()) << "a run that ends as asked tells the GUI nothing";
            if (row.media_mode) {
                ASSERT_TRUE(wait_for([&] { return !s.media_modes().empty(); }, 2000));
                EXPECT_EQ(s.media_modes()[0], row.media_mode);
            } else {
                EXPECT_TRUE(s.media_modes().empty());
            }
            if (row.reason == 7) {
                std::lock_guard<std::mutex> lock(mu);
                ASSERT_EQ(http_results.size(), 1u);
                EXPECT_EQ(http_results[0], (std::vector<uint8_t>{10, 1}));
            }
        });
    }
}

/* While one voluntary request owns the coordinator, every other voluntary
 * one is refused with (reason, 1); safety requests are always taken. */
TEST(LifecycleAdmission, RefusedWhileAnotherOwnsTheCoordinator)
{
    in_child([] {
        setenv("VESK_PERSIST_TEST_DELAY_AT", "prepare:edits-drained", 1);
        setenv("VESK_PERSIST_TEST_DELAY_MS", "600", 1);
        Scope s;
        ASSERT_NO_FATAL_FAILURE(s.start());
        ASSERT_EQ(request(2), 0);
        ASSERT_TRUE(s.wait_phase(VESK_PERSIST_PREPARING));
        for (int reason : {1, 2, 5, 6, 7, 8}) {
            EXPECT_EQ(request(reason), -EBUSY) << reason;
            /* A refused exit is logged only. */
            if (reason != 8) {
                EXPECT_TRUE(s.wait_result({reason, 1}, 2000)) << reason;
            }
        }
        vesk_persist_request bad = req(0);
        EXPECT_EQ(vesk_lifecycle_request(&bad), -EINVAL);
        bad = req(9);
        EXPECT_EQ(vesk_lifecycle_request(&bad), -EINVAL);
        EXPECT_EQ(vesk_lifecycle_request(nullptr), -EINVAL);
        /* A second safety request while one waits is dropped, not refused. */
        EXPECT_EQ(request(3), 0);
        EXPECT_EQ(request(4), 0);
        ASSERT_TRUE(s.wait_board(1));
        EXPECT_EQ(board_calls()[0].what, "power_off");
        sleep_ms(300);
        for (auto r : s.results()) EXPECT_NE(r.first, 4) << "the dropped one is not news";
    });
}

/* The prepublish callback runs only for an admitted voluntary request, and
 * before the coordinator has seen it. */
TEST(LifecycleAdmission, PrepublishRunsOnlyWhenAdmitted)
{
    in_child([] {
        setenv("VESK_PERSIST_TEST_DELAY_AT", "prepare:edits-drained", 1);
        setenv("VESK_PERSIST_TEST_DELAY_MS", "400", 1);
        Scope s;
        ASSERT_NO_FATAL_FAILURE(s.start());
        static int published;
        static vesk_persist_phase seen;
        auto publish = [](void *ctx) {
            published++;
            vesk_persist_status st;
            vesk_persist_get_status(&st);
            seen = st.vesk_phase;
            *(int *)ctx = 1;
        };
        int flag = 0;
        vesk_persist_request r = req(6);
        EXPECT_EQ(vesk_lifecycle_request_prepublish(&r, publish, &flag), 0);
        EXPECT_EQ(flag, 1);
        EXPECT_EQ(seen, VESK_PERSIST_RUNNING);
        r = req(5);
        EXPECT_EQ(vesk_lifecycle_request_prepublish(&r, publish, &flag), -EBUSY);
        EXPECT_EQ(published, 1);
        ASSERT_TRUE(s.wait_board(1));
    });
}

/* ---- a safety request at each step of a voluntary run ------------------ */

TEST(LifecyclePreemption, SafetyAtEveryStepPowersOffWithinTwoSeconds)
{
    enum Step { BEFORE_PREPARE, DURING_PREPARE, BEFORE_COMMIT, DURING_COMMIT, AFTER_COMMIT };
    struct Row {
        const char *name;
        Step step;
        /* Whose prepare persistence holds at the end: the safety's own
         * (the voluntary one was resumed) or the voluntary one's (past its
         * point of no return). */
        int final_reason;
    } rows[] = {
        {"before prepare", BEFORE_PREPARE, 3}, {"during prepare", DURING_PREPARE, 3},
        {"before commit", BEFORE_COMMIT, 3},   {"during commit", DURING_COMMIT, 6},
        {"after commit", AFTER_COMMIT, 2},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        in_child([&] {
            if (row.step == DURING_PREPARE) {
                setenv("VESK_PERSIST_TEST_DELAY_AT", "prepare:edits-drained", 1);
                setenv("VESK_PERSIST_TEST_DELAY_MS", "500", 1);
            }
            if (row.step == DURING_COMMIT) hook_hold = 1;
            Scope s;
            ASSERT_NO_FATAL_FAILURE(s.start());
            if (row.step == BEFORE_COMMIT || row.step == AFTER_COMMIT) {
                ASSERT_NO_FATAL_FAILURE(s.hold_barriers());
            }
            change_setting(9);
            uint64_t admitted = 0;
            if (row.step == BEFORE_PREPARE) {
                /* Either both wait when the coordinator looks (the safety
                 * goes first) or the voluntary one is taken and pre-empted
                 * at once. */
                ASSERT_EQ(request(6), 0);
                admitted = now();
                ASSERT_EQ(request(3), 0);
            } else {
                /* After the commit the reboot's flush is held, not a
                 * format's Media barrier. */
                ASSERT_EQ(request(row.step == AFTER_COMMIT ? 2 : 6), 0);
                switch (row.step) {
                case DURING_PREPARE:
                    ASSERT_TRUE(s.wait_phase(VESK_PERSIST_PREPARING));
                    break;
                case BEFORE_COMMIT:
                    ASSERT_TRUE(s.wait_phase(VESK_PERSIST_PREPARED));
                    break;
                case DURING_COMMIT:
                    ASSERT_TRUE(wait_for([] { return hook_entered.load() > 0; }, 5000));
                    break;
                default:
                    /* Past the commit the reboot tells the media process
                     * first, then waits on its held flush. */
                    ASSERT_TRUE(s.wait_phase(VESK_PERSIST_COMMITTED));
                    ASSERT_TRUE(wait_for([&] { return !s.media_modes().empty(); }, 5000));
                    break;
                }
                admitted = now();
                ASSERT_EQ(request(3), 0);
                if (row.step == DURING_COMMIT) {
                    sleep_ms(50);
                    hook_hold = 0;
                }
            }
            ASSERT_TRUE(s.wait_board(1, 4000));
            auto calls = board_calls();
            EXPECT_EQ(calls[0].what, "power_off") << "the safety sequence, not the voluntary reboot";
            EXPECT_LE(calls[0].at, admitted + 2000);
            EXPECT_TRUE(s.wait_phase(VESK_PERSIST_COMMITTED, 3000));
            EXPECT_EQ((int)s.status().vesk_token.vesk_reason, row.final_reason);
            EXPECT_EQ(saved_language(s.dir.current_ini), 9);
            ASSERT_TRUE(wait_for([&] { return !s.media_modes().empty() && s.media_modes().back() == 1; }, 3000))
                << "the media process is told that power goes off";
            EXPECT_EQ(s.media_modes()[0], row.step == AFTER_COMMIT ? 2 : 1);
        });
    }
}

/* ---- a fault at each phase of a voluntary run -------------------------- */

/* Whatever phase fails, the run ends with its one outcome, and what it had
 * done is taken back once: the Media log files released again and the
 * prepare resumed, each at most once, and not at all past the commit. */
TEST(LifecycleUnwind, FaultAtEachPhaseTakesBackWhatWasDoneOnce)
{
    enum Fault {
        PREPARE_REFUSED,  /* another prepare holds persistence */
        PREPARE_TIMEOUT,  /* an edit never ends */
        MEDIA_HELD,       /* the Media log files are never released */
        SAFETY_AT_MEDIA,  /* low battery while the Media barrier waits */
        COMMIT_ROLLED,    /* the format finds the Media busy; persistence rolls back */
        COMMIT_UNCERTAIN, /* the commit's hook fails half-way */
        SAFETY_IN_COMMIT, /* low battery while the commit runs */
        TERMINAL_FAILS,   /* the power-off or reboot call fails */
    };
    struct Row {
        const char *name;
        Fault fault;
        int reason;
        std::pair<int, int> gui; /* {0, 0}: powered off by the safety run */
        int media_resumes;
        int persist_resumes;
    } rows[] = {
        {"format, prepare refused", PREPARE_REFUSED, 6, {6, 1}, 0, 0},
        {"power-off, prepare times out", PREPARE_TIMEOUT, 1, {1, 3}, 0, 0},
        {"format, prepare times out", PREPARE_TIMEOUT, 6, {6, 1}, 0, 0},
        {"format, Media log held", MEDIA_HELD, 6, {6, 1}, 1, 1},
        {"format, safety at the Media barrier", SAFETY_AT_MEDIA, 6, {0, 0}, 1, 1},
        {"format, commit rolled back", COMMIT_ROLLED, 6, {6, 1}, 1, 0},
        {"format, commit uncertain", COMMIT_UNCERTAIN, 6, {6, 2}, 0, 0},
        {"format, safety during the commit", SAFETY_IN_COMMIT, 6, {0, 0}, 0, 0},
        {"format, reboot fails", TERMINAL_FAILS, 6, {6, 2}, 0, 0},
        /* The terminal action's own resume: the scope runs on. */
        {"power-off, power-off fails", TERMINAL_FAILS, 1, {1, 1}, 0, 1},
        {"reboot, reboot fails", TERMINAL_FAILS, 2, {2, 1}, 0, 1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        in_child([&] {
            if (row.fault == COMMIT_ROLLED) hook_rc = -EBUSY;
            if (row.fault == COMMIT_UNCERTAIN) hook_rc = -EIO;
            if (row.fault == SAFETY_IN_COMMIT) hook_hold = 1;
            if (row.fault == TERMINAL_FAILS) power_rc = reboot_rc = -EPERM;
            Scope s;
            ASSERT_NO_FATAL_FAILURE(s.start());
            if (row.fault == MEDIA_HELD || row.fault == SAFETY_AT_MEDIA) {
                ASSERT_NO_FATAL_FAILURE(s.hold_barriers());
            }
            vesk_persist_token held;
            vesk_persist_request other = req(2);
            if (row.fault == PREPARE_REFUSED) {
                ASSERT_EQ(vesk_persist_prepare(&other, now() + 5000, &held), 0);
            }
            if (row.fault == PREPARE_TIMEOUT) {
                ASSERT_EQ(vesk_persist_edit_begin(), 0);
            }
            ASSERT_EQ(request(row.reason), 0);
            if (row.fault == SAFETY_AT_MEDIA) {
                ASSERT_TRUE(wait_for([] { return media_pauses.load() > 0; }, 5000));
                ASSERT_EQ(request(3), 0);
            }
            if (row.fault == SAFETY_IN_COMMIT) {
                ASSERT_TRUE(wait_for([] { return hook_entered.load() > 0; }, 5000));
                ASSERT_EQ(request(3), 0);
                sleep_ms(50);
                hook_hold = 0;
            }
            if (row.gui.first == 0) {
                ASSERT_TRUE(s.wait_board(1, 4000));
                EXPECT_EQ(board_calls()[0].what, "power_off");
            } else {
                ASSERT_TRUE(s.wait_result(row.gui)) << "phase " << s.status().vesk_phase;
            }
            /* Room for a second, wrong, undo. */
            sleep_ms(100);
            EXPECT_EQ(media_resumes.load(), row.media_resumes);
            EXPECT_EQ(persist_resumes.load(), row.persist_resumes);
            EXPECT_EQ(s.results().size(), row.gui.first == 0 ? 0u : 1u) << "one outcome";
            if (row.fault == PREPARE_TIMEOUT) vesk_persist_edit_end();
            if (row.fault == PREPARE_REFUSED) (void)vesk_persist_resume(&held);
        });
    }
}

/* ---- the forced power-off window -------------------------------------- */

/* A power-off whose prepare times out on an edit that never ends (left
 * open for the caller) opens the window with (1, 3). */
void open_forced_window(Scope &s)
{
    ASSERT_EQ(vesk_persist_edit_begin(), 0);
    ASSERT_EQ(request(1), 0);
    ASSERT_TRUE(s.wait_result({1, 3}, 4000));
}

TEST(LifecycleForcedWindow, SecondPowerOffWithinFiveSecondsGoesUnsaved)
{
    in_child([] {
        Scope s;
        ASSERT_NO_FATAL_FAILURE(s.start());
        ASSERT_NO_FATAL_FAILURE(open_forced_window(s));
        EXPECT_TRUE(board_calls().empty());
        EXPECT_EQ(s.status().vesk_phase, VESK_PERSIST_RUNNING) << "the scope runs on";
        ASSERT_EQ(request_when_free(1), 0);
        ASSERT_TRUE(s.wait_result({1, 4}, 2000));
        ASSERT_TRUE(s.wait_board(1, 2000));
        EXPECT_EQ(board_calls()[0].what, "power_off");
        vesk_persist_request r = req(1);
        vesk_persist_token t;
        EXPECT_EQ(vesk_persist_prepare(&r, now() + 100, &t), -ECANCELED) << "pending settings abandoned";
        vesk_persist_edit_end();
    });
}

TEST(LifecycleForcedWindow, AfterFiveSecondsAnOrdinaryRequestAgain)
{
    in_child([] {
        Scope s;
        ASSERT_NO_FATAL_FAILURE(s.start());
        ASSERT_NO_FATAL_FAILURE(open_forced_window(s));
        uint64_t opened = now();
        vesk_persist_edit_end();
        change_setting(3);
        while (now() < opened + 5100) sleep_ms(20);
        ASSERT_EQ(request(1), 0);
        ASSERT_TRUE(s.wait_board(1, 4000));
        EXPECT_EQ(board_calls()[0].what, "power_off");
        EXPECT_FALSE(s.wait_result({1, 4}, 100));
        EXPECT_EQ(s.status().vesk_phase, VESK_PERSIST_COMMITTED);
        EXPECT_EQ(saved_language(s.dir.current_ini), 3);
    });
}

/* ---- the Media log barrier --------------------------------------------- */

TEST(LifecycleMediaBarrier, FormatWhoseLogCannotBeReleasedIsCancelled)
{
    in_child([] {
        Scope s;
        ASSERT_NO_FATAL_FAILURE(s.start());
        ASSERT_NO_FATAL_FAILURE(s.hold_barriers());
        uint64_t t0 = now();
        ASSERT_EQ(request(6), 0);
        ASSERT_TRUE(s.wait_result({6, 1}, 5000));
        EXPECT_GE(now() - t0, 1900u) << "the barrier's own 2000 ms";
        EXPECT_EQ(hook_entered.load(), 0) << "nothing was formatted";
        EXPECT_TRUE(board_calls().empty());
        EXPECT_EQ(s.status().vesk_phase, VESK_PERSIST_RUNNING);
        vesk_log_stats st;
        vesk_log_get_stats(&st);
        EXPECT_EQ(st.vesk_media_paused, 0);
        std::lock_guard<std::mutex> lock(mu);
        EXPECT_EQ(factory_cancels, std::vector<int>{6});
        /* The scope takes edits again. */
        EXPECT_EQ(vesk_persist_edit_begin(), 0);
        vesk_persist_edit_end();
    });
}

TEST(LifecycleMediaBarrier, ResetWithoutFormatSkipsTheBarrier)
{
    struct Row {
        int format;
        bool reboots;
    } rows[] = {{0, true}, {1, false}};
    for (const Row &row : rows) {
        in_child([&] {
            Scope s;
            ASSERT_NO_FATAL_FAILURE(s.start());
            ASSERT_NO_FATAL_FAILURE(s.hold_barriers());
            ASSERT_EQ(request(5, row.format), 0);
            if (row.reboots) {
                ASSERT_TRUE(s.wait_board(1, 5000)) << "no Media barrier cancelled it";
                EXPECT_EQ(board_calls()[0].what, "reboot");
            } else {
                EXPECT_TRUE(s.wait_result({5, 1}, 5000));
                EXPECT_TRUE(board_calls().empty());
            }
        });
    }
}

/* ---- process exit ------------------------------------------------------ */

TEST(LifecycleProcessExit, SignalBecomesAnExitOnlyWhenNothingOwnsTheCoordinator)
{
    in_child([] {
        setenv("VESK_PERSIST_TEST_DELAY_AT", "prepare:edits-drained", 1);
        setenv("VESK_PERSIST_TEST_DELAY_MS", "500", 1);
        reboot_rc = -EPERM;
        Scope s;
        ASSERT_NO_FATAL_FAILURE(s.start());
        ASSERT_EQ(request(2), 0);
        ASSERT_TRUE(s.wait_phase(VESK_PERSIST_PREPARING));
        /* Two signals before the coordinator looks are one request. */
        vesk_signal_handler(SIGTERM);
        vesk_signal_handler(SIGTERM);
        sleep_ms(300);
        EXPECT_EQ(vesk_exit_requested, 1) << "not consumed while the reboot owns the coordinator";
        ASSERT_TRUE(s.wait_board(1));
        /* The reboot failed and the scope runs on: the coordinator is free
         * again and the signal becomes the exit. */
        ASSERT_TRUE(wait_for([] { return is_signal_exit() == 1; }, 5000));
        EXPECT_TRUE(s.wait_result({2, 1}, 100));
        EXPECT_EQ(vesk_exit_requested, 0);
        EXPECT_TRUE(s.wait_phase(VESK_PERSIST_COMMITTED));
        EXPECT_EQ((int)s.status().vesk_token.vesk_reason, 8);
        EXPECT_EQ(board_calls().size(), 1u);
        sleep_ms(50);
        for (auto r : s.results()) EXPECT_NE(r.first, 8) << "an exit is never news";
    });
}

/* An exit that cannot be saved still ends the process (whoever sent the
 * signal wants it gone); nothing reaches the GUI. */
TEST(LifecycleProcessExit, UnsavedExitStillSetsTheQuitFlag)
{
    in_child([] {
        Scope s;
        ASSERT_NO_FATAL_FAILURE(s.start());
        ASSERT_EQ(vesk_persist_edit_begin(), 0);
        vesk_signal_handler(SIGTERM);
        ASSERT_TRUE(wait_for([] { return is_signal_exit() == 1; }, 5000));
        EXPECT_EQ(s.status().vesk_phase, VESK_PERSIST_RUNNING);
        EXPECT_TRUE(s.results().empty());
        vesk_persist_edit_end();
    });
}

/* ---- failed terminal calls --------------------------------------------- */

TEST(LifecycleTerminal, FailedCallsAreReportedAndTheScopeRunsOn)
{
    struct Row {
        int reason;
        std::pair<int, int> result;
        vesk_persist_phase phase; /* after the failure */
    } rows[] = {
        {1, {1, 1}, VESK_PERSIST_RUNNING}, {2, {2, 1}, VESK_PERSIST_RUNNING},   {3, {3, 1}, VESK_PERSIST_RUNNING},
        {4, {4, 1}, VESK_PERSIST_RUNNING}, {6, {6, 2}, VESK_PERSIST_COMMITTED}, {7, {7, 2}, VESK_PERSIST_COMMITTED},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.reason);
        in_child([&] {
            power_rc = -EPERM;
            reboot_rc = -EPERM;
            Scope s;
            ASSERT_NO_FATAL_FAILURE(s.start());
            ASSERT_EQ(request(row.reason), 0);
            ASSERT_TRUE(s.wait_result(row.result));
            EXPECT_TRUE(s.wait_phase(row.phase, 3000)) << "phase " << s.status().vesk_phase;
            if (row.phase == VESK_PERSIST_RUNNING) {
                /* Settings can be changed and saved again. */
                change_setting(4);
                ASSERT_EQ(vesk_persist_flush(3000), 0);
                EXPECT_EQ(saved_language(s.dir.current_ini), 4);
            }
            if (row.reason == 7) {
                std::lock_guard<std::mutex> lock(mu);
                ASSERT_FALSE(update_notes.empty());
                EXPECT_EQ(update_notes.back(), std::make_pair((int)VESK_UPDATE_RESULT_REBOOT_FAILED, -EPERM));
            }
        });
    }
}

/* ---- update results to the watcher ------------------------------------- */

TEST(LifecycleUpdate, ResultsReachTheWatcher)
{
    struct Row {
        const char *name;
        int hook;                /* the unpack's answer */
        std::pair<int, int> gui; /* result frame */
        vesk_update_result note;
    } rows[] = {
        {"unpack refused", -ECANCELED, {7, 1}, VESK_UPDATE_RESULT_CANCELLED},
        {"unpack failed", -EIO, {7, 2}, VESK_UPDATE_RESULT_UNCERTAIN},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        in_child([&] {
            hook_rc = row.hook;
            Scope s;
            ASSERT_NO_FATAL_FAILURE(s.start());
            ASSERT_EQ(request(7), 0);
            ASSERT_TRUE(s.wait_result(row.gui));
            ASSERT_TRUE(wait_for(
                [] {
                    std::lock_guard<std::mutex> lock(mu);
                    return !update_notes.empty();
                },
                2000));
            std::lock_guard<std::mutex> lock(mu);
            EXPECT_EQ(update_notes[0].first, (int)row.note);
            EXPECT_TRUE(board.empty());
        });
    }
}

} // namespace
