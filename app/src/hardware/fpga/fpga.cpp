#include "fpga.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "gpio.h"
#include "iniparser_handler.h"
#include "notifier.h"
#include "qel_dev_status.h"
#include "uart.h"
#include "version.h"
#include "vesk_clock.h"
#include "vesk_frame.h"
#include "vesk_log.h"
#include "vesk_msg.h"
#include "vesk_persist.h"
#include "vesk_signal.h"

#define FPGA_TAG_TX "fpga.tx"
#define FPGA_TAG_RX "fpga.rx"
#define FPGA_BAUD 115200
#define FPGA_IDLE_MS 100
#define FPGA_REPORT_TIMEOUT_MS 500
#define FPGA_POLARITY_PAUSE_MS 300
#define FPGA_BADPIX_RESUME_PAUSE_MS 50
#define FPGA_BADPIX_SAVE_PAUSE_MS 100
#define FPGA_TEXT_MAX FPGA_RX_RING

/* Bad-pixel cursor: the sensor's 640 x 512 pixels, centred on enable. */
#define BP_X_MAX 639
#define BP_Y_MAX 511
#define BP_X_CENTRE 320
#define BP_Y_CENTRE 256
enum { BADPIX_MODE_OFF = 0, BADPIX_MODE_ON = 1, BADPIX_MODE_RESUME = 2 };
enum { BADPIX_REPAIR_MANUAL = 0x00, BADPIX_REPAIR_SAVE = 0x02, BADPIX_REPAIR_AUTO = 0x08 };
/* Sub of the bad-pixel report that tells the GUI a repair or save ended. */
#define BADPIX_REPORT_DONE 3
/* Items of infrared reports: calibration done, bright light. */
#define IR_REPORT_CALIBRATED 11
#define IR_REPORT_BRIGHT 6

int Fpga_fd = -1;
volatile int fpgaUartInitFinished = 0;
volatile int voInitFlag = 0;
int scenc_current = -1;
int bp_x = BP_X_CENTRE, bp_y = BP_Y_CENTRE;
int lidOperation = 0;
static int uartTrans;

static event_handle *s_main_bus;
static event_handle *s_app_bus;
static pthread_t s_rx_thread;
static int s_rx_started;
static int s_wake[2] = {-1, -1};

