#include "qel_msg.h"
#include "ui_keys.h"
#include "ui_status.h"
#include "vesk_log.h"
#include "vesk_lrf_ui.h"

#define APP_TO_GUI_TAG "ipc.app_to_gui"

uint8_t check_num(const uint8_t *frame, int length) { return length < 3 ? 0 : msg_check_num(frame, (size_t)length); }

static int frame_size_ok(const uint8_t *frame, int size)
{
    return size > 0 && vesk_control_size_valid(frame, (size_t)size);
}

int Protocol_parse(const uint8_t *frame, int size)
{
    const size_t n = size < 0 ? 0 : (size_t)size;
    const vesk_frame_fault fault = vesk_frame_check(frame, n);
    const char *name = vesk_frame_fault_name(fault);
    switch (fault) {
    case VESK_FRAME_SOUND:
        return 0;
    case VESK_FRAME_BAD_SIZE:
        vesk_log_printf(VESK_LOG_ERROR, APP_TO_GUI_TAG, "%s size=%d", name, (int)n);
        break;
    case VESK_FRAME_BAD_HEAD:
        vesk_log_printf(VESK_LOG_ERROR, APP_TO_GUI_TAG, "%s byte=0x%02x", name, frame[0]);
        break;
    case VESK_FRAME_BAD_CHECK:
        vesk_log_printf(VESK_LOG_ERROR, APP_TO_GUI_TAG, "%s expected=0x%02x got=0x%02x", name, check_num(frame, size),
                        frame[n - 3]);
        break;
    case VESK_FRAME_BAD_TAIL1:
    case VESK_FRAME_BAD_TAIL2:
        vesk_log_printf(VESK_LOG_ERROR, APP_TO_GUI_TAG, "%s byte=0x%02x", name,
                        frame[fault == VESK_FRAME_BAD_TAIL1 ? n - 2 : n - 1]);
        break;
    }
    return -1;
}

/* Rangefinder reports by command; the range-switch acknowledgement has its
 * own handler and raises what its senders raise. */
static void distance_func(const uint8_t *frame, int length)
{
    switch (frame[VESK_FRAME_OFF_SUB]) {
    case 0:
        if (vesk_lrf_ui_on_state(frame, length) == 0) event_distrubution(UI_EVT(UI_EV_LRF_STATE));
        break;
    case 2:
        if (vesk_lrf_ui_on_result(frame, length) == 0) event_distrubution(UI_EVT(UI_EV_LRF_RESULT));
        break;
    case 7:
        RangeSwitch_func(frame, length);
        break;
    case 8:
        if (vesk_lrf_ui_on_settings(frame, length) == 0) event_distrubution(UI_EVT(UI_EV_LRF_SETTINGS));
        break;
    default:
        break;
    }
}

typedef void (*ui_report_handler)(const uint8_t *frame, int length);

static const struct {
    uint8_t object;
    ui_report_handler handler;
} ui_report_routes[] = {
    {MSGQ_TYPE_BAISC, basic_func},
    {MSGQ_TYPE_INFRARED, IrInfo_func},
    {MSGQ_TYPE_DISTANCE, distance_func},
    {MSGQ_TYPE_WIFI, wifi_func},
    {MSGQ_TYPE_COMPASS, compass_func},
    {MSGQ_TYPE_KEY, ui_key_report},
    {MSGQ_TYPE_BATTERY_VALUE, battery_func},
    {MSGQ_TYPE_PARAMETER_INIT, parameter_func},
    {MSGQ_TYPE_RETICLE, Reticle_PositionSet_func},
    {MSGQ_TYPE_TAP, tap_func},
    {MSGQ_TYPE_BLIND, blind_func},
    {MSGQ_TYPE_GG, gg_func},
    {MSGQ_TYPE_UPDATA, updata_func},
    {MSGQ_TYPE_BALLISTIC, ballistic_func},
    {MSGQ_TYPE_RECOIL, rav_func},
    {MSGQ_WIND_INFO, wind_info_func},
};

void uiOperationControl(const uint8_t *frame, int length)
{
    if (!frame_size_ok(frame, length)) return;
    vesk_log_ipc(APP_TO_GUI_TAG, frame, (size_t)length, 0);
    if (Protocol_parse(frame, length) != 0) return;
    for (size_t i = 0; i < sizeof(ui_report_routes) / sizeof(ui_report_routes[0]); i++) {
        if (ui_report_routes[i].object == frame[VESK_FRAME_OFF_OBJ]) {
            ui_report_routes[i].handler(frame, length);
            return;
        }
    }
}
