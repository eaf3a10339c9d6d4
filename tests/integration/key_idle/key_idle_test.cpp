// sightd's power-key thread, seen from outside: it is not woken while no
// short press of the power key waits for a second one, and a press still
// comes out as a single press once the window has passed. Wake-ups are
// counted from the thread's context switches in /proc inside the sandbox.
#include <stdlib.h>
#include <unistd.h>

#include <sstream>

#include "scope_e2e.h"

namespace {

const sim_head key_frame = {0x07, 0x00, 0x00, 0x80};

struct KeyIdle : ::testing::Test {
    sim_harness h;

    void SetUp() override { SCOPE_START(h, {"media", "gui"}); }
    SCOPE_STOP_AT_END(h)

    /* The power-key thread's context switches so far, or -1 with why. */
    long switches()
    {
        const std::string task = "/proc/" + std::to_string(h.sightd) + "/task/";
        const std::string script = "for t in " + task +
                                   "*; do if grep -qx key_double $t/comm; then "
                                   "grep ctxt_switches $t/status; fi; done";
        std::string text;
        if (!h.run({"sh", "-c", script}, SIM_REPLY_MS, &text)) return -1;
        std::istringstream lines(text);
        std::string line;
        long n = 0, found = 0;
        while (std::getline(lines, line)) {
            if (line.find(':') == std::string::npos) continue;
            n += atol(line.substr(line.find(':') + 1).c_str());
            found++;
        }
        if (found == 0) h.why = "no key_double thread in sightd";
        return found ? n : -1;
    }
    /* Switches of the power-key thread over one idle second. */
    long idle_second()
    {
        const long before = switches();
        sleep(1);
        const long after = switches();
        return before < 0 || after < 0 ? -1 : after - before;
    }
};

TEST_F(KeyIdle, PowerKeyThreadSleepsUntilAPressWaits)
{
    ASSERT_TRUE(h.boot_sightd()) << h.why;
    ASSERT_TRUE(h.send("gui", sim_gui_ready()));
    /* A thread ticking every 10 ms would switch about 100 times here. */
    long idle = idle_second();
    ASSERT_GE(idle, 0) << h.why;
    EXPECT_LE(idle, 2) << "woken while no power press waits";

    h.take_all("gui", key_frame);
    ASSERT_TRUE(h.key("power")) << h.why;
    scope_frame f;
    ASSERT_TRUE(h.take("gui", key_frame, SIM_REPLY_MS, &f)) << "the single press never came";
    ASSERT_GE(f.size(), 7u);
    EXPECT_EQ(f[6], 6) << "power short press";

    idle = idle_second();
    ASSERT_GE(idle, 0) << h.why;
    EXPECT_LE(idle, 2) << "still ticking after the press was reported";
}

} // namespace
