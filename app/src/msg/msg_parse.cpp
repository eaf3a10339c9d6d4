#include "vesk_log.h"
#include "vesk_msg.h"

int Protocol_parse(const uint8_t *frame, int size)
{
    const vesk_frame_fault fault = vesk_frame_check(frame, size < 0 ? 0 : (size_t)size);
    if (fault == VESK_FRAME_SOUND) return 0;
    if (fault != VESK_FRAME_BAD_SIZE) vesk_log_printf(VESK_LOG_ERROR, "ipc.parse", "%s", vesk_frame_fault_name(fault));
    return -1;
}
