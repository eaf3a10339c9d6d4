#include "persist_fixture.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <stdexcept>

#include "iniparser_handler.h"
#include "vesk_device_db_schema.h"

extern char **environ;

/* Every test that starts the service starts it on the real settings store. */
static const int g_settings_registered = (vesk_ini_register_persist(), 1);

static void must(bool ok, const std::string &what)
{
    if (!ok) throw std::runtime_error(what);
}

void PersistDir::layout(const std::string &root_dir)
{
    root = root_dir;
    current_ini = root + "/factory/config.ini";
    profiles_db = root + "/factory/ballistics_config.db";
    recovery = root + "/factory/.vesk-persist";
    defaults_ini = root + "/factory2/defconfig.ini";
    defaults_db = root + "/factory2/ballistics_defconfig.db";
    eeprom = root + "/sys/nvmem";
    wifi_wpa2 = root + "/wifi/hostapd_wpa2.conf";
    wifi_none = root + "/wifi/hostapd_none.conf";
    image_ini = root + "/usrdata/out_sightd/defconfig.ini";
    image_db = root + "/usrdata/out_sightd/ballistics_defconfig.db";
    image_marker = root + "/usrdata/judge_after_img.txt";
    authority_ini = recovery + "/defaults.ini";
    authority_db = recovery + "/defaults.db";
    ready = recovery + "/defaults.ready";
    manifest = recovery + "/reset.pending";
}

static const char kCurrentIni[] = "[qeldevstatus]\ns8screenbrightness = 4\ns8language = 1\n\n[irparam]\n"
                                  "s8irbrightness = 6\n\n[reticleparam]\ns8reticlegroupindex = 2\n";
static const char kDefaultsIni[] = "[qeldevstatus]\ns8screenbrightness = 5\ns8language = 0\n\n[reticleparam]\n"
                                   "s8reticleswitch = 1\ns8reticlemenuswitch = 1\n";

void PersistDir::create()
{
    char tmpl[] = "/tmp/vesk-persist-XXXXXX";
    must(mkdtemp(tmpl) != NULL, "mkdtemp");
    layout(tmpl);
    for (const char *d :
         {"/factory", "/factory/.vesk-persist", "/factory2", "/sys", "/wifi", "/usrdata", "/usrdata/out_sightd"})
        must(mkdir((root + d).c_str(), 0755) == 0, d);
    chmod(recovery.c_str(), 0700);
    write_text(current_ini, kCurrentIni);
    write_text(authority_ini, kDefaultsIni);
    write_text(defaults_ini, kDefaultsIni);
    make_profile_db(profiles_db);
    make_profile_db(authority_db);
    make_profile_db(defaults_db);
    write_text(ready, "1\n");
    write_text(image_marker, "1\n");
    write_text(eeprom, eeprom_image("[info]\npn=PN-7\nsn=SN-42\ns16rangeoffsetx=600\ns16rangeoffsety=610\n"
                                    "s16laserindicatx=620\ns16laserindicaty=630\ns16rangeminscale=900\n"
                                    "s16rangemaxscale=11000\nf_zero_azimuth=1.500000\nf_zero_pitch=-0.500000\n"
                                    "f_zero_slant=0.250000\n"));
    write_text(wifi_wpa2, "interface=wlan0\nssid=Scope-1\nwpa_passphrase=12345678\nwpa=2\n");
    write_text(wifi_none, "interface=wlan0\nssid=Scope-1\n");
}

