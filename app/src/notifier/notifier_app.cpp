#include <math.h>
#include <stdio.h>
#include <string.h>

#include "ballistic_request.h"
#include "iniparser_handler.h"
#include "msg_media.h"
#include "notifier.h"
#include "qel_dev_status.h"
#include "save_handlers.h"
#include "vesk_msg.h"
#include "vesk_persist.h"
#include "vesk_profile_fields.h"

#define APP_BUS_TIMEOUT_MS 100

/* Frame bytes with a fixed meaning in every command. */
enum { OFF_VALUE = VESK_FRAME_OFF_PAYLOAD };
/* Smallest frames that carry one value byte, and four value bytes. */
#define SIZE_BYTE (VESK_FRAME_OVERHEAD + 1)
#define SIZE_WORD (VESK_FRAME_OVERHEAD + 2)
#define SIZE_QUAD (VESK_FRAME_OVERHEAD + 4)

typedef struct {
    event_handle *app_bus;
    const uint8_t *frame;
    int size;
    uint8_t sub, item, flag, value;
} app_cmd;

_union_float_data ballistics_data;
_union_float_data reticle_data;

/* Bytes 6..9 of a command through one of the float unions above. */
static float value_f32(_union_float_data *u, const app_cmd *c)
{
    memcpy(u->byte, c->frame + OFF_VALUE, sizeof(u->byte));
    return u->f_data;
}

static void to_media(const app_cmd *c) { Msgtext_App_To_Media(MSGQ_COMMAND_APP_TO_MEDIA, (uint32_t)c->size, c->frame); }

int msg_axisHandler(const uint8_t *frame, int size)
{
    if (frame == NULL || size < VESK_FRAME_MIN) return -1;
    return Msgtext_App_To_Media(MSGQ_COMMAND_APP_TO_MEDIA, (uint32_t)size, frame);
}

static void to_gui(const app_cmd *c) { Msgtext_App_To_Ui(MSGQ_COMMAND_APP_TO_UI, (uint32_t)c->size, c->frame); }

static void to_app_bus(const app_cmd *c, int evtype)
{
    event_broadcast_send(c->app_bus, evtype, c->frame, c->size, APP_BUS_TIMEOUT_MS);
}

enum { HTTP_RESULT_VIDEO_STATE = 15, HTTP_RESULT_SHOT_VIDEO_STATE = 16 };

/* ---- profile edits ---- */

typedef void (*profile_change)(const app_cmd *c, const void *arg);

/* One change of the profiles inside an edit section, staged for the
 * profile database. 0, or nonzero when the edit section was refused (the
 * change is then dropped). */
static int profile_edit(profile_change change, const app_cmd *c, const void *arg)
{
    if (vesk_persist_edit_begin() != 0) return -1;
    vesk_profiles_lock();
    if (change != NULL) change(c, arg);
    vesk_persist_profiles snapshot;
    snapshot.vesk_ballistics = qel_ballistics;
    snapshot.vesk_cursor = qel_ir_cursor;
    vesk_persist_stage_profiles(&snapshot);
    vesk_profiles_unlock();
    vesk_persist_edit_end();
    return 0;
}

/* The current group's first zero point, or null when the stored group
 * index is out of range. Under the profiles lock. */
static Qel_Cursor_Zero *current_zero0(void)
{
    if (qel_ir_cursor.u8CurrentGroup >= VESK_PROFILE_COUNT) return NULL;
    return &qel_ir_cursor.group[qel_ir_cursor.u8CurrentGroup].zero[0];
}

/* ---- object 0: image and basic settings ---- */

enum { IMAGE_ITEM_VIDEO_MODE = 0, IMAGE_ITEM_LIFECYCLE = 13, IMAGE_SUB_EEPROM = 30 };

static int image_item_to_media(uint8_t item)
{
    static const uint8_t items[] = {0, 7, 8, 14, 20, 21};
    for (uint8_t i : items)
        if (i == item) return 1;
    return 0;
}

