// The process-wide records of sightd, the key tables with their defaults,
// and the boot image sent to the GUI.
#include "qel_dev_status.h"

#include <string.h>

Qel_DevStatus qel_dev_status;
Qel_IR_Cursor qel_ir_cursor;
Qel_IR_Ballistics qel_ballistics;

const vesk_ini_key_row vesk_ir_keys[VESK_IR_PARAM_COUNT] = {
    {"s8irbrightness", 5},      {"s8ircontrast", 5},  {"s8irenchance", 3}, {"s8irpolarity", 0},
    {"s8stronglightenable", 0}, {"s8redhotvalue", 3}, {"s8irscene", 1},
};

const vesk_ini_key_row vesk_reticle_keys[VESK_RETICLE_PARAM_COUNT] = {
    {"s8reticlecolour", 5},     {"s8reticleswitch", 0},     {"s8reticletype", 0},      {"s8reticlebright", 2},
    {"s8reticlemenuswitch", 0}, {"s8reticlegroupindex", 0}, {"s8reticlezeroindex", 0},
};

const vesk_ini_key_row vesk_compass_keys[VESK_COMPASS_PARAM_COUNT] = {
    {"f32compassdeclination", 0},
    {"f32ccompassyaw", 0},
    {"f32compasspitch", 0},
    {"f32compassroll", 0},
};

#define DEV_CHAR(key, field, def)                                                                                      \
    {                                                                                                                  \
        key, offsetof(Qel_DevStatus, field), VESK_FIELD_CHAR, 1, def                                                   \
    }
#define DEV_U16(key, field, def)                                                                                       \
    {                                                                                                                  \
        key, offsetof(Qel_DevStatus, field), VESK_FIELD_U16, 2, def                                                    \
    }
#define DEV_S16(key, field, def)                                                                                       \
    {                                                                                                                  \
        key, offsetof(Qel_DevStatus, field), VESK_FIELD_S16, 2, def                                                    \
    }
#define DEV_F32(key, field, def)                                                                                       \
    {                                                                                                                  \
        key, offsetof(Qel_DevStatus, field), VESK_FIELD_F32, 4, def                                                    \
    }
#define DEV_TEXT(key, field)                                                                                           \
    {                                                                                                                  \
        key, offsetof(Qel_DevStatus, field), VESK_FIELD_TEXT, sizeof(Qel_DevStatus::field), 0                          \
    }

const vesk_dev_field vesk_dev_fields[VESK_DEV_FIELD_COUNT] = {
    DEV_CHAR("s8videomode", s8VideoMode, 0),
    DEV_CHAR("s8videoout", s8VideoOut, 0),
    DEV_CHAR("s8screenbrightness", s8ScreenBrightness, 5),
    DEV_CHAR("s8screenhue", s8ScreenHue, 0),
    DEV_CHAR("s8language", s8Language, 0),
    DEV_CHAR("s8sorttype", s8SortType, 0),
    DEV_CHAR("s8shotvideoswitch", s8ShotVideoSwitch, 0),
    DEV_CHAR("s8shotfronttime", s8ShotFrontTime, 0),
    DEV_CHAR("s8shotbacktime", s8ShotBackTime, 0),
    DEV_CHAR("s8recoilsensitivity", s8RecoilSensitivity, 3),
    DEV_CHAR("s8rangetype", s8RangeType, 1),
    DEV_CHAR("vesk_lrf_target", vesk_lrf_target, 1),
    DEV_CHAR("vesk_lrf_processing", vesk_lrf_processing, 0),
    DEV_U16("vesk_lrf_min_m", vesk_lrf_min_m, 0),
    DEV_U16("vesk_lrf_max_m", vesk_lrf_max_m, 0),
    DEV_CHAR("s8distanceuint", s8DistanceUint, 1),
    DEV_CHAR("s8compassswitch", s8CompassSwitch, 0),
    DEV_CHAR("s8hottrack", s8HotTrack, 0),
    DEV_CHAR("s8autoshutter", s8AutoShutter, 5),
    DEV_CHAR("s8ballisticreticle", s8BallisticReticle, 0),
    DEV_CHAR("s8rangereticletype", s8RangeReticleType, 0),
    DEV_CHAR("s8rangereticlecolor", s8RangeReticleColor, 1),
    DEV_CHAR("s8pipreticletype", s8PIPReticleType, 0),
    DEV_CHAR("s8pipreticlecolor", s8PIPReticleColor, 0),
    DEV_CHAR("s8laserreticletype", s8LaserReticleType, 0),
    DEV_CHAR("s8laserreticlecolor", s8LaserReticleColor, 2),
    DEV_CHAR("s8ballisticreticlecolor", s8BallisticReticleColor, 1),
    DEV_CHAR("s8ballisticgroup", s8BallisticGroup, 0),
    DEV_CHAR("s8wifiswitch", s8WiFiSwitch, 0),
    DEV_CHAR("s8micswitch", s8MicSwitch, 0),
    DEV_CHAR("s8watermarkclosed", s8WaterMarkClosed, 0),
    DEV_CHAR("s8compassautoangleswitch", s8CompassAutoAngleSwitch, 0),
};

