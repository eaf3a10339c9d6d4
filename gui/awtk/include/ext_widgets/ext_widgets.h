#pragma once

#include "ext_widgets/scroll_label/hscroll_label.h"

BEGIN_C_DECLS

/* Registers the extended widget types (hscroll_label) with the factory. */
ret_t tk_ext_widgets_init(void);

END_C_DECLS
