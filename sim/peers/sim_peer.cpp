#include "sim_peer.h"
#include "sim_ns.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <stdio.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

/* The queue record as the peers know it: mtype, then type, command, two
 * bytes of padding, a 32-bit length and 512 bytes of frame. */
namespace {
struct peer_record {
    long mtype;
    uint8_t type;
    uint8_t command;
    uint8_t padding[2];
    uint32_t length;
    uint8_t frame[512];
};
static_assert(sizeof(peer_record) == 528, "record image");
const size_t kTextSize = sizeof(peer_record) - sizeof(long); /* 520 */
const key_t kKeyFromApp = 12345;
const key_t kKeyToApp = 54321;
const long kMtypeToApp = 5;
const int kPollMaxUs = 2000;

struct role_row {
    const char *name;
    long mtype;
    unsigned send_type;
    unsigned command;
};
const role_row kRoles[] = {
    {"media", 3, 17, 0},
    {"http", 6, 49, 0},
    {"ble", 7, 65, 0},
    {"gui", 4, 1, 255},
};

int queue_id(key_t key) { return msgget(key, IPC_CREAT | 0777); }

int send_raw(unsigned type, unsigned command, const uint8_t *bytes, size_t n, uint32_t length, size_t record_size)
{
    peer_record rec;
    memset(&rec, 0, sizeof(rec));
    rec.mtype = kMtypeToApp;
    rec.type = (uint8_t)type;
    rec.command = (uint8_t)command;
    rec.length = length;
    if (n > sizeof(rec.frame)) n = sizeof(rec.frame);
    if (n > 0) memcpy(rec.frame, bytes, n);
    /* Oversized records need a bigger buffer than the record image. */
    std::vector<uint8_t> big;
    const void *image = &rec;
    if (record_size > kTextSize) {
        big.assign(sizeof(long) + record_size, 0);
        memcpy(big.data(), &rec, sizeof(rec));
        image = big.data();
    }
    for (int attempt = 0; attempt < 2; attempt++) {
        int id = queue_id(kKeyToApp);
        if (id < 0) return -errno;
        if (msgsnd(id, image, record_size, IPC_NOWAIT) == 0) return 0;
        if (errno != EIDRM && errno != EINVAL) return -errno;
    }
    return -errno;
}

} // namespace

struct sim_peer {
    sim_peer_role role;
    std::string rx_path;
    std::string tx_path;
    FILE *rx_file = nullptr;
    int tx_fd = -1;
    volatile bool stop = false;
    std::mutex lock;
    std::condition_variable arrived;
    std::vector<sim_peer_record> records;
    std::thread drain;
    std::thread tx;
};

const char *sim_peer_role_name(sim_peer_role role) { return kRoles[role].name; }

int sim_peer_role_parse(const char *name, sim_peer_role *role)
{
    for (size_t i = 0; i < sizeof(kRoles) / sizeof(kRoles[0]); i++) {
        if (name != nullptr && strcmp(name, kRoles[i].name) == 0) {
            *role = (sim_peer_role)i;
            return 0;
        }
    }
    return -EINVAL;
}

long sim_peer_mtype(sim_peer_role role) { return kRoles[role].mtype; }

unsigned sim_peer_send_type(sim_peer_role role) { return kRoles[role].send_type; }

static void keep_record(sim_peer *peer, const peer_record &rec, size_t received)
{
    sim_peer_record r;
    r.type = rec.type;
    r.command = rec.command;
    r.length = rec.length;
    size_t n = rec.length;
    const size_t head = kTextSize - sizeof(rec.frame);
    if (n > received - head) n = received - head;
    r.frame.assign(rec.frame, rec.frame + n);
    if (peer->rx_file != nullptr) {
        fprintf(peer->rx_file, "%u %u %s\n", r.type, r.length, sim_hex(r.frame).c_str());
        fflush(peer->rx_file);
    }
    std::lock_guard<std::mutex> g(peer->lock);
    peer->records.push_back(std::move(r));
    peer->arrived.notify_all();
}

/* Polls rather than blocks, so that stopping needs no record of its own in
 * a queue that may be full; the pause grows while the queue stays empty. */
