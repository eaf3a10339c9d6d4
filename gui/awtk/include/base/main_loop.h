/* The GUI thread's main loop. Posted keys go through the loop's queue and
 * are delivered to whichever window is on top when they are processed. */
#pragma once

#include "tkc/types_def.h"

BEGIN_C_DECLS

typedef struct _main_loop_t main_loop_t;

main_loop_t* main_loop(void);
/* Thread-safe. EVT_KEY_DOWN when pressed, else EVT_KEY_UP. */
ret_t main_loop_post_key_event(main_loop_t* l, bool_t pressed, uint32_t key);
ret_t main_loop_run(main_loop_t* l);
/* Thread-safe: ends main_loop_run (and tk_run) after the current turn. */
ret_t main_loop_quit(main_loop_t* l);
ret_t main_loop_wakeup(main_loop_t* l);

END_C_DECLS
