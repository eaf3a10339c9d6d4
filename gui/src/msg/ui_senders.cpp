#include "ui_senders.h"

#include <errno.h>
#include <string.h>
#include <unistd.h>

#include "qel_msg.h"
#include "ui_status.h"
#include "vesk_clock.h"
#include "vesk_log.h"
#include "vesk_msgq_client.h"
#include "vesk_profile_fields.h"

#define GUI_TO_APP_TAG "ipc.gui_to_app"
#define UI_COMPASS_CORRECTION_PAGE "compass_correction"

/* A full sightd queue is a burst sightd drains in a few milliseconds; a
 * request the shooter made on a page is worth holding the GUI thread that
 * long rather than losing it. The bound keeps a stalled sightd from freezing
 * the screen. */
#define UI_SEND_RETRY_MS 200
#define UI_SEND_RETRY_STEP_US 2000

/* Failures of the GUI's requests: one line opens a burst, then one count per
 * window, as sightd counts its own sends. */
static vesk_msgq_window s_send_failures;

static int send_record(uint8_t type, int length, const uint8_t *frame, int quiet)
{
    const uint64_t deadline = vesk_mono_ms() + UI_SEND_RETRY_MS;
    for (;;) {
        int rc = quiet ? Qel_SendMsgEventQuiet(type, MSGQ_COMMAND_BY_UI, frame, length)
                       : Qel_SendMsgEvent(type, MSGQ_COMMAND_BY_UI, frame, length);
        if (rc == 0 || quiet || errno != EAGAIN || vesk_mono_ms() >= deadline) return rc;
        usleep(UI_SEND_RETRY_STEP_US);
    }
}

int Msgtext_Ui_To_App(uint8_t type, int length, const uint8_t *frame)
{
    /* The debug and dynamic-coefficient requests go through the quiet
     * variant, and are not held for: they switch the log itself. */
    int quiet = length == 10 && frame != NULL && frame[VESK_FRAME_OFF_OBJ] == MSGQ_TYPE_BAISC &&
                (frame[VESK_FRAME_OFF_ITEM] == BASIC_DEBUG_MODE || frame[VESK_FRAME_OFF_ITEM] == BASIC_DYNAMIC_BC);
    int rc = send_record(type, length, frame, quiet);
    const int err = errno;
    const uint32_t size = length > 0 ? (uint32_t)length : 0;
    vesk_log_ipc(GUI_TO_APP_TAG, frame, size, rc);
    vesk_msgq_note_send(&s_send_failures, GUI_TO_APP_TAG, type, size, rc != 0, err, vesk_msgq_clock_ms());
    return rc == 0 ? 1 : -1;
}

/* ---- builders ---- */

static int send_frame(uint8_t obj, uint8_t cmd, uint8_t item, const uint8_t *payload, size_t n)
{
    uint8_t frame[VESK_FRAME_BUILD_MAX];
    size_t size = vesk_frame_build(frame, sizeof(frame), obj, cmd, item, VESK_FRAME_FLAG_REQUEST, payload, n);
    return Msgtext_Ui_To_App(MSGQ_COMMAND_UI_TO_APP, (int)size, frame);
}

int BasicFunctionHandlerToApp(uint8_t obj, uint8_t cmd, uint8_t item, uint8_t value)
{
    return send_frame(obj, cmd, item, &value, 1);
}

int wifiHandlerToApp(uint8_t obj, uint8_t cmd, uint8_t item, uint8_t value)
{
    return BasicFunctionHandlerToApp(obj, cmd, item, value);
}

int UIreadyToApp(uint8_t obj, uint8_t cmd, uint8_t item, uint8_t value)
{
    return BasicFunctionHandlerToApp(obj, cmd, item, value);
}

int QelHandlerToApp(uint8_t obj, uint8_t cmd, uint8_t item, uint8_t value, uint8_t value2)
{
    const uint8_t payload[2] = {value, value2};
    return send_frame(obj, cmd, item, payload, sizeof(payload));
}

int VeskLrfHandlerToApp(uint8_t obj, uint8_t cmd, uint8_t item, const uint8_t payload[4])
{
    return send_frame(obj, cmd, item, payload, 4);
}

