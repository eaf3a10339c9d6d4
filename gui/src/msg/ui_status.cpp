#include "ui_status.h"

#include <errno.h>
#include <math.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "qel_msg.h"
#include "ui_pages.h"
#include "ui_senders.h"
#include "vesk_debug_gui.h"
#include "vesk_dynamic_bc_gui.h"
#include "vesk_log.h"

UI_DevStatus stDevStatus;
Qel_IR_Cursor IR_Cursor;
Info_ballistics info[VESK_PROFILE_COUNT];
Result_ballistics result_ball;
uint8_t vesk_result_refused;
Qel_UIStatus stUIStatus;
uint64_t vesk_gui_force_until_ms;

static pthread_mutex_t ui_status_lock = PTHREAD_MUTEX_INITIALIZER;
/* Only the first update start notice of a run opens the update page. */
static int ui_update_page_opened;

#define UI_MOA_PER_MRAD 3.44
#define UI_FORCE_WINDOW_MS 5000

/* ---- events ---- */

static ret_t on_idle(const idle_info_t *idle)
{
    int *event = (int *)idle->ctx;
    widget_t *wm = window_manager();
    if (wm != NULL) {
        event_t e = event_init((uint32_t)*event, NULL);
        widget_dispatch(wm, &e);
    }
    free(event);
    return RET_OK;
}

void event_distrubution(int event)
{
    int *copy = (int *)malloc(sizeof(*copy));
    if (copy == NULL) return;
    *copy = event;
    if (idle_queue(on_idle, copy) != RET_OK) free(copy);
}

static void raise_when_ready(int n)
{
    if (stUIStatus.event_distrubut_reday) event_distrubution(UI_EVT(n));
}

/* ---- helpers ---- */

uint8_t ui_current_group(void)
{
    return IR_Cursor.u8CurrentGroup < VESK_PROFILE_COUNT ? IR_Cursor.u8CurrentGroup : VESK_PROFILE_COUNT - 1;
}

uint8_t ui_current_zero(void)
{
    uint8_t z = IR_Cursor.group[ui_current_group()].u8CurrentZero;
    return z < VESK_ZERO_COUNT ? z : VESK_ZERO_COUNT - 1;
}

Qel_Cursor_Zero *ui_current_zero_point(void) { return &IR_Cursor.group[ui_current_group()].zero[ui_current_zero()]; }

Info_ballistics *ui_current_profile(void) { return &info[ui_current_group()]; }

int ui_ir_zoom_percent(void) { return stUIStatus.s8IRZoom > 0 ? stUIStatus.s8IRZoom : VESK_FACTORY_IR_ZOOM; }

const char *ui_top_window_name(void)
{
    widget_t *wm = window_manager();
    widget_t *top = wm != NULL ? window_manager_get_top_window(wm) : NULL;
    return top != NULL ? top->name : NULL;
}

static const char *const ui_ballistic_editors[] = {
    "ballistic_bullet",       "ballistic_menu",        "ballistic_weather",    "ballistic_zeroweather",
    "bullistic_lens",         "ballistic_coriolis",    "ballistic_group_info", "ballistic_quickmenu",
    "ballistic_setting_menu", "QZ_reticle_zero_child",
};

int ui_top_is_ballistic_editor(void)
{
    const char *top = ui_top_window_name();
    if (top == NULL) return 0;
    for (size_t i = 0; i < sizeof(ui_ballistic_editors) / sizeof(ui_ballistic_editors[0]); i++) {
        if (strcmp(top, ui_ballistic_editors[i]) == 0) return 1;
    }
    return 0;
}

/* A report is acted on only when it carries every byte its selector reads:
 * width bytes at offset off, before the checksum and trailer. */
static int has(int length, int off, int width) { return length >= off + width + 3; }

static int16_t i16_at(const uint8_t *frame, int off) { return (int16_t)vesk_get_u16(frame + off); }

static uint64_t u64_at(const uint8_t *frame, int off)
{
    return (uint64_t)vesk_get_u32(frame + off) | ((uint64_t)vesk_get_u32(frame + off + 4) << 32);
}

