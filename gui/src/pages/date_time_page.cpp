// The date and time page.
#include "date_time_page.h"

#include <stdio.h>

#include "list_menu.h"
#include "navigator.h"
#include "page_state.h"
#include "pages.h"
#include "setting_menu.h"
#include "ui_keys.h"
#include "utils_common.h"
#include "vesk_page.h"

/* The fields shown: 2023-01-01 00:00:00 until the clock is read once; an
 * opening that cannot read the clock shows what the last one left. */
static int year = 2023;
static uint8_t month = 1, day = 1, hour, minute, second;
/* The field being changed, 1 year ... 6 second: the window's. */
#define DATE_FIELD_KEY "date_field"

enum { FIELD_YEAR = 1, FIELD_MONTH, FIELD_DAY, FIELD_HOUR, FIELD_MINUTE, FIELD_SECOND };
#define FIELD_COUNT 6
#define YEAR_FIRST 2023
#define YEAR_LAST 2099
#define SEL_Y 244
#define SEL_W 42
#define SEL_H 48
#define ARROW_DX 9
#define ARROW_Y 216
#define ARROW_W 24
#define ARROW_H 104

static const uint8_t days_per_month[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
static const int s_x_positions[FIELD_COUNT] = {154, 228, 296, 377, 444, 511};
static const char *const s_labels[FIELD_COUNT] = {"label_year", "label_month",  "label_day",
                                                  "label_hour", "label_minute", "label_second"};

int vesk_days_in_month(int y, int m)
{
    if (m < 1 || m > 12) return 31;
    bool_t leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : days_per_month[m - 1];
}

static void write_field(widget_t *win, int field)
{
    char text[8];
    switch (field) {
    case FIELD_YEAR:
        snprintf(text, sizeof text, "%d", year % 100);
        break;
    case FIELD_MONTH:
        snprintf(text, sizeof text, "%02d", month);
        break;
    case FIELD_DAY:
        snprintf(text, sizeof text, "%02d", day);
        break;
    case FIELD_HOUR:
        snprintf(text, sizeof text, "%02d", hour);
        break;
    case FIELD_MINUTE:
        snprintf(text, sizeof text, "%02d", minute);
        break;
    default:
        snprintf(text, sizeof text, "%02d", second);
        break;
    }
    vesk_page_set_text(win, s_labels[field - 1], text);
}

static void draw_selection(widget_t *win, uint8_t field)
{
    int x = s_x_positions[(field - 1) % FIELD_COUNT];
    vesk_page_move_resize(win, "view_sel", x, SEL_Y, SEL_W, SEL_H);
    vesk_page_move_resize(win, "view_arrow", x + ARROW_DX, ARROW_Y, ARROW_W, ARROW_H);
    vesk_page_set_image(win, "image_arrow_up", "ic_stepper2_up_def");
    vesk_page_set_image(win, "image_arrow_down", "ic_stepper2_down_def");
}

static int wrap(int value, int low, int high)
{
    if (value < low) return high;
    return value > high ? low : value;
}

/* A month or year step may leave the day past the month's end (31 in
 * February): the day is brought back to the month's last day, so an
 * impossible date never reaches the clocks. */
static void recheck_day(widget_t *win)
{
    int last = vesk_days_in_month(year, month);
    if (day > last) {
        day = (uint8_t)last;
        write_field(win, FIELD_DAY);
    }
}

static void step(widget_t *win, uint8_t field, int delta)
{
    vesk_page_set_image(win, "image_arrow_up", delta > 0 ? "ic_stepper2_up_sel" : "ic_stepper2_up_def");
    vesk_page_set_image(win, "image_arrow_down", delta < 0 ? "ic_stepper2_down_sel" : "ic_stepper2_down_def");
    switch (field) {
    case FIELD_YEAR:
        year = wrap(year + delta, YEAR_FIRST, YEAR_LAST);
        break;
    case FIELD_MONTH:
        month = (uint8_t)wrap(month + delta, 1, 12);
        break;
    case FIELD_DAY:
        day = (uint8_t)wrap(day + delta, 1, vesk_days_in_month(year, month));
        break;
    case FIELD_HOUR:
        hour = (uint8_t)((hour + 24 + delta) % 24);
        break;
    case FIELD_MINUTE:
        minute = (uint8_t)((minute + 60 + delta) % 60);
        break;
    case FIELD_SECOND:
        second = (uint8_t)((second + 60 + delta) % 60);
        break;
    default:
        return;
    }
    write_field(win, field);
    if (field == FIELD_YEAR || field == FIELD_MONTH) recheck_day(win);
}

void save_datetime(void)
{
    if (rtc_set_time(hour, minute, second, year, month, day) == 0) printf("rtc time_set_successful!\n");
    if (sys_set_time(hour, minute, second, year, month, day) == 0) printf("sys time_set_successful!\n");
}

static ret_t on_date_key(void *ctx, event_t *e)
{
    widget_t *win = WIDGET(ctx);
    key_event_t *key = key_event_cast(e);
    uint8_t *field = page_state_of<uint8_t>(win, DATE_FIELD_KEY);
    if (key == NULL || field == NULL) return RET_OK;
    switch (key->key) {
    case GUI_KEY_FOCUS_UP_S:
        step(win, *field, 1);
        break;
    case GUI_KEY_FOCUS_DOWN_S:
        step(win, *field, -1);
        break;
    case GUI_KEY_LEFT_S:
        *field = (uint8_t)(*field <= 1 ? FIELD_COUNT : *field - 1);
        draw_selection(win, *field);
        break;
    case GUI_KEY_RIGHT_S:
        *field = (uint8_t)(*field >= FIELD_COUNT ? 1 : *field + 1);
        draw_selection(win, *field);
        break;
    case GUI_KEY_MID_S:
    case GUI_KEY_MID_L:
        save_datetime();
        list_menu_replace("setting_menu", SETTING_ROW_DATE_TIME);
        break;
    case GUI_KEY_POWER_S:
        save_datetime();
        vesk_page_go_home();
        break;
    default:
        break;
    }
    return RET_OK;
}

ret_t DataTime_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    uint8_t *field = page_state_new<uint8_t>(win, DATE_FIELD_KEY);
    *field = FIELD_YEAR;
    draw_selection(win, *field);
    struct tm *now = NULL;
    if (sys_get_time(&now) == 0 && now != NULL) {
        year = now->tm_year + 1900;
        month = (uint8_t)(now->tm_mon + 1);
        day = (uint8_t)now->tm_mday;
        hour = (uint8_t)now->tm_hour;
        minute = (uint8_t)now->tm_min;
        second = (uint8_t)now->tm_sec;
    }
    for (int f = FIELD_YEAR; f <= FIELD_SECOND; f++) write_field(win, f);
    widget_on(win, EVT_KEY_DOWN, on_date_key, win);
    return RET_OK;
}
