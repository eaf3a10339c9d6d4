// Cost of the logging calls on the caller's thread, and how many lines reach
// the log files under load. Run with standard error sent somewhere cheap:
//   build/release/bin/log_bench 2>/dev/null
#include "vesk_debug.h"
#include "vesk_log.h"

#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

char bench_root[] = "/tmp/vesk_log_bench.XXXXXX";

void remove_root()
{
    std::string cmd = std::string("rm -rf '") + bench_root + "'";
    if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", bench_root);
}

void start_once()
{
    static int started = 0;
    if (started) return;
    started = 1;
    if (mkdtemp(bench_root) == NULL) abort();
    atexit(remove_root);
    vesk_log_config cfg{};
    snprintf(cfg.vesk_media_root, sizeof(cfg.vesk_media_root), "%s", bench_root);
    snprintf(cfg.vesk_socket_path, sizeof(cfg.vesk_socket_path), "%s/log.sock", bench_root);
    cfg.vesk_require_vfat = 0;
    /* The logger points descriptor 1 at /dev/null; the report goes to the real one. */
    int report_fd = dup(STDOUT_FILENO);
    if (vesk_log_start(VESK_LOG_APP, &cfg) != 0) abort();
    dup2(report_fd, STDOUT_FILENO);
    close(report_fd);
}

uint64_t mono_ns()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000000000u + (uint64_t)ts.tv_nsec;
}

void BM_DetailSuppressed(benchmark::State &state)
{
    start_once();
    vesk_debug_set(0);
    int i = 0;
    for (auto _ : state) {
        vesk_log_printf(VESK_LOG_DETAIL, "bench.detail", "value %d", i++);
    }
}
BENCHMARK(BM_DetailSuppressed);
BENCHMARK(BM_DetailSuppressed)->Threads(8);

void BM_ErrorRecorded(benchmark::State &state)
{
    start_once();
    int i = 0;
    for (auto _ : state) {
        vesk_log_printf(VESK_LOG_ERROR, "bench.error", "send failed rc=%d errno=%d item=%d", -1, 11, i++);
    }
}
BENCHMARK(BM_ErrorRecorded)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ErrorRecorded)->Threads(8)->Repetitions(5)->ReportAggregatesOnly(true);

int flush_files()
{
    uint64_t ticket = 0;
    uint64_t deadline = mono_ns() / 1000000u + 5000;
    if (vesk_log_request(VESK_LOG_FLUSH, deadline, &ticket) != 0) return -1;
    int rc;
    while ((rc = vesk_log_poll(ticket)) == 0) usleep(1000);
    return rc;
}

/* Producers log DETAIL lines for one second, flat out (rate 0) or paced to
 * a total rate; counts what reached the files and what was dropped. */
void BM_LinesToFiles(benchmark::State &state)
{
    start_once();
    vesk_debug_set(1);
    const int threads = (int)state.range(0);
    const uint64_t rate = (uint64_t)state.range(1);
    const uint64_t run_ns = 1000000000u;
    for (auto _ : state) {
        flush_files();
        vesk_log_stats before;
        vesk_log_get_stats(&before);
        std::atomic<uint64_t> produced{0};
        std::vector<std::thread> pool;
        uint64_t start = mono_ns();
        for (int t = 0; t < threads; t++) {
            pool.emplace_back([&, t] {
                uint64_t n = 0;
                uint64_t gap_ns = rate ? 1000000000u * (uint64_t)threads / rate : 0;
                /* Producers spread over the interval, as independent threads would be. */
                uint64_t next = start + gap_ns * (uint64_t)t / (uint64_t)threads;
                if (rate) prctl(PR_SET_TIMERSLACK, 1000UL, 0, 0, 0);
                for (;;) {
                    uint64_t now = mono_ns();
                    if (now - start >= run_ns) break;
                    if (gap_ns && now < next) {
                        /* Sleep as a real producer would between its lines. */
                        struct timespec until = {(time_t)(next / 1000000000u), (long)(next % 1000000000u)};
                        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, NULL);
                        continue;
                    }
                    next += gap_ns;
                    vesk_log_printf(VESK_LOG_DETAIL, "bench.load", "producer=%d line=%llu state=ok value=%d", t,
                                    (unsigned long long)n, (int)(n * 7 % 1000));
                    n++;
                }
                produced += n;
            });
        }
        for (auto &th : pool) th.join();
        flush_files();
        vesk_log_stats after;
        vesk_log_get_stats(&after);
        uint64_t lost = (after.vesk_input_drops[0] - before.vesk_input_drops[0]) +
                        (after.vesk_sink_drops[0] - before.vesk_sink_drops[0]) +
                        (after.vesk_suppressed_records - before.vesk_suppressed_records);
        uint64_t total = produced.load();
        uint64_t written = total > lost ? total - lost : 0;
        state.counters["offered_per_s"] = (double)total;
        state.counters["written_per_s"] = (double)written;
        state.counters["dropped_pct"] = total ? 100.0 * (double)lost / (double)total : 0.0;
    }
}
BENCHMARK(BM_LinesToFiles)
    ->ArgNames({"threads", "rate"})
    ->Args({1, 0})
    ->Args({4, 0})
    ->Args({8, 0})
    ->Args({4, 100000})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
