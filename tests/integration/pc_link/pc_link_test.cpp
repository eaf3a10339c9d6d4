// The PC or factory tool end to end: the simulated tool on /dev/ttyS2
// reads the scope's identity and battery voltage and writes a new serial
// number, which the information page shows at once and, from the EEPROM
// record, after the next boot; a clock write reaches both clocks, except
// while a shot video records.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <string>

#include "home_road.h"
#include "pc_tool.h"
#include "scope_e2e.h"
#include "sim_iio.h"

namespace {

pc_tool_bytes text(const std::string &s) { return pc_tool_bytes(s.begin(), s.end()); }

bool ask(pc_tool *tool, const pc_tool_bytes &request, pc_tool_reply *reply)
{
    return pc_tool_ask(tool, request, SIM_REPLY_MS, reply);
}

/* The battery voltage the tool reads, in hundredths of a volt. */
int voltage(pc_tool *tool)
{
    pc_tool_reply r;
    if (!ask(tool, pc_tool_request(0x0F, 0, 0, 1), &r) || r.data.size() != 2) return -1;
    return r.data[0] | (r.data[1] << 8);
}

/* The factory image with an EEPROM record that names the unit; in a kept
 * folder (a boot after a restart) when dir is given. The sandbox makes
 * /sys afresh at each boot, so the EEPROM's bytes are handed over as the
 * chip would keep them. */
bool boot(sim_harness &h, const std::string &dir, bool keep, const std::string &eeprom_kept = "")
{
    sim_options options;
    options.media_bytes = 256ull << 20;
    options.dir = dir;
    options.keep = keep;
    if (!eeprom_kept.empty()) options.files.push_back({SIM_EEPROM, eeprom_kept, 0644});
    if (dir.empty()) {
        HomeRoadImage image;
        image.ballistics = false;
        options.files = home_road_image(image, &h.why);
        if (options.files.empty()) return false;
        std::string eeprom = "[info]\npn=VK-520-LRF-01\nsn=SN20261234\ns16rangeoffsetx=639\ns16rangeoffsety=639\n"
                             "s16laserindicatx=639\ns16laserindicaty=639\ns16rangeminscale=1000\n"
                             "s16rangemaxscale=12000\nf_zero_azimuth=0.000000\nf_zero_pitch=0.000000\n"
                             "f_zero_slant=0.000000\n";
        eeprom.resize(4096, '\0');
        options.files.push_back({SIM_EEPROM, eeprom, 0644});
    }
    return h.create(options) && h.start_peer("media") && h.start_sightd() && h.start_sightui() &&
           h.wait_top("QZ_home_page_1");
}

/* From the home page to the information page (settings row 8). */
bool to_information_page(sim_harness &h)
{
    if (!h.key("ok", "long") || !h.wait_top("main_menu")) return false;
    for (int i = 1; i < 6; i++)
        if (!h.key("down")) return false;
    if (!h.key("ok") || !h.wait_top("setting_menu")) return false;
    for (int i = 1; i < 8; i++)
        if (!h.key("down")) return false;
    return h.key("ok") && h.wait_top("Info_menu");
}

TEST(PcLink, TheToolReadsTheUnitAndItsNewSerialNumberIsShownNowAndAfterABoot)
{
    std::string dir, eeprom;
    {
        sim_harness h;
        ASSERT_TRUE(boot(h, "", true)) << h.why;
        dir = sim_dir(h.sb);
        pc_tool *tool = sim_pc_tool(h);
        ASSERT_NE(tool, nullptr) << h.why;

        pc_tool_reply r;
        ASSERT_TRUE(ask(tool, pc_tool_request(0x00, 0x1A, 1, 1), &r));
        EXPECT_EQ(r.frame, (pc_tool_bytes{0x55, 0x10, 0x00, 0x1A, 0x01, 0x81, 'S', 'N', '2', '0', '2', '6', '1', '2',
                                          '3', '4', 0x36, 0xEB, 0xAA}));
        /* The sandbox's battery starts at 8.00 V; a new voltage is read
         * live. */
        EXPECT_NEAR(voltage(tool), 800, 10);
        ASSERT_EQ(sim_adc_set_battery(h.sb, 7.2), 0);
        EXPECT_TRUE(h.wait(SIM_BOOT_MS, [&] { return abs(voltage(tool) - 720) <= 10; })) << voltage(tool);

        ASSERT_TRUE(pc_tool_send(tool, pc_tool_request(0x00, 0x1A, 1, 0, text("VK-2026-0099"))));
        ASSERT_TRUE(ask(tool, pc_tool_request(0x00, 0x1A, 1, 1), &r));
        EXPECT_EQ(r.data, text("VK-2026-0099"));
        EXPECT_TRUE(h.wait(SIM_REPLY_MS, [&] {
            return h.read(SIM_EEPROM).find("sn=VK-2026-0099\n") != std::string::npos;
        })) << h.read(SIM_EEPROM).c_str();
        EXPECT_EQ(pc_tool_stray(tool), 0u) << "every byte the scope wrote was a sound reply";
        /* The information page shows the new number at once. */
        ASSERT_TRUE(to_information_page(h)) << h.why;
        std::string tree;
        EXPECT_TRUE(
            h.wait_tree([](const std::string &t) { return sim_tree_widget(t, "SN_value").text == "VK-2026-0099"; },
                        SIM_REPLY_MS, &tree))
            << tree;
        EXPECT_EQ(sim_tree_widget(tree, "PN_value").text, "VK-520-LRF-01");
        eeprom = h.read(SIM_EEPROM);
        sim_kill(h.sb, h.sightui, SIGKILL);
        ASSERT_TRUE(h.wait(SIM_REPLY_MS, [&] { return h.ended(h.sightui); }));
        h.sightui = -1;
        scope_stop_sightd(h);
    }
    sim_harness again;
    ASSERT_TRUE(boot(again, dir, false, eeprom)) << again.why;
    ASSERT_TRUE(to_information_page(again)) << again.why;
    std::string tree;
    EXPECT_TRUE(
        again.wait_tree([](const std::string &t) { return sim_tree_widget(t, "SN_value").text == "VK-2026-0099"; },
                        SIM_REPLY_MS, &tree))
        << tree;
    scope_stop_sightd(again);
    const std::string rm = "rm -rf '" + dir + "'";
    EXPECT_EQ(system(rm.c_str()), 0);
}

/* The rtc ioctl lines in the board log that set this year (since 1900). */
size_t rtc_sets(sim_harness &h, int year)
{
    size_t n = 0;
    const std::string want = "year=" + std::to_string(year - 1900) + " ";
    for (const std::string &l : h.board_log("ioctl"))
        if (l.find("node=/dev/rtc0") != std::string::npos && l.find(want) != std::string::npos) n++;
    return n;
}

pc_tool_bytes date(int year, int month, int day, int hour, int minute, int second)
{
    return pc_tool_request(0x00, 0x1B, 0, 0,
                           {(uint8_t)(year & 0xFF), (uint8_t)(year >> 8), (uint8_t)month, (uint8_t)day, (uint8_t)hour,
                            (uint8_t)minute, (uint8_t)second});
}

TEST(PcLink, TheClockIsSetExceptWhileAShotVideoRecords)
{
    sim_harness h;
    SCOPE_START(h, {"media", "gui", "http"});
    ASSERT_TRUE(h.boot_sightd()) << h.why;
    pc_tool *tool = sim_pc_tool(h);
    ASSERT_NE(tool, nullptr) << h.why;
    const pc_tool_bytes probe = pc_tool_request(0x00, 0x1A, 0, 1, {0});
    /* sightd opens /dev/ttyS2 after its boot push, once the modules before
     * the link have started; bytes sent before then are never read. */
    ASSERT_TRUE(h.wait(SIM_REPLY_MS, [&] { return pc_tool_ask(tool, probe, 250, nullptr); })) << "the link answers";

    ASSERT_TRUE(pc_tool_send(tool, date(2024, 2, 29, 23, 59, 59)));
    EXPECT_TRUE(h.wait(SIM_REPLY_MS, [&] { return rtc_sets(h, 2024) == 1; }));
    EXPECT_TRUE(h.wait(SIM_REPLY_MS, [&] { return !h.board_log("settimeofday").empty(); }));

    /* A shot video starts (the phone side hears of it once the state is
     * set), and the clock stays. */
    ASSERT_TRUE(h.send("media", sim_media_shot_trigger()));
    ASSERT_EQ(h.wait_frames("http", sim_head{0xF4, 0, 16}, 1).size(), 1u) << "the shot video started";
    ASSERT_TRUE(pc_tool_send(tool, date(2025, 1, 1, 0, 0, 0)));
    ASSERT_TRUE(ask(tool, probe, nullptr)); /* the date frame was handled before the probe */
    EXPECT_EQ(rtc_sets(h, 2025), 0u);

    /* A month 13 is refused outright. */
    ASSERT_TRUE(h.send("media", sim_media_shot_done()));
    ASSERT_EQ(h.wait_frames("http", sim_head{0xF4, 0, 16}, 2).size(), 2u) << "the shot video ended";
    ASSERT_TRUE(pc_tool_send(tool, date(2026, 13, 1, 0, 0, 0)));
    ASSERT_TRUE(pc_tool_send(tool, date(2025, 1, 1, 0, 0, 0)));
    EXPECT_TRUE(h.wait(SIM_REPLY_MS, [&] { return rtc_sets(h, 2025) == 1; }));
    EXPECT_EQ(rtc_sets(h, 2026), 0u);
    scope_stop_sightd(h);
}

} // namespace
