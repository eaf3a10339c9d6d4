// The main menu: eight rows of icon and arrow, two pages, the reticle-menu
// switch that hides the second page.
#include "main_menu.h"

#include <string.h>

#include "home_page.h"
#include "list_menu.h"
#include "navigator.h"
#include "pages.h"
#include "ui_events.h"
#include "ui_keys.h"
#include "ui_senders.h"
#include "ui_status.h"
#include "vesk_page.h"

int32_t image_menu_index = 1;
int32_t compass_menu_index = 1;
int32_t reticle_menu_index = 1;

typedef void (*main_menu_key_t)(widget_t *win, widget_t *arrow, uint32_t key);
typedef void (*main_menu_init_t)(widget_t *win, widget_t *arrow);

typedef struct {
    const char *img_name;
    const char *def_img;
    const char *sel_img;
    const char *arrow_name;
    /* NULL: the arrow is a text label, styled instead. */
    const char *def_arrow_img;
    const char *sel_arrow_img;
    const char *title_locale_key;
    main_menu_key_t on_key_event;
    main_menu_init_t on_init;
    widget_t *img_widget;
    widget_t *arrow_widget;
} main_menu_item_t;

#define MAIN_MENU_ROWS 8
/* Rows 7 and 8 (zero and recoil video) only with the reticle-menu switch on. */
#define MAIN_MENU_ROWS_SHORT 6
#define MAIN_MENU_WIFI_ROW 2
#define MAIN_MENU_ARROW_DEF_STYLE "FFFFFF_32_Medium_left"
#define MAIN_MENU_ARROW_SEL_STYLE "00E6BB_32_Medium_left"

/* The sub-menu replaces the main menu. */
static void open_child(const char *child, int32_t *child_index, uint32_t key)
{
    if (!list_menu_is_link_key(key)) return;
    if (child_index != NULL) *child_index = 1;
    list_menu_replace(child, 0);
}

static void on_image(widget_t *win, widget_t *arrow, uint32_t key)
{
    (void)win, (void)arrow;
    open_child("image_menu", &image_menu_index, key);
}

static void wifi_write(widget_t *arrow)
{
    if (arrow != NULL) widget_set_text_utf8(arrow, list_menu_switch_text(stDevStatus.s8WiFiSwitch == 1));
}

static void on_wifi_init(widget_t *win, widget_t *arrow)
{
    (void)win;
    wifi_write(arrow);
}

static void on_wifi(widget_t *win, widget_t *arrow, uint32_t key)
{
    (void)win, (void)key;
    stDevStatus.s8WiFiSwitch = stDevStatus.s8WiFiSwitch == 1 ? 0 : 1;
    wifi_write(arrow);
    GUI_SEND_WIFI_MSG(0);
}

static void on_compass(widget_t *win, widget_t *arrow, uint32_t key)
{
    (void)win, (void)arrow;
    open_child("compass_menu", &compass_menu_index, key);
}

static void on_file(widget_t *win, widget_t *arrow, uint32_t key)
{
    (void)win, (void)arrow;
    if (!list_menu_is_link_key(key)) return;
    if (stUIStatus.s8RecordingState == 1 || home_rav_running()) {
        event_distrubution(UI_EVT(UI_EV_RECORDING_TIP));
        return;
    }
    if (stUIStatus.s8RangeMode == 3) GUI_SEND_DISTANCE_FUNCTION_MSG(DISTANCE_RANGE_OPERATION, 0);
    /* On top: leaving the browser comes back here. */
    navigator_to("file_menu");
}

static void on_pixel(widget_t *win, widget_t *arrow, uint32_t key)
{
    (void)win, (void)arrow;
    open_child("pixel_menu", NULL, key);
}

static void on_settings(widget_t *win, widget_t *arrow, uint32_t key)
{
    (void)win, (void)arrow;
    open_child("setting_menu", NULL, key);
}

static void on_zero(widget_t *win, widget_t *arrow, uint32_t key)
{
    (void)win, (void)arrow;
    open_child("reticle_menu", &reticle_menu_index, key);
}

static void on_rav(widget_t *win, widget_t *arrow, uint32_t key)
{
    (void)win, (void)arrow;
    open_child("rav_menu", NULL, key);
}

#define ROW(img, word, arrow, title, key_fn, init_fn)                                                                  \
    {                                                                                                                  \
        img, "ic_menu1_" word "_def", "ic_menu1_" word "_sel", arrow, "ic_menu1_arrow_def", "ic_menu1_arrow_sel",      \
            title, key_fn, init_fn, NULL, NULL                                                                         \
    }

static main_menu_item_t s_main_menu_items[MAIN_MENU_ROWS] = {
    ROW("image_menu_image", "image", "image_menu_image_enter", "Image", on_image, NULL),
    {"image_menu_WIFI", "ic_menu1_wifi_def", "ic_menu1_wifi_sel", "lable_menu_WIFI_switch", NULL, NULL, "Wi-Fi",
     on_wifi, on_wifi_init, NULL, NULL},
    ROW("image_menu_compass", "motion", "compass_menu_set_enter", "Compass", on_compass, NULL),
    ROW("image_menu_file", "file", "image_menu_file_enter", "File", on_file, NULL),
    ROW("image_menu_pix", "badpixel", "image_menu_pix_enter", "Dead Pixel Correction", on_pixel, NULL),
    ROW("image_menu_set", "setting", "image_menu_set_enter", "Settings", on_settings, NULL),
    ROW("image_menu_reticle", "reticle", "image_menu_reticle_enter", "Zero", on_zero, NULL),
    ROW("image_menu_RAV", "rav", "image_menu_RAV_enter", "Recoil Activated Video", on_rav, NULL),
};

