// GPIO pins through the kernel's sysfs files. Pin numbers are kernel GPIO
// numbers; every call opens and closes its file, so no descriptor outlives
// it. Writes return the bytes written, or -1 with errno from the first
// failure.
#pragma once

#include <stddef.h>

int gpio_export(int pin);
int gpio_unexport(int pin);
/* "out" for a nonzero out, else "in". */
int gpio_set_direction(int pin, int out);
/* The value in decimal, as given. */
int gpio_set_value(int pin, int value);
/* The first character minus '0'; 0 when the file is empty; -1 when it does
 * not open. */
int gpio_get_value(int pin);

/* Opens path write-only, writes all bytes (retrying on EINTR; a write of 0
 * bytes is EIO) and closes it. */
int gpio_write_node(const char *path, const char *bytes, size_t length);
