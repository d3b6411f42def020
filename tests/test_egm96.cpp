// EGM96 coefficient loading and spherical-harmonic geoid heights.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "core/Access.h"
#include "core/Angles.h"
#include "geoid/SphericalHarmonic.h"
#include "tervala/Tervala.h"

#ifdef TERVALA_HAVE_GEOGRAPHICLIB
#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/NormalGravity.hpp>
#include <GeographicLib/SphericalHarmonic.hpp>
#endif

namespace {

using tervala::TervalaAccess;
namespace egm = tervala::egm96;
using Bytes = std::vector<unsigned char>;
using Folder = testsupport::DataDir;  // the data folder setting is restored when it goes
using testsupport::kNaN;

constexpr int kCount = 65341;
// Unoptimised (sanitizer) builds visit fewer points: kScale thins the
// step-by-step reference, kGridScale the grid nodes.
#ifdef __OPTIMIZE__
constexpr int kScale = 1, kGridScale = 1;
#else
constexpr int kScale = 20, kGridScale = 4;
#endif

using Model = std::vector<testsupport::Coefficient>;
Bytes corrFile(const Model& m) { return testsupport::coefficientFile(m, 24); }
Bytes egmFile(const Model& m) { return testsupport::coefficientFile(m, 40); }

using testsupport::loadRandomModel;

// The step-by-step evaluation: RADGRA, LEGFDN for every order, DSCML and
// HUNDU, composed as the geoid height is defined. The Legendre table depends
// only on the geocentric colatitude, so it is kept per colatitude (bit
// pattern) for the points that share it.
class Reference {
public:
    explicit Reference(CTervala& t) : t_(t) {}
    double operator()(double lat, double lon)
    {
        const double phi = (tervala::PI * lat) * 0.005555555555555556;
        const double lambda = (tervala::PI * lon) * 0.005555555555555556;
        const Numbra g = TervalaAccess::radgra(t_, phi, lambda);
        const Numbra sc = TervalaAccess::dscml(t_, lambda);
        return TervalaAccess::hundu(t_, legendre(tervala::PI * 0.5 - g(1)), TervalaAccess::egmCoef(t_), sc, g(2),
                                    g(3), TervalaAccess::corrCoefC(t_), TervalaAccess::corrCoefS(t_));
    }
    const Numbra& legendre(double theta)
    {
        std::uint64_t key;
        std::memcpy(&key, &theta, sizeof key);
        auto found = tables_.find(key);
        if (found != tables_.end())
            return found->second;
        Numbra p(kCount, 1), column = Zeros(361, 1), sq(1300, 1), isq(1300, 1);
        int ready = 0;
        for (int m = 0; m <= 360; ++m) {
            column = TervalaAccess::legfdn(t_, m, theta, column, ready, sq, isq);
            for (int n = m; n <= 360; ++n)
                p(n * (n + 1) / 2 + m + 1) = column(n + 1);
        }
        return tables_.emplace(key, std::move(p)).first->second;
    }

private:
    CTervala& t_;
    std::map<std::uint64_t, Numbra> tables_;
};

// Points every check visits: poles, equator, both sides of the date line.
const double kEdgePoints[][2] = {
    {90, 0},       {-90, 0},        {90, 123.4},  {-90, -56.7},     {0, 0},       {0, 180},     {0, -180},
    {0, 90},       {45, 179.999},   {45, -179.999}, {-33, 180},     {89.999, 10}, {-89.999, -170}, {1e-9, 1e-9}};

} // namespace

// ---- Loading --------------------------------------------------------------------

