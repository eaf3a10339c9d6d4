#include "vesk_dynamic_bc_gui.h"

#include "qel_msg.h"
#include "ui_senders.h"

/* Written and read on the GUI thread only, but kept atomic like sightd's. */
static int s_known;
static int s_value;
static int s_supported;

int vesk_dynamic_bc_gui_request(int value)
{
    return BasicFunctionHandlerToApp(MSGQ_TYPE_BAISC, 0, BASIC_DYNAMIC_BC, (uint8_t)value);
}

int vesk_dynamic_bc_gui_on_reply(const uint8_t *frame, int length)
{
    if (frame == NULL || length != 11) return -1;
    if (frame[VESK_FRAME_OFF_OBJ] != 0 || frame[VESK_FRAME_OFF_SUB] != 0 ||
        frame[VESK_FRAME_OFF_ITEM] != BASIC_DYNAMIC_BC || frame[VESK_FRAME_OFF_FLAG] != VESK_FRAME_FLAG_REPORT)
        return -1;
    if (frame[6] > 1 || frame[7] > 1) return -1;
    __atomic_store_n(&s_known, 1, __ATOMIC_SEQ_CST);
    __atomic_store_n(&s_value, (int)frame[6], __ATOMIC_SEQ_CST);
    __atomic_store_n(&s_supported, frame[7] == 0 ? 1 : 0, __ATOMIC_SEQ_CST);
    return 0;
}

int vesk_dynamic_bc_gui_value(void)
{
    return __atomic_load_n(&s_known, __ATOMIC_SEQ_CST) ? __atomic_load_n(&s_value, __ATOMIC_SEQ_CST) : -1;
}

int vesk_dynamic_bc_gui_supported(void)
{
    return __atomic_load_n(&s_known, __ATOMIC_SEQ_CST) ? __atomic_load_n(&s_supported, __ATOMIC_SEQ_CST) : 0;
}