int TapVideoHandlerToApp(uint8_t obj, uint8_t cmd, uint8_t item, uint8_t operation, const uint8_t name[24])
{
    uint8_t payload[25];
    payload[0] = operation;
    memcpy(payload + 1, name, 24);
    return send_frame(obj, cmd, item, payload, sizeof(payload));
}

int VideoFrameHandlerToApp(uint8_t obj, uint8_t cmd, uint8_t item, uint64_t frames)
{
    uint8_t payload[8];
    vesk_put_u32(payload, (uint32_t)frames);
    vesk_put_u32(payload + 4, (uint32_t)(frames >> 32));
    return send_frame(obj, cmd, item, payload, sizeof(payload));
}

/* Four-byte payloads of the 13-byte frames. */
static void put_i16_pair(uint8_t p[4], int16_t a, int16_t b)
{
    vesk_put_u16(p, (uint16_t)a);
    vesk_put_u16(p + 2, (uint16_t)b);
}

static void put_byte(uint8_t p[4], uint8_t v)
{
    memset(p, 0, 4);
    p[0] = v;
}

static void raise2(int a, int b)
{
    event_distrubution(UI_EVT(a));
    if (b) event_distrubution(UI_EVT(b));
}

/* ---- basic object ---- */

static const char ui_value_one = 1;

/* item -> where its value lives, and the event it raises */
static const struct {
    uint8_t item;
    const char *value;
    int event;
} ui_basic_rows[] = {
    {BASIC_INFO_DISPLAY_MODE, &stDevStatus.s8ConciseMode, 0},
    {BASIC_SCREEN_LIGHT, &stDevStatus.s8ScreenBrightness, 0},
    {BASIC_CVBS_MODE, &stDevStatus.s8VideoOut, 0},
    {BASIC_RESET_MODE, &ui_value_one, 0},
    {BASIC_STORAGE_FORMAT, &ui_value_one, 0},
    {BASIC_AUTO_SCREEN, &stDevStatus.s8ScreenOff, 0},
    {BASIC_LANGUAGE, &stDevStatus.s8Language, 0},
    {BASIC_FILE_ORDER, &stDevStatus.s8SortType, 0},
    {BASIC_USB_TYPE, &stUIStatus.s8UsbMode, UI_EV_USB_MODE},
    {BASIC_POWER_SUPPLY, &stUIStatus.s8PowerSwitch, 0},
    {BASIC_USE_MODE, &stDevStatus.s8UseMode, 0},
    {BASIC_LASER_SWITCH, &stUIStatus.s8LaserSwitch, UI_EV_LASER_SWITCH},
    {BASIC_FILL_SWITCH, &stDevStatus.s8FillLightSwitch, 0},
    {BASIC_FILL_LIGHT, &stDevStatus.s8FillLightBright, 0},
    {BASIC_MICRO, &stDevStatus.s8MicroSwitch, UI_EV_MICRO},
    {BASIC_REBOOT, &ui_value_one, 0},
    {BASIC_COMPASS_SWITCH, &stDevStatus.s8CompassSwitch, UI_EV_COMPASS_SWITCH},
    {BASIC_WIND_SWITCH, &stUIStatus.s8WindSwitch, UI_EV_WIND_SPEED},
    {BASIC_WIND_COUNT_SWITCH, &stUIStatus.s8WindCountSwitch, UI_EV_WIND_SPEED},
    {BASIC_RANGE_TYPE, &stDevStatus.s8RangeType, 0},
    {BASIC_DISTANCE_UINT, &stDevStatus.s8DistanceUint, UI_EV_DISTANCE_UNIT},
    {BASIC_MENU_LEVEL, &stUIStatus.s8CurrentMenu, 0},
    {BASIC_COMPASS_AUTO_ANGLE_SWITCH, &stDevStatus.s8CompassAutoAngleSwitch, 0},
};

static ret_t on_video_mode_timer(const timer_info_t *timer)
{
    (void)timer;
    BasicFunctionHandlerToApp(MSGQ_TYPE_BAISC, 0, BASIC_VIDEO_MODE, stDevStatus.s8VideoMode);
    return RET_REMOVE;
}

