// "image_menu": scene mode, palette, image brightness, contrast,
// enhancement and screen brightness. Each step stores the new value in the
// device mirror and sends it at once, so the thermal image follows the key.
#include <stdio.h>

#include "list_menu.h"
#include "main_menu.h"
#include "pages.h"
#include "ui_senders.h"
#include "ui_status.h"
#include "vesk_page.h"

typedef void (*image_menu_key_t)(widget_t *win, widget_t *value, uint32_t key);
typedef void (*image_menu_refresh_t)(widget_t *win, widget_t *value, bool_t selected);

typedef struct {
    const char *lab_name;
    const char *value_name;
    const char *title_locale_key;
    image_menu_key_t on_key_event;
    image_menu_refresh_t on_refresh;
    widget_t *name_widget;
    widget_t *value_widget;
} image_menu_item_t;

#define IMAGE_MENU_ROWS 6
#define IMAGE_MENU_PALETTE_ROW 2
#define IMAGE_MENU_ROW_H 56
#define IMAGE_MENU_BAR_Y 472

/* A value row's setting: where it lives, its range and default, and how it
 * reaches the device. */
typedef struct {
    char *value;
    int minimum, maximum, fallback;
    int (*send)(int item);
    int item;
} image_setting_t;

static const char *const s_scene_names[] = {"Forest", "Rainy", "Ultra Clear"};
static const char *const s_palette_names[] = {"White Hot", "Black Hot", "Red Hot", "Red Monochrome",
                                              "Green Monochrome"};
static const char *const s_palette_images[] = {"palette_whitehot", "palette_blackhot", "palette_redhot", "palette_red",
                                               "palette_green"};

static const image_setting_t s_settings[IMAGE_MENU_ROWS] = {
    {&stDevStatus.s8IrScene, 1, 3, 1, GUI_SEND_INFRARED_MSG, INFRARED_SCENE},
    {&stDevStatus.s8IrPolarity, 0, 4, 0, GUI_SEND_INFRARED_MSG, INFRARED_POLARITY},
    {&stDevStatus.s8IrBrightness, 1, 10, 5, GUI_SEND_INFRARED_MSG, INFRARED_LIGHT},
    {&stDevStatus.s8IrContrast, 1, 10, 5, GUI_SEND_INFRARED_MSG, INFRARED_CONTRACT},
    {&stDevStatus.s8IrEnchance, 1, 5, 3, GUI_SEND_INFRARED_MSG, INFRARED_ENHANCE},
    {&stDevStatus.s8ScreenBrightness, 1, 10, 5, GUI_SEND_BASIC_FUNCTION_MSG, BASIC_SCREEN_LIGHT},
};

/* The stored value, or the row's default when it is out of range. */
static int setting_value(const image_setting_t *s)
{
    int v = (uint8_t)*s->value;
    return v < s->minimum || v > s->maximum ? s->fallback : v;
}

static const image_setting_t *setting_of(widget_t *value);

static void step_setting(widget_t *win, widget_t *value, uint32_t key)
{
    (void)win;
    const image_setting_t *s = setting_of(value);
    if (s == NULL) return;
    *s->value = (char)list_menu_step(setting_value(s), s->minimum, s->maximum, key);
    s->send(s->item);
}

static void style_value(widget_t *value, bool_t selected)
{
    if (value != NULL) widget_use_style(value, selected ? LIST_MENU_VALUE_SEL : LIST_MENU_VALUE_DEF);
}

static void refresh_scene(widget_t *win, widget_t *value, bool_t selected)
{
    (void)win;
    if (value == NULL) return;
    int v = setting_value(&s_settings[0]);
    widget_set_text_utf8(value, locale_info_tr(locale_info(), s_scene_names[v - 1]));
    style_value(value, selected);
}

static void refresh_palette(widget_t *win, widget_t *value, bool_t selected)
{
    (void)win;
    if (value == NULL) return;
    char name[48];
    snprintf(name, sizeof name, "%s%s", s_palette_images[setting_value(&s_settings[1])], selected ? "_sel" : "_def");
    image_base_set_image(value, name);
}

