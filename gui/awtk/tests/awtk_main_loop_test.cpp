/* Timers on the virtual clock, idles, and idle_queue from other threads. */
#include "awtk_test_util.h"

#include <atomic>
#include <chrono>
#include <pthread.h>
#include <thread>

class AwtkLoopTest : public AwtkTest {};

namespace {
struct counter {
  int n = 0;
  int limit = -1;
  std::vector<uint64_t> at;
};

ret_t count_timer(const timer_info_t* info) {
  counter* c = (counter*)info->ctx;
  c->n++;
  c->at.push_back(time_now_ms());
  return (c->limit >= 0 && c->n >= c->limit) ? RET_REMOVE : RET_REPEAT;
}
}  // namespace

TEST_F(AwtkLoopTest, RepeatingTimerFires30TimesIn3000Ms) {
  counter c;
  uint64_t t0 = time_now_ms();
  ASSERT_NE(TK_INVALID_ID, timer_add(count_timer, &c, 100));
  awtk_test_step(3000);
  EXPECT_EQ(30, c.n);
  ASSERT_EQ(30u, c.at.size());
  for (size_t i = 0; i < c.at.size(); i++) EXPECT_EQ(t0 + 100 * (i + 1), c.at[i]);
  EXPECT_EQ(t0 + 3000, time_now_ms());
}

TEST_F(AwtkLoopTest, RemoveEndsATimerAndTimerRemoveCancelsOne) {
  counter limited;
  limited.limit = 3;
  timer_add(count_timer, &limited, 100);
  counter cancelled;
  uint32_t id = timer_add(count_timer, &cancelled, 250);
  awtk_test_step(240);
  EXPECT_EQ(RET_OK, timer_remove(id));
  EXPECT_EQ(RET_NOT_FOUND, timer_remove(id));
  awtk_test_step(2000);
  EXPECT_EQ(3, limited.n);
  EXPECT_EQ(0, cancelled.n);
  EXPECT_EQ(0u, timer_count());
}

namespace {
struct pair_ctx {
  uint32_t other;
  int fired = 0;
};
ret_t remove_self_and_other(const timer_info_t* info) {
  pair_ctx* p = (pair_ctx*)info->ctx;
  p->fired++;
  timer_remove(info->id);
  timer_remove(p->other);
  return RET_REPEAT;
}
}  // namespace

TEST_F(AwtkLoopTest, TimerMayRemoveItselfAndAnotherDueTimer) {
  pair_ctx a, b;
  uint32_t ida = timer_add(remove_self_and_other, &a, 100);
  uint32_t idb = timer_add(remove_self_and_other, &b, 100);
  a.other = idb;
  b.other = ida;
  awtk_test_step(1000);
  EXPECT_EQ(1, a.fired + b.fired);
  EXPECT_EQ(0u, timer_count());
}

TEST_F(AwtkLoopTest, WidgetTimerEndsWithItsWidget) {
  widget_t* win = window_open("menu");
  widget_t* row = widget_lookup(win, "row1", TRUE);
  counter c;
  /* The timer's context is the widget; count through a side table. */
  static counter* s_c;
  s_c = &c;
  widget_add_timer(
      row,
      [](const timer_info_t* info) -> ret_t {
        EXPECT_STREQ("row1", ((widget_t*)info->ctx)->name);
        s_c->n++;
        return RET_REPEAT;
      },
      100);
  awtk_test_step(350);
  EXPECT_EQ(3, c.n);
  widget_destroy(row);
  awtk_test_step(1000);
  EXPECT_EQ(3, c.n);
  EXPECT_EQ(0u, timer_count());

  /* Timers of a window stop when it closes. */
  widget_t* other = widget_lookup(win, "row2", TRUE);
  widget_add_timer(
      other,
      [](const timer_info_t*) -> ret_t {
        s_c->n++;
        return RET_REPEAT;
      },
      100);
  window_close(win);
  awtk_test_step(1000);
  EXPECT_EQ(3, c.n);
  EXPECT_EQ(0u, timer_count());
}

