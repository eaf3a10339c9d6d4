/* Main loop of the GUI thread: the cross-thread queue (posted keys,
 * idle_queue, timer_queue), timers, idles, window notifications, deferred
 * frees, and the clocks (real monotonic, or virtual for tests).
 *
 * One turn: window notifications deferred by the previous turn, then the
 * queue entries present at the start of the turn in FIFO order, then due
 * timers (earliest first), then idles; closed windows are freed between
 * stages whenever no dispatch or callback is running. */
#include "awtk_internal.h"

#include <atomic>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <algorithm>
#include <time.h>
#include <unistd.h>

namespace {

struct timer_rec {
  timer_info_t info;
  widget_t* widget;
  bool removed;
  bool running;
};

struct idle_rec {
  idle_info_t info;
  bool removed;
  bool running;
  bool ran;
};

enum queue_kind { Q_KEY, Q_IDLE, Q_TIMER };

struct queue_entry {
  queue_kind kind;
  uint32_t key;
  bool pressed;
  idle_func_t idle;
  timer_func_t timer;
  void* ctx;
  uint32_t duration;
};

struct loop_state {
  std::atomic<bool> initialized{false}; /* read by posting threads */
  std::mutex qmutex;
  std::deque<queue_entry> queue;
  int wake_pipe[2] = {-1, -1};
  std::vector<timer_rec*> timers;
  std::vector<idle_rec*> idles;
  std::vector<std::function<void()>> deferred;
  std::vector<widget_t*> free_list;
  uint32_t next_timer_id = 1;
  uint32_t next_idle_id = 1;
  int32_t callback_depth = 0;
  int32_t timer_dispatch_depth = 0;
  int32_t idle_dispatch_depth = 0;
  pthread_t gui_thread;
  bool virtual_clock = false;
  /* The loop owns its timer and idle records: a program that exits without
   * tk_exit (sightui never leaves its loop) frees them here. */
  ~loop_state() {
    for (timer_rec* t : timers) delete t;
    for (idle_rec* i : idles) delete i;
  }
};

loop_state s_loop;
std::atomic<bool> s_quit(false);
std::atomic<uint64_t> s_virtual_now(0);

uint64_t real_now_us(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (uint64_t)ts.tv_sec * 1000000u + (uint64_t)ts.tv_nsec / 1000u;
}

}  // namespace

int32_t g_tk_dispatch_depth = 0;

/* ---- clocks ---- */
uint64_t time_now_us(void) {
  if (s_loop.virtual_clock) {
    return s_virtual_now.load() * 1000u;
  }
  return real_now_us();
}

uint64_t time_now_ms(void) { return time_now_us() / 1000u; }

uint64_t time_now_s(void) { return time_now_ms() / 1000u; }

bool tk_clock_is_virtual(void) { return s_loop.virtual_clock; }

void tk_clock_advance(uint64_t ms) { s_virtual_now.fetch_add(ms); }

bool tk_loop_is_gui_thread(void) {
  return s_loop.initialized && pthread_equal(pthread_self(), s_loop.gui_thread);
}

ret_t sleep_ms(uint32_t ms) {
  if (s_loop.virtual_clock && tk_loop_is_gui_thread()) {
    tk_clock_advance(ms);
    return RET_OK;
  }
  struct timespec ts;
  ts.tv_sec = ms / 1000;
  ts.tv_nsec = (long)(ms % 1000) * 1000000L;
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
  return RET_OK;
}

/* ---- wake-up pipe ---- */
int tk_loop_wake_fd(void) { return s_loop.wake_pipe[0]; }

void tk_loop_wake(void) {
  int fd = s_loop.wake_pipe[1];
  if (fd >= 0) {
    char b = 1;
    ssize_t n = write(fd, &b, 1);
    (void)n; /* a full pipe already means "wake up" */
  }
}

static void drain_wake_pipe(void) {
  char buf[64];
  while (s_loop.wake_pipe[0] >= 0 && read(s_loop.wake_pipe[0], buf, sizeof(buf)) > 0) {
  }
}

