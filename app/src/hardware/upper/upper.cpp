#include "upper.h"

#include <errno.h>
#include <fcntl.h>
#include <math.h>
#include <poll.h>
#include <pthread.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "iniparser_handler.h"
#include "qel_dev_status.h"
#include "qel_power.h"
#include "uart.h"
#include "version.h"
#include "vesk_clock.h"
#include "vesk_frame.h"
#include "vesk_log.h"
#include "vesk_msg.h"
#include "vesk_persist.h"
#include "vesk_signal.h"

#define UPPER_TAG_RX "upper.rx"
#define UPPER_TAG_TX "upper.tx"
#define UPPER_TAG_SN "upper.sn"
#define UPPER_BAUD 115200
#define UPPER_IDLE_MS 100
#define UPPER_READ_MAX 256
#define UPPER_BUS_TIMEOUT_MS 100
#define UPPER_ANY -1

volatile int upperUartInitFinished;

static int upper_fd = -1;
static int upper_wake[2] = {-1, -1};
static pthread_t upper_thread;
static int upper_thread_started;
static event_handle *upper_main_bus;
static int (*upper_sn_hook)(void);

void vesk_upper_set_sn_hook(int (*stage_ssid_from_sn)(void)) { upper_sn_hook = stage_ssid_from_sn; }

/* ---- replies -------------------------------------------------------------- */

int Upper_UartSendData(uint8_t *buffer, size_t size, int len)
{
    if (buffer == NULL || len < VESK_UPPER_FRAME_MIN || len > VESK_UPPER_FRAME_MAX || (size_t)len > size) {
        vesk_log_printf(VESK_LOG_ERROR, UPPER_TAG_TX, "reply refused len=%d buffer=%zu", len, size);
        return -1;
    }
    buffer[0] = VESK_UPPER_REPLY_HEAD;
    buffer[1] = (uint8_t)(len - 3);
    buffer[5] = VESK_UPPER_REPLY_DIR;
    buffer[len - 3] = upper_check(buffer, len);
    buffer[len - 2] = VESK_UPPER_TAIL1;
    buffer[len - 1] = VESK_UPPER_TAIL2;
    vesk_log_hex(UPPER_TAG_TX, buffer, (size_t)len, len);
    if (uart_write(upper_fd, buffer, (size_t)len) != len) {
        printf("upper computer: UartSendData failed!\n");
        return -1;
    }
    return 0;
}

/* A reply to the frame it answers, with n data bytes. */
static void reply(const uint8_t *request, uint8_t item, const void *data, size_t n)
{
    uint8_t out[VESK_UPPER_FRAME_MAX];
    /* Too much data is refused (and logged) by the sender. */
    if (n > sizeof out) n = sizeof out;
    out[2] = request[2];
    out[3] = request[3];
    out[4] = item;
    if (n + VESK_UPPER_OVERHEAD <= sizeof out) memcpy(out + VESK_UPPER_OFF_DATA, data, n);
    (void)Upper_UartSendData(out, sizeof out, (int)(n + VESK_UPPER_OVERHEAD));
}

static void reply_u16(const uint8_t *request, uint8_t item, int16_t value)
{
    uint8_t data[2];
    vesk_put_u16(data, (uint16_t)value);
    reply(request, item, data, sizeof data);
}

/* ---- one frame ------------------------------------------------------------ */

typedef struct {
    const uint8_t *frame;
    int len;
    int data_len; /* bytes from offset 6 up to the checksum */
    uint8_t item;
    event_handle *main_bus;
} upper_cmd;

static int16_t data_s16(const upper_cmd *c) { return (int16_t)vesk_get_u16(c->frame + VESK_UPPER_OFF_DATA); }

/* Opens the edit section a change is made in; a refused section makes the
 * write a no-op, as a shutdown or reset under way must not see it. */
static int edit_begin(const char *what)
{
    int rc = vesk_persist_edit_begin();
    if (rc != 0) printf("upper computer: %s not written, edit refused (%d)\n", what, rc);
    return rc;
}

