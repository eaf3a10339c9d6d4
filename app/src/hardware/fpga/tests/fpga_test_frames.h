// Frames of the thermal-core link written out from its layout, for the
// tests: head, LEN = total - 4, command high byte first, then the rest
// (kind and parameters), the sum of everything before, EB AA.
#pragma once

#include <stdint.h>

#include <initializer_list>
#include <vector>

#include "frame_trailer.h"

typedef std::vector<uint8_t> bytes;

inline bytes core_frame(uint8_t head, uint16_t cmd, const bytes &rest)
{
    const size_t total = 4 + rest.size() + 3;
    bytes f = {head, (uint8_t)(total - 4), (uint8_t)(cmd >> 8), (uint8_t)cmd};
    f.insert(f.end(), rest.begin(), rest.end());
    append_frame_trailer(f);
    return f;
}
inline bytes to_core(uint16_t cmd, const bytes &rest) { return core_frame(0xAA, cmd, rest); }
inline bytes from_core(uint16_t cmd, const bytes &rest) { return core_frame(0x55, cmd, rest); }

inline bytes cat(std::initializer_list<bytes> parts)
{
    bytes out;
    for (const bytes &p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