int GUI_SEND_BASIC_FUNCTION_MSG(int item)
{
    if (item == BASIC_VIDEO_MODE) {
        /* The media process needs the new mode settled first; the value is
         * read when the timer fires. */
        timer_add(on_video_mode_timer, NULL, 100);
        event_distrubution(UI_EVT(UI_EV_REDRAW));
        return 0;
    }
    if (item == BASIC_RANGE_LASER_SAVE) {
        BasicFunctionHandlerToApp(MSGQ_TYPE_BAISC, BASIC_RANGE_LASER_SAVE, VESK_FRAME_NONE, 0);
        return 0;
    }
    for (size_t i = 0; i < sizeof(ui_basic_rows) / sizeof(ui_basic_rows[0]); i++) {
        if (ui_basic_rows[i].item != item) continue;
        if (item == BASIC_WIND_SWITCH) stUIStatus.s16WindSpeed = 0;
        BasicFunctionHandlerToApp(MSGQ_TYPE_BAISC, 0, (uint8_t)item, *ui_basic_rows[i].value);
        if (ui_basic_rows[i].event) event_distrubution(UI_EVT(ui_basic_rows[i].event));
        return 0;
    }
    return 0;
}

int vesk_gui_request_shutdown(int reason)
{
    return BasicFunctionHandlerToApp(MSGQ_TYPE_BAISC, 0, BASIC_SHUT_DOWN, (uint8_t)reason);
}

/* ---- infrared object ---- */

static uint32_t ui_shutter_timer;
static uint32_t ui_shutter_count;
/* Set when a freeze turned hot tracking off, so that the release turns it
 * back on. */
static int ui_hot_track_paused;

static const struct {
    uint8_t item;
    const char *value;
    int event;
} ui_infrared_rows[] = {
    {INFRARED_LIGHT, &stDevStatus.s8IrBrightness, 0},
    {INFRARED_CONTRACT, &stDevStatus.s8IrContrast, 0},
    {INFRARED_ENHANCE, &stDevStatus.s8IrEnchance, 0},
    {INFRARED_POLARITY, &stDevStatus.s8IrPolarity, UI_EV_POLARITY},
    {INFRARED_CORRECT_TYPE_CHOOSE, &stDevStatus.s8CorrectType, 0},
    {INFRARED_LIGHTPAOTECT, &stDevStatus.s8Stronglight_protect, 0},
    {INFRARED_SCENE, &stDevStatus.s8IrScene, 0},
    {INFRARED_FREEZE, &stUIStatus.s8Irfreeze, 0},
    {INFRARED_HOTTRACK, &stDevStatus.s8HotTrack, 0},
    {INFRARED_AUTOSHUTTER, &stDevStatus.s8AutoShutter, UI_EV_AUTO_SHUTTER},
};

static void send_infrared_item(uint8_t item, uint8_t value) { QelHandlerToApp(MSGQ_TYPE_INFRARED, 1, item, value, 0); }

static void shutter_correction(void)
{
    stDevStatus.s8CorrectType = 0;
    GUI_SEND_INFRARED_MSG(INFRARED_CORRECT);
}

static ret_t on_timer_shutter(const timer_info_t *timer)
{
    (void)timer;
    const char *top = ui_top_window_name();
    /* The count pauses while the compass is being calibrated. */
    if (top != NULL && strcmp(top, UI_COMPASS_CORRECTION_PAGE) != 0) ui_shutter_count++;
    uint32_t limit = (uint32_t)stDevStatus.s8AutoShutter * 60;
    if (ui_shutter_count + 3 >= limit && ui_shutter_count < limit) event_distrubution(UI_EVT(UI_EV_SHUTTER));
    if (ui_shutter_count == limit) {
        ui_shutter_count = 0;
        shutter_correction();
    }
    return RET_REPEAT;
}

void ui_auto_shutter_start(void)
{
    ui_shutter_count = 0;
    if (ui_shutter_timer == TK_INVALID_ID || timer_find(ui_shutter_timer) == NULL)
        ui_shutter_timer = timer_add(on_timer_shutter, NULL, 1000);
}

