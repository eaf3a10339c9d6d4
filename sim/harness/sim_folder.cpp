#include "sim_folder.h"

#include <dirent.h>
#include <string.h>

#include <algorithm>

std::vector<std::string> sim_folder_names(const std::string &dir)
{
    std::vector<std::string> out;
    DIR *d = opendir(dir.c_str());
    if (d == nullptr) return out;
    for (struct dirent *e; (e = readdir(d)) != nullptr;)
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) out.push_back(e->d_name);
    closedir(d);
    std::sort(out.begin(), out.end());
    return out;
}
