// Datum transformations per point: Tervala's Bursa-Wolf (forward and
// inverse), Molodensky-Badekas and abridged Molodensky against PROJ's
// helmert, molobadekas and molodensky operations, on the same points in the
// same run.
#include <benchmark/benchmark.h>

#include <vector>

#include "BenchSupport.h"
#include "tervala/Tervala.h"

#ifdef TERVALA_HAVE_PROJ
#include <proj.h>
#endif

namespace {

using benchsupport::kGrs80A;
using benchsupport::kGrs80InvF;

// A datum shift of the size met in practice: hundreds of metres, some ppm,
// rotations of a few arc-seconds (coordinate frame convention).
constexpr double kTx = -446.448, kTy = 125.157, kTz = -542.060;
constexpr double kS = 20.4894;
constexpr double kRx = 0.1502, kRy = 0.2470, kRz = 0.8421;
constexpr double kX0 = 3790000.0, kY0 = -130000.0, kZ0 = 5120000.0;  // rotation origin

// Abridged Molodensky: WGS 84 towards International 1924 (da, df of the
// ellipsoids) with a shift of the origin.
constexpr double kDx = 87.0, kDy = 98.0, kDz = 121.0;
constexpr double kDa = 251.0, kDf = 1.4192702e-5;

constexpr std::size_t kCount = 1 << 16;

const std::vector<benchsupport::GeodeticPoint>& points()
{
    static const auto p = benchsupport::geodeticPoints(kCount);
    return p;
}

struct Xyz {
    double x, y, z;
};

const std::vector<Xyz>& geocentricPoints()
{
    static const std::vector<Xyz> xyz = [] {
        CTervala t;
        t.Setup_Ellipsoid(kGrs80A, kGrs80InvF);
        std::vector<Xyz> out;
        for (const auto& p : points()) {
            double lat = p.lat, lon = p.lon, h = p.h;
            t.Geodetic_to_Geocentric(lat, lon, h);
            out.push_back(Xyz{t.GetGeocentric(0), t.GetGeocentric(1), t.GetGeocentric(2)});
        }
        return out;
    }();
    return xyz;
}

CTervala bursaWolfObject()
{
    CTervala t;
    t.SetParameters_Bursa_WolfModel(kTx, kTy, kTz, kS, kRx, kRy, kRz);
    return t;
}

void Tervala_BursaWolf(benchmark::State& state)
{
    CTervala t = bursaWolfObject();
    const auto& pts = geocentricPoints();
    std::size_t i = 0;
    for (auto _ : state) {
        const Xyz& p = pts[i++ & (kCount - 1)];
        t.Bursa_WolfModel(p.x, p.y, p.z);
        benchmark::DoNotOptimize(t.GetGeocentric(0));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(Tervala_BursaWolf);

void Tervala_InvBursaWolf(benchmark::State& state)
{
    CTervala t = bursaWolfObject();
    const auto& pts = geocentricPoints();
    std::size_t i = 0;
    for (auto _ : state) {
        const Xyz& p = pts[i++ & (kCount - 1)];
        double X = p.x, Y = p.y, Z = p.z;
        t.Inv_Bursa_WolfModel(X, Y, Z);
        benchmark::DoNotOptimize(t.GetGeocentric(0));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(Tervala_InvBursaWolf);

// The worst case for the per-thread rotation cache: the parameters change on
// every call, so every call builds R from its sines and cosines and (for the
// inverse) inverts it with Numbra.
void Tervala_InvBursaWolf_NewParametersEveryCall(benchmark::State& state)
{
    CTervala t;
    const auto& pts = geocentricPoints();
    std::size_t i = 0;
    for (auto _ : state) {
        const Xyz& p = pts[i & (kCount - 1)];
        t.SetParameters_Bursa_WolfModel(kTx, kTy, kTz, kS, kRx, kRy, (i & 1) ? kRz : -kRz);
        ++i;
        double X = p.x, Y = p.y, Z = p.z;
        t.Inv_Bursa_WolfModel(X, Y, Z);
        benchmark::DoNotOptimize(t.GetGeocentric(0));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(Tervala_InvBursaWolf_NewParametersEveryCall);

void Tervala_BursaWolf_NewParametersEveryCall(benchmark::State& state)
{
    CTervala t;
    const auto& pts = geocentricPoints();
    std::size_t i = 0;
    for (auto _ : state) {
        const Xyz& p = pts[i & (kCount - 1)];
        t.SetParameters_Bursa_WolfModel(kTx, kTy, kTz, kS, kRx, kRy, (i & 1) ? kRz : -kRz);
        ++i;
        t.Bursa_WolfModel(p.x, p.y, p.z);
        benchmark::DoNotOptimize(t.GetGeocentric(0));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(Tervala_BursaWolf_NewParametersEveryCall);

void Tervala_MolodenskyBadekas(benchmark::State& state)
{
    CTervala t;
    t.SetParameters_Molodensky_BadekasModel(kX0, kY0, kZ0, kTx, kTy, kTz, kS, kRx, kRy, kRz);
    const auto& pts = geocentricPoints();
    std::size_t i = 0;
    for (auto _ : state) {
        const Xyz& p = pts[i++ & (kCount - 1)];
        t.Molodensky_BadekasModel(p.x, p.y, p.z);
        benchmark::DoNotOptimize(t.GetGeocentric(0));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(Tervala_MolodenskyBadekas);

void Tervala_AbridgedMolodensky(benchmark::State& state)
{
    CTervala t;
    t.Setup_Ellipsoid(6378137.0, 298.257223563);
    const auto& pts = points();
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& p = pts[i++ & (kCount - 1)];
        t.Abridged_Molodensky_Transform(p.lat, p.lon, kDx, kDy, kDz, kDa, kDf);
        benchmark::DoNotOptimize(t.GetdLLH(0));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(Tervala_AbridgedMolodensky);

#ifdef TERVALA_HAVE_PROJ
struct ProjOperation {
    PJ_CONTEXT* ctx = proj_context_create();
    PJ* pj;
    explicit ProjOperation(const char* definition) : pj(proj_create(ctx, definition)) {}
    ~ProjOperation()
    {
        proj_destroy(pj);
        proj_context_destroy(ctx);
    }
};

const char* const kHelmert = "+proj=helmert +convention=coordinate_frame +exact +x=-446.448 +y=125.157 "
                             "+z=-542.060 +s=20.4894 +rx=0.1502 +ry=0.2470 +rz=0.8421";

void runGeocentric(benchmark::State& state, const char* definition, PJ_DIRECTION direction)
{
    ProjOperation proj(definition);
    if (proj.pj == nullptr) {
        state.SkipWithError("PROJ rejected the operation");
        return;
    }
    const auto& pts = geocentricPoints();
    std::size_t i = 0;
    for (auto _ : state) {
        const Xyz& p = pts[i++ & (kCount - 1)];
        PJ_COORD c = proj_coord(p.x, p.y, p.z, 0);
        c = proj_trans(proj.pj, direction, c);
        benchmark::DoNotOptimize(c.xyz.x);
    }
    state.SetItemsProcessed(state.iterations());
}

void PROJ_HelmertExact(benchmark::State& state) { runGeocentric(state, kHelmert, PJ_FWD); }
BENCHMARK(PROJ_HelmertExact);

void PROJ_HelmertExactInverse(benchmark::State& state) { runGeocentric(state, kHelmert, PJ_INV); }
BENCHMARK(PROJ_HelmertExactInverse);

void PROJ_MoloBadekas(benchmark::State& state)
{
    runGeocentric(state,
                  "+proj=molobadekas +convention=coordinate_frame +x=-446.448 +y=125.157 +z=-542.060 "
                  "+s=20.4894 +rx=0.1502 +ry=0.2470 +rz=0.8421 +px=3790000 +py=-130000 +pz=5120000",
                  PJ_FWD);
}
BENCHMARK(PROJ_MoloBadekas);

void PROJ_MolodenskyAbridged(benchmark::State& state)
{
    ProjOperation proj("+proj=molodensky +a=6378137 +rf=298.257223563 +dx=87 +dy=98 +dz=121 +da=251 "
                       "+df=1.4192702e-5 +abridged");
    if (proj.pj == nullptr) {
        state.SkipWithError("PROJ rejected the operation");
        return;
    }
    const auto& pts = points();
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& p = pts[i++ & (kCount - 1)];
        PJ_COORD c = proj_coord(proj_torad(p.lon), proj_torad(p.lat), 0, 0);
        c = proj_trans(proj.pj, PJ_FWD, c);
        benchmark::DoNotOptimize(c.lpz.phi);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(PROJ_MolodenskyAbridged);
#endif

} // namespace

BENCHMARK_MAIN();
