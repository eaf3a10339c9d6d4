// The phone's commands and the wind meter's frames as their peers see
// them: frames in through the app-bus callbacks, answers out through the
// real queues to peers that check them from the frame layout. The access
// point's board and persistence calls are the access point's test stand-ins.
#include "qel_irsearch.h"

#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "ballistic_fbc.h"
#include "ballistic_thread.h"
#include "frame_trailer.h"
#include "iniparser_handler.h"
#include "peer_frames.h"
#include "peer_link_fixture.h"
#include "qel_dev_status.h"
#include "qel_wifi.h"
#include "qel_wifi_internal.h"
#include "sim_peer.h"
#include "vesk_msg.h"

namespace {

typedef std::vector<uint8_t> Bytes;

int g_stages;
int fake_run(const char *) { return 0; }
int fake_read_line(const char *, char *, size_t) { return -1; }
void fake_sleep(unsigned) {}
int fake_stage(const char *, const char *, uint64_t *out)
{
    *out = ++g_stages + 1;
    return 0;
}
int fake_stored(vesk_persist_wifi *out)
{
    memset(out, 0, sizeof *out);
    return 0;
}
uint64_t fake_durable(void) { return 1; }
const vesk_wifi_ops wifi_ops = {fake_run, fake_read_line, fake_sleep, fake_stage, fake_stored, fake_durable};

int g_imports, g_exports, g_import_rc;
int fake_import(void)
{
    g_imports++;
    return g_import_rc;
}
int fake_export(void)
{
    g_exports++;
    return 0;
}
int fake_storage(void)
{
    const uint8_t free_space[2] = {3, 25};
    return sendResultToHTTP(13, free_space, 2) == 1 ? 0 : -1;
}

void show_phone_result(void) { set_ballistics_result_from_mobile_app(&g_ballistics_result); }

Bytes text_bytes(const std::string &s) { return Bytes(s.begin(), s.end()); }

/* A frame with a length byte of our choosing, checksum and trailer sound. */
Bytes raw_frame(uint8_t l, uint8_t obj, uint8_t cmd, const Bytes &payload)
{
    Bytes f(6 + payload.size());
    f[0] = 0xAA;
    f[1] = l;
    f[2] = obj;
    f[4] = cmd;
    for (size_t i = 0; i < payload.size(); i++) f[6 + i] = payload[i];
    append_frame_trailer(f);
    return f;
}

class Phone : public PeerLinkTest {
protected:
    std::string board_log;

