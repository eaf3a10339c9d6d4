#include "scope_lrf.h"

#include <errno.h>
#include <string.h>

#include <string>

#include "sim_lrf_line.h"

/* One module per run, stopped when the run is over. */
static sim_lrf_line *s_lrf;

static void lrf_end(scope_run *)
{
    sim_lrf_line_stop(s_lrf);
    s_lrf = NULL;
}

int scope_cmd_lrf(scope_run *run, int argc, char **argv)
{
    if (s_lrf == NULL) {
        s_lrf = sim_lrf_line_start(run->sb, "/dev/ttyS5");
        if (s_lrf == NULL) {
            scope_error("lrf: no module on /dev/ttyS5: %s", strerror(errno));
            return SCOPE_FAIL;
        }
        if (scope_at_end(run, lrf_end) != 0) {
            lrf_end(run);
            scope_error("lrf: too many peers to stop at the end");
            return SCOPE_FAIL;
        }
        scope_say("rangefinder module on /dev/ttyS5");
    }
    std::string line;
    for (int i = 1; i < argc; i++)
        line += std::string(i > 1 ? " " : "") + argv[i];
    if (lrf_sim_command(sim_lrf_line_module(s_lrf), line.c_str()) != 0) {
        scope_error("lrf: the module does not understand '%s'", line.c_str());
        return SCOPE_FAIL;
    }
    return SCOPE_OK;
}
