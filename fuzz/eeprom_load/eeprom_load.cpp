// The EEPROM record's load: any bytes as the nvmem file. The record written
// back from what was loaded reads back as the same text.
#include <stdlib.h>
#include <string.h>

#include "fuzz_sightd.h"
#include "fuzz_support.h"
#include "iniparser_handler.h"
#include "qel_dev_status.h"

static fuzz_settings_files g_files;

static int load(Qel_DevStatus *s) { return Para_init(s); }

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    (void)argc;
    (void)argv;
    fuzz_sandbox();
    fuzz_quiet_stdout();
    g_files = fuzz_settings_files_make("[qeldevstatus]\ns8language = 0\n", NULL);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_write_file(g_files.eeprom, data, size);
    Qel_DevStatus s;
    if (load(&s) != 0) return 0;
    char *first = NULL, *second = NULL;
    size_t n1 = 0, n2 = 0;
    if (vesk_eeprom_serialize(&s, &first, &n1) != 0) return 0;
    fuzz_write_file(g_files.eeprom, (const uint8_t *)first, n1);
    Qel_DevStatus again;
    if (load(&again) != 0 || vesk_eeprom_serialize(&again, &second, &n2) != 0) abort();
    /* Loaded once more, the written record must give the same text. */
    fuzz_write_file(g_files.eeprom, (const uint8_t *)second, n2);
    Qel_DevStatus third;
    char *third_text = NULL;
    size_t n3 = 0;
    if (load(&third) != 0 || vesk_eeprom_serialize(&third, &third_text, &n3) != 0) abort();
    if (n2 != n3 || memcmp(second, third_text, n2) != 0) abort();
    free(first);
    free(second);
    free(third_text);
    return 0;
}
