#include "shortcut_menu.h"

#include "list_menu.h"
#include "pages.h"
#include "ui_keys.h"
#include "ui_senders.h"
#include "ui_status.h"
#include "utils_common.h"
#include "vesk_page.h"

#define SHORTCUT_VALUE_SEL "00E6BB_32_Medium_left"
#define SHORTCUT_VALUE_DEF "FFFFFF_32_Medium_left"
#define SHORTCUT_PALETTE_ROW 2
/* Each setting has a column of the panel; a value never leaves its own. */
#define SHORTCUT_COLUMN_W 160

static int32_t menu_index = 1;
static int mode_value = 1;
static int palette_index = 0;
static int bright_value = 5;
static int contrast_value = 5;
static int enhance_value = 3;
static int screen_value = 5;

typedef enum { SEND_INFRARED, SEND_BASIC } shortcut_sender_t;

typedef struct {
    const char *title;
    int min_val, max_val, def_val;
    int *value;
    char *mirror;
    shortcut_sender_t sender;
    int item;
    const char *icon_name;
    const char *icon_sel;
    const char *icon_def;
    const char *value_name;
} shortcut_row_t;

static const shortcut_row_t s_rows[SHORTCUT_MENU_ROWS] = {
    {"Mode", 1, 3, 1, &mode_value, &stDevStatus.s8IrScene, SEND_INFRARED, INFRARED_SCENE, "image_mode",
     "ic_menuimage_scene_sel", "ic_menuimage_scene_def", "label_mode_value"},
    {"Palette", 0, 4, 0, &palette_index, &stDevStatus.s8IrPolarity, SEND_INFRARED, INFRARED_POLARITY, "image_palette",
     "ic_menuimage_palette_sel", "ic_menuimage_palette_def", "image_palette_value"},
    {"Bright", 1, 10, 5, &bright_value, &stDevStatus.s8IrBrightness, SEND_INFRARED, INFRARED_LIGHT, "image_bright",
     "ic_menu2_imgbrightness_sel", "ic_menu2_imgbrightness_def", "label_bright_value"},
    {"Contrast", 1, 10, 5, &contrast_value, &stDevStatus.s8IrContrast, SEND_INFRARED, INFRARED_CONTRACT,
     "image_contrast", "ic_menuimage_contrast_sel", "ic_menuimage_contrast_def", "label_contrast_value"},
    {"Enhance", 1, 5, 3, &enhance_value, &stDevStatus.s8IrEnchance, SEND_INFRARED, INFRARED_ENHANCE, "image_enhance",
     "ic_menuimage_enhance_sel", "ic_menuimage_enhance_def", "label_enhance_value"},
    {"Screen Bright", 1, 10, 5, &screen_value, &stDevStatus.s8ScreenBrightness, SEND_BASIC, BASIC_SCREEN_LIGHT,
     "image_screen_bright", "ic_menuimage_brightness_sel", "ic_menuimage_brightness_def", "label_screen_bright_value"},
};

static const char *const s_scene_names[] = {"Forest", "Rainy", "Ultra Clear"};
static const char *const s_palette_names[] = {"White Hot", "Black Hot", "Red Hot", "Red Monochrome",
                                              "Green Monochrome"};
static const char *const s_palette_sel[] = {"palette_whitehot_sel", "palette_blackhot_sel", "palette_redhot_sel",
                                            "palette_red_sel", "palette_green_sel"};
static const char *const s_palette_def[] = {"palette_whitehot_def", "palette_blackhot_def", "palette_redhot_def",
                                            "palette_red_def", "palette_green_def"};

static const shortcut_row_t *row_of(int row) { return row >= 1 && row <= SHORTCUT_MENU_ROWS ? &s_rows[row - 1] : NULL; }

static const char *tr(const char *key) { return locale_info_tr(locale_info(), key); }

/* The value styles align left; the label is made as wide as its text and
 * centred under the row's icon, so a value of any length in any language
 * stands under the setting it belongs to. */
