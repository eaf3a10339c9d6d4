#include "i2c_ms1100.h"

#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <unistd.h>

#include "qel_dev_status.h"
#include "vesk_debug.h"
#include "vesk_log.h"
#include "vesk_msg.h"
#include "vesk_worker.h"

#define BATTERY_BUS_TIMEOUT_MS 500
#define BATTERY_FAST_MS 10
#define BATTERY_SLOW_MS 2000
#define BATTERY_RING 5
#define BATTERY_LOW_CV 101     /* below this a change is reported at once while charging */
#define BATTERY_CHARGE_BAND 50 /* a rise smaller than this while charging is not news */
#define BATTERY_SELF_CHECK_CV 100
#define HTTP_RESULT_BATTERY 12
#define ADC_TEXT_MAX 31

static event_handle *battery_bus;
static Qel_i2c_callback battery_callback;
static vesk_worker battery_worker = VESK_WORKER_INIT;
static pthread_t battery_thread;
static int battery_started;

/* The averaging ring and the self-check, of the battery thread only. */
static struct {
    int ring[BATTERY_RING];
    int count;
    int checked;
} avg;

int vesk_adc_parse(const char *text, size_t length)
{
    char buf[ADC_TEXT_MAX + 1];
    if (length > ADC_TEXT_MAX) length = ADC_TEXT_MAX;
    memcpy(buf, text, length);
    buf[length] = '\0';
    const char *p = buf;
    while (isspace((unsigned char)*p)) p++;
    const char *digits = p + (*p == '-' || *p == '+');
    if (!isdigit((unsigned char)*digits)) return -1;
    errno = 0;
    long v = strtol(p, NULL, 10);
    if (errno == ERANGE || v > INT_MAX || v < INT_MIN) return -1;
    return (int)v;
}

/* One read of an open channel file from its start, as the kernel renders
 * the value afresh on every read at offset 0. */
static int adc_read_open(int fd)
{
    char text[ADC_TEXT_MAX];
    ssize_t n;
    do n = pread(fd, text, sizeof text, 0);
    while (n < 0 && errno == EINTR);
    return n <= 0 ? -1 : vesk_adc_parse(text, (size_t)n);
}

int read_adc_raw(const char *path)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        perror("open");
        return -1;
    }
    const int raw = adc_read_open(fd);
    close(fd);
    return raw;
}

int vesk_adc_channel_read(vesk_adc_channel *ch)
{
    if (ch->fd < 0) {
        ch->fd = open(ch->path, O_RDONLY | O_CLOEXEC);
        if (ch->fd < 0) {
            perror("open");
            return -1;
        }
    }
    const int raw = adc_read_open(ch->fd);
    /* A failed read may mean the file went away: the next read opens it
     * afresh. */
    if (raw < 0) vesk_adc_channel_close(ch);
    return raw;
}

void vesk_adc_channel_close(vesk_adc_channel *ch)
{
    if (ch->fd >= 0) close(ch->fd);
    ch->fd = -1;
}

float vesk_battery_volts(int raw) { return (float)(raw * 4.096 / 32766 * 4.6); }

int Qel_ReadBatData(int *out)
{
    const int raw = read_adc_raw(BATTERY_ADC_RAW);
    int cv = raw < 0 ? 0 : (int)(vesk_battery_volts(raw) * 100);
    if (cv < 0) cv = 0;
    if (out != NULL) *out = cv;
    return raw < 0 ? -1 : 0;
}

void vesk_battery_report(int value)
{
    const uint8_t ev[4] = {SUB_NOTIFIER_VOLTAGE, (uint8_t)(value & 0xFF), (uint8_t)((value >> 8) & 0xFF), 0};
    if (battery_bus != NULL) event_broadcast_send(battery_bus, 1, ev, sizeof ev, BATTERY_BUS_TIMEOUT_MS);
    const uint8_t data[2] = {ev[1], ev[2]};
    sendResultToHTTP(HTTP_RESULT_BATTERY, data, sizeof data);
}

void vesk_battery_reset(event_handle *bus)
{
    battery_bus = bus;
    memset(&avg, 0, sizeof avg);
}

