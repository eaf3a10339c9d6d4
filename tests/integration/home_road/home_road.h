// The range-to-hold-over road in a sandbox, as the integration test and the
// benchmark drive it: sightd and sightui, the simulated rangefinder on
// /dev/ttyS5, the scope's keys typed into sightui's key injection, and
// sightui's snapshots and log records read from outside.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "home_dump.h"
#include "sim.h"
#include "scope_lrf.h"

struct HomeRoadImage {
    bool ballistics = true; /* the calculation switch of the six profiles */
    bool debug = false;     /* debug mode from the first boot: DETAIL records kept */
    bool reticle_menu = false; /* the reticle menu switch, which opens the ballistic menus */
};

/* The firmware image's factory templates with those switches, as files to
 * put in the sandbox before sightd's first boot. Empty on failure (why). */
std::vector<sim_file> home_road_image(const HomeRoadImage &image, std::string *why);

struct HomeRoad {
    sim_sandbox *sb = nullptr;
    scope_lrf *lrf = nullptr;
    int sightd = -1;
    int sightui = -1;
    int shots = 0;

    /* Sandbox with the image and a Media partition of media_bytes, the
     * media peer, sightd, the rangefinder and sightui; false with why. */
    bool start(const HomeRoadImage &image, uint64_t media_bytes, std::string *why);
    ~HomeRoad();

    /* A line for the simulated module ("range 523.4"). */
    bool lrf_command(const std::string &line);
    /* One short press of a scope key by device key code (15: range). */
    bool key(int code);
    /* A snapshot: the tree dump and the PNG bytes; false after 5 s. */
    bool snapshot(std::string *dump, std::string *png = nullptr);
    /* Snapshots until the home page is on top; false after timeout_ms. */
    bool wait_home(int timeout_ms);
    /* DETAIL and ERROR lines sightui logged under tag, in order. */
    std::vector<std::string> gui_log(const std::string &tag);
    /* Frames the media peer received (sightd sends it each result too). */
    std::vector<std::vector<uint8_t>> media_frames(uint8_t obj);
};

/* The record's CLOCK_MONOTONIC milliseconds, -1 when it has none. */
long long home_road_log_ms(const std::string &line);
