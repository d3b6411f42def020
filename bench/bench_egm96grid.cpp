// Geoid grids from the EGM96 coefficients (tervala data egm96-grid): cost per
// node of the row synthesis against EGM96GeoidHeight called node by node, on
// the same nodes in the same run. Needs the real coefficient files.
#include <benchmark/benchmark.h>

#include <thread>

#include "core/Access.h"
#include "gridtools/SphericalHarmonicGrid.h"
#include "tervala/Tervala.h"

namespace {

using tervala::egm96::GridSpec;

CTervala* loaded()
{
    static CTervala* t = [] {
        auto* object = new CTervala;
        CTervala::SetDataFolder(TERVALA_TEST_EGM96_DIR);
        const int status = object->LoadEGMData(nullptr);
        CTervala::SetDataFolder(nullptr);
        return status == 1 ? object : nullptr;
    }();
    return t;
}

// A 1-degree global grid and a 0.05-degree regional one (6 x 8 degrees).
const GridSpec kGrids[] = {{90.0, 0.0, 1.0, 1.0, 181, 360}, {39.0, 124.0, 0.05, 0.05, 121, 161}};

void EGM96GeoidHeight_NodeByNode(benchmark::State& state)
{
    CTervala* t = loaded();
    if (t == nullptr) {
        state.SkipWithError("EGM96.dat / CORRCOEF.dat not found");
        return;
    }
    const GridSpec& g = kGrids[state.range(0)];
    long long i = 0;
    for (auto _ : state) {
        const long long row = (i / g.cols) % g.rows, col = i % g.cols;
        benchmark::DoNotOptimize(t->EGM96GeoidHeight(g.north - row * g.dlat, g.west + col * g.dlon));
        ++i;
    }
    state.counters["per_node"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(EGM96GeoidHeight_NodeByNode)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void RowSynthesis_WholeGrid(benchmark::State& state)
{
    CTervala* t = loaded();
    if (t == nullptr) {
        state.SkipWithError("EGM96.dat / CORRCOEF.dat not found");
        return;
    }
    const tervala::egm96::CoefficientView view(tervala::TervalaAccess::egmCoef(*t), tervala::TervalaAccess::corrCoefC(*t),
                                               tervala::TervalaAccess::corrCoefS(*t));
    const GridSpec& g = kGrids[state.range(0)];
    const int threads = state.range(1) > 0 ? static_cast<int>(state.range(1))
                                           : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    for (auto _ : state)
        benchmark::DoNotOptimize(tervala::egm96::synthesizeGrid(view, g, threads).data());
    const double nodes = static_cast<double>(g.rows) * g.cols;
    state.counters["per_node"] = benchmark::Counter(static_cast<double>(state.iterations()) * nodes,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(RowSynthesis_WholeGrid)
    ->Args({0, 1})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({1, 0})
    ->ArgNames({"grid", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

// threads = 0 in the arguments above stands for every core.
BENCHMARK_MAIN();
