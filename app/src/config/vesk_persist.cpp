// The persistence service: store states, the worker that writes them, edit
// sections, staging calls and the store writers.
#include "vesk_persist.h"

#include <errno.h>
#include <fcntl.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "vesk_clock.h"
#include "vesk_device_db.h"
#include "vesk_fault.h"
#include "vesk_io.h"
#include "vesk_log.h"
#include "vesk_persist_internal.h"

#define DEBOUNCE_QUIET_MS 100
#define DEBOUNCE_MAX_MS 500
#define EEPROM_SIZE 4096
#define MIRROR_RETRY_FIRST_MS 1000
#define MIRROR_RETRY_MAX_MS 60000

vesk_persist_state g_vesk_persist;
vesk_persist_settings g_vesk_settings;

static pthread_mutex_t g_mutex = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t g_cond;
static pthread_t g_worker;
static pthread_mutex_t g_profiles_mutex = PTHREAD_MUTEX_INITIALIZER;
static thread_local int t_edit_depth;

uint64_t vesk_persist_mono_ms(void) { return vesk_mono_ms(); }

void vesk_persist_lock(void) { pthread_mutex_lock(&g_mutex); }
void vesk_persist_unlock(void) { pthread_mutex_unlock(&g_mutex); }
void vesk_persist_broadcast(void) { pthread_cond_broadcast(&g_cond); }

void vesk_persist_wait_until(uint64_t until_ms)
{
    if (until_ms == VESK_NEVER) {
        pthread_cond_wait(&g_cond, &g_mutex);
        return;
    }
    struct timespec ts;
    vesk_deadline_at(&ts, until_ms);
    pthread_cond_timedwait(&g_cond, &g_mutex, &ts);
}

void vesk_profiles_lock(void) { pthread_mutex_lock(&g_profiles_mutex); }
void vesk_profiles_unlock(void) { pthread_mutex_unlock(&g_profiles_mutex); }

/* ---- store states ----------------------------------------------------- */

int vesk_persist_store_dirty_locked(int store)
{
    const vesk_store_state *st = &g_vesk_persist.stores[store];
    return st->accepted != st->durable;
}

void vesk_persist_mark_dirty_locked(int store, uint64_t now_ms)
{
    vesk_store_state *st = &g_vesk_persist.stores[store];
    if (st->accepted == st->durable) st->first_dirty_ms = now_ms;
    if (st->in_flight != 0 && st->after_flight_ms == 0) st->after_flight_ms = now_ms;
    st->accepted++;
    st->last_change_ms = now_ms;
    st->hold = 0;
    vesk_log_printf(VESK_LOG_DETAIL, "persist.dirty", "store=%d accepted=%llu", store,
                    (unsigned long long)st->accepted);
    pthread_cond_broadcast(&g_cond);
}

static uint64_t due_ms(int store)
{
    const vesk_store_state *st = &g_vesk_persist.stores[store];
    if (st->accepted == st->durable || st->hold) return VESK_NEVER;
    if (st->force) return 0;
    uint64_t quiet = st->last_change_ms + DEBOUNCE_QUIET_MS;
    uint64_t latest = st->first_dirty_ms + DEBOUNCE_MAX_MS;
    return quiet < latest ? quiet : latest;
}

void vesk_persist_apply_deadline_locked(uint64_t now_ms)
{
    vesk_persist_state *s = &g_vesk_persist;
    if (s->phase != VESK_PERSIST_PREPARING || now_ms < s->prepare_deadline_ms) return;
    s->phase = VESK_PERSIST_RUNNING;
    s->epoch++;
    s->lifecycle_error = -ETIMEDOUT;
    vesk_log_printf(VESK_LOG_ERROR, "persist.prepare", "epoch=%llu reason=%d deadline passed",
                    (unsigned long long)s->epoch, (int)s->reason);
    pthread_cond_broadcast(&g_cond);
}

/* ---- store writers ---------------------------------------------------- */

/* Takes the generation an attempt writes. */
static void begin_flight_locked(int store, uint64_t *target)
{
    vesk_store_state *st = &g_vesk_persist.stores[store];
    *target = st->accepted;
    st->force = 0;
    st->in_flight = st->accepted;
    st->after_flight_ms = 0;
}

/* Stores 0 and 1: capture the dictionary under the settings lock, unless an
 * edit section is open, so a file never holds half of one change. */
