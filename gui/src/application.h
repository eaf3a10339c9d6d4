// sightui's start-up and exit hooks around the toolkit's main loop.
#pragma once

#include "awtk.h"

/* Build line, queue client, READY to sightd, then the boot page. Returns
 * the result of opening the boot page. */
ret_t application_init(void);
/* Wires the layers together: the pages' table into the navigator, and the
 * navigator into the messaging runtime's page calls. First thing in
 * application_init; also for tests that run pages without it. */
void application_connect(void);
ret_t application_exit(void);
/* Appends the "UI" build line and starts the queue client: 0 or -1. */
int Qel_InitEmbeddedFunction(void);
int Qel_DeinitEmbeddedFunction(void);
/* Theme "default", preloaded. */
ret_t assets_init(void);
