// The whole rangefinder service (receive thread, worker, outbox) against
// the simulated module on a pseudo-terminal, with a GUI stand-in on the
// main bus. Power is the one seam put in: the module's power sequence needs
// the sandbox's board; here "power on" is the simulator's script.
#include "laser.h"

#include <dirent.h>
#include <errno.h>
#include <sched.h>
#include <signal.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "lrf_test_hex.h"

#include "ballistic_request.h"
#include "lrf_sim.h"
#include "qel_dev_status.h"
#include "vesk_lrf_worker.h"

#include "lrf_host_doubles.h"
#include "sim_ns.h"

namespace {

/* The power-off path writes GPIO files: keep them off the host's sysfs.
 * Entered before main, while the process has one thread. */
bool g_private_sys;
__attribute__((constructor)) void private_sys()
{
    g_private_sys = sim_private_ns(CLONE_NEWNS) == 0 && mount(NULL, "/", NULL, MS_REC | MS_PRIVATE, NULL) == 0 &&
                    mount("tmpfs", "/sys/class", "tmpfs", 0, "mode=0755") == 0;
}

uint64_t now_ns()
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint64_t)t.tv_sec * 1000000000ull + (uint64_t)t.tv_nsec;
}

struct Gui {
    std::mutex lock;
    std::condition_variable cv;
    std::vector<std::string> payloads;
    std::vector<uint64_t> at;

    /* Waits for a payload starting with prefix after index from; its index or -1. */
    int wait_for(const std::string &prefix, size_t from, int ms)
    {
        std::unique_lock<std::mutex> g(lock);
        int found = -1;
        cv.wait_for(g, std::chrono::milliseconds(ms), [&] {
            for (size_t i = from; i < payloads.size(); i++)
                if (payloads[i].compare(0, prefix.size(), prefix) == 0) return (found = (int)i) >= 0;
            return false;
        });
        return found;
    }
    size_t count()
    {
        std::lock_guard<std::mutex> g(lock);
        return payloads.size();
    }
};

/* The worker writes the device status after it sent the GUI its frame:
 * a test waits for the value, up to ms, and gets what it last read. */
template <typename T> T settled(const volatile T &field, T want, int ms = 3000)
{
    for (int waited = 0; field != want && waited < ms; waited += 2) usleep(2000);
    return field;
}

int g_power_fail;
int fake_power(int on) { return on && g_power_fail ? -EIO : 0; }

void on_main(event_handle *, void *cb_data, int evtype, const void *data, int size)
{
    if (evtype != 1) return;
    Gui *gui = (Gui *)cb_data;
    std::lock_guard<std::mutex> g(gui->lock);
    gui->payloads.push_back(hexs((const uint8_t *)data, (size_t)size));
    gui->at.push_back(now_ns());
    gui->cv.notify_all();
}

class Laser : public ::testing::Test {
protected:
    lrf_sim *sim = nullptr;
    event_handle *main_bus = nullptr, *app_bus = nullptr;
    Gui gui;

    void SetUp() override
    {
        ASSERT_TRUE(g_private_sys) << "no private mount namespace for /sys/class";
        g_power_fail = 0;
        lrf_double_edit_refused = 0;
        lrf_double_set_calls.clear();
        memset(&qel_dev_status, 0, sizeof qel_dev_status);
        qel_dev_status.vesk_lrf_target = 1;
        qel_ballistics.ballistics[0].ballistics_sw = 1;
        vesk_lrf_ballistics_from_lrf = 0;
        sim = lrf_sim_start(NULL);
        ASSERT_NE(sim, nullptr);
        ASSERT_EQ(event_create(&main_bus, 30, NULL), 0);
        ASSERT_EQ(event_create(&app_bus, 30, NULL), 0);
        ASSERT_EQ(event_receive_register(main_bus, on_main, &gui), 0);
        static const vesk_lrf_worker_ops ops = {fake_power};
        vesk_lrf_set_ops(&ops);
        ASSERT_EQ(Qel_LaserInit(lrf_sim_slave_path(sim), main_bus, app_bus), 0);
    }
    void TearDown() override
    {
        Qel_laserExit();
        event_destroy(&app_bus);
        event_destroy(&main_bus);
        lrf_sim_stop(sim);
        vesk_lrf_set_ops(NULL);
    }
    /* A distance request as the GUI sends it: AA 07 04 00 FF 00 op CHK EB AA. */
    void gui_op(uint8_t op)
    {
        uint8_t f[10] = {0xAA, 0x07, 0x04, 0x00, 0xFF, 0x00, op, 0, 0xEB, 0xAA};
        for (int i = 0; i < 7; i++) f[7] = (uint8_t)(f[7] + f[i]);
        event_broadcast_send(app_bus, 4, f, sizeof f, 100);
    }
    void gui_setting(uint8_t key, uint8_t b7, uint8_t b8)
    {
        uint8_t f[13] = {0xAA, 0x0A, 0x04, 0x08, 0xFF, 0x00, key, b7, b8, 0, 0, 0xEB, 0xAA};
        for (int i = 0; i < 10; i++) f[10] = (uint8_t)(f[10] + f[i]);
        event_broadcast_send(app_bus, 4, f, sizeof f, 100);
    }
};

