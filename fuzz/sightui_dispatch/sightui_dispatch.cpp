// sightui's frame dispatch: any frame from sightd, checked and handed to
// its handler on the GUI thread, the user events it raises delivered.
#include "awtk.h"
#include "awtk_host.h"
#include "fuzz_support.h"
#include "qel_msg.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    (void)argc;
    (void)argv;
    fuzz_sandbox();
    fuzz_quiet_stdout();
    fuzz_drain_queue(MSGQ_KEY_TO_APP);
    if (awtk_test_init(1280, 1024, VESK_FUZZ_GUI_RES) != RET_OK) abort();
    if (Qel_InitMsgEvent(msgEventCallback) != 0) abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_reader in(data, size);
    uint8_t frame[VESK_FRAME_MAX];
    const int n = (int)fuzz_frame(in, frame);
    uiOperationControl(frame, n);
    awtk_test_pump();
    /* Pages a report opened are closed again: each input starts from the
     * same screen, and windows do not pile up from one input to the next. */
    window_manager_close_all(window_manager());
    awtk_test_pump();
    return 0;
}
