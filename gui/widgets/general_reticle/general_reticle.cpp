#include "general_reticle.h"

#include <stddef.h>

#include "general_reticle_marks.h"

typedef ret_t (*general_reticle_setter_t)(widget_t *widget, int32_t value);

#define GENERAL_RETICLE_SETTER(field)                                                                                  \
    ret_t general_reticle_set_##field(widget_t *widget, int32_t field)                                                 \
    {                                                                                                                  \
        general_reticle_t *general_reticle = GENERAL_RETICLE(widget);                                                  \
        return_value_if_fail(general_reticle != NULL, RET_BAD_PARAMS);                                                 \
        general_reticle->field = field;                                                                                \
        return RET_OK;                                                                                                 \
    }

GENERAL_RETICLE_SETTER(c_prop)
GENERAL_RETICLE_SETTER(c_prop1)
GENERAL_RETICLE_SETTER(zoom)
GENERAL_RETICLE_SETTER(reticle_type)
GENERAL_RETICLE_SETTER(reticle_color)
GENERAL_RETICLE_SETTER(resolution_x)
GENERAL_RETICLE_SETTER(resolution_y)
GENERAL_RETICLE_SETTER(c_prop7)
GENERAL_RETICLE_SETTER(c_prop8)
GENERAL_RETICLE_SETTER(c_prop9)
GENERAL_RETICLE_SETTER(c_prop10)
GENERAL_RETICLE_SETTER(c_prop11)

/* The twelve properties in record order: name, field, setter. */
static const struct {
    const char *name;
    size_t offset;
    general_reticle_setter_t set;
} s_general_reticle_props[] = {
    {GENERAL_RETICLE_PROP_C_PROP, offsetof(general_reticle_t, c_prop), general_reticle_set_c_prop},
    {GENERAL_RETICLE_PROP_C_PROP1, offsetof(general_reticle_t, c_prop1), general_reticle_set_c_prop1},
    {GENERAL_RETICLE_PROP_ZOOM, offsetof(general_reticle_t, zoom), general_reticle_set_zoom},
    {GENERAL_RETICLE_PROP_RETICLE_TYPE, offsetof(general_reticle_t, reticle_type), general_reticle_set_reticle_type},
    {GENERAL_RETICLE_PROP_RETICLE_COLOR, offsetof(general_reticle_t, reticle_color), general_reticle_set_reticle_color},
    {GENERAL_RETICLE_PROP_RESOLUTION_X, offsetof(general_reticle_t, resolution_x), general_reticle_set_resolution_x},
    {GENERAL_RETICLE_PROP_RESOLUTION_Y, offsetof(general_reticle_t, resolution_y), general_reticle_set_resolution_y},
    {GENERAL_RETICLE_PROP_C_PROP7, offsetof(general_reticle_t, c_prop7), general_reticle_set_c_prop7},
    {GENERAL_RETICLE_PROP_C_PROP8, offsetof(general_reticle_t, c_prop8), general_reticle_set_c_prop8},
    {GENERAL_RETICLE_PROP_C_PROP9, offsetof(general_reticle_t, c_prop9), general_reticle_set_c_prop9},
    {GENERAL_RETICLE_PROP_C_PROP10, offsetof(general_reticle_t, c_prop10), general_reticle_set_c_prop10},
    {GENERAL_RETICLE_PROP_C_PROP11, offsetof(general_reticle_t, c_prop11), general_reticle_set_c_prop11},
};

static const char *s_general_reticle_properties[] = {GENERAL_RETICLE_PROP_C_PROP,
                                                     GENERAL_RETICLE_PROP_C_PROP1,
                                                     GENERAL_RETICLE_PROP_ZOOM,
                                                     GENERAL_RETICLE_PROP_RETICLE_TYPE,
                                                     GENERAL_RETICLE_PROP_RETICLE_COLOR,
                                                     GENERAL_RETICLE_PROP_RESOLUTION_X,
                                                     GENERAL_RETICLE_PROP_RESOLUTION_Y,
                                                     GENERAL_RETICLE_PROP_C_PROP7,
                                                     GENERAL_RETICLE_PROP_C_PROP8,
                                                     GENERAL_RETICLE_PROP_C_PROP9,
                                                     GENERAL_RETICLE_PROP_C_PROP10,
                                                     GENERAL_RETICLE_PROP_C_PROP11,
                                                     NULL};

static int general_reticle_prop_index(const char *name)
{
    for (size_t i = 0; i < ARRAY_SIZE(s_general_reticle_props); i++) {
        if (tk_str_eq(name, s_general_reticle_props[i].name)) return (int)i;
    }
    return -1;
}

