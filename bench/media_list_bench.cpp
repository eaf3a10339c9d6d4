// The media browser's list at 20 000 files (10 000 photos, 10 000 videos),
// as the home page lists them when it is made: folders on a tmpfs, which
// (like the scope's VFAT partition) gives names back in the order the
// files were made. Three orders of making:
//   creation: the camera's own order, each name later than the last, a
//             photo and a video in turn: each folder one sorted run;
//   newest first: each folder one run in descending order;
//   shuffled: any order (a folder whose files were copied in by hand).
// Goal: 50 ms or less in every order.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "media_list.h"

namespace {

enum Order { CREATION, NEWEST_FIRST, SHUFFLED };

/* A Media partition of its own under /dev/shm (a tmpfs), or /tmp. */
struct MediaTree {
    std::string root, photo, video, thumb;
    vesk_media_dirs dirs{};

    bool make(int per_kind, Order order)
    {
        const char *base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string tmpl = std::string(base) + "/vesk-media-bench-XXXXXX";
        if (mkdtemp(&tmpl[0]) == NULL) return false;
        root = tmpl;
        photo = root + "/Picture/";
        video = root + "/Video/";
        thumb = root + "/.thumbnails/";
        for (const std::string &d : {photo, video, thumb})
            if (mkdir(d.c_str(), 0755) != 0) return false;
        dirs = {photo.c_str(), video.c_str(), thumb.c_str()};
        /* Names as the media process makes them: date, time, a counter. */
        std::vector<std::string> paths;
        for (int i = 0; i < per_kind; i++) {
            char name[64];
            int s = i * 7;
            snprintf(name, sizeof name, "202401%02d_%02d%02d%02d_%05d", 1 + s / 86400 % 28, s / 3600 % 24, s / 60 % 60,
                     s % 60, i);
            paths.push_back(photo + name + ".bmp");
            paths.push_back(video + name + "_v.mp4");
        }
        if (order == NEWEST_FIRST) std::reverse(paths.begin(), paths.end());
        if (order == SHUFFLED) std::shuffle(paths.begin(), paths.end(), std::mt19937(1));
        for (const std::string &p : paths) {
            int fd = open(p.c_str(), O_CREAT | O_WRONLY | O_EXCL, 0644);
            if (fd < 0) return false;
            close(fd);
        }
        return true;
    }
    ~MediaTree()
    {
        if (!root.empty()) system(("rm -rf '" + root + "'").c_str());
    }
};

void BM_MediaList(benchmark::State &state)
{
    const int per_kind = (int)state.range(1);
    MediaTree tree;
    if (!tree.make(per_kind, (Order)state.range(0))) {
        state.SkipWithError("cannot make the media folders");
        return;
    }
    for (auto _ : state) {
        file_unit *rows = vesk_media_list_in(&tree.dirs, SORT_FILENAME_REVERSE, nullptr);
        if (rows == nullptr || rows[0].photo_num != per_kind || rows[0].video_num != per_kind) {
            state.SkipWithError("wrong listing");
            free(rows);
            return;
        }
        benchmark::DoNotOptimize(rows);
        free(rows);
    }
    static const char *const names[] = {"creation", "newest first", "shuffled"};
    state.SetLabel(names[state.range(0)]);
}

BENCHMARK(BM_MediaList)
    ->ArgNames({"order", "per_kind"})
    ->Args({CREATION, 10000})
    ->Args({NEWEST_FIRST, 10000})
    ->Args({SHUFFLED, 10000})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
