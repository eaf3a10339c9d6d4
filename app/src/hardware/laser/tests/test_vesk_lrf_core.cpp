// The transition table walked row by row from a copy written out by hand:
// each row puts the core in a state, steps one event and compares the new
// state and every action, byte for byte. The scenarios after it drive the
// machine through whole exchanges with a small module model.
#include "vesk_lrf_core.h"

#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lrf_test_hex.h"

namespace {

std::string describe(const vesk_lrf_actions &list)
{
    std::string s;
    for (size_t i = 0; i < list.count; i++) {
        const vesk_lrf_action &a = list.items[i];
        if (i) s += ", ";
        switch (a.kind) {
        case VESK_LRF_ACT_UART:
            s += "tx:" + hexs(a.bytes, a.len);
            break;
        case VESK_LRF_ACT_POWER_ON:
            s += "on";
            break;
        case VESK_LRF_ACT_POWER_OFF:
            s += "off";
            break;
        case VESK_LRF_ACT_TIMER_OP:
            s += "op=" + std::to_string(a.ms);
            break;
        case VESK_LRF_ACT_TIMER_SET:
            s += "set=" + std::to_string(a.ms);
            break;
        case VESK_LRF_ACT_TIMER_IDLE:
            s += "idle=" + std::to_string(a.ms);
            break;
        case VESK_LRF_ACT_UI:
            s += "ui:" + hexs(a.bytes, a.len);
            break;
        case VESK_LRF_ACT_BALLISTICS:
            s += "bal=" + std::to_string(a.dm);
            break;
        case VESK_LRF_ACT_LOG:
            s += std::string("log:") + a.log;
            break;
        }
    }
    return s;
}

vesk_lrf_event ev(vesk_lrf_ev_kind kind)
{
    vesk_lrf_event e;
    memset(&e, 0, sizeof e);
    e.kind = kind;
    return e;
}

vesk_lrf_event frame(uint8_t cmd, std::vector<uint8_t> params)
{
    vesk_lrf_event e = ev(VESK_LRF_EV_FRAME);
    e.frame.cmd = cmd;
    e.frame.nparams = (uint8_t)params.size();
    if (!params.empty()) memcpy(e.frame.params, params.data(), params.size());
    return e;
}

vesk_lrf_event settings_ev(uint8_t target, uint8_t processing, uint16_t min_m, uint16_t max_m)
{
    vesk_lrf_event e = ev(VESK_LRF_EV_REQ_SETTINGS);
    e.settings = {target, processing, min_m, max_m};
    return e;
}

vesk_lrf_event accept(uint8_t index, uint16_t m, uint8_t dm)
{
    vesk_lrf_event e = ev(VESK_LRF_EV_REQ_ACCEPT);
    e.accept_index = index;
    e.accept_d = {m, dm};
    return e;
}

/* A core in state with target/processing, configured unless told. */
vesk_lrf_core core_in(uint8_t state, uint8_t target = 1, uint8_t processing = 0)
{
    vesk_lrf_core c;
    vesk_lrf_settings s = {target, processing, 0, 0};
    vesk_lrf_core_init(&c, &s);
    c.state = state;
    if (state != VESK_LRF_OFF && state != VESK_LRF_WAKING) c.cfg_status = 0;
    return c;
}

#define TX_SINGLE "tx:EE1602030205"
#define TX_SCAN "tx:EE1602030407"
#define TX_STOP "tx:EE1602030508"
#define TX_SETUP "tx:EE160403A10300A7"
#define TX_GET_MIN "tx:EE160203A3A6"
#define TX_GET_MAX "tx:EE160203A5A8"
#define ENTER_IDLE "op=0, set=0, idle=60000"
#define STOP_SCAN TX_STOP ", op=500"
#define NO_DISTANCE "000000000000000000000000" /* count 0 and eleven zero bytes */

struct Row {
    const char *name;
    std::function<vesk_lrf_core()> setup;
    vesk_lrf_event event;
    uint8_t state_after;
    const char *actions;
    std::function<void(const vesk_lrf_core &)> check;
};

void none(const vesk_lrf_core &) {}

const std::vector<Row> &rows()
{
    static const std::vector<Row> table = {
        {"a settings query answers the settings, in any state", [] { return core_in(VESK_LRF_OFF); },
         ev(VESK_LRF_EV_REQ_SETTINGS_QUERY), VESK_LRF_OFF,
         "ui:0408FF0100"
         "00000000"
         "FFFFFFFF"
         "FF",
         none},
        {"accepting a distance of the stored set hands it to the solver",
         [] {
             vesk_lrf_core c = core_in(VESK_LRF_IDLE, 3);
             c.last_set_valid = 1;
             c.last_set.count = 2;
             c.last_set.d[0] = {100, 5};
             c.last_set.d[1] = {250, 3};
             return c;
         },
         accept(1, 250, 3), VESK_LRF_IDLE, "bal=2503", none},
        {"accepting a distance that differs from the stored one is refused",
         [] {
             vesk_lrf_core c = core_in(VESK_LRF_IDLE, 3);
             c.last_set_valid = 1;
             c.last_set.count = 2;
             c.last_set.d[1] = {250, 3};
             return c;
         },
         accept(1, 250, 4), VESK_LRF_IDLE, "ui:0400FF0009", none},
        {"accepting an index beyond the stored set is refused", [] { return core_in(VESK_LRF_IDLE, 3); },
         accept(0, 0, 0), VESK_LRF_IDLE, "ui:0400FF0009", none},
        {"an anomaly report of no echo alone is only logged", [] { return core_in(VESK_LRF_IDLE); },
         frame(0x06, {0xF7, 0, 0, 0}), VESK_LRF_IDLE, "log:anomaly 0x06: no echo only, all health bits ok; ignored",
         none},
        {"an anomaly report while scanning ends the scan with status 3", [] { return core_in(VESK_LRF_SCAN); },
         frame(0x06, {1, 2, 3, 4}), VESK_LRF_STOPPING,
         "ui:0402FF03010100"
         "00"
         "01020304"
         "00000000000000, " STOP_SCAN,
         [](const vesk_lrf_core &c) { EXPECT_EQ(c.last_fail, 3); }},
        {"a short anomaly report while configuring ends in idle",
         [] {
             vesk_lrf_core c = core_in(VESK_LRF_CONFIG);
             c.cfg_status = 0xFF;
             c.pending_request = 1;
             return c;
         },
         frame(0x06, {9, 9}), VESK_LRF_IDLE, "ui:0402FF03000100" NO_DISTANCE ", " ENTER_IDLE,
         [](const vesk_lrf_core &c) { EXPECT_EQ(c.pending_request, 0); }},
        {"invalid settings change nothing", [] { return core_in(VESK_LRF_IDLE); }, settings_ev(1, 0, 500, 100),
         VESK_LRF_IDLE, "", none},
        {"settings while off power the module", [] { return core_in(VESK_LRF_OFF); }, settings_ev(2, 1, 100, 500),
         VESK_LRF_WAKING, "on",
         [](const vesk_lrf_core &c) {
             EXPECT_EQ(c.settings.target, 2);
             EXPECT_EQ(c.settings.max_m, 500);
         }},
        {"settings while idle configure the module", [] { return core_in(VESK_LRF_IDLE); }, settings_ev(3, 1, 0, 0),
         VESK_LRF_CONFIG, "idle=0, " TX_SETUP ", op=300",
         [](const vesk_lrf_core &c) {
             EXPECT_EQ(c.settings.processing, 0) << "multi target forces normal processing";
             EXPECT_EQ(c.cfg_status, 0xFF);
             EXPECT_EQ(c.cfg_step, 2);
         }},
        {"settings while scanning are held and stop the scan", [] { return core_in(VESK_LRF_SCAN); },
         settings_ev(2, 0, 0, 0), VESK_LRF_STOPPING, STOP_SCAN,
         [](const vesk_lrf_core &c) {
             EXPECT_EQ(c.pending_settings_valid, 1);
             EXPECT_EQ(c.settings.target, 1);
         }},
        {"settings while measuring are held", [] { return core_in(VESK_LRF_SINGLE); }, settings_ev(2, 0, 0, 0),
         VESK_LRF_SINGLE, "", [](const vesk_lrf_core &c) { EXPECT_EQ(c.pending_settings.target, 2); }},
        {"a stop while off does nothing", [] { return core_in(VESK_LRF_OFF); }, ev(VESK_LRF_EV_REQ_STOP_CANCEL),
         VESK_LRF_OFF, "", none},
        {"a stop while stopping does nothing", [] { return core_in(VESK_LRF_STOPPING); },
         ev(VESK_LRF_EV_REQ_STOP_ACCEPT), VESK_LRF_STOPPING, "", none},
        {"a stop during a single measurement returns to idle", [] { return core_in(VESK_LRF_SINGLE); },
         ev(VESK_LRF_EV_REQ_STOP_ACCEPT), VESK_LRF_IDLE, "ui:0400FF0000, " ENTER_IDLE, none},
        {"a stop with accept hands the last scan reading to the solver",
         [] {
             vesk_lrf_core c = core_in(VESK_LRF_SCAN);
             c.scan_has_value = 1;
             c.scan_value_dm = 1234;
             return c;
         },
         ev(VESK_LRF_EV_REQ_STOP_ACCEPT), VESK_LRF_STOPPING, "bal=1234, " STOP_SCAN, none},
        {"a stop with accept hands the last scan median to the solver",
         [] {
             vesk_lrf_core c = core_in(VESK_LRF_SCAN, 2, 1);
             c.median_ready = 1;
             c.median_last_dm = 5678;
             c.scan_has_value = 1;
             c.scan_value_dm = 1;
             return c;
         },
         ev(VESK_LRF_EV_REQ_STOP_ACCEPT), VESK_LRF_STOPPING, "bal=5678, " STOP_SCAN, none},
        {"a stop with accept before a scan median reports status 5", [] { return core_in(VESK_LRF_SCAN, 1, 1); },
         ev(VESK_LRF_EV_REQ_STOP_ACCEPT), VESK_LRF_STOPPING, "ui:0400FF0205, " STOP_SCAN, none},
        {"a stop with accept after a failed reading reports that failure",
         [] {
             vesk_lrf_core c = core_in(VESK_LRF_SCAN);
             c.last_fail = 1;
             return c;
         },
         ev(VESK_LRF_EV_REQ_STOP_ACCEPT), VESK_LRF_STOPPING, "ui:0400FF0201, " STOP_SCAN, none},
        {"a stop with accept in a multi-target scan re-sends the stored set",
         [] {
             vesk_lrf_core c = core_in(VESK_LRF_SCAN, 3);
             c.last_set_valid = 1;
             c.last_set.session = 1;
             c.last_set.target = 3;
             c.last_set.count = 2;
             c.last_set.d[0] = {100, 5};
             c.last_set.d[1] = {200, 0};
             c.last_set.nib[0] = 2;
             return c;
         },
         ev(VESK_LRF_EV_REQ_STOP_ACCEPT), VESK_LRF_STOPPING,
         "ui:0402FF0081030002"
         "006405"
         "00C800"
         "000000"
         "02"
         "00, " STOP_SCAN,
         none},
        {"a stop with accept in a multi-target scan without a set reports status 5",
         [] { return core_in(VESK_LRF_SCAN, 3); }, ev(VESK_LRF_EV_REQ_STOP_ACCEPT), VESK_LRF_STOPPING,
         "ui:0400FF0205, " STOP_SCAN, none},
        {"a stop with cancel ends the scan", [] { return core_in(VESK_LRF_SCAN); }, ev(VESK_LRF_EV_REQ_STOP_CANCEL),
         VESK_LRF_STOPPING, STOP_SCAN, none},
        {"a single request while off powers the module and is kept", [] { return core_in(VESK_LRF_OFF); },
         ev(VESK_LRF_EV_REQ_SINGLE), VESK_LRF_WAKING, "on",
         [](const vesk_lrf_core &c) { EXPECT_EQ(c.pending_request, 1); }},
        {"a scan request while off powers the module and is kept", [] { return core_in(VESK_LRF_OFF); },
         ev(VESK_LRF_EV_REQ_SCAN), VESK_LRF_WAKING, "on",
         [](const vesk_lrf_core &c) { EXPECT_EQ(c.pending_request, 2); }},
        {"a request while configuring is answered busy", [] { return core_in(VESK_LRF_CONFIG); },
         ev(VESK_LRF_EV_REQ_SCAN), VESK_LRF_CONFIG, "ui:0400FF0107", none},
        {"a request while scanning is answered busy", [] { return core_in(VESK_LRF_SCAN); }, ev(VESK_LRF_EV_REQ_SINGLE),
         VESK_LRF_SCAN, "ui:0400FF0207", none},
        {"a single request while idle measures once", [] { return core_in(VESK_LRF_IDLE); }, ev(VESK_LRF_EV_REQ_SINGLE),
         VESK_LRF_SINGLE, "idle=0, " TX_SINGLE ", op=1000", none},
        {"a single request with median processing measures three times", [] { return core_in(VESK_LRF_IDLE, 2, 1); },
         ev(VESK_LRF_EV_REQ_SINGLE), VESK_LRF_MEDIAN, "idle=0, " TX_SINGLE ", op=1000", none},
        {"a single request with multi target takes up to three targets", [] { return core_in(VESK_LRF_IDLE, 3); },
         ev(VESK_LRF_EV_REQ_SINGLE), VESK_LRF_MULTI, "idle=0, " TX_SINGLE ", op=1000", none},
        {"a scan request while idle starts scanning", [] { return core_in(VESK_LRF_IDLE); }, ev(VESK_LRF_EV_REQ_SCAN),
         VESK_LRF_SCAN, "idle=0, " TX_SCAN ", op=1500, ui:0400FF0200", none},
        {"a request while unconfigured configures first",
         [] {
             vesk_lrf_core c = core_in(VESK_LRF_IDLE);
             c.cfg_status = 8;
             return c;
         },
         ev(VESK_LRF_EV_REQ_SINGLE), VESK_LRF_CONFIG, "idle=0, " TX_SETUP ", op=300",
         [](const vesk_lrf_core &c) { EXPECT_EQ(c.pending_request, 1); }},
        {"a timer while off does nothing", [] { return core_in(VESK_LRF_OFF); }, ev(VESK_LRF_EV_TIMER_OP), VESK_LRF_OFF,
         "", none},
        {"the module powered starts the configuration", [] { return core_in(VESK_LRF_WAKING); },
         ev(VESK_LRF_EV_POWER_READY), VESK_LRF_CONFIG, "idle=0, " TX_SETUP ", op=300", none},
        {"the module powered reads the gates back first in diagnostic mode",
         [] {
             vesk_lrf_core c = core_in(VESK_LRF_WAKING);
             c.vesk_preconfig_readback = 1;
             return c;
         },
         ev(VESK_LRF_EV_POWER_READY), VESK_LRF_CONFIG, "idle=0, " TX_GET_MIN ", op=300",
         [](const vesk_lrf_core &c) { EXPECT_EQ(c.cfg_step, 0); }},
        {"a failed power-on reports the failure and the settings",
         [] {
             vesk_lrf_core c = core_in(VESK_LRF_WAKING);
             c.pending_request = 1;
             return c;
         },
         ev(VESK_LRF_EV_POWER_FAILED), VESK_LRF_OFF,
         "op=0, set=0, ui:0400FF0308, ui:0408FF0100"
         "00000000"
         "FFFFFFFF"
         "08",
         [](const vesk_lrf_core &c) { EXPECT_EQ(c.pending_request, 0); }},
        {"a frame while waking does nothing", [] { return core_in(VESK_LRF_WAKING); }, frame(0x02, {0, 0, 1, 0}),
         VESK_LRF_WAKING, "", none},
        {"a configuration reply sends the next step",
         [] {
             vesk_lrf_core c = core_in(VESK_LRF_CONFIG);
             c.cfg_step = 2;
             return c;
         },
         frame(0xA1, {0x03, 0x00}), VESK_LRF_CONFIG, "tx:EE160303030107, op=300", none},
        {"a minute idle powers the module off", [] { return core_in(VESK_LRF_IDLE); }, ev(VESK_LRF_EV_TIMER_IDLE),
         VESK_LRF_OFF, "off, ui:0400FF0300", none},
        {"a stray timer while idle does nothing", [] { return core_in(VESK_LRF_IDLE); }, ev(VESK_LRF_EV_TIMER_OP),
         VESK_LRF_IDLE, "", none},
        {"a confirmed stop returns to idle", [] { return core_in(VESK_LRF_STOPPING); }, frame(0x05, {}), VESK_LRF_IDLE,
         "ui:0400FF0000, " ENTER_IDLE, none},
        {"an unconfirmed stop powers off and takes the held settings",
         [] {
             vesk_lrf_core c = core_in(VESK_LRF_STOPPING);
             c.pending_settings = {2, 0, 50, 0};
             c.pending_settings_valid = 1;
             c.eff_min_m = 10;
             return c;
         },
         ev(VESK_LRF_EV_TIMER_OP), VESK_LRF_OFF, "set=0, off, ui:0400FF0300",
         [](const vesk_lrf_core &c) {
             EXPECT_EQ(c.settings.target, 2);
             EXPECT_EQ(c.settings.min_m, 50);
             EXPECT_EQ(c.cfg_status, 0xFF);
             EXPECT_EQ(c.eff_min_m, 0xFFFF);
         }},
        {"a set timer while stopping does nothing", [] { return core_in(VESK_LRF_STOPPING); },
         ev(VESK_LRF_EV_TIMER_SET), VESK_LRF_STOPPING, "", none},
        {"a scan without reply reports a time-out and stops", [] { return core_in(VESK_LRF_SCAN); },
         ev(VESK_LRF_EV_TIMER_OP), VESK_LRF_STOPPING, "ui:0402FF04010100" NO_DISTANCE ", " STOP_SCAN, none},
        {"the pause after a multi-target shot closes its set",
         [] {
             vesk_lrf_core c = core_in(VESK_LRF_MULTI, 3);
             c.set_open = 1;
             c.set_last_index = 0;
             c.open_set.target = 3;
             c.open_set.count = 1;
             c.open_set.d[0] = {50, 0};
             c.open_set.nib[0] = 2;
             return c;
         },
         ev(VESK_LRF_EV_TIMER_SET), VESK_LRF_IDLE,
         "ui:0402FF0000030001"
         "003200"
         "000000000000"
         "0200, set=0, " ENTER_IDLE,
         [](const vesk_lrf_core &c) { EXPECT_EQ(c.last_set_valid, 1); }},
        {"the pause after a multi-target scan shot closes its set and scanning goes on",
         [] {
             vesk_lrf_core c = core_in(VESK_LRF_SCAN, 3);
             c.set_open = 1;
             c.open_set.target = 3;
             return c;
         },
         ev(VESK_LRF_EV_TIMER_SET), VESK_LRF_SCAN,
         "ui:0402FF0201030000"
         "000000000000000000"
         "0000, set=0",
         none},
        {"the pause between median readings measures again",
         [] {
             vesk_lrf_core c = core_in(VESK_LRF_MEDIAN, 1, 1);
             c.median_gap = 1;
             return c;
         },
         ev(VESK_LRF_EV_TIMER_SET), VESK_LRF_MEDIAN, TX_SINGLE ", op=1000",
         [](const vesk_lrf_core &c) { EXPECT_EQ(c.median_gap, 0); }},
        {"a single measurement without reply reports a time-out", [] { return core_in(VESK_LRF_SINGLE, 2); },
         ev(VESK_LRF_EV_TIMER_OP), VESK_LRF_IDLE, "ui:0402FF04000200" NO_DISTANCE ", " ENTER_IDLE, none},
        {"a multi-target measurement without reply reports a time-out", [] { return core_in(VESK_LRF_MULTI, 3); },
         ev(VESK_LRF_EV_TIMER_OP), VESK_LRF_IDLE, "ui:0402FF04000300" NO_DISTANCE ", " ENTER_IDLE, none},
        {"a median measurement without reply reports a median failure", [] { return core_in(VESK_LRF_MEDIAN, 1, 1); },
         ev(VESK_LRF_EV_TIMER_OP), VESK_LRF_IDLE, "ui:0402FF05000101" NO_DISTANCE ", " ENTER_IDLE, none},
        {"a reply to another command while measuring is ignored", [] { return core_in(VESK_LRF_SINGLE); },
         frame(0x04, {0, 0, 1, 0}), VESK_LRF_SINGLE, "", none},
        {"a reply in the pause between median readings is ignored",
         [] {
             vesk_lrf_core c = core_in(VESK_LRF_MEDIAN, 1, 1);
             c.median_gap = 1;
             return c;
         },
         frame(0x02, {0, 0, 100, 0}), VESK_LRF_MEDIAN, "", none},
        {"the first of several targets waits for the rest", [] { return core_in(VESK_LRF_MULTI, 3); },
         frame(0x02, {0x02, 0x00, 0x64, 0x05}), VESK_LRF_MULTI, "set=150, op=0",
         [](const vesk_lrf_core &c) { EXPECT_EQ(c.open_set.count, 1); }},
        {"a multi-target reply with a bad index is malformed", [] { return core_in(VESK_LRF_MULTI, 3); },
         frame(0x02, {0x30, 0x00, 0x64, 0x05}), VESK_LRF_IDLE, "ui:0402FF06000300" NO_DISTANCE ", " ENTER_IDLE, none},
        {"a measurement reply without four values is malformed", [] { return core_in(VESK_LRF_SINGLE); },
         frame(0x02, {1, 2}), VESK_LRF_IDLE, "ui:0402FF06000100" NO_DISTANCE ", " ENTER_IDLE, none},
        {"a short reply in a median scan is a median failure and scanning goes on",
         [] { return core_in(VESK_LRF_SCAN, 1, 1); }, frame(0x04, {}), VESK_LRF_SCAN, "ui:0402FF05010101" NO_DISTANCE,
         none},
        {"a single reading inside the gates is the result", [] { return core_in(VESK_LRF_SINGLE); },
         frame(0x02, {0x00, 0x00, 0x7B, 0x04}), VESK_LRF_IDLE,
         "ui:0402FF0000010001"
         "007B04"
         "0000000000000000, bal=1234, " ENTER_IDLE,
         none},
        {"a single reading without target reports no target", [] { return core_in(VESK_LRF_SINGLE); },
         frame(0x02, {0x04, 0, 0, 0}), VESK_LRF_IDLE, "ui:0402FF01000100" NO_DISTANCE ", " ENTER_IDLE, none},
        {"a single reading outside the gates reports out of gate", [] { return core_in(VESK_LRF_SINGLE); },
         frame(0x02, {0x00, 0x00, 0x09, 0x09}), VESK_LRF_IDLE, "ui:0402FF02000100" NO_DISTANCE ", " ENTER_IDLE, none},
        {"the first median reading waits for the next", [] { return core_in(VESK_LRF_MEDIAN, 1, 1); },
         frame(0x02, {0, 0, 100, 0}), VESK_LRF_MEDIAN, "op=0, set=400",
         [](const vesk_lrf_core &c) { EXPECT_EQ(c.median_gap, 1); }},
        {"the third median reading gives the median",
         [] {
             vesk_lrf_core c = core_in(VESK_LRF_MEDIAN, 1, 1);
             c.median_n = 2;
             c.median_dm[0] = 1300;
             c.median_dm[1] = 1000;
             return c;
         },
         frame(0x02, {0x00, 0x00, 0x7B, 0x04}), VESK_LRF_IDLE,
         "ui:0402FF0000010101"
         "007B04"
         "0000000000000000, bal=1234, " ENTER_IDLE,
         none},
        {"a median reading without target is a median failure", [] { return core_in(VESK_LRF_MEDIAN, 1, 1); },
         frame(0x02, {0x04, 0, 0, 0}), VESK_LRF_IDLE, "ui:0402FF05000101" NO_DISTANCE ", " ENTER_IDLE, none},
        {"a scan reading is reported and kept for accept", [] { return core_in(VESK_LRF_SCAN); },
         frame(0x04, {0x00, 0x00, 0x7B, 0x04}), VESK_LRF_SCAN,
         "op=1500, ui:0402FF0001010001"
         "007B04"
         "0000000000000000",
         [](const vesk_lrf_core &c) {
             EXPECT_EQ(c.scan_has_value, 1);
             EXPECT_EQ(c.scan_value_dm, 1234u);
         }},
        {"a median scan reading outside the gates is a median failure", [] { return core_in(VESK_LRF_SCAN, 1, 1); },
         frame(0x04, {0x04, 0, 0, 0}), VESK_LRF_SCAN, "op=1500, ui:0402FF05010101" NO_DISTANCE, none},
        {"the third median scan reading gives the median",
         [] {
             vesk_lrf_core c = core_in(VESK_LRF_SCAN, 1, 1);
             c.median_n = 2;
             c.median_dm[0] = 1000;
             c.median_dm[1] = 1300;
             return c;
         },
         frame(0x04, {0x00, 0x00, 0x7B, 0x04}), VESK_LRF_SCAN,
         "op=1500, ui:0402FF0001010101"
         "007B04"
         "0000000000000000",
         [](const vesk_lrf_core &c) {
             EXPECT_EQ(c.median_ready, 1);
             EXPECT_EQ(c.median_last_dm, 1234u);
             EXPECT_EQ(c.median_n, 0);
         }},
        {"a power event while measuring does nothing", [] { return core_in(VESK_LRF_SINGLE); },
         ev(VESK_LRF_EV_POWER_READY), VESK_LRF_SINGLE, "", none},
    };
    return table;
}

TEST(LrfCoreTable, EveryTransition)
{
    for (const Row &r : rows()) {
        vesk_lrf_core c = r.setup();
        vesk_lrf_actions out;
        vesk_lrf_core_step(&c, &r.event, &out);
        EXPECT_EQ(describe(out), r.actions) << r.name;
        EXPECT_STREQ(vesk_lrf_core_state_name(c.state), vesk_lrf_core_state_name(r.state_after)) << r.name;
        r.check(c);
    }
}

TEST(LrfCore, NamesSettingsAndMedian)
{
    EXPECT_STREQ(vesk_lrf_core_state_name(8), "STOPPING");
    EXPECT_STREQ(vesk_lrf_core_state_name(9), "UNKNOWN");
    const struct {
        vesk_lrf_settings s;
        int valid;
    } rows[] = {
        {{1, 0, 0, 0}, 1}, {{3, 1, 10, 20000}, 1}, {{0, 0, 0, 0}, 0},     {{4, 0, 0, 0}, 0},   {{1, 2, 0, 0}, 0},
        {{1, 0, 9, 0}, 0}, {{1, 0, 0, 20001}, 0},  {{1, 0, 300, 200}, 0}, {{1, 0, 300, 0}, 1}, {{1, 0, 300, 300}, 1},
    };
    for (const auto &r : rows) EXPECT_EQ(vesk_lrf_settings_valid(&r.s), r.valid) << r.s.min_m << " " << r.s.max_m;
    EXPECT_EQ(vesk_lrf_median3_dm(3, 1, 2), 2u);
    EXPECT_EQ(vesk_lrf_median3_dm(1, 2, 3), 2u);
    EXPECT_EQ(vesk_lrf_median3_dm(2, 3, 1), 2u);
    EXPECT_EQ(vesk_lrf_median3_dm(5, 5, 1), 5u);

    vesk_lrf_core c;
    vesk_lrf_settings bad = {7, 0, 0, 0};
    vesk_lrf_core_init(&c, &bad);
    EXPECT_EQ(c.settings.target, 1);
    EXPECT_EQ(c.cfg_status, 0xFF);
    EXPECT_EQ(c.set_last_index, -1);
    vesk_lrf_settings multi = {3, 1, 20, 30};
    vesk_lrf_core_init(&c, &multi);
    EXPECT_EQ(c.settings.processing, 0);
    EXPECT_EQ(c.settings.max_m, 30);
}

TEST(LrfCore, PushDropsPastCapacity)
{
    vesk_lrf_actions list;
    list.count = 0;
    for (uint32_t i = 0; i < 20; i++) vesk_lrf_action_simple(&list, VESK_LRF_ACT_TIMER_OP, i);
    EXPECT_EQ(list.count, 16u);
    EXPECT_EQ(list.items[15].ms, 15u);
    vesk_lrf_action_simple(&list, VESK_LRF_ACT_BALLISTICS, 7);
    EXPECT_EQ(list.count, 16u);
}

/* A module model written from the protocol: it answers every command the
 * machine sends, as the rangefinder does, so that whole exchanges run. */
class LrfScenario : public ::testing::Test {
protected:
    vesk_lrf_core core;
    std::vector<std::string> ui;
    std::vector<uint32_t> ballistics;
    std::vector<vesk_lrf_event> replies;
    uint16_t gate_min = 0, gate_max = 0;
    int readback_override = -1;                     /* replaces the maximum read back */
    std::vector<std::vector<uint8_t>> measurements; /* 4-byte replies to 0x02, in order */