uint32_t ui_auto_shutter_count(void) { return ui_shutter_count; }

int ui_auto_shutter_running(void) { return ui_shutter_timer != TK_INVALID_ID && timer_find(ui_shutter_timer) != NULL; }

int GUI_SEND_INFRARED_MSG(int item)
{
    switch (item) {
    case INFRARED_CORRECT:
        QelHandlerToApp(MSGQ_TYPE_INFRARED, 15, 0, stDevStatus.s8CorrectType, 0);
        event_distrubution(UI_EVT(UI_EV_SHUTTER));
        if (stUIStatus.s8Irfreeze == 1) event_distrubution(UI_EVT(UI_EV_FREEZE_RELEASED));
        return 0;
    case INFRARED_ZOOM:
        send_infrared_item(INFRARED_ZOOM, (uint8_t)stUIStatus.s8IRZoom);
        raise2(UI_EV_REDRAW, UI_EV_IR_ZOOM);
        return 0;
    default:
        break;
    }
    for (size_t i = 0; i < sizeof(ui_infrared_rows) / sizeof(ui_infrared_rows[0]); i++) {
        if (ui_infrared_rows[i].item != item) continue;
        send_infrared_item((uint8_t)item, *ui_infrared_rows[i].value);
        if (ui_infrared_rows[i].event) event_distrubution(UI_EVT(ui_infrared_rows[i].event));
        if (item == INFRARED_FREEZE) {
            if (stUIStatus.s8Irfreeze == 1 && stDevStatus.s8HotTrack == 1) {
                stDevStatus.s8HotTrack = 0;
                ui_hot_track_paused = 1;
                send_infrared_item(INFRARED_HOTTRACK, 0);
            } else if (stUIStatus.s8Irfreeze != 1 && ui_hot_track_paused) {
                stDevStatus.s8HotTrack = 1;
                ui_hot_track_paused = 0;
                send_infrared_item(INFRARED_HOTTRACK, 1);
            }
        } else if (item == INFRARED_AUTOSHUTTER) {
            ui_shutter_count = 0;
            if (stDevStatus.s8AutoShutter != 0) {
                if (!ui_auto_shutter_running()) {
                    shutter_correction();
                    ui_auto_shutter_start();
                }
            } else if (ui_shutter_timer != TK_INVALID_ID) {
                timer_remove(ui_shutter_timer);
                ui_shutter_timer = TK_INVALID_ID;
            }
        }
        return 0;
    }
    return 0;
}

/* ---- distance object ---- */

int GUI_SEND_DISTANCE_FUNCTION_MSG(int command, int operation)
{
    if (command == DISTANCE_RANGE_SWITCH) {
        BasicFunctionHandlerToApp(MSGQ_TYPE_DISTANCE, 7, VESK_FRAME_NONE, (uint8_t)operation);
        if (operation != 3) stDevStatus.s8RangeSwitch = (char)operation;
        raise2(UI_EV_RANGE_STATE, UI_EV_RANGE_SWITCH);
    } else if (command == DISTANCE_RANGE_OPERATION) {
        BasicFunctionHandlerToApp(MSGQ_TYPE_DISTANCE, 0, VESK_FRAME_NONE, (uint8_t)operation);
        stUIStatus.s8RangeMode = (char)(operation == 4 ? 0 : operation);
        if (operation == 0 || operation == 3 || operation == 4) event_distrubution(UI_EVT(UI_EV_BALLISTIC));
    }
    return 0;
}

/* ---- reticle object ---- */

/* Item 8, 9 and 12 send the colour or the type of a mark, as the page chose. */
static uint8_t mark_value(char colour, char type)
{
    return stUIStatus.s8ReticleTypeColorChoose == 3 ? (uint8_t)colour : (uint8_t)type;
}

static void group_events(int with_ballistic)
{
    /* Pages redraw from the group data first, then the overlays. */
    usleep(1000);
    event_distrubution(UI_EVT(UI_EV_GROUP_DATA));
    usleep(1000);
    event_distrubution(UI_EVT(UI_EV_REDRAW));
    if (with_ballistic) event_distrubution(UI_EVT(UI_EV_BALLISTIC));
}

