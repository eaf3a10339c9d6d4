/* The SDL2 desktop window: shows the framebuffer and turns typed
 * characters into posted keys (the character is the key code). */
#include "awtk_internal.h"

#include <SDL.h>

static SDL_Window* s_window = NULL;
static SDL_Renderer* s_renderer = NULL;
static SDL_Texture* s_texture = NULL;

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

void tk_sdl_present(const uint32_t* fb, int32_t w, int32_t h) {
  if (s_texture == NULL) return;
  (void)h;
  SDL_UpdateTexture(s_texture, NULL, fb, w * 4);
  SDL_RenderClear(s_renderer);
  SDL_RenderCopy(s_renderer, s_texture, NULL, NULL);
  SDL_RenderPresent(s_renderer);
}

void tk_sdl_wait(uint32_t timeout_ms) { SDL_WaitEventTimeout(NULL, (int)timeout_ms); }