static void drain_loop(sim_peer *peer)
{
    const long mtype = kRoles[peer->role].mtype;
    int pause_us = 50;
    int id = -1;
    while (!peer->stop) {
        if (id < 0) id = queue_id(kKeyFromApp);
        peer_record rec;
        memset(&rec, 0, sizeof(rec));
        ssize_t n = id < 0 ? -1 : msgrcv(id, &rec, kTextSize, mtype, IPC_NOWAIT);
        if (n >= 0) {
            keep_record(peer, rec, (size_t)n);
            pause_us = 50;
            continue;
        }
        if (errno == EIDRM || errno == EINVAL) id = -1; /* sightd removed it; it comes back */
        if (errno == E2BIG) {
            msgrcv(id, &rec, kTextSize, mtype, IPC_NOWAIT | MSG_NOERROR);
            continue;
        }
        usleep((useconds_t)pause_us);
        if (pause_us < kPollMaxUs) pause_us *= 2;
    }
}

static void tx_line(sim_peer *peer, const std::string &line)
{
    sim_peer_tx tx;
    if (!sim_peer_parse_tx_line(line, &tx)) {
        fprintf(stderr, "sim-peer %s: bad tx line '%s'\n", sim_peer_role_name(peer->role), line.c_str());
        return;
    }
    const unsigned type = tx.type < 0 ? kRoles[peer->role].send_type : (unsigned)tx.type;
    const uint32_t length = tx.length < 0 ? (uint32_t)tx.frame.size() : (uint32_t)tx.length;
    int rc = send_raw(type, kRoles[peer->role].command, tx.frame.data(), tx.frame.size(), length, kTextSize);
    if (rc != 0) fprintf(stderr, "sim-peer %s: send failed: %s\n", sim_peer_role_name(peer->role), strerror(-rc));
}