int GUI_SEND_RETICLE_MSG(int item)
{
    uint8_t obj = MSGQ_TYPE_RETICLE;
    uint8_t none = VESK_FRAME_NONE;
    switch (item) {
    case RETICLE_COLOR:
        wifiHandlerToApp(obj, RETICLE_COLOR, none, stDevStatus.s8ReticleColour);
        raise2(UI_EV_RETICLE_COLOR, UI_EV_PIP_RETICLE_COLOR);
        event_distrubution(UI_EVT(UI_EV_BALL_RETICLE_COLOR));
        break;
    case RETICLE_SWITCH:
        wifiHandlerToApp(obj, RETICLE_SWITCH, none, stDevStatus.s8ReticleSwitch);
        event_distrubution(UI_EVT(UI_EV_RETICLE_SWITCH));
        break;
    case RETICLE_TYPE:
        wifiHandlerToApp(obj, RETICLE_TYPE, none, stDevStatus.s8ReticleType);
        raise2(UI_EV_RETICLE_TYPE, UI_EV_REDRAW);
        break;
    case RETICLE_MENU_SWITCH:
        wifiHandlerToApp(obj, RETICLE_MENU_SWITCH, none, stDevStatus.s8ReticleMenuSwitch);
        event_distrubution(UI_EVT(UI_EV_RETICLE_MENU_SWITCH));
        break;
    case RETICLE_LIGHT:
        wifiHandlerToApp(obj, RETICLE_LIGHT, none, stDevStatus.s8ReticleBrightness);
        event_distrubution(UI_EVT(UI_EV_RETICLE_LIGHT));
        break;
    case RETICLE_GROUP:
        wifiHandlerToApp(obj, RETICLE_GROUP, none, ui_current_group());
        group_events(1);
        break;
    case RETICLE_ZERO:
        wifiHandlerToApp(obj, RETICLE_ZERO, none, ui_current_zero());
        group_events(0);
        break;
    case RETICLE_LASER_POSITION:
        wifiHandlerToApp(obj, RETICLE_LASER_POSITION, (uint8_t)stUIStatus.s8ReticleTypeColorChoose,
                         mark_value(stDevStatus.s8LaserReticleColor, stDevStatus.s8LaserReticleType));
        event_distrubution(UI_EVT(UI_EV_LASER_RETICLE));
        break;
    case RETICLE_RANGE_POSITION:
        wifiHandlerToApp(obj, RETICLE_RANGE_POSITION, (uint8_t)stUIStatus.s8ReticleTypeColorChoose,
                         mark_value(stDevStatus.s8RangeReticleColor, stDevStatus.s8RangeReticleType));
        event_distrubution(UI_EVT(UI_EV_RANGE_RETICLE));
        break;
    case RETICLE_ENTER_RETICLE_MOVE:
        wifiHandlerToApp(obj, RETICLE_ENTER_RETICLE_MOVE, none, stUIStatus.s8Enter_reticle_move);
        break;
    case RETICLE_PIP_EVENT:
        wifiHandlerToApp(obj, RETICLE_PIP_EVENT, (uint8_t)stUIStatus.s8ReticleTypeColorChoose,
                         mark_value(stDevStatus.s8PIPReticleColor, stDevStatus.s8PIPReticleType));
        break;
    default:
        break;
    }
    return 0;
}

