// Reads sightui's widget-tree dump (one line per widget, "window ..." at the
// top level, see awtk_host.h): the harness reads the snapshots of a
// sightui in the sandbox with it, the GUI's own tests their headless dumps.
#pragma once

#include <string>

/* One widget's line of sightui's tree dump. */
struct sim_widget {
    bool found = false;
    bool visible = false;
    std::string type, text, image, rect, overrides;
    int opacity = 255;
};
/* The value of key= in a dump line, quoted values unescaped. */
std::string sim_tree_field(const std::string &line, const std::string &key);
/* The first widget of that name in a dump. */
sim_widget sim_tree_widget(const std::string &tree, const std::string &name);
/* The top window's name in a dump ("" when none). */
std::string sim_tree_top(const std::string &tree);
