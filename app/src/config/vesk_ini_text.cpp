// INI text helpers on iniparser dictionaries.
#include "vesk_ini_text.h"

#include <errno.h>
#include <iniparser.h>

#include "vesk_io.h"

/* Puts "section:key" = text into d. iniparser writes a key out only under a
 * section entry of its own, so a file that lacked the section gains it. */
int vesk_ini_dict_set(dictionary *d, const char *section, const char *key, const char *text)
{
    if (!iniparser_find_entry(d, section) && iniparser_set(d, section, NULL) != 0) return -ENOMEM;
    return iniparser_set(d, key, text) == 0 ? 0 : -ENOMEM;
}

static void dump_dictionary(FILE *f, const void *d) { iniparser_dump_ini((const dictionary *)d, f); }

int vesk_ini_dump_text(const dictionary *d, char **out_text, size_t *out_length)
{
    if (d == NULL) return -ENOENT;
    return vesk_io_to_memory(dump_dictionary, d, out_text, out_length);
}
