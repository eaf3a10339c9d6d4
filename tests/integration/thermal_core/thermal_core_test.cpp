// The thermal-core link end to end: sightd (and sightui) in the sandbox,
// the simulated thermal core on /dev/ttyS4, the queue peers; everything
// seen from outside, as the core, the media process and the GUI see it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "home_road.h"
#include "sim_harness.h"
#include "sim_thermal.h"

namespace {

/* Frames of the core's link, as the simulated core (written from the
 * link's layout alone) builds them: head AA to the core, 55 from it. */
sim_bytes core_frame(uint8_t head, uint16_t cmd, uint8_t kind, const sim_bytes &params)
{
    return thermal_core_frame(head, cmd, kind, params);
}

/* The media process's video-ready mark, which it sends once its pipeline
 * is up. */
const sim_bytes video_ready = sim_frame(1, 19, 0xFF, 0x00);

/* The frames the core took in with this command. */
std::vector<thermal_core_record> core_took(thermal_core *core, uint16_t cmd)
{
    return thermal_core_received(core, cmd);
}

/* A sandbox from the factory image with debug mode on (sightd's frame
 * traces are DETAIL records), the media peer and the thermal core. */
bool scope_with_core(sim_harness &h, thermal_core **core)
{
    HomeRoadImage image;
    image.ballistics = false;
    image.debug = true;
    sim_options options;
    options.files = home_road_image(image, &h.why);
    if (options.files.empty() || !h.create(options) || !h.start_peer("media")) return false;
    *core = sim_thermal_core(h);
    return *core != nullptr && h.send("media", video_ready);
}

int count_of(const std::string &text, const std::string &what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}

TEST(ThermalCore, BootTalksToTheCoreAndRegistersItsVersions)
{
    sim_harness h;
    thermal_core *core = nullptr;
    ASSERT_TRUE(scope_with_core(h, &core)) << h.why;
    ASSERT_EQ(thermal_core_command(core, "version v1.2.3-rc"), 0);
    ASSERT_TRUE(h.boot_sightd()) << h.why;

    /* The self test, answered with the version, ended the wait for it. */
    EXPECT_FALSE(core_took(core, 0x0104).empty());
    EXPECT_EQ(core_took(core, 0x0104)[0].frame, core_frame(0xAA, 0x0104, 0x00, {}));
    const std::string versions = h.read("/tmp/apps.version");
    EXPECT_EQ(count_of(versions, "FPA2:\t <fpa2>"), 1) << versions;
    EXPECT_NE(versions.find("[V1.2.3]"), std::string::npos) << versions;
    EXPECT_EQ(count_of(versions, "FPA1:\t <fpa1>"), 1) << versions;
    EXPECT_NE(versions.find("[fw1.0]"), std::string::npos) << versions;

    /* The stored image settings went to the core, and the shutter closed. */
    ASSERT_TRUE(h.wait(SIM_REPLY_MS, [&] { return !core_took(core, 0x0502).empty(); }));
    EXPECT_EQ(core_took(core, 0x0502)[0].frame, core_frame(0xAA, 0x0502, 0x01, {0x00, 0x00}));
    std::vector<uint8_t> selectors;
    for (const thermal_core_record &r : core_took(core, 0x0309)) selectors.push_back(r.params.at(0));
    EXPECT_EQ(selectors, std::vector<uint8_t>({0x00, 0x01, 0x03})) << "brightness, contrast, enhancement";
    for (uint16_t cmd : {0x0305, 0x0306, 0x030B}) EXPECT_EQ(core_took(core, cmd).size(), 1u) << std::hex << cmd;
    thermal_core_image im;
    thermal_core_get_image(core, &im);
    EXPECT_EQ(im.bad_frames, 0u) << "a frame from sightd had a wrong checksum";
}

TEST(ThermalCore, AnImageCommandFromTheGuiReachesTheCoreAndIsAcknowledged)
{
    sim_harness h;
    thermal_core *core = nullptr;
    ASSERT_TRUE(scope_with_core(h, &core)) << h.why;
    ASSERT_TRUE(h.start_sightd()) << h.why;
    ASSERT_TRUE(h.start_sightui()) << h.why;
    ASSERT_TRUE(h.wait_top("QZ_home_page_1")) << h.why;
    size_t before = core_took(core, 0x0305).size();

    /* Down on the home page steps the palette from white hot to black hot:
     * the GUI sends infrared item 4 with 1, sightd the core's polarity. */
    ASSERT_TRUE(h.key("down")) << h.why;
    ASSERT_TRUE(h.wait(SIM_REPLY_MS, [&] { return core_took(core, 0x0305).size() > before; }));
    const thermal_core_record polarity = core_took(core, 0x0305).back();
    EXPECT_EQ(polarity.frame, core_frame(0xAA, 0x0305, 0x01, {0x01}));

    /* The media process gets the GUI's frame as it was (value 1, then 0). */
    const sim_bytes from_gui = sim_frame(1, 1, 4, 0x00, {1, 0});
    EXPECT_EQ(h.wait_frames(
                   "media", [&](const sim_bytes &f) { return f == from_gui; }, 1)
                  .size(),
              1u);

    /* The core's acknowledgement comes back and sightd takes it in (its
     * trace of the frame, bytes in hex). */
    const sim_bytes ack = core_frame(0x55, 0x0305, 0x01, {0x01});
    const std::vector<uint8_t> sent = thermal_core_sent(core);
    EXPECT_NE(std::search(sent.begin(), sent.end(), ack.begin(), ack.end()), sent.end());
    std::string ack_hex;
    for (uint8_t b : ack) {
        char t[4];
        snprintf(t, sizeof t, "%02X", b);
        ack_hex += std::string(ack_hex.empty() ? "" : " ") + t;
    }
    EXPECT_TRUE(h.wait(SIM_REPLY_MS,
                       [&] {
                           for (const std::string &line : h.log_lines("app", "tag=fpga.rx"))
                               if (line.find("hex=" + ack_hex) != std::string::npos) return true;
                           return false;
                       }))
        << "no fpga.rx record of " << ack_hex;
    thermal_core_image im;
    thermal_core_get_image(core, &im);
    EXPECT_EQ(im.black_hot, 1);
}

TEST(ThermalCore, TheCoresNoticesReachTheGuiAndBadOnesDoNot)
{
    sim_harness h;
    thermal_core *core = nullptr;
    ASSERT_TRUE(scope_with_core(h, &core)) << h.why;
    ASSERT_TRUE(h.boot_sightd()) << h.why;
    h.take_all("gui");

    const sim_head bright = {1, 1, 6, 0x80};
    ASSERT_EQ(thermal_core_command(core, "badsum on"), 0);
    ASSERT_EQ(thermal_core_command(core, "notice bright-on"), 0);
    ASSERT_EQ(thermal_core_command(core, "badsum off"), 0);
    ASSERT_EQ(thermal_core_command(core, "notice bright-off"), 0);
    sim_bytes f;
    ASSERT_TRUE(h.take("gui", bright, SIM_REPLY_MS, &f));
    EXPECT_EQ(f, sim_frame(1, 1, 6, 0x80, {0})) << "the notice with the wrong checksum got through";

    ASSERT_EQ(thermal_core_command(core, "notice repair"), 0);
    ASSERT_TRUE(h.take("gui", sim_head{24, 3, 0xFF, 0x80}, SIM_REPLY_MS, &f));
    EXPECT_EQ(f, sim_frame(24, 3, 0xFF, 0x80, {0}));
    ASSERT_EQ(thermal_core_command(core, "notice save-ok"), 0);
    ASSERT_TRUE(h.take("gui", sim_head{24, 3, 0xFF, 0x80}, SIM_REPLY_MS, &f));
    EXPECT_EQ(f, sim_frame(24, 3, 0xFF, 0x80, {1}));
    ASSERT_EQ(thermal_core_command(core, "notice calibrated"), 0);
    ASSERT_TRUE(h.take("gui", sim_head{1, 1, 11, 0x80}, SIM_REPLY_MS, &f));
    EXPECT_EQ(f, sim_frame(1, 1, 11, 0x80, {0}));
    EXPECT_TRUE(h.take_all("gui", bright).empty());
}

TEST(ThermalCore, ASilentCoreOnlyDelaysTheBoot)
{
    sim_harness h;
    thermal_core *core = nullptr;
    ASSERT_TRUE(scope_with_core(h, &core)) << h.why;
    ASSERT_EQ(thermal_core_command(core, "silent on"), 0);
    ASSERT_TRUE(h.boot_sightd()) << h.why;
    EXPECT_GE(core_took(core, 0x0104).size(), 1u);
    EXPECT_EQ(count_of(h.read("/tmp/apps.version"), "FPA2:"), 0);
    sim_outcome out = h.stop_sightd();
    EXPECT_EQ(out.end, SIM_EXITED) << sim_outcome_text(out);
    EXPECT_EQ(out.code, 0);
}

} // namespace
