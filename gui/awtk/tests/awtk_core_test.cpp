/* Codes, log, helpers, emitter, widget tree and properties, styles, the
 * window loader and factory, locale. */
#include "awtk_test_util.h"
#include "awtk_internal.h"

#include <cstdarg>
#include <atomic>
#include <thread>
#include <unistd.h>

TEST(AwtkCodes, NumbersTheGuiReliesOn) {
  EXPECT_EQ(0, RET_OK);
  EXPECT_EQ(2, RET_FAIL);
  EXPECT_EQ(7, RET_REMOVE);
  EXPECT_EQ(8, RET_REPEAT);
  EXPECT_EQ(9, RET_NOT_FOUND);
  EXPECT_EQ(11, RET_STOP);
  EXPECT_EQ(16, RET_BAD_PARAMS);
  EXPECT_EQ(0, LOG_LEVEL_DEBUG);
  EXPECT_EQ(1, LOG_LEVEL_INFO);
  EXPECT_EQ(2, LOG_LEVEL_WARN);
  EXPECT_EQ(3, LOG_LEVEL_ERROR);
  EXPECT_EQ(272, EVT_KEY_DOWN);
  EXPECT_EQ(276, EVT_KEY_UP);
  EXPECT_EQ(297, EVT_WINDOW_OPEN);
  EXPECT_EQ(300, EVT_WINDOW_CLOSE);
  EXPECT_EQ(301, EVT_REQUEST_CLOSE_WINDOW);
  EXPECT_EQ(8192, EVT_USER_START);
  EXPECT_EQ('3', TK_KEY_3);
  EXPECT_EQ('W', TK_KEY_W);
}

struct hook_log {
  std::vector<std::pair<log_level_t, std::string>> lines;
};

static void test_hook(void* ctx, log_level_t level, const char* format, va_list ap) {
  char buf[256];
  vsnprintf(buf, sizeof(buf), format, ap);
  ((hook_log*)ctx)->lines.emplace_back(level, buf);
}

static const int k_check_line = __LINE__ + 2;
static ret_t checked(void* p) {
  return_value_if_fail(p != NULL, RET_BAD_PARAMS);
  return RET_OK;
}

TEST(AwtkLog, ArgumentCheckLineGoesToHookAtWarningWhileLevelAllows) {
  hook_log log;
  log_set_hook(test_hook, &log);
  log_set_log_level(LOG_LEVEL_WARN);
  testing::internal::CaptureStdout();
  EXPECT_EQ(RET_BAD_PARAMS, checked(NULL));
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(1u, log.lines.size());
  EXPECT_EQ(LOG_LEVEL_WARN, log.lines[0].first);
  EXPECT_EQ("checked:" + std::to_string(k_check_line) + " condition(p != NULL) failed!\n", log.lines[0].second);
  EXPECT_EQ(log.lines[0].second, out);

  log_set_log_level(LOG_LEVEL_ERROR);
  testing::internal::CaptureStdout();
  EXPECT_EQ(RET_BAD_PARAMS, checked(NULL));
  EXPECT_EQ("", testing::internal::GetCapturedStdout());
  EXPECT_EQ(1u, log.lines.size());

  log_notify(LOG_LEVEL_DEBUG, "direct %d\n", 5);
  ASSERT_EQ(2u, log.lines.size());
  EXPECT_EQ("direct 5\n", log.lines[1].second);
  log_set_hook(NULL, NULL);
  log_set_log_level(LOG_LEVEL_DEBUG);
}

TEST(AwtkUtils, AtoiAndSnprintf) {
  struct row {
    const char* in;
    int32_t out;
  } rows[] = {{"640", 640}, {"  -12", -12}, {"0x1F", 31}, {"12abc", 12}, {"abc", 0}, {"", 0}, {NULL, 0},
              /* beyond the range: saturated, never wrapped */
              {"99999999999", INT32_MAX}, {"-9223372036854775808", INT32_MIN},
              {"-999999999999999999999999", INT32_MIN}, {"0xFFFFFFFFFFFFFFFFFF", INT32_MAX}};
  for (const row& r : rows) EXPECT_EQ(r.out, tk_atoi(r.in)) << (r.in ? r.in : "NULL");
  char buf[8];
  EXPECT_EQ(11, tk_snprintf(buf, sizeof(buf), "%s", "hello world"));
  EXPECT_STREQ("hello w", buf);
  EXPECT_TRUE(tk_str_eq(NULL, NULL));
  EXPECT_FALSE(tk_str_eq("a", NULL));
}

