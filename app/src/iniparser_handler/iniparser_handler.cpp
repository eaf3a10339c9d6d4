// The settings dictionaries, their load into qel_dev_status and the setters.
#include "iniparser_handler.h"

#include <errno.h>
#include <float.h>
#include <iniparser.h>
#include <limits.h>
#include <math.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "version.h"
#include "vesk_debug.h"
#include "vesk_ini_text.h"
#include "vesk_io.h"
#include "vesk_log.h"
#include "vesk_persist.h"

#define INI_TAG "iniparser"

enum { DICT_CURRENT = 0, DICT_DEFAULTS = 1, DICT_HARDWARE = 2, DICT_COUNT = 3 };

static pthread_mutex_t g_ini_lock = PTHREAD_MUTEX_INITIALIZER;
static dictionary *g_dict[DICT_COUNT];
static char g_path[DICT_COUNT][VESK_INI_PATH_MAX] = {
    VESK_INI_DEFAULT_CURRENT,
    VESK_INI_DEFAULT_DEFAULTS,
    VESK_INI_DEFAULT_EEPROM,
};
static int g_hardware_loaded;

vesk_device_info g_stDeviceInfo;

void vesk_ini_state_lock(void) { pthread_mutex_lock(&g_ini_lock); }
void vesk_ini_state_unlock(void) { pthread_mutex_unlock(&g_ini_lock); }

void vesk_ini_configure_paths(const char *current, const char *defaults, const char *eeprom)
{
    const char *given[DICT_COUNT] = {current, defaults, eeprom};
    vesk_ini_state_lock();
    for (int i = 0; i < DICT_COUNT; i++)
        if (given[i] != NULL) snprintf(g_path[i], sizeof g_path[i], "%s", given[i]);
    vesk_ini_state_unlock();
}

void vesk_ini_key_lower(char *text)
{
    if (text == NULL) return;
    for (; *text; text++)
        if (*text >= 'A' && *text <= 'Z') *text = (char)(*text - 'A' + 'a');
}

static void free_dictionaries(void)
{
    for (int i = 0; i < DICT_COUNT; i++) {
        if (g_dict[i] != NULL) iniparser_freedict(g_dict[i]);
        g_dict[i] = NULL;
    }
}

/* ---- loading ---------------------------------------------------------- */

/* Keys are shorter than 64 characters and sections shorter still, so a key
 * that does not fit is no key of ours: it becomes empty and matches none. */
static void full_key(char *out, size_t cap, const char *section, const char *key)
{
    if ((size_t)snprintf(out, cap, "%s:%s", section, key) >= cap) out[0] = '\0';
}

/* ---- what the loaders keep ---------------------------------------------- */

/* Stored numbers a loader does not take as they stand: a value outside
 * [lo, hi] (where zero says so, 0 is kept or reset whatever the range)
 * loads as reset. The setters refuse the same values, so that what a setter
 * stores is what the next boot reads. */
typedef enum { ZERO_BY_RANGE, ZERO_KEPT, ZERO_RESET } zero_rule;

typedef struct {
    const char *section;
    const char *key;
    int lo, hi;
    zero_rule zero;
    int reset;
    const char *note; /* printed on a reset, with the value and hi + 1 */
} ini_limit;

static const ini_limit ini_limits[] = {
    /* the core has no enhancement level 0 */
    {"irparam", "s8irenchance", INT_MIN, INT_MAX, ZERO_RESET, 1, NULL},
    /* the group and zero-slot entries index the profile tables at boot */
    {"reticleparam", "s8reticlegroupindex", 0, VESK_PROFILE_COUNT - 1, ZERO_BY_RANGE, 0,
     "tevi_ini_reticle_callback: reticle group index %d out of range [0,%d); using group 0\n"},
    {"reticleparam", "s8reticlezeroindex", 0, VESK_ZERO_COUNT - 1, ZERO_BY_RANGE, 0, NULL},
    {"qeldevstatus", "s8ballisticgroup", 0, VESK_PROFILE_COUNT - 1, ZERO_BY_RANGE, 0, NULL},
    {"qeldevstatus", "vesk_lrf_target", 1, 3, ZERO_BY_RANGE, 1, NULL},
    {"qeldevstatus", "vesk_lrf_processing", 0, 1, ZERO_BY_RANGE, 0, NULL},
    /* a gate of 0 leaves the module's own */
    {"qeldevstatus", "vesk_lrf_min_m", 10, 20000, ZERO_KEPT, 0, NULL},
    {"qeldevstatus", "vesk_lrf_max_m", 10, 20000, ZERO_KEPT, 0, NULL},
    {"qeldevstatus", "s8shotfronttime", 0, 2, ZERO_BY_RANGE, 0, NULL},
    {"qeldevstatus", "s8shotbacktime", 0, 2, ZERO_BY_RANGE, 0, NULL},
    {"qeldevstatus", "vesk_debug", 0, 1, ZERO_BY_RANGE, 0, NULL},
};

