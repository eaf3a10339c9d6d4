// The lifecycle coordinator: every change of the scope's power state, the
// end of the process included, passes through its one thread.
#pragma once

/* Starts the coordinator thread; idempotent. 0 or a negative errno. */
int vesk_lifecycle_start(void);
/* Stops and joins the coordinator thread. */
void vesk_lifecycle_stop(void);
/* Keeps the persistence start result of this boot. */
void vesk_lifecycle_note_boot(int rc);
