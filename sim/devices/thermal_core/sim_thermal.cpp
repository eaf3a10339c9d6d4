#include "sim_thermal.h"

#include <png.h>
#include <stdio.h>
#include <string.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace {

#define SCENE_POLL_MS 100

struct link {
    thermal_core *core = nullptr;
    std::thread scene;
    std::atomic<bool> stop{false};
    std::mutex lock;
    int w = 1280, h = 1024;
    thermal_scene_settings shown = {};
    bool written = false;
    /* What the media process was last told, read on from media_offset. */
    long media_offset = 0;
    std::string media_partial;
    int palette = 0, zoom = 100;
};

std::mutex g_links_lock;
std::map<const sim_harness *, link *> g_links;

link *link_of(const sim_harness &h)
{
    std::lock_guard<std::mutex> g(g_links_lock);
    auto it = g_links.find(&h);
    return it == g_links.end() ? nullptr : it->second;
}

/* Follows the media process's palette (the polarity frame the scope passes
 * on) and zoom (object 1, sub 1, item F0 or 10 with the magnification x
 * 100) in the frames its peer received since the last call. With the
 * link's lock held. */
void media_follow(const sim_harness &h, link *l)
{
    FILE *f = fopen(sim_path(h.sb, SIM_PEER_DIR "/media.rx").c_str(), "rb");
    if (f == nullptr) return;
    if (fseek(f, l->media_offset, SEEK_SET) == 0) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) {
            l->media_offset += (long)n;
            l->media_partial.append(buf, n);
        }
    }
    fclose(f);
    size_t end;
    while ((end = l->media_partial.find('\n')) != std::string::npos) {
        const std::string line = l->media_partial.substr(0, end);
        l->media_partial.erase(0, end + 1);
        /* "<type> <length> <hex frame>" */
        const size_t hex_at = line.find(' ', line.find(' ') + 1);
        std::vector<uint8_t> fr;
        if (hex_at == std::string::npos || !sim_unhex(line.substr(hex_at + 1), &fr)) continue;
        if (fr.size() < 10 || fr[2] != 1 || fr[3] != 1 || fr[5] != 0x00) continue;
        if (fr[4] == 4) l->palette = fr[6];
        if (fr.size() == 11 && (fr[4] == 0xF0 || fr[4] == 0x10)) {
            const int zoom = fr[6] | (fr[7] << 8);
            if (zoom >= 100) l->zoom = zoom;
        }
    }
}

bool same(const thermal_scene_settings &a, const thermal_scene_settings &b) { return memcmp(&a, &b, sizeof a) == 0; }

/* Writes the plane aside and moves it into place, so sightui never reads
 * half a picture. */
bool write_plane(const sim_harness &h, const std::vector<uint8_t> &px)
{
    const std::string path = sim_path(h.sb, SIM_VIDEO_PLANE), tmp = path + ".tmp";
    FILE *f = fopen(tmp.c_str(), "wb");
    bool ok = f != nullptr && fwrite(px.data(), 1, px.size(), f) == px.size();
    if (f != nullptr) ok = fclose(f) == 0 && ok;
    ok = ok && rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) remove(tmp.c_str());
    return ok;
}

void scene_run(const sim_harness *h, link *l)
{
    while (!l->stop) {
        thermal_scene_settings now = sim_thermal_scene_now(*h);
        int w, hh;
        bool due;
        {
            std::lock_guard<std::mutex> g(l->lock);
            w = l->w;
            hh = l->h;
            due = !l->written || !same(now, l->shown);
        }
        if (due) {
            std::vector<uint8_t> px((size_t)w * hh * 4);
            thermal_scene_render(&now, px.data(), w, hh);
            if (write_plane(*h, px)) {
                std::lock_guard<std::mutex> g(l->lock);
                l->shown = now;
                l->written = l->w == w && l->h == hh;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(SCENE_POLL_MS));
    }
}

bool png_decode(const std::string &bytes, std::vector<uint8_t> *rgba, int *w, int *h)
{
    png_image img;
    memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&img, bytes.data(), bytes.size())) return false;
    img.format = PNG_FORMAT_RGBA;
    rgba->resize(PNG_IMAGE_SIZE(img));
    *w = (int)img.width;
    *h = (int)img.height;
    return png_image_finish_read(&img, nullptr, rgba->data(), 0, nullptr) != 0;
}

