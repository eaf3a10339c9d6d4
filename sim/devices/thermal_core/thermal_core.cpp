#include "thermal_core.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sstream>
#include <thread>

namespace {

enum : uint8_t { HEAD_IN = 0xAA, HEAD_OUT = 0x55, TAIL1 = 0xEB, TAIL2 = 0xAA };
enum : uint8_t { KIND_QUERY = 0x00, KIND_SET = 0x01 };

/* The commands the core knows, and the notices it sends. */
enum : uint16_t {
    CMD_PART_NUMBER = 0x0102,
    CMD_SERIAL_NUMBER = 0x0103,
    CMD_VERSION = 0x0104,
    CMD_FIRST_VERSION = 0x00CE,
    CMD_POLARITY = 0x0305,
    CMD_HIGHLIGHT = 0x0306,
    CMD_IMAGE = 0x0309,
    CMD_FREEZE = 0x030A,
    CMD_SCENE = 0x030B,
    CMD_HOT_POINT = 0x030C,
    CMD_CURSOR = 0x0405,
    CMD_BADPIX_MODE = 0x0408,
    CMD_SHUTTER = 0x0502,
    CMD_CALIBRATE = 0x0503,
    CMD_REPAIR = 0x0508,      /* manual repair (00) and save (02); the save-done notice */
    CMD_AUTO_REPAIR = 0x0509, /* also the repair-done notice */
    CMD_CALIBRATED = 0x050A,
    CMD_SAVE_CONFIG = 0x0603,
    CMD_BRIGHT_OFF = 0xDC00,
    CMD_BRIGHT_ON = 0xDD00,
};

/* Image levels under 0x0309: selector, level l sent as step * l + base. */
struct level_row {
    uint8_t selector;
    int step, base, top;
    int thermal_core_image::*field;
};
const level_row level_rows[] = {
    {0x00, 5, 39, 10, &thermal_core_image::brightness},
    {0x01, 6, 34, 10, &thermal_core_image::contrast},
    {0x03, 20, 14, 5, &thermal_core_image::enhancement},
};

/* Commands whose one parameter is a switch of the image. */
struct switch_row {
    uint16_t cmd;
    int thermal_core_image::*field;
};
const switch_row switch_rows[] = {
    {CMD_POLARITY, &thermal_core_image::black_hot},      {CMD_HIGHLIGHT, &thermal_core_image::highlight},
    {CMD_FREEZE, &thermal_core_image::freeze},           {CMD_HOT_POINT, &thermal_core_image::hot_point},
    {CMD_BADPIX_MODE, &thermal_core_image::badpix_mode},
};

const struct {
    const char *name;
    uint16_t cmd;
    std::vector<uint8_t> data;
} notices[] = {
    {"repair", CMD_AUTO_REPAIR, {}},    {"calibrated", CMD_CALIBRATED, {}}, {"bright-on", CMD_BRIGHT_ON, {}},
    {"bright-off", CMD_BRIGHT_OFF, {}}, {"save-ok", CMD_REPAIR, {0x01}},    {"save-failed", CMD_REPAIR, {0x00}},
};

uint8_t sum_of(const uint8_t *b, size_t n)
{
    unsigned s = 0;
    for (size_t i = 0; i < n; i++) s += b[i];
    return (uint8_t)s;
}

} // namespace

std::vector<uint8_t> thermal_core_frame(uint8_t head, uint16_t cmd, uint8_t kind, const std::vector<uint8_t> &data)
{
    const size_t total = 5 + data.size() + 3;
    std::vector<uint8_t> f;
    f.reserve(total);
    for (uint8_t b : {head, (uint8_t)(total - 4), (uint8_t)(cmd >> 8), (uint8_t)cmd, kind}) f.push_back(b);
    for (uint8_t b : data) f.push_back(b);
    f.push_back(sum_of(f.data(), f.size()));
    f.push_back(TAIL1);
    f.push_back(TAIL2);
    return f;
}

struct thermal_core {
    int line;
    int wake[2] = {-1, -1};
    std::thread thread;
    std::mutex lock;
    std::condition_variable changed;