static int capture_ini(int store, uint64_t *target, char **text, size_t *length)
{
    vesk_test_pause_point("attempt:before-ini-capture");
    g_vesk_settings.vesk_lock();
    vesk_persist_lock();
    if (g_vesk_persist.outstanding_edits > 0) {
        vesk_persist_unlock();
        g_vesk_settings.vesk_unlock();
        return -EAGAIN;
    }
    begin_flight_locked(store, target);
    vesk_persist_unlock();
    int rc = g_vesk_settings.vesk_serialize_locked(store == VESK_PERSIST_DEFAULTS, text, length);
    g_vesk_settings.vesk_unlock();
    vesk_test_pause_point("attempt:ini-captured");
    return rc;
}

static int files_equal(const char *a, const char *b)
{
    char *da = NULL, *db = NULL;
    size_t la = 0, lb = 0;
    int equal = 0;
    if (vesk_io_read_file(a, &da, &la) == 0 && vesk_io_read_file(b, &db, &lb) == 0)
        equal = la == lb && memcmp(da, db, la) == 0;
    free(da);
    free(db);
    return equal;
}

static int sync_one_mirror(const char *tag, const char *authority, const char *mirror)
{
    if (access(authority, F_OK) != 0) return 0; /* nothing to mirror */
    if (files_equal(authority, mirror)) return 0;
    int rc = vesk_io_copy_file(tag, authority, mirror, 0644);
    if (rc < 0)
        fprintf(stderr, "vesk_persist: VFAT mirror write failed for %s (%d); continuing boot from the ext4 authority\n",
                mirror, rc);
    return rc;
}

int vesk_persist_sync_mirrors(const char *tag_ini, const char *tag_db)
{
    const vesk_persist_resolved_paths *p = &g_vesk_persist.paths;
    int rc = sync_one_mirror(tag_ini, p->authority_ini, p->defaults_ini);
    int rc_db = sync_one_mirror(tag_db, p->authority_db, p->defaults_db);
    return rc < 0 ? rc : rc_db;
}

/* A mirror that failed after its authority became durable is retried on
 * its own timer, so it never holds a save back. */
static void schedule_mirror_retry_locked(int failed, uint64_t now_ms)
{
    vesk_persist_state *s = &g_vesk_persist;
    if (!failed) {
        s->mirror_pending = 0;
        s->mirror_backoff_ms = 0;
        return;
    }
    s->mirror_backoff_ms = s->mirror_backoff_ms == 0 ? MIRROR_RETRY_FIRST_MS : s->mirror_backoff_ms * 2;
    if (s->mirror_backoff_ms > MIRROR_RETRY_MAX_MS) s->mirror_backoff_ms = MIRROR_RETRY_MAX_MS;
    s->mirror_pending = 1;
    s->mirror_due_ms = now_ms + s->mirror_backoff_ms;
}

static int write_defaults(const char *text, size_t length)
{
    const vesk_persist_resolved_paths *p = &g_vesk_persist.paths;
    int rc = vesk_io_atomic_replace("defaults-authority", p->authority_ini, text, length, 0644);
    if (rc < 0) return rc;
    vesk_test_checkpoint("defaults:authority-done");
    int mirror = vesk_io_atomic_replace("defaults-mirror", p->defaults_ini, text, length, 0644);
    if (mirror == 0) {
        vesk_test_checkpoint("defaults:ini-mirror-done");
        mirror = sync_one_mirror("defaults-db-mirror", p->authority_db, p->defaults_db);
    } else {
        vesk_log_printf(VESK_LOG_ERROR, "persist", "defaults mirror %s not written (%d); retrying later",
                        p->defaults_ini, mirror);
    }
    vesk_persist_lock();
    schedule_mirror_retry_locked(mirror < 0, vesk_persist_mono_ms());
    vesk_persist_unlock();
    return 0;
}

static int retry_mirrors(void)
{
    const vesk_persist_resolved_paths *p = &g_vesk_persist.paths;
    int rc = sync_one_mirror("defaults-mirror", p->authority_ini, p->defaults_ini);
    int rc_db = sync_one_mirror("defaults-db-mirror", p->authority_db, p->defaults_db);
    if (rc == 0) rc = rc_db;
    if (rc < 0) vesk_log_printf(VESK_LOG_ERROR, "persist", "defaults mirror retry failed (%d)", rc);
    return rc;
}

