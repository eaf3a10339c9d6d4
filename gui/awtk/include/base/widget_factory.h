/* Widget types by name; the window loader creates every widget here. */
#pragma once

#include "base/widget.h"

BEGIN_C_DECLS

typedef struct _widget_factory_t widget_factory_t;

widget_factory_t* widget_factory(void);
/* A later registration of the same type replaces the earlier one. */
ret_t widget_factory_register(widget_factory_t* factory, const char* type, widget_create_t create);
widget_t* widget_factory_create_widget(widget_factory_t* factory, const char* type, widget_t* parent, xy_t x,
                                       xy_t y, wh_t w, wh_t h);

END_C_DECLS