static ret_t queue_push(const queue_entry& e) {
  return_value_if_fail(s_loop.initialized, RET_FAIL);
  {
    std::lock_guard<std::mutex> lock(s_loop.qmutex);
    s_loop.queue.push_back(e);
  }
  tk_loop_wake();
  /* The SDL loop sleeps in SDL's own wait, which the pipe does not reach. */
  tk_sdl_wake();
  return RET_OK;
}

/* ---- init ---- */
ret_t tk_loop_init(bool virtual_clock) {
  return_value_if_fail(!s_loop.initialized, RET_FAIL);
  return_value_if_fail(pipe2(s_loop.wake_pipe, O_NONBLOCK | O_CLOEXEC) == 0, RET_FAIL);
  s_loop.virtual_clock = virtual_clock;
  s_virtual_now = 0;
  s_loop.gui_thread = pthread_self();
  s_loop.initialized = true;
  s_quit = false;
  return RET_OK;
}

void tk_loop_deinit(void) {
  if (!s_loop.initialized) {
    return;
  }
  for (widget_t* w : s_loop.free_list) tk_widget_free(w);
  s_loop.free_list.clear();
  for (timer_rec* t : s_loop.timers) delete t;
  for (idle_rec* i : s_loop.idles) delete i;
  s_loop.timers.clear();
  s_loop.idles.clear();
  s_loop.deferred.clear();
  s_loop.queue.clear();
  close(s_loop.wake_pipe[0]);
  close(s_loop.wake_pipe[1]);
  s_loop.wake_pipe[0] = s_loop.wake_pipe[1] = -1;
  s_loop.initialized = false;
  s_loop.virtual_clock = false;
  s_loop.next_timer_id = 1;
  s_loop.next_idle_id = 1;
}

/* ---- timers ---- */
static uint32_t timer_add_ex(timer_func_t on_timer, void* ctx, uint32_t duration, widget_t* widget) {
  return_value_if_fail(s_loop.initialized && on_timer != NULL, TK_INVALID_ID);
  timer_rec* t = new timer_rec();
  t->info.on_timer = on_timer;
  t->info.ctx = ctx;
  t->info.id = s_loop.next_timer_id++;
  if (s_loop.next_timer_id == TK_INVALID_ID) s_loop.next_timer_id = 1;
  t->info.start = time_now_ms();
  t->info.duration = duration;
  t->widget = widget;
  t->removed = false;
  t->running = false;
  s_loop.timers.push_back(t);
  return t->info.id;
}

uint32_t timer_add(timer_func_t on_timer, void* ctx, uint32_t duration_ms) {
  return timer_add_ex(on_timer, ctx, duration_ms, NULL);
}

uint32_t widget_add_timer(widget_t* widget, timer_func_t on_timer, uint32_t duration_ms) {
  return_value_if_fail(widget != NULL && on_timer != NULL, TK_INVALID_ID);
  return timer_add_ex(on_timer, widget, duration_ms, widget);
}

ret_t widget_remove_timer(widget_t* widget, uint32_t timer_id) {
  (void)widget;
  return timer_remove(timer_id);
}

static timer_rec* timer_lookup(uint32_t id) {
  for (timer_rec* t : s_loop.timers) {
    if (!t->removed && t->info.id == id) return t;
  }
  return NULL;
}

ret_t timer_queue(timer_func_t on_timer, void* ctx, uint32_t duration_ms) {
  return_value_if_fail(on_timer != NULL, RET_BAD_PARAMS);
  queue_entry e = {};
  e.kind = Q_TIMER;
  e.timer = on_timer;
  e.ctx = ctx;
  e.duration = duration_ms;
  return queue_push(e);
}

ret_t timer_remove(uint32_t timer_id) {
  timer_rec* t = timer_lookup(timer_id);
  if (t == NULL) {
    return RET_NOT_FOUND;
  }
  t->removed = true;
  return RET_OK;
}

ret_t timer_reset(uint32_t timer_id) {
  timer_rec* t = timer_lookup(timer_id);
  return_value_if_fail(t != NULL, RET_NOT_FOUND);
  t->info.start = time_now_ms();
  return RET_OK;
}

