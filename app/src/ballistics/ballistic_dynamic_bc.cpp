#include "ballistic_dynamic_bc.h"

#include "ballistic_fbc.h"
#include "ballistic_request.h"
#include "iniparser_handler.h"
#include "qel_dev_status.h"
#include "vesk_frame.h"
#include "vesk_msg.h"

size_t vesk_dynamic_bc_build_reply(uint8_t *out, int value, int unsupported)
{
    const uint8_t payload[2] = {(uint8_t)(value ? 1 : 0), (uint8_t)(unsupported ? 1 : 0)};
    return vesk_frame_build(out, VESK_DYNAMIC_BC_REPLY_SIZE, SUB_NOTIFIER_IMAGE, 0, VESK_DYNAMIC_BC_ITEM,
                            VESK_FRAME_FLAG_REPORT, payload, sizeof(payload));
}

void vesk_dynamic_bc_send(int value, int unsupported)
{
    uint8_t frame[VESK_DYNAMIC_BC_REPLY_SIZE];
    size_t size = vesk_dynamic_bc_build_reply(frame, value, unsupported);
    vesk_msg_send_quiet(VESK_MSG_TO_GUI, frame, (uint32_t)size);
}

void vesk_dynamic_bc_publish(void) { vesk_dynamic_bc_send(vesk_dynamic_bc_get(), !vesk_dynamic_bc_supported()); }

static int request_sound(const uint8_t *f, size_t size)
{
    if (size != VESK_DYNAMIC_BC_REQUEST_SIZE) return 0;
    if (f[0] != VESK_FRAME_HEAD || f[1] != VESK_DYNAMIC_BC_REQUEST_SIZE - 3 || f[5] != VESK_FRAME_FLAG_REQUEST ||
        f[8] != VESK_FRAME_TAIL1 || f[9] != VESK_FRAME_TAIL2)
        return 0;
    if (f[6] != 0 && f[6] != 1 && f[6] != VESK_DYNAMIC_BC_QUERY) return 0;
    return msg_check_num(f, size) == f[7];
}

int vesk_dynamic_bc_handle_ui(const uint8_t *frame, size_t size)
{
    if (frame == NULL || size < 5 || frame[2] != 0 || frame[3] != 0 || frame[4] != VESK_DYNAMIC_BC_ITEM) return 0;
    if (!request_sound(frame, size)) return 1;
    int supported = vesk_dynamic_bc_supported();
    int value = frame[6];
    if (value != VESK_DYNAMIC_BC_QUERY && supported && value != vesk_dynamic_bc_get()) {
        if (vesk_dynamic_bc_set(value) == 0) vesk_ballistics_request(VESK_BALLISTICS_RECALC);
    }
    vesk_dynamic_bc_send(vesk_dynamic_bc_get(), !supported);
    return 1;
}
