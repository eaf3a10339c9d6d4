/* Internal interfaces between the parts of the toolkit layer. */
#pragma once

#include "awtk.h"
#include "awtk_host.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

/* ---- XML (expat) ---- */
struct tk_xml_node {
  std::string tag;
  std::vector<std::pair<std::string, std::string>> attrs;
  std::vector<tk_xml_node> children;
  std::string text;
  const char* attr(const char* name) const;
};
/* Parses a file; fragment allows several top-level elements (theme files).
 * On failure err holds "<path>:<line>: <reason>". */
bool tk_xml_parse_file(const std::string& path, bool fragment, tk_xml_node* root, std::string* err);

/* ---- resources ---- */
std::string tk_res_path(const char* subdir, const std::string& file);
bool tk_file_exists(const std::string& path);

/* ---- custom properties and styles of a widget ---- */
struct _tk_object_t {
  std::vector<std::pair<std::string, value_t>> props;
};

struct tk_style_vals {
  color_t bg_color, fg_color, text_color, border_color;
  bool has_bg, has_fg, has_border_color;
  std::string font_name;
  int32_t font_size;
  align_h_t align_h;
  align_v_t align_v;
  int32_t border;       /* bit set of TK_BORDER_* */
  int32_t border_width;
  int32_t round_radius;
  int32_t margin_l, margin_r, margin_t, margin_b;
  std::string bg_image;
  image_draw_type_t bg_image_draw_type;
};
enum { TK_BORDER_LEFT = 1, TK_BORDER_RIGHT = 2, TK_BORDER_TOP = 4, TK_BORDER_BOTTOM = 8, TK_BORDER_ALL = 15 };

struct _style_t {
  std::map<std::string, std::map<std::string, std::string>> overrides; /* state -> prop -> value */
  bool dirty = true;
  uint32_t theme_gen = 0;
  tk_style_vals vals;
};

/* The resolved style of a widget in its current state. */
const tk_style_vals* tk_widget_style(widget_t* widget);
/* The raw text of one style property: override, then theme, else NULL. */
const char* tk_widget_style_raw(widget_t* widget, const char* state, const char* prop);
void tk_style_invalidate(widget_t* widget);

/* ---- theme ---- */
ret_t tk_theme_load(const char* theme);
void tk_theme_reset(void);
bool tk_theme_loaded(void);
uint32_t tk_theme_generation(void);
const char* tk_theme_get(const char* type, const char* style, const char* state, const char* prop);

/* ---- widgets ---- */
/* Frees a widget tree now (EVT_DESTROY first). Only the main loop calls it. */
void tk_widget_free(widget_t* widget);
/* TRUE when the widget or an ancestor was destroyed or its window closed. */
bool tk_widget_is_dead(widget_t* widget);
ret_t tk_widget_dispatch_key(widget_t* widget, key_event_t* e);
void tk_widget_paint_default_background(widget_t* widget, canvas_t* c);
void tk_widget_paint_default_border(widget_t* widget, canvas_t* c);
/* Parses "c", "c:N", "m", "r:N", "N%", "N" against the parent size. false
 * (and 0) for a value beyond TK_LAYOUT_LIMIT pixels either way: far more
 * than any screen, and sums of positions and sizes stay inside int32. */
#define TK_LAYOUT_LIMIT (1 << 20)
bool tk_layout_parse(const char* expr, int32_t parent_size, int32_t self_size, bool is_pos, int32_t* out);
/* The same, 0 for a value out of range. */
int32_t tk_layout_value(const char* expr, int32_t parent_size, int32_t self_size, bool is_pos);
void tk_widgets_register_builtin(void);
extern int32_t g_tk_dispatch_depth;

/* ---- window manager ---- */
ret_t tk_wm_init(wh_t w, wh_t h);
void tk_wm_deinit(void);
void tk_wm_forget(widget_t* window);
bool tk_wm_window_closed(widget_t* window);
bool tk_wm_is_dirty(void);
void tk_wm_set_dirty(void);
void tk_wm_set_pointer(xy_t x, xy_t y);
canvas_t* tk_wm_canvas(void);
ret_t tk_wm_dispatch_key(uint32_t key, bool pressed);
/* Around the loading of a window file (ui_loader): windows created in
 * between are not opened by the window manager. */
void tk_window_loading_begin(void);
void tk_window_loading_end(void);
/* Loads "ui/<name>.xml" into a window that is not yet opened. */
widget_t* tk_ui_load(const char* name);

/* ---- main loop ---- */
ret_t tk_loop_init(bool virtual_clock);
void tk_loop_deinit(void);
/* One turn; may_wait lets it block until there is work. Returns TRUE when
 * it did anything. */
