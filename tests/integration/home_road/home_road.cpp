#include "home_road.h"

#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include <sqlite3.h>

#include "sim_factory.h"

static std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
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
    if (ok && (image.ballistics || image.wind_speed != 0 || image.wind_angle != 0)) {
        char *err = NULL;
        char sql[160];
        snprintf(sql, sizeof sql, "UPDATE ballistics SET switch = %d, wind_velocity = '%g', wind_direction = '%g';",
                 image.ballistics ? 1 : 0, image.wind_speed, image.wind_angle);
        ok = sqlite3_open(db_path.c_str(), &db) == SQLITE_OK && sqlite3_exec(db, sql, NULL, NULL, &err) == SQLITE_OK;
        if (!ok) *why = std::string("profile template: ") + (err ? err : sqlite3_errmsg(db));
        sqlite3_free(err);
    }
    if (db != NULL) sqlite3_close(db);
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
    if (ok && image.debug) ok = switch_on("vesk_debug");
    if (ok && image.reticle_menu) ok = switch_on("s8reticlemenuswitch");
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

bool HomeRoad::start(const HomeRoadImage &image, uint64_t media_bytes, const std::vector<std::string> &peers)
{
    sim_options options;
    options.media_bytes = media_bytes;
    options.files = home_road_image(image, &why);
    if (options.files.empty() || !create(options)) return false;
    for (const std::string &peer : peers)
        if (!start_peer(peer)) return false;
    return lrf() != nullptr && start_sightd() && start_sightui() && wait_top("QZ_home_page_1");
}

bool HomeRoad::restart()
{
    sim_kill(sb, sightui, SIGKILL);
    if (!wait(SIM_REPLY_MS, [&] { return ended(sightui); })) {
        why = "sightui did not end";
        return false;
    }
    /* Its end is collected: the harness would take the old pid for a
     * running sightui. */
    sightui = -1;
    sim_outcome out = stop_sightd();
    if (out.end != SIM_EXITED || out.code != 0) {
        why = "sightd did not end cleanly: " + sim_outcome_text(out);
        return false;
    }
    return start_sightd() && start_sightui() && wait_top("QZ_home_page_1");
}
