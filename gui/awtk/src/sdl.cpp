/* The SDL2 desktop window: shows the framebuffer and turns typed
 * characters into posted keys (the character is the key code).
 *
 * On the scope the GUI plane is laid over the thermal video by the display
 * hardware. Here the video plane is a file named by $VESK_VIDEO_PLANE: w x h
 * opaque pixels of bytes r, g, b, a (the screen's size), replaced whole
 * whenever the picture changes; the window shows the GUI over it wherever
 * the GUI is transparent. Without the file the window shows the GUI over
 * black.
 *
 * SDL2 is loaded when the window is asked for, not linked: its package
 * pulls in audio, X11, Wayland and D-Bus libraries, several MB of memory
 * that a headless GUI (and the scope) would carry for nothing.
 *
 * The framebuffer goes straight into the window's own surface, converted
 * pixel by pixel and compared with what the surface already shows; only
 * the rows and columns that changed are sent to the display. A key that
 * changes one menu row sends that row, not the screen. */
#include "awtk_internal.h"

#include <SDL.h>
#include <dlfcn.h>
#include <sys/stat.h>

#include <atomic>
#include <fstream>
#include <vector>

namespace {

/* The SDL calls this file makes, found in the library at run time. */
struct sdl_api {
  int (*Init)(Uint32);
  const char* (*GetError)(void);
  SDL_Window* (*CreateWindow)(const char*, int, int, int, int, Uint32);
  void (*DestroyWindow)(SDL_Window*);
  void (*QuitSubSystem)(Uint32);
  void (*Quit)(void);
  void (*StartTextInput)(void);
  void (*RaiseWindow)(SDL_Window*);
  int (*PollEvent)(SDL_Event*);
  int (*WaitEventTimeout)(SDL_Event*, int);
  int (*PushEvent)(SDL_Event*);
  Uint32 (*RegisterEvents)(int);
  SDL_Surface* (*GetWindowSurface)(SDL_Window*);
  int (*UpdateWindowSurfaceRects)(SDL_Window*, const SDL_Rect*, int);
};

sdl_api s_sdl;
void* s_lib = NULL;

#define SDL_CALL(name) {"SDL_" #name, (void**)&s_sdl.name}
const struct {
  const char* symbol;
  void** slot;
} k_calls[] = {SDL_CALL(Init),           SDL_CALL(GetError),         SDL_CALL(CreateWindow),
               SDL_CALL(DestroyWindow),  SDL_CALL(QuitSubSystem),    SDL_CALL(Quit),
               SDL_CALL(StartTextInput), SDL_CALL(RaiseWindow),      SDL_CALL(PollEvent),
               SDL_CALL(WaitEventTimeout), SDL_CALL(PushEvent),      SDL_CALL(RegisterEvents),
               SDL_CALL(GetWindowSurface), SDL_CALL(UpdateWindowSurfaceRects)};
#undef SDL_CALL

bool load_sdl(void) {
  if (s_lib != NULL) return true;
  void* lib = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
  if (lib == NULL) {
    log_error("SDL2 not loaded: %s\n", dlerror());
    return false;
  }
  for (const auto& call : k_calls) {
    *call.slot = dlsym(lib, call.symbol);
    if (*call.slot == NULL) {
      log_error("SDL2 lacks %s\n", call.symbol);
      dlclose(lib);
      return false;
    }
  }
  s_lib = lib;
  return true;
}

SDL_Window* s_window = NULL;
/* The event that wakes the GUI thread out of its wait for SDL events when
 * another thread posts work; (Uint32)-1 when none could be registered. */
Uint32 s_wake_type = (Uint32)-1;
/* Set while the GUI thread waits for SDL events, cleared by whoever wakes
 * it, so that one wake-up event is pushed per wait, not one per post. */
std::atomic<bool> s_waiting(false);
/* The whole surface is sent at the next present: after the window was
 * (re)exposed, when what it shows is not what the surface holds. */
bool s_send_all = true;

/* The video plane as last read, and what tells a new one from it. */
struct {
  std::vector<uint8_t> pixels;
  struct timespec mtime;
  ino_t ino;
  uint64_t checked_ms;
} s_plane;
/* The GUI's framebuffer as last shown, to show again over a new plane. */
const uint32_t* s_last_fb = NULL;
int32_t s_last_w = 0, s_last_h = 0;

#define PLANE_CHECK_MS 50
/* More changed bands than this go to the display as one rectangle. */
#define MAX_BANDS 32

/* Reads the plane again when the file has been replaced; true then. */
bool plane_refresh(int32_t w, int32_t h) {
  const char* path = tk_video_plane_path();
  struct stat st;
  if (path == NULL || stat(path, &st) != 0) return false;
  if (st.st_ino == s_plane.ino && st.st_mtim.tv_sec == s_plane.mtime.tv_sec &&
      st.st_mtim.tv_nsec == s_plane.mtime.tv_nsec)
    return false;
  const size_t size = (size_t)w * (size_t)h * 4;
  if ((size_t)st.st_size != size) return false; /* not for this screen, or still being written */
  std::vector<uint8_t> pixels(size);
  std::ifstream in(path, std::ios::binary);
  if (!in.read((char*)pixels.data(), (std::streamsize)size)) return false;
  s_plane.pixels.swap(pixels);
  s_plane.ino = st.st_ino;
  s_plane.mtime = st.st_mtim;
  return true;
}

/* GUI over video: the framebuffer's colours are premultiplied, so each
 * channel is the GUI's plus the video's share that the GUI lets through.
 * Returns r | g << 8 | b << 16. */
inline uint32_t over_video(uint32_t g, const uint8_t* v) {
  const uint32_t through = 255 - (g >> 24);
  if (through == 0) return g & 0xffffffu;
  uint32_t out = 0;
  for (int k = 0; k < 3; k++) {
    uint32_t c = ((g >> (8 * k)) & 0xff) + (v[k] * through + 127) / 255;
    out |= (c > 255 ? 255 : c) << (8 * k);
  }
  return out;
}

/* One changed band of rows and the columns that changed in it. */
struct band {
  int32_t y0, y1, x0, x1;
};

/* Converts the framebuffer (over the plane, if any) into the 32-bit
 * surface, writing and noting only the pixels that differ. */
void convert_rows(const uint32_t* fb, int32_t w, int32_t h, SDL_Surface* surface, std::vector<band>* bands) {
  const SDL_PixelFormat* f = surface->format;
  const uint32_t rs = f->Rshift, gs = f->Gshift, bs = f->Bshift, amask = f->Amask;
  const uint8_t* plane = s_plane.pixels.size() == (size_t)w * (size_t)h * 4 ? s_plane.pixels.data() : NULL;
  band open = {-1, -1, w, -1};
  for (int32_t y = 0; y < h; y++) {
    const uint32_t* src = fb + (size_t)y * (size_t)w;
    uint32_t* dst = (uint32_t*)((uint8_t*)surface->pixels + (size_t)y * (size_t)surface->pitch);
    const uint8_t* v = plane != NULL ? plane + (size_t)y * (size_t)w * 4 : NULL;
    int32_t first = -1, last = -1;
    for (int32_t x = 0; x < w; x++) {
      const uint32_t rgb = v != NULL ? over_video(src[x], v + (size_t)x * 4) : src[x];
      const uint32_t px = ((rgb & 0xff) << rs) | (((rgb >> 8) & 0xff) << gs) | (((rgb >> 16) & 0xff) << bs) | amask;
      if (dst[x] != px) {
        dst[x] = px;
        if (first < 0) first = x;
        last = x;
      }
    }
    if (first >= 0) {
      if (open.y0 < 0) open.y0 = y;
      open.y1 = y + 1;
      open.x0 = tk_min(open.x0, first);
      open.x1 = tk_max(open.x1, last + 1);
    } else if (open.y0 >= 0) {
      bands->push_back(open);
      open = {-1, -1, w, -1};
    }
  }
  if (open.y0 >= 0) bands->push_back(open);
}

}  // namespace

