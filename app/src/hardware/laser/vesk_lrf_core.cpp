#include "vesk_lrf_core.h"

#include <string.h>

/* Operation and set timers, milliseconds. */
#define LRF_T_CONFIG 300
#define LRF_T_SINGLE 1000
#define LRF_T_SCAN 1500
#define LRF_T_STOP 500
#define LRF_T_MEDIAN_GAP 400
#define LRF_T_MULTI_GAP 150
#define LRF_T_IDLE 60000

/* What the module is asked for when a gate is left at its default. */
#define LRF_GATE_MIN_DEFAULT 10
#define LRF_GATE_MAX_DEFAULT 20000

enum { LRF_REQ_NONE = 0, LRF_REQ_SINGLE = 1, LRF_REQ_SCAN = 2 };

static const char *const lrf_state_names[] = {
    "OFF", "WAKING", "CONFIG", "IDLE", "SINGLE", "MEDIAN", "MULTI", "SCAN", "STOPPING",
};

const char *vesk_lrf_core_state_name(uint8_t state)
{
    return state < sizeof lrf_state_names / sizeof lrf_state_names[0] ? lrf_state_names[state] : "UNKNOWN";
}

int vesk_lrf_settings_valid(const vesk_lrf_settings *s)
{
    if (s->target < 1 || s->target > 3) return 0;
    if (s->processing > 1) return 0;
    if (s->min_m != 0 && (s->min_m < 10 || s->min_m > 20000)) return 0;
    if (s->max_m != 0 && (s->max_m < 10 || s->max_m > 20000)) return 0;
    if (s->min_m != 0 && s->max_m != 0 && s->min_m > s->max_m) return 0;
    return 1;
}

/* Multi-target shots are never median-processed. */
static vesk_lrf_settings lrf_normalised(vesk_lrf_settings s)
{
    if (s.target == 3) s.processing = 0;
    return s;
}

void vesk_lrf_core_init(vesk_lrf_core *core, const vesk_lrf_settings *settings)
{
    memset(core, 0, sizeof *core);
    core->state = VESK_LRF_OFF;
    core->cfg_status = VESK_LRF_CFG_NONE;
    core->eff_min_m = 0xFFFF;
    core->eff_max_m = 0xFFFF;
    core->set_last_index = -1;
    if (settings != NULL && vesk_lrf_settings_valid(settings)) {
        core->settings = lrf_normalised(*settings);
    } else {
        core->settings.target = 1;
    }
}

void vesk_lrf_push(vesk_lrf_actions *list, const vesk_lrf_action *action)
{
    if (list->count < VESK_LRF_MAX_ACTIONS) list->items[list->count++] = *action;
}

void vesk_lrf_action_simple(vesk_lrf_actions *list, vesk_lrf_act_kind kind, uint32_t value)
{
    vesk_lrf_action a;
    memset(&a, 0, sizeof a);
    a.kind = kind;
    if (kind == VESK_LRF_ACT_BALLISTICS) {
        a.dm = value;
    } else {
        a.ms = value;
    }
    vesk_lrf_push(list, &a);
}

vesk_lrf_result vesk_lrf_blank(const vesk_lrf_core *core, uint8_t status, uint8_t session)
{
    vesk_lrf_result r;
    memset(&r, 0, sizeof r);
    r.status = status;
    r.session = session;
    r.target = core->settings.target;
    r.processing = core->settings.processing;
    return r;
}

uint32_t vesk_lrf_median3_dm(uint32_t a, uint32_t b, uint32_t c)
{
    uint32_t lo = a < b ? a : b;
    uint32_t hi = a < b ? b : a;
    uint32_t mid = hi < c ? hi : c;
    return lo > mid ? lo : mid;
}

static void lrf_put_be16(uint8_t *p, uint16_t v)
{
    p[0] = (uint8_t)(v >> 8);
    p[1] = (uint8_t)v;
}