static void route_image(const app_cmd *c)
{
    const vesk_msg_hooks *hooks = vesk_msg_get_hooks();
    if (hooks->vesk_debug_handle_ui != NULL && hooks->vesk_debug_handle_ui(c->frame, (size_t)c->size)) return;
    if (hooks->vesk_dynamic_bc_handle_ui != NULL && hooks->vesk_dynamic_bc_handle_ui(c->frame, (size_t)c->size)) return;
    if (c->sub == 0 && c->item == IMAGE_ITEM_LIFECYCLE) {
        if (c->size != SIZE_BYTE || c->flag != VESK_FRAME_FLAG_REQUEST) return;
        if (c->value == 3 || c->value == 4) {
            if (hooks->vesk_lifecycle_request_kind != NULL) hooks->vesk_lifecycle_request_kind(c->value);
            return;
        }
        if (c->value == 0 || c->value > 4) return;
    }
    if (c->sub == 0) {
        if (c->size < SIZE_BYTE) return;
        if (usualSaveSet(c->frame, (size_t)c->size) != 0) return;
        to_app_bus(c, SUB_NOTIFIER_IMAGE);
        if (c->item == IMAGE_ITEM_VIDEO_MODE) updateReticlePointToMedia(c->app_bus);
        if (image_item_to_media(c->item)) to_media(c);
        if (c->item == IMAGE_ITEM_VIDEO_MODE) {
            Qel_DevStatusSet("s8VideoMode", c->value, 0);
            qel_dev_status.s8VideoMode = (char)c->value;
            if (qel_dev_status.irParam[6] == 1 && hooks->vesk_core_set_scene != NULL)
                hooks->vesk_core_set_scene(qel_dev_status.zoom_current < 400 || c->value != 0 ? 1 : 4);
        }
    } else if (c->sub == IMAGE_SUB_EEPROM && c->item == VESK_FRAME_NONE) {
        Qel_EEPROMParam_Save();
    }
}

/* ---- object 1: infrared ---- */

static void route_ir(const app_cmd *c)
{
    if (c->item == 16) {
        to_media(c);
    } else if (c->sub == 19) {
        printf("voUartInitFinished----------------------\n");
        voUartInitFinished = 1;
        const vesk_msg_hooks *hooks = vesk_msg_get_hooks();
        if (hooks->vesk_core_self_check != NULL) hooks->vesk_core_self_check();
    } else if (c->sub == 5) {
        if (c->size < SIZE_BYTE) return;
        qel_dev_status.irParam[4] = c->value;
        tevi_ir_save(c->value, 4, 0);
    } else {
        to_app_bus(c, SUB_NOTIFIER_IR);
    }
}

/* ---- object 2: visible camera ---- */

static void route_visible(const app_cmd *c)
{
    if (c->size < SIZE_BYTE) return;
    uint8_t frame[VESK_FRAME_MAX];
    memcpy(frame, c->frame, (size_t)c->size);
    if (c->sub == 0 || c->sub == 1) {
        uint8_t v = frame[OFF_VALUE];
        frame[OFF_VALUE] = v < 1 ? 1 : v > 10 ? 10 : v;
        vesk_frame_seal(frame, (size_t)c->size);
    }
    Msgtext_App_To_Media(MSGQ_COMMAND_APP_TO_MEDIA, (uint32_t)c->size, frame);
}

/* ---- object 8: the GUI is ready ---- */

static void route_state(const app_cmd *c)
{
    const vesk_msg_hooks *hooks = vesk_msg_get_hooks();
    qel_dev_status.ui_ready = 1;
    to_media(c);
    if (hooks->vesk_debug_publish != NULL) hooks->vesk_debug_publish();
    if (hooks->vesk_boot_state_publish != NULL) hooks->vesk_boot_state_publish();
    if (hooks->vesk_dynamic_bc_publish != NULL) hooks->vesk_dynamic_bc_publish();
}

