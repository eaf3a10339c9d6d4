#include "pc_tool.h"

#include <math.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "sim_harness.h"

namespace {

uint8_t sum_of(const uint8_t *b, size_t n)
{
    unsigned s = 0;
    for (size_t i = 0; i < n; i++) s += b[i];
    return (uint8_t)(s & 0xFF);
}

} // namespace

pc_tool_bytes pc_tool_request(uint8_t cls, uint8_t object, uint8_t item, uint8_t dir, const pc_tool_bytes &data)
{
    pc_tool_bytes f = {0xCC, (uint8_t)(data.size() + 6), cls, object, item, dir};
    f.insert(f.end(), data.begin(), data.end());
    f.push_back(sum_of(f.data(), f.size()));
    f.push_back(0xEB);
    f.push_back(0xAA);
    return f;
}

void pc_tool_parser::feed(const uint8_t *bytes, size_t n, std::vector<pc_tool_reply> *out)
{
    pending.insert(pending.end(), bytes, bytes + n);
    for (;;) {
        size_t skip = 0;
        while (skip < pending.size() && pending[skip] != 0x55) skip++;
        stray += skip;
        pending.erase(pending.begin(), pending.begin() + (long)skip);
        if (pending.size() < 2) return;
        const size_t total = pending[1] + 3u;
        if (total < 9 || total > 255) {
            stray++;
            pending.erase(pending.begin());
            continue;
        }
        if (pending.size() < total) return;
        const uint8_t *f = pending.data();
        if (f[5] != 0x81 || f[total - 3] != sum_of(f, total - 3) || f[total - 2] != 0xEB || f[total - 1] != 0xAA) {
            stray++;
            pending.erase(pending.begin());
            continue;
        }
        pc_tool_reply r;
        r.cls = f[2];
        r.object = f[3];
        r.item = f[4];
        r.data.assign(f + 6, f + total - 3);
        r.frame.assign(f, f + total);
        out->push_back(r);
        pending.erase(pending.begin(), pending.begin() + (long)total);
    }
}

struct pc_tool {
    int fd = -1;
    std::thread reader;
    std::atomic<bool> stop{false};
    std::mutex lock;
    std::condition_variable changed;
    pc_tool_parser parser;
    std::vector<pc_tool_reply> replies;
};