/* Clears the record, then copies the payload, never more than the record
 * holds: a short payload leaves the tail zero, a long one is cut. */
static void copy_block(void *record, size_t size, const uint8_t *frame, int length)
{
    size_t payload = (size_t)(length - VESK_FRAME_OVERHEAD);
    memset(record, 0, size);
    memcpy(record, frame + VESK_FRAME_OFF_PAYLOAD, payload < size ? payload : size);
}

/* ---- object 0: basic ---- */

/* reason -> bit mask of the outcomes accepted for it */
static const struct {
    uint8_t reason;
    uint8_t outcomes;
} ui_lifecycle_pairs[] = {
    {1, (1 << 1) | (1 << 3) | (1 << 4)},
    {2, (1 << 1) | (1 << 3)},
    {5, (1 << 1) | (1 << 2)},
    {6, (1 << 1) | (1 << 2)},
    {7, (1 << 1) | (1 << 2)},
    {9, (1 << 2) | (1 << 5)},
};

static void lifecycle_func(const uint8_t *frame, int length)
{
    if (length != 11 || frame[VESK_FRAME_OFF_SUB] != 0 || frame[VESK_FRAME_OFF_FLAG] != VESK_FRAME_FLAG_REPORT) return;
    uint8_t reason = frame[6];
    uint8_t outcome = frame[7];
    int accepted = 0;
    for (size_t i = 0; i < sizeof(ui_lifecycle_pairs) / sizeof(ui_lifecycle_pairs[0]); i++) {
        if (ui_lifecycle_pairs[i].reason == reason && outcome < 8 && (ui_lifecycle_pairs[i].outcomes >> outcome) & 1)
            accepted = 1;
    }
    if (!accepted) return;
    stUIStatus.vesk_lifecycle_status = outcome;
    stUIStatus.vesk_lifecycle_reason = reason;
    if (outcome == VESK_LIFECYCLE_RECOVERY_REQUIRED) {
        stUIStatus.event_distrubut_reday = 1;
        stUIStatus.vesk_recovery_latched = 1;
        vesk_gui_force_until_ms = 0;
    } else if (outcome == VESK_LIFECYCLE_RETRY_UNSAVED) {
        vesk_gui_force_until_ms = time_now_ms() + UI_FORCE_WINDOW_MS;
    } else {
        vesk_gui_force_until_ms = 0;
    }
    event_distrubution(UI_EVT(UI_EV_LIFECYCLE));
}

void basic_func(const uint8_t *frame, int length)
{
    switch (frame[VESK_FRAME_OFF_ITEM]) {
    case BASIC_SHUT_DOWN:
        ui_open_page("shut_down_low_temp");
        break;
    case BASIC_AUTO_SCREEN:
        if (!has(length, 6, 1)) return;
        stUIStatus.Autoscreen = frame[6];
        event_distrubution(UI_EVT(UI_EV_AUTO_SCREEN));
        break;
    case BASIC_OVERHEAT:
        if (!has(length, 6, 1)) return;
        stUIStatus.s8LightOverheat = frame[6];
        event_distrubution(UI_EVT(UI_EV_OVERHEAT));
        break;
    case BASIC_WIND_SPEED:
        if (!has(length, 6, 2)) return;
        stUIStatus.s16WindSpeed = i16_at(frame, 6);
        event_distrubution(UI_EVT(UI_EV_WIND_SPEED));
        break;
    case BASIC_MENU_LEVEL: {
        const char *top = ui_top_window_name();
        stUIStatus.s8CurrentMenu = (top != NULL && strcmp(top, VESK_HOME_PAGE) == 0) ? 0 : 1;
        GUI_SEND_BASIC_FUNCTION_MSG(BASIC_MENU_LEVEL);
        break;
    }
    case BASIC_DEBUG_MODE:
        if (length != 10 || frame[VESK_FRAME_OFF_SUB] != 0 || frame[VESK_FRAME_OFF_FLAG] != VESK_FRAME_FLAG_REPORT ||
            frame[6] > 1)
            return;
        vesk_debug_gui_apply(frame[6]);
        event_distrubution(UI_EVT(UI_EV_DEBUG_MODE));
        break;
    case BASIC_LIFECYCLE:
        lifecycle_func(frame, length);
        break;
    case BASIC_DYNAMIC_BC:
        if (vesk_dynamic_bc_gui_on_reply(frame, length) == 0) event_distrubution(UI_EVT(UI_EV_DYNAMIC_BC));
        break;
    default:
        break;
    }
}