int GUI_SEND_RETICLE_POSITION_MSG(int item)
{
    uint8_t p[4];
    Qel_Cursor_Zero *zero = ui_current_zero_point();
    switch (item) {
    case RETICLE_POSITION:
        put_i16_pair(p, zero->s8IrCursorCurrentX, zero->s8IrCursorCurrentY);
        break;
    case RETICLE_LASER_POSITION:
        put_i16_pair(p, stDevStatus.s16LaserIndicatX, stDevStatus.s16LaserIndicatY);
        break;
    case RETICLE_RANGE_POSITION:
        stDevStatus.s16RangeOffsetX = (short)tk_clamp(stDevStatus.s16RangeOffsetX, 0, 1280);
        put_i16_pair(p, stDevStatus.s16RangeOffsetX, stDevStatus.s16RangeOffsetY);
        break;
    case RETICLE_DISTANCE:
        put_i16_pair(p, zero->u16IrCursorDistance, zero->u16IrCursorDistanceYD);
        break;
    case RETICLE_POSITION_OFFSET_X:
        vesk_put_f32(p, zero->flIrCursorOffsetX);
        break;
    case RETICLE_POSITION_OFFSET_Y:
        vesk_put_f32(p, zero->flIrCursorOffsetY);
        break;
    case RETICLE_BACK_RETICLE_ZERO_CHILD:
        event_distrubution(UI_EVT(UI_EV_BACK_ZERO_CHILD));
        return 0;
    default:
        return 0;
    }
    VeskLrfHandlerToApp(MSGQ_TYPE_RETICLE, (uint8_t)item, VESK_FRAME_NONE, p);
    switch (item) {
    case RETICLE_LASER_POSITION:
        raise2(UI_EV_LASER_INDICATOR, UI_EV_REDRAW);
        break;
    case RETICLE_RANGE_POSITION:
        event_distrubution(UI_EVT(UI_EV_REDRAW));
        break;
    case RETICLE_DISTANCE:
        event_distrubution(UI_EVT(UI_EV_GROUP_DATA));
        break;
    case RETICLE_POSITION_OFFSET_X:
    case RETICLE_POSITION_OFFSET_Y:
        event_distrubution(UI_EVT(UI_EV_ZERO_OFFSET));
        break;
    default:
        break;
    }
    return 0;
}

/* ---- ballistic parameters ---- */

/* Index 1 repeats it for a sub it does not list. */
static float ui_last_ballistic_float;

static void put_float(uint8_t p[4], double v)
{
    ui_last_ballistic_float = (float)v;
    vesk_put_f32(p, ui_last_ballistic_float);
}

/* The requests of index 0 that carry no profile field. */
static void ballistic_switch_payload(int sub, uint8_t p[4])
{
    if (sub == 1) put_byte(p, 1);
    if (sub == 2) put_byte(p, (uint8_t)stDevStatus.s8BallisticReticle);
    if (sub == 3) put_byte(p, (uint8_t)stDevStatus.s8BallisticReticleColor);
}

/* Fills p for (index, sub) from the profile field the request names, read
 * from the mirror profile its row says; 0, or -1 for an index this sender
 * does not know. */
static int ballistic_payload(int index, int sub, uint8_t p[4])
{
    memset(p, 0, 4);
    if (index < BALLISTIC_OPEN_CALCU || index > BALLISTIC_SPINDRIFT_INFO) return -1;
    const vesk_profile_field *f = sub >= 0 && sub <= 0xFF ? vesk_pf_by_wire((uint8_t)index, (uint8_t)sub) : NULL;
    if (f == NULL || f->gui == VESK_PF_GUI_NONE) {
        if (index == BALLISTIC_OPEN_CALCU) ballistic_switch_payload(sub, p);
        if (index == BALLISTIC_BULLET_INFO) vesk_put_f32(p, ui_last_ballistic_float);
        return 0;
    }
    const Info_ballistics *b = f->gui == VESK_PF_GUI_PROFILE0 ? &info[0] : ui_current_profile();
    switch (f->wire) {
    case VESK_PF_WIRE_BYTE:
        put_byte(p, (uint8_t)vesk_pf_get_int(b, f));
        break;
    case VESK_PF_WIRE_FLOAT:
        put_float(p, vesk_pf_get(b, f));
        break;
    case VESK_PF_WIRE_WORDS:
        put_i16_pair(p, (int16_t)vesk_pf_get_int(b, f), (int16_t)vesk_pf_get_int(b, vesk_pf_yard_of(f)));
        break;
    case VESK_PF_WIRE_NONE:
        break;
    }
    return 0;
}

