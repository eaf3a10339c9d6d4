// Costs on a caller's thread (a setter, a profile stage: no file I/O, so
// they must stay in the microseconds) and the worker's durable writes.
#include <benchmark/benchmark.h>

#include "iniparser_handler.h"
#include "persist_fixture.h"
#include "vesk_device_db.h"
#include "vesk_io.h"
#include "vesk_persist.h"

namespace {

struct Unit {
    PersistDir dir;
    vesk_persist_profiles profiles = {};
    Unit()
    {
        dir.create();
        vesk_persist_paths p = dir.paths();
        vesk_persist_hooks hooks = {};
        vesk_persist_start(&p, &hooks, &qel_dev_status, &profiles);
    }
    ~Unit()
    {
        vesk_persist_stop(2000);
        dir.remove();
    }
};

void BM_SetterChange(benchmark::State &state)
{
    Unit unit;
    int v = 0;
    for (auto _ : state) Qel_DevStatusSet("s8language", v++ & 7, 0);
}
BENCHMARK(BM_SetterChange);

void BM_SetterSameText(benchmark::State &state)
{
    Unit unit;
    for (auto _ : state) Qel_DevStatusSet("s8language", 1, 0);
}
BENCHMARK(BM_SetterSameText);

void BM_StageProfiles(benchmark::State &state)
{
    Unit unit;
    for (auto _ : state) {
        vesk_persist_edit_begin();
        vesk_profiles_lock();
        vesk_persist_stage_profiles(&unit.profiles);
        vesk_profiles_unlock();
        vesk_persist_edit_end();
    }
}
BENCHMARK(BM_StageProfiles);

void BM_AtomicReplace1KiB(benchmark::State &state)
{
    Unit unit;
    std::string text(1024, 'x');
    std::string path = unit.dir.root + "/bench.ini";
    for (auto _ : state) vesk_io_atomic_replace("bench", path.c_str(), text.data(), text.size(), 0644);
}
BENCHMARK(BM_AtomicReplace1KiB)->Unit(benchmark::kMillisecond);

void BM_ProfileCommit(benchmark::State &state)
{
    Unit unit;
    vesk_persist_stop(2000); /* the handle stays with the benchmark alone */
    vesk_device_db_open(unit.dir.profiles_db.c_str(), &qel_dev_status, &unit.profiles);
    for (auto _ : state) vesk_device_db_commit(&unit.profiles);
    vesk_device_db_close();
}
BENCHMARK(BM_ProfileCommit)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
