// The boot sequence of the persistence service, run by vesk_persist_start
// before the worker exists: clean-up of what a killed writer left, the
// EEPROM journal, then the settings, the profiles and the Wi-Fi cache.
#include <errno.h>
#include <fcntl.h>
#include <iniparser.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "vesk_device_db.h"
#include "vesk_fault.h"
#include "vesk_io.h"
#include "vesk_log.h"
#include "vesk_persist_internal.h"

#define BOOT_TAG "persist.boot"

static void sweep_temporaries(const vesk_persist_resolved_paths *p)
{
    const char *files[] = {p->current_ini,  p->defaults_ini, p->profiles_db,  p->defaults_db,
                           p->wifi_wpa2,    p->wifi_none,    p->image_marker, p->authority_ini,
                           p->authority_db, p->ready,        p->manifest,     p->eeprom_journal};
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

/* The name and passphrase an access-point file holds; empty when the file
 * or the line is missing. */
static void read_wifi_file(const char *path, vesk_wifi_cache *w)
{
    memset(w, 0, sizeof *w);
    char *text = NULL;
    size_t length = 0;
    if (vesk_io_read_file(path, &text, &length) != 0) return;
    for (char *line = text; line < text + length;) {
        char *nl = strchr(line, '\n');
        char *end = nl ? nl : text + length;
        if (strncmp(line, "ssid=", 5) == 0) copy_line_value(w->ssid, sizeof w->ssid, line + 5, end);
        if (strncmp(line, "wpa_passphrase=", 15) == 0) copy_line_value(w->password, sizeof w->password, line + 15, end);
        line = end + 1;
    }
    free(text);
}

/* The cache follows the WPA2 file, the one a save writes first. A save
 * killed before the open file got the same name leaves the pair apart, and
 * the cache alone would count it durable for good: the store is marked
 * dirty so the worker writes the pair again. */
static void load_wifi_cache(const vesk_persist_resolved_paths *p, vesk_persist_state *s)
{
    read_wifi_file(p->wifi_wpa2, &s->wifi);
    s->wifi.generation = 1;
    s->stores[VESK_PERSIST_WIFI].accepted = 1;
    s->stores[VESK_PERSIST_WIFI].durable = 1;
    vesk_wifi_cache open_ap;
    read_wifi_file(p->wifi_none, &open_ap);
    if (s->wifi.ssid[0] == '\0' || strcmp(s->wifi.ssid, open_ap.ssid) == 0) return;
    vesk_log_printf(VESK_LOG_ERROR, BOOT_TAG, "%s does not carry the name of %s; writing the pair again", p->wifi_none,
                    p->wifi_wpa2);
    vesk_persist_lock();
    s->wifi.generation++;
    vesk_persist_mark_dirty_locked(VESK_PERSIST_WIFI, vesk_persist_mono_ms());
    vesk_persist_unlock();
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
    int rc = g_vesk_settings.vesk_load(status, p->current_ini, p->authority_ini, eeprom_source);
    if (rc < 0) {
        fprintf(stderr, "vesk_persist_start: load_settings failed (%d)\n", rc);
        return rc;
    }
    s->eeprom_readable = g_vesk_settings.vesk_eeprom_loaded();
    s->eeprom = *status;
    return 0;
}

/* ---- defaults authority -------------------------------------------- */

static int ini_valid(const char *path)
{
    if (access(path, F_OK) != 0) return 0;
    dictionary *d = iniparser_load(path);
    int ok = d != NULL && iniparser_getnsec(d) >= 1;
    if (d != NULL) iniparser_freedict(d);
    return ok;
}

static int db_valid(const char *path) { return vesk_device_db_validate(path) == 0; }

static int exists(const char *path) { return access(path, F_OK) == 0; }

static int write_marker(const char *tag, const char *path) { return vesk_io_atomic_replace(tag, path, "1\n", 2, 0644); }

/* Copies from over to and requires the copy to pass check. */
static int copy_checked(const char *tag, const char *from, const char *to, int (*check)(const char *))
{
    int rc = vesk_io_copy_file(tag, from, to, 0644);
    if (rc < 0) return rc;
    return check(to) ? 0 : -EINVAL;
}

static int same_content(const char *a, const char *b)
{
    char *da = NULL, *db = NULL;
    size_t la = 0, lb = 0;
    int rc = vesk_io_read_file(a, &da, &la);
    if (rc == 0) rc = vesk_io_read_file(b, &db, &lb);
    if (rc == 0 && (la != lb || memcmp(da, db, la) != 0)) rc = -EIO;
    free(da);
    free(db);
    return rc;
}

static const char kHandoff[] = "VESK_VENDOR_HANDOFF=1\n";

static int import_handoff(const vesk_persist_resolved_paths *p)
{
    int rc = copy_checked("handoff:authority-ini", p->defaults_ini, p->authority_ini, ini_valid);
    if (rc == 0) rc = same_content(p->defaults_ini, p->authority_ini);
    if (rc == 0) rc = copy_checked("handoff:authority-db", p->defaults_db, p->authority_db, db_valid);
    if (rc == 0) rc = same_content(p->defaults_db, p->authority_db);
    if (rc == 0) rc = write_marker("handoff:ready", p->ready);
    if (rc == 0 && !exists(p->image_marker)) rc = write_marker("handoff:image-marker", p->image_marker);
    if (rc == 0 && unlink(p->handoff) != 0) rc = -errno;
    if (rc == 0) {
        vesk_test_checkpoint("handoff:marker-removed");
        rc = vesk_io_fsync_dir(p->recovery_dir);
    }
    if (rc < 0) {
        vesk_log_printf(VESK_LOG_ERROR, BOOT_TAG, "vendor handoff import failed (%d); marker kept, recovery required",
                        rc);
        return rc;
    }
    vesk_log_printf(VESK_LOG_DETAIL, BOOT_TAG, "vendor handoff: defaults imported from the vendor mirrors");
    return 0;
}

static int vendor_handoff(const vesk_persist_resolved_paths *p)
{
    if (!exists(p->handoff)) return 0;
    char *text = NULL;
    size_t length = 0;
    int rc = vesk_io_read_file(p->handoff, &text, &length);
    if (rc == 0 && (length != sizeof kHandoff - 1 || memcmp(text, kHandoff, length) != 0)) rc = -EINVAL;
    free(text);
    if (rc < 0) {
        vesk_log_printf(VESK_LOG_ERROR, BOOT_TAG, "vendor handoff marker unusable (%d); recovery required", rc);
        return rc;
    }
    if (!ini_valid(p->defaults_ini) || !db_valid(p->defaults_db)) {
        vesk_log_printf(VESK_LOG_ERROR, BOOT_TAG,
                        "vendor handoff: a vendor defaults mirror is invalid; nothing imported, recovery required");
        return -EINVAL;
    }
    return import_handoff(p);
}

static int first_migration(const vesk_persist_resolved_paths *p)
{
    if (exists(p->ready)) return 0;
    const char *ini, *db;
    if (ini_valid(p->defaults_ini) && db_valid(p->defaults_db)) {
        ini = p->defaults_ini;
        db = p->defaults_db;
    } else if (ini_valid(p->image_defaults_ini) && db_valid(p->image_defaults_db)) {
        ini = p->image_defaults_ini;
        db = p->image_defaults_db;
    } else {
        fprintf(stderr, "vesk_persist: no usable defaults source for first migration (VFAT seed and image templates "
                        "both unusable)\n");
        return -ENOENT;
    }
    int rc = copy_checked("bootstrap:authority-ini", ini, p->authority_ini, ini_valid);
    if (rc == 0) rc = copy_checked("bootstrap:authority-db", db, p->authority_db, db_valid);
    if (rc == 0) rc = write_marker("bootstrap:ready", p->ready);
    if (rc == 0) vesk_test_checkpoint("bootstrap:authority-ready");
    return rc;
}

static int repair_one(const char *name, const char *authority, const char *mirror, const char *tag,
                      int (*check)(const char *))
{
    if (check(authority)) return 0;
    fprintf(stderr, "vesk_persist: authority %s failed validation\n", name);
    if (!check(mirror)) {
        fprintf(stderr,
                "vesk_persist: authority %s and VFAT mirror %s are both invalid; leaving both untouched for "
                "recovery\n",
                name, mirror);
        return -EINVAL;
    }
    fprintf(stderr, "vesk_persist: restoring authority %s from the valid VFAT mirror %s\n", name, mirror);
    return copy_checked(tag, mirror, authority, check);
}

/* The recovery folder, made durable in its parent before anything is
 * written inside it, as every rename inside it is: a power cut must not
 * keep the files and lose the folder's entry. A boot that made the folder
 * and stopped before the defaults were ready in it does so again. */
static int make_recovery_dir(const vesk_persist_resolved_paths *p)
{
    if (mkdir(p->recovery_dir, 0700) != 0) {
        if (errno != EEXIST) return -errno;
        if (exists(p->ready)) return 0;
    }
    return vesk_io_fsync_dir_of(p->recovery_dir);
}

static int authority_bootstrap(const vesk_persist_resolved_paths *p)
{
    int made = make_recovery_dir(p);
    if (made < 0) return made;
    sweep_temporaries(p);
    int rc = vendor_handoff(p);
    if (rc == 0) rc = first_migration(p);
    if (rc == 0)
        rc = repair_one("defaults.ini", p->authority_ini, p->defaults_ini, "bootstrap:authority-repair-ini", ini_valid);
    if (rc == 0)
        rc = repair_one("defaults.db", p->authority_db, p->defaults_db, "bootstrap:authority-repair-db", db_valid);
    if (rc == 0) sync_mirrors_at_boot();
    return rc;
}

/* New image templates replace the authority once per image. */
static int image_refresh(const vesk_persist_resolved_paths *p)
{
    if (exists(p->image_marker)) return 0;
    if (!exists(p->image_defaults_ini) || !exists(p->image_defaults_db)) {
        fprintf(stderr, "vesk_persist: image templates missing; not substituting empty defaults\n");
        return -ENOENT;
    }
    if (!ini_valid(p->image_defaults_ini) || !db_valid(p->image_defaults_db)) {
        fprintf(stderr, "vesk_persist: image templates present but invalid; leaving existing defaults untouched\n");
        return -EINVAL;
    }
    int rc = vesk_io_copy_file("bootstrap:image-authority-ini", p->image_defaults_ini, p->authority_ini, 0644);
    if (rc < 0) return rc;
    int rc_db = vesk_io_copy_file("bootstrap:image-authority-db", p->image_defaults_db, p->authority_db, 0644);
    rc = vesk_persist_sync_mirrors("bootstrap:image-mirror-ini", "bootstrap:image-mirror-db");
    if (rc_db < 0) return rc_db;
    if (rc < 0) return rc;
    vesk_test_checkpoint("bootstrap:image-refreshed");
    rc = write_marker("bootstrap:image-marker", p->image_marker);
    if (rc == 0) vesk_test_checkpoint("bootstrap:image-marker-done");
    return rc;
}

/* A unit whose current settings are missing or cannot be read starts from
 * the defaults authority rather than not at all. */
static int seed_current_ini(const vesk_persist_resolved_paths *p)
{
    if (ini_valid(p->current_ini)) return 0;
    vesk_log_printf(VESK_LOG_ERROR, BOOT_TAG, "%s missing or unreadable; seeding it from the defaults", p->current_ini);
    return vesk_io_copy_file("bootstrap:seed-current-ini", p->authority_ini, p->current_ini, 0644);
}

/* ---- profiles ------------------------------------------------------- */

/* Moves a rejected database out of the way without replacing anything, so
 * the shooter's profiles can still be recovered from it. */
static int set_aside(const char *path)
{
    char aside[VESK_PERSIST_PATH_MAX + 32], journal[VESK_PERSIST_PATH_MAX + 16], aside_journal[sizeof aside + 16];
    for (int n = 0; n < 100; n++) {
        if (n == 0)
            snprintf(aside, sizeof aside, "%s.rejected", path);
        else
            snprintf(aside, sizeof aside, "%s.rejected-%d", path, n);
        if (renameat2(AT_FDCWD, path, AT_FDCWD, aside, RENAME_NOREPLACE) == 0) {
            snprintf(journal, sizeof journal, "%s-journal", path);
            snprintf(aside_journal, sizeof aside_journal, "%s-journal", aside);
            if (renameat2(AT_FDCWD, journal, AT_FDCWD, aside_journal, RENAME_NOREPLACE) != 0 && errno != ENOENT)
                return -errno;
            vesk_log_printf(VESK_LOG_ERROR, BOOT_TAG, "rejected profile database kept as %s", aside);
            return vesk_io_fsync_dir_of(path);
        }
        if (errno != EEXIST) return -errno;
    }
    return -EEXIST;
}

static int restore_profiles(const vesk_persist_resolved_paths *p, const Qel_DevStatus *status,
                            vesk_persist_profiles *profiles, int open_rc)
{
    vesk_log_printf(VESK_LOG_ERROR, BOOT_TAG, "profiles database unusable (%d); restoring it from the defaults",
                    open_rc);
    int rc = vesk_device_db_validate(p->authority_db);
    if (rc < 0) {
        vesk_log_printf(VESK_LOG_ERROR, BOOT_TAG, "authority defaults.db unusable (%d); profiles not restored", rc);
        return open_rc;
    }
    if (open_rc == -EINVAL) rc = set_aside(p->profiles_db);
    if (rc == 0) {
        char journal[VESK_PERSIST_PATH_MAX + 16];
        snprintf(journal, sizeof journal, "%s-journal", p->profiles_db);
        if (unlink(journal) != 0 && errno != ENOENT) rc = -errno;
    }
    if (rc == 0) rc = vesk_io_copy_file("bootstrap:profiles-restore", p->authority_db, p->profiles_db, 0644);
    if (rc == 0) rc = vesk_device_db_open(p->profiles_db, status, profiles);
    if (rc == 0) g_vesk_persist.profiles_recovered = 1;
    return rc;
}

static int load_profiles(const vesk_persist_resolved_paths *p, const Qel_DevStatus *status,
                         vesk_persist_profiles *profiles)
{
    int rc = vesk_device_db_open(p->profiles_db, status, profiles);
    if (rc == -ENOENT || rc == -EINVAL) rc = restore_profiles(p, status, profiles, rc);
    if (rc < 0) vesk_log_printf(VESK_LOG_ERROR, BOOT_TAG, "profiles database not loaded (%d); recovery required", rc);
    return rc;
}

int vesk_persist_boot(Qel_DevStatus *status, vesk_persist_profiles *profiles)
{
    vesk_persist_state *s = &g_vesk_persist;
    const vesk_persist_resolved_paths *p = &s->paths;
    int rc = authority_bootstrap(p);
    if (rc < 0) {
        fprintf(stderr, "vesk_persist_start: authority bootstrap failed (%d)\n", rc);
        return rc;
    }
    rc = vesk_reset_replay();
    if (rc < 0) {
        vesk_persist_lock();
        s->phase = VESK_PERSIST_RECOVERY_REQUIRED;
        s->reason = VESK_PERSIST_RESET;
        s->lifecycle_error = rc;
        vesk_persist_unlock();
        return rc;
    }
    rc = image_refresh(p);
    if (rc < 0)
        fprintf(stderr, "vesk_persist_start: image refresh skipped (%d); continuing boot from the existing authority\n",
                rc);
    const char *eeprom_source = replay_eeprom_journal(p);
    rc = seed_current_ini(p);
    if (rc < 0) return rc;
    rc = vesk_persist_load_settings(status, eeprom_source);
    if (rc < 0) return rc;
    memset(profiles, 0, sizeof *profiles);
    rc = load_profiles(p, status, profiles);
    if (rc < 0) return rc;
    s->profiles = *profiles;
    load_wifi_cache(p, s);
    g_vesk_settings.vesk_apply_debug();
    return 0;
}