ret_t timer_modify(uint32_t timer_id, uint32_t duration_ms) {
  timer_rec* t = timer_lookup(timer_id);
  return_value_if_fail(t != NULL, RET_NOT_FOUND);
  t->info.duration = duration_ms;
  return RET_OK;
}

const timer_info_t* timer_find(uint32_t timer_id) {
  timer_rec* t = timer_lookup(timer_id);
  return t != NULL ? &t->info : NULL;
}

uint32_t timer_count(void) {
  uint32_t n = 0;
  for (timer_rec* t : s_loop.timers) n += t->removed ? 0 : 1;
  return n;
}

void tk_timers_remove_widget(widget_t* widget) {
  for (timer_rec* t : s_loop.timers) {
    if (t->widget == widget) t->removed = true;
  }
}

uint64_t tk_timers_next_due(void) {
  uint64_t due = UINT64_MAX;
  for (timer_rec* t : s_loop.timers) {
    if (!t->removed && !t->running) due = tk_min(due, t->info.start + t->info.duration);
  }
  return due;
}

static void timers_compact(void) {
  if (s_loop.timer_dispatch_depth > 0) return;
  auto it = std::remove_if(s_loop.timers.begin(), s_loop.timers.end(), [](timer_rec* t) {
    if (t->removed) {
      delete t;
      return true;
    }
    return false;
  });
  s_loop.timers.erase(it, s_loop.timers.end());
}

static bool dispatch_timers(void) {
  uint64_t now = time_now_ms();
  std::vector<timer_rec*> due;
  for (timer_rec* t : s_loop.timers) {
    if (!t->removed && !t->running && now >= t->info.start + t->info.duration) due.push_back(t);
  }
  if (due.empty()) {
    timers_compact();
    return false;
  }
  std::stable_sort(due.begin(), due.end(), [](const timer_rec* a, const timer_rec* b) {
    return a->info.start + a->info.duration < b->info.start + b->info.duration;
  });
  s_loop.timer_dispatch_depth++;
  for (timer_rec* t : due) {
    if (t->removed) continue;
    if (t->widget != NULL && tk_widget_is_dead(t->widget)) {
      t->removed = true;
      continue;
    }
    t->running = true;
    s_loop.callback_depth++;
    ret_t r = t->info.on_timer(&t->info);
    s_loop.callback_depth--;
    t->running = false;
    if (t->removed) continue;
    if (r == RET_REPEAT) {
      t->info.start = now;
    } else {
      t->removed = true;
    }
  }
  s_loop.timer_dispatch_depth--;
  timers_compact();
  return true;
}

/* ---- idles ---- */
uint32_t idle_add(idle_func_t on_idle, void* ctx) {
  return_value_if_fail(s_loop.initialized && on_idle != NULL, TK_INVALID_ID);
  idle_rec* i = new idle_rec();
  i->info.on_idle = on_idle;
  i->info.ctx = ctx;
  i->info.id = s_loop.next_idle_id++;
  if (s_loop.next_idle_id == TK_INVALID_ID) s_loop.next_idle_id = 1;
  i->removed = false;
  i->running = false;
  i->ran = false;
  s_loop.idles.push_back(i);
  return i->info.id;
}

ret_t idle_remove(uint32_t idle_id) {
  for (idle_rec* i : s_loop.idles) {
    if (!i->removed && i->info.id == idle_id) {
      i->removed = true;
      return RET_OK;
    }
  }
  return RET_NOT_FOUND;
}

ret_t idle_queue(idle_func_t on_idle, void* ctx) {
  return_value_if_fail(on_idle != NULL, RET_BAD_PARAMS);
  queue_entry e = {};
  e.kind = Q_IDLE;
  e.idle = on_idle;
  e.ctx = ctx;
  return queue_push(e);
}

uint32_t idle_count(void) {
  uint32_t n = 0;
  for (idle_rec* i : s_loop.idles) n += i->removed ? 0 : 1;
  return n;
}

