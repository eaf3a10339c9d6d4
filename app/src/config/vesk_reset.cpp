// Factory-reset staging: every new file is staged with its size and CRC-32
// before the commit publishes the manifest; the reset then applies the
// payloads in phases, rewriting the manifest after each, so a power cut at
// any point is completed by the next boot.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <iniparser.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <zlib.h>

#include "vesk_device_db.h"
#include "vesk_fault.h"
#include "vesk_ini_text.h"
#include "vesk_io.h"
#include "vesk_log.h"
#include "vesk_persist_internal.h"

#define RESET_TAG "persist.reset"
#define ACCEPTED_DEFAULTS "accepted_defaults.ini"

enum { P_CURRENT_INI = 0, P_DEFAULTS_INI = 1, P_CURRENT_DB = 2, P_WIFI_WPA2 = 3, P_WIFI_NONE = 4 };
static const char *const kPayloadNames[VESK_RESET_PAYLOAD_COUNT] = {"current_ini", "defaults_ini", "current_db",
                                                                    "wifi_wpa2", "wifi_none"};

static uint32_t crc_of(const void *data, size_t length)
{
    return (uint32_t)crc32(0L, (const Bytef *)data, (uInt)length);
}

/* "reset-" digits "-" digits: the only staging names a manifest may carry,
 * so no manifest can point outside the recovery directory. */
static int staging_name_valid(const char *name)
{
    if (strncmp(name, "reset-", 6) != 0) return 0;
    const char *a = name + 6;
    const char *dash = strchr(a, '-');
    if (dash == NULL || dash == a || dash[1] == '\0') return 0;
    for (const char *c = a; *c; c++)
        if (c != dash && (*c < '0' || *c > '9')) return 0;
    return 1;
}

static void hex_of(const unsigned char *bytes, size_t n, char *out)
{
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < n; i++) {
        out[2 * i] = digits[bytes[i] >> 4];
        out[2 * i + 1] = digits[bytes[i] & 15];
    }
    out[2 * n] = '\0';
}

static int hex_digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

/* The Wi-Fi name of a manifest: 128 hex digits of a 64-byte zero-padded
 * field, which must hold a name the name check accepts. */
static int decode_ssid(const char *hex, char *name, size_t cap)
{
    unsigned char bytes[64];
    if (strlen(hex) != 128) return -EINVAL;
    for (int i = 0; i < 64; i++) {
        int hi = hex_digit(hex[2 * i]), lo = hex_digit(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) return -EINVAL;
        bytes[i] = (unsigned char)(hi * 16 + lo);
    }
    size_t n = strnlen((const char *)bytes, sizeof bytes);
    if (n >= cap || n >= 64) return -EINVAL;
    memcpy(name, bytes, n);
    name[n] = '\0';
    return vesk_wifi_name_valid(name) ? 0 : -EINVAL;
}

static void staging_path(char *out, size_t cap, const char *staging, const char *file)
{
    snprintf(out, cap, "%s/%s/%s", g_vesk_persist.paths.recovery_dir, staging, file);
}

/* ---- stage build ------------------------------------------------------ */

typedef struct {
    char *data;
    size_t length;
} payload_text;