static void tx_loop(sim_peer *peer)
{
    std::string pending;
    while (!peer->stop) {
        struct pollfd p = {peer->tx_fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        char buf[4096];
        ssize_t n = read(peer->tx_fd, buf, sizeof(buf));
        if (n <= 0) continue;
        pending.append(buf, (size_t)n);
        size_t eol;
        while ((eol = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, eol);
            pending.erase(0, eol + 1);
            if (!line.empty()) tx_line(peer, line);
        }
    }
}

sim_peer *sim_peer_start(sim_peer_role role, const char *dir)
{
    if ((unsigned)role >= sizeof(kRoles) / sizeof(kRoles[0])) {
        errno = EINVAL;
        return nullptr;
    }
    sim_peer *peer = new sim_peer;
    peer->role = role;
    if (dir != nullptr) {
        peer->rx_path = std::string(dir) + "/" + kRoles[role].name + ".rx";
        peer->tx_path = std::string(dir) + "/" + kRoles[role].name + ".tx";
        peer->rx_file = fopen(peer->rx_path.c_str(), "a");
        if (peer->rx_file == nullptr) {
            int err = errno;
            delete peer;
            errno = err;
            return nullptr;
        }
        if (mkfifo(peer->tx_path.c_str(), 0666) != 0 && errno != EEXIST) {
            int err = errno;
            fclose(peer->rx_file);
            delete peer;
            errno = err;
            return nullptr;
        }
        /* Held open for reading and writing: writers never block on a
         * missing reader and the peer never sees end of file. */
        peer->tx_fd = open(peer->tx_path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (peer->tx_fd < 0) {
            int err = errno;
            fclose(peer->rx_file);
            delete peer;
            errno = err;
            return nullptr;
        }
    }
    if (queue_id(kKeyFromApp) < 0 || queue_id(kKeyToApp) < 0) {
        int err = errno;
        if (peer->tx_fd >= 0) close(peer->tx_fd);
        if (peer->rx_file != nullptr) fclose(peer->rx_file);
        delete peer;
        errno = err;
        return nullptr;
    }
    peer->drain = std::thread(drain_loop, peer);
    if (peer->tx_fd >= 0) peer->tx = std::thread(tx_loop, peer);
    return peer;
}

void sim_peer_stop(sim_peer *peer)
{
    if (peer == nullptr) return;
    peer->stop = true;
    if (peer->drain.joinable()) peer->drain.join();
    if (peer->tx.joinable()) peer->tx.join();
    if (peer->tx_fd >= 0) close(peer->tx_fd);
    if (peer->rx_file != nullptr) fclose(peer->rx_file);
    delete peer;
}

std::vector<sim_peer_record> sim_peer_received(sim_peer *peer)
{
    std::lock_guard<std::mutex> g(peer->lock);
    return peer->records;
}

size_t sim_peer_count(sim_peer *peer)
{
    std::lock_guard<std::mutex> g(peer->lock);
    return peer->records.size();
}

bool sim_peer_wait(sim_peer *peer, size_t count, int timeout_ms)
{
    std::unique_lock<std::mutex> g(peer->lock);
    return peer->arrived.wait_for(g, std::chrono::milliseconds(timeout_ms),
                                  [&] { return peer->records.size() >= count; });
}

bool sim_peer_take_until(sim_peer *peer, const std::vector<uint8_t> &marker, int timeout_ms,
                         std::vector<std::vector<uint8_t>> *before)
{
    std::unique_lock<std::mutex> g(peer->lock);
    size_t at = 0;
    auto found = [&] {
        for (; at < peer->records.size(); at++)
            if (peer->records[at].frame == marker) return true;
        return false;
    };
    if (!peer->arrived.wait_for(g, std::chrono::milliseconds(timeout_ms), found)) return false;
    before->clear();
    for (size_t i = 0; i < at; i++) before->push_back(peer->records[i].frame);
    peer->records.erase(peer->records.begin(), peer->records.begin() + (long)at + 1);
    return true;
}

void sim_peer_clear(sim_peer *peer)
{
    std::lock_guard<std::mutex> g(peer->lock);
    peer->records.clear();
}

int sim_peer_send(sim_peer *peer, const std::vector<uint8_t> &frame)
{
    const role_row &r = kRoles[peer->role];
    return send_raw(r.send_type, r.command, frame.data(), frame.size(), (uint32_t)frame.size(), kTextSize);
}

int sim_peer_send_record(unsigned type, const std::vector<uint8_t> &bytes, uint32_t length)
{
    return send_raw(type, 0, bytes.data(), bytes.size(), length, kTextSize);
}

int sim_peer_send_sized(unsigned type, const std::vector<uint8_t> &bytes, size_t record_size, uint32_t length)
{
    return send_raw(type, 0, bytes.data(), bytes.size(), length, record_size);
}

uint8_t sim_frame_checksum(const uint8_t *frame, size_t size)
{
    unsigned sum = 0;
    for (size_t i = 0; i + 3 < size; i++) sum += frame[i];
    return (uint8_t)(sum & 0xFF);
}

std::vector<uint8_t> sim_frame(uint8_t obj, uint8_t sub, uint8_t item, uint8_t flag,
                               const std::vector<uint8_t> &payload)
{
    const size_t n = payload.size() + 9;
    std::vector<uint8_t> f(n, 0);
    f[0] = 0xAA;
    f[1] = (uint8_t)(n - 3);
    f[2] = obj;
    f[3] = sub;
    f[4] = item;
    f[5] = flag;
    for (size_t i = 0; i < payload.size(); i++) f[6 + i] = payload[i];
    f[n - 3] = sim_frame_checksum(f.data(), n);
    f[n - 2] = 0xEB;
    f[n - 1] = 0xAA;
    return f;
}

bool sim_frame_sound(const std::vector<uint8_t> &f)
{
    const size_t n = f.size();
    if (n < 9 || n > 512 || f[0] != 0xAA || (size_t)f[1] + 3 != n) return false;
    return f[n - 3] == sim_frame_checksum(f.data(), n) && f[n - 2] == 0xEB && f[n - 1] == 0xAA;
}

std::string sim_hex(const std::vector<uint8_t> &bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        s.push_back(digits[b >> 4]);
        s.push_back(digits[b & 15]);
    }
    return s;
}

static int hex_digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool sim_unhex(const std::string &text, std::vector<uint8_t> *bytes)
{
    bytes->clear();
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\r') continue;
        int d = hex_digit(c);
        if (d < 0) return false;
        if (high < 0) {
            high = d;
        } else {
            bytes->push_back((uint8_t)(high << 4 | d));
            high = -1;
        }
    }
    return high < 0;
}

