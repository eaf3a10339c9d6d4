/* Decoded images by name. A bare name or a name ending ".png" is read from
 * "res/images/" (a bare name tries .png, .jpg, .bmp in turn); "file://<path>"
 * reads that file. PNG, JPEG and BMP are decoded. */
#pragma once

#include "base/bitmap.h"

BEGIN_C_DECLS

typedef struct _image_manager_t image_manager_t;

image_manager_t* image_manager(void);
/* bitmap stays valid until the image is unloaded. An image of 2 MiB or
 * more decoded is unloaded by itself after a paint of the whole screen that
 * did not draw it and a second after the last paint: take its bitmap for
 * the drawing at hand only. */
ret_t image_manager_get_bitmap(image_manager_t* imm, const char* name, bitmap_t* image);
ret_t image_manager_unload_all(image_manager_t* imm);
ret_t image_manager_unload_unused(image_manager_t* imm, uint32_t time_delta_s);

END_C_DECLS