static void centre_under_icon(widget_t *win, const shortcut_row_t *r, const char *text)
{
    widget_t *label = vesk_page_widget(win, r->value_name);
    widget_t *icon = vesk_page_widget(win, r->icon_name);
    canvas_t *c = widget_get_canvas(win);
    if (c == NULL) c = widget_get_canvas(window_manager());
    if (label == NULL || icon == NULL || c == NULL) return;
    canvas_set_font(c, widget_get_style_str(label, STYLE_ID_FONT_NAME, NULL),
                    (uint16_t)widget_get_style_int(label, STYLE_ID_FONT_SIZE, 32));
    int w = (int)(canvas_measure_utf8(c, text) + 0.99f) + 2;
    if (w > SHORTCUT_COLUMN_W) w = SHORTCUT_COLUMN_W;
    int centre = icon->x + icon->w / 2;
    widget_move_resize(label, (xy_t)(centre - w / 2), label->y, (wh_t)w, label->h);
}

int get_menu_value(int row)
{
    const shortcut_row_t *r = row_of(row);
    return r != NULL ? *r->value : 0;
}

void set_menu_value(int row, int value)
{
    const shortcut_row_t *r = row_of(row);
    if (r != NULL) *r->value = value;
}

void send_menu_command(int row)
{
    const shortcut_row_t *r = row_of(row);
    if (r == NULL) return;
    *r->mirror = (char)*r->value;
    if (r->sender == SEND_BASIC)
        GUI_SEND_BASIC_FUNCTION_MSG(r->item);
    else
        GUI_SEND_INFRARED_MSG(r->item);
}

void on_menu_display(widget_t *win)
{
    for (int row = 1; row <= SHORTCUT_MENU_ROWS; row++) {
        const shortcut_row_t *r = row_of(row);
        bool_t current = row == menu_index;
        vesk_page_set_image(win, r->icon_name, current ? r->icon_sel : r->icon_def);
        int v = *r->value;
        if (row == SHORTCUT_PALETTE_ROW) {
            if (v >= r->min_val && v <= r->max_val)
                vesk_page_set_image(win, r->value_name, current ? s_palette_sel[v] : s_palette_def[v]);
            continue;
        }
        char text[64];
        if (row == 1 && v >= r->min_val && v <= r->max_val)
            vesk_utf8_copy(text, sizeof text, tr(s_scene_names[v - 1]));
        else
            vesk_utf8_format(text, sizeof text, "%d", v);
        vesk_page_set_style(win, r->value_name, current ? SHORTCUT_VALUE_SEL : SHORTCUT_VALUE_DEF);
        vesk_page_set_text(win, r->value_name, text);
        centre_under_icon(win, r, text);
    }
    const shortcut_row_t *cur = row_of(menu_index);
    const char *title = cur != NULL ? cur->title : "";
    if (menu_index == SHORTCUT_PALETTE_ROW && palette_index >= 0 && palette_index <= 4)
        title = s_palette_names[palette_index];
    vesk_page_set_text(win, "label_menu_title", tr(title));
}

static uint32_t shortcut_rows(void) { return SHORTCUT_MENU_ROWS; }

/* ',' ']' up and '[' down, wrapping; the new value goes out at once. */
static void shortcut_row_key(widget_t *win, uint32_t key)
{
    (void)win;
    const shortcut_row_t *r = row_of(menu_index);
    if (r == NULL) return;
    set_menu_value(menu_index, list_menu_step(*r->value, r->min_val, r->max_val, key));
    send_menu_command(menu_index);
}

/* Long OK leaves for the home page, as the power key does. */
static ret_t shortcut_key_first(widget_t *win, uint32_t key)
{
    (void)win;
    if (key != GUI_KEY_MID_L) return RET_NOT_FOUND;
    vesk_page_go_home();
    return RET_OK;
}

static const list_menu_t s_shortcut_menu = {
    NULL, &menu_index, shortcut_rows, shortcut_row_key, on_menu_display, TRUE, NULL, shortcut_key_first, NULL, 0, NULL,
};

ret_t QZ_shortcut_menu_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    menu_index = 1;
    for (const shortcut_row_t &r : s_rows) {
        int v = (int)*r.mirror;
        *r.value = v >= r.min_val && v <= r.max_val ? v : r.def_val;
    }
    on_menu_display(win);
    vesk_page_bind_close(win, NULL);
    list_menu_bind(win, &s_shortcut_menu);
    return RET_OK;
}
