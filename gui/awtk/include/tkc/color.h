/* Colours: four bytes r, g, b, a; `color` reads them as one word
 * (0xAABBGGRR on this little-endian host). */
#pragma once

#include "tkc/types_def.h"

BEGIN_C_DECLS

typedef struct _rgba_t {
  uint8_t r;
  uint8_t g;
  uint8_t b;
  uint8_t a;
} rgba_t;

typedef union _color_t {
  rgba_t rgba;
  uint32_t color;
} color_t;

color_t color_init(uint8_t r, uint8_t g, uint8_t b, uint8_t a);
/* Parses "#RRGGBB", "#RRGGBBAA", "#RGB", "rgb(r,g,b)", "rgba(r,g,b,a)" or a
 * colour name ("white", "red", ...). Leaves c unchanged and returns NULL
 * when the text is none of these. */
color_t* color_from_str(color_t* c, const char* str);
/* "#rrggbbaa" into str (at least 10 bytes). */
const char* color_hex_str(color_t c, char* str);

END_C_DECLS
