// The bodies of the fuzzing harnesses. Each takes arbitrary bytes, drives one
// parser or loader with them and aborts when an invariant breaks. The libFuzzer
// programs (fuzz_*.cpp) call them, and the regular test suite replays every
// seed and every saved crashing input through them (tests/test_fuzz_inputs.cpp).
#ifndef TERVALA_FUZZ_HARNESSES_H
#define TERVALA_FUZZ_HARNESSES_H

#include "CommonPoints.h"
#include "Ellipsoids.h"
#include "Io.h"
#include "Params.h"
#include "Text.h"
#include <cmath>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>


#include "gridtools/GtxGrid.h"
#include "platform/ByteOrder.h"
#include "tervala/Tervala.h"

namespace tervala {
namespace fuzz {

// Fuzzes the angle parser with every angle kind: it must return true or false
// with a message, never crash, and any accepted latitude must lie in range.

inline int fuzzAngle(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    using tervala::cli::AngleKind;
    for (AngleKind kind : {AngleKind::Latitude, AngleKind::Longitude, AngleKind::Plain}) {
        double v = 0;
        std::string error;
        const bool ok = tervala::cli::parseAngle(text, kind, v, error);
        if (ok && (!std::isfinite(v) || (kind == AngleKind::Latitude && std::fabs(v) > 90)))
            std::abort();
        if (!ok && error.empty())
            std::abort();
    }
    return 0;
}

// Fuzzes the line handling of the coordinate subcommands as the tool runs
// it: the delimiter judged from the line, the split into identifier,
// coordinates and trailing fields for each kind of first coordinate (and
// with --columns), then numbers and angles on the coordinates, and the
// parameter-list and ellipsoid parsers on the same text.

inline int fuzzLines(const std::uint8_t* data, std::size_t size)
{
    using namespace tervala::cli;
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (isPassThrough(text))
        return 0;
    const Delimiter delimiter = detectDelimiter(text);
    const FieldLayout layouts[] = {{2, 3, FirstField::Latitude}, {3, 3, FirstField::Number}, {2, 3, FirstField::Zone}};
    const std::vector<std::size_t> columnSets[] = {{}, {2, 1}, {3, 4, 5}};
    for (const FieldLayout& layout : layouts)
        for (const std::vector<std::size_t>& columns : columnSets) {
            LineFields parts;
            std::string error;
            const bool ok = splitLine(text, delimiter, layout, columns, parts, error);
            if (ok != error.empty())
                std::abort();  // a refusal always says why
            if (!ok)
                continue;
            const std::size_t most = layout.most + (layout.first == FirstField::Zone ? 1 : 0);
            if (columns.empty() ? parts.coordinates.size() > most || parts.before.size() > 1
                                : parts.coordinates.size() != columns.size())
                std::abort();
            if (!parts.comment.empty() && parts.comment[0] != '#')
                std::abort();
            for (const std::string& f : parts.coordinates) {
                // An accepted coordinate is never empty, never holds the
                // delimiter, a comment or (in a comma-separated line) a blank;
                // in a blank-separated line a field-sheet angle is its
                // components joined by single blanks.
                const bool joinedAngle = delimiter == Delimiter::Blank && f.find(' ') != std::string::npos;
                if (joinedAngle && (f.front() == ' ' || f.back() == ' ' || f.find("  ") != std::string::npos))
                    std::abort();
                if (f.empty() || f.find('#') != std::string::npos ||
                    (!joinedAngle && f.find(delimiterChar(delimiter)) != std::string::npos) ||
                    (delimiter == Delimiter::Comma && f.find_first_of(" \t") != std::string::npos))
                    std::abort();
                double v = 0;
                if (parseNumber(f, v, error) && !std::isfinite(v))
                    std::abort();
                if (parseAngle(f, AngleKind::Latitude, v, error) && !(std::fabs(v) <= 90))
                    std::abort();
                long n = 0;
                parseInteger(f, 1, 60, n, error);
            }
        }
    std::vector<double> list;
    std::string error;
    if (parseNumberList(text, 7, list, error) && list.size() != 7)
        std::abort();
    NamedEllipsoid e{};
    // An accepted ellipsoid has a > 0 and 1/f > 1, or 1/f = 0 (a sphere).
    if (resolveEllipsoid(text, e, error) && !(e.a > 0 && (e.inverseFlattening > 1 || e.inverseFlattening == 0)))
        std::abort();
    return 0;
}

// Fuzzes the common-point file reader of `tervala fit` for every model, and
// the parameter-file reader that the transform subcommands use.

inline int fuzzCommonPoints(const std::uint8_t* data, std::size_t size)
{
    using namespace tervala::cli;
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const char* model : {"helmert2d", "height", "bursa-wolf", "molodensky-badekas"}) {
        std::vector<CommonPoint> points;
        std::vector<std::string> errors;
        const bool ok = parseCommonPoints(text, model, points, errors);
        if (ok != errors.empty())
            std::abort();
        std::size_t ns = 0, nt = 0;
        commonPointLayout(model, ns, nt);
        for (const CommonPoint& p : points)
            if (p.source.size() != ns || p.target.size() != nt)
                std::abort();
        ParamSet set;
        std::string error;
        if (parseParamText(text, model, set, error) && set.values.size() != modelKeys(model).size())
            std::abort();
    }
    return 0;
}

// A scratch folder for the loader harnesses' files, made once per process.
inline const std::string& scratchFolder()
{
    static const std::string folder = [] {
        std::string tmp;
        if (!platform::environmentVariable("TMPDIR", tmp) || tmp.empty())
            if (!platform::environmentVariable("TEMP", tmp) || tmp.empty())
                tmp = "/tmp";
        const std::string folder = tmp + "/tervala-fuzz-" + std::to_string(platform::processId());
        platform::removeTree(folder);
        if (!platform::makeDirectory(folder))
            std::abort();
        return folder;
    }();
    return folder;
}

inline void writeFile(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    platform::File f = platform::openFile(path, "wb");
    if (!f)
        std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f.get()) != size)
        std::abort();
}