size_t vesk_lrf_ui_encode_result(const vesk_lrf_result *r, uint8_t *out)
{
    memset(out, 0, VESK_LRF_UI_RESULT_LEN);
    out[0] = VESK_LRF_UI_OBJECT;
    out[1] = VESK_LRF_UI_SUB_RESULT;
    out[2] = 0xFF;
    out[3] = r->status;
    out[4] = r->session;
    out[5] = r->target;
    out[6] = r->processing;
    if (r->status == VESK_LRF_ST_ANOMALY) {
        memcpy(out + 8, r->anomaly, 4);
        return VESK_LRF_UI_RESULT_LEN;
    }
    uint8_t count = r->count > 3 ? 3 : r->count;
    out[7] = count;
    for (uint8_t i = 0; i < count; i++) {
        lrf_put_be16(out + 8 + 3 * i, r->d[i].m);
        out[10 + 3 * i] = r->d[i].dm;
    }
    out[17] = (uint8_t)(r->nib[0] | ((r->nib[1] & 0x0F) << 4));
    out[18] = r->nib[2];
    return VESK_LRF_UI_RESULT_LEN;
}

/* ---- actions ---------------------------------------------------------- */

static void lrf_send(vesk_lrf_actions *out, uint8_t cmd, const uint8_t *params, size_t count)
{
    vesk_lrf_action a;
    memset(&a, 0, sizeof a);
    a.kind = VESK_LRF_ACT_UART;
    a.len = (uint8_t)vesk_lrf_frame_build(cmd, params, count, a.bytes);
    vesk_lrf_push(out, &a);
}

static void lrf_send_gate(vesk_lrf_actions *out, uint8_t cmd, uint16_t metres)
{
    uint8_t p[2];
    lrf_put_be16(p, metres);
    lrf_send(out, cmd, p, 2);
}

static uint8_t lrf_wire_state(uint8_t state)
{
    switch (state) {
    case VESK_LRF_OFF:
        return 3;
    case VESK_LRF_SCAN:
        return 2;
    case VESK_LRF_IDLE:
        return 0;
    default:
        return 1;
    }
}

static void lrf_ui(vesk_lrf_actions *out, const uint8_t *bytes, size_t len)
{
    vesk_lrf_action a;
    memset(&a, 0, sizeof a);
    a.kind = VESK_LRF_ACT_UI;
    memcpy(a.bytes, bytes, len);
    a.len = (uint8_t)len;
    vesk_lrf_push(out, &a);
}

static void lrf_ui_state(const vesk_lrf_core *c, vesk_lrf_actions *out, uint8_t reason)
{
    const uint8_t p[VESK_LRF_UI_STATE_LEN] = {VESK_LRF_UI_OBJECT, VESK_LRF_UI_SUB_STATE, 0xFF, lrf_wire_state(c->state),
                                              reason};
    lrf_ui(out, p, sizeof p);
}

static void lrf_ui_result(vesk_lrf_actions *out, const vesk_lrf_result *r)
{
    uint8_t p[VESK_LRF_UI_RESULT_LEN];
    lrf_ui(out, p, vesk_lrf_ui_encode_result(r, p));
}

static void lrf_ui_settings(const vesk_lrf_core *c, vesk_lrf_actions *out)
{
    uint8_t p[VESK_LRF_UI_SETTINGS_LEN];
    p[0] = VESK_LRF_UI_OBJECT;
    p[1] = VESK_LRF_UI_SUB_SETTINGS;
    p[2] = 0xFF;
    p[3] = c->settings.target;
    p[4] = c->settings.processing;
    lrf_put_be16(p + 5, c->settings.min_m);
    lrf_put_be16(p + 7, c->settings.max_m);
    lrf_put_be16(p + 9, c->eff_min_m);
    lrf_put_be16(p + 11, c->eff_max_m);
    p[13] = c->cfg_status;
    lrf_ui(out, p, sizeof p);
}

static void lrf_log(vesk_lrf_actions *out, const char *text)
{
    vesk_lrf_action a;
    memset(&a, 0, sizeof a);
    a.kind = VESK_LRF_ACT_LOG;
    strncpy(a.log, text, sizeof a.log - 1);
    vesk_lrf_push(out, &a);
}

static void lrf_op(vesk_lrf_actions *out, uint32_t ms) { vesk_lrf_action_simple(out, VESK_LRF_ACT_TIMER_OP, ms); }
static void lrf_set(vesk_lrf_actions *out, uint32_t ms) { vesk_lrf_action_simple(out, VESK_LRF_ACT_TIMER_SET, ms); }
static void lrf_idle(vesk_lrf_actions *out, uint32_t ms) { vesk_lrf_action_simple(out, VESK_LRF_ACT_TIMER_IDLE, ms); }

/* ---- building blocks -------------------------------------------------- */

