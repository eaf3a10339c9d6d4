#include "vesk_log.h"
#include "vesk_msg.h"

int Protocol_parse(const uint8_t *frame, int size)
{
    if (size < 0 || !vesk_control_size_valid(frame, (size_t)size)) return -1;
    const char *fault = NULL;
    if (frame[VESK_FRAME_OFF_HEAD] != VESK_FRAME_HEAD)
        fault = "CMD_HEADER_0 ERROR";
    else if (frame[size - 3] != msg_check_num(frame, (size_t)size))
        fault = "CMD_END_CHECK ERROR";
    else if (frame[size - 2] != VESK_FRAME_TAIL1)
        fault = "CMD_END_SEC ERROR";
    else if (frame[size - 1] != VESK_FRAME_TAIL2)
        fault = "CMD_END_FIR ERROR";
    if (fault == NULL) return 0;
    vesk_log_printf(VESK_LOG_ERROR, "ipc.parse", "%s", fault);
    return -1;
}
