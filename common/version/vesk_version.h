// Build identity: each program appends one line about its own build to
// "/tmp/apps.version", which support tooling and the GUI read back.
#pragma once

#include <stddef.h>

#define VESK_VERSION_FILE "/tmp/apps.version"
#define VESK_VERSION_LINE_MAX 128

/* Fixed when the program is built. */
const char *vesk_build_date(void);
const char *vesk_build_time(void);
const char *vesk_build_revision(void);
const char *vesk_build_branch(void);

/* "%s:\t <%s>\t (%s,%s) [%s] on {%s}": role word, program name, build date,
 * build time, revision, branch. Cut to the buffer like snprintf. */
void vesk_version_program_line(char *buf, size_t cap, const char *role, const char *name);
/* "%s:\t <%s>\t (%s,%s) [%s]": label, name, build date, build time, value. */
void vesk_version_component_line(char *buf, size_t cap, const char *label, const char *name, const char *value);

/* Appends line and a line feed to path with one O_APPEND write, so that
 * lines of both programs never interleave and no text of the line reaches a
 * shell. Control characters in the line are written as '?' so that a name
 * or version from outside cannot forge a line of its own. 0 or -errno. */
int vesk_version_append(const char *path, const char *line);

/* Puts line (cleaned as above) in place of every line of path that begins
 * with label and ':', or appends it when there is none. The file is written
 * aside and renamed over the old one, so a reader sees either. For an
 * identity that changes while the programs run (a new serial number).
 * 0 or -errno. */
int vesk_version_replace(const char *path, const char *label, const char *line);

/* The part of argv0 after its last '/', or all of it. */
const char *vesk_version_basename(const char *argv0);