const vesk_dev_field vesk_eeprom_fields[VESK_EEPROM_FIELD_COUNT] = {
    DEV_TEXT("pn", pn),
    DEV_TEXT("sn", sn),
    DEV_S16("s16rangeoffsetx", s16RangeOffsetX, 639),
    DEV_S16("s16rangeoffsety", s16RangeOffsetY, 639),
    DEV_S16("s16laserindicatx", s16LaserIndicatX, 639),
    DEV_S16("s16laserindicaty", s16LaserIndicatY, 639),
    DEV_S16("s16rangeminscale", s16RangeMinScale, 1000),
    DEV_S16("s16rangemaxscale", s16RangeMaxScale, 12000),
    DEV_F32("f_zero_azimuth", f_zero_azimuth, 0.0),
    DEV_F32("f_zero_pitch", f_zero_pitch, 0.0),
    DEV_F32("f_zero_slant", f_zero_slant, 0.0),
};

void vesk_dev_field_store(Qel_DevStatus *status, const vesk_dev_field *field, double value, const char *text)
{
    unsigned char *at = (unsigned char *)status + field->offset;
    switch (field->kind) {
    case VESK_FIELD_CHAR: {
        char v = (char)(int)value;
        memcpy(at, &v, sizeof v);
        break;
    }
    case VESK_FIELD_U16: {
        uint16_t v = (uint16_t)(int)value;
        memcpy(at, &v, sizeof v);
        break;
    }
    case VESK_FIELD_S16: {
        short v = (short)(int)value;
        memcpy(at, &v, sizeof v);
        break;
    }
    case VESK_FIELD_F32: {
        float v = (float)value;
        memcpy(at, &v, sizeof v);
        break;
    }
    case VESK_FIELD_TEXT: {
        size_t n = text ? strnlen(text, field->size - 1) : 0;
        memset(at, 0, field->size);
        if (n) memcpy(at, text, n);
        break;
    }
    }
}

double vesk_dev_field_value(const Qel_DevStatus *status, const vesk_dev_field *field)
{
    const unsigned char *at = (const unsigned char *)status + field->offset;
    switch (field->kind) {
    case VESK_FIELD_CHAR:
        return *at;
    case VESK_FIELD_U16: {
        uint16_t v;
        memcpy(&v, at, sizeof v);
        return v;
    }
    case VESK_FIELD_S16: {
        short v;
        memcpy(&v, at, sizeof v);
        return v;
    }
    case VESK_FIELD_F32: {
        float v;
        memcpy(&v, at, sizeof v);
        return v;
    }
    default:
        return 0;
    }
}

