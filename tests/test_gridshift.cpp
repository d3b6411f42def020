// NTv2 grid shifts: the four grids Debian's proj-data ships and small nested
// grids written here, against PROJ's hgridshift; hostile files refused.
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "tervala/GridShift.hpp"

namespace {

using testsupport::kNaN;
using tervala::Geodetic;
using tervala::GridShift;

// ---- writing NTv2 files -------------------------------------------------------

struct TestSubgrid {
    std::string name, parent;
    double south, north, east, west, latStep, lonStep;  // arc-seconds, longitude positive west
    // Shifts (arc-seconds) at a node as a linear function of its position
    // (arc-seconds): a + b lat + c lonW, which bilinear interpolation
    // reproduces exactly inside the subgrid.
    double latA, latB, latC, lonA, lonB, lonC;
    int rows() const { return int(std::lround((north - south) / latStep)) + 1; }
    int columns() const { return int(std::lround((west - east) / lonStep)) + 1; }
    double latShift(double lat, double lonW) const { return latA + latB * lat + latC * lonW; }
    double lonShift(double lat, double lonW) const { return lonA + lonB * lat + lonC * lonW; }
};

struct Writer {
    bool big;
    std::vector<unsigned char> bytes;
    void raw(const void* p, std::size_t n)
    {
        const auto* b = static_cast<const unsigned char*>(p);
        if (big)
            for (std::size_t i = n; i-- > 0;)
                bytes.push_back(b[i]);
        else
            bytes.insert(bytes.end(), b, b + n);
    }
    void key(const std::string& k)
    {
        std::string s = k;
        s.resize(8, ' ');
        bytes.insert(bytes.end(), s.begin(), s.end());
    }
    void text(const std::string& k, const std::string& v)
    {
        key(k);
        key(v);
    }
    void integer(const std::string& k, std::int32_t v)
    {
        key(k);
        raw(&v, 4);
        bytes.insert(bytes.end(), 4, 0);
    }
    void real(const std::string& k, double v)
    {
        key(k);
        raw(&v, 8);
    }
    void value(float v) { raw(&v, 4); }
};

std::vector<unsigned char> ntv2File(const std::vector<TestSubgrid>& grids, bool big)
{
    Writer w{big, {}};
    w.integer("NUM_OREC", 11);
    w.integer("NUM_SREC", 11);
    w.integer("NUM_FILE", std::int32_t(grids.size()));
    w.text("GS_TYPE", "SECONDS");
    w.text("VERSION", "NTv2.0");
    w.text("SYSTEM_F", "FROM");
    w.text("SYSTEM_T", "TO");
    w.real("MAJOR_F", 6378137.0);
    w.real("MINOR_F", 6356752.314);
    w.real("MAJOR_T", 6378137.0);
    w.real("MINOR_T", 6356752.314);
    for (const TestSubgrid& g : grids) {
        w.text("SUB_NAME", g.name);
        w.text("PARENT", g.parent);
        w.text("CREATED", "20261206");
        w.text("UPDATED", "20261206");
        w.real("S_LAT", g.south);
        w.real("N_LAT", g.north);
        w.real("E_LONG", g.east);
        w.real("W_LONG", g.west);
        w.real("LAT_INC", g.latStep);
        w.real("LONG_INC", g.lonStep);
        w.integer("GS_COUNT", g.rows() * g.columns());
        for (int i = 0; i < g.rows(); ++i)
            for (int j = 0; j < g.columns(); ++j) {
                const double lat = g.south + i * g.latStep, lonW = g.east + j * g.lonStep;
                w.value(float(g.latShift(lat, lonW)));
                w.value(float(g.lonShift(lat, lonW)));
                w.value(0.01f);
                w.value(0.01f);
            }
    }
    w.key("END");
    w.bytes.insert(w.bytes.end(), 8, 0);
    return w.bytes;
}

// A parent over 10..12 N, 5..8 E at 0.5 degrees; a child over 10.5..11.5 N,
// 6..7 E at 0.25 degrees; a grandchild over 11..11.5 N, 6.5..7 E at 0.125
// degrees; and a second top-level grid beside the first. Each has its own
// linear shifts (values exact in float at the nodes), so the result tells
// which grid was used.
std::vector<TestSubgrid> nestedGrids()
{
    return {
        {"PARENT", "NONE", 36000, 43200, -28800, -18000, 1800, 1800, 1.0, 0.0, 0.0, -2.0, 0.0, 0.0},
        {"CHILD", "PARENT", 37800, 41400, -25200, -21600, 900, 900, 1.5, 0.0, 0.0, -2.5, 0.0, 0.0},
        {"GRAND", "CHILD", 39600, 41400, -25200, -23400, 450, 450, 2.0, 0.0, 0.0, -3.0, 0.0, 0.0},
        {"BESIDE", "NONE", 36000, 43200, -36000, -28800, 1800, 1800, 0.5, 1.0 / 1024, 0.0, -1.0, 0.0, 1.0 / 2048},
    };
}

// ---- the oracle ---------------------------------------------------------------

#ifdef TERVALA_HAVE_PROJ
// PROJ's hgridshift on the file (radians inside, degrees here); NaN where
// PROJ refuses the point.
struct ProjShift {
    testsupport::ProjOperation op;
    explicit ProjShift(const std::string& path) : op("+proj=hgridshift +grids=" + path) {}
    bool ok() const { return op.pj != nullptr; }
    Geodetic run(PJ_DIRECTION d, const Geodetic& p) const
    {
        proj_errno_reset(op.pj);
        const PJ_COORD c = op.trans(d, proj_torad(p.longitude), proj_torad(p.latitude), p.height);
        if (proj_errno(op.pj) != 0 || !std::isfinite(c.lpz.lam) || c.lpz.lam == HUGE_VAL)
            return Geodetic{kNaN, kNaN, kNaN};
        return Geodetic{proj_todeg(c.lpz.phi), proj_todeg(c.lpz.lam), c.lpz.z};
    }
};
#endif

// Points over a subgrid's extent (arc-seconds in, degrees east out): every
// node of the edges, the corners, points on the edges between nodes, and
// random interior points.
std::vector<Geodetic> pointsOver(double south, double north, double east, double west, double latStep,
                                 double lonStep, unsigned seed)
{
    std::vector<Geodetic> pts;
    const auto add = [&](double latS, double lonW) { pts.push_back(Geodetic{latS / 3600, -lonW / 3600, 100.0}); };
    for (double lonW = east; lonW <= west; lonW += lonStep) {
        add(south, lonW);
        add(north, lonW);
        add(south, std::min(west, lonW + 0.37 * lonStep));
        add(north, std::min(west, lonW + 0.61 * lonStep));
    }
    for (double latS = south; latS <= north; latS += latStep) {
        add(latS, east);
        add(latS, west);
        add(std::min(north, latS + 0.29 * latStep), east);
        add(std::min(north, latS + 0.83 * latStep), west);
    }
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int i = 0; i < 400; ++i)
        add(south + u(rng) * (north - south), east + u(rng) * (west - east));
    return pts;
}