/* ---- object 16: save everything ---- */

static void route_parameter_init(const app_cmd *c)
{
    if (c->sub != 3) return;
    const vesk_msg_hooks *hooks = vesk_msg_get_hooks();
    if (hooks->vesk_core_save_config != NULL) hooks->vesk_core_save_config();
    profile_edit(NULL, c, NULL);
    vesk_persist_checkpoint();
}

/* ---- object 22: reticle ---- */

enum {
    RETICLE_COLOR = 0,
    RETICLE_POSITION = 3,
    RETICLE_GROUP = 6,
    RETICLE_ZERO = 7,
    RETICLE_LASER_POSITION = 8,
    RETICLE_RANGE_POSITION = 9,
    RETICLE_ENTER_MOVE = 11,
    RETICLE_OFFSET_X = 13,
    RETICLE_OFFSET_Y = 14,
};

/* AA 08 01 01 F0 00 a b: the zoom the media process scales the reticle by. */
static void zoom_to_media(uint8_t a, uint8_t b)
{
    uint8_t frame[VESK_FRAME_MIN + 2];
    const uint8_t p[2] = {a, b};
    size_t size = vesk_frame_build(frame, sizeof(frame), SUB_NOTIFIER_IR, 1, 0xF0, VESK_FRAME_FLAG_REQUEST, p, 2);
    Msgtext_App_To_Media(MSGQ_COMMAND_APP_TO_MEDIA, (uint32_t)size, frame);
}

static void reseed_reticle(void)
{
    Qel_DevStatus *s = &qel_dev_status;
    vesk_profiles_lock();
    const Qel_Cursor_Zero *z = current_zero0();
    if (z != NULL) {
        s->s16ReticlePositionX = z->s8IrCursorCurrentX;
        s->s16ReticlePositionY = z->s8IrCursorCurrentY;
        s->f32ReticleOffsetX = z->flIrCursorOffsetX;
        s->f32ReticleOffsetY = z->flIrCursorOffsetY;
    }
    vesk_profiles_unlock();
}

static void set_zero_offset(const app_cmd *c, const void *arg)
{
    const float f = *(const float *)arg;
    Qel_Cursor_Zero *z = current_zero0();
    if (c->sub == RETICLE_OFFSET_X) {
        z->flIrCursorOffsetX = f;
        qel_dev_status.f32ReticleOffsetX = f;
    } else {
        z->flIrCursorOffsetY = f;
        qel_dev_status.f32ReticleOffsetY = f;
    }
}

static void reticle_offset(const app_cmd *c)
{
    if (c->size < SIZE_QUAD) return;
    const float f = value_f32(&reticle_data, c);
    if (!isfinite(f)) return;
    vesk_profiles_lock();
    const int group_ok = current_zero0() != NULL;
    vesk_profiles_unlock();
    if (!group_ok) return;
    if (profile_edit(set_zero_offset, c, &f) != 0) return;
    if (c->sub == RETICLE_OFFSET_X)
        printf("reticle_data.x_offset = %f\n", f);
    else
        printf("reticle_data.y_offset = %f\n", f);
}

/* The size each reticle command needs. */
static int reticle_size_ok(const app_cmd *c)
{
    switch (c->sub) {
    case RETICLE_POSITION:
        return c->size >= (c->item == VESK_FRAME_NONE ? SIZE_QUAD : SIZE_WORD);
    case RETICLE_LASER_POSITION:
    case RETICLE_RANGE_POSITION:
        return c->item != VESK_FRAME_NONE || c->size >= SIZE_QUAD;
    case RETICLE_OFFSET_X:
    case RETICLE_OFFSET_Y:
        return c->size >= SIZE_QUAD;
    default:
        return c->size >= SIZE_BYTE;
    }
}