void vesk_dev_status_defaults(Qel_DevStatus *status)
{
    memset(status, 0, sizeof *status);
    for (int i = 0; i < VESK_IR_PARAM_COUNT; i++) status->irParam[i] = vesk_ir_keys[i].def;
    for (int i = 0; i < VESK_RETICLE_PARAM_COUNT; i++) status->reticleParam[i] = vesk_reticle_keys[i].def;
    for (int i = 0; i < VESK_COMPASS_PARAM_COUNT; i++) status->compassParam[i] = (float)vesk_compass_keys[i].def;
    for (const vesk_dev_field &f : vesk_eeprom_fields) vesk_dev_field_store(status, &f, f.def, "");
    for (const vesk_dev_field &f : vesk_dev_fields) vesk_dev_field_store(status, &f, f.def, "");
    status->s16ShotThreshold = vesk_shot_threshold(status->s8RecoilSensitivity);
    strcpy(status->version, VESK_VERSION_TEXT);
}

void Qel_Ui_Param_Init(const Qel_DevStatus *src, UI_DevStatus *dst)
{
    memset(dst, 0, sizeof *dst);
    dst->s8VideoMode = src->s8VideoMode;
    dst->s8IrPolarity = (char)src->irParam[3];
    dst->s8IrBrightness = (char)src->irParam[0];
    dst->s8IrContrast = (char)src->irParam[1];
    dst->s8Redhotthreshold = (char)src->irParam[5];
    dst->s8IrEnchance = (char)src->irParam[2];
    dst->s8IrScene = (char)src->irParam[6];
    dst->s8Stronglight_protect = (char)src->irParam[4];
    dst->s8IrSize = src->s8IrSize;
    dst->s8ReticleMenuSwitch = (char)src->reticleParam[4];
    dst->s8ReticleColour = (char)src->reticleParam[0];
    dst->s8ReticleSwitch = (char)src->reticleParam[1];
    dst->s8ReticleBrightness = (char)src->reticleParam[3];
    dst->s8ReticleType = (char)src->reticleParam[2];
    dst->s16ReticlePositionX = src->s16ReticlePositionX;
    dst->s16ReticlePositionY = src->s16ReticlePositionY;
    dst->s16RangeOffsetX = src->s16RangeOffsetX;
    dst->s16RangeOffsetY = src->s16RangeOffsetY;
    dst->s16LaserIndicatX = src->s16LaserIndicatX;
    dst->s16LaserIndicatY = src->s16LaserIndicatY;
    dst->s8VideoOut = src->s8VideoOut;
    dst->s8ScreenBrightness = src->s8ScreenBrightness;
    dst->s8ScreenHue = src->s8ScreenHue;
    dst->s8Language = src->s8Language;
    dst->s8SortType = src->s8SortType;
    /* A declination outside the short range would be undefined to convert;
     * the compass setter keeps it within a few tens of degrees. */
    float decl = src->compassParam[0];
    dst->s16CompassMagnetic = (decl > -32768.0f && decl < 32768.0f) ? (short)decl : 0;
    dst->s8DistanceUint = src->s8DistanceUint;
    dst->s8RangeType = src->s8RangeType;
    dst->s8CompassSwitch = src->s8CompassSwitch;
    dst->s8HotTrack = src->s8HotTrack;
    dst->s8AutoShutter = src->s8AutoShutter;
    dst->s8RecoilBefore = src->s8ShotFrontTime;
    dst->s8RecoilAfter = src->s8ShotBackTime;
    dst->s8RecoilState = src->s8ShotVideoSwitch;
    dst->s8MicroSwitch = src->s8MicSwitch;
    dst->s8BallisticReticle = src->s8BallisticReticle;
    dst->s8RecoilSensitivity = src->s8RecoilSensitivity;
#define COPY_MARK_STYLE(name) dst->name = src->name;
    VESK_MARK_STYLE_FIELDS(COPY_MARK_STYLE)
#undef COPY_MARK_STYLE
    dst->s8WiFiSwitch = src->s8WiFiSwitch;
    dst->s8CompassAutoAngleSwitch = src->s8CompassAutoAngleSwitch;
    memcpy(dst->version, src->version, strnlen(src->version, sizeof dst->version - 1));
}
