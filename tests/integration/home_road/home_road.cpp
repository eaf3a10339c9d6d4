#include "home_road.h"

#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include <sqlite3.h>

#include "sim_factory.h"
#include "sim_peer.h"

#define ROAD_SNAPSHOTS "/tmp/road-snapshots"
#define ROAD_PEERS "/sim/peers"
#define ROAD_GUI_LOGS "/usrdata/media/VeskLogs"

static std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

static bool wait_for(int timeout_ms, const std::function<bool()> &done)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::vector<sim_file> home_road_image(const HomeRoadImage &image, std::string *why)
{
    std::vector<sim_file> files;
    char dir[] = "/tmp/vesk-road-image-XXXXXX";
    if (mkdtemp(dir) == NULL) {
        *why = std::string("mkdtemp: ") + strerror(errno);
        return files;
    }
    std::string image_dir = std::string(dir) + "/" SIM_FACTORY_IMAGE_DIR "/";
    std::string db_path = image_dir + SIM_FACTORY_DB;
    bool ok = sim_factory_image(dir, why) == 0;
    sqlite3 *db = NULL;
    if (ok && image.ballistics) {
        char *err = NULL;
        ok = sqlite3_open(db_path.c_str(), &db) == SQLITE_OK &&
             sqlite3_exec(db, "UPDATE ballistics SET switch = 1;", NULL, NULL, &err) == SQLITE_OK;
        if (!ok)
            *why = std::string("profile template: ") + (err ? err : sqlite3_errmsg(db));
        sqlite3_free(err);
    }
    if (db != NULL)
        sqlite3_close(db);
    std::string ini = ok ? slurp(image_dir + SIM_FACTORY_INI) : "";
    auto switch_on = [&](const char *key) {
        size_t at = ini.find(key);
        size_t eq = at == std::string::npos ? at : ini.find('=', at);
        size_t end = eq == std::string::npos ? eq : ini.find('\n', eq);
        if (end == std::string::npos) {
            *why = std::string("the settings template has no ") + key + " key";
            return false;
        }
        ini.replace(eq, end - eq, "= 1");
        return true;
    };
    if (ok && image.debug)
        ok = switch_on("vesk_debug");
    if (ok && image.reticle_menu)
        ok = switch_on("s8reticlemenuswitch");
    if (ok) {
        files.push_back({"/usrdata/" SIM_FACTORY_IMAGE_DIR "/" SIM_FACTORY_INI, ini, 0644});
        files.push_back({"/usrdata/" SIM_FACTORY_IMAGE_DIR "/" SIM_FACTORY_DB, slurp(db_path), 0644});
    }
    unlink((image_dir + SIM_FACTORY_INI).c_str());
    unlink(db_path.c_str());
    rmdir(image_dir.c_str());
    rmdir(dir);
    return files;
}