static void idles_compact(void) {
  if (s_loop.idle_dispatch_depth > 0) return;
  auto it = std::remove_if(s_loop.idles.begin(), s_loop.idles.end(), [](idle_rec* i) {
    if (i->removed) {
      delete i;
      return true;
    }
    return false;
  });
  s_loop.idles.erase(it, s_loop.idles.end());
}

static bool run_idle(idle_rec* i) {
  i->running = true;
  s_loop.callback_depth++;
  ret_t r = i->info.on_idle(&i->info);
  s_loop.callback_depth--;
  i->running = false;
  i->ran = true;
  if (r != RET_REPEAT) i->removed = true;
  return true;
}

static bool dispatch_idles(void) {
  std::vector<idle_rec*> now(s_loop.idles);
  bool did = false;
  s_loop.idle_dispatch_depth++;
  for (idle_rec* i : now) {
    if (!i->removed && !i->running) did = run_idle(i) || did;
  }
  s_loop.idle_dispatch_depth--;
  idles_compact();
  return did;
}

/* ---- posted keys and queued work ---- */
main_loop_t* main_loop(void) { return (main_loop_t*)&s_loop; }

ret_t main_loop_post_key_event(main_loop_t* l, bool_t pressed, uint32_t key) {
  return_value_if_fail(l != NULL, RET_BAD_PARAMS);
  queue_entry e = {};
  e.kind = Q_KEY;
  e.key = key;
  e.pressed = pressed != FALSE;
  return queue_push(e);
}

static bool process_queue(void) {
  size_t n;
  {
    std::lock_guard<std::mutex> lock(s_loop.qmutex);
    n = s_loop.queue.size();
  }
  for (size_t k = 0; k < n; k++) {
    queue_entry e;
    {
      std::lock_guard<std::mutex> lock(s_loop.qmutex);
      if (s_loop.queue.empty()) break;
      e = s_loop.queue.front();
      s_loop.queue.pop_front();
    }
    switch (e.kind) {
      case Q_KEY:
        tk_wm_dispatch_key(e.key, e.pressed);
        break;
      case Q_IDLE: {
        /* Run now, in queue order; it stays as an idle while it repeats. */
        uint32_t id = idle_add(e.idle, e.ctx);
        idle_rec* rec = s_loop.idles.back();
        if (rec->info.id == id) {
          s_loop.idle_dispatch_depth++;
          run_idle(rec);
          s_loop.idle_dispatch_depth--;
          idles_compact();
        }
        break;
      }
      case Q_TIMER:
        timer_add(e.timer, e.ctx, e.duration);
        break;
    }
  }
  return n > 0;
}

/* ---- deferred work ---- */
void tk_loop_defer(std::function<void()> fn) {
  s_loop.deferred.push_back(std::move(fn));
  tk_loop_wake();
}

void tk_loop_free_later(widget_t* widget) { s_loop.free_list.push_back(widget); }

static bool run_deferred(void) {
  if (s_loop.deferred.empty()) return false;
  std::vector<std::function<void()>> now;
  now.swap(s_loop.deferred);
  for (auto& fn : now) fn();
  return true;
}

/* Freed only when nothing that could hold a pointer into them is running. */
static bool free_pending(void) {
  if (s_loop.free_list.empty() || g_tk_dispatch_depth > 0 || s_loop.callback_depth > 0) return false;
  std::vector<widget_t*> now;
  now.swap(s_loop.free_list);
  for (widget_t* w : now) tk_widget_free(w);
  return true;
}

bool tk_loop_has_pending_work(void) {
  std::lock_guard<std::mutex> lock(s_loop.qmutex);
  return !s_loop.queue.empty() || !s_loop.deferred.empty();
}

bool tk_loop_quitting(void) { return s_quit.load(); }

void tk_loop_clear_quit(void) { s_quit = false; }

ret_t main_loop_quit(main_loop_t* l) {
  return_value_if_fail(l != NULL, RET_BAD_PARAMS);
  s_quit = true;
  tk_loop_wake();
  tk_sdl_wake();
  return RET_OK;
}

ret_t main_loop_wakeup(main_loop_t* l) {
  return_value_if_fail(l != NULL, RET_BAD_PARAMS);
  tk_loop_wake();
  tk_sdl_wake();
  return RET_OK;
}

