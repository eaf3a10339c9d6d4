// The pages register here: one row per window name and the init function
// that bears it. A new page adds its row (and its init's declaration in
// pages.h); nothing outside this module lists pages.
#include "pages.h"

// clang-format off
#define PAGE(n) {#n, n##_init}
// clang-format on

/* Looked up in this order; the navigator tries the last four after its
 * trace line, so those four stay last. */
const navigator_page_t pages_registry[] = {
    PAGE(HDP_Init),
    PAGE(QZ_shortcut_menu),
    PAGE(QZ_reticle_zero_dist),
    PAGE(QZ_range_move),
    PAGE(QZ_updata),
    PAGE(QZ_SHUT_DOWN),
    PAGE(DataTime),
    PAGE(Info_menu),
    PAGE(standby),
    PAGE(shut_down_low_power),
    PAGE(shut_down_low_temp),
    PAGE(ballistic_menu),
    PAGE(ballistic_quickmenu),
    PAGE(ballistic_setting_menu),
    PAGE(ballistic_bullet),
    PAGE(ballistic_group_info),
    PAGE(ballistic_coriolis),
    PAGE(ballistic_weather),
    PAGE(ballistic_zeroweather),
    PAGE(bullistic_lens),
    PAGE(tip_ballistic),
    PAGE(main_menu),
    PAGE(setting_menu),
    PAGE(image_menu),
    PAGE(reticle_menu),
    PAGE(rav_menu),
    PAGE(recoil_menu),
    PAGE(lrf_menu),
    PAGE(vesk_lrf_select),
    PAGE(compass_menu),
    PAGE(compass_correction),
    PAGE(compass_level),
    PAGE(magnetic_declination),
    PAGE(reticle_move),
    PAGE(lrf_reticle_move),
    PAGE(pixel_menu),
    PAGE(pixel_child),
    PAGE(file_menu),
    PAGE(file_image),
    PAGE(file_video),
    PAGE(memory_menu),
    PAGE(memory_format_sel),
    PAGE(memory_format_restart),
    PAGE(restore_factory),
    PAGE(restoring),
    PAGE(QZ_reticle_zero),
    PAGE(QZ_home_page_1),
    PAGE(QZ_reticle_zero_child),
    PAGE(Boot_logo),
};

const size_t pages_registry_count = sizeof(pages_registry) / sizeof(pages_registry[0]);
static_assert(sizeof(pages_registry) / sizeof(pages_registry[0]) == 49, "the page table names 49 windows");
