// The fixture of a link module's tests: sightd's queues in an IPC namespace
// of the test's own, its sender running, and the phone side's and the GUI's
// queue peers, which check what reaches them from the frame layout.
#pragma once

#include <gtest/gtest.h>

#include "sim_peer.h"
#include "vesk_msg.h"

class PeerLinkTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(sim_peer_private_ipc(), 0); }
    sim_peer *http = nullptr, *gui = nullptr;

    /* The derived fixture calls these last in its SetUp and first in its
     * TearDown, around its module's own set-up. */
    void SetUp() override
    {
        ASSERT_EQ(Qel_MsgEvent_Init(nullptr), 0);
        http = sim_peer_start(SIM_PEER_HTTP, nullptr);
        gui = sim_peer_start(SIM_PEER_GUI, nullptr);
        ASSERT_TRUE(http && gui);
    }
    void TearDown() override
    {
        sim_peer_stop(http);
        sim_peer_stop(gui);
        Qel_MsgEvent_Deinit();
    }
};
