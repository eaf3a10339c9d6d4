/* Idles: functions the main loop runs once it has handled its events. An
 * idle runs again while it returns RET_REPEAT. idle_queue may be called from
 * any thread: the functions run on the GUI thread in the order queued. */
#pragma once

#include "tkc/types_def.h"

BEGIN_C_DECLS

typedef struct _idle_info_t idle_info_t;
typedef ret_t (*idle_func_t)(const idle_info_t* idle);

struct _idle_info_t {
  idle_func_t on_idle;
  void* ctx;
  uint32_t id;
};

uint32_t idle_add(idle_func_t on_idle, void* ctx);
ret_t idle_remove(uint32_t idle_id);
ret_t idle_queue(idle_func_t on_idle, void* ctx);
uint32_t idle_count(void);

END_C_DECLS
