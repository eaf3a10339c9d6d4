#include "update_fixture.h"

#include <dirent.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <thread>

static std::mutex g_mutex;
static update_calls_seen g_seen;
static int g_request_rc;

static int fake_request(const vesk_persist_request *r)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_seen.paths.push_back(r->vesk_update_path);
    g_seen.reasons.push_back((int)r->vesk_reason);
    return g_request_rc;
}

static int fake_http(uint8_t cmd, const uint8_t *data, size_t n)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    std::vector<uint8_t> v{cmd};
    v.insert(v.end(), data, data + n);
    g_seen.http.push_back(v);
    return 0;
}

void update_fake_calls(int request_rc)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_seen = update_calls_seen();
    g_request_rc = request_rc;
    static const vesk_update_calls calls = {fake_request, fake_http};
    vesk_update_set_calls(&calls);
}

update_calls_seen update_calls_taken()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_seen;
}

static void remove_tree(const std::string &path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
        for (const std::string &n : sim_folder_names(path)) remove_tree(path + "/" + n);
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

update_dirs::update_dirs()
{
    const char *tmp = getenv("TMPDIR");
    std::string templ = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vesk-update-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) != nullptr) base = buf.data();
    media = base + "/media/";
    update = base + "/update/";
    mkdir(media.c_str(), 0755);
    mkdir(update.c_str(), 0755);
}

update_dirs::~update_dirs()
{
    if (!base.empty()) remove_tree(base);
}

std::string update_read(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool update_exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

bool update_write(const std::string &path, const std::string &data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
    return (bool)out;
}

std::multimap<std::string, std::string> update_report_fields(const std::string &text)
{
    std::multimap<std::string, std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, 3, "---") == 0) break;
        size_t eq = line.find('=');
        if (eq != std::string::npos) out.emplace(line.substr(0, eq), line.substr(eq + 1));
    }
    return out;
}

std::string update_report_field(const std::string &text, const std::string &key)
{
    auto f = update_report_fields(text);
    auto it = f.find(key);
    return it == f.end() ? "" : it->second;
}

bool update_wait(int ms, const std::function<bool()> &cond)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
