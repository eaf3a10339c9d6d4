// The image decoders (PNG, JPEG, BMP, told apart by their first bytes): any
// bytes as an image file a page names.
#include "awtk.h"
#include "awtk_host.h"
#include "fuzz_support.h"

static std::string g_name;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    (void)argc;
    (void)argv;
    if (awtk_test_init(64, 64, fuzz_scratch().c_str()) != RET_OK) abort();
    g_name = "file://" + fuzz_scratch() + "/image";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_write_file(g_name.substr(7), data, size);
    bitmap_t bmp;
    if (image_manager_get_bitmap(image_manager(), g_name.c_str(), &bmp) == RET_OK) {
        /* Every pixel the decoder reported is there to read. */
        volatile uint8_t sum = 0;
        for (uint32_t y = 0; y < (uint32_t)bmp.h; y++)
            sum += bmp.data[(size_t)y * bmp.line_length + bmp.line_length - 1];
        (void)sum;
    }
    image_manager_unload_all(image_manager());
    return 0;
}
