// The firmware image's factory templates: the settings INI from the table
// of stored keys below, and the profile database created with the stored
// schema and written with SQLite from the factory profile below.
#include "sim_factory.h"

#include <errno.h>
#include <fcntl.h>
#include <iniparser.h>
#include <sqlite3.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "vesk_profile_fields.h"

/* ---- factory profile ------------------------------------------------ */

/* Distances are round in yards because the unit leaves the factory showing
 * yards (s8DistanceUint 1); the metric fields hold what the GUI stores for
 * them (yards x 0.9144, truncated). */
#define FACTORY_ZERO_YD 100
#define FACTORY_ZERO_M 91
#define FACTORY_TARGET_YD_X10 1000
#define FACTORY_TARGET_M_X10 914
/* The screen centre: a zero that has never been adjusted. */
#define FACTORY_CURSOR_CENTRE 639

/* A common .308 load on a right-hand 1:10 barrel under standard weather.
 * Everything not set here is 0: the calculation, spin drift, Coriolis and
 * the zeroing weather off until the shooter enters his own rifle, no wind,
 * a level shot, MOA, no zero offsets. Every value lies inside the limits
 * sightd brings a profile into. */
static void factory_profile(Info_ballistics *b)
{
    memset(b, 0, sizeof *b);
    b->target.range = FACTORY_TARGET_M_X10;
    b->target.range_yard = FACTORY_TARGET_YD_X10;
    b->atmosphere.barometer = 760.0f; /* mmHg */
    b->atmosphere.temperature = 15.0f;
    b->atmosphere.relative_humidity = 50.0f;
    Info_bullet *bullet = &b->gun.bullet;
    bullet->length = 31.2;   /* mm */
    bullet->diameter = 7.82; /* mm */
    bullet->weight = 168.0;  /* grains */
    bullet->ballisticsCoef = 0.462;
    bullet->dragFunction = 0; /* G1 */
    bullet->velocity = 790.0; /* m/s, whole: its column is an integer */
    bullet->atmosphere = b->atmosphere;
    b->gun.scope.zeroRange = FACTORY_ZERO_M;
    b->gun.scope.zeroRange_yard = FACTORY_ZERO_YD;
    b->gun.scope.sightHeightOverBore = 50.0; /* mm */
    b->gun.riflingRange = 10.0;              /* inches per turn */
    b->gun.direction = RIGHT;
}

void sim_factory_profiles(Info_ballistics profiles[VESK_PROFILE_COUNT], Qel_IR_Cursor *cursor)
{
    memset(cursor, 0, sizeof *cursor);
    for (int p = 0; p < VESK_PROFILE_COUNT; p++) {
        factory_profile(&profiles[p]);
        for (int z = 0; z < VESK_ZERO_COUNT; z++) {
            Qel_Cursor_Zero *zero = &cursor->group[p].zero[z];
            zero->u16IrCursorDistance = FACTORY_ZERO_M;
            zero->u16IrCursorDistanceYD = FACTORY_ZERO_YD;
            zero->s8IrCursorCurrentX = FACTORY_CURSOR_CENTRE;
            zero->s8IrCursorCurrentY = FACTORY_CURSOR_CENTRE;
        }
    }
}

/* ---- files -------------------------------------------------------------- */

static int fail(std::string *error, int rc, const std::string &what)
{
    if (error != NULL) *error = what;
    return rc;
}

static int fail_errno(std::string *error, const std::string &what, const std::string &path)
{
    int e = errno ? errno : EIO;
    return fail(error, -e, what + " " + path + ": " + strerror(e));
}

/* 0, or -1 with errno from the open or the fsync. */
static int fsync_path(const std::string &path, int flags)
{
    int fd = open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return -1;
    int rc = fsync(fd);
    int saved = errno;
    close(fd);
    errno = saved;
    return rc;
}

/* The built file reaches the disk before it takes the template's name, and
 * the name before the call returns: the sandbox may start sightd next. */
