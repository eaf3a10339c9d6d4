/* Screenshots and widget-tree dumps, by call or on SIGUSR1. */
#include "awtk_internal.h"

#include <atomic>
#include <csignal>
#include <fstream>
#include <unistd.h>

static std::atomic<int> s_requests(0);
static uint32_t s_seq = 0;
static std::string s_last_png;
static struct sigaction s_old_action;
static bool s_installed = false;

const char* tk_video_plane_path(void) {
  const char* path = getenv("VESK_VIDEO_PLANE");
  return path != NULL && *path != '\0' ? path : NULL;
}

ret_t awtk_host_render(void) {
  return_value_if_fail(window_manager() != NULL, RET_FAIL);
  tk_images_paint_begin();
  ret_t r = window_manager_paint(window_manager());
  tk_images_paint_end();
  return r;
}

const uint8_t* awtk_host_framebuffer(wh_t* w, wh_t* h) {
  canvas_t* c = tk_wm_canvas();
  return_value_if_fail(c != NULL, NULL);
  if (w != NULL) *w = c->fb_w;
  if (h != NULL) *h = c->fb_h;
  return (const uint8_t*)c->fb;
}

ret_t awtk_host_screenshot(const char* png_path) {
  return_value_if_fail(png_path != NULL, RET_BAD_PARAMS);
  ret_t r = awtk_host_render();
  if (r != RET_OK) return r;
  canvas_t* c = tk_wm_canvas();
  return tk_png_write(png_path, (const uint8_t*)c->fb, c->fb_w, c->fb_h) ? RET_OK : RET_IO;
}

ret_t awtk_host_screenshot_plane(const char* png_path) {
  return_value_if_fail(png_path != NULL, RET_BAD_PARAMS);
  ret_t r = awtk_host_render();
  if (r != RET_OK) return r;
  canvas_t* c = tk_wm_canvas();
  return tk_png_write_plane(png_path, (const uint8_t*)c->fb, c->fb_w, c->fb_h) ? RET_OK : RET_IO;
}

static void escape(std::string* out, const char* s) {
  for (; s != NULL && *s; s++) {
    if (*s == '\\' || *s == '"') {
      out->push_back('\\');
      out->push_back(*s);
    } else if (*s == '\n') {
      out->append("\\n");
    } else {
      out->push_back(*s);
    }
  }
}

static void dump_widget(widget_t* w, int depth, std::string* out) {
  out->append((size_t)depth * 2, ' ');
  out->append(w->vt->type);
  out->append(" name=\"");
  escape(out, w->name);
  out->append("\" visible=");
  out->append(w->visible ? "1" : "0");
  out->append(" state=");
  out->append(widget_get_state_for_style(w));
  out->append(" style=\"");
  escape(out, w->style != NULL ? w->style : "default");
  char buf[96];
  tk_snprintf(buf, sizeof(buf), "\" rect=%d,%d,%d,%d text=\"", w->x, w->y, w->w, w->h);
  out->append(buf);
  std::vector<char> text((size_t)w->text.size * 4 + 1);
  wstr_get_utf8(&w->text, text.data(), (uint32_t)text.size());
  escape(out, text.data());
  out->append("\" image=\"");
  escape(out, widget_get_prop_str(w, WIDGET_PROP_IMAGE, ""));
  out->append("\"");
  if (w->opacity != 0xff) {
    tk_snprintf(buf, sizeof(buf), " opacity=%d", w->opacity);
    out->append(buf);
  }
  if (!w->astyle->overrides.empty()) {
    out->append(" overrides=\"");
    bool first = true;
    for (const auto& st : w->astyle->overrides) {
      for (const auto& p : st.second) {
        if (!first) out->push_back(';');
        first = false;
        escape(out, (st.first + ":" + p.first + "=" + p.second).c_str());
      }
    }
    out->append("\"");
  }
  out->push_back('\n');
  WIDGET_FOR_EACH_CHILD_BEGIN(w, iter, i)
  dump_widget(iter, depth + 1, out);
  WIDGET_FOR_EACH_CHILD_END()
}

char* awtk_host_dump_tree(void) {
  widget_t* wm = window_manager();
  return_value_if_fail(wm != NULL, NULL);
  std::string out;
  WIDGET_FOR_EACH_CHILD_BEGIN(wm, win, i)
  dump_widget(win, 0, &out);
  WIDGET_FOR_EACH_CHILD_END()
  return strdup(out.c_str());
}

ret_t awtk_host_dump_tree_to_file(const char* path) {
  return_value_if_fail(path != NULL, RET_BAD_PARAMS);
  char* text = awtk_host_dump_tree();
  return_value_if_fail(text != NULL, RET_FAIL);
  std::string tmp = std::string(path) + ".tmp";
  bool ok;
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out << text;
    ok = static_cast<bool>(out);
  }
  free(text);
  ok = ok && rename(tmp.c_str(), path) == 0;
  if (!ok) unlink(tmp.c_str());
  return ok ? RET_OK : RET_IO;
}

ret_t awtk_host_request_snapshot(void) {
  s_requests.fetch_add(1);
  tk_loop_wake();
  return RET_OK;
}

const char* awtk_host_last_snapshot_png(void) { return s_last_png.c_str(); }

static void on_sigusr1(int sig) {
  (void)sig;
  int saved = errno;
  awtk_host_request_snapshot();
  errno = saved;
}

void tk_snapshot_install_signal(void) {
  struct sigaction sa;
  memset(&sa, 0, sizeof(sa));
  sa.sa_handler = on_sigusr1;
  sa.sa_flags = SA_RESTART;
  sigemptyset(&sa.sa_mask);
  s_installed = sigaction(SIGUSR1, &sa, &s_old_action) == 0;
  s_requests = 0;
  s_seq = 0;
  s_last_png.clear();
}

void tk_snapshot_uninstall_signal(void) {
  if (s_installed) sigaction(SIGUSR1, &s_old_action, NULL);
  s_installed = false;
}

void tk_snapshot_service(void) {
  /* Requests that came in since the last pass share one snapshot, taken
   * after all of them: writing one each could take longer than they keep
   * coming, and the loop would never get back to its events. */
  if (s_requests.exchange(0) > 0) {
    const char* dir = getenv("VESK_GUI_SNAPSHOT_DIR");
    char base[512];
    tk_snprintf(base, sizeof(base), "%s/%s-%04u", (dir != NULL && *dir) ? dir : "/tmp", system_info()->app_name,
                ++s_seq);
    std::string png = std::string(base) + ".png", txt = std::string(base) + ".txt";
    std::string plane_png = std::string(base) + ".plane.png";
    /* The dump goes first so that a peer waiting for the PNG finds both;
     * over a video plane the GUI plane with its transparency goes first
     * too, for whoever lays it over the video. */
    const char* plane = tk_video_plane_path();
    const bool over_video = plane != NULL && access(plane, R_OK) == 0;
    if (awtk_host_dump_tree_to_file(txt.c_str()) != RET_OK ||
        (over_video && awtk_host_screenshot_plane(plane_png.c_str()) != RET_OK) ||
        awtk_host_screenshot(png.c_str()) != RET_OK) {
      log_error("snapshot %s not written\n", base);
      return;
    }
    s_last_png = png;
  }
}
