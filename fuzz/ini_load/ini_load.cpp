// The settings load: any bytes as the current settings file. The record it
// fills holds only values its loaders keep, and the dictionary dumps.
#include <stdlib.h>
#include <string.h>

#include "fuzz_sightd.h"
#include "fuzz_support.h"
#include "iniparser_handler.h"
#include "qel_dev_status.h"

static fuzz_settings_files g_files;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    (void)argc;
    (void)argv;
    fuzz_sandbox();
    fuzz_quiet_stdout();
    g_files = fuzz_settings_files_make(NULL, "");
    vesk_ini_set_debug_apply([](int on) { return on == 0 || on == 1 ? 0 : (abort(), 0); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_write_file(g_files.current, data, size);
    Qel_DevStatus s;
    if (Para_init(&s) != 0) return 0;
    const Qel_DevStatus &c = s;
    if (c.s8ShotFrontTime > 2 || c.s8ShotBackTime > 2) abort();
    if (c.vesk_lrf_target < 1 || c.vesk_lrf_target > 3 || c.vesk_lrf_processing > 1) abort();
    if (c.reticleParam[VESK_RETICLE_GROUP_INDEX] < 0 || c.reticleParam[VESK_RETICLE_GROUP_INDEX] >= VESK_PROFILE_COUNT)
        abort();
    if ((unsigned char)c.s8BallisticGroup >= VESK_PROFILE_COUNT || c.irParam[2] == 0) abort();
    for (float f : c.compassParam)
        if (!(f == f) || f - f != 0) abort(); /* NaN or infinite */
    vesk_ini_apply_debug();
    (void)vesk_dynamic_bc_get();
    char *text = NULL;
    size_t n = 0;
    if (vesk_ini_serialize(0, &text, &n) == 0) free(text);
    return 0;
}
