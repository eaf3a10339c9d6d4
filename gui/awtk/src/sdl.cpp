/* The SDL2 desktop window: shows the framebuffer and turns typed
 * characters into posted keys (the character is the key code).
 *
 * On the scope the GUI plane is laid over the thermal video by the display
 * hardware. Here the video plane is a file named by $VESK_VIDEO_PLANE: w x h
 * opaque pixels of bytes r, g, b, a (the screen's size), replaced whole
 * whenever the picture changes; the window shows the GUI over it wherever
 * the GUI is transparent. Without the file the window shows the GUI over
 * black. */
#include "awtk_internal.h"

#include <SDL.h>
#include <sys/stat.h>

#include <fstream>
#include <vector>

static SDL_Window* s_window = NULL;
static SDL_Renderer* s_renderer = NULL;
static SDL_Texture* s_texture = NULL;

/* The video plane as last read, and what tells a new one from it. */
static struct {
  std::vector<uint8_t> pixels;
  struct timespec mtime;
  ino_t ino;
  uint64_t checked_ms;
} s_plane;
/* The GUI's framebuffer as last shown, to show again over a new plane. */
static const uint32_t* s_last_fb = NULL;
static int32_t s_last_w = 0, s_last_h = 0;
static std::vector<uint32_t> s_shown;

#define PLANE_CHECK_MS 50

/* Reads the plane again when the file has been replaced; true then. */
static bool plane_refresh(int32_t w, int32_t h) {
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

bool tk_sdl_open(int32_t w, int32_t h, const char* title) {
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    log_error("SDL_Init: %s\n", SDL_GetError());
    return false;
  }
  s_window = SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, w, h, SDL_WINDOW_SHOWN);
  if (s_window != NULL) s_renderer = SDL_CreateRenderer(s_window, -1, SDL_RENDERER_SOFTWARE);
  if (s_renderer != NULL) {
    s_texture = SDL_CreateTexture(s_renderer, SDL_PIXELFORMAT_RGBA32, SDL_TEXTUREACCESS_STREAMING, w, h);
  }
  /* What is shown is opaque already: premultiplied colours over black, or
   * over the video plane. */
  if (s_texture != NULL) SDL_SetTextureBlendMode(s_texture, SDL_BLENDMODE_NONE);
  if (s_texture == NULL) {
    log_error("SDL window: %s\n", SDL_GetError());
    tk_sdl_close();
    return false;
  }
  SDL_StartTextInput();
  SDL_RaiseWindow(s_window);
  return true;
}

void tk_sdl_close(void) {
  if (s_texture != NULL) SDL_DestroyTexture(s_texture);
  if (s_renderer != NULL) SDL_DestroyRenderer(s_renderer);
  if (s_window != NULL) SDL_DestroyWindow(s_window);
  s_texture = NULL;
  s_renderer = NULL;
  s_window = NULL;
  s_last_fb = NULL;
  s_plane.pixels.clear();
  s_plane.ino = 0;
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  SDL_Quit();
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
  SDL_Event ev;
  bool keep = true;
  uint64_t now = time_now_ms();
  if (s_last_fb != NULL && now - s_plane.checked_ms >= PLANE_CHECK_MS) {
    s_plane.checked_ms = now;
    if (plane_refresh(s_last_w, s_last_h)) tk_sdl_present(s_last_fb, s_last_w, s_last_h);
  }
  while (SDL_PollEvent(&ev)) {
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
        if (ev.window.event == SDL_WINDOWEVENT_EXPOSED) tk_wm_set_dirty();
        break;
      default:
        break;
    }
  }
  return keep;
}

/* GUI over video: the framebuffer's colours are premultiplied, so each
 * channel is the GUI's plus the video's share that the GUI lets through. */
static const uint32_t* over_plane(const uint32_t* fb, int32_t w, int32_t h) {
  const size_t n = (size_t)w * (size_t)h;
  if (s_plane.pixels.size() != n * 4) return fb;
  s_shown.resize(n);
  const uint8_t* v = s_plane.pixels.data();
  for (size_t i = 0; i < n; i++, v += 4) {
    const uint32_t g = fb[i], through = 255 - (g >> 24);
    uint32_t out = 0xff000000u;
    for (int k = 0; k < 3; k++) {
      uint32_t c = ((g >> (8 * k)) & 0xff) + (v[k] * through + 127) / 255;
      out |= (c > 255 ? 255 : c) << (8 * k);
    }
    s_shown[i] = out;
  }
  return s_shown.data();
}

void tk_sdl_present(const uint32_t* fb, int32_t w, int32_t h) {
  if (s_texture == NULL) return;
  s_last_fb = fb;
  s_last_w = w;
  s_last_h = h;
  if (s_plane.pixels.empty()) plane_refresh(w, h);
  SDL_UpdateTexture(s_texture, NULL, over_plane(fb, w, h), w * 4);
  SDL_RenderClear(s_renderer);
  SDL_RenderCopy(s_renderer, s_texture, NULL, NULL);
  SDL_RenderPresent(s_renderer);
}

void tk_sdl_wait(uint32_t timeout_ms) { SDL_WaitEventTimeout(NULL, (int)timeout_ms); }
