/* The widget factory and the basic types: view, label, image, progress_bar,
 * dialog_title, dialog_client. */
#include "awtk_internal.h"

/* ---- factory ---- */
struct _widget_factory_t {
  std::map<std::string, widget_create_t> creators;
};

static widget_factory_t s_factory;

widget_factory_t* widget_factory(void) { return &s_factory; }

ret_t widget_factory_register(widget_factory_t* factory, const char* type, widget_create_t create) {
  return_value_if_fail(factory != NULL && type != NULL && *type && create != NULL, RET_BAD_PARAMS);
  factory->creators[type] = create;
  return RET_OK;
}

widget_t* widget_factory_create_widget(widget_factory_t* factory, const char* type, widget_t* parent, xy_t x,
                                       xy_t y, wh_t w, wh_t h) {
  return_value_if_fail(factory != NULL && type != NULL, NULL);
  auto it = factory->creators.find(type);
  if (it == factory->creators.end()) return NULL;
  return it->second(parent, x, y, w, h);
}

/* ---- view ---- */
static const widget_vtable_t s_view_vtable = {sizeof(widget_t), WIDGET_TYPE_VIEW, 0, 0, 0, NULL, NULL,
                                              widget_get_widget_vtable(), view_create, NULL, NULL, NULL,
                                              NULL, NULL, NULL, NULL, NULL, NULL, NULL};

const widget_vtable_t* view_get_widget_vtable(void) { return &s_view_vtable; }

widget_t* view_create(widget_t* parent, xy_t x, xy_t y, wh_t w, wh_t h) {
  return widget_create(parent, &s_view_vtable, x, y, w, h);
}

widget_t* view_cast(widget_t* widget) {
  return_value_if_fail(widget_is_instance_of(widget, &s_view_vtable), NULL);
  return widget;
}

static const widget_vtable_t s_dialog_title_vtable = {
    sizeof(widget_t), WIDGET_TYPE_DIALOG_TITLE, 0, 0, 0, NULL, NULL, &s_view_vtable, dialog_title_create,
    NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL};
static const widget_vtable_t s_dialog_client_vtable = {
    sizeof(widget_t), WIDGET_TYPE_DIALOG_CLIENT, 0, 0, 0, NULL, NULL, &s_view_vtable, dialog_client_create,
    NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL};

widget_t* dialog_title_create(widget_t* parent, xy_t x, xy_t y, wh_t w, wh_t h) {
  return widget_create(parent, &s_dialog_title_vtable, x, y, w, h);
}

widget_t* dialog_client_create(widget_t* parent, xy_t x, xy_t y, wh_t w, wh_t h) {
  return widget_create(parent, &s_dialog_client_vtable, x, y, w, h);
}

/* ---- label ---- */
static ret_t label_get_prop(widget_t* widget, const char* name, value_t* v) {
  label_t* label = (label_t*)widget;
  if (tk_str_eq(name, WIDGET_PROP_LINE_WRAP)) {
    value_set_bool(v, label->line_wrap);
    return RET_OK;
  }
  if (tk_str_eq(name, WIDGET_PROP_WORD_WRAP)) {
    value_set_bool(v, label->word_wrap);
    return RET_OK;
  }
  if (tk_str_eq(name, "length")) {
    value_set_int(v, label->length);
    return RET_OK;
  }
  return RET_NOT_FOUND;
}

static ret_t label_set_prop(widget_t* widget, const char* name, const value_t* v) {
  label_t* label = (label_t*)widget;
  if (tk_str_eq(name, WIDGET_PROP_LINE_WRAP)) {
    label->line_wrap = value_bool(v);
    return RET_OK;
  }
  if (tk_str_eq(name, WIDGET_PROP_WORD_WRAP)) {
    label->word_wrap = value_bool(v);
    return RET_OK;
  }
  if (tk_str_eq(name, "length")) {
    label->length = value_int(v);
    return RET_OK;
  }
  return RET_NOT_FOUND;
}

