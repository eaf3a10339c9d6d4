/* Resources under the resource root given to tk_init: "ui/<name>.xml"
 * (windows), "styles/<theme>.xml", "strings/", "images/", "fonts/". */
#pragma once

#include "tkc/types_def.h"

BEGIN_C_DECLS

typedef enum _asset_type_t {
  ASSET_TYPE_NONE = 0,
  ASSET_TYPE_FONT,
  ASSET_TYPE_IMAGE,
  ASSET_TYPE_STYLE,
  ASSET_TYPE_UI,
  ASSET_TYPE_XML,
  ASSET_TYPE_STRINGS,
  ASSET_TYPE_SCRIPT,
  ASSET_TYPE_FLOW,
  ASSET_TYPE_DATA
} asset_type_t;

typedef struct _assets_manager_t assets_manager_t;

assets_manager_t* assets_manager(void);
ret_t assets_manager_set_theme(assets_manager_t* am, const char* theme);
const char* assets_manager_get_theme_name(assets_manager_t* am);
/* ASSET_TYPE_STYLE with the theme name loads that theme now. */
ret_t assets_manager_preload(assets_manager_t* am, asset_type_t type, const char* name);
/* Full path of a resource file, or RET_NOT_FOUND. */
ret_t assets_manager_path(assets_manager_t* am, asset_type_t type, const char* name, char* path, uint32_t size);

END_C_DECLS
