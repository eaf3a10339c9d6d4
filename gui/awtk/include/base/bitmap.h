#pragma once

#include "tkc/types_def.h"

BEGIN_C_DECLS

/* An image in memory: w x h pixels of 4 bytes r, g, b, a (straight alpha),
 * rows of line_length bytes. */
typedef struct _bitmap_t {
  wh_t w;
  wh_t h;
  uint32_t line_length;
  const char* name;
  uint8_t* data;
} bitmap_t;

END_C_DECLS