struct text_line {
  uint32_t start;
  uint32_t len;
};

static bool is_break_after(wchar_t ch) { return ch == L' ' || ch == L'\t' || ch >= 0x2E80; }

/* Splits text into lines: at '\n'; with wrap also where a line would pass
 * width (between words when word_wrap, at any character otherwise). */
static std::vector<text_line> layout_lines(canvas_t* c, const wchar_t* text, uint32_t n, bool wrap, bool word_wrap,
                                           int32_t width) {
  std::vector<text_line> lines;
  uint32_t i = 0;
  while (i <= n) {
    uint32_t end = i;
    while (end < n && text[end] != L'\n') end++;
    uint32_t p = i;
    if (!wrap || width <= 0 || p == end) {
      lines.push_back({p, end - p});
    } else {
      while (p < end) {
        float acc = 0;
        uint32_t q = p;
        while (q < end) {
          float adv = canvas_measure_text(c, text + q, 1);
          if (q > p && acc + adv > width) break;
          acc += adv;
          q++;
        }
        if (q < end && word_wrap) {
          uint32_t b = q;
          while (b > p && !is_break_after(text[b - 1])) b--;
          if (b > p) q = b;
        }
        uint32_t len = q - p;
        while (len > 0 && text[p + len - 1] == L' ') len--;
        lines.push_back({p, len});
        p = q;
        while (p < end && text[p] == L' ') p++;
      }
    }
    i = end + 1;
  }
  return lines;
}

static void draw_text_block(widget_t* widget, canvas_t* c, const wchar_t* text, uint32_t n, bool wrap, bool word_wrap) {
  const tk_style_vals* s = tk_widget_style(widget);
  canvas_set_font(c, s->font_name.c_str(), (uint16_t)s->font_size);
  canvas_set_text_color(c, s->text_color);
  rect_t r = rect_init(s->margin_l, s->margin_t, widget->w - s->margin_l - s->margin_r,
                       widget->h - s->margin_t - s->margin_b);
  std::vector<text_line> lines = layout_lines(c, text, n, wrap, word_wrap, r.w);
  tk_font_metrics m;
  if (!tk_font_metrics_get(c->font_name.c_str(), c->font_size, &m)) return;
  int32_t total = (int32_t)lines.size() * m.height;
  int32_t y = r.y + (r.h - total) / 2;
  if (s->align_v == ALIGN_V_TOP) y = r.y;
  if (s->align_v == ALIGN_V_BOTTOM) y = r.y + r.h - total;
  for (const text_line& line : lines) {
    int32_t lw = (int32_t)canvas_measure_text(c, text + line.start, line.len);
    int32_t x = r.x + (r.w - lw) / 2;
    if (s->align_h == ALIGN_H_LEFT) x = r.x;
    if (s->align_h == ALIGN_H_RIGHT) x = r.x + r.w - lw;
    canvas_draw_text(c, text + line.start, line.len, x, y);
    y += m.height;
  }
}

static ret_t label_on_paint_self(widget_t* widget, canvas_t* c) {
  label_t* label = (label_t*)widget;
  uint32_t n = widget->text.size;
  if (label->length >= 0 && (uint32_t)label->length < n) n = (uint32_t)label->length;
  if (n == 0) return RET_OK;
  draw_text_block(widget, c, widget->text.str, n, label->line_wrap, label->word_wrap);
  return RET_OK;
}

static const char* s_label_props[] = {WIDGET_PROP_LINE_WRAP, WIDGET_PROP_WORD_WRAP, "length", NULL};

static const widget_vtable_t s_label_vtable = {sizeof(label_t), WIDGET_TYPE_LABEL, 0, 0, 0, s_label_props,
                                               s_label_props, widget_get_widget_vtable(), label_create,
                                               label_get_prop, label_set_prop, NULL, label_on_paint_self, NULL,
                                               NULL, NULL, NULL, NULL, NULL};

