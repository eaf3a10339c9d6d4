/* The base widget: tree, events, text, geometry, properties, painting. */
#include "awtk_internal.h"

#include <cmath>

static widget_t* widget_get_window_manager_(void) { return window_manager(); }

static const char* s_base_props[] = {NULL};

static const widget_vtable_t s_widget_vtable = {
    sizeof(widget_t), WIDGET_TYPE_NONE, 0, 0, 0, s_base_props, s_base_props, NULL, NULL,
    NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL};

const widget_vtable_t* widget_get_widget_vtable(void) { return &s_widget_vtable; }

/* ---- creation and destruction ---- */
widget_t* widget_create(widget_t* parent, const widget_vtable_t* vt, xy_t x, xy_t y, wh_t w, wh_t h) {
  return_value_if_fail(vt != NULL && vt->size >= sizeof(widget_t), NULL);
  widget_t* widget = (widget_t*)calloc(1, vt->size);
  return_value_if_fail(widget != NULL, NULL);
  widget->vt = vt;
  widget->x = x;
  widget->y = y;
  widget->w = w;
  widget->h = h;
  widget->enable = TRUE;
  widget->visible = TRUE;
  widget->sensitive = TRUE;
  widget->focusable = vt->focusable;
  widget->opacity = 0xff;
  widget->state = tk_strdup(WIDGET_STATE_NORMAL);
  wstr_init(&widget->text, 0);
  widget->astyle = new style_t();
  if (parent != NULL) {
    widget_add_child(parent, widget);
  }
  return widget;
}

bool tk_widget_is_dead(widget_t* widget) {
  for (widget_t* w = widget; w != NULL; w = w->parent) {
    if (w->destroying) return true;
    if (w->vt->is_window && tk_wm_window_closed(w)) return true;
  }
  return false;
}

void tk_widget_free(widget_t* widget) {
  if (widget == NULL) return;
  widget->destroying = TRUE;
  event_t e = event_init(EVT_DESTROY, widget);
  widget_dispatch(widget, &e);
  if (widget->vt->on_destroy != NULL) {
    widget->vt->on_destroy(widget);
  }
  if (widget->children != NULL) {
    for (uint32_t i = 0; i < widget->children->size; i++) {
      widget_t* child = (widget_t*)widget->children->elms[i];
      child->parent = NULL;
      tk_widget_free(child);
    }
    darray_destroy(widget->children);
    widget->children = NULL;
  }
  tk_timers_remove_widget(widget);
  if (widget->vt->is_window) {
    tk_wm_forget(widget);
  }
  if (widget->emitter != NULL) {
    emitter_destroy(widget->emitter);
  }
  if (widget->custom_props != NULL) {
    for (auto& p : widget->custom_props->props) value_reset(&p.second);
    delete widget->custom_props;
  }
  delete widget->astyle;
  free(widget->name);
  free(widget->tr_text);
  free(widget->style);
  free(widget->state);
  wstr_reset(&widget->text);
  free(widget);
}

ret_t widget_destroy(widget_t* widget) {
  return_value_if_fail(widget != NULL, RET_BAD_PARAMS);
  if (widget->destroying) return RET_OK;
  if (widget->vt->is_window && widget->parent != NULL && widget_is_window_manager(widget->parent)) {
    return window_manager_close_window_force(widget->parent, widget);
  }
  if (widget->parent != NULL) {
    widget_remove_child(widget->parent, widget);
  }
  widget->destroying = TRUE;
  tk_loop_free_later(widget);
  tk_wm_set_dirty();
  return RET_OK;
}

ret_t widget_destroy_children(widget_t* widget) {
  return_value_if_fail(widget != NULL, RET_BAD_PARAMS);
  while (widget->children != NULL && widget->children->size > 0) {
    widget_destroy((widget_t*)widget->children->elms[widget->children->size - 1]);
  }
  return RET_OK;
}

ret_t widget_add_child(widget_t* widget, widget_t* child) {
  return_value_if_fail(widget != NULL && child != NULL && widget != child, RET_BAD_PARAMS);
  if (widget_is_window_manager(widget) && child->vt->is_window) {
    return window_manager_open_window(widget, child);
  }
  if (child->parent != NULL) {
    widget_remove_child(child->parent, child);
  }
  if (widget->children == NULL) {
    widget->children = darray_create(4);
  }
  darray_push(widget->children, child);
  child->parent = widget;
  if (widget->vt->on_add_child != NULL) {
    widget->vt->on_add_child(widget, child);
  }
  tk_wm_set_dirty();
  return RET_OK;
}

