// GTX to grid-file conversion without GDAL: the header is checked against the
// file's length here, the rows go to the grid-file writer one at a time.
#include "gridtools/GtxGrid.h"

#include <cerrno>
#include <cmath>
#include <limits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>

#include "platform/ByteOrder.h"
#include "platform/Files.h"

namespace tervala {
namespace gtx {
namespace {

using platform::bigEndian32;
using platform::File;
using platform::fromBits;

GtxHeader decodeHeader(const unsigned char* raw, bool bigEndian)
{
    auto word = [&](int offset) {
        return bigEndian ? platform::bigEndian32(raw + offset) : platform::littleEndian32(raw + offset);
    };
    auto real = [&](int offset) {
        return fromBits<double>(bigEndian ? platform::bigEndian64(raw + offset) : platform::littleEndian64(raw + offset));
    };
    return GtxHeader{real(0),
                     real(8),
                     real(16),
                     real(24),
                     fromBits<std::int32_t>(word(32)),
                     fromBits<std::int32_t>(word(36))};
}

// Tolerance for "lies on a node" and "spans 360 degrees", in units of one
// spacing: the header values are decimal steps such as 1/60 stored in binary.
constexpr double kNodeTolerance = 1e-6;

using raster::number;

// What is wrong with a header, or "" when it describes a sensible grid that
// fills a file of `size` bytes exactly.
std::string headerProblem(const GtxHeader& h, long long size)
{
    if (h.rows < 1 || h.cols < 1)
        return "the header gives " + std::to_string(h.rows) + " rows and " + std::to_string(h.cols) +
               " columns; both must be at least 1";
    if (!(std::isfinite(h.dlat) && h.dlat > 0) || !(std::isfinite(h.dlon) && h.dlon > 0))
        return "the header gives a latitude step of " + number(h.dlat) + " and a longitude step of " +
               number(h.dlon) + " degrees; both must be positive and finite";
    if (!std::isfinite(h.south) || !std::isfinite(h.west))
        return "the header gives a southern latitude of " + number(h.south) + " and a western longitude of " +
               number(h.west) + "; both must be finite";
    const double north = h.south + (h.rows - 1) * h.dlat;
    const double slack = h.dlat * kNodeTolerance;
    if (h.south < -90 - slack || north > 90 + slack)
        return "the rows run from latitude " + number(h.south) + " to " + number(north) +
               ", outside -90 .. 90 degrees";
    if ((h.cols - 1) * h.dlon > 360 + h.dlon * kNodeTolerance)
        return "the " + std::to_string(h.cols) + " columns of " + number(h.dlon) +
               " degrees span more than 360 degrees";
    // Rows and columns are below 2^31, so their product fits in 64 bits; its
    // byte count may not, and no such file can exist.
    const long long values = static_cast<long long>(h.rows) * h.cols;
    if (values > (std::numeric_limits<long long>::max() - kGtxHeaderBytes) / 4)
        return "the header gives " + std::to_string(h.rows) + " rows x " + std::to_string(h.cols) +
               " columns, more values than any file can hold";
    const long long expected = kGtxHeaderBytes + 4 * values;
    if (size != expected)
        return "the header gives " + std::to_string(h.rows) + " rows x " + std::to_string(h.cols) + " columns = " +
               std::to_string(expected - kGtxHeaderBytes) + " bytes of values, but the file holds " +
               std::to_string(size - kGtxHeaderBytes) + " bytes after the header";
    return "";
}

} // namespace

bool convertGtxToGrid(const std::string& inPath, const std::string& outPath, Conversion& done,
                      std::string& error)
{
    platform::LoadStatus opened;
    File in = platform::openRegularFile(inPath, opened);
    if (!in) {
        error = opened.problem == platform::LoadProblem::CannotOpen && opened.systemError != EISDIR ? opened.reason
                                                                                         : "not a regular file";
        return false;
    }
    const long long size = platform::fileSize(in.get());
    unsigned char raw[kGtxHeaderBytes];
    if (size < kGtxHeaderBytes || std::fread(raw, 1, sizeof raw, in.get()) != sizeof raw) {
        error = "the file is " + std::to_string(size) + " bytes, shorter than the 40-byte GTX header";
        return false;
    }
    const GtxHeader h = decodeHeader(raw, true);
    std::string problem = headerProblem(h, size);
    if (!problem.empty()) {
        if (headerProblem(decodeHeader(raw, false), size).empty())
            problem += " (the header makes sense read as little-endian, but GTX files are big-endian)";
        error = problem;
        return false;
    }
    raster::Lattice lattice;
    lattice.firstLat = h.south;
    lattice.firstLon = h.west;
    lattice.dlat = h.dlat;  // rows run south to north
    lattice.dlon = h.dlon;
    lattice.rows = h.rows;
    lattice.cols = h.cols;
    std::vector<unsigned char> bytes(static_cast<std::size_t>(h.cols) * 4);
    std::FILE* file = in.get();
    auto read = [&](int row, double* values) -> std::string {
        const long long offset = kGtxHeaderBytes + static_cast<long long>(row) * h.cols * 4;
        if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0 || std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size())
            return "cannot read row " + std::to_string(row) + " of the input: " + std::strerror(errno);
        for (int c = 0; c < h.cols; ++c) {
            const float v = fromBits<float>(bigEndian32(bytes.data() + 4 * static_cast<std::size_t>(c)));
            values[c] = v == kGtxNoData ? NAN : v;
        }
        return "";
    };
    done = Conversion{};
    done.format = "GTX";
    done.source = inPath;
    return raster::writeGridFile(lattice, read, outPath, done, error);
}

} // namespace gtx
} // namespace tervala
