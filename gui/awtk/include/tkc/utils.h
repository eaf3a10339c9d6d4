/* String and number helpers of the toolkit. */
#pragma once

#include "tkc/types_def.h"

BEGIN_C_DECLS

/* Decimal, or hexadecimal after "0x"; leading blanks and a sign allowed;
 * NULL or no digits give 0. */
int32_t tk_atoi(const char* str);
int64_t tk_atol(const char* str);
double tk_atof(const char* str);
/* FALSE for NULL, "", "0", "false", "no" (any case); TRUE otherwise. */
bool_t tk_atob(const char* str);
const char* tk_itoa(char* str, int32_t len, int32_t n);
int tk_snprintf(char* str, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));
int tk_vsnprintf(char* str, size_t size, const char* format, va_list ap);
/* TRUE when both are NULL or both hold the same text. */
bool_t tk_str_eq(const char* a, const char* b);
bool_t tk_str_ieq(const char* a, const char* b);
int32_t tk_strcmp(const char* a, const char* b);
bool_t tk_str_start_with(const char* str, const char* prefix);
bool_t tk_str_end_with(const char* str, const char* suffix);
uint32_t tk_strlen(const char* str);
char* tk_strdup(const char* str);
/* Copies and always terminates; returns dst. */
char* tk_strcpy(char* dst, const char* src);
char* tk_strncpy(char* dst, const char* src, size_t len);

END_C_DECLS