/* ---- object 1: thermal core ---- */

void IrInfo_func(const uint8_t *frame, int length)
{
    switch (frame[VESK_FRAME_OFF_ITEM]) {
    case 6:
        if (!has(length, 6, 1)) return;
        stUIStatus.s8IrBrightLight = frame[6];
        event_distrubution(UI_EVT(UI_EV_BRIGHT_LIGHT));
        break;
    case INFRARED_ZOOM:
        if (!has(length, 6, 2)) return;
        stUIStatus.s8IRZoom = i16_at(frame, 6);
        raise_when_ready(UI_EV_REDRAW);
        raise_when_ready(UI_EV_IR_ZOOM);
        break;
    default:
        break;
    }
}

/* ---- object 5: Wi-Fi ---- */

void wifi_func(const uint8_t *frame, int length)
{
    switch (frame[VESK_FRAME_OFF_SUB]) {
    case 5: {
        /* The name is shown as a C string: keep the last byte a terminator
         * whatever sightd sent. A name too long for it is cut between
         * characters, never inside one: a lone lead byte draws as a
         * replacement glyph. */
        const uint8_t *name = frame + VESK_FRAME_OFF_PAYLOAD;
        const size_t sent = (size_t)(length - VESK_FRAME_OVERHEAD);
        size_t n = sent;
        if (n > sizeof(stUIStatus.WifiName) - 1) n = sizeof(stUIStatus.WifiName) - 1;
        if (n < sent)
            while (n > 0 && (name[n] & 0xC0) == 0x80) n--;
        memset(stUIStatus.WifiName, 0, sizeof(stUIStatus.WifiName));
        memcpy(stUIStatus.WifiName, name, n);
        event_distrubution(UI_EVT(UI_EV_WIFI_NAME));
        break;
    }
    case 7:
        if (!has(length, 6, 1)) return;
        stUIStatus.s8WifiConnection = frame[6];
        event_distrubution(UI_EVT(UI_EV_WIFI_CONNECTION));
        break;
    default:
        break;
    }
}

/* ---- object 6: compass ---- */

void compass_func(const uint8_t *frame, int length)
{
    if (frame[VESK_FRAME_OFF_SUB] != 0 || !has(length, 6, 4)) return;
    float whole = (float)vesk_get_u16(frame + 7);
    float tenths = (float)frame[9] / 10.0f;
    switch (frame[VESK_FRAME_OFF_ITEM]) {
    case 0:
        stUIStatus.s16CompassAzimuth = (float)i16_at(frame, 7) + tenths;
        raise_when_ready(UI_EV_AZIMUTH);
        break;
    case 1:
        stUIStatus.s16CompassPitch = frame[6] != 0 ? -(whole + tenths) : whole + tenths;
        raise_when_ready(UI_EV_PITCH);
        break;
    case 2:
        stUIStatus.s16CompassSlant = frame[6] != 0 ? -(whole + tenths) : whole + tenths;
        raise_when_ready(UI_EV_SLANT);
        break;
    default:
        break;
    }
}

/* ---- object 15: battery ---- */

void battery_func(const uint8_t *frame, int length)
{
    switch (frame[VESK_FRAME_OFF_ITEM]) {
    case 0:
        if (!has(length, 6, 2)) return;
        stUIStatus.s16BatteryValue = i16_at(frame, 6);
        raise_when_ready(UI_EV_BATTERY);
        break;
    case 1:
        if (!has(length, 6, 1)) return;
        stUIStatus.s8BatteryType = frame[6];
        raise_when_ready(UI_EV_BATTERY);
        break;
    default:
        break;
    }
}