ret_t widget_remove_child(widget_t* widget, widget_t* child) {
  return_value_if_fail(widget != NULL && child != NULL, RET_BAD_PARAMS);
  int32_t index = darray_find_index(widget->children, child);
  return_value_if_fail(index >= 0, RET_NOT_FOUND);
  darray_remove_index(widget->children, (uint32_t)index);
  if (widget->key_target == child) {
    widget->key_target = NULL;
  }
  child->parent = NULL;
  if (widget->vt->on_remove_child != NULL) {
    widget->vt->on_remove_child(widget, child);
  }
  tk_wm_set_dirty();
  return RET_OK;
}

ret_t widget_restack(widget_t* widget, uint32_t index) {
  return_value_if_fail(widget != NULL && widget->parent != NULL, RET_BAD_PARAMS);
  darray_t* children = widget->parent->children;
  int32_t old = darray_find_index(children, widget);
  return_value_if_fail(old >= 0, RET_NOT_FOUND);
  darray_remove_index(children, (uint32_t)old);
  index = tk_min(index, children->size);
  darray_insert(children, index, widget);
  tk_wm_set_dirty();
  return RET_OK;
}

bool_t widget_is_instance_of(widget_t* widget, const widget_vtable_t* vt) {
  if (widget == NULL || vt == NULL) return FALSE;
  for (const widget_vtable_t* iter = widget->vt; iter != NULL; iter = iter->parent) {
    if (iter == vt) return TRUE;
  }
  return FALSE;
}

const char* widget_get_type(widget_t* widget) {
  return_value_if_fail(widget != NULL, NULL);
  return widget->vt->type;
}

/* ---- tree ---- */
static widget_t* lookup_all(widget_t* widget, const char* name) {
  WIDGET_FOR_EACH_CHILD_BEGIN(widget, iter, i)
  if (tk_str_eq(iter->name, name)) return iter;
  widget_t* found = lookup_all(iter, name);
  if (found != NULL) return found;
  WIDGET_FOR_EACH_CHILD_END()
  return NULL;
}

widget_t* widget_lookup(widget_t* widget, const char* name, bool_t recursive) {
  return_value_if_fail(widget != NULL && name != NULL, NULL);
  if (recursive) return lookup_all(widget, name);
  WIDGET_FOR_EACH_CHILD_BEGIN(widget, iter, i)
  if (tk_str_eq(iter->name, name)) return iter;
  WIDGET_FOR_EACH_CHILD_END()
  return NULL;
}

widget_t* widget_child(widget_t* widget, const char* name) { return widget_lookup(widget, name, FALSE); }

widget_t* widget_get_child(widget_t* widget, int32_t index) {
  return_value_if_fail(widget != NULL, NULL);
  return index >= 0 ? (widget_t*)darray_get(widget->children, (uint32_t)index) : NULL;
}

int32_t widget_count_children(widget_t* widget) {
  return_value_if_fail(widget != NULL, 0);
  return widget->children != NULL ? (int32_t)widget->children->size : 0;
}

int32_t widget_index_of(widget_t* widget) {
  return_value_if_fail(widget != NULL && widget->parent != NULL, -1);
  return darray_find_index(widget->parent->children, widget);
}

static ret_t foreach_impl(widget_t* widget, tk_visit_t visit, void* ctx) {
  ret_t r = visit(ctx, widget);
  if (r == RET_STOP || r == RET_DONE) return r;
  if (r == RET_SKIP || widget->children == NULL) return RET_OK;
  /* The visitor may change the tree: walk a copy of the child list. */
  std::vector<widget_t*> kids((widget_t**)widget->children->elms,
                              (widget_t**)widget->children->elms + widget->children->size);
  for (widget_t* child : kids) {
    r = foreach_impl(child, visit, ctx);
    if (r == RET_STOP || r == RET_DONE) return r;
  }
  return RET_OK;
}

ret_t widget_foreach(widget_t* widget, tk_visit_t visit, void* ctx) {
  return_value_if_fail(widget != NULL && visit != NULL, RET_BAD_PARAMS);
  ret_t r = foreach_impl(widget, visit, ctx);
  return r == RET_STOP || r == RET_DONE ? r : RET_OK;
}

widget_t* widget_get_window(widget_t* widget) {
  for (widget_t* w = widget; w != NULL; w = w->parent) {
    if (w->vt->is_window) return w;
  }
  return NULL;
}

widget_t* widget_get_window_manager(widget_t* widget) {
  (void)widget;
  return widget_get_window_manager_();
}

bool_t widget_is_window(widget_t* widget) { return widget != NULL && widget->vt->is_window; }

bool_t widget_is_dialog(widget_t* widget) {
  return widget != NULL && widget_is_instance_of(widget, dialog_get_widget_vtable());
}

bool_t widget_is_normal_window(widget_t* widget) {
  return widget != NULL && widget->vt->is_window && !widget_is_dialog(widget);
}

bool_t widget_is_window_manager(widget_t* widget) {
  return widget != NULL && widget == widget_get_window_manager_();
}

