// scope-sim's commands for the thermal core on /dev/ttyS4 and the scene the
// GUI is shown over.
#include "scope_sim.h"

#include <stdlib.h>

#include <string>

#include "sim_thermal.h"

static std::string hex_of(const std::vector<uint8_t> &bytes)
{
    std::string out;
    char b[4];
    for (uint8_t v : bytes) {
        snprintf(b, sizeof b, "%02X", v);
        out += b;
    }
    return out;
}

/* "core received": every frame the core took in since the last look. */
static int core_received(scope_run *run, thermal_core *core)
{
    static size_t shown = 0;
    (void)run;
    const std::vector<thermal_core_record> got = thermal_core_received(core);
    for (size_t i = shown; i < got.size(); i++)
        scope_say("core received %s%s", hex_of(got[i].frame).c_str(), got[i].answered ? "" : " (silent)");
    shown = got.size();
    return SCOPE_OK;
}

/* "core expect SECONDS CMD": waits for a frame with that command (hex). */
static int core_expect(scope_run *run, thermal_core *core, int argc, char **argv)
{
    int ms = argc > 2 ? scope_seconds_ms(argv[2]) : -1;
    char *end = nullptr;
    unsigned long cmd = argc > 3 ? strtoul(argv[3], &end, 16) : 0x10000;
    if (ms < 0 || end == nullptr || *end != '\0' || cmd > 0xFFFF) {
        scope_error("core expect: give SECONDS and a command in hex (0309, 0104 ...)");
        return SCOPE_FAIL;
    }
    size_t seen = 0;
    for (int waited = 0;; waited += 20) {
        const std::vector<thermal_core_record> got = thermal_core_received(core);
        for (; seen < got.size(); seen++) {
            if (got[seen].cmd != cmd) continue;
            scope_say("core received %s", hex_of(got[seen].frame).c_str());
            return SCOPE_OK;
        }
        if (waited >= ms || scope_pause(run, 20)) break;
    }
    scope_error("core expect: no command %04lX within %s s", cmd, argv[2]);
    return SCOPE_FAIL;
}

static int core_image(thermal_core *core)
{
    thermal_core_image im;
    thermal_core_get_image(core, &im);
    scope_say("core image brightness=%d contrast=%d enhancement=%d black_hot=%d highlight=%d freeze=%d "
              "hot_point=%d scene=%d badpix=%d cursor=%d,%d calibrations=%u shutter=%u repairs=%u saves=%u "
              "marks=%u mark=%d,%d saved_marks=%u bad_frames=%u",
              im.brightness, im.contrast, im.enhancement, im.black_hot, im.highlight, im.freeze, im.hot_point, im.scene,
              im.badpix_mode, im.cursor_x, im.cursor_y, im.calibrations, im.shutter_closes, im.repairs, im.saves,
              im.marks, im.mark_x, im.mark_y, im.saved_marks, im.bad_frames);
    return SCOPE_OK;
}

static int cmd_core(scope_run *run, int argc, char **argv)
{
    thermal_core *core = sim_thermal_core(*run->h);
    if (core == nullptr) {
        scope_error("core: %s", run->h->why.c_str());
        return SCOPE_FAIL;
    }
    const std::string what = argv[1];
    if (what == "on") return SCOPE_OK;
    if (what == "received") return core_received(run, core);
    if (what == "expect") return core_expect(run, core, argc, argv);
    if (what == "image") return core_image(core);
    if (what == "scene") {
        int w = argc == 4 ? atoi(argv[2]) : 0, h = argc == 4 ? atoi(argv[3]) : 0;
        if (w <= 0 || h <= 0) {
            scope_error("core scene: give the screen as W H");
            return SCOPE_FAIL;
        }
        sim_thermal_scene_size(*run->h, w, h);
        return SCOPE_OK;
    }
    std::string line;
    for (int i = 1; i < argc; i++) line += std::string(i > 1 ? " " : "") + argv[i];
    if (thermal_core_command(core, line.c_str()) != 0) {
        scope_error("core: '%s' is no line the core takes", line.c_str());
        return SCOPE_FAIL;
    }
    return SCOPE_OK;
}

static const scope_command core_commands[] = {
    {"core", "LINE...",
     "the thermal core on /dev/ttyS4 and the scene behind the GUI (on: just start it; "
     "version TEXT, first-version TEXT, pn TEXT, sn TEXT, silent on|off, badsum on|off, answers on|off, search-ms N, "
     "save-ms N, notice repair|save-ok|"
     "save-failed|calibrated|bright-on|bright-off, send HEX...; received, expect SECONDS CMD, image, scene W H)",
     1, -1, cmd_core},
};

SCOPE_COMMANDS(core_commands);
