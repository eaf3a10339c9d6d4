#pragma once

#include "tkc/types_def.h"

BEGIN_C_DECLS

typedef enum _app_type_t { APP_MOBILE = 0, APP_SIMULATOR, APP_DESKTOP, APP_CONSOLE } app_type_t;

typedef struct _system_info_t {
  wh_t lcd_w;
  wh_t lcd_h;
  app_type_t app_type;
  const char* app_name;
  const char* app_root;
  const char* default_font;
  float device_pixel_ratio;
} system_info_t;

system_info_t* system_info(void);
/* Font of styles that name none. */
ret_t system_info_set_default_font(system_info_t* info, const char* default_font);

END_C_DECLS
