/* Rendering: a fixture window against its reviewed reference PNG, text
 * measurement against FreeType, image decoding, snapshots. */
#include "awtk_test_util.h"

#include <csignal>
#include <fstream>
#include <unistd.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include <jpeglib.h>
#include <png.h>

namespace {

/* A custom widget that draws two rectangles in its own coordinates. */
ret_t marks_paint(widget_t* widget, canvas_t* c) {
  (void)widget;
  canvas_set_fill_color_str(c, "red");
  canvas_clear_rect(c, 0, 0, 10, 10);
  canvas_set_fill_color(c, color_init(0, 255, 0, 255));
  canvas_clear_rect(c, 45, 45, 10, 10);
  canvas_set_stroke_color_str(c, "white");
  canvas_stroke_rect(c, 0, 0, 100, 100);
  return RET_OK;
}

widget_t* marks_create(widget_t* parent, xy_t x, xy_t y, wh_t w, wh_t h);
TK_EXTERN_VTABLE(test_marks);
TK_DECL_VTABLE(test_marks) = {.size = sizeof(widget_t),
                              .type = "test_marks",
                              .parent = TK_PARENT_VTABLE(widget),
                              .create = marks_create,
                              .on_paint_self = marks_paint};
widget_t* marks_create(widget_t* parent, xy_t x, xy_t y, wh_t w, wh_t h) {
  return widget_create(parent, TK_REF_VTABLE(test_marks), x, y, w, h);
}

bool read_png(const std::string& path, std::vector<uint8_t>* rgba, uint32_t* w, uint32_t* h) {
  png_image img;
  memset(&img, 0, sizeof(img));
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&img, path.c_str())) return false;
  img.format = PNG_FORMAT_RGBA;
  rgba->resize(PNG_IMAGE_SIZE(img));
  *w = img.width;
  *h = img.height;
  return png_image_finish_read(&img, NULL, rgba->data(), 0, NULL) != 0;
}

std::string temp_dir() {
  char tmpl[] = "/tmp/awtk-render-XXXXXX";
  const char* d = mkdtemp(tmpl);
  return d != NULL ? d : "";
}

const uint8_t* pixel(const uint8_t* fb, wh_t w, int x, int y) { return fb + ((size_t)y * w + x) * 4; }

}  // namespace

class AwtkRenderTest : public AwtkTest {};

TEST_F(AwtkRenderTest, FixtureWindowMatchesItsReferencePixelForPixel) {
  widget_factory_register(widget_factory(), "test_marks", marks_create);
  ASSERT_NE(nullptr, window_open("render"));
  awtk_test_pump();
  std::string ref = std::string(AWTK_FIXTURES) + "/../ref/render.png";
  std::string dir = temp_dir();
  std::string actual = dir + "/render.png";
  ASSERT_EQ(RET_OK, awtk_host_screenshot(actual.c_str()));
  if (getenv("AWTK_UPDATE_REFERENCES") != NULL) {
    ASSERT_EQ(RET_OK, awtk_host_screenshot(ref.c_str()));
  }
  std::vector<uint8_t> want, got;
  uint32_t ww = 0, wh = 0, gw = 0, gh = 0;
  ASSERT_TRUE(read_png(ref, &want, &ww, &wh)) << ref;
  ASSERT_TRUE(read_png(actual, &got, &gw, &gh));
  ASSERT_EQ(ww, gw);
  ASSERT_EQ(wh, gh);
  size_t diff = 0;
  for (size_t i = 0; i < want.size(); i++) diff += want[i] != got[i];
  EXPECT_EQ(0u, diff) << "rendered image differs from " << ref << "; see " << actual;
  if (diff == 0) {
    unlink(actual.c_str());
    rmdir(dir.c_str());
  }
}

TEST_F(AwtkRenderTest, CanvasDrawsInWidgetLocalCoordinatesAndBlendsOpacity) {
  widget_factory_register(widget_factory(), "test_marks", marks_create);
  widget_t* win = window_open("render");
  ASSERT_NE(nullptr, win);
  awtk_host_render();
  wh_t w = 0, h = 0;
  const uint8_t* fb = awtk_host_framebuffer(&w, &h);
  ASSERT_EQ(640, w);
  const uint8_t* red = pixel(fb, w, 405, 245);
  EXPECT_EQ(255, red[0]);
  EXPECT_EQ(0, red[1]);
  const uint8_t* green = pixel(fb, w, 450, 290);
  EXPECT_EQ(0, green[0]);
  EXPECT_EQ(255, green[1]);
  const uint8_t* bg = pixel(fb, w, 600, 400);
  EXPECT_EQ(0x10, bg[0]);
  /* Progress bar: fg over 40% of 300 pixels, bg after. */
  EXPECT_EQ(0x00, pixel(fb, w, 30 + 100, 308)[0]);
  EXPECT_EQ(0xE6, pixel(fb, w, 30 + 100, 308)[1]);
  EXPECT_EQ(0x33, pixel(fb, w, 30 + 200, 308)[0]);
  /* The reticle-style opacity halves a full-alpha fill. */
  widget_t* marks = widget_lookup(win, "marks", TRUE);
  widget_set_opacity(marks, 128);
  awtk_host_render();
  EXPECT_NEAR(0x10 + (255 - 0x10) * 128 / 255, pixel(fb, w, 405, 245)[0], 1);
}

