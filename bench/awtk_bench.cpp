/* Full 1280 x 1024 redraw of a window holding 100 labels and 100 images
 * (goal: 8 ms or less). */
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "awtk.h"
#include "awtk_host.h"

static void build_window(void)
{
    widget_t *win = window_create(NULL, 0, 0, 0, 0);
    widget_set_name(win, "bench");
    for (int i = 0; i < 100; i++) {
        int col = i % 10, row = i / 10;
        xy_t x = col * 128, y = row * 102;
        widget_t *label = label_create(win, x + 4, y + 4, 120, 40);
        char text[32];
        snprintf(text, sizeof(text), "Дальн %d — 25°", i);
        widget_set_text_utf8(label, text);
        widget_use_style(label, i % 2 ? "title" : "default");
        widget_t *image = image_create(win, x + 4, y + 50, 48, 48);
        image_base_set_image(image, i % 2 ? "dot" : "quad");
        image_set_draw_type(image, i % 2 ? IMAGE_DRAW_ICON : IMAGE_DRAW_SCALE);
    }
}

static void BM_FullRedraw(benchmark::State &state)
{
    awtk_test_init(1280, 1024, AWTK_FIXTURES);
    build_window();
    awtk_test_pump();
    awtk_host_render(); /* glyphs and images are cached after the first frame */
    const char *shot = getenv("AWTK_BENCH_SCREENSHOT");
    if (shot != NULL) awtk_host_screenshot(shot);
    for (auto _ : state) {
        awtk_host_render();
        benchmark::DoNotOptimize(awtk_host_framebuffer(NULL, NULL));
    }
    tk_exit();
}
BENCHMARK(BM_FullRedraw)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
