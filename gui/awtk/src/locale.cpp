/* Locale and string tables. */
#include "awtk_internal.h"

#include <unordered_map>

typedef std::unordered_map<std::string, std::string> str_table;

static locale_info_t s_locale;

static str_table* table(void) { return (str_table*)s_locale.strs; }

static void load_tables(const std::string& locale, str_table* out);

void tk_locale_init(void) {
  memset(&s_locale, 0, sizeof(s_locale));
  tk_strcpy(s_locale.language, "en");
  tk_strcpy(s_locale.country, "US");
  s_locale.emitter = emitter_create();
  s_locale.strs = new str_table();
  load_tables("en_US", table());
}

void tk_locale_deinit(void) {
  delete table();
  if (s_locale.emitter != NULL) emitter_destroy(s_locale.emitter);
  memset(&s_locale, 0, sizeof(s_locale));
}

locale_info_t* locale_info(void) { return s_locale.strs != NULL ? &s_locale : NULL; }

static void load_tables(const std::string& locale, str_table* out) {
  tk_xml_node root;
  std::string err;
  std::string own = tk_res_path("strings", locale + ".xml");
  if (tk_file_exists(own)) {
    if (!tk_xml_parse_file(own, false, &root, &err)) {
      log_warn("strings %s not loaded: %s\n", locale.c_str(), err.c_str());
      return;
    }
    for (const tk_xml_node& s : root.children) {
      const char* name = s.attr("name");
      if (s.tag == "string" && name != NULL) (*out)[name] = s.text;
    }
    return;
  }
  std::string all = tk_res_path("strings", "strings.xml");
  if (!tk_file_exists(all)) return;
  if (!tk_xml_parse_file(all, false, &root, &err)) {
    log_warn("strings not loaded: %s\n", err.c_str());
    return;
  }
  for (const tk_xml_node& s : root.children) {
    const char* name = s.attr("name");
    if (s.tag != "string" || name == NULL) continue;
    for (const tk_xml_node& lang : s.children) {
      const char* ln = lang.attr("name");
      if (lang.tag == "language" && ln != NULL && locale == ln) (*out)[name] = lang.text;
    }
  }
}

ret_t locale_info_change(locale_info_t* info, const char* language, const char* country) {
  return_value_if_fail(info != NULL && info == &s_locale && language != NULL, RET_BAD_PARAMS);
  tk_strncpy(info->language, language, sizeof(info->language) - 1);
  tk_strncpy(info->country, country != NULL ? country : "", sizeof(info->country) - 1);
  std::string locale = std::string(info->language) + "_" + info->country;
  str_table fresh;
  load_tables(locale, &fresh);
  table()->swap(fresh);
  if (window_manager() != NULL) widget_re_translate_text(window_manager());
  event_t e = event_init(EVT_LOCALE_CHANGED, info);
  emitter_dispatch(info->emitter, &e);
  tk_wm_set_dirty();
  return RET_OK;
}

const char* locale_info_tr(locale_info_t* info, const char* text) {
  return_value_if_fail(info != NULL && text != NULL, text);
  auto it = table()->find(text);
  return it == table()->end() ? text : it->second.c_str();
}

uint32_t locale_info_on(locale_info_t* info, uint32_t type, event_func_t on_event, void* ctx) {
  return_value_if_fail(info != NULL, TK_INVALID_ID);
  return emitter_on(info->emitter, type, on_event, ctx);
}

ret_t locale_info_off(locale_info_t* info, uint32_t id) {
  return_value_if_fail(info != NULL, RET_BAD_PARAMS);
  return emitter_off(info->emitter, id);
}
