/* Wide strings (the text of widgets) and UTF-8 conversions. */
#pragma once

#include "tkc/types_def.h"

BEGIN_C_DECLS

typedef struct _wstr_t {
  uint32_t size;
  uint32_t capacity;
  wchar_t* str;
} wstr_t;

wstr_t* wstr_init(wstr_t* str, uint32_t capacity);
ret_t wstr_reset(wstr_t* str);
ret_t wstr_clear(wstr_t* str);
ret_t wstr_set(wstr_t* str, const wchar_t* text);
ret_t wstr_set_with_len(wstr_t* str, const wchar_t* text, uint32_t len);
ret_t wstr_set_utf8(wstr_t* str, const char* text);
ret_t wstr_get_utf8(wstr_t* str, char* text, uint32_t size);
ret_t wstr_append(wstr_t* str, const wchar_t* text);
bool_t wstr_equal(wstr_t* str, const wchar_t* text);

/* Decodes UTF-8 into at most size-1 wide characters plus a terminator;
 * malformed bytes become U+FFFD. Returns out. */
wchar_t* tk_utf8_to_utf16(const char* str, wchar_t* out, uint32_t size);
/* Encodes wide text as UTF-8 into at most size-1 bytes plus a terminator
 * (never splitting a character). Returns out. */
char* tk_utf8_from_utf16(const wchar_t* in, char* out, uint32_t size);
char* tk_utf8_from_utf16_ex(const wchar_t* in, uint32_t in_size, char* out, uint32_t out_size);

END_C_DECLS
