// The four estimators at 10^2 to 10^6 points: the cost per point should stay
// flat (linear in n). The seven-parameter estimators also report their time
// per point per pass. No peer library offers these estimators; beside the
// members (fixed-size accumulation) run the weighted fits of the general
// estimation core on the same inputs (Weighted*: 1 cm on every coordinate,
// statistics included, no snooping), to 10^5 points, and the time-dependent
// fit (WeightedHelmert15) on the seven-parameter inputs. The inputs are
// realistic (centimetre noise), so the iterations run the passes real data
// need.
#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <random>
#include <vector>

#include "BenchSupport.h"
#include "estimation/Adjustment.h"
#include "estimation/LeastSquares.h"
#include "tervala/Tervala.h"

namespace {

struct Data {
    std::vector<double> source, target;
};

// Plane points over 100 km with a 2D Helmert shift plus 1 cm noise.
const Data& planeData(int points)
{
    static std::map<int, Data> cache;
    Data& d = cache[points];
    if (d.source.empty()) {
        std::mt19937_64 rng(points);
        std::uniform_real_distribution<double> u(-5e4, 5e4);
        std::normal_distribution<double> noise(0, 0.01);
        CTervala t;
        t.Set2DHelmert(350.0, -120.0, 20, 2000);
        for (int k = 0; k < points; ++k) {
            const double x = 400000 + u(rng), y = 200000 + u(rng);
            t.Helmert2D(400000, 200000, x, y);
            d.source.insert(d.source.end(), {x, y});
            d.target.insert(d.target.end(), {t.Get2DH(0) + noise(rng), t.Get2DH(1) + noise(rng)});
        }
    }
    return d;
}

// Geocentric points over 1000 km with a seven-parameter shift plus 1 cm noise.
const Data& geocentricData(int points)
{
    static std::map<int, Data> cache;
    Data& d = cache[points];
    if (d.source.empty()) {
        const auto geodetic = benchsupport::geodeticPoints(static_cast<std::size_t>(points), 33, 42, 122, 132, points);
        std::normal_distribution<double> noise(0, 0.01);
        std::mt19937_64 rng(points);
        CTervala t;
        t.Setup_Ellipsoid(benchsupport::kGrs80A, benchsupport::kGrs80InvF);
        t.SetParameters_Bursa_WolfModel(-446.448, 125.157, -542.060, 7.5, 12.5, -25.0, 30.0);
        for (const auto& p : geodetic) {
            double lat = p.lat, lon = p.lon, h = p.h;
            t.Geodetic_to_Geocentric(lat, lon, h);
            const double X = t.GetGeocentric(0), Y = t.GetGeocentric(1), Z = t.GetGeocentric(2);
            d.source.insert(d.source.end(), {X, Y, Z});
            t.Bursa_WolfModel(X, Y, Z);
            for (int i = 0; i < 3; ++i)
                d.target.push_back(t.GetGeocentric(i) + noise(rng));
        }
    }
    return d;
}

void finish(benchmark::State& state, int points)
{
    state.SetItemsProcessed(state.iterations() * points);
    state.SetComplexityN(points);
}

void Helmert2D(benchmark::State& state)
{
    const int points = static_cast<int>(state.range(0));
    Data d = planeData(points);
    CTervala t;
    for (auto _ : state) {
        t.Parameters_2DHelmert(2 * points, d.source.data(), d.target.data());
        benchmark::DoNotOptimize(t.GetSigma());
    }
    finish(state, points);
}
BENCHMARK(Helmert2D)->RangeMultiplier(10)->Range(100, 1000000)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);

void HeightPlane(benchmark::State& state)
{
    const int points = static_cast<int>(state.range(0));
    Data d = planeData(points);
    std::vector<double> hs(points), ht(points);
    for (int k = 0; k < points; ++k) {
        hs[k] = 100 + (k % 1000);
        ht[k] = hs[k] + 30 + 1e-5 * (d.source[2 * k] - 400000) - 2e-5 * (d.source[2 * k + 1] - 200000);
    }
    CTervala t;
    for (auto _ : state) {
        t.Parameters_HeightTrans(points, 200000, 400000, d.source.data(), hs.data(), ht.data());
        benchmark::DoNotOptimize(t.GetHeightMeanaccuracy());
    }
    finish(state, points);
}
BENCHMARK(HeightPlane)->RangeMultiplier(10)->Range(100, 1000000)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);

void sevenParameters(benchmark::State& state, bool molodenskyBadekas)
{
    const int points = static_cast<int>(state.range(0));
    Data d = geocentricData(points);
    const int n = 3 * points;
    // The passes this input needs, from the same iteration the member runs.
    const tervala::Vec3 origin =
        molodenskyBadekas ? tervala::sourceCentroid(n, d.source.data()) : tervala::Vec3{0, 0, 0};
    const int passes = tervala::fitSevenParameters(n, d.source.data(), d.target.data(), origin,
                                                   tervala::SevenParameterModel::BursaWolf)
                           .passes;
    CTervala t;
    for (auto _ : state) {
        const bool ok = molodenskyBadekas ? t.SevenParameters_Molodensky_BadekasModel(n, d.source.data(), d.target.data())
                                          : t.SevenParameters_Bursa_WolfModel(n, d.source.data(), d.target.data());
        benchmark::DoNotOptimize(ok);
    }
    finish(state, points);
    state.counters["passes"] = passes;
    state.counters["per_point_pass"] = benchmark::Counter(static_cast<double>(points) * passes,
                                                          benchmark::Counter::kIsIterationInvariantRate |
                                                              benchmark::Counter::kInvert);
}

