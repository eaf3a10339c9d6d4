/* Host side of the toolkit layer (not part of the toolkit's own API).
 *
 * Backend. Headless by default: the screen is a framebuffer in memory.
 * VESK_GUI_BACKEND=sdl in the environment, or awtk_host_set_backend before
 * tk_init, shows it in an SDL2 desktop window instead, where each typed
 * character reaches the top window as the key code of that character
 * (EVT_KEY_DOWN then EVT_KEY_UP).
 *
 * Snapshots. A snapshot is a PNG of the screen and a dump of the widget tree.
 * On SIGUSR1 (installed by tk_init) the GUI thread writes
 * "<dir>/<app_name>-<seq>.png" and "<dir>/<app_name>-<seq>.txt", dir being
 * $VESK_GUI_SNAPSHOT_DIR or "/tmp" and seq counting from 0001 in each
 * process; each file appears complete (written aside, then renamed).
 *
 * Video plane. On the scope the GUI is drawn over the thermal video. The
 * framebuffer keeps what no window paints transparent (its colours are
 * premultiplied by their alpha, so the PNG above is the GUI over black).
 * With $VESK_VIDEO_PLANE naming a file of w x h opaque pixels (bytes r, g,
 * b, a, the screen's size), the SDL window shows the GUI over that picture,
 * following each replacement of the file, and each snapshot also writes
 * "<dir>/<app_name>-<seq>.plane.png", the GUI with its transparency, before
 * the other two files.
 *
 * Tree dump: one line per widget, windows bottom to top, two spaces of
 * indentation per level:
 *   <type> name="<name>" visible=<0|1> state=<state> style="<style>"
 *   rect=<x>,<y>,<w>,<h> text="<text>" image="<image>"
 * followed, when present, by opacity=<n> and
 * overrides="<state>:<prop>=<value>;..." (sorted). rect is relative to the
 * parent; text is UTF-8 with \ " and newlines escaped as \\ \" \n.
 *
 * Test support. awtk_test_init starts the toolkit headless on a virtual
 * clock that stands still until the test steps it. */
#pragma once

#include "tkc/types_def.h"

BEGIN_C_DECLS

typedef enum _awtk_host_backend_t { AWTK_HOST_BACKEND_HEADLESS = 0, AWTK_HOST_BACKEND_SDL } awtk_host_backend_t;

/* Before tk_init; wins over VESK_GUI_BACKEND. */
ret_t awtk_host_set_backend(awtk_host_backend_t backend);
awtk_host_backend_t awtk_host_get_backend(void);
/* Before tk_init: time_now_ms then reads a clock that moves only by
 * awtk_test_step (and by sleep_ms on the GUI thread). */
ret_t awtk_host_use_virtual_clock(bool_t on);

/* Paints every open window into the framebuffer now. */
ret_t awtk_host_render(void);
/* The framebuffer after the last render: w x h pixels of bytes r, g, b, a. */
const uint8_t* awtk_host_framebuffer(wh_t* w, wh_t* h);
/* Renders and writes the screen as PNG. */
ret_t awtk_host_screenshot(const char* png_path);
/* The tree dump as a malloc'ed string (free it). */
char* awtk_host_dump_tree(void);
ret_t awtk_host_dump_tree_to_file(const char* path);
/* Async-signal-safe: the GUI thread writes the next numbered snapshot. */
ret_t awtk_host_request_snapshot(void);
/* Paths of the last snapshot written on request ("" before the first). */
const char* awtk_host_last_snapshot_png(void);

ret_t awtk_test_init(wh_t w, wh_t h, const char* res_root);
/* Runs the main loop without waiting until nothing is left to do now:
 * queued work, window notifications, due timers and new idles. */
ret_t awtk_test_pump(void);
/* Advances the virtual clock by ms, firing each timer at its due time in
 * order and pumping after each firing. */
ret_t awtk_test_step(uint32_t ms);
/* Posts key pressed and released, then pumps. */
ret_t awtk_test_key(uint32_t key);

END_C_DECLS
