#include "ballistic_thread.h"

#include <stdio.h>
#include <string.h>

#include "ballistic_fbc.h"
#include "ballistic_units.h"
#include "qel_dev_status.h"
#include "vesk_debug.h"
#include "vesk_msg.h"
#include "vesk_persist.h"

Result_ballistics g_ballistics_result;
_union_float_data moa_data_v;
_union_float_data moa_data_h;

// The master switch is profile 0's, whichever profile is current.
static int switch_on_locked(void)
{
    vesk_profiles_lock();
    int on = qel_ballistics.ballistics[0].ballistics_sw != 0;
    vesk_profiles_unlock();
    return on;
}

int Qel_ballistics_getParams_FBC(Info_ballistics *out)
{
    if (out == NULL) return 0;
    vesk_profiles_lock();
    unsigned index = qel_ballistics.u8CurrentBallistics;
    if (index < VESK_PROFILE_COUNT) *out = qel_ballistics.ballistics[index];
    vesk_profiles_unlock();
    return index < VESK_PROFILE_COUNT;
}

int Qel_ballistics_getResult_FBC(Result_ballistics *out)
{
    if (out == NULL) return 0;
    *out = g_ballistics_result;
    return 1;
}

size_t vesk_ballistic_build_frame(uint8_t *out, float moaV, float moaH, float distance, float pitch, float azimuth)
{
    uint8_t payload[20];
    vesk_put_f32(payload, moaV);
    vesk_put_f32(payload + 4, moaH);
    vesk_put_f32(payload + 8, distance);
    vesk_put_f32(payload + 12, pitch);
    vesk_put_f32(payload + 16, azimuth);
    return vesk_frame_build(out, VESK_BALLISTIC_FRAME_SIZE, SUB_NOTIFIER_BALLISTICS, VESK_BALLISTIC_COMMAND, 0,
                            VESK_FRAME_FLAG_REPORT, payload, sizeof(payload));
}

static void send_result(float distance, float pitch, float azimuth)
{
    uint8_t frame[VESK_BALLISTIC_FRAME_SIZE];
    size_t size = vesk_ballistic_build_frame(frame, moa_data_v.f_data, moa_data_h.f_data, distance, pitch, azimuth);
    Msgtext_App_To_Ui(MSGQ_COMMAND_APP_TO_UI, (uint32_t)size, frame);
    Msgtext_App_To_Media(MSGQ_COMMAND_APP_TO_MEDIA, (uint32_t)size, frame);
}

void Qel_ballistics_CalcResult_FBC(Info_ballistics info, int range_current, double wind_speed, double shootingAngle,
                                   double azimuth)
{
    double drop = 0, windage = 0;
    Qel_ballistics_paramsSave_FBC(&info);
    if (Qel_ballistics_FBC_Calculator(info, range_current, wind_speed, shootingAngle, azimuth, &drop, &windage) != 0)
        return;
    memset(&g_ballistics_result, 0, sizeof(g_ballistics_result));
    if (vesk_debug_enabled()) printf("result.moaV = %f  result.moaH = %f\n", drop, windage);

    qel_dev_status.f_distance_4ballistics = (float)((range_current > 0 ? range_current : info.target.range) / 10.0);
    qel_dev_status.f_pitch_4ballistics = (float)(shootingAngle < 99 ? shootingAngle : info.target.shootingAngle);
    qel_dev_status.f_azimuth_4ballistics = (float)(azimuth >= 0 ? azimuth : info.corioliseffect.angle);

    const Info_bullet *b = &info.gun.bullet;
    // A unit outside the two known ones removes no offset; it is read as
    // stored, since a profile from a file may hold anything there.
    unsigned unit = vesk_enum_value(&b->zeroOffsetUnit);
    double moaV = drop, moaH = windage;
    if (unit <= MRAD) {
        moaV = getVerticalMOAOrigin((ScopeUnit)unit, b->zeroOffsetVerticalMOA, b->zeroOffsetVerticalMRAD, drop);
        moaH =
            getHorizontalMOAOrigin((ScopeUnit)unit, b->zeroOffsetHorizontalMOA, b->zeroOffsetHorizontalMRAD, windage);
    }
    if (vesk_debug_enabled()) printf("\n\ngetVerticalMOAOrigin : V =  %f \n", moaV);
    // The library's windage is the hold to the right; the GUI and the video
    // overlay take the horizontal value as the side the bullet goes to.
    moaH = -moaH;
    if (vesk_debug_enabled()) printf("\n\n!!!!!!!!!!!MOA Origin : V =  %f  H = %f\n", moaV, moaH);
    g_ballistics_result.moaV = moaV;
    g_ballistics_result.moaH = moaH;
    moa_data_v.f_data = (float)moaV;
    moa_data_h.f_data = (float)moaH;
    if (qel_ballistics.ballistics[0].ballistics_sw)
        send_result(qel_dev_status.f_distance_4ballistics, qel_dev_status.f_pitch_4ballistics,
                    qel_dev_status.f_azimuth_4ballistics);
}

void set_ballistics_result_from_mobile_app(const Result_ballistics *result)
{
    if (result == NULL || !qel_ballistics.ballistics[0].ballistics_sw) return;
    if (vesk_debug_enabled())
        printf("set_ballistics_result_from_mobile_app: moa_V is %f, moa_H is %f, mrad_V is %f, mrad_H is %f\n",
               result->moaV, result->moaH, result->mradV, result->mradH);
    moa_data_v.f_data = (float)result->moaV;
    moa_data_h.f_data = (float)result->moaH;
    Info_ballistics working;
    vesk_ballistics_working_get(&working);
    send_result((float)(working.target.range / 10.0), (float)working.target.shootingAngle,
                (float)working.corioliseffect.angle);
}

int vesk_ballistics_cycle(float pitch_display, float azimuth_display)
{
    Info_ballistics info;
    int have = Qel_ballistics_getParams_FBC(&info);
    if (!switch_on_locked()) {
        qel_dev_status.ballistics_refresh = 0;
        if (vesk_lrf_ballistics_from_lrf) vesk_lrf_ballistics_from_lrf = 0;
        return 0;
    }
    if (qel_dev_status.ballistics_refresh == 0) return 0;
    qel_dev_status.ballistics_refresh = 0;
    if (!have) return 0;
    if (vesk_lrf_ballistics_from_lrf == 0) {
        printf("PthreadBallisticCalculation: use list val to cal");
        Qel_ballistics_CalcResult_FBC(info, -1, -1.0, 100.0, -1.0);
        return 1;
    }
    vesk_lrf_ballistics_from_lrf = 0;
    int distance = qel_dev_status.distance_now;
    if (info.corioliseffect.CoriolisEffectSwitch && qel_dev_status.s8CompassAutoAngleSwitch) {
        printf("PthreadBallisticCalculation: distance_now is %d, Pitch_display is %f, use compass azimuth is %f\n",
               distance, pitch_display, azimuth_display);
        Qel_ballistics_CalcResult_FBC(info, distance, -1.0, pitch_display, azimuth_display);
    } else {
        printf("PthreadBallisticCalculation: distance_now is %d, Pitch_display is %f, not use compass azimuth\n",
               distance, pitch_display);
        Qel_ballistics_CalcResult_FBC(info, distance, -1.0, pitch_display, -1.0);
    }
    return 1;
}