TEST_F(Laser, SingleMeasurementReachesTheGuiAndTheSolver)
{
    ASSERT_EQ(lrf_sim_command(sim, "range 123.4"), 0);
    gui_op(1);
    int i = gui.wait_for("0402FF", 0, 3000);
    ASSERT_GE(i, 0);
    EXPECT_EQ(gui.payloads[i], "0402FF0000010001007B040000000000000000");
    EXPECT_EQ(gui.payloads[0], "0408FF0100"
                               "00000000"
                               "000A4E20"
                               "00")
        << "configured first";
    EXPECT_EQ(settled(qel_dev_status.distance_now, 1234), 1234);
    EXPECT_EQ(settled(qel_dev_status.ballistics_refresh, 1), 1);
    EXPECT_EQ(settled(vesk_lrf_ballistics_from_lrf, 1), 1);
    EXPECT_EQ(settled(qel_dev_status.s8LaserEnable, (decltype(qel_dev_status.s8LaserEnable))1), 1);
    lrf_sim_stats st;
    lrf_sim_get_stats(sim, &st);
    EXPECT_EQ(st.gate_min, 10);
    EXPECT_EQ(st.gate_max, 20000);
}

TEST_F(Laser, SwitchOffLeavesTheSolverAlone)
{
    qel_ballistics.ballistics[0].ballistics_sw = 0;
    ASSERT_EQ(lrf_sim_command(sim, "range 50.0"), 0);
    gui_op(1);
    ASSERT_GE(gui.wait_for("0402FF00", 0, 3000), 0);
    EXPECT_EQ(settled(qel_dev_status.distance_now, 500), 500) << "the distance is stored all the same";
    EXPECT_EQ(qel_dev_status.ballistics_refresh, 0);
    EXPECT_EQ(vesk_lrf_ballistics_from_lrf, 0);
}

TEST_F(Laser, ContinuousStreamUntilStop)
{
    ASSERT_EQ(lrf_sim_command(sim, "period 30"), 0);
    ASSERT_EQ(lrf_sim_command(sim, "range 200.5"), 0);
    gui_op(3);
    ASSERT_GE(gui.wait_for("0400FF0200", 0, 3000), 0) << "scanning state";
    int last = -1;
    for (int n = 0; n < 3; n++) {
        last = gui.wait_for("0402FF000101", (size_t)last + 1, 2000);
        ASSERT_GE(last, 0) << "reading " << n;
        EXPECT_EQ(gui.payloads[last], "0402FF000101000100C8050000000000000000");
    }
    EXPECT_EQ(settled(qel_dev_status.s8LaserRanging, (decltype(qel_dev_status.s8LaserRanging))2), 2);
    EXPECT_EQ(qel_dev_status.distance_now, 0) << "scan readings are not taken for the solver";
    gui_op(4);
    int idle = gui.wait_for("0400FF0000", (size_t)last, 2000);
    ASSERT_GE(idle, 0);
    EXPECT_EQ(settled(qel_dev_status.distance_now, 2005), 2005) << "stop and accept hands the last reading over";
    EXPECT_EQ(settled(qel_dev_status.s8LaserRanging, (decltype(qel_dev_status.s8LaserRanging))0), 0);
    usleep(150 * 1000);
    size_t settled = gui.count();
    usleep(150 * 1000);
    EXPECT_EQ(gui.count(), settled) << "no reading after the stop";
}

TEST_F(Laser, SilentModuleTimesOutWithinTheDeadline)
{
    /* Configure first, then let the module go quiet. */
    ASSERT_EQ(lrf_sim_command(sim, "range 10.0"), 0);
    gui_op(1);
    ASSERT_GE(gui.wait_for("0402FF00", 0, 3000), 0);
    ASSERT_EQ(lrf_sim_command(sim, "silent on"), 0);
    size_t from = gui.count();
    uint64_t t0 = now_ns();
    gui_op(1);
    int i = gui.wait_for("0402FF04", from, 3000);
    ASSERT_GE(i, 0);
    double ms = (double)(gui.at[i] - t0) / 1e6;
    EXPECT_GE(ms, 950.0);
    EXPECT_LE(ms, 1300.0) << "single-measurement deadline is one second";
}

