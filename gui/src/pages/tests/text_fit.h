// Texts the screen would cut: a label's text is drawn from its left edge
// and clipped at its right one when it is wider than the room inside the
// label, so a word that does not fit loses its end without a sign. The
// check measures with the fonts the screen uses, in the current language.
//
//   EXPECT_EQ(text_fit::clipped(win), "");
#pragma once

#include <string>

#include "awtk.h"

namespace text_fit {

/* Labels under root whose text is wider than the room inside them, or
 * that stick out of their parent, one line each (name, text, widths); ""
 * when every text fits. Hidden labels count as well: they may be shown. */
std::string clipped(widget_t *root);
/* The width the screen gives w's text, in pixels. */
int text_width(widget_t *w);

} // namespace text_fit