bool_t widget_is_window_opened(widget_t* widget) {
  widget_t* win = widget_get_window(widget);
  return win != NULL && win->parent != NULL && widget_is_window_manager(win->parent) &&
         !tk_wm_window_closed(win);
}

bool_t widget_is_parent_of(widget_t* widget, widget_t* child) {
  if (widget == NULL || child == NULL) return FALSE;
  for (widget_t* w = child->parent; w != NULL; w = w->parent) {
    if (w == widget) return TRUE;
  }
  return FALSE;
}

/* ---- events ---- */
uint32_t widget_on(widget_t* widget, uint32_t type, event_func_t on_event, void* ctx) {
  return_value_if_fail(widget != NULL && on_event != NULL, TK_INVALID_ID);
  if (widget->emitter == NULL) {
    widget->emitter = emitter_create();
  }
  return emitter_on(widget->emitter, type, on_event, ctx);
}

ret_t widget_off(widget_t* widget, uint32_t id) {
  return_value_if_fail(widget != NULL, RET_BAD_PARAMS);
  return widget->emitter != NULL ? emitter_off(widget->emitter, id) : RET_NOT_FOUND;
}

ret_t widget_off_by_ctx(widget_t* widget, void* ctx) {
  return_value_if_fail(widget != NULL, RET_BAD_PARAMS);
  return widget->emitter != NULL ? emitter_off_by_ctx(widget->emitter, ctx) : RET_NOT_FOUND;
}

ret_t widget_off_by_func(widget_t* widget, uint32_t type, event_func_t on_event, void* ctx) {
  return_value_if_fail(widget != NULL, RET_BAD_PARAMS);
  return widget->emitter != NULL ? emitter_off_by_func(widget->emitter, type, on_event, ctx) : RET_NOT_FOUND;
}

ret_t widget_dispatch(widget_t* widget, event_t* e) {
  return_value_if_fail(widget != NULL && e != NULL, RET_BAD_PARAMS);
  if (e->target == NULL) {
    e->target = widget;
  }
  g_tk_dispatch_depth++;
  ret_t r = RET_OK;
  if (widget->vt->on_event != NULL) {
    r = widget->vt->on_event(widget, e);
  }
  if (r != RET_STOP && widget->emitter != NULL) {
    r = emitter_dispatch(widget->emitter, e);
  }
  g_tk_dispatch_depth--;
  return r;
}

ret_t widget_dispatch_simple_event(widget_t* widget, uint32_t type) {
  event_t e = event_init(type, widget);
  return widget_dispatch(widget, &e);
}

/* Keys run down the focus chain: the widget sees the "before children"
 * event, then the focused child handles the key, then the widget itself. */
ret_t tk_widget_dispatch_key(widget_t* widget, key_event_t* e) {
  uint32_t type = e->e.type;
  e->e.type = (type == EVT_KEY_DOWN) ? EVT_KEY_DOWN_BEFORE_CHILDREN : EVT_KEY_UP_BEFORE_CHILDREN;
  e->e.target = widget;
  ret_t r = widget_dispatch(widget, &e->e);
  e->e.type = type;
  if (r == RET_STOP) return r;
  widget_t* child = widget->key_target;
  if (child != NULL && child->visible && child->enable && child->parent == widget) {
    r = tk_widget_dispatch_key(child, e);
    if (r == RET_STOP) return r;
  }
  e->e.target = widget;
  return widget_dispatch(widget, &e->e);
}

/* ---- text ---- */
static ret_t widget_set_text_impl(widget_t* widget, const wchar_t* text) {
  if (wstr_equal(&widget->text, text)) return RET_OK;
  wstr_set(&widget->text, text);
  widget_invalidate(widget, NULL);
  return RET_OK;
}

ret_t widget_set_text(widget_t* widget, const wchar_t* text) {
  return_value_if_fail(widget != NULL, RET_BAD_PARAMS);
  value_t v;
  value_set_wstr(&v, text != NULL ? text : L"");
  return widget_set_prop(widget, WIDGET_PROP_TEXT, &v);
}

ret_t widget_set_text_utf8(widget_t* widget, const char* text) {
  return_value_if_fail(widget != NULL, RET_BAD_PARAMS);
  value_t v;
  value_set_str(&v, text != NULL ? text : "");
  return widget_set_prop(widget, WIDGET_PROP_TEXT, &v);
}

ret_t widget_set_tr_text(widget_t* widget, const char* text) {
  return_value_if_fail(widget != NULL, RET_BAD_PARAMS);
  if (text == NULL || *text == '\0') {
    TKMEM_FREE(widget->tr_text);
    return widget_set_text_utf8(widget, "");
  }
  char* copy = tk_strdup(text);
  free(widget->tr_text);
  widget->tr_text = copy;
  return widget_set_text_utf8(widget, locale_info_tr(locale_info(), widget->tr_text));
}

