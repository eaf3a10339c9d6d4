// The command router's setting frames: each handler changes qel_dev_status
// (and, for the zero store, qel_ir_cursor) and the settings dictionary in
// one edit section, so the worker never writes half of one change.
#include "save_handlers.h"

#include <stdio.h>
#include <string.h>

#include "iniparser_handler.h"
#include "vesk_frame.h"
#include "vesk_persist.h"

/* Frame bytes [first..last] lie before the checksum and the two trailer bytes. */
static bool frame_has(size_t size, size_t last) { return size >= 3 && last < size - 3; }

static const vesk_dev_field *dev_field(const char *key)
{
    for (const vesk_dev_field &f : vesk_dev_fields)
        if (strcmp(f.key, key) == 0) return &f;
    return NULL;
}

/* Sets the status field stored under key and saves it to the current file;
 * a value the loader would not read back changes neither (-1). */
static int set_dev(const char *who, const char *key, int value)
{
    const vesk_dev_field *f = dev_field(key);
    if (f == NULL) return 0;
    if (!vesk_ini_value_ok("qeldevstatus", key, value)) {
        fprintf(stderr, "%s: %s %d out of range\n", who, key, value);
        return -1;
    }
    vesk_dev_field_store(&qel_dev_status, f, value, NULL);
    Qel_DevStatusSet(key, value, 0);
    return 0;
}

static bool begin(const char *who)
{
    if (vesk_persist_edit_begin() == 0) return true;
    fprintf(stderr, "%s: rejected, persistence not accepting edits\n", who);
    return false;
}

int usualSaveSet(const uint8_t *frame, size_t size)
{
    static const struct {
        uint8_t item;
        const char *key;
    } items[] = {
        {7, "s8screenbrightness"}, {8, "s8videoout"},   {16, "s8language"},     {26, "s8micswitch"},
        {33, "s8compassswitch"},   {36, "s8rangetype"}, {37, "s8distanceuint"}, {40, "s8compassautoangleswitch"},
    };
    if (frame == NULL || !frame_has(size, VESK_FRAME_OFF_PAYLOAD)) return 0;
    if (!begin("usualSaveSet")) return 0;
    int rc = 0;
    for (const auto &row : items)
        if (row.item == frame[VESK_FRAME_OFF_ITEM])
            rc = set_dev("usualSaveSet", row.key, frame[VESK_FRAME_OFF_PAYLOAD]);
    vesk_persist_edit_end();
    return rc;
}

int shootSaveSet(const uint8_t *frame, size_t size)
{
    static const char *const subs[] = {"s8shotvideoswitch", "s8shotfronttime", "s8shotbacktime", "s8recoilsensitivity"};
    if (frame == NULL || !frame_has(size, VESK_FRAME_OFF_PAYLOAD)) return 0;
    if (!begin("shootSaveSet")) return 0;
    uint8_t sub = frame[VESK_FRAME_OFF_SUB];
    int value = frame[VESK_FRAME_OFF_PAYLOAD];
    int rc = 0;
    if (sub < sizeof subs / sizeof subs[0]) {
        rc = set_dev("shootSaveSet", subs[sub], value);
        if (rc == 0 && sub == 3) qel_dev_status.s16ShotThreshold = vesk_shot_threshold(value);
    }
    vesk_persist_edit_end();
    return rc;
}

static void set_reticle(int index, int value, bool also_defaults)
{
    qel_dev_status.reticleParam[index] = value;
    tevi_reticle_save(value, index, 0);
    if (also_defaults) tevi_reticle_save(value, index, 1);
}

/* Changes the current zero of the current group and stages the profiles;
 * runs inside the handler's edit section. */
