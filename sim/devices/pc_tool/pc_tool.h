// The PC or factory tool on the far end of /dev/ttyS2, written from the
// line's layout alone:
//   request  CC L class object item dir data... sum EB AA   (dir 1 read, 0 write)
//   reply    55 L class object item 81  data... sum EB AA
// L is the frame length - 3 (9 to 255 bytes in all), sum the 8-bit sum of
// every byte before it.
// A reader thread collects the scope's replies; bytes that make no sound
// reply are counted, never skipped silently.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct sim_harness;

typedef std::vector<uint8_t> pc_tool_bytes;

/* A request frame as the tool sends it. */
pc_tool_bytes pc_tool_request(uint8_t cls, uint8_t object, uint8_t item, uint8_t dir, const pc_tool_bytes &data = {});

struct pc_tool_reply {
    uint8_t cls = 0, object = 0, item = 0;
    pc_tool_bytes data;
    pc_tool_bytes frame; /* as it came */
};

/* Cuts replies out of the bytes the scope wrote, as the tool reads them. */
struct pc_tool_parser {
    pc_tool_bytes pending;
    size_t stray = 0; /* bytes that began no sound reply */
    /* Feeds bytes; every whole reply found is appended to out. */
    void feed(const uint8_t *bytes, size_t n, std::vector<pc_tool_reply> *out);
};

struct pc_tool;

/* The tool on the harness's line, attached on first use (stops before the
 * sandbox goes); null with h.why. */
pc_tool *sim_pc_tool(sim_harness &h);
/* Sends bytes as they stand. */
bool pc_tool_send(pc_tool *tool, const pc_tool_bytes &bytes);
/* Sends a request and waits for the next reply. False when none came. */
bool pc_tool_ask(pc_tool *tool, const pc_tool_bytes &request, int timeout_ms, pc_tool_reply *reply);
/* Every reply so far, and the stray byte count. */
std::vector<pc_tool_reply> pc_tool_replies(pc_tool *tool);
size_t pc_tool_stray(pc_tool *tool);

/* One script line of the tool (scope-sim's "pc ..."): the request it
 * stands for and whether a reply is due; false with *why for a line the
 * tool does not know. Lines:
 *   read sn|pn|probe|voltage|threshold|scale current|min|max|zero azimuth|pitch|slant|offset x|y
 *   write sn|pn TEXT, write scale min|max N, write zero azimuth|pitch|slant DEGREES,
 *   write offset x|y N, write date YYYY-MM-DD HH:MM:SS, write eeprom
 *   key CODE, step 0..3, uart N, factory, media N
 *   send CLASS OBJECT ITEM DIR [DATA...] (hex bytes), raw HEX... (as it stands) */
bool pc_tool_line(const std::string &line, pc_tool_bytes *request, bool *reply_due, std::string *why);
/* A reply as scope-sim shows it: its bytes, then the value it carries. */
std::string pc_tool_show(const pc_tool_reply &reply);