bool HomeRoad::start(const HomeRoadImage &image, uint64_t media_bytes, std::string *why)
{
    if (!sim_available(why))
        return false;
    sim_options options;
    options.media_bytes = media_bytes;
    options.files = home_road_image(image, why);
    if (options.files.empty())
        return false;
    if (sim_create(options, &sb, why) != 0)
        return false;
    sim_write_file(sb, ROAD_SNAPSHOTS "/.made", "");
    sim_write_file(sb, ROAD_PEERS "/.made", "");

    sim_spawn_args peer;
    peer.argv = {"sim-peer", "--role", "media", "--dir", ROAD_PEERS};
    if (sim_spawn(sb, peer) < 0 || !wait_for(5000, [&] {
            std::string d;
            return sim_read_file(sb, ROAD_PEERS "/media.ready", &d) == 0;
        })) {
        *why = "the media peer did not start";
        return false;
    }
    lrf = scope_lrf_attach(sb);
    if (lrf == nullptr) {
        *why = "no rangefinder on /dev/ttyS5";
        return false;
    }
    sim_spawn_args d;
    d.argv = {"sightd"};
    d.stdout_fd = d.stderr_fd = -1;
    sightd = sim_spawn(sb, d);
    sim_spawn_args g;
    g.argv = {"sightui"};
    /* sightui reads its resources from ./res, beside the program. */
    g.cwd = SIM_INSIDE_BIN;
    g.env = {"VESK_GUI_SNAPSHOT_DIR=" ROAD_SNAPSHOTS, "VESK_GUI_BACKEND=headless"};
    g.stdout_fd = g.stderr_fd = -1;
    sightui = sim_spawn(sb, g);
    if (sightd < 0 || sightui < 0) {
        *why = "sightd or sightui did not start";
        return false;
    }
    /* sightui writes its build line once the toolkit is up, and only then
     * does a snapshot signal find its handler. */
    if (!wait_for(10000, [&] {
            std::string versions;
            return sim_read_file(sb, "/tmp/apps.version", &versions) == 0 &&
                   versions.find("UI:\t <qel_menu>") != std::string::npos;
        })) {
        *why = "sightui wrote no build line";
        return false;
    }
    return true;
}

HomeRoad::~HomeRoad()
{
    scope_lrf_detach(lrf);
    if (sb != nullptr)
        sim_destroy(sb);
}

bool HomeRoad::lrf_command(const std::string &line)
{
    return lrf_sim_command(scope_lrf_module(lrf), line.c_str()) == 0;
}

bool HomeRoad::key(int code)
{
    sim_spawn_args args;
    args.argv = {"sightui-keys", std::to_string(code)};
    int pid = sim_spawn(sb, args);
    sim_outcome out;
    return pid > 0 && sim_wait(sb, pid, 5000, &out) == 0 && out.end == SIM_EXITED && out.code == 0;
}

bool HomeRoad::snapshot(std::string *dump, std::string *png)
{
    char base[64];
    snprintf(base, sizeof base, ROAD_SNAPSHOTS "/qel_menu-%04d", shots + 1);
    std::string txt = std::string(base) + ".txt", image = std::string(base) + ".png";
    if (sim_kill(sb, sightui, SIGUSR1) != 0)
        return false;
    std::string bytes;
    /* The dump is written first, the picture after it. */
    if (!wait_for(5000, [&] { return sim_read_file(sb, image, &bytes) == 0 && sim_read_file(sb, txt, dump) == 0; }))
        return false;
    shots++;
    if (png != nullptr)
        *png = bytes;
    return true;
}

bool HomeRoad::wait_home(int timeout_ms)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    std::string dump;
    while (std::chrono::steady_clock::now() < end) {
        if (!snapshot(&dump))
            return false;
        if (home_dump_top(dump) == "QZ_home_page_1")
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
}

std::vector<std::string> HomeRoad::gui_log(const std::string &tag)
{
    std::vector<std::string> out;
    /* The GUI stream is written to two files in turn. */
    for (const char *name : {"gui1.log", "gui0.log"}) {
        std::string text;
        if (sim_read_file(sb, std::string(ROAD_GUI_LOGS "/") + name, &text) != 0)
            continue;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);)
            if (line.find(" tag=" + tag + " ") != std::string::npos)
                out.push_back(line);
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const std::string &a, const std::string &b) { return home_road_log_ms(a) < home_road_log_ms(b); });
    return out;
}

long long home_road_log_ms(const std::string &line)
{
    size_t at = line.find("mono_ms=");
    return at == std::string::npos ? -1 : atoll(line.c_str() + at + 8);
}

std::vector<std::vector<uint8_t>> HomeRoad::media_frames(uint8_t obj)
{
    std::vector<std::vector<uint8_t>> out;
    for (const sim_peer_record &r : sim_peer_read_log(sim_path(sb, ROAD_PEERS "/media.rx")))
        if (r.frame.size() > 2 && r.frame[2] == obj)
            out.push_back(r.frame);
    return out;
}
