// What the access point's tests reach inside: the calls that touch the
// board and the persistence service, so a test can run the state machine on
// a virtual clock, and the watch thread's steps.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "vesk_persist.h"

typedef struct {
    /* A shell command, as system() runs it. */
    int (*vesk_run)(const char *command);
    /* The first line a command prints, without its newline: 0, or -1 when
     * it could not run or printed nothing. */
    int (*vesk_read_line)(const char *command, char *line, size_t size);
    void (*vesk_sleep_ms)(unsigned ms);
    /* Inside an edit section: vesk_persist_stage_wifi. */
    int (*vesk_stage)(const char *ssid, const char *passphrase, uint64_t *out_generation);
    int (*vesk_stored)(vesk_persist_wifi *out);
    /* The Wi-Fi generation persistence reports as durable. */
    uint64_t (*vesk_durable)(void);
} vesk_wifi_ops;

/* Null puts the board's calls back. Also resets the module's state. */
void vesk_wifi_set_ops(const vesk_wifi_ops *ops);

/* The watch thread's start, and one of its 200 ms cycles. */
void vesk_wifi_watch_begin(void);
void vesk_wifi_watch_cycle(void);

typedef struct {
    uint64_t last_accepted_gen;
    uint64_t last_applied_gen;
    int ap_started;
    int need_reboot;
    int previous_switch;
} vesk_wifi_state;
void vesk_wifi_get_state(vesk_wifi_state *out);
