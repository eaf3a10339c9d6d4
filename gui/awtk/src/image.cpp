/* Image decoding (PNG with libpng, JPEG with libjpeg, BMP by hand), PNG
 * writing, and the image manager's cache. */
#include "awtk_internal.h"

#include <algorithm>

#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <memory>
#include <unordered_map>

#include <jpeglib.h>
#include <png.h>

/* The largest side an image may have: several screens wide, while a few
 * header bytes claiming more cannot make the GUI allocate gigabytes. */
#define TK_IMAGE_MAX_SIDE 4096

/* ---- PNG ---- */
static bool decode_png(const uint8_t* data, size_t size, std::vector<uint8_t>* rgba, int32_t* w, int32_t* h) {
  png_image img;
  memset(&img, 0, sizeof(img));
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&img, data, size)) return false;
  img.format = PNG_FORMAT_RGBA;
  if (img.width == 0 || img.height == 0 || img.width > TK_IMAGE_MAX_SIDE || img.height > TK_IMAGE_MAX_SIDE) {
    png_image_free(&img);
    return false;
  }
  rgba->resize(PNG_IMAGE_SIZE(img));
  if (!png_image_finish_read(&img, NULL, rgba->data(), 0, NULL)) {
    png_image_free(&img);
    return false;
  }
  *w = (int32_t)img.width;
  *h = (int32_t)img.height;
  return true;
}

/* Writes the image aside and moves it into place, so a reader never finds
 * half a file. */
static bool write_png_file(const char* path, png_image* img, const uint8_t* pixels) {
  std::string tmp = std::string(path) + ".tmp";
  if (!png_image_write_to_file(img, tmp.c_str(), 0, pixels, 0, NULL)) {
    unlink(tmp.c_str());
    return false;
  }
  return rename(tmp.c_str(), path) == 0;
}

static png_image png_of_size(int32_t w, int32_t h, png_uint_32 format) {
  png_image img;
  memset(&img, 0, sizeof(img));
  img.version = PNG_IMAGE_VERSION;
  img.width = (png_uint_32)w;
  img.height = (png_uint_32)h;
  img.format = format;
  return img;
}

bool tk_png_write(const char* path, const uint8_t* rgba, int32_t w, int32_t h) {
  /* The screen as shown over black: RGB from the RGBA buffer, whose
   * colours are already multiplied by their alpha. */
  png_image img = png_of_size(w, h, PNG_FORMAT_RGB);
  std::vector<uint8_t> rgb((size_t)w * (size_t)h * 3);
  for (size_t i = 0, n = (size_t)w * (size_t)h; i < n; i++) {
    rgb[i * 3] = rgba[i * 4];
    rgb[i * 3 + 1] = rgba[i * 4 + 1];
    rgb[i * 3 + 2] = rgba[i * 4 + 2];
  }
  return write_png_file(path, &img, rgb.data());
}

bool tk_png_write_plane(const char* path, const uint8_t* rgba, int32_t w, int32_t h) {
  /* The framebuffer holds colours multiplied by their alpha; a PNG does not. */
  png_image img = png_of_size(w, h, PNG_FORMAT_RGBA);
  std::vector<uint8_t> out((size_t)w * (size_t)h * 4);
  for (size_t i = 0, n = (size_t)w * (size_t)h; i < n; i++) {
    const uint8_t* p = rgba + i * 4;
    uint8_t* q = out.data() + i * 4;
    q[3] = p[3];
    for (int k = 0; k < 3; k++) q[k] = p[3] == 0 ? 0 : (uint8_t)std::min(255, (p[k] * 255 + p[3] / 2) / p[3]);
  }
  return write_png_file(path, &img, out.data());
}

/* ---- JPEG ---- */
namespace {
struct jpeg_err {
  struct jpeg_error_mgr mgr;
  jmp_buf jump;
};

void jpeg_on_error(j_common_ptr cinfo) {
  jpeg_err* err = (jpeg_err*)cinfo->err;
  longjmp(err->jump, 1);
}

void jpeg_quiet(j_common_ptr cinfo) { (void)cinfo; }
}  // namespace

