// The media process's replay of videos, as sim-peer --role media plays it:
// it answers the GUI's replay requests (relayed by sightd as object 23,
// sub 1, item 1: 0 pause, 1 continue, 2 stop, 3 start and 4 length, the
// last two with 24 bytes of the file name; item 3: seek to a uint64 frame)
// with the length report (item 4: total frames uint64, rate uint16; the
// length in seconds is frames x 10 / rate) and, while a video plays, a
// position report (item 2: frame uint64) ten times a second, the last one
// at the video's end.
//
// A video's length is read from its file in the video folder: a fixture
// made by scope-sim holds "frames=N rate=R"; any other file counts as 10 s
// at 30 frames a second (300 frames, rate 300).
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "sim_peer.h"

struct sim_media_replay;

/* Watches what the media peer receives and answers through it; null with
 * errno set. video_dir ends with '/'. */
sim_media_replay *sim_media_replay_start(sim_peer *peer, const std::string &video_dir);
void sim_media_replay_stop(sim_media_replay *replay);

/* The length of a video file: frames and rate, from its contents. */
void sim_media_video_length(const std::string &path, uint64_t *frames, uint16_t *rate);
/* The contents scope-sim writes for a fixture video of that length. */
std::string sim_media_fixture_video(uint64_t frames, uint16_t rate);