const widget_vtable_t* label_get_widget_vtable(void) { return &s_label_vtable; }

widget_t* label_create(widget_t* parent, xy_t x, xy_t y, wh_t w, wh_t h) {
  widget_t* widget = widget_create(parent, &s_label_vtable, x, y, w, h);
  return_value_if_fail(widget != NULL, NULL);
  ((label_t*)widget)->length = -1;
  return widget;
}

widget_t* label_cast(widget_t* widget) {
  return_value_if_fail(widget_is_instance_of(widget, &s_label_vtable), NULL);
  return widget;
}

ret_t label_set_line_wrap(widget_t* widget, bool_t line_wrap) {
  label_t* label = LABEL(widget);
  return_value_if_fail(label != NULL, RET_BAD_PARAMS);
  label->line_wrap = line_wrap;
  widget_invalidate(widget, NULL);
  return RET_OK;
}

ret_t label_set_word_wrap(widget_t* widget, bool_t word_wrap) {
  label_t* label = LABEL(widget);
  return_value_if_fail(label != NULL, RET_BAD_PARAMS);
  label->word_wrap = word_wrap;
  widget_invalidate(widget, NULL);
  return RET_OK;
}

ret_t label_set_length(widget_t* widget, int32_t length) {
  label_t* label = LABEL(widget);
  return_value_if_fail(label != NULL, RET_BAD_PARAMS);
  label->length = length;
  widget_invalidate(widget, NULL);
  return RET_OK;
}

/* Shared with the scrolling label: one line of text at an x offset. */
void tk_draw_text_line_at(widget_t* widget, canvas_t* c, int32_t xoffset, int32_t* text_w) {
  const tk_style_vals* s = tk_widget_style(widget);
  canvas_set_font(c, s->font_name.c_str(), (uint16_t)s->font_size);
  canvas_set_text_color(c, s->text_color);
  int32_t w = (int32_t)canvas_measure_text(c, widget->text.str, widget->text.size);
  if (text_w != NULL) *text_w = w;
  tk_font_metrics m;
  if (widget->text.size == 0 || !tk_font_metrics_get(c->font_name.c_str(), c->font_size, &m)) return;
  rect_t r = rect_init(s->margin_l, s->margin_t, widget->w - s->margin_l - s->margin_r,
                       widget->h - s->margin_t - s->margin_b);
  int32_t y = r.y + (r.h - m.height) / 2;
  if (s->align_v == ALIGN_V_TOP) y = r.y;
  if (s->align_v == ALIGN_V_BOTTOM) y = r.y + r.h - m.height;
  int32_t x = r.x - xoffset;
  if (w <= r.w) {
    x = r.x + (r.w - w) / 2;
    if (s->align_h == ALIGN_H_LEFT) x = r.x;
    if (s->align_h == ALIGN_H_RIGHT) x = r.x + r.w - w;
  }
  canvas_draw_text(c, widget->text.str, widget->text.size, x, y);
}

/* ---- images ---- */
static const widget_vtable_t s_image_base_vtable = {
    sizeof(image_base_t), "image_base", 0, 0, 0, NULL, NULL, widget_get_widget_vtable(), NULL,
    image_base_get_prop, image_base_set_prop, NULL, NULL, NULL, NULL, NULL, NULL, NULL, image_base_on_destroy};

ret_t image_base_set_image(widget_t* widget, const char* name) {
  return_value_if_fail(widget_is_instance_of(widget, &s_image_base_vtable) && name != NULL, RET_BAD_PARAMS);
  image_base_t* ib = IMAGE_BASE(widget);
  char* copy = tk_strdup(name);
  free(ib->image);
  ib->image = copy;
  widget_invalidate(widget, NULL);
  return RET_OK;
}

ret_t image_base_get_prop(widget_t* widget, const char* name, value_t* v) {
  if (tk_str_eq(name, WIDGET_PROP_IMAGE)) {
    value_set_str(v, IMAGE_BASE(widget)->image);
    return RET_OK;
  }
  return RET_NOT_FOUND;
}

