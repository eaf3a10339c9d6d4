// The update page end to end in the sandbox. With sightui alone, the test
// stands in sightd's place on the two queues: it plays the device's frames
// (the last profile block, the battery, the update start notice and states)
// into queue 12345, works the page with the scope's keys and reads the
// requests sightui answers with from queue 54321. With both programs, the
// update frames are put beside sightd's own and the reboot the page asks
// for ends the run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "home_road.h"

namespace {

/* The queue records sightd puts for the GUI, and the GUI's to sightd. */
const char *const k_to_gui_key = "12345";
const char *const k_gui_mtype = "4";
const char *const k_from_gui_key = "54321";
const char *const k_app_mtype = "5";
const char *const k_app_to_ui_type = "33";

struct Scope : HomeRoad {
    /* sightui alone in a sandbox with a Media partition of media_bytes. */
    bool start_gui_alone(uint64_t media_bytes)
    {
        sim_options options;
        options.media_bytes = media_bytes;
        return create(options) && start_sightui();
    }

    /* A report of sightd to the GUI. */
    bool report(uint8_t obj, uint8_t sub, uint8_t item, const sim_bytes &payload)
    {
        std::string hex = sim_hex(sim_frame(obj, sub, item, 0x80, payload));
        return run({"sandbox-probe", "put", k_to_gui_key, k_gui_mtype, k_app_to_ui_type, hex}, SIM_REPLY_MS);
    }

    /* The next request of the GUI that matches head, skipping the others
     * (READY, menu-level answers, the wake-up item). */
    bool request(const sim_head &head, sim_bytes *frame)
    {
        for (int i = 0; i < 64; i++) {
            std::string record;
            if (!run({"sandbox-probe", "record", k_from_gui_key, k_app_mtype}, SIM_REPLY_MS, &record)) return false;
            size_t at = record.find("frame=");
            sim_bytes f;
            if (at == std::string::npos || !sim_unhex(record.substr(at + 6, record.find('\n', at) - at - 6), &f))
                return fail_with("no frame in record: " + record);
            if (record.compare(0, 7, "type=1 ") != 0) return fail_with("not a GUI record: " + record);
            if (!sim_frame_sound(f)) return fail_with("unsound frame: " + record);
            seen += sim_hex(f) + "\n";
            if (head(f)) {
                *frame = f;
                return true;
            }
        }
        return fail_with("no such request among:\n" + seen);
    }

    bool fail_with(const std::string &what)
    {
        why = what;
        return false;
    }

