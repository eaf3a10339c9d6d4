/* Toolkit log: levels, the log hook, and the argument-check lines
 * ("%s:%d condition(...) failed!") written at warning level. */
#pragma once

#include "tkc/types_def.h"

BEGIN_C_DECLS

typedef enum _log_level_t {
  LOG_LEVEL_DEBUG = 0,
  LOG_LEVEL_INFO = 1,
  LOG_LEVEL_WARN = 2,
  LOG_LEVEL_ERROR = 3
} log_level_t;

typedef void (*tk_log_hook_t)(void* ctx, log_level_t level, const char* format, va_list ap);

ret_t log_set_log_level(log_level_t log_level);
log_level_t log_get_log_level(void);
/* Writes to standard output and flushes. */
int32_t log_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
/* Hands a message to the hook set with log_set_hook (nothing else). */
ret_t log_notify(log_level_t level, const char* format, ...) __attribute__((format(printf, 2, 3)));
ret_t log_set_hook(tk_log_hook_t log, void* ctx);

/* Each macro prints and notifies only while the current level admits it. */
#define tk_log_at_(lvl, format, ...)                  \
  do {                                                \
    if (log_get_log_level() <= (lvl)) {               \
      log_printf(format, ##__VA_ARGS__);              \
      log_notify((lvl), format, ##__VA_ARGS__);       \
    }                                                 \
  } while (0)

#define log_debug(format, ...) tk_log_at_(LOG_LEVEL_DEBUG, format, ##__VA_ARGS__)
#define log_info(format, ...) tk_log_at_(LOG_LEVEL_INFO, format, ##__VA_ARGS__)
#define log_warn(format, ...) tk_log_at_(LOG_LEVEL_WARN, format, ##__VA_ARGS__)
#define log_error(format, ...) tk_log_at_(LOG_LEVEL_ERROR, format, ##__VA_ARGS__)

#define return_value_if_fail(p, value)                                      \
  if (!(p)) {                                                               \
    log_warn("%s:%d condition(" #p ") failed!\n", __FUNCTION__, __LINE__);  \
    return (value);                                                         \
  }

#define return_if_fail(p)                                                   \
  if (!(p)) {                                                               \
    log_warn("%s:%d condition(" #p ") failed!\n", __FUNCTION__, __LINE__);  \
    return;                                                                 \
  }

#define goto_error_if_fail(p)                                               \
  if (!(p)) {                                                               \
    log_warn("%s:%d condition(" #p ") failed!\n", __FUNCTION__, __LINE__);  \
    goto error;                                                             \
  }

END_C_DECLS
