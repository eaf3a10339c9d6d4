#include "fbc_recorder.h"

#include <string.h>

namespace {

fbc_recorded_call g_last;
int g_rc;
double g_drop = 1.0, g_windage = 2.0;

int record(CustBallisticCalculationResult *result, const CustAmmunition *ammunition, const CustSight *sight,
           const CustRifling *rifling, const CustZeroing *zeroing, const CustAtmosphere *atmosphere,
           const CustShotParameters *shot, const CustWind *wind, bool hasWind, double windLength,
           const CustBallisticCalculationOption *option)
{
    g_last.calls++;
    g_last.ammunition = *ammunition;
    g_last.sight = *sight;
    g_last.rifling = *rifling;
    g_last.zeroing = *zeroing;
    g_last.zeroing_ammunition = *zeroing->pZeroingAmmunition;
    g_last.zeroing_atmosphere = *zeroing->pZeroingAtmosphere;
    g_last.atmosphere = *atmosphere;
    g_last.shot = *shot;
    g_last.wind = *wind;
    g_last.has_wind = hasWind;
    g_last.wind_length = windLength;
    g_last.option = *option;
    result->Time = 0.5;
    result->AimX = 3;
    result->AimY = 4;
    result->DropAdjustment = g_drop;
    result->WindageAdjustment = g_windage;
    return g_rc;
}

} // namespace

extern "C" {

void fbc_recorder_reset(void)
{
    int log_on = g_last.log_on;
    memset(&g_last, 0, sizeof(g_last));
    g_last.log_on = log_on;
    g_rc = 0;
    g_drop = 1.0;
    g_windage = 2.0;
}

void fbc_recorder_answer(int rc, double drop, double windage)
{
    g_rc = rc;
    g_drop = drop;
    g_windage = windage;
}

const fbc_recorded_call *fbc_recorder_last(void) { return &g_last; }

const char *GetThisLibVerion(void) { return "recorder 0.1"; }

void Ballistic_Calculation_LogSet(bool on) { g_last.log_on = on; }

int SingleCustBallisticCalculation(CustBallisticCalculationResult *result, const CustAmmunition *ammunition,
                                   const CustSight *sight, const CustRifling *rifling, const CustZeroing *zeroing,
                                   const CustAtmosphere *atmosphere, const CustShotParameters *shot,
                                   const CustWind *wind, bool hasWind, double windLength,
                                   const CustBallisticCalculationOption *option)
{
    g_last.extended = 0;
    return record(result, ammunition, sight, rifling, zeroing, atmosphere, shot, wind, hasWind, windLength, option);
}

int VeskSingleCustBallisticCalculation(CustBallisticCalculationResult *result, const CustAmmunition *ammunition,
                                       const CustSight *sight, const CustRifling *rifling, const CustZeroing *zeroing,
                                       const CustAtmosphere *atmosphere, const CustShotParameters *shot,
                                       const CustWind *wind, bool hasWind, double windLength,
                                       const CustBallisticCalculationOption *option, int dynamicBc)
{
    g_last.extended = 1;
    g_last.dynamic = dynamicBc;
    return record(result, ammunition, sight, rifling, zeroing, atmosphere, shot, wind, hasWind, windLength, option);
}
}
