#include <stdio.h>
#include <string.h>

#include "notifier.h"
#include "qel_dev_status.h"
#include "vesk_msg.h"

const key_table keytable[KEYTABLE_ROWS] = {
    {UI_KEY_UP, KEY_UP_SHORT_PRESS, KEY_UP_LONG_PRESS, KEY_UP_LONG_PRESS_RELEASE},
    {UI_KEY_DOWN, KEY_DOWN_SHORT_PRESS, KEY_DOWN_LONG_PRESS, KEY_DOWN_LONG_PRESS_RELEASE},
    {UI_KEY_POWER, KEY_POWER_SHORT_PRESS, KEY_POWER_LONG_PRESS, KEY_POWER_LONG_PRESS_RELEASE},
    {UI_KEY_FUNC, KEY_FUNC_SHORT_PRESS, KEY_FUNC_LONG_PRESS, KEY_FUNC_LONG_PRESS_RELEASE},
    {UI_KEY_LASER, KEY_LASER_SHORT_PRESS, KEY_LASER_LONG_PRESS, KEY_LASER_LONG_PRESS_RELEASE},
    {UI_KEY_LEFT, KEY_LEFT_SHORT_PRESS, KEY_LEFT_LONG_PRESS, KEY_LEFT_LONG_PRESS_RELEASE},
    {UI_KEY_RIGHT, KEY_RIGHT_SHORT_PRESS, KEY_RIGHT_LONG_PRESS, KEY_RIGHT_LONG_PRESS_RELEASE},
    {UI_KEY_MIDDLE, KEY_MIDDLE_SHORT_PRESS, KEY_MIDDLE_LONG_PRESS, KEY_MIDDLE_LONG_PRESS_RELEASE},
    {UI_COMB_LEFT_DOWN, COMB_LEFT_DOWN_SHORT_PRESS, COMB_LEFT_DOWN_SHORT_PRESS, COMB_LEFT_DOWN_SHORT_PRESS},
    {UI_COMB_LEFT_RIGHT, COMB_LEFT_RIGHT_SHORT_PRESS, COMB_LEFT_RIGHT_SHORT_PRESS, COMB_LEFT_RIGHT_SHORT_PRESS},
    {UI_COMB_UP_MIDDLE_DOWN, COMB_UP_MIDDLE_DOWN_SHORT_PRESS, COMB_UP_MIDDLE_DOWN_SHORT_PRESS,
     COMB_UP_MIDDLE_DOWN_SHORT_PRESS},
};

/* Press flags of a key event. */
enum { KEY_FLAG_LONG = 2, KEY_FLAG_LONG_RELEASE = 3 };

/* A report frame (flag 0x80) to the GUI. */
static void report(uint8_t obj, uint8_t sub, uint8_t item, const uint8_t *payload, size_t n)
{
    uint8_t frame[VESK_FRAME_BUILD_MAX];
    size_t size = vesk_frame_build(frame, sizeof(frame), obj, sub, item, VESK_FRAME_FLAG_REPORT, payload, n);
    if (size == 0) return; /* longer than a length byte can describe */
    Msgtext_App_To_Ui(MSGQ_COMMAND_APP_TO_UI, (uint32_t)size, frame);
}

/* Every handler gets the event copied into a zeroed buffer, so that bytes
 * past the event's end read as 0 rather than whatever follows it. */
typedef void (*ui_handler)(const uint8_t *ev, int size);

static void imageHandlerToUi(const uint8_t *ev, int size)
{
    (void)size;
    const uint8_t p[2] = {ev[3], 0};
    report(SUB_NOTIFIER_IMAGE, ev[1], ev[2], p, 2);
}

static void fpgaHandlerToUi(const uint8_t *ev, int size)
{
    (void)size;
    report(ev[0], ev[1], ev[2], &ev[3], 1);
}

static void distanceHandlerToUi(const uint8_t *ev, int size)
{
    report(SUB_NOTIFIER_DISTANCE, ev[1], ev[2], &ev[3], (size_t)size - 3);
}

static void commpassHandlerToUi(const uint8_t *ev, int size)
{
    (void)size;
    if (qel_dev_status.s8CompassSwitch == 0 || ev[1] != 0) return;
    report(SUB_NOTIFIER_COMPASS, 0, ev[2], &ev[3], 4);
}

