// "reticle_menu": the reticle's type, colour and brightness, the profile
// group, and the links to the zero adjustment and the group's ballistic
// page. The menu works on 1-based copies of the mirror's values, kept in
// step with it on every change; it opens at the row its opener chose.
#include <stdio.h>

#include "list_menu.h"
#include "main_menu.h"
#include "pages.h"
#include "ui_keys.h"
#include "ui_senders.h"
#include "ui_status.h"
#include "vesk_page.h"
#include "zero_pages.h"

typedef void (*reticle_menu_key_t)(widget_t *win, widget_t *value, uint32_t key);
typedef void (*reticle_menu_update_t)(widget_t *win, widget_t *value, bool_t selected);
typedef void (*reticle_menu_row_init_t)(void);

typedef struct {
    const char *img_name;
    const char *def_img;
    const char *sel_img;
    const char *value_name;
    const char *title_locale_key;
    reticle_menu_key_t on_key_event;
    reticle_menu_update_t on_update;
    reticle_menu_row_init_t on_init;
    widget_t *img_widget;
    widget_t *value_widget;
} reticle_menu_item_t;

#define RETICLE_MENU_ROWS 6
#define RETICLE_TYPES 6
#define RETICLE_COLOURS 6
#define RETICLE_LIGHTS 5
#define RETICLE_GROUPS VESK_PROFILE_COUNT
static uint8_t reticle_type = 1;
static uint8_t reticle_color = 1;
static uint8_t reticle_light = 1;
static uint8_t reticle_group = 1;

static const char *const s_colour_names[RETICLE_COLOURS] = {"white", "black", "green", "red", "blue", "invert"};

/* A 1-based working value from a 0-based mirror field: 1 for anything
 * beyond the last. */
static uint8_t working_value(char stored, int count)
{
    uint8_t v = (uint8_t)stored;
    return v < count ? (uint8_t)(v + 1) : 1;
}

static void init_type(void) { reticle_type = working_value(stDevStatus.s8ReticleType, RETICLE_TYPES); }
static void init_color(void) { reticle_color = working_value(stDevStatus.s8ReticleColour, RETICLE_COLOURS); }
static void init_light(void) { reticle_light = working_value(stDevStatus.s8ReticleBrightness, RETICLE_LIGHTS); }
static void init_group(void) { reticle_group = working_value((char)IR_Cursor.u8CurrentGroup, RETICLE_GROUPS); }

/* Rows 1 to 3: one step with wrap, into the mirror (0-based), and sent. */
static void step_value(uint8_t *value, int count, char *stored, int item, uint32_t key)
{
    if (key != GUI_KEY_LEFT_S && key != GUI_KEY_RIGHT_S && key != GUI_KEY_MID_S) return;
    *value = (uint8_t)list_menu_step(*value, 1, count, key);
    *stored = (char)(*value - 1);
    GUI_SEND_RETICLE_MSG(item);
}

static void key_type(widget_t *win, widget_t *value, uint32_t key)
{
    (void)win, (void)value;
    step_value(&reticle_type, RETICLE_TYPES, &stDevStatus.s8ReticleType, RETICLE_TYPE, key);
}
static void key_color(widget_t *win, widget_t *value, uint32_t key)
{
    (void)win, (void)value;
    step_value(&reticle_color, RETICLE_COLOURS, &stDevStatus.s8ReticleColour, RETICLE_COLOR, key);
}
static void key_light(widget_t *win, widget_t *value, uint32_t key)
{
    (void)win, (void)value;
    step_value(&reticle_light, RETICLE_LIGHTS, &stDevStatus.s8ReticleBrightness, RETICLE_LIGHT, key);
}

/* A new group starts on its first zero; with ballistics on, sightd is told
 * to recalculate for it. */
static void key_group(widget_t *win, widget_t *value, uint32_t key)
{
    (void)win, (void)value;
    reticle_group = (uint8_t)list_menu_step(reticle_group, 1, RETICLE_GROUPS, key);
    IR_Cursor.u8CurrentGroup = (uint8_t)(reticle_group - 1);
    IR_Cursor.group[reticle_group - 1].u8CurrentZero = 0;
    GUI_SEND_RETICLE_MSG(RETICLE_GROUP);
    if (info[0].ballistics_sw == 1) GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_OPEN_CALCU, 1);
}

static void key_zero(widget_t *win, widget_t *value, uint32_t key)
{
    (void)win, (void)value;
    if (!list_menu_is_link_key(key)) return;
    QZ_reticle_zero_child_index = 1;
    list_menu_replace("QZ_reticle_zero_child", 0);
}

static void key_bullet(widget_t *win, widget_t *value, uint32_t key)
{
    (void)win, (void)value;
    if (list_menu_is_link_key(key)) list_menu_replace("ballistic_group_info", 0);
}

