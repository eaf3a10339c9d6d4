// The simulated module seen from the serial line, with literal bytes.
#include "lrf_sim.h"

#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

typedef std::vector<uint8_t> Bytes;

std::string hex(const Bytes &b)
{
    std::string s;
    char t[4];
    for (size_t i = 0; i < b.size(); i++) {
        snprintf(t, sizeof t, i ? " %02X" : "%02X", b[i]);
        s += t;
    }
    return s;
}

class LrfSim : public ::testing::Test {
protected:
    char dir[64] = "/tmp/lrf_sim_testXXXXXX";
    std::string log;
    lrf_sim *sim = nullptr;
    int fd = -1;

    void SetUp() override
    {
        ASSERT_NE(mkdtemp(dir), nullptr);
        log = std::string(dir) + "/board.log";
        sim = lrf_sim_start(log.c_str());
        ASSERT_NE(sim, nullptr);
        fd = open(lrf_sim_slave_path(sim), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
    }
    void TearDown() override
    {
        if (fd >= 0) close(fd);
        lrf_sim_stop(sim);
        unlink(log.c_str());
        rmdir(dir);
    }
    void power(int on)
    {
        FILE *f = fopen(log.c_str(), "a");
        fprintf(f,
                "t=1.000000 pid=7 call=ioctl node=/dev/hardware req=0x4008170a dir=W type=0x17 nr=10 size=8 "
                "value=%d rc=0 errno=0\n",
                on);
        fclose(f);
    }
    void send(const Bytes &b) { ASSERT_EQ(write(fd, b.data(), b.size()), (ssize_t)b.size()); }
    /* Everything that arrives until the line has been quiet for quiet_ms. */
    Bytes receive(int quiet_ms = 150)
    {
        Bytes got;
        for (;;) {
            struct pollfd p = {fd, POLLIN, 0};
            if (poll(&p, 1, quiet_ms) <= 0) return got;
            uint8_t buf[256];
            ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0) return got;
            got.insert(got.end(), buf, buf + n);
        }
    }
};

const Bytes kSingle = {0xEE, 0x16, 0x02, 0x03, 0x02, 0x05};
const Bytes kScan = {0xEE, 0x16, 0x02, 0x03, 0x04, 0x07};
const Bytes kStop = {0xEE, 0x16, 0x02, 0x03, 0x05, 0x08};
const Bytes kMulti = {0xEE, 0x16, 0x03, 0x03, 0x03, 0x03, 0x09};

TEST_F(LrfSim, SilentUntilTheBoardLogShowsPower)
{
    ASSERT_EQ(lrf_sim_command(sim, "range 123.4"), 0);
    send(kSingle);
    EXPECT_TRUE(receive().empty());
    power(1);
    send(kSingle);
    EXPECT_EQ(hex(receive()), "EE 16 06 03 02 00 00 7B 04 84");
    power(0);
    send(kSingle);
    EXPECT_TRUE(receive().empty());
    lrf_sim_stats st;
    lrf_sim_get_stats(sim, &st);
    EXPECT_EQ(st.ignored, 2u);
    EXPECT_EQ(st.singles, 1u);
}

TEST_F(LrfSim, AnswersSetUpGatesAndReadBacks)
{
    power(1);
    const struct {
        Bytes in;
        const char *out;
    } rows[] = {
        {{0xEE, 0x16, 0x04, 0x03, 0xA1, 0x03, 0x00, 0xA7}, "EE 16 04 03 A1 03 00 A7"},
        {kMulti, "EE 16 03 03 03 03 09"},
        {{0xEE, 0x16, 0x04, 0x03, 0xA2, 0x00, 0x0A, 0xAF}, "EE 16 04 03 A2 00 0A AF"},
        {{0xEE, 0x16, 0x04, 0x03, 0xA4, 0x27, 0x10, 0xDE}, "EE 16 04 03 A4 27 10 DE"},
        {{0xEE, 0x16, 0x02, 0x03, 0xA3, 0xA6}, "EE 16 04 03 A3 00 0A B0"},
        {{0xEE, 0x16, 0x02, 0x03, 0xA5, 0xA8}, "EE 16 04 03 A5 27 10 DF"},
        {{0xEE, 0x16, 0x02, 0x03, 0xA5, 0xA9}, ""}, /* bad checksum: no answer */
    };
    for (const auto &r : rows) {
        send(r.in);
        EXPECT_EQ(hex(receive()), r.out) << hex(r.in);
    }
    ASSERT_EQ(lrf_sim_command(sim, "readback 9999"), 0);
    send({0xEE, 0x16, 0x02, 0x03, 0xA5, 0xA8});
    EXPECT_EQ(hex(receive()), "EE 16 04 03 A5 27 0F DE");
}

