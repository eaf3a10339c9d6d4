/* Text. Lines break at '\n'; with line_wrap long lines wrap at the width,
 * with word_wrap too they wrap between words. */
#pragma once

#include "base/widget.h"

BEGIN_C_DECLS

typedef struct _label_t {
  widget_t widget;
  bool_t line_wrap;
  bool_t word_wrap;
  int32_t length;
} label_t;

#define LABEL(widget) ((label_t*)(label_cast(WIDGET(widget))))

widget_t* label_create(widget_t* parent, xy_t x, xy_t y, wh_t w, wh_t h);
widget_t* label_cast(widget_t* widget);
ret_t label_set_line_wrap(widget_t* widget, bool_t line_wrap);
ret_t label_set_word_wrap(widget_t* widget, bool_t word_wrap);
/* Shows only the first length characters (-1: all). */
ret_t label_set_length(widget_t* widget, int32_t length);
const widget_vtable_t* label_get_widget_vtable(void);

END_C_DECLS
