#include "vesk_page.h"

#include "navigator.h"
#include "ui_events.h"
#include "ui_keys.h"
#include "ui_status.h"

ret_t vesk_page_subscribe(widget_t *win, const int *events, uint32_t count, event_func_t handler)
{
    return_value_if_fail(win != NULL && handler != NULL, RET_BAD_PARAMS);
    for (uint32_t i = 0; i < count; i++) widget_on(window_manager(), (uint32_t)UI_EVT(events[i]), handler, win);
    return RET_OK;
}

ret_t vesk_page_unsubscribe(widget_t *win) { return widget_off_by_ctx(window_manager(), win); }

typedef struct {
    widget_t *win;
    event_func_t on_close;
} vesk_page_close_t;

static ret_t on_page_close(void *ctx, event_t *e)
{
    vesk_page_close_t *close = (vesk_page_close_t *)ctx;
    vesk_page_unsubscribe(close->win);
    if (close->on_close != NULL) close->on_close(close->win, e);
    return RET_OK;
}

static ret_t on_page_destroy(void *ctx, event_t *e)
{
    (void)e;
    free(ctx);
    return RET_REMOVE;
}

ret_t vesk_page_bind_close(widget_t *win, event_func_t on_close)
{
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    vesk_page_close_t *close = (vesk_page_close_t *)malloc(sizeof(*close));
    return_value_if_fail(close != NULL, RET_OOM);
    close->win = win;
    close->on_close = on_close;
    widget_on(win, EVT_WINDOW_CLOSE, on_page_close, close);
    widget_on(win, EVT_DESTROY, on_page_destroy, close);
    return RET_OK;
}

const char *vesk_page_text_font(void)
{
    return tk_str_eq(locale_info()->language, "zh") ? "default" : "Roboto_Regular";
}

ret_t vesk_page_go_home(void) { return window_manager_back_to(window_manager(), VESK_HOME_PAGE); }

static ret_t on_plain_key(void *ctx, event_t *e)
{
    (void)ctx;
    key_event_t *key = key_event_cast(e);
    if (key == NULL) return RET_OK;
    if (key->key == GUI_KEY_MID_L) {
        navigator_back();
    } else if (key->key == GUI_KEY_POWER_S) {
        vesk_page_go_home();
    }
    return RET_OK;
}

typedef struct {
    widget_t *win;
    event_func_t handler;
} vesk_page_keys_t;

static ret_t bind_named_key(void *ctx, const void *data)
{
    const vesk_page_keys_t *keys = (const vesk_page_keys_t *)ctx;
    widget_t *w = WIDGET(data);
    if (w->name != NULL && *w->name != '\0') widget_on(w, EVT_KEY_DOWN, keys->handler, keys->win);
    return RET_OK;
}

ret_t vesk_page_bind_named_keys(widget_t *win, event_func_t handler)
{
    return_value_if_fail(win != NULL && handler != NULL, RET_BAD_PARAMS);
    vesk_page_keys_t keys = {win, handler};
    return widget_foreach(win, bind_named_key, &keys);
}

ret_t vesk_page_bind_plain_keys(widget_t *win)
{
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    widget_on(win, EVT_KEY_DOWN, on_plain_key, win);
    return RET_OK;
}

widget_t *vesk_page_widget(widget_t *win, const char *name)
{
    return win != NULL && name != NULL ? widget_lookup(win, name, TRUE) : NULL;
}

void vesk_page_set_style(widget_t *win, const char *name, const char *style)
{
    widget_t *w = vesk_page_widget(win, name);
    if (w != NULL) widget_use_style(w, style);
}

void vesk_page_set_text(widget_t *win, const char *name, const char *text)
{
    widget_t *w = vesk_page_widget(win, name);
    if (w != NULL) widget_set_text_utf8(w, text);
}

void vesk_page_set_visible(widget_t *win, const char *name, bool_t visible)
{
    widget_t *w = vesk_page_widget(win, name);
    if (w != NULL) widget_set_visible(w, visible);
}

void vesk_page_set_image(widget_t *win, const char *name, const char *image)
{
    widget_t *w = vesk_page_widget(win, name);
    if (w != NULL) image_base_set_image(w, image);
}

void vesk_page_set_state(widget_t *win, const char *name, const char *state)
{
    widget_t *w = vesk_page_widget(win, name);
    if (w != NULL) widget_set_state(w, state);
}

void vesk_page_move_resize(widget_t *win, const char *name, int x, int y, int w, int h)
{
    widget_t *widget = vesk_page_widget(win, name);
    if (widget != NULL) widget_move_resize(widget, (xy_t)x, (xy_t)y, (wh_t)w, (wh_t)h);
}
