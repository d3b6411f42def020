// Numbra growth: filling a column of n rows element by element must cost
// O(n) in total. The per-element time printed for n = 10^3 .. 10^6 stays
// flat when growth is amortised (it would grow linearly with n otherwise).
#include <benchmark/benchmark.h>

#include "tervala/Numbra.h"

namespace {

void Numbra_FillColumnElementByElement(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        Numbra column;
        for (int k = 1; k <= n; ++k)
            column(k) = k;
        benchmark::DoNotOptimize(column.Data());
    }
    state.SetItemsProcessed(state.iterations() * n);
    state.SetComplexityN(n);
}
BENCHMARK(Numbra_FillColumnElementByElement)->RangeMultiplier(10)->Range(1000, 1000000)->Complexity(benchmark::oN);

// A design matrix of n rows and 7 columns filled row by row, as the
// estimators build theirs.
void Numbra_FillDesignMatrixRowByRow(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        Numbra a;
        for (int i = 1; i <= n; ++i)
            for (int j = 1; j <= 7; ++j)
                a(i, j) = i + j;
        benchmark::DoNotOptimize(a.Data());
    }
    state.SetItemsProcessed(state.iterations() * n * 7);
    state.SetComplexityN(n);
}
BENCHMARK(Numbra_FillDesignMatrixRowByRow)->RangeMultiplier(10)->Range(1000, 1000000)->Complexity(benchmark::oN);

// Small matrices live inside the object: a 3 x 3 inverse allocates nothing.
void Numbra_Inverse3x3(benchmark::State& state)
{
    Numbra r;
    const double v[3][3] = {{0.9999999, 1e-5, -2e-5}, {-1e-5, 0.9999999, 3e-5}, {2e-5, -3e-5, 0.9999999}};
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j)
            r(i, j) = v[i - 1][j - 1];
    for (auto _ : state) {
        Numbra inv = Inv(r);
        benchmark::DoNotOptimize(inv.Data());
    }
}
BENCHMARK(Numbra_Inverse3x3);

} // namespace

BENCHMARK_MAIN();
