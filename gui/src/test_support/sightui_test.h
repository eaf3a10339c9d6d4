// Shared by sightui's unit tests: each case runs in a forked child with its
// own System V IPC namespace (so the program's real queue keys are private
// to it) and a fresh headless toolkit on the virtual clock.
#pragma once

#include <gtest/gtest.h>
#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "awtk.h"

namespace sightui_test {

typedef std::vector<uint8_t> bytes;

/* Runs fn in a child: private IPC namespace (inside a user namespace of
 * its own when not run as root, which also grants mounts), toolkit started headless on
 * the virtual clock with the built resources at w x h. The case fails when
 * anything in the child failed. */
void in_gui_child(const std::function<void()> &fn, int w = 1280, int h = 1024, const char *res_root = nullptr);
/* The resources the build made for sightui. */
const char *built_res(void);

/* Host folders a private root must still reach at their own paths (the
 * built resources, the screenshot references, the folder failed screens go
 * to) when that root hides where they lie: a clone under /tmp or /mnt.
 * Opened here, before the root's own mounts cover them; bound in by
 * bind_into. A folder that does not exist yet is reached through its
 * nearest existing parent, or made when that parent is a top folder. */
class HostFolders {
public:
    explicit HostFolders(const std::vector<std::string> &paths);
    ~HostFolders();
    HostFolders(const HostFolders &) = delete;
    HostFolders &operator=(const HostFolders &) = delete;
    /* Binds, writable, each folder that new_root does not show at its
     * path; true when every bind took. */
    bool bind_into(const std::string &new_root);

private:
    std::vector<std::pair<std::string, int>> open_;
};

/* A frame as the wire carries it. */
bytes frame(uint8_t obj, uint8_t sub, uint8_t item, uint8_t flag, const bytes &payload);
/* A report of sightd (flag 0x80). */
bytes report(uint8_t obj, uint8_t sub, uint8_t item, const bytes &payload);

/* Hands one frame to the dispatch as the listener's idle would, then lets
 * the queued user events run. */
void deliver(const bytes &f);

/* Every user event number N (type - EVT_USER_START) dispatched on the
 * window manager, in order, from construction on. */
struct EventTap {
    EventTap();
    ~EventTap();
    std::vector<int> take();
    std::vector<int> seen;
};

/* Starts the queue client (both queues in this namespace). */
void start_queues();
/* Frames sightui put on queue 54321 since the last call, in order; checks
 * each record's addressing (mtype 5, type 1, command 255, length). */
std::vector<bytes> sent_frames();
/* Puts a frame on queue 12345 as sightd does (mtype 4, type 33). */
void send_as_sightd(const bytes &f);

/* The widget-tree dump of every open window (see awtk_host.h). */
std::string tree_dump();
/* Name of the top window, "" when none. */
std::string top_name();
/* Keys that reached the top window since the last call (EVT_KEY_DOWN). */
struct KeyTap {
    explicit KeyTap(widget_t *win);
    std::vector<uint32_t> take();
    std::vector<uint32_t> keys;
};

/* Runs fn with the logger started in the GUI role (socket and console in a
 * fresh folder) and returns the ERROR lines it echoed to the console. The
 * logger never waits for its own threads: a line whose ring was busy is
 * dropped and counted, the count in *console_drops when given. */
std::string error_log_of(const std::function<void()> &fn, uint64_t *console_drops = nullptr);

/* What fn printed on standard output. */
std::string stdout_of(const std::function<void()> &fn);

/* Every mirror the reports may change, as one byte image. */
bytes mirrors();

/* Little-endian payload pieces. */
bytes le16(int v);
bytes le64(uint64_t v);
bytes f32(float v);
bytes cat(std::initializer_list<bytes> parts);

std::string hex(const bytes &b);
/* Bytes from "AA 07 ..." text. */
bytes unhex(const char *text);

} // namespace sightui_test
