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
VESK_PLAIN_PAGE(QZ_updata)
VESK_PLAIN_PAGE(DataTime)
VESK_PLAIN_PAGE(Info_menu)
VESK_PLAIN_PAGE(standby)
VESK_PLAIN_PAGE(shut_down_low_power)
VESK_PLAIN_PAGE(shut_down_low_temp)
VESK_PLAIN_PAGE(tip_ballistic)
VESK_PLAIN_PAGE(main_menu)
VESK_PLAIN_PAGE(setting_menu)
VESK_PLAIN_PAGE(image_menu)
VESK_PLAIN_PAGE(reticle_menu)
/* The reticle menu's row, as the group information page leaves it. */
int32_t reticle_menu_index = 1;
VESK_PLAIN_PAGE(rav_menu)
VESK_PLAIN_PAGE(recoil_menu)
VESK_PLAIN_PAGE(lrf_menu)
VESK_PLAIN_PAGE(vesk_lrf_select)
VESK_PLAIN_PAGE(compass_menu)
VESK_PLAIN_PAGE(compass_correction)
VESK_PLAIN_PAGE(compass_level)
VESK_PLAIN_PAGE(magnetic_declination)
VESK_PLAIN_PAGE(reticle_move)
VESK_PLAIN_PAGE(lrf_reticle_move)
VESK_PLAIN_PAGE(pixel_menu)
VESK_PLAIN_PAGE(pixel_child)
VESK_PLAIN_PAGE(file_menu)
VESK_PLAIN_PAGE(file_image)
VESK_PLAIN_PAGE(file_video)
VESK_PLAIN_PAGE(memory_menu)
VESK_PLAIN_PAGE(memory_format_sel)
VESK_PLAIN_PAGE(memory_format_restart)
VESK_PLAIN_PAGE(restore_factory)
VESK_PLAIN_PAGE(restoring)