TEST(AwtkValue, ConvertsBetweenTypes) {
  value_t v;
  memset(&v, 0, sizeof(v));
  value_set_str(&v, "42");
  EXPECT_EQ(42, value_int(&v));
  EXPECT_TRUE(value_bool(&v));
  value_set_str(&v, "false");
  EXPECT_FALSE(value_bool(&v));
  value_set_float(&v, 2.75f);
  EXPECT_EQ(2, value_int(&v));
  value_t copy;
  memset(&copy, 0, sizeof(copy));
  value_dup_str(&v, "owned");
  value_deep_copy(&copy, &v);
  value_reset(&v);
  EXPECT_STREQ("owned", value_str(&copy));
  value_reset(&copy);
}

TEST(AwtkColor, ParsesHexAndNames) {
  color_t c;
  ASSERT_NE(nullptr, color_from_str(&c, "#00E6BB"));
  EXPECT_EQ(0x00, c.rgba.r);
  EXPECT_EQ(0xE6, c.rgba.g);
  EXPECT_EQ(0xBB, c.rgba.b);
  EXPECT_EQ(0xFF, c.rgba.a);
  ASSERT_NE(nullptr, color_from_str(&c, "blue"));
  EXPECT_EQ(0xffff0000u, c.color);
  EXPECT_EQ(nullptr, color_from_str(&c, "#12"));
}

/* A handler that removes itself and others while the dispatch runs. */
struct emitter_fixture {
  emitter_t* e;
  uint32_t ids[4];
  std::vector<int> calls;
};

static ret_t h0(void* ctx, event_t* ev) {
  emitter_fixture* f = (emitter_fixture*)ctx;
  (void)ev;
  f->calls.push_back(0);
  emitter_off(f->e, f->ids[0]);
  emitter_off(f->e, f->ids[2]);
  return RET_OK;
}
static ret_t h1(void* ctx, event_t*) {
  ((emitter_fixture*)ctx)->calls.push_back(1);
  return RET_REMOVE;
}
static ret_t h2(void* ctx, event_t*) {
  ((emitter_fixture*)ctx)->calls.push_back(2);
  return RET_OK;
}
static ret_t h3(void* ctx, event_t*) {
  emitter_fixture* f = (emitter_fixture*)ctx;
  f->calls.push_back(3);
  emitter_off_by_ctx(f->e, f);
  return RET_OK;
}

TEST(AwtkEmitter, HandlersRemoveThemselvesAndOthersDuringDispatch) {
  emitter_fixture f;
  f.e = emitter_create();
  f.ids[0] = emitter_on(f.e, 5, h0, &f);
  f.ids[1] = emitter_on(f.e, 5, h1, &f);
  f.ids[2] = emitter_on(f.e, 5, h2, &f);
  f.ids[3] = emitter_on(f.e, 5, h3, &f);
  emitter_dispatch_simple_event(f.e, 5);
  EXPECT_EQ((std::vector<int>{0, 1, 3}), f.calls);
  EXPECT_EQ(0u, emitter_size(f.e));
  f.calls.clear();
  emitter_dispatch_simple_event(f.e, 5);
  EXPECT_TRUE(f.calls.empty());
  emitter_destroy(f.e);
}

static ret_t stop_handler(void* ctx, event_t*) {
  ++*(int*)ctx;
  return RET_STOP;
}

TEST(AwtkEmitter, StopEndsDispatch) {
  emitter_t* e = emitter_create();
  int n = 0;
  emitter_on(e, 1, stop_handler, &n);
  emitter_on(e, 1, stop_handler, &n);
  EXPECT_EQ(RET_STOP, emitter_dispatch_simple_event(e, 1));
  EXPECT_EQ(1, n);
  emitter_destroy(e);
}

class AwtkWidgetTest : public AwtkTest {};

static ret_t count_visit(void* ctx, const void* data) {
  ((std::vector<std::string>*)ctx)->push_back(((widget_t*)data)->name ? ((widget_t*)data)->name : "");
  return RET_OK;
}

