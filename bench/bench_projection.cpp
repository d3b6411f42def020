// Transverse Mercator and UTM, forward and inverse, per point: Tervala (the
// members, and the value types with Krueger's series and with the legacy
// series) against GeographicLib's TransverseMercator (Forward/Reverse) and
// PROJ's tmerc/utm (proj_trans per point, proj_trans_generic over the
// array). Every benchmark runs over the same 10^5 points per iteration; the
// counter "per_point" is the time per point.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <vector>

#include "BenchSupport.h"
#include "tervala/Tervala.h"
#include "tervala/tervala.hpp"

#ifdef TERVALA_HAVE_GEOGRAPHICLIB
#include <GeographicLib/TransverseMercator.hpp>
#endif
#ifdef TERVALA_HAVE_PROJ
#include <proj.h>
#endif

namespace {

using benchsupport::kGrs80A;
using benchsupport::kGrs80InvF;

constexpr std::size_t kPoints = 100000;

// The TM grid: latitude of origin 38, central meridian 127, false northing
// 600 km, false easting 200 km, scale 1. UTM: zone 52 north (129 E).
constexpr double kLat0 = 38, kLon0 = 127, kFalseNorthing = 600000, kFalseEasting = 200000, kScale = 1;
constexpr double kUtmLon0 = 129;

// One benchmark case: the points (within 3 deg of the central meridian,
// latitudes -80..80) and their grid coordinates from our forward.
struct Case {
    std::vector<benchsupport::GeodeticPoint> geodetic;
    std::vector<double> northing, easting;
};

Case makeCase(bool utm)
{
    Case c;
    const double lon0 = utm ? kUtmLon0 : kLon0;
    c.geodetic = benchsupport::geodeticPoints(kPoints, -80, 80, lon0 - 3, lon0 + 3);
    CTervala t;
    t.Setup_Ellipsoid(kGrs80A, kGrs80InvF);
    for (const auto& p : c.geodetic) {
        double lat0 = kLat0, cm = lon0, lat = p.lat, lon = p.lon, h = p.h;
        if (utm) {
            t.Geodetic_to_UTM(0, cm, lat, lon, h);
            c.northing.push_back(t.GetUTM(0));
            c.easting.push_back(t.GetUTM(1));
        } else {
            t.Geodetic_to_TM(lat0, cm, kFalseNorthing, kFalseEasting, kScale, lat, lon, h);
            c.northing.push_back(t.GetTM(0));
            c.easting.push_back(t.GetTM(1));
        }
    }
    return c;
}

const Case& tmCase()
{
    static const Case c = makeCase(false);
    return c;
}
const Case& utmCase()
{
    static const Case c = makeCase(true);
    return c;
}

// Reports the time per point: each iteration handles all kPoints points.
void countPoints(benchmark::State& state)
{
    state.counters["per_point"] = benchmark::Counter(
        static_cast<double>(kPoints), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// ---- Tervala ----------------------------------------------------------------

void TervalaForward(benchmark::State& state, bool utm)
{
    CTervala t;
    t.Setup_Ellipsoid(kGrs80A, kGrs80InvF);
    const Case& c = utm ? utmCase() : tmCase();
    for (auto _ : state) {
        for (const auto& p : c.geodetic) {
            double lat0 = kLat0, lon0 = utm ? kUtmLon0 : kLon0, lat = p.lat, lon = p.lon, h = p.h;
            if (utm) {
                t.Geodetic_to_UTM(0, lon0, lat, lon, h);
                benchmark::DoNotOptimize(t.GetUTM(0));
            } else {
                t.Geodetic_to_TM(lat0, lon0, kFalseNorthing, kFalseEasting, kScale, lat, lon, h);
                benchmark::DoNotOptimize(t.GetTM(0));
            }
        }
    }
    countPoints(state);
}

void TervalaInverse(benchmark::State& state, bool utm)
{
    CTervala t;
    t.Setup_Ellipsoid(kGrs80A, kGrs80InvF);
    const Case& c = utm ? utmCase() : tmCase();
    for (auto _ : state) {
        for (std::size_t i = 0; i < kPoints; ++i) {
            double lat0 = kLat0, lon0 = utm ? kUtmLon0 : kLon0, n = c.northing[i], e = c.easting[i], h = 0;
            if (utm)
                t.UTM_to_Geodetic(0, lon0, n, e, h);
            else
                t.TM_to_Geodetic(lat0, lon0, kFalseNorthing, kFalseEasting, kScale, n, e, h);
            benchmark::DoNotOptimize(t.GetGeodetic(0));
        }
    }
    countPoints(state);
}
BENCHMARK_CAPTURE(TervalaForward, TM, false);
BENCHMARK_CAPTURE(TervalaInverse, TM, false);
BENCHMARK_CAPTURE(TervalaForward, UTM, true);
BENCHMARK_CAPTURE(TervalaInverse, UTM, true);

// ---- The value types, each method -------------------------------------------

template <class Projection>
void TypeForward(benchmark::State& state, const Projection& p, bool utm)
{
    const Case& c = utm ? utmCase() : tmCase();
    for (auto _ : state) {
        for (const auto& q : c.geodetic) {
            const tervala::Projected r = p.forward(q.lat, q.lon);
            benchmark::DoNotOptimize(r.easting);
            benchmark::DoNotOptimize(r.northing);
        }
    }
    countPoints(state);
}

template <class Projection>
void TypeInverse(benchmark::State& state, const Projection& p, bool utm)
{
    const Case& c = utm ? utmCase() : tmCase();
    for (auto _ : state) {
        for (std::size_t i = 0; i < kPoints; ++i) {
            const tervala::Geographic r = p.inverse(c.easting[i], c.northing[i]);
            benchmark::DoNotOptimize(r.latitude);
            benchmark::DoNotOptimize(r.longitude);
        }
    }
    countPoints(state);
}

tervala::TransverseMercator typeTm(tervala::TmMethod m)
{
    return tervala::TransverseMercator(tervala::Ellipsoid(kGrs80A, kGrs80InvF), kLat0, kLon0, kFalseNorthing,
                                       kFalseEasting, kScale, m);
}
tervala::Utm typeUtm(tervala::TmMethod m) { return tervala::Utm(52, false, tervala::Ellipsoid(kGrs80A, kGrs80InvF), m); }

void KrugerForward(benchmark::State& state, bool utm)
{
    if (utm)
        TypeForward(state, typeUtm(tervala::TmMethod::Kruger), utm);
    else
        TypeForward(state, typeTm(tervala::TmMethod::Kruger), utm);
}
void KrugerInverse(benchmark::State& state, bool utm)
{
    if (utm)
        TypeInverse(state, typeUtm(tervala::TmMethod::Kruger), utm);
    else
        TypeInverse(state, typeTm(tervala::TmMethod::Kruger), utm);
}
void LegacyTypeForward(benchmark::State& state, bool utm)
{
    if (utm)
        TypeForward(state, typeUtm(tervala::TmMethod::Legacy), utm);
    else
        TypeForward(state, typeTm(tervala::TmMethod::Legacy), utm);
}
void LegacyTypeInverse(benchmark::State& state, bool utm)
{
    if (utm)
        TypeInverse(state, typeUtm(tervala::TmMethod::Legacy), utm);
    else
        TypeInverse(state, typeTm(tervala::TmMethod::Legacy), utm);
}
BENCHMARK_CAPTURE(KrugerForward, TM, false);
BENCHMARK_CAPTURE(KrugerInverse, TM, false);
BENCHMARK_CAPTURE(KrugerForward, UTM, true);
BENCHMARK_CAPTURE(KrugerInverse, UTM, true);
BENCHMARK_CAPTURE(LegacyTypeForward, TM, false);
BENCHMARK_CAPTURE(LegacyTypeInverse, TM, false);
BENCHMARK_CAPTURE(LegacyTypeForward, UTM, true);
BENCHMARK_CAPTURE(LegacyTypeInverse, UTM, true);

// ---- GeographicLib: Krueger series with the same grid (false origin added) --

#ifdef TERVALA_HAVE_GEOGRAPHICLIB
struct GeographicLibGrid {
    GeographicLib::TransverseMercator tm;
    double lon0, falseNorthing, falseEasting, originY;
    explicit GeographicLibGrid(bool utm)
        : tm(kGrs80A, 1 / kGrs80InvF, utm ? 0.9996 : kScale), lon0(utm ? kUtmLon0 : kLon0),
          falseNorthing(utm ? 0 : kFalseNorthing), falseEasting(utm ? 500000 : kFalseEasting), originY(0)
    {
        if (!utm) {
            double x;
            tm.Forward(lon0, kLat0, lon0, x, originY);
        }
    }
};

void GeographicLibForward(benchmark::State& state, bool utm)
{
    const GeographicLibGrid g(utm);
    const Case& c = utm ? utmCase() : tmCase();
    for (auto _ : state) {
        for (const auto& p : c.geodetic) {
            double x, y;
            g.tm.Forward(g.lon0, p.lat, p.lon, x, y);
            benchmark::DoNotOptimize(y - g.originY + g.falseNorthing);
            benchmark::DoNotOptimize(x + g.falseEasting);
        }
    }
    countPoints(state);
}

void GeographicLibReverse(benchmark::State& state, bool utm)
{
    const GeographicLibGrid g(utm);
    const Case& c = utm ? utmCase() : tmCase();
    for (auto _ : state) {
        for (std::size_t i = 0; i < kPoints; ++i) {
            double lat, lon;
            g.tm.Reverse(g.lon0, c.easting[i] - g.falseEasting, c.northing[i] - g.falseNorthing + g.originY, lat,
                         lon);
            benchmark::DoNotOptimize(lat);
            benchmark::DoNotOptimize(lon);
        }
    }
    countPoints(state);
}
BENCHMARK_CAPTURE(GeographicLibForward, TM, false);
BENCHMARK_CAPTURE(GeographicLibReverse, TM, false);
BENCHMARK_CAPTURE(GeographicLibForward, UTM, true);
BENCHMARK_CAPTURE(GeographicLibReverse, UTM, true);
#endif

// ---- PROJ: tmerc and utm, one point per call and the whole array --------------

#ifdef TERVALA_HAVE_PROJ
struct ProjGrid {
    PJ_CONTEXT* ctx = proj_context_create();
    PJ* pj;
    explicit ProjGrid(bool utm)
        : pj(proj_create(ctx, utm ? "+proj=utm +zone=52 +algo=poder_engsager +a=6378137 +rf=298.257222101"
                                  : "+proj=tmerc +lat_0=38 +lon_0=127 +k=1 +x_0=200000 +y_0=600000 "
                                    "+algo=poder_engsager +a=6378137 +rf=298.257222101"))
    {
    }
    ~ProjGrid()
    {
        proj_destroy(pj);
        proj_context_destroy(ctx);
    }
};

void ProjTransForward(benchmark::State& state, bool utm)
{
    const ProjGrid g(utm);
    const Case& c = utm ? utmCase() : tmCase();
    for (auto _ : state) {
        for (const auto& p : c.geodetic) {
            const PJ_COORD r = proj_trans(g.pj, PJ_FWD, proj_coord(proj_torad(p.lon), proj_torad(p.lat), 0, 0));
            benchmark::DoNotOptimize(r.xy.x);
        }
    }
    countPoints(state);
}

void ProjTransInverse(benchmark::State& state, bool utm)
{
    const ProjGrid g(utm);
    const Case& c = utm ? utmCase() : tmCase();
    for (auto _ : state) {
        for (std::size_t i = 0; i < kPoints; ++i) {
            const PJ_COORD r = proj_trans(g.pj, PJ_INV, proj_coord(c.easting[i], c.northing[i], 0, 0));
            benchmark::DoNotOptimize(proj_todeg(r.lp.phi));
            benchmark::DoNotOptimize(proj_todeg(r.lp.lam));
        }
    }
    countPoints(state);
}

// The array call transforms in place, so each iteration refills the buffers
// (outside the timing) from the same inputs.
void ProjGenericForward(benchmark::State& state, bool utm)
{
    const ProjGrid g(utm);
    const Case& c = utm ? utmCase() : tmCase();
    std::vector<double> x(kPoints), y(kPoints);
    for (auto _ : state) {
        state.PauseTiming();
        for (std::size_t i = 0; i < kPoints; ++i) {
            x[i] = c.geodetic[i].lon;
            y[i] = c.geodetic[i].lat;
        }
        state.ResumeTiming();
        for (std::size_t i = 0; i < kPoints; ++i) {
            x[i] = proj_torad(x[i]);
            y[i] = proj_torad(y[i]);
        }
        proj_trans_generic(g.pj, PJ_FWD, x.data(), sizeof(double), kPoints, y.data(), sizeof(double), kPoints,
                           nullptr, 0, 0, nullptr, 0, 0);
        benchmark::DoNotOptimize(x.data());
        benchmark::ClobberMemory();
    }
    countPoints(state);
}

void ProjGenericInverse(benchmark::State& state, bool utm)
{
    const ProjGrid g(utm);
    const Case& c = utm ? utmCase() : tmCase();
    std::vector<double> x(kPoints), y(kPoints);
    for (auto _ : state) {
        state.PauseTiming();
        x = c.easting;
        y = c.northing;
        state.ResumeTiming();
        proj_trans_generic(g.pj, PJ_INV, x.data(), sizeof(double), kPoints, y.data(), sizeof(double), kPoints,
                           nullptr, 0, 0, nullptr, 0, 0);
        for (std::size_t i = 0; i < kPoints; ++i) {
            x[i] = proj_todeg(x[i]);
            y[i] = proj_todeg(y[i]);
        }
        benchmark::DoNotOptimize(x.data());
        benchmark::ClobberMemory();
    }
    countPoints(state);
}

BENCHMARK_CAPTURE(ProjTransForward, TM, false);
BENCHMARK_CAPTURE(ProjTransInverse, TM, false);
BENCHMARK_CAPTURE(ProjGenericForward, TM, false);
BENCHMARK_CAPTURE(ProjGenericInverse, TM, false);
BENCHMARK_CAPTURE(ProjTransForward, UTM, true);
BENCHMARK_CAPTURE(ProjTransInverse, UTM, true);
BENCHMARK_CAPTURE(ProjGenericForward, UTM, true);
BENCHMARK_CAPTURE(ProjGenericInverse, UTM, true);
#endif

} // namespace

BENCHMARK_MAIN();