    void SetUp() override
    {
        vesk_lrf_settings s = {1, 0, 0, 0};
        vesk_lrf_core_init(&core, &s);
    }
    void start(const vesk_lrf_settings &s) { vesk_lrf_core_init(&core, &s); }

    void answer(const uint8_t *tx)
    {
        uint8_t cmd = tx[4];
        switch (cmd) {
        case 0xA1:
            replies.push_back(frame(0xA1, {tx[5], tx[6]}));
            break;
        case 0x03:
            replies.push_back(frame(0x03, {tx[5]}));
            break;
        case 0xA2:
            gate_min = (uint16_t)(tx[5] << 8 | tx[6]);
            replies.push_back(frame(0xA2, {tx[5], tx[6]}));
            break;
        case 0xA4:
            gate_max = (uint16_t)(tx[5] << 8 | tx[6]);
            replies.push_back(frame(0xA4, {tx[5], tx[6]}));
            break;
        case 0xA3:
            replies.push_back(frame(0xA3, {(uint8_t)(gate_min >> 8), (uint8_t)gate_min}));
            break;
        case 0xA5: {
            uint16_t v = readback_override >= 0 ? (uint16_t)readback_override : gate_max;
            replies.push_back(frame(0xA5, {(uint8_t)(v >> 8), (uint8_t)v}));
            break;
        }
        case 0x02:
            if (!measurements.empty()) {
                replies.push_back(frame(0x02, measurements.front()));
                measurements.erase(measurements.begin());
            }
            break;
        case 0x05:
            replies.push_back(frame(0x05, {}));
            break;
        }
    }