TEST_F(AwtkWidgetTest, LoaderBuildsTreeWithGeometryAndProperties) {
  widget_t* win = window_open("home");
  ASSERT_NE(nullptr, win);
  EXPECT_STREQ("home", win->name);
  EXPECT_EQ(640, win->w);
  widget_t* panel = widget_lookup(win, "panel", FALSE);
  ASSERT_NE(nullptr, panel);
  EXPECT_EQ(160, panel->x);  /* centred 320 wide */
  EXPECT_EQ(140, panel->y);
  EXPECT_EQ(320, panel->w);
  widget_t* inner = widget_lookup(win, "inner", TRUE);
  ASSERT_NE(nullptr, inner);
  EXPECT_EQ(320, inner->w);
  EXPECT_EQ(nullptr, widget_lookup(win, "inner", FALSE));
  EXPECT_EQ(inner, widget_lookup(win, "inner", TRUE));
  EXPECT_NE(nullptr, widget_lookup(win, "leaf", TRUE));
  widget_t* icon = widget_lookup(win, "icon", TRUE);
  EXPECT_EQ(640 - 32 - 10, icon->x);
  EXPECT_EQ(480 - 32 - 10, icon->y);
  EXPECT_STREQ("dot", widget_get_prop_str(icon, WIDGET_PROP_IMAGE, ""));
  EXPECT_EQ(25, widget_get_value_int(widget_lookup(win, "bar", TRUE)));
  std::vector<std::string> seen;
  widget_foreach(win, count_visit, &seen);
  EXPECT_EQ((std::vector<std::string>{"home", "title", "panel", "inner", "deep", "leaf", "icon", "bar"}), seen);
}

TEST_F(AwtkWidgetTest, LoaderRejectsMissingBrokenAndNonWindowResources) {
  EXPECT_EQ(nullptr, window_open("absent"));
  EXPECT_EQ(nullptr, window_open("broken"));
  EXPECT_EQ(nullptr, window_open("notwin"));
  EXPECT_TRUE(Stack().empty());
}

TEST_F(AwtkWidgetTest, LoaderRefusesOutOfRangeGeometryNestedWindowsAndDeepTrees) {
  /* Each is an error with nothing left behind: no window opens, and the
   * sanitized build finds no leak and no undefined conversion. */
  for (const char* name : {"huge", "farright", "nested", "deep"}) {
    EXPECT_EQ(nullptr, window_open(name)) << name;
    EXPECT_TRUE(Stack().empty()) << name;
  }
}

TEST_F(AwtkWidgetTest, ARefusedWindowFileLeavesTheWindowManagerAsItWas) {
  /* Loaded twice each, a window inside a window (at once or deeper, with a
   * name or none) is refused, and the window manager neither holds nor
   * remembers it: the next window opens and runs as usual. */
  ASSERT_NE(nullptr, window_open("home"));
  awtk_test_pump();
  for (const char* name : {"nested", "nested_bare", "nested_dialog"}) {
    for (int i = 0; i < 2; i++) {
      EXPECT_EQ(nullptr, window_open(name)) << name;
      EXPECT_EQ(std::vector<std::string>{"home"}, Stack()) << name;
      /* The loader on its own hands nothing to the window manager either. */
      EXPECT_EQ(nullptr, tk_ui_load(name)) << name;
      EXPECT_EQ(std::vector<std::string>{"home"}, Stack()) << name;
    }
  }
  awtk_test_pump();
  widget_t* menu = window_open("menu");
  ASSERT_NE(nullptr, menu);
  awtk_test_pump();
  EXPECT_EQ((std::vector<std::string>{"home", "menu"}), Stack());
  EXPECT_EQ(menu, window_manager_get_top_window(window_manager()));
  awtk_host_render();
}

