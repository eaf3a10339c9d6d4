/* The window stack: each operation, the stack it leaves and the events it
 * sends in order; key routing; closing from handlers; modal dialogs. */
#include "awtk_test_util.h"

#include <functional>

namespace {

std::vector<std::string> g_events;

const char* event_name(uint32_t type) {
  switch (type) {
    case EVT_WINDOW_WILL_OPEN: return "will_open";
    case EVT_WINDOW_OPEN: return "open";
    case EVT_WINDOW_TO_BACKGROUND: return "to_background";
    case EVT_WINDOW_TO_FOREGROUND: return "to_foreground";
    case EVT_WINDOW_CLOSE: return "close";
    default: return "?";
  }
}

ret_t record(void* ctx, event_t* e) {
  (void)ctx;
  widget_t* w = (widget_t*)e->target;
  g_events.push_back(std::string(w->name) + ":" + event_name(e->type));
  return RET_OK;
}

widget_t* Open(const char* name) {
  widget_t* win = window_open(name);
  EXPECT_NE(nullptr, win) << name;
  if (win == NULL) return NULL;
  static const uint32_t types[] = {EVT_WINDOW_WILL_OPEN, EVT_WINDOW_OPEN, EVT_WINDOW_TO_BACKGROUND,
                                   EVT_WINDOW_TO_FOREGROUND, EVT_WINDOW_CLOSE};
  for (uint32_t t : types) widget_on(win, t, record, NULL);
  return win;
}

widget_t* Find(const char* name) { return widget_lookup(window_manager(), name, FALSE); }

ret_t quit_ok(const timer_info_t* info) {
  dialog_quit((widget_t*)info->ctx, DIALOG_QUIT_OK);
  return RET_REMOVE;
}

ret_t back_timer(const timer_info_t*) {
  window_manager_back(window_manager());
  return RET_REMOVE;
}

dialog_quit_code_t g_modal_code;

struct stack_row {
  const char* what;
  std::vector<const char*> setup;
  std::function<void()> op;
  std::vector<std::string> stack;
  std::vector<std::string> events;
};

}  // namespace

class AwtkWindowStackTest : public AwtkTest {};

