/* Software drawing into the RGBA framebuffer. */
#include "awtk_internal.h"

#include <algorithm>

namespace {

inline uint32_t div255(uint32_t x) { return (x + 128 + ((x + 128) >> 8)) >> 8; }

inline uint32_t pack(uint32_t r, uint32_t g, uint32_t b, uint32_t a) { return r | (g << 8) | (b << 16) | (a << 24); }

/* Source-over onto the framebuffer pixel; a is the effective coverage. */
inline void blend(uint32_t* d, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  if (a == 0) return;
  if (a >= 255) {
    *d = pack(r, g, b, 255);
    return;
  }
  uint32_t v = *d;
  uint32_t ia = 255 - a;
  uint32_t dr = v & 0xff, dg = (v >> 8) & 0xff, db = (v >> 16) & 0xff, da = v >> 24;
  *d = pack(div255(r * a + dr * ia), div255(g * a + dg * ia), div255(b * a + db * ia), a + div255(da * ia));
}

rect_t to_screen(canvas_t* c, xy_t x, xy_t y, wh_t w, wh_t h) {
  rect_t r = rect_init(c->ox + x, c->oy + y, w, h);
  return rect_intersect(&r, &c->clip);
}

/* Pixels [x0, x1) of one framebuffer row at coverage a (0..255). */
void fill_row(uint32_t* row, int32_t x0, int32_t x1, color_t color, uint32_t a) {
  if (a == 0 || x1 <= x0) return;
  if (a >= 255) {
    std::fill(row + x0, row + x1, pack(color.rgba.r, color.rgba.g, color.rgba.b, 255));
    return;
  }
  for (int32_t x = x0; x < x1; x++) blend(row + x, color.rgba.r, color.rgba.g, color.rgba.b, a);
}

void fill_span(canvas_t* c, const rect_t& r, color_t color, uint32_t alpha) {
  uint32_t a = div255((uint32_t)color.rgba.a * alpha);
  if (a == 0 || r.w <= 0 || r.h <= 0) return;
  for (xy_t y = r.y; y < r.y + r.h; y++) fill_row(c->fb + (size_t)y * (size_t)c->fb_w, r.x, r.x + r.w, color, a);
}

/* Coverage 0..16 of pixel (px, py) by the rounded rectangle r (radius rad),
 * sampled 4 x 4. */
uint32_t rr_coverage(int32_t px, int32_t py, const rect_t& r, int32_t rad) {
  uint32_t n = 0;
  for (int sy = 0; sy < 4; sy++) {
    for (int sx = 0; sx < 4; sx++) {
      float x = px + (sx + 0.5f) / 4.0f, y = py + (sy + 0.5f) / 4.0f;
      if (x < r.x || y < r.y || x > r.x + r.w || y > r.y + r.h) continue;
      float cx = tk_clamp(x, (float)(r.x + rad), (float)(r.x + r.w - rad));
      float cy = tk_clamp(y, (float)(r.y + rad), (float)(r.y + r.h - rad));
      float dx = x - cx, dy = y - cy;
      if (dx * dx + dy * dy <= (float)rad * rad) n++;
    }
  }
  return n;
}

bool in_corner(int32_t x, int32_t y, const rect_t& r, int32_t rad) {
  bool left = x < r.x + rad, right = x >= r.x + r.w - rad;
  bool top = y < r.y + rad, bottom = y >= r.y + r.h - rad;
  return (left || right) && (top || bottom);
}

}  // namespace

canvas_t* tk_canvas_create(int32_t w, int32_t h) {
  canvas_t* c = new canvas_t();
  c->fb_w = w;
  c->fb_h = h;
  c->fb = (uint32_t*)calloc((size_t)w * (size_t)h, 4);
  tk_canvas_reset(c);
  return c;
}

void tk_canvas_destroy(canvas_t* c) {
  if (c == NULL) return;
  free(c->fb);
  delete c;
}

void tk_canvas_reset(canvas_t* c) {
  c->ox = 0;
  c->oy = 0;
  c->clip = rect_init(0, 0, c->fb_w, c->fb_h);
  c->global_alpha = 0xff;
  c->fill_color = color_init(0, 0, 0, 0xff);
  c->stroke_color = color_init(0, 0, 0, 0xff);
  c->text_color = color_init(0, 0, 0, 0xff);
  c->text_align_h = ALIGN_H_LEFT;
  c->text_align_v = ALIGN_V_TOP;
}

void tk_canvas_clear_screen(canvas_t* c, uint32_t rgba) {
  std::fill_n(c->fb, (size_t)c->fb_w * (size_t)c->fb_h, rgba);
}

