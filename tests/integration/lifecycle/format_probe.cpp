// Runs the format hook inside the sandbox as sightd's commit would: the
// logger in the app role writing to the Media partition, the Media log
// released by the lifecycle's barrier (unless "nopause"), then the hook.
// Writes "rc=N paused=N" to /tmp/format.result, logs "after format" and
// gives the logger time to write it.
//   lifecycle-format-probe pause|nopause
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "vesk_lifecycle.h"
#include "vesk_log.h"
#include "vesk_persist.h"

static void sleep_ms(long ms)
{
    struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&ts, NULL);
}

int main(int argc, char **argv)
{
    if (argc != 2) return 2;
    if (vesk_log_start(VESK_LOG_APP, NULL) != 0) return 3;
    vesk_log_printf(VESK_LOG_ERROR, "probe", "before format");
    sleep_ms(300);
    if (strcmp(argv[1], "pause") == 0) {
        uint64_t deadline = vesk_persist_mono_ms() + 5000, ticket = 0;
        if (vesk_log_request(VESK_LOG_PAUSE_MEDIA, deadline, &ticket) != 0) return 4;
        while (vesk_log_poll(ticket) == 0) sleep_ms(20);
    }
    int rc = vesk_lifecycle_format_media(NULL);
    /* A resume takes effect on the writer's next pass. */
    sleep_ms(300);
    vesk_log_stats stats;
    vesk_log_get_stats(&stats);
    FILE *f = fopen("/tmp/format.result", "w");
    if (f == NULL) return 5;
    fprintf(f, "rc=%d paused=%d\n", rc, stats.vesk_media_paused);
    fclose(f);
    vesk_log_printf(VESK_LOG_ERROR, "probe", "after format");
    sleep_ms(600);
    vesk_log_stop();
    return 0;
}
