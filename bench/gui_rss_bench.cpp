// sightui's resident memory at idle on the boot page, as the shooter's
// scope holds it: sightui started in the sandbox without sightd (so the
// boot page stays up), drawn once (one snapshot: a full paint, as the
// display would have it), then left idle for two seconds. Read from
// /proc/<pid>/smaps inside the sandbox and split by what holds it:
// shared libraries, the program itself, the malloc heap, other anonymous
// memory (the framebuffer, decoded images, thread stacks), the main stack.
// Goal: 16 MB or less in all.
#include <benchmark/benchmark.h>

#include <ctype.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sim_harness.h"

namespace {

struct Rss {
    std::map<std::string, long> kb; /* by part */
    long total_kb = 0;
    long anon_over_1mb = 0; /* anonymous mappings holding more than 1 MiB */
};

/* What a mapping of smaps is, by its path. */
std::string part_of(const std::string &path)
{
    if (path == "[heap]") return "heap";
    if (path == "[stack]") return "stack";
    if (path.find(".so") != std::string::npos) return "libraries";
    if (path.find("/sightui") != std::string::npos) return "program";
    if (path.empty()) return "anon";
    return "other";
}

bool parse_smaps(const std::string &text, Rss *out)
{
    std::istringstream lines(text);
    std::string part;
    for (std::string line; std::getline(lines, line);) {
        /* A mapping's first line: "start-end perms offset dev inode [path]". */
        if (!line.empty() && isxdigit((unsigned char)line[0]) && line.find('-') < line.find(' ')) {
            std::istringstream f(line);
            std::string range, perms, offset, dev, inode, path;
            f >> range >> perms >> offset >> dev >> inode;
            std::getline(f, path);
            path.erase(0, path.find_first_not_of(' '));
            part = part_of(path);
            continue;
        }
        if (line.compare(0, 4, "Rss:") == 0) {
            long kb = atol(line.c_str() + 4);
            out->kb[part] += kb;
            out->total_kb += kb;
            if (part == "anon" && kb > 1024) out->anon_over_1mb++;
        }
    }
    return out->total_kb > 0;
}

bool one_run(Rss *out, std::string *why)
{
    sim_harness h;
    if (!h.create() || !h.start_sightui()) {
        *why = h.why;
        return false;
    }
    std::string tree;
    if (!h.wait_top("Boot_logo", 20000) || !h.snapshot(&tree)) {
        *why = h.why;
        return false;
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    std::string smaps;
    const std::string cmd = "cat /proc/$(pidof -s sightui)/smaps";
    if (!h.run({"sh", "-c", cmd}, 5000, &smaps) || !parse_smaps(smaps, out)) {
        *why = "no smaps of sightui: " + h.why + ": " + smaps.substr(0, 300);
        return false;
    }
    return true;
}

void BM_SightuiIdleRssOnBootPage(benchmark::State &state)
{
    std::vector<Rss> runs;
    for (auto _ : state) {
        Rss r;
        std::string why;
        if (!one_run(&r, &why)) {
            state.SkipWithError(why.c_str());
            return;
        }
        runs.push_back(r);
    }
    std::sort(runs.begin(), runs.end(), [](const Rss &a, const Rss &b) { return a.total_kb < b.total_kb; });
    const Rss &median = runs[runs.size() / 2];
    state.counters["rss_kb"] = median.total_kb;
    for (const auto &p : median.kb) state.counters[p.first + "_kb"] = p.second;
    state.counters["anon_maps_over_1mb"] = median.anon_over_1mb;
}

BENCHMARK(BM_SightuiIdleRssOnBootPage)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
