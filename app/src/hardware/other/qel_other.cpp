#include "qel_other.h"

#include <pthread.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "other_internal.h"
#include "qel_dev_status.h"
#include "vesk_frame.h"
#include "vesk_lifecycle.h"
#include "vesk_msg.h"
#include "vesk_persist.h"

vesk_reset_prior g_vesk_reset_prior;

/* Frame bytes of a basic command. */
enum { OFF_VALUE = VESK_FRAME_OFF_PAYLOAD };

/* The image settings of a unit as it leaves the factory. */
static const struct {
    int index;
    int value;
} factory_image[] = {
    {0, 5}, /* brightness */
    {1, 4}, /* contrast */
    {2, 1}, /* enhancement */
    {3, 0}, /* polarity */
    {4, 0}, /* highlight */
    {6, 1}, /* scene */
};

void vesk_other_format_prepublish(void *context)
{
    (void)context;
    qel_dev_status.is_factory = 1;
}

void vesk_other_reset_prepublish(void *context)
{
    (void)context;
    Qel_DevStatus *s = &qel_dev_status;
    for (const auto &f : factory_image) g_vesk_reset_prior.irParam[f.index] = s->irParam[f.index];
    g_vesk_reset_prior.s8HotTrack = s->s8HotTrack;
    for (const auto &f : factory_image) s->irParam[f.index] = f.value;
    s->s8HotTrack = 0;
    s->is_factory = 1;
}

void vesk_other_cancel_factory_state(int reason)
{
    if (reason != VESK_PERSIST_RESET && reason != VESK_PERSIST_FORMAT) return;
    Qel_DevStatus *s = &qel_dev_status;
    s->is_factory = 0;
    if (reason != VESK_PERSIST_RESET) return;
    for (const auto &f : factory_image) s->irParam[f.index] = g_vesk_reset_prior.irParam[f.index];
    s->s8HotTrack = g_vesk_reset_prior.s8HotTrack;
}

#define SSID_PREFIX "VeskNV_"
#define SSID_SUFFIX "_NuraxPRO520_LRF"
#define SSID_GENERIC SSID_PREFIX "SN" SSID_SUFFIX

int vesk_other_sn_fits_ssid(const char *sn)
{
    if (sn == NULL || *sn == '\0') return 0;
    size_t n = 0;
    for (const char *p = sn; *p; p++, n++) {
        const char c = *p;
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-'))
            return 0;
    }
    /* The access point takes at most 32 characters for its name. */
    return n + strlen(SSID_PREFIX SSID_SUFFIX) <= VESK_SSID_MAX;
}

void vesk_other_reset_ssid(const char *sn, char *out, size_t size)
{
    /* The check bounds the serial number, so the name is never cut. */
    if (vesk_other_sn_fits_ssid(sn))
        snprintf(out, size, SSID_PREFIX "%.*s" SSID_SUFFIX, VESK_SSID_MAX, sn);
    else
        snprintf(out, size, "%s", SSID_GENERIC);
}

/* ---- commands ------------------------------------------------------------ */

static void request(vesk_persist_reason reason, void (*hook)(void *))
{
    vesk_persist_request req;
    memset(&req, 0, sizeof req);
    req.vesk_reason = reason;
    if (hook != NULL)
        (void)vesk_lifecycle_request_prepublish(&req, hook, NULL);
    else
        (void)vesk_lifecycle_request(&req);
}

static void other_laser(const uint8_t *frame, int size)
{
    (void)size;
    const uint8_t value = frame[OFF_VALUE];
    Power_Ctrl_IO(VESK_BOARD_HW_REQUEST(VESK_BOARD_HW_LASER_SWITCH), value == 1 ? 1 : 0);
    qel_dev_status.s8LaserSwitch = (char)value;
}

static void other_reboot(const uint8_t *frame, int size)
{
    (void)size;
    if (frame[OFF_VALUE] == 1)
        request(VESK_PERSIST_REBOOT, NULL);
    else
        printf("power reboot ????\n");
}

static void other_to_media(const uint8_t *frame, int size)
{
    Msgtext_App_To_Media(MSGQ_COMMAND_APP_TO_MEDIA, (uint32_t)size, frame);
}

/* AA 08 1D 00 FF 00 value CHK EB AA: the wind meter's switch for the BLE
 * service, whose parser expects the length byte 8 on this ten-byte frame. */
static void other_wind(const uint8_t *frame, int size)
{
    (void)size;
    const uint8_t value = frame[OFF_VALUE];
    qel_dev_status.s8WindBalSwitch = (char)value;
    qel_dev_status.wind_speed_now = 0;
    uint8_t ble[10] = {
        VESK_FRAME_HEAD, 0x08, SUB_NOTIFIER_BLUETOOTH, 0x00, VESK_FRAME_NONE, 0x00, value, 0, VESK_FRAME_TAIL1,
        VESK_FRAME_TAIL2};
    ble[7] = msg_check_num(ble, sizeof ble);
    Msgtext_App_To_BLE(MSGQ_COMMAND_APP_TO_BLE, sizeof ble, ble);
}