bool tk_sdl_open(int32_t w, int32_t h, const char* title) {
  if (!load_sdl()) return false;
  if (s_sdl.Init(SDL_INIT_VIDEO) != 0) {
    log_error("SDL_Init: %s\n", s_sdl.GetError());
    return false;
  }
  s_window = s_sdl.CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, w, h, SDL_WINDOW_SHOWN);
  SDL_Surface* surface = s_window != NULL ? s_sdl.GetWindowSurface(s_window) : NULL;
  if (surface == NULL || surface->format->BytesPerPixel != 4) {
    log_error("SDL window: %s\n", surface == NULL ? s_sdl.GetError() : "the display is not 32 bits per pixel");
    tk_sdl_close();
    return false;
  }
  s_wake_type = s_sdl.RegisterEvents(1);
  s_send_all = true;
  s_sdl.StartTextInput();
  s_sdl.RaiseWindow(s_window);
  return true;
}

void tk_sdl_close(void) {
  if (s_lib == NULL) return;
  if (s_window != NULL) s_sdl.DestroyWindow(s_window);
  s_window = NULL;
  s_last_fb = NULL;
  s_plane.pixels.clear();
  s_plane.pixels.shrink_to_fit();
  s_plane.ino = 0;
  s_wake_type = (Uint32)-1;
  s_sdl.QuitSubSystem(SDL_INIT_VIDEO);
  s_sdl.Quit();
  /* The library stays loaded: SDL leaves handlers and threads of its own
   * libraries behind, which must not lose their code. */
}

