#include "navigator.h"

#include <stdio.h>
#include <string.h>

/* The pages the application handed over; none until it does. */
static const navigator_page_t *navigator_pages;
static size_t navigator_page_count;

void navigator_set_pages(const navigator_page_t *pages, size_t count)
{
    navigator_pages = pages;
    navigator_page_count = pages != NULL ? count : 0;
}

/* The table's last four are looked up after the trace line. */
#define NAVIGATOR_LATE_PAGES 4

static page_init_t lookup(const char *name, size_t from, size_t to)
{
    for (size_t i = from; i < to; i++) {
        if (strcmp(navigator_pages[i].name, name) == 0) return navigator_pages[i].init;
    }
    return NULL;
}

page_init_t navigator_page_init(const char *name)
{
    if (name == NULL) return NULL;
    page_init_t init = lookup(name, 0, navigator_page_count);
    return init;
}

widget_t *navigator_find_window(const char *name)
{
    widget_t *wm = window_manager();
    widget_t *found = NULL;
    if (wm == NULL || name == NULL) return NULL;
    WIDGET_FOR_EACH_CHILD_BEGIN(wm, iter, i)
    if (iter->name != NULL && strcmp(iter->name, name) == 0) found = iter;
    WIDGET_FOR_EACH_CHILD_END()
    return found;
}

static ret_t navigator_open(const char *target, void *ctx, bool_t replace)
{
    widget_t *wm = window_manager();
    widget_t *to_close = replace ? window_manager_get_top_main_window(wm) : NULL;
    widget_t *old = navigator_find_window(target);
    if (old != NULL && widget_get_prop_bool(old, WIDGET_PROP_SINGLE_INSTANCE, FALSE)) {
        if (old == to_close) to_close = NULL;
        window_manager_close_window_force(wm, old);
    }
    if (to_close != NULL) log_debug("close current window: %s\n", to_close->name);

    widget_t *win = window_open_and_close(target, to_close);
    return_value_if_fail(win != NULL, RET_FAIL);

    const size_t late = navigator_page_count > NAVIGATOR_LATE_PAGES ? navigator_page_count - NAVIGATOR_LATE_PAGES : 0;
    page_init_t init = lookup(target, 0, late);
    if (init == NULL) {
        printf("name  =============%s\n", target);
        init = lookup(target, late, navigator_page_count);
    }
    ret_t ret = init != NULL ? init(win, ctx) : RET_OK;
    return_value_if_fail(ret == RET_OK, ret);

    if (widget_is_dialog(win) && widget_get_prop_bool(win, "to_modal", TRUE)) return (ret_t)dialog_modal(win);
    return RET_OK;
}

ret_t navigator_to(const char *target) { return navigator_to_with_context(target, NULL); }

ret_t navigator_to_with_context(const char *target, void *ctx)
{
    return_value_if_fail(target != NULL && *target != '\0', RET_BAD_PARAMS);
    return navigator_open(target, ctx, FALSE);
}

ret_t navigator_replace(const char *target)
{
    return_value_if_fail(target != NULL && *target != '\0', RET_BAD_PARAMS);
    return navigator_open(target, NULL, TRUE);
}

ret_t navigator_switch_to(const char *target, bool_t close_current)
{
    return_value_if_fail(target != NULL && *target != '\0', RET_BAD_PARAMS);
    widget_t *wm = window_manager();
    widget_t *win = navigator_find_window(target);
    if (win == NULL) return navigator_to(target);
    return window_manager_switch_to(wm, window_manager_get_top_window(wm), win, close_current);
}

ret_t navigator_back(void) { return window_manager_back(window_manager()); }

ret_t navigator_back_to_home(void) { return window_manager_back_to_home(window_manager()); }

ret_t navigator_close(const char *target)
{
    return_value_if_fail(target != NULL && *target != '\0', RET_BAD_PARAMS);
    widget_t *win = navigator_find_window(target);
    return_value_if_fail(win != NULL, RET_FAIL);
    return window_manager_close_window_force(window_manager(), win);
}

ret_t navigator_request_close(const char *target)
{
    return_value_if_fail(target != NULL && *target != '\0', RET_BAD_PARAMS);
    widget_t *win = navigator_find_window(target);
    return_value_if_fail(win != NULL, RET_FAIL);
    event_t e = event_init(EVT_REQUEST_CLOSE_WINDOW, win);
    return widget_dispatch(win, &e);
}

ret_t navigator_global_widget_on(uint32_t type, event_func_t handler, void *ctx)
{
    widget_on(window_manager(), type, handler, ctx);
    return RET_OK;
}
