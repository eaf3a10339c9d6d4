// Binding to libCustBallisticCalculator.so: one ballistic profile and the
// live measurements turned into the calculator's records, the call, and the
// answer accepted or refused. The argument records are used by the
// calculation thread only.
#pragma once

#include "CustBallisticCalculator.h"
#include "vesk_records.h"

/* Read the library's version, set its log switch from the debug mode, and
 * fill the argument records with their start-up example. */
void Qel_ballistics_Init_FBC(void);
void Qel_ballistics_DebugLogSet(int on);
void FBC_params_init(void);

/* Fills every argument record from the working copy it is given (which may
 * take the click default and the folded wind angle). Returns 1. */
int FBC_params_change(Info_ballistics *ballistics);

/* One calculation with the live inputs on top of the profile: a range of 0
 * or less, a wind speed below 0, a shot angle of 99 or more and an azimuth
 * below 0 leave the profile's own value. 0 with both outputs written (MOA),
 * otherwise the library's code or -1 and the outputs untouched. */
int Qel_ballistics_FBC_Calculator(Info_ballistics ballistics, int range_current, double wind_speed,
                                  double shootingAngle, double azimuth, double *DropAdjustment,
                                  double *WindageAdjustment);

/* The working profile: the last calculated or the last applied from the
 * phone's exchange file. Both copies take its lock. */
int Qel_ballistics_paramsSave_FBC(const Info_ballistics *info);
void vesk_ballistics_working_get(Info_ballistics *out);

/* The extended entry of the library, looked up once at run time. */
void vesk_dynamic_bc_resolve(void);
int vesk_dynamic_bc_supported(void);
int vesk_dynamic_bc_calculate(CustBallisticCalculationResult *result, const CustAmmunition *ammunition,
                              const CustSight *sight, const CustRifling *rifling, const CustZeroing *zeroing,
                              const CustAtmosphere *atmosphere, const CustShotParameters *shot, const CustWind *wind,
                              bool hasWind, double windLength, const CustBallisticCalculationOption *option,
                              int dynamicBc);

/* The argument records, for the calculation thread (and tests). */
extern CustAmmunition M855_Ammunition;
extern CustSight M855_Sight;
extern CustRifling M855_Rifling;
extern CustZeroing M855_Zeroing;
extern CustAtmosphere M855_Atmosphere;
extern CustAtmosphere ZeroingAtmosphere;
extern CustShotParameters M855_ShotParameters;
extern CustWind M855_Wind;
extern CustBallisticCalculationOption M855_Option;
