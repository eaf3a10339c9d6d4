// The compass pages: "compass_menu" (the compass switch and the links to
// the calibration and the declination), "compass_correction" (the two
// calibration stages, horizontal then vertical, while sightd samples the
// magnetometer), "magnetic_declination" (sign and three digits, tenths of
// a degree) and "compass_level" (the horizontal stage alone).
#include <stdio.h>
#include <stdlib.h>

#include "list_menu.h"
#include "main_menu.h"
#include "navigator.h"
#include "page_state.h"
#include "pages.h"
#include "ui_keys.h"
#include "ui_senders.h"
#include "ui_status.h"
#include "vesk_page.h"

#define COMPASS_ROW_H 56
#define COMPASS_BAR_W 364
#define COMPASS_MENU_ROWS 3
#define COMPASS_STYLE_SEL "00E6BB_28_Medium_left"
#define COMPASS_STYLE_DEF "FFFFFF_28_Regular_left"

enum { COMPASS_ROW_SWITCH = 1, COMPASS_ROW_CORRECTION = 2, COMPASS_ROW_DECLINATION = 3 };

/* ---- compass_menu ---- */

typedef void (*compass_menu_key_t)(widget_t *win, widget_t *value, uint32_t key);
typedef void (*compass_menu_refresh_t)(widget_t *win, widget_t *value, bool_t selected);

typedef struct {
    const char *label_name;
    const char *value_name;
    compass_menu_key_t on_key_event;
    compass_menu_refresh_t on_refresh;
} compass_menu_item_t;

static void send_compass_switch(void) { GUI_SEND_BASIC_FUNCTION_MSG(BASIC_COMPASS_SWITCH); }

/* The shot angle of a fresh compass starts from level, and a compass that
 * goes off while ballistics are on must not leave its last angle in the
 * solution. */
static void key_switch(widget_t *win, widget_t *value, uint32_t key)
{
    (void)win, (void)value, (void)key;
    stDevStatus.s8CompassSwitch = stDevStatus.s8CompassSwitch == 1 ? 0 : 1;
    if (stDevStatus.s8CompassSwitch == 1 || info[0].ballistics_sw == 1) {
        info[0].target.shootingAngle = 0;
        GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_TARGET_INFO, 1);
    }
    send_compass_switch();
}

static void compass_on(void)
{
    if (stDevStatus.s8CompassSwitch == 1) return;
    stDevStatus.s8CompassSwitch = 1;
    send_compass_switch();
}

static void key_correction(widget_t *win, widget_t *value, uint32_t key)
{
    (void)win, (void)value;
    if (!list_menu_is_link_key(key)) return;
    compass_on();
    /* Continuous ranging would go on through the calibration. */
    if (stUIStatus.s8RangeMode == 3) GUI_SEND_DISTANCE_FUNCTION_MSG(DISTANCE_RANGE_OPERATION, 0);
    list_menu_replace("compass_correction", 0);
}

static void key_declination(widget_t *win, widget_t *value, uint32_t key)
{
    (void)win, (void)value;
    if (!list_menu_is_link_key(key)) return;
    compass_on();
    list_menu_replace("magnetic_declination", 0);
}

static void refresh_switch(widget_t *win, widget_t *value, bool_t selected)
{
    (void)win;
    if (value == NULL) return;
    widget_set_text_utf8(value, list_menu_switch_text(stDevStatus.s8CompassSwitch == 1));
    widget_use_style(value, selected ? COMPASS_STYLE_SEL : COMPASS_STYLE_DEF);
}

static void refresh_arrow(widget_t *win, widget_t *value, bool_t selected)
{
    (void)win;
    if (value != NULL) widget_use_style(value, selected ? COMPASS_STYLE_SEL : COMPASS_STYLE_DEF);
}

static const compass_menu_item_t s_compass_menu_items[COMPASS_MENU_ROWS] = {
    {"label_compass_Switch", "label_compass_Switch_State", key_switch, refresh_switch},
    {"label_compass_correction", "label_arrow2", key_correction, refresh_arrow},
    {"label_magnetic_declination", "label_arrow3", key_declination, refresh_arrow},
};

