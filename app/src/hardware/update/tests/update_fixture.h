// A Media root and an update directory in a fresh folder, the watcher's
// outside calls recorded, and readers for what the watcher leaves there.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "sim_folder.h" /* names in a folder, sorted */
#include "update_zip.h"
#include "vesk_update.h"

struct update_dirs {
    std::string base, media, update;
    update_dirs();
    ~update_dirs();
    std::string media_path(const std::string &name) const { return media + name; }
    std::string update_path(const std::string &name) const { return update + name; }
};

/* The calls the watcher made, and what the request call answers. */
struct update_calls_seen {
    std::vector<std::string> paths; /* vesk_update_path of each request */
    std::vector<int> reasons;
    std::vector<std::vector<uint8_t>> http; /* cmd then data */
};

void update_fake_calls(int request_rc);
update_calls_seen update_calls_taken();

std::string update_read(const std::string &path);
bool update_exists(const std::string &path);
bool update_write(const std::string &path, const std::string &data);
/* The lines of a report as key -> values, up to a line starting "---". */
std::multimap<std::string, std::string> update_report_fields(const std::string &text);
std::string update_report_field(const std::string &text, const std::string &key);
/* Waits up to ms for cond. */
bool update_wait(int ms, const std::function<bool()> &cond);
