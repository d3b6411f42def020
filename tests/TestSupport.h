// Helpers shared by the test programs: scratch folders, file writers, the
// locations of real data that tests use in place, and the peers' set-up.
#ifndef TERVALA_TESTS_TESTSUPPORT_H
#define TERVALA_TESTS_TESTSUPPORT_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../fuzz/SeedCapture.h"
#include "platform/Files.h"
#include "tervala/Tervala.h"

#ifdef TERVALA_HAVE_PROJ
#include <proj.h>
#endif

namespace testsupport {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// The double nearest pi (M_PI is POSIX, not C++17).
constexpr double kPi = 3.14159265358979323846;

// The same double, bit for bit (any NaN matches any NaN).
inline bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

inline CTervala grs80()
{
    CTervala t;
    t.Setup_Ellipsoid(6378137.0, 298.257222101);
    return t;
}

// Skips the current test in a build without threads (the WebAssembly build
// without pthreads, where starting a thread fails).
#ifdef TERVALA_TEST_NO_THREADS
#define TERVALA_SKIP_WITHOUT_THREADS() GTEST_SKIP() << "this build has no threads (WebAssembly without pthreads)"
#else
#define TERVALA_SKIP_WITHOUT_THREADS() static_cast<void>(0)
#endif

inline bool fileExists(const std::string& path) { return tervala::platform::isRegularFile(path); }

// A fresh, empty scratch folder under the build tree, unique per test.
inline std::string scratchFolder(const std::string& name)
{
    namespace platform = tervala::platform;
    const std::string root = TERVALA_TEST_TMPDIR;
    platform::makeDirectory(root);
    const std::string folder = root + "/" + name + "." + std::to_string(platform::processId());
    if (!platform::removeTree(folder)) {
        ADD_FAILURE() << "cannot clear " << folder;
    }
    platform::makeDirectory(folder);
    return folder;
}

// The tests' inputs double as fuzzing seeds (fuzz/SeedCapture.h).
using tervala::fuzz::saveFileSeed;
using tervala::fuzz::saveSeed;

inline void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
    saveFileSeed(path, bytes);
    std::FILE* f = tervala::platform::openFile(path, "wb").release();
    ASSERT_NE(f, nullptr) << path;
    if (!bytes.empty()) {
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    }
    std::fclose(f);
}

// CRC-32 of the zip and PNG formats, bit by bit (the library's is
// table-driven): 0xCBF43926 for "123456789".
inline std::uint32_t bitwiseCrc32(const std::string& bytes)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// The check file ("<data file>.sum") that our converters write beside a
// data file holding `bytes`.
inline std::vector<unsigned char> checkFile(const std::string& bytes, const std::string& source = "")
{
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08x", static_cast<unsigned>(bitwiseCrc32(bytes)));
    const std::string text = "tervala-check 1\nsize " + std::to_string(bytes.size()) + "\ncrc32 " + crc + "\n" +
                             (source.empty() ? "" : "source " + source + "\n");
    return std::vector<unsigned char>(text.begin(), text.end());
}

// One row of a table file of tests/tables: its line number and its fields.
// Fields are blank-separated words or "quoted strings" (with the escapes
// \t, \n, \" and \\); '#' outside quotes starts a comment.
struct TableRow {
    int line;
    std::vector<std::string> fields;
};
inline std::vector<TableRow> readTable(const std::string& name)
{
    std::ifstream in(std::string(TERVALA_TEST_TABLES) + "/" + name);
    EXPECT_TRUE(in.good()) << "cannot read the table " << name;
    std::vector<TableRow> rows;
    std::string text;
    for (int number = 1; std::getline(in, text); ++number) {
        TableRow row{number, {}};
        for (std::size_t i = 0; i < text.size() && text[i] != '#';) {
            if (text[i] == ' ' || text[i] == '\t') {
                ++i;
            } else if (text[i] != '"') {
                const std::size_t end = text.find_first_of(" \t", i);
                row.fields.push_back(text.substr(i, end - i));
                i = end == std::string::npos ? text.size() : end;
            } else {
                std::string field;
                for (++i; i < text.size() && text[i] != '"'; ++i) {
                    if (text[i] == '\\' && i + 1 < text.size()) {
                        const char c = text[++i];
                        field += c == 't' ? '\t' : c == 'n' ? '\n' : c;
                    } else {
                        field += text[i];
                    }
                }
                row.fields.push_back(field);
                ++i;
            }
        }
        if (!row.fields.empty())
            rows.push_back(row);
    }
    return rows;
}

// A table of values (tests/tables/NAME): per row a function of the given
// map, its numeric arguments, "=", the expected value ("nan": must be NaN)
// and an absolute tolerance, or a relative one written with a trailing "r".
// Where each expected value comes from is said in the table. A function
// given without a body marks rows that another call checks.
using ValueFunction = std::function<double(const std::vector<double>&)>;
inline void checkValueTable(const std::string& name, const std::map<std::string, ValueFunction>& functions)
{
    int checked = 0;
    for (const TableRow& row : readTable(name)) {
        SCOPED_TRACE(name + " line " + std::to_string(row.line));
        const std::size_t eq = std::find(row.fields.begin(), row.fields.end(), "=") - row.fields.begin();
        ASSERT_TRUE(functions.count(row.fields[0]) && eq + 3 == row.fields.size()) << "malformed row";
        if (!functions.at(row.fields[0]))
            continue;
        std::vector<double> args;
        for (std::size_t k = 1; k < eq; ++k)
            args.push_back(std::stod(row.fields[k]));
        const double got = functions.at(row.fields[0])(args), want = std::stod(row.fields[eq + 1]);
        const std::string& tol = row.fields[eq + 2];
        const double tolerance = std::stod(tol) * (tol.back() == 'r' ? std::fabs(want) : 1.0);
        EXPECT_TRUE(std::isnan(want) ? std::isnan(got) : std::fabs(got - want) <= tolerance)
            << row.fields[0] << " gave " << got << ", expected " << want;
        ++checked;
    }
    EXPECT_GT(checked, 0) << name;
}

