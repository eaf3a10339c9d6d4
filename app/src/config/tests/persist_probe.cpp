// A small sightd stand-in for crash and fault tests: starts the persistence
// service on the files of one test folder, makes one change through the
// public calls, flushes, stops. Tests kill it at checkpoints and start it
// again. Exit status: 0, or 100 + errno of the first failure.
//   persist_probe ROOT boot
//   persist_probe ROOT set KEY VALUE | defaults KEY VALUE
//   persist_probe ROOT profile RANGE | wifi NAME PASSPHRASE | eeprom SERIAL
//   persist_probe ROOT burst COUNT INTERVAL_MS KEY
//   persist_probe ROOT reset SSID FROM_UPPER FORMAT MENU
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "iniparser_handler.h"
#include "persist_fixture.h"
#include "vesk_persist.h"

static int g_formats;
static int format_hook(void *) { return ++g_formats > 0 ? 0 : -EIO; }
static int update_hook(const char *, void *) { return -ENOSYS; }

static int finish(int rc) { return rc == 0 ? 0 : 100 + (rc < 0 ? -rc : rc) % 150; }

int main(int argc, char **argv)
{
    if (argc < 3) return 2;
    PersistDir dir;
    dir.layout(argv[1]);
    vesk_persist_paths paths = dir.paths();
    vesk_persist_hooks hooks = {format_hook, update_hook, NULL};
    static vesk_persist_profiles profiles;
    int rc = vesk_persist_start(&paths, &hooks, &qel_dev_status, &profiles);
    if (rc < 0) return finish(rc);
    qel_ballistics = profiles.vesk_ballistics;
    qel_ir_cursor = profiles.vesk_cursor;
    rc = persist_action(std::vector<std::string>(argv + 2, argv + argc));
    if (rc == 0) rc = vesk_persist_flush(10000);
    int stop = vesk_persist_stop(2000);
    return finish(rc != 0 ? rc : stop);
}
