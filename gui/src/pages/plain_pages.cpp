// Pages whose own behaviour is not in this program yet: each opens its
// window and knows the reactions every page shares, so that it can be
// opened and left.
#include "pages.h"
#include "vesk_page.h"

#define VESK_PLAIN_PAGE(name)                                \
    ret_t name##_init(widget_t *win, void *ctx)              \
    {                                                         \
        (void)ctx;                                            \
        return_value_if_fail(win != NULL, RET_BAD_PARAMS);    \
        return vesk_page_bind_plain_keys(win);                \
    }

VESK_PLAIN_PAGE(QZ_shortcut_menu)
VESK_PLAIN_PAGE(QZ_reticle_zero)
VESK_PLAIN_PAGE(QZ_reticle_zero_dist)
VESK_PLAIN_PAGE(QZ_reticle_zero_child)
VESK_PLAIN_PAGE(QZ_range_move)
VESK_PLAIN_PAGE(reticle_move)
VESK_PLAIN_PAGE(lrf_reticle_move)