TEST_F(AwtkWidgetTest, BitmapWithTheSmallestHeightIsRefused) {
  /* A 40-byte header, 24 bits, 1 x 1 pixel: top-down when the height is
   * negative; INT32_MIN has no positive counterpart. */
  const int32_t heights[] = {INT32_MIN, -16385, 0};
  for (int32_t height : heights) {
    uint8_t bmp[58] = {'B', 'M'};
    auto put32 = [&](size_t at, uint32_t v) {
      for (int i = 0; i < 4; i++) bmp[at + i] = (uint8_t)(v >> (8 * i));
    };
    put32(2, sizeof(bmp));
    put32(10, 54);
    put32(14, 40);
    put32(18, 1);
    put32(22, (uint32_t)height);
    bmp[26] = 1;
    bmp[28] = 24;
    bmp[54] = 0xFF; /* blue */
    char path[] = "/tmp/awtk-bmp-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ((ssize_t)sizeof(bmp), write(fd, bmp, sizeof(bmp)));
    close(fd);
    widget_t* win = window_open("menu");
    widget_t* img = image_create(win, 300, 0, 4, 2);
    awtk_host_render();
    wh_t w;
    const uint8_t* fb = awtk_host_framebuffer(&w, NULL);
    const std::vector<uint8_t> before(fb + 301 * 4, fb + 302 * 4);
    ASSERT_EQ(RET_OK, image_base_set_image(img, (std::string("file://") + path).c_str()));
    awtk_host_render();
    fb = awtk_host_framebuffer(&w, NULL);
    EXPECT_EQ(before, std::vector<uint8_t>(fb + 301 * 4, fb + 302 * 4)) << height; /* nothing drawn */
    unlink(path);
    window_close(win);
    awtk_test_pump();
  }
}

TEST_F(AwtkWidgetTest, TextPropertiesVisibilityGeometry) {
  widget_t* win = window_open("menu");
  widget_t* row = widget_lookup(win, "row1", TRUE);
  EXPECT_EQ("one", Text(row));
  widget_set_text_utf8(row, "Высота 25°");
  EXPECT_EQ("Высота 25°", Text(row));
  widget_set_visible(row, FALSE);
  EXPECT_FALSE(row->visible);
  widget_move_resize(row, 5, 6, 70, 80);
  EXPECT_EQ(5, widget_get_prop_int(row, "x", 0));
  EXPECT_EQ(80, row->h);
  widget_set_prop_int(row, "w", 99);
  EXPECT_EQ(99, row->w);
  widget_set_prop_str(row, "custom", "abc");
  EXPECT_STREQ("abc", widget_get_prop_str(row, "custom", NULL));
  EXPECT_TRUE(widget_get_prop_bool(row, "missing", TRUE));
  widget_set_opacity(row, 100);
  EXPECT_EQ(100, row->opacity);
  widget_set_state(row, WIDGET_STATE_FOCUSED);
  EXPECT_STREQ("focused", widget_get_state_for_style(row));
  widget_set_enable(row, FALSE);
  EXPECT_STREQ("disable", widget_get_state_for_style(row));
}

TEST_F(AwtkWidgetTest, StyleOverridesWithAndWithoutStatePrefix) {
  widget_t* win = window_open("home");
  widget_t* title = widget_lookup(win, "title", TRUE);
  EXPECT_STREQ("#00E6BB", widget_get_style_str(title, STYLE_ID_TEXT_COLOR, NULL));
  EXPECT_STREQ("Roboto_Medium", widget_get_style_str(title, STYLE_ID_FONT_NAME, NULL));
  widget_set_state(title, WIDGET_STATE_FOCUSED);
  EXPECT_STREQ("#FF0000", widget_get_style_str(title, STYLE_ID_TEXT_COLOR, NULL));
  EXPECT_STREQ("28", widget_get_style_str(title, STYLE_ID_FONT_SIZE, NULL));
  widget_set_state(title, WIDGET_STATE_NORMAL);
  widget_set_style_str(title, "normal:text_color", "#FFFFFF");
  widget_set_style_int(title, "font_size", 32);
  widget_set_style_color(title, "normal:bg_color", 0xff000000u);
  EXPECT_STREQ("#FFFFFF", widget_get_style_str(title, STYLE_ID_TEXT_COLOR, NULL));
  EXPECT_EQ(32, widget_get_style_int(title, STYLE_ID_FONT_SIZE, 0));
  EXPECT_STREQ("#000000ff", widget_get_style_str(title, STYLE_ID_BG_COLOR, NULL));
  widget_use_style(title, "default");
  EXPECT_STREQ("none", widget_get_style_str(title, STYLE_ID_FONT_NAME, "none"));
  EXPECT_EQ(32, widget_get_style_int(title, STYLE_ID_FONT_SIZE, 0)); /* overrides outlive the style name */
  EXPECT_EQ(RET_BAD_PARAMS, widget_set_style_str(title, ":text_color", "#000000"));
}

