/* Allocation macros of the toolkit (plain C heap). */
#pragma once

#include "tkc/types_def.h"

#define TKMEM_ALLOC(size) malloc(size)
#define TKMEM_CALLOC(nmemb, size) calloc((nmemb), (size))
#define TKMEM_REALLOC(p, size) realloc((p), (size))
#define TKMEM_ZALLOC(type) ((type*)calloc(1, sizeof(type)))
#define TKMEM_ZALLOCN(type, n) ((type*)calloc((n), sizeof(type)))
#define TKMEM_FREE(p) \
  do {                \
    free((void*)(p)); \
    (p) = NULL;       \
  } while (0)
