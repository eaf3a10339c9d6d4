// An update package: any bytes as the claimed ZIP, checked and unpacked
// into an update directory. Whatever the archive says, only the member
// table's names may appear there, and a refused package leaves nothing.
#include <dirent.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "fuzz_support.h"
#include "vesk_update.h"
#include "vesk_update_internal.h"

static std::string g_zip, g_update, g_published;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    (void)argc;
    (void)argv;
    fuzz_sandbox();
    g_update = fuzz_scratch() + "/update/";
    mkdir(g_update.c_str(), 0755);
    g_zip = fuzz_scratch() + "/device_upgrade_claimed.zip";
    g_published = g_update + "device_upgrade";
    return 0;
}

static bool in_table(const char *name)
{
    for (const char *m : g_vesk_update_names)
        if (strcmp(m, name) == 0) return true;
    return false;
}

/* Every name in dir; aborts on one outside the table when members is set,
 * removes each. Returns how many there were. */
static int sweep(const std::string &dir, bool members)
{
    DIR *d = opendir(dir.c_str());
    if (d == nullptr) return 0;
    int n = 0;
    for (struct dirent *e; (e = readdir(d)) != nullptr;) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
        if (members && !in_table(e->d_name)) abort();
        unlink((dir + "/" + e->d_name).c_str());
        n++;
    }
    closedir(d);
    return n;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_write_file(g_zip, data, size);
    int rc = vesk_update_unpack(g_zip.c_str(), g_update.c_str());
    if (rc == 0) {
        if (access(g_zip.c_str(), F_OK) == 0) abort(); /* a published package's ZIP is removed */
        if (sweep(g_published, true) == 0) abort();
        if (rmdir(g_published.c_str()) != 0) abort();
    } else if (access(g_zip.c_str(), F_OK) != 0) {
        abort(); /* a refused ZIP is kept */
    }
    if (sweep(g_update, false) != 0) abort(); /* nothing else is ever left behind */
    return 0;
}