static void do_fixed(const upper_cmd *c)
{
    static const uint8_t five = 5;
    reply(c->frame, c->item, &five, 1);
}

static void reply_text(const upper_cmd *c, const char *text)
{
    reply(c->frame, c->item, text, strnlen(text, VESK_UPPER_TEXT_MAX));
}

static void read_sn(const upper_cmd *c) { reply_text(c, qel_dev_status.sn); }
static void read_pn(const upper_cmd *c) { reply_text(c, qel_dev_status.pn); }

/* A serial or part number: the tool's text, checked before it is stored
 * with the EEPROM record. Each must stay one value on one line of that
 * record; the serial number also becomes part of the access point's name,
 * so it takes only the name's characters. */
static int take_identity(const upper_cmd *c, char *text, const char *name, int (*valid)(const char *))
{
    int n = vesk_upper_take_text(text, c->frame + VESK_UPPER_OFF_DATA, c->data_len);
    if (n < 0 || !valid(text)) {
        printf("upper computer: %s rejected, len_data=%d\n", name, c->data_len);
        return -1;
    }
    return n;
}

/* The identity the information page and the phone read follows a new
 * number at once, not only after the next boot: the build-identity file's
 * line and the device-information record (32 characters at most). */
static void identity_follows(const char *label, const char *name, const char *text, char *info, size_t info_size)
{
    fpga_version_info_replace(label, name, text);
    snprintf(info, info_size, "%.*s", (int)info_size - 1, text);
}

static void write_sn(const upper_cmd *c)
{
    char text[VESK_UPPER_TEXT_MAX + 1];
    if (take_identity(c, text, "SN", vesk_upper_sn_valid) < 0 || edit_begin("SN") != 0) return;
    snprintf(qel_dev_status.sn, sizeof qel_dev_status.sn, "%s", text);
    Qel_EEPROMParam_Save();
    identity_follows("SN", "sn", text, g_stDeviceInfo.sn, sizeof g_stDeviceInfo.sn);
    int rc = upper_sn_hook != NULL ? upper_sn_hook() : -ENOSYS;
    if (rc != 0) vesk_log_printf(VESK_LOG_ERROR, UPPER_TAG_SN, "SSID from SN not staged rc=%d", rc);
    vesk_persist_edit_end();
}

static void write_pn(const upper_cmd *c)
{
    char text[VESK_UPPER_TEXT_MAX + 1];
    if (take_identity(c, text, "PN", vesk_upper_pn_valid) < 0 || edit_begin("PN") != 0) return;
    snprintf(qel_dev_status.pn, sizeof qel_dev_status.pn, "%s", text);
    Qel_EEPROMParam_Save();
    identity_follows("PN", "pn", text, g_stDeviceInfo.pn, sizeof g_stDeviceInfo.pn);
    vesk_persist_edit_end();
}

static void do_date(const upper_cmd *c)
{
    if (qel_dev_status.video_status || qel_dev_status.shot_video_status) {
        printf("upper set time: ignored while recording\n");
        return;
    }
    (void)set_date_and_time_by_upper(c->frame, c->len);
}

static void save_eeprom(const upper_cmd *c)
{
    (void)c;
    if (edit_begin("EEPROM") != 0) return;
    Qel_EEPROMParam_Save();
    vesk_persist_edit_end();
}

static void read_current_scale(const upper_cmd *c)
{
    reply_u16(c->frame, c->item, qel_dev_status.s16RangeCurrentScale);
}
static void read_min_scale(const upper_cmd *c) { reply_u16(c->frame, c->item, qel_dev_status.s16RangeMinScale); }
static void read_max_scale(const upper_cmd *c) { reply_u16(c->frame, c->item, qel_dev_status.s16RangeMaxScale); }
static void write_min_scale(const upper_cmd *c) { qel_dev_status.s16RangeMinScale = data_s16(c); }
static void write_max_scale(const upper_cmd *c) { qel_dev_status.s16RangeMaxScale = data_s16(c); }
static void read_threshold(const upper_cmd *c)
{
    reply_u16(c->frame, VESK_FRAME_NONE, qel_dev_status.s16ShotThreshold);
}