TEST_F(AwtkWindowStackTest, EachOperationLeavesItsStackAndSendsItsEvents) {
  widget_t* wm = window_manager();
  const stack_row rows[] = {
      {"open", {"home"}, [] { Open("menu"); }, {"home", "menu"},
       {"home:to_background", "menu:will_open", "menu:open"}},
      {"back", {"home", "menu"}, [wm] { EXPECT_EQ(RET_OK, window_manager_back(wm)); }, {"home"},
       {"menu:close", "home:to_foreground"}},
      {"back_to", {"home", "menu", "sub"}, [wm] { EXPECT_EQ(RET_OK, window_manager_back_to(wm, "home")); },
       {"home"}, {"sub:close", "menu:close", "home:to_foreground"}},
      {"back_to absent name", {"home", "menu"},
       [wm] { EXPECT_EQ(RET_NOT_FOUND, window_manager_back_to(wm, "nowhere")); }, {"home", "menu"}, {}},
      {"back_to_home", {"home", "menu", "dlg"}, [wm] { EXPECT_EQ(RET_OK, window_manager_back_to_home(wm)); },
       {"home"}, {"dlg:close", "menu:close", "home:to_foreground"}},
      {"switch_to", {"home", "menu", "sub"},
       [wm] { EXPECT_EQ(RET_OK, window_manager_switch_to(wm, Find("sub"), Find("home"), FALSE)); },
       {"menu", "sub", "home"}, {"sub:to_background", "home:to_foreground"}},
      {"switch_to closing", {"home", "menu", "sub"},
       [wm] { EXPECT_EQ(RET_OK, window_manager_switch_to(wm, Find("sub"), Find("home"), TRUE)); },
       {"menu", "home"}, {"sub:close", "home:to_foreground"}},
      {"close below the top", {"home", "menu", "sub"}, [] { EXPECT_EQ(RET_OK, window_close(Find("menu"))); },
       {"home", "sub"}, {"menu:close"}},
      {"close_force", {"home", "menu"}, [] { EXPECT_EQ(RET_OK, window_close_force(Find("menu"))); }, {"home"},
       {"menu:close", "home:to_foreground"}},
      {"open_and_close", {"home", "menu"},
       [] {
         widget_t* w = window_open_and_close("sub", Find("menu"));
         ASSERT_NE(nullptr, w);
         widget_on(w, EVT_WINDOW_OPEN, record, NULL);
       },
       {"home", "sub"}, {"menu:close", "sub:open"}},
      {"single_instance", {"single", "home"}, [] { Open("single"); }, {"home", "single"},
       {"single:close", "home:to_background", "single:will_open", "single:open"}},
      {"no single_instance", {"twice", "home"}, [] { Open("twice"); }, {"twice", "home", "twice"},
       {"home:to_background", "twice:will_open", "twice:open"}},
      {"modal dialog", {"home"},
       [] {
         widget_t* dlg = Open("dlg");
         timer_add(quit_ok, dlg, 100);
         g_modal_code = dialog_modal(dlg);
         EXPECT_EQ(DIALOG_QUIT_OK, g_modal_code);
       },
       {"home"}, {"home:to_background", "dlg:will_open", "dlg:open", "dlg:close", "home:to_foreground"}},
      {"back out of a modal dialog", {"home"},
       [] {
         widget_t* dlg = Open("dlg");
         timer_add(back_timer, dlg, 50);
         EXPECT_EQ(DIALOG_QUIT_NONE, dialog_modal(dlg));
       },
       {"home"}, {"home:to_background", "dlg:will_open", "dlg:open", "dlg:close", "home:to_foreground"}},
  };
  for (const stack_row& row : rows) {
    SCOPED_TRACE(row.what);
    window_manager_close_all(wm);
    awtk_test_pump();
    for (const char* name : row.setup) Open(name);
    awtk_test_pump();
    g_events.clear();
    row.op();
    awtk_test_pump();
    EXPECT_EQ(row.stack, Stack());
    EXPECT_EQ(row.events, g_events);
  }
}

TEST_F(AwtkWindowStackTest, SwitchToABelowModalDialogFails) {
  widget_t* home = Open("home");
  Open("menu");
  widget_t* dlg = Open("dlg");
  struct ctx_t {
    widget_t* home;
    widget_t* dlg;
    ret_t blocked, allowed;
  } ctx = {home, dlg, RET_OK, RET_FAIL};
  timer_add(
      [](const timer_info_t* info) -> ret_t {
        ctx_t* c = (ctx_t*)info->ctx;
        widget_t* menu = widget_lookup(window_manager(), "menu", FALSE);
        c->blocked = window_manager_switch_to(window_manager(), menu, c->home, FALSE);
        c->allowed = window_manager_switch_to(window_manager(), c->dlg, c->home, TRUE);
        return RET_REMOVE;
      },
      &ctx, 10);
  dialog_modal(dlg);
  EXPECT_EQ(RET_FAIL, ctx.blocked);
  EXPECT_EQ(RET_OK, ctx.allowed);
  EXPECT_EQ((std::vector<std::string>{"menu", "home"}), Stack());
}

namespace {
struct key_log {
  std::vector<std::string> seen;
};

ret_t on_key(void* ctx, event_t* e) {
  key_event_t* k = key_event_cast(e);
  widget_t* w = (widget_t*)e->target;
  char buf[64];
  snprintf(buf, sizeof(buf), "%s:%s:%c", w->name, e->type == EVT_KEY_DOWN ? "down" : "up", (char)k->key);
  ((key_log*)ctx)->seen.push_back(buf);
  return RET_OK;
}
}  // namespace