static bool idles_waiting(void) {
  for (idle_rec* i : s_loop.idles) {
    if (!i->removed && !i->running) return true;
  }
  return false;
}

static void wait_for_work(void) {
  uint64_t due = tk_timers_next_due();
  if (idles_waiting() || tk_loop_has_pending_work() || !s_loop.free_list.empty()) {
    return;
  }
  if (s_loop.virtual_clock && due != UINT64_MAX) {
    /* Nothing else can happen before the next timer: jump to it. */
    uint64_t now = time_now_ms();
    if (due > now) tk_clock_advance(due - now);
    return;
  }
  /* Big images the screen no longer needs are let go once it has been
   * still for a while; that moment counts as a timer here, on the real
   * clock only (a test's virtual clock must not jump for it). */
  if (!s_loop.virtual_clock) due = tk_min(due, tk_images_release_due());
  int timeout = -1;
  if (due != UINT64_MAX) {
    uint64_t now = time_now_ms();
    timeout = due > now ? (int)tk_min(due - now, (uint64_t)1000) : 0;
  }
  if (tk_backend_is_sdl()) {
    tk_sdl_wait(timeout < 0 ? 10u : (uint32_t)tk_min(timeout, 10));
  } else {
    struct pollfd pfd = {s_loop.wake_pipe[0], POLLIN, 0};
    poll(&pfd, 1, timeout);
  }
  drain_wake_pipe();
}

bool tk_loop_turn(bool may_wait) {
  return_value_if_fail(s_loop.initialized, false);
  bool did = false;
  did = run_deferred() || did;
  did = process_queue() || did;
  did = free_pending() || did;
  did = dispatch_timers() || did;
  did = free_pending() || did;
  did = dispatch_idles() || did;
  did = free_pending() || did;
  tk_snapshot_service();
  if (tk_backend_is_sdl()) {
    if (!tk_sdl_poll()) {
      s_quit = true;
    }
    if (tk_wm_is_dirty()) {
      canvas_t* c = tk_wm_canvas();
      awtk_host_render();
      tk_sdl_present(c->fb, c->fb_w, c->fb_h);
    }
  }
  tk_images_release_idle(time_now_ms());
  if (may_wait && !did && !s_quit) {
    wait_for_work();
  } else {
    drain_wake_pipe();
  }
  return did;
}

ret_t main_loop_run(main_loop_t* l) {
  return_value_if_fail(l != NULL && s_loop.initialized, RET_BAD_PARAMS);
  while (!s_quit) {
    tk_loop_turn(true);
  }
  s_quit = false;
  return RET_OK;
}

/* ---- test support ---- */
static bool idle_now(void) {
  if (tk_loop_has_pending_work() || !s_loop.free_list.empty()) return false;
  if (tk_timers_next_due() <= time_now_ms()) return false;
  for (idle_rec* i : s_loop.idles) {
    if (!i->removed && !i->ran) return false;
  }
  return true;
}

ret_t awtk_test_pump(void) {
  return_value_if_fail(s_loop.initialized, RET_FAIL);
  for (int i = 0; i < 10000; i++) {
    tk_loop_turn(false);
    if (idle_now()) return RET_OK;
  }
  log_warn("awtk_test_pump: still busy after 10000 turns\n");
  return RET_BUSY;
}

ret_t awtk_test_step(uint32_t ms) {
  return_value_if_fail(s_loop.initialized && s_loop.virtual_clock, RET_FAIL);
  uint64_t target = time_now_ms() + ms;
  awtk_test_pump();
  for (;;) {
    uint64_t due = tk_timers_next_due();
    if (due > target) break;
    uint64_t now = time_now_ms();
    if (due > now) tk_clock_advance(due - now);
    awtk_test_pump();
  }
  uint64_t now = time_now_ms();
  if (target > now) tk_clock_advance(target - now);
  return awtk_test_pump();
}

ret_t awtk_test_key(uint32_t key) {
  main_loop_post_key_event(main_loop(), TRUE, key);
  main_loop_post_key_event(main_loop(), FALSE, key);
  return awtk_test_pump();
}
