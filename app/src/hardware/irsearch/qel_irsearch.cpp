#include "qel_irsearch.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "iniparser_handler.h"
#include "msg_media.h"
#include "qel_dev_status.h"
#include "qel_power.h"
#include "qel_wifi.h"
#include "vesk_frame.h"
#include "vesk_log.h"
#include "vesk_msg.h"

#define PHONE_TAG "phone"
#define PHONE_L_MIN 6
#define PHONE_L_MAX (PHONE_L_MIN + VESK_PHONE_PAYLOAD_MAX)
#define PHONE_CLOCK_DIGITS 14

enum {
    PHONE_SET_SSID = 0,
    PHONE_GET_SSID = 1,
    PHONE_SET_PASSWORD = 2,
    PHONE_GET_PASSWORD = 3,
    PHONE_DEVICE_INFO = 6,
    PHONE_PROFILES_FROM_PHONE = 8,
    PHONE_PROFILES_TO_PHONE = 9,
    PHONE_SET_CLOCK = 14,
};
enum { PHONE_RESULT_DEVICE_INFO = 6 };

static event_handle *http_handle;
static vesk_irsearch_calls calls;

void vesk_irsearch_set_calls(const vesk_irsearch_calls *c)
{
    if (c != NULL)
        calls = *c;
    else
        memset(&calls, 0, sizeof calls);
}

/* An entry start-up left empty: the phone's request is logged, not lost
 * silently. */
static int call(int (*fn)(void), const char *what)
{
    if (fn == NULL) {
        vesk_log_printf(VESK_LOG_ERROR, PHONE_TAG, "%s is not available in this build", what);
        return -ENOSYS;
    }
    return fn();
}

int vesk_phone_command_parse(const uint8_t *frame, int size, vesk_phone_command *out)
{
    if (frame == NULL || out == NULL || size < VESK_FRAME_MIN) return -1;
    const unsigned l = frame[VESK_FRAME_OFF_LEN];
    /* Bytes 6 .. L-1 are the payload: below 6 there is none to speak of,
     * above 245 it would fill the buffer to its last byte and leave a text
     * without its terminator. */
    if (l < PHONE_L_MIN || l > PHONE_L_MAX || (size_t)size < (size_t)l + 3) return -1;
    memset(out, 0, sizeof *out);
    out->cmd = frame[VESK_FRAME_OFF_ITEM];
    out->length = l - PHONE_L_MIN;
    memcpy(out->payload, frame + VESK_FRAME_OFF_PAYLOAD, out->length);
    return 0;
}

/* One field of the clock text: at most width digits, read up to the first
 * non-digit; -1 when it starts with none. */
static int clock_field(const char *text, int width)
{
    int value = 0, digits = 0;
    for (; digits < width && text[digits] >= '0' && text[digits] <= '9'; digits++)
        value = value * 10 + text[digits] - '0';
    return digits > 0 ? value : -1;
}

int set_date_and_time(const char *text)
{
    static const int widths[6] = {4, 2, 2, 2, 2, 2};
    int f[6];
    if (text == NULL || strnlen(text, PHONE_CLOCK_DIGITS) < PHONE_CLOCK_DIGITS) {
        vesk_log_printf(VESK_LOG_ERROR, PHONE_TAG, "clock text shorter than %d digits; clock not set",
                        PHONE_CLOCK_DIGITS);
        return -1;
    }
    for (int i = 0, at = 0; i < 6; at += widths[i], i++) f[i] = clock_field(text + at, widths[i]);
    const int year = f[0], month = f[1], day = f[2], hour = f[3], minute = f[4], second = f[5];
    /* A field out of range would reach the real-time clock's driver as it
     * stands and the system clock normalised into another day. */
    if (!vesk_time_fields_valid(year, month, day, hour, minute, second)) {
        vesk_log_printf(VESK_LOG_ERROR, PHONE_TAG, "clock %.14s out of range; clock not set", text);
        return -1;
    }
    if (rtc_set_time(hour, minute, second, year, month, day) == 0) printf("rtc time_set_successful!\n");
    int rc = sys_set_time(hour, minute, second, year, month, day);
    if (rc == 0) printf("sys time_set_successful!\n");
    return rc;
}

/* The phone has sent its profiles in the exchange file: apply them and show
 * them on the scope, then the hold-over the phone computed. */
static void profiles_from_phone(void)
{
    int rc = call(calls.vesk_bccal_import, "the exchange-file import");
    if (rc != 0) {
        vesk_log_printf(VESK_LOG_ERROR, PHONE_TAG, "profiles from the phone not applied rc=%d", rc);
        return;
    }
    sendProfilesToQtMenu();
    if (calls.vesk_show_phone_result != NULL)
        calls.vesk_show_phone_result();
    else
        vesk_log_printf(VESK_LOG_ERROR, PHONE_TAG, "the phone's hold-over is not shown in this build");
}

static void device_info(void)
{
    (void)call(calls.vesk_publish_storage, "the free-space report");
    sendResultToHTTP(PHONE_RESULT_DEVICE_INFO, (const uint8_t *)&g_stDeviceInfo, sizeof g_stDeviceInfo);
}

static void run_command(const vesk_phone_command *c)
{
    switch (c->cmd) {
    case PHONE_SET_SSID:
        printf("notifier_irsearch: set ssid = %s\n", c->payload);
        (void)wifiSetSSID(c->payload);
        break;
    case PHONE_GET_SSID:
        (void)wifiGetSSID();
        break;
    case PHONE_SET_PASSWORD:
        printf("notifier_irsearch: set passwd\n");
        (void)wifiSetPassword(c->payload);
        break;
    case PHONE_GET_PASSWORD:
        printf("notifier_irsearch: get passwd\n");
        (void)wifiGetPassword();
        break;
    case PHONE_DEVICE_INFO:
        device_info();
        break;
    case PHONE_PROFILES_FROM_PHONE:
        profiles_from_phone();
        break;
    case PHONE_PROFILES_TO_PHONE:
        (void)call(calls.vesk_bccal_export, "the exchange-file export");
        break;
    case PHONE_SET_CLOCK:
        printf("notifier_irsearch: set time is %s\n", c->payload);
        (void)set_date_and_time(c->payload);
        break;
    default:
        /* The phone side answers the others itself. */
        break;
    }
}

void notifier_irsearch(event_handle *handle, void *cb_data, int evtype, const void *evdata, int size)
{
    (void)handle;
    (void)cb_data;
    const uint8_t *frame = (const uint8_t *)evdata;
    if (evtype != SUB_NOTIFIER_HTTP || frame == NULL || size < VESK_FRAME_MIN ||
        frame[VESK_FRAME_OFF_OBJ] != SUB_NOTIFIER_HTTP)
        return;
    vesk_phone_command c;
    if (vesk_phone_command_parse(frame, size, &c) != 0) {
        vesk_log_printf(VESK_LOG_ERROR, PHONE_TAG, "phone frame refused: L=%u, %d bytes", frame[VESK_FRAME_OFF_LEN],
                        size);
        return;
    }
    run_command(&c);
}

int Qel_IRSearchInit(event_handle *handle, event_handle *app_bus)
{
    http_handle = handle;
    return event_receive_register(app_bus, notifier_irsearch, http_handle) == 0 ? 0 : -1;
}