// ---- the four grids of proj-data ----------------------------------------------

struct RealGrid {
    const char* file;
    double maxShiftDegrees;  // a bound on the shifts the grid holds
};

const RealGrid kRealGrids[] = {
    {"BETA2007.gsb", 0.01},
    {"ntf_r93.gsb", 0.01},
    {"nzgd2kgrid0005.gsb", 0.01},
    {"CHENYX06.gsb", 0.01},
    {"CHENYX06_etrs.gsb", 0.01},
};

TEST(GridShift, DebianGridsAgreeWithProjForwardAndInverse)
{
#ifndef TERVALA_HAVE_PROJ
    GTEST_SKIP() << "PROJ is not available to compare with";
#else
    int checked = 0;
    for (const RealGrid& rg : kRealGrids) {
        const std::string path = std::string("/usr/share/proj/") + rg.file;
        if (!testsupport::fileExists(path)) {
            std::printf("skipped %s: not installed (Debian package proj-data)\n", path.c_str());
            continue;
        }
        SCOPED_TRACE(path);
        const GridShift grid(path);
        const ProjShift proj(path);
        ASSERT_TRUE(proj.ok());
        ASSERT_EQ(grid.subgridCount(), 1u);
        // The extent from the file's own header (one subgrid in each).
        std::vector<unsigned char> head(176 * 2);
        std::FILE* f = std::fopen(path.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fread(head.data(), 1, head.size(), f), head.size());
        std::fclose(f);
        double e[6];
        for (int i = 0; i < 6; ++i)
            std::memcpy(&e[i], &head[176 + 16 * (4 + i) + 8], 8);
        int inside = 0;
        for (const Geodetic& p : pointsOver(e[0], e[1], e[2], e[3], e[4], e[5], 29)) {
            const Geodetic ours = grid.forward(p), theirs = proj.run(PJ_FWD, p);
            // PROJ leaves out nodes of a grid's extent where its edge
            // tolerance does; compare where both give a point.
            if (std::isnan(theirs.latitude))
                continue;
            ++inside;
            ASSERT_FALSE(std::isnan(ours.latitude)) << p.latitude << " " << p.longitude;
            EXPECT_NEAR(ours.latitude, theirs.latitude, 1e-9) << p.latitude << " " << p.longitude;
            EXPECT_NEAR(ours.longitude, theirs.longitude, 1e-9) << p.latitude << " " << p.longitude;
            EXPECT_EQ(ours.height, p.height);
            EXPECT_LE(std::fabs(ours.latitude - p.latitude), rg.maxShiftDegrees);
            // The inverse at the shifted point, when PROJ's iteration stays
            // inside the grid.
            const Geodetic back = grid.inverse(ours), projBack = proj.run(PJ_INV, ours);
            if (!std::isnan(projBack.latitude) && !std::isnan(back.latitude)) {
                EXPECT_NEAR(back.latitude, projBack.latitude, 1e-9);
                EXPECT_NEAR(back.longitude, projBack.longitude, 1e-9);
                EXPECT_NEAR(back.latitude, p.latitude, 1e-10);
                EXPECT_NEAR(back.longitude, p.longitude, 1e-10);
            }
        }
        EXPECT_GT(inside, 400);
        // Outside, by a hundredth of a degree beyond each edge: both refuse.
        const double mid = (e[0] + e[1]) / 2, midW = (e[2] + e[3]) / 2;
        const double beyond = 36;  // arc-seconds
        const Geodetic outside[] = {{(e[0] - beyond) / 3600, -midW / 3600, 0},
                                    {(e[1] + beyond) / 3600, -midW / 3600, 0},
                                    {mid / 3600, -(e[2] - beyond) / 3600, 0},
                                    {mid / 3600, -(e[3] + beyond) / 3600, 0}};
        for (const Geodetic& p : outside) {
            EXPECT_TRUE(std::isnan(grid.forward(p).latitude)) << p.latitude << " " << p.longitude;
            EXPECT_TRUE(std::isnan(grid.inverse(p).latitude)) << p.latitude << " " << p.longitude;
            EXPECT_TRUE(std::isnan(proj.run(PJ_FWD, p).latitude)) << p.latitude << " " << p.longitude;
            EXPECT_FALSE(grid.contains(p.latitude, p.longitude));
        }
        ++checked;
    }
    if (checked == 0)
        GTEST_SKIP() << "no NTv2 grid of proj-data is installed";
#endif
}