static const ini_limit *find_limit(const char *section, const char *key)
{
    for (const ini_limit &l : ini_limits)
        if (strcmp(l.section, section) == 0 && strcmp(l.key, key) == 0) return &l;
    return NULL;
}

static bool limit_keeps(const ini_limit *l, int v)
{
    if (v == 0 && l->zero != ZERO_BY_RANGE) return l->zero == ZERO_KEPT;
    return v >= l->lo && v <= l->hi;
}

/* What a number read for section:key becomes in the record. */
static int limit_loaded(const char *section, const char *key, int v)
{
    const ini_limit *l = find_limit(section, key);
    if (l == NULL || limit_keeps(l, v)) return v;
    if (l->note != NULL) fprintf(stderr, l->note, v, l->hi + 1);
    return l->reset;
}

static const vesk_dev_field *find_dev_field(const char *key)
{
    for (const vesk_dev_field &f : vesk_dev_fields)
        if (strcmp(f.key, key) == 0) return &f;
    return NULL;
}

/* A field narrower than int keeps only the numbers its type holds. */
static bool field_keeps(const vesk_dev_field *f, int v)
{
    switch (f->kind) {
    case VESK_FIELD_CHAR:
        return v >= 0 && v <= UINT8_MAX;
    case VESK_FIELD_U16:
        return v >= 0 && v <= UINT16_MAX;
    case VESK_FIELD_S16:
        return v >= INT16_MIN && v <= INT16_MAX;
    default:
        return true;
    }
}

int vesk_ini_value_ok(const char *section, const char *key, int value)
{
    if (section == NULL || key == NULL) return 0;
    const ini_limit *l = find_limit(section, key);
    if (l != NULL && !limit_keeps(l, value)) return 0;
    if (strcmp(section, "qeldevstatus") == 0) {
        const vesk_dev_field *f = find_dev_field(key);
        if (f != NULL && !field_keeps(f, value)) return 0;
    }
    return 1;
}

/* A float the record can hold: "nan", "inf" or 1e39 in a file must not reach
 * the compass arithmetic. */
static bool fits_float(double v) { return isfinite(v) && fabs(v) <= FLT_MAX; }

/* ---- the loaders ---------------------------------------------------------- */

static void load_int_table(const dictionary *d, const char *section, const vesk_ini_key_row *rows, int count,
                           int *values)
{
    char key[160];
    for (int i = 0; i < count; i++) {
        full_key(key, sizeof key, section, rows[i].key);
        values[i] = limit_loaded(section, rows[i].key, iniparser_getint(d, key, rows[i].def));
    }
}

void tevi_ini_ir_callback(const dictionary *d, Qel_DevStatus *status)
{
    load_int_table(d, "irparam", vesk_ir_keys, VESK_IR_PARAM_COUNT, status->irParam);
}

void tevi_ini_reticle_callback(const dictionary *d, Qel_DevStatus *status)
{
    load_int_table(d, "reticleparam", vesk_reticle_keys, VESK_RETICLE_PARAM_COUNT, status->reticleParam);
}

void tevi_ini_compass_callback(const dictionary *d, Qel_DevStatus *status)
{
    char key[160];
    for (int i = 0; i < VESK_COMPASS_PARAM_COUNT; i++) {
        full_key(key, sizeof key, "compassparam", vesk_compass_keys[i].key);
        double v = iniparser_getdouble(d, key, vesk_compass_keys[i].def);
        status->compassParam[i] = fits_float(v) ? (float)v : (float)vesk_compass_keys[i].def;
    }
}

static void load_field(const dictionary *d, const char *section, const vesk_dev_field *f, Qel_DevStatus *status)
{
    char key[160];
    full_key(key, sizeof key, section, f->key);
    if (f->kind == VESK_FIELD_TEXT) {
        vesk_dev_field_store(status, f, 0, iniparser_getstring(d, key, ""));
    } else if (f->kind == VESK_FIELD_F32) {
        double v = iniparser_getdouble(d, key, f->def);
        vesk_dev_field_store(status, f, fits_float(v) ? v : f->def, NULL);
    } else {
        int v = iniparser_getint(d, key, (int)f->def);
        vesk_dev_field_store(status, f, limit_loaded(section, f->key, v), NULL);
    }
}