static uint16_t lrf_requested_min(const vesk_lrf_settings *s) { return s->min_m ? s->min_m : LRF_GATE_MIN_DEFAULT; }
static uint16_t lrf_requested_max(const vesk_lrf_settings *s) { return s->max_m ? s->max_m : LRF_GATE_MAX_DEFAULT; }

static void vesk_lrf_begin_config(vesk_lrf_core *c, vesk_lrf_actions *out)
{
    static const uint8_t setup[2] = {0x03, 0x00};
    c->state = VESK_LRF_CONFIG;
    c->cfg_status = VESK_LRF_CFG_NONE;
    lrf_idle(out, 0);
    if (c->vesk_preconfig_readback) {
        c->cfg_step = 0;
        lrf_send(out, VESK_LRF_CMD_GET_MIN, NULL, 0);
    } else {
        c->cfg_step = 2;
        lrf_send(out, VESK_LRF_CMD_SETUP, setup, 2);
    }
    lrf_op(out, LRF_T_CONFIG);
}

static void vesk_lrf_start_request(vesk_lrf_core *c, vesk_lrf_actions *out, uint8_t request)
{
    c->pending_request = LRF_REQ_NONE;
    c->last_set_valid = 0;
    lrf_idle(out, 0);
    if (request == LRF_REQ_SINGLE) {
        lrf_send(out, VESK_LRF_CMD_SINGLE, NULL, 0);
        lrf_op(out, LRF_T_SINGLE);
        if (c->settings.target == 3) {
            c->state = VESK_LRF_MULTI;
            c->set_open = 0;
        } else if (c->settings.processing == 1) {
            c->state = VESK_LRF_MEDIAN;
            c->median_n = 0;
            c->median_gap = 0;
        } else {
            c->state = VESK_LRF_SINGLE;
        }
        return;
    }
    c->state = VESK_LRF_SCAN;
    c->median_n = 0;
    c->median_ready = 0;
    c->scan_has_value = 0;
    c->set_open = 0;
    lrf_send(out, VESK_LRF_CMD_SCAN, NULL, 0);
    lrf_op(out, LRF_T_SCAN);
    lrf_ui_state(c, out, VESK_LRF_REASON_CHANGE);
}

static void vesk_lrf_enter_idle(vesk_lrf_core *c, vesk_lrf_actions *out)
{
    lrf_op(out, 0);
    lrf_set(out, 0);
    c->median_gap = 0;
    if (c->pending_settings_valid) {
        c->settings = c->pending_settings;
        c->pending_settings_valid = 0;
        vesk_lrf_begin_config(c, out);
        return;
    }
    c->state = VESK_LRF_IDLE;
    lrf_idle(out, LRF_T_IDLE);
}

static void lrf_stop_scan(vesk_lrf_core *c, vesk_lrf_actions *out)
{
    c->state = VESK_LRF_STOPPING;
    lrf_send(out, VESK_LRF_CMD_STOP, NULL, 0);
    lrf_op(out, LRF_T_STOP);
}

static void vesk_lrf_finish_single(vesk_lrf_core *c, vesk_lrf_actions *out, uint8_t status, uint8_t session,
                                   uint32_t dm)
{
    vesk_lrf_result r = vesk_lrf_blank(c, status, session);
    if (status == VESK_LRF_ST_OK) {
        r.count = 1;
        r.d[0] = vesk_lrf_distance_split(dm);
    }
    c->last_fail = status;
    lrf_ui_result(out, &r);
    if (status == VESK_LRF_ST_OK && !(session & VESK_LRF_SESSION_SCAN))
        vesk_lrf_action_simple(out, VESK_LRF_ACT_BALLISTICS, dm);
}

/* 0 when dm lies inside the gates, else the out-of-gate status. */
static uint8_t vesk_lrf_gate_check(const vesk_lrf_core *c, uint32_t dm)
{
    uint32_t lower = c->settings.min_m ? (uint32_t)c->settings.min_m * 10u : 100u;
    uint32_t upper = c->settings.max_m ? (uint32_t)c->settings.max_m * 10u : 200000u;
    return dm < lower || dm > upper ? VESK_LRF_ST_OUT_OF_GATE : VESK_LRF_ST_OK;
}

typedef struct {
    uint8_t flags;
    uint32_t dm;
    int in_gate;
    uint8_t fail; /* status when not in gate */
} lrf_reading;