bool png_encode(const std::vector<uint8_t> &rgb, int w, int h, std::string *out)
{
    png_image img;
    memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    img.width = (png_uint_32)w;
    img.height = (png_uint_32)h;
    img.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    if (!png_image_write_get_memory_size(img, size, 0, rgb.data(), 0, nullptr)) return false;
    out->resize(size);
    if (!png_image_write_to_memory(&img, &(*out)[0], &size, 0, rgb.data(), 0, nullptr)) return false;
    out->resize(size);
    return true;
}

} // namespace

thermal_core *sim_thermal_core_if_attached(const sim_harness &h)
{
    link *l = link_of(h);
    return l != nullptr ? l->core : nullptr;
}

thermal_core *sim_thermal_core(sim_harness &h)
{
    if (link *l = link_of(h)) return l->core;
    const int line = sim_pty(h.sb, "/dev/ttyS4");
    thermal_core *core = line >= 0 ? thermal_core_start(line) : nullptr;
    if (core == nullptr) {
        h.why = "the thermal core did not start on /dev/ttyS4";
        return nullptr;
    }
    link *l = new link;
    l->core = core;
    {
        std::lock_guard<std::mutex> g(g_links_lock);
        g_links[&h] = l;
    }
    l->scene = std::thread(scene_run, (const sim_harness *)&h, l);
    sim_harness *hp = &h;
    h.at_end([hp, l] {
        l->stop = true;
        l->scene.join();
        thermal_core_stop(l->core);
        std::lock_guard<std::mutex> g(g_links_lock);
        g_links.erase(hp);
        delete l;
    });
    return core;
}

thermal_scene_settings sim_thermal_scene_now(const sim_harness &h)
{
    thermal_scene_settings s = thermal_scene_defaults();
    link *l = link_of(h);
    if (l == nullptr) return s;
    thermal_core_image im;
    thermal_core_get_image(l->core, &im);
    s.brightness = im.brightness;
    s.contrast = im.contrast;
    s.enhancement = im.enhancement;
    s.black_hot = im.black_hot;
    std::lock_guard<std::mutex> g(l->lock);
    media_follow(h, l);
    s.palette = l->palette;
    s.zoom = l->zoom;
    return s;
}

void sim_thermal_scene_size(sim_harness &h, int w, int h_px)
{
    link *l = link_of(h);
    if (l == nullptr || w <= 0 || h_px <= 0) return;
    std::lock_guard<std::mutex> g(l->lock);
    l->w = w;
    l->h = h_px;
    l->written = false;
}

bool sim_thermal_composite(sim_harness &h, const std::string &gui_plane_png, std::string *out_png)
{
    std::vector<uint8_t> gui;
    int w = 0, hh = 0;
    if (!png_decode(gui_plane_png, &gui, &w, &hh)) {
        h.why = "the GUI plane is no PNG";
        return false;
    }
    const thermal_scene_settings s = sim_thermal_scene_now(h);
    std::vector<uint8_t> scene((size_t)w * hh * 4);
    thermal_scene_render(&s, scene.data(), w, hh);
    std::vector<uint8_t> rgb((size_t)w * hh * 3);
    for (size_t i = 0, n = (size_t)w * hh; i < n; i++) {
        const uint8_t *g = &gui[i * 4], *v = &scene[i * 4];
        for (int k = 0; k < 3; k++) rgb[i * 3 + k] = (uint8_t)((g[k] * g[3] + v[k] * (255 - g[3]) + 127) / 255);
    }
    if (!png_encode(rgb, w, hh, out_png)) {
        h.why = "the composite could not be encoded";
        return false;
    }
    return true;
}