/* The defaults text a reset installs, from the in-memory defaults. */
static int reset_settings_text(const vesk_persist_request *req, const char *dir, payload_text *out)
{
    char *text = NULL;
    size_t length = 0;
    int rc = vesk_persist_settings_text(1, &text, &length);
    if (rc < 0) return rc;
    char path[sizeof((vesk_reset_stage *)0)->dir + sizeof ACCEPTED_DEFAULTS + 1];
    snprintf(path, sizeof path, "%s/%s", dir, ACCEPTED_DEFAULTS);
    rc = vesk_io_atomic_replace("reset:stage:" ACCEPTED_DEFAULTS, path, text, length, 0600);
    free(text);
    if (rc < 0) return rc;
    dictionary *d = iniparser_load(path);
    unlink(path);
    if (d == NULL) return -EINVAL;
    rc = vesk_ini_dict_set(d, "qeldevstatus", "qeldevstatus:vesk_dynamic_bc", "1");
    if (rc == 0 && req->vesk_from_upper) {
        rc = vesk_ini_dict_set(d, "reticleparam", "reticleparam:s8reticleswitch", "0");
        if (rc == 0) rc = vesk_ini_dict_set(d, "reticleparam", "reticleparam:s8reticlemenuswitch", "0");
    }
    if (rc == 0 && req->vesk_reticle_menu == 1)
        rc = vesk_ini_dict_set(d, "reticleparam", "reticleparam:s8reticlemenuswitch", "1");
    if (rc == 0) rc = vesk_ini_dump_text(d, &out->data, &out->length);
    iniparser_freedict(d);
    return rc;
}

static int read_or_empty(const char *path, char **data, size_t *length)
{
    int rc = vesk_io_read_file(path, data, length);
    if (rc == -ENOENT) {
        *data = NULL;
        *length = 0;
        return 0;
    }
    return rc;
}

static int wifi_payload(const char *path, const char *ssid, const char *passphrase, payload_text *out)
{
    char *old = NULL;
    size_t old_len = 0;
    int rc = read_or_empty(path, &old, &old_len);
    if (rc < 0) return rc;
    rc = vesk_wifi_patch(old ? old : "", old_len, ssid, passphrase, &out->data, &out->length);
    free(old);
    return rc;
}

static int build_payloads(const vesk_persist_request *req, const char *dir, payload_text *p)
{
    const vesk_persist_resolved_paths *paths = &g_vesk_persist.paths;
    int rc = reset_settings_text(req, dir, &p[P_CURRENT_INI]);
    if (rc < 0) return rc;
    p[P_DEFAULTS_INI].data = (char *)malloc(p[P_CURRENT_INI].length + 1);
    if (p[P_DEFAULTS_INI].data == NULL) return -ENOMEM;
    memcpy(p[P_DEFAULTS_INI].data, p[P_CURRENT_INI].data, p[P_CURRENT_INI].length);
    p[P_DEFAULTS_INI].length = p[P_CURRENT_INI].length;
    rc = vesk_device_db_validate(paths->authority_db);
    if (rc < 0) {
        fprintf(stderr, "vesk_persist: reset stage build: authority defaults.db failed validation; refusing to stage "
                        "a reset\n");
        return -EINVAL;
    }
    rc = vesk_io_read_file(paths->authority_db, &p[P_CURRENT_DB].data, &p[P_CURRENT_DB].length);
    if (rc < 0) return rc;
    rc = wifi_payload(paths->wifi_wpa2, req->vesk_reset_ssid, VESK_WIFI_RESET_PASSPHRASE, &p[P_WIFI_WPA2]);
    if (rc < 0) return rc;
    return wifi_payload(paths->wifi_none, req->vesk_reset_ssid, NULL, &p[P_WIFI_NONE]);
}

