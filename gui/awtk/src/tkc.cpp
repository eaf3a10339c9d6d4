/* Small toolkit services: log, strings, values, wide strings, arrays,
 * colours, rectangles. */
#include "awtk_internal.h"

#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <strings.h>

/* ---- log ---- */
static log_level_t s_log_level = LOG_LEVEL_DEBUG;
static tk_log_hook_t s_log_hook = NULL;
static void* s_log_hook_ctx = NULL;

ret_t log_set_log_level(log_level_t log_level) {
  s_log_level = log_level;
  return RET_OK;
}

log_level_t log_get_log_level(void) { return s_log_level; }

int32_t log_printf(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = vfprintf(stdout, format, ap);
  va_end(ap);
  fflush(stdout);
  return n;
}

ret_t log_notify(log_level_t level, const char* format, ...) {
  if (s_log_hook == NULL) {
    return RET_OK;
  }
  va_list ap;
  va_start(ap, format);
  s_log_hook(s_log_hook_ctx, level, format, ap);
  va_end(ap);
  return RET_OK;
}

ret_t log_set_hook(tk_log_hook_t log, void* ctx) {
  s_log_hook = log;
  s_log_hook_ctx = ctx;
  return RET_OK;
}

/* ---- strings ---- */
int64_t tk_atol(const char* str) {
  if (str == NULL) {
    return 0;
  }
  while (isspace((unsigned char)*str)) {
    str++;
  }
  bool neg = false;
  if (*str == '-' || *str == '+') {
    neg = (*str == '-');
    str++;
  }
  int base = 10;
  if (str[0] == '0' && (str[1] == 'x' || str[1] == 'X')) {
    base = 16;
    str += 2;
  }
  uint64_t v = 0;
  for (; *str; str++) {
    int d;
    unsigned char ch = (unsigned char)*str;
    if (ch >= '0' && ch <= '9') {
      d = ch - '0';
    } else if (base == 16 && isxdigit(ch)) {
      d = tolower(ch) - 'a' + 10;
    } else {
      break;
    }
    if (v > (UINT64_MAX - (uint64_t)d) / (uint64_t)base) {
      v = UINT64_MAX;
    } else {
      v = v * (uint64_t)base + (uint64_t)d;
    }
  }
  /* Beyond the range, saturate as strtoll does. */
  if (neg) return v >= (uint64_t)INT64_MAX + 1 ? INT64_MIN : -(int64_t)v;
  return v > (uint64_t)INT64_MAX ? INT64_MAX : (int64_t)v;
}

int32_t tk_atoi(const char* str) {
  int64_t v = tk_atol(str);
  return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : (int32_t)v;
}

double tk_atof(const char* str) { return str == NULL ? 0.0 : strtod(str, NULL); }

bool_t tk_atob(const char* str) {
  if (str == NULL || *str == '\0') {
    return FALSE;
  }
  static const char* const falses[] = {"0", "false", "no", "off"};
  for (const char* f : falses) {
    if (strcasecmp(str, f) == 0) {
      return FALSE;
    }
  }
  return TRUE;
}

const char* tk_itoa(char* str, int32_t len, int32_t n) {
  tk_snprintf(str, (size_t)len, "%d", n);
  return str;
}

int tk_vsnprintf(char* str, size_t size, const char* format, va_list ap) {
  return vsnprintf(str, size, format, ap);
}

int tk_snprintf(char* str, size_t size, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = vsnprintf(str, size, format, ap);
  va_end(ap);
  return n;
}

bool_t tk_str_eq(const char* a, const char* b) {
  if (a == NULL || b == NULL) {
    return a == b;
  }
  return strcmp(a, b) == 0;
}

bool_t tk_str_ieq(const char* a, const char* b) {
  if (a == NULL || b == NULL) {
    return a == b;
  }
  return strcasecmp(a, b) == 0;
}

int32_t tk_strcmp(const char* a, const char* b) {
  return strcmp(a != NULL ? a : "", b != NULL ? b : "");
}

bool_t tk_str_start_with(const char* str, const char* prefix) {
  return str != NULL && prefix != NULL && strncmp(str, prefix, strlen(prefix)) == 0;
}

