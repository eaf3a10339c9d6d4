// Unit conversions, zero-offset corrections, exchange-file word readers,
// drag-table names and the limits of one ballistic profile. Pure functions;
// the constants are the ones the stored profiles and exchange files were
// written with, not the exact physical factors.
#pragma once

#include "CustBallisticCalculator.h" /* DragTableId */
#include "vesk_records.h"            /* Info_ballistics, ScopeUnit, RiflingDirection */

double convertMeterToFeet(double v);
double convertMeterToYard(double v);
double convertYardToMeter(double v);
double convertCMToInch(double v);
double convertMeterPerSecondToFeetPerHour(double v); /* a miles-per-hour factor */
double convertMMToCM(double v);
double convertCMToMM(double v);
double convertInchToMM(double v);
double convertmmHgToinHg(double v);
double convertinHgTommHg(double v);
double convertmmHgTokPa(double v);
double convertTemperatureFToC(double v);
double convertGrToG(double v);
double convertGToGr(double v);
double convertWindTo360(double v);
double convertWindTo180(double v);
double mrad2Moa(double v);
double moa2Mrad(double v);

/* Last result of convertMeterPerSecondToFeetPerHour, for diagnostics. */
extern double g_convert_speed_last;

/* A hold in MOA less the profile's zero offset, when both fields of the
 * offset's pair are set. */
double getVerticalMOAOrigin(ScopeUnit zeroOffsetUnit, double zeroOffsetVerticalMoa, double zeroOffsetVerticalMrad,
                            double MoaV);
double getHorizontalMOAOrigin(ScopeUnit zeroOffsetUnit, double zeroOffsetHorizontalMoa, double zeroOffsetHorizontalMrad,
                              double MoaH);
double getVerticalMRADOrigin(ScopeUnit zeroOffsetUnit, double zeroOffsetVertical, double MoaV);
double getHorizontalMRADOrigin(ScopeUnit zeroOffsetUnit, double zeroOffsetHorizontal, double MoaH);

/* Exchange-file words: any case-insensitive prefix of the keyword matches. */
int getisOpenzeroWeather(const char *text);
int getzeroOffsetUnit(const char *text);
int getRiflingDirection(const char *text);
int getspinOption(const char *text);

/* Drag-table names in DragTableId order. */
extern const char *const bc_str[9];
const char *setBallisticdragFunction(int index);
int getBallisticdragFunction(const char *text);

/* An enumeration field of a stored record as its 32-bit pattern: a profile
 * from a file or the GUI may hold any value there. */
unsigned vesk_enum_value(const void *field);

double getDoubleParamsLimit(double paramsval, double minlimit, double maxlimit);
/* Brings every field of one profile into its legal range, in place; a field
 * that is not a finite number takes a neutral legal value instead. */
void Info_ballistics_valid(Info_ballistics *info);
