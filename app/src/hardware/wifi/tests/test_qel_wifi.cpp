// The access point on a virtual clock: every shell command the module runs
// is recorded with the clock's time, every wait moves the clock, and the
// persistence service is a stand-in whose durable generation the test sets.
// Frames to the GUI and the phone side go through the real queues to
// peers that check them from the frame layout.
#include "qel_wifi.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "peer_frames.h"
#include "peer_link_fixture.h"
#include "qel_dev_status.h"
#include "qel_wifi_internal.h"
#include "sim_peer.h"
#include "vesk_msg.h"

namespace {

typedef std::vector<uint8_t> Bytes;

struct Command {
    long long at_ms;
    std::string text;
};

/* The virtual board and persistence service. */
struct Fake {
    long long now_ms = 0;
    std::vector<Command> commands;
    bool mac = true;
    int hostapd_left = 0;    /* copies a kill leaves running */
    uint64_t generation = 1; /* the newest staged */
    uint64_t durable = 1;
    long long durable_at = -1; /* the newest becomes durable at this time */
    int stage_result = 0;
    int stages = 0;
    bool stage_during_start = false; /* a change arrives while hostapd starts */
    vesk_persist_wifi stored{};
};
Fake *g;

int fake_run(const char *command)
{
    g->commands.push_back({g->now_ms, command});
    if (g->stage_during_start && strncmp(command, "hostapd", 7) == 0) {
        g->stage_during_start = false;
        EXPECT_EQ(wifiSetPassword("changed-meanwhile"), -1) << "17 characters";
        EXPECT_EQ(wifiSetPassword("meanwhile"), 0);
    }
    return 0;
}

int fake_read_line(const char *command, char *line, size_t size)
{
    std::string c = command;
    if (c.find("/sys/class/net/wlan0/address") != std::string::npos) {
        if (!g->mac) return -1;
        snprintf(line, size, "02:00:5e:10:00:01");
        return 0;
    }
    if (c.find("ps -A") != std::string::npos) {
        snprintf(line, size, "%d", g->hostapd_left);
        if (g->hostapd_left > 0) g->hostapd_left--;
        return 0;
    }
    ADD_FAILURE() << "unexpected command " << c;
    return -1;
}

void fake_sleep(unsigned ms) { g->now_ms += ms; }

int fake_stage(const char *ssid, const char *passphrase, uint64_t *out)
{
    if (g->stage_result != 0) return g->stage_result;
    g->stages++;
    if (ssid) snprintf(g->stored.vesk_ssid, sizeof g->stored.vesk_ssid, "%s", ssid);
    if (passphrase) snprintf(g->stored.vesk_password, sizeof g->stored.vesk_password, "%s", passphrase);
    *out = ++g->generation;
    return 0;
}

int fake_stored(vesk_persist_wifi *out)
{
    *out = g->stored;
    return 0;
}

uint64_t fake_durable(void)
{
    if (g->durable_at >= 0 && g->now_ms >= g->durable_at) g->durable = g->generation;
    return g->durable;
}

const vesk_wifi_ops fake_ops = {fake_run, fake_read_line, fake_sleep, fake_stage, fake_stored, fake_durable};

const std::vector<std::string> kStart = {"hostapd /etc/wifi/hostapd_wpa2.conf &", "ifconfig wlan0 192.168.11.123",
                                         "udhcpd -S /etc/wifi/udhcpd.conf &"};
const std::vector<std::string> kStop = {"ifconfig wlan0 down", "kill -9 $(pidof udhcpd)", "kill -9 $(pidof hostapd)"};

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class AccessPoint : public PeerLinkTest {
protected:
    Fake fake;

    void SetUp() override
    {
        g = &fake;
        memset(&qel_dev_status, 0, sizeof qel_dev_status);
        vesk_wifi_set_ops(&fake_ops);
        PeerLinkTest::SetUp();
    }
    void TearDown() override
    {
        PeerLinkTest::TearDown();
        vesk_wifi_set_ops(nullptr);
        g = nullptr;
    }
    /* The watch thread's loop for ms of virtual time. */
    void run_for(long long ms)
    {
        const long long until = fake.now_ms + ms;
        while (fake.now_ms < until) {
            vesk_wifi_watch_cycle();
            fake_sleep(200);
        }
    }
    std::vector<std::string> take_commands()
    {
        std::vector<std::string> out;
        for (const Command &c : fake.commands) out.push_back(c.text);
        fake.commands.clear();
        return out;
    }
    long long time_of(const std::string &text)
    {
        for (const Command &c : fake.commands)
            if (c.text == text) return c.at_ms;
        return -1;
    }
    vesk_wifi_state state()
    {
        vesk_wifi_state s;
        vesk_wifi_get_state(&s);
        return s;
    }
    /* Switched on and up with the configuration of generation 1. */
    void bring_up()
    {
        qel_dev_status.s8WiFiSwitch = 1;
        run_for(200);
        ASSERT_EQ(take_commands(), kStart);
        ASSERT_EQ(state().ap_started, 1);
    }
    std::vector<Bytes> frames_before_marker(sim_peer *peer)
    {
        return vesk_frames_before_marker(peer, peer == http ? SIM_PEER_HTTP : SIM_PEER_GUI);
    }
};

TEST_F(AccessPoint, SwitchingOnWaitsForTheDurableNameThenComesUpWithin200ms)
{
    ASSERT_EQ(wifiSetSSID("VeskNV_new"), 0);
    qel_dev_status.s8WiFiSwitch = 1;
    run_for(2000);
    EXPECT_TRUE(take_commands().empty()) << "nothing starts on a configuration not yet on disk";
    EXPECT_EQ(state().previous_switch, 0);

    fake.durable_at = fake.now_ms + 70; /* inside the next 200 ms wait */
    run_for(1000);
    const long long up = time_of(kStart[0]);
    ASSERT_GE(up, 0);
    EXPECT_LE(up - fake.durable_at, 200);
    EXPECT_EQ(take_commands(), kStart);
    EXPECT_EQ(state().previous_switch, 1);
    EXPECT_EQ(state().last_applied_gen, fake.generation);
}

TEST_F(AccessPoint, NameAndPassphraseRules)
{
    struct Row {
        bool name;
        std::string value;
        int rc;
    } rows[] = {
        {true, std::string(33, 'a'), -1},
        {true, "", -1},
        {true, "line\nwpa_passphrase=12345678", -1},
        {true, "cr\rx", -1},
        {true, "tab\tx", -1},
        {true, "del\x7F", -1},
        {true, "\xC3\xA9t\xC3\xA9", -1},
        {true, std::string(32, 'a'), 0},
        {true, "A", 0},
        {false, "1234567", -1},
        {false, std::string(17, 'p'), -1},
        {false, "pass\nssid=evil", -1},
        {false, "12345678\n", -1},
        {false, "12345678", 0},
        {false, std::string(16, 'p'), 0},
        {false, "with blanks ok", 0},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.value);
        const int before = fake.stages;
        EXPECT_EQ(r.name ? wifiSetSSID(r.value.c_str()) : wifiSetPassword(r.value.c_str()), r.rc);
        EXPECT_EQ(fake.stages - before, r.rc == 0 ? 1 : 0);
        if (r.rc == 0) {
            EXPECT_EQ(r.name ? qel_dev_status.wifi_ssid : qel_dev_status.wifi_password, r.value);
        }
    }
}

