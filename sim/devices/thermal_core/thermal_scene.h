// The synthetic thermal scene behind the GUI: a cool sky and a warmer
// ground with a few warm targets (two deer, a standing man, a car with a
// hot engine), shaped by the image settings the thermal core follows and
// coloured and zoomed as the media process would show it.
#pragma once

#include <stdint.h>

struct thermal_scene_settings {
    int brightness;  /* 1..10, 5 neutral */
    int contrast;    /* 1..10, 5 neutral */
    int enhancement; /* 1..5: edge sharpening */
    int black_hot;   /* the core's polarity */
    int palette;     /* the media process's: 0 white hot, 1 black hot, 2 red hot, 3 red, 4 green */
    int zoom;        /* magnification x 100, at least 100 */
};

/* The settings of a core fresh from power-up, at 1x. */
thermal_scene_settings thermal_scene_defaults(void);

/* The scene's heat at a point of the unzoomed view, x and y in 0..1 from
 * the top left: 0 the coldest sky, 1 the hottest engine. */
float thermal_scene_heat(float x, float y);

/* Renders w x h opaque pixels of bytes r, g, b, a into rgba. */
void thermal_scene_render(const thermal_scene_settings *s, uint8_t *rgba, int w, int h);
