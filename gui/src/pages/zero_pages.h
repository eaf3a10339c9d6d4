// The zeroing pages: the zero editor ("QZ_reticle_zero_child"), the
// movement panel ("QZ_reticle_zero_dist"), the zero slot list
// ("QZ_reticle_zero") and the range-mark mover ("QZ_range_move"). They work
// on the current zero slot of the current group in IR_Cursor; a position is
// a whole screen pixel (639 the centre) plus a fraction of a pixel.
#pragma once

#include <stdint.h>

#include "awtk.h"

/* Rows of the zero editor. */
typedef enum { RETICLE_ZERO_CHILD_DISTANCE = 1, RETICLE_ZERO_CHILD_MOVEMENT = 2 } reticle_zero_child_item_t;
/* The zero editor's current row; the reticle menu sets it before opening
 * the editor, whose init then takes it from the context. */
extern int32_t QZ_reticle_zero_child_index;
/* The reticle menu's row that leads to the zero editor. */
#define RETICLE_MENU_MOVEMENT_ROW 5

/* Millimetres per pixel at distance metres and zoom factor (a zoom of 0 or
 * less counts as the factory 1.00x). */
float calc_pix2mm(float distance, float zoom);
/* Mil per pixel. */
float calc_pix2mil(void);
/* Moves the whole part of an offset above 1 or below -1 into the value,
 * keeping the signed fraction: 1; otherwise nothing changes: 0. */
int splitFloat(float *offset, int *value);
/* Holds value + offset within -200..200 pixels: beyond an end the value
 * becomes that end and the offset 0. Returns the value. */
int clamp_offset(int *value, float *offset);
/* A move that takes the total across the centre drops the fraction. */
void set_b_when_a_zero(int value, float *offset, float last);
