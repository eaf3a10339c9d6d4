/* Progress bar: bg_color behind, fg_color over value/max of its length. */
#pragma once

#include "base/widget.h"

BEGIN_C_DECLS

typedef struct _progress_bar_t {
  widget_t widget;
  double value;
  double max;
  bool_t vertical;
  bool_t show_text;
  bool_t reverse;
} progress_bar_t;

#define PROGRESS_BAR(widget) ((progress_bar_t*)(progress_bar_cast(WIDGET(widget))))

widget_t* progress_bar_create(widget_t* parent, xy_t x, xy_t y, wh_t w, wh_t h);
widget_t* progress_bar_cast(widget_t* widget);
/* The value is kept within 0..max. */
ret_t progress_bar_set_value(widget_t* widget, double value);
ret_t progress_bar_set_max(widget_t* widget, double max);
ret_t progress_bar_set_vertical(widget_t* widget, bool_t vertical);
ret_t progress_bar_set_show_text(widget_t* widget, bool_t show_text);
uint32_t progress_bar_get_percent(widget_t* widget);
const widget_vtable_t* progress_bar_get_widget_vtable(void);

END_C_DECLS