int vesk_reset_stage_build(const vesk_persist_request *req, uint64_t epoch, vesk_reset_stage *stage)
{
    vesk_test_delay_point("reset:stage:begin");
    memset(stage, 0, sizeof *stage);
    char ssid[64];
    snprintf(ssid, sizeof ssid, "%.63s", req->vesk_reset_ssid);
    if (strnlen(req->vesk_reset_ssid, sizeof req->vesk_reset_ssid) >= sizeof req->vesk_reset_ssid ||
        !vesk_wifi_name_valid(ssid)) {
        vesk_log_printf(VESK_LOG_ERROR, RESET_TAG, "reset SSID rejected; refusing to stage a reset");
        return -EINVAL;
    }
    char name[64];
    snprintf(name, sizeof name, "reset-%llu-%d", (unsigned long long)epoch, (int)getpid());
    snprintf(stage->dir, sizeof stage->dir, "%s/%s", g_vesk_persist.paths.recovery_dir, name);
    if (mkdir(stage->dir, 0700) != 0 && errno != EEXIST) return -errno;

    payload_text p[VESK_RESET_PAYLOAD_COUNT] = {};
    int rc = build_payloads(req, stage->dir, p);
    for (int i = 0; rc == 0 && i < VESK_RESET_PAYLOAD_COUNT; i++) {
        char tag[64], path[sizeof stage->dir + 32];
        snprintf(tag, sizeof tag, "reset:stage:%s", kPayloadNames[i]);
        snprintf(path, sizeof path, "%s/%s", stage->dir, kPayloadNames[i]);
        rc = vesk_io_atomic_replace(tag, path, p[i].data, p[i].length, 0600);
        stage->manifest.payload[i].size = p[i].length;
        stage->manifest.payload[i].crc32 = crc_of(p[i].data, p[i].length);
    }
    for (payload_text &t : p) free(t.data);
    if (rc == 0) rc = vesk_io_fsync_dir(stage->dir);
    if (rc < 0) return rc;
    vesk_test_checkpoint("reset:staged");

    vesk_reset_manifest *m = &stage->manifest;
    snprintf(m->staging, sizeof m->staging, "%s", name);
    m->epoch = epoch;
    m->from_upper = req->vesk_from_upper ? 1 : 0;
    m->format_media = req->vesk_format_media ? 1 : 0;
    hex_of((const unsigned char *)req->vesk_reset_ssid, sizeof req->vesk_reset_ssid, m->ssid_hex);
    m->phase = 0;
    stage->active = 1;
    stage->request = *req;
    return 0;
}

/* ---- manifest --------------------------------------------------------- */

int vesk_reset_manifest_write(const char *tag, const vesk_reset_manifest *m)
{
    char *buf = NULL;
    size_t n = 0;
    FILE *f = open_memstream(&buf, &n);
    if (f == NULL) return -errno;
    fprintf(f,
            "magic=VESK_RESET\nversion=1\nstaging=%s\nepoch=%llu\nfrom_upper=%d\nformat_media=%d\nssid_hex=%s\n"
            "phase=%d\n",
            m->staging, (unsigned long long)m->epoch, m->from_upper, m->format_media, m->ssid_hex, m->phase);
    for (int i = 0; i < VESK_RESET_PAYLOAD_COUNT; i++)
        fprintf(f, "%s.size=%llu\n%s.crc32=%08x\n", kPayloadNames[i], (unsigned long long)m->payload[i].size,
                kPayloadNames[i], (unsigned)m->payload[i].crc32);
    fflush(f);
    fprintf(f, "manifest_crc32=%08x\n", (unsigned)crc_of(buf, n));
    int rc = ferror(f) ? -EIO : 0;
    if (fclose(f) != 0 && rc == 0) rc = -errno;
    if (rc == 0) rc = vesk_io_atomic_replace(tag, g_vesk_persist.paths.manifest, buf, n, 0600);
    free(buf);
    return rc;
}

static void manifest_field(vesk_reset_manifest *m, const char *key, const char *value)
{
    if (strcmp(key, "staging") == 0) {
        snprintf(m->staging, sizeof m->staging, "%.95s", value);
    } else if (strcmp(key, "epoch") == 0) {
        m->epoch = strtoull(value, NULL, 10);
    } else if (strcmp(key, "from_upper") == 0) {
        m->from_upper = atoi(value);
    } else if (strcmp(key, "format_media") == 0) {
        m->format_media = atoi(value);
    } else if (strcmp(key, "phase") == 0) {
        m->phase = atoi(value);
    } else if (strcmp(key, "ssid_hex") == 0) {
        snprintf(m->ssid_hex, sizeof m->ssid_hex, "%.128s", value);
    } else {
        for (int i = 0; i < VESK_RESET_PAYLOAD_COUNT; i++) {
            size_t k = strlen(kPayloadNames[i]);
            if (strncmp(key, kPayloadNames[i], k) != 0) continue;
            if (strcmp(key + k, ".size") == 0) m->payload[i].size = strtoull(value, NULL, 10);
            if (strcmp(key + k, ".crc32") == 0) m->payload[i].crc32 = (uint32_t)strtoul(value, NULL, 16);
        }
    }
}

