// The rangefinder's behaviour as one pure state machine: the core record and
// one event in, the record changed and at most 16 actions out (module
// frames, power, timers, GUI payloads, the distance for the ballistic
// solver, log lines). No input, output or clock: the worker feeds it and
// carries its actions out.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "vesk_lrf_proto.h"

typedef struct {
    uint8_t target;     /* 1 first, 2 last, 3 multi target */
    uint8_t processing; /* 0 normal, 1 median of 3 */
    uint16_t min_m;     /* gates in metres, 0 = module default */
    uint16_t max_m;
} vesk_lrf_settings;

/* Result statuses. */
#define VESK_LRF_ST_OK 0
#define VESK_LRF_ST_NO_TARGET 1
#define VESK_LRF_ST_OUT_OF_GATE 2
#define VESK_LRF_ST_ANOMALY 3
#define VESK_LRF_ST_TIMEOUT 4
#define VESK_LRF_ST_MEDIAN_FAIL 5
#define VESK_LRF_ST_MALFORMED 6

/* Session byte of a result. */
#define VESK_LRF_SESSION_SCAN 0x01
#define VESK_LRF_SESSION_RESENT 0x80

typedef struct {
    uint8_t status;
    uint8_t session;
    uint8_t target;
    uint8_t processing;
    uint8_t count; /* 0..3 */
    vesk_lrf_distance d[3];
    uint8_t nib[3];
    uint8_t anomaly[4];
} vesk_lrf_result;

enum {
    VESK_LRF_OFF = 0,
    VESK_LRF_WAKING = 1,
    VESK_LRF_CONFIG = 2,
    VESK_LRF_IDLE = 3,
    VESK_LRF_SINGLE = 4,
    VESK_LRF_MEDIAN = 5,
    VESK_LRF_MULTI = 6,
    VESK_LRF_SCAN = 7,
    VESK_LRF_STOPPING = 8,
};

/* cfg_status values and the state-payload reasons. */
#define VESK_LRF_CFG_NONE 0xFF
#define VESK_LRF_CFG_DONE 0
#define VESK_LRF_CFG_FAILED 8
enum {
    VESK_LRF_REASON_CHANGE = 0,
    VESK_LRF_REASON_BUSY = 7,
    VESK_LRF_REASON_FAILED = 8,
    VESK_LRF_REASON_ACCEPT_REFUSED = 9,
};

typedef struct {
    uint8_t state;
    uint8_t power; /* reserved */
    uint8_t cfg_step;
    uint8_t cfg_status;
    uint16_t eff_min_m; /* read back from the module; 0xFFFF unknown */
    uint16_t eff_max_m;
    vesk_lrf_settings settings;
    vesk_lrf_settings pending_settings;
    uint8_t pending_settings_valid;
    uint8_t pending_request; /* 0 none, 1 single, 2 scan */
    uint8_t median_n;
    uint32_t median_dm[3];
    uint8_t median_ready;
    uint8_t median_gap;
    uint32_t median_last_dm;
    uint8_t scan_has_value;
    uint32_t scan_value_dm;
    uint8_t last_fail;
    uint8_t set_open;
    int8_t set_last_index;
    vesk_lrf_result open_set;
    vesk_lrf_result last_set;
    uint8_t last_set_valid;
    uint8_t vesk_preconfig_readback;
} vesk_lrf_core;

typedef enum {
    VESK_LRF_EV_REQ_SINGLE = 0,
    VESK_LRF_EV_REQ_SCAN = 1,
    VESK_LRF_EV_REQ_STOP_ACCEPT = 2,
    VESK_LRF_EV_REQ_STOP_CANCEL = 3,
    VESK_LRF_EV_REQ_SETTINGS = 4,
    VESK_LRF_EV_REQ_SETTINGS_QUERY = 5,
    VESK_LRF_EV_REQ_ACCEPT = 6,
    VESK_LRF_EV_FRAME = 7,
    VESK_LRF_EV_TIMER_OP = 8,
    VESK_LRF_EV_TIMER_SET = 9,
    VESK_LRF_EV_TIMER_IDLE = 10,
    VESK_LRF_EV_POWER_READY = 11,
    VESK_LRF_EV_POWER_FAILED = 12,
} vesk_lrf_ev_kind;

typedef struct {
    vesk_lrf_ev_kind kind;
    vesk_lrf_frame frame;
    vesk_lrf_settings settings;
    uint8_t accept_index;
    vesk_lrf_distance accept_d;
} vesk_lrf_event;

typedef enum {
    VESK_LRF_ACT_UART = 0,
    VESK_LRF_ACT_POWER_ON = 1,
    VESK_LRF_ACT_POWER_OFF = 2,
    VESK_LRF_ACT_TIMER_OP = 3,
    VESK_LRF_ACT_TIMER_SET = 4,
    VESK_LRF_ACT_TIMER_IDLE = 5,
    VESK_LRF_ACT_UI = 6,
    VESK_LRF_ACT_BALLISTICS = 7,
    VESK_LRF_ACT_LOG = 8,
} vesk_lrf_act_kind;

#define VESK_LRF_ACTION_BYTES 24
#define VESK_LRF_ACTION_LOG 64
#define VESK_LRF_MAX_ACTIONS 16

typedef struct {
    vesk_lrf_act_kind kind;
    uint8_t bytes[VESK_LRF_ACTION_BYTES]; /* a module frame or a GUI payload */
    uint8_t len;
    uint32_t ms; /* timer duration, 0 disarms */
    uint32_t dm; /* distance for BALLISTICS, decimetres */
    char log[VESK_LRF_ACTION_LOG];
} vesk_lrf_action;

typedef struct {
    vesk_lrf_action items[VESK_LRF_MAX_ACTIONS];
    size_t count;
} vesk_lrf_actions;

/* GUI payload sizes and subs (payload byte 1). */
#define VESK_LRF_UI_OBJECT 0x04
#define VESK_LRF_UI_SUB_STATE 0x00
#define VESK_LRF_UI_SUB_RESULT 0x02
#define VESK_LRF_UI_SUB_SETTINGS 0x08
#define VESK_LRF_UI_STATE_LEN 5
#define VESK_LRF_UI_RESULT_LEN 19
#define VESK_LRF_UI_SETTINGS_LEN 14

int vesk_lrf_settings_valid(const vesk_lrf_settings *s);
/* Zeroed record in OFF; valid settings are taken, otherwise the defaults. */
void vesk_lrf_core_init(vesk_lrf_core *core, const vesk_lrf_settings *settings);
/* Clears out, then steps; the number of actions listed. */
size_t vesk_lrf_core_step(vesk_lrf_core *core, const vesk_lrf_event *ev, vesk_lrf_actions *out);
const char *vesk_lrf_core_state_name(uint8_t state);

void vesk_lrf_push(vesk_lrf_actions *list, const vesk_lrf_action *action);
void vesk_lrf_action_simple(vesk_lrf_actions *list, vesk_lrf_act_kind kind, uint32_t value);
vesk_lrf_result vesk_lrf_blank(const vesk_lrf_core *core, uint8_t status, uint8_t session);
/* The 19-byte result payload; returns its length. */
size_t vesk_lrf_ui_encode_result(const vesk_lrf_result *r, uint8_t *out);
uint32_t vesk_lrf_median3_dm(uint32_t a, uint32_t b, uint32_t c);
