/* The SDL2 desktop window under Xvfb: a key typed into the window reaches
 * the top window as EVT_KEY_DOWN with that character, and the window shows
 * the framebuffer after every change, however little of it changed. */
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <csignal>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "awtk.h"
#include "awtk_host.h"
#include "sim_xvfb.h"

/* SDL loads its X11 and session-bus helpers at run time and unloads them at
 * exit, leaving allocations that no longer name a module; the toolkit's own
 * memory is checked by the headless tests. */
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

namespace {

std::vector<uint32_t> g_keys;

ret_t on_key(void*, event_t* e) {
  g_keys.push_back(key_event_cast(e)->key);
  return RET_OK;
}

void pump_for(int ms, size_t until) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end && g_keys.size() < until) {
    awtk_test_pump();
    usleep(5000);
  }
}

/* The (only) mapped top-level window of the display, or None. */
Window shown_window(Display* dpy) {
  Window root = DefaultRootWindow(dpy), parent, *kids = NULL, target = None;
  unsigned int n = 0;
  if (XQueryTree(dpy, root, &root, &parent, &kids, &n)) {
    for (unsigned int i = 0; i < n; i++) {
      XWindowAttributes a;
      if (XGetWindowAttributes(dpy, kids[i], &a) && a.map_state == IsViewable) target = kids[i];
    }
    XFree(kids);
  }
  return target;
}

/* Pixels where the window differs from the framebuffer (shown over black). */
int differing_pixels(Display* dpy, Window win, int w, int h) {
  XImage* img = XGetImage(dpy, win, 0, 0, (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
  if (img == NULL) return -1;
  const uint8_t* fb = awtk_host_framebuffer(NULL, NULL);
  int bad = 0;
  for (int y = 0; y < h; y++) {
    for (int x = 0; x < w; x++) {
      const uint8_t* p = fb + ((size_t)y * (size_t)w + (size_t)x) * 4;
      unsigned long want = ((unsigned long)p[0] << 16) | ((unsigned long)p[1] << 8) | p[2];
      if ((XGetPixel(img, x, y) & 0xffffff) != want) bad++;
    }
  }
  XDestroyImage(img);
  return bad;
}

}  // namespace

/* The toolkit in a 320 x 240 SDL window on an Xvfb of its own. */
class AwtkSdl : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(access(SIM_XVFB, X_OK), 0) << SIM_XVFB << " is missing: install the xvfb package (scripts/setup)";
    xvfb = sim_xvfb_start("640x480x24", &display);
    ASSERT_GT(xvfb, 0) << "Xvfb did not start";
    setenv("DISPLAY", display.c_str(), 1);
    awtk_host_set_backend(AWTK_HOST_BACKEND_SDL);
    ASSERT_EQ(RET_OK, tk_init(320, 240, APP_DESKTOP, "sdl_test", AWTK_FIXTURES));
  }
  void TearDown() override {
    tk_exit();
    sim_xvfb_stop(xvfb);
  }
  std::string display;
  pid_t xvfb = -1;
};

TEST_F(AwtkSdl, TheWindowShowsTheFramebufferAfterEveryChange) {
  widget_t* win = window_create(NULL, 0, 0, 0, 0);
  widget_set_style_color(win, "normal:bg_color", 0xff203040);
  widget_t* box = view_create(win, 20, 20, 60, 40);
  widget_set_style_color(box, "normal:bg_color", 0xff0000ff);
  widget_t* label = label_create(win, 100, 150, 200, 40);
  widget_set_text_utf8(label, "12.5 m");
  pump_for(300, 1);
  Display* dpy = XOpenDisplay(display.c_str());
  ASSERT_NE(nullptr, dpy);
  Window shown = shown_window(dpy);
  ASSERT_NE((Window)None, shown);
  EXPECT_EQ(0, differing_pixels(dpy, shown, 320, 240)) << "first paint";
  /* Changes of one small area each, one far from another, and none. */
  struct {
    const char* what;
    std::function<void()> change;
  } steps[] = {
      {"a colour", [&] { widget_set_style_color(box, "normal:bg_color", 0xff00ff00); }},
      {"a text", [&] { widget_set_text_utf8(label, "987.0 m"); }},
      {"a move", [&] { widget_move(box, 250, 10); }},
      {"two areas", [&] {
         widget_set_text_utf8(label, "-");
         widget_set_style_color(box, "normal:bg_color", 0xff808080);
       }},
      {"nothing", [] {}},
  };
  for (auto& step : steps) {
    step.change();
    pump_for(200, 1);
    EXPECT_EQ(0, differing_pixels(dpy, shown, 320, 240)) << step.what;
  }
  XCloseDisplay(dpy);
}

TEST_F(AwtkSdl, KeyTypedIntoTheWindowReachesTheTopWindow) {
  EXPECT_EQ(AWTK_HOST_BACKEND_SDL, awtk_host_get_backend());
  widget_t* win = window_open("menu");
  ASSERT_NE(nullptr, win);
  widget_on(win, EVT_KEY_DOWN, on_key, NULL);
  pump_for(300, 1);

  Display* dpy = XOpenDisplay(display.c_str());
  ASSERT_NE(nullptr, dpy);
  /* No window manager runs: give the (only) mapped top-level window the
   * keyboard focus as one would. */
  Window target = shown_window(dpy);
  ASSERT_NE((Window)None, target);
  XSetInputFocus(dpy, target, RevertToParent, CurrentTime);
  XSync(dpy, False);
  pump_for(200, 1);
  KeyCode three = XKeysymToKeycode(dpy, XK_3);
  KeyCode w = XKeysymToKeycode(dpy, XK_w);
  KeyCode shift = XKeysymToKeycode(dpy, XK_Shift_L);
  XTestFakeKeyEvent(dpy, three, True, CurrentTime);
  XTestFakeKeyEvent(dpy, three, False, CurrentTime);
  XTestFakeKeyEvent(dpy, shift, True, CurrentTime);
  XTestFakeKeyEvent(dpy, w, True, CurrentTime);
  XTestFakeKeyEvent(dpy, w, False, CurrentTime);
  XTestFakeKeyEvent(dpy, shift, False, CurrentTime);
  XSync(dpy, False);
  pump_for(5000, 2);
  XCloseDisplay(dpy);
  EXPECT_EQ((std::vector<uint32_t>{'3', 'W'}), g_keys);
}
