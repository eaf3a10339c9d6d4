// What the watcher, the package check and the report writer share inside
// the update module.
#pragma once

#include <pthread.h>
#include <stdarg.h>
#include <stdint.h>

#include <unzip.h>

#include "vesk_update.h"

#define VESK_UPDATE_TAG "update"
#define VESK_UPDATE_PATH_MAX 512
#define VESK_UPDATE_PRIVATE "VeskUpdate"
#define VESK_UPDATE_CLAIMED "device_upgrade_claimed.zip"
#define VESK_UPDATE_PUBLISHED "device_upgrade"
#define VESK_UPDATE_MARKER "http_md5_check_ok.txt"
#define VESK_UPDATE_REPORT "vesk_update_failed.txt"
#define VESK_UPDATE_UNPACK_PREFIX "vesk-unpack-"
/* The claim path travels in the request's 128-byte path. */
#define VESK_UPDATE_SLOT_MAX 127
#define VESK_UPDATE_FILES_MAX 16
#define VESK_UPDATE_MEMBERS 16
#define VESK_UPDATE_ENTRIES_MAX 17

/* The watcher's own record. */
typedef struct {
    char vesk_media[VESK_UPDATE_PATH_MAX];
    char vesk_update[VESK_UPDATE_PATH_MAX];
    char vesk_slot[VESK_UPDATE_PATH_MAX];
    int vesk_wake;
    int vesk_inotify;
    int vesk_wd;
} vesk_update_watch;

/* Members a package may hold, by bit (1 << index). */
extern const char *const g_vesk_update_names[VESK_UPDATE_MEMBERS];

typedef struct {
    uint32_t vesk_required;
    uint32_t vesk_optional;
} vesk_update_form;

/* Legacy, single and dual display, tried in this order. */
extern const vesk_update_form g_vesk_update_forms[3];

typedef struct {
    uint32_t vesk_seen;
    char vesk_root[VESK_UPDATE_PATH_MAX];
    size_t vesk_root_len;
    int vesk_root_entry;
    uint64_t vesk_total;
} vesk_update_listing;

/* 0 or -ENAMETOOLONG; a dir ending in '/' gets no second one. */
int vesk_update_join(char out[VESK_UPDATE_PATH_MAX], const char *dir, const char *name);
/* 1 when the first len bytes of name are "device_upgrade_", at least one of
 * A-Z a-z 0-9 . _ -, then ending. */
int vesk_update_name_ok(const char *name, size_t len, const char *ending);
/* 1 for a name the scan takes as a package: "device_upgrade_" + at least one
 * character + ".zip". */
int vesk_update_is_candidate(const char *name);
/* Checks every entry of an open package against the member table and the
 * forms: 0, -EINVAL or -EFBIG. */
int vesk_update_check_listing(unzFile zip, vesk_update_listing *listing);
/* Opens a package without following a link; null with errno. */
unzFile vesk_update_open_zip(const char *path);
/* 1 when "device_upgrade" waits in update_dir or cannot be examined. */
int vesk_update_published_waits(const char *update_dir);
/* Bytes outside 32-126 become '?' (and '=' too when names is set). */
void vesk_update_sanitise(char *text, int names);
/* The failing unpack step, for the note that follows. */
void vesk_update_record_unpack(const char *step, int err);

/* The report's text. */
typedef struct {
    char vesk_buf[8192];
    size_t vesk_len;
} vesk_update_text;

void vesk_update_text_add(vesk_update_text *text, const char *format, ...) __attribute__((format(printf, 2, 3)));

typedef struct {
    char vesk_text[4096];
    size_t vesk_len;
    char vesk_id[40];
} vesk_update_installer_report;

typedef struct {
    int vesk_present;
    int vesk_installer;
    int vesk_pending;
    char vesk_id[40];
} vesk_update_media_report;

/* 0 absent (id "none"), 1 read, 2 unreadable (id "unreadable"). */
int vesk_update_read_installer_report(const char *update_dir, vesk_update_installer_report *report);
/* 0 absent or unreadable, 1 read. */
int vesk_update_read_media_report(int root, vesk_update_media_report *report);

/* Logs the failure and writes the report into the Media root (root < 0:
 * not written). */
void vesk_update_fail(const vesk_update_watch *watch, int root, const char *step, int pending, const char *const *files,
                      unsigned file_count, const char *archive, const char *action, const char *format, ...)
    __attribute__((format(printf, 9, 10)));
/* At start: copies a new installer report onto Media, or removes a report
 * the installer has settled. */
void vesk_update_reconcile_reports(const vesk_update_watch *watch, int root);
void vesk_update_remove_report(int root);
