#include "vesk_debug_gui.h"

#include "qel_msg.h"
#include "ui_senders.h"
#include "vesk_debug.h"

void vesk_debug_gui_awtk_log_hook(void *ctx, log_level_t level, const char *format, va_list ap)
{
    (void)ctx;
    if (level != LOG_LEVEL_ERROR) return;
    vesk_log_vprintf(VESK_LOG_ERROR, "awtk", format, ap);
}

int vesk_debug_gui_init(const vesk_log_config *config)
{
    int rc = vesk_log_start(VESK_LOG_GUI, config);
    if (rc == 0) {
        log_set_hook(vesk_debug_gui_awtk_log_hook, NULL);
        log_set_log_level(LOG_LEVEL_ERROR);
    }
    return rc;
}

int vesk_debug_gui_apply(int enabled)
{
    int rc = vesk_debug_set(enabled != 0);
    if (rc == 0) log_set_log_level(enabled ? LOG_LEVEL_DEBUG : LOG_LEVEL_ERROR);
    return rc;
}

int vesk_debug_gui_request(int value)
{
    return BasicFunctionHandlerToApp(MSGQ_TYPE_BAISC, 0, BASIC_DEBUG_MODE, (uint8_t)value);
}