void tevi_ini_devinfo_callback(const dictionary *d, Qel_DevStatus *status)
{
    for (const vesk_dev_field &f : vesk_eeprom_fields) load_field(d, "info", &f, status);
    snprintf(g_stDeviceInfo.sn, sizeof g_stDeviceInfo.sn, "%.32s", status->sn);
    snprintf(g_stDeviceInfo.pn, sizeof g_stDeviceInfo.pn, "%.32s", status->pn);
    fpga_version_info_init("PN", "pn", status->pn);
    fpga_version_info_init("SN", "sn", status->sn);
}

void tevi_ini_callback(const dictionary *d, Qel_DevStatus *status)
{
    for (const vesk_dev_field &f : vesk_dev_fields) load_field(d, "qeldevstatus", &f, status);
    status->usb_state_current = 0;
    status->battery_send_state = 0;
    status->zoom_send_state = 0;
    status->ui_ready = 0;
    status->voltage_now = 0;
    status->s16ShotThreshold = vesk_shot_threshold(status->s8RecoilSensitivity);
    snprintf(status->version, sizeof status->version, "%s", VESK_VERSION_TEXT);
}

int tevi_init_config_value(Qel_DevStatus *status)
{
    if (status == NULL) return -EINVAL;
    vesk_ini_state_lock();
    free_dictionaries();
    g_hardware_loaded = 0;
    for (int i = DICT_CURRENT; i <= DICT_DEFAULTS; i++) {
        g_dict[i] = iniparser_load(g_path[i]);
        if (g_dict[i] == NULL) {
            fprintf(stderr, "tevi_init_config_value: cannot load %s\n", g_path[i]);
            free_dictionaries();
            vesk_ini_state_unlock();
            return -ENOENT;
        }
    }
    g_dict[DICT_HARDWARE] = iniparser_load(g_path[DICT_HARDWARE]);
    if (g_dict[DICT_HARDWARE] != NULL) {
        g_hardware_loaded = 1;
    } else {
        fprintf(stderr, "tevi_init_config_value: cannot load %s, using empty hardware dict\n", g_path[DICT_HARDWARE]);
        g_dict[DICT_HARDWARE] = dictionary_new(0);
        if (g_dict[DICT_HARDWARE] == NULL) {
            free_dictionaries();
            vesk_ini_state_unlock();
            return -ENOMEM;
        }
    }
    if (iniparser_getnsec(g_dict[DICT_CURRENT]) < 0) {
        fprintf(stderr, "tevi_init_config_value: iniparser_getnsec error\n");
        free_dictionaries();
        vesk_ini_state_unlock();
        return -EINVAL;
    }
    const dictionary *cur = g_dict[DICT_CURRENT];
    tevi_ini_ir_callback(cur, status);
    tevi_ini_reticle_callback(cur, status);
    tevi_ini_compass_callback(cur, status);
    tevi_ini_devinfo_callback(g_dict[DICT_HARDWARE], status);
    tevi_ini_callback(cur, status);
    vesk_ini_state_unlock();
    return 0;
}

int Para_init(Qel_DevStatus *status)
{
    if (status == NULL) return -EINVAL;
    memset(status, 0, sizeof *status);
    return tevi_init_config_value(status);
}

int vesk_ini_hardware_loaded(void)
{
    vesk_ini_state_lock();
    int loaded = g_hardware_loaded;
    vesk_ini_state_unlock();
    return loaded;
}

void capabilitySetInit(void)
{
    snprintf(g_stDeviceInfo.device_code, sizeof g_stDeviceInfo.device_code, "%s", "10001107");
    snprintf(g_stDeviceInfo.product_name, sizeof g_stDeviceInfo.product_name, "%s", "Nurax PRO 520 LRF");
    snprintf(g_stDeviceInfo.version, sizeof g_stDeviceInfo.version, "%s", VESK_VERSION_TEXT);
}

/* ---- setters ---------------------------------------------------------- */

/* How a setter reports: the older setters print to standard error, the
 * newer ones log at ERROR under "iniparser". */
typedef enum { REPORT_STDERR, REPORT_LOG } report_kind;

static void report(report_kind kind, const char *who, const char *format, ...) __attribute__((format(printf, 3, 4)));
static void report(report_kind kind, const char *who, const char *format, ...)
{
    char text[256];
    va_list ap;
    va_start(ap, format);
    vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    if (kind == REPORT_LOG)
        vesk_log_printf(VESK_LOG_ERROR, INI_TAG, "%s: %s", who, text);
    else
        fprintf(stderr, "%s: %s\n", who, text);
}

