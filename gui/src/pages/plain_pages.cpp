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

VESK_PLAIN_PAGE(QZ_updata)
VESK_PLAIN_PAGE(image_menu)
VESK_PLAIN_PAGE(reticle_menu)
VESK_PLAIN_PAGE(rav_menu)
VESK_PLAIN_PAGE(recoil_menu)
VESK_PLAIN_PAGE(compass_menu)
VESK_PLAIN_PAGE(compass_correction)
VESK_PLAIN_PAGE(compass_level)
VESK_PLAIN_PAGE(magnetic_declination)
VESK_PLAIN_PAGE(pixel_menu)
VESK_PLAIN_PAGE(pixel_child)