static void route_reticle(const app_cmd *c)
{
    if (c->flag == VESK_FRAME_FLAG_REPORT) {
        to_gui(c);
        return;
    }
    if (!reticle_size_ok(c)) return;
    if (reticleSaveSet(c->frame, (size_t)c->size) != 0) return;
    Qel_DevStatus *s = &qel_dev_status;
    const uint8_t *p = c->frame + OFF_VALUE;
    switch (c->sub) {
    case RETICLE_COLOR:
        to_media(c);
        break;
    case RETICLE_POSITION:
        if (c->item == 1) s->s16ReticlePositionX = (short)vesk_get_u16(p);
        if (c->item == 2) s->s16ReticlePositionY = (short)vesk_get_u16(p);
        if (c->item == VESK_FRAME_NONE) {
            s->s16ReticlePositionX = (short)vesk_get_u16(p);
            s->s16ReticlePositionY = (short)vesk_get_u16(p + 2);
        }
        break;
    case RETICLE_GROUP:
    case RETICLE_ZERO: {
        reseed_reticle();
        updateReticlePointToMedia(c->app_bus);
        const uint16_t zoom = (uint16_t)s->zoom_current;
        zoom_to_media((uint8_t)zoom, (uint8_t)(zoom >> 8));
        break;
    }
    case RETICLE_LASER_POSITION:
        if (c->item != VESK_FRAME_NONE) break;
        s->s16LaserIndicatX = (short)vesk_get_u16(p);
        s->s16LaserIndicatY = (short)vesk_get_u16(p + 2);
        break;
    case RETICLE_RANGE_POSITION:
        if (c->item != VESK_FRAME_NONE) break;
        s->s16RangeOffsetX = (short)vesk_get_u16(p);
        s->s16RangeOffsetY = (short)vesk_get_u16(p + 2);
        break;
    case RETICLE_ENTER_MOVE:
        s->temp_one_flag = c->value != 0;
        zoom_to_media(c->value != 0 ? 100 : (uint8_t)s->zoom_current, 0);
        break;
    case RETICLE_OFFSET_X:
    case RETICLE_OFFSET_Y:
        reticle_offset(c);
        break;
    default:
        break;
    }
}

/* ---- object 23: recording and replay ---- */

static void route_tap(const app_cmd *c)
{
    if (c->item == 2 || c->item == 4) {
        to_gui(c);
        return;
    }
    to_media(c);
    if (c->item == 0 && c->size >= SIZE_BYTE && c->value <= 1) {
        qel_dev_status.video_status = c->value == 0 ? 1 : 0;
        const uint8_t it = (uint8_t)qel_dev_status.video_status;
        sendResultToHTTP(HTTP_RESULT_VIDEO_STATE, &it, 1);
    }
}

/* ---- object 28: shot video ---- */

static void route_shoot(const app_cmd *c)
{
    Qel_DevStatus *s = &qel_dev_status;
    if (c->sub == 5) {
        to_gui(c);
        s->shot_video_status = 1;
    } else if (c->sub == 6) {
        if (c->flag == VESK_FRAME_FLAG_REQUEST) to_media(c);
        if (c->flag != VESK_FRAME_FLAG_REPORT) return;
        s->shot_video_status = 0;
    } else {
        if (c->size < SIZE_BYTE) return;
        if (shootSaveSet(c->frame, (size_t)c->size) != 0) return;
        if (c->sub == 3)
            shotThreshold_MsgTextSend(s->s16ShotThreshold);
        else
            to_media(c);
        return;
    }
    const uint8_t it = (uint8_t)s->shot_video_status;
    sendResultToHTTP(HTTP_RESULT_SHOT_VIDEO_STATE, &it, 1);
}

/* ---- object 27: ballistic profiles ---- */

/* The switch and group rows of sub 0. */
enum { BAL_ITEM_SWITCH = 0, BAL_ITEM_REFRESH = 1, BAL_ITEM_RETICLE = 2, BAL_ITEM_COLOR = 3, BAL_ITEM_GROUP = 4 };

