/* Timers of the GUI thread. A timer fires once its duration has passed on
 * the toolkit clock; it runs again (duration counted from that firing)
 * while its function returns RET_REPEAT and ends on any other result. */
#pragma once

#include "base/widget.h"

BEGIN_C_DECLS

struct _timer_info_t {
  timer_func_t on_timer;
  void* ctx;
  uint32_t id;
  uint64_t start;
  uint32_t duration;
};

uint32_t timer_add(timer_func_t on_timer, void* ctx, uint32_t duration_ms);
/* Thread-safe: the timer is added on the GUI thread in FIFO order with
 * idle_queue and posted keys. */
ret_t timer_queue(timer_func_t on_timer, void* ctx, uint32_t duration_ms);
ret_t timer_remove(uint32_t timer_id);
/* Restarts the countdown from now. */
ret_t timer_reset(uint32_t timer_id);
ret_t timer_modify(uint32_t timer_id, uint32_t duration_ms);
const timer_info_t* timer_find(uint32_t timer_id);
uint32_t timer_count(void);

END_C_DECLS