    std::string version = "v1.0.0-sim", first_version = "fw1.0", pn = "TC-640-SIM", sn = "SIM0001";
    bool silent = false, badsum = false, announced = false;
    bool answers = true;
    int search_ms = 1500, save_ms = 200;

    /* Notices of work in progress, due at their time. */
    struct pending_notice {
        std::chrono::steady_clock::time_point at;
        uint16_t cmd;
        std::vector<uint8_t> data;
    };
    std::vector<pending_notice> pending;

    std::vector<uint8_t> rx;
    std::vector<thermal_core_record> received;
    std::vector<uint8_t> sent;
    /* The core's own settings until the scope sends its stored ones. */
    thermal_core_image image = {5, 5, 1};
};

/* Writes a frame (or raw bytes) to the scope; with the lock held. */
static void core_send_raw(thermal_core *core, std::vector<uint8_t> f)
{
    size_t done = 0;
    while (done < f.size()) {
        ssize_t w = write(core->line, f.data() + done, f.size() - done);
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno == EAGAIN) {
            struct pollfd p = {core->line, POLLOUT, 0};
            poll(&p, 1, 10);
            continue;
        }
        if (w <= 0) break;
        done += (size_t)w;
    }
    core->sent.insert(core->sent.end(), f.begin(), f.begin() + done);
}

static void core_send(thermal_core *core, uint16_t cmd, uint8_t kind, const std::vector<uint8_t> &data)
{
    std::vector<uint8_t> f = thermal_core_frame(HEAD_OUT, cmd, kind, data);
    if (core->badsum) f[f.size() - 3] ^= 0xFF;
    core_send_raw(core, f);
}

static std::vector<uint8_t> text_of(const std::string &s, std::vector<uint8_t> lead = {})
{
    lead.insert(lead.end(), s.begin(), s.end());
    return lead;
}

static void core_answer_identity(thermal_core *core, uint16_t cmd)
{
    switch (cmd) {
    case CMD_PART_NUMBER:
        core_send(core, cmd, KIND_QUERY, text_of(core->pn));
        break;
    case CMD_SERIAL_NUMBER:
        core_send(core, cmd, KIND_QUERY, text_of(core->sn));
        break;
    /* The first version text carries the index of the image it names. */
    case CMD_FIRST_VERSION:
        core_send(core, cmd, KIND_QUERY, text_of(core->first_version, {0x01}));
        break;
    case CMD_VERSION:
        core_send(core, cmd, KIND_QUERY, text_of(core->version));
        break;
    default:
        break;
    }
}

static int level_of(const level_row &row, uint8_t value)
{
    int l = ((int)value - row.base + row.step / 2) / row.step;
    return l < 1 ? 1 : l > row.top ? row.top : l;
}

/* Follows one setting; with the lock held. */
static void core_apply(thermal_core *core, const thermal_core_record &r)
{
    thermal_core_image &im = core->image;
    const std::vector<uint8_t> &p = r.params;
    if (r.cmd == CMD_IMAGE && p.size() >= 2) {
        for (const level_row &row : level_rows)
            if (row.selector == p[0]) im.*row.field = level_of(row, p[1]);
    }
    for (const switch_row &row : switch_rows)
        if (row.cmd == r.cmd && !p.empty()) im.*row.field = p[0];
    if (r.cmd == CMD_SCENE && !p.empty()) im.scene = p[0];
    if (r.cmd == CMD_CURSOR && p.size() >= 4) {
        im.cursor_x = p[0] | (p[1] << 8);
        im.cursor_y = p[2] | (p[3] << 8);
    }
    if (r.cmd == CMD_CALIBRATE) im.calibrations++;
    if (r.cmd == CMD_SHUTTER) im.shutter_closes++;
    if (r.cmd == CMD_AUTO_REPAIR || (r.cmd == CMD_REPAIR && !p.empty() && p[0] == 0x00)) im.repairs++;
    if (r.cmd == CMD_REPAIR && !p.empty() && p[0] == 0x00) {
        im.mark_x = im.cursor_x;
        im.mark_y = im.cursor_y;
        im.marks++;
    }
    if (r.cmd == CMD_REPAIR && !p.empty() && p[0] == 0x02) {
        im.saves++;
        im.saved_marks = im.marks;
    }
    im.changes++;
}