static void style_text(widget_t *value, bool_t selected)
{
    widget_set_style_str(value, "normal:text_color", selected ? "#00E6BB" : "#FFFFFF");
    widget_set_style_str(value, "normal:font_name", selected ? "Roboto_Medium" : "Roboto_Regular");
}

static void show_number(widget_t *value, int n, bool_t selected)
{
    if (value == NULL) return;
    char text[8];
    snprintf(text, sizeof text, "%d", n);
    widget_set_text_utf8(value, text);
    style_text(value, selected);
}

static void update_type(widget_t *win, widget_t *value, bool_t selected)
{
    (void)win;
    show_number(value, reticle_type, selected);
}
static void update_light(widget_t *win, widget_t *value, bool_t selected)
{
    (void)win;
    show_number(value, reticle_light, selected);
}

static void update_color(widget_t *win, widget_t *value, bool_t selected)
{
    (void)win;
    if (value == NULL || reticle_color < 1 || reticle_color > RETICLE_COLOURS) return;
    char name[48];
    snprintf(name, sizeof name, "hold_ic_reticle_%s%s", s_colour_names[reticle_color - 1], selected ? "_sel" : "_def");
    image_base_set_image(value, name);
}

static void update_group(widget_t *win, widget_t *value, bool_t selected)
{
    (void)win;
    if (value == NULL || reticle_group < 1 || reticle_group > RETICLE_GROUPS) return;
    char text[2] = {(char)('A' + reticle_group - 1), '\0'};
    widget_set_text_utf8(value, text);
    style_text(value, selected);
}

static void update_link(widget_t *win, widget_t *value, bool_t selected)
{
    (void)win;
    if (value != NULL) image_base_set_image(value, selected ? "ic_menu1_arrow_sel" : "ic_menu1_arrow_def");
}

#define ROW(img, word, value, title, key_fn, update_fn, init_fn)                                                       \
    {                                                                                                                  \
        img, "ic_menureticle_" word "_def", "ic_menureticle_" word "_sel", value, title, key_fn, update_fn, init_fn,   \
            NULL, NULL                                                                                                 \
    }

static reticle_menu_item_t s_reticle_menu_items[RETICLE_MENU_ROWS] = {
    ROW("image_reticle_type", "type", "lable_reticle_type", "Type", key_type, update_type, init_type),
    ROW("image_reticle_color", "color", "image_reticle_color_sel", "Color", key_color, update_color, init_color),
    ROW("image_reticle_brightness", "bright", "label_reticle_brightness_sel", "Brightness", key_light, update_light,
        init_light),
    ROW("image_reticle_group", "group", "label_reticle_group_sel", "Groups", key_group, update_group, init_group),
    ROW("image_reticle_zero", "zero", "image_reticle_zero_enter", "Movement", key_zero, update_link, NULL),
    ROW("image_reticle_bullet", "bullet", "image_reticle_bullet_enter", "Ballistic", key_bullet, update_link, NULL),
};

static void reticle_menu_draw(widget_t *win)
{
    int32_t i = reticle_menu_index;
    for (int r = 0; r < RETICLE_MENU_ROWS; r++) {
        reticle_menu_item_t *row = &s_reticle_menu_items[r];
        bool_t selected = r + 1 == i;
        if (row->img_widget != NULL) image_base_set_image(row->img_widget, selected ? row->sel_img : row->def_img);
        row->on_update(win, row->value_widget, selected);
    }
    if (i >= 1 && i <= RETICLE_MENU_ROWS)
        vesk_page_set_text(win, "label_menu_title",
                           locale_info_tr(locale_info(), s_reticle_menu_items[i - 1].title_locale_key));
}

static uint32_t reticle_menu_rows(void) { return RETICLE_MENU_ROWS; }

static void reticle_menu_row_key(widget_t *win, uint32_t key)
{
    int32_t i = reticle_menu_index;
    if (i < 1 || i > RETICLE_MENU_ROWS) return;
    reticle_menu_item_t *row = &s_reticle_menu_items[i - 1];
    row->on_key_event(win, row->value_widget, key);
}

static const list_menu_t s_reticle_menu = {
    NULL,
    &reticle_menu_index,
    reticle_menu_rows,
    reticle_menu_row_key,
    reticle_menu_draw,
    TRUE,
    NULL,
    NULL,
    "main_menu",
    0,
    NULL,
};

ret_t reticle_menu_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    for (int r = 0; r < RETICLE_MENU_ROWS; r++) {
        reticle_menu_item_t *row = &s_reticle_menu_items[r];
        row->img_widget = vesk_page_widget(win, row->img_name);
        row->value_widget = vesk_page_widget(win, row->value_name);
        if (row->on_init != NULL) row->on_init();
    }
    reticle_menu_draw(win);
    list_menu_bind(win, &s_reticle_menu);
    vesk_page_bind_close(win, NULL);
    return RET_OK;
}
