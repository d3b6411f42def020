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

using benchsupport::GeocentricPoint;
using benchsupport::GeodeticPoint;

// A datum shift of the size met in practice: hundreds of metres, some ppm,
// rotations of a few tenths of an arc-second (coordinate frame convention).
constexpr double kTx = -446.448, kTy = 125.157, kTz = -542.060;
constexpr double kS = 20.4894;
constexpr double kRx = 0.1502, kRy = 0.2470, kRz = 0.8421;
constexpr double kX0 = 3790000.0, kY0 = -130000.0, kZ0 = 5120000.0;  // rotation origin
// Abridged Molodensky: WGS 84 to International 1924 with a shift of the origin.
constexpr double kDx = 87.0, kDy = 98.0, kDz = 121.0, kDa = 251.0, kDf = 1.4192702e-5;

constexpr std::size_t kCount = 1 << 16;

const std::vector<GeodeticPoint>& points()
{
    static const auto p = benchsupport::geodeticPoints(kCount);
    return p;
}

const std::vector<GeocentricPoint>& geocentricPoints()
{
    static const auto xyz = benchsupport::geocentricPoints(points());
    return xyz;
}

// One call per iteration on the next point of the set.
template <typename Point, typename Call>
void perPoint(benchmark::State& state, const std::vector<Point>& pts, Call call)
{
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(call(pts[i & (kCount - 1)], i));
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}

void Tervala_BursaWolf(benchmark::State& state)
{
    CTervala t;
    t.SetParameters_Bursa_WolfModel(kTx, kTy, kTz, kS, kRx, kRy, kRz);
    perPoint(state, geocentricPoints(), [&t](const GeocentricPoint& p, std::size_t) {
        t.Bursa_WolfModel(p.x, p.y, p.z);
        return t.GetGeocentric(0);
    });
}
BENCHMARK(Tervala_BursaWolf);

void Tervala_InvBursaWolf(benchmark::State& state)
{
    CTervala t;
    t.SetParameters_Bursa_WolfModel(kTx, kTy, kTz, kS, kRx, kRy, kRz);
    perPoint(state, geocentricPoints(), [&t](const GeocentricPoint& p, std::size_t) {
        double X = p.x, Y = p.y, Z = p.z;
        t.Inv_Bursa_WolfModel(X, Y, Z);
        return t.GetGeocentric(0);
    });
}
BENCHMARK(Tervala_InvBursaWolf);

// The worst case for the per-thread rotation cache: the rotations change on
// every call, so every call builds R from its sines and cosines and (for the
// inverse) inverts it with Numbra.
void Tervala_BursaWolf_NewParametersEveryCall(benchmark::State& state)
{
    CTervala t;
    perPoint(state, geocentricPoints(), [&t](const GeocentricPoint& p, std::size_t i) {
        t.SetParameters_Bursa_WolfModel(kTx, kTy, kTz, kS, kRx, kRy, (i & 1) ? kRz : -kRz);
        t.Bursa_WolfModel(p.x, p.y, p.z);
        return t.GetGeocentric(0);
    });
}
BENCHMARK(Tervala_BursaWolf_NewParametersEveryCall);

void Tervala_InvBursaWolf_NewParametersEveryCall(benchmark::State& state)
{
    CTervala t;
    perPoint(state, geocentricPoints(), [&t](const GeocentricPoint& p, std::size_t i) {
        t.SetParameters_Bursa_WolfModel(kTx, kTy, kTz, kS, kRx, kRy, (i & 1) ? kRz : -kRz);
        double X = p.x, Y = p.y, Z = p.z;
        t.Inv_Bursa_WolfModel(X, Y, Z);
        return t.GetGeocentric(0);
    });
}
BENCHMARK(Tervala_InvBursaWolf_NewParametersEveryCall);

void Tervala_MolodenskyBadekas(benchmark::State& state)
{
    CTervala t;
    t.SetParameters_Molodensky_BadekasModel(kX0, kY0, kZ0, kTx, kTy, kTz, kS, kRx, kRy, kRz);
    perPoint(state, geocentricPoints(), [&t](const GeocentricPoint& p, std::size_t) {
        t.Molodensky_BadekasModel(p.x, p.y, p.z);
        return t.GetGeocentric(0);
    });
}
BENCHMARK(Tervala_MolodenskyBadekas);

void Tervala_AbridgedMolodensky(benchmark::State& state)
{
    CTervala t;
    t.Setup_Ellipsoid(6378137.0, 298.257223563);
    perPoint(state, points(), [&t](const GeodeticPoint& p, std::size_t) {
        t.Abridged_Molodensky_Transform(p.lat, p.lon, kDx, kDy, kDz, kDa, kDf);
        return t.GetdLLH(0);
    });
}
BENCHMARK(Tervala_AbridgedMolodensky);

#ifdef TERVALA_HAVE_PROJ
// Runs one PROJ operation per iteration on the same points, through
// proj_trans as a PROJ user would call it.
void runProj(benchmark::State& state, const char* definition, PJ_DIRECTION direction, bool geodetic)
{
    PJ_CONTEXT* ctx = proj_context_create();
    PJ* pj = proj_create(ctx, definition);
    if (pj == nullptr) {
        state.SkipWithError("PROJ rejected the operation");
    } else if (geodetic) {
        perPoint(state, points(), [pj, direction](const GeodeticPoint& p, std::size_t) {
            return proj_trans(pj, direction, proj_coord(proj_torad(p.lon), proj_torad(p.lat), 0, 0)).lpz.phi;
        });
    } else {
        perPoint(state, geocentricPoints(), [pj, direction](const GeocentricPoint& p, std::size_t) {
            return proj_trans(pj, direction, proj_coord(p.x, p.y, p.z, 0)).xyz.x;
        });
    }
    proj_destroy(pj);
    proj_context_destroy(ctx);
}

const char* const kHelmert = "+proj=helmert +convention=coordinate_frame +exact +x=-446.448 +y=125.157 "
                             "+z=-542.060 +s=20.4894 +rx=0.1502 +ry=0.2470 +rz=0.8421";

void PROJ_HelmertExact(benchmark::State& state) { runProj(state, kHelmert, PJ_FWD, false); }
BENCHMARK(PROJ_HelmertExact);

void PROJ_HelmertExactInverse(benchmark::State& state) { runProj(state, kHelmert, PJ_INV, false); }
BENCHMARK(PROJ_HelmertExactInverse);

void PROJ_MoloBadekas(benchmark::State& state)
{
    runProj(state,
            "+proj=molobadekas +convention=coordinate_frame +x=-446.448 +y=125.157 +z=-542.060 +s=20.4894 "
            "+rx=0.1502 +ry=0.2470 +rz=0.8421 +px=3790000 +py=-130000 +pz=5120000",
            PJ_FWD, false);
}
BENCHMARK(PROJ_MoloBadekas);

void PROJ_MolodenskyAbridged(benchmark::State& state)
{
    runProj(state,
            "+proj=molodensky +a=6378137 +rf=298.257223563 +dx=87 +dy=98 +dz=121 +da=251 +df=1.4192702e-5 "
            "+abridged",
            PJ_FWD, true);
}
BENCHMARK(PROJ_MolodenskyAbridged);
#endif

} // namespace

BENCHMARK_MAIN();
