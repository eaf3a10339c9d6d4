// One start of the watcher on a Media root and an update directory, for the
// crash table: "claim" unpacks the claimed package inside the request, as
// the install job does; "refuse" and "start" have the request refused (a
// start that only reconciles and sets aside).
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "vesk_update.h"

static const char *g_update_dir;

static int unpack_now(const vesk_persist_request *r)
{
    int rc = vesk_update_unpack(r->vesk_update_path, g_update_dir);
    /* The coordinator would note the cancelled commit; the probe ends here
     * with the claimed file in whatever state the unpack left it. */
    return rc == 0 ? 0 : 0;
}

static int refuse(const vesk_persist_request *) { return -EBUSY; }

int main(int argc, char **argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: update_probe claim|refuse|start MEDIA UPDATE\n");
        return 2;
    }
    g_update_dir = argv[3];
    vesk_update_calls calls = {strcmp(argv[1], "claim") == 0 ? unpack_now : refuse, NULL};
    vesk_update_set_calls(&calls);
    if (vesk_update_start(argv[2], argv[3]) != 0) return 1;
    vesk_update_stop();
    return 0;
}
