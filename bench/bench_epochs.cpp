// Per-point cost of the NTv2 grid shift and the time-dependent Helmert
// transformation against PROJ's hgridshift and helmert, on the same points
// in the same run.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "tervala/GridShift.hpp"
#include "tervala/Helmert15.hpp"

#ifdef TERVALA_HAVE_PROJ
#include <proj.h>
#endif

namespace {

constexpr std::size_t kCount = 1 << 14;
const char* const kBeta = "/usr/share/proj/BETA2007.gsb";

// Points spread over BeTA2007's extent (47 to 55.3 N, 5.5 to 15.6 E).
const std::vector<tervala::Geodetic>& germany()
{
    static const std::vector<tervala::Geodetic> p = [] {
        std::vector<tervala::Geodetic> v;
        for (std::size_t i = 0; i < kCount; ++i)
            v.push_back({47.0 + 8.3 * std::fmod(i * 0.6180339887, 1.0), 5.5 + 10.1 * std::fmod(i * 0.7548776662, 1.0),
                         100.0});
        return v;
    }();
    return p;
}

// Geocentric points near the Earth's surface with epochs from 1995 to 2030.
struct Timed {
    tervala::Geocentric x;
    double t;
};
const std::vector<Timed>& stations()
{
    static const std::vector<Timed> p = [] {
        std::vector<Timed> v;
        for (std::size_t i = 0; i < kCount; ++i) {
            const double lat = -1.5 + 3.0 * std::fmod(i * 0.6180339887, 1.0), lon = 6.28 * std::fmod(i * 0.7548776662, 1.0);
            v.push_back({{6371000.0 * std::cos(lat) * std::cos(lon), 6371000.0 * std::cos(lat) * std::sin(lon),
                          6371000.0 * std::sin(lat)},
                         1995.0 + 35.0 * std::fmod(i * 0.5698402910, 1.0)});
        }
        return v;
    }();
    return p;
}

bool haveBeta(benchmark::State& state)
{
    if (std::FILE* f = std::fopen(kBeta, "rb")) {
        std::fclose(f);
        return true;
    }
    state.SkipWithError("BETA2007.gsb is not installed (Debian proj-data)");
    return false;
}

template <bool Inverse>
void Tervala_GridShift(benchmark::State& state)
{
    if (!haveBeta(state))
        return;
    const tervala::GridShift grid(kBeta);
    std::size_t i = 0;
    for (auto _ : state) {
        const tervala::Geodetic& p = germany()[i++ & (kCount - 1)];
        benchmark::DoNotOptimize(Inverse ? grid.inverse(p) : grid.forward(p));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(Tervala_GridShift<false>)->Name("Tervala_GridShift");
BENCHMARK(Tervala_GridShift<true>)->Name("Tervala_GridShiftInverse");

// ITRF2014 -> ITRF2008 as Debian's proj-data has it.
const tervala::Helmert15& itrf()
{
    static const tervala::Helmert15 h({0.0016, 0.0019, 0.0024, -0.00002, 0, 0, 0}, {0, 0, -0.0001, 0.00003, 0, 0, 0},
                                      2010.0, tervala::Convention::PositionVector, tervala::Rotations::SmallAngle);
    return h;
}

template <bool Inverse>
void Tervala_Helmert15(benchmark::State& state)
{
    std::size_t i = 0;
    for (auto _ : state) {
        const Timed& p = stations()[i++ & (kCount - 1)];
        benchmark::DoNotOptimize(Inverse ? itrf().inverse(p.x, p.t) : itrf().forward(p.x, p.t));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(Tervala_Helmert15<false>)->Name("Tervala_Helmert15");
BENCHMARK(Tervala_Helmert15<true>)->Name("Tervala_Helmert15Inverse");

#ifdef TERVALA_HAVE_PROJ
// proj_trans point by point, as a PROJ user would call it.
template <bool Geodetic>
void runProj(benchmark::State& state, const char* definition, PJ_DIRECTION direction)
{
    PJ_CONTEXT* ctx = proj_context_create();
    PJ* pj = proj_create(ctx, definition);
    if (pj == nullptr) {
        state.SkipWithError("PROJ cannot create the operation");
        proj_context_destroy(ctx);
        return;
    }
    std::size_t i = 0;
    for (auto _ : state) {
        PJ_COORD c;
        if (Geodetic) {
            const tervala::Geodetic& p = germany()[i++ & (kCount - 1)];
            c = proj_coord(proj_torad(p.longitude), proj_torad(p.latitude), p.height, 0);
        } else {
            const Timed& p = stations()[i++ & (kCount - 1)];
            c = proj_coord(p.x.x, p.x.y, p.x.z, p.t);
        }
        benchmark::DoNotOptimize(proj_trans(pj, direction, c));
    }
    state.SetItemsProcessed(state.iterations());
    proj_destroy(pj);
    proj_context_destroy(ctx);
}

void PROJ_GridShift(benchmark::State& state)
{
    if (haveBeta(state))
        runProj<true>(state, "+proj=hgridshift +grids=/usr/share/proj/BETA2007.gsb", PJ_FWD);
}
BENCHMARK(PROJ_GridShift);
void PROJ_GridShiftInverse(benchmark::State& state)
{
    if (haveBeta(state))
        runProj<true>(state, "+proj=hgridshift +grids=/usr/share/proj/BETA2007.gsb", PJ_INV);
}
BENCHMARK(PROJ_GridShiftInverse);

const char* const kItrf = "+proj=helmert +x=0.0016 +y=0.0019 +z=0.0024 +s=-0.00002 +dz=-0.0001 +ds=0.00003 "
                          "+t_epoch=2010.0 +convention=position_vector";
void PROJ_Helmert15(benchmark::State& state) { runProj<false>(state, kItrf, PJ_FWD); }
BENCHMARK(PROJ_Helmert15);
void PROJ_Helmert15Inverse(benchmark::State& state) { runProj<false>(state, kItrf, PJ_INV); }
BENCHMARK(PROJ_Helmert15Inverse);
#endif

} // namespace

BENCHMARK_MAIN();
