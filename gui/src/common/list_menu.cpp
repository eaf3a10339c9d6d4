#include "list_menu.h"

#include "navigator.h"
#include "ui_keys.h"
#include "vesk_log.h"
#include "vesk_page.h"

#define LIST_MENU_LOG_TAG "menu"

/* The menu window whose next paint is logged (at debug level): the one a
 * key acted on or the one just opened, so that the time from a key to the
 * menu it leads to being on screen can be read from the log. */
static widget_t *s_paint_pending;

int32_t list_menu_index(const list_menu_t *menu)
{
    if (menu->index_u8 != NULL) return *menu->index_u8;
    return menu->index_i32 != NULL ? *menu->index_i32 : 1;
}

void list_menu_set_index(const list_menu_t *menu, int32_t index)
{
    if (menu->index_u8 != NULL) *menu->index_u8 = (uint8_t)index;
    if (menu->index_i32 != NULL) *menu->index_i32 = index;
}

ret_t list_menu_on_key(widget_t *win, const list_menu_t *menu, uint32_t key)
{
    return_value_if_fail(win != NULL && menu != NULL, RET_BAD_PARAMS);
    if (menu->on_key_first != NULL && menu->on_key_first(win, key) == RET_OK) return RET_OK;
    int32_t count = (int32_t)menu->row_count();
    int32_t index = list_menu_index(menu);
    switch (key) {
    case GUI_KEY_FOCUS_UP_S:
        list_menu_set_index(menu, index <= 1 || index > count ? count : index - 1);
        menu->draw(win);
        break;
    case GUI_KEY_FOCUS_DOWN_S:
        list_menu_set_index(menu, index >= count || index < 1 ? 1 : index + 1);
        menu->draw(win);
        break;
    case GUI_KEY_MID_S:
    case GUI_KEY_RIGHT_S:
    case GUI_KEY_LEFT_S:
        menu->on_row_key(win, key);
        /* A link row has closed the menu by now. */
        if (menu->redraw_after_row_key && widget_is_window_opened(win)) menu->draw(win);
        break;
    case GUI_KEY_MID_L:
        navigator_back();
        if (menu->parent != NULL) navigator_to_with_context(menu->parent, (void *)menu->parent_ctx);
        break;
    case GUI_KEY_POWER_S:
        if (menu->before_home != NULL) menu->before_home(win);
        vesk_page_go_home();
        break;
    default:
        if (menu->on_other_key != NULL) menu->on_other_key(win, key);
        break;
    }
    return RET_OK;
}

static ret_t on_menu_key(void *ctx, event_t *e)
{
    key_event_t *key = key_event_cast(e);
    widget_t *win = WIDGET(e->target != NULL ? widget_get_window(WIDGET(e->target)) : NULL);
    if (key == NULL || win == NULL) return RET_OK;
    vesk_log_printf(VESK_LOG_DETAIL, LIST_MENU_LOG_TAG, "key %c on %s", (char)key->key, win->name);
    s_paint_pending = win;
    return list_menu_on_key(win, (const list_menu_t *)ctx, key->key);
}

static ret_t on_menu_painted(void *ctx, event_t *e)
{
    (void)e;
    widget_t *win = WIDGET(ctx);
    if (win == s_paint_pending) {
        s_paint_pending = NULL;
        vesk_log_printf(VESK_LOG_DETAIL, LIST_MENU_LOG_TAG, "%s drawn", win->name);
    }
    return RET_OK;
}

static ret_t on_menu_destroy(void *ctx, event_t *e)
{
    (void)e;
    if (ctx == s_paint_pending) s_paint_pending = NULL;
    return RET_REMOVE;
}

ret_t list_menu_bind(widget_t *win, const list_menu_t *menu)
{
    return_value_if_fail(win != NULL && menu != NULL, RET_BAD_PARAMS);
    widget_on(win, EVT_KEY_DOWN, on_menu_key, (void *)menu);
    widget_on(win, EVT_AFTER_PAINT, on_menu_painted, win);
    widget_on(win, EVT_DESTROY, on_menu_destroy, win);
    s_paint_pending = win;
    return RET_OK;
}

bool_t list_menu_is_link_key(uint32_t key) { return key == GUI_KEY_MID_S || key == GUI_KEY_RIGHT_S; }

void list_menu_replace(const char *child, intptr_t ctx)
{
    navigator_back();
    navigator_to_with_context(child, (void *)ctx);
}

int list_menu_step(int value, int minimum, int maximum, uint32_t key)
{
    if (key == GUI_KEY_LEFT_S) return value <= minimum || value > maximum ? maximum : value - 1;
    return value >= maximum || value < minimum ? minimum : value + 1;
}

const char *list_menu_switch_text(int on) { return locale_info_tr(locale_info(), on ? "ON" : "OFF"); }