wh_t canvas_get_width(canvas_t* c) { return c != NULL ? c->fb_w : 0; }
wh_t canvas_get_height(canvas_t* c) { return c != NULL ? c->fb_h : 0; }

ret_t canvas_set_fill_color(canvas_t* c, color_t color) {
  return_value_if_fail(c != NULL, RET_BAD_PARAMS);
  c->fill_color = color;
  return RET_OK;
}

ret_t canvas_set_stroke_color(canvas_t* c, color_t color) {
  return_value_if_fail(c != NULL, RET_BAD_PARAMS);
  c->stroke_color = color;
  return RET_OK;
}

ret_t canvas_set_text_color(canvas_t* c, color_t color) {
  return_value_if_fail(c != NULL, RET_BAD_PARAMS);
  c->text_color = color;
  return RET_OK;
}

static ret_t set_color_str(canvas_t* c, color_t* field, const char* color) {
  return_value_if_fail(c != NULL && color != NULL, RET_BAD_PARAMS);
  color_t v;
  return_value_if_fail(color_from_str(&v, color) != NULL, RET_BAD_PARAMS);
  *field = v;
  return RET_OK;
}

ret_t canvas_set_fill_color_str(canvas_t* c, const char* color) { return set_color_str(c, &c->fill_color, color); }
ret_t canvas_set_stroke_color_str(canvas_t* c, const char* color) { return set_color_str(c, &c->stroke_color, color); }
ret_t canvas_set_text_color_str(canvas_t* c, const char* color) { return set_color_str(c, &c->text_color, color); }

ret_t canvas_set_global_alpha(canvas_t* c, uint8_t alpha) {
  return_value_if_fail(c != NULL, RET_BAD_PARAMS);
  c->global_alpha = alpha;
  return RET_OK;
}

ret_t canvas_set_font(canvas_t* c, const char* name, uint16_t size) {
  return_value_if_fail(c != NULL, RET_BAD_PARAMS);
  c->font_name = (name != NULL && *name) ? name : system_info()->default_font;
  c->font_size = size > 0 ? size : 18;
  return RET_OK;
}

ret_t canvas_set_text_align(canvas_t* c, align_h_t align_h, align_v_t align_v) {
  return_value_if_fail(c != NULL, RET_BAD_PARAMS);
  c->text_align_h = align_h;
  c->text_align_v = align_v;
  return RET_OK;
}

static void ensure_font(canvas_t* c) {
  if (c->font_name.empty()) c->font_name = system_info()->default_font;
  if (c->font_size == 0) c->font_size = 18;
}

float canvas_measure_text(canvas_t* c, const wchar_t* str, uint32_t nr) {
  return_value_if_fail(c != NULL, 0);
  if (str == NULL) return 0;
  ensure_font(c);
  int32_t w = 0;
  for (uint32_t i = 0; i < nr && str[i] != 0; i++) {
    const tk_glyph* g = tk_font_glyph(c->font_name.c_str(), c->font_size, (uint32_t)str[i]);
    if (g != NULL) w += g->advance;
  }
  return (float)w;
}

float canvas_measure_utf8(canvas_t* c, const char* str) {
  return_value_if_fail(c != NULL, 0);
  if (str == NULL) return 0;
  std::vector<wchar_t> w(strlen(str) + 1);
  tk_utf8_to_utf16(str, w.data(), (uint32_t)w.size());
  return canvas_measure_text(c, w.data(), (uint32_t)wcslen(w.data()));
}

ret_t canvas_fill_rect(canvas_t* c, xy_t x, xy_t y, wh_t w, wh_t h) {
  return_value_if_fail(c != NULL, RET_BAD_PARAMS);
  fill_span(c, to_screen(c, x, y, w, h), c->fill_color, c->global_alpha);
  return RET_OK;
}

ret_t canvas_clear_rect(canvas_t* c, xy_t x, xy_t y, wh_t w, wh_t h) { return canvas_fill_rect(c, x, y, w, h); }

ret_t canvas_draw_hline(canvas_t* c, xy_t x, xy_t y, wh_t w) {
  return_value_if_fail(c != NULL, RET_BAD_PARAMS);
  fill_span(c, to_screen(c, x, y, w, 1), c->stroke_color, c->global_alpha);
  return RET_OK;
}

ret_t canvas_draw_vline(canvas_t* c, xy_t x, xy_t y, wh_t h) {
  return_value_if_fail(c != NULL, RET_BAD_PARAMS);
  fill_span(c, to_screen(c, x, y, 1, h), c->stroke_color, c->global_alpha);
  return RET_OK;
}

