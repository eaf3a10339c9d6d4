/* Type description of a widget (its "vtable").
 *
 * Field order matters to C++ designated initializers; declare in this order:
 *   size, type, inputable, focusable, is_window, clone_properties,
 *   persistent_properties, parent, create, get_prop, set_prop,
 *   on_paint_background, on_paint_self, on_paint_children, on_paint_border,
 *   on_event, on_add_child, on_remove_child, on_destroy.
 * A NULL operation means "none": the base widget paints background and
 * border from the style, keeps common and custom properties, and dispatches
 * events to its handlers. */
#pragma once

#include "base/events.h"
#include "tkc/value.h"

BEGIN_C_DECLS

typedef widget_t* (*widget_create_t)(widget_t* parent, xy_t x, xy_t y, wh_t w, wh_t h);
typedef ret_t (*widget_get_prop_t)(widget_t* widget, const char* name, value_t* v);
typedef ret_t (*widget_set_prop_t)(widget_t* widget, const char* name, const value_t* v);
typedef ret_t (*widget_on_paint_t)(widget_t* widget, canvas_t* c);
typedef ret_t (*widget_on_event_t)(widget_t* widget, event_t* e);
typedef ret_t (*widget_on_child_t)(widget_t* widget, widget_t* child);
typedef ret_t (*widget_on_destroy_t)(widget_t* widget);

typedef struct _widget_vtable_t {
  uint32_t size;
  const char* type;
  uint32_t inputable : 1;
  uint32_t focusable : 1;
  uint32_t is_window : 1;
  const char** clone_properties;
  const char** persistent_properties;
  const struct _widget_vtable_t* parent;
  widget_create_t create;
  widget_get_prop_t get_prop;
  widget_set_prop_t set_prop;
  widget_on_paint_t on_paint_background;
  widget_on_paint_t on_paint_self;
  widget_on_paint_t on_paint_children;
  widget_on_paint_t on_paint_border;
  widget_on_event_t on_event;
  widget_on_child_t on_add_child;
  widget_on_child_t on_remove_child;
  widget_on_destroy_t on_destroy;
} widget_vtable_t;

/* The vtable of a type is reached through <name>_get_widget_vtable(). */
#define TK_REF_VTABLE(name) (name##_get_widget_vtable())
#define TK_PARENT_VTABLE(name) TK_REF_VTABLE(name)
#define TK_EXTERN_VTABLE(name) const widget_vtable_t* name##_get_widget_vtable(void)
#define TK_DECL_VTABLE(name)                                                        \
  extern const widget_vtable_t g_##name##_vtable;                                   \
  const widget_vtable_t* name##_get_widget_vtable(void) { return &g_##name##_vtable; } \
  const widget_vtable_t g_##name##_vtable

/* The base widget's description, parent of every type. */
const widget_vtable_t* widget_get_widget_vtable(void);

END_C_DECLS
