#include "ui_pages.h"

#include <string.h>

/* Written once at start-up and read on the GUI thread only. */
static ui_page_calls page_calls;

void ui_set_page_calls(const ui_page_calls *calls)
{
    if (calls != NULL)
        page_calls = *calls;
    else
        memset(&page_calls, 0, sizeof page_calls);
}

ret_t ui_open_page(const char *name)
{
    if (page_calls.open == NULL) return RET_NOT_IMPL;
    return page_calls.open(name);
}

ret_t ui_switch_to_page(const char *name, bool_t close_current)
{
    if (page_calls.switch_to == NULL) return RET_NOT_IMPL;
    return page_calls.switch_to(name, close_current);
}