static int put_in_place(const std::string &built, const std::string &path, const std::string &dir, std::string *error)
{
    if (fsync_path(built, O_RDONLY) != 0) return fail_errno(error, "cannot sync", built);
    if (rename(built.c_str(), path.c_str()) != 0) return fail_errno(error, "cannot rename over", path);
    if (fsync_path(dir, O_RDONLY | O_DIRECTORY) != 0) return fail_errno(error, "cannot sync", dir);
    return 0;
}

static std::string built_name(const std::string &path) { return path + ".tmp-factory-" + std::to_string(getpid()); }

/* ---- settings template -------------------------------------------------- */

/* Every key of the four sections, in the store's order, at the value the
 * store takes when the key is missing. Whole numbers are in the "%d" form
 * the setters write and the compass angles in their "%.2f" form, so that
 * setting a value back to its default finds the same text. */
typedef struct {
    const char *section;
    const char *key;
    const char *text;
} ini_row;

static const ini_row settings_rows[] = {
    {"qeldevstatus", "s8videomode", "0"},
    {"qeldevstatus", "s8videoout", "0"},
    {"qeldevstatus", "s8screenbrightness", "5"},
    {"qeldevstatus", "s8screenhue", "0"},
    {"qeldevstatus", "s8language", "0"},
    {"qeldevstatus", "s8sorttype", "0"},
    {"qeldevstatus", "s8shotvideoswitch", "0"},
    {"qeldevstatus", "s8shotfronttime", "0"},
    {"qeldevstatus", "s8shotbacktime", "0"},
    {"qeldevstatus", "s8recoilsensitivity", "3"},
    {"qeldevstatus", "s8rangetype", "1"},
    {"qeldevstatus", "vesk_lrf_target", "1"},
    {"qeldevstatus", "vesk_lrf_processing", "0"},
    {"qeldevstatus", "vesk_lrf_min_m", "0"},
    {"qeldevstatus", "vesk_lrf_max_m", "0"},
    {"qeldevstatus", "s8distanceuint", "1"},
    {"qeldevstatus", "s8compassswitch", "0"},
    {"qeldevstatus", "s8hottrack", "0"},
    {"qeldevstatus", "s8autoshutter", "5"},
    {"qeldevstatus", "s8ballisticreticle", "0"},
    {"qeldevstatus", "s8rangereticletype", "0"},
    {"qeldevstatus", "s8rangereticlecolor", "1"},
    {"qeldevstatus", "s8pipreticletype", "0"},
    {"qeldevstatus", "s8pipreticlecolor", "0"},
    {"qeldevstatus", "s8laserreticletype", "0"},
    {"qeldevstatus", "s8laserreticlecolor", "2"},
    {"qeldevstatus", "s8ballisticreticlecolor", "1"},
    {"qeldevstatus", "s8ballisticgroup", "0"},
    {"qeldevstatus", "s8wifiswitch", "0"},
    {"qeldevstatus", "s8micswitch", "0"},
    {"qeldevstatus", "s8watermarkclosed", "0"},
    {"qeldevstatus", "s8compassautoangleswitch", "0"},
    /* The debug switch, and the dynamic coefficient: on unless "0". */
    {"qeldevstatus", "vesk_debug", "0"},
    {"qeldevstatus", "vesk_dynamic_bc", "1"},
    {"irparam", "s8irbrightness", "5"},
    {"irparam", "s8ircontrast", "5"},
    {"irparam", "s8irenchance", "3"},
    {"irparam", "s8irpolarity", "0"},
    {"irparam", "s8stronglightenable", "0"},
    {"irparam", "s8redhotvalue", "3"},
    {"irparam", "s8irscene", "1"},
    {"reticleparam", "s8reticlecolour", "5"},
    {"reticleparam", "s8reticleswitch", "0"},
    {"reticleparam", "s8reticletype", "0"},
    {"reticleparam", "s8reticlebright", "2"},
    {"reticleparam", "s8reticlemenuswitch", "0"},
    {"reticleparam", "s8reticlegroupindex", "0"},
    {"reticleparam", "s8reticlezeroindex", "0"},
    {"compassparam", "f32compassdeclination", "0.00"},
    {"compassparam", "f32ccompassyaw", "0.00"},
    {"compassparam", "f32compasspitch", "0.00"},
    {"compassparam", "f32compassroll", "0.00"},
};

