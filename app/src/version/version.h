// sightd's build lines in "/tmp/apps.version" and a small text helper of
// the PC link.
#pragma once

/* Appends the "APP" program line; prints it followed by a dot. Returns 1. */
int version_info_init(int argc, char **argv);
/* Appends a component line (thermal-core firmware, part and serial number).
 * Returns 1. */
int fpga_version_info_init(const char *label, const char *name, const char *value);
/* The same line put in place of the label's earlier one (a serial or part
 * number written while sightd runs). Returns 1. */
int fpga_version_info_replace(const char *label, const char *name, const char *value);
/* Removes every leading and trailing ch in place, NUL-terminates when the
 * text became shorter and returns the new length; 0 for a null buffer. */
int rm_start_end_ch(char *buffer, int length, char ch);
