/* An image widget; its draw_type places the image in the widget. */
#pragma once

#include "base/image_base.h"

BEGIN_C_DECLS

typedef enum _image_draw_type_t {
  IMAGE_DRAW_DEFAULT = 0, /* "default": natural size at the top left */
  IMAGE_DRAW_CENTER,      /* "center": natural size, centred */
  IMAGE_DRAW_ICON,        /* "icon": centred, shrunk to fit when larger */
  IMAGE_DRAW_SCALE,       /* "scale": stretched over the widget */
  IMAGE_DRAW_SCALE_AUTO,  /* "auto" or "scale_auto": fitted, aspect kept */
  IMAGE_DRAW_SCALE_W,     /* "scale_w": width fitted, aspect kept */
  IMAGE_DRAW_SCALE_H,     /* "scale_h": height fitted, aspect kept */
  IMAGE_DRAW_REPEAT       /* "repeat": tiled */
} image_draw_type_t;

typedef struct _image_t {
  image_base_t image_base;
  image_draw_type_t draw_type;
} image_t;

widget_t* image_create(widget_t* parent, xy_t x, xy_t y, wh_t w, wh_t h);
widget_t* image_cast(widget_t* widget);
ret_t image_set_draw_type(widget_t* widget, image_draw_type_t draw_type);
image_draw_type_t image_draw_type_from_str(const char* name);
const widget_vtable_t* image_get_widget_vtable(void);

END_C_DECLS
