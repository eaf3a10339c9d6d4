// The battery reports as the GUI and the phone side receive them: readings
// replayed through the callback, the GUI's bus and the HTTP daemon's queue
// watched.
#include "i2c_ms1100.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "bus_capture.h"
#include "qel_dev_status.h"
#include "sim_peer.h"
#include "vesk_msg.h"

namespace {

typedef std::vector<int> Ints;

class Battery : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(sim_peer_private_ipc(), 0); }
    BusCapture capture;
    sim_peer *http = nullptr;

    void SetUp() override
    {
        memset(&qel_dev_status, 0, sizeof qel_dev_status);
        ASSERT_EQ(Qel_MsgEvent_Init(nullptr), 0);
        http = sim_peer_start(SIM_PEER_HTTP, nullptr);
        ASSERT_NE(http, nullptr);
        vesk_battery_reset(capture.bus());
        qel_dev_status.voltage_now = BATTERY_VOLTAGE_START;
        qel_dev_status.ui_ready = 1;
    }
    void TearDown() override
    {
        vesk_battery_reset(nullptr);
        sim_peer_stop(http);
        Qel_MsgEvent_Deinit();
    }
    /* Readings in hundredths of a volt, then the values reported. */
    Ints feed(const Ints &cv)
    {
        for (int v : cv) infI2cRecvCallback((v + 0.5f) / 100);
        Ints out;
        for (auto &e : capture.take_payloads()) {
            EXPECT_EQ(e.size(), 4u);
            EXPECT_EQ(e[0], 15);
            EXPECT_EQ(e[3], 0);
            out.push_back(e[1] | e[2] << 8);
        }
        return out;
    }
};

Ints repeat(int v, int n) { return Ints(n, v); }
Ints cat(Ints a, const Ints &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(Battery, ReportsWhileChargingAndNot)
{
    struct Case {
        const char *name;
        int charging;
        Ints readings;
        Ints reported;
    } cases[] = {
        {"the first reading goes at once", 0, {812}, {812}},
        {"on battery every fifth reading, averaged without the extremes",
         0,
         cat({812}, {800, 700, 810, 805, 900}),
         {812, 805}},
        {"on battery even an unchanged average", 0, cat({800}, repeat(800, 10)), {800, 800, 800}},
        {"charging: 0.1 V to 0.4 V up is not news",
         1,
         cat(cat({800}, repeat(810, 5)), cat(repeat(840, 5), repeat(849, 5))),
         {800}},
        {"charging: 0.5 V up is", 1, cat({800}, repeat(850, 5)), {800, 850}},
        {"charging: a drop is", 1, cat({800}, repeat(790, 5)), {800, 790}},
        {"charging: nearly empty is reported at once", 1, {800, 100, 95}, {800, 100, 95}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        vesk_battery_reset(capture.bus());
        qel_dev_status.voltage_now = BATTERY_VOLTAGE_START;
        qel_dev_status.battery_send_state = 0;
        qel_dev_status.battery_refresh = 0;
        qel_dev_status.usb_state_current = c.charging;
        EXPECT_EQ(feed(c.readings), c.reported);
    }
}

TEST_F(Battery, NothingBeforeTheGuiIsReady)
{
    qel_dev_status.ui_ready = 0;
    EXPECT_TRUE(feed(cat({800}, repeat(700, 10))).empty());
    EXPECT_EQ(qel_dev_status.battery_send_state, 0);
    qel_dev_status.ui_ready = 1;
    EXPECT_EQ(feed({700}), (Ints{700}));
}

TEST_F(Battery, ThePhoneSideGetsEachReport)
{
    feed(cat({812}, repeat(790, 5)));
    ASSERT_TRUE(sim_peer_wait(http, 2, 5000));
    auto got = sim_peer_received(http);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].frame, sim_frame(244, 0, 12, 0, {0x2C, 0x03})); /* 812 */
    EXPECT_EQ(got[1].frame, sim_frame(244, 0, 12, 0, {0x16, 0x03})); /* 790 */
    EXPECT_EQ(got[0].type, 48u);
}

TEST(BatteryAdc, RawValuesAndVolts)
{
    struct Case {
        const char *text;
        int value;
    } cases[] = {
        {"13913\n", 13913}, {"0\n", 0}, {"  42", 42},           {"-5\n", -5},         {"+7", 7}, {"", -1}, {"\n", -1},
        {"abc", -1},        {"-", -1},  {"99999999999999", -1}, {"12000junk", 12000},
    };
    for (const Case &c : cases) EXPECT_EQ(vesk_adc_parse(c.text, strlen(c.text)), c.value) << c.text;
    /* Only the first 31 characters count. */
    std::string longer = std::string(30, ' ') + "12";
    EXPECT_EQ(vesk_adc_parse(longer.data(), longer.size()), 1);
    EXPECT_EQ((int)(vesk_battery_volts(13913) * 100), 800);
    EXPECT_EQ((int)(vesk_battery_volts(0) * 100), 0);
    EXPECT_EQ((int)(vesk_battery_volts(10435) * 100), 600);

    char path[] = "/tmp/adc_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "12000\n", 6), 6);
    close(fd);
    EXPECT_EQ(read_adc_raw(path), 12000);
    unlink(path);
    EXPECT_EQ(read_adc_raw(path), -1);
}

/* The zoom ring's channel keeps its file open: a value changed in place
 * (as the kernel changes an attribute) is read, and a file that is missing
 * or unreadable for a while is opened afresh once it is back. */
TEST(BatteryAdc, AHeldChannelFollowsItsFile)
{
    char path[] = "/tmp/adc_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    auto put = [&](const char *text) {
        FILE *f = fopen(path, "r+");
        ASSERT_NE(f, nullptr);
        fputs(text, f);
        fflush(f);
        ASSERT_EQ(ftruncate(fileno(f), (off_t)strlen(text)), 0);
        fclose(f);
    };
    vesk_adc_channel ch = {path, -1};
    put("12000\n");
    EXPECT_EQ(vesk_adc_channel_read(&ch), 12000);
    const int held = ch.fd;
    put("9000\n");
    EXPECT_EQ(vesk_adc_channel_read(&ch), 9000);
    EXPECT_EQ(ch.fd, held);
    put("");
    EXPECT_EQ(vesk_adc_channel_read(&ch), -1);
    EXPECT_EQ(ch.fd, -1);
    put("7000\n");
    EXPECT_EQ(vesk_adc_channel_read(&ch), 7000);
    unlink(path);
    vesk_adc_channel_close(&ch);
    EXPECT_EQ(vesk_adc_channel_read(&ch), -1);
    EXPECT_EQ(ch.fd, -1);
}

} // namespace
