// Bytes as upper-case hex without separators, the form the rangefinder's
// tests write their expected frames and payloads in.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <string>

static inline std::string hexs(const uint8_t *p, size_t n)
{
    std::string s;
    char b[3];
    for (size_t i = 0; i < n; i++) {
        snprintf(b, sizeof b, "%02X", p[i]);
        s += b;
    }
    return s;
}