    void SetUp() override
    {
        memset(&qel_dev_status, 0, sizeof qel_dev_status);
        memset(&qel_ballistics, 0, sizeof qel_ballistics);
        g_stages = g_imports = g_exports = g_import_rc = 0;
        vesk_wifi_set_ops(&wifi_ops);
        const vesk_irsearch_calls calls = {fake_import, fake_export, fake_storage, show_phone_result};
        vesk_irsearch_set_calls(&calls);
        char dir[] = "/tmp/phone-test-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        board_log = std::string(dir) + "/board.log";
        setenv("VESK_BOARD_LOG", board_log.c_str(), 1);
        setenv("TZ", "UTC", 1);
        tzset();
        PeerLinkTest::SetUp();
    }
    void TearDown() override
    {
        PeerLinkTest::TearDown();
        vesk_wifi_set_ops(nullptr);
        vesk_irsearch_set_calls(nullptr);
        unlink(board_log.c_str());
        rmdir(board_log.substr(0, board_log.rfind('/')).c_str());
    }
    void phone(const Bytes &frame) { notifier_irsearch(nullptr, nullptr, 244, frame.data(), (int)frame.size()); }
    void meter(const Bytes &frame) { notifier_bluetooth(nullptr, nullptr, 29, frame.data(), (int)frame.size()); }
    std::vector<Bytes> frames_before_marker(sim_peer *peer)
    {
        return vesk_frames_before_marker(peer, peer == http ? SIM_PEER_HTTP : SIM_PEER_GUI);
    }
    std::vector<std::string> settimeofday_lines()
    {
        std::vector<std::string> out;
        std::ifstream in(board_log);
        for (std::string line; std::getline(in, line);)
            if (line.find("call=settimeofday") != std::string::npos) out.push_back(line);
        return out;
    }
};

TEST(PhoneFrame, LengthRules)
{
    const struct {
        uint8_t l;
        size_t payload;
        int rc;
    } rows[] = {
        {6, 0, 0}, {7, 1, 0}, {245, 239, 0}, {246, 240, -1}, {255, 249, -1}, {5, 0, -1}, {0, 0, -1},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(int(r.l));
        Bytes f = raw_frame(r.l, 244, 0, Bytes(r.payload, 'x'));
        vesk_phone_command c;
        ASSERT_EQ(vesk_phone_command_parse(f.data(), (int)f.size(), &c), r.rc);
        if (r.rc != 0) continue;
        EXPECT_EQ(c.length, r.payload);
        EXPECT_EQ(std::string(c.payload), std::string(r.payload, 'x')) << "terminated";
    }
    /* A length byte claiming more than the bytes there are. */
    Bytes f = raw_frame(20, 244, 0, Bytes(4, 'x'));
    vesk_phone_command c;
    EXPECT_EQ(vesk_phone_command_parse(f.data(), (int)f.size(), &c), -1);
    EXPECT_EQ(vesk_phone_command_parse(f.data(), 8, &c), -1);
}

TEST_F(Phone, NetworkNameAndPassphrase)
{
    /* 40 characters: refused by the access point, nothing goes back. */
    phone(sim_http_command(0, text_bytes(std::string(40, 'N'))));
    EXPECT_EQ(g_stages, 0);
    EXPECT_TRUE(frames_before_marker(http).empty());
    EXPECT_TRUE(frames_before_marker(gui).empty());

    phone(sim_http_command(0, text_bytes("VeskNV_phone")));
    EXPECT_EQ(g_stages, 1);
    EXPECT_STREQ(qel_dev_status.wifi_ssid, "VeskNV_phone");
    phone(sim_http_command(2, text_bytes("phonepass")));
    EXPECT_EQ(g_stages, 2);
    EXPECT_STREQ(qel_dev_status.wifi_password, "phonepass");
    /* A payload that fills the buffer to its last byte is refused before it
     * reaches the access point. */
    phone(raw_frame(246, 244, 2, Bytes(240, 'p')));
    EXPECT_EQ(g_stages, 2);
    EXPECT_TRUE(frames_before_marker(http).empty());
}

TEST_F(Phone, DeviceInformationSendsTheFreeSpaceThenTheRecord)
{
    snprintf(g_stDeviceInfo.sn, sizeof g_stDeviceInfo.sn, "SN0042");
    snprintf(g_stDeviceInfo.product_name, sizeof g_stDeviceInfo.product_name, "Nurax PRO 520 LRF");
    phone(sim_http_command(6, {}));
    auto got = frames_before_marker(http);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], sim_frame(244, 0, 13, 0, {3, 25}));
    ASSERT_EQ(got[1].size(), 174u);
    EXPECT_TRUE(sim_frame_sound(got[1]));
    EXPECT_EQ(got[1][2], 244);
    EXPECT_EQ(got[1][4], 6);
    const Bytes record((const uint8_t *)&g_stDeviceInfo, (const uint8_t *)&g_stDeviceInfo + 165);
    EXPECT_EQ(Bytes(got[1].begin() + 6, got[1].begin() + 6 + 165), record);
    EXPECT_EQ(std::string((const char *)&got[1][6]), "SN0042");
    EXPECT_EQ(std::string((const char *)&got[1][6 + 3 * 33]), "Nurax PRO 520 LRF");

    /* Without the free-space call, the record still goes. */
    vesk_irsearch_set_calls(nullptr);
    phone(sim_http_command(6, {}));
    got = frames_before_marker(http);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0][4], 6);
}

TEST_F(Phone, TheClockFromFourteenDigits)
{
    struct tm want = {};
    want.tm_year = 2024 - 1900;
    want.tm_mon = 1;
    want.tm_mday = 29;
    want.tm_hour = 23;
    want.tm_min = 59;
    want.tm_sec = 59;
    const long long leap_second = (long long)timegm(&want);
    const struct {
        const char *text;
        bool set;
    } rows[] = {
        {"20240229235959", true},  {"20230229120000", false}, {"20241301000000", false}, {"20240100000000", false},
        {"20240431000000", false}, {"20240101240000", false}, {"20240101006000", false}, {"20240101000060", false},
        {"1969123123595", false},  {"2024022923595", false},  {"2024-2-29 2359", false}, {"", false},
        {"21000101000000", false},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.text);
        const size_t before = settimeofday_lines().size();
        phone(sim_http_command(14, text_bytes(r.text)));
        auto lines = settimeofday_lines();
        ASSERT_EQ(lines.size(), before + (r.set ? 1 : 0));
        if (r.set) {
            EXPECT_NE(lines.back().find(" sec=" + std::to_string(leap_second) + " "), std::string::npos)
                << lines.back();
        }
    }
}

