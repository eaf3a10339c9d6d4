// The rangefinder from outside: GUI requests on the queue, the simulated
// module on /dev/ttyS5, distance reports back at the GUI and the power
// sequence in the board log.
#include "scope_e2e.h"

namespace {

/* GUI rangefinder operations (object 4, command 0). */
enum { OP_STOP = 0, OP_SINGLE = 1, OP_SCAN = 3 };

scope_frame operation(uint8_t op) { return scope_request(0x04, 0x00, 0xFF, op); }

const sim_head result_report = {0x04, 0x02, 0xFF, 0x80};
const sim_head state_report = {0x04, 0x00, 0xFF, 0x80};
const sim_head settings_report = {0x04, 0x08, 0xFF, 0x80};

/* The distance report for one target: AA 16 04 02 FF 80, status, session,
 * target 1, processing 0, count, metres (big-endian), tenths, eight zero
 * bytes, checksum, EB AA. */
scope_frame distance_report(uint8_t status, uint8_t session, uint32_t dm)
{
    const bool hit = status == 0;
    const uint32_t m = hit ? dm / 10 : 0;
    std::vector<uint8_t> p(16, 0);
    p[0] = status;
    p[1] = session;
    p[2] = 0x01;
    p[4] = hit ? 1 : 0;
    p[5] = (uint8_t)(m >> 8);
    p[6] = (uint8_t)m;
    p[7] = (uint8_t)(hit ? dm % 10 : 0);
    return sim_frame(0x04, 0x02, 0xFF, 0x80, p);
}

/* AA 08 04 00 FF 80 wire-state reason CHK EB AA */
scope_frame state(uint8_t wire, uint8_t reason) { return sim_frame(0x04, 0x00, 0xFF, 0x80, {wire, reason}); }

struct Rangefinder : ::testing::Test {
    sim_harness run;

    void SetUp() override
    {
        SCOPE_START(run, {"media", "gui"});
        ASSERT_NE(run.lrf(), nullptr) << run.why;
        ASSERT_TRUE(run.boot_sightd()) << run.why;
    }

    SCOPE_STOP_AT_END(run)

    std::vector<scope_frame> results() const { return run.frames("gui", result_report); }

    /* One single measurement; its report. */
    scope_frame single()
    {
        size_t before = results().size();
        EXPECT_TRUE(run.send("gui", operation(OP_SINGLE)));
        std::vector<scope_frame> got = run.wait_frames("gui", result_report, before + 1, SIM_REPLY_MS);
        EXPECT_EQ(got.size(), before + 1) << "no distance report";
        return got.size() > before ? got[before] : scope_frame();
    }
};

TEST_F(Rangefinder, ASingleMeasurementReportsTheModulesRange)
{
    ASSERT_TRUE(run.lrf_command("range 456.7"));
    EXPECT_EQ(single(), distance_report(0, 0, 4567));
    /* The module was configured first: the GUI was told the settings in
     * force, gates at the module's defaults, configured. */
    std::vector<scope_frame> settings = run.frames("gui", settings_report);
    ASSERT_FALSE(settings.empty());
    EXPECT_EQ(settings.back(),
              sim_frame(0x04, 0x08, 0xFF, 0x80, {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x4E, 0x20, 0x00}));

    ASSERT_TRUE(run.lrf_command("range 1234.5"));
    EXPECT_EQ(single(), distance_report(0, 0, 12345));
    ASSERT_TRUE(run.lrf_command("range none"));
    EXPECT_EQ(single(), distance_report(1, 0, 0));
}

TEST_F(Rangefinder, AContinuousMeasurementStreamsUntilStopped)
{
    ASSERT_TRUE(run.lrf_command("range 87.3"));
    ASSERT_TRUE(run.lrf_command("period 50"));
    ASSERT_TRUE(run.send("gui", operation(OP_SCAN)));
    std::vector<scope_frame> stream = run.wait_frames("gui", result_report, 5, SIM_REPLY_MS);
    ASSERT_GE(stream.size(), 5u);
    for (const scope_frame &f : stream) EXPECT_EQ(f, distance_report(0, 1, 873));
    /* Scanning was announced (wire state 2). */
    EXPECT_EQ(run.frames("gui", state_report).front(), state(2, 0));

    ASSERT_TRUE(run.send("gui", operation(OP_STOP)));
    /* The stop is confirmed as idle (wire state 0) ... */
    ASSERT_EQ(run.wait_frames("gui", state_report, 2, SIM_REPLY_MS).size(), 2u);
    EXPECT_EQ(run.frames("gui", state_report).back(), state(0, 0));
    /* ... and the stream has ended. */
    size_t at_stop = results().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(results().size(), at_stop);
    EXPECT_EQ(run.lrf_stats().scanning, 0);
    EXPECT_GE(run.lrf_stats().stops, 1u);
}

TEST_F(Rangefinder, AModuleThatFallsSilentGivesTheTimeOutStatusAfterOneSecond)
{
    ASSERT_TRUE(run.lrf_command("range 300.0"));
    EXPECT_EQ(single(), distance_report(0, 0, 3000));
    ASSERT_TRUE(run.lrf_command("silent on"));
    auto sent = std::chrono::steady_clock::now();
    EXPECT_EQ(single(), distance_report(4, 0, 0));
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - sent);
    /* The worker waits its full second for a reply before giving up. */
    EXPECT_GE(took.count(), 1000);
    /* The rangefinder is ready again once the module answers. */
    ASSERT_TRUE(run.lrf_command("silent off"));
    EXPECT_EQ(single(), distance_report(0, 0, 3000));
}

