// A unit's persistent files in a fresh temporary folder, laid out as the
// factory leaves them, for tests of the settings store and the service.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "vesk_persist.h"

struct PersistDir {
    std::string root;
    std::string current_ini, defaults_ini, profiles_db, defaults_db, eeprom, wifi_wpa2, wifi_none;
    std::string image_ini, image_db, image_marker, recovery;
    std::string authority_ini, authority_db, ready, manifest;

    /* Names every path under root (the probe program's layout). */
    void layout(const std::string &root_dir);
    /* Makes a fresh folder and every file of a unit that booted before. */
    void create();
    /* Removes the folder and all in it. */
    void remove();
    vesk_persist_paths paths() const;
};

std::string read_text(const std::string &path);
bool file_exists(const std::string &path);
void write_text(const std::string &path, const std::string &text);
/* Every file under dir (recursively) whose name contains ".tmp-". */
std::vector<std::string> temp_files(const std::string &dir);

/* A profile database of the stored schema with six profiles and twelve zero
 * points; profile p has target.range 100 + p, zero (g, z) distance
 * 100 + 10 g + z. extra_sql runs afterwards (to damage it). */
void make_profile_db(const std::string &path, const std::string &extra_sql = "");
/* Runs sql on a database and returns the first column of the first row. */
std::string sql_value(const std::string &path, const std::string &sql);

/* Store store's accepted generation. */
uint64_t persist_accepted(int store);
/* key's value in the current settings dictionary as the store writes it,
 * "<missing>" without the key, "<none>" without a dictionary. */
std::string current_ini_value(const char *key);

/* The EEPROM record text a factory writes, padded to 4096 zero bytes. */
std::string eeprom_image(const std::string &record);

/* One change through the public calls, as the probe's arguments name it:
 *   boot | set KEY VALUE | defaults KEY VALUE | profile RANGE
 *   wifi NAME PASSPHRASE | eeprom SERIAL | burst COUNT INTERVAL_MS KEY
 *   reset SSID FROM_UPPER FORMAT MENU (prepare, commit, wait for the end)
 * 0 or a negative errno. */
int persist_action(const std::vector<std::string> &args);

/* Starts and stops the probe program (see persist_probe.cpp). */
struct ProbeRun {
    int pid = -1;
    std::string program = VESK_PERSIST_PROBE; /* or another probe of the same calling form */
    /* args after the folder; extra env entries NAME=VALUE. */
    void start(const PersistDir &dir, const std::vector<std::string> &args, const std::vector<std::string> &extra_env);
    /* Waits for exit; returns the exit status, or -signal. */
    int wait();
    void kill9();
};
/* Polls every 2 ms until path exists or timeout_ms passes. */
bool wait_for_file(const std::string &path, int timeout_ms);
/* Runs the probe to the end and returns its exit status. */
int run_probe(const PersistDir &dir, const std::vector<std::string> &args,
              const std::vector<std::string> &extra_env = {});
