// The settings load: any bytes as the current settings file. The record it
// fills holds only values its loaders keep, and the dictionary dumps.
#include <stdlib.h>
#include <string.h>

#include "fuzz_support.h"
#include "iniparser_handler.h"
#include "qel_dev_status.h"

static std::string g_current, g_defaults, g_eeprom;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    (void)argc;
    (void)argv;
    fuzz_sandbox();
    fuzz_quiet_stdout();
    g_current = fuzz_scratch() + "/config.ini";
    g_defaults = fuzz_scratch() + "/defconfig.ini";
    g_eeprom = fuzz_scratch() + "/nvmem";
    static const char defaults[] = "[qeldevstatus]\ns8language = 0\n";
    fuzz_write_file(g_defaults, (const uint8_t *)defaults, strlen(defaults));
    fuzz_write_file(g_eeprom, (const uint8_t *)"", 0);
    vesk_ini_configure_paths(g_current.c_str(), g_defaults.c_str(), g_eeprom.c_str());
    vesk_ini_set_debug_apply([](int on) { return on == 0 || on == 1 ? 0 : (abort(), 0); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_write_file(g_current, data, size);
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
