#pragma once

#include "tkc/types_def.h"

BEGIN_C_DECLS

/* Blocks the calling thread. On the GUI thread under the virtual clock the
 * clock is advanced by ms instead (timers are not run meanwhile). */
ret_t sleep_ms(uint32_t ms);

END_C_DECLS
