#include "peer_frames.h"

#include <gtest/gtest.h>

#include "vesk_msg.h"

std::vector<std::vector<uint8_t>> vesk_frames_before_marker(sim_peer *peer, sim_peer_role role)
{
    const uint8_t mark = 99;
    std::vector<uint8_t> marker;
    if (role == SIM_PEER_GUI) {
        marker = sim_frame(mark, 0, 0, 0x80, {mark});
        Msgtext_App_To_Ui(MSGQ_COMMAND_APP_TO_UI, (uint32_t)marker.size(), marker.data());
    } else {
        /* The phone side's result frame, to either link peer. */
        marker = sim_frame(244, 0, mark, 0, {mark});
        if (role == SIM_PEER_HTTP)
            sendResultToHTTP(mark, &mark, 1);
        else
            sendResultToBLE(mark, &mark, 1);
    }
    std::vector<std::vector<uint8_t>> out;
    EXPECT_TRUE(sim_peer_take_until(peer, marker, 5000, &out)) << "the marker did not reach the peer";
    return out;
}
