/* The horizontally scrolling label and tk_ext_widgets_init. */
#include "awtk_internal.h"

void tk_draw_text_line_at(widget_t* widget, canvas_t* c, int32_t xoffset, int32_t* text_w);

static const uint32_t k_tick_ms = 16;

static hscroll_label_t* hsl(widget_t* widget) { return (hscroll_label_t*)widget; }

static int32_t content_w(widget_t* widget) {
  const tk_style_vals* s = tk_widget_style(widget);
  return widget->w - s->margin_l - s->margin_r;
}

static int32_t gap_of(widget_t* widget) {
  hscroll_label_t* h = hsl(widget);
  return h->loop_interval_distance >= 0 ? h->loop_interval_distance : content_w(widget);
}

static int32_t measure(widget_t* widget) {
  const tk_style_vals* s = tk_widget_style(widget);
  canvas_t* c = tk_wm_canvas();
  canvas_set_font(c, s->font_name.c_str(), (uint16_t)s->font_size);
  return (int32_t)canvas_measure_text(c, widget->text.str, widget->text.size);
}

static bool may_scroll(widget_t* widget) {
  hscroll_label_t* h = hsl(widget);
  if (h->only_focus && !widget->focused) return false;
  if (h->only_parent_focus && (widget->parent == NULL || !widget->parent->focused)) return false;
  return h->text_w > content_w(widget);
}

static ret_t hscroll_label_on_timer(const timer_info_t* info) {
  widget_t* widget = (widget_t*)info->ctx;
  hscroll_label_t* h = hsl(widget);
  h->text_w = measure(widget);
  uint64_t now = time_now_ms();
  int32_t old = h->xoffset;
  if (!may_scroll(widget)) {
    h->xoffset = 0;
    h->phase_start = now;
    h->paused = FALSE;
  } else {
    int32_t range = h->loop ? h->text_w + gap_of(widget) : h->text_w - content_w(widget);
    uint64_t elapsed = now - h->phase_start;
    if (h->paused) {
      if (elapsed >= (uint64_t)tk_max(h->lull, 0)) {
        h->paused = FALSE;
        h->phase_start = now;
      }
    } else if (elapsed >= h->delay) {
      double t = (double)(elapsed - h->delay);
      double off = h->speed > 0 ? t * h->speed : (h->duration > 0 ? t * range / h->duration : range);
      if (off >= range) {
        h->phase_start = now;
        h->paused = TRUE;
        if (h->yoyo) {
          h->reversed = !h->reversed;
          h->xoffset = h->reversed ? range : 0;
        } else if (h->loop || h->stop_at_begin) {
          h->xoffset = 0;
        } else {
          h->xoffset = range;
        }
        if (!h->loop && !h->yoyo) h->lull = INT32_MAX; /* one pass only */
      } else {
        h->xoffset = h->reversed ? range - (int32_t)off : (int32_t)off;
      }
    }
  }
  if (h->xoffset != old) widget_invalidate(widget, NULL);
  return RET_REPEAT;
}

static ret_t hscroll_label_on_paint_self(widget_t* widget, canvas_t* c) {
  hscroll_label_t* h = hsl(widget);
  tk_draw_text_line_at(widget, c, h->xoffset, &h->text_w);
  if (h->loop && h->text_w > content_w(widget)) {
    int32_t second = h->xoffset - h->text_w - gap_of(widget);
    tk_draw_text_line_at(widget, c, second, NULL);
  }
  return RET_OK;
}

