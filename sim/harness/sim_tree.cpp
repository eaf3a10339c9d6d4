#include "sim_tree.h"

#include <stdlib.h>

#include <sstream>

std::string sim_tree_field(const std::string &line, const std::string &key)
{
    size_t at = line.find(" " + key + "=");
    if (at == std::string::npos) return "";
    at += key.size() + 2;
    if (line[at] != '"') {
        size_t end = line.find(' ', at);
        return line.substr(at, end == std::string::npos ? std::string::npos : end - at);
    }
    std::string out;
    for (size_t i = at + 1; i < line.size() && line[i] != '"'; i++) {
        if (line[i] == '\\' && i + 1 < line.size()) i++;
        out.push_back(line[i]);
    }
    return out;
}

sim_widget sim_tree_widget(const std::string &tree, const std::string &name)
{
    sim_widget w;
    std::istringstream lines(tree);
    for (std::string line; std::getline(lines, line);) {
        if (line.find(" name=\"" + name + "\"") == std::string::npos) continue;
        w.found = true;
        size_t start = line.find_first_not_of(' ');
        w.type = line.substr(start, line.find(' ', start) - start);
        w.visible = sim_tree_field(line, "visible") == "1";
        w.text = sim_tree_field(line, "text");
        w.image = sim_tree_field(line, "image");
        w.rect = sim_tree_field(line, "rect");
        w.overrides = sim_tree_field(line, "overrides");
        std::string o = sim_tree_field(line, "opacity");
        w.opacity = o.empty() ? 255 : atoi(o.c_str());
        break;
    }
    return w;
}

std::string sim_tree_top(const std::string &tree)
{
    std::string top;
    std::istringstream lines(tree);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("window ", 0) == 0) top = sim_tree_field(line, "name");
    return top;
}