// Status and contents for each way the two files can be present, missing,
// short or not files at all. A folder or /dev/zero under a file's name counts
// as missing (fopen of a folder succeeds on Linux and its reading never ends,
// nor does reading /dev/zero's).
// A coefficient no real model has (beyond 1e-3 / n^2 in EGM96.dat, beyond
// min(10, 5e4 / n^2) in CORRCOEF.dat, or not finite), or a file that does
// not match its check file "<file>.sum", is refused as a file that cannot be
// used: 0, with the tables a missing file leaves.
TEST(Egm96Load, StatusFollowsWhatCouldBeRead)
{
    enum Kind { Absent, Written, Directory, Device, Checked, Mismatched };
    const Bytes none, corr = corrFile({{3, 2, 7.0, 8.0}}), egm = egmFile({{2, 1, 5e-7, 2.5e-7}, {360, 360, 0, 0}}),
                short1 = egmFile({{2, 1, 5e-7, 2.5e-7}}), partial(egm.begin(), egm.end() - 1),
                marked = egmFile({{0, 0, -9999.999, 0}, {2, 1, 5e-7, 2.5e-7}, {360, 360, 0, 0}}),
                // One exponent bit flipped in a degree-300 coefficient of 1e-10: 2^64 times larger.
                flipped = egmFile({{2, 1, 5e-7, 2.5e-7}, {300, 7, 1e-10 * 0x1p64, 0}, {360, 360, 0, 0}}),
                nanEgm = egmFile({{2, 1, 5e-7, 2.5e-7}, {7, 7, 0, kNaN}, {360, 360, 0, 0}}),
                infEgm = egmFile({{2, 1, 5e-7, 2.5e-7}, {3, 0, INFINITY, 0}, {360, 360, 0, 0}}),
                badCorr = corrFile({{3, 2, 7.0, 8.0}, {300, 1, 0, 0.6}}),  // limit at 300: 0.556
                nanCorr = corrFile({{3, 2, 7.0, 8.0}, {0, 0, kNaN, 0}}),
                edgeEgm = egmFile({{2, 1, 5e-7, 2.5e-7}, {2, 2, 9.9e-4, 0}, {360, 360, 7.7e-9, 0}}),
                edgeCorr = corrFile({{3, 2, 7.0, 8.0}, {0, 0, -9.99, 0}, {360, 0, 0.38, 0}});
    const struct {
        const char* what;
        Kind corrKind;
        const Bytes* corrBytes;
        Kind egmKind;
        const Bytes* egmBytes;
        int status;
        double corr3_2, egm0_0, egm2_1;  // corrections (3, 2), geopotential (0, 0) and (2, 1) cosines
    } cases[] = {
        {"both files", Written, &corr, Written, &egm, 1, 7.0, 0.0, 5e-7},
        {"no CORRCOEF.dat", Absent, &none, Written, &egm, 0, 0.0, 0.0, 0.0},
        {"CORRCOEF.dat is a folder", Directory, &none, Written, &egm, 0, 0.0, 0.0, 0.0},
        {"no EGM96.dat", Written, &corr, Absent, &none, 0, 7.0, -9999.999, 0.0},
        {"EGM96.dat is /dev/zero", Written, &corr, Device, &none, 0, 7.0, -9999.999, 0.0},
        {"empty CORRCOEF.dat", Written, &none, Written, &egm, 1, 0.0, 0.0, 5e-7},
        {"empty EGM96.dat", Written, &corr, Written, &none, 0, 7.0, 0.0, 0.0},
        {"EGM96.dat without (360, 360)", Written, &corr, Written, &short1, 0, 7.0, 0.0, 5e-7},
        {"(360, 360) record incomplete", Written, &corr, Written, &partial, 0, 7.0, 0.0, 5e-7},
        {"(0, 0) cosine is the failure mark", Written, &corr, Written, &marked, 0, 7.0, -9999.999, 5e-7},
        {"EGM96.dat with a flipped exponent bit", Written, &corr, Written, &flipped, 0, 7.0, -9999.999, 0.0},
        {"EGM96.dat with a NaN sine", Written, &corr, Written, &nanEgm, 0, 7.0, -9999.999, 0.0},
        {"EGM96.dat with an infinite cosine", Written, &corr, Written, &infEgm, 0, 7.0, -9999.999, 0.0},
        {"EGM96.dat with values just inside the limits", Written, &corr, Written, &edgeEgm, 1, 7.0, 0.0, 5e-7},
        {"CORRCOEF.dat beyond its limit", Written, &badCorr, Written, &egm, 0, 0.0, 0.0, 0.0},
        {"CORRCOEF.dat with a NaN", Written, &nanCorr, Written, &egm, 0, 0.0, 0.0, 0.0},
        {"CORRCOEF.dat with values just inside the limits", Written, &edgeCorr, Written, &egm, 1, 7.0, 0.0, 5e-7},
        {"both match their check files", Checked, &corr, Checked, &egm, 1, 7.0, 0.0, 5e-7},
        {"EGM96.dat does not match its check file", Checked, &corr, Mismatched, &egm, 0, 7.0, -9999.999, 0.0},
        {"CORRCOEF.dat does not match its check file", Mismatched, &corr, Checked, &egm, 0, 0.0, 0.0, 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if ((c.corrKind == Device || c.egmKind == Device) && !tervala::platform::hasUnixSpecialFiles()) {
            std::printf("skipped on this system: %s (no /dev/zero)\n", c.what);
            continue;
        }
        Folder folder("egm_status");
        const std::pair<const char*, std::pair<Kind, const Bytes*>> files[] = {
            {"CORRCOEF.dat", {c.corrKind, c.corrBytes}}, {"EGM96.dat", {c.egmKind, c.egmBytes}}};
        for (const auto& [name, file] : files) {
            const std::string path = folder.path + "/" + name;
            if (file.first == Written || file.first == Checked || file.first == Mismatched) {
                folder.write(name, *file.second);
                // A check file of these bytes, or of the bytes with their last one changed.
                std::string bytes(file.second->begin(), file.second->end());
                if (file.first == Mismatched)
                    bytes.back() ^= 0x10;
                if (file.first != Written)
                    testsupport::writeBytes(path + ".sum", testsupport::checkFile(bytes));
            } else if (file.first == Directory) {
                ASSERT_TRUE(tervala::platform::makeDirectory(path));
            } else if (file.first == Device) {
                ASSERT_TRUE(tervala::platform::makeSymbolicLink("/dev/zero", path));
            }
        }
        CTervala t;
        EXPECT_EQ(t.LoadEGMData(nullptr), c.status);
        const Numbra &h = TervalaAccess::egmCoef(t), &cc = TervalaAccess::corrCoefC(t), &cs = TervalaAccess::corrCoefS(t);
        ASSERT_TRUE(h.Rows() == kCount && h.Cols() == 2 && cc.Rows() == kCount && cs.Rows() == kCount);
        EXPECT_TRUE(cc(9) == c.corr3_2 && cs(9) == (c.corr3_2 == 0.0 ? 0.0 : 8.0)) << cc(9) << " " << cs(9);
        EXPECT_TRUE(h(1, 1) == c.egm0_0 && h(5, 1) == c.egm2_1) << h(1, 1) << " " << h(5, 1);
    }
}

// Index n(n+1)/2 + m + 1 in both files and columns, and the normal field's
// even zonals taken off column 1 only.
TEST(Egm96Load, WhereValuesLand)
{
    const struct {
        int n, m, k;
        double change;  // of the cosine coefficient on loading: WGS 84's even zonals, fully normalised
    } cases[] = {{0, 0, 1, 0}, {1, 0, 2, 0}, {1, 1, 3, 0}, {2, 2, 6, 0}, {3, 1, 8, 0}, {100, 37, 5088, 0},
                 {2, 0, 4, 0.00108262982131 / std::sqrt(5.0)}, {4, 0, 11, -7.9030373351e-7},
                 {6, 0, 22, 6.08346498882e-9 / std::sqrt(13.0)}, {8, 0, 37, -1.4268108792e-11 / std::sqrt(17.0)},
                 {10, 0, 56, 1.21439275882e-14 / std::sqrt(21.0)}, {360, 360, 65341, 0}};  // the last record
    Model model;
    for (const auto& e : cases)
        model.push_back({e.n, e.m, e.k * 1e-14, (-e.k - 0.5) * 1e-14});
    Folder folder("egm_index");
    folder.write("CORRCOEF.dat", corrFile(model));
    folder.write("EGM96.dat", egmFile(model));
    CTervala t;
    ASSERT_EQ(t.LoadEGMData(nullptr), 1);
    for (const auto& e : cases)
        EXPECT_TRUE(TervalaAccess::corrCoefC(t)(e.k) == e.k * 1e-14 &&
                    TervalaAccess::corrCoefS(t)(e.k) == (-e.k - 0.5) * 1e-14 &&
                    TervalaAccess::egmCoef(t)(e.k, 1) == e.k * 1e-14 + e.change &&
                    TervalaAccess::egmCoef(t)(e.k, 2) == (-e.k - 0.5) * 1e-14)
            << "(" << e.n << ", " << e.m << ")";
}

// Out-of-range records are skipped and touch nothing; a later record
// overwrites an earlier one; nothing after (360, 360) is read; an incomplete
// last record is ignored; the argument is not read; a load starts from
// zeros. (Non-finite values refuse the load: StatusFollowsWhatCouldBeRead.)
TEST(Egm96Load, RecordRules)
{
    Model corr = {{361, 0, 1, 1}, {2, 3, 1, 1},         {-1, 0, 1, 1},   {5, -1, 1, 1},
                  {INT32_MAX, 0, 1, 1}, {INT32_MIN, INT32_MIN, 1, 1}, {360, 361, 1, 1}};
    Model egm = corr;
    corr.insert(corr.end(), {{3, 1, 1.0, 1.0}, {3, 1, 2.0, 3.0}, {7, 7, 0.5, -0.25}});
    egm.insert(egm.end(), {{3, 1, 4e-6, 5e-6}, {3, 1, 6e-6, 7e-6}, {7, 7, 1e-6, -2e-6}, {360, 360, 0, 0}, {3, 1, 99.0, 99.0}});
    Bytes corrBytes = corrFile(corr);
    const Bytes tail = corrFile({{5, 5, 42.0, 42.0}});
    corrBytes.insert(corrBytes.end(), tail.begin(), tail.end() - 1);  // 23 of its 24 bytes

    Folder folder("egm_rules");
    for (const char* argument : {static_cast<const char*>(nullptr), "", "\\elsewhere\\EGM96.dat"}) {
        folder.write("CORRCOEF.dat", corrBytes);
        folder.write("EGM96.dat", egmFile(egm));
        CTervala t;
        ASSERT_EQ(t.LoadEGMData(argument), 1);
        const Numbra &cc = TervalaAccess::corrCoefC(t), &cs = TervalaAccess::corrCoefS(t), &h = TervalaAccess::egmCoef(t);
        EXPECT_TRUE(cc(8) == 2.0 && cs(8) == 3.0 && h(8, 1) == 6e-6 && h(8, 2) == 7e-6);
        EXPECT_TRUE(cc(36) == 0.5 && cs(36) == -0.25 && h(36, 1) == 1e-6 && h(36, 2) == -2e-6);
        double others = 0.0;  // everything but (3, 1), (7, 7) and the five zonals
        for (int k = 1; k <= kCount; ++k)
            if (k != 8 && k != 36 && k != 4 && k != 11 && k != 22 && k != 37 && k != 56)
                others += std::fabs(cc(k)) + std::fabs(cs(k)) + std::fabs(h(k, 1)) + std::fabs(h(k, 2));
        EXPECT_EQ(others, 0.0);

        folder.write("CORRCOEF.dat", {});
        folder.write("EGM96.dat", egmFile({{360, 360, 0, 0}}));
        ASSERT_EQ(t.LoadEGMData(argument), 1);  // a second load starts from zeros
        EXPECT_TRUE(TervalaAccess::corrCoefC(t)(8) == 0.0 && TervalaAccess::egmCoef(t)(8, 1) == 0.0);
    }
}

// ---- Synthesis ------------------------------------------------------------------

// Arguments outside their ranges: latitude mirrors at the poles, longitude
// is periodic.
TEST(Egm96Synthesis, ArgumentsBeyondTheirRanges)
{
    CTervala t;
    loadRandomModel(t, 13, "egm_ranges");
    const struct {
        double lat, lon, sameLat, sameLon;
    } cases[] = {{100, 30, 80, 30}, {-135, -20, -45, -20}, {10, 390, 10, 30}, {-60, -540, -60, 180}, {179, 5, 1, 5}};
    for (const auto& c : cases)
        EXPECT_NEAR(t.EGM96GeoidHeight(c.lat, c.lon), t.EGM96GeoidHeight(c.sameLat, c.sameLon), 1e-8)
            << c.lat << " " << c.lon;
}

// The fast evaluation returns the very doubles of the step-by-step one:
// 10^4 random points (400 random latitudes, 25 random longitudes each) plus
// poles, equator, date line and non-finite input, with the real model or,
// without it, a random one.
TEST(Egm96Synthesis, FastEvaluationIsBitIdentical)
{
    CTervala t;
    if (testsupport::haveEgm96Files()) {
        ASSERT_TRUE(testsupport::loadRealEgm96(t));
    } else {
        std::cout << "[ INFO ] real EGM96 files absent, using a random model\n";
        loadRandomModel(t, 11, "egm_bits");
    }
    Reference reference(t);
    std::vector<std::array<double, 2>> points;
    for (const auto& p : kEdgePoints)
        points.push_back({p[0], p[1]});
    points.push_back({kNaN, 10.0});
    points.push_back({10.0, INFINITY});
    std::mt19937_64 rng(96);
    std::uniform_real_distribution<double> lat(-90, 90), lon(-180, 180);
    for (int i = 0; i < 400 / kScale; ++i) {
        const double la = lat(rng);
        for (int j = 0; j < 25 / (kScale > 1 ? 5 : 1); ++j)
            points.push_back({la, lon(rng)});
    }
    for (const auto& p : points) {
        const double fast = t.EGM96GeoidHeight(p[0], p[1]), plain = reference(p[0], p[1]);
        ASSERT_TRUE(testsupport::sameBits(fast, plain)) << p[0] << " " << p[1] << ": " << fast << " vs " << plain;
    }
}

// Coefficient tables in another storage layout are read through a copy, and
// a view with C and S separated (as the value type holds them) is read
// without de-interleaving; both give the same heights.
TEST(Egm96Synthesis, AnyStorageLayoutReadsTheSame)
{
    CTervala t;
    loadRandomModel(t, 5, "egm_layout");
    const Numbra &h = TervalaAccess::egmCoef(t), &cc = TervalaAccess::corrCoefC(t), &cs = TervalaAccess::corrCoefS(t);
    Numbra wideH, wideC, wideS;  // more columns of storage, extra rows
    wideH.Reserve(kCount + 5, 3);
    wideC.Reserve(kCount, 2);
    for (int k = 1; k <= kCount; ++k)
        wideH(k, 1) = h(k, 1), wideH(k, 2) = h(k, 2), wideC(k) = cc(k), wideS(k) = cs(k);
    wideH(kCount + 5, 1) = 1.0;
    const egm::CoefficientView standard(h, cc, cs), other(wideH, wideC, wideS);
    egm::CoefficientView separated(h, cc, cs);
    separated.separate();
    for (const auto& p : kEdgePoints) {
        const double height = egm::geoidHeight(standard, p[0], p[1]);
        EXPECT_TRUE(testsupport::sameBits(height, egm::geoidHeight(other, p[0], p[1])));
        EXPECT_TRUE(testsupport::sameBits(height, egm::geoidHeight(separated, p[0], p[1])));
    }
}

// ---- Against independent evidence -----------------------------------------------

// The real model at nodes of PROJ's egm96_15.gtx, computed from the same
// coefficients: both pole rows and their neighbours, the date line from both
// sides, and a lattice over the globe.
TEST(Egm96Accuracy, MatchesTheProjGrid)
{
    TERVALA_SKIP_WITHOUT(testsupport::haveEgm96Files(), "real EGM96 files absent in " << testsupport::egm96Folder());
    testsupport::Gtx gtx;
    TERVALA_SKIP_WITHOUT(gtx.read(testsupport::gtxPath()) && gtx.rows() == 721 && gtx.cols() == 1440,
                         testsupport::gtxPath() << " absent or not the 15' grid");
    ASSERT_TRUE(gtx.header(0) == -90 && gtx.header(1) == -180 && gtx.header(2) == 0.25 && gtx.header(3) == 0.25);
    CTervala t;
    ASSERT_TRUE(testsupport::loadRealEgm96(t));
    std::vector<int> rows = {0, 1, 719, 720}, cols = {0, 1, 1438, 1439};
    for (int r = 15 * kGridScale; r < 719; r += 15 * kGridScale)
        rows.push_back(r);
    for (int c = 30 * kGridScale; c < 1438; c += 30 * kGridScale)
        cols.push_back(c);
    for (int r : rows)
        for (int c : cols) {
            const double lat = -90 + r * 0.25, lon = -180 + c * 0.25;
            EXPECT_NEAR(t.EGM96GeoidHeight(lat, lon), gtx.at(r, c), 2e-4) << lat << " " << lon;
        }
    EXPECT_GE(rows.size() * cols.size() * kGridScale * kGridScale, 2000u);
}

// The same two series summed by GeographicLib's SphericalHarmonic (full
// normalisation, Clenshaw summation) for a random model of degree 360, with
// GeographicLib's own WGS 84 geometry and normal gravity: a wrong radial
// factor, normal gravity or normalisation shows here, and so does any use of
// the terms the sums leave out (degrees 0 and 1 of the potential, every
// order-0 sine), which the random model fills.
TEST(Egm96Accuracy, AgreesWithGeographicLib)
{
#ifndef TERVALA_HAVE_GEOGRAPHICLIB
    GTEST_SKIP() << "GeographicLib (libgeographiclib-dev) not found at configure time";
#else
    CTervala t;
    loadRandomModel(t, 3, "egm_geographiclib");
    // GeographicLib's layout: (n, m) at m N - m (m - 1) / 2 + n, S from m = 1.
    const int N = 360;
    std::vector<double> C((N + 1) * (N + 2) / 2), S(N * (N + 1) / 2), CC(C.size()), CS(S.size());
    const Numbra &h = TervalaAccess::egmCoef(t), &cc = TervalaAccess::corrCoefC(t), &cs = TervalaAccess::corrCoefS(t);
    for (int n = 0; n <= N; ++n)
        for (int m = 0; m <= n; ++m) {
            const int k = n * (n + 1) / 2 + m + 1, i = m * N - m * (m - 1) / 2 + n;
            const bool potentialTerm = n >= 2;  // the potential series starts at degree 2
            C[i] = potentialTerm ? h(k, 1) : 0.0;
            CC[i] = cc(k);
            if (m > 0) {
                S[i - N - 1] = potentialTerm ? h(k, 2) : 0.0;
                CS[i - N - 1] = cs(k);
            }
        }
    using GeographicLib::SphericalHarmonic;
    const SphericalHarmonic potential(C, S, N, egm::kA, SphericalHarmonic::FULL);
    const SphericalHarmonic correction(CC, CS, N, 1.0, SphericalHarmonic::FULL);

    std::vector<std::array<double, 2>> points;
    for (const auto& p : kEdgePoints)
        points.push_back({p[0], p[1]});
    std::mt19937_64 rng(360);
    std::uniform_real_distribution<double> lat(-90, 90), lon(-180, 180);
    for (int i = 0; i < 200 / kScale; ++i)
        points.push_back({lat(rng), lon(rng)});
    for (const auto& p : points) {
        double x, y, z;
        GeographicLib::Geocentric::WGS84().Forward(p[0], p[1], 0.0, x, y, z);
        const double r = std::sqrt(x * x + y * y + z * z);
        // GeographicLib sums (a/r)^(n+1) terms, ours (a/r)^n; the correction
        // series is summed on the unit sphere, where no radial factor remains.
        const double T = potential(x, y, z) * (r / egm::kA) * egm::kGM / r;
        const double expected = T / GeographicLib::NormalGravity::WGS84().SurfaceGravity(p[0]) +
                                0.01 * correction(x / r, y / r, z / r) - 0.53;
        EXPECT_NEAR(t.EGM96GeoidHeight(p[0], p[1]), expected, 1e-8) << p[0] << " " << p[1];
    }
#endif
}
