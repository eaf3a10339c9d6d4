// The two steps that run inside the persistence commit of a lifecycle
// request, after the settings are safe and before the reboot: a new file
// system on the Media partition, and publishing an update package.
#include <errno.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>

#include "vesk_lifecycle.h"
#include "vesk_lifecycle_internal.h"
#include "vesk_log.h"
#include "vesk_persist.h"

#define TAG VESK_LIFECYCLE_TAG
#define MEDIA_DEVICE "/dev/mmcblk0p9"
#define MEDIA_MOUNT "/usrdata/media/"
#define UPDATE_DIR "/usrdata/update/"

enum { UMTPRD_EXIT_WAIT_MS = 2000, UMTPRD_POLL_MS = 20 };

/* 0 only when the shell ran, was not killed and exited with status 0. */
static int run(const char *command)
{
    int status = system(command);
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : -1;
}

static int umtprd_running(void) { return run("pidof umtprd >/dev/null") == 0; }

static void restart_umtprd(void)
{
    if (run("if [ -e /etc/umtprd.conf ]; then /usrdata/bin/umtprd -conf /etc/umtprd.conf & "
            "else /usrdata/bin/umtprd & fi") != 0)
        vesk_log_printf(VESK_LOG_ERROR, TAG, "format_media: umtprd restart failed");
}

/* The MTP responder holds the card open for a USB host; 1 when this call
 * stopped it. */
static int stop_umtprd(void)
{
    if (!umtprd_running()) return 0;
    (void)run("kill -9 $(pidof umtprd)");
    uint64_t deadline = vesk_persist_mono_ms() + UMTPRD_EXIT_WAIT_MS;
    while (umtprd_running()) {
        if (vesk_persist_mono_ms() >= deadline) {
            vesk_log_printf(VESK_LOG_ERROR, TAG, "format_media: umtprd still running");
            break;
        }
        struct timespec ts = {0, UMTPRD_POLL_MS * 1000000L};
        nanosleep(&ts, NULL);
    }
    return 1;
}

/* The card is gone from under its mount point: resuming the Media log now
 * would write onto the root file system's bare folder, so the log stays
 * paused until a Media partition is mounted again (the next start). */
static int media_lost(const char *message)
{
    vesk_log_printf(VESK_LOG_ERROR, TAG, "%s", message);
    vesk_log_printf(VESK_LOG_ERROR, TAG, "format_media: Media partition not mounted; Media log stays paused");
    return -EIO;
}

int vesk_lifecycle_format_media(void *context)
{
    (void)context;
    vesk_log_stats stats;
    vesk_log_get_stats(&stats);
    if (!stats.vesk_media_paused) {
        vesk_log_printf(VESK_LOG_ERROR, TAG, "format_media: media not paused, refusing format");
        return -EBUSY;
    }
    (void)run("rm /var/log/memdrop.log");
    const int stopped = stop_umtprd();
    if (run("umount " MEDIA_MOUNT) != 0) {
        vesk_log_printf(VESK_LOG_ERROR, TAG, "format_media: umount failed, format cancelled");
        if (stopped && !umtprd_running()) restart_umtprd();
        vesk_log_resume_media();
        return -EBUSY;
    }
    if (run("mkfs.vfat " MEDIA_DEVICE) != 0) return media_lost("format_media: mkfs.vfat failed");
    if (run("mount " MEDIA_DEVICE " " MEDIA_MOUNT) != 0) return media_lost("format_media: mount failed");

    const vesk_lifecycle_calls *calls = vesk_lifecycle_calls_get();
    if (calls->vesk_update_media_ready != NULL) calls->vesk_update_media_ready();

    int rc = 0;
    if (run("mkdir -p " MEDIA_MOUNT "Video") != 0 || run("mkdir -p " MEDIA_MOUNT "Picture") != 0 ||
        run("mkdir -p " MEDIA_MOUNT ".thumbnails") != 0) {
        vesk_log_printf(VESK_LOG_ERROR, TAG, "format_media: media directories not created");
        rc = -EIO;
    }
    /* The responder is not restarted: the reboot that follows brings it. */
    vesk_log_resume_media();
    return rc;
}

int vesk_lifecycle_install_update(const char *path, void *context)
{
    (void)context;
    const vesk_lifecycle_calls *calls = vesk_lifecycle_calls_get();
    if (calls->vesk_update_unpack == NULL) {
        /* Nothing was touched, so the commit cancels and the scope runs on. */
        vesk_log_printf(VESK_LOG_ERROR, TAG, "install_update: no update unpacker; update of %s cancelled",
                        path != NULL ? path : "(none)");
        return -ECANCELED;
    }
    return calls->vesk_update_unpack(path, UPDATE_DIR);
}