ret_t image_base_set_prop(widget_t* widget, const char* name, const value_t* v) {
  if (tk_str_eq(name, WIDGET_PROP_IMAGE)) {
    char buf[256];
    return image_base_set_image(widget, value_str_ex(v, buf, sizeof(buf)));
  }
  return RET_NOT_FOUND;
}

ret_t image_base_on_destroy(widget_t* widget) {
  TKMEM_FREE(IMAGE_BASE(widget)->image);
  return RET_OK;
}

image_draw_type_t image_draw_type_from_str(const char* name) {
  static const struct {
    const char* name;
    image_draw_type_t type;
  } types[] = {{"default", IMAGE_DRAW_DEFAULT}, {"center", IMAGE_DRAW_CENTER}, {"icon", IMAGE_DRAW_ICON},
               {"scale", IMAGE_DRAW_SCALE},     {"auto", IMAGE_DRAW_SCALE_AUTO}, {"scale_auto", IMAGE_DRAW_SCALE_AUTO},
               {"scale_w", IMAGE_DRAW_SCALE_W}, {"scale_h", IMAGE_DRAW_SCALE_H}, {"repeat", IMAGE_DRAW_REPEAT},
               {"patch9", IMAGE_DRAW_SCALE},    {"patch3_x", IMAGE_DRAW_SCALE}, {"patch3_y", IMAGE_DRAW_SCALE}};
  for (const auto& t : types) {
    if (tk_str_eq(name, t.name)) return t.type;
  }
  if (name != NULL && *name >= '0' && *name <= '9') {
    int32_t n = tk_atoi(name);
    if (n >= IMAGE_DRAW_DEFAULT && n <= IMAGE_DRAW_REPEAT) return (image_draw_type_t)n;
  }
  return IMAGE_DRAW_DEFAULT;
}

static ret_t image_get_prop(widget_t* widget, const char* name, value_t* v) {
  if (tk_str_eq(name, WIDGET_PROP_DRAW_TYPE)) {
    value_set_int(v, ((image_t*)widget)->draw_type);
    return RET_OK;
  }
  return image_base_get_prop(widget, name, v);
}

static ret_t image_set_prop(widget_t* widget, const char* name, const value_t* v) {
  if (tk_str_eq(name, WIDGET_PROP_DRAW_TYPE)) {
    char buf[32];
    return image_set_draw_type(widget, image_draw_type_from_str(value_str_ex(v, buf, sizeof(buf))));
  }
  return image_base_set_prop(widget, name, v);
}

static ret_t image_on_paint_self(widget_t* widget, canvas_t* c) {
  image_t* image = (image_t*)widget;
  const char* name = image->image_base.image;
  if (name == NULL || *name == '\0') return RET_OK;
  bitmap_t bmp;
  if (image_manager_get_bitmap(image_manager(), name, &bmp) != RET_OK) return RET_OK;
  rect_t dst = rect_init(0, 0, widget->w, widget->h);
  tk_canvas_draw_image_typed(c, &bmp, image->draw_type, &dst);
  return RET_OK;
}

static const char* s_image_props[] = {WIDGET_PROP_IMAGE, WIDGET_PROP_DRAW_TYPE, NULL};

static const widget_vtable_t s_image_vtable = {sizeof(image_t), WIDGET_TYPE_IMAGE, 0, 0, 0, s_image_props,
                                               s_image_props, &s_image_base_vtable, image_create, image_get_prop,
                                               image_set_prop, NULL, image_on_paint_self, NULL, NULL, NULL, NULL,
                                               NULL, image_base_on_destroy};

const widget_vtable_t* image_get_widget_vtable(void) { return &s_image_vtable; }

widget_t* image_create(widget_t* parent, xy_t x, xy_t y, wh_t w, wh_t h) {
  widget_t* widget = widget_create(parent, &s_image_vtable, x, y, w, h);
  return_value_if_fail(widget != NULL, NULL);
  ((image_t*)widget)->draw_type = IMAGE_DRAW_ICON;
  return widget;
}

