// A stand-in for libCustBallisticCalculator.so that keeps what it was
// handed and answers what the test tells it to.
#pragma once

#include "CustBallisticCalculator.h"

struct fbc_recorded_call {
    int calls;    // calls so far
    int extended; // the last call came through the extended entry
    int dynamic;  // its last argument
    CustAmmunition ammunition;
    CustSight sight;
    CustRifling rifling;
    CustZeroing zeroing;
    CustAmmunition zeroing_ammunition;
    CustAtmosphere zeroing_atmosphere;
    CustAtmosphere atmosphere;
    CustShotParameters shot;
    CustWind wind;
    bool has_wind;
    double wind_length;
    CustBallisticCalculationOption option;
    int log_on;
};

extern "C" {
void fbc_recorder_reset(void);
void fbc_recorder_answer(int rc, double drop, double windage);
const fbc_recorded_call *fbc_recorder_last(void);
}
