// The phone and the wind meter as their peers see the scope: the phone's
// frames through the HTTP daemon's queue, the meter's through the BLE
// service's, the access point through the stand-in daemons (the board log
// records each start with the configuration it read) and the files the
// scope keeps.
#include <string>
#include <vector>

#include "scope_e2e.h"

namespace {

const sim_head phone_result = {0xF4, 0x00, -1, 0x00};

struct PhoneWifi : ::testing::Test {
    sim_harness h;

    void SetUp() override
    {
        SCOPE_START(h, {"media", "gui", "http", "ble"});
        ASSERT_TRUE(h.boot_all_modules()) << h.why;
        ASSERT_TRUE(h.send("gui", sim_gui_ready()));
    }
    SCOPE_STOP_AT_END(h)

    scope_frame phone_answer(uint8_t cmd)
    {
        scope_frame f;
        sim_head head = phone_result;
        head.item = cmd;
        if (!h.take("http", head, SIM_REPLY_MS, &f)) return {};
        return f;
    }
};

TEST_F(PhoneWifi, ThePhoneRenamesTheAccessPointAndChangesItsPassphrase)
{
    /* A fresh unit without a serial number comes up with the default name
     * and the image's passphrase once the GUI switches it on. */
    ASSERT_TRUE(h.send("gui", sim_gui_request(5, 0, 0xFF, {1})));
    const std::string first = scope_wait_hostapd(h, 0, "VeskNV_SN_NuraxPRO520_LRF", "40715926");
    ASSERT_FALSE(first.empty()) << "hostapd starts: " << scope_hostapd_starts(h).size();
    EXPECT_EQ(sim_log_field(first, "file"), "/etc/wifi/hostapd_wpa2.conf");
    EXPECT_EQ(sim_log_field(first, "interface"), "wlan0");

    const size_t before = scope_hostapd_starts(h).size();
    const std::string name = "VeskNV_phone", pass = "phonepass1";
    ASSERT_TRUE(h.send("http", sim_http_command(0, scope_frame(name.begin(), name.end()))));
    ASSERT_TRUE(h.send("http", sim_http_command(2, scope_frame(pass.begin(), pass.end()))));
    std::string restarted = scope_wait_hostapd(h, before, name, pass);
    ASSERT_FALSE(restarted.empty()) << "no hostapd start with the phone's name and passphrase";
    const std::string conf = h.read("/etc/wifi/hostapd_wpa2.conf");
    EXPECT_NE(conf.find("\nssid=" + name + "\n"), std::string::npos) << conf;
    EXPECT_NE(conf.find("\nwpa_passphrase=" + pass + "\n"), std::string::npos) << conf;
    EXPECT_NE(h.read("/etc/wifi/hostapd_none.conf").find("ssid=" + name + "\n"), std::string::npos);
    /* Every daemon start went through the DHCP daemon's file too. */
    bool dhcp = false;
    for (const std::string &line : h.board_log("config"))
        dhcp =
            dhcp || (sim_log_field(line, "name") == "udhcpd" && sim_log_field(line, "file") == "/etc/wifi/udhcpd.conf");
    EXPECT_TRUE(dhcp);

    /* A name that would carry a second line into the daemon's file is
     * refused, and the phone reads back what is in force. */
    const std::string evil = "x\nwpa_passphrase=12345678";
    ASSERT_TRUE(h.send("http", sim_http_command(0, scope_frame(evil.begin(), evil.end()))));
    ASSERT_TRUE(h.send("http", sim_http_command(1, {})));
    ASSERT_TRUE(h.send("http", sim_http_command(3, {})));
    EXPECT_EQ(phone_answer(1), sim_http_command(1, scope_frame(name.begin(), name.end())));
    EXPECT_EQ(phone_answer(3), sim_http_command(3, scope_frame(pass.begin(), pass.end())));
    /* The GUI heard each name in force: the unit's default one when it was
     * first given, the phone's when it came and again when read back. */
    for (const std::string &want : {std::string("VeskNV_SN_NuraxPRO520_LRF"), name, name}) {
        scope_frame report;
        ASSERT_TRUE(h.take("gui", sim_head{5, 5, 0xFF, 0x80}, SIM_REPLY_MS, &report)) << want;
        EXPECT_EQ(report, sim_frame(5, 5, 0xFF, 0x80, scope_frame(want.begin(), want.end())));
    }
    EXPECT_EQ(h.read("/etc/wifi/hostapd_wpa2.conf"), conf);

    /* Switched off: the daemons are stopped and stay down. */
    ASSERT_TRUE(h.send("gui", sim_gui_request(5, 0, 0xFF, {0})));
    EXPECT_TRUE(h.wait(SCOPE_AP_MS, [&] {
        std::string out;
        return h.run({"sh", "-c", "! pidof hostapd && ! pidof udhcpd"}, SIM_REPLY_MS, &out);
    }));
}

TEST_F(PhoneWifi, ThePhoneSetsTheClockAndAsksForTheDeviceInformation)
{
    const std::string when = "20240229235959";
    ASSERT_TRUE(h.send("http", sim_http_command(14, scope_frame(when.begin(), when.end()))));
    std::string rtc;
    ASSERT_TRUE(h.wait(SIM_REPLY_MS, [&] {
        for (const std::string &line : h.board_log("ioctl"))
            if (sim_log_field(line, "node") == "/dev/rtc0") rtc = line;
        return !rtc.empty();
    }));
    EXPECT_EQ(sim_log_field(rtc, "year"), "124");
    EXPECT_EQ(sim_log_field(rtc, "mon"), "1");
    EXPECT_EQ(sim_log_field(rtc, "mday"), "29");
    EXPECT_EQ(sim_log_field(rtc, "hour"), "23");
    EXPECT_EQ(sim_log_field(rtc, "min"), "59");
    EXPECT_EQ(sim_log_field(rtc, "sec"), "59");
    std::string sys;
    ASSERT_TRUE(h.wait(SIM_REPLY_MS, [&] {
        auto lines = h.board_log("settimeofday");
        if (!lines.empty()) sys = lines.back();
        return !sys.empty();
    }));
    EXPECT_EQ(sim_log_field(sys, "sec"), "1709251199");

    /* The thirty-first of April never reaches the clocks. */
    const std::string bad = "20240431120000";
    ASSERT_TRUE(h.send("http", sim_http_command(14, scope_frame(bad.begin(), bad.end()))));
    ASSERT_TRUE(h.send("http", sim_http_command(6, {})));
    scope_frame info = phone_answer(6);
    ASSERT_EQ(info.size(), 174u);
    EXPECT_TRUE(sim_frame_sound(info));
    EXPECT_EQ(std::string((const char *)&info[6 + 3 * 33]), "Nurax PRO 520 LRF");
    EXPECT_EQ(std::string((const char *)&info[6 + 4 * 33]), "v1.0.4");
    EXPECT_EQ(h.board_log("settimeofday").size(), 1u);
}

TEST_F(PhoneWifi, TheWindMetersStateReachesTheGuiAndItsSpeedTheWindReport)
{
    ASSERT_TRUE(h.send("ble", sim_ble_state(1)));
    ASSERT_TRUE(h.send("ble", sim_ble_wind(7)));
    scope_frame state, wind;
    ASSERT_TRUE(h.take("gui", sim_head{0x1D, 0x01, 0xFF, 0x00}, SIM_REPLY_MS, &state));
    EXPECT_EQ(state, sim_ble_state(1));
    ASSERT_TRUE(h.take("gui", sim_head{0x00, 0x00, 0x26, 0x80}, SIM_REPLY_MS, &wind));
    EXPECT_EQ(wind, sim_frame(0, 0, 0x26, 0x80, {7, 0}));
}

} // namespace