/* A custom type as the GUI's own widgets are written. */
typedef struct _test_gauge_t {
  widget_t widget;
  int32_t level;
} test_gauge_t;

static int g_gauge_destroyed = 0;

static ret_t test_gauge_set_prop(widget_t* widget, const char* name, const value_t* v) {
  if (tk_str_eq(name, "level")) {
    ((test_gauge_t*)widget)->level = value_int(v);
    return RET_OK;
  }
  return RET_NOT_FOUND;
}

static ret_t test_gauge_get_prop(widget_t* widget, const char* name, value_t* v) {
  if (tk_str_eq(name, "level")) {
    value_set_int(v, ((test_gauge_t*)widget)->level);
    return RET_OK;
  }
  return RET_NOT_FOUND;
}

static ret_t test_gauge_on_destroy(widget_t*) {
  g_gauge_destroyed++;
  return RET_OK;
}

widget_t* test_gauge_create(widget_t* parent, xy_t x, xy_t y, wh_t w, wh_t h);
TK_EXTERN_VTABLE(test_gauge);

static const char* s_gauge_props[] = {"level", NULL};
TK_DECL_VTABLE(test_gauge) = {.size = sizeof(test_gauge_t),
                              .type = "test_gauge",
                              .clone_properties = s_gauge_props,
                              .persistent_properties = s_gauge_props,
                              .parent = TK_PARENT_VTABLE(widget),
                              .create = test_gauge_create,
                              .get_prop = test_gauge_get_prop,
                              .set_prop = test_gauge_set_prop,
                              .on_destroy = test_gauge_on_destroy};

widget_t* test_gauge_create(widget_t* parent, xy_t x, xy_t y, wh_t w, wh_t h) {
  return widget_create(parent, TK_REF_VTABLE(test_gauge), x, y, w, h);
}

TEST_F(AwtkWidgetTest, FactoryCreatesCustomTypesFromResources) {
  ASSERT_EQ(RET_OK, widget_factory_register(widget_factory(), "test_gauge", test_gauge_create));
  widget_t* win = window_open("gauge");
  ASSERT_NE(nullptr, win);
  widget_t* g = widget_lookup(win, "g", TRUE);
  ASSERT_NE(nullptr, g);
  EXPECT_TRUE(WIDGET_IS_INSTANCE_OF(g, test_gauge));
  EXPECT_FALSE(WIDGET_IS_INSTANCE_OF(widget_lookup(win, "after", TRUE), test_gauge));
  EXPECT_EQ(7, ((test_gauge_t*)g)->level);
  EXPECT_EQ(7, widget_get_prop_int(g, "level", 0));
  EXPECT_EQ(nullptr, widget_lookup(win, "skipped", TRUE));
  EXPECT_NE(nullptr, widget_lookup(win, "after", TRUE));
  g_gauge_destroyed = 0;
  window_close(win);
  awtk_test_pump();
  EXPECT_EQ(1, g_gauge_destroyed);
}

TEST_F(AwtkWidgetTest, TrTextFollowsLocaleChange) {
  widget_t* win = window_open("home");
  widget_t* title = widget_lookup(win, "title", TRUE);
  EXPECT_EQ("ON", Text(title));
  widget_t* label = label_create(win, 0, 0, 100, 20);
  widget_set_tr_text(label, "temp");
  EXPECT_EQ("Temperature 25°C — ok", Text(label));
  ASSERT_EQ(RET_OK, locale_info_change(locale_info(), "ru", "RU"));
  EXPECT_STREQ("ru", locale_info()->language);
  EXPECT_EQ("ВКЛ", Text(title));
  EXPECT_EQ("Температура 25°C — норма", Text(label));
  locale_info_change(locale_info(), "zh", "CN");
  EXPECT_EQ("开", Text(title));
  EXPECT_STREQ("关", locale_info_tr(locale_info(), "OFF"));
  EXPECT_STREQ("unknown key", locale_info_tr(locale_info(), "unknown key"));
  widget_set_text_utf8(title, "plain");
  locale_info_change(locale_info(), "en", "US");
  EXPECT_EQ("ON", Text(title)); /* the key still rules, as in the toolkit */
}

