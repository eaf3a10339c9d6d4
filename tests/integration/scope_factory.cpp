#include "scope_factory.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <iniparser.h>
#include <sqlite3.h>

#include <fstream>
#include <sstream>

wire_profile scope_factory_profile(int i)
{
    wire_profile p;
    memset(&p, 0, sizeof p);
    p.target.range = 1000; /* 100.0 m */
    p.target.range_yard = 109;
    p.wind.angle = 90; /* from the right */
    p.wind.speed = 3.0;
    p.atmosphere = {0.0f, 760.0f, 15.0f, 50.0f};
    wire_bullet &b = p.gun.bullet;
    b.length = 31.2;
    b.diameter = 7.82;
    b.weight = 168 + 10 * i;
    b.ballisticsCoef = 0.462;
    b.dragFunction = 0; /* G1 */
    b.velocity = 800 - 10 * i;
    b.atmosphere = {0.0f, 760.0f, 15.0f, 50.0f};
    p.gun.scope.zeroRange = 100;
    p.gun.scope.zeroRange_yard = 109;
    p.gun.scope.sightHeightOverBore = 50.0;
    p.gun.riflingRange = 10.0;
    p.gun.direction = 1; /* right-hand twist */
    return p;
}

wire_cursor scope_factory_cursor(void)
{
    wire_cursor c;
    memset(&c, 0, sizeof c);
    for (int g = 0; g < SCOPE_PROFILES; g++)
        for (int z = 0; z < 2; z++)
            c.group[g].zero[z] = {(int16_t)(100 + 100 * z), (int16_t)(109 + 110 * z), 639, (int16_t)(639 + z), 0.0f,
                                  0.0f};
    return c;
}

/* Every persisted setting at its factory value, as the device records
 * give them. */
std::string scope_factory_ini(void)
{
    return "[qeldevstatus]\n"
           "s8videomode = 0\n"
           "s8videoout = 0\n"
           "s8screenbrightness = 5\n"
           "s8screenhue = 0\n"
           "s8language = 0\n"
           "s8sorttype = 0\n"
           "s8shotvideoswitch = 0\n"
           "s8shotfronttime = 0\n"
           "s8shotbacktime = 0\n"
           "s8recoilsensitivity = 3\n"
           "s8rangetype = 1\n"
           "vesk_lrf_target = 1\n"
           "vesk_lrf_processing = 0\n"
           "vesk_lrf_min_m = 0\n"
           "vesk_lrf_max_m = 0\n"
           "s8distanceuint = 1\n"
           "s8compassswitch = 0\n"
           "s8hottrack = 0\n"
           "s8autoshutter = 5\n"
           "s8ballisticreticle = 0\n"
           "s8rangereticletype = 0\n"
           "s8rangereticlecolor = 1\n"
           "s8pipreticletype = 0\n"
           "s8pipreticlecolor = 0\n"
           "s8laserreticletype = 0\n"
           "s8laserreticlecolor = 2\n"
           "s8ballisticreticlecolor = 1\n"
           "s8ballisticgroup = 0\n"
           "s8wifiswitch = 0\n"
           "s8micswitch = 0\n"
           "s8watermarkclosed = 0\n"
           "s8compassautoangleswitch = 0\n"
           "vesk_debug = 0\n"
           "\n"
           "[irparam]\n"
           "s8irbrightness = 5\n"
           "s8ircontrast = 5\n"
           "s8irenchance = 3\n"
           "s8irpolarity = 0\n"
           "s8stronglightenable = 0\n"
           "s8redhotvalue = 3\n"
           "s8irscene = 1\n"
           "\n"
           "[reticleparam]\n"
           "s8reticlecolour = 5\n"
           "s8reticleswitch = 0\n"
           "s8reticletype = 0\n"
           "s8reticlebright = 2\n"
           "s8reticlemenuswitch = 0\n"
           "s8reticlegroupindex = 0\n"
           "s8reticlezeroindex = 0\n"
           "\n"
           "[compassparam]\n"
           "f32compassdeclination = 0.00\n"
           "f32ccompassyaw = 0.00\n"
           "f32compasspitch = 0.00\n"
           "f32compassroll = 0.00\n";
}

std::vector<uint8_t> scope_factory_status_image(void)
{
    std::vector<uint8_t> s(96, 0);
    auto put16 = [&](size_t at, int v) {
        s[at] = (uint8_t)v;
        s[at + 1] = (uint8_t)(v >> 8);
    };
    s[4] = 5; /* IR brightness */
    s[5] = 5; /* IR contrast */
    s[7] = 3; /* red-hot threshold */
    s[8] = 3; /* enhancement */
    s[9] = 1; /* scene */
    s[19] = 5; /* reticle colour */
    s[21] = 2; /* reticle brightness */
    put16(24, 639); /* reticle X and Y from zero point 0 of group 0 */
    put16(26, 639);
    for (size_t at = 28; at < 36; at += 2) put16(at, 639); /* range offset and laser mark: EEPROM defaults */
    s[37] = 5; /* screen brightness */
    s[54] = 1; /* distance unit */
    s[55] = 1; /* range type */
    s[58] = 5; /* auto shutter */
    s[65] = 3; /* recoil sensitivity */
    s[67] = 1; /* range reticle colour */
    s[71] = 2; /* laser reticle colour */
    s[72] = 1; /* ballistic reticle colour */
    memcpy(&s[79], "v1.0.4", 6);
    return s;
}