static void other_format(const uint8_t *frame, int size)
{
    (void)size;
    if (frame[OFF_VALUE] == 1)
        request(VESK_PERSIST_FORMAT, vesk_other_format_prepublish);
    else
        printf("format ????\n");
}

static void other_shutdown(const uint8_t *frame, int size)
{
    (void)size;
    const uint8_t value = frame[OFF_VALUE];
    if (value >= 1 && value <= 4)
        request((vesk_persist_reason)value, NULL);
    else
        printf("notifier_other: 0x0d param error! msgText[6] = %#x\n", value);
}

static void other_uart(const uint8_t *frame, int size)
{
    (void)size;
    Power_Ctrl_UART(frame[OFF_VALUE]);
}

static void other_reset(const uint8_t *frame, int size)
{
    (void)size;
    const int everything = frame[OFF_VALUE] == 2;
    vesk_persist_request req;
    memset(&req, 0, sizeof req);
    req.vesk_reason = VESK_PERSIST_RESET;
    req.vesk_from_upper = everything;
    req.vesk_format_media = everything;
    req.vesk_reticle_menu = qel_dev_status.reticleParam[4];
    char sn[sizeof qel_dev_status.sn];
    memcpy(sn, qel_dev_status.sn, sizeof sn);
    sn[sizeof sn - 1] = '\0';
    vesk_other_reset_ssid(sn, req.vesk_reset_ssid, sizeof req.vesk_reset_ssid);
    (void)vesk_lifecycle_request_prepublish(&req, vesk_other_reset_prepublish, NULL);
}

typedef void (*other_handler)(const uint8_t *frame, int size);

static const struct {
    uint8_t item;
    other_handler handler;
} other_items[] = {
    {22, other_laser},  {32, other_reboot},   {26, other_to_media}, {27, other_to_media}, {34, other_wind},
    {12, other_format}, {13, other_shutdown}, {18, other_uart},     {11, other_reset},
};

void notifier_other(event_handle *handle, void *cb_data, int evtype, const void *evdata, int size)
{
    (void)handle;
    (void)cb_data;
    const uint8_t *frame = (const uint8_t *)evdata;
    /* Every command carries its value in byte 6. */
    if (evtype != SUB_NOTIFIER_IMAGE || frame == NULL || size < VESK_FRAME_OVERHEAD + 1) return;
    for (const auto &row : other_items) {
        if (row.item == frame[VESK_FRAME_OFF_ITEM]) {
            row.handler(frame, size);
            return;
        }
    }
}

/* ---- self-inspection ------------------------------------------------------ */

static event_handle *self_bus;

/* A counted self-check event: 11, 5 (bytes that follow), sub 0, item 1,
 * then the check and its result. */
static void self_report(uint8_t check, uint8_t result)
{
    const uint8_t ev[6] = {SUB_NOTIFIER_SELF, 5, 0, 1, check, result};
    if (self_bus != NULL) event_broadcast_send(self_bus, 1, ev, sizeof ev, 500);
}

enum { SELF_CHECK_REPEAT = 3, SELF_CHECK_STORAGE = 7 };

void emmc_self_inspection(void) { self_report(SELF_CHECK_STORAGE, access("/usrdata/media", F_OK) == 0 ? 1 : 2); }

void notifier_self(event_handle *handle, void *cb_data, int evtype, const void *evdata, int size)
{
    (void)handle;
    (void)cb_data;
    const uint8_t *frame = (const uint8_t *)evdata;
    if (evtype != SUB_NOTIFIER_SELF || frame == NULL || size < VESK_FRAME_OVERHEAD + 1) return;
    const uint8_t value = frame[OFF_VALUE];
    if (value == 0)
        emmc_self_inspection();
    else if (value == SELF_CHECK_REPEAT && size >= VESK_FRAME_OVERHEAD + 2)
        self_report(SELF_CHECK_REPEAT, frame[OFF_VALUE + 1]);
}

int Qel_SelfInit(event_handle *main_bus, event_handle *app_bus)
{
    self_bus = main_bus;
    return event_receive_register(app_bus, notifier_self, NULL) == 0 ? 0 : -1;
}

/* ---- start and stop -------------------------------------------------------- */

int Qel_OtherInit(event_handle *main_bus, event_handle *app_bus)
{
    if (event_receive_register(app_bus, notifier_other, NULL) != 0) {
        printf("notifier_other faild\n");
        return -1;
    }
    if (vesk_zoom_start(main_bus) != 0) {
        printf("Hardware : pthread create failed!\n");
        return -1;
    }
    if (vesk_usb_start(main_bus) != 0) {
        printf("UsbState : pthread create failed!\n");
        return -1;
    }
    printf("%s End\n", __func__);
    return 0;
}

void Qel_OtherExit(void) { vesk_zoom_usb_stop(); }