ret_t canvas_stroke_rect(canvas_t* c, xy_t x, xy_t y, wh_t w, wh_t h) {
  return_value_if_fail(c != NULL, RET_BAD_PARAMS);
  if (w <= 0 || h <= 0) return RET_OK;
  canvas_draw_hline(c, x, y, w);
  if (h > 1) canvas_draw_hline(c, x, y + h - 1, w);
  if (h > 2) {
    canvas_draw_vline(c, x, y + 1, h - 2);
    if (w > 1) canvas_draw_vline(c, x + w - 1, y + 1, h - 2);
  }
  return RET_OK;
}

/* Coverage 0..16 of pixel (x, y) by the ring between the rounded
 * rectangle s (radius rad) and the rounded rectangle in (radius irad),
 * which is empty for a filled shape. */
static uint32_t ring_coverage(int32_t x, int32_t y, const rect_t& s, int32_t rad, const rect_t& in, int32_t irad) {
  uint32_t outer = (rad > 0 && in_corner(x, y, s, rad)) ? rr_coverage(x, y, s, rad) : 16;
  bool in_inner = in.w > 0 && in.h > 0 && x >= in.x && y >= in.y && x < in.x + in.w && y < in.y + in.h;
  uint32_t inner = 0;
  if (in_inner) inner = (irad > 0 && in_corner(x, y, in, irad)) ? rr_coverage(x, y, in, irad) : 16;
  return outer > inner ? outer - inner : 0;
}

/* Draws that ring row by row. A row is cut where a corner or the inner
 * shape begins or ends; between two cuts every pixel is alike: all in a
 * corner (sampled one by one), all inside the inner shape (left alone), or
 * all wholly covered (one span, as a plain fill). So a large shape costs
 * what a fill of its area costs, and only its corners are sampled. */
static void draw_ring(canvas_t* c, const rect_t& s, int32_t rad, const rect_t& in, int32_t irad, color_t color) {
  rect_t vis = rect_intersect(&s, &c->clip);
  uint32_t base = div255((uint32_t)color.rgba.a * c->global_alpha);
  if (vis.w <= 0 || vis.h <= 0 || base == 0) return;
  const bool has_inner = in.w > 0 && in.h > 0;
  const int32_t x_end = vis.x + vis.w;
  for (xy_t y = vis.y; y < vis.y + vis.h; y++) {
    uint32_t* row = c->fb + (size_t)y * (size_t)c->fb_w;
    const bool inner_row = has_inner && y >= in.y && y < in.y + in.h;
    int32_t cuts[10];
    int n = 0;
    cuts[n++] = vis.x;
    cuts[n++] = x_end;
    if (rad > 0) {
      cuts[n++] = s.x + rad;
      cuts[n++] = s.x + s.w - rad;
    }
    if (inner_row) {
      cuts[n++] = in.x;
      cuts[n++] = in.x + in.w;
      if (irad > 0) {
        cuts[n++] = in.x + irad;
        cuts[n++] = in.x + in.w - irad;
      }
    }
    for (int i = 0; i < n; i++) cuts[i] = tk_clamp(cuts[i], vis.x, x_end);
    std::sort(cuts, cuts + n);
    for (int i = 0; i + 1 < n; i++) {
      const int32_t x0 = cuts[i], x1 = cuts[i + 1];
      if (x0 >= x1) continue;
      const bool outer_corner = rad > 0 && in_corner(x0, y, s, rad);
      const bool inside = inner_row && x0 >= in.x && x0 < in.x + in.w;
      const bool inner_corner = inside && irad > 0 && in_corner(x0, y, in, irad);
      if (outer_corner || inner_corner) {
        for (int32_t x = x0; x < x1; x++) {
          blend(row + x, color.rgba.r, color.rgba.g, color.rgba.b, base * ring_coverage(x, y, s, rad, in, irad) / 16);
        }
      } else if (!inside) {
        fill_row(row, x0, x1, color, base);
      }
    }
  }
}

void tk_canvas_fill_round_rect(canvas_t* c, const rect_t* r, int32_t radius, color_t color) {
  rect_t s = rect_init(c->ox + r->x, c->oy + r->y, r->w, r->h);
  radius = tk_min(radius, tk_min(r->w, r->h) / 2);
  if (radius <= 0) {
    fill_span(c, rect_intersect(&s, &c->clip), color, c->global_alpha);
    return;
  }
  draw_ring(c, s, radius, rect_init(0, 0, 0, 0), 0, color);
}

