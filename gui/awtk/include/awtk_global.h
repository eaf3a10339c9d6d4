/* Start-up and shutdown of the toolkit. */
#pragma once

#include "base/system_info.h"

BEGIN_C_DECLS

/* Screen w x h, application type and name, resource root ("./res"). The
 * backend is headless unless VESK_GUI_BACKEND=sdl (or awtk_host_set_backend)
 * asks for a desktop window. */
ret_t tk_init(wh_t w, wh_t h, app_type_t app_type, const char* app_name, const char* app_root);
/* Loads the current theme's style if no preload did. */
ret_t tk_init_assets(void);
/* Runs the main loop on the calling thread until tk_quit. */
ret_t tk_run(void);
ret_t tk_quit(void);
/* Closes every window and frees all toolkit state; tk_init may follow. */
ret_t tk_exit(void);

END_C_DECLS