static void edit_current_zero(void (*change)(Qel_Cursor_Zero *zero, const uint8_t *payload), const uint8_t *payload)
{
    vesk_profiles_lock();
    uint8_t g = qel_ir_cursor.u8CurrentGroup;
    if (g < VESK_PROFILE_COUNT) {
        Qel_Cursor_Group *group = &qel_ir_cursor.group[g];
        uint8_t z = group->u8CurrentZero < VESK_ZERO_COUNT ? group->u8CurrentZero : 0;
        change(&group->zero[z], payload);
        vesk_persist_profiles snapshot;
        snapshot.vesk_ballistics = qel_ballistics;
        snapshot.vesk_cursor = qel_ir_cursor;
        int rc = vesk_persist_stage_profiles(&snapshot);
        if (rc < 0) fprintf(stderr, "reticleSaveSet: staging the zero store failed (%d)\n", rc);
    }
    vesk_profiles_unlock();
}

static void zero_position(Qel_Cursor_Zero *zero, const uint8_t *p)
{
    zero->s8IrCursorCurrentX = (short)vesk_get_u16(p);
    zero->s8IrCursorCurrentY = (short)vesk_get_u16(p + 2);
}

static void zero_distance(Qel_Cursor_Zero *zero, const uint8_t *p)
{
    zero->u16IrCursorDistance = (short)vesk_get_u16(p);
    zero->u16IrCursorDistanceYD = (short)vesk_get_u16(p + 2);
}

static int select_group(int group)
{
    if (!vesk_ini_value_ok("reticleparam", vesk_reticle_keys[VESK_RETICLE_GROUP_INDEX].key, group)) {
        fprintf(stderr, "reticleSaveSet: profile group %d out of range [0,%d)\n", group, VESK_PROFILE_COUNT);
        return -1;
    }
    vesk_profiles_lock();
    qel_ir_cursor.u8CurrentGroup = (uint8_t)group;
    qel_ballistics.u8CurrentBallistics = (uint8_t)group;
    qel_ir_cursor.group[group].u8CurrentZero = 0;
    vesk_profiles_unlock();
    set_reticle(VESK_RETICLE_GROUP_INDEX, group, false);
    set_reticle(VESK_RETICLE_ZERO_INDEX, 0, false);
    return 0;
}

int reticleSaveSet(const uint8_t *frame, size_t size)
{
    static const struct {
        uint8_t sub, item;
        const char *key;
    } colours[] = {
        {8, 3, "s8laserreticlecolor"}, {8, 4, "s8laserreticletype"}, {9, 3, "s8rangereticlecolor"},
        {9, 4, "s8rangereticletype"},  {12, 3, "s8pipreticlecolor"}, {12, 4, "s8pipreticletype"},
    };
    if (frame == NULL || frame[VESK_FRAME_OFF_OBJ] != SUB_NOTIFIER_RETICLE) return 0;
    if (!frame_has(size, VESK_FRAME_OFF_PAYLOAD)) return 0;
    uint8_t sub = frame[VESK_FRAME_OFF_SUB];
    uint8_t item = frame[VESK_FRAME_OFF_ITEM];
    const uint8_t *payload = frame + VESK_FRAME_OFF_PAYLOAD;
    int value = payload[0];
    bool wide = frame_has(size, VESK_FRAME_OFF_PAYLOAD + 3); /* two 16-bit values */
    if (!begin("reticleSaveSet")) return 0;
    int rc = 0;
    if (item == 0xFF) {
        switch (sub) {
        case 0:
            set_reticle(0, value, false);
            break;
        case 1:
            set_reticle(1, value, true);
            printf("reticleSaveSet: reticle switch is %d\n", value);
            break;
        case 2:
            set_reticle(2, value, false);
            break;
        case 3:
            if (wide) edit_current_zero(zero_position, payload);
            break;
        case 4:
            set_reticle(4, value, true);
            printf("reticleSaveSet: reticle menu is %d\n", value);
            break;
        case 5:
            set_reticle(3, value, false);
            break;
        case 6:
            rc = select_group(value);
            break;
        case 10:
            if (wide) edit_current_zero(zero_distance, payload);
            break;
        default:
            break;
        }
    }
    for (const auto &row : colours)
        if (row.sub == sub && row.item == item) rc = set_dev("reticleSaveSet", row.key, value);
    vesk_persist_edit_end();
    return rc;
}
