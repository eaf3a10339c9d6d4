// The routers between the two event buses and the queues: reports of the
// hardware threads become frames for the GUI, frames from the GUI, the
// media process, the phone and the BLE service become commands.
#pragma once

#include <stdint.h>

#include "boardcast.h"
#include "vesk_frame.h"
#include "vesk_msg.h" /* the main bus event types */

#define NOTIFIER_BUS_DEPTH 30

/* Creates the main and the app bus (depth 30) and registers the routers. */
int notifier_init(event_handle **main_bus, event_handle **app_bus);
/* Registers the router callbacks on the main bus, the app bus as their data. */
int notifier_register(event_handle *main_bus, event_handle *app_bus);
/* Removes the router callbacks before the main bus is destroyed. */
void notifier_unregister(event_handle *main_bus);

/* The routers (main-bus callbacks). */
void notifier_ui(event_handle *handle, void *cb_data, int evtype, const void *evdata, int size);
void notifier_app(event_handle *handle, void *cb_data, int evtype, const void *evdata, int size);
void notifier_http(event_handle *handle, void *cb_data, int evtype, const void *evdata, int size);
void notifier_ble(event_handle *handle, void *cb_data, int evtype, const void *evdata, int size);

/* Keys that no key module reports (a remote or on-screen key): none exists
 * on this scope, so the handler takes the event and sends nothing. */
void virtualKeyHandlerToUi(const uint8_t *ev, int size);
/* Passes a frame to the media process as it came (1 sent, -1 not). */
int msg_axisHandler(const uint8_t *frame, int size);

/* Payload bytes 6..9 of the last ballistic and reticle-offset command, read
 * as a float (router thread only). */
extern _union_float_data ballistics_data;
extern _union_float_data reticle_data;

/* Keys as the key module reports them (event: 7, key, press flag, double). */
typedef enum {
    UI_KEY_MIDDLE = 1,
    UI_KEY_UP = 2,
    UI_KEY_DOWN = 3,
    UI_KEY_LEFT = 4,
    UI_KEY_RIGHT = 5,
    UI_KEY_FUNC = 6,
    UI_KEY_LASER = 7,
    UI_KEY_POWER = 8,
    UI_COMB_LEFT_RIGHT = 9,
    UI_COMB_LEFT_DOWN = 10,
    UI_COMB_UP_MIDDLE_DOWN = 11,
} UI_KEY;

/* Key codes as the GUI receives them (frame byte 6 of a key frame). */
typedef enum {
    KEY_UP_SHORT_PRESS = 0,
    KEY_UP_LONG_PRESS = 1,
    KEY_UP_LONG_PRESS_RELEASE = 2,
    KEY_DOWN_SHORT_PRESS = 3,
    KEY_DOWN_LONG_PRESS = 4,
    KEY_DOWN_LONG_PRESS_RELEASE = 5,
    KEY_POWER_SHORT_PRESS = 6,
    KEY_POWER_LONG_PRESS = 7,
    KEY_POWER_LONG_PRESS_RELEASE = 8,
    KEY_FUNC_SHORT_PRESS = 12,
    KEY_FUNC_LONG_PRESS = 13,
    KEY_FUNC_LONG_PRESS_RELEASE = 14,
    KEY_LASER_SHORT_PRESS = 15,
    KEY_LASER_LONG_PRESS = 16,
    KEY_LASER_LONG_PRESS_RELEASE = 17,
    COMB_LEFT_DOWN_SHORT_PRESS = 18,
    KEY_POWER_CLICK_DOUBLE = 19,
    COMB_LEFT_RIGHT_SHORT_PRESS = 20,
    COMB_UP_MIDDLE_DOWN_SHORT_PRESS = 21,
    KEY_LEFT_SHORT_PRESS = 23,
    KEY_LEFT_LONG_PRESS = 24,
    KEY_LEFT_LONG_PRESS_RELEASE = 25,
    KEY_RIGHT_SHORT_PRESS = 32,
    KEY_RIGHT_LONG_PRESS = 33,
    KEY_RIGHT_LONG_PRESS_RELEASE = 34,
    KEY_MIDDLE_SHORT_PRESS = 35,
    KEY_MIDDLE_LONG_PRESS = 36,
    KEY_MIDDLE_LONG_PRESS_RELEASE = 37,
    KEY_EVENT_UNKNOWN = 255, /* a double press of any key but power */
} KEY_EVENT;

typedef struct {
    uint8_t key_code; /* UI_KEY */
    uint8_t key_short_press;
    uint8_t key_long_press;
    uint8_t key_long_press_release;
} key_table;

#define KEYTABLE_ROWS 11
extern const key_table keytable[KEYTABLE_ROWS];