bool_t tk_str_end_with(const char* str, const char* suffix) {
  if (str == NULL || suffix == NULL) {
    return FALSE;
  }
  size_t n = strlen(str), m = strlen(suffix);
  return n >= m && strcmp(str + n - m, suffix) == 0;
}

uint32_t tk_strlen(const char* str) { return str == NULL ? 0 : (uint32_t)strlen(str); }

char* tk_strdup(const char* str) { return str == NULL ? NULL : strdup(str); }

char* tk_strncpy(char* dst, const char* src, size_t len) {
  if (dst == NULL) {
    return NULL;
  }
  size_t n = 0;
  if (src != NULL) {
    while (n < len && src[n] != '\0') {
      dst[n] = src[n];
      n++;
    }
  }
  dst[n] = '\0';
  return dst;
}

char* tk_strcpy(char* dst, const char* src) {
  return tk_strncpy(dst, src, src != NULL ? strlen(src) : 0);
}

/* ---- values ---- */
/* Setters overwrite without freeing (values start uninitialised on the
 * stack); value_reset frees an owned string. */
static value_t* value_set_(value_t* v, value_type_t type) {
  memset(v, 0, sizeof(*v));
  v->type = type;
  return v;
}

#define VALUE_SETTER(fn, T, field, type_id)    \
  value_t* fn(value_t* v, T value) {           \
    if (v == NULL) return NULL;                \
    value_set_(v, type_id)->value.field = value; \
    return v;                                  \
  }

VALUE_SETTER(value_set_bool, bool_t, b, VALUE_TYPE_BOOL)
VALUE_SETTER(value_set_int8, int8_t, i8, VALUE_TYPE_INT8)
VALUE_SETTER(value_set_uint8, uint8_t, u8, VALUE_TYPE_UINT8)
VALUE_SETTER(value_set_int16, int16_t, i16, VALUE_TYPE_INT16)
VALUE_SETTER(value_set_uint16, uint16_t, u16, VALUE_TYPE_UINT16)
VALUE_SETTER(value_set_int32, int32_t, i32, VALUE_TYPE_INT32)
VALUE_SETTER(value_set_uint32, uint32_t, u32, VALUE_TYPE_UINT32)
VALUE_SETTER(value_set_int64, int64_t, i64, VALUE_TYPE_INT64)
VALUE_SETTER(value_set_uint64, uint64_t, u64, VALUE_TYPE_UINT64)
VALUE_SETTER(value_set_float, float, f32, VALUE_TYPE_FLOAT)
VALUE_SETTER(value_set_float32, float, f32, VALUE_TYPE_FLOAT32)
VALUE_SETTER(value_set_double, double, f64, VALUE_TYPE_DOUBLE)
VALUE_SETTER(value_set_str, const char*, str, VALUE_TYPE_STRING)
VALUE_SETTER(value_set_wstr, const wchar_t*, wstr, VALUE_TYPE_WSTRING)

value_t* value_set_int(value_t* v, int32_t value) { return value_set_int32(v, value); }

value_t* value_set_pointer(value_t* v, void* value) {
  if (v == NULL) return NULL;
  value_set_(v, VALUE_TYPE_POINTER)->value.ptr = value;
  return v;
}

value_t* value_dup_str(value_t* v, const char* value) {
  if (v == NULL) return NULL;
  value_set_(v, VALUE_TYPE_STRING)->value.str = tk_strdup(value != NULL ? value : "");
  v->free_handle = 1;
  return v;
}

ret_t value_reset(value_t* v) {
  return_value_if_fail(v != NULL, RET_BAD_PARAMS);
  if (v->free_handle) {
    free((void*)v->value.ptr);
  }
  memset(v, 0, sizeof(*v));
  return RET_OK;
}