namespace {

std::mutex g_tools_lock;
std::map<const sim_harness *, pc_tool *> g_tools;

void read_line(pc_tool *t)
{
    while (!t->stop) {
        struct pollfd p = {t->fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        uint8_t buf[512];
        ssize_t n = read(t->fd, buf, sizeof buf);
        if (n <= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        std::lock_guard<std::mutex> g(t->lock);
        t->parser.feed(buf, (size_t)n, &t->replies);
        t->changed.notify_all();
    }
}

} // namespace

pc_tool *sim_pc_tool(sim_harness &h)
{
    {
        std::lock_guard<std::mutex> g(g_tools_lock);
        auto it = g_tools.find(&h);
        if (it != g_tools.end()) return it->second;
    }
    const int line = h.sb != nullptr ? sim_pty(h.sb, "/dev/ttyS2") : -1;
    const int fd = line >= 0 ? dup(line) : -1;
    if (fd < 0) {
        h.why = "the PC tool found no /dev/ttyS2 to attach to";
        return nullptr;
    }
    pc_tool *t = new pc_tool;
    t->fd = fd;
    t->reader = std::thread(read_line, t);
    {
        std::lock_guard<std::mutex> g(g_tools_lock);
        g_tools[&h] = t;
    }
    sim_harness *hp = &h;
    h.at_end([hp, t] {
        t->stop = true;
        t->reader.join();
        close(t->fd);
        std::lock_guard<std::mutex> g(g_tools_lock);
        g_tools.erase(hp);
        delete t;
    });
    return t;
}

bool pc_tool_send(pc_tool *t, const pc_tool_bytes &bytes)
{
    size_t at = 0;
    while (at < bytes.size()) {
        ssize_t n = write(t->fd, bytes.data() + at, bytes.size() - at);
        if (n <= 0) return false;
        at += (size_t)n;
    }
    return true;
}

bool pc_tool_ask(pc_tool *t, const pc_tool_bytes &request, int timeout_ms, pc_tool_reply *reply)
{
    size_t seen;
    {
        std::lock_guard<std::mutex> g(t->lock);
        seen = t->replies.size();
    }
    if (!pc_tool_send(t, request)) return false;
    std::unique_lock<std::mutex> g(t->lock);
    if (!t->changed.wait_for(g, std::chrono::milliseconds(timeout_ms), [&] { return t->replies.size() > seen; }))
        return false;
    if (reply != nullptr) *reply = t->replies[seen];
    return true;
}

std::vector<pc_tool_reply> pc_tool_replies(pc_tool *t)
{
    std::lock_guard<std::mutex> g(t->lock);
    return t->replies;
}

size_t pc_tool_stray(pc_tool *t)
{
    std::lock_guard<std::mutex> g(t->lock);
    return t->parser.stray;
}

/* ---- script lines --------------------------------------------------------- */

namespace {

bool number(const std::string &s, long lo, long hi, long *out)
{
    char *end = nullptr;
    long v = strtol(s.c_str(), &end, 0);
    if (s.empty() || *end != '\0' || v < lo || v > hi) return false;
    *out = v;
    return true;
}

pc_tool_bytes le16(long v) { return {(uint8_t)(v & 0xFF), (uint8_t)((v >> 8) & 0xFF)}; }

struct named {
    const char *name;
    uint8_t cls, object, item;
};

/* What "read NAME [WHICH]" asks for, and "write" where it is the same row. */
const named reads[] = {
    {"probe", 0x00, 0x1A, 0},      {"sn", 0x00, 0x1A, 1},         {"pn", 0x00, 0x1A, 2},
    {"voltage", 0x0F, 0x00, 0},    {"threshold", 0x00, 0x23, 0},  {"scale current", 0x00, 0x22, 0},
    {"scale min", 0x00, 0x22, 1},  {"scale max", 0x00, 0x22, 2},  {"zero azimuth", 0x06, 0x01, 1},
    {"zero pitch", 0x06, 0x01, 2}, {"zero slant", 0x06, 0x01, 3}, {"offset x", 0x16, 0x09, 1},
    {"offset y", 0x16, 0x09, 2},
};

const named *find_named(const std::string &name)
{
    for (const named &n : reads)
        if (name == n.name) return &n;
    return nullptr;
}

/* The requests the scope answers on the line; -1 takes any value. */
const struct {
    int cls, object, item, dir;
} answered[] = {
    {0x00, 0x1A, 0, -1}, {0x00, 0x1A, 1, 1},  {0x00, 0x1A, 2, 1}, {0x00, 0x22, 0, 1}, {0x00, 0x22, 1, 1},
    {0x00, 0x22, 2, 1},  {0x00, 0x23, -1, 1}, {0x06, 0x01, 1, 1}, {0x06, 0x01, 2, 1}, {0x06, 0x01, 3, 1},
    {0x0F, -1, -1, -1},  {0x16, 0x09, 1, 1},  {0x16, 0x09, 2, 1},
};

bool reply_due_for(const pc_tool_bytes &request)
{
    const auto is = [](int want, uint8_t have) { return want < 0 || want == have; };
    for (const auto &a : answered)
        if (a.cls == request[2] && is(a.object, request[3]) && is(a.item, request[4]) && is(a.dir, request[5]))
            return true;
    return false;
}

bool hex_bytes(const std::vector<std::string> &words, size_t from, pc_tool_bytes *out)
{
    for (size_t i = from; i < words.size(); i++) {
        long v;
        if (!number("0x" + words[i], 0, 255, &v)) return false;
        out->push_back((uint8_t)v);
    }
    return true;
}

} // namespace

/* A "write ..." line: 1 made, 0 refused (why says so), -1 no write the
 * tool knows (the caller says so). */
static int write_line(const std::string &line, const std::vector<std::string> &w, const std::string &target,
                      pc_tool_bytes *request, std::string *why)
{
    long v = 0;
    if (w.size() >= 3 && (w[1] == "sn" || w[1] == "pn")) {
        const std::string text = line.substr(line.find(w[1]) + 3);
        const named *n = find_named(w[1]);
        *request = pc_tool_request(n->cls, n->object, n->item, 0, pc_tool_bytes(text.begin(), text.end()));
        return 1;
    }
    if (w.size() == 4 && (w[1] == "scale" || w[1] == "offset") && find_named(target) &&
        number(w[3], -32768, 32767, &v)) {
        const named *n = find_named(target);
        *request = pc_tool_request(n->cls, n->object, n->item, 0, le16(v));
        return 1;
    }
    if (w.size() == 4 && w[1] == "zero" && find_named(target)) {
        char *end = nullptr;
        const double deg = strtod(w[3].c_str(), &end);
        const long tenths = lround(fabs(deg) * 10);
        if (*end != '\0' || tenths > 0xFFFF) {
            *why = "write zero: give degrees, at most 6553.5";
            return 0;
        }
        const named *n = find_named(target);
        pc_tool_bytes data = {(uint8_t)(deg < 0)};
        const pc_tool_bytes mag = le16(tenths);
        data.insert(data.end(), mag.begin(), mag.end());
        *request = pc_tool_request(n->cls, n->object, n->item, 0, data);
        return 1;
    }
    if (w.size() == 4 && w[1] == "date") {
        int y, mo, d, h, mi, s;
        if (sscanf(w[2].c_str(), "%d-%d-%d", &y, &mo, &d) != 3 || sscanf(w[3].c_str(), "%d:%d:%d", &h, &mi, &s) != 3 ||
            y < 0 || y > 65535) {
            *why = "write date: give YYYY-MM-DD HH:MM:SS";
            return 0;
        }
        pc_tool_bytes data = le16(y);
        for (int f : {mo, d, h, mi, s}) data.push_back((uint8_t)f);
        *request = pc_tool_request(0x00, 0x1B, 0, 0, data);
        return 1;
    }
    if (w.size() == 2 && w[1] == "eeprom") {
        *request = pc_tool_request(0x00, 0x1E, 0, 0);
        return 1;
    }
    return -1;
}

bool pc_tool_line(const std::string &line, pc_tool_bytes *request, bool *reply_due, std::string *why)
{
    std::istringstream in(line);
    std::vector<std::string> w;
    for (std::string s; in >> s;) w.push_back(s);
    *reply_due = false;
    request->clear();
    if (w.empty()) {
        *why = "nothing to send";
        return false;
    }
    const std::string &verb = w[0];
    const std::string target = w.size() >= 3 ? w[1] + " " + w[2] : w.size() >= 2 ? w[1] : "";
    long v = 0;
    if (verb == "read") {
        const named *n = find_named(target);
        if (n == nullptr) n = find_named(w.size() >= 2 ? w[1] : "");
        if (n == nullptr) {
            *why = "read what? sn, pn, probe, voltage, threshold, scale current|min|max, zero azimuth|pitch|slant, "
                   "offset x|y";
            return false;
        }
        *request = pc_tool_request(n->cls, n->object, n->item, 1,
                                   n->item == 0 && n->object == 0x1A ? pc_tool_bytes{0} : pc_tool_bytes{});
        *reply_due = true;
        return true;
    }
    if (verb == "write") {
        const int written = write_line(line, w, target, request, why);
        if (written >= 0) return written == 1;
    }
    const struct {
        const char *verb;
        uint8_t cls, object, item;
        long lo, hi;
    } one_byte[] = {
        {"key", 0x07, 0x00, 0x00, 0, 255},
        {"step", 0x16, 0x09, 3, 0, 255},
        {"uart", 0xFE, 0, 0, 0, 255},
        {"media", 0x00, 0x08, 0, 0, 255},
    };
    for (const auto &o : one_byte) {
        if (verb != o.verb) continue;
        if (w.size() != 2 || !number(w[1], o.lo, o.hi, &v)) {
            *why = std::string(o.verb) + ": give one value 0..255";
            return false;
        }
        *request = pc_tool_request(o.cls, o.object, o.item, 0, {(uint8_t)v});
        return true;
    }
    if (verb == "factory" && w.size() == 1) {
        *request = pc_tool_request(0x00, 0x0B, 0, 0);
        return true;
    }
    if (verb == "send" && w.size() >= 5) {
        pc_tool_bytes head, data;
        if (!hex_bytes(std::vector<std::string>(w.begin() + 1, w.begin() + 5), 0, &head) || !hex_bytes(w, 5, &data) ||
            data.size() > 246) {
            *why = "send: CLASS OBJECT ITEM DIR and data as hex bytes (at most 246)";
            return false;
        }
        *request = pc_tool_request(head[0], head[1], head[2], head[3], data);
        *reply_due = reply_due_for(*request);
        return true;
    }
    if (verb == "raw" && w.size() >= 2 && hex_bytes(w, 1, request)) return true;
    *why = "'" + line + "' is no line the tool takes";
    return false;
}

std::string pc_tool_show(const pc_tool_reply &r)
{
    std::string out;
    char b[8];
    for (uint8_t v : r.frame) {
        snprintf(b, sizeof b, "%s%02X", out.empty() ? "" : " ", v);
        out += b;
    }
    const pc_tool_bytes &d = r.data;
    const int v16 = d.size() >= 2 ? (int16_t)(d[0] | (d[1] << 8)) : 0;
    if (r.cls == 0x00 && r.object == 0x1A && r.item != 0)
        out += " text=\"" + std::string(d.begin(), d.end()) + "\"";
    else if (r.cls == 0x06 && d.size() >= 3)
        out += " degrees=" + std::string(d[0] ? "-" : "") + std::to_string((d[1] | (d[2] << 8)) / 10) + "." +
               std::to_string((d[1] | (d[2] << 8)) % 10);
    else if (d.size() == 2)
        out += " value=" + std::to_string(r.cls == 0x0F ? (d[0] | (d[1] << 8)) : v16);
    else if (d.size() == 1)
        out += " value=" + std::to_string(d[0]);
    return out;
}