/* The first averaged pass: a self-check record of the battery (result 2
 * when it is nearly empty); kept for the log, never sent. */
static void battery_self_check(int cv)
{
    uint8_t msSelfArr[6] = {SUB_NOTIFIER_SELF, 5, 0, 1, 0, (uint8_t)(cv < BATTERY_SELF_CHECK_CV ? 2 : 1)};
    printf("------value = %d, standardValue = %d, msSelfArr[5] = %d\n", cv, BATTERY_SELF_CHECK_CV, msSelfArr[5]);
}

void infI2cRecvCallback(float volts)
{
    Qel_DevStatus *s = &qel_dev_status;
    if (!s->ui_ready) return;
    const int cv = (int)(volts * 100);
    const int charging = s->usb_state_current != 0;
    if (charging && (cv < BATTERY_LOW_CV || s->voltage_now < BATTERY_LOW_CV) && cv != s->voltage_now) {
        s->battery_refresh = 1;
        s->voltage_now = cv;
    }
    if (s->battery_send_state == 0 || s->battery_refresh) {
        vesk_battery_report(cv);
        s->battery_send_state = 1;
        s->battery_refresh = 0;
        avg.count = 0;
        return;
    }
    if (!avg.checked) {
        avg.checked = 1;
        battery_self_check(cv);
    }
    avg.ring[avg.count++] = cv;
    if (avg.count < BATTERY_RING) return;
    avg.count = 0;
    int sum = 0, lo = avg.ring[0], hi = avg.ring[0];
    for (int v : avg.ring) {
        sum += v;
        if (v < lo) lo = v;
        if (v > hi) hi = v;
    }
    const int mean = (sum - hi - lo) / 3;
    if (vesk_debug_enabled())
        vesk_log_printf(VESK_LOG_DETAIL, "battery", " usbState: %d, value: %d", s->usb_state_current, mean);
    /* While charging the voltage creeps up; only a clear rise is news. */
    if (charging && s->voltage_now <= mean && mean < s->voltage_now + BATTERY_CHARGE_BAND) return;
    vesk_battery_report(mean);
    s->voltage_now = mean;
}

int Qel_i2c_RegisterCallback(Qel_i2c_callback callback)
{
    battery_callback = callback;
    return 0;
}

static void *PthreadRecvI2cCallback(void *arg)
{
    (void)arg;
    prctl(PR_SET_NAME, "battery", 0, 0, 0);
    int failed = 0;
    for (;;) {
        const int raw = read_adc_raw(BATTERY_ADC_RAW);
        /* A reading that failed is no voltage: it would show an empty battery. */
        if (raw >= 0) {
            failed = 0;
            if (battery_callback != NULL) battery_callback(vesk_battery_volts(raw));
        } else if (!failed) {
            failed = 1;
            vesk_log_printf(VESK_LOG_ERROR, "battery", "read %s failed", BATTERY_ADC_RAW);
        }
        const int pause = qel_dev_status.battery_send_state ? BATTERY_SLOW_MS : BATTERY_FAST_MS;
        if (vesk_worker_sleep(&battery_worker, pause)) break;
    }
    return NULL;
}

int i2c_Ms1100Init(const char *device, event_handle *bus)
{
    (void)device; /* the battery is the ADC's channel 2 */
    vesk_battery_reset(bus);
    qel_dev_status.voltage_now = BATTERY_VOLTAGE_START;
    Qel_i2c_RegisterCallback(infI2cRecvCallback);
    if (vesk_worker_open(&battery_worker) != 0) printf("battery : wake pipe failed!\n");
    if (pthread_create(&battery_thread, NULL, PthreadRecvI2cCallback, NULL) != 0) {
        printf("<PthreadRecvUartCallback> __recv_routine create failed!\r\n");
        return -1;
    }
    battery_started = 1;
    return 0;
}

void i2c_Ms1100Deinit(void)
{
    vesk_worker_stop(&battery_worker);
    if (battery_started) pthread_join(battery_thread, NULL);
    battery_started = 0;
    vesk_worker_close(&battery_worker);
}
