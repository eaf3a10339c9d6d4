// The simulated thermal core on the far end of the scope's /dev/ttyS4.
// Written from the link's frame layout alone, never from sightd's code, so
// that a checksum or byte-order slip on one side shows on the other:
//
//   to the core:   AA LEN cmd_hi cmd_lo kind params... chk EB AA
//   from the core: 55 LEN cmd_hi cmd_lo kind data...   chk EB AA
//
// LEN = total length - 4; chk = 8-bit sum of the bytes before it.
//
// The core records every frame it receives, acknowledges image and
// bad-pixel commands by sending the frame back with its own head (55),
// answers the identity and version queries, announces its identity once
// when it first hears from the scope, and follows the image settings it is
// given (thermal_core_get_image). An automatic bad-pixel search and a save
// of the pixel map end with their notices once they are done (after
// search-ms and save-ms); every notice also goes out on request.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

struct thermal_core;

/* Starts the core's thread on line, a descriptor of the line's far end (a
 * pseudo-terminal master, say); the caller keeps owning it. Null on
 * failure. */
thermal_core *thermal_core_start(int line);
void thermal_core_stop(thermal_core *core);

/* One script line, as scope-sim and the tests give them:
 *   version TEXT        the version text of the self test (v1.0.0-sim)
 *   first-version TEXT  the first version text (fw1.0)
 *   pn TEXT, sn TEXT    part and serial number
 *   silent on|off       take frames in, answer nothing
 *   answers on|off      end searches and saves with their notices (on)
 *   search-ms N         how long an automatic search takes (1500)
 *   save-ms N           how long a save of the pixel map takes (200)
 *   badsum on|off       corrupt the checksum of everything sent
 *   notice repair|calibrated|bright-on|bright-off|save-ok|save-failed
 *                       send that notice now
 *   send HEX...         send these bytes as they are
 * 0, or -1 for a line it does not understand. */
int thermal_core_command(thermal_core *core, const char *line);

/* One frame as the core took it in. */
struct thermal_core_record {
    uint16_t cmd;
    uint8_t kind;
    std::vector<uint8_t> params;
    std::vector<uint8_t> frame; /* every byte, as received */
    bool answered;              /* taken while the core was not silent */
};
std::vector<thermal_core_record> thermal_core_received(thermal_core *core);
/* Those of one command. */
std::vector<thermal_core_record> thermal_core_received(thermal_core *core, uint16_t cmd);
/* Waits until at least count frames were received; false at the time-out. */
bool thermal_core_wait(thermal_core *core, size_t count, int timeout_ms);
/* Every byte the core has sent, in order. */
std::vector<uint8_t> thermal_core_sent(thermal_core *core);

/* The image as the core's settings make it. */
struct thermal_core_image {
    int brightness;  /* level 1..10 */
    int contrast;    /* level 1..10 */
    int enhancement; /* level 1..5 */
    int black_hot;   /* polarity */
    int highlight, freeze, hot_point;
    int scene;       /* the scene byte (0, 1, 2, 9) */
    int badpix_mode; /* 0 off, 1 on, 2 resume */
    int cursor_x, cursor_y;
    unsigned calibrations, shutter_closes, repairs, saves;
    /* Pixels marked by hand: the last one, how many, and how many of them
     * the last save wrote into the map. */
    int mark_x, mark_y;
    unsigned marks, saved_marks;
    unsigned bad_frames;   /* frames whose checksum was wrong */
    unsigned long changes; /* counts every change of the above */
};
void thermal_core_get_image(thermal_core *core, thermal_core_image *out);

/* A frame from the core (head 55) with its checksum, for tests. */
std::vector<uint8_t> thermal_core_frame(uint8_t head, uint16_t cmd, uint8_t kind, const std::vector<uint8_t> &data);
