// sightui: the scope's graphical interface.
#include <malloc.h>
#include <stdio.h>

#include "application.h"
#include "vesk_debug_gui.h"

#define SIGHTUI_DEFAULT_W 1280
#define SIGHTUI_DEFAULT_H 1024

int main(int argc, char *argv[])
{
    /* Large buffers (decoded pictures, the update animation's frames) come
     * and go: each gets pages of its own and gives them back when freed.
     * Left to itself, glibc raises this threshold after the first such free
     * and keeps the later ones in its heap, resident for good. */
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    if (vesk_debug_gui_init(NULL) != 0) {
        fprintf(stderr, "vesk_debug_gui_init failed\n");
        return 1;
    }
    /* Taken as given: a board with another panel passes its own size. */
    wh_t w = argc >= 2 ? tk_atoi(argv[1]) : SIGHTUI_DEFAULT_W;
    wh_t h = argc >= 3 ? tk_atoi(argv[2]) : SIGHTUI_DEFAULT_H;

    tk_init(w, h, APP_MOBILE, "qel_menu", "./res");
    system_info_set_default_font(system_info(), "default");
    assets_init();
    tk_ext_widgets_init();
    vesk_debug_gui_apply(0);
    window_manager_set_cursor(window_manager(), "cursor");
    locale_info_change(locale_info(), "zh", "CN");
    application_init();
    tk_run();
    application_exit();
    fflush(stdout);
    return 0;
}
