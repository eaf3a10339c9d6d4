#pragma once

#include "tkc/types_def.h"

BEGIN_C_DECLS

typedef struct _point_t {
  xy_t x;
  xy_t y;
} point_t;

typedef struct _rect_t {
  xy_t x;
  xy_t y;
  wh_t w;
  wh_t h;
} rect_t;

rect_t rect_init(xy_t x, xy_t y, wh_t w, wh_t h);
rect_t rect_intersect(const rect_t* r1, const rect_t* r2);
bool_t rect_has_intersect(const rect_t* r1, const rect_t* r2);

END_C_DECLS