TEST_F(Rangefinder, AModuleSilentFromPowerOnFailsItsConfiguration)
{
    ASSERT_TRUE(run.lrf_command("silent on"));
    ASSERT_TRUE(run.send("gui", operation(OP_SINGLE)));
    /* Reason 8 with the module idle, then the settings with status 8. */
    std::vector<scope_frame> states = run.wait_frames("gui", state_report, 1, SIM_REPLY_MS);
    ASSERT_EQ(states.size(), 1u);
    EXPECT_EQ(states[0], state(0, 8));
    std::vector<scope_frame> settings = run.wait_frames("gui", settings_report, 1, SIM_REPLY_MS);
    ASSERT_EQ(settings.size(), 1u);
    EXPECT_EQ(settings[0][16], 0x08) << sim_hex(settings[0]);
    EXPECT_TRUE(results().empty());
}

/* The rangefinder's lines of the board log, in order: power-control
 * requests ("hw nr=value") and pin-tool runs ("pin N value"). */
std::vector<std::string> power_sequence(const sim_harness &run)
{
    std::vector<std::string> seq;
    for (const std::string &line : sim_board_log(run.sb)) {
        const std::string call = sim_log_field(line, "call");
        if (call == "ioctl" && sim_log_field(line, "node") == "/dev/hardware") {
            const std::string nr = sim_log_field(line, "nr");
            if (nr == "9" || nr == "10") seq.push_back("hw " + nr + "=" + sim_log_field(line, "value"));
        } else if (call == "tool" && sim_log_field(line, "name") == "ar_boardinfo") {
            std::vector<std::string> a = sim_log_args(line);
            if (a.size() == 5 && a[0] == "-M" && a[1] == "pinmux" && a[2] == "-W")
                seq.push_back("pin " + a[3] + " " + a[4]);
        }
    }
    return seq;
}

TEST_F(Rangefinder, ThePowerSequenceShowsInTheBoardLog)
{
    /* At start: the service's own serial power off, then the module's
     * laser power off, pins back to GPIO, and the serial power. */
    const std::vector<std::string> at_start = {"hw 9=0", "hw 10=0", "pin 113 0", "pin 114 0", "hw 9=1"};
    EXPECT_EQ(power_sequence(run), at_start);

    ASSERT_TRUE(run.lrf_command("range 50.0"));
    EXPECT_EQ(single(), distance_report(0, 0, 500));
    /* The request powered the laser and gave the pins their serial use. */
    std::vector<std::string> want = at_start;
    want.insert(want.end(), {"hw 10=1", "pin 113 1", "pin 114 1"});
    EXPECT_EQ(power_sequence(run), want);

    /* Stopping sightd powers the module off. */
    ASSERT_TRUE(scope_stop_sightd(run));
    want.insert(want.end(), {"hw 10=0", "pin 113 0", "pin 114 0"});
    EXPECT_EQ(power_sequence(run), want);
}

} // namespace
