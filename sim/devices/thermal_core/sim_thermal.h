// The thermal core behind a harness's /dev/ttyS4, and the video plane the
// GUI is shown over: a scene thread renders the thermal scene as the core's
// settings and the media process's palette and zoom make it, and writes it
// to the sandbox's video plane file (SIM_VIDEO_PLANE), which sightui's window shows the GUI
// over. Screenshots lay the GUI plane over the same scene.
#pragma once

#include <string>

#include "sim_harness.h"
#include "thermal_core.h"
#include "thermal_scene.h"

/* The core on the harness's line, attached on first use with its scene
 * thread (both stop before the sandbox goes); null with h.why. */
thermal_core *sim_thermal_core(sim_harness &h);
/* The core if it is attached, else null. */
thermal_core *sim_thermal_core_if_attached(const sim_harness &h);

/* What the scene shows now: the core's image settings with the palette
 * and zoom the media process was last sent. */
thermal_scene_settings sim_thermal_scene_now(const sim_harness &h);
/* The screen the scene is rendered for (1280 x 1024 unless changed). */
void sim_thermal_scene_size(sim_harness &h, int w, int h_px);

/* A PNG of the GUI plane (with its transparency) laid over the scene as it
 * is now: the PNG bytes of what the scope shows, or false with h.why. */
bool sim_thermal_composite(sim_harness &h, const std::string &gui_plane_png, std::string *out_png);