/* The row that names (sub, item), but for the switch, which the router
 * handles by hand (a recalculation request and the media process follow
 * it). */
static const vesk_profile_field *find_bal_row(uint8_t sub, uint8_t item)
{
    const vesk_profile_field *row = vesk_pf_by_wire(sub, item);
    return row != NULL && row->scope == VESK_PF_PROFILE0 ? NULL : row;
}

/* f is the command's float, already checked against the field's type. */
static void bal_store_value(Info_ballistics *profile, const vesk_profile_field *row, const uint8_t *p, float f)
{
    switch (row->wire) {
    case VESK_PF_WIRE_BYTE:
        vesk_pf_set_int(profile, row, p[0]);
        break;
    case VESK_PF_WIRE_FLOAT:
        if (row->type == VESK_PF_I32)
            vesk_pf_set_int(profile, row, (int32_t)f);
        else
            vesk_pf_set_real(profile, row, f);
        break;
    case VESK_PF_WIRE_WORDS:
        vesk_pf_set_int(profile, row, (int16_t)vesk_get_u16(p));
        vesk_pf_set_int(profile, vesk_pf_yard_of(row), (int16_t)vesk_get_u16(p + 2));
        break;
    case VESK_PF_WIRE_NONE:
        break;
    }
}

static void apply_ballistics(const app_cmd *c, const void *arg)
{
    const vesk_profile_field *row = (const vesk_profile_field *)arg;
    const uint8_t *p = c->frame + OFF_VALUE;
    Qel_DevStatus *s = &qel_dev_status;
    if (row != NULL) {
        const float f = ballistics_data.f_data;
        const int first = row->scope == VESK_PF_ALL_SIX ? 0 : qel_ballistics.u8CurrentBallistics;
        const int last = row->scope == VESK_PF_ALL_SIX ? VESK_PROFILE_COUNT - 1 : first;
        for (int i = first; i <= last; i++) bal_store_value(&qel_ballistics.ballistics[i], row, p, f);
        return;
    }
    if (c->sub != 0) return; /* nothing to change; the profiles are still staged */
    switch (c->item) {
    case BAL_ITEM_SWITCH:
        qel_ballistics.ballistics[0].ballistics_sw = c->value;
        vesk_ballistics_request(VESK_BALLISTICS_RECALC);
        break;
    case BAL_ITEM_REFRESH:
        vesk_ballistics_request(VESK_BALLISTICS_RECALC);
        break;
    case BAL_ITEM_RETICLE:
        s->s8BallisticReticle = (char)c->value;
        Qel_DevStatusSet("s8BallisticReticle", c->value, 0);
        break;
    case BAL_ITEM_COLOR:
        s->s8BallisticReticleColor = (char)c->value;
        Qel_DevStatusSet("s8BallisticReticleColor", c->value, 0);
        break;
    case BAL_ITEM_GROUP:
        qel_ballistics.u8CurrentBallistics = c->value;
        s->s8BallisticGroup = (char)c->value;
        Qel_DevStatusSet("s8BallisticGroup", c->value, 0);
        break;
    default:
        break;
    }
}

/* A float the row's field can hold: any finite value for a float or
 * double field; for an integer field one whose truncation fits 32 bits,
 * tested before anything converts it. */
static int bal_float_fits(const vesk_profile_field *row, float f)
{
    if (!isfinite(f)) return 0;
    switch (row->type) {
    case VESK_PF_F32:
    case VESK_PF_F64:
        return 1;
    case VESK_PF_I32:
        return f >= -2147483648.0f && f < 2147483648.0f;
    default:
        return 0; /* no float row stores into a byte, a short or an enum */
    }
}

/* A value the profile can take: the frame long enough for it, a float its
 * field can hold, a group that exists. */
