#include "qel_power.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/rtc.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/reboot.h>
#include <sys/time.h>
#include <unistd.h>

#include "vesk_log.h"
#include "vesk_wallclock.h"

#define POWER_TAG "power"
#define LCD_GROUP 0x33

int Power_Ctrl_IO(unsigned long request, int value)
{
    int fd = open(POWER_HW_DEVICE, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        vesk_log_printf(VESK_LOG_ERROR, POWER_TAG, "open /dev/hardware failed errno=%d", errno);
        return -1;
    }
    /* The driver copies the request's eight bytes: the value travels in
     * an argument of that size, the int in its low half. */
    int64_t arg = value;
    static_assert(sizeof arg == 8, "power-control argument");
    int rc = vesk_board_ioctl(fd, request, &arg);
    if (rc < 0)
        vesk_log_printf(VESK_LOG_ERROR, POWER_TAG, "ioctl request=%lu value=%d failed errno=%d", request, value, errno);
    close(fd);
    return rc;
}

int Power_Ctrl_UART(int value)
{
    printf("Power_Ctrl_UART %d\n", value);
    int fd = open(POWER_UART_DEVICE, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        printf("open /dev/uart_switch fail!\n");
        return -1;
    }
    /* The switch takes the routing value as the argument itself. */
    int rc = vesk_board_ioctl(fd, VESK_BOARD_UART_SWITCH, (void *)(intptr_t)value);
    if (rc < 0) printf("ioctl uart_switch on fail!\n");
    close(fd);
    return rc < 0 ? rc : 0;
}

int Power_Off(void) { return reboot(RB_POWER_OFF) == 0 ? 0 : -errno; }

int vesk_time_fields_valid(int year, int month, int day, int hour, int minute, int second)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1970 || year > 2099 || month < 1 || month > 12) return 0;
    const int leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int last = days[month - 1] + (month == 2 && leap);
    return day >= 1 && day <= last && hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 &&
           second <= 59;
}

int rtc_set_time(int hour, int minute, int second, int year, int month, int day)
{
    int fd = open(POWER_RTC_DEVICE, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        printf("open rtc_dev failed!\n");
        return -1;
    }
    struct rtc_time tm = vesk_wallclock_rtc_fields(hour, minute, second, year, month, day);
    int rc = vesk_board_ioctl(fd, RTC_SET_TIME, &tm);
    close(fd);
    if (rc < 0) {
        printf("ioctl rtc_set_time failed!\n");
        return -ENOENT;
    }
    return 0;
}

int sys_set_time(int hour, int minute, int second, int year, int month, int day)
{
    return vesk_wallclock_set_system(hour, minute, second, year, month, day);
}

struct tm *sys_get_time(struct tm *out)
{
    time_t now = time(NULL);
    return gmtime_r(&now, out);
}

static int lcd_ioctl(unsigned nr, int value)
{
    int fd = open(POWER_LCD_DEVICE, O_RDWR | O_CLOEXEC);
    if (fd < 0) return -1;
    int rc = vesk_board_ioctl(fd, _IOW(LCD_GROUP, nr, int), &value);
    close(fd);
    return rc;
}

int Power_Ctrl_LCD(int on) { return lcd_ioctl(1, on); }

int Brightness_Ctrl_LCD(int level) { return lcd_ioctl(2, level); }