/* The factory reset with a Media format, as the GUI's basic command. */
static int inner_SendFactory(event_handle *main_bus, uint8_t item, uint8_t value)
{
    uint8_t frame[10];
    size_t n = vesk_frame_build(frame, sizeof frame, SUB_NOTIFIER_IMAGE, 0, item, VESK_FRAME_FLAG_REQUEST, &value, 1);
    return event_broadcast_send(main_bus, MAIN_NOTIFIER_APP, frame, (int)n, UPPER_BUS_TIMEOUT_MS);
}

static void do_factory(const upper_cmd *c)
{
    if (inner_SendFactory(c->main_bus, 11, 2) != 0) printf("upper computer: factory request lost\n");
}

static void do_media(const upper_cmd *c)
{
    uint8_t frame[10];
    const uint8_t value = c->frame[VESK_UPPER_OFF_DATA];
    size_t n = vesk_frame_build(frame, sizeof frame, SUB_NOTIFIER_IMAGE, 0, 0x08, VESK_FRAME_FLAG_REQUEST, &value, 1);
    Msgtext_App_To_Media(MSGQ_COMMAND_APP_TO_MEDIA, (uint32_t)n, frame);
}

static float *zero_angle(uint8_t item)
{
    switch (item) {
    case 1:
        return &qel_dev_status.f_zero_azimuth;
    case 2:
        return &qel_dev_status.f_zero_pitch;
    case 3:
        return &qel_dev_status.f_zero_slant;
    default:
        return NULL;
    }
}
static const char *const zero_angle_names[4] = {"", "f_zero_azimuth", "f_zero_pitch", "f_zero_slant"};

/* Sign and tenths of a degree, rounded: a stored -2.5 must read back as
 * 1, 25 however the float's last bit fell. */
static void read_zero(const upper_cmd *c)
{
    const float angle = *zero_angle(c->item);
    const double scaled = isfinite(angle) ? fabs((double)angle) * 10.0 : 0.0;
    const long tenths = scaled >= 0xFFFF ? 0xFFFF : lround(scaled);
    uint8_t data[3] = {(uint8_t)(angle < 0 && tenths > 0), 0, 0};
    vesk_put_u16(data + 1, (uint16_t)tenths);
    reply(c->frame, c->item, data, sizeof data);
}

static void write_zero(const upper_cmd *c)
{
    const uint8_t *d = c->frame + VESK_UPPER_OFF_DATA;
    float value = (float)vesk_get_u16(d + 1) / 10.0f;
    if (d[0] != 0) value = -value;
    if (edit_begin(zero_angle_names[c->item]) != 0) return;
    *zero_angle(c->item) = value;
    printf("Upper_Handler: %s = %f\n", zero_angle_names[c->item], value);
    Qel_EEPROMParam_Save();
    vesk_persist_edit_end();
}

/* A key press for the GUI: its key frame of ten bytes, the tool's header
 * bytes kept, the key mapped. */
static void do_key(const upper_cmd *c)
{
    const int code = vesk_upper_key_map(c->frame[VESK_UPPER_OFF_DATA]);
    if (code < 0) {
        printf("upper computer: key %d not in the table, dropped\n", c->frame[VESK_UPPER_OFF_DATA]);
        return;
    }
    uint8_t key[VESK_FRAME_OVERHEAD + 1];
    memcpy(key, c->frame, VESK_UPPER_OFF_DATA);
    key[0] = VESK_FRAME_HEAD;
    key[1] = sizeof key - 3;
    key[VESK_UPPER_OFF_DATA] = (uint8_t)code;
    vesk_frame_seal(key, sizeof key);
    Msgtext_App_To_Ui(MSGQ_COMMAND_APP_TO_UI, sizeof key, key);
}

