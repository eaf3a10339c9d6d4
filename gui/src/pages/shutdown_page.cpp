// "QZ_SHUT_DOWN", the countdown of a voluntary shutdown: three seconds in
// which any key still cancels, the settings saved at the first, running
// recordings stopped at the last, and then the power-off request. The
// device answers by powering off, or with a lifecycle outcome that brings
// the shooter back to the home page.
#include <string.h>

#include "home_page.h"
#include "navigator.h"
#include "pages.h"
#include "ui_events.h"
#include "ui_keys.h"
#include "ui_senders.h"
#include "ui_status.h"
#include "vesk_page.h"

#define SHUTDOWN_TICK_MS 1000
#define SHUTDOWN_RECOIL_STOP_MS 1000
#define SHUTDOWN_LAST_WAIT_MS 100
/* Up to this count a key still cancels. */
#define SHUTDOWN_LAST_CANCEL 2

static ret_t shutdown_visit(void *ctx, const void *data)
{
    (void)ctx;
    (void)data;
    return RET_OK;
}

static void stop_countdown(void)
{
    if (stUIStatus.timer_id_shutdown != 0) {
        timer_remove(stUIStatus.timer_id_shutdown);
        stUIStatus.timer_id_shutdown = 0;
    }
    stUIStatus.shutdown_count = 0;
}

static void show_count(widget_t *win, const char *image)
{
    image_base_set_image(widget_lookup(win, "image_shutdown", TRUE), image);
}

/* The waits block the GUI thread on purpose: nothing else may reach the
 * device between the stops and the power-off request. */
static ret_t on_countdown_tick(const timer_info_t *timer)
{
    widget_t *win = WIDGET(timer->ctx);
    stUIStatus.shutdown_count++;
    switch (stUIStatus.shutdown_count) {
    case 1:
        show_count(win, "pic_countdown_2s");
        GUI_SEND_PARAM_FUNCTION_MSG(SAVE_ALLPARAM);
        return RET_REPEAT;
    case 2:
        show_count(win, "pic_countdown_1s");
        return RET_REPEAT;
    case 3:
        if (stUIStatus.s8RecordingState == 1) GUI_SEND_TAP_VIDEO_MSG(TAP_VIDEO_RECORD, 1, NULL);
        if (vesk_home_rav_running()) {
            GUI_SEND_RECOIL_MSG(RECOIL_BREAKOUT);
            sleep_ms(SHUTDOWN_RECOIL_STOP_MS);
        }
        sleep_ms(SHUTDOWN_LAST_WAIT_MS);
        stUIStatus.timer_id_shutdown = 0;
        vesk_gui_request_shutdown(VESK_PERSIST_SHUTDOWN_VOLUNTARY);
        return RET_REMOVE;
    default:
        return RET_REPEAT;
    }
}

static ret_t on_shutdown_key(void *ctx, event_t *e)
{
    (void)ctx;
    key_event_t *key = key_event_cast(e);
    if (key == NULL || key->key != GUI_KEY_FUCTION_S || stUIStatus.shutdown_count > SHUTDOWN_LAST_CANCEL) return RET_OK;
    stop_countdown();
    navigator_switch_to(stUIStatus.temp_window, TRUE);
    return RET_OK;
}

static ret_t on_shutdown_lifecycle(void *ctx, event_t *e)
{
    (void)e;
    widget_t *win = WIDGET(ctx);
    if (stUIStatus.vesk_lifecycle_status == VESK_LIFECYCLE_RECOVERY_REQUIRED &&
        stUIStatus.vesk_lifecycle_reason != VESK_LIFECYCLE_REASON_BOOT) {
        /* The settings are not safe: the page stays and says so. */
        widget_t *tip = widget_lookup(win, "lable_shutdown_tip1", TRUE);
        widget_set_tr_text(tip, "vesk_save_failed");
        widget_set_visible(tip, TRUE);
        return RET_OK;
    }
    stop_countdown();
    navigator_back_to_home();
    return RET_OK;
}

ret_t QZ_SHUT_DOWN_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    stUIStatus.shutdown_count = 0;
    widget_foreach(win, shutdown_visit, win);
    stUIStatus.timer_id_shutdown = widget_add_timer(win, on_countdown_tick, SHUTDOWN_TICK_MS);
    widget_on(win, EVT_KEY_DOWN, on_shutdown_key, win);
    static const int events[] = {UI_EV_LIFECYCLE};
    vesk_page_subscribe(win, events, 1, on_shutdown_lifecycle);
    vesk_page_bind_close(win, NULL);
    return RET_OK;
}