void tk_canvas_stroke_round_rect(canvas_t* c, const rect_t* r, int32_t radius, int32_t width, color_t color) {
  rect_t s = rect_init(c->ox + r->x, c->oy + r->y, r->w, r->h);
  radius = tk_min(radius, tk_min(r->w, r->h) / 2);
  rect_t inner = rect_init(s.x + width, s.y + width, s.w - 2 * width, s.h - 2 * width);
  draw_ring(c, s, radius, inner, tk_max(radius - width, 0), color);
}

ret_t canvas_draw_text(canvas_t* c, const wchar_t* str, uint32_t nr, xy_t x, xy_t y) {
  return_value_if_fail(c != NULL, RET_BAD_PARAMS);
  if (str == NULL || nr == 0) return RET_OK;
  ensure_font(c);
  tk_font_metrics m;
  if (!tk_font_metrics_get(c->font_name.c_str(), c->font_size, &m)) return RET_NOT_FOUND;
  color_t tc = c->text_color;
  uint32_t base = div255((uint32_t)tc.rgba.a * c->global_alpha);
  if (base == 0) return RET_OK;
  int32_t pen = c->ox + x;
  int32_t baseline = c->oy + y + m.ascent;
  const rect_t& clip = c->clip;
  for (uint32_t i = 0; i < nr && str[i] != 0; i++) {
    const tk_glyph* g = tk_font_glyph(c->font_name.c_str(), c->font_size, (uint32_t)str[i]);
    if (g == NULL) continue;
    int32_t gx = pen + g->left, gy = baseline - g->top;
    int32_t x0 = tk_max(gx, clip.x), x1 = tk_min(gx + g->w, clip.x + clip.w);
    int32_t y0 = tk_max(gy, clip.y), y1 = tk_min(gy + g->h, clip.y + clip.h);
    for (int32_t yy = y0; yy < y1; yy++) {
      const uint8_t* src = g->coverage.data() + (size_t)(yy - gy) * (size_t)g->w;
      uint32_t* row = c->fb + (size_t)yy * (size_t)c->fb_w;
      for (int32_t xx = x0; xx < x1; xx++) {
        uint32_t cov = src[xx - gx];
        if (cov != 0) blend(row + xx, tc.rgba.r, tc.rgba.g, tc.rgba.b, div255(cov * base));
      }
    }
    pen += g->advance;
  }
  return RET_OK;
}

ret_t canvas_draw_utf8(canvas_t* c, const char* str, xy_t x, xy_t y) {
  return_value_if_fail(c != NULL && str != NULL, RET_BAD_PARAMS);
  std::vector<wchar_t> w(strlen(str) + 1);
  tk_utf8_to_utf16(str, w.data(), (uint32_t)w.size());
  return canvas_draw_text(c, w.data(), (uint32_t)wcslen(w.data()), x, y);
}

ret_t canvas_draw_text_in_rect(canvas_t* c, const wchar_t* str, uint32_t nr, const rect_t* r) {
  return_value_if_fail(c != NULL && str != NULL && r != NULL, RET_BAD_PARAMS);
  ensure_font(c);
  tk_font_metrics m;
  if (!tk_font_metrics_get(c->font_name.c_str(), c->font_size, &m)) return RET_NOT_FOUND;
  int32_t w = (int32_t)canvas_measure_text(c, str, nr);
  int32_t x = r->x, y = r->y;
  if (c->text_align_h == ALIGN_H_CENTER) x = r->x + (r->w - w) / 2;
  if (c->text_align_h == ALIGN_H_RIGHT) x = r->x + r->w - w;
  if (c->text_align_v == ALIGN_V_MIDDLE) y = r->y + (r->h - m.height) / 2;
  if (c->text_align_v == ALIGN_V_BOTTOM) y = r->y + r->h - m.height;
  return canvas_draw_text(c, str, nr, x, y);
}

ret_t canvas_draw_utf8_in_rect(canvas_t* c, const char* str, const rect_t* r) {
  return_value_if_fail(c != NULL && str != NULL, RET_BAD_PARAMS);
  std::vector<wchar_t> w(strlen(str) + 1);
  tk_utf8_to_utf16(str, w.data(), (uint32_t)w.size());
  return canvas_draw_text_in_rect(c, w.data(), (uint32_t)wcslen(w.data()), r);
}

