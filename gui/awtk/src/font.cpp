/* Fonts through FreeType. A font name resolves to "res/fonts/<name>.ttf"
 * (or .otf, .ttc) when the resources carry it, else to the system fonts of
 * the Debian packages: "Roboto_<Style>" to Roboto-<Style>.ttf, "default" and
 * unknown names to DejaVu Sans. Characters missing from a font are taken
 * from DejaVu Sans, then WenQuanYi Micro Hei (CJK) when installed. */
#include "awtk_internal.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <memory>
#include <unordered_map>

namespace {

const char* const k_roboto_dir = "/usr/share/fonts/truetype/roboto/unhinted/RobotoTTF/";
const char* const k_dejavu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char* const k_dejavu_dir = "/usr/share/fonts/truetype/dejavu/";
const char* const k_cjk = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";

struct face_rec {
  FT_Face face = NULL;
  uint16_t size = 0;
};

struct font_entry {
  std::string name;
  std::vector<face_rec*> chain;
  std::unordered_map<uint64_t, std::unique_ptr<tk_glyph>> glyphs;
  std::unordered_map<uint16_t, tk_font_metrics> metrics;
};

FT_Library s_ft = NULL;
std::unordered_map<std::string, face_rec*> s_faces; /* by path */
std::unordered_map<std::string, font_entry*> s_fonts; /* by name */
font_entry* s_last = NULL;

face_rec* open_face(const std::string& path) {
  if (path.empty()) return NULL;
  auto it = s_faces.find(path);
  if (it != s_faces.end()) return it->second;
  face_rec* rec = NULL;
  FT_Face face = NULL;
  if (FT_New_Face(s_ft, path.c_str(), 0, &face) == 0) {
    rec = new face_rec();
    rec->face = face;
  } else {
    log_warn("font %s cannot be opened\n", path.c_str());
  }
  s_faces[path] = rec;
  return rec;
}

bool set_size(face_rec* f, uint16_t size) {
  if (f->size == size) return true;
  if (FT_Set_Pixel_Sizes(f->face, 0, size) != 0) return false;
  f->size = size;
  return true;
}

font_entry* font_for(const char* name) {
  if (name == NULL || *name == '\0') name = system_info()->default_font;
  if (s_last != NULL && s_last->name == name) return s_last;
  auto it = s_fonts.find(name);
  if (it != s_fonts.end()) return s_last = it->second;
  if (s_ft == NULL && FT_Init_FreeType(&s_ft) != 0) return NULL;
  font_entry* f = new font_entry();
  f->name = name;
  const std::string paths[] = {tk_font_path(name), k_dejavu, k_cjk};
  for (const std::string& p : paths) {
    if (!tk_file_exists(p)) continue;
    face_rec* rec = open_face(p);
    if (rec != NULL && std::find(f->chain.begin(), f->chain.end(), rec) == f->chain.end()) f->chain.push_back(rec);
  }
  s_fonts[name] = f;
  return s_last = f;
}

}  // namespace

std::string tk_font_path(const char* name) {
  if (name == NULL || *name == '\0') name = system_info()->default_font;
  static const char* const exts[] = {".ttf", ".otf", ".ttc"};
  for (const char* ext : exts) {
    std::string p = tk_res_path("fonts", std::string(name) + ext);
    if (tk_file_exists(p)) return p;
  }
  std::string n(name);
  if (n.compare(0, 7, "Roboto_") == 0 || n.compare(0, 7, "Roboto-") == 0) {
    std::string p = std::string(k_roboto_dir) + "Roboto-" + n.substr(7) + ".ttf";
    if (tk_file_exists(p)) return p;
  }
  if (n.compare(0, 6, "DejaVu") == 0) {
    std::string p = std::string(k_dejavu_dir) + n + ".ttf";
    if (tk_file_exists(p)) return p;
  }
  return tk_file_exists(k_dejavu) ? std::string(k_dejavu) : std::string();
}

bool tk_font_metrics_get(const char* name, uint16_t size, tk_font_metrics* m) {
  font_entry* f = font_for(name);
  if (f == NULL || f->chain.empty() || size == 0) return false;
  auto it = f->metrics.find(size);
  if (it != f->metrics.end()) {
    *m = it->second;
    return true;
  }
  face_rec* primary = f->chain.front();
  if (!set_size(primary, size)) return false;
  const FT_Size_Metrics& sm = primary->face->size->metrics;
  tk_font_metrics v;
  v.ascent = (int32_t)((sm.ascender + 63) >> 6);
  v.descent = (int32_t)(sm.descender >> 6);
  v.height = v.ascent - v.descent;
  f->metrics[size] = v;
  *m = v;
  return true;
}

const tk_glyph* tk_font_glyph(const char* name, uint16_t size, uint32_t code) {
  font_entry* f = font_for(name);
  if (f == NULL || f->chain.empty() || size == 0) return NULL;
  uint64_t key = ((uint64_t)size << 32) | code;
  auto it = f->glyphs.find(key);
  if (it != f->glyphs.end()) return it->second.get();
  face_rec* use = f->chain.front();
  FT_UInt index = 0;
  for (face_rec* rec : f->chain) {
    index = FT_Get_Char_Index(rec->face, code);
    if (index != 0) {
      use = rec;
      break;
    }
  }
  std::unique_ptr<tk_glyph> g(new tk_glyph());
  if (set_size(use, size) && FT_Load_Glyph(use->face, index, FT_LOAD_DEFAULT) == 0) {
    FT_GlyphSlot slot = use->face->glyph;
    g->advance = (int32_t)((slot->advance.x + 32) >> 6);
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) == 0) {
      const FT_Bitmap& b = slot->bitmap;
      g->w = (int32_t)b.width;
      g->h = (int32_t)b.rows;
      g->left = slot->bitmap_left;
      g->top = slot->bitmap_top;
      g->coverage.resize((size_t)g->w * (size_t)g->h);
      for (int32_t y = 0; y < g->h; y++) {
        const uint8_t* src = b.buffer + (ptrdiff_t)y * b.pitch;
        memcpy(g->coverage.data() + (size_t)y * (size_t)g->w, src, (size_t)g->w);
      }
    }
  }
  const tk_glyph* out = g.get();
  f->glyphs[key] = std::move(g);
  return out;
}

void tk_fonts_deinit(void) {
  for (auto& f : s_fonts) delete f.second;
  s_fonts.clear();
  s_last = NULL;
  for (auto& p : s_faces) {
    if (p.second != NULL) {
      FT_Done_Face(p.second->face);
      delete p.second;
    }
  }
  s_faces.clear();
  if (s_ft != NULL) FT_Done_FreeType(s_ft);
  s_ft = NULL;
}
