// The zoom-ring and USB-state threads of the board module.
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

#include "i2c_ms1100.h"
#include "msg_media.h"
#include "other_internal.h"
#include "qel_dev_status.h"
#include "qel_other.h"
#include "vesk_frame.h"
#include "vesk_log.h"
#include "vesk_msg.h"
#include "vesk_worker.h"

#define OTHER_BUS_TIMEOUT_MS 500
#define ZOOM_PERIOD_MS 20
#define ZOOM_DEAD_BAND 100 /* counts a reading may move without news */
#define ZOOM_STEPS 350     /* the ring's span in steps */
#define ZOOM_COUNTS_MIN 1000
#define ZOOM_COUNTS_MAX 12000
#define ZOOM_SCENE_FROM 400 /* from x4 on the scene suits a narrow view */
#define USB_PERIOD_MS 100
#define USB_PERIOD_EARLY_MS 10
#define USB_SAMPLES 8
#define USB_SAMPLE_MS 10
#define HTTP_RESULT_USB 11
#define HTTP_RESULT_BATTERY 12

static vesk_worker other_worker = VESK_WORKER_INIT;
static pthread_t zoom_thread, usb_thread;
static int zoom_started, usb_started;

/* ---- zoom ring ----------------------------------------------------------- */

/* Rows of the ring's table: from k steps above the minimum the zoom is
 * base plus the steps beyond k, w steps to each whole magnification. */
static const struct {
    int k, base, w;
} zoom_rows[] = {
    {330, 700, 20}, {310, 600, 20}, {280, 500, 30}, {240, 400, 40}, {180, 300, 60}, {100, 200, 80}, {0, 100, 100},
};

int vesk_zoom_limits(int min, int max, vesk_zoom_map *out)
{
    if (min > max) {
        const int t = min;
        min = max;
        max = t;
    }
    if (min < ZOOM_COUNTS_MIN) min = ZOOM_COUNTS_MIN;
    if (max > ZOOM_COUNTS_MAX) max = ZOOM_COUNTS_MAX;
    if ((max - min) / ZOOM_STEPS < 1) return -1;
    out->min = min;
    out->max = max;
    return 0;
}

int vesk_zoom_of(const vesk_zoom_map *map, int rev)
{
    const int s = (map->max - map->min) / ZOOM_STEPS;
    if (rev >= map->min + ZOOM_STEPS * s) return 800;
    for (const auto &row : zoom_rows)
        if (rev >= map->min + row.k * s) return row.base + (rev - map->min - row.k * s) * 100 / s / row.w;
    return 100;
}

static struct {
    event_handle *bus;
    vesk_zoom_map map; /* the last limits that could be mapped */
    int refused_min, refused_max;
    int reported; /* a zoom went to the GUI */
    int last;
} zoom;

void vesk_zoom_reset(event_handle *bus)
{
    memset(&zoom, 0, sizeof zoom);
    zoom.bus = bus;
    zoom.map.min = ZOOM_COUNTS_MIN;
    zoom.map.max = ZOOM_COUNTS_MAX;
}

/* The limits in force: those stored now, unless the PC link stored a pair
 * that cannot be mapped; then the last good pair stays. */
static const vesk_zoom_map *zoom_map(void)
{
    const int min = qel_dev_status.s16RangeMinScale, max = qel_dev_status.s16RangeMaxScale;
    vesk_zoom_map map;
    if (vesk_zoom_limits(min, max, &map) == 0) {
        zoom.map = map;
    } else if (min != zoom.refused_min || max != zoom.refused_max) {
        zoom.refused_min = min;
        zoom.refused_max = max;
        vesk_log_printf(VESK_LOG_ERROR, "zoom", "ring limits %d..%d refused: span below %d counts; keeping %d..%d", min,
                        max, ZOOM_STEPS, zoom.map.min, zoom.map.max);
    }
    return &zoom.map;
}

/* AA 08 01 01 item 00 zL zH: the zoom for the media process (item F0 the
 * first one at boot, 10 a change). */