/* The setter algorithm shared by every setter: edit section, settings lock,
 * compare the text, set and mark. The edit section is ended on every path. */
static int ini_store_text(report_kind kind, const char *who, const char *section, const char *key, const char *text,
                          int to_defaults)
{
    int rc = vesk_persist_edit_begin();
    if (rc != 0) {
        report(kind, who, "rejected, persistence not accepting edits");
        return rc;
    }
    char full[192];
    full_key(full, sizeof full, section, key);
    vesk_ini_state_lock();
    dictionary *d = g_dict[to_defaults ? DICT_DEFAULTS : DICT_CURRENT];
    if (d == NULL) {
        report(kind, who, "rejected, dictionary not loaded");
        rc = -ENODEV;
    } else {
        const char *old = iniparser_getstring(d, full, NULL);
        if (old == NULL || strcmp(old, text) != 0) {
            rc = vesk_ini_dict_set(d, section, full, text);
            if (rc == 0)
                vesk_ini_mark_dirty(to_defaults ? VESK_PERSIST_DEFAULTS : VESK_PERSIST_CURRENT_INI);
            else
                report(kind, who, "dictionary_set(%s) failed", full);
        }
    }
    vesk_ini_state_unlock();
    vesk_persist_edit_end();
    return rc;
}

static void ini_store_int(report_kind kind, const char *who, const char *section, const char *key, int value,
                          int to_defaults)
{
    char text[16];
    snprintf(text, sizeof text, "%d", value);
    ini_store_text(kind, who, section, key, text, to_defaults);
}

void tevi_ir_save(int value, int index, int to_defaults)
{
    if (index < 0 || index >= VESK_IR_PARAM_COUNT) {
        fprintf(stderr, "tevi_ir_save: index %d out of range\n", index);
        return;
    }
    if (!vesk_ini_value_ok("irparam", vesk_ir_keys[index].key, value)) {
        fprintf(stderr, "tevi_ir_save: value %d out of range for index %d\n", value, index);
        return;
    }
    ini_store_int(REPORT_STDERR, "tevi_ir_save", "irparam", vesk_ir_keys[index].key, value, to_defaults);
}

void tevi_reticle_save(int value, int index, int to_defaults)
{
    if (index < 0 || index >= VESK_RETICLE_PARAM_COUNT) {
        fprintf(stderr, "tevi_reticle_save: index %d out of range\n", index);
        return;
    }
    if (!vesk_ini_value_ok("reticleparam", vesk_reticle_keys[index].key, value)) {
        fprintf(stderr, "tevi_reticle_save: value %d out of range for index %d\n", value, index);
        return;
    }
    ini_store_int(REPORT_STDERR, "tevi_reticle_save", "reticleparam", vesk_reticle_keys[index].key, value, to_defaults);
}

void tevi_compass_save(float value, int index, int to_defaults)
{
    if (index < 0 || index >= VESK_COMPASS_PARAM_COUNT) {
        fprintf(stderr, "tevi_compass_save: index %d out of range\n", index);
        return;
    }
    if (!isfinite(value)) {
        fprintf(stderr, "tevi_compass_save: value is not a finite number\n");
        return;
    }
    char text[48];
    snprintf(text, sizeof text, "%.2f", value);
    ini_store_text(REPORT_STDERR, "tevi_compass_save", "compassparam", vesk_compass_keys[index].key, text, to_defaults);
}

void Qel_DevStatusSet(const char *key, int value, int to_defaults)
{
    if (key == NULL || *key == '\0' || strlen(key) >= 64) {
        vesk_log_printf(VESK_LOG_ERROR, INI_TAG, "Qel_DevStatusSet: key missing or too long");
        return;
    }
    char lower[64];
    snprintf(lower, sizeof lower, "%s", key);
    vesk_ini_key_lower(lower);
    if (!vesk_ini_value_ok("qeldevstatus", lower, value)) {
        vesk_log_printf(VESK_LOG_ERROR, INI_TAG, "Qel_DevStatusSet: %s %d out of range", lower, value);
        return;
    }
    ini_store_int(REPORT_LOG, "Qel_DevStatusSet", "qeldevstatus", lower, value, to_defaults);
}

static int (*g_debug_apply)(int on) = vesk_debug_set;

void vesk_ini_set_debug_apply(int (*apply)(int on)) { g_debug_apply = apply ? apply : vesk_debug_set; }

