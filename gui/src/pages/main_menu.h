// "main_menu", the hub of the scope's menus: image, Wi-Fi, compass, media
// browser, bad pixels, settings, zero and recoil video. Each sub-menu
// replaces it and opens it again on back, with its own row selected.
#pragma once

#include <stdint.h>

/* The row each sub-menu shows first, set by the main menu before it opens
 * the sub-menu (1-based). */
extern int32_t image_menu_index;
extern int32_t compass_menu_index;
extern int32_t reticle_menu_index;
