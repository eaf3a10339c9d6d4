// The only way pages open: by window name, with the single-instance and
// modal rules of the window resources, calling the page's init function.
#pragma once

#include "awtk.h"

typedef ret_t (*page_init_t)(widget_t *win, void *ctx);

/* One page: its window name and the init function that binds the page's
 * handlers to its newly opened window. */
typedef struct {
    const char *name;
    page_init_t init;
} navigator_page_t;

/* The pages the navigator opens, looked up by exact name in table order;
 * the table's last four only after the trace line. The application hands
 * it over at start-up; the table must outlive the navigator's use. */
void navigator_set_pages(const navigator_page_t *pages, size_t count);

ret_t navigator_to(const char *target);
ret_t navigator_to_with_context(const char *target, void *ctx);
/* Opens target and closes the current top main window in one step. */
ret_t navigator_replace(const char *target);
/* Raises an open window of that name (closing the current top one when
 * close_current); opens it when none is open. */
ret_t navigator_switch_to(const char *target, bool_t close_current);
ret_t navigator_back(void);
ret_t navigator_back_to_home(void);
/* RET_FAIL when no window of that name is open. */
ret_t navigator_close(const char *target);
ret_t navigator_request_close(const char *target);
ret_t navigator_global_widget_on(uint32_t type, event_func_t handler, void *ctx);

/* The init function the page table binds to name, or NULL. */
page_init_t navigator_page_init(const char *name);
/* The topmost open window of that name, or NULL. */
widget_t *navigator_find_window(const char *name);
