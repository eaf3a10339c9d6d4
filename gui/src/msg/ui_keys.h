// Key frames from sightd become a press and a release of one toolkit key,
// after the rules that belong to the whole GUI (wake-up, shutdown countdown,
// low-power pages, unsaved power-off window).
#pragma once

#include <stdint.h>

#include "awtk.h"

/* Device key codes: byte 6 of a key frame. */
typedef enum {
    KEY_FOCUS_UP_S = 0,
    KEY_FOCUS_UP_L = 1,
    KEY_FOCUS_UP_L_POP = 2,
    KEY_FOCUS_DOWN_S = 3,
    KEY_FOCUS_DOWN_L = 4,
    KEY_FOCUS_DOWN_L_POP = 5,
    KEY_POWER_S = 6,
    KEY_POWER_L = 7,
    KEY_POWER_L_POP = 8,
    KEY_PHOTO_S = 9,
    KEY_PHOTO_L = 10,
    KEY_PHOTO_L_POP = 11,
    KEY_FUCTION_S = 12,
    KEY_FUCTION_L = 13,
    KEY_FUCTION_L_POP = 14,
    KEY_RANGE_S = 15,
    KEY_RANGE_L = 16,
    KEY_RANGE_L_POP = 17,
    KEY_LEFT_DOWN_S = 18,
    KEY_POWER_CLICK_DOUBLE = 19,
    KEY_LEFT_RIGHT_S = 20,
    KEY_UP_DOWN_MID_L = 21,
    KEY_RANGE_POWER_S = 22,
    KEY_FOCUS_LEFT_S = 23,
    KEY_FOCUS_LEFT_L = 24,
    KEY_FOCUS_LEFT_L_POP = 25,
    KEY_FOCUS_RIGHT_S = 32,
    KEY_FOCUS_RIGHT_L = 33,
    KEY_FOCUS_RIGHT_L_POP = 34,
    KEY_FOCUS_MID_S = 35,
    KEY_FOCUS_MID_L = 36,
    KEY_FOCUS_MID_L_POP = 37,
    KEY_RANGE_DOUBLE = 38,
    KEY_NULL_MAX = 39,
} _KEY_COMMAND;

/* Toolkit key codes the pages receive: character codes. */
typedef enum {
    GUI_KEY_FOCUS_UP_S = '3',
    GUI_KEY_FOCUS_UP_L = '4',
    GUI_KEY_UP_L_Release = 'W',
    GUI_KEY_FOCUS_DOWN_S = '5',
    GUI_KEY_FOCUS_DOWN_L = '6',
    GUI_KEY_DOWN_L_Release = 'R',
    GUI_KEY_POWER_S = '1',
    GUI_KEY_POWER_L = '2',
    GUI_KEY_POWER_L_POP = 'O',
    GUI_KEY_PHOTO_S = '9',
    GUI_KEY_PHOTO_L = '0',
    GUI_KEY_PHOTO_L_POP = 'T',
    GUI_KEY_FUCTION_S = '7',
    GUI_KEY_FUCTION_L = '8',
    GUI_KEY_FUCTION_L_POP = 'I',
    GUI_KEY_RANGE_S = 'a',
    GUI_KEY_RANGE_L = 'b',
    GUI_KEY_RANGE_L_POP = 'U',
    GUI_KEY_LEFT_DOWN_S = 'e',
    GUI_KEY_POWER_CLICK_DOUBLE = 'd',
    GUI_KEY_LEFT_RIGHT_S = 'c',
    GUI_KEY_UP_DOWN_FUCTION = 'P',
    GUI_KEY_RANGE_POWER_S = 'S',
    GUI_KEY_LEFT_S = '[',
    GUI_KEY_LEFT_L = '<',
    GUI_KEY_LEFT_L_POP = 'k',
    GUI_KEY_RIGHT_S = ']',
    GUI_KEY_RIGHT_L = '>',
    GUI_KEY_RIGHT_L_POP = 'l',
    GUI_KEY_MID_S = ',',
    GUI_KEY_MID_L = '.',
    GUI_KEY_MID_L_POP = '/',
    GUI_KEY_RANGE_DOUBLE = 'A',
    GUI_KEY_UP_POWER_L = 'q',
    GUI_KEY_NULL_MAX = 255,
} GUI_EV_KEY;

#define VESK_SHUTDOWN_PAGE "QZ_SHUT_DOWN"

/* A key frame as the dispatch hands it over: the wake-up and page rules,
 * then key_func. */
void ui_key_report(const uint8_t *frame, int length);
/* Maps and injects one key. */
void key_func(const uint8_t *frame, int length);
/* The unsaved power-off rule: 1 when it took the power long press. */
int vesk_gui_power_long_unsaved(widget_t *top);
/* The toolkit key of a device key code, or 0 for a code that has none. */
uint32_t ui_key_gui_code(int device_code);