static void show_arrow(const main_menu_item_t *row, bool_t selected)
{
    if (row->arrow_widget == NULL) return;
    const char *image = selected ? row->sel_arrow_img : row->def_arrow_img;
    if (image != NULL)
        image_base_set_image(row->arrow_widget, image);
    else
        widget_use_style(row->arrow_widget, selected ? MAIN_MENU_ARROW_SEL_STYLE : MAIN_MENU_ARROW_DEF_STYLE);
}

/* A WifiName of all 32 bytes has no terminator. */
static void write_wifi_name(widget_t *win)
{
    char name[sizeof(stUIStatus.WifiName) + 1];
    memcpy(name, stUIStatus.WifiName, sizeof(stUIStatus.WifiName));
    name[sizeof(stUIStatus.WifiName)] = '\0';
    vesk_page_set_text(win, "lable_menu_WIFI_name", name);
}

static void main_menu_draw(widget_t *win)
{
    int32_t i = menu_index;
    bool_t wifi_shown = i == MAIN_MENU_WIFI_ROW && stDevStatus.s8WiFiSwitch == 1;
    if (wifi_shown) write_wifi_name(win);
    vesk_page_set_visible(win, "lable_menu_WIFI_name", wifi_shown);

    for (int r = 0; r < MAIN_MENU_ROWS; r++) {
        main_menu_item_t *row = &s_main_menu_items[r];
        if (row->img_widget != NULL) image_base_set_image(row->img_widget, row->def_img);
        show_arrow(row, FALSE);
    }
    if (i >= 1 && i <= MAIN_MENU_ROWS) {
        main_menu_item_t *row = &s_main_menu_items[i - 1];
        if (row->img_widget != NULL) image_base_set_image(row->img_widget, row->sel_img);
        show_arrow(row, TRUE);
        vesk_page_set_text(win, "label_menu_title", locale_info_tr(locale_info(), row->title_locale_key));
    }
    bool_t first_page = i <= MAIN_MENU_ROWS_SHORT;
    vesk_page_set_visible(win, "view_page1", first_page);
    vesk_page_set_visible(win, "view_page2", !first_page);
    vesk_page_set_image(win, "image_page", first_page ? "ic_page1" : "ic_page2");
    vesk_page_set_visible(win, "image_page", stDevStatus.s8ReticleMenuSwitch != 0);
}

static uint32_t main_menu_rows(void)
{
    return stDevStatus.s8ReticleMenuSwitch != 0 ? MAIN_MENU_ROWS : MAIN_MENU_ROWS_SHORT;
}

static void main_menu_row_key(widget_t *win, uint32_t key)
{
    int32_t i = menu_index;
    if (i < 1 || i > MAIN_MENU_ROWS) return;
    main_menu_item_t *row = &s_main_menu_items[i - 1];
    if (row->on_key_event != NULL) row->on_key_event(win, row->arrow_widget, key);
}

/* 'P': the reticle-menu switch; ballistics and recoil video go off with it. */
static ret_t main_menu_other_key(widget_t *win, uint32_t key)
{
    if (key != GUI_KEY_UP_DOWN_FUCTION) return RET_NOT_FOUND;
    bool_t was_on = stDevStatus.s8ReticleMenuSwitch != 0;
    stDevStatus.s8ReticleMenuSwitch = was_on ? 0 : 1;
    if (was_on && info[0].ballistics_sw == 1) {
        info[0].ballistics_sw = 0;
        GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_OPEN_CALCU, 0);
    }
    GUI_SEND_RETICLE_MSG(RETICLE_MENU_SWITCH);
    if (stDevStatus.s8RecoilState == 1 && stDevStatus.s8ReticleMenuSwitch == 0) {
        stDevStatus.s8RecoilState = 0;
        GUI_SEND_RECOIL_MSG(RECOIL_SWITCH);
    }
    vesk_page_set_visible(win, "image_page", stDevStatus.s8ReticleMenuSwitch != 0);
    navigator_back();
    return RET_OK;
}

static const list_menu_t s_main_menu = {
    NULL, &menu_index, main_menu_rows, main_menu_row_key, main_menu_draw, TRUE, main_menu_other_key, NULL,
    NULL, 0,           NULL,
};

static ret_t on_wifi_name(void *ctx, event_t *e)
{
    (void)e;
    widget_t *win = WIDGET(ctx);
    if (vesk_page_widget(win, "lable_menu_WIFI_name") != NULL) write_wifi_name(win);
    return RET_OK;
}

ret_t main_menu_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    for (int r = 0; r < MAIN_MENU_ROWS; r++) {
        main_menu_item_t *row = &s_main_menu_items[r];
        row->img_widget = vesk_page_widget(win, row->img_name);
        row->arrow_widget = vesk_page_widget(win, row->arrow_name);
        if (row->on_init != NULL) row->on_init(win, row->arrow_widget);
    }
    main_menu_draw(win);
    list_menu_bind(win, &s_main_menu);
    static const int events[] = {UI_EV_WIFI_NAME};
    vesk_page_subscribe(win, events, ARRAY_SIZE(events), on_wifi_name);
    vesk_page_bind_close(win, NULL);
    return RET_OK;
}
