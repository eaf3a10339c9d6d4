// sightd's frame dispatch: a queue record as any peer could send it goes
// through the queue callback onto the main bus and into the routers, as
// in the running service (buses, router threads and settings store).
#include <stdlib.h>
#include <string.h>

#include "fuzz_sightd.h"
#include "fuzz_support.h"
#include "notifier.h"
#include "vesk_msg.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    (void)argc;
    (void)argv;
    fuzz_sightd_setup();
    fuzz_settings_store_start();
    static event_handle *main_bus, *app_bus;
    if (notifier_init(&main_bus, &app_bus) != 0) abort();
    fuzz_app_bus_sink(app_bus);
    if (Qel_MsgEvent_Init(main_bus) != 0) abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    /* The record as the queue delivers it: type, command, the length field
     * (as given, or the frame's own size) and the frame. */
    fuzz_reader in(data, size);
    Qel_MsgText text;
    memset(&text, 0, sizeof(text));
    text.type = in.byte();
    text.command = in.byte();
    const uint8_t length_mode = in.byte();
    uint32_t length = 0;
    for (int i = 0; i < 4; i++) length |= (uint32_t)in.byte() << (8 * i);
    text.length = (uint32_t)fuzz_frame(in, text.context);
    if (length_mode & 1) text.length = length;
    msgEventCallback(&text, nullptr);
    return 0;
}
