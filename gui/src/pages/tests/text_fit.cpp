#include "text_fit.h"

#include <string.h>

namespace text_fit {

int text_width(widget_t *w)
{
    canvas_t *c = widget_get_canvas(w);
    if (c == nullptr || w->text.size == 0) return 0;
    canvas_set_font(c, widget_get_style_str(w, STYLE_ID_FONT_NAME, nullptr),
                    (uint16_t)widget_get_style_int(w, STYLE_ID_FONT_SIZE, 0));
    return (int)canvas_measure_text(c, w->text.str, w->text.size);
}

static std::string utf8_text(widget_t *w)
{
    char text[512];
    wstr_get_utf8(&w->text, text, sizeof text);
    return text;
}

static void check(widget_t *w, std::string *out)
{
    const char *type = widget_get_type(w);
    if (type != nullptr && strcmp(type, "label") == 0 && w->text.size > 0) {
        int margin = widget_get_style_int(w, "margin", 0);
        int room =
            w->w - widget_get_style_int(w, "margin_left", margin) - widget_get_style_int(w, "margin_right", margin);
        int width = text_width(w);
        std::string name = w->name != nullptr ? w->name : "";
        if (width > room)
            *out += "\"" + name + "\" text \"" + utf8_text(w) + "\" is " + std::to_string(width) + " pixels in " +
                    std::to_string(room) + "\n";
        if (w->parent != nullptr && (w->x < 0 || w->x + w->w > w->parent->w))
            *out += "\"" + name + "\" at " + std::to_string(w->x) + " width " + std::to_string(w->w) +
                    " sticks out of a parent " + std::to_string(w->parent->w) + " wide\n";
    }
    WIDGET_FOR_EACH_CHILD_BEGIN(w, child, i)
    check(child, out);
    WIDGET_FOR_EACH_CHILD_END();
}

std::string clipped(widget_t *root)
{
    std::string out;
    if (root != nullptr) check(root, &out);
    return out;
}

} // namespace text_fit
