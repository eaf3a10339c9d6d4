/* Window resources: "ui/<name>.xml" under the resource root. Each element
 * is created through the widget factory by its tag; x, y, w, h accept
 * numbers, percentages of the parent and the forms c[:n], m[:n] (centred),
 * r[:n], b[:n] (from the right/bottom edge), within TK_LAYOUT_LIMIT pixels.
 * A window nests no window. Other attributes are set as
 * properties (tr_text last); <property name="p">text</property> children
 * set property p of their parent. */
#include "awtk_internal.h"

static void apply_attrs(widget_t* widget, const tk_xml_node& node) {
  const char* tr = NULL;
  for (const auto& a : node.attrs) {
    const std::string& k = a.first;
    if (k == "x" || k == "y" || k == "w" || k == "h") continue;
    if (k == "tr_text") {
      tr = a.second.c_str();
      continue;
    }
    widget_set_prop_str(widget, k.c_str(), a.second.c_str());
  }
  if (tr != NULL) widget_set_tr_text(widget, tr);
}

/* One of x, y, w, h; false, with the reason in err, beyond the layout range. */
static bool layout(const tk_xml_node& node, const char* attr, int32_t parent, int32_t self, bool is_pos, int32_t* out,
                   std::string* err) {
  const char* expr = node.attr(attr);
  if (tk_layout_parse(expr, parent, self, is_pos, out)) return true;
  *err = "<" + node.tag + "> " + attr + "=\"" + expr + "\" is out of range";
  return false;
}

static bool geometry(const tk_xml_node& node, int32_t pw, int32_t ph, int32_t defw, int32_t defh, rect_t* r,
                     std::string* err) {
  r->w = defw;
  r->h = defh;
  if (node.attr("w") != NULL && !layout(node, "w", pw, 0, false, &r->w, err)) return false;
  if (node.attr("h") != NULL && !layout(node, "h", ph, 0, false, &r->h, err)) return false;
  return layout(node, "x", pw, r->w, true, &r->x, err) && layout(node, "y", ph, r->h, true, &r->y, err);
}

/* false, with the reason in err, when the tree cannot be built as written. */
static bool load_children(widget_t* parent, const tk_xml_node& node, const char* res, std::string* err) {
  for (const tk_xml_node& child : node.children) {
    if (child.tag == "property") {
      const char* name = child.attr("name");
      if (name != NULL) widget_set_prop_str(parent, name, child.text.c_str());
      continue;
    }
    rect_t r;
    if (!geometry(child, parent->w, parent->h, 0, 0, &r, err)) return false;
    widget_t* w = widget_factory_create_widget(widget_factory(), child.tag.c_str(), parent, r.x, r.y, r.w, r.h);
    if (w == NULL) {
      log_warn("%s: cannot create widget of type \"%s\"\n", res, child.tag.c_str());
      continue;
    }
    /* A window is never a child: it would stand alone, owned by no one. */
    if (w->vt->is_window) {
      tk_widget_free(w);
      *err = "<" + child.tag + "> inside <" + node.tag + ">: a window cannot hold a window";
      return false;
    }
    apply_attrs(w, child);
    if (!load_children(w, child, res, err)) return false;
  }
  return true;
}

/* While a file loads, a window created for it is not handed to the window
 * manager: a file refused half-way frees what it built, and the manager must
 * never hold a window that is freed under it. */
struct loading_scope {
  loading_scope() { tk_window_loading_begin(); }
  ~loading_scope() { tk_window_loading_end(); }
};

widget_t* tk_ui_load(const char* name) {
  return_value_if_fail(name != NULL && *name, NULL);
  loading_scope loading;
  std::string path = tk_res_path("ui", std::string(name) + ".xml");
  tk_xml_node root;
  std::string err;
  if (!tk_xml_parse_file(path, false, &root, &err)) {
    log_warn("window %s not loaded: %s\n", name, err.c_str());
    return NULL;
  }
  widget_t* wm = window_manager();
  rect_t r;
  if (!geometry(root, wm->w, wm->h, wm->w, wm->h, &r, &err)) {
    log_warn("window %s not loaded: %s: %s\n", name, path.c_str(), err.c_str());
    return NULL;
  }
  widget_t* win = widget_factory_create_widget(widget_factory(), root.tag.c_str(), NULL, r.x, r.y, r.w, r.h);
  if (win == NULL || !win->vt->is_window) {
    log_warn("window %s not loaded: root <%s> is not a window type\n", name, root.tag.c_str());
    if (win != NULL) tk_widget_free(win);
    return NULL;
  }
  apply_attrs(win, root);
  if (win->name == NULL) widget_set_name(win, name);
  if (!load_children(win, root, path.c_str(), &err)) {
    log_warn("window %s not loaded: %s: %s\n", name, path.c_str(), err.c_str());
    tk_widget_free(win);
    return NULL;
  }
  return win;
}
