/* value_t: one typed value (properties of widgets). Strings are borrowed
 * unless set with value_dup_str, which the value then owns until reset. */
#pragma once

#include "tkc/types_def.h"

BEGIN_C_DECLS

typedef enum _value_type_t {
  VALUE_TYPE_INVALID = 0,
  VALUE_TYPE_BOOL,
  VALUE_TYPE_INT8,
  VALUE_TYPE_UINT8,
  VALUE_TYPE_INT16,
  VALUE_TYPE_UINT16,
  VALUE_TYPE_INT32,
  VALUE_TYPE_UINT32,
  VALUE_TYPE_INT64,
  VALUE_TYPE_UINT64,
  VALUE_TYPE_POINTER,
  VALUE_TYPE_FLOAT,
  VALUE_TYPE_FLOAT32,
  VALUE_TYPE_DOUBLE,
  VALUE_TYPE_STRING,
  VALUE_TYPE_WSTRING
} value_type_t;

typedef struct _value_t {
  union {
    bool_t b;
    int8_t i8;
    uint8_t u8;
    int16_t i16;
    uint16_t u16;
    int32_t i32;
    uint32_t u32;
    int64_t i64;
    uint64_t u64;
    float f32;
    double f64;
    const char* str;
    const wchar_t* wstr;
    const void* ptr;
  } value;
  uint32_t type : 8;
  uint32_t free_handle : 1;
} value_t;

value_t* value_set_bool(value_t* v, bool_t value);
value_t* value_set_int8(value_t* v, int8_t value);
value_t* value_set_uint8(value_t* v, uint8_t value);
value_t* value_set_int16(value_t* v, int16_t value);
value_t* value_set_uint16(value_t* v, uint16_t value);
value_t* value_set_int(value_t* v, int32_t value);
value_t* value_set_int32(value_t* v, int32_t value);
value_t* value_set_uint32(value_t* v, uint32_t value);
value_t* value_set_int64(value_t* v, int64_t value);
value_t* value_set_uint64(value_t* v, uint64_t value);
value_t* value_set_float(value_t* v, float value);
value_t* value_set_float32(value_t* v, float value);
value_t* value_set_double(value_t* v, double value);
value_t* value_set_str(value_t* v, const char* value);
value_t* value_dup_str(value_t* v, const char* value);
value_t* value_set_wstr(value_t* v, const wchar_t* value);
value_t* value_set_pointer(value_t* v, void* value);

/* Readers convert between numbers, booleans and numeric strings. */
bool_t value_bool(const value_t* v);
int32_t value_int(const value_t* v);
int32_t value_int32(const value_t* v);
uint32_t value_uint32(const value_t* v);
int64_t value_int64(const value_t* v);
float value_float(const value_t* v);
float value_float32(const value_t* v);
double value_double(const value_t* v);
const char* value_str(const value_t* v);
/* Any value as text into buf (numbers formatted, strings copied). */
const char* value_str_ex(const value_t* v, char* buf, uint32_t size);
const wchar_t* value_wstr(const value_t* v);
void* value_pointer(const value_t* v);
bool_t value_is_null(const value_t* v);
/* dst becomes an independent copy (strings duplicated). */
ret_t value_deep_copy(value_t* dst, const value_t* src);
ret_t value_reset(value_t* v);

END_C_DECLS
