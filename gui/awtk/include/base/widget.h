/* widget_t: the base of every widget, window and the window manager.
 *
 * Widgets form a tree; x and y are relative to the parent. All widget calls
 * belong to the GUI thread; other threads hand work over with idle_queue.
 * A type derives from widget_t by putting it first in its own struct and
 * creating instances with widget_create (see base/widget_vtable.h). */
#pragma once

#include "base/events.h"
#include "base/style.h"
#include "base/widget_consts.h"
#include "base/widget_vtable.h"
#include "tkc/color.h"
#include "tkc/darray.h"
#include "tkc/value.h"
#include "tkc/wstr.h"

BEGIN_C_DECLS

typedef struct _style_t style_t;
typedef struct _tk_object_t tk_object_t;
typedef struct _timer_info_t timer_info_t;
typedef ret_t (*timer_func_t)(const timer_info_t* timer);

struct _widget_t {
  xy_t x;
  xy_t y;
  wh_t w;
  wh_t h;
  char* name;
  /* Locale key of the text; the text follows locale changes while set. */
  char* tr_text;
  /* Style name in the theme (NULL reads "default"). */
  char* style;
  /* "normal", "focused", "disable", ... : selects the style's state. */
  char* state;
  wstr_t text;
  bool_t enable;
  bool_t visible;
  bool_t sensitive;
  bool_t focusable;
  bool_t focused;
  bool_t destroying;
  uint8_t opacity;
  widget_t* parent;
  /* The child that receives keys (the focus chain), or NULL. */
  widget_t* key_target;
  darray_t* children;
  emitter_t* emitter;
  /* Per-widget style overrides and the resolved style (private). */
  style_t* astyle;
  /* Properties the type does not know, as set from XML or code (private). */
  tk_object_t* custom_props;
  const widget_vtable_t* vt;
};

#define WIDGET(w) ((widget_t*)(w))

#define WIDGET_FOR_EACH_CHILD_BEGIN(twidget, iter, i)                          \
  if ((twidget)->children != NULL && (twidget)->children->size > 0) {         \
    int32_t i = 0;                                                             \
    int32_t nr = (int32_t)(twidget)->children->size;                           \
    widget_t** children = (widget_t**)((twidget)->children->elms);             \
    for (i = 0; i < nr; i++) {                                                 \
      widget_t* iter = children[i];
#define WIDGET_FOR_EACH_CHILD_END() \
  }                                 \
  }

/* Creation (for the create functions of types) and destruction. The widget
 * is added to parent when parent is not NULL. widget_destroy takes it out of
 * its parent at once; its memory (and EVT_DESTROY) follow in the main loop. */
widget_t* widget_create(widget_t* parent, const widget_vtable_t* vt, xy_t x, xy_t y, wh_t w, wh_t h);
ret_t widget_destroy(widget_t* widget);
ret_t widget_destroy_children(widget_t* widget);
ret_t widget_add_child(widget_t* widget, widget_t* child);
ret_t widget_remove_child(widget_t* widget, widget_t* child);
ret_t widget_restack(widget_t* widget, uint32_t index);
bool_t widget_is_instance_of(widget_t* widget, const widget_vtable_t* vt);
#define WIDGET_IS_INSTANCE_OF(widget, name) widget_is_instance_of(WIDGET(widget), TK_REF_VTABLE(name))
const char* widget_get_type(widget_t* widget);

/* Tree. widget_lookup searches the children (and with recursive TRUE every
 * descendant, depth first) for the first of that name. widget_foreach visits
 * the widget itself and then every descendant in tree order. */
widget_t* widget_lookup(widget_t* widget, const char* name, bool_t recursive);
widget_t* widget_child(widget_t* widget, const char* name);
widget_t* widget_get_child(widget_t* widget, int32_t index);
int32_t widget_count_children(widget_t* widget);
int32_t widget_index_of(widget_t* widget);
ret_t widget_foreach(widget_t* widget, tk_visit_t visit, void* ctx);
widget_t* widget_get_window(widget_t* widget);
widget_t* widget_get_window_manager(widget_t* widget);
bool_t widget_is_window(widget_t* widget);
bool_t widget_is_dialog(widget_t* widget);
bool_t widget_is_normal_window(widget_t* widget);
bool_t widget_is_window_manager(widget_t* widget);
bool_t widget_is_window_opened(widget_t* widget);
bool_t widget_is_parent_of(widget_t* widget, widget_t* child);