bool tk_loop_turn(bool may_wait);
bool tk_loop_quitting(void);
void tk_loop_clear_quit(void);
void tk_loop_defer(std::function<void()> fn);
void tk_loop_free_later(widget_t* widget);
bool tk_loop_is_gui_thread(void);
bool tk_clock_is_virtual(void);
void tk_clock_advance(uint64_t ms);
/* Due time of the earliest live timer, or UINT64_MAX. */
uint64_t tk_timers_next_due(void);
void tk_timers_remove_widget(widget_t* widget);
bool tk_loop_has_pending_work(void);
int tk_loop_wake_fd(void);
void tk_loop_wake(void);

/* ---- canvas and rendering ---- */
struct _canvas_t {
  uint32_t* fb; /* bytes r, g, b, a per pixel */
  int32_t fb_w, fb_h;
  xy_t ox, oy;   /* origin of the widget being painted, in screen pixels */
  rect_t clip;   /* in screen pixels */
  color_t fill_color, stroke_color, text_color;
  uint8_t global_alpha;
  std::string font_name;
  uint16_t font_size;
  align_h_t text_align_h;
  align_v_t text_align_v;
};
canvas_t* tk_canvas_create(int32_t w, int32_t h);
void tk_canvas_destroy(canvas_t* c);
void tk_canvas_reset(canvas_t* c);
void tk_canvas_clear_screen(canvas_t* c, uint32_t rgba);
/* Rounded-rectangle fill and ring, in widget coordinates. */
void tk_canvas_fill_round_rect(canvas_t* c, const rect_t* r, int32_t radius, color_t color);
void tk_canvas_stroke_round_rect(canvas_t* c, const rect_t* r, int32_t radius, int32_t width, color_t color);
void tk_canvas_draw_image_typed(canvas_t* c, bitmap_t* img, image_draw_type_t type, const rect_t* dst);

/* ---- fonts ---- */
struct tk_glyph {
  int32_t w, h, left, top, advance;
  std::vector<uint8_t> coverage;
};
struct tk_font_metrics {
  int32_t ascent, descent, height;
};
bool tk_font_metrics_get(const char* name, uint16_t size, tk_font_metrics* m);
const tk_glyph* tk_font_glyph(const char* name, uint16_t size, uint32_t code);
/* The file a font name resolves to ("" when none). */
std::string tk_font_path(const char* name);
void tk_fonts_deinit(void);

/* ---- images ---- */
/* Decodes PNG, JPEG or BMP (sniffed from the bytes) into RGBA. */
bool tk_image_decode_file(const std::string& path, std::vector<uint8_t>* rgba, int32_t* w, int32_t* h);
bool tk_image_decode_mem(const uint8_t* data, size_t size, std::vector<uint8_t>* rgba, int32_t* w, int32_t* h);
bool tk_png_write(const char* path, const uint8_t* rgba, int32_t w, int32_t h);
/* The GUI plane with its transparency (RGBA, not premultiplied). */
bool tk_png_write_plane(const char* path, const uint8_t* rgba, int32_t w, int32_t h);
/* $VESK_VIDEO_PLANE, or null when the GUI has no video plane under it. */
const char* tk_video_plane_path(void);
ret_t awtk_host_screenshot_plane(const char* png_path);
void tk_images_deinit(void);
/* Around each paint of the whole screen: big images that the paint did not
 * draw are let go at its end. */
void tk_images_paint_begin(void);
void tk_images_paint_end(void);
/* When the big images kept since the last paint are let go (UINT64_MAX:
 * none kept), and letting them go once that time has come. */
uint64_t tk_images_release_due(void);
void tk_images_release_idle(uint64_t now_ms);

/* ---- locale ---- */
void tk_locale_init(void);
void tk_locale_deinit(void);

/* ---- backends ---- */
bool tk_sdl_open(int32_t w, int32_t h, const char* title);
void tk_sdl_close(void);
/* Moves SDL input to the main loop; FALSE when the window asked to quit. */
bool tk_sdl_poll(void);
void tk_sdl_present(const uint32_t* fb, int32_t w, int32_t h);
/* Waits for SDL events, or for tk_sdl_wake from another thread. */
void tk_sdl_wait(uint32_t timeout_ms);
/* Ends the GUI thread's tk_sdl_wait; any thread, not from a signal handler. */
void tk_sdl_wake(void);
bool tk_backend_is_sdl(void);

/* ---- snapshots ---- */
void tk_snapshot_install_signal(void);
void tk_snapshot_uninstall_signal(void);
void tk_snapshot_service(void);
