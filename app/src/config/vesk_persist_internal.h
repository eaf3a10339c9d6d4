// State and helpers the pieces of the persistence service share: the worker
// and stores (vesk_persist.cpp), the boot sequence (vesk_boot.cpp), the
// prepare and commit protocol (vesk_prepare.cpp) and the reset staging
// (vesk_reset.cpp). Nothing outside app/src/config includes this.
#pragma once

#include <pthread.h>
#include <stdint.h>

#include "vesk_persist.h"

#define VESK_NEVER UINT64_MAX
#define VESK_RECOVERY_PATH_MAX (VESK_PERSIST_PATH_MAX + 32)
#define VESK_RESET_PAYLOAD_COUNT 5
#define VESK_WIFI_RESET_PASSPHRASE "40715926"

typedef struct {
    uint64_t accepted;       /* generation of the newest change */
    uint64_t durable;        /* newest generation known to be on disk */
    uint64_t first_dirty_ms; /* first change not yet durable; 0 when clean */
    uint64_t last_change_ms;
    int error; /* positive errno of the last failed write */
    int hold;  /* do not retry until a newer change or a force */
    int force; /* write now */
    /* The write under way and the first change that came after its
     * capture: that change starts the next 500 ms limit. */
    uint64_t in_flight;
    uint64_t after_flight_ms;
} vesk_store_state;

typedef struct {
    uint64_t size;
    uint32_t crc32;
} vesk_reset_payload;

typedef struct {
    char staging[96];
    uint64_t epoch;
    int from_upper;
    int format_media;
    char ssid_hex[129];
    int phase;
    vesk_reset_payload payload[VESK_RESET_PAYLOAD_COUNT];
} vesk_reset_manifest;

typedef struct {
    int active;
    char dir[700];
    vesk_persist_request request;
    vesk_reset_manifest manifest;
} vesk_reset_stage;

typedef struct {
    char current_ini[VESK_PERSIST_PATH_MAX];
    char defaults_ini[VESK_PERSIST_PATH_MAX];
    char profiles_db[VESK_PERSIST_PATH_MAX];
    char defaults_db[VESK_PERSIST_PATH_MAX];
    char eeprom[VESK_PERSIST_PATH_MAX];
    char wifi_wpa2[VESK_PERSIST_PATH_MAX];
    char wifi_none[VESK_PERSIST_PATH_MAX];
    char image_defaults_ini[VESK_PERSIST_PATH_MAX];
    char image_defaults_db[VESK_PERSIST_PATH_MAX];
    char image_marker[VESK_PERSIST_PATH_MAX];
    char recovery_dir[VESK_PERSIST_PATH_MAX];
    /* Files of the recovery directory. */
    char authority_ini[VESK_RECOVERY_PATH_MAX];
    char authority_db[VESK_RECOVERY_PATH_MAX];
    char ready[VESK_RECOVERY_PATH_MAX];
    char handoff[VESK_RECOVERY_PATH_MAX];
    char manifest[VESK_RECOVERY_PATH_MAX];
    char eeprom_journal[VESK_RECOVERY_PATH_MAX];
} vesk_persist_resolved_paths;

typedef struct {
    char ssid[64];
    char password[64];
    uint64_t generation;
} vesk_wifi_cache;

/* The service state; every field is guarded by the service mutex. */
typedef struct {
    int worker_started;
    int started;
    int starting;
    vesk_persist_phase phase;
    uint64_t epoch;
    vesk_persist_reason reason;
    vesk_persist_request request;
    uint64_t prepare_deadline_ms;
    int lifecycle_error;
    int outstanding_edits;
    vesk_store_state stores[VESK_PERSIST_STORE_COUNT];
    vesk_persist_resolved_paths paths;
    vesk_persist_hooks hooks;
    vesk_wifi_cache wifi;
    vesk_persist_profiles profiles;
    Qel_DevStatus eeprom;
    int eeprom_readable; /* the boot read the calibration from the device */
    vesk_reset_stage stage;
    int commit_queued;
    int shutdown_requested;
    int abandoned;
    char reset_cleanup[700];
    int profiles_recovered;
    int mirror_pending; /* a mirror of the durable authority still to write */
    uint64_t mirror_due_ms;
    uint64_t mirror_backoff_ms;
} vesk_persist_state;

extern vesk_persist_state g_vesk_persist;
/* The settings store registered with vesk_persist_set_settings. */
extern vesk_persist_settings g_vesk_settings;
/* Store 0 or 1 as INI text, taking the settings lock around the capture. */
int vesk_persist_settings_text(int to_defaults, char **out_text, size_t *out_length);

void vesk_persist_lock(void);
void vesk_persist_unlock(void);
void vesk_persist_broadcast(void);
/* Waits on the service condition variable until the monotonic time until_ms
 * (VESK_NEVER: without limit); the caller holds the mutex. */
void vesk_persist_wait_until(uint64_t until_ms);
/* Ends a prepare whose deadline has passed. Caller holds the mutex. */
void vesk_persist_apply_deadline_locked(uint64_t now_ms);
void vesk_persist_mark_dirty_locked(int store, uint64_t now_ms);
int vesk_persist_store_dirty_locked(int store);
/* One write attempt of a store, on the worker; no lock held by the caller. */
void vesk_persist_attempt(int store);

/* Access-point file text with every "ssid=" and "wpa_passphrase=" line
 * replaced by the given values (null: left as is); a value whose key never
 * appears is appended. New buffer in *out. */
int vesk_wifi_patch(const char *text, size_t length, const char *ssid, const char *passphrase, char **out,
                    size_t *out_length);
/* 1 for 1..63 characters of A-Z, a-z, 0-9, '_' and '-'. */
int vesk_wifi_name_valid(const char *name);
/* Writes the mirrors from the authority when they differ; tags name the
 * two writes. 0 or the first failure. */
int vesk_persist_sync_mirrors(const char *tag_ini, const char *tag_db);

/* Clears the EEPROM, writes text over it and reads it back (-EIO when the
 * read-back differs). */
int vesk_eeprom_write_verify(const char *path, const char *text, size_t length);

/* The boot sequence run by vesk_persist_start before the worker starts. */
int vesk_persist_boot(Qel_DevStatus *status, vesk_persist_profiles *profiles);
/* Points the settings store at the current INI, the authority and
 * eeprom_source, and loads them into status. */
int vesk_persist_load_settings(Qel_DevStatus *status, const char *eeprom_source);
/* Prepare and commit, run on the worker when their phase asks for it. */
void vesk_persist_run_prepare(void);
void vesk_persist_run_commit(void);

/* Reset staging. */
int vesk_reset_stage_build(const vesk_persist_request *request, uint64_t epoch, vesk_reset_stage *stage);
void vesk_reset_stage_remove(const char *dir);
int vesk_reset_manifest_write(const char *tag, const vesk_reset_manifest *manifest);
int vesk_reset_manifest_read(vesk_reset_manifest *manifest);
int vesk_reset_run(vesk_reset_manifest *manifest);
int vesk_reset_replay(void);