TEST_F(Phone, ProfilesFromAndToThePhone)
{
    qel_ballistics.ballistics[0].ballistics_sw = 1;
    qel_ballistics.ballistics[3].target.range = 4321;
    g_ballistics_result.moaV = 1.25;
    g_ballistics_result.moaH = -0.5;
    phone(sim_http_command(8, {}));
    EXPECT_EQ(g_imports, 1);
    auto got = frames_before_marker(gui);
    ASSERT_EQ(got.size(), 8u) << "the zero store, six profiles, the hold-over";
    EXPECT_EQ(got[0][2], 16);
    EXPECT_EQ(got[0].size(), 9u + 220u);
    for (int i = 1; i <= 6; i++) {
        EXPECT_EQ(got[i][2], 16);
        EXPECT_EQ(got[i].size(), 9u + 248u);
    }
    Info_ballistics p3;
    memcpy(&p3, &got[4][6], sizeof p3);
    EXPECT_EQ(p3.target.range, 4321);
    EXPECT_EQ(got[7].size(), 29u);
    float v, h;
    memcpy(&v, &got[7][6], 4);
    memcpy(&h, &got[7][10], 4);
    EXPECT_FLOAT_EQ(v, 1.25f);
    EXPECT_FLOAT_EQ(h, -0.5f);

    /* A failed import shows nothing. */
    g_import_rc = -1;
    phone(sim_http_command(8, {}));
    EXPECT_TRUE(frames_before_marker(gui).empty());

    phone(sim_http_command(9, {}));
    EXPECT_EQ(g_exports, 1);
    /* Commands without an action here, other objects and events. */
    for (uint8_t cmd : {4, 5, 7, 10, 11, 12, 13, 15, 200}) phone(sim_http_command(cmd, {1}));
    const Bytes other = sim_frame(5, 0, 0, 0, {1});
    notifier_irsearch(nullptr, nullptr, 244, other.data(), (int)other.size());
    const Bytes ssid = sim_http_command(0, text_bytes("VeskNV_other_event"));
    notifier_irsearch(nullptr, nullptr, 29, ssid.data(), (int)ssid.size());
    EXPECT_EQ(g_stages, 0);
    EXPECT_TRUE(frames_before_marker(http).empty());
    EXPECT_TRUE(frames_before_marker(gui).empty());
}

TEST_F(Phone, BluetoothStateAndWindSpeed)
{
    qel_dev_status.wind_speed_now = 7;
    const Bytes connected = sim_ble_state(1);
    meter(connected);
    EXPECT_EQ(qel_dev_status.wind_speed_now, 0) << "cleared even when connected";
    meter(sim_ble_wind(0x0105));
    EXPECT_EQ(qel_dev_status.wind_speed_now, 261);
    meter(sim_frame(29, 3, 0xFF, 0, {9, 9}));
    EXPECT_EQ(qel_dev_status.wind_speed_now, 261);
    meter(sim_frame(29, 2, 0xFF, 0, {9}));
    EXPECT_EQ(qel_dev_status.wind_speed_now, 261) << "one byte is no speed";
    auto got = frames_before_marker(gui);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], connected);
    EXPECT_EQ(got[1], (Bytes{0xAA, 0x08, 0x00, 0x00, 0x26, 0x80, 0x05, 0x01, 0x5E, 0xEB, 0xAA}));
}

TEST_F(Phone, TheMetersWindSpeedIsShownAndLeavesTheHoldOverAlone)
{
    Info_ballistics b = {};
    b.ballistics_sw = 1;
    b.target.range = 6000;
    b.wind = {90, 2};
    b.atmosphere = {0, 760, 15, 0};
    b.gun.bullet = {31.2, 7.82, 175, 0.243, G7, 792.48, {0, 760, 15, 0}, 0, MOA, 0, 0, 0, 0};
    b.gun.scope = {100, 109, 38.1, MOA, 0.25, 0.25};
    b.gun.riflingRange = 10;
    b.gun.direction = RIGHT;
    for (Info_ballistics &p : qel_ballistics.ballistics) p = b;
    auto hold = [&]() {
        qel_dev_status.ballistics_refresh = 1;
        EXPECT_EQ(vesk_ballistics_cycle(0.0f, 0.0f), 1);
        for (const Bytes &f : frames_before_marker(gui))
            if (f.size() == 29 && f[2] == 0x1B) {
                float h;
                memcpy(&h, &f[10], 4);
                return h;
            }
        ADD_FAILURE() << "no hold-over";
        return 0.0f;
    };
    const float profile_wind = hold();
    ASSERT_GT(fabsf(profile_wind), 0.1f) << "the profile's 2 m/s moves the bullet";
    for (char wind_switch : {0, 1}) {
        SCOPED_TRACE(testing::Message() << "wind switch " << int(wind_switch));
        qel_dev_status.s8WindBalSwitch = wind_switch;
        for (const Bytes &frame : {sim_ble_wind(3), sim_ble_wind(12), sim_ble_state(0)}) {
            meter(frame);
            EXPECT_EQ(qel_dev_status.ballistics_refresh, 0) << "a reading raises no recalculation";
            /* Shown: the speed, or the state as it came. */
            auto shown = frames_before_marker(gui);
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_TRUE(shown[0] == frame || shown[0][4] == 0x26) << sim_hex(shown[0]);
            EXPECT_FLOAT_EQ(hold(), profile_wind);
        }
    }
}

} // namespace