static int build_settings(dictionary *d)
{
    for (const ini_row &r : settings_rows) {
        /* iniparser writes a key out only under a section entry. */
        if (!iniparser_find_entry(d, r.section) && dictionary_set(d, r.section, NULL) != 0) return -ENOMEM;
        const std::string full = std::string(r.section) + ":" + r.key;
        if (dictionary_set(d, full.c_str(), r.text) != 0) return -ENOMEM;
    }
    return 0;
}

static int write_ini(const std::string &built, std::string *error)
{
    dictionary *d = dictionary_new(0);
    if (d == NULL) return fail(error, -ENOMEM, "no memory for the settings dictionary");
    int rc = build_settings(d);
    if (rc < 0) {
        iniparser_freedict(d);
        return fail(error, rc, "no memory for the settings dictionary");
    }
    FILE *f = fopen(built.c_str(), "we");
    if (f == NULL) {
        rc = fail_errno(error, "cannot create", built);
    } else {
        iniparser_dump_ini(d, f);
        if (fflush(f) != 0 || ferror(f)) rc = fail_errno(error, "cannot write", built);
        if (fclose(f) != 0 && rc == 0) rc = fail_errno(error, "cannot close", built);
    }
    iniparser_freedict(d);
    return rc;
}

/* ---- profile template ----------------------------------------------- */

/* One column of a row and its value; whole numbers are bound as integers
 * (a text column then holds the decimal text sightd reads with atoi). */
typedef struct {
    const char *column;
    int real;
    double value;
} db_cell;

static int insert_row(sqlite3 *db, const char *table, const db_cell *cells, int count, std::string *error)
{
    std::string sql = std::string("INSERT INTO ") + table + "(";
    for (int i = 0; i < count; i++) sql += std::string(i ? ", " : "") + cells[i].column;
    sql += ") VALUES(";
    for (int i = 0; i < count; i++) sql += i ? ", ?" : "?";
    sql += ");";
    sqlite3_stmt *st = NULL;
    int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &st, NULL);
    for (int i = 0; rc == SQLITE_OK && i < count; i++)
        rc = cells[i].real ? sqlite3_bind_double(st, i + 1, cells[i].value)
                           : sqlite3_bind_int64(st, i + 1, (sqlite3_int64)cells[i].value);
    if (rc == SQLITE_OK) rc = sqlite3_step(st) == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(db);
    sqlite3_finalize(st);
    if (rc != SQLITE_OK) return fail(error, -EIO, std::string("insert into ") + table + ": " + sqlite3_errmsg(db));
    return 0;
}

#define CELL_INT(column, v)                                                                                            \
    {                                                                                                                  \
        column, 0, (double)(v)                                                                                         \
    }
#define CELL_REAL(column, v)                                                                                           \
    {                                                                                                                  \
        column, 1, (double)(v)                                                                                         \
    }

/* A profile's row: each field in the column the profile fields' table
 * names, a float or double bound as a real. */
static int insert_profile(sqlite3 *db, int device_id, const Info_ballistics &b, std::string *error)
{
    db_cell cells[VESK_PF_DB_COLUMNS] = {CELL_INT("id", device_id), CELL_INT("device_id", device_id)};
    for (const vesk_profile_field &f : vesk_profile_fields)
        if (f.db_column >= 0)
            cells[f.db_column] = {f.db_name, f.type == VESK_PF_F32 || f.type == VESK_PF_F64, vesk_pf_get(&b, &f)};
    return insert_row(db, "ballistics", cells, VESK_PF_DB_COLUMNS, error);
}

