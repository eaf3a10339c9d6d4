/* Common part of image widgets: the image name. */
#pragma once

#include "base/widget.h"

BEGIN_C_DECLS

typedef struct _image_base_t {
  widget_t widget;
  char* image;
} image_base_t;

#define IMAGE_BASE(widget) ((image_base_t*)(widget))

/* name: a bare name, a name with ".png", or "file://<path>". */
ret_t image_base_set_image(widget_t* widget, const char* name);
ret_t image_base_get_prop(widget_t* widget, const char* name, value_t* v);
ret_t image_base_set_prop(widget_t* widget, const char* name, const value_t* v);
ret_t image_base_on_destroy(widget_t* widget);

END_C_DECLS