static void compass_menu_draw(widget_t *win)
{
    int32_t i = compass_menu_index;
    vesk_page_move_resize(win, "view_compass_sel", 0, (i - 1) * COMPASS_ROW_H, COMPASS_BAR_W, COMPASS_ROW_H);
    for (int r = 0; r < COMPASS_MENU_ROWS; r++) {
        const compass_menu_item_t *row = &s_compass_menu_items[r];
        bool_t selected = r + 1 == i;
        vesk_page_set_style(win, row->label_name, selected ? COMPASS_STYLE_SEL : COMPASS_STYLE_DEF);
        row->on_refresh(win, vesk_page_widget(win, row->value_name), selected);
    }
}

static uint32_t compass_menu_rows(void) { return COMPASS_MENU_ROWS; }

static void compass_menu_row_key(widget_t *win, uint32_t key)
{
    int32_t i = compass_menu_index;
    if (i < 1 || i > COMPASS_MENU_ROWS) return;
    const compass_menu_item_t *row = &s_compass_menu_items[i - 1];
    row->on_key_event(win, vesk_page_widget(win, row->value_name), key);
}

static const list_menu_t s_compass_menu = {
    NULL,
    &compass_menu_index,
    compass_menu_rows,
    compass_menu_row_key,
    compass_menu_draw,
    TRUE,
    NULL,
    NULL,
    "main_menu",
    0,
    NULL,
};

ret_t compass_menu_init(widget_t *win, void *ctx)
{
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    intptr_t row = (intptr_t)ctx;
    compass_menu_index = row == COMPASS_ROW_CORRECTION || row == COMPASS_ROW_DECLINATION ? (int32_t)row : 1;
    compass_menu_draw(win);
    list_menu_bind(win, &s_compass_menu);
    vesk_page_bind_close(win, NULL);
    return RET_OK;
}

/* ---- compass_correction ---- */

/* The instruction of a calibration step: 0 turn horizontally, 1 turn
 * vertically, 2 none (done). */
static void show_step(widget_t *win, uint8_t step)
{
    vesk_page_set_visible(win, "view_level", step == 0);
    vesk_page_set_visible(win, "view_vert", step == 1);
    vesk_page_set_visible(win, "view_over", FALSE);
}

static void back_to_menu(intptr_t row)
{
    navigator_back();
    navigator_to_with_context("compass_menu", (void *)row);
}

/* Leaving before the end must cancel: a calibration left running keeps
 * the heading uncorrected. */
static bool_t calibration_left(uint32_t key)
{
    if (key == GUI_KEY_MID_L) {
        GUI_SEND_COMPASS_CORRECT(COMPASS_CORRECT_INTERRUPT);
        back_to_menu(COMPASS_ROW_CORRECTION);
        return TRUE;
    }
    if (key == GUI_KEY_POWER_S) {
        GUI_SEND_COMPASS_CORRECT(COMPASS_CORRECT_INTERRUPT);
        vesk_page_go_home();
        return TRUE;
    }
    return FALSE;
}

/* The calibration step (`QZ_compass_level`), 0 at the start: the
 * window's. */
#define COMPASS_LEVEL_KEY "compass_level"

static ret_t on_correction_key(void *ctx, event_t *e)
{
    widget_t *win = WIDGET(ctx);
    key_event_t *key = key_event_cast(e);
    uint8_t *level = page_state_of<uint8_t>(win, COMPASS_LEVEL_KEY);
    if (key == NULL || level == NULL || calibration_left(key->key) || key->key != GUI_KEY_MID_S) return RET_STOP;
    (*level)++;
    if (*level == 1) {
        show_step(win, 1);
        GUI_SEND_COMPASS_CORRECT(COMPASS_HORIZONTAL_STOP);
        GUI_SEND_COMPASS_CORRECT(COMPASS_VERTICAL_START);
    } else {
        show_step(win, 2);
        GUI_SEND_COMPASS_CORRECT(COMPASS_VERTICAL_STOP);
        back_to_menu(COMPASS_ROW_CORRECTION);
    }
    return RET_STOP;
}

