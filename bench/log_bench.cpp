// Cost of the logging calls on the caller's thread, and how many lines reach
// the log files under load. Run with standard error sent somewhere cheap:
//   build/release/bin/log_bench 2>/dev/null
#include "vesk_debug.h"
#include "vesk_log.h"

#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace {

void start_once()
{
    static int started = 0;
    if (started) return;
    started = 1;
    static char root[] = "/tmp/vesk_log_bench.XXXXXX";
    if (mkdtemp(root) == NULL) abort();
    vesk_log_config cfg{};
    snprintf(cfg.vesk_media_root, sizeof(cfg.vesk_media_root), "%s", root);
    snprintf(cfg.vesk_socket_path, sizeof(cfg.vesk_socket_path), "%s/log.sock", root);
    cfg.vesk_require_vfat = 0;
    if (vesk_log_start(VESK_LOG_APP, &cfg) != 0) abort();
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

}  // namespace

BENCHMARK_MAIN();