static void zoom_to_media(uint8_t item, int z)
{
    uint8_t frame[VESK_FRAME_MIN + 2];
    const uint8_t p[2] = {(uint8_t)(z & 0xFF), (uint8_t)((z >> 8) & 0xFF)};
    size_t n = vesk_frame_build(frame, sizeof frame, SUB_NOTIFIER_IR, 1, item, VESK_FRAME_FLAG_REQUEST, p, 2);
    Msgtext_App_To_Media(MSGQ_COMMAND_APP_TO_MEDIA, (uint32_t)n, frame);
}

void get_zoom_by_voltage(int raw)
{
    Qel_DevStatus *s = &qel_dev_status;
    const vesk_zoom_map *map = zoom_map();
    const int diff = raw - s->s16RangeCurrentScale;
    if (diff >= -ZOOM_DEAD_BAND && diff <= ZOOM_DEAD_BAND) return;
    int rev = map->min + map->max - raw;
    if (rev < 0) rev = 0;
    const int z = vesk_zoom_of(map, rev);
    if (!s->zoom_send_media) {
        zoom_to_media(0xF0, z);
        s->zoom_send_media = 1;
        s->s16RangeCurrentScaleMedia = (short)rev;
        return;
    }
    if (!s->ui_ready) return;
    if (zoom.reported && z == zoom.last) return;
    zoom.reported = 1;
    zoom.last = z;
    s->s16RangeCurrentScale = (short)raw;
    const uint8_t ev[5] = {SUB_NOTIFIER_RING, 1, 16, (uint8_t)(z & 0xFF), (uint8_t)((z >> 8) & 0xFF)};
    if (zoom.bus != NULL) event_broadcast_send(zoom.bus, 1, ev, sizeof ev, OTHER_BUS_TIMEOUT_MS);
    s->zoom_send_state = 1;
    s->zoom_current = z;
    const int moved = rev - s->s16RangeCurrentScaleMedia;
    if (s->temp_one_flag || (moved >= -ZOOM_DEAD_BAND && moved <= ZOOM_DEAD_BAND)) return;
    updateReticlePointToMedia(zoom.bus);
    zoom_to_media(0x10, z);
    s->s16RangeCurrentScaleMedia = (short)rev;
    const vesk_msg_hooks *hooks = vesk_msg_get_hooks();
    if (s->irParam[6] == 1 && hooks->vesk_core_set_scene != NULL)
        hooks->vesk_core_set_scene(s->zoom_current >= ZOOM_SCENE_FROM && s->s8VideoMode == 0 ? 4 : 1);
}

static void *PthreadCheckHardwareVersion(void *arg)
{
    (void)arg;
    prctl(PR_SET_NAME, "zoom_ring", 0, 0, 0);
    Qel_DevStatus *s = &qel_dev_status;
    vesk_zoom_map map;
    if (vesk_zoom_limits(s->s16RangeMinScale, s->s16RangeMaxScale, &map) == 0) {
        s->s16RangeMinScale = (short)map.min;
        s->s16RangeMaxScale = (short)map.max;
    }
    vesk_adc_channel ring = {ZOOM_ADC_RAW, -1};
    do {
        const int raw = vesk_adc_channel_read(&ring);
        if (raw >= 0) get_zoom_by_voltage(raw);
    } while (!vesk_worker_sleep(&other_worker, ZOOM_PERIOD_MS));
    vesk_adc_channel_close(&ring);
    return NULL;
}

/* ---- USB state ------------------------------------------------------------- */

enum { USB_REG_STATUS = 0, USB_REG_LINE = 2056 };
#define USB_SUPPLY_BITS 0xC0000u

static uint32_t usb_word(const volatile uint8_t *regs, size_t offset)
{
    return *(const volatile uint32_t *)(regs + offset);
}

int vesk_usb_state(const volatile uint8_t *regs, void (*sleep_ms)(int ms))
{
    if (!(usb_word(regs, USB_REG_STATUS) & USB_SUPPLY_BITS)) return 0;
    uint32_t samples[USB_SAMPLES];
    for (int i = 0; i < USB_SAMPLES; i++) {
        if (i > 0 && sleep_ms != NULL) sleep_ms(USB_SAMPLE_MS);
        samples[i] = (usb_word(regs, USB_REG_LINE) >> 8) & 0x3FFF;
    }
    return samples[2] == samples[4] && samples[4] == samples[6] ? 1 : 2;
}

