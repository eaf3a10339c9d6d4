/* The window stack, windows, dialogs and modal loops. */
#include "awtk_internal.h"

#include <unordered_map>

namespace {

struct win_state {
  uint64_t serial;
  bool closed;
  bool modal;
  bool quited;
};

std::unordered_map<widget_t*, win_state> s_wins;
std::unordered_map<uint64_t, uint32_t> s_quit_codes; /* serial -> code */
uint64_t s_serial = 0;
widget_t* s_wm = NULL;
canvas_t* s_canvas = NULL;
bool s_dirty = true;
std::string s_cursor;
bool s_has_pointer = false;
xy_t s_pointer_x = 0, s_pointer_y = 0;
int32_t s_loading = 0;

const widget_vtable_t s_wm_vtable = {sizeof(widget_t), WIDGET_TYPE_WINDOW_MANAGER, 0, 0, 0, NULL, NULL,
                                     widget_get_widget_vtable(), NULL, NULL, NULL, NULL, NULL, NULL,
                                     NULL, NULL, NULL, NULL, NULL};

bool alive(widget_t* win, uint64_t serial) {
  auto it = s_wins.find(win);
  return it != s_wins.end() && it->second.serial == serial && !it->second.closed;
}

win_state* state_of(widget_t* win) {
  auto it = s_wins.find(win);
  return it == s_wins.end() ? NULL : &it->second;
}

std::vector<widget_t*> open_windows(void) {
  std::vector<widget_t*> v;
  if (s_wm != NULL && s_wm->children != NULL) {
    for (uint32_t i = 0; i < s_wm->children->size; i++) v.push_back((widget_t*)s_wm->children->elms[i]);
  }
  return v;
}

void dispatch_simple(widget_t* target, uint32_t type) {
  event_t e = event_init(type, target);
  widget_dispatch(target, &e);
}

void dispatch_top_changed(widget_t* top) {
  window_event_t e;
  widget_dispatch(s_wm, window_event_init(&e, EVT_TOP_WINDOW_CHANGED, s_wm, top));
}

/* Takes all of wins off the stack first, then tells each (in the given
 * order) it closed, then tells a newly revealed top window. */
ret_t close_many(const std::vector<widget_t*>& wins) {
  widget_t* old_top = window_manager_get_top_window(s_wm);
  std::vector<widget_t*> closed;
  for (widget_t* win : wins) {
    win_state* st = state_of(win);
    if (st == NULL || st->closed || win->parent != s_wm) continue;
    widget_remove_child(s_wm, win);
    st->closed = true;
    if (st->modal) st->quited = true;
    tk_loop_free_later(win);
    closed.push_back(win);
  }
  if (closed.empty()) return RET_NOT_FOUND;
  s_dirty = true;
  for (widget_t* win : closed) dispatch_simple(win, EVT_WINDOW_CLOSE);
  widget_t* top = window_manager_get_top_window(s_wm);
  if (top != NULL && top != old_top) {
    dispatch_simple(top, EVT_WINDOW_TO_FOREGROUND);
    dispatch_top_changed(top);
  }
  return RET_OK;
}

const char* s_window_props[] = {NULL};

}  // namespace

/* ---- module life ---- */
ret_t tk_wm_init(wh_t w, wh_t h) {
  s_wm = widget_create(NULL, &s_wm_vtable, 0, 0, w, h);
  widget_set_name(s_wm, WIDGET_TYPE_WINDOW_MANAGER);
  s_canvas = tk_canvas_create(w, h);
  s_dirty = true;
  return s_wm != NULL && s_canvas != NULL ? RET_OK : RET_OOM;
}

void tk_wm_deinit(void) {
  if (s_wm != NULL) tk_widget_free(s_wm);
  s_wm = NULL;
  tk_canvas_destroy(s_canvas);
  s_canvas = NULL;
  s_wins.clear();
  s_quit_codes.clear();
  s_cursor.clear();
  s_has_pointer = false;
}

void tk_wm_forget(widget_t* window) {
  /* A quit code stays until its modal loop reads it: the dialog may be
   * freed before the loop looks. */
  s_wins.erase(window);
}

bool tk_wm_window_closed(widget_t* window) {
  auto it = s_wins.find(window);
  return it != s_wins.end() && it->second.closed;
}

bool tk_wm_is_dirty(void) { return s_dirty; }
void tk_wm_set_dirty(void) { s_dirty = true; }
canvas_t* tk_wm_canvas(void) { return s_canvas; }

void tk_wm_set_pointer(xy_t x, xy_t y) {
  s_has_pointer = true;
  s_pointer_x = x;
  s_pointer_y = y;
  s_dirty = true;
}