ret_t general_reticle_get_prop(widget_t *widget, const char *name, value_t *v)
{
    general_reticle_t *general_reticle = GENERAL_RETICLE(widget);
    return_value_if_fail(general_reticle != NULL && name != NULL && v != NULL, RET_BAD_PARAMS);
    int i = general_reticle_prop_index(name);
    if (i < 0) return RET_NOT_FOUND;
    const char *field = (const char *)general_reticle + s_general_reticle_props[i].offset;
    value_set_int32(v, *(const int32_t *)field);
    return RET_OK;
}

ret_t general_reticle_set_prop(widget_t *widget, const char *name, const value_t *v)
{
    return_value_if_fail(widget != NULL && name != NULL && v != NULL, RET_BAD_PARAMS);
    int i = general_reticle_prop_index(name);
    if (i < 0) return RET_NOT_FOUND;
    return s_general_reticle_props[i].set(widget, value_int32(v));
}

static void general_reticle_set_color(canvas_t *c, int32_t reticle_color)
{
    switch (reticle_color) {
    case 0:
        canvas_set_stroke_color_str(c, "white");
        canvas_set_fill_color_str(c, "white");
        break;
    case 1:
    case 2: {
        color_t color = color_init(0, reticle_color == 2 ? 0xff : 0, 0, 0xff);
        canvas_set_stroke_color(c, color);
        canvas_set_fill_color(c, color);
        break;
    }
    case 3:
        canvas_set_stroke_color_str(c, "red");
        canvas_set_fill_color_str(c, "red");
        break;
    case 4:
        canvas_set_stroke_color_str(c, "blue");
        canvas_set_fill_color_str(c, "blue");
        break;
    default:
        canvas_set_stroke_color_str(c, "black");
        canvas_set_fill_color_str(c, "black");
        break;
    }
}

ret_t general_reticle_on_paint_self(widget_t *widget, canvas_t *c)
{
    general_reticle_t *general_reticle = GENERAL_RETICLE(widget);
    return_value_if_fail(general_reticle != NULL && c != NULL, RET_BAD_PARAMS);
    general_reticle_set_color(c, general_reticle->reticle_color);

    general_reticle_geometry_t g = {general_reticle->reticle_type,
                                    general_reticle->zoom,
                                    general_reticle->resolution_x,
                                    general_reticle->resolution_y,
                                    widget->w,
                                    widget->h};
    general_reticle_rect_t marks[GENERAL_RETICLE_MARKS_MAX];
    int n = general_reticle_marks(&g, marks, GENERAL_RETICLE_MARKS_MAX);
    for (int i = 0; i < n; i++) {
        /* At zoom 0 the posts have no width: nothing to fill. */
        if (marks[i].w > 0 && marks[i].h > 0) canvas_clear_rect(c, marks[i].x, marks[i].y, marks[i].w, marks[i].h);
    }
    return RET_OK;
}

ret_t general_reticle_on_event(widget_t *widget, event_t *e)
{
    general_reticle_t *general_reticle = GENERAL_RETICLE(widget);
    return_value_if_fail(widget != NULL && general_reticle != NULL, RET_BAD_PARAMS);
    (void)e;
    return RET_OK;
}

ret_t general_reticle_on_destroy(widget_t *widget)
{
    general_reticle_t *general_reticle = GENERAL_RETICLE(widget);
    return_value_if_fail(widget != NULL && general_reticle != NULL, RET_BAD_PARAMS);
    return RET_OK;
}

TK_DECL_VTABLE(general_reticle) = {
    .size = sizeof(general_reticle_t),
    .type = WIDGET_TYPE_GENERAL_RETICLE,
    .inputable = 0,
    .focusable = 0,
    .is_window = 0,
    .clone_properties = s_general_reticle_properties,
    .persistent_properties = s_general_reticle_properties,
    .parent = TK_PARENT_VTABLE(widget),
    .create = general_reticle_create,
    .get_prop = general_reticle_get_prop,
    .set_prop = general_reticle_set_prop,
    .on_paint_self = general_reticle_on_paint_self,
    .on_event = general_reticle_on_event,
    .on_destroy = general_reticle_on_destroy,
};

widget_t *general_reticle_create(widget_t *parent, xy_t x, xy_t y, wh_t w, wh_t h)
{
    widget_t *widget = widget_create(parent, TK_REF_VTABLE(general_reticle), x, y, w, h);
    general_reticle_t *general_reticle = (general_reticle_t *)widget;
    return_value_if_fail(general_reticle != NULL, NULL);
    /* widget_create zeroes the record; only the horizontal unit differs. */
    general_reticle->resolution_x = 500;
    return widget;
}

widget_t *general_reticle_cast(widget_t *widget)
{
    return_value_if_fail(WIDGET_IS_INSTANCE_OF(widget, general_reticle), NULL);
    return widget;
}

const char *general_reticle_supported_render_mode(void) { return "OpenGL|AGGE-BGR565|AGGE-BGRA8888|AGGE-MONO"; }

ret_t general_reticle_register(void)
{
    return widget_factory_register(widget_factory(), WIDGET_TYPE_GENERAL_RETICLE, general_reticle_create);
}