static void read_voltage(const upper_cmd *c)
{
    uint8_t out[VESK_UPPER_OVERHEAD + 2];
    out[2] = c->frame[2];
    out[3] = 0;
    out[4] = VESK_FRAME_NONE;
    vesk_put_u16(out + VESK_UPPER_OFF_DATA, (uint16_t)qel_dev_status.voltage_now);
    (void)Upper_UartSendData(out, sizeof out, sizeof out);
}

/* The range mark's offset as the GUI takes it: AA 08 16 09 item 80 value. */
static void offset_to_gui(uint8_t item, int16_t value)
{
    uint8_t data[2];
    vesk_put_u16(data, (uint16_t)value);
    uint8_t frame[VESK_FRAME_OVERHEAD + 2];
    size_t n = vesk_frame_build(frame, sizeof frame, 0x16, 9, item, VESK_FRAME_FLAG_REPORT, data, sizeof data);
    Msgtext_App_To_Ui(MSGQ_COMMAND_APP_TO_UI, (uint32_t)n, frame);
}

static short *range_offset(uint8_t item)
{
    return item == 1 ? &qel_dev_status.s16RangeOffsetX : &qel_dev_status.s16RangeOffsetY;
}

static void read_offset(const upper_cmd *c) { reply_u16(c->frame, c->item, *range_offset(c->item)); }

static void write_offset(const upper_cmd *c)
{
    *range_offset(c->item) = data_s16(c);
    offset_to_gui(c->item, *range_offset(c->item));
}

static void step_offset(const upper_cmd *c)
{
    /* Step bytes 0 to 3; the last row is any other byte, which moves
     * nothing and still tells the GUI Y as it is. */
    static const struct {
        uint8_t item; /* 1 X, 2 Y */
        int delta;
    } steps[5] = {{2, -1}, {2, +1}, {1, -1}, {1, +1}, {2, 0}};
    const uint8_t step = c->frame[VESK_UPPER_OFF_DATA];
    const auto &s = steps[step < 4 ? step : 4];
    short *v = range_offset(s.item);
    const int moved = *v + s.delta;
    if (moved >= INT16_MIN && moved <= INT16_MAX) *v = (short)moved;
    offset_to_gui(s.item, *v);
}

static void do_uart(const upper_cmd *c) { Power_Ctrl_UART(c->frame[VESK_UPPER_OFF_DATA]); }

/* The command table: class, object, item and direction (UPPER_ANY matches
 * every value), the data bytes the handler reads, and the handler. */
static const struct {
    int cls, object, item, direction;
    int data_min;
    void (*handler)(const upper_cmd *c);
} upper_commands[] = {
    {0x00, 0x1A, 0, UPPER_ANY, 0, do_fixed},
    {0x00, 0x1A, 1, VESK_UPPER_READ, 0, read_sn},
    {0x00, 0x1A, 1, VESK_UPPER_WRITE, 0, write_sn},
    {0x00, 0x1A, 2, VESK_UPPER_READ, 0, read_pn},
    {0x00, 0x1A, 2, VESK_UPPER_WRITE, 0, write_pn},
    {0x00, 0x1B, UPPER_ANY, UPPER_ANY, 7, do_date},
    {0x00, 0x1E, UPPER_ANY, UPPER_ANY, 0, save_eeprom},
    {0x00, 0x22, 0, VESK_UPPER_READ, 0, read_current_scale},
    {0x00, 0x22, 1, VESK_UPPER_READ, 0, read_min_scale},
    {0x00, 0x22, 1, VESK_UPPER_WRITE, 2, write_min_scale},
    {0x00, 0x22, 2, VESK_UPPER_READ, 0, read_max_scale},
    {0x00, 0x22, 2, VESK_UPPER_WRITE, 2, write_max_scale},
    {0x00, 0x23, UPPER_ANY, VESK_UPPER_READ, 0, read_threshold},
    {0x00, 0x0B, UPPER_ANY, UPPER_ANY, 0, do_factory},
    {0x00, 0x08, UPPER_ANY, UPPER_ANY, 1, do_media},
    {0x06, 0x01, 1, VESK_UPPER_READ, 0, read_zero},
    {0x06, 0x01, 2, VESK_UPPER_READ, 0, read_zero},
    {0x06, 0x01, 3, VESK_UPPER_READ, 0, read_zero},
    {0x06, 0x01, 1, VESK_UPPER_WRITE, 3, write_zero},
    {0x06, 0x01, 2, VESK_UPPER_WRITE, 3, write_zero},
    {0x06, 0x01, 3, VESK_UPPER_WRITE, 3, write_zero},
    {0x07, UPPER_ANY, UPPER_ANY, UPPER_ANY, 1, do_key},
    {0x0F, UPPER_ANY, UPPER_ANY, UPPER_ANY, 0, read_voltage},
    {0x16, 0x09, 1, VESK_UPPER_READ, 0, read_offset},
    {0x16, 0x09, 1, VESK_UPPER_WRITE, 2, write_offset},
    {0x16, 0x09, 2, VESK_UPPER_READ, 0, read_offset},
    {0x16, 0x09, 2, VESK_UPPER_WRITE, 2, write_offset},
    {0x16, 0x09, 3, UPPER_ANY, 1, step_offset},
    {0xFE, UPPER_ANY, UPPER_ANY, UPPER_ANY, 1, do_uart},
};