static lrf_reading lrf_read_measurement(const vesk_lrf_core *c, const vesk_lrf_frame *f)
{
    lrf_reading r;
    r.flags = f->params[0];
    r.dm = ((uint32_t)f->params[1] * 256u + f->params[2]) * 10u + f->params[3];
    r.in_gate = r.flags != VESK_LRF_FLAG_NO_TARGET && vesk_lrf_gate_check(c, r.dm) == VESK_LRF_ST_OK;
    r.fail = r.flags == VESK_LRF_FLAG_NO_TARGET ? VESK_LRF_ST_NO_TARGET : VESK_LRF_ST_OUT_OF_GATE;
    return r;
}

static void vesk_lrf_open_set(vesk_lrf_core *c, uint8_t session)
{
    c->open_set = vesk_lrf_blank(c, VESK_LRF_ST_OK, session);
    c->set_open = 1;
    c->set_last_index = -1;
}

static void vesk_lrf_close_set(vesk_lrf_core *c, vesk_lrf_actions *out, uint8_t session)
{
    if (c->open_set.status == VESK_LRF_ST_OK && c->open_set.count == 0) c->open_set.status = VESK_LRF_ST_OUT_OF_GATE;
    c->open_set.session = session;
    c->last_set = c->open_set;
    c->last_set_valid = c->open_set.count > 0;
    c->last_fail = c->open_set.status;
    lrf_ui_result(out, &c->open_set);
    c->set_open = 0;
    c->set_last_index = -1;
    lrf_set(out, 0);
}

/* -1 refused, 0 more targets of this shot follow, 1 the set is closed. */
static int vesk_lrf_multi_frame(vesk_lrf_core *c, vesk_lrf_actions *out, const vesk_lrf_frame *f, uint8_t session)
{
    if (f->nparams != 4) return -1;
    int index = f->params[0] >> 4;
    if (index > 2) return -1;
    if (!c->set_open) vesk_lrf_open_set(c, session);
    if (c->set_last_index >= 0 && index <= c->set_last_index) {
        /* A new shot has begun before the last one was closed. */
        vesk_lrf_close_set(c, out, session);
        if (c->state != VESK_LRF_SCAN) return 1;
        vesk_lrf_open_set(c, session);
    }
    uint8_t nib = f->params[0] & 0x0F;
    lrf_reading r = lrf_read_measurement(c, f);
    if (nib != VESK_LRF_FLAG_NO_TARGET) {
        vesk_lrf_result *set = &c->open_set;
        if (vesk_lrf_gate_check(c, r.dm) == VESK_LRF_ST_OK && set->count < 3) {
            set->d[set->count] = vesk_lrf_distance_split(r.dm);
            set->nib[set->count] = nib;
            set->count++;
        }
        c->set_last_index = (int8_t)index;
        if ((nib & VESK_LRF_FLAG_MORE) && index != 2) {
            lrf_set(out, LRF_T_MULTI_GAP);
            return 0;
        }
    } else {
        if (c->open_set.count == 0) c->open_set.status = VESK_LRF_ST_NO_TARGET;
        c->set_last_index = (int8_t)index;
    }
    vesk_lrf_close_set(c, out, session);
    return 1;
}

static void lrf_config_fail(vesk_lrf_core *c, vesk_lrf_actions *out)
{
    c->cfg_status = VESK_LRF_CFG_FAILED;
    c->pending_request = LRF_REQ_NONE;
    c->state = VESK_LRF_IDLE;
    lrf_ui_state(c, out, VESK_LRF_REASON_FAILED);
    lrf_ui_settings(c, out);
    vesk_lrf_enter_idle(c, out);
}

