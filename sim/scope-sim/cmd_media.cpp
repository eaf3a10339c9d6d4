// scope-sim's media command: photos and videos put on the Media partition
// as the media process would have written them, each with its thumbnail,
// for the media browser, the viewer and the player.
#include <stdlib.h>
#include <string.h>

#include <string>

#include "media_files.h"
#include "media_replay.h"
#include "scope_sim.h"

static const char *const kPhotoDir = "/usrdata/media/Picture/";
static const char *const kVideoDir = "/usrdata/media/Video/";
static const char *const kThumbDir = "/usrdata/media/.thumbnails/";

static int put(scope_run *run, const std::string &inside, const std::vector<uint8_t> &bytes)
{
    int rc = sim_write_file(run->h->sb, inside, std::string(bytes.begin(), bytes.end()));
    if (rc < 0) scope_error("media: %s: %s", inside.c_str(), strerror(-rc));
    return rc;
}

/* "RRGGBB" to three bytes; false for anything else. */
static bool colour(const char *text, uint8_t rgb[3])
{
    if (strlen(text) != 6) return false;
    char *end = nullptr;
    unsigned long v = strtoul(text, &end, 16);
    if (*end != '\0') return false;
    rgb[0] = (uint8_t)(v >> 16), rgb[1] = (uint8_t)(v >> 8), rgb[2] = (uint8_t)v;
    return true;
}

static int cmd_media(scope_run *run, int argc, char **argv)
{
    std::string kind = argv[1], name = argv[2];
    if (name.empty() || name.find('/') != std::string::npos || name.size() > 59) {
        scope_error("media: '%s' is no file name of at most 59 characters", name.c_str());
        return SCOPE_FAIL;
    }
    uint8_t rgb[3] = {60, 120, 200};
    bool thumb = true;
    double seconds = 10;
    for (int i = 3; i < argc; i++) {
        if (strcmp(argv[i], "nothumb") == 0)
            thumb = false;
        else if (kind == "photo" && colour(argv[i], rgb))
            continue;
        else if (kind == "video" && (seconds = atof(argv[i])) > 0)
            continue;
        else {
            scope_error("media: what is '%s'?", argv[i]);
            return SCOPE_FAIL;
        }
    }
    if (kind == "photo") {
        if (put(run, kPhotoDir + name + ".bmp", sim_media_bmp(640, 512, rgb[0], rgb[1], rgb[2])) < 0) return SCOPE_FAIL;
    } else if (kind == "video") {
        /* 30 frames a second; the rate counts tenths of a frame a second. */
        std::string text = sim_media_fixture_video((uint64_t)(seconds * 30), 300);
        if (put(run, kVideoDir + name + ".mp4", std::vector<uint8_t>(text.begin(), text.end())) < 0) return SCOPE_FAIL;
    } else {
        scope_error("media: photo or video, not '%s'", kind.c_str());
        return SCOPE_FAIL;
    }
    if (thumb && put(run, kThumbDir + name + ".jpg", sim_media_jpeg(256, 200, rgb[0], rgb[1], rgb[2])) < 0)
        return SCOPE_FAIL;
    scope_say("media: %s %s", kind.c_str(), name.c_str());
    return SCOPE_OK;
}

static const scope_command media_commands[] = {
    {"media", "photo|video NAME [RRGGBB|SECONDS] [nothumb]",
     "put a photo NAME.bmp (a colour) or a video NAME.mp4 (SECONDS long, 10 by default) on the Media partition, "
     "with its thumbnail unless nothumb",
     2, 4, cmd_media},
};

SCOPE_COMMANDS(media_commands);
