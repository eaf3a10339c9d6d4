// sim-peer --role media|http|ble|gui --dir DIR
// One queue peer inside the sandbox: appends every record it receives to
// DIR/<role>.rx and sends every frame line written to the FIFO DIR/<role>.tx.
// DIR/<role>.ready appears once it is draining. Ends on SIGTERM or SIGINT.
// The media peer also answers replay requests (media_replay.h).
#include <signal.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "media_replay.h"
#include "sim_peer.h"

static int usage(void)
{
    fprintf(stderr, "usage: sim-peer --role media|http|ble|gui --dir DIR\n");
    return 2;
}

int main(int argc, char **argv)
{
    const char *role_name = nullptr;
    const char *dir = nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (strcmp(argv[i], "--role") == 0)
            role_name = argv[i + 1];
        else if (strcmp(argv[i], "--dir") == 0)
            dir = argv[i + 1];
        else
            return usage();
    }
    sim_peer_role role;
    if (dir == nullptr || sim_peer_role_parse(role_name, &role) != 0) return usage();

    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr); /* before the threads start */

    sim_peer *peer = sim_peer_start(role, dir);
    if (peer == nullptr) {
        fprintf(stderr, "sim-peer %s: start failed: %s\n", role_name, strerror(errno));
        return 1;
    }
    /* The media process also plays the videos the GUI asks for. */
    sim_media_replay *replay = role == SIM_PEER_MEDIA ? sim_media_replay_start(peer, "/usrdata/media/Video/") : nullptr;
    std::string ready = std::string(dir) + "/" + role_name + ".ready";
    FILE *f = fopen(ready.c_str(), "w");
    if (f != nullptr) fclose(f);

    int sig = 0;
    sigwait(&stop_signals, &sig);
    sim_media_replay_stop(replay);
    sim_peer_stop(peer);
    return 0;
}