/* One reply (or its time-out) of the configuration sequence. */
static void lrf_config_step(vesk_lrf_core *c, const vesk_lrf_event *ev, vesk_lrf_actions *out)
{
    static const uint8_t expected[8] = {
        VESK_LRF_CMD_GET_MIN, VESK_LRF_CMD_GET_MAX, VESK_LRF_CMD_SETUP,   VESK_LRF_CMD_TARGET_MODE,
        VESK_LRF_CMD_SET_MIN, VESK_LRF_CMD_SET_MAX, VESK_LRF_CMD_GET_MIN, VESK_LRF_CMD_GET_MAX,
    };
    if (ev->kind == VESK_LRF_EV_TIMER_OP || c->cfg_step > 7 || ev->frame.cmd != expected[c->cfg_step]) {
        lrf_config_fail(c, out);
        return;
    }
    const vesk_lrf_frame *f = &ev->frame;
    if (c->cfg_step >= 6) {
        if (f->nparams != 2) {
            lrf_config_fail(c, out);
            return;
        }
        uint16_t value = (uint16_t)(f->params[0] << 8 | f->params[1]);
        uint16_t wanted;
        if (c->cfg_step == 6) {
            c->eff_min_m = value;
            wanted = lrf_requested_min(&c->settings);
        } else {
            c->eff_max_m = value;
            wanted = lrf_requested_max(&c->settings);
        }
        if (value != wanted) {
            lrf_config_fail(c, out);
            return;
        }
    }
    c->cfg_step++;
    switch (c->cfg_step) {
    case 1:
        lrf_send(out, VESK_LRF_CMD_GET_MAX, NULL, 0);
        break;
    case 2: {
        static const uint8_t setup[2] = {0x03, 0x00};
        lrf_send(out, VESK_LRF_CMD_SETUP, setup, 2);
        break;
    }
    case 3:
        lrf_send(out, VESK_LRF_CMD_TARGET_MODE, &c->settings.target, 1);
        break;
    case 4:
        lrf_send_gate(out, VESK_LRF_CMD_SET_MIN, lrf_requested_min(&c->settings));
        break;
    case 5:
        lrf_send_gate(out, VESK_LRF_CMD_SET_MAX, lrf_requested_max(&c->settings));
        break;
    case 6:
        lrf_send(out, VESK_LRF_CMD_GET_MIN, NULL, 0);
        break;
    case 7:
        lrf_send(out, VESK_LRF_CMD_GET_MAX, NULL, 0);
        break;
    default: {
        c->cfg_status = VESK_LRF_CFG_DONE;
        lrf_ui_settings(c, out);
        if (c->pending_settings_valid) {
            c->settings = c->pending_settings;
            c->pending_settings_valid = 0;
            vesk_lrf_begin_config(c, out);
        } else if (c->pending_request != LRF_REQ_NONE) {
            vesk_lrf_start_request(c, out, c->pending_request);
        } else {
            vesk_lrf_enter_idle(c, out);
        }
        return;
    }
    }
    lrf_op(out, LRF_T_CONFIG);
}

/* ---- measurement replies ------------------------------------------------ */

static void lrf_multi_path(vesk_lrf_core *c, const vesk_lrf_event *ev, vesk_lrf_actions *out)
{
    int scan = c->state == VESK_LRF_SCAN;
    uint8_t session = scan ? VESK_LRF_SESSION_SCAN : 0;
    int r = vesk_lrf_multi_frame(c, out, &ev->frame, session);
    if (r >= 0) {
        if (scan) {
            lrf_op(out, LRF_T_SCAN);
        } else {
            lrf_op(out, 0);
            if (r == 1) vesk_lrf_enter_idle(c, out);
        }
        return;
    }
    c->last_set_valid = 0;
    c->set_open = 0;
    c->set_last_index = -1;
    vesk_lrf_finish_single(c, out, VESK_LRF_ST_MALFORMED, session, 0);
    if (!scan) vesk_lrf_enter_idle(c, out);
}

