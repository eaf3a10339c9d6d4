// The home page's pure helpers: number texts without a minus zero, and the
// screen positions of the marks it moves over the picture. They hold no
// state and touch no widget.
#include <stdio.h>
#include <string.h>

#include "home_page.h"
#include "home_page_internal.h"
#include "ui_status.h"
#include "utils_common.h"

#define HOME_PIP_HALF 19

int tk_snprintf_float(char *buffer, size_t size, const char *format, double value)
{
    if (buffer == NULL || size == 0 || format == NULL) return 0;
    tk_snprintf(buffer, size, format, value);
    size_t len = strlen(buffer);
    if (buffer[0] == '-' && strpbrk(buffer + 1, "123456789") == NULL) {
        memmove(buffer, buffer + 1, len);
        len--;
    }
    return (int)len;
}

/* Both coordinates of a mark: a coordinate that is no number or lies
 * beyond any screen takes the limit (never a wrapped int), and the result
 * says so. */
static int home_mark_coords(int *x, int *y, double vx, double vy, int (*convert)(double, int *))
{
    int okx = convert(vx, x), oky = convert(vy, y);
    return okx == 0 && oky == 0 ? 0 : -1;
}

int Set_ZoomRangeMove(int *x, int *y, int range_x, int range_y, int cursor_x, int cursor_y, float zoom)
{
    int bounded = home_mark_coords(x, y, cursor_x + (range_x - cursor_x) * zoom, cursor_y + (range_y - cursor_y) * zoom,
                                   vesk_trunc_coord);
    *x -= HOME_MARK_HALF;
    *y -= HOME_MARK_HALF;
    if (bounded != 0 || *x < 0 || *y < 0) {
        printf("newRange (%d x %d) limit < 0,error!!!!!!! \n", *x, *y);
        return -1;
    }
    return 1;
}

int Set_ZoomBallisticMove(int *x, int *y, int cursor_x, int cursor_y, float zoom, float ballistic_x, float ballistic_y,
                          float offset_x, float offset_y)
{
    int bounded =
        home_mark_coords(x, y, (ballistic_x + offset_x) * zoom, (ballistic_y + offset_y) * zoom, vesk_round_coord);
    *x += cursor_x - HOME_MARK_HALF;
    *y += cursor_y - HOME_MARK_HALF;
    if (bounded != 0 || *x < 0 || *y < 0) {
        printf("newBallistic (%d x %d) limit < 0,error!!!!!!! \n", *x, *y);
        return -1;
    }
    return 1;
}

int Set_Zoom_Pip_BallisticMove(int *x, int *y, float ballistic_x, float ballistic_y, float zoom)
{
    int bounded = home_mark_coords(x, y, ballistic_x * zoom * 2 + 639, ballistic_y * zoom * 2 + 235, vesk_trunc_coord);
    *x -= HOME_PIP_HALF;
    *y -= HOME_PIP_HALF;
    return bounded == 0 ? 1 : -1;
}

float Keep_decimal_place(float value)
{
    /* The 16-bit step holds the zooms of the scope; anything outside it
     * would not convert at all. */
    double tenths = (value + 0.05) * 10;
    if (!(tenths >= 0)) tenths = 0;
    if (tenths > UINT16_MAX) tenths = UINT16_MAX;
    return (float)(uint16_t)tenths / 10;
}

const char *getReticleImgName(const char *folder)
{
    /* The caller gets the text in this buffer, as the name's users expect;
     * it holds no state between calls. */
    static char name[128];
    static const char *const colours[] = {"white", "black", "red", "green"};
    int colour = stDevStatus.s8ReticleColour;
    int zoom = home_is_pip() ? 1 : stUIStatus.s8IRZoom;
    tk_snprintf(name, sizeof name, "%s/Reticle%d_%dx_%s.png", folder != NULL ? folder : "",
                stDevStatus.s8ReticleType + 1, zoom, colour < (int)ARRAY_SIZE(colours) ? colours[colour] : "white");
    return name;
}
