#include "general_reticle_marks.h"

#include <stddef.h>

/* A unit length beyond any screen; bounding it keeps every coordinate sum
 * inside 32 bits whatever zoom or resolution a window resource sets. */
static const double UNIT_LIMIT = 1000000.0;

typedef struct {
    general_reticle_rect_t *out;
    int cap;
    int n;
} marks_t;

static void put(marks_t *m, int32_t x, int32_t y, int32_t w, int32_t h)
{
    if (m->n < m->cap) m->out[m->n] = general_reticle_rect_t{x, y, w, h};
    m->n++;
}

/* The integer part of n units: the product formed in double and truncated
 * toward zero. */
static int32_t units(double n, float unit, float scale)
{
    double v = n * (double)unit * (double)scale;
    if (v > UNIT_LIMIT) v = UNIT_LIMIT;
    if (v < -UNIT_LIMIT) v = -UNIT_LIMIT;
    return (int32_t)v;
}

static int32_t at_least_one(int32_t v) { return v < 1 ? 1 : v; }

int general_reticle_marks(const general_reticle_geometry_t *g, general_reticle_rect_t *out, int cap)
{
    if (g == NULL || (out == NULL && cap > 0)) return 0;
    marks_t m = {out, cap < 0 ? 0 : cap, 0};

    const int32_t cx = g->width / 2 - 1;
    const int32_t cy = g->height / 2 - 1;
    const int32_t hx = g->width / 2;
    const int32_t hy = g->height / 2;
    /* Single precision, as the mark's scale has always been kept. */
    const float s = (float)(g->zoom * 0.01);
    const float ux = (float)g->resolution_x / 100.0f;
    const float uy = g->resolution_y > 0 ? (float)g->resolution_y / 100.0f : ux;

    const int32_t a = units(1, ux, s), a10 = units(10, ux, s), a15 = units(15, ux, s);
    const int32_t b = units(1, uy, s), b10 = units(10, uy, s), b15 = units(15, uy, s);

    switch (g->type) {
    case 0:
    case 1:
    case 2:
        put(&m, cx + a, cy, a10 - a + 1, 2);         /* right arm */
        put(&m, cx + a10 + 1, hy - 2, a15 - a10, 4); /* right post */
        put(&m, cx - a10, cy, a10 - a + 1, 2);       /* left arm */
        put(&m, cx - a15, hy - 2, a15 - a10, 4);     /* left post */
        put(&m, cx, cy + b, 2, b10 - b + 1);         /* lower arm */
        put(&m, hx - 2, cy + b10 + 1, 4, b15 - b10); /* lower post */
        if (g->type == 0) {
            put(&m, cx, cy - b10, 2, b10 - b + 1);   /* upper arm */
            put(&m, hx - 2, cy - b15, 4, b15 - b10); /* upper post */
        } else if (g->type == 2) {
            /* Hold-over bars at 2, 3 and 4 units below the centre. */
            const int32_t p = at_least_one(units(0.25, ux, s));
            const int32_t q = at_least_one(units(0.5, ux, s));
            put(&m, hx - p, cy + units(2, uy, s), 2 * p, 2);
            put(&m, hx - p, cy + units(3, uy, s), 2 * p, 2);
            put(&m, hx - q, cy + units(4, uy, s), 2 * q, 2);
        }
        break;
    case 3: /* dot grid */
        for (int i = 1; i <= 5; i++) {
            put(&m, cx + units(i, ux, s), cy, 2, 2);
            put(&m, cx - units(i, ux, s), cy, 2, 2);
        }
        for (int i = 1; i <= 10; i++) put(&m, cx, cy + units(i, uy, s), 2, 2);
        for (int i = 1; i <= 3; i++) put(&m, cx, cy - units(i, uy, s), 2, 2);
        break;
    case 4: { /* tick ladder */
        const int32_t t = at_least_one(units(0.25, uy, s));
        const int32_t k = at_least_one(units(0.25, ux, s));
        for (int i = 1; i <= 5; i++) {
            put(&m, cx + units(i, ux, s), hy - t, 2, 2 * t);
            put(&m, cx - units(i, ux, s), hy - t, 2, 2 * t);
        }
        for (int i = 1; i <= 11; i++) put(&m, hx - k, cy + units(i, uy, s), 2 * k, 2);
        break;
    }
    case 5: /* plain cross, no separate centre dot */
        put(&m, cx - a + 1, cy, 2 * a, 2);
        put(&m, cx, cy - b + 1, 2, 2 * b);
        return m.n < m.cap ? m.n : m.cap;
    default:
        return 0;
    }
    put(&m, cx, cy, 2, 2); /* centre dot */
    return m.n < m.cap ? m.n : m.cap;
}