TEST_F(AwtkRenderTest, MeasuredTextWidthIsTheSumOfFreeTypeAdvances) {
  struct row {
    const char* font;
    const char* file;
    uint16_t size;
    const char* text;
  } rows[] = {
      {"Roboto_Regular", "/usr/share/fonts/truetype/roboto/unhinted/RobotoTTF/Roboto-Regular.ttf", 28,
       "Высота 25° — ok"},
      {"Roboto_Medium", "/usr/share/fonts/truetype/roboto/unhinted/RobotoTTF/Roboto-Medium.ttf", 32, "00E6BB 123"},
      {"default", "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 20, "Default ABC абв"},
  };
  FT_Library ft;
  ASSERT_EQ(0, FT_Init_FreeType(&ft));
  canvas_t* c = widget_get_canvas(window_manager());
  for (const row& r : rows) {
    SCOPED_TRACE(r.font);
    FT_Face face;
    ASSERT_EQ(0, FT_New_Face(ft, r.file, 0, &face));
    FT_Set_Pixel_Sizes(face, 0, r.size);
    std::vector<wchar_t> w(strlen(r.text) + 1);
    tk_utf8_to_utf16(r.text, w.data(), (uint32_t)w.size());
    long sum = 0;
    for (size_t i = 0; w[i] != 0; i++) {
      ASSERT_NE(0u, FT_Get_Char_Index(face, (FT_ULong)w[i])) << "glyph missing in the font itself";
      ASSERT_EQ(0, FT_Load_Char(face, (FT_ULong)w[i], FT_LOAD_DEFAULT));
      sum += (face->glyph->advance.x + 32) >> 6;
    }
    canvas_set_font(c, r.font, r.size);
    EXPECT_EQ((float)sum, canvas_measure_utf8(c, r.text));
    EXPECT_GT(sum, 0);
    FT_Done_Face(face);
  }
  FT_Done_FreeType(ft);
}

namespace {

/* 3 x 2 pixels: the rows the decoders must reproduce. */
const uint8_t k_px[2][3][3] = {{{255, 0, 0}, {0, 255, 0}, {0, 0, 255}}, {{255, 255, 255}, {0, 0, 0}, {17, 34, 51}}};

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write((const char*)bytes.data(), (std::streamsize)bytes.size());
}

void put16(std::vector<uint8_t>* b, uint32_t v) {
  b->push_back((uint8_t)v);
  b->push_back((uint8_t)(v >> 8));
}
void put32(std::vector<uint8_t>* b, uint32_t v) {
  put16(b, v & 0xffff);
  put16(b, v >> 16);
}

/* A BMP as the media process writes photos: bottom-up 24-bit, or top-down
 * 32-bit, or 8-bit with a palette. */
std::vector<uint8_t> make_bmp(int bpp, bool top_down) {
  std::vector<uint8_t> pal;
  std::vector<uint8_t> pixels;
  size_t stride = ((3 * (size_t)bpp + 31) / 32) * 4;
  if (bpp == 8) {
    for (int y = 0; y < 2; y++)
      for (int x = 0; x < 3; x++) {
        pal.push_back(k_px[y][x][2]);
        pal.push_back(k_px[y][x][1]);
        pal.push_back(k_px[y][x][0]);
        pal.push_back(0);
      }
  }
  for (int row = 0; row < 2; row++) {
    int y = top_down ? row : 1 - row;
    std::vector<uint8_t> line;
    for (int x = 0; x < 3; x++) {
      if (bpp == 8) {
        line.push_back((uint8_t)(y * 3 + x));
        continue;
      }
      line.push_back(k_px[y][x][2]);
      line.push_back(k_px[y][x][1]);
      line.push_back(k_px[y][x][0]);
      if (bpp == 32) line.push_back(255);
    }
    line.resize(stride, 0);
    pixels.insert(pixels.end(), line.begin(), line.end());
  }
  std::vector<uint8_t> b = {'B', 'M'};
  uint32_t offset = 54 + (uint32_t)pal.size();
  put32(&b, offset + (uint32_t)pixels.size());
  put32(&b, 0);
  put32(&b, offset);
  put32(&b, 40);
  put32(&b, 3);
  put32(&b, top_down ? (uint32_t)-2 : 2u);
  put16(&b, 1);
  put16(&b, (uint32_t)bpp);
  put32(&b, 0);
  put32(&b, (uint32_t)pixels.size());
  put32(&b, 2835);
  put32(&b, 2835);
  put32(&b, bpp == 8 ? 6 : 0);
  put32(&b, 0);
  b.insert(b.end(), pal.begin(), pal.end());
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

void make_jpeg(const std::string& path, int w, int h, const uint8_t rgb[3]) {
  struct jpeg_compress_struct cinfo;
  struct jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  FILE* f = fopen(path.c_str(), "wb");
  jpeg_stdio_dest(&cinfo, f);
  cinfo.image_width = (JDIMENSION)w;
  cinfo.image_height = (JDIMENSION)h;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 100, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<uint8_t> line((size_t)w * 3);
  for (int x = 0; x < w; x++) memcpy(&line[(size_t)x * 3], rgb, 3);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = line.data();
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  fclose(f);
}

}  // namespace

TEST_F(AwtkRenderTest, PngJpegAndBmpDecodeToTheExpectedPixels) {
  bitmap_t bmp;
  ASSERT_EQ(RET_OK, image_manager_get_bitmap(image_manager(), "quad", &bmp));
  ASSERT_EQ(4, bmp.w);
  ASSERT_EQ(2, bmp.h);
  const uint8_t quad[8][4] = {{255, 0, 0, 255},     {0, 255, 0, 255},  {0, 0, 255, 255},  {255, 255, 255, 128},
                              {0, 0, 0, 255},       {17, 34, 51, 255}, {200, 100, 50, 0}, {1, 2, 3, 4}};
  for (int i = 0; i < 8; i++) EXPECT_EQ(0, memcmp(quad[i], bmp.data + i * 4, 4)) << "png pixel " << i;
  EXPECT_EQ(RET_OK, image_manager_get_bitmap(image_manager(), "quad.png", &bmp));

  std::string dir = temp_dir();
  struct bmp_row {
    const char* name;
    int bpp;
    bool top_down;
  } bmps[] = {{"p24.bmp", 24, false}, {"p32.bmp", 32, true}, {"p8.bmp", 8, false}};
  for (const bmp_row& r : bmps) {
    SCOPED_TRACE(r.name);
    std::string path = dir + "/" + r.name;
    write_file(path, make_bmp(r.bpp, r.top_down));
    ASSERT_EQ(RET_OK, image_manager_get_bitmap(image_manager(), ("file://" + path).c_str(), &bmp));
    ASSERT_EQ(3, bmp.w);
    ASSERT_EQ(2, bmp.h);
    for (int y = 0; y < 2; y++)
      for (int x = 0; x < 3; x++) {
        const uint8_t* p = bmp.data + (size_t)y * bmp.line_length + (size_t)x * 4;
        EXPECT_EQ(0, memcmp(k_px[y][x], p, 3)) << x << "," << y;
        EXPECT_EQ(255, p[3]);
      }
    unlink(path.c_str());
  }
  /* A truncated BMP is refused, not read past its end. */
  std::vector<uint8_t> cut = make_bmp(24, false);
  cut.resize(cut.size() - 5);
  write_file(dir + "/cut.bmp", cut);
  EXPECT_EQ(RET_NOT_FOUND, image_manager_get_bitmap(image_manager(), ("file://" + dir + "/cut.bmp").c_str(), &bmp));
  unlink((dir + "/cut.bmp").c_str());

  const uint8_t orange[3] = {250, 128, 20};
  make_jpeg(dir + "/thumb.jpg", 16, 8, orange);
  ASSERT_EQ(RET_OK, image_manager_get_bitmap(image_manager(), ("file://" + dir + "/thumb.jpg").c_str(), &bmp));
  ASSERT_EQ(16, bmp.w);
  ASSERT_EQ(8, bmp.h);
  for (int i = 0; i < 16 * 8; i++) {
    for (int k = 0; k < 3; k++) EXPECT_NEAR(orange[k], bmp.data[i * 4 + k], 2);
    EXPECT_EQ(255, bmp.data[i * 4 + 3]);
  }
  unlink((dir + "/thumb.jpg").c_str());
  EXPECT_EQ(RET_OK, image_manager_unload_all(image_manager()));
  EXPECT_EQ(RET_NOT_FOUND, image_manager_get_bitmap(image_manager(), "no_such_image", &bmp));
  rmdir(dir.c_str());
}

TEST_F(AwtkRenderTest, Sigusr1WritesANumberedScreenshotAndTreeDump) {
  std::string dir = temp_dir();
  setenv("VESK_GUI_SNAPSHOT_DIR", dir.c_str(), 1);
  window_open("menu");
  awtk_test_pump();
  // Requests faster than snapshots can be written share one, so the loop
  // always gets back to its events.
  for (int i = 0; i < 3; i++) ASSERT_EQ(0, raise(SIGUSR1));
  awtk_test_pump();
  std::string png = dir + "/awtk_test-0001.png", txt = dir + "/awtk_test-0001.txt";
  EXPECT_EQ(png, awtk_host_last_snapshot_png());
  EXPECT_NE(0, access((dir + "/awtk_test-0002.png").c_str(), F_OK));
  std::vector<uint8_t> rgba;
  uint32_t w = 0, h = 0;
  EXPECT_TRUE(read_png(png, &rgba, &w, &h));
  EXPECT_EQ(640u, w);
  std::ifstream in(txt);
  std::string first;
  std::getline(in, first);
  EXPECT_EQ("window name=\"menu\" visible=1 state=normal style=\"default\" rect=0,0,640,480 text=\"\" image=\"\"", first);
  unsetenv("VESK_GUI_SNAPSHOT_DIR");
  unlink(png.c_str());
  unlink(txt.c_str());
  rmdir(dir.c_str());
}