/* ---- object 16: parameter blocks ---- */

static void first_language_marker(void)
{
    if (access(VESK_FIRST_LANGUAGE_FILE, F_OK) == 0) {
        stUIStatus.s8FirstLanguageFlag = 1;
        printf("####################first_language_file exit!\n");
        if (remove(VESK_FIRST_LANGUAGE_FILE) != 0) printf("Error: file remove  %s\n", strerror(errno));
    } else {
        stUIStatus.s8FirstLanguageFlag = 0;
        printf("#############first_language_file not exit!\n");
    }
}

static void profile_arrived(void)
{
    if (ui_top_is_ballistic_editor()) {
        event_distrubution(UI_EVT(UI_EV_PROFILE_ARRIVED));
        printf("go back ");
    }
    event_distrubution(UI_EVT(UI_EV_GROUP_DATA));
}

void parameter_func(const uint8_t *frame, int length)
{
    uint8_t item = frame[VESK_FRAME_OFF_ITEM];
    switch (frame[VESK_FRAME_OFF_SUB]) {
    case 0:
        copy_block(&stDevStatus, sizeof(stDevStatus), frame, length);
        stDevStatus.version[sizeof(stDevStatus.version) - 1] = '\0';
        break;
    case 1: {
        copy_block(&IR_Cursor, sizeof(IR_Cursor), frame, length);
        /* Pages index the tables with these without looking. */
        if (IR_Cursor.u8CurrentGroup >= VESK_PROFILE_COUNT) IR_Cursor.u8CurrentGroup = VESK_PROFILE_COUNT - 1;
        for (int g = 0; g < VESK_PROFILE_COUNT; g++) {
            Qel_Cursor_Group *grp = &IR_Cursor.group[g];
            if (grp->u8CurrentZero >= VESK_ZERO_COUNT) grp->u8CurrentZero = VESK_ZERO_COUNT - 1;
            if (grp->u8TempZero >= VESK_ZERO_COUNT) grp->u8TempZero = VESK_ZERO_COUNT - 1;
        }
        break;
    }
    case 2:
        if (item >= VESK_PROFILE_COUNT) return;
        copy_block(&info[item], sizeof(info[item]), frame, length);
        if (stUIStatus.event_distrubut_reday) profile_arrived();
        first_language_marker();
        if (stDevStatus.s8AutoShutter != 0 && !ui_auto_shutter_running()) ui_auto_shutter_start();
        if (item == VESK_PROFILE_COUNT - 1) stUIStatus.event_distrubut_reday = 1;
        break;
    case 4:
        copy_block(ui_current_profile(), sizeof(Info_ballistics), frame, length);
        if (info[0].ballistics_sw == 1 && stUIStatus.s8RangeMode != 3)
            GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_OPEN_CALCU, 1);
        profile_arrived();
        break;
    default:
        break;
    }
}

/* ---- object 22: reticle ---- */

void Reticle_PositionSet_func(const uint8_t *frame, int length)
{
    uint8_t item = frame[VESK_FRAME_OFF_ITEM];
    switch (frame[VESK_FRAME_OFF_SUB]) {
    case 0:
        if (!has(length, 6, 1)) return;
        if (item != 0) {
            stUIStatus.s8TempBallReticleColor = frame[6];
            event_distrubution(UI_EVT(UI_EV_BALL_RETICLE_COLOR));
        } else {
            stUIStatus.s8TempReticleColor = frame[6];
            event_distrubution(UI_EVT(UI_EV_RETICLE_COLOR));
        }
        event_distrubution(UI_EVT(UI_EV_PIP_RETICLE_COLOR));
        break;
    case 3:
    case 8:
    case 9: {
        if ((item != 1 && item != 2) || !has(length, 6, 2)) return;
        int16_t v = i16_at(frame, 6);
        int sub = frame[VESK_FRAME_OFF_SUB];
        if (sub == 3) {
            *(item == 1 ? &stDevStatus.s16ReticlePositionX : &stDevStatus.s16ReticlePositionY) = v;
            event_distrubution(UI_EVT(UI_EV_RETICLE_POSITION));
        } else if (sub == 8) {
            *(item == 1 ? &stDevStatus.s16LaserIndicatX : &stDevStatus.s16LaserIndicatY) = v;
            event_distrubution(UI_EVT(UI_EV_LASER_INDICATOR));
        } else {
            *(item == 1 ? &stDevStatus.s16RangeOffsetX : &stDevStatus.s16RangeOffsetY) = v;
            event_distrubution(UI_EVT(UI_EV_REDRAW));
        }
        break;
    }
    default:
        break;
    }
}

