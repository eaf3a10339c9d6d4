#include "gpio.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#define GPIO_ROOT "/sys/class/gpio"

int gpio_write_node(const char *path, const char *bytes, size_t length)
{
    /* O_TRUNC is a no-op on sysfs; it keeps a shorter value from leaving
     * the tail of a longer one in a plain file standing in for the node. */
    int fd = open(path, O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return -1;
    size_t done = 0;
    int err = 0;
    while (done < length) {
        ssize_t n = write(fd, bytes + done, length - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            err = errno;
            break;
        }
        if (n == 0) {
            err = EIO;
            break;
        }
        done += (size_t)n;
    }
    /* The caller wants the write's errno, not the one close may leave. */
    if (close(fd) != 0 && err == 0) err = errno;
    if (err != 0) {
        errno = err;
        return -1;
    }
    return (int)done;
}

static int gpio_write_number(const char *path, int number)
{
    char text[16];
    int len = snprintf(text, sizeof text, "%d", number);
    return gpio_write_node(path, text, (size_t)len);
}

int gpio_export(int pin) { return gpio_write_number(GPIO_ROOT "/export", pin); }

int gpio_unexport(int pin) { return gpio_write_number(GPIO_ROOT "/unexport", pin); }

int gpio_set_direction(int pin, int out)
{
    char path[64];
    snprintf(path, sizeof path, GPIO_ROOT "/gpio%d/direction", pin);
    const char *dir = out ? "out" : "in";
    return gpio_write_node(path, dir, strlen(dir));
}

int gpio_set_value(int pin, int value)
{
    char path[64];
    snprintf(path, sizeof path, GPIO_ROOT "/gpio%d/value", pin);
    return gpio_write_number(path, value);
}

int gpio_get_value(int pin)
{
    char path[64];
    snprintf(path, sizeof path, GPIO_ROOT "/gpio%d/value", pin);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    char c = 0;
    ssize_t n;
    do {
        n = read(fd, &c, 1);
    } while (n < 0 && errno == EINTR);
    close(fd);
    return n == 1 ? c - '0' : 0;
}
