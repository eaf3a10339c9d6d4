// The reports at start: any bytes as the boot installer's own report and as
// the report already on the Media partition (a user can edit it over USB).
// The reconciliation reads both; whatever it writes is a whole report.
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "fuzz_support.h"
#include "vesk_update.h"
#include "vesk_update_internal.h"

static std::string g_media, g_update;
static vesk_update_watch g_watch;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    (void)argc;
    (void)argv;
    fuzz_sandbox();
    g_media = fuzz_scratch() + "/media/";
    g_update = fuzz_scratch() + "/update/";
    mkdir(g_media.c_str(), 0755);
    mkdir(g_update.c_str(), 0755);
    snprintf(g_watch.vesk_media, sizeof g_watch.vesk_media, "%s", g_media.c_str());
    snprintf(g_watch.vesk_update, sizeof g_watch.vesk_update, "%s", g_update.c_str());
    snprintf(g_watch.vesk_slot, sizeof g_watch.vesk_slot, "%sVeskUpdate/device_upgrade_claimed.zip", g_media.c_str());
    return 0;
}

/* Input: a mode byte (bit 0: the installer's report exists, bit 1: the
 * Media report exists), two bytes of the installer report's length, then
 * the installer report and the Media report. */
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_reader in(data, size);
    uint8_t mode = in.byte();
    size_t split = in.byte() | (size_t)in.byte() << 8, got = 0;
    const uint8_t *installer = in.take(split, &got);
    size_t installer_len = got;
    const uint8_t *media = in.take(in.left(), &got);
    std::string installer_path = g_update + "vesk_update_failed.txt", media_path = g_media + "vesk_update_failed.txt";
    unlink(installer_path.c_str());
    unlink(media_path.c_str());
    if (mode & 1) fuzz_write_file(installer_path, installer, installer_len);
    if (mode & 2) fuzz_write_file(media_path, media, got);

    vesk_update_installer_report report;
    int read = vesk_update_read_installer_report(g_update.c_str(), &report);
    if (read == 1) {
        if (report.vesk_len > 4095 || strlen(report.vesk_text) != report.vesk_len) abort();
        for (size_t i = 0; i < report.vesk_len; i++) {
            unsigned char c = (unsigned char)report.vesk_text[i];
            if (c != '\n' && c != '\t' && (c < 32 || c > 126)) abort();
        }
    }
    int root = open(g_media.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    vesk_update_media_report before;
    (void)vesk_update_read_media_report(root, &before);
    if (strnlen(before.vesk_id, sizeof before.vesk_id) >= sizeof before.vesk_id) abort();
    vesk_update_reconcile_reports(&g_watch, root);
    vesk_update_media_report after;
    bool kept = before.vesk_present && strcmp(before.vesk_id, report.vesk_id) == 0;
    if (vesk_update_read_media_report(root, &after) == 1 && read == 1 && !kept) {
        /* The installer's report is on Media now, under its id. */
        if (!after.vesk_installer || strcmp(after.vesk_id, report.vesk_id) != 0) abort();
    }
    close(root);
    return 0;
}
