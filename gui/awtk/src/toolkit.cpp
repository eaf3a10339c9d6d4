/* Start-up and shutdown, system information, the assets manager and the
 * backend choice. */
#include "awtk_internal.h"

#include <sys/stat.h>

static system_info_t s_info;
static std::string s_app_name, s_app_root, s_default_font = "default";
static std::string s_theme = "default";
static bool s_initialized = false;
static int32_t s_backend_choice = -1; /* -1: from the environment */
static bool s_use_virtual_clock = false;
static bool s_sdl = false;

struct _assets_manager_t {
  int unused;
};
static assets_manager_t s_assets;

bool tk_file_exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string tk_res_path(const char* subdir, const std::string& file) {
  std::string p = s_app_root.empty() ? std::string("./res") : s_app_root;
  if (subdir != NULL && *subdir) {
    p += "/";
    p += subdir;
  }
  return p + "/" + file;
}

system_info_t* system_info(void) { return &s_info; }

ret_t system_info_set_default_font(system_info_t* info, const char* default_font) {
  return_value_if_fail(info == &s_info && default_font != NULL, RET_BAD_PARAMS);
  s_default_font = default_font;
  info->default_font = s_default_font.c_str();
  tk_wm_set_dirty();
  return RET_OK;
}

assets_manager_t* assets_manager(void) { return s_initialized ? &s_assets : NULL; }

ret_t assets_manager_set_theme(assets_manager_t* am, const char* theme) {
  return_value_if_fail(am != NULL && theme != NULL && *theme, RET_BAD_PARAMS);
  if (s_theme != theme) {
    s_theme = theme;
    tk_theme_reset();
  }
  return RET_OK;
}

const char* assets_manager_get_theme_name(assets_manager_t* am) {
  return_value_if_fail(am != NULL, NULL);
  return s_theme.c_str();
}

ret_t assets_manager_preload(assets_manager_t* am, asset_type_t type, const char* name) {
  return_value_if_fail(am != NULL && name != NULL, RET_BAD_PARAMS);
  switch (type) {
    case ASSET_TYPE_STYLE:
      return tk_theme_load(name);
    case ASSET_TYPE_IMAGE: {
      bitmap_t bmp;
      return image_manager_get_bitmap(image_manager(), name, &bmp);
    }
    case ASSET_TYPE_FONT:
      return tk_font_path(name).empty() ? RET_NOT_FOUND : RET_OK;
    case ASSET_TYPE_UI:
      return tk_file_exists(tk_res_path("ui", std::string(name) + ".xml")) ? RET_OK : RET_NOT_FOUND;
    default:
      return RET_NOT_IMPL;
  }
}

ret_t assets_manager_path(assets_manager_t* am, asset_type_t type, const char* name, char* path, uint32_t size) {
  return_value_if_fail(am != NULL && name != NULL && path != NULL && size > 0, RET_BAD_PARAMS);
  std::string p;
  switch (type) {
    case ASSET_TYPE_UI: p = tk_res_path("ui", std::string(name) + ".xml"); break;
    case ASSET_TYPE_STYLE: p = tk_res_path("styles", std::string(name) + ".xml"); break;
    case ASSET_TYPE_STRINGS: p = tk_res_path("strings", std::string(name) + ".xml"); break;
    case ASSET_TYPE_IMAGE: p = tk_res_path("images", name); break;
    case ASSET_TYPE_FONT: p = tk_font_path(name); break;
    default: return RET_NOT_IMPL;
  }
  if (p.empty() || !tk_file_exists(p)) return RET_NOT_FOUND;
  tk_strncpy(path, p.c_str(), size - 1);
  return RET_OK;
}

ret_t tk_init_assets(void) {
  return_value_if_fail(s_initialized, RET_FAIL);
  if (!tk_theme_loaded()) tk_theme_load(s_theme.c_str());
  return RET_OK;
}

ret_t awtk_host_set_backend(awtk_host_backend_t backend) {
  s_backend_choice = (int32_t)backend;
  return RET_OK;
}

awtk_host_backend_t awtk_host_get_backend(void) {
  return s_sdl ? AWTK_HOST_BACKEND_SDL : AWTK_HOST_BACKEND_HEADLESS;
}

ret_t awtk_host_use_virtual_clock(bool_t on) {
  s_use_virtual_clock = on != FALSE;
  return RET_OK;
}

bool tk_backend_is_sdl(void) { return s_sdl; }

ret_t tk_init(wh_t w, wh_t h, app_type_t app_type, const char* app_name, const char* app_root) {
  return_value_if_fail(!s_initialized, RET_FAIL);
  return_value_if_fail(w > 0 && h > 0, RET_BAD_PARAMS);
  s_app_name = app_name != NULL ? app_name : "awtk";
  s_app_root = app_root != NULL ? app_root : "./res";
  s_info.lcd_w = w;
  s_info.lcd_h = h;
  s_info.app_type = app_type;
  s_info.app_name = s_app_name.c_str();
  s_info.app_root = s_app_root.c_str();
  s_info.default_font = s_default_font.c_str();
  s_info.device_pixel_ratio = 1;
  bool sdl = false;
  if (s_backend_choice >= 0) {
    sdl = s_backend_choice == AWTK_HOST_BACKEND_SDL;
  } else {
    const char* env = getenv("VESK_GUI_BACKEND");
    sdl = env != NULL && tk_str_eq(env, "sdl");
  }
  return_value_if_fail(tk_loop_init(s_use_virtual_clock) == RET_OK, RET_FAIL);
  s_initialized = true;
  tk_locale_init();
  tk_widgets_register_builtin();
  if (tk_wm_init(w, h) != RET_OK) {
    tk_exit();
    return RET_OOM;
  }
  if (sdl) {
    if (!tk_sdl_open(w, h, s_app_name.c_str())) {
      log_error("tk_init: the desktop window could not be opened\n");
      tk_exit();
      return RET_FAIL;
    }
    s_sdl = true;
  }
  tk_snapshot_install_signal();
  return RET_OK;
}

ret_t tk_run(void) {
  return_value_if_fail(s_initialized, RET_FAIL);
  tk_init_assets();
  return main_loop_run(main_loop());
}

ret_t tk_quit(void) { return main_loop_quit(main_loop()); }

ret_t tk_exit(void) {
  if (!s_initialized) return RET_OK;
  tk_snapshot_uninstall_signal();
  if (window_manager() != NULL) window_manager_close_all(window_manager());
  tk_loop_deinit();
  tk_wm_deinit();
  if (s_sdl) tk_sdl_close();
  s_sdl = false;
  tk_images_deinit();
  tk_fonts_deinit();
  tk_theme_reset();
  tk_locale_deinit();
  s_theme = "default";
  s_default_font = "default";
  s_backend_choice = -1;
  s_use_virtual_clock = false;
  s_initialized = false;
  return RET_OK;
}

ret_t awtk_test_init(wh_t w, wh_t h, const char* res_root) {
  awtk_host_set_backend(AWTK_HOST_BACKEND_HEADLESS);
  awtk_host_use_virtual_clock(TRUE);
  return tk_init(w, h, APP_MOBILE, "awtk_test", res_root);
}
