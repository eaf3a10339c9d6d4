// Cost of one ballistic solution on the device's thread: a 1000 m shot with
// the zero solved afresh, the same shot with the zero angle reused, and a
// 1500 m shot whose bullet goes subsonic, where the steps are shortest.
#include <benchmark/benchmark.h>

#include "CustBallisticCalculator.h"

namespace {

struct Records {
    CustAmmunition ammo = {11.34, 792.48, 7.82, 31.2, 0.243, G7};
    CustSight sight = {38.1, 0.25, 0.25, 60.0, 12.0};
    CustRifling rifling = {254.0, 1.0};
    CustAtmosphere air = {0.0, 98.0, 8.0, 0.6};
    CustAtmosphere zero_air = {0.0, 101.325, 15.0, 0.5};
    CustZeroing zero = {100.0, &ammo, &zero_air};
    CustShotParameters shot = {1000.0, 5.0, 300.0, 3000.0};
    CustWind wind = {4.0, 60.0};
    CustBallisticCalculationOption option = {true, true, 48.0, 120.0};
    CustBallisticCalculationResult result;

    int run()
    {
        return SingleCustBallisticCalculation(&result, &ammo, &sight, &rifling, &zero, &air, &shot, &wind, true, 1.0,
                                              &option);
    }
};

void BM_Shot1000mZeroSolved(benchmark::State &state)
{
    Records r;
    int i = 0;
    for (auto _ : state) {
        // A zeroing weather that changes each call defeats the reuse.
        r.zero_air.Temperature = 15.0 + 0.001 * (i++ & 1);
        benchmark::DoNotOptimize(r.run());
        benchmark::DoNotOptimize(r.result);
    }
}
BENCHMARK(BM_Shot1000mZeroSolved)->Unit(benchmark::kMicrosecond);

void BM_Shot1000mZeroReused(benchmark::State &state)
{
    Records r;
    for (auto _ : state) {
        benchmark::DoNotOptimize(r.run());
        benchmark::DoNotOptimize(r.result);
    }
}
BENCHMARK(BM_Shot1000mZeroReused)->Unit(benchmark::kMicrosecond);

void BM_Shot1500mSubsonicZeroReused(benchmark::State &state)
{
    Records r;
    r.shot.ShootDistance = 1500.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(r.run());
        benchmark::DoNotOptimize(r.result);
    }
}
BENCHMARK(BM_Shot1500mSubsonicZeroReused)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