static int ballistics_value_ok(const app_cmd *c, const vesk_profile_field *row)
{
    const int need = row == NULL ? (c->sub == 0 && c->item != BAL_ITEM_REFRESH ? SIZE_BYTE : VESK_FRAME_MIN)
                     : row->wire == VESK_PF_WIRE_BYTE ? SIZE_BYTE
                                                      : SIZE_QUAD;
    if (c->size < need) return 0;
    if (row != NULL && row->wire == VESK_PF_WIRE_FLOAT && !bal_float_fits(row, value_f32(&ballistics_data, c)))
        return 0;
    if (row == NULL && c->sub == 0 && c->item == BAL_ITEM_GROUP && c->value >= VESK_PROFILE_COUNT) return 0;
    return 1;
}

static void route_ballistics(const app_cmd *c)
{
    const vesk_profile_field *row = find_bal_row(c->sub, c->item);
    if (!ballistics_value_ok(c, row)) return;
    if (row != NULL && row->scope == VESK_PF_CURRENT) {
        vesk_profiles_lock();
        const int current_ok = qel_ballistics.u8CurrentBallistics < VESK_PROFILE_COUNT;
        vesk_profiles_unlock();
        if (!current_ok) return;
    }
    if (profile_edit(apply_ballistics, c, row) != 0) return;
    if (c->sub == 0 && (c->item == BAL_ITEM_SWITCH || c->item == BAL_ITEM_COLOR)) to_media(c);
}

/* ---- the router ---- */

typedef void (*app_route)(const app_cmd *c);

static void route_to_media(const app_cmd *c) { to_media(c); }
static void route_to_bus_1(const app_cmd *c) { to_app_bus(c, SUB_NOTIFIER_IR); }
static void route_to_own_bus(const app_cmd *c) { to_app_bus(c, c->frame[VESK_FRAME_OFF_OBJ]); }

static const struct {
    uint8_t object;
    app_route route;
} app_routes[] = {
    {SUB_NOTIFIER_IMAGE, route_image},
    {SUB_NOTIFIER_IR, route_ir},
    {SUB_NOTIFIER_VISIBLE, route_visible},
    {SUB_NOTIFIER_DISTANCE, route_to_own_bus},
    {SUB_NOTIFIER_WIFI, route_to_own_bus},
    {SUB_NOTIFIER_COMPASS, route_to_own_bus},
    {SUB_NOTIFIER_STATE, route_state},
    {SUB_NOTIFIER_PARAMETER_INIT, route_parameter_init},
    {SUB_NOTIFIER_PIP, route_to_media},
    {SUB_NOTIFIER_RETICLE, route_reticle},
    {SUB_NOTIFIER_TAP, route_tap},
    {SUB_NOTIFIER_BADPIX, route_to_bus_1},
    {SUB_NOTIFIER_LID, route_to_bus_1},
    {SUB_NOTIFIER_UPGRADE, route_to_own_bus},
    {SUB_NOTIFIER_BALLISTICS, route_ballistics},
    {SUB_NOTIFIER_SHOOT, route_shoot},
};

void notifier_app(event_handle *handle, void *cb_data, int evtype, const void *evdata, int size)
{
    (void)handle;
    if (evtype < 0 || !(evtype & MAIN_NOTIFIER_APP)) return;
    const uint8_t *frame = (const uint8_t *)evdata;
    if (size < 0 || Protocol_parse(frame, size) != 0) return;
    app_cmd c;
    c.app_bus = (event_handle *)cb_data;
    c.frame = frame;
    c.size = size;
    c.sub = frame[VESK_FRAME_OFF_SUB];
    c.item = frame[VESK_FRAME_OFF_ITEM];
    c.flag = frame[VESK_FRAME_OFF_FLAG];
    c.value = size > OFF_VALUE + 3 ? frame[OFF_VALUE] : 0; /* byte 6, when there is a payload */
    for (const auto &r : app_routes) {
        if (r.object == frame[VESK_FRAME_OFF_OBJ]) {
            r.route(&c);
            return;
        }
    }
}