// BeTA2007 at a node, read by hand from the file's record for that node
// (row 30 from the south, column 40 from the east edge, 62 columns): the shifts are
// the stored floats (to the rounding of the change to degrees and back).
TEST(GridShift, NodeValuesAreTheStoredShifts)
{
    const std::string path = "/usr/share/proj/BETA2007.gsb";
    if (!testsupport::fileExists(path))
        GTEST_SKIP() << path << " is not installed (Debian package proj-data)";
    std::vector<unsigned char> bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const int columns = 62, row = 30, column = 40;
    const std::size_t at = 176 * 2 + 16 * std::size_t(row * columns + column);
    float latShift, lonShift;
    std::memcpy(&latShift, &bytes[at], 4);
    std::memcpy(&lonShift, &bytes[at + 4], 4);
    const double latS = 169200.0 + row * 360.0, lonW = -56400.0 + column * 600.0;
    const GridShift grid(path);
    const tervala::GeodeticShift s = grid.shift(latS / 3600, -lonW / 3600);
    EXPECT_NEAR(s.latitude * 3600, double(latShift), 1e-12);
    EXPECT_NEAR(-s.longitude * 3600, double(lonShift), 1e-12);
    EXPECT_EQ(grid.sourceSystem(), "DHDN90");
}

// ---- nested subgrids, both byte orders ----------------------------------------