TEST_F(Laser, CorruptRepliesAndNoiseCostNothingButTheirBytes)
{
    ASSERT_EQ(lrf_sim_command(sim, "range 77.7"), 0);
    gui_op(1);
    ASSERT_GE(gui.wait_for("0402FF00", 0, 3000), 0);
    ASSERT_EQ(lrf_sim_command(sim, "noise 300"), 0);
    ASSERT_EQ(lrf_sim_command(sim, "badsum on"), 0);
    size_t from = gui.count();
    gui_op(1);
    ASSERT_GE(gui.wait_for("0402FF04", from, 3000), 0) << "a reply with a bad checksum is never taken";
    ASSERT_EQ(lrf_sim_command(sim, "badsum off"), 0);
    from = gui.count();
    gui_op(1);
    int i = gui.wait_for("0402FF00", from, 3000);
    ASSERT_GE(i, 0) << "the receive thread survived the noise";
    EXPECT_EQ(gui.payloads[i], "0402FF000001000100"
                               "4D07"
                               "0000000000000000");
}

TEST_F(Laser, FailedPowerOnIsReported)
{
    g_power_fail = 1;
    gui_op(1);
    ASSERT_GE(gui.wait_for("0400FF0308", 0, 2000), 0);
    EXPECT_GE(gui.wait_for("0408FF", 0, 2000), 0);
    EXPECT_EQ(qel_dev_status.s8LaserEnable, 0);
}

TEST_F(Laser, SettingsArePersistedAndRefusalsAnswered)
{
    gui_setting(1, 2, 0);
    int i = gui.wait_for("0408FF02", 0, 3000);
    ASSERT_GE(i, 0) << "configured with the new target";
    EXPECT_EQ(qel_dev_status.vesk_lrf_target, 2);
    ASSERT_EQ(lrf_double_set_calls.size(), 1u);
    EXPECT_EQ(lrf_double_set_calls[0], "vesk_lrf_target=2");
    lrf_sim_stats st;
    lrf_sim_get_stats(sim, &st);
    EXPECT_EQ(st.target_mode, 2);

    size_t from = gui.count();
    gui_setting(1, 4, 0);
    i = gui.wait_for("0408FF", from, 2000);
    ASSERT_GE(i, 0);
    EXPECT_EQ(gui.payloads[i].substr(0, 10), "0408FF0200") << "settings in force";
    EXPECT_EQ(lrf_double_set_calls.size(), 1u) << "nothing stored";

    lrf_double_edit_refused = 1;
    from = gui.count();
    gui_setting(3, 0x01, 0xF4);
    i = gui.wait_for("0408FF", from, 2000);
    ASSERT_GE(i, 0);
    EXPECT_EQ(gui.payloads[i].substr(0, 18), "0408FF020000000000");
    EXPECT_EQ(qel_dev_status.vesk_lrf_min_m, 0);
}

void on_signal(int) {}

TEST_F(Laser, SignalsInterruptWaitsWithoutEndingThreads)
{
    /* No SA_RESTART: every poll, read and sleep in the service's threads
     * sees EINTR while the storm lasts. */
    /* The handler stays installed after the test: a signal still pending
     * on a thread that blocks it would otherwise kill the test program
     * once that thread unblocks. */
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_signal;
    ASSERT_EQ(sigaction(SIGUSR1, &sa, NULL), 0);
    std::atomic<bool> storm{true};
    struct StormGuard {
        std::atomic<bool> &storm;
        std::thread &sender;
        ~StormGuard()
        {
            storm = false;
            if (sender.joinable()) sender.join();
        }
    };
    std::thread sender([&] {
        /* Every thread of the process, so each of the service's is hit. */
        while (storm) {
            DIR *tasks = opendir("/proc/self/task");
            if (tasks == NULL) break;
            while (struct dirent *d = readdir(tasks)) {
                int tid = atoi(d->d_name);
                if (tid > 0) syscall(SYS_tgkill, getpid(), tid, SIGUSR1);
            }
            closedir(tasks);
            usleep(500);
        }
    });
    StormGuard guard{storm, sender};
    ASSERT_EQ(lrf_sim_command(sim, "period 20"), 0);
    ASSERT_EQ(lrf_sim_command(sim, "range 42.0"), 0);
    gui_op(3);
    int last = gui.wait_for("0400FF0200", 0, 3000);
    ASSERT_GE(last, 0);
    for (int n = 0; n < 10 && last >= 0; n++) last = gui.wait_for("0402FF000101", (size_t)last + 1, 2000);
    EXPECT_GE(last, 0) << "readings kept arriving";
    gui_op(0);
    EXPECT_GE(gui.wait_for("0400FF0000", 0, 2000), 0) << "the stop was still heard";
}

} // namespace
