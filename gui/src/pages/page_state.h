// A page's working state lives with its window: made when the page opens,
// deleted when the window is destroyed. Nothing of one opening leaks into
// the next, and no handler can reach the state of a window that is gone.
// The record is the context of the page's handlers; handlers that are only
// handed the window find it again by its key.
#pragma once

#include "awtk.h"

/* A new record (value-initialised, so member defaults apply) owned by win
 * under key. Returns NULL for a NULL window. */
template <typename T> T *page_state_new(widget_t *win, const char *key)
{
    if (win == NULL) return NULL;
    T *state = new T();
    widget_set_prop_pointer(win, key, state);
    widget_on(
        win, EVT_DESTROY,
        [](void *ctx, event_t *) -> ret_t {
            delete static_cast<T *>(ctx);
            return RET_REMOVE;
        },
        state);
    return state;
}

/* The record win owns under key, or NULL. */
template <typename T> T *page_state_of(widget_t *win, const char *key)
{
    return win != NULL ? static_cast<T *>(widget_get_prop_pointer(win, key)) : NULL;
}
