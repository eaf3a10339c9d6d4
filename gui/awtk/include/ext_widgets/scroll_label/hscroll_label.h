/* A one-line label whose text scrolls left when it is wider than the widget.
 * speed in pixels per millisecond (when above 0, otherwise one pass takes
 * duration ms); lull ms of pause between passes; loop repeats passes, yoyo
 * scrolls back and forth; only_focus / only_parent_focus scroll only while
 * the widget / its parent is focused. Scrolling runs on a widget timer. */
#pragma once

#include "base/widget.h"

BEGIN_C_DECLS

typedef struct _hscroll_label_t {
  widget_t widget;
  bool_t only_focus;
  bool_t only_parent_focus;
  bool_t loop;
  bool_t yoyo;
  bool_t ellipses;
  bool_t stop_at_begin;
  int32_t lull;
  int32_t duration;
  uint32_t delay;
  float speed;
  int32_t xoffset;
  int32_t text_w;
  int32_t loop_interval_distance;
  /* private */
  uint32_t timer_id;
  uint64_t phase_start;
  bool_t paused;
  bool_t reversed;
} hscroll_label_t;

#define HSCROLL_LABEL(widget) ((hscroll_label_t*)(hscroll_label_cast(WIDGET(widget))))

widget_t* hscroll_label_create(widget_t* parent, xy_t x, xy_t y, wh_t w, wh_t h);
widget_t* hscroll_label_cast(widget_t* widget);
ret_t hscroll_label_set_lull(widget_t* widget, int32_t lull);
ret_t hscroll_label_set_duration(widget_t* widget, int32_t duration);
ret_t hscroll_label_set_delay(widget_t* widget, uint32_t delay);
ret_t hscroll_label_set_speed(widget_t* widget, float speed);
ret_t hscroll_label_set_only_focus(widget_t* widget, bool_t only_focus);
ret_t hscroll_label_set_only_parent_focus(widget_t* widget, bool_t only_parent_focus);
ret_t hscroll_label_set_loop(widget_t* widget, bool_t loop);
ret_t hscroll_label_set_yoyo(widget_t* widget, bool_t yoyo);
ret_t hscroll_label_set_ellipses(widget_t* widget, bool_t ellipses);
ret_t hscroll_label_set_stop_at_begin(widget_t* widget, bool_t stop_at_begin);
ret_t hscroll_label_set_loop_interval_distance(widget_t* widget, int32_t distance);
ret_t hscroll_label_set_xoffset(widget_t* widget, int32_t xoffset);
ret_t hscroll_label_start(widget_t* widget);
ret_t hscroll_label_stop(widget_t* widget);
const widget_vtable_t* hscroll_label_get_widget_vtable(void);

END_C_DECLS