/* Context 1: the horizontal stage is done already (the level page), the
 * walk goes on with the vertical one. */
ret_t compass_correction_init(widget_t *win, void *ctx)
{
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    uint8_t *level = page_state_new<uint8_t>(win, COMPASS_LEVEL_KEY);
    *level = (intptr_t)ctx == 1 ? 1 : 0;
    show_step(win, *level);
    GUI_SEND_COMPASS_CORRECT(*level == 1 ? COMPASS_VERTICAL_START : COMPASS_HORIZONTAL_START);
    widget_on(win, EVT_KEY_DOWN, on_correction_key, win);
    vesk_page_bind_close(win, NULL);
    return RET_OK;
}

/* ---- compass_level ---- */

/* The horizontal stage on its own; OK ends it and goes on to the vertical
 * stage of the calibration page. */
static ret_t on_level_key(void *ctx, event_t *e)
{
    (void)ctx;
    key_event_t *key = key_event_cast(e);
    if (key == NULL || calibration_left(key->key) || key->key != GUI_KEY_MID_S) return RET_STOP;
    GUI_SEND_COMPASS_CORRECT(COMPASS_HORIZONTAL_STOP);
    list_menu_replace("compass_correction", 1);
    return RET_STOP;
}

ret_t compass_level_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    vesk_page_set_visible(win, "view_pip_border", stDevStatus.s8VideoMode == 3);
    GUI_SEND_COMPASS_CORRECT(COMPASS_HORIZONTAL_START);
    vesk_page_bind_named_keys(win, on_level_key);
    vesk_page_bind_close(win, NULL);
    return RET_OK;
}

/* ---- magnetic_declination ---- */

#define DECLINATION_FIELDS 4
#define DECLINATION_SEL_Y 204
#define DECLINATION_ARROW_Y 177
#define DECLINATION_STYLE_SEL "00E6BB_36_Regular_center"
#define DECLINATION_STYLE_DEF "FFFFFF_36_Regular_center"

/* The declination editor's state, its window's. */
typedef struct {
    uint8_t signal; /* 1 negative */
    uint8_t magnetic_number1, magnetic_number2, magnetic_number3;
    uint8_t ob_menu3_nagnetic_index; /* the cursor: 0 sign, 1 to 3 the digits */
} declination_page_t;
#define DECLINATION_PAGE_KEY "declination_page"

static const int s_field_x[DECLINATION_FIELDS] = {256, 286, 316, 364};
static const char *const s_field_names[DECLINATION_FIELDS] = {"label_signal", "label_number1", "label_number2",
                                                              "label_number3"};
/* The digit of field f, NULL for the sign. */
static uint8_t *declination_digit(declination_page_t *d, int f)
{
    uint8_t *const digits[DECLINATION_FIELDS] = {NULL, &d->magnetic_number1, &d->magnetic_number2,
                                                 &d->magnetic_number3};
    return digits[f % DECLINATION_FIELDS];
}

static void declination_write(widget_t *win, declination_page_t *d)
{
    vesk_page_set_text(win, "label_signal", d->signal ? "-" : "+");
    for (int f = 1; f < DECLINATION_FIELDS; f++) {
        char text[4];
        snprintf(text, sizeof text, "%d", *declination_digit(d, f));
        vesk_page_set_text(win, s_field_names[f], text);
    }
}