/* A frame while measuring: ignored unless it answers the measurement. */
static void lrf_measure_frame(vesk_lrf_core *c, const vesk_lrf_event *ev, vesk_lrf_actions *out)
{
    const vesk_lrf_frame *f = &ev->frame;
    int scan = c->state == VESK_LRF_SCAN;
    uint8_t want = scan ? VESK_LRF_CMD_SCAN : VESK_LRF_CMD_SINGLE;
    if (f->cmd != want || (c->state == VESK_LRF_MEDIAN && c->median_gap)) return;
    if (c->state == VESK_LRF_MULTI || (scan && c->settings.target == 3)) {
        lrf_multi_path(c, ev, out);
        return;
    }
    if (f->nparams != 4) {
        uint8_t status = VESK_LRF_ST_MALFORMED;
        if (c->state == VESK_LRF_MEDIAN || (scan && c->settings.processing == 1)) status = VESK_LRF_ST_MEDIAN_FAIL;
        c->median_n = 0;
        c->median_ready = 0;
        c->scan_has_value = 0;
        vesk_lrf_finish_single(c, out, status, scan ? VESK_LRF_SESSION_SCAN : 0, 0);
        if (!scan) vesk_lrf_enter_idle(c, out);
        return;
    }
    lrf_reading r = lrf_read_measurement(c, f);
    switch (c->state) {
    case VESK_LRF_SINGLE:
        vesk_lrf_finish_single(c, out, r.in_gate ? VESK_LRF_ST_OK : r.fail, 0, r.dm);
        vesk_lrf_enter_idle(c, out);
        return;
    case VESK_LRF_MEDIAN:
        if (!r.in_gate) {
            vesk_lrf_finish_single(c, out, VESK_LRF_ST_MEDIAN_FAIL, 0, 0);
            vesk_lrf_enter_idle(c, out);
            return;
        }
        c->median_dm[c->median_n++] = r.dm;
        if (c->median_n < 3) {
            c->median_gap = 1;
            lrf_op(out, 0);
            lrf_set(out, LRF_T_MEDIAN_GAP);
            return;
        }
        vesk_lrf_finish_single(c, out, VESK_LRF_ST_OK, 0,
                               vesk_lrf_median3_dm(c->median_dm[0], c->median_dm[1], c->median_dm[2]));
        vesk_lrf_enter_idle(c, out);
        return;
    default: /* SCAN */
        lrf_op(out, LRF_T_SCAN);
        if (c->settings.processing == 0) {
            vesk_lrf_finish_single(c, out, r.in_gate ? VESK_LRF_ST_OK : r.fail, VESK_LRF_SESSION_SCAN, r.dm);
            c->scan_has_value = (uint8_t)r.in_gate;
            if (r.in_gate) c->scan_value_dm = r.dm;
            return;
        }
        if (!r.in_gate) {
            vesk_lrf_finish_single(c, out, VESK_LRF_ST_MEDIAN_FAIL, VESK_LRF_SESSION_SCAN, 0);
            c->median_n = 0;
            c->median_ready = 0;
            return;
        }
        c->median_dm[c->median_n++] = r.dm;
        if (c->median_n == 3) {
            c->median_last_dm = vesk_lrf_median3_dm(c->median_dm[0], c->median_dm[1], c->median_dm[2]);
            c->median_ready = 1;
            vesk_lrf_finish_single(c, out, VESK_LRF_ST_OK, VESK_LRF_SESSION_SCAN, c->median_last_dm);
            c->median_n = 0;
        }
        return;
    }
}

/* ---- the table ---------------------------------------------------------- */

static int lrf_is_measuring(uint8_t state)
{
    return state == VESK_LRF_SINGLE || state == VESK_LRF_MEDIAN || state == VESK_LRF_MULTI || state == VESK_LRF_SCAN;
}

static uint8_t lrf_stop_reason(const vesk_lrf_core *c) { return c->last_fail ? c->last_fail : VESK_LRF_ST_MEDIAN_FAIL; }

static void lrf_anomaly(vesk_lrf_core *c, const vesk_lrf_frame *f, vesk_lrf_actions *out)
{
    if (f->nparams == 4 && (f->params[0] & 0x7F) == 0x77) {
        lrf_log(out, "anomaly 0x06: no echo only, all health bits ok; ignored");
        return;
    }
    int scan = c->state == VESK_LRF_SCAN;
    vesk_lrf_result r = vesk_lrf_blank(c, VESK_LRF_ST_ANOMALY, scan ? VESK_LRF_SESSION_SCAN : 0);
    if (f->nparams >= 4) memcpy(r.anomaly, f->params, 4);
    c->last_fail = VESK_LRF_ST_ANOMALY;
    lrf_ui_result(out, &r);
    if (scan) {
        lrf_stop_scan(c, out);
        return;
    }
    /* The report ends whatever was under way; a request that was waiting
     * for the configuration must not start by itself on a later one. */
    c->pending_request = LRF_REQ_NONE;
    vesk_lrf_enter_idle(c, out);
}

static void lrf_settings(vesk_lrf_core *c, const vesk_lrf_event *ev, vesk_lrf_actions *out)
{
    if (!vesk_lrf_settings_valid(&ev->settings)) return;
    vesk_lrf_settings s = lrf_normalised(ev->settings);
    switch (c->state) {
    case VESK_LRF_OFF:
        c->settings = s;
        c->pending_settings_valid = 0;
        c->cfg_status = VESK_LRF_CFG_NONE;
        c->state = VESK_LRF_WAKING;
        vesk_lrf_action_simple(out, VESK_LRF_ACT_POWER_ON, 0);
        return;
    case VESK_LRF_IDLE:
        c->settings = s;
        c->pending_settings_valid = 0;
        vesk_lrf_begin_config(c, out);
        return;
    default:
        c->pending_settings = s;
        c->pending_settings_valid = 1;
        if (c->state == VESK_LRF_SCAN) lrf_stop_scan(c, out);
        return;
    }
}

