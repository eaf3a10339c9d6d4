#include "laser.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "gpio.h"
#include "qel_dev_status.h"
#include "qel_power.h"
#include "uart.h"
#include "vesk_board.h"
#include "vesk_clock.h"
#include "vesk_frame.h"
#include "vesk_log.h"
#include "vesk_lrf_proto.h"
#include "vesk_lrf_worker.h"
#include "vesk_signal.h"

#define LRF_TAG_POWER "lrf.power"
#define LRF_TAG_INIT "lrf.init"
#define LRF_TAG_RX "lrf.rx"
#define LRF_TAG_RX_RAW "lrf.rx.raw"

/* Power-control device: write-direction requests of group 0x17 whose
 * argument the driver reads as 8 bytes. */
#define LRF_POWER_SERIAL 9
#define LRF_POWER_LASER 10
#define LRF_PIN_TOOL "/usrdata/bin/ar_boardinfo"
static const int lrf_pins[2] = {113, 114};
#define LRF_CHARGE_MS 400
#define LRF_ERROR_PAUSE_MS 200
#define LRF_POLL_MS 1000

int laserFd = -1;
int laser_wake_fd[2] = {-1, -1};
pthread_t mPthreadRcvLaser;
static int lrf_rx_started;
static volatile int lrf_rx_stop;

extern char **environ;

/* A sleep that signals do not cut short. */
static void lrf_sleep_ms(unsigned ms)
{
    struct timespec left = {(time_t)(ms / 1000), (long)(ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {}
}

static int lrf_power_ctrl(unsigned nr, int value) { return Power_Ctrl_IO(VESK_BOARD_HW_REQUEST(nr), value); }

/* Switches one pin between its serial function (1) and plain GPIO (0). */
static int lrf_pin_tool(int pin, int value)
{
    char pin_text[8], value_text[4];
    snprintf(pin_text, sizeof pin_text, "%d", pin);
    snprintf(value_text, sizeof value_text, "%d", value);
    char *argv[] = {(char *)"ar_boardinfo", (char *)"-M", (char *)"pinmux", (char *)"-W", pin_text, value_text, NULL};
    pid_t pid;
    int rc = posix_spawn(&pid, LRF_PIN_TOOL, NULL, NULL, argv, environ);
    if (rc != 0) {
        vesk_log_printf(VESK_LOG_ERROR, LRF_TAG_POWER, "posix_spawn(%s) failed: %s", LRF_PIN_TOOL, strerror(rc));
        return -rc;
    }
    int status;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno == EINTR) continue;
        int err = errno;
        vesk_log_printf(VESK_LOG_ERROR, LRF_TAG_POWER, "waitpid(ar_boardinfo) failed: %s", strerror(err));
        return -err;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        vesk_log_printf(VESK_LOG_ERROR, LRF_TAG_POWER, "ar_boardinfo -W %s %s failed, status=0x%x", pin_text,
                        value_text, (unsigned)status);
        return -EIO;
    }
    return 0;
}

static int lrf_power_on(void)
{
    if (lrf_power_ctrl(LRF_POWER_LASER, 1) < 0) return -EIO;
    for (int pin : lrf_pins) {
        if (gpio_unexport(pin) < 0 && errno != EINVAL) return -errno;
    }
    for (int pin : lrf_pins) {
        int rc = lrf_pin_tool(pin, 1);
        if (rc != 0) return rc;
    }
    lrf_sleep_ms(LRF_CHARGE_MS);
    return 0;
}

/* Every step runs, so that a failure half-way still leaves the pins low. */
static int lrf_power_off(void)
{
    int first = 0;
    if (lrf_power_ctrl(LRF_POWER_LASER, 0) < 0) first = -EIO;
    for (int pin : lrf_pins) {
        int rc = lrf_pin_tool(pin, 0);
        if (rc != 0 && first == 0) first = rc;
    }
    for (int pin : lrf_pins) {
        int rc = 0;
        if (gpio_export(pin) < 0 && errno != EBUSY) rc = -errno;
        if (rc == 0 && gpio_set_direction(pin, 1) < 0) rc = -errno;
        if (rc == 0 && gpio_set_value(pin, 0) < 0) rc = -errno;
        if (rc != 0 && first == 0) first = rc;
    }
    return first;
}

