/* Basic types of the toolkit layer: result codes, booleans, coordinates,
 * alignment, and the argument-check macros every module uses. */
#pragma once

#include <math.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#ifdef __cplusplus
#define BEGIN_C_DECLS extern "C" {
#define END_C_DECLS }
#else
#define BEGIN_C_DECLS
#define END_C_DECLS
#endif

typedef uint8_t bool_t;
typedef int32_t xy_t;
typedef int32_t wh_t;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

/* Result codes, in the toolkit's order (timers and idles read RET_REMOVE and
 * RET_REPEAT; emitters read RET_STOP and RET_REMOVE). */
typedef enum _ret_t {
  RET_OK = 0,
  RET_OOM,
  RET_FAIL,
  RET_NOT_IMPL,
  RET_QUIT,
  RET_FOUND,
  RET_BUSY,
  RET_REMOVE,
  RET_REPEAT,
  RET_NOT_FOUND,
  RET_DONE,
  RET_STOP,
  RET_SKIP,
  RET_CONTINUE,
  RET_OBJECT_CHANGED,
  RET_ITEMS_CHANGED,
  RET_BAD_PARAMS,
  RET_TIMEOUT,
  RET_CRC,
  RET_IO,
  RET_EOS,
  RET_NOT_MODIFIED,
  RET_NO_PERMISSION,
  RET_INVALID_ADDR,
  RET_EXCEED_RANGE,
  RET_MAX_NR
} ret_t;

typedef enum _align_h_t { ALIGN_H_NONE = 0, ALIGN_H_CENTER, ALIGN_H_LEFT, ALIGN_H_RIGHT } align_h_t;
typedef enum _align_v_t { ALIGN_V_NONE = 0, ALIGN_V_MIDDLE, ALIGN_V_TOP, ALIGN_V_BOTTOM } align_v_t;

/* Visitor of widget_foreach: RET_OK goes on, RET_STOP/RET_DONE ends the walk,
 * RET_SKIP skips the children of the visited widget. */
typedef ret_t (*tk_visit_t)(void* ctx, const void* data);

#define TK_INVALID_ID 0u
#define TK_NAME_LEN 31

#ifndef ARRAY_SIZE
#define ARRAY_SIZE(a) (sizeof(a) / sizeof((a)[0]))
#endif
#define tk_min(a, b) ((a) < (b) ? (a) : (b))
#define tk_max(a, b) ((a) > (b) ? (a) : (b))
#define tk_abs(a) ((a) < 0 ? -(a) : (a))
#define tk_clamp(a, mn, mx) ((a) < (mn) ? (mn) : ((a) > (mx) ? (mx) : (a)))
#define tk_roundi(a) ((int32_t)(((a) >= 0) ? ((a) + 0.5f) : ((a) - 0.5f)))

#include "tkc/log.h"
