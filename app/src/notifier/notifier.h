// The routers between the two event buses and the queues: reports of the
// hardware threads become frames for the GUI, frames from the GUI, the
// media process, the phone and the BLE service become commands.
#pragma once

#include "boardcast.h"

/* Event types on the main bus: which router consumer an event is for. */
enum {
    MAIN_NOTIFIER_HARDWARE = 1, /* module reports, re-framed for the GUI */
    MAIN_NOTIFIER_APP = 4,      /* frames from the GUI and the media process */
    MAIN_NOTIFIER_HTTP = 8,     /* frames from the HTTP daemon */
    MAIN_NOTIFIER_BLE = 16,     /* frames from the BLE service */
};

#define NOTIFIER_BUS_DEPTH 30

/* Creates the main and the app bus (depth 30) and registers the routers. */
int notifier_init(event_handle **main_bus, event_handle **app_bus);
/* Registers the router callbacks on the main bus. */
int notifier_register(event_handle *main_bus, event_handle *app_bus);
/* Removes the router callbacks before the main bus is destroyed. */
void notifier_unregister(event_handle *main_bus);
