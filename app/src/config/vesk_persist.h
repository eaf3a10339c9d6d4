// The persistence service: five stores made durable in the background by
// one worker thread, the edit sections callers change settings in, the
// profiles lock, and the prepare and commit protocol every power-state
// change goes through. Callers mark or stage and return at once; no file is
// written on a caller's thread.
//
// Every call returns 0 or a negative errno unless said otherwise.
// Lock order: edit section, then the settings lock or the profiles lock,
// then the service mutex (internal).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "qel_dev_status.h"
#include "vesk_lifecycle_codes.h"

typedef enum {
    VESK_PERSIST_CURRENT_INI = 0,
    VESK_PERSIST_DEFAULTS = 1,
    VESK_PERSIST_PROFILES = 2,
    VESK_PERSIST_WIFI = 3,
    VESK_PERSIST_EEPROM = 4,
    VESK_PERSIST_STORE_COUNT = 5,
} vesk_persist_store;


typedef enum {
    VESK_PERSIST_STOPPED = 0,
    VESK_PERSIST_RUNNING = 1,
    VESK_PERSIST_PREPARING = 2,
    VESK_PERSIST_PREPARED = 3,
    VESK_PERSIST_COMMITTING = 4,
    VESK_PERSIST_COMMITTED = 5,
    VESK_PERSIST_RECOVERY_REQUIRED = 6,
} vesk_persist_phase;

#define VESK_PERSIST_PATH_MAX 512

/* Store paths; a null pointer (or a null field) takes the default. */
typedef struct {
    const char *vesk_current_ini;        /* "/factory/config.ini" */
    const char *vesk_defaults_ini;       /* "/factory2/defconfig.ini" (mirror) */
    const char *vesk_profiles_db;        /* "/factory/ballistics_config.db" */
    const char *vesk_defaults_db;        /* "/factory2/ballistics_defconfig.db" (mirror) */
    const char *vesk_eeprom;             /* "/sys/bus/nvmem/devices/5-00500/nvmem" */
    const char *vesk_wifi_wpa2;          /* "/etc/wifi/hostapd_wpa2.conf" */
    const char *vesk_wifi_none;          /* "/etc/wifi/hostapd_none.conf" */
    const char *vesk_image_defaults_ini; /* "/usrdata/out_sightd/defconfig.ini" */
    const char *vesk_image_defaults_db;  /* "/usrdata/out_sightd/ballistics_defconfig.db" */
    const char *vesk_image_marker;       /* "/usrdata/judge_after_img.txt" */
    const char *vesk_recovery_dir;       /* "/factory/.vesk-persist" */
} vesk_persist_paths;

/* Called only by the commit, on the worker thread, without any lock. */
typedef struct {
    int (*vesk_format_media)(void *context);
    int (*vesk_install_update)(const char *update_path, void *context);
    void *vesk_context;
} vesk_persist_hooks;

/* The settings store as the service reaches it: its load, its lock and its
 * two serialisers. The store sits above the service (its setters mark
 * stores dirty and open edit sections), so it registers these before the
 * service starts rather than the service calling up into it. */
typedef struct {
    /* Loads the settings files (and the EEPROM record) into status; 0 or a
     * negative errno. */
    int (*vesk_load)(Qel_DevStatus *status, const char *current_ini, const char *defaults_ini, const char *eeprom);
    /* 1 when the last load read the EEPROM record. */
    int (*vesk_eeprom_loaded)(void);
    /* Hands the loaded debug switch on; called once the boot is done. */
    void (*vesk_apply_debug)(void);
    /* The settings lock, held while store 0 or 1 is serialised. */
    void (*vesk_lock)(void);
    void (*vesk_unlock)(void);
    /* Store 0 (to_defaults 0) or 1 as INI text in a new buffer, with the
     * settings lock held. */
    int (*vesk_serialize_locked)(int to_defaults, char **out_text, size_t *out_length);
    /* The EEPROM record text of status, in a new buffer. */
    int (*vesk_eeprom_serialize)(const Qel_DevStatus *status, char **out_text, size_t *out_length);
} vesk_persist_settings;

/* Registers the settings store (copied; every entry required). Call before
 * vesk_persist_start, which refuses to start without one (-EINVAL). */
void vesk_persist_set_settings(const vesk_persist_settings *settings);

typedef struct {
    Qel_IR_Ballistics vesk_ballistics;
    Qel_IR_Cursor vesk_cursor;
} vesk_persist_profiles;

