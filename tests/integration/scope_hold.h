// The hold-over the ballistic library gives for a factory-layout profile,
// with the profile mapped onto the library's records as sightd's binding
// maps it: what the end-to-end tests expect sightd's result frames to say.
#pragma once

#include "scope_factory.h"
#include "sim_harness.h"

struct scope_hold {
    double drop, windage; /* MOA, as the library gives them */
};

/* One calculation at a range in decimetres and a shot angle in degrees,
 * with the profile's own wind, weather and options; a refused calculation
 * fails the test. */
scope_hold scope_library_hold(const wire_profile &p, int range_dm, double shot_angle, int dynamic_bc);

/* The dynamic-coefficient switch sightd's boot push reported to the GUI
 * stand-in (the push's last frame), which the library is called with; -1
 * unless exactly one push was seen. */
int scope_boot_dynamic_bc(const sim_harness &run);
