// The start-up pages: "Boot_logo" shows the start-up image for at least
// three seconds and until sightd's parameter blocks have made the GUI
// ready, then gives way to the home page.
#include "navigator.h"
#include "page_state.h"
#include "pages.h"
#include "ui_status.h"

#define BOOT_TICK_MS 100
#define BOOT_MIN_SHOWN_MS 3000

/* When the boot page was shown (monotonic clock), its window's: the time
 * shown is read from the clock at each tick, as a GUI thread held up at
 * start-up (fonts, a slow Media partition) delays the ticks, not the three
 * seconds. */
#define BOOT_SHOWN_AT_KEY "boot_shown_at"

static ret_t boot_visit(void *ctx, const void *data)
{
    (void)ctx;
    (void)data;
    return RET_OK;
}

ret_t on_open_home_page(const timer_info_t *timer)
{
    const uint64_t *shown_at = page_state_of<uint64_t>(WIDGET(timer->ctx), BOOT_SHOWN_AT_KEY);
    uint64_t elapsed_ms = shown_at != NULL ? time_now_ms() - *shown_at : 0;
    if (elapsed_ms < BOOT_MIN_SHOWN_MS || stUIStatus.event_distrubut_reday == 0) return RET_REPEAT;
    navigator_replace(VESK_HOME_PAGE);
    return RET_REMOVE;
}

ret_t Boot_logo_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    widget_t *image = widget_child(win, "image");
    if (image != NULL) image_base_set_image(image, "Boot_logo1");
    widget_foreach(win, boot_visit, win);

    stDevStatus.s8ReticleMenuSwitch = 1;
    stDevStatus.s8DistanceUint = 0;
    /* Awake: the first key must reach a page, not only wake the screen. */
    stUIStatus.s8InterfaceState = INTERFACE_OBSERVE;
    stUIStatus.s8RangeMode = 0;
    stUIStatus.s8RangeFirstOrLast = 0;
    stUIStatus.s8Record_prepare = 0;
    stDevStatus.s8ScreenOff = 0;
    stDevStatus.s8LaserRangeType = 1;

    *page_state_new<uint64_t>(win, BOOT_SHOWN_AT_KEY) = time_now_ms();
    widget_add_timer(win, on_open_home_page, BOOT_TICK_MS);
    return RET_OK;
}

ret_t HDP_Init_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    widget_foreach(win, boot_visit, win);
    stUIStatus.u8VideoCurrentFrames = 500;
    stUIStatus.event_distrubut_reday = 0;
    return RET_OK;
}
