/* Theme styles and their resolution for a widget.
 *
 * A theme file holds one element per widget type; inside, <style name=...>
 * elements with one child per state (<normal>, <focused>, <disable>, ...).
 * Attributes of the type element apply to all its styles, attributes of a
 * style to all its states; a state's own attributes win. A state missing
 * from a style reads the style's "normal" state. */
#include "awtk_internal.h"

#include <unordered_map>

namespace {

typedef std::map<std::string, std::string> prop_map;
/* key "type\x1fstyle" -> state -> props */
std::unordered_map<std::string, std::map<std::string, prop_map>> s_theme;
bool s_theme_loaded = false;
uint32_t s_theme_gen = 1;

std::string theme_key(const char* type, const char* style) {
  std::string k(type != NULL ? type : "");
  k += '\x1f';
  k += style != NULL ? style : "default";
  return k;
}

void merge(prop_map* into, const tk_xml_node& node, bool skip_name) {
  for (const auto& a : node.attrs) {
    if (skip_name && a.first == "name") continue;
    (*into)[a.first] = a.second;
  }
}

}  // namespace

void tk_theme_reset(void) {
  s_theme.clear();
  s_theme_loaded = false;
  s_theme_gen++;
}

bool tk_theme_loaded(void) { return s_theme_loaded; }

uint32_t tk_theme_generation(void) { return s_theme_gen; }

ret_t tk_theme_load(const char* theme) {
  return_value_if_fail(theme != NULL, RET_BAD_PARAMS);
  std::string path = tk_res_path("styles", std::string(theme) + ".xml");
  tk_xml_node root;
  std::string err;
  if (!tk_xml_parse_file(path, true, &root, &err)) {
    log_warn("theme %s not loaded: %s\n", theme, err.c_str());
    return RET_NOT_FOUND;
  }
  s_theme.clear();
  const tk_xml_node* top = &root;
  if (root.children.size() == 1 && (root.children[0].tag == "theme" || root.children[0].tag == "styles")) {
    top = &root.children[0];
  }
  for (const tk_xml_node& type_node : top->children) {
    prop_map type_props;
    merge(&type_props, type_node, false);
    for (const tk_xml_node& style_node : type_node.children) {
      if (style_node.tag != "style") continue;
      const char* name = style_node.attr("name");
      prop_map style_props = type_props;
      merge(&style_props, style_node, true);
      auto& states = s_theme[theme_key(type_node.tag.c_str(), name != NULL ? name : "default")];
      states.clear();
      for (const tk_xml_node& state_node : style_node.children) {
        prop_map props = style_props;
        merge(&props, state_node, false);
        states[state_node.tag] = props;
      }
      if (states.find(WIDGET_STATE_NORMAL) == states.end()) {
        states[WIDGET_STATE_NORMAL] = style_props;
      }
    }
  }
  s_theme_loaded = true;
  s_theme_gen++;
  tk_wm_set_dirty();
  return RET_OK;
}

static uint32_t s_tried_gen = 0;

const char* tk_theme_get(const char* type, const char* style, const char* state, const char* prop) {
  /* Styles are read before any preload in tests and tools: load once. */
  if (!s_theme_loaded && s_tried_gen != s_theme_gen && assets_manager() != NULL) {
    s_tried_gen = s_theme_gen;
    tk_theme_load(assets_manager_get_theme_name(assets_manager()));
  }
  auto it = s_theme.find(theme_key(type, style));
  if (it == s_theme.end()) return NULL;
  auto st = it->second.find(state != NULL ? state : WIDGET_STATE_NORMAL);
  if (st == it->second.end()) st = it->second.find(WIDGET_STATE_NORMAL);
  if (st == it->second.end()) return NULL;
  auto p = st->second.find(prop);
  return p == st->second.end() ? NULL : p->second.c_str();
}

const char* tk_widget_style_raw(widget_t* widget, const char* state, const char* prop) {
  auto so = widget->astyle->overrides.find(state);
  if (so != widget->astyle->overrides.end()) {
    auto p = so->second.find(prop);
    if (p != so->second.end()) return p->second.c_str();
  }
  /* A type without styles of its own reads those of its parent types. */
  for (const widget_vtable_t* vt = widget->vt; vt != NULL; vt = vt->parent) {
    const char* v = tk_theme_get(vt->type, widget->style != NULL ? widget->style : "default", state, prop);
    if (v != NULL) return v;
  }
  return NULL;
}

void tk_style_invalidate(widget_t* widget) {
  widget->astyle->dirty = true;
  widget_invalidate(widget, NULL);
}

