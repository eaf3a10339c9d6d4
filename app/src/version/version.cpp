#include "version.h"

#include <stdio.h>
#include <string.h>

#include "vesk_version.h"

int version_info_init(int argc, char **argv)
{
    char line[VESK_VERSION_LINE_MAX];
    const char *name = argc > 0 && argv != NULL ? vesk_version_basename(argv[0]) : "";
    vesk_version_program_line(line, sizeof line, "APP", name);
    (void)vesk_version_append(VESK_VERSION_FILE, line); /* a failed append is not fatal */
    printf("%s.\n", line);
    return 1;
}

int fpga_version_info_init(const char *label, const char *name, const char *value)
{
    char line[VESK_VERSION_LINE_MAX];
    vesk_version_component_line(line, sizeof line, label ? label : "", name ? name : "", value ? value : "");
    (void)vesk_version_append(VESK_VERSION_FILE, line);
    printf("%s\n", line);
    return 1;
}

int fpga_version_info_replace(const char *label, const char *name, const char *value)
{
    char line[VESK_VERSION_LINE_MAX];
    vesk_version_component_line(line, sizeof line, label ? label : "", name ? name : "", value ? value : "");
    (void)vesk_version_replace(VESK_VERSION_FILE, label ? label : "", line);
    printf("%s\n", line);
    return 1;
}

int rm_start_end_ch(char *buffer, int length, char ch)
{
    if (buffer == NULL || length <= 0) return 0;
    int start = 0, end = length;
    while (start < end && buffer[start] == ch) start++;
    while (end > start && buffer[end - 1] == ch) end--;
    int n = end - start;
    if (start > 0) memmove(buffer, buffer + start, (size_t)n);
    if (n < length) buffer[n] = '\0';
    return n;
}