static std::vector<uint8_t> le_bytes(uint64_t v, int n)
{
    std::vector<uint8_t> out;
    for (int i = 0; i < n; i++) out.push_back((uint8_t)(v >> (8 * i)));
    return out;
}

std::vector<uint8_t> sim_media_video_ready(void) { return sim_frame(1, 19, 0xFF, 0x00); }
std::vector<uint8_t> sim_media_replay_frames(uint8_t item, uint64_t frames)
{
    return sim_frame(23, 0, item, 0x80, le_bytes(frames, 8));
}
std::vector<uint8_t> sim_media_reticle_report(uint8_t sub, uint8_t item, const std::vector<uint8_t> &payload)
{
    return sim_frame(22, sub, item, 0x80, payload);
}
std::vector<uint8_t> sim_media_shot_trigger(void) { return sim_frame(28, 5, 0xFF, 0x80); }
std::vector<uint8_t> sim_media_shot_done(void) { return sim_frame(28, 6, 0xFF, 0x80); }
std::vector<uint8_t> sim_http_command(uint8_t cmd, const std::vector<uint8_t> &data)
{
    return sim_frame(244, 0, cmd, 0x00, data);
}
std::vector<uint8_t> sim_ble_state(uint8_t state) { return sim_frame(29, 1, 0xFF, 0x00, {state}); }
std::vector<uint8_t> sim_ble_wind(uint16_t speed) { return sim_frame(29, 2, 0xFF, 0x00, le_bytes(speed, 2)); }
std::vector<uint8_t> sim_gui_ready(void) { return sim_frame(8, 0, 0, 0x00, {0}); }
std::vector<uint8_t> sim_gui_request(uint8_t obj, uint8_t sub, uint8_t item, const std::vector<uint8_t> &payload)
{
    return sim_frame(obj, sub, item, 0x00, payload);
}

static bool take_number(std::string *rest, const char *key, long *value)
{
    const size_t k = strlen(key);
    if (rest->compare(0, k, key) != 0) return false;
    char *end = nullptr;
    *value = strtol(rest->c_str() + k, &end, 0);
    rest->erase(0, (size_t)(end - rest->c_str()));
    return true;
}

bool sim_peer_parse_tx_line(const std::string &line, sim_peer_tx *tx)
{
    tx->type = -1;
    tx->length = -1;
    std::string rest = line;
    for (;;) {
        while (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
        long v = 0;
        if (take_number(&rest, "type=", &v)) {
            if (v < 0 || v > 255) return false;
            tx->type = (int)v;
        } else if (take_number(&rest, "length=", &v)) {
            if (v < 0) return false;
            tx->length = v;
        } else {
            break;
        }
    }
    return sim_unhex(rest, &tx->frame) && tx->frame.size() <= 512;
}

std::vector<sim_peer_record> sim_peer_read_log(const std::string &path)
{
    std::vector<sim_peer_record> out;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        unsigned type = 0, length = 0;
        char hex[1100] = "";
        int fields = sscanf(line.c_str(), "%u %u %1099s", &type, &length, hex);
        if (fields < 2) continue;
        sim_peer_record r;
        r.type = type;
        r.command = 0;
        r.length = length;
        if (fields == 3 && !sim_unhex(hex, &r.frame)) continue;
        out.push_back(std::move(r));
    }
    return out;
}

int sim_peer_write_tx(const std::string &path, const std::vector<uint8_t> &frame)
{
    int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -errno;
    std::string line = sim_hex(frame) + "\n";
    ssize_t n = write(fd, line.data(), line.size());
    int err = errno;
    close(fd);
    if (n != (ssize_t)line.size()) return n < 0 ? -err : -EIO;
    return 0;
}

int sim_peer_private_ipc(void) { return sim_private_ns(CLONE_NEWIPC); }