/* ---- object 23: recording and replay ---- */

void tap_func(const uint8_t *frame, int length)
{
    switch (frame[VESK_FRAME_OFF_ITEM]) {
    case 2:
        if (!has(length, 6, 8)) return;
        stUIStatus.u64VideoCurrentFrames = u64_at(frame, 6);
        stUIStatus.u64VideoForwardFrames = stUIStatus.u64VideoCurrentFrames;
        event_distrubution(UI_EVT(UI_EV_REPLAY_POSITION));
        break;
    case 4:
        if (!has(length, 6, 8)) return;
        stUIStatus.u64VideoTotalFrames = u64_at(frame, 6);
        /* The rate that may follow the frame count is optional. */
        if (has(length, 14, 2) && vesk_get_u16(frame + 14) != 0)
            stUIStatus.u8VideoCurrentFrames = vesk_get_u16(frame + 14);
        event_distrubution(UI_EVT(UI_EV_REPLAY_LENGTH));
        break;
    default:
        break;
    }
}

/* ---- objects 24, 25, 26, 27, 28, 29 ---- */

void blind_func(const uint8_t *frame, int length)
{
    if (frame[VESK_FRAME_OFF_SUB] != 3 || !has(length, 6, 1)) return;
    stUIStatus.s8BlindSaveStatus = frame[6];
    event_distrubution(UI_EVT(UI_EV_BLIND_SAVE));
}

void gg_func(const uint8_t *frame, int length)
{
    static char *const fields[] = {&stUIStatus.s8GGClearStatus, &stUIStatus.s8GGGetStatus, &stUIStatus.s8GGSaveStatus};
    uint8_t sub = frame[VESK_FRAME_OFF_SUB];
    if (sub > 2 || !has(length, 6, 1)) return;
    *fields[sub] = frame[6];
    event_distrubution(UI_EVT(UI_EV_GG_CLEAR + sub));
}

void updata_func(const uint8_t *frame, int length)
{
    switch (frame[VESK_FRAME_OFF_SUB]) {
    case 0:
        if (!has(length, 6, 1)) return;
        stUIStatus.s8Updata_state = frame[6];
        break;
    case 1:
        if (!has(length, 6, 1)) return;
        stUIStatus.s8Updata_result = frame[6];
        break;
    case 2:
        if (!ui_update_page_opened) {
            ui_update_page_opened = 1;
            if (stUIStatus.s8BlindSwitch != 0) {
                stUIStatus.s8BlindSwitch = 0;
                GUI_SEND_BLIND_MSG(BLIND_CURSOR_SWITCH);
            }
            ui_open_page("QZ_updata");
            /* Holds the reports back while the update page comes up. */
            sleep_ms(1000);
        } else {
            stUIStatus.s8Updata_check = 3;
            GUI_SEND_UPDATA_MSG(UPDATA_CHECK);
        }
        break;
    default:
        break;
    }
    event_distrubution(UI_EVT(UI_EV_UPDATE));
}

/* What a calculation can give: an aim point no further than a right angle
 * from the line of sight, a distance the rangefinder can measure, a shot
 * angle between straight down and straight up, an azimuth within a turn.
 * Anything else (the phone's exchange file is copied unchecked, a float may
 * be NaN) is no solution, and drawing it would show a number no shooter can
 * hold and move the mark by a conversion outside int's range. */