static int field_matches(int want, uint8_t have) { return want == UPPER_ANY || want == have; }

void Upper_Handler(const uint8_t *frame, int len, event_handle *main_bus)
{
    if (!vesk_upper_frame_sound(frame, len)) {
        printf("Upper_Handler: malformed frame dropped, len=%d\n", len);
        return;
    }
    vesk_upper_head h;
    memcpy(&h, frame, sizeof h);
    const upper_cmd c = {frame, len, len - VESK_UPPER_OVERHEAD, h.item, main_bus};
    printf("command:%02x, len_data:%d\n", h.cls, c.data_len);
    for (const auto &row : upper_commands) {
        if (row.cls != h.cls || !field_matches(row.object, h.object) || !field_matches(row.item, h.item) ||
            !field_matches(row.direction, h.direction))
            continue;
        if (c.data_len < row.data_min) {
            printf("upper computer: command %02x/%02x needs %d data bytes, got %d\n", h.cls, h.object, row.data_min,
                   c.data_len);
            return;
        }
        row.handler(&c);
        return;
    }
}

/* ---- the clock ------------------------------------------------------------ */

int set_date_and_time_by_upper(const uint8_t *frame, int len)
{
    if (frame == NULL || len < VESK_UPPER_OVERHEAD + 7) return -1;
    const uint8_t *d = frame + VESK_UPPER_OFF_DATA;
    const int year = d[0] + 256 * d[1], month = d[2], day = d[3], hour = d[4], minute = d[5], second = d[6];
    printf("upper set time: hour=%d, minute=%d, second=%d, year=%d, month=%d, day=%d\n", hour, minute, second, year,
           month, day);
    if (!vesk_time_fields_valid(year, month, day, hour, minute, second)) {
        printf("upper set time: refused, a field is out of range\n");
        return -1;
    }
    /* Both clocks are set: a real-time clock that refuses the time still
     * leaves the tool's time on the system clock until the next boot. */
    const int rtc = rtc_set_time(hour, minute, second, year, month, day);
    if (rtc == 0) printf("rtc time_set_successful!\n");
    const int sys = sys_set_time(hour, minute, second, year, month, day);
    if (sys == 0) printf("sys time_set_successful!\n");
    return rtc == 0 && sys == 0 ? 0 : -1;
}

int inner_SendShotThreshold(int16_t value)
{
    uint8_t data[2];
    vesk_put_u16(data, (uint16_t)value);
    uint8_t frame[VESK_FRAME_OVERHEAD + 2];
    size_t n =
        vesk_frame_build(frame, sizeof frame, 0x1C, 3, VESK_FRAME_NONE, VESK_FRAME_FLAG_REQUEST, data, sizeof data);
    return Msgtext_App_To_Media(MSGQ_COMMAND_APP_TO_MEDIA, (uint32_t)n, frame) == 1 ? 0 : -1;
}

