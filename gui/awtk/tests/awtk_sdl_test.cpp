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

/* SDL loads its X11 and session-bus helpers at run time and unloads them at
 * exit, leaving allocations that no longer name a module; the toolkit's own
 * memory is checked by the headless tests. */
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

namespace {

const char* const k_xvfb = "/usr/bin/Xvfb";

/* Starts Xvfb on a display number it picks itself (safe beside other
 * tests) and returns its pid, or -1. */
pid_t start_xvfb(std::string* display) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    std::string fd = std::to_string(fds[1]);
    execl(k_xvfb, "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24", "-nolisten", "tcp", (char*)NULL);
    _exit(127);
  }
  close(fds[1]);
  std::string num;
  char ch;
  while (read(fds[0], &ch, 1) == 1 && ch != '\n') num.push_back(ch);
  close(fds[0]);
  if (pid < 0 || num.empty()) {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, NULL, 0);
    }
    return -1;
  }
  *display = ":" + num;
  return pid;
}

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
    ASSERT_EQ(access(k_xvfb, X_OK), 0) << k_xvfb << " is missing: install the xvfb package (scripts/setup)";
    xvfb = start_xvfb(&display);
    ASSERT_GT(xvfb, 0) << "Xvfb did not start";
    setenv("DISPLAY", display.c_str(), 1);
    awtk_host_set_backend(AWTK_HOST_BACKEND_SDL);
    ASSERT_EQ(RET_OK, tk_init(320, 240, APP_DESKTOP, "sdl_test", AWTK_FIXTURES));
  }
  void TearDown() override {
    tk_exit();
    if (xvfb > 0) {
      kill(xvfb, SIGTERM);
      waitpid(xvfb, NULL, 0);
    }
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