// A scratch data folder that the loaders read from while this object lives.
struct DataDir {
    explicit DataDir(const std::string& name) : path(scratchFolder(name)) { CTervala::SetDataFolder(path.c_str()); }
    ~DataDir() { CTervala::SetDataFolder(nullptr); }
    void write(const std::string& file, const std::vector<unsigned char>& bytes) const
    {
        writeBytes(path + "/" + file, bytes);
    }
    std::string path;
};

// Appends the little-endian bytes of a value (this machine is little-endian,
// as the data files are).
template <typename T>
void append(std::vector<unsigned char>& out, T value)
{
    unsigned char raw[sizeof(T)];
    std::memcpy(raw, &value, sizeof(T));
    out.insert(out.end(), raw, raw + sizeof(T));
}

// Coefficient files: one record per (n, m, cosine, sine), each padded to
// recordSize bytes (24 in CORRCOEF.dat; 40 in EGM96.dat, whose records end
// with two standard deviations).
struct Coefficient {
    int n, m;
    double c, s;
};
inline std::vector<unsigned char> coefficientFile(const std::vector<Coefficient>& model, int recordSize)
{
    std::vector<unsigned char> out;
    for (const Coefficient& r : model) {
        append<std::int32_t>(out, r.n);
        append<std::int32_t>(out, r.m);
        append(out, r.c);
        append(out, r.s);
        out.insert(out.end(), static_cast<std::size_t>(recordSize - 24), 0);
    }
    return out;
}

// A random model of every (n, m) to 360 loaded into t from a scratch folder
// NAME: geopotential falling off as 1e-5 / n^2 (Kaula's rule) and
// corrections of a few units at low degree, like the real files.
inline void loadRandomModel(CTervala& t, unsigned seed, const std::string& name)
{
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> g;
    std::vector<Coefficient> geopotential, corrections;
    for (int n = 0; n <= 360; ++n)
        for (int m = 0; m <= n; ++m) {
            const double kaula = 1e-5 / (n < 2 ? 1.0 : n * n);
            geopotential.push_back({n, m, g(rng) * kaula, m == 0 ? 0.0 : g(rng) * kaula});
            corrections.push_back({n, m, g(rng) * 2.0 / (n + 1), m == 0 ? 0.0 : g(rng) * 2.0 / (n + 1)});
        }
    DataDir folder(name);
    folder.write("CORRCOEF.dat", coefficientFile(corrections, 24));
    folder.write("EGM96.dat", coefficientFile(geopotential, 40));
    ASSERT_EQ(t.LoadEGMData(nullptr), 1);
}

// Real EGM96 coefficient files, used in place (never copied into the repo).
inline std::string egm96Folder() { return TERVALA_TEST_EGM96_DIR; }
inline bool haveEgm96Files()
{
    return fileExists(egm96Folder() + "/EGM96.dat") && fileExists(egm96Folder() + "/CORRCOEF.dat");
}
inline std::string gtxPath() { return TERVALA_TEST_GTX; }

// Loads the real coefficient files into t; the data folder setting is
// restored. True when LoadEGMData reports a complete load.
inline bool loadRealEgm96(CTervala& t)
{
    CTervala::SetDataFolder(egm96Folder().c_str());
    const int status = t.LoadEGMData(nullptr);
    CTervala::SetDataFolder(nullptr);
    return status == 1;
}

// A GTX grid read independently of the library: big-endian header of four
// doubles (south, west, dlat, dlon) and two int32 (rows, columns), then
// float32 rows from south to north, west to east.
struct Gtx {
    std::vector<unsigned char> b;
    std::uint64_t word(std::size_t at, int size) const
    {
        std::uint64_t u = 0;
        for (int i = 0; i < size; ++i)
            u = (u << 8) | b[at + i];
        return u;
    }
    template <typename T, typename U>
    static T as(U bits)
    {
        T v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    double header(int k) const { return as<double>(word(8 * k, 8)); }
    int rows() const { return int(word(32, 4)); }
    int cols() const { return int(word(36, 4)); }
    double at(int i, int j) const { return as<float>(std::uint32_t(word(40 + 4 * (std::size_t(i) * cols() + j), 4))); }
    bool read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        b.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return b.size() >= 40 && b.size() == 40 + 4 * std::size_t(rows()) * cols();
    }
};

#ifdef TERVALA_HAVE_PROJ
// One PROJ operation from a PROJ string, with its own context.
struct ProjOperation {
    PJ_CONTEXT* ctx = proj_context_create();
    PJ* pj;
    explicit ProjOperation(const std::string& definition) : pj(proj_create(ctx, definition.c_str())) {}
    ~ProjOperation()
    {
        proj_destroy(pj);
        proj_context_destroy(ctx);
    }
    PJ_COORD trans(PJ_DIRECTION d, double a, double b, double c) const { return proj_trans(pj, d, proj_coord(a, b, c, 0)); }
};
#endif

} // namespace testsupport

#define TERVALA_SKIP_WITHOUT(flag, why) \
    do {                                \
        if (!(flag))                    \
            GTEST_SKIP() << why;        \
    } while (0)

#endif
