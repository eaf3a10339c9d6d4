/* Normal (full-screen) windows, loaded from "res/ui/<name>.xml". The root
 * element is the window; its attributes and children's attributes become
 * properties (unknown ones are kept as custom properties, for instance
 * "single_instance" and "to_modal"). A window without a name attribute is
 * named after its resource. */
#pragma once

#include "base/window_manager.h"

BEGIN_C_DECLS

/* parent NULL means the window manager: the window opens at once. */
widget_t* window_create(widget_t* parent, xy_t x, xy_t y, wh_t w, wh_t h);
widget_t* window_cast(widget_t* widget);
/* NULL when the resource is missing or malformed. */
widget_t* window_open(const char* name);
/* Opens name, then closes to_close (when not NULL) without revealing it. */
widget_t* window_open_and_close(const char* name, widget_t* to_close);
ret_t window_close(widget_t* widget);
ret_t window_close_force(widget_t* widget);
const widget_vtable_t* window_get_widget_vtable(void);

END_C_DECLS
