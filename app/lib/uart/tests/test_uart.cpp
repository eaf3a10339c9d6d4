// The serial library against a pseudo-terminal: the test holds the master
// end and plays the far side of the line.
#include "uart.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

class Uart : public ::testing::Test {
protected:
    int master = -1;
    int fd = -1;
    void SetUp() override
    {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        fd = uart_open(ptsname(master));
        ASSERT_GE(fd, 0);
    }
    void TearDown() override
    {
        if (fd >= 0) uart_close(fd);
        if (master >= 0) close(master);
    }
    struct termios attrs()
    {
        struct termios t;
        EXPECT_EQ(tcgetattr(fd, &t), 0);
        return t;
    }
};

TEST_F(Uart, ConfiguresTheLineRaw)
{
    ASSERT_EQ(uart_set(fd, 115200, 0, 8, 'N', 1), 0);
    struct termios t = attrs();
    EXPECT_EQ(cfgetispeed(&t), (speed_t)B115200);
    EXPECT_EQ(cfgetospeed(&t), (speed_t)B115200);
    EXPECT_EQ(t.c_cflag & CSIZE, (tcflag_t)CS8);
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), (tcflag_t)(CREAD | CLOCAL));
    EXPECT_EQ(t.c_iflag & (BRKINT | INPCK | ISTRIP | ICRNL | IXON), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag & (ISIG | ICANON | ECHO | ECHOE), 0u);
    EXPECT_EQ(t.c_cc[VMIN], 1);
    EXPECT_EQ(t.c_cc[VTIME], 1);
}

/* A pseudo-terminal keeps eight data bits and no parity whatever it is
 * told, so the framing is checked on the attributes themselves. */
TEST(UartAttrs, FramingChoices)
{
    const struct {
        int bits;
        char parity;
        int stop;
        tcflag_t size, parity_bits, stop_bit;
    } rows[] = {
        {7, 'E', 1, CS7, PARENB, 0},
        {5, 'o', 2, CS5, PARENB | PARODD, CSTOPB},
        {6, 'n', 1, CS6, 0, 0},
        {8, 'e', 2, CS8, PARENB, CSTOPB},
    };
    for (const auto &r : rows) {
        struct termios t;
        memset(&t, 0, sizeof t);
        t.c_cflag = CRTSCTS | CS8 | PARENB;
        ASSERT_EQ(uart_set_attrs(&t, 9600, 0, r.bits, r.parity, r.stop), 0) << r.bits << r.parity << r.stop;
        EXPECT_EQ(cfgetospeed(&t), (speed_t)B9600);
        EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
        EXPECT_EQ(t.c_cflag & CSIZE, r.size) << r.bits;
        EXPECT_EQ(t.c_cflag & (PARENB | PARODD), r.parity_bits) << r.parity;
        EXPECT_EQ(t.c_cflag & CSTOPB, r.stop_bit) << r.stop;
    }
    struct termios t;
    memset(&t, 0, sizeof t);
    ASSERT_EQ(uart_set_attrs(&t, 460800, 1, 8, 'N', 1), 0);
    EXPECT_EQ(t.c_cflag & CRTSCTS, (tcflag_t)CRTSCTS);
    memset(&t, 0, sizeof t);
    t.c_cflag = CRTSCTS;
    ASSERT_EQ(uart_set_attrs(&t, 4800, 2, 8, 'N', 1), 0);
    EXPECT_EQ(t.c_cflag & (CRTSCTS | 0x1C00), (tcflag_t)(CRTSCTS | 0x1C00)) << "flow 2 keeps what was read";
}

TEST_F(Uart, RefusedArgumentsLeaveTheLineAsItWas)
{
    ASSERT_EQ(uart_set(fd, 57600, 0, 8, 'N', 1), 0);
    struct termios before = attrs();
    const struct {
        int baud, flow, bits;
        char parity;
        int stop;
    } rows[] = {
        {100000, 0, 8, 'N', 1}, {115200, 3, 8, 'N', 1}, {115200, 0, 9, 'N', 1},
        {115200, 0, 8, 'X', 1}, {115200, 0, 8, 'N', 3},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(uart_set(fd, r.baud, r.flow, r.bits, r.parity, r.stop), -1) << r.baud;
        struct termios after = attrs();
        EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before)) << r.baud;
        EXPECT_EQ(after.c_cflag, before.c_cflag) << r.baud << " " << r.flow << " " << r.bits;
        EXPECT_EQ(after.c_lflag, before.c_lflag) << r.baud;
    }
    EXPECT_EQ(uart_set(-1, 115200, 0, 8, 'N', 1), -1);
}

TEST_F(Uart, WritesAllBytesAndReadsWhatArrives)
{
    ASSERT_EQ(uart_set(fd, 115200, 0, 8, 'N', 1), 0);
    const unsigned char frame[] = {0xEE, 0x16, 0x02, 0x03, 0x05, 0x08};
    EXPECT_EQ(uart_write(fd, frame, sizeof frame), (int)sizeof frame);
    unsigned char got[16];
    ssize_t n = read(master, got, sizeof got);
    ASSERT_EQ(n, (ssize_t)sizeof frame);
    EXPECT_EQ(0, memcmp(got, frame, sizeof frame));

    ASSERT_EQ(write(master, "\x0d\x11", 2), 2);
    unsigned char in[8];
    EXPECT_EQ(uart_read(fd, in, sizeof in), 2);
    EXPECT_EQ(in[0], 0x0d) << "raw mode keeps carriage returns";
    EXPECT_EQ(in[1], 0x11) << "and flow-control characters";
}

TEST_F(Uart, QuietLineAndFailures)
{
    ASSERT_EQ(uart_set(fd, 115200, 0, 8, 'N', 1), 0);
    unsigned char in[4];
    EXPECT_EQ(uart_read(fd, in, sizeof in), -ENOENT);
    EXPECT_EQ(uart_write(-1, in, 0), 0) << "a zero-length write touches nothing";
    EXPECT_EQ(uart_write(-1, in, 1), -1);
    int full = open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    EXPECT_EQ(uart_write(full, in, 4), -1);
    EXPECT_EQ(safe_write(full, in, 0), 0);
    close(full);
    EXPECT_EQ(uart_open("/nonexistent/tty"), -1);
}

} // namespace
