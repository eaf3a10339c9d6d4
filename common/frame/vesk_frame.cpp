#include "vesk_frame.h"

#include <string.h>

uint8_t msg_check_num(const uint8_t *data, size_t size)
{
    uint8_t sum = 0;
    if (data == NULL || size < 3) return 0;
    for (size_t i = 0; i < size - 3; i++) sum = (uint8_t)(sum + data[i]);
    return sum;
}

int vesk_control_size_valid(const uint8_t *frame, size_t size)
{
    if (frame == NULL) return 0;
    if (size < VESK_FRAME_MIN || size > VESK_FRAME_MAX) return 0;
    return (size_t)frame[VESK_FRAME_OFF_LEN] + 3 == size;
}

vesk_frame_fault vesk_frame_check(const uint8_t *frame, size_t size)
{
    if (!vesk_control_size_valid(frame, size)) return VESK_FRAME_BAD_SIZE;
    if (frame[VESK_FRAME_OFF_HEAD] != VESK_FRAME_HEAD) return VESK_FRAME_BAD_HEAD;
    if (frame[size - 3] != msg_check_num(frame, size)) return VESK_FRAME_BAD_CHECK;
    if (frame[size - 2] != VESK_FRAME_TAIL1) return VESK_FRAME_BAD_TAIL1;
    if (frame[size - 1] != VESK_FRAME_TAIL2) return VESK_FRAME_BAD_TAIL2;
    return VESK_FRAME_SOUND;
}

const char *vesk_frame_fault_name(vesk_frame_fault fault)
{
    switch (fault) {
    case VESK_FRAME_SOUND:
        return "OK";
    case VESK_FRAME_BAD_SIZE:
        return "CMD_SIZE ERROR";
    case VESK_FRAME_BAD_HEAD:
        return "CMD_HEADER_0 ERROR";
    case VESK_FRAME_BAD_CHECK:
        return "CMD_END_CHECK ERROR";
    case VESK_FRAME_BAD_TAIL1:
        return "CMD_END_SEC ERROR";
    case VESK_FRAME_BAD_TAIL2:
        return "CMD_END_FIR ERROR";
    }
    return "CMD_UNKNOWN ERROR";
}

void vesk_frame_seal(uint8_t *frame, size_t size)
{
    frame[size - 3] = msg_check_num(frame, size);
    frame[size - 2] = VESK_FRAME_TAIL1;
    frame[size - 1] = VESK_FRAME_TAIL2;
}

size_t vesk_frame_build(uint8_t *out, size_t cap, uint8_t obj, uint8_t sub, uint8_t item, uint8_t flag,
                        const void *payload, size_t payload_len)
{
    const size_t size = payload_len + VESK_FRAME_OVERHEAD;
    if (out == NULL || size > cap || size > VESK_FRAME_BUILD_MAX) return 0;
    if (payload_len > 0 && payload == NULL) return 0;
    out[VESK_FRAME_OFF_HEAD] = VESK_FRAME_HEAD;
    out[VESK_FRAME_OFF_LEN] = (uint8_t)(size - 3);
    out[VESK_FRAME_OFF_OBJ] = obj;
    out[VESK_FRAME_OFF_SUB] = sub;
    out[VESK_FRAME_OFF_ITEM] = item;
    out[VESK_FRAME_OFF_FLAG] = flag;
    if (payload_len > 0) memcpy(out + VESK_FRAME_OFF_PAYLOAD, payload, payload_len);
    vesk_frame_seal(out, size);
    return size;
}
