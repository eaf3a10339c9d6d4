/* Locale and string tables. Tables are read from "res/strings/<ll>_<CC>.xml"
 * (<strings><string name="key">text</string>...</strings>) or, when that
 * file is absent, from "res/strings/strings.xml"
 * (<string name="key"><language name="ll_CC">text</language>...</string>). */
#pragma once

#include "tkc/emitter.h"

BEGIN_C_DECLS

typedef struct _locale_info_t {
  char language[3];
  char country[3];
  emitter_t* emitter;
  void* strs;
} locale_info_t;

locale_info_t* locale_info(void);
/* Loads the tables of language_country, re-translates every widget with a
 * tr_text and dispatches EVT_LOCALE_CHANGED on the locale. */
ret_t locale_info_change(locale_info_t* locale_info, const char* language, const char* country);
/* The translation of text, or text itself when the table has none. The
 * result stays valid until the next locale change. */
const char* locale_info_tr(locale_info_t* locale_info, const char* text);
uint32_t locale_info_on(locale_info_t* locale_info, uint32_t type, event_func_t on_event, void* ctx);
ret_t locale_info_off(locale_info_t* locale_info, uint32_t id);

END_C_DECLS
