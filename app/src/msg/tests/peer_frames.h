// What sightd sent to one queue peer, as a test sees it: every frame that
// reached the peer before a marker sightd's own sender sent after them, so
// a test can tell that nothing else was sent without waiting out a time.
#pragma once

#include <stdint.h>

#include <vector>

#include "sim_peer.h"

/* role: SIM_PEER_HTTP, SIM_PEER_BLE or SIM_PEER_GUI. The frames are
 * forgotten by the peer; a missing marker fails the test. */
std::vector<std::vector<uint8_t>> vesk_frames_before_marker(sim_peer *peer, sim_peer_role role);
