// The frame check every receiver applies before it routes a frame: a frame
// it passes is one whose size, length byte, checksum and trailer agree.
#include <stdlib.h>

#include "vesk_frame.h"
#include "vesk_msg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const int sound = Protocol_parse(data, (int)size) == 0;
    if (!sound) return 0;
    if (!vesk_control_size_valid(data, size)) abort();
    if (data[0] != VESK_FRAME_HEAD || data[size - 2] != VESK_FRAME_TAIL1 || data[size - 1] != VESK_FRAME_TAIL2) abort();
    if (msg_check_num(data, size) != data[size - 3]) abort();
    return 0;
}