ret_t tk_wm_dispatch_key(uint32_t key, bool pressed) {
  widget_t* top = window_manager_get_top_window(s_wm);
  if (top == NULL) return RET_NOT_FOUND;
  key_event_t e;
  key_event_init(&e, pressed ? EVT_KEY_DOWN : EVT_KEY_UP, top, (int32_t)key);
  return tk_widget_dispatch_key(top, &e);
}

/* ---- window manager ---- */
widget_t* window_manager(void) { return s_wm; }

widget_t* window_manager_get_top_window(widget_t* widget) {
  return_value_if_fail(widget != NULL, NULL);
  int32_t n = widget_count_children(widget);
  return n > 0 ? widget_get_child(widget, n - 1) : NULL;
}

widget_t* window_manager_get_top_main_window(widget_t* widget) {
  return_value_if_fail(widget != NULL, NULL);
  for (int32_t i = widget_count_children(widget) - 1; i >= 0; i--) {
    widget_t* w = widget_get_child(widget, i);
    if (widget_is_normal_window(w)) return w;
  }
  return NULL;
}

widget_t* window_manager_get_prev_window(widget_t* widget) {
  return_value_if_fail(widget != NULL, NULL);
  int32_t n = widget_count_children(widget);
  return n > 1 ? widget_get_child(widget, n - 2) : NULL;
}

ret_t window_manager_open_window(widget_t* widget, widget_t* window) {
  return_value_if_fail(widget != NULL && widget == s_wm && window != NULL && window->vt->is_window, RET_BAD_PARAMS);
  return_value_if_fail(window->parent == NULL && state_of(window) == NULL, RET_BAD_PARAMS);
  if (window->name != NULL && widget_get_prop_bool(window, WIDGET_PROP_SINGLE_INSTANCE, FALSE)) {
    std::vector<widget_t*> same;
    for (widget_t* w : open_windows()) {
      if (tk_str_eq(w->name, window->name)) same.push_back(w);
    }
    if (!same.empty()) close_many(same);
  }
  widget_t* prev = window_manager_get_top_window(s_wm);
  uint64_t prev_serial = prev != NULL ? state_of(prev)->serial : 0;
  uint64_t serial = ++s_serial;
  s_wins[window] = win_state{serial, false, false, false};
  if (widget_is_normal_window(window) && (window->w <= 0 || window->h <= 0)) {
    window->x = 0;
    window->y = 0;
    window->w = s_wm->w;
    window->h = s_wm->h;
  }
  if (s_wm->children == NULL) s_wm->children = darray_create(8);
  darray_push(s_wm->children, window);
  window->parent = s_wm;
  s_dirty = true;
  tk_loop_defer([window, serial, prev, prev_serial]() {
    if (!alive(window, serial)) return;
    if (prev != NULL && alive(prev, prev_serial) && prev != window_manager_get_top_window(s_wm)) {
      dispatch_simple(prev, EVT_WINDOW_TO_BACKGROUND);
    }
    if (!alive(window, serial)) return;
    dispatch_simple(window, EVT_WINDOW_WILL_OPEN);
    if (!alive(window, serial)) return;
    dispatch_simple(window, EVT_WINDOW_OPEN);
    if (alive(window, serial) && window == window_manager_get_top_window(s_wm)) dispatch_top_changed(window);
  });
  return RET_OK;
}

ret_t window_manager_close_window(widget_t* widget, widget_t* window) {
  return_value_if_fail(widget != NULL && widget == s_wm && window != NULL && window->vt->is_window, RET_BAD_PARAMS);
  return close_many({window});
}

ret_t window_manager_close_window_force(widget_t* widget, widget_t* window) {
  return window_manager_close_window(widget, window);
}

ret_t window_manager_back(widget_t* widget) {
  return_value_if_fail(widget != NULL && widget == s_wm, RET_BAD_PARAMS);
  widget_t* top = window_manager_get_top_window(widget);
  if (top == NULL) return RET_NOT_FOUND;
  win_state* st = state_of(top);
  if (st != NULL && st->modal) return dialog_quit(top, DIALOG_QUIT_NONE);
  return close_many({top});
}

ret_t window_manager_back_to(widget_t* widget, const char* target) {
  return_value_if_fail(widget != NULL && widget == s_wm && target != NULL, RET_BAD_PARAMS);
  std::vector<widget_t*> wins = open_windows();
  std::vector<widget_t*> above;
  for (int32_t i = (int32_t)wins.size() - 1; i >= 0; i--) {
    if (tk_str_eq(wins[(size_t)i]->name, target)) {
      if (above.empty()) return RET_OK;
      return close_many(above);
    }
    above.push_back(wins[(size_t)i]);
  }
  return RET_NOT_FOUND;
}