void vesk_ini_apply_debug(void)
{
    vesk_ini_state_lock();
    int v = iniparser_getint(g_dict[DICT_CURRENT], "qeldevstatus:vesk_debug", 0);
    vesk_ini_state_unlock();
    g_debug_apply(limit_loaded("qeldevstatus", "vesk_debug", v));
}

int vesk_dynamic_bc_get(void)
{
    vesk_ini_state_lock();
    const char *v = iniparser_getstring(g_dict[DICT_CURRENT], "qeldevstatus:vesk_dynamic_bc", NULL);
    int on = v == NULL || strcmp(v, "0") != 0;
    vesk_ini_state_unlock();
    return on;
}

int vesk_dynamic_bc_set(int value)
{
    if (value != 0 && value != 1) return -EINVAL;
    return ini_store_text(REPORT_LOG, "vesk_dynamic_bc_set", "qeldevstatus", "vesk_dynamic_bc", value ? "1" : "0", 0);
}

/* ---- serialising ------------------------------------------------------ */

int vesk_ini_serialize_locked(int to_defaults, char **out_text, size_t *out_length)
{
    if (out_text == NULL || out_length == NULL) return -EINVAL;
    return vesk_ini_dump_text(g_dict[to_defaults ? DICT_DEFAULTS : DICT_CURRENT], out_text, out_length);
}

int vesk_ini_serialize(int to_defaults, char **out_text, size_t *out_length)
{
    vesk_ini_state_lock();
    int rc = vesk_ini_serialize_locked(to_defaults, out_text, out_length);
    vesk_ini_state_unlock();
    return rc;
}

/* A serial or part number as it may stand after "sn=": iniparser ends a
 * value at ';' or '#', takes a leading quote as a quoted value and trims
 * blanks at both ends, and a line break would start a line of its own. Each
 * such character is written as '_' so the record reads back as one value. */
static void eeprom_text(char *out, size_t cap, const char *text)
{
    size_t n = strnlen(text, 127);
    if (n >= cap) n = cap - 1;
    for (size_t i = 0; i < n; i++) {
        unsigned char c = (unsigned char)text[i];
        bool edge = i == 0 || i == n - 1;
        bool unsafe = c < 0x20 || c > 0x7E || c == ';' || c == '#' || c == '"' || c == '\'' || (edge && c == ' ');
        out[i] = unsafe ? '_' : (char)c;
    }
    out[n] = '\0';
}

static void dump_eeprom(FILE *f, const void *arg)
{
    const Qel_DevStatus *s = (const Qel_DevStatus *)arg;
    char text[128];
    fprintf(f, "[info]\n");
    for (const vesk_dev_field &field : vesk_eeprom_fields) {
        switch (field.kind) {
        case VESK_FIELD_TEXT:
            eeprom_text(text, sizeof text, (const char *)s + field.offset);
            fprintf(f, "%s=%s\n", field.key, text);
            break;
        case VESK_FIELD_F32:
            fprintf(f, "%s=%f\n", field.key, vesk_dev_field_value(s, &field));
            break;
        default:
            fprintf(f, "%s=%d\n", field.key, (int)vesk_dev_field_value(s, &field));
            break;
        }
    }
}

int vesk_eeprom_serialize(const Qel_DevStatus *status, char **out_text, size_t *out_length)
{
    if (status == NULL) return -EINVAL;
    return vesk_io_to_memory(dump_eeprom, status, out_text, out_length);
}

/* ---- save requests ---------------------------------------------------- */

void Qel_ConfigParam_Save(void) { vesk_persist_checkpoint(); }

void Qel_EEPROMParam_Save(void)
{
    int rc = vesk_persist_stage_eeprom(&qel_dev_status, NULL);
    if (rc < 0) vesk_log_printf(VESK_LOG_ERROR, INI_TAG, "Qel_EEPROMParam_Save: staging failed (%d)", rc);
}

/* ---- the persistence service's view ----------------------------------- */

static int load_for_persist(Qel_DevStatus *status, const char *current, const char *defaults, const char *eeprom)
{
    vesk_ini_configure_paths(current, defaults, eeprom);
    return Para_init(status);
}

void vesk_ini_register_persist(void)
{
    static const vesk_persist_settings store = {
        load_for_persist,      vesk_ini_hardware_loaded,  vesk_ini_apply_debug,  vesk_ini_state_lock,
        vesk_ini_state_unlock, vesk_ini_serialize_locked, vesk_eeprom_serialize,
    };
    vesk_persist_set_settings(&store);
}