int vesk_reset_manifest_read(vesk_reset_manifest *m)
{
    char *text = NULL;
    size_t length = 0;
    memset(m, 0, sizeof *m);
    m->phase = -1;
    int rc = vesk_io_read_file(g_vesk_persist.paths.manifest, &text, &length);
    if (rc < 0) return rc;
    char magic[32] = "";
    int version = 0, have_crc = 0;
    uint32_t stored_crc = 0;
    size_t covered = 0;
    for (size_t at = 0; at < length;) {
        char *line = text + at;
        char *nl = (char *)memchr(line, '\n', length - at);
        size_t len = nl ? (size_t)(nl - line) : length - at;
        size_t begin = at;
        at += len + (nl ? 1 : 0);
        char *eq = (char *)memchr(line, '=', len);
        if (eq == NULL) continue;
        size_t klen = (size_t)(eq - line), vlen = len - klen - 1;
        if (klen >= 64 || vlen >= 640) continue;
        char key[64], value[640];
        memcpy(key, line, klen);
        key[klen] = '\0';
        memcpy(value, eq + 1, vlen);
        value[vlen] = '\0';
        if (strcmp(key, "magic") == 0) {
            snprintf(magic, sizeof magic, "%.31s", value);
        } else if (strcmp(key, "version") == 0) {
            version = atoi(value);
        } else if (strcmp(key, "manifest_crc32") == 0) {
            if (!have_crc) {
                have_crc = 1;
                stored_crc = (uint32_t)strtoul(value, NULL, 16);
                covered = begin;
            }
        } else {
            manifest_field(m, key, value);
        }
    }
    int valid = strcmp(magic, "VESK_RESET") == 0 && version == 1 && have_crc && crc_of(text, covered) == stored_crc &&
                m->phase >= 0 && m->phase <= 3 && m->staging[0] != '\0';
    free(text);
    if (!valid || !staging_name_valid(m->staging)) return -EINVAL;
    char ssid[64];
    return decode_ssid(m->ssid_hex, ssid, sizeof ssid);
}

/* ---- reset run -------------------------------------------------------- */

static int load_payload(const vesk_reset_manifest *m, int index, char **data, size_t *length)
{
    char path[VESK_RECOVERY_PATH_MAX + 128];
    staging_path(path, sizeof path, m->staging, kPayloadNames[index]);
    int rc = vesk_io_read_file(path, data, length);
    if (rc < 0) return rc;
    if (*length != m->payload[index].size || crc_of(*data, *length) != m->payload[index].crc32) {
        vesk_log_printf(VESK_LOG_ERROR, RESET_TAG, "payload %s does not match its manifest", kPayloadNames[index]);
        free(*data);
        *data = NULL;
        return -EUCLEAN;
    }
    return 0;
}

/* Loads and checks a payload immediately before it replaces target. */
static int apply_payload(const vesk_reset_manifest *m, int index, const char *tag, const char *target)
{
    char *data = NULL;
    size_t length = 0;
    int rc = load_payload(m, index, &data, &length);
    if (rc < 0) return rc;
    rc = vesk_io_atomic_replace(tag, target, data, length, 0644);
    free(data);
    return rc;
}