TEST(GridShift, FinestSubgridContainingThePointIsUsed)
{
    const std::string folder = testsupport::scratchFolder("gridshift_nested");
    const std::vector<TestSubgrid> grids = nestedGrids();
    std::vector<GridShift> loaded;
    for (const bool big : {false, true}) {
        const std::string path = folder + (big ? "/nested-be.gsb" : "/nested-le.gsb");
        testsupport::writeBytes(path, ntv2File(grids, big));
        loaded.emplace_back(path);
        EXPECT_EQ(loaded.back().bigEndian(), big);
        EXPECT_EQ(loaded.back().subgridCount(), 4u);
    }
    // Point (degrees), the subgrid that must serve it (edges belong to the
    // finer grid).
    struct Case {
        double lat, lon;
        const char* subgrid;
    } cases[] = {
        {10.2, 5.3, "PARENT"},   {11.0, 6.0, "CHILD"},   {10.5, 6.5, "CHILD"},  {11.5, 7.0, "GRAND"},
        {11.0, 6.5, "GRAND"},    {11.25, 6.75, "GRAND"}, {11.4999, 6.0001, "CHILD"},
        {10.4999, 6.5, "PARENT"}, {12.0, 8.0, "PARENT"},  {10.0, 5.0, "PARENT"},  {11.0, 8.5, "BESIDE"},
        {10.0, 10.0, "BESIDE"},  {9.99, 6.0, ""},         {12.01, 6.0, ""},      {11.0, 4.99, ""},
        {11.0, 10.01, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.lat) + " " + std::to_string(c.lon));
        for (const GridShift& g : loaded) {
            EXPECT_EQ(g.subgridAt(c.lat, c.lon), c.subgrid);
            const Geodetic out = g.forward({c.lat, c.lon, 5.0});
            if (*c.subgrid == '\0') {
                EXPECT_TRUE(std::isnan(out.latitude));
                EXPECT_TRUE(std::isnan(out.longitude));
                EXPECT_TRUE(std::isnan(out.height));
                continue;
            }
            const TestSubgrid* s = nullptr;
            for (const TestSubgrid& t : grids)
                if (t.name == c.subgrid)
                    s = &t;
            // The linear shifts of that subgrid, evaluated by hand.
            const double latS = c.lat * 3600, lonW = -c.lon * 3600;
            EXPECT_NEAR(out.latitude, c.lat + s->latShift(latS, lonW) / 3600, 1e-13);
            EXPECT_NEAR(out.longitude, c.lon - s->lonShift(latS, lonW) / 3600, 1e-13);
            EXPECT_EQ(out.height, 5.0);
        }
    }
#ifdef TERVALA_HAVE_PROJ
    // PROJ on the same little-endian file, forward and inverse, away from
    // the subgrid edges where the two may choose differently by a tolerance.
    const ProjShift proj(folder + "/nested-le.gsb");
    ASSERT_TRUE(proj.ok());
    int compared = 0;
    for (const Geodetic& p : pointsOver(36000, 43200, -36000, -18000, 1800, 1800, 7)) {
        const Geodetic theirs = proj.run(PJ_FWD, p);
        if (std::isnan(theirs.latitude))
            continue;
        const Geodetic ours = loaded[0].forward(p);
        EXPECT_NEAR(ours.latitude, theirs.latitude, 1e-9) << p.latitude << " " << p.longitude;
        EXPECT_NEAR(ours.longitude, theirs.longitude, 1e-9) << p.latitude << " " << p.longitude;
        // On the meridian 8 E where PARENT and BESIDE meet with different
        // shifts, the shifted point lies in BESIDE and PROJ's iteration
        // ends outside every grid; ours finds the point itself.
        const Geodetic back = loaded[0].inverse(ours), projBack = proj.run(PJ_INV, ours);
        if (p.longitude == 8.0 && loaded[0].contains(ours.latitude, ours.longitude)) {
            EXPECT_NEAR(back.latitude, p.latitude, 1e-11);
            EXPECT_NEAR(back.longitude, p.longitude, 1e-11);
        } else if (!std::isnan(projBack.latitude)) {
            EXPECT_NEAR(back.latitude, projBack.latitude, 1e-9);
            EXPECT_NEAR(back.longitude, projBack.longitude, 1e-9);
        }
        ++compared;
    }
    EXPECT_GT(compared, 400);
#endif
}

// A point given a turn away (-180 for 180) finds a grid at the date line.
TEST(GridShift, LongitudeInAnotherTurn)
{
    const std::string path = "/usr/share/proj/nzgd2kgrid0005.gsb";
    if (!testsupport::fileExists(path))
        GTEST_SKIP() << path << " is not installed (Debian package proj-data)";
    const GridShift grid(path);
    const Geodetic a = grid.forward({-40.0, 174.0, 0}), b = grid.forward({-40.0, 174.0 - 360.0, 0});
    EXPECT_EQ(a.latitude, b.latitude);
    EXPECT_EQ(a.longitude - 360.0, b.longitude);
    EXPECT_TRUE(grid.contains(-40.0, -180.0));
}

// ---- hostile files ------------------------------------------------------------