int vesk_wifi_name_valid(const char *name)
{
    size_t n = name ? strlen(name) : 0;
    if (n < 1 || n > 63) return 0;
    for (size_t i = 0; i < n; i++) {
        char c = name[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-'))
            return 0;
    }
    return 1;
}

/* A passphrase goes into a line of a configuration file: printable ASCII
 * only, so it can never end the line or start another. */
static int wifi_passphrase_valid(const char *text)
{
    size_t n = strlen(text);
    if (n > 63) return 0;
    for (size_t i = 0; i < n; i++)
        if ((unsigned char)text[i] < 0x20 || (unsigned char)text[i] > 0x7E) return 0;
    return 1;
}

static int starts_with(const char *line, size_t n, const char *key)
{
    size_t k = strlen(key);
    return n >= k && memcmp(line, key, k) == 0;
}

int vesk_wifi_patch(const char *text, size_t length, const char *ssid, const char *passphrase, char **out,
                    size_t *out_length)
{
    char *buf = NULL;
    size_t n = 0;
    FILE *f = open_memstream(&buf, &n);
    if (f == NULL) return -errno;
    int saw_ssid = 0, saw_pass = 0;
    size_t at = 0;
    while (at < length) {
        const char *line = text + at;
        const char *nl = (const char *)memchr(line, '\n', length - at);
        size_t len = nl ? (size_t)(nl - line) : length - at;
        at += len + (nl ? 1 : 0);
        if (ssid != NULL && starts_with(line, len, "ssid=")) {
            fprintf(f, "ssid=%s\n", ssid);
            saw_ssid = 1;
        } else if (passphrase != NULL && starts_with(line, len, "wpa_passphrase=")) {
            fprintf(f, "wpa_passphrase=%s\n", passphrase);
            saw_pass = 1;
        } else {
            fwrite(line, 1, len, f);
            fputc('\n', f);
        }
    }
    if (ssid != NULL && !saw_ssid) fprintf(f, "ssid=%s\n", ssid);
    if (passphrase != NULL && !saw_pass) fprintf(f, "wpa_passphrase=%s\n", passphrase);
    int rc = ferror(f) ? -EIO : 0;
    if (fclose(f) != 0 && rc == 0) rc = -errno;
    if (rc < 0) {
        free(buf);
        return rc;
    }
    *out = buf;
    *out_length = n;
    return 0;
}

static int patch_wifi_file(const char *tag, const char *path, const char *ssid, const char *passphrase)
{
    char *old = NULL;
    size_t old_len = 0;
    int rc = vesk_io_read_file(path, &old, &old_len);
    if (rc == -ENOENT) {
        old = NULL;
        old_len = 0;
    } else if (rc < 0) {
        return rc;
    }
    char *text = NULL;
    size_t len = 0;
    rc = vesk_wifi_patch(old ? old : "", old_len, ssid, passphrase, &text, &len);
    free(old);
    if (rc < 0) return rc;
    rc = vesk_io_atomic_replace(tag, path, text, len, 0644);
    free(text);
    return rc;
}

static int write_wifi(const vesk_wifi_cache *w)
{
    const vesk_persist_resolved_paths *p = &g_vesk_persist.paths;
    /* An empty cached value was never set: the file keeps its own. */
    const char *ssid = w->ssid[0] ? w->ssid : NULL;
    const char *pass = w->password[0] ? w->password : NULL;
    int rc = patch_wifi_file("wifi-wpa2", p->wifi_wpa2, ssid, pass);
    if (rc < 0) return rc;
    vesk_test_checkpoint("wifi:wpa2-done");
    return patch_wifi_file("wifi-none", p->wifi_none, ssid, NULL);
}

/* The EEPROM is a device node: no rename, so the record is cleared and
 * written in place and read back. The intended record is journalled on the
 * ext4 partition first; a boot that finds the journal writes it again, so
 * a power cut half-way never leaves the calibration erased. */
int vesk_eeprom_write_verify(const char *path, const char *text, size_t length)
{
    if (length > EEPROM_SIZE) return -EFBIG;
    if (vesk_fault_should_fail("eeprom_open")) return -vesk_fault_errno();
    int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return -errno;
    static const char zeros[EEPROM_SIZE] = {0};
    int rc = vesk_io_write_all(fd, zeros, sizeof zeros);
    if (rc == 0 && lseek(fd, 0, SEEK_SET) != 0) rc = -errno;
    if (rc == 0) {
        vesk_test_checkpoint("eeprom:cleared");
        rc = vesk_io_write_all(fd, text, length);
    }
    /* A regular file (the sandbox's stand-in) needs the fsync; the nvmem
     * node has nothing to flush and may refuse it. */
    if (rc == 0 && fsync(fd) != 0 && errno != EINVAL && errno != EROFS) rc = -errno;
    if (close(fd) != 0 && rc == 0) rc = -errno;
    if (rc < 0) return rc;
    vesk_test_checkpoint("eeprom:done");

    if (vesk_fault_should_fail("eeprom_verify_open")) return -vesk_fault_errno();
    fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -errno;
    char *back = (char *)malloc(length + 1);
    if (back == NULL) {
        close(fd);
        return -ENOMEM;
    }
    rc = length > 0 ? vesk_io_read_exact(fd, back, length) : 0;
    close(fd);
    if (rc == 0 && length > 0 && vesk_fault_should_fail("eeprom_verify_corrupt")) back[0] = (char)~back[0];
    if (rc == 0 && memcmp(back, text, length) != 0) rc = -EIO;
    free(back);
    if (rc < 0) return rc;
    vesk_test_checkpoint("eeprom:verified");
    return 0;
}

static int write_eeprom(const Qel_DevStatus *status)
{
    const vesk_persist_resolved_paths *p = &g_vesk_persist.paths;
    char *text = NULL;
    size_t length = 0;
    int rc = g_vesk_settings.vesk_eeprom_serialize(status, &text, &length);
    if (rc < 0) return rc;
    rc = vesk_io_atomic_replace("eeprom-journal", p->eeprom_journal, text, length, 0600);
    if (rc == 0) rc = vesk_eeprom_write_verify(p->eeprom, text, length);
    free(text);
    if (rc < 0) return rc;
    if (unlink(p->eeprom_journal) != 0 && errno != ENOENT) return -errno;
    return vesk_io_fsync_dir_of(p->eeprom_journal);
}

void vesk_persist_attempt(int store)
{
    vesk_persist_state *s = &g_vesk_persist;
    uint64_t target = 0;
    int rc;
    if (store == VESK_PERSIST_CURRENT_INI || store == VESK_PERSIST_DEFAULTS) {
        char *text = NULL;
        size_t length = 0;
        rc = capture_ini(store, &target, &text, &length);
        if (rc == 0) {
            rc = store == VESK_PERSIST_CURRENT_INI
                     ? vesk_io_atomic_replace("current-ini", s->paths.current_ini, text, length, 0644)
                     : write_defaults(text, length);
        }
        free(text);
    } else {
        /* The snapshots are large; copy out of the state under the mutex. */
        static vesk_persist_profiles profiles;
        static Qel_DevStatus eeprom;
        vesk_wifi_cache wifi;
        vesk_persist_lock();
        begin_flight_locked(store, &target);
        if (store == VESK_PERSIST_PROFILES) profiles = s->profiles;
        if (store == VESK_PERSIST_WIFI) wifi = s->wifi;
        if (store == VESK_PERSIST_EEPROM) eeprom = s->eeprom;
        vesk_persist_unlock();
        if (store == VESK_PERSIST_PROFILES)
            rc = vesk_device_db_commit(&profiles);
        else if (store == VESK_PERSIST_WIFI)
            rc = write_wifi(&wifi);
        else
            rc = write_eeprom(&eeprom);
    }

    vesk_persist_lock();
    vesk_store_state *st = &s->stores[store];
    if (rc == -EAGAIN) {
        /* an edit section opened: tried again once it closes */
    } else if (rc == 0) {
        if (target > st->durable) st->durable = target;
        st->error = 0;
        st->hold = 0;
        if (st->accepted == st->durable)
            st->first_dirty_ms = 0;
        else if (st->after_flight_ms != 0 && target == st->durable)
            st->first_dirty_ms = st->after_flight_ms;
        vesk_log_printf(VESK_LOG_DETAIL, "persist.attempt", "store=%d gen=%llu durable", store,
                        (unsigned long long)target);
    } else {
        st->error = -rc;
        if (st->accepted == target && !st->force) st->hold = 1;
        vesk_log_printf(VESK_LOG_ERROR, "persist.attempt", "store=%d gen=%llu failed rc=%d", store,
                        (unsigned long long)target, rc);
    }
    st->in_flight = 0;
    st->after_flight_ms = 0;
    pthread_cond_broadcast(&g_cond);
    vesk_persist_unlock();
}

/* ---- worker ----------------------------------------------------------- */

static void *worker_main(void *)
{
    vesk_persist_state *s = &g_vesk_persist;
    vesk_persist_lock();
    for (;;) {
        uint64_t now = vesk_persist_mono_ms();
        vesk_persist_apply_deadline_locked(now);
        if (s->shutdown_requested) break;
        if (s->reset_cleanup[0] != '\0') {
            char dir[sizeof s->reset_cleanup];
            memcpy(dir, s->reset_cleanup, sizeof dir);
            s->reset_cleanup[0] = '\0';
            vesk_persist_unlock();
            vesk_reset_stage_remove(dir);
            vesk_persist_lock();
            continue;
        }
        if (s->phase == VESK_PERSIST_PREPARING) {
            vesk_persist_unlock();
            vesk_persist_run_prepare();
            vesk_persist_lock();
            continue;
        }
        if (s->phase == VESK_PERSIST_COMMITTING && s->commit_queued) {
            s->commit_queued = 0;
            vesk_persist_unlock();
            vesk_persist_run_commit();
            vesk_persist_lock();
            continue;
        }
        int chosen = -1;
        uint64_t next = VESK_NEVER;
        if (s->phase == VESK_PERSIST_RUNNING && !s->abandoned) {
            for (int i = 0; i < VESK_PERSIST_STORE_COUNT; i++) {
                if (i <= VESK_PERSIST_DEFAULTS && s->outstanding_edits > 0) continue;
                uint64_t due = due_ms(i);
                if (due == VESK_NEVER) continue;
                if (due <= now) {
                    chosen = i;
                    break;
                }
                if (due < next) next = due;
            }
            if (chosen < 0 && s->mirror_pending) {
                if (s->mirror_due_ms <= now) {
                    vesk_persist_unlock();
                    int rc = retry_mirrors();
                    vesk_persist_lock();
                    schedule_mirror_retry_locked(rc < 0, vesk_persist_mono_ms());
                    continue;
                }
                if (s->mirror_due_ms < next) next = s->mirror_due_ms;
            }
        }
        if (chosen >= 0) {
            vesk_persist_unlock();
            vesk_persist_attempt(chosen);
            vesk_persist_lock();
            continue;
        }
        vesk_persist_wait_until(next);
    }
    vesk_persist_unlock();
    return NULL;
}

/* ---- start and stop --------------------------------------------------- */

static void resolve(char *out, const char *given, const char *fallback)
{
    snprintf(out, VESK_PERSIST_PATH_MAX, "%s", given ? given : fallback);
}

static void resolve_paths(const vesk_persist_paths *given)
{
    static const vesk_persist_paths none = {};
    const vesk_persist_paths *g = given ? given : &none;
    vesk_persist_resolved_paths *p = &g_vesk_persist.paths;
    resolve(p->current_ini, g->vesk_current_ini, "/factory/config.ini");
    resolve(p->defaults_ini, g->vesk_defaults_ini, "/factory2/defconfig.ini");
    resolve(p->profiles_db, g->vesk_profiles_db, "/factory/ballistics_config.db");
    resolve(p->defaults_db, g->vesk_defaults_db, "/factory2/ballistics_defconfig.db");
    resolve(p->eeprom, g->vesk_eeprom, "/sys/bus/nvmem/devices/5-00500/nvmem");
    resolve(p->wifi_wpa2, g->vesk_wifi_wpa2, "/etc/wifi/hostapd_wpa2.conf");
    resolve(p->wifi_none, g->vesk_wifi_none, "/etc/wifi/hostapd_none.conf");
    resolve(p->image_defaults_ini, g->vesk_image_defaults_ini, "/usrdata/out_sightd/defconfig.ini");
    resolve(p->image_defaults_db, g->vesk_image_defaults_db, "/usrdata/out_sightd/ballistics_defconfig.db");
    resolve(p->image_marker, g->vesk_image_marker, "/usrdata/judge_after_img.txt");
    resolve(p->recovery_dir, g->vesk_recovery_dir, "/factory/.vesk-persist");
    const struct {
        char *out;
        const char *name;
    } files[] = {
        {p->authority_ini, "defaults.ini"}, {p->authority_db, "defaults.db"}, {p->ready, "defaults.ready"},
        {p->handoff, "vendor.handoff"},     {p->manifest, "reset.pending"},   {p->eeprom_journal, "eeprom.pending"},
    };
    for (const auto &f : files) snprintf(f.out, VESK_RECOVERY_PATH_MAX, "%s/%s", p->recovery_dir, f.name);
}

void vesk_persist_set_settings(const vesk_persist_settings *settings)
{
    vesk_persist_lock();
    if (settings != NULL)
        g_vesk_settings = *settings;
    else
        memset(&g_vesk_settings, 0, sizeof g_vesk_settings);
    vesk_persist_unlock();
}

static int settings_registered(void)
{
    const vesk_persist_settings *s = &g_vesk_settings;
    return s->vesk_load && s->vesk_eeprom_loaded && s->vesk_apply_debug && s->vesk_lock && s->vesk_unlock &&
           s->vesk_serialize_locked && s->vesk_eeprom_serialize;
}

int vesk_persist_settings_text(int to_defaults, char **out_text, size_t *out_length)
{
    g_vesk_settings.vesk_lock();
    int rc = g_vesk_settings.vesk_serialize_locked(to_defaults, out_text, out_length);
    g_vesk_settings.vesk_unlock();
    return rc;
}

int vesk_persist_start(const vesk_persist_paths *paths, const vesk_persist_hooks *hooks, Qel_DevStatus *status,
                       vesk_persist_profiles *profiles)
{
    if (hooks == NULL || status == NULL || profiles == NULL) return -EINVAL;
    if (!settings_registered()) {
        fprintf(stderr, "vesk_persist_start: no settings store registered\n");
        return -EINVAL;
    }
    vesk_persist_state *s = &g_vesk_persist;
    vesk_persist_lock();
    if (s->started || s->worker_started || s->starting) {
        vesk_persist_unlock();
        return -EBUSY;
    }
    memset(s, 0, sizeof *s);
    s->starting = 1;
    s->phase = VESK_PERSIST_RUNNING;
    s->epoch = 1;
    s->hooks = *hooks;
    resolve_paths(paths);
    vesk_cond_init_monotonic(&g_cond);
    vesk_persist_unlock();

    /* The boot runs before any worker or caller can touch the state. */
    static vesk_persist_profiles loaded;
    memset(&loaded, 0, sizeof loaded);
    int rc = vesk_persist_boot(status, &loaded);
    if (rc == 0) {
        *profiles = loaded;
        rc = -pthread_create(&g_worker, NULL, worker_main, NULL);
    }
    vesk_persist_lock();
    s->starting = 0;
    if (rc == 0) {
        s->worker_started = 1;
        s->started = 1;
    }
    vesk_persist_unlock();
    return rc;
}

int vesk_persist_stop(unsigned limit_ms)
{
    vesk_persist_state *s = &g_vesk_persist;
    vesk_persist_lock();
    int running = s->worker_started;
    if (running) {
        s->shutdown_requested = 1;
        pthread_cond_broadcast(&g_cond);
    }
    vesk_persist_unlock();
    int rc = 0;
    if (running) {
        /* The deadline runs on the monotonic clock: a clock set by the
         * phone or the PC link must not stretch or cut the wait. */
        struct timespec ts;
        vesk_deadline_in(&ts, limit_ms);
        rc = pthread_clockjoin_np(g_worker, NULL, CLOCK_MONOTONIC, &ts) == 0 ? 0 : -ETIMEDOUT;
        if (rc == 0) vesk_device_db_close();
    }
    vesk_persist_lock();
    s->worker_started = 0;
    s->started = 0;
    s->phase = VESK_PERSIST_STOPPED;
    vesk_persist_unlock();
    return rc;
}

/* ---- edit sections and staging ---------------------------------------- */

int vesk_persist_edit_begin(void)
{
    if (t_edit_depth > 0) {
        t_edit_depth++;
        return 0;
    }
    vesk_persist_state *s = &g_vesk_persist;
    vesk_persist_lock();
    vesk_persist_apply_deadline_locked(vesk_persist_mono_ms());
    int rc = 0;
    if (!s->started)
        rc = -ENODEV;
    else if (s->abandoned)
        rc = -ECANCELED;
    else if (s->phase != VESK_PERSIST_RUNNING)
        rc = -EBUSY;
    else
        s->outstanding_edits++;
    vesk_persist_unlock();
    if (rc == 0) t_edit_depth = 1;
    return rc;
}

void vesk_persist_edit_end(void)
{
    if (t_edit_depth == 0) return;
    if (--t_edit_depth > 0) return;
    vesk_persist_lock();
    if (g_vesk_persist.outstanding_edits > 0) g_vesk_persist.outstanding_edits--;
    pthread_cond_broadcast(&g_cond);
    vesk_persist_unlock();
}

void vesk_ini_mark_dirty(vesk_persist_store store)
{
    if (store != VESK_PERSIST_CURRENT_INI && store != VESK_PERSIST_DEFAULTS) return;
    vesk_persist_lock();
    vesk_persist_mark_dirty_locked(store, vesk_persist_mono_ms());
    vesk_persist_unlock();
}

static bool finite_all(const double *v, int n)
{
    for (int i = 0; i < n; i++)
        if (!isfinite(v[i])) return false;
    return true;
}

static bool atmosphere_finite(const Info_atmosphere *a)
{
    const double v[] = {a->altitude, a->barometer, a->temperature, a->relative_humidity};
    return finite_all(v, 4);
}

/* A NaN or infinity written with "%f" becomes text the solver and the GUI
 * would read back as garbage; an index above 5 would address past the six
 * profiles. Neither may reach a snapshot. */
static bool profiles_sound(const vesk_persist_profiles *p)
{
    if (p->vesk_cursor.u8CurrentGroup >= VESK_PROFILE_COUNT) return false;
    if (p->vesk_ballistics.u8CurrentBallistics >= VESK_PROFILE_COUNT) return false;
    for (int g = 0; g < VESK_PROFILE_COUNT; g++) {
        const Qel_Cursor_Group *grp = &p->vesk_cursor.group[g];
        if (grp->u8CurrentZero >= VESK_ZERO_COUNT) return false;
        for (int z = 0; z < VESK_ZERO_COUNT; z++) {
            const double v[] = {grp->zero[z].flIrCursorOffsetX, grp->zero[z].flIrCursorOffsetY};
            if (!finite_all(v, 2)) return false;
        }
        const Info_ballistics *b = &p->vesk_ballistics.ballistics[g];
        const Info_bullet *u = &b->gun.bullet;
        const Info_scope *sc = &b->gun.scope;
        const double v[] = {b->target.shootingAngle,
                            b->wind.angle,
                            b->wind.speed,
                            b->corioliseffect.lat,
                            b->corioliseffect.angle,
                            u->length,
                            u->diameter,
                            u->weight,
                            u->ballisticsCoef,
                            u->velocity,
                            u->zeroOffsetVerticalMOA,
                            u->zeroOffsetHorizontalMOA,
                            u->zeroOffsetVerticalMRAD,
                            u->zeroOffsetHorizontalMRAD,
                            sc->sightHeightOverBore,
                            sc->verticalUnitPerCard,
                            sc->horizontalUnitPerCard,
                            b->gun.riflingRange};
        if (!finite_all(v, sizeof v / sizeof v[0])) return false;
        if (!atmosphere_finite(&b->atmosphere) || !atmosphere_finite(&u->atmosphere)) return false;
    }
    return true;
}

int vesk_persist_stage_profiles(const vesk_persist_profiles *snapshot)
{
    if (snapshot == NULL) return -EINVAL;
    if (!profiles_sound(snapshot)) {
        vesk_log_printf(VESK_LOG_ERROR, "persist", "profile snapshot refused: index out of range or not a number");
        return -EINVAL;
    }
    vesk_persist_lock();
    g_vesk_persist.profiles = *snapshot;
    vesk_persist_mark_dirty_locked(VESK_PERSIST_PROFILES, vesk_persist_mono_ms());
    vesk_persist_unlock();
    return 0;
}

int vesk_persist_stage_wifi(const char *ssid, const char *passphrase, uint64_t *out_generation)
{
    if (ssid != NULL && !vesk_wifi_name_valid(ssid)) return -EINVAL;
    if (passphrase != NULL && !wifi_passphrase_valid(passphrase)) return -EINVAL;
    int rc = vesk_persist_edit_begin();
    if (rc != 0) return rc;
    vesk_persist_state *s = &g_vesk_persist;
    vesk_persist_lock();
    if (ssid != NULL) snprintf(s->wifi.ssid, sizeof s->wifi.ssid, "%.63s", ssid);
    if (passphrase != NULL) snprintf(s->wifi.password, sizeof s->wifi.password, "%.63s", passphrase);
    uint64_t generation = ++s->wifi.generation;
    vesk_persist_mark_dirty_locked(VESK_PERSIST_WIFI, vesk_persist_mono_ms());
    vesk_persist_unlock();
    vesk_persist_edit_end();
    if (out_generation != NULL) *out_generation = generation;
    return 0;
}

int vesk_persist_get_wifi(vesk_persist_wifi *out)
{
    if (out == NULL) return -EINVAL;
    vesk_persist_lock();
    memcpy(out->vesk_ssid, g_vesk_persist.wifi.ssid, sizeof out->vesk_ssid);
    memcpy(out->vesk_password, g_vesk_persist.wifi.password, sizeof out->vesk_password);
    out->vesk_generation = g_vesk_persist.wifi.generation;
    vesk_persist_unlock();
    return 0;
}

int vesk_persist_stage_eeprom(const Qel_DevStatus *status, uint64_t *out_generation)
{
    if (status == NULL) return -EINVAL;
    const double angles[] = {status->f_zero_azimuth, status->f_zero_pitch, status->f_zero_slant};
    if (!finite_all(angles, 3)) return -EINVAL;
    int rc = vesk_persist_edit_begin();
    if (rc != 0) return rc;
    vesk_persist_state *s = &g_vesk_persist;
    vesk_persist_lock();
    if (!s->eeprom_readable) {
        rc = -EIO;
    } else {
        s->eeprom = *status;
        vesk_persist_mark_dirty_locked(VESK_PERSIST_EEPROM, vesk_persist_mono_ms());
        if (out_generation != NULL) *out_generation = s->stores[VESK_PERSIST_EEPROM].accepted;
    }
    vesk_persist_unlock();
    vesk_persist_edit_end();
    if (rc < 0)
        vesk_log_printf(VESK_LOG_ERROR, "persist",
                        "EEPROM was not readable at boot; refusing to overwrite the calibration with defaults");
    return rc;
}

/* ---- forcing and status ----------------------------------------------- */

static void force_dirty_locked(int clear_errors)
{
    for (int i = 0; i < VESK_PERSIST_STORE_COUNT; i++) {
        vesk_store_state *st = &g_vesk_persist.stores[i];
        if (st->accepted == st->durable) continue;
        st->force = 1;
        st->hold = 0;
        if (clear_errors) st->error = 0;
    }
    pthread_cond_broadcast(&g_cond);
}

int vesk_persist_checkpoint(void)
{
    vesk_persist_lock();
    force_dirty_locked(0);
    vesk_persist_unlock();
    return 0;
}

int vesk_persist_flush(unsigned timeout_ms)
{
    uint64_t until = vesk_persist_mono_ms() + timeout_ms;
    vesk_persist_lock();
    force_dirty_locked(1);
    int rc;
    for (;;) {
        int dirty = 0, unfailed = 0, first_error = 0;
        for (int i = 0; i < VESK_PERSIST_STORE_COUNT; i++) {
            if (!vesk_persist_store_dirty_locked(i)) continue;
            dirty = 1;
            int e = g_vesk_persist.stores[i].error;
            if (e == 0)
                unfailed = 1;
            else if (first_error == 0)
                first_error = e;
        }
        if (!dirty) {
            rc = 0;
            break;
        }
        if (!unfailed) {
            rc = -first_error;
            break;
        }
        if (vesk_persist_mono_ms() >= until) {
            rc = -ETIMEDOUT;
            break;
        }
        vesk_persist_wait_until(until);
    }
    vesk_persist_unlock();
    return rc;
}

int vesk_persist_get_status(vesk_persist_status *out)
{
    if (out == NULL) return -EINVAL;
    vesk_persist_state *s = &g_vesk_persist;
    memset(out, 0, sizeof *out);
    vesk_persist_lock();
    vesk_persist_apply_deadline_locked(vesk_persist_mono_ms());
    out->vesk_phase = s->phase;
    out->vesk_token.vesk_epoch = s->epoch;
    out->vesk_token.vesk_reason = s->reason;
    for (int i = 0; i < VESK_PERSIST_STORE_COUNT; i++) {
        out->vesk_accepted[i] = s->stores[i].accepted;
        out->vesk_durable[i] = s->stores[i].durable;
        out->vesk_store_error[i] = s->stores[i].error;
        if (vesk_persist_store_dirty_locked(i)) out->vesk_pending_mask |= 1u << i;
    }
    out->vesk_lifecycle_error = s->lifecycle_error;
    out->vesk_deadline_mono_ms = s->prepare_deadline_ms;
    out->vesk_profiles_recovered = s->profiles_recovered;
    vesk_persist_unlock();
    return 0;
}