typedef struct {
    vesk_persist_reason vesk_reason;
    int vesk_from_upper;      /* the reset was asked for by the PC link */
    int vesk_format_media;    /* the reset also formats the Media partition */
    int vesk_reticle_menu;    /* the reset keeps the reticle menu on */
    char vesk_reset_ssid[64]; /* Wi-Fi name staged with a reset */
    char vesk_update_path[128];
} vesk_persist_request;

typedef struct {
    uint64_t vesk_epoch;
    vesk_persist_reason vesk_reason;
} vesk_persist_token;

typedef struct {
    vesk_persist_phase vesk_phase;
    vesk_persist_token vesk_token;
    uint64_t vesk_accepted[VESK_PERSIST_STORE_COUNT];
    uint64_t vesk_durable[VESK_PERSIST_STORE_COUNT];
    uint32_t vesk_pending_mask; /* bit i: store i dirty */
    int vesk_store_error[VESK_PERSIST_STORE_COUNT];
    int vesk_lifecycle_error;
    uint64_t vesk_deadline_mono_ms;
    int vesk_profiles_recovered;
} vesk_persist_status;

typedef struct {
    char vesk_ssid[64];
    char vesk_password[64];
    uint64_t vesk_generation;
} vesk_persist_wifi;

/* Boot: bootstrap of the defaults, reset replay, image refresh, settings
 * and profiles load, then the worker. status receives the settings,
 * profiles the profile set and zero store. -EINVAL, -EBUSY, boot errors. */
int vesk_persist_start(const vesk_persist_paths *paths, const vesk_persist_hooks *hooks, Qel_DevStatus *status,
                       vesk_persist_profiles *profiles);
/* Stops the worker, waiting at most limit_ms (monotonic). -ETIMEDOUT. */
int vesk_persist_stop(unsigned limit_ms);

/* Edit sections, nested per thread. Only the outermost begin can be
 * refused: -ENODEV (not started), -ECANCELED (abandoned), -EBUSY (a
 * power-state change is under way). Every successful begin needs an end. */
int vesk_persist_edit_begin(void);
void vesk_persist_edit_end(void);

/* Store 0 or 1 changed; called by the setters under the settings lock. */
void vesk_ini_mark_dirty(vesk_persist_store store);
/* Copies a profile snapshot (built under the profiles lock, inside an edit
 * section) and marks store 2. -EINVAL for a null snapshot, a group or
 * profile index above 5, a zero slot above 1 or a non-finite number. */
int vesk_persist_stage_profiles(const vesk_persist_profiles *snapshot);
/* Either may be null (unchanged). The name: 1..63 of A-Z a-z 0-9 _ -; the
 * passphrase: printable ASCII, at most 63. Returns the new generation. */
int vesk_persist_stage_wifi(const char *ssid, const char *passphrase, uint64_t *out_generation);
int vesk_persist_get_wifi(vesk_persist_wifi *out);
/* Copies status as the EEPROM record; returns store 4's new generation.
 * -EIO when the EEPROM could not be read at boot (its calibration is never
 * overwritten with defaults), -EINVAL for non-finite zero angles. */
int vesk_persist_stage_eeprom(const Qel_DevStatus *status, uint64_t *out_generation);

/* Write every dirty store now; returns at once. */
int vesk_persist_checkpoint(void);
/* Write every dirty store and wait: 0 all clean, -error of the first failed
 * store when only failed ones remain, -ETIMEDOUT. */
int vesk_persist_flush(unsigned timeout_ms);
int vesk_persist_get_status(vesk_persist_status *out);

/* The profiles lock over qel_ir_cursor and qel_ballistics. */
void vesk_profiles_lock(void);
void vesk_profiles_unlock(void);

/* Prepare and commit of a power-state change; deadline_mono_ms is an
 * absolute CLOCK_MONOTONIC time in ms. */
int vesk_persist_prepare(const vesk_persist_request *request, uint64_t deadline_mono_ms, vesk_persist_token *out_token);
/* -ESTALE, 0 preparing, 1 prepared (or later), or the failure. */
int vesk_persist_prepare_status(const vesk_persist_token *token);
int vesk_persist_commit(const vesk_persist_token *token);
/* 1 committed, 0 committing, -EIO recovery required, or the failure. */
int vesk_persist_completion(const vesk_persist_token *token);
/* Back to normal work before the point of no return; -1 past it. */
int vesk_persist_resume(const vesk_persist_token *token);
/* Power off without saving: every later edit and prepare is refused. */
void vesk_persist_abandon_pending(void);

/* Monotonic clock in ms, the clock of every deadline above. */
uint64_t vesk_persist_mono_ms(void);