TEST_F(AwtkLoopTest, SleepOnTheGuiThreadAdvancesTheVirtualClock) {
  uint64_t t0 = time_now_ms();
  sleep_ms(1000);
  EXPECT_EQ(t0 + 1000, time_now_ms());
  EXPECT_EQ((t0 + 1000) / 1000, time_now_s());
}

namespace {
ret_t idle_once(const idle_info_t* info) {
  ++*(int*)info->ctx;
  return RET_OK;
}
ret_t idle_thrice(const idle_info_t* info) {
  return ++*(int*)info->ctx < 3 ? RET_REPEAT : RET_REMOVE;
}
}  // namespace

TEST_F(AwtkLoopTest, IdleRunsOnceUnlessItRepeats) {
  int once = 0, thrice = 0;
  idle_add(idle_once, &once);
  idle_add(idle_thrice, &thrice);
  for (int i = 0; i < 5; i++) awtk_test_pump();
  EXPECT_EQ(1, once);
  EXPECT_EQ(3, thrice);
  EXPECT_EQ(0u, idle_count());
}

namespace {
const int kThreads = 4;
const int kPosts = 1000;

struct post {
  int thread;
  int seq;
};

struct idle_results {
  pthread_t gui;
  std::atomic<int> done{0};
  int last[kThreads];
  bool in_order = true;
  bool on_gui = true;
};

idle_results* g_res;

ret_t on_posted(const idle_info_t* info) {
  post* p = (post*)info->ctx;
  g_res->on_gui = g_res->on_gui && pthread_equal(pthread_self(), g_res->gui);
  g_res->in_order = g_res->in_order && p->seq == g_res->last[p->thread] + 1;
  g_res->last[p->thread] = p->seq;
  delete p;
  g_res->done++;
  return RET_REMOVE;
}
}  // namespace

TEST_F(AwtkLoopTest, IdleQueueFromFourThreadsRunsAllOnTheGuiThreadInOrder) {
  idle_results res;
  res.gui = pthread_self();
  for (int& l : res.last) l = -1;
  g_res = &res;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; t++) {
    threads.emplace_back([t] {
      for (int i = 0; i < kPosts; i++) ASSERT_EQ(RET_OK, idle_queue(on_posted, new post{t, i}));
    });
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (res.done < kThreads * kPosts && std::chrono::steady_clock::now() < deadline) {
    awtk_test_pump();
    std::this_thread::yield();
  }
  for (auto& th : threads) th.join();
  awtk_test_pump();
  EXPECT_EQ(kThreads * kPosts, res.done.load());
  EXPECT_TRUE(res.in_order);
  EXPECT_TRUE(res.on_gui);
  for (int l : res.last) EXPECT_EQ(kPosts - 1, l);
}

namespace {
std::vector<std::string> g_order;
ret_t order_idle(const idle_info_t* info) {
  g_order.push_back((const char*)info->ctx);
  if (std::string((const char*)info->ctx) == "a") idle_queue(order_idle, (void*)"c");
  return RET_REMOVE;
}
}  // namespace

TEST_F(AwtkLoopTest, QueuedWorkRaisedByAHandlerRunsAfterItInOrder) {
  idle_queue(order_idle, (void*)"a");
  idle_queue(order_idle, (void*)"b");
  awtk_test_pump();
  EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), g_order);
}

TEST_F(AwtkLoopTest, ModalLoopInsideATimerDoesNotReenterIt) {
  static int fired, inner;
  fired = 0;
  inner = 0;
  window_open("home");
  timer_add(
      [](const timer_info_t*) -> ret_t {
        fired++;
        widget_t* dlg = dialog_open("dlg");
        timer_add(
            [](const timer_info_t* info) -> ret_t {
              inner++;
              dialog_quit((widget_t*)info->ctx, DIALOG_QUIT_CANCEL);
              return RET_REMOVE;
            },
            dlg, 500);
        EXPECT_EQ(DIALOG_QUIT_CANCEL, dialog_modal(dlg));
        return RET_REMOVE;
      },
      NULL, 100);
  awtk_test_step(150);
  EXPECT_EQ(1, fired);
  EXPECT_EQ(1, inner);
  EXPECT_EQ(0u, timer_count());
}
