// Shared by the tests of the image, reticle, recoil-video, compass and
// bad-pixel pages: the requests a page sent, read as object, command, item
// and first payload byte, so a table of cases can say what must go out.
#pragma once

#include <tuple>
#include <vector>

#include "menu_test.h"

namespace image_pages_test {

using namespace menu_test;
using sightui_test::in_gui_child;

/* One step of a value row: the row, its stored field and the value put
 * there first, the key pressed and the value wanted after it. A test's
 * case adds what it checks besides. */
struct value_step {
    int32_t row;
    char *field;
    int stored;
    char key;
    int want;
};

struct request {
    int obj, sub, item, value;
    bool operator==(const request &o) const
    {
        return std::tie(obj, sub, item, value) == std::tie(o.obj, o.sub, o.item, o.value);
    }
};

inline std::ostream &operator<<(std::ostream &out, const request &r)
{
    return out << "{" << r.obj << "," << r.sub << "," << r.item << "," << r.value << "}";
}

/* The requests sent since the last call, less the home page's menu-level
 * reports, which it sends on its own time. */
inline std::vector<request> sent()
{
    std::vector<request> out;
    for (const sightui_test::bytes &f : sightui_test::sent_frames()) {
        if (f.size() < 10) continue;
        if (f[2] == 0 && f[4] == 39) continue;
        out.push_back({f[2], f[3], f[4], f[6]});
    }
    return out;
}

/* One field of the named widget's dump line in the topmost window that has
 * it ("style", "state", "rect"...); "" when there is none. */
inline std::string field(const std::string &name, const std::string &key)
{
    char *dump = awtk_host_dump_tree();
    std::string text = dump != nullptr ? dump : "";
    free(dump);
    std::string line;
    size_t at = 0;
    while ((at = text.find(" name=\"" + name + "\"", at)) != std::string::npos) {
        size_t start = text.rfind('\n', at);
        start = start == std::string::npos ? 0 : start + 1;
        size_t end = text.find('\n', at);
        line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        at++;
    }
    return line.empty() ? "" : sim_tree_field(line, key);
}

} // namespace image_pages_test
