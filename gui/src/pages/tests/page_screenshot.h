// Screenshot tests of pages: the screen rendered headless and compared
// pixel by pixel with a reference PNG kept in the tree
// (gui/src/pages/tests/screenshots/<name>.png). On a mismatch the rendered
// screen and a diff image (differing pixels red over a dimmed copy of the
// reference) are written to the failure folder, and the assertion names
// both, so a person can look at them.
//
// New or intended changes: run the test with VESK_UPDATE_SCREENSHOTS=1 in
// the environment; the references are then rewritten (and the assertion
// passes). Look at every rewritten PNG before committing it.
//
// Use inside sightui_test::in_gui_child, after the page is open:
//   EXPECT_TRUE(page_screenshot::matches("main_menu_row1"));
//   EXPECT_EQ(page_screenshot::unresolved(win), "");
#pragma once

#include <gtest/gtest.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "awtk.h"
#include "thermal_scene.h"

namespace page_screenshot {

struct options {
    /* A channel that differs by at most this much still counts as equal. */
    int channel_tolerance = 0;
    /* Pixels that may differ beyond the tolerance. */
    size_t max_pixels = 0;
};

/* Renders every open window and compares the screen with the reference
 * <name>.png in the tree's screenshot folder. */
::testing::AssertionResult matches(const std::string &name, const options &opt = options());
/* The same against ref_dir/<name>.png. */
::testing::AssertionResult matches_in(const std::string &ref_dir, const std::string &name,
                                      const options &opt = options());

/* The same for a page that lies over the thermal picture. The reference
 * is the GUI plane with its transparency (the picture is the simulator's,
 * and would make every reference a photograph); on a mismatch, and when
 * references are rewritten, the screen laid over the synthetic scene as
 * the scope shows it is written to the failure folder as
 * <name>.scene.png, for a person to judge. */
::testing::AssertionResult matches_on_scene(const std::string &name, const thermal_scene_settings &scene,
                                            const options &opt = options());

/* The share (0..1) of the rectangle's pixels that no window paints, after
 * a render; -1 when it cannot render or the rectangle leaves the screen. */
double clear_fraction(int x, int y, int w, int h);

/* The folder the references live in, and the one failures are written to
 * ($VESK_SCREENSHOT_OUT when set). */
std::string reference_dir(void);
std::string failure_dir(void);

/* What a page names but the resources do not hold, one line each: images
 * that do not load and translation keys without a text in the current
 * language. "" when everything resolves, so no placeholder is drawn.
 * Hidden widgets are checked as well: they may be shown later. */
std::string unresolved(widget_t *root);
/* Labels whose text is wider than the label in its current style, one
 * line each: such a text is clipped or runs into its neighbour. "" when
 * every text fits. Shown labels are checked, and hidden ones whose text is
 * a fixed translation (they may be shown later); scrolling labels are
 * meant to run, and are left out. */
std::string clipped(widget_t *root);
/* The locale has a text for key in the current language. */
bool translated(const char *key);

/* PNG files as RGBA bytes. */
bool read_png(const std::string &path, std::vector<uint8_t> *rgba, uint32_t *w, uint32_t *h);
bool write_png(const std::string &path, const uint8_t *rgba, uint32_t w, uint32_t h);

} // namespace page_screenshot
