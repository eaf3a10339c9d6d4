// The screenshot helper itself: a screen equal to its reference passes, a
// changed pixel fails with the screen and a diff image written, a missing
// reference fails with the screen written, and unresolved names what a
// page would draw as a placeholder.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "awtk_host.h"
#include "page_screenshot.h"
#include "sightui_test.h"

using namespace sightui_test;

namespace {

std::string temp_dir(void)
{
    char tmpl[] = "/tmp/page-screenshot-XXXXXX";
    const char *d = mkdtemp(tmpl);
    return d != nullptr ? d : "/tmp";
}

/* A window with a red block on black. */
widget_t *open_block(void)
{
    widget_t *win = window_create(NULL, 0, 0, 1280, 1024);
    widget_t *box = view_create(win, 100, 100, 50, 40);
    widget_set_style_str(box, "normal:bg_color", "#FF0000");
    awtk_test_pump();
    return win;
}

bool exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

} // namespace

TEST(PageScreenshot, EqualScreenPassesAndChangedPixelFailsWithDiff)
{
    in_gui_child([] {
        std::string refs = temp_dir(), out = temp_dir();
        setenv("VESK_SCREENSHOT_OUT", out.c_str(), 1);
        widget_t *win = open_block();
        setenv("VESK_UPDATE_SCREENSHOTS", "1", 1);
        ASSERT_TRUE(page_screenshot::matches_in(refs, "block"));
        unsetenv("VESK_UPDATE_SCREENSHOTS");
        EXPECT_TRUE(page_screenshot::matches_in(refs, "block"));
        EXPECT_FALSE(exists(out + "/block.diff.png"));

        widget_move(widget_get_child(win, 0), 101, 100);
        awtk_test_pump();
        ::testing::AssertionResult r = page_screenshot::matches_in(refs, "block");
        EXPECT_FALSE(r);
        /* One column appears on the right, one goes on the left: 2 x 40. */
        EXPECT_NE(std::string(r.message()).find("80 pixels differ"), std::string::npos) << r.message();
        std::vector<uint8_t> diff;
        uint32_t w = 0, h = 0;
        ASSERT_TRUE(page_screenshot::read_png(out + "/block.diff.png", &diff, &w, &h));
        ASSERT_EQ(w, 1280u);
        auto px = [&](int x, int y) { return &diff[((size_t)y * w + x) * 4]; };
        EXPECT_EQ(px(100, 120)[0], 255);
        EXPECT_EQ(px(100, 120)[1], 0);
        EXPECT_EQ(px(150, 120)[0], 255);
        EXPECT_LT(px(120, 120)[0], 255) << "an equal pixel is drawn dimmed";
        EXPECT_TRUE(exists(out + "/block.png"));

        page_screenshot::options loose;
        loose.max_pixels = 80;
        EXPECT_TRUE(page_screenshot::matches_in(refs, "block", loose));
    });
}

TEST(PageScreenshot, MissingReferenceFailsAndKeepsTheScreen)
{
    in_gui_child([] {
        std::string refs = temp_dir(), out = temp_dir();
        setenv("VESK_SCREENSHOT_OUT", out.c_str(), 1);
        open_block();
        ::testing::AssertionResult r = page_screenshot::matches_in(refs, "nothing");
        EXPECT_FALSE(r);
        EXPECT_NE(std::string(r.message()).find("no reference"), std::string::npos) << r.message();
        EXPECT_TRUE(exists(out + "/nothing.png"));
    });
}

TEST(PageScreenshot, UnresolvedNamesMissingImagesAndTexts)
{
    in_gui_child([] {
        widget_t *win = window_create(NULL, 0, 0, 1280, 1024);
        widget_t *good = image_create(win, 0, 0, 10, 10);
        widget_set_name(good, "good");
        image_base_set_image(good, "ic_photo");
        widget_t *bad = image_create(win, 0, 0, 10, 10);
        widget_set_name(bad, "bad");
        image_base_set_image(bad, "no_such_icon");
        widget_t *title = label_create(win, 0, 0, 10, 10);
        widget_set_name(title, "title");
        widget_set_tr_text(title, "title_main_menu");
        widget_t *odd = label_create(win, 0, 0, 10, 10);
        widget_set_name(odd, "odd");
        widget_set_tr_text(odd, "no_such_key");
        widget_set_visible(odd, FALSE);
        EXPECT_EQ(page_screenshot::unresolved(win), "image \"no_such_icon\" of \"bad\"\n"
                                                    "text \"no_such_key\" of \"odd\"\n");
    });
}