static void declination_draw_cursor(widget_t *win, const declination_page_t *d)
{
    vesk_page_set_image(win, "image_arrow_up", "ic_stepper2_up_def");
    vesk_page_set_image(win, "image_arrow_down", "ic_stepper2_down_def");
    int x = s_field_x[d->ob_menu3_nagnetic_index % DECLINATION_FIELDS];
    vesk_page_move_resize(win, "view_sel", x, DECLINATION_SEL_Y, 30, 50);
    vesk_page_move_resize(win, "view_arrow", x + 3, DECLINATION_ARROW_Y, 20, 104);
    for (int f = 0; f < DECLINATION_FIELDS; f++)
        vesk_page_set_style(win, s_field_names[f],
                            f == d->ob_menu3_nagnetic_index ? DECLINATION_STYLE_SEL : DECLINATION_STYLE_DEF);
}

static void declination_save(const declination_page_t *d)
{
    int tenths = 100 * d->magnetic_number1 + 10 * d->magnetic_number2 + d->magnetic_number3;
    stDevStatus.s16CompassMagnetic = (short)(d->signal ? -tenths : tenths);
    GUI_SEND_COMPASS_MSG(0);
}

static void show_stepper(widget_t *win, bool_t up)
{
    vesk_page_set_image(win, "image_arrow_up", up ? "ic_stepper2_up_sel" : "ic_stepper2_up_def");
    vesk_page_set_image(win, "image_arrow_down", up ? "ic_stepper2_down_def" : "ic_stepper2_down_sel");
}

/* Up and down on the cursor's field: the sign flips either way, a digit
 * wraps over 0..9. */
static void declination_step(widget_t *win, declination_page_t *d, bool_t up)
{
    show_stepper(win, up);
    uint8_t *digit = declination_digit(d, d->ob_menu3_nagnetic_index);
    if (digit == NULL)
        d->signal = d->signal ? 0 : 1;
    else
        *digit = up ? (uint8_t)((*digit + 1) % 10) : (uint8_t)((*digit + 9) % 10);
    declination_write(win, d);
}

static ret_t on_declination_key(void *ctx, event_t *e)
{
    widget_t *win = WIDGET(ctx);
    key_event_t *key = key_event_cast(e);
    declination_page_t *d = page_state_of<declination_page_t>(win, DECLINATION_PAGE_KEY);
    if (key == NULL || d == NULL) return RET_OK;
    uint8_t &cursor = d->ob_menu3_nagnetic_index;
    switch (key->key) {
    case GUI_KEY_RIGHT_S:
        cursor = (uint8_t)((cursor + 1) % DECLINATION_FIELDS);
        declination_draw_cursor(win, d);
        break;
    case GUI_KEY_LEFT_S:
        cursor = (uint8_t)((cursor + DECLINATION_FIELDS - 1) % DECLINATION_FIELDS);
        declination_draw_cursor(win, d);
        break;
    case GUI_KEY_FOCUS_UP_S:
        declination_step(win, d, TRUE);
        break;
    case GUI_KEY_FOCUS_DOWN_S:
        declination_step(win, d, FALSE);
        break;
    case GUI_KEY_MID_S:
    case GUI_KEY_MID_L:
        declination_save(d);
        back_to_menu(COMPASS_ROW_DECLINATION);
        return RET_STOP;
    case GUI_KEY_POWER_S:
        declination_save(d);
        vesk_page_go_home();
        return RET_STOP;
    default:
        break;
    }
    return RET_STOP;
}

ret_t magnetic_declination_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    declination_page_t *d = page_state_new<declination_page_t>(win, DECLINATION_PAGE_KEY);
    int stored = stDevStatus.s16CompassMagnetic;
    d->signal = stored <= 0 ? 1 : 0;
    int a = abs(stored);
    /* Three digits hold 99.9 degrees at most. */
    if (a > 999) a = 999;
    d->magnetic_number1 = (uint8_t)(a / 100);
    d->magnetic_number2 = (uint8_t)((a - 100 * d->magnetic_number1) / 10);
    d->magnetic_number3 = (uint8_t)(a % 10);
    declination_write(win, d);
    declination_draw_cursor(win, d);
    widget_on(win, EVT_KEY_DOWN, on_declination_key, win);
    vesk_page_bind_close(win, NULL);
    return RET_OK;
}