static int ui_result_sound(double moa_v, double moa_h, double distance, double angle, double azimuth)
{
    const double hold_max = UI_HOLD_MAX_MRAD * UI_MOA_PER_MRAD;
    return fabs(moa_v) <= hold_max && fabs(moa_h) <= hold_max && distance >= 0 && distance <= UI_DISTANCE_MAX_M &&
           fabs(angle) <= 90 && fabs(azimuth) <= 360;
}

void ballistic_func(const uint8_t *frame, int length)
{
    if (!has(length, 6, 20)) return;
    const float moa_v = vesk_get_f32(frame + 6), moa_h = vesk_get_f32(frame + 10);
    const float distance = vesk_get_f32(frame + 14), angle = vesk_get_f32(frame + 18);
    const float azimuth = vesk_get_f32(frame + 22);
    memset(&result_ball, 0, sizeof result_ball);
    vesk_result_refused = !ui_result_sound(moa_v, moa_h, distance, angle, azimuth);
    if (vesk_result_refused) {
        vesk_log_printf(VESK_LOG_ERROR, "ui.ballistic", "no solution: hold %g %g MOA at %g m, angle %g, azimuth %g",
                        moa_v, moa_h, distance, angle, azimuth);
    } else {
        result_ball.moaV = moa_v;
        result_ball.moaH = moa_h;
        result_ball.mradV = result_ball.moaV / UI_MOA_PER_MRAD;
        result_ball.mradH = result_ball.moaH / UI_MOA_PER_MRAD;
        result_ball.moveX = (float)(result_ball.mradH * 10);
        result_ball.moveY = (float)(result_ball.mradV * 10);
        result_ball.distanche = distance;
        result_ball.fl_angle = angle;
        result_ball.azimuth = azimuth;
    }
    event_distrubution(UI_EVT(UI_EV_REDRAW));
    event_distrubution(UI_EVT(UI_EV_BALLISTIC));
}

void rav_func(const uint8_t *frame, int length)
{
    (void)length;
    switch (frame[VESK_FRAME_OFF_SUB]) {
    case 5:
        stUIStatus.s8Record_start_end = 1;
        event_distrubution(UI_EVT(UI_EV_RECORDING));
        break;
    case 6:
        stUIStatus.s8Record_start_end = 0;
        event_distrubution(UI_EVT(UI_EV_RECORDING));
        break;
    case 8:
        stUIStatus.s8Record_prepare = 1;
        event_distrubution(UI_EVT(UI_EV_RECOIL));
        break;
    default:
        break;
    }
}

void wind_info_func(const uint8_t *frame, int length)
{
    if (!has(length, 6, 1)) return;
    stUIStatus.wind_connect_state = frame[6];
}

void RangeSwitch_func(const uint8_t *frame, int length)
{
    if (frame[VESK_FRAME_OFF_FLAG] != VESK_FRAME_FLAG_REPORT || !has(length, 6, 1) || frame[6] != 0) return;
    if (stUIStatus.s8RangeMode == 3) GUI_SEND_DISTANCE_FUNCTION_MSG(DISTANCE_RANGE_OPERATION, 0);
    GUI_SEND_DISTANCE_FUNCTION_MSG(DISTANCE_RANGE_SWITCH, 0);
}

/* ---- without callers ---- */

int Set_RunStatusPara(int command)
{
    pthread_mutex_lock(&ui_status_lock);
    printf("error no set runcmd  %x\n", command);
    pthread_mutex_unlock(&ui_status_lock);
    return 1;
}

int Get_RunStatusPara(int command)
{
    pthread_mutex_lock(&ui_status_lock);
    printf("error no get runcmd [%x]\n", command);
    pthread_mutex_unlock(&ui_status_lock);
    return 0;
}

void uiEventNotif(int command, const uint8_t *frame)
{
    (void)command;
    (void)frame;
}
