// A small sightd stand-in for the crash table: the logger, persistence and
// the coordinator on the files of one test folder, one setting and one
// profile changed, then one lifecycle request. The power-off or reboot
// writes ROOT/terminal and ends the process; tests kill it at checkpoints
// instead and boot the folder again.
//   lifecycle_probe ROOT REASON LANGUAGE RANGE
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ftw.h>
#include <string>

#include "iniparser_handler.h"
#include "persist_fixture.h"
#include "sim_peer.h"
#include "vesk_fault.h"
#include "vesk_lifecycle.h"
#include "vesk_log.h"
#include "vesk_persist.h"

static std::string g_root;

static int terminal(const char *what)
{
    write_text(g_root + "/terminal", what);
    _exit(0);
}
static int power_off() { return terminal("power_off"); }
static int reboot_now() { return terminal("reboot"); }

static int remove_entry(const char *path, const struct stat *, int, struct FTW *ftw)
{
    return ftw->level == 0 ? 0 : remove(path);
}

/* What a new file system leaves: the folders the Media partition needs. */
static int format_media(void *)
{
    std::string media = g_root + "/media";
    if (nftw(media.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS) != 0) return -EIO;
    vesk_test_checkpoint("format:emptied");
    for (const char *d : {"/Video", "/Picture", "/.thumbnails"})
        if (mkdir((media + d).c_str(), 0755) != 0) return -EIO;
    vesk_log_resume_media();
    return 0;
}

int main(int argc, char **argv)
{
    if (argc != 5) return 2;
    g_root = argv[1];
    if (sim_peer_private_ipc() != 0) return 3;
    vesk_log_config cfg;
    memset(&cfg, 0, sizeof cfg);
    snprintf(cfg.vesk_media_root, sizeof cfg.vesk_media_root, "%s/media", argv[1]);
    snprintf(cfg.vesk_socket_path, sizeof cfg.vesk_socket_path, "%s/log.sock", argv[1]);
    mkdir(cfg.vesk_media_root, 0755);
    if (vesk_log_start(VESK_LOG_APP, &cfg) != 0) return 4;

    PersistDir dir;
    dir.layout(argv[1]);
    vesk_persist_paths paths = dir.paths();
    static const vesk_persist_hooks hooks = {format_media, NULL, NULL};
    static vesk_persist_profiles profiles;
    if (vesk_persist_start(&paths, &hooks, &qel_dev_status, &profiles) != 0) return 5;
    qel_ballistics = profiles.vesk_ballistics;
    qel_ir_cursor = profiles.vesk_cursor;
    vesk_lifecycle_calls calls = {power_off, reboot_now, NULL, NULL, NULL, NULL, NULL};
    vesk_lifecycle_set_calls(&calls);
    if (vesk_lifecycle_start() != 0) return 6;

    if (persist_action({"set", "s8language", argv[3]}) != 0 || persist_action({"profile", argv[4]}) != 0) return 7;
    vesk_persist_request request;
    memset(&request, 0, sizeof request);
    request.vesk_reason = (vesk_persist_reason)atoi(argv[2]);
    snprintf(request.vesk_reset_ssid, sizeof request.vesk_reset_ssid, "VeskNV_SN_NuraxPRO520_LRF");
    if (vesk_lifecycle_request(&request) != 0) return 8;
    /* The terminal call ends the process; a run that ends otherwise is a
     * failure the test sees as a time-out. */
    for (int i = 0; i < 300; i++) usleep(100 * 1000);
    return 9;
}
