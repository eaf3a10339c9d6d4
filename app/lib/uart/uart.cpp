#include "uart.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include "vesk_log.h"

int uart_open(const char *path)
{
    int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        perror("Open UART failed!");
        return -1;
    }
    return fd;
}

static const struct {
    int baud;
    speed_t speed;
} uart_speeds[] = {
    {4800, B4800},   {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800},
};

/* The line's other control bits a flow value of 2 asks for, as the board's
 * driver reads them. */
#define UART_FLOW_EXTENDED_BITS 0x1C00

int uart_set_attrs(struct termios *opt, int baud, int flow, int bits, char parity, int stop)
{
    size_t i = 0;
    while (i < sizeof uart_speeds / sizeof uart_speeds[0] && uart_speeds[i].baud != baud) i++;
    if (i == sizeof uart_speeds / sizeof uart_speeds[0]) {
        fprintf(stderr, "Unknown baud rate!\n");
        return -1;
    }
    cfsetispeed(opt, uart_speeds[i].speed);
    cfsetospeed(opt, uart_speeds[i].speed);

    opt->c_cflag |= CREAD | CLOCAL;

    switch (flow) {
    case 0:
        opt->c_cflag &= ~CRTSCTS;
        break;
    case 1:
        opt->c_cflag |= CRTSCTS;
        break;
    case 2:
        opt->c_cflag |= UART_FLOW_EXTENDED_BITS;
        break;
    default:
        fprintf(stderr, "Unknown flow!\n");
        return -1;
    }

    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    if (bits < 5 || bits > 8) {
        fprintf(stderr, "Unknown bits!\n");
        return -1;
    }
    opt->c_cflag = (opt->c_cflag & ~CSIZE) | sizes[bits - 5];

    switch (parity) {
    case 'N':
    case 'n':
        opt->c_cflag &= ~PARENB;
        break;
    case 'E':
    case 'e':
        opt->c_cflag = (opt->c_cflag | PARENB) & ~PARODD;
        break;
    case 'O':
    case 'o':
        opt->c_cflag |= PARENB | PARODD;
        break;
    default:
        fprintf(stderr, "Unknown parity!\n");
        return -1;
    }

    switch (stop) {
    case 1:
        opt->c_cflag &= ~CSTOPB;
        break;
    case 2:
        opt->c_cflag |= CSTOPB;
        break;
    default:
        fprintf(stderr, "Unknown stop!\n");
        return -1;
    }

    opt->c_iflag &= ~(BRKINT | INPCK | ISTRIP | ICRNL | IXON);
    opt->c_oflag &= ~OPOST;
    opt->c_lflag &= ~(ISIG | ICANON | ECHO | ECHOE);
    opt->c_cc[VTIME] = 1;
    opt->c_cc[VMIN] = 1;
    return 0;
}

int uart_set(int fd, int baud, int flow, int bits, char parity, int stop)
{
    struct termios opt;
    if (tcgetattr(fd, &opt) != 0) {
        perror("tcgetattr error");
        return -1;
    }
    /* A refused argument leaves the line exactly as it was. */
    if (uart_set_attrs(&opt, baud, flow, bits, parity, stop) != 0) return -1;
    tcflush(fd, TCIFLUSH);
    if (tcsetattr(fd, TCSANOW, &opt) != 0) {
        perror("tcsetattr failed");
        return -1;
    }
    return 0;
}

ssize_t safe_write(int fd, const void *bytes, size_t length)
{
    const unsigned char *p = (const unsigned char *)bytes;
    size_t done = 0;
    while (done < length) {
        ssize_t n = write(fd, p + done, length - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        done += (size_t)n;
    }
    return (ssize_t)done;
}

ssize_t safe_read(int fd, void *buffer, size_t length)
{
    ssize_t n = read(fd, buffer, length);
    if (n < 0 && errno == EINTR) {
        printf("uart receive errno: %d!\n", errno);
        return 0;
    }
    return n;
}

int uart_write(int fd, const void *bytes, size_t length)
{
    if (length == 0) return 0;
    ssize_t n = safe_write(fd, bytes, length);
    if (n < 0) {
        int err = errno;
        vesk_log_printf(VESK_LOG_ERROR, "uart", "write failed fd=%d len=%zu errno=%d", fd, length, err);
        /* A half-written frame left queued would corrupt the next one. */
        tcflush(fd, TCOFLUSH);
        return -1;
    }
    return (int)n;
}

int uart_read(int fd, void *buffer, size_t length)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(fd, &readable);
    struct timeval wait = {1, 0};
    int ready = select(fd + 1, &readable, NULL, NULL, &wait);
    if (ready < 0) {
        perror("select error!");
        return -1;
    }
    if (ready == 0) return -ENOENT;
    ssize_t n = safe_read(fd, buffer, length);
    if (n < 0) {
        perror("uart read error!");
        return -1;
    }
    return (int)n;
}

int uart_close(int fd)
{
    close(fd);
    return 0;
}
