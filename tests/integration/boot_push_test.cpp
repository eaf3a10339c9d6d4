// The queues and the boot push as the peers see them: what the GUI stand-in
// receives while sightd boots, and the GUI's frames going through while the
// phone and Bluetooth peers are missing.
#include "scope_e2e.h"

namespace {

/* A frame's first six bytes: header, length, object, sub, item, flag. */
scope_frame head_of(const scope_frame &f) { return scope_frame(f.begin(), f.begin() + std::min<size_t>(6, f.size())); }

scope_frame payload_of(const scope_frame &f)
{
    return f.size() < 9 ? scope_frame() : scope_frame(f.begin() + 6, f.end() - 3);
}

/* The boot push with the factory image, frame by frame, as the GUI must
 * receive it. */
struct push_row {
    scope_frame head;
    scope_frame payload;
};

std::vector<push_row> expected_push(uint8_t debug_on, uint8_t dynamic_bc)
{
    std::vector<push_row> rows;
    rows.push_back({{0xAA, 0x66, 0x10, 0x00, 0x00, 0x80}, scope_factory_status_image()});
    rows.push_back({{0xAA, 0xE2, 0x10, 0x01, 0x00, 0x80}, scope_bytes(scope_factory_cursor())});
    for (uint8_t i = 0; i < SCOPE_PROFILES; i++)
        rows.push_back({{0xAA, 0xFE, 0x10, 0x02, i, 0x80}, scope_bytes(scope_factory_profile(i))});
    rows.push_back({{0xAA, 0x07, 0x00, 0x00, 0x29, 0x80}, {debug_on}});
    /* The dynamic coefficient: no stored setting reads as on; the library
     * in the sandbox has the extended entry (flag 0). */
    rows.push_back({{0xAA, 0x08, 0x00, 0x00, 0x2B, 0x80}, {dynamic_bc, 0x00}});
    return rows;
}

/* The lifecycle's boot-state report, (reason 9, outcome): sent before the
 * status image when the boot state calls for one. */
const sim_head boot_state = {0x00, 0x00, 0x2A, 0x80};
/* The access point's name, reported whenever the Wi-Fi module stages one: on
 * a first boot the default name, whenever the store takes it. */
const sim_head wifi_name = {0x05, 0x05, 0xFF, 0x80};

/* restored: the boot restored the profiles from the defaults, which the
 * lifecycle reports first. */
void expect_push(const std::vector<scope_frame> &gui, const std::vector<push_row> &want, bool restored)
{
    size_t at = 0;
    if (restored) {
        ASSERT_FALSE(gui.empty());
        EXPECT_EQ(gui[0], sim_frame(0x00, 0x00, 0x2A, 0x80, {0x09, 0x05})) << sim_hex(gui[0]);
        at++;
    }
    ASSERT_GE(gui.size(), at + want.size()) << "the GUI received " << gui.size() << " frames";
    for (size_t i = 0; i < want.size(); i++, at++) {
        SCOPED_TRACE("push frame " + std::to_string(i) + ": " + sim_hex(head_of(gui[at])));
        EXPECT_TRUE(sim_frame_sound(gui[at])) << sim_hex(gui[at]);
        EXPECT_EQ(head_of(gui[at]), want[i].head);
        EXPECT_EQ(gui[at].size(), want[i].payload.size() + 9);
        EXPECT_EQ(payload_of(gui[at]), want[i].payload);
    }
}

std::vector<scope_frame> gui_frames(const sim_harness &run)
{
    return run.frames("gui", [](const scope_frame &) { return true; });
}

TEST(BootPush, TheGuiReceivesTheWholeDeviceStateInOrder)
{
    sim_harness run;
    SCOPE_START(run, {"media", "http", "ble", "gui"});
    ASSERT_TRUE(run.boot_sightd()) << run.why;
    /* A fresh unit's first boot makes its profile database from the defaults. */
    expect_push(gui_frames(run), expected_push(0, 1), true);

    /* Once the media pipeline has had its time, the shot video is ready. */
    const scope_frame ready = {0xAA, 0x06, 0x1C, 0x08, 0xFF, 0x80, 0x00, 0xEB, 0xAA};
    scope_frame want = ready;
    want[6] = sim_frame_checksum(want.data(), want.size());
    auto shot_ready = run.wait_frames("gui", sim_head{0x1C, 0x08, 0xFF, 0x80}, 1, SIM_REPLY_MS * 3);
    ASSERT_EQ(shot_ready.size(), 1u);
    EXPECT_EQ(shot_ready[0], want);
    /* Nothing else reached the GUI between the push and that report. */
    EXPECT_EQ(gui_frames(run).size(), expected_push(0, 1).size() + 1 + run.frames("gui", boot_state).size() +
                                          run.frames("gui", wifi_name).size());
    scope_stop_sightd(run);
}

TEST(BootPush, ASecondBootPushesWhatTheFirstLeftWithoutARestoreReport)
{
    sim_harness run;
    SCOPE_START(run, {"media", "gui"});
    ASSERT_TRUE(run.boot_sightd()) << run.why;
    ASSERT_TRUE(scope_stop_sightd(run));

    size_t first = gui_frames(run).size();
    ASSERT_TRUE(run.boot_sightd()) << run.why;
    std::vector<scope_frame> all = gui_frames(run);
    std::vector<scope_frame> second(all.begin() + (long)first, all.end());
    ASSERT_FALSE(second.empty());
    EXPECT_FALSE(boot_state(second[0])) << "the profiles were restored again: " << sim_hex(second[0]);
    expect_push(second, expected_push(0, 1), false);
    scope_stop_sightd(run);
}

/* A minute of recording with a shot every second: recording on, sixty shot
 * videos (each a trigger and a done report from the media process), and
 * recording off. Every step is reported to the phone side, whose daemon is
 * not running, so all of it stays in the queue. Sent as fast as sightd
 * takes them. */
TEST(BootPush, TheGuiFramesGoThroughWhileThePhoneAndBluetoothPeersAreMissing)
{
    sim_harness run;
    SCOPE_START(run, {"media", "gui"});
    ASSERT_TRUE(run.boot_sightd()) << run.why;

    const sim_head trigger = {0x1C, 0x05, -1, -1};
    const int shots = 60;
    ASSERT_TRUE(run.send("gui", scope_request(0x17, 0x00, 0x00, 0x00))); /* recording on */
    for (int i = 0; i < shots; i++) {
        ASSERT_TRUE(run.send("media", sim_media_shot_trigger()));
        ASSERT_TRUE(run.send("media", sim_media_shot_done()));
        /* Keep within what the router's bus holds. */
        ASSERT_EQ(run.wait_frames("gui", trigger, (size_t)i + 1, SIM_REPLY_MS).size(), (size_t)i + 1)
            << "shot " << i << " did not reach the GUI";
    }
    ASSERT_TRUE(run.send("gui", scope_request(0x17, 0x00, 0x00, 0x01))); /* recording off */

    /* The GUI still gets its answers. */
    ASSERT_TRUE(run.send("gui", scope_request(0x00, 0x00, 0x29, 0xFF)));
    EXPECT_EQ(run.wait_frames("gui", sim_head{0x00, 0x00, 0x29, 0x80}, 2, SIM_REPLY_MS).size(), 2u)
        << "the debug query went unanswered";
    /* And the media process its frames: both recording commands. */
    EXPECT_EQ(run.wait_frames("media", sim_head{0x17, 0x00, 0x00, 0x00}, 2, SIM_REPLY_MS).size(), 2u);

    /* A phone daemon that comes up now learns the recording state as it
     * stands: off. */
    ASSERT_TRUE(run.start_peer("http"));
    const scope_frame last_state = sim_frame(0xF4, 0x00, 0x0F, 0x00, {0x00});
    auto http = run.wait_frames(
        "http", [&](const scope_frame &f) { return f == last_state; }, 1, SIM_REPLY_MS);
    ASSERT_FALSE(http.empty());
    std::vector<sim_peer_record> backlog = run.received("http");
    for (const sim_peer_record &r : backlog) {
        EXPECT_EQ(r.type, 48u);
        EXPECT_TRUE(sim_frame_sound(r.frame)) << sim_hex(r.frame);
    }
    EXPECT_EQ(backlog.back().frame, last_state) << "the newest report is not the last one kept";
    scope_stop_sightd(run);
}

} // namespace
