// The command router's setting frames: each changes the settings record
// and the settings store in one edit section.
#pragma once

#include <stddef.h>
#include <stdint.h>

/* Whole frame and its size. -1 when the frame's value lies outside what
 * the setting's loader keeps: nothing is then stored and the router
 * forwards nothing; 0 otherwise. */
int usualSaveSet(const uint8_t *frame, size_t size);
int shootSaveSet(const uint8_t *frame, size_t size);
int reticleSaveSet(const uint8_t *frame, size_t size);