/* A search or a save reports when it is done; with the lock held. */
static void core_plan_notice(thermal_core *core, const thermal_core_record &r)
{
    const auto now = std::chrono::steady_clock::now();
    if (r.cmd == CMD_AUTO_REPAIR)
        core->pending.push_back({now + std::chrono::milliseconds(core->search_ms), CMD_AUTO_REPAIR, {}});
    else if (r.cmd == CMD_REPAIR && !r.params.empty() && r.params[0] == 0x02)
        core->pending.push_back({now + std::chrono::milliseconds(core->save_ms), CMD_REPAIR, {0x01}});
}

/* Sends the notices that are due and returns the milliseconds to the next
 * one (-1 for none); with the lock held. */
static int core_send_due(thermal_core *core)
{
    const auto now = std::chrono::steady_clock::now();
    int next = -1;
    for (size_t i = 0; i < core->pending.size();) {
        thermal_core::pending_notice &n = core->pending[i];
        if (n.at <= now) {
            if (!core->silent) core_send(core, n.cmd, KIND_SET, n.data);
            core->pending.erase(core->pending.begin() + (long)i);
            continue;
        }
        int ms = (int)std::chrono::duration_cast<std::chrono::milliseconds>(n.at - now).count() + 1;
        if (next < 0 || ms < next) next = ms;
        i++;
    }
    return next;
}

static bool is_identity(uint16_t cmd)
{
    return cmd == CMD_PART_NUMBER || cmd == CMD_SERIAL_NUMBER || cmd == CMD_FIRST_VERSION || cmd == CMD_VERSION;
}

/* A sound frame from the scope; with the lock held. */
static void core_take(thermal_core *core, const uint8_t *f, size_t size)
{
    thermal_core_record r;
    r.cmd = (uint16_t)((f[2] << 8) | f[3]);
    r.kind = f[4];
    r.params.assign(f + 5, f + size - 3);
    r.frame.assign(f, f + size);
    r.answered = !core->silent;
    if (!core->silent) {
        if (!core->announced) {
            /* The core names itself once the scope's line is up. */
            core->announced = true;
            for (uint16_t cmd : {CMD_PART_NUMBER, CMD_SERIAL_NUMBER, CMD_FIRST_VERSION})
                core_answer_identity(core, cmd);
        }
        if (is_identity(r.cmd)) {
            core_answer_identity(core, r.cmd);
        } else {
            if (r.kind == KIND_SET) core_apply(core, r);
            if (r.kind == KIND_SET && core->answers) core_plan_notice(core, r);
            /* Repairs and saves answer with their notices when they end
             * (notice repair, save-ok); everything else is acknowledged
             * at once with the frame itself. */
            if (r.cmd != CMD_REPAIR && r.cmd != CMD_AUTO_REPAIR) core_send(core, r.cmd, r.kind, r.params);
        }
    }
    core->received.push_back(r);
    core->changed.notify_all();
}

/* Takes every whole frame out of rx; with the lock held. */
static void core_parse(thermal_core *core)
{
    std::vector<uint8_t> &rx = core->rx;
    size_t at = 0;
    while (rx.size() - at >= 2) {
        if (rx[at] != HEAD_IN || rx[at + 1] < 4) {
            at++;
            continue;
        }
        const size_t size = (size_t)rx[at + 1] + 4;
        if (rx.size() - at < size) break;
        const uint8_t *f = rx.data() + at;
        if (f[size - 2] != TAIL1 || f[size - 1] != TAIL2) {
            at++;
            continue;
        }
        if (sum_of(f, size - 3) != f[size - 3]) {
            core->image.bad_frames++;
            at += size;
            continue;
        }
        core_take(core, f, size);
        at += size;
    }
    rx.erase(rx.begin(), rx.begin() + at);
}

