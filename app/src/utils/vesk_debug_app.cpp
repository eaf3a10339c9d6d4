#include "vesk_debug_app.h"

#include <errno.h>

#include "ballistic_fbc.h"
#include "iniparser_handler.h"
#include "vesk_debug.h"
#include "vesk_frame.h"
#include "vesk_msg.h"
#include "vesk_persist.h"

enum { DEBUG_FRAME_SIZE = 10, DEBUG_VALUE_OFF = 6 };

size_t vesk_debug_app_reply(uint8_t out[10], int on)
{
    const uint8_t state = on ? 1 : 0;
    return vesk_frame_build(out, DEBUG_FRAME_SIZE, SUB_NOTIFIER_IMAGE, 0, VESK_DEBUG_ITEM, VESK_FRAME_FLAG_REPORT,
                            &state, 1);
}

int vesk_debug_app_apply(int on)
{
    if (on != 0 && on != 1) return -EINVAL;
    int rc = vesk_debug_set(on);
    if (rc == 0) Qel_ballistics_DebugLogSet(on);
    return rc;
}

void vesk_debug_app_publish(void)
{
    uint8_t reply[DEBUG_FRAME_SIZE];
    size_t n = vesk_debug_app_reply(reply, vesk_debug_enabled());
    (void)vesk_msg_send_quiet(VESK_MSG_TO_GUI, reply, (uint32_t)n);
}

/* Exactly AA 07 00 00 29 00 v CHK EB AA with v 0, 1 or 255. */
static int debug_request_sound(const uint8_t *f, size_t size)
{
    if (size != DEBUG_FRAME_SIZE) return 0;
    if (f[0] != VESK_FRAME_HEAD || f[1] != DEBUG_FRAME_SIZE - 3 || f[5] != VESK_FRAME_FLAG_REQUEST) return 0;
    if (f[8] != VESK_FRAME_TAIL1 || f[9] != VESK_FRAME_TAIL2) return 0;
    if (f[7] != msg_check_num(f, size)) return 0;
    const uint8_t v = f[DEBUG_VALUE_OFF];
    return v == 0 || v == 1 || v == VESK_DEBUG_QUERY;
}

int vesk_debug_app_handle_ui(const uint8_t *frame, size_t size)
{
    if (frame == NULL || size <= 4) return 0;
    if (frame[VESK_FRAME_OFF_OBJ] != SUB_NOTIFIER_IMAGE || frame[VESK_FRAME_OFF_SUB] != 0 ||
        frame[VESK_FRAME_OFF_ITEM] != VESK_DEBUG_ITEM)
        return 0;
    if (!debug_request_sound(frame, size)) return 1; /* consumed, no reply */

    const int v = frame[DEBUG_VALUE_OFF];
    if (v != VESK_DEBUG_QUERY && v != (vesk_debug_enabled() ? 1 : 0) && vesk_persist_edit_begin() == 0) {
        if (vesk_debug_app_apply(v) == 0) Qel_DevStatusSet("vesk_debug", v, 0);
        vesk_persist_edit_end();
    }
    vesk_debug_app_publish();
    return 1;
}