TEST_F(AwtkWidgetTest, DumpListsWindowsAndWidgets) {
  window_open("menu");
  widget_t* row = widget_lookup(window_manager(), "row2", TRUE);
  widget_set_style_str(row, "normal:text_color", "#00E6BB");
  char* dump = awtk_host_dump_tree();
  EXPECT_STREQ(
      "window name=\"menu\" visible=1 state=normal style=\"default\" rect=0,0,640,480 text=\"\" image=\"\"\n"
      "  label name=\"row1\" visible=1 state=normal style=\"default\" rect=0,0,200,40 text=\"one\" image=\"\"\n"
      "  label name=\"row2\" visible=1 state=normal style=\"default\" rect=0,40,200,40 text=\"two\" image=\"\" "
      "overrides=\"normal:text_color=#00E6BB\"\n",
      dump);
  free(dump);
}

TEST_F(AwtkWidgetTest, ScrollingLabelMovesOnlyWhenTooWideAndAllowed) {
  ASSERT_EQ(RET_OK, tk_ext_widgets_init());
  widget_t* win = window_open("menu");
  widget_t* hs = widget_factory_create_widget(widget_factory(), "hscroll_label", win, 0, 100, 100, 30);
  ASSERT_NE(nullptr, hs);
  widget_set_text_utf8(hs, "Storage used 12.5 G of 29.3 G on the media partition");
  hscroll_label_set_loop(hs, TRUE);
  widget_set_prop_float(hs, "speed", 0.04f);
  hscroll_label_set_lull(hs, 1000);
  widget_set_prop_bool(hs, "only_focus", FALSE);
  awtk_test_step(500);
  int32_t x1 = widget_get_prop_int(hs, "xoffset", -1);
  EXPECT_NEAR(20, x1, 2);
  awtk_test_step(500);
  EXPECT_NEAR(40, widget_get_prop_int(hs, "xoffset", -1), 2);
  hscroll_label_set_only_focus(hs, TRUE);
  awtk_test_step(500);
  EXPECT_EQ(0, widget_get_prop_int(hs, "xoffset", -1));
  widget_set_text_utf8(hs, "short");
  hscroll_label_set_only_focus(hs, FALSE);
  awtk_test_step(500);
  EXPECT_EQ(0, widget_get_prop_int(hs, "xoffset", -1));
}

TEST_F(AwtkWidgetTest, ImageNamesBareWithExtensionAndFilePaths) {
  widget_t* win = window_open("menu");
  widget_t* img = image_create(win, 300, 0, 4, 2);
  image_set_draw_type(img, IMAGE_DRAW_DEFAULT);
  const char* names[] = {"quad", "quad.png", "file://" AWTK_FIXTURES "/images/quad.png"};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    ASSERT_EQ(RET_OK, image_base_set_image(img, name));
    EXPECT_STREQ(name, widget_get_prop_str(img, WIDGET_PROP_IMAGE, ""));
    awtk_host_render();
    wh_t w;
    const uint8_t* fb = awtk_host_framebuffer(&w, NULL);
    const uint8_t* p = fb + (size_t)(0 * w + 301) * 4;
    EXPECT_EQ(0, p[0]);
    EXPECT_EQ(255, p[1]);
  }
  EXPECT_EQ(RET_BAD_PARAMS, image_base_set_image(widget_lookup(win, "row1", TRUE), "quad"));
}

TEST(AwtkRun, HeadlessRunOnTheRealClockEndsOnQuitFromAnotherThread) {
  ASSERT_EQ(RET_OK, tk_init(320, 240, APP_MOBILE, "run_test", AWTK_FIXTURES));
  static std::atomic<int> ticks;
  ticks = 0;
  timer_add(
      [](const timer_info_t*) -> ret_t {
        ticks++;
        return RET_REPEAT;
      },
      NULL, 5);
  std::thread quitter([] {
    usleep(100 * 1000);
    /* A loaded machine may run the loop late: quit once it has ticked. */
    for (int waited = 0; ticks < 5 && waited < 10000; waited++) usleep(1000);
    idle_queue(
        [](const idle_info_t*) -> ret_t {
          tk_quit();
          return RET_REMOVE;
        },
        NULL);
  });
  uint64_t t0 = time_now_ms();
  EXPECT_EQ(RET_OK, tk_run());
  quitter.join();
  EXPECT_GE(time_now_ms() - t0, 100u);
  EXPECT_GE(ticks, 5);
  tk_exit();
}
