/* event_t and the base event numbers shared by all objects. */
#pragma once

#include "tkc/types_def.h"

BEGIN_C_DECLS

typedef enum _event_base_type_t {
  EVT_NONE = 0,
  EVT_PROP_WILL_CHANGE,
  EVT_PROP_CHANGED,
  EVT_CMD_WILL_EXEC,
  EVT_CMD_EXECED,
  EVT_CMD_CAN_EXEC,
  EVT_ITEMS_WILL_CHANGE,
  EVT_ITEMS_CHANGED,
  EVT_PROPS_CHANGED,
  EVT_PROGRESS,
  EVT_DONE,
  EVT_ERROR,
  EVT_DESTROY,
  EVT_VALUE_WILL_CHANGE,
  EVT_VALUE_CHANGED,
  EVT_VALUE_CHANGING,
  EVT_LOG_MESSAGE
} event_base_type_t;

typedef struct _event_t {
  uint32_t type;
  int32_t size;
  uint64_t time;
  void* target;
  void* native_window_handle;
} event_t;

typedef ret_t (*event_func_t)(void* ctx, event_t* e);

/* An event of the given type and target, stamped with time_now_ms. */
event_t event_init(uint32_t type, void* target);
event_t* event_cast(event_t* event);

END_C_DECLS