/* ---- the receive thread ---------------------------------------------------- */

static void take_frames(vesk_upper_rx *rx)
{
    uint8_t frame[VESK_UPPER_FRAME_MAX];
    int n;
    while ((n = vesk_upper_rx_step(rx, frame)) != 0) {
        if (n < 0) continue;
        vesk_log_hex(UPPER_TAG_RX, frame, (size_t)n, n);
        if (frame[n - 3] != upper_check(frame, n)) {
            printf("error check!!\n");
            continue;
        }
        Upper_Handler(frame, n, upper_main_bus);
    }
}

static void *PthreadRcvUpperData(void *arg)
{
    (void)arg;
    static vesk_upper_rx rx;
    vesk_upper_rx_init(&rx);
    while (!is_signal_exit()) {
        struct pollfd fds[2] = {{upper_fd, POLLIN, 0}, {upper_wake[0], POLLIN, 0}};
        int ready = poll(fds, 2, UPPER_IDLE_MS);
        if (ready < 0 && errno != EINTR) {
            vesk_log_printf(VESK_LOG_ERROR, UPPER_TAG_RX, "poll failed errno=%d", errno);
            break;
        }
        if (ready == 0) {
            /* A quiet line: a partial frame held since before the silence
             * was torn, and frames behind its start byte are taken now. */
            vesk_upper_rx_put(&rx, NULL, 0, vesk_mono_ms());
            take_frames(&rx);
        }
        if (ready <= 0) continue;
        if (fds[1].revents != 0 || (fds[0].revents & POLLNVAL)) break;
        uint8_t buf[UPPER_READ_MAX];
        ssize_t n = read(upper_fd, buf, sizeof buf);
        if (n <= 0) {
            /* Nobody holds the far end, or the line failed: idle as a
             * quiet line does rather than spin. */
            if (n == 0 || (errno != EAGAIN && errno != EINTR)) usleep(UPPER_IDLE_MS * 1000);
            continue;
        }
        const uint64_t now = vesk_mono_ms();
        for (size_t at = 0; at < (size_t)n;) {
            at += vesk_upper_rx_put(&rx, buf + at, (size_t)n - at, now);
            take_frames(&rx);
        }
    }
    printf("upper computer: thread exit!\n");
    return NULL;
}

static void upper_close(void)
{
    for (int &fd : upper_wake) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    if (upper_fd >= 0) uart_close(upper_fd);
    upper_fd = -1;
    upperUartInitFinished = 0;
}

int Qel_UpperComputerInit(const char *device, event_handle *main_bus, event_handle *app_bus)
{
    (void)app_bus;
    upper_fd = uart_open(device);
    if (upper_fd < 0) {
        printf("upper computer: open %s falied!\n", device);
        return -1;
    }
    if (uart_set(upper_fd, UPPER_BAUD, 0, 8, 'N', 1) != 0)
        printf("upper computer: uart set failed!\n");
    else
        upperUartInitFinished = 1;
    upper_main_bus = main_bus;
    if (pipe2(upper_wake, O_CLOEXEC | O_NONBLOCK) != 0 ||
        pthread_create(&upper_thread, NULL, PthreadRcvUpperData, NULL) != 0) {
        printf("upper computer: pthread create failed!\n");
        upper_close();
        return -1;
    }
    upper_thread_started = 1;
    printf("%s End\n", "Qel_UpperComputerInit");
    return 0;
}

void Qel_UpperComputerExit(void)
{
    if (upper_thread_started) {
        const char one = 1;
        /* Our own empty pipe: the byte always fits. */
        ssize_t w = write(upper_wake[1], &one, 1);
        (void)w;
        pthread_join(upper_thread, NULL);
        upper_thread_started = 0;
    }
    upper_close();
}
