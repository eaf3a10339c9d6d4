// sightd's end of the queues, as the peers' tests play it: the test
// program in a private IPC namespace, the queue to the peers (12345) and the
// one to sightd (54321), a scratch folder, and the records sightd writes
// and reads on them.
#pragma once

#include <gtest/gtest.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "sim_peer.h"

/* One record on either queue, 520 bytes after the mtype. */
struct raw_record {
    long mtype;
    uint8_t type, command, pad[2];
    uint32_t length;
    uint8_t frame[512];
};

class AppQueues : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(sim_peer_private_ipc(), 0); }
    void SetUp() override
    {
        char tmpl[] = "/tmp/sim_peer_test.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        to_peers = msgget(12345, IPC_CREAT | 0777);
        to_app = msgget(54321, IPC_CREAT | 0777);
        ASSERT_GE(to_peers, 0);
        ASSERT_GE(to_app, 0);
    }
    void TearDown() override
    {
        msgctl(to_peers, IPC_RMID, nullptr);
        msgctl(to_app, IPC_RMID, nullptr);
        std::string cmd = "rm -rf '" + dir + "'";
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
    /* What sightd would put on queue 12345. */
    void app_send(long mtype, uint8_t type, const std::vector<uint8_t> &frame)
    {
        raw_record r;
        memset(&r, 0, sizeof(r));
        r.mtype = mtype;
        r.type = type;
        r.length = (uint32_t)frame.size();
        memcpy(r.frame, frame.data(), frame.size());
        ASSERT_EQ(msgsnd(to_peers, &r, 520, IPC_NOWAIT), 0);
    }
    /* What sightd would read from queue 54321. */
    bool app_receive(raw_record *r, int timeout_ms)
    {
        for (int waited = 0; waited < timeout_ms; waited++) {
            if (msgrcv(to_app, r, 520, 5, IPC_NOWAIT) == 520) return true;
            usleep(1000);
        }
        return false;
    }
    std::string dir;
    int to_peers = -1, to_app = -1;
};
