// The start-up pages: "Boot_logo" shows the start-up image for at least
// three seconds and until sightd's parameter blocks have made the GUI
// ready, then gives way to the home page.
#include "navigator.h"
#include "pages.h"
#include "ui_status.h"

#define BOOT_TICK_MS 100
#define BOOT_MIN_SHOWN_MS 3000

/* Milliseconds the boot page has been shown, as the monotonic clock tells
 * at each tick: a GUI thread held up at start-up (fonts, a slow Media
 * partition) delays the ticks, not the three seconds. */
static uint64_t s_elapsed_ms;
static uint64_t s_shown_at_ms;

static ret_t boot_visit(void *ctx, const void *data)
{
    (void)ctx;
    (void)data;
    return RET_OK;
}

ret_t on_open_home_page(const timer_info_t *timer)
{
    (void)timer;
    s_elapsed_ms = time_now_ms() - s_shown_at_ms;
    if (s_elapsed_ms < BOOT_MIN_SHOWN_MS || stUIStatus.event_distrubut_reday == 0) return RET_REPEAT;
    s_elapsed_ms = 0;
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

    s_shown_at_ms = time_now_ms();
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
