/* Event emitter. Registrations removed during a dispatch are only marked;
 * the list is compacted once the outermost dispatch of this emitter ends, so
 * a running dispatch never reads freed entries. */
#include "awtk_internal.h"

struct emitter_item {
  uint32_t id;
  uint32_t type;
  uint32_t tag;
  event_func_t handler;
  void* ctx;
  bool removed;
};

struct _emitter_t {
  std::vector<emitter_item> items;
  uint32_t next_id = 1;
  int32_t dispatching = 0;
  bool destroy_pending = false;
  bool has_removed = false;
};

emitter_t* emitter_create(void) { return new emitter_t(); }

static void emitter_compact(emitter_t* emitter) {
  if (emitter->dispatching > 0 || !emitter->has_removed) {
    return;
  }
  std::vector<emitter_item> kept;
  kept.reserve(emitter->items.size());
  for (const emitter_item& it : emitter->items) {
    if (!it.removed) kept.push_back(it);
  }
  emitter->items.swap(kept);
  emitter->has_removed = false;
}

ret_t emitter_destroy(emitter_t* emitter) {
  return_value_if_fail(emitter != NULL, RET_BAD_PARAMS);
  if (emitter->dispatching > 0) {
    for (emitter_item& it : emitter->items) it.removed = true;
    emitter->destroy_pending = true;
    return RET_OK;
  }
  delete emitter;
  return RET_OK;
}

uint32_t emitter_on_with_tag(emitter_t* emitter, uint32_t type, event_func_t on_event, void* ctx, uint32_t tag) {
  return_value_if_fail(emitter != NULL && on_event != NULL, TK_INVALID_ID);
  emitter_item it;
  it.id = emitter->next_id++;
  if (emitter->next_id == TK_INVALID_ID) emitter->next_id = 1;
  it.type = type;
  it.tag = tag;
  it.handler = on_event;
  it.ctx = ctx;
  it.removed = false;
  emitter->items.push_back(it);
  return it.id;
}

uint32_t emitter_on(emitter_t* emitter, uint32_t type, event_func_t on_event, void* ctx) {
  return emitter_on_with_tag(emitter, type, on_event, ctx, 0);
}

template <typename Pred>
static ret_t emitter_remove_if(emitter_t* emitter, Pred pred) {
  return_value_if_fail(emitter != NULL, RET_BAD_PARAMS);
  ret_t ret = RET_NOT_FOUND;
  for (emitter_item& it : emitter->items) {
    if (!it.removed && pred(it)) {
      it.removed = true;
      emitter->has_removed = true;
      ret = RET_OK;
    }
  }
  emitter_compact(emitter);
  return ret;
}

ret_t emitter_off(emitter_t* emitter, uint32_t id) {
  return emitter_remove_if(emitter, [id](const emitter_item& it) { return it.id == id; });
}

ret_t emitter_off_by_ctx(emitter_t* emitter, void* ctx) {
  return emitter_remove_if(emitter, [ctx](const emitter_item& it) { return it.ctx == ctx; });
}

ret_t emitter_off_by_func(emitter_t* emitter, uint32_t type, event_func_t on_event, void* ctx) {
  return emitter_remove_if(emitter, [=](const emitter_item& it) {
    return it.type == type && it.handler == on_event && it.ctx == ctx;
  });
}

ret_t emitter_off_by_tag(emitter_t* emitter, uint32_t tag) {
  return emitter_remove_if(emitter, [tag](const emitter_item& it) { return it.tag == tag; });
}

ret_t emitter_dispatch(emitter_t* emitter, event_t* e) {
  return_value_if_fail(emitter != NULL && e != NULL, RET_BAD_PARAMS);
  ret_t result = RET_OK;
  emitter->dispatching++;
  /* Only the handlers present now take part; the vector may grow (and move)
   * under us, so entries are read by index each time. */
  size_t n = emitter->items.size();
  for (size_t i = 0; i < n; i++) {
    if (emitter->items[i].removed || emitter->items[i].type != e->type) {
      continue;
    }
    event_func_t handler = emitter->items[i].handler;
    void* ctx = emitter->items[i].ctx;
    ret_t r = handler(ctx, e);
    if (r == RET_REMOVE) {
      emitter->items[i].removed = true;
      emitter->has_removed = true;
    } else if (r == RET_STOP) {
      result = RET_STOP;
      break;
    }
    if (emitter->destroy_pending) {
      break;
    }
  }
  emitter->dispatching--;
  if (emitter->dispatching == 0 && emitter->destroy_pending) {
    delete emitter;
    return result;
  }
  emitter_compact(emitter);
  return result;
}

ret_t emitter_dispatch_simple_event(emitter_t* emitter, uint32_t type) {
  event_t e = event_init(type, NULL);
  return emitter_dispatch(emitter, &e);
}

uint32_t emitter_size(emitter_t* emitter) {
  if (emitter == NULL) return 0;
  uint32_t n = 0;
  for (const emitter_item& it : emitter->items) n += it.removed ? 0 : 1;
  return n;
}

bool_t emitter_exist(emitter_t* emitter, uint32_t type, event_func_t on_event, void* ctx) {
  if (emitter == NULL) return FALSE;
  for (const emitter_item& it : emitter->items) {
    if (!it.removed && it.type == type && it.handler == on_event && it.ctx == ctx) return TRUE;
  }
  return FALSE;
}
