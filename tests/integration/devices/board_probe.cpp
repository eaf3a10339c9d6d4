// Runs the board module's device controls inside the sandbox, where their
// board calls land in the board log:
//   board-probe rtc HOUR MIN SEC YEAR MONTH DAY
//   board-probe clock HOUR MIN SEC YEAR MONTH DAY
//   board-probe hw NR VALUE
//   board-probe uart VALUE
// prints the function's result and exits 0.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "qel_power.h"

int main(int argc, char **argv)
{
    int v[6] = {0};
    for (int i = 2; i < argc && i < 8; i++) v[i - 2] = atoi(argv[i]);
    int rc;
    if (argc == 8 && strcmp(argv[1], "rtc") == 0)
        rc = rtc_set_time(v[0], v[1], v[2], v[3], v[4], v[5]);
    else if (argc == 8 && strcmp(argv[1], "clock") == 0)
        rc = sys_set_time(v[0], v[1], v[2], v[3], v[4], v[5]);
    else if (argc == 4 && strcmp(argv[1], "hw") == 0)
        rc = Power_Ctrl_IO(VESK_BOARD_HW_REQUEST((unsigned)v[0]), v[1]);
    else if (argc == 3 && strcmp(argv[1], "uart") == 0)
        rc = Power_Ctrl_UART(v[0]);
    else {
        fprintf(stderr, "board-probe: rtc|clock H M S Y MO D, hw NR VALUE, uart VALUE\n");
        return 2;
    }
    printf("rc=%d\n", rc);
    return 0;
}
