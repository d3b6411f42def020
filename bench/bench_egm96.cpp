// EGM96 geoid height per point: Tervala's EGM96GeoidHeight against
// GeographicLib's SphericalHarmonic summing the same two series (the
// disturbing potential and the height-anomaly correction, degree 360) with
// the same coefficients at the same points, in one run. The peer gets its
// Cartesian coordinates and normal gravity precomputed outside the timed
// loop; only its two Clenshaw sums are timed.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "BenchSupport.h"
#include "core/Access.h"
#include "core/Angles.h"
#include "tervala/Tervala.h"

#ifdef TERVALA_HAVE_GEOGRAPHICLIB
#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/NormalGravity.hpp>
#include <GeographicLib/SphericalHarmonic.hpp>
#endif

namespace {

constexpr std::size_t kPoints = 1024;

const std::vector<benchsupport::GeodeticPoint>& points()
{
    static const auto p = benchsupport::geodeticPoints(kPoints, -90, 90);
    return p;
}

// The real model, loaded once; null when the files are absent.
CTervala* model()
{
    static CTervala* loaded = [] {
        CTervala::SetDataFolder(TERVALA_TEST_EGM96_DIR);
        auto* t = new CTervala;
        const int status = t->LoadEGMData(nullptr);
        CTervala::SetDataFolder(nullptr);
        if (status != 1) {
            delete t;
            return static_cast<CTervala*>(nullptr);
        }
        return t;
    }();
    return loaded;
}

void Tervala_EGM96GeoidHeight(benchmark::State& state)
{
    CTervala* t = model();
    if (t == nullptr) {
        state.SkipWithError("EGM96.dat / CORRCOEF.dat not found in " TERVALA_TEST_EGM96_DIR);
        return;
    }
    const auto& pts = points();
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& p = pts[i++ & (kPoints - 1)];
        benchmark::DoNotOptimize(t->EGM96GeoidHeight(p.lat, p.lon));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(Tervala_EGM96GeoidHeight);

// The step routines composed one after the other on Numbra (RADGRA, 361
// LEGFDN columns, DSCML, HUNDU): the reference the fast evaluation matches
// bit for bit, for scale.
void Tervala_StepByStepReference(benchmark::State& state)
{
    CTervala* t = model();
    if (t == nullptr) {
        state.SkipWithError("EGM96.dat / CORRCOEF.dat not found in " TERVALA_TEST_EGM96_DIR);
        return;
    }
    using tervala::TervalaAccess;
    const auto& pts = points();
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& p = pts[i++ & (kPoints - 1)];
        const double phi = tervala::angles::toRadians(p.lat), lambda = tervala::angles::toRadians(p.lon);
        const Numbra g = TervalaAccess::radgra(*t, phi, lambda);
        const double theta = tervala::PI * 0.5 - g(1);
        Numbra table(65341, 1), column = Zeros(361, 1), sq(1300, 1), isq(1300, 1);
        int ready = 0;
        for (int m = 0; m <= 360; ++m) {
            column = TervalaAccess::legfdn(*t, m, theta, column, ready, sq, isq);
            for (int n = m; n <= 360; ++n)
                table(n * (n + 1) / 2 + m + 1) = column(n + 1);
        }
        const Numbra sc = TervalaAccess::dscml(*t, lambda);
        benchmark::DoNotOptimize(TervalaAccess::hundu(*t, table, TervalaAccess::egmCoef(*t), sc, g(2), g(3),
                                                      TervalaAccess::corrCoefC(*t), TervalaAccess::corrCoefS(*t)));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(Tervala_StepByStepReference);

void Tervala_LoadEGMData(benchmark::State& state)
{
    CTervala::SetDataFolder(TERVALA_TEST_EGM96_DIR);
    CTervala t;
    for (auto _ : state)
        if (t.LoadEGMData(nullptr) != 1) {
            state.SkipWithError("EGM96.dat / CORRCOEF.dat not found in " TERVALA_TEST_EGM96_DIR);
            break;
        }
    CTervala::SetDataFolder(nullptr);
}
BENCHMARK(Tervala_LoadEGMData)->Unit(benchmark::kMillisecond);

#ifdef TERVALA_HAVE_GEOGRAPHICLIB
void GeographicLib_SphericalHarmonicPair(benchmark::State& state)
{
    CTervala* t = model();
    if (t == nullptr) {
        state.SkipWithError("EGM96.dat / CORRCOEF.dat not found in " TERVALA_TEST_EGM96_DIR);
        return;
    }
    // The loaded coefficients in GeographicLib's layout: (n, m) at
    // m N - m (m - 1) / 2 + n, sine coefficients from m = 1.
    const int N = 360;
    std::vector<double> C((N + 1) * (N + 2) / 2), S(N * (N + 1) / 2), CC(C.size()), CS(S.size());
    const Numbra& h = tervala::TervalaAccess::egmCoef(*t);
    const Numbra& cc = tervala::TervalaAccess::corrCoefC(*t);
    const Numbra& cs = tervala::TervalaAccess::corrCoefS(*t);
    for (int n = 0; n <= N; ++n)
        for (int m = 0; m <= n; ++m) {
            const int k = n * (n + 1) / 2 + m + 1, i = m * N - m * (m - 1) / 2 + n;
            C[i] = n >= 2 ? h(k, 1) : 0.0;
            CC[i] = cc(k);
            if (m > 0) {
                S[i - N - 1] = n >= 2 ? h(k, 2) : 0.0;
                CS[i - N - 1] = cs(k);
            }
        }
    using GeographicLib::SphericalHarmonic;
    const SphericalHarmonic potential(C, S, N, 6378137.0, SphericalHarmonic::FULL);
    const SphericalHarmonic correction(CC, CS, N, 1.0, SphericalHarmonic::FULL);

    struct Prepared {
        double x, y, z, r, gamma;
    };
    std::vector<Prepared> prepared;
    for (const auto& p : points()) {
        Prepared q;
        GeographicLib::Geocentric::WGS84().Forward(p.lat, p.lon, 0.0, q.x, q.y, q.z);
        q.r = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z);
        q.gamma = GeographicLib::NormalGravity::WGS84().SurfaceGravity(p.lat);
        prepared.push_back(q);
    }
    std::size_t i = 0;
    for (auto _ : state) {
        const Prepared& q = prepared[i++ & (kPoints - 1)];
        const double T = potential(q.x, q.y, q.z) * (q.r / 6378137.0) * 3.986004418e14 / q.r;
        const double N96 = T / q.gamma + 0.01 * correction(q.x / q.r, q.y / q.r, q.z / q.r) - 0.53;
        benchmark::DoNotOptimize(N96);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(GeographicLib_SphericalHarmonicPair);
#endif

} // namespace

BENCHMARK_MAIN();