static int32_t parse_align_h(const char* v) {
  if (v == NULL) return ALIGN_H_CENTER;
  if (tk_str_eq(v, "left")) return ALIGN_H_LEFT;
  if (tk_str_eq(v, "right")) return ALIGN_H_RIGHT;
  if (tk_str_eq(v, "center")) return ALIGN_H_CENTER;
  int32_t n = tk_atoi(v);
  return (n >= ALIGN_H_CENTER && n <= ALIGN_H_RIGHT) ? n : ALIGN_H_CENTER;
}

static int32_t parse_align_v(const char* v) {
  if (v == NULL) return ALIGN_V_MIDDLE;
  if (tk_str_eq(v, "top")) return ALIGN_V_TOP;
  if (tk_str_eq(v, "bottom")) return ALIGN_V_BOTTOM;
  if (tk_str_eq(v, "middle")) return ALIGN_V_MIDDLE;
  int32_t n = tk_atoi(v);
  return (n >= ALIGN_V_MIDDLE && n <= ALIGN_V_BOTTOM) ? n : ALIGN_V_MIDDLE;
}

static int32_t parse_border(const char* v) {
  if (v == NULL) return TK_BORDER_ALL;
  int32_t bits = 0;
  std::string s(v);
  if (s.find("all") != std::string::npos) bits |= TK_BORDER_ALL;
  if (s.find("left") != std::string::npos) bits |= TK_BORDER_LEFT;
  if (s.find("right") != std::string::npos) bits |= TK_BORDER_RIGHT;
  if (s.find("top") != std::string::npos) bits |= TK_BORDER_TOP;
  if (s.find("bottom") != std::string::npos) bits |= TK_BORDER_BOTTOM;
  if (s.find("none") != std::string::npos) bits = 0;
  if (bits == 0 && s.find_first_not_of("0123456789") == std::string::npos && !s.empty()) bits = tk_atoi(v) & 15;
  return bits;
}

static bool parse_color(const char* v, color_t* c) { return v != NULL && color_from_str(c, v) != NULL; }

const tk_style_vals* tk_widget_style(widget_t* widget) {
  style_t* st = widget->astyle;
  if (!st->dirty && st->theme_gen == s_theme_gen) return &st->vals;
  const char* state = widget_get_state_for_style(widget);
  auto get = [&](const char* prop) { return tk_widget_style_raw(widget, state, prop); };
  tk_style_vals& s = st->vals;
  s = tk_style_vals();
  s.text_color = color_init(0, 0, 0, 0xff);
  s.has_bg = parse_color(get(STYLE_ID_BG_COLOR), &s.bg_color);
  s.has_fg = parse_color(get(STYLE_ID_FG_COLOR), &s.fg_color);
  parse_color(get(STYLE_ID_TEXT_COLOR), &s.text_color);
  s.has_border_color = parse_color(get(STYLE_ID_BORDER_COLOR), &s.border_color);
  const char* font = get(STYLE_ID_FONT_NAME);
  s.font_name = font != NULL ? font : "";
  const char* size = get(STYLE_ID_FONT_SIZE);
  s.font_size = size != NULL ? tk_atoi(size) : 18;
  s.align_h = (align_h_t)parse_align_h(get(STYLE_ID_TEXT_ALIGN_H));
  s.align_v = (align_v_t)parse_align_v(get(STYLE_ID_TEXT_ALIGN_V));
  s.border = parse_border(get(STYLE_ID_BORDER));
  const char* bw = get(STYLE_ID_BORDER_WIDTH);
  s.border_width = bw != NULL ? tk_atoi(bw) : 1;
  const char* rr = get(STYLE_ID_ROUND_RADIUS);
  s.round_radius = rr != NULL ? tk_atoi(rr) : 0;
  const char* m = get(STYLE_ID_MARGIN);
  int32_t margin = m != NULL ? tk_atoi(m) : 0;
  const char* ml = get(STYLE_ID_MARGIN_LEFT);
  const char* mr = get(STYLE_ID_MARGIN_RIGHT);
  const char* mt = get(STYLE_ID_MARGIN_TOP);
  const char* mb = get(STYLE_ID_MARGIN_BOTTOM);
  s.margin_l = ml != NULL ? tk_atoi(ml) : margin;
  s.margin_r = mr != NULL ? tk_atoi(mr) : margin;
  s.margin_t = mt != NULL ? tk_atoi(mt) : margin;
  s.margin_b = mb != NULL ? tk_atoi(mb) : margin;
  const char* bg = get(STYLE_ID_BG_IMAGE);
  s.bg_image = bg != NULL ? bg : "";
  const char* dt = get(STYLE_ID_BG_IMAGE_DRAW_TYPE);
  s.bg_image_draw_type = dt != NULL ? image_draw_type_from_str(dt) : IMAGE_DRAW_DEFAULT;
  st->dirty = false;
  st->theme_gen = s_theme_gen;
  return &s;
}
