#include "page_screenshot.h"

#include <png.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>

#include "awtk_host.h"

namespace page_screenshot {

std::string reference_dir(void) { return PAGE_SCREENSHOT_REF_DIR; }

std::string failure_dir(void)
{
    const char *env = getenv("VESK_SCREENSHOT_OUT");
    return env != nullptr && *env != '\0' ? env : PAGE_SCREENSHOT_OUT_DIR;
}

bool read_png(const std::string &path, std::vector<uint8_t> *rgba, uint32_t *w, uint32_t *h)
{
    png_image img;
    memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) return false;
    img.format = PNG_FORMAT_RGBA;
    rgba->resize(PNG_IMAGE_SIZE(img));
    *w = img.width;
    *h = img.height;
    if (png_image_finish_read(&img, NULL, rgba->data(), 0, NULL) == 0) {
        png_image_free(&img);
        return false;
    }
    return true;
}

bool write_png(const std::string &path, const uint8_t *rgba, uint32_t w, uint32_t h)
{
    png_image img;
    memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    img.width = w;
    img.height = h;
    img.format = PNG_FORMAT_RGBA;
    return png_image_write_to_file(&img, path.c_str(), 0, rgba, 0, NULL) != 0;
}

static void make_dirs(const std::string &dir)
{
    for (size_t at = 1; at <= dir.size(); at++)
        if (at == dir.size() || dir[at] == '/') mkdir(dir.substr(0, at).c_str(), 0755);
}

/* Differing pixels red, equal ones a dimmed grey of the reference. */
static std::vector<uint8_t> diff_image(const std::vector<uint8_t> &want, const std::vector<uint8_t> &got,
                                       const std::vector<bool> &differs)
{
    std::vector<uint8_t> out(got.size());
    for (size_t p = 0; p < differs.size(); p++) {
        uint8_t *o = &out[p * 4];
        if (differs[p]) {
            o[0] = 255, o[1] = 0, o[2] = 0;
        } else {
            const uint8_t *s = &want[p * 4];
            o[0] = o[1] = o[2] = (uint8_t)((s[0] + s[1] + s[2]) / 3 / 4);
        }
        o[3] = 255;
    }
    return out;
}

static ::testing::AssertionResult compare(const std::vector<uint8_t> &got, uint32_t w, uint32_t h,
                                          const std::string &ref_dir, const std::string &name, const options &opt)
{
    std::string ref = ref_dir + "/" + name + ".png";

    const char *update = getenv("VESK_UPDATE_SCREENSHOTS");
    if (update != nullptr && strcmp(update, "0") != 0) {
        make_dirs(ref_dir);
        if (!write_png(ref, got.data(), w, h)) return ::testing::AssertionFailure() << "cannot write " << ref;
        return ::testing::AssertionSuccess() << "rewrote " << ref;
    }

    std::string out_dir = failure_dir();
    std::string actual = out_dir + "/" + name + ".png", diff = out_dir + "/" + name + ".diff.png";
    std::vector<uint8_t> want;
    uint32_t ww = 0, wh = 0;
    if (!read_png(ref, &want, &ww, &wh)) {
        make_dirs(out_dir);
        write_png(actual, got.data(), w, h);
        return ::testing::AssertionFailure() << "no reference " << ref << "; the screen is in " << actual
                                             << " (VESK_UPDATE_SCREENSHOTS=1 makes it the reference)";
    }
    if (ww != (uint32_t)w || wh != (uint32_t)h) {
        make_dirs(out_dir);
        write_png(actual, got.data(), w, h);
        return ::testing::AssertionFailure() << "reference " << ref << " is " << ww << "x" << wh << ", the screen " << w
                                             << "x" << h << "; see " << actual;
    }
    std::vector<bool> differs((size_t)w * h);
    size_t count = 0;
    for (size_t p = 0; p < differs.size(); p++) {
        for (int c = 0; c < 4; c++) {
            if (abs((int)want[p * 4 + c] - (int)got[p * 4 + c]) > opt.channel_tolerance) {
                differs[p] = true;
                count++;
                break;
            }
        }
    }
    if (count <= opt.max_pixels) return ::testing::AssertionSuccess();
    make_dirs(out_dir);
    write_png(actual, got.data(), w, h);
    std::vector<uint8_t> d = diff_image(want, got, differs);
    write_png(diff, d.data(), w, h);
    return ::testing::AssertionFailure() << count << " pixels differ from " << ref << "; rendered " << actual
                                         << ", differences " << diff;
}

/* The framebuffer after a render, or an empty vector. */
static std::vector<uint8_t> render(wh_t *w, wh_t *h)
{
    if (awtk_host_render() != RET_OK) return {};
    const uint8_t *fb = awtk_host_framebuffer(w, h);
    if (fb == nullptr) return {};
    return std::vector<uint8_t>(fb, fb + (size_t)*w * *h * 4);
}

::testing::AssertionResult matches_in(const std::string &ref_dir, const std::string &name, const options &opt)
{
    wh_t w = 0, h = 0;
    std::vector<uint8_t> got = render(&w, &h);
    if (got.empty()) return ::testing::AssertionFailure() << "the screen did not render";
    return compare(got, w, h, ref_dir, name, opt);
}

::testing::AssertionResult matches(const std::string &name, const options &opt)
{
    return matches_in(reference_dir(), name, opt);
}

