// sightd: the device service. Brings the services up in a fixed order,
// idles until the lifecycle coordinator sets the quit flag, then stops
// everything in a fixed order. Signals only ask the coordinator to stop.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include "notifier.h"
#include "version.h"
#include "vesk_lifecycle.h"
#include "vesk_log.h"
#include "vesk_msg.h"
#include "vesk_signal.h"

static event_handle *main_bus;
static event_handle *app_bus;

static void start_modules(void)
{
    (void)notifier_init(&main_bus, &app_bus);
    if (Qel_MsgEvent_Init(main_bus) != 0)
        fputs("main: Qel_MsgEvent_Init failed, GUI/HTTP/BLE commands will not be received\n", stderr);
}

static void stop_modules(void)
{
    Qel_MsgEvent_Deinit();
    notifier_unregister(main_bus);
    event_destroy(&main_bus);
    event_destroy(&app_bus);
}

int main(int argc, char **argv)
{
    if (vesk_log_start(VESK_LOG_APP, NULL) != 0) {
        fputs("main: vesk_log_start failed\n", stderr);
        return 1;
    }
    version_info_init(argc, argv);
    signal_init();

    if (vesk_lifecycle_start() != 0) {
        fputs("main: vesk_lifecycle_start failed\n", stderr);
        return 1;
    }
    start_modules();

    while (is_signal_exit() != 1) sleep(1);

    stop_modules();
    vesk_lifecycle_stop();
    vesk_log_stop();
    return 0;
}