ret_t window_manager_back_to_home(widget_t* widget) {
  return_value_if_fail(widget != NULL && widget == s_wm, RET_BAD_PARAMS);
  std::vector<widget_t*> wins = open_windows();
  size_t home = 0;
  while (home < wins.size() && !widget_is_normal_window(wins[home])) home++;
  if (home >= wins.size()) return RET_NOT_FOUND;
  std::vector<widget_t*> above(wins.rbegin(), wins.rend() - (long)home - 1);
  return above.empty() ? RET_OK : close_many(above);
}

ret_t window_manager_switch_to(widget_t* widget, widget_t* curr_win, widget_t* target_win, bool_t close) {
  return_value_if_fail(widget != NULL && widget == s_wm && target_win != NULL, RET_BAD_PARAMS);
  return_value_if_fail(target_win->parent == s_wm && !tk_wm_window_closed(target_win), RET_BAD_PARAMS);
  if (curr_win == target_win) return RET_OK;
  std::vector<widget_t*> wins = open_windows();
  int32_t index = widget_index_of(target_win);
  for (size_t i = (size_t)index + 1; i < wins.size(); i++) {
    win_state* st = state_of(wins[i]);
    if (st != NULL && st->modal && !(close && wins[i] == curr_win)) return RET_FAIL;
  }
  widget_t* old_top = window_manager_get_top_window(s_wm);
  widget_restack(target_win, (uint32_t)wins.size() - 1);
  if (close && curr_win != NULL && curr_win->parent == s_wm) {
    close_many({curr_win});
  } else if (old_top != NULL && old_top != target_win) {
    dispatch_simple(old_top, EVT_WINDOW_TO_BACKGROUND);
  }
  if (!tk_wm_window_closed(target_win)) {
    dispatch_simple(target_win, EVT_WINDOW_TO_FOREGROUND);
    dispatch_top_changed(target_win);
  }
  s_dirty = true;
  return RET_OK;
}

ret_t window_manager_close_all(widget_t* widget) {
  return_value_if_fail(widget != NULL && widget == s_wm, RET_BAD_PARAMS);
  std::vector<widget_t*> wins = open_windows();
  std::vector<widget_t*> top_first(wins.rbegin(), wins.rend());
  return top_first.empty() ? RET_OK : close_many(top_first);
}

ret_t window_manager_set_cursor(widget_t* widget, const char* cursor) {
  return_value_if_fail(widget != NULL && widget == s_wm, RET_BAD_PARAMS);
  s_cursor = cursor != NULL ? cursor : "";
  s_dirty = true;
  return RET_OK;
}

ret_t window_manager_paint(widget_t* widget) {
  return_value_if_fail(widget != NULL && widget == s_wm && s_canvas != NULL, RET_BAD_PARAMS);
  tk_canvas_reset(s_canvas);
  /* The GUI plane lies over the video plane: what no window paints stays
   * clear (the framebuffer holds premultiplied colours, so clear is 0). */
  tk_canvas_clear_screen(s_canvas, 0x00000000u);
  /* Normal windows cover the screen: start at the topmost one. */
  std::vector<widget_t*> wins = open_windows();
  size_t start = 0;
  for (size_t i = 0; i < wins.size(); i++) {
    if (widget_is_normal_window(wins[i])) start = i;
  }
  for (size_t i = start; i < wins.size(); i++) widget_paint(wins[i], s_canvas);
  if (s_has_pointer && !s_cursor.empty()) {
    bitmap_t bmp;
    if (image_manager_get_bitmap(image_manager(), s_cursor.c_str(), &bmp) == RET_OK) {
      rect_t src = rect_init(0, 0, bmp.w, bmp.h);
      rect_t dst = rect_init(s_pointer_x, s_pointer_y, bmp.w, bmp.h);
      canvas_draw_image(s_canvas, &bmp, &src, &dst);
    }
  }
  s_dirty = false;
  return RET_OK;
}

ret_t window_manager_dispatch_input_event(widget_t* widget, event_t* e) {
  return_value_if_fail(widget != NULL && widget == s_wm && e != NULL, RET_BAD_PARAMS);
  if (e->type == EVT_KEY_DOWN || e->type == EVT_KEY_UP) {
    key_event_t* ke = key_event_cast(e);
    return_value_if_fail(ke != NULL, RET_BAD_PARAMS);
    widget_t* top = window_manager_get_top_window(s_wm);
    if (top == NULL) return RET_NOT_FOUND;
    return tk_widget_dispatch_key(top, ke);
  }
  return widget_dispatch(widget, e);
}

/* ---- windows ---- */
static const widget_vtable_t s_window_vtable = {
    sizeof(widget_t), WIDGET_TYPE_NORMAL_WINDOW, 0, 0, 1, s_window_props, s_window_props,
    widget_get_widget_vtable(), window_create, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL};