static void remove_tree(const std::string &path)
{
    DIR *d = opendir(path.c_str());
    if (d != NULL) {
        struct dirent *e;
        while ((e = readdir(d)) != NULL) {
            if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
            remove_tree(path + "/" + e->d_name);
        }
        closedir(d);
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

void PersistDir::remove()
{
    if (!root.empty()) remove_tree(root);
}

vesk_persist_paths PersistDir::paths() const
{
    vesk_persist_paths p = {};
    p.vesk_current_ini = current_ini.c_str();
    p.vesk_defaults_ini = defaults_ini.c_str();
    p.vesk_profiles_db = profiles_db.c_str();
    p.vesk_defaults_db = defaults_db.c_str();
    p.vesk_eeprom = eeprom.c_str();
    p.vesk_wifi_wpa2 = wifi_wpa2.c_str();
    p.vesk_wifi_none = wifi_none.c_str();
    p.vesk_image_defaults_ini = image_ini.c_str();
    p.vesk_image_defaults_db = image_db.c_str();
    p.vesk_image_marker = image_marker.c_str();
    p.vesk_recovery_dir = recovery.c_str();
    return p;
}

uint64_t persist_accepted(int store)
{
    vesk_persist_status st;
    vesk_persist_get_status(&st);
    return st.vesk_accepted[store];
}

std::string current_ini_value(const char *key)
{
    char *text = NULL;
    size_t n = 0;
    if (vesk_ini_serialize(0, &text, &n) != 0) return "<none>";
    std::string s(text, n);
    free(text);
    // iniparser writes "key = value" padded; find the key's line.
    size_t at = s.find(std::string("\n") + key + " ");
    if (at == std::string::npos) return "<missing>";
    size_t eq = s.find('=', at);
    size_t nl = s.find('\n', eq);
    return s.substr(eq + 2, nl - eq - 2);
}

std::string read_text(const std::string &path)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (f == NULL) return "<missing>";
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    fclose(f);
    return s;
}

bool file_exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

void write_text(const std::string &path, const std::string &text)
{
    FILE *f = fopen(path.c_str(), "wb");
    must(f != NULL, "open " + path);
    must(fwrite(text.data(), 1, text.size(), f) == text.size(), "write " + path);
    fclose(f);
}

std::vector<std::string> temp_files(const std::string &dir)
{
    std::vector<std::string> out;
    DIR *d = opendir(dir.c_str());
    if (d == NULL) return out;
    struct dirent *e;
    while ((e = readdir(d)) != NULL) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        std::string path = dir + "/" + name;
        struct stat st;
        if (lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            for (const std::string &t : temp_files(path)) out.push_back(t);
        } else if (name.find(".tmp-") != std::string::npos) {
            out.push_back(path);
        }
    }
    closedir(d);
    return out;
}

static void exec_sql(sqlite3 *db, const std::string &sql)
{
    char *msg = NULL;
    int rc = sqlite3_exec(db, sql.c_str(), NULL, NULL, &msg);
    std::string err = msg ? msg : "";
    sqlite3_free(msg);
    must(rc == SQLITE_OK, "sql: " + err + " in " + sql);
}

void make_profile_db(const std::string &path, const std::string &extra_sql)
{
    unlink(path.c_str());
    sqlite3 *db = NULL;
    must(sqlite3_open(path.c_str(), &db) == SQLITE_OK, "open db " + path);
    exec_sql(db, VESK_DEVICE_DB_SCHEMA);
    exec_sql(db, "BEGIN;");
    for (int d = 1; d <= 6; d++) {
        char sql[1024];
        snprintf(sql, sizeof sql, "INSERT INTO device VALUES(%d, 'group %d', NULL);", d, d);
        exec_sql(db, sql);
        snprintf(sql, sizeof sql,
                 "INSERT INTO ballistics VALUES(%d, %d, %d, '%d', '%d', '0.5', '3.0', '90.0', '15.0', '1013.0', "
                 "'50.0', '100', '109', '0.475', 1, 800, '10.0', 1, '1.2', '168.0', '0.308', 0, '15.0', '1013.0', "
                 "'50.0', 0, '0.0', '0.0', '0.0', '0.0', '1.5', 1, 0, '45.0', '0.0', '0.0');",
                 d, d, d == 1, 100 + d - 1, 110 + d - 1);
        exec_sql(db, sql);
        for (int z = 0; z < 2; z++) {
            snprintf(sql, sizeof sql, "INSERT INTO zero_point VALUES(%d, %d, %d, %d, 639, 639, '%d', '0.0', '0.0');",
                     d * 10 + z, d, z, 100 + 10 * (d - 1) + z, 109 + 10 * (d - 1) + z);
            exec_sql(db, sql);
        }
    }
    exec_sql(db, "COMMIT;");
    if (!extra_sql.empty()) exec_sql(db, extra_sql);
    sqlite3_close(db);
}