TEST_F(AwtkWindowStackTest, KeysGoToTopWindowAndDownItsFocusChainOnly) {
  key_log log;
  widget_t* home = window_open("home");
  widget_t* menu = window_open("menu");
  for (widget_t* w : {home, menu, widget_lookup(menu, "row1", TRUE), widget_lookup(menu, "row2", TRUE),
                      widget_lookup(home, "title", TRUE)}) {
    widget_on(w, EVT_KEY_DOWN, on_key, &log);
    widget_on(w, EVT_KEY_UP, on_key, &log);
  }
  widget_on(window_manager(), EVT_KEY_DOWN, on_key, &log);
  awtk_test_key('3');
  EXPECT_EQ((std::vector<std::string>{"menu:down:3", "menu:up:3"}), log.seen);
  log.seen.clear();
  widget_set_focused(widget_lookup(menu, "row2", TRUE), TRUE);
  EXPECT_STREQ("focused", widget_lookup(menu, "row2", TRUE)->state);
  awtk_test_key('W');
  EXPECT_EQ((std::vector<std::string>{"row2:down:W", "menu:down:W", "row2:up:W", "menu:up:W"}), log.seen);
}

TEST_F(AwtkWindowStackTest, KeyPostedBeforeAWindowOpensReachesTheNewWindow) {
  key_log log;
  widget_t* home = window_open("home");
  widget_on(home, EVT_KEY_DOWN, on_key, &log);
  awtk_test_pump();
  main_loop_post_key_event(main_loop(), TRUE, '2');
  widget_t* menu = window_open("menu");
  widget_on(menu, EVT_KEY_DOWN, on_key, &log);
  awtk_test_pump();
  EXPECT_EQ((std::vector<std::string>{"menu:down:2"}), log.seen);
}

namespace {
struct page {
  widget_t* win;
  std::vector<std::string> order;
  int destroyed;
};

ret_t page_open(void* ctx, event_t*) {
  ((page*)ctx)->order.push_back("open");
  return RET_OK;
}

/* A page closing its own window from its key handler and then still
 * touching it, as page handlers do. */
ret_t page_key(void* ctx, event_t*) {
  page* p = (page*)ctx;
  window_close(p->win);
  p->order.push_back(widget_lookup(p->win, "row1", TRUE) != NULL ? "closed, still readable" : "gone");
  return RET_OK;
}

ret_t page_destroy(void* ctx, event_t*) {
  ((page*)ctx)->destroyed++;
  return RET_OK;
}
}  // namespace

TEST_F(AwtkWindowStackTest, OpenEventFollowsInitAndAPageMayCloseItself) {
  page p = {NULL, {}, 0};
  p.win = window_open("menu");
  /* What a page init does right after the window was created. */
  widget_on(p.win, EVT_WINDOW_OPEN, page_open, &p);
  widget_on(p.win, EVT_KEY_DOWN, page_key, &p);
  widget_on(p.win, EVT_DESTROY, page_destroy, &p);
  p.order.push_back("init done");
  awtk_test_pump();
  EXPECT_EQ((std::vector<std::string>{"init done", "open"}), p.order);
  awtk_test_key(',');
  EXPECT_EQ("closed, still readable", p.order.back());
  EXPECT_TRUE(Stack().empty());
  EXPECT_EQ(1, p.destroyed);
}

namespace {
ret_t user_event(void* ctx, event_t* e) {
  ((std::vector<uint32_t>*)ctx)->push_back(e->type);
  return RET_OK;
}
}  // namespace

TEST_F(AwtkWindowStackTest, UserEventsOnTheWindowManagerReachSubscribersUntilOff) {
  std::vector<uint32_t> got;
  widget_t* wm = window_manager();
  int page_ctx = 0;
  widget_on(wm, EVT_USER_START + 15, user_event, &got);
  widget_on(wm, EVT_USER_START + 72, user_event, &got);
  event_t e = event_init(EVT_USER_START + 15, NULL);
  widget_dispatch(wm, &e);
  e = event_init(EVT_USER_START + 72, NULL);
  widget_dispatch(wm, &e);
  EXPECT_EQ((std::vector<uint32_t>{8207, 8264}), got);
  EXPECT_EQ(RET_OK, widget_off_by_ctx(wm, &got));
  EXPECT_EQ(RET_NOT_FOUND, widget_off_by_ctx(wm, &page_ctx));
  widget_dispatch(wm, &e);
  EXPECT_EQ(2u, got.size());
}
