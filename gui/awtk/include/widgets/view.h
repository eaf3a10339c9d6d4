/* A plain container drawn by its style (background, border, bg_image). */
#pragma once

#include "base/widget.h"

BEGIN_C_DECLS

widget_t* view_create(widget_t* parent, xy_t x, xy_t y, wh_t w, wh_t h);
widget_t* view_cast(widget_t* widget);
const widget_vtable_t* view_get_widget_vtable(void);

END_C_DECLS
