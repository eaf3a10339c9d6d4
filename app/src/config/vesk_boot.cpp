// The boot sequence of the persistence service, run by vesk_persist_start
// before the worker exists: clean-up of what a killed writer left, the
// EEPROM journal, then the settings, the profiles and the Wi-Fi cache.
#include <errno.h>
#include <iniparser.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "iniparser_handler.h"
#include "vesk_device_db.h"
#include "vesk_fault.h"
#include "vesk_io.h"
#include "vesk_log.h"
#include "vesk_persist_internal.h"

#define BOOT_TAG "persist.boot"

static void sweep_temporaries(const vesk_persist_resolved_paths *p)
{
    const char *files[] = {p->current_ini,   p->defaults_ini, p->profiles_db,   p->defaults_db, p->wifi_wpa2,
                           p->wifi_none,     p->image_marker, p->authority_ini, p->authority_db, p->ready,
                           p->manifest,      p->eeprom_journal};
    for (const char *f : files) {
        int n = vesk_io_sweep_temps(f);
        if (n > 0) vesk_log_printf(VESK_LOG_ERROR, BOOT_TAG, "removed %d temporary file(s) left beside %s", n, f);
    }
}

/* An EEPROM journal means the last calibration write may not have reached
 * the device: write it again before anything reads the EEPROM. */
static const char *replay_eeprom_journal(const vesk_persist_resolved_paths *p)
{
    char *text = NULL;
    size_t length = 0;
    if (vesk_io_read_file(p->eeprom_journal, &text, &length) < 0) return p->eeprom;
    dictionary *d = iniparser_load(p->eeprom_journal);
    int valid = d != NULL && iniparser_find_entry(d, "info");
    if (d != NULL) iniparser_freedict(d);
    const char *source = p->eeprom;
    if (!valid) {
        vesk_log_printf(VESK_LOG_ERROR, BOOT_TAG, "EEPROM journal unusable; removed");
        unlink(p->eeprom_journal);
    } else {
        int rc = vesk_eeprom_write_verify(p->eeprom, text, length);
        if (rc == 0) {
            unlink(p->eeprom_journal);
            vesk_io_fsync_dir_of(p->eeprom_journal);
            vesk_log_printf(VESK_LOG_ERROR, BOOT_TAG, "EEPROM record restored from its journal");
        } else {
            /* The device is still wrong: boot on the journalled calibration. */
            vesk_log_printf(VESK_LOG_ERROR, BOOT_TAG, "EEPROM rewrite from its journal failed (%d)", rc);
            source = p->eeprom_journal;
        }
    }
    free(text);
    return source;
}

static void copy_line_value(char *out, size_t cap, const char *value, const char *end)
{
    size_t n = (size_t)(end - value);
    if (n > cap - 1) n = cap - 1;
    memcpy(out, value, n);
    out[n] = '\0';
}

static void load_wifi_cache(const vesk_persist_resolved_paths *p, vesk_wifi_cache *w)
{
    memset(w, 0, sizeof *w);
    char *text = NULL;
    size_t length = 0;
    if (vesk_io_read_file(p->wifi_wpa2, &text, &length) == 0) {
        for (char *line = text; line < text + length;) {
            char *nl = strchr(line, '\n');
            char *end = nl ? nl : text + length;
            if (strncmp(line, "ssid=", 5) == 0) copy_line_value(w->ssid, sizeof w->ssid, line + 5, end);
            if (strncmp(line, "wpa_passphrase=", 15) == 0)
                copy_line_value(w->password, sizeof w->password, line + 15, end);
            line = end + 1;
        }
        free(text);
    }
    w->generation = 1;
}

/* Stale mirrors follow the authority. A mirror that cannot be written
 * never stops the boot: store 1 is marked with the error so the worker
 * writes the defaults, and their mirror, again. */
static void sync_mirrors_at_boot(void)
{
    int rc = vesk_persist_sync_mirrors("bootstrap:mirror-ini", "bootstrap:mirror-db");
    if (rc == 0) return;
    vesk_persist_lock();
    vesk_persist_mark_dirty_locked(VESK_PERSIST_DEFAULTS, vesk_persist_mono_ms());
    g_vesk_persist.stores[VESK_PERSIST_DEFAULTS].error = -rc;
    vesk_persist_unlock();
}

int vesk_persist_load_settings(Qel_DevStatus *status, const char *eeprom_source)
{
    vesk_persist_state *s = &g_vesk_persist;
    const vesk_persist_resolved_paths *p = &s->paths;
    vesk_ini_configure_paths(p->current_ini, p->authority_ini, eeprom_source);
    int rc = Para_init(status);
    if (rc < 0) {
        fprintf(stderr, "vesk_persist_start: load_settings failed (%d)\n", rc);
        return rc;
    }
    s->eeprom_readable = vesk_ini_hardware_loaded();
    s->eeprom = *status;
    return 0;
}

int vesk_persist_boot(Qel_DevStatus *status, vesk_persist_profiles *profiles)
{
    vesk_persist_state *s = &g_vesk_persist;
    const vesk_persist_resolved_paths *p = &s->paths;
    if (mkdir(p->recovery_dir, 0700) != 0 && errno != EEXIST) return -errno;
    sweep_temporaries(p);
    const char *eeprom_source = replay_eeprom_journal(p);
    sync_mirrors_at_boot();

    int rc = vesk_persist_load_settings(status, eeprom_source);
    if (rc < 0) return rc;
    rc = vesk_device_db_open(p->profiles_db, status, profiles);
    if (rc < 0) {
        vesk_log_printf(VESK_LOG_ERROR, BOOT_TAG, "profiles database not loaded (%d); recovery required", rc);
        return rc;
    }
    s->profiles = *profiles;
    load_wifi_cache(p, &s->wifi);
    s->stores[VESK_PERSIST_WIFI].accepted = 1;
    s->stores[VESK_PERSIST_WIFI].durable = 1;
    vesk_ini_apply_debug();
    return 0;
}
