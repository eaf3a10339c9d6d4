/* Shared fixture of the toolkit layer's tests: a headless toolkit on the
 * virtual clock over the fixture resources. */
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "awtk.h"
#include "awtk_host.h"

class AwtkTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(RET_OK, awtk_test_init(Width(), Height(), AWTK_FIXTURES)); }
  void TearDown() override { tk_exit(); }
  virtual wh_t Width() const { return 640; }
  virtual wh_t Height() const { return 480; }

  static std::string Text(widget_t* w) {
    char buf[256];
    widget_get_text_utf8(w, buf, sizeof(buf));
    return buf;
  }

  /* Names of the open windows, bottom to top. */
  static std::vector<std::string> Stack() {
    std::vector<std::string> v;
    widget_t* wm = window_manager();
    for (int32_t i = 0; i < widget_count_children(wm); i++) v.push_back(widget_get_child(wm, i)->name);
    return v;
  }
};
