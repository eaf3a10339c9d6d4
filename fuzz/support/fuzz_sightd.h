// Set-up the sightd targets share: the sandbox with the queue towards the
// peers drained, the settings store running on a unit's files, and the
// settings files the loaders read.
#pragma once

#include <string>

/* fuzz_sandbox, standard output to /dev/null, queue 12345 drained. */
void fuzz_sightd_setup(void);
/* The settings store and persistence service on a fresh unit's files in
 * the scratch folder; qel_ballistics and qel_ir_cursor take its profiles. */
void fuzz_settings_store_start(void);

/* A listener that takes every event of the app bus, as the modules of the
 * running service do; without one a full bus holds each post for its
 * time-out. */
struct event_handle;
void fuzz_app_bus_sink(struct event_handle *bus);

/* The three files the settings load reads, in the scratch folder. */
struct fuzz_settings_files {
    std::string current, defaults, eeprom;
};
/* Writes a small defaults file, and current and eeprom when not null, and
 * points the loaders at the three paths. */
fuzz_settings_files fuzz_settings_files_make(const char *current, const char *eeprom);
