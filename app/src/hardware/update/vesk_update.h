// The update watcher: a firmware package put into the root of the Media
// partition is claimed (moved into a private folder), handed to the
// lifecycle coordinator as an update request and, inside the persistence
// commit of that request, checked and unpacked atomically into the update
// directory, where the boot installer takes it at the next start. Every
// update that is not installed leaves a plain-text report on the Media
// partition. Packages are neither signed nor checksummed: the listing check
// is all that stands between a package and the boot installer.
//
// Every call returns 0 or a negative errno unless said otherwise.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "boardcast.h"
#include "vesk_lifecycle.h"
#include "vesk_persist.h"

/* The calls the watcher makes outside itself, filled by the start-up code
 * before Qel_UpgradeInit; an empty entry refuses the request or skips the
 * send. */
typedef struct {
    int (*vesk_request)(const vesk_persist_request *request);                      /* vesk_lifecycle_request */
    int (*vesk_send_http_result)(uint8_t cmd, const uint8_t *data, size_t length); /* sendResultToHTTP */
} vesk_update_calls;

void vesk_update_set_calls(const vesk_update_calls *calls);

/* Registers the update object on the app bus, makes the update directory
 * and starts the watcher on "/usrdata/media/" and "/usrdata/update/";
 * 0 or -1. */
int Qel_UpgradeInit(event_handle *main_bus, event_handle *app_bus);
/* The update frames of the GUI: taken and left alone. */
void notifier_upgrade(event_handle *handle, void *cb_data, int evtype, const void *evdata, int size);

/* -EINVAL for a null path or one of 512 characters or more, -EALREADY. */
int vesk_update_start(const char *media_dir, const char *update_dir);
void vesk_update_stop(void);

/* From the lifecycle coordinator: how an update request ended. */
void vesk_update_note_result(vesk_update_result result, int rc);
/* From the format hook: the Media partition is mounted again. */
void vesk_update_media_ready(void);
/* From the install hook, inside the commit: checks the claimed package and
 * publishes it as "device_upgrade" in update_dir; -ECANCELED with nothing
 * published, or -EIO when the publication may not be durable. */
int vesk_update_unpack(const char *zip_path, const char *update_dir);
/* The Media partition's free space to the phone side (result 13). */
int vesk_update_publish_storage(void);