/* Events. */
uint32_t widget_on(widget_t* widget, uint32_t type, event_func_t on_event, void* ctx);
ret_t widget_off(widget_t* widget, uint32_t id);
ret_t widget_off_by_ctx(widget_t* widget, void* ctx);
ret_t widget_off_by_func(widget_t* widget, uint32_t type, event_func_t on_event, void* ctx);
ret_t widget_dispatch(widget_t* widget, event_t* e);
ret_t widget_dispatch_simple_event(widget_t* widget, uint32_t type);

/* Text. The setters keep tr_text; widget_set_tr_text stores the key and
 * shows its translation in the current locale. */
ret_t widget_set_text(widget_t* widget, const wchar_t* text);
ret_t widget_set_text_utf8(widget_t* widget, const char* text);
ret_t widget_set_tr_text(widget_t* widget, const char* text);
ret_t widget_re_translate_text(widget_t* widget);
const wchar_t* widget_get_text(widget_t* widget);
ret_t widget_get_text_utf8(widget_t* widget, char* text, uint32_t size);
ret_t widget_set_name(widget_t* widget, const char* name);
ret_t widget_set_child_text_utf8(widget_t* widget, const char* name, const char* text);

/* Geometry and visibility. */
ret_t widget_move(widget_t* widget, xy_t x, xy_t y);
ret_t widget_resize(widget_t* widget, wh_t w, wh_t h);
ret_t widget_move_resize(widget_t* widget, xy_t x, xy_t y, wh_t w, wh_t h);
ret_t widget_set_visible(widget_t* widget, bool_t visible);
bool_t widget_get_visible(widget_t* widget);
ret_t widget_set_enable(widget_t* widget, bool_t enable);
ret_t widget_set_opacity(widget_t* widget, uint8_t opacity);
ret_t widget_set_focused(widget_t* widget, bool_t focused);
ret_t widget_set_focusable(widget_t* widget, bool_t focusable);
/* Screen position of a point given in widget coordinates. */
ret_t widget_to_screen(widget_t* widget, point_t* p);
ret_t widget_invalidate(widget_t* widget, const rect_t* r);
ret_t widget_invalidate_force(widget_t* widget, const rect_t* r);
canvas_t* widget_get_canvas(widget_t* widget);
ret_t widget_paint(widget_t* widget, canvas_t* c);

/* Properties: the type's own first, then the common ones (x, y, w, h, name,
 * text, tr_text, style, state, visible, enable, opacity, focused, value for
 * types with a value), then custom properties of any name. */
ret_t widget_set_prop(widget_t* widget, const char* name, const value_t* v);
ret_t widget_get_prop(widget_t* widget, const char* name, value_t* v);
ret_t widget_set_prop_str(widget_t* widget, const char* name, const char* v);
const char* widget_get_prop_str(widget_t* widget, const char* name, const char* defval);
ret_t widget_set_prop_int(widget_t* widget, const char* name, int32_t v);
int32_t widget_get_prop_int(widget_t* widget, const char* name, int32_t defval);
ret_t widget_set_prop_bool(widget_t* widget, const char* name, bool_t v);
bool_t widget_get_prop_bool(widget_t* widget, const char* name, bool_t defval);
ret_t widget_set_prop_float(widget_t* widget, const char* name, float v);
float widget_get_prop_float(widget_t* widget, const char* name, float defval);
ret_t widget_set_prop_pointer(widget_t* widget, const char* name, void* v);
void* widget_get_prop_pointer(widget_t* widget, const char* name);
ret_t widget_set_value(widget_t* widget, float value);
ret_t widget_set_value_int(widget_t* widget, int32_t value);
float widget_get_value(widget_t* widget);
int32_t widget_get_value_int(widget_t* widget);

/* Style and state. widget_set_style_* take "state:name" or a bare name,
 * which means the normal state ("normal:text_color", "font_size"); colours
 * as text are "#RRGGBB", "#RRGGBBAA" or names. */
ret_t widget_use_style(widget_t* widget, const char* style);
ret_t widget_set_state(widget_t* widget, const char* state);
const char* widget_get_state_for_style(widget_t* widget);
ret_t widget_set_style_str(widget_t* widget, const char* state_and_name, const char* value);
ret_t widget_set_style_int(widget_t* widget, const char* state_and_name, int32_t value);
ret_t widget_set_style_color(widget_t* widget, const char* state_and_name, uint32_t value);
/* The resolved style value as text (override, else theme), or defval. */
const char* widget_get_style_str(widget_t* widget, const char* name, const char* defval);
int32_t widget_get_style_int(widget_t* widget, const char* name, int32_t defval);

/* Timers that end with their widget; info->ctx is the widget. */
uint32_t widget_add_timer(widget_t* widget, timer_func_t on_timer, uint32_t duration_ms);
ret_t widget_remove_timer(widget_t* widget, uint32_t timer_id);

END_C_DECLS