/* Kept free of C++ objects between setjmp and longjmp. */
static bool decode_jpeg_raw(const uint8_t* data, size_t size, uint8_t** out, int32_t* w, int32_t* h) {
  struct jpeg_decompress_struct cinfo;
  jpeg_err err;
  uint8_t* volatile pixels = NULL;
  cinfo.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = jpeg_on_error;
  err.mgr.output_message = jpeg_quiet;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    free(pixels);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, (unsigned long)size);
  jpeg_read_header(&cinfo, TRUE);
  /* Refused before the decoder sizes its buffers for it. */
  if (cinfo.image_width > TK_IMAGE_MAX_SIDE || cinfo.image_height > TK_IMAGE_MAX_SIDE) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  uint32_t width = cinfo.output_width, height = cinfo.output_height;
  if (width == 0 || height == 0 || width > TK_IMAGE_MAX_SIDE || height > TK_IMAGE_MAX_SIDE || cinfo.output_components != 3) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  pixels = (uint8_t*)malloc((size_t)width * height * 4);
  uint8_t* line = (uint8_t*)malloc((size_t)width * 3);
  if (pixels == NULL || line == NULL) {
    free(line);
    jpeg_destroy_decompress(&cinfo);
    free(pixels);
    return false;
  }
  while (cinfo.output_scanline < height) {
    JSAMPROW row = line;
    uint32_t y = cinfo.output_scanline;
    if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) break;
    uint8_t* dst = pixels + (size_t)y * width * 4;
    for (uint32_t x = 0; x < width; x++) {
      dst[x * 4] = line[x * 3];
      dst[x * 4 + 1] = line[x * 3 + 1];
      dst[x * 4 + 2] = line[x * 3 + 2];
      dst[x * 4 + 3] = 0xff;
    }
  }
  free(line);
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  *out = pixels;
  *w = (int32_t)width;
  *h = (int32_t)height;
  return true;
}

static bool decode_jpeg(const uint8_t* data, size_t size, std::vector<uint8_t>* rgba, int32_t* w, int32_t* h) {
  uint8_t* pixels = NULL;
  if (!decode_jpeg_raw(data, size, &pixels, w, h)) return false;
  rgba->assign(pixels, pixels + (size_t)*w * (size_t)*h * 4);
  free(pixels);
  return true;
}

/* ---- BMP: uncompressed 1/4/8-bit palette, 16/24/32-bit, bit fields ---- */
static uint32_t le16(const uint8_t* p) { return (uint32_t)p[0] | ((uint32_t)p[1] << 8); }
static uint32_t le32(const uint8_t* p) { return le16(p) | (le16(p + 2) << 16); }

static uint8_t mask_value(uint32_t px, uint32_t mask) {
  if (mask == 0) return 0;
  int shift = __builtin_ctz(mask);
  uint64_t bits = mask >> shift;
  uint64_t v = (px & mask) >> shift;
  return (uint8_t)((v * 255 + bits / 2) / bits);
}

