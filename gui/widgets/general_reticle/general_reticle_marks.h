// Geometry of the aiming marks the reticle widget draws: which rectangles
// each mark type fills in a widget of a given size at a zoom and resolution.
// Kept apart from the widget so the drawing can be checked rectangle by
// rectangle without a screen.
#pragma once

#include <stdint.h>

typedef struct {
    int32_t x;
    int32_t y;
    int32_t w;
    int32_t h;
} general_reticle_rect_t;

/* Enough for the largest mark (the dot grid: 24 rectangles). */
#define GENERAL_RETICLE_MARKS_MAX 32

typedef struct {
    int32_t type;         /* 0..5; any other value has no mark */
    int32_t zoom;         /* percent, 100 = 1x */
    int32_t resolution_x; /* hundredths of a pixel per unit at zoom 100 */
    int32_t resolution_y; /* 0 or negative: the same as resolution_x */
    int32_t width;        /* of the widget */
    int32_t height;
} general_reticle_geometry_t;

/* Writes the rectangles of the mark in drawing order, in widget coordinates,
 * and returns how many; rectangles of zero width or height are listed as
 * the mark defines them. At most cap are written. */
int general_reticle_marks(const general_reticle_geometry_t *g, general_reticle_rect_t *out, int cap);