    std::string seen;
};

sim_bytes le16(int v) { return {(uint8_t)(v & 0xFF), (uint8_t)((v >> 8) & 0xFF)}; }

const sim_head k_check = {26, 2, 0xFF, 0x00};

/* The GUI's next request of this object, sub and item is this one. */
::testing::AssertionResult requested(Scope &s, uint8_t obj, uint8_t sub, uint8_t item, const sim_bytes &payload)
{
    sim_bytes f;
    if (!s.request(sim_head{obj, sub, item, 0x00}, &f)) return ::testing::AssertionFailure() << s.why;
    sim_bytes want = sim_frame(obj, sub, item, 0x00, payload);
    if (f != want) return ::testing::AssertionFailure() << sim_hex(f) << " where " << sim_hex(want) << " was due";
    return ::testing::AssertionSuccess();
}

/* The page shows picture n. */
::testing::AssertionResult shows(Scope &s, int n)
{
    std::string want = "image_updata_" + std::to_string(n), tree;
    if (s.wait_tree([&](const std::string &t) { return sim_tree_widget(t, "image_updata").image == want; },
                    SIM_REPLY_MS, &tree))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no " << want << ": " << s.why << "\n" << tree;
}

/* Without sightd nobody reads the key device: the keys go into sightui's
 * key injection as the key frames sightd sends (short up, short fn, the
 * power key held and released). */
const char *const k_up = "0";
const char *const k_fn = "12";
const char *const k_power_long = "7";
const char *const k_power_release = "8";

/* The boot push as far as the GUI needs it (the sixth profile block makes
 * it ready, the boot page gives way to the home page) with this battery,
 * the key that wakes the screen (it reaches no page), then the device's
 * first update start notice: the page opens and answers with its check,
 * in *check. */
bool open_update_page(Scope &s, int battery, sim_bytes *check)
{
    return s.start_gui_alone(1ull << 30) && s.report(16, 2, 5, sim_bytes(248, 0)) &&
           s.report(15, 0, 0, le16(battery)) && s.wait_top("QZ_home_page_1") && s.key_codes({k_up}) &&
           s.report(26, 2, 0xFF, {}) && s.wait_top("QZ_updata", SIM_REPLY_MS) && s.request(k_check, check);
}

TEST(UpdatePageInTheSandbox, ConfirmedByKeysAndInstalledToTheCountdown)
{
    Scope s;
    sim_bytes f;
    ASSERT_TRUE(open_update_page(s, 800, &f)) << s.why;
    EXPECT_EQ(sim_hex(f), sim_hex(sim_frame(26, 2, 0xFF, 0x00, {0}))) << "battery and storage enough";
    ASSERT_TRUE(shows(s, 4));

    ASSERT_TRUE(s.report(26, 0, 0xFF, {0})) << s.why;
    ASSERT_TRUE(shows(s, 6));
    ASSERT_TRUE(s.key_codes({k_fn})) << s.why;
    EXPECT_TRUE(requested(s, 26, 1, 0xFF, {0})) << "go on with the install";

    for (int state : {2, 4, 6}) ASSERT_TRUE(s.report(26, 0, 0xFF, {(uint8_t)state})) << s.why;
    ASSERT_TRUE(shows(s, 12));
    ASSERT_TRUE(s.report(26, 1, 0xFF, {0})) << s.why;
    ASSERT_TRUE(shows(s, 14));

    /* Power held: the countdown, which saves and asks for the power-off. */
    ASSERT_TRUE(s.key_codes({k_power_long, "+300", k_power_release})) << s.why;
    ASSERT_TRUE(s.wait_top("QZ_SHUT_DOWN", SIM_REPLY_MS)) << s.why;
    EXPECT_TRUE(requested(s, 0, 0, 13, {1})) << "voluntary shutdown";
    EXPECT_NE(s.seen.find(sim_hex(sim_frame(16, 3, 0, 0x00, {0}))), std::string::npos) << "saved first:\n" << s.seen;
}

TEST(UpdatePageInTheSandbox, LowBatteryAsksForARebootOnTheFunctionKey)
{
    Scope s;
    sim_bytes f;
    ASSERT_TRUE(open_update_page(s, 729, &f)) << s.why;
    EXPECT_EQ(sim_hex(f), sim_hex(sim_frame(26, 2, 0xFF, 0x00, {2}))) << "battery low";
    ASSERT_TRUE(shows(s, 2));
    ASSERT_TRUE(s.key_codes({k_fn})) << s.why;
    ASSERT_TRUE(shows(s, 15));
    EXPECT_TRUE(requested(s, 0, 0, 32, {1})) << "reboot";
}

} // namespace

/* With sightd: whatever its battery and storage readings, a step that
 * cannot install waits for the function key, and the reboot it asks for
 * ends the run as a reboot of the board. */
TEST(UpdatePageWithSightd, TheFunctionKeyRebootsTheScope)
{
    Scope s;
    HomeRoadImage image;
    image.ballistics = false;
    ASSERT_TRUE(s.start(image, 1ull << 30)) << s.why;
    ASSERT_TRUE(s.key("up")) << s.why;
    ASSERT_TRUE(s.report(26, 2, 0xFF, {})) << s.why;
    ASSERT_TRUE(s.wait_top("QZ_updata", SIM_REPLY_MS)) << s.why;
    std::string tree, shown;
    ASSERT_TRUE(s.wait_tree(
        [&](const std::string &t) {
            shown = sim_tree_widget(t, "image_updata").image;
            return shown != "image_updata_0";
        },
        SIM_REPLY_MS, &tree))
        << s.why << "\n"
        << tree;
    if (shown == "image_updata_4") {
        /* Battery and storage enough: the device refuses the package. */
        ASSERT_TRUE(s.report(26, 0, 0xFF, {1})) << s.why;
        ASSERT_TRUE(shows(s, 5));
    }
    ASSERT_TRUE(s.key("fn")) << s.why;
    ASSERT_TRUE(shows(s, 15));
    sim_outcome out;
    s.wait(SIM_REPLY_MS + 3000, [&] { return s.ended(s.sightd, &out); });
    EXPECT_EQ(out.end, SIM_REBOOT) << sim_outcome_text(out);
    s.sightd = -1;
}