static void lrf_stop(vesk_lrf_core *c, const vesk_lrf_event *ev, vesk_lrf_actions *out)
{
    if (c->state == VESK_LRF_OFF || c->state == VESK_LRF_STOPPING) return;
    if (c->state != VESK_LRF_SCAN) {
        c->pending_request = LRF_REQ_NONE;
        c->state = VESK_LRF_IDLE;
        lrf_ui_state(c, out, VESK_LRF_REASON_CHANGE);
        vesk_lrf_enter_idle(c, out);
        return;
    }
    if (ev->kind == VESK_LRF_EV_REQ_STOP_ACCEPT) {
        if (c->settings.target != 3) {
            if (c->settings.processing == 1 && c->median_ready) {
                vesk_lrf_action_simple(out, VESK_LRF_ACT_BALLISTICS, c->median_last_dm);
            } else if (c->settings.processing == 0 && c->scan_has_value) {
                vesk_lrf_action_simple(out, VESK_LRF_ACT_BALLISTICS, c->scan_value_dm);
            } else {
                lrf_ui_state(c, out, lrf_stop_reason(c));
            }
        } else if (c->last_set_valid) {
            vesk_lrf_result r = c->last_set;
            r.session |= VESK_LRF_SESSION_RESENT;
            lrf_ui_result(out, &r);
        } else {
            lrf_ui_state(c, out, lrf_stop_reason(c));
        }
    }
    lrf_stop_scan(c, out);
}

static void lrf_request(vesk_lrf_core *c, const vesk_lrf_event *ev, vesk_lrf_actions *out)
{
    uint8_t request = ev->kind == VESK_LRF_EV_REQ_SINGLE ? LRF_REQ_SINGLE : LRF_REQ_SCAN;
    if (c->state == VESK_LRF_OFF) {
        c->pending_request = request;
        c->cfg_status = VESK_LRF_CFG_NONE;
        c->state = VESK_LRF_WAKING;
        vesk_lrf_action_simple(out, VESK_LRF_ACT_POWER_ON, 0);
    } else if (c->state != VESK_LRF_IDLE) {
        lrf_ui_state(c, out, VESK_LRF_REASON_BUSY);
    } else if (c->cfg_status == VESK_LRF_CFG_DONE) {
        vesk_lrf_start_request(c, out, request);
    } else {
        c->pending_request = request;
        vesk_lrf_begin_config(c, out);
    }
}

static void lrf_accept(vesk_lrf_core *c, const vesk_lrf_event *ev, vesk_lrf_actions *out)
{
    const vesk_lrf_result *set = &c->last_set;
    if (c->last_set_valid && ev->accept_index < set->count && set->d[ev->accept_index].m == ev->accept_d.m &&
        set->d[ev->accept_index].dm == ev->accept_d.dm) {
        vesk_lrf_action_simple(out, VESK_LRF_ACT_BALLISTICS, vesk_lrf_dm(ev->accept_d));
        return;
    }
    lrf_ui_state(c, out, VESK_LRF_REASON_ACCEPT_REFUSED);
}

/* The events whose meaning depends on the state: power, configuration,
 * idle and stop timers, and the replies and timers of a measurement. */
