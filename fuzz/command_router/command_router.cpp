// The command router: any bytes as a frame from the GUI or the media
// process, on a running settings store, so that the setters, the profile
// edits and the forwarding all run.
#include "fuzz_support.h"
#include "iniparser_handler.h"
#include "notifier.h"
#include "persist_fixture.h"
#include "qel_dev_status.h"
#include "vesk_msg.h"
#include "vesk_msgq.h"
#include "vesk_persist.h"

static event_handle *g_app_bus;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    (void)argc;
    (void)argv;
    fuzz_sandbox();
    fuzz_quiet_stdout();
    fuzz_drain_queue(MSGQ_KEY_TO_PEERS);
    Qel_MsgEvent_Init(nullptr);
    static PersistDir dir;
    dir.create();
    static vesk_persist_paths paths = dir.paths();
    static vesk_persist_hooks hooks = {};
    static vesk_persist_profiles profiles;
    vesk_ini_register_persist();
    if (vesk_persist_start(&paths, &hooks, &qel_dev_status, &profiles) != 0) abort();
    qel_ballistics = profiles.vesk_ballistics;
    qel_ir_cursor = profiles.vesk_cursor;
    if (event_create(&g_app_bus, NOTIFIER_BUS_DEPTH, nullptr) != 0) abort();
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