/* The events a ballistic request raises, in this order. */
static const struct {
    uint8_t index, sub;
    int event, event2;
} ballistic_events[] = {
    {BALLISTIC_OPEN_CALCU, 0, UI_EV_BALLISTIC, 0},
    {BALLISTIC_OPEN_CALCU, 2, UI_EV_BALL_RETICLE_TYPE, 0},
    {BALLISTIC_OPEN_CALCU, 3, UI_EV_BALL_RETICLE_COLOR, UI_EV_PIP_RETICLE_COLOR},
    {BALLISTIC_LENS_INFO, 1, UI_EV_GROUP_DATA, 0},
};

int GUI_SEND_BALLISTIC_PARM_MSG(int index, int sub)
{
    uint8_t p[4];
    if (ballistic_payload(index, sub, p) < 0) return 0;
    VeskLrfHandlerToApp(MSGQ_TYPE_BALLISTIC, (uint8_t)index, (uint8_t)sub, p);
    for (const auto &e : ballistic_events)
        if (e.index == index && e.sub == sub) raise2(e.event, e.event2);
    return 0;
}

/* ---- other objects ---- */

int GUI_SEND_PARAM_FUNCTION_MSG(int command)
{
    if (command == SAVE_ALLPARAM) BasicFunctionHandlerToApp(MSGQ_TYPE_PARAMETER_INIT, SAVE_ALLPARAM, 0, 0);
    return 0;
}

int GUI_SEND_UI_READY_MSG(int value)
{
    UIreadyToApp(MSGQ_TYPE_READY, 0, 0, (uint8_t)value);
    /* The sixth profile block of the answering push sets it again. */
    stUIStatus.event_distrubut_reday = 0;
    return 0;
}

int GUI_SEND_WIFI_MSG(int command)
{
    if (command != 0) return 0;
    wifiHandlerToApp(MSGQ_TYPE_WIFI, 0, VESK_FRAME_NONE, stDevStatus.s8WiFiSwitch);
    event_distrubution(UI_EVT(UI_EV_WIFI_SWITCH));
    return 0;
}

int GUI_SEND_COMPASS_MSG(int command)
{
    if (command != 0) return 0;
    int tenths = stDevStatus.s16CompassMagnetic;
    int mag = tenths < 0 ? -tenths : tenths;
    uint8_t p[4];
    p[0] = tenths < 0 ? 1 : 0;
    vesk_put_u16(p + 1, (uint16_t)(mag / 10));
    p[3] = (uint8_t)(mag % 10);
    VeskLrfHandlerToApp(MSGQ_TYPE_COMPASS, 1, 0, p);
    return 0;
}

int GUI_SEND_COMPASS_CORRECT(int step)
{
    if (step < COMPASS_HORIZONTAL_START || step > COMPASS_CORRECT_START) return 0;
    wifiHandlerToApp(MSGQ_TYPE_COMPASS, 6, 0, (uint8_t)step);
    return 0;
}

int GUI_SEND_BLIND_MSG(int command)
{
    static const char zero = 0;
    const char *const values[] = {&stUIStatus.s8BlindSwitch, &stUIStatus.s8BlindPosition, &stUIStatus.s8BlindType,
                                  &zero, &stUIStatus.s8BlindTenPosition};
    if (command < 0 || command > BLIND_MOVE_TENPOSITION) return 0;
    wifiHandlerToApp(MSGQ_TYPE_BLIND, (uint8_t)command, VESK_FRAME_NONE, *values[command]);
    return 0;
}

int GUI_SEND_RECOIL_MSG(int command)
{
    const char *value;
    switch (command) {
    case RECOIL_SWITCH:
        value = &stDevStatus.s8RecoilState;
        break;
    case RECOIL_BEFORE:
        value = &stDevStatus.s8RecoilBefore;
        break;
    case RECOIL_AFTER:
        value = &stDevStatus.s8RecoilAfter;
        break;
    case RECOIL_SENSITIVITY:
        value = &stDevStatus.s8RecoilSensitivity;
        break;
    case RECOIL_BREAKOUT:
        value = &ui_value_one;
        break;
    case RECOIL_ZOOMSWITCH:
        value = &stDevStatus.s8ShotZoomSwitch;
        break;
    default:
        return 0;
    }
    wifiHandlerToApp(MSGQ_TYPE_RECOIL, (uint8_t)command, VESK_FRAME_NONE, *value);
    if (command == RECOIL_SWITCH) event_distrubution(UI_EVT(UI_EV_RECOIL));
    return 0;
}