TEST_F(AccessPoint, TheSameNameAgainChangesNothing)
{
    bring_up();
    ASSERT_EQ(wifiSetSSID("VeskNV_same"), 0);
    fake.durable_at = 0;
    run_for(20000);
    take_commands();
    const uint64_t generation = fake.generation;
    EXPECT_EQ(wifiSetSSID("VeskNV_same"), 0);
    EXPECT_EQ(fake.generation, generation);
    EXPECT_EQ(state().need_reboot, 0);
    run_for(2000);
    EXPECT_TRUE(take_commands().empty());
}

TEST_F(AccessPoint, APassphraseChangeRestartsOnceWhileOn)
{
    bring_up();
    ASSERT_EQ(wifiSetPassword("newpass1"), 0);
    EXPECT_EQ(state().need_reboot, 1);
    run_for(1000);
    EXPECT_TRUE(take_commands().empty()) << "not durable yet";
    fake.durable_at = fake.now_ms;
    run_for(20000);
    EXPECT_EQ(take_commands(), kStop + kStart);
    EXPECT_EQ(state().need_reboot, 0);
    EXPECT_EQ(state().last_applied_gen, fake.generation);
}

TEST_F(AccessPoint, APassphraseChangeWhileOffOnlyClearsThePendingRestart)
{
    /* Switched on, but the configuration is not durable, so the access point
     * is not up; then switched off again before the watch saw the change. */
    ASSERT_EQ(wifiSetSSID("VeskNV_x"), 0);
    qel_dev_status.s8WiFiSwitch = 1;
    ASSERT_EQ(wifiSetPassword("newpass1"), 0);
    ASSERT_EQ(state().need_reboot, 1);
    qel_dev_status.s8WiFiSwitch = 0;
    fake.durable_at = 0;
    run_for(1000);
    EXPECT_TRUE(take_commands().empty());
    EXPECT_EQ(state().need_reboot, 0);
    EXPECT_EQ(state().ap_started, 0);
}