static struct {
    event_handle *bus;
    int sent; /* the first state went to the GUI */
    int last;
} usb;

void vesk_usb_reset(event_handle *bus)
{
    memset(&usb, 0, sizeof usb);
    usb.bus = bus;
}

static void usb_report(int present)
{
    const uint8_t ev[4] = {SUB_NOTIFIER_VOLTAGE, (uint8_t)present, 0, 1};
    if (usb.bus != NULL) event_broadcast_send(usb.bus, 1, ev, sizeof ev, OTHER_BUS_TIMEOUT_MS);
    const uint8_t data = (uint8_t)present;
    sendResultToHTTP(HTTP_RESULT_USB, &data, 1);
}

void vesk_usb_step(int state)
{
    Qel_DevStatus *s = &qel_dev_status;
    s->usb_state_current = state;
    if (!s->ui_ready) return;
    if (!usb.sent) {
        usb.sent = 1;
        usb_report(state != 0);
        usb.last = state;
        s->usb_send_state = 1;
        return;
    }
    if (state == usb.last) return;
    if (state == 0) {
        /* Unplugged: the voltage without the charger, before the news. */
        int cv = 0;
        Qel_ReadBatData(&cv);
        const uint8_t ev[4] = {SUB_NOTIFIER_VOLTAGE, (uint8_t)(cv & 0xFF), (uint8_t)((cv >> 8) & 0xFF), 0};
        if (usb.bus != NULL) event_broadcast_send(usb.bus, 1, ev, sizeof ev, OTHER_BUS_TIMEOUT_MS);
        sendResultToHTTP(HTTP_RESULT_BATTERY, &ev[1], 2);
        s->battery_refresh = 1;
        s->voltage_now = cv;
    }
    usb_report(state != 0);
    usb.last = state;
}

static void usb_sleep(int ms) { vesk_worker_sleep(&other_worker, ms); }

static void *PthreadCheckUsbState(void *arg)
{
    (void)arg;
    prctl(PR_SET_NAME, "usb_state", 0, 0, 0);
    int fd = open("/dev/mem", O_RDWR | O_SYNC | O_CLOEXEC);
    if (fd < 0) {
        printf("failed to open /dev/mem!\n");
        return NULL;
    }
    void *map = mmap(NULL, VESK_USB_REG_BYTES, PROT_READ, MAP_SHARED, fd, (off_t)VESK_USB_REG_BASE);
    if (map == MAP_FAILED) {
        printf("failed to mmap 0x%08x\n", (unsigned)VESK_USB_REG_BASE);
        close(fd);
        return NULL;
    }
    const volatile uint8_t *regs = (const volatile uint8_t *)map;
    while (!vesk_worker_stopping(&other_worker)) {
        vesk_usb_step(vesk_usb_state(regs, usb_sleep));
        if (vesk_worker_sleep(&other_worker, qel_dev_status.ui_ready ? USB_PERIOD_MS : USB_PERIOD_EARLY_MS)) break;
    }
    munmap(map, VESK_USB_REG_BYTES);
    close(fd);
    return NULL;
}

/* ---- start and stop ---------------------------------------------------------- */

static int other_worker_ready(void)
{
    if (other_worker.wake[0] >= 0) return 0;
    return vesk_worker_open(&other_worker);
}

int vesk_zoom_start(event_handle *main_bus)
{
    vesk_zoom_reset(main_bus);
    if (other_worker_ready() != 0) return -1;
    zoom_started = pthread_create(&zoom_thread, NULL, PthreadCheckHardwareVersion, NULL) == 0;
    return zoom_started ? 0 : -1;
}

int vesk_usb_start(event_handle *main_bus)
{
    vesk_usb_reset(main_bus);
    if (other_worker_ready() != 0) return -1;
    usb_started = pthread_create(&usb_thread, NULL, PthreadCheckUsbState, NULL) == 0;
    return usb_started ? 0 : -1;
}

void vesk_zoom_usb_stop(void)
{
    vesk_worker_stop(&other_worker);
    if (zoom_started) pthread_join(zoom_thread, NULL);
    if (usb_started) pthread_join(usb_thread, NULL);
    zoom_started = usb_started = 0;
    vesk_worker_close(&other_worker);
}