static void lrf_by_state(vesk_lrf_core *c, const vesk_lrf_event *ev, vesk_lrf_actions *out)
{
    vesk_lrf_ev_kind k = ev->kind;
    switch (c->state) {
    case VESK_LRF_OFF:
        return;
    case VESK_LRF_WAKING:
        if (k == VESK_LRF_EV_POWER_READY) {
            vesk_lrf_begin_config(c, out);
        } else if (k == VESK_LRF_EV_POWER_FAILED) {
            c->pending_request = LRF_REQ_NONE;
            c->cfg_status = VESK_LRF_CFG_FAILED;
            c->state = VESK_LRF_OFF;
            lrf_op(out, 0);
            lrf_set(out, 0);
            lrf_ui_state(c, out, VESK_LRF_REASON_FAILED);
            lrf_ui_settings(c, out);
        }
        return;
    case VESK_LRF_CONFIG:
        if (k == VESK_LRF_EV_FRAME || k == VESK_LRF_EV_TIMER_OP) lrf_config_step(c, ev, out);
        return;
    case VESK_LRF_IDLE:
        if (k == VESK_LRF_EV_TIMER_IDLE) {
            c->state = VESK_LRF_OFF;
            vesk_lrf_action_simple(out, VESK_LRF_ACT_POWER_OFF, 0);
            lrf_ui_state(c, out, VESK_LRF_REASON_CHANGE);
        }
        return;
    case VESK_LRF_STOPPING:
        if (k == VESK_LRF_EV_FRAME && ev->frame.cmd == VESK_LRF_CMD_STOP) {
            c->state = VESK_LRF_IDLE;
            lrf_ui_state(c, out, VESK_LRF_REASON_CHANGE);
            vesk_lrf_enter_idle(c, out);
        } else if (k == VESK_LRF_EV_TIMER_OP) {
            /* The module never confirmed: start again from cold. */
            if (c->pending_settings_valid) {
                c->settings = c->pending_settings;
                c->pending_settings_valid = 0;
            }
            c->state = VESK_LRF_OFF;
            c->cfg_status = VESK_LRF_CFG_NONE;
            c->eff_min_m = 0xFFFF;
            c->eff_max_m = 0xFFFF;
            lrf_set(out, 0);
            vesk_lrf_action_simple(out, VESK_LRF_ACT_POWER_OFF, 0);
            lrf_ui_state(c, out, VESK_LRF_REASON_CHANGE);
        }
        return;
    default:
        break;
    }
    if (!lrf_is_measuring(c->state)) return;
    if (k == VESK_LRF_EV_TIMER_OP) {
        if (c->state == VESK_LRF_SCAN) {
            vesk_lrf_result r = vesk_lrf_blank(c, VESK_LRF_ST_TIMEOUT, VESK_LRF_SESSION_SCAN);
            c->last_fail = VESK_LRF_ST_TIMEOUT;
            lrf_ui_result(out, &r);
            lrf_stop_scan(c, out);
        } else {
            uint8_t status = c->state == VESK_LRF_MEDIAN ? VESK_LRF_ST_MEDIAN_FAIL : VESK_LRF_ST_TIMEOUT;
            vesk_lrf_finish_single(c, out, status, 0, 0);
            vesk_lrf_enter_idle(c, out);
        }
    } else if (k == VESK_LRF_EV_TIMER_SET) {
        if (c->state == VESK_LRF_MULTI && c->set_open) {
            vesk_lrf_close_set(c, out, 0);
            vesk_lrf_enter_idle(c, out);
        } else if (c->state == VESK_LRF_SCAN && c->set_open) {
            vesk_lrf_close_set(c, out, VESK_LRF_SESSION_SCAN);
        } else if (c->state == VESK_LRF_MEDIAN && c->median_gap) {
            c->median_gap = 0;
            lrf_send(out, VESK_LRF_CMD_SINGLE, NULL, 0);
            lrf_op(out, LRF_T_SINGLE);
        }
    } else if (k == VESK_LRF_EV_FRAME) {
        lrf_measure_frame(c, ev, out);
    }
}

size_t vesk_lrf_core_step(vesk_lrf_core *core, const vesk_lrf_event *ev, vesk_lrf_actions *out)
{
    out->count = 0;
    switch (ev->kind) {
    case VESK_LRF_EV_REQ_SETTINGS_QUERY:
        lrf_ui_settings(core, out);
        break;
    case VESK_LRF_EV_REQ_ACCEPT:
        lrf_accept(core, ev, out);
        break;
    case VESK_LRF_EV_REQ_SETTINGS:
        lrf_settings(core, ev, out);
        break;
    case VESK_LRF_EV_REQ_STOP_ACCEPT:
    case VESK_LRF_EV_REQ_STOP_CANCEL:
        lrf_stop(core, ev, out);
        break;
    case VESK_LRF_EV_REQ_SINGLE:
    case VESK_LRF_EV_REQ_SCAN:
        lrf_request(core, ev, out);
        break;
    case VESK_LRF_EV_FRAME:
        if (ev->frame.cmd == VESK_LRF_CMD_ANOMALY && core->state != VESK_LRF_OFF && core->state != VESK_LRF_STOPPING) {
            lrf_anomaly(core, &ev->frame, out);
            break;
        }
        lrf_by_state(core, ev, out);
        break;
    default:
        lrf_by_state(core, ev, out);
        break;
    }
    return out->count;
}