ret_t value_deep_copy(value_t* dst, const value_t* src) {
  return_value_if_fail(dst != NULL && src != NULL, RET_BAD_PARAMS);
  value_t tmp = *src;
  tmp.free_handle = 0;
  if (src->type == VALUE_TYPE_STRING) {
    tmp.value.str = tk_strdup(src->value.str != NULL ? src->value.str : "");
    tmp.free_handle = 1;
  } else if (src->type == VALUE_TYPE_WSTRING) {
    const wchar_t* s = src->value.wstr != NULL ? src->value.wstr : L"";
    size_t n = wcslen(s) + 1;
    wchar_t* copy = (wchar_t*)malloc(n * sizeof(wchar_t));
    memcpy(copy, s, n * sizeof(wchar_t));
    tmp.value.wstr = copy;
    tmp.free_handle = 1;
  }
  if (dst != src) {
    value_reset(dst);
  }
  *dst = tmp;
  return RET_OK;
}

double value_double(const value_t* v) {
  if (v == NULL) return 0;
  switch (v->type) {
    case VALUE_TYPE_BOOL: return v->value.b ? 1 : 0;
    case VALUE_TYPE_INT8: return v->value.i8;
    case VALUE_TYPE_UINT8: return v->value.u8;
    case VALUE_TYPE_INT16: return v->value.i16;
    case VALUE_TYPE_UINT16: return v->value.u16;
    case VALUE_TYPE_INT32: return v->value.i32;
    case VALUE_TYPE_UINT32: return v->value.u32;
    case VALUE_TYPE_INT64: return (double)v->value.i64;
    case VALUE_TYPE_UINT64: return (double)v->value.u64;
    case VALUE_TYPE_FLOAT:
    case VALUE_TYPE_FLOAT32: return v->value.f32;
    case VALUE_TYPE_DOUBLE: return v->value.f64;
    case VALUE_TYPE_STRING: return tk_atof(v->value.str);
    case VALUE_TYPE_WSTRING: return v->value.wstr != NULL ? wcstod(v->value.wstr, NULL) : 0;
    default: return 0;
  }
}

int64_t value_int64(const value_t* v) {
  if (v == NULL) return 0;
  switch (v->type) {
    case VALUE_TYPE_INT64: return v->value.i64;
    case VALUE_TYPE_UINT64: return (int64_t)v->value.u64;
    case VALUE_TYPE_STRING: return tk_atol(v->value.str);
    case VALUE_TYPE_FLOAT:
    case VALUE_TYPE_FLOAT32:
    case VALUE_TYPE_DOUBLE: return (int64_t)value_double(v);
    default: return (int64_t)value_double(v);
  }
}

int32_t value_int(const value_t* v) { return (int32_t)value_int64(v); }
int32_t value_int32(const value_t* v) { return value_int(v); }
uint32_t value_uint32(const value_t* v) { return (uint32_t)value_int64(v); }
float value_float(const value_t* v) { return (float)value_double(v); }
float value_float32(const value_t* v) { return (float)value_double(v); }

bool_t value_bool(const value_t* v) {
  if (v == NULL) return FALSE;
  if (v->type == VALUE_TYPE_STRING) return tk_atob(v->value.str);
  if (v->type == VALUE_TYPE_WSTRING) {
    char buf[16];
    tk_utf8_from_utf16(v->value.wstr != NULL ? v->value.wstr : L"", buf, sizeof(buf));
    return tk_atob(buf);
  }
  if (v->type == VALUE_TYPE_POINTER) return v->value.ptr != NULL;
  return value_double(v) != 0;
}

const char* value_str(const value_t* v) {
  return (v != NULL && v->type == VALUE_TYPE_STRING) ? v->value.str : NULL;
}

const wchar_t* value_wstr(const value_t* v) {
  return (v != NULL && v->type == VALUE_TYPE_WSTRING) ? v->value.wstr : NULL;
}

void* value_pointer(const value_t* v) {
  return (v != NULL && v->type == VALUE_TYPE_POINTER) ? (void*)v->value.ptr : NULL;
}

bool_t value_is_null(const value_t* v) { return v == NULL || v->type == VALUE_TYPE_INVALID; }

