/* Widget event numbers and the event records that carry them. The numbers
 * follow the toolkit's order: EVT_KEY_DOWN is 272, EVT_WINDOW_OPEN 297,
 * EVT_WINDOW_CLOSE 300, user events start at EVT_USER_START (8192). */
#pragma once

#include "tkc/emitter.h"
#include "tkc/event.h"
#include "tkc/rect.h"

BEGIN_C_DECLS

typedef enum _event_type_t {
  EVT_POINTER_DOWN = 0xff,
  EVT_POINTER_DOWN_BEFORE_CHILDREN,
  EVT_POINTER_MOVE,
  EVT_POINTER_MOVE_BEFORE_CHILDREN,
  EVT_POINTER_UP,
  EVT_POINTER_UP_BEFORE_CHILDREN,
  EVT_WHEEL,
  EVT_WHEEL_BEFORE_CHILDREN,
  EVT_POINTER_DOWN_ABORT,
  EVT_CONTEXT_MENU,
  EVT_POINTER_ENTER,
  EVT_POINTER_LEAVE,
  EVT_LONG_PRESS,
  EVT_CLICK,
  EVT_DOUBLE_CLICK,
  EVT_FOCUS,
  EVT_BLUR,
  EVT_KEY_DOWN,
  EVT_KEY_LONG_PRESS,
  EVT_KEY_DOWN_BEFORE_CHILDREN,
  EVT_KEY_REPEAT,
  EVT_KEY_UP,
  EVT_KEY_UP_BEFORE_CHILDREN,
  EVT_WILL_MOVE,
  EVT_MOVE,
  EVT_WILL_RESIZE,
  EVT_RESIZE,
  EVT_WILL_MOVE_RESIZE,
  EVT_MOVE_RESIZE,
  EVT_PAINT,
  EVT_BEFORE_PAINT,
  EVT_AFTER_PAINT,
  EVT_PAINT_DONE,
  EVT_LOCALE_CHANGED,
  EVT_ANIM_START,
  EVT_ANIM_STOP,
  EVT_ANIM_PAUSE,
  EVT_ANIM_ONCE,
  EVT_ANIM_END,
  EVT_WINDOW_LOAD,
  EVT_WIDGET_LOAD,
  EVT_WINDOW_WILL_OPEN,
  EVT_WINDOW_OPEN,
  EVT_WINDOW_TO_BACKGROUND,
  EVT_WINDOW_TO_FOREGROUND,
  EVT_WINDOW_CLOSE,
  EVT_REQUEST_CLOSE_WINDOW,
  EVT_TOP_WINDOW_CHANGED,
  EVT_REQ_START = 0x1000,
  EVT_USER_START = 0x2000
} event_type_t;

typedef struct _widget_t widget_t;
typedef struct _canvas_t canvas_t;

typedef struct _key_event_t {
  event_t e;
  uint32_t key;
  bool_t alt;
  bool_t lalt;
  bool_t ralt;
  bool_t ctrl;
  bool_t lctrl;
  bool_t rctrl;
  bool_t shift;
  bool_t lshift;
  bool_t rshift;
  bool_t cmd;
  bool_t menu;
  bool_t capslock;
} key_event_t;

typedef struct _paint_event_t {
  event_t e;
  canvas_t* c;
} paint_event_t;

typedef struct _window_event_t {
  event_t e;
  widget_t* window;
} window_event_t;

event_t* key_event_init(key_event_t* event, uint32_t type, widget_t* target, int32_t key);
key_event_t* key_event_cast(event_t* event);
event_t* paint_event_init(paint_event_t* event, uint32_t type, widget_t* target, canvas_t* c);
paint_event_t* paint_event_cast(event_t* event);
event_t* window_event_init(window_event_t* event, uint32_t type, widget_t* target, widget_t* window);
window_event_t* window_event_cast(event_t* event);

END_C_DECLS
