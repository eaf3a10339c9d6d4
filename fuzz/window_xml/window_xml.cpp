// The window loader: any bytes as a window resource, opened, drawn and
// closed again.
#include <sys/stat.h>

#include "awtk.h"
#include "awtk_host.h"
#include "fuzz_support.h"

static std::string g_file;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    (void)argc;
    (void)argv;
    const std::string res = fuzz_scratch() + "/res";
    mkdir(res.c_str(), 0755);
    mkdir((res + "/ui").c_str(), 0755);
    g_file = res + "/ui/fuzz.xml";
    if (awtk_test_init(320, 240, res.c_str()) != RET_OK) abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_write_file(g_file, data, size);
    widget_t *win = window_open("fuzz");
    if (win != NULL) {
        awtk_host_render();
        window_close_force(win);
    }
    awtk_test_pump();
    return 0;
}