    /* Steps one event, carries out its actions as the worker would, and
     * then every reply the module gave, until nothing is left. */
    void run(vesk_lrf_event first)
    {
        std::vector<vesk_lrf_event> todo = {first};
        while (!todo.empty()) {
            vesk_lrf_event e = todo.front();
            todo.erase(todo.begin());
            vesk_lrf_actions out;
            vesk_lrf_core_step(&core, &e, &out);
            for (size_t i = 0; i < out.count; i++) {
                const vesk_lrf_action &a = out.items[i];
                if (a.kind == VESK_LRF_ACT_UART) answer(a.bytes);
                if (a.kind == VESK_LRF_ACT_POWER_ON) todo.push_back(ev(VESK_LRF_EV_POWER_READY));
                if (a.kind == VESK_LRF_ACT_UI) ui.push_back(hexs(a.bytes, a.len));
                if (a.kind == VESK_LRF_ACT_BALLISTICS) ballistics.push_back(a.dm);
            }
            todo.insert(todo.end(), replies.begin(), replies.end());
            replies.clear();
        }
    }
};

TEST_F(LrfScenario, SingleFromOffConfiguresDefaultGatesThenMeasures)
{
    measurements = {{0x00, 0x00, 0x7B, 0x04}};
    run(ev(VESK_LRF_EV_REQ_SINGLE));
    EXPECT_EQ(gate_min, 10);
    EXPECT_EQ(gate_max, 20000);
    ASSERT_EQ(ui.size(), 2u);
    EXPECT_EQ(ui[0], "0408FF0100"
                     "00000000"
                     "000A4E20"
                     "00");
    EXPECT_EQ(ui[1], "0402FF0000010001007B040000000000000000");
    EXPECT_EQ(ballistics, std::vector<uint32_t>{1234});
    EXPECT_EQ(core.state, VESK_LRF_IDLE);
}

TEST_F(LrfScenario, ReadBackOf9999FailsTheConfiguration)
{
    start({1, 0, 0, 10000});
    readback_override = 9999;
    run(ev(VESK_LRF_EV_REQ_SINGLE));
    ASSERT_EQ(ui.size(), 2u);
    EXPECT_EQ(ui[0], "0400FF0008");
    EXPECT_EQ(ui[1], "0408FF0100"
                     "00002710"
                     "000A270F"
                     "08");
    EXPECT_EQ(core.cfg_status, 8);
    EXPECT_EQ(core.pending_request, 0);
    EXPECT_EQ(core.state, VESK_LRF_IDLE);
    EXPECT_TRUE(ballistics.empty());
}

TEST_F(LrfScenario, MultiTargetShotThenALateReplyIsNotPartOfIt)
{
    start({3, 0, 0, 0});
    core.state = VESK_LRF_IDLE;
    core.cfg_status = 0;
    run(ev(VESK_LRF_EV_REQ_SINGLE));
    run(frame(0x02, {0x02, 0x00, 0x64, 0x00}));
    run(frame(0x02, {0x12, 0x00, 0xC8, 0x01}));
    run(frame(0x02, {0x20, 0x01, 0x2C, 0x02}));
    ASSERT_EQ(ui.size(), 1u);
    EXPECT_EQ(ui[0], "0402FF0000030003"
                     "006400"
                     "00C801"
                     "012C02"
                     "2200");
    EXPECT_EQ(core.state, VESK_LRF_IDLE);
    run(frame(0x02, {0x00, 0x00, 0x10, 0x00}));
    EXPECT_EQ(ui.size(), 1u) << "a reply after the shot ended starts nothing";
    EXPECT_TRUE(ballistics.empty()) << "a multi-target distance reaches the solver only when accepted";
    run(accept(2, 300, 2));
    EXPECT_EQ(ballistics, std::vector<uint32_t>{3002});
}

TEST_F(LrfScenario, AnomalyDuringConfigurationLeavesNoRequestBehind)
{
    run(ev(VESK_LRF_EV_REQ_SINGLE) /* powers and starts configuring */);
    /* Rerun from the moment the module is powered, with an anomaly first. */
    vesk_lrf_core_init(&core, NULL);
    ui.clear();
    vesk_lrf_actions out;
    vesk_lrf_event single = ev(VESK_LRF_EV_REQ_SINGLE);
    vesk_lrf_core_step(&core, &single, &out);
    vesk_lrf_event ready = ev(VESK_LRF_EV_POWER_READY);
    vesk_lrf_core_step(&core, &ready, &out);
    ASSERT_EQ(core.state, VESK_LRF_CONFIG);
    run(frame(0x06, {0x01, 0x00, 0x00, 0x00}));
    EXPECT_EQ(core.state, VESK_LRF_IDLE);
    measurements = {{0x00, 0x00, 0x7B, 0x04}};
    run(settings_ev(2, 0, 0, 0));
    EXPECT_EQ(core.state, VESK_LRF_IDLE);
    EXPECT_EQ(core.cfg_status, 0);
    EXPECT_EQ(measurements.size(), 1u) << "no measurement was sent unasked";
    EXPECT_TRUE(ballistics.empty());
}

TEST_F(LrfScenario, MedianOfThreeReadings)
{
    start({1, 1, 0, 0});
    core.state = VESK_LRF_IDLE;
    core.cfg_status = 0;
    measurements = {{0, 0, 100, 0}, {0, 0, 102, 5}, {0, 0, 99, 9}};
    run(ev(VESK_LRF_EV_REQ_SINGLE));
    run(ev(VESK_LRF_EV_TIMER_SET));
    run(ev(VESK_LRF_EV_TIMER_SET));
    EXPECT_EQ(ballistics, std::vector<uint32_t>{1000});
    ASSERT_EQ(ui.size(), 1u);
    EXPECT_EQ(ui[0], "0402FF0000010101006400"
                     "0000000000000000");
}

} // namespace