static void fpga_sleep_ms(unsigned ms)
{
    struct timespec left = {(time_t)(ms / 1000), (long)(ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {}
}

/* ---- sending ---- */

void Ir_UartSendData(uint8_t *frame, int total)
{
    if (frame == NULL || total < FPGA_FRAME_OVERHEAD) return;
    lidOperation = 0;
    frame[total - 3] = fpga_check(frame, (size_t)total);
    int rc = uart_write(Fpga_fd, frame, (size_t)total);
    vesk_log_hex(FPGA_TAG_TX, frame, (size_t)total, rc);
    if (rc != total) printf("ir : Ir_UartSendData failed!\n");
}

static void fpga_send(uint16_t cmd, uint8_t kind, const uint8_t *params, size_t n)
{
    fpga_tx_frame f;
    if (fpga_frame_build(&f, cmd, kind, params, n) != 0) return;
    Ir_UartSendData(f.bytes, (int)f.size);
}

static void fpga_send1(uint16_t cmd, uint8_t p) { fpga_send(cmd, FPGA_KIND_SET, &p, 1); }

void ir_self_inspection(void) { fpga_send(FPGA_CMD_VERSION, FPGA_KIND_QUERY, NULL, 0); }

void ir_setAutoShutterClose(void)
{
    const uint8_t p[2] = {0, 0};
    fpga_send(FPGA_CMD_SHUTTER, FPGA_KIND_SET, p, 2);
}

void ir_save_config(void)
{
    /* Made ready on the save-all request, but never written to the line. */
    fpga_tx_frame f;
    if (fpga_frame_build(&f, FPGA_CMD_SAVE_CONFIG, FPGA_KIND_SET, NULL, 0) == 0)
        vesk_log_printf(VESK_LOG_DETAIL, FPGA_TAG_TX, "save configuration: %zu-byte frame built, not sent", f.size);
}

void sendCmdDataSetScene(int scene)
{
    uint8_t p[2];
    fpga_scene_params(scene, &p[0], &p[1]);
    if (p[0] == scenc_current) return;
    scenc_current = p[0];
    fpga_send(FPGA_CMD_SCENE, FPGA_KIND_SET, p, 2);
}

int fpga_uart_ready(void) { return fpgaUartInitFinished; }
int fpga_version_ready(void) { return voInitFlag; }

int get_fpga_fd(void)
{
    if (Fpga_fd < 0) printf("fpga uart error\n");
    return Fpga_fd;
}

int uart_trans_get(void) { return uartTrans; }
void uart_trans_set(int value) { uartTrans = value; }

int Fpga_Gpio_Init(int pin)
{
    if (gpio_export(pin) < 0) return -1;
    return gpio_set_direction(pin, 1);
}
int Fpga_Gpio_Set(int pin, int value) { return gpio_set_value(pin, value != 0 ? 1 : 0); }
int Fpga_Gpio_Get(int pin) { return gpio_get_value(pin); }
int Fpga_Gpio_Exit(int pin) { return gpio_unexport(pin); }

/* ---- reports ---- */

/* object, sub, item, value on the main bus, re-framed for the GUI there. */
static void fpga_report(uint8_t obj, uint8_t sub, uint8_t item, uint8_t value)
{
    const uint8_t ev[4] = {obj, sub, item, value};
    if (s_main_bus == NULL) return;
    if (event_broadcast_send(s_main_bus, MAIN_NOTIFIER_UI, ev, (int)sizeof ev, FPGA_REPORT_TIMEOUT_MS) != 0)
        vesk_log_printf(VESK_LOG_ERROR, FPGA_TAG_RX, "report %u/%u/%u dropped: main bus full", obj, sub, item);
}

/* ---- the core's frames ---- */

static void register_second_version(const fpga_rx_frame *frame)
{
    char text[FPGA_TEXT_MAX], shown[FPGA_TEXT_MAX];
    fpga_rx_text(frame, 5, text, sizeof text);
    if (voInitFlag) return;
    get_show_version(text, shown, sizeof shown);
    fpga_version_info_init("FPA2", "fpa2", shown);
    voInitFlag = 1;
}

static void Fpga_Handler(const fpga_rx_frame *frame)
{
    char text[FPGA_TEXT_MAX];
    switch (fpga_rx_command(frame)) {
    case FPGA_CMD_PART_NUMBER:
        fpga_rx_text(frame, 5, text, sizeof text);
        printf("fpgaPn = %s\n", text);
        break;
    case FPGA_CMD_SERIAL_NUMBER:
        fpga_rx_text(frame, 5, text, sizeof text);
        printf("fpgaSn = %s\n", text);
        break;
    case FPGA_CMD_FIRST_VERSION:
        fpga_rx_text(frame, 6, text, sizeof text);
        fpga_version_info_init("FPA1", "fpa1", text);
        break;
    case FPGA_CMD_VERSION:
        register_second_version(frame);
        break;
    case FPGA_CMD_BADPIX_REPAIR:
        printf("Fpga_Handler: blind save fin\n");
        fpga_report(SUB_NOTIFIER_BADPIX, BADPIX_REPORT_DONE, VESK_FRAME_NONE,
                    frame->size > 5 + 3 && frame->bytes[5] != 0 ? 1 : 0);
        break;
    case FPGA_CMD_BADPIX_AUTO:
        printf("Fpga_Handler: auto blind fin\n");
        qel_dev_status.s8IfInAutoBlind = 0;
        fpga_report(SUB_NOTIFIER_BADPIX, BADPIX_REPORT_DONE, VESK_FRAME_NONE, 0);
        break;
    case FPGA_CMD_CALIBRATE_DONE:
        fpga_report(SUB_NOTIFIER_IR, 1, IR_REPORT_CALIBRATED, 0);
        break;
    case FPGA_CMD_BRIGHT_OFF:
        fpga_report(SUB_NOTIFIER_IR, 1, IR_REPORT_BRIGHT, 0);
        break;
    case FPGA_CMD_BRIGHT_ON:
        fpga_report(SUB_NOTIFIER_IR, 1, IR_REPORT_BRIGHT, 1);
        break;
    default:
        break;
    }
}

static void fpga_on_frame(void *ctx, const fpga_rx_frame *frame)
{
    (void)ctx;
    vesk_log_hex(FPGA_TAG_RX, frame->bytes, frame->size, (int)frame->size);
    if (!fpga_rx_sound(frame)) {
        printf("error check!!\n");
        return;
    }
    Fpga_Handler(frame);
}

static void *PthreadRcvFpgaData(void *arg)
{
    (void)arg;
    static fpga_rx rx;
    fpga_rx_init(&rx);
    while (!is_signal_exit()) {
        struct pollfd fds[2] = {{Fpga_fd, POLLIN, 0}, {s_wake[0], POLLIN, 0}};
        int ready = poll(fds, 2, FPGA_IDLE_MS);
        if (ready < 0 && errno != EINTR) {
            vesk_log_printf(VESK_LOG_ERROR, FPGA_TAG_RX, "poll failed errno=%d", errno);
            break;
        }
        if (ready == 0) fpga_rx_feed(&rx, NULL, 0, vesk_mono_ms(), fpga_on_frame, NULL); /* a torn frame goes */
        if (ready <= 0) continue;
        if (fds[1].revents != 0) break;
        if (fds[0].revents & POLLNVAL) break;
        uint8_t buf[FPGA_RX_RING];
        ssize_t n = read(Fpga_fd, buf, sizeof buf);
        if (n > 0) {
            fpga_rx_feed(&rx, buf, (size_t)n, vesk_mono_ms(), fpga_on_frame, NULL);
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            /* Nobody holds the far end (or the line failed): wait as the
             * idle line does rather than spin. */
            fpga_sleep_ms(FPGA_IDLE_MS);
        }
    }
    printf("Fpga : thread exit!\n");
    return NULL;
}

/* ---- commands from the GUI ---- */

/* The byte fields of a command frame that carries one value. */
typedef struct {
    const uint8_t *frame;
    int size;
    uint8_t obj, sub, item, value;
} fpga_cmd;

static void forward_to_media(const fpga_cmd *c)
{
    Msgtext_App_To_Media(MSGQ_COMMAND_APP_TO_MEDIA, (uint32_t)c->size, c->frame);
}

static void irUartSet(uint8_t key, uint8_t v)
{
    printf("irUartSet: key %u value %u\n", key, v);
    if (key == FPGA_PARAM_IR_SCENE) {
        int scene = v < 1 ? 1 : v > 3 ? 3 : v;
        if (scene == 1 && qel_dev_status.zoom_current >= 400 && qel_dev_status.s8VideoMode == 0) scene = 4;
        sendCmdDataSetScene(scene);
        return;
    }
    fpga_tx_frame f;
    if (irUartSet_frame(key, v, &f)) Ir_UartSendData(f.bytes, (int)f.size);
}

/* Which image parameter lands in which element of irParam (and the INI
 * item of the same index). */
static const struct {
    uint8_t key;
    int index;
} ir_param_slots[] = {
    {FPGA_PARAM_IR_BRIGHTNESS, 0}, {FPGA_PARAM_IR_CONTRAST, 1},  {FPGA_PARAM_IR_ENHANCE, 2},
    {FPGA_PARAM_IR_POLARITY, 3},   {FPGA_PARAM_IR_HIGHLIGHT, 4}, {FPGA_PARAM_IR_SCENE, 6},
};

static void irParam_Save_Handler(uint8_t key, uint8_t v)
{
    if (vesk_persist_edit_begin() != 0) return;
    for (const auto &slot : ir_param_slots) {
        if (slot.key != key) continue;
        qel_dev_status.irParam[slot.index] = v;
        tevi_ir_save(v, slot.index, 0);
    }
    if (key == FPGA_PARAM_IR_HOTPOINT) {
        qel_dev_status.s8HotTrack = (char)v;
        Qel_DevStatusSet("s8HotTrack", v, 0);
    } else if (key == FPGA_PARAM_IR_AUTOSHUTTER) {
        qel_dev_status.s8AutoShutter = (char)v;
        Qel_DevStatusSet("s8AutoShutter", v, 0);
    }
    vesk_persist_edit_end();
}

static void ir_command(const fpga_cmd *c)
{
    irUartSet(c->item, c->value);
    if (c->sub == 1) irParam_Save_Handler(c->item, c->value);
    if (c->item == FPGA_PARAM_IR_POLARITY) {
        /* The media process switches palettes only once the core has. */
        if (qel_dev_status.irParam[3] == 2) fpga_sleep_ms(FPGA_POLARITY_PAUSE_MS);
        forward_to_media(c);
    } else if (c->item == FPGA_PARAM_IR_SCENE) {
        forward_to_media(c);
    }
}

static void badpix_send_cursor(void)
{
    const uint8_t p[4] = {(uint8_t)bp_x, (uint8_t)(bp_x >> 8), (uint8_t)bp_y, (uint8_t)(bp_y >> 8)};
    fpga_send(FPGA_CMD_BADPIX_CURSOR, FPGA_KIND_SET, p, sizeof p);
}

/* AA 0A 18 0F FF 00 x y (16 bits each, low byte first): where the media
 * process draws the bad-pixel cursor. */
static void badpix_cursor_to_media(void)
{
    uint8_t p[4];
    vesk_put_u16(p, (uint16_t)bp_x);
    vesk_put_u16(p + 2, (uint16_t)bp_y);
    uint8_t frame[VESK_FRAME_MIN + sizeof p];
    size_t size = vesk_frame_build(frame, sizeof frame, SUB_NOTIFIER_BADPIX, FPGA_BADPIX_POINT, VESK_FRAME_NONE,
                                   VESK_FRAME_FLAG_REQUEST, p, sizeof p);
    if (size != 0) Msgtext_App_To_Media(MSGQ_COMMAND_APP_TO_MEDIA, (uint32_t)size, frame);
}

static int clamp_int(int v, int top) { return v < 0 ? 0 : v > top ? top : v; }

static void badpix_move(uint8_t direction, int step)
{
    switch (direction) {
    case 0:
        bp_y -= step;
        break;
    case 1:
        bp_y += step;
        break;
    case 2:
        bp_x -= step;
        break;
    case 3:
        bp_x += step;
        break;
    default:
        break;
    }
    bp_x = clamp_int(bp_x, BP_X_MAX);
    bp_y = clamp_int(bp_y, BP_Y_MAX);
    badpix_send_cursor();
}

static void badPixUartSet(const fpga_cmd *c)
{
    switch (c->sub) {
    case FPGA_BADPIX_ENABLE:
        if (c->value == 1) {
            qel_dev_status.s8IfInAutoBlind = 0;
            fpga_send1(FPGA_CMD_BADPIX_MODE, BADPIX_MODE_RESUME);
            bp_x = BP_X_CENTRE;
            bp_y = BP_Y_CENTRE;
            badpix_send_cursor();
            fpga_sleep_ms(FPGA_BADPIX_RESUME_PAUSE_MS);
        }
        fpga_send1(FPGA_CMD_BADPIX_MODE, c->value != 0 ? BADPIX_MODE_ON : BADPIX_MODE_OFF);
        if (qel_dev_status.s8IfInAutoBlind == 0)
            fpga_report(SUB_NOTIFIER_BADPIX, BADPIX_REPORT_DONE, VESK_FRAME_NONE, 0);
        badpix_cursor_to_media();
        forward_to_media(c);
        break;
    case FPGA_BADPIX_MOVE:
    case FPGA_BADPIX_MOVE_TEN:
        badpix_move(c->value, c->sub == FPGA_BADPIX_MOVE ? 1 : 10);
        badpix_cursor_to_media();
        break;
    case FPGA_BADPIX_REPAIR:
        if (c->value == 0) {
            qel_dev_status.s8IfInAutoBlind = 1;
            fpga_send1(FPGA_CMD_BADPIX_AUTO, BADPIX_REPAIR_AUTO);
        } else {
            fpga_send1(FPGA_CMD_BADPIX_REPAIR, BADPIX_REPAIR_MANUAL);
        }
        break;
    case FPGA_BADPIX_SAVE:
        fpga_send1(FPGA_CMD_BADPIX_REPAIR, BADPIX_REPAIR_SAVE);
        fpga_sleep_ms(FPGA_BADPIX_SAVE_PAUSE_MS);
        fpga_send1(FPGA_CMD_BADPIX_MODE, BADPIX_MODE_OFF);
        break;
    default:
        printf("badPixUartSet: command %u not handled\n", c->sub);
        break;
    }
}

static void lidUartSet(const fpga_cmd *c)
{
    printf("lidUartSet: command %u item %u value %u\n", c->sub, c->item, c->value);
}

void notifier_Ir(event_handle *handle, void *cb_data, int evtype, const void *evdata, int size)
{
    (void)handle;
    (void)cb_data;
    if (evtype != SUB_NOTIFIER_IR || evdata == NULL) return;
    const uint8_t *f = (const uint8_t *)evdata;
    /* Every command here reads its value byte. */
    if (size < VESK_FRAME_MIN + 1) {
        vesk_log_printf(VESK_LOG_ERROR, FPGA_TAG_TX, "command of %d bytes has no value, dropped", size);
        return;
    }
    const fpga_cmd c = {
        f, size, f[VESK_FRAME_OFF_OBJ], f[VESK_FRAME_OFF_SUB], f[VESK_FRAME_OFF_ITEM], f[VESK_FRAME_OFF_PAYLOAD]};
    switch (c.obj) {
    case SUB_NOTIFIER_IR:
        ir_command(&c);
        break;
    case SUB_NOTIFIER_BADPIX:
        badPixUartSet(&c);
        break;
    case SUB_NOTIFIER_LID:
        lidUartSet(&c);
        break;
    default:
        break;
    }
}

/* ---- start and stop ---- */

static void fpga_close(void)
{
    for (int &fd : s_wake) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    if (Fpga_fd >= 0) uart_close(Fpga_fd);
    Fpga_fd = -1;
    fpgaUartInitFinished = 0;
}

int Qel_FpgaInit(const char *device, event_handle *main_bus, event_handle *app_bus)
{
    Fpga_fd = uart_open(device);
    if (Fpga_fd < 0) {
        printf("fpga : open %s falied!\n", device);
        return -1;
    }
    if (uart_set(Fpga_fd, FPGA_BAUD, 0, 8, 'N', 1) != 0)
        printf("fpga : uart set failed!\n");
    else
        fpgaUartInitFinished = 1;

    s_main_bus = main_bus;
    voInitFlag = 0;
    scenc_current = -1;
    if (pipe2(s_wake, O_CLOEXEC | O_NONBLOCK) != 0 ||
        pthread_create(&s_rx_thread, NULL, PthreadRcvFpgaData, NULL) != 0) {
        printf("fpga : pthread create failed!\n");
        fpga_close();
        return -1;
    }
    s_rx_started = 1;
    if (event_receive_register(app_bus, notifier_Ir, main_bus) != 0) {
        printf("notifier_media faild\n");
        return -1;
    }
    s_app_bus = app_bus;
    return 0;
}

void Qel_FpgaExit(void)
{
    /* No command may reach a closed line. */
    if (s_app_bus != NULL) event_receive_unregister(s_app_bus, notifier_Ir);
    s_app_bus = NULL;
    if (s_rx_started) {
        const char one = 1;
        /* Our own empty pipe: the byte always fits. */
        ssize_t w = write(s_wake[1], &one, 1);
        (void)w;
        pthread_join(s_rx_thread, NULL);
        s_rx_started = 0;
    }
    fpga_close();
}
