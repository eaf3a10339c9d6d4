/* A small element tree built with expat, for window, theme and string
 * resources. */
#include "awtk_internal.h"

#include <expat.h>
#include <fstream>
#include <sstream>

const char* tk_xml_node::attr(const char* name) const {
  for (const auto& a : attrs) {
    if (a.first == name) return a.second.c_str();
  }
  return NULL;
}

namespace {

/* Resources nest a handful of levels; a file nesting deeper is no resource
 * of ours, and the trees built from it are walked recursively. */
const size_t kMaxDepth = 64;

struct parse_ctx {
  XML_Parser parser;
  std::vector<tk_xml_node*> stack;
  bool too_deep;
};

void XMLCALL on_start(void* user, const XML_Char* name, const XML_Char** atts) {
  parse_ctx* ctx = (parse_ctx*)user;
  if (ctx->stack.size() > kMaxDepth) {
    ctx->too_deep = true;
    XML_StopParser(ctx->parser, XML_FALSE);
    return;
  }
  tk_xml_node* parent = ctx->stack.back();
  parent->children.emplace_back();
  tk_xml_node* node = &parent->children.back();
  node->tag = name;
  for (int i = 0; atts[i] != NULL; i += 2) {
    node->attrs.emplace_back(atts[i], atts[i + 1]);
  }
  ctx->stack.push_back(node);
}

void XMLCALL on_end(void* user, const XML_Char* name) {
  (void)name;
  parse_ctx* ctx = (parse_ctx*)user;
  if (ctx->stack.size() > 1) ctx->stack.pop_back();
}

void XMLCALL on_text(void* user, const XML_Char* s, int len) {
  ((parse_ctx*)user)->stack.back()->text.append(s, (size_t)len);
}

}  // namespace

bool tk_xml_parse_file(const std::string& path, bool fragment, tk_xml_node* root, std::string* err) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (err != NULL) *err = path + ": cannot open";
    return false;
  }
  std::stringstream ss;
  ss << in.rdbuf();
  std::string text = ss.str();
  if (fragment) {
    /* Theme files list one element per widget type at top level: give them
     * a common root after any XML declaration. */
    size_t start = 0;
    if (text.compare(0, 5, "<?xml") == 0) {
      size_t e = text.find("?>");
      start = e == std::string::npos ? 0 : e + 2;
    }
    text = "<tk-fragment>" + text.substr(start) + "</tk-fragment>";
  }
  *root = tk_xml_node();
  parse_ctx ctx;
  tk_xml_node doc;
  ctx.stack.push_back(&doc);
  ctx.too_deep = false;
  XML_Parser p = XML_ParserCreate("UTF-8");
  if (p == NULL) {
    if (err != NULL) *err = path + ": out of memory";
    return false;
  }
  ctx.parser = p;
  XML_SetUserData(p, &ctx);
  XML_SetElementHandler(p, on_start, on_end);
  XML_SetCharacterDataHandler(p, on_text);
  bool ok = XML_Parse(p, text.data(), (int)text.size(), 1) != XML_STATUS_ERROR;
  if (!ok && err != NULL) {
    const char* why = ctx.too_deep ? "elements nested too deep" : XML_ErrorString(XML_GetErrorCode(p));
    *err = path + ":" + std::to_string(XML_GetCurrentLineNumber(p)) + ": " + why;
  }
  XML_ParserFree(p);
  if (!ok || doc.children.empty()) {
    if (ok && err != NULL) *err = path + ": no element";
    return false;
  }
  *root = std::move(doc.children.front());
  return true;
}
