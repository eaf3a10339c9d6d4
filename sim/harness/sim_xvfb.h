// An X server of its own (Xvfb) for what must draw on a display though no
// one looks: the SDL window's test and the benchmarks that time sightui's
// paint on screen.
#pragma once

#include <sys/types.h>

#include <string>

#define SIM_XVFB "/usr/bin/Xvfb"

/* Starts Xvfb with one screen of that geometry ("1280x1024x24") on a display
 * number it picks itself, so that it is safe beside other tests. Its pid
 * with ":<number>" in *display, or -1 when it did not come up. */
pid_t sim_xvfb_start(const char *screen, std::string *display);
/* Ends an Xvfb sim_xvfb_start started and waits for it. */
void sim_xvfb_stop(pid_t pid);