static int insert_zero(sqlite3 *db, int device_id, int slot, const Qel_Cursor_Zero &z, std::string *error)
{
    const db_cell cells[] = {
        CELL_INT("id", (device_id - 1) * VESK_ZERO_COUNT + slot + 1),
        CELL_INT("device_id", device_id),
        CELL_INT("index_show", slot),
        CELL_INT("distance", z.u16IrCursorDistance),
        CELL_INT("x", z.s8IrCursorCurrentX),
        CELL_INT("y", z.s8IrCursorCurrentY),
        CELL_INT("remark", z.u16IrCursorDistanceYD),
        CELL_REAL("remark2", z.flIrCursorOffsetX),
        CELL_REAL("remark3", z.flIrCursorOffsetY),
    };
    return insert_row(db, "zero_point", cells, (int)(sizeof cells / sizeof cells[0]), error);
}

static int exec(sqlite3 *db, const char *sql, std::string *error)
{
    char *msg = NULL;
    if (sqlite3_exec(db, sql, NULL, NULL, &msg) == SQLITE_OK) return 0;
    std::string what = std::string("profile template: ") + (msg ? msg : sqlite3_errmsg(db));
    sqlite3_free(msg);
    return fail(error, -EIO, what);
}

/* The three tables as a factory creates them (sightd accepts a database
 * only when its tables have exactly this shape; the misspelt column names
 * are the stored ones). */
static const char *const schema =
    "CREATE TABLE device(id int not null primary key, name text not null, remark text);"
    "CREATE TABLE zero_point("
    "id int not null primary key, device_id int not null, index_show int not null, distance int not null, "
    "x int not null, y int not null, remark text, remark2 text, remark3 text);"
    "CREATE TABLE ballistics("
    "id int primary key, device_id int not null, switch int not null, "
    "distance text, distance_yard text, ei_angle text, "
    "wind_velocity text, wind_direction text, "
    "weather_temperature text, weather_pressure text, weather_humidity text, "
    "zero_distance text, zero_distance_yard text, "
    "bullet_coefficient text, bullet_dragmodel int, muzzie_velocity int, "
    "twist_rate text, twist_direction int, "
    "bullet_length text, bullet_weight text, bullet_diameter text, "
    "zero_weather_enable int, zero_weather_temperature text, zero_weather_pressure text, zero_weather_humidity text, "
    "offset_unit int, offset_vertial text, offset_vertial_mrad text, offset_horiazontal text, "
    "offset_horiazontal_mrad text, "
    "scope_height text, spindrift_enable int, corioliseffect_enable int, latitude text, azimuth text, remark text);";

static int fill_db(sqlite3 *db, std::string *error)
{
    Info_ballistics profiles[VESK_PROFILE_COUNT];
    Qel_IR_Cursor cursor;
    sim_factory_profiles(profiles, &cursor);
    int rc = exec(db, schema, error);
    if (rc == 0) rc = exec(db, "BEGIN;", error);
    for (int p = 0; rc == 0 && p < VESK_PROFILE_COUNT; p++) {
        const int device_id = p + 1;
        /* The groups are A to F on the screen. */
        char *sql = sqlite3_mprintf("INSERT INTO device(id, name) VALUES(%d, '%c');", device_id, 'A' + p);
        rc = sql ? exec(db, sql, error) : fail(error, -ENOMEM, "no memory for SQL");
        sqlite3_free(sql);
        if (rc == 0) rc = insert_profile(db, device_id, profiles[p], error);
        for (int z = 0; rc == 0 && z < VESK_ZERO_COUNT; z++)
            rc = insert_zero(db, device_id, z, cursor.group[p].zero[z], error);
    }
    if (rc == 0) rc = exec(db, "COMMIT;", error);
    return rc;
}

