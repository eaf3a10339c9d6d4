// Files of the Media partition as the media process makes them: a photo is
// a 24-bit BMP, its thumbnail a JPEG, both a flat colour with a white bar
// across the middle (so a screenshot shows which one is drawn), and a video
// a fixture whose length media_replay.h reads back.
#pragma once

#include <stdint.h>

#include <vector>

std::vector<uint8_t> sim_media_bmp(int w, int h, uint8_t r, uint8_t g, uint8_t b);
std::vector<uint8_t> sim_media_jpeg(int w, int h, uint8_t r, uint8_t g, uint8_t b);