static int apply_settings(vesk_reset_manifest *m)
{
    vesk_persist_state *s = &g_vesk_persist;
    const vesk_persist_resolved_paths *p = &s->paths;
    int rc = vesk_device_db_close();
    if (rc < 0) return rc;
    vesk_test_checkpoint("reset:settings:db-closed");
    rc = apply_payload(m, P_DEFAULTS_INI, "reset:authority-defaults-ini", p->authority_ini);
    if (rc < 0) return rc;
    /* The authority is durable; a mirror that fails is retried later. */
    int mirror = apply_payload(m, P_DEFAULTS_INI, "reset:mirror-defaults-ini", p->defaults_ini);
    if (mirror == -EUCLEAN) return mirror;
    if (mirror < 0) {
        vesk_log_printf(VESK_LOG_ERROR, RESET_TAG, "defaults mirror %s not written (%d); retrying later",
                        p->defaults_ini, mirror);
        vesk_persist_lock();
        s->mirror_pending = 1;
        s->mirror_due_ms = vesk_persist_mono_ms() + 1000;
        vesk_persist_unlock();
    }
    vesk_test_checkpoint("reset:settings:defaults-done");
    rc = apply_payload(m, P_CURRENT_INI, "reset:current-ini", p->current_ini);
    if (rc < 0) return rc;
    vesk_test_checkpoint("reset:settings:current-ini-done");
    /* A journal left beside the old database would be rolled into the new. */
    char journal[VESK_PERSIST_PATH_MAX + 16];
    snprintf(journal, sizeof journal, "%s-journal", p->profiles_db);
    if (unlink(journal) != 0 && errno != ENOENT) return -errno;
    rc = apply_payload(m, P_CURRENT_DB, "reset:current-db", p->profiles_db);
    if (rc < 0) return rc;
    vesk_test_checkpoint("reset:settings:current-db-done");
    rc = apply_payload(m, P_WIFI_WPA2, "reset:wifi-wpa2", p->wifi_wpa2);
    if (rc == 0) rc = apply_payload(m, P_WIFI_NONE, "reset:wifi-none", p->wifi_none);
    if (rc < 0) return rc;
    vesk_test_checkpoint("reset:settings:wifi-done");

    char ssid[64];
    rc = decode_ssid(m->ssid_hex, ssid, sizeof ssid);
    if (rc < 0) return rc;
    vesk_persist_lock();
    snprintf(s->wifi.ssid, sizeof s->wifi.ssid, "%s", ssid);
    snprintf(s->wifi.password, sizeof s->wifi.password, "%s", VESK_WIFI_RESET_PASSPHRASE);
    uint64_t generation = ++s->wifi.generation;
    s->stores[VESK_PERSIST_WIFI].accepted = generation;
    s->stores[VESK_PERSIST_WIFI].durable = generation;
    s->stores[VESK_PERSIST_WIFI].first_dirty_ms = 0;
    vesk_persist_unlock();
    return 0;
}

int vesk_reset_run(vesk_reset_manifest *m)
{
    if (m->phase < 0 || m->phase > 3) return -EINVAL;
    int rc = 0;
    if (m->phase == 0) {
        rc = apply_settings(m);
        if (rc < 0) return rc;
        m->phase = 1;
        rc = vesk_reset_manifest_write("reset:phase1", m);
        if (rc < 0) return rc;
    }
    if (m->phase == 1) {
        if (m->format_media) {
            vesk_persist_hooks hooks;
            vesk_persist_lock();
            hooks = g_vesk_persist.hooks;
            vesk_persist_unlock();
            rc = hooks.vesk_format_media ? hooks.vesk_format_media(hooks.vesk_context) : -ENOSYS;
            if (rc != 0) return rc < 0 ? rc : -EIO;
        }
        m->phase = 2;
        rc = vesk_reset_manifest_write("reset:phase2", m);
        if (rc < 0) return rc;
    }
    if (m->phase == 2) {
        m->phase = 3;
        rc = vesk_reset_manifest_write("reset:phase3", m);
        if (rc < 0) return rc;
    }
    vesk_test_checkpoint("reset:before-marker-removed");
    if (unlink(g_vesk_persist.paths.manifest) != 0 && errno != ENOENT) return -errno;
    rc = vesk_io_fsync_dir(g_vesk_persist.paths.recovery_dir);
    if (rc < 0) return rc;
    vesk_test_checkpoint("reset:done");
    return 0;
}