const char* value_str_ex(const value_t* v, char* buf, uint32_t size) {
  return_value_if_fail(buf != NULL && size > 0, NULL);
  buf[0] = '\0';
  if (v == NULL) return buf;
  switch (v->type) {
    case VALUE_TYPE_STRING: tk_strncpy(buf, v->value.str, size - 1); break;
    case VALUE_TYPE_WSTRING: tk_utf8_from_utf16(v->value.wstr != NULL ? v->value.wstr : L"", buf, size); break;
    case VALUE_TYPE_BOOL: tk_strncpy(buf, v->value.b ? "true" : "false", size - 1); break;
    case VALUE_TYPE_FLOAT:
    case VALUE_TYPE_FLOAT32:
    case VALUE_TYPE_DOUBLE: tk_snprintf(buf, size, "%g", value_double(v)); break;
    case VALUE_TYPE_UINT64: tk_snprintf(buf, size, "%" PRIu64, v->value.u64); break;
    case VALUE_TYPE_INVALID: break;
    case VALUE_TYPE_POINTER: tk_snprintf(buf, size, "%p", v->value.ptr); break;
    default: tk_snprintf(buf, size, "%" PRId64, value_int64(v)); break;
  }
  return buf;
}

/* ---- UTF-8 and wide strings ---- */
wchar_t* tk_utf8_to_utf16(const char* str, wchar_t* out, uint32_t size) {
  return_value_if_fail(out != NULL && size > 0, NULL);
  const unsigned char* s = (const unsigned char*)(str != NULL ? str : "");
  uint32_t n = 0;
  while (*s && n + 1 < size) {
    uint32_t c = *s++;
    int extra = 0;
    if (c >= 0xF0 && c < 0xF8) {
      extra = 3;
      c &= 0x07;
    } else if (c >= 0xE0) {
      extra = (c < 0xF0) ? 2 : -1;
      c &= 0x0F;
    } else if (c >= 0xC0) {
      extra = 1;
      c &= 0x1F;
    } else if (c >= 0x80) {
      extra = -1;
    }
    if (extra < 0) {
      out[n++] = 0xFFFD;
      continue;
    }
    bool ok = true;
    for (int i = 0; i < extra; i++) {
      if ((*s & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      c = (c << 6) | (*s++ & 0x3F);
    }
    out[n++] = ok ? (wchar_t)c : (wchar_t)0xFFFD;
  }
  out[n] = 0;
  return out;
}

static int utf8_encode(uint32_t c, char* buf) {
  if (c < 0x80) {
    buf[0] = (char)c;
    return 1;
  } else if (c < 0x800) {
    buf[0] = (char)(0xC0 | (c >> 6));
    buf[1] = (char)(0x80 | (c & 0x3F));
    return 2;
  } else if (c < 0x10000) {
    buf[0] = (char)(0xE0 | (c >> 12));
    buf[1] = (char)(0x80 | ((c >> 6) & 0x3F));
    buf[2] = (char)(0x80 | (c & 0x3F));
    return 3;
  }
  buf[0] = (char)(0xF0 | ((c >> 18) & 0x07));
  buf[1] = (char)(0x80 | ((c >> 12) & 0x3F));
  buf[2] = (char)(0x80 | ((c >> 6) & 0x3F));
  buf[3] = (char)(0x80 | (c & 0x3F));
  return 4;
}

char* tk_utf8_from_utf16_ex(const wchar_t* in, uint32_t in_size, char* out, uint32_t out_size) {
  return_value_if_fail(out != NULL && out_size > 0, NULL);
  uint32_t n = 0;
  for (uint32_t i = 0; in != NULL && i < in_size && in[i] != 0; i++) {
    char buf[4];
    int len = utf8_encode((uint32_t)in[i], buf);
    if (n + (uint32_t)len + 1 > out_size) {
      break;
    }
    memcpy(out + n, buf, (size_t)len);
    n += (uint32_t)len;
  }
  out[n] = '\0';
  return out;
}

char* tk_utf8_from_utf16(const wchar_t* in, char* out, uint32_t size) {
  return tk_utf8_from_utf16_ex(in, in != NULL ? (uint32_t)wcslen(in) : 0, out, size);
}

wstr_t* wstr_init(wstr_t* str, uint32_t capacity) {
  return_value_if_fail(str != NULL, NULL);
  memset(str, 0, sizeof(*str));
  if (capacity > 0) {
    str->str = (wchar_t*)calloc(capacity + 1, sizeof(wchar_t));
    str->capacity = capacity;
  }
  return str;
}

ret_t wstr_reset(wstr_t* str) {
  return_value_if_fail(str != NULL, RET_BAD_PARAMS);
  free(str->str);
  memset(str, 0, sizeof(*str));
  return RET_OK;
}

static ret_t wstr_extend(wstr_t* str, uint32_t capacity) {
  if (capacity <= str->capacity && str->str != NULL) {
    return RET_OK;
  }
  wchar_t* p = (wchar_t*)realloc(str->str, (capacity + 1) * sizeof(wchar_t));
  return_value_if_fail(p != NULL, RET_OOM);
  str->str = p;
  str->capacity = capacity;
  return RET_OK;
}

ret_t wstr_clear(wstr_t* str) {
  return_value_if_fail(str != NULL, RET_BAD_PARAMS);
  str->size = 0;
  if (str->str != NULL) {
    str->str[0] = 0;
  }
  return RET_OK;
}

ret_t wstr_set_with_len(wstr_t* str, const wchar_t* text, uint32_t len) {
  return_value_if_fail(str != NULL, RET_BAD_PARAMS);
  return_value_if_fail(wstr_extend(str, len) == RET_OK, RET_OOM);
  if (len > 0) {
    memmove(str->str, text, len * sizeof(wchar_t));
  }
  str->str[len] = 0;
  str->size = len;
  return RET_OK;
}

ret_t wstr_set(wstr_t* str, const wchar_t* text) {
  return wstr_set_with_len(str, text != NULL ? text : L"", text != NULL ? (uint32_t)wcslen(text) : 0);
}

ret_t wstr_set_utf8(wstr_t* str, const char* text) {
  return_value_if_fail(str != NULL, RET_BAD_PARAMS);
  uint32_t n = (uint32_t)tk_strlen(text) + 1;
  std::vector<wchar_t> buf(n);
  tk_utf8_to_utf16(text, buf.data(), n);
  return wstr_set(str, buf.data());
}

ret_t wstr_get_utf8(wstr_t* str, char* text, uint32_t size) {
  return_value_if_fail(str != NULL && text != NULL, RET_BAD_PARAMS);
  tk_utf8_from_utf16_ex(str->str, str->size, text, size);
  return RET_OK;
}

ret_t wstr_append(wstr_t* str, const wchar_t* text) {
  return_value_if_fail(str != NULL && text != NULL, RET_BAD_PARAMS);
  uint32_t n = (uint32_t)wcslen(text);
  return_value_if_fail(wstr_extend(str, str->size + n) == RET_OK, RET_OOM);
  memcpy(str->str + str->size, text, (n + 1) * sizeof(wchar_t));
  str->size += n;
  return RET_OK;
}

bool_t wstr_equal(wstr_t* str, const wchar_t* text) {
  if (str == NULL) return FALSE;
  const wchar_t* a = str->str != NULL ? str->str : L"";
  return wcscmp(a, text != NULL ? text : L"") == 0;
}

/* ---- darray ---- */
darray_t* darray_create(uint32_t capacity) {
  darray_t* d = TKMEM_ZALLOC(darray_t);
  if (capacity > 0) {
    d->elms = (void**)calloc(capacity, sizeof(void*));
    d->capacity = capacity;
  }
  return d;
}

ret_t darray_destroy(darray_t* darray) {
  return_value_if_fail(darray != NULL, RET_BAD_PARAMS);
  free(darray->elms);
  free(darray);
  return RET_OK;
}

ret_t darray_insert(darray_t* darray, uint32_t index, void* data) {
  return_value_if_fail(darray != NULL && index <= darray->size, RET_BAD_PARAMS);
  if (darray->size == darray->capacity) {
    uint32_t cap = darray->capacity < 4 ? 4 : darray->capacity * 2;
    void** p = (void**)realloc(darray->elms, cap * sizeof(void*));
    return_value_if_fail(p != NULL, RET_OOM);
    darray->elms = p;
    darray->capacity = cap;
  }
  memmove(darray->elms + index + 1, darray->elms + index, (darray->size - index) * sizeof(void*));
  darray->elms[index] = data;
  darray->size++;
  return RET_OK;
}

ret_t darray_push(darray_t* darray, void* data) {
  return_value_if_fail(darray != NULL, RET_BAD_PARAMS);
  return darray_insert(darray, darray->size, data);
}

ret_t darray_remove_index(darray_t* darray, uint32_t index) {
  return_value_if_fail(darray != NULL && index < darray->size, RET_BAD_PARAMS);
  memmove(darray->elms + index, darray->elms + index + 1, (darray->size - index - 1) * sizeof(void*));
  darray->size--;
  return RET_OK;
}

int32_t darray_find_index(darray_t* darray, void* data) {
  if (darray == NULL) return -1;
  for (uint32_t i = 0; i < darray->size; i++) {
    if (darray->elms[i] == data) return (int32_t)i;
  }
  return -1;
}

void* darray_get(darray_t* darray, uint32_t index) {
  return (darray != NULL && index < darray->size) ? darray->elms[index] : NULL;
}

/* ---- colours ---- */
color_t color_init(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  color_t c;
  c.rgba.r = r;
  c.rgba.g = g;
  c.rgba.b = b;
  c.rgba.a = a;
  return c;
}

struct named_color {
  const char* name;
  uint32_t rgb;
};

/* CSS colour names the resources and pages use. */
static const named_color s_named_colors[] = {
    {"black", 0x000000},  {"white", 0xffffff},   {"red", 0xff0000},    {"green", 0x008000},
    {"lime", 0x00ff00},   {"blue", 0x0000ff},    {"yellow", 0xffff00}, {"cyan", 0x00ffff},
    {"magenta", 0xff00ff}, {"gray", 0x808080},   {"grey", 0x808080},   {"silver", 0xc0c0c0},
    {"orange", 0xffa500}, {"gold", 0xffd700},    {"purple", 0x800080}, {"navy", 0x000080},
    {"darkgray", 0xa9a9a9}, {"lightgray", 0xd3d3d3}, {"brown", 0xa52a2a}, {"pink", 0xffc0cb},
};

static int hexval(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  return -1;
}

static bool parse_hex(const char* s, size_t n, uint32_t* out) {
  uint32_t v = 0;
  for (size_t i = 0; i < n; i++) {
    int d = hexval(s[i]);
    if (d < 0) return false;
    v = (v << 4) | (uint32_t)d;
  }
  *out = v;
  return true;
}

color_t* color_from_str(color_t* c, const char* str) {
  return_value_if_fail(c != NULL && str != NULL, NULL);
  while (isspace((unsigned char)*str)) str++;
  size_t n = strlen(str);
  while (n > 0 && isspace((unsigned char)str[n - 1])) n--;
  uint32_t v = 0;
  if (str[0] == '#') {
    if (n == 7 && parse_hex(str + 1, 6, &v)) {
      *c = color_init((uint8_t)(v >> 16), (uint8_t)(v >> 8), (uint8_t)v, 0xff);
      return c;
    }
    if (n == 9 && parse_hex(str + 1, 8, &v)) {
      *c = color_init((uint8_t)(v >> 24), (uint8_t)(v >> 16), (uint8_t)(v >> 8), (uint8_t)v);
      return c;
    }
    if (n == 4 && parse_hex(str + 1, 3, &v)) {
      *c = color_init((uint8_t)(((v >> 8) & 0xf) * 17), (uint8_t)(((v >> 4) & 0xf) * 17), (uint8_t)((v & 0xf) * 17), 0xff);
      return c;
    }
    return NULL;
  }
  if (strncmp(str, "rgb", 3) == 0) {
    const char* p = strchr(str, '(');
    if (p == NULL) return NULL;
    double r = 0, g = 0, b = 0, a = 1;
    int got = sscanf(p + 1, "%lf , %lf , %lf , %lf", &r, &g, &b, &a);
    if (got < 3) return NULL;
    *c = color_init((uint8_t)tk_clamp(r, 0, 255), (uint8_t)tk_clamp(g, 0, 255), (uint8_t)tk_clamp(b, 0, 255),
                    (uint8_t)tk_clamp(a * 255 + 0.5, 0, 255));
    return c;
  }
  if (strncasecmp(str, "transparent", n) == 0 && n == strlen("transparent")) {
    *c = color_init(0, 0, 0, 0);
    return c;
  }
  for (const named_color& nc : s_named_colors) {
    if (strlen(nc.name) == n && strncasecmp(nc.name, str, n) == 0) {
      *c = color_init((uint8_t)(nc.rgb >> 16), (uint8_t)(nc.rgb >> 8), (uint8_t)nc.rgb, 0xff);
      return c;
    }
  }
  return NULL;
}

const char* color_hex_str(color_t c, char* str) {
  return_value_if_fail(str != NULL, NULL);
  snprintf(str, 10, "#%02x%02x%02x%02x", c.rgba.r, c.rgba.g, c.rgba.b, c.rgba.a);
  return str;
}

/* ---- rectangles ---- */
rect_t rect_init(xy_t x, xy_t y, wh_t w, wh_t h) {
  rect_t r = {x, y, w, h};
  return r;
}

rect_t rect_intersect(const rect_t* a, const rect_t* b) {
  xy_t x0 = tk_max(a->x, b->x), y0 = tk_max(a->y, b->y);
  xy_t x1 = tk_min(a->x + a->w, b->x + b->w), y1 = tk_min(a->y + a->h, b->y + b->h);
  if (x1 <= x0 || y1 <= y0) {
    return rect_init(x0, y0, 0, 0);
  }
  return rect_init(x0, y0, x1 - x0, y1 - y0);
}

bool_t rect_has_intersect(const rect_t* a, const rect_t* b) {
  rect_t r = rect_intersect(a, b);
  return r.w > 0 && r.h > 0;
}

/* ---- events ---- */
event_t event_init(uint32_t type, void* target) {
  event_t e;
  memset(&e, 0, sizeof(e));
  e.type = type;
  e.target = target;
  e.size = sizeof(e);
  e.time = time_now_ms();
  return e;
}

event_t* event_cast(event_t* event) { return event; }

event_t* key_event_init(key_event_t* event, uint32_t type, widget_t* target, int32_t key) {
  return_value_if_fail(event != NULL, NULL);
  memset(event, 0, sizeof(*event));
  event->e = event_init(type, target);
  event->e.size = sizeof(*event);
  event->key = (uint32_t)key;
  return &event->e;
}

key_event_t* key_event_cast(event_t* event) {
  return_value_if_fail(event != NULL, NULL);
  bool key = event->type == EVT_KEY_DOWN || event->type == EVT_KEY_UP || event->type == EVT_KEY_LONG_PRESS ||
             event->type == EVT_KEY_REPEAT || event->type == EVT_KEY_DOWN_BEFORE_CHILDREN ||
             event->type == EVT_KEY_UP_BEFORE_CHILDREN;
  return_value_if_fail(key && event->size == (int32_t)sizeof(key_event_t), NULL);
  return (key_event_t*)event;
}

event_t* paint_event_init(paint_event_t* event, uint32_t type, widget_t* target, canvas_t* c) {
  return_value_if_fail(event != NULL, NULL);
  memset(event, 0, sizeof(*event));
  event->e = event_init(type, target);
  event->e.size = sizeof(*event);
  event->c = c;
  return &event->e;
}

paint_event_t* paint_event_cast(event_t* event) {
  return_value_if_fail(event != NULL && event->size == (int32_t)sizeof(paint_event_t), NULL);
  return (paint_event_t*)event;
}

event_t* window_event_init(window_event_t* event, uint32_t type, widget_t* target, widget_t* window) {
  return_value_if_fail(event != NULL, NULL);
  memset(event, 0, sizeof(*event));
  event->e = event_init(type, target);
  event->e.size = sizeof(*event);
  event->window = window;
  return &event->e;
}

window_event_t* window_event_cast(event_t* event) {
  return_value_if_fail(event != NULL && event->size == (int32_t)sizeof(window_event_t), NULL);
  return (window_event_t*)event;
}
