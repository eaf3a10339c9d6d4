#include "ballistic_limits.h"

#include <math.h>

typedef struct {
    double min;
    double max;
} ui_limit_row;

/* In ui_limit_field order. */
static const ui_limit_row ui_limits[UI_LIMIT_COUNT] = {
    {0, 30000},      /* target range */
    {-90, 90},       /* shooting angle */
    {0, 359.9},      /* wind angle */
    {0, 30},         /* wind speed */
    {225, 825.1},    /* barometer */
    {0, 99},         /* humidity */
    {-40, 50},       /* temperature */
    {5, 80},         /* bullet length */
    {2.54, 20.3},    /* bullet diameter */
    {1.55, 3086.47}, /* bullet weight */
    {0.05, 2},       /* ballistic coefficient */
    {100, 1500},     /* muzzle velocity */
    {-99.99, 99.99}, /* zero offset in MOA */
    {0, 250},        /* sight height */
    {11, 1500},      /* zero range */
    {3.94, 24.02},   /* twist */
};

double ui_params_limit(double value, double minimum, double maximum)
{
    double v = value;
    if (minimum < 0 && maximum > 0) {
        if (v < 0 && fabs(v) > fabs(minimum))
            v = minimum;
        else if (v >= 0 && v > maximum)
            v = maximum;
    } else if (minimum >= 0 && maximum >= 0 && minimum <= maximum) {
        if (v < 0) {
            v = minimum;
        } else {
            if (fabs(v) > maximum) v = maximum;
            if (fabs(v) < minimum) v = minimum;
        }
    }
    return v;
}

double ui_limit_min(ui_limit_field field) { return field >= 0 && field < UI_LIMIT_COUNT ? ui_limits[field].min : 0; }

double ui_limit_max(ui_limit_field field) { return field >= 0 && field < UI_LIMIT_COUNT ? ui_limits[field].max : 0; }

double ui_limit(ui_limit_field field, double value)
{
    if (field < 0 || field >= UI_LIMIT_COUNT) return value;
    if (!isfinite(value)) return ui_limits[field].min;
    return ui_params_limit(value, ui_limits[field].min, ui_limits[field].max);
}