static ret_t re_translate_visit(void* ctx, const void* data) {
  (void)ctx;
  widget_t* w = (widget_t*)data;
  if (w->tr_text != NULL) {
    widget_set_text_utf8(w, locale_info_tr(locale_info(), w->tr_text));
  }
  return RET_OK;
}

ret_t widget_re_translate_text(widget_t* widget) {
  return_value_if_fail(widget != NULL, RET_BAD_PARAMS);
  return widget_foreach(widget, re_translate_visit, NULL);
}

const wchar_t* widget_get_text(widget_t* widget) {
  return_value_if_fail(widget != NULL, NULL);
  return widget->text.str != NULL ? widget->text.str : L"";
}

ret_t widget_get_text_utf8(widget_t* widget, char* text, uint32_t size) {
  return_value_if_fail(widget != NULL && text != NULL && size > 0, RET_BAD_PARAMS);
  return wstr_get_utf8(&widget->text, text, size);
}

ret_t widget_set_name(widget_t* widget, const char* name) {
  return_value_if_fail(widget != NULL, RET_BAD_PARAMS);
  char* copy = tk_strdup(name);
  free(widget->name);
  widget->name = copy;
  return RET_OK;
}

ret_t widget_set_child_text_utf8(widget_t* widget, const char* name, const char* text) {
  widget_t* child = widget_lookup(widget, name, TRUE);
  return_value_if_fail(child != NULL, RET_NOT_FOUND);
  return widget_set_text_utf8(child, text);
}

/* ---- geometry and visibility ---- */
ret_t widget_move(widget_t* widget, xy_t x, xy_t y) {
  return_value_if_fail(widget != NULL, RET_BAD_PARAMS);
  return widget_move_resize(widget, x, y, widget->w, widget->h);
}

ret_t widget_resize(widget_t* widget, wh_t w, wh_t h) {
  return_value_if_fail(widget != NULL, RET_BAD_PARAMS);
  return widget_move_resize(widget, widget->x, widget->y, w, h);
}

ret_t widget_move_resize(widget_t* widget, xy_t x, xy_t y, wh_t w, wh_t h) {
  return_value_if_fail(widget != NULL, RET_BAD_PARAMS);
  if (widget->x == x && widget->y == y && widget->w == w && widget->h == h) return RET_OK;
  widget->x = x;
  widget->y = y;
  widget->w = w;
  widget->h = h;
  widget_dispatch_simple_event(widget, EVT_MOVE_RESIZE);
  widget_invalidate(widget, NULL);
  return RET_OK;
}

ret_t widget_set_visible(widget_t* widget, bool_t visible) {
  return_value_if_fail(widget != NULL, RET_BAD_PARAMS);
  visible = visible ? TRUE : FALSE;
  if (widget->visible != visible) {
    widget->visible = visible;
    widget_invalidate(widget, NULL);
  }
  return RET_OK;
}

bool_t widget_get_visible(widget_t* widget) { return widget != NULL && widget->visible; }

ret_t widget_set_enable(widget_t* widget, bool_t enable) {
  return_value_if_fail(widget != NULL, RET_BAD_PARAMS);
  widget->enable = enable ? TRUE : FALSE;
  tk_style_invalidate(widget);
  return RET_OK;
}

ret_t widget_set_opacity(widget_t* widget, uint8_t opacity) {
  return_value_if_fail(widget != NULL, RET_BAD_PARAMS);
  widget->opacity = opacity;
  widget_invalidate(widget, NULL);
  return RET_OK;
}

ret_t widget_set_focusable(widget_t* widget, bool_t focusable) {
  return_value_if_fail(widget != NULL, RET_BAD_PARAMS);
  widget->focusable = focusable ? TRUE : FALSE;
  return RET_OK;
}

/* Focus makes the widget the key target of each ancestor up to its window,
 * and its state "focused"; the widget it replaces returns to "normal". */
ret_t widget_set_focused(widget_t* widget, bool_t focused) {
  return_value_if_fail(widget != NULL, RET_BAD_PARAMS);
  if (focused) {
    widget_t* win = widget_get_window(widget);
    if (win != NULL) {
      widget_t* old = win;
      while (old->key_target != NULL) old = old->key_target;
      if (old != win && old != widget) {
        old->focused = FALSE;
        widget_set_state(old, WIDGET_STATE_NORMAL);
        widget_dispatch_simple_event(old, EVT_BLUR);
      }
    }
    for (widget_t* w = widget; w->parent != NULL && !w->vt->is_window; w = w->parent) {
      w->parent->key_target = w;
    }
    widget->focused = TRUE;
    widget_set_state(widget, WIDGET_STATE_FOCUSED);
    widget_dispatch_simple_event(widget, EVT_FOCUS);
  } else if (widget->focused) {
    widget->focused = FALSE;
    if (widget->parent != NULL && widget->parent->key_target == widget) widget->parent->key_target = NULL;
    widget_set_state(widget, WIDGET_STATE_NORMAL);
    widget_dispatch_simple_event(widget, EVT_BLUR);
  }
  return RET_OK;
}

