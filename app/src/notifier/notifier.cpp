#include "notifier.h"

#include <stdio.h>

int notifier_register(event_handle *main_bus, event_handle *app_bus)
{
    if (main_bus == NULL || app_bus == NULL) return -1;
    /* The report and command routers register here. */
    return 0;
}

void notifier_unregister(event_handle *main_bus)
{
    (void)main_bus;
}

int notifier_init(event_handle **main_bus, event_handle **app_bus)
{
    if (event_create(main_bus, NOTIFIER_BUS_DEPTH, NULL) != 0 ||
        event_create(app_bus, NOTIFIER_BUS_DEPTH, NULL) != 0) {
        printf("event create faild\n");
        return -1;
    }
    if (notifier_register(*main_bus, *app_bus) != 0) {
        printf("******notifier_init failed******\n");
        return -1;
    }
    return 0;
}
