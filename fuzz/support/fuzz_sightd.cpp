#include "fuzz_sightd.h"

#include <stdlib.h>
#include <string.h>

#include "boardcast.h"
#include "fuzz_support.h"
#include "iniparser_handler.h"
#include "persist_fixture.h"
#include "qel_dev_status.h"
#include "vesk_msgq.h"
#include "vesk_persist.h"

void fuzz_sightd_setup(void)
{
    fuzz_sandbox();
    fuzz_quiet_stdout();
    fuzz_drain_queue(MSGQ_KEY_TO_PEERS);
}

void fuzz_settings_store_start(void)
{
    static PersistDir dir;
    dir.create();
    static vesk_persist_paths paths = dir.paths();
    static vesk_persist_hooks hooks = {};
    static vesk_persist_profiles profiles;
    vesk_ini_register_persist();
    if (vesk_persist_start(&paths, &hooks, &qel_dev_status, &profiles) != 0) abort();
    qel_ballistics = profiles.vesk_ballistics;
    qel_ir_cursor = profiles.vesk_cursor;
}

static void take(event_handle *handle, void *cb_data, int evtype, const void *evdata, int size)
{
    (void)handle;
    (void)cb_data;
    (void)evtype;
    (void)evdata;
    (void)size;
}

void fuzz_app_bus_sink(event_handle *bus)
{
    if (event_receive_register(bus, take, NULL) != 0) abort();
}

static void put(const std::string &path, const char *text)
{
    if (text != NULL) fuzz_write_file(path, (const uint8_t *)text, strlen(text));
}

fuzz_settings_files fuzz_settings_files_make(const char *current, const char *eeprom)
{
    fuzz_settings_files f;
    f.current = fuzz_scratch() + "/config.ini";
    f.defaults = fuzz_scratch() + "/defconfig.ini";
    f.eeprom = fuzz_scratch() + "/nvmem";
    put(f.defaults, "[qeldevstatus]\ns8language = 0\n");
    put(f.current, current);
    put(f.eeprom, eeprom);
    vesk_ini_configure_paths(f.current.c_str(), f.defaults.c_str(), f.eeprom.c_str());
    return f;
}