static bool decode_bmp(const uint8_t* d, size_t size, std::vector<uint8_t>* rgba, int32_t* w, int32_t* h) {
  if (size < 54 || d[0] != 'B' || d[1] != 'M') return false;
  uint32_t offset = le32(d + 10), hdr = le32(d + 14);
  if (hdr < 40 || 14 + (size_t)hdr > size) return false;
  int32_t width = (int32_t)le32(d + 18), height = (int32_t)le32(d + 22);
  uint32_t bpp = le16(d + 28), comp = le32(d + 30);
  uint32_t colors = le32(d + 46);
  bool top_down = height < 0;
  /* Checked before negating: the height of a top-down image may be INT32_MIN. */
  if (height < -TK_IMAGE_MAX_SIDE || width <= 0 || width > TK_IMAGE_MAX_SIDE || height == 0 || height > TK_IMAGE_MAX_SIDE)
    return false;
  if (top_down) height = -height;
  uint32_t rmask = 0, gmask = 0, bmask = 0, amask = 0;
  if (comp == 3 || comp == 6) {
    if (bpp != 16 && bpp != 32) return false;
    const size_t mpos = 54; /* masks follow the 40-byte header, or sit inside a V4/V5 one */
    if (mpos + 12 > size) return false;
    rmask = le32(d + mpos);
    gmask = le32(d + mpos + 4);
    bmask = le32(d + mpos + 8);
    if (hdr >= 56 && mpos + 16 <= size) amask = le32(d + mpos + 12);
  } else if (comp != 0) {
    return false;
  } else if (bpp == 16) {
    rmask = 0x7c00, gmask = 0x03e0, bmask = 0x001f;
  } else if (bpp == 32) {
    rmask = 0x00ff0000, gmask = 0x0000ff00, bmask = 0x000000ff;
  }
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
  const uint8_t* palette = d + 14 + hdr;
  uint32_t ncolors = bpp <= 8 ? (colors != 0 ? colors : (1u << bpp)) : 0;
  if (ncolors > 256 || (size_t)(palette - d) + (size_t)ncolors * 4 > size) return false;
  size_t stride = (((size_t)width * bpp + 31) / 32) * 4;
  if ((size_t)offset > size || stride * (size_t)height > size - offset) return false;
  rgba->assign((size_t)width * (size_t)height * 4, 0);
  for (int32_t y = 0; y < height; y++) {
    const uint8_t* row = d + offset + (size_t)(top_down ? y : height - 1 - y) * stride;
    uint8_t* out = rgba->data() + (size_t)y * (size_t)width * 4;
    for (int32_t x = 0; x < width; x++) {
      uint8_t r = 0, g = 0, b = 0, a = 0xff;
      if (bpp <= 8) {
        uint32_t bit = (uint32_t)x * bpp;
        uint32_t idx = (row[bit / 8] >> (8 - bpp - (bit % 8))) & ((1u << bpp) - 1);
        if (idx >= ncolors) idx = 0;
        b = palette[idx * 4];
        g = palette[idx * 4 + 1];
        r = palette[idx * 4 + 2];
      } else if (bpp == 24) {
        b = row[x * 3];
        g = row[x * 3 + 1];
        r = row[x * 3 + 2];
      } else {
        uint32_t px = bpp == 16 ? le16(row + x * 2) : le32(row + x * 4);
        r = mask_value(px, rmask);
        g = mask_value(px, gmask);
        b = mask_value(px, bmask);
        if (amask != 0) a = mask_value(px, amask);
      }
      out[x * 4] = r;
      out[x * 4 + 1] = g;
      out[x * 4 + 2] = b;
      out[x * 4 + 3] = a;
    }
  }
  *w = width;
  *h = height;
  return true;
}

bool tk_image_decode_mem(const uint8_t* data, size_t size, std::vector<uint8_t>* rgba, int32_t* w, int32_t* h) {
  if (data == NULL || size < 4) return false;
  if (size >= 8 && memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0) return decode_png(data, size, rgba, w, h);
  if (data[0] == 0xFF && data[1] == 0xD8) return decode_jpeg(data, size, rgba, w, h);
  if (data[0] == 'B' && data[1] == 'M') return decode_bmp(data, size, rgba, w, h);
  return false;
}

bool tk_image_decode_file(const std::string& path, std::vector<uint8_t>* rgba, int32_t* w, int32_t* h) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::stringstream ss;
  ss << in.rdbuf();
  std::string bytes = ss.str();
  return tk_image_decode_mem((const uint8_t*)bytes.data(), bytes.size(), rgba, w, h);
}

/* ---- image manager ---- */
/* Decoded images this large or larger (a good part of the screen: the boot
 * picture, each frame of the update animation) are kept only while the
 * screen needs them: until a paint of the whole screen no longer draws
 * them, or until the screen has been still for TK_IMAGE_BIG_IDLE_MS, since
 * the framebuffer holds their pixels once drawn. A later paint decodes
 * them again. Smaller images stay: all of them together are a few MB. */
#define TK_IMAGE_BIG_BYTES (2u << 20)
#define TK_IMAGE_BIG_IDLE_MS 1000

namespace {
struct cached_image {
  std::string name;
  std::vector<uint8_t> pixels;
  int32_t w, h;
  uint64_t last_used_s;
  uint64_t paint; /* the paint that last drew it */
  bool big() const { return pixels.size() >= TK_IMAGE_BIG_BYTES; }
};
}  // namespace

