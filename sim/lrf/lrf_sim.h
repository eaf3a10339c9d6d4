// The simulated rangefinder module. It holds the master end of a
// pseudo-terminal (the sandbox binds the other end as /dev/ttyS5) and
// answers the module's serial protocol as the real module does, but only
// while the board log shows the rangefinder's laser power switched on.
// Written from the protocol alone, never from sightd's code, so that a
// checksum or byte-order slip on one side shows on the other.
#pragma once

#include <stddef.h>
#include <stdint.h>

typedef struct lrf_sim lrf_sim;

/* Opens a pseudo-terminal in raw mode and starts the module's thread.
 * board_log: the file whose power-control lines decide whether the module
 * is powered; NULL means always powered. NULL on failure. */
lrf_sim *lrf_sim_start(const char *board_log);
void lrf_sim_stop(lrf_sim *sim);
/* The path of the end the program under test opens ("/dev/pts/N"). */
const char *lrf_sim_slave_path(const lrf_sim *sim);

/* One scripting line, as scope-sim and tests give them:
 *   range D [D2 [D3]]   every later shot sees these targets (metres, one
 *                        decimal); "range none" means no target
 *   queue D [D2 [D3]]   one shot used before the standing range
 *   silent on|off       ignore every command
 *   badsum on|off       corrupt the checksum of every reply
 *   readback N|off      answer the maximum-gate read-back with N metres
 *   noise N             send N bytes of noise at once
 *   anomaly B0 B1 B2 B3 send an unsolicited anomaly report
 *   period MS           interval of continuous readings (default 100)
 *   delay MS            time from a single request to its reply (default 0)
 * 0, or -1 for a line it does not understand. */
int lrf_sim_command(lrf_sim *sim, const char *line);

/* What the module has seen and done, for tests. */
typedef struct {
    unsigned commands; /* frames received and understood */
    unsigned ignored;  /* commands received while unpowered or silent */
    unsigned bad;      /* bytes dropped while looking for a frame */
    unsigned singles;  /* single measurements answered */
    unsigned readings; /* continuous readings sent */
    unsigned stops;
    int scanning;
    uint8_t target_mode;
    uint16_t gate_min, gate_max;
    uint8_t last_cmd;
    uint64_t last_reply_ns; /* CLOCK_MONOTONIC when the last reply's last byte was written */
} lrf_sim_stats;
void lrf_sim_get_stats(lrf_sim *sim, lrf_sim_stats *out);

/* 1 when the board log's last rangefinder laser-power line switches it on. */
int lrf_sim_power_from_log(const char *text, size_t length);
