// The queue peers of sightd as a test or scope-sim sees them: the media
// process (mtype 3), the HTTP daemon (6), the BLE service (7) and a GUI
// stand-in (4). Each drains its own records from queue 12345, keeps every
// one it received and can send frames to sightd on queue 54321.
//
// Written from the queue and frame layouts alone, on purpose sharing no code
// with sightd, so that a layout or checksum fault on one side shows up on
// the other.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

enum sim_peer_role { SIM_PEER_MEDIA, SIM_PEER_HTTP, SIM_PEER_BLE, SIM_PEER_GUI };

struct sim_peer_record {
    unsigned type;              /* record type byte */
    unsigned command;           /* command byte */
    unsigned length;            /* length field */
    std::vector<uint8_t> frame; /* the first `length` bytes (at most 512) */
};

struct sim_peer;

/* Role names as on the sim-peer command line: "media", "http", "ble", "gui". */
const char *sim_peer_role_name(sim_peer_role role);
int sim_peer_role_parse(const char *name, sim_peer_role *role);
long sim_peer_mtype(sim_peer_role role);         /* the mtype it reads */
unsigned sim_peer_send_type(sim_peer_role role); /* its record type to sightd */

/* Starts draining. With dir, each record is also appended to
 * dir/<role>.rx as "<type> <length> <hex frame>" and every line written to
 * the FIFO dir/<role>.tx is sent (see sim_peer_parse_tx_line). Null on
 * failure with errno set. */
sim_peer *sim_peer_start(sim_peer_role role, const char *dir);
void sim_peer_stop(sim_peer *peer);

std::vector<sim_peer_record> sim_peer_received(sim_peer *peer);
size_t sim_peer_count(sim_peer *peer);
/* Waits until at least count records were received; false at the time-out. */
bool sim_peer_wait(sim_peer *peer, size_t count, int timeout_ms);
void sim_peer_clear(sim_peer *peer);
/* Waits for a record holding marker (a frame the test had sent to this peer
 * after the ones it checks), hands the frames received before it in
 * *before and forgets them and the marker: what was sent before the marker
 * is all in, so "nothing else was sent" needs no time-out. False at the
 * time-out. */
bool sim_peer_take_until(sim_peer *peer, const std::vector<uint8_t> &marker, int timeout_ms,
                         std::vector<std::vector<uint8_t>> *before);

/* A frame to sightd with the role's own record type. 0 or -errno. */
int sim_peer_send(sim_peer *peer, const std::vector<uint8_t> &frame);
/* Any record type and length field, for records sightd must refuse. */
int sim_peer_send_record(unsigned type, const std::vector<uint8_t> &bytes, uint32_t length);
/* A record whose msgsnd size is not the record size. */
int sim_peer_send_sized(unsigned type, const std::vector<uint8_t> &bytes, size_t record_size, uint32_t length);

/* Frame helpers, written from the frame layout. */
std::vector<uint8_t> sim_frame(uint8_t obj, uint8_t sub, uint8_t item, uint8_t flag,
                               const std::vector<uint8_t> &payload = {});
uint8_t sim_frame_checksum(const uint8_t *frame, size_t size);
/* True for a frame with header, length, checksum and trailer all right. */
bool sim_frame_sound(const std::vector<uint8_t> &frame);
std::string sim_hex(const std::vector<uint8_t> &bytes);
bool sim_unhex(const std::string &text, std::vector<uint8_t> *bytes);

/* What each peer sends, as the system expects it. */
std::vector<uint8_t> sim_media_video_ready(void);                            /* object 1, sub 19 */
std::vector<uint8_t> sim_media_replay_frames(uint8_t item, uint64_t frames); /* object 23 */
std::vector<uint8_t> sim_media_reticle_report(uint8_t sub, uint8_t item, const std::vector<uint8_t> &payload);
std::vector<uint8_t> sim_media_shot_trigger(void); /* object 28, sub 5 */
std::vector<uint8_t> sim_media_shot_done(void);    /* object 28, sub 6, report */
std::vector<uint8_t> sim_http_command(uint8_t cmd, const std::vector<uint8_t> &data);
std::vector<uint8_t> sim_ble_state(uint8_t state); /* object 29, sub 1 */
std::vector<uint8_t> sim_ble_wind(uint16_t speed); /* object 29, sub 2 */
std::vector<uint8_t> sim_gui_ready(void);          /* object 8 */
std::vector<uint8_t> sim_gui_request(uint8_t obj, uint8_t sub, uint8_t item, const std::vector<uint8_t> &payload);

/* The plain-file side, for tests outside the sandbox. A tx line is a frame
 * in hex (spaces allowed), optionally preceded by "type=N " to choose the
 * record type and "length=N " to claim another length. */
struct sim_peer_tx {
    int type;    /* -1: the role's own */
    long length; /* -1: the frame's size */
    std::vector<uint8_t> frame;
};
bool sim_peer_parse_tx_line(const std::string &line, sim_peer_tx *tx);
/* Reads a dir/<role>.rx file back. */
std::vector<sim_peer_record> sim_peer_read_log(const std::string &path);
/* Appends one frame line to a dir/<role>.tx FIFO. 0 or -errno. */
int sim_peer_write_tx(const std::string &path, const std::vector<uint8_t> &frame);

/* Moves the calling process into an IPC namespace of its own, so that the
 * fixed queue keys of a unit test meet nobody else's. Call before any thread
 * is started. 0 or -errno. */
int sim_peer_private_ipc(void);
