// The command router's setting frames: each changes the settings record
// and the settings store in one edit section.
#pragma once

#include <stddef.h>
#include <stdint.h>

/* Whole frame and its size. */
void usualSaveSet(const uint8_t *frame, size_t size);
void shootSaveSet(const uint8_t *frame, size_t size);
void reticleSaveSet(const uint8_t *frame, size_t size);
