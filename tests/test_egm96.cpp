// EGM96 coefficient loading and spherical-harmonic geoid heights.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <limits>
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

constexpr int kCount = 65341;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Unoptimised (sanitizer) builds visit fewer points: kScale thins the
// step-by-step reference, kGridScale the grid nodes.
#ifdef __OPTIMIZE__
constexpr int kScale = 1;
constexpr int kGridScale = 1;
#else
constexpr int kScale = 20;
constexpr int kGridScale = 4;
#endif

struct Coefficient {
    int n, m;
    double c, s;
};
using Model = std::vector<Coefficient>;

std::vector<unsigned char> records(const Model& model, int recordSize)
{
    std::vector<unsigned char> out;
    for (const auto& r : model) {
        testsupport::append<std::int32_t>(out, r.n);
        testsupport::append<std::int32_t>(out, r.m);
        testsupport::append(out, r.c);
        testsupport::append(out, r.s);
        if (recordSize == 40)
            out.insert(out.end(), 16, 0);
    }
    return out;
}

// A data folder holding the given files for one test; absent files are not
// written. Restores the data folder setting when it goes.
class Folder {
public:
    explicit Folder(const std::string& name) : path_(testsupport::scratchFolder(name))
    {
        CTervala::SetDataFolder(path_.c_str());
    }
    ~Folder() { CTervala::SetDataFolder(nullptr); }
    void write(const std::string& file, const std::vector<unsigned char>& bytes) const
    {
        testsupport::writeBytes(path_ + "/" + file, bytes);
    }
    void corrections(const Model& m) const { write("CORRCOEF.dat", records(m, 24)); }
    void geopotential(const Model& m) const { write("EGM96.dat", records(m, 40)); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// A full model of random coefficients: geopotential falling off as
// 1e-5 / n^2 (Kaula's rule, so heights come out in tens of metres) and
// corrections of a few units at low degree, as in the real files.
void randomModel(unsigned seed, Model& geopotential, Model& corrections)
{
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> g;
    for (int n = 0; n <= 360; ++n)
        for (int m = 0; m <= n; ++m) {
            const double kaula = 1e-5 / (n < 2 ? 1.0 : n * n);
            geopotential.push_back({n, m, g(rng) * kaula, m == 0 ? 0.0 : g(rng) * kaula});
            corrections.push_back({n, m, g(rng) * 2.0 / (n + 1), m == 0 ? 0.0 : g(rng) * 2.0 / (n + 1)});
        }
}

// Writes a random model (as randomModel) into a scratch data folder and
// loads it into t.
void loadRandomModel(CTervala& t, unsigned seed, const std::string& name)
{
    Model egm, corr;
    randomModel(seed, egm, corr);
    Folder folder(name);
    folder.corrections(corr);
    folder.geopotential(egm);
    ASSERT_EQ(t.LoadEGMData(nullptr), 1);
}

bool sameDouble(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

// The step-by-step evaluation: RADGRA, LEGFDN for every order, DSCML and
// HUNDU, composed exactly as the geoid height is defined. The Legendre table
// depends only on the geocentric colatitude, so it is kept per colatitude
// (bit pattern) and reused by the points that share it.
class Reference {
public:
    explicit Reference(CTervala& t) : t_(t) {}
    double operator()(double lat, double lon)
    {
        const double phi = (tervala::PI * lat) * 0.005555555555555556;
        const double lambda = (tervala::PI * lon) * 0.005555555555555556;
        const Numbra g = TervalaAccess::radgra(t_, phi, lambda);
        const double theta = tervala::PI * 0.5 - g(1);
        const Numbra sc = TervalaAccess::dscml(t_, lambda);
        return TervalaAccess::hundu(t_, legendre(theta), TervalaAccess::egmCoef(t_), sc, g(2), g(3),
                                    TervalaAccess::corrCoefC(t_), TervalaAccess::corrCoefS(t_));
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
const double kSpecialPoints[][2] = {
    {90, 0},    {-90, 0},      {90, 123.4},  {-90, -56.7}, {0, 0},      {0, 180},     {0, -180},
    {0, 90},    {45, 179.999}, {45, -179.999}, {-33, 180},   {89.999, 10}, {-89.999, -170}, {1e-9, 1e-9},
};

} // namespace

// ---- Loading ------------------------------------------------------------------

// Status and contents after each situation the loader distinguishes.
TEST(Egm96Load, StatusFollowsWhatCouldBeRead)
{
    const Model full = {{2, 1, 0.5, 0.25}, {360, 360, 1e-9, 2e-9}};
    const Model corr = {{3, 2, 7.0, 8.0}};
    struct Case {
        const char* what;
        bool writeCorr;
        std::vector<unsigned char> corrBytes;
        bool writeEgm;
        std::vector<unsigned char> egmBytes;
        int status;
        double corr3_2;  // m_CorrCoefC at (3, 2): k = 9
        double egm1_1;
        double egm2_1;   // m_EgmCoef(5, 1)
    };
    const Case cases[] = {
        {"both files", true, records(corr, 24), true, records(full, 40), 1, 7.0, 0.0, 0.5},
        {"no CORRCOEF.dat", false, {}, true, records(full, 40), 0, 0.0, 0.0, 0.0},
        {"no EGM96.dat", true, records(corr, 24), false, {}, 0, 7.0, -9999.999, 0.0},
        {"empty CORRCOEF.dat", true, {}, true, records(full, 40), 1, 0.0, 0.0, 0.5},
        {"EGM96.dat without (360, 360)", true, records(corr, 24), true, records({{2, 1, 0.5, 0.25}}, 40), 0, 7.0,
         0.0, 0.5},
        {"empty EGM96.dat", true, records(corr, 24), true, {}, 0, 7.0, 0.0, 0.0},
        {"(0, 0) cosine is the failure mark", true, {}, true,
         records({{0, 0, -9999.999, 0}, {2, 1, 0.5, 0.25}, {360, 360, 0, 0}}, 40), 0, 0.0, -9999.999, 0.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Folder folder("egm_status");
        if (c.writeCorr)
            folder.write("CORRCOEF.dat", c.corrBytes);
        if (c.writeEgm)
            folder.write("EGM96.dat", c.egmBytes);
        CTervala t;
        EXPECT_EQ(t.LoadEGMData(nullptr), c.status);
        const Numbra& egmCoef = TervalaAccess::egmCoef(t);
        ASSERT_EQ(egmCoef.Rows(), kCount);
        ASSERT_EQ(egmCoef.Cols(), 2);
        ASSERT_EQ(TervalaAccess::corrCoefC(t).Rows(), kCount);
        EXPECT_EQ(TervalaAccess::corrCoefC(t)(9), c.corr3_2);
        EXPECT_EQ(TervalaAccess::corrCoefS(t)(9), c.corr3_2 == 0.0 ? 0.0 : 8.0);
        EXPECT_EQ(egmCoef(1, 1), c.egm1_1);
        EXPECT_EQ(egmCoef(5, 1), c.egm2_1);
    }
}

// A folder or a device under a data file's name is a file that cannot be
// opened (fopen of a folder succeeds on Linux and reading it never reaches
// end of file; a device such as /dev/zero never ends).
TEST(Egm96Load, NonRegularFilesCountAsMissing)
{
    {
        Folder folder("egm_dir_corr");
        ASSERT_EQ(::mkdir((folder.path() + "/CORRCOEF.dat").c_str(), 0755), 0);
        folder.geopotential({{360, 360, 0, 0}});
        CTervala t;
        EXPECT_EQ(t.LoadEGMData(nullptr), 0);
    }
    {
        Folder folder("egm_dev_egm");
        folder.corrections({{0, 0, 1.0, 0}});
        ASSERT_EQ(::symlink("/dev/zero", (folder.path() + "/EGM96.dat").c_str()), 0);
        CTervala t;
        EXPECT_EQ(t.LoadEGMData(nullptr), 0);
        EXPECT_EQ(TervalaAccess::egmCoef(t)(1, 1), -9999.999);
    }
}

// Index n(n+1)/2 + m + 1, in both files and both columns.
TEST(Egm96Load, RecordsLandAtTheirIndex)
{
    const struct {
        int n, m, k;
    } index[] = {{0, 0, 1}, {1, 0, 2}, {1, 1, 3}, {2, 2, 6}, {3, 1, 8}, {100, 37, 5088}, {360, 360, 65341}};
    Model model;
    for (const auto& e : index)
        model.push_back({e.n, e.m, e.k + 0.25, -e.k - 0.5});
    Folder folder("egm_index");
    folder.corrections(model);
    folder.geopotential(model);
    CTervala t;
    ASSERT_EQ(t.LoadEGMData(nullptr), 1);
    for (const auto& e : index) {
        SCOPED_TRACE(testing::Message() << "(" << e.n << ", " << e.m << ")");
        EXPECT_EQ(TervalaAccess::corrCoefC(t)(e.k), e.k + 0.25);
        EXPECT_EQ(TervalaAccess::corrCoefS(t)(e.k), -e.k - 0.5);
        EXPECT_EQ(TervalaAccess::egmCoef(t)(e.k, 1), e.k + 0.25);
        EXPECT_EQ(TervalaAccess::egmCoef(t)(e.k, 2), -e.k - 0.5);
    }
}

// Even zonals of the normal field come off column 1; column 2 is untouched.
TEST(Egm96Load, NormalFieldZonalsAreRemoved)
{
    const struct {
        int n, k;
        double change;
    } zonal[] = {{2, 4, 0.00108262982131 / std::sqrt(5.0)},    {4, 11, -7.9030373351e-7},
                 {6, 22, 6.08346498882e-9 / std::sqrt(13.0)},  {8, 37, -1.4268108792e-11 / std::sqrt(17.0)},
                 {10, 56, 1.21439275882e-14 / std::sqrt(21.0)}};
    Model model;
    for (const auto& z : zonal)
        model.push_back({z.n, 0, -1e-6 * z.n, 3.0 * z.n});
    model.push_back({360, 360, 0, 0});
    Folder folder("egm_zonal");
    folder.corrections({});
    folder.geopotential(model);
    CTervala t;
    ASSERT_EQ(t.LoadEGMData(nullptr), 1);
    for (const auto& z : zonal) {
        EXPECT_EQ(TervalaAccess::egmCoef(t)(z.k, 1), -1e-6 * z.n + z.change) << "degree " << z.n;
        EXPECT_EQ(TervalaAccess::egmCoef(t)(z.k, 2), 3.0 * z.n) << "degree " << z.n;
    }
}

// Out-of-range records are skipped without touching anything; later records
// overwrite earlier ones; nothing after (360, 360) is read; an incomplete
// last record is ignored; the argument is not read; a load starts from zeros.
TEST(Egm96Load, RecordRules)
{
    const Model strange = {{361, 0, 1, 1},  {2, 3, 1, 1},      {-1, 0, 1, 1},   {5, -1, 1, 1},
                           {INT32_MAX, 0, 1, 1}, {INT32_MIN, INT32_MIN, 1, 1}, {360, 361, 1, 1}};
    Model corr = strange, egm = strange;
    corr.push_back({3, 1, 1.0, 1.0});
    corr.push_back({3, 1, 2.0, 3.0});  // overwrites
    egm.push_back({3, 1, 4.0, 5.0});
    egm.push_back({3, 1, 6.0, 7.0});  // overwrites
    egm.push_back({360, 360, 0, 0});
    egm.push_back({3, 1, 99.0, 99.0});  // after the last record: not read
    std::vector<unsigned char> corrBytes = records(corr, 24);
    const std::vector<unsigned char> tail = records({{5, 5, 42.0, 42.0}}, 24);
    corrBytes.insert(corrBytes.end(), tail.begin(), tail.end() - 1);  // 23 of 24 bytes

    Folder folder("egm_rules");
    folder.write("CORRCOEF.dat", corrBytes);
    folder.geopotential(egm);
    for (const char* argument : {static_cast<const char*>(nullptr), "", "\\elsewhere\\EGM96.dat"}) {
        CTervala t;
        ASSERT_EQ(t.LoadEGMData(argument), 1);
        const Numbra &cc = TervalaAccess::corrCoefC(t), &cs = TervalaAccess::corrCoefS(t),
                     &h = TervalaAccess::egmCoef(t);
        double others = 0.0;
        for (int k = 1; k <= kCount; ++k)
            if (k != 8 && (k < 4 || k > 56))
                others += std::fabs(cc(k)) + std::fabs(cs(k)) + std::fabs(h(k, 1)) + std::fabs(h(k, 2));
        EXPECT_EQ(others, 0.0);
        EXPECT_EQ(cc(8), 2.0);
        EXPECT_EQ(cs(8), 3.0);
        EXPECT_EQ(h(8, 1), 6.0);
        EXPECT_EQ(h(8, 2), 7.0);
        EXPECT_EQ(cc(21), 0.0);  // (5, 5) of the incomplete record

        // Loading again after the files changed leaves nothing of the first load.
        folder.corrections({});
        folder.geopotential({{360, 360, 0, 0}});
        ASSERT_EQ(t.LoadEGMData(argument), 1);
        EXPECT_EQ(TervalaAccess::corrCoefC(t)(8), 0.0);
        EXPECT_EQ(TervalaAccess::egmCoef(t)(8, 1), 0.0);
        folder.write("CORRCOEF.dat", corrBytes);
        folder.geopotential(egm);
    }
}

// Files of random bytes, and records with small random (n, m) (some with
// m > n) carrying arbitrary bit patterns (NaN, infinities): the loader keeps
// exactly what an independent parse of the bytes says, and the geoid height
// equals the step-by-step evaluation, NaN included.
TEST(Egm96Load, ArbitraryFileContents)
{
    std::mt19937_64 rng(2024);
    auto randomFile = [&rng](int recordSize, bool plausible) {
        std::vector<unsigned char> bytes(static_cast<std::size_t>(rng() % (5 * recordSize)));
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const std::size_t field = i % static_cast<std::size_t>(recordSize);
            bytes[i] = static_cast<unsigned char>(rng());
            if (plausible && field < 8)  // n and m in 0..7
                bytes[i] = field % 4 == 0 ? static_cast<unsigned char>(rng() % 8) : 0;
        }
        return bytes;
    };
    // Last value stored per index by the loader's rules, parsed here.
    auto parse = [](const std::vector<unsigned char>& bytes, int recordSize) {
        std::map<int, std::pair<double, double>> stored;
        for (std::size_t at = 0; at + static_cast<std::size_t>(recordSize) <= bytes.size(); at += recordSize) {
            std::int32_t n, m;
            double c, s;
            std::memcpy(&n, &bytes[at], 4);
            std::memcpy(&m, &bytes[at + 4], 4);
            std::memcpy(&c, &bytes[at + 8], 8);
            std::memcpy(&s, &bytes[at + 16], 8);
            if (0 <= m && m <= n && n <= 360)
                stored[n * (n + 1) / 2 + m + 1] = {c, s};
        }
        return stored;
    };
    Folder folder("egm_fuzz");
    for (int trial = 0; trial < 24; ++trial) {
        const auto corr = randomFile(24, trial % 2 == 1), egm = randomFile(40, trial % 2 == 1);
        folder.write("CORRCOEF.dat", corr);
        folder.write("EGM96.dat", egm);
        CTervala t;
        EXPECT_EQ(t.LoadEGMData(nullptr), 0) << "no (360, 360) record, so never complete";
        for (const auto& [k, v] : parse(corr, 24)) {
            EXPECT_TRUE(sameDouble(TervalaAccess::corrCoefC(t)(k), v.first)) << k;
            EXPECT_TRUE(sameDouble(TervalaAccess::corrCoefS(t)(k), v.second)) << k;
        }
        for (const auto& [k, v] : parse(egm, 40)) {
            if (k != 4 && k != 11 && k != 22) {  // the zonals are changed on loading
                EXPECT_TRUE(sameDouble(TervalaAccess::egmCoef(t)(k, 1), v.first)) << k;
            }
            EXPECT_TRUE(sameDouble(TervalaAccess::egmCoef(t)(k, 2), v.second)) << k;
        }
        Reference reference(t);
        EXPECT_TRUE(sameDouble(t.EGM96GeoidHeight(12.0, 34.0), reference(12.0, 34.0)));
    }
}

// ---- Synthesis ------------------------------------------------------------------

// Degenerate coefficient sets give the constants they must, everywhere.
TEST(Egm96Synthesis, ConstantModels)
{
    struct Case {
        const char* what;
        bool load;
        bool writeCorr;
        Model corr;
        double expected;
    };
    const Case cases[] = {
        {"nothing loaded yet", false, false, {}, -0.53},
        {"no CORRCOEF.dat: all zero", true, false, {}, -0.53},
        {"empty CORRCOEF.dat, no EGM96.dat", true, true, {}, -0.53},
        {"only the (0, 0) correction", true, true, {{0, 0, 123.456, 7.0}}, 123.456 * 0.01 - 0.53},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Folder folder("egm_constant");
        if (c.writeCorr)
            folder.corrections(c.corr);
        CTervala t;
        if (c.load) {
            EXPECT_EQ(t.LoadEGMData(nullptr), 0);
        }
        for (const auto& p : kSpecialPoints)
            EXPECT_EQ(t.EGM96GeoidHeight(p[0], p[1]), c.expected) << p[0] << " " << p[1];
        EXPECT_EQ(t.EGM96GeoidHeight(-41.3, 174.8), c.expected);
    }
    CTervala fresh;
    EXPECT_TRUE(std::isnan(fresh.EGM96GeoidHeight(kNaN, 0.0)));
    EXPECT_TRUE(std::isnan(fresh.EGM96GeoidHeight(0.0, INFINITY)));
    EXPECT_TRUE(TervalaAccess::egmCoef(fresh).Empty()) << "an evaluation writes nothing";
}

// Degree 0 and 1 geopotential coefficients and every order-0 sine
// coefficient are not part of the sums: changing them changes no bit.
TEST(Egm96Synthesis, UnusedCoefficientsHaveNoEffect)
{
    Model egm, corr;
    randomModel(7, egm, corr);
    Folder folder("egm_unused");
    folder.corrections(corr);
    folder.geopotential(egm);
    CTervala a;
    ASSERT_EQ(a.LoadEGMData(nullptr), 1);
    for (auto& r : egm)
        if (r.n < 2 || r.m == 0)
            r = {r.n, r.m, r.n < 2 ? 1e3 : r.c, 1e3};
    for (auto& r : corr)
        if (r.m == 0)
            r.s = -1e3;
    folder.corrections(corr);
    folder.geopotential(egm);
    CTervala b;
    ASSERT_EQ(b.LoadEGMData(nullptr), 1);
    for (const auto& p : kSpecialPoints)
        EXPECT_TRUE(sameDouble(a.EGM96GeoidHeight(p[0], p[1]), b.EGM96GeoidHeight(p[0], p[1]))) << p[0] << " " << p[1];
}

// The point geometry on WGS 84 and the radial behaviour of the two series.
TEST(Egm96Synthesis, GeometryAndRadialFactors)
{
    CTervala t;
    for (double lon : {0.0, 1.0, -2.5, 3.14159}) {
        const Numbra g = TervalaAccess::radgra(t, 0.0, lon);
        EXPECT_EQ(g(1), 0.0) << "geocentric latitude at the equator";
        EXPECT_EQ(g(2), 9.7803253359) << "normal gravity at the equator";
        EXPECT_NEAR(g(3), 6378137.0, 1e-8);
    }
    // At the pole: the semi-minor axis and the polar normal gravity of WGS 84.
    const Numbra pole = TervalaAccess::radgra(t, tervala::PI / 2, 0.0);
    EXPECT_NEAR(pole(3), 6356752.314245, 1e-6);
    EXPECT_NEAR(pole(2), 9.8321849379, 1e-9);
    EXPECT_NEAR(pole(1), tervala::PI / 2, 1e-15);

    // Only the correction series: independent of r. Only a degree-n
    // potential term: proportional to (a/r)^n / r.
    Reference reference(t);
    const Numbra& p = reference.legendre(0.7);
    const Numbra sc = TervalaAccess::dscml(t, 0.3);
    Numbra zero = Zeros(kCount, 2), zeroColumn = Zeros(kCount, 1), corr = Zeros(kCount, 1);
    for (int k = 1; k <= kCount; ++k)
        corr(k) = std::sin(k * 0.37);
    const double r1 = 6.37e6, r2 = 6.39e6, gamma = 9.8;
    EXPECT_EQ(TervalaAccess::hundu(t, p, zero, sc, gamma, r1, corr, corr),
              TervalaAccess::hundu(t, p, zero, sc, gamma, r2, corr, corr));
    for (int n : {2, 3, 57, 360}) {
        Numbra h = Zeros(kCount, 2);
        h(n * (n + 1) / 2 + 1 + n / 2, 1) = 1e-6;
        const double v1 = TervalaAccess::hundu(t, p, h, sc, gamma, r1, zeroColumn, zeroColumn) + 0.53;
        const double v2 = TervalaAccess::hundu(t, p, h, sc, gamma, r2, zeroColumn, zeroColumn) + 0.53;
        EXPECT_NEAR(v1 / v2, std::pow(r2 / r1, n + 1), 1e-12 * std::pow(r2 / r1, n + 1)) << "degree " << n;
    }
}

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
// poles, equator and date line, with the real model or, without it, a random
// one.
TEST(Egm96Synthesis, FastEvaluationIsBitIdentical)
{
    CTervala t;
    if (testsupport::haveEgm96Files()) {
        CTervala::SetDataFolder(testsupport::egm96Folder().c_str());
        const int status = t.LoadEGMData(nullptr);
        CTervala::SetDataFolder(nullptr);
        ASSERT_EQ(status, 1);
    } else {
        std::cout << "[ INFO ] real EGM96 files absent, using a random model\n";
        loadRandomModel(t, 11, "egm_bits");
    }
    Reference reference(t);
    std::mt19937_64 rng(96);
    std::uniform_real_distribution<double> lat(-90, 90), lon(-180, 180);
    int compared = 0;
    auto check = [&](double la, double lo) {
        const double fast = t.EGM96GeoidHeight(la, lo), plain = reference(la, lo);
        ++compared;
        return sameDouble(fast, plain) ? testing::AssertionSuccess()
                                       : testing::AssertionFailure() << la << " " << lo << ": " << fast << " vs "
                                                                     << plain;
    };
    for (const auto& p : kSpecialPoints)
        EXPECT_TRUE(check(p[0], p[1]));
    for (int i = 0; i < 400 / kScale; ++i) {
        const double la = lat(rng);
        for (int j = 0; j < 25 / (kScale > 1 ? 5 : 1); ++j)
            ASSERT_TRUE(check(la, lon(rng)));
    }
    EXPECT_TRUE(check(kNaN, 10.0));
    EXPECT_TRUE(check(10.0, INFINITY));
    std::cout << "[ INFO ] " << compared << " points compared bit for bit\n";
}

// Coefficient tables of another storage layout are read through a copy and
// give the same heights.
TEST(Egm96Synthesis, AnyStorageLayoutReadsTheSame)
{
    CTervala t;
    loadRandomModel(t, 5, "egm_layout");
    const Numbra &h = TervalaAccess::egmCoef(t), &cc = TervalaAccess::corrCoefC(t), &cs = TervalaAccess::corrCoefS(t);
    Numbra wideH, wideC, wideS;  // three columns of storage, extra rows
    wideH.Reserve(kCount + 5, 3);
    wideC.Reserve(kCount, 2);
    wideS.Reserve(kCount, 2);
    for (int k = 1; k <= kCount; ++k) {
        wideH(k, 1) = h(k, 1);
        wideH(k, 2) = h(k, 2);
        wideC(k) = cc(k);
        wideS(k) = cs(k);
    }
    wideH(kCount + 5, 1) = 1.0;
    ASSERT_NE(wideH.Stride(), 2);
    const egm::CoefficientView standard(h, cc, cs), other(wideH, wideC, wideS);
    for (const auto& p : kSpecialPoints)
        EXPECT_TRUE(sameDouble(egm::geoidHeight(standard, p[0], p[1]), egm::geoidHeight(other, p[0], p[1])));
}

// ---- Against independent evidence -------------------------------------------------

namespace {

// PROJ's EGM96 15' grid (GTX: big-endian header of four doubles and two
// int32, then float32 rows from south to north, west to east from -180).
struct Gtx {
    double south = 0, west = 0, dlat = 0, dlon = 0;
    int rows = 0, cols = 0;
    std::vector<float> values;
    float at(int row, int col) const { return values[static_cast<std::size_t>(row) * cols + col]; }
};

bool readGtx(const std::string& path, Gtx& grid)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    std::vector<unsigned char> bytes;
    unsigned char buffer[65536];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
        bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(f);
    auto bigEndian = [&bytes](std::size_t at, int size) {
        std::uint64_t u = 0;
        for (int i = 0; i < size; ++i)
            u = (u << 8) | bytes[at + i];
        return u;
    };
    auto real = [&](std::size_t at) {
        const std::uint64_t u = bigEndian(at, 8);
        double d;
        std::memcpy(&d, &u, 8);
        return d;
    };
    if (bytes.size() < 40)
        return false;
    grid.south = real(0), grid.west = real(8), grid.dlat = real(16), grid.dlon = real(24);
    grid.rows = static_cast<int>(bigEndian(32, 4));
    grid.cols = static_cast<int>(bigEndian(36, 4));
    if (bytes.size() != 40 + 4 * static_cast<std::size_t>(grid.rows) * grid.cols)
        return false;
    grid.values.resize(static_cast<std::size_t>(grid.rows) * grid.cols);
    for (std::size_t i = 0; i < grid.values.size(); ++i) {
        const auto u = static_cast<std::uint32_t>(bigEndian(40 + 4 * i, 4));
        std::memcpy(&grid.values[i], &u, 4);
    }
    return true;
}

} // namespace

// The real model at grid nodes of PROJ's egm96_15.gtx, computed from the same
// coefficients: both pole rows, the date line from both sides, and a
// lattice over the globe.
TEST(Egm96Accuracy, MatchesTheProjGrid)
{
    TERVALA_SKIP_WITHOUT(testsupport::haveEgm96Files(), "real EGM96 files absent in " << testsupport::egm96Folder());
    Gtx grid;
    TERVALA_SKIP_WITHOUT(readGtx(testsupport::gtxPath(), grid), testsupport::gtxPath() << " absent or unreadable");
    ASSERT_EQ(grid.rows, 721);
    ASSERT_EQ(grid.cols, 1440);
    CTervala::SetDataFolder(testsupport::egm96Folder().c_str());
    CTervala t;
    const int status = t.LoadEGMData(nullptr);
    CTervala::SetDataFolder(nullptr);
    ASSERT_EQ(status, 1);

    const int rowStep = 15 * kGridScale, colStep = 30 * kGridScale;
    std::vector<int> rows = {0, 1, grid.rows - 2, grid.rows - 1}, cols = {0, 1, grid.cols - 2, grid.cols - 1};
    for (int r = rowStep; r < grid.rows - 2; r += rowStep)
        rows.push_back(r);
    for (int c = colStep; c < grid.cols - 2; c += colStep)
        cols.push_back(c);
    double worst = 0.0;
    int nodes = 0;
    for (int r : rows)
        for (int c : cols) {
            const double lat = grid.south + r * grid.dlat, lon = grid.west + c * grid.dlon;
            const double diff = std::fabs(t.EGM96GeoidHeight(lat, lon) - grid.at(r, c));
            EXPECT_LT(diff, 2e-4) << lat << " " << lon;
            worst = std::max(worst, diff);
            ++nodes;
        }
    std::cout << "[ INFO ] " << nodes << " nodes, largest difference " << worst * 1e3 << " mm\n";
    if (kGridScale == 1) {
        EXPECT_GE(nodes, 2000);
    }
}

#ifdef TERVALA_HAVE_GEOGRAPHICLIB
// The same two series summed by GeographicLib's SphericalHarmonic (full
// normalisation, Clenshaw summation) on a random model of degree 360, with
// GeographicLib's own WGS 84 geometry and normal gravity.
TEST(Egm96Accuracy, AgreesWithGeographicLib)
{
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
    const GeographicLib::Geocentric& wgs84 = GeographicLib::Geocentric::WGS84();
    const GeographicLib::NormalGravity& gravity = GeographicLib::NormalGravity::WGS84();

    std::mt19937_64 rng(360);
    std::uniform_real_distribution<double> lat(-90, 90), lon(-180, 180);
    std::vector<std::array<double, 2>> points;
    for (const auto& p : kSpecialPoints)
        points.push_back({p[0], p[1]});
    for (int i = 0; i < 200 / kScale; ++i)
        points.push_back({lat(rng), lon(rng)});
    double worst = 0.0;
    for (const auto& p : points) {
        double x, y, z;
        wgs84.Forward(p[0], p[1], 0.0, x, y, z);
        const double r = std::sqrt(x * x + y * y + z * z);
        // Sum of (a/r)^(n+1) terms -> our (a/r)^n sum; the correction series
        // is summed on the unit sphere, where no radial factor remains.
        const double T = potential(x, y, z) * (r / egm::kA) * egm::kGM / r;
        const double expected = T / gravity.SurfaceGravity(p[0]) + 0.01 * correction(x / r, y / r, z / r) - 0.53;
        const double got = t.EGM96GeoidHeight(p[0], p[1]);
        EXPECT_NEAR(got, expected, 1e-8) << p[0] << " " << p[1];
        worst = std::max(worst, std::fabs(got - expected));
    }
    std::cout << "[ INFO ] " << points.size() << " points, largest difference " << worst << " m\n";
}
#else
TEST(Egm96Accuracy, AgreesWithGeographicLib)
{
    GTEST_SKIP() << "GeographicLib (libgeographiclib-dev) not found at configure time";
}
#endif