TEST_F(AccessPoint, SwitchingOffStopsTheDaemonsAndKillsAStubbornHostapdAgain)
{
    bring_up();
    fake.hostapd_left = 1;
    qel_dev_status.s8WiFiSwitch = 0;
    run_for(200);
    EXPECT_EQ(take_commands(), kStop + std::vector<std::string>{"kill -9 $(pidof hostapd)"});
    EXPECT_EQ(state().ap_started, 0);
    run_for(2000);
    EXPECT_TRUE(take_commands().empty());
}

TEST_F(AccessPoint, AFailedEnableIsRetriedOnTheNextCycle)
{
    /* The phone changes the passphrase while the daemons are starting: the
     * access point runs an old configuration, so the switch state is not
     * taken and the next cycle starts it again with the new one. */
    fake.stage_during_start = true;
    qel_dev_status.s8WiFiSwitch = 1;
    vesk_wifi_watch_cycle();
    EXPECT_EQ(take_commands(), kStart);
    EXPECT_EQ(state().previous_switch, 0);
    fake_sleep(200);
    fake.durable_at = fake.now_ms;
    vesk_wifi_watch_cycle();
    EXPECT_EQ(take_commands(), kStop + kStart);
    EXPECT_EQ(state().previous_switch, 1);
    EXPECT_EQ(state().need_reboot, 0);
    run_for(2000);
    EXPECT_TRUE(take_commands().empty());
}

TEST_F(AccessPoint, NoMacAddressLoadsTheDriverFirst)
{
    fake.mac = false;
    qel_dev_status.s8WiFiSwitch = 1;
    run_for(200);
    const std::string insmod = "insmod /mod/bcmdhd.ko \"firmware_path=/etc/wifi/fw_bcm43438a1.bin "
                               "nvram_path=/etc/wifi/nvram_ap6212a.txt\"";
    EXPECT_EQ(time_of(kStart[0]) - time_of(insmod), 3000);
    EXPECT_EQ(take_commands(), std::vector<std::string>{insmod} + kStart);
}

TEST_F(AccessPoint, DefaultNamesFromTheSerialNumber)
{
    const struct {
        const char *sn, *stored, *want;
    } rows[] = {
        {"", "", "VeskNV_SN_NuraxPRO520_LRF"},
        {"AB12-x_9", "", "VeskNV_AB12-x_9_NuraxPRO520_LRF"},
        {"AB 12", "", "VeskNV_SN_NuraxPRO520_LRF"},
        {"AB12", "Kept", "Kept"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.sn);
        memset(&qel_dev_status, 0, sizeof qel_dev_status);
        vesk_wifi_set_ops(&fake_ops);
        snprintf(qel_dev_status.sn, sizeof qel_dev_status.sn, "%s", r.sn);
        snprintf(fake.stored.vesk_ssid, sizeof fake.stored.vesk_ssid, "%s", r.stored);
        vesk_wifi_watch_begin();
        EXPECT_STREQ(fake.stored.vesk_ssid, r.want);
        EXPECT_STREQ(qel_dev_status.wifi_ssid, r.want);
        /* The GUI learns the name the access point comes up with, a
         * default one included, or its main menu shows none. */
        const std::string name = r.want;
        EXPECT_EQ(frames_before_marker(gui),
                  (std::vector<Bytes>{sim_frame(5, 5, 0xFF, 0x80, Bytes(name.begin(), name.end()))}));
        frames_before_marker(http);
    }
}

TEST_F(AccessPoint, ADefaultNameTheBusyStoreRefusedIsStagedOnALaterCycle)
{
    /* A first boot: the store is still saving that boot's files. */
    fake.stage_result = -EBUSY;
    vesk_wifi_watch_begin();
    EXPECT_STREQ(fake.stored.vesk_ssid, "");
    EXPECT_TRUE(frames_before_marker(gui).empty());
    vesk_wifi_watch_cycle();
    EXPECT_STREQ(fake.stored.vesk_ssid, "");
    fake.stage_result = 0;
    vesk_wifi_watch_cycle();
    const std::string name = "VeskNV_SN_NuraxPRO520_LRF";
    EXPECT_STREQ(fake.stored.vesk_ssid, name.c_str());
    EXPECT_EQ(frames_before_marker(gui),
              (std::vector<Bytes>{sim_frame(5, 5, 0xFF, 0x80, Bytes(name.begin(), name.end()))}));
    vesk_wifi_watch_cycle();
    EXPECT_EQ(fake.stages, 1) << "asked once it was taken";
}

