// lrf-sim [board-log]: plays the rangefinder module on a fresh
// pseudo-terminal until its standard input ends. The first output line is
// the terminal's path; each input line is a script line of lrf_sim.h, and
// each answer is "ok" or "error: <line>".
#include <stdio.h>
#include <string.h>

#include "lrf_sim.h"

int main(int argc, char **argv)
{
    lrf_sim *sim = lrf_sim_start(argc > 1 ? argv[1] : NULL);
    if (sim == NULL) {
        perror("lrf-sim: cannot open a pseudo-terminal");
        return 1;
    }
    printf("%s\n", lrf_sim_slave_path(sim));
    fflush(stdout);
    char line[256];
    while (fgets(line, sizeof line, stdin) != NULL) {
        line[strcspn(line, "\r\n")] = '\0';
        if (line[0] == '\0' || line[0] == '#') continue;
        if (lrf_sim_command(sim, line) == 0) {
            printf("ok\n");
        } else {
            printf("error: %s\n", line);
        }
        fflush(stdout);
    }
    lrf_sim_stop(sim);
    return 0;
}