/* ---- clean-up --------------------------------------------------------- */

static int known_staging_file(const char *name)
{
    for (const char *known : kPayloadNames)
        if (strcmp(name, known) == 0 || vesk_io_is_temp_of(name, known)) return 1;
    return strcmp(name, ACCEPTED_DEFAULTS) == 0 || vesk_io_is_temp_of(name, ACCEPTED_DEFAULTS);
}

void vesk_reset_stage_remove(const char *dir)
{
    if (dir == NULL || dir[0] == '\0') return;
    int fd = open(dir, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT)
            vesk_log_printf(VESK_LOG_ERROR, RESET_TAG, "staging cleanup: open %s failed errno=%d", dir, errno);
        return;
    }
    DIR *d = fdopendir(fd);
    if (d == NULL) {
        vesk_log_printf(VESK_LOG_ERROR, RESET_TAG, "staging cleanup: fdopendir %s failed errno=%d", dir, errno);
        close(fd);
        return;
    }
    int left = 0;
    struct dirent *e;
    while ((e = readdir(d)) != NULL) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
        struct stat st;
        if (known_staging_file(e->d_name) && fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && unlinkat(fd, e->d_name, 0) == 0)
            continue;
        left++;
    }
    closedir(d);
    if (left == 0 && rmdir(dir) == 0) return;
    vesk_log_printf(VESK_LOG_ERROR, RESET_TAG, "staging cleanup: %s kept (%d entries left, errno=%d)", dir, left,
                    left == 0 ? errno : 0);
}

/* Removes every staging directory of the recovery directory but keep. */
static void collect_orphans(const char *keep)
{
    const char *recovery = g_vesk_persist.paths.recovery_dir;
    DIR *d = opendir(recovery);
    if (d == NULL) return;
    struct dirent *e;
    while ((e = readdir(d)) != NULL) {
        if (!staging_name_valid(e->d_name) || (keep && strcmp(e->d_name, keep) == 0)) continue;
        char path[VESK_RECOVERY_PATH_MAX + 256];
        snprintf(path, sizeof path, "%s/%s", recovery, e->d_name);
        struct stat st;
        if (lstat(path, &st) == 0 && S_ISDIR(st.st_mode)) vesk_reset_stage_remove(path);
    }
    closedir(d);
}

static void sleep_ms(long ms)
{
    struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&ts, NULL);
}

/* The Media log files are released before a format touches the card. */
static void pause_media_log(void)
{
    uint64_t deadline = vesk_persist_mono_ms() + 2000;
    uint64_t ticket = 0;
    if (vesk_log_request(VESK_LOG_PAUSE_MEDIA, deadline, &ticket) != 0) return;
    while (vesk_log_poll(ticket) == 0 && vesk_persist_mono_ms() < deadline) sleep_ms(20);
}

int vesk_reset_replay(void)
{
    vesk_reset_manifest m;
    int rc = vesk_reset_manifest_read(&m);
    if (rc == -ENOENT) {
        collect_orphans(NULL);
        return 0;
    }
    if (rc < 0) {
        vesk_log_printf(VESK_LOG_ERROR, "persist.boot", "reset manifest present but invalid (%d)", rc);
        return rc;
    }
    collect_orphans(m.staging);
    vesk_persist_lock();
    if (g_vesk_persist.epoch <= m.epoch) g_vesk_persist.epoch = m.epoch + 1;
    vesk_persist_unlock();
    if (m.format_media) pause_media_log();
    rc = vesk_reset_run(&m);
    if (rc < 0) {
        vesk_log_printf(VESK_LOG_ERROR, "persist.boot", "reset replay failed (%d); recovery required", rc);
    } else {
        char dir[VESK_RECOVERY_PATH_MAX + 128];
        snprintf(dir, sizeof dir, "%s/%s", g_vesk_persist.paths.recovery_dir, m.staging);
        vesk_reset_stage_remove(dir);
    }
    vesk_log_resume_media();
    return rc;
}
