// The lifecycle coordinator: every change of the scope's power state
// (shutdown, reboot, low-battery and low-temperature power-off, factory
// reset, Media format, update installation, process exit) passes through
// its one thread. Each request is admitted or refused, saved through the
// persistence prepare and commit, the log made durable and the file
// systems synced, the media process told, and the run ends in power-off,
// reboot or the quit flag. Safety requests (low battery, low temperature)
// pre-empt a voluntary one at every step; the outcome reaches the GUI as a
// lifecycle result frame.
//
// Every call returns 0 or a negative errno unless said otherwise.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "vesk_persist.h"

/* What the coordinator tells the update watcher about an update request. */
typedef enum {
    VESK_UPDATE_RESULT_PREPARE_FAILED = 1,
    VESK_UPDATE_RESULT_CANCELLED = 2,
    VESK_UPDATE_RESULT_UNCERTAIN = 3,
    VESK_UPDATE_RESULT_SAFETY_BEFORE_COMMIT = 4,
    VESK_UPDATE_RESULT_SAFETY_AFTER_COMMIT = 5,
    VESK_UPDATE_RESULT_REBOOT_FAILED = 6,
} vesk_update_result;

/* The calls the coordinator and its hooks make into modules outside it,
 * filled once by the start-up code before vesk_lifecycle_start. */
typedef struct {
    int (*vesk_power_off)(void);                   /* Power_Off; null: the reboot system call, RB_POWER_OFF */
    int (*vesk_reboot)(void);                      /* null: the reboot system call, RB_AUTOBOOT */
    void (*vesk_cancel_factory_state)(int reason); /* vesk_other_cancel_factory_state */
    /* The update watcher: vesk_update_note_result, vesk_update_media_ready
     * and vesk_update_unpack. */
    void (*vesk_update_note_result)(vesk_update_result result, int rc);
    void (*vesk_update_media_ready)(void);
    int (*vesk_update_unpack)(const char *zip_path, const char *update_dir);
    /* sendResultToHTTP: the phone side's result frame. */
    int (*vesk_send_http_result)(uint8_t cmd, const uint8_t *data, size_t length);
} vesk_lifecycle_calls;

void vesk_lifecycle_set_calls(const vesk_lifecycle_calls *calls);

/* Starts the sync thread and the coordinator thread; idempotent. */
int vesk_lifecycle_start(void);
/* Stops and joins the coordinator thread. */
void vesk_lifecycle_stop(void);

/* 0 admitted, -EBUSY refused (the GUI gets (reason, 1)), -EINVAL for a
 * null request or an unknown reason. Safety reasons are always taken. */
int vesk_lifecycle_request(const vesk_persist_request *request);
/* The same; when the request is admitted as the voluntary one, publish
 * runs with context under the coordinator's lock before the coordinator
 * can see the request. publish must not request again. */
int vesk_lifecycle_request_prepublish(const vesk_persist_request *request, void (*publish)(void *context),
                                      void *context);

/* Keeps the persistence start result of this boot. */
void vesk_lifecycle_note_boot(int rc);
/* Tells the GUI how this boot went: recovery required, a failed
 * persistence start, or profiles restored. 1 when the boot state is sound
 * (the parameter blocks may follow), else 0. */
int vesk_lifecycle_publish_boot_state(void);

/* Persistence hooks, run inside the commit on the persistence worker. */
/* Reformats the Media partition: 0, -EBUSY (nothing changed) or -EIO. */
int vesk_lifecycle_format_media(void *context);
/* Unpacks the claimed package into "/usrdata/update/". */
int vesk_lifecycle_install_update(const char *path, void *context);

/* The 11-byte result frame AA 08 00 00 2A 80 reason outcome CHK EB AA. */
size_t vesk_lifecycle_result_frame(uint8_t out[11], int reason, int outcome);
/* The 10-byte media shutdown frame AA 07 00 00 0D 00 mode CHK EB AA;
 * mode 1 power goes off, 2 any other terminal action. */
size_t vesk_lifecycle_media_frame(uint8_t out[10], int mode);
