// scope-sim's commands for sightui: start it, take its screen and widget
// tree.
#include "scope_sim.h"
#include "sim_thermal.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

static int cmd_gui(scope_run *run, int argc, char **argv)
{
    int first = 1;
    bool window = argc > 1 && strcmp(argv[1], "window") == 0;
    if (window) first = 2;
    if (argc - first != 0 && argc - first != 2) {
        scope_error("gui: give the screen as W H, or nothing for 1280 1024");
        return SCOPE_FAIL;
    }
    if (!run->h->start_sightui(std::vector<std::string>(argv + first, argv + argc), window ? "sdl" : "headless")) {
        scope_error("gui: %s", run->h->why.c_str());
        return SCOPE_FAIL;
    }
    scope_say("started sightui (pid %d)%s", run->h->sightui, window ? " in a window" : "");
    return SCOPE_OK;
}

static bool scope_save(const std::string &path, const std::string &bytes)
{
    FILE *f = fopen(path.c_str(), "wb");
    bool ok = f != nullptr && fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (f != nullptr) ok = fclose(f) == 0 && ok;
    return ok;
}

static int cmd_screenshot(scope_run *run, int argc, char **argv)
{
    if (run->h->sightui <= 0) {
        scope_error("screenshot: start sightui first (gui)");
        return SCOPE_FAIL;
    }
    std::string image, tree;
    if (!run->h->snapshot(&tree, &image)) {
        scope_error("screenshot: %s", run->h->why.c_str());
        return SCOPE_FAIL;
    }
    if (argc < 2) {
        scope_say("screenshot %s", sim_path(run->h->sb, run->h->last_png()).c_str());
        return SCOPE_OK;
    }
    /* With the thermal core played the screen is the GUI over its scene;
     * the GUI alone stays beside it. */
    const std::string file = argv[1];
    std::string shown = image;
    if (sim_thermal_core_if_attached(*run->h) != nullptr) {
        std::string plane = run->h->last_png();
        plane.replace(plane.size() - 4, 4, ".plane.png");
        /* A snapshot taken before the first scene was written has none. */
        const std::string gui_plane = run->h->read(plane);
        if (!gui_plane.empty() && !sim_thermal_composite(*run->h, gui_plane, &shown)) {
            scope_error("screenshot: %s", run->h->why.c_str());
            return SCOPE_FAIL;
        }
    }
    if (!scope_save(file, shown) || !scope_save(file + ".txt", tree) ||
        (shown != image && !scope_save(file + ".gui.png", image))) {
        scope_error("screenshot: %s: %s", argv[1], strerror(errno));
        return SCOPE_FAIL;
    }
    scope_say("screenshot %s", argv[1]);
    return SCOPE_OK;
}

static int cmd_top(scope_run *run, int argc, char **argv)
{
    int ms = argc > 2 ? scope_seconds_ms(argv[2]) : SIM_BOOT_MS;
    if (ms < 0) {
        scope_error("top: '%s' is no number of seconds", argv[2]);
        return SCOPE_FAIL;
    }
    std::string top = argc > 1 ? argv[1] : run->h->top_window();
    if (argc > 1 ? !run->h->wait_top(top, ms) : top.empty()) {
        scope_error("top: %s", run->h->why.c_str());
        return SCOPE_FAIL;
    }
    scope_say("top window %s", top.c_str());
    return SCOPE_OK;
}

static const scope_command gui_commands[] = {
    {"gui", "[window] [W H]", "start sightui: headless (see screenshot) or in a window (needs --display)", 0, 3,
     cmd_gui},
    {"screenshot", "[FILE]",
     "sightui's screen as PNG, over the thermal scene when the core is played (the GUI alone in "
     "FILE.gui.png, its widget tree in FILE.txt); no FILE: print where",
     0, 1, cmd_screenshot},
    {"top", "[NAME [SECONDS]]",
     "print sightui's top window; with NAME wait until it is on top (an error after "
     "SECONDS, 40)",
     0, 2, cmd_top},
};

SCOPE_COMMANDS(gui_commands);
