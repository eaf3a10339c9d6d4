#include "thermal_scene.h"

#include <math.h>

#include <algorithm>
#include <vector>

namespace {

const float HORIZON = 0.45f;

/* A warm shape: an ellipse (round) or a box, with a soft rim. */
struct shape {
    float cx, cy, rx, ry;
    bool round;
    float heat;
};

/* Two deer, a standing man and a car whose engine is the hottest thing in
 * view. Coordinates are fractions of the view. */
const shape shapes[] = {
    /* deer, facing right: body, neck, head, ears, legs */
    {0.300f, 0.620f, 0.058f, 0.026f, true, 0.78f},
    {0.346f, 0.590f, 0.010f, 0.024f, true, 0.80f},
    {0.362f, 0.566f, 0.016f, 0.009f, true, 0.84f},
    {0.352f, 0.553f, 0.004f, 0.008f, true, 0.74f},
    {0.258f, 0.668f, 0.003f, 0.032f, false, 0.70f},
    {0.274f, 0.668f, 0.003f, 0.032f, false, 0.70f},
    {0.326f, 0.668f, 0.003f, 0.032f, false, 0.70f},
    {0.342f, 0.668f, 0.003f, 0.032f, false, 0.70f},
    /* a smaller deer further off, facing left */
    {0.700f, 0.600f, 0.035f, 0.016f, true, 0.72f},
    {0.672f, 0.584f, 0.006f, 0.014f, true, 0.74f},
    {0.662f, 0.570f, 0.010f, 0.006f, true, 0.78f},
    {0.675f, 0.628f, 0.003f, 0.018f, false, 0.66f},
    {0.725f, 0.628f, 0.003f, 0.018f, false, 0.66f},
    /* a man */
    {0.520f, 0.555f, 0.011f, 0.045f, false, 0.86f},
    {0.520f, 0.497f, 0.009f, 0.012f, true, 0.92f},
    /* a car: body, hot engine, warm wheels */
    {0.150f, 0.760f, 0.080f, 0.030f, false, 0.46f},
    {0.215f, 0.752f, 0.020f, 0.020f, false, 0.97f},
    {0.100f, 0.795f, 0.014f, 0.014f, true, 0.62f},
    {0.200f, 0.795f, 0.014f, 0.014f, true, 0.62f},
};

float clamp01(float v) { return v < 0 ? 0 : v > 1 ? 1 : v; }

/* Fine ground texture, the same for a point every time. */
float grain(float x, float y)
{
    uint32_t h = (uint32_t)(x * 4093.0f) * 73856093u ^ (uint32_t)(y * 4091.0f) * 19349663u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return (float)(h & 0xFFFF) / 65535.0f;
}

/* 1 inside the shape, fading to 0 over its rim. */
float cover(const shape &s, float x, float y)
{
    const float dx = (x - s.cx) / s.rx, dy = (y - s.cy) / s.ry;
    float d = s.round ? sqrtf(dx * dx + dy * dy) : std::max(fabsf(dx), fabsf(dy));
    return clamp01((1.15f - d) / 0.3f);
}

struct rgb {
    float r, g, b;
};

rgb colour(int palette, float v)
{
    switch (palette) {
    case 2: /* red hot: grey, with the hottest turning red through orange */
        if (v > 0.7f) {
            float t = (v - 0.7f) / 0.3f;
            return {v, v * (1 - 0.75f * t), v * (1 - t)};
        }
        return {v, v, v};
    case 3:
        return {v, v * 0.22f, v * 0.18f};
    case 4:
        return {v * 0.2f, v, v * 0.25f};
    default:
        return {v, v, v};
    }
}

uint8_t byte_of(float v) { return (uint8_t)lrintf(clamp01(v) * 255.0f); }

} // namespace

thermal_scene_settings thermal_scene_defaults(void) { return {5, 5, 1, 0, 0, 100}; }

float thermal_scene_heat(float x, float y)
{
    float heat;
    if (y < HORIZON) {
        heat = 0.04f + 0.12f * y / HORIZON; /* colder sky overhead */
    } else {
        /* The ground keeps some of the day's warmth, more of it near by. */
        heat = 0.26f + 0.16f * (y - HORIZON) / (1 - HORIZON) + 0.05f * grain(x, y);
        /* A tree line on the horizon. */
        float tree = 0.02f + 0.015f * sinf(x * 47.0f) + 0.01f * sinf(x * 113.0f);
        if (y - HORIZON < tree) heat = std::max(heat, 0.34f);
    }
    for (const shape &s : shapes) {
        float c = cover(s, x, y);
        if (c > 0) heat = heat + (s.heat - heat) * c * (s.heat > heat ? 1.0f : 0.0f);
    }
    return clamp01(heat);
}

void thermal_scene_render(const thermal_scene_settings *s, uint8_t *rgba, int w, int h)
{
    if (s == nullptr || rgba == nullptr || w <= 0 || h <= 0) return;
    const float zoom = s->zoom >= 100 ? s->zoom / 100.0f : 1.0f;
    std::vector<float> heat((size_t)w * h);
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            /* The zoomed view is the middle of the scene, made larger. */
            float fx = 0.5f + ((x + 0.5f) / w - 0.5f) / zoom;
            float fy = 0.5f + ((y + 0.5f) / h - 0.5f) / zoom;
            heat[(size_t)y * w + x] = thermal_scene_heat(fx, fy);
        }
    }
    const float gain = 0.4f + 0.12f * std::min(std::max(s->contrast, 1), 10);
    const float offset = 0.06f * (std::min(std::max(s->brightness, 1), 10) - 5);
    const float sharpen = 0.45f * (std::min(std::max(s->enhancement, 1), 5) - 1);
    const int r = std::max(1, w / 320);
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            const float v0 = heat[(size_t)y * w + x];
            float around = 0;
            around += heat[(size_t)y * w + std::max(0, x - r)];
            around += heat[(size_t)y * w + std::min(w - 1, x + r)];
            around += heat[(size_t)std::max(0, y - r) * w + x];
            around += heat[(size_t)std::min(h - 1, y + r) * w + x];
            float v = v0 + sharpen * (v0 - around / 4);
            v = 0.5f + (v - 0.5f) * gain + offset;
            v = clamp01(v);
            if (s->black_hot) v = 1 - v;
            const rgb c = colour(s->palette, v);
            uint8_t *p = rgba + ((size_t)y * w + x) * 4;
            p[0] = byte_of(c.r);
            p[1] = byte_of(c.g);
            p[2] = byte_of(c.b);
            p[3] = 255;
        }
    }
}