widget_t* image_cast(widget_t* widget) {
  return_value_if_fail(widget_is_instance_of(widget, &s_image_vtable), NULL);
  return widget;
}

ret_t image_set_draw_type(widget_t* widget, image_draw_type_t draw_type) {
  return_value_if_fail(image_cast(widget) != NULL, RET_BAD_PARAMS);
  ((image_t*)widget)->draw_type = draw_type;
  widget_invalidate(widget, NULL);
  return RET_OK;
}

/* ---- progress bar ---- */
static ret_t progress_bar_get_prop(widget_t* widget, const char* name, value_t* v) {
  progress_bar_t* pb = (progress_bar_t*)widget;
  if (tk_str_eq(name, WIDGET_PROP_VALUE)) { value_set_double(v, pb->value); return RET_OK; }
  if (tk_str_eq(name, WIDGET_PROP_MAX)) { value_set_double(v, pb->max); return RET_OK; }
  if (tk_str_eq(name, WIDGET_PROP_VERTICAL)) { value_set_bool(v, pb->vertical); return RET_OK; }
  if (tk_str_eq(name, WIDGET_PROP_SHOW_TEXT)) { value_set_bool(v, pb->show_text); return RET_OK; }
  if (tk_str_eq(name, "reverse")) { value_set_bool(v, pb->reverse); return RET_OK; }
  return RET_NOT_FOUND;
}

static ret_t progress_bar_set_prop(widget_t* widget, const char* name, const value_t* v) {
  progress_bar_t* pb = (progress_bar_t*)widget;
  if (tk_str_eq(name, WIDGET_PROP_VALUE)) return progress_bar_set_value(widget, value_double(v));
  if (tk_str_eq(name, WIDGET_PROP_MAX)) return progress_bar_set_max(widget, value_double(v));
  if (tk_str_eq(name, WIDGET_PROP_VERTICAL)) return progress_bar_set_vertical(widget, value_bool(v));
  if (tk_str_eq(name, WIDGET_PROP_SHOW_TEXT)) return progress_bar_set_show_text(widget, value_bool(v));
  if (tk_str_eq(name, "reverse")) {
    pb->reverse = value_bool(v);
    return RET_OK;
  }
  return RET_NOT_FOUND;
}

static ret_t progress_bar_on_paint_self(widget_t* widget, canvas_t* c) {
  progress_bar_t* pb = (progress_bar_t*)widget;
  const tk_style_vals* s = tk_widget_style(widget);
  double frac = pb->max > 0 ? pb->value / pb->max : 0;
  if (s->has_fg && s->fg_color.rgba.a > 0 && frac > 0) {
    rect_t r;
    if (pb->vertical) {
      wh_t h = (wh_t)(widget->h * frac + 0.5);
      r = rect_init(0, pb->reverse ? 0 : widget->h - h, widget->w, h);
    } else {
      wh_t w = (wh_t)(widget->w * frac + 0.5);
      r = rect_init(pb->reverse ? widget->w - w : 0, 0, w, widget->h);
    }
    tk_canvas_fill_round_rect(c, &r, s->round_radius, s->fg_color);
  }
  if (pb->show_text) {
    char buf[16];
    tk_snprintf(buf, sizeof(buf), "%u%%", progress_bar_get_percent(widget));
    wchar_t wbuf[16];
    tk_utf8_to_utf16(buf, wbuf, 16);
    draw_text_block(widget, c, wbuf, (uint32_t)wcslen(wbuf), false, false);
  }
  return RET_OK;
}

static const char* s_progress_bar_props[] = {WIDGET_PROP_VALUE, WIDGET_PROP_MAX, WIDGET_PROP_VERTICAL,
                                             WIDGET_PROP_SHOW_TEXT, "reverse", NULL};