#define HSL_BOOL_PROP(field)                  \
  if (tk_str_eq(name, #field)) {              \
    if (set) h->field = value_bool(v);        \
    else value_set_bool(out, h->field);       \
    return RET_OK;                            \
  }
#define HSL_INT_PROP(field)                   \
  if (tk_str_eq(name, #field)) {              \
    if (set) h->field = value_int(v);         \
    else value_set_int(out, (int32_t)h->field); \
    return RET_OK;                            \
  }

static ret_t hscroll_label_prop(widget_t* widget, const char* name, const value_t* v, value_t* out, bool set) {
  hscroll_label_t* h = hsl(widget);
  HSL_BOOL_PROP(only_focus)
  HSL_BOOL_PROP(only_parent_focus)
  HSL_BOOL_PROP(loop)
  HSL_BOOL_PROP(yoyo)
  HSL_BOOL_PROP(ellipses)
  HSL_BOOL_PROP(stop_at_begin)
  HSL_INT_PROP(lull)
  HSL_INT_PROP(duration)
  HSL_INT_PROP(delay)
  HSL_INT_PROP(xoffset)
  HSL_INT_PROP(text_w)
  HSL_INT_PROP(loop_interval_distance)
  if (tk_str_eq(name, "speed")) {
    if (set) h->speed = value_float(v);
    else value_set_float(out, h->speed);
    return RET_OK;
  }
  return RET_NOT_FOUND;
}

static ret_t hscroll_label_get_prop(widget_t* widget, const char* name, value_t* v) {
  return hscroll_label_prop(widget, name, NULL, v, false);
}

static ret_t hscroll_label_set_prop(widget_t* widget, const char* name, const value_t* v) {
  ret_t r = hscroll_label_prop(widget, name, v, NULL, true);
  if (r == RET_OK) {
    hsl(widget)->phase_start = time_now_ms();
  }
  return r;
}

static const char* s_hscroll_label_props[] = {"only_focus", "only_parent_focus", "loop", "yoyo", "ellipses",
                                              "stop_at_begin", "lull", "duration", "delay", "speed",
                                              "loop_interval_distance", NULL};

static const widget_vtable_t s_hscroll_label_vtable = {
    sizeof(hscroll_label_t), WIDGET_TYPE_HSCROLL_LABEL, 0, 0, 0, s_hscroll_label_props, s_hscroll_label_props,
    widget_get_widget_vtable(), hscroll_label_create, hscroll_label_get_prop, hscroll_label_set_prop, NULL,
    hscroll_label_on_paint_self, NULL, NULL, NULL, NULL, NULL, NULL};

const widget_vtable_t* hscroll_label_get_widget_vtable(void) { return &s_hscroll_label_vtable; }

widget_t* hscroll_label_create(widget_t* parent, xy_t x, xy_t y, wh_t w, wh_t h) {
  widget_t* widget = widget_create(parent, &s_hscroll_label_vtable, x, y, w, h);
  return_value_if_fail(widget != NULL, NULL);
  hscroll_label_t* hl = hsl(widget);
  hl->lull = 3000;
  hl->duration = 5000;
  hl->loop_interval_distance = -1;
  hl->phase_start = time_now_ms();
  hscroll_label_start(widget);
  return widget;
}

widget_t* hscroll_label_cast(widget_t* widget) {
  return_value_if_fail(widget_is_instance_of(widget, &s_hscroll_label_vtable), NULL);
  return widget;
}

ret_t hscroll_label_start(widget_t* widget) {
  hscroll_label_t* h = HSCROLL_LABEL(widget);
  return_value_if_fail(h != NULL, RET_BAD_PARAMS);
  if (h->timer_id == TK_INVALID_ID) {
    h->timer_id = widget_add_timer(widget, hscroll_label_on_timer, k_tick_ms);
  }
  h->phase_start = time_now_ms();
  h->paused = FALSE;
  return RET_OK;
}

ret_t hscroll_label_stop(widget_t* widget) {
  hscroll_label_t* h = HSCROLL_LABEL(widget);
  return_value_if_fail(h != NULL, RET_BAD_PARAMS);
  if (h->timer_id != TK_INVALID_ID) {
    timer_remove(h->timer_id);
    h->timer_id = TK_INVALID_ID;
  }
  return RET_OK;
}

static ret_t hsl_set(widget_t* widget, const char* name, const value_t* v) {
  return_value_if_fail(HSCROLL_LABEL(widget) != NULL, RET_BAD_PARAMS);
  return widget_set_prop(widget, name, v);
}

#define HSL_SETTER(fn, T, setter, prop) \
  ret_t fn(widget_t* widget, T value) { \
    value_t v;                          \
    setter(&v, value);                  \
    return hsl_set(widget, prop, &v);   \
  }

HSL_SETTER(hscroll_label_set_lull, int32_t, value_set_int, "lull")
HSL_SETTER(hscroll_label_set_duration, int32_t, value_set_int, "duration")
HSL_SETTER(hscroll_label_set_delay, uint32_t, value_set_uint32, "delay")
HSL_SETTER(hscroll_label_set_speed, float, value_set_float, "speed")
HSL_SETTER(hscroll_label_set_only_focus, bool_t, value_set_bool, "only_focus")
HSL_SETTER(hscroll_label_set_only_parent_focus, bool_t, value_set_bool, "only_parent_focus")
HSL_SETTER(hscroll_label_set_loop, bool_t, value_set_bool, "loop")
HSL_SETTER(hscroll_label_set_yoyo, bool_t, value_set_bool, "yoyo")
HSL_SETTER(hscroll_label_set_ellipses, bool_t, value_set_bool, "ellipses")
HSL_SETTER(hscroll_label_set_stop_at_begin, bool_t, value_set_bool, "stop_at_begin")
HSL_SETTER(hscroll_label_set_loop_interval_distance, int32_t, value_set_int, "loop_interval_distance")
HSL_SETTER(hscroll_label_set_xoffset, int32_t, value_set_int, "xoffset")

ret_t tk_ext_widgets_init(void) {
  return widget_factory_register(widget_factory(), WIDGET_TYPE_HSCROLL_LABEL, hscroll_label_create);
}