ret_t widget_to_screen(widget_t* widget, point_t* p) {
  return_value_if_fail(widget != NULL && p != NULL, RET_BAD_PARAMS);
  for (widget_t* w = widget; w != NULL && !widget_is_window_manager(w); w = w->parent) {
    p->x += w->x;
    p->y += w->y;
  }
  return RET_OK;
}

ret_t widget_invalidate(widget_t* widget, const rect_t* r) {
  (void)widget;
  (void)r;
  tk_wm_set_dirty();
  return RET_OK;
}

ret_t widget_invalidate_force(widget_t* widget, const rect_t* r) { return widget_invalidate(widget, r); }

canvas_t* widget_get_canvas(widget_t* widget) {
  (void)widget;
  return tk_wm_canvas();
}

/* ---- properties ---- */
static value_t* custom_find(widget_t* widget, const char* name) {
  if (widget->custom_props == NULL) return NULL;
  for (auto& p : widget->custom_props->props) {
    if (p.first == name) return &p.second;
  }
  return NULL;
}

static ret_t custom_set(widget_t* widget, const char* name, const value_t* v) {
  if (widget->custom_props == NULL) widget->custom_props = new tk_object_t();
  value_t* slot = custom_find(widget, name);
  if (slot == NULL) {
    widget->custom_props->props.emplace_back(name, value_t());
    memset(&widget->custom_props->props.back().second, 0, sizeof(value_t));
    slot = &widget->custom_props->props.back().second;
  }
  return value_deep_copy(slot, v);
}

static void set_owned_str(char** field, const char* value) {
  char* copy = tk_strdup(value);
  free(*field);
  *field = copy;
}

static ret_t set_text_value(widget_t* widget, const value_t* v) {
  if (v->type == VALUE_TYPE_WSTRING) {
    return widget_set_text_impl(widget, v->value.wstr != NULL ? v->value.wstr : L"");
  }
  char buf[64];
  const char* s = v->type == VALUE_TYPE_STRING ? (v->value.str != NULL ? v->value.str : "") : value_str_ex(v, buf, sizeof(buf));
  wstr_t tmp;
  wstr_init(&tmp, 0);
  wstr_set_utf8(&tmp, s);
  ret_t r = widget_set_text_impl(widget, tmp.str != NULL ? tmp.str : L"");
  wstr_reset(&tmp);
  return r;
}

ret_t widget_set_prop(widget_t* widget, const char* name, const value_t* v) {
  return_value_if_fail(widget != NULL && name != NULL && v != NULL, RET_BAD_PARAMS);
  if (widget->vt->set_prop != NULL) {
    ret_t r = widget->vt->set_prop(widget, name, v);
    if (r != RET_NOT_FOUND) {
      widget_invalidate(widget, NULL);
      return r;
    }
  }
  char buf[128];
  if (tk_str_eq(name, WIDGET_PROP_X)) return widget_move(widget, value_int(v), widget->y);
  if (tk_str_eq(name, WIDGET_PROP_Y)) return widget_move(widget, widget->x, value_int(v));
  if (tk_str_eq(name, WIDGET_PROP_W)) return widget_resize(widget, value_int(v), widget->h);
  if (tk_str_eq(name, WIDGET_PROP_H)) return widget_resize(widget, widget->w, value_int(v));
  if (tk_str_eq(name, WIDGET_PROP_NAME)) return widget_set_name(widget, value_str_ex(v, buf, sizeof(buf)));
  if (tk_str_eq(name, WIDGET_PROP_TEXT)) return set_text_value(widget, v);
  if (tk_str_eq(name, WIDGET_PROP_TR_TEXT)) return widget_set_tr_text(widget, value_str_ex(v, buf, sizeof(buf)));
  if (tk_str_eq(name, WIDGET_PROP_STYLE)) return widget_use_style(widget, value_str_ex(v, buf, sizeof(buf)));
  if (tk_str_eq(name, WIDGET_PROP_STATE)) return widget_set_state(widget, value_str_ex(v, buf, sizeof(buf)));
  if (tk_str_eq(name, WIDGET_PROP_VISIBLE)) return widget_set_visible(widget, value_bool(v));
  if (tk_str_eq(name, WIDGET_PROP_ENABLE)) return widget_set_enable(widget, value_bool(v));
  if (tk_str_eq(name, WIDGET_PROP_SENSITIVE)) {
    widget->sensitive = value_bool(v);
    return RET_OK;
  }
  if (tk_str_eq(name, WIDGET_PROP_OPACITY)) return widget_set_opacity(widget, (uint8_t)tk_clamp(value_int(v), 0, 255));
  if (tk_str_eq(name, WIDGET_PROP_FOCUSABLE)) return widget_set_focusable(widget, value_bool(v));
  if (tk_str_eq(name, WIDGET_PROP_FOCUSED) || tk_str_eq(name, WIDGET_PROP_FOCUS)) {
    return widget_set_focused(widget, value_bool(v));
  }
  return custom_set(widget, name, v);
}