const widget_vtable_t* window_get_widget_vtable(void) { return &s_window_vtable; }

static widget_t* window_create_typed(const widget_vtable_t* vt, widget_t* parent, xy_t x, xy_t y, wh_t w, wh_t h) {
  widget_t* win = widget_create(NULL, vt, x, y, w, h);
  return_value_if_fail(win != NULL, NULL);
  if (s_loading == 0 && (parent == NULL || parent == s_wm)) {
    window_manager_open_window(s_wm, win);
  }
  return win;
}

void tk_window_loading_begin(void) { s_loading++; }
void tk_window_loading_end(void) { s_loading--; }

widget_t* window_create(widget_t* parent, xy_t x, xy_t y, wh_t w, wh_t h) {
  return window_create_typed(&s_window_vtable, parent, x, y, w, h);
}

widget_t* window_cast(widget_t* widget) {
  return_value_if_fail(widget_is_window(widget), NULL);
  return widget;
}

widget_t* tk_ui_load(const char* name);

static widget_t* open_resource(const char* name) {
  return_value_if_fail(name != NULL && *name, NULL);
  widget_t* win = tk_ui_load(name);
  if (win == NULL) return NULL;
  if (window_manager_open_window(s_wm, win) != RET_OK) {
    tk_widget_free(win);
    return NULL;
  }
  return win;
}

widget_t* window_open(const char* name) { return open_resource(name); }

widget_t* window_open_and_close(const char* name, widget_t* to_close) {
  widget_t* win = open_resource(name);
  if (win != NULL && to_close != NULL && to_close != win && to_close->parent == s_wm) {
    close_many({to_close});
  }
  return win;
}

ret_t window_close(widget_t* widget) {
  return_value_if_fail(widget_is_window(widget), RET_BAD_PARAMS);
  return window_manager_close_window(s_wm, widget);
}

ret_t window_close_force(widget_t* widget) {
  return_value_if_fail(widget_is_window(widget), RET_BAD_PARAMS);
  return window_manager_close_window_force(s_wm, widget);
}

/* ---- dialogs ---- */
static const widget_vtable_t s_dialog_vtable = {
    sizeof(widget_t), WIDGET_TYPE_DIALOG, 0, 0, 1, s_window_props, s_window_props, &s_window_vtable,
    dialog_create, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL};

const widget_vtable_t* dialog_get_widget_vtable(void) { return &s_dialog_vtable; }

widget_t* dialog_create(widget_t* parent, xy_t x, xy_t y, wh_t w, wh_t h) {
  return window_create_typed(&s_dialog_vtable, parent, x, y, w, h);
}

widget_t* dialog_cast(widget_t* widget) {
  return_value_if_fail(widget_is_dialog(widget), NULL);
  return widget;
}

widget_t* dialog_open(const char* name) {
  widget_t* win = open_resource(name);
  if (win != NULL && !widget_is_dialog(win)) {
    log_warn("%s is not a dialog\n", name);
  }
  return win;
}

dialog_quit_code_t dialog_modal(widget_t* widget) {
  return_value_if_fail(widget_is_dialog(widget), DIALOG_QUIT_NONE);
  win_state* st = state_of(widget);
  return_value_if_fail(st != NULL && !st->closed && !st->modal, DIALOG_QUIT_NONE);
  st->modal = true;
  st->quited = false;
  uint64_t serial = st->serial;
  for (;;) {
    auto it = s_wins.find(widget);
    if (it == s_wins.end() || it->second.serial != serial || it->second.quited || it->second.closed) break;
    if (tk_loop_quitting()) break;
    tk_loop_turn(true);
  }
  auto it = s_wins.find(widget);
  if (it != s_wins.end() && it->second.serial == serial) it->second.modal = false;
  uint32_t code = DIALOG_QUIT_NONE;
  auto c = s_quit_codes.find(serial);
  if (c != s_quit_codes.end()) {
    code = c->second;
    s_quit_codes.erase(c);
  }
  return (dialog_quit_code_t)code;
}

ret_t dialog_quit(widget_t* widget, uint32_t code) {
  return_value_if_fail(widget_is_dialog(widget), RET_BAD_PARAMS);
  win_state* st = state_of(widget);
  return_value_if_fail(st != NULL && !st->closed, RET_BAD_PARAMS);
  st->quited = true;
  if (st->modal) s_quit_codes[st->serial] = code;
  close_many({widget});
  return RET_OK;
}

bool_t dialog_is_modal(widget_t* widget) {
  win_state* st = widget != NULL ? state_of(widget) : NULL;
  return st != NULL && st->modal;
}

bool_t dialog_is_quited(widget_t* widget) {
  win_state* st = widget != NULL ? state_of(widget) : NULL;
  return st == NULL || st->quited || st->closed;
}
