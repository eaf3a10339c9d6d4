// sightui-keys: types the scope's keys into sightui's key injection as
// sightd sends them (key frames on queue 12345), for a sightui that runs
// without sightd's key path, and for the key frames the key device has no
// key for (photo, range double, range+power).
//   sightui-keys CODE|+MS ...
// CODE is a device key code (0 up short ... 38 range double); +MS waits MS
// milliseconds, as between a long press and its release.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <unistd.h>

#include "vesk_frame.h"
#include "vesk_msgq.h"

static int send_key(int q, uint8_t code)
{
    Qel_MsgEvent ev;
    memset(&ev, 0, sizeof(ev));
    ev.msg_type = MSG_TYPE_FOR_QTMENU;
    ev.msg_text.type = MSGQ_COMMAND_APP_TO_UI;
    ev.msg_text.command = MSGQ_COMMAND_BY_APP;
    size_t n = vesk_frame_build(ev.msg_text.context, sizeof(ev.msg_text.context), SUB_NOTIFIER_KEY, 0, 0,
                                VESK_FRAME_FLAG_REPORT, &code, 1);
    ev.msg_text.length = (uint32_t)n;
    return msgsnd(q, &ev, MSGQ_TEXT_SIZE, 0);
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: sightui-keys CODE|+MS ...\n");
        return 2;
    }
    int q = msgget(MSGQ_KEY_TO_PEERS, IPC_CREAT | MSGQ_PERMS);
    if (q < 0) {
        fprintf(stderr, "sightui-keys: msgget %d: %s\n", MSGQ_KEY_TO_PEERS, strerror(errno));
        return 1;
    }
    for (int i = 1; i < argc; i++) {
        char *end;
        long v = strtol(argv[i][0] == '+' ? argv[i] + 1 : argv[i], &end, 10);
        if (*end != '\0' || v < 0 || (argv[i][0] != '+' && v > 255)) {
            fprintf(stderr, "sightui-keys: '%s' is no key code or +MS\n", argv[i]);
            return 2;
        }
        if (argv[i][0] == '+') {
            usleep((useconds_t)v * 1000);
        } else if (send_key(q, (uint8_t)v) != 0) {
            fprintf(stderr, "sightui-keys: msgsnd: %s\n", strerror(errno));
            return 1;
        }
    }
    return 0;
}
