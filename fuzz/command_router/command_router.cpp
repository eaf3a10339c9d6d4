// The command router: any bytes as a frame from the GUI or the media
// process, on a running settings store, so that the setters, the profile
// edits and the forwarding all run.
#include <stdlib.h>

#include "fuzz_sightd.h"
#include "fuzz_support.h"
#include "notifier.h"
#include "vesk_msg.h"

static event_handle *g_app_bus;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    (void)argc;
    (void)argv;
    fuzz_sightd_setup();
    Qel_MsgEvent_Init(nullptr);
    fuzz_settings_store_start();
    if (event_create(&g_app_bus, NOTIFIER_BUS_DEPTH, nullptr) != 0) abort();
    fuzz_app_bus_sink(g_app_bus);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_reader in(data, size);
    uint8_t frame[VESK_FRAME_MAX];
    const int n = (int)fuzz_frame(in, frame);
    notifier_app(nullptr, g_app_bus, MAIN_NOTIFIER_APP, frame, n);
    notifier_http(nullptr, g_app_bus, MAIN_NOTIFIER_HTTP, frame, n);
    notifier_ble(nullptr, g_app_bus, MAIN_NOTIFIER_BLE, frame, n);
    msg_axisHandler(frame, n);
    return 0;
}
