// The value types against the CTervala members on the same inputs in the
// same run: geocentric both ways, Transverse Mercator and UTM forward and
// inverse, the seven-parameter transformation both ways, the plane
// similarity, the height plane and the geoid heights of a grid and of EGM96.
// Each pair is Legacy_<operation> and Modern_<operation>; their ratio is the
// result. The projections run the value types with TmMethod::Legacy, the
// members' own series (bench_projection measures Krueger's series, the
// default, against them and the peers).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "BenchSupport.h"
#include "tervala/Tervala.h"
#include "tervala/tervala.hpp"

namespace {

using benchsupport::kGrs80A;
using benchsupport::kGrs80InvF;

constexpr std::size_t kCount = 1 << 14;

const std::vector<benchsupport::GeodeticPoint>& globe()
{
    static const auto p = benchsupport::geodeticPoints(kCount);
    return p;
}

const std::vector<benchsupport::GeocentricPoint>& xyz()
{
    static const auto p = benchsupport::geocentricPoints(globe());
    return p;
}

// The same points as the value type, as a caller of the modern interface
// holds them (passed by reference, not rebuilt per call).
const std::vector<tervala::Geocentric>& modernXyz()
{
    static const std::vector<tervala::Geocentric> p = [] {
        std::vector<tervala::Geocentric> out;
        for (const auto& q : xyz())
            out.push_back({q.x, q.y, q.z});
        return out;
    }();
    return p;
}

// Within 3 degrees of the central meridian 27 E.
const std::vector<benchsupport::GeodeticPoint>& zone()
{
    static const auto p = benchsupport::geodeticPoints(kCount, -80, 80, 24, 30);
    return p;
}

CTervala grs80()
{
    CTervala t;
    t.Setup_Ellipsoid(kGrs80A, kGrs80InvF);
    return t;
}

// Each side hands every output of the operation to the caller: a member's
// results are read through its getters, one call per value, as a caller of
// the legacy interface must; a value type's result is kept whole.
template <typename... T>
void keep(T... values)
{
    (benchmark::DoNotOptimize(values), ...);
}

template <typename F>
void run(benchmark::State& state, std::size_t count, F f)
{
    std::size_t i = 0;
    for (auto _ : state)
        f(i++ & (count - 1));
    state.SetItemsProcessed(state.iterations());
}

void Legacy_GeodeticToGeocentric(benchmark::State& state)
{
    CTervala t = grs80();
    run(state, kCount, [&](std::size_t i) {
        double lat = globe()[i].lat, lon = globe()[i].lon, h = globe()[i].h;
        t.Geodetic_to_Geocentric(lat, lon, h);
        keep(t.GetGeocentric(0), t.GetGeocentric(1), t.GetGeocentric(2));
    });
}
void Modern_GeodeticToGeocentric(benchmark::State& state)
{
    const tervala::Ellipsoid e = tervala::Ellipsoid::grs80();
    run(state, kCount, [&](std::size_t i) {
        benchmark::DoNotOptimize(e.toGeocentric({globe()[i].lat, globe()[i].lon, globe()[i].h}));
    });
}

void Legacy_GeocentricToGeodetic(benchmark::State& state)
{
    CTervala t = grs80();
    run(state, kCount, [&](std::size_t i) {
        double X = xyz()[i].x, Y = xyz()[i].y, Z = xyz()[i].z;
        t.Geocentric_to_Geodetic(X, Y, Z);
        keep(t.GetGeodetic(0), t.GetGeodetic(1), t.GetGeodetic(2));
    });
}
void Modern_GeocentricToGeodetic(benchmark::State& state)
{
    const tervala::Ellipsoid e = tervala::Ellipsoid::grs80();
    run(state, kCount,
        [&](std::size_t i) { benchmark::DoNotOptimize(e.toGeodetic(modernXyz()[i])); });
}

void Legacy_TMForward(benchmark::State& state)
{
    CTervala t = grs80();
    run(state, kCount, [&](std::size_t i) {
        double lat0 = 0, lon0 = 27, lat = zone()[i].lat, lon = zone()[i].lon, h = 0;
        t.Geodetic_to_TM(lat0, lon0, 0, 3500000, 1, lat, lon, h);
        keep(t.GetTM(0), t.GetTM(1));
    });
}
void Modern_TMForward(benchmark::State& state)
{
    const tervala::TransverseMercator tm(tervala::Ellipsoid::grs80(), 0, 27, 0, 3500000, 1, tervala::TmMethod::Legacy);
    run(state, kCount, [&](std::size_t i) { benchmark::DoNotOptimize(tm.forward(zone()[i].lat, zone()[i].lon)); });
}

const std::vector<tervala::Projected>& grid()
{
    static const std::vector<tervala::Projected> p = [] {
        const tervala::TransverseMercator tm(tervala::Ellipsoid::grs80(), 0, 27, 0, 3500000, 1, tervala::TmMethod::Legacy);
        std::vector<tervala::Projected> out;
        for (const auto& q : zone())
            out.push_back(tm.forward(q.lat, q.lon));
        return out;
    }();
    return p;
}

void Legacy_TMInverse(benchmark::State& state)
{
    CTervala t = grs80();
    run(state, kCount, [&](std::size_t i) {
        double lat0 = 0, lon0 = 27, n = grid()[i].northing, e = grid()[i].easting, h = 0;
        t.TM_to_Geodetic(lat0, lon0, 0, 3500000, 1, n, e, h);
        keep(t.GetGeodetic(0), t.GetGeodetic(1));
    });
}
void Modern_TMInverse(benchmark::State& state)
{
    const tervala::TransverseMercator tm(tervala::Ellipsoid::grs80(), 0, 27, 0, 3500000, 1, tervala::TmMethod::Legacy);
    run(state, kCount,
        [&](std::size_t i) { benchmark::DoNotOptimize(tm.inverse(grid()[i].easting, grid()[i].northing)); });
}

void Legacy_UTMForward(benchmark::State& state)
{
    CTervala t = grs80();
    run(state, kCount, [&](std::size_t i) {
        double lon0 = 27, lat = zone()[i].lat, lon = zone()[i].lon, h = 0;
        t.Geodetic_to_UTM(0, lon0, lat, lon, h);
        keep(t.GetUTM(0), t.GetUTM(1));
    });
}
void Modern_UTMForward(benchmark::State& state)
{
    const tervala::Utm utm(35, false, tervala::Ellipsoid::grs80(), tervala::TmMethod::Legacy);
    run(state, kCount, [&](std::size_t i) { benchmark::DoNotOptimize(utm.forward(zone()[i].lat, zone()[i].lon)); });
}

const std::vector<tervala::Projected>& utmGrid()
{
    static const std::vector<tervala::Projected> p = [] {
        const tervala::Utm utm(35, false, tervala::Ellipsoid::grs80(), tervala::TmMethod::Legacy);
        std::vector<tervala::Projected> out;
        for (const auto& q : zone())
            if (q.lat > -80 && q.lat < 84)
                out.push_back(utm.forward(q.lat, q.lon));
        out.resize(kCount / 2);
        return out;
    }();
    return p;
}

void Legacy_UTMInverse(benchmark::State& state)
{
    CTervala t = grs80();
    run(state, kCount / 2, [&](std::size_t i) {
        double lon0 = 27, n = utmGrid()[i].northing, e = utmGrid()[i].easting, h = 0;
        t.UTM_to_Geodetic(0, lon0, n, e, h);
        keep(t.GetGeodetic(0), t.GetGeodetic(1));
    });
}
void Modern_UTMInverse(benchmark::State& state)
{
    const tervala::Utm utm(35, false, tervala::Ellipsoid::grs80(), tervala::TmMethod::Legacy);
    run(state, kCount / 2,
        [&](std::size_t i) { benchmark::DoNotOptimize(utm.inverse(utmGrid()[i].easting, utmGrid()[i].northing)); });
}

// Plane points around the origin (200 km, 400 km) of a local grid.
constexpr double kPlaneOrigin[2] = {2.0e5, 4.0e5};
constexpr double kPlane[4] = {12.5, -7.25, 3.5, 1.75};  // t1, t2 (m), scale (ppm), rotation (")
constexpr double kSlopes[3] = {1.5e-5, -2.5e-5, 0.125};

double planeCoordinate(std::size_t i, int axis)
{
    static const std::vector<double> table = [] {
        std::vector<double> v(2 * kCount);
        for (std::size_t k = 0; k < v.size(); ++k)
            v[k] = kPlaneOrigin[k & 1] + 5.0e4 * std::sin(0.37 * static_cast<double>(k));
        return v;
    }();
    return table[2 * i + static_cast<std::size_t>(axis)];
}

void Legacy_Helmert2DForward(benchmark::State& state)
{
    CTervala t;
    t.Set2DHelmert(kPlane[0], kPlane[1], kPlane[2], kPlane[3]);
    run(state, kCount, [&](std::size_t i) {
        t.Helmert2D(kPlaneOrigin[0], kPlaneOrigin[1], planeCoordinate(i, 0), planeCoordinate(i, 1));
        keep(t.Get2DH(0), t.Get2DH(1));
    });
}
void Modern_Helmert2DForward(benchmark::State& state)
{
    const tervala::Helmert2D h(kPlane[0], kPlane[1], kPlane[2], kPlane[3], {kPlaneOrigin[0], kPlaneOrigin[1]});
    run(state, kCount, [&](std::size_t i) {
        benchmark::DoNotOptimize(h.forward({planeCoordinate(i, 0), planeCoordinate(i, 1)}));
    });
}

void Legacy_HeightPlaneForward(benchmark::State& state)
{
    CTervala t;
    t.SetHeightTrans(kSlopes[0], kSlopes[1], kSlopes[2]);
    run(state, kCount, [&](std::size_t i) {
        t.HeightTrans(kPlaneOrigin[0], kPlaneOrigin[1], planeCoordinate(i, 0), planeCoordinate(i, 1), 100.0);
        benchmark::DoNotOptimize(t.Get2DH(2));
    });
}
void Modern_HeightPlaneForward(benchmark::State& state)
{
    const tervala::HeightPlane h(kSlopes[0], kSlopes[1], kSlopes[2], {kPlaneOrigin[0], kPlaneOrigin[1]});
    run(state, kCount, [&](std::size_t i) {
        benchmark::DoNotOptimize(h.forward({planeCoordinate(i, 0), planeCoordinate(i, 1)}, 100.0));
    });
}

// ETRS89 to a national frame, coordinate-frame rotations.
constexpr double kSeven[7] = {-96.062, -82.428, -121.753, 1.5, 4.801, 0.345, -1.376};

void Legacy_Helmert7Forward(benchmark::State& state)
{
    CTervala t;
    t.SetParameters_Bursa_WolfModel(kSeven[0], kSeven[1], kSeven[2], kSeven[3], kSeven[4], kSeven[5], kSeven[6]);
    run(state, kCount, [&](std::size_t i) {
        t.Bursa_WolfModel(xyz()[i].x, xyz()[i].y, xyz()[i].z);
        keep(t.GetGeocentric(0), t.GetGeocentric(1), t.GetGeocentric(2));
    });
}
void Modern_Helmert7Forward(benchmark::State& state)
{
    const tervala::Helmert7 h(kSeven[0], kSeven[1], kSeven[2], kSeven[3], kSeven[4], kSeven[5], kSeven[6],
                              tervala::Convention::CoordinateFrame);
    run(state, kCount, [&](std::size_t i) { benchmark::DoNotOptimize(h.forward(modernXyz()[i])); });
}

void Legacy_Helmert7Inverse(benchmark::State& state)
{
    CTervala t;
    t.SetParameters_Bursa_WolfModel(kSeven[0], kSeven[1], kSeven[2], kSeven[3], kSeven[4], kSeven[5], kSeven[6]);
    run(state, kCount, [&](std::size_t i) {
        double X = xyz()[i].x, Y = xyz()[i].y, Z = xyz()[i].z;
        t.Inv_Bursa_WolfModel(X, Y, Z);
        keep(t.GetGeocentric(0), t.GetGeocentric(1), t.GetGeocentric(2));
    });
}
void Modern_Helmert7Inverse(benchmark::State& state)
{
    const tervala::Helmert7 h(kSeven[0], kSeven[1], kSeven[2], kSeven[3], kSeven[4], kSeven[5], kSeven[6],
                              tervala::Convention::CoordinateFrame);
    run(state, kCount, [&](std::size_t i) { benchmark::DoNotOptimize(h.inverse(modernXyz()[i])); });
}

// A global 0.25 degree grid of smooth values, written once into a
// temporary folder that both the member (through the data folder) and the
// type read.
struct GridFolder {
    std::string folder;
    GridFolder()
    {
        char name[] = "/tmp/tervala-bench-modern-XXXXXX";
        if (::mkdtemp(name) == nullptr)
            std::abort();
        folder = name;
        std::FILE* f = std::fopen((folder + "/kgeoid14.dat").c_str(), "wb");
        const double header[4] = {90.0, 0.0, 0.25, 0.25};
        const std::int32_t size[2] = {721, 1440};
        std::fwrite(header, sizeof header, 1, f);
        std::fwrite(size, sizeof size, 1, f);
        std::vector<float> row(1440);
        for (int r = 0; r < 721; ++r) {
            for (int c = 0; c < 1440; ++c)
                row[static_cast<std::size_t>(c)] = static_cast<float>(30.0 * std::sin(r * 0.05) * std::cos(c * 0.03) + 0.5);
            std::fwrite(row.data(), sizeof(float), row.size(), f);
        }
        std::fclose(f);
    }
    ~GridFolder()
    {
        std::remove((folder + "/kgeoid14.dat").c_str());
        ::rmdir(folder.c_str());
    }
};

const GridFolder& gridFolder()
{
    static const GridFolder g;
    return g;
}

// Points of one survey project, a 2 x 2 degree area: the grid window of
// each point is in cache, so the pair measures the code. (Points scattered
// over the whole globe make both sides wait on memory and on the TLB, and
// the same binary then gives 90-200 ns per point for either side from one
// repetition to the next, depending on where the grid was allocated.)
const std::vector<benchsupport::GeodeticPoint>& area()
{
    static const auto p = benchsupport::geodeticPoints(kCount, 60, 62, 24, 26);
    return p;
}

void Legacy_GridHeight(benchmark::State& state)
{
    CTervala t;
    CTervala::SetDataFolder(gridFolder().folder.c_str());
    const int loaded = t.LoadKEGMData(14);
    CTervala::SetDataFolder(nullptr);
    if (loaded != 1) {
        state.SkipWithError("grid not loaded");
        return;
    }
    run(state, kCount,
        [&](std::size_t i) { benchmark::DoNotOptimize(t.KEGMGeoidHeight(area()[i].lat, area()[i].lon)); });
}
void Modern_GridHeight(benchmark::State& state)
{
    const tervala::GeoidGrid g(gridFolder().folder + "/kgeoid14.dat");
    run(state, kCount, [&](std::size_t i) { benchmark::DoNotOptimize(g.height(area()[i].lat, area()[i].lon)); });
}

// The real EGM96 model, from the shared data folder; the pair is skipped
// when the files are absent.
const std::string kEgm96 = TERVALA_TEST_EGM96_DIR;

void Legacy_Egm96Height(benchmark::State& state)
{
    CTervala t;
    CTervala::SetDataFolder(kEgm96.c_str());
    const int loaded = t.LoadEGMData(nullptr);
    CTervala::SetDataFolder(nullptr);
    if (loaded != 1) {
        state.SkipWithError(("no EGM96.dat / CORRCOEF.dat in " + kEgm96).c_str());
        return;
    }
    run(state, kCount,
        [&](std::size_t i) { benchmark::DoNotOptimize(t.EGM96GeoidHeight(globe()[i].lat, globe()[i].lon)); });
}
void Modern_Egm96Height(benchmark::State& state)
{
    try {
        const tervala::Egm96Model model = tervala::Egm96Model::fromFolder(kEgm96);
        run(state, kCount,
            [&](std::size_t i) { benchmark::DoNotOptimize(model.height(globe()[i].lat, globe()[i].lon)); });
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

} // namespace

BENCHMARK(Legacy_GeodeticToGeocentric);
BENCHMARK(Modern_GeodeticToGeocentric);
BENCHMARK(Legacy_GeocentricToGeodetic);
BENCHMARK(Modern_GeocentricToGeodetic);
BENCHMARK(Legacy_TMForward);
BENCHMARK(Modern_TMForward);
BENCHMARK(Legacy_TMInverse);
BENCHMARK(Modern_TMInverse);
BENCHMARK(Legacy_UTMForward);
BENCHMARK(Modern_UTMForward);
BENCHMARK(Legacy_UTMInverse);
BENCHMARK(Modern_UTMInverse);
BENCHMARK(Legacy_Helmert2DForward);
BENCHMARK(Modern_Helmert2DForward);
BENCHMARK(Legacy_HeightPlaneForward);
BENCHMARK(Modern_HeightPlaneForward);
BENCHMARK(Legacy_Helmert7Forward);
BENCHMARK(Modern_Helmert7Forward);
BENCHMARK(Legacy_Helmert7Inverse);
BENCHMARK(Modern_Helmert7Inverse);
BENCHMARK(Legacy_GridHeight);
BENCHMARK(Modern_GridHeight);
BENCHMARK(Legacy_Egm96Height);
BENCHMARK(Modern_Egm96Height);

BENCHMARK_MAIN();