static void core_run(thermal_core *core)
{
    for (;;) {
        int timeout;
        {
            std::lock_guard<std::mutex> g(core->lock);
            timeout = core_send_due(core);
        }
        struct pollfd p[2] = {{core->line, POLLIN, 0}, {core->wake[0], POLLIN, 0}};
        int ready = poll(p, 2, timeout);
        if (ready == 0) continue;
        if (ready < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (p[1].revents) return;
        if (p[0].revents & POLLIN) {
            uint8_t buf[512];
            ssize_t n = read(core->line, buf, sizeof buf);
            if (n > 0) {
                std::lock_guard<std::mutex> g(core->lock);
                core->rx.insert(core->rx.end(), buf, buf + n);
                core_parse(core);
                continue;
            }
        }
        /* A terminal nobody holds open reports a hang-up until it is
         * opened; wait for that instead of spinning. */
        if (p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
}

thermal_core *thermal_core_start(int line)
{
    if (line < 0) return nullptr;
    thermal_core *core = new thermal_core;
    core->line = line;
    if (pipe2(core->wake, O_CLOEXEC) != 0) {
        delete core;
        return nullptr;
    }
    core->thread = std::thread(core_run, core);
    return core;
}

void thermal_core_stop(thermal_core *core)
{
    if (core == nullptr) return;
    const char one = 1;
    ssize_t w = write(core->wake[1], &one, 1); /* our own empty pipe: it fits */
    (void)w;
    core->thread.join();
    close(core->wake[0]);
    close(core->wake[1]);
    delete core;
}

static bool on_off(const std::string &word, bool *out)
{
    if (word == "on")
        *out = true;
    else if (word == "off")
        *out = false;
    else
        return false;
    return true;
}

int thermal_core_command(thermal_core *core, const char *line)
{
    if (core == nullptr || line == nullptr) return -1;
    std::istringstream in(line);
    std::string word, rest;
    in >> word;
    std::getline(in >> std::ws, rest);
    std::lock_guard<std::mutex> g(core->lock);
    if (word == "version" && !rest.empty())
        core->version = rest;
    else if (word == "first-version" && !rest.empty())
        core->first_version = rest;
    else if (word == "pn" && !rest.empty())
        core->pn = rest;
    else if (word == "sn" && !rest.empty())
        core->sn = rest;
    else if (word == "silent")
        return on_off(rest, &core->silent) ? 0 : -1;
    else if (word == "badsum")
        return on_off(rest, &core->badsum) ? 0 : -1;
    else if (word == "answers")
        return on_off(rest, &core->answers) ? 0 : -1;
    else if (word == "search-ms" || word == "save-ms") {
        char *end;
        long ms = strtol(rest.c_str(), &end, 10);
        if (rest.empty() || *end != '\0' || ms < 0 || ms > 600000) return -1;
        (word == "search-ms" ? core->search_ms : core->save_ms) = (int)ms;
    } else if (word == "notice") {
        for (const auto &n : notices) {
            if (rest != n.name) continue;
            core_send(core, n.cmd, KIND_SET, n.data);
            return 0;
        }
        return -1;
    } else if (word == "send") {
        std::vector<uint8_t> raw;
        std::istringstream hex(rest);
        std::string b;
        while (hex >> b) {
            char *end;
            unsigned long v = strtoul(b.c_str(), &end, 16);
            if (*end != '\0' || v > 0xFF) return -1;
            raw.push_back((uint8_t)v);
        }
        if (raw.empty()) return -1;
        core_send_raw(core, raw);
    } else {
        return -1;
    }
    return 0;
}

std::vector<thermal_core_record> thermal_core_received(thermal_core *core)
{
    std::lock_guard<std::mutex> g(core->lock);
    return core->received;
}

std::vector<thermal_core_record> thermal_core_received(thermal_core *core, uint16_t cmd)
{
    std::vector<thermal_core_record> out;
    for (const thermal_core_record &r : thermal_core_received(core))
        if (r.cmd == cmd) out.push_back(r);
    return out;
}

bool thermal_core_wait(thermal_core *core, size_t count, int timeout_ms)
{
    std::unique_lock<std::mutex> g(core->lock);
    return core->changed.wait_for(g, std::chrono::milliseconds(timeout_ms),
                                  [&] { return core->received.size() >= count; });
}

std::vector<uint8_t> thermal_core_sent(thermal_core *core)
{
    std::lock_guard<std::mutex> g(core->lock);
    return core->sent;
}

void thermal_core_get_image(thermal_core *core, thermal_core_image *out)
{
    std::lock_guard<std::mutex> g(core->lock);
    *out = core->image;
}