void BursaWolf(benchmark::State& state) { sevenParameters(state, false); }
BENCHMARK(BursaWolf)->RangeMultiplier(10)->Range(100, 1000000)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);

void MolodenskyBadekas(benchmark::State& state) { sevenParameters(state, true); }
BENCHMARK(MolodenskyBadekas)
    ->RangeMultiplier(10)
    ->Range(100, 1000000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

// ---- The weighted fits of the general core on the same inputs ----------------

void WeightedHelmert2D(benchmark::State& state)
{
    const int points = static_cast<int>(state.range(0));
    const Data& d = planeData(points);
    const std::vector<double> sigma(2 * points, 0.01);
    for (auto _ : state) {
        const tervala::Adjustment a =
            tervala::adjustHelmert2D(points, d.source.data(), d.target.data(), sigma.data(), {});
        benchmark::DoNotOptimize(a.sigma0);
    }
    finish(state, points);
}
BENCHMARK(WeightedHelmert2D)->RangeMultiplier(10)->Range(100, 100000)->Unit(benchmark::kMillisecond);

void WeightedHeightPlane(benchmark::State& state)
{
    const int points = static_cast<int>(state.range(0));
    const Data& d = planeData(points);
    std::vector<double> hs(points), ht(points);
    for (int k = 0; k < points; ++k) {
        hs[k] = 100 + (k % 1000);
        ht[k] = hs[k] + 30 + 1e-5 * (d.source[2 * k] - 400000) - 2e-5 * (d.source[2 * k + 1] - 200000);
    }
    const std::vector<double> sigma(points, 0.01);
    for (auto _ : state) {
        const tervala::Adjustment a =
            tervala::adjustHeightPlane(points, 400000, 200000, d.source.data(), hs.data(), ht.data(), sigma.data(), {});
        benchmark::DoNotOptimize(a.sigma0);
    }
    finish(state, points);
}
BENCHMARK(WeightedHeightPlane)->RangeMultiplier(10)->Range(100, 100000)->Unit(benchmark::kMillisecond);

void weightedSevenParameters(benchmark::State& state, bool molodenskyBadekas)
{
    const int points = static_cast<int>(state.range(0));
    const Data& d = geocentricData(points);
    const std::vector<double> sigma(3 * points, 0.01);
    int passes = 1;
    for (auto _ : state) {
        const tervala::Adjustment a = tervala::adjustSevenParameters(points, d.source.data(), d.target.data(), nullptr,
                                                                     sigma.data(), molodenskyBadekas, {});
        passes = a.passes;
        benchmark::DoNotOptimize(a.sigma0);
    }
    finish(state, points);
    state.counters["passes"] = passes;
    state.counters["per_point_pass"] = benchmark::Counter(static_cast<double>(points) * passes,
                                                          benchmark::Counter::kIsIterationInvariantRate |
                                                              benchmark::Counter::kInvert);
}

void WeightedBursaWolf(benchmark::State& state) { weightedSevenParameters(state, false); }
BENCHMARK(WeightedBursaWolf)->RangeMultiplier(10)->Range(100, 100000)->Unit(benchmark::kMillisecond);

void WeightedMolodenskyBadekas(benchmark::State& state) { weightedSevenParameters(state, true); }
BENCHMARK(WeightedMolodenskyBadekas)->RangeMultiplier(10)->Range(100, 100000)->Unit(benchmark::kMillisecond);

// The time-dependent fit (fourteen unknowns) on the same points as
// WeightedBursaWolf, each given one of the epochs 2005 to 2025 in turn: its
// cost per point beside the seven-parameter fit's.
void WeightedHelmert15(benchmark::State& state)
{
    const int points = static_cast<int>(state.range(0));
    const Data& d = geocentricData(points);
    const std::vector<double> sigma(3 * points, 0.01);
    std::vector<double> epochs(static_cast<std::size_t>(points));
    for (int k = 0; k < points; ++k)
        epochs[static_cast<std::size_t>(k)] = 2005.0 + k % 21;
    int passes = 1;
    for (auto _ : state) {
        const tervala::Adjustment a = tervala::adjustFourteenParameters(
            points, d.source.data(), d.target.data(), epochs.data(), 2015.0, nullptr, sigma.data(), {});
        passes = a.passes;
        benchmark::DoNotOptimize(a.sigma0);
    }
    finish(state, points);
    state.counters["passes"] = passes;
    state.counters["per_point_pass"] = benchmark::Counter(static_cast<double>(points) * passes,
                                                          benchmark::Counter::kIsIterationInvariantRate |
                                                              benchmark::Counter::kInvert);
}
BENCHMARK(WeightedHelmert15)->RangeMultiplier(10)->Range(100, 100000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