std::string sql_value(const std::string &path, const std::string &sql)
{
    sqlite3 *db = NULL;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, NULL) != SQLITE_OK) {
        sqlite3_close(db);
        return "<no db>";
    }
    sqlite3_stmt *st = NULL;
    std::string out = "<error>";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, NULL) == SQLITE_OK) {
        int rc = sqlite3_step(st);
        if (rc == SQLITE_ROW) {
            const unsigned char *t = sqlite3_column_text(st, 0);
            out = t ? (const char *)t : "<null>";
        } else if (rc == SQLITE_DONE) {
            out = "<none>";
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}

std::string eeprom_image(const std::string &record)
{
    std::string s = record;
    s.resize(4096, '\0');
    return s;
}

void ProbeRun::start(const PersistDir &dir, const std::vector<std::string> &args,
                     const std::vector<std::string> &extra_env)
{
    std::vector<std::string> argv_s = {program, dir.root};
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &a : argv_s) argv.push_back(&a[0]);
    argv.push_back(NULL);
    std::vector<std::string> env_s;
    for (char **e = environ; *e; e++)
        if (strncmp(*e, "VESK_", 5) != 0) env_s.push_back(*e);
    env_s.insert(env_s.end(), extra_env.begin(), extra_env.end());
    std::vector<char *> envp;
    for (std::string &e : env_s) envp.push_back(&e[0]);
    envp.push_back(NULL);
    pid = fork();
    must(pid >= 0, "fork");
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, 1);
            dup2(null, 2);
        }
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
}

int ProbeRun::wait()
{
    int status = 0;
    if (pid <= 0) return -1;
    while (waitpid(pid, &status, 0) < 0) {}
    pid = -1;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? -WTERMSIG(status) : -1;
}

void ProbeRun::kill9()
{
    if (pid > 0) kill(pid, SIGKILL);
    wait();
}

bool wait_for_file(const std::string &path, int timeout_ms)
{
    for (int waited = 0; waited < timeout_ms; waited += 2) {
        if (file_exists(path)) return true;
        struct timespec ts = {0, 2 * 1000 * 1000};
        nanosleep(&ts, NULL);
    }
    return file_exists(path);
}

int run_probe(const PersistDir &dir, const std::vector<std::string> &args, const std::vector<std::string> &extra_env)
{
    ProbeRun run;
    run.start(dir, args, extra_env);
    return run.wait();
}

static void sleep_ms(long ms)
{
    struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&ts, NULL);
}

static int profile_edit(int range)
{
    int rc = vesk_persist_edit_begin();
    if (rc != 0) return rc;
    vesk_profiles_lock();
    qel_ballistics.ballistics[0].target.range = (short)range;
    vesk_persist_profiles snap;
    snap.vesk_ballistics = qel_ballistics;
    snap.vesk_cursor = qel_ir_cursor;
    rc = vesk_persist_stage_profiles(&snap);
    vesk_profiles_unlock();
    vesk_persist_edit_end();
    return rc;
}

static int reset(const std::vector<std::string> &a)
{
    vesk_persist_request req = {};
    req.vesk_reason = VESK_PERSIST_RESET;
    snprintf(req.vesk_reset_ssid, sizeof req.vesk_reset_ssid, "%s", a[1].c_str());
    req.vesk_from_upper = atoi(a[2].c_str());
    req.vesk_format_media = atoi(a[3].c_str());
    req.vesk_reticle_menu = atoi(a[4].c_str());
    vesk_persist_token token;
    int rc = vesk_persist_prepare(&req, vesk_persist_mono_ms() + 10000, &token);
    while (rc == 0 && (rc = vesk_persist_prepare_status(&token)) == 0) sleep_ms(2);
    if (rc != 1) return rc < 0 ? rc : -EPROTO;
    rc = vesk_persist_commit(&token);
    while (rc == 0 && (rc = vesk_persist_completion(&token)) == 0) sleep_ms(2);
    return rc == 1 ? 0 : rc;
}

int persist_action(const std::vector<std::string> &a)
{
    size_t n = a.size();
    if (n == 0) return -EINVAL;
    const std::string &what = a[0];
    if (what == "boot" && n == 1) return 0;
    if (what == "set" && n == 3) return Qel_DevStatusSet(a[1].c_str(), atoi(a[2].c_str()), 0), 0;
    if (what == "defaults" && n == 3) return Qel_DevStatusSet(a[1].c_str(), atoi(a[2].c_str()), 1), 0;
    if (what == "profile" && n == 2) return profile_edit(atoi(a[1].c_str()));
    if (what == "wifi" && n == 3) return vesk_persist_stage_wifi(a[1].c_str(), a[2].c_str(), NULL);
    if (what == "eeprom" && n == 2) {
        snprintf(qel_dev_status.sn, sizeof qel_dev_status.sn, "%s", a[1].c_str());
        return vesk_persist_stage_eeprom(&qel_dev_status, NULL);
    }
    if (what == "burst" && n == 4) {
        for (int i = 1; i <= atoi(a[1].c_str()); i++) {
            Qel_DevStatusSet(a[3].c_str(), i, 0);
            sleep_ms(atol(a[2].c_str()));
        }
        return 0;
    }
    if (what == "reset" && n == 5) return reset(a);
    return -EINVAL;
}
