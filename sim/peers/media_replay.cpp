#include "media_replay.h"

#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

const uint8_t kObjTap = 23;
const uint8_t kReplayItem = 1, kSeekItem = 3, kPositionItem = 2, kLengthItem = 4;
enum { kPause = 0, kContinue = 1, kStop = 2, kStart = 3, kLength = 4 };
const size_t kNameBytes = 24;
const int kTickMs = 100;

std::vector<uint8_t> le(uint64_t v, int n)
{
    std::vector<uint8_t> out;
    for (int i = 0; i < n; i++) out.push_back((uint8_t)(v >> (8 * i)));
    return out;
}

uint64_t read_le64(const std::vector<uint8_t> &f, size_t at)
{
    uint64_t v = 0;
    for (int i = 7; i >= 0; i--) v = v << 8 | f[at + (size_t)i];
    return v;
}

} // namespace

struct sim_media_replay {
    sim_peer *peer;
    std::string dir;
    std::atomic<bool> stop{false};
    std::thread thread;
    size_t seen = 0;
    bool playing = false, paused = false;
    uint64_t position = 0, total = 0;
    uint16_t rate = 0;
    double carry = 0;
};

std::string sim_media_fixture_video(uint64_t frames, uint16_t rate)
{
    return "vesk-fixture-video frames=" + std::to_string(frames) + " rate=" + std::to_string(rate) + "\n";
}

void sim_media_video_length(const std::string &path, uint64_t *frames, uint16_t *rate)
{
    *frames = 300;
    *rate = 300;
    std::ifstream in(path, std::ios::binary);
    std::string head(128, '\0');
    in.read(&head[0], (std::streamsize)head.size());
    head.resize((size_t)in.gcount());
    unsigned long long f = 0;
    unsigned r = 0;
    const char *at = strstr(head.c_str(), "vesk-fixture-video ");
    if (at != nullptr && sscanf(at, "vesk-fixture-video frames=%llu rate=%u", &f, &r) == 2 && r > 0 && r <= 65535) {
        *frames = f;
        *rate = (uint16_t)r;
    }
}

/* The file whose name begins with the request's name bytes (the request
 * carries 24 of them). */
static std::string find_video(const std::string &dir, const std::vector<uint8_t> &f)
{
    std::string want;
    for (size_t i = 7; i < 7 + kNameBytes && i < f.size() && f[i] != 0; i++) want.push_back((char)f[i]);
    if (want.empty()) return "";
    DIR *d = opendir(dir.c_str());
    if (d == nullptr) return "";
    std::string found;
    while (struct dirent *e = readdir(d)) {
        std::string name = e->d_name;
        if (name == want || (want.size() == kNameBytes && name.compare(0, kNameBytes, want) == 0)) {
            found = dir + name;
            break;
        }
    }
    closedir(d);
    return found;
}

static void send_length(sim_media_replay *r)
{
    std::vector<uint8_t> payload = le(r->total, 8);
    std::vector<uint8_t> rate = le(r->rate, 2);
    payload.insert(payload.end(), rate.begin(), rate.end());
    sim_peer_send(r->peer, sim_frame(kObjTap, 1, kLengthItem, 0x80, payload));
}

static void send_position(sim_media_replay *r)
{
    sim_peer_send(r->peer, sim_frame(kObjTap, 1, kPositionItem, 0x80, le(r->position, 8)));
}

static bool load(sim_media_replay *r, const std::vector<uint8_t> &f)
{
    std::string path = find_video(r->dir, f);
    if (path.empty()) {
        r->total = 0;
        r->rate = 0;
        return false;
    }
    sim_media_video_length(path, &r->total, &r->rate);
    return true;
}

static void handle(sim_media_replay *r, const std::vector<uint8_t> &f)
{
    if (f.size() < 10 || f[2] != kObjTap || f[3] != 1) return;
    if (f[4] == kSeekItem && f.size() >= 17) {
        uint64_t to = read_le64(f, 6);
        r->position = to > r->total ? r->total : to;
        r->carry = 0;
        send_position(r);
        return;
    }
    if (f[4] != kReplayItem) return;
    switch (f[6]) {
    case kLength:
        /* A missing file answers nothing: the GUI then sees no length. */
        if (load(r, f)) send_length(r);
        break;
    case kStart:
        r->playing = load(r, f);
        r->paused = false;
        r->position = 0;
        r->carry = 0;
        if (r->playing) {
            send_length(r);
            send_position(r);
        }
        break;
    case kPause:
        r->paused = true;
        break;
    case kContinue:
        r->paused = false;
        break;
    case kStop:
        r->playing = false;
        break;
    default:
        break;
    }
}

/* rate is ten times the frames per second. */
static void tick(sim_media_replay *r)
{
    if (!r->playing || r->paused || r->rate == 0) return;
    r->carry += r->rate / 10.0 * kTickMs / 1000.0;
    uint64_t step = (uint64_t)r->carry;
    r->carry -= (double)step;
    r->position = r->position + step >= r->total ? r->total : r->position + step;
    send_position(r);
    if (r->position == r->total) r->playing = false;
}

static void run(sim_media_replay *r)
{
    auto next = std::chrono::steady_clock::now();
    while (!r->stop) {
        if (sim_peer_count(r->peer) > r->seen) {
            std::vector<sim_peer_record> recs = sim_peer_received(r->peer);
            for (size_t i = r->seen; i < recs.size(); i++) handle(r, recs[i].frame);
            r->seen = recs.size();
        }
        if (std::chrono::steady_clock::now() >= next) {
            tick(r);
            next += std::chrono::milliseconds(kTickMs);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

sim_media_replay *sim_media_replay_start(sim_peer *peer, const std::string &video_dir)
{
    if (peer == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    sim_media_replay *r = new sim_media_replay;
    r->peer = peer;
    r->dir = video_dir;
    r->seen = sim_peer_count(peer);
    r->thread = std::thread(run, r);
    return r;
}

void sim_media_replay_stop(sim_media_replay *r)
{
    if (r == nullptr) return;
    r->stop = true;
    if (r->thread.joinable()) r->thread.join();
    delete r;
}
