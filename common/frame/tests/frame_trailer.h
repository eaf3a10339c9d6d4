// The end every serial and queue frame of the scope carries, for the tests
// that write frames out by hand: the 8-bit sum of every byte before it,
// then EB AA.
#pragma once

#include <stdint.h>

#include <vector>

inline void append_frame_trailer(std::vector<uint8_t> &f)
{
    unsigned sum = 0;
    for (uint8_t b : f) sum += b;
    f.push_back((uint8_t)sum);
    f.push_back(0xEB);
    f.push_back(0xAA);
}
