// The report router: module events of any shape and length (the bus hands
// over a copy of what a module posted) become frames for the GUI.
#include <string.h>

#include "fuzz_sightd.h"
#include "fuzz_support.h"
#include "notifier.h"
#include "qel_dev_status.h"
#include "vesk_msg.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    (void)argc;
    (void)argv;
    fuzz_sightd_setup();
    Qel_MsgEvent_Init(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    /* First byte: the switches the router reads (compass display, factory
     * mode); the rest is the event. */
    fuzz_reader in(data, size);
    const uint8_t flags = in.byte();
    qel_dev_status.s8CompassSwitch = (char)(flags & 1);
    qel_dev_status.is_factory = (char)((flags >> 1) & 1);
    size_t n;
    const uint8_t *ev = in.take(in.left(), &n);
    notifier_ui(nullptr, nullptr, MAIN_NOTIFIER_UI, ev, (int)n);
    virtualKeyHandlerToUi(ev, (int)n);
    return 0;
}
