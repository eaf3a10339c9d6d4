// The codes a power-state change carries between the programs: the reason
// byte of a lifecycle request and of its result frame, and the outcome byte
// the GUI is told. sightd's persistence and lifecycle and sightui's pages
// read the same numbers, so they are written once here.
#pragma once

typedef enum {
    VESK_PERSIST_SHUTDOWN_VOLUNTARY = 1,
    VESK_PERSIST_REBOOT = 2,
    VESK_PERSIST_SHUTDOWN_LOW_BATTERY = 3,
    VESK_PERSIST_SHUTDOWN_LOW_TEMP = 4,
    VESK_PERSIST_RESET = 5,
    VESK_PERSIST_FORMAT = 6,
    VESK_PERSIST_UPDATE = 7,
    VESK_PERSIST_PROCESS_EXIT = 8,
} vesk_persist_reason;

/* The reason byte that stands for the boot state in a result frame. */
#define VESK_LIFECYCLE_REASON_BOOT 9

/* Outcomes of a power-state change as the GUI is told them. */
typedef enum {
    VESK_LIFECYCLE_CANCELLED_SAVE = 1,       /* refused or cancelled; nothing changed */
    VESK_LIFECYCLE_RECOVERY_REQUIRED = 2,    /* persistence needs recovery, or a terminal step failed */
    VESK_LIFECYCLE_RETRY_UNSAVED = 3,        /* not saved; a power-off within 5000 ms goes unsaved */
    VESK_LIFECYCLE_POWERING_OFF_UNSAVED = 4, /* powering off without saving */
    VESK_LIFECYCLE_PROFILES_RESTORED = 5,    /* at boot: recovery restored the profiles */
} vesk_lifecycle_outcome;