TEST_F(LrfSim, MultiTargetShotAndNoTarget)
{
    power(1);
    send(kMulti);
    receive();
    ASSERT_EQ(lrf_sim_command(sim, "range 100.0 200.1 300.2"), 0);
    send(kSingle);
    EXPECT_EQ(hex(receive()), "EE 16 06 03 02 02 00 64 00 6B "
                              "EE 16 06 03 02 12 00 C8 01 E0 "
                              "EE 16 06 03 02 20 01 2C 02 54");
    ASSERT_EQ(lrf_sim_command(sim, "range none"), 0);
    send(kSingle);
    EXPECT_EQ(hex(receive()), "EE 16 06 03 02 04 00 00 00 09");
}

TEST_F(LrfSim, ContinuousStreamUntilStop)
{
    power(1);
    ASSERT_EQ(lrf_sim_command(sim, "period 20"), 0);
    ASSERT_EQ(lrf_sim_command(sim, "queue 5.5"), 0);
    ASSERT_EQ(lrf_sim_command(sim, "range 6.0"), 0);
    send(kScan);
    usleep(120 * 1000);
    send(kStop);
    Bytes got = receive();
    ASSERT_GE(got.size(), 6u + 2 * 10u);
    EXPECT_EQ(hex(Bytes(got.begin(), got.begin() + 20)), "EE 16 06 03 04 00 00 05 05 11 EE 16 06 03 04 00 00 06 00 0D");
    EXPECT_EQ(hex(Bytes(got.end() - 6, got.end())), "EE 16 02 03 05 08");
    EXPECT_TRUE(receive(100).empty()) << "nothing after the stop";
}

TEST_F(LrfSim, FaultsOnCommand)
{
    power(1);
    ASSERT_EQ(lrf_sim_command(sim, "range 1.0"), 0);
    ASSERT_EQ(lrf_sim_command(sim, "badsum on"), 0);
    send(kSingle);
    EXPECT_EQ(hex(receive()), "EE 16 06 03 02 00 00 01 00 07");
    ASSERT_EQ(lrf_sim_command(sim, "badsum off"), 0);
    ASSERT_EQ(lrf_sim_command(sim, "silent on"), 0);
    send(kSingle);
    EXPECT_TRUE(receive().empty());
    ASSERT_EQ(lrf_sim_command(sim, "silent off"), 0);
    ASSERT_EQ(lrf_sim_command(sim, "anomaly 01 80 00 ff"), 0);
    EXPECT_EQ(hex(receive()), "EE 16 06 03 06 01 80 00 FF 89");
    ASSERT_EQ(lrf_sim_command(sim, "noise 300"), 0);
    Bytes noise = receive();
    EXPECT_EQ(noise.size(), 300u);
    for (uint8_t b : noise) ASSERT_NE(b, 0xEE);
    EXPECT_EQ(lrf_sim_command(sim, "range"), -1);
    EXPECT_EQ(lrf_sim_command(sim, "warp 9"), -1);
}

TEST(LrfSimLog, LastSuccessfulPowerLineWins)
{
    const struct {
        const char *log;
        int on;
    } rows[] = {
        {"", 0},
        {"t=1.0 pid=7 call=ioctl node=/dev/hardware req=0x4008170a dir=W type=0x17 nr=10 size=8 value=1 rc=0 errno=0\n"
         "t=1.1 pid=7 call=ioctl node=/dev/hardware req=0x40081709 dir=W type=0x17 nr=9 size=8 value=0 rc=0 errno=0\n",
         1},
        {"t=1.0 pid=7 call=ioctl node=/dev/hardware req=0x4008170a dir=W type=0x17 nr=10 size=8 value=1 rc=0 errno=0\n"
         "t=1.1 pid=7 call=ioctl node=/dev/hardware req=0x4008170A dir=W type=0x17 nr=10 size=8 value=0 rc=0 errno=0",
         0},
        {"t=1.0 pid=7 call=ioctl node=/dev/hardware req=0x4008170a dir=W type=0x17 nr=10 size=8 value=1 rc=-1 "
         "errno=5\n",
         0},
        {"t=1.0 pid=7 call=ioctl node=/dev/other req=0x4008170a dir=W type=0x17 nr=10 size=8 value=1 rc=0 errno=0\n",
         0},
        {"t=1.0 pid=7 call=tool name=ar_boardinfo arg=-M arg=pinmux arg=-W arg=113 arg=1\n", 0},
    };
    for (const auto &r : rows) EXPECT_EQ(lrf_sim_power_from_log(r.log, strlen(r.log)), r.on) << r.log;
}

} // namespace