int laser_enable(int on) { return on ? lrf_power_on() : lrf_power_off(); }

/* ---- receive thread ------------------------------------------------------ */

/* Error lines of the receive thread, at most one per second. */
static void laser_log_rate_limited(const char *text)
{
    static int written;
    static time_t last_second;
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (written && now.tv_sec - last_second < 1 && last_second - now.tv_sec < 1) return;
    written = 1;
    last_second = now.tv_sec;
    vesk_log_printf(VESK_LOG_ERROR, LRF_TAG_RX, "%s", text);
}

static void lrf_on_frame(void *ctx, const vesk_lrf_frame *frame, const uint8_t *raw, size_t len)
{
    (void)ctx;
    vesk_log_hex(LRF_TAG_RX, raw, len, 1);
    vesk_lrf_event ev;
    memset(&ev, 0, sizeof ev);
    ev.kind = VESK_LRF_EV_FRAME;
    ev.frame = *frame;
    vesk_lrf_post(&ev);
}

static void lrf_drain_wake(void)
{
    char sink[16];
    while (read(laser_wake_fd[0], sink, sizeof sink) > 0) {}
}

/* One read into the assembly buffer; 0 to poll again, -1 to leave. */
static int lrf_read_once(vesk_lrf_rx *rx)
{
    for (;;) {
        int forced;
        size_t room = vesk_lrf_rx_room(rx, &forced);
        if (forced) laser_log_rate_limited("receive buffer full, forcing resync");
        ssize_t n = read(laserFd, rx->buf + rx->count, room);
        if (n > 0) {
            vesk_log_hex(LRF_TAG_RX_RAW, rx->buf + rx->count, (size_t)n, (int)n);
            vesk_lrf_rx_commit(rx, (size_t)n, vesk_mono_ms(), lrf_on_frame, NULL);
            return 0;
        }
        if (n == 0) {
            laser_log_rate_limited("read: zero-length read");
            lrf_sleep_ms(LRF_ERROR_PAUSE_MS);
            return 0;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        if (errno == EBADF) {
            vesk_log_printf(VESK_LOG_ERROR, LRF_TAG_RX, "read: bad file descriptor, receive thread exiting");
            lrf_rx_stop = 1;
            return -1;
        }
        laser_log_rate_limited("read error");
        lrf_sleep_ms(LRF_ERROR_PAUSE_MS);
        return 0;
    }
}

static void *PthreadRcvLaserCallback(void *arg)
{
    (void)arg;
    static vesk_lrf_rx rx;
    rx = vesk_lrf_rx{};
    while (!lrf_rx_stop && !is_signal_exit()) {
        struct pollfd fds[2] = {{laserFd, POLLIN, 0}, {laser_wake_fd[0], POLLIN, 0}};
        int ready = poll(fds, 2, LRF_POLL_MS);
        if (ready < 0) {
            if (errno == EINTR) continue;
            if (errno == EBADF) {
                vesk_log_printf(VESK_LOG_ERROR, LRF_TAG_RX, "poll: bad file descriptor, receive thread exiting");
                break;
            }
            laser_log_rate_limited("poll error");
            lrf_sleep_ms(LRF_ERROR_PAUSE_MS);
            continue;
        }
        if (ready == 0) {
            /* A quiet line: a partial frame held since before the silence
             * was torn, and frames behind its start byte are taken now. */
            vesk_lrf_rx_commit(&rx, 0, vesk_mono_ms(), lrf_on_frame, NULL);
            continue;
        }
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            lrf_drain_wake();
            break;
        }
        if (fds[0].revents & POLLNVAL) {
            vesk_log_printf(VESK_LOG_ERROR, LRF_TAG_RX, "poll: bad file descriptor, receive thread exiting");
            break;
        }
        if (!(fds[0].revents & (POLLIN | POLLERR | POLLHUP))) continue;
        if (lrf_read_once(&rx) < 0) break;
    }
    vesk_log_printf(VESK_LOG_DETAIL, LRF_TAG_RX, "thread exit!");
    return NULL;
}

