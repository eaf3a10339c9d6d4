// The log socket's receive side: packets of any size and content from a
// GUI peer reach sightd's logger, which checks them and writes the lines
// it accepts to the media log files.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "fuzz_support.h"
#include "log_keep_terminal.h"
#include "vesk_debug.h"
#include "vesk_log.h"

static std::string g_socket;
static int g_gui = -1;

static void connect_gui(void)
{
    if (g_gui >= 0) close(g_gui);
    g_gui = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    struct sockaddr_un addr;
    memset(&addr, 0, sizeof(addr));
    addr.sun_family = AF_UNIX;
    snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", g_socket.c_str());
    if (connect(g_gui, (const struct sockaddr *)&addr, sizeof(addr)) != 0) abort();
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    (void)argc;
    (void)argv;
    fuzz_sandbox();
    vesk_log_config cfg;
    memset(&cfg, 0, sizeof(cfg));
    snprintf(cfg.vesk_media_root, sizeof(cfg.vesk_media_root), "%s", fuzz_scratch().c_str());
    g_socket = fuzz_scratch() + "/log.sock";
    snprintf(cfg.vesk_socket_path, sizeof(cfg.vesk_socket_path), "%s", g_socket.c_str());
    cfg.vesk_require_vfat = 0;
    if (vesk_log_start_keeping_terminal(VESK_LOG_APP, &cfg) != 0) abort();
    vesk_debug_set(1); /* the GUI's detail lines are taken too */
    connect_gui();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    /* Packets one after another, each a 16-bit size and its bytes. */
    fuzz_reader in(data, size);
    while (in.left() > 0) {
        size_t want = (size_t)in.byte() | ((size_t)in.byte() << 8), got;
        const uint8_t *p = in.take(want % 8600, &got);
        if (send(g_gui, p, got, MSG_NOSIGNAL) < 0) connect_gui();
    }
    return 0;
}