static const widget_vtable_t s_progress_bar_vtable = {
    sizeof(progress_bar_t), WIDGET_TYPE_PROGRESS_BAR, 0, 0, 0, s_progress_bar_props, s_progress_bar_props,
    widget_get_widget_vtable(), progress_bar_create, progress_bar_get_prop, progress_bar_set_prop, NULL,
    progress_bar_on_paint_self, NULL, NULL, NULL, NULL, NULL, NULL};

const widget_vtable_t* progress_bar_get_widget_vtable(void) { return &s_progress_bar_vtable; }

widget_t* progress_bar_create(widget_t* parent, xy_t x, xy_t y, wh_t w, wh_t h) {
  widget_t* widget = widget_create(parent, &s_progress_bar_vtable, x, y, w, h);
  return_value_if_fail(widget != NULL, NULL);
  ((progress_bar_t*)widget)->max = 100;
  return widget;
}

widget_t* progress_bar_cast(widget_t* widget) {
  return_value_if_fail(widget_is_instance_of(widget, &s_progress_bar_vtable), NULL);
  return widget;
}

ret_t progress_bar_set_value(widget_t* widget, double value) {
  progress_bar_t* pb = PROGRESS_BAR(widget);
  return_value_if_fail(pb != NULL, RET_BAD_PARAMS);
  if (value != value) value = 0; /* NaN from a 0/0 ratio shows empty */
  value = tk_clamp(value, 0.0, pb->max);
  if (pb->value != value) {
    pb->value = value;
    widget_dispatch_simple_event(widget, EVT_VALUE_CHANGED);
    widget_invalidate(widget, NULL);
  }
  return RET_OK;
}

ret_t progress_bar_set_max(widget_t* widget, double max) {
  progress_bar_t* pb = PROGRESS_BAR(widget);
  return_value_if_fail(pb != NULL && max >= 0, RET_BAD_PARAMS);
  pb->max = max;
  if (pb->value > max) pb->value = max;
  widget_invalidate(widget, NULL);
  return RET_OK;
}

ret_t progress_bar_set_vertical(widget_t* widget, bool_t vertical) {
  progress_bar_t* pb = PROGRESS_BAR(widget);
  return_value_if_fail(pb != NULL, RET_BAD_PARAMS);
  pb->vertical = vertical;
  widget_invalidate(widget, NULL);
  return RET_OK;
}

ret_t progress_bar_set_show_text(widget_t* widget, bool_t show_text) {
  progress_bar_t* pb = PROGRESS_BAR(widget);
  return_value_if_fail(pb != NULL, RET_BAD_PARAMS);
  pb->show_text = show_text;
  widget_invalidate(widget, NULL);
  return RET_OK;
}

uint32_t progress_bar_get_percent(widget_t* widget) {
  progress_bar_t* pb = PROGRESS_BAR(widget);
  return_value_if_fail(pb != NULL, 0);
  return pb->max > 0 ? (uint32_t)(pb->value * 100 / pb->max + 0.5) : 0;
}

/* ---- registration ---- */
void tk_widgets_register_builtin(void) {
  s_factory.creators.clear();
  widget_factory_register(&s_factory, WIDGET_TYPE_NORMAL_WINDOW, window_create);
  widget_factory_register(&s_factory, WIDGET_TYPE_DIALOG, dialog_create);
  widget_factory_register(&s_factory, WIDGET_TYPE_DIALOG_TITLE, dialog_title_create);
  widget_factory_register(&s_factory, WIDGET_TYPE_DIALOG_CLIENT, dialog_client_create);
  widget_factory_register(&s_factory, WIDGET_TYPE_VIEW, view_create);
  widget_factory_register(&s_factory, WIDGET_TYPE_LABEL, label_create);
  widget_factory_register(&s_factory, WIDGET_TYPE_IMAGE, image_create);
  widget_factory_register(&s_factory, WIDGET_TYPE_PROGRESS_BAR, progress_bar_create);
}