static int write_db(const std::string &built, std::string *error)
{
    /* A file left by an earlier failed run must not be extended. */
    if (unlink(built.c_str()) != 0 && errno != ENOENT) return fail_errno(error, "cannot remove", built);
    sqlite3 *db = NULL;
    if (sqlite3_open_v2(built.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, NULL) != SQLITE_OK) {
        std::string what = "cannot create " + built + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close(db);
        return fail(error, -EIO, what);
    }
    int rc = fill_db(db, error);
    if (sqlite3_close(db) != SQLITE_OK && rc == 0) rc = fail(error, -EIO, "cannot close " + built);
    return rc;
}

/* ---- image -------------------------------------------------------------- */

static int write_template(const std::string &dir, const char *name, int (*write)(const std::string &, std::string *),
                          std::string *error)
{
    const std::string path = dir + "/" + name;
    const std::string built = built_name(path);
    int rc = write(built, error);
    if (rc == 0) rc = put_in_place(built, path, dir, error);
    if (rc < 0) unlink(built.c_str());
    return rc;
}

int sim_factory_image(const std::string &usrdata_dir, std::string *error)
{
    struct stat st;
    if (usrdata_dir.empty()) return fail(error, -EINVAL, "no /usrdata folder given");
    if (stat(usrdata_dir.c_str(), &st) != 0) return fail_errno(error, "cannot use", usrdata_dir);
    if (!S_ISDIR(st.st_mode)) return fail(error, -ENOTDIR, "not a folder: " + usrdata_dir);
    const std::string dir = usrdata_dir + "/" + SIM_FACTORY_IMAGE_DIR;
    if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return fail_errno(error, "cannot create", dir);
    if (stat(dir.c_str(), &st) != 0) return fail_errno(error, "cannot use", dir);
    if (!S_ISDIR(st.st_mode)) return fail(error, -ENOTDIR, "not a folder: " + dir);
    int rc = write_template(dir, SIM_FACTORY_INI, write_ini, error);
    if (rc == 0) rc = write_template(dir, SIM_FACTORY_DB, write_db, error);
    return rc;
}

/* ---- the access point's files -------------------------------------------- */

/* The daemons' configuration as the image carries it. The name is left out:
 * a unit takes its name from its serial number at its first boot. */
static const struct {
    const char *name;
    const char *text;
} wifi_files[] = {
    {SIM_FACTORY_WIFI_WPA2, "interface=wlan0\ndriver=nl80211\nhw_mode=g\nchannel=6\nauth_algs=1\nwpa=2\n"
                            "wpa_passphrase=40715926\nwpa_key_mgmt=WPA-PSK\nrsn_pairwise=CCMP\n"},
    {SIM_FACTORY_WIFI_NONE, "interface=wlan0\ndriver=nl80211\nhw_mode=g\nchannel=6\nauth_algs=1\n"},
    {SIM_FACTORY_WIFI_DHCP, "start 192.168.11.100\nend 192.168.11.200\ninterface wlan0\n"
                            "opt subnet 255.255.255.0\nopt router 192.168.11.123\nlease_file /var/udhcpd.leases\n"},
};

int sim_factory_wifi(const std::string &wifi_dir, std::string *error)
{
    for (const auto &f : wifi_files) {
        const std::string path = wifi_dir + "/" + f.name;
        if (access(path.c_str(), F_OK) == 0) continue;
        const std::string built = built_name(path);
        FILE *out = fopen(built.c_str(), "we");
        if (out == NULL) return fail_errno(error, "cannot create", built);
        int rc = fputs(f.text, out) < 0 || fflush(out) != 0 ? fail_errno(error, "cannot write", built) : 0;
        if (fclose(out) != 0 && rc == 0) rc = fail_errno(error, "cannot close", built);
        if (rc == 0) rc = put_in_place(built, path, wifi_dir, error);
        if (rc < 0) {
            unlink(built.c_str());
            return rc;
        }
    }
    return 0;
}
