// INI text helpers on iniparser dictionaries, shared by the settings store
// and the reset staging that rewrites a copy of the defaults.
#pragma once

#include <stddef.h>

typedef struct _dictionary_ dictionary;

/* Sets "section:key" (full_key) = text in d, adding the section entry
 * iniparser needs to write the key out. 0 or -ENOMEM. */
int vesk_ini_dict_set(dictionary *d, const char *section, const char *full_key, const char *text);
/* d in iniparser's INI form, in a new buffer the caller frees. -ENOENT for
 * no dictionary, otherwise as vesk_io_to_memory. */
int vesk_ini_dump_text(const dictionary *d, char **out_text, size_t *out_length);
