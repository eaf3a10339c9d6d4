// general_reticle: the aiming mark over the thermal picture. One of six mark
// types centred in the widget, scaled by a zoom in percent and a resolution,
// in one of six colours; it draws only filled rectangles and has no state
// beyond its twelve properties. The home page drives it through them.
#pragma once

#include "awtk.h"

BEGIN_C_DECLS

#define WIDGET_TYPE_GENERAL_RETICLE "general_reticle"

#define GENERAL_RETICLE_PROP_C_PROP "c_prop"
#define GENERAL_RETICLE_PROP_C_PROP1 "c_prop1"
#define GENERAL_RETICLE_PROP_ZOOM "zoom"
#define GENERAL_RETICLE_PROP_RETICLE_TYPE "reticle_type"
#define GENERAL_RETICLE_PROP_RETICLE_COLOR "reticle_color"
#define GENERAL_RETICLE_PROP_RESOLUTION_X "resolution_x"
#define GENERAL_RETICLE_PROP_RESOLUTION_Y "resolution_y"
#define GENERAL_RETICLE_PROP_C_PROP7 "c_prop7"
#define GENERAL_RETICLE_PROP_C_PROP8 "c_prop8"
#define GENERAL_RETICLE_PROP_C_PROP9 "c_prop9"
#define GENERAL_RETICLE_PROP_C_PROP10 "c_prop10"
#define GENERAL_RETICLE_PROP_C_PROP11 "c_prop11"

typedef struct _general_reticle_t {
    widget_t widget;
    int32_t c_prop;        /* stored only */
    int32_t c_prop1;       /* stored only */
    int32_t zoom;          /* percent, 100 = 1x */
    int32_t reticle_type;  /* 0..5; others draw nothing */
    int32_t reticle_color; /* 0 white, 1 black, 2 green, 3 red, 4 blue, else black */
    int32_t resolution_x;  /* hundredths of a pixel per unit at zoom 100 */
    int32_t resolution_y;  /* 0 or negative: as resolution_x */
    int32_t c_prop7;       /* c_prop7 .. c_prop11: stored only */
    int32_t c_prop8;
    int32_t c_prop9;
    int32_t c_prop10;
    int32_t c_prop11;
} general_reticle_t;

#define GENERAL_RETICLE(widget) ((general_reticle_t *)(general_reticle_cast(WIDGET(widget))))

/* Makes "general_reticle" known to the widget factory, so that any window
 * resource can hold one. */
ret_t general_reticle_register(void);
widget_t *general_reticle_create(widget_t *parent, xy_t x, xy_t y, wh_t w, wh_t h);
/* The widget when it is a general_reticle, else NULL (logged). */
widget_t *general_reticle_cast(widget_t *widget);

/* Store the value; RET_BAD_PARAMS for any other widget. None redraws. */
ret_t general_reticle_set_c_prop(widget_t *widget, int32_t c_prop);
ret_t general_reticle_set_c_prop1(widget_t *widget, int32_t c_prop1);
ret_t general_reticle_set_zoom(widget_t *widget, int32_t zoom);
ret_t general_reticle_set_reticle_type(widget_t *widget, int32_t reticle_type);
ret_t general_reticle_set_reticle_color(widget_t *widget, int32_t reticle_color);
ret_t general_reticle_set_resolution_x(widget_t *widget, int32_t resolution_x);
ret_t general_reticle_set_resolution_y(widget_t *widget, int32_t resolution_y);
ret_t general_reticle_set_c_prop7(widget_t *widget, int32_t c_prop7);
ret_t general_reticle_set_c_prop8(widget_t *widget, int32_t c_prop8);
ret_t general_reticle_set_c_prop9(widget_t *widget, int32_t c_prop9);
ret_t general_reticle_set_c_prop10(widget_t *widget, int32_t c_prop10);
ret_t general_reticle_set_c_prop11(widget_t *widget, int32_t c_prop11);

/* The widget's operations, as its type description lists them. */
ret_t general_reticle_get_prop(widget_t *widget, const char *name, value_t *v);
ret_t general_reticle_set_prop(widget_t *widget, const char *name, const value_t *v);
ret_t general_reticle_on_paint_self(widget_t *widget, canvas_t *c);
ret_t general_reticle_on_event(widget_t *widget, event_t *e);
ret_t general_reticle_on_destroy(widget_t *widget);

const widget_vtable_t *general_reticle_get_widget_vtable(void);
const char *general_reticle_supported_render_mode(void);

END_C_DECLS