::testing::AssertionResult matches_on_scene(const std::string &name, const thermal_scene_settings &scene,
                                            const options &opt)
{
    wh_t w = 0, h = 0;
    std::vector<uint8_t> got = render(&w, &h);
    if (got.empty()) return ::testing::AssertionFailure() << "the screen did not render";
    ::testing::AssertionResult r = compare(got, w, h, reference_dir(), name, opt);
    const char *update = getenv("VESK_UPDATE_SCREENSHOTS");
    if (r && (update == nullptr || strcmp(update, "0") == 0)) return r;
    std::vector<uint8_t> video((size_t)w * h * 4);
    thermal_scene_render(&scene, video.data(), w, h);
    /* The GUI's colours are premultiplied by its alpha. */
    for (size_t p = 0; p < (size_t)w * h; p++) {
        uint8_t *v = &video[p * 4];
        const uint8_t *g = &got[p * 4];
        for (int c = 0; c < 3; c++) v[c] = (uint8_t)std::min(255, g[c] + (v[c] * (255 - g[3]) + 127) / 255);
    }
    std::string out_dir = failure_dir(), shown = out_dir + "/" + name + ".scene.png";
    make_dirs(out_dir);
    write_png(shown, video.data(), w, h);
    return r << "; as the scope shows it: " << shown;
}

double clear_fraction(int x, int y, int w, int h)
{
    if (awtk_host_render() != RET_OK) return -1;
    wh_t fw = 0, fh = 0;
    const uint8_t *fb = awtk_host_framebuffer(&fw, &fh);
    if (fb == nullptr || x < 0 || y < 0 || w <= 0 || h <= 0 || x + w > fw || y + h > fh) return -1;
    size_t clear = 0;
    for (int j = y; j < y + h; j++)
        for (int i = x; i < x + w; i++) clear += fb[((size_t)j * fw + i) * 4 + 3] == 0;
    return (double)clear / ((double)w * h);
}

static void check_widget(widget_t *w, std::string *out)
{
    const char *image = widget_get_prop_str(w, WIDGET_PROP_IMAGE, nullptr);
    if (image != nullptr && *image != '\0') {
        bitmap_t bmp;
        if (image_manager_get_bitmap(image_manager(), image, &bmp) != RET_OK)
            *out += std::string("image \"") + image + "\" of \"" + (w->name != nullptr ? w->name : "") + "\"\n";
    }
    /* The locale hands the key itself back when it has no text for it. */
    if (w->tr_text != nullptr && *w->tr_text != '\0' && locale_info_tr(locale_info(), w->tr_text) == w->tr_text)
        *out += std::string("text \"") + w->tr_text + "\" of \"" + (w->name != nullptr ? w->name : "") + "\"\n";
    WIDGET_FOR_EACH_CHILD_BEGIN(w, child, i)
    check_widget(child, out);
    WIDGET_FOR_EACH_CHILD_END();
}

static bool shown(widget_t *w)
{
    for (; w != nullptr; w = w->parent)
        if (!w->visible) return false;
    return true;
}

static void check_fit(widget_t *w, canvas_t *c, std::string *out)
{
    bool_t fixed_text = w->tr_text != nullptr && *w->tr_text != '\0';
    if (w->vt != nullptr && strcmp(w->vt->type, WIDGET_TYPE_LABEL) == 0 && (shown(w) || fixed_text)) {
        char text[256];
        widget_get_text_utf8(w, text, sizeof text);
        if (text[0] != '\0') {
            int size = widget_get_style_int(w, STYLE_ID_FONT_SIZE, 18);
            canvas_set_font(c, widget_get_style_str(w, STYLE_ID_FONT_NAME, nullptr), (uint16_t)size);
            float width = canvas_measure_utf8(c, text);
            /* A wrapping label breaks its text into lines (a word may push
             * a little onto the next one); they must fit its height. */
            if (widget_get_prop_bool(w, WIDGET_PROP_LINE_WRAP, FALSE)) {
                int lines = (int)(width / (w->w * 0.85f)) + 1;
                if (lines * size * 5 / 4 > w->h)
                    *out += std::string("\"") + (w->name != nullptr ? w->name : "") + "\" \"" + text + "\" needs " +
                            std::to_string(lines) + " lines of " + std::to_string(w->h) + " px\n";
            } else if (width > w->w + 0.5f)
                *out += std::string("\"") + (w->name != nullptr ? w->name : "") + "\" \"" + text + "\" needs " +
                        std::to_string((int)(width + 0.99f)) + " px of " + std::to_string(w->w) + "\n";
        }
    }
    WIDGET_FOR_EACH_CHILD_BEGIN(w, child, i)
    check_fit(child, c, out);
    WIDGET_FOR_EACH_CHILD_END();
}

std::string clipped(widget_t *root)
{
    canvas_t *c = root != nullptr ? widget_get_canvas(root) : nullptr;
    if (c == nullptr) c = widget_get_canvas(window_manager());
    if (root == nullptr || c == nullptr) return "no window or canvas\n";
    std::string out;
    check_fit(root, c, &out);
    return out;
}

bool translated(const char *key) { return key != nullptr && locale_info_tr(locale_info(), key) != key; }

std::string unresolved(widget_t *root)
{
    std::string out;
    if (root != nullptr) check_widget(root, &out);
    return out;
}

} // namespace page_screenshot
