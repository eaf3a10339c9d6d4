// Reads sightui's widget-tree dump (one line per widget, see awtk_host.h)
// for the home page's tests, headless and in the sandbox alike.
#pragma once

#include <stdlib.h>

#include <sstream>
#include <string>

/* One widget's line of the dump. */
struct HomeDumpWidget {
    bool found = false;
    bool visible = false;
    std::string text, image, rect, overrides;
    int opacity = 255;
};

/* The value of key= in a dump line, quoted values unescaped. */
inline std::string home_dump_field(const std::string &line, const std::string &key)
{
    size_t at = line.find(" " + key + "=");
    if (at == std::string::npos)
        return "";
    at += key.size() + 2;
    if (line[at] != '"') {
        size_t end = line.find(' ', at);
        return line.substr(at, end == std::string::npos ? std::string::npos : end - at);
    }
    std::string out;
    for (size_t i = at + 1; i < line.size() && line[i] != '"'; i++) {
        if (line[i] == '\\' && i + 1 < line.size())
            i++;
        out.push_back(line[i]);
    }
    return out;
}

/* The first widget of that name in the dump. */
inline HomeDumpWidget home_dump_widget(const std::string &dump, const std::string &name)
{
    HomeDumpWidget w;
    std::istringstream lines(dump);
    for (std::string line; std::getline(lines, line);) {
        if (line.find(" name=\"" + name + "\"") == std::string::npos)
            continue;
        w.found = true;
        w.visible = home_dump_field(line, "visible") == "1";
        w.text = home_dump_field(line, "text");
        w.image = home_dump_field(line, "image");
        w.rect = home_dump_field(line, "rect");
        w.overrides = home_dump_field(line, "overrides");
        std::string o = home_dump_field(line, "opacity");
        w.opacity = o.empty() ? 255 : atoi(o.c_str());
        break;
    }
    return w;
}

/* The name of the top window of a dump ("" when none). */
inline std::string home_dump_top(const std::string &dump)
{
    std::string top;
    std::istringstream lines(dump);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("window ", 0) == 0)
            top = home_dump_field(line, "name");
    return top;
}
