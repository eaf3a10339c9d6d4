/* The toolkit clock: monotonic, in milliseconds from an arbitrary origin.
 * Under the virtual clock of headless tests it moves only when the test
 * steps it (see awtk_host.h). */
#pragma once

#include "tkc/types_def.h"

BEGIN_C_DECLS

uint64_t time_now_ms(void);
uint64_t time_now_s(void);
uint64_t time_now_us(void);

END_C_DECLS