TEST_F(AccessPoint, ANewNameGoesToTheGui)
{
    ASSERT_EQ(wifiSetSSID("VeskNV_renamed"), 0);
    const std::string name = "VeskNV_renamed";
    EXPECT_EQ(frames_before_marker(gui),
              (std::vector<Bytes>{sim_frame(5, 5, 0xFF, 0x80, Bytes(name.begin(), name.end()))}));
    /* The same name again, a refused one, a passphrase: nothing to tell. */
    ASSERT_EQ(wifiSetSSID("VeskNV_renamed"), 0);
    ASSERT_EQ(wifiSetSSID(""), -1);
    ASSERT_EQ(wifiSetPassword("12345678"), 0);
    fake.stage_result = -EBUSY;
    ASSERT_EQ(wifiSetSSID("VeskNV_busy"), -EBUSY);
    EXPECT_TRUE(frames_before_marker(gui).empty());
}

TEST_F(AccessPoint, ANewSerialNumberRenamesTheRunningAccessPoint)
{
    bring_up();
    snprintf(qel_dev_status.sn, sizeof qel_dev_status.sn, "Z123");
    ASSERT_EQ(_setWiFiSSIDBySN(), 0);
    EXPECT_STREQ(fake.stored.vesk_ssid, "VeskNV_Z123_NuraxPRO520_LRF");
    fake.durable_at = fake.now_ms;
    run_for(20000);
    EXPECT_EQ(take_commands(), kStop + kStart);
    fake.stage_result = -EBUSY;
    snprintf(qel_dev_status.sn, sizeof qel_dev_status.sn, "Z124");
    EXPECT_EQ(_setWiFiSSIDBySN(), -EBUSY);
    EXPECT_STREQ(qel_dev_status.wifi_ssid, "VeskNV_Z123_NuraxPRO520_LRF");
}

TEST_F(AccessPoint, ARefusalOfThePersistenceServiceIsReturned)
{
    fake.stage_result = -EBUSY;
    EXPECT_EQ(wifiSetSSID("VeskNV_busy"), -EBUSY);
    EXPECT_EQ(wifiSetPassword("12345678"), -EBUSY);
    EXPECT_STREQ(qel_dev_status.wifi_ssid, "");
    EXPECT_EQ(state().last_accepted_gen, 0u);
}

TEST_F(AccessPoint, TheStoredNameGoesToTheGuiAndThePhone)
{
    snprintf(fake.stored.vesk_ssid, sizeof fake.stored.vesk_ssid, "VeskNV_abc");
    snprintf(fake.stored.vesk_password, sizeof fake.stored.vesk_password, "secret12");
    EXPECT_EQ(wifiGetSSID(), 0);
    EXPECT_EQ(wifiGetPassword(), 0);
    const std::string name = "VeskNV_abc", pass = "secret12";
    EXPECT_EQ(frames_before_marker(gui),
              (std::vector<Bytes>{sim_frame(5, 5, 0xFF, 0x80, Bytes(name.begin(), name.end()))}));
    EXPECT_EQ(frames_before_marker(http),
              (std::vector<Bytes>{sim_frame(244, 0, 1, 0, Bytes(name.begin(), name.end())),
                                  sim_frame(244, 0, 3, 0, Bytes(pass.begin(), pass.end()))}));

    /* No name stored: nothing is sent. */
    fake.stored.vesk_ssid[0] = '\0';
    EXPECT_EQ(wifiGetSSID(), 0);
    EXPECT_TRUE(frames_before_marker(gui).empty());
    EXPECT_TRUE(frames_before_marker(http).empty());
}

TEST_F(AccessPoint, TheGuiSwitchFrame)
{
    const Bytes on = sim_frame(5, 0, 0xFF, 0, {1});
    notifier_wifi(nullptr, nullptr, 5, on.data(), (int)on.size());
    EXPECT_EQ(qel_dev_status.s8WiFiSwitch, 1);
    const Bytes connect = sim_frame(5, 7, 0xFF, 0, {0});
    notifier_wifi(nullptr, nullptr, 5, connect.data(), (int)connect.size());
    EXPECT_EQ(qel_dev_status.s8WiFiSwitch, 1);
    const Bytes off = sim_frame(5, 0, 0xFF, 0, {0});
    notifier_wifi(nullptr, nullptr, 6, off.data(), (int)off.size());
    EXPECT_EQ(qel_dev_status.s8WiFiSwitch, 1) << "another object's event";
    notifier_wifi(nullptr, nullptr, 5, off.data(), (int)off.size());
    EXPECT_EQ(qel_dev_status.s8WiFiSwitch, 0);
    /* Without its argument byte the frame's byte 6 is its checksum, which
     * must not switch the access point on. */
    const Bytes bare = sim_frame(5, 0, 0xFF, 0);
    ASSERT_NE(bare[6], 0);
    notifier_wifi(nullptr, nullptr, 5, bare.data(), (int)bare.size());
    EXPECT_EQ(qel_dev_status.s8WiFiSwitch, 0) << "a switch frame without its value";
}

} // namespace