static void refresh_number(widget_t *win, widget_t *value, bool_t selected)
{
    (void)win;
    const image_setting_t *s = setting_of(value);
    if (s == NULL) return;
    char text[8];
    snprintf(text, sizeof text, "%d", setting_value(s));
    widget_set_text_utf8(value, text);
    style_value(value, selected);
}

static image_menu_item_t s_image_menu_items[IMAGE_MENU_ROWS] = {
    {"label_mode_name", "label_mode_value", "Mode", step_setting, refresh_scene, NULL, NULL},
    {"label_palette_name", "image_palette_value", "Palette", step_setting, refresh_palette, NULL, NULL},
    {"label_bright_name", "label_bright_value", "Bright", step_setting, refresh_number, NULL, NULL},
    {"label_contrast_name", "label_contrast_value", "Contrast", step_setting, refresh_number, NULL, NULL},
    {"label_enhance_name", "label_enhance_value", "Enhance", step_setting, refresh_number, NULL, NULL},
    {"label_screen_bright_name", "label_screen_bright_value", "Screen Bright", step_setting, refresh_number, NULL,
     NULL},
};

static const image_setting_t *setting_of(widget_t *value)
{
    if (value == NULL) return NULL;
    for (int r = 0; r < IMAGE_MENU_ROWS; r++)
        if (s_image_menu_items[r].value_widget == value) return &s_settings[r];
    return NULL;
}

static void image_menu_draw(widget_t *win)
{
    int32_t i = image_menu_index;
    widget_t *bar = vesk_page_widget(win, "view_image_sel");
    if (bar != NULL) widget_move(bar, bar->x, (i - 1) * IMAGE_MENU_ROW_H + IMAGE_MENU_BAR_Y);
    for (int r = 0; r < IMAGE_MENU_ROWS; r++) {
        image_menu_item_t *row = &s_image_menu_items[r];
        bool_t selected = r + 1 == i;
        if (row->name_widget != NULL)
            widget_use_style(row->name_widget, selected ? LIST_MENU_LABEL_SEL : LIST_MENU_LABEL_DEF);
        row->on_refresh(win, row->value_widget, selected);
    }
    if (i < 1 || i > IMAGE_MENU_ROWS) return;
    const char *title = s_image_menu_items[i - 1].title_locale_key;
    if (i == IMAGE_MENU_PALETTE_ROW) {
        uint8_t palette = (uint8_t)stDevStatus.s8IrPolarity;
        /* An unknown palette has no name: the title stays as it was. */
        if (palette >= ARRAY_SIZE(s_palette_names)) return;
        title = s_palette_names[palette];
    }
    vesk_page_set_text(win, "label_menu_title", locale_info_tr(locale_info(), title));
}

static uint32_t image_menu_rows(void) { return IMAGE_MENU_ROWS; }

static void image_menu_row_key(widget_t *win, uint32_t key)
{
    int32_t i = image_menu_index;
    if (i < 1 || i > IMAGE_MENU_ROWS) return;
    image_menu_item_t *row = &s_image_menu_items[i - 1];
    row->on_key_event(win, row->value_widget, key);
}

static const list_menu_t s_image_menu = {
    NULL, &image_menu_index, image_menu_rows, image_menu_row_key, image_menu_draw, TRUE, NULL, NULL, "main_menu", 0,
    NULL,
};

ret_t image_menu_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    image_menu_index = 1;
    for (int r = 0; r < IMAGE_MENU_ROWS; r++) {
        image_menu_item_t *row = &s_image_menu_items[r];
        row->name_widget = vesk_page_widget(win, row->lab_name);
        row->value_widget = vesk_page_widget(win, row->value_name);
    }
    image_menu_draw(win);
    list_menu_bind(win, &s_image_menu);
    vesk_page_bind_close(win, NULL);
    return RET_OK;
}