/* ---- service ------------------------------------------------------------- */

static void lrf_close_pipe(void)
{
    for (int &fd : laser_wake_fd) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
}

static void lrf_close_line(void)
{
    if (laserFd >= 0) uart_close(laserFd);
    laserFd = -1;
}

static int lrf_open_pipe(void)
{
    if (pipe2(laser_wake_fd, O_CLOEXEC | O_NONBLOCK) != 0) {
        laser_wake_fd[0] = laser_wake_fd[1] = -1;
        return -1;
    }
    return 0;
}

int Qel_LaserInit(const char *device, event_handle *ui_bus, event_handle *cmd_bus)
{
    if (laser_enable(0) != 0) vesk_log_printf(VESK_LOG_ERROR, LRF_TAG_INIT, "laser_enable(0) failed");
    qel_dev_status.s8LaserEnable = 0;

    laserFd = uart_open(device);
    if (laserFd < 0) {
        vesk_log_printf(VESK_LOG_ERROR, LRF_TAG_INIT, "open %s failed!", device);
        return -1;
    }
    int rc = uart_set(laserFd, 115200, 0, 8, 'N', 1);
    if (rc != 0) {
        vesk_log_printf(VESK_LOG_ERROR, LRF_TAG_INIT, "uart set failed!");
        lrf_close_line();
        return rc;
    }
    lrf_sleep_ms(LRF_CHARGE_MS);
    lrf_power_ctrl(LRF_POWER_SERIAL, 1);

    if (lrf_open_pipe() != 0) {
        vesk_log_printf(VESK_LOG_ERROR, LRF_TAG_INIT, "wake pipe failed!");
        lrf_close_line();
        return -1;
    }
    vesk_lrf_settings settings;
    vesk_lrf_settings_from_config(&settings);
    if (vesk_lrf_start(laserFd, ui_bus, &settings) != 0) {
        vesk_log_printf(VESK_LOG_ERROR, LRF_TAG_INIT, "vesk_lrf_start failed!");
        lrf_close_pipe();
        lrf_close_line();
        return -1;
    }
    lrf_rx_stop = 0;
    if (pthread_create(&mPthreadRcvLaser, NULL, PthreadRcvLaserCallback, NULL) != 0) {
        vesk_log_printf(VESK_LOG_ERROR, LRF_TAG_INIT, "PthreadRcvLaserCallback failed!");
        vesk_lrf_stop();
        lrf_close_pipe();
        lrf_close_line();
        return -1;
    }
    lrf_rx_started = 1;
    if (event_receive_register(cmd_bus, notifier_laser, NULL) != 0) {
        vesk_log_printf(VESK_LOG_ERROR, LRF_TAG_INIT, "notifier_laser faild");
        return -1;
    }
    return 0;
}

void Qel_laserExit(void)
{
    if (laser_wake_fd[1] >= 0) {
        const char one = 1;
        if (write(laser_wake_fd[1], &one, 1) < 0) lrf_rx_stop = 1;
    }
    if (lrf_rx_started) {
        pthread_join(mPthreadRcvLaser, NULL);
        lrf_rx_started = 0;
    }
    vesk_lrf_stop();
    lrf_close_line();
    lrf_close_pipe();
}

void notifier_laser(event_handle *handle, void *cb_data, int evtype, const void *evdata, int size)
{
    (void)handle;
    (void)cb_data;
    if (evtype != SUB_NOTIFIER_DISTANCE || evdata == NULL || size <= 0) return;
    vesk_lrf_request_from_gui((const uint8_t *)evdata, (size_t)size);
}