inline bool same(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

// Grid loader: arbitrary bytes as "kgeoid14.dat", loaded into an object that
// already holds a good grid. A failed load must leave that grid as it was; a
// successful one must give heights (or result codes) without a crash, and a
// copy of the object the same heights.
inline int fuzzGridLoader(const std::uint8_t* data, std::size_t size)
{
    const std::string& folder = scratchFolder();
    CTervala::SetDataFolder(folder.c_str());
    static const CTervala reference = [&folder] {
        // A 3 x 4 grid at 40 N, 120 E, 0.5 degree steps.
        std::vector<std::uint8_t> bytes;
        auto put = [&bytes](const void* p, std::size_t n) {
            bytes.insert(bytes.end(), static_cast<const std::uint8_t*>(p), static_cast<const std::uint8_t*>(p) + n);
        };
        const double header[4] = {40.0, 120.0, 0.5, 0.5};
        const std::int32_t dims[2] = {3, 4};
        put(header, sizeof header);
        put(dims, sizeof dims);
        for (int k = 0; k < 12; ++k) {
            const float v = 10.0f + static_cast<float>(k);
            put(&v, 4);
        }
        writeFile(folder + "/kgeoid13.dat", bytes.data(), bytes.size());
        CTervala t;
        if (t.LoadKEGMData(13) != 1)
            std::abort();
        return t;
    }();
    writeFile(folder + "/kgeoid14.dat", data, size);
    CTervala t(reference);
    const double before = t.KEGMGeoidHeight(39.6, 120.7);
    if (t.LoadKEGMData(14) == 1) {
        const double points[][2] = {{0, 0}, {89.9, 10}, {-90, 359}, {39.6, 120.7}, {-12.5, -170}, {45, 400}};
        CTervala copy(t);
        for (const auto& p : points)
            if (!same(t.KEGMGeoidHeight(p[0], p[1]), copy.KEGMGeoidHeight(p[0], p[1])))
                std::abort();
    } else if (!same(t.KEGMGeoidHeight(39.6, 120.7), before)) {
        std::abort();  // a failed load lost the previous grid
    }
    CTervala::SetDataFolder(nullptr);
    return 0;
}

// Coefficient loader: the input is a 4-byte little-endian length L, then L
// bytes of "CORRCOEF.dat" (as many as there are), the rest "EGM96.dat"; then
// one geoid height.
inline int fuzzCoefficients(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    const std::uint32_t declared = tervala::platform::littleEndian32(data);
    const std::size_t corrLength = std::min<std::size_t>(declared, size - 4);
    const std::string& folder = scratchFolder();
    CTervala::SetDataFolder(folder.c_str());
    writeFile(folder + "/CORRCOEF.dat", data + 4, corrLength);
    writeFile(folder + "/EGM96.dat", data + 4 + corrLength, size - 4 - corrLength);
    CTervala t;
    const int status = t.LoadEGMData(nullptr);
    if (status != 0 && status != 1)
        std::abort();
    volatile double n = t.EGM96GeoidHeight(12.5, -45.25);
    (void)n;
    CTervala::SetDataFolder(nullptr);
    return 0;
}

// GTX converter: arbitrary bytes as a GTX file. Whatever it accepts must
// give a grid file that the loader reads.
inline int fuzzGtx(const std::uint8_t* data, std::size_t size)
{
    const std::string& folder = scratchFolder();
    writeFile(folder + "/in.gtx", data, size);
    tervala::gtx::Conversion done;
    std::string error;
    if (tervala::gtx::convertGtxToGrid(folder + "/in.gtx", folder + "/egm2008p.dat", done, error)) {
        CTervala::SetDataFolder(folder.c_str());
        CTervala t;
        if (t.LoadKEGMData(2008) != 1)
            std::abort();  // the converter wrote a file the loader refuses
        volatile double n = t.KEGMGeoidHeight(done.output.north, done.output.west);
        (void)n;
        CTervala::SetDataFolder(nullptr);
    } else if (error.empty()) {
        std::abort();
    }
    return 0;
}

} // namespace fuzz
} // namespace tervala

#endif
