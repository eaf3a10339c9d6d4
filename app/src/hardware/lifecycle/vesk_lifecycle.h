// The lifecycle coordinator: every change of the scope's power state, the
// end of the process included, passes through its one thread.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "vesk_persist.h"

/* Starts the coordinator thread; idempotent. 0 or a negative errno. */
int vesk_lifecycle_start(void);
/* Stops and joins the coordinator thread. */
void vesk_lifecycle_stop(void);
/* Asks for a power-state change: 0 admitted, -EBUSY refused while another
 * one owns the coordinator (the GUI gets the result frame), -EINVAL for
 * null. With prepublish, an admitted request runs it (under the mailbox
 * lock, so it must not request again) before the coordinator sees it. */
int vesk_lifecycle_request(const vesk_persist_request *request);
int vesk_lifecycle_request_prepublish(const vesk_persist_request *request, void (*prepublish)(void *context),
                                      void *context);
/* Keeps the persistence start result of this boot. */
void vesk_lifecycle_note_boot(int rc);

/* Outcomes of a power-state change as the GUI is told them. */
typedef enum {
    VESK_LIFECYCLE_CANCELLED_SAVE = 1,
    VESK_LIFECYCLE_RECOVERY_REQUIRED = 2,
    VESK_LIFECYCLE_RETRY_UNSAVED = 3,
    VESK_LIFECYCLE_POWERING_OFF_UNSAVED = 4,
    VESK_LIFECYCLE_PROFILES_RESTORED = 5,
} vesk_lifecycle_outcome;

/* The reason byte that stands for the boot state in a result frame. */
#define VESK_LIFECYCLE_REASON_BOOT 9

/* Tells the GUI how this boot went: recovery required, a failed
 * persistence start, or profiles restored. 1 when the boot state is sound
 * (the parameter blocks may follow), else 0. */
int vesk_lifecycle_publish_boot_state(void);
/* The 11-byte result frame AA 08 00 00 2A 80 reason outcome CHK EB AA. */
size_t vesk_lifecycle_result_frame(uint8_t out[11], int reason, int outcome);