TEST(GridShift, CorruptedFilesAreRefusedAtLoad)
{
    const std::string folder = testsupport::scratchFolder("gridshift_hostile");
    const std::vector<TestSubgrid> grids = nestedGrids();
    const std::vector<unsigned char> good = ntv2File(grids, false);
    const std::size_t firstNodes = 176 * 2, gsCount = 176 + 10 * 16 + 8;
    const auto put32 = [](std::vector<unsigned char>& b, std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    const auto putDouble = [](std::vector<unsigned char>& b, std::size_t at, double v) { std::memcpy(&b[at], &v, 8); };
    const auto putFloat = [](std::vector<unsigned char>& b, std::size_t at, float v) { std::memcpy(&b[at], &v, 4); };
    const auto putText = [](std::vector<unsigned char>& b, std::size_t at, const char* t) {
        std::memcpy(&b[at], t, 8);
    };
    struct Case {
        const char* what;
        std::function<void(std::vector<unsigned char>&)> damage;
        const char* reason;  // a part of the message
    } cases[] = {
        {"empty", [](auto& b) { b.clear(); }, "176-byte overview header"},
        {"cut in the overview", [](auto& b) { b.resize(100); }, "176-byte overview header"},
        {"cut in a subgrid header", [](auto& b) { b.resize(176 + 100); }, "cannot fit"},
        {"cut in the nodes", [](auto& b) { b.resize(b.size() - 200); }, "ends in the nodes of subgrid 4"},
        {"no END", [](auto& b) { b.resize(b.size() - 16); }, "no END record"},
        {"not NTv2", [&](auto& b) { putText(b, 0, "GTX     "); }, "not an NTv2 file"},
        {"NUM_OREC 12", [&](auto& b) { put32(b, 8, 12); }, "NUM_OREC is not 11"},
        {"NUM_FILE 0", [&](auto& b) { put32(b, 40, 0); }, "NUM_FILE = 0"},
        {"NUM_FILE huge", [&](auto& b) { put32(b, 40, 0x7fffffff); }, "NUM_FILE = 2147483647"},
        {"NUM_FILE one short", [&](auto& b) { put32(b, 40, 3); }, "no END record"},
        {"minutes", [&](auto& b) { putText(b, 56, "MINUTES "); }, "only shifts in SECONDS"},
        {"GS_COUNT too big", [&](auto& b) { put32(b, gsCount, 999); }, "GS_COUNT = 999"},
        {"GS_COUNT negative", [&](auto& b) { put32(b, gsCount, 0xffffffffu); }, "GS_COUNT = -1"},
        {"NaN shift", [&](auto& b) { putFloat(b, firstNodes + 16 * 3, std::nanf("")); }, "node 4 has a shift"},
        {"infinite shift", [&](auto& b) { putFloat(b, firstNodes + 4, HUGE_VALF); }, "node 1 has a shift"},
        {"NaN latitude", [&](auto& b) { putDouble(b, 176 + 4 * 16 + 8, kNaN); }, "S_LAT = nan is not finite"},
        {"zero spacing", [&](auto& b) { putDouble(b, 176 + 8 * 16 + 8, 0.0); }, "must be positive"},
        {"not whole spacings", [&](auto& b) { putDouble(b, 176 + 8 * 16 + 8, 1700.0); }, "whole number"},
        {"south above north", [&](auto& b) { putDouble(b, 176 + 4 * 16 + 8, 50000.0); }, "S_LAT < N_LAT"},
        {"east beyond west", [&](auto& b) { putDouble(b, 176 + 6 * 16 + 8, -10000.0); }, "E_LONG < W_LONG"},
        {"key renamed", [&](auto& b) { putText(b, 176 + 10 * 16, "GS_CNT  "); }, "is not GS_COUNT"},
        {"unknown parent", [&](auto& b) { putText(b, firstNodes + 16 * 35 + 24, "NOBODY  "); }, "unknown PARENT"},
        {"own parent", [&](auto& b) { putText(b, firstNodes + 16 * 35 + 24, "CHILD   "); }, "its own ancestor"},
        {"repeated name", [&](auto& b) { putText(b, firstNodes + 16 * 35 + 8, "PARENT  "); }, "repeated"},
        {"no top level", [&](auto& b) { putText(b, 176 + 24, "BESIDE  "); }, "reaches outside its parent"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<unsigned char> bytes = good;
        c.damage(bytes);
        const std::string path = folder + "/hostile.gsb";
        testsupport::writeBytes(path, bytes);
        try {
            const GridShift g(path);
            ADD_FAILURE() << "loaded";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
    }
    // The undamaged bytes load, so the refusals above are the damage's.
    testsupport::writeBytes(folder + "/good.gsb", good);
    EXPECT_NO_THROW(GridShift{folder + "/good.gsb"});
    EXPECT_THROW(GridShift{folder}, std::runtime_error);
    EXPECT_THROW(GridShift{folder + "/missing.gsb"}, std::runtime_error);
}

} // namespace