ret_t widget_get_prop(widget_t* widget, const char* name, value_t* v) {
  return_value_if_fail(widget != NULL && name != NULL && v != NULL, RET_BAD_PARAMS);
  if (widget->vt->get_prop != NULL) {
    ret_t r = widget->vt->get_prop(widget, name, v);
    if (r != RET_NOT_FOUND) return r;
  }
  if (tk_str_eq(name, WIDGET_PROP_X)) { value_set_int(v, widget->x); return RET_OK; }
  if (tk_str_eq(name, WIDGET_PROP_Y)) { value_set_int(v, widget->y); return RET_OK; }
  if (tk_str_eq(name, WIDGET_PROP_W)) { value_set_int(v, widget->w); return RET_OK; }
  if (tk_str_eq(name, WIDGET_PROP_H)) { value_set_int(v, widget->h); return RET_OK; }
  if (tk_str_eq(name, WIDGET_PROP_NAME)) { value_set_str(v, widget->name); return RET_OK; }
  if (tk_str_eq(name, WIDGET_PROP_TYPE)) { value_set_str(v, widget->vt->type); return RET_OK; }
  if (tk_str_eq(name, WIDGET_PROP_TEXT)) { value_set_wstr(v, widget_get_text(widget)); return RET_OK; }
  if (tk_str_eq(name, WIDGET_PROP_TR_TEXT)) { value_set_str(v, widget->tr_text); return RET_OK; }
  if (tk_str_eq(name, WIDGET_PROP_STYLE)) { value_set_str(v, widget->style); return RET_OK; }
  if (tk_str_eq(name, WIDGET_PROP_STATE)) { value_set_str(v, widget->state); return RET_OK; }
  if (tk_str_eq(name, WIDGET_PROP_VISIBLE)) { value_set_bool(v, widget->visible); return RET_OK; }
  if (tk_str_eq(name, WIDGET_PROP_ENABLE)) { value_set_bool(v, widget->enable); return RET_OK; }
  if (tk_str_eq(name, WIDGET_PROP_SENSITIVE)) { value_set_bool(v, widget->sensitive); return RET_OK; }
  if (tk_str_eq(name, WIDGET_PROP_OPACITY)) { value_set_int(v, widget->opacity); return RET_OK; }
  if (tk_str_eq(name, WIDGET_PROP_FOCUSABLE)) { value_set_bool(v, widget->focusable); return RET_OK; }
  if (tk_str_eq(name, WIDGET_PROP_FOCUSED)) { value_set_bool(v, widget->focused); return RET_OK; }
  value_t* slot = custom_find(widget, name);
  if (slot != NULL) {
    *v = *slot;
    v->free_handle = 0;
    return RET_OK;
  }
  return RET_NOT_FOUND;
}

ret_t widget_set_prop_str(widget_t* widget, const char* name, const char* v) {
  value_t value;
  value_set_str(&value, v);
  return widget_set_prop(widget, name, &value);
}

const char* widget_get_prop_str(widget_t* widget, const char* name, const char* defval) {
  value_t v;
  if (widget_get_prop(widget, name, &v) != RET_OK) return defval;
  return v.type == VALUE_TYPE_STRING ? v.value.str : defval;
}

ret_t widget_set_prop_int(widget_t* widget, const char* name, int32_t v) {
  value_t value;
  value_set_int(&value, v);
  return widget_set_prop(widget, name, &value);
}

int32_t widget_get_prop_int(widget_t* widget, const char* name, int32_t defval) {
  value_t v;
  return widget_get_prop(widget, name, &v) == RET_OK ? value_int(&v) : defval;
}

ret_t widget_set_prop_bool(widget_t* widget, const char* name, bool_t v) {
  value_t value;
  value_set_bool(&value, v);
  return widget_set_prop(widget, name, &value);
}

bool_t widget_get_prop_bool(widget_t* widget, const char* name, bool_t defval) {
  value_t v;
  return widget_get_prop(widget, name, &v) == RET_OK ? value_bool(&v) : defval;
}

ret_t widget_set_prop_float(widget_t* widget, const char* name, float v) {
  value_t value;
  value_set_float(&value, v);
  return widget_set_prop(widget, name, &value);
}

