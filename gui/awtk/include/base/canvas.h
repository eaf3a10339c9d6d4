/* Drawing into the screen framebuffer. Coordinates are relative to the
 * origin of the widget being painted (widget-local); drawing is clipped to
 * that widget. Outside painting the origin is the screen's. */
#pragma once

#include "base/bitmap.h"
#include "tkc/color.h"
#include "tkc/rect.h"

BEGIN_C_DECLS

typedef struct _canvas_t canvas_t;

wh_t canvas_get_width(canvas_t* c);
wh_t canvas_get_height(canvas_t* c);
ret_t canvas_set_fill_color(canvas_t* c, color_t color);
ret_t canvas_set_stroke_color(canvas_t* c, color_t color);
ret_t canvas_set_text_color(canvas_t* c, color_t color);
ret_t canvas_set_fill_color_str(canvas_t* c, const char* color);
ret_t canvas_set_stroke_color_str(canvas_t* c, const char* color);
ret_t canvas_set_text_color_str(canvas_t* c, const char* color);
ret_t canvas_set_global_alpha(canvas_t* c, uint8_t alpha);
ret_t canvas_set_font(canvas_t* c, const char* name, uint16_t size);
ret_t canvas_set_text_align(canvas_t* c, align_h_t align_h, align_v_t align_v);
/* Width in pixels: the sum of the glyph advances at the current font. */
float canvas_measure_text(canvas_t* c, const wchar_t* str, uint32_t nr);
float canvas_measure_utf8(canvas_t* c, const char* str);
/* Fills with the fill colour. */
ret_t canvas_clear_rect(canvas_t* c, xy_t x, xy_t y, wh_t w, wh_t h);
ret_t canvas_fill_rect(canvas_t* c, xy_t x, xy_t y, wh_t w, wh_t h);
/* Outlines with the stroke colour. */
ret_t canvas_stroke_rect(canvas_t* c, xy_t x, xy_t y, wh_t w, wh_t h);
ret_t canvas_draw_hline(canvas_t* c, xy_t x, xy_t y, wh_t w);
ret_t canvas_draw_vline(canvas_t* c, xy_t x, xy_t y, wh_t h);
/* Text with its top-left corner at (x, y), in the text colour. */
ret_t canvas_draw_text(canvas_t* c, const wchar_t* str, uint32_t nr, xy_t x, xy_t y);
ret_t canvas_draw_utf8(canvas_t* c, const char* str, xy_t x, xy_t y);
/* Text aligned in r by the canvas's text alignment. */
ret_t canvas_draw_text_in_rect(canvas_t* c, const wchar_t* str, uint32_t nr, const rect_t* r);
ret_t canvas_draw_utf8_in_rect(canvas_t* c, const char* str, const rect_t* r);
/* src of the image scaled into dst. */
ret_t canvas_draw_image(canvas_t* c, bitmap_t* img, const rect_t* src, const rect_t* dst);
ret_t canvas_set_clip_rect(canvas_t* c, const rect_t* r);
ret_t canvas_get_clip_rect(canvas_t* c, rect_t* r);

END_C_DECLS