ret_t canvas_draw_image(canvas_t* c, bitmap_t* img, const rect_t* src, const rect_t* dst) {
  return_value_if_fail(c != NULL && img != NULL && img->data != NULL && src != NULL && dst != NULL, RET_BAD_PARAMS);
  rect_t whole = rect_init(0, 0, img->w, img->h);
  rect_t s = rect_intersect(src, &whole);
  if (s.w <= 0 || s.h <= 0 || dst->w <= 0 || dst->h <= 0) return RET_OK;
  rect_t d = rect_init(c->ox + dst->x, c->oy + dst->y, dst->w, dst->h);
  rect_t vis = rect_intersect(&d, &c->clip);
  uint32_t ga = c->global_alpha;
  bool same = s.w == d.w && s.h == d.h;
  /* 16.16 steps from destination pixel centres back to source pixels. */
  int64_t step_x = ((int64_t)s.w << 16) / d.w, step_y = ((int64_t)s.h << 16) / d.h;
  for (xy_t y = vis.y; y < vis.y + vis.h; y++) {
    int32_t sy = same ? s.y + (y - d.y) : s.y + (int32_t)(((int64_t)(y - d.y) * step_y + step_y / 2) >> 16);
    sy = tk_clamp(sy, s.y, s.y + s.h - 1);
    const uint8_t* srow = img->data + (size_t)sy * img->line_length;
    uint32_t* row = c->fb + (size_t)y * (size_t)c->fb_w;
    for (xy_t x = vis.x; x < vis.x + vis.w; x++) {
      int32_t sx = same ? s.x + (x - d.x) : s.x + (int32_t)(((int64_t)(x - d.x) * step_x + step_x / 2) >> 16);
      sx = tk_clamp(sx, s.x, s.x + s.w - 1);
      const uint8_t* p = srow + (size_t)sx * 4;
      uint32_t a = ga == 255 ? p[3] : div255(p[3] * ga);
      blend(row + x, p[0], p[1], p[2], a);
    }
  }
  return RET_OK;
}

void tk_canvas_draw_image_typed(canvas_t* c, bitmap_t* img, image_draw_type_t type, const rect_t* dst) {
  rect_t src = rect_init(0, 0, img->w, img->h);
  rect_t d = rect_init(dst->x, dst->y, img->w, img->h);
  switch (type) {
    case IMAGE_DRAW_DEFAULT:
      break;
    case IMAGE_DRAW_CENTER:
      d.x = dst->x + (dst->w - img->w) / 2;
      d.y = dst->y + (dst->h - img->h) / 2;
      break;
    case IMAGE_DRAW_ICON:
    case IMAGE_DRAW_SCALE_AUTO:
    case IMAGE_DRAW_SCALE_W:
    case IMAGE_DRAW_SCALE_H: {
      double sx = (double)dst->w / img->w, sy = (double)dst->h / img->h;
      double k = tk_min(sx, sy);
      if (type == IMAGE_DRAW_ICON) k = tk_min(k, 1.0);
      if (type == IMAGE_DRAW_SCALE_W) k = sx;
      if (type == IMAGE_DRAW_SCALE_H) k = sy;
      d.w = (wh_t)(img->w * k + 0.5);
      d.h = (wh_t)(img->h * k + 0.5);
      d.x = dst->x + (dst->w - d.w) / 2;
      d.y = dst->y + (dst->h - d.h) / 2;
      break;
    }
    case IMAGE_DRAW_SCALE:
      d = *dst;
      break;
    case IMAGE_DRAW_REPEAT: {
      rect_t saved = c->clip;
      rect_t area = rect_init(c->ox + dst->x, c->oy + dst->y, dst->w, dst->h);
      c->clip = rect_intersect(&saved, &area);
      for (xy_t y = dst->y; y < dst->y + dst->h; y += img->h) {
        for (xy_t x = dst->x; x < dst->x + dst->w; x += img->w) {
          rect_t t = rect_init(x, y, img->w, img->h);
          canvas_draw_image(c, img, &src, &t);
        }
      }
      c->clip = saved;
      return;
    }
  }
  canvas_draw_image(c, img, &src, &d);
}

ret_t canvas_set_clip_rect(canvas_t* c, const rect_t* r) {
  return_value_if_fail(c != NULL, RET_BAD_PARAMS);
  rect_t screen = rect_init(0, 0, c->fb_w, c->fb_h);
  if (r == NULL) {
    c->clip = screen;
  } else {
    rect_t abs = rect_init(c->ox + r->x, c->oy + r->y, r->w, r->h);
    c->clip = rect_intersect(&abs, &screen);
  }
  return RET_OK;
}

ret_t canvas_get_clip_rect(canvas_t* c, rect_t* r) {
  return_value_if_fail(c != NULL && r != NULL, RET_BAD_PARAMS);
  *r = rect_init(c->clip.x - c->ox, c->clip.y - c->oy, c->clip.w, c->clip.h);
  return RET_OK;
}