static void keyHandlerToUi(const uint8_t *ev, int size)
{
    (void)size;
    const uint8_t key = ev[1], press = ev[2], twice = ev[3];
    if (qel_dev_status.is_factory &&
        !(key == UI_KEY_POWER && !twice && (press == KEY_FLAG_LONG || press == KEY_FLAG_LONG_RELEASE)))
        return;
    const key_table *row = NULL;
    for (const key_table &r : keytable) {
        if (r.key_code == key) {
            row = &r;
            break;
        }
    }
    if (row == NULL) {
        printf("keyHandlerToUi: key code %d not found.\n", key);
        return;
    }
    uint8_t code;
    if (!twice) {
        code = press == KEY_FLAG_LONG           ? row->key_long_press
               : press == KEY_FLAG_LONG_RELEASE ? row->key_long_press_release
                                                : row->key_short_press;
    } else if (key == UI_KEY_POWER) {
        printf("keyHandlerToUi: power double trigger\n");
        code = KEY_POWER_CLICK_DOUBLE;
    } else {
        code = KEY_EVENT_UNKNOWN;
    }
    report(SUB_NOTIFIER_KEY, 0, 0, &code, 1);
}

void virtualKeyHandlerToUi(const uint8_t *ev, int size)
{
    (void)ev;
    (void)size;
}

/* Counted events: object, n, sub, item, then n-3 payload bytes. */
static void countedHandlerToUi(const uint8_t *ev, int size)
{
    const int n = ev[1];
    if (n < 3 || size < n + 1) return;
    report(ev[0], ev[2], ev[3], &ev[4], (size_t)n - 3);
}

/* Battery events are object, value low, value high, 0 and USB events object,
 * present, 0, 1: byte 3 tells them apart and the last two bytes of the
 * frame are beyond both and go as 0. */
static void voltageHandlerToUi(const uint8_t *ev, int size)
{
    (void)size;
    const uint8_t p[4] = {ev[1], ev[2], ev[4], ev[5]};
    report(SUB_NOTIFIER_VOLTAGE, 0, ev[3], p, 4);
}

/* The zoom ring reports as the infrared object, as the GUI expects it. */
static void ringHandlerToUi(const uint8_t *ev, int size)
{
    (void)size;
    report(SUB_NOTIFIER_IR, ev[1], ev[2], &ev[3], 2);
}

static const struct {
    uint8_t object;
    uint8_t min_size; /* shorter events are dropped */
    ui_handler handler;
} ui_routes[] = {
    {SUB_NOTIFIER_IMAGE, 4, imageHandlerToUi},       {SUB_NOTIFIER_IR, 4, fpgaHandlerToUi},
    {SUB_NOTIFIER_BADPIX, 4, fpgaHandlerToUi},       {SUB_NOTIFIER_LID, 4, fpgaHandlerToUi},
    {SUB_NOTIFIER_DISTANCE, 3, distanceHandlerToUi}, {SUB_NOTIFIER_COMPASS, 7, commpassHandlerToUi},
    {SUB_NOTIFIER_KEY, 4, keyHandlerToUi},           {SUB_NOTIFIER_GPS, 4, countedHandlerToUi},
    {SUB_NOTIFIER_SELF, 4, countedHandlerToUi},      {SUB_NOTIFIER_UPGRADE, 4, countedHandlerToUi},
    {SUB_NOTIFIER_VOLTAGE, 4, voltageHandlerToUi},   {SUB_NOTIFIER_RING, 5, ringHandlerToUi},
};

void notifier_ui(event_handle *handle, void *cb_data, int evtype, const void *evdata, int size)
{
    (void)handle;
    (void)cb_data;
    if (evtype < 0 || !(evtype & MAIN_NOTIFIER_UI) || evdata == NULL || size < 1) return;
    uint8_t ev[VESK_FRAME_MAX + 8];
    if ((size_t)size > VESK_FRAME_MAX) return;
    memset(ev, 0, sizeof(ev));
    memcpy(ev, evdata, (size_t)size);
    for (const auto &route : ui_routes) {
        if (route.object != ev[0]) continue;
        if (size >= route.min_size) route.handler(ev, size);
        return;
    }
}