struct _image_manager_t {
  std::unordered_map<std::string, std::unique_ptr<cached_image>> cache;
  std::unordered_map<std::string, bool> missing;
  uint64_t paint = 0; /* counts the paints of the whole screen */
  uint64_t painted_ms = 0;
  uint32_t big = 0; /* big images in the cache */
};

static image_manager_t s_imm;

image_manager_t* image_manager(void) { return &s_imm; }

static std::string resolve(const char* name) {
  if (strncmp(name, "file://", 7) == 0) return name + 7;
  if (strchr(name, '.') != NULL) return tk_res_path("images", name);
  static const char* const exts[] = {".png", ".jpg", ".bmp"};
  for (const char* ext : exts) {
    std::string p = tk_res_path("images", std::string(name) + ext);
    if (tk_file_exists(p)) return p;
  }
  return tk_res_path("images", std::string(name) + ".png");
}

/* Drops the entries for which drop() holds. */
template <typename F>
static void cache_drop_if(image_manager_t* imm, F drop) {
  for (auto it = imm->cache.begin(); it != imm->cache.end();) {
    if (drop(*it->second)) {
      if (it->second->big()) imm->big--;
      it = imm->cache.erase(it);
    } else {
      ++it;
    }
  }
}

ret_t image_manager_get_bitmap(image_manager_t* imm, const char* name, bitmap_t* image) {
  return_value_if_fail(imm != NULL && name != NULL && image != NULL, RET_BAD_PARAMS);
  auto it = imm->cache.find(name);
  if (it == imm->cache.end()) {
    if (imm->missing.count(name) != 0) return RET_NOT_FOUND;
    std::unique_ptr<cached_image> img(new cached_image());
    std::string path = resolve(name);
    if (!tk_image_decode_file(path, &img->pixels, &img->w, &img->h)) {
      log_warn("image %s not loaded from %s\n", name, path.c_str());
      /* Files named by path may appear later (thumbnails); resources do not. */
      if (strncmp(name, "file://", 7) != 0) imm->missing[name] = true;
      return RET_NOT_FOUND;
    }
    img->name = name;
    if (img->big()) imm->big++;
    it = imm->cache.emplace(name, std::move(img)).first;
  }
  cached_image* img = it->second.get();
  img->last_used_s = time_now_s();
  img->paint = imm->paint;
  image->w = img->w;
  image->h = img->h;
  image->line_length = (uint32_t)img->w * 4;
  image->name = img->name.c_str();
  image->data = img->pixels.data();
  return RET_OK;
}

ret_t image_manager_unload_all(image_manager_t* imm) {
  return_value_if_fail(imm != NULL, RET_BAD_PARAMS);
  imm->cache.clear();
  imm->missing.clear();
  imm->big = 0;
  tk_wm_set_dirty();
  return RET_OK;
}

ret_t image_manager_unload_unused(image_manager_t* imm, uint32_t time_delta_s) {
  return_value_if_fail(imm != NULL, RET_BAD_PARAMS);
  uint64_t now = time_now_s();
  cache_drop_if(imm, [&](const cached_image& img) { return now - img.last_used_s >= time_delta_s; });
  imm->missing.clear();
  return RET_OK;
}

void tk_images_paint_begin(void) { s_imm.paint++; }

void tk_images_paint_end(void) {
  s_imm.painted_ms = time_now_ms();
  if (s_imm.big == 0) return;
  cache_drop_if(&s_imm, [](const cached_image& img) { return img.big() && img.paint != s_imm.paint; });
}

uint64_t tk_images_release_due(void) {
  return s_imm.big == 0 ? UINT64_MAX : s_imm.painted_ms + TK_IMAGE_BIG_IDLE_MS;
}

void tk_images_release_idle(uint64_t now_ms) {
  if (s_imm.big == 0 || now_ms < tk_images_release_due()) return;
  cache_drop_if(&s_imm, [](const cached_image& img) { return img.big(); });
}

void tk_images_deinit(void) {
  s_imm.cache.clear();
  s_imm.missing.clear();
  s_imm.big = 0;
  s_imm.painted_ms = 0;
}