int GUI_SEND_UPDATA_MSG(int command)
{
    if (command == UPDATA_CONFIRM)
        wifiHandlerToApp(MSGQ_TYPE_UPDATA, UPDATA_CONFIRM, VESK_FRAME_NONE, stUIStatus.s8Updata_confirm);
    if (command == UPDATA_CHECK)
        wifiHandlerToApp(MSGQ_TYPE_UPDATA, UPDATA_CHECK, VESK_FRAME_NONE, stUIStatus.s8Updata_check);
    return 0;
}

int GUI_SEND_TAP_VIDEO_MSG(int kind, int operation, const char *name)
{
    uint8_t bytes[24] = {0};
    if (kind == TAP_VIDEO_RECORD) {
        TapVideoHandlerToApp(MSGQ_TYPE_TAP, 1, 0, (uint8_t)operation, bytes);
    } else if (kind == TAP_VIDEO_REPLAY && operation >= 0 && operation <= 4) {
        if ((operation == 3 || operation == 4) && name != NULL) memcpy(bytes, name, strnlen(name, sizeof(bytes)));
        TapVideoHandlerToApp(MSGQ_TYPE_TAP, 1, 1, (uint8_t)operation, bytes);
    }
    return 0;
}

int GUI_SEND_VIDEO_FRAME_MSG(int command)
{
    if (command == TAP_REWIND_FORWARD)
        VideoFrameHandlerToApp(MSGQ_TYPE_TAP, 1, TAP_REWIND_FORWARD, stUIStatus.u64VideoForwardFrames);
    return 0;
}

int GUI_SEND_VISI_MSG(int command)
{
    const char *value;
    switch (command) {
    case 0:
        value = &stDevStatus.s8VisiBrightness;
        break;
    case 1:
        value = &stDevStatus.s8VisiContrast;
        break;
    case 3:
        value = &stUIStatus.s8VisiZoom;
        break;
    case 5:
        value = &stUIStatus.s8VisiMode;
        break;
    default:
        return 0;
    }
    QelHandlerToApp(MSGQ_TYPE_VISIBLE, (uint8_t)command, VESK_FRAME_NONE, *value, 0);
    return 0;
}

int GUI_SEND_FUSION_MSG(int command)
{
    const char *const values[] = {&stDevStatus.s8FuBrightness, &stDevStatus.s8FuContrast, &stDevStatus.s8FuMode,
                                  &stUIStatus.s8FuZoom};
    if (command < 0 || command > 3) return 0;
    QelHandlerToApp(MSGQ_TYPE_FUSHION, (uint8_t)command, VESK_FRAME_NONE, *values[command], 0);
    return 0;
}

int GUI_SEND_FUSION_POSITION_MSG(int command)
{
    if (command != 4) return 0;
    uint8_t p[4];
    put_i16_pair(p, stDevStatus.s16FushionX, stDevStatus.s16FushionY);
    VeskLrfHandlerToApp(MSGQ_TYPE_FUSHION, 4, VESK_FRAME_NONE, p);
    return 0;
}

int GUI_SEND_PIP_MSG(int command)
{
    if (command == 0) QelHandlerToApp(MSGQ_TYPE_PIP, 0, VESK_FRAME_NONE, stDevStatus.s8PipMode, 0);
    return 0;
}

int GUI_SEND_GG_MSG(int command)
{
    if (command >= 0 && command <= 2) wifiHandlerToApp(MSGQ_TYPE_GG, (uint8_t)command, VESK_FRAME_NONE, 0);
    return 0;
}

int GUI_SEND_CLIPON_POSITION_MSG(int command)
{
    if (command != BASIC_CLIPON_POSITION) return 0;
    uint8_t p[4];
    put_i16_pair(p, stDevStatus.s16CliponPositionX, stDevStatus.s16CliponPositionY);
    VeskLrfHandlerToApp(MSGQ_TYPE_BAISC, 0, BASIC_CLIPON_POSITION, p);
    return 0;
}
