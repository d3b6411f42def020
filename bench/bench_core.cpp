// Geodetic <-> geocentric per point: Tervala against GeographicLib's
// Geocentric and PROJ's cart, on the same points in the same run.
#include <benchmark/benchmark.h>

#include <cmath>

#include "BenchSupport.h"
#include "tervala/Tervala.h"

#ifdef TERVALA_HAVE_GEOGRAPHICLIB
#include <GeographicLib/Geocentric.hpp>
#endif
#ifdef TERVALA_HAVE_PROJ
#include <proj.h>
#endif

namespace {

using benchsupport::kGrs80A;
using benchsupport::kGrs80InvF;

const std::vector<benchsupport::GeodeticPoint>& points()
{
    static const auto p = benchsupport::geodeticPoints(1 << 16);
    return p;
}

const std::vector<benchsupport::GeocentricPoint>& geocentricPoints()
{
    static const auto xyz = benchsupport::geocentricPoints(points());
    return xyz;
}

void Tervala_GeodeticToGeocentric(benchmark::State& state)
{
    CTervala t;
    t.Setup_Ellipsoid(kGrs80A, kGrs80InvF);
    const auto& pts = points();
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& p = pts[i++ & (pts.size() - 1)];
        double lat = p.lat, lon = p.lon, h = p.h;
        t.Geodetic_to_Geocentric(lat, lon, h);
        benchmark::DoNotOptimize(t.GetGeocentric(0));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(Tervala_GeodeticToGeocentric);

void Tervala_GeocentricToGeodetic(benchmark::State& state)
{
    CTervala t;
    t.Setup_Ellipsoid(kGrs80A, kGrs80InvF);
    const auto& pts = geocentricPoints();
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& p = pts[i++ & (pts.size() - 1)];
        double X = p.x, Y = p.y, Z = p.z;
        t.Geocentric_to_Geodetic(X, Y, Z);
        benchmark::DoNotOptimize(t.GetGeodetic(0));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(Tervala_GeocentricToGeodetic);

#ifdef TERVALA_HAVE_GEOGRAPHICLIB
void GeographicLib_GeocentricForward(benchmark::State& state)
{
    const GeographicLib::Geocentric g(kGrs80A, 1 / kGrs80InvF);
    const auto& pts = points();
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& p = pts[i++ & (pts.size() - 1)];
        double X, Y, Z;
        g.Forward(p.lat, p.lon, p.h, X, Y, Z);
        benchmark::DoNotOptimize(X);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(GeographicLib_GeocentricForward);

void GeographicLib_GeocentricReverse(benchmark::State& state)
{
    const GeographicLib::Geocentric g(kGrs80A, 1 / kGrs80InvF);
    const auto& pts = geocentricPoints();
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& p = pts[i++ & (pts.size() - 1)];
        double lat, lon, h;
        g.Reverse(p.x, p.y, p.z, lat, lon, h);
        benchmark::DoNotOptimize(lat);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(GeographicLib_GeocentricReverse);
#endif

#ifdef TERVALA_HAVE_PROJ
struct ProjCart {
    PJ_CONTEXT* ctx = proj_context_create();
    PJ* pj = proj_create(ctx, "+proj=cart +a=6378137 +rf=298.257222101");
    ~ProjCart()
    {
        proj_destroy(pj);
        proj_context_destroy(ctx);
    }
};

void PROJ_CartForward(benchmark::State& state)
{
    ProjCart proj;
    const auto& pts = points();
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& p = pts[i++ & (pts.size() - 1)];
        PJ_COORD c = proj_coord(proj_torad(p.lon), proj_torad(p.lat), p.h, 0);
        c = proj_trans(proj.pj, PJ_FWD, c);
        benchmark::DoNotOptimize(c.xyz.x);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(PROJ_CartForward);

void PROJ_CartInverse(benchmark::State& state)
{
    ProjCart proj;
    const auto& pts = geocentricPoints();
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& p = pts[i++ & (pts.size() - 1)];
        PJ_COORD c = proj_coord(p.x, p.y, p.z, 0);
        c = proj_trans(proj.pj, PJ_INV, c);
        benchmark::DoNotOptimize(c.lpz.phi);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(PROJ_CartInverse);
#endif

} // namespace

BENCHMARK_MAIN();