float widget_get_prop_float(widget_t* widget, const char* name, float defval) {
  value_t v;
  return widget_get_prop(widget, name, &v) == RET_OK ? value_float(&v) : defval;
}

ret_t widget_set_prop_pointer(widget_t* widget, const char* name, void* v) {
  value_t value;
  value_set_pointer(&value, v);
  return widget_set_prop(widget, name, &value);
}

void* widget_get_prop_pointer(widget_t* widget, const char* name) {
  value_t v;
  return widget_get_prop(widget, name, &v) == RET_OK ? value_pointer(&v) : NULL;
}

ret_t widget_set_value(widget_t* widget, float value) {
  value_t v;
  value_set_float(&v, value);
  return widget_set_prop(widget, WIDGET_PROP_VALUE, &v);
}

ret_t widget_set_value_int(widget_t* widget, int32_t value) {
  value_t v;
  value_set_int(&v, value);
  return widget_set_prop(widget, WIDGET_PROP_VALUE, &v);
}

float widget_get_value(widget_t* widget) { return widget_get_prop_float(widget, WIDGET_PROP_VALUE, 0); }

int32_t widget_get_value_int(widget_t* widget) { return widget_get_prop_int(widget, WIDGET_PROP_VALUE, 0); }

/* ---- style and state ---- */
ret_t widget_use_style(widget_t* widget, const char* style) {
  return_value_if_fail(widget != NULL, RET_BAD_PARAMS);
  set_owned_str(&widget->style, style);
  tk_style_invalidate(widget);
  return RET_OK;
}

ret_t widget_set_state(widget_t* widget, const char* state) {
  return_value_if_fail(widget != NULL && state != NULL, RET_BAD_PARAMS);
  if (tk_str_eq(widget->state, state)) return RET_OK;
  set_owned_str(&widget->state, state);
  tk_style_invalidate(widget);
  return RET_OK;
}

const char* widget_get_state_for_style(widget_t* widget) {
  return_value_if_fail(widget != NULL, WIDGET_STATE_NORMAL);
  if (!widget->enable) return WIDGET_STATE_DISABLE;
  return widget->state != NULL && *widget->state ? widget->state : WIDGET_STATE_NORMAL;
}

static ret_t split_style_name(const char* state_and_name, std::string* state, std::string* name) {
  return_value_if_fail(state_and_name != NULL && *state_and_name, RET_BAD_PARAMS);
  const char* colon = strchr(state_and_name, ':');
  if (colon == NULL) {
    *state = WIDGET_STATE_NORMAL;
    *name = state_and_name;
  } else {
    state->assign(state_and_name, (size_t)(colon - state_and_name));
    *name = colon + 1;
  }
  return_value_if_fail(!state->empty() && !name->empty(), RET_BAD_PARAMS);
  return RET_OK;
}

ret_t widget_set_style_str(widget_t* widget, const char* state_and_name, const char* value) {
  return_value_if_fail(widget != NULL && value != NULL, RET_BAD_PARAMS);
  std::string state, name;
  ret_t r = split_style_name(state_and_name, &state, &name);
  if (r != RET_OK) return r;
  widget->astyle->overrides[state][name] = value;
  tk_style_invalidate(widget);
  return RET_OK;
}

ret_t widget_set_style_int(widget_t* widget, const char* state_and_name, int32_t value) {
  char buf[32];
  tk_snprintf(buf, sizeof(buf), "%d", value);
  return widget_set_style_str(widget, state_and_name, buf);
}

ret_t widget_set_style_color(widget_t* widget, const char* state_and_name, uint32_t value) {
  color_t c;
  c.color = value;
  char buf[16];
  return widget_set_style_str(widget, state_and_name, color_hex_str(c, buf));
}

const char* widget_get_style_str(widget_t* widget, const char* name, const char* defval) {
  return_value_if_fail(widget != NULL && name != NULL, defval);
  const char* v = tk_widget_style_raw(widget, widget_get_state_for_style(widget), name);
  return v != NULL ? v : defval;
}

int32_t widget_get_style_int(widget_t* widget, const char* name, int32_t defval) {
  const char* v = widget_get_style_str(widget, name, NULL);
  return v != NULL ? tk_atoi(v) : defval;
}