/* Keys that type no character still reach the pages by their codes. */
static uint32_t special_key(SDL_Keycode sym) {
  switch (sym) {
    case SDLK_RETURN: return TK_KEY_RETURN;
    case SDLK_ESCAPE: return TK_KEY_ESCAPE;
    case SDLK_BACKSPACE: return TK_KEY_BACKSPACE;
    case SDLK_TAB: return TK_KEY_TAB;
    case SDLK_DELETE: return TK_KEY_DELETE;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT:
    case SDLK_LCTRL:
    case SDLK_RCTRL:
    case SDLK_LALT:
    case SDLK_RALT:
    case SDLK_LGUI:
    case SDLK_RGUI:
    case SDLK_CAPSLOCK:
    case SDLK_MODE:
      return 0; /* modifiers only shape the typed character */
    default: break;
  }
  if ((sym & SDLK_SCANCODE_MASK) != 0) return (uint32_t)sym;
  return 0;
}

bool tk_sdl_poll(void) {
  if (s_window == NULL) return true;
  SDL_Event ev;
  bool keep = true;
  uint64_t now = time_now_ms();
  if (s_last_fb != NULL && now - s_plane.checked_ms >= PLANE_CHECK_MS) {
    s_plane.checked_ms = now;
    if (plane_refresh(s_last_w, s_last_h)) tk_sdl_present(s_last_fb, s_last_w, s_last_h);
  }
  while (s_sdl.PollEvent(&ev)) {
    switch (ev.type) {
      case SDL_QUIT:
        keep = false;
        break;
      case SDL_TEXTINPUT: {
        wchar_t w[SDL_TEXTINPUTEVENT_TEXT_SIZE];
        tk_utf8_to_utf16(ev.text.text, w, SDL_TEXTINPUTEVENT_TEXT_SIZE);
        for (size_t i = 0; w[i] != 0; i++) {
          main_loop_post_key_event(main_loop(), TRUE, (uint32_t)w[i]);
          main_loop_post_key_event(main_loop(), FALSE, (uint32_t)w[i]);
        }
        break;
      }
      case SDL_KEYDOWN:
      case SDL_KEYUP: {
        uint32_t key = special_key(ev.key.keysym.sym);
        if (key != 0) main_loop_post_key_event(main_loop(), ev.type == SDL_KEYDOWN, key);
        break;
      }
      case SDL_MOUSEMOTION:
        tk_wm_set_pointer(ev.motion.x, ev.motion.y);
        break;
      case SDL_WINDOWEVENT:
        if (ev.window.event == SDL_WINDOWEVENT_EXPOSED) {
          s_send_all = true;
          tk_wm_set_dirty();
        }
        break;
      default:
        break; /* the wake-up event has done its work by arriving */
    }
  }
  return keep;
}

void tk_sdl_present(const uint32_t* fb, int32_t w, int32_t h) {
  if (s_window == NULL) return;
  s_last_fb = fb;
  s_last_w = w;
  s_last_h = h;
  if (s_plane.pixels.empty()) plane_refresh(w, h);
  SDL_Surface* surface = s_sdl.GetWindowSurface(s_window);
  if (surface == NULL || surface->format->BytesPerPixel != 4) return;
  w = tk_min(w, surface->w);
  h = tk_min(h, surface->h);
  std::vector<band> bands;
  convert_rows(fb, w, h, surface, &bands);
  std::vector<SDL_Rect> rects;
  if (s_send_all || bands.size() > MAX_BANDS) {
    rects.push_back(SDL_Rect{0, 0, surface->w, surface->h});
  } else {
    for (const band& b : bands) rects.push_back(SDL_Rect{b.x0, b.y0, b.x1 - b.x0, b.y1 - b.y0});
  }
  if (rects.empty()) return;
  if (s_sdl.UpdateWindowSurfaceRects(s_window, rects.data(), (int)rects.size()) == 0) s_send_all = false;
}

void tk_sdl_wait(uint32_t timeout_ms) {
  if (s_window == NULL) return;
  s_waiting = true;
  /* Work posted before the flag was up found nobody to wake: look again. */
  if (!tk_loop_has_pending_work()) s_sdl.WaitEventTimeout(NULL, (int)timeout_ms);
  s_waiting = false;
}

void tk_sdl_wake(void) {
  if (!s_waiting.exchange(false) || s_wake_type == (Uint32)-1) return;
  SDL_Event ev;
  memset(&ev, 0, sizeof(ev));
  ev.type = s_wake_type;
  s_sdl.PushEvent(&ev);
}
