// The phone's exchange file: any bytes parsed; what parses is applied to
// the profiles, and the export written from them must parse back.
#include <string.h>

#include <cstdlib>

#include "CustBallisticCalculator.h"
#include "bccal.h"
#include "fuzz_sightd.h"
#include "fuzz_support.h"
#include "qel_dev_status.h"
#include "vesk_persist.h"

/* The import hands the profile on to the calculator binding but never
 * calculates; the shared calculator is no part of this tree, so its
 * entries stand here. */
const char *GetThisLibVerion(void) { return "fuzz"; }
void Ballistic_Calculation_LogSet(bool on) { (void)on; }
int SingleCustBallisticCalculation(CustBallisticCalculationResult *, const CustAmmunition *, const CustSight *,
                                   const CustRifling *, const CustZeroing *, const CustAtmosphere *,
                                   const CustShotParameters *, const CustWind *, bool, double,
                                   const CustBallisticCalculationOption *)
{
    return -1;
}

static Qel_IR_Ballistics start_ballistics;
static Qel_IR_Cursor start_cursor;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    (void)argc;
    (void)argv;
    fuzz_sightd_setup();
    fuzz_settings_store_start();
    start_ballistics = qel_ballistics;
    start_cursor = qel_ir_cursor;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    vesk_bccal_pending pending;
    if (vesk_bccal_parse_text((const char *)data, size, &pending) != 0) return 0;
    vesk_profiles_lock();
    qel_ballistics = start_ballistics;
    qel_ir_cursor = start_cursor;
    vesk_bccal_apply_pending(&pending, qel_ballistics.u8CurrentBallistics);
    static char text[4096];
    const int n = vesk_bccal_export_text(&qel_ballistics, text, sizeof text);
    vesk_profiles_unlock();
    if (n <= 0) abort();
    vesk_bccal_pending again;
    if (vesk_bccal_parse_text(text, (size_t)n, &again) != 0) abort();
    return 0;
}
