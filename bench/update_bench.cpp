// Claim, check and unpack of an update package, as sightd runs them: the
// watcher finds the package in a Media root, claims it, and the request's
// install job checks and unpacks it into the update directory. Each run is
// a child process, so its peak resident memory is its own; a write of the
// same bytes with fsync gives the disk's own speed beside it. The unpack is
// streamed: the peak must not grow with the package.
//
//   update_bench [MiB...]     (default 16 64)
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "update_fixture.h"
#include "update_zip.h"
#include "vesk_update.h"

static const char *g_update_dir;

static int install_now(const vesk_persist_request *r) { return vesk_update_unpack(r->vesk_update_path, g_update_dir); }

static double now_s()
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

/* Incompressible bytes, as a packed release is. */
static update_zip_source random_bytes(uint64_t size, uint32_t seed)
{
    auto rng = std::make_shared<std::mt19937>(seed);
    auto left = std::make_shared<uint64_t>(size);
    return [rng, left](char *buf, size_t n) {
        size_t k = *left < n ? (size_t)*left : n;
        for (size_t i = 0; i + 4 <= k; i += 4) {
            uint32_t v = (*rng)();
            memcpy(buf + i, &v, 4);
        }
        *left -= k;
        return k;
    };
}

static bool build(const std::string &path, uint64_t bytes)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    update_zip_writer w(f);
    const std::vector<std::string> &names = update_zip_single;
    bool ok = true;
    for (size_t i = 0; i < names.size() && ok; i++) {
        update_zip_entry e;
        e.name = "device_upgrade_bench/" + names[i];
        /* release.tar carries the weight, as in a real package. */
        uint64_t size = names[i] == "release.tar" ? bytes : 4096;
        ok = w.add(e, random_bytes(size, (uint32_t)i + 1));
    }
    ok = ok && w.finish();
    return fclose(f) == 0 && ok;
}

struct run_result {
    double seconds;
    long peak_kib;
    bool ok;
};

/* One child: nothing (the baseline), or a watcher start that claims and
 * installs. */
static run_result run_child(const update_dirs &d, bool install)
{
    double t0 = now_s();
    pid_t pid = fork();
    if (pid == 0) {
        if (!install) _exit(0);
        g_update_dir = d.update.c_str();
        vesk_update_calls calls = {install_now, nullptr};
        vesk_update_set_calls(&calls);
        if (vesk_update_start(d.media.c_str(), d.update.c_str()) != 0) _exit(1);
        vesk_update_stop();
        struct stat st;
        _exit(stat((d.update + "device_upgrade/release.tar").c_str(), &st) == 0 ? 0 : 1);
    }
    int status = 0;
    struct rusage ru;
    memset(&ru, 0, sizeof ru);
    wait4(pid, &status, 0, &ru);
    return {now_s() - t0, ru.ru_maxrss, WIFEXITED(status) && WEXITSTATUS(status) == 0};
}

static double write_speed(const std::string &path, uint64_t bytes)
{
    std::vector<char> buf(1 << 20, 'x');
    double t0 = now_s();
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    for (uint64_t left = bytes; left > 0 && fd >= 0;) {
        size_t k = left < buf.size() ? (size_t)left : buf.size();
        if (write(fd, buf.data(), k) != (ssize_t)k) break;
        left -= k;
    }
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
    unlink(path.c_str());
    return now_s() - t0;
}

int main(int argc, char **argv)
{
    std::vector<uint64_t> sizes;
    for (int i = 1; i < argc; i++) sizes.push_back(strtoull(argv[i], nullptr, 10));
    if (sizes.empty()) sizes = {16, 64};
    printf("%-10s %-12s %-12s %-14s %-14s %s\n", "package", "claim+unpack", "MiB/s", "peak RSS", "over baseline",
           "disk write+fsync");
    for (uint64_t mib : sizes) {
        update_dirs d;
        std::string zip = d.media_path("device_upgrade_bench.zip");
        if (!build(zip, mib << 20)) {
            fprintf(stderr, "cannot build %s\n", zip.c_str());
            return 1;
        }
        struct stat st;
        stat(zip.c_str(), &st);
        run_result base = run_child(d, false);
        run_result r = run_child(d, true);
        if (!r.ok) {
            fprintf(stderr, "the %llu MiB package was not installed\n", (unsigned long long)mib);
            return 1;
        }
        double disk = write_speed(d.base + "/speed", mib << 20);
        printf("%-10s %-12s %-12.0f %-14s %-14s %.3f s (%.0f MiB/s)\n", (std::to_string(mib) + " MiB").c_str(),
               (std::to_string(r.seconds).substr(0, 5) + " s").c_str(), (double)st.st_size / (1 << 20) / r.seconds,
               (std::to_string(r.peak_kib) + " KiB").c_str(),
               (std::to_string(r.peak_kib - base.peak_kib) + " KiB").c_str(), disk, (double)mib / disk);
    }
    return 0;
}