/* ---- painting ---- */
ret_t widget_paint(widget_t* widget, canvas_t* c) {
  return_value_if_fail(widget != NULL && c != NULL, RET_BAD_PARAMS);
  if (!widget->visible || widget->opacity == 0) return RET_OK;
  xy_t ox = c->ox, oy = c->oy;
  rect_t clip = c->clip;
  uint8_t alpha = c->global_alpha;
  c->ox = ox + widget->x;
  c->oy = oy + widget->y;
  rect_t self = rect_init(c->ox, c->oy, widget->w, widget->h);
  c->clip = rect_intersect(&clip, &self);
  c->global_alpha = (uint8_t)((alpha * widget->opacity + 127) / 255);
  if (c->clip.w > 0 && c->clip.h > 0) {
    paint_event_t pe;
    widget_dispatch(widget, paint_event_init(&pe, EVT_BEFORE_PAINT, widget, c));
    if (widget->vt->on_paint_background != NULL) {
      widget->vt->on_paint_background(widget, c);
    } else {
      tk_widget_paint_default_background(widget, c);
    }
    if (widget->vt->on_paint_self != NULL) {
      widget->vt->on_paint_self(widget, c);
    }
    widget_dispatch(widget, paint_event_init(&pe, EVT_PAINT, widget, c));
    if (widget->vt->on_paint_children != NULL) {
      widget->vt->on_paint_children(widget, c);
    } else {
      WIDGET_FOR_EACH_CHILD_BEGIN(widget, iter, i)
      widget_paint(iter, c);
      WIDGET_FOR_EACH_CHILD_END()
    }
    if (widget->vt->on_paint_border != NULL) {
      widget->vt->on_paint_border(widget, c);
    } else {
      tk_widget_paint_default_border(widget, c);
    }
    widget_dispatch(widget, paint_event_init(&pe, EVT_AFTER_PAINT, widget, c));
  }
  c->ox = ox;
  c->oy = oy;
  c->clip = clip;
  c->global_alpha = alpha;
  return RET_OK;
}

void tk_widget_paint_default_background(widget_t* widget, canvas_t* c) {
  const tk_style_vals* s = tk_widget_style(widget);
  rect_t r = rect_init(0, 0, widget->w, widget->h);
  if (s->has_bg && s->bg_color.rgba.a > 0) {
    tk_canvas_fill_round_rect(c, &r, s->round_radius, s->bg_color);
  }
  if (!s->bg_image.empty()) {
    bitmap_t bmp;
    if (image_manager_get_bitmap(image_manager(), s->bg_image.c_str(), &bmp) == RET_OK) {
      tk_canvas_draw_image_typed(c, &bmp, s->bg_image_draw_type, &r);
    }
  }
}

void tk_widget_paint_default_border(widget_t* widget, canvas_t* c) {
  const tk_style_vals* s = tk_widget_style(widget);
  if (!s->has_border_color || s->border == 0 || s->border_width <= 0 || s->border_color.rgba.a == 0) return;
  rect_t r = rect_init(0, 0, widget->w, widget->h);
  if (s->border == TK_BORDER_ALL) {
    tk_canvas_stroke_round_rect(c, &r, s->round_radius, s->border_width, s->border_color);
    return;
  }
  color_t saved = c->fill_color;
  c->fill_color = s->border_color;
  int32_t bw = s->border_width;
  if (s->border & TK_BORDER_TOP) canvas_fill_rect(c, 0, 0, widget->w, bw);
  if (s->border & TK_BORDER_BOTTOM) canvas_fill_rect(c, 0, widget->h - bw, widget->w, bw);
  if (s->border & TK_BORDER_LEFT) canvas_fill_rect(c, 0, 0, bw, widget->h);
  if (s->border & TK_BORDER_RIGHT) canvas_fill_rect(c, widget->w - bw, 0, bw, widget->h);
  c->fill_color = saved;
}

/* ---- layout expressions of window resources ---- */
bool tk_layout_parse(const char* expr, int32_t parent_size, int32_t self_size, bool is_pos, int32_t* out) {
  *out = 0;
  if (expr == NULL || *expr == '\0') return true;
  const char* colon = strchr(expr, ':');
  const double offset = colon != NULL ? (double)tk_atol(colon + 1) : 0.0;
  const char head = expr[0];
  const size_t n = strlen(expr);
  double v;
  if (is_pos && (head == 'c' || head == 'm')) {
    v = std::trunc(((double)parent_size - self_size) / 2) + offset; /* as integer division rounds */
  } else if (is_pos && (head == 'r' || head == 'b')) {
    v = (double)parent_size - self_size - offset;
  } else if (expr[n - 1] == '%') {
    v = std::trunc(tk_atof(expr) * parent_size / 100.0 + 0.5);
  } else {
    v = (double)tk_atol(expr);
  }
  /* Written as !(in range) so that NaN fails too. */
  if (!(v >= -TK_LAYOUT_LIMIT && v <= TK_LAYOUT_LIMIT)) return false;
  *out = (int32_t)v;
  return true;
}

int32_t tk_layout_value(const char* expr, int32_t parent_size, int32_t self_size, bool is_pos) {
  int32_t v;
  return tk_layout_parse(expr, parent_size, self_size, is_pos, &v) ? v : 0;
}
