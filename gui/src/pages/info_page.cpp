// "Info_menu", the scope's identity: product, part and serial numbers, the
// thermal sensor's version (read back from the build-identity file that
// sightd writes) and the software version.
#include "info_page.h"

#include <stdio.h>

#include "list_menu.h"
#include "navigator.h"
#include "pages.h"
#include "setting_menu.h"
#include "ui_keys.h"
#include "utils_common.h"
#include "vesk_page.h"

#define INFO_PRODUCT "VeskNV Nurax PRO 520 LRF"
#define INFO_SOFTWARE "v1.0.10-Vesk-T4"
#define INFO_VERSION_FILE "/tmp/apps.version"
#define INFO_FONT "Roboto_Regular"
#define INFO_FONT_SIZE 28
#define INFO_GAP 10

enum { VER_PN = 0, VER_SN = 1, VER_FPA2 = 3 };

typedef struct {
    const char *name_label;
    const char *value_label;
} info_row_t;

static const info_row_t s_info_rows[] = {
    {"label_PRODUCT", "PRODUCT_value"}, {"label_PN", "PN_value"}, {"label_SN", "SN_value"},
    {"label_FPA2", "FPA2_value"},       {"label_SW", "SW_value"},
};

/* The window the idle layout is for; cleared when it goes. */
static widget_t *s_info_win;

ret_t layout_info_row_pair(widget_t *win, const char *name_label, const char *value_label)
{
    widget_t *label_name = vesk_page_widget(win, name_label);
    widget_t *label_val = vesk_page_widget(win, value_label);
    return_value_if_fail(label_name != NULL && label_val != NULL, RET_BAD_PARAMS);
    char text[128];
    widget_get_text_utf8(label_name, text, sizeof text);
    canvas_t *c = widget_get_canvas(win);
    if (c == NULL) c = widget_get_canvas(window_manager());
    if (text[0] == '\0' || c == NULL) return RET_OK;
    canvas_set_font(c, INFO_FONT, INFO_FONT_SIZE);
    int w = (int)(canvas_measure_utf8(c, text) + 0.5f);
    if (w > 0) {
        widget_set_prop_int(label_name, "w", w);
        widget_move(label_val, (xy_t)(label_name->x + w + INFO_GAP), label_val->y);
    }
    return RET_OK;
}

void info_menu_update_all_labels(widget_t *win)
{
    for (size_t i = 0; i < ARRAY_SIZE(s_info_rows); i++)
        layout_info_row_pair(win, s_info_rows[i].name_label, s_info_rows[i].value_label);
}

static void set_value(widget_t *win, const char *name, const char *value)
{
    char text[32];
    vesk_utf8_copy(text, sizeof text, value);
    vesk_page_set_text(win, name, text);
}

static ret_t on_info_key(void *ctx, event_t *e)
{
    (void)ctx;
    key_event_t *key = key_event_cast(e);
    if (key == NULL) return RET_OK;
    if (key->key == GUI_KEY_MID_S || key->key == GUI_KEY_MID_L) {
        list_menu_replace("setting_menu", SETTING_ROW_INFO);
        return RET_STOP;
    }
    if (key->key == GUI_KEY_POWER_S) {
        vesk_page_go_home();
        return RET_STOP;
    }
    return RET_OK;
}

static ret_t on_info_open(void *ctx, event_t *e)
{
    (void)e;
    info_menu_update_all_labels(WIDGET(ctx));
    return RET_OK;
}

static ret_t on_info_idle(const idle_info_t *idle)
{
    if (idle->ctx == s_info_win && s_info_win != NULL) info_menu_update_all_labels(s_info_win);
    return RET_REMOVE;
}

static ret_t on_info_destroy(void *ctx, event_t *e)
{
    (void)e;
    if (ctx == s_info_win) s_info_win = NULL;
    return RET_REMOVE;
}

ret_t Info_menu_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    vesk_page_bind_named_keys(win, on_info_key);
    get_version(INFO_VERSION_FILE);
    set_value(win, "PRODUCT_value", INFO_PRODUCT);
    set_value(win, "PN_value", QZ_verArr[VER_PN]);
    set_value(win, "SN_value", QZ_verArr[VER_SN]);
    set_value(win, "FPA2_value", QZ_verArr[VER_FPA2]);
    set_value(win, "SW_value", INFO_SOFTWARE);
    s_info_win = win;
    info_menu_update_all_labels(win);
    widget_on(win, EVT_WINDOW_OPEN, on_info_open, win);
    widget_on(win, EVT_DESTROY, on_info_destroy, win);
    idle_add(on_info_idle, win);
    return RET_OK;
}
