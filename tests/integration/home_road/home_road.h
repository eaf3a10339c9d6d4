// The range-to-hold-over road in a sandbox, as the integration test and the
// benchmark drive it through the harness: sightd and sightui booted from a
// factory image with chosen switches, and the simulated rangefinder.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "sim_harness.h"

struct HomeRoadImage {
    bool ballistics = true;    /* the calculation switch of the six profiles */
    bool debug = false;        /* debug mode from the first boot: DETAIL records kept */
    bool reticle_menu = false; /* the reticle menu switch, which opens the ballistic menus */
    double wind_speed = 0;     /* the six profiles' wind: m/s */
    double wind_angle = 0;     /* and the clock direction it comes from, 90 from the right */
};

/* The firmware image's factory templates with those switches, as files to
 * put in the sandbox before sightd's first boot. Empty on failure (why). */
std::vector<sim_file> home_road_image(const HomeRoadImage &image, std::string *why);

/* The scope with that image and a Media partition of media_bytes: the
 * queue peers (the media process unless others are named), sightd, the
 * rangefinder module and sightui, up to the home page; false with why. */
struct HomeRoad : sim_harness {
    bool start(const HomeRoadImage &image, uint64_t media_bytes, const std::vector<std::string> &peers = {"media"});
    /* Both programs end (sightui killed, sightd through its orderly exit)
     * and start again in the same sandbox, up to the home page, from what
     * sightd saved; false with why. */
    bool restart();
};
