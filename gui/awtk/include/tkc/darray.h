/* Dynamic array of pointers (the children of a widget). */
#pragma once

#include "tkc/types_def.h"

BEGIN_C_DECLS

typedef struct _darray_t {
  uint32_t size;
  uint32_t capacity;
  void** elms;
} darray_t;

darray_t* darray_create(uint32_t capacity);
ret_t darray_destroy(darray_t* darray);
ret_t darray_push(darray_t* darray, void* data);
ret_t darray_insert(darray_t* darray, uint32_t index, void* data);
ret_t darray_remove_index(darray_t* darray, uint32_t index);
int32_t darray_find_index(darray_t* darray, void* data);
void* darray_get(darray_t* darray, uint32_t index);

END_C_DECLS
