#include "notifier.h"

#include <stdio.h>

#include "vesk_msg.h"

/* The one object each link peer may send, passed to its module on the app bus. */
static void forward_object(event_handle *app_bus, const void *evdata, int size, uint8_t object)
{
    const uint8_t *frame = (const uint8_t *)evdata;
    if (size < 0 || Protocol_parse(frame, size) != 0) return;
    if (frame[VESK_FRAME_OFF_OBJ] != object) return;
    event_broadcast_send(app_bus, object, frame, size, 100);
}

void notifier_http(event_handle *handle, void *cb_data, int evtype, const void *evdata, int size)
{
    (void)handle;
    if (evtype < 0 || !(evtype & MAIN_NOTIFIER_HTTP)) return;
    printf("notifier_http!\n");
    forward_object((event_handle *)cb_data, evdata, size, SUB_NOTIFIER_HTTP);
}

void notifier_ble(event_handle *handle, void *cb_data, int evtype, const void *evdata, int size)
{
    (void)handle;
    if (evtype < 0 || !(evtype & MAIN_NOTIFIER_BLE)) return;
    printf("notifier_ble!\n");
    forward_object((event_handle *)cb_data, evdata, size, SUB_NOTIFIER_BLUETOOTH);
}

static const struct {
    event_cb_t cb;
    const char *failure;
} routers[] = {
    {notifier_ui, "notifier_ui faild"},
    {notifier_app, "notifier_app faild"},
    {notifier_http, "notifier_http faild"},
    {notifier_ble, "notifier_ble faild"},
};

int notifier_register(event_handle *main_bus, event_handle *app_bus)
{
    if (main_bus == NULL || app_bus == NULL) return -1;
    for (const auto &r : routers) {
        if (event_receive_register(main_bus, r.cb, app_bus) != 0) {
            printf("%s\n", r.failure);
            return -1;
        }
    }
    return 0;
}

void notifier_unregister(event_handle *main_bus)
{
    for (const auto &r : routers) event_receive_unregister(main_bus, r.cb);
}

int notifier_init(event_handle **main_bus, event_handle **app_bus)
{
    if (event_create(main_bus, NOTIFIER_BUS_DEPTH, NULL) != 0 || event_create(app_bus, NOTIFIER_BUS_DEPTH, NULL) != 0) {
        printf("event create faild\n");
        return -1;
    }
    if (notifier_register(*main_bus, *app_bus) != 0) {
        printf("******notifier_init failed******\n");
        return -1;
    }
    return 0;
}
