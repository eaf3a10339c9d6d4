/* Event emitter: an ordered list of handlers per object.
 *
 * Handlers run in the order they were added. A handler may add or remove
 * registrations (its own included) while a dispatch runs: removed handlers
 * are not called again, handlers added during a dispatch run from the next
 * dispatch on. A handler returning RET_REMOVE is removed; RET_STOP ends the
 * dispatch, which then returns RET_STOP. */
#pragma once

#include "tkc/event.h"

BEGIN_C_DECLS

typedef struct _emitter_t emitter_t;
typedef ret_t (*tk_destroy_t)(void* data);

emitter_t* emitter_create(void);
ret_t emitter_destroy(emitter_t* emitter);
/* Returns the registration id (never TK_INVALID_ID). */
uint32_t emitter_on(emitter_t* emitter, uint32_t type, event_func_t on_event, void* ctx);
uint32_t emitter_on_with_tag(emitter_t* emitter, uint32_t type, event_func_t on_event, void* ctx, uint32_t tag);
ret_t emitter_off(emitter_t* emitter, uint32_t id);
ret_t emitter_off_by_ctx(emitter_t* emitter, void* ctx);
ret_t emitter_off_by_func(emitter_t* emitter, uint32_t type, event_func_t on_event, void* ctx);
ret_t emitter_off_by_tag(emitter_t* emitter, uint32_t tag);
ret_t emitter_dispatch(emitter_t* emitter, event_t* e);
ret_t emitter_dispatch_simple_event(emitter_t* emitter, uint32_t type);
/* Live registrations (those not removed). */
uint32_t emitter_size(emitter_t* emitter);
bool_t emitter_exist(emitter_t* emitter, uint32_t type, event_func_t on_event, void* ctx);

END_C_DECLS