static const char factory_schema[] =
    "CREATE TABLE device (id int NOT NULL PRIMARY KEY, name text NOT NULL, remark text);"
    "CREATE TABLE zero_point (id int NOT NULL PRIMARY KEY, device_id int NOT NULL, index_show int NOT NULL,"
    " distance int NOT NULL, x int NOT NULL, y int NOT NULL, remark text, remark2 text, remark3 text);"
    "CREATE TABLE ballistics (id int NOT NULL PRIMARY KEY, device_id int NOT NULL, switch int NOT NULL,"
    " distance text, distance_yard text, ei_angle text, wind_velocity text, wind_direction text,"
    " weather_temperature text, weather_pressure text, weather_humidity text, zero_distance text,"
    " zero_distance_yard text, bullet_coefficient text, bullet_dragmodel int, muzzie_velocity int,"
    " twist_rate text, twist_direction int, bullet_length text, bullet_weight text, bullet_diameter text,"
    " zero_weather_enable int, zero_weather_temperature text, zero_weather_pressure text,"
    " zero_weather_humidity text, offset_unit int, offset_vertial text, offset_vertial_mrad text,"
    " offset_horiazontal text, offset_horiazontal_mrad text, scope_height text, spindrift_enable int,"
    " corioliseffect_enable int, latitude text, azimuth text, remark text);";

/* Shortest text that reads back as the same double. */
static std::string num(double v)
{
    char text[40];
    snprintf(text, sizeof text, "%.17g", v);
    return text;
}

static std::string profile_row(int i, const wire_profile &p)
{
    const wire_bullet &b = p.gun.bullet;
    std::ostringstream q;
    q << "INSERT INTO ballistics VALUES (" << i + 1 << ", " << i + 1 << ", " << (int)p.ballistics_sw << ", '"
      << p.target.range << "', '" << p.target.range_yard << "', '" << num(p.target.shootingAngle) << "', '"
      << num(p.wind.speed) << "', '" << num(p.wind.angle) << "', '" << num(p.atmosphere.temperature) << "', '"
      << num(p.atmosphere.barometer) << "', '" << num(p.atmosphere.relative_humidity) << "', '"
      << p.gun.scope.zeroRange << "', '" << p.gun.scope.zeroRange_yard << "', '" << num(b.ballisticsCoef) << "', "
      << b.dragFunction << ", " << num(b.velocity) << ", '" << num(p.gun.riflingRange) << "', " << p.gun.direction
      << ", '" << num(b.length) << "', '" << num(b.weight) << "', '" << num(b.diameter) << "', "
      << b.isOpenAtmosphere << ", '" << num(b.atmosphere.temperature) << "', '" << num(b.atmosphere.barometer)
      << "', '" << num(b.atmosphere.relative_humidity) << "', " << b.zeroOffsetUnit << ", '"
      << num(b.zeroOffsetVerticalMOA) << "', '" << num(b.zeroOffsetVerticalMRAD) << "', '"
      << num(b.zeroOffsetHorizontalMOA) << "', '" << num(b.zeroOffsetHorizontalMRAD) << "', '"
      << num(p.gun.scope.sightHeightOverBore) << "', " << (int)p.spinDriftOpt << ", "
      << (int)p.corioliseffect.CoriolisEffectSwitch << ", '" << num(p.corioliseffect.lat) << "', '"
      << num(p.corioliseffect.angle) << "', '" << num(p.atmosphere.altitude) << "');";
    return q.str();
}

static std::string factory_sql(void)
{
    std::ostringstream q;
    q << factory_schema;
    for (int i = 0; i < SCOPE_PROFILES; i++) {
        q << "INSERT INTO device VALUES (" << i + 1 << ", 'profile " << i + 1 << "', '');";
        q << profile_row(i, scope_factory_profile(i));
    }
    const wire_cursor c = scope_factory_cursor();
    for (int g = 0; g < SCOPE_PROFILES; g++)
        for (int z = 0; z < 2; z++) {
            const wire_zero &p = c.group[g].zero[z];
            q << "INSERT INTO zero_point VALUES (" << g * 2 + z + 1 << ", " << g + 1 << ", " << z << ", "
              << p.distance << ", " << p.x << ", " << p.y << ", '" << p.distance_yard << "', '" << num(p.offset_x)
              << "', '" << num(p.offset_y) << "');";
        }
    return q.str();
}

static bool read_whole(const std::string &path, std::string *data)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream all;
    all << in.rdbuf();
    *data = all.str();
    return true;
}

bool scope_factory_files(std::vector<sim_file> *files, std::string *error)
{
    char dir[] = "/tmp/scope-factory-XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        *error = "mkdtemp failed";
        return false;
    }
    const std::string path = std::string(dir) + "/defaults.db";
    sqlite3 *db = nullptr;
    char *message = nullptr;
    bool ok = sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
              sqlite3_exec(db, ("BEGIN;" + factory_sql() + "COMMIT;").c_str(), nullptr, nullptr, &message) == SQLITE_OK;
    if (!ok) *error = std::string("defaults database: ") + (message ? message : sqlite3_errmsg(db));
    sqlite3_free(message);
    sqlite3_close(db);
    std::string bytes;
    if (ok && !read_whole(path, &bytes)) {
        *error = "cannot read " + path;
        ok = false;
    }
    unlink(path.c_str());
    rmdir(dir);
    if (!ok) return false;
    files->push_back({SCOPE_IMAGE_INI, scope_factory_ini(), 0644});
    files->push_back({SCOPE_IMAGE_DB, bytes, 0644});
    return true;
}

bool scope_ini_get(const std::string &host_path, const std::string &key, std::string *value)
{
    dictionary *d = iniparser_load(host_path.c_str());
    if (d == nullptr) return false;
    const char *v = iniparser_getstring(d, key.c_str(), nullptr);
    if (v != nullptr) *value = v;
    iniparser_freedict(d);
    return v != nullptr;
}
